#pragma once
// Command-line modes for administrators: check a configuration file, write it back in the
// current form or refresh a category's list in it from a CSV file (none touches the registry
// file, the settings store or a data folder),
// create the tables of a job database, run one import of stored jobs, and report from the job
// database.
#include <QStringList>

// Exit status: 0 done, 1 not done (not usable, not stored), 2 usage error.
int RunCommandLine(const QStringList& args);
