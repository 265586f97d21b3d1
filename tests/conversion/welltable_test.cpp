#include "conversion/welltable.h"

#include "conversion/splitline.h"
#include "rawexport_builder.h"

#include <gtest/gtest.h>

#include <map>

using morvane::ConversionSettings;
using morvane::convertToGrid;
using morvane::Grid;
using morvane::RawText;
using morvane::WellTable;
using rawexport::Builder;
using rawexport::readingOf;
using rawexport::render;

namespace {

using Row = std::vector<std::string>;

ConversionSettings settingsFor(int program, int wellLimit = 384)
{
    ConversionSettings settings;
    settings.selectedProgram = program;
    settings.progColFromEnd = 6;
    settings.wellLimit = wellLimit;
    return settings;
}

WellTable converted(const RawText& text, const ConversionSettings& settings,
                    const morvane::ConversionProgress& progress = {})
{
    auto table = convertToGrid(text, settings, progress);
    EXPECT_TRUE(table.ok()) << (table.ok() ? "" : morvane::describe(table.error()));
    return table.ok() ? std::move(table).value() : WellTable();
}

// Row 0 for a first well whose cycles run from `first` to `last`.
Row headerRow(int first, int last)
{
    Row row{"well", "sample"};
    for (int c = 1; c <= last; ++c)
        row.push_back(c < first ? "" : std::to_string(c));
    return row;
}

// A well's row holding the builder's readings of cycles first..last, `columns` cells wide.
Row wellRow(const std::string& well, const std::string& sample, int program, int first, int last, int columns)
{
    Row row{well, sample};
    for (int c = 1; static_cast<int>(row.size()) < columns; ++c)
        row.push_back(c >= first && c <= last ? readingOf(well, program, c) : "");
    return row;
}

std::string expectedTable(const std::vector<Row>& rows)
{
    Grid grid(static_cast<int>(rows.size()), static_cast<int>(rows.front().size()), 1, 1);
    for (int r = 0; r < grid.rowCount(); ++r)
        for (int c = 0; c < grid.colCount(); ++c)
            grid.cell(r, c) = rows[r].at(c);
    return render(grid);
}

RawText loadData(const char* name)
{
    auto text = morvane::loadRawFile(std::string(MORVANE_TESTDATA_DIR) + "/" + name);
    EXPECT_TRUE(text.ok());
    return text.ok() ? std::move(text).value() : RawText();
}

} // namespace

TEST(ConvertToGrid, FourProgramWellsGiveTheSelectedProgramPerWell)
{
    Builder b;
    for (const char* well : {"A1", "A2", "A3"}) {
        b.line(well, "Sample 1", 1, 1).cycles(well, "Sample 1", 2, 1, 45).melt(well, "Sample 1", 3, 20);
        b.line(well, "Sample 1", 4, 1);
    }
    const WellTable table = converted(b.build(), settingsFor(2));
    EXPECT_EQ(table.cycles, 45);
    EXPECT_EQ(render(table.grid),
              expectedTable({headerRow(1, 45), wellRow("A1", " Sample 1", 2, 1, 45, 47),
                             wellRow("A2", " Sample 1", 2, 1, 45, 47), wellRow("A3", " Sample 1", 2, 1, 45, 47)}));
}

TEST(ConvertToGrid, SelectedProgramLastInEveryWell)
{
    // Each run ends at the next well's first line; the search passes over that well's other
    // programs. The file ends inside the last run: its last reading is kept.
    Builder b;
    for (const char* well : {"A1", "A2", "A3"})
        b.line(well, "S", 1, 1).melt(well, "S", 3, 3).cycles(well, "S", 2, 1, 5);
    const WellTable table = converted(b.build(), settingsFor(2));
    EXPECT_EQ(table.cycles, 5);
    EXPECT_EQ(render(table.grid), expectedTable({headerRow(1, 5), wellRow("A1", " S", 2, 1, 5, 7),
                                                 wellRow("A2", " S", 2, 1, 5, 7), wellRow("A3", " S", 2, 1, 5, 7)}));
}

