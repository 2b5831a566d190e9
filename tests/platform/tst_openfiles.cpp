// Open files on a server through Samba's tools, played by stand-ins that answer, fail, hang or
// are missing.
#include "platform/openfiles.h"
#include "platform/system.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
const QByteArray kNet = "\nEnumerating open files on remote server:\n\n\n"
                        "FileId  Opened by            Perms  Locks  Path\n"
                        "------  ---------            -----  -----  ---- \n";
const QByteArray kNetFiles =
    "1234    jsmith               0x03   0      C:\\srv\\Plan.dwg\n"
    "77      CORP\\jsmith          0x1    2      D:\\S\\Acme 4711\\P v2.dwg\n";
const QByteArray kStatus =
    "{\"version\":\"4.17.12\",\"open_files\":{"
    "\"/srv/share/docs/Plan.dwg\":{\"service_path\":\"/srv/share\",\"filename\":\"docs/Plan.dwg\","
    "\"opens\":{\"1234/5\":{\"uid\":1000,\"username\":\"jsmith\"}}},"
    "\"/srv/share/x.doc\":{\"opens\":{\"99/1\":{\"uid\":1001}}}}}";
} // namespace

class TestOpenFiles : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> box;
    QByteArray path;

private Q_SLOTS:
    void init() {
        box = std::make_unique<Sandbox>();
        path = qgetenv("PATH");
        qputenv("PATH", box->Path(u"bin"_s).toUtf8()); // only the stand-ins are found
    }
    void cleanup() {
        qputenv("PATH", path);
        box.reset();
    }

    // This machine (no server, or its own name) is asked through smbstatus, others through net.
    void listOpenFiles_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QByteArray>("tool"); // what it writes and how it ends; empty: missing
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("files");
        const QString net = u"rpc file user jsmith -S fs1 --use-kerberos=required -N"_s;
        const QString local = Platform::ComputerName().toUpper();
        auto echo = [](const QByteArray& out) { return "printf '%s' '" + out + "'\n"; };
        QTest::newRow("net") << u"fs1"_s << u"jsmith"_s << echo(kNet + kNetFiles) << net
                             << u"ok | jsmith C:\\srv\\Plan.dwg | CORP\\jsmith D:\\S\\Acme "
                                "4711\\P v2.dwg"_s;
        QTest::newRow("net, nothing open")
            << u"fs1"_s << u"jsmith"_s << echo(kNet) << net << u"ok"_s;
        QTest::newRow("net, no listing")
            << u"fs1"_s << u"jsmith"_s << echo("Could not connect to server\n") << net
            << u"failed"_s;
        QTest::newRow("net fails")
            << u"fs1"_s << u"jsmith"_s << echo(kNet + kNetFiles) + "exit 1" << net << u"failed"_s;
        QTest::newRow("net missing")
            << u"fs1"_s << u"jsmith"_s << QByteArray() << u""_s << u"failed"_s;
        QTest::newRow("net hangs")
            << u"fs1"_s << u"jsmith"_s << QByteArray("exec /bin/sleep 20") << net << u"failed"_s;
        QTest::newRow("smbstatus, every user")
            << local << u""_s << echo(kStatus) << u"-L --json"_s
            << u"ok | jsmith /srv/share/docs/Plan.dwg | 1001 /srv/share/x.doc"_s;
        QTest::newRow("smbstatus, nothing open")
            << u""_s << u"jsmith"_s << echo("{\"version\":\"4.17\"}") << u"-L --json -u jsmith"_s
            << u"ok"_s;
        QTest::newRow("smbstatus, cut short")
            << u""_s << u""_s << echo(kStatus.left(60)) << u"-L --json"_s << u"failed"_s;
    }
    void listOpenFiles() {
        QFETCH(QString, server);
        QFETCH(QString, user);
        QFETCH(QByteArray, tool);
        QFETCH(QString, args);
        QFETCH(QString, files);
        const QString name = server == u"fs1"_s ? u"net"_s : u"smbstatus"_s;
        if (!tool.isEmpty()) {
            box->Write(u"bin/"_s + name,
                       "#!/bin/sh\necho \"$@\" > " + box->Path(u"args"_s).toUtf8() + "\n" + tool);
            QFile(box->Path(u"bin/"_s + name)).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        }
        QElapsedTimer t;
        t.start();
        const Platform::OpenFiles open = Platform::ListOpenFiles(server, user, 1000);
        QVERIFY2(t.elapsed() < 2500, "the wait is bounded");
        QStringList out{open.ok ? u"ok"_s : u"failed"_s};
        for (const Platform::OpenFile& f : open.files) out << f.user + u" "_s + f.path;
        QCOMPARE(out.join(u" | "_s), files);
        QCOMPARE(QString::fromUtf8(box->Read(u"args"_s)).trimmed(), args);
    }
};

QTEST_GUILESS_MAIN(TestOpenFiles)
#include "tst_openfiles.moc"
