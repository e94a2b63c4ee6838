// Every order of a few events, each delivered at every point where the platform can deliver
// messages to the thread, each run from a fresh dialog. The spies play the platform: its loops
// (the question, the tray menu, the system menu, a move, a field's menu) and its waiting calls
// (tray updates, activation, the probe's closesocket and peek) deliver the next scripted events,
// so nothing depends on timing. A sequence is written "event@where ...": where is "top" (the
// dialog's own loop) or the n-th point reached in the run, with its kind; EXPLORE_SEQUENCE
// replays one. Each event must do its part exactly once, and in time: before the handler it
// arrived under returns, or, inside a loop, the handler that opened the loop.
#include "tests/program/fixture.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "base/host.h"
#include "probe/probe.h"

namespace {

// How an event arrives: sent to the dialog; an answer inside the loop it answers; or a menu
// loop the platform opens outside our handlers, for a field or for a thread attached to ours.
enum Answer { Sent, AnswerYes, ChooseExit, FieldMenu, AttachedMenu };
const WPARAM CurrentSocket = 0x7FFF0001, CurrentLookup = 0x7FFF0002, OldSocket = 0x7FFF0003;
struct Event {
    const char* name;
    UINT message;  // 0: the taskbar's "TaskbarCreated"
    WPARAM wParam;
    LPARAM lParam;
    Answer answer;
    const char* effects;  // the spied calls that show it did its part, each once, ';'-separated
};
const char* const Asked = "MessageBox Are you sure";
const char* const Phase = "phase";  // a tray update that loaded no icon: the flash tick's
const Event Events[] = {
    {"close", WM_CLOSE, 0, 0, Sent, Asked},
    {"exit", WM_COMMAND, IDC_EXIT, 0, Sent, Asked},
    {"closebox", WM_SYSCOMMAND, SC_CLOSE, 0, Sent, Asked},
    {"dblclick", WM_APP_NOTIFY, 0, WM_LBUTTONDBLCLK, Sent, "ShowWindow 5"},
    {"rclick", WM_APP_NOTIFY, 0, WM_RBUTTONUP, Sent, "TrackPopupMenuEx"},
    {"highclick", WM_APP_NOTIFY, 0, (LPARAM)0x100000000 | WM_RBUTTONUP, Sent, ""},  // no click: high bits
    {"highexit", WM_COMMAND, (WPARAM)0x100000000 | IDC_EXIT, 0, Sent, Asked},       // Exit all the same
    {"poll", WM_TIMER, IDT_POLL, 0, Sent, "socket"},
    {"flash", WM_TIMER, IDT_FLASH, 0, Sent, Phase},
    {"connected", WM_APP_NOTIFY, CurrentSocket, FD_CONNECT, Sent, ""},
    {"resolved", WM_APP_NOTIFY, CurrentLookup, 0, Sent, ""},
    {"stale", WM_APP_NOTIFY, OldSocket, FD_CONNECT, Sent, ""},
    {"stalelookup", WM_APP_NOTIFY, 0x4241, 0, Sent, ""},
    {"taskbar", 0, 0, 0, Sent, "Shell_NotifyIcon ADD flags=7"},
    {"entermenu", WM_ENTERMENULOOP, 0, 0, Sent, ""},
    {"exitmenu", WM_EXITMENULOOP, 0, 0, Sent, ""},
    {"sysmenu", WM_SYSCOMMAND, SC_KEYMENU, ' ', Sent, "DefWindowProc 0x112 0xf100"},
    {"move", WM_SYSCOMMAND, SC_MOVE, 0, Sent, "DefWindowProc 0x112 0xf010"},
    {"minimise", WM_SYSCOMMAND, SC_MINIMIZE, 0, Sent, "DefWindowProc 0x112 0xf020;ShowWindow 0"},
    {"caption", WM_CONTEXTMENU, 0, 0, Sent, "DefWindowProc 0x7b"},  // a right click on the title bar
    {"ok", WM_COMMAND, IDOK, 0, Sent, "RegCreateKeyEx;SetTimer 1;ShowWindow 0"},
    {"cancel", WM_COMMAND, IDCANCEL, 0, Sent, "ShowWindow 0"},
    {"apply", WM_COMMAND, IDC_APPLY, 0, Sent, "RegCreateKeyEx"},
    {"edit", WM_COMMAND, MAKEWPARAM(IDC_POLL, EN_CHANGE), 0, Sent, ""},
    {"initdialog", WM_INITDIALOG, 0, 0, Sent, ""},             // another program's
    {"captionpress", WM_NCLBUTTONDOWN, HTCLOSE, 0, Sent, ""},  // another program's, the button up
    {"yes", 0, 0, 0, AnswerYes, ""},
    {"menuexit", 0, 0, 0, ChooseExit, Asked},
    {"fieldmenu", 0, 0, 0, FieldMenu, ""},
    {"attached", 0, 0, 0, AttachedMenu, ""},
};
const int EventCount = sizeof Events / sizeof Events[0];

int Index(const std::string& name) {
    return int(std::find_if(Events, Events + EventCount, [&](const Event& e) { return name == e.name; }) - Events);
}
bool StartsWith(const std::string& text, const char* prefix) { return text.compare(0, strlen(prefix), prefix) == 0; }
bool IsClose(int event) { return StartsWith(Events[event].effects, Asked); }
// A tray menu or a system command gives way to a close request noted with it.
bool OpensLoop(int event) {
    const Event& e = Events[event];
    return e.message == WM_SYSCOMMAND || e.message == WM_CONTEXTMENU || e.lParam == WM_RBUTTONUP;
}

struct Step {
    int event, at;  // at 0: the dialog's own loop; n: the n-th point reached
};

struct Loop {
    const char* name;
    DWORD flags;                     // what the platform reports while it is open
    HWND owner;                      // the window whose menu or move it is
    bool cancelled, closeRequested;  // the latter: a close request came while it was open and no question was
};
bool Attached(const Loop& loop) { return loop.owner == GetDesktopWindow(); }

// The dialog's own loop, or a loop open: our handlers under way in it, the scope of the outermost
// one, and, in a menu or move of ours, which blocks what opens a loop or asks, the scope it is due by.
struct Frame {
    int depth, handlerScope, blockedScope;
    bool blocks;
};

// An event as delivered, and what it must do by the end of its scope.
struct Expectation {
    int event, scope;
    size_t from;          // the log's length when it arrived
    bool excused, noted;  // dropped by the table's rule or answered by the open question; came under a handler
};

struct Trial {
    std::vector<Step> script;
    size_t next = 0;
    std::vector<std::string> points, faults;
    std::vector<Loop> loops;
    std::vector<Expectation> expected;
    std::vector<int> usedBy;  // for each log entry, the event that took it as its effect, or -1
    std::vector<Frame> frames = {Frame{0, 0, 0, false}};
    int scopes = 0, requests = 0;       // the latter: close requests since the last question
    int floor = 1, pointsInScript = 0;  // where the next step may arrive from; points before the last close request
    bool questionOpen = false, answerYes = false, lastRequest = false;
    UINT menuChoice = 0;
};
Trial g_run;  // the run under way
bool g_playing;

void Fault(const std::string& what) { g_run.faults.push_back(what); }

bool Shows(size_t i, const std::string& effect) {
    if (effect != Phase) return StartsWith(g_spy.log[i], effect.c_str());
    return StartsWith(g_spy.log[i], "Shell_NotifyIcon MODIFY") && (i == 0 || !StartsWith(g_spy.log[i - 1], "LoadIcon"));
}

// The first call from `from` on that shows the effect and no event took, or only `sharer`.
size_t Find(size_t from, const std::string& effect, int sharer = -1) {
    const std::vector<int>& usedBy = g_run.usedBy;
    while (from < g_spy.log.size() && !(Shows(from, effect) && (usedBy[from] == -1 || usedBy[from] == sharer))) ++from;
    return from;
}

// One past the last call that starts with prefix, or 0.
size_t LastCall(const char* prefix) {
    for (size_t i = g_spy.log.size(); i-- > 0;)
        if (StartsWith(g_spy.log[i], prefix)) return i + 1;
    return 0;
}
bool NotedTimerSet() { return LastCall("SetTimer 3") > LastCall("KillTimer 3"); }
bool Waiting() { return g_app.dispatch.notedCount || g_app.dispatch.closeNoted; }

// The scope ends: each event due by then must have done each part once, since it arrived.
void CloseScope(int scope) {
    size_t end = g_spy.log.size();
    g_run.usedBy.resize(end, -1);
    for (const Expectation& e : g_run.expected) {
        if (e.scope != scope || e.excused) continue;
        // The same event noted twice under one handler runs once.
        bool twice = e.noted && std::any_of((const Expectation*)g_run.expected.data(), &e, [&](const Expectation& o) {
                         return o.noted && o.event == e.event && o.scope == e.scope && !o.excused;
                     });
        std::istringstream parts(Events[e.event].effects);
        for (std::string effect; std::getline(parts, effect, ';');) {
            // The same event may share an effect; one question answers every close request before it.
            size_t i = twice ? end : Find(e.from, effect);
            if (i == end) i = Find(e.from, effect, e.event);
            // A loop noted with a close request gives way to its question: it never opens after it.
            if (OpensLoop(e.event) && Find(e.from, Asked) < i) continue;
            if (i < end && effect != Asked) g_run.usedBy[i] = e.event;
            if (i == end)
                Fault(std::string(Events[e.event].name) + " did not do its part (" + effect + ") in time: " +
                      ::testing::PrintToString(std::vector<std::string>(g_spy.log.begin() + e.from, g_spy.log.end())));
        }
    }
}

void Deliver(const Step& item, bool noted);

int Reach(const char* kind) { return g_run.points.push_back(kind), (int)g_run.points.size(); }

// The scripted events due at a point arrive; at a loop's, only while it is open, and the rest
// as it ends, inside the platform's call still.
void Arrive(int point, bool noted, bool whileOpen = false) {
    while (g_run.next < g_run.script.size() && g_run.script[g_run.next].at == point &&
           !(whileOpen && g_run.loops.back().cancelled))
        Deliver(g_run.script[g_run.next++], noted);
}

void SetLoopFlags() {
    g_spy.loopFlags = 0;
    for (const Loop& loop : g_run.loops) g_spy.loopFlags |= loop.flags, g_spy.loopOwner = loop.owner;
}

// A loop of the platform's, open while its point delivers; it ends when the user ends it (at the
// end of its point's script) or when the program ends it.
void RunLoop(const char* name, DWORD flags, HWND owner) {
    if (owner == g_app.window && !g_run.loops.empty() && !Attached(g_run.loops.back()))
        Fault(std::string("the ") + name + " opened inside the " + g_run.loops.back().name);
    const Frame& outer = g_run.frames.back();
    int scope = ++g_run.scopes;
    g_run.frames.push_back(Frame{0, 0, outer.depth > 0 ? outer.handlerScope : scope, owner != GetDesktopWindow()});
    g_run.loops.push_back(Loop{name, flags, owner, false, g_app.dispatch.closeNoted});  // a waiting close ends it too
    SetLoopFlags();
    int point = Reach(name);
    Arrive(point, false, true);
    if (flags == GUI_INMENUMODE + GUI_SYSTEMMENUMODE) {
        g_run.loops.back().flags = 0;  // the platform stops reporting the menu before its last notice
        SetLoopFlags();
        SendMessageA(g_app.window, WM_EXITMENULOOP, TRUE, 0);
    }
    // A move that lost its capture runs on until a button-up.
    const Loop& loop = g_run.loops.back();
    bool ended = loop.cancelled && (flags != GUI_INMOVESIZE || !SpyCalls("PostMessage 0x202 ").empty());
    if (loop.closeRequested && !ended) Fault(std::string("a close request left the ") + name + " open");
    g_run.loops.pop_back();
    SetLoopFlags();
    Arrive(point, false);
    g_run.frames.pop_back();
}

int Question(const char* text, const char*, UINT) {
    if (std::string(text) != "Are you sure you want to exit?") return IDOK;
    if (g_run.questionOpen) Fault("a question inside the question");
    if (g_run.requests == 0) Fault("a question that no close request asked for");
    if (!g_run.loops.empty() && !Attached(g_run.loops.back()))
        Fault(std::string("the question opened inside the ") + g_run.loops.back().name);
    g_run.requests = 0;
    g_run.questionOpen = true;
    g_run.answerYes = false;
    EnableWindow(g_app.window, FALSE);  // the box disables its owner
    g_run.frames.push_back(Frame{0, 0, 0, false});
    Arrive(Reach("question"), false);
    g_run.frames.pop_back();
    EnableWindow(g_app.window, TRUE);
    g_run.questionOpen = false;
    return g_run.answerYes || g_run.lastRequest ? IDYES : IDNO;
}

// The platform ends the loops a close request asks to end: WM_CANCELMODE the window's own menus
// and move (a move on a button-up), EndMenu every menu of the thread's, neither an attached one.
void Cancel(bool menus) {
    for (Loop& loop : g_run.loops)
        if (menus ? loop.flags != GUI_INMOVESIZE && !Attached(loop) : loop.owner == g_app.window) {
            if (!loop.closeRequested) Fault(std::string("the ") + loop.name + " ended with no close request");
            loop.cancelled = true;
        }
}

// The platform's default handling: a system command opens its loop or sends what it means.
LRESULT PlatformLoop(UINT message, WPARAM wParam) {
    WPARAM command = message == WM_SYSCOMMAND ? wParam & 0xFFF0 : 0;
    if (message == WM_CANCELMODE) Cancel(false);
    if (command == SC_CLOSE) SendMessageA(g_app.window, WM_CLOSE, 0, 0);
    if (command == SC_MINIMIZE) SendMessageA(g_app.window, WM_SIZE, SIZE_MINIMIZED, 0);
    if (command == SC_MOVE) RunLoop("move", GUI_INMOVESIZE, g_app.window);
    if (message == WM_CONTEXTMENU || command == SC_KEYMENU) {
        SendMessageA(g_app.window, WM_ENTERMENULOOP, TRUE, 0);
        RunLoop("system-menu", GUI_INMENUMODE | GUI_SYSTEMMENUMODE, g_app.window);
    }
    return 0;
}

INT_PTR CALLBACK Traced(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!g_playing) return ConfigDialogProc(window, message, wParam, lParam);
    bool outermost = g_run.frames.back().depth++ == 0;
    if (outermost) g_run.frames.back().handlerScope = ++g_run.scopes;
    INT_PTR result = ConfigDialogProc(window, message, wParam, lParam);
    --g_run.frames.back().depth;  // the same frame: every loop opened under it has returned
    if (outermost) CloseScope(g_run.frames.back().handlerScope);
    if (message == WM_ENTERMENULOOP && result) Fault("WM_ENTERMENULOOP answered TRUE: hidden from the dialog manager");
    return result;
}

