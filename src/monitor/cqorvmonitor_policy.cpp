// Only the monitor lets a held job print. A queue whose group waits for answers stays stopped:
// it takes jobs but prints none, whatever hold its client asked for and whether the monitor
// runs or not. A released job is moved to the queue's companion, which prints on the same
// device and takes jobs from the monitor alone. Both are under policies that leave holding,
// releasing, moving and changing jobs to the monitor (the companion's, adding documents too);
// the scheduler is asked at start whether it keeps to them.
#include "monitor/cqorvmonitor.h"

#include "common/bcommon.h"
#include "jobs/cprintjobinfo.h"
#include "monitor/jobfilelines.h"
#include "monitor/monitorlog.h"
#include "platform/files.h"
#include "platform/lines.h"

#include <QDateTime>

#include <algorithm>
#include <utility>

using monitor::JobText;
using monitor::Log;
using monitor::LogUnwritten;
using Platform::CupsQueue;

namespace {
const QString kCompanionSuffix = QStringLiteral("-released");
const QString kProbeTitle = QStringLiteral("qorvmond policy check");
// Prints no sheet, should the job ever print.
const QByteArray kProbeDocument = "%!PS\n% qorvmond policy check\n";
// No account: a document the scheduler gives him it gives anyone.
const QString kStranger = QStringLiteral("qorvmond-nobody");
} // namespace

QString CQorvMonitor::Companion(const QString& queue) {
    return queue + kCompanionSuffix;
}

bool CQorvMonitor::IsCompanion(const QString& queue) {
    return queue.endsWith(kCompanionSuffix, Qt::CaseInsensitive);
}

void CQorvMonitor::SecureQueues() {
    bool changed = false;
    const QList<CupsQueue> queues = m_queues.values();
    for (const CupsQueue& q : queues) {
        if (IsCompanion(q.name) || !Monitored(q.name)) continue;
        const CupsQueue c = m_queues.value(Companion(q.name).toLower());
        auto did = [&](bool ok, const QString& what) {
            changed = true;
            if (ok)
                Log(QStringLiteral("I"),
                    QStringLiteral("Queue ") + q.name + QStringLiteral(": ") + what);
            else
                Log(QStringLiteral("E"),
                    QStringLiteral("Queue ") + q.name + QStringLiteral(": ") + m_cups.LastError());
        };
        if (!PauseQueue(q)) {
            // Its group no longer waits for answers: the queue the monitor stopped prints again.
            if (q.stopped && !c.name.isEmpty())
                did(m_cups.SetStopped(q.name, false), QStringLiteral("started again"));
            continue;
        }
        // Without the policy the companion is made all the same; the check below says why
        // that is not safe.
        const bool known = q.policies.contains(kPolicy);
        const QString policy = q.policies.contains(kCompanionPolicy) ? kCompanionPolicy
                               : known                               ? kPolicy
                                                                     : QStringLiteral("default");
        if (known && q.opPolicy != kPolicy)
            did(m_cups.SetPolicy(q.name, kPolicy), QStringLiteral("printer-op-policy ") + kPolicy);
        if (!q.stopped)
            did(m_cups.SetStopped(q.name, true),
                QStringLiteral("stopped, its released jobs print from ") + Companion(q.name));
        // Tried once for each state of the two: a copy that changes nothing is not made again
        // at the event it causes.
        const QString seen = QStringList{q.deviceUri,
                                         q.makeAndModel,
                                         policy,
                                         c.name,
                                         c.deviceUri,
                                         c.makeAndModel,
                                         c.opPolicy,
                                         c.info,
                                         c.allowedUsers.join(u' '),
                                         QString::number(c.stopped)}
                                 .join(QLatin1Char('\n'));
        if ((c.name.isEmpty() || c.deviceUri != q.deviceUri || c.makeAndModel != q.makeAndModel ||
             c.opPolicy != policy || c.stopped || c.allowedUsers != QStringList{m_self.name} ||
             c.info != Platform::ICupsServer::CompanionInfo(q.name)) &&
            std::exchange(m_companions[q.name], seen) != seen)
            did(m_cups.CopyQueue(q.name, Companion(q.name), q.deviceUri, policy, m_self.name),
                (c.name.isEmpty() ? QStringLiteral("made ")
                                  : QStringLiteral("brought up to date ")) +
                    Companion(q.name) + QStringLiteral(" for ") + m_self.name);
    }
    if (changed) RefreshQueues();
}

