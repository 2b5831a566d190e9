// The start-up steps and the monitoring loop, run pass by pass with fake waits.
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "platform/clock.h"
#include "startup/bprintjobs.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
struct World {
    int dialogs = 0;
    int notifications = 0;
    bool changed = true; // the fake notification has seen a change
    QStringList started, imports;
    QList<int> pauses;
};

class FakeNotification : public IChangeNotification {
public:
    explicit FakeNotification(World& w) : m_w(w) {}
    bool TakeChange() override { return m_w.changed; }
    void OnChange(std::function<void()>) override {}

private:
    World& m_w;
};

CLoopHooks Hooks(World& w) {
    CLoopHooks h;
    h.notify = [&w](const QString& folder) -> std::unique_ptr<IChangeNotification> {
        if (!QDir(folder).exists()) return nullptr;
        ++w.notifications;
        return std::make_unique<FakeNotification>(w);
    };
    h.doPrintJobs = [&w] { ++w.dialogs; };
    h.startProgram = [&w](const QString& p) { w.started << p; };
    h.checkLocalJobs = [&w](const QString& root, const QString&) {
        w.imports << root + (gEnv.m_bLogDatFilesOnly ? u" datonly"_s : QString());
    };
    return h;
}

QByteArray Config(const char* key = nullptr, const QString& value = {}) {
    QByteArray ini = TestData(u"config_v2.ini"_s);
    if (key) ini = IniEdit(ini, u"GENERAL"_s, QString::fromLatin1(key), value);
    return ini;
}
} // namespace

