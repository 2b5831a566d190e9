// Faults the fuzz programs found in the readers, each with the input that showed it.
#include "jobs/cprintjobinfo.h"
#include "testsupport.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestFuzzFound : public QObject {
    Q_OBJECT
private Q_SLOTS:
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
        QCOMPARE(JobDump(read).section(u'\n', 23), u"Value=Client | Matter | 4711 | 4711"_s);
    }
};

QTEST_GUILESS_MAIN(TestFuzzFound)
#include "tst_fuzzfound.moc"
