#include "config/cconfigoptions.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "common/values.h"
#include "config/bconfigfile.h"
#include "config/bregistry.h"
#include "platform/files.h"
#include "platform/system.h"

#include <limits>

std::shared_ptr<CConfigOptions> gConfigOptions;

namespace {
const QString kGeneral = QStringLiteral("GENERAL");
constexpr QChar kCR = QLatin1Char('\r');
} // namespace

void CConfigOptions::Equals(const CConfigOptions& other) {
    *this = other; // plain members; the owned collection is then copied deeply
    PrinterGroups.Equals(other.PrinterGroups);
}

bool CConfigOptions::ReadIniFile(const QString& path) {
    Version = GetConfigFileVersion(path);
    if (Version == 0) return false;
    if (Version > 2) {
        const QString product = gEnv.m_sProductName;
        ShowConfigMessage(QStringLiteral("The configuration file version (") +
                              QString::number(Version) +
                              QStringLiteral(") is not supported by this version of ") + product +
                              QStringLiteral(".") + kCR + kCR +
                              QStringLiteral("Please upgrade to the lastest version of ") +
                              product + QStringLiteral("."),
                          Platform::MsgIcon::Critical);
        return false;
    }
    CIniHandle handle(path);
    if (handle.Get() == 0) {
        ShowUnableToOpen(path);
        return false;
    }
    const CIniSource src{path, handle.Get()};

    // Defaults of the optional entries.
    LoggingMachine = QStringLiteral("Default");
    FileServers = gEnv.m_sMachineName;
    AutoUpdateLocation = gEnv.m_sConfigPath;
    DataPath = gEnv.m_sConfigPath;
    DisplayAfter = QStringLiteral("1");
    UserTimeFrame = QStringLiteral("Unlimited");
    UserPrintUnits = QStringLiteral("Dollars");
    UserLimit = QStringLiteral("100");
    UserFromTime = QStringLiteral("Now");
    UserUntilTime = QStringLiteral("Forever");
    UserAction = QStringLiteral("Cancel Printing");
    PauseUntilAck = Convert11x17 = SavePrintData = ObtainPath = DisplayImmediately = false;
    AutoUpdate = SetEmf = SetRaw = DeleteIfCanceled = LogDatFilesOnly = DebugLog = false;
    SIMMonitor = false;
    DisplayToUserOnly = true;

    if (!ReadMandatory(src, kGeneral, QStringLiteral("DataFile"), DataFile, true) ||
        !ReadStrictBool(src, kGeneral, QStringLiteral("DisableLogging"), DisableLogging) ||
        !ReadStrictBool(src, kGeneral, QStringLiteral("AllowCancel"), AllowCancel) ||
        !ReadStrictBool(src, kGeneral, QStringLiteral("LogSilent"), LogSilent) ||
        !ReadStrictBool(src, kGeneral, QStringLiteral("LogAllUsers"), LogAllUsers))
        return false;
    const std::pair<const char*, QString*> texts[] = {{"LoggingMachine", &LoggingMachine},
                                                      {"AutoUpdateLocation", &AutoUpdateLocation},
                                                      {"DataPath", &DataPath},
                                                      {"FileServers", &FileServers},
                                                      {"DisplayAfter", &DisplayAfter},
                                                      {"UserTimeFrame", &UserTimeFrame},
                                                      {"UserPrintUnits", &UserPrintUnits},
                                                      {"UserLimit", &UserLimit},
                                                      {"UserFromTime", &UserFromTime},
                                                      {"UserAction", &UserAction},
                                                      {"UserUntilTime", &UserUntilTime}};
    for (const auto& [key, member] : texts)
        ReadOptional(src, kGeneral, QString::fromLatin1(key), *member, true);
    if (LoggingMachine.isEmpty()) LoggingMachine = QStringLiteral("Default");
    const std::pair<const char*, bool*> flags[] = {{"PauseUntilAck", &PauseUntilAck},
                                                   {"Convert11x17", &Convert11x17},
                                                   {"SavePrintData", &SavePrintData},
                                                   {"ObtainPath", &ObtainPath},
                                                   {"DisplayImmediately", &DisplayImmediately},
                                                   {"DisplayToUserOnly", &DisplayToUserOnly},
                                                   {"AutoUpdate", &AutoUpdate},
                                                   {"SetEmf", &SetEmf},
                                                   {"SetRaw", &SetRaw},
                                                   {"DeleteIfCanceled", &DeleteIfCanceled},
                                                   {"LogDatFilesOnly", &LogDatFilesOnly},
                                                   {"DebugLog", &DebugLog},
                                                   {"SIMMonitor", &SIMMonitor}};
    for (const auto& [key, member] : flags)
        ReadLenientBool(src, kGeneral, QString::fromLatin1(key), *member);
    PrinterGroups.RemoveAll();
    return PrinterGroups.ReadIniFile(Version, path, handle.Get());
}

