#include "conversion/welltable.h"

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
          m_line(text, settings.progColFromEnd, settings.cycleFromEnd, settings.readingFromEnd)
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
    void startRow(int row);
    void reportProgress()
    {
        if (m_progress)
            m_progress(m_index);
    }

    const RawText& m_text;
    const ConversionSettings& m_settings;
    const ConversionProgress& m_progress;
    const std::size_t m_count;
    DataLineReader m_line;
    std::size_t m_index = 0;
    std::string m_runWell; // the well of the current run's first line
    std::string m_sample;  // reused for every sample cell
    WellTable m_table;
};

void Converter::startRow(int row)
{
    Grid& grid = m_table.grid;
    m_runWell.assign(m_line.well());
    grid.cell(row, 0) = cellText(m_text, m_runWell);
    m_line.sampleName(m_sample);
    grid.cell(row, 1) = m_sample;
}

Expected<WellTable> Converter::run()
{
    const int selected = m_settings.selectedProgram;
    Grid& grid = m_table.grid;
    int program = 0;
    int cycle = 0;

    // The first well: its first line of the selected program starts the first run.
    for (m_index = m_settings.firstDataLine;; ++m_index) {
        if (atEnd())
            return Error{"program " + std::to_string(selected) + " does not occur in the file"};
        if (!moveTo(m_index) || !m_line.program(program))
            return m_line.error();
        if (program == selected)
            break;
    }
    if (!m_line.cycle(cycle) || !checkCycle(m_line, cycle))
        return m_line.error();
    grid = Grid(2, cycle + 2, 1, 1);
    grid.cell(0, 0) = "well";
    grid.cell(0, 1) = "sample";
    startRow(1);

    // The first run fixes the columns: each line widens the table to its cycle number. The run
    // ends at a smaller cycle number (the next program or well) or at the end of the file.
    int previous = cycle;
    for (;;) {
        if (cycle + 2 > grid.colCount())
            grid.setColCount(cycle + 2);
        grid.cell(0, cycle + 1).assign(m_line.cycleText());
        grid.cell(1, cycle + 1) = cellText(m_text, m_line.reading());
        previous = cycle;
        if (++m_index == m_count)
            break;
        if (!moveTo(m_index) || !m_line.cycle(cycle))
            return m_line.error();
        if (cycle < previous)
            break;
        if (!checkCycle(m_line, cycle))
            return m_line.error();
    }
    m_table.cycles = previous;
    reportProgress();
    if (atEnd())
        return std::move(m_table);

    // Another program after the selected one within the well: the further wells are found by
    // the change of well rather than by searching for the program through the other programs.
    const bool skipToNextWell = m_line.well() == m_runWell;
    const int columns = grid.colCount();

    // The further wells. Invariant at the top: the current line is split and not yet used.
    int row = 1;
    while (row < m_settings.wellLimit) {
        if (skipToNextWell) {
            while (m_line.well() == m_runWell) {
                if (++m_index == m_count)
                    return std::move(m_table);
                if (!moveTo(m_index))
                    return m_line.error();
            }
        }
        if (!m_line.program(program))
            return m_line.error();
        while (program != selected) {
            if (++m_index == m_count)
                return std::move(m_table);
            if (!moveTo(m_index) || !m_line.program(program))
                return m_line.error();
        }

        ++row;
        grid.setRowCount(row + 1);
        startRow(row);
        if (!m_line.cycle(cycle))
            return m_line.error();
        // The run ends before a smaller cycle number, which belongs to the next program or well,
        // or with the last line of the file, whose reading belongs to the run. A later well's
        // cycles beyond the first well's are not kept.
        for (;;) {
            if (!checkCycle(m_line, cycle))
                return m_line.error();
            if (cycle + 1 < columns)
                grid.cell(row, cycle + 1) = cellText(m_text, m_line.reading());
            previous = cycle;
            if (++m_index == m_count)
                break;
            if (!moveTo(m_index) || !m_line.cycle(cycle))
                return m_line.error();
            if (cycle < previous)
                break;
        }
        reportProgress();
        if (atEnd())
            break;
    }
    return std::move(m_table);
}

} // namespace

ConversionSettings conversionSettings(const ProgramList& programs, int selectedProgram, int plateSizeIndex)
{
    ConversionSettings settings;
    settings.selectedProgram = selectedProgram;
    settings.progColFromEnd = programs.progColFromEnd;
    settings.firstDataLine = programs.firstDataLine();
    settings.wellLimit = wellLimitForPlateSize(plateSizeIndex);
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
                               int plateSizeIndex, const ConversionProgress& progress)
{
    return convertToGrid(text, conversionSettings(programs, choice.program, plateSizeIndex), progress);
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
