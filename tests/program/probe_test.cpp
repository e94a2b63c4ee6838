// The probe cycle against real loopback sockets and Wine's real lookups.
#include "tests/program/fixture.h"

#include <algorithm>

#include "base/host.h"
#include "probe/probe.h"
#include "tray/status.h"
#include "dialog/config_dialog.h"

class ProbeTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        OpenDialog();
    }
    // As an applied dialog sets them.
    void Target(const char* host, u_short port, DWORD resolve = 1) {
        if (ReplaceHost(&g_app, NewHostString(host, strlen(host)))) AbandonTarget(&g_app);
        g_app.settings.Port = port;
        g_app.settings.Resolve = resolve;
    }
    size_t Lookups() { return SpyCalls("WSAAsyncGetHostByName").size(); }
};

// Waits for the listener's next connection and tells whether it closed without a byte.
static bool AcceptsAndSeesClose(SOCKET listener) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(listener, &set);
    timeval wait = {5, 0};
    if (select(0, &set, 0, 0, &wait) != 1) return false;
    SOCKET peer = accept(listener, 0, 0);
    FD_ZERO(&set);
    FD_SET(peer, &set);
    bool closed = select(0, &set, 0, 0, &wait) == 1;
    char byte;
    closed = closed && recv(peer, &byte, 1, 0) == 0;
    closesocket(peer);
    return closed;
}

TEST_F(ProbeTest, AcceptedAndRefusedConnections) {
    u_short port;
    SOCKET listener = OpenListener(&port);
    Target("127.0.0.1", port);
    ASSERT_TRUE(ProbeOnce());
    EXPECT_EQ(StatusOnline, g_app.currentStatus);
    EXPECT_EQ("The connection has been accepted.", Tooltip());
    EXPECT_EQ(INVALID_SOCKET, g_app.socket);
    EXPECT_TRUE(AcceptsAndSeesClose(listener)) << "shut down at once, no data sent";
    EXPECT_EQ(1u, SpyCalls("shutdown").size());
    EXPECT_EQ(0u, Lookups()) << "a numeric host is never looked up";
    closesocket(listener);

    ASSERT_TRUE(ProbeOnce());
    EXPECT_EQ(StatusOffline, g_app.currentStatus);
    EXPECT_EQ("The connection attempt was rejected.", Tooltip());
    EXPECT_EQ(0u, Lookups());
}

TEST_F(ProbeTest, ClosingKeepsOtherNoticesForTheirOwnWindows) {
    g_app.socket = socket(AF_INET, SOCK_STREAM, 0);
    WPARAM closed = (WPARAM)g_app.socket;
    HWND child = Item(IDC_HOST);
    PostMessageA(child, WM_APP_NOTIFY, closed, WSAMAKESELECTREPLY(FD_CONNECT, 0));  // the control's own message
    CloseProbeSocket(&g_app);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, window, WM_APP_NOTIFY, WM_APP_NOTIFY, PM_REMOVE));
    EXPECT_EQ(child, m.hwnd);
    EXPECT_EQ(closed, m.wParam);
}

