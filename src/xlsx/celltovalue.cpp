#include "xlsx/celltovalue.h"

#include "common/text.h"

#include <charconv>
#include <cstdint>
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

// Rule 2. Checks the notation by hand; a plain decimal of at most 15 digits is its digits divided
// by a power of ten (both exact in a double, so the one rounding of the division gives the
// nearest double, as std::from_chars does); anything else goes, as a copy with '.', to
// std::from_chars.
bool readFloat(std::string_view text, char separator, double& out)
{
    std::size_t pos = skipBlanks(text, 0);
    std::size_t end = text.size();
    while (end > pos && text[end - 1] == ' ')
        --end;
    const std::size_t numberStart = pos;
    const bool negative = pos < end && text[pos] == '-';
    if (pos < end && (text[pos] == '+' || text[pos] == '-'))
        ++pos;
    std::size_t digits = 0;
    std::size_t places = 0;
    std::uint64_t mantissa = 0;
    bool seenSeparator = false;
    for (; pos < end; ++pos) {
        const char c = text[pos];
        if (isAsciiDigit(c)) {
            ++digits;
            places += seenSeparator ? 1 : 0;
            if (digits <= 15)
                mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
        } else if (c == separator && !seenSeparator) {
            seenSeparator = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return false;
    if (pos == end && digits <= 15) {
        static constexpr double kPowersOfTen[] = {1,   1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                  1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const double magnitude = static_cast<double>(mantissa) / kPowersOfTen[places];
        out = negative ? -magnitude : magnitude;
        return true;
    }
    std::string plain;
    plain.reserve(end - numberStart);
    pos = numberStart;
    if (pos < end && (text[pos] == '+' || text[pos] == '-')) {
        if (text[pos] == '-')
            plain += '-';
        ++pos;
    }
    for (bool separatorCopied = false; pos < end; ++pos) {
        if (isAsciiDigit(text[pos])) {
            plain += text[pos];
        } else if (text[pos] == separator && !separatorCopied) {
            plain += '.';
            separatorCopied = true;
        } else {
            break;
        }
    }
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
