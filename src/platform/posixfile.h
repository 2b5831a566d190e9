#pragma once
// Inside the platform layer only: the POSIX file primitives the other platform files share.
#include <QByteArray>
#include <QString>

struct stat;

namespace Platform::Posix {

// Opens a regular file with flags (O_NONBLOCK added, so that a FIFO or device never blocks);
// follow says whether a link at the name is followed. Fills st; -1 on failure.
int OpenRegular(const QString& path, int flags, bool follow, struct stat* st);
// Reads up to max bytes (to the end when max < 0); false on a read error.
bool ReadAll(int fd, qint64 max, QByteArray* out);
// Closes fd, keeping errno.
void Close(int fd);

} // namespace Platform::Posix