namespace {
// A whole plate in row order, each well with two cycles of program 2 and a melt line.
std::string plateFile(int rows, int columns)
{
    Builder b;
    for (int r = 0; r < rows; ++r) {
        for (int c = 1; c <= columns; ++c) {
            const std::string well = std::string(1, static_cast<char>('A' + r)) + std::to_string(c);
            b.cycles(well, "S", 2, 1, 2).melt(well, "S", 3, 1);
        }
    }
    return b.text();
}
} // namespace

TEST(ConvertToGrid, WellLimitEndsTheRowsNotTheWalk)
{
    struct Case {
        int plateRows, plateColumns, limit, rows;
        const char* lastWell;
    };
    for (const Case& c : {Case{16, 24, 96, 96, "D24"}, Case{16, 24, 384, 384, "P24"}, Case{8, 12, 96, 96, "H12"},
                          Case{3, 5, 384, 15, "C5"}}) {
        SCOPED_TRACE(std::to_string(c.plateRows * c.plateColumns) + " wells, limit " + std::to_string(c.limit));
        // After the plate the first well comes back with a third cycle: beyond the limit its
        // reading still joins its row, and the wells beyond the limit are named.
        const std::string text = plateFile(c.plateRows, c.plateColumns) + "A1\tS\t2\t1\t3\t1\t1\tA1p2c3\r\n";
        const WellTable table = converted(rawexport::rawText(text), settingsFor(2, c.limit));
        ASSERT_EQ(table.grid.rowCount(), c.rows + 1);
        EXPECT_EQ(table.grid.cell(c.rows, 0), c.lastWell);
        EXPECT_EQ(table.grid.cell(c.rows, 3), readingOf(c.lastWell, 2, 2));
        EXPECT_EQ(table.grid.cell(1, 4), readingOf("A1", 2, 3));
        EXPECT_EQ(table.wellsNotConverted.size(), static_cast<std::size_t>(c.plateRows * c.plateColumns - c.rows));
    }
}

TEST(ConvertToGrid, ProgressAfterEachWellWithTheLineReached)
{
    std::vector<std::size_t> reached;
    converted(rawexport::rawText(plateFile(1, 3)), settingsFor(2), [&](std::size_t line) { reached.push_back(line); });
    // Lines 2..10: A1 at 2-4, A2 at 5-7, A3 at 8-10; each run ends at its well's melt line.
    EXPECT_EQ(reached, (std::vector<std::size_t>{4, 7, 10}));
}

TEST(ConvertToGrid, DuplicateCycleNumbersKeepTheLaterReading)
{
    Builder b;
    b.line("A1", "S", "2", "1", "a1").line("A1", "S", "2", "2", "a2").line("A1", "S", "2", "2", "a2'");
    b.line("A1", "S", "2", "3", "a3");
    b.line("A2", "S", "2", "1", "b1").line("A2", "S", "2", "2", "b2").line("A2", "S", "2", "3", "b3");
    b.line("A2", "S", "2", "+3", "b3'"); // a sign is allowed
    const WellTable table = converted(b.build(), settingsFor(2));
    EXPECT_EQ(render(table.grid), expectedTable({{"well", "sample", "1", "2", "3"},
                                                 {"A1", " S", "a1", "a2'", "a3"},
                                                 {"A2", " S", "b1", "b2", "b3'"}}));
}

TEST(ConvertToGrid, CyclesStartingAtThreeLeaveEmptyColumns)
{
    // Every run ends at the next well's cycle 3; that line belongs to the next well and must
    // not overwrite this well's cycle 3.
    Builder b;
    for (const char* well : {"A1", "A2", "A3"})
        b.cycles(well, "S", 2, 3, 6);
    const WellTable table = converted(b.build(), settingsFor(2));
    EXPECT_EQ(table.cycles, 6);
    EXPECT_EQ(render(table.grid), expectedTable({headerRow(3, 6), wellRow("A1", " S", 2, 3, 6, 8),
                                                 wellRow("A2", " S", 2, 3, 6, 8), wellRow("A3", " S", 2, 3, 6, 8)}));
}

