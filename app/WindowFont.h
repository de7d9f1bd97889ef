// The font every window of the program uses: the classic dialog face where it is
// installed, else the system's sans-serif face, at 8 points.
#pragma once

#include <QFont>

namespace app {

QFont WindowFont();
QFont BoldWindowFont();

} // namespace app
