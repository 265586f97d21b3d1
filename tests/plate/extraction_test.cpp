#include "plate/extraction.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace morvane;

namespace {

// A well table as the conversion builds it: a header row, then one row per well with the
// well name, a sample name and two readings that tell the wells apart.
Grid wellTable(const std::vector<std::string>& names)
{
    Grid table(static_cast<int>(names.size()) + 1, 4, 1, 1);
    table.setCell(0, 0, "well");
    table.setCell(0, 1, "sample");
    table.setCell(0, 2, "1");
    table.setCell(0, 3, "2");
    for (std::size_t i = 0; i < names.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        table.setCell(row, 0, names[i]);
        table.setCell(row, 1, "s" + std::to_string(row));
        table.setCell(row, 2, std::to_string(row) + ".5");
        table.setCell(row, 3, std::to_string(row) + ".25");
    }
    return table;
}

Grid fullPlateTable(PlateFormat format)
{
    return wellTable(checkListItems(format)); // check-list order: the lookup is by name
}

std::vector<bool> ticksOf(PlateFormat format, const std::vector<std::string>& names)
{
    std::vector<bool> ticks(static_cast<std::size_t>(wellCount(format)));
    const auto items = checkListItems(format);
    for (const auto& name : names)
        for (std::size_t i = 0; i < items.size(); ++i)
            if (items[i] == name)
                ticks[i] = true;
    return ticks;
}

std::vector<std::string> column0(const Grid& table)
{
    std::vector<std::string> names;
    for (int row = 1; row < table.rowCount(); ++row)
        names.push_back(table.cell(row, 0));
    return names;
}

// Export table with a reference reading (row 1, column 2) and a second well.
Grid exportTable(const std::string& reference, const std::string& other = "7.25")
{
    Grid table = wellTable({"A1", "A2"});
    table.setCell(1, 2, reference);
    table.setCell(2, 2, other);
    return table;
}

} // namespace

TEST(Extraction, WellsFollowPlateRowOrder)
{
    const auto format = PlateFormat::Wells96;
    const Extraction ex = extractWells(fullPlateTable(format), format, ticksOf(format, {"B3", "A12", "A1"}));
    EXPECT_EQ(column0(ex.table), (std::vector<std::string>{"A1", "A12", "B3"}));
    EXPECT_TRUE(ex.missingWells.empty());
}

TEST(Extraction, TableLayout)
{
    const auto format = PlateFormat::Wells96;
    const Grid source = fullPlateTable(format);
    const Extraction ex = extractWells(source, format, ticksOf(format, {"C5"}));

    Grid expected(2, 4, 1, 1);
    for (int col = 0; col < 4; ++col) {
        expected.setCell(0, col, source.cell(0, col));
        expected.setCell(1, col, source.cell(checkListIndex(format, 3, 5) + 1, col));
    }
    EXPECT_EQ(ex.table, expected);
    EXPECT_EQ(ex.table.cell(1, 0), "C5");
}

TEST(Extraction, WholePlates)
{
    for (PlateFormat format : {PlateFormat::Wells96, PlateFormat::Wells384}) {
        const std::vector<bool> all(static_cast<std::size_t>(wellCount(format)), true);
        const Extraction ex = extractWells(fullPlateTable(format), format, all);
        ASSERT_EQ(ex.table.rowCount(), wellCount(format) + 1);
        EXPECT_EQ(ex.table.cell(1, 0), "A1");
        EXPECT_EQ(ex.table.cell(2, 0), "A2");
        EXPECT_EQ(ex.table.cell(ex.table.rowCount() - 1, 0), format == PlateFormat::Wells96 ? "H12" : "P24");
        EXPECT_TRUE(ex.missingWells.empty());
    }
}

TEST(Extraction, NoTickedWellGivesHeaderAndOneEmptyRow)
{
    const Grid source = wellTable({"A1"});
    const Extraction ex = extractWells(source, PlateFormat::Wells96, {});
    ASSERT_EQ(ex.table.rowCount(), 2);
    ASSERT_EQ(ex.table.colCount(), 4);
    EXPECT_EQ(ex.table.cell(0, 2), "1");
    for (int col = 0; col < 4; ++col)
        EXPECT_EQ(ex.table.cell(1, col), "");
    // The empty reference cell holds no system separator: the question comes with the start value.
    EXPECT_EQ(wrongSeparator(ex.table, ','), '.');
}

TEST(Extraction, LookupIgnoresCaseAndTakesTheUpperDuplicate)
{
    Grid source = wellTable({"b2", "a1", "A1"});
    const Extraction ex = extractWells(source, PlateFormat::Wells96, ticksOf(PlateFormat::Wells96, {"A1", "B2"}));
    ASSERT_EQ(ex.table.rowCount(), 3);
    EXPECT_EQ(ex.table.cell(1, 0), "a1") << "copied as the well table holds it";
    EXPECT_EQ(ex.table.cell(1, 1), "s2") << "the upper of the two rows";
    EXPECT_EQ(ex.table.cell(2, 0), "b2");
}

