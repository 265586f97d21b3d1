#include "common/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// The locale of the environment, put back when the test ends.
class EnvironmentLocale {
public:
    EnvironmentLocale()
    {
        if (const char* value = std::getenv("LC_ALL"))
            m_saved = value;
    }
    ~EnvironmentLocale()
    {
        if (m_saved)
            setenv("LC_ALL", m_saved->c_str(), 1);
        else
            unsetenv("LC_ALL");
    }
    EnvironmentLocale(const EnvironmentLocale&) = delete;
    EnvironmentLocale& operator=(const EnvironmentLocale&) = delete;

private:
    std::optional<std::string> m_saved;
};

TEST(Platform, UserDecimalPointFollowsTheEnvironment)
{
    const EnvironmentLocale restore;
    struct Case {
        const char* locale;
        std::optional<char> point;
    };
    // The C locales every system has; a locale that does not exist gives none, so the caller
    // falls back rather than taking a point from nowhere.
    const Case cases[] = {{"C", '.'}, {"POSIX", '.'}, {"xx_NOWHERE.UTF-8", std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        setenv("LC_ALL", c.locale, 1);
        EXPECT_EQ(morvane::platform::userDecimalPoint(), c.point);
    }
}

} // namespace
