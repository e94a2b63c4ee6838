// The dialog's behaviour on the real template, and the tray menu.
#include "tests/program/fixture.h"

#include "base/host.h"
#include "store/settings_store.h"
#include "tray/status.h"
#include "dialog/config_dialog.h"

class DialogTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        OpenDialog();
        ShowWindow(window, SW_SHOW);
        g_spy.log.clear();
    }
    void SetText(int id, const char* text) { SetDlgItemTextA(window, id, text); }
    std::string Text(int id) {
        char text[256] = "";
        GetDlgItemTextA(window, id, text, sizeof text);
        return text;
    }
    LRESULT Selected(int id) { return SendMessageA(Item(id), CB_GETCURSEL, 0, 0); }
    // A drop-down combo passes the focus on to its edit field.
    bool HasFocus(int id) { return GetFocus() == Item(id) || IsChild(Item(id), GetFocus()); }
    bool ApplyEnabled() { return IsWindowEnabled(Item(IDC_APPLY)) != FALSE; }
    Settings& s = g_app.settings;
};

TEST_F(DialogTest, ListsAreFilledOnceAndShowTheSettings) {
    HWND port = Item(IDC_PORT);
    ASSERT_EQ(6, SendMessageA(port, CB_GETCOUNT, 0, 0));
    const int ports[] = {21, 22, 23, 25, 80, 110};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(ports[i], SendMessageA(port, CB_GETITEMDATA, i, 0));
    char label[32];
    SendMessageA(port, CB_GETLBTEXT, 0, (LPARAM)label);
    EXPECT_STREQ("21 (FTP)", label);
    SendMessageA(port, CB_GETLBTEXT, 5, (LPARAM)label);
    EXPECT_STREQ("110 (POP3)", label);
    const int pickers[] = {IDC_COLOUR_TRYING, IDC_COLOUR_OFFLINE, IDC_COLOUR_ONLINE, IDC_COLOUR_ERROR};
    const char* names[] = {"Yellow", "Green", "Red"};
    for (int picker : pickers) {
        ASSERT_EQ(3, SendMessageA(Item(picker), CB_GETCOUNT, 0, 0));
        EXPECT_EQ((LRESULT)g_app.imageList, SendMessageA(Item(picker), CBEM_GETIMAGELIST, 0, 0));
        for (int i = 0; i < 3; ++i) {
            char text[16] = "";
            COMBOBOXEXITEMA item = {};
            item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
            item.iItem = i;
            item.pszText = text;
            item.cchTextMax = sizeof text;
            SendMessageA(Item(picker), CBEM_GETITEMA, 0, (LPARAM)&item);
            EXPECT_STREQ(names[i], text);
            EXPECT_EQ(i, item.iImage);
            EXPECT_EQ(i, item.iSelectedImage);
        }
    }
    // Defaults: Yellow, Red, Green, Red; flashing Online and Error; Resolve on.
    EXPECT_EQ("80 (HTTP)", Text(IDC_PORT));
    EXPECT_EQ(4, Selected(IDC_PORT));
    EXPECT_EQ("60", Text(IDC_POLL));
    EXPECT_EQ("300", Text(IDC_FLASH_INTERVAL));
    const LRESULT colours[] = {0, 2, 1, 2};
    const int boxes[] = {IDC_FLASH_TRYING, IDC_FLASH_OFFLINE, IDC_FLASH_ONLINE, IDC_FLASH_ERROR};
    const UINT checks[] = {BST_UNCHECKED, BST_UNCHECKED, BST_CHECKED, BST_CHECKED};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(colours[i], Selected(pickers[i])) << i;
        EXPECT_EQ(checks[i], IsDlgButtonChecked(window, boxes[i])) << i;
    }
    EXPECT_EQ((UINT)BST_CHECKED, IsDlgButtonChecked(window, IDC_RESOLVE));

    s.Port = 8080;
    s.Behaviors[StatusOffline] = 0x05;
    SettingsToDialog(&g_app);
    EXPECT_EQ("8080", Text(IDC_PORT));
    EXPECT_EQ(-1, Selected(IDC_COLOUR_OFFLINE)) << "an index beyond the palette selects nothing";
}

