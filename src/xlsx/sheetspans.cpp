#include "xlsx/sheetspans.h"

#include "xlsx/xmltokens.h"

#include <algorithm>

namespace morvane::xlsx {

namespace {

// A formula longer than this (Excel's limit is 8,192 characters) is not one Excel wrote: it is
// passed over rather than held.
constexpr std::size_t kMaxFormulaBytes = std::size_t{1} << 20;

// Characters of a sheet name that needs no quotes: letters (any script), digits, '_' and '.'.
bool isNameChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
           u >= 0x80;
}

std::size_t skipNameChars(std::string_view f, std::size_t i)
{
    while (i < f.size() && isNameChar(f[i]))
        ++i;
    return i;
}

// Past the end of a text in double quotes starting at `i` ("" stands for one quote).
std::size_t skipString(std::string_view f, std::size_t i)
{
    for (++i; i < f.size(); ++i) {
        if (f[i] != '"')
            continue;
        if (i + 1 < f.size() && f[i + 1] == '"')
            ++i;
        else
            return i + 1;
    }
    return i;
}

// A quoted sheet reference starting at `i`: the name with '' made one quote; `i` moves past it.
std::string quotedName(std::string_view f, std::size_t& i)
{
    std::string name;
    for (++i; i < f.size(); ++i) {
        if (f[i] != '\'') {
            name += f[i];
            continue;
        }
        if (i + 1 < f.size() && f[i + 1] == '\'') {
            name += '\'';
            ++i;
            continue;
        }
        ++i;
        break;
    }
    return name;
}

// Past a bracketed part (an external workbook's number, a table's columns) and, after an
// external workbook, the reference into it.
std::size_t skipBrackets(std::string_view f, std::size_t i)
{
    int depth = 0;
    for (; i < f.size(); ++i) {
        depth += f[i] == '[' ? 1 : f[i] == ']' ? -1 : 0;
        if (depth == 0)
            break;
    }
    ++i;
    while (i < f.size() && (isNameChar(f[i]) || f[i] == ':'))
        ++i;
    return i;
}

void addSpan(std::vector<SheetSpan>& spans, std::string_view first, std::string_view last)
{
    if (!first.empty() && !last.empty())
        spans.push_back(SheetSpan{std::string(first), std::string(last)});
}

} // namespace

std::vector<SheetSpan> sheetSpansOf(std::string_view f)
{
    std::vector<SheetSpan> spans;
    for (std::size_t i = 0; i < f.size();) {
        const char c = f[i];
        if (c == '"') {
            i = skipString(f, i);
        } else if (c == '\'') {
            const std::string name = quotedName(f, i);
            // A sheet name holds no ':' and no '['; a path to another workbook does.
            const auto colon = name.find(':');
            if (i < f.size() && f[i] == '!' && colon != std::string::npos && name.find('[') == std::string::npos)
                addSpan(spans, std::string_view(name).substr(0, colon), std::string_view(name).substr(colon + 1));
        } else if (c == '[') {
            i = skipBrackets(f, i);
        } else if (isNameChar(c)) {
            const std::size_t end = skipNameChars(f, i);
            if (end < f.size() && f[end] == ':') {
                const std::size_t lastEnd = skipNameChars(f, end + 1);
                if (lastEnd < f.size() && f[lastEnd] == '!') {
                    addSpan(spans, f.substr(i, end - i), f.substr(end + 1, lastEnd - end - 1));
                    i = lastEnd + 1;
                    continue;
                }
            }
            i = end;
        } else {
            ++i;
        }
    }
    return spans;
}

void FormulaSpans::feed(std::string_view piece)
{
    m_pending.append(piece);
    XmlScanner scanner(m_pending, 0, [](std::string_view) { return false; });
    std::size_t keep = m_pending.size();
    for (;;) {
        const std::size_t at = scanner.position();
        const XmlToken& token = scanner.next();
        if (token.kind == XmlToken::End || token.kind == XmlToken::Incomplete) {
            keep = token.kind == XmlToken::End ? m_pending.size() : at;
            break;
        }
        if (token.kind != XmlToken::StartTag || localPart(token.name) != "f")
            continue;
        // The formula is the text up to the next tag, which must be in sight to be whole.
        const std::size_t textStart = scanner.position();
        const std::size_t textEnd = m_pending.find('<', textStart);
        if (textEnd == std::string::npos) {
            keep = at;
            break;
        }
        const std::string_view text = std::string_view(m_pending).substr(textStart, textEnd - textStart);
        std::string formula;
        if (text.find(':') != std::string_view::npos && text.find('!') != std::string_view::npos &&
            appendDecoded(formula, text, true)) {
            const auto found = sheetSpansOf(formula);
            m_spans.insert(m_spans.end(), found.begin(), found.end());
        }
    }
    m_pending.erase(0, keep);
    if (m_pending.size() > kMaxFormulaBytes)
        m_pending.clear();
}

} // namespace morvane::xlsx
