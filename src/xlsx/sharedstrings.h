#pragma once
// The shared strings part kept as its text, not as a tree: a tree of a part of millions of
// short strings takes ten times the part's size. The edit only appends strings and changes the
// two counts, so the text is scanned once when read, and new strings go in before its end.

#include "common/expected.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace morvane::xlsx {

class SharedStrings {
public:
    SharedStrings() = default;
    // Refuses a part that is not a well-formed table of shared strings in UTF-8, or one with a
    // DOCTYPE. Errors name the part.
    static Expected<SharedStrings> read(std::string xml, std::string_view partName);

    // <si> elements, those added included.
    std::size_t count() const { return m_count; }
    // The index of a string that is this text alone (in its stored, _xHHHH_-escaped form), the
    // workbook's own or one added, else of a new one. Counts one reference to it.
    std::size_t use(const std::string& stored);
    bool changed() const { return m_references > 0; }
    // The part with the new strings and both counts. The object is spent afterwards.
    std::string finish();

private:
    std::optional<std::string> plainText(std::size_t siOffset) const;

    std::string m_xml;
    std::string m_prefix;          // of the root, for the elements added
    std::size_t m_rootNameEnd = 0; // after the root's name in its start tag
    std::size_t m_insertAt = 0;    // the root's end tag, or the "/>" of an empty root
    bool m_emptyRoot = false;
    struct Range {
        std::size_t begin, end;
    };
    std::optional<Range> m_countValue, m_uniqueCountValue;
    std::vector<std::pair<std::string, std::string>> m_rootBindings; // prefix, namespace

    std::size_t m_count = 0;
    // Each <si> holding just a text, by the hash of that text; checked against the text itself.
    struct Plain {
        std::uint64_t hash;
        std::uint32_t index;
        std::uint32_t offset; // of the <si>
    };
    std::vector<Plain> m_plain;
    std::unordered_map<std::string, std::size_t> m_used; // texts this edit looked up or added
    std::string m_added;
    std::string m_itemOpen, m_itemClose; // "<si><t" and "</t></si>", with the root's prefix
    std::uint64_t m_references = 0;
};

} // namespace morvane::xlsx
