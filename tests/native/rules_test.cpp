#include <gtest/gtest.h>

#include <cstring>

#include "probe/classify.h"
#include "store/registry_rules.h"
#include "dialog/field_rules.h"
#include "dialog/port_presets.h"

static DwordQuery Query(bool ok, uint32_t type, uint32_t size, uint32_t value) {
    DwordQuery q = {ok, type, size, {}};
    for (uint32_t i = 0; i < 4 && i < size; ++i) q.bytes[i] = uint8_t(value >> (8 * i));
    return q;
}

TEST(RegistryRules, EachValueJudgedByItself) {
    struct Row {
        const char* what;
        DwordQuery q;
        uint16_t port;
        uint32_t dword;
        uint32_t resolve;
    } rows[] = {
        {"good 0", Query(true, RegTypeDword, 4, 0), 0, 0, 0},
        {"good 1", Query(true, RegTypeDword, 4, 1), 1, 1, 1},
        {"port max", Query(true, RegTypeDword, 4, 0xFFFF), 0xFFFF, 0xFFFF, 1},
        {"upper bits", Query(true, RegTypeDword, 4, 0x10050), 80, 0x10050, 1},
        {"resolve 2", Query(true, RegTypeDword, 4, 2), 2, 2, 1},
        {"all ones", Query(true, RegTypeDword, 4, 0xFFFFFFFF), 80, 0xFFFFFFFF, 1},
        {"failed query", Query(false, RegTypeDword, 4, 5), 80, 777, 1},
        {"string type", Query(true, RegTypeSz, 4, 5), 80, 777, 1},
        {"binary type", Query(true, 3, 4, 0), 80, 777, 1},
        {"short 2 bytes", Query(true, RegTypeDword, 2, 0), 80, 777, 0},
        {"short, 1 byte of 1", Query(true, RegTypeDword, 1, 1), 80, 777, 1},
        {"empty", Query(true, RegTypeDword, 0, 0), 80, 777, 0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.port, JudgePort(&r.q)) << r.what;
        EXPECT_EQ(r.dword, JudgeDword(&r.q, 777)) << r.what;
        EXPECT_EQ(r.resolve, JudgeResolve(&r.q)) << r.what;
    }
    // Bytes beyond a short value's size are not read, whatever the buffer holds.
    DwordQuery dirty = {true, RegTypeDword, 1, {0, 0xFF, 0xFF, 0xFF}};
    EXPECT_EQ(0u, JudgeResolve(&dirty));
    EXPECT_TRUE(HostTypeAccepted(true, RegTypeSz));
    EXPECT_FALSE(HostTypeAccepted(false, RegTypeSz));
    EXPECT_FALSE(HostTypeAccepted(true, 2));  // REG_EXPAND_SZ
    EXPECT_FALSE(HostTypeAccepted(true, RegTypeDword));
}

TEST(Classify, ConnectResults) {
    struct Row {
        uint32_t error;
        ProbeStatus status;
        const char* message;
        bool answer;
    } rows[] = {
        {0, StatusOnline, "The connection has been accepted.", false},
        {10051, StatusOffline, "The network is unreachable at this time.", true},
        {10060, StatusOffline, "The connection timed out.", true},
        {10061, StatusOffline, "The connection attempt was rejected.", true},
        {10035, StatusError, "An unexpected Winsock error occured!", false},
        {10050, StatusError, "An unexpected Winsock error occured!", false},
        {65535, StatusError, "An unexpected Winsock error occured!", false},
    };
    for (const Row& r : rows) {
        ProbeOutcome o = ClassifyConnect(r.error);
        EXPECT_EQ(r.status, o.status) << r.error;
        EXPECT_STREQ(r.message, o.message) << r.error;
        EXPECT_EQ(r.answer, IsConnectAnswer(r.error)) << r.error;
        EXPECT_LE(strlen(o.message), 63u);
    }
}

TEST(Classify, LookupReplies) {
    struct Row {
        uint32_t error;
        ProbeStatus status;
        const char* message;
    } rows[] = {
        {11001, StatusOffline, "The host was not found by the DNS server."},
        {11002, StatusOffline, "A recoverable error occured, trying again later."},
        {11003, StatusOffline, "A non-recoverable error occured, trying again later anyway."},
        {11004, StatusOffline, "The host doesn't appear to have an IPv4 DNS record."},
        {10055, StatusError, "An unexpected Winsock/DNS error occured!"},
        {11005, StatusError, "An unexpected Winsock/DNS error occured!"},
    };
    for (const Row& r : rows) {
        ProbeOutcome o = ClassifyLookup(r.error);
        EXPECT_EQ(r.status, o.status) << r.error;
        EXPECT_STREQ(r.message, o.message) << r.error;
        EXPECT_LE(strlen(o.message), 63u);
    }
    for (const char* m : {MsgTrying, MsgSocketFailed, MsgLookupFailed, MsgSelectFailed, MsgConnectFailed})
        EXPECT_LE(strlen(m), 63u) << m;
}

TEST(FieldRules, NumbersReadAsTheDialogReadsThem) {
    struct Row {
        const char* text;
        uint32_t value;
        bool port;
    } rows[] = {
        {"80", 80, true},
        {"   80", 80, true},
        {"\t7", 7, true},
        {"80 (HTTP)", 80, true},
        {"110 (POP3)", 110, true},
        {"12abc", 12, true},
        {"-5", 0, false},
        {"+5", 0, false},
        {"abc", 0, false},
        {"", 0, false},
        {"0", 0, false},
        {"00000000000000000000000000001", 1, true},
        {"65535", 65535, true},
        {"65536", 65536, false},
        {"4294967295", 4294967295u, false},
        {"4294967296", 0, false},
        {"99999999999999999999", 0, false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.value, ReadUnsignedField(r.text)) << '"' << r.text << '"';
        uint16_t port = 4321;
        EXPECT_EQ(r.port, ReadPortField(r.text, &port)) << '"' << r.text << '"';
        EXPECT_EQ(r.port ? uint16_t(r.value) : 4321, port) << '"' << r.text << '"';
    }
    EXPECT_EQ(0u, ReadUnsignedField(nullptr));
}

TEST(PortPresets, TableOrderAndLabelsThatReadBackAsTheirPort) {
    const uint16_t ports[] = {21, 22, 23, 25, 80, 110};
    int n = 0;
    for (; PortPresets[n].port != 0; ++n) {
        ASSERT_LT(n, 6);
        EXPECT_EQ(ports[n], PortPresets[n].port);
        EXPECT_EQ(PortPresets[n].port, ReadUnsignedField(PortPresets[n].label)) << PortPresets[n].label;
        EXPECT_EQ(n, FindPortPreset(ports[n]));
    }
    EXPECT_EQ(6, n);
    EXPECT_STREQ("21 (FTP)", PortPresets[0].label);
    EXPECT_STREQ("110 (POP3)", PortPresets[5].label);
    EXPECT_EQ(-1, FindPortPreset(8080));
    EXPECT_EQ(-1, FindPortPreset(0));
}
