#include "jobs/masterfields.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "jobs/cprintjobinfo.h"

#include <cmath>

double CFieldConverter::NumberOr(const QString& t, double fallback) const {
    double v = 0;
    return m_parse(t, &v) ? v : fallback;
}

qint32 CFieldConverter::Whole(const QString& t) {
    double v = 0;
    if (!m_parse(t, &v)) Fail(kErrTypeMismatch, QStringLiteral("Type mismatch"));
    return Convert(t, 0, false);
}

qint32 CFieldConverter::Checked(double v) {
    if (v < -2147483648.0 || v > 2147483647.0) {
        Fail(kErrOverflow, QStringLiteral("Overflow"));
        return 0;
    }
    return qint32(v);
}

bool CFieldConverter::Date(const QString& text, CDate* out) {
    // A text the parser takes as it is reads the same after normalising.
    if (CDate::Parse(TrimAtNul(text), out) || CDate::Parse(NormalizeDateText(text), out))
        return true;
    Fail(kErrTypeMismatch, QStringLiteral("Type mismatch"));
    return false;
}

void CFieldConverter::Fail(int number, const QString& description) {
    if (m_failed) return;
    m_failed = true;
    m_err = CError{number, description};
}

qint32 CFieldConverter::Convert(const QString& t, qint32 fallback, bool intPart) {
    double v = 0;
    if (!m_parse(t, &v)) return fallback;
    return Checked(intPart ? std::floor(v) : RoundHalfEven(v));
}

