#include "export/workbooklock.h"
#include "export/workbooklock_platform.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane {

namespace fs = std::filesystem;

namespace {

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

} // namespace

namespace detail {

long currentProcess()
{
    return static_cast<long>(::getpid());
}

std::string hostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return "?";
    return name;
}

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
    std::string record(kOwnerRecordSize, '\0');
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

} // namespace detail

std::error_code WorkbookLock::make(const fs::path& owner, std::string_view record)
{
    const int fd = ::open(owner.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return std::error_code(errno, std::generic_category()); // EEXIST is file_exists
    m_owner = owner;
    m_file = fd;
    // Others may hold the lock for a moment while they look at the new file; without locks on
    // this file system, the record and the process id still tell.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    if (::pwrite(fd, record.data(), record.size(), 0) == static_cast<ssize_t>(record.size()))
        return {};
    const std::error_code error(errno, std::generic_category());
    release();
    return error;
}

bool WorkbookLock::stillOwned() const
{
    return held() && sameFile(static_cast<int>(m_file), m_owner);
}

void WorkbookLock::release()
{
    if (!held())
        return;
    const int fd = static_cast<int>(m_file);
    // Removed before the lock ends, so a waiter that gets the lock finds the file gone.
    if (sameFile(fd, m_owner))
        ::unlink(m_owner.c_str());
    ::close(fd);
    m_file = kNoFile;
}

} // namespace morvane
