#include "tests/program/fixture.h"

#include "base/host.h"
#include "probe/probe.h"
#include "store/settings_store.h"

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, 0, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (done()) return true;
            if (GetTickCount() - start > timeoutMs) return false;  // a message that comes back for ever
        }
        if (done()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, 0, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

void DeleteSettingsKey() { RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKey); }

void WriteDword(const char* name, DWORD value) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, 0, 0, KEY_WRITE, 0, &key, 0));
    RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE*)&value, 4);
    RegCloseKey(key);
}

void WriteString(const char* name, const char* text) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, 0, 0, KEY_WRITE, 0, &key, 0));
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text, (DWORD)strlen(text) + 1);
    RegCloseKey(key);
}

SOCKET OpenListener(u_short* port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    int length = sizeof address;
    if (bind(s, (sockaddr*)&address, sizeof address) != 0 || listen(s, 64) != 0 ||
        getsockname(s, (sockaddr*)&address, &length) != 0) {
        ADD_FAILURE() << "no loopback listener: " << WSAGetLastError();
        return INVALID_SOCKET;
    }
    *port = ntohs(address.sin_port);
    return s;
}

u_short ClosedPort() {
    u_short port = 0;
    closesocket(OpenListener(&port));
    return port;
}

void ResetProgram() {
    ResetSpies();
    DeleteSettingsKey();
    ZeroMemory(&g_app, sizeof g_app);
    g_app.instance = GetModuleHandleA(0);
    g_app.socket = INVALID_SOCKET;
}

static void FreeLookupSlots() {
    while (g_app.lookups) {
        LookupSlot* next = g_app.lookups->next;
        HeapFree(GetProcessHeap(), 0, g_app.lookups);
        g_app.lookups = next;
    }
}

void ReleaseProgram(HWND window) {
    KillTimer(window, IDT_POLL);
    KillTimer(window, IDT_FLASH);
    CloseProbeSocket(&g_app);
    if (!g_app.dispatch.ending) {
        Shell_NotifyIconA(NIM_DELETE, &g_app.trayIcon);
        FreeHost(&g_app);
        DestroyMenu(g_app.menu);
    }
    ImageList_Destroy(g_app.imageList);
    FreeLookupSlots();  // scripted lookups never reply
}

void CloseProgram(HWND window) {
    LookupSlot* outstanding = g_app.lookups;
    g_app.lookups = 0;
    ReleaseProgram(window);
    g_app.lookups = outstanding;
    DestroyWindow(window);
    PumpFor(0);
    // Replies of lookups still out may write their buffers: let them arrive first.
    PumpUntil([] { return g_app.lookups == 0; }, 1000);
    FreeLookupSlots();
}

void ProgramTest::SetUp() { ResetProgram(); }

HWND ProgramTest::OpenDialog() {
    window = CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(IDD_CONFIG), 0, ConfigDialogProc, 0);
    EXPECT_TRUE(window != 0);
    return window;
}

void ProgramTest::TearDown() {
    if (window) CloseProgram(window);
    window = 0;
}
