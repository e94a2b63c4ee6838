// The one process-wide state record that every handler works on.
#ifndef HARKWIN_APP_STATE_H
#define HARKWIN_APP_STATE_H

#include "base/model.h"
#include "base/platform.h"

// A socket layer may write a lookup's buffer and post its reply even after the lookup was
// cancelled, so every lookup owns its buffer until its own reply arrives.
struct LookupSlot {
    HANDLE task;
    LookupSlot* next;
    char buffer[MAXGETHOSTSTRUCT];
};

// The tray record; its size field names the first layout (88 bytes on 32-bit).
typedef NOTIFYICONDATAA TrayIcon;

// A message that could not run where it arrived, kept to run once as soon as it can.
struct NotedEvent {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    int kind;                // as the fate table classed it when it arrived
    bool connectNotice;      // of the socket open when it arrived,
    unsigned socketsClosed;  // while the probe's count was this: stale once it moves
};

// Only a program that floods us sends more different events under one handler.
const unsigned MaxNotedEvents = 16;

// Where the thread is: all that decides an event's fate. Only app/dispatch.cpp changes it.
struct DispatchState {
    int handlers;     // our handlers under way since the innermost loop of ours opened
    int ownLoops;     // menu, move or size loops of ours open (the tray menu, the system menu, ...)
    bool ownMove;     // one of them is a move or a size
    bool asking;      // the exit question is open
    bool ending;      // start-up failed or the exit sequence has begun
    bool closeNoted;  // a close request waits for its question
    unsigned notedCount;
    NotedEvent noted[MaxNotedEvents];  // in the order they arrived
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
    UINT taskbarCreated;     // the shell's "TaskbarCreated" message
    unsigned socketsClosed;  // by the probe: a new socket may be given a closed one's handle
    DispatchState dispatch;
};

extern AppState g_app;

#endif
