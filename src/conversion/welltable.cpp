#include "conversion/welltable.h"

#include "common/text.h"

#include <algorithm>
#include <cstdint>

namespace morvane {

namespace {

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Readings go into column cycle + 1; a cycle number below 1 would land on the well or sample
// column (or outside the table) and one beyond kMaxCycle would make the table absurdly wide.
bool checkCycle(DataLineReader& line, int cycle)
{
    if (cycle < 1)
        return line.fail("cycle number " + std::to_string(cycle) + " is out of range: cycles count from 1");
    if (cycle > kMaxCycle)
        return line.fail("cycle number " + std::to_string(cycle) + " is out of range: at most " +
                         std::to_string(kMaxCycle) + " cycles");
    return true;
}

class Converter {
public:
    Converter(const RawText& text, const ConversionSettings& settings, const ConversionProgress& progress)
        : m_text(text), m_settings(settings), m_progress(progress), m_count(text.lineCount()),
          m_line(text, LineColumns{settings.progColFromEnd, settings.cycleFromEnd, settings.readingFromEnd,
                                   settings.selectedSegment ? settings.segmentFromEnd : 0, 0})
    {
    }

    Expected<WellTable> run();

private:
    // Moves to line `index`; false with the error recorded when the line is malformed.
    bool moveTo(std::size_t index)
    {
        m_index = index;
        return m_line.split(index);
    }
    bool atEnd() const { return m_index >= m_count; }
    // Whether the current line is one of the selected run: its program, and its segment when
    // one is chosen. False with the error recorded when a number is malformed.
    bool selected(bool& yes);
    // The same program in a segment other than the chosen one: a line to pass over in a run.
    bool otherSegment(bool& yes);
    bool findFirstRun();
    // From the line after a run to the first line of the next run; false at the end of the file
    // (no error recorded) or on an error.
    bool findNextRun(bool skipToNextWell);
    bool walkRun(int row, bool fixesColumns);
    bool checkOrder(int cycle, int previous, int beforePrevious);
    void noteWellsNotConverted();
    void startRow(int row);
    // Records the findings only the walk sees, on the current line.
    void noteLine(int row, int cycle, int previous);
    void finishRow(int row);
    void reportProgress()
    {
        if (m_progress)
            m_progress(m_index);
    }
    std::string runName() const
    {
        std::string name = "program " + std::to_string(m_settings.selectedProgram);
        if (m_settings.selectedSegment)
            name += " segment " + std::to_string(*m_settings.selectedSegment);
        return name;
    }

