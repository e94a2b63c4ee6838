#include "tray/flash_rules.h"

FlashTimerAction DecideFlashTimer(bool oldFlashes, bool newFlashes, bool force) {
    FlashTimerAction action;
    action.kill = (oldFlashes || force) && !newFlashes;
    action.start = (!oldFlashes || force) && newFlashes;
    return action;
}
