#pragma once
// Command-line modes for administrators: check a configuration file, or write it back in the
// current form. Neither touches the registry file, the settings store or any data folder.
#include <QStringList>

// Exit status: 0 usable, 1 not usable, 2 usage error.
int RunCommandLine(const QStringList& args);
