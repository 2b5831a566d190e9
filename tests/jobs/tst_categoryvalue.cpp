// Category values computed from jobs: every system code, priced text entries, folder levels,
// and the placeholders shown for unknown values when values are shown at once.
#include "categories/ccategoryvalue.h"
#include "categories/cpredefinedvalue.h"
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "jobs/cprintjobinfo.h"
#include "testsupport.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestCategoryValue : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        ResetEnvironment();
        gConfigOptions.reset();
    }

    // code 0: a text entry, given as "entry=..."; edits: "field=value" edits of the sample
    // job, "&"-joined; expected: known|number|text, a text ending "*" a prefix; shownAtOnce:
    // the placeholder of an unknown value.
    void codes_data() {
        Table("code edits expected shownAtOnce",
              {"none¦1¦¦yes|0|¦",
               "last used, none yet¦2¦¦no|0|¦",
               "last used¦2¦lastused=1234¦yes|1234|1234¦",
               "printer¦10¦¦yes|0|Plotter A0¦",
               "printer empty¦10¦printer=¦no|0|¦",
               "user¦12¦¦yes|0|jsmith¦",
               "submitted¦14¦¦yes|38051.5882986111|2004/03/05 2:07:09*¦",
               "submitted before 2000¦14¦date=12/31/1999 11:59:59 PM¦no|0|¦",
               "submitted in 2000¦14¦date=1/1/2000 0:00:00¦yes|36526|2000/01/01 *¦",
               "queue¦15¦¦yes|0|\\\\SRV\\Plotter¦",
               "group without configuration¦17¦¦no|0|¦",
               "group¦17¦group=DesignJet¦yes|0|DesignJet¦",
               "size¦20¦¦yes|123456|123456¦",
               "size zero¦20¦size=0¦no|0|¦",
               "pages per copy¦21¦¦yes|3|3¦",
               "separators¦22¦¦yes|1|1¦",
               "record id¦23¦¦no|0|¦",
               "copies¦24¦¦yes|2|2¦",
               "total pages¦25¦¦yes|7|7¦",
               "total pages at 2^31-1¦25¦pages=2147483646&copies=1¦yes|2147483647|2147483647¦",
               "total pages at 2^31¦25¦pages=2147483647&copies=1¦error 6¦",
               "total pages at -2^31¦25¦pages=-2147483647&copies=1&separators=-1¦no|0|¦Total Pages",
               "total pages below -2^31¦25¦pages=-2147483648&copies=1&separators=-1¦error 6¦",
               "total pages, no copies¦25¦copies=0¦no|0|¦Total Pages",
               "paper name¦31¦¦yes|0|8.50 x 11.00 in¦",
               "paper size, no width¦35¦width=0¦no|0|¦Paper Size",
               "width¦32¦¦yes|8.5|8.50¦",
               "width 0¦32¦width=0¦no|0|¦Paper Width",
               "height 0¦33¦height=0¦no|0|¦Paper Height",
               "area per sheet¦34¦¦yes|0.649305555555556|0.65¦",
               "total area¦37¦¦yes|3.89583333333333|3.90¦",
               "total area, no copies¦37¦copies=0¦no|0|¦Total Paper Area",
               "media¦38¦¦yes|0|Bond¦",
               "media spooling¦38¦media=Spooling¦no|0|¦Media Type",
               "orientation¦39¦¦yes|0|Portrait¦",
               "summary empty¦40¦¦no|0|¦",
               "path¦41¦¦yes|0|C:\\Clients\\4711 Acme\\Plan.doc¦",
               "colour¦42¦¦yes|0|Color¦",
               "colour in lower case¦42¦color=color¦no|0|¦Color-Monochrome",
               "level 1¦81¦¦yes|0|Clients¦",
               "level 2¦82¦¦yes|0|4711 Acme¦",
               "level 3 is the file¦83¦¦no|0|¦",
               "unc level 1¦81¦path=\\\\server\\share\\x.doc¦no|0|¦",
               "unc level 2¦82¦path=\\\\server\\share\\x.doc¦yes|0|server¦",
               "unix level 2¦82¦path=/srv/7788/x.doc¦yes|7788|7788¦",
               "auto level¦90¦¦yes|4711|4711¦",
               "auto level, no path¦90¦path=¦no|0|¦",
               "auto level with the file¦89¦path=/srv/a/Job 123456.pdf¦yes|123456|123456¦",
               "auto level without the file¦90¦path=/srv/a/Job 123456.pdf¦no|0|¦",
               "longest code wins¦89¦path=C:\\C\\Acme 4711\\D\\Plan 12.dwg¦yes|4711|4711¦",
               "price per page¦0¦entry=0.05 - ($)Cost per page¦yes|0.3|0.30¦",
               "by page, any case¦0¦entry=0.05 | ($)cost BY page¦yes|0.3|0.30¦",
               "per square foot¦0¦entry=0.05 - ($)Cost per square foot¦yes|0.19|0.19¦",
               "semicolon¦0¦entry=2 ; ($)Cost per page¦yes|12|12.00¦",
               "word rate¦0¦entry=cheap - ($)Cost per page¦yes|0|cheap - ($)Cost per page¦",
               "no label¦0¦entry=Acme - Smith¦yes|0|Acme - Smith¦",
               "plain number¦0¦entry=1234¦yes|1234|1234¦"});
    }
    void codes() {
        QFETCH(QString, code);
        QFETCH(QString, edits);
        QFETCH(QString, expected);
        QFETCH(QString, shownAtOnce);
        Sandbox box;
        CPrintJobInfo job = SampleJob();
        CPreDefinedValue entry;
        entry.SystemCode = code.toInt();
        entry.IsSystemEntry = entry.SystemCode != 0;
        for (const QString& e : edits.split(u'&', Qt::SkipEmptyParts)) {
            const QString key = e.section(u'=', 0, 0), v = e.section(u'=', 1);
            if (key == u"entry"_s) entry.EntryText = v;
            if (key == u"printer"_s) job.PrinterName = v;
            if (key == u"date"_s) QVERIFY(CDate::Parse(v, &job.SubmitDT));
            if (key == u"size"_s) job.JobSizeBytes = v.toInt();
            if (key == u"pages"_s) job.PagesPerCopy = v.toInt();
            if (key == u"copies"_s) job.NumCopies = v.toInt();
            if (key == u"separators"_s) job.SeparatorPages = v.toInt();
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
        Table("name code", {"number first¦4711 Acme Corp¦4711", "number last¦Acme 4711¦4711",
                            "no number¦Acme¦", "all digits¦2004¦2004", "drive¦C:¦",
                            "dashed¦12-3456 Plans¦12-3456", "short number¦Plan 12¦12", "empty¦¦",
                            "nul cut¦77~x¦77", "trailing junk¦123-- Job¦123",
                            "leading blank¦ Acme 4711¦4711", "blank before a letter¦1 A2¦1"});
    }
    void levelCodes() {
        QFETCH(QString, name);
        QTEST(ExtractLevelCode(name.replace(u'~', QChar(0))), "code");
    }
};

QTEST_GUILESS_MAIN(TestCategoryValue)
#include "tst_categoryvalue.moc"
