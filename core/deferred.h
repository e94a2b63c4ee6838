// Events that arrive while a handler is under way, and run once after it.
//
// A platform call that waits (a tray update, activation, a peek at the queue) delivers what
// other threads send meanwhile: the shell's tray notices, another program's close request or
// system command. Run there, they would start half way through the handler that made the call.
#ifndef HARKWIN_DEFERRED_H
#define HARKWIN_DEFERRED_H

#include "core/app_state.h"

// Notes or drops the events it names, which would start something; false for the rest, which
// run at once (a field's change notice, a size, what the dialog manager handles).
bool Defer(AppState* app, UINT message, WPARAM wParam, LPARAM lParam);
// Runs each noted event once, by the same route, unless a loop is open: then they wait for the
// next handler of the dialog's to return after it (the one that opened the loop, where the
// program opened it; else the dialog's next message). Once the dialog is ending they are dropped.
void RunDeferred(AppState* app);

#endif
