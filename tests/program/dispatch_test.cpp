// Start-up, the routing of every message, and the confirmed exit.
#include "tests/program/fixture.h"

#include <algorithm>

#include "base/host.h"

static bool Logged(const std::string& prefix) { return !SpyCalls(prefix).empty(); }

TEST_F(ProgramTest, InitialisationShowsTryingWithItsFirstTooltip) {
    WriteDword("Behaviors", 0x82810280);  // Trying flashes: initialisation starts the flash timer
    OpenDialog();
    EXPECT_EQ(StatusTrying, g_app.currentStatus);
    EXPECT_EQ(window, g_app.window);
    EXPECT_EQ(INVALID_SOCKET, g_app.socket);
    EXPECT_EQ(INADDR_NONE, g_app.target.sin_addr.s_addr);
    EXPECT_EQ(AF_INET, g_app.target.sin_family);
    EXPECT_EQ(ID_TRAY_CONFIGURATION, (int)GetMenuDefaultItem(g_app.popup, FALSE, 0));
    int cx = 0, cy = 0;
    EXPECT_TRUE(ImageList_GetIconSize(g_app.imageList, &cx, &cy) && cx == 16 && cy == 16) << cx << "x" << cy;
    EXPECT_EQ(3, ImageList_GetImageCount(g_app.imageList));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_APPLY)));

    std::vector<std::string> tray = SpyCalls("Shell_NotifyIcon");
    ASSERT_EQ(2u, tray.size());
    EXPECT_EQ(0u, tray[0].find("Shell_NotifyIcon ADD"));
    EXPECT_NE(std::string::npos, tray[0].find("flags=7"));
    EXPECT_EQ(0u, tray[1].find("Shell_NotifyIcon MODIFY"));
    EXPECT_NE(std::string::npos, tray[1].find("flags=3"));  // without NIF_TIP: the tooltip stays
    EXPECT_EQ("Initializing...", Tooltip());
    EXPECT_EQ(NOTIFYICONDATAA_V1_SIZE, g_app.trayIcon.cbSize);
    EXPECT_EQ(WM_APP_NOTIFY, g_app.trayIcon.uCallbackMessage);
    EXPECT_EQ(0u, g_app.trayIcon.uID);
    EXPECT_EQ(std::vector<std::string>({"SetTimer 2 300"}), SpyCalls("SetTimer"));
    EXPECT_EQ(std::vector<std::string>({"PostMessage 0x113 2"}), SpyCalls("PostMessage"));
    // No probe before OK.
    PumpFor(100);
    EXPECT_FALSE(Logged("socket"));
    EXPECT_FALSE(Logged("SetTimer 1"));
}

TEST_F(ProgramTest, RoutingTable) {
    OpenDialog();
    ShowWindow(window, SW_SHOW);
    struct Row {
        const char* what;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        INT_PTR result;
        const char* effect;  // a spied call it leads to, or null for none of those below
    } rows[] = {
        {"other timer", WM_TIMER, 7, 0, TRUE, nullptr},
        {"flash tick of a steady status", WM_TIMER, IDT_FLASH, 0, TRUE, nullptr},
        {"default-button query", DM_GETDEFID, 0, 0, TRUE, nullptr},
        {"tray: single click", WM_APP_NOTIFY, 0, WM_LBUTTONUP, TRUE, nullptr},
        {"tray: mouse move", WM_APP_NOTIFY, 0, WM_MOUSEMOVE, TRUE, nullptr},
        {"unknown source", WM_APP_NOTIFY, 12345, FD_CONNECT, TRUE, nullptr},
        {"other size", WM_SIZE, SIZE_RESTORED, 0, TRUE, nullptr},
        {"not routed", WM_USER + 1, 0, 0, FALSE, nullptr},
        {"not routed either", WM_ENTERIDLE, 0, 0, FALSE, nullptr},
        {"poll tick", WM_TIMER, IDT_POLL, 0, TRUE, "socket"},
    };
    const char* effects[] = {"TrackPopupMenuEx", "socket", "KillTimer", "MessageBox"};
    for (const Row& r : rows) {
        g_spy.log.clear();
        EXPECT_EQ(r.result, ConfigDialogProc(window, r.message, r.wParam, r.lParam)) << r.what;
        if (r.effect) EXPECT_TRUE(Logged(r.effect)) << r.what;
        for (const char* e : effects)
            EXPECT_EQ(r.effect && std::string(r.effect) == e, Logged(e)) << r.what << ": " << e;
    }
}

