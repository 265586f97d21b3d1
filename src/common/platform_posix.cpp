#include "common/platform.h"

#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane::platform {

std::tm localTime(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    return local;
}

std::tm utcTime(std::time_t when)
{
    std::tm utc{};
    gmtime_r(&when, &utc);
    return utc;
}

std::vector<std::string> arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

std::optional<std::uint64_t> fileIdentity(const std::filesystem::path& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(info.st_ino);
}

bool isTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) != 0;
}

std::optional<char> userDecimalPoint()
{
    // The numeric category alone: a whole locale (std::locale("")) loads every category's
    // files, which is most of a short run's start.
    const locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (user == static_cast<locale_t>(nullptr))
        return std::nullopt;
    const char* point = nl_langinfo_l(RADIXCHAR, user);
    std::optional<char> result;
    if (point != nullptr && std::strlen(point) == 1)
        result = point[0];
    freelocale(user);
    return result;
}

} // namespace morvane::platform
