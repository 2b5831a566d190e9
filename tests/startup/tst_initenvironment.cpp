// The environment's derivations: folders, names, the offline decision and the group lists.
#include "common/environment.h"
#include "config/cprintergroup.h"
#include "platform/system.h"
#include "startup/initenvironment.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
QByteArray Config() {
    return TestData(u"config_v2.ini"_s);
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
        const QString local = box.Path(u"home/.local/share/Qorvex/"_s);
        const QString data = box.Path(u"share/data/"_s);
        QCOMPARE(gEnv.m_sTitle, u"Kestova Sentrel"_s);
        QCOMPARE(gEnv.m_sProgramPath, box.Path(u"prog/"_s));
        QCOMPARE(gEnv.m_sLocalUserPath, local);
        QCOMPARE(gEnv.m_sOrigConfigFile, cfg);
        QCOMPARE(gEnv.m_sConfigPath, box.Path(u"share/"_s));
        QCOMPARE(gEnv.m_sconfigfile, local + u"qorvlog.ini"_s);
        QCOMPARE(QFileInfo(gEnv.m_sconfigfile).lastModified(), QFileInfo(cfg).lastModified());
        QCOMPARE(gEnv.m_sUserName, Platform::LoginName());
        QCOMPARE(gEnv.m_sDataPath, data);
        QCOMPARE(gEnv.m_sUserPath, data + u"users/"_s + gEnv.m_sUserName);
        QCOMPARE(gEnv.m_sUserPathLetter, gEnv.m_sUserPath);
        QCOMPARE(gEnv.m_sMachinePath, data + u"Machines/"_s + gEnv.m_sMachineName);
        QVERIFY(QFileInfo(gEnv.m_sMachinePath).isDir());
        QVERIFY(!gEnv.m_bOffline);
        QVERIFY(!gEnv.m_bDataHost);
        QVERIFY(!gEnv.m_bDebugLog);
        QCOMPARE(gEnv.m_sLoggingMachine, gEnv.m_sMachineName); // "Default" on a local data folder
        QCOMPARE(gEnv.m_sFileServers, u"fs1"_s);
        QCOMPARE(gEnv.m_lNumPrinterGroups, 2);
        QCOMPARE(gEnv.m_sLoggingOnGroups, u"Plotter,Default"_s);
        QCOMPARE(gEnv.m_sLoggingOffGroups, QString());
        QCOMPARE(gEnv.m_sPauseGroups, u"Plotter"_s);
        QCOMPARE(gEnv.m_sNoPauseGroups, u"Default"_s);
        QCOMPARE(gEnv.m_sRedirectGroups, u"Plotter"_s);
        QCOMPARE(gEnv.m_sPlaceholderRedirectGroups, u"Default"_s);
        QCOMPARE(gEnv.m_sSpoolPath, u"/var/spool/cups"_s);
        QCOMPARE(gEnv.m_sSpoolIndex, local + gEnv.m_sMachineName + u"1.idx"_s);
        // Named, so that no test for an old Windows version ("4.1") matches Linux 4.19.
        QVERIFY2(QRegularExpression(u"^Linux \\d+\\.\\d+$"_s).match(gEnv.m_sOSVersion).hasMatch(),
                 qPrintable(gEnv.m_sOSVersion));
    }
    void networkDataPathIsReachedThroughItsMount() {
        Sandbox box;
        // The share //server/share is mounted on the sandbox's share folder.
        box.Write(u"mounts"_s,
                  "//server/share " + box.Path(u"share"_s).toUtf8() + " cifs rw 0 0\n");
        QByteArray ini = With(Config(), "DataFile", u"//server/share/data/jobs.db"_s);
        LayOutInstallation(box, ini, u"//SERVER/share/data"_s);
        const QByteArray reg = box.Read(u"registry.ini"_s);
        box.Write(u"registry.ini"_s,
                  QByteArray(reg).replace(box.Path(u"share"_s).toUtf8(), "//server/share"));
        InitEnvironment();
        const QString share = box.Path(u"share/"_s);
        const QStringList got{gEnv.m_sOrigConfigFile, gEnv.m_sConfigPath, gEnv.m_sDataFile,
                              gEnv.m_sDataPath,       gEnv.m_sUserPath,   gEnv.m_sUserPathLetter,
                              gEnv.m_sLoggingMachine};
        const QString user = share + u"data/users/"_s + gEnv.m_sUserName;
        QCOMPARE(got, (QStringList{share + u"Config.ini"_s, share, share + u"data/jobs.db"_s,
                                   share + u"data/"_s, user, user, u"Default"_s}));
        QVERIFY(!gEnv.m_bOffline);
        QVERIFY(!gEnv.m_bDataHost);
    }
    void debugLogOption_data() {
        QTest::addColumn<QString>("debugLog");
        QTest::addColumn<QString>("dataPath"); // relative to the sandbox
        QTest::newRow("off, offline") << u"False"_s << u"nowhere"_s;
        QTest::newRow("off, online") << u"False"_s << u"share/data"_s;
        QTest::newRow("on, offline") << u"True"_s << u"nowhere"_s;
    }
    void debugLogOption() {
        QFETCH(QString, debugLog);
        QFETCH(QString, dataPath);
        Sandbox box;
        LayOutInstallation(box, With(Config(), "DebugLog", debugLog), box.Path(dataPath));
        InitEnvironment();
        InitEnvironment(); // as every offline pass does
        const QByteArray log = box.Read(u"home/.local/share/Qorvex/qorvlog.txt"_s);
        if (debugLog == QLatin1String("False")) {
            QCOMPARE(log, QByteArray());
        } else {
            QVERIFY(log.startsWith("qorvlog: m_sLocalUserPath = " + gEnv.m_sLocalUserPath.toUtf8() +
                                   "\r\n"));
            QCOMPARE(log.count("qorvlog: m_sLocalUserPath = "), 2);
        }
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
        QDir().mkpath(box.Path(expected) + u"users/"_s + Platform::LoginName());
        InitEnvironment();
        QCOMPARE(gEnv.m_sDataPath, box.Path(expected));
        QVERIFY(!gEnv.m_bOffline);
        QVERIFY(QFileInfo(gEnv.m_sUserPath).isDir());
    }
    void unusableDataFolderIsOffline() {
        Sandbox box;
        LayOutInstallation(box, Config(), box.Path(u"nowhere/data"_s));
        InitEnvironment();
        QVERIFY(gEnv.m_bOffline);
        QCOMPARE(gEnv.m_sDataPath, gEnv.m_sLocalUserPath);
        QCOMPARE(gEnv.m_sUserPath, gEnv.m_sLocalUserPath + u"users/"_s + gEnv.m_sUserName);
        QVERIFY(QFileInfo(gEnv.m_sUserPath).isDir());
        QVERIFY(!QFileInfo::exists(box.Path(u"nowhere"_s)));
    }
    void userNameAndLoggingMachine() {
        Sandbox box;
        QByteArray ini = With(Config(), "LogAllUsers", u"True"_s);
        ini = With(ini, "LoggingMachine", u"AnyMachine"_s);
        LayOutInstallation(box, ini);
        QDir().mkpath(box.Path(u"share/data/users/general"_s));
        InitEnvironment();
        QCOMPARE(gEnv.m_sUserName, u"general"_s);
        QVERIFY(gEnv.m_sUserPath.endsWith(u"/users/general"_s));
        QCOMPARE(gEnv.m_sLoggingMachine, gEnv.m_sMachineName);
        LayOutInstallation(box, With(Config(), "LoggingMachine", u"PRINTSRV"_s));
        InitEnvironment();
        QCOMPARE(gEnv.m_sLoggingMachine, u"PRINTSRV"_s);
    }
    void placeholderRedirectStartsNoRedirector() {
        Sandbox box;
        LayOutInstallation(box, With(Config(), "Redirect", kNoRedirect, "PG1"));
        InitEnvironment();
        QCOMPARE(gEnv.m_sRedirectGroups, QString());
        QCOMPARE(gEnv.m_sPlaceholderRedirectGroups, u"Plotter,Default"_s);
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
        QCOMPARE(gEnv.m_sSpoolPath, u"/srv/spool"_s);
        QCOMPARE(box.Read(u"home/.local/share/Qorvex/spldir.txt"_s), QByteArray("/srv/spool\r\n"));
        // Without the registry value the remembered folder is used.
        LayOutInstallation(box, Config());
        InitEnvironment();
        QCOMPARE(gEnv.m_sSpoolPath, u"/srv/spool"_s);
    }
    void noRegistryIsQuiet() {
        Sandbox box;
        MessageRecorder rec;
        gEnv.m_sExeName = u"qorvlog"_s;
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
