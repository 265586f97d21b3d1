// TExcelcom on workbook files: the export end to end, and a workbook that stays exactly as it
// was whenever the export fails.

#include "export/excelcom.h"
#include "export/exportcommand.h"

#include "xlsx/xlsxtest.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>

using namespace morvane;
using namespace xlsxtest;
namespace fs = std::filesystem;

namespace {

Grid exportTable()
{
    Grid grid(3, 3, 1, 0);
    const char* cells[3][3] = {{"well", "sample", "1"}, {"A1", "S1", "0.5"}, {"B2", "S2", "1.5"}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            grid.setCell(r, c, cells[r][c]);
    return grid;
}

std::string tableExpectations(const std::string& sheet)
{
    return "range\t" + sheet +
           "\tA1:D4\t0.000\n"
           "cell\t" +
           sheet + "\tA1\ts\twell\ncell\t" + sheet + "\tB1\ts\tsample\ncell\t" + sheet +
           "\tC1\tn\t1\n"
           "cell\t" +
           sheet + "\tA2\ts\tA1\ncell\t" + sheet + "\tB2\ts\tS1\ncell\t" + sheet +
           "\tC2\tn\t0.5\n"
           "cell\t" +
           sheet + "\tA3\ts\tB2\ncell\t" + sheet + "\tB3\ts\tS2\ncell\t" + sheet + "\tC3\tn\t1.5\n";
}

std::string names(const SheetNameList& list)
{
    std::string out;
    for (const auto& n : list.names)
        out += (out.empty() ? "" : ",") + n;
    return out;
}

// Makes one of the save's file operations fail.
class FaultyIo : public SaveIo {
public:
    enum Fault { None, CreateDenied, WriteFailsAfter, SyncFails, RenameDenied, RenameCrossDevice };
    Fault fault = None;
    std::size_t bytesBeforeFailure = 0;

    std::FILE* create(const fs::path& path, std::error_code& error) override
    {
        if (fault == CreateDenied) {
            error = std::make_error_code(std::errc::permission_denied);
            return nullptr;
        }
        return SaveIo::create(path, error);
    }
    std::error_code write(std::FILE* file, std::string_view chunk) override
    {
        if (fault != WriteFailsAfter)
            return SaveIo::write(file, chunk);
        const std::size_t room = bytesBeforeFailure - std::min(bytesBeforeFailure, m_written);
        if (chunk.size() <= room) {
            m_written += chunk.size();
            return SaveIo::write(file, chunk);
        }
        SaveIo::write(file, chunk.substr(0, room));
        m_written += room;
        return std::make_error_code(std::errc::no_space_on_device);
    }
    std::error_code sync(std::FILE* file) override
    {
        return fault == SyncFails ? std::make_error_code(std::errc::io_error) : SaveIo::sync(file);
    }
    std::error_code rename(const fs::path& from, const fs::path& to) override
    {
        if (fault == RenameDenied)
            return std::make_error_code(std::errc::permission_denied); // what Windows reports while Excel holds it
        if (fault == RenameCrossDevice)
            return std::make_error_code(std::errc::cross_device_link);
        return SaveIo::rename(from, to);
    }

private:
    std::size_t m_written = 0;
};

} // namespace

TEST(Excelcom, ExportsIntoANewWorkbookFile)
{
    TempDir dir;
    const fs::path file = dir.path / "run.xlsx";
    TExcelcom excel(file);
    auto outcome = exportGridToWorkbook(excel, exportTable(), "Run12", '.');
    ASSERT_TRUE(outcome.ok()) << outcome.error().message;
    EXPECT_EQ(outcome->sheetName, "Run12");
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"run.xlsx"}));
    const std::string saved = readFile(file);
    EXPECT_TRUE(structuralProblems(saved).empty());
    if (openpyxlAvailable()) {
        EXPECT_EQ(openpyxlProblems(saved, "sheets\tRun12\nactive\tRun12\n" + tableExpectations("Run12")), "");
    }
}

#ifndef _WIN32 // no named pipes in the file system there
TEST(Excelcom, APipeIsRefusedAsNoWorkbookWithoutBlocking)
{
    TempDir dir;
    const fs::path pipe = dir.path / "pipe.xlsx";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    TExcelcom excel(pipe);
    auto outcome = exportGridToWorkbook(excel, exportTable(), "Run12", '.');
    ASSERT_FALSE(outcome.ok());
    EXPECT_NE(outcome.error().message.find("is a named pipe (FIFO), not a workbook"), std::string::npos)
        << outcome.error().message;
}
#endif

