// The environment's derivations: folders, names, the offline decision and the group lists.
#include "common/environment.h"
#include "config/cprintergroup.h"
#include "platform/system.h"
#include "startup/initenvironment.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {
QByteArray Config() {
    return TestData(QStringLiteral("config_v2.ini"));
}
QByteArray With(QByteArray ini, const char* key, const QString& value,
                const char* section = "GENERAL") {
    return IniEdit(ini, QString::fromLatin1(section), QString::fromLatin1(key), value);
}
} // namespace

class TestInitEnvironment : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void derivations() {
        Sandbox box;
        MessageRecorder rec;
        const QString cfg = LayOutInstallation(box, Config());
        InitEnvironment();
        QCOMPARE(rec.Messages().size(), 0);
        const QString local = box.Path(QStringLiteral("home/.local/share/Qorvex/"));
        const QString data = box.Path(QStringLiteral("share/data/"));
        QCOMPARE(gEnv.m_sTitle, QStringLiteral("Kestova Sentrel"));
        QCOMPARE(gEnv.m_sProgramPath, box.Path(QStringLiteral("prog/")));
        QCOMPARE(gEnv.m_sLocalUserPath, local);
        QCOMPARE(gEnv.m_sOrigConfigFile, cfg);
        QCOMPARE(gEnv.m_sConfigPath, box.Path(QStringLiteral("share/")));
        QCOMPARE(gEnv.m_sconfigfile, local + QStringLiteral("qorvlog.ini"));
        QCOMPARE(QFileInfo(gEnv.m_sconfigfile).lastModified(), QFileInfo(cfg).lastModified());
        QCOMPARE(gEnv.m_sUserName, Platform::LoginName());
        QCOMPARE(gEnv.m_sDataPath, data);
        QCOMPARE(gEnv.m_sUserPath, data + QStringLiteral("users/") + gEnv.m_sUserName);
        QCOMPARE(gEnv.m_sUserPathLetter, gEnv.m_sUserPath);
        QCOMPARE(gEnv.m_sMachinePath, data + QStringLiteral("Machines/") + gEnv.m_sMachineName);
        QVERIFY(QFileInfo(gEnv.m_sMachinePath).isDir());
        QVERIFY(!gEnv.m_bOffline);
        QVERIFY(!gEnv.m_bDataHost);
        QVERIFY(!gEnv.m_bDebugLog);
        QCOMPARE(gEnv.m_sLoggingMachine, gEnv.m_sMachineName); // "Default" on a local data folder
        QCOMPARE(gEnv.m_sFileServers, QStringLiteral("fs1"));
        QCOMPARE(gEnv.m_lNumPrinterGroups, 2);
        QCOMPARE(gEnv.m_sLoggingOnGroups, QStringLiteral("Plotter,Default"));
        QCOMPARE(gEnv.m_sLoggingOffGroups, QString());
        QCOMPARE(gEnv.m_sPauseGroups, QStringLiteral("Plotter"));
        QCOMPARE(gEnv.m_sNoPauseGroups, QStringLiteral("Default"));
        QCOMPARE(gEnv.m_sRedirectGroups, QStringLiteral("Plotter"));
        QCOMPARE(gEnv.m_sPlaceholderRedirectGroups, QStringLiteral("Default"));
        QCOMPARE(gEnv.m_sSpoolPath, QStringLiteral("/var/spool/cups"));
        QCOMPARE(gEnv.m_sSpoolIndex, local + gEnv.m_sMachineName + QStringLiteral("1.idx"));
    }
    void dataPathRules_data() {
        QTest::addColumn<QString>("dataPath");
        QTest::addColumn<QString>("expected"); // relative to the sandbox
        QTest::newRow("local profile") << "  local PROFILE "
                                       << "home/.local/share/Qorvex/";
        QTest::newRow("empty: next to the configuration") << ""
                                                          << "share/";
    }
    void dataPathRules() {
        QFETCH(QString, dataPath);
        QFETCH(QString, expected);
        Sandbox box;
        LayOutInstallation(box, Config(), dataPath);
        // The monitor makes the user's job folder; without it the program works offline.
        QDir().mkpath(box.Path(expected) + QStringLiteral("users/") + Platform::LoginName());
        InitEnvironment();
        QCOMPARE(gEnv.m_sDataPath, box.Path(expected));
        QVERIFY(!gEnv.m_bOffline);
        QVERIFY(QFileInfo(gEnv.m_sUserPath).isDir());
    }
    void unusableDataFolderIsOffline() {
        Sandbox box;
        LayOutInstallation(box, Config(), box.Path(QStringLiteral("nowhere/data")));
        InitEnvironment();
        QVERIFY(gEnv.m_bOffline);
        QCOMPARE(gEnv.m_sDataPath, gEnv.m_sLocalUserPath);
        QCOMPARE(gEnv.m_sUserPath,
                 gEnv.m_sLocalUserPath + QStringLiteral("users/") + gEnv.m_sUserName);
        QVERIFY(QFileInfo(gEnv.m_sUserPath).isDir());
        QVERIFY(!QFileInfo::exists(box.Path(QStringLiteral("nowhere"))));
    }
    void userNameAndLoggingMachine() {
        Sandbox box;
        QByteArray ini = With(Config(), "LogAllUsers", QStringLiteral("True"));
        ini = With(ini, "LoggingMachine", QStringLiteral("AnyMachine"));
        LayOutInstallation(box, ini);
        QDir().mkpath(box.Path(QStringLiteral("share/data/users/general")));
        InitEnvironment();
        QCOMPARE(gEnv.m_sUserName, QStringLiteral("general"));
        QVERIFY(gEnv.m_sUserPath.endsWith(QStringLiteral("/users/general")));
        QCOMPARE(gEnv.m_sLoggingMachine, gEnv.m_sMachineName);
        LayOutInstallation(box, With(Config(), "LoggingMachine", QStringLiteral("PRINTSRV")));
        InitEnvironment();
        QCOMPARE(gEnv.m_sLoggingMachine, QStringLiteral("PRINTSRV"));
    }
    void placeholderRedirectStartsNoRedirector() {
        Sandbox box;
        LayOutInstallation(box, With(Config(), "Redirect", kNoRedirect, "PG1"));
        InitEnvironment();
        QCOMPARE(gEnv.m_sRedirectGroups, QString());
        QCOMPARE(gEnv.m_sPlaceholderRedirectGroups, QStringLiteral("Plotter,Default"));
    }
    void spoolFolder() {
        Sandbox box;
        LayOutInstallation(box, Config());
        QFile reg(box.RegistryFile());
        QVERIFY(reg.open(QIODevice::Append));
        reg.write("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers]\r\n"
                  "DefaultSpoolDirectory = /srv/spool\r\n");
        reg.close();
        InitEnvironment();
        QCOMPARE(gEnv.m_sSpoolPath, QStringLiteral("/srv/spool"));
        QCOMPARE(box.Read(QStringLiteral("home/.local/share/Qorvex/spldir.txt")),
                 QByteArray("/srv/spool\r\n"));
        // Without the registry value the remembered folder is used.
        LayOutInstallation(box, Config());
        InitEnvironment();
        QCOMPARE(gEnv.m_sSpoolPath, QStringLiteral("/srv/spool"));
    }
    void noRegistryIsQuiet() {
        Sandbox box;
        MessageRecorder rec;
        gEnv.m_sExeName = QStringLiteral("qorvlog");
        InitEnvironment();
        QCOMPARE(rec.Messages().size(), 0);
        QCOMPARE(gEnv.m_sProgramPath, QString());
        QCOMPARE(gEnv.m_sOrigConfigFile, QString());
        QVERIFY(gEnv.m_bOffline);
    }
    void titles_data() {
        QTest::addColumn<QString>("exe");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("stops");
        QTest::newRow("log") << "qorvlog"
                             << "Kestova Sentrel" << false;
        QTest::newRow("config") << "qorvcfg"
                                << "Kestova Sentrel - Configuration" << false;
        QTest::newRow("reports") << "qorvrpts"
                                 << "Kestova Sentrel - Reports" << false;
        QTest::newRow("deploy") << "nkvdeploy"
                                << "Kestova Sentrel Setup" << true;
    }
    void titles() {
        QFETCH(QString, exe);
        QFETCH(QString, title);
        QFETCH(bool, stops);
        Sandbox box;
        const QString cfg = LayOutInstallation(box, Config());
        gEnv.m_sExeName = exe;
        InitEnvironment();
        QCOMPARE(gEnv.m_sTitle, title);
        QCOMPARE(gEnv.m_sOrigConfigFile.isEmpty(), stops);
        if (exe != QLatin1String("qorvlog") && !stops)
            QCOMPARE(gEnv.m_sconfigfile, cfg); // the shared file itself
    }
};

QTEST_GUILESS_MAIN(TestInitEnvironment)
#include "tst_initenvironment.moc"
