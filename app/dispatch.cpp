#include "app/dispatch.h"

#include "base/resource.h"

namespace {

// What a message would do, as far as its fate goes.
enum EventKind {
    Forgery,       // only another program sends it: a caption press with the button up, a second initialisation
    Quiet,         // starts nothing: a field's change, a size, what the dialog manager handles
    Starts,        // a tick, OK, Cancel, Apply, a double click on the icon, a connect or lookup result, a shell restart
    OpensLoop,     // a right click on the icon, a system command: a menu, move or size loop
    CloseRequest,  // a close request, the close box or Exit: the question
    KindCount
};

// Where the thread is when it arrives.
enum Place {
    Ending,           // start-up failed or the exit sequence has begun
    HandlerUnderWay,  // delivered by a platform call that waits, inside one of our handlers
    InLoop,           // a menu, move or size loop is open, ours or the platform's, or ending
    Free,             // the dialog's own loop, or the exit question's
    PlaceCount
};

enum Fate { Drop, Run, Note };

// A noted event runs once the handler under way returns, or, if it opens a loop or asks, once
// the loop it came in has returned; a close request noted in a loop also ends it. A right click
// or system command noted with a close request gives way to it: its loop would keep the
// question waiting.
// clang-format off
const Fate Fates[PlaceCount][KindCount] = {
    //                     Forgery Quiet Starts OpensLoop CloseRequest
    /* Ending */          {Drop,   Run,  Drop,  Drop,     Drop},
    /* HandlerUnderWay */ {Drop,   Run,  Note,  Note,     Note},
    /* InLoop */          {Drop,   Run,  Run,   Note,     Note},
    /* Free */            {Drop,   Run,  Run,   Run,      Run},
};
// clang-format on

// The open question answers a close request: it starts nothing.
EventKind CloseKind(const AppState* app) { return app->dispatch.asking ? Quiet : CloseRequest; }

bool IsConnectNotice(const AppState* app, UINT message, WPARAM wParam, LPARAM lParam) {
    return message == WM_APP_NOTIFY && app->socket != INVALID_SOCKET && wParam == (WPARAM)app->socket &&
           WSAGETSELECTEVENT(lParam) == FD_CONNECT;
}

EventKind KindOf(const AppState* app, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: return window == app->window ? Forgery : Quiet;
    // A press on a caption button holds the mouse until the button comes up: one sent with the
    // button up would wait for ever. A real one goes to the dialog manager.
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK: return GetKeyState(VK_LBUTTON) < 0 ? Quiet : Forgery;
    case WM_CLOSE: return CloseKind(app);
    case WM_SYSCOMMAND: return (wParam & 0xFFF0) == SC_CLOSE && !app->dispatch.asking ? CloseRequest : OpensLoop;
    case WM_POPUPSYSTEMMENU:
    case WM_CONTEXTMENU: return OpensLoop;
    case WM_TIMER: return wParam == IDT_POLL || wParam == IDT_FLASH ? Starts : Quiet;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return Quiet;
        if (LOWORD(wParam) == IDC_EXIT) return CloseKind(app);
        // A check box only enables Apply.
        return LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDC_APPLY ? Starts : Quiet;
    case WM_APP_NOTIFY:  // in the routing table's order
        if (IsConnectNotice(app, message, wParam, lParam)) return Starts;
        if (app->pendingLookup != 0 && wParam == (WPARAM)app->pendingLookup) return Starts;
        if (wParam != app->trayIcon.uID) return Quiet;  // an abandoned lookup's late reply, or nothing
        if (lParam == WM_RBUTTONUP) return OpensLoop;
        return lParam == WM_LBUTTONDBLCLK ? Starts : Quiet;
    default: return IsShellRestart(app, message) ? Starts : Quiet;
    }
}

bool OfThisThread(HWND window) { return window && GetWindowThreadProcessId(window, 0) == GetCurrentThreadId(); }

