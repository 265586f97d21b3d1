#include "export/workbooklock.h"
#include "export/workbooklock_platform.h"

#include <windows.h>

#include <chrono>
#include <optional>

namespace morvane {

namespace fs = std::filesystem;

// The owner file is held open without sharing deletion or writing: while its writer has it, no
// program can delete, rename or overwrite it, and anyone may read the owner's name in it (as Excel
// does to say who has the workbook). Neither delete-on-close nor DELETE access on the writer's
// handle: either would make every reader ask to share deletion, which ordinary reads do not. The
// writer removes it when done, after checking that the name is still its file; one whose writer
// died is left, and the next writer sees that nobody holds it.

namespace {

struct Handle {
    HANDLE h;
    ~Handle()
    {
        if (h != INVALID_HANDLE_VALUE)
            ::CloseHandle(h);
    }
};

// Marks an open file for deletion when its last handle closes; the handle must have DELETE access.
bool deleteThrough(HANDLE file)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

struct Identity {
    DWORD volume = 0;
    DWORD high = 0;
    DWORD low = 0;
    bool operator==(const Identity&) const = default;
};

std::optional<Identity> identityOf(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info))
        return std::nullopt;
    return Identity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

std::optional<Identity> identityOf(const fs::path& path)
{
    // No access asked for: the attributes can be read whatever the holder shares.
    const Handle file{::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    return identityOf(file.h);
}

std::string recordIn(HANDLE file)
{
    char bytes[detail::kOwnerRecordSize] = {};
    DWORD read = 0;
    if (!::ReadFile(file, bytes, sizeof bytes, &read, nullptr))
        return {};
    return std::string(bytes, read);
}

// The owner's name in a file that someone holds, read without asking for more than reading.
std::string ownerWhileHeld(const fs::path& owner)
{
    const Handle file{::CreateFileW(owner.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    return file.h == INVALID_HANDLE_VALUE ? std::string() : ownerOf(recordIn(file.h));
}

// A writer makes its owner file and then writes its name; one that is empty and free for this
// long was left by a writer that died in between.
constexpr auto kEmptyOwnerAge = std::chrono::seconds(5);

bool olderThan(HANDLE file, std::chrono::seconds age)
{
    FILETIME written{};
    FILETIME now{};
    if (!::GetFileTime(file, nullptr, nullptr, &written))
        return false;
    ::GetSystemTimeAsFileTime(&now);
    const auto ticks = [](FILETIME t) { return (ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
    constexpr ULONGLONG kTicksPerSecond = 10'000'000; // FILETIME counts 100 ns
    return ticks(now) > ticks(written) &&
           (ticks(now) - ticks(written)) / kTicksPerSecond > static_cast<ULONGLONG>(age.count());
}

} // namespace

namespace detail {

long currentProcess()
{
    return static_cast<long>(::GetCurrentProcessId());
}

std::string hostName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size))
        return "?";
    return name;
}

Found inspect(const fs::path& owner)
{
    // Asking to delete is the lock test: a live writer does not share deletion.
    const Handle file{::CreateFileW(owner.c_str(), GENERIC_READ | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return {Found::Gone, {}};
        if (code != ERROR_SHARING_VIOLATION)
            return {Found::Foreign, {}};
        const std::string who = ownerWhileHeld(owner);
        // Held by a Morvane writer (wait), or by another program, such as Excel (refuse).
        return {processOf(who) != 0 || who.empty() ? Found::Busy : Found::Foreign, who};
    }
    const std::string record = recordIn(file.h);
    const std::string who = ownerOf(record);
    bool stale = false;
    if (who.empty()) {
        if (!record.empty())
            return {Found::Foreign, who};
        stale = olderThan(file.h, kEmptyOwnerAge);
    } else {
        const long pid = processOf(who);
        if (pid == 0)
            return {Found::Foreign, who};
        // Another computer's writer holds its file there, which a share may not show here, nor
        // may its process be looked up here.
        if (who != ownerName(pid))
            return {Found::Busy, who};
        stale = true; // nobody holds it, so its writer is gone (even if the number is in use again)
    }
    if (!stale)
        return {Found::Busy, who};
    if (!deleteThrough(file.h))
        return {Found::Foreign, who}; // left for the user to delete
    return {Found::Gone, who};
}

} // namespace detail

std::error_code WorkbookLock::make(const fs::path& owner, std::string_view record)
{
    HANDLE file = ::CreateFileW(owner.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        // A file being deleted cannot be made anew for a moment: access denied while it exists.
        std::error_code ignored;
        if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS ||
            (code == ERROR_ACCESS_DENIED && fs::exists(owner, ignored)))
            return std::make_error_code(std::errc::file_exists);
        return std::error_code(static_cast<int>(code), std::system_category());
    }
    m_owner = owner;
    m_file = reinterpret_cast<std::intptr_t>(file);
    DWORD written = 0;
    if (::WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr) &&
        written == record.size())
        return {};
    const std::error_code error(static_cast<int>(::GetLastError()), std::system_category());
    release();
    return error;
}

bool WorkbookLock::stillOwned() const
{
    if (!held())
        return false;
    const auto mine = identityOf(reinterpret_cast<HANDLE>(m_file));
    return mine && identityOf(m_owner) == mine;
}

void WorkbookLock::release()
{
    if (!held())
        return;
    const auto file = reinterpret_cast<HANDLE>(m_file);
    const auto mine = identityOf(file);
    ::CloseHandle(file);
    m_file = kNoFile;
    // Opened again to be removed, and removed only if it is still ours: between the two, another
    // program may have taken the name.
    const Handle again{::CreateFileW(m_owner.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    if (again.h != INVALID_HANDLE_VALUE && mine && identityOf(again.h) == mine)
        deleteThrough(again.h);
}

} // namespace morvane
