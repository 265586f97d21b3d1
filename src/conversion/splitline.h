#pragma once
// Cutting one line of the raw export into fields.
//
// A run of characters with codes 1 to 32 separates two fields; separators at either end are
// dropped, so an empty column simply vanishes. A field that begins with a double quote runs to
// the next lone double quote; the quotes go, a doubled quote inside stands for one.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// The fields of one line. The views point into the line passed to splitline or into the
// list's own buffer (for quoted fields with doubled quotes), so they stay valid as long as the
// line and the list do, until the next splitline on this list. Reusing one list for many
// lines allocates nothing once its capacity has grown.
class FieldList {
public:
    std::size_t size() const { return m_fields.size(); }
    bool empty() const { return m_fields.empty(); }
    std::string_view operator[](std::size_t i) const { return m_fields[i]; }
    // Position counted from the end, 1 = last field; 0 or past the first field: empty view.
    std::string_view fromEnd(std::size_t position) const
    {
        return position >= 1 && position <= m_fields.size() ? m_fields[m_fields.size() - position] : std::string_view();
    }
    auto begin() const { return m_fields.begin(); }
    auto end() const { return m_fields.end(); }

private:
    friend void splitline(char separator, std::string_view line, FieldList& fields);
    friend void splitlineBytewise(std::string_view line, FieldList& fields);
    std::vector<std::string_view> m_fields;
    std::string m_unquoted;
};

// The separator (space or tab) changes nothing: both are among the separating characters.
void splitline(char separator, std::string_view line, FieldList& fields);

// The same cut one byte at a time: what splitline does with a line that holds a quote, and what
// the tests check its faster cut against.
void splitlineBytewise(std::string_view line, FieldList& fields);

// For a line of fewer than 64 bytes without a double quote (most data lines), the number of fields
// splitline would cut it into and the one at position `fromEnd` (1 = last; empty where there is
// none), without cutting the others; false for any other line. The line must be followed in
// memory by at least 64 readable bytes, as RawText keeps its lines: its first 64 bytes are read
// where they are.
[[nodiscard]] bool fieldOfPaddedLine(std::string_view line, std::size_t fromEnd, std::size_t& fieldCount,
                                     std::string_view& field);

// Convenience for tests and small callers.
std::vector<std::string> splitline(std::string_view line);

} // namespace morvane
