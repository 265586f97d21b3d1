#include "xlsx/workbookimpl.h"

#include "common/text.h"
#include "xlsx/sheetname.h"
#include "xlsx/xmlutil.h"

namespace morvane {

using namespace xlsx;

namespace {

struct TabSpan {
    std::size_t first = 0;
    std::size_t last = 0;
    const FoundSpan* found = nullptr;
};

std::optional<std::size_t> tabNamed(const std::vector<Tab>& tabs, std::string_view name)
{
    for (std::size_t i = 0; i < tabs.size(); ++i)
        if (sameSheetName(tabs[i].info.name, name))
            return i;
    return std::nullopt;
}

} // namespace

// The spans of the workbook's defined names and of its sheets' formulas. The sheets' are read
// once: the sheets this program adds hold no formulas.
std::vector<FoundSpan> XlsxWorkbook::Impl::formulaSpans()
{
    if (!sheetFormulaSpans) {
        sheetFormulaSpans.emplace();
        for (const Tab& tab : tabs) {
            if (!tab.entry || tab.info.kind == SheetKind::Chartsheet)
                continue;
            FormulaSpans scan;
            // A damaged part is reported when the workbook is saved; what it held up to the
            // damage is checked all the same.
            static_cast<void>(
                zip->scan(*tab.entry, limits.maxTotalBytes, [&](std::string_view piece) { scan.feed(piece); }));
            for (const SheetSpan& span : scan.spans())
                sheetFormulaSpans->push_back(
                    FoundSpan{span, "a formula of the sheet " + quoteForMessage(tab.info.name)});
        }
    }
    std::vector<FoundSpan> spans = *sheetFormulaSpans;
    if (pugi::xml_node names = firstChild(workbook.doc.document_element(), kNsMain, "definedNames"))
        for (pugi::xml_node n : names.children())
            if (isElement(n, kNsMain, "definedName"))
                for (const SheetSpan& span : sheetSpansOf(n.text().get()))
                    spans.push_back(
                        FoundSpan{span, "the defined name " + quoteForMessage(n.attribute("name").value())});
    return spans;
}

// Excel puts a new sheet before the active one. Where that falls strictly inside the span of a
// 3-D reference (SUM(Jan:Mar!C2) with Mar active), the reference would take the new sheet's
// readings into its result without a word: the sheet goes before the span's first sheet then,
// and the warnings say so.
std::size_t XlsxWorkbook::Impl::newSheetPosition(const std::string& name)
{
    const std::size_t usual = active < 0 ? 0 : static_cast<std::size_t>(active);
    if (usual == 0 || usual >= tabs.size())
        return usual;
    const std::vector<FoundSpan> found = formulaSpans();
    std::vector<TabSpan> spans;
    for (const FoundSpan& span : found) {
        const auto first = tabNamed(tabs, span.span.first);
        const auto last = tabNamed(tabs, span.span.last);
        if (first && last)
            spans.push_back(TabSpan{std::min(*first, *last), std::max(*first, *last), &span});
    }
    std::size_t position = usual;
    const FoundSpan* reason = nullptr;
    // Spans may overlap: moving out of one may land inside another.
    for (bool moved = true; moved;) {
        moved = false;
        for (const TabSpan& span : spans) {
            if (span.first < position && position <= span.last) {
                position = span.first;
                reason = reason ? reason : span.found;
                moved = true;
            }
        }
    }
    if (reason)
        warnings.push_back("'" + displayName + "': the sheet " + quoteForMessage(name) + " was put before " +
                           quoteForMessage(tabs[position].info.name) + ", not before the active sheet " +
                           quoteForMessage(tabs[usual].info.name) + " as Excel would put it: " + reason->where +
                           " takes the sheets from " + quoteForMessage(reason->span.first) + " to " +
                           quoteForMessage(reason->span.last) + ", and would have counted the new one in");
    return position;
}

} // namespace morvane
