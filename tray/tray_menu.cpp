#include "tray/tray_menu.h"

#include "core/dispatch.h"
#include "ui/resource.h"

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

void ShowTrayMenu(AppState* app) {
    POINT cursor = {0, 0};
    (void)GetCursorPos(&cursor);  // on failure the menu opens at the corner, still usable
    BringForward(FrontWindow(app));
    // A close request delivered meanwhile is asked next: the menu would only keep it waiting.
    if (app->dispatch.closeNoted) return;
    UINT flags = TPM_RETURNCMD | TPM_NONOTIFY | TPM_BOTTOMALIGN | TPM_RIGHTALIGN | TPM_RIGHTBUTTON;
    UINT chosen = TrackTrayMenu(app, app->popup, flags, cursor.x, cursor.y);
    if (chosen == ID_TRAY_CONFIGURATION) SendToSelf(app, WM_APP_NOTIFY, app->trayIcon.uID, WM_LBUTTONDBLCLK);
    if (chosen == ID_TRAY_EXIT) SendToSelf(app, WM_CLOSE, 0, 0);
}
