#pragma once
// morvane-convert: the window's conversion and export of a raw export, from the command line.
// The program is runConvert; main only hands it the arguments and the standard streams.

#include "cli/convertoptions.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace morvane {

inline constexpr const char* kConvertProgram = "morvane-convert";

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFileFailed = 1;
inline constexpr int kExitUsage = 2;

// The text of --help.
std::string convertUsage();

// Runs the tool: tables and program lists go to `out`, messages and progress to `err`
// (progress only when `errIsTerminal` and not quiet). Returns the exit status.
int runConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal);

} // namespace morvane
