#pragma once
// The windows' warnings: exclamation icon, OK button, the program's title.
#include <QString>

void Warn(const QString& text);