class TestMonitoringLoop : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { gConfigOptions.reset(); }

    void startUp() {
        Sandbox box;
        MessageRecorder rec;
        LayOutInstallation(box, Config());
        World w;
        CMonitoringLoop loop(Hooks(w));
        QVERIFY(loop.Start());
        QCOMPARE(rec.Messages().size(), 0);
        QCOMPARE(w.dialogs, 1); // always once at start-up
        QCOMPARE(w.started, (QStringList{box.Path(u"prog/qorvmond"_s), u"qorvredr"_s}));
        QCOMPARE(w.imports, (QStringList{box.Path(u"home/.local/share/Qorvex/users/"_s)}));
        QCOMPARE(loop.DisplayAfter(), 1);
        // A change seen since the watch was made ends the start-up wait at once.
        QCOMPARE(loop.PendingWait(), CMonitoringLoop::WaitKind::Startup);
        QCOMPARE(loop.PendingWaitMs(), 0);
        QVERIFY(!loop.Polling());
        QCOMPARE(loop.ConfigPath(), gEnv.m_sconfigfile);
    }
    void noRedirectNoRedirector() {
        Sandbox box;
        QByteArray ini = IniEdit(Config(), u"PG1"_s, u"Redirect"_s, kNoRedirect);
        LayOutInstallation(box, ini);
        World w;
        CMonitoringLoop loop(Hooks(w));
        QVERIFY(loop.Start());
        QCOMPARE(w.started.size(), 1);
    }
    void dialogAgainstDisplayAfter_data() {
        QTest::addColumn<QString>("displayAfter");
        QTest::addColumn<int>("prt");
        QTest::addColumn<int>("dat");
        QTest::addColumn<bool>("opened");
        QTest::newRow("one pending") << "1" << 1 << 0 << true;
        QTest::newRow("one settled") << "1" << 1 << 1 << false;
        QTest::newRow("zero, nothing") << "0" << 0 << 0 << true;
        QTest::newRow("two, one pending") << "2" << 1 << 0 << false;
        QTest::newRow("two, three of four") << "2" << 4 << 1 << true;
        QTest::newRow("more dat than prt") << "1" << 1 << 2 << false;
        QTest::newRow("not a number") << "soon" << 0 << 0 << true;
    }
    void dialogAgainstDisplayAfter() {
        QFETCH(QString, displayAfter);
        QFETCH(int, prt);
        QFETCH(int, dat);
        QFETCH(bool, opened);
        Sandbox box;
        LayOutInstallation(box, Config("DisplayAfter", displayAfter));
        World w;
        CMonitoringLoop loop(Hooks(w));
        QVERIFY(loop.Start());
        const int atStart = w.dialogs;
        for (int i = 0; i < prt; ++i)
            box.Write(u"share/data/users/%1/j%2.prt"_s.arg(gEnv.m_sUserName).arg(i), "x");
        for (int i = 0; i < dat; ++i)
            box.Write(u"share/data/users/%1/j%2.dat"_s.arg(gEnv.m_sUserName).arg(i), "x");
        QVERIFY(loop.Pass());
        QCOMPARE(w.dialogs - atStart, opened ? 1 : 0);
    }
    void waitsUpToTheLimit() {
        Sandbox box;
        LayOutInstallation(box, Config());
        World w;
        w.changed = false;
        CMonitoringLoop loop(Hooks(w));
        QVERIFY(loop.Start());
        QCOMPARE(loop.PendingWait(), CMonitoringLoop::WaitKind::Startup);
        QCOMPARE(loop.PendingWaitMs(), 120000);
        QVERIFY(loop.Wake()); // the limit: counts, then a pass
        QCOMPARE(loop.PendingWait(), CMonitoringLoop::WaitKind::Change);
        QCOMPARE(loop.PendingWaitMs(), 120000);
        w.changed = true;
        QVERIFY(loop.Wake());
        QCOMPARE(loop.PendingWaitMs(), 0); // a change during the pass is not lost
    }
    void pollingRules_data() {
        QTest::addColumn<QString>("letterPath");
        QTest::addColumn<QString>("mounts");
        QTest::newRow("unc user folder") << "//server/share/users/x"
                                         << "";
        QTest::newRow("user folder on a network mount") << ""
                                                        << "cifs";
    }
    void pollingRules() {
        QFETCH(QString, letterPath);
        QFETCH(QString, mounts);
        Sandbox box;
        LayOutInstallation(box, Config());
        if (!mounts.isEmpty())
            box.Write(u"mounts"_s, "//srv/data " + box.Path(u"share/data"_s).toUtf8() + " " +
                                       mounts.toUtf8() + " rw 0 0\n");
        World w;
        CMonitoringLoop loop(Hooks(w));
        QVERIFY(loop.Start());
        if (!letterPath.isEmpty()) gEnv.m_sUserPathLetter = letterPath;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(loop.Wake());
            // Never waits on the notification: other machines' writes are not seen there.
            QCOMPARE(loop.PendingWait(), CMonitoringLoop::WaitKind::Poll);
            QCOMPARE(loop.PendingWaitMs(), 1000);
        }
    }
    void folderGoneThenBack() {
        Sandbox box;
        LayOutInstallation(box, Config());
        World w;
        CMonitoringLoop loop(Hooks(w));
        QVERIFY(loop.Start());
        const QString shared = gEnv.m_sUserPath;
        auto options = gConfigOptions;
        QVERIFY(QDir(shared).removeRecursively());
        QVERIFY(loop.Pass());
        QVERIFY(gEnv.m_bOffline);
        QVERIFY(loop.Polling());
        QVERIFY(gConfigOptions != options); // reloaded
        QCOMPARE(gEnv.m_sDataPath, gEnv.m_sLocalUserPath);
        QVERIFY(QFileInfo(gEnv.m_sUserPath).isDir()); // the local job folder
        QCOMPARE(loop.PendingWait(), CMonitoringLoop::WaitKind::Poll);
        options = gConfigOptions;
        QVERIFY(loop.Wake());
        QVERIFY(gConfigOptions != options); // every offline pass reloads
        QVERIFY(QDir().mkpath(shared));
        QVERIFY(loop.Wake()); // back online: the reload of this pass finds the folder
        QVERIFY(!gEnv.m_bOffline);
        QCOMPARE(gEnv.m_sUserPath, shared);
        QCOMPARE(loop.PendingWait(), CMonitoringLoop::WaitKind::Poll);
        // A job written while the program was polling is counted as soon as the watch is
        // in place, not after the next 120 s.
        box.Write(u"share/data/users/%1/late.prt"_s.arg(gEnv.m_sUserName), "x");
        const int dialogs = w.dialogs;
        QVERIFY(loop.Wake());
        QVERIFY(!loop.Polling());
        QCOMPARE(w.dialogs, dialogs + 1);
        QCOMPARE(loop.PendingWait(), CMonitoringLoop::WaitKind::Change);
        options = gConfigOptions;
        QVERIFY(loop.Wake());
        QCOMPARE(gConfigOptions, options); // online and unchanged: no reload
    }
    void configChangeReloadsWithinTwoPasses() {
        Sandbox box;
        const QString cfg = LayOutInstallation(box, Config());
        World w;
        CMonitoringLoop loop(Hooks(w));
        QVERIFY(loop.Start());
        const auto first = gConfigOptions;
        QByteArray changed =
            IniEdit(Config(), u"GENERAL"_s, u"DataPath"_s, box.Path(u"share/data"_s));
        changed = IniEdit(changed, u"GENERAL"_s, u"FileServers"_s, u"fs9"_s);
        box.Write(u"share/Config.ini"_s, changed);
        QVERIFY(TouchFile(cfg, 10));
        QVERIFY(loop.Pass());
        QVERIFY(loop.Pass());
        QVERIFY(gConfigOptions != first);
        QCOMPARE(gConfigOptions->FileServers, u"fs9"_s);
    }
    void invalidConfigEndsTheProgram() {
        Sandbox box;
        MessageRecorder rec;
        const QString cfg = LayOutInstallation(box, Config());
        World w;
        CMonitoringLoop loop(Hooks(w));
        QVERIFY(loop.Start());
        box.Write(u"share/Config.ini"_s,
                  IniEdit(box.Read(u"share/Config.ini"_s), u"GENERAL"_s, u"Version"_s, u"3"_s));
        QVERIFY(TouchFile(cfg, 10));
        QVERIFY(loop.Pass());
        QVERIFY(!loop.Pass());
        QCOMPARE(rec.Messages().size(), 1);
        QVERIFY(rec.Messages()[0].text.startsWith(u"The configuration file version (3)"_s));
        QCOMPARE(w.pauses, QList<int>()); // refused at once, not read again
    }
    // A reload that meets a half-copied file reads it again 2 s later, up to five times,
    // and says nothing unless the last reading fails too.
    void configCaughtMidCopy_data() {
        QTest::addColumn<int>("repairedAtPause"); // 0: never
        QTest::addColumn<bool>("runs");
        QTest::addColumn<int>("pauses");
        QTest::newRow("copied by the first retry") << 1 << true << 1;
        QTest::newRow("copied by the fifth") << 5 << true << 5;
        QTest::newRow("never") << 0 << false << 5;
    }
    void configCaughtMidCopy() {
        QFETCH(int, repairedAtPause);
        QFETCH(bool, runs);
        QFETCH(int, pauses);
        Sandbox box;
        MessageRecorder rec;
        const QString cfg = LayOutInstallation(box, Config());
        const QByteArray whole = box.Read(u"share/Config.ini"_s);
        World w;
        auto stamp = [&](int s) { QVERIFY(TouchFile(cfg, s)); };
        Platform::SetClockHooks({{}, [&](int ms) {
                                     w.pauses << ms;
                                     if (w.pauses.size() == repairedAtPause) {
                                         box.Write(u"share/Config.ini"_s, whole);
                                         stamp(20);
                                     }
                                 }});
        CMonitoringLoop loop(Hooks(w));
        QVERIFY(loop.Start());
        box.Write(u"share/Config.ini"_s, whole.left(300));
        stamp(10);
        QVERIFY(loop.Pass()); // copies the shared file
        QCOMPARE(loop.Pass(), runs);
        Platform::SetClockHooks({});
        QCOMPARE(w.pauses, QList<int>(pauses, 2000));
        if (runs) {
            QCOMPARE(rec.Messages().size(), 0);
            QVERIFY(gConfigOptions->PrinterGroups.Count() > 0);
        } else {
            // Only the last reading is shown: the first entry the cut file lacks.
            QCOMPARE(rec.Texts().size(), 1);
            QVERIFY(rec.Texts()[0].contains(u" not found in file:"_s));
        }
    }
    void missingConfigEndsAtStart() {
        Sandbox box;
        MessageRecorder rec;
        gEnv.m_sExeName = u"qorvlog"_s;
        World w;
        CMonitoringLoop loop(Hooks(w));
        QVERIFY(!loop.Start());
        QCOMPARE(w.dialogs, 0);
        QCOMPARE(rec.Messages().size(), 1);
        QCOMPARE(rec.Messages()[0].icon, Platform::MsgIcon::Critical);
        QCOMPARE(rec.Joined(), QStringLiteral("Configuration file was not found:|||You might need "
                                              "to repair your Sentrel installation."));
    }
    void dataHostForwardsWithDatFilesOnly() {
        Sandbox box;
        // The configuration lives on a network mount, the data in the local profile.
        LayOutInstallation(box, Config(), u"Local Profile"_s);
        box.Write(u"mounts"_s, "//srv/share " + box.Path(u"share"_s).toUtf8() + " cifs rw 0 0\n");
        World w;
        CMonitoringLoop loop(Hooks(w));
        QVERIFY(loop.Start());
        QVERIFY(gEnv.m_bDataHost);
        QVERIFY(!gEnv.m_bLogDatFilesOnly);
        QCOMPARE(w.imports.first(), gEnv.m_sDataPath + u"users/ datonly"_s);
        QVERIFY(loop.Pass());
        QCOMPARE(w.imports.last(), gEnv.m_sDataPath + u"users/ datonly"_s);
    }
};

QTEST_GUILESS_MAIN(TestMonitoringLoop)
#include "tst_monitoringloop.moc"
