// The checks after a conversion: each kind of damage on a small export written here, the real
// export a spreadsheet once damaged, and the clean real exports, which must give nothing.

#include "conversion/datachecks.h"
#include "conversion/programs.h"
#include "conversion/welltable.h"
#include "rawexport_builder.h"

#include <gtest/gtest.h>

using namespace morvane;
using rawexport::Builder;

namespace {

const char* kindName(FindingKind kind)
{
    switch (kind) {
    case FindingKind::SpreadsheetDate:
        return "date";
    case FindingKind::Negative:
        return "negative";
    case FindingKind::MissingCycle:
        return "missing";
    case FindingKind::RepeatedCycle:
        return "repeated";
    case FindingKind::SampleName:
        return "sample";
    case FindingKind::SampleControls:
        return "controls";
    case FindingKind::LongerRun:
        return "longer";
    case FindingKind::ReturningWell:
        return "returning";
    }
    return "?";
}

// "date A1 cycle 3 line 5 '41594'", one finding a line.
std::string render(const std::vector<Finding>& findings)
{
    std::string out;
    for (const Finding& f : findings)
        out += std::string(kindName(f.kind)) + " " + f.well + " cycle " + std::to_string(f.cycle) + " line " +
               std::to_string(f.line) + " '" + f.text + "'\n";
    return out;
}

RawText load(const std::string& name)
{
    auto text = loadRawFile(std::string(MORVANE_TESTDATA_DIR) + "/" + name);
    EXPECT_TRUE(text.ok()) << name;
    return text.ok() ? std::move(text).value() : RawText();
}

// The findings of the first program offered, first channel.
std::vector<Finding> findingsOf(const RawText& text, RunChoice choice = {}, PlateFormat plate = PlateFormat::Wells96)
{
    auto programs = detectPrograms(text);
    EXPECT_TRUE(programs.ok()) << (programs.ok() ? "" : describe(programs.error()));
    if (!programs)
        return {};
    if (choice.program == 0)
        choice.program = programs->runs.front().program;
    auto table = convertRun(text, *programs, choice, plate);
    EXPECT_TRUE(table.ok()) << (table.ok() ? "" : describe(table.error()));
    return table.ok() ? checkConversion(*table) : std::vector<Finding>{};
}

// Lines 1 and 2 are the title and header: the first data line is line 3.
void readings(Builder& b, std::string_view well, std::string_view sample, const std::vector<std::string>& values)
{
    for (std::size_t i = 0; i < values.size(); ++i)
        b.line(well, sample, "2", std::to_string(i + 1), values[i]);
}

struct Case {
    const char* name;
    void (*write)(Builder&);
    const char* expected;
};

const Case kCases[] = {
    {"clean",
     [](Builder& b) {
         readings(b, "A1", "S", {"16.11", "16.2", "17.0", "18.25"});
     },
     ""},
    {"date among small readings",
     [](Builder& b) {
         readings(b, "A1", "S", {"16.11", "16.2", "41594", "18.25"});
         readings(b, "A2", "S", {"16.11", "17746", "017.5", "18.25"});
     },
     "date A1 cycle 3 line 5 '41594'\ndate A2 cycle 2 line 8 '17746'\n"},
    // With decimals it is no date; below 10,000 it is not far enough above.
    {"large readings that are no dates",
     [](Builder& b) {
         readings(b, "A1", "S", {"16.11", "41594.00", "9999", "41594,5"});
     },
     ""},
    // A channel that reads high throughout has no outliers to find.
    {"whole numbers in a high channel",
     [](Builder& b) {
         readings(b, "A1", "S", {"41594", "41600", "41620", "16.5"});
     },
     ""},
    {"negative readings",
     [](Builder& b) {
         readings(b, "A1", "S", {"0.5", "-0.25", "-0.00", "-12"});
     },
     "negative A1 cycle 2 line 4 '-0.25'\nnegative A1 cycle 4 line 6 '-12'\n"},
    // The line of a missing cycle is that of the reading before it, or of the well's first line.
    {"fewer cycles and a gap",
     [](Builder& b) {
         readings(b, "A1", "S", {"1.1", "1.2", "1.3", "1.4"});
         b.line("A2", "S", "2", "1", "2.1").line("A2", "S", "2", "2", "2.2").line("A2", "S", "2", "4", "2.4");
         b.line("A3", "S", "2", "3", "3.3");
     },
     "missing A2 cycle 3 line 8 ''\nmissing A3 cycle 1 line 10 ''\nmissing A3 cycle 2 line 10 ''\n"
     "missing A3 cycle 4 line 10 ''\n"},
    {"a cycle read twice",
     [](Builder& b) {
         b.line("A1", "S", "2", "1", "1.1").line("A1", "S", "2", "2", "1.2").line("A1", "S", "2", "2", "1.25");
         b.line("A1", "S", "2", "3", "1.3");
     },
     "repeated A1 cycle 2 line 5 '1.25'\n"},
    // One finding per well, where the name first changes.
    {"sample name changes within a well",
     [](Builder& b) {
         b.line("A1", "S one", "2", "1", "1.1").line("A1", "S one", "2", "2", "1.2");
         b.line("A1", "S two", "2", "3", "1.3").line("A1", "S three", "2", "4", "1.4");
         readings(b, "A2", "S two", {"1.1", "1.2", "1.3", "1.4"});
     },
     "sample A1 cycle 3 line 5 'S two'\n"},
    // Control characters separate words as blanks do; DEL and text in quotes stay as written.
    {"control characters in sample names",
     [](Builder& b) {
         readings(b, "A1", "\x01S\x02one\x1F", {"1.1", "1.2"});
         readings(b, "A2", "S\x7Ftwo \"x\x01y\"", {"1.1", "1.2"});
         readings(b, "A3", "S\vthree", {"1.1", "1.2"});
     },
     "controls A1 cycle 1 line 3 'S one'\ncontrols A3 cycle 1 line 7 'S three'\n"},
    // The table widens: nothing of the longer well is lost, and the others lack the cycles.
    {"a well with more cycles than the first",
     [](Builder& b) {
         readings(b, "A1", "S", {"1.1", "1.2"});
         readings(b, "A2", "S", {"2.1", "2.2", "2.3", "2.4"});
         readings(b, "A3", "S", {"3.1", "3.2"});
     },
     "missing A1 cycle 3 line 4 ''\nmissing A1 cycle 4 line 4 ''\nmissing A3 cycle 3 line 10 ''\n"
     "missing A3 cycle 4 line 10 ''\nlonger A2 cycle 3 line 7 '2.3'\n"},
    // A well split in two runs is whole in its row, and a cycle it had already is a repeat.
    {"a well that comes back after other wells",
     [](Builder& b) {
         readings(b, "A1", "S", {"1.1", "1.2"});
         readings(b, "A2", "S", {"2.1", "2.2", "2.3", "2.4"});
         b.line("A1", "S", "2", "3", "1.3").line("A1", "S", "2", "4", "1.4").line("A2", "S", "2", "4", "2.45");
     },
     "repeated A2 cycle 4 line 11 '2.45'\nreturning A1 cycle 3 line 9 '1.3'\nreturning A2 cycle 4 line 11 "
     "'2.45'\n"},
    // Reported by kind, each kind in table order.
    {"several kinds",
     [](Builder& b) {
         readings(b, "A1", "S", {"1.1", "-1.2", "1.3"});
         b.line("A2", "S", "2", "1", "1.1").line("A2", "S", "2", "1", "1.15").line("A2", "S", "2", "2", "41594");
     },
     "date A2 cycle 2 line 8 '41594'\nnegative A1 cycle 2 line 4 '-1.2'\nmissing A2 cycle 3 line 8 ''\n"
     "repeated A2 cycle 1 line 7 '1.15'\n"},
};

TEST(DataChecks, EachKindOnAWrittenExport)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Builder b;
        c.write(b);
        EXPECT_EQ(render(findingsOf(b.build())), c.expected);
    }
}

