// The program icon and the project logo, compiled into the program.
#pragma once

#include <QIcon>
#include <QPixmap>

QIcon ProgramIcon();
QPixmap ProgramIconPixmap(int size);  // 32 or 64 pixels square
QPixmap ProjectLogo();                // 83 x 33 pixels
