#pragma once
// Design sizes are given in twips, 1440 to the inch; the screen's logical DPI turns them into
// pixels (15 twips to the pixel at 96 DPI). Every conversion of the windows goes through here.
namespace Twips {

double PerPixelX();
double PerPixelY();
int ToPixelsX(double twips);
int ToPixelsY(double twips);
double FromPixelsX(int pixels);
double FromPixelsY(int pixels);

} // namespace Twips
