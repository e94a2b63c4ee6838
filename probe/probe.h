// The poll cycle: resolve, connect without blocking, classify the answer.
#ifndef HARKWIN_PROBE_H
#define HARKWIN_PROBE_H

#include "core/app_state.h"

void StartProbe(AppState* app);
void BeginConnect(AppState* app);
void OnConnectResult(AppState* app, LPARAM lParam);
void OnLookupResult(AppState* app, LPARAM lParam);

// Frees the buffer of an abandoned lookup whose reply this is; false when task is unknown.
bool ReleaseLookup(AppState* app, WPARAM task);
// The next probe resolves Host again; the pending lookup's reply will change nothing.
void ForgetTarget(AppState* app);
void CloseProbeSocket(AppState* app);

#endif
