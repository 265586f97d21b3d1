#include "common/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

// The C locales every system has give the point; a locale that does not exist gives none, so the
// caller falls back rather than taking a point from nowhere.
TEST(Platform, UserDecimalPointFollowsTheEnvironment)
{
    const char* before = std::getenv("LC_ALL");
    const std::optional<std::string> saved = before ? std::optional<std::string>(before) : std::nullopt;
    const std::pair<const char*, std::optional<char>> cases[] = {
        {"C", '.'}, {"POSIX", '.'}, {"xx_NOWHERE.UTF-8", std::nullopt}};
    for (const auto& [locale, point] : cases) {
        setenv("LC_ALL", locale, 1);
        EXPECT_EQ(morvane::platform::userDecimalPoint(), point) << locale;
    }
    if (saved)
        setenv("LC_ALL", saved->c_str(), 1);
    else
        unsetenv("LC_ALL");
}