TEST(DataChecks, ChecksOnlyWhatIsConverted)
{
    // The other program, another segment and wells beyond the plate are not in the table.
    Builder b;
    readings(b, "A1", "S", {"1.1", "1.2"});
    b.line("A1", "S", "3", "1", "-5").line("A1", "other", "3", "1", "41594");
    readings(b, "A2", "S", {"1.1", "1.2"});
    auto programs = detectPrograms(b.build());
    ASSERT_TRUE(programs.ok());
    ConversionSettings settings = conversionSettings(*programs, 2, morvane::PlateFormat::Wells96);
    settings.wellLimit = 1;
    const RawText text = b.build();
    auto table = convertToGrid(text, settings);
    ASSERT_TRUE(table.ok());
    EXPECT_EQ(render(checkConversion(*table)), "");
}

TEST(DataChecks, RealExportDamagedByASpreadsheet)
{
    const auto findings = findingsOf(load("lc480_96_example_excel_damaged.txt"));
    ASSERT_EQ(findings.size(), 1002u);
    for (const Finding& f : findings)
        EXPECT_EQ(f.kind, FindingKind::SpreadsheetDate) << render({f});
    EXPECT_EQ(render({findings.front()}), "date A2 cycle 30 line 77 '41350'\n");
    EXPECT_EQ(findings.front().column(), 31);

    const auto groups = groupFindings(findings);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(toolWarning(findings, groups.front()),
              "1,002 readings look like spreadsheet dates (first: A2 cycle 30: 41350)");
    EXPECT_EQ(windowWarning(findings),
              "1,002 readings look like dates written by a spreadsheet (first: A2 cycle 30, line 77: 41350; A2 cycle "
              "31, line 78: 41595; A2 cycle 32, line 79: 41625; ...).\nThe table keeps them as they are; untick the "
              "wells you do not want to export.");
}

