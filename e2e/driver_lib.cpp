#include "e2e/driver_lib.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

static int passed = 0, failed = 0;

bool Check(bool ok, const std::string& what) {
    printf("%s - %s\n", ok ? "ok" : "FAIL", what.c_str());
    fflush(stdout);
    ++(ok ? passed : failed);
    return ok;
}

int Failures() { return failed; }
void PrintSummary() { printf("end to end: %d passed, %d failed\n", passed, failed); }

bool Poll(DWORD timeoutMs, const std::function<bool()>& done) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(10);  // the poll interval of this wait, not a synchronisation
    }
    return true;
}

bool WaitFor(const std::string& what, DWORD timeoutMs, const std::function<bool()>& done) {
    return Poll(timeoutMs, done) || Check(false, "waited " + std::to_string(timeoutMs) + " ms for " + what);
}

std::string WindowsPath(const std::string& unixPath) {
    if (unixPath.empty() || unixPath[0] != '/') return unixPath;
    std::string out = "Z:" + unixPath;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

struct FindArgs {
    DWORD pid;
    const char* caption;
    bool visibleOnly;
    HWND found;
};

static BOOL CALLBACK FindOne(HWND window, LPARAM param) {
    FindArgs* args = (FindArgs*)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char caption[128] = "";
    GetWindowTextA(window, caption, sizeof caption);
    if (pid == args->pid && strcmp(caption, args->caption) == 0 && (!args->visibleOnly || IsWindowVisible(window))) {
        args->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindProgramWindow(const Program* program, const char* caption, bool visibleOnly) {
    FindArgs args = {program->process.dwProcessId, caption, visibleOnly, 0};
    EnumWindows(FindOne, (LPARAM)&args);
    return args.found;
}

bool StartProgram(Program* program, const std::string& exe, const char* caption) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string path = WindowsPath(exe);
    std::string commandLine = "\"" + path + "\"";
    // Wine 8 now and then fails a start with an internal error (1359): tried once more, and said.
    for (int attempt = 0;
         !CreateProcessA(path.c_str(), &commandLine[0], 0, 0, FALSE, 0, 0, 0, &startup, &program->process); ++attempt) {
        printf("  start %s: error %lu\n", path.c_str(), GetLastError());
        if (attempt == 1) return Check(false, "start " + path);
    }
    return WaitFor(std::string(caption) + " on screen", 20000, [&] {
        program->dialog = FindProgramWindow(program, caption, true);
        return program->dialog != 0;
    });
}

int WaitForExit(Program* program, DWORD timeoutMs) {
    if (!program->process.hProcess) return -1;
    if (WaitForSingleObject(program->process.hProcess, timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(program->process.hProcess, &code);
    CloseHandle(program->process.hProcess);
    CloseHandle(program->process.hThread);
    program->process = PROCESS_INFORMATION();
    return (int)code;
}

void KillProgram(Program* program) {
    if (!program->process.hProcess) return;
    TerminateProcess(program->process.hProcess, 99);
    WaitForExit(program, 5000);
}

void Foreground(HWND window) {
    SetForegroundWindow(window);
    WaitFor("the window in the foreground", 3000, [&] { return GetForegroundWindow() == window; });
}

static void SendKey(WORD vk, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = (WORD)MapVirtualKeyA(vk, 0);
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
}

void Press(WORD vk) {
    SendKey(vk, false);
    SendKey(vk, true);
}

void Alt(char letter) {
    SendKey(VK_MENU, false);
    Press((WORD)toupper((unsigned char)letter));
    SendKey(VK_MENU, true);
}

void Chord(WORD modifier, WORD vk, bool extended) {
    INPUT input[4] = {};
    WORD keys[4] = {modifier, vk, vk, modifier};
    for (int i = 0; i < 4; ++i) {
        input[i].type = INPUT_KEYBOARD;
        input[i].ki.wVk = keys[i];
        input[i].ki.dwFlags =
            (i >= 2 ? KEYEVENTF_KEYUP : 0) | (extended && (i == 1 || i == 2) ? KEYEVENTF_EXTENDEDKEY : 0);
    }
    SendInput(4, input, sizeof input[0]);
}

void Type(const char* text) {
    for (; *text; ++text) {
        SHORT scan = VkKeyScanA(*text);
        bool shift = (scan >> 8) & 1;
        if (shift) SendKey(VK_SHIFT, false);
        Press((WORD)(scan & 0xFF));
        if (shift) SendKey(VK_SHIFT, true);
    }
}

static void MouseButton(DWORD flags) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

static void MoveMouse(int x, int y) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof input);
}

void Click(int x, int y, bool right) {
    MoveMouse(x, y);
    MouseButton(right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
    MouseButton(right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
}

void DoubleClick(int x, int y) {
    Click(x, y);
    Click(x, y);
}

int FocusedControl(HWND dialog) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, 0), &info) || !info.hwndFocus) return 0;
    // The edit of a combo box, or the combo inside a ComboBoxEx32, stands for its control.
    HWND focus = info.hwndFocus;
    while (focus && GetParent(focus) != dialog) focus = GetParent(focus);
    return focus ? GetDlgCtrlID(focus) : 0;
}

