#include "conversion/splitline.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace morvane {

namespace {

bool isSeparator(char c)
{
    // Codes 1 to 32 in one comparison: 0 wraps round to the largest value.
    return static_cast<unsigned char>(static_cast<unsigned char>(c) - 1u) < 32u;
}

} // namespace

// Byte by byte, with quoted fields.
void splitlineBytewise(std::string_view line, FieldList& list)
{
    std::vector<std::string_view>& fields = list.m_fields;
    std::string& unquoted = list.m_unquoted;
    fields.clear();
    unquoted.clear();
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

namespace {

// One bit per byte for the (up to) 64 bytes of the line [begin, end) from `chunk`: separators
// and quotes. Bytes past the end count as separators and never as quotes.
struct ChunkBits {
    std::uint64_t separators = 0;
    std::uint64_t quotes = 0;
};

#if defined(__SSE2__) || defined(_M_X64)
// The 64 bytes at `at`, sixteen at a time.
ChunkBits fullChunkBits(const char* at)
{
    ChunkBits bits;
    for (int b = 0; b < 4; ++b) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + std::ptrdiff_t{16} * b));
        // Codes 1 to 32: one less is at most 31, unsigned (0 wraps round to 255).
        const __m128i lower = _mm_sub_epi8(v, _mm_set1_epi8(1));
        const auto separators = static_cast<std::uint32_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(lower, _mm_set1_epi8(31)), lower)));
        const auto quotes = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('"'))));
        bits.separators |= static_cast<std::uint64_t>(separators) << (16 * b);
        bits.quotes |= static_cast<std::uint64_t>(quotes) << (16 * b);
    }
    return bits;
}
#else
// One byte at a time where there is no SSE2.
ChunkBits fullChunkBits(const char* at)
{
    ChunkBits bits;
    for (std::size_t i = 0; i < 64; ++i) {
        bits.separators |= static_cast<std::uint64_t>(isSeparator(at[i])) << i;
        bits.quotes |= static_cast<std::uint64_t>(at[i] == '"') << i;
    }
    return bits;
}
#endif

// The bits of the line's bytes from `chunk` to `end`, at most 64. A shorter piece is copied into
// blanks first, so that nothing past the line is read.
ChunkBits chunkBits(const char* chunk, const char* end)
{
    if (end - chunk >= 64)
        return fullChunkBits(chunk);
    char padded[64];
    std::memset(padded, ' ', sizeof padded);
    std::memcpy(padded, chunk, static_cast<std::size_t>(end - chunk));
    return fullChunkBits(padded);
}

// The set bits of a word in plain integer steps: std::popcount is a library call where the target
// promises no instruction for it.
constexpr int bitCount(std::uint64_t word)
{
    word -= (word >> 1) & 0x5555555555555555u;
    word = (word & 0x3333333333333333u) + ((word >> 2) & 0x3333333333333333u);
    word = (word + (word >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<int>((word * 0x0101010101010101u) >> 56);
}
static_assert(bitCount(0) == 0 && bitCount(~std::uint64_t{0}) == 64 && bitCount(0x8000000000000101u) == 3);

} // namespace

// Most lines hold no quote: they are cut 64 bytes at a time, from one bit per byte that tells a
// separator. Each byte that differs in kind from the byte before it begins a field or ends one,
// alternately, so one step per field and none per byte. A quote sends the line to the
// byte-by-byte cut.
void splitline(char /*separator*/, std::string_view line, FieldList& fields)
{
    fields.m_fields.clear();
    fields.m_unquoted.clear();
    const char* const begin = line.data();
    const char* const end = begin + line.size();
    bool inField = false;
    const char* fieldStart = begin;
    std::uint64_t previousSeparator = 1; // before the line: as after a separator
    for (const char* chunk = begin; chunk < end; chunk += 64) {
        const ChunkBits bits = chunkBits(chunk, end);
        if (bits.quotes != 0) {
            splitlineBytewise(line, fields);
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

namespace {

bool fieldFromBits(std::string_view line, const ChunkBits& bits, std::size_t fromEnd, std::size_t& fieldCount,
                   std::string_view& field)
{
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

} // namespace

bool fieldOfPaddedLine(std::string_view line, std::size_t fromEnd, std::size_t& fieldCount, std::string_view& field)
{
    if (line.size() >= 64)
        return false;
    // The 64 bytes from the line's start are readable; those past its end count as separators.
    ChunkBits bits = fullChunkBits(line.data());
    const std::uint64_t inLine = (std::uint64_t{1} << line.size()) - 1;
    bits.separators |= ~inLine;
    bits.quotes &= inLine;
    return fieldFromBits(line, bits, fromEnd, fieldCount, field);
}

std::vector<std::string> splitline(std::string_view line)
{
    FieldList fields;
    splitline(' ', line, fields);
    return {fields.begin(), fields.end()};
}

} // namespace morvane
