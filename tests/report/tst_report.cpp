// qorvlog --report as administrators run it, on a real SQLite file and a real PostgreSQL
// server holding the same jobs: the per-job listing with its category columns, the totals by
// categories, the selection by date and user, the output file and the exit codes.
#include "databases.h"
#include "jobs/bdataaccess.h"
#include "platform/clock.h"
#include "platform/database.h"
#include "report/breport.h"
#include "testsupport.h"

#include <QDir>
#include <QTest>

namespace {
// In RecordID order: submitted (wall-clock time as stored), user, document, pages, colour and
// the values "Category|text", joined by ";". 2 November 2004 began at 01:00 in Sao Paulo: its
// clocks skipped midnight.
const QStringList kJobs{
    u"2004-11-04 00:00:00¦jsmith¦Plan.dwg¦4¦Color¦Matter|4711;Client|Acme"_s,
    u"2004-11-01 23:59:59¦jsmith¦Offer, final \"v2\".doc¦2¦Monochrome¦Client|Müller, \"Söhne\" & "
    "Ærø;Matter|4711"_s,
    u"2004-11-02 00:00:00¦JSmith¦Brief.pdf¦3¦Monochrome¦Client|Acme"_s,
    u"2004-11-03 23:59:59¦ablack¦Memo.txt¦1¦Monochrome¦Matter|0815"_s,
    u"2004-11-02 00:00:00¦ÖZIL¦Scan.pdf¦5¦Color¦"_s,
    u"2004-11-03 12:00:00¦jsmith¦Notes.doc¦6¦Color¦Client|Acme;Matter|0815"_s};
QString Field(int id, int i) {
    return kJobs[id - 1].section(u'¦', i, i);
}

const QString kHeader = u"RecordID,SubmitDT,UserName,MachineName,PrinterName,DocumentName,"
                        "TotalPages,NumCopies,PaperName,Color,PrinterGroup"_s;
// The listing's line of each job, without its category columns.
QString Line(int id) {
    QString document = Field(id, 2);
    if (document.contains(u',')) document = u'"' + document.replace(u"\""_s, u"\"\""_s) + u'"';
    return u"%1,%2,%3,HOSTA,Plotter A0,%4,%5,1,Letter,%6,PG1"_s.arg(id).arg(
        Field(id, 0), Field(id, 1), document, Field(id, 3), Field(id, 4));
}
// A report from its lines joined by "#": "@H" the listing's header, "@M" the client with
// quotes and a comma, "@n" starting a line job n's.
QString Csv(QString lines) {
    lines.replace(u"@H"_s, kHeader).replace(u"@M"_s, u"\"Müller, \"\"Söhne\"\" & Ærø\""_s);
    QStringList out;
    for (const QString& l : lines.split(u'#'))
        out << (l.startsWith(u'@') ? Line(l[1].digitValue()) + l.mid(2) : l);
    return out.join(u"\r\n"_s) + u"\r\n"_s;
}
} // namespace

class TestReport : public QObject {
    Q_OBJECT
    TestDatabases m_dbs;

    // The sample jobs in a new database of the backend.
    QString NewDatabase(const QString& backend, const Sandbox& box) {
        const QString target = m_dbs.New(backend, box.Path(u"jobs.db"_s), u"report"_s);
        Platform::JobDatabase db;
        if (!db.Open(target)) QTest::qFail(qPrintable(db.LastError()), __FILE__, __LINE__);
        for (int id = 1; id <= kJobs.size(); ++id) {
            // Parsed as UTC: the wall-clock times need not exist in the local zone.
            const QDateTime wall = QDateTime::fromString(Field(id, 0) + u'Z', Qt::ISODate);
            db.InsertMaster({{u"UserName"_s, Field(id, 1)},
                             {u"SubmitDT"_s, wall},
                             {u"MachineName"_s, u"HOSTA"_s},
                             {u"PrinterName"_s, u"Plotter A0"_s},
                             {u"DocumentName"_s, Field(id, 2)},
                             {u"TotalPages"_s, Field(id, 3).toInt()},
                             {u"NumCopies"_s, 1},
                             {u"PaperName"_s, u"Letter"_s},
                             {u"Color"_s, Field(id, 4)},
                             {u"PrinterGroup"_s, u"PG1"_s}});
            for (const QString& v : Field(id, 5).split(u';', Qt::SkipEmptyParts))
                db.InsertDetail({{u"RecordID"_s, id},
                                 {u"Category"_s, v.section(u'|', 0, 0)},
                                 {u"ValueText"_s, v.section(u'|', 1)},
                                 {u"ValueNumber"_s, 0.0}});
        }
        return target;
    }

private Q_SLOTS:
    void initTestCase() { m_dbs.Start(); }

