// Feeds the dialog's field reading and the tooltip and host copies arbitrary text of any length.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/periods.h"
#include "base/text.h"
#include "dialog/field_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // As a control gives it: terminated at the first NUL.
    std::string text((const char*)data, size);
    text = text.c_str();
    uint32_t value = ReadUnsignedField(text.c_str());

    // The same reading done the slow way: blanks, then digits; no overflow past 32 bits.
    size_t i = text.find_first_not_of(" \t");
    unsigned long long expected = 0;
    bool overflow = false;
    for (; i != std::string::npos && i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        expected = expected * 10 + (unsigned)(text[i] - '0');
        if (expected > 0xFFFFFFFFull) {
            overflow = true;
            break;
        }
    }
    if (value != (overflow ? 0 : expected)) abort();

    uint16_t port = 0;
    bool taken = ReadPortField(text.c_str(), &port);
    if (taken != (value >= 1 && value <= 65535) || (taken && port != value)) abort();
    if (PollPeriodMs(value) == 0 || PollPeriodMs(value) > TimerPeriodMax) abort();
    if (FlashPeriodMs(value) == 0 || FlashPeriodMs(value) > TimerPeriodMax) abort();

    char tip[64];
    size_t copied = CopyBounded(tip, sizeof tip, text.c_str());
    if (copied != std::min<size_t>(text.size(), 63) || strlen(tip) != copied) abort();
    if (TextLength((const char*)data, size) != text.size()) abort();
    return 0;
}
