#pragma once
// Decimal numbers as files and cells write them, with a point or a comma.

#include <optional>
#include <string_view>

namespace morvane {

// The value of a whole text that is a finite decimal number: an optional minus sign, digits with
// at most one decimal separator `separator` ('.' or ','), an optional exponent ("1.5e3"). No
// blanks and no plus sign; a number beyond a double (1e999, and 1e-999, which would read as 0)
// is none.
[[nodiscard]] std::optional<double> parseDecimal(std::string_view text, char separator = '.');

// The same with either separator: a text holding a comma is read with the comma as the
// separator, any other with the point. Files are written under either locale.
[[nodiscard]] std::optional<double> parseDecimalEitherSeparator(std::string_view text);

} // namespace morvane
