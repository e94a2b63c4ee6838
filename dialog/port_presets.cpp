#include "dialog/port_presets.h"

const PortPreset PortPresets[] = {
    {21, "21 (FTP)"},    {22, "22 (SSH)"}, {23, "23 (Telnet)"}, {25, "25 (SMTP)"}, {80, "80 (HTTP)"},
    {110, "110 (POP3)"}, {0, 0},
};

int FindPortPreset(uint16_t port) {
    for (int i = 0; PortPresets[i].port != 0; ++i)
        if (PortPresets[i].port == port) return i;
    return -1;
}
