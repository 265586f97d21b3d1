// A sample name too long for a cell is refused where it stands in the raw file, by the detection
// or the conversion, whichever reads the line first.

#include "conversion/dataline.h"
#include "conversion/programs.h"
#include "conversion/welltable.h"

#include "rawexport_builder.h"

#include <gtest/gtest.h>

namespace {

std::string repeat(std::string_view piece, std::size_t times)
{
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

// Detection and conversion of the first program offered, as the window and the tool do.
morvane::Expected<morvane::WellTable> convert(const morvane::RawText& text)
{
    const auto programs = morvane::detectPrograms(text);
    if (!programs)
        return programs.error();
    return morvane::convertRun(text, *programs, morvane::RunChoice{programs->numbers.front(), std::nullopt, 0},
                               morvane::PlateFormat::Wells96);
}

} // namespace

TEST(DataLine, SampleNameLongerThanACellIsRefusedAtItsLine)
{
    const std::string emoji = "\xF0\x9F\x98\x80"; // two UTF-16 units
    const struct {
        const char* what;
        std::string sample; // the cell is a blank before each word
        std::size_t cellLength;
    } cases[] = {
        {"ASCII that just fits", std::string(32766, 'n'), 32767},
        {"ASCII one too long", std::string(32767, 'n'), 32768},
        {"two words that just fit", std::string(16383, 'n') + " " + std::string(16382, 'n'), 32767},
        {"two words one too long", std::string(16383, 'n') + " " + std::string(16383, 'n'), 32768},
        {"characters beyond U+FFFF count twice", repeat(emoji, 16383), 32767},
        {"characters beyond U+FFFF one too long", repeat(emoji, 16384), 32769},
        {"Windows-1252 that just fits", std::string(32766, '\xB5'), 32767},
        {"Windows-1252 one too long", std::string(32767, '\xB5'), 32768},
    };
    for (const auto& c : cases) {
        // Line 6 starts the second well, which the detection reads; line 10 only the conversion.
        for (const std::size_t line : {6u, 10u}) {
            SCOPED_TRACE(std::string(c.what) + ", line " + std::to_string(line));
            rawexport::Builder b;
            for (const char* well : {"A1", "B1", "C1"}) {
                for (int cycle = 1; cycle <= 3; ++cycle) {
                    const bool here = (line == 6 && std::string(well) == "B1" && cycle == 1) ||
                                      (line == 10 && std::string(well) == "C1" && cycle == 2);
                    b.line(well, here ? c.sample : "S", 2, cycle);
                }
            }
            const auto table = convert(b.build());
            if (c.cellLength <= morvane::kMaxSampleNameLength) {
                ASSERT_TRUE(table.ok()) << morvane::describe(table.error());
                if (line == 6) {
                    EXPECT_EQ(table->grid.cell(2, 1).size(), b.build().toUtf8(" " + c.sample).size());
                }
                continue;
            }
            ASSERT_FALSE(table.ok());
            EXPECT_EQ(table.error().line, line);
            EXPECT_EQ(table.error().message, "the sample name has " + std::to_string(c.cellLength) +
                                                 " characters; a cell holds at most 32767");
        }
    }
}

// A sample name that changes within a well's run is a finding; the same name, however it is
// written (in Windows-1252 too), is none.
TEST(DataLine, SampleNameChangeWithinARunIsFound)
{
    const struct {
        const char* first;
        const char* second;
        bool found;
    } cases[] = {
        {"Std 1", "Std 1", false},
        {"Std 1", "Std 2", true},
        {"Std 1", "Std", true},
        {"Std", "Std 1", true},
        {"", "", false},
        {"", "x", true},
        {"\xB5g", "\xB5g", false},
        {"\xB5g", "\xB5h", true},
        {"\xC3\xA4", "\xC3\xA4", false},
        {"\"Std 1\"", "Std 1", false},
        {"Std 1", "Std  1", false},
        {"a\xB5", "a", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.first) + " / " + c.second);
        rawexport::Builder b;
        b.line("A1", c.first, 2, 1).line("A1", c.second, 2, 2).line("A2", "S", 2, 1).line("A2", "S", 2, 2);
        const auto table = convert(b.build());
        ASSERT_TRUE(table.ok()) << morvane::describe(table.error());
        const auto& findings = table->conversionFindings;
        EXPECT_EQ(std::count_if(findings.begin(), findings.end(),
                                [](const morvane::Finding& f) { return f.kind == morvane::FindingKind::SampleName; }),
                  c.found ? 1 : 0);
    }
}
