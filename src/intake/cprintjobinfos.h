#pragma once
// The jobs waiting for the user, keyed by job file path, and the scan of the job folder that
// finds new jobs and settles those that need no input.
#include "common/collection.h"
#include "jobs/cprintjobinfo.h"

class CMonitor;

class CPrintJobInfos : public CCollection<CPrintJobInfo, true> {
public:
    Ptr NewCPrintJobInfo(const QString& key = {}, const CRef& before = {}, const CRef& after = {}) {
        return AddNew(key, before, after);
    }
    // Same user, machine, submit time and job number (upper 16 bits above 65535).
    bool JobExists(const CPrintJobInfo& job) const;
    bool IDExists(const QString& jobFileName) const { return Exists(jobFileName); }
    void GetPrintJobs(CMonitor& monitor);
    bool DisplayRequired() const;
};
