#pragma once
// XML cut into tokens without a tree, for the parts that are too large to parse into one or
// that must stay byte for byte as they are: a sheet whose selection is cleared, the shared
// strings. Positions are byte offsets into the text, so a caller can cut or insert there.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace morvane::xlsx {

struct XmlAttribute {
    std::string_view name;
    std::string_view value; // as written: entities not decoded
    std::size_t start;      // of the white space before the name
    std::size_t end;        // after the closing quote
};

struct XmlToken {
    enum Kind {
        End,         // no more text
        Incomplete,  // the text ends inside the token
        Text,        // character data up to the next '<'
        StartTag,    // <name ...>
        EmptyTag,    // <name .../>
        EndTag,      // </name>
        Comment,     // <!-- -->
        CData,       // <![CDATA[ ]]>
        Instruction, // <? ?>, the XML declaration included
        Declaration, // any other <! ...>, such as a DOCTYPE (up to the end of the text if unended)
    } kind = End;
    std::size_t begin = 0;
    std::size_t end = 0;                  // after the token
    std::string_view name;                // of a tag, or the target of an instruction
    std::vector<XmlAttribute> attributes; // of a tag: those the scanner keeps
    std::size_t attributeCount = 0;       // of a tag, kept or not
    // A tag that is not well-formed: an attribute without '=' or without quotes. Its end is
    // still the first '>' outside quotes.
    bool malformed = false;
};

// Which attributes a tag's token keeps, by name. A reader keeps those it reads: a tag of millions
// of attributes then costs no memory.
using AttributeFilter = bool (*)(std::string_view name);

class XmlScanner {
public:
    explicit XmlScanner(std::string_view xml, std::size_t pos = 0, AttributeFilter keep = nullptr)
        : m_xml(xml), m_pos(pos), m_keep(keep)
    {
    }
    // The token at the current position, which moves past it (not past an Incomplete one). The
    // token is overwritten by the next call.
    const XmlToken& next();
    std::size_t position() const { return m_pos; }
    std::string_view text(const XmlToken& token) const { return m_xml.substr(token.begin, token.end - token.begin); }

private:
    bool parseTag(std::size_t pos);
    std::string_view m_xml;
    std::size_t m_pos;
    AttributeFilter m_keep; // none: every attribute
    XmlToken m_token;
};

// Elements nested deeper than this are refused as soon as they are met: no part of a workbook
// comes near it, and every level costs a reader memory (and a tree, time on each lookup).
inline constexpr std::size_t kMaxXmlDepth = 256;
std::string tooDeepMessage(std::string_view part);

bool isXmlSpace(char c);
// The part of a qualified name after the colon.
std::string_view localPart(std::string_view name);
std::string_view prefixPart(std::string_view name);

// Appends `text` as XML character data or an attribute value in double quotes: the five
// characters XML gives a meaning are written as entities (the apostrophe is left as it is).
void appendXmlEscaped(std::string& out, std::string_view text);

// Appends character data with its entities decoded (`entities`) and its line ends made LF, as
// a parser gives it; false for an entity XML does not define.
bool appendDecoded(std::string& out, std::string_view text, bool entities);

} // namespace morvane::xlsx
