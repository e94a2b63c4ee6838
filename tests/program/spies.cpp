#include "tests/program/spy_control.h"

#include <cstdarg>
#include <cstdio>

SpyControl g_spy;

void ResetSpies() { g_spy = SpyControl(); }

std::vector<std::string> SpyCalls(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& entry : g_spy.log)
        if (entry.compare(0, prefix.size(), prefix) == 0) out.push_back(entry);
    return out;
}

static void Point(const char* name) {
    if (g_spy.point) g_spy.point(name);
}

static void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
static void Log(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_spy.log.push_back(line);
}

BOOL Spy_Shell_NotifyIconA(DWORD message, PNOTIFYICONDATAA data) {
    static const char* const names[] = {"ADD", "MODIFY", "DELETE"};
    Log("Shell_NotifyIcon %s flags=%u %p", message < 3 ? names[message] : "?", data->uFlags, (void*)data->hIcon);
    g_spy.lastTray = *data;
    if (g_spy.onTray) g_spy.onTray(message);
    Point("Shell_NotifyIconA");
    if (message == NIM_ADD && g_spy.failTrayAdd) return FALSE;
    if (g_spy.fakeTray) return TRUE;
    return Shell_NotifyIconA(message, data);
}

UINT_PTR Spy_SetTimer(HWND window, UINT_PTR id, UINT period, TIMERPROC proc) {
    Log("SetTimer %u %u", (unsigned)id, period);
    return g_spy.fakeTimers ? id : SetTimer(window, id, period, proc);
}

BOOL Spy_KillTimer(HWND window, UINT_PTR id) {
    Log("KillTimer %u", (unsigned)id);
    return g_spy.fakeTimers || KillTimer(window, id);
}

BOOL Spy_PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Log("PostMessage %#x %u", message, (unsigned)wParam);
    return PostMessageA(window, message, wParam, lParam);
}

int Spy_MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    Log("MessageBox %s|%s|%#x|%s", text, caption ? caption : "(none)", style, owner ? "owned" : "unowned");
    return g_spy.messageBox ? g_spy.messageBox(text, caption, style) : IDOK;
}

BOOL Spy_MessageBeep(UINT type) {
    Log("MessageBeep %#x", type);
    return TRUE;
}

BOOL Spy_TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND window, LPTPMPARAMS params) {
    Log("TrackPopupMenuEx %#x %d %d %s", flags, x, y, params ? "params" : "none");
    (void)window;
    return g_spy.trackPopup ? g_spy.trackPopup(menu, flags) : 0;
}

BOOL Spy_EndMenu(void) {
    Log("EndMenu");
    if (g_spy.endMenu) g_spy.endMenu();
    return EndMenu();
}

BOOL Spy_EndDialog(HWND window, INT_PTR result) {
    Log("EndDialog %d", (int)result);
    return EndDialog(window, result);
}

BOOL Spy_DestroyMenu(HMENU menu) {
    Log("DestroyMenu");
    return DestroyMenu(menu);
}

HWND Spy_SetActiveWindow(HWND window) {
    Log("SetActiveWindow");
    Point("SetActiveWindow");
    return g_spy.fakeActivation ? 0 : SetActiveWindow(window);
}

BOOL Spy_SetForegroundWindow(HWND window) {
    Log("SetForegroundWindow");
    Point("SetForegroundWindow");
    return g_spy.fakeActivation || SetForegroundWindow(window);
}

HICON Spy_LoadIconA(HINSTANCE instance, LPCSTR name) {
    HICON icon = LoadIconA(instance, name);
    Log("LoadIcon %u %p", (unsigned)(UINT_PTR)name, (void*)icon);
    return icon;
}

BOOL Spy_DestroyIcon(HICON icon) {
    ++g_spy.destroyedIcons;
    return DestroyIcon(icon);
}

LPVOID Spy_HeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
    if (g_spy.heapAllocsBeforeFailure == 0) {
        Log("HeapAlloc %u failed", (unsigned)size);
        return 0;
    }
    if (g_spy.heapAllocsBeforeFailure > 0) --g_spy.heapAllocsBeforeFailure;
    return HeapAlloc(heap, flags, size);
}

