#pragma once
// The program's version, defined once: plain C++, so that the command-line tool shows it too.
// CMake reads the project's version, and so the Debian package's, from kVersion below.
// The window's constants (dialogs/version.h) are made from it; the Windows version resource
// (app/morvane.rc) carries the same number as 2014.1.0.0.

#include <string_view>

namespace morvane {

inline constexpr std::string_view kVersion = "2014.1";

} // namespace morvane
