// Feeds the registry acceptance rules arbitrary stored values: for each of the six, whether it
// is present, its type, its size and its bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/model.h"
#include "base/text.h"
#include "store/registry_rules.h"

namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    uint8_t Byte() { return size ? (--size, *data++) : 0; }
    uint32_t Word() { return Byte() | Byte() << 8 | Byte() << 16 | (uint32_t)Byte() << 24; }
};

// What querying a stored value into a zeroed 4-byte buffer gives: larger values do not fit.
DwordQuery Query(Reader* in) {
    DwordQuery q = {};
    bool present = in->Byte() & 1;
    q.type = in->Byte() % 12;
    uint32_t stored = in->Byte() % 9;
    for (uint32_t i = 0; i < stored; ++i) {
        uint8_t b = in->Byte();
        if (i < 4) q.bytes[i] = b;
    }
    q.ok = present && stored <= 4;
    q.size = q.ok ? stored : 0;
    if (!q.ok) memset(q.bytes, 0, sizeof q.bytes);
    return q;
}

[[noreturn]] void Fail() { abort(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in = {data, size};
    // Host: any type, any bytes, terminated or not.
    bool hostPresent = in.Byte() & 1;
    uint32_t hostType = in.Byte() % 12;
    size_t hostSize = in.Byte() * 4u % 700;
    std::vector<char> host(hostSize);
    for (char& c : host) c = (char)in.Byte();
    if (HostTypeAccepted(hostPresent, hostType)) {
        size_t length = TextLength(host.data(), host.size());
        if (length > host.size() || (length && memchr(host.data(), 0, length))) Fail();
        std::vector<char> copy(length + 1);
        if (CopyBounded(copy.data(), copy.size(), host.data()) > length) Fail();
    }

    DwordQuery port = Query(&in), poll = Query(&in), flash = Query(&in), behaviors = Query(&in), resolve = Query(&in);
    Settings s = {};
    s.Port = JudgePort(&port);
    s.Poll = JudgeDword(&poll, DefaultPoll);
    s.Flash = JudgeDword(&flash, DefaultFlash);
    UnpackBehaviors(JudgeDword(&behaviors, DefaultBehaviors), s.Behaviors);
    s.Resolve = JudgeResolve(&resolve);
    if (s.Resolve > 1) Fail();
    if (!(port.ok && port.type == RegTypeDword && port.size == 4) && s.Port != DefaultPort) Fail();
    for (ProbeStatus st = 0; st < StatusCount; ++st) {
        int icon = StatusIconId(&s, st);
        bool known = false;
        for (unsigned i = 0; i < PaletteSize; ++i) known = known || Palette[i].iconId == icon;
        if (!known) Fail();
        (void)StatusFlashes(&s, st);
    }
    if (PackBehaviors(s.Behaviors) != JudgeDword(&behaviors, DefaultBehaviors)) Fail();
    return 0;
}
