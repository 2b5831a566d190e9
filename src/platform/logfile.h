#pragma once
// A log file that keeps to a size: the one before is kept as path + ".old".
#include <QString>

namespace Platform {

// Appends line (CR LF) to the file at path. A file that has reached maxBytes is first moved
// to path + ".old", replacing the one there. A relative path is refused, so that a log never
// lands in the current folder. False when the line was not written.
bool AppendLogLine(const QString& path, const QString& line, qint64 maxBytes);

} // namespace Platform
