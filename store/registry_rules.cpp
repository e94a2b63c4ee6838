#include "store/registry_rules.h"

#include "base/model.h"

uint32_t DwordOf(const DwordQuery* query) {
    return (uint32_t)query->bytes[0] | (uint32_t)query->bytes[1] << 8 | (uint32_t)query->bytes[2] << 16 |
           (uint32_t)query->bytes[3] << 24;
}

static bool IsFullDword(const DwordQuery* query) {
    return query->ok && query->type == RegTypeDword && query->size == 4;
}

uint16_t JudgePort(const DwordQuery* query) {
    if (!IsFullDword(query)) return DefaultPort;
    uint32_t value = DwordOf(query);
    return value > 0xFFFF ? DefaultPort : (uint16_t)value;
}

uint32_t JudgeDword(const DwordQuery* query, uint32_t fallback) {
    return IsFullDword(query) ? DwordOf(query) : fallback;
}

uint32_t JudgeResolve(const DwordQuery* query) {
    if (!query->ok || query->type != RegTypeDword) return DefaultResolve;
    uint32_t value = 0;
    for (uint32_t i = 0; i < 4 && i < query->size; ++i) value |= (uint32_t)query->bytes[i] << (8 * i);
    return value <= 1 ? value : DefaultResolve;
}

bool HostTypeAccepted(bool ok, uint32_t type) { return ok && type == RegTypeSz; }
