#pragma once
// The block of typed values that travels to the sheet in one assignment, and the turning of
// a grid into it.

#include "common/grid.h"
#include "xlsx/celltovalue.h"

#include <cstddef>
#include <vector>

namespace morvane {

// Rows and columns are 1-based, the first index is the sheet row. Every element starts empty.
class ValueBlock {
public:
    ValueBlock() = default;
    ValueBlock(int rows, int cols);

    int rows() const { return m_rows; }
    int cols() const { return m_cols; }

    // Precondition, checked in every build (MORVANE_EXPECTS): 1 <= row <= rows() and
    // 1 <= col <= cols().
    const CellValue& at(int row, int col) const;
    CellValue& at(int row, int col);

private:
    std::size_t index(int row, int col) const;

    int m_rows = 0;
    int m_cols = 0;
    std::vector<CellValue> m_values; // row-major
};

// The block for a grid of R rows and M columns (fixed ones included): R + 1 rows and M + 1
// columns, element (i + 1, j + 1) = celltovalue of cell (row i, column j); the last row and
// column stay empty. They are kept on purpose: the export has always written, and formatted, a
// range one row and one column larger than the table, and a sheet made now reads like one made
// before.
ValueBlock makeValueBlock(const Grid& grid, char decimalSeparator);

} // namespace morvane
