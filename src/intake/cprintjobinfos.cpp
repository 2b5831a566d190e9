#include "intake/cprintjobinfos.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "config/cconfigoptions.h"
#include "config/cprintergroup.h"
#include "intake/cmonitor.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/messages.h"

#include <QSet>

namespace {
qint32 KeyNumber(qint32 id) {
    return id > 65535 ? id / 65536 : id;
}

bool EndsWithNoCase(const QString& name, const char* ext) {
    return name.endsWith(QLatin1String(ext), Qt::CaseInsensitive);
}

// Equal as text means equal to the second.
QString SameJobKey(const CPrintJobInfo& j) {
    return j.UserName.toCaseFolded() + QChar(0x1f) + j.MachineName.toCaseFolded() + QChar(0x1f) +
           QString::number(qRound64(j.SubmitDT.Days() * 86400.0)) + QChar(0x1f) +
           QString::number(KeyNumber(j.PrintJobID));
}

// What this process knows of one job file, valid while the file keeps its stamp.
struct CJobFileMemo {
    Platform::FileStamp stamp;
    // The options the reading below was made under.
    std::weak_ptr<CConfigOptions> options;
    Platform::FileStamp optionsStamp;
    bool otherMachine = false;                // printed elsewhere: handled there
    bool answered = false;                    // answered by this process: never answered again
    bool reported = false;                    // a failed store or an odd file was reported once
    std::shared_ptr<const CPrintJobInfo> job; // the record as read
    // Not looked at again before this time (NowMs; 0: at once): an empty file given time to be
    // written, or a job whose answers could not be written, after the pause that follows.
    qint64 retryAt = 0;
    int retryPause = 0;
    bool waitedEmpty = false;
};

// An empty job file is read (a record with default fields) once it stayed empty this long:
// one caught between its creation and its first write is read when written.
constexpr int kEmptySettleMs = 1000;

// The job files of the folder scanned last, by name: kept for the life of the process (the
// windows that scan come and go), pruned to the names of the last listing, and forgotten when
// the user's folder changes.
QHash<QString, CJobFileMemo>& Memory(const QString* folder = nullptr) {
    static QString scanned;
    static QHash<QString, CJobFileMemo> memory;
    if (folder && *folder != scanned) {
        memory.clear();
        scanned = *folder;
    }
    return memory;
}

std::shared_ptr<CPrintJobInfo> Copy(const CPrintJobInfo& job) {
    auto copy = std::make_shared<CPrintJobInfo>(job);
    copy->CategoryValues.Equals(job.CategoryValues); // its own values, not shared ones
    return copy;
}

bool ReadUnder(const CJobFileMemo& memo, const Platform::FileStamp& optionsStamp) {
    return memo.options.lock() == gConfigOptions || memo.optionsStamp == optionsStamp;
}

void ReportStoreFailure() {
    const QString failed = QStringLiteral("Unable to save print job to database or to file.");
    WriteLog(QStringLiteral("E"), failed);
    if (gConfigOptions->LogSilent) return;
    Platform::Message m;
    m.text = failed + QLatin1Char('\r') +
             QStringLiteral("Contact your system administrator for assistance.");
    m.title = gEnv.m_sTitle;
    Platform::ShowMessage(m);
}
void ReportSentBack(const CPrintJobInfo& job, const QString& why) {
    const QString text = QStringLiteral("The print job \"") + job.DocumentName +
                         QStringLiteral("\" was not released: ") + why;
    WriteLog(QStringLiteral("E"), text);
    Platform::Message m;
    m.text = text;
    m.title = gEnv.m_sTitle;
    m.icon = Platform::MsgIcon::Exclamation;
    Platform::ShowMessage(m);
}
} // namespace

CJobFolderListing ListJobFolder(const QString& folder) {
    CJobFolderListing l;
    Platform::ListMatching(AddBackslash(folder) + QStringLiteral("*.*"), Platform::ListKind::Files,
                           [&](const QString& name) {
                               if (EndsWithNoCase(name, ".prt"))
                                   l.jobFiles << name;
                               else if (EndsWithNoCase(name, ".dat"))
                                   l.settled.insert(name.left(name.size() - 3));
                               return true;
                           });
    return l;
}

int CJobFolderListing::Pending() const {
    return int(std::count_if(jobFiles.begin(), jobFiles.end(), [&](const QString& name) {
        return !settled.contains(name.left(name.size() - 3));
    }));
}

CJobAnswer StoredJobAnswer(CPrintJobInfo& job) {
    CJobAnswer a;
    const auto group = job.PrinterGroup();
    if (group && group->Redirect != kNoRedirect) a.shdLine = group->Redirect;
    if (group && group->PauseUntilAck) a.pass = QStringLiteral("resume");
    return a;
}

