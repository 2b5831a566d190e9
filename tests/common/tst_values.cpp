// Numbers, dates and the generic collection; also run under a comma-decimal locale, and
// like every test program in time zones whose clocks change.
#include "common/bcommon.h"
#include "common/collection.h"
#include "common/values.h"
#include "testsupport.h"

#include <QLocale>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

class TestValues : public QObject {
    Q_OBJECT
    static bool Comma() { return QLocale().decimalPoint() == QLatin1String(","); }
    // A number written the way the current locale writes it.
    static QString L(const char* text) {
        QString t = QString::fromLatin1(text);
        if (Comma()) t.replace(QLatin1Char('.'), QLatin1Char(','));
        return t;
    }

private Q_SLOTS:
    void localeAndZoneAreTheOnesAskedFor() {
        QCOMPARE(Comma(), qEnvironmentVariable("LANG").startsWith(QLatin1String("de")));
        QCOMPARE(QTimeZone::systemTimeZoneId(), qgetenv("TZ"));
        QVERIFY(!IsNumeric(Comma() ? u"2.5"_s : u"2,5"_s)); // the other separator
        QCOMPARE(FormatFixed(1234.5, 2), L("1234.50"));
        QCOMPARE(FormatFixed(0.1, 6), L("0.100000"));
    }
    // The text (the row's name, its "." the locale's where numeric), whether it is numeric, and as
    // a whole number within [0, 32767] or the 32-bit range ("-": not numeric, "range": out of
    // range).
    void numbers_data() {
        Table("count whole",
              {"42¦42¦42", "  +7  ¦7¦7", "-7¦range¦-7", "2.5¦2¦2", "3.5¦4¦4", "-0.5¦0¦0",
               "1.5e3¦1500¦1500", "32767¦32767¦32767", "32767.4¦32767¦32767", "32767.5¦range¦32768",
               "32768¦range¦32768", "2147483647¦range¦2147483647", "2147483648¦range¦range",
               "-2147483648¦range¦-2147483648", "-2147483649¦range¦range"});
        for (const char* bad : {"", "ten", "inf", "nan", "0x10", "12abc", "1.2.3", "-", "1e",
                                "1e999", "1 000", "1,000.5"})
            QTest::newRow(bad) << u"-"_s << u"-"_s;
    }
    void numbers() {
        QFETCH(QString, count);
        const QString text = count == u"-"_s ? QString::fromLatin1(QTest::currentDataTag())
                                             : L(QTest::currentDataTag());
        auto whole = [&](qint32 low, qint32 high) {
            qint32 v = 99; // kept unless the text is taken
            const NumberCheck check = ToWholeNumber(text, low, high, &v);
            return check == NumberCheck::Ok           ? QString::number(v)
                   : v != 99                          ? u"set"_s
                   : check == NumberCheck::NotNumeric ? u"-"_s
                                                      : u"range"_s;
        };
        QCOMPARE(whole(0, 32767), count);
        QTEST(whole(INT32_MIN, INT32_MAX), "whole");
        double v = 0;
        QCOMPARE(ParseNumber(text, &v), whole(INT32_MIN, INT32_MAX) != u"-"_s);
        QCOMPARE(IsNumeric(text), whole(INT32_MIN, INT32_MAX) != u"-"_s);
    }

    // Plain numbers are read without a locale, to the very double the C locale reads; anything
    // else is left to the locale.
    void plainNumbers_data() {
        Table("plain",
              {"0¦1", "007¦1", "8.500000¦1", "0.1¦1", "123456789012345¦1", "12345678901234.5¦1",
               "0.00000000000001¦1", "1234567890123456¦", "99999999999999999999¦", "1.¦", ".5¦",
               "-1¦", "+1¦", " 1¦", "1e3¦", "1.2.3¦", "1,5¦"});
    }
    void plainNumbers() {
        QFETCH(QString, plain);
        const QString text = QString::fromLatin1(QTest::currentDataTag());
        double v = -1;
        QCOMPARE(ParsePlainNumber(text, u'.', &v), !plain.isEmpty());
        if (!plain.isEmpty()) QVERIFY(v == QLocale::c().toDouble(text)); // exactly
    }

