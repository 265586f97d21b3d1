// The window's commands of the first page: open, detect programs, convert.

#include "app/stringgrid.h"
#include "app/tform1.h"
#include "conversion/rawtext.h"
#include "conversion/splitline.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

void TForm1::loadRawFile(const QString& path)
{
    auto text = morvane::loadRawFile(path.toStdString());
    if (!text.ok())
        throw HandlerError(morvane::describe(text.error()));
    if (text->empty())
        throw HandlerError(QStringLiteral("'%1' holds no lines: it is empty").arg(path));
    InputMemo->setPlainText(QString::fromUtf8(text->allAsUtf8()));
    m_rawText = std::make_shared<const morvane::RawText>(std::move(text).value());
}

void TForm1::OpenButtonClick(QObject*)
{
    const QString path = m_dialogs->openFileName(this, QString());
    if (!path.isEmpty())
        loadRawFile(path);
    else if (!m_rawText)
        return; // cancelled before any file was loaded: nothing to work on

    morvane::FieldList fields;
    morvane::splitline(' ', m_rawText->line(m_rawText->lineCount() - 1), fields);
    if (fields.empty())
        throw HandlerError(QStringLiteral("the last line of the file holds no field"));
    const std::string_view lastWell = fields[0];

    setPlateSizeIndex(-1);
    if (lastWell == "H12") {
        setPlateSizeIndex(0);
    } else if (lastWell == "P24") {
        setPlateSizeIndex(1);
    } else {
        warning(QStringLiteral("plate format not recognised"));
        return;
    }

    if (plateSizeIndex() == 0) {
        stoprow->setText(QStringLiteral("H"));
        stopcol->setText(QStringLiteral("12"));
    } else {
        stoprow->setText(QStringLiteral("P"));
        stopcol->setText(QStringLiteral("24"));
    }
    ProgressBar->setRange(0, static_cast<int>(m_rawText->lineCount()));
    ProgressBar->setValue(0);

    DetermineProgsButtonClick(OpenButton);
}

void TForm1::DetermineProgsButtonClick(QObject*) {}

void TForm1::ProgsListBoxClick(QObject*) {}

void TForm1::ConvertButtonClick(QObject*) {}

void TForm1::clearstringgrid(StringGrid* grid)
{
    morvane::Grid cleared = grid->grid();
    cleared.clear();
    grid->setGrid(std::move(cleared));
}

void TForm1::pumpmessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TForm1::setConversionCommandsEnabled(bool enabled)
{
    for (QPushButton* b : {OpenButton, ConvertButton, DetermineProgsButton})
        b->setEnabled(enabled);
}
