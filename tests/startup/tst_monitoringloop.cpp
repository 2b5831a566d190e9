// The start-up steps and the monitoring loop, run pass by pass with fake waits.
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "platform/clock.h"
#include "startup/bprintjobs.h"
#include "testsupport.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;
using Wait = CMonitoringLoop::WaitKind;

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
        gEnv.m_sExeName = u"qorvlog"_s;
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
        QTest::addColumn<QString>("redirect");
        QTest::addColumn<QStringList>("programs"); // after qorvmond
        QTest::newRow("redirecting group") << u"10.0.0.7"_s << QStringList{u"qorvredr"_s};
        QTest::newRow("placeholders only") << kNoRedirect << QStringList();
    }
    void startUp() {
        QFETCH(QString, redirect);
        QFETCH(QStringList, programs);
        QVERIFY(Begin(IniEdit(TestData(u"config_v2.ini"_s), u"PG1"_s, u"Redirect"_s, redirect)));
        QCOMPARE(rec->Messages().size(), 0);
        QCOMPARE(w.dialogs, 1); // always once at start-up
        QCOMPARE(w.started, QStringList{box->Path(u"prog/qorvmond"_s)} + programs);
        QCOMPARE(w.imports, (QStringList{box->Path(u"home/.local/share/Qorvex/users/"_s)}));
        QCOMPARE(loop->DisplayAfter(), 1);
        QCOMPARE(loop->ConfigPath(), gEnv.m_sconfigfile);
    }
    void dialogAgainstDisplayAfter_data() {
        QTest::addColumn<QString>("displayAfter");
        QTest::addColumn<QString>("files"); // in the job folder
        QTest::addColumn<bool>("opened");
        QTest::newRow("one pending") << u"1"_s << u"j0.prt"_s << true;
        QTest::newRow("one settled") << u"1"_s << u"j0.prt j0.dat"_s << false;
        QTest::newRow("extensions in capitals") << u"1"_s << u"j0.PRT j0.DAT"_s << false;
        QTest::newRow("another job's data file") << u"1"_s << u"j0.prt j1.dat"_s << true;
        // The activity export's data files settle no job: each new job counts.
        QTest::newRow("export's data files")
            << u"1"_s << u"Job1.dat Job2.dat Job3.dat j0.prt"_s << true;
        QTest::newRow("zero, nothing") << u"0"_s << u""_s << true;
        QTest::newRow("two, one") << u"2"_s << u"j0.prt"_s << false;
        QTest::newRow("two, one of two settled") << u"2"_s << u"j0.prt j1.prt j0.dat"_s << false;
        QTest::newRow("two, two of three") << u"2"_s << u"j0.prt j1.prt j2.prt j0.dat"_s << true;
        QTest::newRow("16-bit limit") << u"32767"_s << u""_s << false;
        QTest::newRow("past it: 0") << u"32768"_s << u""_s << true;
        QTest::newRow("not a number: 0") << u"soon"_s << u""_s << true;
    }
    void dialogAgainstDisplayAfter() {
        QFETCH(QString, displayAfter);
        QFETCH(QString, files);
        QFETCH(bool, opened);
        QVERIFY(Begin(
            IniEdit(TestData(u"config_v2.ini"_s), u"GENERAL"_s, u"DisplayAfter"_s, displayAfter)));
        for (const QString& f : files.split(u' ', Qt::SkipEmptyParts)) box->Write(Jobs() + f, "x");
        QVERIFY(loop->Pass());
        QCOMPARE(w.dialogs, opened ? 2 : 1);
    }
    // The wait armed after start-up and after each of three passes: a change seen since the
    // last wait ends the next at once, else it runs to its limit; a user folder on the network
    // is polled every second (other machines' writes are not seen by a notification).
    void waits_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("waits");
        QTest::newRow("changes") << u"changes"_s << u"Startup 0|Change 0|Change 0|Change 0"_s;
        QTest::newRow("quiet") << u""_s
                               << u"Startup 120000|Change 120000|Change 120000|Change 120000"_s;
        QTest::newRow("unc user folder")
            << u"unc"_s << u"Startup 120000|Poll 1000|Poll 1000|Poll 1000"_s;
        QTest::newRow("network mount")
            << u"mount"_s << u"Startup 0|Poll 1000|Poll 1000|Poll 1000"_s;
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
            box->Write(Jobs() + u"old.prt"_s, "x");  // pending before the import: no reason
            if (stop()) return true;
            box->Write(Jobs() + u"j%1.prt"_s.arg(w.imports.size()), "x");
            for (; now < 1000; now += 100, ++asked)
                if (stop()) return true;
            return false;
        };
        box->Write(Jobs() + u"old.prt"_s, "x");
        QVERIFY(Begin());
        QCOMPARE(QList<int>({asked, int(now), w.dialogs, loop->ImportPending()}),
                 QList<int>({2, 200, 1, 1}));
        QCOMPARE(Waiting(), u"Startup 0"_s);
        QVERIFY(loop->Wake()); // the job is shown, then the import goes on and ends
        QCOMPARE(QList<int>({int(w.imports.size()), w.dialogs, loop->ImportPending()}),
                 QList<int>({2, 3, 0}));
        QCOMPARE(Waiting(), u"Change 120000"_s);
    }
    void folderGoneThenBack() {
        QVERIFY(Begin());
        const QString shared = gEnv.m_sUserPath;
        auto options = gConfigOptions;
        QVERIFY(QDir(shared).removeRecursively());
        QVERIFY(loop->Pass());
        QVERIFY(gEnv.m_bOffline && loop->Polling());
        QVERIFY(gConfigOptions != options); // reloaded
        QCOMPARE(gEnv.m_sDataPath, gEnv.m_sLocalUserPath);
        QVERIFY(QFileInfo(gEnv.m_sUserPath).isDir()); // the local job folder
        QCOMPARE(Waiting(), u"Poll 1000"_s);
        options = gConfigOptions;
        QVERIFY(loop->Wake());
        QVERIFY(gConfigOptions != options); // every offline pass reloads
        QVERIFY(QDir().mkpath(shared));
        QVERIFY(loop->Wake()); // back online: the reload of this pass finds the folder
        QVERIFY(!gEnv.m_bOffline);
        QCOMPARE(gEnv.m_sUserPath, shared);
        QCOMPARE(Waiting(), u"Poll 1000"_s);
        // A job written while the program was polling is counted as soon as the watch is
        // in place, not after the next 120 s.
        box->Write(Jobs() + u"late.prt"_s, "x");
        const int before = w.dialogs;
        QVERIFY(loop->Wake());
        QVERIFY(!loop->Polling());
        QCOMPARE(w.dialogs, before + 1);
        QCOMPARE(loop->PendingWait(), Wait::Change);
        options = gConfigOptions;
        QVERIFY(loop->Wake());
        QCOMPARE(gConfigOptions, options); // online and unchanged: no reload
    }
    // A changed configuration is reloaded within two passes. A reload that meets a half-copied
    // file reads it again 2 s later, up to five times, and only the last reading speaks; a
    // version this program refuses ends it at once.
    void configChanged_data() {
        QTest::addColumn<QString>("change"); // "Key=Value" in GENERAL, or "cut" after 300 bytes
        QTest::addColumn<int>("repairedAtPause"); // 0: never
        QTest::addColumn<int>("pauses");
        QTest::addColumn<QString>("message"); // empty: the program runs on
        QTest::newRow("new file servers") << u"FileServers=fs9"_s << 0 << 0 << u""_s;
        QTest::newRow("cut, copied by the first retry") << u"cut"_s << 1 << 1 << u""_s;
        QTest::newRow("cut, copied by the fifth") << u"cut"_s << 5 << 5 << u""_s;
        QTest::newRow("cut for good")
            << u"cut"_s << 0 << 5 << u"Entry [GENERAL].NumPrinterGroups not found"_s;
        QTest::newRow("version 3")
            << u"Version=3"_s << 0 << 0 << u"The configuration file version (3)"_s;
    }
    void configChanged() {
        QFETCH(QString, change);
        QFETCH(int, repairedAtPause);
        QFETCH(int, pauses);
        QFETCH(QString, message);
        QVERIFY(Begin());
        const auto first = gConfigOptions;
        const QByteArray whole = box->Read(u"share/Config.ini"_s);
        Platform::SetClockHooks({{}, [&](int ms) {
                                     w.paused << ms;
                                     if (w.paused.size() != repairedAtPause) return;
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
        QCOMPARE(w.paused, QList<int>(pauses, 2000));
        QCOMPARE(rec->Texts().size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY2(rec->Texts()[0].startsWith(message), qPrintable(rec->Texts()[0]));
        else
            QCOMPARE(gConfigOptions->FileServers, change == u"cut"_s ? u"fs1"_s : u"fs9"_s);
        QVERIFY(gConfigOptions != first);
    }
    void missingConfigEndsAtStart() {
        QVERIFY(!Begin({}));
        QCOMPARE(w.dialogs, 0);
        QCOMPARE(rec->Messages().size(), 1);
        QCOMPARE(rec->Messages()[0].icon, Platform::MsgIcon::Critical);
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
