#include "categories/ccategoryvalue.h"

#include "categories/cpredefinedvalue.h"
#include "categories/systemcode.h"
#include "common/environment.h"
#include "common/values.h"
#include "config/bconfigfile.h"
#include "config/cprintergroup.h"
#include "jobs/cprintjobinfo.h"

#include <QLocale>

namespace {
bool IsSep(QChar c) {
    return c == QLatin1Char('\\') || c == QLatin1Char('/');
}
bool IsAsciiLetter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z');
}
bool IsAsciiDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

double NumberOr(const QString& text, double fallback) {
    double v = 0;
    return ParseNumber(text, &v) ? v : fallback;
}

// Drops characters from the end until the last one is a digit.
QString CutToLastDigit(QString r) {
    while (!r.isEmpty() && !IsAsciiDigit(r.back())) r.chop(1);
    return r;
}

QString LongTime(const QTime& t) {
    // The locale's long time format without the time zone.
    QString f = QLocale().timeFormat(QLocale::LongFormat);
    f.remove(QLatin1Char('t'));
    return QLocale().toString(t, f.trimmed());
}
} // namespace

QString ExtractLevelCode(const QString& name) {
    const QString s = TrimAtNul(name).trimmed();
    QString r;
    if (!s.isEmpty()) {
        qsizetype k = 0; // 1-based position of the first letter
        while (k < s.size() && !IsAsciiLetter(s[k])) ++k;
        ++k;
        const bool whole = k + 1 >= s.size();
        r = whole ? s : s.left(k - 1);
        if (k == 1 && !whole) {
            qsizetype d = 0;
            while (d < s.size() && !IsAsciiDigit(s[d])) ++d;
            r = d < s.size() ? s.mid(d) : QString();
        }
        r = TrimAtNul(r).trimmed();
        if (r.size() >= 3) r = CutToLastDigit(r);
    }
    if ((r.size() == 1 || r.size() == 2) && !IsNumeric(r)) r.clear();
    qsizetype letter = 0;
    while (letter < r.size() && !IsAsciiLetter(r[letter])) ++letter;
    r = r.left(letter).trimmed();
    if (r.size() >= 3) r = CutToLastDigit(r);
    return r;
}

QString AutoDirectoryLevel(const QString& path, bool includeFileName) {
    QString best;
    qsizetype start = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!IsSep(path[i])) continue;
        const QString code = ExtractLevelCode(path.mid(start, i - start));
        if (code.size() > best.size()) best = code;
        start = i + 1;
    }
    const QString file = path.mid(start);
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    if (includeFileName && dot >= 0) {
        const QString code = ExtractLevelCode(file.left(dot));
        if (code.size() > best.size()) best = code;
    }
    return best;
}

void CCategoryValue::GetDocumentDirectory(qint32 code, const QString& path, bool pathValid) {
    if (!pathValid) {
        ValueString.clear();
        ValueKnown = false;
    } else if (const int level = DirectoryLevel(code)) {
        qsizetype at = -1;
        int seen = 0;
        for (qsizetype i = 0; i < path.size() && seen < level; ++i)
            if (IsSep(path[i])) {
                ++seen;
                at = i;
            }
        qsizetype next = -1;
        if (seen == level)
            for (qsizetype i = at + 1; i < path.size() && next < 0; ++i)
                if (IsSep(path[i])) next = i;
        ValueString = next < 0 ? QString() : path.mid(at + 1, next - at - 1);
        ValueKnown = !ValueString.isEmpty();
    } else if (const bool withFile = code == qint32(ESystemCode::AutoDirectoryLevelWithFile);
               withFile || code == qint32(ESystemCode::AutoDirectoryLevel)) {
        ValueString = AutoDirectoryLevel(path, withFile);
        ValueKnown = !ValueString.isEmpty();
    }
    ValueNumeric = NumberOr(ValueString, ValueNumeric);
}

void CCategoryValue::ConvertText(const QString& text, const CPrintJobInfo& job) {
    ValueKnown = true;
    ValueString = text;
    qsizetype p = -1;
    // The separators hold no letters: a case-sensitive search finds the same, much faster.
    for (const char* sep : {" - ", " | ", " ; "}) {
        p = text.indexOf(QLatin1String(sep));
        if (p >= 0) break;
    }
    double rate = 0;
    if (p >= 0 && ParseNumber(text.left(p), &rate)) {
        const QString label = text.mid(p + 2);
        auto has = [&](const char* a, const char* b) {
            return label.contains(QLatin1String(a), Qt::CaseInsensitive) ||
                   label.contains(QLatin1String(b), Qt::CaseInsensitive);
        };
        const double sheets = double(job.NumCopies) * double(job.PagesPerCopy);
        if (has("($)Cost by square foot", "($)Cost per square foot")) {
            ValueNumeric = job.PaperWidth * job.PaperHeight * sheets / 144.0 * rate;
            ValueString = FormatFixed(ValueNumeric, 2);
        } else if (has("($)Cost by page", "($)Cost per page")) {
            ValueNumeric = sheets * rate;
            ValueString = FormatFixed(ValueNumeric, 2);
        }
    }
    ValueNumeric = NumberOr(ValueString, 0);
}

