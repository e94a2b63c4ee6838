#include "tray/tray_menu.h"

#include "core/program.h"
#include "ui/config_dialog.h"
#include "ui/resource.h"

// The window that takes the keyboard: the dialog, or the box it owns (the exit question) while
// that box keeps the dialog disabled. The platform's own answers for this (the enabled popup,
// the last active popup) are empty or name the dialog once it has been activated.
static HWND FrontWindow(AppState* app) {
    if (IsWindowEnabled(app->window)) return app->window;
    for (HWND box = FindWindowExA(0, 0, "#32770", 0); box; box = FindWindowExA(0, box, "#32770", 0))
        if (GetWindow(box, GW_OWNER) == app->window && IsWindowVisible(box) && IsWindowEnabled(box)) return box;
    return app->window;
}

// A window may come forward only while it holds the foreground, which a click on the tray
// icon hands it; without it the dialog opens behind others and the menu does not close on
// a click elsewhere.
static HWND Activate(AppState* app) {
    HWND front = FrontWindow(app);
    (void)SetActiveWindow(front);      // returns the previous active window, not a status
    (void)SetForegroundWindow(front);  // refused only when another program keeps the foreground
    return front;
}

void ShowConfigDialog(AppState* app) {
    SettingsToDialog(app);
    EnableApply(app, false);
    (void)ShowWindow(app->window, SW_SHOW);  // returns the previous visibility
    (void)ShowWindow(app->window, SW_SHOWNORMAL);
    // Activation restores only a focus the dialog saved when it was hidden, which it may not
    // have: a dialog without one leaves the keyboard dead. A box in front keeps its own.
    if (Activate(app) == app->window && !IsChild(app->window, GetFocus())) FocusDefaultButton(app);
}

static void ShowTrayMenu(AppState* app) {
    // A right click delivered while the menu is open would fail to track a second one.
    if (app->trackingMenu) return;
    POINT cursor = {0, 0};
    (void)GetCursorPos(&cursor);  // on failure the menu opens at the corner, still usable
    (void)Activate(app);
    UINT flags = TPM_RETURNCMD | TPM_NONOTIFY | TPM_BOTTOMALIGN | TPM_RIGHTALIGN | TPM_RIGHTBUTTON;
    app->trackingMenu = true;
    bool busy = OpenToEvents(app);
    BOOL chosen = TrackPopupMenuEx(app->popup, flags, cursor.x, cursor.y, app->window, 0);
    CloseToEvents(app, busy);
    app->trackingMenu = false;
    if (chosen == ID_TRAY_CONFIGURATION) SendToSelf(app, WM_APP_NOTIFY, 0, WM_LBUTTONDBLCLK);
    if (chosen == ID_TRAY_EXIT || app->closeRequested) {
        app->closeRequested = false;
        SendToSelf(app, WM_CLOSE, 0, 0);
    }
}

void OnTrayNotify(AppState* app, UINT mouseMessage) {
    if (mouseMessage == WM_LBUTTONDBLCLK)
        ShowConfigDialog(app);
    else if (mouseMessage == WM_RBUTTONUP)
        ShowTrayMenu(app);
}
