// Every order of a few events, each delivered at every point where the platform can deliver
// messages to the thread, each run from a fresh dialog. The spies play the platform: its loops
// (the question, the tray menu, the system menu, a move) and its waiting calls (tray updates,
// activation, the probe's closesocket and peek) deliver the next scripted events, so nothing
// depends on timing. A sequence is written "event@where ...": where is "top" (the dialog's own
// loop) or the n-th point reached in the run, with its kind; EXPLORE_SEQUENCE replays one.
#include "tests/program/fixture.h"

#include <cstdlib>
#include <sstream>

#include "core/host.h"
#include "probe/probe.h"

namespace {

// How an event arrives: sent to the dialog; an answer, given inside the loop it answers; or a
// loop the platform opens for a field (its context menu), outside the program's handlers.
enum Answer { Sent, AnswerYes, ChooseExit, FieldMenu };
struct Event {
    const char* name;
    UINT message;  // 0: the taskbar's "TaskbarCreated"
    WPARAM wParam;
    LPARAM lParam;
    bool closeRequest;
    Answer answer;
};
const WPARAM CurrentSocket = 0x7FFF0001, CurrentLookup = 0x7FFF0002;
const Event Events[] = {
    {"close", WM_CLOSE, 0, 0, true, Sent},
    {"exit", WM_COMMAND, IDC_EXIT, 0, true, Sent},
    {"dblclick", WM_APP_NOTIFY, 0, WM_LBUTTONDBLCLK, false, Sent},
    {"rclick", WM_APP_NOTIFY, 0, WM_RBUTTONUP, false, Sent},
    {"poll", WM_TIMER, IDT_POLL, 0, false, Sent},
    {"flash", WM_TIMER, IDT_FLASH, 0, false, Sent},
    {"connected", WM_APP_NOTIFY, CurrentSocket, FD_CONNECT, false, Sent},
    {"resolved", WM_APP_NOTIFY, CurrentLookup, 0, false, Sent},
    {"taskbar", 0, 0, 0, false, Sent},
    {"entermenu", WM_ENTERMENULOOP, 0, 0, false, Sent},
    {"exitmenu", WM_EXITMENULOOP, 0, 0, false, Sent},
    {"sysmenu", WM_SYSCOMMAND, SC_KEYMENU, ' ', false, Sent},
    {"move", WM_SYSCOMMAND, SC_MOVE, 0, false, Sent},
    {"caption", WM_CONTEXTMENU, 0, 0, false, Sent},  // a right click on the title bar
    {"ok", WM_COMMAND, IDOK, 0, false, Sent},
    {"cancel", WM_COMMAND, IDCANCEL, 0, false, Sent},
    {"apply", WM_COMMAND, IDC_APPLY, 0, false, Sent},
    {"initdialog", WM_INITDIALOG, 0, 0, false, Sent},         // another program's
    {"closebox", WM_NCLBUTTONDOWN, HTCLOSE, 0, false, Sent},  // another program's, the button up
    {"yes", 0, 0, 0, false, AnswerYes},
    {"menuexit", 0, 0, 0, true, ChooseExit},
    {"fieldmenu", 0, 0, 0, false, FieldMenu},
};
const int EventCount = sizeof Events / sizeof Events[0];

struct Step {
    int event;
    int at;  // 0: the dialog's own loop; n: the n-th point reached
};

struct Loop {
    const char* name;
    DWORD flags;          // what the platform reports while it is open
    bool endedByEndMenu;  // a move or size loop is not
    bool cancelled;
    bool closeRequested;  // a close request came while it was open and no question was
};

// One run: the script, and what the spies saw.
struct Trial {
    HWND window = 0;
    std::vector<Step> script;
    size_t next = 0;
    std::vector<std::string> points;
    std::vector<Loop> loops;
    std::vector<std::string> faults;
    int floor = 1;           // the first point the next step may arrive at
    int pointsInScript = 0;  // those reached before the last close request
    bool questionOpen = false, closeUnanswered = false, answerYes = false, lastRequest = false;
    UINT menuChoice = 0;
};
Trial* g_trial;

void Fault(const std::string& what) { g_trial->faults.push_back(what); }

void Deliver(const Step& item, const char* where, bool insideLoop);

// A point where the platform may deliver messages: the scripted events due here arrive.
void Reach(const char* kind, bool isLoop) {
    Trial& run = *g_trial;
    run.points.push_back(kind);
    int n = (int)run.points.size();
    while (run.next < run.script.size() && run.script[run.next].at == n) Deliver(run.script[run.next++], kind, isLoop);
}

void SetLoopFlags() {
    g_spy.loopFlags = 0;
    for (const Loop& loop : g_trial->loops) g_spy.loopFlags |= loop.flags;
}

// A loop of the platform's, open while its points deliver; it ends when the user ends it
// (at the end of its script), or earlier when the program ends it.
void RunLoop(const char* name, DWORD flags, bool endedByEndMenu) {
    g_trial->loops.push_back(Loop{name, flags, endedByEndMenu, false, false});
    SetLoopFlags();
    Reach(name, true);
    Loop loop = g_trial->loops.back();
    // A move loop that lost its capture still waits for a button-up, Enter or Esc.
    if (!endedByEndMenu && SpyCalls("PostMessage 0x202 ").empty()) loop.cancelled = false;
    if (loop.closeRequested && !loop.cancelled) Fault(std::string("a close request left the ") + name + " open");
}

void EndLoop() {
    g_trial->loops.pop_back();
    SetLoopFlags();
}

int Question(const char* text, const char*, UINT) {
    Trial& run = *g_trial;
    if (std::string(text) != "Are you sure you want to exit?") return IDOK;
    if (run.questionOpen) Fault("a question inside the question");
    if (!run.loops.empty()) Fault(std::string("the question opened inside the ") + run.loops.back().name);
    if (!run.closeUnanswered) Fault("a question that no close request asked for");
    run.closeUnanswered = false;
    run.questionOpen = true;
    run.answerYes = false;
    Reach("question", true);
    run.questionOpen = false;
    return run.answerYes || run.lastRequest ? IDYES : IDNO;
}

BOOL TrayMenu(HMENU, UINT) {
    g_trial->menuChoice = 0;
    RunLoop("tray-menu", GUI_INMENUMODE | GUI_POPUPMENUMODE, true);
    EndLoop();
    return (BOOL)g_trial->menuChoice;
}

LRESULT PlatformLoop(UINT message, WPARAM wParam) {
    if (message == WM_CANCELMODE) {
        for (Loop& loop : g_trial->loops) loop.cancelled = true;
        return 0;
    }
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_MOVE) {
        RunLoop("move", GUI_INMOVESIZE, false);
        EndLoop();
        return 0;
    }
    if (message != WM_CONTEXTMENU && !(message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_KEYMENU)) return 0;
    SendMessageA(g_trial->window, WM_ENTERMENULOOP, TRUE, 0);
    RunLoop("system-menu", GUI_INMENUMODE | GUI_SYSTEMMENUMODE, true);
    // The platform stops reporting the menu before its last notice.
    g_trial->loops.back().flags = 0;
    SetLoopFlags();
    SendMessageA(g_trial->window, WM_EXITMENULOOP, TRUE, 0);
    EndLoop();
    return 0;
}

