// Replacing a file as a whole: see files.h for why it is written by hand.
#include "platform/files.h"

#include "platform/posixfile.h"

#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {
using Posix::Fail;
using Posix::Native;
using Posix::StatPath;
using Posix::WriteAll;

namespace Posix {
bool ReplaceAt(int dirfd, const QByteArray& target, const QString& path, const QByteArray& data,
               const struct timespec* times, int mode, int owner) {
    AtomicFile file(dirfd, target, path, mode, owner);
    return file.Write(data) && file.Commit(times);
}

bool Replace(const QString& path, const QByteArray& data, const struct timespec* times) {
    return ReplaceAt(AT_FDCWD, Native(path), path, data, times);
}
} // namespace Posix
using Posix::Replace;

bool SaveFileAtomic(const QString& path, const QByteArray& data, int mode) {
    return Posix::ReplaceAt(AT_FDCWD, Native(path), path, data, nullptr, mode, -1);
}

AtomicFile::AtomicFile(const QString& path) : AtomicFile(AT_FDCWD, Native(path), path) {}

AtomicFile::AtomicFile(int dirfd, const QByteArray& target, const QString& path, int mode,
                       int owner)
    : m_path(path), m_dirfd(dirfd) {
    if (target.isEmpty() || target.endsWith('/')) {
        m_ok = Fail(EINVAL);
        return;
    }
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = target.left(slash + 1);
    const QByteArray name = target.mid(slash + 1).left(200); // room for the suffix
    struct stat old;
    const bool replacing = ::fstatat(dirfd, target.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0 &&
                           S_ISREG(old.st_mode);
    for (int attempt = 0; attempt < 16 && m_fd < 0; ++attempt) {
        m_temp = folder + '.' + name + '.' +
                 QByteArray::number(QRandomGenerator::global()->generate(), 36);
        m_fd =
            ::openat(dirfd, m_temp.constData(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode >= 0 ? 0600 : 0666);
        if (m_fd < 0 && errno != EEXIST) break;
    }
    if (m_fd < 0) {
        m_ok = Fail(errno);
        return;
    }
    m_target = target;
    if (mode >= 0) {
        m_ok = ::fchmod(m_fd, mode_t(mode)) == 0 || Fail(errno);
    } else if (replacing) { // readers of the old file (the monitor, other users) keep access
        [[maybe_unused]] const int kept = ::fchmod(m_fd, old.st_mode & 07777);
    }
    if (m_ok && owner >= 0 && ::fchown(m_fd, uid_t(owner), gid_t(-1)) != 0) m_ok = Fail(errno);
}

AtomicFile::~AtomicFile() {
    if (m_fd >= 0) Posix::Close(m_fd);
    if (!m_committed && !m_temp.isEmpty() && !m_target.isEmpty())
        ::unlinkat(m_dirfd, m_temp.constData(), 0);
}

bool AtomicFile::Write(const QByteArray& data) {
    if (m_ok && m_fd >= 0 && !WriteAll(m_path, m_fd, data)) m_ok = false;
    return m_ok && m_fd >= 0;
}

bool AtomicFile::Commit(const struct timespec* times) {
    if (!m_ok || m_fd < 0) return false;
    bool ok = !times || ::futimens(m_fd, times) == 0 || Fail(errno);
    if (ok && ::fdatasync(m_fd) != 0) ok = Fail(errno);
    if (::close(m_fd) != 0 && ok) ok = Fail(errno);
    m_fd = -1;
    if (ok && ::renameat(m_dirfd, m_temp.constData(), m_dirfd, m_target.constData()) != 0)
        ok = Fail(errno);
    m_ok = ok;
    m_committed = ok;
    return ok;
}

} // namespace Platform
