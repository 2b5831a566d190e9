// Open files on a server through Samba's tools, played by stand-ins that answer, fail, hang or
// are missing.
#include "platform/openfiles.h"
#include "platform/system.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMap>
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

    // This machine (no server, or its own name: "LOCAL") is asked through smbstatus, others
    // through net ("NET": its arguments). The tool writes and ends as named; none: missing.
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
        if (!tool.isEmpty()) {
            box->Write(u"bin/"_s + name, "#!/bin/sh\necho \"$@\" > " +
                                             box->Path(u"args"_s).toUtf8() + "\n" +
                                             tools.value(tool));
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
