#include "platform/countedcopy.h"

#include <QCryptographicHash>
#include <QFile>

namespace Platform {

QString CountedCopiesFolder() {
    const QString set = qEnvironmentVariable("QORVMOND_PRINTED");
    return set.isEmpty() ? QStringLiteral(QORVMOND_PRINTED_DIR) : set;
}

QString CountedCopyName(int id, int number, const QByteArray& sha256Hex) {
    return QStringLiteral("%1/%2-%3.ps").arg(id).arg(number).arg(QLatin1String(sha256Hex));
}

QByteArray FileSha256(const QString& path) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) return {};
    return hash.result().toHex();
}

} // namespace Platform
