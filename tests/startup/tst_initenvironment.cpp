// The environment's derivations: folders, names, the offline decision and the group lists,
// from the registry file the package installs or one laid out for the test.
#include "common/bcommon.h"
#include "common/environment.h"
#include "config/bregistry.h"
#include "config/cconfigoptions.h"
#include "platform/system.h"
#include "startup/initenvironment.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
// The derived settings, "Name=value" each: the local folder shown as "L", the sandbox as "~",
// this user as "U" and this machine as "M".
QStringList Derived(const Sandbox& box) {
    const CEnvironment& e = gEnv;
    const QString m = e.m_sMachineName, u = Platform::LoginName();
    const QStringList names = u"Title Program Config ConfigPath Copy Data User Letter Machine "
                              "LogMachine Servers Groups On Off Pause NoPause Redirect "
                              "Placeholder Spool SpoolIndex Name DataFile Flags"_s.split(u' ');
    QStringList values;
    values << e.m_sTitle << e.m_sProgramPath << e.m_sOrigConfigFile << e.m_sConfigPath
           << e.m_sconfigfile << e.m_sDataPath << e.m_sUserPath << e.m_sUserPathLetter
           << e.m_sMachinePath << e.m_sLoggingMachine << e.m_sFileServers
           << QString::number(e.m_lNumPrinterGroups) << e.m_sLoggingOnGroups
           << e.m_sLoggingOffGroups << e.m_sPauseGroups << e.m_sNoPauseGroups << e.m_sRedirectGroups
           << e.m_sPlaceholderRedirectGroups << e.m_sSpoolPath << e.m_sSpoolIndex << e.m_sUserName
           << e.m_sDataFile << u"%1%2%3"_s.arg(e.m_bOffline).arg(e.m_bDataHost).arg(e.m_bDebugLog);
    QStringList out;
    for (qsizetype i = 0; i < names.size(); ++i)
        out << names[i] + u'=' +
                   (values[i].isEmpty() ? QString()
                    : values[i] == m    ? u"M"_s
                    : values[i] == u    ? u"U"_s
                                        : values[i]);
    return out.join(u';')
        .replace(box.Path(u"home/.local/share/Qorvex"_s), u"L"_s)
        .replace(box.Path(), u"~"_s)
        .replace(u"users/"_s + u, u"users/U"_s)
        .replace(u"Machines/"_s + m, u"Machines/M"_s)
        .replace(u"/"_s + m + u"1.idx"_s, u"/M1.idx"_s)
        .split(u';');
}
} // namespace