TEST_F(ProbeTest, NamesAreLookedUpAsResolveSays) {
    u_short port;
    SOCKET listener = OpenListener(&port);
    Target("localhost", port, 1);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(ProbeOnce());
        EXPECT_EQ(StatusOnline, g_app.currentStatus) << Tooltip();
        EXPECT_EQ(INADDR_NONE, g_app.target.sin_addr.s_addr);
    }
    EXPECT_EQ(3u, Lookups());
    g_spy.log.clear();
    g_app.settings.Resolve = 0;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(ProbeOnce());
        EXPECT_EQ(StatusOnline, g_app.currentStatus) << Tooltip();
    }
    EXPECT_EQ(1u, Lookups()) << "the found address stays in use";
    EXPECT_EQ(inet_addr("127.0.0.1"), g_app.target.sin_addr.s_addr);
    // Applying a new host forgets it; names a locale calls equal are different hosts.
    const char* hosts[][2] = {{"localhost", "kept"},
                              {"127.0.0.1", "forgotten"},
                              {"strasse.example", "forgotten"},
                              {"stra\xdf"
                               "e.example",
                               "forgotten"}};
    for (auto& h : hosts) {
        g_app.target.sin_addr.s_addr = inet_addr("127.0.0.1");
        SetDlgItemTextA(window, IDC_HOST, h[0]);
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_APPLY, BN_CLICKED), 0);
        EXPECT_EQ(std::string(h[1]) == "kept", g_app.target.sin_addr.s_addr != INADDR_NONE) << h[0];
    }
    closesocket(listener);

    g_spy.log.clear();
    Target("no-such-host.invalid", port);
    ASSERT_TRUE(ProbeOnce());
    EXPECT_EQ(StatusOffline, g_app.currentStatus);
    EXPECT_EQ(1u, Lookups());
    EXPECT_NE(INVALID_SOCKET, g_app.socket) << "stays open until the next probe";
    EXPECT_EQ(INADDR_NONE, g_app.target.sin_addr.s_addr);

    // 255.255.255.255 parses as "not an address" and goes to the lookup.
    g_spy.log.clear();
    Target("255.255.255.255", port);
    ASSERT_TRUE(ProbeOnce());
    EXPECT_EQ(1u, Lookups());
}

TEST_F(ProbeTest, SlowConnectIsAbandonedByTheNextTick) {
    g_spy.connect = [](SOCKET, const sockaddr*) {
        WSASetLastError(WSAEWOULDBLOCK);
        return SOCKET_ERROR;
    };
    Target("127.0.0.1", ClosedPort(), 1);
    Tick();
    SetStatus(&g_app, StatusOnline, "earlier answer", false);
    SOCKET first = g_app.socket;
    Tick();
    EXPECT_EQ(std::vector<std::string>({"closesocket " + std::to_string(first)}), SpyCalls("closesocket"));
    EXPECT_EQ(StatusTrying, g_app.currentStatus);
    EXPECT_EQ("Trying to connect...", Tooltip());
    EXPECT_NE(INADDR_NONE, g_app.target.sin_addr.s_addr) << "no result yet: the address stays";
}

TEST_F(ProbeTest, LocalFailures) {
    u_short port = ClosedPort();
    Target("127.0.0.1", port);
    g_spy.failSocket = true;
    Tick();
    EXPECT_EQ(StatusError, g_app.currentStatus);
    EXPECT_EQ("Error creating socket!", Tooltip());
    g_spy.failSocket = false;

    g_spy.failSelect = true;
    Tick();
    EXPECT_EQ("WSAAsyncSelect() failed!", Tooltip());
    EXPECT_NE(INVALID_SOCKET, g_app.socket);
    g_spy.failSelect = false;

    g_spy.lookup = [](const char*, char*, int) { return (HANDLE)0; };
    Target("example.invalid", port);
    Tick();
    EXPECT_EQ("WSAAsyncGetHostByName() failed!", Tooltip());
    EXPECT_EQ(nullptr, g_app.lookups);
}

TEST_F(ProbeTest, ImmediateConnectErrors) {
    struct Row {
        int error;
        ProbeStatus status;
        const char* tooltip;
        bool closed;
    } rows[] = {
        {WSAECONNREFUSED, StatusOffline, "The connection attempt was rejected.", true},
        {WSAETIMEDOUT, StatusOffline, "The connection timed out.", true},
        {WSAENETUNREACH, StatusOffline, "The network is unreachable at this time.", true},
        {WSAEINVAL, StatusError, "connect() failed!", false},
    };
    Target("127.0.0.1", 9, 1);
    for (const Row& r : rows) {
        int error = r.error;
        g_spy.connect = [error](SOCKET, const sockaddr*) {
            WSASetLastError(error);
            return SOCKET_ERROR;
        };
        Tick();
        EXPECT_EQ(r.status, g_app.currentStatus) << r.error;
        EXPECT_EQ(r.tooltip, Tooltip()) << r.error;
        EXPECT_EQ(r.closed, g_app.socket == INVALID_SOCKET) << r.error;
        EXPECT_EQ(r.closed, g_app.target.sin_addr.s_addr == INADDR_NONE)
            << r.error << ": Resolve 1 forgets on an answer";
    }
}

