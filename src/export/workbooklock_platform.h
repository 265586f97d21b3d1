#pragma once
// The parts of the workbook lock that the systems do differently: workbooklock_posix.cpp and
// workbooklock_windows.cpp implement them (and WorkbookLock's own calls on its owner file), and
// CMake compiles the one of the system built for. Internal to workbooklock.cpp.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace morvane::detail {

// The size of an owner file in Excel's layout.
constexpr std::size_t kOwnerRecordSize = 165;

// What an owner file found in the way means.
struct Found {
    enum Kind {
        Gone,    // it was removed meanwhile (or was stale and now is): try again
        Busy,    // a Morvane writer holds it: wait
        Foreign, // another program's: refuse
    } kind;
    std::string owner; // the user name in it, if any
};

// Written once for both systems (workbooklock.cpp).

// The Morvane owner name of process `pid` on this computer.
std::string ownerName(long pid);
// The process of a Morvane owner name; 0 when it is none.
long processOf(std::string_view owner);

// One per system.

long currentProcess();
// This computer's name; "?" when it cannot be had.
std::string hostName();
// Looks at the owner file in the way, and removes it when it was left by a Morvane process
// that is gone.
Found inspect(const std::filesystem::path& owner);

} // namespace morvane::detail
