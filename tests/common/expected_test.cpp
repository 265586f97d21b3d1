#include "common/expected.h"

#include <gtest/gtest.h>

#include <string>

using morvane::Error;
using morvane::Expected;

// Release builds too: the dev preset compiles with NDEBUG, where an assert would be gone.
TEST(ExpectedDeathTest, TheWrongSideStopsTheProgramInEveryBuild)
{
    const Expected<std::string> value(std::string("x"));
    const Expected<std::string> error(Error{"bad", 3});
    EXPECT_DEATH((void)error.value(), "precondition failed: ok\\(\\)");
    EXPECT_DEATH((void)*error, "precondition failed");
    EXPECT_DEATH((void)Expected<int>(Error{"bad"}).value(), "precondition failed");
    EXPECT_DEATH((void)value.error(), "precondition failed: !ok\\(\\)");
    EXPECT_EQ(*value, "x");
    EXPECT_EQ(error.error().line, 3u);
}
