// The answers of a job's user: its data file, its redirect lines and its release file.
#include "monitor/cqorvmonitor.h"

#include "common/bcommon.h"
#include "monitor/answerrules.h"
#include "monitor/jobfilelines.h"
#include "monitor/monitorlog.h"
#include "platform/files.h"
#include "platform/lines.h"
#include "platform/watcher.h"

using monitor::JobText;
using monitor::Log;
using Platform::CupsJob;
using Platform::CupsJobState;

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
    const Platform::Folder folder = m_usersDir.Child(t.user);
    if (!ReadAnswer(folder, t.base + QStringLiteral(".dat"), t, &lines) || lines.isEmpty())
        return; // empty: still being written, its end is another change
    const QString broken = BrokenAnswer(lines, m_queues.value(t.queue.toLower()).makeAndModel);
    if (!broken.isEmpty()) return SendBack(t, folder, broken);
    folder.Remove(t.base + QStringLiteral(".why"));
    t.billing = BillingText(lines);
    t.settled = true;
    SaveStateSoon();
}

void CQorvMonitor::SendBack(CTrackedJob& t, const Platform::Folder& folder, const QString& why) {
    // The job stays held; its user's window shows it again with the reason.
    Log(QStringLiteral("E"), JobText(t) + QStringLiteral(": answer refused: ") + why);
    const QString prt = t.base + QStringLiteral(".prt");
    QByteArray job;
    uint owner = 0;
    const bool reshown = folder.Save(t.base + QStringLiteral(".why"), Platform::EncodeLines({why}),
                                     0644, int(m_self.uid)) &&
                         folder.Remove(t.base + QStringLiteral(".dat")) &&
                         folder.Read(prt, 1 << 20, &job, &owner) && owner == m_self.uid &&
                         folder.Save(prt, job, 0644, int(m_self.uid)); // read anew
    if (!reshown)
        Log(QStringLiteral("E"),
            JobText(t) + QStringLiteral(": not sent back: ") + Platform::LastFileError().text);
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
        Release(t, now);
    } else {
        Log(QStringLiteral("E"), JobText(t) + QStringLiteral(": unknown answer \"") +
                                     JobFileValue(answer).left(40) + QLatin1Char('"'));
        m_machineDir.Remove(pas);
    }
    if (t.done) m_machineDir.Remove(pas);
    SaveStateSoon();
}

void CQorvMonitor::Release(CTrackedJob& t, const CupsJob& now) {
    if (!t.settled) ReadDataAnswer(t);
    // Released only with its values: a ".dat" missing, refused or not the job's user's, and
    // the job stays held.
    if (!t.settled) return;
    // A ".shd" line naming another queue of this server sends the job there first.
    QStringList shd;
    const Platform::Folder folder = m_usersDir.Child(t.user);
    // Documents sent after the job file was written are counted before the job prints.
    if (now.documents > t.documents && !WriteJobFile(t, folder, now)) return;
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
