#include "dialog/fprintjobs.h"

void FPrintJobs::DoPrintJobs() {
    mclsPrintJobs = std::make_unique<CPrintJobInfos>();
    mclsMonitor = std::make_unique<CMonitor>();
    mclsPrintJobs->GetPrintJobs(*mclsMonitor);
}