std::string ControlText(HWND dialog, int id) {
    char text[512] = "";
    SendMessageA(GetDlgItem(dialog, id), WM_GETTEXT, sizeof text, (LPARAM)text);
    return text;
}

POINT TrayIconCentre() {
    // The first icon's slot: 20 px wide at the right end of the bottom strip, the icon at +2,+2.
    POINT p = {GetSystemMetrics(SM_CXSCREEN) - 20 + 2 + 7, GetSystemMetrics(SM_CYSCREEN) - 20 + 2 + 7};
    return p;
}

static COLORREF TrayPixel() {
    POINT p = TrayIconCentre();
    HDC screen = GetDC(0);
    COLORREF colour = GetPixel(screen, p.x, p.y);
    ReleaseDC(0, screen);
    return colour;
}

std::string TrayColour() {
    switch (TrayPixel()) {
    case RGB(255, 255, 0): return "yellow";
    case RGB(0, 255, 0): return "green";
    case RGB(255, 0, 0): return "red";
    case RGB(255, 255, 255): return "blank";
    default: {
        char hex[16];
        snprintf(hex, sizeof hex, "#%06lx", (unsigned long)TrayPixel());
        return hex;
    }
    }
}

int MeasureFlashPhase(const char* colour, DWORD forMs) {
    std::vector<DWORD> changes;
    DWORD start = GetTickCount();
    bool last = TrayColour() == colour;
    while (GetTickCount() - start < forMs) {
        bool now = TrayColour() == colour;
        if (now != last) changes.push_back(GetTickCount());
        last = now;
        Sleep(5);  // sampling interval
    }
    if (changes.size() < 3) return 0;
    return (int)((changes.back() - changes.front()) / (changes.size() - 1));
}

static BOOL CALLBACK FindTooltip(HWND window, LPARAM param) {
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (strcmp(cls, "tooltips_class32") == 0 && IsWindowVisible(window)) {
        char text[128] = "";
        SendMessageA(window, WM_GETTEXT, sizeof text, (LPARAM)text);
        if (text[0]) {
            *(std::string*)param = text;
            return FALSE;
        }
    }
    return TRUE;
}

std::string ReadTrayTooltip() {
    std::string text;
    // Away first, so that a tooltip still up from before closes.
    MoveMouse(400, 300);
    WaitFor("no tooltip shown", 3000, [&] {
        text.clear();
        EnumWindows(FindTooltip, (LPARAM)&text);
        return text.empty();
    });
    // Glide onto the icon as a hand would, then rest: each move restarts the tooltip's delay.
    POINT icon = TrayIconCentre();
    for (int step = 20; step >= 0; --step) {
        MoveMouse(icon.x - step, icon.y);
        Sleep(30);  // the pace of the glide
    }
    WaitFor("the tooltip", 4000, [&] {
        EnumWindows(FindTooltip, (LPARAM)&text);
        return !text.empty();
    });
    MoveMouse(400, 300);
    return text;
}

