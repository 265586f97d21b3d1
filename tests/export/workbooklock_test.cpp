// Writers of one workbook file: two at once keep both sheets, a second Morvane writer waits for
// the first, owner files in the way are waited for, refused or (when stale) removed, a change
// made just before the rename is caught, and a file this process may not write is refused.

#include "export/atomicsave.h"
#include "export/excelcom.h"
#include "export/exportcommand.h"
#include "export/workbooklock.h"

#include "xlsx/xlsxtest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace morvane;
using namespace xlsxtest;
namespace fs = std::filesystem;
using ::testing::StartsWith;

namespace {

Grid exportTable()
{
    Grid grid(2, 2, 1, 0);
    grid.setCell(0, 0, "well");
    grid.setCell(0, 1, "1");
    grid.setCell(1, 0, "A1");
    grid.setCell(1, 1, "0.5");
    return grid;
}

std::vector<std::string> sheetNames(const fs::path& file)
{
    auto book = XlsxWorkbook::open(readFile(file), "book.xlsx");
    EXPECT_TRUE(book.ok()) << (book.ok() ? "" : book.error().message);
    std::vector<std::string> names;
    if (book.ok())
        for (const SheetTab& tab : book->tabs())
            names.push_back(tab.name);
    return names;
}

[[maybe_unused]] int countStartingWith(const std::vector<std::string>& names, char first) // for the POSIX tests
{
    return static_cast<int>(
        std::count_if(names.begin(), names.end(), [&](const std::string& n) { return n[0] == first; }));
}

std::string withoutSheet(std::vector<std::string> names, const std::string& sheet)
{
    std::string out;
    for (const std::string& name : names)
        if (name != sheet)
            out += name + ",";
    return out;
}

LockWait patience(std::chrono::milliseconds span, std::vector<std::string>* notices = nullptr)
{
    LockWait wait;
    wait.patience = span;
    if (notices)
        wait.waiting = [notices](std::string_view text) { notices->emplace_back(text); };
    return wait;
}

} // namespace

TEST(WorkbookLock, TheOwnerFileHasExcelsLayout)
{
    const std::string record = ownerRecord("Morvane/42@lab-pc");
    ASSERT_EQ(record.size(), 165u);
    EXPECT_EQ(record.substr(0, 19), "\x11Morvane/42@lab-pc ");
    EXPECT_EQ(record.substr(54, 6), std::string("\x11\0M\0o\0", 6));
    EXPECT_EQ(record.substr(88, 4), std::string("c\0 \0", 4)); // then UTF-16 spaces

    const std::pair<std::string, std::string> cases[] = {
        {ownerRecord("Alice"), "Alice"},
        {ownerRecord(std::string(60, 'x')), std::string(53, 'x')}, // the name field holds 53 bytes
        {"owner", ""},                                             // too short to be a record
        {std::string(165, '\0'), ""},                              // no name
        {"\x40" + std::string(164, ' '), ""},                      // a length beyond the field
    };
    for (const auto& [content, owner] : cases)
        EXPECT_EQ(ownerOf(content), owner) << content.size();
#ifndef _WIN32
    EXPECT_THAT(morvaneOwner(), StartsWith("Morvane/" + std::to_string(::getpid()) + "@"));
#endif
}

#ifndef _WIN32

