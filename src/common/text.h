#pragma once
// Small text helpers every layer needs: ASCII letter case, UTF-8, whole numbers, quoting.
//
// Letter case here is ASCII only on purpose: part names, file extensions, well names and the
// header words of an export are ASCII, and a byte of a UTF-8 character must never change.

#include <charconv>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace morvane {

constexpr bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

constexpr bool isAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Whether every byte is below 0x80: plain ASCII, which is UTF-8 and Windows-1252 alike.
constexpr bool isAscii(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

constexpr char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char upperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// `text` without the blanks, tabs and line breaks at either end.
constexpr std::string_view trimBlanks(std::string_view text)
{
    constexpr std::string_view blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// `text` with A-Z lowered: a key under which names that differ only in ASCII case meet.
std::string foldAscii(std::string_view text);
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool endsWithIgnoringAsciiCase(std::string_view text, std::string_view end);

// The code point of the UTF-8 sequence at `pos`, with `pos` moved past it. A byte that does not
// start a well-formed sequence (cut short, overlong, a surrogate, beyond U+10FFFF) gives nullopt
// and `pos` moves by that one byte. `pos` must lie within `text`.
std::optional<char32_t> decodeUtf8(std::string_view text, std::size_t& pos);
bool isValidUtf8(std::string_view text);
// Appends the UTF-8 form of `cp` (at most U+10FFFF).
void appendUtf8(std::string& out, char32_t cp);

// Whole numbers: decimal digits after an optional sign ("12", "-1", "+3"), nothing else, no
// blanks. Some callers read a notation without the plus.
enum class PlusSign { Accepted, Refused };

namespace detail {
// std::from_chars reads a minus but no plus, and stops quietly at the first character that is
// no digit; both are settled here. Gives std::errc() or result_out_of_range for a number.
template <typename Int> std::errc readWholeNumber(std::string_view text, PlusSign plus, Int& value)
{
    if (plus == PlusSign::Accepted && !text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') // "+-1"
            return std::errc::invalid_argument;
    }
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ptr == end ? ec : std::errc::invalid_argument;
}
} // namespace detail

// The value, or nullopt when the text is no such number or the value does not fit `Int`.
// Defined here rather than in text.cpp because every cell of an export goes through it, and
// only inlined is it as fast as a loop written in place.
template <typename Int = int>
[[nodiscard]] std::optional<Int> parseWholeNumber(std::string_view text, PlusSign plus = PlusSign::Accepted)
{
    Int value = 0;
    if (detail::readWholeNumber(text, plus, value) != std::errc())
        return std::nullopt;
    return value;
}

// The same notation (plus accepted), but a value beyond int comes back as INT_MIN or INT_MAX:
// for callers to whom a huge number is still a number, only far out of their range.
[[nodiscard]] std::optional<int> parseWholeNumberClamped(std::string_view text);

// The path named by UTF-8 text (a command-line argument, a layout's cell). On Windows a path made
// from a std::string takes it in the C library's code page, so a Greek or Japanese name needs this.
std::filesystem::path pathFromUtf8(std::string_view text);
// The file name of `path` (without its folder) in single quotes, as messages name a file.
std::string quotedFileName(const std::filesystem::path& path);
// A path as a message shows it: whole, its control characters escaped as cutForMessage does.
std::string pathForMessage(const std::filesystem::path& path);
// What a file of this type is, for messages: "a folder", "a named pipe (FIFO)", "a device", ...
std::string fileTypeText(std::filesystem::file_type type);

// Text from the input as a message shows it. A field or name may be megabytes long, and a
// message must still fit a line: beyond `maxChars` characters it is cut, never inside a UTF-8
// character, and "..." marks the cut. Control characters and bytes that are no UTF-8 show as
// \t, \n, \r or \xNN, so that no text from a file can steer the terminal.
inline constexpr std::size_t kMessageQuoteChars = 80;
std::string cutForMessage(std::string_view text, std::size_t maxChars = kMessageQuoteChars);
// The same in single quotes: 'text', or 'the first 80 characters...'.
std::string quoteForMessage(std::string_view text);

} // namespace morvane
