#include "conversion/datachecks.h"

#include "common/grid.h"
#include "common/tablelayout.h"
#include "common/text.h"
#include "conversion/welltable.h"

#include <algorithm>
#include <map>
#include <string_view>

namespace morvane {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// What the pass needs to know of one reading, from its text alone: parsing every reading as a
// number would cost more than the whole check, and the rules only ask about its size and form.
struct ReadingShape {
    bool negative = false;     // a minus sign before a digit other than zero
    bool whole = false;        // digits only
    std::size_t intDigits = 0; // digits before the decimal separator, leading zeros left out
};

ReadingShape shapeOf(std::string_view text)
{
    ReadingShape shape;
    std::size_t i = 0;
    const bool minus = !text.empty() && text[0] == '-';
    if (minus || (!text.empty() && text[0] == '+'))
        ++i;
    while (i < text.size() && text[i] == '0')
        ++i;
    const std::size_t intStart = i;
    while (i < text.size() && isDigit(text[i]))
        ++i;
    shape.intDigits = i - intStart;
    shape.whole = !minus && !text.empty() && text[0] != '+' && i == text.size();
    if (minus)
        shape.negative = std::any_of(text.begin() + 1, text.end(), [](char c) { return c >= '1' && c <= '9'; });
    return shape;
}

constexpr std::size_t digitsOf(int value)
{
    std::size_t digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

// Whether a reading of this shape lies below the limit (a power of ten).
constexpr bool below(const ReadingShape& shape, int powerOfTen)
{
    return shape.negative || shape.intDigits < digitsOf(powerOfTen);
}

static_assert(digitsOf(kDateSerialMinimum) == 5 && digitsOf(kTypicalReadingLimit) == 4,
              "the limits are compared by their number of digits: keep them powers of ten");

} // namespace

std::vector<Finding> checkConversion(const WellTable& table)
{
    const Grid& grid = table.grid;
    std::vector<Finding> findings;
    std::vector<Finding> dates;
    std::size_t readings = 0;
    std::size_t typical = 0;
    for (int row = 1; row < grid.rowCount(); ++row) {
        const std::string& well = grid.cell(row, 0);
        std::uint32_t lastLine = table.sourceLine(row, 0);
        for (int col = kFirstReadingColumn; col < grid.colCount(); ++col) {
            const std::string& text = grid.cell(row, col);
            const int cycle = col - 1;
            if (text.empty()) {
                findings.push_back(Finding{FindingKind::MissingCycle, row, cycle, lastLine, well, {}});
                continue;
            }
            const std::uint32_t line = table.sourceLine(row, col);
            lastLine = line;
            ++readings;
            const ReadingShape shape = shapeOf(text);
            if (below(shape, kTypicalReadingLimit))
                ++typical;
            if (shape.negative)
                findings.push_back(Finding{FindingKind::Negative, row, cycle, line, well, text});
            else if (shape.whole && !below(shape, kDateSerialMinimum))
                dates.push_back(Finding{FindingKind::SpreadsheetDate, row, cycle, line, well, text});
        }
    }
    // Large whole numbers are dates only among readings that are mostly small: a channel read
    // in the tens of thousands would be all "dates".
    if (2 * typical > readings)
        findings.insert(findings.end(), dates.begin(), dates.end());
    // Grouped by kind, each in the order found: one pass per kind rather than a sort, which
    // would take a second copy of them all.
    std::vector<Finding> grouped;
    grouped.reserve(findings.size() + table.conversionFindings.size());
    const std::vector<Finding>* lists[] = {&findings, &table.conversionFindings};
    for (int kind = 0; kind <= static_cast<int>(FindingKind::ReturningWell); ++kind)
        for (const std::vector<Finding>* list : lists)
            for (const Finding& finding : *list)
                if (finding.kind == static_cast<FindingKind>(kind))
                    grouped.push_back(finding);
    return grouped;
}

std::vector<FindingGroup> groupFindings(const std::vector<Finding>& findings)
{
    std::vector<FindingGroup> groups;
    for (std::size_t i = 0; i < findings.size(); ++i) {
        if (groups.empty() || groups.back().kind != findings[i].kind)
            groups.push_back(FindingGroup{findings[i].kind, i, 0});
        ++groups.back().count;
    }
    return groups;
}

std::string countText(std::size_t count)
{
    std::string digits = std::to_string(count);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, ",");
    return digits;
}

