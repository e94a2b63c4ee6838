// Where events may run inside a handler under way. Elsewhere a handler defers tray clicks and
// close requests as state (ConfigDialogProc), since a platform call that waits delivers what
// other threads send meanwhile, half way through the handler.
#ifndef HARKWIN_NESTING_H
#define HARKWIN_NESTING_H

#include "core/app_state.h"

// Around the program's own modal loops (the question, the tray menu, the system's loop for a
// system command): events run there as they come. Returns the mark for EndNestedEvents.
bool AllowNestedEvents(AppState* app);
void EndNestedEvents(AppState* app, bool deferring);
// A request of the program to itself (Exit, the menu's rows), handled at once.
void SendToSelf(AppState* app, UINT message, WPARAM wParam, LPARAM lParam);
// A menu, or a loop of the platform's own for a system command, is open: a close request
// ends it and is asked once it has returned, and no tray menu opens inside it.
bool LoopOfItsOwnOpen(const AppState* app);

#endif
