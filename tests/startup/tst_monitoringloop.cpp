// The start-up steps and the monitoring loop, run pass by pass with fake waits.
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "platform/clock.h"
#include "startup/bprintjobs.h"
#include "testsupport.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
// A folder watch that has seen a change whenever the flag is set.
struct FakeNotification : IChangeNotification {
    explicit FakeNotification(const bool& changed) : m_changed(changed) {}
    bool TakeChange() override { return m_changed; }
    void OnChange(std::function<void()>) override {}
    const bool& m_changed;
};
} // namespace

class TestMonitoringLoop : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> box;
    std::unique_ptr<MessageRecorder> rec;
    std::unique_ptr<CMonitoringLoop> loop;
    struct {
        int dialogs = 0;
        bool changed = true; // the fake watch has seen a change
        QStringList started, imports;
        QList<int> paused;
        // Runs inside the local import with its stop request; true when that ended it.
        std::function<bool(const std::function<bool()>&)> importJob;
    } w;
    QString cfg;

    // Starts the loop on an installation with this configuration (none when empty).
    bool Begin(const QByteArray& ini = TestData(u"config_v2.ini"_s), const QString& data = {}) {
        if (!ini.isEmpty()) cfg = LayOutInstallation(*box, ini, data);
        CLoopHooks h;
        h.notify = [this](const QString& folder) -> std::unique_ptr<IChangeNotification> {
            if (!QDir(folder).exists()) return nullptr;
            return std::make_unique<FakeNotification>(w.changed);
        };
        h.doPrintJobs = [this] { ++w.dialogs; };
        h.startProgram = [this](const QString& p) { w.started << p; };
        h.checkLocalJobs = [this](const QString& root, const QString&,
                                  const std::function<bool()>& stop) {
            w.imports << root + (gEnv.m_bLogDatFilesOnly ? u" datonly"_s : QString());
            return !(stop && w.importJob && w.importJob(stop));
        };
        loop = std::make_unique<CMonitoringLoop>(h);
        return loop->Start();
    }
    QString Waiting() {
        static const char* const kinds[] = {"None", "Startup", "Change", "Poll"};
        return QLatin1StringView(kinds[int(loop->PendingWait())]) + u' ' +
               QString::number(loop->PendingWaitMs());
    }
    QString Jobs() { return u"share/data/users/"_s + gEnv.m_sUserName + u"/"_s; }
    void Mount(const char* share, const QString& on) {
        box->Write(u"mounts"_s, share + (u" "_s + box->Path(on) + u" cifs rw 0 0\n"_s).toUtf8());
    }

