#pragma once
// Reading the fields of one data line of the raw export; shared by the program detection and
// the conversion. The fields at the end of a line are addressed by their position counted from
// the end (1 = last), since the sample name in front of them may have any number of words.

#include "common/expected.h"
#include "conversion/rawtext.h"
#include "conversion/splitline.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace morvane {

// A data line: the well, the words of the sample name, then six fields (program, segment,
// cycle, time, temperature, reading), or more with one reading per channel. The positions
// below are those of a single-channel export; the header tells the others.
inline constexpr int kTrailingFields = 6;
inline constexpr int kCycleFromEnd = 4;
inline constexpr int kReadingFromEnd = 1;
// The sample name becomes one cell, and an Excel cell holds at most this many UTF-16 units.
inline constexpr std::size_t kMaxSampleNameLength = 32767;

// A piece of the text as UTF-8, copied as it is when it is plain ASCII.
std::string cellText(const RawText& text, std::string_view piece);

// Where the fields of a data line stand, counted from its end (1 = last; 0 = no such column).
struct LineColumns {
    int programFromEnd = 0;
    int cycleFromEnd = kCycleFromEnd;
    int readingFromEnd = kReadingFromEnd;
    int segmentFromEnd = 0;
    int temperatureFromEnd = 0;
};

// A temperature as the file writes it, with a point or a comma; nothing when it is no number.
[[nodiscard]] std::optional<double> parseTemperature(std::string_view field);

// One reusable cursor over data lines. Every access that can fail returns false and leaves the
// reason, with the line, in error().
class DataLineReader {
public:
    DataLineReader(const RawText& text, const LineColumns& columns);
    DataLineReader(const RawText& text, int programFromEnd, int cycleFromEnd, int readingFromEnd)
        : DataLineReader(text, LineColumns{programFromEnd, cycleFromEnd, readingFromEnd})
    {
    }

    // Splits line `index` (0-based) and checks that it has the fields a data line needs and a
    // sample name that fits a cell.
    bool split(std::size_t index);

    // The program number's text of line `index` where that text alone tells a short line from
    // the lines of the program converted; false where split() is needed (a long or quoted line,
    // or one without the fields a data line needs).
    bool programTextOnly(std::size_t index, std::string_view& program) const;

    std::string_view well() const { return m_fields[0]; }
    std::string_view programText() const { return field(m_columns.programFromEnd); }
    std::string_view cycleText() const { return field(m_columns.cycleFromEnd); }
    std::string_view reading() const { return field(m_columns.readingFromEnd); }
    std::string_view segmentText() const { return field(m_columns.segmentFromEnd); }
    std::string_view temperatureText() const { return field(m_columns.temperatureFromEnd); }
    // Any field by its position from the end (1 = last), such as one channel's reading of
    // several; only positions up to the columns' furthest one are sure to exist after split().
    std::string_view fieldFromEnd(int fromEnd) const { return field(fromEnd); }

    bool program(int& value) { return number(programText(), "program number", value); }
    bool cycle(int& value) { return number(cycleText(), "cycle number", value); }
    bool segment(int& value) { return number(segmentText(), "segment number", value); }

    // The sample cell: each word of the sample name (second field up to the one before the
    // program number, at the least the seventh from the end) preceded by one blank; empty without
    // words.
    void sampleName(std::string& out) const;
    // Whether the line held control characters between the well and the fields after the sample
    // name: they separate words like blanks, so sampleName made them blanks or left them out.
    bool sampleNameHadControls() const;
    // Whether a field lies in the split line itself; a quoted field with doubled quotes lies in
    // the reader's own buffer instead, which the next split reuses.
    bool inLine(std::string_view field) const;
    // Whether sampleName would write `name`, told without writing it where the text allows.
    bool hasSampleName(std::string_view name) const;

    // Records an error about the current line, or about line `index` (0-based).
    bool fail(std::string message);
    bool failAt(std::size_t index, std::string message);
    const Error& error() const { return m_error; }

private:
    bool number(std::string_view field, const char* what, int& value);
    bool checkSampleNameLength();
    std::string_view field(int fromEnd) const { return m_fields.fromEnd(static_cast<std::size_t>(fromEnd)); }

    const RawText& m_text;
    FieldList m_fields;
    std::size_t m_index = 0;
    LineColumns m_columns;
    std::size_t m_trailingFields; // from the program number to the end: what follows the sample name
    std::size_t m_minFields;
    Error m_error;
};

// Calls visit(line) for each line of the first well, from `firstDataLine` up to the first line
// of the next well (not visited). Stops at the first malformed line or when visit returns false
// with its error recorded in the reader; returns that error.
template <typename Visit>
Status forEachFirstWellLine(const RawText& text, const LineColumns& columns, std::size_t firstDataLine, Visit&& visit)
{
    DataLineReader line(text, columns);
    std::string firstWell;
    for (std::size_t k = firstDataLine; k < text.lineCount(); ++k) {
        if (!line.split(k))
            return line.error();
        if (k == firstDataLine)
            firstWell.assign(line.well());
        else if (line.well() != firstWell)
            break;
        if (!visit(line))
            return line.error();
    }
    return success();
}

} // namespace morvane
