// Exports with several channels and programs that read in several segments: the columns come
// from the header, and each channel and segment gives exactly its own readings.

#include "conversion/programs.h"
#include "conversion/welltable.h"
#include "rawexport_builder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

using namespace morvane;

namespace {

RawText load(const std::string& name)
{
    auto text = loadRawFile(std::string(MORVANE_TESTDATA_DIR) + "/" + name);
    EXPECT_TRUE(text.ok()) << name;
    return text.ok() ? std::move(text).value() : RawText();
}

ProgramList detected(const RawText& text)
{
    auto programs = detectPrograms(text);
    EXPECT_TRUE(programs.ok()) << (programs.ok() ? "" : describe(programs.error()));
    return programs.ok() ? std::move(programs).value() : ProgramList();
}

// The table a run and channel must give, read from the file by plain tab splitting rather than
// by the converter's own field logic: one row per well, the readings of `program` (and
// `segment`, when given) of column 7 + channel.
Grid expectedTable(const std::string& name, int program, std::optional<int> segment, int channel)
{
    std::ifstream in(std::string(MORVANE_TESTDATA_DIR) + "/" + name, std::ios::binary);
    std::string line;
    std::vector<std::string> order;
    std::map<std::string, std::pair<std::string, std::map<int, std::string>>> wells;
    int cycles = 0;
    for (int n = 0; std::getline(in, line); ++n) {
        if (n < 2)
            continue;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');)
            f.push_back(field);
        if (std::stoi(f[2]) != program || (segment && std::stoi(f[3]) != *segment))
            continue;
        if (!wells.count(f[0]))
            order.push_back(f[0]);
        auto& well = wells[f[0]];
        well.first = f[1].empty() ? "" : " " + f[1];
        well.second[std::stoi(f[4])] = f[static_cast<std::size_t>(7 + channel)];
        cycles = std::max(cycles, std::stoi(f[4]));
    }
    Grid grid(static_cast<int>(order.size()) + 1, cycles + 2, 1, 1);
    grid.cell(0, 0) = "well";
    grid.cell(0, 1) = "sample";
    for (int c = 1; c <= cycles; ++c)
        grid.cell(0, c + 1) = std::to_string(c);
    for (std::size_t r = 0; r < order.size(); ++r) {
        const auto& well = wells[order[r]];
        const int row = static_cast<int>(r) + 1;
        grid.cell(row, 0) = order[r];
        grid.cell(row, 1) = well.first;
        for (const auto& [cycle, reading] : well.second)
            grid.cell(row, cycle + 1) = reading;
    }
    return grid;
}

} // namespace

TEST(Columns, FoundByNameInTheHeader)
{
    struct Case {
        const char* header;
        LineColumns line;
        std::vector<std::string> channels;
    };
    const std::vector<Case> cases = {
        {"SamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp\t465-510\t", {6, 4, 1, 5, 2}, {"465-510"}},
        {"SamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp\t465-510\t533-580\t",
         {7, 5, 2, 6, 3},
         {"465-510", "533-580"}},
        {"SamplePos SampleName Prog# Seg# Cycle# Time Temp 465-510 533-580 618-660",
         {8, 6, 3, 7, 4},
         {"465-510", "533-580", "618-660"}},
        // Without "Temp" the last column is the one reading, as it always was.
        {"Pos\tName\tPROG#\tStep\tSeg#\tCycle#\tTime\tFluor", {6, 3, 1, 4, 0}, {"Fluor"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        const auto columns = findColumns(rawexport::rawText(std::string("Raw Data\r\n") + c.header + "\r\n"), 1);
        ASSERT_TRUE(columns.ok()) << columns.error().message;
        EXPECT_EQ(columns->line.programFromEnd, c.line.programFromEnd);
        EXPECT_EQ(columns->line.cycleFromEnd, c.line.cycleFromEnd);
        EXPECT_EQ(columns->line.readingFromEnd, c.line.readingFromEnd);
        EXPECT_EQ(columns->line.segmentFromEnd, c.line.segmentFromEnd);
        EXPECT_EQ(columns->line.temperatureFromEnd, c.line.temperatureFromEnd);
        EXPECT_EQ(columns->channels, c.channels);
    }
}

TEST(Columns, HeaderWithoutCycleOrReadingIsRefusedNamingItsLine)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"SamplePos\tSampleName\tProg#\tSeg#\tTime\tTemp\t465-510",
         "line 2: the column header line has no field \"Cycle#\""},
        {"SamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp\t",
         "line 2: the column header line has no reading column after \"Temp\""},
    };
    for (const auto& [header, message] : cases) {
        const auto programs =
            detectPrograms(rawexport::rawText("Raw Data\r\n" + header + "\r\nA1 S 2 1 1 1 1 0.5\r\n"));
        ASSERT_FALSE(programs.ok()) << header;
        EXPECT_EQ(describe(programs.error()), message);
    }
}

