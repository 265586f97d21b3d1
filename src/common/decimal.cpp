#include "common/decimal.h"

#include "common/text.h"

#include <algorithm>
#include <cmath>
#include <fast_float/fast_float.h>

namespace morvane {

std::optional<double> parseDecimal(std::string_view text, char separator)
{
    const char* const first = text.data();
    const char* const last = first + text.size();
    double value = 0;
    const fast_float::parse_options options(fast_float::chars_format::general, separator);
    const auto [end, error] = fast_float::from_chars_advanced(first, last, value, options);
    if (text.empty() || error != std::errc() || end != last || !std::isfinite(value))
        return std::nullopt;
    // fast_float gives 0 for a number too small for a double; std::from_chars calls it out of
    // range, and so do we.
    if (value == 0) {
        const auto mantissaEnd = std::find_if(first, last, [](char c) { return c == 'e' || c == 'E'; });
        if (std::any_of(first, mantissaEnd, [](char c) { return c >= '1' && c <= '9'; }))
            return std::nullopt;
    }
    return value;
}

std::optional<double> parseDecimalEitherSeparator(std::string_view text)
{
    return parseDecimal(text, text.find(',') == std::string_view::npos ? '.' : ',');
}

} // namespace morvane
