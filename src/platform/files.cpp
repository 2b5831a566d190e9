#include "platform/files.h"

#include "platform/lines.h"
#include "platform/posixfile.h"

#include <QRandomGenerator>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace Platform {
using Posix::Fail;
using Posix::FailNotRegular;
using Posix::Native;
using Posix::Replace;
using Posix::ReplaceAt;
using Posix::StatPath;
using Posix::WriteAll;

namespace {
thread_local FileError tLastError;

WriteLimit& Limit() {
    static WriteLimit limit;
    return limit;
}

} // namespace

namespace Posix {
bool Fail(int error) {
    tLastError = {QString::fromLocal8Bit(std::strerror(error)), error == ENOSPC || error == EDQUOT};
    errno = error;
    return false;
}

bool FailNotRegular() {
    tLastError = {QStringLiteral("not a regular file"), false};
    errno = EINVAL;
    return false;
}

// An empty name never reaches the system: "" would mean the current folder to some calls.
QByteArray Native(const QString& path) {
    return path.isEmpty() ? QByteArray() : EncodeName(path);
}
} // namespace Posix

namespace {

// One write through the test seam; at most size bytes, fewer when the device is full.
qint64 DeviceWrite(const QString& path, int fd, const char* data, qint64 size) {
    qint64 take = size;
    if (Limit()) {
        take = std::clamp<qint64>(Limit()(path, size), 0, size);
        if (take == 0) {
            errno = ENOSPC;
            return -1;
        }
    }
    for (;;) {
        const ssize_t n = ::write(fd, data, size_t(take));
        if (n >= 0 || errno != EINTR) return n;
    }
}

} // namespace

namespace Posix {
bool WriteAll(const QString& path, int fd, const QByteArray& data) {
    qint64 done = 0;
    while (done < data.size()) {
        const qint64 n = DeviceWrite(path, fd, data.constData() + done, data.size() - done);
        if (n <= 0) return Fail(n < 0 ? errno : ENOSPC);
        done += n;
    }
    return true;
}
} // namespace Posix

namespace {

// One name inside a folder: never empty, never a path.
bool PlainName(const QByteArray& name) {
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') &&
           !name.contains('\0');
}

// A short append is cut off again, unless another writer has appended after it.
void TakeBack(int fd, qint64 written) {
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    struct stat st;
    if (end >= written && ::fstat(fd, &st) == 0 && st.st_size == end) {
        [[maybe_unused]] const int cut = ::ftruncate(fd, end - written);
    }
}

bool Append(const QString& path, const QString& line, bool sync) {
    const QByteArray native = Native(path);
    if (native.isEmpty()) return Fail(ENOENT);
    // O_NONBLOCK: a FIFO without a reader fails at once instead of blocking.
    const int fd =
        ::open(native.constData(),
               O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return Fail(errno);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        Posix::Close(fd);
        return FailNotRegular();
    }
    // One write per line, so that lines of other writers never interleave with it.
    const QByteArray bytes = line.toUtf8() + "\r\n";
    const qint64 n = DeviceWrite(path, fd, bytes.constData(), bytes.size());
    if (n != bytes.size()) {
        const int error = n < 0 ? errno : ENOSPC;
        if (n > 0) TakeBack(fd, n);
        Posix::Close(fd);
        return Fail(error);
    }
    bool ok = !sync || ::fdatasync(fd) == 0 || Fail(errno);
    if (::close(fd) != 0 && ok) ok = Fail(errno);
    return ok;
}

} // namespace

namespace Posix {
bool StatPath(const QString& path, struct stat* st, bool follow) {
    const QByteArray native = Native(path);
    if (native.isEmpty()) return false;
    return (follow ? ::stat(native.constData(), st) : ::lstat(native.constData(), st)) == 0;
}
} // namespace Posix

namespace {} // namespace

namespace Posix {

int OpenRegular(const QString& path, int flags, bool follow, struct stat* st) {
    const QByteArray native = Native(path);
    int fd = -1;
    // Looked at before opening: opening a device can have effects of its own.
    if (native.isEmpty())
        Fail(ENOENT);
    else if ((follow ? ::stat(native.constData(), st) : ::lstat(native.constData(), st)) != 0)
        Fail(errno);
    else if (!S_ISREG(st->st_mode))
        FailNotRegular();
    else if ((fd = ::open(native.constData(),
                          flags | O_NONBLOCK | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW))) < 0)
        Fail(errno);
    else if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) { // replaced in between
        Close(fd);
        fd = -1;
        FailNotRegular();
    }
    return fd;
}

