#include "startup/bprintjobs.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "common/values.h"
#include "config/bconfigfile.h"
#include "config/cconfigoptions.h"
#include "dialog/fprintjobs.h"
#include "jobs/bdataaccess.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/watcher.h"
#include "startup/initenvironment.h"

namespace {
constexpr int kWaitLimit = 120000;
constexpr int kSlice = 100;
constexpr int kPollSleep = 1000;

// Changes are taken when a wait sees them, before the jobs are counted: a job file written
// while the jobs are counted wakes the next wait instead of being dropped by the re-arm.
class CFolderNotification : public IChangeNotification {
public:
    bool Create(const QString& folder) { return m_watch.Create(folder); }
    bool Wait(int ms) override {
        if (!m_watch.Wait(ms)) return false;
        m_watch.Rearm();
        return true;
    }
    void Rearm() override {}

private:
    Platform::FolderWatch m_watch;
};

bool OldSystem() {
    return gEnv.m_sOSVersion.left(3) == QLatin1String("4.1");
}
bool UncUserPath() {
    return Platform::IsNetworkPath(gEnv.m_sUserPathLetter);
}
} // namespace

CLoopHooks CLoopHooks::Real() {
    CLoopHooks h;
    h.notify = [](const QString& folder) -> std::unique_ptr<IChangeNotification> {
        auto n = std::make_unique<CFolderNotification>();
        if (!n->Create(folder)) return nullptr;
        return n;
    };
    h.sleep = [](int ms) { Platform::SleepMs(ms); };
    h.serviceQueue = [] { Platform::ServiceMessageQueue(); };
    h.doPrintJobs = [] {
        FPrintJobs dialog;
        dialog.DoPrintJobs();
    };
    h.startProgram = [](const QString& program) { Platform::StartProgram(program); };
    h.checkLocalJobs = [](const QString& root, const QString& dataFile) {
        CheckLocalJobs(root, dataFile, false);
    };
    return h;
}

void CMonitoringLoop::DataHostImport() {
    if (!gEnv.m_bDataHost) return;
    const bool kept = gEnv.m_bLogDatFilesOnly;
    const bool keptOption = gConfigOptions && gConfigOptions->LogDatFilesOnly;
    gEnv.m_bLogDatFilesOnly = true;
    if (gConfigOptions) gConfigOptions->LogDatFilesOnly = true;
    m_hooks.checkLocalJobs(gEnv.m_sDataPath + QStringLiteral("users/"), gEnv.m_sDataFile);
    gEnv.m_bLogDatFilesOnly = kept;
    if (gConfigOptions) gConfigOptions->LogDatFilesOnly = keptOption;
}

bool CMonitoringLoop::ReadConfiguration() {
    gConfigOptions = std::make_shared<CConfigOptions>();
    return gConfigOptions->ReadIniFile(m_configPath);
}

void CMonitoringLoop::CountAndShow(bool log) {
    int prtCount = CountFiles(gEnv.m_sUserPath + QStringLiteral("/*.prt"));
    if (CountFiles(gEnv.m_sUserPath + QStringLiteral("/*.dat")) >= prtCount) prtCount = 0;
    if (m_displayAfter > prtCount) return;
    if (log) WriteLog(QStringLiteral("I"), QStringLiteral("about to doprintjobs"));
    m_hooks.doPrintJobs();
    if (log) WriteLog(QStringLiteral("I"), QStringLiteral("finished to doprintjobs"));
}

void CMonitoringLoop::WaitForChange(int limit) {
    int elapsed = kSlice;
    bool signalled = false;
    do {
        if (m_notify)
            signalled = m_notify->Wait(kSlice);
        else
            m_hooks.sleep(kSlice); // no handle: the wait runs its full length
        m_hooks.serviceQueue();
        elapsed += kSlice;
    } while (elapsed < limit && !signalled);
}

