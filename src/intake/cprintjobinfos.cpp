#include "intake/cprintjobinfos.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "intake/cmonitor.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/system.h"

#include <QSet>

namespace {
qint32 KeyNumber(qint32 id) {
    return id > 65535 ? id / 65536 : id;
}

bool EndsWithNoCase(const QString& name, const char* ext) {
    return name.endsWith(QLatin1String(ext), Qt::CaseInsensitive);
}
} // namespace

bool CPrintJobInfos::JobExists(const CPrintJobInfo& job) const {
    if (!job.PrintJobID_Valid()) return false;
    // Equal as text means equal to the second.
    auto second = [](const CPrintJobInfo& j) { return qRound64(j.SubmitDT.Days() * 86400.0); };
    const qint64 submitted = second(job);
    for (const auto& held : *this)
        if (held->UserName.compare(job.UserName, Qt::CaseInsensitive) == 0 &&
            held->MachineName.compare(job.MachineName, Qt::CaseInsensitive) == 0 &&
            second(*held) == submitted && KeyNumber(held->PrintJobID) == KeyNumber(job.PrintJobID))
            return true;
    return false;
}

bool CPrintJobInfos::DisplayRequired() const {
    for (const auto& job : *this)
        if (job->DisplayRequired()) return true;
    return false;
}

void CPrintJobInfos::GetPrintJobs(CMonitor& monitor) {
    if (!gConfigOptions) return;
    const QString folder = gEnv.m_sUserPath + QLatin1Char('/');
    // One listing: the job files, and the base names already answered by a "dat" file. A
    // settled job is never opened.
    QStringList jobFiles;
    QSet<QString> settled;
    int seen = 0;
    Platform::ListMatching(folder + QStringLiteral("*.*"), Platform::ListKind::Files,
                           [&](const QString& name) {
                               if (EndsWithNoCase(name, ".prt"))
                                   jobFiles << name;
                               else if (EndsWithNoCase(name, ".dat"))
                                   settled.insert(name.left(name.size() - 3));
                               if (++seen % 256 == 0) Platform::ServiceMessageQueue();
                               return true;
                           });
    const auto& options = *gConfigOptions;
    for (const QString& name : jobFiles) {
        const QString path = folder + name;
        const QString base = path.left(path.size() - 3);
        if (IDExists(path) || settled.contains(name.left(name.size() - 3)) ||
            Platform::Exists(base + QStringLiteral("dat")))
            continue;
        // Printed on another machine: handled there.
        bool readable = false;
        const QStringList lines = CMonitor::ReadJobLines(path, CMonitor::kJobLines, &readable);
        if (!readable) continue; // gone since the listing
        const QString machine = lines.size() >= 6 ? lines[5] : QString();
        const bool thisMachine =
            machine.contains(QLatin1String("unavailable"), Qt::CaseInsensitive) ||
            machine.contains(gEnv.m_sMachineName, Qt::CaseInsensitive) ||
            machine.contains(gEnv.m_sIPAddress, Qt::CaseInsensitive) ||
            machine.contains(QLatin1String("127.0.0.1"), Qt::CaseInsensitive);
        if (!thisMachine && !options.DisplayToUserOnly && !gEnv.m_bLogAllUsers) continue;

        const auto job = monitor.GetNextPrintJob(path, lines);
        const bool duplicate = JobExists(*job);
        const auto group = job->PrinterGroup();
        const bool pause = group && group->PauseUntilAck;
        const QString queue = job->QueueName, id = QString::number(job->PrintJobID);
        if ((options.DisableLogging || (group && group->DisableLogging) || duplicate) &&
            job->PrtDriverName_Valid()) {
            if (Platform::IsFile(path) && !duplicate) {
                WriteLineToFile(base + QStringLiteral("dat"), QStringLiteral("cancel"), true);
                WriteLineToFile(base + QStringLiteral("shd"), QStringLiteral("cancel"), false);
                if (pause) WritePassFile(queue, id, QStringLiteral("resume"));
            }
            continue;
        }
        if (job->DisplayRequired() && !(group && group->LogSilent)) {
            if (job->MachineName.contains(QLatin1String("unavailable"), Qt::CaseInsensitive))
                job->MachineName = gEnv.m_sMachineName;
            Add(job, job->JobFileName);
            continue;
        }
        QString dataFile;
        if (job->SaveToFile(dataFile)) {
            if (group && group->Redirect != kNoRedirect)
                WriteLineToFile(base + QStringLiteral("shd"), group->Redirect, false);
            if (Platform::IsFile(path) && pause) WritePassFile(queue, id, QStringLiteral("resume"));
            continue;
        }
        const QString failed = QStringLiteral("Unable to save print job to database or to file.");
        WriteLog(QStringLiteral("E"), failed);
        if (!options.LogSilent) {
            Platform::Message m;
            m.text = failed + QLatin1Char('\r') +
                     QStringLiteral("Contact your system administrator for assistance.");
            m.title = gEnv.m_sTitle;
            Platform::ShowMessage(m);
        }
    }
}
