#include <gtest/gtest.h>

#include "base/model.h"
#include "base/periods.h"
#include "base/text.h"
#include "tray/flash_rules.h"
#include "base/resource.h"

TEST(Model, DefaultsAndTheBehaviorWord) {
    Settings s = {};
    SetDefaultValues(&s);
    EXPECT_EQ(80, s.Port);
    EXPECT_EQ(60u, s.Poll);
    EXPECT_EQ(300u, s.Flash);
    EXPECT_EQ(1u, s.Resolve);
    const StatusBehavior expected[] = {0x00, 0x02, 0x81, 0x82};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(expected[i], s.Behaviors[i]) << i;
    EXPECT_EQ(DefaultBehaviors, PackBehaviors(s.Behaviors));
    // Yellow, Red, Green flashing, Red flashing.
    const int icons[] = {IDI_YELLOW, IDI_RED, IDI_GREEN, IDI_RED};
    const bool flashes[] = {false, false, true, true};
    for (ProbeStatus st = 0; st < StatusCount; ++st) {
        EXPECT_EQ(icons[st], StatusIconId(&s, st)) << st;
        EXPECT_EQ(flashes[st], StatusFlashes(&s, st)) << st;
    }
}

TEST(Model, PaletteLookupNeverLeavesThePalette) {
    struct Row {
        StatusBehavior behavior;
        unsigned index;
        bool flash;
    } rows[] = {
        {0x00, 0, false}, {0x01, 1, false}, {0x81, 1, true},  {0x02, 2, false},
        {0x03, 0, false}, {0x83, 0, true},  {0x7F, 0, false}, {0xFF, 0, true},
    };
    for (const Row& r : rows) {
        Settings s = {};
        s.Behaviors[StatusOnline] = r.behavior;
        EXPECT_EQ(r.index, PaletteIndexOf(r.behavior)) << int(r.behavior);
        EXPECT_EQ(Palette[r.index].iconId, StatusIconId(&s, StatusOnline)) << int(r.behavior);
        EXPECT_EQ(r.flash, StatusFlashes(&s, StatusOnline)) << int(r.behavior);
    }
    EXPECT_STREQ("Yellow", Palette[0].name);
    EXPECT_STREQ("Green", Palette[1].name);
    EXPECT_STREQ("Red", Palette[2].name);
}

TEST(Periods, NeverZeroNeverWrapped) {
    struct Row {
        uint32_t value, pollMs, flashMs;
    } rows[] = {
        {0, 60000, 300},
        {1, 1000, 1},
        {300, 300000, 300},
        {2147483, 2147483000u, 2147483},
        {2147484, TimerPeriodMax, 2147484},
        {4294967, TimerPeriodMax, 4294967},
        {4294968, TimerPeriodMax, 4294968},
        {4294967295u, TimerPeriodMax, TimerPeriodMax},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.pollMs, PollPeriodMs(r.value)) << r.value;
        EXPECT_EQ(r.flashMs, FlashPeriodMs(r.value)) << r.value;
    }
}

TEST(Text, BoundedCopiesAlwaysTerminate) {
    char tip[64];
    std::string longText(200, 'x');
    EXPECT_EQ(63u, CopyBounded(tip, sizeof tip, longText.c_str()));
    EXPECT_EQ(std::string(63, 'x'), tip);
    EXPECT_EQ(5u, CopyBounded(tip, sizeof tip, "hello"));
    EXPECT_STREQ("hello", tip);
    EXPECT_EQ(0u, CopyBounded(tip, sizeof tip, nullptr));
    EXPECT_STREQ("", tip);
    EXPECT_EQ(0u, CopyBounded(tip, 0, "x"));

    const char unterminated[] = {'a', 'b', 'c'};
    EXPECT_EQ(3u, TextLength(unterminated, 3));
    EXPECT_EQ(1u, TextLength("a\0bc", 4));
    EXPECT_EQ(0u, TextLength(nullptr, 10));
    EXPECT_EQ(2u, TextLength("abcdef", 2));
}

TEST(FlashRules, TimerFollowsTheFlashFlags) {
    struct Row {
        bool old, now, force, kill, start;
    } rows[] = {
        {false, false, false, false, false},  // steady to steady: no timer call
        {false, true, false, false, true},   {true, false, false, true, false},
        {true, true, false, false, false},  // keeps its rhythm
        {false, false, true, true, false},  // force kills whether or not it ran
        {false, true, true, false, true},    {true, false, true, true, false},
        {true, true, true, false, true},  // force restarts
    };
    for (const Row& r : rows) {
        FlashTimerAction a = DecideFlashTimer(r.old, r.now, r.force);
        EXPECT_EQ(r.kill, a.kill) << r.old << r.now << r.force;
        EXPECT_EQ(r.start, a.start) << r.old << r.now << r.force;
    }
}