// What a loop of the dialog's does next: the posted messages, ticks being events of their own,
// and our timer that waits for a loop to end.
void DialogLoopPass() {
    MSG msg;
    for (int i = 0; i < 100; ++i) {
        bool timer = NotedTimerSet();
        if (!timer && !PeekMessageA(&msg, g_app.window, 0, 0, PM_REMOVE)) return;
        if (timer) msg = MSG{g_app.window, WM_TIMER, IDT_NOTED, 0, 0, {0, 0}};
        if (msg.message == WM_TIMER && (msg.wParam == IDT_POLL || msg.wParam == IDT_FLASH))
            g_run.expected.push_back(Expectation{Index(msg.wParam == IDT_POLL ? "poll" : "flash"), g_run.scopes + 1,
                                                 g_spy.log.size(), g_app.dispatch.ending, false});
        DispatchMessageA(&msg);
    }
    Fault("the dialog's loop never went idle");
}

void Deliver(const Step& item, bool noted) {
    const Event& e = Events[item.event];
    g_run.floor = item.at ? item.at : (int)g_run.points.size() + 1;
    // Due by the end of the handler under way, or else of its own.
    const Frame& in = g_run.frames.back();
    int scope = in.depth > 0 ? in.handlerScope : g_run.scopes + 1;
    if (in.blocks && (OpensLoop(item.event) || IsClose(item.event))) scope = in.blockedScope;
    bool excused = g_app.dispatch.ending || (IsClose(item.event) && g_run.questionOpen);
    g_run.expected.push_back(Expectation{item.event, scope, g_spy.log.size(), excused, noted});
    // A close request ends the loops open, save an attached thread's; the menu's Exit ends the menu itself.
    bool request = IsClose(item.event) && !excused;
    g_run.requests += request;
    for (Loop& loop : g_run.loops) loop.closeRequested |= request && e.answer != ChooseExit && !Attached(loop);
    if (e.answer == AnswerYes) g_run.answerYes = true;
    if (e.answer == ChooseExit) g_run.menuChoice = ID_TRAY_EXIT;
    if (e.answer == FieldMenu || e.answer == AttachedMenu) {
        HWND owner = e.answer == FieldMenu ? GetDlgItem(g_app.window, IDC_HOST) : GetDesktopWindow();
        int loop = g_run.scopes + 1;
        RunLoop(e.answer == FieldMenu ? "field-menu" : "attached-menu", GUI_INMENUMODE | GUI_POPUPMENUMODE, owner);
        if (g_run.frames.back().depth == 0) {  // the loop returns into a loop of the dialog's
            if (Waiting() && !NotedTimerSet()) Fault("what was noted in the menu waits for an unrelated message");
            DialogLoopPass();
        }
        CloseScope(loop);
    }
    if (e.answer != Sent) return;
    WPARAM wParam = e.wParam;
    if (wParam == CurrentSocket) wParam = g_app.socket;
    if (wParam == OldSocket) wParam = g_app.socket - 1;
    if (wParam == CurrentLookup) wParam = g_app.pendingLookup ? (WPARAM)g_app.pendingLookup : 0x4242;
    LPARAM lParam = e.message == WM_COMMAND ? (LPARAM)GetDlgItem(g_app.window, LOWORD(e.wParam)) : e.lParam;
    size_t before = g_spy.log.size();
    SendMessageA(g_app.window, e.message ? e.message : g_app.taskbarCreated, wParam, lParam);
    // Under a handler it may only be noted, and a close request end the loops open.
    for (size_t i = before; noted && i < g_spy.log.size(); ++i)
        if (!StartsWith(g_spy.log[i], "EndMenu") && !StartsWith(g_spy.log[i], "DefWindowProc 0x1f") &&
            !StartsWith(g_spy.log[i], "PostMessage 0x202 "))
            Fault(std::string(e.name) + " ran under a handler, in " + g_run.points[item.at - 1] + ": " + g_spy.log[i]);
    if (scope > g_run.scopes) CloseScope(scope);
}

