// Events that arrive while another handler is under way: inside the menu's loop, inside the
// question's, or delivered by a platform call in the middle of a handler.
#include "tests/program/fixture.h"

#include "core/host.h"
#include "tray/status.h"

static bool Logged(const std::string& prefix) { return !SpyCalls(prefix).empty(); }

static size_t Position(const std::string& prefix) {
    for (size_t i = 0; i < g_spy.log.size(); ++i)
        if (g_spy.log[i].compare(0, prefix.size(), prefix) == 0) return i;
    return g_spy.log.size();
}

TEST_F(ProgramTest, WhileTheTrayMenuIsOpenNoMenuNestsAndExitWaitsForItToClose) {
    OpenDialog();
    int asked = 0, tracked = 0;
    g_spy.messageBox = [&](const char*, const char*, UINT) { return ++asked, IDYES; };
    bool destroyedUnderTheMenu = true, flagHeld = false;
    g_spy.trackPopup = [&](HMENU, UINT) {
        if (++tracked > 1) return (BOOL)0;
        SendMessageA(window, WM_APP_NOTIFY, 0, WM_RBUTTONUP);  // a right click while the menu is open
        flagHeld = g_app.trackingMenu;
        SendMessageA(window, WM_CLOSE, 0, 0);  // another program asks the window to close, twice
        SendMessageA(window, WM_CLOSE, 0, 0);
        destroyedUnderTheMenu = Logged("DestroyMenu");
        return (BOOL)0;
    };
    SendMessageA(window, WM_APP_NOTIFY, 0, WM_RBUTTONUP);
    EXPECT_EQ(1, tracked) << "no menu inside the menu";
    EXPECT_TRUE(flagHeld) << "the menu is still tracked";
    EXPECT_FALSE(destroyedUnderTheMenu);
    EXPECT_FALSE(SpyCalls("EndMenu").empty());
    EXPECT_TRUE(SpyCalls("PostMessage 0x10 ").empty()) << "nothing posted after the menu";
    EXPECT_EQ(1, asked) << "asked once, as soon as the menu has returned";
    EXPECT_TRUE(g_app.exiting);
    EXPECT_EQ(1u, SpyCalls("DestroyMenu").size());
}

// The shell's tray notices are sent from its own thread: a platform call that waits (a tray
// update, a peek at the queue) may deliver them in the middle of a handler.
TEST_F(ProgramTest, TrayEventsSentMeanwhileWaitForTheHandlerUnderWay) {
    OpenDialog();
    u_short port;
    SOCKET listener = OpenListener(&port);
    g_app.settings.Port = port;
    ReplaceHost(&g_app, NewHostString("127.0.0.1", 9));
    ForeignSend rightClick = {window, WM_APP_NOTIFY, WM_RBUTTONUP, 0, 0};
    auto menuTracked = [] { return Logged("TrackPopupMenuEx"); };

    // Closing the previous socket looks at the queue for its stale notices.
    Tick();
    bool sent = false;
    g_spy.onClose = [&] {
        if (!sent) StartForeignSend(&rightClick);
        sent = true;
    };
    g_spy.log.clear();
    Tick();
    EXPECT_TRUE(sent);
    EXPECT_TRUE(FinishForeignSend(&rightClick));
    EXPECT_LT(Position("WSAAsyncSelect"), Position("TrackPopupMenuEx")) << "it runs once the probe has started";
    EXPECT_EQ(1u, SpyCalls("TrackPopupMenuEx").size()) << "once";
    EXPECT_TRUE(SpyCalls("PostMessage 0x400 ").empty()) << "nothing back to the queue";

    // The tray update of a connect result delivers it: it runs once the result is done.
    g_spy.onClose = nullptr;
    ASSERT_TRUE(PumpUntil([] { return g_app.currentStatus == StatusOnline; }));
    Tick();
    sent = false;
    g_spy.onTray = [&](DWORD) {
        if (sent || g_app.currentStatus != StatusOnline) return;
        sent = true;
        StartForeignSend(&rightClick);
        MSG m;
        PeekMessageA(&m, 0, 0, 0, PM_NOREMOVE);  // as a waiting platform call does
    };
    g_spy.log.clear();
    ASSERT_TRUE(PumpUntil([&] { return sent; }));
    EXPECT_TRUE(FinishForeignSend(&rightClick));
    EXPECT_TRUE(menuTracked());
    EXPECT_LT(Position("closesocket"), Position("TrackPopupMenuEx")) << ::testing::PrintToString(g_spy.log);
    EXPECT_EQ(INVALID_SOCKET, g_app.socket);
    closesocket(listener);
}

static WNDPROC g_dialogProc;
static int g_dialogActivations;
static LRESULT CALLBACK CountActivations(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    g_dialogActivations += message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE;
    return CallWindowProcA(g_dialogProc, window, message, wParam, lParam);
}