TEST(ConvertToGrid, ALongerWellWidensTheTable)
{
    Builder b;
    b.cycles("A1", "S", 2, 1, 5).melt("A1", "S", 3, 2);
    b.cycles("A2", "S", 2, 1, 3).melt("A2", "S", 3, 2);
    b.cycles("A3", "S", 2, 1, 7).melt("A3", "S", 3, 2);
    const WellTable table = converted(b.build(), settingsFor(2));
    EXPECT_EQ(table.cycles, 5);
    EXPECT_EQ(render(table.grid), expectedTable({headerRow(1, 7), wellRow("A1", " S", 2, 1, 5, 9),
                                                 wellRow("A2", " S", 2, 1, 3, 9), wellRow("A3", " S", 2, 1, 7, 9)}));
    ASSERT_EQ(table.conversionFindings.size(), 1u);
    EXPECT_EQ(table.conversionFindings[0],
              (morvane::Finding{morvane::FindingKind::LongerRun, 3, 6, 20, "A3", readingOf("A3", 2, 6)}));
}

TEST(ConvertToGrid, WellsThatDifferFromTheFirst)
{
    // A2 lacks the selected program: no row. A2 lacks the program after it: its run ends at A3's
    // first line, which starts A3's run.
    for (bool withoutSelected : {true, false}) {
        Builder b;
        b.cycles("A1", "S", 2, 1, 3).melt("A1", "S", 3, 2);
        if (withoutSelected)
            b.melt("A2", "S", 3, 2);
        else
            b.cycles("A2", "S", 2, 1, 3);
        b.cycles("A3", "S", 2, 1, 3).melt("A3", "S", 3, 2);
        const WellTable table = converted(b.build(), settingsFor(2));
        std::vector<Row> rows{headerRow(1, 3), wellRow("A1", " S", 2, 1, 3, 5)};
        if (!withoutSelected)
            rows.push_back(wellRow("A2", " S", 2, 1, 3, 5));
        rows.push_back(wellRow("A3", " S", 2, 1, 3, 5));
        EXPECT_EQ(render(table.grid), expectedTable(rows));
    }
}

TEST(ConvertToGrid, SelectedProgramAgainLaterInTheWellJoinsItsRow)
{
    // The program's second appearance in a well, after another program, is that well's: the
    // later readings are in the table, and each is a finding.
    Builder b;
    for (const char* well : {"A1", "A2"}) {
        b.cycles(well, "S", 2, 1, 2).line(well, "S", 3, 1);
        b.line(well, "S", "2", "1", "again").line(well, "S", "2", "2", "again");
    }
    const WellTable table = converted(b.build(), settingsFor(2));
    EXPECT_EQ(render(table.grid),
              expectedTable({headerRow(1, 2), {"A1", " S", "again", "again"}, {"A2", " S", "again", "again"}}));
    using morvane::FindingKind;
    std::vector<std::pair<FindingKind, std::uint32_t>> found;
    for (const morvane::Finding& f : table.conversionFindings)
        found.emplace_back(f.kind, f.line);
    EXPECT_EQ(found, (std::vector<std::pair<FindingKind, std::uint32_t>>{{FindingKind::ReturningWell, 6},
                                                                         {FindingKind::RepeatedCycle, 6},
                                                                         {FindingKind::RepeatedCycle, 7},
                                                                         {FindingKind::ReturningWell, 11},
                                                                         {FindingKind::RepeatedCycle, 11},
                                                                         {FindingKind::RepeatedCycle, 12}}));
}