    void reports_data() {
        BackendTable(
            "options csv",
            {"every job, by submit time then RecordID¦¦@H,Client,Matter#@2,@M,4711#@3,Acme,#@5,,#"
             "@6,Acme,0815#@4,,0815#@1,Acme,4711",
             "both date limits kept, a second beyond each left out¦--from 2004-11-02 --to "
             "2004-11-03¦@H,Client,Matter#@3,Acme,#@5,,#@6,Acme,0815#@4,,0815",
             "one day, only its categories¦--from 2004-11-02 --to 2004-11-02¦@H,Client#@3,Acme#@5,",
             "user, letter case ignored¦--user JSMITH¦@H,Client,Matter#@2,@M,4711#@3,Acme,#"
             "@6,Acme,0815#@1,Acme,4711",
             "user beyond ASCII, no categories¦--user özil¦@H#@5", "unknown user¦--user nobody¦@H",
             "by one category, jobs without it under the empty value¦--by Client¦"
             "Client,Jobs,TotalPages,Cost,Unpriced#,2,6,0.00,2#Acme,3,13,0.00,3#@M,1,2,0.00,1",
             "by two categories¦--by "
             "Client,Matter¦Client,Matter,Jobs,TotalPages,Cost,Unpriced#,,1,5,"
             "0.00,1#,0815,1,1,0.00,1#Acme,,1,3,0.00,1#Acme,0815,1,6,0.00,1#Acme,4711,1,4,0.00,1#"
             "@M,4711,1,2,0.00,1",
             "by a category, selected¦--by Matter --user jsmith --from 2004-11-02¦"
             "Matter,Jobs,TotalPages,Cost,Unpriced#,1,3,0.00,1#0815,1,6,0.00,1#4711,1,4,0.00,1",
             "by a category no job has¦--by "
             "Project¦Project,Jobs,TotalPages,Cost,Unpriced#,6,21,0.00,6"});
    }
    void reports() {
        QFETCH(QString, backend);
        QFETCH(QString, options);
        QFETCH(QString, csv);
        NEED(backend);
        Sandbox box;
        const QString db = NewDatabase(backend, box);
        const ProgramResult r =
            RunProgram(QStringList{u"--report"_s, db} + options.split(u' ', Qt::SkipEmptyParts));
        QCOMPARE(r.err, QString());
        QCOMPARE(r.out, Csv(csv));
        QCOMPARE(r.status, 0);
    }

    // Money by client, alike to the cent on both engines: "client:cost" per job, the cost a
    // number, "text" (stored as having none) or absent; 0.10 thirty times sums to 2.9999...
    // in doubles, a half cent goes away from zero on both (PostgreSQL rounds a double to even).
    void money_data() { BackendRows(); }
    void money() {
        QFETCH(QString, backend);
        NEED(backend);
        Sandbox box;
        const QString target = m_dbs.New(backend, box.Path(u"money.db"_s), u"money"_s);
        QStringList jobs =
            u"Acme:0.125 Acme:2.675 Brix:text Brix Brix:12.5 :-0.125 :1e13"_s.split(u' ');
        for (int i = 0; i < 30; ++i) jobs << u"Acme:0.1"_s;
        {
            Platform::JobDatabase db;
            QVERIFY2(db.Open(target), qPrintable(db.LastError()));
            for (const QString& job : jobs) {
                const qint64 id = db.InsertMaster({{u"UserName"_s, u"jsmith"_s},
                                                   {u"SubmitDT"_s, QDateTime::currentDateTimeUtc()},
                                                   {u"DocumentName"_s, job},
                                                   {u"TotalPages"_s, 1}});
                QVERIFY(id > 0);
                const QString client = job.section(u':', 0, 0), cost = job.section(u':', 1);
                if (!client.isEmpty())
                    QVERIFY(db.InsertDetail({{u"RecordID"_s, id},
                                             {u"Category"_s, u"Client"_s},
                                             {u"ValueText"_s, client},
                                             {u"ValueNumber"_s, 1.79769313486231E+308}}));
                bool numeric = false;
                const double number = cost.toDouble(&numeric);
                if (job.contains(u':'))
                    QVERIFY(db.InsertDetail(
                        {{u"RecordID"_s, id},
                         {u"Category"_s, u"Cost"_s},
                         {u"ValueText"_s, cost},
                         {u"ValueNumber"_s, numeric ? number : 1.79769313486231E+308}}));
            }
        }
        const ProgramResult r = RunProgram({u"--report"_s, target, u"--by"_s, u"Client"_s});
        QCOMPARE(r.err, QString());
        QCOMPARE(r.out, Csv(u"Client,Jobs,TotalPages,Cost,Unpriced#,2,2,-0.13,1#"
                            "Acme,32,32,5.81,0#Brix,3,3,12.50,2"_s));
    }