TEST_F(DialogTest, EachFailingFieldTakesTheFocusAndKeepsWhatWasTaken) {
    struct Row {
        const char *host, *port, *poll, *flash;
        int focus;
        const char* hostAfter;
        uint16_t portAfter;
        uint32_t pollAfter, flashAfter;
    } rows[] = {
        {"", "25", "5", "50", IDC_HOST, "old", 80, 60, 300},
        {"new", "0", "5", "50", IDC_PORT, "new", 80, 60, 300},
        {"new", "65536", "5", "50", IDC_PORT, "new", 80, 60, 300},
        {"new", "http", "5", "50", IDC_PORT, "new", 80, 60, 300},
        {"new", "8080", "", "50", IDC_POLL, "new", 8080, 60, 300},
        {"new", "8080", "4294967296", "50", IDC_POLL, "new", 8080, 60, 300},
        {"new", "22 (SSH)", "5", "0", IDC_FLASH_INTERVAL, "new", 22, 5, 300},
        {"new", "22", "5", "", IDC_FLASH_INTERVAL, "new", 22, 5, 300},
    };
    for (const Row& r : rows) {
        ReplaceHost(&g_app, NewHostString("old", 3));
        s.Port = 80, s.Poll = 60, s.Flash = 300;
        SetText(IDC_HOST, r.host);
        SetText(IDC_PORT, r.port);
        SetText(IDC_POLL, r.poll);
        SetText(IDC_FLASH_INTERVAL, r.flash);
        SetFocus(Item(IDOK));
        g_spy.log.clear();
        Command(IDC_APPLY);
        EXPECT_EQ(std::vector<std::string>({"MessageBeep 0xffffffff"}), SpyCalls("MessageBeep")) << r.focus;
        EXPECT_TRUE(HasFocus(r.focus)) << r.focus;
        EXPECT_STREQ(r.hostAfter, s.Host) << r.focus;
        EXPECT_EQ(r.portAfter, s.Port) << r.focus;
        EXPECT_EQ(r.pollAfter, s.Poll) << r.focus;
        EXPECT_EQ(r.flashAfter, s.Flash) << r.focus;
        EXPECT_TRUE(SpyCalls("RegCreateKeyEx").empty()) << "nothing saved on failure";
    }
    // Short of memory, the host field fails like an empty one and the old host stays.
    ReplaceHost(&g_app, NewHostString("old", 3));
    SetText(IDC_HOST, "newer");
    g_spy.heapAllocsBeforeFailure = 0;
    Command(IDC_APPLY);
    g_spy.heapAllocsBeforeFailure = -1;
    EXPECT_TRUE(HasFocus(IDC_HOST));
    EXPECT_STREQ("old", s.Host);
}