// The loops the platform reports for a window of this thread: menu, move or size mode. Another
// thread that shares its input state (AttachThreadInput) may hold one of its own: not counted.
DWORD PlatformLoops() {
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    (void)GetGUIThreadInfo(GetCurrentThreadId(), &thread);  // on failure it stays zeroed: no loop
    DWORD loops = 0;
    if (OfThisThread(thread.hwndMenuOwner))
        loops |= thread.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE);
    if (OfThisThread(thread.hwndMoveSize)) loops |= thread.flags & GUI_INMOVESIZE;
    return loops;
}

Place PlaceOf(const AppState* app) {
    if (app->dispatch.ending) return Ending;
    if (app->dispatch.handlers > 0) return HandlerUnderWay;
    // A close request still noted waits for a loop that is ending: no other loop may open first.
    return LoopOpen(app) || app->dispatch.closeNoted ? InLoop : Free;
}

// Ends whatever menu, move or size loop is open, so that a close request is asked at once.
void EndLoops(AppState* app) {
    (void)EndMenu();  // any menu of the thread's, a field's too; false when none is open
    // The default handling ends the window's menus and its capture. Some platforms end a move
    // or size loop that lost its capture only on a button-up, Enter or Esc.
    (void)DefWindowProcA(app->window, WM_CANCELMODE, 0, 0);
    // Every move or size is ours (RunSystemCommand): the platform stops reporting it once its
    // capture changes, though its loop runs on.
    if (app->dispatch.ownMove) (void)PostMessageA(app->window, WM_LBUTTONUP, 0, 0);  // lost only with a full queue
}

// What opens no loop is kept ahead of what opens one, which would keep it waiting; the same
// event noted twice runs once, as a timer's does.
void NoteEvent(AppState* app, UINT message, WPARAM wParam, LPARAM lParam, EventKind kind) {
    DispatchState* d = &app->dispatch;
    NotedEvent e = {message, wParam, lParam, kind, IsConnectNotice(app, message, wParam, lParam), app->socketsClosed};
    if (kind == CloseRequest) d->closeNoted = true;  // one question answers them all
    for (unsigned i = 0; i < d->notedCount; ++i) {
        const NotedEvent& n = d->noted[i];
        if (n.message == message && n.wParam == wParam && n.lParam == lParam &&
            (!e.connectNotice || n.socketsClosed == e.socketsClosed))
            return;
    }
    if (kind == CloseRequest || d->notedCount == MaxNotedEvents) return;
    unsigned at = d->notedCount++;
    for (; at > 0 && kind != OpensLoop && d->noted[at - 1].kind == OpensLoop; --at) d->noted[at] = d->noted[at - 1];
    d->noted[at] = e;
}

void Forget(DispatchState* d, unsigned index) {
    for (unsigned i = index + 1; i < d->notedCount; ++i) d->noted[i - 1] = d->noted[i];
    --d->notedCount;
}

// Inside a loop, what opens no loop runs as it would have on arrival, the rest waits for the
// loop to return. Then a close request comes last, since its question waits for the user, and
// takes the place of any loop noted with it.
bool TakeNext(DispatchState* d, bool inLoop, NotedEvent* next) {
    if (d->notedCount > 0 && (d->noted[0].kind != OpensLoop || (!inLoop && !d->closeNoted))) {
        *next = d->noted[0];
        Forget(d, 0);
        return true;
    }
    if (inLoop || !d->closeNoted) return false;
    d->notedCount = 0;
    d->closeNoted = false;
    *next = NotedEvent{WM_CLOSE, 0, 0, CloseRequest, false, 0};
    return true;
}

// A loop of ours returns into the handler that opened it, which runs what was noted; the
// platform's (a field's context menu) into the dialog's loop, which our timer wakes.
void WaitForLoop(AppState* app) {
    if (app->dispatch.ownLoops == 0) (void)SetTimer(app->window, IDT_NOTED, 50, 0);  // a menu may stay open long
}

