// Reading a stored job back from its data file and the job file beside it.
#include "common/environment.h"
#include "jobs/cprintjobinfo.h"
#include "testsupport.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {
// The fields after the tag of the master line that the sample job's data file holds.
QStringList MasterFields() {
    return {u"2"_s,
            u"42"_s,
            u"\"Plotter A0\""_s,
            u"\"HOSTA\""_s,
            u"\"jsmith\""_s,
            u"\"Plan.dwg\""_s,
            u"\"03/05/2004 2:07:09 PM\""_s,
            u"\"\\\\SRV\\Plotter\""_s,
            u"123456"_s,
            u"3"_s,
            u"1"_s,
            u"2"_s,
            u"\"Letter\""_s,
            u"8.500000"_s,
            u"11.000000"_s,
            u"7"_s,
            u"\"C:\\Clients\\4711 Acme\\Plan.doc\""_s,
            u"\"Color\""_s,
            u"0.000000"_s,
            u"\"HP DesignJet\""_s,
            u"\"Bond\""_s,
            u"\"Portrait\""_s};
}
enum Field {
    kVersion,
    kId,
    kDocument = 5,
    kDate,
    kSize = 8,
    kPages,
    kSeparator,
    kCopies,
    kPaper,
    kWidth,
    kHeight,
    kTotal,
    kPath,
    kColor,
    kReserved,
    kDriver,
    kMedia,
    kOrientation
};

QString MasterLine(const QStringList& fields) {
    return u"QorvexMaster,"_s + fields.join(QLatin1Char(','));
}

const QString kSummaryDate = u"3/5/04 2:07 PM"_s;

// What the sample's data file reads back as: the record of SampleJob with the values the file
// does not keep.
QString Expected(const QStringList& overrides) {
    CPrintJobInfo j = SampleJob();
    j.TotalPages = 7;
    j.Reserved = 0;
    j.JobSummary = u"JSMITH printed 3-8.5x11 pages of Plan.dwg with 2 copies  on Color-Bond at "_s +
                   kSummaryDate;
    QStringList lines = JobDump(j).split(QLatin1Char('\n'));
    for (const QString& o : overrides) {
        const QString key = o.left(o.indexOf(QLatin1Char('=')) + 1);
        bool replaced = false;
        for (QString& l : lines)
            if (l.startsWith(key)) {
                l = o;
                replaced = true;
            }
        if (!replaced) lines << o;
    }
    return lines.join(QLatin1Char('\n'));
}
} // namespace

class TestJobFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { ResetEnvironment(); }

    void masterLine_data() {
        QTest::addColumn<QStringList>("changes"); // "index=field text"
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("as written") << QStringList{} << QStringList{};
        QTest::newRow("no width, no height")
            << QStringList{u"13="_s, u"14="_s}
            << QStringList{u"PaperName=8.50 x 11.00"_s, u"PaperWidth=8.5"_s, u"PaperHeight=11"_s};
        QTest::newRow("no height")
            << QStringList{u"13=17.000000"_s, u"14="_s}
            << QStringList{u"PaperName=8.50 x 11.00"_s, u"PaperWidth=17"_s, u"PaperHeight=11"_s,
                           u"JobSummary=JSMITH printed 3-17x11 pages of Plan.dwg with 2 copies  on "
                           "Color-Bond at "_s +
                               kSummaryDate};
        QTest::newRow("no width")
            << QStringList{u"13="_s, u"14=17.000000"_s}
            << QStringList{
                   u"PaperWidth=8.5"_s, u"PaperHeight=17"_s,
                   u"JobSummary=JSMITH printed 3-8.5x17 pages of Plan.dwg with 2 copies  on "
                   "Color-Bond at "_s +
                       kSummaryDate};
        QTest::newRow("spooling path")
            << QStringList{u"16=\"Spooling\""_s} << QStringList{u"PathAndFilename=Plan.dwg"_s};
        QTest::newRow("empty path")
            << QStringList{u"16=\"\""_s} << QStringList{u"PathAndFilename=Plan.dwg"_s};
        QTest::newRow("version 1")
            << QStringList{u"0=1"_s, u"19=-"_s, u"20=\"Glossy\""_s, u"21=\"Landscape\""_s}
            << QStringList{
                   u"PrtDriverName="_s, u"MediaType=Glossy"_s, u"Orientation=Landscape"_s,
                   u"JobSummary=JSMITH printed 3-8.5x11 pages of Plan.dwg with 2 copies  on "
                   "Color-Glossy at "_s +
                       kSummaryDate};
        QTest::newRow("defaults")
            << QStringList{u"8="_s,      u"9="_s,  u"10="_s,     u"11="_s,    u"15="_s,
                           u"17=\"\""_s, u"18="_s, u"20=\"\""_s, u"21=\"\""_s}
            << QStringList{
                   u"JobSizeBytes=1"_s,
                   u"PagesPerCopy=1"_s,
                   u"SeparatorPages=0"_s,
                   u"NumCopies=1"_s,
                   u"TotalPages=1"_s,
                   u"Color=Monochrome"_s,
                   u"Reserved=1"_s,
                   u"MediaType=Bond"_s,
                   u"Orientation=Porttrait"_s,
                   u"JobSummary=JSMITH printed 1-8.5x11 pages of Plan.dwg with 1 copies  on "
                   "Monochrome-Bond at "_s +
                       kSummaryDate};
        QTest::newRow("spooling texts")
            << QStringList{u"17=\"spooling\""_s, u"20=\"Spooling\""_s, u"21=\"SPOOLING now\""_s}
            << QStringList{
                   u"Color=Monochrome"_s, u"MediaType=Bond"_s, u"Orientation=Porttrait"_s,
                   u"JobSummary=JSMITH printed 3-8.5x11 pages of Plan.dwg with 2 copies  on "
                   "Monochrome-Bond at "_s +
                       kSummaryDate};
        QTest::newRow("whole numbers and integer parts")
            << QStringList{u"8=3.5"_s, u"9=2.7"_s, u"10=1.9"_s, u"11=2.5"_s, u"15=7.9"_s}
            << QStringList{
                   u"JobSizeBytes=4"_s,
                   u"PagesPerCopy=2"_s,
                   u"SeparatorPages=1"_s,
                   u"NumCopies=2"_s,
                   u"TotalPages=7"_s,
                   u"JobSummary=JSMITH printed 2-8.5x11 pages of Plan.dwg with 2 copies  on "
                   "Color-Bond at "_s +
                       kSummaryDate};
        QTest::newRow("no total") << QStringList{u"15="_s} << QStringList{u"TotalPages=6"_s};
        const QString longName(300, QLatin1Char('D'));
        QTest::newRow("long document name")
            << QStringList{u"5=\""_s + longName + u"\""_s}
            << QStringList{u"DocumentName="_s + longName.left(253),
                           u"JobSummary="_s +
                               (u"JSMITH printed 3-8.5x11 pages of "_s + longName.left(253) +
                                u" with 2 copies  on Color-Bond at "_s + kSummaryDate)
                                   .left(253)};
    }
    void masterLine() {
        QFETCH(QStringList, changes);
        QFETCH(QStringList, expected);
        Sandbox box;
        QStringList fields = MasterFields();
        for (const QString& c : changes) {
            const int i = c.left(c.indexOf(QLatin1Char('='))).toInt();
            fields[i] = c.mid(c.indexOf(QLatin1Char('=')) + 1);
        }
        fields.removeAll(u"-"_s);
        const QString path = box.WriteLines(u"u/JOB1.dat"_s, {MasterLine(fields)});
        CPrintJobInfo job;
        QVERIFY(job.ReadFromFile(path));
        QCOMPARE(JobDump(job), Expected(expected));
    }

    void roundTrip() {
        // What SaveToFile writes reads back as the same record.
        Sandbox box;
        CPrintJobInfo written = SampleJob();
        written.TotalPages = 7;
        written.Reserved = 2.5;
        for (const char* v : {"Client|4711", "Cost|12.50"}) {
            auto cv = written.CategoryValues.NewCCategoryValue();
            cv->ValueName = QString::fromLatin1(v).section(QLatin1Char('|'), 0, 0);
            cv->ValueString = QString::fromLatin1(v).section(QLatin1Char('|'), 1);
        }
        QString path = box.Path(u"JOB1.dat"_s);
        QVERIFY(written.SaveToFile(path));
        CPrintJobInfo read;
        QVERIFY(read.ReadFromFile(path));
        written.JobSummary = read.JobSummary;
        written.CategoryValues.Item(1)->ValueNumeric = 4711;
        written.CategoryValues.Item(2)->ValueNumeric = 12.5;
        QCOMPARE(JobDump(read), JobDump(written));
    }

    void jobFile_data() {
        QTest::addColumn<QStringList>("masterChanges");
        QTest::addColumn<QStringList>("jobLines"); // "line=text", "lines=N" to cut the file
        QTest::addColumn<QStringList>("expected");
        const QString read = u"JobFileName=*"_s; // the job file's path
        QTest::newRow("job file wins")
            << QStringList{}
            << QStringList{u"4=77"_s,           u"5=Laser 2"_s,   u"6=HOSTB"_s, u"7=asmith"_s,
                           u"8= Report.pdf "_s, u"11=999"_s,      u"2=4"_s,     u"12=4"_s,
                           u"13=5"_s,           u"14=A4 sheet"_s, u"15=8.27"_s, u"16=11.69"_s,
                           u"20=Generic PS"_s,  u"22=Landscape"_s}
            << QStringList{read,
                           u"PrintJobID=77"_s,
                           u"PrinterName=Laser 2"_s,
                           u"MachineName=HOSTB"_s,
                           u"UserName=asmith"_s,
                           u"DocumentName=Report.pdf"_s,
                           u"JobSizeBytes=999"_s,
                           u"PagesPerCopy=4"_s,
                           u"SeparatorPages=0"_s,
                           u"NumCopies=5"_s,
                           u"PaperName=A4 sheet"_s,
                           u"PaperWidth=8.27"_s,
                           u"PaperHeight=11.69"_s,
                           u"TotalPages=20"_s,
                           u"PrtDriverName=Generic PS"_s,
                           u"Orientation=Landscape"_s,
                           u"JobSummary=ASMITH printed 4-8.27x11.69 pages of Report.pdf with 5 "
                           "copies  on Color-Bond at "_s +
                               kSummaryDate};
        const QStringList plain{read, u"SeparatorPages=0"_s, u"TotalPages=6"_s,
                                u"PrtDriverName=HP DesignJet Plotter"_s};
        QTest::newRow("as the monitor wrote it") << QStringList{} << QStringList{} << plain;
        QTest::newRow("page count larger")
            << QStringList{} << QStringList{u"2=12"_s, u"12=10"_s}
            << plain + QStringList{u"PagesPerCopy=12"_s, u"TotalPages=24"_s,
                                   u"JobSummary=JSMITH printed 12-8.5x11 pages of Plan.dwg with 2 "
                                   "copies  on Color-Bond at "_s +
                                       kSummaryDate};
        QTest::newRow("page count smaller")
            << QStringList{} << QStringList{u"2=8"_s, u"12=10"_s}
            << plain + QStringList{u"PagesPerCopy=10"_s, u"TotalPages=20"_s,
                                   u"JobSummary=JSMITH printed 10-8.5x11 pages of Plan.dwg with 2 "
                                   "copies  on Color-Bond at "_s +
                                       kSummaryDate};
        QTest::newRow("offline job")
            << QStringList{u"5=\"Offline Job 3\""_s} << QStringList{u"7=other"_s}
            << QStringList{u"DocumentName=Offline Job 3"_s,
                           u"JobSummary=JSMITH printed 3-8.5x11 pages of "
                           "Offline Job 3 with 2 copies  on Color-Bond at "_s +
                               kSummaryDate};
        QTest::newRow("ends after line 10")
            << QStringList{} << QStringList{u"lines=10"_s}
            << QStringList{
                   read,
                   u"JobSizeBytes=1"_s,
                   u"PagesPerCopy=3"_s,
                   u"SeparatorPages=0"_s,
                   u"NumCopies=1"_s,
                   u"PaperName=8.50 x 11.00"_s,
                   u"TotalPages=3"_s,
                   u"JobSummary=JSMITH printed 3-8.5x11 pages of Plan.dwg with 1 copies  on "
                   "Color-Bond at "_s +
                       kSummaryDate};
        QTest::newRow("colour while spooling")
            << QStringList{} << QStringList{u"19=Spooling"_s}
            << plain + QStringList{u"Color=Monochrome"_s,
                                   u"JobSummary=JSMITH printed 3-8.5x11 pages of Plan.dwg with 2 "
                                   "copies  on Monochrome-Bond at "_s +
                                       kSummaryDate};
        QTest::newRow("colour already known")
            << QStringList{} << QStringList{u"19=Monochrome"_s} << plain;
        QTest::newRow("orientation empty") << QStringList{} << QStringList{u"22="_s}
                                           << plain + QStringList{u"Orientation=Porttrait"_s};
        QTest::newRow("longer path")
            << QStringList{} << QStringList{u"9=C:\\Clients\\4711 Acme\\Drawings\\Plan.dwg"_s}
            << plain + QStringList{u"PathAndFilename=C:\\Clients\\4711 Acme\\Drawings\\Plan.dwg"_s};
    }
    void jobFile() {
        QFETCH(QStringList, masterChanges);
        QFETCH(QStringList, jobLines);
        QFETCH(QStringList, expected);
        Sandbox box;
        QStringList fields = MasterFields();
        for (const QString& c : masterChanges)
            fields[c.section(QLatin1Char('='), 0, 0).toInt()] = c.section(QLatin1Char('='), 1);
        const QString path = box.WriteLines(u"u/JOB1.dat"_s, {MasterLine(fields)});
        QStringList lines = JobFields().Lines();
        for (const QString& c : jobLines) {
            const QString key = c.section(QLatin1Char('='), 0, 0);
            const QString text = c.section(QLatin1Char('='), 1);
            if (key == QLatin1String("lines"))
                lines = lines.mid(0, text.toInt());
            else
                lines[key.toInt() - 1] = text;
        }
        const QString prt = box.WriteLines(u"u/JOB1.prt"_s, lines);
        for (QString& e : expected)
            if (e == QLatin1String("JobFileName=*")) e = u"JobFileName="_s + prt;
        CPrintJobInfo job;
        QVERIFY(job.ReadFromFile(path));
        QCOMPARE(JobDump(job), Expected(expected));
    }

    void detailValues_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("value"); // name | text | number
        QTest::addColumn<QString>("media");
        // The sample: 8.5 by 11 inches, 3 pages, 2 copies: 3.8958 square feet, 7 total pages.
        QTest::newRow("price per square foot")
            << u"QorvexDetail,2,\"Cost\",\"Color-Glossy= 0.25 per square foot\""_s
            << u"Cost | 0.97 | 0.97"_s << u"Glossy"_s;
        QTest::newRow("price, any case")
            << u"QorvexDetail,2,\"Cost\",\"Monochrome-Film= 2 PER SQUARE FOOT\""_s
            << u"Cost | 7.79 | 7.79"_s << u"Film"_s;
        QTest::newRow("total paper area") << u"QorvexDetail,2,\"Area\",\"Total Paper Area\""_s
                                          << u"Area | 3.90 | 3.9"_s << u"Bond"_s;
        QTest::newRow("total pages")
            << u"QorvexDetail,2,\"Pages\",\"Total Pages\""_s << u"Pages | 7.00 | 7"_s << u"Bond"_s;
        QTest::newRow("total pages, other case") << u"QorvexDetail,2,\"Pages\",\"total pages\""_s
                                                 << u"Pages | total pages | 0"_s << u"Bond"_s;
        QTest::newRow("paper size")
            << u"QorvexDetail,2,\"Size\",\"Paper Size\""_s << u"Size | 8.5 x 11 | 0"_s << u"Bond"_s;
        QTest::newRow("paper name and size") << u"QorvexDetail,2,\"Size\",\"Paper Name and Size\""_s
                                             << u"Size | 8.5 x 11 | 0"_s << u"Bond"_s;
        QTest::newRow("colour") << u"QorvexDetail,2,\"Mode\",\"Color-Monochrome\""_s
                                << u"Mode | Color | 0"_s << u"Bond"_s;
        QTest::newRow("paper width")
            << u"QorvexDetail,1,\"W\",\"Paper Width\""_s << u"W | 8.5 | 8.5"_s << u"Bond"_s;
        QTest::newRow("paper height")
            << u"QorvexDetail,2,\"H\",\"Paper Height\""_s << u"H | 11 | 11"_s << u"Bond"_s;
        QTest::newRow("number") << u"QorvexDetail,2,\"Cost\",\"12.50\""_s
                                << u"Cost | 12.50 | 12.5"_s << u"Bond"_s;
        QTest::newRow("code without closing quote")
            << u"QorvexDetail,2,\"Client\",\"4711"_s << u"Client | 4711 | 4711"_s << u"Bond"_s;
        QTest::newRow("word") << u"QorvexDetail,2,\"Client\",\"Acme \"\"North\"\"\""_s
                              << u"Client | Acme \"North\" | 0"_s << u"Bond"_s;
    }
    void detailValues() {
        QFETCH(QString, line);
        QFETCH(QString, value);
        QFETCH(QString, media);
        Sandbox box;
        const QString path = box.WriteLines(
            u"JOB1.dat"_s, {MasterLine(MasterFields()), u"not a detail line"_s, line});
        CPrintJobInfo job;
        QVERIFY(job.ReadFromFile(path));
        QCOMPARE(job.CategoryValues.Count(), 1);
        const auto v = job.CategoryValues.Item(1);
        QCOMPARE(v->ValueName + u" | "_s + v->ValueString + u" | "_s +
                     QString::number(v->ValueNumeric, 'g', 15),
                 value);
        QCOMPARE(job.MediaType, media);
    }

    void badInput_data() {
        QTest::addColumn<QStringList>("lines"); // empty: no file at all
        QTest::addColumn<int>("error");         // 0: a bad version, no error raised
        QTest::addColumn<int>("values");        // category values read
        const QString good = MasterLine(MasterFields());
        auto with = [](int i, const QString& text) {
            QStringList f = MasterFields();
            f[i] = text;
            return MasterLine(f);
        };
        QTest::newRow("bad version") << QStringList{with(kVersion, u"3"_s)} << 0 << 0;
        QTest::newRow("empty file") << QStringList{QString()} << 0 << 0;
        QTest::newRow("junk") << QStringList{u"%PDF-1.4 \x01\x02"_s,
                                             u"QorvexDetail,2,\"A\",\"B\""_s}
                              << 0 << 0;
        QTest::newRow("master cut short")
            << QStringList{good.left(good.indexOf(u"\"Portrait\""_s) - 1)} << 62 << 0;
        QTest::newRow("master cut in the date") << QStringList{good.left(60)} << 13 << 0;
        QTest::newRow("job number not a number") << QStringList{with(kId, u"x42"_s)} << 13 << 0;
        QTest::newRow("job number too large") << QStringList{with(kId, u"2147483648"_s)} << 6 << 0;
        QTest::newRow("pages too large") << QStringList{with(kPages, u"1e10"_s)} << 6 << 0;
        QTest::newRow("date not a date") << QStringList{with(kDate, u"\"yesterday\""_s)} << 13 << 0;
        QTest::newRow("detail bad version")
            << QStringList{good, u"QorvexDetail,2,\"A\",\"1\""_s, u"QorvexDetail,9,\"B\",\"2\""_s,
                           u"QorvexDetail,2,\"C\",\"3\""_s}
            << 0 << 2;
        QTest::newRow("detail cut short")
            << QStringList{good, u"QorvexDetail,2,\"Client\""_s} << 62 << 0;
        QTest::newRow("no file") << QStringList{} << 53 << 0;
    }
    void badInput() {
        QFETCH(QStringList, lines);
        QFETCH(int, error);
        QFETCH(int, values);
        Sandbox box;
        const QString path = lines.isEmpty() ? box.Path(u"JOB1.dat"_s)
                             : lines == QStringList{QString()}
                                 ? box.Write(u"JOB1.dat"_s, {})
                                 : box.WriteLines(u"JOB1.dat"_s, lines);
        CPrintJobInfo job;
        CError err;
        QVERIFY(!job.ReadFromFile(path, &err));
        QCOMPARE(err.number, error);
        if (error == 0) QCOMPARE(job.CategoryValues.Count(), values);
    }
};

QTEST_GUILESS_MAIN(TestJobFile)
#include "tst_jobfile.moc"
