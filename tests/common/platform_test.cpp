#include "common/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>

namespace {

void setVariable(const char* name, const char* value)
{
#ifdef _WIN32
    _putenv_s(name, value); // an empty value removes it
#else
    if (*value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

} // namespace

// The C locales every system has give the point; a locale that does not exist gives none, so the
// caller falls back rather than taking a point from nowhere.
TEST(Platform, UserDecimalPointFollowsTheEnvironment)
{
    const char* before = std::getenv("LC_ALL");
    const std::optional<std::string> saved = before ? std::optional<std::string>(before) : std::nullopt;
    const std::pair<const char*, std::optional<char>> cases[] = {
        {"C", '.'}, {"POSIX", '.'}, {"xx_NOWHERE.UTF-8", std::nullopt}};
    for (const auto& [locale, point] : cases) {
        setVariable("LC_ALL", locale);
        EXPECT_EQ(morvane::platform::userDecimalPoint(), point) << locale;
    }
    setVariable("LC_ALL", saved ? saved->c_str() : "");
}

// What tells a workbook from the copy that took its name meanwhile (the same size and time).
TEST(Platform, AFileThatTookTheNameHasAnotherIdentity)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "morvane-platform-identity";
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "book.xlsx") << "x";
    std::ofstream(dir / "copy.xlsx") << "x";
    const auto before = morvane::platform::fileIdentity(dir / "book.xlsx");
    ASSERT_TRUE(before.has_value());
    EXPECT_EQ(morvane::platform::fileIdentity(dir / "book.xlsx"), before);
    fs::rename(dir / "copy.xlsx", dir / "book.xlsx");
    EXPECT_NE(morvane::platform::fileIdentity(dir / "book.xlsx"), before);
    EXPECT_EQ(morvane::platform::fileIdentity(dir / "missing.xlsx"), std::nullopt);
    fs::remove_all(dir);
}
