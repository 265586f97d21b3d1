#include "export/atomicsave.h"

#include "common/text.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <random>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace morvane {

namespace fs = std::filesystem;

std::FILE* SaveIo::create(const fs::path& path, std::error_code& error)
{
    // "x": fail if the file exists, so a name picked by another process is never shared.
#ifdef _WIN32
    std::FILE* file = _wfopen(path.c_str(), L"wbx");
#else
    std::FILE* file = std::fopen(path.c_str(), "wbx");
#endif
    if (!file)
        error = std::error_code(errno, std::generic_category());
    return file;
}

std::error_code SaveIo::write(std::FILE* file, std::string_view chunk)
{
    if (std::fwrite(chunk.data(), 1, chunk.size(), file) != chunk.size())
        return std::error_code(errno ? errno : EIO, std::generic_category());
    return {};
}

std::error_code SaveIo::sync(std::FILE* file)
{
    if (std::fflush(file) != 0)
        return std::error_code(errno, std::generic_category());
#ifdef _WIN32
    if (_commit(_fileno(file)) != 0)
        return std::error_code(errno, std::generic_category());
#else
    if (::fsync(fileno(file)) != 0)
        return std::error_code(errno, std::generic_category());
#endif
    return {};
}

std::error_code SaveIo::rename(const fs::path& from, const fs::path& to)
{
    std::error_code error;
    fs::rename(from, to, error); // rename(2); MoveFileExW with MOVEFILE_REPLACE_EXISTING on Windows
    return error;
}

SaveIo& defaultSaveIo()
{
    static SaveIo io;
    return io;
}

std::string fileInUseMessage(const fs::path& file)
{
    return quotedFileName(file) + " is in use; close it in the other program and export again";
}

namespace {

bool isLockOrPermission(const std::error_code& error)
{
    return error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
           error == std::errc::device_or_resource_busy || error == std::errc::text_file_busy ||
           error == std::errc::no_lock_available;
}

constexpr std::size_t kTemporarySuffixDigits = 12;

// The longest file name the folder takes: a temporary name must fit it too.
std::size_t nameLimit([[maybe_unused]] const fs::path& folder)
{
#ifndef _WIN32
    const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    if (limit > 0)
        return static_cast<std::size_t>(limit);
#endif
    return 255;
}

// What every temporary name of `target` begins with: a dot, the file name (cut, never within a
// UTF-8 character, so that the whole name stays within the folder's limit), a dot.
std::string temporaryPrefix(const fs::path& target)
{
    const std::string name = target.filename().string();
    constexpr std::size_t kAdded = 2 + kTemporarySuffixDigits + 4; // the dots, the digits, ".tmp"
    const std::size_t limit = nameLimit(target.parent_path());
    std::size_t keep = name.size();
    if (limit > kAdded && keep > limit - kAdded) {
        keep = limit - kAdded;
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
            --keep;
    }
    return "." + name.substr(0, keep) + ".";
}

fs::path temporaryName(const fs::path& target)
{
    static std::mt19937_64 random{std::random_device{}()};
    static constexpr char digits[] = "0123456789abcdef";
    std::string suffix;
    for (std::uint64_t v = random(); suffix.size() < kTemporarySuffixDigits; v >>= 4)
        suffix += digits[v & 0xF];
    fs::path name = target;
    name.replace_filename(temporaryPrefix(target) + suffix + ".tmp");
    return name;
}

bool isTemporaryOf(std::string_view name, std::string_view prefix)
{
    if (name.size() != prefix.size() + kTemporarySuffixDigits + 4 || !name.starts_with(prefix) ||
        !name.ends_with(".tmp"))
        return false;
    const std::string_view digits = name.substr(prefix.size(), kTemporarySuffixDigits);
    return std::all_of(digits.begin(), digits.end(), [](char c) { return isAsciiDigit(c) || (c >= 'a' && c <= 'f'); });
}

#ifndef _WIN32
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
#endif

// The temporary files of earlier writes of `target` that were killed before they could remove
// them. Best effort: whatever cannot be looked at stays.
void removeAbandonedTemporaries([[maybe_unused]] const fs::path& target)
{
#ifndef _WIN32
    const std::string prefix = temporaryPrefix(target);
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (isTemporaryOf(it->path().filename().string(), prefix))
            removeIfAbandoned(it->path());
#endif
}

// Holds the lock on a temporary file from its making until it is renamed or removed; none
// without a file.
class TemporaryLock {
public:
    explicit TemporaryLock([[maybe_unused]] std::FILE* file)
    {
#ifndef _WIN32
        if (!file)
            return;
        m_fd = ::dup(fileno(file));
        if (m_fd >= 0)
            ::flock(m_fd, LOCK_EX | LOCK_NB);
#endif
    }
    ~TemporaryLock()
    {
#ifndef _WIN32
        if (m_fd >= 0)
            ::close(m_fd);
#endif
    }
    TemporaryLock(const TemporaryLock&) = delete;
    TemporaryLock& operator=(const TemporaryLock&) = delete;

private:
    int m_fd = -1;
};

void syncFolder([[maybe_unused]] const fs::path& folder)
{
#ifndef _WIN32
    // The rename itself must reach the disk too; a failure here loses nothing.
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#endif
}

std::string readOnlyMessage(const fs::path& target)
{
    return quotedFileName(target) + " is read-only; make it writable or choose another workbook, and export again";
}

// Whether this process may replace the file: the read-only mark, then (where the owner's write
// bit says little about this process) the process's own right to write the file and the
// folder, and a sticky folder, where only the file's owner may rename over it.
Status checkReplaceable(const fs::path& target, const fs::file_status& status, bool exists)
{
    if (exists && (status.permissions() & fs::perms::owner_write) == fs::perms::none)
        return Error{readOnlyMessage(target)};
#ifndef _WIN32
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
#endif
    return success();
}

} // namespace

