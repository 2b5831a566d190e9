// Category values computed from jobs: every system code, priced text entries, folder levels.
#include "categories/ccategoryvalue.h"
#include "categories/cpredefinedvalue.h"
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "jobs/cprintjobinfo.h"
#include "testsupport.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {
CPreDefinedValue Code(int code) {
    CPreDefinedValue v;
    v.IsSystemEntry = true;
    v.SystemCode = code;
    return v;
}
CPreDefinedValue Text(const QString& text) {
    CPreDefinedValue v;
    v.EntryText = text;
    return v;
}
} // namespace

class TestCategoryValue : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { ResetEnvironment(); }

    void codes_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("field"); // field=value edit of the sample job, or ""
        QTest::addColumn<bool>("known");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number");
        QTest::newRow("none") << 1 << "" << true << "" << 0.0;
        QTest::newRow("printer") << 10 << "" << true << "Plotter A0" << 0.0;
        QTest::newRow("printer empty") << 10 << "printer=" << false << "" << 0.0;
        QTest::newRow("user") << 12 << "" << true << "jsmith" << 0.0;
        QTest::newRow("queue") << 15 << "" << true << "\\\\SRV\\Plotter" << 0.0;
        QTest::newRow("size") << 20 << "" << true << "123456" << 123456.0;
        QTest::newRow("size zero") << 20 << "size=0" << false << "" << 0.0;
        QTest::newRow("pages per copy") << 21 << "" << true << "3" << 3.0;
        QTest::newRow("separators") << 22 << "" << true << "1" << 1.0;
        QTest::newRow("record id") << 23 << "" << false << "" << 0.0;
        QTest::newRow("copies") << 24 << "" << true << "2" << 2.0;
        QTest::newRow("total pages") << 25 << "" << true << "7" << 7.0;
        QTest::newRow("total pages no copies") << 25 << "copies=0" << false << "" << 0.0;
        QTest::newRow("paper name") << 31 << "" << true << "8.50 x 11.00 in" << 0.0;
        QTest::newRow("paper size no width") << 35 << "width=0" << false << "" << 0.0;
        QTest::newRow("width") << 32 << "" << true << "8.50" << 8.5;
        QTest::newRow("area per sheet") << 34 << "" << true << "0.65" << 8.5 * 11 / 144;
        QTest::newRow("total area") << 37 << "" << true << "3.90" << 8.5 * 11 * 6 / 144;
        QTest::newRow("media") << 38 << "" << true << "Bond" << 0.0;
        QTest::newRow("media spooling") << 38 << "media=Spooling" << false << "" << 0.0;
        QTest::newRow("orientation") << 39 << "" << true << "Portrait" << 0.0;
        QTest::newRow("summary empty") << 40 << "" << false << "" << 0.0;
        QTest::newRow("path") << 41 << "" << true << "C:\\Clients\\4711 Acme\\Plan.doc" << 0.0;
        QTest::newRow("colour") << 42 << "" << true << "Color" << 0.0;
        QTest::newRow("colour lower case") << 42 << "color=color" << false << "" << 0.0;
        QTest::newRow("level 1") << 81 << "" << true << "Clients" << 0.0;
        QTest::newRow("level 2 numeric") << 82 << "" << true << "4711 Acme" << 0.0;
        QTest::newRow("level 3 is the file") << 83 << "" << false << "" << 0.0;
        QTest::newRow("unc level 1") << 81 << "path=\\\\server\\share\\x.doc" << false << "" << 0.0;
        QTest::newRow("unc level 2")
            << 82 << "path=\\\\server\\share\\x.doc" << true << "server" << 0.0;
        QTest::newRow("unix level 2") << 82 << "path=/srv/7788/x.doc" << true << "7788" << 7788.0;
        QTest::newRow("auto level") << 90 << "" << true << "4711" << 4711.0;
        QTest::newRow("no path") << 90 << "path=" << false << "" << 0.0;
    }
    void codes() {
        QFETCH(int, code);
        QFETCH(QString, field);
        QFETCH(bool, known);
        QFETCH(QString, text);
        QFETCH(double, number);
        Sandbox box;
        CPrintJobInfo job = SampleJob();
        if (!field.isEmpty()) {
            const QString key = field.section(QLatin1Char('='), 0, 0),
                          v = field.section(QLatin1Char('='), 1);
            if (key == QLatin1String("printer")) job.PrinterName = v;
            if (key == QLatin1String("size")) job.JobSizeBytes = v.toInt();
            if (key == QLatin1String("copies")) job.NumCopies = v.toInt();
            if (key == QLatin1String("width")) job.PaperWidth = v.toDouble();
            if (key == QLatin1String("media")) job.MediaType = v;
            if (key == QLatin1String("color")) job.Color = v;
            if (key == QLatin1String("path")) job.PathAndFilename = v;
        }
        CCategoryValue value;
        QVERIFY(value.ConvertPreDefinedValue(Code(code), job, u"Cat"_s));
        QCOMPARE(value.ValueName, u"Cat"_s);
        QCOMPARE(value.ValueKnown, known);
        QCOMPARE(value.ValueString, text);
        QVERIFY(qAbs(value.ValueNumeric - number) < 1e-9);
    }
    void submittedDate() {
        Sandbox box;
        CPrintJobInfo job = SampleJob();
        CCategoryValue v;
        v.ConvertPreDefinedValue(Code(14), job, u"When"_s);
        QVERIFY(v.ValueKnown);
        QVERIFY2(v.ValueString.startsWith(u"2004/03/05 2:07:09"_s), qPrintable(v.ValueString));
        QCOMPARE(v.ValueNumeric, job.SubmitDT.Days());
        CDate::Parse(u"12/31/1999 11:59:00 PM"_s, &job.SubmitDT);
        v.ConvertPreDefinedValue(Code(14), job, u"When"_s);
        QVERIFY(!v.ValueKnown);
    }
    void placeholders_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("placeholder");
        QTest::newRow("25") << 25 << "Total Pages";
        QTest::newRow("31") << 31 << "Paper Size";
        QTest::newRow("32") << 32 << "Paper Width";
        QTest::newRow("33") << 33 << "Paper Height";
        QTest::newRow("37") << 37 << "Total Paper Area";
        QTest::newRow("38") << 38 << "Media Type";
        QTest::newRow("42") << 42 << "Color-Monochrome";
    }
    void placeholders() {
        QFETCH(int, code);
        QFETCH(QString, placeholder);
        Sandbox box;
        CPrintJobInfo empty; // nothing known
        empty.MediaType = u"Spooling"_s;
        CCategoryValue v;
        v.ConvertPreDefinedValue(Code(code), empty, u"C"_s);
        QVERIFY(!v.ValueKnown);
        QCOMPARE(v.ValueString, QString());
        gEnv.m_sDisplayImmediately = u"True"_s;
        v.ConvertPreDefinedValue(Code(code), empty, u"C"_s);
        QVERIFY(v.ValueKnown);
        QCOMPARE(v.ValueString, placeholder);
    }
    void lastUsedAndGroup() {
        Sandbox box;
        CPrintJobInfo job = SampleJob();
        CCategoryValue v;
        v.ConvertPreDefinedValue(Code(2), job, u"Client"_s);
        QVERIFY(!v.ValueKnown);
        SaveSettingText(u"LastUsed"_s, u"Client"_s, u"1234"_s);
        v.ConvertPreDefinedValue(Code(2), job, u"Client"_s);
        QVERIFY(v.ValueKnown);
        QCOMPARE(v.ValueString, u"1234"_s);
        QCOMPARE(v.ValueNumeric, 1234.0);
        v.ConvertPreDefinedValue(Code(17), job, u"G"_s);
        QVERIFY(!v.ValueKnown); // no configuration loaded: no group
        gConfigOptions = std::make_shared<CConfigOptions>();
        gConfigOptions->PrinterGroups.NewCPrinterGroup()->PrinterGroupName = u"DesignJet"_s;
        v.ConvertPreDefinedValue(Code(17), job, u"G"_s);
        QCOMPARE(v.ValueString, u"DesignJet"_s);
        gConfigOptions.reset();
    }
    void overflowIsAnError() {
        CPrintJobInfo job = SampleJob();
        job.PagesPerCopy = 70000;
        job.NumCopies = 70000;
        CCategoryValue v;
        CError err;
        QVERIFY(!v.ConvertPreDefinedValue(Code(25), job, u"T"_s, &err));
        QCOMPARE(err.number, 6);
    }
    void textEntries_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number");
        QTest::newRow("per page") << "0.05 - ($)Cost per page"
                                  << "1.50" << 1.5;
        QTest::newRow("by page bar") << "0.05 | ($)cost BY page"
                                     << "1.50" << 1.5;
        QTest::newRow("square foot") << "0.05 - ($)Cost per square foot"
                                     << "0.97" << 0.97;
        QTest::newRow("word rate") << "cheap - ($)Cost per page"
                                   << "cheap - ($)Cost per page" << 0.0;
        QTest::newRow("no label") << "Acme - Smith"
                                  << "Acme - Smith" << 0.0;
        QTest::newRow("plain number") << "1234"
                                      << "1234" << 1234.0;
        QTest::newRow("semicolon") << "2 ; ($)Cost per page"
                                   << "60.00" << 60.0;
    }
    void textEntries() {
        QFETCH(QString, entry);
        QFETCH(QString, text);
        QFETCH(double, number);
        CPrintJobInfo job = SampleJob();
        job.PagesPerCopy = 10;
        job.NumCopies = 3;
        CCategoryValue v;
        v.ConvertPreDefinedValue(Text(entry), job, u"Cost"_s);
        QVERIFY(v.ValueKnown);
        QCOMPARE(v.ValueString, text);
        QCOMPARE(v.ValueNumeric, number);
    }
    void levelCodes_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("code");
        QTest::newRow("number first") << "4711 Acme Corp"
                                      << "4711";
        QTest::newRow("number last") << "Acme 4711"
                                     << "4711";
        QTest::newRow("no number") << "Acme"
                                   << "";
        QTest::newRow("all digits") << "2004"
                                    << "2004";
        QTest::newRow("drive") << "C:"
                               << "";
        QTest::newRow("dashed") << "12-3456 Plans"
                                << "12-3456";
        QTest::newRow("short number") << "Plan 12"
                                      << "12";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("nul cut") << u"77"_s + QChar(0) + u"x"_s << "77";
        QTest::newRow("trailing junk") << "123-- Job"
                                       << "123";
    }
    void levelCodes() {
        QFETCH(QString, name);
        QFETCH(QString, code);
        QCOMPARE(ExtractLevelCode(name), code);
    }
    void autoLevel() {
        const QString p = u"C:\\Clients\\Acme 4711\\Drawings\\Plan 12.dwg"_s;
        QCOMPARE(AutoDirectoryLevel(p, false), u"4711"_s);
        QCOMPARE(AutoDirectoryLevel(p, true), u"4711"_s);
        QCOMPARE(AutoDirectoryLevel(u"/srv/a/Job 123456.pdf"_s, true), u"123456"_s);
        QCOMPARE(AutoDirectoryLevel(u"/srv/a/Job 123456.pdf"_s, false), QString());
    }
};

QTEST_GUILESS_MAIN(TestCategoryValue)
#include "tst_categoryvalue.moc"
