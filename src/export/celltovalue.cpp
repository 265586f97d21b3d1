#include "export/celltovalue.h"

#include <charconv>
#include <limits>

namespace morvane {
namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::size_t skipBlanks(std::string_view text, std::size_t pos)
{
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    return pos;
}

// Rule 1. Accumulates in 64 bits and stops as soon as the value leaves the 32-bit range, so
// a thousand-digit number costs nothing and cannot overflow.
bool readWholeNumber(std::string_view text, std::int32_t& out)
{
    std::size_t pos = skipBlanks(text, 0);
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    if (pos == text.size())
        return false;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t value = 0;
    for (; pos < text.size(); ++pos) {
        if (!isDigit(text[pos]))
            return false;
        value = value * 10 + (text[pos] - '0');
        if (value > limit)
            return false;
    }
    out = static_cast<std::int32_t>(negative ? -value : value);
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
        if (isDigit(c)) {
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
        for (; pos < end && isDigit(text[pos]); ++pos, ++expDigits)
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
