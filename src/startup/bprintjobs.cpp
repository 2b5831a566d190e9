#include "startup/bprintjobs.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "common/values.h"
#include "config/bconfigfile.h"
#include "config/cconfigoptions.h"
#include "dialog/fprintjobs.h"
#include "intake/cprintjobinfos.h"
#include "jobs/bdataaccess.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/watcher.h"
#include "startup/initenvironment.h"

#include <QCoreApplication>
#include <algorithm>

namespace {
class CFolderNotification : public IChangeNotification {
public:
    // Only job files end a wait: the program writes none, so its own answers (data files,
    // ".shd" lines, their temporary files) never wake it.
    bool Create(const QString& folder) { return m_watch.Create(folder, QStringLiteral("*.prt")); }
    bool TakeChange() override { return m_watch.TakeChange(); }
    void OnChange(std::function<void()> wake) override {
        QObject::connect(&m_watch, &Platform::FolderWatch::Changed, &m_watch, std::move(wake));
    }

private:
    Platform::FolderWatch m_watch;
};

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
    h.doPrintJobs = [] {
        FPrintJobs dialog;
        dialog.DoPrintJobs();
    };
    h.startProgram = [](const QString& program) { Platform::StartProgram(program); };
    h.checkLocalJobs = [](const QString& root, const QString& dataFile,
                          const std::function<bool()>& stop) {
        return !CheckLocalJobs(root, dataFile, false, stop).interrupted;
    };
    return h;
}

CMonitoringLoop::CMonitoringLoop(CLoopHooks hooks, QObject* parent)
    : QObject(parent), m_hooks(std::move(hooks)) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { Woken(); });
}

CMonitoringLoop::~CMonitoringLoop() = default;

void CMonitoringLoop::DataHostImport() {
    if (!gEnv.m_bDataHost) return;
    const bool kept = gEnv.m_bLogDatFilesOnly;
    const bool keptOption = gConfigOptions && gConfigOptions->LogDatFilesOnly;
    gEnv.m_bLogDatFilesOnly = true;
    if (gConfigOptions) gConfigOptions->LogDatFilesOnly = true;
    m_hooks.checkLocalJobs(gEnv.m_sDataPath + QStringLiteral("users/"), gEnv.m_sDataFile, {});
    gEnv.m_bLogDatFilesOnly = kept;
    if (gConfigOptions) gConfigOptions->LogDatFilesOnly = keptOption;
}

void CMonitoringLoop::LocalImport() {
    if (gEnv.m_bOffline) { // gone offline meanwhile: the rest waits for the next start-up
        m_importPending = false;
        return;
    }
    // A job file more than were pending when the import began ends it; the loop answers the
    // job and goes on with the import at its next pass.
    const int pending = ListJobFolder(gEnv.m_sUserPath).Pending();
    qint64 looked = Platform::NowMs();
    const auto newJob = [&] {
        const qint64 now = Platform::NowMs();
        if (now - looked < kImportLookMs) return false;
        looked = now;
        return ListJobFolder(gEnv.m_sUserPath).Pending() > pending;
    };
    m_importPending = !m_hooks.checkLocalJobs(gEnv.m_sLocalUserPath + QStringLiteral("users/"),
                                              gEnv.m_sDataFile, newJob);
}

bool CMonitoringLoop::ReadConfiguration() {
    gConfigOptions = std::make_shared<CConfigOptions>();
    return gConfigOptions->ReadIniFile(m_configPath);
}

bool CMonitoringLoop::ReloadConfiguration() {
    // An administrator copying a new file over the shared one must not stop every client
    // that reloads meanwhile: an unusable file is read again a little later, and only its
    // last reading speaks to the user. A version this program refuses ends it at once.
    Platform::HeldMessages held;
    for (int attempt = 0;; ++attempt) {
        held.Clear();
        gConfigOptions.reset();
        InitEnvironment();
        if (ReadConfiguration()) return true;
        if (gConfigOptions->Version > 2 || attempt == kReloadRetries) break;
        WriteLog(QStringLiteral("E"), QStringLiteral("configuration not usable, reading it again"));
        Platform::Pause(kReloadRetryMs);
    }
    held.Replay();
    return false;
}

void CMonitoringLoop::CopyConfiguration() {
    const QString copy =
        AddBackslash(gEnv.m_sLocalUserPath) + gEnv.m_sExeName + QStringLiteral(".ini");
    // A copy keeps the time of its original: same size and time mean it is in step already,
    // and the shared file is not read over the network at every pass.
    const Platform::FileStamp from = Platform::StampOf(gEnv.m_sOrigConfigFile);
    const Platform::FileStamp to = Platform::StampOf(copy);
    if (from.exists && to.exists && from.size == to.size && from.mtimeNs == to.mtimeNs) return;
    Platform::CopyFileKeepTime(gEnv.m_sOrigConfigFile, copy);
}

void CMonitoringLoop::CountAndShow(bool log) {
    // Job files without their data file: a data file of another kind (the activity export's
    // Job1.dat...) settles nothing.
    if (m_displayAfter > ListJobFolder(gEnv.m_sUserPath).Pending()) {
        m_retryAt = -1; // not scanned: a job put off waits for the next scan that is made
        return;
    }
    if (log) WriteLog(QStringLiteral("I"), QStringLiteral("about to doprintjobs"));
    ShowJobs();
    if (log) WriteLog(QStringLiteral("I"), QStringLiteral("finished to doprintjobs"));
}

