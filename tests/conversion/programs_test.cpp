#include "conversion/programs.h"

#include "rawexport_builder.h"

#include <gtest/gtest.h>

using morvane::detectPrograms;
using morvane::ProgramList;
using morvane::RawText;
using rawexport::Builder;

namespace {

// Every well: program 1 with one cycle, program 2 with 45 cycles, program 3 with many readings
// of cycle 1 (melt) and program 4 with one cycle.
void fourProgramWell(Builder& b, const std::string& well)
{
    b.line(well, "Sample 1", 1, 1).cycles(well, "Sample 1", 2, 1, 45).melt(well, "Sample 1", 3, 20);
    b.line(well, "Sample 1", 4, 1);
}

ProgramList detected(const RawText& text)
{
    auto list = detectPrograms(text);
    EXPECT_TRUE(list.ok()) << (list.ok() ? "" : morvane::describe(list.error()));
    return list.ok() ? *list : ProgramList();
}

RawText loadData(const char* name)
{
    auto text = morvane::loadRawFile(std::string(MORVANE_TESTDATA_DIR) + "/" + name);
    EXPECT_TRUE(text.ok());
    return text.ok() ? std::move(text).value() : RawText();
}

} // namespace

TEST(DetectPrograms, OffersOnlyTheProgramWithMoreThanOneCycle)
{
    Builder b;
    for (const char* well : {"A1", "A2", "A3"})
        fourProgramWell(b, well);
    const ProgramList list = detected(b.build());
    EXPECT_EQ(list.progColFromEnd, 6);
    EXPECT_EQ(list.headerLine, 1u);
    EXPECT_EQ(list.programs, std::vector<std::string>{"2"});
    EXPECT_EQ(list.numbers, std::vector<int>{2});
    EXPECT_FALSE(list.offersChoice());
}

TEST(DetectPrograms, OffersTwoAmplificationProgramsInFileOrder)
{
    Builder b;
    for (const char* well : {"A1", "A2"})
        b.cycles(well, "S", 2, 1, 40).melt(well, "S", 3, 4).cycles(well, "S", 4, 1, 40);
    const ProgramList list = detected(b.build());
    EXPECT_EQ(list.programs, (std::vector<std::string>{"2", "4"}));
    EXPECT_EQ(list.numbers, (std::vector<int>{2, 4}));
    EXPECT_TRUE(list.offersChoice());
}

TEST(DetectPrograms, ListsAProgramOnceAndAsTheFileWritesIt)
{
    // Program "02" comes back within the well and again with the second well's first line.
    Builder b;
    for (const char* well : {"A1", "A2"}) {
        for (int c = 1; c <= 3; ++c)
            b.line(well, "S", "02", std::to_string(c), "1.0");
        b.line(well, "S", 5, 1);
        for (int c = 1; c <= 3; ++c)
            b.line(well, "S", "02", std::to_string(c), "1.0");
    }
    const ProgramList list = detected(b.build());
    EXPECT_EQ(list.programs, std::vector<std::string>{"02"});
    EXPECT_EQ(list.numbers, std::vector<int>{2});
}

TEST(DetectPrograms, ProgramPositionComesFromTheHeader)
{
    // One more column between program and cycle, a sample of three words, and the program field
    // written "PROG#": the line is found by the exact text "Prog#" in another field, the field is
    // compared without regard to case.
    Builder b("Raw Data", "Pos\tName\tPROG#\tStep\tSeg#\tCycle#\tTime\tFluor\tProg#note");
    for (const char* well : {"B1", "B2"}) {
        for (int c = 1; c <= 3; ++c)
            b.raw(std::string(well) + "\tStd 1 high\t7\tx\t1\t" + std::to_string(c) + "\t100\t0.5\t9");
    }
    const ProgramList list = detected(b.build());
    EXPECT_EQ(list.progColFromEnd, 7);
    EXPECT_EQ(list.programs, std::vector<std::string>{"7"});
}

TEST(DetectPrograms, SingleWellFileIsScannedToItsEnd)
{
    Builder b;
    b.cycles("A1", "S", 2, 1, 5).melt("A1", "S", 3, 3).cycles("A1", "S", 4, 1, 3);
    const ProgramList list = detected(b.build());
    EXPECT_EQ(list.programs, (std::vector<std::string>{"2", "4"}));
}

TEST(DetectPrograms, HeaderWithoutTitleLineMovesTheData)
{
    Builder b("SamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp\t465-510", "A1\tS\t2\t1\t1\t1\t1\t0.5");
    b.cycles("A1", "S", 2, 2, 3).cycles("A2", "S", 2, 1, 3);
    const ProgramList list = detected(b.build());
    EXPECT_EQ(list.headerLine, 0u);
    EXPECT_EQ(list.firstDataLine(), 1u);
    EXPECT_EQ(list.programs, std::vector<std::string>{"2"});
}

TEST(DetectPrograms, RealExports)
{
    const ProgramList p384 = detected(loadData("lc480_384_nrd1_calibration.txt"));
    EXPECT_EQ(p384.progColFromEnd, 6);
    EXPECT_EQ(p384.programs, std::vector<std::string>{"2"}); // program 3 is the melt curve
    const ProgramList p96 = detected(loadData("lc480_96_example_excel_damaged.txt"));
    EXPECT_EQ(p96.progColFromEnd, 6);
    EXPECT_EQ(p96.programs, std::vector<std::string>{"2"});
}

