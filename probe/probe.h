// The poll cycle: resolve, connect without blocking, classify the answer.
#ifndef HARKWIN_PROBE_H
#define HARKWIN_PROBE_H

#include "base/app_state.h"

void StartProbe(AppState* app);
void BeginConnect(AppState* app);
void OnConnectResult(AppState* app, LPARAM lParam);
void OnLookupResult(AppState* app, LPARAM lParam);

// Frees the buffer of an abandoned lookup whose reply this is; false when task is unknown.
bool ReleaseLookup(AppState* app, WPARAM task);
// Forgets the cached address and abandons the pending lookup, whose reply will change
// nothing: the next probe resolves Host again.
void AbandonTarget(AppState* app);
void CloseProbeSocket(AppState* app);

#endif
