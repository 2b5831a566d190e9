// Where a printed document lives: the title's parts, open files on the file servers (through a
// stand-in), the desktop's recent documents and shortcut files.
#include "common/bcommon.h"
#include "common/environment.h"
#include "jobs/documentpath.h"
#include "platform/openfiles.h"
#include "testsupport.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {
// fs1 holds the given paths open ("<fail>": its request fails); other servers hold nothing.
struct Servers {
    QStringList asked; // "server user wait"
    explicit Servers(const QStringList& open, int delayMs = 0) {
        Platform::SetOpenFilesDouble([=, this](const QString& s, const QString& u, int wait) {
            asked << u"%1 %2 %3"_s.arg(s, u).arg(wait);
            Platform::OpenFiles files{!open.contains(u"<fail>"_s), {}};
            for (const QString& p : open)
                if (s == u"fs1"_s) files.files << Platform::OpenFile{p, u};
            return Platform::OpenFilesAnswer{files, delayMs};
        });
    }
    ~Servers() { Platform::SetOpenFilesDouble({}); }
};

// moc reads no raw strings.
const QByteArray kXbel =
    "<?xml version=\"1.0\"?>\n<xbel version=\"1.0\" xmlns:mime=\"http://x/mime\">\n"
    "<bookmark href=\"file:///Old/Plan.dwg\" modified=\"2024-03-01T09:05:00Z\"/>\n"
    "<bookmark href=\"file:///Clients/Acme%204711/Plan.dwg\" modified=\"2024-03-15T09:05:00.250Z\">"
    "<info><metadata><mime:mime-type type=\"image/vnd.dwg\"/></metadata></info></bookmark>\n"
    "<bookmark href=\"file:///Older/Plan.dwg\" modified=\"2024-02-01T09:05:00Z\"/>\n"
    "<bookmark href=\"https://example.com/Web.dwg\"/>\n<bookmark modified=\"2024-03-15\"/>\n"
    "<bookmark href=\"file://srv/share/Report%20Q1.docx\"/>\n</xbel>\n";
const QString kRecent = u"/Clients/Acme 4711/Plan.dwg"_s, kPlan = u"Plan.dwg - AutoCAD"_s;

struct Lookup {
    QStringList open, names;
    QString found;
    QStringList after;
};
// A title resolved against the desktop's list (or a folder holding the shortcut file lnk).
struct Row {
    QByteArray list;
    QString title, found, lnk = {};
    QString servers = u"ServerName"_s, loggingMachine = u"LOGSRV"_s;
    int delay = 0;
    QStringList asked = {};
    qint64 waited = 0;
};
} // namespace
Q_DECLARE_METATYPE(Lookup)
Q_DECLARE_METATYPE(Row)

class TestDocumentPath : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> box;

