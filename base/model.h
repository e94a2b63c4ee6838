// The settings and status model shared by every part of the program.
#ifndef HARKWIN_MODEL_H
#define HARKWIN_MODEL_H

#include <stdint.h>

typedef uint32_t ProbeStatus;
enum : ProbeStatus { StatusTrying = 0, StatusOffline = 1, StatusOnline = 2, StatusError = 3, StatusCount = 4 };

// Bits 0-6: colour index into the palette; bit 7: flash.
typedef uint8_t StatusBehavior;
const StatusBehavior BehaviorColourMask = 0x7F;
const StatusBehavior BehaviorFlash = 0x80;

struct ColourPalette {
    const char* name;
    int iconId;
};
const unsigned PaletteSize = 3;
extern const ColourPalette Palette[PaletteSize];

struct Settings {
    char* Host;  // owned heap string; never null once loaded
    uint16_t Port;
    uint32_t Poll;   // seconds
    uint32_t Flash;  // milliseconds
    StatusBehavior Behaviors[StatusCount];
    uint32_t Resolve;
};

const uint16_t DefaultPort = 80;
const uint32_t DefaultPoll = 60;
const uint32_t DefaultFlash = 300;
const uint32_t DefaultBehaviors = 0x82810200;  // byte 0 = Trying
const uint32_t DefaultResolve = 1;

// Every field but Host, which the caller owns and replaces.
void SetDefaultValues(Settings* settings);
void UnpackBehaviors(uint32_t word, StatusBehavior out[StatusCount]);
uint32_t PackBehaviors(const StatusBehavior behaviors[StatusCount]);

// A colour index outside the palette (hand-edited registry) shows as entry 0.
unsigned PaletteIndexOf(StatusBehavior behavior);
int StatusIconId(const Settings* settings, ProbeStatus status);
bool StatusFlashes(const Settings* settings, ProbeStatus status);

#endif
