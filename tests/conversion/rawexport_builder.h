#pragma once
// Small raw data exports written in the tests: a title line, a header line and data lines laid
// out as the instrument writes them (tab-separated, CRLF).

#include "common/grid.h"
#include "conversion/rawtext.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace rawexport {

inline constexpr std::string_view kTitle = "Raw Data \t\tExperiment - Test plate 7 (Run on LCS480 1.5.0.39)";
inline constexpr std::string_view kHeader = "SamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp\t465-510\t";

// The reading the builder writes for a cycle: tells in the table where it came from.
inline std::string readingOf(std::string_view well, int program, int cycle)
{
    return std::string(well) + "p" + std::to_string(program) + "c" + std::to_string(cycle);
}

class Builder {
public:
    explicit Builder(std::string_view title = kTitle, std::string_view header = kHeader)
    {
        m_text.append(title).append("\r\n").append(header).append("\r\n");
    }
    Builder(const Builder&) = delete;

    // One data line as written; the sample may hold several words or none.
    Builder& line(std::string_view well, std::string_view sample, std::string_view program, std::string_view cycle,
                  std::string_view reading)
    {
        m_text.append(well).append("\t").append(sample).append("\t").append(program).append("\t1\t");
        m_text.append(cycle).append("\t123400\t59.9\t").append(reading).append("\r\n");
        return *this;
    }
    Builder& line(std::string_view well, std::string_view sample, int program, int cycle)
    {
        return line(well, sample, std::to_string(program), std::to_string(cycle), readingOf(well, program, cycle));
    }
    // Cycles first..last of a program.
    Builder& cycles(std::string_view well, std::string_view sample, int program, int first, int last)
    {
        for (int c = first; c <= last; ++c)
            line(well, sample, program, c);
        return *this;
    }
    // `count` readings all of cycle 1, as a melt curve has.
    Builder& melt(std::string_view well, std::string_view sample, int program, int count)
    {
        for (int i = 0; i < count; ++i)
            line(well, sample, std::to_string(program), "1", "m" + std::to_string(i));
        return *this;
    }
    Builder& raw(std::string_view text)
    {
        m_text.append(text).append("\r\n");
        return *this;
    }

    const std::string& text() const { return m_text; }
    morvane::RawText build() const
    {
        auto text = morvane::RawText::fromBytes(m_text);
        EXPECT_TRUE(text.ok());
        return text.ok() ? std::move(text).value() : morvane::RawText();
    }

private:
    std::string m_text;
};

inline morvane::RawText rawText(std::string bytes)
{
    auto text = morvane::RawText::fromBytes(std::move(bytes));
    EXPECT_TRUE(text.ok());
    return text.ok() ? std::move(text).value() : morvane::RawText();
}

// The whole grid as text, one row a line, cells separated by '|', the fixed rows and columns
// first: a failing comparison shows where the tables differ.
inline std::string render(const morvane::Grid& grid)
{
    std::string out = "fixed " + std::to_string(grid.fixedRows()) + "," + std::to_string(grid.fixedCols()) + "\n";
    for (int r = 0; r < grid.rowCount(); ++r) {
        for (int c = 0; c < grid.colCount(); ++c) {
            if (c > 0)
                out += '|';
            out += grid.cell(r, c);
        }
        out += '\n';
    }
    return out;
}

} // namespace rawexport
