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
    bool close;  // a close request, or the Exit button
    bool show;   // a double click on the icon
    bool menu;   // a right click on the icon
    bool pollTick;
    bool flashTick;
    bool shellRestart;   // "TaskbarCreated"
    WORD button;         // OK, Cancel or Apply; 0 for none
    UINT systemMessage;  // a system command or a request for the system menu; 0 for none
    WPARAM systemWParam;
    LPARAM systemLParam;
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
    UINT taskbarCreated;   // the shell's "TaskbarCreated" message
    bool exiting;          // the exit sequence has begun
    bool confirming;       // an exit confirmation is open
    bool trayRefused;      // start-up could not add the icon: the program is ending without one
    bool trackingMenu;     // the tray menu is open
    bool platformMoving;   // and it is a move or a size
    bool platformLoop;     // the platform's handling of a system command runs (RunPlatformLoop)
    bool handlerUnderWay;  // outside the program's own loops: events that start something wait
    bool runningDeferred;  // RunDeferred is under way: it runs what arrives meanwhile itself
    bool requestToSelf;    // the message being sent is the program's own request (SendToSelf)
    DeferredEvents deferred;
};

extern AppState g_app;

#endif
