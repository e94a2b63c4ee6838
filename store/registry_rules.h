// How a value read from the registry is judged. Each value is judged by itself:
// a malformed one costs only its own field.
#ifndef HARKWIN_REGISTRY_RULES_H
#define HARKWIN_REGISTRY_RULES_H

#include <stdint.h>

const uint32_t RegTypeSz = 1;     // REG_SZ
const uint32_t RegTypeDword = 4;  // REG_DWORD

// The outcome of querying one value into a 4-byte buffer that was zeroed first.
struct DwordQuery {
    bool ok;  // the query succeeded (a value larger than the buffer fails)
    uint32_t type;
    uint32_t size;
    uint8_t bytes[4];
};

uint32_t DwordOf(const DwordQuery* query);  // little-endian

uint16_t JudgePort(const DwordQuery* query);
// Poll, Flash and Behaviors: any value of the right type and size.
uint32_t JudgeDword(const DwordQuery* query, uint32_t fallback);
// Any size is taken; bytes a short value does not supply read as 0.
uint32_t JudgeResolve(const DwordQuery* query);

bool HostTypeAccepted(bool ok, uint32_t type);

#endif
