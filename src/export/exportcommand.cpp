#include "export/exportcommand.h"

#include "xlsx/celltovalue.h"
#include "xlsx/sheetname.h"
#include "xlsx/sheetxml.h"
#include "xlsx/valueblock.h"

namespace morvane {

namespace {
// The export table's layout: a heading row, then per well its name, its sample, its readings.
constexpr int kFirstWellRow = 1;
constexpr int kFirstReadingCol = 2;
} // namespace

int wellRowCount(const Grid& table)
{
    int wells = 0;
    for (int row = kFirstWellRow; row < table.rowCount(); ++row)
        if (table.colCount() > 0 && !table.cell(row, 0).empty())
            ++wells;
    return wells;
}

TextReadings textReadings(const Grid& table, char decimalSeparator)
{
    TextReadings found;
    for (int row = kFirstWellRow; row < table.rowCount(); ++row)
        for (int col = kFirstReadingCol; col < table.colCount(); ++col) {
            const std::string& text = table.cell(row, col);
            if (text.empty() || !std::holds_alternative<std::string>(celltovalue(text, decimalSeparator)))
                continue;
            if (found.count++ == 0) {
                found.firstRow = row;
                found.firstCol = col;
            }
        }
    return found;
}

SheetNameChoice chooseSheetName(std::string_view wanted, const SheetNameList& workbookSheets)
{
    SheetNameChoice choice;
    choice.length = sheetNameLength(wanted);
    if (sheetNameTooLong(wanted)) {
        choice.tooLong = true;
        return choice;
    }
    choice.name = uniqueSheetName(wanted, workbookSheets.names);
    return choice;
}

namespace {

// AddSheet, OpenActiveSheet, WriteRange and, for Save::Now, CloseConnection. Returns the name
// AddSheet reports.
Expected<std::string> writeBlock(ExcelAutomation& excel, const ValueBlock& block, std::string_view sheetName, Save save)
{
    auto added = excel.AddSheet(sheetName);
    if (!added)
        return added;
    if (auto opened = excel.OpenActiveSheet(); !opened)
        return opened.error();
    if (auto written = excel.WriteRange(1, block.cols(), 1, block.rows(), block); !written)
        return written.error();
    if (save == Save::Now)
        if (auto closed = excel.CloseConnection(); !closed)
            return closed.error();
    return added;
}

// The sheet as far as it can go without changing the workbook, given its sheets as
// GetSheetNames lists them: the name rules, and every check the workbook could refuse (the
// name, each value). A refusal here leaves the workbook, and in a batch the sheets pending in
// it, as they were.
struct PreparedSheet {
    ExportOutcome outcome;
    ValueBlock block;
};

Expected<PreparedSheet> prepareSheet(SheetNameList sheets, const Grid& grid, std::string_view wantedName,
                                     char decimalSeparator)
{
    PreparedSheet prepared;
    ExportOutcome& outcome = prepared.outcome;
    outcome.sheets = std::move(sheets);
    const SheetNameChoice choice = chooseSheetName(wantedName, outcome.sheets);
    outcome.nameLength = choice.length;
    if (choice.tooLong) {
        outcome.status = ExportOutcome::NameTooLong;
        return prepared;
    }
    outcome.nameUsed = choice.name;
    if (!outcome.nameUsed.empty())
        if (auto valid = checkSheetName(outcome.nameUsed); !valid)
            return valid.error();
    prepared.block = makeValueBlock(grid, decimalSeparator);
    if (auto values = xlsx::checkValues(prepared.block, 1, 1); !values)
        return values.error();
    return prepared;
}

// The prepared sheet into the workbook; from here on a failure may leave the workbook changed.
Expected<ExportOutcome> addPrepared(ExcelAutomation& excel, PreparedSheet& prepared, Save save)
{
    ExportOutcome& outcome = prepared.outcome;
    if (outcome.status == ExportOutcome::NameTooLong)
        return outcome;
    auto name = writeBlock(excel, prepared.block, outcome.nameUsed, save);
    if (!name)
        return name.error();
    outcome.sheetName = std::move(name).value();
    if (save == Save::Now)
        outcome.warnings = excel.TakeWarnings();
    return std::move(outcome);
}

} // namespace

Expected<ExportOutcome> exportSheet(ExcelAutomation& excel, const Grid& grid, std::string_view wantedName,
                                    char decimalSeparator, Save save)
{
    auto sheets = excel.GetSheetNames();
    if (!sheets)
        return sheets.error();
    auto prepared = prepareSheet(std::move(sheets).value(), grid, wantedName, decimalSeparator);
    const bool refused = !prepared || prepared->outcome.status == ExportOutcome::NameTooLong;
    // Refused before AddSheet: closing writes nothing, and lets go of the workbook, which other
    // writers may be waiting for. With nothing written, a failing close loses nothing: the
    // refusal is what the user needs to hear.
    if (refused && save == Save::Now)
        static_cast<void>(excel.CloseConnection());
    if (!prepared)
        return prepared.error();
    return addPrepared(excel, *prepared, save);
}

Expected<ExportOutcome> exportGridToWorkbook(ExcelAutomation& excel, const Grid& grid, std::string_view wantedName,
                                             char decimalSeparator)
{
    if (auto running = excel.ExcelRunning(); !running)
        return running.error();
    return exportSheet(excel, grid, wantedName, decimalSeparator, Save::Now);
}

Status ExportBatch::begin()
{
    m_broken.reset();
    m_added = 0;
    return m_excel.ExcelRunning();
}

Expected<ExportOutcome> ExportBatch::add(const Grid& grid, std::string_view wantedName, char decimalSeparator)
{
    if (m_broken)
        return *m_broken;
    auto sheets = m_excel.GetSheetNames();
    if (!sheets)
        return sheets.error();
    auto prepared = prepareSheet(std::move(sheets).value(), grid, wantedName, decimalSeparator);
    if (!prepared)
        return prepared.error();
    auto outcome = addPrepared(m_excel, *prepared, Save::Deferred);
    if (!outcome) {
        // The workbook in memory may be half changed: it is not written, and every later grid of
        // the batch is refused with the reason.
        m_broken = Error{"the workbook is not written: a sheet could not be added (" + outcome.error().message + ")"};
        return outcome;
    }
    if (outcome->status == ExportOutcome::Exported)
        ++m_added;
    return outcome;
}

Status ExportBatch::finish()
{
    if (m_broken)
        return *m_broken;
    // Without a sheet added this writes nothing, but still ends the hold on the workbook.
    Status closed = m_excel.CloseConnection();
    m_warnings = m_excel.TakeWarnings();
    return closed;
}

} // namespace morvane
