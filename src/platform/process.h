#pragma once
// Processes: starting the sibling programs, the one-instance test.
#include <QString>
#include <QStringList>

namespace Platform {

// Starts a program without waiting for it; false when it could not be started.
bool StartProgram(const QString& program, const QStringList& args = {});
// Holds a per-user lock for the rest of the process; false when another process holds it.
bool AcquireInstanceLock(const QString& name);

} // namespace Platform
