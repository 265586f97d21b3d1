#include "conversion/welltable.h"

#include "common/text.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <unordered_map>
#include <unordered_set>

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
          m_wellLimit(static_cast<std::size_t>(std::max(settings.wellLimit, 1))),
          m_line(text, LineColumns{settings.progColFromEnd, settings.cycleFromEnd, settings.readingFromEnd,
                                   settings.selectedSegment ? settings.segmentFromEnd : 0, 0})
    {
    }

    Expected<WellTable> run();

private:
    enum class LineKind {
        Selected,     // a line of the run being converted
        OtherSegment, // the same program in another segment: passed over within a run
        Other,        // another program: it ends a run
    };
    // One well's row as the walk fills it, indexed by cycle. The readings stay in the text until
    // the table is made, so each becomes a cell's text once.
    struct Row {
        std::string well;
        std::string sample;
        std::vector<std::string_view> readings;
        std::vector<std::uint32_t> lines; // 1-based; 0 where there is no reading
        std::uint32_t firstLine = 0;
        int lastCycle = 0; // the largest cycle with a reading
    };
    static constexpr std::size_t kNoRow = static_cast<std::size_t>(-1);

    // What the current line is; false with the error recorded when a number is malformed.
    bool classify(LineKind& kind);
    bool beginRun(int cycle);
    void endRun();
    void take(int cycle);
    bool outOfOrder(int cycle);
    void noteLongerRuns();
    std::string_view keep(std::string_view reading);
    WellTable table();
    std::uint32_t lineNumber() const { return static_cast<std::uint32_t>(m_index + 1); }
    void note(FindingKind kind, std::size_t row, int cycle, std::string text)
    {
        m_findings.push_back(
            Finding{kind, static_cast<int>(row + 1), cycle, lineNumber(), m_rows[row].well, std::move(text)});
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
    const std::size_t m_wellLimit;
    DataLineReader m_line;
    std::size_t m_index = 0;
    // The selected program and another one as the file last wrote them; none before the first.
    std::optional<std::string> m_programText;
    std::optional<std::string> m_otherProgramText;

    std::vector<Row> m_rows;
    std::unordered_map<std::string, std::size_t> m_rowOf; // by the well as the file writes it
    std::unordered_set<std::string> m_notConverted;
    std::vector<std::string> m_wellsNotConverted;
    std::vector<std::string> m_header; // by cycle: the cycle number as the file first writes it
    std::vector<Finding> m_findings;
    std::deque<std::string> m_unquoted; // readings that are not in the text as they stand

    // The run being walked: the lines of one well and the selected run that follow each other
    // (lines of the program's other segments aside).
    bool m_inRun = false;
    std::string m_runWell;         // as the file writes it
    std::size_t m_runRow = kNoRow; // none: a well beyond the plate
    bool m_newRow = false;         // the run is its well's first
    int m_previous = 0;            // the cycle of the run's last line
    int m_beforePrevious = 0;
    bool m_sampleChanged = false; // within the run, already noted
    std::string m_lineSample;
};

