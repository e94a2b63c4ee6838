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

int Index(const char* name) {
    int e = 0;
    while (e < EventCount && std::string(Events[e].name) != name) ++e;
    return e;
}
bool Named(int event, const char* name) { return event == Index(name); }
bool IsClose(int event) { return std::string(Events[event].effects).find(Asked) != std::string::npos; }
// A tray menu or a system command gives way to a close request noted with it.
bool OpensLoop(int event) {
    return Events[event].message == WM_SYSCOMMAND || Named(event, "rclick") || Named(event, "caption");
}

struct Step {
    int event;
    int at;  // 0: the dialog's own loop; n: the n-th point reached
};

struct Loop {
    const char* name;
    DWORD flags;  // what the platform reports while it is open
    HWND owner;   // the window whose menu or move it is
    bool cancelled;
    bool closeRequested;  // a close request came while it was open and no question was
};
bool Attached(const Loop& loop) { return loop.owner == GetDesktopWindow(); }

// The dialog's own loop, or a loop open: our handlers under way in it, and the scope of its
// outermost one, or of the loop itself; a menu or move of ours blocks what opens a loop or asks.
struct Frame {
    int depth, handlerScope, loopScope;
    bool blocks;
};

// An event as delivered, and what it must do by the end of its scope.
struct Expectation {
    int event;
    size_t from;  // the log's length when it arrived
    int scope;
    bool excused;  // dropped by the table's rule, or answered by the open question
    bool noted;    // it came under a handler
};

// One run: the script, and what the spies saw.
struct Trial {
    HWND window = 0;
    std::vector<Step> script;
    size_t next = 0;
    std::vector<std::string> points;
    std::vector<Loop> loops;
    std::vector<std::string> faults;
    std::vector<Expectation> expected;
    std::vector<int> usedBy;  // for each log entry, the event that took it as its effect, or -1
    std::vector<Frame> frames = {Frame{0, 0, 0, false}};
    int scopes = 0;
    int floor = 1;           // the first point the next step may arrive at
    int pointsInScript = 0;  // those reached before the last close request
    int requests = 0;        // close requests since the last question
    bool questionOpen = false, answerYes = false, lastRequest = false;
    UINT menuChoice = 0;
};
Trial* g_trial;

void Fault(const std::string& what) { g_trial->faults.push_back(what); }

bool Effect(const std::string& entry, const std::string& effect, size_t index) {
    if (effect != Phase) return entry.compare(0, effect.size(), effect) == 0;
    return entry.compare(0, 23, "Shell_NotifyIcon MODIFY") == 0 &&
           (index == 0 || g_spy.log[index - 1].compare(0, 8, "LoadIcon") != 0);
}

// The scope ends: each event due by then must have done each part once, since it arrived.
void CloseScope(int scope) {
    Trial& run = *g_trial;
    run.usedBy.resize(g_spy.log.size(), -1);
    for (const Expectation& e : run.expected) {
        if (e.scope != scope || e.excused) continue;
        // The same event noted twice under one handler runs once.
        bool twice = e.noted && std::any_of((const Expectation*)run.expected.data(), &e, [&](const Expectation& o) {
                         return o.noted && o.event == e.event && o.scope == e.scope && !o.excused;
                     });
        std::istringstream parts(Events[e.event].effects);
        std::string effect;
        while (std::getline(parts, effect, ';')) {
            auto find = [&](bool shared) {
                size_t i = e.from;
                while (i < g_spy.log.size() && (!Effect(g_spy.log[i], effect, i) ||
                                                (run.usedBy[i] != -1 && !(shared && run.usedBy[i] == e.event))))
                    ++i;
                return i;
            };
            // One question answers every close request before it.
            size_t i = twice || find(false) == g_spy.log.size() ? find(true) : find(false);
            if (i < g_spy.log.size() && effect != Asked) run.usedBy[i] = e.event;
            bool givenWay = OpensLoop(e.event) && i == g_spy.log.size() &&
                            std::find_if(g_spy.log.begin() + e.from, g_spy.log.end(), [](const std::string& s) {
                                return s.compare(0, 23, Asked) == 0;
                            }) != g_spy.log.end();
            if (i == g_spy.log.size() && !givenWay)
                Fault(std::string(Events[e.event].name) + " did not do its part (" + effect + ") in time: " +
                      ::testing::PrintToString(std::vector<std::string>(g_spy.log.begin() + e.from, g_spy.log.end())));
        }
    }
}

