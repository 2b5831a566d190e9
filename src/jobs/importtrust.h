#pragma once
// Whose word a job found below an import root is. In a shared folder of user folders the
// billed facts are the monitor's job file, and a user's data file speaks only for that user;
// the importing user's own local folder holds his own offline jobs, stored under his name only.
#include <QString>

class CPrintJobInfo;

class CImportTrust {
public:
    // root: the folder of user folders, ending in "/". A shared one is kept by its owner (the
    // monitor's account lays it out), who is trusted with root.
    explicit CImportTrust(const QString& root);
    // Why a job may not be stored, "" when it may: read from a data file owned by dataOwner and,
    // when jobFileRead, from a job file owned by jobOwner.
    QString Refusal(const CPrintJobInfo& job, uint dataOwner, bool jobFileRead,
                    uint jobOwner) const;

    // Why a job in a billed folder (the monitor's copies of released jobs) may not be stored,
    // "" when it may: the folder and both files must be the keeper's.
    QString BilledRefusal(uint folderOwner, bool dataRead, uint dataOwner, bool jobFileRead,
                          uint jobOwner) const;
    // The importing user's own local folder, where nothing is the monitor's.
    bool Own() const { return m_own; }

private:
    bool Trusted(uint owner) const { return owner == 0 || (m_keeperKnown && owner == m_keeper); }
    bool m_own = false;
    bool m_keeperKnown = false;
    uint m_keeper = 0;
};
