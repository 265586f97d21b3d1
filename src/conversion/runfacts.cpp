#include "conversion/runfacts.h"

#include "common/tablelayout.h"

namespace morvane {

std::optional<RunSoftware> runSoftware(const RawText& text)
{
    if (text.empty())
        return std::nullopt;
    const std::string title = text.toUtf8(text.line(0));
    static constexpr std::string_view marker = "(Run on ";
    const std::size_t start = title.rfind(marker);
    if (start == std::string::npos)
        return std::nullopt;
    const std::size_t from = start + marker.size();
    const std::size_t close = title.find(')', from);
    std::string_view said =
        std::string_view(title).substr(from, close == std::string::npos ? std::string::npos : close - from);
    while (!said.empty() && said.back() == ' ')
        said.remove_suffix(1);
    if (said.empty())
        return std::nullopt;
    RunSoftware software;
    const std::size_t blank = said.rfind(' ');
    software.name = std::string(blank == std::string_view::npos ? said : said.substr(0, blank));
    if (blank != std::string_view::npos)
        software.version = std::string(said.substr(blank + 1));
    return software;
}

Grid readingTemperatures(const RawText& text, const WellTable& table, const LineColumns& columns)
{
    if (columns.temperatureFromEnd <= 0)
        return Grid();
    const Grid& grid = table.grid;
    Grid temperatures(grid.rowCount(), grid.colCount(), 1, 1);
    LineColumns temperatureOnly = columns;
    temperatureOnly.segmentFromEnd = 0;
    DataLineReader line(text, temperatureOnly);
    for (int row = 0; row < grid.rowCount(); ++row) {
        temperatures.cell(row, 0) = grid.cell(row, 0);
        for (int col = kFirstReadingColumn; row > 0 && col < grid.colCount(); ++col) {
            const std::uint32_t source = table.sourceLine(row, col);
            if (source == 0 || grid.cell(row, col).empty() || !line.split(source - 1))
                continue;
            const std::string_view temperature = line.temperatureText();
            if (parseTemperature(temperature))
                temperatures.cell(row, col).assign(temperature);
        }
    }
    return temperatures;
}

} // namespace morvane
