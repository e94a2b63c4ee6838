// The settings in Wine's real registry.
#include "tests/program/fixture.h"

#include "base/host.h"
#include "store/settings_store.h"

static void WriteRaw(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, 0, 0, KEY_WRITE, 0, &key, 0));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, (const BYTE*)data, size));
    RegCloseKey(key);
}

struct Stored {
    DWORD type, size;
    std::string bytes;
};
static Stored ReadRaw(const char* name) {
    HKEY key;
    Stored out = {0, 0, ""};
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return out;
    char data[512];
    out.size = sizeof data;
    if (RegQueryValueExA(key, name, 0, &out.type, (BYTE*)data, &out.size) == ERROR_SUCCESS)
        out.bytes.assign(data, out.size);
    RegCloseKey(key);
    return out;
}

class StoreTest : public ProgramTest {
protected:
    void TearDown() override {
        FreeHost(&g_app);
        ProgramTest::TearDown();
    }
    Settings& s = g_app.settings;
};

TEST_F(StoreTest, NoKeyGivesEveryDefault) {
    LoadSettings(&g_app);
    EXPECT_STREQ("", s.Host);
    EXPECT_EQ(80, s.Port);
    EXPECT_EQ(60u, s.Poll);
    EXPECT_EQ(300u, s.Flash);
    EXPECT_EQ(0x82810200u, PackBehaviors(s.Behaviors));
    EXPECT_EQ(1u, s.Resolve);
}

TEST_F(StoreTest, SaveThenLoadGivesTheSameSettingsWithTypesAndSizes) {
    ReplaceHost(&g_app, NewHostString("host name.example", 17));
    s.Port = 65535;
    s.Poll = 4294967295u;
    s.Flash = 1;
    UnpackBehaviors(0x7F058103, s.Behaviors);  // indices beyond the palette are kept
    s.Resolve = 0;
    SaveSettings(&g_app);
    EXPECT_EQ(std::vector<std::string>({"RegCreateKeyEx Software\\Harkwin 0x20006"}), SpyCalls("RegCreateKeyEx"));

    Stored host = ReadRaw("Host");
    EXPECT_EQ((DWORD)REG_SZ, host.type);
    EXPECT_EQ(18u, host.size);
    struct Row {
        const char* name;
        DWORD value;
    } rows[] = {{"Port", 65535}, {"Poll", 4294967295u}, {"Flash", 1}, {"Behaviors", 0x7F058103}, {"Resolve", 0}};
    for (const Row& r : rows) {
        Stored v = ReadRaw(r.name);
        EXPECT_EQ((DWORD)REG_DWORD, v.type) << r.name;
        ASSERT_EQ(4u, v.size) << r.name;
        DWORD value;
        memcpy(&value, v.bytes.data(), 4);
        EXPECT_EQ(r.value, value) << r.name;
    }

    Settings saved = s;
    saved.Host = nullptr;
    FreeHost(&g_app);
    ZeroMemory(&s, sizeof s);
    LoadSettings(&g_app);
    EXPECT_STREQ("host name.example", s.Host);
    EXPECT_EQ(saved.Port, s.Port);
    EXPECT_EQ(saved.Poll, s.Poll);
    EXPECT_EQ(saved.Flash, s.Flash);
    EXPECT_EQ(PackBehaviors(saved.Behaviors), PackBehaviors(s.Behaviors));
    EXPECT_EQ(saved.Resolve, s.Resolve);
}

TEST_F(StoreTest, MalformedValuesCostOnlyTheirOwnField) {
    const DWORD upper = 0x10050, two = 2;
    const char eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    const char noNul[3] = {'a', 'b', 'c'};
    WriteRaw("Host", REG_SZ, noNul, 3);
    WriteRaw("Port", REG_DWORD, &upper, 4);
    WriteRaw("Poll", REG_SZ, "30", 3);
    WriteRaw("Flash", REG_BINARY, eight, 8);
    WriteRaw("Behaviors", REG_DWORD, eight, 2);
    WriteRaw("Resolve", REG_DWORD, &two, 4);
    LoadSettings(&g_app);
    EXPECT_STREQ("abc", s.Host) << "terminated though stored without its NUL";
    EXPECT_EQ(80, s.Port);
    EXPECT_EQ(60u, s.Poll);
    EXPECT_EQ(300u, s.Flash);
    EXPECT_EQ(0x82810200u, PackBehaviors(s.Behaviors));
    EXPECT_EQ(1u, s.Resolve);

    struct Row {
        DWORD type;
        const void* data;
        DWORD size;
        DWORD resolve;
    } resolves[] = {{REG_DWORD, "\0\0\0\0", 4, 0},
                    {REG_DWORD, "\0", 1, 0},
                    {REG_DWORD, "\1", 1, 1},
                    {REG_DWORD, eight, 8, 1},
                    {REG_BINARY, "\0\0\0\0", 4, 1}};
    for (const Row& r : resolves) {
        WriteRaw("Resolve", r.type, r.data, r.size);
        LoadSettings(&g_app);
        EXPECT_EQ(r.resolve, s.Resolve) << r.type << "/" << r.size;
    }
    const DWORD zero = 0;
    WriteRaw("Port", REG_DWORD, &zero, 4);
    WriteRaw("Poll", REG_DWORD, &zero, 4);
    WriteRaw("Host", REG_DWORD, &zero, 4);
    LoadSettings(&g_app);
    EXPECT_EQ(0, s.Port) << "the store takes 0; the dialog would refuse it";
    EXPECT_EQ(0u, s.Poll);
    EXPECT_STREQ("", s.Host);
    WriteRaw("Host", REG_EXPAND_SZ, "x", 2);
    LoadSettings(&g_app);
    EXPECT_STREQ("", s.Host);
}

TEST_F(StoreTest, ShortOfMemoryTheHostIsEmpty) {
    WriteString("Host", "example.org");
    g_spy.heapAllocsBeforeFailure = 1;  // the value is read, its copy fails
    LoadSettings(&g_app);
    EXPECT_STREQ("", HostText(&g_app));
    g_spy.heapAllocsBeforeFailure = -1;
    LoadSettings(&g_app);
    EXPECT_STREQ("example.org", s.Host);
}
