#include "conversion/splitline.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define MORVANE_WIDE_WINDOW 1
// The C library's record of the processor's features; its header is C that clang does not take
// as C++.
#if __has_include(<sys/platform/x86.h>) && !defined(__clang__)
#include <sys/platform/x86.h>
#endif
#endif

namespace morvane {

namespace {

bool isSeparator(char c)
{
    // Codes 1 to 32 in one comparison: 0 wraps round to the largest value.
    return static_cast<unsigned char>(static_cast<unsigned char>(c) - 1u) < 32u;
}

// Byte by byte, with quoted fields.
void splitQuoted(std::string_view line, std::vector<std::string_view>& fields, std::string& unquoted)
{
    std::size_t pos = 0;
    const std::size_t n = line.size();
    while (pos < n && isSeparator(line[pos]))
        ++pos;
    while (pos < n) {
        if (line[pos] == '"') {
            ++pos;
            const std::size_t start = pos;
            bool doubled = false;
            std::size_t end = n;
            while (pos < n) {
                if (line[pos] == '"') {
                    if (pos + 1 < n && line[pos + 1] == '"') {
                        doubled = true;
                        pos += 2;
                        continue;
                    }
                    end = pos;
                    ++pos;
                    break;
                }
                ++pos;
            }
            // Without a closing quote the field runs to the end of the line.
            std::string_view raw = line.substr(start, end - start);
            if (!doubled) {
                fields.push_back(raw);
            } else {
                // Unquoted text never outgrows its line, so with this capacity (taken before the
                // first view into the buffer is handed out) the buffer does not move.
                if (unquoted.empty())
                    unquoted.reserve(line.size());
                const std::size_t from = unquoted.size();
                for (std::size_t i = 0; i < raw.size(); ++i) {
                    unquoted.push_back(raw[i]);
                    if (raw[i] == '"' && i + 1 < raw.size() && raw[i + 1] == '"')
                        ++i;
                }
                fields.emplace_back(unquoted.data() + from, unquoted.size() - from);
            }
        } else {
            const std::size_t start = pos;
            while (pos < n && !isSeparator(line[pos]))
                ++pos;
            fields.push_back(line.substr(start, pos - start));
        }
        while (pos < n && isSeparator(line[pos]))
            ++pos;
    }
}

} // namespace

// One bit per byte for the (up to) 64 bytes of the line [begin, end) from `chunk`: separators
// and quotes. Bytes past the end count as separators and never as quotes.
struct ChunkBits {
    std::uint64_t separators = 0;
    std::uint64_t quotes = 0;
};

#if defined(__SSE2__) || defined(_M_X64)
// Sixteen bytes at a time. The last bytes of a line come from the sixteen ending at `end`,
// shifted, as loadWord does with eight.
inline ChunkBits chunkBits(const char* begin, const char* chunk, const char* end)
{
    ChunkBits bits;
    const __m128i one = _mm_set1_epi8(1);
    const __m128i below = _mm_set1_epi8(31);
    const __m128i quote = _mm_set1_epi8('"');
    for (int b = 0; b < 4; ++b) {
        const char* const at = chunk + std::ptrdiff_t{16} * b;
        if (at >= end) {
            bits.separators |= ~std::uint64_t{0} << (16 * b);
            break;
        }
        const auto left = static_cast<std::size_t>(end - at);
        __m128i v;
        unsigned shift = 0;
        if (left >= 16) {
            v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        } else if (end - begin >= 16) {
            v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 16));
            shift = static_cast<unsigned>(16 - left);
        } else {
            char padded[16];
            std::memset(padded, ' ', sizeof padded);
            std::memcpy(padded, at, left);
            v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(padded));
        }
        // Codes 1 to 32: one less is at most 31, unsigned (0 wraps round to 255).
        const __m128i lower = _mm_sub_epi8(v, one);
        auto separators =
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(lower, below), lower)));
        auto quotes = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, quote)));
        separators >>= shift;
        quotes >>= shift;
        if (left < 16)
            separators |= 0xFFFFu << left;
        bits.separators |= static_cast<std::uint64_t>(separators & 0xFFFFu) << (16 * b);
        bits.quotes |= static_cast<std::uint64_t>(quotes & 0xFFFFu) << (16 * b);
    }
    return bits;
}

