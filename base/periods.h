// Timer periods: the one place a stored interval becomes milliseconds for the timer.
#ifndef HARKWIN_PERIODS_H
#define HARKWIN_PERIODS_H

#include <stdint.h>

// The platform's largest timer period (USER_TIMER_MAXIMUM).
const uint32_t TimerPeriodMax = 0x7FFFFFFF;

// A zero interval (hand-edited registry) would make the timer fire every 10 ms:
// it falls back to the field's default instead.
uint32_t PollPeriodMs(uint32_t pollSeconds);
uint32_t FlashPeriodMs(uint32_t flashMs);

#endif
