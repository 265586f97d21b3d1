#include "xlsx/xmlutil.h"

#include "common/text.h"
#include "xlsx/xmltokens.h"

#include <cstring>

namespace morvane::xlsx {

std::string_view localName(pugi::xml_node node)
{
    std::string_view name = node.name();
    const auto colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string_view prefixOf(pugi::xml_node node)
{
    std::string_view name = node.name();
    const auto colon = name.find(':');
    return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
}

std::string_view namespaceOf(pugi::xml_node node, std::string_view prefix)
{
    const std::string attribute = prefix.empty() ? std::string("xmlns") : "xmlns:" + std::string(prefix);
    for (pugi::xml_node n = node; n && n.type() == pugi::node_element; n = n.parent())
        if (pugi::xml_attribute a = n.attribute(attribute.c_str()))
            return a.value();
    return {};
}

std::string_view namespaceOf(pugi::xml_node node)
{
    return namespaceOf(node, prefixOf(node));
}

bool isElement(pugi::xml_node node, std::string_view ns, std::string_view local)
{
    return node.type() == pugi::node_element && localName(node) == local && namespaceOf(node) == ns;
}

pugi::xml_node firstChild(pugi::xml_node parent, std::string_view ns, std::string_view local)
{
    for (pugi::xml_node child : parent.children())
        if (isElement(child, ns, local))
            return child;
    return {};
}

pugi::xml_attribute attributeNs(pugi::xml_node node, std::string_view ns, std::string_view local)
{
    for (pugi::xml_attribute a : node.attributes()) {
        std::string_view name = a.name();
        const auto colon = name.find(':');
        if (colon == std::string_view::npos || name.substr(colon + 1) != local)
            continue;
        const std::string_view prefix = name.substr(0, colon);
        if (prefix != "xmlns" && namespaceOf(node, prefix) == ns)
            return a;
    }
    return {};
}

std::string qualified(std::string_view prefix, std::string_view local)
{
    return prefix.empty() ? std::string(local) : std::string(prefix) + ":" + std::string(local);
}

bool findPrefix(pugi::xml_node node, std::string_view ns, std::string& prefix)
{
    for (pugi::xml_node n = node; n && n.type() == pugi::node_element; n = n.parent()) {
        for (pugi::xml_attribute a : n.attributes()) {
            std::string_view name = a.name();
            if (a.value() != ns)
                continue;
            std::string candidate;
            if (name == "xmlns")
                candidate.clear();
            else if (name.substr(0, 6) == "xmlns:")
                candidate = std::string(name.substr(6));
            else
                continue;
            // The binding counts only if no nearer element rebinds that prefix.
            if (namespaceOf(node, candidate) == ns) {
                prefix = candidate;
                return true;
            }
        }
    }
    return false;
}

namespace {
struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};
} // namespace

namespace {

// UTF-16 (told by its byte-order mark, or by a '<' as its first unit) as UTF-8, so that one
// scan serves both; an unpaired surrogate becomes U+FFFD. Nothing for any other text.
std::optional<std::string> utf16AsUtf8(std::string_view bytes)
{
    bool little = true;
    std::size_t at = 0;
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        little = bytes[0] == '\xFF';
        at = 2;
    } else if (bytes.size() >= 2 && (bytes[0] == '\0') != (bytes[1] == '\0')) {
        little = bytes[1] == '\0';
    } else {
        return std::nullopt;
    }
    const auto unitAt = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char32_t>(little ? a | (b << 8) : (a << 8) | b);
    };
    std::string out;
    out.reserve(bytes.size() / 2 * 3 / 2);
    for (; at + 1 < bytes.size(); at += 2) {
        char32_t cp = unitAt(at);
        if (cp >= 0xD800 && cp <= 0xDBFF && at + 3 < bytes.size() && unitAt(at + 2) >= 0xDC00 &&
            unitAt(at + 2) <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (unitAt(at + 2) - 0xDC00);
            at += 2;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        appendUtf8(out, cp);
    }
    return out;
}

bool keepNoAttribute(std::string_view)
{
    return false;
}

// The nodes a tree of the part would have, counted without building it; a part nested too deep
// or of too many nodes is refused where the count passes the limit. Whatever is not well-formed
// is left to the parser to name.
Status checkShape(std::string_view xml, std::string_view what)
{
    XmlScanner scanner(xml, 0, keepNoAttribute);
    std::size_t depth = 0;
    std::size_t nodes = 0;
    for (;;) {
        const XmlToken& token = scanner.next();
        if (token.kind == XmlToken::End || token.kind == XmlToken::Incomplete || token.kind == XmlToken::Declaration)
            return success();
        nodes += 1 + token.attributeCount;
        if (nodes > kMaxXmlNodes)
            return Error{"part " + quoteForMessage(what) + " holds more than " + std::to_string(kMaxXmlNodes) +
                         " XML nodes, more than this program reads"};
        if (token.kind == XmlToken::StartTag && ++depth > kMaxXmlDepth)
            return Error{tooDeepMessage(what)};
        if (token.kind == XmlToken::EndTag && depth > 0)
            --depth;
    }
}

} // namespace