class TestInitEnvironment : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Each row: GENERAL entries set ("Key=Value;..."; "~" is the sandbox), the program's name,
    // and the settings that differ from the first row ("!" first: from nothing).
    void derivations_data() {
        Table("config exe expected",
              {"installed¦¦qorvlog¦",
               "local profile¦DataPath=  local PROFILE ¦qorvlog¦"
               "Data=L/;User=L/users/U;Letter=L/users/U;Machine=L/Machines/M",
               "next to the configuration¦DataPath=¦qorvlog¦Data=~/share/;User=~/share/users/U;"
               "Letter=~/share/users/U;Machine=~/share/Machines/M",
               "unusable, traced¦DataPath=~/nowhere/data;DebugLog=True¦qorvlog¦Data=L/;"
               "User=L/users/U;Letter=~/nowhere/data/users/U;Machine=L/Machines/M;Flags=101",
               "all users, any machine¦LogAllUsers=True;LoggingMachine=AnyMachine¦qorvlog¦"
               "User=~/share/data/users/general;Letter=~/share/data/users/general;Name=general",
               "logging machine¦LoggingMachine=PRINTSRV¦qorvlog¦LogMachine=PRINTSRV",
               "configuration program¦¦qorvcfg¦Title=Kestova Sentrel - Configuration;"
               "Copy=~/share/Config.ini",
               "reports program¦¦qorvrpts¦Title=Kestova Sentrel - Reports;Copy=~/share/Config.ini",
               "setup program¦¦nkvdeploy¦!Title=Kestova Sentrel Setup;Groups=0;Flags=001",
               // The share //server/share is mounted on the sandbox's share folder.
               "network data path¦Mount;DataPath=//SERVER/share/data;"
               "DataFile=//server/share/data/jobs.db¦qorvlog¦LogMachine=Default;"
               "DataFile=~/share/data/jobs.db"});
    }
    void derivations() {
        QFETCH(QString, config);
        QFETCH(QString, exe);
        QFETCH(QString, expected);
        Sandbox box;
        MessageRecorder rec;
        QByteArray ini = TestData(u"config_v2.ini"_s);
        QString dataPath;
        for (const QString& entry : config.split(u';', Qt::SkipEmptyParts)) {
            const QString key = entry.section(u'=', 0, 0);
            const QString value = entry.section(u'=', 1).replace(u"~"_s, box.Path());
            if (key == u"DataPath"_s)
                dataPath = value.isNull() ? u""_s : value; // null: the default
            else if (key == u"Mount"_s)
                box.Write(u"mounts"_s,
                          "//server/share " + box.Path(u"share"_s).toUtf8() + " cifs rw 0 0\n");
            else
                ini = IniEdit(ini, u"GENERAL"_s, key, value);
        }
        const QString cfg =
            LayOutInstallation(box, ini, config.contains(u"DataPath"_s) ? dataPath : QString());
        if (config.contains(u"Mount"_s)) // the registry names the configuration on the share
            box.Write(u"registry.ini"_s,
                      box.Read(u"registry.ini"_s)
                          .replace(box.Path(u"share"_s).toUtf8(), "//server/share"));
        gEnv.m_sExeName = exe;
        // The monitor makes the user's job folder; without it the program works offline.
        for (const QString& f :
             {u"home/.local/share/Qorvex/users/"_s + Platform::LoginName(),
              u"share/users/"_s + Platform::LoginName(), u"share/data/users/general"_s})
            QDir().mkpath(box.Path(f));
        InitEnvironment();
        InitEnvironment(); // as every offline pass does
        QStringList want =
            u"Title=Kestova Sentrel;Program=~/prog/;Config=~/share/Config.ini;ConfigPath=~/share/;"
            "Copy=L/qorvlog.ini;Data=~/share/data/;User=~/share/data/users/U;Letter=~/share/data/"
            "users/U;Machine=~/share/data/Machines/M;LogMachine=M;Servers=fs1;Groups=2;On=Plotter,"
            "Default;Off=;Pause=Plotter;NoPause=Default;Redirect=Plotter;Placeholder=Default;Spool="
            "/var/spool/cups;SpoolIndex=L/M1.idx;Name=U;DataFile=jobs.db;Flags=000"_s.split(u';');
        for (const QString& change : expected.split(u';', Qt::SkipEmptyParts)) {
            if (change.startsWith(u'!'))
                for (QString& w : want) w = w.section(u'=', 0, 0) + u'=';
            const QString key = change.section(u'=', 0, 0).remove(u'!');
            for (QString& w : want)
                if (w.section(u'=', 0, 0) == key) w = key + u'=' + change.section(u'=', 1);
        }
        QCOMPARE(Derived(box), want);
        QCOMPARE(rec.Messages().size(), 0);
        QVERIFY(!QFileInfo::exists(box.Path(u"nowhere"_s)));
        const QByteArray log = box.Read(u"home/.local/share/Qorvex/qorvlog.txt"_s);
        const QByteArray first =
            "qorvlog: m_sLocalUserPath = " + box.Path(u"home/.local/share/Qorvex/"_s).toUtf8() +
            "\r\n";
        QCOMPARE(log.startsWith(first) ? log.count(first) : log.size(),
                 qsizetype(config.contains(u"DebugLog"_s) ? 2 : 0));
        if (QTest::currentDataTag() != "installed"_ba) return;
        QVERIFY(QFileInfo(gEnv.m_sMachinePath).isDir() && QFileInfo(gEnv.m_sUserPath).isDir());
        QCOMPARE(QFileInfo(gEnv.m_sconfigfile).lastModified(), QFileInfo(cfg).lastModified());
        // Named, so that no test for an old Windows version ("4.1") matches Linux 4.19.
        QVERIFY2(QRegularExpression(u"^Linux \\d+\\.\\d+$"_s).match(gEnv.m_sOSVersion).hasMatch(),
                 qPrintable(gEnv.m_sOSVersion));
    }
    // The registry's spool folder, remembered for when the registry no longer names it.
    void spoolFolder() {
        Sandbox box;
        LayOutInstallation(box, TestData(u"config_v2.ini"_s));
        box.Write(u"registry.ini"_s,
                  box.Read(u"registry.ini"_s) +
                      "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers]"
                      "\r\nDefaultSpoolDirectory = /srv/spool\r\n");
        InitEnvironment();
        QCOMPARE(gEnv.m_sSpoolPath, u"/srv/spool"_s);
        QCOMPARE(box.Read(u"home/.local/share/Qorvex/spldir.txt"_s), QByteArray("/srv/spool\r\n"));
        LayOutInstallation(box, TestData(u"config_v2.ini"_s));
        InitEnvironment();
        QCOMPARE(gEnv.m_sSpoolPath, u"/srv/spool"_s);
    }
    // Without a registry file: quiet and offline. The package's names the shared configuration
    // and the program folder; the examples in its comments stay comments.
    void registryFiles() {
        Sandbox box;
        MessageRecorder rec;
        gEnv.m_sExeName = u"qorvlog"_s;
        InitEnvironment();
        QCOMPARE(gEnv.m_sProgramPath + gEnv.m_sOrigConfigFile, QString());
        QVERIFY(gEnv.m_bOffline);
        QVERIFY(QFile::copy(QStringLiteral(QORVLOG_PACKAGING "/registry.ini"), box.RegistryFile()));
        QCOMPARE(GetConfigFile(), u"/mnt/qorvlog/Config.ini"_s);
        const QString run = GetMachineKeyValue(
            u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"_s, u"Kestova Sentrel"_s);
        QCOMPARE(FolderOf(run), QStringLiteral(QORVLOG_PROGRAM_DIR "/"));
        for (auto [key, name] : {std::pair{ProductKey(), u"BetaVersion"_s},
                                 {u"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"_s, u"PATH"_s}})
            QCOMPARE(GetMachineKeyValue(key, name), u"(unknown)"_s);
        QCOMPARE(rec.Messages().size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestInitEnvironment)
#include "tst_initenvironment.moc"
