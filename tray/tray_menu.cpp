#include "tray/tray_menu.h"

#include "ui/config_dialog.h"
#include "ui/resource.h"

// A window may come forward only while it holds the foreground, which a click on the tray
// icon hands it; without it the dialog opens behind others and the menu does not close on
// a click elsewhere.
static void Activate(AppState* app) {
    (void)SetActiveWindow(app->window);      // returns the previous active window, not a status
    (void)SetForegroundWindow(app->window);  // refused only when another program keeps the foreground
}

void ShowConfigDialog(AppState* app) {
    SettingsToDialog(app);
    EnableApply(app, false);
    (void)ShowWindow(app->window, SW_SHOW);  // returns the previous visibility
    (void)ShowWindow(app->window, SW_SHOWNORMAL);
    Activate(app);
    // Activation restores only a focus the dialog saved when it was hidden, which it may not
    // have: a dialog without one leaves the keyboard dead.
    if (!IsChild(app->window, GetFocus())) FocusDefaultButton(app);
}

static void ShowTrayMenu(AppState* app) {
    POINT cursor = {0, 0};
    (void)GetCursorPos(&cursor);  // on failure the menu opens at the corner, still usable
    Activate(app);
    UINT flags = TPM_RETURNCMD | TPM_NONOTIFY | TPM_BOTTOMALIGN | TPM_RIGHTALIGN | TPM_RIGHTBUTTON;
    app->trackingMenu = true;
    BOOL chosen = TrackPopupMenuEx(app->popup, flags, cursor.x, cursor.y, app->window, 0);
    app->trackingMenu = false;
    if (chosen == ID_TRAY_CONFIGURATION)
        SendMessageA(app->window, WM_APP_NOTIFY, 0, WM_LBUTTONDBLCLK);
    else if (chosen == ID_TRAY_EXIT)
        SendMessageA(app->window, WM_CLOSE, 0, 0);
}

void OnTrayNotify(AppState* app, UINT mouseMessage) {
    if (mouseMessage == WM_LBUTTONDBLCLK)
        ShowConfigDialog(app);
    else if (mouseMessage == WM_RBUTTONUP)
        ShowTrayMenu(app);
}
