// The activity export: new lines of the user's activity log become data files Job1.dat, ...
#include "common/environment.h"
#include "jobs/cprintjobinfo.h"
#include "testsupport.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
// The data file of one activity.
QByteArray Dat(const QString& user, const QString& document, const QString& when,
               const QString& last) {
    return (u"QorvexMaster,2,1,\"Act Print\",\"HOSTA\",\""_s + user + u"\",\""_s + document +
            u"\",\""_s + when +
            u"\",\"unknown\",1000,1,1,1,\"unknown\",1.0,1.0,1,\"unknown\",\"unknown\",\""_s + last +
            u"\",\"unknown\"\r\nQorvexDetail,2,\"corvayne\",\"corvayne\"\r\n"_s)
        .toUtf8();
}
} // namespace

class TestExport : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> box;

    static void Export() { CPrintJobInfo().CheckCorvayne(); }
    void Log(const QByteArray& bytes) { box->Write(u"local/qorvcor.txt"_s, bytes); }
    void Append(const QByteArray& bytes) { Log(box->Read(u"local/qorvcor.txt"_s) + bytes); }
    // The data files of the user's job folder, name and content.
    QStringList Files(const QString& folder = u"data/users/jsmith"_s) {
        QStringList out;
        const QDir dir(box->Path(folder));
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name))
            out << name + u": "_s + QString::fromUtf8(box->Read(folder + u'/' + name));
        return out;
    }
    static QString File(const QString& name, const QByteArray& bytes) {
        return name + u": "_s + QString::fromUtf8(bytes);
    }
    static QByteArray Activity(const QString& last) {
        return Dat(u"bob"_s, u"Plan.dwg"_s, u"3/15/2024 9:05:00 AM"_s, last);
    }

