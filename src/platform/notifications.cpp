#include "platform/notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <utility>

namespace Platform {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

QDBusMessage Call(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}
} // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    bus.connect(QString(), kPath, kService, QStringLiteral("ActionInvoked"), this,
                SLOT(OnActionInvoked(uint, QString)));
    bus.connect(QString(), kPath, kService, QStringLiteral("ActivationToken"), this,
                SLOT(OnActivationToken(uint, QString)));
    bus.connect(QString(), kPath, kService, QStringLiteral("NotificationClosed"), this,
                SLOT(OnClosed(uint, uint)));
}

DesktopNotifier::~DesktopNotifier() {
    Withdraw();
}

void DesktopNotifier::Show(const QString& summary, const QString& body) {
    if (m_unavailable) return;
    if (m_pending) { // one notification: the newest text follows the answer
        m_queued = {summary, body};
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        m_unavailable = true;
        Q_EMIT Unavailable(QStringLiteral("no session bus: ") + bus.lastError().message());
        return;
    }
    QDBusMessage call = Call(QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("qorvlog")},
                            {QStringLiteral("urgency"), QVariant::fromValue(uchar(1))}};
    // The default action is the click on the notification itself; 0: it stays until taken
    // back.
    call << QStringLiteral("QorvLog") << m_id << QStringLiteral("printer") << summary << body
         << QStringList{QStringLiteral("default"), QStringLiteral("Show")} << hints << 0;
    m_pending = true;
    m_withdrawn = false;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        m_pending = false;
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            m_unavailable = true;
            Q_EMIT Unavailable(reply.error().message());
            return;
        }
        m_id = reply.value();
        if (m_withdrawn) {
            Withdraw(); // taken back while the call was on its way
        } else if (!m_queued.first.isEmpty()) {
            const auto [summary, body] = std::exchange(m_queued, {});
            Show(summary, body);
        }
    });
}

void DesktopNotifier::Withdraw() {
    m_withdrawn = true;
    m_queued = {};
    if (!m_id) return;
    QDBusMessage call = Call(QStringLiteral("CloseNotification"));
    call << m_id;
    QDBusConnection::sessionBus().send(call);
    m_id = 0;
}

void DesktopNotifier::OnActivationToken(uint id, const QString& token) {
    if (id == m_id) m_token = token;
}

void DesktopNotifier::OnActionInvoked(uint id, const QString& action) {
    if (id != m_id || action != QLatin1String("default")) return;
    // xdg-activation: the window's next activation request presents this token.
    if (!m_token.isEmpty()) qputenv("XDG_ACTIVATION_TOKEN", m_token.toUtf8());
    m_token.clear();
    Q_EMIT Activated();
}

void DesktopNotifier::OnClosed(uint id, uint) {
    if (id == m_id) m_id = 0;
}

} // namespace Platform
