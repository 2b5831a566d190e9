// Where a printed document lives: the title's parts, open files on the file servers (through a
// stand-in), the desktop's recent documents and shortcut files.
#include "common/bcommon.h"
#include "common/environment.h"
#include "jobs/documentpath.h"
#include "platform/openfiles.h"
#include "testsupport.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
template <size_t N> QByteArray Bytes(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

// File servers that answer from a table, after the delay the table gives.
struct Servers {
    QHash<QString, Platform::OpenFilesAnswer> answers;
    QStringList asked; // "server user wait"
    Servers() {
        Platform::SetOpenFilesDouble([this](const QString& s, const QString& u, int wait) {
            asked << s + QLatin1Char(' ') + u + QLatin1Char(' ') + QString::number(wait);
            return answers.value(s);
        });
    }
    ~Servers() { Platform::SetOpenFilesDouble({}); }
    void Answer(const QString& server, const QStringList& paths, int delayMs = 0) {
        Platform::OpenFiles open{true, {}};
        for (const QString& p : paths) open.files << Platform::OpenFile{p, u"jsmith"_s};
        answers[server] = {open, delayMs};
    }
};

// moc reads no raw strings.
const QByteArray kXbel =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<xbel version=\"1.0\" "
    "xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\" "
    "xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
    "  <bookmark href=\"file:///Old/Plan.dwg\" modified=\"2024-03-01T09:05:00Z\"/>\n"
    "  <bookmark href=\"file:///Clients/Acme%204711/Plan.dwg\" "
    "modified=\"2024-03-15T09:05:00.250Z\">\n"
    "    <info><metadata owner=\"http://freedesktop.org\"><mime:mime-type "
    "type=\"image/vnd.dwg\"/></metadata></info>\n"
    "  </bookmark>\n"
    "  <bookmark href=\"file:///Older/Plan.dwg\" modified=\"2024-02-01T09:05:00Z\"/>\n"
    "  <bookmark href=\"https://example.com/Web.dwg\"/>\n"
    "  <bookmark modified=\"2024-03-15T09:05:00Z\"/>\n"
    "  <bookmark href=\"file://srv/share/Report%20Q1.docx\"/>\n"
    "</xbel>\n";
} // namespace

class TestDocumentPath : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> box;

    QString Resolve(const QString& folder, const QString& title) {
        return GetPathAndFilename(folder, title, u"jsmith"_s);
    }

