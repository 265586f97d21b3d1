#include "xlsx/sheetname.h"

#include "common/text.h"

#include <string>
#include <unordered_set>

namespace morvane {
namespace {

constexpr char32_t invalidByte = 0xDC00; // + the byte: an invalid UTF-8 byte keeps its identity

// Decodes one UTF-8 sequence at `pos`; an invalid byte decodes to invalidByte + byte, length 1.
char32_t nextCodePoint(std::string_view s, std::size_t& pos, bool* valid = nullptr)
{
    const auto first = static_cast<unsigned char>(s[pos]);
    if (const auto cp = decodeUtf8(s, pos))
        return *cp;
    if (valid)
        *valid = false;
    return invalidByte + first;
}

// Simple case folding for the scripts a lab is likely to use in a sheet name.
char32_t fold(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c == 0xB5)
        return 0x3BC; // micro sign folds to Greek mu
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 32;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        if (c == 0x178)
            return 0xFF;
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddUpper)
            return (c % 2 == 1) ? c + 1 : c;
        return (c % 2 == 0) ? c + 1 : c;
    }
    if (c == 0x386)
        return 0x3AC;
    if (c >= 0x388 && c <= 0x38A)
        return c + 37;
    if (c == 0x38C)
        return 0x3CC;
    if (c == 0x38E || c == 0x38F)
        return c + 63;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return c + 32;
    if (c == 0x3C2)
        return 0x3C3; // final sigma
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    if (c >= 0x410 && c <= 0x42F)
        return c + 32;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
        return (c % 2 == 0) ? c + 1 : c;
    if (c >= 0x4C1 && c <= 0x4CE)
        return (c % 2 == 1) ? c + 1 : c;
    if (c >= 0x531 && c <= 0x556)
        return c + 48;
    if (c >= 0xFF21 && c <= 0xFF3A)
        return c + 32; // fullwidth Latin
    return c;
}

std::u32string folded(std::string_view s)
{
    std::u32string out;
    out.reserve(s.size());
    for (std::size_t pos = 0; pos < s.size();)
        out += fold(nextCodePoint(s, pos));
    return out;
}

Error invalidName(std::string_view name, std::string_view reason)
{
    return Error{"You typed an invalid name for a sheet or chart: " + quoteForMessage(name) + " " +
                 std::string(reason) + "."};
}

} // namespace

int sheetNameLength(std::string_view name)
{
    int units = 0;
    for (std::size_t pos = 0; pos < name.size();)
        units += nextCodePoint(name, pos) >= 0x10000 ? 2 : 1;
    return units;
}

bool sheetNameTooLong(std::string_view name)
{
    return sheetNameLength(name) > kMaxSheetNameLength;
}

bool sameSheetName(std::string_view a, std::string_view b)
{
    return folded(a) == folded(b);
}

Status checkSheetName(std::string_view name)
{
    if (name.empty())
        return Error{"You typed an invalid name for a sheet or chart: the name is blank."};
    bool valid = true;
    for (std::size_t pos = 0; pos < name.size();) {
        const char32_t c = nextCodePoint(name, pos, &valid);
        if (!valid)
            return Error{"You typed an invalid name for a sheet or chart: the name is not valid UTF-8 text."};
        if (c < 0x20 || c == 0x7F || c == 0xFFFE || c == 0xFFFF)
            return invalidName(name, "contains a control character");
        switch (c) {
        case ':':
        case '\\':
        case '/':
        case '?':
        case '*':
        case '[':
        case ']':
            return invalidName(name, std::string("contains '") + static_cast<char>(c) +
                                         "'; a sheet name must not contain any of the characters : \\ / ? * [ ]");
        default:
            break;
        }
    }
    if (sheetNameTooLong(name))
        return invalidName(name, "is longer than 31 characters");
    if (name.front() == '\'' || name.back() == '\'')
        return invalidName(name, "begins or ends with an apostrophe");
    if (sameSheetName(name, "History"))
        return Error{"History is a reserved name; choose another name for the sheet."};
    return success();
}

std::string_view cutToUtf16Units(std::string_view text, std::size_t units)
{
    std::size_t used = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t next = pos;
        const std::size_t width = nextCodePoint(text, next) >= 0x10000 ? 2 : 1;
        if (used + width > units)
            break;
        used += width;
        pos = next;
    }
    return text.substr(0, pos);
}

std::string uniqueSheetName(std::string_view wanted, const std::vector<std::string>& taken)
{
    std::unordered_set<std::u32string> names;
    for (const auto& name : taken)
        names.insert(folded(name));
    if (!names.count(folded(wanted)))
        return std::string(wanted);
    // At most taken.size() candidates can be taken, so this ends by n = taken.size() + 1.
    for (std::size_t n = 1;; ++n) {
        const std::string number = std::to_string(n);
        const std::size_t room = static_cast<std::size_t>(kMaxSheetNameLength) - 1 - number.size();
        std::string candidate(cutToUtf16Units(wanted, room));
        candidate += '_';
        candidate += number;
        if (!names.count(folded(candidate)))
            return candidate;
    }
}

std::string sheetNameWithChannel(std::string_view experimentName, std::string_view channel)
{
    const std::string suffix = " " + std::string(channel);
    const int room = kMaxSheetNameLength - sheetNameLength(suffix);
    if (room <= 0)
        return std::string(cutToUtf16Units(std::string(channel), kMaxSheetNameLength));
    return std::string(cutToUtf16Units(experimentName, static_cast<std::size_t>(room))) + suffix;
}

} // namespace morvane
