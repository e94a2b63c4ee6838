// The one process-wide state record that every handler works on.
#ifndef HARKWIN_APP_STATE_H
#define HARKWIN_APP_STATE_H

#include "core/model.h"
#include "core/platform.h"

// A socket layer may write a lookup's buffer and post its reply even after the lookup was
// cancelled, so every lookup owns its buffer until its own reply arrives.
struct LookupSlot {
    HANDLE task;
    LookupSlot* next;
    char buffer[MAXGETHOSTSTRUCT];
};

// The tray record; its size field names the first layout (88 bytes on 32-bit).
typedef NOTIFYICONDATAA TrayIcon;

// Events that arrived while a handler was under way: each runs once, after it (RunDeferred).
struct DeferredEvents {
    bool show;   // a double click on the icon
    bool menu;   // a right click on the icon
    bool close;  // a close request
};

struct AppState {
    HINSTANCE instance;
    HIMAGELIST imageList;
    SOCKET socket;
    HMENU menu;
    HWND window;
    TrayIcon trayIcon;
    Settings settings;
    HMENU popup;
    LookupSlot* lookups;  // every lookup whose reply has not arrived yet
    ProbeStatus currentStatus;
    HANDLE pendingLookup;
    HICON stashedIcon;
    sockaddr_in target;
    UINT taskbarCreated;  // the shell's "TaskbarCreated" message
    bool exiting;         // the exit sequence has begun
    bool confirming;      // an exit confirmation is open
    bool trayRefused;     // start-up could not add the icon: the program is ending without one
    bool trackingMenu;    // the tray menu is open
    int menuLoops;        // menu loops of the dialog's own (its system menu), as the platform reports them
    int systemLoops;      // the platform's default handling of a system command is under way
    bool deferring;       // a handler is under way: tray clicks and close requests wait (AllowNestedEvents)
    DeferredEvents deferred;
};

extern AppState g_app;

#endif
