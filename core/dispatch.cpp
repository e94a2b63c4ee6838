#include "core/dispatch.h"

#include "ui/resource.h"

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
    InLoop,           // a menu, move or size loop is open, ours or the platform's
    Free,             // the dialog's own loop, or the exit question's
    PlaceCount
};

enum Fate { Drop, Run, Note };

// Noted events run once the handler under way returns, or the loop they arrived in; a close
// request noted in a loop also ends it. A right click or system command noted with a close
// request gives way to it: its loop would keep the question waiting.
const Fate Fates[PlaceCount][KindCount] = {
    //                   Forgery Quiet Starts OpensLoop CloseRequest
    /* Ending */ {Drop, Run, Drop, Drop, Drop},
    /* HandlerUnderWay */ {Drop, Run, Note, Note, Note},
    /* InLoop */ {Drop, Run, Run, Note, Note},
    /* Free */ {Drop, Run, Run, Run, Run},
};

EventKind KindOf(const AppState* app, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: return window == app->window ? Forgery : Quiet;
    // A press on a caption button holds the mouse until the button comes up: one sent with the
    // button up would wait for ever. A real one goes to the dialog manager.
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK: return GetKeyState(VK_LBUTTON) < 0 ? Quiet : Forgery;
    case WM_CLOSE: return CloseRequest;
    case WM_SYSCOMMAND: return (wParam & 0xFFF0) == SC_CLOSE ? CloseRequest : OpensLoop;
    case WM_POPUPSYSTEMMENU:
    case WM_CONTEXTMENU: return OpensLoop;
    case WM_TIMER: return wParam == IDT_POLL || wParam == IDT_FLASH ? Starts : Quiet;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return Quiet;
        if (LOWORD(wParam) == IDC_EXIT) return CloseRequest;
        // A check box only enables Apply.
        return LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDC_APPLY ? Starts : Quiet;
    case WM_APP_NOTIFY:  // in the routing table's order
        if (app->socket != INVALID_SOCKET && wParam == (WPARAM)app->socket && WSAGETSELECTEVENT(lParam) == FD_CONNECT)
            return Starts;
        if (app->pendingLookup != 0 && wParam == (WPARAM)app->pendingLookup) return Starts;
        if (wParam != app->trayIcon.uID) return Quiet;  // an abandoned lookup's late reply, or nothing
        if (lParam == WM_RBUTTONUP) return OpensLoop;
        return lParam == WM_LBUTTONDBLCLK ? Starts : Quiet;
    default: return app->taskbarCreated != 0 && message == app->taskbarCreated ? Starts : Quiet;
    }
}

bool OfThisThread(HWND window) { return window && GetWindowThreadProcessId(window, 0) == GetCurrentThreadId(); }

// The loops the platform reports for a window of this thread: menu, move or size mode. Another
// thread that shares its input state (AttachThreadInput) may hold one of its own: not counted.
DWORD PlatformLoops() {
    GUITHREADINFO thread;
    ZeroMemory(&thread, sizeof thread);
    thread.cbSize = sizeof thread;
    if (!GetGUIThreadInfo(GetCurrentThreadId(), &thread)) return 0;
    DWORD loops = 0;
    if (OfThisThread(thread.hwndMenuOwner))
        loops |= thread.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE);
    if (OfThisThread(thread.hwndMoveSize)) loops |= thread.flags & GUI_INMOVESIZE;
    return loops;
}

Place PlaceOf(const AppState* app) {
    if (app->dispatch.ending) return Ending;
    if (app->dispatch.handlers > 0) return HandlerUnderWay;
    return LoopOpen(app) ? InLoop : Free;
}

// Ends whatever menu, move or size loop is open, so that a close request is asked at once.
void EndLoops(AppState* app) {
    // The platform stops reporting a move once its capture changes; its loop runs on.
    bool moving = app->dispatch.ownMove || (PlatformLoops() & GUI_INMOVESIZE) != 0;
    (void)EndMenu();  // any menu of the thread's, a field's too; false when none is open
    // The default handling ends the window's menus and its capture. Some platforms end a move
    // or size loop that lost its capture only on a button-up, Enter or Esc.
    (void)DefWindowProcA(app->window, WM_CANCELMODE, 0, 0);
    if (moving) (void)PostMessageA(app->window, WM_LBUTTONUP, 0, 0);  // lost only with a full queue
}

void NoteEvent(DispatchState* d, UINT message, WPARAM wParam, LPARAM lParam, EventKind kind) {
    for (unsigned i = 0; i < d->notedCount; ++i)
        if (kind == CloseRequest && d->noted[i].kind == CloseRequest) return;  // one question answers them all
    // Only a program that floods us sends so many under one handler.
    if (d->notedCount == sizeof d->noted / sizeof d->noted[0]) return;
    d->noted[d->notedCount++] = NotedEvent{message, wParam, lParam, kind};
}

