// The window's plate layout on page 2: "Layout..." reads one for the open file, "Set for ticked
// wells" gives the ticked wells what the fields say, "Save layout..." writes the table for the
// next run of the same plate. The layout's sample names go into the well and export tables,
// and so into the curves and the sheet.

#include "app/filepath.h"
#include "app/findingmarks.h"
#include "app/platesizeindex.h"
#include "app/stringgrid.h"
#include "app/tform1.h"
#include "app/wellchecklist.h"
#include "common/text.h"
#include "conversion/programs.h"
#include "dialogs/handlererror.h"
#include "export/atomicsave.h"
#include "export/filekind.h"
#include "layout/platelayout.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>

namespace {

// Sample types that are no sample of the experiment but a check of it.
bool isControl(std::string_view type)
{
    return !type.empty() && type != "unkn" && type != "std";
}

QString text(const std::string& s)
{
    return QString::fromStdString(s);
}

// The tooltip lines of one layout entry: sample, type and quantity; target, type and dye.
QString entryNote(const morvane::LayoutEntry& e)
{
    QStringList parts;
    if (!e.channel.empty())
        parts << QStringLiteral("channel %1:").arg(text(e.channel));
    if (!e.sample.empty() || !e.sampleType.empty())
        parts << QStringLiteral("sample %1 (%2)")
                     .arg(e.sample.empty() ? QStringLiteral("-") : text(e.sample),
                          e.sampleType.empty() ? QStringLiteral("unkn") : text(e.sampleType));
    if (isControl(e.sampleType))
        parts.back() += QStringLiteral(", a control");
    if (!e.quantity.empty())
        parts << QStringLiteral("quantity %1 %2").arg(text(e.quantity), text(e.quantityUnit));
    if (!e.target.empty())
        parts << QStringLiteral("target %1 (%2)")
                     .arg(text(e.target), e.targetType.empty() ? QStringLiteral("toi") : text(e.targetType));
    if (!e.dye.empty())
        parts << QStringLiteral("dye %1").arg(text(e.dye));
    return parts.join(QStringLiteral(", "));
}

// The text of a field, or nothing to leave the wells' field as it is.
std::optional<std::string> fieldValue(const QLineEdit* edit)
{
    const QString value = edit->text().trimmed();
    return value.isEmpty() ? std::nullopt : std::optional(value.toStdString());
}

std::optional<std::string> listValue(const QComboBox* list)
{
    return list->currentIndex() <= 0 ? std::nullopt : std::optional(list->currentData().toString().toStdString());
}

} // namespace

void TForm1::showLayout()
{
    if (m_layout) {
        morvane::Grid table = ResultSG->grid();
        if (const int changed = morvane::applySampleNames(table, *m_layout); changed > 0) {
            m_layoutNamesChanged = changed;
            ResultSG->setGrid(std::move(table));
            ResultSG->setMarks(findingMarks(m_findings));
        }
        morvane::Grid exported = ExportSelectSG->grid();
        if (morvane::applySampleNames(exported, *m_layout) > 0) {
            ExportSelectSG->setGrid(std::move(exported));
            markExportFindings();
        }
    }
    for (WellCheckList* map : {Wells96CB, Wells384CB}) {
        const morvane::PlateFormat format =
            map == Wells96CB ? morvane::PlateFormat::Wells96 : morvane::PlateFormat::Wells384;
        std::vector<QString> notes;
        std::vector<bool> controls;
        if (m_layout) {
            notes.resize(std::size_t(map->count()));
            controls.resize(std::size_t(map->count()));
            for (const morvane::LayoutEntry& entry : m_layout->entries) {
                if (entry.row > morvane::plateRows(format) || entry.col > morvane::plateCols(format))
                    continue;
                const auto index = std::size_t(morvane::checkListIndex(format, entry.row, entry.col));
                const QString note = entryNote(entry);
                if (!note.isEmpty())
                    notes[index] += (notes[index].isEmpty() ? QString() : QStringLiteral("\n")) + note;
                controls[index] = controls[index] || isControl(entry.sampleType);
            }
        }
        map->setLayoutNotes(notes, controls);
    }
    showControlPeaks();
    if (!m_layout) {
        LayoutLabel->setText(QStringLiteral("no layout: every well is an unknown sample"));
        return;
    }
    LayoutLabel->setText(QStringLiteral("layout %1: %2 entries; it changed %3 sample name%4")
                             .arg(text(morvane::quoteForMessage(m_layout->source)))
                             .arg(m_layout->entries.size())
                             .arg(m_layoutNamesChanged)
                             .arg(m_layoutNamesChanged == 1 ? QString() : QStringLiteral("s")));
}