TEST(Excelcom, ARepeatedExportAddsANumberedSheetEachTime)
{
    TempDir dir;
    const fs::path file = dir.path / "run.xlsx";
    TExcelcom excel(file);
    // The name box holds the name used last, so the names grow: Run12, Run12_1, Run12_1_1.
    std::string box = "Run12";
    for (const char* expected : {"Run12", "Run12_1", "Run12_1_1"}) {
        auto outcome = exportGridToWorkbook(excel, exportTable(), box, '.');
        ASSERT_TRUE(outcome.ok()) << outcome.error().message;
        EXPECT_EQ(outcome->nameUsed, expected);
        box = outcome->nameUsed;
    }
    ASSERT_TRUE(excel.ExcelRunning().ok());
    auto list = excel.GetSheetNames();
    ASSERT_TRUE(list.ok());
    EXPECT_EQ(names(*list), "Run12_1_1,Run12_1,Run12");
    EXPECT_EQ(list->activeIndex, 0);
    ASSERT_TRUE(excel.CloseConnection().ok());
    const std::string saved = readFile(file);
    EXPECT_TRUE(structuralProblems(saved).empty());
    if (openpyxlAvailable()) {
        EXPECT_EQ(openpyxlProblems(saved, "sheets\tRun12_1_1\tRun12_1\tRun12\nactive\tRun12_1_1\n" +
                                              tableExpectations("Run12") + tableExpectations("Run12_1_1")),
                  "");
    }
}

TEST(Excelcom, ListsTheSheetsOfTheWorkbookWithTheActiveOne)
{
    TempDir dir;
    fs::copy_file(fixture("openpyxl_three.xlsx"), dir.path / "book.xlsx");
    TExcelcom excel(dir.path / "book.xlsx");
    ASSERT_TRUE(excel.ExcelRunning().ok());
    auto list = excel.GetSheetNames();
    ASSERT_TRUE(list.ok());
    EXPECT_EQ(names(*list), "Data,Run12,Notes");
    EXPECT_EQ(list->activeIndex, 1);
    // Nothing changed: closing writes nothing.
    const auto before = fs::last_write_time(dir.path / "book.xlsx");
    ASSERT_TRUE(excel.CloseConnection().ok());
    EXPECT_EQ(fs::last_write_time(dir.path / "book.xlsx"), before);
}

TEST(Excelcom, ExportsIntoAnExistingWorkbookKeepingItsPermissions)
{
    TempDir dir;
    const fs::path file = dir.path / "book.xlsx";
    fs::copy_file(fixture("xlsxwriter_excel_like.xlsx"), file);
#ifndef _WIN32 // Windows has the read-only mark alone
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
    TExcelcom excel(file);
    auto outcome = exportGridToWorkbook(excel, exportTable(), "run12", '.');
    ASSERT_TRUE(outcome.ok()) << outcome.error().message;
    EXPECT_EQ(outcome->nameUsed, "run12_1");
#ifndef _WIN32
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"book.xlsx"}));
    if (openpyxlAvailable()) {
        EXPECT_EQ(openpyxlProblems(readFile(file), "sheets\tSummary\trun12_1\tRun12\tHidden\tChart Data\n"
                                                   "active\trun12_1\n" +
                                                       tableExpectations("run12_1")),
                  "");
    }
}