bool CCategoryValue::ConvertPreDefinedValue(const CPreDefinedValue& entry, CPrintJobInfo& job,
                                            const QString& categoryName, CError* err) {
    ValueName = categoryName;
    if (!entry.IsSystemEntry) {
        ConvertText(entry.EntryText, job);
        return true;
    }
    ValueNumeric = 0;
    // A row whose value is unknown: the placeholder when values are shown at once.
    const bool placeholders = LenientFlag(gEnv.m_sDisplayImmediately);
    auto fact = [&](bool known, const QString& text, const char* placeholder = nullptr,
                    bool keepText = false) {
        if (known || keepText) {
            ValueKnown = known;
            ValueString = text;
        } else if (placeholder && placeholders) {
            ValueKnown = true;
            ValueString = QString::fromLatin1(placeholder);
        } else {
            ValueKnown = false;
            ValueString.clear();
        }
    };
    auto count = [&](bool valid, qint32 n) {
        fact(valid, QString::number(n));
        ValueNumeric = valid ? double(n) : 0;
    };
    auto amount = [&](bool valid, double v, const char* placeholder = nullptr) {
        fact(valid, FormatFixed(v, 2), placeholder);
        ValueNumeric = valid ? v : 0;
    };
    const double area = job.PaperWidth * job.PaperHeight / 144.0;
    using S = ESystemCode;
    switch (S(entry.SystemCode)) {
    case S::None:
        fact(true, QString());
        break;
    case S::LastUsed: {
        const QString last = GetSettingText(QStringLiteral("LastUsed"), categoryName, QString());
        fact(!last.isEmpty(), last);
        ValueNumeric = NumberOr(last, 0);
        break;
    }
    case S::PrinterName:
        fact(job.PrinterName_Valid(), job.PrinterName, nullptr, true);
        break;
    case S::MachineName:
        fact(job.MachineName_Valid(), job.MachineName, nullptr, true);
        break;
    case S::UserName:
        fact(job.UserName_Valid(), job.UserName, nullptr, true);
        break;
    case S::DocumentName:
        fact(job.DocumentName_Valid(), job.DocumentName, nullptr, true);
        break;
    case S::SubmitDT: {
        const bool valid = job.SubmitDT_Valid();
        fact(valid, job.SubmitDT.Date().toString(u"yyyy/MM/dd") + QLatin1Char(' ') +
                        LongTime(job.SubmitDT.Time()));
        ValueNumeric = valid ? job.SubmitDT.Days() : 0;
        break;
    }
    case S::QueueName:
        fact(job.QueueName_Valid(), job.QueueName, nullptr, true);
        break;
    case S::DriverName:
        fact(job.PrtDriverName_Valid(), job.PrtDriverName, nullptr, true);
        break;
    case S::PrinterGroup: {
        const auto group = job.PrinterGroup();
        const QString name = group ? group->PrinterGroupName : QString();
        fact(!name.isEmpty(), name);
        break;
    }
    case S::JobSizeBytes:
        count(job.JobSizeBytes_Valid(), job.JobSizeBytes);
        break;
    case S::PagesPerCopy:
        count(job.PagesPerCopy_Valid(), job.PagesPerCopy);
        break;
    case S::SeparatorPages:
        count(job.SeparatorPages_Valid(), job.SeparatorPages);
        break;
    case S::NumCopies:
        count(job.NumCopies_Valid(), job.NumCopies);
        break;
    case S::TotalPages: {
        const qint64 total = qint64(job.PagesPerCopy) * job.NumCopies + job.SeparatorPages;
        if (total > INT32_MAX || total < INT32_MIN) {
            if (err) *err = {kErrOverflow, QStringLiteral("Overflow")};
            return false;
        }
        const bool valid =
            job.PagesPerCopy_Valid() && job.SeparatorPages_Valid() && job.NumCopies_Valid();
        fact(valid, QString::number(total), "Total Pages");
        ValueNumeric = valid ? double(total) : 0;
        break;
    }
    case S::PaperName:
    case S::PaperSize:
    case S::PaperNameAndSize:
        fact(job.PaperWidth_Valid() && job.PaperHeight_Valid(),
             FormatFixed(job.PaperWidth, 2) + QStringLiteral(" x ") +
                 FormatFixed(job.PaperHeight, 2) + QStringLiteral(" in"),
             "Paper Size");
        break;
    case S::PaperWidth:
        amount(job.PaperWidth_Valid(), job.PaperWidth, "Paper Width");
        break;
    case S::PaperHeight:
        amount(job.PaperHeight_Valid(), job.PaperHeight, "Paper Height");
        break;
    case S::PaperAreaPerSheet:
        amount(job.PaperWidth_Valid() && job.PaperHeight_Valid(), area);
        break;
    case S::TotalPaperArea:
        amount(job.PaperWidth_Valid() && job.PaperHeight_Valid() && job.NumCopies_Valid() &&
                   job.PagesPerCopy_Valid(),
               area * double(job.NumCopies) * double(job.PagesPerCopy), "Total Paper Area");
        break;
    case S::MediaType:
        fact(!job.MediaType.isEmpty() && job.MediaType != QLatin1String("Spooling"), job.MediaType,
             "Media Type");
        break;
    case S::Orientation:
        fact(!job.Orientation.isEmpty(), job.Orientation);
        break;
    case S::JobSummary:
        fact(!job.JobSummary.isEmpty(), job.JobSummary);
        break;
    case S::PathAndFilename:
        fact(job.PathAndFilename_Valid(), job.PathAndFilename, nullptr, true);
        break;
    case S::Color:
        fact(job.Color == QLatin1String("Color") || job.Color == QLatin1String("Monochrome"),
             job.Color, "Color-Monochrome");
        break;
    case S::AutoDirectoryLevelWithFile:
    case S::AutoDirectoryLevel:
        GetDocumentDirectory(entry.SystemCode, job.PathAndFilename, job.PathAndFilename_Valid());
        break;
    default:
        if (DirectoryLevel(entry.SystemCode)) {
            GetDocumentDirectory(entry.SystemCode, job.PathAndFilename,
                                 job.PathAndFilename_Valid());
        } else {
            ValueKnown = false;
            ValueString.clear();
        }
        break;
    }
    return true;
}
