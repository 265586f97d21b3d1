#include "export/atomicsave_platform.h"

#include <io.h>
#include <windows.h>

#include <random>

namespace morvane::detail {

namespace fs = std::filesystem;

std::FILE* createNewFile(const fs::path& path)
{
    // "x": fail if the file exists, so a name picked by another process is never shared.
    return _wfopen(path.c_str(), L"wbx");
}

bool syncToDisk(std::FILE* file)
{
    return _commit(_fileno(file)) == 0;
}

std::size_t nameLimit(const fs::path&)
{
    return 255;
}

// Temporary files are not locked here, so none can be told abandoned: they stay.
void removeAbandonedTemporaries(const fs::path&) {}

TemporaryLock::TemporaryLock(std::FILE*) {}

TemporaryLock::~TemporaryLock() = default;

namespace {

// Another program holding the file (Excel keeps an open workbook open) or a right missing: the
// caller's "in use" cases, as the generic codes it compares with.
std::error_code errorOf(DWORD code)
{
    switch (code) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
        return std::make_error_code(std::errc::device_or_resource_busy);
    case ERROR_ACCESS_DENIED:
        return std::make_error_code(std::errc::permission_denied);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return std::make_error_code(std::errc::file_exists);
    default:
        return std::error_code(static_cast<int>(code), std::system_category());
    }
}

} // namespace

namespace {

// The whole name with backslashes: ReplaceFileW (under Wine at least) takes a name written with
// slashes, as "/tmp/book.xlsx", for an invalid folder.
fs::path systemName(const fs::path& path)
{
    std::error_code error;
    fs::path whole = fs::absolute(path, error);
    if (error)
        whole = path;
    return whole.make_preferred();
}

} // namespace

std::error_code replaceFile(const fs::path& fromName, const fs::path& toName)
{
    const fs::path from = systemName(fromName);
    const fs::path to = systemName(toName);
    // ReplaceFileW keeps what the old file had beyond its bytes (its security, its attributes, its
    // creation time), as a save over it in place would; it needs the old file to be there.
    if (::ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return {};
    const DWORD replaceError = ::GetLastError();
    if (replaceError != ERROR_FILE_NOT_FOUND)
        return errorOf(replaceError);
    // No file to replace: a rename, its metadata on the disk before it returns.
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    return errorOf(::GetLastError());
}

// MOVEFILE_WRITE_THROUGH did it for a new file, and a folder cannot be flushed on Windows.
void syncFolder(const fs::path&) {}

std::uint64_t randomSeed()
{
    return std::random_device{}();
}

// The read-only mark is what tells here.
Status checkWriteAccess(const fs::path&, bool)
{
    return success();
}

std::optional<std::error_code> renameWithoutReplacing(const fs::path& from, const fs::path& to)
{
    // Without MOVEFILE_REPLACE_EXISTING the rename fails when the name is taken, in one step.
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH))
        return std::error_code();
    return errorOf(::GetLastError());
}

} // namespace morvane::detail
