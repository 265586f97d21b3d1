// The window's commands of the third page: export into a workbook.

#include "app/tform1.h"

#include <QLineEdit>

void TForm1::ExportButtonClick(QObject*) {}

void TForm1::sheetnameOutEditChange(QObject*)
{
    NumCharsEdit->setText(QString::number(sheetnameOutEdit->text().size()));
}