TEST_F(DialogTest, ApplyTakesSavesAndTracksUnappliedEdits) {
    EXPECT_FALSE(ApplyEnabled());
    SetText(IDC_HOST, "example.org");  // EN_CHANGE
    EXPECT_TRUE(ApplyEnabled());
    SendMessageA(Item(IDC_PORT), CB_SETCURSEL, 5, 0);  // "110 (POP3)"
    SendMessageA(Item(IDC_COLOUR_ONLINE), CB_SETCURSEL, 2, 0);
    SendMessageA(Item(IDC_FLASH_TRYING), BM_CLICK, 0, 0);
    SendMessageA(Item(IDC_RESOLVE), BM_CLICK, 0, 0);
    Command(IDC_APPLY);
    EXPECT_FALSE(ApplyEnabled());
    EXPECT_STREQ("example.org", s.Host);
    EXPECT_EQ(110, s.Port);
    EXPECT_EQ(0x82820280u, PackBehaviors(s.Behaviors));
    EXPECT_EQ(0u, s.Resolve);
    EXPECT_EQ(1u, SpyCalls("RegCreateKeyEx").size());
    // Trying now flashes: the force of Apply started the timer.
    EXPECT_EQ(std::vector<std::string>({"SetTimer 2 300"}), SpyCalls("SetTimer"));

    struct Step {
        const char* what;
        std::function<void()> act;
        bool enabled;
    } steps[] = {
        {"selection", [&] { Command(IDC_COLOUR_ERROR, CBN_SELCHANGE); }, true},
        {"success", [&] { Command(IDC_APPLY); }, false},
        {"check box", [&] { SendMessageA(Item(IDC_FLASH_ERROR), BM_CLICK, 0, 0); }, true},
        {"failed apply",
         [&] {
             SetText(IDC_POLL, "0");
             Command(IDC_APPLY);
         },
         true},
        {"typed port",
         [&] {
             SetText(IDC_POLL, "9");
             Command(IDC_APPLY);
             Command(IDC_PORT, CBN_EDITCHANGE);
         },
         true},
        {"another code",
         [&] {
             Command(IDC_APPLY);
             Command(IDC_HOST, EN_SETFOCUS);
         },
         false},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(step.enabled, ApplyEnabled()) << step.what;
    }
    // A picker with nothing selected is taken as colour 0.
    SendMessageA(Item(IDC_COLOUR_OFFLINE), CB_SETCURSEL, (WPARAM)-1, 0);
    Command(IDC_APPLY);
    EXPECT_EQ(0x00, s.Behaviors[StatusOffline]);
}

TEST_F(DialogTest, ColourChangeRecoloursTheTrayAtOnce) {
    SetText(IDC_HOST, "127.0.0.1");
    SendMessageA(Item(IDC_COLOUR_TRYING), CB_SETCURSEL, 1, 0);
    Command(IDC_APPLY);
    EXPECT_EQ(LoadIconA(g_app.instance, MAKEINTRESOURCEA(IDI_GREEN)), g_spy.lastTray.hIcon);
    EXPECT_EQ(3u, g_spy.lastTray.uFlags) << "the tooltip stays";
    HKEY key;
    DWORD behaviors = 0, size = 4;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, KEY_QUERY_VALUE, &key));
    RegQueryValueExA(key, "Behaviors", 0, 0, (BYTE*)&behaviors, &size);
    RegCloseKey(key);
    EXPECT_EQ(0x82810201u, behaviors);
}

TEST_F(DialogTest, OkStartsPollingAndHidesEvenWhenApplyFails) {
    SetText(IDC_HOST, "");
    SetText(IDC_POLL, "4294967295");
    Command(IDOK);
    EXPECT_EQ(1u, SpyCalls("MessageBeep").size());
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(std::vector<std::string>({"SetTimer 1 60000"}), SpyCalls("SetTimer 1"))
        << "the settings in force: the poll field was never taken";
    EXPECT_EQ(std::vector<std::string>({"PostMessage 0x113 1"}), SpyCalls("PostMessage"));
    PumpFor(20);
    EXPECT_FALSE(SpyCalls("socket").empty()) << "the immediate tick probes";

    // A huge poll interval is clamped, never wrapped.
    ShowWindow(window, SW_SHOW);
    SetText(IDC_HOST, "127.0.0.1");
    g_spy.log.clear();
    Command(IDOK);
    EXPECT_EQ(4294967295u, s.Poll);
    EXPECT_EQ(std::vector<std::string>({"SetTimer 1 2147483647"}), SpyCalls("SetTimer 1"));
}

TEST_F(DialogTest, NewFlashIntervalRestartsTheBlinkingAtOnce) {
    SetStatus(&g_app, StatusOnline, "up", false);
    PumpFor(20);
    SetText(IDC_HOST, "127.0.0.1");
    g_spy.log.clear();
    SetText(IDC_FLASH_INTERVAL, "500");
    Command(IDC_APPLY);
    std::vector<std::string> timers;
    for (const std::string& e : g_spy.log)
        if (e.find("Timer") != std::string::npos || e.find("PostMessage") == 0) timers.push_back(e);
    EXPECT_EQ(std::vector<std::string>({"SetTimer 2 500", "PostMessage 0x113 2"}), timers) << "restarted once";
    EXPECT_EQ(LoadIconA(g_app.instance, MAKEINTRESOURCEA(IDI_GREEN)), g_app.trayIcon.hIcon);
}

