#include "platform/countedcopy.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Platform {

QString CountedCopiesFolder() {
    const QString set = qEnvironmentVariable("QORVMOND_PRINTED");
    return set.isEmpty() ? QStringLiteral(QORVMOND_PRINTED_DIR) : set;
}

QString CountedCopyName(int id, int number, const QByteArray& sha256Hex) {
    return QStringLiteral("%1/%2-%3.pdf").arg(id).arg(number).arg(QLatin1String(sha256Hex));
}

namespace {
QString JobFolder(int id) {
    return CountedCopiesFolder() + QLatin1Char('/') + QString::number(id);
}

// Others pass through to a copy they can name; only the owner lists or writes.
constexpr QFile::Permissions kPassOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                         QFile::ReadUser | QFile::WriteUser | QFile::ExeUser |
                                         QFile::ExeGroup | QFile::ExeOther;

bool MakeFolder(const QString& path) {
    // Its mode whatever the umask (the service's is 077).
    if (QDir().mkdir(path)) return QFile::setPermissions(path, kPassOnly);
    return QFileInfo(path).isDir();
}
} // namespace

bool PrepareCountedCopies(QString* why) {
    const QString root = CountedCopiesFolder();
    const QFileInfo made(root);
    if (!MakeFolder(root) || made.isSymLink()) {
        *why = root + QStringLiteral(" is not a folder and cannot be made");
        return false;
    }
    if (made.ownerId() != ::geteuid() ||
        (made.permissions() & (QFile::WriteGroup | QFile::WriteOther))) {
        *why = root + QStringLiteral(" is not the monitor's own, or others may write in it");
        return false;
    }
    return true;
}

bool KeepCountedCopies(int id) {
    return MakeFolder(JobFolder(id));
}

QString CountedCopyPath(int id, int number, const QByteArray& sha256Hex) {
    return CountedCopiesFolder() + QLatin1Char('/') + CountedCopyName(id, number, sha256Hex);
}

bool CountedCopiesKept(int id) {
    return QFileInfo(JobFolder(id)).isDir();
}

void RemoveCountedCopies(int id) {
    QDir(JobFolder(id)).removeRecursively();
}

QList<int> CountedCopiesJobs() {
    QList<int> ids;
    for (const QString& name :
         QDir(CountedCopiesFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const int id = name.toInt(&ok);
        if (ok && id > 0) ids << id;
    }
    return ids;
}

QByteArray FileSha256(const QString& path) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) return {};
    return hash.result().toHex();
}

namespace {

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// Through a fixed buffer: a document may be larger than memory.
bool Stream(int in, int out) {
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n == 0;
        if (!WriteAll(out, buffer, size_t(n))) return false;
    }
}

// The scheduler shows the line to the job's owner and aborts the job.
int Refuse(const QString& why) {
    const QByteArray line = "ERROR: " + why.toUtf8() + " it does not print\n";
    WriteAll(STDERR_FILENO, line.constData(), size_t(line.size()));
    return 1;
}

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

enum class Found { Trusted, Missing, Untrusted, Unreadable };

// Opens name below at without following a link (O_PATH for folders: the filter may pass
// through a folder it cannot list). Trusted when it is a folder (or, for the copy, a regular
// file) that only *owner writes; the first folder sets *owner.
Found OpenTrusted(int at, const QByteArray& name, bool folder, uid_t* owner, int* fd) {
    const int flags = folder ? O_PATH | O_DIRECTORY : O_RDONLY | O_NOCTTY;
    *fd = ::openat(at, name.constData(), flags | O_NOFOLLOW | O_CLOEXEC);
    if (*fd < 0)
        return errno == ENOENT                      ? Found::Missing
               : errno == ELOOP || errno == ENOTDIR ? Found::Untrusted
                                                    : Found::Unreadable;
    struct stat st {};
    if (::fstat(*fd, &st) != 0) return Found::Unreadable;
    if (*owner == uid_t(-1)) *owner = st.st_uid;
    const bool kind = folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
    const bool others = folder && (st.st_mode & (S_IWGRP | S_IWOTH));
    return kind && !others && st.st_uid == *owner ? Found::Trusted : Found::Untrusted;
}

} // namespace

