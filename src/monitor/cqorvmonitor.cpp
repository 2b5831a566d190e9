#include "monitor/cqorvmonitor.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "jobs/cprintjobinfo.h"
#include "monitor/jobfilelines.h"
#include "monitor/monitorlog.h"
#include "platform/countedcopy.h"
#include "platform/files.h"
#include "platform/watcher.h"

#include <QDateTime>
#include <QThread>

#include <utility>

using monitor::JobText;
using monitor::Log;
using Platform::CupsJob;
using Platform::CupsJobState;
using Platform::CupsQueue;

CQorvMonitor::CQorvMonitor(Platform::ICupsServer& cups, QStringList printers, QObject* parent)
    : QObject(parent), m_cups(cups), m_printers(std::move(printers)) {
    for (QTimer* t : {&m_pullTimer, &m_save, &m_incomingTimer}) t->setSingleShot(true);
    connect(&m_incomingTimer, &QTimer::timeout, this, &CQorvMonitor::LookAtIncoming);
    connect(&m_pullTimer, &QTimer::timeout, this, &CQorvMonitor::Pull);
    connect(&m_renewTimer, &QTimer::timeout, this, [this] {
        for (int* sub : {&m_pullSub, &m_wakeSub})
            if (*sub && !m_cups.Renew(*sub, kLeaseSeconds)) *sub = 0;
        if (!m_pullSub) Pull(); // subscribes again and sweeps
    });
    connect(&m_reminder, &QTimer::timeout, this, &CQorvMonitor::Remind);
    connect(&m_save, &QTimer::timeout, this, &CQorvMonitor::SaveState);
    m_counters.setMaxThreadCount(std::max(4, QThread::idealThreadCount()));
}

CQorvMonitor::~CQorvMonitor() {
    // A count ends within its time limit; none may report to a monitor that is gone.
    m_counters.clear();
    m_counters.waitForDone();
    if (m_save.isActive()) SaveState();
}

bool CQorvMonitor::LoadConfiguration(bool layOut) {
    const QString config = ResolvePath(GetConfigFile());
    if (config.isEmpty() || !Platform::IsFile(config)) {
        Log(QStringLiteral("E"), QStringLiteral("Configuration file was not found: ") + config);
        return false;
    }
    auto options = std::make_shared<CConfigOptions>();
    if (!options->ReadIniFile(config)) return false;
    gConfigOptions = options;
    m_configFile = config;
    m_configMtime = Platform::ModifiedNs(config);
    gEnv.m_sOrigConfigFile = config;
    gEnv.m_bDebugLog = options->DebugLog;
    gEnv.m_sDataPath = ResolvePath(DataPathFromOption(
        GetGeneralOption(config, QStringLiteral("DataPath")), config, gEnv.m_sLocalUserPath));
    gEnv.m_sMachinePath = gEnv.m_sDataPath + QStringLiteral("Machines/") + m_server;
    if (layOut) {
        LayOut();
    } else {
        m_usersDir = Platform::Folder::Open(gEnv.m_sDataPath + QStringLiteral("users"));
        m_machineDir = Platform::Folder::Open(gEnv.m_sMachinePath);
    }
    return true;
}

void CQorvMonitor::LayOut() {
    // Nobody lists users/ or reads another's folder; each user's folder is the user's and the
    // monitor's group's; in the machine folder anyone may leave a ".pas", and (sticky) no one
    // may replace or remove another's.
    const int self = int(m_self.uid), group = int(m_self.gid);
    const Platform::FolderLayout users{self, group, 0711}, machines{self, group, 0755},
        machine{self, group, 01733};
    const Platform::Folder data = Platform::Folder::Open(gEnv.m_sDataPath);
    auto fail = [](const QString& what) {
        Log(QStringLiteral("E"), QStringLiteral("Unable to lay out ") + what +
                                     QStringLiteral(": ") + Platform::LastFileError().text);
    };
    if (!data.IsOpen()) return fail(gEnv.m_sDataPath);
    m_usersDir = data.Child(QStringLiteral("users"), &users);
    if (!m_usersDir.IsOpen()) fail(gEnv.m_sDataPath + QStringLiteral("users"));
    m_machineDir = data.Child(QStringLiteral("Machines"), &machines).Child(m_server, &machine);
    if (!m_machineDir.IsOpen()) fail(gEnv.m_sMachinePath);
    // Made before any user can take its name in the machine folder.
    else if (!BilledDir().IsOpen())
        fail(gEnv.m_sMachinePath + QStringLiteral("/billed"));
    for (const QString& user : m_usersDir.Folders()) {
        CTrackedJob t;
        t.user = user;
        Platform::Account account;
        if (UsableFolderName(user) && Platform::FindAccount(user, &account)) {
            t.uid = account.uid;
            if (!UserDir(t).IsOpen()) fail(m_usersDir.Path() + QLatin1Char('/') + user);
        }
    }
}

