// Common file and text services.
#include "common/bcommon.h"
#include "common/environment.h"
#include "testsupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <unistd.h>

class TestBCommon : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void nextField_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("quoted comma and doubled quote")
            << QStringLiteral("one,\"two, too\",\"say \"\"hi\"\"\"")
            << QStringList{QStringLiteral("one"), QStringLiteral("two, too"),
                           QStringLiteral("say \"hi\"")};
        QTest::newRow("trimmed") << QStringLiteral("   x") << QStringList{QStringLiteral("x")};
        QTest::newRow("empty fields")
            << QStringLiteral(",,") << QStringList{QString(), QString(), QString()};
        QTest::newRow("unterminated quote")
            << QStringLiteral("\"a,b") << QStringList{QStringLiteral("a,b")};
    }
    void nextField() {
        QFETCH(QString, line);
        QFETCH(QStringList, fields);
        int pos = 0;
        QStringList got;
        do {
            got << GetNextField(line, pos, QLatin1Char(','));
        } while (pos <= line.size());
        QCOMPARE(got, fields);
        QCOMPARE(pos, int(line.size()) + 1);
    }
    void escaping() {
        QCOMPARE(CheckAmpersands(QStringLiteral("A&B && C")), QStringLiteral("A&&B &&&& C"));
        QCOMPARE(DoubleQuotes(QStringLiteral("say \"x\"")), QStringLiteral("say \"\"x\"\""));
        QCOMPARE(TrimAtNul(QStringLiteral("ab") + QChar(0) + QStringLiteral("cd")),
                 QStringLiteral("ab"));
        QCOMPARE(AddBackslash(QString()), QString());
        QCOMPARE(AddBackslash(QStringLiteral("/a")), QStringLiteral("/a/"));
        QCOMPARE(AddBackslash(QStringLiteral("/a/")), QStringLiteral("/a/"));
    }
    void listItem_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("item");
        QTest::newRow("first") << 1 << QStringLiteral("a, b,c") << QStringLiteral("a");
        QTest::newRow("middle untrimmed") << 2 << QStringLiteral("a, b,c") << QStringLiteral(" b");
        QTest::newRow("last") << 3 << QStringLiteral("a, b,c") << QStringLiteral("c");
        QTest::newRow("past end") << 4 << QStringLiteral("a, b,c") << QString();
        QTest::newRow("single") << 1 << QStringLiteral("solo") << QStringLiteral("solo");
        QTest::newRow("zero") << 0 << QStringLiteral("a,b") << QString();
    }
    void listItem() {
        QFETCH(int, n);
        QFETCH(QString, list);
        QFETCH(QString, item);
        QCOMPARE(GetListItem(n, list), item);
    }
    void costText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("color");
        QTest::addColumn<QString>("media");
        QTest::addColumn<QString>("cost");
        QTest::newRow("colour and media")
            << QStringLiteral("Color-Bond= 0.25 per square foot") << QStringLiteral("Color")
            << QStringLiteral("Bond") << QStringLiteral("0.25");
        QTest::newRow("other colour word")
            << QStringLiteral("Spot-Vinyl= 1.10 per square foot") << QStringLiteral("Vinyl")
            << QString() << QStringLiteral("1.10");
        QTest::newRow("no dash") << QStringLiteral("Film= 2 per Square Foot") << QString()
                                 << QStringLiteral("Film") << QStringLiteral("2");
        QTest::newRow("detail bar")
            << QStringLiteral("Color-Bond= 0.25 per square foot | x") << QStringLiteral("Color")
            << QStringLiteral("Bond") << QStringLiteral("Color-");
        QTest::newRow("not a cost")
            << QStringLiteral("Color-Bond= 0.25 each") << QString() << QString() << QString();
    }
    void costText() {
        QFETCH(QString, text);
        QFETCH(QString, color);
        QFETCH(QString, media);
        QFETCH(QString, cost);
        QCOMPARE(GetCostTextField(text, QStringLiteral("Color")), color);
        QCOMPARE(GetCostTextField(text, QStringLiteral("Media")), media);
        QCOMPARE(GetCostTextField(text, QStringLiteral("Cost")), cost);
        QCOMPARE(GetCostTextField(text, QStringLiteral("cost")), QString());
    }
    void normalizeDate_data() {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("own form") << QStringLiteral("3/7/2024 1:05:09 PM")
                                  << QStringLiteral("03/07/2024 1:05:09 PM");
        QTest::newRow("24 hour") << QStringLiteral("12/25/2023 23:00:00")
                                 << QStringLiteral("12/25/2023 11:00:00 PM");
        QTest::newRow("iso") << QStringLiteral("2024-01-02T00:30:00")
                             << QStringLiteral("01/02/2024 12:30:00 AM");
        QTest::newRow("unparsed dots padded")
            << QStringLiteral("1.2.x") << QStringLiteral("01/02/x");
        QTest::newRow("nul cut") << QStringLiteral("3/7/2024 1:05:09 PM") + QChar(0) +
                                        QStringLiteral("junk")
                                 << QStringLiteral("03/07/2024 1:05:09 PM");
        QTest::newRow("words") << QStringLiteral("soon") << QStringLiteral("soon");
    }
    void normalizeDate() {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(NormalizeDateText(in), out);
    }

    void findAndCount() {
        Sandbox box;
        box.Write(QStringLiteral("jobs/a.prt"), "x");
        box.Write(QStringLiteral("jobs/B.PRT"), "x");
        box.Write(QStringLiteral("jobs/a.dat"), "x");
        box.Write(QStringLiteral("jobs/noext"), "x");
        box.Write(QStringLiteral("jobs/sub/c.prt"), "x");
        const QString jobs = box.Path(QStringLiteral("jobs"));
        QCOMPARE(CountFiles(jobs + QStringLiteral("/*.prt")), 2); // case ignored, no subfolders
        QCOMPARE(CountFiles(jobs + QStringLiteral("/*.*")), 4);   // "*.*" matches "noext"
        QCOMPARE(CountEntries(jobs + QStringLiteral("/*")), 5);   // folders too
        QCOMPARE(CountFiles(jobs + QStringLiteral("/?.dat")), 1);
        QCOMPARE(CountFiles(box.Path(QStringLiteral("gone/*.prt"))), 0);
        QCOMPARE(FindFile(jobs + QStringLiteral("/")), QStringLiteral("."));
        QCOMPARE(FindFile(jobs + QStringLiteral("//")), QStringLiteral("."));
        QCOMPARE(FindFile(jobs + QStringLiteral("/a.dat")), QStringLiteral("a.dat"));
        QCOMPARE(FindFile(jobs + QStringLiteral("/*.prt")), QStringLiteral("*.prt"));
        QCOMPARE(FindFile(jobs + QStringLiteral("/*.xyz")), QString());
        QCOMPARE(FindFile(QString()), QString());
    }
    void fileStamp() {
        Sandbox box;
        const QString p = box.Write(QStringLiteral("f.txt"), "one");
        const qint32 a = GetFileStamp(p);
        QVERIFY(a != 0);
        QCOMPARE(GetFileStamp(p), a);
        QFile f(p);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                              QFileDevice::FileModificationTime));
        f.close();
        QVERIFY(GetFileStamp(p) != a);
        QCOMPARE(GetFileStamp(box.Path(QStringLiteral("missing"))), 0);
    }
    void findInFile() {
        Sandbox box;
        const QString p = box.Write(QStringLiteral("f.txt"), "alpha\r\nBeta Gamma\nlast");
        QVERIFY(FindInFile(p, QStringLiteral("gamma"), false));
        QVERIFY(FindInFile(p, QStringLiteral("LAST"), false));
        QVERIFY(!FindInFile(p, QStringLiteral("delta"), false));
        QVERIFY(!FindInFile(box.Path(QStringLiteral("none")), QStringLiteral("a"), true));
        // A 100,000-character line of junk is read without trouble.
        QByteArray junk(100000, '\x01');
        junk[50000] = 'Z';
        const QString j = box.Write(QStringLiteral("junk.bin"), junk + "\xff\xfe\r\n");
        QVERIFY(FindInFile(j, QStringLiteral("z"), false));
    }
    void writeLine() {
        Sandbox box;
        const QString p = box.Path(QStringLiteral("w.txt"));
        QVERIFY(WriteLineToFile(p, QStringLiteral("one"), false));
        QVERIFY(WriteLineToFile(p, QStringLiteral("two"), false));
        QCOMPARE(box.Read(QStringLiteral("w.txt")), QByteArray("one\r\ntwo\r\n"));
        QVERIFY(WriteLineToFile(p, QStringLiteral("three"), true));
        QCOMPARE(box.Read(QStringLiteral("w.txt")), QByteArray("three\r\n"));
        QVERIFY(
            !WriteLineToFile(box.Path(QStringLiteral("no/such/dir/x")), QStringLiteral("x"), true));
    }
    void folderAccess() {
        Sandbox box;
        box.Write(QStringLiteral("rw/existing.dat"), "x");
        QCOMPARE(TestFolderAccess(box.Path(QStringLiteral("rw"))),
                 QStringLiteral("writelistreaddelete"));
        // A path naming a file tests its folder.
        QCOMPARE(TestFolderAccess(box.Path(QStringLiteral("rw/existing.dat"))),
                 QStringLiteral("writelistreaddelete"));
        QVERIFY(!QFile::exists(box.Path(QStringLiteral("rw/test.txt"))));
        QCOMPARE(TestFolderAccess(box.Path(QStringLiteral("missing"))), QStringLiteral("delete"));
        const QString f = box.Write(QStringLiteral("cfg/Config.ini"), "x");
        QCOMPARE(TestFileAccess(f), QStringLiteral("writelistread"));
        QCOMPARE(TestFileAccess(box.Path(QStringLiteral("cfg/none.ini"))), QString());
        if (::geteuid() != 0) { // root ignores permission bits
            QFile::setPermissions(box.Path(QStringLiteral("rw")),
                                  QFile::ReadOwner | QFile::ExeOwner);
            QCOMPARE(TestFolderAccess(box.Path(QStringLiteral("rw"))),
                     QStringLiteral("listreaddelete"));
            QFile::setPermissions(box.Path(QStringLiteral("rw")),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }
    void driveLetterAndResolve() {
        Sandbox box;
        const QString mnt = box.Path(QStringLiteral("mnt/share"));
        box.Write(QStringLiteral("mnt/share/data/Config.ini"), "x");
        box.Write(QStringLiteral("mounts"),
                  ("//Server/Share " + mnt.toUtf8() + " cifs rw 0 0\n" +
                   "nfshost:/export /mnt/nfs nfs4 rw 0 0\n/dev/sda1 / ext4 rw 0 0\n"));
        QCOMPARE(GetDriveLetterPath(QStringLiteral("//server/share/data")),
                 mnt + QStringLiteral("/data"));
        QCOMPARE(GetDriveLetterPath(QStringLiteral("//server/share")), mnt + QStringLiteral("/"));
        QCOMPARE(GetDriveLetterPath(QStringLiteral("//server/shared/x")),
                 QStringLiteral("//server/shared/x"));
        QCOMPARE(GetDriveLetterPath(QStringLiteral("//nfshost/export/a")),
                 QStringLiteral("/mnt/nfs/a"));
        // A file on the mount is named by its remote name only when it can be found so.
        QCOMPARE(ResolvePath(mnt + QStringLiteral("/data/Config.ini")),
                 mnt + QStringLiteral("/data/Config.ini"));
        // A share of this machine resolves to its local folder.
        gEnv.m_sMachineName = QStringLiteral("HOSTA");
        box.Write(QStringLiteral("smb.conf"), "[global]\nworkgroup = X\n[Data]\npath = " +
                                                  box.Path(QStringLiteral("local")).toUtf8() +
                                                  "\n");
        box.Write(QStringLiteral("local/sub/Config.ini"), "x");
        QCOMPARE(ResolvePath(QStringLiteral("//hosta/data/sub/Config.ini")),
                 box.Path(QStringLiteral("local/sub/Config.ini")));
        QCOMPARE(ResolvePath(QStringLiteral("//hosta/data/sub/Missing.ini")),
                 QStringLiteral("//hosta/data/sub/Missing.ini"));
    }
    void logLines() {
        Sandbox box;
        gEnv.m_sLocalUserPath = box.Path() + QStringLiteral("/");
        gEnv.m_sExeName = QStringLiteral("qorvlog");
        gEnv.m_bDebugLog = false;
        WriteLog(QStringLiteral("I"), QStringLiteral("dropped"));
        WriteTrace(QStringLiteral("dropped"));
        WriteLog(QStringLiteral("E"), QStringLiteral("forced"), true);
        gEnv.m_bDebugLog = true;
        WriteTrace(QStringLiteral("traced"));
        const QList<QByteArray> lines = box.Read(QStringLiteral("qorvlog.txt")).split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(QRegularExpression(
                    QStringLiteral("^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d \\d+ E forced\\r$"))
                    .match(QString::fromUtf8(lines[0]))
                    .hasMatch());
        QCOMPARE(lines[1], QByteArray("qorvlog: traced\r"));
    }
    void unexpectedError() {
        Sandbox box;
        MessageRecorder rec;
        ReportUnexpectedError(QStringLiteral("GetPPS"),
                              {kErrFileNotFound, QStringLiteral("File not found")});
        QCOMPARE(rec.Messages().size(), 1);
        const auto& m = rec.Messages()[0];
        QCOMPARE(m.title, QStringLiteral("Kestova Sentrel"));
        QCOMPARE(m.icon, Platform::MsgIcon::Exclamation);
        QVERIFY(m.text.startsWith(QStringLiteral("Unexpected error 53 in procedure 'GetPPS':\rFile "
                                                 "not found\r\rPlease contact us at\r")));
        QVERIFY(m.text.endsWith(QStringLiteral(" with the above information.")));
    }
    void settings() {
        Sandbox box;
        qint32 v = 99;
        bool found = true;
        GetSettingLong(QStringLiteral("Window"), QStringLiteral("Width"), v, found);
        QVERIFY(!found);
        QCOMPARE(v, 0);
        SaveSettingText(QStringLiteral("Window"), QStringLiteral("Width"), QStringLiteral("640"));
        SaveSettingText(QStringLiteral("Window"), QStringLiteral("Name"), QStringLiteral("wide"));
        GetSettingLong(QStringLiteral("Window"), QStringLiteral("Width"), v, found);
        QVERIFY(found);
        QCOMPARE(v, 640);
        GetSettingLong(QStringLiteral("Window"), QStringLiteral("Name"), v, found);
        QVERIFY(!found);
        QVERIFY(QFile::exists(box.Path(QStringLiteral("home/.config/QorvLog.ini"))));
    }
};

QTEST_GUILESS_MAIN(TestBCommon)
#include "tst_bcommon.moc"