TEST_F(ProbeTest, LookupReplyAfterALaterTickFailedToCreateItsSocket) {
    Target("localhost", ClosedPort());
    Tick();
    ASSERT_NE((HANDLE)0, g_app.pendingLookup);
    g_spy.failSocket = true;
    Tick();
    EXPECT_EQ("Error creating socket!", Tooltip());
    ASSERT_TRUE(PumpUntil([] { return g_app.pendingLookup == 0; }));
    EXPECT_EQ(StatusError, g_app.currentStatus);
    EXPECT_EQ("WSAAsyncSelect() failed!", Tooltip());
}

TEST_F(ProbeTest, StaleConnectNoticeIsNeverTheNewSocketsResult) {
    u_short port;
    SOCKET listener = OpenListener(&port);
    Target("127.0.0.1", port);
    Tick();
    SOCKET first = g_app.socket;
    // Wait, without dispatching, until the accepted connect's notice is queued.
    MSG msg;
    DWORD start = GetTickCount();
    while (!PeekMessageA(&msg, window, WM_APP_NOTIFY, WM_APP_NOTIFY, PM_NOREMOVE) && GetTickCount() - start < 5000)
        Sleep(1);  // polling the queue with a deadline
    // Queued once more by hand, in case the platform hands the new socket another value.
    PostMessageA(window, WM_APP_NOTIFY, first, WSAMAKESELECTREPLY(FD_CONNECT, 0));
    g_app.settings.Port = ClosedPort();
    // And sent while the next tick updates the tray, before it closes the socket: noted, then forgotten with it.
    bool sent = false;
    g_spy.onTray = [&](DWORD message) {
        if (message != NIM_MODIFY || sent) return;
        sent = true;
        SendMessageA(window, WM_APP_NOTIFY, first, WSAMAKESELECTREPLY(FD_CONNECT, 0));
    };
    Tick();
    g_spy.onTray = nullptr;
    printf("first socket %u, second %u\n", (unsigned)first, (unsigned)g_app.socket);
    ASSERT_TRUE(PumpUntil([] { return g_app.currentStatus != StatusTrying; }));
    EXPECT_EQ(StatusOffline, g_app.currentStatus);
    EXPECT_EQ("The connection attempt was rejected.", Tooltip());
    PumpFor(100);
    EXPECT_EQ(StatusOffline, g_app.currentStatus);
    closesocket(listener);
}

