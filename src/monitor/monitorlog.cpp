#include "monitor/monitorlog.h"

#include "common/bcommon.h"

#include <cstdio>

namespace monitor {
void Log(const QString& level, const QString& text) {
    WriteLog(level, text, true);
    const QByteArray line = "qorvmond: " + text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

void LogUnwritten(const Platform::Folder& folder, const QString& name) {
    Log(QStringLiteral("E"), QStringLiteral("Unable to write ") + folder.Path() + QLatin1Char('/') +
                                 name + QStringLiteral(": ") + Platform::LastFileError().text);
}

QString JobText(const CQorvMonitor::CTrackedJob& t) {
    return QStringLiteral("job %1 on %2 for %3").arg(t.id).arg(t.queue, t.user);
}
} // namespace monitor
