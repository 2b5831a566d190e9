// Taking up a job: whose it is, holding it, and its job file in its user's folder.
#include "monitor/cqorvmonitor.h"

#include "common/bcommon.h"
#include "monitor/jobfilelines.h"
#include "monitor/monitorlog.h"
#include "platform/files.h"
#include "platform/lines.h"

using monitor::JobText;
using monitor::Log;
using Platform::CupsJob;
using Platform::CupsJobState;
using Platform::CupsQueue;

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
    if (t.held) Reserve(t, true);
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
    if (kept.done && PauseQueue(queue) && job.state == CupsJobState::Completed)
        PrintedUnreleased(kept);
    if (kept.done) return;
    Watch(kept.user);
    CheckAnswers(kept);
}
