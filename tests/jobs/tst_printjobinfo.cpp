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
        // expected: "" for none
        Table("groups driver expected",
              {"longest wins¦Default,HP,HP DesignJet,Canon¦HP DesignJet 500 PS3¦HP DesignJet",
               "case ignored¦Default,HP,HP DesignJet,Canon¦hp designjet 500¦HP DesignJet",
               "short match¦Default,HP,HP DesignJet,Canon¦HP LaserJet¦HP",
               "fallback¦Default,HP,HP DesignJet,Canon¦Epson¦Default",
               "empty driver¦Default,HP,HP DesignJet,Canon¦¦Default", "no default¦HP¦Epson¦",
               "lower-case default is a name¦default¦My Default Driver¦default",
               "lower-case default no fallback¦default¦Epson¦",
               "equal length first wins¦AB,CD¦CD AB¦AB"});
    }
    void printerGroup() {
        QFETCH(QString, groups);
        QFETCH(QString, driver);
        gConfigOptions = std::make_shared<CConfigOptions>();
        for (const QString& n : groups.split(u','))
            gConfigOptions->PrinterGroups.NewCPrinterGroup()->PrinterGroupName = n;
        CPrintJobInfo job;
        job.PrtDriverName = driver;
        const auto g = job.PrinterGroup();
        QTEST(g ? g->PrinterGroupName : QString(), "expected");
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
            cv->ValueName = u"own | x"_s; // a bar in the name stays
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
        // A given path keeps the values' own names, whole.
        QString given = box.Path(u"other.dat"_s);
        QVERIFY(j.SaveToFile(given));
        QVERIFY(box.Read(u"other.dat"_s).contains("\r\nQorvexDetail,2,\"own | x\",\"1234\r\n"));
        j.JobSizeBytes = 0; // nothing to store
        QString none;
        QVERIFY(j.SaveToFile(none) && none.isEmpty());
        j.JobSizeBytes = 5;
        QString bad = box.Path(u"missing/x.dat"_s);
        QVERIFY(!j.SaveToFile(bad));
    }

    // A data file is written whole or not at all: a cut-short one would settle the job for ever.
    void dataFileOnAFullDevice_data() {
        Table("missing", {"nothing fits¦all", "one byte short¦1", "just fits¦0"}); // bytes short
    }
    void dataFileOnAFullDevice() {
        QFETCH(QString, missing);
        Sandbox box;
        CPrintJobInfo j = SampleJob();
        QString path = box.Path(u"whole.dat"_s);
        QVERIFY(j.SaveToFile(path));
        const QByteArray whole = box.Read(u"whole.dat"_s);
        path = box.Write(u"J.dat"_s, "old\r\n");
        bool saved = false;
        {
            FailingDevice device(missing == u"all"_s ? 0 : whole.size() - missing.toInt());
            saved = j.SaveToFile(path);
        }
        QCOMPARE(saved, missing == u"0"_s);
        QCOMPARE(box.Read(u"J.dat"_s), saved ? whole : QByteArray("old\r\n"));
        QCOMPARE(QDir(box.Path()).entryList({u"*J.dat*"_s}, QDir::Files | QDir::Hidden),
                 QStringList{u"J.dat"_s});
    }

    // expected: ";"-joined overrides ("@" the job file's changes), or "error N[, V values]";
    // "%254" and "%253" stand for that many "D".
    void read_data() {
        Table(
            "files expected",
            {"as written¦¦JobSummary=JSMITH printed 3-8.5x11 pages of Plan.dwg with 2 copies  on "
             "Color-Bond at 3/5/04 2:07 PM",
             "no height¦m14=17.000000;m15=¦PaperName=8.50 x 11.00;PaperWidth=17;PaperHeight=11",
             "no width¦m14=;m15=17.000000¦PaperWidth=8.5;PaperHeight=17",
             "spooling path¦m17=\"Spooling\"¦PathAndFilename=Plan.dwg",
             "empty path¦m17=\"\"¦PathAndFilename=Plan.dwg",
             "version 1¦m1=1;m20=-;m21=\"Glossy\";m22=\"Landscape\"¦PrtDriverName=;"
             "MediaType=Glossy;Orientation=Landscape",
             "defaults¦m9=;m10=;m11=;m12=;m16=;m18=\"\";m19=;m21=\"\";m22=\"\"¦JobSizeBytes=1;"
             "PagesPerCopy=1;SeparatorPages=0;NumCopies=1;TotalPages=1;Color=Monochrome;"
             "Reserved=1;MediaType=Bond;Orientation=Porttrait",
             "spooling texts¦m18=\"spooling\";m21=\"Spooling\";m22=\"SPOOLING now\"¦"
             "Color=Monochrome;MediaType=Bond;Orientation=Porttrait",
             "whole numbers and integer parts¦m9=3.5;m10=2.7;m11=1.9;m12=2.5;m16=7.9¦"
             "JobSizeBytes=4;PagesPerCopy=2;SeparatorPages=1;NumCopies=2;TotalPages=7",
             "no total¦m16=¦TotalPages=6", "document name of 254¦m6=\"%254\"¦DocumentName=%253",
             "job file wins¦j4=77;j5=Laser 2;j6=HOSTB;j7=asmith;j8= Report.pdf ;j11=999;j2=4;"
             "j12=4;j13=5;j14=A4 sheet;j15=8.27;j16=11.69;j20=Generic PS;j22=Landscape¦@;"
             "PrintJobID=77;PrinterName=Laser 2;MachineName=HOSTB;UserName=asmith;"
             "DocumentName=Report.pdf;JobSizeBytes=999;PagesPerCopy=4;NumCopies=5;"
             "PaperName=A4 sheet;PaperWidth=8.27;PaperHeight=11.69;TotalPages=20;"
             "PrtDriverName=Generic PS;Orientation=Landscape",
             "as the monitor wrote it¦prt¦@",
             "page count larger¦j2=12;j12=10¦@;PagesPerCopy=12;TotalPages=24",
             "page count smaller¦j2=8;j12=10¦@;PagesPerCopy=10;TotalPages=20",
             "offline job¦m6=\"Offline Job 3\";j7=other¦DocumentName=Offline Job 3",
             "job file ends after line 10¦jlines=10¦JobFileName=*;JobSizeBytes=1;PagesPerCopy=3;"
             "SeparatorPages=0;NumCopies=1;PaperName=8.50 x 11.00;TotalPages=3",
             "colour while spooling¦j19=Spooling¦@;Color=Monochrome",
             "colour already known¦j19=Monochrome¦@",
             "orientation empty¦j22=¦@;Orientation=Porttrait",
             "longer path¦j9=C:\\Clients\\4711 "
             "Acme\\Drawings\\Plan.dwg¦@;PathAndFilename=C:\\Clients"
             "\\4711 Acme\\Drawings\\Plan.dwg",
             // Values not known when the job was stored are worked out: the sample is 3.8958
             // square feet in all.
             "priced per square foot¦v=Cost,Color-Glossy= 0.25 per square foot;v=Cost,"
             "Monochrome-Film= 2 PER SQUARE FOOT¦Value=Cost | 0.97 | 0.97;Value=Cost | 7.79 | "
             "7.79;MediaType=Film",
             "worked out¦v=Area,Total Paper Area;v=Pages,Total Pages;v=Pages,total pages;v=Size,"
             "Paper Size;v=Size,Paper Name and Size;v=Mode,Color-Monochrome;v=H,Paper Height;"
             "d=QorvexDetail,1,\"W\",\"Paper Width\"¦Value=Area | 3.90 | 3.9;Value=Pages | 7.00 | "
             "7;Value=Pages | total pages | 0;Value=Size | 8.5 x 11 | 0;Value=Size | 8.5 x 11 | 0;"
             "Value=Mode | Color | 0;Value=H | 11 | 11;Value=W | 8.5 | 8.5",
             "values as written¦v=Cost,12.50;d=QorvexDetail,2,\"Client\",\"4711;d=QorvexDetail,2,"
             "\"Client\",\"Acme \"\"North\"\"\";d=QorvexDetail,2,\"C | M\",\"4711¦Value=Cost | "
             "12.50 | 12.5;"
             "Value=Client | 4711 | 4711;Value=Client | Acme \"North\" | 0;Value=C | M | 4711 | "
             "4711",
             "bad version¦m1=3¦error 0, 0 values", "empty file¦empty¦error 0, 0 values",
             "junk¦master=%PDF-1.4 \x01\x02;d=QorvexDetail,2,\"A\",\"B\"¦error 0, 0 values",
             "detail of a bad version¦d=QorvexDetail,2,\"A\",\"1\";d=QorvexDetail,9,\"B\",\"2\";"
             "d=QorvexDetail,2,\"C\",\"3\"¦error 0, 2 values",
             "master ends after the driver¦m21=-;m22=-¦MediaType=Bond;Orientation=Porttrait",
             "master cut in the date¦cut=60¦error 13", "job number not a number¦m2=x42¦error 13",
             "job number past 2^31-1¦m2=2147483648¦error 6", "pages too large¦m10=1e10¦error 6",
             "date not a date¦m7=\"yesterday\"¦error 13",
             "detail without its value¦d=QorvexDetail,2,\"Client\"¦Value=Client |  | 0",
             "no file¦nofile¦error 53"});
    }
    // files: "m<i>=text" sets field i of the master line ("-" drops it), "cut=N" cuts that
    // line, "master=text" replaces it, "d=line" adds a data line and "v=name,text" a detail
    // line; "j<n>=text" sets line n of a job file as the monitor writes it, "jlines=N" cuts
    // it, "prt" writes it unchanged; "empty" and "nofile" give an empty and no data file.
    void read() {
        QFETCH(QString, files);
        QFETCH(QString, expected);
        files.replace(u"%254"_s, QString(254, u'D'));
        expected.replace(u"%253"_s, QString(253, u'D')).replace(u'@', kJobFile);
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