bool AnswerMessageBox(const Program* program, const char* caption, char key, std::string* text) {
    HWND box = 0;
    if (!WaitFor(std::string("the message box \"") + caption + "\"", 5000, [&] {
            box = FindProgramWindow(program, caption, true);
            return box != 0;
        }))
        return false;
    if (text) *text = ControlText(box, 0xFFFF);
    Foreground(box);
    Press((WORD)toupper((unsigned char)key));
    return WaitFor(std::string("the message box \"") + caption + "\" to close", 5000,
                   [&] { return !IsWindow(box) || !IsWindowVisible(box); });
}

static const char SettingsKey[] = "Software\\Harkwin";

void DeleteSettings() { RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKey); }

void WriteSetting(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, 0, 0, KEY_WRITE, 0, &key, 0) != ERROR_SUCCESS) {
        Check(false, "create the settings key");
        return;
    }
    RegSetValueExA(key, name, 0, type, (const BYTE*)data, size);
    RegCloseKey(key);
}

void WriteDwordSetting(const char* name, DWORD value) { WriteSetting(name, REG_DWORD, &value, 4); }

bool ReadSetting(const char* name, DWORD* type, std::string* data) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    char buffer[1024];
    DWORD size = sizeof buffer;
    bool ok = RegQueryValueExA(key, name, 0, type, (BYTE*)buffer, &size) == ERROR_SUCCESS;
    if (ok) data->assign(buffer, size);
    RegCloseKey(key);
    return ok;
}

bool OpenListener(Listener* listener, u_short port) {
    listener->socket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    address.sin_port = htons(port);
    int length = sizeof address;
    BOOL reuse = TRUE;
    setsockopt(listener->socket, SOL_SOCKET, SO_REUSEADDR, (const char*)&reuse, sizeof reuse);
    if (bind(listener->socket, (sockaddr*)&address, sizeof address) != 0 || listen(listener->socket, 16) != 0 ||
        getsockname(listener->socket, (sockaddr*)&address, &length) != 0)
        return Check(false, "a loopback listener: error " + std::to_string(WSAGetLastError()));
    listener->port = ntohs(address.sin_port);
    return true;
}

void CloseListener(Listener* listener) {
    if (listener->socket != INVALID_SOCKET) closesocket(listener->socket);
    listener->socket = INVALID_SOCKET;
}

static bool Readable(SOCKET s, DWORD timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait = {(long)(timeoutMs / 1000), (long)(timeoutMs % 1000) * 1000};
    return select(0, &set, 0, 0, &wait) == 1;
}

bool AcceptClosedWithoutData(Listener* listener, DWORD timeoutMs) {
    if (!Readable(listener->socket, timeoutMs)) return false;
    SOCKET peer = accept(listener->socket, 0, 0);
    if (peer == INVALID_SOCKET) return false;
    char byte;
    bool closed = Readable(peer, 2000) && recv(peer, &byte, 1, 0) == 0;
    closesocket(peer);
    return closed;
}

static BITMAPINFOHEADER ScreenHeader(RECT area) {
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = area.right - area.left;
    header.biHeight = area.bottom - area.top;
    header.biPlanes = 1;
    header.biBitCount = 24;
    return header;
}

std::vector<char> ReadScreen(RECT area) {
    BITMAPINFOHEADER header = ScreenHeader(area);
    int width = header.biWidth, height = header.biHeight;
    int stride = (width * 3 + 3) & ~3;
    std::vector<char> pixels((size_t)stride * height);
    HDC screen = GetDC(0);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, old);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), (BITMAPINFO*)&header, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(0, screen);
    return pixels;
}

bool SaveScreen(const std::string& path, RECT area) {
    BITMAPINFOHEADER header = ScreenHeader(area);
    std::vector<char> pixels = ReadScreen(area);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + (DWORD)pixels.size();
    FILE* out = fopen(WindowsPath(path).c_str(), "wb");
    if (!out) return Check(false, "write " + path);
    fwrite(&file, sizeof file, 1, out);
    fwrite(&header, sizeof header, 1, out);
    fwrite(pixels.data(), 1, pixels.size(), out);
    fclose(out);
    return true;
}