// Checks what no order of events may break, after the run has drained, and once more after a
// last close request answered Yes.
void CheckEnd() {
    if (g_run.next < g_run.script.size()) Fault("never reached point " + std::to_string(g_run.script[g_run.next].at));
    if (Waiting() && !g_app.dispatch.ending) Fault("an event noted under a handler never ran");
    // Each effect is some event's: none ran twice. The exit sequence stores the settings.
    g_run.usedBy.resize(g_spy.log.size(), -1);
    size_t stored = LastCall("Shell_NotifyIcon DELETE");
    while (stored > 0 && !StartsWith(g_spy.log[stored - 1], "RegCreateKeyEx")) --stored;
    if (stored > 0) g_run.usedBy[stored - 1] = EventCount;
    for (size_t i = 0; i < g_spy.log.size(); ++i)
        for (const char* effect : {"TrackPopupMenuEx", "socket", "Shell_NotifyIcon ADD", "SetTimer 1", "RegCreateKeyEx",
                                   "DefWindowProc 0x112 0xf1", "DefWindowProc 0x112 0xf01", "DefWindowProc 0x112 0xf02",
                                   "DefWindowProc 0x7b", Phase})
            if (g_run.usedBy[i] == -1 && Shows(i, effect)) Fault("done once more: " + g_spy.log[i]);
    if (!g_app.dispatch.ending) {
        g_run.lastRequest = true;
        ++g_run.requests;
        SendMessageA(g_app.window, WM_CLOSE, 0, 0);
        if (!g_app.dispatch.ending) Fault("a last close request was not asked, or its Yes did not end the program");
    }
    if (SpyCalls("Shell_NotifyIcon DELETE").size() != 1 ||
        LastCall("Shell_NotifyIcon") != LastCall("Shell_NotifyIcon DELETE"))
        Fault("the tray icon did not live exactly as long as the program");
    for (const char* posted : {"PostMessage 0x10 ", "PostMessage 0x400 ", "PostMessage 0x112 "})
        for (const std::string& call : SpyCalls(posted)) Fault("posted back to the queue: " + call);
    if (SpyCalls("EndDialog").size() != 1) Fault("the dialog did not end exactly once");
}

