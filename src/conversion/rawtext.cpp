#include "conversion/rawtext.h"

#include "common/text.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <system_error>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

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

// The bytes of a block of the text that matter to cutting it into lines, one bit per byte.
struct BlockBits {
    std::uint64_t breaks = 0; // CR or LF
    std::uint64_t nuls = 0;
    std::uint64_t high = 0; // 0x80 and above: not ASCII
};
constexpr std::size_t kBlock = 64;

// Byte by byte: where there is no SSE2, and for the last bytes of a text.
BlockBits blockBitsBytewise(const char* p, std::size_t count)
{
    BlockBits bits;
    for (std::size_t i = 0; i < count; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        bits.breaks |= static_cast<std::uint64_t>(c == '\n' || c == '\r') << i;
        bits.nuls |= static_cast<std::uint64_t>(c == 0) << i;
        bits.high |= static_cast<std::uint64_t>(c >= 0x80) << i;
    }
    return bits;
}

// 64 bytes, sixteen at a time in three comparisons, where every x86-64 processor has SSE2.
BlockBits blockBits(const char* p)
{
#if defined(__SSE2__) || defined(_M_X64)
    BlockBits bits;
    for (int part = 0; part < 4; ++part) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + std::ptrdiff_t{16} * part));
        const __m128i breaks =
            _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')));
        const auto shift = 16 * part;
        bits.breaks |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(breaks))) << shift;
        bits.nuls |= static_cast<std::uint64_t>(
                         static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128()))))
                     << shift;
        bits.high |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(v))) << shift;
    }
    return bits;
#else
    return blockBitsBytewise(p, kBlock);
#endif
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

    const std::size_t start = std::string_view(bytes).starts_with("\xEF\xBB\xBF") ? 3 : 0;
    RawText text;
    text.m_bytes = std::move(bytes);
    if (auto ok = text.cut(start, name); !ok)
        return ok.error();
    text.m_bytes.append(padding, ' ');
    return text;
}

Status RawText::cut(std::size_t start, std::string_view name)
{
    const char* const b = m_bytes.data();
    const std::size_t n = m_bytes.size();
    m_lines.reserve(n / 32 + 1);
    const auto addLine = [&](std::size_t offset, std::size_t length) {
        m_lines.push_back({static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length)});
    };
    // A line ends at CR LF, LF or a lone CR: every CR and LF ends one, except the LF of a CR LF.
    std::size_t lineStart = start;
    bool anyNul = false;
    bool anyHigh = false;
    for (std::size_t at = start; at < n; at += kBlock) {
        const BlockBits bits = n - at >= kBlock ? blockBits(b + at) : blockBitsBytewise(b + at, n - at);
        anyNul = anyNul || bits.nuls != 0;
        anyHigh = anyHigh || bits.high != 0;
        for (std::uint64_t breaks = bits.breaks; breaks != 0; breaks &= breaks - 1) {
            const std::size_t pos = at + static_cast<std::size_t>(std::countr_zero(breaks));
            if (pos < lineStart)
                continue;
            addLine(lineStart, pos - lineStart);
            lineStart = pos + ((b[pos] == '\r' && pos + 1 < n && b[pos + 1] == '\n') ? 2 : 1);
        }
    }
    if (lineStart < n)
        addLine(lineStart, n - lineStart);
    // Before blank lines are dropped: a NUL counts as blank.
    if (anyNul) {
        const void* nul = std::memchr(b, '\0', n);
        const auto offset = static_cast<std::uint32_t>(static_cast<const char*>(nul) - b);
        const auto after = std::upper_bound(m_lines.begin(), m_lines.end(), offset,
                                            [](std::uint32_t at, const Span& span) { return at < span.offset; });
        // Every other byte NUL from the start: UTF-16 saved without its byte-order mark.
        const bool utf16 = n >= 2 && (b[0] == '\0') != (b[1] == '\0');
        return Error{"'" + std::string(name) + "' is not a text file (this line holds a NUL byte" +
                         (utf16 ? "; UTF-16 text needs its byte-order mark" : "") + ")",
                     static_cast<std::size_t>(after - m_lines.begin())};
    }
    while (!m_lines.empty() && isBlankLine(line(m_lines.size() - 1)))
        m_lines.pop_back();

    // Plain ASCII is UTF-8 as it is.
    const bool utf8 = !anyHigh || isValidUtf8(std::string_view(b + start, n - start));
    m_encoding = utf8 ? TextEncoding::Utf8 : TextEncoding::Windows1252;
    return success();
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

namespace {

// What tells that a file changed: its size and the time of its last write.
struct FileState {
    std::uintmax_t size = 0;
    std::filesystem::file_time_type written;
    bool operator==(const FileState&) const = default;
};

std::optional<FileState> fileState(const std::filesystem::path& path)
{
    std::error_code sizeError;
    std::error_code timeError;
    FileState state{std::filesystem::file_size(path, sizeError), std::filesystem::last_write_time(path, timeError)};
    if (sizeError || timeError)
        return std::nullopt;
    return state;
}

} // namespace

Expected<RawText> loadRawFile(const std::filesystem::path& path)
{
    return detail::loadRawFile(path, {});
}

Expected<RawText> detail::loadRawFile(const std::filesystem::path& path, const std::function<void()>& whileReading)
{
    // Only a regular file has a size to read. A FIFO would also block the open until someone
    // writes to it, so the type is asked before opening.
    const std::string name = pathForMessage(path);
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (std::filesystem::is_directory(status))
        return Error{"cannot open '" + name + "': it is a folder"};
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return Error{"cannot open '" + name + "': it is " + fileTypeText(status.type()) + ", not a regular file"};

    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Error{"cannot open '" + name + "': " +
                     (std::filesystem::exists(status) ? "it cannot be read (no permission, or another program holds it)"
                                                      : "there is no such file")};
    const auto before = fileState(path);
    if (!before)
        return Error{"cannot read '" + name + "'"};
    if (before->size > RawText::maxBytes)
        return Error{"'" + name + "' is larger than 512 MiB and cannot be a raw data export"};
    if (whileReading)
        whileReading();
    // One read of the size the file had; a file that is now shorter or longer was changed.
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(before->size) + RawText::padding);
    bytes.resize(static_cast<std::size_t>(before->size));
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    const bool whole = static_cast<std::uintmax_t>(in.gcount()) == before->size && in.peek() == EOF;
    if (in.bad())
        return Error{.message = "cannot read '" + name + "'", .kind = ErrorKind::Io};
    if (!whole || fileState(path) != before)
        return Error{.message = "cannot read '" + name +
                                "': the file changed while it was read; read it again when "
                                "the program that writes it has finished",
                     .kind = ErrorKind::Io};
    return RawText::fromBytes(std::move(bytes), name);
}

} // namespace morvane
