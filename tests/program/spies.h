// The program's platform calls, as the program-test build sees them: each spy records the
// call, may fail it or answer it as a test scripted, and otherwise calls the real function.
#ifndef HARKWIN_SPIES_H
#define HARKWIN_SPIES_H

#include <windows.h>
#include <winsock.h>
#include <commctrl.h>
#include <shellapi.h>

BOOL Spy_Shell_NotifyIconA(DWORD message, PNOTIFYICONDATAA data);
UINT_PTR Spy_SetTimer(HWND window, UINT_PTR id, UINT period, TIMERPROC proc);
BOOL Spy_KillTimer(HWND window, UINT_PTR id);
BOOL Spy_PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int Spy_MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
BOOL Spy_MessageBeep(UINT type);
BOOL Spy_TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND window, LPTPMPARAMS params);
BOOL Spy_EndMenu(void);
BOOL Spy_EndDialog(HWND window, INT_PTR result);
BOOL Spy_DestroyMenu(HMENU menu);
HWND Spy_SetActiveWindow(HWND window);
BOOL Spy_SetForegroundWindow(HWND window);
HICON Spy_LoadIconA(HINSTANCE instance, LPCSTR name);
BOOL Spy_DestroyIcon(HICON icon);
LPVOID Spy_HeapAlloc(HANDLE heap, DWORD flags, SIZE_T size);
LONG Spy_RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR cls, DWORD options, REGSAM access,
                         LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition);
int Spy_WSAStartup(WORD version, LPWSADATA data);
SOCKET Spy_socket(int family, int type, int protocol);
int Spy_connect(SOCKET s, const struct sockaddr* address, int length);
int Spy_shutdown(SOCKET s, int how);
int Spy_closesocket(SOCKET s);
int Spy_WSAAsyncSelect(SOCKET s, HWND window, u_int message, long events);
HANDLE Spy_WSAAsyncGetHostByName(HWND window, u_int message, const char* name, char* buffer, int length);
int Spy_WSACancelAsyncRequest(HANDLE task);
BOOL Spy_GetGUIThreadInfo(DWORD thread, PGUITHREADINFO info);
LRESULT Spy_DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL Spy_ShowWindow(HWND window, int command);
BOOL Spy_PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT remove);

#ifdef HARKWIN_SPIES
#define Shell_NotifyIconA(m, d) Spy_Shell_NotifyIconA(m, d)
#define SetTimer(w, i, p, f) Spy_SetTimer(w, i, p, f)
#define KillTimer(w, i) Spy_KillTimer(w, i)
#define PostMessageA(w, m, wp, lp) Spy_PostMessageA(w, m, wp, lp)
#define MessageBoxA(o, t, c, s) Spy_MessageBoxA(o, t, c, s)
#define MessageBeep(t) Spy_MessageBeep(t)
#define TrackPopupMenuEx(m, f, x, y, w, p) Spy_TrackPopupMenuEx(m, f, x, y, w, p)
#define EndMenu() Spy_EndMenu()
#define EndDialog(w, r) Spy_EndDialog(w, r)
#define DestroyMenu(m) Spy_DestroyMenu(m)
#define SetActiveWindow(w) Spy_SetActiveWindow(w)
#define SetForegroundWindow(w) Spy_SetForegroundWindow(w)
#define LoadIconA(i, n) Spy_LoadIconA(i, n)
#define DestroyIcon(i) Spy_DestroyIcon(i)
#define HeapAlloc(h, f, n) Spy_HeapAlloc(h, f, n)
#define RegCreateKeyExA(k, s, r, c, o, a, sa, res, d) Spy_RegCreateKeyExA(k, s, r, c, o, a, sa, res, d)
#define WSAStartup(v, d) Spy_WSAStartup(v, d)
#define socket(f, t, p) Spy_socket(f, t, p)
#define connect(s, a, l) Spy_connect(s, a, l)
#define shutdown(s, h) Spy_shutdown(s, h)
#define closesocket(s) Spy_closesocket(s)
#define WSAAsyncSelect(s, w, m, e) Spy_WSAAsyncSelect(s, w, m, e)
#define WSAAsyncGetHostByName(w, m, n, b, l) Spy_WSAAsyncGetHostByName(w, m, n, b, l)
#define WSACancelAsyncRequest(t) Spy_WSACancelAsyncRequest(t)
#define GetGUIThreadInfo(t, i) Spy_GetGUIThreadInfo(t, i)
#define DefWindowProcA(w, m, wp, lp) Spy_DefWindowProcA(w, m, wp, lp)
#define PeekMessageA(m, w, f, l, r) Spy_PeekMessageA(m, w, f, l, r)
#define ShowWindow(w, c) Spy_ShowWindow(w, c)
#endif

#endif
