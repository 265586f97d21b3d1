#include "export/workbooklock.h"

#include "common/text.h"
#include "export/atomicsave.h"
#include "export/workbooklock_platform.h"

#include <charconv>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace morvane {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using detail::Found;
using detail::ownerName;
using detail::processOf;

namespace {

constexpr std::size_t kNameField = 54; // the length byte and the name, padded with spaces
constexpr std::size_t kMaxOwner = kNameField - 1;
constexpr std::size_t kRecordSize = detail::kOwnerRecordSize;
constexpr std::string_view kMorvane = "Morvane/";

} // namespace

namespace detail {

std::string ownerName(long pid)
{
    return (std::string(kMorvane) + std::to_string(pid) + "@" + hostName()).substr(0, kMaxOwner);
}

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

} // namespace detail

namespace {

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

std::string openElsewhereMessage(const fs::path& workbook, const fs::path& lockFile, const std::string& who)
{
    return fileInUseMessage(workbook) + " (the lock file '" + pathForMessage(lockFile.filename()) +
           "' shows it is open" + (who.empty() ? "" : " by " + quoteForMessage(who)) +
           "; if no program has it open, delete that file)";
}

// LibreOffice writes one record: the name given in LibreOffice, the account, the computer, the
// time and the profile's URL, each ended by ',' and the last by ';'; a backslash makes the
// character after it plain.
std::string libreOfficeOwnerOf(std::string_view content)
{
    std::vector<std::string> fields(1);
    bool ended = false;
    for (std::size_t i = 0; i < content.size() && !ended; ++i) {
        const char c = content[i];
        if (c == '\\' && i + 1 < content.size())
            fields.back() += content[++i];
        else if (c == ',')
            fields.emplace_back();
        else if (c == ';')
            ended = true;
        else
            fields.back() += c;
    }
    if (!ended || fields.size() < 5)
        return {};
    return fields[0].empty() ? fields[1] : fields[0];
}

std::string morvaneOwner()
{
    return ownerName(detail::currentProcess());
}

WorkbookLock::WorkbookLock(WorkbookLock&& other) noexcept
    : m_owner(std::move(other.m_owner)), m_file(std::exchange(other.m_file, kNoFile))
{
}

WorkbookLock& WorkbookLock::operator=(WorkbookLock&& other) noexcept
{
    if (this != &other) {
        release();
        m_owner = std::move(other.m_owner);
        m_file = std::exchange(other.m_file, kNoFile);
    }
    return *this;
}

bool WorkbookLock::held() const
{
    return m_file != kNoFile;
}

Expected<WorkbookLock> WorkbookLock::acquire(const fs::path& workbook, const LockWait& wait)
{
    const fs::path owner = ownerFileOf(workbook);
    const std::string record = ownerRecord(morvaneOwner());
    const Clock::time_point deadline = Clock::now() + wait.patience;
    bool told = false;
    for (;;) {
        WorkbookLock lock;
        const std::error_code error = lock.make(owner, record);
        if (lock.held())
            return lock;
        if (error != std::errc::file_exists)
            return Error{notMadeMessage(workbook, owner, error)};
        const Found seen = detail::inspect(owner);
        if (seen.kind == Found::Foreign)
            return Error{.message = openElsewhereMessage(workbook, owner, seen.owner), .kind = ErrorKind::Busy};
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