TEST(DataChecks, CleanRealExportsGiveNothing)
{
    for (const char* name : {"lc480_384_nrd1_calibration.txt", "channels/lc480_96_dual_colour.txt",
                             "channels/lc480_384_three_colour.txt", "channels/lc480_96_two_segments.txt"}) {
        const RawText text = load(name);
        auto programs = detectPrograms(text);
        ASSERT_TRUE(programs.ok()) << name;
        const PlateFormat plate = PlateFormat::Wells384; // room for every well of either plate
        for (const OfferedRun& run : programs->runs) {
            for (std::size_t channel = 0; channel < programs->columns.channels.size(); ++channel) {
                SCOPED_TRACE(std::string(name) + " run " + run.name() + " channel " + std::to_string(channel));
                auto table = convertRun(text, *programs, {run.program, run.segment, int(channel)}, plate);
                ASSERT_TRUE(table.ok());
                EXPECT_GT(table->grid.rowCount(), 1);
                EXPECT_EQ(render(checkConversion(*table)), "");
            }
        }
    }
}

TEST(DataChecks, Messages)
{
    const std::vector<std::pair<std::size_t, const char*>> counts{
        {0, "0"}, {999, "999"}, {1000, "1,000"}, {1002, "1,002"}, {1234567, "1,234,567"}};
    for (const auto& [count, text] : counts)
        EXPECT_EQ(countText(count), text);

    const std::vector<Finding> findings{
        {FindingKind::Negative, 1, 2, 4, "A1", "-1.2"},
        {FindingKind::MissingCycle, 2, 3, 8, "A2", ""},
        {FindingKind::MissingCycle, 2, 4, 8, "A2", ""},
        {FindingKind::SampleName, 3, 5, 20, "A3", "S two"},
    };
    const auto groups = groupFindings(findings);
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(toolWarning(findings, groups[0]), "1 reading is negative (first: A1 cycle 2: -1.2)");
    EXPECT_EQ(toolWarning(findings, groups[1]), "2 cycles have no reading (first: A2 cycle 3)");
    EXPECT_EQ(toolWarning(findings, groups[2]),
              "1 well changes its sample name within the run (first: A3 cycle 5: 'S two')");
    EXPECT_EQ(windowWarning(findings), "1 reading is negative (first: A1 cycle 2, line 4: -1.2).\n"
                                       "2 cycles have no reading (first: A2 cycle 3, line 8; A2 cycle 4, line 8).\n"
                                       "1 well changes its sample name within the run (first: A3 cycle 5, line 20: "
                                       "'S two').\nThe table keeps them as they are; untick the wells you do not "
                                       "want to export.");
    EXPECT_EQ(windowWarning({}), "");
    EXPECT_EQ(cellNote(findings[3]), "the sample name changes to 'S two' at cycle 5 (line 20)");
}

