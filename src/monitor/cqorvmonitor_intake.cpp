// Taking up a job: whose it is, holding it, and its job file in its user's folder.
#include "monitor/cqorvmonitor.h"

#include "common/bcommon.h"
#include "monitor/jobfilelines.h"
#include "monitor/monitorlog.h"
#include "platform/files.h"
#include "platform/lines.h"

using monitor::JobText;
using monitor::Log;
using monitor::LogUnwritten;
using Platform::CupsJob;
using Platform::CupsJobState;
using Platform::CupsQueue;

const QString CQorvMonitor::kUncounted = QStringLiteral(
    "its pages cannot all be counted (a document too large, sent raw, of a kind that cannot be "
    "counted, or stopped at its time limit)");

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
    if (it != m_refused.cend() && it->reason == reason && it->queue == job.queue) return;
    if (it == m_refused.cend() || it->reason != reason)
        Log(QStringLiteral("E"), QStringLiteral("Job %1 refused: %2").arg(job.id).arg(reason));
    m_refused.insert(job.id, {job.queue, job.user, job.created, reason});
    SaveStateSoon(); // --status names it
}

const CJobFacts* CQorvMonitor::Counted(const CupsJob& job) {
    // One that prints from a companion prints its PostScript as counted, if the companion's
    // filter sees it as it was spooled.
    const CupsQueue queue = m_queues.value(job.queue.toLower());
    using Platform::PrintedFrom;
    const PrintedFrom from = !IsCompanion(job.queue) && !PauseQueue(queue) ? PrintedFrom::Queue
                             : queue.raw || job.compressed ? PrintedFrom::CompanionAsSent
                                                           : PrintedFrom::Companion;
    const auto it = m_counts.constFind(job.id);
    if (it != m_counts.cend() && it->created == job.created && it->documents == job.documents &&
        it->from == from)
        return it->facts ? &*it->facts : nullptr;
    m_counts.insert(job.id, {job.created, job.documents, {}, 0, from});
    m_countQueue[job.user].enqueue(job.id);
    if (!m_counting.contains(job.user)) CountNext(job.user);
    return nullptr;
}

void CQorvMonitor::CountNext(const QString& user) {
    auto queue = m_countQueue.find(user);
    while (queue != m_countQueue.end() && !queue->isEmpty()) {
        const int id = queue->dequeue();
        const auto it = m_counts.constFind(id);
        if (it == m_counts.cend() || it->facts) continue;
        m_counting.insert(user);
        m_counters.start([this, id, user, count = *it] {
            // Every document's pages as its content says, never what the client claimed.
            CCount counted = count;
            counted.facts = CJobFacts{{}, 0, 0};
            for (int n = 1; n <= std::max(count.documents, 1); ++n) {
                const Platform::DocumentCount document =
                    m_cups.CountDocument(id, n, kMaxDocumentBytes, count.from);
                if (!document.found) continue;
                ++counted.found;
                counted.facts->pages += std::max(document.pages, 1);
                counted.facts->whole &= document.whole;
                counted.facts->bytes += document.bytes;
            }
            QMetaObject::invokeMethod(
                this, [this, id, user, counted] { CountDone(id, user, counted); },
                Qt::QueuedConnection);
        });
        return;
    }
    m_countQueue.remove(user);
}

void CQorvMonitor::CountDone(int id, const QString& user, const CCount& count) {
    m_counting.remove(user);
    CountNext(user);
    const auto current = [&] {
        const auto it = m_counts.find(id);
        return it != m_counts.end() && it->created == count.created &&
                       it->documents == count.documents && it->from == count.from
                   ? it
                   : m_counts.end();
    };
    auto it = current();
    if (it == m_counts.end()) return; // its documents changed since: counted again
    *it = count;
    CupsJob job;
    if (m_cups.Job(id, &job)) Consider(job, true); // it was unfinished, or just made, when seen
    // Used, or of no more use: a count serves only the look it was made for.
    if ((it = current()) != m_counts.end()) m_counts.erase(it);
}

