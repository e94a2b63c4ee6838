// The start-up floor: the platform calls Harkwin must make before its dialog is on screen
// (common controls, Windows Sockets 1.1, the tray menu and its default item, the image list,
// the same template with its lists filled, the six registry reads, the tray icon added and
// its first update) and nothing else.
#include <windows.h>
#include <winsock.h>
#include <commctrl.h>
#include <shellapi.h>

#include "base/model.h"
#include "dialog/port_presets.h"
#include "base/resource.h"

static const int Pickers[] = {IDC_COLOUR_TRYING, IDC_COLOUR_OFFLINE, IDC_COLOUR_ONLINE, IDC_COLOUR_ERROR};
static NOTIFYICONDATAA g_tray;

static void ReadSettings() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Harkwin", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
    char host[256];
    DWORD type, size = sizeof host;
    (void)RegQueryValueExA(key, "Host", 0, &type, 0, &size);  // its size first, as the store asks
    size = sizeof host;
    (void)RegQueryValueExA(key, "Host", 0, &type, (BYTE*)host, &size);
    static const char* const names[] = {"Port", "Poll", "Flash", "Behaviors", "Resolve"};
    for (const char* name : names) {
        DWORD value;
        size = sizeof value;
        (void)RegQueryValueExA(key, name, 0, &type, (BYTE*)&value, &size);
    }
    (void)RegCloseKey(key);
}

static void Fill(HWND window) {
    HINSTANCE instance = GetModuleHandleA(0);
    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_TRAYMENU));
    (void)SetMenuDefaultItem(GetSubMenu(menu, 0), ID_TRAY_CONFIGURATION, FALSE);
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR4 | ILC_MASK, 3, 0);
    for (unsigned i = 0; i < PaletteSize; ++i)
        (void)ImageList_ReplaceIcon(images, -1, LoadIconA(instance, MAKEINTRESOURCEA(Palette[i].iconId)));
    HWND port = GetDlgItem(window, IDC_PORT);
    for (int i = 0; PortPresets[i].port != 0; ++i) {
        LRESULT item = SendMessageA(port, CB_ADDSTRING, 0, (LPARAM)PortPresets[i].label);
        SendMessageA(port, CB_SETITEMDATA, (WPARAM)item, PortPresets[i].port);
    }
    for (int picker : Pickers) {
        HWND control = GetDlgItem(window, picker);
        SendMessageA(control, CBEM_SETIMAGELIST, 0, (LPARAM)images);
        for (unsigned i = 0; i < PaletteSize; ++i) {
            COMBOBOXEXITEMA item = {};
            item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
            item.iItem = (INT_PTR)i;
            item.pszText = (LPSTR)Palette[i].name;
            item.iImage = item.iSelectedImage = (int)i;
            SendMessageA(control, CBEM_INSERTITEMA, 0, (LPARAM)&item);
        }
        SendMessageA(control, CB_SETCURSEL, 0, 0);
    }
    ReadSettings();
    g_tray.cbSize = NOTIFYICONDATAA_V1_SIZE;
    g_tray.hWnd = window;
    g_tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    g_tray.uCallbackMessage = WM_APP_NOTIFY;
    g_tray.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(Palette[0].iconId));
    lstrcpyA(g_tray.szTip, "Initializing...");
    (void)Shell_NotifyIconA(NIM_ADD, &g_tray);  // a floor: nothing to report
    g_tray.uFlags = NIF_MESSAGE | NIF_ICON;
    (void)Shell_NotifyIconA(NIM_MODIFY, &g_tray);
}

static INT_PTR CALLBACK SkeletonProc(HWND window, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: Fill(window); return TRUE;
    case WM_CLOSE:
        (void)Shell_NotifyIconA(NIM_DELETE, &g_tray);
        (void)EndDialog(window, 0);
        return TRUE;
    default: return FALSE;
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_USEREX_CLASSES};
    (void)InitCommonControlsEx(&controls);
    WSADATA winsock;
    if (WSAStartup(0x0101, &winsock) != 0) return 1;
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_CONFIG), 0, SkeletonProc, 0);
    (void)WSACleanup();
    return (int)result;
}
