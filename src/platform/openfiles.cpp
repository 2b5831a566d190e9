#include "platform/openfiles.h"

#include "platform/clock.h"
#include "platform/lines.h"
#include "platform/system.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

namespace Platform {

namespace {
OpenFilesDouble& Double() {
    static OpenFilesDouble stand;
    return stand;
}

bool IsThisMachine(const QString& server) {
    if (server.isEmpty()) return true;
    for (const QString& name :
         {ComputerName(), HostName(), QStringLiteral("localhost"), QStringLiteral("127.0.0.1")})
        if (!name.isEmpty() && server.compare(name, Qt::CaseInsensitive) == 0) return true;
    return false;
}

// Runs a tool and hands back its output, waiting inside a nested event loop: windows and
// timers keep running, and a tool that does not finish within waitMs is killed.
bool RunTool(const QString& tool, const QStringList& args, int waitMs, QByteArray* out) {
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty() || waitMs <= 0 || !QCoreApplication::instance()) return false;
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice()); // never a password prompt
    process.setStandardErrorFile(QProcess::nullDevice());
    QEventLoop loop;
    bool ended = false;
    QObject::connect(&process, &QProcess::finished, &loop, [&] {
        ended = true;
        loop.quit();
    });
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;
        ended = true;
        loop.quit();
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    process.start(program, args);
    limit.start(waitMs);
    if (!ended && process.error() != QProcess::FailedToStart) loop.exec();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        // The kill ends it at once; the short wait only reaps it.
        QTimer reap;
        reap.setSingleShot(true);
        QObject::connect(&reap, &QTimer::timeout, &loop, &QEventLoop::quit);
        reap.start(500);
        if (process.state() != QProcess::NotRunning) loop.exec();
        return false;
    }
    if (!ended || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return false;
    *out = process.readAllStandardOutput();
    return true;
}
} // namespace

OpenFiles ListOpenFiles(const QString& server, const QString& user, int waitMs) {
    if (waitMs <= 0) return {};
    if (const OpenFilesDouble& stand = Double()) {
        const OpenFilesAnswer answer = stand(server, user, waitMs);
        if (answer.delayMs > waitMs) {
            Pause(waitMs);
            return {};
        }
        Pause(answer.delayMs);
        return answer.result;
    }
    QByteArray out;
    if (IsThisMachine(server)) {
        QStringList args{QStringLiteral("-L"), QStringLiteral("--json")};
        if (!user.isEmpty()) args << QStringLiteral("-u") << user;
        return RunTool(QStringLiteral("smbstatus"), args, waitMs, &out) ? ParseSmbStatusJson(out)
                                                                        : OpenFiles{};
    }
    QStringList args{QStringLiteral("rpc"), QStringLiteral("file")};
    if (!user.isEmpty()) args << QStringLiteral("user") << user;
    args << QStringLiteral("-S") << server << QStringLiteral("--use-kerberos=required")
         << QStringLiteral("-N");
    return RunTool(QStringLiteral("net"), args, waitMs, &out) ? ParseNetFileList(out) : OpenFiles{};
}

void SetOpenFilesDouble(OpenFilesDouble stand) {
    Double() = std::move(stand);
}

OpenFiles ParseNetFileList(const QByteArray& text) {
    // After the header, one line per file: id, user (at most 20 characters, padded), "0x"
    // and the permissions, the lock count, and the path, which may hold blanks.
    static const QRegularExpression row(
        QStringLiteral("^\\s*\\d+\\s+(.*?)\\s+0x[0-9A-Fa-f]+\\s+\\d+\\s+(.*?)\\s*$"));
    OpenFiles result;
    bool header = false;
    ForEachLine(QByteArrayView(text), [&](QByteArrayView raw) {
        const QString line = QString::fromUtf8(raw);
        if (!header) {
            header = line.trimmed().startsWith(QLatin1String("------"));
            return true;
        }
        if (const QRegularExpressionMatch m = row.match(line); m.hasMatch())
            result.files << OpenFile{m.captured(2), m.captured(1)};
        return true;
    });
    result.ok = header;
    if (!header) result.files.clear();
    return result;
}

OpenFiles ParseSmbStatusJson(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return {};
    OpenFiles result;
    result.ok = true;
    // "open_files" is keyed by the file's full path; "opens" holds who opened it.
    const QJsonObject files = doc.object().value(QLatin1String("open_files")).toObject();
    for (auto it = files.begin(); it != files.end(); ++it) {
        const QJsonObject opens = it.value().toObject().value(QLatin1String("opens")).toObject();
        QString user;
        if (!opens.isEmpty()) {
            const QJsonObject first = opens.begin().value().toObject();
            user = first.value(QLatin1String("username")).toString();
            if (user.isEmpty() && first.contains(QLatin1String("uid")))
                user = QString::number(first.value(QLatin1String("uid")).toInteger());
        }
        result.files << OpenFile{it.key(), user};
    }
    return result;
}

} // namespace Platform