bool CMonitoringLoop::Start() {
    InitEnvironment();
    m_hooks.startProgram(AddBackslash(gEnv.m_sProgramPath) + QStringLiteral("qorvmond"));
    if (!gEnv.m_sRedirectGroups.isEmpty()) m_hooks.startProgram(QStringLiteral("qorvredr"));
    DataHostImport();
    SetHelpFile();
    m_configPath = gEnv.m_sOrigConfigFile;
    if (!FindConfigFile(m_configPath, false)) {
        const QChar cr = QLatin1Char('\r');
        Platform::Message m;
        m.text = QStringLiteral("Configuration file was not found:") + cr + m_configPath + cr + cr +
                 QStringLiteral("You might need to repair your Sentrel installation.");
        m.title = gEnv.m_sTitle;
        m.icon = Platform::MsgIcon::Critical;
        Platform::ShowMessage(m);
        return false;
    }
    if (!ReadConfiguration()) return false;
    gEnv.m_sComputerName = ThisComputerName();
    WriteLog(QStringLiteral("I"), QStringLiteral("Program started"));
    if (!gEnv.m_bOffline)
        m_hooks.checkLocalJobs(gEnv.m_sLocalUserPath + QStringLiteral("users/"), gEnv.m_sDataFile);
    double after = 0;
    m_displayAfter = ParseNumber(gConfigOptions->DisplayAfter, &after) &&
                             RoundHalfEven(after) >= -32768 && RoundHalfEven(after) <= 32767
                         ? int(RoundHalfEven(after))
                         : 0;
    // Watching starts before the first scan, so that a job written during it is seen.
    m_notify = m_hooks.notify(gEnv.m_sUserPathLetter);
    m_hooks.doPrintJobs();
    WriteTrace(QStringLiteral("m_sUserPathLetter is ") + gEnv.m_sUserPathLetter);
    m_polling = gEnv.m_bOffline;
    if (!OldSystem() && !UncUserPath() && m_notify && !m_polling) WaitForChange(kWaitLimit);
    CountAndShow(false);
    return true;
}

bool CMonitoringLoop::Pass() {
    WriteLog(QStringLiteral("I"), QStringLiteral("monitoring loop"));
    if (FindFile(gEnv.m_sUserPath).isEmpty()) { // the job folder is gone
        gEnv.m_bOffline = true;
        m_polling = true;
    }
    if (FindFile(gEnv.m_sConfigPath).isEmpty() || gEnv.m_bOffline ||
        GetFileStamp(gEnv.m_sconfigfile) != gEnv.m_lConfigStamp) {
        gConfigOptions.reset();
        InitEnvironment();
        if (!ReadConfiguration()) return false;
    }
    WriteTrace(QStringLiteral("about to count files"));
    CountAndShow(true);
    WriteTrace(QStringLiteral("finished count files"));
    WriteTrace(QStringLiteral("about to copy files"));
    Platform::CopyFileKeepTime(gEnv.m_sOrigConfigFile, AddBackslash(gEnv.m_sLocalUserPath) +
                                                           gEnv.m_sExeName +
                                                           QStringLiteral(".ini"));
    DataHostImport();
    if (OldSystem() || UncUserPath() || m_polling) {
        m_hooks.sleep(kPollSleep);
        if (!gEnv.m_bOffline && m_polling) {
            m_notify = m_hooks.notify(gEnv.m_sUserPathLetter);
            if (m_notify) {
                m_polling = false;
                WaitForChange(kWaitLimit);
            }
        }
    } else {
        WriteLog(QStringLiteral("I"), QStringLiteral("beginning change resume"));
        if (m_notify) m_notify->Rearm();
        WaitForChange(kWaitLimit);
    }
    WriteTrace(QStringLiteral("finished monitoring loop"));
    WriteLog(QStringLiteral("I"), QStringLiteral("resuming"));
    return true;
}

int RunMain() {
    const QString local = GetLocalPath();
    switch (Platform::AcquireInstanceLock(QStringLiteral("qorvlog"), local)) {
    case Platform::InstanceLock::Acquired:
        break;
    case Platform::InstanceLock::HeldByAnother:
        return 0; // another instance runs for this user
    case Platform::InstanceLock::Unavailable: {
        Platform::Message m;
        m.text = QStringLiteral("Unable to create the lock file in ") + local +
                 QLatin1Char('.') + QLatin1Char('\r') +
                 QStringLiteral("Contact your system administrator for assistance.");
        m.title = gEnv.m_sTitle;
        Platform::ShowMessage(m);
        return 1;
    }
    }
    CMonitoringLoop loop(CLoopHooks::Real());
    if (!loop.Start()) return 1;
    while (loop.Pass()) {
    }
    return 1;
}
