#pragma once
// The export command: a grid into a new sheet through the six Excel operations, in the order
// the command has always used: ExcelRunning, GetSheetNames, (name rules), AddSheet,
// OpenActiveSheet, WriteRange, CloseConnection. The window, the single-file tool and the batch
// all run it; the batch only defers the save (CloseConnection) to its end.

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
        // The name has more than 31 characters: nothing was added. Show kSheetNameTooLongWarning
        // and the length.
        NameTooLong,
    } status = Exported;
    int nameLength = 0;    // of the wanted name, in the characters Excel counts
    std::string nameUsed;  // the name the export chose (the wanted one or a numbered variant; may be empty)
    std::string sheetName; // the name the new sheet has (the workbook's default for an empty name)
    SheetNameList sheets;  // the workbook's sheets as GetSheetNames listed them, before the new one
    // What the user should hear of the workbook (XlsxWorkbook::warnings: a sheet kept out of a
    // 3-D reference, a damaged part kept): shown, each as a warning, after the export succeeded.
    std::vector<std::string> warnings;
};

// The rows of an export table (the heading row, then one row per well: well, sample, readings)
// that name a well. None: there is nothing to export.
int wellRowCount(const Grid& table);

// The readings of an export table that the sheet would get as text rather than as numbers
// under `decimalSeparator` (a reading written with the other separator, kept so by the user),
// and where the first of them stands. Empty cells do not count.
struct TextReadings {
    int count = 0;
    int firstRow = -1;
    int firstCol = -1;
};
TextReadings textReadings(const Grid& table, char decimalSeparator);

// The name rules of the command, given the workbook's sheet names: NameTooLong, or the name to
// use (a taken name becomes its first free numbered variant, cut to fit 31 characters).
struct SheetNameChoice {
    bool tooLong = false;
    int length = 0;
    std::string name;
};
SheetNameChoice chooseSheetName(std::string_view wanted, const SheetNameList& workbookSheets);

// Whether the sheet's writing ends with CloseConnection (the save), or leaves that to a later
// finish() of a batch.
enum class Save { Now, Deferred };

// The command on a workbook that ExcelRunning has reached: GetSheetNames, the name rules, then
// every check the workbook could refuse (the name, each value) before it changes, then AddSheet,
// OpenActiveSheet, WriteRange over the block's range with the format, and CloseConnection for
// Save::Now. A refusal before AddSheet leaves the workbook as it was; with Save::Now it still
// ends with CloseConnection (which then writes nothing), so the workbook is not held.
Expected<ExportOutcome> exportSheet(ExcelAutomation& excel, const Grid& grid, std::string_view wantedName,
                                    char decimalSeparator, Save save);

// The whole command for one grid: ExcelRunning, then exportSheet with the save. An error of any
// step ends it; with TExcelcom the workbook file is then unchanged.
Expected<ExportOutcome> exportGridToWorkbook(ExcelAutomation& excel, const Grid& grid, std::string_view wantedName,
                                             char decimalSeparator);

// Several grids into one workbook, saved once at the end: a batch of raw files into one
// workbook costs time in proportion to the number of files, not to its square. add() is the
// command with the save deferred, so a grid which cannot go in is refused alone and leaves the
// workbook (and the grids added before) as they were. finish() is the one CloseConnection.
class ExportBatch {
public:
    explicit ExportBatch(ExcelAutomation& excel) : m_excel(excel) {}

    // ExcelRunning: reads the workbook as it is now.
    Status begin();
    Expected<ExportOutcome> add(const Grid& grid, std::string_view wantedName, char decimalSeparator);
    // CloseConnection: writes the workbook, if any grid went in. After a failed write of a sheet
    // the workbook is not written, and this says so.
    Status finish();
    int added() const { return m_added; }
    // What finish() found wrong in the workbook but kept (ExportOutcome::warnings).
    const std::vector<std::string>& warnings() const { return m_warnings; }

private:
    ExcelAutomation& m_excel;
    std::optional<Error> m_broken;
    int m_added = 0;
    std::vector<std::string> m_warnings;
};

} // namespace morvane
