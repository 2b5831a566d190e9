// Reaching the user: when jobs wait and the window is not in front (buried, minimised, or
// refused the focus when it opened), a desktop notification, the taskbar's attention hint
// and a tray item speak for it.
#include "common/bcommon.h"
#include "dialog/fprintjobs.h"
#include "platform/notifications.h"

#include <QApplication>
#include <QEvent>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>

namespace {
// Whether the window got the focus it asked for is known only after the window manager
// answered; a refused window calls the user within this.
constexpr int kSettleMs = 1000;
// While jobs wait unanswered the notification comes again, at most this often.
constexpr int kCallAgainMs = 5 * 60 * 1000;
} // namespace

void FPrintJobs::UpdateWaiting(bool call) {
    const int count = mclsPrintJobs && !mbUnloaded ? mclsPrintJobs->Count() : 0;
    if (count == 0) {
        if (m_notifier) m_notifier->Withdraw();
        if (m_callAgain) m_callAgain->stop();
        if (m_tray) m_tray->hide();
        return;
    }
    if (!m_notifier) {
        m_notifier = new Platform::DesktopNotifier(this);
        connect(m_notifier, &Platform::DesktopNotifier::Activated, this, &FPrintJobs::BringForward);
        connect(m_notifier, &Platform::DesktopNotifier::Unavailable, this, [](const QString& why) {
            WriteLog(QStringLiteral("I"), QStringLiteral("No desktop notifications: ") + why);
        });
        m_callAgain = new QTimer(this);
        m_callAgain->setInterval(kCallAgainMs);
        connect(m_callAgain, &QTimer::timeout, this, [this] {
            if (isActiveWindow()) return;
            m_notifier->Withdraw(); // a new notification, not a silent replacement
            UpdateWaiting(true);
        });
    }
    const QString text = count == 1
                             ? QStringLiteral("1 print job waits for your entry")
                             : QStringLiteral("%1 print jobs wait for your entry").arg(count);
    if (!m_tray && QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(QIcon::fromTheme(QStringLiteral("printer")), this);
        connect(m_tray, &QSystemTrayIcon::activated, this, &FPrintJobs::BringForward);
    }
    if (m_tray) {
        m_tray->setToolTip(text);
        m_tray->show();
    }
    if (call) {
        QApplication::alert(this); // the taskbar's or dock's attention hint
        if (isMinimized()) showNormal();
        raise();
        if (!m_callAgain->isActive()) m_callAgain->start();
    }
    // A notification that is out follows the count until no job waits.
    if (call || m_notifier->Showing()) {
        const auto newest = mclsPrintJobs->Item(count);
        m_notifier->Show(text, newest ? newest->DocumentName : QString());
    }
}

void FPrintJobs::CallUserIfRefused() {
    m_wasInFront = false;
    QTimer::singleShot(kSettleMs, this, [this] {
        if (!m_wasInFront) UpdateWaiting(true);
    });
}

void FPrintJobs::BringForward() {
    if (mbUnloaded) return;
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
    if (QWindow* w = windowHandle()) w->requestActivate();
}

void FPrintJobs::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) m_wasInFront = true;
}
