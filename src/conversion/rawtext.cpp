#include "conversion/rawtext.h"

#include "common/text.h"

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
    if (std::memchr(bytes.data(), '\0', bytes.size()) != nullptr)
        return Error{"'" + std::string(name) + "' is not a text file (it holds NUL bytes)"};

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
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return Error{"cannot open '" + path.string() + "': it is a folder"};
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
