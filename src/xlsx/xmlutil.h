#pragma once
// Helpers for the XML parts of a workbook package. pugixml knows nothing of namespaces, so
// elements are matched by the namespace their prefix is bound to, never by a fixed prefix:
// openpyxl binds r: on each <sheet>, the Open XML SDK writes x:workbook.

#include "common/expected.h"

#include <pugixml.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvane::xlsx {

inline constexpr std::string_view kNsMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr std::string_view kNsMainStrict = "http://purl.oclc.org/ooxml/spreadsheetml/main";
inline constexpr std::string_view kNsOfficeRels = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr std::string_view kNsPackageRels = "http://schemas.openxmlformats.org/package/2006/relationships";
inline constexpr std::string_view kNsContentTypes = "http://schemas.openxmlformats.org/package/2006/content-types";
inline constexpr std::string_view kNsMarkupCompatibility =
    "http://schemas.openxmlformats.org/markup-compatibility/2006";

std::string_view localName(pugi::xml_node node);
std::string_view prefixOf(pugi::xml_node node);
// The namespace `prefix` ("" for the default namespace) is bound to at `node`; "" if unbound.
std::string_view namespaceOf(pugi::xml_node node, std::string_view prefix);
std::string_view namespaceOf(pugi::xml_node node);
bool isElement(pugi::xml_node node, std::string_view ns, std::string_view local);
pugi::xml_node firstChild(pugi::xml_node parent, std::string_view ns, std::string_view local);
// An attribute in namespace `ns` (prefixed), such as r:id.
pugi::xml_attribute attributeNs(pugi::xml_node node, std::string_view ns, std::string_view local);
// "prefix:local", or "local" for the empty prefix.
std::string qualified(std::string_view prefix, std::string_view local);
// A prefix bound to `ns` in scope at `node`, if any (the default namespace gives "").
bool findPrefix(pugi::xml_node node, std::string_view ns, std::string& prefix);

// A tree of a part takes about 64 bytes per element, text or attribute: a part of more nodes
// than this is refused before its tree is built (no workbook part of this program's kind comes
// near it; Excel's largest styles hold some hundred thousand).
inline constexpr std::size_t kMaxXmlNodes = 2'000'000;

// Parses a package part for editing: keeps declaration, comments, processing instructions and
// whitespace-only text (pugixml drops <t> </t> by default). Refuses a DOCTYPE and encodings
// other than UTF-8 and UTF-16; the declaration is set to UTF-8, the encoding it is saved in.
// Before the tree is built the part is scanned: elements nested deeper than kMaxXmlDepth are
// refused where the scan meets them, more than kMaxXmlNodes nodes as soon as they are counted.
Status parsePart(pugi::xml_document& doc, const std::string& bytes, std::string_view what);
std::string serialize(const pugi::xml_document& doc);
std::string serialize(pugi::xml_node node);

// "_xHHHH_" is how SpreadsheetML stores a UTF-16 unit; a literal "_xHHHH_" in text must then
// be written "_x005F_xHHHH_".
std::string decodeEscapedUnits(std::string_view text);
// For text that may hold any character: a literal "_xHHHH_" is escaped, CR and the characters
// XML 1.0 cannot hold are written as _xHHHH_. Expects valid UTF-8.
std::string encodeEscapedUnits(std::string_view text);
// True if the text needs xml:space="preserve" (white space first or last).
bool needsSpacePreserve(std::string_view text);

bool attributeIsTrue(pugi::xml_attribute attribute);

// Ids and tab positions are unsignedInt in the file format. Opening refuses any that is not,
// and the edit computes in 64 bits: one more than the largest still fits.
inline constexpr std::uint64_t kMaxUnsignedInt = 0xFFFFFFFFu;
// The value of an unsignedInt attribute (XML white space around it allowed); nullopt for
// anything else.
std::optional<std::uint32_t> toUnsignedInt(std::string_view text);

// The value of a hexadecimal digit, or -1.
int hexValue(char c);

} // namespace morvane::xlsx