Status parsePart(pugi::xml_document& doc, const std::string& bytes, std::string_view what)
{
    const std::optional<std::string> utf16 = utf16AsUtf8(bytes);
    const std::string_view xml = utf16 ? std::string_view(*utf16) : std::string_view(bytes);
    if (auto shape = checkShape(xml, what); !shape)
        return shape;
    const unsigned flags = pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata |
                           pugi::parse_comments | pugi::parse_pi | pugi::parse_doctype;
    const pugi::xml_parse_result result = doc.load_buffer(xml.data(), xml.size(), flags, pugi::encoding_utf8);
    if (!result)
        return Error{"part " + quoteForMessage(what) + " is not well-formed XML (" + result.description() +
                     " at byte " + std::to_string(result.offset) + ")"};
    for (pugi::xml_node node : doc.children()) {
        if (node.type() == pugi::node_doctype)
            return Error{"part " + quoteForMessage(what) +
                         " holds a document type declaration (DOCTYPE), which a workbook must not contain"};
        if (node.type() == pugi::node_declaration) {
            pugi::xml_attribute encoding = node.attribute("encoding");
            if (encoding) {
                const std::string_view name = encoding.value();
                if (!equalsIgnoringAsciiCase(name, "UTF-8") && !equalsIgnoringAsciiCase(name, "UTF-16"))
                    return Error{"part " + quoteForMessage(what) + " is encoded as " + cutForMessage(name) +
                                 "; a workbook part must be UTF-8 or UTF-16"};
                encoding.set_value("UTF-8");
            }
        }
    }
    if (!doc.document_element())
        return Error{"part " + quoteForMessage(what) + " holds no XML element"};
    return success();
}

std::string serialize(const pugi::xml_document& doc)
{
    StringWriter writer;
    doc.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return std::move(writer.out);
}

std::string serialize(pugi::xml_node node)
{
    StringWriter writer;
    node.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
    return std::move(writer.out);
}

int hexValue(char c)
{
    if (isAsciiDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

namespace {

// The UTF-16 unit of an "_xHHHH_" starting at `pos`, or -1.
long escapedUnitAt(std::string_view text, std::size_t pos)
{
    if (pos + 7 > text.size() || text[pos] != '_' || text[pos + 1] != 'x' || text[pos + 6] != '_')
        return -1;
    long unit = 0;
    for (std::size_t i = pos + 2; i < pos + 6; ++i) {
        const int h = hexValue(text[i]);
        if (h < 0)
            return -1;
        unit = unit * 16 + h;
    }
    return unit;
}

void appendEscapedUnit(std::string& out, unsigned unit)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    out += "_x";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += digits[(unit >> shift) & 0xF];
    out += '_';
}
} // namespace

std::string decodeEscapedUnits(std::string_view text)
{
    if (text.find("_x") == std::string_view::npos)
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const long unit = escapedUnitAt(text, pos);
        if (unit < 0) {
            out += text[pos++];
            continue;
        }
        pos += 7;
        char32_t cp = static_cast<char32_t>(unit);
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            const long low = escapedUnitAt(text, pos);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (static_cast<char32_t>(low) - 0xDC00);
                pos += 7;
            } else {
                cp = 0xFFFD;
            }
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            cp = 0xFFFD;
        }
        appendUtf8(out, cp);
    }
    return out;
}

std::string encodeEscapedUnits(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        const auto c = static_cast<unsigned char>(text[pos]);
        if (c == '_' && escapedUnitAt(text, pos) >= 0) {
            out += "_x005F_"; // stands for the '_' itself
            continue;
        }
        if (c < 0x20 && c != '\t' && c != '\n') {
            appendEscapedUnit(out, c); // includes CR, which reading the XML would turn into LF
            continue;
        }
        if (c == 0xEF && pos + 2 < text.size() && static_cast<unsigned char>(text[pos + 1]) == 0xBF) {
            const auto last = static_cast<unsigned char>(text[pos + 2]);
            if (last == 0xBE || last == 0xBF) { // U+FFFE, U+FFFF
                appendEscapedUnit(out, last == 0xBE ? 0xFFFEu : 0xFFFFu);
                pos += 2;
                continue;
            }
        }
        out += static_cast<char>(c);
    }
    return out;
}

bool needsSpacePreserve(std::string_view text)
{
    if (text.empty())
        return false;
    const auto white = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    return white(text.front()) || white(text.back());
}

std::optional<std::uint32_t> toUnsignedInt(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return parseWholeNumber<std::uint32_t>(text, PlusSign::Refused);
}

bool attributeIsTrue(pugi::xml_attribute attribute)
{
    const std::string_view v = attribute.value();
    return v == "1" || v == "true";
}

} // namespace morvane::xlsx
