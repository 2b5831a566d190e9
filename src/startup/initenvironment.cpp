#include "startup/initenvironment.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "common/values.h"
#include "config/bconfigfile.h"
#include "config/bregistry.h"
#include "config/cconfigoptions.h"
#include "platform/files.h"
#include "platform/system.h"

namespace {
// Nothing is reported while the environment is worked out: a working copy that is not there
// gives empty options instead of a message per option.
QString Option(const QString& key, const QString& section = {}) {
    if (!Platform::IsFile(gEnv.m_sconfigfile)) return {};
    return GetGeneralOption(gEnv.m_sconfigfile, key, section);
}
bool Flag(const QString& key) {
    return LenientFlag(Option(key));
}

void Append(QString& list, const QString& name) {
    list = list.isEmpty() ? name : list + QLatin1Char(',') + name;
}

void EnsureFolder(const QString& folder) {
    if (FindFile(folder).isEmpty()) Platform::MakeDir(folder);
}
} // namespace

void InitEnvironment() {
    CEnvironment& e = gEnv;
    // 1
    e.m_bOffline = false;
    e.m_bUseErrorHandler = false;
    e.m_bDebugLog = true;
    // The traces below wait for the DebugLog option, read further down, and are dropped
    // when it is off.
    const CHeldLog held;
    // 2: product strings and title by executable name
    if (e.m_sExeName.isEmpty()) e.m_sExeName = Platform::ExecutableName();
    const QString exe = e.m_sExeName;
    e.m_sProductName = QStringLiteral("Kestova Sentrel");
    e.m_sCompanyName = QStringLiteral("Velmora Group Inc");
    e.m_sCompanyShortName = QStringLiteral("Velmora Group");
    bool sharedConfig = false;
    if (exe.contains(QLatin1String("qorvcfg"))) {
        e.m_sTitle = QStringLiteral("Kestova Sentrel - Configuration");
        sharedConfig = true;
    } else if (exe.contains(QLatin1String("qorvrpts"))) {
        e.m_sTitle = QStringLiteral("Kestova Sentrel - Reports");
        sharedConfig = true;
    } else if (exe.contains(QLatin1String("nkvdeploy"))) {
        e.m_sTitle = QStringLiteral("Kestova Sentrel Setup");
        return;
    } else {
        e.m_sTitle = QStringLiteral("Kestova Sentrel");
    }
    if (exe.contains(QLatin1String("kvmaint")) || exe.contains(QLatin1String("kvsrvc"))) return;
    // 3
    const QString run =
        GetMachineKeyValue(QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"),
                           QStringLiteral("Kestova Sentrel"));
    e.m_sProgramPath = run == QLatin1String("(unknown)") ? QString() : FolderOf(run);
    e.m_bSetupMode = e.m_sProgramPath.contains(QLatin1String("qorvsetup"), Qt::CaseInsensitive);
    // 4, 5
    e.m_sSystemDir = Platform::SystemDirectory();
    e.m_sWindowsDir = FolderOf(e.m_sSystemDir);
    e.m_sWindowsDir.chop(1);
    e.m_sOSVersion = Platform::OSVersion();
    if (e.m_sOSVersion.isEmpty()) e.m_sOSVersion = QStringLiteral("(unknown)");
    e.m_sOSVersion = e.m_sOSVersion.trimmed().left(50);
    // 6
    e.m_sLocalUserPath = AddBackslash(GetLocalPath());
    EnsureFolder(e.m_sLocalUserPath);
    e.m_sMachineName = TrimAtNul(ThisComputerName());
    WriteTrace(QStringLiteral("m_sLocalUserPath = ") + e.m_sLocalUserPath);
    // 7
    e.m_sOrigConfigFile = GetConfigFile();
    WriteTrace(QStringLiteral("raw orignal config file is ") + e.m_sOrigConfigFile);
    e.m_sOrigConfigFile = ResolvePath(e.m_sOrigConfigFile);
    WriteTrace(QStringLiteral("absolute orignal config file is ") + e.m_sOrigConfigFile);
    e.m_sConfigPath = ResolvePath(FolderOf(e.m_sOrigConfigFile));
    // 8
    e.m_sconfigfile = ResolvePath(sharedConfig ? e.m_sOrigConfigFile
                                               : e.m_sLocalUserPath + exe + QStringLiteral(".ini"));
    if (!sharedConfig) Platform::CopyFileKeepTime(e.m_sOrigConfigFile, e.m_sconfigfile);
    // 9
    e.m_bLogAllUsers = Flag(QStringLiteral("LogAllUsers"));
    e.m_sUserName = TrimAtNul(Platform::LoginName()).trimmed();
    if (e.m_sUserName.isEmpty() || e.m_bLogAllUsers) e.m_sUserName = QStringLiteral("general");
    WriteTrace(QStringLiteral("m_sUserName = ") + e.m_sUserName);
    // 10
    e.m_sDataFile = GetDataPath();
    WriteTrace(QStringLiteral("raw m_sDataFile is ") + e.m_sDataFile);
    e.m_sDataFile = ResolvePath(e.m_sDataFile);
    WriteTrace(QStringLiteral("absolute m_sDataFile is ") + e.m_sDataFile);
    // 11
    e.m_sDataPath = DataPathFromOption(Option(QStringLiteral("DataPath")),
                                       e.m_sconfigfile.isEmpty() ? QString() : e.m_sOrigConfigFile,
                                       e.m_sLocalUserPath);
    // 12
    e.m_sUserPathLetter =
        GetDriveLetterPath(e.m_sDataPath) + QStringLiteral("users/") + e.m_sUserName;
    WriteTrace(QStringLiteral(" m_sUserPathLetter = ") + e.m_sUserPathLetter);
    e.m_sDataPath = ResolvePath(e.m_sDataPath);
    WriteTrace(QStringLiteral("m_sDataPath = ") + e.m_sDataPath);
    WriteTrace(QStringLiteral("m_sconfigfile = ") + e.m_sconfigfile);
    // 13: offline when the shared folders cannot be used
    const QString fileAccess = TestFileAccess(e.m_sOrigConfigFile);
    const QString folderAccess =
        TestFolderAccess(e.m_sDataPath + QStringLiteral("users/") + e.m_sUserName);
    WriteTrace(QStringLiteral("original config security is ") + fileAccess +
               QStringLiteral("for ") + e.m_sOrigConfigFile);
    WriteTrace(QStringLiteral("dataPATH security is ") + folderAccess);
    e.m_bOffline =
        !folderAccess.contains(QLatin1String("writelistreaddelete"), Qt::CaseInsensitive) ||
        !fileAccess.contains(QLatin1String("listread"), Qt::CaseInsensitive);
    if (e.m_bOffline) e.m_sDataPath = e.m_sLocalUserPath;
    // 14, 15
    e.m_sUserPath = e.m_sDataPath + QStringLiteral("users/") + e.m_sUserName;
    e.m_lConfigStamp = GetFileStamp(e.m_sOrigConfigFile);
    // 16
    e.m_bObtainPath = Flag(QStringLiteral("ObtainPath"));
    e.m_sDisplayImmediately = Option(QStringLiteral("DisplayImmediately"));
    e.m_sDisplayToUserOnly = Option(QStringLiteral("DisplayToUserOnly"));
    e.m_sAutoUpdate = Option(QStringLiteral("AutoUpdate"));
    e.m_bLogDatFilesOnly = Flag(QStringLiteral("LogDatFilesOnly"));
    // 17
    WriteTrace(QStringLiteral("m_sUserPath = ") + e.m_sUserPath);
    EnsureFolder(e.m_sDataPath + QStringLiteral("users"));
    EnsureFolder(e.m_sUserPath);
    // 18
    e.m_sIPAddress = GetIPAddress();
    WriteTrace(QStringLiteral("m_sMachineName = ") + e.m_sMachineName);
    EnsureFolder(e.m_sDataPath + QStringLiteral("Machines"));
    e.m_sMachinePath = e.m_sDataPath + QStringLiteral("Machines/") + e.m_sMachineName;
    EnsureFolder(e.m_sMachinePath);
    WriteTrace(QStringLiteral("m_sMachinePath = ") + e.m_sMachinePath);
    // 19: spooler folder, remembered in spldir.txt for when the registry cannot be read
    e.m_sSpoolPath = Platform::IsOldSystem() ? e.m_sWindowsDir + QStringLiteral("/spool/printers")
                                             : QStringLiteral("/var/spool/cups");
    const QString spoolFile = e.m_sLocalUserPath + QStringLiteral("spldir.txt");
    QString spool;
    if (GetKeyValue(kLocalMachine,
                    QStringLiteral("System\\CurrentControlSet\\Control\\Print\\Printers"),
                    QStringLiteral("DefaultSpoolDirectory"), spool)) {
        e.m_sSpoolPath = spool;
        WriteLineToFile(spoolFile, spool, true);
    } else {
        const QStringList lines = Platform::ReadLines(spoolFile);
        const QString first = lines.isEmpty() ? QString() : GetListItem(1, lines.first());
        if (first.size() > 1) e.m_sSpoolPath = first;
    }
    WriteTrace(QStringLiteral("m_sSpoolPath = ") + e.m_sSpoolPath);
    e.m_sSpoolIndex =
        e.m_sLocalUserPath + e.m_sMachineName +
        (exe.contains(QLatin1String("qorvproc")) ? QStringLiteral("2") : QStringLiteral("1")) +
        QStringLiteral(".idx");
    WriteTrace(QStringLiteral("m_sSpoolIndex = ") + e.m_sSpoolIndex);
    // 20
    e.m_sLoggingMachine = Option(QStringLiteral("LoggingMachine"));
    if ((e.m_sLoggingMachine == QLatin1String("Default") &&
         !Platform::IsNetworkPath(e.m_sDataPath)) ||
        e.m_sLoggingMachine.toUpper().contains(QLatin1String("ANYMACHINE")))
        e.m_sLoggingMachine = e.m_sMachineName;
    WriteTrace(QStringLiteral("m_sLoggingMachine is ") + e.m_sLoggingMachine);
    // 21
    e.m_sFileServers = Option(QStringLiteral("FileServers"));
    e.m_sAutoUpdateLocation = Option(QStringLiteral("AutoUpdateLocation"));
    e.m_bSavePrintData = Flag(QStringLiteral("SavePrintData"));
    e.m_bDebugLog = Flag(QStringLiteral("DebugLog"));
    e.m_bConvert11x17 = Flag(QStringLiteral("Convert11x17"));
    e.m_bPauseUntilAck = Flag(QStringLiteral("PauseUntilAck"));
    e.m_bDeleteIfCanceled = Flag(QStringLiteral("DeleteIfCanceled"));
    e.m_sRecentPath = GetSpecialFolder(8);
    e.m_lNumPrinterGroups = 0;
    ToWholeNumber(Option(QStringLiteral("NumPrinterGroups"), QStringLiteral("General")), 0,
                  kMaxCount, &e.m_lNumPrinterGroups);
    // 22: printer-group lists
    for (QString* list :
         {&e.m_sLoggingOnGroups, &e.m_sLoggingOffGroups, &e.m_sPauseGroups, &e.m_sNoPauseGroups,
          &e.m_sRedirectGroups, &e.m_sPlaceholderRedirectGroups})
        list->clear();
    for (qint32 n = 1; n <= e.m_lNumPrinterGroups; ++n) {
        const QString section = QStringLiteral("PG") + QString::number(n);
        const QString name = Option(QStringLiteral("PrinterGroupName"), section);
        const QString disable = Option(QStringLiteral("DisableLogging"), section);
        const QString pause = Option(QStringLiteral("PauseUntilAck"), section);
        const QString redirect = Option(QStringLiteral("Redirect"), section);
        if (!name.isEmpty() && disable == QLatin1String("False"))
            Append(e.m_sLoggingOnGroups, name);
        if (!name.isEmpty() && disable == QLatin1String("True"))
            Append(e.m_sLoggingOffGroups, name);
        if (!name.isEmpty() && pause == QLatin1String("True")) Append(e.m_sPauseGroups, name);
        if (!name.isEmpty() && pause == QLatin1String("False")) Append(e.m_sNoPauseGroups, name);
        if (!redirect.isEmpty() && redirect != kNoRedirect) Append(e.m_sRedirectGroups, name);
        if (redirect == kNoRedirect) Append(e.m_sPlaceholderRedirectGroups, name);
    }
    // 23
    e.m_bDataHost =
        Platform::IsNetworkPath(e.m_sConfigPath) && !Platform::IsNetworkPath(e.m_sDataPath);
}