// The line of `length` bytes (fewer than 64) at `begin`, where all 64 bytes from `begin` may be
// read: four loads, whatever the length, and the bytes past the line masked as chunkBits counts
// them.
inline ChunkBits windowBits(const char* begin, std::size_t length)
{
    std::uint64_t separators = 0;
    std::uint64_t quotes = 0;
    for (int b = 0; b < 4; ++b) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + std::ptrdiff_t{16} * b));
        const __m128i lower = _mm_sub_epi8(v, _mm_set1_epi8(1));
        const auto separatorMask = static_cast<std::uint32_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(lower, _mm_set1_epi8(31)), lower)));
        const auto quoteMask = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('"'))));
        separators |= static_cast<std::uint64_t>(separatorMask) << (16 * b);
        quotes |= static_cast<std::uint64_t>(quoteMask) << (16 * b);
    }
    const std::uint64_t inLine = (std::uint64_t{1} << length) - 1;
    return {separators | ~inLine, quotes & inLine};
}
#else
constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHighBits = 0x8080808080808080u;

// The high bit of each byte of `word` whose value is below `limit` (at most 128). Exact for
// every byte: (byte | 0x80) - limit never borrows from the next byte.
constexpr std::uint64_t bytesBelow(std::uint64_t word, unsigned limit)
{
    return ~((word | kHighBits) - kOnes * limit) & ~word & kHighBits;
}

constexpr std::uint64_t separatorBytes(std::uint64_t word)
{
    return bytesBelow(word, 33) & ~bytesBelow(word, 1);
}

constexpr std::uint64_t quoteBytes(std::uint64_t word)
{
    return bytesBelow(word ^ (kOnes * '"'), 1);
}

std::uint64_t littleEndianWord(const char* at)
{
    std::uint64_t word = 0;
    std::memcpy(&word, at, 8);
    if constexpr (std::endian::native == std::endian::big) {
        std::uint64_t swapped = 0;
        for (int i = 0; i < 8; ++i, word >>= 8)
            swapped = (swapped << 8) | (word & 0xFF);
        word = swapped;
    }
    return word;
}

// Eight bytes from `at` of the line [begin, end), the first in the lowest byte; past `end` the
// word is filled with blanks, which end the last field like any separator. The last bytes of a
// line come from the eight ending at `end`, shifted: never a read outside the line, and no
// bytes stored to be read back as a word (which stalls).
std::uint64_t loadWord(const char* begin, const char* at, const char* end)
{
    const auto left = static_cast<std::size_t>(end - at);
    if (left >= 8)
        return littleEndianWord(at);
    const std::uint64_t blanks = (kOnes * ' ') << (8 * left);
    if (end - begin >= 8)
        return (littleEndianWord(end - 8) >> (8 * (8 - left))) | blanks;
    std::uint64_t word = 0;
    for (std::size_t i = left; i-- > 0;)
        word = (word << 8) | static_cast<unsigned char>(at[i]);
    return word | blanks;
}

// Bit i set for byte i whose high bit is set, of the eight: the high bits gathered by one
// multiplication (no two partial products meet in the same bit).
constexpr std::uint64_t highBitsGathered(std::uint64_t highBits)
{
    return (highBits * 0x0002040810204081u) >> 56;
}

// Eight bytes at a time, in plain integers.
inline ChunkBits chunkBits(const char* begin, const char* chunk, const char* end)
{
    ChunkBits bits;
    const auto words = static_cast<int>(std::min<std::ptrdiff_t>((end - chunk + 7) / 8, 8));
    for (int w = 0; w < words; ++w) {
        const std::uint64_t word = loadWord(begin, chunk + 8 * w, end);
        bits.quotes |= quoteBytes(word);
        bits.separators |= highBitsGathered(separatorBytes(word)) << (8 * w);
    }
    if (words < 8)
        bits.separators |= ~std::uint64_t{0} << (8 * words);
    return bits;
}

