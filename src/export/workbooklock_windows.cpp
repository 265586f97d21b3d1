#include "export/workbooklock.h"
#include "export/workbooklock_platform.h"

#include <windows.h>

namespace morvane {

namespace fs = std::filesystem;

namespace {

bool processAlive(long pid)
{
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return ::GetLastError() == ERROR_ACCESS_DENIED; // it exists, it is just not ours to see
    const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return running;
}

} // namespace

namespace detail {

long currentProcess()
{
    return static_cast<long>(::GetCurrentProcessId());
}

std::string hostName()
{
    char name[256] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size))
        return "?";
    return name;
}

// Our owner files are opened delete-on-close, so the system removes them when the process ends;
// one of ours still there after its process is gone was left by a power cut.
Found inspect(const fs::path& owner)
{
    HANDLE file = ::CreateFileW(owner.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {::GetLastError() == ERROR_FILE_NOT_FOUND ? Found::Gone : Found::Foreign, {}};
    char bytes[kOwnerRecordSize] = {};
    DWORD read = 0;
    const BOOL ok = ::ReadFile(file, bytes, sizeof bytes, &read, nullptr);
    ::CloseHandle(file);
    const std::string who = ok ? ownerOf(std::string_view(bytes, read)) : std::string();
    const long pid = processOf(who);
    if (pid == 0)
        return {who.empty() && ok && read == 0 ? Found::Busy : Found::Foreign, who};
    if (who != ownerName(pid) || processAlive(pid))
        return {Found::Busy, who};
    if (!::DeleteFileW(owner.c_str()))
        return {Found::Foreign, who};
    return {Found::Gone, who};
}

} // namespace detail

std::error_code WorkbookLock::make(const fs::path& owner, std::string_view record)
{
    HANDLE file = ::CreateFileW(owner.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
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
    return held(); // the open handle keeps it from being deleted or replaced
}

void WorkbookLock::release()
{
    if (held())
        ::CloseHandle(reinterpret_cast<HANDLE>(m_file)); // deletes the file
    m_file = kNoFile;
}

} // namespace morvane
