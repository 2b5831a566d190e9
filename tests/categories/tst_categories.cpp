// Category rules, the pattern language and predefined value entries.
#include "categories/ccategory.h"
#include "config/bconfigfile.h"
#include "testsupport.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestCategories : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void matchPattern_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("match");
        QTest::newRow("five digits") << "12345"
                                     << "#####" << true;
        QTest::newRow("length differs") << "12345"
                                        << "####" << false;
        QTest::newRow("digits and letter") << "12a45"
                                           << "##@##" << true;
        QTest::newRow("letter where digit") << "12a45"
                                            << "#####" << false;
        QTest::newRow("literal case") << "AB-1"
                                      << "ab-#" << false;
        QTest::newRow("literal") << "ab-1"
                                 << "ab-#" << true;
        QTest::newRow("non-ascii letter") << u"\u00e9"_s << "@" << false;
        QTest::newRow("non-ascii digit") << u"\u0663"_s << "#" << false;
        QTest::newRow("both empty") << ""
                                    << "" << true;
    }
    void matchPattern() {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(bool, match);
        QCOMPARE(MatchPattern(text, pattern), match);
    }
    void displayRequired() {
        CCategory c;
        c.CategoryName = u"Client"_s;
        const bool table[3][2] = {
            {false, false}, {true, false}, {true, true}}; // [verification][known]
        for (int v = 0; v < 3; ++v) {
            c.Verification = v;
            QCOMPARE(c.DisplayRequired(false), table[v][0]);
            QCOMPARE(c.DisplayRequired(true), table[v][1]);
        }
        c.CategoryName = u"Cost"_s;
        c.Verification = 0;
        QVERIFY(c.DisplayRequired(true));
        c.CategoryName = u"cost"_s; // the fixed meaning is case-sensitive
        QVERIFY(!c.DisplayRequired(true));
    }
    void entries_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("system");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("description");
        QTest::newRow("text") << "0,Acme" << true << false << 0 << "Acme";
        QTest::newRow("text spaced") << "0,   Acme Ltd  " << true << false << 0 << "Acme Ltd";
        QTest::newRow("text looks like code")
            << "0, Printer Name" << true << false << 0 << "Printer Name";
        QTest::newRow("printer") << "10" << true << true << 10 << "Printer Name";
        QTest::newRow("10.4") << "10.4" << true << true << 10 << "Printer Name";
        QTest::newRow("level 5") << "85" << true << true << 85 << "Document Directory Level 5";
        QTest::newRow("auto") << "90" << true << true << 90 << "Auto Directory Level";
        QTest::newRow("0") << "0" << false << true << 0 << "";
        QTest::newRow("19") << "19" << false << true << 0 << "";
        QTest::newRow("91") << "91" << false << true << 0 << "";
        QTest::newRow("space before comma") << "0 ,Acme" << false << true << 0 << "";
    }
    void entries() {
        QFETCH(QString, value);
        QFETCH(bool, ok);
        QFETCH(bool, system);
        QFETCH(int, code);
        QFETCH(QString, description);
        Sandbox box;
        MessageRecorder rec;
        const QString path =
            box.WriteLines(u"c.ini"_s, {u"[S]"_s, u"PreDefinedValue1 = "_s + value});
        CIniHandle h(path);
        CPreDefinedValue v;
        QCOMPARE(v.ReadIniFile(2, path, h.Get(), u"S"_s, u"PreDefinedValue1"_s), ok);
        QCOMPARE(v.IsSystemEntry, system);
        if (!ok) {
            QCOMPARE(rec.Messages().size(), 1);
            return;
        }
        QCOMPARE(v.SystemCode, code);
        QCOMPARE(v.Description(), description);
        QVERIFY(!system || v.IsSystemValue() != v.IsCalculatedValue());
        QVERIFY(system || (!v.IsSystemValue() && !v.IsCalculatedValue()));
    }
    void writeEntries() {
        Sandbox box;
        CPreDefinedValues list;
        auto t = list.NewCPreDefinedValue();
        t->EntryText = u"Acme"_s;
        auto c = list.NewCPreDefinedValue();
        c->IsSystemEntry = true;
        c->SystemCode = 25;
        CLineWriter w(box.Path(u"o.ini"_s));
        w.WriteLine(u"[S]"_s);
        QVERIFY(list.WriteIniFile(w));
        QVERIFY(w.Commit());
        QCOMPARE(box.Read(u"o.ini"_s),
                 QByteArray(
                     "[S]\r\nNumPreDefinedValues      = 2\r\nPreDefinedValue1         = 0, Acme\r\n"
                     "PreDefinedValue2         = 25\r\n"));
        CIniHandle h(box.Path(u"o.ini"_s));
        CPreDefinedValues back;
        QVERIFY(back.ReadIniFile(2, box.Path(u"o.ini"_s), h.Get(), u"S"_s));
        QCOMPARE(back.Count(), 2);
        QCOMPARE(back.Item(1)->EntryText, u"Acme"_s);
        QCOMPARE(back.Item(2)->SystemCode, 25);
    }
};

QTEST_GUILESS_MAIN(TestCategories)
#include "tst_categories.moc"