// A new dialog, and its state after its initialisation, which each run starts from: creating a
// dialog takes 100 ms or more under Wine, a run a few. Trying flashes, so that each flash tick shows.
const char* const Host = "harkwin.test";
struct Dialog {
    HWND window;
    AppState initialised;
    Dialog() {
        ResetProgram();
        WriteString("Host", Host);
        WriteDword("Behaviors", 0x82810280);
        g_spy.fakeTray = true;
        window = CreateDialogParamA(GetModuleHandleA(0), MAKEINTRESOURCEA(IDD_CONFIG), 0, Traced, 0);
        PumpFor(0);  // the first flash tick
        initialised = g_app;
    }
    ~Dialog() {
        g_app = initialised;
        CloseProgram(window);
    }
};

Trial Play(const std::vector<Step>& script, const Dialog& dialog) {
    g_run = Trial();
    g_run.script = script;
    g_playing = true;
    ResetSpies();
    g_app = dialog.initialised;
    g_app.menu = LoadMenuA(g_app.instance, MAKEINTRESOURCEA(IDR_TRAYMENU));  // the exit destroyed the last
    g_app.popup = GetSubMenu(g_app.menu, 0);
    g_app.settings.Host = NewHostString(Host, strlen(Host));
    ShowWindow(g_app.window, SW_HIDE);
    EnableWindow(GetDlgItem(g_app.window, IDC_APPLY), FALSE);
    g_spy.fakeActivation = g_spy.fakeTray = g_spy.fakeTimers = true;
    g_spy.failRegistryWrites = true;  // every run would store the settings it loaded
    g_spy.messageBox = Question;
    g_spy.trackPopup = [](HMENU, UINT) {
        g_run.menuChoice = 0;
        RunLoop("tray-menu", GUI_INMENUMODE | GUI_POPUPMENUMODE, g_app.window);
        return (BOOL)g_run.menuChoice;
    };
    g_spy.platformLoop = PlatformLoop;
    g_spy.endMenu = [] { Cancel(true); };
    g_spy.lookup = [](const char*, char*, int) { return (HANDLE)0x4242; };  // its reply finds no address
    g_spy.connect = [](SOCKET, const sockaddr*) { return WSASetLastError(WSAEWOULDBLOCK), SOCKET_ERROR; };
    g_spy.log.clear();
    g_spy.point = [](const char* kind) { Arrive(Reach(kind), true); };
    Arrive(0, false);
    DialogLoopPass();
    g_run.pointsInScript = (int)g_run.points.size();
    CheckEnd();
    g_spy.point = nullptr;
    g_app.imageList = 0;  // shared by every run
    ReleaseProgram(g_app.window);
    g_playing = false;
    return g_run;
}

