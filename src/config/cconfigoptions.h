#pragma once
// The general options of the configuration file and the stand-alone configuration lookups.
#include "config/cprintergroup.h"

#include <memory>

class CConfigOptions {
public:
    qint32 Version = 0;
    QString DataFile;
    bool DisableLogging = false;
    bool LogSilent = false;
    bool AllowCancel = false;
    bool LogAllUsers = false;
    QString LoggingMachine;
    QString FileServers;
    QString AutoUpdateLocation;
    QString DataPath;
    QString DisplayAfter;
    QString UserTimeFrame;
    QString UserPrintUnits;
    QString UserLimit;
    QString UserFromTime;
    QString UserUntilTime;
    QString UserAction;
    CPrinterGroups PrinterGroups;
    bool PauseUntilAck = false;
    bool Convert11x17 = false;
    bool SavePrintData = false;
    bool ObtainPath = false;
    bool DisplayImmediately = false;
    bool DisplayToUserOnly = false;
    bool AutoUpdate = false;
    bool SetEmf = false;
    bool SetRaw = false;
    bool DeleteIfCanceled = false;
    bool LogDatFilesOnly = false;
    bool DebugLog = false;
    bool SIMMonitor = false;

    void Equals(const CConfigOptions& other);
    bool ReadIniFile(const QString& path);
    bool WriteIniFile(const QString& path) const;

    // Totals over the groups, for summaries.
    int CategoryCount() const;
    int PreDefinedValueCount() const;
};

// The one options object of the process, replaced as a whole at every reload.
extern std::shared_ptr<CConfigOptions> gConfigOptions;

qint32 GetConfigFileVersion(const QString& path);
QString GetGeneralOption(const QString& path, const QString& key, const QString& section = {});
QString GetConfigFile();
QString GetDataPath();
QString GetLocalPath();
// The data folder a DataPath option names, with a trailing separator, not yet resolved:
// "local profile" (any case, blanks around it) is localFolder, an empty value the folder of
// configFile.
QString DataPathFromOption(const QString& option, const QString& configFile,
                           const QString& localFolder);
void SetHelpFile();
