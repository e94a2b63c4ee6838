#include "probe/probe.h"

#include "base/host.h"
#include "probe/classify.h"
#include "tray/status.h"
#include "base/resource.h"

// A connect notice already queued for a socket we close carries its handle, which the next
// socket may be given again: take such notices out of the queue before the handle is reused.
// The others go back, each to its own window (the filter also takes the dialog's children's).
// Past 64 kept notices the search stops: the rest stay queued, unexamined, ahead of the
// kept ones, and a stale notice among them would be taken for the next socket's. Our
// notices are dispatched as they come, so the queue never holds nearly that many.
// Only posted messages are asked for. Wine still delivers first what other threads sent
// meanwhile (the shell's tray notices): the handler under way notes them (app/dispatch.h).
static void DiscardQueuedConnectNotices(AppState* app, SOCKET closed) {
    MSG kept[64];
    unsigned count = 0;
    MSG msg;
    while (count < 64 && PeekMessageA(&msg, app->window, WM_APP_NOTIFY, WM_APP_NOTIFY, PM_REMOVE | PM_QS_POSTMESSAGE)) {
        if (msg.hwnd == app->window && msg.wParam == (WPARAM)closed && WSAGETSELECTEVENT(msg.lParam) == FD_CONNECT)
            continue;
        kept[count++] = msg;
    }
    for (unsigned i = 0; i < count; ++i)
        // Re-posting into our own queue can only fail when the queue is full; then it is lost either way.
        (void)PostMessageA(kept[i].hwnd, kept[i].message, kept[i].wParam, kept[i].lParam);
}

void CloseProbeSocket(AppState* app) {
    if (app->socket == INVALID_SOCKET) return;
    SOCKET closed = app->socket;
    closesocket(closed);  // nothing to do if it fails: the handle is dropped either way
    app->socket = INVALID_SOCKET;
    DiscardQueuedConnectNotices(app, closed);
    ++app->socketsClosed;  // and any noted one goes stale
}

void AbandonTarget(AppState* app) {
    app->target.sin_addr.s_addr = INADDR_NONE;
    app->pendingLookup = 0;
}

static LookupSlot* NewLookupSlot(AppState* app) {
    // Zeroed: a reply that comes before the lookup has written it finds no address in it.
    LookupSlot* slot = (LookupSlot*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(LookupSlot));
    if (!slot) return 0;
    slot->task = 0;
    slot->next = app->lookups;
    app->lookups = slot;
    return slot;
}

// Unlinks the slot of task; the caller frees it.
// Task handles are compared as the numbers a reply carries in wParam.
static LookupSlot* TakeLookupSlot(AppState* app, WPARAM task) {
    for (LookupSlot** link = &app->lookups; *link; link = &(*link)->next) {
        LookupSlot* slot = *link;
        if ((WPARAM)slot->task == task) {
            *link = slot->next;
            return slot;
        }
    }
    return 0;
}

static void FreeLookupSlot(LookupSlot* slot) {
    if (slot) HeapFree(GetProcessHeap(), 0, slot);
}

bool ReleaseLookup(AppState* app, WPARAM task) {
    LookupSlot* slot = TakeLookupSlot(app, task);
    FreeLookupSlot(slot);
    return slot != 0;
}

static void StartLookup(AppState* app) {
    LookupSlot* slot = NewLookupSlot(app);
    HANDLE task = 0;
    if (slot) {
        task = WSAAsyncGetHostByName(app->window, WM_APP_NOTIFY, HostText(app), slot->buffer, sizeof slot->buffer);
        slot->task = task;
        if (!task) {
            app->lookups = slot->next;
            FreeLookupSlot(slot);
        }
    }
    app->pendingLookup = task;
    if (!task) SetStatus(app, StatusError, MsgLookupFailed, false);
}

void StartProbe(AppState* app) {
    SetStatus(app, StatusTrying, MsgTrying, false);
    CloseProbeSocket(app);
    app->socket = socket(AF_INET, SOCK_STREAM, 0);
    if (app->socket == INVALID_SOCKET) {
        SetStatus(app, StatusError, MsgSocketFailed, false);
        return;
    }
    app->target.sin_port = htons(app->settings.Port);
    if (app->target.sin_addr.s_addr == INADDR_NONE) {
        app->target.sin_addr.s_addr = inet_addr(HostText(app));
        if (app->target.sin_addr.s_addr == INADDR_NONE) {
            StartLookup(app);
            return;
        }
    }
    BeginConnect(app);
}

static void FinishConnect(AppState* app, uint32_t error) {
    ProbeOutcome outcome = ClassifyConnect(error);
    SetStatus(app, outcome.status, outcome.message, false);
    shutdown(app->socket, 2);  // SD_BOTH; an unconnected socket refuses, which changes nothing
    CloseProbeSocket(app);
    if (app->settings.Resolve == 1) app->target.sin_addr.s_addr = INADDR_NONE;
}

void BeginConnect(AppState* app) {
    if (WSAAsyncSelect(app->socket, app->window, WM_APP_NOTIFY, FD_CONNECT) != 0) {
        SetStatus(app, StatusError, MsgSelectFailed, false);
        return;
    }
    if (connect(app->socket, (const sockaddr*)&app->target, sizeof app->target) == 0) return;
    int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return;
    if (IsConnectAnswer((uint32_t)error)) {
        FinishConnect(app, (uint32_t)error);
        return;
    }
    SetStatus(app, StatusError, MsgConnectFailed, false);
}

void OnConnectResult(AppState* app, LPARAM lParam) { FinishConnect(app, WSAGETSELECTERROR(lParam)); }

// The first IPv4 address of a host entry, or false when it holds none.
static bool FirstIpv4Address(const hostent* entry, u_long* address) {
    if (entry->h_length != 4 || !entry->h_addr_list || !entry->h_addr_list[0]) return false;
    CopyMemory(address, entry->h_addr_list[0], 4);
    return true;
}

void OnLookupResult(AppState* app, LPARAM lParam) {
    LookupSlot* slot = TakeLookupSlot(app, (WPARAM)app->pendingLookup);
    app->pendingLookup = 0;
    uint32_t error = WSAGETASYNCERROR(lParam);
    u_long address = INADDR_NONE;
    if (error == 0 && !(slot && FirstIpv4Address((const hostent*)slot->buffer, &address))) error = WSANO_DATA;
    FreeLookupSlot(slot);
    if (error != 0) {
        ProbeOutcome outcome = ClassifyLookup(error);
        SetStatus(app, outcome.status, outcome.message, false);
        return;
    }
    app->target.sin_addr.s_addr = address;
    BeginConnect(app);
}
