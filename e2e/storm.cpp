// A seeded storm of the user's and the shell's ordinary events at the real Harkwin.exe, with
// its invariants checked after every event. The same seed draws the same events.
//   storm.exe path/to/Harkwin.exe   (STORM_EVENTS, default 80; STORM_SEED: seeds run in turn, separated
//                                    by commas, "fresh" or nothing for a new one, each with
//                                    ":events" where it has a count of its own)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "e2e/driver_lib.h"

#include <shellapi.h>
#include "ui/resource.h"

static unsigned long long g_random;
static unsigned Draw(unsigned n) {
    g_random ^= g_random << 13, g_random ^= g_random >> 7, g_random ^= g_random << 17;
    return (unsigned)((g_random >> 32) % n);
}

struct Storm {
    Program program;
    Listener listener;
    u_short port = 0;
    int pid = 0;
    bool systemMenu = false;  // the open menu is a system menu (Alt+Space)
    WPARAM selection = 0;     // the last selection posted to the host field
};

// The events, each with the state in which a user or the shell could cause it.
enum Event {
    DoubleClickIcon,
    RightClickIcon,
    MenuConfiguration,
    MenuExit,
    MenuDismiss,
    EscKey,
    EnterKey,
    AltA,
    PollEdit,
    CloseBox,
    Minimise,
    AltSpace,
    AnswerNo,
    CloseRequest,
    ListenerFlip,
    ShellRestart,
    Pause,
    EventCount
};
enum When { Always, TrayMenuOpen, MenuOpen, DialogInFront, OursInFront, QuestionReady };
static const struct {
    const char* name;
    When when;
} Events[EventCount] = {{"double click", Always},
                        {"right click", Always},
                        {"menu: Configuration", TrayMenuOpen},
                        {"menu: Exit", TrayMenuOpen},
                        {"menu dismissed", MenuOpen},
                        {"Esc", DialogInFront},
                        {"Enter", DialogInFront},
                        {"Alt+A", DialogInFront},
                        {"poll edit", DialogInFront},
                        {"close box", DialogInFront},
                        {"minimise", DialogInFront},
                        {"Alt+Space", OursInFront},
                        {"N to the question", QuestionReady},
                        {"another program's close request", Always},
                        {"listener up/down", Always},
                        {"shell restart", Always},
                        {"pause", Always}};

static HWND Question(const Storm* s) { return FindProgramWindow(&s->program, "Question", true); }

// Keys go to the window in front; a user types only into one of ours, and never Y or Enter to
// the question. The rows of a system menu are not the tray menu's: it is only dismissed.
static bool Allowed(const Storm* s, Event e) {
    bool menu = FindMenuWindow() != 0, question = Question(s) != 0;
    GUITHREADINFO thread = ProgramThreadInfo(&s->program);
    HWND active = thread.hwndActive;
    bool dialogInFront = !menu && !question && active == s->program.dialog && IsWindowVisible(active);
    switch (Events[e].when) {
    case TrayMenuOpen: return menu && !s->systemMenu;
    case MenuOpen: return menu;
    case DialogInFront: return dialogInFront;
    case OursInFront: return !menu && active && IsWindowVisible(active) && IsWindowEnabled(active);
    case QuestionReady: return !menu && QuestionHasKeyboard(&s->program);
    default: return true;
    }
}

