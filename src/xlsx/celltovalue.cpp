#include "xlsx/celltovalue.h"

#include "common/text.h"

#include <charconv>
#include <limits>

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

// Rule 2. Checks the notation by hand, then hands a copy with '.' to std::from_chars.
bool readFloat(std::string_view text, char separator, double& out)
{
    std::size_t pos = skipBlanks(text, 0);
    std::size_t end = text.size();
    while (end > pos && text[end - 1] == ' ')
        --end;
    std::string plain;
    plain.reserve(end - pos);
    if (pos < end && (text[pos] == '+' || text[pos] == '-')) {
        if (text[pos] == '-')
            plain += '-';
        ++pos;
    }
    std::size_t digits = 0;
    bool seenSeparator = false;
    for (; pos < end; ++pos) {
        const char c = text[pos];
        if (isAsciiDigit(c)) {
            plain += c;
            ++digits;
        } else if (c == separator && !seenSeparator) {
            plain += '.';
            seenSeparator = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return false;
    if (pos < end && (text[pos] == 'E' || text[pos] == 'e')) {
        plain += 'e';
        ++pos;
        if (pos < end && (text[pos] == '+' || text[pos] == '-'))
            plain += text[pos++];
        std::size_t expDigits = 0;
        for (; pos < end && isAsciiDigit(text[pos]); ++pos, ++expDigits)
            plain += text[pos];
        if (expDigits == 0)
            return false;
    }
    if (pos != end)
        return false;
    double value = 0;
    const auto [ptr, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    // Overflow and underflow to zero come back as result_out_of_range: not within a double.
    if (ec != std::errc() || ptr != plain.data() + plain.size())
        return false;
    out = value;
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
