#pragma once
// The export command below the window: a grid into a new sheet through the six Excel
// operations, in the order the command has always used: ExcelRunning, GetSheetNames, (name
// rules), AddSheet, OpenActiveSheet, WriteRange, CloseConnection. Shared by the window and
// the command-line tool.

#include "common/expected.h"
#include "common/grid.h"
#include "export/excelautomation.h"

#include <optional>
#include <string>
#include <string_view>

namespace morvane {

struct ExportOutcome {
    enum Status {
        Exported,
        // The name has more than 31 characters: nothing was added. Show sheetNameTooLongWarning
        // and the length.
        NameTooLong,
    } status = Exported;
    int nameLength = 0;    // of the wanted name, in the characters Excel counts
    std::string nameUsed;  // the name the export chose (the wanted one or a numbered variant; may be empty)
    std::string sheetName; // the name the new sheet has (the workbook's default for an empty name)
};

// The name rules of the command, given the workbook's sheet names: NameTooLong, or the name to
// use (a taken name becomes its first free numbered variant, cut to fit 31 characters).
struct SheetNameChoice {
    bool tooLong = false;
    int length = 0;
    std::string name;
};
SheetNameChoice chooseSheetName(std::string_view wanted, const SheetNameList& workbookSheets);

// AddSheet(sheetName), the block of the grid, OpenActiveSheet, WriteRange over the block's
// range with the format, CloseConnection. Returns the name AddSheet reports.
Expected<std::string> exportstringgrid(ExcelAutomation& excel, const Grid& grid, std::string_view sheetName,
                                       char decimalSeparator);

// The whole command. An error of any step ends it; with TExcelcom the workbook file is then
// unchanged.
Expected<ExportOutcome> exportGridToWorkbook(ExcelAutomation& excel, const Grid& grid, std::string_view wantedName,
                                             char decimalSeparator);

// Several grids into one workbook, written once at the end: a batch of raw files into one
// workbook costs time in proportion to the number of files, not to its square. Each add() runs
// GetSheetNames, the name rules, AddSheet, OpenActiveSheet and WriteRange, after checking the
// name and every value first, so that a grid which cannot go in is refused alone and leaves the
// workbook (and the grids added before) as they were. finish() is the one CloseConnection.
class ExportBatch {
public:
    explicit ExportBatch(ExcelAutomation& excel) : m_excel(excel) {}

    // ExcelRunning: reads the workbook as it is now.
    Status begin();
    Expected<ExportOutcome> add(const Grid& grid, std::string_view wantedName, char decimalSeparator);
    // Writes the workbook, if any grid went in. After a failed write of a sheet the workbook is
    // not written, and this says so.
    Status finish();
    int added() const { return m_added; }

private:
    ExcelAutomation& m_excel;
    std::optional<Error> m_broken;
    int m_added = 0;
};

} // namespace morvane
