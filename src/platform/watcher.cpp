#include "platform/watcher.h"

#include "platform/files.h"
#include "platform/posixfile.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace Platform {

namespace {
constexpr qsizetype kMaxNames = 1024;
}

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
    m_lost = false;
    m_names.clear();
}

bool FolderWatch::Create(const QString& folder, const QString& names) {
    Close();
    m_filter = names;
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
    ssize_t n;
    while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + e->len);
            // No name: the folder itself, or events lost to a full queue.
            if (e->len == 0 || (e->mask & (IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF))) {
                any = m_lost = true;
                continue;
            }
            const QString name = DecodeName(QByteArray(e->name));
            if (!m_filter.isEmpty() && !MatchWildcard(name, m_filter)) continue;
            any = true;
            if (!m_lost) m_names.insert(name);
            // A flood of names is as good as a change of everything, and costs no more.
            if (m_names.size() > kMaxNames) {
                m_lost = true;
                m_names.clear();
            }
        }
    }
    if (any) m_changed = true;
    return any;
}

QSet<QString> FolderWatch::TakeNames(bool* lost) {
    Drain();
    *lost = std::exchange(m_lost, false);
    if (*lost) m_names.clear();
    return std::exchange(m_names, {});
}

bool FolderWatch::TakeChange() {
    Drain();
    const bool changed = m_changed;
    m_changed = false;
    return changed;
}

WakeFifo::WakeFifo() = default;

WakeFifo::~WakeFifo() {
    delete m_notifier;
    if (m_fd >= 0) ::close(m_fd);
}

bool WakeFifo::Create(const QString& path, const QString& group) {
    const QByteArray native = Posix::Native(path);
    if (native.isEmpty()) return Posix::Fail(ENOENT);
    // Made anew: whatever lay there (a pipe of an earlier run, anything else) is not trusted.
    ::unlink(native.constData());
    if (::mkfifo(native.constData(), 0600) != 0) return Posix::Fail(errno);
    // Read and write: the pipe never reads as closed while no notifier has it open.
    const int fd = ::open(native.constData(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode) || st.st_uid != ::geteuid()) {
        if (fd >= 0) Posix::Close(fd);
        return Posix::Fail(fd < 0 ? errno : EPERM);
    }
    const struct group* writers = ::getgrnam(group.toUtf8().constData());
    if (writers && (::fchown(fd, uid_t(-1), writers->gr_gid) != 0 || ::fchmod(fd, 0620) != 0)) {
        Posix::Close(fd);
        return Posix::Fail(errno);
    }
    m_fd = fd;
    m_notifier = new QSocketNotifier(qintptr(m_fd), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char buffer[256];
        while (::read(m_fd, buffer, sizeof buffer) > 0) {
        }
        Q_EMIT Woken();
    });
    return true;
}

} // namespace Platform
