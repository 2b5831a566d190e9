// The job window reaching a user who is elsewhere: a stand-in notification service on a
// private session bus records what the window asks of it.
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "dialog/fprintjobs.h"
#include "platform/clock.h"
#include "testsupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QtTest>
#include <QtWidgets>

namespace {
const QString kName = u"org.freedesktop.Notifications"_s,
              kPath = u"/org/freedesktop/Notifications"_s;

// Records each call: "notify <replaced id> <summary>|<body> <action>" or "close <id>".
class StandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList calls;
public Q_SLOTS:
    uint Notify(const QString&, uint replaces, const QString&, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap&, int) {
        calls << u"notify %1 %2|%3 %4"_s.arg(replaces).arg(summary, body, actions.value(0));
        return 1;
    }
    void CloseNotification(uint id) { calls << u"close %1"_s.arg(id); }
};
} // namespace

class TestNotifications : public QObject {
    Q_OBJECT
    Sandbox box;
    QProcess bus;
    StandIn service;
    std::unique_ptr<FPrintJobs> w;
    qint64 now = 1000000;

    // A job arrives and the window's timer finds it; then what the service was asked.
    QStringList Arrives(const QString& id, const QString& document) {
        JobFields f;
        f.id = id, f.document = document;
        box.WriteLines(u"data/users/jsmith/"_s + id + u".prt"_s, f.Lines());
        if (!w) return {};
        now += 2000;
        w->tmrCheckJobs_Timer();
        (void)QTest::qWaitFor([this] { return !service.calls.isEmpty(); }, 1500);
        return std::exchange(service.calls, {});
    }
    void Signal(const QString& name, const QString& text) {
        QDBusMessage m = QDBusMessage::createSignal(kPath, kName, name);
        QDBusConnection(u"stand-in"_s).send(m << 1u << text);
    }

private Q_SLOTS:
    void initTestCase() {
        bus.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address"_s,
                                     u"--address=unix:path="_s + box.Path(u"bus"_s)});
        QVERIFY2(bus.waitForReadyRead(5000), "dbus-daemon did not start");
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
        auto standIn = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"stand-in"_s);
        QVERIFY(standIn.registerService(kName));
        QVERIFY(standIn.registerObject(kPath, &service, QDBusConnection::ExportAllSlots));
        gEnv.m_sDataPath = box.Path(u"data/"_s);
        gEnv.m_sUserPath = box.Path(u"data/users/jsmith"_s);
        QDir().mkpath(box.Path(u"data/Machines/SRV"_s)); // the plotters' answers
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(
            box.Write(u"Config.ini"_s, TestData(u"config_dialog.ini"_s))));
        Platform::SetClockHooks({[this] { return now; }, [this](int ms) { now += ms; }});
    }
    void cleanupTestCase() {
        w.reset();
        Platform::SetClockHooks({});
        bus.kill();
        bus.waitForFinished();
    }

    // The user types elsewhere: a window that had the focus calls nobody; a job arriving
    // while it is buried, then minimised, notifies (replacing) and restores it; the click
    // activates it with the token; no job left withdraws.
    void waitingJobsReachTheUser() {
        MessageRecorder rec;
        QWidget editor;
        Arrives(u"42"_s, u"First.dwg"_s); // before the window opens
        w = std::make_unique<FPrintJobs>();
        QVERIFY(w->OpenPrintJobs());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        editor.show();
        editor.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&editor));
        QTest::qWait(1100); // past the check of the first opening
        QCOMPARE(service.calls, QStringList());
        QCOMPARE(Arrives(u"43"_s, u"Later.dwg"_s),
                 QStringList{u"notify 0 2 print jobs wait for your entry|Later.dwg default"_s});
        w->showMinimized();
        QCOMPARE(Arrives(u"44"_s, u"Last.dwg"_s),
                 QStringList{u"notify 1 3 print jobs wait for your entry|Last.dwg default"_s});
        QVERIFY(!w->isMinimized());
        Signal(u"ActivationToken"_s, u"token-1"_s);
        Signal(u"ActionInvoked"_s, u"default"_s);
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QCOMPARE(qgetenv("XDG_ACTIVATION_TOKEN"), "token-1");
        w->findChild<QTreeWidget*>()->selectAll(); // all three cancelled: none waits
        w->findChild<QPushButton*>(u"cmdCancel"_s)->click();
        w->tmrCheckJobs_Timer();
        QVERIFY(w->IsUnloaded());
        QTRY_COMPARE(service.calls, QStringList{u"close 1"_s});
        QVERIFY(rec.Messages().isEmpty());
    }
};

QTEST_MAIN(TestNotifications)
#include "tst_notifications.moc"
