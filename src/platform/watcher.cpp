#include "platform/watcher.h"

#include "platform/files.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace Platform {

FolderWatch::~FolderWatch() {
    if (m_fd >= 0) ::close(m_fd);
}

bool FolderWatch::Create(const QString& folder) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) return false;
    const QByteArray native = EncodeName(folder);
    const uint32_t mask = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF |
                          IN_MOVE_SELF | IN_ONLYDIR;
    if (native.isEmpty() || ::inotify_add_watch(m_fd, native.constData(), mask) < 0) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    return true;
}

bool FolderWatch::Wait(int ms) {
    if (m_fd < 0) return false;
    pollfd p{m_fd, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0 && (p.revents & POLLIN);
}

void FolderWatch::Rearm() {
    if (m_fd < 0) return;
    alignas(inotify_event) char buffer[4096];
    while (::read(m_fd, buffer, sizeof buffer) > 0) {
    }
}

} // namespace Platform
