#include "export/workbooklock.h"

#include "common/text.h"
#include "export/atomicsave.h"

#include <charconv>
#include <system_error>
#include <thread>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace morvane {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kNameField = 54; // the length byte and the name, padded with spaces
constexpr std::size_t kMaxOwner = kNameField - 1;
constexpr std::size_t kRecordSize = 165;
constexpr std::string_view kMorvane = "Morvane/";

long currentProcess()
{
#ifdef _WIN32
    return static_cast<long>(::GetCurrentProcessId());
#else
    return static_cast<long>(::getpid());
#endif
}

std::string hostName()
{
    char name[256] = {};
#ifdef _WIN32
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size))
        return "?";
#else
    if (::gethostname(name, sizeof name - 1) != 0)
        return "?";
#endif
    return name;
}

std::string ownerName(long pid)
{
    return (std::string(kMorvane) + std::to_string(pid) + "@" + hostName()).substr(0, kMaxOwner);
}

// The process of a Morvane owner name; 0 when it is none.
long processOf(std::string_view owner)
{
    if (owner.substr(0, kMorvane.size()) != kMorvane)
        return 0;
    owner.remove_prefix(kMorvane.size());
    long pid = 0;
    const auto [end, error] = std::from_chars(owner.data(), owner.data() + owner.size(), pid);
    // Bounded so that a hostile number never becomes a process group or "every process".
    if (error != std::errc() || end == owner.data() || pid <= 0 || pid > 0x7FFF'FFFF)
        return 0;
    return pid;
}

std::string hostOf(std::string_view owner)
{
    const std::size_t at = owner.find('@');
    return at == std::string_view::npos ? std::string() : std::string(owner.substr(at + 1));
}

std::string durationText(std::chrono::milliseconds span)
{
    const auto ms = span.count();
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

// What an owner file found in the way means.
struct Found {
    enum Kind {
        Gone,    // it was removed meanwhile (or was stale and now is): try again
        Busy,    // a Morvane writer holds it: wait
        Foreign, // another program's: refuse
    } kind;
    std::string owner; // the user name in it, if any
};

std::string foreignMessage(const fs::path& workbook, const fs::path& owner, const std::string& who)
{
    return fileInUseMessage(workbook) + " (the lock file '" + pathForMessage(owner.filename()) + "' shows it is open" +
           (who.empty() ? "" : " by " + quoteForMessage(who)) + "; if no program has it open, delete that file)";
}

std::string timeoutMessage(const fs::path& workbook, const fs::path& owner, const Found& seen,
                           std::chrono::milliseconds patience)
{
    const long pid = processOf(seen.owner);
    if (pid != 0 && seen.owner != ownerName(pid))
        return quotedFileName(workbook) + " is being written by Morvane on " + quoteForMessage(hostOf(seen.owner)) +
               " (the lock file '" + pathForMessage(owner.filename()) +
               "'); export again when it has finished, or delete that file if Morvane is not running there";
    return quotedFileName(workbook) + " is still being written by another Morvane export after " +
           durationText(patience) + "; export again when it has finished";
}

std::string notMadeMessage(const fs::path& workbook, const fs::path& owner, const std::error_code& error)
{
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
        error == std::errc::read_only_file_system) {
        const fs::path folder = workbook.parent_path().empty() ? fs::path(".") : workbook.parent_path();
        return quotedFileName(workbook) + " cannot be saved: the folder '" + pathForMessage(folder) +
               "' is not writable (" + error.message() + ")";
    }
    return quotedFileName(workbook) + " cannot be saved: its lock file '" + pathForMessage(owner.filename()) +
           "' cannot be made (" + error.message() + ")";
}

#ifdef _WIN32

bool processAlive(long pid)
{
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return ::GetLastError() == ERROR_ACCESS_DENIED; // it exists, it is just not ours to see
    const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return running;
}

// Our owner files are opened delete-on-close, so the system removes them when the process ends;
// one of ours still there after its process is gone was left by a power cut.
Found inspect(const fs::path& owner)
{
    HANDLE file = ::CreateFileW(owner.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {::GetLastError() == ERROR_FILE_NOT_FOUND ? Found::Gone : Found::Foreign, {}};
    char bytes[kRecordSize] = {};
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

#else

struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

bool sameFile(int fd, const fs::path& path)
{
    struct stat open {};
    struct stat named {};
    return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

bool processAlive(long pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// A writer makes its owner file and then locks it; one that is empty and unlocked for this long
// was left by a writer that died in between.
constexpr std::time_t kEmptyOwnerAge = 5;

Found inspect(const fs::path& owner)
{
    const Descriptor file{::open(owner.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)};
    if (file.fd < 0)
        return {errno == ENOENT ? Found::Gone : Found::Foreign, {}};
    struct stat info {};
    if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode))
        return {Found::Foreign, {}};
    const bool free = ::flock(file.fd, LOCK_EX | LOCK_NB) == 0;
    const bool held = !free && (errno == EWOULDBLOCK || errno == EAGAIN);
    std::string record(kRecordSize, '\0');
    const ssize_t read = ::pread(file.fd, record.data(), record.size(), 0);
    record.resize(read > 0 ? static_cast<std::size_t>(read) : 0);
    const std::string who = ownerOf(record);
    if (held)
        return {Found::Busy, who};
    if (!sameFile(file.fd, owner))
        return {Found::Gone, who}; // its writer removed it while we looked

    bool stale = false;
    if (who.empty()) {
        if (!record.empty())
            return {Found::Foreign, who};
        stale = std::time(nullptr) - info.st_mtime > kEmptyOwnerAge;
    } else {
        const long pid = processOf(who);
        if (pid == 0)
            return {Found::Foreign, who};
        // Another computer's lock may not reach this one, nor may its process be looked up here.
        if (who != ownerName(pid))
            return {Found::Busy, who};
        // A live writer holds its lock for as long as the file is there; where the file system
        // has no locks, the process itself must be gone.
        stale = free || !processAlive(pid);
    }
    if (!stale)
        return {Found::Busy, who};
    // Holding its lock, no other Morvane process can remove it (and make a new one) meanwhile.
    if (sameFile(file.fd, owner) && ::unlink(owner.c_str()) != 0)
        return {Found::Foreign, who}; // left for the user to delete
    return {Found::Gone, who};
}

#endif

} // namespace

fs::path ownerFileOf(const fs::path& workbook)
{
    fs::path name("~$");
    name += workbook.filename();
    return workbook.parent_path() / name;
}

std::string ownerRecord(std::string_view user)
{
    user = user.substr(0, kMaxOwner);
    std::string record(kRecordSize, ' ');
    record[0] = static_cast<char>(user.size());
    user.copy(record.data() + 1, user.size());
    record[kNameField] = static_cast<char>(user.size());
    record[kNameField + 1] = '\0';
    // The bytes as Latin-1: the names written here are ASCII.
    for (std::size_t at = kNameField + 2, i = 0; at + 1 < kRecordSize; at += 2, ++i) {
        record[at] = i < user.size() ? user[i] : ' ';
        record[at + 1] = '\0';
    }
    return record;
}

std::string ownerOf(std::string_view record)
{
    if (record.size() < kNameField)
        return {};
    const auto length = static_cast<unsigned char>(record[0]);
    if (length == 0 || length > kMaxOwner)
        return {};
    return std::string(record.substr(1, length));
}

std::string morvaneOwner()
{
    return ownerName(currentProcess());
}

WorkbookLock::WorkbookLock(WorkbookLock&& other) noexcept : m_owner(std::move(other.m_owner))
{
#ifdef _WIN32
    m_handle = std::exchange(other.m_handle, nullptr);
#else
    m_fd = std::exchange(other.m_fd, -1);
#endif
}

WorkbookLock& WorkbookLock::operator=(WorkbookLock&& other) noexcept
{
    if (this != &other) {
        release();
        m_owner = std::move(other.m_owner);
#ifdef _WIN32
        m_handle = std::exchange(other.m_handle, nullptr);
#else
        m_fd = std::exchange(other.m_fd, -1);
#endif
    }
    return *this;
}

#ifdef _WIN32

bool WorkbookLock::held() const
{
    return m_handle != nullptr;
}

bool WorkbookLock::stillOwned() const
{
    return held(); // the open handle keeps it from being deleted or replaced
}

void WorkbookLock::release()
{
    if (m_handle)
        ::CloseHandle(static_cast<HANDLE>(m_handle)); // deletes the file
    m_handle = nullptr;
}

#else

bool WorkbookLock::held() const
{
    return m_fd >= 0;
}

bool WorkbookLock::stillOwned() const
{
    return held() && sameFile(m_fd, m_owner);
}

void WorkbookLock::release()
{
    if (m_fd < 0)
        return;
    // Removed before the lock ends, so a waiter that gets the lock finds the file gone.
    if (sameFile(m_fd, m_owner))
        ::unlink(m_owner.c_str());
    ::close(m_fd);
    m_fd = -1;
}

#endif

Expected<WorkbookLock> WorkbookLock::acquire(const fs::path& workbook, const LockWait& wait)
{
    const fs::path owner = ownerFileOf(workbook);
    const std::string record = ownerRecord(morvaneOwner());
    const Clock::time_point deadline = Clock::now() + wait.patience;
    bool told = false;
    for (;;) {
        WorkbookLock lock;
        std::error_code error;
#ifdef _WIN32
        HANDLE file = ::CreateFileW(owner.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            lock.m_owner = owner;
            lock.m_handle = file;
            DWORD written = 0;
            if (::WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr) &&
                written == record.size())
                return lock;
            error = std::error_code(static_cast<int>(::GetLastError()), std::system_category());
            return Error{notMadeMessage(workbook, owner, error)};
        }
        const DWORD code = ::GetLastError();
        // A file being deleted cannot be made anew for a moment: access denied while it exists.
        const bool exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS ||
                            (code == ERROR_ACCESS_DENIED && fs::exists(owner, error));
        if (!exists)
            return Error{
                notMadeMessage(workbook, owner, std::error_code(static_cast<int>(code), std::system_category()))};
#else
        const int fd = ::open(owner.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            lock.m_owner = owner;
            lock.m_fd = fd;
            // Others may hold the lock for a moment while they look at the new file; without
            // locks on this file system, the record and the process id still tell.
            while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
            }
            if (::pwrite(fd, record.data(), record.size(), 0) == static_cast<ssize_t>(record.size()))
                return lock;
            error = std::error_code(errno, std::generic_category());
            return Error{notMadeMessage(workbook, owner, error)};
        }
        if (errno != EEXIST)
            return Error{notMadeMessage(workbook, owner, std::error_code(errno, std::generic_category()))};
#endif
        const Found seen = inspect(owner);
        if (seen.kind == Found::Foreign)
            return Error{.message = foreignMessage(workbook, owner, seen.owner), .kind = ErrorKind::Busy};
        const bool late = Clock::now() >= deadline;
        if (seen.kind == Found::Gone && !late)
            continue;
        if (late)
            return Error{.message = timeoutMessage(workbook, owner, seen, wait.patience), .kind = ErrorKind::Busy};
        if (!told && wait.waiting)
            wait.waiting(quotedFileName(workbook) + " is being written by another Morvane export; waiting up to " +
                         durationText(wait.patience) + " for it to finish");
        told = true;
        std::this_thread::sleep_for(wait.poll);
    }
}

} // namespace morvane
