#include "platform/countedcopy.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace Platform {

QString CountedCopiesFolder() {
    const QString set = qEnvironmentVariable("QORVMOND_PRINTED");
    return set.isEmpty() ? QStringLiteral(QORVMOND_PRINTED_DIR) : set;
}

QString CountedCopyName(int id, int number, const QByteArray& sha256Hex) {
    return QStringLiteral("%1/%2-%3.ps").arg(id).arg(number).arg(QLatin1String(sha256Hex));
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
    const QFileInfo info(root);
    if (!MakeFolder(root) || info.isSymLink()) {
        *why = root + QStringLiteral(" is not a folder and cannot be made");
        return false;
    }
    QFileInfo made(root);
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

} // namespace Platform
