#pragma once

#include <QWidget>

#include "shell/shell.h"

namespace mosaikon {

// The message box of the window program: the title Mosaikon, the text, an OK button, no icon.
void ShowMessageBox(const std::string& text);

// Connects the shell's message box and pointer seams to Qt; the pointer seam also enables the
// main window again.
void InstallQtServices(Shell& shell, QWidget* mainWindow);

}  // namespace mosaikon
