#pragma once
// The monitor's own reports, shared by its source files.
#include "monitor/cqorvmonitor.h"

#include <QString>

namespace monitor {
// What an administrator must see goes to the log file and to standard error (the journal).
void Log(const QString& level, const QString& text);
// A file of folder that could not be written, and why (the last file error).
void LogUnwritten(const Platform::Folder& folder, const QString& name);
// "job 7 on Laser for alice"
QString JobText(const CQorvMonitor::CTrackedJob& t);
} // namespace monitor
