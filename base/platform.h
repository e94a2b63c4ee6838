// The Win32 headers the program uses. A build may name a header of its own that reroutes the
// platform calls: the program tests' spies, which record them and otherwise pass them on.
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

#ifdef HARKWIN_PLATFORM_SEAM
#include HARKWIN_PLATFORM_SEAM
#endif

#endif