Status saveFileAtomically(const fs::path& link, std::string_view bytes, SaveIo& io,
                          const std::function<Status()>& beforeRename)
{
    std::error_code error;
    // A link stays a link: the file it points to is the one replaced.
    const bool isLink = fs::is_symlink(fs::symlink_status(link, error));
    const fs::path target = isLink ? fs::canonical(link, error) : link;
    if (isLink && error)
        return Error{quotedFileName(link) + " cannot be saved: " + error.message()};
    const fs::file_status status = fs::status(target, error);
    const bool exists = fs::exists(status);
    if (exists) {
        if (!fs::is_regular_file(status))
            return Error{quotedFileName(target) + " is not a file, so it cannot be replaced by the workbook"};
    }
    if (auto replaceable = checkReplaceable(target, status, exists); !replaceable)
        return replaceable;

    removeAbandonedTemporaries(target);
    const fs::path temporary = temporaryName(target);
    std::FILE* file = io.create(temporary, error);
    // Not an optional lock: GCC 12 then warns that the descriptor may be used uninitialised.
    const TemporaryLock locked(file);
    if (!file) {
        const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
        if (isLockOrPermission(error) || error == std::errc::read_only_file_system)
            return Error{quotedFileName(target) + " cannot be saved: the folder '" + pathForMessage(folder) +
                         "' is not writable (" + error.message() + ")"};
        return Error{.message = quotedFileName(target) + " cannot be saved: no temporary file can be made in '" +
                                pathForMessage(folder) + "' (" + error.message() + ")",
                     .kind = ErrorKind::Io};
    }
    const auto abandon = [&](const std::string& reason) {
        if (file)
            std::fclose(file);
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return Error{.message = quotedFileName(target) + " cannot be saved: " + reason, .kind = ErrorKind::Io};
    };

    constexpr std::size_t kChunkSize = 1 << 20;
    for (std::size_t at = 0; at < bytes.size(); at += kChunkSize)
        if (const auto e = io.write(file, bytes.substr(at, kChunkSize)))
            return abandon(e.message());
    if (const auto e = io.sync(file))
        return abandon(e.message());
    const int closed = std::fclose(file);
    file = nullptr;
    if (closed != 0)
        return abandon(std::error_code(errno, std::generic_category()).message());
    if (exists)
        fs::permissions(temporary, status.permissions(), error); // best effort, as a copy would

    if (beforeRename)
        if (auto allowed = beforeRename(); !allowed) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return allowed;
        }
    if (const auto e = io.rename(temporary, target)) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        if (isLockOrPermission(e))
            return Error{.message = fileInUseMessage(target), .kind = ErrorKind::Busy};
        return Error{.message = quotedFileName(target) + " cannot be replaced: " + e.message(), .kind = ErrorKind::Io};
    }
    syncFolder(target.parent_path());
    return success();
}

namespace {

// Renames without ever replacing: a file that appeared under the target's name meanwhile stays.
// Everything else is the given file operations'.
class NoReplaceSaveIo : public SaveIo {
public:
    explicit NoReplaceSaveIo(SaveIo& io) : m_io(io) {}
    std::FILE* create(const fs::path& path, std::error_code& error) override { return m_io.create(path, error); }
    std::error_code write(std::FILE* file, std::string_view chunk) override { return m_io.write(file, chunk); }
    std::error_code sync(std::FILE* file) override { return m_io.sync(file); }
    std::error_code rename(const fs::path& from, const fs::path& to) override
    {
#ifndef _WIN32
        // A hard link fails when the name is taken, in one step; the temporary name then goes.
        if (::link(from.c_str(), to.c_str()) == 0) {
            std::error_code ignored;
            fs::remove(from, ignored);
            return {};
        }
        if (errno == EEXIST)
            return std::make_error_code(std::errc::file_exists);
#endif
        // No hard links here: check, then rename.
        if (std::error_code ignored; fs::exists(fs::symlink_status(to, ignored)))
            return std::make_error_code(std::errc::file_exists);
        return m_io.rename(from, to);
    }

private:
    SaveIo& m_io;
};

} // namespace

Status saveNewFile(const fs::path& target, std::string_view bytes, ExistingFile existing, SaveIo& io)
{
    if (existing == ExistingFile::Replace)
        return saveFileAtomically(target, bytes, io);
    std::error_code error;
    if (fs::exists(fs::symlink_status(target, error)))
        return Error{.message = quotedFileName(target) + " already exists", .kind = ErrorKind::Exists};
    NoReplaceSaveIo noReplace(io);
    auto saved = saveFileAtomically(target, bytes, noReplace);
    if (!saved && fs::exists(fs::symlink_status(target, error)))
        return Error{.message = quotedFileName(target) + " already exists", .kind = ErrorKind::Exists};
    return saved;
}

} // namespace morvane
