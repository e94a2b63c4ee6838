// Bringing the window in front forward after a click on the tray icon.
#ifndef HARKWIN_FOREGROUND_H
#define HARKWIN_FOREGROUND_H

#include "base/app_state.h"

// The window that takes the keyboard: the dialog, or the box it owns (the exit question) while
// that box keeps the dialog disabled.
HWND FrontWindow(const AppState* app);
// Activates the window with the foreground a click on the tray icon hands the program.
void BringForward(HWND window);

#endif
