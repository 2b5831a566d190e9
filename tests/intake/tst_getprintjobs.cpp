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
#include <cstring>
#include <sys/stat.h>

#include <fcntl.h>
#include <sys/stat.h>

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
    // Writes other bytes of the same length in place, keeping the file's time and inode: a
    // version of the file the scan cannot tell from the one it read.
    static void RewriteKeepingStamp(const QString& path, const QByteArray& from,
                                    const QByteArray& to) {
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        QVERIFY(bytes.contains(from) && from.size() == to.size());
        bytes.replace(from, to);
        f.seek(0);
        f.write(bytes);
        f.close();
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0);
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
    // A job that cannot be stored is reported once, then tried again quietly at every scan
    // until it is stored; nothing is answered meanwhile.
    void failedStoreReportedOnce() {
        Configure(IniEdit(TestData(u"config_v2.ini"_s), u"PG1"_s, u"LogSilent"_s, u"True"_s));
        Job(u"F.prt"_s);
        {
            FailingDevice full(0, u"F.dat"_s);
            for (int i = 0; i < 3; ++i) QCOMPARE(Scan().Count(), 0);
        }
        QCOMPARE(rec->Joined(), u"Unable to save print job to database or to file.|Contact your "
                                "system administrator for assistance."_s);
        QVERIFY(!Has(u"F.dat"_s) && !Has(u"F.shd"_s));
        QCOMPARE(Scan().Count(), 0); // room again
        QCOMPARE(rec->Messages().size(), 1);
        QVERIFY(File(u"F.dat"_s).startsWith("QorvexMaster,2,42,"));
        QCOMPARE(File(u"F.shd"_s), QByteArray("10.0.0.7\r\n"));
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
    // Its own answers wake the folder watch: a job this process answered is not answered
    // again while its job file is unchanged, or the answers never end.
    void answeredOnceUntilTheJobFileChanges() {
        Configure(IniEdit(TestData(u"config_v2.ini"_s), u"PG1"_s, u"LogSilent"_s, u"True"_s));
        JobFields s;
        s.size = u"0"_s; // stored without a data file, so never settled by one
        Job(u"Z.prt"_s, s);
        for (int i = 0; i < 3; ++i) QCOMPARE(Scan().Count(), 0);
        QVERIFY(!Has(u"Z.dat"_s));
        QCOMPARE(File(u"Z.shd"_s), QByteArray("10.0.0.7\r\n"));
        s.size = u"00"_s; // the monitor wrote the job file again
        Job(u"Z.prt"_s, s);
        QCOMPARE(Scan().Count(), 0);
        QCOMPARE(File(u"Z.shd"_s), QByteArray("10.0.0.7\r\n10.0.0.7\r\n"));
    }
    // A job file is read once per version: an unchanged one costs a listing entry.
    void readOncePerVersion() {
        Configure(IniEdit(TestData(u"config_v2.ini"_s), u"GENERAL"_s, u"DisplayToUserOnly"_s,
                          u"False"_s));
        JobFields s;
        s.machine = u"OTHERHOST"_s; // printed elsewhere
        const QString path = Job(u"R.prt"_s, s);
        QCOMPARE(Scan().Count(), 0);
        RewriteKeepingStamp(path, "OTHERHOST", "xHOSTAxxx");
        QCOMPARE(Scan().Count(), 0); // not read again
        QVERIFY(TouchFile(path, 5));
        CPrintJobInfos first = Scan();
        QCOMPARE(first.Count(), 1);
        RewriteKeepingStamp(path, "Plan.dwg", "Plan.dwx");
        CPrintJobInfos second = Scan();
        const auto a = first.Item(path), b = second.Item(path);
        QVERIFY(a && b && a != b);
        QCOMPARE(b->DocumentName, u"Plan.dwg"_s); // the record kept from the first reading
        QVERIFY(a->CategoryValues.Item(1) != b->CategoryValues.Item(1)); // not shared
        QVERIFY(!Has(u"R.dat"_s));
    }
    void jobExistsKeyNumber() {
        CPrintJobInfos jobs;
        auto held = std::make_shared<CPrintJobInfo>();
        held->PrintJobID = 1;
        held->UserName = u"u"_s;
        jobs.Add(held, u"/x/a.prt"_s);
        CPrintJobInfo other;
        other.PrintJobID = 65536; // upper 16 bits: 1
        other.UserName = u"U"_s;
        QVERIFY(jobs.JobExists(other));
        other.PrintJobID = 0;
        QVERIFY(!jobs.JobExists(other));
        QVERIFY(jobs.IDExists(u"/x/a.prt"_s));
        QVERIFY(!jobs.IDExists(u"/x/A.prt"_s)); // paths compare exactly
        other.PrintJobID = 65536;
        jobs.Remove(u"/x/a.prt"_s);
        QVERIFY(!jobs.JobExists(other)); // gone with the job it was held for
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
    // FIFOs and links named like a job's files are never opened, nothing blocks on them, and
    // the scan goes on; each one refused is one "E" line.
    void jobFilesThatAreNotFiles() {
        Configure(IniEdit(TestData(u"config_v2.ini"_s), u"PG1"_s, u"DisableLogging"_s, u"True"_s));
        gEnv.m_sLocalUserPath = box->Path(u"local/"_s);
        gEnv.m_sExeName = u"qorvlog"_s;
        gEnv.m_bDebugLog = true;
        QDir().mkpath(gEnv.m_sLocalUserPath);
        const QString fifo = box->Path(u"data/users/jsmith/x.prt"_s);
        const QString shd = box->Path(u"data/users/jsmith/y.shd"_s);
        for (const QString& f : {fifo, shd}) QCOMPARE(::mkfifo(QFile::encodeName(f), 0644), 0);
        const QString outside = box->WriteLines(u"outside/l.prt"_s, JobFields().Lines());
        QVERIFY(QFile::link(outside, box->Path(u"data/users/jsmith/l.prt"_s)));
        JobFields other;
        other.id = u"43"_s;
        Job(u"y.prt"_s, other);
        FifoGuard jobGuard(fifo, 2000), shdGuard(shd, 2000);
        Scan();
        for (const QString& name : {u"x.prt"_s, u"l.prt"_s, u"gone.prt"_s}) {
            bool read = true;
            const QString path = box->Path(u"data/users/jsmith/"_s + name);
            QCOMPARE(CMonitor::ReadJobLines(path, CMonitor::kJobLines, &read), QStringList());
            QVERIFY(!read);
        }
        QVERIFY2(!jobGuard.Fired() && !shdGuard.Fired(), "blocked on a FIFO");
        QCOMPARE(File(u"y.dat"_s), QByteArray("cancel\r\n"));
        QVERIFY(!Has(u"x.dat"_s));
        QVERIFY(!Has(u"l.dat"_s));
        QList<QByteArray> log = box->Read(u"local/qorvlog.txt"_s).split('\n');
        for (QByteArray& line : log) line = line.mid(line.indexOf(" E ") + 1);
        const QByteArray folder = QFile::encodeName(box->Path(u"data/users/jsmith/"_s));
        QCOMPARE(log,
                 (QList<QByteArray>{
                     "E Unable to write to " + folder + "y.shd: " + std::strerror(ENXIO) + "\r",
                     "E Job file skipped: " + folder + "x.prt: not a regular file\r",
                     "E Job file skipped: " + folder + "l.prt: not a regular file\r", ""}));
    }
    // A job file whose name is not UTF-8 is answered under the same bytes.
    void jobFileNameNotUtf8() {
        Configure(IniEdit(TestData(u"config_v2.ini"_s), u"PG1"_s, u"DisableLogging"_s, u"True"_s));
        QVERIFY(box->WriteNative("data/users/jsmith/caf\xe9.prt",
                                 JobFields().Lines().join(u"\r\n"_s).toUtf8()));
        QCOMPARE(Scan().Count(), 0);
        QCOMPARE(box->ReadNative("data/users/jsmith/caf\xe9.dat"), QByteArray("cancel\r\n"));
        QCOMPARE(box->ReadNative("data/users/jsmith/caf\xe9.shd"), QByteArray("cancel\r\n"));
        QCOMPARE(box->ReadNative("data/Machines/SRV/00042.pas"), QByteArray("resume\r\n"));
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
