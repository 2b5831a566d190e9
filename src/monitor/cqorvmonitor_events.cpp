// What wakes the monitor: the scheduler's events, pulled, and the sweep over every job.
#include "monitor/cqorvmonitor.h"

#include "config/cconfigoptions.h"
#include "monitor/monitorlog.h"
#include "platform/countedcopy.h"
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
// The folder of the wake-up pipe: the service's runtime folder, which the scheduler's notifier
// can pass through, else the monitor's local folder.
QString WakePipe() {
    const QString runtime =
        qEnvironmentVariable("RUNTIME_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    return (runtime.isEmpty() ? GetLocalPath() : runtime) + QLatin1Char('/') +
           QLatin1String(Platform::kWakeName);
}
} // namespace

bool CQorvMonitor::Subscribe() {
    const QString pipe = WakePipe();
    m_cups.CancelSubscriptions(kTag, Platform::WakeRecipient(pipe));
    m_sequence = 1;
    m_pullSub = m_cups.Subscribe(kEvents, QString(), kLeaseSeconds, kTag);
    if (!m_pullSub) return false;
    // The events are pulled, which only this account may do; what wakes the monitor at once is
    // our notifier nudging a pipe only the monitor reads, with nothing of the event in it.
    if (!m_wake) {
        auto wake = std::make_unique<Platform::WakeFifo>();
        if (wake->Create(pipe, QStringLiteral("lp"))) {
            connect(wake.get(), &Platform::WakeFifo::Woken, this, &CQorvMonitor::Pull);
            m_wake = std::move(wake);
        } else {
            Log(QStringLiteral("E"), QStringLiteral("Unable to make ") + pipe +
                                         QStringLiteral(": ") + Platform::LastFileError().text);
        }
    }
    m_wakeSub =
        m_wake ? m_cups.Subscribe(kEvents, Platform::WakeRecipient(pipe), kLeaseSeconds, kTag) : 0;
    if (m_wake && !m_wakeSub)
        Log(QStringLiteral("E"),
            QStringLiteral("No wake-ups, events are pulled every minute: ") + m_cups.LastError());
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
        m_pullSub = m_wakeSub = 0;
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
    for (int id : Platform::CountedCopiesJobs()) // of jobs that finished unseen
        if (!live.contains(id)) Platform::RemoveCountedCopies(id);
    for (const CupsJob& j : std::as_const(jobs)) Consider(j, false);
}

void CQorvMonitor::Consider(const CupsJob& job, bool created) {
    if (!Monitored(job.queue)) return;
    auto it = m_jobs.find(job.id);
    // A later job of that number (the scheduler started its numbers again): the old one is gone,
    // and nothing answered for it answers this one.
    if (it != m_jobs.end() && it->created != job.created) {
        CupsJob gone; // how it ended is not known any more
        gone.id = job.id;
        gone.state = CupsJobState::Canceled;
        Forget(gone);
        it = m_jobs.end();
    }
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
    if (job.Incoming()) return WaitForDocument(job);
    TakeUp(job);
}

void CQorvMonitor::WaitForDocument(const CupsJob& job) {
    // A held job's document may arrive after the job was created (Create-Job, then
    // Send-Document), and the scheduler sends no event when it has: look again.
    if (m_arriving.contains(job.id)) return;
    m_arriving.insert(job.id);
    CIncoming& in = m_incoming[job.user];
    in.jobs.enqueue(job.id);
    in.ms = kFirstLookMs;
    in.due.setRemainingTime(in.ms);
    if (!m_incomingTimer.isActive() || m_incomingTimer.remainingTime() > in.ms)
        m_incomingTimer.start(in.ms);
}

void CQorvMonitor::LookAtIncoming() {
    QList<CupsJob> arrived;
    qint64 next = -1;
    for (auto it = m_incoming.begin(); it != m_incoming.end();) {
        if (it->due.hasExpired()) {
            const int id = it->jobs.dequeue();
            CupsJob job;
            const bool known = m_cups.Job(id, &job);
            if (known && job.Incoming() && !job.Finished()) {
                it->jobs.enqueue(id);
                it->ms = std::min(it->ms * 2, kLastLookMs);
            } else {
                m_arriving.remove(id);
                if (known) arrived << job; // printed already, it may be: logged all the same
                it->ms = kFirstLookMs;
            }
            it->due.setRemainingTime(it->ms);
        }
        if (it->jobs.isEmpty()) {
            it = m_incoming.erase(it);
            continue;
        }
        const qint64 left = it->due.remainingTime();
        next = next < 0 ? left : std::min(next, left);
        ++it;
    }
    if (next >= 0) m_incomingTimer.start(int(next));
    for (const CupsJob& job : std::as_const(arrived)) Consider(job, true);
}
