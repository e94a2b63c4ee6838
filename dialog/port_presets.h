// The ports offered in the port field's list.
#ifndef HARKWIN_PORT_PRESETS_H
#define HARKWIN_PORT_PRESETS_H

#include <stdint.h>

struct PortPreset {
    uint16_t port;
    const char* label;  // begins with the port in decimal: the field is read back by its digits
};

// Ends with a row whose port is 0.
extern const PortPreset PortPresets[];

// Index of the preset for port, or -1.
int FindPortPreset(uint16_t port);

#endif
