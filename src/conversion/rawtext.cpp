#include "conversion/rawtext.h"

#include "common/text.h"
#include "conversion/splitline.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <system_error>

#ifdef __linux__
#include <sys/mman.h>
#endif

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
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
constexpr std::size_t kBlock = 16;

BlockBits blockBits(const char* p)
{
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i breaks = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')));
    return {static_cast<std::uint32_t>(_mm_movemask_epi8(breaks)),
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128()))),
            static_cast<std::uint32_t>(_mm_movemask_epi8(v))};
#else
    BlockBits bits;
    for (std::size_t i = 0; i < kBlock; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        bits.breaks |= static_cast<std::uint32_t>(c == '\n' || c == '\r') << i;
        bits.nuls |= static_cast<std::uint32_t>(c == 0) << i;
        bits.high |= static_cast<std::uint32_t>(c >= 0x80) << i;
    }
    return bits;
#endif
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MORVANE_WIDE_BLOCKS 1
constexpr std::size_t kWideBlock = 64;

// The same for 64 bytes, on processors with 64-byte vectors (wideWindowInUse()).
__attribute__((target("avx512f,avx512bw"))) BlockBits wideBlockBits(const char* p)
{
    const __m512i v = _mm512_loadu_si512(p);
    return {_mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\n')) | _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\r')),
            _mm512_cmpeq_epi8_mask(v, _mm512_setzero_si512()), _mm512_movepi8_mask(v)};
}
#endif

// The last bytes, fewer than a block, followed by bytes that are none of those.
BlockBits tailBits(const char* p, std::size_t count)
{
    char block[kBlock];
    std::memset(block, 'x', kBlock);
    std::memcpy(block, p, count);
    return blockBits(block);
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
    text.m_owned = std::move(bytes);
    return cut(std::move(text), start, name);
}

Expected<RawText> RawText::cut(RawText text, std::size_t start, std::string_view name)
{
    const char* const b = text.bytes();
    const std::size_t n = text.byteCount();
    text.m_lines.reserve(n / 32 + 1);
    const auto addLine = [&](std::size_t offset, std::size_t length) {
        text.m_lines.push_back({static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length)});
    };
    // A line ends at CR LF, LF or a lone CR: every CR and LF ends one, except the LF of a CR LF.
    std::size_t lineStart = start;
    bool anyNul = false;
    bool anyHigh = false;
#ifdef MORVANE_WIDE_BLOCKS
    const bool wide = wideWindowInUse();
#else
    constexpr bool wide = false;
#endif
    for (std::size_t at = start, step = kBlock; at < n; at += step) {
        BlockBits bits;
#ifdef MORVANE_WIDE_BLOCKS
        if (wide && n - at >= kWideBlock) {
            prefetch(b + at + kPrefetchDistance);
            bits = wideBlockBits(b + at);
            step = kWideBlock;
        } else
#endif
        {
            if (at % 64 == 0)
                prefetch(b + at + kPrefetchDistance);
            bits = n - at >= kBlock ? blockBits(b + at) : tailBits(b + at, n - at);
            step = kBlock;
        }
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

    // Plain ASCII is UTF-8 as it is.
    const bool utf8 = !anyHigh || isValidUtf8(std::string_view(b + start, n - start));
    text.m_encoding = utf8 ? TextEncoding::Utf8 : TextEncoding::Windows1252;
    return text;
}

// Here, not in the header: the mapped file's type is known only to each system's source, and
// its deleter is declared for that.
RawText::RawText(RawText&&) noexcept = default;
RawText& RawText::operator=(RawText&&) noexcept = default;
RawText::~RawText() = default;

RawText::RawText(const RawText& other)
    : m_owned(other.bytes(), other.byteCount()), m_lines(other.m_lines), m_encoding(other.m_encoding),
      m_changedBeforeCopy(!other.unchanged())
{
}

RawText& RawText::operator=(const RawText& other)
{
    if (this != &other)
        *this = RawText(other);
    return *this;
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
    out.reserve(byteCount() + m_lines.size());
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_encoding == TextEncoding::Utf8)
            out.append(line(i));
        else
            appendWindows1252AsUtf8(line(i), out);
        out.push_back('\n');
    }
    return out;
}

void RawText::Unmap::operator()(char* bytes) const
{
#ifdef __linux__
    munmap(bytes, mapped);
#else
    delete[] bytes;
#endif
}

#ifdef __linux__
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t roundUp(std::size_t size, std::size_t unit)
{
    return (size + unit - 1) / unit * unit;
}

// Memory of whole 2 MiB pages, on a 2 MiB boundary, backed by huge pages where Linux has them:
// one page to clear and map per 2 MiB instead of 512, and as few to give back. Null where the
// system cannot be asked for them (before Linux 5.14).
char* mapHugePages(std::size_t length)
{
    void* pages = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED)
        return nullptr;
    char* const start = static_cast<char*>(pages);
    char* const aligned =
        start + (roundUp(reinterpret_cast<std::uintptr_t>(start), kHugePage) - reinterpret_cast<std::uintptr_t>(start));
    // The slack before and after the aligned pages goes back at once.
    if (aligned > start)
        munmap(start, static_cast<std::size_t>(aligned - start));
    if (const std::size_t after = kHugePage - static_cast<std::size_t>(aligned - start); after > 0)
        munmap(aligned + length, after);
    // The pages are taken before the read: faulted in one by one within the read, huge pages
    // cost more than small ones handed over at once.
    if (madvise(aligned, length, MADV_HUGEPAGE) != 0 || madvise(aligned, length, MADV_POPULATE_WRITE) != 0) {
        munmap(aligned, length);
        return nullptr;
    }
    return aligned;
}

} // namespace
#endif

// Fresh memory costs a page fault per page when it is first written. A file of megabytes goes
// into huge pages where Linux has them; otherwise Linux hands over the small pages all at once,
// for about a third less time than a fault each.
RawText::ReadBuffer RawText::allocateReadBuffer(std::size_t size)
{
#ifdef __linux__
    if (size >= kHugePage) {
        const std::size_t length = roundUp(size, kHugePage);
        if (char* pages = mapHugePages(length))
            return ReadBuffer(pages, Unmap{size, length});
    }
    void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    return ReadBuffer(pages == MAP_FAILED ? nullptr : static_cast<char*>(pages), Unmap{size, size});
#else
    return ReadBuffer(new (std::nothrow) char[size], Unmap{size, size});
#endif
}

Expected<RawText> loadRawFile(const std::filesystem::path& path, FileAccess access)
{
    // Only a regular file has a size to read. A FIFO would also block the open until someone
    // writes to it, so the type is asked before opening.
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (std::filesystem::is_directory(status))
        return Error{"cannot open '" + pathForMessage(path) + "': it is a folder"};
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return Error{"cannot open '" + pathForMessage(path) + "': it is " + fileTypeText(status.type()) +
                     ", not a regular file"};
    return RawText::readFile(path, access);
}

} // namespace morvane
