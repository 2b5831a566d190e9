#include "jobs/importtrust.h"

#include "common/bcommon.h"
#include "common/environment.h"
#include "jobs/cprintjobinfo.h"
#include "platform/files.h"
#include "platform/system.h"

#include <QDir>

CImportTrust::CImportTrust(const QString& root) {
    const QString own = AddBackslash(gEnv.m_sLocalUserPath) + QStringLiteral("users/");
    m_own = !gEnv.m_sLocalUserPath.isEmpty() && QDir::cleanPath(root) == QDir::cleanPath(own);
    m_keeperKnown = Platform::Folder::Open(root).Owner(&m_keeper);
}

QString CImportTrust::Refusal(const CPrintJobInfo& job, uint dataOwner, bool jobFileRead,
                              uint jobOwner) const {
    const QString user = QLatin1Char('"') + job.UserName.left(80) + QLatin1Char('"');
    if (m_own)
        return job.UserName.compare(gEnv.m_sUserName, Qt::CaseInsensitive) == 0
                   ? QString()
                   : QStringLiteral("it names %1, not the importing user").arg(user);
    if (Trusted(dataOwner)) return {}; // written by the monitor's account or an administrator
    if (!jobFileRead || !Trusted(jobOwner))
        return QStringLiteral("its facts are not from a job file of the monitor");
    Platform::Account account;
    if (!Platform::FindAccount(job.UserName, &account) || account.uid != dataOwner)
        return QStringLiteral("its data file does not belong to %1").arg(user);
    return {};
}

QString CImportTrust::BilledRefusal(uint folderOwner, bool dataRead, uint dataOwner,
                                    bool jobFileRead, uint jobOwner) const {
    return !m_own && Trusted(folderOwner) && dataRead && Trusted(dataOwner) && jobFileRead &&
                   Trusted(jobOwner)
               ? QString()
               : QStringLiteral("it is not a billed copy of the monitor");
}
