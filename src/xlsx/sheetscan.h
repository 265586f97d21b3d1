#pragma once
// Finds the tabSelected flag of an existing sheet part without parsing the sheet: only the
// tags before <sheetData> are looked at, and only that attribute is cut out, so the rest of
// a possibly large sheet stays byte for byte as it was.

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

namespace morvane::xlsx {

struct SheetViewScan {
    enum State { NeedMore, Done, Doctype, Utf16 } state = NeedMore;
    // Byte ranges [first, second) to cut: each a tabSelected attribute with the white space
    // before it, on a <sheetView> of workbook view 0 where it is true.
    std::vector<std::pair<std::size_t, std::size_t>> removals;
};

// `complete`: the text is the whole part (else a tag cut off at the end means NeedMore).
SheetViewScan scanSheetViews(std::string_view xml, bool complete);

} // namespace morvane::xlsx