bool SettleJob(CPrintJobInfo& job, const CJobAnswer& a) {
    const QString base = job.JobFileName.left(job.JobFileName.size() - 3);
    QString dataFile; // derived from the job file's name, with the group's category names
    if (a.cancel) dataFile = base + QStringLiteral("dat");
    if (a.cancel ? !WriteLineToFile(dataFile, QStringLiteral("cancel"), true)
                 : !job.SaveToFile(dataFile))
        return false;
    bool done = true;
    if (a.shdLine) {
        const QString shd = base + QStringLiteral("shd");
        const QStringList lines = Platform::ReadLines(shd);
        if (lines.isEmpty() || lines.last() != *a.shdLine)
            done = WriteLineToFile(shd, *a.shdLine, false);
    }
    const QString id = QString::number(job.PrintJobID);
    if (done && a.pass) {
        if (PassFilePath(job.QueueName, id).isEmpty()) // nowhere to send it: answered without
            WriteLog(QStringLiteral("E"),
                     QStringLiteral("No release written for ") + job.JobFileName +
                         QStringLiteral(": its queue name \"") + job.QueueName +
                         QStringLiteral("\" names no print server"),
                     true);
        else
            done = WritePassFile(job.QueueName, id, *a.pass);
    }
    if (!done) Platform::RemoveFile(dataFile);
    return done;
}

CPrintJobInfos::Ptr CPrintJobInfos::Add(Ptr item, const QString& key, const CRef& before,
                                        const CRef& after) {
    const Ptr added = Base::Add(std::move(item), key, before, after);
    if (added && added->PrintJobID_Valid()) {
        const QString k = SameJobKey(*added);
        ++m_sameJob[k];
        m_keys.insert(added.get(), k);
    }
    return added;
}

bool CPrintJobInfos::Remove(const CRef& ref) {
    const Ptr item = Item(ref);
    if (!Base::Remove(ref)) return false;
    const auto k = m_keys.constFind(item.get());
    if (k != m_keys.constEnd()) {
        if (--m_sameJob[*k] <= 0) m_sameJob.remove(*k);
        m_keys.erase(k);
    }
    return true;
}

void CPrintJobInfos::RemoveAll() {
    Base::RemoveAll();
    m_sameJob.clear();
    m_keys.clear();
}

bool CPrintJobInfos::JobExists(const CPrintJobInfo& job) const {
    return job.PrintJobID_Valid() && m_sameJob.contains(SameJobKey(job));
}

bool CPrintJobInfos::DisplayRequired() const {
    for (const auto& job : *this)
        if (job->DisplayRequired()) return true;
    return false;
}

namespace {
// Brings memo up to the job file: reads it unless the reading kept is still good. False when
// the file went since the listing.
bool ReadJobFile(CJobFileMemo& memo, const QString& path, const Platform::FileStamp& optionsStamp,
                 CMonitor& monitor) {
    if (!ReadUnder(memo, optionsStamp)) {
        memo.otherMachine = false;
        memo.job.reset();
    }
    if (memo.otherMachine || memo.job) return true;
    bool readable = false;
    const QStringList lines = CMonitor::ReadJobLines(path, CMonitor::kJobLines, &readable);
    if (!readable) return false;
    memo.options = gConfigOptions;
    memo.optionsStamp = optionsStamp;
    const QString machine = lines.size() >= 6 ? lines[5] : QString();
    const bool thisMachine = machine.contains(QLatin1String("unavailable"), Qt::CaseInsensitive) ||
                             machine.contains(gEnv.m_sMachineName, Qt::CaseInsensitive) ||
                             machine.contains(gEnv.m_sIPAddress, Qt::CaseInsensitive) ||
                             machine.contains(QLatin1String("127.0.0.1"), Qt::CaseInsensitive);
    memo.otherMachine = !thisMachine && !gConfigOptions->DisplayToUserOnly && !gEnv.m_bLogAllUsers;
    if (!memo.otherMachine) memo.job = monitor.GetNextPrintJob(path, lines);
    return true;
}

// What becomes of a job read from its job file.
enum class EJobDecision {
    NotLogged, // answered "cancel"
    Skipped,   // a duplicate, or a job file that went: nothing to write
    Display,   // waits for the user in the window
    Store,     // stored at once
};

EJobDecision Decide(CPrintJobInfo& job, bool duplicate, bool fileThere) {
    const auto group = job.PrinterGroup();
    if ((gConfigOptions->DisableLogging || (group && group->DisableLogging) || duplicate) &&
        job.PrtDriverName_Valid())
        return fileThere && !duplicate ? EJobDecision::NotLogged : EJobDecision::Skipped;
    if (job.DisplayRequired() && !(group && group->LogSilent)) return EJobDecision::Display;
    return EJobDecision::Store;
}

// Writes the answer of a job that needs no input; memo notes it when all was written, else
// when to try again: the fault (a full disk, a missing folder) is the machine's, and trying at
// once would only burn the processor until it is mended.
void WriteAnswer(EJobDecision decision, CPrintJobInfo& job, CJobFileMemo& memo, bool fileThere) {
    CJobAnswer answer = StoredJobAnswer(job);
    if (decision == EJobDecision::NotLogged) {
        answer = CJobAnswer{true, QStringLiteral("cancel"), {}};
        const auto group = job.PrinterGroup();
        if (group && group->PauseUntilAck) answer.pass = QStringLiteral("resume");
    } else if (!fileThere) {
        answer.pass.reset();
    }
    memo.answered = SettleJob(job, answer);
    if (memo.answered) return;
    memo.retryPause = Platform::NextRetryPause(memo.retryPause);
    memo.retryAt = Platform::NowMs() + memo.retryPause;
    if (decision == EJobDecision::Store && !memo.reported) { // a cancel is not reported
        ReportStoreFailure();
        memo.reported = true;
    }
}
} // namespace