private Q_SLOTS:
    void init() {
        box = std::make_unique<Sandbox>();
        gEnv.m_sLocalUserPath = box->Path(u"local/"_s);
        gEnv.m_sDataPath = box->Path(u"data/"_s);
        gEnv.m_sUserName = u"jsmith"_s;
        gEnv.m_sMachineName = u"HOSTA"_s;
        QDir().mkpath(box->Path(u"local"_s));
        QDir().mkpath(box->Path(u"data/users/jsmith"_s));
    }
    void cleanup() { box.reset(); }

    void lineForms_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("dat");
        QTest::newRow("first blank of the user removed")
            << QByteArray("3/15/2024,9:05:00,john smith,Plan.dwg,12.50")
            << Dat(u"johnsmith"_s, u"Plan.dwg"_s, u"3/15/2024 9:05:00 AM"_s, u"12.50"_s);
        QTest::newRow("only the first blank, rest trimmed, commas kept")
            << QByteArray("2024-03-05,14:07,mary ann smith,Report \"Q1\".doc,  a, b  ")
            << Dat(u"maryann smith"_s, u"Report \"\"Q1\"\".doc"_s, u"3/05/2024 2:07:00 PM"_s,
                   u"a, b"_s);
        QTest::newRow("texts that are no date or time")
            << QByteArray("someday,noon, bob,x.doc,1")
            << Dat(u"bob"_s, u"x.doc"_s, u"someday noon"_s, u"1"_s);
        QTest::newRow("fewer than four commas")
            << QByteArray("12/31/2023,11:59:59 PM,onlythree")
            << Dat(u""_s, u""_s, u"12/31/2023 11:59:59 PM"_s, u"onlythree"_s);
    }
    void lineForms() {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, dat);
        Log(line + "\r\n");
        Export();
        QCOMPARE(Files(), QStringList{File(u"Job1.dat"_s, dat)});
    }

    void numbering() {
        box->Write(u"data/users/jsmith/Job2.dat"_s, "keep");
        Log("3/15/2024,9:05:00,bob,Plan.dwg,1\r\n3/15/2024,9:05:00,bob,Plan.dwg,2\n"
            "3/15/2024,9:05:00,bob,Plan.dwg,3\r\n");
        Export();
        const QStringList three{File(u"Job1.dat"_s, Activity(u"1"_s)), File(u"Job2.dat"_s, "keep"),
                                File(u"Job3.dat"_s, Activity(u"2"_s)),
                                File(u"Job4.dat"_s, Activity(u"3"_s))};
        QCOMPARE(Files(), three);
        QCOMPARE(box->Read(u"local/qorvcor1.txt"_s), box->Read(u"local/qorvcor.txt"_s));
        Export(); // nothing new
        QCOMPARE(Files(), three);
        // The next run counts from 1 again: a number freed by the import is used.
        QFile::remove(box->Path(u"data/users/jsmith/Job1.dat"_s));
        Append("3/15/2024,9:05:00,bob,Plan.dwg,4\r\n");
        Export();
        QCOMPARE(Files().first(), File(u"Job1.dat"_s, Activity(u"4"_s)));
        QCOMPARE(Files().size(), 4);
    }

    // Empty lines are no activity; a line with fewer than four commas takes the missing fields
    // from the lines before it, also from an earlier run; a last line without a line end waits.
    void incompleteLines() {
        Log("3/15/2024,9:05:00,bob,Plan.dwg,1\r\n3/16/2024,10:00:00,two\r\n\r\n   \r\nx\r\n"
            "3/17/2024,13:00:00,eve,Last.doc,9");
        Export();
        auto carried = [](const QString& last) {
            return Dat(u"bob"_s, u"Plan.dwg"_s, u"3/16/2024 10:00:00 AM"_s, last);
        };
        QCOMPARE(Files(), (QStringList{File(u"Job1.dat"_s, Activity(u"1"_s)),
                                       File(u"Job2.dat"_s, carried(u"two"_s)),
                                       File(u"Job3.dat"_s, carried(u"x"_s))}));
        Append("\r\n");
        Export();
        auto eve = [](const QString& last) {
            return Dat(u"eve"_s, u"Last.doc"_s, u"3/17/2024 1:00:00 PM"_s, last);
        };
        QCOMPARE(Files().value(3), File(u"Job4.dat"_s, eve(u"9"_s)));
        Append("y\r\n");
        Export();
        QCOMPARE(Files().value(4), File(u"Job5.dat"_s, eve(u"y"_s)));
        QCOMPARE(Files().size(), 5);
    }

    // A log that is no longer a continuation of what was exported.
    void rewrittenLog_data() {
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QStringList>("exported"); // the last values of the new data files
        QTest::newRow("rotated to a fresh log")
            << QStringList{u"d"_s, u"e"_s} << QStringList{u"d"_s, u"e"_s};
        QTest::newRow("cut to its tail and written on")
            << QStringList{u"b"_s, u"c"_s, u"d"_s} << QStringList{u"d"_s};
        QTest::newRow("a line changed")
            << QStringList{u"a"_s, u"b"_s, u"x"_s, u"d"_s} << QStringList{u"x"_s, u"d"_s};
        QTest::newRow("cut short") << QStringList{u"a"_s, u"b"_s} << QStringList{};
        QTest::newRow("emptied") << QStringList{} << QStringList{};
    }
    void rewrittenLog() {
        QFETCH(QStringList, after);
        QFETCH(QStringList, exported);
        auto lines = [](const QStringList& lasts) {
            QByteArray bytes;
            for (const QString& l : lasts)
                bytes += "3/15/2024,9:05:00,bob,Plan.dwg," + l.toUtf8() + "\r\n";
            return bytes;
        };
        Log(lines({u"a"_s, u"b"_s, u"c"_s}));
        Export();
        for (const QString& name : QDir(box->Path(u"data/users/jsmith"_s)).entryList(QDir::Files))
            QFile::remove(box->Path(u"data/users/jsmith/"_s + name)); // imported meanwhile
        Log(lines(after));
        Export();
        QStringList expected;
        for (const QString& last : exported)
            expected << File(u"Job"_s + QString::number(expected.size() + 1) + u".dat"_s,
                             Activity(last));
        QCOMPARE(Files(), expected);
        QCOMPARE(box->Read(u"local/qorvcor1.txt"_s), lines(after));
        // What follows later is exported once.
        Append(lines({u"z"_s}));
        Export();
        QCOMPARE(Files().last(), File(u"Job"_s + QString::number(expected.size() + 1) + u".dat"_s,
                                      Activity(u"z"_s)));
    }

    void offline() {
        gEnv.m_bOffline = true;
        Log("3/15/2024,9:05:00,bob,Plan.dwg,1\r\n");
        Export();
        QCOMPARE(Files(u"local/users/jsmith"_s),
                 QStringList{File(u"Job1.dat"_s, Activity(u"1"_s))});
        QCOMPARE(Files(), QStringList());
    }

    // A full disk: what could not be stored is exported at the next run, once.
    void fullDisk() {
        Log("3/15/2024,9:05:00,bob,Plan.dwg,1\r\n3/15/2024,9:05:00,bob,Plan.dwg,2\r\n"
            "3/15/2024,9:05:00,bob,Plan.dwg,3\r\n");
        {
            FailingDevice full(Activity(u"1"_s).size() + 10, u"/data/users/"_s);
            Export();
        }
        QCOMPARE(Files(), QStringList{File(u"Job1.dat"_s, Activity(u"1"_s))});
        Export();
        QCOMPARE(Files(), (QStringList{File(u"Job1.dat"_s, Activity(u"1"_s)),
                                       File(u"Job2.dat"_s, Activity(u"2"_s)),
                                       File(u"Job3.dat"_s, Activity(u"3"_s))}));
    }

    void unreadableSnapshot() {
        QDir().mkpath(box->Path(u"local/qorvcor1.txt"_s));
        Log("3/15/2024,9:05:00,bob,Plan.dwg,1\r\n");
        Export();
        QCOMPARE(Files(), QStringList());
    }

    // SaveToFile runs the export first where it is switched on.
    void savedJobRunsTheExport() {
        Log("3/15/2024,9:05:00,bob,Plan.dwg,1\r\n");
        CPrintJobInfo job; // no bytes: nothing of its own is written
        QString file;
        QVERIFY(job.SaveToFile(file));
        QCOMPARE(Files(), QStringList());
        gEnv.m_bCorvayneExport = true;
        QVERIFY(job.SaveToFile(file));
        QCOMPARE(Files(), QStringList{File(u"Job1.dat"_s, Activity(u"1"_s))});
    }
};

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
