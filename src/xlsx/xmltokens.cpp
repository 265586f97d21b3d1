#include "xlsx/xmltokens.h"

#include "common/text.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace morvane::xlsx {

std::string tooDeepMessage(std::string_view part)
{
    return "part " + quoteForMessage(part) + " nests elements more than " + std::to_string(kMaxXmlDepth) +
           " deep, more than this program reads";
}

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view localPart(std::string_view name)
{
    const auto colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string_view prefixPart(std::string_view name)
{
    const auto colon = name.find(':');
    return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
}

// The tag at `pos`; false if it runs past the end of the text.
bool XmlScanner::parseTag(std::size_t pos)
{
    const std::string_view xml = m_xml;
    XmlToken& tag = m_token;
    std::size_t i = pos + 1;
    tag.kind = XmlToken::StartTag;
    if (i < xml.size() && xml[i] == '/') {
        tag.kind = XmlToken::EndTag;
        ++i;
    }
    const std::size_t nameStart = i;
    while (i < xml.size() && !isXmlSpace(xml[i]) && xml[i] != '>' && xml[i] != '/')
        ++i;
    tag.name = xml.substr(nameStart, i - nameStart);
    tag.malformed = tag.name.empty();
    for (;;) {
        const std::size_t spaceStart = i;
        while (i < xml.size() && isXmlSpace(xml[i]))
            ++i;
        if (i >= xml.size())
            return false;
        if (xml[i] == '>') {
            tag.end = i + 1;
            return true;
        }
        if (xml[i] == '/') {
            if (i + 1 >= xml.size())
                return false;
            if (xml[i + 1] == '>' && tag.kind == XmlToken::StartTag)
                tag.kind = XmlToken::EmptyTag;
            else
                tag.malformed = true;
            ++i;
            continue;
        }
        if (tag.kind == XmlToken::EndTag)
            tag.malformed = true;
        const std::size_t attributeStart = i;
        while (i < xml.size() && xml[i] != '=' && !isXmlSpace(xml[i]) && xml[i] != '>')
            ++i;
        const std::string_view name = xml.substr(attributeStart, i - attributeStart);
        while (i < xml.size() && isXmlSpace(xml[i]))
            ++i;
        if (i >= xml.size())
            return false;
        if (xml[i] != '=') { // the tag still ends where it ends
            tag.malformed = true;
            continue;
        }
        ++i;
        while (i < xml.size() && isXmlSpace(xml[i]))
            ++i;
        if (i >= xml.size())
            return false;
        const char quote = xml[i];
        if (quote != '"' && quote != '\'') {
            tag.malformed = true;
            continue;
        }
        const std::size_t close = xml.find(quote, i + 1);
        if (close == std::string_view::npos)
            return false;
        if (name.empty() || spaceStart == attributeStart)
            tag.malformed = true;
        ++tag.attributeCount;
        if (!m_keep || m_keep(name))
            tag.attributes.push_back({name, xml.substr(i + 1, close - i - 1), spaceStart, close + 1});
        i = close + 1;
    }
}

const XmlToken& XmlScanner::next()
{
    XmlToken& token = m_token;
    token.attributes.clear();
    token.attributeCount = 0;
    token.name = {};
    token.malformed = false;
    token.begin = m_pos;
    const auto finish = [&](XmlToken::Kind kind, std::size_t end) -> const XmlToken& {
        token.kind = kind;
        token.end = end;
        m_pos = end;
        return token;
    };
    const auto incomplete = [&]() -> const XmlToken& {
        token.kind = XmlToken::Incomplete;
        token.end = m_xml.size();
        return token;
    };
    if (m_pos >= m_xml.size())
        return finish(XmlToken::End, m_pos);
    if (m_xml[m_pos] != '<') {
        const std::size_t lt = m_xml.find('<', m_pos);
        return finish(XmlToken::Text, lt == std::string_view::npos ? m_xml.size() : lt);
    }
    const std::string_view rest = m_xml.substr(m_pos);
    const auto until = [&](XmlToken::Kind kind, std::string_view terminator, std::size_t from) -> const XmlToken& {
        const std::size_t at = m_xml.find(terminator, m_pos + from);
        return at == std::string_view::npos ? incomplete() : finish(kind, at + terminator.size());
    };
    static constexpr std::string_view comment = "<!--", cdata = "<![CDATA[";
    if (rest.starts_with(comment))
        return until(XmlToken::Comment, "-->", comment.size());
    if (rest.starts_with(cdata))
        return until(XmlToken::CData, "]]>", cdata.size());
    if (rest.starts_with("<?")) {
        std::size_t nameEnd = m_pos + 2;
        while (nameEnd < m_xml.size() && !isXmlSpace(m_xml[nameEnd]) && m_xml[nameEnd] != '?')
            ++nameEnd;
        token.name = m_xml.substr(m_pos + 2, nameEnd - m_pos - 2);
        return until(XmlToken::Instruction, "?>", 2);
    }
    if (rest.starts_with("<!")) {
        if (comment.starts_with(rest) || cdata.starts_with(rest)) // cut off by the end of the text
            return incomplete();
        // Refused by every caller, so one that does not end still counts as one.
        const std::size_t gt = m_xml.find('>', m_pos);
        return finish(XmlToken::Declaration, gt == std::string_view::npos ? m_xml.size() : gt + 1);
    }
    if (rest.size() < 2 || !parseTag(m_pos))
        return incomplete();
    m_pos = token.end;
    return token;
}

void appendXmlEscaped(std::string& out, std::string_view text)
{
    std::size_t plain = 0;
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        const char c = text[pos];
        const char* entity = c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '"' ? "&quot;" : nullptr;
        if (!entity)
            continue;
        out.append(text.substr(plain, pos - plain));
        out += entity;
        plain = pos + 1;
    }
    out.append(text.substr(plain));
}

bool appendDecoded(std::string& out, std::string_view text, bool entities)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            continue;
        }
        if (c != '&' || !entities) {
            out += c;
            continue;
        }
        const std::size_t semicolon = text.find(';', i);
        if (semicolon == std::string_view::npos)
            return false;
        const std::string_view name = text.substr(i + 1, semicolon - i - 1);
        i = semicolon;
        static constexpr std::pair<std::string_view, char> named[] = {
            {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
        const auto known =
            std::find_if(std::begin(named), std::end(named), [&](const auto& n) { return n.first == name; });
        if (known != std::end(named)) {
            out += known->second;
            continue;
        }
        std::optional<std::uint32_t> cp;
        if (name.starts_with("#x")) {
            std::uint32_t value = 0;
            const auto [ptr, ec] = std::from_chars(name.data() + 2, name.data() + name.size(), value, 16);
            if (ec == std::errc() && ptr == name.data() + name.size() && name.size() > 2)
                cp = value;
        } else if (name.starts_with("#")) {
            cp = parseWholeNumber<std::uint32_t>(name.substr(1), PlusSign::Refused);
        }
        if (!cp || *cp == 0 || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF))
            return false;
        appendUtf8(out, *cp);
    }
    return true;
}

} // namespace morvane::xlsx
