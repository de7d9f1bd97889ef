// The look shared by the program's dialog windows: their font and their fixed frame.
#pragma once

#include <QDialog>
#include <QFont>
#include <QString>

class QPushButton;

// "MS Sans Serif" where it exists, else the desktop's sans-serif face, at the same size.
QFont DialogFont(int pointSize = 8);

// A fixed-size dialog frame with only the system menu (and its close button).
inline constexpr Qt::WindowFlags FixedDialogFlags =
    Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
    Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// Caption, program icon, dialog font and a fixed client size of width x height.
void SetUpFixedDialog(QDialog& dialog, const QString& objectName, const QString& caption, int width, int height);

// The "&Zatvoriť" button (75 x 25 at x, y), the default button, closing the dialog with OK.
QPushButton* AddCloseButton(QDialog& dialog, int x, int y);
