// Every message of the program arrives here and is routed to its handler.
#include "app/dispatch.h"
#include "base/host.h"
#include "app/program.h"
#include "probe/probe.h"
#include "store/settings_store.h"
#include "tray/status.h"
#include "tray/foreground.h"
#include "dialog/config_dialog.h"
#include "base/resource.h"

// The record starts zeroed and is initialised once: a second WM_INITDIALOG is a forgery.
static void InitDialog(AppState* app, HWND window) {
    app->currentStatus = StatusTrying;
    app->window = window;
    // A shell that restarts forgets every icon and says so with this message.
    app->taskbarCreated = RegisterWindowMessageA("TaskbarCreated");

    app->menu = LoadMenuA(app->instance, MAKEINTRESOURCEA(IDR_TRAYMENU));
    app->popup = GetSubMenu(app->menu, 0);
    app->imageList = ImageList_Create(16, 16, ILC_COLOR4 | ILC_MASK, PaletteSize, 0);
    (void)SetMenuDefaultItem(app->popup, ID_TRAY_CONFIGURATION, FALSE);  // only the bold face is lost

    app->socket = INVALID_SOCKET;
    app->target.sin_family = AF_INET;
    app->target.sin_addr.s_addr = INADDR_NONE;

    for (unsigned i = 0; i < PaletteSize; ++i)
        (void)ImageList_ReplaceIcon(app->imageList, -1, LoadIconA(app->instance, MAKEINTRESOURCEA(Palette[i].iconId)));

    FillDialogLists(app);
    LoadSettings(app);
    SettingsToDialog(app);
    EnableApply(app, false);

    PrepareTrayIcon(app, "Initializing...");
    if (!AddTrayIcon(app)) {
        BeginEnding(app);  // no shell restart may add an icon that nothing would delete
        (void)MessageBoxA(window, "Error adding tray icon!", 0, MB_ICONERROR);  // the answer is always OK
        (void)EndDialog(window, 1);
    }
    SetStatus(app, app->currentStatus, 0, true);
}

static void RunExitSequence(AppState* app) {
    BeginEnding(app);
    SaveSettings(app);
    CloseProbeSocket(app);
    if (app->pendingLookup) (void)WSACancelAsyncRequest(app->pendingLookup);  // its reply is ignored anyway
    FreeHost(app);
    (void)DestroyMenu(app->menu);
    (void)KillTimer(app->window, IDT_POLL);  // fails only when OK never started it
    if (StatusFlashes(&app->settings, app->currentStatus)) (void)KillTimer(app->window, IDT_FLASH);
    DeleteTrayIcon(app);
    (void)EndDialog(app->window, 0);
}

// The tray menu stays usable while the question is open: a second request is not asked again.
static void ConfirmExit(AppState* app) {
    if (AskExitQuestion(app, "Are you sure you want to exit?", "Question", MB_YESNO | MB_ICONQUESTION) == IDYES)
        RunExitSequence(app);
}

static void ShowTrayMenu(AppState* app) {
    POINT cursor = {};
    (void)GetCursorPos(&cursor);  // on failure the menu opens at the corner, still usable
    BringForward(FrontWindow(app));
    // A close request delivered meanwhile is asked next: the menu would only keep it waiting.
    if (app->dispatch.closeNoted) return;
    UINT flags = TPM_RETURNCMD | TPM_NONOTIFY | TPM_BOTTOMALIGN | TPM_RIGHTALIGN | TPM_RIGHTBUTTON;
    UINT chosen = TrackTrayMenu(app, app->popup, flags, cursor.x, cursor.y);
    if (chosen == ID_TRAY_CONFIGURATION) ShowConfigDialog(app);
    if (chosen == ID_TRAY_EXIT) ConfirmExit(app);
}

static void OnTimer(AppState* app, WPARAM timer) {
    if (timer == IDT_POLL)
        StartProbe(app);
    else if (timer == IDT_FLASH)
        OnFlashTick(app);
    else if (timer == IDT_NOTED)
        (void)KillTimer(app->window, IDT_NOTED);  // what waited runs as this returns, or sets it again
}

// A double click on the icon shows the dialog, a right click opens the menu.
// The whole lParam, as the fate table reads it: one with high bits set is no click.
static void OnTrayMouse(AppState* app, LPARAM mouseMessage) {
    if (mouseMessage == WM_LBUTTONDBLCLK)
        ShowConfigDialog(app);
    else if (mouseMessage == WM_RBUTTONUP)
        ShowTrayMenu(app);
}

// One message, three sources, told apart by wParam in this order.
static void OnAppNotify(AppState* app, WPARAM wParam, LPARAM lParam) {
    if (app->socket != INVALID_SOCKET && wParam == (WPARAM)app->socket && WSAGETSELECTEVENT(lParam) == FD_CONNECT)
        OnConnectResult(app, lParam);
    else if (app->pendingLookup != 0 && wParam == (WPARAM)app->pendingLookup)
        OnLookupResult(app, lParam);
    else if (wParam == app->trayIcon.uID)
        OnTrayMouse(app, lParam);
    else
        (void)ReleaseLookup(app, wParam);  // the late reply of an abandoned lookup, or nothing
}

// The routing table; every message comes through the fate table first (app/dispatch.cpp).
INT_PTR RouteMessage(AppState* app, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: InitDialog(app, window); return TRUE;
    case WM_CLOSE: ConfirmExit(app); return TRUE;
    case WM_SYSCOMMAND:
    case WM_POPUPSYSTEMMENU:
    case WM_CONTEXTMENU: RunSystemCommand(app, message, wParam, lParam); return TRUE;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED) (void)ShowWindow(window, SW_HIDE);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_EXIT && HIWORD(wParam) == BN_CLICKED)  // as the fate table reads it
            ConfirmExit(app);
        else
            OnDialogCommand(app, wParam);
        return TRUE;
    case WM_TIMER: OnTimer(app, wParam); return TRUE;
    case WM_APP_NOTIFY: OnAppNotify(app, wParam, lParam); return TRUE;
    default:
        if (!IsShellRestart(app, message)) return FALSE;
        (void)AddTrayIcon(app);  // a refusal waits for the next shell
        return TRUE;
    }
}

INT_PTR CALLBACK ConfigDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Dispatch(&g_app, window, message, wParam, lParam);
}
