#include "privatecups.h"

#include "platform/cups.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

QString PrivateCups::Cupsd() {
    return QStandardPaths::findExecutable(u"cupsd"_s, {u"/usr/sbin"_s, u"/sbin"_s});
}

PrivateCups::PrivateCups(const Sandbox& box, const Setup& setup)
    : m_box(box), m_root(box.Path(u"cups"_s)) {
    if (!Installed()) return;
    for (const char* f : {"etc/ppd", "spool/tmp", "cache", "state", "log", "out", "sbin/filter"})
        QDir().mkpath(m_root + u'/' + QLatin1String(f));
    // The scheduler runs filters as its own user: it must reach the folders it hands them.
    for (QString dir = m_root; dir.size() > 1; dir = QFileInfo(dir).path()) {
        QFile::setPermissions(dir, QFile::permissions(dir) | QFile::ExeOther | QFile::ExeGroup);
        if (dir == box.Path()) break;
    }
    for (const char* d : {"daemon", "backend"})
        QFile::link(u"/usr/lib/cups/"_s + QLatin1String(d),
                    m_root + u"/sbin/"_s + QLatin1String(d));
    // The system's rss notifier and the monitor's, as the package installs it.
    QDir().mkpath(m_root + u"/sbin/notifier"_s);
    QFile::link(u"/usr/lib/cups/notifier/rss"_s, m_root + u"/sbin/notifier/rss"_s);
    QFile::link(QStringLiteral(QORVMOND_NOTIFIER_BIN), m_root + u"/sbin/notifier/qorvmond"_s);
    // The companions' pre-filter of PostScript, in the filter folder as the package puts it.
    QFile::link(QStringLiteral(QORVMOND_COUNTED_BIN), m_root + u"/sbin/filter/qorvmond-counted"_s);
    // The runtime folder systemd gives the service: the notifier passes through, nobody lists.
    QDir().mkpath(m_root + u"/run"_s);
    QFile::setPermissions(m_root + u"/run"_s, QFile::Permissions(0x7711));
    // After another filter it reads the pipe it is given: as lp it may not open that again.
    QFile::setPermissions(
        box.Write(u"cups/sbin/filter/passthru"_s, "#!/bin/sh\nexec cat ${6:+\"$6\"}\n"),
        QFile::Permissions(0x7755));
    const QByteArray r = m_root.toUtf8();
    box.Write(u"cups/etc/cupsd.conf"_s,
              "Listen " + r +
                  "/cups.sock\nLogLevel info\nWebInterface No\nBrowsing No\n"
                  "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n" +
                  setup.locations + "<Policy default>\n" + setup.policy +
                  "  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n" + setup.policies);
    // Where that filter finds the counted copies of the monitors started through Prepare.
    QByteArray files = "FileDevice Yes\nServerRoot " + r + "/etc\nServerBin " + r +
                       "/sbin\nSetEnv QORVMOND_PRINTED " + Printed().toUtf8() + '\n';
    for (const char* d :
         {"RequestRoot spool", "TempDir spool/tmp", "CacheDir cache", "StateDir state",
          "ErrorLog log/error_log", "AccessLog log/access_log", "PageLog log/page_log"})
        files += QByteArray(d).replace(' ', " " + r + '/') + '\n';
    box.Write(u"cups/etc/cups-files.conf"_s, files);
    Prepare(m_cupsd);
    m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
    m_cupsd.start(Cupsd(), {u"-f"_s, u"-c"_s, m_root + u"/etc/cupsd.conf"_s, u"-s"_s,
                            m_root + u"/etc/cups-files.conf"_s});
    const auto answers = [&] { return QFileInfo::exists(Socket()) && Run(u"lpstat"_s, {u"-r"_s}); };
    m_running = m_cupsd.waitForStarted() && QTest::qWaitFor(answers, 10000);
}

PrivateCups::~PrivateCups() {
    m_cupsd.terminate(); // killed by QProcess if it has not stopped by then
    m_cupsd.waitForFinished(10000);
}

QString PrivateCups::Printed() const {
    return m_box.Path(u"printed"_s);
}

void PrivateCups::Prepare(QProcess& p, const QStringList& extra) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"CUPS_SERVER"_s, Socket());
    env.insert(u"CUPS_SERVERROOT"_s, m_root + u"/etc"_s);
    env.insert(u"RUNTIME_DIRECTORY"_s, m_root + u"/run"_s);
    env.insert(u"QORVMOND_PRINTED"_s, Printed());
    for (const QString& e : extra) env.insert(e.section(u'=', 0, 0), e.section(u'=', 1));
    p.setProcessEnvironment(env);
}

bool PrivateCups::Run(const QString& program, const QStringList& args, QByteArray* out) const {
    QProcess p;
    Prepare(p);
    p.start(program, args);
    if (!p.waitForFinished(20000)) return false;
    if (out) *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool PrivateCups::AddQueue(const QString& name, const QString& model) {
    const QString ppd = m_box.Write(u"cups/etc/"_s + name + u".ppd"_s,
                                    TestData(u"queue.ppd"_s).replace("MODEL", model.toUtf8()));
    return Run(u"lpadmin"_s, {u"-p"_s, name, u"-E"_s, u"-v"_s,
                              u"file://"_s + m_root + u"/out/"_s + name + u".out"_s, u"-P"_s, ppd});
}

int PrivateCups::Submit(const QString& queue, const QString& file, const QStringList& extra) {
    QByteArray out;
    if (!Run(u"lp"_s, QStringList{u"-d"_s, queue} + extra + QStringList{file}, &out)) return 0;
    const auto m = QRegularExpression(u"-(\\d+) "_s).match(QString::fromUtf8(out));
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

int PrivateCups::Logged(const QString& operation) const {
    const QByteArray tail = ' ' + operation.toUtf8() + " successful-ok";
    int n = 0;
    for (const QByteArray& line : m_box.Read(u"cups/log/access_log"_s).split('\n'))
        n += line.endsWith(tail);
    return n;
}

DefaultSchedulerCanary::DefaultSchedulerCanary() {
    const QString socket = m_dir.path() + u"/cups.sock"_s;
    QDir().mkpath(m_dir.path() + u"/etc"_s); // an empty server root: no client.conf
    qputenv("CUPS_SERVER", socket.toUtf8());
    qputenv("CUPS_SERVERROOT", (m_dir.path() + u"/etc"_s).toUtf8());
    Platform::ForgetCupsServer();
    auto* server = new QLocalServer;
    QObject::connect(server, &QLocalServer::newConnection, server, [this, server] {
        while (QLocalSocket* s = server->nextPendingConnection()) {
            ++m_requests;
            s->abort(); // the client fails at once instead of waiting for an answer
            s->deleteLater();
        }
    });
    server->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        server, [=] { server->listen(socket); }, Qt::BlockingQueuedConnection);
    QObject::connect(&m_thread, &QThread::finished, server, &QObject::deleteLater);
}

DefaultSchedulerCanary::~DefaultSchedulerCanary() {
    m_thread.quit();
    m_thread.wait();
    qunsetenv("CUPS_SERVER");
    qunsetenv("CUPS_SERVERROOT");
    Platform::ForgetCupsServer();
}
