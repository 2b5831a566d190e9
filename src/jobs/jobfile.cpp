// Reading a stored job back: its data file and the job file the monitor left beside it.
#include "common/bcommon.h"
#include "common/values.h"
#include "intake/cmonitor.h"
#include "jobs/cprintjobinfo.h"
#include "jobs/masterfields.h"
#include "platform/files.h"

#include <QLocale>
#include <cmath>

namespace {

// The comma-separated fields of one data-file line after its tag. A field past the line's end
// is empty and so takes its default: the activity export ends its lines early.
class CFieldReader {
public:
    explicit CFieldReader(const QString& line) : m_line(line) { Next(); }
    QString Next() { return GetNextField(m_line, m_pos, QLatin1Char(',')); }

private:
    const QString& m_line;
    int m_pos = 0;
};

// Data files carry numbers in one form on every machine.
bool DataNumber(const QString& text, double* v) {
    if (ParsePlainNumber(QStringView(text).trimmed(), QLatin1Char('.'), v)) return true;
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double d = c.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(d)) return false;
    *v = d;
    return true;
}

// The general conversion of a number to text: its shortest form.
QString General(double v) {
    QLocale loc;
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    return loc.toString(v, 'g', 15);
}

// The data file's format version, 0 when it is none this program reads.
int FormatVersion(const QString& text) {
    return text == QLatin1String("1") ? 1 : text == QLatin1String("2") ? 2 : 0;
}
} // namespace

namespace {
// Whether the lines hold word alone.
bool IsOneWordAnswer(const QStringList& dataLines, QStringView word) {
    int words = 0;
    for (const QString& line : dataLines) {
        const QString t = line.trimmed();
        if (t.isEmpty()) continue;
        if (++words > 1 || t.compare(word, Qt::CaseInsensitive) != 0) return false;
    }
    return words == 1;
}
} // namespace

bool IsCancelAnswer(const QStringList& dataLines) {
    return IsOneWordAnswer(dataLines, u"cancel");
}

bool IsUnreleasedAnswer(const QStringList& dataLines) {
    return IsOneWordAnswer(dataLines, kUnreleasedAnswer);
}

bool CPrintJobInfo::ReadMasterLine(const QString& line, CError& e) {
    CFieldConverter conv(DataNumber, e);
    CFieldReader f(line);
    const int v = FormatVersion(f.Next());
    for (const CMasterField& field : MasterFields()) {
        if (!field.fromData || field.sinceVersion > v) continue;
        CFieldText text{f.Next(), true, conv};
        field.fromData(*this, text);
        if (conv.Failed()) return false;
    }
    ClearPrinterGroup();
    return true;
}

bool CPrintJobInfo::ReadJobLines(const QStringList& lines, CError& e) {
    CFieldConverter conv(ParseNumber, e);
    for (const CMasterField& field : MasterFields()) {
        if (!field.fromJob) continue;
        CFieldText text{JobLine(lines, field.jobLine), field.jobLine <= lines.size(), conv, &lines};
        field.fromJob(*this, text);
        if (conv.Failed()) return false;
    }
    return true;
}

bool CPrintJobInfo::ReadFromFile(const QString& path, CError* err, const QStringList* dataLines,
                                 const QStringList* jobLines) {
    CError local;
    CError& e = err ? *err : local;
    QStringList read;
    if (!dataLines) {
        bool ok = false;
        read = Platform::ReadLines(path, &ok);
        if (!ok) {
            e = CError{kErrFileNotFound, QStringLiteral("File not found")};
            return false;
        }
        dataLines = &read;
    }
    const QString& master = dataLines->value(0);
    if (FormatVersion(CFieldReader(master).Next()) == 0) return false;
    if (!ReadMasterLine(master, e)) return false;

    // The job file beside it, unless the job was typed in while offline.
    if (!DocumentName.contains(QLatin1String("Offline Job"), Qt::CaseInsensitive)) {
        const QString jobPath = path.left(path.size() - 3) + QStringLiteral("prt");
        QStringList lines;
        bool have = jobLines != nullptr;
        if (have) {
            lines = *jobLines;
        } else if (!FindFile(jobPath).isEmpty()) {
            lines = CMonitor::ReadJobLines(jobPath, CMonitor::kJobLines, &have);
            if (!have) {
                e = CError{kErrPathFileAccess, QStringLiteral("Path/File access error")};
                return false;
            }
        }
        if (have) {
            JobFileName = jobPath;
            if (!ReadJobLines(lines, e)) return false;
        }
    }
    if (!ReadDetailLines(*dataLines)) return false;
    JobSummary = Summary();
    return true;
}

bool CPrintJobInfo::ReadDetailLines(const QStringList& dataLines) {

    // The values that were not known when the job was stored are worked out.
    const double area = PaperWidth * PaperHeight * NumCopies * PagesPerCopy / 144.0;
    for (qsizetype i = 1; i < dataLines.size(); ++i) {
        const QString& line = dataLines.at(i);
        if (!line.contains(QLatin1String("QorvexDetail"))) continue;
        CFieldReader d(line);
        const QString v = d.Next();
        const auto value = CategoryValues.NewCCategoryValue();
        if (FormatVersion(v) == 0) return false;
        value->ValueName = d.Next();
        const QString text = d.Next();
        value->ValueString = text;
        auto has = [&](const char* s) { return text.contains(QLatin1String(s)); };
        if (text.contains(QLatin1String("per square foot"), Qt::CaseInsensitive)) {
            double price = 0;
            ParseNumber(GetCostTextField(text, QStringLiteral("Cost")), &price);
            MediaType = GetCostTextField(text, QStringLiteral("Media"));
            value->ValueNumeric = price * area;
            value->ValueString = FormatFixed(value->ValueNumeric, 2);
        } else if (has("Total Paper Area")) {
            value->ValueNumeric = area;
            value->ValueString = FormatFixed(area, 2);
        } else if (has("Total Pages")) {
            value->ValueNumeric = TotalPages;
            value->ValueString = FormatFixed(TotalPages, 2);
        } else if (has("Paper Size") || has("Paper Name")) {
            value->ValueString = General(PaperWidth) + QStringLiteral(" x ") + General(PaperHeight);
            value->ValueNumeric = 0;
        } else if (has("Color-Monochrome")) {
            value->ValueString = Color;
            value->ValueNumeric = 0;
        } else if (has("Paper Width")) {
            value->ValueString = General(PaperWidth);
            value->ValueNumeric = 0;
        } else if (has("Paper Height")) {
            value->ValueString = General(PaperHeight);
            value->ValueNumeric = 0;
        }
        double n = 0;
        if (ParseNumber(value->ValueString, &n)) value->ValueNumeric = n;
    }
    return true;
}

QString CPrintJobInfo::Summary() const {
    return LeftCharacters(
        UserName.toUpper() + QStringLiteral(" printed ") + QString::number(PagesPerCopy) +
            QLatin1Char('-') + General(PaperWidth) + QLatin1Char('x') + General(PaperHeight) +
            QStringLiteral(" pages of ") + DocumentName + QStringLiteral(" with ") +
            QString::number(NumCopies) + QStringLiteral(" copies ") + QStringLiteral(" on ") +
            Color + QLatin1Char('-') + MediaType + QStringLiteral(" at ") +
            QLocale().toString(SubmitWallClock(), QLocale::ShortFormat),
        kMaxText);
}
