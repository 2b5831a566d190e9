// Files as the system holds them: names kept byte for byte, writes that either reach the disk
// whole or leave the old file, appends in place, links and FIFOs that are never followed into.
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QTest>

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}
const QString kNoSpace = QString::fromLocal8Bit(std::strerror(ENOSPC));
} // namespace

class TestFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void nameCodec_data() {
        QTest::addColumn<QByteArray>("native");
        QTest::addColumn<QString>("name");
        const auto esc = [](std::initializer_list<int> bytes) {
            QString s;
            for (int b : bytes) s += QChar(char16_t(0xDC00 + b));
            return s;
        };
        QTest::newRow("ascii edge") << QByteArray("a\x7f") << u"a\x7f"_s;
        QTest::newRow("two bytes") << QByteArray("caf\xc3\xa9") << u"café"_s;
        QTest::newRow("lowest two-byte lead") << QByteArray("\xc2\x80") << u"\u0080"_s;
        QTest::newRow("four bytes, highest")
            << QByteArray("\xf4\x8f\xbf\xbf") << QString::fromUcs4(U"\U0010FFFF", 1);
        QTest::newRow("latin-1 byte")
            << QByteArray("caf\xe9.prt") << u"caf"_s + esc({0xe9}) + u".prt"_s;
        QTest::newRow("lowest non-ascii byte alone") << QByteArray("\x80") << esc({0x80});
        QTest::newRow("overlong lead c1") << QByteArray("\xc1\xbf") << esc({0xc1, 0xbf});
        QTest::newRow("encoded surrogate") << QByteArray("\xed\xb2\x80") << esc({0xed, 0xb2, 0x80});
        QTest::newRow("past U+10FFFF")
            << QByteArray("\xf4\x90\x80\x80") << esc({0xf4, 0x90, 0x80, 0x80});
        QTest::newRow("cut at the end") << QByteArray("x\xe2\x82") << u"x"_s + esc({0xe2, 0x82});
        QTest::newRow("escape then valid") << QByteArray("\xff\xc3\xa9") << esc({0xff}) + u"é"_s;
    }
    void nameCodec() {
        QFETCH(QByteArray, native);
        QFETCH(QString, name);
        QCOMPARE(Platform::DecodeName(native), name);
        QCOMPARE(Platform::EncodeName(name), native);
    }

    void nonUtf8NameRoundTrips() {
        Sandbox box;
        QVERIFY(box.WriteNative("caf\xe9.prt", "job\r\n"));
        QString listed;
        QVERIFY(Platform::ListMatching(box.Path(u"*.prt"_s), Platform::ListKind::Files,
                                       [&](const QString& n) {
                                           listed = n;
                                           return true;
                                       }));
        const QString path = box.Path() + u"/"_s + listed;
        const QString base = path.chopped(3);
        bool ok = false;
        QCOMPARE(Platform::ReadHead(path, 100, &ok), QByteArray("job\r\n"));
        QVERIFY(ok);
        QCOMPARE(Platform::KindOf(path), Platform::EntryKind::Regular);
        QVERIFY(Platform::ModifiedNs(path) > 0);
        QVERIFY(Platform::WriteLine(base + u"dat"_s, u"cancel"_s, true));
        QVERIFY(Platform::WriteLine(base + u"shd"_s, u"cancel"_s, false));
        QVERIFY(Platform::CopyFileKeepTime(path, base + u"bak"_s));
        QVERIFY(Platform::MakeDir(base + u"d"_s));
        QVERIFY(Platform::MoveFile(base + u"bak"_s, base + u"d/x"_s));
        QCOMPARE(box.ReadNative("caf\xe9.dat"), QByteArray("cancel\r\n"));
        QCOMPARE(box.ReadNative("caf\xe9.shd"), QByteArray("cancel\r\n"));
        QCOMPARE(box.ReadNative("caf\xe9.d/x"), QByteArray("job\r\n"));
        QVERIFY(Platform::RemoveFile(path));
        QVERIFY(::access(box.NativePath("caf\xe9.prt").constData(), F_OK) != 0);
    }

    // Every way of writing a file on a device that fills up: the old content stays, no
    // temporary is left, and the failure says why.
    void fullDevice_data() {
        QTest::addColumn<QString>("op");
        QTest::addColumn<int>("room"); // bytes the device takes, relative to what is written
        QTest::addColumn<bool>("written");
        for (const QString& op : {u"save"_s, u"replace line"_s, u"append line"_s, u"copy"_s}) {
            QTest::addRow("%s, full", qPrintable(op)) << op << -100 << false;
            QTest::addRow("%s, one byte short", qPrintable(op)) << op << -1 << false;
            QTest::addRow("%s, just enough", qPrintable(op)) << op << 0 << true;
        }
    }
    void fullDevice() {
        QFETCH(QString, op);
        QFETCH(int, room);
        QFETCH(bool, written);
        Sandbox box;
        const QString path = box.Write(u"out/f.txt"_s, "old line\r\n");
        const QString source = box.Write(u"src.txt"_s, "copied content\r\n");
        const QByteArray after = op == u"append line"_s ? QByteArray("old line\r\nnew line\r\n")
                                 : op == u"copy"_s      ? QByteArray("copied content\r\n")
                                                        : QByteArray("new line\r\n");
        const qint64 size = op == u"append line"_s ? 10 : after.size();
        bool ok = false;
        {
            FailingDevice device(std::max<qint64>(size + room, 0));
            if (op == u"save"_s) ok = Platform::SaveFileAtomic(path, "new line\r\n");
            if (op == u"replace line"_s) ok = Platform::WriteLine(path, u"new line"_s, true);
            if (op == u"append line"_s) ok = Platform::WriteLine(path, u"new line"_s, false);
            if (op == u"copy"_s) ok = Platform::CopyFileKeepTime(source, path);
        }
        QCOMPARE(ok, written);
        QCOMPARE(box.Read(u"out/f.txt"_s), written ? after : QByteArray("old line\r\n"));
        QCOMPARE(Entries(box.Path(u"out"_s)), QStringList{u"f.txt"_s});
        if (!written) {
            QCOMPARE(Platform::LastFileError().text, kNoSpace);
            QVERIFY(Platform::LastFileError().diskFull);
        }
    }

    // The monitor shares the ".shd" file: it keeps its inode and owner, and what the monitor
    // writes meanwhile, through a handle it keeps open, stays.
    void appendKeepsTheSharedFile() {
        Sandbox box;
        const QString path = box.Write(u"x.shd"_s, "monitor 1\r\n");
        const QByteArray native = QFile::encodeName(path);
        const bool root = ::geteuid() == 0;
        if (root) QCOMPARE(::chown(native.constData(), 65534, 65534), 0);
        struct stat before, after;
        QCOMPARE(::stat(native.constData(), &before), 0);
        QFile monitor(path);
        QVERIFY(monitor.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered));
        QVERIFY(Platform::WriteLine(path, u"10.0.0.7"_s, false));
        QCOMPARE(monitor.write("monitor 2\r\n"), 11);
        QVERIFY(Platform::WriteLine(path, u"cancel"_s, false));
        QCOMPARE(::stat(native.constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(box.Read(u"x.shd"_s),
                 QByteArray("monitor 1\r\n10.0.0.7\r\nmonitor 2\r\ncancel\r\n"));
    }

    // A link planted at the name: replacing writes a new file in its place and leaves the
    // target alone (a dangling one is not created); appending through it fails.
    void plantedLinks_data() {
        QTest::addColumn<QString>("op");
        QTest::addColumn<bool>("dangling");
        for (const QString& op :
             {u"save"_s, u"replace line"_s, u"append line"_s, u"log line"_s, u"copy"_s})
            for (bool dangling : {false, true})
                QTest::addRow("%s, %s", qPrintable(op), dangling ? "dangling" : "to a file")
                    << op << dangling;
    }
    void plantedLinks() {
        QFETCH(QString, op);
        QFETCH(bool, dangling);
        Sandbox box;
        QDir().mkpath(box.Path(u"outside"_s)); // a dangling link could be followed into it
        if (!dangling) box.Write(u"outside/target"_s, "precious\r\n");
        QDir().mkpath(box.Path(u"jobs"_s));
        const QString link = box.Path(u"jobs/00613.pas"_s);
        QVERIFY(QFile::link(box.Path(u"outside/target"_s), link));
        const QString source = box.Write(u"src.txt"_s, "resume\r\n");
        bool ok = false;
        if (op == u"save"_s) ok = Platform::SaveFileAtomic(link, "resume\r\n");
        if (op == u"replace line"_s) ok = Platform::WriteLine(link, u"resume"_s, true);
        if (op == u"append line"_s) ok = Platform::WriteLine(link, u"resume"_s, false);
        if (op == u"log line"_s) ok = Platform::AppendLogLine(link, u"resume"_s);
        if (op == u"copy"_s) ok = Platform::CopyFileKeepTime(source, link);
        const bool appending = op.contains(u"line"_s) && op != u"replace line"_s;
        QCOMPARE(ok, !appending);
        QCOMPARE(Platform::KindOf(link),
                 appending ? Platform::EntryKind::Link : Platform::EntryKind::Regular);
        if (!appending) QCOMPARE(box.Read(u"jobs/00613.pas"_s), QByteArray("resume\r\n"));
        QCOMPARE(QFile::exists(box.Path(u"outside/target"_s)), !dangling);
        if (!dangling) QCOMPARE(box.Read(u"outside/target"_s), QByteArray("precious\r\n"));
        QCOMPARE(Entries(box.Path(u"jobs"_s)), QStringList{u"00613.pas"_s});
    }

    // Entries that are not regular files are neither listed as files nor read nor written,
    // and nothing blocks on a FIFO.
    void entriesThatAreNotFiles_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("link to a file") << "link";
        QTest::newRow("folder") << "folder";
        QTest::newRow("device") << "device";
    }
    void entriesThatAreNotFiles() {
        QFETCH(QString, kind);
        Sandbox box;
        box.Write(u"a.prt"_s, "regular\r\n");
        const QString path = box.Path(u"x.prt"_s);
        const QByteArray native = QFile::encodeName(path);
        if (kind == u"fifo"_s) QCOMPARE(::mkfifo(native.constData(), 0644), 0);
        if (kind == u"link"_s) QVERIFY(QFile::link(box.Path(u"a.prt"_s), path));
        if (kind == u"folder"_s) QVERIFY(QDir().mkdir(path));
        if (kind == u"device"_s && ::mknod(native.constData(), S_IFCHR | 0644, makedev(1, 3)) != 0)
            QSKIP("creating a device needs root");
        FifoGuard guard(path, 2000);
        bool ok = true;
        Platform::ReadHead(path, 100, &ok);
        QVERIFY(!ok);
        QCOMPARE(Platform::LastFileError().text, u"not a regular file"_s);
        QString text;
        QVERIFY(!Platform::ReadTextFile(path, &text));
        Platform::ReadLines(path, &ok);
        QVERIFY(!ok);
        QVERIFY(!Platform::WriteLine(path, u"x"_s, false));
        QStringList listed;
        Platform::ListMatching(box.Path(u"*.prt"_s), Platform::ListKind::Files,
                               [&](const QString& n) {
                                   listed << n;
                                   return true;
                               });
        QCOMPARE(listed, QStringList{u"a.prt"_s});
        listed.clear();
        Platform::ListMatching(path, Platform::ListKind::Files, [&](const QString& n) {
            listed << n;
            return true;
        });
        QCOMPARE(listed, QStringList());
        QVERIFY(!guard.Fired());
        QCOMPARE(box.Read(u"a.prt"_s), QByteArray("regular\r\n"));
    }

    // The one-instance lock: only a live holder means "running"; a runtime folder that cannot
    // hold the lock gives way to the fallback folder.
    void instanceLock_data() {
        QTest::addColumn<QString>("runtime"); // what XDG_RUNTIME_DIR names
        QTest::addColumn<QString>("fallback");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("lockIn");
        const int acquired = int(Platform::InstanceLock::Acquired);
        const int unavailable = int(Platform::InstanceLock::Unavailable);
        QTest::newRow("own runtime folder") << "run"
                                            << "local" << acquired << "run";
        QTest::newRow("runtime is a file") << "file"
                                           << "local" << acquired << "local";
        QTest::newRow("runtime missing") << "missing"
                                         << "local" << acquired << "local";
        QTest::newRow("runtime of another user") << "foreign"
                                                 << "local" << acquired << "local";
        QTest::newRow("stale lock of a dead process") << "stale"
                                                      << "local" << acquired << "run";
        QTest::newRow("nowhere") << "file"
                                 << "file/Qorvex" << unavailable << "";
    }
    void instanceLock() {
        QFETCH(QString, runtime);
        QFETCH(QString, fallback);
        QFETCH(int, result);
        QFETCH(QString, lockIn);
        Sandbox box;
        // The lock held last is given up at exit: its folders outlive every row's sandbox.
        static Sandbox locks;
        const QString root = QString::fromUtf8(QTest::currentDataTag()) + u"/"_s;
        const QString name = u"/tst-"_s + Platform::LoginName() + u".lock"_s;
        locks.Write(root + u"file"_s, "x");
        QDir().mkpath(locks.Path(root + u"local"_s));
        QDir().mkpath(locks.Path(root + u"run"_s));
        QString folder = locks.Path(root + runtime);
        if (runtime == u"foreign"_s || runtime == u"stale"_s) {
            folder = locks.Path(root + u"run"_s);
            if (runtime == u"stale"_s)
                locks.Write(root + u"run"_s + name,
                            "2147483646\ntst\n" + QSysInfo::machineHostName().toUtf8() + "\n");
            if (runtime == u"foreign"_s &&
                ::chown(QFile::encodeName(folder).constData(), 65534, 65534) != 0)
                QSKIP("giving a folder away needs root");
        }
        qputenv("XDG_RUNTIME_DIR", folder.toUtf8());
        const QString fallbackFolder = locks.Path(root + fallback);
        QCOMPARE(int(Platform::AcquireInstanceLock(u"tst"_s, fallbackFolder)), result);
        if (!lockIn.isEmpty()) {
            QVERIFY(QFile::exists(locks.Path(root + lockIn + name)));
            // Held by this live process now: a second start sees it running.
            QCOMPARE(Platform::AcquireInstanceLock(u"tst"_s, fallbackFolder),
                     Platform::InstanceLock::HeldByAnother);
        }
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
