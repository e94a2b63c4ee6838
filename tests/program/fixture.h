// The program's real dialog, created from the real template on Wine's real desktop.
#ifndef HARKWIN_FIXTURE_H
#define HARKWIN_FIXTURE_H

#include <gtest/gtest.h>

#include <functional>

#include "core/program.h"
#include "tests/program/spy_control.h"
#include "ui/resource.h"

// Dispatches messages until done() holds or the deadline passes; says whether it held.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);
// Dispatches what is queued now, and what arrives within ms.
void PumpFor(DWORD ms);

void DeleteSettingsKey();
void WriteDword(const char* name, DWORD value);

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
    HWND window = 0;
};

#endif