void Deliver(const Step& item, const char* where, bool insideLoop);

// A point where the platform may deliver messages: the scripted events due here arrive. Those
// due after the program ended the loop that this point is arrive as it ends.
int Reach(const char* kind, bool isLoop) {
    Trial& run = *g_trial;
    run.points.push_back(kind);
    int n = (int)run.points.size();
    while (run.next < run.script.size() && run.script[run.next].at == n &&
           !(isLoop && run.loops.size() && run.loops.back().cancelled))
        Deliver(run.script[run.next++], kind, isLoop);
    return n;
}

// Inside the platform's call still, once the loop has ended.
void DeliverLeftOver(int point, const char* kind) {
    Trial& run = *g_trial;
    while (run.next < run.script.size() && run.script[run.next].at == point)
        Deliver(run.script[run.next++], kind, true);
}

void SetLoopFlags() {
    g_spy.loopFlags = 0;
    for (const Loop& loop : g_trial->loops) g_spy.loopFlags |= loop.flags, g_spy.loopOwner = loop.owner;
}

void OpenFrame(bool blocks) { g_trial->frames.push_back(Frame{0, 0, ++g_trial->scopes, blocks}); }

void CloseFrame() { g_trial->frames.pop_back(); }

// A loop of the platform's, open while its point delivers; it ends when the user ends it (at the
// end of its point's script) or when the program ends it.
void RunLoop(const char* name, DWORD flags, HWND owner) {
    Trial& run = *g_trial;
    if (owner == run.window && !run.loops.empty() && !Attached(run.loops.back()))
        Fault(std::string("the ") + name + " opened inside the " + run.loops.back().name);
    OpenFrame(owner != GetDesktopWindow());
    run.loops.push_back(Loop{name, flags, owner, false, g_app.dispatch.closeNoted});  // a waiting close ends it too
    SetLoopFlags();
    int point = Reach(name, true);
    if (flags == GUI_INMENUMODE + GUI_SYSTEMMENUMODE) {
        run.loops.back().flags = 0;  // the platform stops reporting the menu before its last notice
        SetLoopFlags();
        SendMessageA(run.window, WM_EXITMENULOOP, TRUE, 0);
    }
    Loop loop = run.loops.back();
    // A move that lost its capture runs on until a button-up.
    if (flags == GUI_INMOVESIZE && SpyCalls("PostMessage 0x202 ").empty()) loop.cancelled = false;
    if (loop.closeRequested && !loop.cancelled) Fault(std::string("a close request left the ") + name + " open");
    run.loops.pop_back();
    SetLoopFlags();
    DeliverLeftOver(point, name);
    CloseFrame();
}

int Question(const char* text, const char*, UINT) {
    Trial& run = *g_trial;
    if (std::string(text) != "Are you sure you want to exit?") return IDOK;
    if (run.questionOpen) Fault("a question inside the question");
    if (run.requests == 0) Fault("a question that no close request asked for");
    run.requests = 0;
    if (!run.loops.empty() && !Attached(run.loops.back()))
        Fault(std::string("the question opened inside the ") + run.loops.back().name);
    run.questionOpen = true;
    run.answerYes = false;
    EnableWindow(run.window, FALSE);  // the box disables its owner
    OpenFrame(false);
    int point = Reach("question", true);
    DeliverLeftOver(point, "question");
    CloseFrame();
    EnableWindow(run.window, TRUE);
    run.questionOpen = false;
    return run.answerYes || run.lastRequest ? IDYES : IDNO;
}

BOOL TrayMenu(HMENU, UINT) {
    g_trial->menuChoice = 0;
    RunLoop("tray-menu", GUI_INMENUMODE | GUI_POPUPMENUMODE, g_trial->window);
    return (BOOL)g_trial->menuChoice;
}

// A loop ends only for a close request.
void Cancel(Loop& loop) {
    if (!loop.closeRequested) Fault(std::string("the ") + loop.name + " ended with no close request");
    loop.cancelled = true;
}

