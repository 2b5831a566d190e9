#include "common/values.h"

#include <QLocale>
#include <cmath>

static const QDate kEpoch(1899, 12, 30);

CDate CDate::FromDateTime(const QDateTime& dt) {
    if (!dt.isValid()) return CDate();
    const double days = double(kEpoch.daysTo(dt.date()));
    const double frac = double(dt.time().msecsSinceStartOfDay()) / 86400000.0;
    return CDate(days + frac);
}

QDateTime CDate::ToDateTime() const {
    const double whole = std::floor(m_days);
    const qint64 ms = qint64(std::llround((m_days - whole) * 86400000.0));
    QDateTime dt(kEpoch.addDays(qint64(whole)), QTime(0, 0));
    return dt.addMSecs(ms);
}

bool CDate::Parse(const QString& raw, CDate* out) {
    const QString text = raw.trimmed();
    if (text.isEmpty()) return false;
    static const char* const kFormats[] = {
        "M/d/yyyy h:mm:ss AP", "M/d/yyyy h:mm AP", "M/d/yyyy H:mm:ss",
        "M/d/yyyy H:mm",       "M/d/yyyy",         "yyyy-MM-ddTHH:mm:ss",
        "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd"};
    const QLocale c = QLocale::c();
    for (const char* f : kFormats) {
        QDateTime dt = c.toDateTime(text, QString::fromLatin1(f));
        if (dt.isValid()) {
            *out = FromDateTime(dt);
            return true;
        }
    }
    QDateTime iso = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (iso.isValid()) {
        *out = FromDateTime(iso);
        return true;
    }
    return false;
}

static bool NumericShape(const QString& t, QChar decimal) {
    qsizetype i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) ++i;
    bool digits = false, point = false;
    for (; i < t.size(); ++i) {
        if (t[i].isDigit() && t[i].unicode() < 128)
            digits = true;
        else if (t[i] == decimal && !point)
            point = true;
        else
            break;
    }
    if (!digits) return false;
    if (i < t.size() && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
        ++i;
        if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) ++i;
        const qsizetype start = i;
        while (i < t.size() && t[i].isDigit() && t[i].unicode() < 128) ++i;
        if (i == start) return false;
    }
    return i == t.size();
}

bool ParseNumber(const QString& text, double* value) {
    const QString t = text.trimmed();
    QLocale loc;
    const QString dec = loc.decimalPoint();
    if (dec.size() != 1 || !NumericShape(t, dec[0])) return false;
    loc.setNumberOptions(QLocale::RejectGroupSeparator);
    QString plain = t;
    if (plain.startsWith(QLatin1Char('+'))) plain.remove(0, 1);
    bool ok = false;
    const double v = loc.toDouble(plain, &ok);
    if (!ok || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

bool IsNumeric(const QString& text) {
    double v;
    return ParseNumber(text, &v);
}

double RoundHalfEven(double value) {
    return std::nearbyint(value);
}

QString FormatFixed(double value, int decimals) {
    QLocale loc;
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    return loc.toString(value, 'f', decimals);
}

qsizetype InStrNoCase(const QString& haystack, const QString& needle) {
    return haystack.indexOf(needle, 0, Qt::CaseInsensitive) + 1;
}
