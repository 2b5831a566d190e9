#include "monitor/cqorvmonitor.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "jobs/cprintjobinfo.h"
#include "monitor/jobfilelines.h"
#include "platform/files.h"
#include "platform/lines.h"
#include "platform/watcher.h"

#include <QDateTime>

#include <cstdio>
#include <utility>

using Platform::CupsJob;
using Platform::CupsJobState;
using Platform::CupsQueue;

namespace {
const QStringList kEvents{QStringLiteral("job-created"), QStringLiteral("job-state-changed"),
                          QStringLiteral("printer-added"), QStringLiteral("printer-modified")};
const QString kFeed = QStringLiteral("rss:///qorvmond.rss?max_events=1");

// What an administrator must see goes to the log file and to standard error (the journal).
void Log(const QString& level, const QString& text) {
    WriteLog(level, text, true);
    const QByteArray line = "qorvmond: " + text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

QString JobText(const CQorvMonitor::CTrackedJob& t) {
    return QStringLiteral("job %1 on %2 for %3").arg(t.id).arg(t.queue, t.user);
}
} // namespace

CQorvMonitor::CQorvMonitor(Platform::ICupsServer& cups, QStringList printers, QObject* parent)
    : QObject(parent), m_cups(cups), m_printers(std::move(printers)) {
    for (QTimer* t : {&m_pullTimer, &m_save, &m_incomingTimer}) t->setSingleShot(true);
    connect(&m_incomingTimer, &QTimer::timeout, this, &CQorvMonitor::LookAtIncoming);
    connect(&m_pullTimer, &QTimer::timeout, this, [this] {
        WatchFeed();
        Pull();
    });
    connect(&m_renewTimer, &QTimer::timeout, this, [this] {
        for (int* sub : {&m_pullSub, &m_feedSub})
            if (*sub && !m_cups.Renew(*sub, kLeaseSeconds)) *sub = 0;
        if (!m_pullSub) Pull(); // subscribes again and sweeps
    });
    connect(&m_reminder, &QTimer::timeout, this, &CQorvMonitor::Remind);
    connect(&m_save, &QTimer::timeout, this, &CQorvMonitor::SaveState);
}

CQorvMonitor::~CQorvMonitor() {
    if (m_save.isActive()) SaveState();
}

bool CQorvMonitor::LoadConfiguration() {
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
    LayOut();
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

QString CQorvMonitor::StateFile() const {
    return QStringLiteral("qorvmond.state");
}

void CQorvMonitor::LoadState() {
    m_jobs.clear();
    QByteArray bytes;
    uint owner = 0;
    if (!m_machineDir.Read(StateFile(), -1, &bytes, &owner) || owner != m_self.uid) return;
    for (const QString& line : QString::fromUtf8(bytes).split(QStringLiteral("\r\n"))) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() != 9) continue;
        CTrackedJob t;
        t.id = f[0].toInt();
        t.user = f[1];
        t.base = f[2];
        t.queue = f[3];
        t.created = f[4].toLongLong();
        t.held = f[5] == QLatin1String("1");
        t.settled = f[6] == QLatin1String("1");
        t.done = f[7] == QLatin1String("1");
        t.billing = f[8];
        Platform::Account account;
        if (t.id <= 0 || !UsableFolderName(t.user) || !Platform::FindAccount(t.user, &account))
            continue;
        t.uid = account.uid;
        m_jobs.insert(t.id, t);
    }
}

void CQorvMonitor::SaveStateSoon() {
    // Once per turn of the event loop: a burst of jobs is one write.
    if (!m_save.isActive()) m_save.start(0);
}

void CQorvMonitor::SaveState() {
    m_save.stop();
    QStringList lines;
    QSet<QString> waiting;
    for (const CTrackedJob& t : std::as_const(m_jobs)) {
        lines << QStringList{QString::number(t.id),
                             t.user,
                             t.base,
                             t.queue,
                             QString::number(t.created),
                             t.held ? QStringLiteral("1") : QStringLiteral("0"),
                             t.settled ? QStringLiteral("1") : QStringLiteral("0"),
                             t.done ? QStringLiteral("1") : QStringLiteral("0"),
                             t.billing}
                     .join(QLatin1Char('\t'));
        if (!t.done) waiting.insert(t.user);
    }
    if (!m_machineDir.Save(StateFile(), Platform::EncodeLines(lines), 0600))
        Log(QStringLiteral("E"), QStringLiteral("Unable to save ") + gEnv.m_sMachinePath +
                                     QLatin1Char('/') + StateFile() + QStringLiteral(": ") +
                                     Platform::LastFileError().text);
    for (auto it = m_users.begin(); it != m_users.end();)
        it = waiting.contains(it.key()) ? std::next(it) : m_users.erase(it);
}

