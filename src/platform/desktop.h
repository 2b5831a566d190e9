#pragma once
// The desktop: opening documents with its handler for their type, whether it is still there.
#include <QString>

namespace Platform {

// Opens a local file (a help page) with the desktop's viewer for it. False when the file does
// not exist or no viewer could be started.
bool OpenDocument(const QString& path);

// Whether the display the session names ($WAYLAND_DISPLAY, else a local $DISPLAY) still
// answers; true when none is named (the program then runs offscreen) or it is remote.
bool DisplayReachable();

} // namespace Platform
