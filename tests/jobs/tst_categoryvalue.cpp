// Category values computed from jobs: every system code, priced text entries, folder levels,
// and the placeholders shown for unknown values when values are shown at once.
#include "categories/ccategoryvalue.h"
#include "categories/cpredefinedvalue.h"
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "jobs/cprintjobinfo.h"
#include "testsupport.h"

#include <QTest>

class TestCategoryValue : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        ResetEnvironment();
        gConfigOptions.reset();
    }

    void codes_data() {
        QTest::addColumn<int>("code");         // 0: a text entry, given as "entry=..."
        QTest::addColumn<QString>("edits");    // "field=value" edits of the sample job, "&"-joined
        QTest::addColumn<QString>("expected"); // known|number|text, a text ending "*" a prefix
        QTest::addColumn<QString>("shownAtOnce"); // the placeholder of an unknown value
        struct Row {
            const char *name, *edits;
            int code;
            const char *expected, *placeholder;
        };
        const Row rows[] = {
            {"none", "", 1, "yes|0|", ""},
            {"last used, none yet", "", 2, "no|0|", ""},
            {"last used", "lastused=1234", 2, "yes|1234|1234", ""},
            {"printer", "", 10, "yes|0|Plotter A0", ""},
            {"printer empty", "printer=", 10, "no|0|", ""},
            {"user", "", 12, "yes|0|jsmith", ""},
            {"submitted", "", 14, "yes|38051.5882986111|2004/03/05 2:07:09*", ""},
            {"submitted before 2000", "date=12/31/1999 11:59:00 PM", 14, "no|0|", ""},
            {"queue", "", 15, "yes|0|\\\\SRV\\Plotter", ""},
            {"group without configuration", "", 17, "no|0|", ""},
            {"group", "group=DesignJet", 17, "yes|0|DesignJet", ""},
            {"size", "", 20, "yes|123456|123456", ""},
            {"size zero", "size=0", 20, "no|0|", ""},
            {"pages per copy", "", 21, "yes|3|3", ""},
            {"separators", "", 22, "yes|1|1", ""},
            {"record id", "", 23, "no|0|", ""},
            {"copies", "", 24, "yes|2|2", ""},
            {"total pages", "", 25, "yes|7|7", ""},
            {"total pages at 2^31-1", "pages=2147483646&copies=1", 25, "yes|2147483647|2147483647",
             ""},
            {"total pages at 2^31", "pages=2147483647&copies=1", 25, "error 6", ""},
            {"total pages, no copies", "copies=0", 25, "no|0|", "Total Pages"},
            {"paper name", "", 31, "yes|0|8.50 x 11.00 in", ""},
            {"paper size, no width", "width=0", 35, "no|0|", "Paper Size"},
            {"width", "", 32, "yes|8.5|8.50", ""},
            {"width 0", "width=0", 32, "no|0|", "Paper Width"},
            {"height 0", "height=0", 33, "no|0|", "Paper Height"},
            {"area per sheet", "", 34, "yes|0.649305555555556|0.65", ""},
            {"total area", "", 37, "yes|3.89583333333333|3.90", ""},
            {"total area, no copies", "copies=0", 37, "no|0|", "Total Paper Area"},
            {"media", "", 38, "yes|0|Bond", ""},
            {"media spooling", "media=Spooling", 38, "no|0|", "Media Type"},
            {"orientation", "", 39, "yes|0|Portrait", ""},
            {"summary empty", "", 40, "no|0|", ""},
            {"path", "", 41, "yes|0|C:\\Clients\\4711 Acme\\Plan.doc", ""},
            {"colour", "", 42, "yes|0|Color", ""},
            {"colour in lower case", "color=color", 42, "no|0|", "Color-Monochrome"},
            {"level 1", "", 81, "yes|0|Clients", ""},
            {"level 2", "", 82, "yes|0|4711 Acme", ""},
            {"level 3 is the file", "", 83, "no|0|", ""},
            {"unc level 1", "path=\\\\server\\share\\x.doc", 81, "no|0|", ""},
            {"unc level 2", "path=\\\\server\\share\\x.doc", 82, "yes|0|server", ""},
            {"unix level 2", "path=/srv/7788/x.doc", 82, "yes|7788|7788", ""},
            {"auto level", "", 90, "yes|4711|4711", ""},
            {"auto level, no path", "path=", 90, "no|0|", ""},
            {"auto level with the file", "path=/srv/a/Job 123456.pdf", 89, "yes|123456|123456", ""},
            {"auto level without the file", "path=/srv/a/Job 123456.pdf", 90, "no|0|", ""},
            {"longest code wins", "path=C:\\C\\Acme 4711\\D\\Plan 12.dwg", 89, "yes|4711|4711", ""},
            {"price per page", "entry=0.05 - ($)Cost per page", 0, "yes|0.3|0.30", ""},
            {"by page, any case", "entry=0.05 | ($)cost BY page", 0, "yes|0.3|0.30", ""},
            {"per square foot", "entry=0.05 - ($)Cost per square foot", 0, "yes|0.19|0.19", ""},
            {"semicolon", "entry=2 ; ($)Cost per page", 0, "yes|12|12.00", ""},
            {"word rate", "entry=cheap - ($)Cost per page", 0, "yes|0|cheap - ($)Cost per page",
             ""},
            {"no label", "entry=Acme - Smith", 0, "yes|0|Acme - Smith", ""},
            {"plain number", "entry=1234", 0, "yes|1234|1234", ""},
        };
        for (const Row& r : rows)
            QTest::newRow(r.name) << r.code << QString::fromLatin1(r.edits)
                                  << QString::fromLatin1(r.expected)
                                  << QString::fromLatin1(r.placeholder);
    }
    void codes() {
        QFETCH(int, code);
        QFETCH(QString, edits);
        QFETCH(QString, expected);
        QFETCH(QString, shownAtOnce);
        Sandbox box;
        CPrintJobInfo job = SampleJob();
        CPreDefinedValue entry;
        entry.IsSystemEntry = code != 0;
        entry.SystemCode = code;
        for (const QString& e : edits.split(u'&', Qt::SkipEmptyParts)) {
            const QString key = e.section(u'=', 0, 0), v = e.section(u'=', 1);
            if (key == u"entry"_s) entry.EntryText = v;
            if (key == u"printer"_s) job.PrinterName = v;
            if (key == u"date"_s) QVERIFY(CDate::Parse(v, &job.SubmitDT));
            if (key == u"size"_s) job.JobSizeBytes = v.toInt();
            if (key == u"pages"_s) job.PagesPerCopy = v.toInt();
            if (key == u"copies"_s) job.NumCopies = v.toInt();
            if (key == u"width"_s) job.PaperWidth = v.toDouble();
            if (key == u"height"_s) job.PaperHeight = v.toDouble();
            if (key == u"media"_s) job.MediaType = v;
            if (key == u"color"_s) job.Color = v;
            if (key == u"path"_s) job.PathAndFilename = v;
            if (key == u"lastused"_s) SaveSettingText(u"LastUsed"_s, u"Cat"_s, v);
            if (key == u"group"_s) {
                gConfigOptions = std::make_shared<CConfigOptions>();
                gConfigOptions->PrinterGroups.NewCPrinterGroup()->PrinterGroupName = v;
            }
        }
        for (const bool atOnce : {false, true}) {
            gEnv.m_sDisplayImmediately = atOnce ? u"True"_s : u"False"_s;
            if (atOnce && !shownAtOnce.isEmpty()) expected = u"yes|0|"_s + shownAtOnce;
            CCategoryValue value;
            CError err;
            const bool ok = value.ConvertPreDefinedValue(entry, job, u"Cat"_s, &err);
            const QString got =
                !ok ? u"error %1"_s.arg(err.number)
                    : value.ValueName + (value.ValueKnown ? u"|yes|"_s : u"|no|"_s) +
                          QString::number(value.ValueNumeric, 'g', 15) + u'|' + value.ValueString;
            const QString want = ok ? u"Cat|"_s + expected : expected;
            if (want.endsWith(u'*'))
                QVERIFY2(got.startsWith(want.chopped(1)), qPrintable(got));
            else
                QCOMPARE(got, want);
        }
    }

    void levelCodes_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("code");
        QTest::newRow("number first") << u"4711 Acme Corp"_s << u"4711"_s;
        QTest::newRow("number last") << u"Acme 4711"_s << u"4711"_s;
        QTest::newRow("no number") << u"Acme"_s << u""_s;
        QTest::newRow("all digits") << u"2004"_s << u"2004"_s;
        QTest::newRow("drive") << u"C:"_s << u""_s;
        QTest::newRow("dashed") << u"12-3456 Plans"_s << u"12-3456"_s;
        QTest::newRow("short number") << u"Plan 12"_s << u"12"_s;
        QTest::newRow("empty") << u""_s << u""_s;
        QTest::newRow("nul cut") << u"77"_s + QChar(0) + u"x"_s << u"77"_s;
        QTest::newRow("trailing junk") << u"123-- Job"_s << u"123"_s;
    }
    void levelCodes() {
        QFETCH(QString, name);
        QFETCH(QString, code);
        QCOMPARE(ExtractLevelCode(name), code);
    }
};

QTEST_GUILESS_MAIN(TestCategoryValue)
#include "tst_categoryvalue.moc"
