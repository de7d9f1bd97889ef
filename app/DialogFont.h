// The font of the program's dialog windows: "MS Sans Serif" where it exists, else the
// desktop's sans-serif face, at the same point size.
#pragma once

#include <QFont>

QFont DialogFont(int pointSize = 8);