// Whether `a` is the text known, if one is: short texts such as program numbers, compared
// without a call to memcmp for a byte or two.
bool sameShortText(std::string_view a, const std::optional<std::string>& known)
{
    if (!known)
        return false;
    const std::string_view b = *known;
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

bool Converter::classify(LineKind& kind)
{
    // The program as text, as most lines repeat the line before it: a number is read only when
    // the text changes (a melt program's lines are most of a file and all another program).
    const std::string_view program = m_line.programText();
    if (!sameShortText(program, m_programText)) {
        if (sameShortText(program, m_otherProgramText)) {
            kind = LineKind::Other;
            return true;
        }
        int number = 0;
        if (!m_line.program(number))
            return false;
        if (number != m_settings.selectedProgram) {
            m_otherProgramText.emplace(program);
            kind = LineKind::Other;
            return true;
        }
        m_programText.emplace(program);
    }
    kind = LineKind::Selected;
    if (!m_settings.selectedSegment)
        return true;
    int segment = 0;
    if (!m_line.segment(segment))
        return false;
    if (segment != *m_settings.selectedSegment)
        kind = LineKind::OtherSegment;
    return true;
}

void Converter::endRun()
{
    // The window drains its events here: once per well, not once per line of a hostile file.
    if (m_inRun && m_newRow && m_progress)
        m_progress(m_index);
    m_inRun = false;
}

// A run begins at every change of well and after lines of another program. A well seen before
// has its readings join its row; a well that changes while the cycles go on (1, 2, then another
// well's 3) is refused, as nothing tells which of the two wells the line belongs to, unless the
// line continues that other well's own row.
bool Converter::beginRun(int cycle)
{
    const bool continues = m_inRun && cycle > m_previous;
    const int previous = m_previous;
    endRun();
    const std::string_view well = m_line.well();
    const auto found = m_rowOf.find(std::string(well));
    if (continues && (found == m_rowOf.end() || m_rows[found->second].lastCycle >= cycle))
        return m_line.fail("well " + quoteForMessage(cellText(m_text, well)) + " breaks into the run of well " +
                           quoteForMessage(cellText(m_text, m_runWell)) + ": its cycle " + std::to_string(cycle) +
                           " follows that well's cycle " + std::to_string(previous) +
                           "; the line's well is damaged, or the line belongs elsewhere in the file");
    m_inRun = true;
    m_runWell.assign(well);
    m_previous = 0;
    m_beforePrevious = 0;
    m_sampleChanged = false;
    m_newRow = found == m_rowOf.end();
    if (!m_newRow) {
        m_runRow = found->second;
        note(FindingKind::ReturningWell, m_runRow, cycle, cellText(m_text, m_line.reading()));
    } else if (m_rows.size() < m_wellLimit) {
        m_runRow = m_rows.size();
        m_rowOf.emplace(m_runWell, m_runRow);
        Row& row = m_rows.emplace_back();
        // As many cycles as the wells before it, to begin with.
        row.readings.reserve(m_header.size());
        row.lines.reserve(m_header.size());
        row.well = cellText(m_text, well);
        m_line.sampleName(row.sample);
        row.firstLine = lineNumber();
        if (m_line.sampleNameHadControls())
            note(FindingKind::SampleControls, m_runRow, cycle, row.sample.empty() ? row.sample : row.sample.substr(1));
    } else {
        m_runRow = kNoRow;
        m_newRow = false;
        if (m_notConverted.insert(m_runWell).second)
            m_wellsNotConverted.push_back(cellText(m_text, well));
    }
    return true;
}

// Places the current line's reading in its well's row, at its cycle; the table widens to the
// largest cycle of any well.
void Converter::take(int cycle)
{
    m_beforePrevious = m_previous;
    m_previous = cycle;
    if (m_runRow == kNoRow)
        return;
    Row& row = m_rows[m_runRow];
    const auto at = static_cast<std::size_t>(cycle);
    if (at >= row.readings.size()) {
        row.readings.resize(at + 1);
        row.lines.resize(at + 1, 0);
    }
    if (at >= m_header.size())
        m_header.resize(at + 1);
    if (m_header[at].empty())
        m_header[at].assign(m_line.cycleText());
    if (row.lines[at] != 0)
        note(FindingKind::RepeatedCycle, m_runRow, cycle, cellText(m_text, m_line.reading()));
    row.readings[at] = keep(m_line.reading());
    row.lines[at] = lineNumber();
    row.lastCycle = std::max(row.lastCycle, cycle);
    if (m_sampleChanged)
        return;
    if (!m_line.hasSampleName(row.sample)) {
        m_line.sampleName(m_lineSample);
        m_sampleChanged = true;
        note(FindingKind::SampleName, m_runRow, cycle, m_lineSample.empty() ? m_lineSample : m_lineSample.substr(1));
    }
}

// A reading as it stands in its line, or, where its quotes were undone, a copy that outlives
// the line reader's buffer.
std::string_view Converter::keep(std::string_view reading)
{
    return m_line.inLine(reading) ? reading : std::string_view(m_unquoted.emplace_back(reading));
}

// A smaller cycle within a well's run can only be a cycle written out of order: taking it as
// the start of another run would misplace it. The odd one out is named: the line before when it
// stands above both of its neighbours (1, 2, 9999, 4), else this one (1, 2, 3, 2).
bool Converter::outOfOrder(int cycle)
{
    std::size_t line = m_index + 1;
    int odd = cycle;
    if (m_beforePrevious > 0 && cycle > m_beforePrevious) {
        line = m_index;
        odd = m_previous;
    }
    return m_line.failAt(line - 1, "cycle " + std::to_string(odd) + " breaks the order of well " +
                                       cutForMessage(cellText(m_text, m_runWell)) + "'s cycles");
}

// Each well read at cycles beyond the first well's last, at the first such cycle.
void Converter::noteLongerRuns()
{
    const int first = m_rows.front().lastCycle;
    for (std::size_t r = 1; r < m_rows.size(); ++r) {
        const Row& row = m_rows[r];
        for (int cycle = first + 1; cycle <= row.lastCycle; ++cycle) {
            const auto at = static_cast<std::size_t>(cycle);
            if (row.lines[at] == 0)
                continue;
            m_findings.push_back(Finding{FindingKind::LongerRun, static_cast<int>(r + 1), cycle, row.lines[at],
                                         row.well, cellText(m_text, row.readings[at])});
            break;
        }
    }
}

WellTable Converter::table()
{
    WellTable table;
    const int cols = static_cast<int>(m_header.size()) + 1; // the well, the sample, cycles 1..
    const auto width = static_cast<std::size_t>(cols);
    table.grid = Grid(static_cast<int>(m_rows.size()) + 1, cols, 1, 1);
    table.sourceLines.assign((m_rows.size() + 1) * width, 0);
    Grid& grid = table.grid;
    grid.cell(0, 0) = "well";
    grid.cell(0, 1) = "sample";
    for (std::size_t cycle = 1; cycle < m_header.size(); ++cycle)
        grid.cell(0, static_cast<int>(cycle) + 1) = std::move(m_header[cycle]);
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        Row& row = m_rows[r];
        const int gridRow = static_cast<int>(r) + 1;
        std::uint32_t* lines = table.sourceLines.data() + (r + 1) * width;
        grid.cell(gridRow, 0) = std::move(row.well);
        grid.cell(gridRow, 1) = std::move(row.sample);
        lines[0] = lines[1] = row.firstLine;
        for (std::size_t cycle = 1; cycle < row.readings.size(); ++cycle) {
            if (row.lines[cycle] != 0)
                grid.cell(gridRow, static_cast<int>(cycle) + 1) = cellText(m_text, row.readings[cycle]);
            lines[cycle + 1] = row.lines[cycle];
        }
        row = Row(); // its memory goes as the table's grows
    }
    table.wellsNotConverted = std::move(m_wellsNotConverted);
    table.conversionFindings = std::move(m_findings);
    return table;
}

