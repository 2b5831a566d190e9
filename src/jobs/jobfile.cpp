// Reading a stored job back: its data file and the job file the monitor left beside it.
#include "common/bcommon.h"
#include "common/values.h"
#include "intake/cmonitor.h"
#include "jobs/cprintjobinfo.h"
#include "platform/files.h"

#include <QLocale>
#include <cmath>

namespace {
constexpr int kMaxText = 253;
const QString kDefaultPaper = QStringLiteral("8.50 x 11.00");

// The comma-separated fields of one data-file line after its tag; notes a line that ends
// before all its fields were read.
class CFieldReader {
public:
    explicit CFieldReader(const QString& line) : m_line(line) { Next(); }
    QString Next() {
        if (m_pos > m_line.size()) m_short = true;
        return GetNextField(m_line, m_pos, QLatin1Char(','));
    }
    bool Short() const { return m_short; }

private:
    const QString& m_line;
    int m_pos = 0;
    bool m_short = false;
};

// Data files carry numbers in one form on every machine.
bool DataNumber(const QString& text, double* v) {
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double d = c.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(d)) return false;
    *v = d;
    return true;
}

using Parser = bool (*)(const QString&, double*);

// Reads numbers into the record, remembering the first conversion that failed.
class CConverter {
public:
    CConverter(Parser parse, CError& err) : m_parse(parse), m_err(err) {}
    bool Failed() const { return m_failed; }
    bool IsNumber(const QString& t, double* v) const { return m_parse(t, v); }
    double NumberOr(const QString& t, double fallback) const {
        double v = 0;
        return m_parse(t, &v) ? v : fallback;
    }
    // A whole number (halves to even) when numeric, else fallback.
    qint32 WholeOr(const QString& t, qint32 fallback) { return Convert(t, fallback, false); }
    // The integer part when numeric, else fallback.
    qint32 IntPartOr(const QString& t, qint32 fallback) { return Convert(t, fallback, true); }
    // A whole number where one must be: anything else is a type mismatch.
    qint32 Whole(const QString& t) {
        double v = 0;
        if (!m_parse(t, &v)) Fail(kErrTypeMismatch, QStringLiteral("Type mismatch"));
        return Convert(t, 0, false);
    }
    qint32 Checked(double v) {
        if (v < -2147483648.0 || v > 2147483647.0) {
            Fail(kErrOverflow, QStringLiteral("Overflow"));
            return 0;
        }
        return qint32(v);
    }
    void Fail(int number, const QString& description) {
        if (m_failed) return;
        m_failed = true;
        m_err = CError{number, description};
    }

private:
    qint32 Convert(const QString& t, qint32 fallback, bool intPart) {
        double v = 0;
        if (!m_parse(t, &v)) return fallback;
        return Checked(intPart ? std::floor(v) : RoundHalfEven(v));
    }
    Parser m_parse;
    CError& m_err;
    bool m_failed = false;
};

bool Spooling(const QString& text) {
    return text.isEmpty() || text.toUpper().contains(QLatin1String("SPOOLING"));
}

// The general conversion of a number to text: its shortest form.
QString General(double v) {
    QLocale loc;
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    return loc.toString(v, 'g', 15);
}

bool ToDate(CConverter& conv, const QString& text, CDate* out) {
    // A text the parser takes as it is reads the same after normalising.
    if (CDate::Parse(TrimAtNul(text), out) || CDate::Parse(NormalizeDateText(text), out))
        return true;
    conv.Fail(kErrTypeMismatch, QStringLiteral("Type mismatch"));
    return false;
}
} // namespace

