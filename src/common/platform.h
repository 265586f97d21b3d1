#pragma once
// What the operating systems do differently, behind one set of functions: platform_posix.cpp
// and platform_windows.cpp implement them, and CMake compiles the one of the system built for.
// Everything else in the core is written once for both.

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace morvane::platform {

// The broken-down local time of `when`.
std::tm localTime(std::time_t when);
// The broken-down UTC time of `when`.
std::tm utcTime(std::time_t when);

// The program's arguments after its name, in UTF-8: on Windows taken from the wide command line,
// since `argv` there holds them in the ANSI code page, which has no room for most names.
std::vector<std::string> arguments(int argc, char** argv);

// What tells one file from another that took its name (the inode; the volume and file index on
// Windows); none when the file cannot be looked at.
std::optional<std::uint64_t> fileIdentity(const std::filesystem::path& path);

// Whether `stream` goes to a terminal (a person reads it).
bool isTerminal(std::FILE* stream);

// The decimal point of the user's locale as the environment sets it (LC_ALL, LC_NUMERIC, LANG;
// on Windows, where these are seldom set, the regional setting when none is), none when the
// locale is unknown or its point is not a single byte.
std::optional<char> userDecimalPoint();

} // namespace morvane::platform