// The platform's default handling: WM_CANCELMODE ends the window's own menus and its move (a
// move on a button-up), not a field's; a system command opens its loop or sends what it means.
LRESULT PlatformLoop(UINT message, WPARAM wParam) {
    Trial& run = *g_trial;
    WPARAM command = wParam & 0xFFF0;
    if (message == WM_CANCELMODE) {
        for (Loop& loop : run.loops)
            if (loop.owner == run.window) Cancel(loop);
    } else if (message == WM_SYSCOMMAND && command == SC_CLOSE) {
        SendMessageA(run.window, WM_CLOSE, 0, 0);
    } else if (message == WM_SYSCOMMAND && command == SC_MINIMIZE) {
        SendMessageA(run.window, WM_SIZE, SIZE_MINIMIZED, 0);
    } else if (message == WM_SYSCOMMAND && command == SC_MOVE) {
        RunLoop("move", GUI_INMOVESIZE, run.window);
    } else if (message == WM_CONTEXTMENU || (message == WM_SYSCOMMAND && command == SC_KEYMENU)) {
        SendMessageA(run.window, WM_ENTERMENULOOP, TRUE, 0);
        RunLoop("system-menu", GUI_INMENUMODE | GUI_SYSTEMMENUMODE, run.window);
    }
    return 0;
}

void EndMenus() {
    for (Loop& loop : g_trial->loops)
        if (loop.flags != GUI_INMOVESIZE && !Attached(loop)) Cancel(loop);
}

INT_PTR CALLBACK Traced(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Trial* run = g_trial;
    if (!run) return ConfigDialogProc(window, message, wParam, lParam);
    bool outermost = run->frames.back().depth++ == 0;
    if (outermost) run->frames.back().handlerScope = ++run->scopes;
    int scope = run->frames.back().handlerScope;
    INT_PTR result = ConfigDialogProc(window, message, wParam, lParam);
    --run->frames.back().depth;
    if (outermost) CloseScope(scope);
    if (message == WM_ENTERMENULOOP && result)
        Fault("WM_ENTERMENULOOP answered TRUE: the dialog manager never sees it");
    return result;
}

size_t LastCall(const char* prefix) {
    for (size_t i = g_spy.log.size(); i-- > 0;)
        if (g_spy.log[i].compare(0, strlen(prefix), prefix) == 0) return i + 1;
    return 0;
}

// What a loop of the dialog's does next: the posted messages, ticks being events of their own,
// and our timer that waits for a loop to end.
void DialogLoopPass() {
    Trial& run = *g_trial;
    MSG msg;
    for (int i = 0; i < 100; ++i) {
        bool timer = LastCall("SetTimer 3") > LastCall("KillTimer 3");
        if (timer)
            msg = MSG{run.window, WM_TIMER, IDT_NOTED, 0, 0, {0, 0}};
        else if (!PeekMessageA(&msg, run.window, 0, 0, PM_REMOVE))
            return;
        if (msg.message == WM_TIMER && (msg.wParam == IDT_POLL || msg.wParam == IDT_FLASH))
            run.expected.push_back(Expectation{Index(msg.wParam == IDT_POLL ? "poll" : "flash"), g_spy.log.size(),
                                               run.scopes + 1, g_app.dispatch.ending, false});
        DispatchMessageA(&msg);
    }
    Fault("the dialog's loop never went idle");
}