void TForm1::LayoutButtonClick(QObject*)
{
    if (!m_rawText || !m_programs || ResultSG->grid().rowCount() < 2 || ResultSG->grid().cell(1, 0).empty())
        throw HandlerError(QStringLiteral("No run is converted; a layout is read for the converted file"));
    const QString path =
        m_dialogs->openFileName(this, QStringLiteral("Read the plate layout"), lastFolder(),
                                QStringLiteral("Layout tables (*.tsv *.csv *.txt *.xlsx);;All Files (*)"));
    if (path.isEmpty())
        return;
    rememberFolder(path);
    morvane::PlateLayout layout = unwrap(morvane::readLayoutFile(fileSystemPath(path)));
    unwrap(morvane::fitLayout(layout, plateMapFor(plateSizeIndex()), m_programs->columns.channels));
    m_layout = std::make_shared<morvane::PlateLayout>(std::move(layout));
    m_layoutNamesChanged = 0;
    showLayout();
    const std::string without =
        morvane::layoutWellsWithoutDataWarning(morvane::layoutWellsWithoutData(*m_layout, ResultSG->grid()));
    if (!without.empty())
        warning(text(without), DialogService::Buttons::Ok);
}

void TForm1::ApplyLayoutButtonClick(QObject*)
{
    if (!m_programs || ResultSG->grid().rowCount() < 2 || ResultSG->grid().cell(1, 0).empty())
        throw HandlerError(QStringLiteral("No run is converted; convert a run before you describe its wells"));
    const morvane::PlateFormat format = plateMapFor(plateSizeIndex());
    std::vector<morvane::WellPos> wells;
    const auto ticks = currentWellList()->ticks();
    for (std::size_t i = 0; i < ticks.size(); ++i)
        if (ticks[i])
            wells.push_back(morvane::wellAtIndex(format, int(i)));
    if (wells.empty()) {
        warning(QStringLiteral("No wells are ticked."), DialogService::Buttons::Ok);
        return;
    }
    morvane::LayoutEdit edit;
    edit.sample = fieldValue(LayoutSampleEdit);
    edit.sampleType = listValue(LayoutSampleTypeCB);
    edit.target = fieldValue(LayoutTargetEdit);
    edit.targetType = listValue(LayoutTargetTypeCB);
    edit.quantity = fieldValue(LayoutQuantityEdit);
    edit.quantityUnit = listValue(LayoutUnitCB);
    if (!edit.sample && !edit.sampleType && !edit.target && !edit.targetType && !edit.quantity && !edit.quantityUnit) {
        warning(QStringLiteral("Fill in what the ticked wells hold: sample, type, target, quantity."),
                DialogService::Buttons::Ok);
        return;
    }
    morvane::PlateLayout layout = m_layout ? *m_layout : morvane::PlateLayout{"the window's layout", {}};
    unwrap(morvane::editLayout(layout, wells, edit));
    unwrap(morvane::fitLayout(layout, format, m_programs->columns.channels));
    m_layout = std::make_shared<morvane::PlateLayout>(std::move(layout));
    showLayout();
}

void TForm1::SaveLayoutButtonClick(QObject*)
{
    if (!m_rawText)
        throw HandlerError(QStringLiteral("No raw data file is loaded; open one with \"Open text File\" first"));
    // What the next run of the plate needs: the layout, and the export's name of each well the
    // layout leaves out.
    morvane::PlateLayout layout = m_layout ? *m_layout : morvane::PlateLayout{};
    const morvane::Grid& table = ResultSG->grid();
    for (int row = 1; row < table.rowCount() && table.colCount() > 1; ++row) {
        morvane::LayoutEntry entry;
        const std::string& well = table.cell(row, 0);
        if (well.size() < 2 || !morvane::isAsciiLetter(well[0]))
            continue;
        entry.row = morvane::upperAscii(well[0]) - 'A' + 1;
        const auto col = morvane::parseWholeNumber(std::string_view(well).substr(1));
        if (!col || !layout.sampleOf(entry.row, *col).empty() || layout.find(entry.row, *col, ""))
            continue;
        entry.col = *col;
        entry.sample = table.cell(row, 1);
        entry.sample.erase(0, entry.sample.find_first_not_of(' '));
        if (!entry.sample.empty())
            layout.entries.push_back(std::move(entry));
    }
    if (layout.entries.empty())
        throw HandlerError(QStringLiteral("There is no layout to save: read one with \"Layout...\" or set the "
                                          "ticked wells' samples first"));
    const QString path = askSavePath(QStringLiteral("Save the plate layout"),
                                     QStringLiteral("Layout tables (*.tsv);;Text files (*.txt)"), false);
    if (path.isEmpty())
        return;
    rememberFolder(path);
    // A raw export or a workbook given by mistake is named and kept; a layout table is replaced
    // when the user says so.
    unwrap(morvane::checkReplaceable(fileSystemPath(path), morvane::WrittenKind::LayoutTable));
    if (QFileInfo::exists(path) && !replaceConfirmed(path))
        return;
    unwrap(morvane::saveNewFile(fileSystemPath(path), morvane::layoutTable(layout), morvane::ExistingFile::Replace));
}
