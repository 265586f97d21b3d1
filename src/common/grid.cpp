#include "common/grid.h"

#include "common/expects.h"

#include <algorithm>

namespace morvane {

Grid::Grid(int rows, int cols, int fixedRows, int fixedCols)
{
    resize(rows, cols);
    setFixed(fixedRows, fixedCols);
}

void Grid::setFixed(int fixedRows, int fixedCols)
{
    m_fixedRows = std::max(0, fixedRows);
    m_fixedCols = std::max(0, fixedCols);
}

void Grid::resize(int rows, int cols)
{
    rows = std::max(0, rows);
    cols = std::max(0, cols);
    if (cols == m_cols) {
        m_cells.resize(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols));
        m_rows = rows;
        return;
    }
    std::vector<std::string> cells(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols));
    const int keepRows = std::min(rows, m_rows);
    const int keepCols = std::min(cols, m_cols);
    for (int r = 0; r < keepRows; ++r)
        for (int c = 0; c < keepCols; ++c)
            cells[static_cast<std::size_t>(r) * cols + c] = std::move(m_cells[index(r, c)]);
    m_cells = std::move(cells);
    m_rows = rows;
    m_cols = cols;
}

std::size_t Grid::index(int row, int col) const
{
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(m_cols) + static_cast<std::size_t>(col);
}

const std::string& Grid::cell(int row, int col) const
{
    MORVANE_EXPECTS(row >= 0 && row < m_rows && col >= 0 && col < m_cols);
    return m_cells[index(row, col)];
}

std::string& Grid::cell(int row, int col)
{
    return const_cast<std::string&>(static_cast<const Grid&>(*this).cell(row, col));
}

void Grid::clear()
{
    for (auto& text : m_cells)
        text.clear();
}

} // namespace morvane
