// Replacing the one heap string of the settings.
#ifndef HARKWIN_HOST_H
#define HARKWIN_HOST_H

#include "base/app_state.h"

// A heap copy of length bytes of text, terminated; null when memory is short.
char* NewHostString(const char* text, size_t length);
// Takes ownership of host and frees the old one; true when the text differs from the old one
// (byte for byte: a locale's rules may call two different names equal).
bool ReplaceHost(AppState* app, char* host);
void FreeHost(AppState* app);
// Host as text; empty while no host could be allocated.
const char* HostText(const AppState* app);

#endif