    // Read, shown and converted alike in every zone: each zone's two change days, at times
    // that do not exist or exist twice and late on the short or long day.
    void dates_data() {
        Table(
            "text at shown", // at: ISO date and time of day; shown: empty for the text itself
            {"24 hour¦3/7/2024 13:05:09¦2024-03-07T13:05:09¦03/07/2024 1:05:09 PM",
             "iso¦2024-03-07T13:05:09¦2024-03-07T13:05:09¦03/07/2024 1:05:09 PM",
             "iso with zone¦2024-03-07T13:05:09Z¦2024-03-07T13:05:09¦03/07/2024 1:05:09 PM",
             "iso, blank¦ 2024-03-07 13:05 ¦2024-03-07T13:05:00¦03/07/2024 1:05:00 PM",
             "no seconds¦3/7/2024 1:05 PM¦2024-03-07T13:05:00¦03/07/2024 1:05:00 PM",
             "date alone¦3/7/2024¦2024-03-07T00:00:00¦03/07/2024 12:00:00 AM",
             "noon¦12/31/1899 12:00:00 PM¦1899-12-31T12:00:00¦",
             "midnight AM¦12/31/1999 12:00:00 AM¦1999-12-31T00:00:00¦",
             "New York skipped¦03/10/2024 2:30:00 AM¦2024-03-10T02:30:00¦",
             "New York short day¦03/10/2024 11:00:00 PM¦2024-03-10T23:00:00¦",
             "New York long day¦11/03/2024 11:59:59 PM¦2024-11-03T23:59:59¦",
             "Berlin skipped¦3/31/2024 2:00:00¦2024-03-31T02:00:00¦03/31/2024 2:00:00 AM",
             "Berlin short day¦03/31/2024 11:00:00 PM¦2024-03-31T23:00:00¦",
             "Berlin twice¦10/27/2024 2:30:00 AM¦2024-10-27T02:30:00¦",
             "Berlin long day¦10/27/2024 11:00:00 PM¦2024-10-27T23:00:00¦",
             "Sao Paulo skipped midnight¦11/04/2018 12:00:00 AM¦2018-11-04T00:00:00¦",
             "Sao Paulo skipped, iso¦2018-11-04T00:30:00¦2018-11-04T00:30:00¦11/04/2018 12:30:00 "
             "AM",
             "Sao Paulo short day¦11/04/2018 11:00:00 PM¦2018-11-04T23:00:00¦",
             "Sao Paulo twice¦02/16/2019 11:30:00 PM¦2019-02-16T23:30:00¦",
             "year 100¦3/7/0100¦0100-03-07T00:00:00¦03/07/0100 12:00:00 AM",
             "found by fuzzing: year 99¦0099-01-01¦0099-01-01T00:00:00¦01/01/0099 12:00:00 AM",
             "year 1, last second¦0001-12-31T23:59:59¦0001-12-31T23:59:59¦12/31/0001 11:59:59 PM"});
    }
    void dates() {
        QFETCH(QString, text);
        QFETCH(QString, at);
        QFETCH(QString, shown);
        const QDate date = QDate::fromString(at.left(10), Qt::ISODate);
        const QTime time = QTime::fromString(at.mid(11), Qt::ISODate);
        CDate d;
        QVERIFY(CDate::Parse(text, &d));
        QCOMPARE(d.Days(), QDate(1899, 12, 30).daysTo(date) + time.msecsSinceStartOfDay() / 864e5);
        QCOMPARE(std::pair(d.Date(), d.Time()), std::pair(date, time));
        QCOMPARE(d.Text(), shown.isEmpty() ? text : shown);
        CDate again; // the text shown reads as the same date
        QVERIFY(CDate::Parse(d.Text(), &again) && again.Days() == d.Days());
        QCOMPARE(CDate::FromDateTime(QDateTime(date, time)).Days(), d.Days());
        // As a moment: the same date and time, or where the clocks skip it, one hour on.
        const int skipped = QDateTime(date, time).isValid() ? 0 : 3600;
        QCOMPARE(d.ToDateTime(), QDateTime(date, time.addSecs(skipped)));
    }
    void notDates() {
        CDate d(7);
        for (const char* bad :
             {"", "garbage", "13/45/2024", "2/30/2024 1:00:00 PM", "3/7/2024 13:00:00 PM",
              "3/7/2024 0:30:00 AM", "3/7/2024 1:00:00 XM", "3/7/2024 1:00:00 PMX", "3/7/24",
              "003/7/2024", "3/007/2024", "3/7/20245", "3/7/2024 1:0x", "3/7/2024 1",
              "3/7/2024 123:00", "3/7/2024T1:00", "2024-03-07X13:05"})
            QVERIFY2(!CDate::Parse(QString::fromLatin1(bad), &d), bad);
        QCOMPARE(d.Days(), 7.0);
        // A time that rounds up to the next day carries into the date.
        QCOMPARE(CDate(45358.99999999999).Text(), u"03/08/2024 12:00:00 AM"_s);
        QCOMPARE(CDate(1e10).Text(), QString());
    }

    void collectionOrderAndKeys() {
        CCollection<QString> c;
        auto order = [&] {
            QString out;
            for (const auto& s : c) out += *s;
            return out;
        };
        c.Add(std::make_shared<QString>(u"b"_s), u"kb"_s);
        c.Add(std::make_shared<QString>(u"a"_s), {}, CRef(1));
        c.Add(std::make_shared<QString>(u"c"_s), u"kc"_s, {}, CRef(u"KB"_s));
        c.Add(std::make_shared<QString>(u"d"_s), {}, {}, CRef(3));
        QCOMPARE(QStringList({order(), QString::number(c.Count()), *c.Item(u"Kc"_s), *c.Item(4)}),
                 QStringList({u"abcd"_s, u"4"_s, u"c"_s, u"d"_s}));
        QCOMPARE(QList<bool>({c.Exists(1), c.Exists(0), c.Exists(5), c.Exists(u"nope"_s)}),
                 QList<bool>({true, false, false, false}));
        // A key is unique, whatever its case; a bad before or after adds nothing.
        QVERIFY(!c.Add(std::make_shared<QString>(), u"KB"_s));
        QVERIFY(!c.Add(std::make_shared<QString>(), {}, CRef(5)));
        QVERIFY(!c.Add(std::make_shared<QString>(), {}, {}, CRef(u"x"_s)));
        QCOMPARE(order(), u"abcd"_s);
        QVERIFY(c.Remove(u"kb"_s) && !c.Exists(u"kb"_s) && !c.Remove(u"kb"_s));
        QVERIFY(c.Remove(1));
        QCOMPARE(order(), u"cd"_s);
        QVERIFY(c.Add(std::make_shared<QString>(u"e"_s), u"kb"_s)); // free again
        QCOMPARE(*c.Item(u"KB"_s), u"e"_s);
        c.RemoveAll();
        QCOMPARE(c.Count(), 0);
        QVERIFY(!c.Exists(u"kc"_s));
    }
};

QTEST_GUILESS_MAIN(TestValues)
#include "tst_values.moc"