void Deliver(const Step& item, const char* where, bool insideLoop) {
    Trial& run = *g_trial;
    const Event& e = Events[item.event];
    run.floor = item.at ? item.at : (int)run.points.size() + 1;
    // Due by the end of the handler under way, or of its own; when it would open a loop or ask
    // inside a menu or move, of the handler that opened that loop.
    const Frame& in = run.frames.back();
    const Frame* outer = run.frames.size() > 1 ? &run.frames[run.frames.size() - 2] : nullptr;
    bool waits = in.blocks && (OpensLoop(item.event) || IsClose(item.event));
    int scope = !waits                      ? (in.depth > 0 ? in.handlerScope : run.scopes + 1)
                : outer && outer->depth > 0 ? outer->handlerScope
                                            : in.loopScope;
    bool excused = g_app.dispatch.ending || (IsClose(item.event) && run.questionOpen);
    run.expected.push_back(Expectation{item.event, g_spy.log.size(), scope, excused, !insideLoop});
    if (IsClose(item.event) && !excused) {
        ++run.requests;
        // The menu's Exit ends the menu itself.
        if (e.answer != ChooseExit)
            for (Loop& loop : run.loops) loop.closeRequested |= !Attached(loop);
    }
    if (e.answer == AnswerYes) run.answerYes = true;
    if (e.answer == ChooseExit) run.menuChoice = ID_TRAY_EXIT;
    if (e.answer == FieldMenu || e.answer == AttachedMenu) {
        HWND owner = e.answer == FieldMenu ? GetDlgItem(run.window, IDC_HOST) : GetDesktopWindow();
        int loop = run.scopes + 1;
        RunLoop(e.answer == FieldMenu ? "field-menu" : "attached-menu", GUI_INMENUMODE | GUI_POPUPMENUMODE, owner);
        if (run.frames.back().depth == 0) {  // the loop returns into a loop of the dialog's
            bool waiting = g_app.dispatch.notedCount || g_app.dispatch.closeNoted;
            if (waiting && LastCall("SetTimer 3") <= LastCall("KillTimer 3"))
                Fault("what was noted in the menu waits for an unrelated message");
            DialogLoopPass();
        }
        CloseScope(loop);
    }
    if (e.answer != Sent) return;
    WPARAM wParam = e.wParam;
    if (wParam == CurrentSocket) wParam = g_app.socket;
    if (wParam == OldSocket) wParam = g_app.socket - 1;
    if (wParam == CurrentLookup) wParam = g_app.pendingLookup ? (WPARAM)g_app.pendingLookup : 0x4242;
    LPARAM lParam = e.message == WM_COMMAND ? (LPARAM)GetDlgItem(run.window, LOWORD(e.wParam)) : e.lParam;
    size_t before = g_spy.log.size();
    SendMessageA(run.window, e.message ? e.message : g_app.taskbarCreated, wParam, lParam);
    // Under a handler it may only be noted, and a close request end the loops open.
    for (size_t i = before; !insideLoop && i < g_spy.log.size(); ++i)
        if (g_spy.log[i] != "EndMenu" && g_spy.log[i].compare(0, 18, "DefWindowProc 0x1f") != 0 &&
            g_spy.log[i].compare(0, 18, "PostMessage 0x202 ") != 0)
            Fault(std::string(e.name) + " ran inside " + where + ", half way through a handler: " + g_spy.log[i]);
    if (scope > run.scopes) CloseScope(scope);
}

std::string Describe(const Trial& run) {
    std::ostringstream out;
    for (const Step& item : run.script) {
        out << Events[item.event].name << '@';
        if (item.at == 0)
            out << "top ";
        else
            out << item.at << ':' << (item.at <= (int)run.points.size() ? run.points[item.at - 1] : "?") << ' ';
    }
    std::string text = out.str();
    return text.empty() ? text : text.substr(0, text.size() - 1);
}

// Checks what no order of events may break, after the run has drained, and once more after a
// last close request answered Yes.
void CheckEnd(Trial& run) {
    if (run.next < run.script.size()) Fault("point " + std::to_string(run.script[run.next].at) + " never reached");
    if ((g_app.dispatch.notedCount || g_app.dispatch.closeNoted) && !g_app.dispatch.ending)
        Fault("an event noted under a handler never ran");
    // Each effect is some event's: none ran twice. The exit sequence stores the settings.
    run.usedBy.resize(g_spy.log.size(), -1);
    for (size_t i = LastCall("Shell_NotifyIcon DELETE"); i-- > 0;)
        if (g_spy.log[i].compare(0, 14, "RegCreateKeyEx") == 0) {
            run.usedBy[i] = EventCount;
            break;
        }
    for (size_t i = 0; i < g_spy.log.size(); ++i)
        for (const char* effect : {"TrackPopupMenuEx", "socket", "Shell_NotifyIcon ADD", "SetTimer 1", "RegCreateKeyEx",
                                   "DefWindowProc 0x112 0xf1", "DefWindowProc 0x112 0xf01", "DefWindowProc 0x112 0xf02",
                                   "DefWindowProc 0x7b", Phase})
            if (run.usedBy[i] == -1 && Effect(g_spy.log[i], effect, i)) Fault("done once more: " + g_spy.log[i]);
    if (!g_app.dispatch.ending) {
        run.lastRequest = true;
        ++run.requests;
        SendMessageA(run.window, WM_CLOSE, 0, 0);
        if (!g_app.dispatch.ending)
            Fault("a close request at the end was not asked, or its Yes did not end the program");
    }
    bool deleted = false;
    for (const std::string& call : g_spy.log) {
        if (call.compare(0, 16, "Shell_NotifyIcon") == 0 && deleted)
            Fault("the tray changed after the icon was deleted");
        if (call.compare(0, 23, "Shell_NotifyIcon DELETE") == 0) deleted = true;
        if (call.compare(0, 17, "PostMessage 0x10 ") == 0 || call.compare(0, 18, "PostMessage 0x400 ") == 0 ||
            call.compare(0, 18, "PostMessage 0x112 ") == 0)
            Fault("posted back to the queue: " + call);
    }
    if (!deleted) Fault("the tray icon outlived the program");
    if (SpyCalls("EndDialog").size() != 1) Fault("the dialog did not end exactly once");
}

