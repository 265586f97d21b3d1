#include "export/atomicsave.h"

#include "common/text.h"

#include <cerrno>
#include <random>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
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

fs::path temporaryName(const fs::path& target)
{
    static std::mt19937_64 random{std::random_device{}()};
    static constexpr char digits[] = "0123456789abcdef";
    std::string suffix;
    for (std::uint64_t v = random(); suffix.size() < 12; v >>= 4)
        suffix += digits[v & 0xF];
    fs::path name = target;
    name.replace_filename("." + target.filename().string() + "." + suffix + ".tmp");
    return name;
}

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
        return Error{quotedFileName(target) + " cannot be saved: the folder '" + folder.string() +
                     "' is not writable (" + std::generic_category().message(errno) + ")"};
    struct stat file {};
    struct stat place {};
    const uid_t me = ::geteuid();
    if (exists && me != 0 && ::stat(target.c_str(), &file) == 0 && ::stat(folder.c_str(), &place) == 0 &&
        (place.st_mode & S_ISVTX) != 0 && file.st_uid != me && place.st_uid != me)
        return Error{quotedFileName(target) + " cannot be replaced: in the folder '" + folder.string() +
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

    const fs::path temporary = temporaryName(target);
    std::FILE* file = io.create(temporary, error);
    if (!file) {
        const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
        if (isLockOrPermission(error) || error == std::errc::read_only_file_system)
            return Error{quotedFileName(target) + " cannot be saved: the folder '" + folder.string() +
                         "' is not writable (" + error.message() + ")"};
        return Error{.message = quotedFileName(target) + " cannot be saved: no temporary file can be made in '" +
                                folder.string() + "' (" + error.message() + ")",
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
