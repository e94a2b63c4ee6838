// What the end-to-end driver does as a user would: find windows, type, click, read the screen.
#ifndef HARKWIN_DRIVER_LIB_H
#define HARKWIN_DRIVER_LIB_H

#include <windows.h>
#include <winsock.h>

#include <functional>
#include <string>
#include <vector>

// Checks: each prints a line; the driver ends with the count of both.
bool Check(bool ok, const std::string& what);
int Failures();
void PrintSummary();

// Polls done() every few milliseconds until it holds or the deadline passes; a miss is a failed check.
bool WaitFor(const std::string& what, DWORD timeoutMs, const std::function<bool()>& done);
// The same, where a miss is no failure.
bool Poll(DWORD timeoutMs, const std::function<bool()>& done);

struct Program {
    PROCESS_INFORMATION process = {};
    HWND dialog = 0;
};
std::string WindowsPath(const std::string& unixPath);
// Starts the exe and waits for its window with this caption on screen.
bool StartProgram(Program* program, const std::string& exe, const char* caption = "Harkwin Configuration");
// The exit code, or -1 when the process is still running after timeoutMs.
int WaitForExit(Program* program, DWORD timeoutMs);
void KillProgram(Program* program);
// A top-level window of the program with this caption (the dialog, a message box).
HWND FindProgramWindow(const Program* program, const char* caption, bool visibleOnly);

// The program's thread as the platform reports it: active window, focus, capture, menu and
// move/size flags.
GUITHREADINFO ProgramThreadInfo(const Program* program);
// The same in words, for a failed check.
std::string ThreadState(const Program* program);
// The exit question takes the keys: it is in the foreground and active, one of its buttons has
// the focus, and no menu, move or size loop or mouse capture would take them first.
bool QuestionHasKeyboard(const Program* program);
// A click inside a window's body, clear of its title bar (a click there starts the move loop,
// which takes the keys until the button comes up), as a user brings it to the front.
void ClickBody(HWND window);

// Input, sent to whatever holds the focus, as the keyboard and mouse would.
void Foreground(HWND window);
void Press(WORD vk);
void Alt(char letter);
// A key pressed while a modifier is held; extended for the navigation keys.
void Chord(WORD modifier, WORD vk, bool extended = false);
void Type(const char* text);
void Click(int x, int y, bool right = false);
void DoubleClick(int x, int y);

// The dialog's control that holds the keyboard focus, by identifier; 0 when none.
int FocusedControl(HWND dialog);
std::string ControlText(HWND dialog, int id);

// The tray icon: its slot on screen, the colour of its disc, its tooltip.
POINT TrayIconCentre();
std::string TrayColour();  // "yellow", "green", "red", "blank" or the RGB in hex
// The phase length in ms while the icon alternates between colour and blank; 0 if steady.
int MeasureFlashPhase(const char* colour, DWORD forMs);
std::string ReadTrayTooltip();

bool TrayIs(const char* colour, DWORD timeoutMs);
bool FocusIs(HWND dialog, int id);
// The open pop-up menu (the tray's, or a system menu), or 0.
HWND FindMenuWindow();
// Right-clicks the tray icon (twice when the first brings no menu) and waits until its menu is tracked.
bool OpenTrayMenu(RECT* area);
// A click on the first row of an open menu (the tray's Configuration) or its last (Exit).
enum MenuRow { FirstRow, LastRow };
void ClickMenuRow(const RECT& menu, MenuRow row);
// Opens the tray menu and chooses a row; false when no menu came.
bool ChooseFromTrayMenu(MenuRow row);

// Answers the message box with this caption by pressing a key; false when none came.
bool AnswerMessageBox(const Program* program, const char* caption, char key, std::string* text = 0);
// The exit question, open or coming, answered Y (by AnswerMessageBox, or a plain key once the
// question has the keyboard): the process ends with code 0 and leaves no icon.
void ExpectConfirmedExit(Program* program, const std::string& how, bool answerAsBox = true);
// Descriptors and threads of a host process back to where they started, within 5 s.
void ExpectBackToStart(int pid, int fds, int threads);

// The settings key under the current user.
void DeleteSettings();
void WriteSetting(const char* name, DWORD type, const void* data, DWORD size);
void WriteDwordSetting(const char* name, DWORD value);
bool ReadSetting(const char* name, DWORD* type, std::string* data);
// Checks every stored value, each with its type and size.
void ExpectStored(const std::string& host, DWORD port, DWORD poll, DWORD flash, DWORD behaviors, DWORD resolve);

struct Listener {
    SOCKET socket = INVALID_SOCKET;
    u_short port = 0;
};
bool OpenListener(Listener* listener, u_short port = 0);
void CloseListener(Listener* listener);
// Waits for one connection; tells whether the peer closed it without sending a byte.
bool AcceptClosedWithoutData(Listener* listener, DWORD timeoutMs);

// The host side of the program's process, read through Wine's view of the root.
std::string HostFile(const std::string& path);
// The host process id of the exe started in this prefix (its command line and environment say so).
int HostPid(const char* exeName = "Harkwin.exe");
int OpenDescriptors(int pid);
int Threads(int pid);
// User and system CPU time in ms.
double CpuMs(int pid);

// A screen rectangle's 24-bit pixels, rows bottom-up, each padded to 4 bytes.
std::vector<char> ReadScreen(RECT area);
// Saves a screen rectangle as a 24-bit BMP file (the harness turns it into PNG).
bool SaveScreen(const std::string& path, RECT area);

#endif
