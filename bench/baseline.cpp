// The benchmark's baseline: one dialog and a 300 ms timer that modifies one tray icon.
#include <windows.h>
#include <shellapi.h>

#include "bench/baseline_resource.h"

static NOTIFYICONDATAA g_tray;
static HICON g_icon;

static INT_PTR CALLBACK BaselineProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        g_icon = LoadIconA(GetModuleHandleA(0), MAKEINTRESOURCEA(IDI_BASELINE));
        g_tray.cbSize = NOTIFYICONDATAA_V1_SIZE;
        g_tray.hWnd = window;
        g_tray.uFlags = NIF_ICON | NIF_TIP;
        g_tray.hIcon = g_icon;
        lstrcpyA(g_tray.szTip, "Baseline");
        (void)Shell_NotifyIconA(NIM_ADD, &g_tray);  // a baseline: no tray, no comparison, nothing to report
        (void)SetTimer(window, 1, 300, 0);
        return TRUE;
    case WM_TIMER:
        if (wParam == 1) {
            g_tray.hIcon = g_tray.hIcon ? 0 : g_icon;
            (void)Shell_NotifyIconA(NIM_MODIFY, &g_tray);
        }
        return TRUE;
    case WM_CLOSE:
        (void)Shell_NotifyIconA(NIM_DELETE, &g_tray);
        (void)EndDialog(window, 0);
        return TRUE;
    default: return FALSE;
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return (int)DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_BASELINE), 0, BaselineProc, 0);
}
