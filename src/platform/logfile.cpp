#include "platform/logfile.h"

#include "platform/files.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <sys/stat.h>

namespace Platform {

bool AppendLogLine(const QString& path, const QString& line, qint64 maxBytes) {
    if (path.isEmpty() || QDir::isRelativePath(path)) return false;
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::stat(native.constData(), &st) == 0 && st.st_size >= maxBytes)
        std::rename(native.constData(),
                    QFile::encodeName(path + QStringLiteral(".old")).constData());
    return WriteLine(path, line, false);
}

} // namespace Platform