void CQorvMonitor::CheckPolicy() {
    // A job of the monitor's own on a stopped queue, asked about without authentication in
    // the monitor's name (as "lp -U" does): each request must be refused. Its document, which
    // the default policy alone guards, is asked for in another name.
    const QString before = std::exchange(m_policyProblem, {});
    const auto q = std::find_if(m_queues.cbegin(), m_queues.cend(), [&](const CupsQueue& q) {
        return !IsCompanion(q.name) && Monitored(q.name) && PauseQueue(q);
    });
    if (q == m_queues.cend()) return SaveStateSoon();
    const int probe = m_cups.CreateHeldJob(q->name, kProbeTitle, kProbeDocument);
    using P = Platform::ICupsServer::Probe;
    const bool readable = probe && m_cups.DoneUnauthenticated(P::GetDocument, probe, kStranger, {});
    QStringList open, problems;
    for (const auto& [p, name] : {std::pair{P::Hold, "Hold-Job"},
                                  {P::SetAttributes, "Set-Job-Attributes"},
                                  {P::Move, "CUPS-Move-Job"},
                                  {P::Release, "Release-Job"}})
        if (probe && open.isEmpty() &&
            m_cups.DoneUnauthenticated(p, probe, m_self.name, Companion(q->name)))
            open << QString::fromLatin1(name); // one is enough: the rest is not tried
    if (!probe)
        problems << QStringLiteral("The print scheduler's policy could not be checked: ") +
                        m_cups.LastError();
    else if (!m_cups.Purge(probe))
        Log(QStringLiteral("E"),
            QStringLiteral("Policy check job %1: ").arg(probe) + m_cups.LastError());
    if (!open.isEmpty())
        problems << QStringLiteral(
                        "UNSAFE: the print scheduler lets anyone who names himself %1 send %2 "
                        "for jobs of %3 without authentication: any user can print held jobs "
                        "unanswered or bill them as he likes. Add the policy \"%4\" of "
                        "qorvmond(8) to cupsd.conf.")
                        .arg(m_self.name, open.join(QStringLiteral(", ")), q->name, kPolicy);
    else if (probe && !q->policies.contains(kCompanionPolicy))
        problems << QStringLiteral(
                        "UNSAFE: the print scheduler has no policy \"%1\": a job's owner can "
                        "add documents to it on %2 after its pages were counted, and they "
                        "print unbilled. Add the policies of qorvmond(8) to cupsd.conf.")
                        .arg(kCompanionPolicy, Companion(q->name));
    if (readable)
        problems << QStringLiteral(
            "UNSAFE: the print scheduler gives anyone a job's documents "
            "(CUPS-Get-Document) without authentication: any user can read what "
            "others print, held jobs too. Add <Limit CUPS-Get-Document> with "
            "\"AuthType Default\" and \"Require user @OWNER @SYSTEM\" to the default "
            "policy of cupsd.conf.");
    for (const QString& problem : std::as_const(problems)) Log(QStringLiteral("E"), problem);
    m_policyProblem = problems.join(QLatin1Char('\n'));
    if (m_policyProblem != before) SaveStateSoon();
}

void CQorvMonitor::PrintedUnreleased(const CTrackedJob& t) {
    Log(QStringLiteral("E"), JobText(t) + QStringLiteral(" PRINTED WITHOUT RELEASE: it was "
                                                         "never answered, nor billed"));
    m_unreleased.insert(t.id, {t.queue, t.user, QDateTime::currentSecsSinceEpoch()});
    SaveStateSoon();
    const QString dat = t.base + QStringLiteral(".dat");
    const Platform::Folder folder = m_usersDir.Child(t.user);
    // An answer of the user's own stays: it is what he stored.
    if (!folder.Has(dat) &&
        !folder.Save(dat, Platform::EncodeLines({kUnreleasedAnswer}), 0640, int(t.uid)))
        LogUnwritten(folder, dat);
}
