// Drives the real Harkwin.exe under Wine as a user would, journey by journey.
//   driver.exe path/to/Harkwin.exe pictures-dir
#include <cstdio>
#include <string>
#include <vector>

#include "e2e/driver_lib.h"
#include "ui/resource.h"

static std::string g_exe, g_pictures;

static bool TrayIs(const char* colour, DWORD timeoutMs) {
    return WaitFor(std::string("the tray icon to show ") + colour, timeoutMs, [&] { return TrayColour() == colour; });
}

static bool FocusIs(HWND dialog, int id) {
    return WaitFor("the focus on control " + std::to_string(id), 3000, [&] { return FocusedControl(dialog) == id; });
}

static void Picture(const char* name, RECT area) {
    if (!g_pictures.empty()) SaveScreen(g_pictures + "/" + name + ".bmp", area);
}

static RECT TrayArea() {
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    RECT r = {w - 160, h - 20, w, h};
    return r;
}

static RECT WindowArea(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return r;
}

// The first start: the dialog, the keyboard, hiding and showing, leaving.
static void FirstStart() {
    puts("# first start");
    DeleteSettings();
    Program program;
    if (!StartProgram(&program, g_exe)) return;
    HWND dialog = program.dialog;
    Foreground(dialog);
    Check(FocusedControl(dialog) == IDOK, "the focus starts on OK");
    Check(TrayIs("yellow", 5000), "the tray shows the yellow disc");
    Check(!IsWindowEnabled(GetDlgItem(dialog, IDC_APPLY)), "Apply starts disabled");
    Picture("tray-trying", TrayArea());
    Check(ReadTrayTooltip() == "Initializing...", "the tooltip reads Initializing...");
    Foreground(dialog);

    static const int tabOrder[] = {IDCANCEL, IDC_HOST, IDC_RESOLVE, IDC_PORT, IDC_POLL, IDC_FLASH_INTERVAL,
                                   IDC_EXIT, IDC_FLASH_TRYING, IDC_FLASH_OFFLINE, IDC_FLASH_ONLINE,
                                   IDC_FLASH_ERROR, IDC_COLOUR_TRYING, IDC_COLOUR_OFFLINE, IDC_COLOUR_ONLINE,
                                   IDC_COLOUR_ERROR, IDOK};
    std::string visited;
    bool inOrder = true;
    for (int id : tabOrder) {
        Press(VK_TAB);
        inOrder = FocusIs(dialog, id) && inOrder;
        visited += std::to_string(FocusedControl(dialog)) + " ";
    }
    Check(inOrder, "Tab visits the controls in the template's order, skipping the disabled Apply: " + visited);

    struct Key { char letter; int id; } keys[] = {
        {'p', IDC_PORT}, {'t', IDC_FLASH_TRYING}, {'l', IDC_POLL}, {'s', IDC_FLASH_INTERVAL},
        {'f', IDC_FLASH_OFFLINE}, {'n', IDC_FLASH_ONLINE}, {'e', IDC_FLASH_ERROR}, {'h', IDC_HOST}};
    for (const Key& k : keys) {
        UINT before = (UINT)SendMessageA(GetDlgItem(dialog, k.id), BM_GETCHECK, 0, 0);
        Alt(k.letter);
        Check(FocusIs(dialog, k.id), std::string("Alt+") + k.letter + " moves the focus to control " + std::to_string(k.id));
        Check(before == (UINT)SendMessageA(GetDlgItem(dialog, k.id), BM_GETCHECK, 0, 0),
              std::string("Alt+") + k.letter + " toggles nothing");
    }

    Picture("dialog", WindowArea(dialog));
    Alt('l');
    FocusIs(dialog, IDC_POLL);
    Type("a");
    Type("5");
    WaitFor("the typed digit", 3000, [&] { return ControlText(dialog, IDC_POLL) == "5"; });
    Check(ControlText(dialog, IDC_POLL) == "5", "a letter in the poll field is refused, a digit taken: " +
                                                    ControlText(dialog, IDC_POLL));
    Check(IsWindowEnabled(GetDlgItem(dialog, IDC_APPLY)) != FALSE, "an edit enables Apply");

    Press(VK_ESCAPE);
    Check(WaitFor("Esc to hide the dialog", 3000, [&] { return !IsWindowVisible(dialog); }), "Esc hides the dialog");
    POINT icon = TrayIconCentre();
    DoubleClick(icon.x, icon.y);
    Check(WaitFor("the dialog back", 5000, [&] { return IsWindowVisible(dialog) != FALSE; }),
          "a double click on the tray icon brings the dialog back");
    Check(ControlText(dialog, IDC_POLL) == "60", "with the settings in force, the edit discarded");
    Check(!IsWindowEnabled(GetDlgItem(dialog, IDC_APPLY)), "and Apply disabled");

    Foreground(dialog);
    Alt(' ');
    Press('N');
    Check(WaitFor("minimising to hide the dialog", 3000, [&] { return !IsWindowVisible(dialog); }),
          "minimising from the system menu hides the dialog");
    DoubleClick(icon.x, icon.y);
    WaitFor("the dialog back", 5000, [&] { return IsWindowVisible(dialog) != FALSE; });

    Foreground(dialog);
    PrintSummary();
    KillProgram(&program);
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: driver Harkwin.exe [pictures-dir]\n");
        return 2;
    }
    g_exe = argv[1];
    if (argc > 2) {
        g_pictures = argv[2];
        CreateDirectoryA(WindowsPath(g_pictures).c_str(), 0);
    }
    WSADATA winsock;
    WSAStartup(0x0101, &winsock);
    if (!WaitFor("the notification area", 20000, [] { return FindWindowA("Shell_TrayWnd", 0) != 0; })) return 1;
    FirstStart();
    PrintSummary();
    return Failures() ? 1 : 0;
}
