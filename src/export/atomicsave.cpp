#include "export/atomicsave.h"

#include "common/text.h"
#include "export/atomicsave_platform.h"

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>

namespace morvane {

namespace fs = std::filesystem;

using detail::isTemporaryOf;
using detail::readOnlyMessage;
using detail::temporaryPrefix;

std::FILE* SaveIo::create(const fs::path& path, std::error_code& error)
{
    std::FILE* file = detail::createNewFile(path);
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
    if (!detail::syncToDisk(file))
        return std::error_code(errno, std::generic_category());
    return {};
}

std::error_code SaveIo::rename(const fs::path& from, const fs::path& to)
{
    return detail::replaceFile(from, to);
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

} // namespace

namespace detail {

// A dot, the file name (cut, never within a UTF-8 character, so that the whole name stays within
// the folder's limit), a dot.
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

bool isTemporaryOf(std::string_view name, std::string_view prefix)
{
    if (name.size() != prefix.size() + kTemporarySuffixDigits + 4 || !name.starts_with(prefix) ||
        !name.ends_with(".tmp"))
        return false;
    const std::string_view digits = name.substr(prefix.size(), kTemporarySuffixDigits);
    return std::all_of(digits.begin(), digits.end(), [](char c) { return isAsciiDigit(c) || (c >= 'a' && c <= 'f'); });
}

std::string readOnlyMessage(const fs::path& target)
{
    return quotedFileName(target) + " is read-only; make it writable or choose another workbook, and export again";
}

} // namespace detail

namespace {

fs::path temporaryName(const fs::path& target)
{
    static std::mt19937_64 random{detail::randomSeed()};
    static constexpr char digits[] = "0123456789abcdef";
    std::string suffix;
    for (std::uint64_t v = random(); suffix.size() < kTemporarySuffixDigits; v >>= 4)
        suffix += digits[v & 0xF];
    fs::path name = target;
    name.replace_filename(temporaryPrefix(target) + suffix + ".tmp");
    return name;
}

// Whether this process may replace the file: the read-only mark, then what the system tells
// beyond it.
Status checkReplaceable(const fs::path& target, const fs::file_status& status, bool exists)
{
    if (exists && (status.permissions() & fs::perms::owner_write) == fs::perms::none)
        return Error{readOnlyMessage(target)};
    return detail::checkWriteAccess(target, exists);
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

    detail::removeAbandonedTemporaries(target);
    const fs::path temporary = temporaryName(target);
    std::FILE* file = io.create(temporary, error);
    // Not an optional lock: GCC 12 then warns that the descriptor may be used uninitialised.
    const detail::TemporaryLock locked(file);
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
    detail::syncFolder(target.parent_path());
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
        if (const auto renamed = detail::renameWithoutReplacing(from, to))
            return *renamed;
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