// The process's open file descriptors, as the host system counts them.
static int OpenDescriptors() {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\self\\fd\\*", &found);
    if (search == INVALID_HANDLE_VALUE) return -1;
    int count = 0;
    do count += found.cFileName[0] != '.';
    while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

// Writes a host entry into a lookup's buffer as the socket layer would.
static void WriteHostEntry(char* buffer, const char* address, short length = 4, bool empty = false) {
    hostent* entry = (hostent*)buffer;
    char** list = (char**)(buffer + 64);
    char* bytes = buffer + 128;
    u_long value = inet_addr(address);
    memcpy(bytes, &value, 4);
    list[0] = empty ? nullptr : bytes;
    list[1] = nullptr;
    entry->h_name = buffer + 200;
    strcpy(buffer + 200, "scripted");
    entry->h_aliases = list + 1;
    entry->h_addrtype = AF_INET;
    entry->h_length = length;
    entry->h_addr_list = list;
}

TEST_F(ProbeTest, OverlappingLookupsEachReadTheirOwnReply) {
    std::vector<char*> buffers;
    g_spy.lookup = [&](const char*, char* buffer, int length) {
        EXPECT_EQ(MAXGETHOSTSTRUCT, length);
        buffers.push_back(buffer);
        return (HANDLE)(UINT_PTR)(0x100 + buffers.size());
    };
    Target("scripted.invalid", ClosedPort());
    for (int i = 0; i < 3; ++i) Tick();
    ASSERT_EQ(3u, buffers.size());
    EXPECT_NE(buffers[0], buffers[1]);
    EXPECT_NE(buffers[1], buffers[2]);
    EXPECT_EQ((HANDLE)0x103, g_app.pendingLookup);
    // The abandoned ones answer late and out of order, writing their own buffers.
    WriteHostEntry(buffers[1], "127.0.0.2");
    PostMessageA(window, WM_APP_NOTIFY, 0x102, WSAMAKEASYNCREPLY(256, 0));
    WriteHostEntry(buffers[0], "127.0.0.3");
    PumpFor(50);
    EXPECT_EQ(StatusTrying, g_app.currentStatus);
    WriteHostEntry(buffers[2], "127.0.0.1");
    PostMessageA(window, WM_APP_NOTIFY, 0x103, WSAMAKEASYNCREPLY(256, 0));
    WriteHostEntry(buffers[0], "127.0.0.4");  // still writable: its reply has not come
    PostMessageA(window, WM_APP_NOTIFY, 0x101, WSAMAKEASYNCREPLY(256, 0));
    ASSERT_TRUE(PumpUntil([] { return g_app.currentStatus != StatusTrying; }));
    EXPECT_EQ("The connection attempt was rejected.", Tooltip());
    std::vector<std::string> connects = SpyCalls("connect");
    ASSERT_EQ(1u, connects.size());
    EXPECT_NE(std::string::npos, connects[0].find(" 127.0.0.1:")) << connects[0];
    EXPECT_EQ(nullptr, g_app.lookups) << "every buffer freed once its own reply came";
}

TEST_F(ProbeTest, HostEntryWithoutAnIpv4AddressIsNoData) {
    char* buffer = nullptr;
    g_spy.lookup = [&](const char*, char* b, int) {
        buffer = b;
        return (HANDLE)0x77;
    };
    Target("scripted.invalid", 9);
    struct Row {
        short length;
        bool empty;
    } rows[] = {{4, true}, {16, false}, {0, false}};
    for (const Row& r : rows) {
        Tick();
        WriteHostEntry(buffer, "127.0.0.1", r.length, r.empty);
        SendMessageA(window, WM_APP_NOTIFY, 0x77, WSAMAKEASYNCREPLY(256, 0));
        EXPECT_EQ(StatusOffline, g_app.currentStatus) << r.length;
        EXPECT_EQ("The host doesn't appear to have an IPv4 DNS record.", Tooltip()) << r.length;
        EXPECT_TRUE(SpyCalls("connect").empty());
    }
}

TEST_F(ProbeTest, ManyCyclesLeaveNothingOpen) {
    u_short port;
    SOCKET listener = OpenListener(&port);
    u_long nonBlocking = 1;
    ioctlsocket(listener, FIONBIO, &nonBlocking);
    Target("127.0.0.1", port);
    auto cycle = [&] {
        if (!ProbeOnce()) return false;
        SOCKET peer;
        while ((peer = accept(listener, 0, 0)) != INVALID_SOCKET) closesocket(peer);
        return g_app.currentStatus == StatusOnline && g_app.socket == INVALID_SOCKET;
    };
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(cycle());
    int fdsBefore = OpenDescriptors();
    SOCKET highest = 0;
    auto lastSocket = [] {
        std::vector<std::string> s = SpyCalls("socket ");
        return s.empty() ? 0u : std::stoul(s.back().substr(7));
    };
    SOCKET first = lastSocket();
    for (int i = 0; i < 2000; ++i) {
        g_spy.log.clear();
        ASSERT_TRUE(cycle()) << "cycle " << i << ": " << Tooltip();
        highest = std::max<SOCKET>(highest, lastSocket());
    }
    PumpFor(50);
    int fdsAfter = OpenDescriptors();
    printf("open descriptors before %d, after 2000 cycles %d; socket handles %u..%u\n", fdsBefore, fdsAfter,
           (unsigned)first, (unsigned)highest);
    EXPECT_GT(fdsBefore, 0);
    EXPECT_LE(fdsAfter, fdsBefore + 2);
    EXPECT_LE(highest, first + 16) << "handle values stay low when every socket is closed";
    closesocket(listener);
}
