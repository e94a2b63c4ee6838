// The tray icon: its colour, tooltip and flashing.
#ifndef HARKWIN_STATUS_H
#define HARKWIN_STATUS_H

#include "base/app_state.h"

// text may be null: the tooltip on screen then stays as it is.
void SetStatus(AppState* app, ProbeStatus status, const char* text, bool force);
void OnFlashTick(AppState* app);

void PrepareTrayIcon(AppState* app, const char* tooltip);
bool AddTrayIcon(AppState* app);
void DeleteTrayIcon(AppState* app);
// Starts flashing with the current period, beginning with a hidden phase.
void RestartFlashTimer(AppState* app);

#endif
