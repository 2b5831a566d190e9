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

using namespace Qt::StringLiterals;

class TestGetPrintJobs : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> box;
    std::unique_ptr<MessageRecorder> rec;

    void Configure(QByteArray ini = TestData(u"config_v2.ini"_s)) {
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(box->Write(u"Config.ini"_s, ini)));
    }
    QString Job(const QString& name, const JobFields& fields = {}) {
        return box->WriteLines(u"data/users/jsmith/"_s + name, fields.Lines());
    }
    QByteArray File(const QString& name) { return box->Read(u"data/users/jsmith/"_s + name); }
    bool Has(const QString& name) {
        return QFile::exists(box->Path(u"data/users/jsmith/"_s + name));
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
        gEnv.m_sDataPath = box->Path(u"data/"_s);
        gEnv.m_sUserPath = box->Path(u"data/users/jsmith"_s);
        gEnv.m_sMachineName = u"HOSTA"_s;
        gEnv.m_sIPAddress = u"10.1.1.5"_s;
        QDir().mkpath(gEnv.m_sUserPath);
        QDir().mkpath(box->Path(u"data/Machines/SRV"_s));
        Configure();
    }
    void cleanup() {
        gConfigOptions.reset();
        rec.reset();
        box.reset();
    }

    void jobNeedingInputStaysPending() {
        JobFields s;
        s.machine = u"unavailable"_s;
        const QString path = Job(u"A.prt"_s, s);
        CPrintJobInfos jobs = Scan();
        QCOMPARE(jobs.Count(), 1);
        auto job = jobs.Item(path);
        QVERIFY(job);
        QCOMPARE(job->MachineName, u"HOSTA"_s); // "unavailable" replaced
        QCOMPARE(job->CategoryValues.Count(), 2);
        QVERIFY(!Has(u"A.dat"_s));
        // Scanning again keeps it once.
        CMonitor monitor;
        jobs.GetPrintJobs(monitor);
        QCOMPARE(jobs.Count(), 1);
    }
    void silentGroupIsStoredWithAnswers() {
        Configure(IniEdit(TestData(u"config_v2.ini"_s), u"PG1"_s, u"LogSilent"_s, u"True"_s));
        Job(u"B.prt"_s);
        QCOMPARE(Scan().Count(), 0);
        QVERIFY(File(u"B.dat"_s).startsWith("QorvexMaster,2,42,\"Plotter A0\""));
        QVERIFY(File(u"B.dat"_s).contains("\r\nQorvexDetail,2,\"Client\",\"\"\r\n"));
        QCOMPARE(File(u"B.shd"_s), QByteArray("10.0.0.7\r\n"));
        QCOMPARE(box->Read(u"data/Machines/SRV/00042.pas"_s), QByteArray("resume\r\n"));
    }
    void jobNeedingNoInputIsStored() {
        JobFields s;
        s.driver = u"Laser 5"_s;
        Job(u"C.prt"_s, s);
        QCOMPARE(Scan().Count(), 0);
        QVERIFY(File(u"C.dat"_s).endsWith("QorvexDetail,2,\"Pages\",\"6\"\r\n"));
        QVERIFY(!Has(u"C.shd"_s)); // no redirect in the default group
        QVERIFY(!QFile::exists(box->Path(u"data/Machines/SRV/00042.pas"_s)));
    }
    void loggingOffCancels() {
        Configure(IniEdit(TestData(u"config_v2.ini"_s), u"PG1"_s, u"DisableLogging"_s, u"True"_s));
        box->WriteLines(u"data/users/jsmith/D.shd"_s, {u"monitor line"_s});
        Job(u"D.prt"_s);
        QCOMPARE(Scan().Count(), 0);
        QCOMPARE(File(u"D.dat"_s), QByteArray("cancel\r\n"));
        QCOMPARE(File(u"D.shd"_s), QByteArray("monitor line\r\ncancel\r\n"));
        QCOMPARE(box->Read(u"data/Machines/SRV/00042.pas"_s), QByteArray("resume\r\n"));
        // Without a driver name the job is never cancelled.
        JobFields s;
        s.driver.clear();
        s.id = u"43"_s;
        Job(u"E.prt"_s, s);
        Scan();
        QVERIFY(File(u"E.dat"_s).startsWith("QorvexMaster"));
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
        Configure(IniEdit(TestData(u"config_v2.ini"_s), u"GENERAL"_s, u"DisplayToUserOnly"_s,
                          toUserOnly ? u"True"_s : u"False"_s));
        gEnv.m_sIPAddress = ip;
        gEnv.m_bLogAllUsers = allUsers;
        JobFields s;
        s.machine = machine;
        Job(u"F.prt"_s, s);
        QCOMPARE(Scan().Count(), taken ? 1 : 0);
    }
    void settledJobIsNeverRead() {
        // A settled job whose file is junk, and one that is not even readable, are not read.
        box->Write(u"data/users/jsmith/G.prt"_s, QByteArray(1 << 20, '\xff'));
        box->Write(u"data/users/jsmith/G.dat"_s, "cancel\r\n");
        Job(u"H.PRT"_s);
        box->Write(u"data/users/jsmith/H.DAT"_s, "x");
        QCOMPARE(Scan().Count(), 0);
        QCOMPARE(File(u"H.DAT"_s), QByteArray("x"));
    }
    void duplicateIsLeftAlone() {
        Job(u"I.prt"_s);
        JobFields s;
        s.id = u"65578"_s; // upper 16 bits differ from 42: another job
        Job(u"J.prt"_s, s);
        CPrintJobInfos jobs = Scan();
        QCOMPARE(jobs.Count(), 2);
        s.id = u"42"_s;
        s.user = u"JSMITH"_s;
        Job(u"K.prt"_s, s);
        CMonitor monitor;
        jobs.GetPrintJobs(monitor);
        QCOMPARE(jobs.Count(), 2);
        QVERIFY(!Has(u"K.dat"_s));
        QVERIFY(!Has(u"K.shd"_s));
    }
    void jobExistsKeyNumber() {
        CPrintJobInfos jobs;
        auto held = jobs.NewCPrintJobInfo(u"/x/a.prt"_s);
        held->PrintJobID = 1;
        held->UserName = u"u"_s;
        CPrintJobInfo other;
        other.PrintJobID = 65536; // upper 16 bits: 1
        other.UserName = u"U"_s;
        QVERIFY(jobs.JobExists(other));
        other.PrintJobID = 0;
        QVERIFY(!jobs.JobExists(other));
        QVERIFY(jobs.IDExists(u"/x/a.prt"_s));
        QVERIFY(!jobs.IDExists(u"/x/A.prt"_s)); // paths compare exactly
    }
    void brokenJobFiles() {
        // Each gives a record of what could be read, or is skipped; the scan goes on.
        box->Write(u"data/users/jsmith/empty.prt"_s, "");
        box->Write(u"data/users/jsmith/short.prt"_s, "a\r\nb\r\nq\r\n7\r\n");
        box->Write(u"data/users/jsmith/junk.prt"_s,
                   QByteArray("\x00\x01\xfe\r\n", 5).repeated(5000));
        JobFields big;
        big.document = QString(1 << 20, QLatin1Char('d'));
        big.pages = u"99999999999"_s;
        big.copies = u"many"_s;
        big.submitted = u"yesterday"_s;
        big.width = u"1e999"_s;
        Job(u"big.prt"_s, big);
        JobFields fine;
        fine.id = u"77"_s;
        Job(u"zfine.prt"_s, fine);
        CPrintJobInfos jobs = Scan();
        QCOMPARE(rec->Messages().size(), 0);
        auto b = jobs.Item(box->Path(u"data/users/jsmith/big.prt"_s));
        QVERIFY(b);
        QCOMPARE(b->DocumentName.size(), 254);
        QCOMPARE(b->PagesPerCopy, 0);
        QCOMPARE(b->NumCopies, 0);
        QCOMPARE(b->SubmitDT.Days(), 0.0);
        QCOMPARE(b->PaperWidth, 0.0);
        QVERIFY(jobs.Item(box->Path(u"data/users/jsmith/zfine.prt"_s)));
        // Nothing was written outside the job folder and the Machines folder.
        QDir data(box->Path(u"data"_s));
        QCOMPARE(data.entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 (QStringList{u"Machines"_s, u"users"_s}));
    }
    void lineTable_data() {
        QTest::addColumn<QString>("eol");
        QTest::newRow("CR LF") << u"\r\n"_s;
        QTest::newRow("LF") << u"\n"_s;
        QTest::newRow("CR") << u"\r"_s;
    }
    void lineTable() {
        QFETCH(QString, eol);
        JobFields s;
        s.path = u"C:\\Docs\\Plan.dwg"_s;
        s.document = u"  Plan.dwg  "_s + QChar(0) + u"junk"_s;
        s.width = u"8.5"_s;
        s.machine = u"HOSTA-WITH-A-VERY-LONG-NAME"_s;
        const QString path = box->WriteLines(u"data/users/jsmith/L.prt"_s, s.Lines(), eol);
        CMonitor monitor;
        auto job = monitor.GetNextPrintJob(path);
        QCOMPARE(job->QueueName, u"\\\\SRV\\Plotter"_s);
        QCOMPARE(job->PrintJobID, 42);
        QCOMPARE(job->DocumentName, u"Plan.dwg"_s);
        QCOMPARE(job->PathAndFilename, u"Plan.dwg"_s); // ObtainPath off
        QCOMPARE(job->MachineName, u"HOSTA-WITH-A-VE"_s);
        QCOMPARE(job->TotalPages, 6);
        QCOMPARE(job->SubmitText(), u"03/05/2004 2:07:09 PM"_s);
        QCOMPARE(job->Orientation, u"Portrait"_s); // the last line
        gEnv.m_bObtainPath = true;
        QCOMPARE(monitor.GetNextPrintJob(path)->PathAndFilename, u"C:\\Docs\\Plan.dwg"_s);
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
        const bool ok = WritePassFile(queue, u"42"_s, u"resume"_s);
        QCOMPARE(ok, !file.isEmpty());
        if (ok) QCOMPARE(box->Read(u"data/"_s + file), QByteArray("resume\r\n"));
        QCOMPARE(QDir(box->Path(u"data"_s)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 (QStringList{u"Machines"_s, u"users"_s}));
        QVERIFY(!QFile::exists(box->Path(u"00042.pas"_s)));
    }
};

QTEST_GUILESS_MAIN(TestGetPrintJobs)
#include "tst_getprintjobs.moc"
