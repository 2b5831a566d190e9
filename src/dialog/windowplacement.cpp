#include "dialog/windowplacement.h"

namespace {
constexpr int kWidth = 6180, kHeight = 6300;
constexpr int kEdgeRoom = 600; // at least this much of the window stays on the screen
} // namespace

QRect StartPlacement(const std::optional<QRect>& stored, QSize screen) {
    QRect place;
    if (stored) {
        place = *stored;
    } else {
        int left = (screen.width() - kWidth) / 2, width = kWidth;
        if (left < 0) {
            left = 0;
            width = screen.width();
        }
        int top = (screen.height() - kHeight) / 2, height = kHeight;
        if (top < 0) {
            top = 0;
            height = screen.height();
        }
        place = QRect(left, top, width, height);
    }
    if (place.x() > screen.width() - kEdgeRoom) place.moveLeft(screen.width() / 2);
    if (place.y() > screen.height() - kEdgeRoom) place.moveTop(screen.height() / 2);
    return place;
}
