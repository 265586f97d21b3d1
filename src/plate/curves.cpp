#include "plate/curves.h"

#include "common/decimal.h"
#include "common/tablelayout.h"
#include "common/text.h"

#include <cmath>
#include <set>
#include <unordered_map>

namespace morvane {

namespace {

constexpr int kWellCol = 0;
constexpr int kSampleCol = 1;

} // namespace

std::optional<double> parseReading(std::string_view text)
{
    // The table keeps the file's text, and files are written with either separator.
    text = trimBlanks(text);
    if (text.starts_with('+') && !text.starts_with("+-"))
        text.remove_prefix(1);
    return parseDecimalEitherSeparator(text);
}

void SampleColours::update(const Grid& wellTable)
{
    std::vector<std::string_view> present;
    std::set<std::string_view> seen;
    for (int row = 1; row < wellTable.rowCount() && wellTable.colCount() > kSampleCol; ++row)
        if (const std::string_view sample = trimBlanks(wellTable.cell(row, kSampleCol)); seen.insert(sample).second)
            present.push_back(sample);
    std::erase_if(m_colours, [&](const auto& entry) { return !seen.contains(entry.first); });
    std::set<int> taken;
    for (const auto& entry : m_colours)
        taken.insert(entry.second);
    int next = 0;
    for (const std::string_view sample : present) {
        if (m_colours.contains(sample))
            continue;
        while (taken.contains(next))
            ++next;
        m_colours.emplace(sample, next);
        taken.insert(next);
    }
}

std::optional<int> SampleColours::colourOf(std::string_view sample) const
{
    const auto found = m_colours.find(sample);
    return found == m_colours.end() ? std::nullopt : std::optional(found->second);
}

std::vector<Curve> curvesOf(const Grid& table, const std::vector<std::string>& wells, const SampleColours* colours)
{
    std::vector<Curve> curves;
    if (table.colCount() <= kSampleCol || table.rowCount() < 2)
        return curves;
    std::set<std::string> wanted;
    for (const std::string& well : wells)
        wanted.insert(foldAscii(well));

    // The cycle of each reading column, from the heading; a heading that is no number counts
    // the columns instead.
    std::vector<double> cycleOfCol(std::size_t(table.colCount()), 0.0);
    for (int col = kFirstReadingColumn; col < table.colCount(); ++col)
        cycleOfCol[std::size_t(col)] = parseReading(table.cell(0, col)).value_or(col - kFirstReadingColumn + 1);

    std::unordered_map<std::string_view, int> firstSeen;
    for (int row = 1; row < table.rowCount(); ++row) {
        const std::string_view sample = trimBlanks(table.cell(row, kSampleCol));
        const int inTable = firstSeen.emplace(sample, int(firstSeen.size())).first->second;
        const int colour = colours ? colours->colourOf(sample).value_or(inTable) : inTable;
        const std::string& well = table.cell(row, kWellCol);
        if (trimBlanks(well).empty() || (!wanted.empty() && !wanted.contains(foldAscii(trimBlanks(well)))))
            continue;
        Curve curve;
        curve.well = trimBlanks(well);
        curve.sample = sample;
        curve.colour = colour;
        curve.tableRow = row;
        curve.cycles.reserve(std::size_t(table.colCount() - kFirstReadingColumn));
        curve.readings.reserve(curve.cycles.capacity());
        for (int col = kFirstReadingColumn; col < table.colCount(); ++col) {
            if (const auto reading = parseReading(table.cell(row, col))) {
                curve.cycles.push_back(cycleOfCol[std::size_t(col)]);
                curve.readings.push_back(*reading);
            }
        }
        curves.push_back(std::move(curve));
    }
    return curves;
}

CurvePoints visiblePoints(const Curve& curve, CurveScale scale)
{
    if (scale == CurveScale::Linear)
        return {curve.cycles, curve.readings};
    CurvePoints points;
    points.x.reserve(curve.cycles.size());
    points.y.reserve(curve.readings.size());
    for (std::size_t i = 0; i < curve.readings.size(); ++i) {
        if (curve.readings[i] > 0) {
            points.x.push_back(curve.cycles[i]);
            points.y.push_back(curve.readings[i]);
        }
    }
    return points;
}

} // namespace morvane