int RunCountedFilter(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN); // a reader gone shows as a failed write
    if (argc == 6) {
        // Made by an earlier filter: from another type (PDF, text), or a PostScript document
        // sent compressed in transit (IPP compression) and unpacked by the scheduler's filter
        // first, whose spooled bytes this filter cannot see to find its copy.
        if (qEnvironmentVariable("CONTENT_TYPE") == QLatin1String("application/postscript"))
            return Refuse(QStringLiteral("this PostScript document was sent packed, so qorvmond "
                                         "cannot tell its counted copy:"));
        return Stream(STDIN_FILENO, STDOUT_FILENO) ? 0 : 1;
    }
    if (argc != 7)
        return Refuse(QStringLiteral("qorvmond-counted takes job-id user title copies options "
                                     "[file]:"));
    // The scheduler spools document number N of job J as "dJJJJJ-NNN".
    const QString document = QString::fromLocal8Bit(argv[6]);
    static const QRegularExpression spooled(QStringLiteral("^d(\\d{1,9})-(\\d{1,9})$"));
    const auto m = spooled.match(QFileInfo(document).fileName());
    bool idOk = false;
    const int id = QByteArray(argv[1]).toInt(&idOk);
    const int number = m.hasMatch() ? m.captured(2).toInt() : 0;
    if (!m.hasMatch() || number < 1)
        return Refuse(QStringLiteral("the document's name %1 does not say which document of "
                                     "which job it is:")
                          .arg(document));
    if (!idOk || m.captured(1).toInt() != id)
        return Refuse(QStringLiteral("the document %1 is not one of job %2:")
                          .arg(document, QString::fromLocal8Bit(argv[1])));
    const QByteArray hash = FileSha256(document);
    if (hash.isEmpty())
        return Refuse(QStringLiteral("the document %1 cannot be read:").arg(document));

    const QString folder = CountedCopiesFolder();
    const QString name = CountedCopyName(id, number, hash);
    const QByteArray steps[] = {QFile::encodeName(folder),
                                QFile::encodeName(name.section(u'/', 0, 0)),
                                QFile::encodeName(name.section(u'/', 1))};
    uid_t owner = uid_t(-1);
    int at = AT_FDCWD;
    std::optional<Fd> held[3];
    for (int i = 0; i < 3; ++i) {
        int fd = -1;
        const Found found = OpenTrusted(at, steps[i], i < 2, &owner, &fd);
        const int error = errno;
        held[i].emplace(fd);
        if (found == Found::Missing)
            return Refuse(QStringLiteral("qorvmond kept no counted copy of this document:"));
        if (found == Found::Untrusted)
            return Refuse(
                i < 2 ? QStringLiteral("the folder of qorvmond's counted copies %1 is "
                                       "not qorvmond's alone:")
                            .arg(i == 0 ? folder : folder + u'/' + QString::fromLocal8Bit(steps[1]))
                      : QStringLiteral("the counted copy of this document is not "
                                       "qorvmond's:"));
        if (found == Found::Unreadable)
            return Refuse(QStringLiteral("qorvmond's counted copy of this document cannot be "
                                         "opened (%1):")
                              .arg(QString::fromLocal8Bit(std::strerror(error))));
        at = fd;
    }
    // The copy is the document's marks as PDF: written out as PostScript for the filters after
    // this one, by an interpreter that reads the very file opened here.
    const QByteArray opened = "/proc/self/fd/" + QByteArray::number(at);
    QList<QByteArray> args{
        "gs",      "-q",        "-dSAFER",          "--permit-file-read=" + opened,
        "-dBATCH", "-dNOPAUSE", "-sDEVICE=ps2write"};
    for (const QString& option : RewriteOptions()) args << option.toUtf8();
    args << "-sOutputFile=-"
         << "-sstdout=%stderr"
         << "-f" << opened;
    std::vector<char*> argv2;
    for (QByteArray& a : args) argv2.push_back(a.data());
    argv2.push_back(nullptr);
    if (::fcntl(at, F_SETFD, 0) == 0) ::execvp("gs", argv2.data());
    return Refuse(QStringLiteral("ghostscript (gs), which writes out qorvmond's counted copy of "
                                 "this document, cannot be run (%1):")
                      .arg(QString::fromLocal8Bit(std::strerror(errno))));
}

QStringList RewriteOptions() {
    return {QStringLiteral("-dAutoRotatePages=/None"),
            QStringLiteral("-dDownsampleColorImages=false"),
            QStringLiteral("-dDownsampleGrayImages=false"),
            QStringLiteral("-dDownsampleMonoImages=false")};
}

} // namespace Platform