// While the exit question is open, the dialog is disabled under it: the keyboard goes to the
// box, and the dialog is shown behind it without being activated first.
TEST_F(ProgramTest, ActivationGoesToTheBoxInFront) {
    OpenDialog();
    ShowWindow(window, SW_SHOW);
    g_spy.messageBox = [&](const char*, const char*, UINT) {
        HWND box = CreateWindowExA(0, "#32770", "Question", WS_POPUP | WS_VISIBLE, 10, 10, 80, 40, window, 0, 0, 0);
        HWND yes = CreateWindowExA(0, "BUTTON", "&Yes", WS_CHILD | WS_VISIBLE, 0, 0, 40, 20, box, 0, 0, 0);
        EnableWindow(window, FALSE);
        SetActiveWindow(box);
        SetFocus(yes);
        const struct {
            const char* what;
            BOOL chosen;
            LPARAM mouse;
        } rows[] = {{"double click", 0, WM_LBUTTONDBLCLK},
                    {"the menu's Configuration", ID_TRAY_CONFIGURATION, WM_RBUTTONUP},
                    {"a dismissed menu", 0, WM_RBUTTONUP},
                    {"a second Exit", ID_TRAY_EXIT, WM_RBUTTONUP}};
        g_dialogProc = (WNDPROC)SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)CountActivations);
        for (const auto& r : rows) {
            g_spy.trackPopup = [&](HMENU, UINT) { return r.chosen; };
            ShowWindow(window, SW_HIDE);
            g_dialogActivations = 0;
            SendMessageA(window, WM_APP_NOTIFY, 0, r.mouse);
            EXPECT_EQ(box, GetActiveWindow()) << r.what;
            EXPECT_EQ(yes, GetFocus()) << r.what;
            bool shows = r.mouse == WM_LBUTTONDBLCLK || r.chosen == ID_TRAY_CONFIGURATION;
            EXPECT_EQ(shows, IsWindowVisible(window) != FALSE) << r.what;
            EXPECT_EQ(0, g_dialogActivations) << r.what;
        }
        SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)g_dialogProc);
        EnableWindow(window, TRUE);
        DestroyWindow(box);
        return IDNO;
    };
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(1u, SpyCalls("MessageBox").size());
    // With no box open, the dialog itself comes forward with a focus.
    SendMessageA(window, WM_APP_NOTIFY, 0, WM_LBUTTONDBLCLK);
    EXPECT_EQ(window, GetActiveWindow());
    EXPECT_TRUE(IsChild(window, GetFocus()));
}

// Delivered inside a handler whose platform call runs a loop of its own: noted, not run there
// nor sent back to the queue, and each runs once after the handler.
TEST_F(ProgramTest, EventsDeliveredInsideAHandlerRunOnceAfterIt) {
    OpenDialog();
    int asked = 0;
    g_spy.messageBox = [&](const char*, const char*, UINT) { return ++asked, IDNO; };
    SetStatus(&g_app, StatusOffline, "down", false);  // the tick's tray update shows Trying
    bool inside = false, ranInside = true;
    g_spy.onTray = [&](DWORD) {
        if (inside) return;
        inside = true;
        SendMessageA(window, WM_APP_NOTIFY, 0, WM_RBUTTONUP);
        SendMessageA(window, WM_CLOSE, 0, 0);
        SendMessageA(window, WM_CLOSE, 0, 0);
        PumpFor(100);
        ranInside = Logged("TrackPopupMenuEx") || asked > 0;
    };
    Tick();
    EXPECT_FALSE(ranInside);
    EXPECT_EQ(1u, SpyCalls("TrackPopupMenuEx").size());
    EXPECT_EQ(1, asked);
    EXPECT_TRUE(SpyCalls("PostMessage 0x10 ").empty() && SpyCalls("PostMessage 0x400 ").empty());
}

// The system menu is a menu: a tray menu does not open inside it, and a close request ends it
// and is asked once it has closed.
static void CALLBACK InsideTheSystemMenu(HWND window, UINT, UINT_PTR timer, DWORD) {
    static int fired = 0;
    if (++fired > 1) {  // a menu the close request failed to end
        KillTimer(window, timer);
        fired = 0;
        EndMenu();
        return;
    }
    SetTimer(window, timer, 1000, InsideTheSystemMenu);
    g_spy.log.push_back(g_app.menuLoops > 0 ? "inside the menu" : "outside the menu");
    SendMessageA(window, WM_APP_NOTIFY, 0, WM_RBUTTONUP);
    PostMessageA(window, WM_CLOSE, 0, 0);
}

TEST_F(ProgramTest, ACloseRequestWaitsForTheSystemMenu) {
    OpenDialog();
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    bool menuClosed = false;
    g_spy.messageBox = [&](const char*, const char*, UINT) { return menuClosed = g_app.menuLoops == 0, IDNO; };
    SetTimer(window, 77, 100, InsideTheSystemMenu);
    SendMessageA(window, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    PumpFor(1100);
    EXPECT_TRUE(Logged("inside the menu")) << ::testing::PrintToString(g_spy.log);
    EXPECT_FALSE(Logged("TrackPopupMenuEx"));
    EXPECT_TRUE(Logged("EndMenu"));
    EXPECT_EQ(1u, SpyCalls("MessageBox").size());
    EXPECT_TRUE(menuClosed);
}

// A shell restart delivered inside a tray update that leaves the tooltip alone.
TEST_F(ProgramTest, AShellRestartInsideATrayUpdateAddsTheTooltipToo) {
    OpenDialog();
    g_spy.onTray = [&](DWORD message) {
        if (message == NIM_MODIFY) SendMessageA(window, g_app.taskbarCreated, 0, 0);
    };
    g_spy.log.clear();
    SetStatus(&g_app, StatusOffline, 0, false);
    g_spy.onTray = nullptr;
    EXPECT_EQ(7u, g_spy.lastTray.uFlags) << ::testing::PrintToString(g_spy.log);
}