Expected<WellTable> Converter::run()
{
    for (m_index = m_settings.firstDataLine; m_index < m_count; ++m_index) {
        // Most lines of an export belong to another program (the melt): such a line is told by
        // its program's text alone, as classify would tell it, without cutting the whole line.
        if (std::string_view program; m_otherProgramText && m_line.programTextOnly(m_index, program) &&
                                      sameShortText(program, m_otherProgramText)) {
            endRun();
            continue;
        }
        LineKind kind = LineKind::Other;
        if (!m_line.split(m_index) || !classify(kind))
            return m_line.error();
        if (kind == LineKind::OtherSegment)
            continue;
        if (kind == LineKind::Other) {
            endRun();
            continue;
        }
        int cycle = 0;
        if (!m_line.cycle(cycle) || !checkCycle(m_line, cycle))
            return m_line.error();
        if (!m_inRun || m_line.well() != m_runWell) {
            if (!beginRun(cycle))
                return m_line.error();
        } else if (cycle < m_previous) {
            outOfOrder(cycle);
            return m_line.error();
        }
        take(cycle);
        if (m_findings.size() > kMaxConversionFindings) {
            m_line.fail("more than " + countText(kMaxConversionFindings) +
                        " readings repeat a cycle of their well, change its sample name or come back after "
                        "other wells: this is no export of one run of a plate");
            return m_line.error();
        }
    }
    endRun();
    if (m_rows.empty())
        return Error{runName() + " does not occur in the file"};
    noteLongerRuns();
    const int cycles = m_rows.front().lastCycle;
    WellTable result = table();
    result.cycles = cycles;
    return result;
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
