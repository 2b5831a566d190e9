// What wakes the monitor: the scheduler's events, pulled, and the sweep over every job.
#include "monitor/cqorvmonitor.h"

#include "monitor/monitorlog.h"
#include "platform/files.h"
#include "platform/watcher.h"

#include <algorithm>
#include <utility>

using monitor::Log;
using Platform::CupsJob;
using Platform::CupsJobState;

namespace {
const QStringList kEvents{QStringLiteral("job-created"), QStringLiteral("job-state-changed"),
                          QStringLiteral("printer-added"), QStringLiteral("printer-modified"),
                          // a stopped queue started again is stopped at once
                          QStringLiteral("printer-state-changed")};
const QString kFeed = QStringLiteral("rss:///qorvmond.rss?max_events=1");
} // namespace

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
        SecureQueues();
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
    for (int id : m_jobs.keys()) {
        if (live.contains(id)) continue;
        CupsJob gone;
        if (!m_cups.Job(id, &gone)) { // purged
            gone.id = id;
            gone.state = CupsJobState::Canceled;
        }
        Forget(gone);
    }
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
            Forget(job);
        else
            CheckAnswers(*it);
        return;
    }
    if (IsCompanion(job.queue)) return; // only the monitor's releases go there
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
