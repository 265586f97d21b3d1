#pragma once
// The program's version for the core and the command-line tool. Plain C++, so code without Qt
// can show it; the window's own constant (dialogs/version.h) carries the same number.

#include <string_view>

namespace morvane {

inline constexpr std::string_view kVersion = "2014.1";

} // namespace morvane
