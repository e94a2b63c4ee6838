// CPU and wall time of the program's probe cycle (tick, connect, result, tray update), back
// to back against a loopback listener, beside the cycle's floor on the platform (a fresh
// socket's connect with its notification and the two tray updates a result needs) and a
// plain non-blocking connect.
#include <cstdio>
#include <cstring>

#include "base/host.h"
#include "app/program.h"
#include "base/resource.h"

static double CpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}}, u = {{user.dwLowDateTime, user.dwHighDateTime}};
    return (double)(k.QuadPart + u.QuadPart) / 10000.0;
}

static double WallMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)now.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

static SOCKET g_listener;

static void DrainListener() {
    SOCKET peer;
    while ((peer = accept(g_listener, 0, 0)) != INVALID_SOCKET) closesocket(peer);
}

// Dispatches messages until done() holds; false after 5 s.
template <typename Done>
static bool Pump(Done done) {
    DWORD start = GetTickCount();
    MSG msg;
    while (!done()) {
        if (PeekMessageA(&msg, 0, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        else if (GetTickCount() - start > 5000)
            return false;
        else
            MsgWaitForMultipleObjects(0, 0, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

static bool OneCycle(HWND window) {
    SendMessageA(window, WM_TIMER, IDT_POLL, 0);
    bool answered = Pump([] { return g_app.currentStatus != StatusTrying; });
    DrainListener();
    return answered && g_app.currentStatus == StatusOnline;
}

static unsigned g_floorNotices;

static LRESULT CALLBACK FloorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP_NOTIFY && WSAGETSELECTEVENT(lParam) == FD_CONNECT) ++g_floorNotices;
    return DefWindowProcA(window, message, wParam, lParam);
}

struct Floor {
    HWND window;
    NOTIFYICONDATAA tray;
    HICON trying, online;
};

static bool FloorCycle(Floor* floor, const sockaddr_in* target) {
    floor->tray.hIcon = floor->trying;
    Shell_NotifyIconA(NIM_MODIFY, &floor->tray);
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    WSAAsyncSelect(s, floor->window, WM_APP_NOTIFY, FD_CONNECT);
    unsigned before = g_floorNotices;
    connect(s, (const sockaddr*)target, sizeof *target);
    bool answered = Pump([&] { return g_floorNotices != before; });
    floor->tray.hIcon = floor->online;
    Shell_NotifyIconA(NIM_MODIFY, &floor->tray);
    shutdown(s, 2);
    closesocket(s);
    DrainListener();
    return answered;
}

static void OpenFloor(Floor* floor) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = FloorProc;
    windowClass.hInstance = g_app.instance;
    windowClass.lpszClassName = "HarkwinFloor";
    RegisterClassA(&windowClass);
    floor->window = CreateWindowA("HarkwinFloor", "", WS_POPUP, 0, 0, 1, 1, 0, 0, g_app.instance, 0);
    floor->trying = LoadIconA(g_app.instance, MAKEINTRESOURCEA(IDI_YELLOW));
    floor->online = LoadIconA(g_app.instance, MAKEINTRESOURCEA(IDI_GREEN));
    floor->tray = NOTIFYICONDATAA();
    floor->tray.cbSize = NOTIFYICONDATAA_V1_SIZE;
    floor->tray.hWnd = floor->window;
    floor->tray.uID = 1;
    floor->tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    floor->tray.uCallbackMessage = WM_APP_NOTIFY;
    floor->tray.hIcon = floor->trying;
    lstrcpyA(floor->tray.szTip, "Floor");
    Shell_NotifyIconA(NIM_ADD, &floor->tray);
}

static bool PlainConnect(const sockaddr_in* target) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    connect(s, (const sockaddr*)target, sizeof *target);
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait = {5, 0};
    bool ok = select(0, 0, &set, 0, &wait) == 1;
    shutdown(s, 2);
    closesocket(s);
    DrainListener();
    return ok;
}

int main() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_USEREX_CLASSES};
    InitCommonControlsEx(&controls);
    WSADATA winsock;
    WSAStartup(0x0101, &winsock);
    for (int i = 0; i < 300 && !FindWindowA("Shell_TrayWnd", 0); ++i) Sleep(50);  // polling the shell's start

    g_listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    int length = sizeof address;
    bind(g_listener, (sockaddr*)&address, sizeof address);
    listen(g_listener, 64);
    getsockname(g_listener, (sockaddr*)&address, &length);
    u_long nonBlocking = 1;
    ioctlsocket(g_listener, FIONBIO, &nonBlocking);

    g_app.instance = GetModuleHandleA(0);
    HWND window = CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(IDD_CONFIG), 0, ConfigDialogProc, 0);
    ReplaceHost(&g_app, NewHostString("127.0.0.1", 9));
    g_app.settings.Port = ntohs(address.sin_port);

    const int cycles = 10000;
    double cpuFirst = 0, cpuLast = 0, wallFirst = 0, wallLast = 0;
    for (int i = 0; i < cycles; ++i) {
        double cpu = CpuMs(), wall = WallMs();
        if (!OneCycle(window)) {
            printf("cycle %d failed: %s\n", i, g_app.trayIcon.szTip);
            return 1;
        }
        if (i < 1000) cpuFirst += CpuMs() - cpu, wallFirst += WallMs() - wall;
        if (i >= cycles - 1000) cpuLast += CpuMs() - cpu, wallLast += WallMs() - wall;
    }
    KillTimer(window, IDT_FLASH);
    // Steady statuses (no flash tick after each result, so two tray updates a cycle) beside
    // the floor, in alternating rounds so that a shell slowing down over time weighs on both.
    for (unsigned s = 0; s < StatusCount; ++s) g_app.settings.Behaviors[s] &= BehaviorColourMask;
    Floor floor;
    OpenFloor(&floor);
    double cpuSteady = 0, wallSteady = 0, cpuFloor = 0, wallFloor = 0;
    for (int round = 0; round < 10; ++round) {
        double cpu = CpuMs(), wall = WallMs();
        for (int i = 0; i < 100; ++i)
            if (!OneCycle(window)) {
                printf("steady cycle %d failed: %s\n", i, g_app.trayIcon.szTip);
                return 1;
            }
        cpuSteady += CpuMs() - cpu, wallSteady += WallMs() - wall;
        cpu = CpuMs(), wall = WallMs();
        for (int i = 0; i < 100; ++i)
            if (!FloorCycle(&floor, &address)) {
                printf("floor cycle %d failed\n", i);
                return 1;
            }
        cpuFloor += CpuMs() - cpu, wallFloor += WallMs() - wall;
    }
    Shell_NotifyIconA(NIM_DELETE, &floor.tray);

    double cpuPlain = CpuMs(), wallPlain = WallMs();
    for (int i = 0; i < 1000; ++i)
        if (!PlainConnect(&address)) {
            printf("plain connect %d failed\n", i);
            return 1;
        }
    cpuPlain = CpuMs() - cpuPlain, wallPlain = WallMs() - wallPlain;
    // One line a figure, read by the benchmark script: name, CPU ms, wall ms for 1,000.
    printf("probe-cycles-1-1000 %.1f %.1f\n", cpuFirst, wallFirst);
    printf("probe-cycles-9001-10000 %.1f %.1f\n", cpuLast, wallLast);
    printf("probe-cycles-steady-1000 %.1f %.1f\n", cpuSteady, wallSteady);
    printf("cycle-floor-1000 %.1f %.1f\n", cpuFloor, wallFloor);
    printf("plain-connect-1000 %.1f %.1f\n", cpuPlain, wallPlain);
    Shell_NotifyIconA(NIM_DELETE, &g_app.trayIcon);
    return 0;
}
