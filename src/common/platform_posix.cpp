#include "common/platform.h"

#include <sys/stat.h>
#include <unistd.h>

namespace morvane::platform {

std::tm localTime(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    return local;
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

} // namespace morvane::platform
