#pragma once
// The six operations the export needs from Excel, as an interface: TExcelcom does them on a
// workbook file; an implementation over Excel's automation interface can do them on the
// active workbook of a running Excel; tests record the calls.

#include "common/expected.h"
#include "xlsx/valueblock.h"

#include <string>
#include <string_view>
#include <vector>

namespace morvane {

struct SheetNameList {
    std::vector<std::string> names; // every tab in workbook order, chart sheets included
    int activeIndex = -1;           // position of the active sheet in names, -1: none
};

class ExcelAutomation {
public:
    virtual ~ExcelAutomation() = default;

    // Checks that the workbook can be reached (a failure is an error, never false).
    virtual Status ExcelRunning() = 0;
    virtual Expected<SheetNameList> GetSheetNames() = 0;
    // Adds a worksheet before the active sheet and makes it the active one; names it
    // `wantedName` unless that is empty. Returns the name the sheet has.
    virtual Expected<std::string> AddSheet(std::string_view wantedName) = 0;
    // Takes the active workbook and sheet as the current ones.
    virtual Status OpenActiveSheet() = 0;
    // Gives the range (1-based, inclusive) the number format "0.000", then the block's values.
    virtual Status WriteRange(int firstCol, int lastCol, int firstRow, int lastRow, const ValueBlock& block) = 0;
    // Ends the connection; for a workbook file, this is where it is saved.
    virtual Status CloseConnection() = 0;
    // What the last CloseConnection found wrong in the workbook but kept as it was (a damaged part
    // copied unread), once.
    virtual std::vector<std::string> TakeWarnings() { return {}; }
};

} // namespace morvane
