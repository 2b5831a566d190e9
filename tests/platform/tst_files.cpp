// Files as the system holds them: names kept byte for byte, appends in place, the one-instance
// lock. Full disks, links and FIFOs are tested where the program meets them.
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

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