// Each noted event runs by the same route, as an outermost handler.
void RunNoted(AppState* app) {
    DispatchState* d = &app->dispatch;
    NotedEvent next;
    while (!d->ending && (d->notedCount > 0 || d->closeNoted)) {
        bool inLoop = LoopOpen(app);
        if (!TakeNext(d, inLoop, &next)) {
            if (d->closeNoted) EndLoops(app);  // it came under a handler inside the loop
            WaitForLoop(app);
            return;
        }
        // The socket it came for is closed; the next one may have been given its handle.
        if (next.connectNotice && next.socketsClosed != app->socketsClosed) continue;
        ++d->handlers;
        (void)RouteMessage(app, app->window, next.message, next.wParam, next.lParam);  // our own handlers
        --d->handlers;
    }
}

INT_PTR RunHandler(AppState* app, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DispatchState* d = &app->dispatch;
    ++d->handlers;
    INT_PTR result = RouteMessage(app, window, message, wParam, lParam);
    if (--d->handlers == 0) RunNoted(app);
    return result;
}

// Inside a loop of ours, each handler is outermost again, as in the dialog's own loop.
int EnterOwnLoop(DispatchState* d) {
    int outer = d->handlers;
    d->handlers = 0;
    return outer;
}

void LeaveOwnLoop(DispatchState* d, int outer) { d->handlers = outer; }

}  // namespace

INT_PTR Dispatch(AppState* app, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    EventKind kind = KindOf(app, window, message, wParam, lParam);
    Place place = kind <= Quiet ? Free : PlaceOf(app);  // their fate is the same everywhere
    switch (Fates[place][kind]) {
    case Drop: return TRUE;
    case Note:
        NoteEvent(app, message, wParam, lParam, kind);
        // A loop may be open under the handler too: a field's menu another program opened.
        if (kind == CloseRequest && (place == InLoop || LoopOpen(app))) EndLoops(app);
        if (place == InLoop) WaitForLoop(app);
        return TRUE;
    case Run: break;
    }
    return RunHandler(app, window, message, wParam, lParam);
}

void BeginEnding(AppState* app) { app->dispatch.ending = true; }

int AskExitQuestion(AppState* app, const char* text, const char* caption, UINT style) {
    DispatchState* d = &app->dispatch;
    if (d->asking || d->ending) return IDNO;  // the open question answers it, or the exit is under way
    // This question answers every request so far, and takes the place of any loop noted with them.
    d->closeNoted = false;
    for (unsigned i = d->notedCount; i-- > 0;)
        if (d->noted[i].kind == OpensLoop) Forget(d, i);
    d->asking = true;
    int outer = EnterOwnLoop(d);
    int answer = MessageBoxA(app->window, text, caption, style);
    LeaveOwnLoop(d, outer);
    d->asking = false;
    return answer;
}

UINT TrackTrayMenu(AppState* app, HMENU menu, UINT flags, int x, int y) {
    DispatchState* d = &app->dispatch;
    int outer = EnterOwnLoop(d);
    ++d->ownLoops;
    BOOL chosen = TrackPopupMenuEx(menu, flags, x, y, app->window, 0);
    --d->ownLoops;
    LeaveOwnLoop(d, outer);
    return (UINT)chosen;
}

// Held as a loop of ours until the platform's call returns: its last notices (WM_EXITMENULOOP)
// come after the platform has stopped reporting it, and a command that opens no menu, move or
// size may still track the mouse in a loop (a scroll bar's, help mode).
void RunSystemCommand(AppState* app, UINT message, WPARAM wParam, LPARAM lParam) {
    DispatchState* d = &app->dispatch;
    WPARAM command = wParam & 0xFFF0;
    bool outerMove = d->ownMove;
    int outer = EnterOwnLoop(d);
    ++d->ownLoops;
    d->ownMove = outerMove || (message == WM_SYSCOMMAND && (command == SC_MOVE || command == SC_SIZE));
    (void)DefWindowProcA(app->window, message, wParam, lParam);  // these have no result to give
    d->ownMove = outerMove;
    --d->ownLoops;
    LeaveOwnLoop(d, outer);
}

bool IsShellRestart(const AppState* app, UINT message) { return app->taskbarCreated && message == app->taskbarCreated; }

bool LoopOpen(const AppState* app) { return app->dispatch.ownLoops > 0 || PlatformLoops() != 0; }
