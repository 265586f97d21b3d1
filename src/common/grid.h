#pragma once
// A rectangular table of texts with a number of fixed (heading) rows and columns: the well
// table and the export table. Cells are UTF-8. Resizing keeps the cells that remain, as a
// string grid does.

#include <cstddef>
#include <string>
#include <vector>

namespace morvane {

class Grid {
public:
    Grid() = default;
    Grid(int rows, int cols, int fixedRows = 0, int fixedCols = 0);

    int rowCount() const { return m_rows; }
    int colCount() const { return m_cols; }
    int fixedRows() const { return m_fixedRows; }
    int fixedCols() const { return m_fixedCols; }
    void setFixed(int fixedRows, int fixedCols);

    void resize(int rows, int cols);
    void setRowCount(int rows) { resize(rows, m_cols); }
    void setColCount(int cols) { resize(m_rows, cols); }

    // Precondition, checked in every build (MORVANE_EXPECTS): 0 <= row < rowCount() and
    // 0 <= col < colCount(). An index computed from file data is the caller's to check.
    const std::string& cell(int row, int col) const;
    std::string& cell(int row, int col);
    void setCell(int row, int col, std::string text) { cell(row, col) = std::move(text); }

    // Empties every cell, fixed ones included; the size stays.
    void clear();

    bool operator==(const Grid& other) const = default;

private:
    std::size_t index(int row, int col) const;

    int m_rows = 0;
    int m_cols = 0;
    int m_fixedRows = 0;
    int m_fixedCols = 0;
    std::vector<std::string> m_cells; // row-major
};

} // namespace morvane
