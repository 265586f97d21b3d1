#include "xlsx/valueblock.h"

#include "common/expects.h"

namespace morvane {

ValueBlock::ValueBlock(int rows, int cols)
    : m_rows(rows < 0 ? 0 : rows), m_cols(cols < 0 ? 0 : cols),
      m_values(static_cast<std::size_t>(m_rows) * static_cast<std::size_t>(m_cols))
{
}

std::size_t ValueBlock::index(int row, int col) const
{
    MORVANE_EXPECTS(row >= 1 && row <= m_rows && col >= 1 && col <= m_cols);
    return static_cast<std::size_t>(row - 1) * static_cast<std::size_t>(m_cols) + static_cast<std::size_t>(col - 1);
}

const CellValue& ValueBlock::at(int row, int col) const
{
    return m_values[index(row, col)];
}
CellValue& ValueBlock::at(int row, int col)
{
    return m_values[index(row, col)];
}

ValueBlock makeValueBlock(const Grid& grid, char decimalSeparator)
{
    ValueBlock block(grid.rowCount() + 1, grid.colCount() + 1);
    for (int i = 0; i < grid.rowCount(); ++i)
        for (int j = 0; j < grid.colCount(); ++j)
            block.at(i + 1, j + 1) = celltovalue(grid.cell(i, j), decimalSeparator);
    return block;
}

} // namespace morvane