std::vector<Step> Parse(const std::string& text) {
    std::vector<Step> script;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        size_t at = word.find('@');
        int event = Index(word.substr(0, at));
        EXPECT_LT(event, EventCount) << "no event " << word;
        script.push_back(Step{event < EventCount ? event : 0, at == std::string::npos ? 0 : atoi(&word[at + 1])});
    }
    return script;
}

// The sequence as it ran, each event with its point's kind, written so that it replays.
std::string Said(const Trial& run) {
    std::string said;
    for (const Step& s : run.script) {
        std::string kind = s.at == 0 ? "" : s.at <= (int)run.points.size() ? run.points[s.at - 1] : "?";
        said += std::string(Events[s.event].name) + "@" + (s.at ? std::to_string(s.at) + ":" + kind : "top") + " ";
    }
    return said.substr(0, said.size() - 1);
}

bool Judge(const Trial& run) {
    std::string faults;
    for (const std::string& f : run.faults) faults += "\n  " + f;
    if (!faults.empty()) ADD_FAILURE() << "EXPLORE_SEQUENCE='" << Said(run) << "'" << faults;
    return faults.empty();
}

// Loops a menu cannot open inside: another menu, which tracks, or a move, which holds the mouse.
bool Tracks(const std::string& kind) { return kind == "move" || kind.find("menu") != std::string::npos; }

}  // namespace

