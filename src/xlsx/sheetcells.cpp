// Reading the cells of a worksheet as text: what a plate layout kept in a workbook needs. Only
// values are read (numbers, shared and inline strings, booleans, cached formula results); styles,
// formulas and everything else are ignored.

#include "xlsx/workbookimpl.h"

#include "xlsx/sheetxml.h"
#include "xlsx/xmlutil.h"

#include <charconv>
#include <cmath>

namespace morvane {

using namespace xlsx;

namespace {

// The text of an <si> or <is>: its <t>, or the <t> of each rich text run; phonetic runs
// (<rPh>) are a reading aid, not part of the text.
std::string stringItemText(pugi::xml_node item)
{
    std::string text;
    for (pugi::xml_node child : item.children()) {
        if (isElement(child, kNsMain, "t"))
            text += child.text().get();
        else if (isElement(child, kNsMain, "r"))
            text += firstChild(child, kNsMain, "t").text().get();
    }
    return decodeEscapedUnits(text);
}

// A number as a person would type it: the shortest text that reads back as the stored value,
// so that 0.1 stays "0.1" and 25 stays "25".
std::string numberText(std::string_view stored)
{
    double value = 0;
    const auto [end, ec] = std::from_chars(stored.data(), stored.data() + stored.size(), value);
    if (ec != std::errc() || end != stored.data() + stored.size() || !std::isfinite(value))
        return std::string(stored);
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, written.ptr);
}

// "BC12" into column 55, row 12; false for anything else.
bool parseReference(std::string_view ref, int& row, int& col)
{
    std::size_t i = 0;
    col = 0;
    while (i < ref.size() && isAsciiLetter(ref[i]) && i < 3)
        col = col * 26 + (upperAscii(ref[i++]) - 'A' + 1);
    const auto number = parseWholeNumber(ref.substr(i), PlusSign::Refused);
    if (i == 0 || !number || *number < 1)
        return false;
    row = *number;
    return true;
}

} // namespace

Expected<Grid> XlsxWorkbook::sheetCells(int tab, const SheetCellLimits& cellLimits) const
{
    if (tab < 0 || tab >= static_cast<int>(d->tabs.size()))
        return Error{"'" + d->displayName + "' has no sheet " + std::to_string(tab + 1)};
    const xlsx::Tab& sheet = d->tabs[static_cast<std::size_t>(tab)];
    if (sheet.info.kind != SheetKind::Worksheet || !sheet.entry)
        return Error{"the sheet " + quoteForMessage(sheet.info.name) + " of '" + d->displayName +
                     "' is not a worksheet"};
    const auto cannotRead = [&](const std::string& why) {
        return Error{"the sheet " + quoteForMessage(sheet.info.name) + " of '" + d->displayName +
                     "' cannot be read: " + why};
    };

    std::vector<std::string> shared;
    if (d->sharedStrings && d->sharedStrings->entry) {
        auto bytes = d->zip->read(*d->sharedStrings->entry, cellLimits.maxPartBytes);
        if (!bytes)
            return cannotRead(bytes.error().message);
        pugi::xml_document doc;
        if (auto parsed = parsePart(doc, *bytes, d->sharedStrings->name); !parsed)
            return cannotRead(parsed.error().message);
        for (pugi::xml_node si : doc.document_element().children())
            if (isElement(si, kNsMain, "si"))
                shared.push_back(stringItemText(si));
    }

    auto bytes = d->zip->read(*sheet.entry, cellLimits.maxPartBytes);
    if (!bytes)
        return cannotRead(bytes.error().message);
    pugi::xml_document doc;
    if (auto parsed = parsePart(doc, *bytes, sheet.part); !parsed)
        return cannotRead(parsed.error().message);

    struct Cell {
        int row, col;
        std::string text;
    };
    std::vector<Cell> cells;
    int rows = 0;
    int cols = 0;
    int rowNumber = 0;
    const pugi::xml_node data = firstChild(doc.document_element(), kNsMain, "sheetData");
    for (pugi::xml_node row : data.children()) {
        if (!isElement(row, kNsMain, "row"))
            continue;
        rowNumber = row.attribute("r") ? row.attribute("r").as_int() : rowNumber + 1;
        int colNumber = 0;
        for (pugi::xml_node c : row.children()) {
            if (!isElement(c, kNsMain, "c"))
                continue;
            int r = rowNumber;
            int col = colNumber + 1;
            if (const pugi::xml_attribute ref = c.attribute("r"); ref && !parseReference(ref.value(), r, col))
                return cannotRead("a cell has the reference " + quoteForMessage(ref.value()));
            colNumber = col;
            if (r < 1 || r > cellLimits.maxRows || col > cellLimits.maxColumns)
                return cannotRead("it has cells beyond row " + std::to_string(cellLimits.maxRows) + " or column " +
                                  std::to_string(cellLimits.maxColumns));
            const std::string_view type = c.attribute("t").value();
            const std::string_view value = firstChild(c, kNsMain, "v").text().get();
            std::string text;
            if (type == "s") {
                const auto index = parseWholeNumber<std::size_t>(value, PlusSign::Refused);
                if (!index || *index >= shared.size())
                    return cannotRead("cell " + cellReference(r, col) + " refers to shared string " +
                                      quoteForMessage(value) + ", which the workbook does not hold");
                text = shared[*index];
            } else if (type == "inlineStr") {
                text = stringItemText(firstChild(c, kNsMain, "is"));
            } else if (type == "b") {
                text = value == "1" ? "TRUE" : "FALSE";
            } else if (type == "str" || type == "e") {
                text = decodeEscapedUnits(value);
            } else {
                text = numberText(value);
            }
            if (text.empty())
                continue;
            rows = std::max(rows, r);
            cols = std::max(cols, col);
            cells.push_back({r, col, std::move(text)});
        }
    }
    Grid grid(rows, cols);
    for (Cell& cell : cells)
        grid.cell(cell.row - 1, cell.col - 1) = std::move(cell.text);
    return grid;
}

} // namespace morvane