namespace {
using Type = Platform::ColumnType;
using J = CPrintJobInfo;
using F = CFieldText;

// A field the monitor could not fill yet.
bool Spooling(const QString& text) {
    return text.isEmpty() || text.toUpper().contains(QLatin1String("SPOOLING"));
}
QString SpooledOr(const QString& text, const char* fallback) {
    return Spooling(text) ? QLatin1String(fallback) : text;
}
void NoSheetHeight(J& j) {
    j.PaperHeight = 11.0;
    j.PaperName = QStringLiteral("8.50 x 11.00");
}

// The readers that are the same for both files.
template <QString J::*M> void Text(J& j, F& f) {
    j.*M = f.text;
}
template <qint32 J::*M, qint32 fallback> void IntPartOr(J& j, F& f) {
    j.*M = f.conv.IntPartOr(f.text, fallback);
}
template <qint32 J::*M> void RoundedOr1(J& j, F& f) {
    j.*M = f.conv.WholeOr(f.text, 1);
}
void SheetWidth(J& j, F& f) {
    j.PaperWidth = f.conv.NumberOr(f.text, 8.5);
}
void SheetHeight(J& j, F& f) {
    if (!f.conv.IsNumber(f.text, &j.PaperHeight)) NoSheetHeight(j);
}
void SubmitDate(J& j, F& f) {
    f.conv.Date(f.text, &j.SubmitDT);
}

// When a record is stored, to the second as the column keeps it: worked out once a second, as
// the local time costs more than the rest of the row.
QVariant StoreTime() {
    static thread_local qint64 second = -1;
    static thread_local QDateTime local;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (now != second) {
        second = now;
        local = QDateTime::fromSecsSinceEpoch(now);
    }
    return local;
}

// Readers particular to one field or one file are written in their row.
const CMasterField kMaster[] = {
    {"RecordID", Type::Key, 0, {}, false, nullptr, 1, 0, nullptr},
    {"RecordDT", Type::DateTime, 0, StoreTime, false, nullptr, 1, 0, nullptr},
    {"LogMachine", Type::Text, 50, +[] { return QVariant(gEnv.m_sMachineName); }, false, nullptr, 1,
     0, nullptr},
    {"LogOperSystem", Type::Text, 50, +[] { return QVariant(gEnv.m_sOSVersion); }, false, nullptr,
     1, 0, nullptr},
    {"PrintJobID", Type::Whole, 0, &J::PrintJobID, false,
     [](J& j, F& f) { j.PrintJobID = f.conv.Whole(f.text); }, 1, 4,
     [](J& j, F& f) { j.PrintJobID = f.conv.WholeOr(f.text, 1); }},
    {"PrinterName", Type::Text, 255, &J::PrinterName, false, Text<&J::PrinterName>, 1, 5,
     Text<&J::PrinterName>},
    {"MachineName", Type::Text, 255, &J::MachineName, false, Text<&J::MachineName>, 1, 6,
     Text<&J::MachineName>},
    {"UserName", Type::Text, 255, &J::UserName, false, Text<&J::UserName>, 1, 7,
     Text<&J::UserName>},
    {"DocumentName", Type::Text, 255, &J::DocumentName, false,
     [](J& j, F& f) { j.DocumentName = LeftCharacters(f.text, kMaxText); }, 1, 8,
     [](J& j, F& f) { j.DocumentName = LeftCharacters(TrimAtNul(f.text).trimmed(), kMaxText); }},
    {"SubmitDT", Type::DateTime, 0, &J::SubmitDT, false, SubmitDate, 1, 10, SubmitDate},
    {"QueueName", Type::Text, 255, &J::QueueName, false, Text<&J::QueueName>, 1, 3,
     Text<&J::QueueName>},
    {"JobSizeBytes", Type::Whole, 0, &J::JobSizeBytes, false, RoundedOr1<&J::JobSizeBytes>, 1, 11,
     RoundedOr1<&J::JobSizeBytes>},
    {"PagesPerCopy", Type::Whole, 0, &J::PagesPerCopy, false, IntPartOr<&J::PagesPerCopy, 1>, 1, 12,
     [](J& j, F& f) {
         // The spooler's page count (line 2) wins when it counted more.
         j.PagesPerCopy = f.conv.IntPartOr(f.text, 1);
         double pages = 0;
         if (f.conv.IsNumber(JobLine(*f.jobLines, 2), &pages) && std::floor(pages) > j.PagesPerCopy)
             j.PagesPerCopy = f.conv.Checked(std::floor(pages));
     }},
    {"SeparatorPages", Type::Whole, 0, &J::SeparatorPages, false, IntPartOr<&J::SeparatorPages, 0>,
     1, 0, [](J& j, F&) { j.SeparatorPages = 0; }},
    {"NumCopies", Type::Whole, 0, &J::NumCopies, false, IntPartOr<&J::NumCopies, 1>, 1, 13,
     IntPartOr<&J::NumCopies, 1>},
    {"PaperName", Type::Text, 255, &J::PaperName, false, Text<&J::PaperName>, 1, 14,
     Text<&J::PaperName>},
    {"PaperWidth", Type::Number, 0, &J::PaperWidth, false, SheetWidth, 1, 15, SheetWidth},
    {"PaperHeight", Type::Number, 0, &J::PaperHeight, false, SheetHeight, 1, 16, SheetHeight},
    {"TotalPages", Type::Whole, 0, &J::TotalPages, false,
     [](J& j, F& f) {
         double total = 0;
         j.TotalPages = f.conv.IsNumber(f.text, &total)
                            ? f.conv.Checked(std::floor(total))
                            : f.conv.Checked(double(j.PagesPerCopy) * double(j.NumCopies));
     },
     1, 0,
     [](J& j, F& f) {
         j.TotalPages =
             f.conv.Checked((double(j.PagesPerCopy) + j.SeparatorPages) * double(j.NumCopies));
     }},
    {"PathAndFilename", Type::Text, 255, &J::PathAndFilename, false,
     [](J& j, F& f) {
         j.PathAndFilename = LeftCharacters(Spooling(f.text) ? j.DocumentName : f.text, kMaxText);
     },
     1, 9,
     [](J& j, F& f) {
         // The longer of the two: the monitor may have found the document's full path.
         if (j.PathAndFilename.size() < f.text.size()) j.PathAndFilename = f.text;
         j.PathAndFilename = LeftCharacters(j.PathAndFilename, kMaxText);
     }},
    {"Color", Type::Text, 255, &J::Color, false,
     [](J& j, F& f) { j.Color = SpooledOr(f.text, "Monochrome"); }, 1, 19,
     [](J& j, F& f) {
         if (!f.present) return;
         if (Spooling(f.text))
             j.Color = QStringLiteral("Monochrome");
         else if (j.Color.isEmpty())
             j.Color = f.text;
     }},
    {"Reserved", Type::Number, 0, &J::Reserved, false,
     [](J& j, F& f) { j.Reserved = f.conv.NumberOr(f.text, 1.0); }, 1, 0,
     [](J& j, F&) { j.Reserved = 0.0; }},
    {"PrtDriverName", Type::Text, 50, &J::PrtDriverName, true, Text<&J::PrtDriverName>, 2, 20,
     [](J& j, F& f) {
         if (f.present) j.PrtDriverName = f.text;
     }},
    {"PrinterGroup", Type::Text, 50, +[] { return QVariant(QString()); }, true, nullptr, 1, 0,
     nullptr},
    {"MediaType", Type::Text, 50, &J::MediaType, true,
     [](J& j, F& f) { j.MediaType = SpooledOr(f.text, "Bond"); }, 1, 0, nullptr},
    {"Orientation", Type::Text, 50, &J::Orientation, true,
     [](J& j, F& f) { j.Orientation = SpooledOr(f.text, "Porttrait"); }, 1, 22,
     [](J& j, F& f) {
         if (f.present) j.Orientation = SpooledOr(f.text, "Porttrait");
     }},
    {"JobSummary", Type::Text, 255, &J::JobSummary, true, nullptr, 1, 0, nullptr},
};

// Data files are read on every machine: their numbers never depend on the locale.
QString Six(double v) {
    return QString::number(v, 'f', 6);
}
} // namespace

