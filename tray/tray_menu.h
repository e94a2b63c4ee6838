// The tray icon's mouse actions: a double click shows the dialog, a right click opens the menu.
#ifndef HARKWIN_TRAY_MENU_H
#define HARKWIN_TRAY_MENU_H

#include "core/app_state.h"

void OnTrayNotify(AppState* app, UINT mouseMessage);
void ShowConfigDialog(AppState* app);

#endif
