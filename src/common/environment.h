#pragma once
// The process-wide settings: paths, names and flags worked out at start-up and read by every
// part of the program. One instance, gEnv.
#include <QString>

struct CEnvironment {
    // Product strings and support contact.
    QString m_sProductName = QStringLiteral("Kestova Sentrel");
    QString m_sCompanyName = QStringLiteral("Velmora Group Inc");
    QString m_sCompanyShortName = QStringLiteral("Velmora Group");
    QString m_sTitle = QStringLiteral("Kestova Sentrel");
    // The application's own title: the job window's caption and messages, and the name its
    // per-user settings (window state, last-used values) are kept under.
    QString m_sAppTitle = QStringLiteral("QorvLog");
    QString m_sSupportPhone = QStringLiteral("+44 20 7946 0321");
    QString m_sSupportWeb = QStringLiteral("www.kestova-sentrel.example");
    QString m_sSupportEmail = QStringLiteral("support@kestova-sentrel.example");
    QString m_sExeName; // executable name, lower case

    // Folders and files.
    QString m_sProgramPath;
    QString m_sSystemDir;
    QString m_sWindowsDir;
    QString m_sOSVersion;
    QString m_sLocalUserPath;
    QString m_sMachineName;
    QString m_sComputerName;
    QString m_sOrigConfigFile;
    QString m_sConfigPath;
    QString m_sconfigfile;
    QString m_sUserName;
    QString m_sDataFile;
    QString m_sDataPath;
    QString m_sUserPathLetter;
    QString m_sUserPath;
    QString m_sMachinePath;
    QString m_sSpoolPath;
    QString m_sSpoolIndex;
    QString m_sLoggingMachine;
    QString m_sIPAddress;
    QString m_sRecentPath;
    QString m_sHelpFile;
    qint32 m_lConfigStamp = 0;

    bool m_bOffline = false;
    bool m_bDataHost = false;
    bool m_bDebugLog = false;
    bool m_bUseErrorHandler = false;
    bool m_bSetupMode = false;
    bool m_bCorvayneExport = false;

    // Copies of general options.
    bool m_bLogAllUsers = false;
    bool m_bObtainPath = false;
    QString m_sDisplayImmediately;
    QString m_sDisplayToUserOnly;
    QString m_sAutoUpdate;
    bool m_bLogDatFilesOnly = false;
    QString m_sFileServers;
    QString m_sAutoUpdateLocation;
    bool m_bSavePrintData = false;
    bool m_bConvert11x17 = false;
    bool m_bPauseUntilAck = false;
    bool m_bDeleteIfCanceled = false;
    qint32 m_lNumPrinterGroups = 0;

    // Comma-separated printer-group name lists.
    QString m_sLoggingOnGroups;
    QString m_sLoggingOffGroups;
    QString m_sPauseGroups;
    QString m_sNoPauseGroups;
    QString m_sRedirectGroups;
    QString m_sPlaceholderRedirectGroups;

    // Support contact line of the unexpected-error report.
    QString SupportContact() const {
        return m_sSupportPhone + QStringLiteral(" or ") + m_sSupportEmail;
    }
};

extern CEnvironment gEnv;