Platform::Folder CQorvMonitor::UserDir(const CTrackedJob& t) const {
    const Platform::FolderLayout own{int(t.uid), int(m_self.gid), 02770};
    return m_usersDir.Child(t.user, &own);
}

void CQorvMonitor::ReloadIfChanged() {
    if (Platform::ModifiedNs(m_configFile) == m_configMtime) return;
    m_configMtime = Platform::ModifiedNs(m_configFile);
    if (!LoadConfiguration()) {
        Log(QStringLiteral("E"), QStringLiteral("Configuration not usable, the last one stays"));
        return;
    }
    ApplyHoldDefaults();
}

bool CQorvMonitor::Monitored(const QString& queue) const {
    const QString own = IsCompanion(queue) ? queue.chopped(Companion({}).size()) : queue;
    return m_printers.isEmpty() || m_printers.contains(own, Qt::CaseInsensitive);
}

QString CQorvMonitor::UserFolder(const QString& user) const {
    return gEnv.m_sDataPath + QStringLiteral("users/") + user;
}

bool CQorvMonitor::PauseQueue(const CupsQueue& q) const {
    CPrintJobInfo probe;
    probe.PrtDriverName = q.makeAndModel;
    const auto group = probe.PrinterGroup();
    return group && group->PauseUntilAck;
}

void CQorvMonitor::RefreshQueues() {
    QList<CupsQueue> queues;
    if (!m_cups.Queues(&queues)) return;
    m_queues.clear();
    for (const CupsQueue& q : queues) m_queues.insert(q.name.toLower(), q);
}

void CQorvMonitor::ApplyHoldDefaults() {
    // Jobs of a queue whose group waits for an acknowledgement are held by the scheduler as
    // they are created, so that none starts printing before the monitor has seen it.
    for (CupsQueue& q : m_queues) {
        if (!Monitored(q.name) || IsCompanion(q.name)) continue;
        const bool pause = PauseQueue(q);
        const bool indefinite = q.holdDefault == QLatin1String("indefinite");
        if (pause == indefinite) continue;
        const QString value = pause ? QStringLiteral("indefinite") : QStringLiteral("no-hold");
        if (m_cups.SetHoldDefault(q.name, value)) {
            q.holdDefault = value;
            Log(QStringLiteral("I"), QStringLiteral("Queue ") + q.name +
                                         QStringLiteral(": job-hold-until-default ") + value);
        } else {
            Log(QStringLiteral("E"),
                QStringLiteral("Queue ") + q.name + QStringLiteral(": ") + m_cups.LastError());
        }
    }
}

bool CQorvMonitor::Prepare(bool layOut) {
    gEnv.m_sExeName = QStringLiteral("qorvmond");
    m_self = Platform::ProcessAccount();
    gEnv.m_sMachineName = ThisComputerName();
    m_server = gEnv.m_sMachineName;
    gEnv.m_sLocalUserPath = AddBackslash(GetLocalPath());
    return LoadConfiguration(layOut);
}

