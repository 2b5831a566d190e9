// The program as users and administrators run it: a sandboxed installation, a job dropped
// into the job folder, a second start, a configuration that cannot be used, the command-line
// modes.
#include "platform/system.h"
#include "startup/commandline.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

class TestProgram : public QObject {
    Q_OBJECT
    struct Result {
        int status;
        QString out, err, messages;
    };
    static void Start(QProcess& p, const Sandbox& box, const QStringList& args = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment(); // the sandbox's
        env.insert(u"QORVLOG_MESSAGES"_s, box.Path(u"messages.txt"_s));
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        QFile::setPermissions(box.Path(u"run"_s),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(QORVLOG_BIN), args);
        p.closeWriteChannel();
    }
    // Runs the program to its end; "%1" in the results stands for the sandbox folder.
    static Result Run(const Sandbox& box, const QStringList& args = {}) {
        QProcess p;
        Start(p, box, args);
        if (!p.waitForFinished(30000)) return {-1, {}, {}, {}};
        auto text = [&](const QByteArray& b) {
            return QString::fromUtf8(b).replace(box.Path() + u"/"_s, u"%1"_s);
        };
        return {p.exitCode(), text(p.readAllStandardOutput()), text(p.readAllStandardError()),
                text(box.Read(u"messages.txt"_s))};
    }
    static bool WaitFor(const QString& path, int ms) {
        QElapsedTimer t;
        t.start();
        while (!QFile::exists(path) && t.elapsed() < ms) QTest::qWait(20);
        return QFile::exists(path);
    }

private Q_SLOTS:
    void logsAJobEndToEnd() {
        Sandbox box;
        LayOutInstallation(
            box, IniEdit(TestData(u"config_v2.ini"_s), u"PG1"_s, u"LogSilent"_s, u"True"_s));
        QDir().mkpath(box.Path(u"share/data/Machines/SRV"_s));
        QProcess first;
        Start(first, box);
        QVERIFY(WaitFor(box.Path(u"home/.local/share/Qorvex/qorvlog.ini"_s), 10000));
        QTest::qWait(300); // past start-up, waiting on the job folder
        // A second start for the same user ends at once, silently.
        QCOMPARE(Run(box).status, 0);
        JobFields job;
        job.machine = Platform::ComputerName();
        const QString jobs = u"share/data/users/"_s + Platform::LoginName() + u"/J1."_s;
        box.WriteLines(jobs + u"prt"_s, job.Lines());
        QVERIFY(WaitFor(box.Path(jobs + u"dat"_s), 5000));
        QVERIFY(WaitFor(box.Path(u"share/data/Machines/SRV/00042.pas"_s), 2000));
        QCOMPARE(box.Read(jobs + u"shd"_s), QByteArray("10.0.0.7\r\n"));
        QCOMPARE(first.state(), QProcess::Running);
        first.kill();
        first.waitForFinished();
        QCOMPARE(box.Read(u"messages.txt"_s), QByteArray());
    }
    // Each ends with status 1 and one message. A lock that can be taken neither in the
    // runtime folder (as after su) nor in the local folder is no second instance.
    void unusableStartEnds_data() {
        QTest::addColumn<QString>("version"); // empty: no registry file at all
        QTest::addColumn<bool>("noLock");
        QTest::addColumn<QString>("message");
        QTest::newRow("no registry") << u""_s << false
                                     << u"Configuration file was not found:\\n\\n\\nYou might "
                                        "need to repair your Sentrel installation.\n"_s;
        QTest::newRow("version 3") << u"3"_s << false
                                   << u"The configuration file version (3) is not supported by "
                                      "this version of Kestova Sentrel.\\n\\nPlease upgrade to "
                                      "the lastest version of Kestova Sentrel.\n"_s;
        QTest::newRow("no lock anywhere") << u"2"_s << true
                                          << u"Unable to create the lock file in %1not-a-folder/"
                                             "share/Qorvex.\\nContact your system administrator "
                                             "for assistance.\n"_s;
    }
    void unusableStartEnds() {
        QFETCH(QString, version);
        QFETCH(bool, noLock);
        QFETCH(QString, message);
        Sandbox box;
        if (!version.isEmpty())
            LayOutInstallation(
                box, IniEdit(TestData(u"config_v2.ini"_s), u"GENERAL"_s, u"Version"_s, version));
        if (noLock) {
            qputenv("XDG_RUNTIME_DIR", box.Write(u"not-a-folder"_s, "x").toUtf8());
            qputenv("XDG_DATA_HOME", box.Path(u"not-a-folder/share"_s).toUtf8());
        }
        const Result r = Run(box);
        QCOMPARE(r.status, 1);
        QCOMPARE(r.messages, message);
    }
    // Arguments (names ending ".ini" are in the sandbox), status, and standard output and
    // error joined by "|".
    void commandLine_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");
        const QString usage = u"|usage: qorvlog --check-config FILE\n       qorvlog --write-config "
                              "IN OUT\n       qorvlog --create-database TARGET\n       qorvlog "
                              "--import ROOT [DATABASE]\n       qorvlog --report [DATABASE] "
                              "[--from YYYY-MM-DD] [--to YYYY-MM-DD] [--user NAME]\n"
                              "               [--by CATEGORY[,CATEGORY...]] [--output FILE]\n"_s;
        const QString invalid = u" is not valid in configuration file:\\n%1"_s;
        QTest::newRow("good")
            << u"--check-config v2.ini"_s << 0
            << u"Version 2: 2 printer groups, 3 categories, 6 predefined values\n|"_s;
        QTest::newRow("bad flag") << u"--check-config flag.ini"_s << 1
                                  << u"|Entry [PG1].DisableLogging"_s + invalid + u"flag.ini\n"_s;
        // The program fails silently on version 0; an administrator is told why.
        QTest::newRow("version 0") << u"--check-config v0.ini"_s << 1
                                   << u"|Entry [GENERAL].Version"_s + invalid + u"v0.ini\n"_s;
        QTest::newRow("output unwritable")
            << u"--write-config v1.ini no/dir/out.ini"_s << 1
            << u"Version 1: 1 printer groups, 2 categories, 1 predefined values\n|Unexpected "
               "error 75 in procedure 'CConfigOptions::WriteIniFile':\\nPath/File access error"
               "\\n\\nPlease contact us at\\n+44 20 7946 0321 or support@kestova-sentrel."
               "example with the above information.\n"_s;
        QTest::newRow("no file") << u"--check-config"_s << 2 << usage;
        QTest::newRow("unknown") << u"--frobnicate x"_s << 2 << usage;
        QTest::newRow("write, one file") << u"--write-config v1.ini"_s << 2 << usage;
    }
    void commandLine() {
        QFETCH(QString, args);
        QFETCH(int, status);
        QFETCH(QString, output);
        Sandbox box;
        const QByteArray v2 = TestData(u"config_v2.ini"_s);
        box.Write(u"v1.ini"_s, TestData(u"config_v1.ini"_s));
        box.Write(u"v2.ini"_s, v2);
        box.Write(u"flag.ini"_s, IniEdit(v2, u"PG1"_s, u"DisableLogging"_s, u"Maybe"_s));
        box.Write(u"v0.ini"_s, IniEdit(v2, u"GENERAL"_s, u"Version"_s, u"0"_s));
        QStringList list = args.split(u' ');
        for (QString& a : list)
            if (a.endsWith(u".ini"_s)) a = box.Path(a);
        const Result r = Run(box, list);
        QCOMPARE(r.status, status);
        QCOMPARE(r.out + u'|' + r.err, output);
    }
    // A configuration written in the new format; onto a full disk the one already there stays
    // whole and the run fails.
    void writeConfig_data() {
        QTest::addColumn<int>("missing"); // bytes short of the whole file
        QTest::newRow("nothing fits") << -1;
        QTest::newRow("one byte short") << 1;
        QTest::newRow("just fits") << 0;
    }
    void writeConfig() {
        QFETCH(int, missing);
        Sandbox box;
        const QString in = box.Write(u"in.ini"_s, TestData(u"config_v1.ini"_s));
        QCOMPARE(RunCommandLine({u"--write-config"_s, in, box.Path(u"whole.ini"_s)}), 0);
        const QByteArray written = box.Read(u"whole.ini"_s);
        QVERIFY(written.startsWith("[GENERAL]\r\nVersion                  = 2\r\n"));
        QCOMPARE(Run(box, {u"--check-config"_s, box.Path(u"whole.ini"_s)}).out,
                 u"Version 2: 1 printer groups, 2 categories, 1 predefined values\n"_s);
        const QByteArray old = TestData(u"config_v2.ini"_s);
        const QString out = box.Write(u"Config.ini"_s, old);
        int status = -1;
        {
            FailingDevice device(missing < 0 ? 0 : written.size() - missing);
            status = RunCommandLine({u"--write-config"_s, in, out});
        }
        QCOMPARE(status, missing == 0 ? 0 : 1);
        QCOMPARE(box.Read(u"Config.ini"_s), missing == 0 ? written : old);
        QCOMPARE(QDir(box.Path()).entryList({u"*Config.ini*"_s}, QDir::Files | QDir::Hidden),
                 QStringList{u"Config.ini"_s});
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
