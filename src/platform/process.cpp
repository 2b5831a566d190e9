#include "platform/process.h"

#include "platform/files.h"
#include "platform/system.h"

#include <QLockFile>
#include <QProcess>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

bool StartProgram(const QString& program, const QStringList& args) {
    return !program.isEmpty() && QProcess::startDetached(program, args);
}

int RunProgram(const QString& program, const QStringList& args) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(program, args);
    // Blocks in the kernel until the child ends: nothing else runs in the caller meanwhile.
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit) return -1;
    return child.exitCode();
}

InstanceLock AcquireInstanceLock(const QString& name, const QString& fallbackFolder, QString* why) {
    static std::unique_ptr<QLockFile> held;
    const QString file =
        QLatin1Char('/') + name + QLatin1Char('-') + LoginName() + QStringLiteral(".lock");
    // A folder of another user (after su, or a shared temp folder) could hold a planted lock.
    const QString runtime = RuntimeFolder();
    struct stat st;
    const bool own = ::stat(EncodeName(runtime).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
                     st.st_uid == ::geteuid();
    for (const QString& folder : {own ? runtime : QString(), fallbackFolder}) {
        if (folder.isEmpty()) continue;
        auto lock = std::make_unique<QLockFile>(folder + file);
        lock->setStaleLockTime(0); // only a dead owner makes the lock stale
        if (lock->tryLock(0)) {
            held = std::move(lock);
            return InstanceLock::Acquired;
        }
        if (lock->error() == QLockFile::LockFailedError) return InstanceLock::HeldByAnother;
        if (why)
            *why = QStringLiteral("unable to make the lock file ") + folder + file +
                   (lock->error() == QLockFile::PermissionError
                        ? QStringLiteral(": permission denied")
                        : QStringLiteral(": the folder is missing or not writable"));
    }
    if (why && why->isEmpty()) *why = QStringLiteral("no folder for the lock file");
    return InstanceLock::Unavailable;
}

} // namespace Platform
