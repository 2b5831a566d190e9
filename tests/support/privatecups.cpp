#include "privatecups.h"

#include "platform/cups.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
QString Cupsd() {
    return QStandardPaths::findExecutable(u"cupsd"_s, {u"/usr/sbin"_s, u"/sbin"_s});
}

bool Run(const QString& program, const QStringList& args, QByteArray* out = nullptr) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(20000)) return false;
    if (out) *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}
} // namespace

bool PrivateCups::Installed() {
    return !Cupsd().isEmpty();
}

PrivateCups::PrivateCups(const Sandbox& box) : m_root(box.Path(u"cups"_s)) {
    if (!Installed()) return;
    for (const char* f : {"etc/ppd", "spool/tmp", "cache", "state", "log", "out", "sbin/filter"})
        QDir().mkpath(m_root + u'/' + QLatin1String(f));
    // The scheduler runs filters as its own user: it must reach the folders it hands them.
    for (QString dir = m_root; dir.size() > 1; dir = QFileInfo(dir).path()) {
        QFile::setPermissions(dir, QFile::permissions(dir) | QFile::ExeOther | QFile::ExeGroup);
        if (dir == box.Path()) break;
    }
    for (const char* d : {"daemon", "backend", "notifier"})
        QFile::link(u"/usr/lib/cups/"_s + QLatin1String(d),
                    m_root + u"/sbin/"_s + QLatin1String(d));
    const QString filter =
        box.Write(u"cups/sbin/filter/passthru"_s, "#!/bin/sh\nexec cat \"${6:-/dev/stdin}\"\n");
    QFile::setPermissions(filter, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                      QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                      QFile::ExeOther);
    box.Write(u"cups/etc/cupsd.conf"_s,
              ("Listen " + m_root.toUtf8() +
               "/cups.sock\nLogLevel info\nWebInterface No\nBrowsing No\n"
               "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
               "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n"));
    const QByteArray r = m_root.toUtf8();
    box.Write(u"cups/etc/cups-files.conf"_s,
              "ServerRoot " + r + "/etc\nServerBin " + r + "/sbin\nRequestRoot " + r +
                  "/spool\nTempDir " + r + "/spool/tmp\nCacheDir " + r + "/cache\nStateDir " + r +
                  "/state\nErrorLog " + r + "/log/error_log\nAccessLog " + r +
                  "/log/access_log\nPageLog " + r + "/log/page_log\nFileDevice Yes\n");
    qputenv("CUPS_SERVER", (m_root + u"/cups.sock"_s).toUtf8());
    qputenv("CUPS_SERVERROOT", (m_root + u"/etc"_s).toUtf8());
    Platform::ForgetCupsServer();
    m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
    m_cupsd.start(Cupsd(), {u"-f"_s, u"-c"_s, m_root + u"/etc/cupsd.conf"_s, u"-s"_s,
                            m_root + u"/etc/cups-files.conf"_s});
    if (!m_cupsd.waitForStarted()) return;
    QElapsedTimer t;
    t.start();
    while (!m_running && t.elapsed() < 10000) {
        QTest::qWait(20);
        m_running = QFileInfo::exists(m_root + u"/cups.sock"_s) && Run(u"lpstat"_s, {u"-r"_s});
    }
}

PrivateCups::~PrivateCups() {
    if (m_cupsd.state() != QProcess::NotRunning) {
        m_cupsd.terminate();
        if (!m_cupsd.waitForFinished(10000)) m_cupsd.kill();
        m_cupsd.waitForFinished();
    }
    qunsetenv("CUPS_SERVER");
    qunsetenv("CUPS_SERVERROOT");
    Platform::ForgetCupsServer();
}

bool PrivateCups::AddQueue(const QString& name, const QString& model) {
    const QString ppd = m_root + u"/etc/"_s + name + u".ppd"_s;
    QFile f(ppd);
    if (!f.open(QIODevice::WriteOnly)) return false;
    const QByteArray m = model.toUtf8();
    f.write("*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
            "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n*PCFileName: \"T.PPD\"\n"
            "*Manufacturer: \"Test\"\n*Product: \"(Test)\"\n*ModelName: \"" +
            m + "\"\n*ShortNickName: \"" + m + "\"\n*NickName: \"" + m +
            "\"\n*PSVersion: \"(3010.000) 0\"\n*ColorDevice: True\n*DefaultColorSpace: RGB\n"
            "*cupsFilter: \"application/pdf 0 passthru\"\n"
            "*cupsFilter: \"application/postscript 0 passthru\"\n"
            "*OpenUI *PageSize: PickOne\n*DefaultPageSize: Letter\n"
            "*PageSize Letter/US Letter: \"<</PageSize[612 792]>>setpagedevice\"\n"
            "*PageSize A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n*CloseUI: *PageSize\n"
            "*DefaultImageableArea: Letter\n*ImageableArea Letter: \"0 0 612 792\"\n"
            "*ImageableArea A4: \"0 0 595 842\"\n*DefaultPaperDimension: Letter\n"
            "*PaperDimension Letter: \"612 792\"\n*PaperDimension A4: \"595 842\"\n");
    f.close();
    return Run(u"lpadmin"_s,
               {u"-p"_s, name, u"-E"_s, u"-v"_s, u"file://"_s + OutputFile(name), u"-P"_s, ppd});
}

QString PrivateCups::OutputFile(const QString& queue) const {
    return m_root + u"/out/"_s + queue + u".out"_s;
}

int PrivateCups::Submit(const QString& queue, const QString& file, const QStringList& extra) {
    QByteArray out;
    if (!Run(u"lp"_s, QStringList{u"-d"_s, queue} + extra + QStringList{file}, &out)) return 0;
    const auto m = QRegularExpression(u"-(\\d+) "_s).match(QString::fromUtf8(out));
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

int PrivateCups::Logged(const QString& operation) const {
    QFile f(m_root + u"/log/access_log"_s);
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray tail = ' ' + operation.toUtf8() + " successful-ok";
    int n = 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.endsWith(tail)) ++n;
    return n;
}

QByteArray MakePdf(int pages) {
    QList<QByteArray> objects{"<< /Type /Catalog /Pages 2 0 R >>"};
    QByteArray kids;
    for (int i = 0; i < pages; ++i) kids += QByteArray::number(3 + i) + " 0 R ";
    objects << "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>";
    for (int i = 0; i < pages; ++i)
        objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>";
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets << pdf.size();
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype o : offsets)
        pdf += QByteArray::number(o).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}
