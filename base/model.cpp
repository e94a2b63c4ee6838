#include "base/model.h"

#include "base/resource.h"

const ColourPalette Palette[PaletteSize] = {
    {"Yellow", IDI_YELLOW},
    {"Green", IDI_GREEN},
    {"Red", IDI_RED},
};

void SetDefaultValues(Settings* settings) {
    settings->Port = DefaultPort;
    settings->Poll = DefaultPoll;
    settings->Flash = DefaultFlash;
    UnpackBehaviors(DefaultBehaviors, settings->Behaviors);
    settings->Resolve = DefaultResolve;
}

void UnpackBehaviors(uint32_t word, StatusBehavior out[StatusCount]) {
    for (unsigned i = 0; i < StatusCount; ++i) out[i] = (StatusBehavior)(word >> (8 * i));
}

uint32_t PackBehaviors(const StatusBehavior behaviors[StatusCount]) {
    uint32_t word = 0;
    for (unsigned i = 0; i < StatusCount; ++i) word |= (uint32_t)behaviors[i] << (8 * i);
    return word;
}

unsigned PaletteIndexOf(StatusBehavior behavior) {
    unsigned index = behavior & BehaviorColourMask;
    return index < PaletteSize ? index : 0;
}

int StatusIconId(const Settings* settings, ProbeStatus status) {
    return Palette[PaletteIndexOf(settings->Behaviors[status % StatusCount])].iconId;
}

bool StatusFlashes(const Settings* settings, ProbeStatus status) {
    return (settings->Behaviors[status % StatusCount] & BehaviorFlash) != 0;
}