TEST_F(ProgramTest, NotifyIsTestedSocketFirstThenLookupThenTray) {
    OpenDialog();
    u_short port = ClosedPort();
    WriteDword("Port", port);
    g_app.settings.Port = port;
    ReplaceHost(&g_app, NewHostString("127.0.0.1", 9));
    g_spy.connect = [](SOCKET, const sockaddr*) {
        WSASetLastError(WSAEWOULDBLOCK);
        return SOCKET_ERROR;
    };
    Tick();
    SOCKET s = g_app.socket;
    ASSERT_NE(INVALID_SOCKET, s);
    // The socket's handle but another event: not a connect result, and no other source matches.
    ConfigDialogProc(window, WM_APP_NOTIFY, s, FD_READ);
    EXPECT_EQ(StatusTrying, g_app.currentStatus);
    // A lookup tracked under the same value: the socket's test comes first.
    g_app.pendingLookup = (HANDLE)s;
    ConfigDialogProc(window, WM_APP_NOTIFY, s, WSAMAKESELECTREPLY(FD_CONNECT, WSAECONNREFUSED));
    EXPECT_EQ(StatusOffline, g_app.currentStatus);
    EXPECT_EQ("The connection attempt was rejected.", Tooltip());
    EXPECT_EQ(INVALID_SOCKET, g_app.socket);
    EXPECT_EQ((HANDLE)s, g_app.pendingLookup);
    // Now only the lookup matches.
    ConfigDialogProc(window, WM_APP_NOTIFY, s, WSAMAKEASYNCREPLY(0, WSAHOST_NOT_FOUND));
    EXPECT_EQ("The host was not found by the DNS server.", Tooltip());
    EXPECT_EQ((HANDLE)0, g_app.pendingLookup);
}

