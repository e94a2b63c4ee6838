// How the dialog's numeric fields are read.
#ifndef HARKWIN_FIELD_RULES_H
#define HARKWIN_FIELD_RULES_H

#include <stdint.h>

// Leading blanks skipped, digits up to the first other character; no digits, a leading
// minus or a number above 4294967295 read as 0.
uint32_t ReadUnsignedField(const char* text);

// A port is taken when 1..65535.
bool ReadPortField(const char* text, uint16_t* port);

#endif