bool TrayIs(const char* colour, DWORD timeoutMs) {
    return WaitFor(std::string("the tray icon to show ") + colour, timeoutMs, [&] { return TrayColour() == colour; });
}

bool FocusIs(HWND dialog, int id) {
    return WaitFor("the focus on control " + std::to_string(id), 3000, [&] { return FocusedControl(dialog) == id; });
}

HWND FindMenuWindow() {
    HWND menu = FindWindowA("#32768", 0);
    return menu && IsWindowVisible(menu) ? menu : 0;
}

// Whether the menu's loop runs, so that it takes clicks.
static bool MenuTracked(HWND menu) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return menu && GetGUIThreadInfo(GetWindowThreadProcessId(menu, 0), &info) && (info.flags & GUI_INMENUMODE);
}

bool OpenTrayMenu(RECT* area) {
    POINT icon = TrayIconCentre();
    HWND menu = 0;
    // The menu is drawn before its loop takes the mouse: a click in between would be lost.
    auto tracked = [&] { return MenuTracked(menu = FindMenuWindow()); };
    Click(icon.x, icon.y, true);
    // Under Wine 8 a right click on the icon is now and then lost (once in some 50 journeys);
    // as a user would, click again when no menu came at all.
    if (!Poll(1500, tracked) && !FindWindowA("#32768", 0)) Click(icon.x, icon.y, true);
    if (!WaitFor("the tray menu", 3000, tracked)) return false;
    GetWindowRect(menu, area);
    return true;
}

void ClickMenuRow(const RECT& menu, MenuRow row) {
    Click(menu.left + 20, row == FirstRow ? menu.top + 10 : menu.bottom - 10);
}

bool ChooseFromTrayMenu(MenuRow row) {
    RECT menu;
    if (!OpenTrayMenu(&menu)) return false;
    ClickMenuRow(menu, row);
    return true;
}

void ExpectStored(const std::string& host, DWORD port, DWORD poll, DWORD flash, DWORD behaviors, DWORD resolve) {
    DWORD type = 0;
    std::string data;
    Check(ReadSetting("Host", &type, &data) && type == REG_SZ && data == host + std::string(1, '\0'),
          "the registry holds Host \"" + host + "\" as REG_SZ with its NUL");
    struct Row {
        const char* name;
        DWORD value;
    } rows[] = {{"Port", port}, {"Poll", poll}, {"Flash", flash}, {"Behaviors", behaviors}, {"Resolve", resolve}};
    for (const Row& r : rows) {
        DWORD value = 0;
        bool ok = ReadSetting(r.name, &type, &data) && type == REG_DWORD && data.size() == 4;
        if (ok) memcpy(&value, data.data(), 4);
        Check(ok && value == r.value, std::string("the registry holds ") + r.name + " as a 4-byte REG_DWORD " +
                                          std::to_string(r.value) + ": " + std::to_string(value));
    }
}

// Reads a file of the host system through Wine's view of the root.
std::string HostFile(const std::string& path) {
    std::string out;
    FILE* in = fopen(("Z:" + path).c_str(), "rb");
    if (!in) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, in)) > 0) out.append(buffer, n);
    fclose(in);
    return out;
}

// The host process id of the program: its command line starts with it, its environment names our prefix.
int HostPid(const char* exeName) {
    const char* prefix = getenv("WINEPREFIX");
    std::string mine = std::string("WINEPREFIX=") + (prefix ? prefix : "");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int pid = 0;
    do {
        int candidate = atoi(found.cFileName);
        if (candidate <= 0) continue;
        std::string base = "/proc/" + std::to_string(candidate);
        std::string cmdline = HostFile(base + "/cmdline");
        std::string environment = HostFile(base + "/environ");
        std::string program = cmdline.c_str();  // the first word names the program itself
        size_t name = program.find_last_of("\\/");
        if (lstrcmpiA(program.c_str() + (name == std::string::npos ? 0 : name + 1), exeName) == 0 &&
            environment.find(mine + '\0') != std::string::npos)
            pid = candidate;
    } while (!pid && FindNextFileA(search, &found));
    FindClose(search);
    return pid;
}

