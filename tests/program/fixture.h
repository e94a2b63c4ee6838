// The program's real dialog, created from the real template on Wine's real desktop.
#ifndef HARKWIN_FIXTURE_H
#define HARKWIN_FIXTURE_H

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/program.h"
#include "tests/program/spy_control.h"
#include "base/resource.h"

// Dispatches messages until done() holds or the deadline passes; says whether it held.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);
// Dispatches what is queued now, and what arrives within ms.
void PumpFor(DWORD ms);

void DeleteSettingsKey();
void WriteString(const char* name, const char* text);
// A loopback listener with its port; the port of a closed one refuses.
SOCKET OpenListener(u_short* port);
u_short ClosedPort();
void WriteDword(const char* name, DWORD value);

// A state record as at start-up, spies reset and no stored settings.
void ResetProgram();
// Releases what the dialog holds, as the exit sequence would; CloseProgram also destroys it.
void ReleaseProgram(HWND window);
void CloseProgram(HWND window);

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Opens the dialog modelessly with ConfigDialogProc; the spies see its initialisation.
    HWND OpenDialog();
    HWND Item(int id) const { return GetDlgItem(window, id); }
    LRESULT Command(int id, WORD code = BN_CLICKED) {
        return SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, code), (LPARAM)Item(id));
    }
    // One tick of the poll timer, as the timer delivers it.
    void Tick() { SendMessageA(window, WM_TIMER, IDT_POLL, 0); }
    // Ticks and waits until the probe has an answer.
    bool ProbeOnce(DWORD timeoutMs = 5000) {
        Tick();
        return PumpUntil([] { return g_app.currentStatus != StatusTrying; }, timeoutMs);
    }
    std::string Tooltip() const { return g_app.trayIcon.szTip; }
    HWND window = 0;
};

#endif
