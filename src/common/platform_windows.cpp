#include "common/platform.h"

#include <io.h>

namespace morvane::platform {

std::tm localTime(std::time_t when)
{
    std::tm local{};
    localtime_s(&local, &when);
    return local;
}

std::optional<std::uint64_t> fileIdentity(const std::filesystem::path&)
{
    // A rename over the workbook shows in its size and time there; no identity is asked for.
    return std::nullopt;
}

bool isTerminal(std::FILE* stream)
{
    return _isatty(_fileno(stream)) != 0;
}

} // namespace morvane::platform
