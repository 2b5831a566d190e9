// The job record: printer group resolution, validity rules and the data file it writes.
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "jobs/cprintjobinfo.h"
#include "testsupport.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestPrintJobInfo : public QObject {
    Q_OBJECT
    static void Groups(const QStringList& names) {
        gConfigOptions = std::make_shared<CConfigOptions>();
        for (const QString& n : names)
            gConfigOptions->PrinterGroups.NewCPrinterGroup()->PrinterGroupName = n;
    }

private Q_SLOTS:
    void cleanup() { gConfigOptions.reset(); }

    void printerGroup_data() {
        QTest::addColumn<QStringList>("groups");
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("expected"); // "" for none
        const QStringList g{u"Default"_s, u"HP"_s, u"HP DesignJet"_s, u"Canon"_s};
        QTest::newRow("longest wins") << g << "HP DesignJet 500 PS3"
                                      << "HP DesignJet";
        QTest::newRow("case ignored") << g << "hp designjet 500"
                                      << "HP DesignJet";
        QTest::newRow("short match") << g << "HP LaserJet"
                                     << "HP";
        QTest::newRow("fallback") << g << "Epson"
                                  << "Default";
        QTest::newRow("empty driver") << g << ""
                                      << "Default";
        QTest::newRow("no default") << QStringList{u"HP"_s} << "Epson"
                                    << "";
        QTest::newRow("only default") << QStringList{u"Default"_s} << "HP DesignJet"
                                      << "Default";
        QTest::newRow("lower-case default is a name")
            << QStringList{u"default"_s} << "My Default Driver"
            << "default";
        QTest::newRow("lower-case default no fallback") << QStringList{u"default"_s} << "Epson"
                                                        << "";
        QTest::newRow("equal length first wins") << QStringList{u"AB"_s, u"CD"_s} << "CD AB"
                                                 << "AB";
    }
    void printerGroup() {
        QFETCH(QStringList, groups);
        QFETCH(QString, driver);
        QFETCH(QString, expected);
        Groups(groups);
        CPrintJobInfo job;
        job.PrtDriverName = driver;
        const auto g = job.PrinterGroup();
        QCOMPARE(g ? g->PrinterGroupName : QString(), expected);
        // Cached: a reload does not move the job to another group.
        gConfigOptions = std::make_shared<CConfigOptions>();
        QCOMPARE(job.PrinterGroup(), g);
    }
    void validity() {
        CPrintJobInfo j;
        QVERIFY(!j.PaperName_Valid());
        j.PaperWidth = 8.5;
        j.PaperHeight = 11;
        QVERIFY(j.PaperName_Valid());
        QCOMPARE(j.PaperName, u"Custom"_s);
        j.PaperName = u"A4"_s;
        QVERIFY(!j.PaperName_Valid()); // under four characters
        QVERIFY(j.SeparatorPages_Valid());
        j.PagesPerCopy = 1;
        j.NumCopies = 1;
        QVERIFY(j.TotalPages_Valid() && j.TotalPages == 0);
        QVERIFY(CDate::Parse(u"12/31/1999 11:59:00 PM"_s, &j.SubmitDT));
        QVERIFY(!j.SubmitDT_Valid());
        QVERIFY(CDate::Parse(u"1/1/2000 0:00:00"_s, &j.SubmitDT));
        QVERIFY(j.SubmitDT_Valid());
    }
    void displayRequiredAndValues() {
        Sandbox box;
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(box.Write(u"c.ini"_s, TestData(u"config_v2.ini"_s))));
        CPrintJobInfo job;
        job.PrtDriverName = u"Generic"_s;
        job.PagesPerCopy = 3;
        job.NumCopies = 2;
        job.CategoryValues.NewCCategoryValue();
        job.SetUserValues();
        // "Pages" asks only when its value (total pages) is unknown.
        QCOMPARE(job.CategoryValues.Item(1)->ValueString, u"6"_s);
        QVERIFY(!job.DisplayRequired());
        job.NumCopies = 0;
        job.SetUserValues();
        QVERIFY(job.DisplayRequired());
    }
    void dataFile() {
        Sandbox box;
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(box.Write(u"c.ini"_s, TestData(u"config_v2.ini"_s))));
        QDir().mkpath(box.Path(u"users/jsmith"_s));
        CPrintJobInfo j = SampleJob(); // and what this data file shows in particular
        j.JobFileName = box.Path(u"users/jsmith/JOB0001.prt"_s);
        j.DocumentName = u"The \"big\" plan"_s;
        QVERIFY(CDate::Parse(u"3/5/2004 9:07:02 AM"_s, &j.SubmitDT));
        j.JobSizeBytes = 1000;
        j.SeparatorPages = 0;
        j.TotalPages = 6;
        j.PathAndFilename = u"C:\\x.dwg"_s;
        j.PrtDriverName = u"DesignJet Plotter"_s;
        for (const char* v : {"1234 | Acme Ltd", "0.25 | Total Job Cost"}) {
            auto cv = j.CategoryValues.NewCCategoryValue();
            cv->ValueName = u"own"_s;
            cv->ValueString = QString::fromLatin1(v);
        }
        QString path;
        QVERIFY(j.SaveToFile(path));
        QCOMPARE(path, box.Path(u"users/jsmith/JOB0001.dat"_s));
        const QByteArray expected = "QorvexMaster,2,42,\"Plotter A0\",\"HOSTA\",\"jsmith\",\"The "
                                    "\"\"big\"\" plan\",\"03/05/2004 9:07:02 AM\","
                                    "\"\\\\SRV\\Plotter\",1000,3,0,2,\"Letter\",8.500000,11.000000,"
                                    "6,\"C:\\x.dwg\",\"Color\",0.000000,"
                                    "\"DesignJet Plotter\",\"Bond\",\"Portrait\"\r\n"
                                    "QorvexDetail,2,\"Client\",\"1234\r\n"
                                    "QorvexDetail,2,\"Cost\",\"0.25 | Total Job Cost\"\r\n";
        QCOMPARE(box.Read(u"users/jsmith/JOB0001.dat"_s), expected);
        // A given path keeps the values' own names.
        QString given = box.Path(u"other.dat"_s);
        QVERIFY(j.SaveToFile(given));
        QVERIFY(box.Read(u"other.dat"_s).contains("QorvexDetail,2,\"own\",\"1234\r\n"));
        // Nothing to store for an empty job.
        j.JobSizeBytes = 0;
        QString none;
        QVERIFY(j.SaveToFile(none));
        QVERIFY(none.isEmpty());
        // A folder that cannot be written fails.
        j.JobSizeBytes = 5;
        QString bad = box.Path(u"missing/x.dat"_s);
        QVERIFY(!j.SaveToFile(bad));
    }
    // A data file is written whole or not at all: a cut-short one would settle the job for ever.
    void dataFileOnAFullDevice_data() {
        QTest::addColumn<int>("missing"); // bytes short of the whole file
        QTest::newRow("nothing fits") << -1;
        QTest::newRow("one byte short") << 1;
        QTest::newRow("just fits") << 0;
    }
    void dataFileOnAFullDevice() {
        QFETCH(int, missing);
        Sandbox box;
        CPrintJobInfo j = SampleJob();
        j.JobFileName = box.Path(u"J.prt"_s);
        QString path = box.Path(u"whole.dat"_s);
        QVERIFY(j.SaveToFile(path));
        const QByteArray whole = box.Read(u"whole.dat"_s);
        box.Write(u"J.dat"_s, "old\r\n");
        path = box.Path(u"J.dat"_s);
        bool saved = false;
        {
            FailingDevice device(missing < 0 ? 0 : whole.size() - missing);
            saved = j.SaveToFile(path);
        }
        QCOMPARE(saved, missing == 0);
        QCOMPARE(box.Read(u"J.dat"_s), saved ? whole : QByteArray("old\r\n"));
        QCOMPARE(QDir(box.Path()).entryList({u"*J.dat*"_s}, QDir::Files | QDir::Hidden),
                 QStringList{u"J.dat"_s});
    }
};

QTEST_GUILESS_MAIN(TestPrintJobInfo)
#include "tst_printjobinfo.moc"
