#include "common/platform.h"

#include <io.h>
#include <locale>
#include <stdexcept>

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

std::optional<char> userDecimalPoint()
{
    try {
        const std::locale user("");
        return std::use_facet<std::numpunct<char>>(user).decimal_point();
    } catch (const std::runtime_error&) {
        return std::nullopt; // an unknown locale in the environment
    }
}

} // namespace morvane::platform
