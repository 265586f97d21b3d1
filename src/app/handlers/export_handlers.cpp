// The window's commands of the third page: export into a workbook.

#include "app/elidedlabel.h"
#include "app/filepath.h"
#include "app/stringgrid.h"
#include "app/tform1.h"
#include "app/waitcursor.h"
#include "export/excelcom.h"
#include "export/exportcommand.h"
#include "xlsx/sheetname.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

bool TForm1::chooseWorkbook()
{
    // An existing workbook gets a sheet added, nothing replaced: no question.
    const QString path =
        askSavePath(QStringLiteral("Workbook to add the sheet to"), QStringLiteral("Excel workbooks (*.xlsx)"), false);
    if (path.isEmpty())
        return false;
    m_workbookPath = path;
    rememberFolder(path);
    // A long path is cut in the middle to the room the label has; its tooltip holds it whole.
    WorkbookLabel->setFullText(QStringLiteral("workbook: ") + QDir::toNativeSeparators(path));
    return true;
}

void TForm1::forgetWorkbook()
{
    m_workbookPath.clear();
    WorkbookLabel->setFullText(QString::fromLatin1(kNoWorkbookText));
}

void TForm1::resetExportNote()
{
    InfoLabel->setText(QString::fromLatin1(kExportNoteText));
}

void TForm1::WorkbookButtonClick(QObject*)
{
    chooseWorkbook();
}

bool TForm1::exportTableHoldsWells()
{
    if (morvane::wellRowCount(ExportSelectSG->grid()) > 0)
        return true;
    warning(QStringLiteral("The export table holds no wells: tick wells on the page \"Plate Design / Select "
                           "Wells\" and press \"Extract Selected Wells\" first."),
            DialogService::Buttons::Ok);
    return false;
}

void TForm1::ExportButtonClick(QObject*)
{
    const morvane::Grid& table = ExportSelectSG->grid();
    if (!exportTableHoldsWells())
        return;
    if (!textReadingsAccepted(table))
        return;
    // Asked once; the choice holds for the rest of the run. Cancelling ends the export quietly.
    if (m_workbookPath.isEmpty() && !chooseWorkbook())
        return;
    const WaitCursor wait;
    const morvane::ExportOutcome outcome = exportstringgrid(ExportSelectSG);

    sheetsCB->clear();
    for (const std::string& name : outcome.sheets.names)
        sheetsCB->addItem(QString::fromStdString(name));
    sheetsCB->setCurrentIndex(outcome.sheets.activeIndex);

    if (outcome.status == morvane::ExportOutcome::NameTooLong) {
        warning(QString::fromUtf8(morvane::kSheetNameTooLongWarning.data(), morvane::kSheetNameTooLongWarning.size()),
                DialogService::Buttons::Ok);
        sheetnameOutEdit->setFocus();
        NumCharLabel->show();
        NowLabel->show();
        NumCharsEdit->show();
        NumCharsEdit->setText(QString::number(outcome.nameLength));
        return;
    }
    sheetnameOutEdit->setText(QString::fromStdString(outcome.nameUsed));
    ExportedLabel->setFullText(
        QStringLiteral("Sheet \"%1\" added to %2")
            .arg(QString::fromStdString(outcome.sheetName), QFileInfo(m_workbookPath).fileName()));
    ExportedLabel->show();
    CloseButton->show();
    CloseButton->setFocus();
    InfoLabel->setText(QStringLiteral("Quantivo: import as LC480 converted raw data"));
    for (const std::string& found : outcome.warnings)
        warning(QString::fromStdString(found), DialogService::Buttons::Ok);
}

bool TForm1::textReadingsAccepted(const morvane::Grid& table)
{
    const char separator = decimalSeparator();
    const morvane::TextReadings text = morvane::textReadings(table, separator);
    if (text.count == 0)
        return true;
    const QString first = QStringLiteral("%1 cycle %2: %3")
                              .arg(QString::fromStdString(table.cell(text.firstRow, 0)),
                                   QString::fromStdString(table.cell(0, text.firstCol)),
                                   QString::fromStdString(table.cell(text.firstRow, text.firstCol)));
    const QString what = text.count == 1
                             ? QStringLiteral("1 reading is not a number")
                             : QStringLiteral("%1 readings are not numbers").arg(QLocale().toString(text.count));
    return confirm(QStringLiteral("%1 with your decimal separator \"%2\" (first: %3) and will go into the sheet as "
                                  "text, which Quantivo does not take as a reading.\n\nExport anyway? No goes back.")
                       .arg(what, QString(QChar::fromLatin1(separator)), first),
                   DialogService::Buttons::YesNoSafe);
}

morvane::ExportOutcome TForm1::exportstringgrid(StringGrid* grid)
{
    Excel1->setWorkbookFile(fileSystemPath(m_workbookPath));
    return unwrap(morvane::exportGridToWorkbook(*Excel1, grid->grid(), sheetnameOutEdit->text().toStdString(),
                                                decimalSeparator()));
}

void TForm1::sheetnameOutEditChange(QObject*)
{
    NumCharsEdit->setText(QString::number(sheetnameOutEdit->text().size()));
}
