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
#include <QPushButton>

bool TForm1::chooseWorkbook()
{
    QString path = m_dialogs->saveFileName(this, QStringLiteral("Workbook to add the sheet to"),
                                           QStringLiteral("Excel workbooks (*.xlsx)"), lastFolder());
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".xlsx");
    m_workbookPath = path;
    rememberFolder(path);
    // A long path is cut in the middle to the room the label has; the tooltip holds it whole.
    WorkbookLabel->setFullText(QStringLiteral("workbook: ") + QDir::toNativeSeparators(path));
    WorkbookLabel->setToolTip(QDir::toNativeSeparators(path));
    return true;
}

void TForm1::WorkbookButtonClick(QObject*)
{
    chooseWorkbook();
}

void TForm1::ExportButtonClick(QObject*)
{
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
    ExportedLabel->setText(QStringLiteral("Sheet \"%1\" added to %2")
                               .arg(QString::fromStdString(outcome.sheetName), QFileInfo(m_workbookPath).fileName()));
    ExportedLabel->show();
    CloseButton->show();
    CloseButton->setFocus();
    InfoLabel->setText(QStringLiteral("Quantivo: import as LC480 converted raw data"));
    for (const std::string& found : outcome.warnings)
        warning(QString::fromStdString(found), DialogService::Buttons::Ok);
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
