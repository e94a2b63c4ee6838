// The entry procedure and the dialog procedure that routes every message.
#ifndef HARKWIN_PROGRAM_H
#define HARKWIN_PROGRAM_H

#include "base/app_state.h"

int ProgramMain(HINSTANCE instance);
INT_PTR CALLBACK ConfigDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
