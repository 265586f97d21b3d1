#include "common/text.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace morvane {

std::string foldAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

bool endsWithIgnoringAsciiCase(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && equalsIgnoringAsciiCase(text.substr(text.size() - end.size()), end);
}

std::optional<char32_t> decodeUtf8(std::string_view text, std::size_t& pos)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char lead = p[pos];
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    std::size_t extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) // C0 and C1 could only start an overlong form
        extra = 1, cp = lead & 0x1F, minimum = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        extra = 2, cp = lead & 0x0F, minimum = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        extra = 3, cp = lead & 0x07, minimum = 0x10000;
    bool ok = extra != 0 && pos + extra < text.size();
    for (std::size_t k = 1; ok && k <= extra; ++k) {
        ok = (p[pos + k] & 0xC0) == 0x80;
        cp = (cp << 6) | (p[pos + k] & 0x3F);
    }
    if (!ok || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return std::nullopt;
    }
    pos += extra + 1;
    return cp;
}

bool isValidUtf8(std::string_view text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            // A raw export is nearly all ASCII: pass over eight such bytes at a time.
            ++i;
            std::uint64_t block;
            while (i + sizeof block <= n) {
                std::memcpy(&block, p + i, sizeof block);
                if (block & 0x8080808080808080ull)
                    break;
                i += sizeof block;
            }
            continue;
        }
        if (!decodeUtf8(text, i))
            return false;
    }
    return true;
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::optional<int> parseWholeNumberClamped(std::string_view text)
{
    int value = 0;
    const std::errc ec = detail::readWholeNumber(text, PlusSign::Accepted, value);
    if (ec == std::errc::result_out_of_range)
        return text.front() == '-' ? INT_MIN : INT_MAX;
    if (ec != std::errc())
        return std::nullopt;
    return value;
}

std::filesystem::path pathFromUtf8(std::string_view text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string quotedFileName(const std::filesystem::path& path)
{
    return "'" + pathForMessage(path.filename()) + "'";
}

std::string pathForMessage(const std::filesystem::path& path)
{
    // Not cut: a path is the user's own, and only whole does it say which file is meant.
    return cutForMessage(path.string(), std::string::npos);
}

std::string fileTypeText(std::filesystem::file_type type)
{
    switch (type) {
    case std::filesystem::file_type::directory:
        return "a folder";
    case std::filesystem::file_type::fifo:
        return "a named pipe (FIFO)";
    case std::filesystem::file_type::socket:
        return "a socket";
    case std::filesystem::file_type::block:
    case std::filesystem::file_type::character:
        return "a device";
    case std::filesystem::file_type::symlink:
        return "a symbolic link";
    case std::filesystem::file_type::regular:
        return "a file";
    default:
        return "no ordinary file";
    }
}

std::string cutForMessage(std::string_view text, std::size_t maxChars)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto escape = [](std::string& out, unsigned value) {
        out += "\\x";
        out += kHex[(value >> 4) & 0xF];
        out += kHex[value & 0xF];
    };
    std::string out;
    std::size_t pos = 0;
    for (std::size_t chars = 0; pos < text.size(); ++chars) {
        if (chars == maxChars)
            return out + "...";
        const std::size_t start = pos;
        const auto cp = decodeUtf8(text, pos);
        if (!cp)
            escape(out, static_cast<unsigned char>(text[start]));
        else if (*cp == '\t')
            out += "\\t";
        else if (*cp == '\n')
            out += "\\n";
        else if (*cp == '\r')
            out += "\\r";
        else if (*cp < 0x20 || (*cp >= 0x7F && *cp <= 0x9F)) // C0, DEL and C1 controls
            escape(out, static_cast<unsigned>(*cp));
        else
            out.append(text.substr(start, pos - start));
    }
    return out;
}

std::string quoteForMessage(std::string_view text)
{
    return "'" + cutForMessage(text) + "'";
}

} // namespace morvane