bool CConfigOptions::WriteIniFile(const QString& path) const {
    CLineWriter file(path);
    auto value = [&](const char* key, const QString& v) {
        return WriteIniFileValue(file, QString::fromLatin1(key), v);
    };
    const bool written =
        WriteIniFileSection(file, kGeneral) && value("Version", QStringLiteral("2")) &&
        value("DataFile", DataFile) && value("DisableLogging", BoolText(DisableLogging)) &&
        value("DebugLog", BoolText(DebugLog)) && value("AllowCancel", BoolText(AllowCancel)) &&
        value("LogSilent", BoolText(LogSilent)) && value("LogAllUsers", BoolText(LogAllUsers)) &&
        value("LoggingMachine", LoggingMachine) && value("FileServers", FileServers) &&
        value("AutoUpdateLocation", AutoUpdateLocation) && value("DataPath", DataPath) &&
        value("DisplayAfter", DisplayAfter) && value("UserTimeFrame", UserTimeFrame) &&
        value("UserLimit", UserLimit) && value("UserFromTime", UserFromTime) &&
        value("UserAction", UserAction) && value("UserUntilTime", UserUntilTime) &&
        value("UserPrintUnits", UserPrintUnits) &&
        value("PauseUntilAck", BoolText(PauseUntilAck)) &&
        value("Convert11x17", BoolText(Convert11x17)) &&
        value("SavePrintData", BoolText(SavePrintData)) &&
        value("ObtainPath", BoolText(ObtainPath)) &&
        value("DisplayImmediately", BoolText(DisplayImmediately)) &&
        value("DisplayToUserOnly", BoolText(DisplayToUserOnly)) &&
        value("AutoUpdate", BoolText(AutoUpdate)) && value("SetEmf", BoolText(SetEmf)) &&
        value("SetRaw", BoolText(SetRaw)) &&
        value("DeleteIfCanceled", BoolText(DeleteIfCanceled)) &&
        value("LogDatFilesOnly", BoolText(LogDatFilesOnly)) && PrinterGroups.WriteIniFile(file);
    if (!written) return false;
    if (!file.Commit()) {
        ReportUnexpectedError(
            QStringLiteral("CConfigOptions::WriteIniFile"),
            Platform::LastFileError().diskFull
                ? CError{kErrDiskFull, QStringLiteral("Disk full")}
                : CError{kErrPathFileAccess, QStringLiteral("Path/File access error")});
        return false;
    }
    return true;
}

int CConfigOptions::CategoryCount() const {
    int n = 0;
    for (const auto& g : PrinterGroups) n += g->Categories.Count();
    return n;
}

int CConfigOptions::PreDefinedValueCount() const {
    int n = 0;
    for (const auto& g : PrinterGroups)
        for (const auto& c : g->Categories) n += c->PreDefinedValues.Count();
    return n;
}

qint32 GetConfigFileVersion(const QString& path) {
    QString text;
    {
        CIniHandle handle(path);
        if (handle.Get() == 0) {
            ShowUnableToOpen(path);
            return 0;
        }
        text = GetPPS(kGeneral, QStringLiteral("Version"), path, handle.Get(), false, false);
    }
    if (text == kMissing) return 0;
    qint32 version = 0;
    return CheckNumber(text, {path, 0}, kGeneral, QStringLiteral("Version"),
                       std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(),
                       version)
               ? version
               : 0;
}

QString GetGeneralOption(const QString& path, const QString& key, const QString& section) {
    CIniHandle handle(path);
    if (handle.Get() == 0) {
        ShowUnableToOpen(path);
        return {};
    }
    const QString v =
        GetPPS(section.isEmpty() ? kGeneral : section, key, path, handle.Get(), true, true);
    return v == kMissing ? QString() : v;
}

QString GetConfigFile() {
    const QString v = GetMachineKeyValue(ProductKey(), QStringLiteral("ConfigFile"));
    return v.toUpper() == QLatin1String("(UNKNOWN)") ? QString() : v;
}

QString GetDataPath() {
    QString path;
    if (!FindConfigFile(path, true)) return {};
    CIniHandle handle(path);
    if (handle.Get() == 0) {
        ShowUnableToOpen(path);
        return {};
    }
    const QString v =
        GetPPS(kGeneral, QStringLiteral("DataFile"), path, handle.Get(), false, false);
    return v == kMissing ? QString() : v;
}

QString GetLocalPath() {
    QString base = Platform::IsOldSystem() ? gEnv.m_sSystemDir : Platform::LocalDataFolder();
    base = TrimAtNul(base).trimmed();
    if (base.isEmpty()) base = QStringLiteral("/");
    QString local = AddBackslash(base) + QStringLiteral("Qorvex");
    const QString program = AddBackslash(gEnv.m_sProgramPath);
    gEnv.m_bCorvayneExport = program.contains(QLatin1String("cvedm"), Qt::CaseInsensitive);
    if (gEnv.m_bCorvayneExport) local = program + QStringLiteral("Qorvex");
    if (!Platform::IsDir(local)) Platform::MakePath(local);
    return local;
}

QString DataPathFromOption(const QString& option, const QString& configFile,
                           const QString& localFolder) {
    QString path = option;
    if (path.trimmed().toUpper() == QLatin1String("LOCAL PROFILE")) path = localFolder;
    path = AddBackslash(path);
    if (path.isEmpty() && !configFile.isEmpty()) path = FolderOf(configFile);
    return path;
}

void SetHelpFile() {
    const QString folder = gEnv.m_sProgramPath;
    gEnv.m_sHelpFile = AddBackslash(folder) + QStringLiteral("qorvlog-help.html");
}
