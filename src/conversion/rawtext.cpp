#include "conversion/rawtext.h"

#include "common/text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

namespace morvane {

namespace {

// Windows-1252 0x80..0x9F; the five unassigned codes map to the C1 control of the same value,
// as Windows itself does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// UTF-16 after its byte-order mark, as UTF-8. A surrogate without its partner and an odd last
// byte become U+FFFD: the rest of the text is still worth reading, and a reading never holds
// such a character.
std::string utf16AsUtf8(std::string_view bytes, bool bigEndian)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t units = bytes.size() / 2;
    const auto unit = [&](std::size_t i) -> char32_t {
        const unsigned first = p[2 * i];
        const unsigned second = p[2 * i + 1];
        return static_cast<char32_t>(bigEndian ? (first << 8) | second : first | (second << 8));
    };
    std::string out;
    out.reserve(bytes.size() / 2 * 3 / 2 + 3);
    for (std::size_t i = 0; i < units; ++i) {
        char32_t cp = unit(i);
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(++i) - 0xDC00);
        else if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = 0xFFFD;
        appendUtf8(out, cp);
    }
    if (bytes.size() % 2 != 0)
        appendUtf8(out, 0xFFFD);
    return out;
}

bool isBlankLine(std::string_view line)
{
    for (char c : line)
        if (static_cast<unsigned char>(c) > 32)
            return false;
    return true;
}

} // namespace

void appendWindows1252AsUtf8(std::string_view bytes, std::string& out)
{
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80)
            out.push_back(ch);
        else if (c < 0xA0)
            appendUtf8(out, kCp1252High[c - 0x80]);
        else
            appendUtf8(out, c);
    }
}

Expected<RawText> RawText::fromBytes(std::string bytes, std::string_view name)
{
    if (bytes.size() > maxBytes)
        return Error{"'" + std::string(name) + "' is larger than 512 MiB and cannot be a raw data export"};

    // Windows editors save an export as UTF-16 ("Unicode") with a byte-order mark; it is read
    // as the same text in UTF-8.
    const bool utf16le = bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0;
    const bool utf16be = bytes.size() >= 2 && bytes.compare(0, 2, "\xFE\xFF") == 0;
    if (utf16le || utf16be)
        bytes = utf16AsUtf8(std::string_view(bytes).substr(2), utf16be);

    RawText text;
    std::size_t start = 0;
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        start = 3;
    text.m_bytes = std::move(bytes);
    const std::string& b = text.m_bytes;
    const std::size_t n = b.size();

    text.m_lines.reserve(n / 32 + 1);
    std::size_t lineStart = start;
    std::size_t i = start;
    while (i < n) {
        const char* hit = static_cast<const char*>(std::memchr(b.data() + i, '\n', n - i));
        // A lone CR ends a line too, so look for the first CR or LF.
        const char* cr = static_cast<const char*>(std::memchr(b.data() + i, '\r', (hit ? hit - b.data() : n) - i));
        std::size_t lineEnd;
        std::size_t next;
        if (cr) {
            lineEnd = cr - b.data();
            next = lineEnd + ((lineEnd + 1 < n && b[lineEnd + 1] == '\n') ? 2 : 1);
        } else if (hit) {
            lineEnd = hit - b.data();
            next = lineEnd + 1;
        } else {
            lineEnd = n;
            next = n;
        }
        text.m_lines.push_back(
            {static_cast<std::uint32_t>(lineStart), static_cast<std::uint32_t>(lineEnd - lineStart)});
        i = next;
        lineStart = next;
    }
    // Before blank lines are dropped: a NUL counts as blank.
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result): a search of the bytes, not of a C string
    if (const void* nul = std::memchr(b.data(), '\0', n)) {
        const auto offset = static_cast<std::uint32_t>(static_cast<const char*>(nul) - b.data());
        const auto after = std::upper_bound(text.m_lines.begin(), text.m_lines.end(), offset,
                                            [](std::uint32_t at, const Span& span) { return at < span.offset; });
        // Every other byte NUL from the start: UTF-16 saved without its byte-order mark.
        const bool utf16 = n >= 2 && (b[0] == '\0') != (b[1] == '\0');
        return Error{"'" + std::string(name) + "' is not a text file (this line holds a NUL byte" +
                         (utf16 ? "; UTF-16 text needs its byte-order mark" : "") + ")",
                     static_cast<std::size_t>(after - text.m_lines.begin())};
    }
    while (!text.m_lines.empty() && isBlankLine(text.line(text.m_lines.size() - 1)))
        text.m_lines.pop_back();

    text.m_encoding = isValidUtf8(std::string_view(b).substr(start)) ? TextEncoding::Utf8 : TextEncoding::Windows1252;
    return text;
}

std::string RawText::toUtf8(std::string_view piece) const
{
    if (m_encoding == TextEncoding::Utf8)
        return std::string(piece);
    std::string out;
    out.reserve(piece.size());
    appendWindows1252AsUtf8(piece, out);
    return out;
}

std::string RawText::allAsUtf8() const
{
    std::string out;
    out.reserve(m_bytes.size() + m_lines.size());
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_encoding == TextEncoding::Utf8)
            out.append(line(i));
        else
            appendWindows1252AsUtf8(line(i), out);
        out.push_back('\n');
    }
    return out;
}

Expected<RawText> loadRawFile(const std::filesystem::path& path)
{
    // Only a regular file has a size to read. A FIFO would also block the open until someone
    // writes to it, so the type is asked before opening.
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (std::filesystem::is_directory(status))
        return Error{"cannot open '" + path.string() + "': it is a folder"};
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return Error{"cannot open '" + path.string() + "': it is " + fileTypeText(status.type()) +
                     ", not a regular file"};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Error{"cannot open '" + path.string() + "': " + std::strerror(errno)};
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0)
        return Error{"cannot read '" + path.string() + "'"};
    if (static_cast<std::uint64_t>(size) > RawText::maxBytes)
        return Error{"'" + path.string() + "' is larger than 512 MiB and cannot be a raw data export"};
    in.seekg(0, std::ios::beg);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (size > 0 && !in.read(bytes.data(), size))
        return Error{"cannot read '" + path.string() + "'"};
    return RawText::fromBytes(std::move(bytes), path.string());
}

} // namespace morvane
