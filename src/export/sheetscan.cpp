#include "export/sheetscan.h"

#include <string>

namespace morvane::xlsx {
namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view local(std::string_view name)
{
    const auto colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

struct Attribute {
    std::string_view name;
    std::string_view value;
    std::size_t start; // of the white space before the name
    std::size_t end;   // after the closing quote
};

struct Tag {
    bool closing = false;
    bool selfClosing = false;
    std::string_view name;
    std::vector<Attribute> attributes;
    std::size_t end = 0; // after '>'
};

// Parses the tag at `pos` (xml[pos] == '<'); false if it runs past the end of the text.
bool parseTag(std::string_view xml, std::size_t pos, Tag& tag)
{
    std::size_t i = pos + 1;
    if (i < xml.size() && xml[i] == '/') {
        tag.closing = true;
        ++i;
    }
    const std::size_t nameStart = i;
    while (i < xml.size() && !isSpace(xml[i]) && xml[i] != '>' && xml[i] != '/')
        ++i;
    tag.name = xml.substr(nameStart, i - nameStart);
    for (;;) {
        const std::size_t spaceStart = i;
        while (i < xml.size() && isSpace(xml[i]))
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
            tag.selfClosing = true;
            ++i;
            continue;
        }
        const std::size_t attributeStart = i;
        while (i < xml.size() && xml[i] != '=' && !isSpace(xml[i]) && xml[i] != '>')
            ++i;
        const std::string_view name = xml.substr(attributeStart, i - attributeStart);
        while (i < xml.size() && isSpace(xml[i]))
            ++i;
        if (i >= xml.size())
            return false;
        if (xml[i] != '=') // not well-formed; let the tag end where it ends
            continue;
        ++i;
        while (i < xml.size() && isSpace(xml[i]))
            ++i;
        if (i >= xml.size())
            return false;
        const char quote = xml[i];
        if (quote != '"' && quote != '\'')
            continue;
        const std::size_t close = xml.find(quote, i + 1);
        if (close == std::string_view::npos)
            return false;
        tag.attributes.push_back({name, xml.substr(i + 1, close - i - 1), spaceStart, close + 1});
        i = close + 1;
    }
}

std::string_view trimmed(std::string_view v)
{
    while (!v.empty() && isSpace(v.front()))
        v.remove_prefix(1);
    while (!v.empty() && isSpace(v.back()))
        v.remove_suffix(1);
    return v;
}

} // namespace

SheetViewScan scanSheetViews(std::string_view xml, bool complete)
{
    SheetViewScan result;
    const auto unfinished = [&] {
        result.state = complete ? SheetViewScan::Done : SheetViewScan::NeedMore;
        return result;
    };
    if (xml.size() >= 2 &&
        (xml[0] == '\0' || xml[1] == '\0' || (xml.substr(0, 2) == "\xFF\xFE") || (xml.substr(0, 2) == "\xFE\xFF"))) {
        result.state = SheetViewScan::Utf16;
        return result;
    }
    bool inViews = false;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t lt = xml.find('<', pos);
        if (lt == std::string_view::npos)
            return unfinished();
        const std::string_view rest = xml.substr(lt);
        const auto skipTo = [&](std::string_view terminator) {
            const std::size_t end = xml.find(terminator, lt);
            if (end == std::string_view::npos)
                return false;
            pos = end + terminator.size();
            return true;
        };
        if (rest.size() < 9 && !complete)
            return unfinished();
        if (rest.substr(0, 4) == "<!--") {
            if (!skipTo("-->"))
                return unfinished();
            continue;
        }
        if (rest.substr(0, 9) == "<![CDATA[") {
            if (!skipTo("]]>"))
                return unfinished();
            continue;
        }
        if (rest.substr(0, 2) == "<?") {
            if (!skipTo("?>"))
                return unfinished();
            continue;
        }
        if (rest.substr(0, 2) == "<!") {
            result.state = SheetViewScan::Doctype;
            return result;
        }
        Tag tag;
        if (!parseTag(xml, lt, tag))
            return unfinished();
        pos = tag.end;
        const std::string_view name = local(tag.name);
        if (!inViews) {
            if (!tag.closing && name == "sheetViews") {
                if (tag.selfClosing)
                    break;
                inViews = true;
            } else if (!tag.closing && name == "sheetData") {
                break; // past the place of <sheetViews>
            }
            continue;
        }
        if (tag.closing && name == "sheetViews")
            break;
        if (tag.closing || name != "sheetView")
            continue;
        const Attribute* selected = nullptr;
        bool viewZero = false;
        for (const Attribute& a : tag.attributes) {
            if (a.name == "workbookViewId")
                viewZero = trimmed(a.value) == "0";
            else if (a.name == "tabSelected" && (trimmed(a.value) == "1" || trimmed(a.value) == "true"))
                selected = &a;
        }
        if (viewZero && selected)
            result.removals.emplace_back(selected->start, selected->end);
    }
    result.state = SheetViewScan::Done;
    return result;
}

} // namespace morvane::xlsx
