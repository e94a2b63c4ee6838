#include <gtest/gtest.h>

#include "tests/program/fixture.h"

// The tray exists only once Wine's shell desktop is up.
static bool WaitForTray() {
    for (int i = 0; i < 300; ++i) {
        if (FindWindowA("Shell_TrayWnd", 0)) return true;
        Sleep(50);  // polling the shell's start, with a deadline
    }
    return false;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_USEREX_CLASSES};
    InitCommonControlsEx(&controls);
    WSADATA winsock;
    if (WSAStartup(0x0101, &winsock) != 0 || !WaitForTray()) {
        fprintf(stderr, "no Winsock or no tray: is this the shell desktop?\n");
        return 2;
    }
    int result = RUN_ALL_TESTS();
    WSACleanup();
    return result;
}