// A reading of megabytes, a sample name of 32,000 characters with control characters: every
// message quotes at most 80 characters of them, escaped.
TEST(DataChecks, MessagesQuoteInputCutShortAndEscaped)
{
    const std::string hugeReading = "-1" + std::string(10 << 20, '5');
    const std::string longName = "\x1b]0;owned\x07" + std::string(32000, 'n');
    const std::vector<Finding> findings{
        {FindingKind::Negative, 1, 2, 50, "A1", hugeReading},
        {FindingKind::SampleName, 1, 3, 51, std::string(1000, 'W'), longName},
        {FindingKind::LongerRun, 2, 41, 300, "A2", "812.5"},
        {FindingKind::ReturningWell, 1, 21, 1921, "A1", "17.25"},
    };
    const auto groups = groupFindings(findings);
    std::vector<std::string> messages{windowWarning(findings)};
    for (const FindingGroup& group : groups)
        messages.push_back(toolWarning(findings, group));
    for (const Finding& finding : findings)
        messages.push_back(cellNote(finding));
    for (const std::string& message : messages) {
        EXPECT_LT(message.size(), message == messages.front() ? 1200u : 300u) << message.substr(0, 300);
        EXPECT_EQ(message.find_first_of("\x1b\x07"), std::string::npos) << message.substr(0, 300);
    }
    EXPECT_EQ(messages[3], "1 well has cycles beyond the first well's last (the table widened to hold them) "
                           "(first: A2 cycle 41: 812.5)");
    EXPECT_EQ(messages[4], "1 run of a well comes back after other wells or programs (the readings joined their "
                           "well's row) (first: A1 cycle 21: 17.25)");
    EXPECT_NE(messages[2].find("'\\x1B]0;owned\\x07nnn"), std::string::npos) << messages[2];
}

} // namespace

namespace {

TEST(DataChecks, FindingsFollowTheirWells)
{
    Grid wells(4, 4, 1, 1);
    const char* names[] = {"well", "A1", "A2", "A1"};
    for (int row = 0; row < 4; ++row)
        wells.cell(row, 0) = names[row];
    const std::vector<Finding> findings{
        {FindingKind::SpreadsheetDate, 2, 1, 10, "A2", "41594"},
        {FindingKind::SpreadsheetDate, 2, 2, 11, "A2", "41595"},
        {FindingKind::Negative, 1, 2, 4, "A1", "-1"},
        {FindingKind::Negative, 3, 1, 20, "A1", "-2"}, // a second row of A1: not the one extracted
    };
    // The export table: A2 first (written in lower case), A1, and a well without findings.
    Grid exported(4, 4, 1, 1);
    exported.cell(1, 0) = "a2";
    exported.cell(2, 0) = "A1";
    exported.cell(3, 0) = "B1";
    const auto moved = findingsOnTable(findings, wells, exported);
    std::string rows;
    for (const Finding& f : moved)
        rows += std::to_string(f.row) + ":" + f.text + " ";
    EXPECT_EQ(rows, "1:41594 1:41595 2:-1 ");

    const auto byWell = findingsByWell(findings);
    ASSERT_EQ(byWell.size(), 2u);
    EXPECT_EQ(byWell[0].well, "A2");
    EXPECT_EQ(byWell[0].note, "2 readings look like dates written by a spreadsheet");
    EXPECT_EQ(byWell[1].well, "A1");
    EXPECT_EQ(byWell[1].note, "2 readings are negative");
}

} // namespace
