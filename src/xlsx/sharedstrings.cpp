#include "xlsx/sharedstrings.h"

#include "common/text.h"
#include "xlsx/xmltokens.h"
#include "xlsx/xmlutil.h"

#include <algorithm>
#include <charconv>
#include <functional>

namespace morvane::xlsx {

namespace {

// Namespace declarations in scope, innermost last.
class Bindings {
public:
    void enter(const XmlToken& tag, std::size_t depth)
    {
        for (const XmlAttribute& a : tag.attributes) {
            if (a.name == "xmlns")
                bind({}, a.value, depth);
            else if (a.name.starts_with("xmlns:"))
                bind(a.name.substr(6), a.value, depth);
        }
    }
    void bind(std::string_view prefix, std::string_view uri, std::size_t depth)
    {
        m_list.push_back({depth, prefix, uri});
    }
    void leave(std::size_t depth)
    {
        while (!m_list.empty() && m_list.back().depth >= depth)
            m_list.pop_back();
    }
    bool isMain(std::string_view name, std::string_view local) const
    {
        if (localPart(name) != local)
            return false;
        const std::string_view prefix = prefixPart(name);
        for (auto it = m_list.rbegin(); it != m_list.rend(); ++it)
            if (it->prefix == prefix)
                return it->uri == kNsMain;
        return false;
    }

private:
    struct Binding {
        std::size_t depth;
        std::string_view prefix, uri;
    };
    std::vector<Binding> m_list;
};

std::uint64_t hashOf(std::string_view text)
{
    return std::hash<std::string_view>{}(text);
}

struct ScanError {
    const char* what; // nullptr: nested too deep
    std::size_t at;
};

// What the reading needs of the attributes: the namespaces and the root's two counts.
bool keptAttribute(std::string_view name)
{
    return name.starts_with("xmlns") || name == "count" || name == "uniqueCount";
}

// Reads an <si> from just after its start tag to just after its end tag. `text` becomes what
// the si holds when that is one <t> with nothing but character data in it; else nullopt.
std::optional<ScanError> readSi(XmlScanner& scanner, Bindings& bindings, std::vector<std::string_view>& open,
                                std::optional<std::string>& text)
{
    const std::size_t siDepth = open.size();
    int children = 0;
    bool inT = false;
    text.emplace();
    for (;;) {
        const XmlToken& token = scanner.next();
        if (token.malformed)
            return ScanError{"a malformed tag", token.begin};
        const std::size_t depth = open.size(); // elements open around this token
        switch (token.kind) {
        case XmlToken::End:
        case XmlToken::Incomplete:
            return ScanError{"the element <si> does not end", token.begin};
        case XmlToken::Declaration:
            return ScanError{"a declaration inside an element", token.begin};
        case XmlToken::Text:
        case XmlToken::CData:
            if (inT && depth == siDepth + 1 && text) {
                std::string_view data = scanner.text(token);
                if (token.kind == XmlToken::CData)
                    data = data.substr(9, data.size() - 12); // inside <![CDATA[ ]]>
                if (!appendDecoded(*text, data, token.kind == XmlToken::Text))
                    text.reset();
            }
            break;
        case XmlToken::Comment:
        case XmlToken::Instruction:
            if (inT)
                text.reset();
            break;
        case XmlToken::StartTag:
        case XmlToken::EmptyTag:
            bindings.enter(token, depth);
            if (depth == siDepth) {
                // Only a lone <t> makes a plain string; rich text runs and phonetics do not.
                if (++children > 1 || !bindings.isMain(token.name, "t"))
                    text.reset();
                inT = token.kind == XmlToken::StartTag && children == 1;
            } else if (inT) {
                text.reset();
            }
            if (token.kind == XmlToken::StartTag) {
                if (open.size() >= kMaxXmlDepth)
                    return ScanError{nullptr, token.begin};
                open.push_back(token.name);
            } else {
                bindings.leave(depth);
            }
            break;
        case XmlToken::EndTag:
            if (token.name != open.back())
                return ScanError{"an end tag that does not match its start tag", token.begin};
            open.pop_back();
            bindings.leave(open.size());
            if (open.size() == siDepth)
                inT = false;
            if (open.size() < siDepth) {
                if (children != 1)
                    text.reset();
                return std::nullopt;
            }
            break;
        }
    }
}

// The value of a pseudo-attribute of the XML declaration.
std::optional<std::string_view> declared(std::string_view declaration, std::string_view name)
{
    std::size_t at = 0;
    while ((at = declaration.find(name, at)) != std::string_view::npos) {
        std::size_t i = at + name.size();
        at = i;
        while (i < declaration.size() && isXmlSpace(declaration[i]))
            ++i;
        if (i >= declaration.size() || declaration[i] != '=')
            continue;
        ++i;
        while (i < declaration.size() && isXmlSpace(declaration[i]))
            ++i;
        if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\''))
            continue;
        const std::size_t close = declaration.find(declaration[i], i + 1);
        if (close != std::string_view::npos)
            return declaration.substr(i + 1, close - i - 1);
    }
    return std::nullopt;
}

