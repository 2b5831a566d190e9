#pragma once
// Opening documents with the desktop's handler for their type.
#include <QString>

namespace Platform {

// Opens a local file (a help page) with the desktop's viewer for it. False when the file does
// not exist or no viewer could be started.
bool OpenDocument(const QString& path);

} // namespace Platform
