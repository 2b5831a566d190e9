#pragma once
// Queries about this machine, this user and this process.
#include <QList>
#include <QString>

namespace Platform {

QString ComputerName(); // short host name, at most 15 characters
QString LoginName();    // login name of the process's user

struct Account {
    QString name;
    uint uid = 0;
    uint gid = 0;
};
// The account of a user name: from the passwd-format file $QORVLOG_PASSWD when that is set,
// else from the system's accounts. False when there is none.
bool FindAccount(const QString& name, Account* out);
// Whether the account belongs to the group: as its primary group or as a listed member.
bool InGroup(const Account& account, const QString& group);
// This process's account: its effective uid and gid, and its name as FindAccount knows it.
Account ProcessAccount();
QString OSVersion(); // "Linux " and the kernel's major.minor, empty when unknown
// true on a system that the old-system rules apply to; never on Linux
bool IsOldSystem();
QString HostName();         // full host name
QString IPAddress();        // first IPv4 address of the host name, dotted decimal, or ""
QString ProfileFolder();    // $HOME
QString LocalDataFolder();  // $XDG_DATA_HOME, else ~/.local/share
QString RecentFolder();     // stands in for the shell's Recent folder
QString SystemDirectory();  // stands in for the Windows system directory
QString RuntimeFolder();    // $XDG_RUNTIME_DIR, else the temp folder
QString ExecutableName();   // lower case, without folder and ".exe"
QString ExecutableFolder(); // folder of the running program
quint32 TickCount();        // milliseconds since boot (wraps)
bool StandardErrorIsTerminal();

struct NetworkMount {
    QString mountPoint; // local folder where the share appears
    QString remoteName; // //server/share
    QString type;
};
// Network mounts of this process (/proc/self/mounts, or $QORVLOG_MOUNTS for tests).
QList<NetworkMount> NetworkMounts();
QList<NetworkMount> ParseMounts(const QByteArray& text);
// A path that starts with "//" or lies on a network mount.
bool IsNetworkPath(const QString& path);
// Local folder of a share exported by this machine (the share's "path =" in the Samba
// configuration, $QORVLOG_SMBCONF or /etc/samba/smb.conf), or "".
QString ShareLocalPath(const QString& share);

} // namespace Platform