void EndMenus() {
    for (Loop& loop : g_trial->loops) loop.cancelled |= loop.endedByEndMenu;
}

// The host is a name: the first tick asks for it, and the reply gives 127.0.0.1.
HANDLE Lookup(const char*, char* buffer, int) {
    struct Entry {
        hostent entry;
        char* list[2];
        char* aliases[1];
        u_long address;
    }* e = (Entry*)buffer;
    ZeroMemory(e, sizeof *e);
    e->address = inet_addr("127.0.0.1");
    e->list[0] = (char*)&e->address;
    e->entry.h_addr_list = e->list;
    e->entry.h_aliases = e->aliases;
    e->entry.h_addrtype = AF_INET;
    e->entry.h_length = 4;
    e->entry.h_name = (char*)"harkwin.test";
    return (HANDLE)0x4242;
}

INT_PTR CALLBACK Traced(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result = ConfigDialogProc(window, message, wParam, lParam);
    if (message == WM_ENTERMENULOOP && result)
        Fault("WM_ENTERMENULOOP answered TRUE: the dialog manager never sees it");
    return result;
}

void Deliver(const Step& item, const char* where, bool insideLoop) {
    Trial& run = *g_trial;
    const Event& e = Events[item.event];
    run.floor = item.at ? item.at : (int)run.points.size() + 1;
    if (e.closeRequest && !run.questionOpen && !g_app.exiting) {
        run.closeUnanswered = true;
        // The menu's Exit ends the menu itself.
        if (e.answer != ChooseExit)
            for (Loop& loop : run.loops) loop.closeRequested = true;
    }
    if (e.answer == AnswerYes) run.answerYes = true;
    if (e.answer == ChooseExit) run.menuChoice = ID_TRAY_EXIT;
    if (e.answer == FieldMenu) {
        RunLoop("field-menu", GUI_INMENUMODE | GUI_POPUPMENUMODE, true);
        EndLoop();
        SendMessageA(run.window, WM_PAINT, 0, 0);  // where the menu was is drawn again
    }
    if (e.answer != Sent) return;
    WPARAM wParam = e.wParam;
    if (wParam == CurrentSocket) wParam = g_app.socket;
    if (wParam == CurrentLookup) wParam = g_app.pendingLookup ? (WPARAM)g_app.pendingLookup : 0x4242;
    LPARAM lParam = e.message == WM_COMMAND ? (LPARAM)GetDlgItem(run.window, (int)e.wParam) : e.lParam;
    size_t before = g_spy.log.size();
    SendMessageA(run.window, e.message ? e.message : g_app.taskbarCreated, wParam, lParam);
    if (!insideLoop && g_spy.log.size() != before)
        Fault(std::string(e.name) + " ran inside " + where + ", half way through a handler");
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
    if (run.closeUnanswered && !g_app.exiting) Fault("a close request was never asked");
    const DeferredEvents& d = g_app.deferred;
    if (!g_app.exiting &&
        (d.show || d.menu || d.pollTick || d.flashTick || d.shellRestart || d.button || d.systemMessage))
        Fault("an event noted under a handler never ran");
    if (!g_app.exiting) {
        run.closeUnanswered = true;
        run.lastRequest = true;
        SendMessageA(run.window, WM_CLOSE, 0, 0);
        if (!g_app.exiting) Fault("a close request at the end was not asked, or its Yes did not end the program");
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

// Runs one script from a new dialog, or from the state record a new one had after its
// initialisation, restored on a dialog that was initialised alike: creating a dialog takes 100
// ms or more under Wine, a run a few.
Trial Play(const std::vector<Step>& script, const AppState* initialised = 0) {
    Trial run;
    run.script = script;
    g_trial = &run;
    if (initialised) {
        ResetSpies();
        g_app = *initialised;
        g_app.menu = LoadMenuA(g_app.instance, MAKEINTRESOURCEA(IDR_TRAYMENU));  // the exit destroyed the last
        g_app.popup = GetSubMenu(g_app.menu, 0);
        const char host[] = "harkwin.test";
        g_app.settings.Host = NewHostString(host, sizeof host - 1);
        ShowWindow(g_app.window, SW_HIDE);
        EnableWindow(GetDlgItem(g_app.window, IDC_APPLY), FALSE);
    } else {
        ResetProgram();
        WriteString("Host", "harkwin.test");
    }
    g_spy.fakeActivation = true;
    g_spy.failRegistryWrites = true;  // every run would store the settings it loaded
    g_spy.fakeTray = true;
    g_spy.fakeTimers = true;
    g_spy.messageBox = Question;
    g_spy.trackPopup = TrayMenu;
    g_spy.platformLoop = PlatformLoop;
    g_spy.endMenu = EndMenus;
    g_spy.lookup = Lookup;
    g_spy.connect = [](SOCKET, const sockaddr*) {
        WSASetLastError(WSAEWOULDBLOCK);
        return SOCKET_ERROR;
    };
    run.window =
        initialised ? g_app.window : CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(IDD_CONFIG), 0, Traced, 0);
    g_spy.point = [](const char* kind) { Reach(kind, false); };
    while (run.next < run.script.size() && run.script[run.next].at == 0) Deliver(run.script[run.next++], "top", true);
    // The dialog's own loop takes what the program posted to itself (ticks, kept notices).
    MSG msg;
    for (int i = 0; i < 100 && PeekMessageA(&msg, run.window, 0, 0, PM_REMOVE); ++i) DispatchMessageA(&msg);
    run.pointsInScript = (int)run.points.size();
    CheckEnd(run);
    g_spy.point = nullptr;
    if (initialised) g_app.imageList = 0;  // shared by every run
    ReleaseProgram(run.window);
    if (!initialised) DestroyWindow(run.window);
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

}  // namespace

// Sequences once written by hand, and the faults the design must keep out, by name.
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
         "poll@top resolved@top connected@top rclick@2:Shell_NotifyIconA"},
        {"a right click and two close requests inside a tick's tray update run once, after it",
         "poll@top rclick@1:Shell_NotifyIconA close@1:Shell_NotifyIconA close@1:Shell_NotifyIconA"},
        {"a close request inside the system menu ends it and is asked once it has returned",
         "sysmenu@top rclick@1:system-menu close@1:system-menu"},
        {"a stray menu notice takes neither the exit nor the tray menu away", "entermenu@top rclick@top close@top"},
        {"a stray end of a menu loop inside the tray menu lets no question open inside it",
         "rclick@top exitmenu@3:tray-menu close@3:tray-menu"},
        {"a close request during a keyboard move ends the move", "move@top close@1:move"},
        {"a close request inside a field's context menu ends it and is asked once it has closed",
         "fieldmenu@top close@1:field-menu"},
        {"the system menu of a right click on the title bar holds a close request until it has returned",
         "caption@top close@1:system-menu"},
        {"a system command sent during a tray update waits for the handler", "poll@top sysmenu@1:Shell_NotifyIconA"},
        {"the menu's Exit under the question asks nothing more", "close@top rclick@1:question menuexit@4:tray-menu"},
        {"Yes inside the question, with a tick inside it", "close@top poll@1:question yes@1:question"},
    };
    for (const auto& n : named) {
        SCOPED_TRACE(n.what);
        Judge(Play(Parse(n.sequence)), n.sequence);
    }
}

