// The field and date readers on any text: quoted fields, dates, numbers, list items, cost texts.
#include "common/bcommon.h"
#include "common/values.h"
#include "fuzzsupport.h"
#include "platform/files.h"

#include <cmath>
#include <limits>

namespace {
// Fields written as the data file writes them (quoted, marks doubled) come back trimmed.
void QuotedFieldsComeBack(const QString& text) {
    const QChar sep = text.isEmpty() || text[0] == QLatin1Char('"') ? QLatin1Char(',') : text[0];
    const QStringList fields = text.mid(1).split(QLatin1Char('\n'));
    QStringList quoted;
    for (const QString& f : fields) quoted << QLatin1Char('"') + DoubleQuotes(f) + QLatin1Char('"');
    const QString line = quoted.join(sep);
    int pos = 0;
    for (const QString& f : fields) {
        const QString got = GetNextField(line, pos, sep);
        if (got != f.trimmed())
            Broken("GetNextField gives the quoted field back", f.trimmed(), got);
    }
    if (pos != line.size() + 1)
        Broken("GetNextField ends past the line", QString::number(line.size() + 1),
               QString::number(pos));
}

// Every field of a raw line is read and the position only moves on.
void FieldsOfRawLine(const QString& text) {
    int pos = 0;
    while (pos <= text.size()) {
        const int before = pos;
        GetNextField(text, pos, QLatin1Char(','));
        if (pos <= before)
            Broken("GetNextField moves on", QString::number(before), QString::number(pos));
    }
}

void Dates(const QString& text) {
    const QString once = NormalizeDateText(text);
    const QString twice = NormalizeDateText(once);
    if (once != twice) Broken("NormalizeDateText is idempotent", once, twice);
    CDate date;
    if (!CDate::Parse(text, &date)) return;
    const QString shown = date.Text();
    CDate again;
    if (!CDate::Parse(shown, &again) || again.Text() != shown)
        Broken("a parsed date reads back from its own text", shown, again.Text());
}

void Numbers(const QString& text) {
    double v = 0;
    const bool numeric = ParseNumber(text, &v);
    if (numeric != IsNumeric(text)) Broken("IsNumeric agrees with ParseNumber", {}, text);
    if (numeric) {
        if (!std::isfinite(v)) Broken("a number is finite", {}, text);
        double back = 0;
        const QString shown = FormatFixed(v, 6);
        if (!ParseNumber(shown, &back)) Broken("a formatted number is numeric", text, shown);
    }
    const std::pair<qint32, qint32> ranges[] = {
        {0, 32767},
        {-32768, 32767},
        {std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()}};
    for (const auto& [low, high] : ranges) {
        qint32 whole = 12345;
        const NumberCheck check = ToWholeNumber(text, low, high, &whole);
        const NumberCheck expected = !numeric ? NumberCheck::NotNumeric
                                     : RoundHalfEven(v) < low || RoundHalfEven(v) > high
                                         ? NumberCheck::OutOfRange
                                         : NumberCheck::Ok;
        if (check != expected || (check == NumberCheck::Ok && whole != RoundHalfEven(v)) ||
            (check != NumberCheck::Ok && whole != 12345))
            Broken("ToWholeNumber rounds halves to even within the range",
                   QString::number(int(expected)),
                   QString::number(int(check)) + u" "_s + QString::number(whole));
    }
}

void ListItems(const QString& text) {
    const QStringList items = text.split(QLatin1Char(','));
    for (int n = 1; n <= items.size() + 1 && n <= 8; ++n) {
        const QString expected = n <= items.size() ? items[n - 1] : QString();
        const QString got = GetListItem(n, text);
        if (got != expected) Broken("GetListItem gives the n-th item", expected, got);
    }
}

void CostText(const QString& text) {
    for (const char* field : {"Color", "Media", "Cost", "Other"}) {
        const QString part = GetCostTextField(text, QString::fromLatin1(field));
        if (!text.contains(part)) Broken("a cost text part is taken from the text", text, part);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ResetWorld();
    const QString text = Platform::DecodeText(Bytes(data, size));
    QuotedFieldsComeBack(text);
    FieldsOfRawLine(text);
    Dates(text);
    Numbers(text);
    ListItems(text);
    CostText(text);
    return 0;
}
