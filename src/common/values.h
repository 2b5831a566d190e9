#pragma once
// Small value helpers shared by every part: dates as day counts, locale-aware numbers,
// rounding.
#include <QDateTime>
#include <QString>

// A date-time as a day count from 30 December 1899, the time of day as the fraction. It is
// a calendar date and a time on the clock, not a moment: conversions go through QDate and
// QTime, so that the days the clocks change keep every time of day.
class CDate {
public:
    CDate() = default;
    explicit CDate(double days) : m_days(days) {}
    static CDate FromDateAndTime(const QDate& date, const QTime& time);
    // The date and time the value shows, even when that local time does not exist.
    static CDate FromDateTime(const QDateTime& dt);
    // Accepts "MM/DD/YYYY h:mm:ss AM", "M/D/YYYY H:mm:ss", a date alone, and ISO 8601.
    static bool Parse(const QString& text, CDate* out);
    QDate Date() const;
    QTime Time() const;
    // Local date-time; a time the clocks skip becomes the moment as far past the change.
    QDateTime ToDateTime() const;
    // The system's own form, "MM/DD/YYYY h:mm:ss AM".
    QString Text() const;
    double Days() const { return m_days; }

private:
    double m_days = 0;
};

// The locale-aware numeric test: optional sign, digits, the locale's decimal separator, an
// exponent; surrounding blanks allowed. No group separators, no words.
bool IsNumeric(const QString& text);
// The number of a text accepted by IsNumeric.
bool ParseNumber(const QString& text, double* value);
// The number of a text of ASCII digits, with decimals after point when it is given (at most
// 15 digits in all: read exactly). Asks no locale, which is slow: most numbers of job files
// are such, and read alike by every locale.
bool ParsePlainNumber(QStringView text, QChar point, double* value);
// Nearest integer, a half going to the even neighbour.
double RoundHalfEven(double value);
enum class NumberCheck { Ok, NotNumeric, OutOfRange };
// A number text (IsNumeric) as the nearest whole number, halves to even, that must lie
// within [low, high]; value is set only when the result is Ok.
NumberCheck ToWholeNumber(const QString& text, qint32 low, qint32 high, qint32* value);
// Fixed decimals in the current locale without group separators ("0.00", "0.000000").
QString FormatFixed(double value, int decimals);
