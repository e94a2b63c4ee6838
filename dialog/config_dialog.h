// The configuration dialog's behaviour: its lists, showing and taking the settings, its buttons.
#ifndef HARKWIN_CONFIG_DIALOG_H
#define HARKWIN_CONFIG_DIALOG_H

#include "base/app_state.h"

void FillDialogLists(AppState* app);
void SettingsToDialog(AppState* app);
// Takes the fields into the settings in turn; false at the first refused, which takes the
// focus. hostChanged tells whether Host was replaced, even when a later field was refused.
bool DialogToSettings(AppState* app, bool* hostChanged);
void OnDialogCommand(AppState* app, WPARAM wParam);
// Disabling Apply first hands its focus to OK.
void EnableApply(AppState* app, bool enable);
// The show action (a double click on the icon, the menu's Configuration): the dialog with the
// stored settings, in front unless the box it owns is, which keeps the keyboard.
void ShowConfigDialog(AppState* app);

#endif
