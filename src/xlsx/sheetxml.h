#pragma once
// The XML of a new worksheet, built as one string: no DOM for what may be tens of thousands
// of cells.

#include "common/expected.h"
#include "xlsx/valueblock.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace morvane::xlsx {

inline constexpr int kMaxSheetRows = 1048576;
inline constexpr int kMaxSheetCols = 16384;
inline constexpr int kMaxCellTextLength = 32767; // UTF-16 code units

// "A", ..., "Z", "AA", ..., "XFD" for 1-based columns.
std::string columnName(int col);
std::string cellReference(int row, int col);

// The text of a number in a cell: the shortest that reads back as `value`, as std::to_chars
// writes it (-0 as 0).
void appendNumber(std::string& out, double value);

// What a cell value cannot be: text that is not UTF-8 or longer than a cell holds, a number
// that is not finite. The error names the cell (`firstRow`, `firstCol`: where element (1, 1)
// goes).
Status checkValues(const ValueBlock& block, int firstRow, int firstCol);

// <sheetData> with every element of the block in its cell, each cell styled `style` (empty
// ones too), appended to `out`. A text becomes a shared string through `sharedString`, which
// gives its index; an empty text is an empty cell, as Excel stores "".
void appendSheetData(std::string& out, const ValueBlock& block, int firstRow, int firstCol, int style,
                     const std::function<std::size_t(const std::string&)>& sharedString);

// About how many bytes appendSheetData writes for `block`, a little more for plain numbers.
std::size_t sheetDataSizeHint(const ValueBlock& block);

// The worksheet part around a <sheetData>: what stands before it, then what follows it.
void appendWorksheetStart(std::string& out, std::string_view dimension, bool tabSelected);
void appendWorksheetEnd(std::string& out);

} // namespace morvane::xlsx
