#pragma once
// Processes: starting the sibling programs, the one-instance test.
#include <QString>
#include <QStringList>

namespace Platform {

// Starts a program without waiting for it; false when it could not be started.
bool StartProgram(const QString& program, const QStringList& args = {});
// Runs a program until it ends, with this process's standard channels; its exit code, or -1
// when it crashed or could not be started.
int RunProgram(const QString& program, const QStringList& args = {});
enum class InstanceLock { Acquired, HeldByAnother, Unavailable };
// Takes the per-user lock named name for the rest of the process: in the runtime folder when it
// is this user's own, else in fallbackFolder. HeldByAnother only when a live process holds it;
// Unavailable when neither folder can hold a lock; why then says why.
InstanceLock AcquireInstanceLock(const QString& name, const QString& fallbackFolder,
                                 QString* why = nullptr);

} // namespace Platform
