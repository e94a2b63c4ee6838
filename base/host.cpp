#include "base/host.h"

#include <string.h>

char* NewHostString(const char* text, size_t length) {
    char* host = (char*)HeapAlloc(GetProcessHeap(), 0, length + 1);
    if (!host) return 0;
    if (length) CopyMemory(host, text, length);
    host[length] = '\0';
    return host;
}

bool ReplaceHost(AppState* app, char* host) {
    const char* old = app->settings.Host;
    bool changed = !old || strcmp(old, host) != 0;
    FreeHost(app);
    app->settings.Host = host;
    return changed;
}

void FreeHost(AppState* app) {
    if (app->settings.Host) HeapFree(GetProcessHeap(), 0, app->settings.Host);
    app->settings.Host = 0;
}

const char* HostText(const AppState* app) { return app->settings.Host ? app->settings.Host : ""; }