    const RawText& m_text;
    const ConversionSettings& m_settings;
    const ConversionProgress& m_progress;
    const std::size_t m_count;
    DataLineReader m_line;
    std::size_t m_index = 0;
    std::string m_runWell; // the well of the current run's first line
    std::string m_sample;  // the sample cell of the current row
    std::string m_lineSample;
    bool m_sampleChanged = false;       // within the current run, already reported
    std::vector<std::uint32_t> m_lines; // of the current row's cells
    int m_lastCycle = 0;                // of the run just walked
    std::optional<Error> m_missingRun;
    WellTable m_table;
};

bool Converter::selected(bool& yes)
{
    int program = 0;
    if (!m_line.program(program))
        return false;
    yes = program == m_settings.selectedProgram;
    if (yes && m_settings.selectedSegment) {
        int segment = 0;
        if (!m_line.segment(segment))
            return false;
        yes = segment == *m_settings.selectedSegment;
    }
    return true;
}

bool Converter::otherSegment(bool& yes)
{
    yes = false;
    if (!m_settings.selectedSegment)
        return true;
    int program = 0;
    int segment = 0;
    if (!m_line.program(program))
        return false;
    if (program != m_settings.selectedProgram)
        return true;
    if (!m_line.segment(segment))
        return false;
    yes = segment != *m_settings.selectedSegment;
    return true;
}

void Converter::startRow(int row)
{
    Grid& grid = m_table.grid;
    m_runWell.assign(m_line.well());
    grid.cell(row, 0) = cellText(m_text, m_runWell);
    m_line.sampleName(m_sample);
    grid.cell(row, 1) = m_sample;
    m_sampleChanged = false;
    m_lines.assign(static_cast<std::size_t>(grid.colCount()), 0);
    m_lines[0] = m_lines[1] = static_cast<std::uint32_t>(m_index + 1);
}

void Converter::noteLine(int row, int cycle, int previous)
{
    // Cycles only rise within a run, so a cycle read before is the one just before.
    if (cycle == previous)
        m_table.conversionFindings.push_back(Finding{FindingKind::RepeatedCycle, row, cycle,
                                                     static_cast<std::uint32_t>(m_index + 1),
                                                     cellText(m_text, m_runWell), cellText(m_text, m_line.reading())});
    if (m_sampleChanged)
        return;
    m_line.sampleName(m_lineSample);
    if (m_lineSample != m_sample) {
        m_sampleChanged = true;
        m_table.conversionFindings.push_back(
            Finding{FindingKind::SampleName, row, cycle, static_cast<std::uint32_t>(m_index + 1),
                    cellText(m_text, m_runWell), m_lineSample.empty() ? m_lineSample : m_lineSample.substr(1)});
    }
}

// The rows are complete one after the other, so the lines of the cells are laid out as the
// grid's cells are; the first row's run fixes the width.
void Converter::finishRow(int row)
{
    const auto cols = static_cast<std::size_t>(m_table.grid.colCount());
    if (row == 1) {
        m_table.sourceLines.reserve(cols * static_cast<std::size_t>(std::max(m_settings.wellLimit, 1) + 1));
        m_table.sourceLines.assign(cols, 0);
    }
    m_lines.resize(cols);
    m_table.sourceLines.insert(m_table.sourceLines.end(), m_lines.begin(), m_lines.end());
}

bool Converter::findFirstRun()
{
    for (m_index = m_settings.firstDataLine;; ++m_index) {
        if (atEnd()) {
            m_missingRun = Error{runName() + " does not occur in the file"};
            return false;
        }
        bool yes = false;
        if (!moveTo(m_index) || !selected(yes))
            return false;
        if (yes)
            return true;
    }
}

bool Converter::findNextRun(bool skipToNextWell)
{
    if (skipToNextWell) {
        while (m_line.well() == m_runWell) {
            if (++m_index == m_count)
                return false;
            if (!moveTo(m_index))
                return false;
        }
    }
    for (;;) {
        bool yes = false;
        if (!selected(yes))
            return false;
        if (yes)
            return true;
        if (++m_index == m_count)
            return false;
        if (!moveTo(m_index))
            return false;
    }
}

// A smaller cycle number ends a run: the next program or well begins. Within the same well,
// program and segment it can only be a cycle written out of order, and ending the run there
// would drop the rest of the well's readings in silence.
bool Converter::checkOrder(int cycle, int previous, int beforePrevious)
{
    if (m_line.well() != m_runWell)
        return true;
    bool sameRun = false;
    if (!selected(sameRun))
        return false;
    if (!sameRun)
        return true;
    // The odd one out: the line before when it stands above both of its neighbours (1, 2, 9999,
    // 4), else this one (1, 2, 3, 2).
    std::size_t line = m_index + 1;
    int odd = cycle;
    if (beforePrevious > 0 && cycle > beforePrevious) {
        line = m_index;
        odd = previous;
    }
    return m_line.failAt(line - 1, "cycle " + std::to_string(odd) + " breaks the order of well " +
                                       cutForMessage(cellText(m_text, m_runWell)) + "'s cycles");
}

// The first run fixes the columns: each line widens the table to its cycle number. A run ends
// at a smaller cycle number (the next program or well) or at the end of the file; the last
// line's reading belongs to the run. A later well's cycles beyond the first well's are not kept.
bool Converter::walkRun(int row, bool fixesColumns)
{
    Grid& grid = m_table.grid;
    int cycle = 0;
    if (!m_line.cycle(cycle))
        return false;
    int previous = 0;
    for (;;) {
        if (!checkCycle(m_line, cycle))
            return false;
        if (fixesColumns) {
            if (cycle + 2 > grid.colCount()) {
                grid.setColCount(cycle + 2);
                m_lines.resize(static_cast<std::size_t>(cycle + 2));
            }
            grid.cell(0, cycle + 1).assign(m_line.cycleText());
        }
        noteLine(row, cycle, previous);
        if (cycle + 1 < grid.colCount()) {
            grid.cell(row, cycle + 1) = cellText(m_text, m_line.reading());
            m_lines[static_cast<std::size_t>(cycle + 1)] = static_cast<std::uint32_t>(m_index + 1);
        }
        const int beforePrevious = previous;
        previous = cycle;
        bool passOver = false;
        do {
            if (++m_index == m_count) {
                m_lastCycle = previous;
                return true;
            }
            if (!moveTo(m_index) || !otherSegment(passOver))
                return false;
        } while (passOver);
        if (!m_line.cycle(cycle))
            return false;
        if (cycle < previous) {
            m_lastCycle = previous;
            return checkOrder(cycle, previous, beforePrevious);
        }
    }
}

// The table is full: the wells that follow are named, so that a file of more wells than the
// plate does not lose them in silence. Lines that cannot be split are left to whoever reads them.
void Converter::noteWellsNotConverted()
{
    FieldList fields;
    std::string last = m_runWell;
    for (std::size_t k = m_index; k < m_count; ++k) {
        splitline(' ', m_text.line(k), fields);
        if (fields.empty() || fields[0] == last)
            continue;
        last.assign(fields[0]);
        m_table.wellsNotConverted.push_back(cellText(m_text, last));
    }
}

Expected<WellTable> Converter::run()
{
    if (!findFirstRun())
        return m_missingRun ? *m_missingRun : m_line.error();
    int cycle = 0;
    if (!m_line.cycle(cycle) || !checkCycle(m_line, cycle))
        return m_line.error();
    Grid& grid = m_table.grid;
    grid = Grid(2, cycle + 2, 1, 1);
    grid.cell(0, 0) = "well";
    grid.cell(0, 1) = "sample";

    bool skipToNextWell = false;
    for (int row = 1;; ++row) {
        if (row > 1)
            grid.setRowCount(row + 1);
        startRow(row);
        if (!walkRun(row, row == 1))
            return m_line.error();
        finishRow(row);
        if (row == 1) {
            m_table.cycles = m_lastCycle;
            // Another program after the selected one within the well: the further wells are
            // found by the change of well rather than by searching through the other programs.
            skipToNextWell = !atEnd() && m_line.well() == m_runWell;
        }
        reportProgress();
        if (atEnd())
            break;
        if (row == m_settings.wellLimit) {
            noteWellsNotConverted();
            break;
        }
        if (!findNextRun(skipToNextWell)) {
            if (atEnd())
                break;
            return m_line.error();
        }
    }
    return std::move(m_table);
}

} // namespace

ConversionSettings conversionSettings(const ProgramList& programs, int selectedProgram, PlateFormat plate)
{
    ConversionSettings settings;
    settings.selectedProgram = selectedProgram;
    settings.progColFromEnd = programs.progColFromEnd;
    settings.firstDataLine = programs.firstDataLine();
    settings.wellLimit = wellCount(plate);
    settings.cycleFromEnd = programs.columns.line.cycleFromEnd;
    settings.readingFromEnd = programs.columns.line.readingFromEnd;
    return settings;
}

ConversionSettings conversionSettings(const ProgramList& programs, const RunChoice& choice, PlateFormat plate)
{
    ConversionSettings settings = conversionSettings(programs, choice.program, plate);
    const auto channel = static_cast<std::size_t>(choice.channel);
    if (channel < programs.columns.channelFromEnd.size())
        settings.readingFromEnd = programs.columns.channelFromEnd[channel];
    if (choice.segment) {
        settings.selectedSegment = choice.segment;
        settings.segmentFromEnd = programs.columns.line.segmentFromEnd;
    }
    return settings;
}

Expected<WellTable> convertToGrid(const RawText& text, const ConversionSettings& settings,
                                  const ConversionProgress& progress)
{
    if (text.empty())
        return Error{"the file is empty"};
    if (settings.progColFromEnd < 1 || settings.cycleFromEnd < 1 || settings.readingFromEnd < 1)
        return Error{"the columns of the program number, cycle number and reading are not known: determine the "
                     "programs first"};
    return Converter(text, settings, progress).run();
}

Expected<WellTable> convertRun(const RawText& text, const ProgramList& programs, const RunChoice& choice,
                               PlateFormat plate, const ConversionProgress& progress)
{
    return convertToGrid(text, conversionSettings(programs, choice, plate), progress);
}

std::string experimentName(const RawText& text)
{
    if (text.empty())
        return {};
    const std::string title = text.toUtf8(text.line(0));
    std::string_view rest = title;
    const std::string_view marker = "Experiment - ";
    if (const auto at = rest.find(marker); at != std::string_view::npos) {
        rest.remove_prefix(at + marker.size());
    } else {
        // Without the marker the first twelve characters are dropped instead.
        std::size_t skip = 0;
        for (int chars = 0; chars < 12 && skip < rest.size(); ++chars) {
            ++skip;
            while (skip < rest.size() && isContinuationByte(rest[skip]))
                ++skip;
        }
        rest.remove_prefix(skip);
    }
    const auto run = rest.find("(Run");
    if (run == std::string_view::npos)
        return {};
    // The text before "(Run" less its last character, the blank in front of the parenthesis.
    std::size_t end = run;
    if (end > 0) {
        --end;
        while (end > 0 && isContinuationByte(rest[end]))
            --end;
    }
    return std::string(rest.substr(0, end));
}

} // namespace morvane
