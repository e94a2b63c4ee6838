// The tray icon's colour, tooltip and flashing.
#include "tests/program/fixture.h"

#include <set>

#include "tray/status.h"

static HICON Icon(int id) { return LoadIconA(GetModuleHandleA(0), MAKEINTRESOURCEA(id)); }

class TrayTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        OpenDialog();
        g_spy.log.clear();
    }
    // The timer calls and tray updates since the last look.
    std::vector<std::string> Calls() {
        std::vector<std::string> out;
        for (const std::string& e : g_spy.log)
            if (e.find("SetTimer") == 0 || e.find("KillTimer") == 0 || e.find("PostMessage") == 0)
                out.push_back(e);
            else if (e.find("Shell_NotifyIcon") == 0)
                out.push_back("tray");
        g_spy.log.clear();
        return out;
    }
    typedef std::vector<std::string> Calls_;
};

TEST_F(TrayTest, FlashRulesInOneSequence) {
    // Default behaviours: Trying steady yellow, Offline steady red, Online flashing green, Error flashing red.
    SetStatus(&g_app, StatusOnline, "up", false);
    EXPECT_EQ(Calls_({"SetTimer 2 300", "PostMessage 0x113 2", "tray"}), Calls());
    EXPECT_EQ(Icon(IDI_GREEN), g_app.trayIcon.hIcon);
    PumpFor(20);  // the posted tick: flashing begins hidden
    EXPECT_EQ(nullptr, g_app.trayIcon.hIcon);
    EXPECT_EQ(Icon(IDI_GREEN), g_app.stashedIcon);
    EXPECT_EQ(Calls_({"tray"}), Calls());

    // Flashing to flashing: the timer keeps its rhythm, the new colour shows at once.
    SetStatus(&g_app, StatusError, "err", false);
    EXPECT_EQ(Calls_({"tray"}), Calls());
    EXPECT_EQ(Icon(IDI_RED), g_app.trayIcon.hIcon);
    EXPECT_EQ(nullptr, g_app.stashedIcon);
    OnFlashTick(&g_app);
    EXPECT_EQ(nullptr, g_app.trayIcon.hIcon);

    // Flashing to steady while hidden: the steady icon shows at once, the timer stops.
    SetStatus(&g_app, StatusOffline, "down", false);
    EXPECT_EQ(Calls_({"tray", "KillTimer 2", "tray"}), Calls());
    EXPECT_EQ(Icon(IDI_RED), g_app.trayIcon.hIcon);
    EXPECT_EQ(nullptr, g_app.stashedIcon);
    // A tick posted before flashing stopped changes nothing.
    SendMessageA(window, WM_TIMER, IDT_FLASH, 0);
    EXPECT_EQ(Calls_(), Calls());
    // Steady to steady: no timer call.
    SetStatus(&g_app, StatusTrying, "t", false);
    EXPECT_EQ(Calls_({"tray"}), Calls());

    // Force: a steady status kills the timer whether or not it ran, and no text keeps the tooltip.
    SetStatus(&g_app, StatusTrying, nullptr, true);
    EXPECT_EQ(Calls_({"KillTimer 2", "tray"}), Calls());
    EXPECT_EQ(3u, g_spy.lastTray.uFlags);
    EXPECT_EQ(7u, g_app.trayIcon.uFlags);
    EXPECT_EQ("t", Tooltip());
    // Force on a flashing status restarts it with the current period.
    SetStatus(&g_app, StatusOnline, "up", false);
    g_app.settings.Flash = 0;  // a hand-edited zero never reaches the timer
    SetStatus(&g_app, StatusOnline, nullptr, true);
    EXPECT_EQ(
        Calls_({"SetTimer 2 300", "PostMessage 0x113 2", "tray", "SetTimer 2 300", "PostMessage 0x113 2", "tray"}),
        Calls());

    // Online -> Trying -> Online restarts the blinking with a hidden phase.
    PumpFor(20);
    Calls();
    SetStatus(&g_app, StatusTrying, "Trying to connect...", false);
    EXPECT_EQ(Icon(IDI_YELLOW), g_app.trayIcon.hIcon);
    SetStatus(&g_app, StatusOnline, "up", false);
    EXPECT_EQ(Calls_({"KillTimer 2", "tray", "SetTimer 2 300", "PostMessage 0x113 2", "tray"}), Calls());
    PumpFor(20);
    EXPECT_EQ(nullptr, g_app.trayIcon.hIcon);
}

TEST_F(TrayTest, TooltipIsCutAndIconsAreSharedNotLeaked) {
    std::string longText(100, 'm');
    SetStatus(&g_app, StatusOffline, longText.c_str(), false);
    EXPECT_EQ(std::string(63, 'm'), Tooltip());
    EXPECT_EQ(std::string(63, 'm'), std::string(g_spy.lastTray.szTip));

    std::set<HICON> seen;
    for (int i = 0; i < 3000; ++i) {
        SetStatus(&g_app, (ProbeStatus)(i % 4), "x", i % 7 == 0);
        if (i % 3 == 0) OnFlashTick(&g_app);
        if (g_app.trayIcon.hIcon) seen.insert(g_app.trayIcon.hIcon);
    }
    EXPECT_EQ(3u, seen.size()) << "one handle per colour, however often loaded";
    EXPECT_EQ(0, g_spy.destroyedIcons) << "shared icons are never destroyed";
    KillTimer(window, IDT_FLASH);
}

TEST_F(TrayTest, ColourIndexBeyondThePaletteShowsAsYellow) {
    g_app.settings.Behaviors[StatusOffline] = 0x05;
    g_app.settings.Behaviors[StatusError] = 0xFF;
    SetStatus(&g_app, StatusOffline, "x", false);
    EXPECT_EQ(Icon(IDI_YELLOW), g_app.trayIcon.hIcon);
    SetStatus(&g_app, StatusError, "x", false);
    EXPECT_EQ(Icon(IDI_YELLOW), g_app.trayIcon.hIcon);
    EXPECT_FALSE(SpyCalls("SetTimer 2").empty()) << "0xFF still flashes";
}
