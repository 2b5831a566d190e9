// The program as users and administrators run it: a sandboxed installation, jobs dropped into
// the job folder, a second start, a configuration that cannot be used, the command-line modes.
#include "platform/process.h"
#include "platform/system.h"
#include "startup/commandline.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

class TestProgram : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A second start for the same user ends at once, silently. A plotter job is stored,
    // redirected and released; a job printed from a document the desktop lists as recent is
    // stored with the document's folder level.
    void logsJobsEndToEnd() {
        Sandbox box;
        LayOutInstallation(
            box, IniEdits(TestData(u"config_v2.ini"_s),
                          {u"PG1/LogSilent=True"_s, u"GENERAL/ObtainPath=True"_s,
                           u"GENERAL/FileServers=ServerName"_s, u"GENERAL/LoggingMachine=LOGSRV"_s,
                           u"CATEGORYPG21/CategoryName=Folder"_s,
                           u"CATEGORYPG21/PreDefinedValue1=82"_s}));
        QDir().mkpath(box.Path(u"share/data/Machines/SRV"_s));
        box.Write(u"home/.local/share/recently-used.xbel"_s,
                  "<?xml version=\"1.0\"?><xbel version=\"1.0\"><bookmark "
                  "href=\"file:///Clients/Acme%204711/Plan.dwg\"/></xbel>");
        QProcess first;
        QVERIFY(StartProgram(first, box));
        QCOMPARE(RunProgram({}).status, 0);
        JobFields plot, recent;
        plot.machine = recent.machine = Platform::ComputerName();
        recent.document = u"Plan.dwg - AutoCAD"_s;
        recent.path.clear();
        recent.driver = u"Laser 5"_s;
        const QString jobs = QDir(box.Path()).relativeFilePath(UserFolder(box)) + u"/"_s;
        box.WriteLines(jobs + u"J1.prt"_s, plot.Lines());
        box.WriteLines(jobs + u"J2.prt"_s, recent.Lines());
        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(box.Path(jobs + u"J2.dat"_s)) &&
                QFile::exists(box.Path(u"share/data/Machines/SRV/00042.pas"_s)),
            10000);
        QCOMPARE(box.Read(jobs + u"J1.shd"_s), QByteArray("10.0.0.7\r\n"));
        QCOMPARE(QString::fromUtf8(box.Read(jobs + u"J2.dat"_s)),
                 u"QorvexMaster,2,42,\"Plotter A0\",\"%1\",\"jsmith\",\"Plan.dwg - AutoCAD\","
                 "\"03/05/2004 2:07:09 PM\",\"\\\\SRV\\Plotter\",123456,3,0,2,\"Letter\",8.500000,"
                 "11.000000,6,\"/Clients/Acme 4711/Plan.dwg\",\"Color\",0.000000,\"Laser 5\","
                 "\"Bond\",\"Portrait\"\r\nQorvexDetail,2,\"Folder\",\"Acme 4711\"\r\n"_s.arg(
                     recent.machine));
        QCOMPARE(first.state(), QProcess::Running);
        first.kill();
        first.waitForFinished();
        QCOMPARE(box.Read(u"messages.txt"_s), QByteArray());
    }
    // Each ends with status 1 and one message (a missing configuration: tst_monitoringloop).
    // A lock that can be taken neither in the runtime folder (as after su) nor in the local
    // folder is no second instance.
    void unusableStartEnds_data() {
        Table("version message",
              {"version 3¦3¦The configuration file version (3) is not supported by this version "
               "of Kestova Sentrel.\\n\\nPlease upgrade to the lastest version of Kestova "
               "Sentrel.\n",
               "no lock anywhere¦2¦Unable to create the lock file in ~/not-a-folder/share/"
               "Qorvex.\\nContact your system administrator for assistance.\n"});
    }
    void unusableStartEnds() {
        QFETCH(QString, version);
        Sandbox box;
        LayOutInstallation(
            box, IniEdit(TestData(u"config_v2.ini"_s), u"GENERAL"_s, u"Version"_s, version));
        if (QTest::currentDataTag() == "no lock anywhere"_ba) {
            qputenv("XDG_RUNTIME_DIR", box.Write(u"not-a-folder"_s, "x").toUtf8());
            qputenv("XDG_DATA_HOME", box.Path(u"not-a-folder/share"_s).toUtf8());
        }
        QProcessEnvironment messages;
        messages.insert(u"QORVLOG_MESSAGES"_s, box.Path(u"messages.txt"_s));
        QCOMPARE(RunProgram({}, messages).status, 1);
        QTEST(QString::fromUtf8(box.Read(u"messages.txt"_s)).replace(box.Path(), u"~"_s),
              "message");
    }
    // Arguments (names ending ".ini" are in the sandbox; first "qorvmond": the monitor, first
    // "tty": the program at a terminal), then the status, standard output and error joined by
    // "|" ("usage": status 2 and the usage on standard error, "help": status 0 and it on
    // standard output).
    void commandLine_data() {
        Table("args output",
              {"good¦--check-config v2.ini¦0|Version 2: 2 printer groups, 3 categories, 6 "
               "predefined values\n|",
               // The program fails silently on version 0; an administrator is told why.
               "version 0¦--check-config v0.ini¦1||Entry [GENERAL].Version is not valid in "
               "configuration file:\\n~/v0.ini\n",
               "at a terminal¦tty --check-config v0.ini¦1|qorvlog: Entry [GENERAL].Version is not "
               "valid in configuration file:\r\n~/v0.ini\r\n|",
               "output unwritable¦--write-config v1.ini no/dir/out.ini¦1|Version 1: 1 printer "
               "groups, 2 categories, 1 predefined values\n|Unexpected error 75 in procedure "
               "'CConfigOptions::WriteIniFile':\\nPath/File access error\\n\\nPlease contact "
               "us at\\n+44 20 7946 0321 or support@kestova-sentrel.example with the above "
               "information.\n",
               "no file¦--check-config¦usage", "unknown¦--frobnicate x¦usage",
               "write, one file¦--write-config v1.ini¦usage", "help¦--help¦help", "-h¦-h¦help",
               "help and more¦--help x¦usage", "version¦--version¦0|qorvlog 4.0.0\n|",
               "monitor version¦qorvmond --version¦0|qorvmond 4.0.0\n|",
               "monitor help¦qorvmond -h¦0|usage: qorvmond [--printers QUEUE,QUEUE...]\n       "
               "qorvmond --status\n       qorvmond --help | --version\n|"});
    }
    void commandLine() {
        QFETCH(QString, args);
        QFETCH(QString, output);
        Sandbox box;
        const QByteArray v2 = TestData(u"config_v2.ini"_s);
        box.Write(u"v1.ini"_s, TestData(u"config_v1.ini"_s));
        box.Write(u"v2.ini"_s, v2);
        box.Write(u"v0.ini"_s, IniEdit(v2, u"GENERAL"_s, u"Version"_s, u"0"_s));
        QStringList list = args.split(u' ');
        for (QString& a : list)
            if (a.endsWith(u".ini"_s)) a = box.Path(a);
        QString program;
        QProcessEnvironment env;
        if (list.first() == u"qorvmond"_s) {
            program = QStringLiteral(QORVMOND_BIN);
            list.removeFirst();
        } else if (list.first() == u"tty"_s) {
            program = u"script"_s;                // a terminal for standard output and error
            env.insert(u"SHELL"_s, u"/bin/sh"_s); // quiet about the test's locale
            list[0] = QStringLiteral(QORVLOG_BIN);
            list = {u"-qec"_s, list.join(u' '), u"/dev/null"_s};
        }
        const ProgramResult r = RunProgram(list, env, program);
        const QString usage =
            u"usage: qorvlog                      (no arguments: runs for this user in the "
            "background)\n       qorvlog --check-config FILE\n       qorvlog --write-config IN "
            "OUT\n       qorvlog --set-values CONFIG CATEGORY FILE [--group NAME] [--dry-run]\n"
            "       qorvlog --create-database TARGET\n       qorvlog --import ROOT "
            "[DATABASE]\n       qorvlog --report [DATABASE] [--from YYYY-MM-DD] [--to "
            "YYYY-MM-DD] [--user NAME]\n               [--by CATEGORY[,CATEGORY...]] "
            "[--output FILE]\n       qorvlog --session\n       qorvlog --help | --version\n"_s;
        if (output == u"usage"_s) output = u"2||"_s + usage;
        if (output == u"help"_s) output = u"0|"_s + usage + u"|"_s;
        QCOMPARE(u"%1|%2|%3"_s.arg(r.status).arg(r.out, r.err).replace(box.Path(), u"~"_s), output);
    }
    // A configuration written in the new format; onto a full disk the one already there stays
    // whole and the run fails.
    void writeConfig_data() {
        Table("missing", {"nothing fits¦99999", "one byte short¦1", "just fits¦0"}); // bytes short
    }
    void writeConfig() {
        QFETCH(QString, missing);
        Sandbox box;
        const QString in = box.Write(u"in.ini"_s, TestData(u"config_v1.ini"_s));
        QCOMPARE(RunCommandLine({u"--write-config"_s, in, box.Path(u"whole.ini"_s)}), 0);
        const QByteArray written = box.Read(u"whole.ini"_s);
        QVERIFY(written.startsWith("[GENERAL]\r\nVersion                  = 2\r\n"));
        const QByteArray old = TestData(u"config_v2.ini"_s);
        const QString out = box.Write(u"Config.ini"_s, old);
        const int status = [&] {
            FailingDevice device(std::max<qint64>(0, written.size() - missing.toInt()));
            return RunCommandLine({u"--write-config"_s, in, out});
        }();
        QCOMPARE(status, missing == u"0"_s ? 0 : 1);
        QCOMPARE(box.Read(u"Config.ini"_s), missing == u"0"_s ? written : old);
        QCOMPARE(QDir(box.Path()).entryList({u"*Config.ini*"_s}, QDir::Files | QDir::Hidden),
                 QStringList{u"Config.ini"_s});
    }
    // The autostart's session starts a client that ended abnormally again, after growing
    // pauses; one that ends in order (another instance runs) ends it. Last: the lock stays.
    void sessionStartsTheClientAgain() {
        Sandbox box;
        LayOutInstallation(
            box, IniEdit(TestData(u"config_v2.ini"_s), u"GENERAL"_s, u"Version"_s, u"3"_s));
        QProcess session;
        session.start(u"env"_s,
                      {u"QORVLOG_RESTART_MS=100"_s, u"QORVLOG_MESSAGES="_s + box.Path(u"m.txt"_s),
                       QStringLiteral(QORVLOG_BIN), u"--session"_s});
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT(
            (err += session.readAllStandardError())
                .contains("(1), started again in 0.1 s\nqorvlog: ended abnormally "
                          "(1), started again in 0.2 s\n"),
            10000);
        session.kill();
        session.waitForFinished();
        QCOMPARE(Platform::AcquireInstanceLock(u"qorvlog"_s, box.Path()),
                 Platform::InstanceLock::Acquired);
        QCOMPARE(RunProgram({u"--session"_s}).status, 0);
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