TEST(ConvertToGrid, SampleCells)
{
    struct Case {
        std::string sample; // as written between the well and the program fields
        std::string cell;
    };
    for (const Case& c :
         {Case{"Std 1", " Std 1"}, Case{"Sample 1 high", " Sample 1 high"}, Case{"", ""}, Case{"\"Std  1\"", " Std  1"},
          Case{"Std  \t 1", " Std 1"}, Case{"5 \xB5g", " 5 \xC2\xB5g"}}) {
        SCOPED_TRACE(c.sample);
        Builder b;
        b.line("A1", c.sample, "2", "1", "0.5").line("A1", c.sample, "2", "2", "0,6");
        const WellTable table = converted(b.build(), settingsFor(2));
        EXPECT_EQ(table.grid.cell(1, 1), c.cell);
        EXPECT_EQ(table.grid.cell(1, 3), "0,6");
    }
}

TEST(ConvertToGrid, DataAfterAHeaderWithoutTitleLine)
{
    // With the title line missing the data begin on line 1; its reading of cycle 1 is kept.
    Builder b("SamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp\t465-510", "A1\tS\t2\t1\t1\t1\t1\tfirst");
    b.cycles("A1", "S", 2, 2, 3).cycles("A2", "S", 2, 1, 3);
    const RawText text = b.build();
    auto programs = morvane::detectPrograms(text);
    ASSERT_TRUE(programs.ok());
    const WellTable table = converted(text, morvane::conversionSettings(*programs, 2, morvane::PlateFormat::Wells384));
    EXPECT_EQ(render(table.grid), expectedTable({{"well", "sample", "1", "2", "3"},
                                                 {"A1", " S", "first", "A1p2c2", "A1p2c3"},
                                                 wellRow("A2", " S", 2, 1, 3, 5)}));
}

