// The export command's sequence of Excel operations, against a fake Excel that records them.

#include "export/excelcom.h"
#include "export/exportcommand.h"
#include "xlsx/sheetname.h"
#include "xlsx/valueblock.h"
#include "xlsx/workbook.h"

#include <gtest/gtest.h>

#include <optional>

using namespace morvane;

namespace {

class RecordingExcel : public ExcelAutomation {
public:
    std::vector<std::string> calls;
    SheetNameList sheets{{"Data", "Run12", "Chart1"}, 1};
    std::string failingCall; // this operation fails with "Excel says no"
    std::optional<ValueBlock> written;

    Status ExcelRunning() override { return record("ExcelRunning"); }
    Expected<SheetNameList> GetSheetNames() override
    {
        if (auto s = record("GetSheetNames"); !s)
            return s.error();
        return sheets;
    }
    Expected<std::string> AddSheet(std::string_view wantedName) override
    {
        if (auto s = record("AddSheet(" + std::string(wantedName) + ")"); !s)
            return s.error();
        return wantedName.empty() ? std::string("Sheet4") : std::string(wantedName);
    }
    Status OpenActiveSheet() override { return record("OpenActiveSheet"); }
    Status WriteRange(int firstCol, int lastCol, int firstRow, int lastRow, const ValueBlock& block) override
    {
        written = block;
        return record("WriteRange(" + std::to_string(firstCol) + "," + std::to_string(lastCol) + "," +
                      std::to_string(firstRow) + "," + std::to_string(lastRow) + ")");
    }
    Status CloseConnection() override { return record("CloseConnection"); }

private:
    Status record(std::string call)
    {
        calls.push_back(call);
        if (!failingCall.empty() && call.rfind(failingCall, 0) == 0)
            return Error{"Excel says no"};
        return success();
    }
};

Grid exportTable()
{
    Grid grid(3, 4, 1, 0);
    const char* cells[3][4] = {{"well", "sample", "1", "2"}, {"A1", "S1", "0.5", "1.5"}, {"B2", "S2", "x", "2"}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            grid.setCell(r, c, cells[r][c]);
    return grid;
}

using Calls = std::vector<std::string>;

} // namespace

TEST(ExportCommand, RunsTheSixOperationsInOrderWithOneWriteOfTheWholeBlock)
{
    RecordingExcel excel;
    const Grid grid = exportTable();
    auto outcome = exportGridToWorkbook(excel, grid, "run12", '.');
    ASSERT_TRUE(outcome.ok()) << outcome.error().message;
    EXPECT_EQ(outcome->status, ExportOutcome::Exported);
    EXPECT_EQ(outcome->nameUsed, "run12_1");
    EXPECT_EQ(outcome->sheetName, "run12_1");
    // A 3 x 4 table goes out as one 4 x 5 block onto A1:E4.
    EXPECT_EQ(excel.calls, (Calls{"ExcelRunning", "GetSheetNames", "AddSheet(run12_1)", "OpenActiveSheet",
                                  "WriteRange(1,5,1,4)", "CloseConnection"}));
    ASSERT_TRUE(excel.written.has_value());
    const ValueBlock expected = makeValueBlock(grid, '.');
    ASSERT_EQ(excel.written->rows(), expected.rows());
    ASSERT_EQ(excel.written->cols(), expected.cols());
    for (int i = 1; i <= expected.rows(); ++i)
        for (int j = 1; j <= expected.cols(); ++j)
            EXPECT_EQ(excel.written->at(i, j), expected.at(i, j));
}

TEST(ExportCommand, ANameOfMoreThan31CharactersStopsBeforeTheWorkbookIsTouched)
{
    RecordingExcel excel;
    auto refused = exportGridToWorkbook(excel, exportTable(), std::string(32, 'n'), '.');
    ASSERT_TRUE(refused.ok());
    EXPECT_EQ(refused->status, ExportOutcome::NameTooLong);
    EXPECT_EQ(refused->nameLength, 32);
    // Closing an unchanged workbook writes nothing; it lets go of the file for other writers.
    EXPECT_EQ(excel.calls, (Calls{"ExcelRunning", "GetSheetNames", "CloseConnection"}));
    EXPECT_EQ(kSheetNameTooLongWarning, "Sheet name should be max. 31 positions; You can edit the name on this page.");

    RecordingExcel fits;
    auto exported = exportGridToWorkbook(fits, exportTable(), std::string(31, 'n'), '.');
    ASSERT_TRUE(exported.ok());
    EXPECT_EQ(exported->status, ExportOutcome::Exported);
    EXPECT_EQ(fits.calls.size(), 6u);
}

TEST(ExportCommand, AnEmptyNameKeepsTheNameTheWorkbookGives)
{
    RecordingExcel excel;
    auto outcome = exportGridToWorkbook(excel, exportTable(), "", '.');
    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(outcome->nameUsed, "");
    EXPECT_EQ(outcome->sheetName, "Sheet4");
    EXPECT_EQ(excel.calls.at(2), "AddSheet()");
}

TEST(ExportCommand, AFailingStepEndsTheCommandWithItsOwnMessage)
{
    const Calls all = {"ExcelRunning", "GetSheetNames", "AddSheet", "OpenActiveSheet", "WriteRange", "CloseConnection"};
    for (std::size_t failing = 0; failing < all.size(); ++failing) {
        RecordingExcel excel;
        excel.failingCall = all[failing];
        auto outcome = exportGridToWorkbook(excel, exportTable(), "Run13", '.');
        ASSERT_FALSE(outcome.ok()) << all[failing];
        EXPECT_EQ(outcome.error().message, "Excel says no");
        ASSERT_EQ(excel.calls.size(), failing + 1) << all[failing];
        EXPECT_EQ(excel.calls.back().rfind(all[failing], 0), 0u);
    }
}

TEST(ExportCommand, ARefusalBeforeAddSheetStillEndsTheConnection)
{
    Grid tooLongText = exportTable();
    tooLongText.setCell(1, 1, std::string(40000, 'x'));
    const struct {
        const char* name;
        Grid grid;
    } cases[] = {{"a:b", exportTable()}, {"Run13", tooLongText}};
    for (const auto& c : cases) {
        RecordingExcel excel;
        ASSERT_FALSE(exportGridToWorkbook(excel, c.grid, c.name, '.').ok()) << c.name;
        EXPECT_EQ(excel.calls, (Calls{"ExcelRunning", "GetSheetNames", "CloseConnection"})) << c.name;
    }
}

TEST(ExportBatch, RefusesABadGridAloneAndWritesTheOthersOnce)
{
    auto* memory = new WorkbookInMemory(std::nullopt, "batch.xlsx");
    TExcelcom excel{std::unique_ptr<WorkbookStore>(memory)};
    ExportBatch batch(excel);
    ASSERT_TRUE(batch.begin().ok());

    Grid tooLong = exportTable();
    tooLong.setCell(1, 1, std::string(40000, 'x'));
    const Grid good = exportTable();
    ASSERT_TRUE(batch.add(good, "Run", '.').ok());
    auto refusedValue = batch.add(tooLong, "Long", '.');
    ASSERT_FALSE(refusedValue.ok());
    EXPECT_NE(refusedValue.error().message.find("32,767"), std::string::npos);
    auto refusedName = batch.add(good, "a:b", '.');
    ASSERT_FALSE(refusedName.ok());
    auto second = batch.add(good, "Run", '.');
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(second->sheetName, "Run_1");
    EXPECT_EQ(memory->storeCount(), 0) << "nothing is written before finish";

    ASSERT_TRUE(batch.finish().ok());
    EXPECT_EQ(memory->storeCount(), 1);
    auto book = XlsxWorkbook::open(*memory->bytes(), "batch.xlsx");
    ASSERT_TRUE(book.ok()) << book.error().message;
    std::vector<std::string> names;
    for (const auto& tab : book->tabs())
        names.push_back(tab.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Run_1", "Run"}));
}

TEST(ExportTable, WellRowsAndReadingsThatWouldGoInAsText)
{
    // The heading, a well with a point reading (text under a comma), a well with empty readings
    // (not counted) and a row without a well (an empty extraction).
    Grid table(5, 4, 1, 1);
    const char* cells[5][4] = {{"well", "sample", "1", "2"},
                               {"A1", " S1", "16", "0.76"},
                               {"A2", "", "", ""},
                               {"B1", " 0.5", "1.5", "2,5"},
                               {"", "", "", ""}};
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 4; ++c)
            table.setCell(r, c, cells[r][c]);
    EXPECT_EQ(wellRowCount(table), 3);
    EXPECT_EQ(wellRowCount(Grid(2, 2, 1, 1)), 0);

    const TextReadings comma = textReadings(table, ',');
    EXPECT_EQ(comma.count, 2); // 0.76 and 1.5; the sample " 0.5" is no reading
    EXPECT_EQ(comma.firstRow, 1);
    EXPECT_EQ(comma.firstCol, 3);
    const TextReadings point = textReadings(table, '.');
    EXPECT_EQ(point.count, 1); // 2,5
    EXPECT_EQ(point.firstRow, 3);
    EXPECT_EQ(point.firstCol, 3);
}
