#pragma once
// The job entry window. It scans the user's job folder when it is asked to show the pending
// jobs; jobs that need no input are settled by the scan itself.
#include "intake/cmonitor.h"
#include "intake/cprintjobinfos.h"

#include <memory>

class FPrintJobs {
public:
    // Scans for jobs, storing or cancelling those that need no input. The window that lists
    // the others is not built yet: they stay pending, their files untouched.
    void DoPrintJobs();

private:
    std::unique_ptr<CPrintJobInfos> mclsPrintJobs;
    std::unique_ptr<CMonitor> mclsMonitor;
};
