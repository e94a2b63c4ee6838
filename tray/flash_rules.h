// When a status change starts or stops the flash timer.
#ifndef HARKWIN_FLASH_RULES_H
#define HARKWIN_FLASH_RULES_H

struct FlashTimerAction {
    bool kill;
    bool start;  // set the timer and post one tick at once, so flashing begins hidden
};

// Between two flashing statuses the timer keeps its rhythm; force restarts or stops it.
FlashTimerAction DecideFlashTimer(bool oldFlashes, bool newFlashes, bool force);

#endif
