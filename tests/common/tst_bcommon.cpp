// Common file and text services.
#include "common/bcommon.h"
#include "common/environment.h"
#include "platform/files.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <cstring>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestBCommon : public QObject {
    Q_OBJECT
    // The debug log as qorvlog.txt in the sandbox.
    static void LogInto(const Sandbox& box, bool on) {
        gEnv.m_sLocalUserPath = box.Path() + u"/"_s;
        gEnv.m_sExeName = u"qorvlog"_s;
        gEnv.m_bDebugLog = on;
    }
private Q_SLOTS:
    void nextField_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("quoted comma and doubled quote")
            << u"one,\"two, too\",\"say \"\"hi\"\"\""_s
            << QStringList{u"one"_s, u"two, too"_s, u"say \"hi\""_s};
        QTest::newRow("trimmed") << u"   x"_s << QStringList{u"x"_s};
        QTest::newRow("empty fields") << u",,"_s << QStringList{QString(), QString(), QString()};
        QTest::newRow("unterminated quote") << u"\"a,b"_s << QStringList{u"a,b"_s};
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
        QCOMPARE(CheckAmpersands(u"A&B && C"_s), u"A&&B &&&& C"_s);
        QCOMPARE(DoubleQuotes(u"say \"x\""_s), u"say \"\"x\"\""_s);
        QCOMPARE(TrimAtNul(u"ab"_s + QChar(0) + u"cd"_s), u"ab"_s);
        QCOMPARE(AddBackslash(QString()), QString());
        QCOMPARE(AddBackslash(u"/a"_s), u"/a/"_s);
        QCOMPARE(AddBackslash(u"/a/"_s), u"/a/"_s);
    }
    void listItem_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("item");
        QTest::newRow("first") << 1 << u"a, b,c"_s << u"a"_s;
        QTest::newRow("middle untrimmed") << 2 << u"a, b,c"_s << u" b"_s;
        QTest::newRow("last") << 3 << u"a, b,c"_s << u"c"_s;
        QTest::newRow("past end") << 4 << u"a, b,c"_s << QString();
        QTest::newRow("single") << 1 << u"solo"_s << u"solo"_s;
        QTest::newRow("zero") << 0 << u"a,b"_s << QString();
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
            << u"Color-Bond= 0.25 per square foot"_s << u"Color"_s << u"Bond"_s << u"0.25"_s;
        QTest::newRow("other colour word")
            << u"Spot-Vinyl= 1.10 per square foot"_s << u"Vinyl"_s << QString() << u"1.10"_s;
        QTest::newRow("no dash") << u"Film= 2 per Square Foot"_s << QString() << u"Film"_s
                                 << u"2"_s;
        QTest::newRow("detail bar")
            << u"Color-Bond= 0.25 per square foot | x"_s << u"Color"_s << u"Bond"_s << u"Color-"_s;
        QTest::newRow("not a cost")
            << u"Color-Bond= 0.25 each"_s << QString() << QString() << QString();
    }
    void costText() {
        QFETCH(QString, text);
        QFETCH(QString, color);
        QFETCH(QString, media);
        QFETCH(QString, cost);
        QCOMPARE(GetCostTextField(text, u"Color"_s), color);
        QCOMPARE(GetCostTextField(text, u"Media"_s), media);
        QCOMPARE(GetCostTextField(text, u"Cost"_s), cost);
        QCOMPARE(GetCostTextField(text, u"cost"_s), QString());
    }
    void normalizeDate_data() {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("own form") << u"3/7/2024 1:05:09 PM"_s << u"03/07/2024 1:05:09 PM"_s;
        QTest::newRow("unparsed dots padded") << u"1.2.x"_s << u"01/02/x"_s;
        QTest::newRow("nul cut") << u"3/7/2024 1:05:09 PM"_s + QChar(0) + u"junk"_s
                                 << u"03/07/2024 1:05:09 PM"_s;
        QTest::newRow("words") << u"soon"_s << u"soon"_s;
    }
    void normalizeDate() {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(NormalizeDateText(in), out);
    }

    void findAndCount() {
        Sandbox box;
        box.Write(u"jobs/a.prt"_s, "x");
        box.Write(u"jobs/B.PRT"_s, "x");
        box.Write(u"jobs/a.dat"_s, "x");
        box.Write(u"jobs/noext"_s, "x");
        box.Write(u"jobs/sub/c.prt"_s, "x");
        const QString jobs = box.Path(u"jobs"_s);
        QCOMPARE(CountFiles(jobs + u"/*.prt"_s), 2); // case ignored, no subfolders
        QCOMPARE(CountFiles(jobs + u"/*.*"_s), 4);   // "*.*" matches "noext"
        QCOMPARE(CountEntries(jobs + u"/*"_s), 5);   // folders too
        QCOMPARE(CountFiles(jobs + u"/?.dat"_s), 1);
        QCOMPARE(CountFiles(box.Path(u"gone/*.prt"_s)), 0);
        QCOMPARE(FindFile(jobs + u"/"_s), u"."_s);
        QCOMPARE(FindFile(jobs + u"//"_s), u"."_s);
        QCOMPARE(FindFile(jobs + u"/a.dat"_s), u"a.dat"_s);
        QCOMPARE(FindFile(jobs + u"/*.prt"_s), u"*.prt"_s);
        QCOMPARE(FindFile(jobs + u"/*.xyz"_s), QString());
        QCOMPARE(FindFile(QString()), QString());
    }
    void fileStamp() {
        Sandbox box;
        const QString p = box.Write(u"f.txt"_s, "one");
        const qint32 a = GetFileStamp(p);
        QVERIFY(a != 0);
        QCOMPARE(GetFileStamp(p), a);
        QFile f(p);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                              QFileDevice::FileModificationTime));
        f.close();
        QVERIFY(GetFileStamp(p) != a);
        QCOMPARE(GetFileStamp(box.Path(u"missing"_s)), 0);
    }
    void findInFile() {
        Sandbox box;
        const QString p = box.Write(u"f.txt"_s, "alpha\r\nBeta Gamma\nlast");
        QVERIFY(FindInFile(p, u"gamma"_s, false));
        QVERIFY(FindInFile(p, u"LAST"_s, false));
        QVERIFY(!FindInFile(p, u"delta"_s, false));
        QVERIFY(!FindInFile(box.Path(u"none"_s), u"a"_s, true));

        // A 100,000-character line of junk is read without trouble.
        QByteArray junk(100000, '\x01');
        junk[50000] = 'Z';
        const QString j = box.Write(u"junk.bin"_s, junk + "\xff\xfe\r\n");
        QVERIFY(FindInFile(j, u"z"_s, false));
    }
    void lineEnds_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("CR LF") << QByteArray("alpha\r\n\r\nBeta\r\nlast\r\n");
        QTest::newRow("LF, no last end") << QByteArray("alpha\n\nBeta\nlast");
        QTest::newRow("CR") << QByteArray("alpha\r\rBeta\rlast\r");
        QTest::newRow("mixed") << QByteArray("alpha\r\n\rBeta\nlast");
    }
    void lineEnds() {
        QFETCH(QByteArray, bytes);
        Sandbox box;
        bool ok = false;
        QCOMPARE(Platform::ReadLines(box.Write(u"f.txt"_s, bytes), &ok),
                 (QStringList{u"alpha"_s, QString(), u"Beta"_s, u"last"_s}));
        QVERIFY(ok);
    }
    void writeLine() {
        Sandbox box;
        const QString p = box.Path(u"w.txt"_s);
        QVERIFY(WriteLineToFile(p, u"one"_s, false));
        QVERIFY(WriteLineToFile(p, u"two"_s, false));
        QCOMPARE(box.Read(u"w.txt"_s), QByteArray("one\r\ntwo\r\n"));
        QVERIFY(WriteLineToFile(p, u"three"_s, true));
        QCOMPARE(box.Read(u"w.txt"_s), QByteArray("three\r\n"));
        QVERIFY(!WriteLineToFile(box.Path(u"no/such/dir/x"_s), u"x"_s, true));
    }
    // The answers to the monitor on a device that fills up: none is left cut short or empty,
    // each failure is false and an "E" line.
    void answersOnAFullDevice_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("missing"); // bytes short of the line
        for (const QString& a : {u".dat cancel"_s, u".shd line"_s, u".pas release"_s}) {
            QTest::addRow("%s, nothing fits", qPrintable(a)) << a << 100;
            QTest::addRow("%s, one byte short", qPrintable(a)) << a << 1;
            QTest::addRow("%s, just fits", qPrintable(a)) << a << 0;
        }
    }
    void answersOnAFullDevice() {
        QFETCH(QString, answer);
        QFETCH(int, missing);
        Sandbox box;
        gEnv.m_sDataPath = box.Path(u"data/"_s);
        gEnv.m_sLocalUserPath = box.Path(u"local/"_s);
        gEnv.m_sExeName = u"qorvlog"_s;
        gEnv.m_bDebugLog = true;
        QDir().mkpath(box.Path(u"local"_s));
        QDir().mkpath(box.Path(u"data/Machines/SRV"_s));
        box.Write(u"data/users/x.shd"_s, "monitor line\r\n");
        const QString file = answer == u".dat cancel"_s ? u"data/users/x.dat"_s
                             : answer == u".shd line"_s ? u"data/users/x.shd"_s
                                                        : u"data/Machines/SRV/00042.pas"_s;
        const QByteArray line = answer == u".shd line"_s     ? "10.0.0.7\r\n"
                                : answer == u".dat cancel"_s ? "cancel\r\n"
                                                             : "resume\r\n";
        const QByteArray before = box.Read(file);
        bool ok = false;
        {
            FailingDevice device(std::max<qint64>(line.size() - missing, 0), file);
            if (answer == u".dat cancel"_s) ok = WriteLineToFile(box.Path(file), u"cancel"_s, true);
            if (answer == u".shd line"_s)
                ok = WriteLineToFile(box.Path(file), u"10.0.0.7"_s, false);
            if (answer == u".pas release"_s)
                ok = WritePassFile(u"\\\\SRV\\q"_s, u"42"_s, u"resume"_s);
        }
        QCOMPARE(ok, missing == 0);
        QCOMPARE(box.Read(file), ok ? before + line : before);
        QCOMPARE(QFile::exists(box.Path(file)), ok || !before.isEmpty());
        const QByteArray log = box.Read(u"local/qorvlog.txt"_s);
        if (ok)
            QCOMPARE(log, QByteArray());
        else
            QVERIFY2(log.endsWith(" E Unable to write to " + box.Path(file).toUtf8() + ": " +
                                  QByteArray(std::strerror(ENOSPC)) + "\r\n"),
                     log.constData());
    }
    // Links planted where the answers go are replaced or refused, never written through.
    void plantedLinksInAnswerFolders() {
        Sandbox box;
        gEnv.m_sDataPath = box.Path(u"data/"_s);
        gEnv.m_sLocalUserPath = box.Path(u"local/"_s);
        gEnv.m_sExeName = u"qorvlog"_s;
        gEnv.m_bDebugLog = true;
        QDir().mkpath(box.Path(u"local"_s));
        QDir().mkpath(box.Path(u"data/Machines/PRINTSRV"_s));
        QDir().mkpath(box.Path(u"elsewhere"_s));
        // A dangling link at the pass file: the pass file is written, the outside one is not.
        QVERIFY(QFile::link(box.Path(u"elsewhere/new.txt"_s),
                            box.Path(u"data/Machines/PRINTSRV/00613.pas"_s)));
        QVERIFY(WritePassFile(u"\\\\PRINTSRV\\Plotter"_s, u"613"_s, u"resume"_s));
        QVERIFY(!QFile::exists(box.Path(u"elsewhere/new.txt"_s)));
        QVERIFY(!QFileInfo(box.Path(u"data/Machines/PRINTSRV/00613.pas"_s)).isSymLink());
        QCOMPARE(box.Read(u"data/Machines/PRINTSRV/00613.pas"_s), QByteArray("resume\r\n"));
        // A server folder planted as a link is not written into.
        QVERIFY(QFile::link(box.Path(u"elsewhere"_s), box.Path(u"data/Machines/EVIL"_s)));
        QVERIFY(!WritePassFile(u"//EVIL/q"_s, u"7"_s, u"resume"_s));
        QCOMPARE(QDir(box.Path(u"elsewhere"_s)).entryList(QDir::Files | QDir::Hidden),
                 QStringList());
        // An ".shd" link is not appended through.
        box.Write(u"elsewhere/target"_s, "precious\r\n");
        QVERIFY(QFile::link(box.Path(u"elsewhere/target"_s), box.Path(u"data/x.shd"_s)));
        QVERIFY(!WriteLineToFile(box.Path(u"data/x.shd"_s), u"cancel"_s, false));
        QCOMPARE(box.Read(u"elsewhere/target"_s), QByteArray("precious\r\n"));
        const QList<QByteArray> log = box.Read(u"local/qorvlog.txt"_s).split('\n');
        QCOMPARE(log.size(), 3);
        QVERIFY(log[0].endsWith(" E Unable to write to " +
                                box.Path(u"data/Machines/EVIL"_s).toUtf8() +
                                ": a symbolic link\r"));
        QVERIFY(log[1].endsWith(" E Unable to write to " + box.Path(u"data/x.shd"_s).toUtf8() +
                                ": " + QByteArray(std::strerror(ELOOP)) + "\r"));
    }
    void folderAccess_data() {
        QTest::addColumn<QString>("path"); // in a sandbox holding srv/data.v2/users/x.dat
        QTest::addColumn<QString>("access");
        QTest::newRow("usable") << u"srv/data.v2/users"_s << u"writelistreaddelete"_s;
        QTest::newRow("trailing separator") << u"srv/data.v2/"_s << u"writelistreaddelete"_s;
        QTest::newRow("a file: its folder")
            << u"srv/data.v2/users/x.dat"_s << u"writelistreaddelete"_s;
        QTest::newRow("missing") << u"srv/data.v2/users/jsmith"_s << QString();
        QTest::newRow("missing, with a dot") << u"srv/data.v2/users/john.smith"_s << QString();
        QTest::newRow("missing data.v2") << u"srv/data.v2/users/x.dat/data.v2"_s << QString();
        QTest::newRow("empty path") << QString() << QString();
    }
    void folderAccess() {
        QFETCH(QString, path);
        QFETCH(QString, access);
        Sandbox box;
        box.Write(u"srv/data.v2/users/x.dat"_s, "x");
        QCOMPARE(TestFolderAccess(path.isEmpty() ? path : box.Path(path)), access);
        // No test file is left behind.
        QCOMPARE(QDir(box.Path(u"srv/data.v2/users"_s)).entryList(QDir::Files),
                 QStringList{u"x.dat"_s});
        QCOMPARE(QDir(box.Path(u"srv/data.v2"_s)).entryList(QDir::Files), QStringList());
    }
    void readOnlyFolderAccess() {
        if (::geteuid() == 0) QSKIP("root ignores permission bits");
        Sandbox box;
        box.Write(u"ro/x.dat"_s, "x");
        QFile::setPermissions(box.Path(u"ro"_s), QFile::ReadOwner | QFile::ExeOwner);
        const QString access = TestFolderAccess(box.Path(u"ro"_s));
        QFile::setPermissions(box.Path(u"ro"_s),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(access, u"listread"_s);
    }
    void fileAccess() {
        Sandbox box;
        const QString f = box.Write(u"cfg/Config.ini"_s, "x");
        QCOMPARE(TestFileAccess(f), u"writelistread"_s);
        QCOMPARE(TestFileAccess(box.Path(u"cfg/none.ini"_s)), QString());
    }
    void driveLetterAndResolve() {
        Sandbox box;
        const QString mnt = box.Path(u"mnt/share"_s);
        box.Write(u"mnt/share/data/Config.ini"_s, "x");
        box.Write(u"mounts"_s, ("//Server/Share " + mnt.toUtf8() + " cifs rw 0 0\n" +
                                "nfshost:/export /mnt/nfs nfs4 rw 0 0\n/dev/sda1 / ext4 rw 0 0\n"));
        QCOMPARE(GetDriveLetterPath(u"//server/share/data"_s), mnt + u"/data"_s);
        QCOMPARE(GetDriveLetterPath(u"//server/share"_s), mnt + u"/"_s);
        QCOMPARE(GetDriveLetterPath(u"//server/shared/x"_s), u"//server/shared/x"_s);
        QCOMPARE(GetDriveLetterPath(u"//nfshost/export/a"_s), u"/mnt/nfs/a"_s);
        // A file on the mount is named by its remote name only when it can be found so.
        QCOMPARE(ResolvePath(mnt + u"/data/Config.ini"_s), mnt + u"/data/Config.ini"_s);
        // A share of this machine resolves to its local folder.
        gEnv.m_sMachineName = u"HOSTA"_s;
        box.Write(u"smb.conf"_s, "[global]\nworkgroup = X\n[Data]\npath = " +
                                     box.Path(u"local"_s).toUtf8() + "\n");
        box.Write(u"local/sub/Config.ini"_s, "x");
        QCOMPARE(ResolvePath(u"//hosta/data/sub/Config.ini"_s),
                 box.Path(u"local/sub/Config.ini"_s));
        QCOMPARE(ResolvePath(u"//hosta/data/sub/Missing.ini"_s), u"//hosta/data/sub/Missing.ini"_s);
    }
    void logLines() {
        Sandbox box;
        LogInto(box, false);
        WriteLog(u"I"_s, u"dropped"_s);
        WriteTrace(u"dropped"_s);
        WriteLog(u"E"_s, u"forced"_s, true);
        gEnv.m_bDebugLog = true;
        WriteTrace(u"traced"_s);
        const QList<QByteArray> lines = box.Read(u"qorvlog.txt"_s).split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(
            QRegularExpression(u"^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d \\d+ E forced\\r$"_s)
                .match(QString::fromUtf8(lines[0]))
                .hasMatch());
        QCOMPARE(lines[1], QByteArray("qorvlog: traced\r"));
    }
    void logRotatesAtItsLimit() {
        Sandbox box;
        LogInto(box, true);
        box.Write(u"qorvlog.txt.old"_s, "older");
        const QByteArray almost(kLogLimit - 1, 'a');
        box.Write(u"qorvlog.txt"_s, almost);
        WriteTrace(u"one"_s); // below the limit: appended
        QCOMPARE(box.Read(u"qorvlog.txt"_s), almost + "qorvlog: one\r\n");
        QCOMPARE(box.Read(u"qorvlog.txt.old"_s), QByteArray("older"));
        WriteTrace(u"two"_s); // at the limit: moved to the one ".old" file first
        QCOMPARE(box.Read(u"qorvlog.txt"_s), QByteArray("qorvlog: two\r\n"));
        QCOMPARE(box.Read(u"qorvlog.txt.old"_s), almost + "qorvlog: one\r\n");
        QCOMPARE(QDir(box.Path()).entryList({u"qorvlog*"_s}).size(), 2);
    }
    void noLocalFolderNoLog() {
        Sandbox box; // fails the test when anything lands in the current folder
        gEnv.m_bDebugLog = true;
        WriteTrace(u"nowhere"_s);
        WriteLog(u"E"_s, u"nowhere"_s, true);
        QVERIFY(QDir::current().isEmpty());
    }
    void unexpectedError() {
        Sandbox box;
        MessageRecorder rec;
        ReportUnexpectedError(u"GetPPS"_s, {kErrFileNotFound, u"File not found"_s});
        QCOMPARE(rec.Messages().size(), 1);
        const auto& m = rec.Messages()[0];
        QCOMPARE(m.title, u"Kestova Sentrel"_s);
        QCOMPARE(m.icon, Platform::MsgIcon::Exclamation);
        QVERIFY(m.text.startsWith(QStringLiteral("Unexpected error 53 in procedure 'GetPPS':\rFile "
                                                 "not found\r\rPlease contact us at\r")));
        QVERIFY(m.text.endsWith(u" with the above information."_s));
    }
    void settings() {
        Sandbox box;
        qint32 v = 99;
        bool found = true;
        GetSettingLong(u"Window"_s, u"Width"_s, v, found);
        QVERIFY(!found);
        QCOMPARE(v, 0);
        SaveSettingText(u"Window"_s, u"Width"_s, u"640"_s);
        SaveSettingText(u"Window"_s, u"Name"_s, u"wide"_s);
        GetSettingLong(u"Window"_s, u"Width"_s, v, found);
        QVERIFY(found);
        QCOMPARE(v, 640);
        GetSettingLong(u"Window"_s, u"Name"_s, v, found);
        QVERIFY(!found);
        // Kept under the application's title, where the window and the last-used values of
        // every version of the program find them.
        QCOMPARE(QSettings(box.Path(u"home/.config/QorvLog.ini"_s), QSettings::IniFormat)
                     .value(u"QorvLog/Window/Width"_s),
                 QVariant(u"640"_s));
    }
};

QTEST_GUILESS_MAIN(TestBCommon)
#include "tst_bcommon.moc"
