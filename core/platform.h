// The Win32 headers the program uses. The program-test build routes the program's platform
// calls through spies (tests/program/spies.h), which record them and otherwise pass them on.
#ifndef HARKWIN_PLATFORM_H
#define HARKWIN_PLATFORM_H

#include <windows.h>
#include <winsock.h>
#include <commctrl.h>
#include <shellapi.h>

// The taskbar asks a window for its system menu with this message; some headers lack it.
#ifndef WM_POPUPSYSTEMMENU
#define WM_POPUPSYSTEMMENU 0x0313
#endif

#ifdef HARKWIN_SPIES
#include "tests/program/spies.h"
#endif

#endif
