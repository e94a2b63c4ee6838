// The settings in the current user's registry.
#ifndef HARKWIN_SETTINGS_STORE_H
#define HARKWIN_SETTINGS_STORE_H

#include "base/app_state.h"

extern const char SettingsKey[];

// Never fails: a missing key or a malformed value gives that field's default.
void LoadSettings(AppState* app);
// Silent: a key that cannot be created means nothing is saved.
void SaveSettings(const AppState* app);

#endif
