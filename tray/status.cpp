#include "tray/status.h"

#include "base/periods.h"
#include "base/text.h"
#include "tray/flash_rules.h"
#include "base/resource.h"

// The first layout of the record: 88 bytes on 32-bit, its 64-bit equivalent otherwise.
static_assert(sizeof(void*) != 4 || NOTIFYICONDATAA_V1_SIZE == 88, "the tray record's first layout");

static HICON LoadStatusIcon(AppState* app, ProbeStatus status) {
    return LoadIconA(app->instance, MAKEINTRESOURCEA(StatusIconId(&app->settings, status)));
}

void RestartFlashTimer(AppState* app) {
    // A failed SetTimer leaves the icon steady; the next status change tries again.
    (void)SetTimer(app->window, IDT_FLASH, FlashPeriodMs(app->settings.Flash), 0);
    (void)PostMessageA(app->window, WM_TIMER, IDT_FLASH, 0);
}

void SetStatus(AppState* app, ProbeStatus status, const char* text, bool force) {
    TrayIcon* tray = &app->trayIcon;
    if (app->stashedIcon) {
        tray->hIcon = app->stashedIcon;
        app->stashedIcon = 0;
    }
    FlashTimerAction action = DecideFlashTimer(StatusFlashes(&app->settings, app->currentStatus),
                                               StatusFlashes(&app->settings, status), force);
    if (action.kill) (void)KillTimer(app->window, IDT_FLASH);  // fails only when it was not running
    if (action.start) RestartFlashTimer(app);
    app->currentStatus = status;
    // Icons from LoadIconA are shared by the system and are not destroyed: dropping the handle is the release.
    tray->hIcon = LoadStatusIcon(app, status);
    if (text) CopyBounded(tray->szTip, 64, text);
    // The record itself keeps every flag: a shell restart delivered inside this call adds the
    // icon back from it, tooltip and all.
    TrayIcon update = *tray;
    if (!text) update.uFlags &= ~NIF_TIP;
    (void)Shell_NotifyIconA(NIM_MODIFY, &update);  // a lost update is repaired by the next one
}

void OnFlashTick(AppState* app) {
    if (!StatusFlashes(&app->settings, app->currentStatus)) return;
    TrayIcon* tray = &app->trayIcon;
    HICON shown = tray->hIcon;
    tray->hIcon = app->stashedIcon;
    app->stashedIcon = shown;
    (void)Shell_NotifyIconA(NIM_MODIFY, tray);
}

void PrepareTrayIcon(AppState* app, const char* tooltip) {
    TrayIcon* tray = &app->trayIcon;
    ZeroMemory(tray, sizeof *tray);
    tray->cbSize = NOTIFYICONDATAA_V1_SIZE;
    tray->hWnd = app->window;
    tray->uID = 0;
    tray->uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray->uCallbackMessage = WM_APP_NOTIFY;
    tray->hIcon = LoadStatusIcon(app, app->currentStatus);
    CopyBounded(tray->szTip, 64, tooltip);
}

bool AddTrayIcon(AppState* app) { return Shell_NotifyIconA(NIM_ADD, &app->trayIcon) != FALSE; }

void DeleteTrayIcon(AppState* app) {
    (void)Shell_NotifyIconA(NIM_DELETE, &app->trayIcon);  // at exit there is nothing left to do on failure
}
