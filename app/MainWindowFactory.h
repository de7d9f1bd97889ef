// The program's main window, made by the main window's own code. Its creation runs the main
// window's start-up; it is shown by the caller.
#pragma once

#include <QWidget>

#include <memory>

std::unique_ptr<QWidget> CreateMainWindow();
