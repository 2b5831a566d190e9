#pragma once
// Desktop notifications through the freedesktop notification service on the session bus: one
// notification per notifier, replaced as it changes, and the user's click on it.
#include <QObject>
#include <QString>

#include <utility>

namespace Platform {

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject* parent = nullptr);
    ~DesktopNotifier() override;

    // Shows summary and body in place of what this notifier shows; never waits for the
    // service. Without a service nothing is shown and Unavailable is emitted once.
    void Show(const QString& summary, const QString& body);
    // Takes back what this notifier shows.
    void Withdraw();
    bool Showing() const { return m_id != 0 || m_pending; }

Q_SIGNALS:
    // The user chose the notification: the window it speaks for is to come forward. On
    // Wayland the service's activation token has been handed on for that.
    void Activated();
    // No notification service answers; why says what the bus said.
    void Unavailable(const QString& why);

private Q_SLOTS:
    void OnActionInvoked(uint id, const QString& action);
    void OnActivationToken(uint id, const QString& token);
    void OnClosed(uint id, uint reason);

private:
    uint m_id = 0;          // the service's number of what is shown
    bool m_pending = false; // a Notify call has not been answered yet
    bool m_withdrawn = false;
    bool m_unavailable = false;
    QString m_token;
    std::pair<QString, QString> m_queued; // summary and body to show once Notify answers
};

} // namespace Platform
