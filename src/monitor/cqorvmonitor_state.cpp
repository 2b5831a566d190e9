// The monitor's saved state: the jobs it tracks, kept across restarts in its machine folder.
#include "monitor/cqorvmonitor.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "monitor/jobfilelines.h"
#include "monitor/monitorlog.h"
#include "platform/files.h"
#include "platform/lines.h"

#include <QDateTime>

using monitor::Log;

QString CQorvMonitor::StateFile() const {
    return QStringLiteral("qorvmond.state");
}

QString CQorvMonitor::LoadState(uint owner) {
    m_jobs.clear();
    m_refused.clear();
    m_unreleased.clear();
    m_policyProblem.clear();
    QByteArray bytes;
    uint found = 0;
    if (!m_machineDir.Read(StateFile(), -1, &bytes, &found))
        return Platform::KindOf(gEnv.m_sMachinePath + QLatin1Char('/') + StateFile()) ==
                       Platform::EntryKind::Missing
                   ? QString()
                   : Platform::LastFileError().text;
    if (found != owner) return QStringLiteral("it belongs to uid %1").arg(found);
    for (const QString& line : QString::fromUtf8(bytes).split(QStringLiteral("\r\n"))) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() == 2 && f[0] == QLatin1String("policy")) // one a line
            m_policyProblem +=
                (m_policyProblem.isEmpty() ? QString() : QStringLiteral("\n")) + f[1];
        if (f.size() == 5 && f[0] == QLatin1String("unreleased"))
            m_unreleased.insert(f[1].toInt(), {f[2], f[3], f[4].toLongLong()});
        if (f.size() == 6 && f[0] == QLatin1String("refused"))
            m_refused.insert(f[1].toInt(), {f[2], f[3], f[4].toLongLong(), f[5]});
        // 9: saved before moves could be refused, 10: before documents were counted, 11:
        // before billed copies were kept
        if (f.size() < 9 || f.size() > 13) continue;
        CTrackedJob t;
        t.id = f[0].toInt();
        t.documents = f.value(10).toInt();
        t.user = f[1];
        t.base = f[2];
        t.queue = f[3];
        t.created = f[4].toLongLong();
        t.held = f[5] == QLatin1String("1");
        t.settled = f[6] == QLatin1String("1");
        t.done = f[7] == QLatin1String("1");
        t.billing = f[8];
        t.unmoved = f.value(9);
        t.jobFile = QByteArray::fromBase64(f.value(11).toLatin1());
        t.answer = Platform::DecodeLines(QByteArray::fromBase64(f.value(12).toLatin1()));
        Platform::Account account;
        if (t.id <= 0 || !UsableFolderName(t.user) || !Platform::FindAccount(t.user, &account))
            continue;
        t.uid = account.uid;
        m_jobs.insert(t.id, t);
    }
    return {};
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
        // What a release copies to its billed copy.
        const QByteArray jobFile = t.done ? QByteArray() : t.jobFile.toBase64();
        const QByteArray answer =
            t.done ? QByteArray() : Platform::EncodeLines(t.answer).toBase64();
        lines << QStringList{QString::number(t.id),
                             t.user,
                             t.base,
                             t.queue,
                             QString::number(t.created),
                             t.held ? QStringLiteral("1") : QStringLiteral("0"),
                             t.settled ? QStringLiteral("1") : QStringLiteral("0"),
                             t.done ? QStringLiteral("1") : QStringLiteral("0"),
                             t.billing,
                             t.unmoved,
                             QString::number(t.documents),
                             QString::fromLatin1(jobFile),
                             QString::fromLatin1(answer)}
                     .join(QLatin1Char('\t'));
        if (!t.done) waiting.insert(t.user);
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    m_unreleased.removeIf([&](auto it) { return now - it->seen > kUnreleasedSeconds; });
    for (auto it = m_unreleased.cbegin(); it != m_unreleased.cend(); ++it)
        lines << QStringList{QStringLiteral("unreleased"), QString::number(it.key()), it->queue,
                             it->user, QString::number(it->seen)}
                     .join(QLatin1Char('\t'));
    for (auto it = m_refused.cbegin(); it != m_refused.cend(); ++it)
        lines << QStringList{QStringLiteral("refused"),
                             QString::number(it.key()),
                             it->queue,
                             it->user,
                             QString::number(it->created),
                             QString(it->reason).replace(QLatin1Char('\t'), QLatin1Char(' '))}
                     .join(QLatin1Char('\t'));
    for (const QString& problem : m_policyProblem.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lines << QStringLiteral("policy\t") + problem;
    if (!m_machineDir.Save(StateFile(), Platform::EncodeLines(lines), 0600))
        Log(QStringLiteral("E"), QStringLiteral("Unable to save ") + gEnv.m_sMachinePath +
                                     QLatin1Char('/') + StateFile() + QStringLiteral(": ") +
                                     Platform::LastFileError().text);
    for (auto it = m_users.begin(); it != m_users.end();)
        it = waiting.contains(it.key()) ? std::next(it) : m_users.erase(it);
}
