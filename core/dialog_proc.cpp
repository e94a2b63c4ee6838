// Every message of the program arrives here and is routed to its handler.
#include "core/deferred.h"
#include "core/host.h"
#include "core/loops.h"
#include "core/program.h"
#include "probe/probe.h"
#include "store/settings_store.h"
#include "tray/status.h"
#include "tray/tray_menu.h"
#include "ui/config_dialog.h"
#include "ui/resource.h"

static void InitDialog(AppState* app, HWND window) {
    app->currentStatus = StatusTrying;
    app->window = window;
    app->stashedIcon = 0;
    app->pendingLookup = 0;
    app->exiting = false;
    app->confirming = false;
    app->trayRefused = false;
    app->trackingMenu = false;
    app->platformLoop = false;
    app->platformMoving = false;
    app->runningDeferred = false;
    app->deferred = DeferredEvents();
    // A shell that restarts forgets every icon and says so with this message.
    app->taskbarCreated = RegisterWindowMessageA("TaskbarCreated");

    app->menu = LoadMenuA(app->instance, MAKEINTRESOURCEA(IDR_TRAYMENU));
    app->popup = GetSubMenu(app->menu, 0);
    app->imageList = ImageList_Create(16, 16, ILC_COLOR4 | ILC_MASK, 3, 0);
    (void)SetMenuDefaultItem(app->popup, ID_TRAY_CONFIGURATION, FALSE);  // only the bold face is lost

    ZeroMemory(&app->target, sizeof app->target);
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
        app->trayRefused = true;  // no shell restart may add an icon that nothing would delete
        (void)MessageBoxA(window, "Error adding tray icon!", 0, MB_ICONERROR);  // the answer is always OK
        (void)EndDialog(window, 1);
    }
    SetStatus(app, app->currentStatus, 0, true);
}

static void RunExitSequence(AppState* app) {
    app->exiting = true;
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

// The tray menu stays usable while the question is open: a second request is ignored.
// The exit sequence must not destroy a menu in use, nor the question open inside a loop: a
// request while one is open ends it, and is asked once it has returned.
static void ConfirmExit(AppState* app) {
    if (app->confirming || app->exiting || app->trayRefused) return;
    if (LoopOpen(app)) {
        app->deferred.close = true;
        EndLoops(app);
        return;
    }
    app->deferred.close = false;  // this question answers every request so far
    app->confirming = true;
    int answer = AskInOwnLoop(app, "Are you sure you want to exit?", "Question", MB_YESNO | MB_ICONQUESTION);
    app->confirming = false;
    if (answer == IDYES) RunExitSequence(app);
}

static void OnTimer(AppState* app, WPARAM timer) {
    if (timer == IDT_POLL)
        StartProbe(app);
    else if (timer == IDT_FLASH)
        OnFlashTick(app);
}

// A double click on the icon shows the dialog, a right click opens the menu.
static void OnTrayMouse(AppState* app, UINT mouseMessage) {
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
        OnTrayMouse(app, (UINT)lParam);
    else
        (void)ReleaseLookup(app, wParam);  // the late reply of an abandoned lookup, or nothing
}

static INT_PTR Route(AppState* app, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        if (app->window != window) InitDialog(app, window);  // another program's does nothing
        return TRUE;
    case WM_CLOSE: ConfirmExit(app); return TRUE;
    // Their default handling may open a loop: it runs inside this handler, so that what the
    // loop holds back runs once it has returned.
    case WM_SYSCOMMAND:
    case WM_POPUPSYSTEMMENU:
    case WM_CONTEXTMENU:
        if (!app->exiting) RunPlatformLoop(app, message, wParam, lParam);
        return TRUE;
    // A press on a caption button holds the mouse until the button comes up: one from another
    // program, with the button up, would wait for ever. A real one goes to the dialog manager.
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK: return GetKeyState(VK_LBUTTON) >= 0;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED) (void)ShowWindow(window, SW_HIDE);
        return TRUE;
    case WM_COMMAND:
        // Once the exit sequence has begun, platform calls inside it may still deliver messages:
        // nothing may touch the freed host or the destroyed menu.
        if (!app->exiting) OnDialogCommand(app, wParam);
        return TRUE;
    case WM_TIMER:
        if (!app->exiting) OnTimer(app, wParam);
        return TRUE;
    case WM_APP_NOTIFY:
        if (!app->exiting) OnAppNotify(app, wParam, lParam);
        return TRUE;
    default:
        if (app->taskbarCreated != 0 && message == app->taskbarCreated) {
            if (!app->exiting && !app->trayRefused) (void)AddTrayIcon(app);  // a refusal waits for the next shell
            return TRUE;
        }
        return FALSE;
    }
}

// A handler that starts while another is under way (outside the program's own loops) was
// delivered by a platform call that waits: what it would start waits for the outer one.
INT_PTR CALLBACK ConfigDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    AppState* app = &g_app;
    bool requestToSelf = app->requestToSelf;
    app->requestToSelf = false;
    bool nested = app->handlerUnderWay;
    if (nested && !requestToSelf && Defer(app, message, wParam, lParam)) return TRUE;
    app->handlerUnderWay = true;
    INT_PTR result = Route(app, window, message, wParam, lParam);
    app->handlerUnderWay = nested;
    if (!nested) RunDeferred(app);
    return result;
}