private Q_SLOTS:
    void init() {
        box = std::make_unique<Sandbox>();
        gEnv.m_sMachineName = u"HOSTA"_s;
        gEnv.m_sLoggingMachine = u"LOGSRV"_s;
        gEnv.m_sFileServers = u"ServerName"_s;
    }
    void cleanup() { box.reset(); }

    void split_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::newRow("application after dash") << "Plan.dwg - AutoCAD"
                                                << "Plan.dwg"
                                                << "AutoCAD";
        QTest::newRow("word") << "Microsoft Word - Report.doc"
                              << "Report.doc"
                              << "";
        QTest::newRow("photo editor") << "Microsoft Photo Editor - Photo 1.jpg"
                                      << "Photo 1.jpg"
                                      << "";
        QTest::newRow("power point") << "Microsoft Power Point - Slides.ppt"
                                     << "Slides.ppt"
                                     << "";
        QTest::newRow("other microsoft program") << "Microsoft Excel - Book1.xls"
                                                 << ""
                                                 << "Book1.xls";
        QTest::newRow("print with parentheses") << "Print Plan (A1)"
                                                << "Print"
                                                << "Plan";
        QTest::newRow("print is case-sensitive") << "print plan (A1)"
                                                 << "print"
                                                 << "";
        QTest::newRow("model") << "Site.dwg Model (1)"
                               << "Site.dwg"
                               << "";
        QTest::newRow("layout keeps the right part") << "AutoCAD - Site.dwg Layout1 (1)"
                                                     << "AutoCAD - Site.dwg"
                                                     << "Site.dwg Layout1 (1)";
        QTest::newRow("first blank") << "Report final.doc"
                                     << "Report"
                                     << "final.doc";
        QTest::newRow("one word") << "Plan.dwg"
                                  << "Plan.dwg"
                                  << "";
        QTest::newRow("nul") << u"Plan.dwg\0junk - x\0y"_s << "Plan.dwg"
                             << "x";
        QTest::newRow("only blanks") << "   "
                                     << ""
                                     << "";
        QTest::newRow("only dash") << "-"
                                   << "-"
                                   << "";
        QTest::newRow("open parenthesis only") << "Plan (draft"
                                               << "Plan"
                                               << "(draft";
        QTest::newRow("parentheses reversed") << ")("
                                              << ")("
                                              << "";
        QTest::newRow("parenthesis first") << "(x) y"
                                           << "(x)"
                                           << "y";
        const QString longTitle(10000, QLatin1Char('a'));
        QTest::newRow("10000 characters") << longTitle << longTitle << "";
    }
    void split() {
        QFETCH(QString, title);
        QFETCH(QString, left);
        QFETCH(QString, right);
        QCOMPARE(SplitTitle(title), (CTitleParts{left, right}));
    }

    void passThrough_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("through");
        QTest::newRow("untitled upper case") << "UNTITLED - Notepad" << true;
        QTest::newRow("test page") << "Test Page" << true;
        QTest::newRow("lpt1:") << "LpT1:" << true;
        QTest::newRow("no document name") << "No Document Name" << true;
        QTest::newRow("drive path") << "C:\\Docs\\Plan.dwg" << true;
        QTest::newRow("unc path") << "\\\\srv\\share\\Plan.dwg" << true;
        QTest::newRow("slash path") << "/home/jsmith/Plan.dwg" << true;
        QTest::newRow("a name") << "Plan.dwg - AutoCAD" << false;
        QTest::newRow("slash inside") << "Sales 2024/03 - Excel" << false;
    }
    void passThrough() {
        QFETCH(QString, title);
        QFETCH(bool, through);
        Servers servers;
        gEnv.m_sFileServers = u"fs1"_s;
        QCOMPARE(PassesThrough(title), through);
        if (through) {
            QCOMPARE(Resolve(QString(), title + QChar(0) + u"junk"_s), title);
            QCOMPARE(servers.asked, QStringList()); // nobody is asked for a placeholder
        }
    }

    // The candidate rule of the open-files search, and what becomes of the caller's names.
    void findOpenFile_data() {
        QTest::addColumn<QStringList>("open");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("found");
        QTest::addColumn<QStringList>("after");
        const QStringList names{u"Plan.dwg"_s, u""_s, u"Plan.dwg - AutoCAD"_s};
        const QStringList stripped{u"Plan"_s, u""_s, u"Plan"_s};
        QTest::newRow("server path") << QStringList{u"D:\\Shares\\Plan.dwg"_s} << names
                                     << "D:\\Shares\\Plan.dwg" << stripped;
        QTest::newRow("not a candidate: short, a folder, here")
            << QStringList{u"Plan"_s, u"D:\\Plan\\"_s, u"<here>"_s} << names << "" << names;
        QTest::newRow("the first candidate strips")
            << QStringList{u"<here>"_s, u"D:\\Other.doc"_s, u"\\\\srv\\docs\\Plan.dwg"_s} << names
            << "\\\\srv\\docs\\Plan.dwg" << stripped;
        QTest::newRow("extensions stripped once")
            << QStringList{u"D:\\a\\Other.doc"_s, u"D:\\a\\Plan.v2.dwg"_s}
            << QStringList{u"Plan.v2.dwg"_s, u""_s, u""_s} << "D:\\a\\Plan.v2.dwg"
            << QStringList{u"Plan.v2"_s, u""_s, u""_s};
        QTest::newRow("names compare exactly")
            << QStringList{u"D:\\a\\plan.dwg"_s} << names << "" << stripped;
        QTest::newRow("an empty name matches nothing")
            << QStringList{u"D:\\a\\.dwg"_s} << names << "" << stripped;
        QTest::newRow("no names") << QStringList{u"D:\\a\\Plan.dwg"_s}
                                  << QStringList{u""_s, u""_s, u""_s} << ""
                                  << QStringList{u""_s, u""_s, u""_s};
    }
    void findOpenFile() {
        QFETCH(QStringList, open);
        QFETCH(QStringList, names);
        QFETCH(QString, found);
        QFETCH(QStringList, after);
        const QString here = box->Write(u"docs/Plan.dwg"_s, "x"); // found from this machine
        open.replaceInStrings(u"<here>"_s, here);
        Servers servers;
        servers.Answer(u"fs1"_s, open);
        QCOMPARE(FindOpenFile(u"\\\\fs1"_s, u"jsmith"_s, names[0], names[1], names[2]), found);
        QCOMPARE(names, after);
        QCOMPARE(servers.asked, QStringList{u"fs1 jsmith 3000"_s});
    }
    void failedRequestKeepsNames() {
        Servers servers; // fs1 unknown: the request fails
        QString a = u"Plan.dwg"_s, b, c = u"Plan.dwg - AutoCAD"_s;
        QCOMPARE(FindOpenFile(u"fs1"_s, u"jsmith"_s, a, b, c), QString());
        QCOMPARE(QStringList({a, b, c}),
                 QStringList({u"Plan.dwg"_s, u""_s, u"Plan.dwg - AutoCAD"_s}));
    }

    // One server may take 3 s; all of them together 5 s, and then nobody more is asked.
    void serverTimeLimits_data() {
        QTest::addColumn<int>("delay");
        QTest::addColumn<QString>("servers");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QString>("found");
        QTest::addColumn<qint64>("waited");
        QTest::newRow("answer at 3 s") << 3000 << "fs1" << QStringList{u"fs1 jsmith 3000"_s}
                                       << "fs1|D:\\Shares\\Plan.dwg" << qint64(3000);
        QTest::newRow("no answer in 3 s")
            << 3001 << "fs1" << QStringList{u"fs1 jsmith 3000"_s} << "" << qint64(3000);
        QTest::newRow("5 s for all")
            << 2500 << "fs2, fs3 ,fs4" << QStringList{u"fs2 jsmith 3000"_s, u"fs3 jsmith 2500"_s}
            << "" << qint64(5000);
        QTest::newRow("first empty item ends the list")
            << 0 << "fs2,,fs1" << QStringList{u"fs2 jsmith 3000"_s} << "" << qint64(0);
    }
    void serverTimeLimits() {
        QFETCH(int, delay);
        QFETCH(QString, servers);
        QFETCH(QStringList, asked);
        QFETCH(QString, found);
        QFETCH(qint64, waited);
        FakeClock clock;
        Servers stand;
        stand.Answer(u"fs1"_s, {u"D:\\Shares\\Plan.dwg"_s}, delay);
        for (const QString& s : {u"fs2"_s, u"fs3"_s, u"fs4"_s}) stand.Answer(s, {}, delay);
        gEnv.m_sFileServers = servers;
        gEnv.m_sLoggingMachine = u"HOSTA"_s; // only the servers are asked
        QCOMPARE(Resolve(box->Path(), u"Plan.dwg - AutoCAD"_s), found);
        QCOMPARE(stand.asked, asked);
        QCOMPARE(clock.Paused(), waited);
    }

    // FileServers "ServerName" asks nobody; the logging machine looks no further than them.
    void serversAndLoggingMachine_data() {
        QTest::addColumn<QString>("servers");
        QTest::addColumn<QString>("loggingMachine");
        QTest::addColumn<QString>("found");
        QTest::addColumn<int>("asked");
        QTest::newRow("no servers configured") << "ServerName"
                                               << "LOGSRV"
                                               << "/Clients/Acme 4711/Plan.dwg" << 0;
        QTest::newRow("server without the file") << "fs1"
                                                 << "LOGSRV"
                                                 << "/Clients/Acme 4711/Plan.dwg" << 1;
        QTest::newRow("logging machine") << "fs1"
                                         << "logsrv,hosta"
                                         << "" << 1;
        QTest::newRow("logging machine, no servers") << "ServerName"
                                                     << "HOSTA"
                                                     << "" << 0;
    }
    void serversAndLoggingMachine() {
        QFETCH(QString, servers);
        QFETCH(QString, loggingMachine);
        QFETCH(QString, found);
        QFETCH(int, asked);
        Servers stand;
        stand.Answer(u"fs1"_s, {u"D:\\Shares\\Other.dwg"_s});
        gEnv.m_sFileServers = servers;
        gEnv.m_sLoggingMachine = loggingMachine;
        QCOMPARE(Resolve(box->Write(u"recent.xbel"_s, kXbel), u"Plan.dwg - AutoCAD"_s), found);
        QCOMPARE(stand.asked.size(), asked);
    }

    void recentDocuments_data() {
        QTest::addColumn<QByteArray>("xbel");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("found");
        QTest::newRow("newest of three") << kXbel << "Plan.dwg - AutoCAD"
                                         << "/Clients/Acme 4711/Plan.dwg";
        QTest::newRow("name without extension") << kXbel << "plan - AutoCAD"
                                                << "/Clients/Acme 4711/Plan.dwg";
        QTest::newRow("server share, blank decoded") << kXbel << "Microsoft Word - Report Q1.docx"
                                                     << "//srv/share/Report Q1.docx";
        QTest::newRow("not a file") << kXbel << "Web.dwg - Viewer"
                                    << "";
        QTest::newRow("not listed") << kXbel << "Site.dwg - AutoCAD"
                                    << "";
        QTest::newRow("not xml") << QByteArray("Plan.dwg file:///Clients/Plan.dwg\n")
                                 << "Plan.dwg - AutoCAD"
                                 << "";
        QTest::newRow("truncated") << kXbel.left(kXbel.indexOf("Older")) << "Plan.dwg - AutoCAD"
                                   << "";
        QTest::newRow("another root")
            << QByteArray("<x><bookmark href=\"file:///a/Plan.dwg\"/></x>") << "Plan.dwg - AutoCAD"
            << "";
        QTest::newRow("long title") << kXbel << QString(10000, QLatin1Char('p')) << "";
    }
    void recentDocuments() {
        QFETCH(QByteArray, xbel);
        QFETCH(QString, title);
        QFETCH(QString, found);
        QCOMPARE(Resolve(box->Write(u"recent.xbel"_s, xbel), title), found);
    }
    void recentDocumentsReadAgainWhenChanged() {
        const QString list = box->Write(u"recent.xbel"_s, kXbel);
        QCOMPARE(Resolve(list, u"Site.dwg - AutoCAD"_s), QString());
        QByteArray more = kXbel;
        more.replace("</xbel>", "<bookmark href=\"file:///Sites/Site.dwg\"/></xbel>");
        box->Write(u"recent.xbel"_s, more);
        QCOMPARE(Resolve(list, u"Site.dwg - AutoCAD"_s), u"/Sites/Site.dwg"_s);
    }

    // Shortcut files of a real folder, scanned byte by byte.
    void shortcutScan_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("found");
        const QByteArray head =
            Bytes("L\0\0\0\x01\x14\x02\0\0\0\0\0\xc0\0\0\0\0\0\0\x46\x9b\0\x08\0 \0");
        const QByteArray target = Bytes("C:\\Clients\\Acme 4711\\Plan.dwg\0");
        const QByteArray unicode = Bytes("P\0l\0a\0n\0.\0d\0w\0g\0\0\0"); // not the name
        auto padded = [&](QByteArray b, int size) { return b.leftJustified(size, '\x7f'); };
        QTest::newRow("drive path")
            << "Plan.dwg.lnk" << head + target + unicode << "Plan.dwg - AutoCAD"
            << "C:\\Clients\\Acme 4711\\Plan.dwg";
        QTest::newRow("2999 bytes")
            << "Plan.dwg.lnk" << padded(head + target, 2999) << "Plan.dwg - AutoCAD"
            << "C:\\Clients\\Acme 4711\\Plan.dwg";
        QTest::newRow("3000 bytes")
            << "Plan.dwg.lnk" << padded(head + target, 3000) << "Plan.dwg - AutoCAD"
            << "";
        QTest::newRow("empty") << "Plan.dwg.lnk" << QByteArray() << "Plan.dwg - AutoCAD"
                               << "";
        QTest::newRow("junk") << "Plan.dwg.lnk" << padded(head, 400) << "Plan.dwg - AutoCAD"
                              << "";
        QTest::newRow("unc path") << "Plan.dwg.lnk"
                                  << head + Bytes("\\\\srv\\share\\docs\\Plan.dwg\0")
                                  << "Plan.dwg - AutoCAD"
                                  << "\\\\srv\\share\\docs\\Plan.dwg";
        QTest::newRow("share and path apart")
            << "Plan.dwg.lnk" << head + Bytes("\\\\srv\\share\0\0\x10\0C:\0docs\\Plan.dwg\0")
            << "Plan.dwg - AutoCAD"
            << "\\\\srv\\share\\docs\\Plan.dwg";
        QTest::newRow("shortcut without extension, text after the name")
            << "Plan.lnk" << head + Bytes("C:\\x\\Plan.dwg~1 Q\0") << "Plan.dwg - AutoCAD"
            << "C:\\x\\Plan.dwg";
        QTest::newRow("named after the title")
            << "Report final.doc.lnk" << head + Bytes("C:\\Docs\\Report final.doc\0")
            << "Report final.doc"
            << "C:\\Docs\\Report final.doc";
    }
    void shortcutScan() {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, title);
        QFETCH(QString, found);
        box->Write(u"Recent/"_s + file, bytes);
        QCOMPARE(Resolve(box->Path(u"Recent"_s), title), found);
    }
};

QTEST_GUILESS_MAIN(TestDocumentPath)
#include "tst_documentpath.moc"
