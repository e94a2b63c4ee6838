#include "probe/classify.h"

const char MsgTrying[] = "Trying to connect...";
const char MsgSocketFailed[] = "Error creating socket!";
const char MsgLookupFailed[] = "WSAAsyncGetHostByName() failed!";
const char MsgSelectFailed[] = "WSAAsyncSelect() failed!";
const char MsgConnectFailed[] = "connect() failed!";
const char MsgNoIpv4Record[] = "The host doesn't appear to have an IPv4 DNS record.";

struct OutcomeRow {
    uint32_t error;
    ProbeOutcome outcome;
};

static const OutcomeRow ConnectRows[] = {
    {0, {StatusOnline, "The connection has been accepted."}},
    {10051, {StatusOffline, "The network is unreachable at this time."}},
    {10060, {StatusOffline, "The connection timed out."}},
    {10061, {StatusOffline, "The connection attempt was rejected."}},
};
static const ProbeOutcome ConnectOther = {StatusError, "An unexpected Winsock error occured!"};

static const OutcomeRow LookupRows[] = {
    {11001, {StatusOffline, "The host was not found by the DNS server."}},
    {11002, {StatusOffline, "A recoverable error occured, trying again later."}},
    {11003, {StatusOffline, "A non-recoverable error occured, trying again later anyway."}},
    {11004, {StatusOffline, MsgNoIpv4Record}},
};
static const ProbeOutcome LookupOther = {StatusError, "An unexpected Winsock/DNS error occured!"};

template <unsigned N>
static ProbeOutcome Find(const OutcomeRow (&rows)[N], uint32_t error, ProbeOutcome other) {
    for (unsigned i = 0; i < N; ++i)
        if (rows[i].error == error) return rows[i].outcome;
    return other;
}

ProbeOutcome ClassifyConnect(uint32_t error) { return Find(ConnectRows, error, ConnectOther); }
ProbeOutcome ClassifyLookup(uint32_t error) { return Find(LookupRows, error, LookupOther); }

bool IsConnectAnswer(uint32_t error) { return error != 0 && ClassifyConnect(error).status == StatusOffline; }
