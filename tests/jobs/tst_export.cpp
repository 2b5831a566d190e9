// The activity export: new lines of the user's activity log become data files Job1.dat, ...
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "jobs/cprintjobinfo.h"
#include "testsupport.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
// The data file of one activity: user, document, time and last value, "|"-joined.
QString Dat(const QString& fields) {
    const QStringList f = fields.split(u'|');
    return u"QorvexMaster,2,1,\"Act Print\",\"HOSTA\",\"%1\",\"%2\",\"%3\",\"unknown\",1000,1,1,1,"
           "\"unknown\",1.0,1.0,1,\"unknown\",\"unknown\",\"%4\",\"unknown\"\r\n"
           "QorvexDetail,2,\"corvayne\",\"corvayne\"\r\n"_s.arg(f[0], f[1], f[2], f[3]);
}
// Activities of bob, one per character: the character is the activity's last value.
QByteArray Lines(const QString& lasts) {
    QByteArray bytes;
    for (QChar l : lasts) bytes += "3/15/2024,9:05:00,bob,Plan.dwg," + QString(l).toUtf8() + "\r\n";
    return bytes;
}
QStringList Bob(const QString& lasts) {
    QStringList dats;
    for (QChar l : lasts) dats << Dat(u"bob|Plan.dwg|3/15/2024 9:05:00 AM|"_s + l);
    return dats;
}
} // namespace

class TestExport : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> box;

    static void Run() { CPrintJobInfo().CheckCorvayne(); }
    void Log(const QByteArray& bytes) { box->Write(u"local/qorvcor.txt"_s, bytes); }
    QString Files(const QString& folder = u"data/users/jsmith"_s) {
        return Listing(box->Path(folder));
    }
    // Job1.dat, Job2.dat, ... holding these data files, as Listing shows them.
    static QString Numbered(const QStringList& dats) {
        QStringList out;
        for (QString d : dats)
            out << u"Job%1.dat = "_s.arg(out.size() + 1) + d.replace(u"\r\n"_s, u"|"_s);
        return out.join(u'\n');
    }