bool onlySpace(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), isXmlSpace);
}

Error notWellFormedError(const std::string& part, ScanError error)
{
    if (!error.what)
        return Error{tooDeepMessage(part)};
    return Error{"part '" + part + "' is not well-formed XML (" + error.what + " at byte " + std::to_string(error.at) +
                 ")"};
}

// Up to the root element: white space, comments and a UTF-8 declaration only. The root's
// token, which the scanner's next step overwrites.
Expected<const XmlToken*> readProlog(XmlScanner& scanner, const std::string& part)
{
    const auto notWellFormed = [&](ScanError error) { return notWellFormedError(part, error); };
    const XmlToken* root = nullptr;
    while (!root) {
        const XmlToken& token = scanner.next();
        switch (token.kind) {
        case XmlToken::Text:
            if (!onlySpace(scanner.text(token)))
                return notWellFormed({"text before the root element", token.begin});
            break;
        case XmlToken::Comment:
            break;
        case XmlToken::Instruction:
            if (token.name == "xml")
                if (const auto encoding = declared(scanner.text(token), "encoding");
                    encoding && !equalsIgnoringAsciiCase(*encoding, "UTF-8"))
                    return Error{"part '" + part + "' is encoded as " + std::string(encoding->substr(0, 40)) +
                                 "; this program edits it only in UTF-8"};
            break;
        case XmlToken::Declaration:
            return Error{"part '" + part +
                         "' holds a document type declaration (DOCTYPE), which a workbook must not contain"};
        case XmlToken::StartTag:
        case XmlToken::EmptyTag:
            if (token.malformed)
                return notWellFormed({"a malformed tag", token.begin});
            root = &token;
            break;
        default:
            return notWellFormed({"no root element", token.begin});
        }
    }
    return root;
}

// After the root element: white space, comments and processing instructions only.
Status checkEpilog(XmlScanner& scanner, const std::string& part)
{
    for (;;) {
        const XmlToken& token = scanner.next();
        if (token.kind == XmlToken::End)
            return success();
        if ((token.kind != XmlToken::Text || !onlySpace(scanner.text(token))) && token.kind != XmlToken::Comment &&
            token.kind != XmlToken::Instruction)
            return notWellFormedError(part, {"content after the root element", token.begin});
    }
}

} // namespace

Expected<SharedStrings> SharedStrings::read(std::string xml, std::string_view partName)
{
    const std::string part(partName);
    const auto notWellFormed = [&](ScanError error) { return notWellFormedError(part, error); };
    if (xml.size() >= 2 &&
        (xml[0] == '\0' || xml[1] == '\0' || xml.starts_with("\xFF\xFE") || xml.starts_with("\xFE\xFF")))
        return Error{"part '" + part + "' is stored as UTF-16, which this program does not edit"};
    if (static_cast<std::uint64_t>(xml.size()) > kMaxUnsignedInt)
        return Error{"part '" + part + "' is larger than 4 GB, more than this program reads"};

    SharedStrings s;
    s.m_xml = std::move(xml);
    const std::string_view text = s.m_xml;
    XmlScanner scanner(text, text.starts_with("\xEF\xBB\xBF") ? 3 : 0, keptAttribute);
    Bindings bindings;

    // The prolog, then the root.
    auto rootToken = readProlog(scanner, part);
    if (!rootToken)
        return rootToken.error();
    const XmlToken* root = *rootToken;
    bindings.enter(*root, 0);
    if (!bindings.isMain(root->name, "sst"))
        return Error{"part '" + part + "' holds no shared strings"};
    s.m_prefix = std::string(prefixPart(root->name));
    s.m_rootNameEnd = root->begin + 1 + root->name.size();
    for (const XmlAttribute& a : root->attributes) {
        if (a.name == "xmlns" || a.name.starts_with("xmlns:"))
            s.m_rootBindings.emplace_back(a.name == "xmlns" ? "" : a.name.substr(6), a.value);
        const Range value{static_cast<std::size_t>(a.value.data() - text.data()),
                          static_cast<std::size_t>(a.value.data() - text.data()) + a.value.size()};
        if (a.name == "count")
            s.m_countValue = value;
        else if (a.name == "uniqueCount")
            s.m_uniqueCountValue = value;
    }

    std::vector<std::string_view> open;
    if (root->kind == XmlToken::EmptyTag) {
        s.m_emptyRoot = true;
        s.m_insertAt = root->end - 2;
    } else {
        open.push_back(root->name);
        std::optional<std::string> plain;
        while (!open.empty()) {
            const XmlToken& token = scanner.next();
            if (token.malformed)
                return notWellFormed({"a malformed tag", token.begin});
            switch (token.kind) {
            case XmlToken::End:
            case XmlToken::Incomplete:
                return notWellFormed({"the root element does not end", token.begin});
            case XmlToken::Declaration:
                return notWellFormed({"a declaration inside an element", token.begin});
            case XmlToken::StartTag:
            case XmlToken::EmptyTag: {
                const std::size_t depth = open.size();
                const std::size_t begin = token.begin;
                bindings.enter(token, depth);
                const bool si = depth == 1 && bindings.isMain(token.name, "si");
                if (token.kind == XmlToken::EmptyTag) {
                    bindings.leave(depth);
                    s.m_count += si;
                    break;
                }
                if (open.size() >= kMaxXmlDepth)
                    return notWellFormed({nullptr, token.begin});
                open.push_back(token.name);
                if (!si)
                    break;
                if (const auto error = readSi(scanner, bindings, open, plain))
                    return notWellFormed(*error);
                if (plain)
                    s.m_plain.push_back(
                        {hashOf(*plain), static_cast<std::uint32_t>(s.m_count), static_cast<std::uint32_t>(begin)});
                ++s.m_count;
                break;
            }
            case XmlToken::EndTag:
                if (token.name != open.back())
                    return notWellFormed({"an end tag that does not match its start tag", token.begin});
                open.pop_back();
                bindings.leave(open.size());
                if (open.empty())
                    s.m_insertAt = token.begin;
                break;
            default:
                break;
            }
        }
    }
    if (auto status = checkEpilog(scanner, part); !status)
        return status.error();
    std::sort(s.m_plain.begin(), s.m_plain.end(),
              [](const Plain& a, const Plain& b) { return a.hash != b.hash ? a.hash < b.hash : a.index < b.index; });
    return s;
}