bool ReadAll(int fd, qint64 max, QByteArray* out) {
    out->clear();
    // A regular file of known size is read in place, in one piece as far as the system allows:
    // a large one costs neither copies nor growing the buffer.
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        out->resize(qsizetype(max < 0 ? st.st_size : std::min<qint64>(st.st_size, max)));
        qsizetype got = 0;
        while (got < out->size()) {
            const ssize_t n = ::read(fd, out->data() + got, size_t(out->size() - got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return Fail(errno);
            if (n == 0) break;
            got += n;
        }
        out->truncate(got);
    }
    // The rest of what grew meanwhile, or of what has no size.
    char buffer[65536];
    while (max < 0 || out->size() < max) {
        const qint64 want =
            max < 0 ? qint64(sizeof buffer) : std::min<qint64>(sizeof buffer, max - out->size());
        const ssize_t n = ::read(fd, buffer, size_t(want));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Fail(errno);
        if (n == 0) break;
        out->append(buffer, n);
    }
    return true;
}

void Close(int fd) {
    const int error = errno;
    ::close(fd);
    errno = error;
}

} // namespace Posix

FileError LastFileError() {
    return tLastError;
}

void SetWriteLimit(WriteLimit limit) {
    Limit() = std::move(limit);
}

QString DecodeText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) return QString::fromLatin1(bytes);
    return text;
}

QByteArray ReadHead(const QString& path, qint64 maxBytes, bool* ok) {
    struct stat st;
    QByteArray bytes;
    const int fd = Posix::OpenRegular(path, O_RDONLY, false, &st);
    *ok = fd >= 0 && Posix::ReadAll(fd, maxBytes, &bytes);
    if (fd >= 0) Posix::Close(fd);
    return *ok ? bytes : QByteArray();
}

bool ReadTextFile(const QString& path, QString* text) {
    bool ok = false;
    const QByteArray bytes = ReadHead(path, -1, &ok);
    if (ok) *text = DecodeText(bytes);
    return ok;
}

static bool CanOpen(const QString& path, int flags) {
    struct stat st;
    const int fd = Posix::OpenRegular(path, flags, true, &st);
    if (fd >= 0) Posix::Close(fd);
    return fd >= 0;
}

bool CanOpenForReading(const QString& path) {
    return CanOpen(path, O_RDONLY);
}

bool CanOpenForAppending(const QString& path) {
    return CanOpen(path, O_WRONLY | O_APPEND);
}

namespace {
QStringList SplitLines(const QString& text) {
    QStringList lines;
    ForEachLine(QStringView(text), [&](QStringView line) {
        lines << line.toString();
        return true;
    });
    return lines;
}
} // namespace

QStringList ReadLines(const QString& path, bool* ok) {
    QString text;
    const bool read = ReadTextFile(path, &text);
    if (ok) *ok = read;
    return read ? SplitLines(text) : QStringList();
}

QStringList DecodeLines(const QByteArray& bytes) {
    return SplitLines(DecodeText(bytes));
}

QByteArray EncodeLines(const QStringList& lines) {
    QByteArray out;
    for (const QString& l : lines) {
        out += l.toUtf8();
        out += "\r\n";
    }
    return out;
}

bool WriteLine(const QString& path, const QString& line, bool replace) {
    return replace ? SaveFileAtomic(path, EncodeLines({line})) : Append(path, line, true);
}