    // A text a spreadsheet would run as a formula gets a quote before it, inside its quoted
    // cell, in the listing and in the totals; the numbers we write keep their sign.
    void formulaCells_data() {
        BackendTable("text cell",
                     {"equals¦=HYPERLINK(\"http://x\")¦\"'=HYPERLINK(\"\"http://x\"\")\"",
                      "plus¦+cmd|' /C calc'!A0¦\"'+cmd|' /C calc'!A0\"", "minus¦-5¦\"'-5\"",
                      "at¦@SUM(A1)¦\"'@SUM(A1)\"", "tab¦\tx¦\"'\tx\"",
                      "carriage return¦\rx¦\"'\rx\"", "later¦a=-b¦a=-b", "quote¦'x¦\"'x\""});
    }
    void formulaCells() {
        QFETCH(QString, backend);
        QFETCH(QString, text);
        QFETCH(QString, cell);
        NEED(backend);
        Sandbox box;
        const QString target = m_dbs.New(backend, box.Path(u"jobs.db"_s), u"formula"_s);
        Platform::JobDatabase db;
        QVERIFY(db.Open(target));
        db.InsertMaster({{u"DocumentName"_s, text}, {u"TotalPages"_s, -5}});
        db.InsertDetail({{u"RecordID"_s, 1},
                         {u"Category"_s, u"Matter"_s},
                         {u"ValueText"_s, text},
                         {u"ValueNumber"_s, 0.0}});
        QCOMPARE(RunProgram({u"--report"_s, target}).out,
                 kHeader + u",Matter\r\n1,,,,,%1,-5,,,,,%1\r\n"_s.arg(cell));
        QCOMPARE(RunProgram({u"--report"_s, target, u"--by"_s, u"Matter"_s}).out,
                 u"Matter,Jobs,TotalPages,Cost,Unpriced\r\n%1,1,-5,0.00,1\r\n"_s.arg(cell));
    }

    void output_data() { BackendRows(); }
    void output() {
        QFETCH(QString, backend);
        NEED(backend);
        Sandbox box;
        const QString db = NewDatabase(backend, box);
        // The database configured for the machine is the default.
        LayOutInstallation(box,
                           IniEdit(TestData(u"config_v2.ini"_s), u"GENERAL"_s, u"DataFile"_s, db));
        const QString file = box.Write(u"out/report.csv"_s, "old");
        ProgramResult r = RunProgram({u"--report"_s, u"--by"_s, u"Matter"_s, u"--output"_s, file});
        QCOMPARE(QStringList({QString::number(r.status), r.out, r.err}),
                 QStringList({u"0"_s, QString(), QString()}));
        const QString csv = Csv(
            u"Matter,Jobs,TotalPages,Cost,Unpriced#,2,8,0.00,2#0815,2,7,0.00,2#4711,2,6,0.00,2"_s);
        QCOMPARE(QString::fromUtf8(box.Read(u"out/report.csv"_s)), csv);
        QCOMPARE(QDir(box.Path(u"out"_s)).entryList(QDir::Files | QDir::Hidden),
                 QStringList{u"report.csv"_s});
        // A report that fails leaves the file it would have replaced as it was.
        r = RunProgram({u"--report"_s, box.Write(u"junk.db"_s, "junk"), u"--output"_s, file});
        QCOMPARE(r.status, 1);
        QCOMPARE(QString::fromUtf8(box.Read(u"out/report.csv"_s)), csv);
        QCOMPARE(QDir(box.Path(u"out"_s)).entryList(QDir::Files | QDir::Hidden),
                 QStringList{u"report.csv"_s});
    }

