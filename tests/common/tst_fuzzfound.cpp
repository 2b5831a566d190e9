// Faults the fuzz programs found in the readers, each with the input that showed it.
#include "common/bcommon.h"
#include "common/values.h"
#include "jobs/cprintjobinfo.h"
#include "testsupport.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestFuzzFound : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Data files are read back through the normaliser: its result must stay as it is.
    void normalizeDateTwice_data() {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("mixed separators") << u"1\\a/b\\c"_s << u"01/0a/b\\c"_s;
        QTest::newRow("found") << u"\\\u00ad/\\/1:"_s << u"00/0\u00ad/\\/1:"_s;
        QTest::newRow("dotted date") << u"1.2.2004"_s << u"01/02/2004 12:00:00 AM"_s;
    }
    void normalizeDateTwice() {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(NormalizeDateText(in), out);
        QCOMPARE(NormalizeDateText(out), out);
    }
    // A date that reads is written in the system's form; that text must read as the same date.
    void dateReadsFromItsText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("found: year 99") << u"0099-01-01"_s << u"01/01/0099 12:00:00 AM"_s;
        QTest::newRow("year 1, last second")
            << u"0001-12-31T23:59:59"_s << u"12/31/0001 11:59:59 PM"_s;
    }
    void dateReadsFromItsText() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        CDate date, again;
        QVERIFY(CDate::Parse(text, &date));
        QCOMPARE(date.Text(), shown);
        QVERIFY(CDate::Parse(shown, &again));
        QCOMPARE(again.Days(), date.Days());
    }
    // A value's description after " | " is dropped, never a part of the category's name.
    void barInCategoryName() {
        Sandbox box;
        CPrintJobInfo job = SampleJob();
        auto value = job.CategoryValues.NewCCategoryValue();
        value->ValueName = u"Client | Matter"_s;
        value->ValueString = u"4711 | Acme"_s;
        QString path = box.Path(u"JOB1.dat"_s);
        QVERIFY(job.SaveToFile(path));
        QCOMPARE(box.Read(u"JOB1.dat"_s).split('\n').value(1),
                 QByteArray("QorvexDetail,2,\"Client | Matter\",\"4711\r"));
        CPrintJobInfo read;
        QVERIFY(read.ReadFromFile(path));
        QCOMPARE(read.CategoryValues.Count(), 1);
        QCOMPARE(read.CategoryValues.Item(1)->ValueName, u"Client | Matter"_s);
        QCOMPARE(read.CategoryValues.Item(1)->ValueString, u"4711"_s);
    }
};

QTEST_GUILESS_MAIN(TestFuzzFound)
#include "tst_fuzzfound.moc"
