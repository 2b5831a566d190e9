#include "platform/desktop.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QUrl>

namespace Platform {

bool OpenDocument(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isFile()) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool DisplayReachable() {
    QString socket;
    if (const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY"); !wayland.isEmpty()) {
        socket = wayland.startsWith(QLatin1Char('/'))
                     ? wayland
                     : qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1Char('/') + wayland;
    } else {
        // ":0", ":0.1", "unix:0": the local server's socket; a host name: remote, not looked at.
        static const QRegularExpression local(QStringLiteral("^(?:unix)?:(\\d+)(?:\\.\\d+)?$"));
        const QRegularExpressionMatch m = local.match(qEnvironmentVariable("DISPLAY"));
        if (!m.hasMatch()) return true;
        socket = QStringLiteral("/tmp/.X11-unix/X") + m.captured(1);
    }
    QLocalSocket probe;
    probe.connectToServer(socket);
    return probe.waitForConnected(2000);
}

} // namespace Platform