void Forget(DispatchState* d, unsigned index) {
    for (unsigned i = index + 1; i < d->notedCount; ++i) d->noted[i - 1] = d->noted[i];
    --d->notedCount;
}

NotedEvent Take(DispatchState* d, unsigned index) {
    NotedEvent taken = d->noted[index];
    Forget(d, index);
    return taken;
}

bool HoldsClose(const DispatchState* d) {
    for (unsigned i = 0; i < d->notedCount; ++i)
        if (d->noted[i].kind == CloseRequest) return true;
    return false;
}

// What opens no loop first, in the order noted; then what opens one; a close request last,
// since its question waits for the user, and it takes the place of any loop noted with it.
NotedEvent TakeNext(DispatchState* d) {
    for (unsigned i = 0; i < d->notedCount; ++i)
        if (d->noted[i].kind != OpensLoop && d->noted[i].kind != CloseRequest) return Take(d, i);
    if (HoldsClose(d))
        for (unsigned i = d->notedCount; i-- > 0;)
            if (d->noted[i].kind == OpensLoop) Forget(d, i);
    return Take(d, 0);  // the first loop, or the close request alone
}

// Each noted event runs by the same route, as an outermost handler, once no loop is open. A
// loop of ours returns into the handler that opened it, which comes here; the platform's (a
// field's context menu) returns into the dialog's loop, which our timer then wakes.
void RunNoted(AppState* app) {
    DispatchState* d = &app->dispatch;
    if (d->notedCount == 0) return;
    while (d->notedCount > 0 && !d->ending && !LoopOpen(app)) {
        NotedEvent next = TakeNext(d);
        ++d->handlers;
        (void)RouteMessage(app, app->window, next.message, next.wParam, next.lParam);  // our own handlers
        --d->handlers;
    }
    if (d->ending) d->notedCount = 0;
    if (d->notedCount > 0 && d->ownLoops == 0)
        (void)SetTimer(app->window, IDT_NOTED, USER_TIMER_MINIMUM, 0);  // refused, they wait for the next message
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
    Place place = PlaceOf(app);
    switch (Fates[place][kind]) {
    case Drop: return TRUE;
    case Note:
        NoteEvent(&app->dispatch, message, wParam, lParam, kind);
        if (place == InLoop) {
            if (kind == CloseRequest) EndLoops(app);
            RunNoted(app);  // a loop is open: sets the timer where the loop is not ours
        }
        return TRUE;
    case Run: break;
    }
    return RunHandler(app, window, message, wParam, lParam);
}

void ResetDispatch(AppState* app) {
    int handlers = app->dispatch.handlers;  // the initialisation under way among them
    app->dispatch = DispatchState();
    app->dispatch.handlers = handlers;
}

void BeginEnding(AppState* app) { app->dispatch.ending = true; }

int AskExitQuestion(AppState* app, const char* text, const char* caption, UINT style) {
    DispatchState* d = &app->dispatch;
    if (d->asking || d->ending) return 0;
    for (unsigned i = d->notedCount; i-- > 0;)
        if (d->noted[i].kind == CloseRequest) Forget(d, i);  // this question answers every request so far
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

// The loop is counted as ours until the platform's call returns: its last notices
// (WM_EXITMENULOOP) come after the platform has stopped reporting it.
void RunSystemCommand(AppState* app, UINT message, WPARAM wParam, LPARAM lParam) {
    DispatchState* d = &app->dispatch;
    WPARAM command = wParam & 0xFFF0;
    bool moves = message == WM_SYSCOMMAND && (command == SC_MOVE || command == SC_SIZE);
    if (message == WM_SYSCOMMAND && !moves && command != SC_KEYMENU && command != SC_MOUSEMENU) {
        // A minimise, a close, a restore: what they send arrives under this handler.
        (void)DefWindowProcA(app->window, message, wParam, lParam);  // these have no result to give
        return;
    }
    bool outerMove = d->ownMove;
    int outer = EnterOwnLoop(d);
    ++d->ownLoops;
    d->ownMove = outerMove || moves;
    (void)DefWindowProcA(app->window, message, wParam, lParam);
    d->ownMove = outerMove;
    --d->ownLoops;
    LeaveOwnLoop(d, outer);
}

bool LoopOpen(const AppState* app) { return app->dispatch.ownLoops > 0 || PlatformLoops() != 0; }

bool CloseNoted(const AppState* app) { return HoldsClose(&app->dispatch); }

void SendToSelf(AppState* app, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)RouteMessage(app, app->window, message, wParam, lParam);  // the result of our own handlers
}
