// The scan of the user's job folder: which jobs are skipped, cancelled, stored or kept, and
// the answer files it writes.
#include "common/bcommon.h"
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "intake/cmonitor.h"
#include "intake/cprintjobinfos.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TestGetPrintJobs : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> box;
    std::unique_ptr<MessageRecorder> rec;

    void Configure(QByteArray ini = TestData(QStringLiteral("config_v2.ini"))) {
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(box->Write(QStringLiteral("Config.ini"), ini)));
    }
    QString Job(const QString& name, const JobFields& fields = {}) {
        return box->WriteLines(QStringLiteral("data/users/jsmith/") + name, fields.Lines());
    }
    QByteArray File(const QString& name) {
        return box->Read(QStringLiteral("data/users/jsmith/") + name);
    }
    bool Has(const QString& name) {
        return QFile::exists(box->Path(QStringLiteral("data/users/jsmith/") + name));
    }
    CPrintJobInfos Scan() {
        CPrintJobInfos jobs;
        CMonitor monitor;
        jobs.GetPrintJobs(monitor);
        return jobs;
    }

private Q_SLOTS:
    void init() {
        box = std::make_unique<Sandbox>();
        rec = std::make_unique<MessageRecorder>();
        gEnv.m_sDataPath = box->Path(QStringLiteral("data/"));
        gEnv.m_sUserPath = box->Path(QStringLiteral("data/users/jsmith"));
        gEnv.m_sMachineName = QStringLiteral("HOSTA");
        gEnv.m_sIPAddress = QStringLiteral("10.1.1.5");
        QDir().mkpath(gEnv.m_sUserPath);
        QDir().mkpath(box->Path(QStringLiteral("data/Machines/SRV")));
        Configure();
    }
    void cleanup() {
        gConfigOptions.reset();
        rec.reset();
        box.reset();
    }

    void jobNeedingInputStaysPending() {
        JobFields s;
        s.machine = QStringLiteral("unavailable");
        const QString path = Job(QStringLiteral("A.prt"), s);
        CPrintJobInfos jobs = Scan();
        QCOMPARE(jobs.Count(), 1);
        auto job = jobs.Item(path);
        QVERIFY(job);
        QCOMPARE(job->MachineName, QStringLiteral("HOSTA")); // "unavailable" replaced
        QCOMPARE(job->CategoryValues.Count(), 2);
        QVERIFY(!Has(QStringLiteral("A.dat")));
        // Scanning again keeps it once.
        CMonitor monitor;
        jobs.GetPrintJobs(monitor);
        QCOMPARE(jobs.Count(), 1);
    }
    void silentGroupIsStoredWithAnswers() {
        Configure(IniEdit(TestData(QStringLiteral("config_v2.ini")), QStringLiteral("PG1"),
                          QStringLiteral("LogSilent"), QStringLiteral("True")));
        Job(QStringLiteral("B.prt"));
        QCOMPARE(Scan().Count(), 0);
        QVERIFY(File(QStringLiteral("B.dat")).startsWith("QorvexMaster,2,42,\"Plotter A0\""));
        QVERIFY(File(QStringLiteral("B.dat")).contains("\r\nQorvexDetail,2,\"Client\",\"\"\r\n"));
        QCOMPARE(File(QStringLiteral("B.shd")), QByteArray("10.0.0.7\r\n"));
        QCOMPARE(box->Read(QStringLiteral("data/Machines/SRV/00042.pas")),
                 QByteArray("resume\r\n"));
    }
    void jobNeedingNoInputIsStored() {
        JobFields s;
        s.driver = QStringLiteral("Laser 5");
        Job(QStringLiteral("C.prt"), s);
        QCOMPARE(Scan().Count(), 0);
        QVERIFY(File(QStringLiteral("C.dat")).endsWith("QorvexDetail,2,\"Pages\",\"6\"\r\n"));
        QVERIFY(!Has(QStringLiteral("C.shd"))); // no redirect in the default group
        QVERIFY(!QFile::exists(box->Path(QStringLiteral("data/Machines/SRV/00042.pas"))));
    }
    void loggingOffCancels() {
        Configure(IniEdit(TestData(QStringLiteral("config_v2.ini")), QStringLiteral("PG1"),
                          QStringLiteral("DisableLogging"), QStringLiteral("True")));
        box->WriteLines(QStringLiteral("data/users/jsmith/D.shd"),
                        {QStringLiteral("monitor line")});
        Job(QStringLiteral("D.prt"));
        QCOMPARE(Scan().Count(), 0);
        QCOMPARE(File(QStringLiteral("D.dat")), QByteArray("cancel\r\n"));
        QCOMPARE(File(QStringLiteral("D.shd")), QByteArray("monitor line\r\ncancel\r\n"));
        QCOMPARE(box->Read(QStringLiteral("data/Machines/SRV/00042.pas")),
                 QByteArray("resume\r\n"));
        // Without a driver name the job is never cancelled.
        JobFields s;
        s.driver.clear();
        s.id = QStringLiteral("43");
        Job(QStringLiteral("E.prt"), s);
        Scan();
        QVERIFY(File(QStringLiteral("E.dat")).startsWith("QorvexMaster"));
    }
    void otherMachine_data() {
        QTest::addColumn<QString>("machine");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<bool>("toUserOnly");
        QTest::addColumn<bool>("allUsers");
        QTest::addColumn<bool>("taken");
        QTest::newRow("other machine") << "HOSTB"
                                       << "10.1.1.5" << false << false << false;
        QTest::newRow("shown to user anyway") << "HOSTB"
                                              << "10.1.1.5" << true << false << true;
        QTest::newRow("all users") << "HOSTB"
                                   << "10.1.1.5" << false << true << true;
        QTest::newRow("this machine lower case") << "hosta"
                                                 << "10.1.1.5" << false << false << true;
        QTest::newRow("unavailable") << "Unavailable"
                                     << "10.1.1.5" << false << false << true;
        QTest::newRow("loopback") << "127.0.0.1"
                                  << "10.1.1.5" << false << false << true;
        QTest::newRow("our address") << "10.1.1.5"
                                     << "10.1.1.5" << false << false << true;
        QTest::newRow("address unknown") << "HOSTB"
                                         << "" << false << false << true;
    }
    void otherMachine() {
        QFETCH(QString, machine);
        QFETCH(QString, ip);
        QFETCH(bool, toUserOnly);
        QFETCH(bool, allUsers);
        QFETCH(bool, taken);
        Configure(IniEdit(TestData(QStringLiteral("config_v2.ini")), QStringLiteral("GENERAL"),
                          QStringLiteral("DisplayToUserOnly"),
                          toUserOnly ? QStringLiteral("True") : QStringLiteral("False")));
        gEnv.m_sIPAddress = ip;
        gEnv.m_bLogAllUsers = allUsers;
        JobFields s;
        s.machine = machine;
        Job(QStringLiteral("F.prt"), s);
        QCOMPARE(Scan().Count(), taken ? 1 : 0);
    }
    void settledJobIsNeverRead() {
        // A settled job whose file is junk, and one that is not even readable, are not read.
        box->Write(QStringLiteral("data/users/jsmith/G.prt"), QByteArray(1 << 20, '\xff'));
        box->Write(QStringLiteral("data/users/jsmith/G.dat"), "cancel\r\n");
        Job(QStringLiteral("H.PRT"));
        box->Write(QStringLiteral("data/users/jsmith/H.DAT"), "x");
        QCOMPARE(Scan().Count(), 0);
        QCOMPARE(File(QStringLiteral("H.DAT")), QByteArray("x"));
    }
    void duplicateIsLeftAlone() {
        Job(QStringLiteral("I.prt"));
        JobFields s;
        s.id = QStringLiteral("65578"); // upper 16 bits differ from 42: another job
        Job(QStringLiteral("J.prt"), s);
        CPrintJobInfos jobs = Scan();
        QCOMPARE(jobs.Count(), 2);
        s.id = QStringLiteral("42");
        s.user = QStringLiteral("JSMITH");
        Job(QStringLiteral("K.prt"), s);
        CMonitor monitor;
        jobs.GetPrintJobs(monitor);
        QCOMPARE(jobs.Count(), 2);
        QVERIFY(!Has(QStringLiteral("K.dat")));
        QVERIFY(!Has(QStringLiteral("K.shd")));
    }
    void jobExistsKeyNumber() {
        CPrintJobInfos jobs;
        auto held = jobs.NewCPrintJobInfo(QStringLiteral("/x/a.prt"));
        held->PrintJobID = 1;
        held->UserName = QStringLiteral("u");
        CPrintJobInfo other;
        other.PrintJobID = 65536; // upper 16 bits: 1
        other.UserName = QStringLiteral("U");
        QVERIFY(jobs.JobExists(other));
        other.PrintJobID = 0;
        QVERIFY(!jobs.JobExists(other));
        QVERIFY(jobs.IDExists(QStringLiteral("/x/a.prt")));
        QVERIFY(!jobs.IDExists(QStringLiteral("/x/A.prt"))); // paths compare exactly
    }
    void brokenJobFiles() {
        // Each gives a record of what could be read, or is skipped; the scan goes on.
        box->Write(QStringLiteral("data/users/jsmith/empty.prt"), "");
        box->Write(QStringLiteral("data/users/jsmith/short.prt"), "a\r\nb\r\nq\r\n7\r\n");
        box->Write(QStringLiteral("data/users/jsmith/junk.prt"),
                   QByteArray("\x00\x01\xfe\r\n", 5).repeated(5000));
        JobFields big;
        big.document = QString(1 << 20, QLatin1Char('d'));
        big.pages = QStringLiteral("99999999999");
        big.copies = QStringLiteral("many");
        big.submitted = QStringLiteral("yesterday");
        big.width = QStringLiteral("1e999");
        Job(QStringLiteral("big.prt"), big);
        JobFields fine;
        fine.id = QStringLiteral("77");
        Job(QStringLiteral("zfine.prt"), fine);
        CPrintJobInfos jobs = Scan();
        QCOMPARE(rec->Messages().size(), 0);
        auto b = jobs.Item(box->Path(QStringLiteral("data/users/jsmith/big.prt")));
        QVERIFY(b);
        QCOMPARE(b->DocumentName.size(), 254);
        QCOMPARE(b->PagesPerCopy, 0);
        QCOMPARE(b->NumCopies, 0);
        QCOMPARE(b->SubmitDT.Days(), 0.0);
        QCOMPARE(b->PaperWidth, 0.0);
        QVERIFY(jobs.Item(box->Path(QStringLiteral("data/users/jsmith/zfine.prt"))));
        // Nothing was written outside the job folder and the Machines folder.
        QDir data(box->Path(QStringLiteral("data")));
        QCOMPARE(data.entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 (QStringList{QStringLiteral("Machines"), QStringLiteral("users")}));
    }
    void lineTable() {
        JobFields s;
        s.path = QStringLiteral("C:\\Docs\\Plan.dwg");
        s.document = QStringLiteral("  Plan.dwg  ") + QChar(0) + QStringLiteral("junk");
        s.width = QStringLiteral("8.5");
        s.machine = QStringLiteral("HOSTA-WITH-A-VERY-LONG-NAME");
        const QString path = Job(QStringLiteral("L.prt"), s);
        CMonitor monitor;
        auto job = monitor.GetNextPrintJob(path);
        QCOMPARE(job->QueueName, QStringLiteral("\\\\SRV\\Plotter"));
        QCOMPARE(job->PrintJobID, 42);
        QCOMPARE(job->DocumentName, QStringLiteral("Plan.dwg"));
        QCOMPARE(job->PathAndFilename, QStringLiteral("Plan.dwg")); // ObtainPath off
        QCOMPARE(job->MachineName, QStringLiteral("HOSTA-WITH-A-VE"));
        QCOMPARE(job->TotalPages, 6);
        QCOMPARE(job->SubmitText(), QStringLiteral("03/05/2004 2:07:09 PM"));
        gEnv.m_bObtainPath = true;
        QCOMPARE(monitor.GetNextPrintJob(path)->PathAndFilename,
                 QStringLiteral("C:\\Docs\\Plan.dwg"));
    }
    void passFile_data() {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QString>("file"); // "" when nothing may be written
        QTest::newRow("windows queue") << "\\\\SRV\\Plotter"
                                       << "Machines/SRV/00042.pas";
        QTest::newRow("slashes") << "//SRV/Plotter/"
                                 << "Machines/SRV/00042.pas";
        QTest::newRow("bare server") << "SRV"
                                     << "Machines/SRV/00042.pas";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("only separators") << "\\\\//"
                                         << "";
        QTest::newRow("dot dot") << "\\\\..\\x"
                                 << "";
        QTest::newRow("dot") << "./x"
                             << "";
    }
    void passFile() {
        QFETCH(QString, queue);
        QFETCH(QString, file);
        const bool ok = WritePassFile(queue, QStringLiteral("42"), QStringLiteral("resume"));
        QCOMPARE(ok, !file.isEmpty());
        if (ok) QCOMPARE(box->Read(QStringLiteral("data/") + file), QByteArray("resume\r\n"));
        QCOMPARE(QDir(box->Path(QStringLiteral("data")))
                     .entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 (QStringList{QStringLiteral("Machines"), QStringLiteral("users")}));
        QVERIFY(!QFile::exists(box->Path(QStringLiteral("00042.pas"))));
    }
};

QTEST_GUILESS_MAIN(TestGetPrintJobs)
#include "tst_getprintjobs.moc"
