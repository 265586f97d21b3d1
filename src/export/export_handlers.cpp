// The window's commands of the third page: export into a workbook.

#include "app/filepath.h"
#include "app/stringgrid.h"
#include "app/tform1.h"
#include "app/waitcursor.h"
#include "export/exportcommand.h"
#include "export/excelcom.h"
#include "export/sheetname.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

bool TForm1::chooseWorkbook()
{
    QString path = m_dialogs->saveFileName(this, QStringLiteral("Workbook to add the sheet to"),
                                           QStringLiteral("Excel workbooks (*.xlsx)"));
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".xlsx");
    m_workbookPath = path;
    WorkbookLabel->setText(QStringLiteral("workbook: ") + QDir::toNativeSeparators(path));
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
    Excel1->setWorkbookFile(fileSystemPath(m_workbookPath));
    unwrap(Excel1->ExcelRunning());

    const auto sheets = unwrap(Excel1->GetSheetNames());
    sheetsCB->clear();
    for (const std::string& name : sheets.names)
        sheetsCB->addItem(QString::fromStdString(name));
    sheetsCB->setCurrentIndex(sheets.activeIndex);

    const auto choice = morvane::chooseSheetName(sheetnameOutEdit->text().toStdString(), sheets);
    if (choice.tooLong) {
        warning(QString::fromUtf8(morvane::sheetNameTooLongWarning.data(), morvane::sheetNameTooLongWarning.size()),
                DialogService::Buttons::Ok);
        sheetnameOutEdit->setFocus();
        NumCharLabel->show();
        NowLabel->show();
        NumCharsEdit->show();
        NumCharsEdit->setText(QString::number(choice.length));
        return;
    }
    sheetnameOutEdit->setText(QString::fromStdString(choice.name));

    exportstringgrid(ExportSelectSG);

    CloseButton->show();
    CloseButton->setFocus();
    InfoLabel->setText(QStringLiteral("Quantivo: import as LC480 converted raw data"));
}

void TForm1::exportstringgrid(StringGrid* grid)
{
    unwrap(morvane::exportstringgrid(*Excel1, grid->grid(), sheetnameOutEdit->text().toStdString(),
                                     decimalSeparator()));
}

void TForm1::sheetnameOutEditChange(QObject*)
{
    NumCharsEdit->setText(QString::number(sheetnameOutEdit->text().size()));
}