TEST(ConvertToGrid, EndOfFileInsideOrAtTheStartOfARun)
{
    struct Case {
        const char* name;
        std::function<void(Builder&)> data;
        std::vector<Row> table;
    };
    const std::vector<Case> cases = {
        {"single well, selected program last: the first run ends with the file",
         [](Builder& b) { b.melt("A1", "S", 3, 2).cycles("A1", "S", 2, 1, 4); },
         {headerRow(1, 4), wellRow("A1", " S", 2, 1, 4, 6)}},
        {"a run starting on the last line",
         [](Builder& b) {
             b.cycles("A1", "S", 2, 1, 3).line("A1", "S", 3, 1).cycles("A2", "S", 2, 1, 3).line("A2", "S", 3, 1);
             b.line("A3", "S", 3, 1).line("A3", "S", 2, 1);
         },
         {headerRow(1, 3), wellRow("A1", " S", 2, 1, 3, 5), wellRow("A2", " S", 2, 1, 3, 5),
          wellRow("A3", " S", 2, 1, 1, 5)}},
        {"the last line is the first of a well",
         [](Builder& b) { b.cycles("A1", "S", 2, 1, 3).cycles("A2", "S", 2, 1, 3).line("A3", "S", 2, 1); },
         {headerRow(1, 3), wellRow("A1", " S", 2, 1, 3, 5), wellRow("A2", " S", 2, 1, 3, 5),
          wellRow("A3", " S", 2, 1, 1, 5)}},
        {"the last line is another program of the last well",
         [](Builder& b) { b.cycles("A1", "S", 2, 1, 3).cycles("A2", "S", 2, 1, 3).line("A2", "S", 3, 1); },
         {headerRow(1, 3), wellRow("A1", " S", 2, 1, 3, 5), wellRow("A2", " S", 2, 1, 3, 5)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Builder b;
        c.data(b);
        const WellTable table = converted(b.build(), settingsFor(2));
        EXPECT_EQ(render(table.grid), expectedTable(c.table));
    }
}

// A file whose wells come back again and again is no export of one run: it is refused once its
// findings pass their limit, before they take the memory of one each.
TEST(ConvertToGrid, EndlessReturningWellsAreRefused)
{
    Builder b;
    std::size_t findings = 0;
    for (int round = 0; findings <= morvane::kMaxConversionFindings; ++round)
        for (const char* well : {"A1", "A2"}) {
            b.line(well, "S", "2", "1", "1.5").line(well, "S", "2", "2", "1.6");
            findings += round > 0 ? 3 : 0; // coming back, and two cycles read again
        }
    auto table = convertToGrid(b.build(), settingsFor(2));
    ASSERT_FALSE(table.ok());
    EXPECT_EQ(table.error().message.substr(table.error().message.find("more than")),
              "more than 1,000,000 readings repeat a cycle of their well, change its sample name or come back after "
              "other wells: this is no export of one run of a plate");
}

namespace {
struct FailureCase {
    const char* name;
    std::vector<std::string> data; // data lines after title and header
    std::string message;
    std::size_t line;
    int progColFromEnd = 6;
};
} // namespace

class ConvertToGridFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(ConvertToGridFailure, NamesTheProblemAndTheLine)
{
    Builder b;
    for (const auto& line : GetParam().data)
        b.raw(line);
    ConversionSettings settings = settingsFor(2);
    settings.progColFromEnd = GetParam().progColFromEnd;
    auto table = convertToGrid(GetParam().data.empty() ? RawText() : b.build(), settings);
    ASSERT_FALSE(table.ok());
    EXPECT_EQ(table.error().message, GetParam().message);
    EXPECT_EQ(table.error().line, GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConvertToGridFailure,
    testing::Values(
        FailureCase{"Empty", {}, "the file is empty", 0},
        FailureCase{"NoProgramColumn",
                    {"A1 S 2 1 1 1 1 0.5"},
                    "the columns of the program number, cycle number and reading are not known: determine the "
                    "programs first",
                    0,
                    0},
        FailureCase{"ProgramMissing",
                    {"A1 S 3 1 1 1 1 0.5", "A1 S 3 1 1 1 1 0.5", "A2 S 3 1 1 1 1 0.5"},
                    "program 2 does not occur in the file",
                    0},
        FailureCase{"CycleNotANumber",
                    {"A1 S 2 1 1 1 1 0.5", "A1 S 2 1 2 1 1 0.5", "A1 S 2 1 3 1 1 0.5", "A1 S 3 1 1 1 1 0.5",
                     "A2 S 2 1 1 1 1 0.5", "A2 S 2 1 seven 1 1 0.5"},
                    "'seven' is not a valid integer value (cycle number)",
                    8},
        FailureCase{"ProgramNotANumber",
                    {"A1 S 2 1 1 1 1 0.5", "A1 S 2 1 2 1 1 0.5", "A1 S 3 1 1 1 1 0.5", "A2 S 3x 1 1 1 1 0.5"},
                    "'3x' is not a valid integer value (program number)",
                    6},
        // Quoted empty: no program at all, also before the selected program's first line.
        FailureCase{"ProgramEmpty",
                    {"A1 S \"\" 1 1 1 1 0.5", "A1 S 2 1 1 1 1 0.5", "A1 S 2 1 2 1 1 0.5"},
                    "'' is not a valid integer value (program number)",
                    3},
        FailureCase{"TooFewFields",
                    {"A1 S 2 1 1 1 1 0.5", "A1 S 2 1 2 1 1 0.5", "A1 2 1 3 1 1"},
                    "too few fields for a data line: 6 where at least 7 are needed (the well first, the program "
                    "number 6th from the end, the cycle number 4th from the end, the reading last)",
                    5},
        FailureCase{"ProgramPositionBeyondTheLine",
                    {"A1 S 2 1 1 1 1 0.5"},
                    "too few fields for a data line: 8 where at least 9 are needed (the well first, the program "
                    "number 9th from the end, the cycle number 4th from the end, the reading last)",
                    3,
                    9},
        FailureCase{"CycleZero",
                    {"A1 S 2 1 1 1 1 0.5", "A1 S 2 1 2 1 1 0.5", "A2 S 2 1 0 1 1 0.5", "A2 S 2 1 1 1 1 0.5"},
                    "cycle number 0 is out of range: cycles count from 1",
                    5},
        FailureCase{"CycleTooLarge",
                    {"A1 S 2 1 1 1 1 0.5", "A1 S 2 1 2000000000 1 1 0.5"},
                    "cycle number 2000000000 is out of range: at most 9999 cycles",
                    4},
        // A line of another well within a run: from the file alone it cannot be told whose the
        // reading is, whether the well follows later, lies off the plate or came before.
        FailureCase{"AWellLaterInTheFileWithinARun",
                    {"A1 S 2 1 1 1 1 0.5", "A1 S 2 1 2 1 1 0.5", "A1 S 2 1 3 1 1 0.5", "A2 S 2 1 1 1 1 0.5",
                     "A2 S 2 1 2 1 1 0.5", "B7 S 2 1 3 1 1 777.5", "A2 S 2 1 4 1 1 0.5", "B7 S 2 1 1 1 1 0.5"},
                    "well 'B7' breaks into the run of well 'A2': its cycle 3 follows that well's cycle 2; the "
                    "line's well is damaged, or the line belongs elsewhere in the file",
                    8},
        FailureCase{"AWellOffThePlateWithinARun",
                    {"A1 S 2 1 1 1 1 0.5", "A1 S 2 1 2 1 1 0.5", "ZZ S 2 1 3 1 1 777.5"},
                    "well 'ZZ' breaks into the run of well 'A1': its cycle 3 follows that well's cycle 2; the "
                    "line's well is damaged, or the line belongs elsewhere in the file",
                    5},
        FailureCase{"AnEarlierWellWithinARun",
                    {"A1 S 2 1 1 1 1 0.5", "A1 S 2 1 2 1 1 0.5", "A1 S 2 1 3 1 1 0.5", "A2 S 2 1 1 1 1 0.5",
                     "A2 S 2 1 2 1 1 0.5", "A1 S 2 1 3 1 1 777.5"},
                    "well 'A1' breaks into the run of well 'A2': its cycle 3 follows that well's cycle 2; the "
                    "line's well is damaged, or the line belongs elsewhere in the file",
                    8},
        FailureCase{"CycleBeyondInt",
                    {"A1 S 2 1 1 1 1 0.5", "A1 S 2 1 99999999999 1 1 0.5"},
                    "'99999999999' is not a valid integer value (cycle number)",
                    4}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST(ExperimentName, FromTheTitleLine)
{
    struct Case {
        std::string title;
        std::string name;
    };
    for (const Case& c : {
             Case{std::string(rawexport::kTitle), "Test plate 7"},
             Case{"Experiment - a (Run) Experiment - b (Run", "a"},
             Case{"Raw Data \t\tExperiment - Test plate 7", ""},               // no "(Run"
             Case{"Raw Data \t\tExperiment - (Run on LCS480)", ""},            // nothing before "(Run"
             Case{"Raw Data \t\tExperiment - x(Run on LCS480)", ""},           // one character, taken as the blank
             Case{"Raw Data \t\tTest plate 7 (Run on LCS480)", "est plate 7"}, // no marker: 12 characters go
             Case{"Raw Data", ""}, Case{"Experiment - M\xFCller \xB5M (Run", "M\xC3\xBCller \xC2\xB5M"}, // Windows-1252
             Case{"Experiment - Probe \xC3\xBC(Run", "Probe "}, // UTF-8: the last character is two bytes
             Case{"\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4"
                  "ab (Run",
                  "ab"}, // twelve characters, not bytes, go
         }) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(morvane::experimentName(rawexport::rawText(c.title + "\r\nSamplePos Prog#\r\n")), c.name);
    }
    EXPECT_EQ(morvane::experimentName(RawText()), "");
}

namespace {
// The table built the plain way: every line of program 2 put at its well and cycle, the wells
// in the order they first appear. Serves as the reference for the real files, whose programs
// start at cycle 1 and in which every well has the same cycles.
std::string referenceTable(const RawText& text, int cycles)
{
    std::vector<std::string> order;
    std::map<std::string, Row> rows;
    morvane::FieldList fields;
    for (std::size_t i = 2; i < text.lineCount(); ++i) {
        morvane::splitline('\t', text.line(i), fields);
        if (fields.fromEnd(6) != "2")
            continue;
        const std::string well(fields[0]);
        auto [it, added] = rows.try_emplace(well);
        if (added) {
            order.push_back(well);
            it->second = Row(static_cast<std::size_t>(cycles) + 2);
            it->second[0] = well;
            for (std::size_t w = 1; w + 6 < fields.size(); ++w)
                it->second[1] += " " + std::string(fields[w]);
        }
        it->second.at(std::stoul(std::string(fields.fromEnd(4))) + 1) = std::string(fields.fromEnd(1));
    }
    std::vector<Row> table{headerRow(1, cycles)};
    for (const auto& well : order)
        table.push_back(rows[well]);
    return expectedTable(table);
}
} // namespace

TEST(ConvertToGrid, Real384WellExport)
{
    const RawText text = loadData("lc480_384_nrd1_calibration.txt");
    auto programs = morvane::detectPrograms(text);
    ASSERT_TRUE(programs.ok());
    const WellTable table =
        converted(text, morvane::conversionSettings(*programs, programs->numbers[0], morvane::PlateFormat::Wells384));
    const Grid& grid = table.grid;
    EXPECT_EQ(table.cycles, 40);
    ASSERT_EQ(grid.rowCount(), 385);
    ASSERT_EQ(grid.colCount(), 42);
    EXPECT_EQ(grid.cell(1, 0), "A1");
    EXPECT_EQ(grid.cell(1, 1), " Sample 1");
    EXPECT_EQ(grid.cell(1, 2), "0.59");
    EXPECT_EQ(grid.cell(1, 25), "0.80");
    EXPECT_EQ(grid.cell(1, 41), "4.87");
    EXPECT_EQ(grid.cell(24 * 4 + 7, 0), "E7");
    EXPECT_EQ(grid.cell(24 * 4 + 7, 14), "0.75");
    EXPECT_EQ(grid.cell(384, 0), "P24");
    EXPECT_EQ(grid.cell(384, 1), " Sample 384");
    EXPECT_EQ(grid.cell(384, 41), "0.48");
    EXPECT_EQ(render(grid), referenceTable(text, 40));
    EXPECT_EQ(morvane::experimentName(text), "Edward qPCR Nrd1 calibration 2019-02-02");
}

TEST(ConvertToGrid, Real96WellExport)
{
    const RawText text = loadData("lc480_96_example_excel_damaged.txt");
    const WellTable table = converted(text, settingsFor(2, 96));
    const Grid& grid = table.grid;
    EXPECT_EQ(table.cycles, 45);
    ASSERT_EQ(grid.rowCount(), 97);
    ASSERT_EQ(grid.colCount(), 47);
    EXPECT_EQ(grid.cell(1, 2), "15.58");
    EXPECT_EQ(grid.cell(96, 0), "H12");
    EXPECT_EQ(grid.cell(96, 1), " Sample_48");
    EXPECT_EQ(grid.cell(96, 2), "17746");
    EXPECT_EQ(grid.cell(96, 46), "41852");
    EXPECT_EQ(render(grid), referenceTable(text, 45));
    EXPECT_EQ(morvane::experimentName(text), "HL60 _U937_Kokultur Bine _1_IL10_090113");
}

TEST(ConvertToGrid, ReadingsWhoseQuotesAreUndoneKeepTheirText)
{
    // A doubled quote is undone into the line reader's own buffer, which the next line reuses.
    Builder b;
    b.line("A1", "S", "2", "1", "\"1\"\"5\"").line("A1", "S", "2", "2", "\"2\"\"5\"").line("A1", "S", "2", "3", "3.5");
    b.line("A2", "S", "2", "1", "\"x\"\"y\"").line("A2", "S", "2", "2", "2.5");
    const WellTable table = converted(b.build(), settingsFor(2));
    EXPECT_EQ(render(table.grid),
              expectedTable({headerRow(1, 3), {"A1", " S", "1\"5", "2\"5", "3.5"}, {"A2", " S", "x\"y", "2.5", ""}}));
}