std::span<const CMasterField> MasterFields() {
    return kMaster;
}

QList<Platform::ColumnDef> DetailColumns() {
    return {{"RecordID", Type::Whole, 0},
            {"Category", Type::Text, 255},
            {"ValueText", Type::Text, kValueTextWidth},
            {"ValueNumber", Type::Number, 0}};
}

QString MasterText(const char* column, const QString& text) {
    for (const CMasterField& f : kMaster)
        if (qstrcmp(f.name, column) == 0) return LeftCharacters(text, f.size);
    return text;
}

QList<Platform::ColumnDef> MasterColumns() {
    QList<Platform::ColumnDef> columns;
    for (const CMasterField& f : kMaster) columns << Platform::ColumnDef{f.name, f.type, f.size};
    return columns;
}

namespace {
// The column names as rows carry them; made once by each caller, as a row is built for every
// job stored.
template <class Fields> QStringList NamesOf(const Fields& fields) {
    QStringList names;
    for (const auto& f : fields) names << QLatin1String(f.name);
    return names;
}
} // namespace

Platform::Row MasterRow(const CPrintJobInfo& job) {
    static const QStringList names = NamesOf(kMaster);
    Platform::Row row;
    row.reserve(names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        const CMasterField& f = kMaster[i];
        const QVariant v = std::visit(
            [&](auto m) -> QVariant {
                using M = decltype(m);
                if constexpr (std::is_same_v<M, std::monostate>)
                    return {};
                else if constexpr (std::is_same_v<M, QVariant (*)()>)
                    return m();
                else if constexpr (std::is_same_v<M, CDate CPrintJobInfo::*>)
                    return job.SubmitWallClock();
                else
                    return QVariant::fromValue(job.*m);
            },
            f.member);
        if (!v.isValid()) continue;
        row << Platform::Column{names[i],
                                f.type == Type::Text ? LeftCharacters(v.toString(), f.size) : v};
    }
    return row;
}

Platform::Row DetailRow(qint64 recordId, const CCategoryValue& v) {
    // Slightly below the largest double: marks a value that has no number.
    constexpr double kNoNumber = 1.79769313486231E+308;
    static const QList<Platform::ColumnDef> columns = DetailColumns();
    static const QStringList names = NamesOf(columns);
    const QVariant values[] = {recordId, v.ValueName, v.ValueString,
                               IsNumeric(v.ValueString) ? v.ValueNumeric : kNoNumber};
    Platform::Row row;
    row.reserve(columns.size());
    for (qsizetype i = 0; i < columns.size(); ++i)
        row << Platform::Column{names[i],
                                columns[i].type == Type::Text
                                    ? LeftCharacters(values[i].toString(), columns[i].size)
                                    : values[i]};
    return row;
}

QString DataFileFields(const CPrintJobInfo& job) {
    QStringList out;
    for (const CMasterField& f : kMaster) {
        if (!f.fromData) continue;
        out << std::visit(
            [&](auto m) -> QString {
                using M = decltype(m);
                if constexpr (std::is_same_v<M, QString CPrintJobInfo::*>)
                    return QuotedField(job.*m);
                else if constexpr (std::is_same_v<M, qint32 CPrintJobInfo::*>)
                    return QString::number(job.*m);
                else if constexpr (std::is_same_v<M, double CPrintJobInfo::*>)
                    return Six(job.*m);
                else if constexpr (std::is_same_v<M, CDate CPrintJobInfo::*>)
                    return QuotedField(job.SubmitText());
                else
                    return {};
            },
            f.member);
    }
    return out.join(QLatin1Char(','));
}

QString JobLine(const QStringList& lines, int n) {
    if (lines.isEmpty() || n < 1) return {};
    return lines[std::min<qsizetype>(n, lines.size()) - 1];
}
