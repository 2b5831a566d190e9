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

// "M/D/YYYY", then optionally " H:MM", ":SS" and " AM"/" PM": the monitor's own form, read
// for every job, so it does not go through the general date parser.
static bool ParseMonitorForm(QStringView t, CDate* out) {
    qsizetype i = 0;
    auto number = [&](int maxDigits, int* v) {
        const qsizetype start = i;
        *v = 0;
        while (i < t.size() && i - start < maxDigits && t[i].unicode() >= u'0' &&
               t[i].unicode() <= u'9')
            *v = *v * 10 + (t[i++].unicode() - u'0');
        return i > start;
    };
    auto expect = [&](char16_t c) {
        if (i >= t.size() || t[i].unicode() != c) return false;
        ++i;
        return true;
    };
    int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (!number(2, &month) || !expect(u'/') || !number(2, &day) || !expect(u'/') ||
        !number(4, &year) || year < 100)
        return false;
    if (i < t.size()) {
        if (!expect(u' ') || !number(2, &hour) || !expect(u':') || !number(2, &minute))
            return false;
        if (expect(u':') && !number(2, &second)) return false;
        if (i < t.size()) {
            if (!expect(u' ') || t.size() - i != 2) return false;
            const QString ap = t.mid(i).toString().toUpper();
            const bool pm = ap == QLatin1String("PM");
            if ((!pm && ap != QLatin1String("AM")) || hour < 1 || hour > 12) return false;
            hour = hour % 12 + (pm ? 12 : 0);
        }
    }
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid()) return false;
    *out = CDate(double(kEpoch.daysTo(date)) + double(time.msecsSinceStartOfDay()) / 86400000.0);
    return true;
}

bool CDate::Parse(const QString& raw, CDate* out) {
    const QString text = raw.trimmed();
    if (text.isEmpty()) return false;
    if (ParseMonitorForm(text, out)) return true;
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

NumberCheck ToWholeNumber(const QString& text, qint32 low, qint32 high, qint32* value) {
    double v = 0;
    if (!ParseNumber(text, &v)) return NumberCheck::NotNumeric;
    v = RoundHalfEven(v);
    if (v < low || v > high) return NumberCheck::OutOfRange;
    *value = qint32(v);
    return NumberCheck::Ok;
}

QString FormatFixed(double value, int decimals) {
    QLocale loc;
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    return loc.toString(value, 'f', decimals);
}