qint64 JobRetryAt() {
    qint64 due = -1;
    for (const CJobFileMemo& memo : std::as_const(Memory()))
        if (memo.retryAt > 0 && (due < 0 || memo.retryAt < due)) due = memo.retryAt;
    return due;
}

int CPrintJobInfos::GetPrintJobs(CMonitor& monitor) {
    if (!gConfigOptions) return 0;
    const QString folder = gEnv.m_sUserPath + QLatin1Char('/');
    // One listing: a settled job is never opened.
    const CJobFolderListing listing = ListJobFolder(folder);
    QStringList answered; // not the user's to enter any more
    for (const auto& job : *this) {
        const QString& path = job->JobFileName;
        if (path.startsWith(folder) && listing.settled.contains(path.mid(folder.size()).chopped(3)))
            answered << path;
    }
    for (const QString& path : std::as_const(answered)) Remove(path);
    const Platform::FileStamp optionsStamp = Platform::StampOf(gEnv.m_sconfigfile);
    QHash<QString, CJobFileMemo>& known = Memory(&folder);
    const qint64 now = Platform::NowMs();
    QHash<QString, CJobFileMemo> kept; // the memos of the names listed now
    kept.reserve(listing.jobFiles.size());
    for (const QString& name : listing.jobFiles) {
        const QString path = folder + name;
        const QString base = path.left(path.size() - 3);
        if (listing.settled.contains(name.left(name.size() - 3))) continue;
        CJobFileMemo memo = known.take(name);
        if (IDExists(path)) { // already pending
            kept.insert(name, std::move(memo));
            continue;
        }
        const Platform::FileStamp stamp = Platform::StampOf(path);
        if (!stamp.exists || Platform::Exists(base + QStringLiteral("dat"))) continue;
        if (memo.stamp != stamp) {
            memo = CJobFileMemo{};
            memo.stamp = stamp;
        }
        if (!stamp.regular) {
            // A FIFO or a device would block the reader, a link points anywhere.
            if (!memo.reported)
                WriteLog(QStringLiteral("E"), QStringLiteral("not a job file, skipped: ") + path,
                         true);
            memo.reported = true;
            kept.insert(name, std::move(memo));
            continue;
        }
        if (!memo.answered && stamp.size == 0 && !memo.waitedEmpty) {
            memo.waitedEmpty = true;
            memo.retryAt = now + kEmptySettleMs;
        }
        if (!memo.answered && memo.retryAt > now) { // not yet
            kept.insert(name, std::move(memo));
            continue;
        }
        memo.retryAt = 0;
        if (!memo.answered && !ReadJobFile(memo, path, optionsStamp, monitor)) continue;
        if (memo.answered || memo.otherMachine) { // answered already, or handled elsewhere
            kept.insert(name, std::move(memo));
            continue;
        }
        const auto job = Copy(*memo.job);
        const bool fileThere = Platform::IsFile(path);
        EJobDecision decision = Decide(*job, JobExists(*job), fileThere);
        // Values the monitor refused: asked for again, never stored again as they were.
        if (const QString why = Platform::ReadLines(base + QStringLiteral("why")).value(0);
            !why.isEmpty() && decision != EJobDecision::NotLogged &&
            decision != EJobDecision::Skipped) {
            ReportSentBack(*job, why);
            if (decision == EJobDecision::Store) decision = EJobDecision::Skipped;
            memo.answered = decision == EJobDecision::Skipped;
        }
        if (decision == EJobDecision::Display) {
            if (job->MachineName.contains(QLatin1String("unavailable"), Qt::CaseInsensitive))
                job->MachineName = gEnv.m_sMachineName;
            Add(job, job->JobFileName);
        } else if (decision != EJobDecision::Skipped) {
            WriteAnswer(decision, *job, memo, fileThere);
        }
        kept.insert(name, std::move(memo));
    }
    known = std::move(kept);
    return int(answered.size());
}