// Runs one script from the state record a new dialog had after its initialisation, restored on
// that dialog: creating a dialog takes 100 ms or more under Wine, a run a few.
Trial Play(const std::vector<Step>& script, const AppState& initialised) {
    Trial run;
    run.script = script;
    g_trial = &run;
    ResetSpies();
    g_app = initialised;
    g_app.menu = LoadMenuA(g_app.instance, MAKEINTRESOURCEA(IDR_TRAYMENU));  // the exit destroyed the last
    g_app.popup = GetSubMenu(g_app.menu, 0);
    const char host[] = "harkwin.test";
    g_app.settings.Host = NewHostString(host, sizeof host - 1);
    ShowWindow(g_app.window, SW_HIDE);
    EnableWindow(GetDlgItem(g_app.window, IDC_APPLY), FALSE);
    g_spy.fakeActivation = true;
    g_spy.failRegistryWrites = true;  // every run would store the settings it loaded
    g_spy.fakeTray = true;
    g_spy.fakeTimers = true;
    g_spy.messageBox = Question;
    g_spy.trackPopup = TrayMenu;
    g_spy.platformLoop = PlatformLoop;
    g_spy.endMenu = EndMenus;
    g_spy.lookup = [](const char*, char*, int) { return (HANDLE)0x4242; };  // its reply finds no address
    g_spy.connect = [](SOCKET, const sockaddr*) {
        WSASetLastError(WSAEWOULDBLOCK);
        return SOCKET_ERROR;
    };
    run.window = g_app.window;
    g_spy.log.clear();
    g_spy.point = [](const char* kind) { Reach(kind, false); };
    while (run.next < run.script.size() && run.script[run.next].at == 0) Deliver(run.script[run.next++], "top", true);
    DialogLoopPass();
    run.pointsInScript = (int)run.points.size();
    CheckEnd(run);
    g_spy.point = nullptr;
    g_app.imageList = 0;  // shared by every run
    ReleaseProgram(run.window);
    g_trial = nullptr;
    return run;
}

std::vector<Step> Parse(const std::string& text) {
    std::vector<Step> script;
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        std::string name = word.substr(0, word.find('@'));
        std::string where = word.find('@') == std::string::npos ? "top" : word.substr(word.find('@') + 1);
        int event = 0;
        while (event < EventCount && name != Events[event].name) ++event;
        EXPECT_LT(event, EventCount) << "no event " << name;
        script.push_back(Step{event < EventCount ? event : 0, where == "top" ? 0 : atoi(where.c_str())});
    }
    return script;
}

// Fails with the sequence, written so that it replays; for a named sequence, also when a
// point's kind is not the one its name expects.
bool Judge(const Trial& run, const std::string& expected = "") {
    std::string said = Describe(run);
    if (!expected.empty() && said != expected) {
        std::string points;
        for (size_t i = 0; i < run.points.size(); ++i) points += " " + std::to_string(i + 1) + ":" + run.points[i];
        ADD_FAILURE() << "the sequence took another path: " << said << "\n  expected: " << expected
                      << "\n  points:" << points;
        return false;
    }
    if (run.faults.empty()) return true;
    std::string faults;
    for (const std::string& f : run.faults) faults += "\n  " + f;
    ADD_FAILURE() << "EXPLORE_SEQUENCE='" << said << "'" << faults;
    return false;
}

// A new dialog's state, once; Trying flashes, so that each flash tick shows.
AppState Initialised(HWND* dialog) {
    ResetProgram();
    WriteString("Host", "harkwin.test");
    WriteDword("Behaviors", 0x82810280);
    g_spy.fakeTray = true;
    *dialog = CreateDialogParamA(GetModuleHandleA(0), MAKEINTRESOURCEA(IDD_CONFIG), 0, Traced, 0);
    PumpFor(0);  // the first flash tick
    return g_app;
}

}  // namespace

