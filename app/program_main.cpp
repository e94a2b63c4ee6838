#include "app/program.h"

#include "base/resource.h"
#include "tray/status.h"

AppState g_app;

int ProgramMain(HINSTANCE instance) {
    g_app.instance = instance;
    INITCOMMONCONTROLSEX controls = {8, ICC_USEREX_CLASSES};
    (void)InitCommonControlsEx(&controls);  // without it the dialog fails to open and the exit code is -1
    WSADATA winsock;
    if (WSAStartup(0x0101, &winsock) != 0) {
        (void)MessageBoxA(0, "Error starting Winsock!", 0, MB_ICONERROR);  // the answer is always OK
        return 1;
    }
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_CONFIG), 0, ConfigDialogProc, 0);
    // A quit that another program posts ends the dialog's loop without a question: the exit
    // sequence never ran, but no icon may stay behind.
    if (!g_app.dispatch.ending) DeleteTrayIcon(&g_app);
    (void)WSACleanup();  // the process ends next
    return (int)result;
}
