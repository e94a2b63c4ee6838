#include "tests/program/fixture.h"
TEST_F(ProgramTest, Opens) { OpenDialog(); EXPECT_EQ(1u, SpyCalls("Shell_NotifyIcon ADD").size()); }
