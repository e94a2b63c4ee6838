#include "core/loops.h"

// Around each of the program's own loops: a handler inside it is outermost, as in the dialog's
// own loop, and runs the deferred events once it returns (ConfigDialogProc).
struct OwnLoop {
    bool handlerWasUnderWay;
};

static OwnLoop OpenOwnLoop(AppState* app) {
    OwnLoop loop = {app->handlerUnderWay};
    app->handlerUnderWay = false;
    return loop;
}

static void CloseOwnLoop(AppState* app, OwnLoop loop) { app->handlerUnderWay = loop.handlerWasUnderWay; }

int AskInOwnLoop(AppState* app, const char* text, const char* caption, UINT style) {
    OwnLoop loop = OpenOwnLoop(app);
    int answer = MessageBoxA(app->window, text, caption, style);
    CloseOwnLoop(app, loop);
    return answer;
}

UINT TrackMenuInOwnLoop(AppState* app, HMENU menu, UINT flags, int x, int y) {
    OwnLoop loop = OpenOwnLoop(app);
    app->trackingMenu = true;
    BOOL chosen = TrackPopupMenuEx(menu, flags, x, y, app->window, 0);
    app->trackingMenu = false;
    CloseOwnLoop(app, loop);
    return (UINT)chosen;
}

// Held until the platform's call returns: the loop's last notices (WM_EXITMENULOOP) come
// before its tracking has ended, when the platform no longer reports it.
void RunPlatformLoop(AppState* app, UINT message, WPARAM wParam, LPARAM lParam) {
    OwnLoop loop = OpenOwnLoop(app);
    bool outer = app->platformLoop, outerMoving = app->platformMoving;
    WPARAM command = wParam & 0xFFF0;
    app->platformLoop = true;
    app->platformMoving = message == WM_SYSCOMMAND && (command == SC_MOVE || command == SC_SIZE);
    (void)DefWindowProcA(app->window, message, wParam, lParam);  // these have no result to give
    app->platformLoop = outer;
    app->platformMoving = outerMoving;
    CloseOwnLoop(app, loop);
}

static bool OfThisThread(HWND window) { return !window || GetWindowThreadProcessId(window, 0) == GetCurrentThreadId(); }

// The loops the platform reports for this thread: menu, move or size mode. Another thread
// that shares its input state (AttachThreadInput) may hold one of its own: not counted.
static DWORD PlatformLoops() {
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

bool LoopOpen(const AppState* app) { return app->trackingMenu || app->platformLoop || PlatformLoops() != 0; }

void EndLoops(AppState* app) {
    // The platform stops reporting a move once its capture changes; its loop runs on.
    bool moving = app->platformMoving || (PlatformLoops() & GUI_INMOVESIZE) != 0;
    (void)EndMenu();  // any menu of the thread's, a field's too; false when none is open
    // The default handling ends the window's menus and its capture. Some platforms end a move
    // or size loop that lost its capture only on a button-up, Enter or Esc.
    (void)DefWindowProcA(app->window, WM_CANCELMODE, 0, 0);
    if (moving) (void)PostMessageA(app->window, WM_LBUTTONUP, 0, 0);  // lost only with a full queue
}

void SendToSelf(AppState* app, UINT message, WPARAM wParam, LPARAM lParam) {
    app->requestToSelf = true;
    (void)SendMessageA(app->window, message, wParam, lParam);  // the result of our own handlers
    app->requestToSelf = false;
}
