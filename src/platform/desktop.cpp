#include "platform/desktop.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace Platform {

bool OpenDocument(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isFile()) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace Platform