static void Act(Storm* s, Event e) {
    POINT icon = TrayIconCentre();
    RECT menu = {};
    if (HWND open = FindMenuWindow()) GetWindowRect(open, &menu);
    HWND dialog = s->program.dialog;
    switch (e) {
    case DoubleClickIcon: DoubleClick(icon.x, icon.y); break;
    case RightClickIcon: Click(icon.x, icon.y, true); break;
    case MenuConfiguration: ClickMenuRow(menu, FirstRow); break;
    case MenuExit: ClickMenuRow(menu, LastRow); break;
    case MenuDismiss: Click(200, GetSystemMetrics(SM_CYSCREEN) - 60); break;
    case EscKey: Press(VK_ESCAPE); break;
    case EnterKey: Press(VK_RETURN); break;
    case AltA: Alt('a'); break;
    case PollEdit:
        Alt('l');
        Press(VK_END);
        Chord(VK_SHIFT, VK_HOME, true);
        Type(Draw(2) ? "1" : "2");
        break;
    case CloseBox: Chord(VK_MENU, VK_F4); break;
    case Minimise: Alt(' '), Press('N'); break;
    case AltSpace:
        Alt(' ');
        s->systemMenu = Poll(1500, [] { return FindMenuWindow() != 0; });
        break;
    case AnswerNo: Press('N'); break;
    case CloseRequest: PostMessageA(dialog, WM_CLOSE, 0, 0); break;
    case ListenerFlip:
        if (s->listener.socket == INVALID_SOCKET)
            OpenListener(&s->listener, s->port);
        else
            CloseListener(&s->listener);
        break;
    case ShellRestart: {
        NOTIFYICONDATAA forget = {};
        forget.cbSize = NOTIFYICONDATAA_V1_SIZE, forget.hWnd = dialog;
        Shell_NotifyIconA(NIM_DELETE, &forget);
        PostMessageA(dialog, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        break;
    }
    default: Sleep(200 + Draw(1300)); break;  // the user's pause while ticks and probes go on
    }
}

// Whether the program takes posted input: a thread may answer sent messages while posted ones
// wait behind others for good. A selection posted to the host field, read back.
static bool TakesPostedInput(Storm* s) {
    HWND host = GetDlgItem(s->program.dialog, IDC_HOST);
    s->selection = s->selection == 1 ? 2 : 1;
    PostMessageA(host, EM_SETSEL, s->selection, s->selection + 1);
    return Poll(2000, [&] {
        DWORD_PTR range = 0;
        return SendMessageTimeoutA(host, EM_GETSEL, 0, 0, SMTO_ABORTIFHUNG, 500, &range) &&
               LOWORD(range) == s->selection;
    });
}

// Empty while every invariant holds, otherwise what is broken.
static std::string Broken(Storm* s) {
    if (WaitForSingleObject(s->program.process.hProcess, 0) == WAIT_OBJECT_0) return "the process ended";
    DWORD_PTR result;
    if (!SendMessageTimeoutA(s->program.dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result))
        return "the dialog did not answer within 2 s";
    if (!TakesPostedInput(s)) return "a posted message was not taken within 2 s";
    GUITHREADINFO k = ProgramThreadInfo(&s->program);
    if (FindMenuWindow() || (k.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE))) return "";
    if (!k.hwndActive || !IsWindowVisible(k.hwndActive)) return "";  // the keyboard is with the desktop
    if (!IsWindowEnabled(k.hwndActive)) return "the active window is disabled";
    if (!k.hwndFocus || !(GetWindowLongA(k.hwndFocus, GWL_STYLE) & WS_CHILD)) return "the focus is on no control";
    return "";
}

static void Drain(Listener* listener) {
    while (listener->socket != INVALID_SOCKET && AcceptClosedWithoutData(listener, 0)) {
    }
}