inline ChunkBits windowBits(const char* begin, std::size_t length)
{
    return chunkBits(begin, begin, begin + length);
}
#endif

#ifdef MORVANE_WIDE_WINDOW
namespace {

// The bits of the line of `length` bytes (fewer than 64) at `begin`, where all 64 bytes from
// `begin` may be read, on processors with 64-byte vectors: one load and two comparisons, the
// bytes past the line counted as separators.
__attribute__((target("avx512f,avx512bw"))) ChunkBits wideWindowBits(const char* begin, std::size_t length)
{
    const __m512i v = _mm512_loadu_si512(begin);
    const std::uint64_t inLine = (std::uint64_t{1} << length) - 1;
    return {_mm512_cmple_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8(1)), _mm512_set1_epi8(31)) | ~inLine,
            _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('"')) & inLine};
}

// fieldOfShortLine with those bits, the field's two edges picked out of the changes in one step.
__attribute__((target("avx512f,avx512bw,popcnt,bmi,bmi2"))) bool
wideFieldOfShortLine(std::string_view line, std::size_t fromEnd, std::size_t& fieldCount, std::string_view& field)
{
    const ChunkBits bits = wideWindowBits(line.data(), line.size());
    if (bits.quotes != 0)
        return false;
    const std::uint64_t changes = bits.separators ^ ((bits.separators << 1) | 1);
    fieldCount = static_cast<std::size_t>(_mm_popcnt_u64(changes)) / 2;
    field = {};
    if (fromEnd < 1 || fromEnd > fieldCount)
        return true;
    // The field's start is change number 2 (fieldCount - fromEnd) and its end the next one.
    const std::uint64_t edges = _pdep_u64(std::uint64_t{3} << (2 * (fieldCount - fromEnd)), changes);
    const auto start = static_cast<std::size_t>(std::countr_zero(edges));
    field = line.substr(start, static_cast<std::size_t>(63 - std::countl_zero(edges)) - start);
    return true;
}

bool wideWindowAvailable()
{
#ifdef CPU_FEATURE_ACTIVE
    // What the C library found when the process started: asking the processor again costs a
    // tenth of a millisecond in a virtual machine, where each question goes to the host.
    return CPU_FEATURE_ACTIVE(AVX512BW) && CPU_FEATURE_ACTIVE(BMI2) && CPU_FEATURE_ACTIVE(POPCNT);
#else
    __builtin_cpu_init(); // this may run before the library's own constructors
    return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
#endif
}

bool g_wideWindow = wideWindowAvailable();

} // namespace
#endif