bool AppendLogLine(const QString& path, const QString& line, qint64 maxBytes) {
    // A relative path would put the log in the current folder.
    if (path.isEmpty() || !path.startsWith(QLatin1Char('/'))) return false;
    struct stat st;
    const QByteArray native = EncodeName(path);
    if (::lstat(native.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= maxBytes)
        ::rename(native.constData(), EncodeName(path + QStringLiteral(".old")).constData());
    return Append(path, line, false);
}

EntryKind KindOf(const QString& path) {
    struct stat st;
    if (!StatPath(path, &st, false)) return EntryKind::Missing;
    if (S_ISREG(st.st_mode)) return EntryKind::Regular;
    if (S_ISDIR(st.st_mode)) return EntryKind::Folder;
    if (S_ISLNK(st.st_mode)) return EntryKind::Link;
    return EntryKind::Other;
}

bool Exists(const QString& path) {
    struct stat st;
    return StatPath(path, &st);
}

bool IsDir(const QString& path) {
    struct stat st;
    return StatPath(path, &st) && S_ISDIR(st.st_mode);
}

bool IsFile(const QString& path) {
    struct stat st;
    return StatPath(path, &st) && !S_ISDIR(st.st_mode);
}

qint64 ModifiedNs(const QString& path) {
    struct stat st;
    if (!StatPath(path, &st)) return 0;
    return qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

FileStamp StampOf(const QString& path) {
    FileStamp s;
    struct stat st;
    const QByteArray native = EncodeName(path);
    if (native.isEmpty() || ::lstat(native.constData(), &st) != 0) return s;
    s.exists = true;
    s.regular = S_ISREG(st.st_mode);
    s.size = st.st_size;
    s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.inode = st.st_ino;
    return s;
}

namespace {
// A new file of a random name in folder dfd, opened for writing; -1 when none can be made.
int OpenTemp(int dfd, QByteArray* temp, mode_t mode) {
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        *temp = ".new." + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = ::openat(dfd, temp->constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      mode);
        if (fd < 0 && errno != EEXIST) break;
    }
    return fd;
}

// The whole of a regular file, and its status.
bool ReadRegular(const QString& path, bool follow, QByteArray* data, struct stat* st) {
    const int fd = Posix::OpenRegular(path, O_RDONLY, follow, st);
    if (fd < 0) return false;
    const bool read = Posix::ReadAll(fd, -1, data);
    Posix::Close(fd);
    return read;
}

// Gives the file temp (in folder dfd) the name target unless a file has it: a link where the
// file system has them, else a rename that refuses to replace. 0, EEXIST or why it failed.
int PlaceNew(int dfd, const QByteArray& temp, const QByteArray& target, bool* moved) {
    *moved = false;
    if (::linkat(dfd, temp.constData(), AT_FDCWD, target.constData(), 0) == 0) return 0;
    if (errno == EEXIST) return EEXIST;
    if (::renameat2(dfd, temp.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) != 0)
        return errno;
    *moved = true;
    return 0;
}
} // namespace

int SaveNewFiles(const QString& folder, const QList<QByteArray>& files,
                 const std::function<QString(int)>& pathOf, int* next) {
    const QByteArray dir = Native(folder);
    const int dfd =
        dir.isEmpty() ? -1 : ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) {
        Fail(dir.isEmpty() ? ENOENT : errno);
        return 0;
    }
    QList<QByteArray> temps;
    temps.reserve(files.size());
    for (const QByteArray& data : files) {
        QByteArray temp;
        const int fd = OpenTemp(dfd, &temp, 0666);
        if (fd < 0) {
            Fail(errno);
            break;
        }
        bool ok = WriteAll(folder + QLatin1Char('/') + QString::fromLatin1(temp), fd, data);
        if (::close(fd) != 0 && ok) ok = Fail(errno);
        if (!ok) {
            ::unlinkat(dfd, temp.constData(), 0);
            break;
        }
        temps << temp;
    }
    int stored = 0;
    const bool synced = temps.isEmpty() || ::syncfs(dfd) == 0 || Fail(errno);
    for (const QByteArray& temp : temps) {
        int error = synced ? EEXIST : EIO;
        bool moved = false;
        // A bound, so that a file system that always answers "exists" cannot hold us here.
        for (int tries = 0; synced && error == EEXIST && tries < (1 << 20); ++tries) {
            const QByteArray target = Native(pathOf(*next));
            error = target.isEmpty() ? ENOENT : PlaceNew(dfd, temp, target, &moved);
            if (error == 0 || error == EEXIST) ++*next;
        }
        if (!moved) ::unlinkat(dfd, temp.constData(), 0);
        if (error != 0) {
            if (synced) Fail(error);
            for (qsizetype i = stored + 1; i < temps.size(); ++i)
                ::unlinkat(dfd, temps[i].constData(), 0);
            break;
        }
        ++stored;
    }
    if (stored > 0 && ::fsync(dfd) != 0) Fail(errno); // the new names themselves
    Posix::Close(dfd);
    return stored;
}