// Sequences beyond the exhaustive bound, each with what it shows.
TEST(Exploration, NamedSequences) {
    static const std::pair<const char*, const char*> named[] = {
        {"inside the tray menu, a right click and two close requests: one question, once the menu has closed",
         "rclick@top rclick@3:tray-menu close@3:tray-menu close@3:tray-menu"},
        {"a right click sent during the probe's closesocket runs once the probe has started",
         "poll@top poll@top rclick@3:closesocket"},
        {"a right click sent during a connect result's tray update runs once the result is done",
         "poll@top connected@top rclick@2:Shell_NotifyIconA"},
        {"a stray menu notice takes neither the exit nor the tray menu away", "entermenu@top rclick@top close@top"},
        {"a tick noted twice and a close request under a tick: each runs once",
         "poll@top flash@1:Shell_NotifyIconA flash@1:Shell_NotifyIconA close@1:Shell_NotifyIconA"},
        {"a double and a right click under one tick: each does its part",
         "poll@top dblclick@1:Shell_NotifyIconA rclick@1:Shell_NotifyIconA"},
        {"a close request ends a field's menu that another program opened under a tick",
         "poll@top fieldmenu@1:Shell_NotifyIconA close@2:field-menu"},
        {"inside the system menu, a tick noted after a right click under another tick runs with it, not after the menu",
         "sysmenu@top poll@1:system-menu rclick@2:Shell_NotifyIconA flash@2:Shell_NotifyIconA"},
        {"a right click inside a tick's tray update inside the question that a system menu's close asked",
         "sysmenu@top close@1:system-menu poll@2:question rclick@3:Shell_NotifyIconA"},
    };
    Dialog dialog;
    for (const auto& n : named) {
        SCOPED_TRACE(n.first);
        Trial run = Play(Parse(n.second), dialog);
        EXPECT_EQ(n.second, Said(run)) << "the sequence took another path; points "
                                       << ::testing::PrintToString(run.points);
        Judge(run);
    }
}