// Two writers, as two processes or as two threads, each adding a sheet many times: the workbook
// ends with every sheet of both, and nothing beside it.
TEST(WorkbookLock, TwoWritersAtOnceKeepEverySheet)
{
    constexpr int kRounds = 15;
    for (const bool processes : {true, false}) {
        SCOPED_TRACE(processes ? "processes" : "threads");
        TempDir dir;
        const fs::path file = dir.path / "book.xlsx";
        fs::copy_file(fixture("openpyxl_three.xlsx"), file);
        const auto writer = [&](const char* name) {
            int failures = 0;
            for (int i = 0; i < kRounds; ++i) {
                TExcelcom excel(file);
                if (!exportGridToWorkbook(excel, exportTable(), name, '.').ok())
                    ++failures;
            }
            return failures;
        };
        int failuresA = 0;
        int failuresB = 0;
        if (processes) {
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0)
                ::_exit(writer("B"));
            failuresA = writer("A");
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status));
            failuresB = WEXITSTATUS(status);
        } else {
            std::thread other([&] { failuresB = writer("B"); });
            failuresA = writer("A");
            other.join();
        }
        EXPECT_EQ(failuresA, 0);
        EXPECT_EQ(failuresB, 0);
        const auto names = sheetNames(file);
        EXPECT_EQ(countStartingWith(names, 'A'), kRounds);
        EXPECT_EQ(countStartingWith(names, 'B'), kRounds);
        EXPECT_EQ(names.size(), 3u + 2 * kRounds);
        EXPECT_TRUE(structuralProblems(readFile(file)).empty());
        EXPECT_EQ(dir.files(), (std::vector<std::string>{"book.xlsx"}));
    }
}

#endif

TEST(WorkbookLock, ASecondWriterWaitsThenAddsItsSheetToTheNewFile)
{
    TempDir dir;
    const fs::path file = dir.path / "book.xlsx";
    fs::copy_file(fixture("openpyxl_three.xlsx"), file);
    auto first = WorkbookLock::acquire(file);
    ASSERT_TRUE(first.ok()) << first.error().message;
    EXPECT_EQ(ownerOf(readFile(dir.path / "~$book.xlsx")), morvaneOwner());

    std::vector<std::string> notices;
    LockWait wait = patience(std::chrono::seconds(10), &notices);
    wait.waiting = [&](std::string_view text) {
        notices.emplace_back(text);
        // Meanwhile the first writer saves a workbook of other sheets, and finishes.
        writeFile(file, readFile(fixture("openpyxl_printarea.xlsx")));
        first->release();
    };
    TExcelcom excel(file, wait);
    auto outcome = exportGridToWorkbook(excel, exportTable(), "New", '.');
    ASSERT_TRUE(outcome.ok()) << outcome.error().message;
    EXPECT_EQ(notices,
              std::vector<std::string>{
                  "'book.xlsx' is being written by another Morvane export; waiting up to 10 s for it to finish"});
    TempDir theirs;
    fs::copy_file(fixture("openpyxl_printarea.xlsx"), theirs.path / "theirs.xlsx");
    EXPECT_EQ(withoutSheet(sheetNames(file), "New"), withoutSheet(sheetNames(theirs.path / "theirs.xlsx"), ""));
    EXPECT_EQ(sheetNames(file).at(0), "New");
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"book.xlsx"}));
}

#ifndef _WIN32

namespace {

// A process that has ended.
long deadProcess()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

} // namespace

