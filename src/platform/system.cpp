#include "platform/system.h"

#include "platform/ini_document.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QSysInfo>

#include <ctime>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace Platform {

QString HostName() {
    return QSysInfo::machineHostName();
}

QString ComputerName() {
    QString name = HostName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    return name.left(15);
}

namespace {
// The account of a name, or (name empty) of uid, from the passwd-format file $QORVLOG_PASSWD
// when it is set, else from the system's account database.
bool LookUp(const QString& name, uint uid, Account* out) {
    const QString file = qEnvironmentVariable("QORVLOG_PASSWD");
    if (!file.isEmpty()) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) return false;
        while (!f.atEnd()) {
            const QList<QByteArray> fields = f.readLine().trimmed().split(':');
            bool uidOk = false, gidOk = false;
            if (fields.size() < 4) continue;
            const Account a{QString::fromUtf8(fields[0]), fields[2].toUInt(&uidOk),
                            fields[3].toUInt(&gidOk)};
            if (uidOk && gidOk && (name.isEmpty() ? a.uid == uid : a.name == name)) {
                *out = a;
                return true;
            }
        }
        return false;
    }
    passwd pw;
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    const QByteArray n = name.toLocal8Bit();
    const int error = name.isEmpty()
                          ? ::getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found)
                          : ::getpwnam_r(n.constData(), &pw, buffer.data(), buffer.size(), &found);
    if (error != 0 || !found) return false;
    *out = {QString::fromLocal8Bit(pw.pw_name), pw.pw_uid, pw.pw_gid};
    return true;
}
} // namespace

bool FindAccount(const QString& name, Account* out) {
    return !name.isEmpty() && LookUp(name, 0, out);
}

bool InGroup(const Account& account, const QString& group) {
    const QByteArray name = group.toUtf8(), user = account.name.toUtf8();
    const struct group* g = name.isEmpty() ? nullptr : ::getgrnam(name.constData());
    if (!g) return false;
    if (g->gr_gid == account.gid) return true;
    for (char** m = g->gr_mem; m && *m; ++m)
        if (user == *m) return true;
    return false;
}

Account ProcessAccount() {
    Account a;
    if (!LookUp(QString(), ::geteuid(), &a)) a.name = qEnvironmentVariable("USER");
    a.uid = ::geteuid();
    a.gid = ::getegid();
    return a;
}

QString LoginName() {
    return ProcessAccount().name;
}

QString OSVersion() {
    // Named, so that no rule written for an old Windows version number ("4.1") matches it.
    const QStringList parts = QSysInfo::kernelVersion().split(QLatin1Char('.'));
    if (parts.size() < 2) return {};
    QString minor = parts[1];
    qsizetype i = 0;
    while (i < minor.size() && minor[i].isDigit()) ++i;
    return QStringLiteral("Linux ") + parts[0] + QLatin1Char('.') + minor.left(i);
}

bool IsOldSystem() {
    return false;
}

QString IPAddress() {
    const QString host = HostName().trimmed();
    if (host.isEmpty()) return {};
    const QHostInfo info = QHostInfo::fromName(host);
    for (const QHostAddress& a : info.addresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol) return a.toString();
    return {};
}

QString ProfileFolder() {
    return QDir::homePath();
}

QString LocalDataFolder() {
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    return xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : xdg;
}

QString RecentFolder() {
    return LocalDataFolder() + QStringLiteral("/recently-used.xbel");
}

QString SystemDirectory() {
    return QStringLiteral("/usr/lib");
}

QString RuntimeFolder() {
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return xdg.isEmpty() ? QDir::tempPath() : xdg;
}

QString ExecutableName() {
    QString name;
    if (QCoreApplication::instance())
        name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    if (name.isEmpty())
        name = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).fileName();
    name = name.toLower();
    if (name.endsWith(QLatin1String(".exe"))) name.chop(4);
    return name;
}

QString ExecutableFolder() {
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

quint32 TickCount() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return quint32(quint64(ts.tv_sec) * 1000u + quint64(ts.tv_nsec) / 1000000u);
}

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

static QString UnescapeMount(const QByteArray& field) {
    // /proc/mounts writes blanks and tabs as octal escapes.
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int c = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += char(c);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return QString::fromLocal8Bit(out);
}

QList<NetworkMount> ParseMounts(const QByteArray& text) {
    static const QStringList kTypes = {QStringLiteral("cifs"),  QStringLiteral("smb3"),
                                       QStringLiteral("smbfs"), QStringLiteral("nfs"),
                                       QStringLiteral("nfs4"),  QStringLiteral("fuse.sshfs")};
    QList<NetworkMount> mounts;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 3) continue;
        const QString type = QString::fromLatin1(f[2]);
        if (!kTypes.contains(type)) continue;
        NetworkMount m;
        m.type = type;
        m.mountPoint = UnescapeMount(f[1]);
        QString source = UnescapeMount(f[0]);
        const qsizetype colon = source.indexOf(QLatin1Char(':'));
        if (!source.startsWith(QLatin1String("//")) && colon > 0) {
            // NFS "server:/path" is read as //server/path.
            QString rest = source.mid(colon + 1);
            if (!rest.startsWith(QLatin1Char('/'))) rest.prepend(QLatin1Char('/'));
            source = QStringLiteral("//") + source.left(colon) + rest;
        }
        source.replace(QLatin1Char('\\'), QLatin1Char('/'));
        while (source.size() > 2 && source.endsWith(QLatin1Char('/'))) source.chop(1);
        m.remoteName = source;
        mounts << m;
    }
    return mounts;
}

QList<NetworkMount> NetworkMounts() {
    QString path = qEnvironmentVariable("QORVLOG_MOUNTS");
    if (path.isEmpty()) path = QStringLiteral("/proc/self/mounts");
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    // /proc files report size 0: read until the end.
    return ParseMounts(f.readAll());
}

bool IsNetworkPath(const QString& path) {
    if (path.startsWith(QLatin1String("//"))) return true;
    for (const NetworkMount& m : NetworkMounts()) {
        const QString& mp = m.mountPoint;
        if (path.startsWith(mp) &&
            (path.size() == mp.size() || path[mp.size()] == QLatin1Char('/') ||
             mp.endsWith(QLatin1Char('/'))))
            return true;
    }
    return false;
}

QString ShareLocalPath(const QString& share) {
    QString conf = qEnvironmentVariable("QORVLOG_SMBCONF");
    if (conf.isEmpty()) conf = QStringLiteral("/etc/samba/smb.conf");
    auto doc = IniDocument::Open(conf);
    if (!doc) return {};
    const auto p = doc->Find(share, u"path");
    return p ? p->toString() : QString();
}

} // namespace Platform
