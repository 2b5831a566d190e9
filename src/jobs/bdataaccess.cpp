#include "jobs/bdataaccess.h"

#include "common/bcommon.h"

void CheckLocalJobs(const QString&, const QString&, bool) {
    WriteTrace(QStringLiteral("starting checklocal jobs"));
    WriteTrace(QStringLiteral("ending checklocal jobs"));
}
