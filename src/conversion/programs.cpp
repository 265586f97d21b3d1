#include "conversion/programs.h"

#include "common/text.h"
#include "conversion/datachecks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace morvane {

namespace {

// The instrument software's other text exports (the sample list with "General:Pos ...", the
// results tables with "Pos Name Cp ..." or "... Tm1 ...") carry a header near the top but no
// "Prog#". Users open them by mistake; saying so beats a bare "not a raw data export".
bool looksLikeOtherExport(const RawText& text)
{
    FieldList fields;
    const std::size_t lines = std::min<std::size_t>(text.lineCount(), 3);
    for (std::size_t i = 0; i < lines; ++i) {
        splitline(' ', text.line(i), fields);
        for (std::string_view field : fields) {
            if (equalsIgnoringAsciiCase(field, "Pos") || endsWithIgnoringAsciiCase(field, ":Pos") ||
                equalsIgnoringAsciiCase(field, "Cp") || equalsIgnoringAsciiCase(field, "Tm") ||
                equalsIgnoringAsciiCase(field, "Tm1"))
                return true;
        }
    }
    return false;
}

struct SegmentSeen {
    std::string text;
    int number = 0;
    double temperatureSum = 0;
    int temperatures = 0;
    bool temperatureUnreadable = false;
    int lastCycle = 0;
};

// What the first well holds of one offered program.
struct ProgramSeen {
    int lastCycle = 0;
    std::vector<SegmentSeen> segments; // in the order they first occur
};

// The first well's cycles and segments of each offered program, in one pass with a lookup per
// line that does not grow with the number of programs. A program that reads in one segment is
// one run, as it always was; one that reads in several gives a run per segment.
Status findRuns(const RawText& text, ProgramList& list)
{
    std::vector<ProgramSeen> seen(list.programs.size());
    std::unordered_map<std::string_view, std::size_t> indexOf;
    for (std::size_t i = 0; i < list.programs.size(); ++i)
        indexOf.emplace(list.programs[i], i);
    const bool segmented = list.columns.line.segmentFromEnd > 0;
    const Status scanned =
        forEachFirstWellLine(text, list.columns.line, list.firstDataLine(), [&](DataLineReader& line) {
            const auto program = indexOf.find(line.programText());
            if (program == indexOf.end())
                return true;
            ProgramSeen& found = seen[program->second];
            int cycle = 0;
            if (!line.cycle(cycle))
                return false;
            found.lastCycle = std::max(found.lastCycle, cycle);
            if (!segmented)
                return true;
            auto segment = std::find_if(found.segments.begin(), found.segments.end(),
                                        [&](const SegmentSeen& s) { return s.text == line.segmentText(); });
            if (segment == found.segments.end()) {
                SegmentSeen added;
                added.text.assign(line.segmentText());
                if (!line.segment(added.number))
                    return false;
                found.segments.push_back(std::move(added));
                segment = found.segments.end() - 1;
            }
            segment->lastCycle = std::max(segment->lastCycle, cycle);
            if (const auto temperature = parseTemperature(line.temperatureText())) {
                segment->temperatureSum += *temperature;
                ++segment->temperatures;
            } else {
                segment->temperatureUnreadable = true;
            }
            return true;
        });
    if (!scanned)
        return scanned.error();
    for (std::size_t i = 0; i < list.programs.size(); ++i) {
        OfferedRun run;
        run.program = list.numbers[i];
        run.programText = list.programs[i];
        run.firstWellCycles = seen[i].lastCycle;
        if (seen[i].segments.size() < 2) {
            list.runs.push_back(run);
            continue;
        }
        const std::size_t first = list.runs.size();
        for (const SegmentSeen& segment : seen[i].segments) {
            OfferedRun part = run;
            part.segment = segment.number;
            part.segmentText = segment.text;
            part.firstWellCycles = segment.lastCycle;
            if (segment.temperatures > 0 && !segment.temperatureUnreadable && list.columns.line.temperatureFromEnd > 0)
                part.meanTemperature = segment.temperatureSum / segment.temperatures;
            list.runs.push_back(std::move(part));
        }
        // The read at the lowest temperature first: that is the amplification read (annealing or
        // extension); a read near 95 degrees is taken at denaturation, where there is nothing to
        // see. So the default, in the window and the tool, is the read an analysis wants.
        std::stable_sort(list.runs.begin() + static_cast<std::ptrdiff_t>(first), list.runs.end(),
                         [](const OfferedRun& a, const OfferedRun& b) {
                             return a.meanTemperature &&
                                    (!b.meanTemperature || *a.meanTemperature < *b.meanTemperature);
                         });
    }
    return success();
}

} // namespace

std::string OfferedRun::name() const
{
    return segment ? programText + "/" + segmentText : programText;
}

std::string OfferedRun::label() const
{
    if (!segment)
        return programText;
    std::string label = programText + " / segment " + segmentText;
    if (meanTemperature) {
        const long rounded = std::lround(*meanTemperature);
        label += " (" + std::to_string(rounded == 0 ? 0 : rounded) + " \u00b0C)";
    }
    return label;
}

const OfferedRun* findRun(const ProgramList& programs, std::string_view name)
{
    const std::size_t slash = name.find('/');
    const auto program = parseWholeNumber(name.substr(0, slash));
    std::optional<int> segment;
    if (slash != std::string_view::npos) {
        segment = parseWholeNumber(name.substr(slash + 1));
        if (!segment)
            return nullptr;
    }
    if (!program)
        return nullptr;
    for (const OfferedRun& run : programs.runs)
        if (run.program == *program && run.segment == segment)
            return &run;
    return nullptr;
}

