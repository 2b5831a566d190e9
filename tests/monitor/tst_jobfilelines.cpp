// What the monitor writes for the client and reads back from it: job file lines, folder
// names, billing text and redirect lines.
#include "intake/cmonitor.h"
#include "jobs/cprintjobinfo.h"
#include "monitor/jobfilelines.h"
#include "testsupport.h"

#include <QDateTime>
#include <QTest>

using namespace Qt::StringLiterals;

class TestJobFileLines : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void folderNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("usable");
        QTest::newRow("plain") << u"jsmith"_s << true;
        QTest::newRow("dots inside") << u"j.smith..x"_s << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("dot") << u"."_s << false;
        QTest::newRow("dot dot") << u".."_s << false;
        QTest::newRow("climbs") << u"../evil"_s << false;
        QTest::newRow("slash") << u"a/b"_s << false;
        QTest::newRow("backslash") << u"a\\b"_s << false;
        QTest::newRow("line feed") << u"a\nb"_s << false;
        QTest::newRow("delete") << u"a\x7f"_s << false;
        QTest::newRow("255 bytes") << QString(255, u'a') << true;
        QTest::newRow("256 bytes") << QString(256, u'a') << false;
        QTest::newRow("128 two-byte") << QString(128, u'\u00e9') << false;
    }
    void folderNames() {
        QFETCH(QString, name);
        QFETCH(bool, usable);
        QCOMPARE(UsableFolderName(name), usable);
    }

    void values_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("line");
        QTest::newRow("CR LF") << u"a\r\nb"_s << u"a  b"_s;
        QTest::newRow("tabs trimmed") << u"\tx\t"_s << u"x"_s;
        QTest::newRow("line separator") << u"a\u2028b"_s << u"a b"_s;
        QTest::newRow("254 kept") << QString(254, u'x') << QString(254, u'x');
        QTest::newRow("10000 cut") << QString(10000, u'x') << QString(254, u'x');
    }
    void values() {
        QFETCH(QString, value);
        QFETCH(QString, line);
        QCOMPARE(JobFileValue(value), line);
    }

    void billing_data() {
        QTest::addColumn<QStringList>("dat");
        QTest::addColumn<QString>("billing");
        const QString master = u"QorvexMaster,2,42,\"P\",\"M\",\"u\",\"d\""_s;
        QTest::newRow("cancel") << QStringList{u"Cancel"_s} << QString();
        QTest::newRow("values") << QStringList{master, u"QorvexDetail,2,\"Matter\",\"M-4711\""_s,
                                               u"QorvexDetail,2,\"Pages\",\"2\""_s}
                                << u"Matter=M-4711; Pages=2"_s;
        QTest::newRow("doubled quotes")
            << QStringList{u"QorvexDetail,2,\"Note\",\"say \"\"hi\"\"\""_s} << u"Note=say \"hi\""_s;
        QTest::newRow("no values") << QStringList{master} << QString();
        QTest::newRow("255 bytes")
            << QStringList{u"QorvexDetail,2,\"A\",\""_s + QString(300, u'x') + u'"'}
            << u"A="_s + QString(253, u'x');
        QTest::newRow("cut between characters")
            << QStringList{u"QorvexDetail,2,\"A\",\""_s + QString(200, u'\u00e9') + u'"'}
            << u"A="_s + QString(126, u'\u00e9');
    }
    void billing() {
        QFETCH(QStringList, dat);
        QFETCH(QString, billing);
        QCOMPARE(BillingText(dat), billing);
    }

    void shadowLines_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("queue");
        QTest::newRow("name") << u"  Second  "_s << u"Second"_s;
        QTest::newRow("this server") << u"//srv/Second"_s << u"Second"_s;
        QTest::newRow("backslashes") << u"\\\\SRV\\Second"_s << u"Second"_s;
        QTest::newRow("other server") << u"//other/Second"_s << QString();
        QTest::newRow("deeper") << u"//SRV/a/b"_s << QString();
        QTest::newRow("climbs") << u"../x"_s << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void shadowLines() {
        QFETCH(QString, line);
        QFETCH(QString, queue);
        QCOMPARE(QueueOfShadowLine(line, u"SRV"_s), queue);
    }

    // The whole job file, and the record the client reads from it.
    void jobFile_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("media");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QStringList>("expected"); // lines 6, 14, 15, 16, 19 and 22
        QTest::addColumn<QString>("read");
        QTest::newRow("remote, A4, mono, landscape")
            << u"ws7.example.com"_s << u"iso_a4_210x297mm"_s << u"monochrome"_s << 4
            << QStringList{u"ws7"_s,   u"A4"_s,         u"8.27"_s,
                           u"11.69"_s, u"Monochrome"_s, u"Landscape"_s}
            << u"ws7|A4|8.27|11.69|Monochrome|Landscape"_s;
        QTest::newRow("local, queue defaults")
            << u"localhost"_s << QString() << QString() << 3
            << QStringList{u"SRV"_s, u"Letter"_s, u"8.50"_s, u"11.00"_s, u"Color"_s, u"Portrait"_s}
            << u"SRV|Letter|8.5|11|Color|Portrait"_s;
        QTest::newRow("address kept")
            << u"192.168.1.20"_s << u"na_legal_8.5x14in"_s << u"color"_s << 5
            << QStringList{u"192.168.1.20"_s, u"Legal"_s, u"8.50"_s,
                           u"14.00"_s,        u"Color"_s, u"Landscape"_s}
            << u"192.168.1.20|Legal|8.5|14|Color|Landscape"_s;
    }
    void jobFile() {
        QFETCH(QString, host);
        QFETCH(QString, media);
        QFETCH(QString, mode);
        QFETCH(int, orientation);
        QFETCH(QStringList, expected);
        QFETCH(QString, read);
        Platform::CupsJob job;
        job.id = 42;
        job.queue = u"Plotter"_s;
        job.user = u"jsmith"_s;
        job.title = u"Plan\r\n.dwg"_s;
        job.originHost = host;
        job.created = 1710000000;
        job.copies = 3;
        job.media = media;
        job.colorMode = mode;
        job.orientation = orientation;
        Platform::CupsQueue queue;
        queue.makeAndModel = u"Acme DesignJet Plotter"_s;
        queue.mediaDefault = u"na_letter_8.5x11in"_s;
        queue.colorDefault = u"color"_s;
        const QStringList lines = JobFileLines(job, queue, {u"SRV"_s, 5, 1234});
        const QString submitted =
            QDateTime::fromSecsSinceEpoch(job.created).toString(u"MM/dd/yyyy h:mm:ss AP"_s);
        QCOMPARE(
            lines,
            (QStringList{u"JOB"_s,     u"5"_s,      u"//SRV/Plotter"_s, u"42"_s,
                         u"Plotter"_s, expected[0], u"jsmith"_s,        u"Plan  .dwg"_s,
                         QString(),    submitted,   u"1234"_s,          u"5"_s,
                         u"3"_s,       expected[1], expected[2],        expected[3],
                         QString(),    QString(),   expected[4],        u"Acme DesignJet Plotter"_s,
                         QString(),    expected[5]}));
        const auto back = CMonitor().GetNextPrintJob(u"/x/J.prt"_s, lines);
        QCOMPARE(
            QStringList({back->QueueName, QString::number(back->PrintJobID), back->DocumentName,
                         back->SubmitText(), QString::number(back->JobSizeBytes),
                         QString::number(back->TotalPages), back->PrtDriverName})
                .join(u'|'),
            u"//SRV/Plotter|42|Plan  .dwg|"_s + submitted + u"|1234|15|Acme DesignJet Plotter"_s);
        QCOMPARE(QStringList({back->MachineName, back->PaperName, QString::number(back->PaperWidth),
                              QString::number(back->PaperHeight), back->Color, back->Orientation})
                     .join(u'|'),
                 read);
    }
};

QTEST_GUILESS_MAIN(TestJobFileLines)
#include "tst_jobfilelines.moc"
