// Common file and text services, the answers to the monitor, the debug log and settings.
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
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestBCommon : public QObject {
    Q_OBJECT
    std::unique_ptr<Sandbox> box;
    // The debug log (local/qorvlog.txt), each line's time and process shown as "T"; the data
    // folder is data/.
    QString Log() const {
        static const QRegularExpression when(u"^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d \\d+ "_s,
                                             QRegularExpression::MultilineOption);
        return QString::fromUtf8(box->Read(u"local/qorvlog.txt"_s)).replace(when, u"T "_s);
    }

private Q_SLOTS:
    void init() {
        box = std::make_unique<Sandbox>();
        gEnv.m_sLocalUserPath = box->Path(u"local/"_s);
        gEnv.m_sDataPath = box->Path(u"data/"_s);
        gEnv.m_sExeName = u"qorvlog"_s;
        QDir().mkpath(box->Path(u"local"_s));
        QDir().mkpath(box->Path(u"data/Machines/SRV"_s));
    }
    void cleanup() { box.reset(); }

    // "~" stands for a NUL. Dates are read back through the normaliser: its result stays.
    void texts_data() {
        Table("fn text out",
              {"list 0¦list0¦a,b¦", "list 1¦list1¦a, b,c¦a", "list 2¦list2¦a, b,c¦ b",
               "list 3¦list3¦a, b,c¦c", "list past the end¦list4¦a, b,c¦", "solo¦list1¦solo¦solo",
               "no folder¦parts¦name¦name|", "both separators¦parts¦C:\\x/y\\z.doc¦z.doc|C:\\x/y\\",
               "backslash added¦slash¦/a¦/a/", "backslash kept¦slash¦/a/¦/a/", "empty¦slash¦¦",
               "date cut at nul¦date¦3/7/2024 1:05:09 PM~junk¦03/07/2024 1:05:09 PM",
               "dotted, trimmed¦date¦ 1.2.x ¦01/02/x", "backslashes¦date¦1\\22\\x¦01/22/x",
               "one separator¦date¦10/5¦10/5", "no date¦date¦soon¦soon",
               "mixed separators¦date¦1\\a/b\\c¦01/0a/b\\c",
               "found by fuzzing¦date¦\\\u00ad/\\/1:¦00/0\u00ad/\\/1:",
               "dotted date¦date¦1.2.2004¦01/02/2004 12:00:00 AM"});
    }
    void texts() {
        QFETCH(QString, fn);
        QFETCH(QString, text);
        text.replace(u'~', QChar(0));
        QString got = fn == u"slash"_s   ? AddBackslash(text)
                      : fn == u"parts"_s ? LastComponent(text) + u'|' + FolderOf(text)
                      : fn == u"date"_s  ? NormalizeDateText(text)
                                         : GetListItem(fn.mid(4).toInt(), text);
        QTEST(got, "out");
        if (fn == u"date"_s) QCOMPARE(NormalizeDateText(got), got);
    }
    // A line's fields, or a cost text's colour, media and cost, joined by "|".
    void fields_data() {
        Table("fn text out",
              {"quotes¦fields¦one,\"two, too\",\"say \"\"hi\"\"\"¦one|two, too|say \"hi\"",
               "trimmed¦fields¦   x , \" y \" ¦x|y", "empty fields¦fields¦,,¦||",
               "unterminated quote¦fields¦\"a,b¦a,b",
               "colour, media¦cost¦Color-Bond= 0.25 per square foot¦Color|Bond|0.25",
               "mono¦cost¦Monochrome-Film= 2 per square foot¦Monochrome|Film|2",
               "other colour¦cost¦Spot-Vinyl= 1.10 per square foot¦Vinyl||1.10",
               "no dash¦cost¦Film= 2 per Square Foot¦|Film|2",
               "bar¦cost¦Color-Bond= 0.25 per square foot | x¦Color|Bond|Color-",
               "bar, no dash¦cost¦Bond= 2 square foot | x¦|Bond|Bond= 2 square foot",
               "colour word first¦cost¦square foot-Bond= 0.25¦Bond||",
               "not a cost¦cost¦Color-Bond= 0.25 each¦||"});
    }
    void fields() {
        QFETCH(QString, fn);
        QFETCH(QString, text);
        QStringList got;
        int pos = 0;
        if (fn == u"cost"_s) {
            for (const QString& f : {u"Color"_s, u"Media"_s, u"Cost"_s})
                got << GetCostTextField(text, f);
            QCOMPARE(GetCostTextField(text, u"cost"_s), QString());
        } else {
            do got << GetNextField(text, pos, QLatin1Char(','));
            while (pos <= text.size());
            QCOMPARE(pos, int(text.size()) + 1);
        }
        QTEST(got.join(u'|'), "out");
    }

    void findAndCount() {
        for (const char* f :
             {"jobs/a.prt", "jobs/B.PRT", "jobs/a.dat", "jobs/noext", "jobs/s/c.prt"})
            box->Write(QString::fromLatin1(f), "x");
        const QString jobs = box->Path(u"jobs"_s);
        QCOMPARE(CountFiles(jobs + u"/*.prt"_s), 2); // case ignored, no subfolders
        QCOMPARE(CountFiles(jobs + u"/*.*"_s), 4);   // "*.*" matches "noext"
        QCOMPARE(CountEntries(jobs + u"/*"_s), 5);   // folders too
        QCOMPARE(CountFiles(jobs + u"/?.dat"_s), 1);
        QCOMPARE(CountFiles(box->Path(u"gone/*.prt"_s)), 0);
        const QStringList found{FindFile(jobs + u"//"_s),     FindFile(jobs + u"/s"_s),
                                FindFile(jobs + u"/a.dat"_s), FindFile(jobs + u"/*.prt"_s),
                                FindFile(jobs + u"/s*"_s),    FindFile(jobs + u"/*.xyz"_s),
                                FindFile(jobs + u"/none"_s),  FindFile({})};
        QCOMPARE(found, QStringList({u"."_s, u"."_s, u"a.dat"_s, u"*.prt"_s, u"."_s, {}, {}, {}}));
        // Counts are 16-bit: a folder of 32768 job files counts 32767.
        const QByteArray many = QFile::encodeName(box->Path(u"many/"_s));
        QDir().mkpath(box->Path(u"many"_s));
        for (int i = 0; i < 32768; ++i)
            ::close(::open((many + QByteArray::number(i) + ".prt").constData(), O_CREAT | O_WRONLY,
                           0644));
        QCOMPARE(CountFiles(box->Path(u"many/*.prt"_s)), 32767);
        QCOMPARE(CountEntries(box->Path(u"many/*"_s)), 32767);
    }
    void fileStamp() {
        const QString p = box->Write(u"f.txt"_s, "one");
        const qint32 a = GetFileStamp(p);
        QVERIFY(a != 0);
        QCOMPARE(GetFileStamp(p + u"//"_s), a);
        QVERIFY(TouchFile(p, -3600));
        QVERIFY(GetFileStamp(p) != a);
        QCOMPARE(GetFileStamp(box->Path(u"missing"_s)), 0);
    }
    // Case ignored; a 100,000-character line of junk is read without trouble. Files come from
    // every kind of machine: CR LF, LF and a lone CR each end a line.
    void findInFileAndLineEnds() {
        QByteArray junk(100000, '\x01');
        junk[50000] = 'Z';
        const QString p = box->Write(u"junk.bin"_s, junk + "\xff\xfe\r\nlast");
        QCOMPARE(QList<bool>({FindInFile(p, u"z"_s, false), FindInFile(p, u"LAST"_s, false),
                              FindInFile(p, u"delta"_s, false),
                              FindInFile(box->Path(u"none"_s), u"a"_s, true)}),
                 QList<bool>({true, true, false, false}));
        for (const char* bytes : {"alpha\r\n\rBeta\nlast", "alpha\r\rBeta\rlast\r"}) {
            bool ok = false;
            QCOMPARE(Platform::ReadLines(box->Write(u"f.txt"_s, bytes), &ok),
                     (QStringList{u"alpha"_s, QString(), u"Beta"_s, u"last"_s}));
            QVERIFY(ok && FindInFile(box->Path(u"f.txt"_s), u"beta"_s, false));
        }
    }

    // The answers to the monitor, also on a device that fills up: none is left cut short or
    // empty, and each failure is false and one "E" line.
    void answers_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("missing"); // bytes short of the line; -1: no device
        for (int missing : {-1, 0, 1, 100})
            for (const QString& f :
                 {u"data/users/x.dat"_s, u"data/users/x.shd"_s, u"data/Machines/SRV/00042.pas"_s})
                QTest::newRow(qPrintable(f.right(4) + u' ' + QString::number(missing)))
                    << f << missing;
    }
    void answers() {
        QFETCH(QString, file);
        QFETCH(int, missing);
        const QByteArray line = file.endsWith(u".dat"_s)   ? "cancel"
                                : file.endsWith(u".shd"_s) ? "10.0.0.7"
                                                           : "resume";
        gEnv.m_bDebugLog = true;
        box->Write(u"data/users/x.shd"_s, "monitor line\r\n");
        box->Write(u"data/users/x.dat"_s, "old\r\n");
        const QByteArray before = box->Read(file);
        bool ok = false;
        {
            std::unique_ptr<FailingDevice> device;
            if (missing >= 0)
                device = std::make_unique<FailingDevice>(line.size() + 2 - missing, file);
            if (file.endsWith(u".pas"_s))
                ok = WritePassFile(u"\\\\SRV\\q"_s, u"42"_s, QString::fromLatin1(line));
            else
                ok = WriteLineToFile(box->Path(file), QString::fromLatin1(line),
                                     file.endsWith(u".dat"_s));
        }
        QCOMPARE(ok, missing <= 0);
        const QByteArray written =
            (file.endsWith(u".shd"_s) ? before : QByteArray()) + line + "\r\n";
        QCOMPARE(box->Read(file), ok ? written : before);
        QVERIFY(!Listing(box->Path(u"data"_s)).contains(u"/."_s)); // no temporary file left
        QCOMPARE(Log(), ok ? QString()
                           : u"T E Unable to write to "_s + box->Path(file) + u": "_s +
                                 QString::fromLocal8Bit(std::strerror(ENOSPC)) + u"\r\n"_s);
    }
    void passFile_data() {
        Table("queue number written", // written: "" when nothing may be written
              {"windows queue¦\\\\SRV\\Plotter¦42¦SRV/00042.pas",
               "slashes¦//SRV/Plotter/¦7¦SRV/00007.pas", "bare server¦SRV¦12345¦SRV/12345.pas",
               "six digits¦\\SRV\\¦123456¦SRV/123456.pas", "empty¦¦42¦",
               "only separators¦\\\\//¦42¦", "dot dot¦\\\\..\\x¦42¦", "dot¦./x¦42¦"});
    }
    void passFile() {
        QFETCH(QString, queue);
        QFETCH(QString, number);
        QFETCH(QString, written);
        QCOMPARE(WritePassFile(queue, number, u"resume"_s), !written.isEmpty());
        QCOMPARE(Log(), written.isEmpty()
                            ? u"T E WritePassFile: no server in queue name "_s + queue + u"\r\n"_s
                            : QString());
        QCOMPARE(Listing(box->Path(u"data"_s)),
                 written.isEmpty() ? QString() : u"Machines/"_s + written + u" = resume|"_s);
        // The writer's alone, whatever the umask (the "user" bits say what this process may).
        if (!written.isEmpty())
            QCOMPARE(QFile::permissions(box->Path(u"data/Machines/"_s + written)) & ~0x0700,
                     QFile::Permissions(0x6000));
    }
    // Links planted where the answers go are replaced or refused, never written through.
    void plantedLinksInAnswerFolders() {
        gEnv.m_bDebugLog = true;
        QDir().mkpath(box->Path(u"data/Machines/PRINTSRV"_s));
        QDir().mkpath(box->Path(u"elsewhere"_s));
        // A dangling link at the pass file: the pass file is written, the outside one is not.
        QVERIFY(QFile::link(box->Path(u"elsewhere/new.txt"_s),
                            box->Path(u"data/Machines/PRINTSRV/00613.pas"_s)));
        QVERIFY(WritePassFile(u"\\\\PRINTSRV\\Plotter"_s, u"613"_s, u"resume"_s));
        QVERIFY(!QFileInfo(box->Path(u"data/Machines/PRINTSRV/00613.pas"_s)).isSymLink());
        // A server folder planted as a link is not written into, nor an ".shd" link through.
        QVERIFY(QFile::link(box->Path(u"elsewhere"_s), box->Path(u"data/Machines/EVIL"_s)));
        QVERIFY(!WritePassFile(u"//EVIL/q"_s, u"7"_s, u"resume"_s));
        box->Write(u"elsewhere/target"_s, "precious\r\n");
        QVERIFY(QFile::link(box->Path(u"elsewhere/target"_s), box->Path(u"data/x.shd"_s)));
        QVERIFY(!WriteLineToFile(box->Path(u"data/x.shd"_s), u"cancel"_s, false));
        QCOMPARE(box->Read(u"data/Machines/PRINTSRV/00613.pas"_s), QByteArray("resume\r\n"));
        QCOMPARE(Listing(box->Path(u"elsewhere"_s)), u"target = precious|"_s);
        QCOMPARE(Log(), u"T E Unable to write to "_s + box->Path(u"data/Machines/EVIL"_s) +
                            u": a symbolic link\r\nT E Unable to write to "_s +
                            box->Path(u"data/x.shd"_s) + u": "_s +
                            QString::fromLocal8Bit(std::strerror(ELOOP)) + u"\r\n"_s);
    }

    // What a folder or a file allows, as the offline decision needs it; a "." in a folder
    // name is a name. In a sandbox holding srv/data.v2/users/x.dat; "nobody": as an ordinary
    // user on a read-only tree.
    void access_data() {
        Table("fn path nobody access",
              {"usable¦folder¦srv/data.v2/users¦¦writelistreaddelete",
               "trailing separator¦folder¦srv/data.v2/¦¦writelistreaddelete",
               "a file: its folder¦folder¦srv/data.v2/users/x.dat¦¦writelistreaddelete",
               "missing¦folder¦srv/data.v2/users/jsmith¦¦",
               "missing, with a dot¦folder¦srv/data.v2/users/john.smith¦¦", "empty path¦folder¦¦¦",
               "read-only¦folder¦srv/data.v2/users¦nobody¦listread",
               "file¦file¦srv/data.v2/users/x.dat¦¦writelistread",
               "file missing¦file¦srv/data.v2/users/none.dat¦¦",
               "file: a folder¦file¦srv/data.v2/users¦¦", "file: a pattern¦file¦srv/data.v2/*¦¦",
               "file: empty path¦file¦¦¦",
               "read-only file¦file¦srv/data.v2/users/x.dat¦nobody¦listread"});
    }
    void access() {
        QFETCH(QString, fn);
        QFETCH(QString, path);
        QFETCH(QString, nobody);
        const bool readOnly = !nobody.isEmpty();
        box->Write(u"srv/data.v2/users/x.dat"_s, "x");
        if (readOnly)
            for (const QString& f : {QString(), u"srv"_s, u"srv/data.v2"_s, u"srv/data.v2/users"_s})
                QVERIFY(::chmod(QFile::encodeName(box->Path(f)).constData(), 0555) == 0);
        QString access;
        {
            std::unique_ptr<AsNobody> as = readOnly ? std::make_unique<AsNobody>() : nullptr;
            const QString p = path.isEmpty() ? path : box->Path(path);
            access = fn == u"file"_s ? TestFileAccess(p) : TestFolderAccess(p);
        }
        ::chmod(QFile::encodeName(box->Path()).constData(), 0755);
        QTEST(access, "access");
        QCOMPARE(Listing(box->Path(u"srv"_s)), u"data.v2/users/x.dat = x"_s); // nothing left
    }
    // Shares written //server/share are reached through the folders they are mounted on.
    void driveLetterAndResolve() {
        const QString mnt = box->Path(u"mnt/share"_s);
        box->Write(u"mnt/share/data/Config.ini"_s, "x");
        box->Write(u"mounts"_s,
                   ("//Server/Share " + mnt.toUtf8() + " cifs rw 0 0\n" +
                    "nfshost:/export /mnt/nfs nfs4 rw 0 0\n/dev/sda1 / ext4 rw 0 0\n"));
        QCOMPARE(GetDriveLetterPath(u"//server/share/data"_s), mnt + u"/data"_s);
        QCOMPARE(GetDriveLetterPath(u"//server/share"_s), mnt + u"/"_s);
        QCOMPARE(GetDriveLetterPath(u"//server/shared/x"_s), u"//server/shared/x"_s);
        QCOMPARE(GetDriveLetterPath(u"//nfshost/export/a"_s), u"/mnt/nfs/a"_s);
        QCOMPARE(ResolvePath(mnt + u"/data/Config.ini"_s), mnt + u"/data/Config.ini"_s);
        QCOMPARE(ResolvePath(u"//server/share/data/Config.ini"_s), mnt + u"/data/Config.ini"_s);
        QCOMPARE(ResolvePath(u"//server/share/data/none.ini"_s), mnt + u"/data/none.ini"_s);
        // A share of this machine resolves to its local folder.
        gEnv.m_sMachineName = u"HOSTA"_s;
        box->Write(u"smb.conf"_s, "[global]\nworkgroup = X\n[Data]\npath = " +
                                      box->Path(u"local"_s).toUtf8() + "\n");
        box->Write(u"local/sub/Config.ini"_s, "x");
        QCOMPARE(ResolvePath(u"//hosta/data/sub/Config.ini"_s),
                 box->Path(u"local/sub/Config.ini"_s));
        QCOMPARE(ResolvePath(u"//hosta/data/sub/Missing.ini"_s), u"//hosta/data/sub/Missing.ini"_s);
        QCOMPARE(ResolvePath(u"//otherhosta/data/sub/Config.ini"_s),
                 u"//otherhosta/data/sub/Config.ini"_s);
        // A local path is no share, even where it would read as one past its first letter.
        QCOMPARE(ResolvePath(u"/xhosta/data/sub/Config.ini"_s), u"/xhosta/data/sub/Config.ini"_s);
    }

    // Only while DebugLog is on, forced lines always; never in the current folder.
    void logLines() {
        WriteLog(u"I"_s, u"dropped"_s);
        WriteTrace(u"dropped"_s);
        WriteLog(u"E"_s, u"forced"_s, true);
        {
            const CHeldLog held; // kept until the option is known, written when it is on
            gEnv.m_bDebugLog = true;
            WriteTrace(u"held"_s);
            WriteLog(u"I"_s, u"held too"_s);
            QVERIFY(!Log().contains(u"held"_s));
        }
        {
            const CHeldLog held;
            WriteTrace(u"dropped"_s);
            gEnv.m_bDebugLog = false;
        }
        QCOMPARE(Log(), u"T E forced\r\nqorvlog: held\r\nT I held too\r\n"_s);
        gEnv.m_sLocalUserPath.clear(); // the sandbox fails the test on a file in the current folder
        gEnv.m_bDebugLog = true;
        WriteTrace(u"nowhere"_s);
        WriteLog(u"E"_s, u"nowhere"_s, true);
        QVERIFY(!Platform::AppendLogLine(u"relative.txt"_s, u"x"_s, kLogLimit));
        QVERIFY(QDir::current().isEmpty());
    }
    // At 10 MB the log moves to its one ".old" file, replacing the one there.
    void logRotatesAtItsLimit() {
        gEnv.m_bDebugLog = true;
        for (const qint64 size : {10 * 1024 * 1024 - 1, 10 * 1024 * 1024}) {
            box->Write(u"local/qorvlog.txt.old"_s, "older");
            const QByteArray log(size, 'a');
            box->Write(u"local/qorvlog.txt"_s, log);
            WriteTrace(u"one"_s);
            const bool moved = size == 10 * 1024 * 1024;
            QCOMPARE(box->Read(u"local/qorvlog.txt"_s), (moved ? "" : log) + "qorvlog: one\r\n");
            QCOMPARE(box->Read(u"local/qorvlog.txt.old"_s), moved ? log : QByteArray("older"));
            QCOMPARE(QDir(box->Path(u"local"_s)).entryList(QDir::Files).size(), 2);
        }
    }
    void settingsAndSystem() {
        auto get = [](const QString& key) {
            qint32 v = 99;
            bool found = true;
            GetSettingLong(u"Window"_s, key, v, found);
            return u"%1 %2"_s.arg(found).arg(v);
        };
        QCOMPARE(get(u"Width"_s), u"0 0"_s);
        SaveSettingText(u"Window"_s, u"Width"_s, u"640"_s);
        SaveSettingText(u"Window"_s, u"Name"_s, u"wide"_s);
        QCOMPARE(QStringList({get(u"Width"_s), get(u"Name"_s),
                              GetSettingText(u"Window"_s, u"Name"_s, u"x"_s),
                              GetSettingText(u"Window"_s, u"None"_s, u"x"_s)}),
                 QStringList({u"1 640"_s, u"0 0"_s, u"wide"_s, u"x"_s}));
        // Kept under the application's title, where every version of the program finds them.
        QCOMPARE(QSettings(box->Path(u"home/.config/QorvLog.ini"_s), QSettings::IniFormat)
                     .value(u"QorvLog/Window/Width"_s),
                 QVariant(u"640"_s));
        // The Recent folder is special folder 8, cut to 260 characters.
        const QString deep = box->Path(u"home/"_s + QString(300, u'd'));
        qputenv("XDG_DATA_HOME", deep.toUtf8());
        QCOMPARE(GetSpecialFolder(8), (deep + u"/recently-used.xbel"_s).left(260));
        QCOMPARE(GetSpecialFolder(7), QString());
    }
};

QTEST_GUILESS_MAIN(TestBCommon)
#include "tst_bcommon.moc"
