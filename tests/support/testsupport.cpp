#include "testsupport.h"

#include "common/environment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

MessageRecorder::MessageRecorder() {
    Platform::SetMessageHandler([this](const Platform::Message& m) {
        m_messages << m;
        if (!m_answers.isEmpty())
            return m_answers.takeFirst();
        return Platform::DefaultAnswer(m);
    });
}

MessageRecorder::~MessageRecorder() { Platform::SetMessageHandler({}); }

QStringList MessageRecorder::Texts() const {
    QStringList out;
    for (const auto& m : m_messages)
        out << m.text;
    return out;
}

QString MessageRecorder::Joined() const {
    return Texts().join(QLatin1Char('#')).replace(QLatin1Char('\r'), QLatin1Char('|'));
}

Sandbox::Sandbox() {
    const QString root = m_dir.path();
    qputenv("QORVLOG_REGISTRY", (root + QStringLiteral("/registry.ini")).toUtf8());
    qputenv("QORVLOG_MOUNTS", (root + QStringLiteral("/mounts")).toUtf8());
    qputenv("QORVLOG_SMBCONF", (root + QStringLiteral("/smb.conf")).toUtf8());
    qputenv("HOME", (root + QStringLiteral("/home")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/home/.config")).toUtf8());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/home/.local/share")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", (root + QStringLiteral("/run")).toUtf8());
    qunsetenv("QORVLOG_MESSAGES");
    QDir().mkpath(root + QStringLiteral("/home/.config"));
    QDir().mkpath(root + QStringLiteral("/home/.local/share"));
    QDir().mkpath(root + QStringLiteral("/run"));
    ResetEnvironment();
}

QString Sandbox::Path(const QString& relative) const {
    return relative.isEmpty() ? m_dir.path() : m_dir.path() + QLatin1Char('/') + relative;
}

QString Sandbox::Write(const QString& relative, const QByteArray& bytes) const {
    const QString p = Path(relative);
    QDir().mkpath(QFileInfo(p).absolutePath());
    QFile f(p);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
    return p;
}

QString Sandbox::WriteLines(const QString& relative, const QStringList& lines) const {
    QByteArray bytes;
    for (const QString& l : lines)
        bytes += l.toUtf8() + "\r\n";
    return Write(relative, bytes);
}

QByteArray Sandbox::Read(const QString& relative) const {
    QFile f(Path(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void ResetEnvironment() { gEnv = CEnvironment(); }
