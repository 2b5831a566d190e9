// The job record: its printer group, validity rules, the data file it writes, and reading a
// stored job back from its data file and the monitor's job file beside it.
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "jobs/cprintjobinfo.h"
#include "testsupport.h"

#include <QDir>
#include <QTest>

namespace {
// The sample job's data file as SaveToFile writes it, with one line that is not a detail.
const QString kMaster =
    u"QorvexMaster,2,42,\"Plotter A0\",\"HOSTA\",\"jsmith\",\"Plan.dwg\",\"03/05/2004 2:07:09 "
    "PM\",\"\\\\SRV\\Plotter\",123456,3,1,2,\"Letter\",8.500000,11.000000,7,\"C:\\Clients\\4711 "
    "Acme\\Plan.doc\",\"Color\",0.000000,\"HP DesignJet\",\"Bond\",\"Portrait\""_s;
// What a monitor's job file beside it changes.
const QString kJobFile = u"JobFileName=*;SeparatorPages=0;TotalPages=6;"
                         "PrtDriverName=HP DesignJet Plotter"_s;

// The sample's record as read back, with "Key=value" overrides; the summary, unless given,
// made of the fields as the reader makes it.
QString Expected(const QString& overrides, const QString& jobFile) {
    CPrintJobInfo j = SampleJob();
    j.TotalPages = 7;
    QStringList lines = JobDump(j).split(u'\n');
    for (QString o : overrides.split(u';', Qt::SkipEmptyParts)) {
        if (o == u"JobFileName=*"_s) o = o.chopped(1) + jobFile;
        const QString key = o.section(u'=', 0, 0) + u'=';
        auto at = std::find_if(lines.begin(), lines.end(),
                               [&](const QString& l) { return l.startsWith(key); });
        if (at != lines.end() && key != u"Value="_s)
            *at = o;
        else
            lines << o;
    }
    auto f = [&](int i) { return lines[i].section(u'=', 1); };
    if (f(22).isEmpty())
        lines[22] +=
            (u"%1 printed %2-%3x%4 pages of %5 with %6 copies  on %7-%8 at 3/5/04 2:07 PM"_s)
                .arg(f(4).toUpper(), f(9), f(13), f(14), f(5), f(11), f(17), f(20))
                .left(253);
    return lines.join(u'\n');
}
} // namespace

