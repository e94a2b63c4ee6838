// The tray menu, and bringing the window in front forward after a click on the tray icon.
#ifndef HARKWIN_TRAY_MENU_H
#define HARKWIN_TRAY_MENU_H

#include "core/app_state.h"

void ShowTrayMenu(AppState* app);
// The window that takes the keyboard: the dialog, or the box it owns (the exit question) while
// that box keeps the dialog disabled.
HWND FrontWindow(const AppState* app);
// Activates the window with the foreground a click on the tray icon hands the program.
void BringForward(HWND window);

#endif
