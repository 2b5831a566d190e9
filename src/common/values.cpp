#include "common/values.h"

#include <QLocale>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

static const QDate kEpoch(1899, 12, 30);
constexpr qint64 kMsPerDay = 86400000;

CDate CDate::FromDateAndTime(const QDate& date, const QTime& time) {
    if (!date.isValid() || !time.isValid()) return CDate();
    return CDate(double(kEpoch.daysTo(date)) + double(time.msecsSinceStartOfDay()) / kMsPerDay);
}

CDate CDate::FromDateTime(const QDateTime& dt) {
    // date() and time() hold what was asked for even where the clocks skip it.
    return FromDateAndTime(dt.date(), dt.time());
}

// Whole days and milliseconds of the day; a fraction that rounds up to a full day carries.
static bool Split(double days, qint64* day, int* ms) {
    if (!std::isfinite(days) || std::abs(days) > 1e9) return false;
    const double whole = std::floor(days);
    qint64 m = std::llround((days - whole) * kMsPerDay);
    *day = qint64(whole);
    if (m >= kMsPerDay) {
        m -= kMsPerDay;
        ++*day;
    }
    *ms = int(m);
    return true;
}

QDate CDate::Date() const {
    qint64 day = 0;
    int ms = 0;
    return Split(m_days, &day, &ms) ? kEpoch.addDays(day) : QDate();
}

QTime CDate::Time() const {
    qint64 day = 0;
    int ms = 0;
    return Split(m_days, &day, &ms) ? QTime::fromMSecsSinceStartOfDay(ms) : QTime();
}

QDateTime CDate::ToDateTime() const {
    const QDate date = Date();
    const QTime time = Time();
    const QDateTime dt(date, time);
    if (dt.isValid() || !date.isValid()) return dt;
    // The clocks skip this time: count on from the offset in force before the change.
    const int before = QDateTime(date.addDays(-1), time).offsetFromUtc();
    return QDateTime(date, time, QTimeZone::utc()).addSecs(-before).toLocalTime();
}

QString CDate::Text() const {
    const QDate date = Date();
    if (!date.isValid()) return {};
    const QLocale c = QLocale::c();
    return c.toString(date, u"MM/dd/yyyy") + QLatin1Char(' ') + c.toString(Time(), u"h:mm:ss AP");
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
    if (!number(2, &month) || !expect(u'/') || !number(2, &day) || !expect(u'/')) return false;
    // Two-digit years are refused; four digits stand for themselves, as Text() writes them.
    const qsizetype yearStart = i;
    if (!number(4, &year) || (year < 100 && i - yearStart < 4)) return false;
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
    *out = CDate::FromDateAndTime(date, time);
    return true;
}

// ISO 8601: a date, then optionally "T" or a blank and a time; a zone designator is read
// but the time stays the one written.
static bool ParseIso(QStringView t, CDate* out) {
    const QDate date = QDate::fromString(t.left(10), Qt::ISODate);
    if (!date.isValid()) return false;
    QTime time(0, 0);
    if (t.size() > 10) {
        if (t[10] != QLatin1Char('T') && t[10] != QLatin1Char(' ')) return false;
        time = QTime::fromString(t.mid(11), Qt::ISODateWithMs);
        if (!time.isValid()) {
            QString zoned = t.toString();
            zoned[10] = QLatin1Char('T');
            time = QDateTime::fromString(zoned, Qt::ISODateWithMs).time();
        }
    }
    if (!time.isValid()) return false;
    *out = CDate::FromDateAndTime(date, time);
    return true;
}

bool CDate::Parse(const QString& raw, CDate* out) {
    const QString text = raw.trimmed();
    return !text.isEmpty() && (ParseMonitorForm(text, out) || ParseIso(text, out));
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

bool ParsePlainNumber(QStringView text, QChar point, double* value) {
    qint64 n = 0;
    int digits = 0, decimals = -1;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            if (++digits > 15) return false; // beyond a double's exact digits: left to the locale
            n = n * 10 + (c.unicode() - '0');
            if (decimals >= 0) ++decimals;
        } else if (c == point && decimals < 0 && digits > 0 && !point.isNull()) {
            decimals = 0;
        } else {
            return false;
        }
    }
    if (digits == 0 || decimals == 0) return false;
    // Both exact: the quotient is the double nearest to the text.
    static constexpr double kTens[] = {1,   1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    *value = double(n) / kTens[std::max(decimals, 0)];
    return true;
}

bool ParseNumber(const QString& text, double* value) {
    const QString t = text.trimmed();
    if (ParsePlainNumber(t, QChar(), value)) return true;
    // A letter first is never a number: lists of names are checked without asking the locale.
    const qsizetype first = t.startsWith(QLatin1Char('+')) || t.startsWith(QLatin1Char('-'));
    if (first >= t.size() || t[first].isLetter()) return false;
    QLocale loc;
    const QString dec = loc.decimalPoint();
    if (dec.size() == 1 && ParsePlainNumber(t, dec[0], value)) return true;
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