// One storm from a seed: the events, then the program at rest, its exit and what it stored.
static void RunStorm(const char* exe, unsigned long long seed, int count) {
    g_random = seed;
    printf("storm: seed %llu, %d events (STORM_SEED=%llu replays them)\n", seed, count, seed);
    Storm s;
    if (!OpenListener(&s.listener)) return;
    s.port = s.listener.port;
    DeleteSettings();
    WriteSetting("Host", REG_SZ, "localhost", 10);  // by name, Resolve on: lookups and connects interleave
    WriteDwordSetting("Port", s.port);
    WriteDwordSetting("Poll", 1);
    WriteDwordSetting("Flash", 100);
    if (!StartProgram(&s.program, exe)) return;
    Foreground(s.program.dialog);
    Alt('o');
    Check(TrayIs("green", 5000), "monitoring: green");
    s.pid = HostPid();
    int fds = OpenDescriptors(s.pid), threads = Threads(s.pid), maxFds = fds;
    double cpu = CpuMs(s.pid);
    DWORD since = GetTickCount();
    std::string broken;
    for (int i = 0; i < count && broken.empty(); ++i) {
        if (!FindMenuWindow()) s.systemMenu = false;
        Event e = (Event)Draw(EventCount);
        for (int tries = 0; tries < 8 && !Allowed(&s, e); ++tries) e = (Event)Draw(EventCount);
        if (!Allowed(&s, e)) e = Pause;
        printf("%4d %s\n", i, Events[e].name);
        fflush(stdout);
        Act(&s, e);
        Sleep(150);  // the pace of a quick user, not a synchronisation
        if (e == AnswerNo && !Poll(1000, [&] { return !Question(&s); })) Press('N');  // a key Wine lost
        if (e == AnswerNo && !Poll(2000, [&] { return !Question(&s); })) broken = "the question did not close";
        if (broken.empty()) Poll(2000, [&] { return Drain(&s.listener), (broken = Broken(&s)).empty(); });
        if (broken.empty() && GetTickCount() - since >= 5000) {
            double used = CpuMs(s.pid) - cpu, wall = GetTickCount() - since;
            if (used > wall / 2)
                broken =
                    "spinning: " + std::to_string((int)used) + " ms of CPU in " + std::to_string((int)wall) + " ms";
            cpu += used, since = GetTickCount();
        }
        int now = OpenDescriptors(s.pid);
        maxFds = now > maxFds ? now : maxFds;
        if (broken.empty() && now > fds + 16) broken = "descriptors grow: " + std::to_string(now);
        if (!broken.empty())
            printf("storm: seed %llu broke after event %d (%s): %s\n", seed, i, Events[e].name, broken.c_str());
    }
    Check(broken.empty(), "every invariant held after every event");

    // At rest again: the tray follows the listener, and a confirmed exit from the keyboard ends it.
    if (FindMenuWindow()) Act(&s, MenuDismiss);
    if (Question(&s)) {
        if (!Poll(2000, [&] { return QuestionHasKeyboard(&s.program); })) ClickBody(Question(&s));
        if (WaitFor("the question with the keyboard", 3000, [&] { return QuestionHasKeyboard(&s.program); }))
            Press('N');
    }
    if (s.listener.socket == INVALID_SOCKET) OpenListener(&s.listener, s.port);
    Check(Poll(5000, [&] { return Drain(&s.listener), TrayColour() == "green"; }), "the tray follows the listener up");
    CloseListener(&s.listener);
    Check(TrayIs("red", 5000), "and down");
    printf("  descriptors at most %d\n", maxFds);
    ExpectBackToStart(s.pid, fds, threads);
    ChooseFromTrayMenu(LastRow);
    ExpectConfirmedExit(&s.program, "Exit, then Y to the question", false);
    KillProgram(&s.program);
    DWORD type = 0, poll = 0;
    std::string data;
    if (ReadSetting("Poll", &type, &data) && data.size() == 4) memcpy(&poll, data.data(), 4);
    Check(poll == 1 || poll == 2, "the stored poll is one the storm applied: " + std::to_string(poll));
    ExpectStored("localhost", s.port, poll, 100, 0x82810200, 1);
    printf("storm: seed %llu\n", seed);
}

int main(int argc, char** argv) {
    if (argc < 2) return fprintf(stderr, "usage: storm Harkwin.exe\n"), 2;
    const char* events = getenv("STORM_EVENTS");
    const char* seeds = getenv("STORM_SEED");
    int count = events && *events ? atoi(events) : 80;
    WSADATA winsock;
    WSAStartup(0x0101, &winsock);
    if (!WaitFor("the notification area", 20000, [] { return FindWindowA("Shell_TrayWnd", 0) != 0; })) return 1;
    std::string list = seeds && *seeds ? seeds : "fresh";
    for (size_t at = 0; at <= list.size();) {
        size_t end = list.find(',', at);
        end = end == std::string::npos ? list.size() : end;
        std::string seed = list.substr(at, end - at);  // a number or "fresh", then ":events" if its own
        size_t colon = seed.find(':');
        unsigned long long value = seed.compare(0, 5, "fresh") == 0
                                       ? GetTickCount() * 2654435761ULL ^ GetCurrentProcessId()
                                       : strtoull(seed.c_str(), 0, 10);
        RunStorm(argv[1], value + !value, colon == std::string::npos ? count : atoi(seed.c_str() + colon + 1));
        at = end + 1;
    }
    PrintSummary();
    return Failures() ? 1 : 0;
}
