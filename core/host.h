// Replacing the one heap string of the settings.
#ifndef HARKWIN_HOST_H
#define HARKWIN_HOST_H

#include "core/app_state.h"

// A heap copy of length bytes of text, terminated; null when memory is short.
char* NewHostString(const char* text, size_t length);
// Takes ownership of host and frees the old one. A host that differs from the one before
// forgets the cached address and abandons a pending lookup, so the new name is resolved.
void ReplaceHost(AppState* app, char* host);
void FreeHost(AppState* app);
// Host as text; empty while no host could be allocated.
const char* HostText(const AppState* app);

#endif