    // args after --report, "%1" the sandbox; message: first line of standard error
    void exitCodes_data() {
        Table("args status message",
              {"no database, none configured¦¦2¦qorvlog: --report: no database given and none "
               "is configured",
               "unknown option¦%1jobs.db --form 2004-11-02¦2¦qorvlog: unknown option --form",
               "no such day¦%1jobs.db --to 2004-02-30¦2¦qorvlog: --to 2004-02-30 is not a date "
               "(YYYY-MM-DD)",
               "date without leading zeros¦%1jobs.db --from 2004-11-2¦2¦qorvlog: --from 2004-11-2 "
               "is not a date (YYYY-MM-DD)",
               "option without its value¦%1jobs.db --user¦2¦qorvlog: --user needs a value",
               "empty category¦%1jobs.db --by Client,¦2¦qorvlog: --by Client, names an empty "
               "category",
               "two databases¦%1jobs.db %1other.db¦2¦qorvlog: more than one database: %1other.db",
               "missing SQLite file¦%1missing.db¦1¦qorvlog: job database: there is no database "
               "file %1missing.db",
               "a file that is no database¦%1junk.db¦1¦qorvlog: job database: ",
               "server down¦pg-down¦1¦qorvlog: job database: ",
               "no tables¦%1empty.db¦1¦qorvlog: job database: ",
               "output folder missing¦%1jobs.db --output %1no/r.csv¦1¦qorvlog: cannot write the "
               "report to %1no/r.csv: "});
    }
    void exitCodes() {
        QFETCH(QString, args);
        QFETCH(QString, status);
        QFETCH(QString, message);
        Sandbox box;
        LayOutInstallation(
            box, IniEdit(TestData(u"config_v2.ini"_s), u"GENERAL"_s, u"DataFile"_s, u""_s));
        NewDatabase(u"sqlite"_s, box);
        box.Write(u"junk.db"_s, "junk");
        SqlProbe(box.Path(u"empty.db"_s)).Exec(u"CREATE TABLE other (x INTEGER)"_s);
        QStringList all{u"--report"_s};
        for (QString& a : args.split(u' ', Qt::SkipEmptyParts))
            all << (a == u"pg-down"_s ? m_dbs.Server().DownUri()
                                      : a.replace(u"%1"_s, box.Path() + u'/'));
        const ProgramResult r = RunProgram(all);
        QCOMPARE(r.status, status.toInt());
        // The configuration's own message may come first.
        QVERIFY2(r.err.contains(u'\n' + message.replace(u"%1"_s, box.Path() + u'/')) ||
                     r.err.startsWith(message),
                 qPrintable(r.err));
        QCOMPARE(r.out, QString());
        QVERIFY(!QFile::exists(box.Path(u"missing.db"_s)));
    }

    void progressLine() {
        FakeClock clock;
        QStringList shown;
        auto show = [&](const QString& text) { shown << text; };
        CReportProgressLine quick(show);
        quick.Rows(1024);
        quick.Finish();
        QCOMPARE(shown, QStringList());
        // Quiet for 2 s, then at most every half second, on whole thousands of rows.
        CReportProgressLine line(show);
        const std::pair<int, qint64> steps[] = {{1999, 2048}, {1, 3000}, {0, 3072},
                                                {499, 4096},  {1, 5120}, {600, 5200}};
        for (const auto& [ms, rows] : steps) {
            Platform::Pause(ms);
            line.Rows(rows);
        }
        line.Finish();
        QCOMPARE(shown, QStringList({u"\r3072 rows written"_s, u"\r5120 rows written"_s,
                                     u"\r5200 rows written\n"_s}));
    }
};

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
