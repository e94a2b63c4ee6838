// What a program test sees of the spies and how it scripts them.
#ifndef HARKWIN_SPY_CONTROL_H
#define HARKWIN_SPY_CONTROL_H

#include <functional>
#include <string>
#include <vector>

#include "tests/program/spies.h"

struct SpyControl {
    std::vector<std::string> log;  // the spied calls in order, e.g. "SetTimer 2 300"
    bool failWSAStartup = false;
    bool failTrayAdd = false;
    bool failSocket = false;
    bool failSelect = false;
    bool failRegistryWrites = false;
    long heapAllocsBeforeFailure = -1;  // -1: never fail
    int destroyedIcons = 0;
    NOTIFYICONDATAA lastTray = {};
    std::function<int(const char* text, const char* caption, UINT style)> messageBox;  // default: IDOK
    std::function<BOOL(HMENU menu, UINT flags)> trackPopup;                            // default: nothing chosen
    // Replaces the real lookup when set.
    std::function<HANDLE(const char* name, char* buffer, int length)> lookup;
    std::function<int(SOCKET s, const sockaddr* address)> connect;  // replaces the real connect when set
    std::function<void(DWORD message)> onTray;                      // runs inside each tray call, before the real one
    std::function<void()> onClose;                                  // runs inside each closesocket, after the real one
    // The platform's own loops and waiting calls, for a test that plays the platform: each
    // replaces the real call when set. point runs inside every call that may deliver messages.
    bool fakeTray = false;        // the tray calls succeed without reaching the shell
    bool fakeTimers = false;      // timers are recorded, never started
    bool fakeActivation = false;  // and showing: only the style changes
    std::function<void(const char* point)> point;
    std::function<void()> endMenu;                                     // before the real EndMenu
    std::function<LRESULT(UINT message, WPARAM wParam)> platformLoop;  // DefWindowProcA
    DWORD loopFlags = 0;                                               // added to GetGUIThreadInfo's
    HWND loopOwner = 0;                                                // and the menu owner or moving window
};

extern SpyControl g_spy;
void ResetSpies();
// The log entries that start with prefix, in order.
std::vector<std::string> SpyCalls(const std::string& prefix);

#endif
