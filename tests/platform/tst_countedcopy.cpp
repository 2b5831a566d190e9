// The companions' pre-filter, run as the scheduler runs it: the monitor's copy of a PostScript
// document or nothing, never the document itself.
#include "platform/cups.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

class TestCountedCopy : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void filter_data() { // err: %1 the copies' folder, %2 the document, %3 "kept no copy"
        Table("change job out err",
              {"copy kept¦¦12¦COPY¦", "no copy¦remove¦12¦¦%3",
               "copy of another document only¦other¦12¦¦%3",
               "copy is a link¦link¦12¦¦ERROR: the counted copy of this document is not "
               "qorvmond's: it does not print",
               "job folder group-writable¦g+w¦12¦¦ERROR: the folder of qorvmond's counted copies "
               "%1/12 is not qorvmond's alone: it does not print",
               "document of another job¦¦13¦¦ERROR: the document %2 is not one of job 13: it does "
               "not print",
               "made by an earlier filter¦stdin¦12¦made¦",
               "document unpacked by an earlier filter¦packed¦12¦¦ERROR: this PostScript document "
               "was sent packed, so qorvmond cannot tell its counted copy: it does not print"});
    }
    void filter() {
        QFETCH(QString, change);
        QFETCH(QString, job);
        QFETCH(QString, out);
        QFETCH(QString, err);
        Sandbox box;
        const QByteArray doc = "%!PS\nshowpage\n";
        const QString spooled = box.Write(u"spool/d00012-002"_s, doc);
        const QByteArray hash = QCryptographicHash::hash(change == u"other"_s ? doc + ' ' : doc,
                                                         QCryptographicHash::Sha256)
                                    .toHex();
        const QString copy = u"printed/12/2-%1.ps"_s.arg(QLatin1String(hash));
        box.Write(change == u"link"_s ? u"printed/12/real.ps"_s : copy, "COPY");
        if (change == u"link"_s) QFile::link(box.Path(u"printed/12/real.ps"_s), box.Path(copy));
        if (change == u"remove"_s) QFile::remove(box.Path(copy));
        QFile::setPermissions(box.Path(u"printed"_s), QFile::Permissions(0x7755));
        QFile::setPermissions(box.Path(u"printed/12"_s),
                              QFile::Permissions(change == u"g+w"_s ? 0x7775 : 0x7755));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QORVMOND_PRINTED"_s, box.Path(u"printed"_s));
        env.insert(u"CONTENT_TYPE"_s,
                   u"application/"_s + (change == u"packed"_s ? u"postscript"_s : u"pdf"_s));
        p.setProcessEnvironment(env);
        QStringList args{job, u"alice"_s, u"title"_s, u"1"_s, QString()};
        if (change != u"stdin"_s && change != u"packed"_s) args << spooled;
        p.start(QStringLiteral(QORVMOND_COUNTED_BIN), args);
        p.write("made");
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished(10000));
        err.replace(u"%1"_s, box.Path(u"printed"_s)).replace(u"%2"_s, spooled);
        err.replace(u"%3"_s,
                    u"ERROR: qorvmond kept no counted copy of this document: it does not print"_s);
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput() + '|' + p.readAllStandardError()) +
                     QString::number(p.exitCode()),
                 out + u'|' + (err.isEmpty() ? u"0"_s : err + u"\n1"_s));
    }

    // The companion's driver: the monitor's pre-filter, and no other for PostScript.
    void companionDriver_data() {
        Table("ppd companion", {"driver¦*A: 1\n¦*A: 1\n", "last line open¦*A: 1¦*A: 1\n",
                                "its PostScript pre-filter¦*A: 1\n*cupsPreFilter: "
                                "\"application/postscript 0 x\"\r\n*B: 2\n¦*A: 1\n*B: 2\n",
                                "its pre-filter of everything¦*cupsPreFilter: \"*/* 9 x\"\n¦",
                                "its PDF pre-filter¦*cupsPreFilter: \"application/pdf 0 x\"\n¦"
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
