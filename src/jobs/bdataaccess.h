#pragma once
// Moving the jobs stored as data files to the job database or a shared folder.
#include <QString>

// Imports the completed jobs below root (one subfolder per user). The import itself is not
// built yet: the call writes its trace lines and leaves every file in place.
void CheckLocalJobs(const QString& root, const QString& dataFile, bool unused);
