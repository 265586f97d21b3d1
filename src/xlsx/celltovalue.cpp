#include "xlsx/celltovalue.h"

#include "common/decimal.h"
#include "common/text.h"

#include <cstdint>

namespace morvane {
namespace {

std::size_t skipBlanks(std::string_view text, std::size_t pos)
{
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    return pos;
}

// Rule 1: blanks may stand in front of the number, not behind it.
bool readWholeNumber(std::string_view text, std::int32_t& out)
{
    const auto value = parseWholeNumber(text.substr(skipBlanks(text, 0)));
    if (!value)
        return false;
    out = *value;
    return true;
}

// Rule 2: blanks may stand on either side, and a plus sign in front.
bool readFloat(std::string_view text, char separator, double& out)
{
    std::string_view number = text.substr(skipBlanks(text, 0));
    while (number.ends_with(' '))
        number.remove_suffix(1);
    if (number.starts_with('+') && !number.starts_with("+-"))
        number.remove_prefix(1);
    const auto value = parseDecimal(number, separator);
    if (!value)
        return false;
    out = *value;
    return true;
}

} // namespace

CellValue celltovalue(std::string_view text, char decimalSeparator)
{
    std::int32_t whole = 0;
    if (readWholeNumber(text, whole))
        return whole;
    double real = 0;
    if (readFloat(text, decimalSeparator, real))
        return real;
    return std::string(text);
}

} // namespace morvane