// Every sequence of two events, the second at the top or at every point the first reaches; and
// of three where the first opened a loop (the question, the tray menu, the system menu, a move)
// and the other two arrive inside it, or inside one the second opened there.
TEST(Exploration, EveryOrderOfEventsUpToTheBound) {
    if (const char* replay = getenv("EXPLORE_SEQUENCE")) {
        Judge(Play(Parse(replay)));
        return;
    }
    DWORD start = GetTickCount();
    int explored = 0, failed = 0;
    auto isLoop = [](const std::string& kind) {
        return kind == "question" || kind == "tray-menu" || kind == "system-menu" || kind == "move" ||
               kind == "field-menu";
    };
    auto fits = [](int event, const std::string& kind) {
        Answer answer = Events[event].answer;
        return answer == Sent || (answer == AnswerYes && kind == "question") ||
               (answer == ChooseExit && kind == "tray-menu");
    };
    // A new dialog's state, once: each run starts from it.
    ResetProgram();
    WriteString("Host", "harkwin.test");
    g_spy.fakeTray = true;
    HWND dialog = CreateDialogParamA(GetModuleHandleA(0), MAKEINTRESOURCEA(IDD_CONFIG), 0, Traced, 0);
    AppState initialised = g_app;
    // Tries each event at the top and at each point from the last item's on, then extends each.
    std::function<void(const std::vector<Step>&, const Trial&)> extend = [&](const std::vector<Step>& script,
                                                                             const Trial& last) {
        int length = (int)script.size() + 1;
        std::vector<int> places;
        if (length < 3) places.push_back(0);
        if (length == 2 || (length == 3 && script[1].at > 0 && isLoop(last.points[script[1].at - 1])))
            for (int at = last.floor; at <= last.pointsInScript; ++at)
                if (length == 2 || isLoop(last.points[at - 1])) places.push_back(at);
        for (int at : places)
            for (int e = 0; e < EventCount; ++e) {
                Answer answer = Events[e].answer;
                if (at == 0 ? answer != Sent && answer != FieldMenu : !fits(e, last.points[at - 1])) continue;
                std::vector<Step> longer = script;
                longer.push_back(Step{e, at});
                Trial run = Play(longer, &initialised);
                ++explored;
                if (!Judge(run) && ++failed >= 20) return;
                if (length < 3) extend(longer, run);
                if (failed >= 20) return;
            }
    };
    Trial none;
    extend({}, none);
    g_app = initialised;
    CloseProgram(dialog);
    printf("explored %d event sequences in %.1f s\n", explored, (GetTickCount() - start) / 1000.0);
    EXPECT_EQ(0, failed);
}