int OpenDescriptors(int pid) {
    WIN32_FIND_DATAA found;
    std::string pattern = "Z:\\proc\\" + std::to_string(pid) + "\\fd\\*";
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return -1;
    int count = 0;
    do count += found.cFileName[0] != '.';
    while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

int Threads(int pid) {
    std::string status = HostFile("/proc/" + std::to_string(pid) + "/status");
    size_t at = status.find("Threads:");
    return at == std::string::npos ? -1 : atoi(status.c_str() + at + 8);
}

double CpuMs(int pid) {
    std::string stat = HostFile("/proc/" + std::to_string(pid) + "/stat");
    size_t end = stat.rfind(')');
    if (end == std::string::npos) return -1;
    unsigned long utime = 0, stime = 0;
    // After the command: state, then fields 4..13, then utime and stime (clock ticks of 10 ms).
    if (sscanf(stat.c_str() + end + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
        return -1;
    return (utime + stime) * 10.0;
}

GUITHREADINFO ProgramThreadInfo(const Program* program) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    DWORD thread = program->dialog ? GetWindowThreadProcessId(program->dialog, 0) : program->process.dwThreadId;
    if (!GetGUIThreadInfo(thread, &info)) info.hwndActive = info.hwndFocus = 0;
    return info;
}

std::string ThreadState(const Program* program) {
    GUITHREADINFO t = ProgramThreadInfo(program);
    char text[160];
    snprintf(text, sizeof text, "active %p, focus %p, capture %p, flags %#lx, foreground %p", (void*)t.hwndActive,
             (void*)t.hwndFocus, (void*)t.hwndCapture, (unsigned long)t.flags, (void*)GetForegroundWindow());
    return text;
}

bool QuestionHasKeyboard(const Program* program) {
    HWND box = FindProgramWindow(program, "Question", true);
    GUITHREADINFO info = ProgramThreadInfo(program);
    char cls[32] = "";
    if (info.hwndFocus) GetClassNameA(info.hwndFocus, cls, sizeof cls);
    const DWORD loops = GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE | GUI_INMOVESIZE;
    return box && info.hwndActive == box && GetForegroundWindow() == box && GetParent(info.hwndFocus) == box &&
           lstrcmpiA(cls, "Button") == 0 && !(info.flags & loops) && !info.hwndCapture;
}

void ClickBody(HWND window) {
    RECT r;
    POINT corner = {0, 0};
    if (!window || !GetClientRect(window, &r) || !ClientToScreen(window, &corner)) return;
    Click(corner.x + 12, corner.y + r.bottom / 3);  // beside the icon, above the buttons
}

void ExpectConfirmedExit(Program* program, const std::string& how, bool answerAsBox) {
    if (answerAsBox)
        AnswerMessageBox(program, "Question", 'y');
    else if (WaitFor("the question with the keyboard", 5000, [&] { return QuestionHasKeyboard(program); }))
        Press('Y');
    Check(WaitForExit(program, 10000) == 0, how + " ends the process with code 0");
    std::string colour;
    bool gone = Poll(3000, [&] { return (colour = TrayColour()) != "red" && colour != "green" && colour != "yellow"; });
    Check(gone, "and no icon is left: " + colour);
}

void ExpectBackToStart(int pid, int fds, int threads) {
    int fdsEnd = -1, threadsEnd = -1;
    Poll(5000, [&] { return (fdsEnd = OpenDescriptors(pid)) <= fds && (threadsEnd = Threads(pid)) <= threads; });
    Check(fdsEnd <= fds && threadsEnd <= threads, "descriptors " + std::to_string(fdsEnd) + " (start " +
                                                      std::to_string(fds) + "), threads " + std::to_string(threadsEnd) +
                                                      " (start " + std::to_string(threads) + ")");
}