TEST(DetectPrograms, RefusesTheSampleListExport)
{
    auto list = detectPrograms(loadData("lc480_96_example_sample_info.txt"));
    ASSERT_FALSE(list.ok());
    EXPECT_EQ(list.error().message, "this is not a LightCycler 480 raw data export: no line holds the column header "
                                    "\"Prog#\" (it looks like a sample list or results export)");
    EXPECT_EQ(list.error().line, 0u);
}

namespace {
struct FailureCase {
    const char* name;
    std::string text;
    std::string message;
    std::size_t line;
};

std::string withData(std::initializer_list<std::string_view> lines)
{
    std::string text = std::string(rawexport::kTitle) + "\n" + std::string(rawexport::kHeader) + "\n";
    for (auto line : lines)
        text.append(line).append("\n");
    return text;
}

const std::string kTooFew = "too few fields for a data line: 6 where at least 7 are needed (the well first, the "
                            "program number 6th from the end, the cycle number 4th from the end, the reading last)";
const std::string kNoneFound = "no program found: no acquisition program of the first well has more than one cycle";
} // namespace

class DetectProgramsFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(DetectProgramsFailure, NamesTheProblemAndTheLine)
{
    auto list = detectPrograms(rawexport::rawText(GetParam().text));
    ASSERT_FALSE(list.ok());
    EXPECT_EQ(list.error().message, GetParam().message);
    EXPECT_EQ(list.error().line, GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DetectProgramsFailure,
    testing::Values(
        FailureCase{"Empty", "", "the file is empty", 0},
        FailureCase{"NoHeader", "Raw Data\nA1 S 2 1 1 1 1 0.5\nA1 S 2 1 2 1 1 0.5\n",
                    "this is not a LightCycler 480 raw data export: no line holds the column header \"Prog#\"", 0},
        FailureCase{"ResultsExport",
                    "Experiment: Test plate 7  Selected Filter: SYBR Green I / HRM Dye (465-510)\n"
                    "Include\tColor\tPos\tName\tCp\tConcentration\tStandard\tStatus\n"
                    "True\t255\tA1\tSample 1\t23.45\t\t0\t\nTrue\t255\tA2\tSample 2\t24.01\t\t0\t\n",
                    "this is not a LightCycler 480 raw data export: no line holds the column header \"Prog#\" (it "
                    "looks like a sample list or results export)",
                    0},
        FailureCase{"HeaderIsLastLine", std::string(rawexport::kTitle) + "\n" + std::string(rawexport::kHeader),
                    "no data lines follow the column header line", 2},
        FailureCase{"NoProgField", "Raw Data\nPos Name Prog#s Seg# Cycle# Time Temp F\nA1 S 2 1 1 1 1 0.5\n",
                    "the column header line has no field \"Prog#\"", 2},
        FailureCase{"CycleNotANumber", withData({"A1 S 2 1 1 1 1 0.5", "A1 S 2 1 2 1 1 0.5", "A1 S 2 1 seven 1 1 0.5"}),
                    "'seven' is not a valid integer value (cycle number)", 5},
        FailureCase{"ProgramNotANumber", withData({"A1 S 2 1 1 1 1 0.5", "A1 S 2 1 2 1 1 0.5", "A1 S two 1 3 1 1 0.5"}),
                    "'two' is not a valid integer value (program number)", 5},
        FailureCase{"TooFewFields", withData({"A1 S 2 1 1 1 1 0.5", "A1 S 2 1 2 1 1 0.5", "A1 2 1 3 1 0.5"}), kTooFew,
                    5},
        FailureCase{"OnlyOneCyclePrograms",
                    withData({"A1 S 1 1 1 1 1 0.5", "A1 S 3 1 1 1 1 0.5", "A1 S 3 1 1 1 1 0.5", "A2 S 1 1 1 1 1 0.5",
                              "A2 S 3 1 1 1 1 0.5"}),
                    kNoneFound, 0},
        FailureCase{"SingleDataLine", withData({"A1 S 2 1 1 1 1 0.5"}), kNoneFound, 0}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// What a conversion would take is told from the file's bytes and lines before it starts: each
// channel a line reads costs its share.
TEST(DetectPrograms, AFileTooLargeToConvertInMemoryIsRefusedUpFront)
{
    const struct {
        std::size_t lines;
        std::size_t channels;
        bool refused;
    } cases[] = {{5'000'000, 1, false}, {2'100'000, 2, false}, {2'100'000, 3, true}};
    for (const auto& c : cases) {
        std::string bytes;
        bytes.reserve(c.lines * 2);
        for (std::size_t i = 0; i < c.lines; ++i)
            bytes += "x\n";
        auto text = RawText::fromBytes(std::move(bytes));
        ASSERT_TRUE(text.ok());
        const morvane::Status fits = morvane::checkConversionMemory(*text, c.channels);
        EXPECT_EQ(!fits.ok(), c.refused) << c.lines << " lines, " << c.channels << " channels";
    }
    std::string bytes = "title\nSamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp\t465-510\n";
    for (int i = 0; i < 5'300'000; ++i)
        bytes += "x\n";
    auto text = RawText::fromBytes(std::move(bytes));
    ASSERT_TRUE(text.ok());
    auto list = detectPrograms(*text);
    ASSERT_FALSE(list.ok());
    EXPECT_EQ(list.error().message, "converting this file of 5,300,002 lines would take about 1,017 MB of memory, "
                                    "more than the 1,000 MB this program allows itself; a raw data export of a "
                                    "plate's run is far smaller");
}
