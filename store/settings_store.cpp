#include "store/settings_store.h"

#include "base/host.h"
#include "base/text.h"
#include "store/registry_rules.h"

const char SettingsKey[] = "Software\\Harkwin";

static char* ReadHost(HKEY key) {
    DWORD type = 0, size = 0;
    LONG status = RegQueryValueExA(key, "Host", 0, &type, 0, &size);
    if (!HostTypeAccepted(status == ERROR_SUCCESS, type)) return 0;
    // One spare byte, so a value stored without its NUL is still terminated.
    char* data = (char*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)size + 1);
    if (!data) return 0;
    DWORD read = size;
    status = RegQueryValueExA(key, "Host", 0, &type, (BYTE*)data, &read);
    char* host = 0;
    if (HostTypeAccepted(status == ERROR_SUCCESS, type))
        host = NewHostString(data, TextLength(data, read < size ? read : size));
    HeapFree(GetProcessHeap(), 0, data);
    return host;
}

static DwordQuery QueryDword(HKEY key, const char* name) {
    DwordQuery query;
    ZeroMemory(&query, sizeof query);
    DWORD type = 0, size = sizeof query.bytes;
    query.ok = RegQueryValueExA(key, name, 0, &type, query.bytes, &size) == ERROR_SUCCESS;
    query.type = type;
    query.size = size;
    return query;
}

void LoadSettings(AppState* app) {
    Settings* settings = &app->settings;
    HKEY key = 0;
    char* host = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        SetDefaultValues(settings);
    } else {
        host = ReadHost(key);
        DwordQuery query = QueryDword(key, "Port");
        settings->Port = JudgePort(&query);
        query = QueryDword(key, "Poll");
        settings->Poll = JudgeDword(&query, DefaultPoll);
        query = QueryDword(key, "Flash");
        settings->Flash = JudgeDword(&query, DefaultFlash);
        query = QueryDword(key, "Behaviors");
        UnpackBehaviors(JudgeDword(&query, DefaultBehaviors), settings->Behaviors);
        query = QueryDword(key, "Resolve");
        settings->Resolve = JudgeResolve(&query);
        (void)RegCloseKey(key);  // a read-only key: nothing is lost if closing fails
    }
    // Any failure, memory included, leaves the empty host.
    if (!host) host = NewHostString("", 0);
    if (host)
        ReplaceHost(app, host);
    else
        FreeHost(app);  // a null host reads as the empty one
}

static void SetDword(HKEY key, const char* name, DWORD value) {
    (void)RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE*)&value, sizeof value);  // saving is silent
}

void SaveSettings(const AppState* app) {
    const Settings* settings = &app->settings;
    HKEY key = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, 0, REG_OPTION_NON_VOLATILE, KEY_WRITE, 0, &key, 0) !=
        ERROR_SUCCESS)
        return;
    const char* host = HostText(app);
    (void)RegSetValueExA(key, "Host", 0, REG_SZ, (const BYTE*)host, (DWORD)lstrlenA(host) + 1);
    SetDword(key, "Port", settings->Port);
    SetDword(key, "Poll", settings->Poll);
    SetDword(key, "Flash", settings->Flash);
    SetDword(key, "Behaviors", PackBehaviors(settings->Behaviors));
    SetDword(key, "Resolve", settings->Resolve);
    (void)RegCloseKey(key);  // the writes are done; a failed close loses nothing
}
