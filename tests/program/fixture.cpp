#include "tests/program/fixture.h"

#include "core/host.h"
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

static DWORD WINAPI SendFromThread(void* param) {
    ForeignSend* send = (ForeignSend*)param;
    SendMessageA(send->window, send->message, 0, send->lParam);
    InterlockedExchange(&send->done, 1);
    return 0;
}

void StartForeignSend(ForeignSend* send) {
    send->done = 0;
    send->thread = CreateThread(0, 0, SendFromThread, send, 0, 0);
    DWORD start = GetTickCount();
    while (!(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) && GetTickCount() - start < 5000) Sleep(1);
}

bool FinishForeignSend(ForeignSend* send) {
    bool done = PumpUntil([&] { return send->done != 0; });
    WaitForSingleObject(send->thread, 5000);
    CloseHandle(send->thread);
    return done;
}

void ProgramTest::SetUp() {
    ResetSpies();
    DeleteSettingsKey();
    ZeroMemory(&g_app, sizeof g_app);
    g_app.instance = GetModuleHandleA(0);
    g_app.socket = INVALID_SOCKET;
}

HWND ProgramTest::OpenDialog() {
    window = CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(IDD_CONFIG), 0, ConfigDialogProc, 0);
    EXPECT_TRUE(window != 0);
    return window;
}

void ProgramTest::TearDown() {
    if (!window) return;
    KillTimer(window, IDT_POLL);
    KillTimer(window, IDT_FLASH);
    CloseProbeSocket(&g_app);
    if (!g_app.exiting) {
        Shell_NotifyIconA(NIM_DELETE, &g_app.trayIcon);
        FreeHost(&g_app);
        DestroyMenu(g_app.menu);
    }
    ImageList_Destroy(g_app.imageList);
    DestroyWindow(window);
    window = 0;
    PumpFor(0);
    // Replies of lookups still out may write their buffers: let them arrive first.
    PumpUntil([] { return g_app.lookups == 0; }, 1000);
    while (g_app.lookups) {  // scripted lookups never reply
        LookupSlot* next = g_app.lookups->next;
        HeapFree(GetProcessHeap(), 0, g_app.lookups);
        g_app.lookups = next;
    }
}
