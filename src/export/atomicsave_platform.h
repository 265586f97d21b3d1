#pragma once
// The steps of an atomic save that the systems take differently: atomicsave_posix.cpp and
// atomicsave_windows.cpp implement them, and CMake compiles the one of the system built for.
// Internal to atomicsave.cpp.

#include "common/expected.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace morvane::detail {

// Written once for both systems (atomicsave.cpp).

// What every temporary name of `target` begins with.
std::string temporaryPrefix(const std::filesystem::path& target);
// Whether `name` is a temporary name that begins with `prefix`.
bool isTemporaryOf(std::string_view name, std::string_view prefix);
std::string readOnlyMessage(const std::filesystem::path& target);

// One per system.

// Creates `path`, which must not exist yet, for writing; nullptr with errno set on failure.
std::FILE* createNewFile(const std::filesystem::path& path);
// Sends what the system holds of the (flushed) file to the disk; false with errno set.
bool syncToDisk(std::FILE* file);
// The longest file name the folder takes.
std::size_t nameLimit(const std::filesystem::path& folder);
// Removes the temporary files of earlier writes of `target` that were killed before they could
// remove them. Best effort: whatever cannot be looked at stays.
void removeAbandonedTemporaries(const std::filesystem::path& target);
// Puts `from` in the place of `to`, replacing it if it is there, in one step.
std::error_code replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);
// Makes the rename over the file reach the disk too; a failure loses nothing.
void syncFolder(const std::filesystem::path& folder);
// What the read-only mark does not tell: whether this process may write the target and its
// folder, and replace the target there.
Status checkWriteAccess(const std::filesystem::path& target, bool exists);
// Renames `from` to `to` in one step that fails when `to` exists (file_exists); none where the
// file system cannot, leaving the caller to check and rename.
std::optional<std::error_code> renameWithoutReplacing(const std::filesystem::path& from,
                                                      const std::filesystem::path& to);

// A seed for the random part of temporary names.
std::uint64_t randomSeed();

// Holds the lock on a temporary file from its making until it is renamed or removed; none
// without a file, or where the system has no such lock.
class TemporaryLock {
public:
    explicit TemporaryLock(std::FILE* file);
    ~TemporaryLock();
    TemporaryLock(const TemporaryLock&) = delete;
    TemporaryLock& operator=(const TemporaryLock&) = delete;

private:
    [[maybe_unused]] int m_fd = -1; // a descriptor of its own, holding the lock (unused on Windows)
};

} // namespace morvane::detail
