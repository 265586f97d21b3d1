#pragma once
// An .xlsx workbook edited the way Excel automation edits the active workbook: list the tabs,
// add a worksheet before the active one (it becomes the active and only selected tab), write a
// block of values with one number format, save. Works on bytes in memory; saving to a file is
// the caller's (see atomicsave.h).
//
// Everything the edit does not need stays as it was: other entries are copied as their raw
// compressed bytes. Only [Content_Types].xml, the workbook part and its relationships, the
// styles, the shared strings and the tabSelected flag of the previously selected sheets change.
// The workbook is untrusted input: sizes are capped, and a DOCTYPE, Strict Open XML, .xls,
// .xlsb, encrypted files and protected structure are refused before anything changes.

#include "common/expected.h"
#include "common/grid.h"
#include "xlsx/valueblock.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// Sizes are checked against the archive's directory before a part is inflated, and a part
// that holds more than its directory declares is refused. Parts that are only copied are never
// held in memory; those parsed into a tree (package parts, styles) take about five times their
// size, the shared strings about one and a half times theirs.
struct WorkbookLimits {
    std::uint64_t maxFileBytes = 256ull << 20;       // the workbook file itself
    std::uint64_t maxEntries = 10000;                // parts in the package
    std::uint64_t maxTotalBytes = 1ull << 30;        // declared uncompressed size of all parts
    std::uint64_t maxPackagePartBytes = 16ull << 20; // content types, relationships, workbook
    std::uint64_t maxStylesBytes = 32ull << 20;
    std::uint64_t maxSharedStringsBytes = 128ull << 20; // millions of distinct texts
    std::uint64_t maxSheetBytes = 256ull << 20;         // an existing sheet whose selection is cleared
    std::uint64_t maxSheetHeadBytes = 1ull << 20;       // where its <sheetViews> must start
};

// Bounds for reading a sheet's cells (sheetCells): a table typed by hand, not a data dump.
struct SheetCellLimits {
    std::uint64_t maxPartBytes = 16ull << 20; // the sheet, and the shared strings
    int maxRows = 100000;
    int maxColumns = 1024;
};

enum class SheetKind { Worksheet, Chartsheet, Other };

struct SheetTab {
    std::string name; // as Excel shows it (_xHHHH_ decoded)
    SheetKind kind = SheetKind::Worksheet;
    bool visible = true;
};

// The format code stored for the exported range: three decimals, in the file's (en-US)
// notation whatever the user's locale; Excel shows it with the user's decimal separator.
inline constexpr std::string_view kExportNumberFormat = "0.000";

class XlsxWorkbook {
public:
    // `displayName` names the workbook in messages (the file name).
    static Expected<XlsxWorkbook> open(std::string bytes, std::string displayName, const WorkbookLimits& limits = {});
    // A new workbook without sheets yet; adding one makes it a workbook holding just that sheet.
    static Expected<XlsxWorkbook> create(std::string displayName);

    XlsxWorkbook(XlsxWorkbook&&) noexcept;
    XlsxWorkbook& operator=(XlsxWorkbook&&) noexcept;
    ~XlsxWorkbook();

    const std::string& displayName() const;
    // Every tab in workbook order, chart sheets included.
    const std::vector<SheetTab>& tabs() const;
    // Index into tabs(); -1 when there is none.
    int activeTab() const;

    // Inserts a worksheet before the active tab (or, where that lies inside the span of a 3-D
    // reference such as SUM(Jan:Mar!C2), before the span, with a warning) and makes it active; with an empty name it
    // gets the first free "<defaultBase><N>" from N = tab count + 1 (a live Excel counts per session, which a file
    // cannot know). A non-empty name must satisfy Excel's rules and be free (letter case ignored, chart sheets
    // included). Returns the sheet's name.
    Expected<std::string> addSheet(std::string_view wantedName, std::string_view defaultBase = "Sheet");

    // Writes the block to the active sheet, which must be one added by addSheet, giving every
    // cell of the range (empty ones too) `numberFormat`. Coordinates are 1-based; the block must
    // be exactly (lastRow - firstRow + 1) x (lastCol - firstCol + 1).
    Status writeRange(int firstCol, int lastCol, int firstRow, int lastRow, const ValueBlock& block,
                      std::string_view numberFormat = kExportNumberFormat);

    // The values of worksheet `tab` as text, cell (0, 0) being A1: numbers as their shortest
    // text, shared and inline strings, booleans as TRUE or FALSE, the cached result of a formula.
    // Refuses a chart sheet and cells beyond the limits.
    Expected<Grid> sheetCells(int tab, const SheetCellLimits& limits = {}) const;

    bool modified() const;
    // The package with every change, as bytes. Once only: the workbook is spent afterwards.
    // Deflate level 1 writes a 385 x 52 sheet in half the time of level 6, for 20 % more bytes.
    Expected<std::string> save(int compressionLevel = 1);
    // What the user should hear of: a sheet put elsewhere than before the active one, to keep it
    // out of a 3-D reference (addSheet); parts save() copies without reading them, checked on
    // the way, whose checksum does not match (damaged before this program saw them).
    const std::vector<std::string>& warnings() const;

private:
    struct Impl;
    explicit XlsxWorkbook(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

} // namespace morvane
