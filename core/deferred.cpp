#include "core/deferred.h"

#include "core/loops.h"
#include "ui/resource.h"

bool Defer(AppState* app, UINT message, WPARAM wParam, LPARAM lParam) {
    DeferredEvents* deferred = &app->deferred;
    switch (message) {
    case WM_CLOSE: deferred->close = true; return true;
    case WM_SYSCOMMAND:
    case WM_POPUPSYSTEMMENU:
    case WM_CONTEXTMENU:
        deferred->systemMessage = message;
        deferred->systemWParam = wParam;
        deferred->systemLParam = lParam;
        return true;
    case WM_TIMER:
        if (wParam == IDT_POLL) deferred->pollTick = true;
        if (wParam == IDT_FLASH) deferred->flashTick = true;
        return true;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return false;
        switch (LOWORD(wParam)) {
        case IDC_EXIT: deferred->close = true; return true;
        case IDOK:
        case IDCANCEL:
        case IDC_APPLY: deferred->button = LOWORD(wParam); return true;
        default: return false;  // a check box only enables Apply
        }
    case WM_APP_NOTIFY:
        // The socket layer posts its notices, and only the program's own loops dispatch posted
        // messages: a notice delivered here was sent by another program, and is dropped.
        if (wParam == app->trayIcon.uID && lParam == WM_LBUTTONDBLCLK) deferred->show = true;
        if (wParam == app->trayIcon.uID && lParam == WM_RBUTTONUP) deferred->menu = true;
        return true;
    default:
        if (app->taskbarCreated == 0 || message != app->taskbarCreated) return false;
        deferred->shellRestart = true;
        return true;
    }
}

// Each by the same route as when it arrived; each runs as its own outermost handler, which
// runs what arrives during it afterwards.
void RunDeferred(AppState* app) {
    DeferredEvents* deferred = &app->deferred;
    if (app->exiting || app->trayRefused) *deferred = DeferredEvents();
    if (LoopOpen(app)) return;
    DeferredEvents due = *deferred;
    *deferred = DeferredEvents();
    HWND window = app->window;
    UINT tray = app->trayIcon.uID;
    // Our own handlers: their results say nothing.
    if (due.shellRestart) (void)SendMessageA(window, app->taskbarCreated, 0, 0);
    if (due.pollTick) (void)SendMessageA(window, WM_TIMER, IDT_POLL, 0);
    if (due.flashTick) (void)SendMessageA(window, WM_TIMER, IDT_FLASH, 0);
    if (due.button) (void)SendMessageA(window, WM_COMMAND, MAKEWPARAM(due.button, BN_CLICKED), 0);
    if (due.show) (void)SendMessageA(window, WM_APP_NOTIFY, tray, WM_LBUTTONDBLCLK);
    if (due.menu) (void)SendMessageA(window, WM_APP_NOTIFY, tray, WM_RBUTTONUP);
    // A close request ends any loop the system command would open: the command is dropped.
    if (due.systemMessage && !due.close)
        (void)SendMessageA(window, due.systemMessage, due.systemWParam, due.systemLParam);
    if (due.close) (void)SendMessageA(window, WM_CLOSE, 0, 0);
}
