#include "dialog/field_rules.h"

uint32_t ReadUnsignedField(const char* text) {
    if (!text) return 0;
    while (*text == ' ' || *text == '\t') ++text;
    uint64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (uint64_t)(*text - '0');
        if (value > 0xFFFFFFFFu) return 0;
    }
    return (uint32_t)value;
}

bool ReadPortField(const char* text, uint16_t* port) {
    uint32_t value = ReadUnsignedField(text);
    if (value == 0 || value > 0xFFFF) return false;
    *port = (uint16_t)value;
    return true;
}
