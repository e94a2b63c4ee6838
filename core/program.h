// The entry procedure and the dialog procedure that routes every message.
#ifndef HARKWIN_PROGRAM_H
#define HARKWIN_PROGRAM_H

#include "core/app_state.h"

int ProgramMain(HINSTANCE instance);
INT_PTR CALLBACK ConfigDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Where the program lets events nest: its own modal loops (the question, the menu) and its own
// requests to itself. Returns the mark to hand back to CloseToEvents.
bool OpenToEvents(AppState* app);
void CloseToEvents(AppState* app, bool busy);
// A request of the program to itself (Exit, the menu's rows), handled at once.
void SendToSelf(AppState* app, UINT message, WPARAM wParam, LPARAM lParam);

#endif
