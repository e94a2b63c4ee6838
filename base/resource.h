// Identifiers shared by the resource script and the C++ code: each is defined here once.
#ifndef HARKWIN_RESOURCE_H
#define HARKWIN_RESOURCE_H

#define IDI_APP 100
#define IDI_GREEN 101
#define IDI_RED 102
#define IDD_CONFIG 103
#define IDI_YELLOW 104
#define IDR_TRAYMENU 105

#define IDC_APPLY 3
#define IDC_EXIT 4
#define IDC_HOST 1000
#define IDC_RESOLVE 1004
#define IDC_PORT 1006
#define IDC_POLL 1007
#define IDC_FLASH_INTERVAL 1008
#define IDC_FLASH_TRYING 1011
#define IDC_FLASH_OFFLINE 1013
#define IDC_FLASH_ONLINE 1015
#define IDC_COLOUR_TRYING 1017
#define IDC_FLASH_ERROR 1019
#define IDC_COLOUR_OFFLINE 1020
#define IDC_COLOUR_ONLINE 1021
#define IDC_COLOUR_ERROR 1022

#define ID_TRAY_CONFIGURATION 40001
#define ID_TRAY_EXIT 40002

#define IDT_POLL 1
#define IDT_FLASH 2
#define IDT_NOTED 3  // runs what waited for a loop the platform opened (a field's context menu)

// The one private message: connect notices, lookup replies and tray mouse events.
#define WM_APP_NOTIFY WM_USER

#endif