TEST(Excelcom, AFailedSaveLeavesTheWorkbookByteForByteAndNoTemporaryFile)
{
    const struct {
        FaultyIo::Fault fault;
        std::size_t after;
        const char* message;
    } cases[] = {
        {FaultyIo::CreateDenied, 0, "'book.xlsx' cannot be saved: the folder '"},
        {FaultyIo::WriteFailsAfter, 0, "'book.xlsx' cannot be saved: No space left on device"},
        {FaultyIo::WriteFailsAfter, 1000, "'book.xlsx' cannot be saved: No space left on device"},
        {FaultyIo::SyncFails, 0, "'book.xlsx' cannot be saved: Input/output error"},
        {FaultyIo::RenameDenied, 0, "'book.xlsx' is in use; close it in the other program and export again"},
        {FaultyIo::RenameCrossDevice, 0, "'book.xlsx' cannot be replaced: Invalid cross-device link"},
    };
    const std::string original = readFile(fixture("libreoffice_three.xlsx"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        TempDir dir;
        const fs::path file = dir.path / "book.xlsx";
        writeFile(file, original);
        FaultyIo io;
        io.fault = c.fault;
        io.bytesBeforeFailure = c.after;
        TExcelcom excel(std::make_unique<WorkbookFile>(file, io));
        auto outcome = exportGridToWorkbook(excel, exportTable(), "New", '.');
        ASSERT_FALSE(outcome.ok());
        EXPECT_EQ(outcome.error().message.rfind(c.message, 0), 0u) << outcome.error().message;
        EXPECT_EQ(readFile(file), original);
        EXPECT_EQ(dir.files(), (std::vector<std::string>{"book.xlsx"}));

        // The next export, without the fault, works: nothing of the failed one is left over.
        io.fault = FaultyIo::None;
        auto again = exportGridToWorkbook(excel, exportTable(), "New", '.');
        ASSERT_TRUE(again.ok()) << again.error().message;
        EXPECT_EQ(again->nameUsed, "New");
    }
}

TEST(Excelcom, ALinkToTheWorkbookStaysALink)
{
#ifdef _WIN32
    GTEST_SKIP() << "needs symbolic links, which MinGW's C++ library cannot make (and Windows lets only "
                    "administrators or developer mode make)";
#endif
    TempDir dir;
    fs::create_directory(dir.path / "data");
    fs::copy_file(fixture("openpyxl_three.xlsx"), dir.path / "data" / "book.xlsx");
    fs::create_symlink(dir.path / "data" / "book.xlsx", dir.path / "link.xlsx");
    TExcelcom excel(dir.path / "link.xlsx");
    auto outcome = exportGridToWorkbook(excel, exportTable(), "New", '.');
    ASSERT_TRUE(outcome.ok()) << outcome.error().message;
    EXPECT_TRUE(fs::is_symlink(dir.path / "link.xlsx"));
    EXPECT_NE(readFile(dir.path / "data" / "book.xlsx"), readFile(fixture("openpyxl_three.xlsx")));
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"data", "link.xlsx"}));
}

TEST(Excelcom, RefusesToReplaceAReadOnlyWorkbook)
{
    TempDir dir;
    const fs::path file = dir.path / "book.xlsx";
    fs::copy_file(fixture("openpyxl_three.xlsx"), file);
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
    TExcelcom excel(file);
    auto outcome = exportGridToWorkbook(excel, exportTable(), "New", '.');
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.error().message,
              "'book.xlsx' is read-only; make it writable or choose another workbook, and export again");
    EXPECT_EQ(readFile(file), readFile(fixture("openpyxl_three.xlsx")));
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"book.xlsx"}));
}

TEST(Excelcom, AWorkbookOpenInAnotherProgramIsLeftAlone)
{
    const std::string inUse = "'book.xlsx' is in use; close it in the other program and export again (the lock file ";
    const struct {
        const char* lock;
        std::string content;
        std::string message;
    } cases[] = {
        {"~$book.xlsx", ownerRecord("Alice"),
         inUse + "'~$book.xlsx' shows it is open by 'Alice'; if no program has it open, delete that file)"},
        {".~lock.book.xlsx#",
         "Smith\\, Alice,asmith,lab-pc,08.12.2026 07:05,file:///home/asmith/.config/libreoffice/4;",
         inUse +
             "'.~lock.book.xlsx#' shows it is open by 'Smith, Alice'; if no program has it open, delete that file)"},
        {".~lock.book.xlsx#", ",asmith,lab-pc,08.12.2026 07:05,file:///home/asmith/.config/libreoffice/4;",
         inUse + "'.~lock.book.xlsx#' shows it is open by 'asmith'; if no program has it open, delete that file)"},
        {".~lock.book.xlsx#", "owner",
         inUse + "'.~lock.book.xlsx#' shows it is open; if no program has it open, delete that file)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        TempDir dir;
        const fs::path file = dir.path / "book.xlsx";
        fs::copy_file(fixture("openpyxl_three.xlsx"), file);
        writeFile(dir.path / c.lock, c.content);
        TExcelcom excel(file);
        auto outcome = exportGridToWorkbook(excel, exportTable(), "New", '.');
        ASSERT_FALSE(outcome.ok());
        EXPECT_EQ(outcome.error().message, c.message);
        EXPECT_EQ(readFile(file), readFile(fixture("openpyxl_three.xlsx")));
    }
}

TEST(Excelcom, AWorkbookChangedDuringTheExportIsNotOverwritten)
{
    TempDir dir;
    const fs::path file = dir.path / "book.xlsx";
    fs::copy_file(fixture("openpyxl_three.xlsx"), file);
    TExcelcom excel(file);
    ASSERT_TRUE(excel.ExcelRunning().ok());
    ASSERT_TRUE(excel.AddSheet("New").ok());
    const std::string theirs = readFile(fixture("openpyxl_printarea.xlsx")) + "saved by someone else";
    writeFile(file, theirs);
    const Status closed = excel.CloseConnection();
    ASSERT_FALSE(closed.ok());
    EXPECT_EQ(closed.error().message, "'book.xlsx' was changed by another program during the export; export again");
    EXPECT_EQ(readFile(file), theirs);
}

TEST(Excelcom, AStepThatFailsDropsTheChangesOfTheExport)
{
    TempDir dir;
    const fs::path file = dir.path / "book.xlsx";
    fs::copy_file(fixture("openpyxl_three.xlsx"), file);
    TExcelcom excel(file);
    ValueBlock tooLongText(1, 1);
    tooLongText.at(1, 1) = std::string(40000, 'x');
    ASSERT_TRUE(excel.ExcelRunning().ok());
    ASSERT_TRUE(excel.AddSheet("New").ok());
    ASSERT_TRUE(excel.OpenActiveSheet().ok());
    EXPECT_FALSE(excel.WriteRange(1, 1, 1, 1, tooLongText).ok());
    EXPECT_TRUE(excel.CloseConnection().ok()); // nothing left to save
    EXPECT_EQ(readFile(file), readFile(fixture("openpyxl_three.xlsx")));

    auto refused = exportGridToWorkbook(excel, exportTable(), "a:b", '.');
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().message.find("contains ':'"), std::string::npos);
    EXPECT_EQ(readFile(file), readFile(fixture("openpyxl_three.xlsx")));
}