class TestPrintJobInfo : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        ResetEnvironment();
        gConfigOptions.reset();
    }

    void printerGroup_data() {
        QTest::addColumn<QString>("groups");
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("expected"); // "" for none
        const QString g = u"Default,HP,HP DesignJet,Canon"_s;
        QTest::newRow("longest wins") << g << u"HP DesignJet 500 PS3"_s << u"HP DesignJet"_s;
        QTest::newRow("case ignored") << g << u"hp designjet 500"_s << u"HP DesignJet"_s;
        QTest::newRow("short match") << g << u"HP LaserJet"_s << u"HP"_s;
        QTest::newRow("fallback") << g << u"Epson"_s << u"Default"_s;
        QTest::newRow("empty driver") << g << u""_s << u"Default"_s;
        QTest::newRow("no default") << u"HP"_s << u"Epson"_s << u""_s;
        QTest::newRow("only default") << u"Default"_s << u"HP DesignJet"_s << u"Default"_s;
        QTest::newRow("lower-case default is a name")
            << u"default"_s << u"My Default Driver"_s << u"default"_s;
        QTest::newRow("lower-case default no fallback") << u"default"_s << u"Epson"_s << u""_s;
        QTest::newRow("equal length first wins") << u"AB,CD"_s << u"CD AB"_s << u"AB"_s;
    }
    void printerGroup() {
        QFETCH(QString, groups);
        QFETCH(QString, driver);
        QFETCH(QString, expected);
        gConfigOptions = std::make_shared<CConfigOptions>();
        for (const QString& n : groups.split(u','))
            gConfigOptions->PrinterGroups.NewCPrinterGroup()->PrinterGroupName = n;
        CPrintJobInfo job;
        job.PrtDriverName = driver;
        const auto g = job.PrinterGroup();
        QCOMPARE(g ? g->PrinterGroupName : QString(), expected);
        // Cached: a reload does not move the job to another group.
        gConfigOptions = std::make_shared<CConfigOptions>();
        QCOMPARE(job.PrinterGroup(), g);
    }

    void validity() {
        CPrintJobInfo j;
        QVERIFY(!j.PaperName_Valid());
        j.PaperWidth = 8.5;
        j.PaperHeight = 11;
        QVERIFY(j.PaperName_Valid());
        QCOMPARE(j.PaperName, u"Custom"_s);
        j.PaperName = u"Let"_s;
        QVERIFY(!j.PaperName_Valid());
        j.PaperName = u"Lett"_s;
        QVERIFY(j.PaperName_Valid() && j.SeparatorPages_Valid());
        QVERIFY(CDate::Parse(u"12/31/1999 11:59:59 PM"_s, &j.SubmitDT) && !j.SubmitDT_Valid());
        QVERIFY(CDate::Parse(u"1/1/2000 0:00:00"_s, &j.SubmitDT) && j.SubmitDT_Valid());
    }

    void displayRequired() {
        Sandbox box;
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(box.Write(u"c.ini"_s, TestData(u"config_v2.ini"_s))));
        CPrintJobInfo job;
        job.PrtDriverName = u"Generic"_s;
        job.PagesPerCopy = 3;
        job.NumCopies = 2;
        job.CategoryValues.NewCCategoryValue();
        job.SetUserValues();
        // "Pages" asks only when its value (total pages) is unknown.
        QCOMPARE(job.CategoryValues.Item(1)->ValueString, u"6"_s);
        QVERIFY(!job.DisplayRequired());
        job.NumCopies = 0;
        job.SetUserValues();
        QVERIFY(job.DisplayRequired());
    }

    void dataFile() {
        Sandbox box;
        gConfigOptions = std::make_shared<CConfigOptions>();
        QVERIFY(gConfigOptions->ReadIniFile(box.Write(u"c.ini"_s, TestData(u"config_v2.ini"_s))));
        QDir().mkpath(box.Path(u"users/jsmith"_s));
        CPrintJobInfo j = SampleJob();
        j.JobFileName = box.Path(u"users/jsmith/JOB0001.prt"_s);
        j.DocumentName = u"The \"big\" plan"_s;
        QVERIFY(CDate::Parse(u"3/5/2004 9:07:02 AM"_s, &j.SubmitDT));
        j.JobSizeBytes = 1000;
        j.SeparatorPages = 0;
        j.TotalPages = 6;
        j.PathAndFilename = u"C:\\x.dwg"_s;
        j.PrtDriverName = u"DesignJet Plotter"_s;
        j.Reserved = 2.5;
        for (const char* v : {"1234 | Acme Ltd", "0.25 | Total Job Cost"}) {
            auto cv = j.CategoryValues.NewCCategoryValue();
            cv->ValueName = u"own"_s;
            cv->ValueString = QString::fromLatin1(v);
        }
        // The name comes from the job file; the values from the printer group's categories.
        QString path;
        QVERIFY(j.SaveToFile(path));
        QCOMPARE(path, box.Path(u"users/jsmith/JOB0001.dat"_s));
        QCOMPARE(box.Read(u"users/jsmith/JOB0001.dat"_s),
                 "QorvexMaster,2,42,\"Plotter A0\",\"HOSTA\",\"jsmith\",\"The \"\"big\"\" plan\","
                 "\"03/05/2004 9:07:02 AM\",\"\\\\SRV\\Plotter\",1000,3,0,2,\"Letter\",8.500000,"
                 "11.000000,6,\"C:\\x.dwg\",\"Color\",2.500000,\"DesignJet Plotter\",\"Bond\","
                 "\"Portrait\"\r\nQorvexDetail,2,\"Client\",\"1234\r\n"
                 "QorvexDetail,2,\"Cost\",\"0.25 | Total Job Cost\"\r\n");
        // A given path keeps the values' own names.
        QString given = box.Path(u"other.dat"_s);
        QVERIFY(j.SaveToFile(given));
        QVERIFY(box.Read(u"other.dat"_s).contains("\r\nQorvexDetail,2,\"own\",\"1234\r\n"));
        j.JobSizeBytes = 0; // nothing to store
        QString none;
        QVERIFY(j.SaveToFile(none) && none.isEmpty());
        j.JobSizeBytes = 5;
        QString bad = box.Path(u"missing/x.dat"_s);
        QVERIFY(!j.SaveToFile(bad));
    }

    // A data file is written whole or not at all: a cut-short one would settle the job for ever.
    void dataFileOnAFullDevice_data() {
        QTest::addColumn<int>("missing"); // bytes short of the whole file
        QTest::newRow("nothing fits") << -1;
        QTest::newRow("one byte short") << 1;
        QTest::newRow("just fits") << 0;
    }
    void dataFileOnAFullDevice() {
        QFETCH(int, missing);
        Sandbox box;
        CPrintJobInfo j = SampleJob();
        QString path = box.Path(u"whole.dat"_s);
        QVERIFY(j.SaveToFile(path));
        const QByteArray whole = box.Read(u"whole.dat"_s);
        path = box.Write(u"J.dat"_s, "old\r\n");
        bool saved = false;
        {
            FailingDevice device(missing < 0 ? 0 : whole.size() - missing);
            saved = j.SaveToFile(path);
        }
        QCOMPARE(saved, missing == 0);
        QCOMPARE(box.Read(u"J.dat"_s), saved ? whole : QByteArray("old\r\n"));
        QCOMPARE(QDir(box.Path()).entryList({u"*J.dat*"_s}, QDir::Files | QDir::Hidden),
                 QStringList{u"J.dat"_s});
    }

    void read_data() {
        QTest::addColumn<QString>("files");    // ";"-joined edits of the files, see read()
        QTest::addColumn<QString>("expected"); // ";"-joined overrides, or "error N[, V values]"
        const QString d254(254, u'D');
        struct Row {
            const char* name;
            QString files, expected;
        } rows[] = {
            {"as written", u""_s,
             u"JobSummary=JSMITH printed 3-8.5x11 pages of Plan.dwg with 2 copies  on Color-Bond "
             "at 3/5/04 2:07 PM"_s},
            {"no height", u"m14=17.000000;m15="_s,
             u"PaperName=8.50 x 11.00;PaperWidth=17;PaperHeight=11"_s},
            {"no width", u"m14=;m15=17.000000"_s, u"PaperWidth=8.5;PaperHeight=17"_s},
            {"spooling path", u"m17=\"Spooling\""_s, u"PathAndFilename=Plan.dwg"_s},
            {"empty path", u"m17=\"\""_s, u"PathAndFilename=Plan.dwg"_s},
            {"version 1", u"m1=1;m20=-;m21=\"Glossy\";m22=\"Landscape\""_s,
             u"PrtDriverName=;MediaType=Glossy;Orientation=Landscape"_s},
            {"defaults", u"m9=;m10=;m11=;m12=;m16=;m18=\"\";m19=;m21=\"\";m22=\"\""_s,
             u"JobSizeBytes=1;PagesPerCopy=1;SeparatorPages=0;NumCopies=1;TotalPages=1;"
             "Color=Monochrome;Reserved=1;MediaType=Bond;Orientation=Porttrait"_s},
            {"spooling texts", u"m18=\"spooling\";m21=\"Spooling\";m22=\"SPOOLING now\""_s,
             u"Color=Monochrome;MediaType=Bond;Orientation=Porttrait"_s},
            {"whole numbers and integer parts", u"m9=3.5;m10=2.7;m11=1.9;m12=2.5;m16=7.9"_s,
             u"JobSizeBytes=4;PagesPerCopy=2;SeparatorPages=1;NumCopies=2;TotalPages=7"_s},
            {"no total", u"m16="_s, u"TotalPages=6"_s},
            {"document name of 254", u"m6=\""_s + d254 + u'"', u"DocumentName="_s + d254.left(253)},
            {"job file wins",
             u"j4=77;j5=Laser 2;j6=HOSTB;j7=asmith;j8= Report.pdf ;j11=999;j2=4;j12=4;j13=5;"
             "j14=A4 sheet;j15=8.27;j16=11.69;j20=Generic PS;j22=Landscape"_s,
             kJobFile + u";PrintJobID=77;PrinterName=Laser 2;MachineName=HOSTB;UserName=asmith;"
                        "DocumentName=Report.pdf;JobSizeBytes=999;PagesPerCopy=4;NumCopies=5;"
                        "PaperName=A4 sheet;PaperWidth=8.27;PaperHeight=11.69;TotalPages=20;"
                        "PrtDriverName=Generic PS;Orientation=Landscape"_s},
            {"as the monitor wrote it", u"prt"_s, kJobFile},
            {"page count larger", u"j2=12;j12=10"_s,
             kJobFile + u";PagesPerCopy=12;TotalPages=24"_s},
            {"page count smaller", u"j2=8;j12=10"_s,
             kJobFile + u";PagesPerCopy=10;TotalPages=20"_s},
            {"offline job", u"m6=\"Offline Job 3\";j7=other"_s, u"DocumentName=Offline Job 3"_s},
            {"job file ends after line 10", u"jlines=10"_s,
             u"JobFileName=*;JobSizeBytes=1;PagesPerCopy=3;SeparatorPages=0;NumCopies=1;"
             "PaperName=8.50 x 11.00;TotalPages=3"_s},
            {"colour while spooling", u"j19=Spooling"_s, kJobFile + u";Color=Monochrome"_s},
            {"colour already known", u"j19=Monochrome"_s, kJobFile},
            {"orientation empty", u"j22="_s, kJobFile + u";Orientation=Porttrait"_s},
            {"longer path", u"j9=C:\\Clients\\4711 Acme\\Drawings\\Plan.dwg"_s,
             kJobFile + u";PathAndFilename=C:\\Clients\\4711 Acme\\Drawings\\Plan.dwg"_s},
            // Values not known when the job was stored are worked out: the sample is 3.8958
            // square feet in all.
            {"priced per square foot",
             u"v=Cost,Color-Glossy= 0.25 per square foot;v=Cost,Monochrome-Film= 2 PER SQUARE FOOT"_s,
             u"Value=Cost | 0.97 | 0.97;Value=Cost | 7.79 | 7.79;MediaType=Film"_s},
            {"worked out",
             u"v=Area,Total Paper Area;v=Pages,Total Pages;v=Pages,total pages;v=Size,Paper Size;"
             "v=Size,Paper Name and Size;v=Mode,Color-Monochrome;v=H,Paper Height;"
             "d=QorvexDetail,1,\"W\",\"Paper Width\""_s,
             u"Value=Area | 3.90 | 3.9;Value=Pages | 7.00 | 7;Value=Pages | total pages | 0;"
             "Value=Size | 8.5 x 11 | 0;Value=Size | 8.5 x 11 | 0;Value=Mode | Color | 0;"
             "Value=H | 11 | 11;Value=W | 8.5 | 8.5"_s},
            {"values as written",
             u"v=Cost,12.50;d=QorvexDetail,2,\"Client\",\"4711;"
             "d=QorvexDetail,2,\"Client\",\"Acme \"\"North\"\"\""_s,
             u"Value=Cost | 12.50 | 12.5;Value=Client | 4711 | 4711;"
             "Value=Client | Acme \"North\" | 0"_s},
            {"bad version", u"m1=3"_s, u"error 0, 0 values"_s},
            {"empty file", u"empty"_s, u"error 0, 0 values"_s},
            {"junk", u"master=%PDF-1.4 \x01\x02;d=QorvexDetail,2,\"A\",\"B\""_s,
             u"error 0, 0 values"_s},
            {"detail of a bad version",
             u"d=QorvexDetail,2,\"A\",\"1\";d=QorvexDetail,9,\"B\",\"2\";"
             "d=QorvexDetail,2,\"C\",\"3\""_s,
             u"error 0, 2 values"_s},
            {"master cut short", u"m22=-"_s, u"error 62"_s},
            {"master cut in the date", u"cut=60"_s, u"error 13"_s},
            {"job number not a number", u"m2=x42"_s, u"error 13"_s},
            {"job number past 2^31-1", u"m2=2147483648"_s, u"error 6"_s},
            {"pages too large", u"m10=1e10"_s, u"error 6"_s},
            {"date not a date", u"m7=\"yesterday\""_s, u"error 13"_s},
            {"detail cut short", u"d=QorvexDetail,2,\"Client\""_s, u"error 62"_s},
            {"no file", u"nofile"_s, u"error 53"_s},
        };
        for (const Row& r : rows) QTest::newRow(r.name) << r.files << r.expected;
    }
    // files: "m<i>=text" sets field i of the master line ("-" drops it), "cut=N" cuts that
    // line, "master=text" replaces it, "d=line" adds a data line and "v=name,text" a detail
    // line; "j<n>=text" sets line n of a job file as the monitor writes it, "jlines=N" cuts
    // it, "prt" writes it unchanged; "empty" and "nofile" give an empty and no data file.
    void read() {
        QFETCH(QString, files);
        QFETCH(QString, expected);
        Sandbox box;
        QStringList master = kMaster.split(u','), data, job = JobFields().Lines();
        bool jobFile = false;
        int cut = -1;
        for (const QString& f : files.split(u';', Qt::SkipEmptyParts)) {
            const QString key = f.section(u'=', 0, 0), text = f.section(u'=', 1);
            if (key.startsWith(u'm') && key.size() > 1 && key[1].isDigit())
                master[key.mid(1).toInt()] = text;
            if (key.startsWith(u'j') && key[1].isDigit()) job[key.mid(1).toInt() - 1] = text;
            jobFile = jobFile || key.startsWith(u'j') || key == u"prt"_s;
            if (key == u"jlines"_s) job = job.mid(0, text.toInt());
            if (key == u"cut"_s) cut = text.toInt();
            if (key == u"master"_s) master = QStringList{text};
            if (key == u"d"_s) data << text;
            if (key == u"v"_s)
                data << u"QorvexDetail,2,\"%1\",\"%2\""_s.arg(text.section(u',', 0, 0),
                                                              text.section(u',', 1));
        }
        master.removeAll(u"-"_s);
        data.prepend(u"not a detail line"_s);
        data.prepend(master.join(u',').left(cut));
        const QString path = files == u"nofile"_s  ? box.Path(u"u/JOB1.dat"_s)
                             : files == u"empty"_s ? box.Write(u"u/JOB1.dat"_s, {})
                                                   : box.WriteLines(u"u/JOB1.dat"_s, data);
        const QString prt = jobFile ? box.WriteLines(u"u/JOB1.prt"_s, job) : QString();
        CPrintJobInfo read;
        CError err;
        if (read.ReadFromFile(path, &err)) {
            QCOMPARE(JobDump(read), Expected(expected, prt));
        } else {
            const QString got = u"error %1"_s.arg(err.number);
            QCOMPARE(err.number ? got : got + u", %1 values"_s.arg(read.CategoryValues.Count()),
                     expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestPrintJobInfo)
#include "tst_printjobinfo.moc"