bool CQorvMonitor::Subscribe() {
    m_cups.CancelSubscriptions(kTag, kFeed);
    m_sequence = 1;
    m_pullSub = m_cups.Subscribe(kEvents, QString(), kLeaseSeconds, kTag);
    if (!m_pullSub) return false;
    // The scheduler's rss notifier rewrites its feed at every event: watching the feed's
    // folder wakes the monitor at once, and the events themselves are pulled.
    m_feedSub = Platform::CupsFeedFolder().isEmpty()
                    ? 0
                    : m_cups.Subscribe(kEvents, kFeed, kLeaseSeconds, kTag);
    WatchFeed();
    return true;
}

void CQorvMonitor::WatchFeed() {
    const QString folder = Platform::CupsFeedFolder();
    if (folder.isEmpty() || !m_feedSub || m_feed) return;
    auto watch = std::make_unique<Platform::FolderWatch>();
    // The notifier makes its folder when it starts: until then the timer looks again.
    if (!watch->Create(folder)) {
        QTimer::singleShot(100, this, &CQorvMonitor::WatchFeed);
        return;
    }
    connect(watch.get(), &Platform::FolderWatch::Changed, this, &CQorvMonitor::Pull);
    m_feed = std::move(watch);
    Pull(); // what happened before the watch was in place
}