bool CQorvMonitor::WriteJobFile(CTrackedJob& t, const Platform::Folder& folder, const CupsJob& job,
                                const CJobFacts& counted) {
    CJobFacts facts = counted;
    facts.server = m_server;
    if (facts.pages <= 0) facts.pages = std::max(job.impressions, 1); // gone already
    if (facts.bytes <= 0) facts.bytes = job.kOctets * 1024;
    const QString name = t.base + QStringLiteral(".prt");
    // On the queue it was sent to, though it may be on a companion by now.
    CupsJob sent = job;
    sent.queue = t.queue;
    const CupsQueue queue = m_queues.value(t.queue.toLower());
    // The monitor's: its user reads it (and may remove it) but cannot change a billed fact.
    const QByteArray bytes = Platform::EncodeLines(JobFileLines(sent, queue, facts));
    if (!folder.Save(name, bytes, 0644, int(m_self.uid))) {
        LogUnwritten(folder, name);
        return false;
    }
    t.jobFile = bytes;
    t.documents = job.documents;
    return true;
}

bool CQorvMonitor::Recounted(CTrackedJob& t, const CupsJob& last) {
    // Its owner may send documents in any state of the job: those sent after the job file was
    // written printed too. The scheduler keeps a printed job's documents a day by default.
    if (last.state != CupsJobState::Completed || t.documents <= 0 || last.documents <= t.documents)
        return true;
    const CJobFacts* facts = Counted(last);
    if (!facts) return false;
    const QString late =
        JobText(t) + QStringLiteral(" got documents after it was counted (%1 printed, %2 counted)")
                         .arg(last.documents)
                         .arg(t.documents);
    const int found = m_counts.value(t.id).found;
    const Platform::Folder folder = m_usersDir.Child(t.user);
    const QString prt = t.base + QStringLiteral(".prt");
    QByteArray bytes;
    uint owner = 0;
    if (found < last.documents) {
        Log(QStringLiteral("E"), late + QStringLiteral(": %1 of them are gone from the scheduler, "
                                                       "the pages billed may be short")
                                            .arg(last.documents - found));
    } else if (!folder.Read(prt, 1 << 20, &bytes, &owner) || owner != m_self.uid) {
        // Imported, removed or replaced: a job file of its own would be a job of its own.
        Log(QStringLiteral("E"),
            late + QStringLiteral(": its job file is gone, the pages billed may be short of the "
                                  "%1 printed")
                       .arg(facts->pages));
    } else {
        const int billed = Platform::DecodeLines(bytes).value(1).toInt();
        if (!WriteJobFile(t, folder, last, *facts)) return false; // the next sweep tries again
        // A billed copy not imported yet is stored before this file, and would bill short.
        const Platform::Folder kept = BilledDir();
        if (kept.Has(prt) && !kept.Save(prt, t.jobFile, 0600, int(m_self.uid)))
            LogUnwritten(kept, prt);
        Log(QStringLiteral("I"),
            late + QStringLiteral(": %1 more pages, %2 in all%3")
                       .arg(facts->pages - billed)
                       .arg(facts->pages)
                       .arg(facts->whole ? QString() : QStringLiteral(", but ") + kUncounted));
    }
    return true;
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
        // A hold its client asked for until a time ends by itself: held again for good.
        t.held =
            (job.state == CupsJobState::Held && job.holdUntil == QLatin1String("indefinite")) ||
            m_cups.Hold(job.id);
        if (!t.held)
            Log(QStringLiteral("E"),
                JobText(t) + QStringLiteral(" could not be held: ") + m_cups.LastError());
    }
    if (t.held) Reserve(t, true);
    const CJobFacts* facts = Counted(job);
    // Pages it may print past what was counted: held until an administrator decides.
    if (facts && t.held && !facts->whole) return Refuse(job, kUncounted);
    // A held job stays held meanwhile; when the file cannot be written, the next sweep writes it.
    if (!facts || !WriteJobFile(t, folder, job, *facts)) return;
    t.done = job.Finished();
    CTrackedJob& kept = *m_jobs.insert(t.id, t);
    SaveStateSoon();
    if (kept.done && PauseQueue(queue) && job.state == CupsJobState::Completed)
        PrintedUnreleased(kept);
    if (kept.done) return;
    Watch(kept.user);
    CheckAnswers(kept);
}
