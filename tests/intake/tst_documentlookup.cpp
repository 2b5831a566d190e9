// A job's document path looked up while the job is read: stored with its folder levels, the
// servers asked once per job, and the job window running on while a server is slow.
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "dialog/fprintjobs.h"
#include "intake/cmonitor.h"
#include "intake/cprintjobinfos.h"
#include "jobs/cprintjobinfo.h"
#include "platform/clock.h"
#include "platform/openfiles.h"
#include "testsupport.h"

#include <QDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

class TestDocumentLookup : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> box;
    std::unique_ptr<MessageRecorder> rec;
    QStringList asked;

    void Configure(const QByteArray& ini) {
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(box->Write(u"Config.ini"_s, ini)));
    }
    QString Job(const QString& name, const QString& document, const QString& path = {}) {
        JobFields fields;
        fields.document = document;
        fields.path = path;
        fields.driver = u"Laser 5"_s;
        return box->WriteLines(u"data/users/jsmith/"_s + name, fields.Lines());
    }
    // fs1 holds nothing open and answers after delayMs.
    void SlowServer(int delayMs, const std::function<void()>& onAsk = {}) {
        Platform::SetOpenFilesDouble([=, this](const QString& s, const QString& u, int wait) {
            asked << s + QLatin1Char(' ') + u + QLatin1Char(' ') + QString::number(wait);
            if (onAsk) onAsk();
            return Platform::OpenFilesAnswer{{true, {}}, delayMs};
        });
        gEnv.m_sFileServers = u"fs1"_s;
    }

private Q_SLOTS:
    void init() {
        box = std::make_unique<Sandbox>();
        rec = std::make_unique<MessageRecorder>();
        asked.clear();
        gEnv.m_sDataPath = box->Path(u"data/"_s);
        gEnv.m_sUserPath = box->Path(u"data/users/jsmith"_s);
        gEnv.m_sLocalUserPath = box->Path(u"home/.local/share/Qorvex/"_s);
        gEnv.m_sRecentPath = box->Path(u"home/.local/share/recently-used.xbel"_s);
        gEnv.m_sMachineName = u"HOSTA"_s;
        gEnv.m_sLoggingMachine = u"LOGSRV"_s;
        gEnv.m_sFileServers = u"ServerName"_s;
        gEnv.m_bObtainPath = true;
        QDir().mkpath(gEnv.m_sUserPath);
        QDir().mkpath(gEnv.m_sLocalUserPath);
        QDir().mkpath(box->Path(u"data/Machines/SRV"_s));
    }
    void cleanup() {
        Platform::SetOpenFilesDouble({});
        Platform::SetClockHooks({});
        gConfigOptions.reset();
        rec.reset();
        box.reset();
    }

    // A document the desktop lists as recent: its folder level is stored with the job.
    void recentDocumentGivesFolderLevels() {
        QByteArray ini = TestData(u"config_v2.ini"_s);
        for (auto [key, value] :
             {std::pair{u"CategoryName"_s, u"Folder"_s}, {u"PreDefinedValue1"_s, u"82"_s}})
            ini = IniEdit(ini, u"CATEGORYPG21"_s, key, value);
        Configure(ini);
        box->Write(u"home/.local/share/recently-used.xbel"_s,
                   "<?xml version=\"1.0\"?><xbel version=\"1.0\"><bookmark "
                   "href=\"file:///Clients/Acme%204711/Plan.dwg\"/></xbel>");
        Job(u"A.prt"_s, u"Plan.dwg - AutoCAD"_s);
        CPrintJobInfos jobs;
        CMonitor monitor;
        jobs.GetPrintJobs(monitor); // the Default group stores silently
        QCOMPARE(QString::fromUtf8(box->Read(u"data/users/jsmith/A.dat"_s)),
                 u"QorvexMaster,2,42,\"Plotter A0\",\"HOSTA\",\"jsmith\",\"Plan.dwg - AutoCAD\","
                 "\"03/05/2004 2:07:09 PM\",\"\\\\SRV\\Plotter\",123456,3,0,2,\"Letter\",8.500000,"
                 "11.000000,6,\"/Clients/Acme 4711/Plan.dwg\",\"Color\",0.000000,\"Laser 5\","
                 "\"Bond\",\"Portrait\"\r\nQorvexDetail,2,\"Folder\",\"Acme 4711\"\r\n"_s);
    }

    // Four folders are searched for a job; a slow server holds it up once, not four times.
    void serversAskedOncePerJob() {
        Configure(TestData(u"config_v2.ini"_s));
        FakeClock clock;
        SlowServer(4000);
        CMonitor monitor;
        const auto job = monitor.GetNextPrintJob(Job(u"A.prt"_s, u"Plan.dwg - AutoCAD"_s));
        QCOMPARE(job->PathAndFilename, u"Plan.dwg - AutoCAD"_s);
        QCOMPARE(asked, QStringList{u"fs1 jsmith 3000"_s});
        QCOMPARE(clock.Paused(), qint64(3000 + 500));
    }

    // While the scan waits for a server, the window's timer runs and does not scan again.
    void windowRunsWhileServerWaits() {
        Configure(TestData(u"config_v2.ini"_s));
        qint64 now = 1000000;
        Platform::SetClockHooks({[&] { return now; }, {}}); // real waits
        JobFields plotter;
        plotter.document = u"A.dwg"_s; // holds its path: no lookup
        box->WriteLines(u"data/users/jsmith/A.prt"_s, plotter.Lines());
        FPrintJobs w;
        QVERIFY(w.OpenPrintJobs());
        int ticks = 0;
        connect(w.findChild<QTimer*>(u"tmrCheckJobs"_s), &QTimer::timeout, this, [&] { ++ticks; });
        plotter.document = u"B.dwg - AutoCAD"_s;
        plotter.path.clear();
        plotter.id = u"43"_s;
        box->WriteLines(u"data/users/jsmith/B.prt"_s, plotter.Lines());
        SlowServer(350, [&] { now += 5000; }); // a tick meanwhile would be due to scan
        w.tmrCheckJobs_Timer();
        QVERIFY(ticks >= 2);
        QCOMPARE(asked, QStringList{u"fs1 jsmith 3000"_s});
        QCOMPARE(w.findChild<QTreeWidget*>(u"lvwPrintJobs"_s)->topLevelItemCount(), 2);
    }
};

QTEST_MAIN(TestDocumentLookup)
#include "tst_documentlookup.moc"
