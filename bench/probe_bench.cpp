// CPU time of the program's probe cycle (tick, connect, result, tray update), back to back
// against a loopback listener, beside a plain non-blocking connect loop (the floor).
#include <cstdio>
#include <cstring>

#include "core/host.h"
#include "core/program.h"
#include "ui/resource.h"

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

static bool OneCycle(HWND window) {
    SendMessageA(window, WM_TIMER, IDT_POLL, 0);
    DWORD start = GetTickCount();
    MSG msg;
    while (g_app.currentStatus == StatusTrying) {
        if (PeekMessageA(&msg, 0, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        else if (GetTickCount() - start > 5000)
            return false;
        else
            MsgWaitForMultipleObjects(0, 0, FALSE, 5, QS_ALLINPUT);
    }
    DrainListener();
    return g_app.currentStatus == StatusOnline;
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
    double cpuFloor = CpuMs(), wallFloor = WallMs();
    for (int i = 0; i < 1000; ++i)
        if (!PlainConnect(&address)) {
            printf("plain connect %d failed\n", i);
            return 1;
        }
    cpuFloor = CpuMs() - cpuFloor, wallFloor = WallMs() - wallFloor;
    // One line a figure, read by the benchmark script: name, CPU us per cycle, wall us per cycle.
    printf("probe-cycles-1-1000 %.1f %.1f\n", cpuFirst, wallFirst);
    printf("probe-cycles-9001-10000 %.1f %.1f\n", cpuLast, wallLast);
    printf("plain-connect-1000 %.1f %.1f\n", cpuFloor, wallFloor);
    KillTimer(window, IDT_FLASH);
    return 0;
}