TEST(Channels, EachChannelGivesExactlyItsColumn)
{
    for (const char* name : {"channels/lc480_96_dual_colour.txt", "channels/lc480_384_three_colour.txt"}) {
        const RawText text = load(name);
        const ProgramList programs = detected(text);
        ASSERT_EQ(programs.runs.size(), 1u) << name;
        EXPECT_EQ(programs.runs.front().label(), "2");
        const PlateFormat plate =
            std::string(name).find("384") != std::string::npos ? PlateFormat::Wells384 : PlateFormat::Wells96;
        for (int channel = 0; channel < static_cast<int>(programs.columns.channels.size()); ++channel) {
            SCOPED_TRACE(std::string(name) + " channel " + programs.columns.channels[std::size_t(channel)]);
            auto table = convertRun(text, programs, {2, std::nullopt, channel}, plate);
            ASSERT_TRUE(table.ok()) << describe(table.error());
            EXPECT_EQ(rawexport::render(table->grid), rawexport::render(expectedTable(name, 2, std::nullopt, channel)));
            EXPECT_TRUE(table->wellsNotConverted.empty());
        }
    }
}

TEST(Segments, AProgramReadInTwoSegmentsIsOfferedAndConvertedPerSegment)
{
    const char* name = "channels/lc480_96_two_segments.txt";
    const RawText text = load(name);
    const ProgramList programs = detected(text);
    std::vector<std::string> labels;
    std::vector<std::string> names;
    for (const OfferedRun& run : programs.runs) {
        labels.push_back(run.label());
        names.push_back(run.name());
    }
    // The read at 60 degrees (the amplification read) first, the denaturation read after it.
    EXPECT_EQ(labels, (std::vector<std::string>{"2 / segment 2 (60 \u00b0C)", "2 / segment 1 (95 \u00b0C)"}));
    EXPECT_EQ(names, (std::vector<std::string>{"2/2", "2/1"}));
    EXPECT_TRUE(programs.offersChoice());
    for (int segment : {1, 2}) {
        SCOPED_TRACE(segment);
        const OfferedRun* run = findRun(programs, "2/" + std::to_string(segment));
        ASSERT_NE(run, nullptr);
        auto table = convertRun(text, programs, {run->program, run->segment, 0}, morvane::PlateFormat::Wells96);
        ASSERT_TRUE(table.ok()) << describe(table.error());
        EXPECT_EQ(table->cycles, 40);
        EXPECT_EQ(rawexport::render(table->grid), rawexport::render(expectedTable(name, 2, segment, 0)));
    }
    EXPECT_EQ(findRun(programs, "2"), nullptr) << "a program read in several segments is chosen with its segment";
    EXPECT_EQ(findRun(programs, "2/3"), nullptr);
}

TEST(Conversion, ACycleOutOfOrderIsAnErrorNamingItsLine)
{
    // Cycle 3 of well A2 of the real 96-well export written as 9999: ending the run there would
    // drop cycles 4 to 45 of A2 in silence.
    const RawText text = load("lc480_96_cycle9999_line50.txt");
    const ProgramList programs = detected(text);
    const auto table = convertRun(text, programs, {2, std::nullopt, 0}, morvane::PlateFormat::Wells96);
    ASSERT_FALSE(table.ok());
    EXPECT_EQ(describe(table.error()), "line 50: cycle 9999 breaks the order of well A2's cycles");

    // A cycle that steps back names its own line.
    rawexport::Builder b;
    b.cycles("A1", "S", 2, 1, 3).cycles("A2", "S", 2, 1, 3).line("A2", "S", 2, 2).cycles("A3", "S", 2, 1, 3);
    const RawText back = b.build();
    const auto stepped = convertRun(back, detected(back), {2, std::nullopt, 0}, morvane::PlateFormat::Wells96);
    ASSERT_FALSE(stepped.ok());
    EXPECT_EQ(describe(stepped.error()), "line 9: cycle 2 breaks the order of well A2's cycles");
}
