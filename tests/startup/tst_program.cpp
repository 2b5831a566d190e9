// The program as users run it: a sandboxed installation, a job dropped into the job folder,
// a second start, a configuration that cannot be used.
#include "platform/system.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

class TestProgram : public QObject {
    Q_OBJECT
    static QProcessEnvironment Env(const Sandbox& box) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* k : {"QORVLOG_REGISTRY", "QORVLOG_MOUNTS", "QORVLOG_SMBCONF", "HOME",
                              "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
            env.insert(QString::fromLatin1(k), qEnvironmentVariable(k));
        env.insert(u"QORVLOG_MESSAGES"_s, box.Path(u"messages.txt"_s));
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        QFile::setPermissions(box.Path(u"run"_s),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return env;
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
        QByteArray ini = TestData(u"config_v2.ini"_s);
        ini = IniEdit(ini, u"PG1"_s, u"LogSilent"_s, u"True"_s);
        LayOutInstallation(box, ini);
        QDir().mkpath(box.Path(u"share/data/Machines/SRV"_s));
        QProcess first;
        first.setProcessEnvironment(Env(box));
        first.start(QStringLiteral(QORVLOG_BIN));
        QVERIFY(first.waitForStarted());
        QVERIFY(WaitFor(box.Path(u"home/.local/share/Qorvex/qorvlog.ini"_s), 10000));
        QTest::qWait(300); // past start-up, waiting on the job folder

        // A second start for the same user ends at once, silently.
        QProcess second;
        second.setProcessEnvironment(Env(box));
        second.start(QStringLiteral(QORVLOG_BIN));
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);

        JobFields job;
        job.machine = Platform::ComputerName();
        const QString folder = UserFolder(box) + QLatin1Char('/');
        QFile f(folder + u"J1.prt"_s);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(job.Lines().join(u"\r\n"_s).toUtf8() + "\r\n");
        f.close();
        QVERIFY(WaitFor(folder + u"J1.dat"_s, 5000));
        QVERIFY(WaitFor(box.Path(u"share/data/Machines/SRV/00042.pas"_s), 2000));
        QCOMPARE(box.Read(u"share/data/users/"_s + Platform::LoginName() + u"/J1.shd"_s),
                 QByteArray("10.0.0.7\r\n"));
        QCOMPARE(first.state(), QProcess::Running);
        first.kill();
        first.waitForFinished();
        QCOMPARE(box.Read(u"messages.txt"_s), QByteArray());
    }
    // A lock that can be taken neither in the runtime folder (as after su) nor in the local
    // folder is not a second instance: the program says so and fails.
    void noLockAnywhere() {
        Sandbox box;
        LayOutInstallation(box, TestData(u"config_v2.ini"_s));
        qputenv("XDG_RUNTIME_DIR", box.Write(u"not-a-folder"_s, "x").toUtf8());
        qputenv("XDG_DATA_HOME", box.Path(u"not-a-folder/share"_s).toUtf8());
        QProcess nowhere;
        nowhere.setProcessEnvironment(Env(box));
        nowhere.start(QStringLiteral(QORVLOG_BIN));
        QVERIFY(nowhere.waitForFinished(10000));
        QCOMPARE(nowhere.exitCode(), 1);
        QCOMPARE(box.Read(u"messages.txt"_s),
                 "Unable to create the lock file in " +
                     box.Path(u"not-a-folder/share/Qorvex"_s).toUtf8() +
                     ".\\nContact your system administrator for assistance.\n");
    }
    void unusableConfigurationEnds_data() {
        QTest::addColumn<QString>("version"); // empty: no registry file at all
        QTest::addColumn<QString>("message");
        QTest::newRow("no registry") << ""
                                     << "Configuration file was not found:\\n\\n\\nYou might need "
                                        "to repair your Sentrel installation.\n";
        QTest::newRow("version 3")
            << "3"
            << "The configuration file version (3) is not supported by this version of Kestova "
               "Sentrel.\\n\\nPlease upgrade to the lastest version of Kestova Sentrel.\n";
    }
    void unusableConfigurationEnds() {
        QFETCH(QString, version);
        QFETCH(QString, message);
        Sandbox box;
        if (!version.isEmpty())
            LayOutInstallation(
                box, IniEdit(TestData(u"config_v2.ini"_s), u"GENERAL"_s, u"Version"_s, version));
        QProcess p;
        p.setProcessEnvironment(Env(box));
        p.start(QStringLiteral(QORVLOG_BIN));
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(box.Read(u"messages.txt"_s)), message);
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
