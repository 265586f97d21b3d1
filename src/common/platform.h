#pragma once
// What the operating systems do differently, behind one set of functions: platform_posix.cpp
// and platform_windows.cpp implement them, and CMake compiles the one of the system built for.
// Everything else in the core is written once for both.

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>

namespace morvane::platform {

// The broken-down local time of `when`.
std::tm localTime(std::time_t when);

// What tells one file from another that took its name (an inode); none where the system gives
// nothing cheaper than the name.
std::optional<std::uint64_t> fileIdentity(const std::filesystem::path& path);

// Whether `stream` goes to a terminal (a person reads it).
bool isTerminal(std::FILE* stream);

// The decimal point of the user's locale as the environment sets it (LC_ALL, LC_NUMERIC, LANG),
// none when the locale is unknown or its point is not a single byte.
std::optional<char> userDecimalPoint();

} // namespace morvane::platform
