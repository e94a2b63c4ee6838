#include "base/periods.h"

#include "base/model.h"

static uint32_t Clamp(uint64_t ms) { return ms > TimerPeriodMax ? TimerPeriodMax : (uint32_t)ms; }

uint32_t PollPeriodMs(uint32_t pollSeconds) {
    if (pollSeconds == 0) pollSeconds = DefaultPoll;
    return Clamp((uint64_t)pollSeconds * 1000u);
}

uint32_t FlashPeriodMs(uint32_t flashMs) {
    if (flashMs == 0) flashMs = DefaultFlash;
    return Clamp(flashMs);
}