private Q_SLOTS:
    void init() {
        box = std::make_unique<Sandbox>();
        gEnv.m_sMachineName = u"HOSTA"_s;
    }
    void cleanup() { box.reset(); }

    // "~" stands for a NUL.
    void split_data() {
        Table(
            "title left right",
            {"application after dash¦Plan.dwg - AutoCAD¦Plan.dwg¦AutoCAD",
             "word¦Microsoft Word - Report.doc¦Report.doc¦",
             "photo editor¦Microsoft Photo Editor - Photo 1.jpg¦Photo 1.jpg¦",
             "power point¦Microsoft Power Point - Slides.ppt¦Slides.ppt¦",
             "other microsoft program¦Microsoft Excel - Book1.xls¦¦Book1.xls",
             "print with parentheses¦Print Plan (A1)¦Print¦Plan",
             "print is case-sensitive¦print plan (A1)¦print¦", "model¦Site.dwg Model (1)¦Site.dwg¦",
             "layout¦CAD - Site.dwg Layout1 (1)¦CAD - Site.dwg¦Site.dwg Layout1 (1)",
             "first blank¦Report final.doc¦Report¦final.doc", "nul¦Plan.dwg~junk - x~y¦Plan.dwg¦x",
             "only blanks¦   ¦¦", "leading blank¦ Plan¦Plan¦Plan", "only dash¦-¦-¦",
             "open parenthesis only¦Plan (draft¦Plan¦(draft", "parentheses reversed¦)(¦)(¦",
             "parenthesis first¦(x) y¦(x)¦y"});
        QTest::newRow("10000 characters")
            << QString(10000, u'a') << QString(10000, u'a') << QString();
    }
    void split() {
        QFETCH(QString, title);
        QFETCH(QString, left);
        QFETCH(QString, right);
        QCOMPARE(SplitTitle(title.replace(u'~', QChar(0))), (CTitleParts{left, right}));
    }

    // Placeholders and paths come back as they are; other titles are looked for on the
    // servers (one may take 3 s, all together 5 s), then, unless this is the logging machine,
    // in the desktop's list or a folder of shortcut files, scanned byte by byte.
    void resolve_data() {
        QTest::addColumn<Row>("r");
        auto row = [](const char* name, const QString& title, const QString& found,
                      const QByteArray& list = kXbel, const QString& lnk = {}) {
            QTest::newRow(name) << Row{list, title, found, lnk};
        };
        for (const QString& title : {u"UNTITLED - Plan.dwg"_s, u"Test Page"_s, u"LpT1: Plan.dwg"_s,
                                     u"C:\\Docs\\Plan.dwg"_s, u"\\\\srv\\x\\Plan.dwg"_s})
            row(qPrintable(title), title, title);
        row("slash path, cut at nul", u"/home/Plan.dwg\0x"_s, u"/home/Plan.dwg"_s);
        row("slash inside is no path", u"Plan.dwg - 2024/03"_s, kRecent);
        row("newest of three", kPlan, kRecent);
        row("without extension", u"plan - AutoCAD"_s, kRecent);
        row("share, blank decoded", u"Microsoft Word - Report Q1.docx"_s,
            u"//srv/share/Report Q1.docx"_s);
        row("not a file", u"Web.dwg - Viewer"_s, {});
        row("not listed", u"Site.dwg - AutoCAD"_s, {});
        row("not xml", kPlan, {}, "Plan.dwg file:///Clients/Plan.dwg");
        row("truncated", kPlan, {}, kXbel.left(kXbel.indexOf("Older")));
        row("another root", kPlan, {}, "<x><bookmark href=\"file:///P.dwg\"/></x>");
        row("long title", QString(10000, u'p'), {});

        auto servers = [](const char* name, const QString& list, const QString& logging, int delay,
                          const QStringList& asked, const QString& found, qint64 waited) {
            QTest::newRow(name) << Row{kXbel,   kPlan, found, {},    list,
                                       logging, delay, asked, waited};
        };
        const QString fs1 = u"fs1 jsmith 3000"_s, fs2 = u"fs2 jsmith 3000"_s, log = u"LOGSRV"_s;
        servers("answer at 3 s", u"fs1"_s, log, 3000, {fs1}, u"fs1|D:\\Plan.dwg"_s, 3000);
        servers("no answer in 3 s", u"fs1"_s, log, 3001, {fs1}, kRecent, 3000);
        servers("5 s for all", u"fs2, fs3 ,fs4"_s, log, 2500, {fs2, u"fs3 jsmith 2500"_s}, kRecent,
                5000);
        servers("empty item ends the list", u"fs2,,fs1"_s, log, 0, {fs2}, kRecent, 0);
        servers("logging machine", u"fs2"_s, u"logsrv,hosta"_s, 0, {fs2}, {}, 0);

        const QByteArray head = "L\0\0\0\x01\x14\x02\0\0\0\xc0\0\0\0\x46\x9b\0\x08\0 \0"_ba;
        const QByteArray target = head + "C:\\A 4711\\Plan.dwg\0P\0l\0a\0n\0.\0d\0w\0g\0"_ba;
        const QString lnk = u"Plan.dwg.lnk"_s, path = u"C:\\A 4711\\Plan.dwg"_s;
        row("shortcut of 2999 bytes", kPlan, path, target.leftJustified(2999, '\x7f'), lnk);
        row("shortcut of 3000 bytes", kPlan, {}, target.leftJustified(3000, '\x7f'), lnk);
        row("empty shortcut", kPlan, {}, {}, lnk);
        row("junk shortcut", kPlan, {}, head.leftJustified(400, '\x9b'), lnk);
        row("shortcut to a share", kPlan, u"\\\\srv\\share\\d\\Plan.dwg"_s,
            head + "\\\\srv\\share\\d\\Plan.dwg\0"_ba, lnk);
        row("share and path apart, separator dropped", kPlan, u"\\\\srv\\share\\d\\Plan.dwg"_s,
            head + "\\\\srv\\share\\\0\x10\0C:\0d\\Plan.dwg\0"_ba, lnk);
        row("shortcut without extension, text after the name", kPlan, u"C:\\x\\Plan.dwg"_s,
            head + "C:\\x\\Plan.dwg~1 Q\0"_ba, u"Plan.lnk"_s);
        row("shortcut named after the title", kPlan, u"C:\\D\\Plan.dwg - AutoCAD"_s,
            head + "C:\\D\\Plan.dwg - AutoCAD\0"_ba, kPlan + u".lnk"_s);
    }
    void resolve() {
        QFETCH(Row, r);
        FakeClock clock;
        Servers stand({u"D:\\Plan.dwg"_s}, r.delay);
        gEnv.m_sFileServers = r.servers;
        gEnv.m_sLoggingMachine = r.loggingMachine;
        const QString list =
            box->Write(r.lnk.isEmpty() ? u"recent.xbel"_s : u"Recent/"_s + r.lnk, r.list);
        const QString folder = r.lnk.isEmpty() ? list : box->Path(u"Recent"_s);
        QCOMPARE(GetPathAndFilename(folder, r.title, u"jsmith"_s), r.found);
        QCOMPARE(stand.asked, r.asked);
        QCOMPARE(clock.Paused(), r.waited);
    }
    void listReadAgainWhenChanged() {
        const QString list = box->Write(u"recent.xbel"_s, kXbel);
        QCOMPARE(GetPathAndFilename(list, u"Site.dwg - AutoCAD"_s, u"jsmith"_s), QString());
        box->Write(
            u"recent.xbel"_s,
            QByteArray(kXbel).replace("</xbel>", "<bookmark href=\"file:///S/Site.dwg\"/></xbel>"));
        QCOMPARE(GetPathAndFilename(list, u"Site.dwg - AutoCAD"_s, u"jsmith"_s), u"/S/Site.dwg"_s);
    }

    // The candidate rule of the open-files search, and what becomes of the caller's names.
    void findOpenFile_data() {
        QTest::addColumn<Lookup>("r");
        const QStringList names{u"Plan.dwg"_s, {}, u"Plan.dwg - AutoCAD"_s};
        const QStringList bare{u"Plan"_s, {}, u"Plan"_s}, none{{}, {}, {}};
        const QString plan = u"D:\\S\\Plan.dwg"_s;
        QTest::newRow("server path") << Lookup{{plan}, names, plan, bare};
        QTest::newRow("failed request") << Lookup{{u"<fail>"_s, plan}, names, {}, names};
        QTest::newRow("short, a folder, here: no candidates")
            << Lookup{{u"Plan"_s, u"D:\\Plan\\"_s, u"<here>"_s}, names, {}, names};
        const QStringList here{u"<here>"_s, u"D:\\Other.doc"_s, u"\\\\srv\\Plan.dwg"_s};
        QTest::newRow("first candidate strips") << Lookup{here, names, here[2], bare};
        const QStringList v2{u"D:\\Other.doc"_s, u"D:\\Plan.v2.dwg"_s};
        QTest::newRow("stripped once")
            << Lookup{v2, QStringList{u"Plan.v2.dwg"_s, {}, {}}, v2[1], {u"Plan.v2"_s, {}, {}}};
        QTest::newRow("exact names") << Lookup{{u"D:\\plan.dwg"_s}, names, {}, bare};
        QTest::newRow("empty name") << Lookup{{u"D:\\a\\.dwg"_s}, names, {}, bare};
        QTest::newRow("no names") << Lookup{{plan}, none, {}, none};
    }
    void findOpenFile() {
        QFETCH(Lookup, r);
        Servers servers(r.open.replaceInStrings(u"<here>"_s, box->Write(u"Plan.dwg"_s, "x")));
        QCOMPARE(FindOpenFile(u"\\\\fs1"_s, u"jsmith"_s, r.names[0], r.names[1], r.names[2]),
                 r.found);
        QCOMPARE(r.names, r.after);
        QCOMPARE(servers.asked, QStringList{u"fs1 jsmith 3000"_s});
    }
};

QTEST_GUILESS_MAIN(TestDocumentPath)
#include "tst_documentpath.moc"
