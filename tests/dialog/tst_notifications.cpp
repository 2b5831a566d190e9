// The job window reaching a user who is elsewhere: a stand-in notification service on a
// private session bus records what the window asks of it.
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "dialog/fprintjobs.h"
#include "platform/clock.h"
#include "testsupport.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QtTest>
#include <QtWidgets>

namespace {
const QString kService = u"org.freedesktop.Notifications"_s;
const QString kPath = u"/org/freedesktop/Notifications"_s;

// Records each call as one line: "notify <replaced id> <summary>|<body>" or "close <id>".
class StandInNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList calls;
    uint last = 0;
public Q_SLOTS:
    uint Notify(const QString&, uint replaces, const QString&, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap&, int) {
        calls << u"notify %1 %2|%3 %4"_s.arg(replaces).arg(summary, body, actions.value(0));
        return last = replaces ? replaces : last + 1;
    }
    void CloseNotification(uint id) { calls << u"close %1"_s.arg(id); }
};
} // namespace

class TestNotifications : public QObject {
    Q_OBJECT
    Sandbox box;
    QProcess bus;
    StandInNotifications service;
    std::unique_ptr<FPrintJobs> w;
    qint64 now = 1000000;

    void Job(const QString& id, const QString& document) {
        JobFields f;
        f.id = id, f.document = document;
        box.WriteLines(u"data/users/jsmith/"_s + id + u".prt"_s, f.Lines());
    }
    void Tick() {
        now += 2000;
        w->tmrCheckJobs_Timer();
    }
    // What the service was asked since the last look.
    QStringList Calls() {
        if (!QTest::qWaitFor([this] { return !service.calls.isEmpty(); }, 2000)) return {};
        QTest::qWait(50); // a call that follows at once
        return std::exchange(service.calls, {});
    }

private Q_SLOTS:
    void initTestCase() {
        bus.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address"_s,
                                     u"--address=unix:path="_s + box.Path(u"bus"_s)});
        QVERIFY2(bus.waitForReadyRead(5000), "dbus-daemon did not start");
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
        QDBusConnection standIn =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"stand-in"_s);
        QVERIFY(standIn.registerService(kService));
        QVERIFY(standIn.registerObject(kPath, &service, QDBusConnection::ExportAllSlots));
        gEnv.m_sDataPath = box.Path(u"data/"_s);
        gEnv.m_sUserPath = box.Path(u"data/users/jsmith"_s);
        gEnv.m_sMachineName = u"HOSTA"_s;
        QDir().mkpath(gEnv.m_sUserPath);
        QDir().mkpath(box.Path(u"data/Machines/SRV"_s)); // the plotters' answers
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(
            box.Write(u"Config.ini"_s, TestData(u"config_dialog.ini"_s))));
        Platform::SetClockHooks({[this] { return now; }, [this](int ms) { now += ms; }});
    }
    void cleanupTestCase() {
        w.reset();
        Platform::SetClockHooks({});
        gConfigOptions.reset();
        bus.terminate();
        bus.waitForFinished();
    }

    // One window's life with the user elsewhere: buried, minimised, clicking the notification.
    void waitingJobsReachTheUser() {
        MessageRecorder rec;
        Job(u"42"_s, u"Plan.dwg"_s);
        w = std::make_unique<FPrintJobs>();
        QVERIFY(w->OpenPrintJobs());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QWidget editor; // the user goes on typing elsewhere
        editor.show();
        editor.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&editor));
        QTest::qWait(1100); // past the settle time: a window that was in front calls nobody
        QVERIFY(service.calls.isEmpty());

        Job(u"43"_s, u"Later.dwg"_s);
        Tick();
        QCOMPARE(Calls(),
                 QStringList{u"notify 0 2 print jobs wait for your entry|Later.dwg default"_s});

        w->showMinimized();
        Job(u"44"_s, u"Last.dwg"_s);
        Tick();
        QCOMPARE(Calls(),
                 QStringList{u"notify 1 3 print jobs wait for your entry|Last.dwg default"_s});
        QVERIFY(!w->isMinimized());

        QDBusConnection standIn(u"stand-in"_s);
        QDBusMessage token = QDBusMessage::createSignal(kPath, kService, u"ActivationToken"_s);
        standIn.send(token << 1u << u"token-1"_s);
        QDBusMessage click = QDBusMessage::createSignal(kPath, kService, u"ActionInvoked"_s);
        standIn.send(click << 1u << u"default"_s);
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QCOMPARE(qgetenv("XDG_ACTIVATION_TOKEN"), "token-1");
        QVERIFY(service.calls.isEmpty()); // it stays while jobs wait
        w->findChild<QTreeWidget*>()->selectAll(); // all three, cancelled
        w->findChild<QPushButton*>(u"cmdCancel"_s)->click();
        Tick();
        QVERIFY(w->IsUnloaded());
        QCOMPARE(Calls(), QStringList{u"close 1"_s}); // no job waits: the notification goes
        QVERIFY(rec.Messages().isEmpty());
    }

    // Without a service the window works as before and says nothing to the user.
    void noServiceNoError() {
        MessageRecorder rec;
        QDBusConnection(u"stand-in"_s).unregisterService(kService);
        QWidget editor;
        editor.show();
        Job(u"45"_s, u"More.dwg"_s);
        w = std::make_unique<FPrintJobs>();
        QVERIFY(w->OpenPrintJobs());
        editor.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&editor));
        Job(u"46"_s, u"Most.dwg"_s);
        Tick();
        QTest::qWait(200);
        QVERIFY(service.calls.isEmpty());
        QVERIFY(rec.Messages().isEmpty());
        QVERIFY(!w->IsUnloaded());
    }
};

QTEST_MAIN(TestNotifications)
#include "tst_notifications.moc"
