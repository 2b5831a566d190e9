// Open files on a server through Samba's tools: their listings, and stand-in tools that fail,
// hang or are missing.
#include "platform/openfiles.h"
#include "platform/system.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
const QByteArray kNetListing =
    "\nEnumerating open files on remote server:\n\n\n"
    "FileId  Opened by            Perms  Locks  Path\n"
    "------  ---------            -----  -----  ---- \n"
    "1234    jsmith               0x03   0      C:\\srv\\Plan.dwg\n"
    "77      CORP\\jsmith          0x1    2      D:\\Shares\\Acme 4711\\Plan "
    "v2.dwg\n";
const QByteArray kStatus =
    "{\"version\":\"4.17.12\",\"open_files\":{"
    "\"/srv/share/docs/Plan.dwg\":{\"service_path\":\"/srv/share\",\"filename\":\"docs/Plan.dwg\","
    "\"opens\":{\"1234/5\":{\"uid\":1000,\"username\":\"jsmith\"}}},"
    "\"/srv/share/x.doc\":{\"opens\":{\"99/1\":{\"uid\":1001}}}}}";

QString Files(const Platform::OpenFiles& open) {
    QStringList out{open.ok ? u"ok"_s : u"failed"_s};
    for (const Platform::OpenFile& f : open.files) out << f.user + u" "_s + f.path;
    return out.join(u" | "_s);
}
} // namespace

class TestOpenFiles : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> box;
    QByteArray path;

    // A stand-in for a tool in the only folder searched for programs.
    void Tool(const QString& name, const QByteArray& script) {
        const QString file = box->Write(u"bin/"_s + name, "#!/bin/sh\n" + script);
        QFile(file).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    QString Args(const QString& name) {
        return QString::fromUtf8(box->Read(name + u".args"_s)).trimmed();
    }
    QByteArray Recording(const QString& name) {
        return "echo \"$@\" > " + box->Path(name + u".args"_s).toUtf8() + "\n";
    }

private Q_SLOTS:
    void init() {
        box = std::make_unique<Sandbox>();
        path = qgetenv("PATH");
        qputenv("PATH", box->Path(u"bin"_s).toUtf8());
    }
    void cleanup() {
        qputenv("PATH", path);
        box.reset();
    }

    void listings_data() {
        QTest::addColumn<bool>("json");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("files");
        QTest::newRow("net") << false << kNetListing
                             << "ok | jsmith C:\\srv\\Plan.dwg | CORP\\jsmith D:\\Shares\\Acme "
                                "4711\\Plan v2.dwg";
        QTest::newRow("net, nothing open")
            << false << kNetListing.left(kNetListing.indexOf("1234")) << "ok";
        QTest::newRow("net, no listing")
            << false << QByteArray("Could not connect to server\n") << "failed";
        QTest::newRow("smbstatus")
            << true << kStatus << "ok | jsmith /srv/share/docs/Plan.dwg | 1001 /srv/share/x.doc";
        QTest::newRow("smbstatus, nothing open")
            << true << QByteArray("{\"version\":\"4.17\"}") << "ok";
        QTest::newRow("smbstatus, cut short") << true << kStatus.left(60) << "failed";
    }
    void listings() {
        QFETCH(bool, json);
        QFETCH(QByteArray, output);
        QFETCH(QString, files);
        QCOMPARE(
            Files(json ? Platform::ParseSmbStatusJson(output) : Platform::ParseNetFileList(output)),
            files);
    }

    // The tools asked, with what; this machine is asked through its own Samba.
    void tools() {
        Tool(u"net"_s, Recording(u"net"_s) + "/bin/cat <<'EOF'\n" + kNetListing + "EOF\n");
        Tool(u"smbstatus"_s, Recording(u"smbstatus"_s) + "echo '" + kStatus + "'\n");
        QCOMPARE(Files(Platform::ListOpenFiles(u"fs1"_s, u"jsmith"_s, 3000)),
                 Files(Platform::ParseNetFileList(kNetListing)));
        QCOMPARE(Args(u"net"_s), u"rpc file user jsmith -S fs1 --use-kerberos=required -N"_s);
        QCOMPARE(Files(Platform::ListOpenFiles(Platform::ComputerName().toUpper(), u""_s, 3000)),
                 Files(Platform::ParseSmbStatusJson(kStatus)));
        QCOMPARE(Args(u"smbstatus"_s), u"-L --json"_s);
        QVERIFY(Platform::ListOpenFiles(u""_s, u"jsmith"_s, 3000).ok);
        QCOMPARE(Args(u"smbstatus"_s), u"-L --json -u jsmith"_s);
    }

    void failures_data() {
        QTest::addColumn<QByteArray>("script"); // empty: no tool at all
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("fails") << QByteArray("echo '" + kNetListing + "'\nexit 1\n");
        QTest::newRow("no answer in time") << QByteArray("exec /bin/sleep 20\n");
    }
    void failures() {
        QFETCH(QByteArray, script);
        if (!script.isEmpty()) Tool(u"net"_s, script);
        QElapsedTimer t;
        t.start();
        QVERIFY(!Platform::ListOpenFiles(u"fs1"_s, u"jsmith"_s, 300).ok);
        QVERIFY2(t.elapsed() < 2000, "the wait is bounded");
    }
};

QTEST_GUILESS_MAIN(TestOpenFiles)
#include "tst_openfiles.moc"
