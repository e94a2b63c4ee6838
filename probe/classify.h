// What a connect result or a lookup reply means for the status, and the tooltip that says so.
#ifndef HARKWIN_CLASSIFY_H
#define HARKWIN_CLASSIFY_H

#include <stdint.h>

#include "base/model.h"

struct ProbeOutcome {
    ProbeStatus status;
    const char* message;
};

ProbeOutcome ClassifyConnect(uint32_t error);
// Error 0 is not an outcome yet (the connect follows); the caller handles it.
ProbeOutcome ClassifyLookup(uint32_t error);
// Refused, timed out or unreachable: some socket layers give these straight from connect.
bool IsConnectAnswer(uint32_t error);

extern const char MsgTrying[];
extern const char MsgSocketFailed[];
extern const char MsgLookupFailed[];
extern const char MsgSelectFailed[];
extern const char MsgConnectFailed[];
extern const char MsgNoIpv4Record[];

#endif
