#include "platform/watcher.h"

#include "platform/files.h"

#include <QPointer>
#include <QSet>
#include <QSocketNotifier>

#include <utility>

#include <sys/inotify.h>
#include <unistd.h>

namespace Platform {

FolderWatch::FolderWatch() = default;

FolderWatch::~FolderWatch() {
    Close();
}

void FolderWatch::Close() {
    delete m_notifier;
    m_notifier = nullptr;
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_changed = false;
    m_names.clear();
    m_all = false;
}

bool FolderWatch::Create(const QString& folder) {
    Close();
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) return false;
    const QByteArray native = EncodeName(folder);
    const uint32_t mask = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF |
                          IN_MOVE_SELF | IN_ONLYDIR;
    if (native.isEmpty() || ::inotify_add_watch(m_fd, native.constData(), mask) < 0) {
        Close();
        return false;
    }
    m_notifier = new QSocketNotifier(qintptr(m_fd), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        if (!Drain()) return;
        const QStringList names = std::exchange(m_names, {});
        const bool all = std::exchange(m_all, false);
        const QPointer<FolderWatch> alive(this); // a receiver may delete the watch
        Q_EMIT ChangedNames(names, all);
        if (alive) Q_EMIT Changed();
    });
    return true;
}

bool FolderWatch::Drain() {
    if (m_fd < 0) return false;
    alignas(inotify_event) char buffer[4096];
    bool any = false;
    QSet<QString> seen(m_names.cbegin(), m_names.cend());
    for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
        any = true;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW) m_all = true;
            if (!e->len) continue;
            const QString name = DecodeName(QByteArray(e->name));
            if (!seen.contains(name)) {
                seen.insert(name);
                m_names << name;
            }
        }
    }
    if (any) m_changed = true;
    return any;
}

bool FolderWatch::TakeChange() {
    Drain();
    const bool changed = m_changed;
    m_changed = false;
    m_names.clear(); // taken as a whole
    m_all = false;
    return changed;
}

} // namespace Platform