bool IsCancelAnswer(const QStringList& dataLines) {
    int words = 0;
    for (const QString& line : dataLines) {
        const QString t = line.trimmed();
        if (t.isEmpty()) continue;
        if (++words > 1 || t.compare(QLatin1String("cancel"), Qt::CaseInsensitive) != 0)
            return false;
    }
    return words == 1;
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
    CConverter data(DataNumber, e);
    auto truncated = [&] {
        e = CError{62, QStringLiteral("Input past end of file")};
        return false;
    };

    // Master line.
    bool bad = false;
    const QString master = dataLines->value(0);
    CFieldReader f(master);
    const QString version = f.Next();
    if (version != QLatin1String("1") && version != QLatin1String("2")) {
        bad = true;
    } else {
        PrintJobID = data.Whole(f.Next());
        PrinterName = f.Next();
        MachineName = f.Next();
        UserName = f.Next();
        DocumentName = f.Next().left(kMaxText);
        if (data.Failed() || !ToDate(data, f.Next(), &SubmitDT)) return false;
        QueueName = f.Next();
        JobSizeBytes = data.WholeOr(f.Next(), 1);
        PagesPerCopy = data.IntPartOr(f.Next(), 1);
        SeparatorPages = data.IntPartOr(f.Next(), 0);
        NumCopies = data.IntPartOr(f.Next(), 1);
        PaperName = f.Next();
        PaperWidth = data.NumberOr(f.Next(), 8.5);
        if (!data.IsNumber(f.Next(), &PaperHeight)) {
            PaperHeight = 11.0;
            PaperName = kDefaultPaper;
        }
        double total = 0;
        TotalPages = data.IsNumber(f.Next(), &total)
                         ? data.Checked(std::floor(total))
                         : data.Checked(double(PagesPerCopy) * double(NumCopies));
        const QString document = f.Next();
        PathAndFilename = (Spooling(document) ? DocumentName : document).left(kMaxText);
        const QString color = f.Next();
        Color = Spooling(color) ? QStringLiteral("Monochrome") : color;
        Reserved = data.NumberOr(f.Next(), 1.0);
        PrtDriverName = version != QLatin1String("1") ? f.Next() : QString();
        const QString media = f.Next();
        MediaType = Spooling(media) ? QStringLiteral("Bond") : media;
        const QString orientation = f.Next();
        Orientation = Spooling(orientation) ? QStringLiteral("Porttrait") : orientation;
        if (data.Failed()) return false;
        if (f.Short()) return truncated();
        ClearPrinterGroup();
    }

    // Job file.
    const QString jobPath = path.left(path.size() - 3) + QStringLiteral("prt");
    if (!bad && !DocumentName.contains(QLatin1String("Offline Job"), Qt::CaseInsensitive)) {
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
            CConverter job(ParseNumber, e);
            QString t; // past the end of the file, the last line read stands for the missing ones
            auto line = [&](int n) {
                if (n > lines.size()) return false;
                t = lines[n - 1];
                return true;
            };
            line(1);
            line(2);
            const QString pageCount = t;
            line(3);
            QueueName = t;
            line(4);
            PrintJobID = job.WholeOr(t, 1);
            line(5);
            PrinterName = t;
            line(6);
            MachineName = t;
            line(7);
            UserName = t;
            line(8);
            DocumentName = TrimAtNul(t).trimmed().left(kMaxText);
            line(9);
            if (PathAndFilename.size() < t.size()) PathAndFilename = t;
            PathAndFilename.truncate(kMaxText);
            line(10);
            if (job.Failed() || !ToDate(job, t, &SubmitDT)) return false;
            line(11);
            JobSizeBytes = job.WholeOr(t, 1);
            line(12);
            PagesPerCopy = job.IntPartOr(t, 1);
            double pages = 0;
            if (job.IsNumber(pageCount, &pages) && std::floor(pages) > PagesPerCopy)
                PagesPerCopy = job.Checked(std::floor(pages));
            line(13);
            NumCopies = job.IntPartOr(t, 1);
            line(14);
            PaperName = t;
            line(15);
            PaperWidth = job.NumberOr(t, 8.5);
            line(16);
            if (!job.IsNumber(t, &PaperHeight)) {
                PaperHeight = 11.0;
                PaperName = kDefaultPaper;
            }
            if (line(19)) {
                if (Spooling(t))
                    Color = QStringLiteral("Monochrome");
                else if (Color.isEmpty())
                    Color = t;
            }
            if (line(20)) PrtDriverName = t;
            if (line(22)) Orientation = Spooling(t) ? QStringLiteral("Porttrait") : t;
            SeparatorPages = 0;
            Reserved = 0.0;
            TotalPages = job.Checked((double(PagesPerCopy) + SeparatorPages) * double(NumCopies));
            if (job.Failed()) return false;
        }
    }

    // Detail lines, with the values that were not known when the job was stored worked out.
    const double area = PaperWidth * PaperHeight * NumCopies * PagesPerCopy / 144.0;
    for (qsizetype i = 1; i < dataLines->size() && !bad; ++i) {
        const QString& line = dataLines->at(i);
        if (!line.contains(QLatin1String("QorvexDetail"))) continue;
        CFieldReader d(line);
        const QString v = d.Next();
        const auto value = CategoryValues.NewCCategoryValue();
        if (v != QLatin1String("1") && v != QLatin1String("2")) {
            bad = true;
            break;
        }
        value->ValueName = d.Next();
        const QString text = d.Next();
        if (d.Short()) return truncated();
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

    JobSummary = (UserName.toUpper() + QStringLiteral(" printed ") + QString::number(PagesPerCopy) +
                  QLatin1Char('-') + General(PaperWidth) + QLatin1Char('x') + General(PaperHeight) +
                  QStringLiteral(" pages of ") + DocumentName + QStringLiteral(" with ") +
                  QString::number(NumCopies) + QStringLiteral(" copies ") + QStringLiteral(" on ") +
                  Color + QLatin1Char('-') + MediaType + QStringLiteral(" at ") +
                  QLocale().toString(SubmitWallClock(), QLocale::ShortFormat))
                     .left(kMaxText);
    return !bad;
}