TEST(Excelcom, AChartSheetIsNoWorksheetToOpen)
{
    TExcelcom excel(std::make_unique<WorkbookInMemory>(readFile(fixture("openpyxl_chartsheet.xlsx"))));
    const Status opened = excel.OpenActiveSheet();
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error().message, "The active sheet 'Chart1' of 'workbook.xlsx' is a chart sheet, not a worksheet");
}

TEST(Excelcom, WorkbooksThatCannotBeEditedAreReportedBeforeAnythingChanges)
{
    const std::pair<const char*, const char*> cases[] = {
        {"encrypted.xlsx", "'book.xlsx' is protected with a password"},
        {"legacy_xls.xls", "'book.xlsx' is an Excel 97-2003 workbook (.xls)"},
        {"binary.xlsb", "'book.xlsx' is an Excel Binary Workbook (.xlsb)"},
        {"strict.xlsx", "'book.xlsx' is saved as Strict Open XML"},
        {"protected_structure.xlsx", "'book.xlsx' has a protected workbook structure"},
        {"doctype_workbook.xlsx", "'book.xlsx' cannot be opened as a workbook: part 'xl/workbook.xml' holds a"},
    };
    for (const auto& [source, message] : cases) {
        TempDir dir;
        const fs::path file = dir.path / "book.xlsx";
        fs::copy_file(fixture(source), file);
        TExcelcom excel(file);
        const Status running = excel.ExcelRunning();
        ASSERT_FALSE(running.ok()) << source;
        EXPECT_EQ(running.error().message.rfind(message, 0), 0u) << running.error().message;
        EXPECT_FALSE(excel.AddSheet("New").ok());
        EXPECT_TRUE(excel.CloseConnection().ok());
        EXPECT_EQ(readFile(file), readFile(fixture(source)));
        EXPECT_EQ(dir.files(), (std::vector<std::string>{"book.xlsx"}));
    }
}

TEST(Excelcom, AWorkbookPathMustBeAFileOrANewXlsx)
{
    TempDir dir;
    fs::create_directory(dir.path / "folder.xlsx");
    const std::pair<fs::path, const char*> cases[] = {
        {dir.path / "folder.xlsx", "'folder.xlsx' is a folder, not a workbook"},
        {dir.path / "new.xls", "'new.xls' does not exist, and a new workbook needs the extension .xlsx"},
        {dir.path / "missing" / "new.xlsx", "The folder '"},
    };
    for (const auto& [path, message] : cases) {
        TExcelcom excel(path);
        const Status running = excel.ExcelRunning();
        ASSERT_FALSE(running.ok()) << path;
        EXPECT_EQ(running.error().message.rfind(message, 0), 0u) << running.error().message;
    }
    EXPECT_FALSE(TExcelcom().ExcelRunning().ok());
}

TEST(Excelcom, WorksOnBytesInMemoryWritingThemOncePerExport)
{
    auto store = std::make_unique<WorkbookInMemory>(readFile(fixture("openpyxl_three.xlsx")));
    WorkbookInMemory* memory = store.get();
    TExcelcom excel(std::move(store));
    auto outcome = exportGridToWorkbook(excel, exportTable(), "Run12", '.');
    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(outcome->sheetName, "Run12_1");
    EXPECT_EQ(memory->storeCount(), 1);
    ASSERT_TRUE(memory->bytes().has_value());
    EXPECT_TRUE(structuralProblems(*memory->bytes()).empty());
}
