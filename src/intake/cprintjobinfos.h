#pragma once
// The jobs waiting for the user, keyed by job file path, and the scan of the job folder that
// finds new jobs and settles those that need no input.
#include "common/collection.h"
#include "jobs/cprintjobinfo.h"

#include <QHash>
#include <QSet>
#include <optional>

class CMonitor;

// One listing of a job folder: its job files, and the base names ("name." without the
// extension) that a data file settles. Extensions are matched without regard to case.
struct CJobFolderListing {
    QStringList jobFiles;
    QSet<QString> settled;
    // The job files without a data file of the same base name.
    int Pending() const;
};
CJobFolderListing ListJobFolder(const QString& folder);

// How a job is answered: its data file (the answer "cancel", or the stored job), a line for
// its ".shd" and a text for its ".pas".
struct CJobAnswer {
    bool cancel = false;
    std::optional<QString> shdLine;
    std::optional<QString> pass;
};
// The answer of a stored job: its group's redirect address, "resume" when the group holds
// jobs until they are acknowledged.
CJobAnswer StoredJobAnswer(CPrintJobInfo& job);
// Answers a job: the data file, then the ".shd" line (not again when the file already ends
// with it, as an earlier attempt left it), then the ".pas", which releases the job with both
// in place. A job is settled by its data file alone: when a later answer cannot be written the
// data file is taken back, so that the job stays pending and is answered again. True when all
// were written.
bool SettleJob(CPrintJobInfo& job, const CJobAnswer& answer);
// When (Platform::NowMs) the last scan wants to look again at a job it put off (an empty job
// file, a job whose answers could not be written), or -1 when it put none off.
qint64 JobRetryAt();

class CPrintJobInfos : public CCollection<CPrintJobInfo, true> {
    using Base = CCollection<CPrintJobInfo, true>;

public:
    // The collection's own, so that the same-job index follows every change.
    Ptr Add(Ptr item, const QString& key = {}, const CRef& before = {}, const CRef& after = {});
    bool Remove(const CRef& ref);
    void RemoveAll();
    Ptr NewCPrintJobInfo(const QString& key = {}, const CRef& before = {}, const CRef& after = {}) {
        return Add(std::make_shared<CPrintJobInfo>(), key, before, after);
    }
    // Same user, machine, submit time and job number (upper 16 bits above 65535).
    bool JobExists(const CPrintJobInfo& job) const;
    bool IDExists(const QString& jobFileName) const { return Exists(jobFileName); }
    // Reads the new job files of the user's job folder: each is answered "not logged", stored
    // at once, or added for the dialog. A job file this process has read or answered is not
    // read again while it is unchanged (name, size, time, inode). A pending job whose data
    // file appeared (the monitor's "cancel" or "unreleased": answered in the scheduler) is
    // dropped; returns how many were.
    int GetPrintJobs(CMonitor& monitor);
    bool DisplayRequired() const;

private:
    QHash<QString, int> m_sameJob;               // same-job key -> how many held jobs have it
    QHash<const CPrintJobInfo*, QString> m_keys; // the key each held job was indexed under
};