// Every sequence of two events, the second at the top or at every point the first reaches; and
// of three where the first opened a loop and the other two arrive inside it, or inside one the
// second opened there.
TEST(Exploration, EveryOrderOfEventsUpToTheBound) {
    Dialog dialog;
    if (const char* replay = getenv("EXPLORE_SEQUENCE")) {
        Judge(Play(Parse(replay), dialog));
        return;
    }
    DWORD start = GetTickCount();
    int explored = 0, failed = 0;
    auto fits = [](int event, const std::string& kind) {
        Answer answer = Events[event].answer;
        return answer == Sent || ((answer == FieldMenu || answer == AttachedMenu) && !Tracks(kind)) ||
               (answer == AnswerYes && kind == "question") || (answer == ChooseExit && kind == "tray-menu");
    };
    // Tries each event at the top and at each point from the last item's on, then extends each.
    std::function<void(const std::vector<Step>&, const Trial&)> extend = [&](const std::vector<Step>& script,
                                                                             const Trial& last) {
        int length = (int)script.size() + 1;
        std::vector<int> places;
        if (length < 3) places.push_back(0);
        if (length == 2 || (length == 3 && script[1].at > 0 &&
                            (Tracks(last.points[script[1].at - 1]) || last.points[script[1].at - 1] == "question")))
            for (int at = last.floor; at <= last.pointsInScript; ++at) places.push_back(at);
        for (int at : places)
            for (int e = 0; e < EventCount && failed < 20; ++e) {
                if (!fits(e, at == 0 ? "top" : last.points[at - 1])) continue;
                std::vector<Step> longer = script;
                longer.push_back(Step{e, at});
                Trial run = Play(longer, dialog);
                ++explored;
                failed += !Judge(run);
                if (length < 3 && failed < 20) extend(longer, run);
            }
    };
    extend({}, Trial());
    printf("explored %d event sequences in %.1f s\n", explored, (GetTickCount() - start) / 1000.0);
    EXPECT_EQ(0, failed);
}