// Most lines hold no quote: they are cut 64 bytes at a time, from one bit per byte that tells a
// separator. Each byte that differs in kind from the byte before it begins a field or ends one,
// alternately, so one step per field and none per byte. A quote sends the line to the
// byte-by-byte cut.
void splitline(char /*separator*/, std::string_view line, FieldList& fields, [[maybe_unused]] bool windowReadable)
{
    fields.m_fields.clear();
    fields.m_unquoted.clear();

#ifdef MORVANE_WIDE_WINDOW
    // A short line in one window: every field ends within it, as the bytes past the line count
    // as separators.
    if (windowReadable && line.size() < 64 && g_wideWindow) {
        const ChunkBits bits = wideWindowBits(line.data(), line.size());
        if (bits.quotes != 0) {
            splitQuoted(line, fields.m_fields, fields.m_unquoted);
            return;
        }
        for (std::uint64_t changes = bits.separators ^ ((bits.separators << 1) | 1); changes != 0;) {
            const auto start = static_cast<std::size_t>(std::countr_zero(changes));
            changes &= changes - 1;
            fields.m_fields.emplace_back(line.data() + start,
                                         static_cast<std::size_t>(std::countr_zero(changes)) - start);
            changes &= changes - 1;
        }
        return;
    }
#endif
    const char* const begin = line.data();
    const char* const end = begin + line.size();
    bool inField = false;
    const char* fieldStart = begin;
    std::uint64_t previousSeparator = 1; // before the line: as after a separator
    for (const char* chunk = begin; chunk < end; chunk += 64) {
        const ChunkBits bits = chunkBits(begin, chunk, end);
        if (bits.quotes != 0) {
            fields.m_fields.clear();
            splitQuoted(line, fields.m_fields, fields.m_unquoted);
            return;
        }
        const std::uint64_t separators = bits.separators;
        std::uint64_t changes = separators ^ ((separators << 1) | previousSeparator);
        previousSeparator = separators >> 63;
        // Changes come in pairs, a field's start and its end: taken a pair at a time, with the
        // field open at the chunk's end (if any) carried over.
        while (changes != 0) {
            if (!inField) {
                fieldStart = chunk + std::countr_zero(changes);
                changes &= changes - 1;
                inField = true;
                if (changes == 0)
                    break;
            }
            const char* const fieldEnd = chunk + std::countr_zero(changes);
            changes &= changes - 1;
            fields.m_fields.emplace_back(fieldStart, static_cast<std::size_t>(fieldEnd - fieldStart));
            inField = false;
        }
    }
    if (inField)
        fields.m_fields.emplace_back(fieldStart, static_cast<std::size_t>(end - fieldStart));
}

// The set bits of a word, in plain integer steps: std::popcount becomes a library call where
// the target promises no instruction for it.
constexpr int bitCount(std::uint64_t word)
{
    word -= (word >> 1) & 0x5555555555555555u;
    word = (word & 0x3333333333333333u) + ((word >> 2) & 0x3333333333333333u);
    word = (word + (word >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<int>((word * 0x0101010101010101u) >> 56);
}
static_assert(bitCount(0) == 0 && bitCount(~std::uint64_t{0}) == 64 && bitCount(0x8000000000000101u) == 3);

void allowWideWindow([[maybe_unused]] bool allowed)
{
#ifdef MORVANE_WIDE_WINDOW
    g_wideWindow = allowed && wideWindowAvailable();
#endif
}

bool wideWindowInUse()
{
#ifdef MORVANE_WIDE_WINDOW
    return g_wideWindow;
#else
    return false;
#endif
}

bool fieldOfShortLine(std::string_view line, std::size_t fromEnd, std::size_t& fieldCount, std::string_view& field,
                      bool windowReadable)
{
    if (line.size() >= 64)
        return false;
#ifdef MORVANE_WIDE_WINDOW
    if (windowReadable && g_wideWindow)
        return wideFieldOfShortLine(line, fromEnd, fieldCount, field);
#endif
    const char* const begin = line.data();
    const ChunkBits bits =
        windowReadable ? windowBits(begin, line.size()) : chunkBits(begin, begin, begin + line.size());
    if (bits.quotes != 0)
        return false;
    // As splitline: each change of kind begins a field or ends one. Bytes past the end count as
    // separators, and there is at least one such byte, so every field ends within these 64 bits.
    std::uint64_t changes = bits.separators ^ ((bits.separators << 1) | 1);
    fieldCount = static_cast<std::size_t>(bitCount(changes)) / 2;
    field = {};
    if (fromEnd < 1 || fromEnd > fieldCount)
        return true;
    for (std::size_t skip = 2 * (fieldCount - fromEnd); skip > 0; --skip)
        changes &= changes - 1;
    const auto start = static_cast<std::size_t>(std::countr_zero(changes));
    changes &= changes - 1;
    field = line.substr(start, static_cast<std::size_t>(std::countr_zero(changes)) - start);
    return true;
}

std::vector<std::string> splitline(std::string_view line)
{
    FieldList fields;
    splitline(' ', line, fields);
    return {fields.begin(), fields.end()};
}

} // namespace morvane