bool CQorvMonitor::Start() {
    if (!Prepare(true)) return false;
    LoadState(m_self.uid);
    if (QString why; !Platform::PrepareCountedCopies(&why))
        Log(QStringLiteral("E"), QStringLiteral("PostScript on the queues that wait for answers "
                                                "cannot be printed as counted, and stays held: ") +
                                     why);
    m_machine = std::make_unique<Platform::FolderWatch>();
    if (m_machine->Create(gEnv.m_sMachinePath))
        connect(m_machine.get(), &Platform::FolderWatch::Changed, this,
                &CQorvMonitor::MachineChanged);
    else
        Log(QStringLiteral("E"), QStringLiteral("Unable to watch ") + gEnv.m_sMachinePath);
    if (!Subscribe()) {
        Log(QStringLiteral("E"),
            QStringLiteral("The print scheduler cannot be reached: ") + m_cups.LastError());
        return false;
    }
    RefreshQueues();
    ApplyHoldDefaults();
    SecureQueues();
    CheckPolicy();
    Sweep();
    m_renewTimer.start(kLeaseSeconds * 1000 / 2);
    m_reminder.start(kReminderMs);
    if (!m_pullTimer.isActive()) m_pullTimer.start(60000);
    Log(QStringLiteral("I"), QStringLiteral("Started for ") + gEnv.m_sDataPath);
    return true;
}

void CQorvMonitor::Remind() {
    // A held job nobody answers stays held, and is named here once an hour.
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const CTrackedJob& t : std::as_const(m_jobs))
        if (t.held && !t.done && now - t.created >= kReminderMs / 1000)
            Log(QStringLiteral("I"),
                JobText(t) +
                    QStringLiteral(" held for %1 min, not answered").arg((now - t.created) / 60));
    for (auto it = m_refused.cbegin(); it != m_refused.cend(); ++it)
        Log(QStringLiteral("I"), QStringLiteral("Job %1 on %2 refused for %3 min: %4")
                                     .arg(it.key())
                                     .arg(it->queue)
                                     .arg((now - it->created) / 60)
                                     .arg(it->reason));
    ReloadIfChanged();
    if (!m_policyProblem.isEmpty()) CheckPolicy(); // until it is put right
    Sweep();
}

QStringList CQorvMonitor::Status() {
    QStringList lines;
    if (!Prepare(false)) return {};
    // The state is the running monitor's: the account that owns the machine folder it laid out.
    const QString unread =
        m_machineDir.IsOpen() ? LoadState(m_machineDir.Owner()) : Platform::LastFileError().text;
    if (!unread.isEmpty())
        lines << QStringLiteral("Unable to read the monitor's state in ") + gEnv.m_sMachinePath +
                     QStringLiteral(": ") + unread;
    QList<CupsJob> jobs;
    if (!m_cups.Jobs(&jobs)) {
        lines << QStringLiteral("The print scheduler cannot be reached: ") + m_cups.LastError();
        return lines;
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const CupsJob& j : std::as_const(jobs)) {
        const auto t = m_jobs.constFind(j.id);
        const auto refused = m_refused.constFind(j.id);
        Platform::Account account;
        const QString refusal = refused != m_refused.cend() && refused->created == j.created
                                    ? refused->reason
                                : t == m_jobs.cend() && Monitored(j.queue) ? Refusal(j, &account)
                                                                           : QString();
        if (!refusal.isEmpty()) {
            lines << QStringLiteral("%1-%2 refused %3 min: %4")
                         .arg(j.queue)
                         .arg(j.id)
                         .arg((now - j.created) / 60)
                         .arg(refusal);
            continue;
        }
        // Its documents still coming or being counted: no job file yet.
        if (t == m_jobs.cend() && Monitored(j.queue) && j.state == CupsJobState::Held)
            lines << QStringLiteral("%1-%2 %3 held %4 min, not taken up yet")
                         .arg(j.queue)
                         .arg(j.id)
                         .arg(JobFileValue(j.user).left(80))
                         .arg((now - j.created) / 60);
        if (t == m_jobs.cend() || !t->held || t->done) continue;
        lines << QStringLiteral("%1-%2 %3 held %4 min")
                         .arg(j.queue)
                         .arg(j.id)
                         .arg(t->user)
                         .arg((now - j.created) / 60) +
                     (t->unmoved.isEmpty() ? QString()
                                           : QStringLiteral(", not moved to ") + t->unmoved);
    }
    if (lines.isEmpty()) lines << QStringLiteral("No held jobs");
    for (auto it = m_unreleased.cbegin(); it != m_unreleased.cend(); ++it)
        lines << QStringLiteral("%1-%2 %3 PRINTED WITHOUT RELEASE %4 min ago")
                     .arg(it->queue)
                     .arg(it.key())
                     .arg(it->user)
                     .arg((now - it->seen) / 60);
    return lines;
}
