// The job record: printer group resolution, validity rules and the data file it writes.
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "jobs/cprintjobinfo.h"
#include "testsupport.h"

#include <QDir>
#include <QTest>

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
        const QStringList g{QStringLiteral("Default"), QStringLiteral("HP"),
                            QStringLiteral("HP DesignJet"), QStringLiteral("Canon")};
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
        QTest::newRow("no default") << QStringList{QStringLiteral("HP")} << "Epson"
                                    << "";
        QTest::newRow("only default") << QStringList{QStringLiteral("Default")} << "HP DesignJet"
                                      << "Default";
        QTest::newRow("lower-case default is a name")
            << QStringList{QStringLiteral("default")} << "My Default Driver"
            << "default";
        QTest::newRow("lower-case default no fallback")
            << QStringList{QStringLiteral("default")} << "Epson"
            << "";
        QTest::newRow("equal length first wins")
            << QStringList{QStringLiteral("AB"), QStringLiteral("CD")} << "CD AB"
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
        QCOMPARE(j.PaperName, QStringLiteral("Custom"));
        j.PaperName = QStringLiteral("A4");
        QVERIFY(!j.PaperName_Valid()); // under four characters
        QVERIFY(j.SeparatorPages_Valid());
        j.PagesPerCopy = 1;
        j.NumCopies = 1;
        QVERIFY(j.TotalPages_Valid() && j.TotalPages == 0);
        QVERIFY(CDate::Parse(QStringLiteral("12/31/1999 11:59:00 PM"), &j.SubmitDT));
        QVERIFY(!j.SubmitDT_Valid());
        QVERIFY(CDate::Parse(QStringLiteral("1/1/2000 0:00:00"), &j.SubmitDT));
        QVERIFY(j.SubmitDT_Valid());
    }
    void displayRequiredAndValues() {
        Sandbox box;
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(
            box.Write(QStringLiteral("c.ini"), TestData(QStringLiteral("config_v2.ini")))));
        CPrintJobInfo job;
        job.PrtDriverName = QStringLiteral("Generic");
        job.PagesPerCopy = 3;
        job.NumCopies = 2;
        job.CategoryValues.NewCCategoryValue();
        job.SetUserValues();
        // "Pages" asks only when its value (total pages) is unknown.
        QCOMPARE(job.CategoryValues.Item(1)->ValueString, QStringLiteral("6"));
        QVERIFY(!job.DisplayRequired());
        job.NumCopies = 0;
        job.SetUserValues();
        QVERIFY(job.DisplayRequired());
    }
    void dataFile() {
        Sandbox box;
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(
            box.Write(QStringLiteral("c.ini"), TestData(QStringLiteral("config_v2.ini")))));
        CPrintJobInfo j;
        j.JobFileName = box.Path(QStringLiteral("users/jsmith/JOB0001.prt"));
        QDir().mkpath(box.Path(QStringLiteral("users/jsmith")));
        j.PrintJobID = 42;
        j.PrinterName = QStringLiteral("Plotter A0");
        j.MachineName = QStringLiteral("HOSTA");
        j.UserName = QStringLiteral("jsmith");
        j.DocumentName = QStringLiteral("The \"big\" plan");
        QVERIFY(CDate::Parse(QStringLiteral("3/5/2004 9:07:02 AM"), &j.SubmitDT));
        j.QueueName = QStringLiteral("\\\\SRV\\Plotter");
        j.JobSizeBytes = 1000;
        j.PagesPerCopy = 3;
        j.NumCopies = 2;
        j.PaperName = QStringLiteral("Letter");
        j.PaperWidth = 8.5;
        j.PaperHeight = 11;
        j.TotalPages = 6;
        j.PathAndFilename = QStringLiteral("C:\\x.dwg");
        j.Color = QStringLiteral("Color");
        j.PrtDriverName = QStringLiteral("DesignJet Plotter");
        j.MediaType = QStringLiteral("Bond");
        j.Orientation = QStringLiteral("Portrait");
        for (const char* v : {"1234 | Acme Ltd", "0.25 | Total Job Cost"}) {
            auto cv = j.CategoryValues.NewCCategoryValue();
            cv->ValueName = QStringLiteral("own");
            cv->ValueString = QString::fromLatin1(v);
        }
        QString path;
        QVERIFY(j.SaveToFile(path));
        QCOMPARE(path, box.Path(QStringLiteral("users/jsmith/JOB0001.dat")));
        const QByteArray expected = "QorvexMaster,2,42,\"Plotter A0\",\"HOSTA\",\"jsmith\",\"The "
                                    "\"\"big\"\" plan\",\"03/05/2004 9:07:02 AM\","
                                    "\"\\\\SRV\\Plotter\",1000,3,0,2,\"Letter\",8.500000,11.000000,"
                                    "6,\"C:\\x.dwg\",\"Color\",0.000000,"
                                    "\"DesignJet Plotter\",\"Bond\",\"Portrait\"\r\n"
                                    "QorvexDetail,2,\"Client\",\"1234\r\n"
                                    "QorvexDetail,2,\"Cost\",\"0.25 | Total Job Cost\"\r\n";
        QCOMPARE(box.Read(QStringLiteral("users/jsmith/JOB0001.dat")), expected);
        // A given path keeps the values' own names.
        QString given = box.Path(QStringLiteral("other.dat"));
        QVERIFY(j.SaveToFile(given));
        QVERIFY(
            box.Read(QStringLiteral("other.dat")).contains("QorvexDetail,2,\"own\",\"1234\r\n"));
        // Nothing to store for an empty job.
        j.JobSizeBytes = 0;
        QString none;
        QVERIFY(j.SaveToFile(none));
        QVERIFY(none.isEmpty());
        // A folder that cannot be written fails.
        j.JobSizeBytes = 5;
        QString bad = box.Path(QStringLiteral("missing/x.dat"));
        QVERIFY(!j.SaveToFile(bad));
    }
};

QTEST_GUILESS_MAIN(TestPrintJobInfo)
#include "tst_printjobinfo.moc"