private Q_SLOTS:
    void init() {
        box = std::make_unique<Sandbox>();
        gEnv.m_sLocalUserPath = box->Path(u"local/"_s);
        gEnv.m_sDataPath = box->Path(u"data/"_s);
        gEnv.m_sUserName = u"jsmith"_s;
        gEnv.m_sMachineName = u"HOSTA"_s;
        gEnv.m_bCorvayneExport = true;
        QDir().mkpath(box->Path(u"local"_s));
        QDir().mkpath(box->Path(u"data/users/jsmith"_s));
    }
    void cleanup() { box.reset(); }

    // Saving a job runs the export first where it is on, into the local folder while offline.
    void savedJob_data() { Table("folder", {"online¦data", "offline¦local", "switched off¦"}); }
    void savedJob() {
        QFETCH(QString, folder);
        gEnv.m_bOffline = folder == u"local"_s;
        gEnv.m_bCorvayneExport = !folder.isEmpty();
        Log(Lines(u"1"_s));
        QString unused;
        QVERIFY(CPrintJobInfo().SaveToFile(unused)); // a job of no bytes: only the export
        for (const QString& f : {u"data"_s, u"local"_s})
            QCOMPARE(Files(f + u"/users/jsmith"_s),
                     f == folder ? Numbered(Bob(u"1"_s)) : QString());
        if (folder.isEmpty()) return;
        // The import reads it back, the fields it leaves out taking their defaults.
        CPrintJobInfo read;
        CError err;
        QVERIFY(read.ReadFromFile(box->Path(folder + u"/users/jsmith/Job1.dat"_s), &err));
        QCOMPARE(QStringList({read.UserName, read.PrtDriverName, read.MediaType, read.Orientation}),
                 QStringList({u"bob"_s, u"unknown"_s, u"Bond"_s, u"Porttrait"_s}));
    }

    // The export is on where the program folder lies under a folder named "cvedm" (any letter
    // case); the local folder is then in the program folder.
    void switchedOnUnderCvedm_data() {
        Table("program local", {"upper case¦prog/CVEDM/bin¦prog/CVEDM/bin/Qorvex",
                                "last folder¦prog/xcvedm¦prog/xcvedm/Qorvex",
                                "cut by a folder¦prog/cved/m¦home/.local/share/Qorvex"});
    }
    void switchedOnUnderCvedm() {
        QFETCH(QString, program);
        QFETCH(QString, local);
        gEnv.m_sProgramPath = box->Path(program);
        QCOMPARE(std::pair(GetLocalPath(), gEnv.m_bCorvayneExport),
                 std::pair(box->Path(local), local.startsWith(program)));
        QVERIFY(QFileInfo(box->Path(local)).isDir());
    }

    void numbering() {
        box->Write(u"data/users/jsmith/Job2.dat"_s, "keep");
        Log(Lines(u"123"_s));
        Run();
        QFile::remove(box->Path(u"data/users/jsmith/Job1.dat"_s)); // imported meanwhile
        Log(Lines(u"1234"_s));
        Run(); // counts from 1 again
        QStringList dats = Bob(u"4k23"_s);
        dats[1] = u"keep"_s;
        QCOMPARE(Files(), Numbered(dats));
    }

    // The log as it is at each run, and the data files all runs make. One line: the first blank
    // of the user goes, quotes are doubled, the rest after the fourth comma is one trimmed
    // value; fewer than four commas leave user and document empty. A log that is no
    // continuation of what was exported gives nothing twice and loses nothing; empty lines are
    // no activity; a line with fewer than four commas takes the missing fields from the lines
    // before it, also from an earlier run; a last line without a line end waits for its end.
    void runs_data() {
        QTest::addColumn<QList<QByteArray>>("logs");
        QTest::addColumn<QStringList>("dats");
        for (auto [row, line, dat] :
             {std::tuple{"first blank of the user removed",
                         "3/15/2024,9:05:00,john smith,Plan.dwg,12.50",
                         "johnsmith|Plan.dwg|3/15/2024 9:05:00 AM|12.50"},
              {"two blanks, quotes, commas in the rest",
               "2024-03-05,14:07,mary ann smith,\"Q1\".doc,  a, b  ",
               "maryann smith|\"\"Q1\"\".doc|3/05/2024 2:07:00 PM|a, b"},
              {"no date or time", "someday,noon, bob,x.doc,1", "bob|x.doc|someday noon|1"},
              {"fewer than four commas", "12/31/2023,11:59:59 PM,three",
               "||12/31/2023 11:59:59 PM|three"}})
            QTest::newRow(row) << QList{QByteArray(line) + "\r\n"} << QStringList{Dat(dat)};
        for (auto [row, after, exported] : {std::tuple{"unchanged", u"abc"_s, u""_s},
                                            {"rotated", u"de"_s, u"de"_s},
                                            {"cut to its tail, written on", u"bcd"_s, u"d"_s},
                                            {"a line changed", u"abxd"_s, u"xd"_s},
                                            {"cut short", u"ab"_s, u""_s},
                                            {"emptied", u""_s, u""_s}})
            QTest::newRow(row) << QList{Lines(u"abc"_s), Lines(after), Lines(after + u'z')}
                               << Bob(u"abc"_s + exported + u'z');
        const QByteArray log = "3/15/2024,9:05:00,bob,Plan.dwg,1\r\n3/16/2024,10:00:00,two\r\n\r\n"
                               "   \r\nx\r\n3/17/2024,13:00:00,eve,Last.doc,9";
        QStringList dats = Bob(u"1"_s);
        for (const QString& last : {u"two"_s, u"x"_s})
            dats << Dat(u"bob|Plan.dwg|3/16/2024 10:00:00 AM|"_s + last);
        for (const QString& last : {u"95"_s, u"y"_s})
            dats << Dat(u"eve|Last.doc|3/17/2024 1:00:00 PM|"_s + last);
        QTest::newRow("incomplete lines") << QList{log, log + "5\r\n", log + "5\r\ny\r\n"} << dats;
    }
    void runs() {
        QFETCH(QList<QByteArray>, logs);
        QFETCH(QStringList, dats);
        for (const QByteArray& log : logs) {
            Log(log);
            Run();
        }
        QCOMPARE(Files(), Numbered(dats));
        QCOMPARE(box->Read(u"local/qorvcor1.txt"_s), logs.last());
    }

    // A snapshot that cannot be read stops the export; after a full disk what could not be
    // stored is exported at the next run, once.
    void failures() {
        Log(Lines(u"123"_s));
        QDir().mkpath(box->Path(u"local/qorvcor1.txt"_s));
        Run();
        QCOMPARE(Files(), QString());
        QDir().rmdir(box->Path(u"local/qorvcor1.txt"_s));
        {
            FailingDevice full(Bob(u"1"_s)[0].size() + 10, u"/data/users/"_s);
            Run();
        }
        QCOMPARE(Files(), Numbered(Bob(u"1"_s)));
        Run();
        QCOMPARE(Files(), Numbered(Bob(u"123"_s)));
    }
};

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
