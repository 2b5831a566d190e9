#include "dialog/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace Twips {
namespace {
constexpr double kPerInch = 1440.0;
constexpr double kFallbackDpi = 96.0;

double Dpi(bool horizontal) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = !screen      ? kFallbackDpi
                       : horizontal ? screen->logicalDotsPerInchX()
                                    : screen->logicalDotsPerInchY();
    return dpi > 0 ? dpi : kFallbackDpi;
}
} // namespace

double PerPixelX() {
    return kPerInch / Dpi(true);
}
double PerPixelY() {
    return kPerInch / Dpi(false);
}
int ToPixelsX(double twips) {
    return int(std::lround(twips / PerPixelX()));
}
int ToPixelsY(double twips) {
    return int(std::lround(twips / PerPixelY()));
}
double FromPixelsX(int pixels) {
    return pixels * PerPixelX();
}
double FromPixelsY(int pixels) {
    return pixels * PerPixelY();
}

} // namespace Twips
