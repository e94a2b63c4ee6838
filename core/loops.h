// Which loops are open on the thread, and the three the program opens itself.
//
// A loop dispatches messages, so the handlers it runs nest inside the call that opened it. The
// program's own loops (the exit question, the tray menu, the platform's handling of a system
// command) are opened through the calls below, which let events run inside them as they come.
// Every other platform call that waits delivers only what other threads send meanwhile; those
// wait for the handler under way (Defer, in core/deferred.h).
#ifndef HARKWIN_LOOPS_H
#define HARKWIN_LOOPS_H

#include "core/app_state.h"

// The exit question's message box.
int AskInOwnLoop(AppState* app, const char* text, const char* caption, UINT style);
// The tray menu; returns the chosen command, or 0.
UINT TrackMenuInOwnLoop(AppState* app, HMENU menu, UINT flags, int x, int y);
// The platform's default handling of a message that may open a loop of its own: the system
// menu, a move or a size for a system command, the system menu for a right click on the caption.
void RunPlatformLoop(AppState* app, UINT message, WPARAM wParam, LPARAM lParam);

// A menu, move or size loop is open: one of the program's own, or one the platform reports
// for this thread (a field's context menu, say). Notices of menu loops are never counted: any
// program can post them.
bool LoopOpen(const AppState* app);
// Ends whatever menu, move or size loop is open, so that a close request is asked at once.
void EndLoops(AppState* app);

// A request of the program to itself (Exit, OK's Apply, the menu's rows): it runs at once, as
// its own handler, inside the one under way.
void SendToSelf(AppState* app, UINT message, WPARAM wParam, LPARAM lParam);

#endif