LONG Spy_RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR cls, DWORD options, REGSAM access,
                         LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
    Log("RegCreateKeyEx %s %#x", subKey, (unsigned)access);
    if (g_spy.failRegistryWrites) return ERROR_ACCESS_DENIED;
    return RegCreateKeyExA(key, subKey, reserved, cls, options, access, security, result, disposition);
}

int Spy_WSAStartup(WORD version, LPWSADATA data) {
    Log("WSAStartup %#x", version);
    if (g_spy.failWSAStartup) return WSASYSNOTREADY;
    return WSAStartup(version, data);
}

SOCKET Spy_socket(int family, int type, int protocol) {
    if (g_spy.failSocket) {
        Log("socket failed");
        return INVALID_SOCKET;
    }
    SOCKET s = socket(family, type, protocol);
    Log("socket %u", (unsigned)s);
    return s;
}

int Spy_connect(SOCKET s, const struct sockaddr* address, int length) {
    const sockaddr_in* in = (const sockaddr_in*)address;
    Log("connect %u %s:%u %d", (unsigned)s, inet_ntoa(in->sin_addr), ntohs(in->sin_port), length);
    if (g_spy.connect) return g_spy.connect(s, address);
    return connect(s, address, length);
}

int Spy_shutdown(SOCKET s, int how) {
    Log("shutdown %u %d", (unsigned)s, how);
    return shutdown(s, how);
}

int Spy_closesocket(SOCKET s) {
    Log("closesocket %u", (unsigned)s);
    int result = closesocket(s);
    if (g_spy.onClose) g_spy.onClose();
    Point("closesocket");
    return result;
}

int Spy_WSAAsyncSelect(SOCKET s, HWND window, u_int message, long events) {
    Log("WSAAsyncSelect %u %#x %#lx", (unsigned)s, message, events);
    if (g_spy.failSelect) return SOCKET_ERROR;
    return WSAAsyncSelect(s, window, message, events);
}

HANDLE Spy_WSAAsyncGetHostByName(HWND window, u_int message, const char* name, char* buffer, int length) {
    HANDLE task = g_spy.lookup ? g_spy.lookup(name, buffer, length)
                               : WSAAsyncGetHostByName(window, message, name, buffer, length);
    Log("WSAAsyncGetHostByName %s %d -> %u", name, length, (unsigned)(UINT_PTR)task);
    return task;
}

int Spy_WSACancelAsyncRequest(HANDLE task) {
    Log("WSACancelAsyncRequest %u", (unsigned)(UINT_PTR)task);
    return WSACancelAsyncRequest(task);
}

BOOL Spy_GetGUIThreadInfo(DWORD thread, PGUITHREADINFO info) {
    BOOL known = GetGUIThreadInfo(thread, info);
    if (!known || !g_spy.loopFlags) return known;
    info->flags |= g_spy.loopFlags;
    if (g_spy.loopFlags & GUI_INMENUMODE) info->hwndMenuOwner = g_spy.loopOwner;
    if (g_spy.loopFlags & GUI_INMOVESIZE) info->hwndMoveSize = g_spy.loopOwner;
    return known;
}

LRESULT Spy_DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Log("DefWindowProc %#x %#x", message, (unsigned)wParam);
    if (g_spy.platformLoop) return g_spy.platformLoop(message, wParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

BOOL Spy_PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
    Point("PeekMessageA");
    return PeekMessageA(msg, window, first, last, remove);
}

BOOL Spy_ShowWindow(HWND window, int command) {
    Log("ShowWindow %d", command);
    if (!g_spy.fakeActivation) return ShowWindow(window, command);
    BOOL was = IsWindowVisible(window);
    SetWindowLongPtrA(window, GWL_STYLE,
                      (GetWindowLongPtrA(window, GWL_STYLE) & ~WS_VISIBLE) | (command == SW_HIDE ? 0 : WS_VISIBLE));
    return was;
}
