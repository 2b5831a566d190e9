// Numbers, dates and the generic collection; also run under a comma-decimal locale, and
// like every test program in time zones whose clocks change.
#include "common/bcommon.h"
#include "common/collection.h"
#include "common/values.h"

#include <QLocale>
#include <QTest>
#include <QTimeZone>
#include <limits>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(NumberCheck)

class TestValues : public QObject {
    Q_OBJECT
    static bool Comma() { return QLocale().decimalPoint() == QLatin1String(","); }
    // Writes a number the way the current locale does.
    static QString L(const char* text) {
        QString t = QString::fromLatin1(text);
        if (Comma()) t.replace(QLatin1Char('.'), QLatin1Char(','));
        return t;
    }

private Q_SLOTS:
    void localeAndZoneAreTheOnesAskedFor() {
        QCOMPARE(Comma(), qEnvironmentVariable("LANG").startsWith(QLatin1String("de")));
        QCOMPARE(QTimeZone::systemTimeZoneId(), qgetenv("TZ"));
    }
    void numeric_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("numeric");
        QTest::addColumn<double>("value");
        QTest::newRow("integer") << u"42"_s << true << 42.0;
        QTest::newRow("signed") << u"-7"_s << true << -7.0;
        QTest::newRow("plus") << u"+7"_s << true << 7.0;
        QTest::newRow("blanks") << u"  12  "_s << true << 12.0;
        QTest::newRow("decimal") << L("2.5") << true << 2.5;
        QTest::newRow("exponent") << L("1.5e3") << true << 1500.0;
        QTest::newRow("empty") << QString() << false << 0.0;
        QTest::newRow("word") << u"ten"_s << false << 0.0;
        QTest::newRow("inf") << u"inf"_s << false << 0.0;
        QTest::newRow("nan") << u"nan"_s << false << 0.0;
        QTest::newRow("hex") << u"0x10"_s << false << 0.0;
        QTest::newRow("trailing junk") << u"12abc"_s << false << 0.0;
        QTest::newRow("two points") << L("1.2.3") << false << 0.0;
        QTest::newRow("lone sign") << u"-"_s << false << 0.0;
        QTest::newRow("bare exponent") << u"1e"_s << false << 0.0;
        QTest::newRow("overflow") << u"1e999"_s << false << 0.0;
    }
    void numeric() {
        QFETCH(QString, text);
        QFETCH(bool, numeric);
        QFETCH(double, value);
        double v = 0;
        QCOMPARE(ParseNumber(text, &v), numeric);
        QCOMPARE(IsNumeric(text), numeric);
        if (numeric) QCOMPARE(v, value);
    }
    void otherSeparatorIsNotNumeric() {
        // The decimal separator follows the locale: the other one is refused.
        QVERIFY(!IsNumeric(Comma() ? u"2.5"_s : u"2,5"_s));
    }
    void wholeNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        QTest::addColumn<NumberCheck>("check");
        QTest::addColumn<int>("value"); // 99: left as it was
        constexpr int kMin = std::numeric_limits<qint32>::min();
        constexpr int kMax = std::numeric_limits<qint32>::max();
        auto row = [](const char* name, const QString& text, int low, int high, NumberCheck c,
                      int v) { QTest::newRow(name) << text << low << high << c << v; };
        row("half down to even", L("2.5"), 0, 10, NumberCheck::Ok, 2);
        row("half up to even", L("3.5"), 0, 10, NumberCheck::Ok, 4);
        row("on the high limit", u"32767"_s, 0, 32767, NumberCheck::Ok, 32767);
        row("rounds onto the limit", L("32767.4"), 0, 32767, NumberCheck::Ok, 32767);
        row("rounds past the limit", L("32767.5"), 0, 32767, NumberCheck::OutOfRange, 99);
        row("one past the limit", u"32768"_s, 0, 32767, NumberCheck::OutOfRange, 99);
        row("on the low limit", u"0"_s, 0, 32767, NumberCheck::Ok, 0);
        row("rounds onto the low limit", L("-0.5"), 0, 32767, NumberCheck::Ok, 0);
        row("below the low limit", u"-1"_s, 0, 32767, NumberCheck::OutOfRange, 99);
        row("32-bit top", u"2147483647"_s, kMin, kMax, NumberCheck::Ok, kMax);
        row("past the 32-bit top", u"2147483648"_s, kMin, kMax, NumberCheck::OutOfRange, 99);
        row("32-bit bottom", u"-2147483648"_s, kMin, kMax, NumberCheck::Ok, kMin);
        row("word", u"ten"_s, 0, 10, NumberCheck::NotNumeric, 99);
    }
    void wholeNumber() {
        QFETCH(QString, text);
        QFETCH(int, low);
        QFETCH(int, high);
        QFETCH(NumberCheck, check);
        QFETCH(int, value);
        qint32 v = 99;
        QCOMPARE(ToWholeNumber(text, low, high, &v), check);
        QCOMPARE(v, value);
    }
    void formats() {
        QCOMPARE(FormatFixed(1234.5, 2), L("1234.50"));
        QCOMPARE(FormatFixed(0.1, 6), L("0.100000"));
    }
    // Read, shown and converted alike in every zone: each zone's two change days, at times
    // that do not exist or exist twice and late on the short or long day.
    void dates_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("at");    // ISO date and time of day
        QTest::addColumn<QString>("shown"); // NormalizeDateText; empty: the text itself
        auto row = [](const char* name, const char* text, const char* at, const char* shown = "") {
            QTest::newRow(name) << QString::fromLatin1(text) << QString::fromLatin1(at)
                                << QString::fromLatin1(shown);
        };
        row("24 hour", "3/7/2024 13:05:09", "2024-03-07T13:05:09", "03/07/2024 1:05:09 PM");
        row("iso", "2024-03-07T13:05:09", "2024-03-07T13:05:09", "03/07/2024 1:05:09 PM");
        row("iso with zone", "2024-03-07T13:05:09Z", "2024-03-07T13:05:09",
            "03/07/2024 1:05:09 PM");
        row("midnight AM", "12/31/1999 12:00:00 AM", "1999-12-31T00:00:00");
        row("New York skipped", "03/10/2024 2:30:00 AM", "2024-03-10T02:30:00");
        row("New York short day", "03/10/2024 11:00:00 PM", "2024-03-10T23:00:00");
        row("New York long day", "11/03/2024 11:59:59 PM", "2024-11-03T23:59:59");
        row("Berlin skipped", "3/31/2024 2:00:00", "2024-03-31T02:00:00", "03/31/2024 2:00:00 AM");
        row("Berlin short day", "03/31/2024 11:00:00 PM", "2024-03-31T23:00:00");
        row("Berlin twice", "10/27/2024 2:30:00 AM", "2024-10-27T02:30:00");
        row("Berlin long day", "10/27/2024 11:00:00 PM", "2024-10-27T23:00:00");
        row("Sao Paulo skipped midnight", "11/04/2018 12:00:00 AM", "2018-11-04T00:00:00");
        row("Sao Paulo skipped, iso", "2018-11-04T00:30:00", "2018-11-04T00:30:00",
            "11/04/2018 12:30:00 AM");
        row("Sao Paulo short day", "11/04/2018 11:00:00 PM", "2018-11-04T23:00:00");
        row("Sao Paulo twice", "02/16/2019 11:30:00 PM", "2019-02-16T23:30:00");
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
        QCOMPARE(d.Date(), date);
        QCOMPARE(d.Time(), time);
        QCOMPARE(d.Text(), shown.isEmpty() ? text : shown);
        QCOMPARE(NormalizeDateText(text), d.Text());
        QCOMPARE(CDate::FromDateTime(QDateTime(date, time)).Days(), d.Days());
        // As a moment: the same date and time, or where the clocks skip it, one hour on.
        const int skipped = QDateTime(date, time).isValid() ? 0 : 3600;
        QCOMPARE(d.ToDateTime(), QDateTime(date, time.addSecs(skipped)));
    }
    void dayCountEpoch() {
        CDate d;
        QVERIFY(CDate::Parse(u"12/31/1899 12:00:00 PM"_s, &d));
        QCOMPARE(d.Days(), 1.5);
        QVERIFY(!CDate::Parse(u"13/45/2024"_s, &d));
        QVERIFY(!CDate::Parse(u"garbage"_s, &d));
        for (const char* bad : {"2/30/2024 1:00:00 PM", "3/7/2024 13:00:00 PM",
                                "3/7/2024 1:00:00 XM", "3/7/24", "3/7/2024 1:0x"})
            QVERIFY2(!CDate::Parse(QString::fromLatin1(bad), &d), bad);
        QVERIFY(CDate::Parse(u"3/7/2024 1:05 PM"_s, &d));
        QCOMPARE(d.Text(), u"03/07/2024 1:05:00 PM"_s);
        QVERIFY(CDate::Parse(u"3/7/2024"_s, &d));
        QCOMPARE(d.Text(), u"03/07/2024 12:00:00 AM"_s);
        // A time that rounds up to the next day carries into the date.
        QCOMPARE(CDate(45358.99999999999).Text(), u"03/08/2024 12:00:00 AM"_s);
    }

    void collectionOrderAndKeys() {
        CCollection<QString> c;
        c.Add(std::make_shared<QString>(u"b"_s), u"kb"_s);
        c.Add(std::make_shared<QString>(u"a"_s), {}, CRef(1));
        c.Add(std::make_shared<QString>(u"c"_s), u"kc"_s, {}, CRef(u"KB"_s));
        c.Add(std::make_shared<QString>(u"d"_s));
        QCOMPARE(c.Count(), 4);
        QStringList order;
        for (const auto& s : c) order << *s;
        QCOMPARE(order.join(QString()), u"abcd"_s);
        QCOMPARE(*c.Item(u"Kc"_s), u"c"_s);
        QVERIFY(c.Exists(4));
        QVERIFY(!c.Exists(0));
        QVERIFY(!c.Exists(5));
        QVERIFY(!c.Exists(u"nope"_s));
        // A key is unique, whatever its case; a bad before/after adds nothing.
        QVERIFY(!c.Add(std::make_shared<QString>(), u"KB"_s));
        QVERIFY(!c.Add(std::make_shared<QString>(), {}, CRef(9)));
        QCOMPARE(c.Count(), 4);
        QVERIFY(c.Remove(u"kb"_s));
        QVERIFY(!c.Exists(u"kb"_s));
        QCOMPARE(*c.Item(2), u"c"_s);
        QVERIFY(c.Remove(1));
        QCOMPARE(*c.Item(1), u"c"_s);
        // A removed key can be used again.
        QVERIFY(c.Add(std::make_shared<QString>(u"e"_s), u"kb"_s));
        c.RemoveAll();
        QCOMPARE(c.Count(), 0);
        QVERIFY(!c.Exists(u"kc"_s));
    }
};

QTEST_GUILESS_MAIN(TestValues)
#include "tst_values.moc"
