#include "dialog/config_dialog.h"

#include "base/host.h"
#include "base/periods.h"
#include "probe/probe.h"
#include "store/settings_store.h"
#include "tray/status.h"
#include "tray/foreground.h"
#include "dialog/field_rules.h"
#include "dialog/port_presets.h"
#include "base/resource.h"

static const int ColourPickers[StatusCount] = {IDC_COLOUR_TRYING, IDC_COLOUR_OFFLINE, IDC_COLOUR_ONLINE,
                                               IDC_COLOUR_ERROR};
static const int FlashBoxes[StatusCount] = {IDC_FLASH_TRYING, IDC_FLASH_OFFLINE, IDC_FLASH_ONLINE, IDC_FLASH_ERROR};

static HWND Control(AppState* app, int id) { return GetDlgItem(app->window, id); }

// As the dialog manager moves it, so the default-button highlight stays right.
static void FocusDefaultButton(AppState* app) {
    (void)SendMessageA(app->window, WM_NEXTDLGCTL, (WPARAM)Control(app, IDOK), TRUE);
}

void EnableApply(AppState* app, bool enable) {
    HWND apply = Control(app, IDC_APPLY);
    // A disabled window loses the focus to nothing and the keyboard goes dead; OK takes it,
    // not the next control in Tab order ("E&xit"), so Enter still means OK.
    if (!enable && GetFocus() == apply) FocusDefaultButton(app);
    (void)EnableWindow(apply, enable);  // returns the previous state
}

void FillDialogLists(AppState* app) {
    HWND port = Control(app, IDC_PORT);
    for (int i = 0; PortPresets[i].port != 0; ++i) {
        LRESULT item = SendMessageA(port, CB_ADDSTRING, 0, (LPARAM)PortPresets[i].label);
        SendMessageA(port, CB_SETITEMDATA, (WPARAM)item, PortPresets[i].port);
    }
    for (unsigned s = 0; s < StatusCount; ++s)
        SendMessageA(Control(app, ColourPickers[s]), CBEM_SETIMAGELIST, 0, (LPARAM)app->imageList);
    for (unsigned i = 0; i < PaletteSize; ++i) {
        for (unsigned s = 0; s < StatusCount; ++s) {
            COMBOBOXEXITEMA item;
            ZeroMemory(&item, sizeof item);
            item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
            item.iItem = (INT_PTR)i;
            item.pszText = (LPSTR)Palette[i].name;
            item.iImage = (int)i;
            item.iSelectedImage = (int)i;
            SendMessageA(Control(app, ColourPickers[s]), CBEM_INSERTITEMA, 0, (LPARAM)&item);
        }
    }
}

void SettingsToDialog(AppState* app) {
    const Settings* settings = &app->settings;
    SetDlgItemTextA(app->window, IDC_HOST, HostText(app));
    int preset = FindPortPreset(settings->Port);
    if (preset >= 0)
        SendMessageA(Control(app, IDC_PORT), CB_SETCURSEL, (WPARAM)preset, 0);
    else
        SetDlgItemInt(app->window, IDC_PORT, settings->Port, FALSE);
    SetDlgItemInt(app->window, IDC_POLL, settings->Poll, FALSE);
    SetDlgItemInt(app->window, IDC_FLASH_INTERVAL, settings->Flash, FALSE);
    for (unsigned s = 0; s < StatusCount; ++s) {
        // An index beyond the palette selects nothing, whatever the control makes of it.
        unsigned colour = settings->Behaviors[s] & BehaviorColourMask;
        SendMessageA(Control(app, ColourPickers[s]), CB_SETCURSEL, colour < PaletteSize ? colour : (WPARAM)-1, 0);
        CheckDlgButton(app->window, FlashBoxes[s],
                       (settings->Behaviors[s] & BehaviorFlash) ? BST_CHECKED : BST_UNCHECKED);
    }
    CheckDlgButton(app->window, IDC_RESOLVE, settings->Resolve ? BST_CHECKED : BST_UNCHECKED);
}

// The control's whole text on the heap, or null when memory is short.
static char* ReadControlText(AppState* app, int id) {
    HWND control = Control(app, id);
    int length = GetWindowTextLengthA(control);
    if (length < 0) length = 0;
    char* text = (char*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)length + 1);
    if (!text) return 0;
    text[0] = '\0';
    (void)GetWindowTextA(control, text, length + 1);  // an empty read leaves the empty text
    return text;
}

static void FreeText(char* text) {
    if (text) HeapFree(GetProcessHeap(), 0, text);
}

