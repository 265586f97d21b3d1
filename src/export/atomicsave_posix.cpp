#include "export/atomicsave_platform.h"

#include "common/text.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane::detail {

namespace fs = std::filesystem;

std::FILE* createNewFile(const fs::path& path)
{
    // "x": fail if the file exists, so a name picked by another process is never shared.
    return std::fopen(path.c_str(), "wbx");
}

bool syncToDisk(std::FILE* file)
{
    return ::fsync(fileno(file)) == 0;
}

std::size_t nameLimit(const fs::path& folder)
{
    const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    if (limit > 0)
        return static_cast<std::size_t>(limit);
    return 255;
}

namespace {

// A writer locks its temporary file from just after making it until the rename: one that is
// unlocked and was last written a while ago was left by a writer that died.
constexpr auto kAbandonedAge = std::chrono::seconds(5);

void removeIfAbandoned(const fs::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat info {};
    struct stat named {};
    const bool old =
        ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        std::chrono::system_clock::now() - std::chrono::system_clock::from_time_t(info.st_mtime) > kAbandonedAge;
    // Locked, the file cannot be taken by a writer meanwhile; it is removed only while it is
    // still the one looked at.
    if (old && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(file.c_str(), &named) == 0 &&
        named.st_dev == info.st_dev && named.st_ino == info.st_ino)
        ::unlink(file.c_str());
    ::close(fd);
}

} // namespace

void removeAbandonedTemporaries(const fs::path& target)
{
    const std::string prefix = temporaryPrefix(target);
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (isTemporaryOf(it->path().filename().string(), prefix))
            removeIfAbandoned(it->path());
}

TemporaryLock::TemporaryLock(std::FILE* file)
{
    if (!file)
        return;
    m_fd = ::dup(fileno(file));
    if (m_fd >= 0)
        ::flock(m_fd, LOCK_EX | LOCK_NB);
}

TemporaryLock::~TemporaryLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::uint64_t randomSeed()
{
    // From the system: std::random_device asks the processor first whether it has a random
    // instruction, which costs 25 microseconds in a virtual machine.
    std::uint64_t seed = 0;
    if (::getentropy(&seed, sizeof seed) == 0)
        return seed;
    return std::random_device{}();
}

std::error_code replaceFile(const fs::path& from, const fs::path& to)
{
    std::error_code error;
    fs::rename(from, to, error); // rename(2)
    return error;
}

void syncFolder(const fs::path& folder)
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Where the owner's write bit says little about this process: the process's own right to write
// the file and the folder, and a sticky folder, where only the file's owner may rename over it.
Status checkWriteAccess(const fs::path& target, bool exists)
{
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT)
        return Error{readOnlyMessage(target)};
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0 && errno != ENOENT)
        return Error{quotedFileName(target) + " cannot be saved: the folder '" + pathForMessage(folder) +
                     "' is not writable (" + std::generic_category().message(errno) + ")"};
    struct stat file {};
    struct stat place {};
    const uid_t me = ::geteuid();
    if (exists && me != 0 && ::stat(target.c_str(), &file) == 0 && ::stat(folder.c_str(), &place) == 0 &&
        (place.st_mode & S_ISVTX) != 0 && file.st_uid != me && place.st_uid != me)
        return Error{quotedFileName(target) + " cannot be replaced: in the folder '" + pathForMessage(folder) +
                     "' only its owner may replace it; choose another workbook, and export again"};
    return success();
}

std::optional<std::error_code> renameWithoutReplacing(const fs::path& from, const fs::path& to)
{
    // A hard link fails when the name is taken, in one step; the temporary name then goes.
    if (::link(from.c_str(), to.c_str()) == 0) {
        std::error_code ignored;
        fs::remove(from, ignored);
        return std::error_code();
    }
    if (errno == EEXIST)
        return std::make_error_code(std::errc::file_exists);
    return std::nullopt;
}

} // namespace morvane::detail
