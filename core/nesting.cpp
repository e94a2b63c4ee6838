#include "core/nesting.h"

bool AllowNestedEvents(AppState* app) {
    bool deferring = app->deferring;
    app->deferring = false;
    return deferring;
}

void EndNestedEvents(AppState* app, bool deferring) { app->deferring = deferring; }

void SendToSelf(AppState* app, UINT message, WPARAM wParam, LPARAM lParam) {
    bool deferring = AllowNestedEvents(app);
    (void)SendMessageA(app->window, message, wParam, lParam);  // the result of our own handlers
    EndNestedEvents(app, deferring);
}

bool LoopOfItsOwnOpen(const AppState* app) { return app->trackingMenu || app->menuLoops > 0 || app->systemLoops > 0; }
