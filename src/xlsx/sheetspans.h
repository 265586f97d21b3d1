#pragma once
// The sheet spans of 3-D references in formulas ("SUM(Jan:Mar!C2)", "'Jan 1:Mar'!C2"): such a
// formula takes every sheet from the first to the last, by position, so a sheet put between
// them is counted in.

#include <string>
#include <string_view>
#include <vector>

namespace morvane::xlsx {

struct SheetSpan {
    std::string first; // the sheet names as Excel shows them, unquoted
    std::string last;
    bool operator==(const SheetSpan&) const = default;
};

// The spans of one formula as a file stores it (no '=' in front). Spans into other workbooks
// ("[1]Jan:Mar!A1") do not count: their sheets are not this workbook's.
std::vector<SheetSpan> sheetSpansOf(std::string_view formula);

// The spans of the formulas (<f> elements) of a worksheet part, fed in pieces as it is inflated.
class FormulaSpans {
public:
    void feed(std::string_view piece);
    const std::vector<SheetSpan>& spans() const { return m_spans; }

private:
    std::string m_pending; // from the start of a formula the pieces so far cut off
    std::vector<SheetSpan> m_spans;
};

} // namespace morvane::xlsx
