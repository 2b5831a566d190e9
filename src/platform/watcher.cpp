#include "platform/watcher.h"

#include "platform/files.h"

#include <QSocketNotifier>

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
}

bool FolderWatch::Create(const QString& folder, const QString& names) {
    Close();
    m_names = names;
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
        if (Drain()) Q_EMIT Changed();
    });
    return true;
}

bool FolderWatch::Drain() {
    if (m_fd < 0) return false;
    alignas(inotify_event) char buffer[4096];
    bool any = false;
    ssize_t got = 0;
    while ((got = ::read(m_fd, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < got && !any;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            // No name: the folder itself, or events lost to a full queue.
            any = m_names.isEmpty() || e->len == 0 ||
                  MatchWildcard(DecodeName(QByteArray(e->name)), m_names);
            at += ssize_t(sizeof(inotify_event) + e->len);
        }
    }
    if (any) m_changed = true;
    return any;
}

bool FolderWatch::TakeChange() {
    Drain();
    const bool changed = m_changed;
    m_changed = false;
    return changed;
}

} // namespace Platform
