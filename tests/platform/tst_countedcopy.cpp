// The companions' pre-filter as the scheduler runs it, and the driver that names it.
#include "platform/cups.h"
#include "testsupport.h"

#include <QFile>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

class TestCountedCopy : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void filter_data() { // rows: what changes; err: %1 the copies' folder, %2 the document
        Table("out err",
              {"kept¦PostScript of 2 pages¦", "removed¦¦none", "other¦¦none",
               "link¦¦ERROR: the counted copy of this document is not qorvmond's",
               "g+w¦¦ERROR: the folder of qorvmond's counted copies %1/12 is not qorvmond's alone",
               "job 13¦¦ERROR: the document %2 is not one of job 13",
               "stdin¦made¦", // PostScript made by an earlier filter passes
               "packed¦¦ERROR: this PostScript document was sent packed, so qorvmond cannot tell "
               "its counted copy"});
    }
    void filter() {
        QFETCH(QString, out);
        QFETCH(QString, err);
        const QString change = QString::fromLatin1(QTest::currentDataTag());
        Sandbox box;
        const QString copy = // named by the SHA-256 of "%!PS\nshowpage\n"; "other" spools another
            u"printed/12/2-8b9b65e91d16d7576527ab1f75da91f48857466c319d56a7d68821087512373e.pdf"_s;
        const QString spooled =
            box.Write(u"spool/d00012-002"_s, change == u"other"_s ? "%!PS\n" : "%!PS\nshowpage\n");
        box.Write(change == u"link"_s ? u"printed/12/real.pdf"_s : copy, TestData(u"two.pdf"_s));
        if (change == u"link"_s) QFile::link(box.Path(u"printed/12/real.pdf"_s), box.Path(copy));
        if (change == u"removed"_s) QFile::remove(box.Path(copy));
        QFile::setPermissions(box.Path(u"printed"_s), QFile::Permissions(0x7755));
        QFile::setPermissions(box.Path(u"printed/12"_s),
                              QFile::Permissions(change == u"g+w"_s ? 0x7775 : 0x7755));
        QProcess p; // in this process's environment (the sandbox's) with these
        qputenv("QORVMOND_PRINTED", QFile::encodeName(box.Path(u"printed"_s)));
        qputenv("CONTENT_TYPE",
                change == u"packed"_s ? "application/postscript" : "application/pdf");
        QStringList args{change == u"job 13"_s ? u"13"_s : u"12"_s, u"alice"_s, u"t"_s, u"1"_s, {}};
        if (change != u"stdin"_s && change != u"packed"_s) args << spooled;
        p.start(QStringLiteral(QORVMOND_COUNTED_BIN), args);
        p.write("made");
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished(10000));
        err.replace(u"none"_s, u"ERROR: qorvmond kept no counted copy of this document"_s)
            .replace(u"%1"_s, box.Path(u"printed"_s))
            .replace(u"%2"_s, spooled);
        QByteArray printed = p.readAllStandardOutput(); // the copy written out, as it prints
        const qsizetype pages = printed.indexOf("\n%%Pages: ");
        if (printed.startsWith("%!PS") && pages > 0)
            printed = "PostScript of " + printed.mid(pages + 10).split('\n').value(0) + " pages";
        QCOMPARE(QString::fromUtf8(printed + '|' + p.readAllStandardError()) +
                     QString::number(p.exitCode()),
                 out + u'|' + (err.isEmpty() ? u"0"_s : err + u": it does not print\n1"_s));
    }

    void companionDriver_data() { // the monitor's pre-filter, and no other for PostScript
        Table("ppd companion",
              {"driver¦*A: 1¦*A: 1\n",
               "pre-filters¦*cupsPreFilter: \"application/postscript 0 x\"\r\n"
               "*cupsPreFilter: \"*/* 9 x\"\n*cupsPreFilter: \"application/pdf 0 x\"\n¦"
               "*cupsPreFilter: \"application/pdf 0 x\"\n"});
    }
    void companionDriver() {
        QFETCH(QString, ppd);
        QFETCH(QString, companion);
        QCOMPARE(Platform::CompanionDriver(ppd.toLatin1()),
                 companion.toLatin1() +
                     "*cupsPreFilter: \"application/postscript 0 qorvmond-counted\"\n");
    }
};

QTEST_GUILESS_MAIN(TestCountedCopy)
#include "tst_countedcopy.moc"
