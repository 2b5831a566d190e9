// The scan of the user's job folder: which jobs are skipped, cancelled, stored or kept, the
// answer files it writes, and the reading of one job file.
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "intake/cmonitor.h"
#include "intake/cprintjobinfos.h"
#include "platform/clock.h"
#include "platform/openfiles.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestGetPrintJobs : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> box;
    std::unique_ptr<MessageRecorder> rec;
    const QString kJobs = u"data/users/jsmith/"_s;
    const QByteArray kNone = "<missing>|<missing>|<missing>"_ba;
    const QByteArray kStored = "QorvexMaster,2,42,|10.0.0.7\r\n|resume\r\n"_ba;
    // A plotter job's answers after the monitor's ".shd" line: stored and held, not logged.
    const QByteArray kSent = "QorvexMaster,2,42,|m\r\n10.0.0.7\r\n|resume\r\n"_ba;
    const QByteArray kCancel = "cancel\r\n|m\r\ncancel\r\n|resume\r\n"_ba;

    // The sample configuration with one entry set ("SECTION Key Value"); other machines'
    // jobs are skipped unless it says otherwise.
    void Configure(const QString& entry = {}) {
        QByteArray ini =
            IniEdit(TestData(u"config_v2.ini"_s), u"GENERAL"_s, u"DisplayToUserOnly"_s, u"False"_s);
        const QStringList e = entry.split(u' ');
        if (e.size() == 3) ini = IniEdit(ini, e[0], e[1], e[2]);
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(box->Write(u"Config.ini"_s, ini)));
    }
    // A job file of the sample job with lines replaced by name ("machine=X;driver=").
    QString Job(const QString& name, const QString& changes = {}, const QString& eol = u"\r\n"_s) {
        static const QStringList names = u"- pages queue id printer machine user document path "
                                         "submitted size pages copies paper width height - - "
                                         "color driver"_s.split(u' ');
        QStringList lines = JobFields().Lines();
        for (const QString& c : changes.split(u';', Qt::SkipEmptyParts))
            for (qsizetype i = 0; i < names.size(); ++i)
                if (names[i] == c.section(u'=', 0, 0)) lines[i] = c.section(u'=', 1);
        return box->WriteLines(kJobs + name, lines, eol);
    }
    // The answers to a job: the start of its data file, its shd file, the pas file of job 42.
    QByteArray Answers(const QByteArray& base) {
        const QByteArray jobs = kJobs.toUtf8() + base;
        return box->ReadNative(jobs + ".dat").left(18) + '|' + box->ReadNative(jobs + ".shd") +
               '|' + box->ReadNative("data/Machines/SRV/00042.pas");
    }
    CPrintJobInfos Scan(CPrintJobInfos jobs = {}) {
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

    // Skipped, kept for the dialog, stored at once or not logged, and the answers written;
    // a second scan changes nothing.
    void decision_data() {
        // setup: an entry set, "allusers" or "noip"; answers named as in decision().
        Table("setup job pending answers",
              {"needs input¦¦machine=UNavailable¦1¦kept", "silent group¦PG1 LogSilent True¦¦0¦sent",
               "needs none¦¦driver=Laser 5¦0¦stored", "group off¦PG1 DisableLogging True¦¦0¦cancel",
               "all off¦GENERAL DisableLogging True¦¦0¦cancel",
               "all off, no driver: kept¦GENERAL DisableLogging True¦driver=¦0¦stored",
               "other machine¦¦machine=HOSTB¦0¦kept",
               "shown to user anyway¦GENERAL DisplayToUserOnly True¦machine=HOSTB¦1¦kept",
               "all users¦allusers¦machine=HOSTB¦1¦kept",
               "this machine in a name¦¦machine=xhostax¦1¦kept",
               "loopback¦¦machine=127.0.0.1¦1¦kept", "our address¦¦machine=10.1.1.5¦1¦kept",
               "address unknown¦noip¦machine=HOSTB¦1¦kept",
               // The pas file goes to the queue's server; a queue naming none needs no release.
               "queue //SRV/Plotter/¦PG1 LogSilent True¦queue=//SRV/Plotter/¦0¦sent",
               "queue \\\\..\\x¦PG1 LogSilent True¦queue=\\\\..\\x¦0¦sent, no pas"});
    }
    void decision() {
        QFETCH(QString, setup);
        QFETCH(QString, job);
        QFETCH(QString, pending);
        QFETCH(QString, answers);
        const QHash<QString, QByteArray> named{{u"kept"_s, "<missing>|m\r\n|<missing>"},
                                               {u"stored"_s, "QorvexMaster,2,42,|m\r\n|<missing>"},
                                               {u"sent"_s, kSent},
                                               {u"sent, no pas"_s, kSent.chopped(8) + "<missing>"},
                                               {u"cancel"_s, kCancel}};
        Configure(setup);
        gEnv.m_bLogAllUsers = setup == u"allusers"_s;
        if (setup == u"noip"_s) gEnv.m_sIPAddress.clear();
        box->Write(kJobs + u"A.shd"_s, "m\r\n"); // the monitor's line
        const QString path = Job(u"A.prt"_s, job);
        CPrintJobInfos jobs = Scan();
        QCOMPARE(QString::number(jobs.Count()), pending);
        if (jobs.Count()) // "unavailable" becomes this machine
            QCOMPARE(jobs.Item(path)->MachineName,
                     job.contains(u"UNa"_s) ? u"HOSTA"_s : job.mid(8));
        QCOMPARE(Answers("A"), named[answers]);
        QCOMPARE(QString::number(Scan(std::move(jobs)).Count()), pending);
        QCOMPARE(Answers("A"), named[answers]);
        QCOMPARE(rec->Messages().size(), 0);
        QCOMPARE(QDir(box->Path(u"data"_s)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries) +
                     QDir(box->Path(u"data/Machines"_s))
                         .entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 (QStringList{u"Machines"_s, u"users"_s, u"SRV"_s}));
    }
    // A pending job that the monitor answers (printed without release, or cancelled, in the
    // scheduler) leaves the window; its answer is left as it is.
    void answeredByTheMonitor() {
        const QString path = Job(u"A.prt"_s, u"machine=UNavailable"_s);
        Job(u"B.prt"_s, u"machine=UNavailable;id=43"_s);
        CPrintJobInfos jobs = Scan();
        QCOMPARE(jobs.Count(), 2);
        box->Write(kJobs + u"A.dat"_s, "unreleased\r\n");
        CMonitor monitor;
        QCOMPARE(jobs.GetPrintJobs(monitor), 1);
        QVERIFY(jobs.Count() == 1 && !jobs.Exists(path));
        QCOMPARE(Answers("A"), "unreleased\r\n|<missing>|<missing>");
    }
    // Its own answers wake the folder watch: a job this process answered is not answered
    // again while its job file is unchanged, or the answers never end.
    void answeredOnce() {
        Configure(u"PG1 LogSilent True"_s);
        Job(u"A.prt"_s, u"size=0"_s); // stored without a data file, so never settled by one
        for (int i = 0; i < 3; ++i) QCOMPARE(Scan().Count(), 0);
        Job(u"A.prt"_s, u"size=00"_s); // the monitor wrote the job file again
        Scan();
        QCOMPARE(Answers("A"), "<missing>|10.0.0.7\r\n|resume\r\n"_ba); // the line once
    }
    // A job is settled only with all its answers: whichever cannot be written, no data file
    // is left (the job stays pending), and a later scan writes what is missing, the ".shd"
    // line once. A job that cannot be stored is reported once, then tried again quietly after
    // pauses that grow to 10 s, not a millisecond early.
    void allAnswersOrNone_data() {
        // The configuration entry (stored or not logged), the file that finds no room and the
        // answers left until there is room.
        Table("setup full left",
              {"stored, shd¦PG1 LogSilent True¦A.shd¦<missing>|m\r\n|<missing>",
               "stored, dat¦PG1 LogSilent True¦A.dat¦<missing>|m\r\n|<missing>",
               "stored, pas¦PG1 LogSilent True¦00042.pas¦<missing>|m\r\n10.0.0.7\r\n|<missing>",
               "not logged, pas¦PG1 DisableLogging True¦00042.pas¦<missing>|m\r\ncancel\r\n|"
               "<missing>"});
    }
    void allAnswersOrNone() {
        QFETCH(QString, setup);
        QFETCH(QString, full);
        QFETCH(QString, left);
        Configure(setup);
        box->Write(kJobs + u"A.shd"_s, "m\r\n");
        Job(u"A.prt"_s);
        FakeClock clock;
        {
            FailingDevice device(0, full);
            QString pauses; // each pause, then how much of it a scan 1 ms early leaves
            for (int i = 0; i < 7; ++i) {
                QCOMPARE(Scan().Count(), 0);
                QCOMPARE(QString::fromUtf8(Answers("A")), left);
                const qint64 pause = JobRetryAt() - Platform::NowMs();
                Platform::Pause(int(pause) - 1);
                QCOMPARE(Scan().Count(), 0);
                pauses += u"%1/%2 "_s.arg(pause).arg(JobRetryAt() - Platform::NowMs());
                Platform::Pause(1);
            }
            QCOMPARE(pauses, u"500/1 1000/1 2000/1 4000/1 8000/1 10000/1 10000/1 "_s);
        }
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(Scan().Count(), 0);
            QCOMPARE(Answers("A"), setup.contains(u"Silent"_s) ? kSent : kCancel);
            QCOMPARE(JobRetryAt(), -1);
        }
        QCOMPARE(rec->Joined(), setup.contains(u"Silent"_s)
                                    ? u"Unable to save print job to database or to file.|Contact "
                                      "your system administrator for assistance."_s
                                    : QString());
    }
    // A job file is read once per version: an unchanged one costs a listing entry.
    void readOncePerVersion() {
        const QString path = Job(u"R.prt"_s, u"machine=OTHERHOST"_s); // printed elsewhere
        QVERIFY(TouchFile(path, 0)); // a time in whole milliseconds, which the rewrites keep
        // Same length, inode and time: a version the scan cannot tell from the one it read.
        auto rewrite = [&](const QString& changes) {
            const QDateTime time = QFileInfo(path).lastModified();
            Job(u"R.prt"_s, changes);
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite) &&
                    f.setFileTime(time, QFile::FileModificationTime));
        };
        QCOMPARE(Scan().Count(), 0);
        rewrite(u"machine=xHOSTAxxx"_s);
        QCOMPARE(Scan().Count(), 0); // not read again
        QVERIFY(TouchFile(path, 5));
        CPrintJobInfos first = Scan();
        rewrite(u"machine=xHOSTAxxx;document=Plan.dwx"_s);
        CPrintJobInfos second = Scan();
        const auto a = first.Item(path), b = second.Item(path);
        QVERIFY(a && b && a != b);
        QCOMPARE(b->DocumentName, u"Plan.dwg"_s); // the record kept from the first reading
        QVERIFY(a->CategoryValues.Item(1) != b->CategoryValues.Item(1)); // not shared
    }
    // A job file seen between its creation and its first write is read once it is written,
    // not kept empty; one that stays empty for a second is a job with default fields.
    void readOnceWritten() {
        Configure(u"PG2 LogSilent False"_s); // a record with no driver would be shown
        gEnv.m_bLogAllUsers = true;          // and one with no machine kept
        FakeClock clock;
        const QString path = box->Write(kJobs + u"A.prt"_s, {});
        const QString empty = box->Write(kJobs + u"E.prt"_s, {});
        CPrintJobInfos jobs = Scan();
        QCOMPARE(QString::number(jobs.Count()) + u'|' + QString::fromUtf8(Answers("A")) +
                     rec->Joined(),
                 u"0|"_s + QString::fromUtf8(kNone));
        QCOMPARE(JobRetryAt() - Platform::NowMs(), 1000);
        Job(u"A.prt"_s);
        Platform::Pause(999);
        jobs = Scan(std::move(jobs));
        QCOMPARE(jobs.Count(), 1);
        QCOMPARE(jobs.Item(path)->DocumentName + u'|' +
                     QString::number(jobs.Item(path)->PrintJobID),
                 u"Plan.dwg|42"_s);
        Platform::Pause(1);
        const auto e = Scan(std::move(jobs)).Item(empty);
        QCOMPARE(u"%1|%2|%3"_s.arg(e->UserName).arg(e->PrintJobID).arg(e->JobSizeBytes), u"|0|0"_s);
    }
    // The same job twice (user and machine in any case, number by its upper 16 bits above
    // 65535) is left alone; the index follows the jobs held.
    void duplicates() {
        Job(u"A.prt"_s);
        const QString other = Job(u"B.prt"_s, u"id=65578"_s); // upper 16 bits: 1, not 42
        CPrintJobInfos jobs = Scan();
        Job(u"C.prt"_s, u"user=JSMITH;machine=hosta"_s);
        jobs = Scan(std::move(jobs));
        QCOMPARE(jobs.Count(), 2);
        QCOMPARE(Answers("C"), kNone);
        CPrintJobInfo probe = *jobs.Item(other);
        QString same; // held job's number 65578: the same as 1
        for (const int id : {1, 65536, 131071, 65535, 131072, 0}) {
            probe.PrintJobID = id;
            same += jobs.JobExists(probe) ? u'y' : u'n';
        }
        QCOMPARE(same, u"yyynnn"_s);
        QVERIFY(!jobs.IDExists(other.toUpper()));
        QVERIFY(jobs.Remove(other));
        probe.PrintJobID = 1;
        QVERIFY(!jobs.JobExists(probe));
    }
    // Odd job files are read as far as they go and the scan goes on; settled jobs are never
    // opened, FIFOs and links never followed (one "E" line each when read), a name that is
    // not UTF-8 answered under the same bytes, a queue that names no server answered without
    // a release and the log saying why.
    void oddJobFiles() {
        Configure(u"PG1 LogSilent True"_s);
        gEnv.m_sLocalUserPath = box->Path(u"local/"_s);
        gEnv.m_sExeName = u"qorvlog"_s;
        gEnv.m_bDebugLog = true;
        QDir().mkpath(gEnv.m_sLocalUserPath);
        box->Write(kJobs + u"empty.prt"_s, "");
        box->Write(kJobs + u"short.prt"_s, "a\r\nb\r\nq\r\n7\r\n");
        box->Write(kJobs + u"junk.prt"_s, QByteArray("\x00\x01\xfe\r\n", 5).repeated(5000));
        box->Write(kJobs + u"G.prt"_s, QByteArray(1 << 20, '\xff'));
        box->Write(kJobs + u"G.dat"_s, "cancel\r\n");
        Job(u"H.PRT"_s);
        box->Write(kJobs + u"H.DAT"_s, "x");
        const QString fifo = box->Path(kJobs + u"x.prt"_s), shd = box->Path(kJobs + u"y.shd"_s);
        for (const QString& f : {fifo, shd}) QCOMPARE(::mkfifo(QFile::encodeName(f), 0644), 0);
        const QString outside = box->WriteLines(u"outside/l.prt"_s, JobFields().Lines());
        QVERIFY(QFile::link(outside, box->Path(kJobs + u"l.prt"_s)));
        Job(u"y.prt"_s, u"id=43"_s);
        Job(u"n.prt"_s, u"id=44;queue=\\\\..\\x"_s);
        QVERIFY(box->WriteNative(kJobs.toUtf8() + "caf\xe9.prt", box->Read(kJobs + u"H.PRT"_s)));
        ::alarm(20); // an open that blocks on a FIFO ends the test here
        QCOMPARE(Scan().Count(), 0);
        for (const QString& name : {u"x.prt"_s, u"l.prt"_s, u"gone.prt"_s}) {
            bool read = true;
            QCOMPARE(CMonitor::ReadJobLines(box->Path(kJobs + name), CMonitor::kJobLines, &read),
                     QStringList());
            QVERIFY(!read);
        }
        ::alarm(0);
        QCOMPARE(rec->Messages().size(), 1); // y could not be stored
        // A ".shd" that cannot take the redirect line keeps its job pending.
        QCOMPARE(Answers("caf\xe9") + Answers("y").left(9) + box->Read(kJobs + u"H.DAT"_s),
                 kStored + "<missing>x");
        QCOMPARE(QDir(box->Path(kJobs)).entryList({u"*.dat"_s, u"*.DAT"_s}),
                 (QStringList{u"G.dat"_s, u"H.DAT"_s, u"n.dat"_s}));
        QByteArrayList errors;
        for (const QByteArray& line : box->Read(u"local/qorvlog.txt"_s).split('\n'))
            if (line.contains(" E ")) errors << line.mid(line.indexOf(" E ") + 1);
        const QByteArray at = QFile::encodeName(box->Path(kJobs));
        std::sort(errors.begin(), errors.end()); // in the listing's order
        QCOMPARE(errors,
                 (QByteArrayList{"E Job file skipped: " + at + "l.prt: not a regular file\r",
                                 "E Job file skipped: " + at + "x.prt: not a regular file\r",
                                 "E No release written for " + at +
                                     "n.prt: its queue name \"\\\\..\\x\" names no print server\r",
                                 "E Unable to save print job to database or to file.\r",
                                 "E Unable to write to " + at + "y.shd: " + std::strerror(ENXIO) +
                                     "\r"}));
    }
    // Every field from its line (a lone CR ends one too), on the limits: the document cut at its
    // NUL and trimmed, the machine cut to 15 characters, the path only with ObtainPath.
    void readJobFile() {
        const QString changes =
            u"path=C:\\Docs\\Plan.dwg;document=  Plan.dwg  \0junk;machine=HOSTA-WITH-A-VERY-LONG-NAME;pages=32767;size=2147483647"_s;
        CMonitor monitor;
        const QString path = Job(u"L.prt"_s, changes, u"\r"_s); // the rarest line end
        QCOMPARE(JobDump(*monitor.GetNextPrintJob(path)),
                 u"JobFileName="_s + path +
                     u"\nPrintJobID=42\nPrinterName=Plotter A0\nMachineName=HOSTA-WITH-A-VE\n"
                     "UserName=jsmith\nDocumentName=Plan.dwg\nSubmitDT=03/05/2004 2:07:09 PM\n"
                     "QueueName=\\\\SRV\\Plotter\nJobSizeBytes=2147483647\nPagesPerCopy=32767\n"
                     "SeparatorPages=0\nNumCopies=2\nPaperName=Letter\nPaperWidth=8.5\n"
                     "PaperHeight=11\nTotalPages=65534\nPathAndFilename=Plan.dwg\nColor=Color\n"
                     "Reserved=0\nPrtDriverName=HP DesignJet Plotter\nMediaType=Bond\n"
                     "Orientation=Portrait\nJobSummary=\nValue=Client |  | 0\n"
                     "Value=Cost | 10637.90 | 10637.9"_s);
        gEnv.m_bObtainPath = true;
        QCOMPARE(monitor.GetNextPrintJob(box->Path(kJobs + u"L.prt"_s))->PathAndFilename,
                 u"C:\\Docs\\Plan.dwg"_s);
        // Without one, four folders are searched; a slow server holds the job up once.
        FakeClock clock;
        QStringList asked;
        Platform::SetOpenFilesDouble([&](const QString& s, const QString& u, int wait) {
            asked << u"%1 %2 %3"_s.arg(s, u).arg(wait);
            return Platform::OpenFilesAnswer{{true, {}}, 4000}; // too late
        });
        gEnv.m_sLocalUserPath = box->Path(u"local/"_s);
        gEnv.m_sFileServers = u"fs1"_s;
        const QString title = u"Plan.dwg - AutoCAD"_s;
        const QString found =
            monitor.GetNextPrintJob(Job(u"P.prt"_s, u"path=;document="_s + title))->PathAndFilename;
        Platform::SetOpenFilesDouble({});
        QCOMPARE(u"%1|%2|%3"_s.arg(found, asked.join(u',')).arg(clock.Paused()),
                 title + u"|fs1 jsmith 3000|3500"_s);
        // Past the limits: values keep their defaults, long fields are cut.
        const auto job = monitor.GetNextPrintJob(Job(
            u"B.prt"_s,
            u"pages=32768;copies=many;submitted=yesterday;width=1e999;size=2147483648;document="_s +
                QString(1 << 20, u'd')));
        QCOMPARE((QList<double>{double(job->DocumentName.size()), double(job->PagesPerCopy),
                                double(job->NumCopies), job->SubmitDT.Days(), job->PaperWidth,
                                double(job->JobSizeBytes)}),
                 (QList<double>{254, 0, 0, 0, 0, 0}));
    }
};

QTEST_GUILESS_MAIN(TestGetPrintJobs)
#include "tst_getprintjobs.moc"