TEST_F(DialogTest, ShowActionDiscardsUnappliedEdits) {
    SetText(IDC_HOST, "typed but not applied");
    SendMessageA(Item(IDC_RESOLVE), BM_CLICK, 0, 0);
    Command(IDCANCEL);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ("typed but not applied", Text(IDC_HOST)) << "Cancel leaves the edits in the controls";
    g_spy.log.clear();
    SendMessageA(window, WM_APP_NOTIFY, 0, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ("", Text(IDC_HOST));
    EXPECT_EQ((UINT)BST_CHECKED, IsDlgButtonChecked(window, IDC_RESOLVE));
    EXPECT_FALSE(ApplyEnabled());
    EXPECT_EQ(std::vector<std::string>({"SetActiveWindow"}), SpyCalls("SetActiveWindow"));
    EXPECT_EQ(std::vector<std::string>({"SetForegroundWindow"}), SpyCalls("SetForegroundWindow"));
    // A minimised dialog is restored too.
    ShowWindow(window, SW_MINIMIZE);
    SendMessageA(window, WM_APP_NOTIFY, 0, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(IsIconic(window));
}

TEST_F(DialogTest, DisablingApplyHandsItsFocusToOk) {
    struct Row {
        const char* path;
        HWND focus;
    } rows[] = {{"apply", Item(IDC_APPLY)}, {"show", Item(IDC_APPLY)}, {"show without a focus", 0}};
    for (const Row& r : rows) {
        const char* path = r.path;
        SetText(IDC_HOST, "example.org");
        ASSERT_TRUE(ApplyEnabled());
        SetFocus(r.focus);
        if (path[0] == 'a')
            Command(IDC_APPLY);
        else
            SendMessageA(window, WM_APP_NOTIFY, 0, WM_LBUTTONDBLCLK);
        EXPECT_FALSE(ApplyEnabled()) << path;
        EXPECT_EQ(Item(IDOK), GetFocus()) << path;
        EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongA(Item(IDOK), GWL_STYLE) & 0xF) << path << ": OK stays the default";
    }
}

TEST_F(DialogTest, TrayMenuCommands) {
    struct Row {
        BOOL chosen;
        bool shown;
        bool asked;
    } rows[] = {{0, false, false}, {ID_TRAY_CONFIGURATION, true, false}, {ID_TRAY_EXIT, false, true}};
    for (const Row& r : rows) {
        ShowWindow(window, SW_HIDE);
        ASSERT_TRUE(SetCursorPos(123, 45));
        g_spy.log.clear();
        BOOL chosen = r.chosen;
        HMENU shownMenu = 0;
        g_spy.trackPopup = [&](HMENU menu, UINT) {
            shownMenu = menu;
            return chosen;
        };
        g_spy.messageBox = [](const char*, const char*, UINT) { return IDNO; };
        SendMessageA(window, WM_APP_NOTIFY, 0, WM_RBUTTONUP);
        EXPECT_EQ(g_app.popup, shownMenu);
        std::vector<std::string> calls = SpyCalls("TrackPopupMenuEx");
        ASSERT_EQ(1u, calls.size());
        EXPECT_EQ("TrackPopupMenuEx 0x1aa 123 45 none", calls[0]) << "at the cursor";
        EXPECT_EQ(r.shown, IsWindowVisible(window) != FALSE) << r.chosen;
        EXPECT_EQ(r.asked, !SpyCalls("MessageBox").empty()) << r.chosen;
        EXPECT_TRUE(SpyCalls("PostMessage").empty()) << "nothing posted after the menu";
        // The menu's own activation comes before it opens.
        EXPECT_EQ("SetActiveWindow", g_spy.log[0]);
        EXPECT_EQ("SetForegroundWindow", g_spy.log[1]);
    }
    EXPECT_FALSE(g_app.dispatch.ending);
}