Expected<RawColumns> findColumns(const RawText& text, std::size_t headerLine)
{
    FieldList fields;
    splitline(' ', text.line(headerLine), fields);
    const auto fromEnd = [&](std::string_view name) {
        const auto found = std::find_if(fields.begin(), fields.end(),
                                        [&](std::string_view field) { return equalsIgnoringAsciiCase(field, name); });
        return found == fields.end() ? 0 : static_cast<int>(fields.end() - found);
    };
    RawColumns columns;
    LineColumns& line = columns.line;
    line.programFromEnd = fromEnd("Prog#");
    if (line.programFromEnd == 0)
        return Error{"the column header line has no field \"Prog#\"", headerLine + 1};
    line.cycleFromEnd = fromEnd("Cycle#");
    if (line.cycleFromEnd == 0)
        return Error{"the column header line has no field \"Cycle#\"", headerLine + 1};
    line.segmentFromEnd = fromEnd("Seg#");
    line.temperatureFromEnd = fromEnd("Temp");

    // The readings follow "Temp", one column per channel. Without "Temp" the last column is
    // taken as the one reading, as long as it is not one of the columns above.
    int firstChannel = line.temperatureFromEnd - 1;
    if (line.temperatureFromEnd == 0) {
        const bool lastIsKnown = line.programFromEnd == 1 || line.cycleFromEnd == 1 || line.segmentFromEnd == 1;
        firstChannel = lastIsKnown ? 0 : 1;
    }
    for (int position = firstChannel; position >= 1; --position) {
        columns.channels.emplace_back(fields.fromEnd(static_cast<std::size_t>(position)));
        columns.channelFromEnd.push_back(position);
    }
    if (columns.channels.empty())
        return Error{"the column header line has no reading column after \"Temp\"", headerLine + 1};
    line.readingFromEnd = columns.channelFromEnd.front();
    return columns;
}

Status checkRawExport(const RawText& text)
{
    for (std::size_t i = 0; i < text.lineCount(); ++i)
        if (text.line(i).find("Prog#") != std::string_view::npos)
            return success();
    std::string message = "this is not a LightCycler 480 raw data export: no line holds the column header \"Prog#\"";
    if (looksLikeOtherExport(text))
        message += " (it looks like a sample list or results export)";
    return Error{std::move(message)};
}

Status checkConversionMemory(const RawText& text, std::size_t channels)
{
    const std::size_t lines = text.lineCount();
    if (lines == 0)
        return success();
    const std::string_view last = text.line(lines - 1);
    const auto bytes = static_cast<std::uint64_t>(last.data() + last.size() - text.line(0).data());
    const std::uint64_t need =
        bytes + lines * (kConversionBytesPerLine + kConversionBytesPerReading * std::max<std::size_t>(channels, 1));
    if (need <= kConversionMemoryLimit)
        return success();
    return Error{"converting this file of " + countText(lines) + " lines would take about " +
                 countText(need / 1'000'000) + " MB of memory, more than the " +
                 countText(kConversionMemoryLimit / 1'000'000) +
                 " MB this program allows itself; a raw data export of a plate's run is far smaller"};
}

Expected<ProgramList> detectPrograms(const RawText& text)
{
    const std::size_t count = text.lineCount();
    if (count == 0)
        return Error{"the file is empty"};

    if (auto raw = checkRawExport(text); !raw)
        return raw.error();
    std::size_t header = 0;
    while (text.line(header).find("Prog#") == std::string_view::npos)
        ++header;
    if (header + 1 == count)
        return Error{"no data lines follow the column header line", header + 1};

    auto columns = findColumns(text, header);
    if (!columns)
        return columns.error();
    ProgramList list;
    list.headerLine = header;
    list.columns = std::move(columns).value();
    list.progColFromEnd = list.columns.line.programFromEnd;
    if (auto fits = checkConversionMemory(text, list.columns.channels.size()); !fits)
        return fits.error();

    // The first data line is not looked at: a program shows by a change of cycle number between
    // a line and the next one, so a program of more than one cycle has such a change after its
    // first line. Two readers, so that each line is split once.
    DataLineReader readers[2] = {{text, list.columns.line}, {text, list.columns.line}};
    DataLineReader* current = &readers[0];
    DataLineReader* next = &readers[1];
    std::size_t k = header + 2;
    if (k < count && !current->split(k))
        return current->error();
    std::string firstWell(k < count ? current->well() : std::string_view());
    std::unordered_set<std::string> offered; // looked up once a line: a file may hold thousands of programs
    for (; k < count; ++k) {
        int program = 0;
        int cycle = 0;
        if (!current->program(program) || !current->cycle(cycle))
            return current->error();
        // A file of a single well has no line after the last one to compare with.
        if (k + 1 == count)
            break;
        int nextCycle = 0;
        if (!next->split(k + 1) || !next->cycle(nextCycle))
            return next->error();
        const std::string_view programText = current->programText();
        if (cycle != nextCycle && offered.emplace(programText).second) {
            list.programs.emplace_back(programText);
            list.numbers.push_back(program);
        }
        // The first line of the second well has been handled: the scan ends.
        if (current->well() != firstWell)
            break;
        std::swap(current, next);
    }

    if (list.programs.empty())
        return Error{"no program found: no acquisition program of the first well has more than one cycle"};
    if (auto runs = findRuns(text, list); !runs)
        return runs.error();
    return list;
}

} // namespace morvane