TEST(Extraction, TickedWellsWithoutDataAreLeftOutAndNamed)
{
    const auto format = PlateFormat::Wells384;
    // A 96-well table with the plate switched to 384 by hand: I1 and A13 have no row.
    const Extraction ex =
        extractWells(fullPlateTable(PlateFormat::Wells96), format, ticksOf(format, {"I1", "A13", "B2", "A1"}));
    EXPECT_EQ(column0(ex.table), (std::vector<std::string>{"A1", "B2"}));
    EXPECT_EQ(ex.missingWells, (std::vector<std::string>{"A13", "I1"}));
    EXPECT_EQ(missingWellsWarning(ex.missingWells), "2 ticked wells hold no data and were left out: A13, I1.");

    // Ticked before any conversion: nothing but the header of an empty table.
    const Extraction none = extractWells(Grid(), PlateFormat::Wells96, ticksOf(PlateFormat::Wells96, {"A1"}));
    EXPECT_EQ(none.table.rowCount(), 2);
    EXPECT_EQ(none.missingWells, (std::vector<std::string>{"A1"}));
    EXPECT_EQ(missingWellsWarning(none.missingWells), "1 ticked well holds no data and was left out: A1.");
    EXPECT_EQ(missingWellsWarning({}), "");
}

TEST(Extraction, WrongSeparator)
{
    struct Case {
        const char* reference;
        char system;
        std::optional<char> wrong;
    };
    const Case cases[] = {
        {"12.5", ',', '.'},
        {"12,5", '.', ','},
        {"12,5", ',', std::nullopt},
        {"1,2.5", ',', std::nullopt},
        {"125", ',', '.'},
        {"125", '.', ','},
        {"", '.', ','},
        {"1.5E-3", ',', '.'},
        {"1.5e+3", ',', '.'},
        {"-1.5", ',', '.'},
        {" 12.5 ", ',', '.'},
        {"12;5", ',', ';'},
        {"12'5", '.', '\''},
        {"1'234,5", '.', ','},
        {"12\xC2\xB7"
         "5",
         ',', '.'},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wrongSeparator(exportTable(c.reference, "3,5"), c.system), c.wrong)
            << '"' << c.reference << "\" system " << c.system;

    // A table too narrow to hold a reference cell is judged as an empty one.
    EXPECT_EQ(wrongSeparator(Grid(2, 2), ','), '.');
}

TEST(Extraction, RepairTouchesReadingsOnly)
{
    Grid table = exportTable("1.5E-3", "12.5.7");
    table.setCell(0, 2, "1.0");
    table.setCell(1, 1, "dil. 1.10");
    const auto wrong = wrongSeparator(table, ',');
    ASSERT_EQ(wrong, '.');
    repairSeparators(table, *wrong, ',');

    Grid expected = exportTable("1,5E-3", "12,5.7");
    expected.setCell(0, 2, "1.0");
    expected.setCell(1, 1, "dil. 1.10");
    expected.setCell(1, 3, "1,25");
    expected.setCell(2, 3, "2,25");
    EXPECT_EQ(table, expected);
    EXPECT_EQ(replaceseparator('.', ',', "125"), "125");
}

TEST(Extraction, SeparatorQuestionText)
{
    EXPECT_EQ(separatorQuestion('.', ','),
              "Do you want to REPLACE the wrong decimal separator (\".\") with the one (\",\") used by your system?");
}

TEST(Extraction, ATableGivenUpGivesTheSameExtractionAsACopy)
{
    const auto format = PlateFormat::Wells96;
    std::vector<std::string> rowOrder;
    for (char row = 'A'; row <= 'H'; ++row)
        for (int col = 1; col <= 12; ++col)
            rowOrder.push_back(row + std::to_string(col));
    const std::vector<bool> all(static_cast<std::size_t>(wellCount(format)), true);
    struct Case {
        const char* name;
        Grid table;
        std::vector<bool> ticks;
    };
    const Case cases[] = {
        {"every well, in row order (moved up in place)", wellTable(rowOrder), all},
        {"some wells, in row order", wellTable(rowOrder), ticksOf(format, {"A2", "B1", "H12"})},
        {"the file's order is not the plate's", fullPlateTable(format), ticksOf(format, {"B3", "A12", "A1"})},
        {"no well ticked", wellTable(rowOrder), {}},
        {"a ticked well without a row", wellTable({"A1", "A3"}), ticksOf(format, {"A1", "A2", "A3"})},
        {"duplicates in letter case", wellTable({"b2", "a1", "A1"}), ticksOf(format, {"A1", "B2"})},
        {"a heading that names a well", wellTable({"A2", "A3"}), ticksOf(format, {"A1", "A2"})},
        {"no table", Grid(), ticksOf(format, {"A1"})},
    };
    for (const Case& c : cases) {
        Grid table = c.table;
        if (std::string(c.name).starts_with("a heading"))
            table.setCell(0, 0, "A1");
        const Extraction copied = extractWells(table, format, c.ticks);
        const Extraction moved = extractWells(std::move(table), format, c.ticks);
        EXPECT_EQ(moved.table, copied.table) << c.name;
        EXPECT_EQ(moved.missingWells, copied.missingWells) << c.name;
        EXPECT_EQ(moved.wellsExtracted, copied.wellsExtracted) << c.name;
    }
}
