// A seeded storm of the user's and the shell's ordinary events at the real Harkwin.exe, with
// its invariants checked after every event. Each event is drawn from the seed and its number
// alone, then adapted to the state at hand, so a seed draws the same list whatever the timing;
// a failure prints the events up to it.
//   storm.exe path/to/Harkwin.exe   (STORM_EVENTS, default 80; STORM_SEED: seeds run in turn, separated
//                                    by commas, "fresh" or nothing for a new one, each with
//                                    ":events" where it has a count of its own)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "e2e/driver_lib.h"

#include <shellapi.h>
#include "base/resource.h"

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
struct Now {
    bool trayMenu, menu, dialogInFront, oursInFront, questionReady;
};
static Now ReadNow(const Storm* s) {
    // A menu on screen takes clicks only once its loop tracks it, and a question only takes keys
    // once it holds the keyboard: a state visibly on its way is awaited, within a bound.
    if (FindMenuWindow()) Poll(1000, [&] { return (ProgramThreadInfo(&s->program).flags & GUI_INMENUMODE) != 0; });
    if (Question(s)) Poll(1000, [&] { return QuestionHasKeyboard(&s->program); });
    Now now;
    now.menu = FindMenuWindow() != 0;
    now.trayMenu = now.menu && !s->systemMenu;
    HWND active = ProgramThreadInfo(&s->program).hwndActive;
    now.dialogInFront = !now.menu && !Question(s) && active == s->program.dialog && IsWindowVisible(active);
    now.oursInFront = !now.menu && active && IsWindowVisible(active) && IsWindowEnabled(active);
    now.questionReady = !now.menu && QuestionHasKeyboard(&s->program);
    return now;
}
static bool Allowed(const Now& now, Event e) {
    switch (Events[e].when) {
    case TrayMenuOpen: return now.trayMenu;
    case MenuOpen: return now.menu;
    case DialogInFront: return now.dialogInFront;
    case OursInFront: return now.oursInFront;
    case QuestionReady: return now.questionReady;
    default: return true;
    }
}

// One value per event, from the seed and the event's number alone (splitmix64), so that what
// is drawn never depends on the program's state or on timing.
static unsigned long long EventValue(unsigned long long seed, int i) {
    unsigned long long z = seed + (i + 1ULL) * 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}
static Event Drawn(unsigned long long value) { return (Event)(value % EventCount); }
static unsigned Detail(unsigned long long value) { return (unsigned)(value >> 44); }  // a pause, a digit
// The drawn event where the state allows it; otherwise one that it allows, picked by the same value.
static Event Adapted(unsigned long long value, const Now& now) {
    if (Allowed(now, Drawn(value))) return Drawn(value);
    Event allowed[EventCount];
    unsigned n = 0;
    for (int e = 0; e < EventCount; ++e)
        if (Allowed(now, (Event)e)) allowed[n++] = (Event)e;
    return allowed[(value >> 24) % n];  // Pause is always allowed
}

static void Act(Storm* s, Event e, unsigned detail) {
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
        Type(detail & 1 ? "1" : "2");
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
    default: Sleep(200 + detail % 1300); break;  // the user's pause while ticks and probes go on
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

// The events run so far, each as drawn and, where the state did not allow it, as done instead.
static std::string Line(Event drawn, Event done) {
    return done == drawn ? Events[drawn].name : std::string(Events[drawn].name) + " -> " + Events[done].name;
}
static void PrintReplay(unsigned long long seed, const std::vector<std::string>& lines) {
    printf("storm: seed %llu, its %zu events so far (STORM_SEED=%llu:%zu replays them):\n", seed, lines.size(), seed,
           lines.size());
    std::string row;
    for (size_t i = 0; i < lines.size(); ++i) {
        row += (row.empty() ? "  " : ", ") + std::to_string(i) + " " + lines[i];
        if (row.size() > 100) printf("%s\n", row.c_str()), row.clear();
    }
    if (!row.empty()) printf("%s\n", row.c_str());
}

// One storm from a seed: the events, then the program at rest, its exit and what it stored.
static void RunStorm(const char* exe, unsigned long long seed, int count) {
    printf("storm: seed %llu, %d events (STORM_SEED=%llu replays them)\n", seed, count, seed);
    int failures = Failures();
    std::vector<std::string> lines;
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
        unsigned long long value = EventValue(seed, i);
        Event e = Adapted(value, ReadNow(&s));
        lines.push_back(Line(Drawn(value), e));
        printf("%4d %s\n", i, lines.back().c_str());
        fflush(stdout);
        Act(&s, e, Detail(value));
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
    if (FindMenuWindow()) Act(&s, MenuDismiss, 0);
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
    if (Failures() > failures) PrintReplay(seed, lines);
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