bool CQorvMonitor::Monitored(const QString& queue) const {
    return m_printers.isEmpty() || m_printers.contains(queue, Qt::CaseInsensitive);
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
        if (!Monitored(q.name)) continue;
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

bool CQorvMonitor::Prepare() {
    gEnv.m_sExeName = QStringLiteral("qorvmond");
    m_self = Platform::ProcessAccount();
    gEnv.m_sMachineName = ThisComputerName();
    m_server = gEnv.m_sMachineName;
    gEnv.m_sLocalUserPath = AddBackslash(GetLocalPath());
    if (!LoadConfiguration()) return false;
    LoadState();
    return true;
}

bool CQorvMonitor::Start() {
    if (!Prepare()) return false;
    m_machine = std::make_unique<Platform::FolderWatch>();
    if (m_machine->Create(gEnv.m_sMachinePath))
        connect(m_machine.get(), &Platform::FolderWatch::Changed, this, [this] {
            for (CTrackedJob& t : m_jobs)
                if (t.held && !t.done) CheckAnswers(t);
        });
    else
        Log(QStringLiteral("E"), QStringLiteral("Unable to watch ") + gEnv.m_sMachinePath);
    if (!Subscribe()) {
        Log(QStringLiteral("E"),
            QStringLiteral("The print scheduler cannot be reached: ") + m_cups.LastError());
        return false;
    }
    RefreshQueues();
    ApplyHoldDefaults();
    Sweep();
    m_renewTimer.start(kLeaseSeconds * 1000 / 2);
    m_reminder.start(kReminderMs);
    if (!m_pullTimer.isActive()) m_pullTimer.start(60000);
    Log(QStringLiteral("I"), QStringLiteral("Started for ") + gEnv.m_sDataPath);
    return true;
}

void CQorvMonitor::Pull() {
    bool lost = !m_pullSub;
    if (!m_pullSub && !Subscribe()) {
        if (m_reachable)
            Log(QStringLiteral("E"),
                QStringLiteral("The print scheduler cannot be reached: ") + m_cups.LastError());
        m_reachable = false;
        m_pullTimer.start(60000);
        return;
    }
    QList<Platform::CupsEvent> events;
    int interval = 60;
    switch (m_cups.Notifications(m_pullSub, &m_sequence, &events, &interval)) {
    case Platform::ICupsServer::Pull::Failed:
        if (m_reachable)
            Log(QStringLiteral("E"),
                QStringLiteral("The print scheduler cannot be reached: ") + m_cups.LastError());
        m_reachable = false;
        m_pullSub = m_feedSub = 0;
        m_feed.reset();
        m_pullTimer.start(60000);
        return;
    case Platform::ICupsServer::Pull::Lost:
        lost = true;
        if (events.isEmpty()) { // the subscription is gone
            m_pullSub = 0;
            Subscribe();
        }
        break;
    case Platform::ICupsServer::Pull::Ok:
        break;
    }
    if (!m_reachable) {
        Log(QStringLiteral("I"), QStringLiteral("The print scheduler is reachable again"));
        lost = true;
    }
    m_reachable = true;
    ReloadIfChanged();
    QMap<int, bool> jobs; // job number -> created in this batch
    bool queues = false;
    for (const Platform::CupsEvent& e : std::as_const(events)) {
        if (e.event.startsWith(QLatin1String("printer-")))
            queues = true;
        else if (e.jobId > 0)
            jobs[e.jobId] = jobs.value(e.jobId) || e.event == QLatin1String("job-created");
    }
    if (queues) {
        RefreshQueues();
        ApplyHoldDefaults();
    }
    for (auto it = jobs.cbegin(); it != jobs.cend(); ++it) {
        CupsJob job;
        if (m_cups.Job(it.key(), &job)) Consider(job, it.value());
    }
    if (lost) Sweep();
    m_pullTimer.start(std::clamp(interval, 1, 60) * 1000);
}

void CQorvMonitor::Sweep() {
    QList<CupsJob> jobs;
    if (!m_cups.Jobs(&jobs)) {
        Log(QStringLiteral("E"), QStringLiteral("Get-Jobs: ") + m_cups.LastError());
        return;
    }
    if (m_queues.isEmpty()) RefreshQueues();
    QSet<int> live;
    for (const CupsJob& j : std::as_const(jobs)) live.insert(j.id);
    for (int id : m_jobs.keys())
        if (!live.contains(id)) Forget(id);
    m_refused.removeIf([&](auto it) { return !live.contains(it.key()); });
    for (const CupsJob& j : std::as_const(jobs)) Consider(j, false);
}

void CQorvMonitor::Consider(const CupsJob& job, bool created) {
    if (!Monitored(job.queue)) return;
    const auto it = m_jobs.find(job.id);
    if (it != m_jobs.end()) {
        // Left the scheduler by other means (printed, cancelled, deleted): its files stay
        // for the import.
        if (job.Finished())
            Forget(job.id);
        else
            CheckAnswers(*it);
        return;
    }
    // A job that printed before the monitor asked about it is still logged.
    if (job.Finished() && !(created && job.state == CupsJobState::Completed)) {
        m_refused.remove(job.id);
        return;
    }
    if (job.Incoming()) return WaitForDocument(job.id);
    m_incoming.remove(job.id);
    TakeUp(job);
}

void CQorvMonitor::WaitForDocument(int id) {
    // A held job's document may arrive after the job was created (Create-Job, then
    // Send-Document), and the scheduler sends no event when it has: look again.
    if (m_incoming.contains(id)) return;
    m_incoming.insert(id);
    m_incomingMs = kFirstLookMs;
    m_incomingTimer.start(m_incomingMs);
}

void CQorvMonitor::LookAtIncoming() {
    const QSet<int> waiting = std::exchange(m_incoming, {});
    for (int id : waiting) {
        CupsJob job;
        if (!m_cups.Job(id, &job) || job.Finished()) continue;
        if (job.Incoming())
            m_incoming.insert(id);
        else
            Consider(job, true);
    }
    m_incomingMs = std::min(m_incomingMs * 2, kLastLookMs);
    if (!m_incoming.isEmpty()) m_incomingTimer.start(m_incomingMs);
}

QString CQorvMonitor::Refusal(const CupsJob& job, Platform::Account* account) const {
    const QString name = QLatin1Char('"') + JobFileValue(job.user).left(80) + QLatin1Char('"');
    if (!UsableFolderName(job.user))
        return QStringLiteral("the user name %1 cannot name a folder of its own").arg(name);
    // lp -U gives any name: only an account of this server gets a folder.
    if (!Platform::FindAccount(job.user, account))
        return QStringLiteral("the user name %1 is not an account of this server").arg(name);
    const Platform::EntryKind kind = Platform::KindOf(UserFolder(job.user));
    if (kind != Platform::EntryKind::Folder && kind != Platform::EntryKind::Missing)
        return QStringLiteral("the folder of %1 is not a folder").arg(name);
    return {};
}

void CQorvMonitor::Refuse(const CupsJob& job, const QString& reason) {
    const auto it = m_refused.constFind(job.id);
    if (it == m_refused.cend() || it->reason != reason)
        Log(QStringLiteral("E"), QStringLiteral("Job %1 refused: %2").arg(job.id).arg(reason));
    m_refused.insert(job.id, {job.queue, job.user, job.created, reason});
}

void CQorvMonitor::TakeUp(const CupsJob& job) {
    if (!m_queues.contains(job.queue.toLower())) RefreshQueues();
    const CupsQueue queue = m_queues.value(job.queue.toLower());
    Platform::Account account;
    const QString refusal = Refusal(job, &account);
    if (!refusal.isEmpty()) return Refuse(job, refusal);
    CTrackedJob t;
    t.id = job.id;
    t.user = job.user;
    t.uid = account.uid;
    t.queue = job.queue;
    t.created = job.created;
    t.base = JobBaseName(m_server, job.id, job.created);
    // Opened before anything takes time: the job file goes into this folder, whatever its
    // name points to by then.
    const Platform::Folder folder = UserDir(t);
    if (!folder.IsOpen())
        return Refuse(job, QStringLiteral("its folder %1 cannot be used: %2")
                               .arg(UserFolder(job.user), Platform::LastFileError().text));
    m_refused.remove(job.id);
    if (PauseQueue(queue) && !job.Finished()) {
        t.held = job.state == CupsJobState::Held || m_cups.Hold(job.id);
        if (!t.held)
            Log(QStringLiteral("E"),
                JobText(t) + QStringLiteral(" could not be held: ") + m_cups.LastError());
    }
    CJobFacts facts{m_server, job.impressions, job.kOctets * 1024};
    if (facts.pages <= 0) {
        const QByteArray document = m_cups.Document(job.id, kMaxDocumentBytes);
        facts.pages = Platform::CountPages(document);
        if (!document.isEmpty()) facts.bytes = document.size();
    }
    if (facts.pages <= 0) facts.pages = 1;
    const QString name = t.base + QStringLiteral(".prt");
    // The user's own to read; the monitor's group reads it too.
    if (!folder.Save(name, Platform::EncodeLines(JobFileLines(job, queue, facts)), 0640,
                     int(t.uid))) {
        // A held job stays held; the next sweep writes it again.
        Log(QStringLiteral("E"), QStringLiteral("Unable to write ") + folder.Path() +
                                     QLatin1Char('/') + name + QStringLiteral(": ") +
                                     Platform::LastFileError().text);
        return;
    }
    t.done = job.Finished();
    CTrackedJob& kept = *m_jobs.insert(t.id, t);
    SaveStateSoon();
    if (kept.done) return;
    Watch(kept.user);
    CheckAnswers(kept);
}

bool CQorvMonitor::ReadAnswer(const Platform::Folder& dir, const QString& name,
                              const CTrackedJob& t, QStringList* lines) {
    lines->clear();
    QByteArray bytes;
    uint owner = 0;
    if (!dir.Read(name, 1 << 20, &bytes, &owner)) return false;
    // Only the job's user (or root, or the monitor itself) answers for the job.
    if (owner != t.uid && owner != 0 && owner != m_self.uid) {
        const QString key = QString::number(t.id) + QLatin1Char('/') + name;
        if (!m_foreign.contains(key))
            Log(QStringLiteral("E"),
                JobText(t) + QStringLiteral(": ") + dir.Path() + QLatin1Char('/') + name +
                    QStringLiteral(" ignored: it belongs to uid %1, not to ").arg(owner) + t.user);
        m_foreign.insert(key);
        return false;
    }
    Platform::ForEachLine(QStringView(Platform::DecodeText(bytes)), [&](QStringView line) {
        *lines << line.toString();
        return true;
    });
    return true;
}

void CQorvMonitor::Watch(const QString& user) {
    if (m_users.contains(user)) return;
    auto watch = std::make_shared<Platform::FolderWatch>();
    if (!watch->Create(UserFolder(user))) {
        Log(QStringLiteral("E"), QStringLiteral("Unable to watch ") + UserFolder(user));
        return;
    }
    connect(watch.get(), &Platform::FolderWatch::Changed, this, [this, user] {
        for (CTrackedJob& t : m_jobs)
            if (!t.done && t.user == user) CheckAnswers(t);
    });
    m_users.insert(user, watch);
}

void CQorvMonitor::ReadDataAnswer(CTrackedJob& t) {
    QStringList lines;
    if (!ReadAnswer(m_usersDir.Child(t.user), t.base + QStringLiteral(".dat"), t, &lines)) return;
    t.billing = BillingText(lines);
    t.settled = true;
    SaveStateSoon();
}

void CQorvMonitor::CheckAnswers(CTrackedJob& t) {
    if (t.done) return;
    if (!t.settled) ReadDataAnswer(t);
    if (!t.held) {
        if (!t.settled) return;
        if (!t.billing.isEmpty() && !m_cups.SetBilling(t.id, t.billing))
            Log(QStringLiteral("E"), JobText(t) + QStringLiteral(": ") + m_cups.LastError());
        t.done = true;
        SaveStateSoon();
        return;
    }
    const QString pas = PassFileName(t.id);
    QStringList lines;
    if (!ReadAnswer(m_machineDir, pas, t, &lines)) return;
    const QString answer = lines.value(0).trimmed().toLower();
    if (answer.isEmpty()) return; // still being written: its end is another change
    CupsJob now;
    // Answered already (by an earlier run that stopped before it noted so): never twice.
    if (!m_cups.Job(t.id, &now) || now.state != CupsJobState::Held) {
        t.done = true;
    } else if (answer == QLatin1String("delete")) {
        if (m_cups.Cancel(t.id))
            t.done = true;
        else
            Log(QStringLiteral("E"), JobText(t) + QStringLiteral(": ") + m_cups.LastError());
    } else if (answer == QLatin1String("resume")) {
        Release(t);
    } else {
        Log(QStringLiteral("E"), JobText(t) + QStringLiteral(": unknown answer \"") +
                                     JobFileValue(answer).left(40) + QLatin1Char('"'));
        m_machineDir.Remove(pas);
    }
    if (t.done) m_machineDir.Remove(pas);
    SaveStateSoon();
}

void CQorvMonitor::Release(CTrackedJob& t) {
    if (!t.settled) ReadDataAnswer(t);
    // A ".shd" line naming another queue of this server sends the job there first.
    QStringList shd;
    const Platform::Folder folder = m_usersDir.Child(t.user);
    // A ".dat" or ".shd" there that is not the job's user's: the job stays held.
    if (!t.settled && folder.Has(t.base + QStringLiteral(".dat"))) return;
    if (!ReadAnswer(folder, t.base + QStringLiteral(".shd"), t, &shd) &&
        folder.Has(t.base + QStringLiteral(".shd")))
        return;
    for (const QString& line : std::as_const(shd)) {
        const QString queue = QueueOfShadowLine(line, m_server);
        const auto target = m_queues.constFind(queue.toLower());
        if (queue.isEmpty() || target == m_queues.cend() ||
            target->name.compare(t.queue, Qt::CaseInsensitive) == 0)
            continue;
        if (m_cups.Move(t.id, target->name)) {
            Log(QStringLiteral("I"), JobText(t) + QStringLiteral(" moved to ") + target->name);
            t.queue = target->name;
        } else {
            Log(QStringLiteral("E"), JobText(t) + QStringLiteral(": ") + m_cups.LastError());
        }
        break;
    }
    if (!t.billing.isEmpty() && !m_cups.SetBilling(t.id, t.billing))
        Log(QStringLiteral("E"), JobText(t) + QStringLiteral(": ") + m_cups.LastError());
    if (m_cups.Release(t.id))
        t.done = true;
    else
        Log(QStringLiteral("E"), JobText(t) + QStringLiteral(": ") + m_cups.LastError());
}

void CQorvMonitor::Forget(int id) {
    const auto it = m_jobs.constFind(id);
    if (it == m_jobs.cend()) return;
    // A held job that left the scheduler unanswered: the client drops it from its window.
    const QString dat = it->base + QStringLiteral(".dat");
    if (it->held && !it->done && !it->settled) {
        const Platform::Folder folder = m_usersDir.Child(it->user);
        if (!folder.Has(dat) && !folder.Save(dat, Platform::EncodeLines({QStringLiteral("cancel")}),
                                             0640, int(it->uid)))
            Log(QStringLiteral("E"), QStringLiteral("Unable to write ") + folder.Path() +
                                         QLatin1Char('/') + dat + QStringLiteral(": ") +
                                         Platform::LastFileError().text);
    }
    m_jobs.remove(id);
    SaveStateSoon();
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
    Sweep();
}

QStringList CQorvMonitor::Status() {
    QStringList lines;
    if (!Prepare()) return {};
    QList<CupsJob> jobs;
    if (!m_cups.Jobs(&jobs)) {
        lines << QStringLiteral("The print scheduler cannot be reached: ") + m_cups.LastError();
        return lines;
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const CupsJob& j : std::as_const(jobs)) {
        const auto t = m_jobs.constFind(j.id);
        Platform::Account account;
        const QString refusal =
            t == m_jobs.cend() && Monitored(j.queue) ? Refusal(j, &account) : QString();
        if (!refusal.isEmpty()) {
            lines << QStringLiteral("%1-%2 refused %3 min: %4")
                         .arg(j.queue)
                         .arg(j.id)
                         .arg((now - j.created) / 60)
                         .arg(refusal);
            continue;
        }
        if (t == m_jobs.cend() || !t->held || t->done || j.state != CupsJobState::Held) continue;
        lines << QStringLiteral("%1-%2 %3 held %4 min")
                     .arg(j.queue)
                     .arg(j.id)
                     .arg(t->user)
                     .arg((now - j.created) / 60);
    }
    if (lines.isEmpty()) lines << QStringLiteral("No held jobs");
    return lines;
}
