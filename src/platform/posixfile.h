#pragma once
// Inside the platform layer only: the POSIX file primitives the other platform files share.
#include <QByteArray>
#include <QString>

struct stat;
struct timespec;

namespace Platform::Posix {

// Opens a regular file with flags (O_NONBLOCK added, so that a FIFO or device never blocks);
// follow says whether a link at the name is followed. Fills st; -1 on failure.
int OpenRegular(const QString& path, int flags, bool follow, struct stat* st);
// Reads up to max bytes (to the end when max < 0); false on a read error.
bool ReadAll(int fd, qint64 max, QByteArray* out);
// Closes fd, keeping errno.
void Close(int fd);

// Notes error as the last file error of this thread (see LastFileError); false.
bool Fail(int error);
bool FailNotRegular();
// The system's form of path; empty for an empty path, which never reaches the system.
QByteArray Native(const QString& path);
// Writes all of data through the test seam of SetWriteLimit.
bool WriteAll(const QString& path, int fd, const QByteArray& data);
bool StatPath(const QString& path, struct stat* st, bool follow = true);
// Writes data to a new file beside target (relative to dirfd) and renames it over target;
// times, when given, become the new file's access and modification times; mode (else the old
// file's) and owner, when >= 0, are the new file's.
bool ReplaceAt(int dirfd, const QByteArray& target, const QString& path, const QByteArray& data,
               const struct timespec* times, int mode = -1, int owner = -1);
bool Replace(const QString& path, const QByteArray& data, const struct timespec* times);

} // namespace Platform::Posix