private Q_SLOTS:
    void init() {
        box = std::make_unique<Sandbox>();
        rec = std::make_unique<MessageRecorder>();
        w = {};
    }
    void cleanup() {
        Platform::SetClockHooks({});
        loop.reset();
        gConfigOptions.reset();
        rec.reset();
        box.reset();
    }

    void startUp_data() {
        Table("redirect programs", // the programs started after qorvmond
              {"redirecting group¦10.0.0.7¦ qorvredr", "placeholders only¦Enter IP Address Here¦"});
    }
    void startUp() {
        QFETCH(QString, redirect);
        QFETCH(QString, programs);
        QVERIFY(Begin(IniEdit(TestData(u"config_v2.ini"_s), u"PG1"_s, u"Redirect"_s, redirect)));
        QCOMPARE(rec->Messages().size(), 0);
        QCOMPARE(w.dialogs, 1); // always once at start-up
        QCOMPARE(w.started.join(u' '), box->Path(u"prog/qorvmond"_s) + programs);
        QCOMPARE(w.imports, (QStringList{box->Path(u"home/.local/share/Qorvex/users/"_s)}));
        QCOMPARE(loop->ConfigPath(), gEnv.m_sconfigfile);
    }
    void dialogAgainstDisplayAfter_data() {
        // The activity export's data files ("Job<n>.dat") settle no job: each new job counts.
        Table("displayAfter files opened", // files in the job folder
              {"one pending¦1¦j0.prt¦1", "one settled¦1¦j0.prt j0.dat¦0",
               "extensions in capitals¦1¦j0.PRT j0.DAT¦0",
               "another job's data file¦1¦j0.prt j1.dat¦1",
               "export's data files¦1¦Job1.dat Job2.dat Job3.dat j0.prt¦1", "zero, nothing¦0¦¦1",
               "two, one¦2¦j0.prt¦0", "two, one of two settled¦2¦j0.prt j1.prt j0.dat¦0",
               "two, two of three¦2¦j0.prt j1.prt j2.prt j0.dat¦1", "16-bit limit¦32767¦¦0",
               "past it: 0¦32768¦¦1", "not a number: 0¦soon¦¦1"});
    }
    void dialogAgainstDisplayAfter() {
        QFETCH(QString, displayAfter);
        QFETCH(QString, files);
        QFETCH(QString, opened);
        QVERIFY(
            Begin(IniEdits(TestData(u"config_v2.ini"_s),
                           {u"GENERAL/DisplayAfter="_s + displayAfter, u"GENERAL/DebugLog=1"_s})));
        for (const QString& f : files.split(u' ', Qt::SkipEmptyParts)) box->Write(Jobs() + f, "x");
        QVERIFY(loop->Pass());
        QCOMPARE(w.dialogs, 1 + opened.toInt());
        QCOMPARE(
            box->Read(u"home/.local/share/Qorvex/qorvlog.txt"_s).count(" I about to doprintjobs"),
            opened.toInt());
    }
    // The wait armed after start-up and after each of three passes: a change seen since the
    // last wait ends the next at once, else it runs to its limit; a user folder on the network
    // is polled every second (other machines' writes are not seen by a notification).
    void waits_data() {
        Table("setup waits", {"changes¦changes¦Startup 0|Change 0|Change 0|Change 0",
                              "quiet¦¦Startup 120000|Change 120000|Change 120000|Change 120000",
                              "unc user folder¦unc¦Startup 120000|Poll 1000|Poll 1000|Poll 1000",
                              "network mount¦mount¦Startup 0|Poll 1000|Poll 1000|Poll 1000"});
    }
    void waits() {
        QFETCH(QString, setup);
        QFETCH(QString, waits);
        w.changed = setup == u"changes"_s;
        if (setup == u"mount"_s) Mount("//srv/data", u"share/data"_s);
        QVERIFY(Begin());
        QVERIFY(!loop->Polling());
        if (setup == u"unc"_s) gEnv.m_sUserPathLetter = u"//server/share/users/x"_s;
        QStringList got{Waiting()};
        for (int i = 0; i < 3; ++i) {
            QVERIFY(loop->Wake());
            got << Waiting();
        }
        QCOMPARE(got.join(u'|'), waits);
    }
    // A job printed during the start-up import ends it within the look interval; the job is
    // answered (the dialog) and the import goes on at once, not after a 120 s wait.
    void importGivesWayToNewJobs() {
        qint64 now = 0;
        Platform::SetClockHooks({[&] { return now; }, {}});
        int asked = 0;
        w.changed = false;
        w.importJob = [&](const std::function<bool()>& stop) {
            if (!w.imports.last().contains(u"Qorvex"_s)) return false; // the data host's
            if (w.imports.size() > 1) return stop(); // nothing new: runs to its end
            now = 200; // a look that finds only the job pending before: no reason
            if (stop()) return true;
            box->Write(Jobs() + u"j%1.prt"_s.arg(w.imports.size()), "x");
            for (; now < 1000; now += 100, ++asked)
                if (stop()) return true;
            return false;
        };
        box->Write(Jobs() + u"old.prt"_s, "x");
        QVERIFY(Begin());
        QCOMPARE(QList<int>({asked, int(now), w.dialogs, loop->ImportPending()}),
                 QList<int>({2, 400, 1, 1}));
        QCOMPARE(Waiting(), u"Startup 0"_s);
        QVERIFY(loop->Wake()); // the job is shown, then the import goes on and ends
        QCOMPARE(QList<int>({int(w.imports.size()), w.dialogs, loop->ImportPending()}),
                 QList<int>({2, 3, 0}));
        QCOMPARE(Waiting(), u"Change 120000"_s);
    }
    // Offline while the job folder is gone: every pass reloads and polls; back online, a job
    // written meanwhile is counted as soon as the watch is in place, not after 120 s.
    void folderGoneThenBack() {
        QVERIFY(Begin());
        const QString shared = gEnv.m_sUserPath;
        auto options = gConfigOptions;
        // A pass: offline, polling, options read again, dialogs opened, the wait armed.
        auto pass = [&] {
            const int dialogs = w.dialogs;
            if (!loop->Wake()) return u"ended"_s;
            const bool reloaded = std::exchange(options, gConfigOptions) != gConfigOptions;
            return u"%1%2%3%4 "_s.arg(gEnv.m_bOffline)
                       .arg(loop->Polling())
                       .arg(reloaded)
                       .arg(w.dialogs - dialogs) +
                   Waiting();
        };
        QVERIFY(QDir(shared).removeRecursively());
        QCOMPARE(pass(), u"1110 Poll 1000"_s);
        QCOMPARE(std::pair(gEnv.m_sDataPath, QFileInfo(gEnv.m_sUserPath).isDir()),
                 std::pair(gEnv.m_sLocalUserPath, true)); // the local job folder
        QCOMPARE(pass(), u"1110 Poll 1000"_s);
        QVERIFY(QDir().mkpath(shared));
        QCOMPARE(pass(), u"0110 Poll 1000"_s); // the reload of this pass finds the folder
        QCOMPARE(gEnv.m_sUserPath, shared);
        box->Write(Jobs() + u"late.prt"_s, "x");
        QCOMPARE(pass(), u"0001 Change 0"_s);
        QCOMPARE(pass(), u"0001 Change 0"_s); // online and unchanged: no reload
    }
    // A changed configuration is reloaded within two passes. A reload that meets a half-copied
    // file reads it again 2 s later, up to five times, and only the last reading speaks; a
    // version this program refuses ends it at once.
    void configChanged_data() {
        // change: "Key=Value" in GENERAL, or "cut" after 300 bytes; repaired: at which pause
        // the whole file is back (0: never); message: empty when the program runs on.
        Table("change repaired pauses message",
              {"new file servers¦FileServers=fs9¦0¦0¦", "cut, copied by the first retry¦cut¦1¦1¦",
               "cut, copied by the fifth¦cut¦5¦5¦",
               "cut for good¦cut¦0¦5¦Entry [GENERAL].NumPrinterGroups not found",
               "version 3¦Version=3¦0¦0¦The configuration file version (3)"});
    }
    void configChanged() {
        QFETCH(QString, change);
        QFETCH(QString, repaired);
        QFETCH(QString, pauses);
        QFETCH(QString, message);
        QVERIFY(Begin());
        const auto first = gConfigOptions;
        const QByteArray whole = box->Read(u"share/Config.ini"_s);
        Platform::SetClockHooks({{}, [&](int ms) {
                                     w.paused << ms;
                                     if (w.paused.size() != repaired.toInt()) return;
                                     box->Write(u"share/Config.ini"_s, whole);
                                     QVERIFY(TouchFile(cfg, 20));
                                 }});
        box->Write(u"share/Config.ini"_s,
                   change == u"cut"_s ? whole.left(300)
                                      : IniEdit(whole, u"GENERAL"_s, change.section(u'=', 0, 0),
                                                change.section(u'=', 1)));
        QVERIFY(TouchFile(cfg, 10));
        QVERIFY(loop->Pass()); // copies the shared file
        QCOMPARE(loop->Pass(), message.isEmpty());
        QCOMPARE(w.paused, QList<int>(pauses.toInt(), 2000));
        // One message, or none and the options read.
        QCOMPARE(rec->Messages().size() == 1 ? rec->Joined().left(message.size())
                                             : rec->Joined() + gConfigOptions->FileServers,
                 message.isEmpty() ? (change == u"cut"_s ? u"fs1"_s : u"fs9"_s) : message);
        QVERIFY(gConfigOptions != first);
    }
    void missingConfigEndsAtStart() {
        QVERIFY(!Begin({}));
        QCOMPARE(w.dialogs, 0);
        QCOMPARE(rec->Messages().value(0).icon, Platform::MsgIcon::Critical);
        QCOMPARE(rec->Joined(), u"Configuration file was not found:|||You might need to repair "
                                "your Sentrel installation."_s);
    }
    // The configuration on a network mount, the data in the local profile: this machine
    // forwards the data files, at start-up and at every pass.
    void dataHostForwardsWithDatFilesOnly() {
        Mount("//srv/share", u"share"_s);
        QVERIFY(Begin(TestData(u"config_v2.ini"_s), u"Local Profile"_s));
        QVERIFY(gEnv.m_bDataHost && !gEnv.m_bLogDatFilesOnly);
        QVERIFY(loop->Pass());
        const QString datOnly = gEnv.m_sDataPath + u"users/ datonly"_s;
        QCOMPARE(w.imports, (QStringList{datOnly, datOnly}));
    }
};

QTEST_GUILESS_MAIN(TestMonitoringLoop)
#include "tst_monitoringloop.moc"
