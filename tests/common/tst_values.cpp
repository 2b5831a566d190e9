// Numbers, dates and the generic collection; also run under a comma-decimal locale.
#include "common/collection.h"
#include "common/values.h"

#include <QLocale>
#include <QTest>

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
    void localeIsTheOneAskedFor() {
        QCOMPARE(Comma(), qEnvironmentVariable("LANG").startsWith(QLatin1String("de")));
    }
    void numeric_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("numeric");
        QTest::addColumn<double>("value");
        QTest::newRow("integer") << QStringLiteral("42") << true << 42.0;
        QTest::newRow("signed") << QStringLiteral("-7") << true << -7.0;
        QTest::newRow("plus") << QStringLiteral("+7") << true << 7.0;
        QTest::newRow("blanks") << QStringLiteral("  12  ") << true << 12.0;
        QTest::newRow("decimal") << L("2.5") << true << 2.5;
        QTest::newRow("exponent") << L("1.5e3") << true << 1500.0;
        QTest::newRow("empty") << QString() << false << 0.0;
        QTest::newRow("word") << QStringLiteral("ten") << false << 0.0;
        QTest::newRow("inf") << QStringLiteral("inf") << false << 0.0;
        QTest::newRow("nan") << QStringLiteral("nan") << false << 0.0;
        QTest::newRow("hex") << QStringLiteral("0x10") << false << 0.0;
        QTest::newRow("trailing junk") << QStringLiteral("12abc") << false << 0.0;
        QTest::newRow("two points") << L("1.2.3") << false << 0.0;
        QTest::newRow("lone sign") << QStringLiteral("-") << false << 0.0;
        QTest::newRow("bare exponent") << QStringLiteral("1e") << false << 0.0;
        QTest::newRow("overflow") << QStringLiteral("1e999") << false << 0.0;
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
        QVERIFY(!IsNumeric(Comma() ? QStringLiteral("2.5") : QStringLiteral("2,5")));
    }
    void roundHalfEven_data() {
        QTest::addColumn<double>("in");
        QTest::addColumn<double>("out");
        QTest::newRow("2.5") << 2.5 << 2.0;
        QTest::newRow("3.5") << 3.5 << 4.0;
        QTest::newRow("-2.5") << -2.5 << -2.0;
        QTest::newRow("2.4") << 2.4 << 2.0;
        QTest::newRow("2.6") << 2.6 << 3.0;
        QTest::newRow("0.5") << 0.5 << 0.0;
    }
    void roundHalfEven() {
        QFETCH(double, in);
        QFETCH(double, out);
        QCOMPARE(RoundHalfEven(in), out);
    }
    void formats() {
        QCOMPARE(FormatFixed(1234.5, 2), L("1234.50"));
        QCOMPARE(FormatFixed(0.1, 6), L("0.100000"));
    }
    void dates_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("iso");
        QTest::newRow("own form") << QStringLiteral("03/07/2024 1:05:09 PM")
                                  << QStringLiteral("2024-03-07T13:05:09");
        QTest::newRow("24 hour") << QStringLiteral("3/7/2024 13:05:09")
                                 << QStringLiteral("2024-03-07T13:05:09");
        QTest::newRow("iso") << QStringLiteral("2024-03-07T13:05:09")
                             << QStringLiteral("2024-03-07T13:05:09");
        QTest::newRow("midnight AM")
            << QStringLiteral("12/31/1999 12:00:00 AM") << QStringLiteral("1999-12-31T00:00:00");
    }
    void dates() {
        QFETCH(QString, text);
        QFETCH(QString, iso);
        CDate d;
        QVERIFY(CDate::Parse(text, &d));
        QCOMPARE(d.ToDateTime().toString(Qt::ISODate), iso);
    }
    void dayCountEpoch() {
        CDate d;
        QVERIFY(CDate::Parse(QStringLiteral("12/31/1899 12:00:00 PM"), &d));
        QCOMPARE(d.Days(), 1.5);
        QVERIFY(!CDate::Parse(QStringLiteral("13/45/2024"), &d));
        QVERIFY(!CDate::Parse(QStringLiteral("garbage"), &d));
    }

    void collectionOrderAndKeys() {
        CCollection<QString> c;
        c.Add(std::make_shared<QString>(QStringLiteral("b")), QStringLiteral("kb"));
        c.Add(std::make_shared<QString>(QStringLiteral("a")), {}, CRef(1));
        c.Add(std::make_shared<QString>(QStringLiteral("c")), QStringLiteral("kc"), {},
              CRef(QStringLiteral("KB")));
        c.Add(std::make_shared<QString>(QStringLiteral("d")));
        QCOMPARE(c.Count(), 4);
        QStringList order;
        for (const auto& s : c) order << *s;
        QCOMPARE(order.join(QString()), QStringLiteral("abcd"));
        QCOMPARE(*c.Item(QStringLiteral("Kc")), QStringLiteral("c"));
        QVERIFY(c.Exists(4));
        QVERIFY(!c.Exists(0));
        QVERIFY(!c.Exists(5));
        QVERIFY(!c.Exists(QStringLiteral("nope")));
        // A key is unique, whatever its case; a bad before/after adds nothing.
        QVERIFY(!c.Add(std::make_shared<QString>(), QStringLiteral("KB")));
        QVERIFY(!c.Add(std::make_shared<QString>(), {}, CRef(9)));
        QCOMPARE(c.Count(), 4);
        QVERIFY(c.Remove(QStringLiteral("kb")));
        QVERIFY(!c.Exists(QStringLiteral("kb")));
        QCOMPARE(*c.Item(2), QStringLiteral("c"));
        QVERIFY(c.Remove(1));
        QCOMPARE(*c.Item(1), QStringLiteral("c"));
        // A removed key can be used again.
        QVERIFY(c.Add(std::make_shared<QString>(QStringLiteral("e")), QStringLiteral("kb")));
        c.RemoveAll();
        QCOMPARE(c.Count(), 0);
        QVERIFY(!c.Exists(QStringLiteral("kc")));
    }
};

QTEST_GUILESS_MAIN(TestValues)
#include "tst_values.moc"
