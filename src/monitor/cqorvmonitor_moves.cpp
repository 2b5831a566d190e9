// Where a job may be moved: only to a queue that would take it from its user, as the scheduler
// judges a job its user submits (the monitor itself may move any job anywhere).
#include "monitor/cqorvmonitor.h"

#include <QDateTime>

#include <algorithm>

namespace {
// The scheduler's user lists: one of them is set, names without regard to case, "@group" for
// the members of a group; root is always admitted.
bool Admitted(const Platform::CupsAdmission& a, const Platform::Account& user) {
    const bool deny = a.allowed.isEmpty();
    const QStringList& list = deny ? a.denied : a.allowed;
    if (list.isEmpty() || user.name == QLatin1String("root")) return true;
    const bool listed = std::any_of(list.cbegin(), list.cend(), [&](const QString& entry) {
        return entry.startsWith(QLatin1Char('@'))
                   ? Platform::InGroup(user, entry.mid(1))
                   : entry.compare(user.name, Qt::CaseInsensitive) == 0;
    });
    return listed != deny;
}
} // namespace

QString CQorvMonitor::MoveRefusal(const CTrackedJob& t, const QString& queue) {
    Platform::CupsAdmission a;
    if (!m_cups.Admission(queue, &a)) return m_cups.LastError();
    if (!a.accepting) return QStringLiteral("the queue does not accept jobs");
    Platform::Account user;
    if (!Platform::FindAccount(t.user, &user) || !Admitted(a, user))
        return QStringLiteral("the queue does not take jobs from ") + t.user;
    if (a.pageLimit <= 0 && a.kLimit <= 0) return {};
    Platform::CupsUsage used;
    const qint64 since = QDateTime::currentSecsSinceEpoch() - a.quotaPeriod;
    if (!m_cups.Usage(queue, t.user, since, &used)) return m_cups.LastError();
    if ((a.pageLimit > 0 && used.pages >= a.pageLimit) ||
        (a.kLimit > 0 && used.kOctets >= a.kLimit))
        return t.user + QStringLiteral(" is over the queue's quota");
    return {};
}
