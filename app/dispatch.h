// Where the thread is, and the fate of every message that reaches the dialog there.
//
// Everything meets on one thread, and a handler may run inside another: inside a loop that a
// handler opened (the exit question, the tray menu, the system menu, a move), where each
// handler is outermost, as in the dialog's own loop; or inside a platform call that waits (a
// tray update, activation, a peek), which delivers what other threads send meanwhile. There an
// event that would start something is noted, and runs once the handler under way returns.
#ifndef HARKWIN_DISPATCH_H
#define HARKWIN_DISPATCH_H

#include "base/app_state.h"

// The routing table (app/dialog_proc.cpp): runs the handler of a message whose fate is to run.
INT_PTR RouteMessage(AppState* app, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Gives the message its fate (the table in app/dispatch.cpp): runs it, notes it, or drops it.
INT_PTR Dispatch(AppState* app, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Start-up failed or the exit sequence has begun: nothing starts any more.
void BeginEnding(AppState* app);

// The program's own loops. The exit question returns the answer, or IDNO when it was not
// asked: it is open already, or the program is ending. It answers every close request so far.
int AskExitQuestion(AppState* app, const char* text, const char* caption, UINT style);
// The tray menu; returns the chosen command, or 0.
UINT TrackTrayMenu(AppState* app, HMENU menu, UINT flags, int x, int y);
// The platform's default handling of a system command, of a request for the system menu, or
// of a right click on the caption, as a loop of ours: the system menu, a move, a size.
void RunSystemCommand(AppState* app, UINT message, WPARAM wParam, LPARAM lParam);

// The shell's "TaskbarCreated": it restarted and forgot every icon. Never WM_NULL, should the
// message not have been registered.
bool IsShellRestart(const AppState* app, UINT message);

// A menu, move or size loop is open: one of ours, or one the platform reports for a window of
// this thread (a field's context menu, say).
bool LoopOpen(const AppState* app);

#endif