TEST(WorkbookLock, OwnerFilesInTheWayAreWaitedForRefusedOrRemovedWhenStale)
{
    const std::string mine = morvaneOwner();
    const std::string host = mine.substr(mine.find('@') + 1);
    const struct {
        const char* what;
        std::string content;
        bool old;
        const char* refusal; // empty: the export goes ahead
        bool waits;
    } cases[] = {
        {"of a process of ours that died", ownerRecord("Morvane/" + std::to_string(deadProcess()) + "@" + host), false,
         "", false},
        // A live writer holds its lock as long as its file is there: unlocked, it is stale.
        {"of ours that no lock holds", ownerRecord(mine), false, "", false},
        {"empty, from long ago", "", true, "", false},
        {"empty, just being made", "", false,
         "'book.xlsx' is still being written by another Morvane export after 200 ms; export again when it has finished",
         true},
        {"of another computer", ownerRecord("Morvane/1@another-computer"), false,
         "'book.xlsx' is being written by Morvane on 'another-computer' (the lock file '~$book.xlsx'); export again "
         "when it has finished, or delete that file if Morvane is not running there",
         true},
        {"of Excel", ownerRecord("Alice"), true,
         "'book.xlsx' is in use; close it in the other program and export again (the lock file '~$book.xlsx' shows it "
         "is open by 'Alice'; if no program has it open, delete that file)",
         false},
        // A name from a file never reaches a terminal raw.
        {"of a user whose name steers a terminal", ownerRecord("Eve\x1B]2;owned\x07\nx"), true,
         "'book.xlsx' is in use; close it in the other program and export again (the lock file '~$book.xlsx' shows it "
         "is open by 'Eve\\x1B]2;owned\\x07\\nx'; if no program has it open, delete that file)",
         false},
        {"of another computer whose name steers a terminal", ownerRecord("Morvane/1@far\x1B[2J"), false,
         "'book.xlsx' is being written by Morvane on 'far\\x1B[2J' (the lock file '~$book.xlsx'); export again "
         "when it has finished, or delete that file if Morvane is not running there",
         true},
    };
    const std::string original = readFile(fixture("openpyxl_three.xlsx"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const fs::path file = dir.path / "book.xlsx";
        const fs::path owner = dir.path / "~$book.xlsx";
        writeFile(file, original);
        writeFile(owner, c.content);
        if (c.old)
            fs::last_write_time(owner, fs::file_time_type::clock::now() - std::chrono::minutes(1));
        std::vector<std::string> notices;
        TExcelcom excel(file, patience(std::chrono::milliseconds(200), &notices));
        auto outcome = exportGridToWorkbook(excel, exportTable(), "New", '.');
        EXPECT_EQ(notices.size(), c.waits ? 1u : 0u);
        if (*c.refusal == '\0') {
            ASSERT_TRUE(outcome.ok()) << outcome.error().message;
            EXPECT_EQ(dir.files(), (std::vector<std::string>{"book.xlsx"}));
            continue;
        }
        ASSERT_FALSE(outcome.ok());
        EXPECT_EQ(outcome.error().message, c.refusal);
        EXPECT_EQ(readFile(file), original);
        EXPECT_EQ(readFile(owner), c.content);
    }
}

#endif

#ifdef _WIN32

// The owner file while a writer holds it: anyone may read who has the workbook (as Excel does to
// say so), nobody may delete, rename or overwrite it; released, it is gone.
TEST(WindowsOwnerFile, IsReadableButCannotBeTakenAwayWhileHeld)
{
    TempDir dir;
    const fs::path file = dir.path / "book.xlsx";
    const fs::path owner = dir.path / "~$book.xlsx";
    writeFile(file, "x");
    auto lock = WorkbookLock::acquire(file);
    ASSERT_TRUE(lock.ok()) << lock.error().message;
    EXPECT_EQ(ownerOf(readFile(owner)), morvaneOwner());
    std::error_code error;
    EXPECT_FALSE(fs::remove(owner, error));
    fs::rename(owner, dir.path / "moved", error);
    EXPECT_TRUE(error);
    EXPECT_FALSE(std::ofstream(owner, std::ios::binary | std::ios::app).is_open());
    EXPECT_TRUE(lock->stillOwned());
    lock->release();
    EXPECT_FALSE(fs::exists(owner));
}

// What another writer finds: a Morvane owner file that nobody holds was left by a writer that
// died, and goes; one that another program holds (Excel) refuses the export, naming the owner.
TEST(WindowsOwnerFile, AStaleOneGoesAndOneHeldByAnotherProgramRefuses)
{
    TempDir dir;
    const fs::path file = dir.path / "book.xlsx";
    const fs::path owner = dir.path / "~$book.xlsx";
    writeFile(file, "x");
    writeFile(owner, ownerRecord(morvaneOwner()));
    {
        auto lock = WorkbookLock::acquire(file, patience(std::chrono::milliseconds(200)));
        ASSERT_TRUE(lock.ok()) << lock.error().message;
    }
    EXPECT_FALSE(fs::exists(owner));

    writeFile(owner, ownerRecord("Alice"));
    HANDLE excel = ::CreateFileW(owner.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(excel, INVALID_HANDLE_VALUE);
    auto refused = WorkbookLock::acquire(file, patience(std::chrono::milliseconds(200)));
    ::CloseHandle(excel);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message,
              "'book.xlsx' is in use; close it in the other program and export again (the lock file '~$book.xlsx' "
              "shows it is open by 'Alice'; if no program has it open, delete that file)");
    EXPECT_TRUE(fs::exists(owner));
}

#endif

namespace {

// Another program acts while the new workbook is being written, after the first check.
class Meanwhile : public SaveIo {
public:
    std::function<void()> action;
    std::error_code sync(std::FILE* file) override
    {
        action();
        return SaveIo::sync(file);
    }
};

} // namespace

TEST(WorkbookLock, AChangeJustBeforeTheRenameIsNotOverwritten)
{
    const std::string original = readFile(fixture("openpyxl_three.xlsx"));
    const std::string theirs = readFile(fixture("openpyxl_printarea.xlsx"));
    const struct {
        const char* what;
        std::function<void(const fs::path& dir)> action;
        std::string message;
    } cases[] = {
        {"saved by another program", [&](const fs::path& dir) { writeFile(dir / "book.xlsx", theirs); },
         "'book.xlsx' was changed by another program during the export; export again"},
        // The same bytes as a new file, as a copy over it makes.
        {"replaced by a copy of itself",
         [&](const fs::path& dir) {
             const auto time = fs::last_write_time(dir / "book.xlsx");
             writeFile(dir / "copy.xlsx", original);
             fs::last_write_time(dir / "copy.xlsx", time);
             fs::rename(dir / "copy.xlsx", dir / "book.xlsx");
         },
         "'book.xlsx' was changed by another program during the export; export again"},
#ifndef _WIN32 // there nobody else can remove it (WindowsOwnerFile)
        {"its lock file removed", [&](const fs::path& dir) { fs::remove(dir / "~$book.xlsx"); },
         "'book.xlsx' cannot be saved: its lock file '~$book.xlsx' was removed by another program during the export; "
         "export again"},
#endif
        {"opened in LibreOffice", [&](const fs::path& dir) { writeFile(dir / ".~lock.book.xlsx#", "x"); },
         "'book.xlsx' is in use; close it in the other program and export again (the lock file '.~lock.book.xlsx#' "
         "shows it is open; if no program has it open, delete that file)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const fs::path file = dir.path / "book.xlsx";
        writeFile(file, original);
        Meanwhile io;
        io.action = [&] { c.action(dir.path); };
        TExcelcom excel(std::make_unique<WorkbookFile>(file, io));
        auto outcome = exportGridToWorkbook(excel, exportTable(), "New", '.');
        ASSERT_FALSE(outcome.ok());
        EXPECT_EQ(outcome.error().message, c.message);
        EXPECT_EQ(withoutSheet(sheetNames(file), "New"), withoutSheet(sheetNames(file), ""));
        for (const std::string& name : dir.files())
            EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
    }
}

#ifndef _WIN32

namespace {

// Runs `work` in a child process as the user nobody, and returns what it returned.
std::string asNobody(const std::function<std::string()>& work)
{
    int pipe[2];
    if (::pipe(pipe) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        std::string result = ::setgid(65534) == 0 && ::setuid(65534) == 0 ? work() : "cannot become nobody";
        [[maybe_unused]] const auto written = ::write(pipe[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(pipe[1]);
    std::string result;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, static_cast<std::size_t>(n));
    ::close(pipe[0]);
    ::waitpid(child, nullptr, 0);
    return result;
}

} // namespace

// The owner's write bit is not this process's right: a workbook of another user, or in a folder
// this process may not write, or in a sticky folder, is refused, and stays as it was.
TEST(WorkbookLock, AWorkbookThisProcessMayNotReplaceIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to make files of another user and to run as another";
    const std::string original = readFile(fixture("openpyxl_three.xlsx"));
    const struct {
        fs::perms folder;
        fs::perms file;
        const char* message; // after "'book.xlsx' "; {} stands for the folder
    } cases[] = {
        {fs::perms::all, fs::perms(0644),
         "is read-only; make it writable or choose another workbook, and export again"},
        {fs::perms::all | fs::perms::sticky_bit, fs::perms(0666),
         "cannot be replaced: in the folder '{}' only its owner may replace it; choose another workbook, and export "
         "again"},
        {fs::perms(0755), fs::perms(0666), "cannot be saved: the folder '{}' is not writable (Permission denied)"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const fs::path file = dir.path / "book.xlsx";
        writeFile(file, original);
        fs::permissions(file, c.file);
        fs::permissions(dir.path, c.folder);
        std::string expected = std::string("'book.xlsx' ") + c.message;
        if (const auto at = expected.find("{}"); at != std::string::npos)
            expected.replace(at, 2, dir.path.string());
        SCOPED_TRACE(expected);

        EXPECT_EQ(asNobody([&] {
                      const Status saved = saveFileAtomically(file, "new bytes");
                      return saved.ok() ? std::string("saved") : saved.error().message;
                  }),
                  expected);
        // The whole export, as far as it gets.
        const std::string exported = asNobody([&] {
            TExcelcom excel(file);
            auto outcome = exportGridToWorkbook(excel, exportTable(), "New", '.');
            return outcome.ok() ? std::string("saved") : outcome.error().message;
        });
        EXPECT_NE(exported, "saved");
        EXPECT_EQ(readFile(file), original);
        EXPECT_EQ(dir.files(), (std::vector<std::string>{"book.xlsx"}));
    }
}

// A write removes the temporary files killed writes of the same file left behind, and no
// other: not one a live writer holds, not one just made, not those of other files.
TEST(WorkbookLock, AWriteRemovesTheTemporaryFilesOfKilledWrites)
{
    TempDir dir;
    const struct {
        const char* name;
        bool old;
        bool locked;
        bool removed;
    } left[] = {
        {".book.xlsx.0123456789ab.tmp", true, false, true},   {".book.xlsx.fedcba987654.tmp", true, true, false},
        {".book.xlsx.00112233aabb.tmp", false, false, false}, {".book.xlsx.notes.tmp", true, false, false},
        {".other.xlsx.0123456789ab.tmp", true, false, false}, {"book.xlsx.0123456789ab.tmp", true, false, false},
    };
    std::vector<int> held;
    for (const auto& file : left) {
        const fs::path path = dir.path / file.name;
        writeFile(path, "half a workbook");
        if (file.old)
            fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::minutes(1));
        if (file.locked) {
            held.push_back(::open(path.c_str(), O_RDONLY));
            ASSERT_EQ(::flock(held.back(), LOCK_EX | LOCK_NB), 0);
        }
    }
    ASSERT_TRUE(saveFileAtomically(dir.path / "book.xlsx", "bytes").ok());
    for (const auto& file : left)
        EXPECT_EQ(fs::exists(dir.path / file.name), !file.removed) << file.name;
    for (int fd : held)
        ::close(fd);
}

// The temporary name is longer than the file's: a name up to the folder's limit is saved all
// the same, with no temporary file left.
TEST(WorkbookLock, NamesUpToTheFoldersLimitAreSaved)
{
    const std::string accents = [] {
        std::string text;
        for (int i = 0; i < 125; ++i)
            text += "\u00e9";
        return text;
    }();
    for (const std::string& name :
         {std::string(233, 'b') + ".xlsx", std::string(250, 'b') + ".xlsx", accents + ".tsv"}) {
        TempDir dir;
        const Status saved = saveFileAtomically(dir.path / name, "bytes");
        ASSERT_TRUE(saved.ok()) << name.size() << ": " << saved.error().message;
        EXPECT_EQ(readFile(dir.path / name), "bytes");
        EXPECT_EQ(dir.files(), std::vector<std::string>{name});
    }
}

#endif
