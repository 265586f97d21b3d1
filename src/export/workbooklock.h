#pragma once
// One writer at a time on a workbook file. The writer creates the owner file "~$<name>" beside
// the workbook, exclusively, as Excel does for an open workbook, so Excel and LibreOffice users
// see it as being edited; an owner file that someone else made means the workbook is open
// elsewhere. Our own processes also hold an OS lock on the owner file while it is theirs: a
// second Morvane writer sees the lock and waits, and an owner file of ours that nobody holds
// was left by a process that died, and is removed.

#include "common/expected.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace morvane {

struct LockWait {
    // How long a writer waits for another Morvane writer of the same workbook.
    std::chrono::milliseconds patience{10'000};
    std::chrono::milliseconds poll{50};
    // Told once, when the writer starts waiting; never when it need not wait.
    std::function<void(std::string_view)> waiting;
};

// "~$<name>" beside the workbook.
std::filesystem::path ownerFileOf(const std::filesystem::path& workbook);

// The owner file's content in the layout Excel writes (a length byte and the user name padded
// to 54 bytes, then the name again in UTF-16), so that Excel names the owner when it refuses
// to open the workbook. `user` is cut to 53 bytes.
std::string ownerRecord(std::string_view user);
// The user name in an owner file's content; empty when it is not in that layout.
std::string ownerOf(std::string_view record);
// The user a LibreOffice lock file (".~lock.<name>#") names: the name given in LibreOffice,
// else the account's; empty when the content is not in that layout.
std::string libreOfficeOwnerOf(std::string_view content);
// That the workbook is open in another program, as its lock file `lockFile` shows, by `who`
// when the lock file names anyone.
std::string openElsewhereMessage(const std::filesystem::path& workbook, const std::filesystem::path& lockFile,
                                 const std::string& who);
// The user name this process writes: "Morvane/<pid>@<host>", a name no Windows account can have.
std::string morvaneOwner();

class WorkbookLock {
public:
    WorkbookLock() = default;
    WorkbookLock(WorkbookLock&& other) noexcept;
    WorkbookLock& operator=(WorkbookLock&& other) noexcept;
    WorkbookLock(const WorkbookLock&) = delete;
    WorkbookLock& operator=(const WorkbookLock&) = delete;
    ~WorkbookLock() { release(); }

    // Takes the workbook for writing. Waits for another Morvane writer up to `wait.patience`;
    // refuses at once when another program's owner file is there, or when the owner file
    // cannot be made (a folder that is not writable). Messages name the workbook.
    static Expected<WorkbookLock> acquire(const std::filesystem::path& workbook, const LockWait& wait = {});

    bool held() const;
    // Whether the owner file on disk is still the one this lock made.
    bool stillOwned() const;
    // Removes the owner file, if it is still ours, and ends the lock.
    void release();

private:
    // Makes the owner file, exclusively, keeps it open and writes `record` to it (the system's
    // own calls: workbooklock_posix.cpp, workbooklock_windows.cpp). Held when made; otherwise
    // file_exists when a file is in the way, or the cause, with nothing left behind.
    std::error_code make(const std::filesystem::path& owner, std::string_view record);

    static constexpr std::intptr_t kNoFile = -1;
    std::filesystem::path m_owner;
    std::intptr_t m_file = kNoFile; // the open owner file: a descriptor, or a HANDLE on Windows
};

} // namespace morvane
