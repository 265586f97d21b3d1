#include "export/exportcommand.h"

#include "export/sheetname.h"
#include "export/sheetxml.h"
#include "export/valueblock.h"

namespace morvane {

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

Expected<std::string> exportstringgrid(ExcelAutomation& excel, const Grid& grid, std::string_view sheetName,
                                       char decimalSeparator)
{
    auto added = excel.AddSheet(sheetName);
    if (!added)
        return added;
    // Built while nothing is connected; reaches the sheet in one assignment.
    const ValueBlock block = makeValueBlock(grid, decimalSeparator);
    if (auto opened = excel.OpenActiveSheet(); !opened)
        return opened.error();
    if (auto written = excel.WriteRange(1, block.cols(), 1, block.rows(), block); !written)
        return written.error();
    if (auto closed = excel.CloseConnection(); !closed)
        return closed.error();
    return added;
}

namespace {

// GetSheetNames and the name rules: the outcome so far, with the name to use or NameTooLong.
Expected<ExportOutcome> chooseName(ExcelAutomation& excel, std::string_view wantedName)
{
    auto sheets = excel.GetSheetNames();
    if (!sheets)
        return sheets.error();
    ExportOutcome outcome;
    const SheetNameChoice choice = chooseSheetName(wantedName, *sheets);
    outcome.nameLength = choice.length;
    if (choice.tooLong)
        outcome.status = ExportOutcome::NameTooLong;
    else
        outcome.nameUsed = choice.name;
    return outcome;
}

} // namespace

Expected<ExportOutcome> exportGridToWorkbook(ExcelAutomation& excel, const Grid& grid, std::string_view wantedName,
                                             char decimalSeparator)
{
    if (auto running = excel.ExcelRunning(); !running)
        return running.error();
    auto chosen = chooseName(excel, wantedName);
    if (!chosen || chosen->status == ExportOutcome::NameTooLong)
        return chosen;
    ExportOutcome outcome = std::move(chosen).value();
    auto name = exportstringgrid(excel, grid, outcome.nameUsed, decimalSeparator);
    if (!name)
        return name.error();
    outcome.sheetName = std::move(name).value();
    return outcome;
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
    auto chosen = chooseName(m_excel, wantedName);
    if (!chosen || chosen->status == ExportOutcome::NameTooLong)
        return chosen;
    ExportOutcome outcome = std::move(chosen).value();
    // Everything the workbook could refuse is checked before it changes: a refusal there would
    // drop the pending sheets of the other grids as well.
    if (!outcome.nameUsed.empty())
        if (auto valid = checkSheetName(outcome.nameUsed); !valid)
            return valid.error();
    const ValueBlock block = makeValueBlock(grid, decimalSeparator);
    if (auto values = xlsx::checkValues(block, 1, 1); !values)
        return values.error();

    auto added = m_excel.AddSheet(outcome.nameUsed);
    Status written = added ? m_excel.OpenActiveSheet() : Status(added.error());
    if (written)
        written = m_excel.WriteRange(1, block.cols(), 1, block.rows(), block);
    if (!written) {
        m_broken = Error{"the workbook is not written: a sheet could not be added (" + written.error().message + ")"};
        return written.error();
    }
    ++m_added;
    outcome.sheetName = std::move(added).value();
    return outcome;
}

Status ExportBatch::finish()
{
    if (m_broken)
        return *m_broken;
    if (m_added == 0)
        return success();
    return m_excel.CloseConnection();
}

} // namespace morvane
