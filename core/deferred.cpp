#include "core/deferred.h"

#include "core/loops.h"
#include "ui/resource.h"

bool Defer(AppState* app, UINT message, WPARAM wParam, LPARAM lParam) {
    DeferredEvents* deferred = &app->deferred;
    switch (message) {
    case WM_CLOSE: deferred->close = true; return true;
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK: return true;  // input is posted, and only loops dispatch it: a forgery
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
        // The socket layer posts its notices, and under a handler only loops dispatch posted
        // messages, the program's own but for one another program opened in a field: a notice
        // here was sent by another program, or came through such a loop, and is dropped.
        if (wParam == app->trayIcon.uID && lParam == WM_LBUTTONDBLCLK) deferred->show = true;
        if (wParam == app->trayIcon.uID && lParam == WM_RBUTTONUP) deferred->menu = true;
        return true;
    default:
        if (app->taskbarCreated == 0 || message != app->taskbarCreated) return false;
        deferred->shellRestart = true;
        return true;
    }
}

static bool Pending(const DeferredEvents* d) {
    return d->close || d->show || d->menu || d->pollTick || d->flashTick || d->shellRestart || d->button ||
           d->systemMessage;
}

// Each by the same route as when it arrived, as its own outermost handler. What arrives during
// one is run by the next round here, not by a call nested in it: a program that keeps sending
// cannot deepen the stack. Past a few rounds the rest waits for the next handler's return.
void RunDeferred(AppState* app) {
    if (app->runningDeferred) return;
    app->runningDeferred = true;
    DeferredEvents* deferred = &app->deferred;
    for (int round = 0; round < 4 && Pending(deferred); ++round) {
        if (app->exiting || app->trayRefused) *deferred = DeferredEvents();
        if (LoopOpen(app)) break;
        DeferredEvents due = *deferred;
        *deferred = DeferredEvents();
        // A close request ends any loop the tray menu or a system command would open.
        if (due.close) due.menu = false, due.systemMessage = 0;
        HWND window = app->window;
        UINT tray = app->trayIcon.uID;
        // Our own handlers: their results say nothing.
        if (due.shellRestart) (void)SendMessageA(window, app->taskbarCreated, 0, 0);
        if (due.pollTick) (void)SendMessageA(window, WM_TIMER, IDT_POLL, 0);
        if (due.flashTick) (void)SendMessageA(window, WM_TIMER, IDT_FLASH, 0);
        if (due.button) (void)SendMessageA(window, WM_COMMAND, MAKEWPARAM(due.button, BN_CLICKED), 0);
        if (due.show) (void)SendMessageA(window, WM_APP_NOTIFY, tray, WM_LBUTTONDBLCLK);
        if (due.menu) (void)SendMessageA(window, WM_APP_NOTIFY, tray, WM_RBUTTONUP);
        if (due.systemMessage) (void)SendMessageA(window, due.systemMessage, due.systemWParam, due.systemLParam);
        if (due.close) (void)SendMessageA(window, WM_CLOSE, 0, 0);
    }
    app->runningDeferred = false;
}
