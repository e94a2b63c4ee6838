// Activation while the exit question is open; the orders of events themselves are explored in
// exploration_test.cpp.
#include "tests/program/fixture.h"

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
