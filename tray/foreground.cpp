#include "tray/foreground.h"

// Found by hand: GetWindow(GW_ENABLEDPOPUP) returns nothing under some platforms, and
// GetLastActivePopup names the dialog itself once it has been activated.
HWND FrontWindow(const AppState* app) {
    if (IsWindowEnabled(app->window)) return app->window;
    for (HWND box = FindWindowExA(0, 0, "#32770", 0); box; box = FindWindowExA(0, box, "#32770", 0))
        if (GetWindow(box, GW_OWNER) == app->window && IsWindowVisible(box) && IsWindowEnabled(box)) return box;
    return app->window;
}

// A window may come forward only while it holds the foreground, which a click on the tray
// icon hands it; without it the dialog opens behind others and the menu does not close on
// a click elsewhere.
void BringForward(HWND window) {
    (void)SetActiveWindow(window);      // returns the previous active window, not a status
    (void)SetForegroundWindow(window);  // refused only when another program keeps the foreground
}