std::optional<std::string> SharedStrings::plainText(std::size_t siOffset) const
{
    // The <si> was read whole once, so this cannot fail.
    Bindings bindings;
    for (const auto& [prefix, uri] : m_rootBindings)
        bindings.bind(prefix, uri, 0);
    XmlScanner scanner(m_xml, siOffset, keptAttribute);
    const XmlToken& si = scanner.next();
    bindings.enter(si, 1);
    std::vector<std::string_view> open{"", si.name};
    std::optional<std::string> text;
    if (readSi(scanner, bindings, open, text))
        return std::nullopt;
    return text;
}

std::size_t SharedStrings::use(const std::string& stored)
{
    ++m_references;
    if (const auto it = m_used.find(stored); it != m_used.end())
        return it->second;
    const std::uint64_t hash = hashOf(stored);
    auto candidate = std::lower_bound(m_plain.begin(), m_plain.end(), hash,
                                      [](const Plain& p, std::uint64_t h) { return p.hash < h; });
    std::optional<std::size_t> index;
    for (; !index && candidate != m_plain.end() && candidate->hash == hash; ++candidate)
        if (plainText(candidate->offset) == stored)
            index = candidate->index;
    if (!index) {
        index = m_count++;
        // The tags around an item, made at the first.
        if (m_itemOpen.empty()) {
            m_itemOpen = "<" + qualified(m_prefix, "si") + "><" + qualified(m_prefix, "t");
            m_itemClose = "</" + qualified(m_prefix, "t") + "></" + qualified(m_prefix, "si") + ">";
        }
        m_added += m_itemOpen;
        if (needsSpacePreserve(stored))
            m_added += " xml:space=\"preserve\"";
        m_added += '>';
        appendXmlEscaped(m_added, stored);
        m_added += m_itemClose;
    }
    m_used.emplace(stored, *index);
    return *index;
}

std::string SharedStrings::finish()
{
    // From the back, so that the positions before each change stay valid.
    if (m_emptyRoot)
        m_xml.replace(m_insertAt, 2, ">" + m_added + "</" + qualified(m_prefix, "sst") + ">");
    else
        m_xml.insert(m_insertAt, m_added);
    struct Change {
        std::size_t at, length;
        std::string text;
    };
    std::vector<Change> changes;
    const std::string unique = std::to_string(m_count);
    if (m_uniqueCountValue)
        changes.push_back({m_uniqueCountValue->begin, m_uniqueCountValue->end - m_uniqueCountValue->begin, unique});
    else
        changes.push_back({m_rootNameEnd, 0, " uniqueCount=\"" + unique + "\""});
    if (m_countValue) {
        const std::string_view before(m_xml.data() + m_countValue->begin, m_countValue->end - m_countValue->begin);
        const std::uint64_t count =
            std::min<std::uint64_t>(toUnsignedInt(before).value_or(0) + m_references, kMaxUnsignedInt);
        changes.push_back({m_countValue->begin, m_countValue->end - m_countValue->begin, std::to_string(count)});
    }
    std::sort(changes.begin(), changes.end(), [](const Change& a, const Change& b) { return a.at > b.at; });
    for (const Change& c : changes)
        m_xml.replace(c.at, c.length, c.text);
    m_added.clear();
    m_plain.clear();
    m_used.clear();
    return std::move(m_xml);
}

} // namespace morvane::xlsx
