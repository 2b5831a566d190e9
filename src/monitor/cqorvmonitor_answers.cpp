// The answers of a job's user: its data file, its redirect lines and its release file.
#include "monitor/cqorvmonitor.h"

#include "common/bcommon.h"
#include "monitor/answerrules.h"
#include "monitor/jobfilelines.h"
#include "monitor/monitorlog.h"
#include "platform/countedcopy.h"
#include "platform/files.h"
#include "platform/lines.h"
#include "platform/watcher.h"

using monitor::JobText;
using monitor::Log;
using monitor::LogUnwritten;
using Platform::CupsJob;
using Platform::CupsJobState;

bool CQorvMonitor::ReadAnswer(const Platform::Folder& dir, const QString& name,
                              const CTrackedJob& t, QStringList* lines, bool* foreign) {
    lines->clear();
    if (foreign) *foreign = false;
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
        if (foreign) *foreign = true;
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
    connect(watch.get(), &Platform::FolderWatch::Changed, this,
            [this, user] { UserChanged(user); });
    m_users.insert(user, watch);
}

void CQorvMonitor::UserChanged(const QString& user) {
    const auto watch = m_users.value(user);
    if (!watch) return;
    // Only the jobs whose files changed: a flood of other names costs a look-up each.
    bool lost = false;
    const QSet<QString> names = watch->TakeNames(&lost);
    const auto mine = [&](const CTrackedJob& t) { return !t.done && t.user == user; };
    if (lost) {
        for (CTrackedJob& t : m_jobs)
            if (mine(t)) CheckAnswers(t);
        return;
    }
    for (const QString& name : names) {
        // "<server>_<id>_<created>.<ext>"
        const auto t = m_jobs.find(name.section(QLatin1Char('_'), 1, 1).toInt());
        if (t != m_jobs.end() && mine(*t) && name.startsWith(t->base + u'.')) CheckAnswers(*t);
    }
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
    t.answer = lines;
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
    bool foreign = false;
    if (!ReadAnswer(m_machineDir, pas, t, &lines, &foreign)) {
        // Another user's file in the way of the user's answer (the reservation could not be
        // made): the folder is the monitor's, so it may replace any file there.
        if (foreign) Reserve(t, false);
        return;
    }
    const QString answer = lines.value(0).trimmed().toLower();
    if (answer.isEmpty()) return; // still being written: its end is another change
    CupsJob now;
    // Answered already (by an earlier run that stopped before it noted so): never twice. A job
    // still held elsewhere was moved by a release that did not end.
    if (!m_cups.Job(t.id, &now) || now.Finished() ||
        (now.queue.compare(t.queue, Qt::CaseInsensitive) != 0 && now.state != CupsJobState::Held)) {
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
        Reserve(t, false);
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
    if (!ReadAnswer(folder, t.base + QStringLiteral(".shd"), t, &shd) &&
        folder.Has(t.base + QStringLiteral(".shd")))
        return;
    // It prints from its queue's companion, or from the queue the line names (from that one's
    // companion when it waits for answers too).
    QString target = Companion(t.queue);
    for (const QString& line : std::as_const(shd)) {
        const QString queue = QueueOfShadowLine(line, m_server);
        const auto to = m_queues.constFind(queue.toLower());
        if (queue.isEmpty() || to == m_queues.cend() || IsCompanion(to->name) ||
            to->name.compare(t.queue, Qt::CaseInsensitive) == 0)
            continue;
        // The monitor's rights are the administrator's: the job goes only where its user
        // could send it himself, else it stays held.
        const QString refusal = MoveRefusal(t, to->name);
        const QString unmoved =
            refusal.isEmpty() ? QString() : JobFileValue(to->name + QStringLiteral(": ") + refusal);
        if (unmoved != t.unmoved) {
            if (!unmoved.isEmpty())
                Log(QStringLiteral("E"), JobText(t) + QStringLiteral(" not moved to ") + unmoved);
            t.unmoved = unmoved;
            SaveStateSoon();
        }
        if (!unmoved.isEmpty()) return;
        target = PauseQueue(*to) ? Companion(to->name) : to->name;
        break;
    }
    const auto failed = [&] {
        Log(QStringLiteral("E"), JobText(t) + QStringLiteral(": ") + m_cups.LastError());
    };
    // Billed first: a job that is no longer held prints as soon as it is moved.
    if (!t.billing.isEmpty() && !m_cups.SetBilling(t.id, t.billing)) failed();
    // Moved while held: on a companion its owner can add no more documents, so the documents
    // counted there are all that print.
    CupsJob moved = now;
    // One the scheduler let go meanwhile would print as soon as it is moved, before its
    // documents are counted: held again first.
    if (now.state != CupsJobState::Held) {
        if (!m_cups.Hold(t.id)) return failed();
        moved.state = CupsJobState::Held;
    }
    if (now.queue.compare(target, Qt::CaseInsensitive) != 0 &&
        (!m_cups.Move(t.id, target) || !m_cups.Job(t.id, &moved)))
        return failed();
    // Counted again when it came to print where PostScript prints as counted before its copies
    // were kept (taken up by an earlier version, or the copies lost).
    if (moved.documents > t.documents ||
        (IsCompanion(target) && !Platform::CountedCopiesKept(t.id))) {
        const CJobFacts* facts = Counted(moved);
        if (facts && !facts->whole) Refuse(moved, kUncounted); // until an administrator decides
        if (!facts || !facts->whole || !WriteJobFile(t, folder, moved, *facts)) return;
    }
    if (moved.state == CupsJobState::Held && !m_cups.Release(t.id)) return failed();
    KeepBilled(t);
    if (m_refused.remove(t.id)) SaveStateSoon();
    if (target != Companion(t.queue))
        Log(QStringLiteral("I"), JobText(t) + QStringLiteral(" moved to ") + target);
    t.held = false; // released: it may print
    t.done = true;
}

Platform::Folder CQorvMonitor::BilledDir() const {
    const Platform::FolderLayout own{int(m_self.uid), int(m_self.gid), 0700};
    return m_machineDir.Child(QStringLiteral("billed"), &own);
}

void CQorvMonitor::KeepBilled(const CTrackedJob& t) {
    // The user may remove or overwrite his own files once the job printed: the import stores
    // this copy first. Its job file first, as the import takes a copy only with both.
    if (t.jobFile.isEmpty() || t.answer.isEmpty())
        return Log(QStringLiteral("E"), JobText(t) + QStringLiteral(": no billed copy kept"));
    const Platform::Folder billed = BilledDir();
    if (!billed.IsOpen()) return LogUnwritten(m_machineDir, QStringLiteral("billed"));
    for (const auto& [ext, bytes] :
         {std::pair{".prt", t.jobFile}, {".dat", Platform::EncodeLines(t.answer)}}) {
        const QString name = t.base + QLatin1String(ext);
        if (!billed.Save(name, bytes, 0600, int(m_self.uid))) return LogUnwritten(billed, name);
    }
}

void CQorvMonitor::Reserve(const CTrackedJob& t, bool keepAnswer) {
    // Made before the job file is written: from then on no other user can create, replace or
    // remove a file at that name (sticky), the user replaces it with the answer, and only the
    // user and the monitor can read it. An old answer for an earlier job of that number goes.
    const QString pas = PassFileName(t.id);
    QByteArray bytes;
    uint owner = 0;
    if (keepAnswer && m_machineDir.Read(pas, 64, &bytes, &owner) && owner == t.uid &&
        m_usersDir.Child(t.user).Has(t.base + QStringLiteral(".dat")))
        return; // taken up again after the monitor stopped before it noted the job
    if (!m_machineDir.Save(pas, {}, 0600, int(t.uid))) LogUnwritten(m_machineDir, pas);
}

void CQorvMonitor::MachineChanged() {
    bool lost = false;
    const QSet<QString> names = m_machine->TakeNames(&lost);
    if (lost) {
        for (CTrackedJob& t : m_jobs)
            if (t.held && !t.done) CheckAnswers(t);
        return;
    }
    for (const QString& name : names) {
        const int id = PassFileNumber(name);
        if (id <= 0) continue;
        const auto it = m_jobs.find(id);
        if (it != m_jobs.end() && it->held && !it->done)
            CheckAnswers(*it);
        else // answers no job the monitor holds: never one for a later job of that number
            m_machineDir.Remove(name);
    }
}

void CQorvMonitor::Forget(const CupsJob& last) {
    const int id = last.id;
    const auto it = m_jobs.find(id);
    if (it == m_jobs.end() || !Recounted(*it, last)) return; // kept, and saved, till then
    m_machineDir.Remove(PassFileName(id));
    // Under a safe policy only the monitor reaches a companion: a job printed there was
    // released by an earlier run that stopped before it noted so.
    const bool released = IsCompanion(last.queue) && m_policyProblem.isEmpty();
    // A held job that left the scheduler unanswered: the client drops it from its window.
    const QString dat = it->base + QStringLiteral(".dat");
    if (it->held && last.state == CupsJobState::Completed && !released) {
        PrintedUnreleased(*it);
    } else if (it->held && !it->done && !it->settled) {
        const Platform::Folder folder = m_usersDir.Child(it->user);
        if (!folder.Has(dat) && !folder.Save(dat, Platform::EncodeLines({QStringLiteral("cancel")}),
                                             0640, int(it->uid)))
            LogUnwritten(folder, dat);
    }
    Platform::RemoveCountedCopies(id);
    m_jobs.remove(id);
    SaveStateSoon();
}