bool CopyFileKeepTime(const QString& from, const QString& to) {
    struct stat st;
    QByteArray data;
    const bool read = ReadRegular(from, true, &data, &st);
    // Keep the last-write time: the configuration reload compares stamps of copies.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    return read && Replace(to, data, times);
}

bool MoveFile(const QString& from, const QString& to) {
    if (!IsFile(from)) return false;
    const QByteArray source = Native(from), target = Native(to);
    if (target.isEmpty()) return Fail(ENOENT);
    if (::rename(source.constData(), target.constData()) == 0) return true;
    if (errno != EXDEV) return Fail(errno);
    return CopyFileKeepTime(from, to) && RemoveFile(from);
}

bool MoveFileNoReplace(const QString& from, const QString& to) {
    if (KindOf(from) != EntryKind::Regular) return FailNotRegular();
    const QByteArray source = Native(from), target = Native(to);
    if (target.isEmpty() || target.endsWith('/')) return Fail(ENOENT);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return true;
    if (errno == EINVAL && ::link(source.constData(), target.constData()) == 0) {
        ::unlink(source.constData()); // a file system that cannot rename without replacing
        return true;
    }
    if (errno != EXDEV) return Fail(errno);
    // Another file system: a whole, synced copy under a temporary name first, then the name,
    // unless a file took it meanwhile; only then does the source go.
    struct stat st;
    QByteArray data;
    if (!ReadRegular(from, false, &data, &st)) return false;
    const QByteArray folder = target.left(target.lastIndexOf('/') + 1);
    const int dfd =
        ::open(folder.isEmpty() ? "." : folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return Fail(errno);
    QByteArray temp;
    const int fd = OpenTemp(dfd, &temp, st.st_mode & 0777);
    bool ok = fd >= 0 || Fail(errno);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (ok) ok = WriteAll(to, fd, data);
    if (ok && ::futimens(fd, times) != 0) ok = Fail(errno);
    if (ok && ::fdatasync(fd) != 0) ok = Fail(errno);
    if (fd >= 0 && ::close(fd) != 0 && ok) ok = Fail(errno);
    bool moved = false;
    if (ok) {
        const int error = PlaceNew(dfd, temp, target, &moved);
        ok = error == 0 || Fail(error);
    }
    if (fd >= 0 && !moved) ::unlinkat(dfd, temp.constData(), 0);
    if (ok && ::fsync(dfd) != 0) ok = Fail(errno); // the new name itself
    Posix::Close(dfd);
    return ok && (::unlink(source.constData()) == 0 || Fail(errno));
}

bool RemoveFile(const QString& path) {
    const QByteArray native = Native(path);
    return !native.isEmpty() && (::unlink(native.constData()) == 0 || Fail(errno));
}

bool MakeDir(const QString& path) {
    const QByteArray native = Native(path);
    return !native.isEmpty() && (::mkdir(native.constData(), 0777) == 0 || Fail(errno));
}

bool MakePath(const QString& path) {
    QByteArray native = Native(path);
    while (native.size() > 1 && native.endsWith('/')) native.chop(1);
    if (native.isEmpty()) return false;
    for (qsizetype i = 1; i <= native.size(); ++i) {
        if (i < native.size() && native[i] != '/') continue;
        const QByteArray part = native.left(i);
        if (::mkdir(part.constData(), 0777) != 0 && errno != EEXIST) return Fail(errno);
    }
    return IsDir(path) || Fail(ENOTDIR);
}

QString Separator() {
    return QStringLiteral("/");
}

Folder::~Folder() {
    if (m_fd >= 0) ::close(m_fd);
}

Folder::Folder(Folder&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

Folder Folder::Open(const QString& path) {
    Folder f;
    const QByteArray native = Native(path);
    if (native.isEmpty()) {
        Fail(ENOENT);
        return f;
    }
    f.m_fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (f.m_fd < 0) Fail(errno);
    f.m_path = path;
    while (f.m_path.size() > 1 && f.m_path.endsWith(QLatin1Char('/'))) f.m_path.chop(1);
    return f;
}

Folder Folder::Child(const QString& name, const FolderLayout* layout) const {
    Folder f;
    const QByteArray n = EncodeName(name);
    if (m_fd < 0 || !PlainName(n)) {
        Fail(EINVAL);
        return f;
    }
    if (layout && ::mkdirat(m_fd, n.constData(), 0700) != 0 && errno != EEXIST) {
        Fail(errno);
        return f;
    }
    f.m_fd = ::openat(m_fd, n.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (f.m_fd < 0) {
        Fail(errno == ELOOP ? ENOTDIR : errno);
        return f;
    }
    f.m_path = m_path + QLatin1Char('/') + name;
    if (layout && !f.Repair(*layout)) f = Folder();
    return f;
}

bool Folder::Repair(const FolderLayout& layout) const {
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) return Fail(m_fd < 0 ? EBADF : errno);
    const uid_t uid = layout.owner >= 0 ? uid_t(layout.owner) : st.st_uid;
    const gid_t gid = layout.group >= 0 ? gid_t(layout.group) : st.st_gid;
    // The mode first, while the folder may still be this process's own to change.
    if ((st.st_mode & 07777) != mode_t(layout.mode) && ::fchmod(m_fd, mode_t(layout.mode)) != 0)
        return Fail(errno);
    if ((st.st_uid != uid || st.st_gid != gid) && ::fchown(m_fd, uid, gid) != 0) return Fail(errno);
    return true;
}

bool Folder::Save(const QString& name, const QByteArray& data, int mode, int owner) const {
    const QByteArray n = EncodeName(name);
    if (m_fd < 0 || !PlainName(n)) return Fail(EINVAL);
    return ReplaceAt(m_fd, n, m_path + QLatin1Char('/') + name, data, nullptr, mode, owner);
}

bool Folder::Read(const QString& name, qint64 maxBytes, QByteArray* out, uint* owner) const {
    out->clear();
    const QByteArray n = EncodeName(name);
    if (m_fd < 0 || !PlainName(n)) return Fail(EINVAL);
    const int fd = ::openat(m_fd, n.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(errno);
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 || Fail(errno);
    if (ok && !S_ISREG(st.st_mode)) ok = FailNotRegular();
    if (ok) {
        *owner = st.st_uid;
        ok = Posix::ReadAll(fd, maxBytes, out);
    }
    Posix::Close(fd);
    return ok;
}

bool MakePrivateFile(const QString& path) {
    const QByteArray n = EncodeName(path);
    const int fd =
        ::open(n.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return errno == EEXIST ? KindOf(path) == EntryKind::Regular : Fail(errno);
    const bool ok = ::fchmod(fd, 0600) == 0 || Fail(errno); // whatever the umask
    Posix::Close(fd);
    return ok;
}

bool MakePrivate(const QString& path) {
    const int fd =
        ::open(EncodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(errno);
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 || Fail(errno);
    if (ok && !S_ISREG(st.st_mode)) ok = FailNotRegular();
    if (ok && (st.st_mode & 077) != 0) ok = ::fchmod(fd, st.st_mode & 07700) == 0 || Fail(errno);
    Posix::Close(fd);
    return ok;
}

bool Folder::Owner(uint* owner) const {
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) return false;
    *owner = st.st_uid;
    return true;
}

bool Folder::Has(const QString& name) const {
    const QByteArray n = EncodeName(name);
    struct stat st;
    return m_fd >= 0 && PlainName(n) &&
           ::fstatat(m_fd, n.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool Folder::Remove(const QString& name) const {
    const QByteArray n = EncodeName(name);
    if (m_fd < 0 || !PlainName(n)) return Fail(EINVAL);
    return ::unlinkat(m_fd, n.constData(), 0) == 0 || Fail(errno);
}

uint Folder::Owner() const {
    struct stat st;
    return m_fd >= 0 && ::fstat(m_fd, &st) == 0 ? uint(st.st_uid) : uint(-1);
}

QStringList Folder::Folders() const {
    QStringList names;
    const int fd = m_fd < 0 ? -1 : ::dup(m_fd);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        if (fd >= 0) ::close(fd);
        return names;
    }
    ::rewinddir(dir);
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray n(e->d_name);
        if (e->d_type == DT_DIR && PlainName(n)) names << DecodeName(n);
    }
    ::closedir(dir);
    return names;
}

} // namespace Platform
