// Files as the system holds them: names kept byte for byte, wildcards, appends, replacements,
// mounts, the one-instance lock and a server's open files (full disks, links, FIFOs: elsewhere).
#include "platform/files.h"
#include "platform/openfiles.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/watcher.h"
#include "testsupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSysInfo>
#include <QTest>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
const QByteArray kNet = "\nEnumerating open files on remote server:\n\n\n"
                        "FileId  Opened by            Perms  Locks  Path\n"
                        "  ------  ---------          -----  -----  ---- \n";
const QByteArray kNetFiles =
    "1234    jsmith               0x03   0      C:\\srv\\Plan.dwg\n"
    "77      CORP\\jsmith          0x1    2      D:\\S\\Acme 4711\\P v2.dwg\n";
const QByteArray kStatus =
    "{\"version\":\"4.17.12\",\"open_files\":{"
    "\"/srv/share/docs/Plan.dwg\":{\"service_path\":\"/srv/share\",\"filename\":\"docs/Plan.dwg\","
    "\"opens\":{\"1234/5\":{\"uid\":1000,\"username\":\"jsmith\"}}},"
    "\"/srv/share/x.doc\":{\"opens\":{\"99/1\":{\"uid\":1001}}}}}";
} // namespace

class TestFiles : public QObject {
    Q_OBJECT
    std::optional<Sandbox> box;

private Q_SLOTS:
    void init() { box.emplace(); }
    void cleanup() { box.reset(); }
    // The file system's bytes in hex and the name they stand for, "<xx>" a byte that is not
    // UTF-8, kept as a lone low surrogate.
    void nameCodec_data() {
        Table("native name",
              {"ascii edge¦617f¦a\x7f", "two bytes¦636166c3a9¦caf\u00e9",
               "lowest two-byte lead¦c280¦\u0080", "three bytes¦e282ac¦\u20ac",
               "four bytes, highest¦f48fbfbf¦\U0010FFFF",
               "latin-1 byte¦636166e92e707274¦caf<e9>.prt", "lone continuation¦80¦<80>",
               "overlong lead c1¦c1bf¦<c1><bf>", "overlong three¦e09fbf¦<e0><9f><bf>",
               "encoded surrogate¦edb280¦<ed><b2><80>", "past U+10FFFF¦f4908080¦<f4><90><80><80>",
               "lead f5¦f580¦<f5><80>", "cut at the end¦78e282¦x<e2><82>",
               "escape then valid¦ffc3a9¦<ff>\u00e9"});
    }
    void nameCodec() {
        QFETCH(QString, native);
        QFETCH(QString, name);
        const QByteArray bytes = QByteArray::fromHex(native.toLatin1());
        for (qsizetype at; (at = name.indexOf(u'<')) >= 0;)
            name.replace(at, 4, QChar(char16_t(0xDC00 + name.mid(at + 1, 2).toInt(nullptr, 16))));
        QCOMPARE(Platform::DecodeName(bytes), name);
        QCOMPARE(Platform::EncodeName(name), bytes);
    }
    // A name that is not UTF-8 is replaced, copied, moved and removed under its bytes (listed,
    // read and answered: tst_getprintjobs' odd job files).
    void nonUtf8NameRoundTrips() {
        QVERIFY(box->WriteNative("caf\xe9.prt", "job\r\n"));
        const QString path = box->Path(Platform::DecodeName("caf\xe9.prt")), base = path.chopped(3);
        QVERIFY(Platform::ModifiedNs(path) > 0);
        QVERIFY(Platform::WriteLine(base + u"dat"_s, u"cancel"_s, true));
        QVERIFY(Platform::CopyFileKeepTime(path, base + u"bak"_s));
        QVERIFY(Platform::MakeDir(base + u"d"_s));
        QVERIFY(Platform::MoveFile(base + u"bak"_s, base + u"d/x"_s));
        QVERIFY(Platform::RemoveFile(path));
        QCOMPARE(box->ReadNative("caf\xe9.dat") + box->ReadNative("caf\xe9.d/x") +
                     box->ReadNative("caf\xe9.prt"),
                 QByteArray("cancel\r\njob\r\n<missing>"));
    }
    // Windows wildcard rules.
    void wildcards_data() {
        Table("name pattern match",
              {"ext¦a.prt¦*.PRT¦1", "other ext¦a.prt.bak¦*.prt¦0",
               "no ext, star dot star¦noext¦*.*¦1", "no ext, x.*¦x¦x.*¦1", "x.* with ext¦x.y¦x.*¦1",
               "question¦ab¦a?¦1", "question too few¦a¦a?¦0", "question too many¦abc¦a?¦0",
               "star backtracks¦abcbd¦a*bd¦1", "stars¦a.b.c¦*.*.*¦1", "star at end¦abc¦ab*¦1",
               "no match¦abc¦abd¦0", "empty name¦¦*¦1", "star dot¦abc¦*.¦0"});
    }
    void wildcards() {
        QFETCH(QString, name);
        QFETCH(QString, pattern);
        QFETCH(QString, match);
        QCOMPARE(Platform::MatchWildcard(name, pattern), match == u"1"_s);
        QCOMPARE(Platform::HasWildcard(pattern), pattern.contains(u'*') || pattern.contains(u'?'));
    }
    // The monitor shares the ".shd" file: it keeps its inode and owner, and what the monitor
    // writes meanwhile, through a handle it keeps open, stays. A replaced file keeps its mode.
    void appendsAndReplacements() {
        const QString path = box->Write(u"x.shd"_s, "monitor 1\r\n");
        const QByteArray native = QFile::encodeName(path);
        if (::geteuid() == 0) QCOMPARE(::chown(native.constData(), 65534, 65534), 0);
        struct stat before, after;
        QCOMPARE(::stat(native.constData(), &before), 0);
        QFile monitor(path);
        QVERIFY(monitor.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered));
        QVERIFY(Platform::WriteLine(path, u"10.0.0.7"_s, false));
        QCOMPARE(monitor.write("monitor 2\r\n"), 11);
        QVERIFY(Platform::WriteLine(path, u"cancel"_s, false));
        QCOMPARE(::stat(native.constData(), &after), 0);
        QVERIFY(after.st_ino == before.st_ino && after.st_uid == before.st_uid);
        QCOMPARE(box->Read(u"x.shd"_s),
                 QByteArray("monitor 1\r\n10.0.0.7\r\nmonitor 2\r\ncancel\r\n"));
        const QString pas = box->Write(u"x.pas"_s, "old");
        QVERIFY(::chmod(QFile::encodeName(pas).constData(), 0640) == 0);
        QVERIFY(Platform::SaveFileAtomic(pas, "new"));
        QCOMPARE(::stat(QFile::encodeName(pas).constData(), &after), 0);
        QCOMPARE(after.st_mode & 07777, 0640u); // readers of the old file keep their access
        QVERIFY(TouchFile(pas, -7200));
        QVERIFY(Platform::CopyFileKeepTime(pas, box->Path(u"copy"_s)));
        QCOMPARE(Platform::ModifiedNs(box->Path(u"copy"_s)), Platform::ModifiedNs(pas));
        QVERIFY(Platform::MakePath(box->Path(u"a/b/c/"_s)) &&
                QFileInfo(box->Path(u"a/b/c"_s)).isDir());
        QVERIFY(!Platform::MakePath(box->Path(u"x.pas/d"_s)));
        QVERIFY(!Platform::SaveFileAtomic(box->Path(u"a/"_s), "x"));
        QCOMPARE(Listing(box->Path()).split(u'\n').filter(u"copy"_s), QStringList{u"copy = new"_s});
    }
    // Network mounts as /proc/self/mounts lists them; the remote name is //server/share.
    void mounts() {
        const QByteArray table = "//srv/share /mnt/a cifs rw 0 0\n"
                                 "//srv/s3/ /mnt/b smb3 rw 0 0\n"
                                 "//old/x /mnt/c smbfs rw 0 0\n"
                                 "nfs1:/export/data /mnt/my\\040data nfs rw 0 0\n"
                                 "nfs2:home /mnt/e nfs4 rw 0 0\n"
                                 "user@host:/ /mnt/f fuse.sshfs rw 0 0\n"
                                 "\\\\win\\share /mnt/g cifs rw 0 0\n"
                                 "/dev/sda1 / ext4 rw 0 0\nshort line\n";
        QStringList got;
        for (const Platform::NetworkMount& m : Platform::ParseMounts(table))
            got << m.remoteName + u" @ "_s + m.mountPoint + u" "_s + m.type;
        QCOMPARE(got, QStringList(
                          {u"//srv/share @ /mnt/a cifs"_s, u"//srv/s3 @ /mnt/b smb3"_s,
                           u"//old/x @ /mnt/c smbfs"_s, u"//nfs1/export/data @ /mnt/my data nfs"_s,
                           u"//nfs2/home @ /mnt/e nfs4"_s, u"//user@host @ /mnt/f fuse.sshfs"_s,
                           u"//win/share @ /mnt/g cifs"_s}));
        box->Write(u"mounts"_s, table);
        QStringList network;
        for (const char* p : {"//x/y", "/mnt/a", "/mnt/a/users", "/mnt/ab", "/mnt", "/srv/a"})
            if (Platform::IsNetworkPath(QString::fromLatin1(p))) network << QString::fromLatin1(p);
        QCOMPARE(network, QStringList({u"//x/y"_s, u"/mnt/a"_s, u"/mnt/a/users"_s}));
    }
    // A folder handle keeps to the folder it opened: the folder renamed and a link put in its
    // place, writes, reads and removals still go to the original; a link is never opened.
    void folderHandle() {
        box->Write(u"data/users/bob/a.dat"_s, "mine\r\n");
        box->Write(u"elsewhere/a.dat"_s, "planted\r\n");
        const Platform::Folder data = Platform::Folder::Open(box->Path(u"data"_s));
        const Platform::FolderLayout own{-1, -1, 02770};
        const Platform::Folder bob = data.Child(u"users"_s).Child(u"bob"_s, &own);
        QVERIFY(bob.IsOpen());
        QVERIFY(QDir().rename(box->Path(u"data/users/bob"_s), box->Path(u"data/users/old"_s)));
        QVERIFY(QFile::link(box->Path(u"elsewhere"_s), box->Path(u"data/users/bob"_s)));
        QVERIFY(bob.Save(u"b.prt"_s, "job\r\n", 0640));
        QByteArray read;
        uint owner = 1;
        QVERIFY(bob.Read(u"a.dat"_s, -1, &read, &owner));
        QVERIFY(bob.Remove(u"a.dat"_s));
        struct stat st;
        QCOMPARE(::stat(box->Path(u"data/users/old/b.prt"_s).toUtf8().constData(), &st), 0);
        QCOMPARE((QList<uint>{st.st_mode & 07777, owner}), (QList<uint>{0640, ::geteuid()}));
        QCOMPARE(read, "mine\r\n");
        QCOMPARE(QDir(box->Path(u"elsewhere"_s)).entryList(QDir::Files), QStringList{u"a.dat"_s});
        QCOMPARE(QFileInfo(box->Path(u"data/users/old"_s)).permissions() & QFile::WriteGroup,
                 QFile::WriteGroup);
        // Through the handle, the link itself is neither a folder nor a file.
        const Platform::Folder users = data.Child(u"users"_s);
        QVERIFY(!users.Child(u"bob"_s).IsOpen());
        QVERIFY(!users.Child(u"bob"_s, &own).IsOpen());
        QVERIFY(!users.Read(u"bob"_s, -1, &read, &owner));
        QVERIFY(!users.Save(u"../x"_s, "x", 0600));
        QCOMPARE(users.Folders(), QStringList{u"old"_s});
    }
    // A watch for some names: other files' changes (the client's own answers) are not seen,
    // the named files' and the folder's own are.
    void watchNamed() {
        Platform::FolderWatch watch;
        QVERIFY(QDir().mkpath(box->Path(u"f"_s)));
        QVERIFY(watch.Create(box->Path(u"f"_s), u"*.prt"_s));
        QString seen;
        for (const QString& name :
             {u"a.dat"_s, u".a.dat.tmp"_s, u"a.shd"_s, u"A.PRT"_s, u"a.dat"_s}) {
            box->Write(u"f/"_s + name, "x");
            seen += watch.TakeChange() ? u'y' : u'n';
        }
        QVERIFY(QDir(box->Path(u"f"_s)).removeRecursively());
        QCOMPARE(seen + (watch.TakeChange() ? u'y' : u'n'), u"nnnyny"_s);
    }
    // The one-instance lock: only a live holder means "running"; a runtime folder that cannot
    // hold the lock, or belongs to another user, gives way to the fallback folder.
    void instanceLock_data() {
        Table("runtime fallback result lockIn",
              {"own runtime folder¦run¦local¦0¦run", "runtime is a file¦file¦local¦0¦local",
               "runtime of another user¦foreign¦local¦0¦local",
               "stale lock of a dead process¦stale¦local¦0¦run", "nowhere¦file¦file/Qorvex¦2¦"});
    }
    void instanceLock() {
        QFETCH(QString, runtime);
        QFETCH(QString, fallback);
        QFETCH(QString, result);
        QFETCH(QString, lockIn);
        // The lock held last is given up at exit: its folders outlive every row's sandbox.
        static Sandbox locks;
        const QString root = QString::fromUtf8(QTest::currentDataTag()) + u"/"_s;
        const QString name = u"/tst-"_s + Platform::LoginName() + u".lock"_s;
        locks.Write(root + u"file"_s, "x");
        QDir().mkpath(locks.Path(root + u"local"_s));
        QDir().mkpath(locks.Path(root + u"run"_s));
        const QString folder = locks.Path(root + (runtime == u"file"_s ? runtime : u"run"_s));
        if (runtime == u"stale"_s)
            locks.Write(root + u"run"_s + name,
                        "2147483646\ntst\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        if (runtime == u"foreign"_s && ::chown(QFile::encodeName(folder).constData(), 65534, 65534))
            QSKIP("giving a folder away needs root");
        qputenv("XDG_RUNTIME_DIR", folder.toUtf8());
        const QString fallbackFolder = locks.Path(root + fallback);
        QCOMPARE(int(Platform::AcquireInstanceLock(u"tst"_s, fallbackFolder)), result.toInt());
        if (!lockIn.isEmpty()) {
            QVERIFY(QFile::exists(locks.Path(root + lockIn + name)));
            // Held by this live process now: a second start sees it running.
            QCOMPARE(Platform::AcquireInstanceLock(u"tst"_s, fallbackFolder),
                     Platform::InstanceLock::HeldByAnother);
        }
    }
    // Open files on a server through Samba's tools, played by stand-ins. This machine (no
    // server, or its own name: "LOCAL") is asked through smbstatus, others through net ("NET":
    // its arguments). The tool writes and ends as named; none: missing.
    void listOpenFiles_data() {
        Table("server user tool args files",
              {"net¦fs1¦jsmith¦net files¦NET¦ok | jsmith C:\\srv\\Plan.dwg | CORP\\jsmith "
               "D:\\S\\Acme 4711\\P v2.dwg",
               "net, nothing open¦fs1¦jsmith¦net¦NET¦ok",
               "net, no listing¦fs1¦jsmith¦refused¦NET¦failed",
               "net fails¦fs1¦jsmith¦net files, exit 1¦NET¦failed",
               "net missing¦fs1¦jsmith¦¦¦failed", "net hangs¦fs1¦jsmith¦hangs¦NET¦failed",
               "smbstatus, every user¦LOCAL¦¦status¦-L --json¦ok | jsmith "
               "/srv/share/docs/Plan.dwg | 1001 /srv/share/x.doc",
               "smbstatus, nothing open¦¦jsmith¦no status¦-L --json -u jsmith¦ok",
               "smbstatus, cut short¦¦¦status cut¦-L --json¦failed"});
    }
    void listOpenFiles() {
        QFETCH(QString, server);
        QFETCH(QString, user);
        QFETCH(QString, tool);
        QFETCH(QString, args);
        QFETCH(QString, files);
        auto echo = [](const QByteArray& out) { return "printf '%s' '" + out + "'\n"; };
        const QMap<QString, QByteArray> tools{
            {u"net"_s, echo(kNet)},
            {u"net files"_s, echo(kNet + kNetFiles)},
            {u"net files, exit 1"_s, echo(kNet + kNetFiles) + "exit 1"},
            {u"refused"_s, echo("Could not connect to server\n")},
            {u"hangs"_s, "exec /bin/sleep 20"},
            {u"status"_s, echo(kStatus)},
            {u"no status"_s, echo("{\"version\":\"4.17\"}")},
            {u"status cut"_s, echo(kStatus.left(60))}};
        if (server == u"LOCAL"_s) server = Platform::ComputerName().toUpper();
        args.replace(u"NET"_s, u"rpc file user jsmith -S fs1 --use-kerberos=required -N"_s);
        const QString name = server == u"fs1"_s ? u"net"_s : u"smbstatus"_s;
        if (!tool.isEmpty())
            QFile::setPermissions(box->Write(u"bin/"_s + name, "#!/bin/sh\necho \"$@\" > " +
                                                                   box->Path(u"args"_s).toUtf8() +
                                                                   "\n" + tools.value(tool)),
                                  QFile::ReadOwner | QFile::ExeOwner);
        const QDeadlineTimer bound(2500);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", box->Path(u"bin"_s).toUtf8()); // only the stand-ins are found
        const Platform::OpenFiles open = Platform::ListOpenFiles(server, user, 1000);
        qputenv("PATH", path);
        QVERIFY2(!bound.hasExpired(), "the wait is bounded");
        QStringList out{open.ok ? u"ok"_s : u"failed"_s};
        for (const Platform::OpenFile& f : open.files) out << f.user + u" "_s + f.path;
        QCOMPARE(out.join(u" | "_s), files);
        QCOMPARE(QString::fromUtf8(box->Read(u"args"_s)).trimmed(), args);
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
