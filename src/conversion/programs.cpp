#include "conversion/programs.h"

#include "common/text.h"

#include <algorithm>

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

} // namespace

Expected<ProgramList> detectPrograms(const RawText& text, int cycleFromEnd)
{
    const std::size_t count = text.lineCount();
    if (count == 0)
        return Error{"the file is empty"};

    std::size_t header = 0;
    while (header < count && text.line(header).find("Prog#") == std::string_view::npos)
        ++header;
    if (header == count) {
        std::string message =
            "this is not a LightCycler 480 raw data export: no line holds the column header \"Prog#\"";
        if (looksLikeOtherExport(text))
            message += " (it looks like a sample list or results export)";
        return Error{std::move(message)};
    }
    if (header + 1 == count)
        return Error{"no data lines follow the column header line", header + 1};

    FieldList headerFields;
    splitline(' ', text.line(header), headerFields);
    const auto found = std::find_if(headerFields.begin(), headerFields.end(),
                                    [](std::string_view field) { return equalsIgnoringAsciiCase(field, "Prog#"); });
    if (found == headerFields.end())
        return Error{"the column header line has no field \"Prog#\"", header + 1};

    ProgramList list;
    list.headerLine = header;
    list.progColFromEnd = static_cast<int>(headerFields.end() - found);

    // The first data line is not looked at: a program shows by a change of cycle number between
    // a line and the next one, so a program of more than one cycle has such a change after its
    // first line. Two readers, so that each line is split once.
    DataLineReader readers[2] = {{text, list.progColFromEnd, cycleFromEnd, kReadingFromEnd},
                                 {text, list.progColFromEnd, cycleFromEnd, kReadingFromEnd}};
    DataLineReader* current = &readers[0];
    DataLineReader* next = &readers[1];
    std::size_t k = header + 2;
    if (k < count && !current->split(k))
        return current->error();
    std::string firstWell(k < count ? current->well() : std::string_view());
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
        if (cycle != nextCycle &&
            std::find(list.programs.begin(), list.programs.end(), programText) == list.programs.end()) {
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
    return list;
}

} // namespace morvane
