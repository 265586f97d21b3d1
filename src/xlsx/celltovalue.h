#pragma once
// One cell text of the export table turned into the value written to the sheet.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace morvane {

// Empty (no value at all), a 32-bit integer, a double or a text. An empty cell text is a text
// "", which the sheet stores as an empty cell.
using CellValue = std::variant<std::monostate, std::int32_t, double, std::string>;

// Whole numbers are read in decimal only: "x12" is a sample name, not 18. In order:
//  1. blanks, an optional sign and decimal digits, nothing after, within 32 bits: that integer;
//  2. a number in the user's notation: blanks before and after, an optional sign, digits with
//     at most one `decimalSeparator`, an optional exponent (E or e, optional sign, digits), no
//     thousands separators, within the range of a double: that double;
//  3. otherwise the text itself.
// Blanks are spaces only. Independent of the C locale.
CellValue celltovalue(std::string_view text, char decimalSeparator);

} // namespace morvane
