#pragma once
// Where the job entry window opens, in twips.
#include <QRect>
#include <QSize>
#include <optional>

// The window's place from the stored one (nullopt when any of left, top, width and height is
// missing) on a screen of the given size. Without a stored place the window is 6180 x 6300,
// centred; on a screen too small for that it starts at the edge with the screen's size. A
// window that would start past the right or bottom edge (a monitor that is gone) is pulled
// back to the middle.
QRect StartPlacement(const std::optional<QRect>& stored, QSize screen);
