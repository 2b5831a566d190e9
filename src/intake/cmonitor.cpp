#include "intake/cmonitor.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "common/values.h"
#include "config/cprintergroup.h"
#include "jobs/cprintjobinfo.h"
#include "jobs/documentpath.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/lines.h"
#include "platform/system.h"

#include <limits>

namespace {
constexpr qint64 kMaxJobFileBytes = 8 << 20;
} // namespace

CMonitor::CMonitor() : m_computerName(::ThisComputerName()) {}

QStringList CMonitor::ReadJobLines(const QString& path, int maxLines, bool* ok) {
    bool read = false;
    const QByteArray bytes = Platform::ReadHead(path, kMaxJobFileBytes, &read);
    if (ok) *ok = read;
    // A job file gone since the listing is no error; a FIFO, device or link in its place is.
    if (!read && Platform::KindOf(path) != Platform::EntryKind::Missing)
        WriteLog(QStringLiteral("E"), QStringLiteral("Job file skipped: ") + path +
                                          QStringLiteral(": ") + Platform::LastFileError().text);
    QStringList lines;
    Platform::ForEachLine(QByteArrayView(bytes), [&](QByteArrayView line) {
        if (lines.size() >= maxLines) return false;
        lines << Platform::DecodeText(line.toByteArray());
        return true;
    });
    return lines;
}

std::shared_ptr<CPrintJobInfo> CMonitor::GetNextPrintJob(const QString& path) {
    return GetNextPrintJob(path, ReadJobLines(path, kJobLines));
}

std::shared_ptr<CPrintJobInfo> CMonitor::GetNextPrintJob(const QString& path,
                                                         const QStringList& lines) {
    auto job = std::make_shared<CPrintJobInfo>();
    job->JobFileName = path;
    auto line = [&](int n, QString& out) {
        if (n > lines.size()) return false;
        out = lines[n - 1];
        return true;
    };
    QString t;
    // A field that is not a number in range keeps its value.
    constexpr qint32 kMin32 = std::numeric_limits<qint32>::min();
    constexpr qint32 kMax32 = std::numeric_limits<qint32>::max();
    constexpr qint32 kMin16 = -32768, kMax16 = 32767;
    line(3, job->QueueName);
    if (line(4, t)) ToWholeNumber(t, kMin32, kMax32, &job->PrintJobID);
    line(5, job->PrinterName);
    line(6, job->MachineName);
    line(7, job->UserName);
    if (line(8, t)) job->DocumentName = TrimAtNul(t).trimmed();
    line(9, job->PathAndFilename);
    if (line(10, t)) {
        CDate d;
        if (CDate::Parse(NormalizeDateText(t), &d)) job->SubmitDT = d;
    }
    if (line(11, t)) ToWholeNumber(t, kMin32, kMax32, &job->JobSizeBytes);
    if (line(12, t)) {
        ToWholeNumber(t, kMin16, kMax16, &job->PagesPerCopy);
        job->SeparatorPages = 0;
    }
    if (line(13, t)) ToWholeNumber(t, kMin16, kMax16, &job->NumCopies);
    line(14, job->PaperName);
    double v = 0;
    if (line(15, t) && ParseNumber(t, &v)) job->PaperWidth = v;
    if (line(16, t) && ParseNumber(t, &v)) job->PaperHeight = v;
    job->TotalPages = (job->PagesPerCopy + job->SeparatorPages) * job->NumCopies;
    if (line(19, job->Color)) job->Reserved = 0;
    line(20, job->PrtDriverName);
    line(21, job->MediaType);
    line(22, job->Orientation);

    if (gEnv.m_bObtainPath && !job->DocumentName.isEmpty()) {
        if (job->PathAndFilename.size() < 2) {
            const QString profile =
                FolderOf(gEnv.m_sLocalUserPath.left(gEnv.m_sLocalUserPath.size() - 1));
            const QString appData = profile + QStringLiteral("Application Data/Autodesk/");
            const QStringList folders{
                gEnv.m_sRecentPath, appData + QStringLiteral("AutoCAD/Recent/Select File"),
                appData + QStringLiteral("AutoCAD 2004/R16.0/enu/Recent/Select File"),
                gEnv.m_sRecentPath};
            QString found;
            COpenFilesRound servers; // asked once for all four folders
            for (qsizetype i = 0; i < folders.size() && found.isEmpty(); ++i) {
                if (i == 3) Platform::Pause(500);
                found = TrimAtNul(
                    GetPathAndFilename(folders[i], job->DocumentName, job->UserName, &servers));
            }
            job->PathAndFilename = found.isEmpty() ? job->DocumentName : found;
        }
    } else {
        job->PathAndFilename = job->DocumentName;
    }

    for (QString* field : {&job->PrinterName, &job->UserName, &job->DocumentName, &job->QueueName,
                           &job->PathAndFilename})
        field->truncate(254);
    job->MachineName.truncate(15);
    for (QString* field :
         {&job->PaperName, &job->PrtDriverName, &job->MediaType, &job->Orientation})
        field->truncate(50);

    if (const auto group = job->PrinterGroup())
        for (int i = 0; i < group->Categories.Count(); ++i) job->CategoryValues.NewCCategoryValue();
    job->SetUserValues();
    return job;
}