namespace {

// "1,002 readings look like spreadsheet dates"; the window's wording is the longer one.
std::string headline(FindingKind kind, std::size_t count, bool window)
{
    const bool one = count == 1;
    std::string n = countText(count);
    switch (kind) {
    case FindingKind::SpreadsheetDate:
        return n + (one ? " reading looks like a " : " readings look like ") +
               (window ? (one ? "date written by a spreadsheet" : "dates written by a spreadsheet")
                       : (one ? "spreadsheet date" : "spreadsheet dates"));
    case FindingKind::Negative:
        return n + (one ? " reading is negative" : " readings are negative");
    case FindingKind::MissingCycle:
        return n + (one ? " cycle has no reading" : " cycles have no reading");
    case FindingKind::RepeatedCycle:
        return n + (one ? " reading repeats a cycle of its well" : " readings repeat a cycle of their well") +
               " (the table holds the later one)";
    case FindingKind::SampleName:
        return n + (one ? " well changes its sample name" : " wells change their sample name") + " within the run";
    case FindingKind::SampleControls:
        return n + (one ? " well's sample name held" : " wells' sample names held") +
               " control characters, which became blanks or were left out";
    case FindingKind::LongerRun:
        return n + (one ? " well has" : " wells have") +
               " cycles beyond the first well's last (the table widened to hold them)";
    case FindingKind::ReturningWell:
        return n + (one ? " run of a well comes" : " runs of wells come") +
               " back after other wells or programs (the readings joined their well's row)";
    }
    return n;
}

std::string place(const Finding& finding, bool withLine)
{
    // A reading or name may be megabytes long: each is quoted cut short.
    std::string text = cutForMessage(finding.well) + " cycle " + std::to_string(finding.cycle);
    if (withLine)
        text += ", line " + std::to_string(finding.line);
    if (finding.kind == FindingKind::SampleName || finding.kind == FindingKind::SampleControls)
        text += ": " + quoteForMessage(finding.text);
    else if (!finding.text.empty())
        text += ": " + cutForMessage(finding.text);
    return text;
}

} // namespace

std::string toolWarning(const std::vector<Finding>& findings, const FindingGroup& group)
{
    return headline(group.kind, group.count, false) + " (first: " + place(findings[group.first], false) + ")";
}

std::string windowWarning(const std::vector<Finding>& findings)
{
    constexpr std::size_t kPlacesShown = 3;
    std::string text;
    for (const FindingGroup& group : groupFindings(findings)) {
        text += headline(group.kind, group.count, true) + " (first: ";
        const std::size_t shown = std::min(group.count, kPlacesShown);
        for (std::size_t i = 0; i < shown; ++i)
            text += (i > 0 ? "; " : "") + place(findings[group.first + i], true);
        text += group.count > shown ? "; ...).\n" : ").\n";
    }
    if (!text.empty())
        text += "The table keeps them as they are; untick the wells you do not want to export.";
    return text;
}

std::string cellNote(const Finding& finding)
{
    const std::string line = " (line " + std::to_string(finding.line) + ")";
    switch (finding.kind) {
    case FindingKind::SpreadsheetDate:
        return "looks like a date written by a spreadsheet" + line;
    case FindingKind::Negative:
        return "negative reading" + line;
    case FindingKind::MissingCycle:
        return "no reading for this cycle";
    case FindingKind::RepeatedCycle:
        return "cycle read more than once; the later reading is shown" + line;
    case FindingKind::SampleName:
        return "the sample name changes to " + quoteForMessage(finding.text) + " at cycle " +
               std::to_string(finding.cycle) + line;
    case FindingKind::SampleControls:
        return "control characters in the sample name became blanks or were left out" + line;
    case FindingKind::LongerRun:
        return "from this cycle on beyond the first well's last cycle" + line;
    case FindingKind::ReturningWell:
        return "the well's readings come back here after other wells or programs" + line;
    }
    return {};
}

std::vector<Finding> findingsOnTable(const std::vector<Finding>& findings, const Grid& wellTable, const Grid& table)
{
    std::map<std::string, int> firstRow; // by folded well name
    for (int row = wellTable.rowCount() - 1; row >= 1; --row)
        firstRow[foldAscii(wellTable.cell(row, 0))] = row;
    std::multimap<int, int> tableRows; // well table row -> rows of `table`
    for (int row = 1; row < table.rowCount(); ++row)
        if (const auto found = firstRow.find(foldAscii(table.cell(row, 0))); found != firstRow.end())
            tableRows.emplace(found->second, row);
    std::vector<Finding> moved;
    for (const Finding& finding : findings) {
        const auto [begin, end] = tableRows.equal_range(finding.row);
        for (auto at = begin; at != end; ++at) {
            moved.push_back(finding);
            moved.back().row = at->second;
        }
    }
    return moved;
}

std::vector<WellFindings> findingsByWell(const std::vector<Finding>& findings)
{
    // Per well, the count of each kind.
    std::vector<std::pair<std::string, std::map<FindingKind, std::size_t>>> wells;
    std::map<std::string, std::size_t> at;
    for (const Finding& finding : findings) {
        const auto [entry, added] = at.emplace(finding.well, wells.size());
        if (added)
            wells.emplace_back(finding.well, std::map<FindingKind, std::size_t>{});
        ++wells[entry->second].second[finding.kind];
    }
    std::vector<WellFindings> result;
    for (const auto& [well, kinds] : wells) {
        std::string note;
        for (const auto& [kind, count] : kinds)
            note += (note.empty() ? "" : "\n") + headline(kind, count, true);
        result.push_back(WellFindings{well, std::move(note)});
    }
    return result;
}

} // namespace morvane
