#include "platform/process.h"

#include "platform/system.h"

#include <QLockFile>
#include <QProcess>
#include <memory>

namespace Platform {

bool StartProgram(const QString& program, const QStringList& args) {
    return !program.isEmpty() && QProcess::startDetached(program, args);
}

bool AcquireInstanceLock(const QString& name) {
    static std::unique_ptr<QLockFile> held;
    auto lock =
        std::make_unique<QLockFile>(RuntimeFolder() + QLatin1Char('/') + name + QLatin1Char('-') +
                                    LoginName() + QStringLiteral(".lock"));
    lock->setStaleLockTime(0); // only a dead owner makes the lock stale
    if (!lock->tryLock(0)) return false;
    held = std::move(lock);
    return true;
}

} // namespace Platform
