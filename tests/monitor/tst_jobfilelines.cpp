// What the monitor writes for the client and reads back from it: job file lines, folder
// names, billing text, redirect lines and page counts.
#include "intake/cmonitor.h"
#include "jobs/cprintjobinfo.h"
#include "monitor/jobfilelines.h"
#include "platform/pagecount.h"
#include "testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <linux/landlock.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestJobFileLines : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Each rule on its rows: "folder" (usable as a folder name: "yes"), "value" (a job file
    // line), "billing" (of data file lines), "shadow" (the queue named), "pages" (of a document).
    void texts_data() {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* rule, const QString& text,
                            const QString& expected) {
            QTest::newRow(name) << QString::fromLatin1(rule) << text << expected;
        };
        row("folder plain", "folder", u"jsmith"_s, u"yes"_s);
        row("folder dots inside", "folder", u"j.smith..x"_s, u"yes"_s);
        row("folder empty", "folder", QString(), u"no"_s);
        row("folder dot", "folder", u"."_s, u"no"_s);
        row("folder dot dot", "folder", u".."_s, u"no"_s);
        row("folder climbs", "folder", u"../evil"_s, u"no"_s);
        row("folder backslash", "folder", u"a\\b"_s, u"no"_s);
        row("folder line feed", "folder", u"a\nb"_s, u"no"_s);
        row("folder delete", "folder", u"a\x7f"_s, u"no"_s);
        row("folder 255 bytes", "folder", QString(255, u'a'), u"yes"_s);
        row("folder 256 bytes", "folder", QString(256, u'a'), u"no"_s);
        row("folder 128 two-byte", "folder", QString(128, u'\u00e9'), u"no"_s);
        row("value CR LF", "value", u"a\r\nb"_s, u"a  b"_s);
        row("value tabs trimmed", "value", u"\tx\t"_s, u"x"_s);
        row("value line separator", "value", u"a\u2028b"_s, u"a b"_s);
        row("value 254 kept", "value", QString(254, u'x'), QString(254, u'x'));
        row("value 10000 cut", "value", QString(10000, u'x'), QString(254, u'x'));
        row("value past 1000 unread", "value", QString(999, u' ') + u"xy"_s, u"x"_s);
        const QString master = u"QorvexMaster,2,42,\"P\",\"M\",\"u\",\"d\"\n"_s;
        const QString a = u"QorvexDetail,2,\"A\",\""_s;
        const QString x253(253, u'x');
        row("billing cancel", "billing", u"\n  Cancel \n"_s, QString());
        row("billing cancel beside values", "billing", u"Cancel\n"_s + a + u"1\""_s, u"A=1"_s);
        row("billing value cancel", "billing", master + a + u"cancel\""_s, u"A=cancel"_s);
        row("billing values", "billing", master + a + u"1\"\nQorvexDetail,2,\"B\",\"2\""_s,
            u"A=1; B=2"_s);
        row("billing quotes", "billing", a + u"say \"\"hi\"\"\""_s, u"A=say \"hi\""_s);
        row("billing no values", "billing", master, QString());
        row("billing 255 bytes", "billing", a + x253 + u'"', u"A="_s + x253);
        row("billing 256 bytes", "billing", a + x253 + u"x\""_s, u"A="_s + x253);
        row("billing two-byte cut", "billing", a + QString(200, u'\u00e9') + u'"',
            u"A="_s + QString(126, u'\u00e9'));
        row("billing separators escaped", "billing", a + u"4711; Client=ACME-PAYS\""_s,
            u"A=4711\\; Client\\=ACME-PAYS"_s);
        row("billing escape escaped", "billing", u"QorvexDetail,2,\"A=B\\\",\"x\""_s,
            u"A\\=B\\\\=x"_s);
        row("billing format and controls dropped", "billing",
            a + u"\u202egnp\u200b.exe\u0085\U000E0041\""_s, u"A=gnp.exe"_s);
        row("billing escape kept whole", "billing", a + QString(252, u'x') + u";\""_s,
            u"A="_s + QString(252, u'x'));
        row("billing 1 MiB", "billing", (a + QString(250, u'x') + u"\"\n"_s).repeated(4096),
            u"A="_s + QString(250, u'x') + u"; A"_s);
        row("shadow name", "shadow", u"  Second  "_s, u"Second"_s);
        row("shadow this server", "shadow", u"//srv/Second"_s, u"Second"_s);
        row("shadow backslashes", "shadow", u"\\\\SRV\\Second"_s, u"Second"_s);
        row("shadow other server", "shadow", u"//other/Second"_s, QString());
        row("shadow deeper", "shadow", u"//SRV/a/b"_s, QString());
        row("shadow climbs", "shadow", u"../x"_s, QString());
        row("shadow empty", "shadow", QString(), QString());
        const auto ps = [](const QByteArray& text) { return QString::fromLatin1(text); };
        row("pages pdf", "pages", ps(TestData(u"two.pdf"_s)), u"2"_s);
        row("pages broken pdf", "pages", ps(TestData(u"two.pdf"_s).left(200)), u"0"_s);
        // PostScript is run: its comments and what it prints are not believed.
        row("pages ps header", "pages", ps("%!PS-Adobe-3.0\n%%Pages: 9\nshowpage showpage\n"),
            u"2"_s);
        row("pages ps end", "pages", ps("%!PS\n%%Pages: (atend)\nshowpage\n%%Pages: 7"), u"1"_s);
        row("pages ps quits", "pages", ps("%!PS\nshowpage (pages-1 9\n) print quit showpage"),
            u"1"_s);
        // Pages printed before it really quits or drops its device count; the scheduler takes
        // a PDF after blank lines, and runs one as PostScript when its client says so.
        row("pages ps real quit", "pages", ps("%!PS\nshowpage showpage systemdict /quit get exec"),
            u"2"_s);
        row("pages ps no device", "pages", ps("\x04%!PS\nshowpage showpage nulldevice"), u"2"_s);
        row("pages pdf after blank", "pages", ps("\r\n" + TestData(u"two.pdf"_s)), u"2"_s);
        row("pages pdf run as ps", "pages", ps("%PDF-1.4\nshowpage showpage showpage"), u"3"_s);
        const QByteArray pdf = TestData(u"two.pdf"_s);
        const qsizetype line = pdf.indexOf('\n') + 1;
        row("pages pdf that is ps", "pages",
            ps(pdf.left(line) + "showpage showpage showpage\n" + pdf.mid(line)), u"3"_s);
        row("pages text", "pages", ps("%%Pages: 2\n"), u"0"_s);
    }
    void texts() {
        QFETCH(QString, rule);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const qint64 start = QDateTime::currentMSecsSinceEpoch();
        const QString got = rule == u"folder"    ? UsableFolderName(text) ? u"yes"_s : u"no"_s
                            : rule == u"value"   ? JobFileValue(text)
                            : rule == u"billing" ? BillingText(text.split(u'\n'))
                            : rule == u"shadow"
                                ? QueueOfShadowLine(text, u"SRV"_s)
                                : QString::number(Platform::CountPages(text.toLatin1()));
        QCOMPARE(got, expected);
        // Linear: 1 MiB is nothing (pages are counted by niced processes, which a busy machine
        // may hold back).
        QVERIFY(rule == u"pages"_s || QDateTime::currentMSecsSinceEpoch() - start < 1000);
    }

    // 2 KB whose page tree unpacks to 2 GB of memory: read by a process of its own, under
    // limits, never by this one.
    void pdfReadApart() {
        QCOMPARE(Platform::CountPages(TestData(u"bomb.pdf"_s)), 0);
        rusage use{};
        QVERIFY(::getrusage(RUSAGE_SELF, &use) == 0 && use.ru_maxrss < 512 * 1024); // KiB
    }

    // A counter of a user's document writes no file, wherever it may.
    void counterWritesNothing() {
        if (::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION) < 1)
            QSKIP("the kernel has no Landlock");
        const QTemporaryDir dir;
        const QString file = dir.filePath(u"written"_s);
        QCOMPARE(Platform::RunSandboxed(u"sh"_s, {u"-c"_s, u"echo x > \"$0\"; echo ran"_s, file}),
                 "ran\n");
        QVERIFY(!QFileInfo::exists(file));
    }

    // Stopped at its time limit while rewritten, a document leaves none of its scratch files.
    void rewriteStoppedLeavesNothing() {
        const Sandbox box;
        const QString doc = box.Write(u"c/d.ps"_s, "%!PS\n0 0 moveto 1 1 lineto stroke {} loop\n");
        QCOMPARE(Platform::CountPagesOfFile(doc, nullptr, box.Path(u"c/copy.ps"_s)), 0);
        QCOMPARE(QDir(box.Path(u"c"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{u"d.ps"_s});
    }

    // The whole job file (%1: the submit time), and what the client reads back from it; the
    // job's originating host, media, colour mode and orientation ("": not asked for).
    void jobFile_data() {
        Table(
            "job file read",
            {"remote, A4, mono, landscape¦ws7.example.com,iso_a4_210x297mm,monochrome,4¦JOB|5|"
             "//SRV/Plotter|42|Plotter|ws7|jsmith|Plan  .dwg||%1|1234|5|3|A4|8.27|11.69|||"
             "Monochrome|Acme DesignJet Plotter||Landscape¦ws7|A4|8.27|11.69|Monochrome|Landscape",
             "local, queue defaults¦localhost,,,3¦JOB|5|//SRV/Plotter|42|Plotter|SRV|jsmith|"
             "Plan  .dwg||%1|1234|5|3|Letter|8.50|11.00|||Color|Acme DesignJet Plotter||Portrait"
             "¦SRV|Letter|8.5|11|Color|Portrait",
             "address kept, reverse landscape¦192.168.1.20,na_legal_8.5x14in,color,5¦JOB|5|"
             "//SRV/Plotter|42|Plotter|192.168.1.20|jsmith|Plan  .dwg||%1|1234|5|3|Legal|8.50|"
             "14.00|||Color|Acme DesignJet Plotter||Landscape¦192.168.1.20|Legal|8.5|14|Color|"
             "Landscape"});
    }
    void jobFile() {
        QFETCH(QString, job);
        QFETCH(QString, file);
        QFETCH(QString, read);
        const QStringList asked = job.split(u',');
        Platform::CupsJob j;
        j.id = 42, j.queue = u"Plotter"_s, j.user = u"jsmith"_s, j.title = u"Plan\r\n.dwg"_s;
        j.created = 1710000000, j.copies = 3, j.originHost = asked[0], j.media = asked[1];
        j.colorMode = asked[2], j.orientation = asked[3].toInt();
        Platform::CupsQueue queue;
        queue.makeAndModel = u"Acme DesignJet Plotter"_s, queue.colorDefault = u"color"_s;
        queue.mediaDefault = u"na_letter_8.5x11in"_s;
        const QStringList lines = JobFileLines(j, queue, {u"SRV"_s, 5, 1234});
        const QString submitted =
            QDateTime::fromSecsSinceEpoch(j.created).toString(u"MM/dd/yyyy h:mm:ss AP"_s);
        QCOMPARE(lines.join(u'|'), file.arg(submitted));
        const auto b = CMonitor().GetNextPrintJob(u"/x/J.prt"_s, lines);
        const QString got =
            QStringList({b->QueueName, QString::number(b->PrintJobID), b->DocumentName,
                         b->SubmitText(), QString::number(b->JobSizeBytes),
                         QString::number(b->TotalPages), b->PrtDriverName, b->MachineName,
                         b->PaperName, QString::number(b->PaperWidth),
                         QString::number(b->PaperHeight), b->Color, b->Orientation})
                .join(u'|');
        QCOMPARE(got, u"//SRV/Plotter|42|Plan  .dwg|%1|1234|15|Acme DesignJet Plotter|%2"_s.arg(
                          submitted, read));
    }
};

QTEST_GUILESS_MAIN(TestJobFileLines)
#include "tst_jobfilelines.moc"