// Sequences beyond the exhaustive bound, by name.
TEST(Exploration, NamedSequences) {
    static const struct {
        const char* what;
        const char* sequence;
    } named[] = {
        {"inside the tray menu, a right click and two close requests: one question, once the menu has closed",
         "rclick@top rclick@3:tray-menu close@3:tray-menu close@3:tray-menu"},
        {"a right click sent during the probe's closesocket runs once the probe has started",
         "poll@top poll@top rclick@3:closesocket"},
        {"a right click sent during a connect result's tray update runs once the result is done",
         "poll@top connected@top rclick@2:Shell_NotifyIconA"},
        {"a stray menu notice takes neither the exit nor the tray menu away", "entermenu@top rclick@top close@top"},
        {"a tick noted twice and a close request under a tick: each runs once",
         "poll@top flash@1:Shell_NotifyIconA flash@1:Shell_NotifyIconA close@1:Shell_NotifyIconA"},
        {"a close request ends a field's menu that another program opened under a tick",
         "poll@top fieldmenu@1:Shell_NotifyIconA close@2:field-menu"},
        {"inside the system menu, a tick noted after a right click under another tick runs with it, not after the menu",
         "sysmenu@top poll@1:system-menu rclick@2:Shell_NotifyIconA flash@2:Shell_NotifyIconA"},
        {"a right click inside a tick's tray update inside the question that a system menu's close asked",
         "sysmenu@top close@1:system-menu poll@2:question rclick@3:Shell_NotifyIconA"},
    };
    HWND dialog;
    AppState initialised = Initialised(&dialog);
    for (const auto& n : named) {
        SCOPED_TRACE(n.what);
        Judge(Play(Parse(n.sequence), initialised), n.sequence);
    }
    g_app = initialised;
    CloseProgram(dialog);
}

// Every sequence of two events, the second at the top or at every point the first reaches; and
// of three where the first opened a loop and the other two arrive inside it, or inside one the
// second opened there.
TEST(Exploration, EveryOrderOfEventsUpToTheBound) {
    HWND dialog;
    AppState initialised = Initialised(&dialog);
    if (const char* replay = getenv("EXPLORE_SEQUENCE")) {
        Judge(Play(Parse(replay), initialised));
        g_app = initialised;
        CloseProgram(dialog);
        return;
    }
    DWORD start = GetTickCount();
    int explored = 0, failed = 0;
    auto isLoop = [](const std::string& kind) {
        return kind.find("menu") != std::string::npos || kind == "question" || kind == "move";
    };
    auto fits = [](int event, const std::string& kind) {
        Answer answer = Events[event].answer;
        // No menu opens while another tracks, nor during a move, which holds the mouse.
        bool menuFits = kind != "move" && kind.find("menu") == std::string::npos;
        return answer == Sent || ((answer == FieldMenu || answer == AttachedMenu) && menuFits) ||
               (answer == AnswerYes && kind == "question") || (answer == ChooseExit && kind == "tray-menu");
    };
    // Tries each event at the top and at each point from the last item's on, then extends each.
    std::function<void(const std::vector<Step>&, const Trial&)> extend = [&](const std::vector<Step>& script,
                                                                             const Trial& last) {
        int length = (int)script.size() + 1;
        std::vector<int> places;
        if (length < 3) places.push_back(0);
        if (length == 2 || (length == 3 && script[1].at > 0 && isLoop(last.points[script[1].at - 1])))
            for (int at = last.floor; at <= last.pointsInScript; ++at) places.push_back(at);
        for (int at : places)
            for (int e = 0; e < EventCount; ++e) {
                Answer answer = Events[e].answer;
                if (at == 0 ? answer == AnswerYes || answer == ChooseExit : !fits(e, last.points[at - 1])) continue;
                std::vector<Step> longer = script;
                longer.push_back(Step{e, at});
                Trial run = Play(longer, initialised);
                ++explored;
                if (!Judge(run) && ++failed >= 20) return;
                if (length < 3) extend(longer, run);
                if (failed >= 20) return;
            }
    };
    extend({}, Trial());
    g_app = initialised;
    CloseProgram(dialog);
    printf("explored %d event sequences in %.1f s\n", explored, (GetTickCount() - start) / 1000.0);
    EXPECT_EQ(0, failed);
}