void CMonitoringLoop::ShowJobs() {
    m_hooks.doPrintJobs();
    m_retryAt = JobRetryAt();
}

void CMonitoringLoop::Arm(WaitKind kind, int ms) {
    m_wait = kind;
    m_waitMs = ms;
    // A change seen since the last wait (during the pass, or while the dialog was open) ends
    // this one at once: nothing written meanwhile waits for the limit.
    if (kind != WaitKind::Poll && m_notify && m_notify->TakeChange()) m_waitMs = 0;
    if (m_importPending) m_waitMs = 0; // the import goes on at once
    if (m_retryAt >= 0)                // a job put off by the scan is looked at again in time
        m_waitMs = int(std::clamp<qint64>(m_retryAt - Platform::NowMs(), 0, m_waitMs));
    m_timer.start(m_waitMs);
}

void CMonitoringLoop::Disarm() {
    m_timer.stop();
    m_wait = WaitKind::None;
    m_waitMs = 0;
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
    LocalImport();
    qint32 after = 0; // a text that is no 16-bit number fails and counts as 0
    ToWholeNumber(gConfigOptions->DisplayAfter, -32768, 32767, &after);
    m_displayAfter = after;
    // Watching starts before the first scan, so that a job written during it is seen.
    m_notify = m_hooks.notify(gEnv.m_sUserPathLetter);
    if (m_notify) m_notify->OnChange([this] { ChangeSeen(); });
    ShowJobs();
    WriteTrace(QStringLiteral("m_sUserPathLetter is ") + gEnv.m_sUserPathLetter);
    m_polling = gEnv.m_bOffline;
    if (!Platform::IsOldSystem() && !UncUserPath() && m_notify && !m_polling)
        Arm(WaitKind::Startup, kWaitLimitMs);
    else
        Arm(WaitKind::Startup, 0);
    return true;
}

bool CMonitoringLoop::Pass() {
    Disarm();
    WriteLog(QStringLiteral("I"), QStringLiteral("monitoring loop"));
    if (FindFile(gEnv.m_sUserPath).isEmpty()) { // the job folder is gone
        gEnv.m_bOffline = true;
        m_polling = true;
    }
    if (FindFile(gEnv.m_sConfigPath).isEmpty() || gEnv.m_bOffline ||
        GetFileStamp(gEnv.m_sconfigfile) != gEnv.m_lConfigStamp) {
        if (!ReloadConfiguration()) return false;
    }
    WriteTrace(QStringLiteral("about to count files"));
    CountAndShow(true);
    if (m_importPending) LocalImport();
    WriteTrace(QStringLiteral("finished count files"));
    WriteTrace(QStringLiteral("about to copy files"));
    CopyConfiguration();
    DataHostImport();
    if (Platform::IsOldSystem() || UncUserPath() || m_polling) {
        Arm(WaitKind::Poll, kPollMs);
    } else {
        WriteLog(QStringLiteral("I"), QStringLiteral("beginning change resume"));
        // Without a handle the wait runs to its limit.
        Arm(WaitKind::Change, kWaitLimitMs);
    }
    return true;
}

bool CMonitoringLoop::Wake() {
    const WaitKind ended = m_wait;
    Disarm();
    switch (ended) {
    case WaitKind::None:
        return true;
    case WaitKind::Startup:
        CountAndShow(false);
        return Pass();
    case WaitKind::Poll:
        if (!gEnv.m_bOffline && m_polling) {
            m_notify = m_hooks.notify(gEnv.m_sUserPathLetter);
            if (m_notify) {
                m_notify->OnChange([this] { ChangeSeen(); });
                // The watch is in place: the next pass counts what arrived before it.
                m_polling = false;
            }
        }
        break;
    case WaitKind::Change:
        break;
    }
    WriteTrace(QStringLiteral("finished monitoring loop"));
    WriteLog(QStringLiteral("I"), QStringLiteral("resuming"));
    return Pass();
}

void CMonitoringLoop::Woken() {
    if (m_wait == WaitKind::None) return;
    if (!Wake()) Q_EMIT Finished(1);
}

void CMonitoringLoop::ChangeSeen() {
    // A change during a pass (the dialog runs inside one) is kept for the next wait; polling
    // sleeps its second whatever happens.
    if (m_wait == WaitKind::Startup || m_wait == WaitKind::Change) Woken();
}

void CMonitoringLoop::Run() {
    if (!Start()) Q_EMIT Finished(1);
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
        m.text = QStringLiteral("Unable to create the lock file in ") + local + QLatin1Char('.') +
                 QLatin1Char('\r') +
                 QStringLiteral("Contact your system administrator for assistance.");
        m.title = gEnv.m_sTitle;
        Platform::ShowMessage(m);
        return 1;
    }
    }
    CMonitoringLoop loop(CLoopHooks::Real());
    QObject::connect(&loop, &CMonitoringLoop::Finished, qApp, &QCoreApplication::exit,
                     Qt::QueuedConnection);
    QTimer::singleShot(0, &loop, &CMonitoringLoop::Run);
    return QCoreApplication::exec();
}