TEST_F(ProgramTest, StartUpFailuresEndWithCodeOne) {
    g_spy.failWSAStartup = true;
    EXPECT_EQ(1, ProgramMain(g_app.instance));
    EXPECT_EQ(std::vector<std::string>({"MessageBox Error starting Winsock!|(none)|0x10|unowned"}),
              SpyCalls("MessageBox"));
    EXPECT_FALSE(Logged("Shell_NotifyIcon"));

    ResetSpies();
    g_spy.failTrayAdd = true;
    g_spy.messageBox = [](const char*, const char*, UINT) {
        g_spy.failTrayAdd = false;  // a shell restarts while the error is on screen
        SendMessageA(g_app.window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        PostMessageA(g_app.window, WM_CLOSE, 0, 0);  // another program's close request, under the box
        PumpFor(200);
        return IDOK;
    };
    EXPECT_EQ(1, ProgramMain(g_app.instance));
    EXPECT_TRUE(SpyCalls("PostMessage 0x10 ").empty()) << "the close request is not taken again and again";
    EXPECT_EQ(1u, SpyCalls("Shell_NotifyIcon ADD").size()) << "no icon that nothing would delete";
    EXPECT_EQ(std::vector<std::string>({"MessageBox Error adding tray icon!|(none)|0x10|owned"}),
              SpyCalls("MessageBox"));
    // The dialog ends before it is shown; the status is still set, and no exit sequence runs.
    std::vector<std::string>& log = g_spy.log;
    auto end = std::find(log.begin(), log.end(), "EndDialog 1");
    ASSERT_NE(log.end(), end);
    EXPECT_TRUE(
        std::any_of(end, log.end(), [](const std::string& e) { return e.find("Shell_NotifyIcon MODIFY") == 0; }));
    EXPECT_FALSE(Logged("RegCreateKeyEx"));
    EXPECT_FALSE(Logged("Shell_NotifyIcon DELETE"));
    DestroyMenu(g_app.menu);
    FreeHost(&g_app);
}

static UINT g_request;  // what another program posts once the dialog is on screen
static void CALLBACK PostRequest(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = FindWindowA(0, "Harkwin Configuration");
    if (!dialog || !IsWindowVisible(dialog)) return;
    KillTimer(0, timer);
    PostMessageA(dialog, g_request, 0, 0);
}

// Until a confirmed exit; a posted quit ends the dialog's loop unasked, and takes the icon with it.
TEST_F(ProgramTest, ProgramMainRunsTheDialogUntilAConfirmedExitOrAQuit) {
    for (UINT request : {WM_CLOSE, WM_QUIT}) {
        ResetProgram();
        g_spy.messageBox = [](const char*, const char*, UINT) { return IDYES; };
        g_request = request;
        UINT_PTR timer = SetTimer(0, 0, 50, PostRequest);
        INT_PTR result = ProgramMain(g_app.instance);
        KillTimer(0, timer);
        MSG quit;
        (void)PeekMessageA(&quit, 0, WM_QUIT, WM_QUIT, PM_REMOVE);  // the dialog's loop posts it on, as it should
        EXPECT_EQ(1u, SpyCalls("WSAStartup 0x101").size());
        EXPECT_EQ(1u, SpyCalls("Shell_NotifyIcon DELETE").size()) << request;
        EXPECT_EQ(request == WM_CLOSE, !SpyCalls("MessageBox").empty()) << request;
        if (request == WM_CLOSE) EXPECT_EQ(0, result);
    }
}

TEST_F(ProgramTest, ExitAnsweredYesRunsTheSequenceOnceInOrder) {
    WriteDword("Behaviors", 0x82810280);  // Trying flashes
    WriteString("Host", "name.invalid");
    OpenDialog();
    g_spy.lookup = [](const char*, char*, int) { return (HANDLE)0x4242; };
    Tick();
    ASSERT_EQ((HANDLE)0x4242, g_app.pendingLookup);
    g_spy.log.clear();
    // Requests inside the question, and events while the icon is deleted: the exploration's.
    g_spy.messageBox = [](const char*, const char*, UINT) { return IDYES; };
    SendMessageA(window, WM_CLOSE, 0, 0);
    std::vector<std::string> sequence;
    for (const std::string& e : g_spy.log)
        if (e.find("MessageBox") != 0) sequence.push_back(e.substr(0, e.find(" 0x")));
    ASSERT_EQ(8u, sequence.size()) << ::testing::PrintToString(g_spy.log);
    EXPECT_EQ("RegCreateKeyEx Software\\Harkwin", sequence[0]);
    EXPECT_EQ(0u, sequence[1].find("closesocket"));
    EXPECT_EQ("WSACancelAsyncRequest 16962", sequence[2]);
    EXPECT_EQ("DestroyMenu", sequence[3]);
    EXPECT_EQ("KillTimer 1", sequence[4]);
    EXPECT_EQ("KillTimer 2", sequence[5]);
    EXPECT_EQ(0u, sequence[6].find("Shell_NotifyIcon DELETE"));
    EXPECT_EQ("EndDialog 0", sequence[7]);
    EXPECT_EQ(nullptr, g_app.settings.Host);
    EXPECT_TRUE(g_app.dispatch.ending);
}

TEST_F(ProgramTest, ShellRestartAddsTheIconBackAsItStands) {
    WriteDword("Behaviors", 0x82810281);  // Trying flashes green
    OpenDialog();
    PumpFor(50);  // the first flash tick hides the icon
    ASSERT_EQ(nullptr, g_app.trayIcon.hIcon);
    g_spy.log.clear();
    UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    EXPECT_EQ(TRUE, ConfigDialogProc(window, taskbarCreated, 0, 0));
    std::vector<std::string> tray = SpyCalls("Shell_NotifyIcon");
    ASSERT_EQ(1u, tray.size());
    EXPECT_EQ(0u, tray[0].find("Shell_NotifyIcon ADD"));
    EXPECT_EQ("Initializing...", std::string(g_spy.lastTray.szTip));
    EXPECT_EQ(7u, g_spy.lastTray.uFlags);
    EXPECT_FALSE(Logged("SetTimer"));  // the flash phase goes on unchanged
}