static uint32_t ReadNumberField(AppState* app, int id) {
    char* text = ReadControlText(app, id);
    uint32_t value = ReadUnsignedField(text);
    FreeText(text);
    return value;
}

static bool Refuse(AppState* app, int id) {
    (void)SetFocus(Control(app, id));  // returns the previous focus
    return false;
}

static unsigned SelectedColour(AppState* app, int id) {
    LRESULT index = SendMessageA(Control(app, id), CB_GETCURSEL, 0, 0);
    // No selection (a stored index beyond the palette) is taken as the entry the tray shows.
    return index >= 0 && index < (LRESULT)PaletteSize ? (unsigned)index : 0;
}

bool DialogToSettings(AppState* app, bool* hostChanged) {
    Settings* settings = &app->settings;
    *hostChanged = false;
    char* host = ReadControlText(app, IDC_HOST);
    if (!host || host[0] == '\0') {
        FreeText(host);
        return Refuse(app, IDC_HOST);
    }
    *hostChanged = ReplaceHost(app, host);

    char* portText = ReadControlText(app, IDC_PORT);
    uint16_t port = 0;
    bool portTaken = ReadPortField(portText, &port);
    FreeText(portText);
    if (!portTaken) return Refuse(app, IDC_PORT);
    settings->Port = port;

    uint32_t poll = ReadNumberField(app, IDC_POLL);
    if (poll == 0) return Refuse(app, IDC_POLL);
    settings->Poll = poll;

    uint32_t flash = ReadNumberField(app, IDC_FLASH_INTERVAL);
    if (flash == 0) return Refuse(app, IDC_FLASH_INTERVAL);
    settings->Flash = flash;

    for (unsigned s = 0; s < StatusCount; ++s) {
        bool flashes = IsDlgButtonChecked(app->window, FlashBoxes[s]) == BST_CHECKED;
        settings->Behaviors[s] =
            (StatusBehavior)(SelectedColour(app, ColourPickers[s]) | (flashes ? BehaviorFlash : 0));
    }
    settings->Resolve = IsDlgButtonChecked(app->window, IDC_RESOLVE) == BST_CHECKED ? 1 : 0;
    return true;
}

static void OnApply(AppState* app) {
    bool hostChanged = false;
    bool taken = DialogToSettings(app, &hostChanged);
    if (hostChanged) AbandonTarget(app);
    if (!taken) {
        (void)MessageBeep(0xFFFFFFFF);  // the beep is the only word of the failure
        return;
    }
    // The new colour and flash period at once: forced, a flashing status restarts its timer.
    SetStatus(app, app->currentStatus, 0, true);
    SaveSettings(app);
    EnableApply(app, false);
}

void ShowConfigDialog(AppState* app) {
    SettingsToDialog(app);
    EnableApply(app, false);
    HWND front = FrontWindow(app);
    if (front != app->window) {
        // Showing the dialog the usual way would activate it, disabled, over the box in front.
        (void)ShowWindow(app->window, SW_SHOWNOACTIVATE);  // returns the previous visibility
        BringForward(front);
        return;
    }
    (void)ShowWindow(app->window, SW_SHOW);
    (void)ShowWindow(app->window, SW_SHOWNORMAL);
    BringForward(front);
    // Activation restores only a focus the dialog saved when it was hidden, which it may not
    // have: a dialog without one leaves the keyboard dead.
    if (!IsChild(app->window, GetFocus())) FocusDefaultButton(app);
}

static void OnOk(AppState* app) {
    OnApply(app);
    // Poll and flash periods never wrap or reach the timer as 0 (see PollPeriodMs).
    (void)SetTimer(app->window, IDT_POLL, PollPeriodMs(app->settings.Poll), 0);
    (void)PostMessageA(app->window, WM_TIMER, IDT_POLL, 0);
    (void)ShowWindow(app->window, SW_HIDE);
}

void OnDialogCommand(AppState* app, WPARAM wParam) {
    WORD code = HIWORD(wParam);
    WORD id = LOWORD(wParam);
    switch (code) {
    case BN_CLICKED:
        switch (id) {
        case IDOK: OnOk(app); return;
        case IDCANCEL: (void)ShowWindow(app->window, SW_HIDE); return;
        case IDC_APPLY: OnApply(app); return;
        default: EnableApply(app, true); return;
        }
    case CBN_SELCHANGE:
    case CBN_EDITCHANGE:
    case EN_CHANGE: EnableApply(app, true); return;
    default: return;
    }
}
