// The window's commands of the first page: open, detect programs, convert.

#include "app/curveplot.h"
#include "app/elidedlabel.h"
#include "app/filepath.h"
#include "app/findingmarks.h"
#include "app/memoview.h"
#include "app/pagecontrol.h"
#include "app/platesizeindex.h"
#include "app/stringgrid.h"
#include "app/tform1.h"
#include "app/waitcursor.h"
#include "app/wellchecklist.h"
#include "conversion/platesize.h"
#include "conversion/programs.h"
#include "conversion/rawtext.h"
#include "conversion/splitline.h"
#include "conversion/welltable.h"
#include "export/tablepipeline.h"
#include "layout/platelayout.h"
#include "plate/extraction.h"
#include "plate/plate.h"
#include "xlsx/sheetname.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>

#include <QSignalBlocker>
#include <algorithm>

void TForm1::loadRawFile(const QString& path)
{
    auto text = morvane::loadRawFile(fileSystemPath(path));
    if (!text.ok())
        throw HandlerError(morvane::describe(text.error()));
    if (text->empty())
        throw HandlerError(QStringLiteral("'%1' holds no lines: it is empty").arg(path));
    // A results export or a sample list is refused before anything on screen changes.
    if (const auto raw = morvane::checkRawExport(*text); !raw)
        throw HandlerError(
            QStringLiteral("'%1' is not opened: %2")
                .arg(QFileInfo(path).fileName(), QString::fromStdString(morvane::describe(raw.error()))));
    m_rawText = std::make_shared<const morvane::RawText>(std::move(text).value());
    InputMemo->setText(m_rawText);
    rememberFolder(path);
    setWindowTitle(QFileInfo(path).fileName() + QStringLiteral(" - ") + QString::fromLatin1(kWindowTitle));
    forgetPreviousFile();
}

void TForm1::forgetConversion()
{
    // What the last conversion made: the tables, names, counts, data-check marks, and what page 3
    // said of its export.
    clearstringgrid(ResultSG);
    morvane::Grid emptied = ResultSG->grid();
    emptied.resize(2, 2);
    emptied.setFixed(1, 1);
    ResultSG->setGrid(emptied);
    ExportSelectSG->setGrid(std::move(emptied));
    for (QLineEdit* edit : {SheetNameEdit, sheetnameOutEdit, NoCyclesEdit})
        edit->clear();
    for (QWidget* stale :
         std::initializer_list<QWidget*>{NextButton1, NextButton2, ChannelLabel, ChannelOutLabel, ExportedLabel,
                                         NumCharLabel, NowLabel, NumCharsEdit, sheetsCB})
        stale->hide();
    sheetsCB->clear();
    resetExportNote();
    m_findings.clear();
    m_plotTitle.clear();
    for (WellCheckList* wells : {Wells96CB, Wells384CB})
        wells->setFindings({});
}

void TForm1::forgetPreviousFile()
{
    // Nothing on screen may come from another file than the one shown: besides the conversion,
    // the lists, ticks, layout, fields and the workbook chosen for it go.
    forgetConversion();
    MoreProgsLabel->hide();
    clearProgramLists();
    ProgsListBox->hide();
    // The current well and the plot's view belong to the file before.
    for (WellCheckList* wells : {Wells96CB, Wells384CB}) {
        wells->setAllTicked(false);
        wells->setCurrentRow(-1);
    }
    CurvePlot1->highlightWell(QString());
    CurvePlot1->resetView();
    resetPlateFields();
    forgetWorkbook();
    m_layout.reset();
    m_layoutNamesChanged = 0;
    showLayout();
}

void TForm1::OpenButtonClick(QObject*)
{
    const QString path = m_dialogs->openFileName(this, QString(), lastFolder(),
                                                 QStringLiteral("LightCycler 480 raw data (*.txt);;All Files (*)"));
    // Cancelled: the file shown, its program and channel chosen stay as they are.
    if (path.isEmpty())
        return;
    openRawFile(path);
}

void TForm1::Open1Click(QObject* Sender)
{
    // From another page: a new file is shown where it is converted, also when its programs are
    // refused after it was read.
    const auto before = m_rawText;
    const auto show = qScopeGuard([&] {
        if (m_rawText != before)
            PageControl1->setPage(0);
    });
    OpenButtonClick(Sender);
}

namespace {
// What a partly filled plate needs from the user; the channels of the file are listed then, too.
const char* const kChoosePlateSizeNext = "\n\nChoose the plate size (96 or 384) under \"Plate Size\", then press "
                                         "\"Determine Progs\".";
} // namespace

void TForm1::openRawFile(const QString& path)
{
    if (!path.isEmpty())
        loadRawFile(path);

    const auto recognised = unwrap(morvane::recognisePlateSize(*m_rawText));
    setPlateSizeIndex(-1);
    if (!recognised) {
        warning(QStringLiteral("Plate format not recognised") + QString::fromLatin1(kChoosePlateSizeNext));
        return;
    }
    setPlateSizeIndex(plateSizeIndexOf(*recognised));

    const auto plate = morvane::plateChange(*recognised, ResultSG->grid().rowCount());
    stoprow->setText(QString::fromStdString(plate.stopRow));
    stopcol->setText(QString::fromStdString(plate.stopCol));
    ProgressBar->setRange(0, static_cast<int>(m_rawText->lineCount()));
    ProgressBar->setValue(0);

    DetermineProgsButtonClick(OpenButton);
}

namespace {
const char* const kNoFileLoaded = "No raw data file is loaded; open one with \"Open text File\" first";
// A partly filled plate is not recognised: its size is the user's to choose before a conversion.
const char* const kChoosePlateSize = "Choose the plate size (96 or 384) under \"Plate Size\" first";
} // namespace

// Empties the program and channel lists without their change handlers, which would take the
// emptying for the user's choice, and drops the programs found.
void TForm1::clearProgramLists()
{
    const QSignalBlocker programs(ProgsListBox);
    const QSignalBlocker channels(ChannelsListBox);
    ProgsListBox->clear();
    ChannelsListBox->clear();
    ChannelsListBox->hide();
    ChannelsLabel->hide();
    m_programs.reset();
}

void TForm1::DetermineProgsButtonClick(QObject*)
{
    if (!m_rawText)
        throw HandlerError(kNoFileLoaded);
    clearProgramLists();
    // Each detection rebuilds the list; selecting its first item is not the user's choice, so
    // it does not pass through ProgsListBoxClick.
    const QSignalBlocker blocker(ProgsListBox);
    auto programs = unwrap(morvane::detectPrograms(*m_rawText));

    ProgColFromEnd = programs.progColFromEnd;
    for (const morvane::OfferedRun& run : programs.runs)
        ProgsListBox->addItem(QString::fromStdString(run.label()));
    ProgsListBox->setCurrentRow(0);
    for (const std::string& channel : programs.columns.channels)
        ChannelsListBox->addItem(QString::fromStdString(channel));
    ChannelsListBox->setCurrentRow(0);
    ChannelsListBox->setVisible(programs.columns.severalChannels());
    ChannelsLabel->setVisible(programs.columns.severalChannels());
    SelectedProg = programs.runs.front().program;
    SelectedSeg = programs.runs.front().segment;
    ProgsListBox->setVisible(programs.offersChoice());
    MoreProgsLabel->setVisible(programs.offersChoice());
    m_programs = std::make_shared<const morvane::ProgramList>(std::move(programs));
    if (plateSizeIndex() == -1)
        warning(QStringLiteral("%1 program%2 found. %3, then press \"Convert to Grid\".")
                    .arg(m_programs->runs.size())
                    .arg(m_programs->runs.size() == 1 ? QString() : QStringLiteral("s"),
                         QString::fromLatin1(kChoosePlateSize)),
                DialogService::Buttons::Ok);
}

void TForm1::ProgsListBoxClick(QObject*)
{
    const int row = ProgsListBox->currentRow();
    if (m_programs && row >= 0 && row < int(m_programs->runs.size())) {
        SelectedProg = m_programs->runs[std::size_t(row)].program;
        SelectedSeg = m_programs->runs[std::size_t(row)].segment;
    }
    forgetConversion();
}

void TForm1::ChannelsListBoxClick(QObject*)
{
    // The tables show the channel converted before: "Convert to Grid" makes them anew.
    forgetConversion();
}

void TForm1::ConvertButtonClick(QObject*)
{
    if (m_converting)
        return;
    // Emptied and cut to 2 x 2 cells; from now on only the well column is fixed.
    clearstringgrid(ResultSG);
    morvane::Grid emptied = ResultSG->grid();
    emptied.resize(2, 2);
    emptied.setFixed(1, 1);
    ResultSG->setGrid(std::move(emptied));
    m_findings.clear();
    for (WellCheckList* wells : {Wells96CB, Wells384CB})
        wells->setFindings({});

    if (!m_rawText)
        throw HandlerError(kNoFileLoaded);
    const int row = ProgsListBox->currentRow();
    if (!m_programs || row < 0 || row >= int(m_programs->runs.size()))
        throw HandlerError(plateSizeIndex() == -1
                               ? QStringLiteral("%1, then press \"Determine Progs\"").arg(kChoosePlateSize)
                               : QStringLiteral("No program is selected; press \"Determine Progs\" first"));
    SelectedProg = m_programs->runs[std::size_t(row)].program;
    SelectedSeg = m_programs->runs[std::size_t(row)].segment;

    // The conversion drains the message queue after each well; meanwhile no second conversion
    // and no new file may start under it.
    const WaitCursor wait;
    m_converting = true;
    setConversionCommandsEnabled(false);
    const auto done = qScopeGuard([this] {
        m_converting = false;
        setConversionCommandsEnabled(true);
    });
    const auto text = m_rawText;
    const auto programs = m_programs;

    const auto& channels = programs->columns.channels;
    const int channel = selectedChannel();
    const std::string channelName = channels.at(std::size_t(channel));
    // Cut as morvane-convert cuts it: a name the export would refuse is no proposal.
    const std::string proposed = morvane::proposedSheetName(
        *text, *programs, channel, SelectedSeg ? programs->runs[std::size_t(row)].segmentText : std::string());
    const QString name = QString::fromStdString(
        std::string(morvane::cutToUtf16Units(proposed, std::size_t(morvane::kMaxSheetNameLength))));
    SheetNameEdit->setText(name);
    SheetNameEdit->home(false);
    sheetnameOutEdit->setText(name);
    sheetnameOutEdit->home(false);

    auto checked = unwrap(morvane::convertAndCheck(*text, *programs, {SelectedProg, SelectedSeg, channel},
                                                   chosenPlate(plateSizeIndex()), [this](std::size_t line) {
                                                       ProgressBar->setValue(int(line));
                                                       pumpmessages();
                                                   }));
    auto& table = checked.table;
    const std::string& plateWarning = checked.plateWarning;
    m_findings = std::move(checked.findings);
    readMeltPeaks(*text, *programs, channel);
    if (m_layout)
        m_layoutNamesChanged = morvane::applySampleNames(table.grid, *m_layout);
    ResultSG->setGrid(std::move(table.grid));
    ResultSG->setMarks(findingMarks(m_findings));
    if (m_layout)
        showLayout();
    const auto wellFindings = morvane::findingsByWell(m_findings);
    for (WellCheckList* wells : {Wells96CB, Wells384CB})
        wells->setFindings(wellFindings);
    NoCyclesEdit->setText(QString::number(table.cycles));
    m_plotTitle = QStringLiteral("%1, channel %2")
                      .arg(QString::fromStdString(morvane::experimentName(*text)), QString::fromStdString(channelName));
    const QString channelText = QStringLiteral("channel: ") + QString::fromStdString(channelName);
    // Said only where there is a choice of channel, like the channel list itself.
    for (ElidedLabel* label : {ChannelLabel, ChannelOutLabel}) {
        label->setFullText(channelText);
        label->setVisible(programs->columns.severalChannels());
    }
    if (!plateWarning.empty())
        warning(QString::fromStdString(plateWarning), DialogService::Buttons::Ok);
    // Said, never mended: the user decides which wells to export.
    if (!m_findings.empty())
        warning(QString::fromStdString(morvane::windowWarning(m_findings)), DialogService::Buttons::Ok);

    if (plateSizeIndex() == -1) {
        warning(QStringLiteral("Give plate format before proceeding"));
        return;
    }
    NextButton1->show();
    NextButton1->setFocus();
}

void TForm1::readMeltPeaks(const morvane::RawText& text, const morvane::ProgramList& programs, int channel)
{
    m_meltPeaks.clear();
    // The melt peaks are something to look at: a melt program that cannot be read leaves the
    // conversion alone and says why in the switch's tooltip.
    const auto melt = morvane::readMeltProgram(text, programs);
    if (!melt)
        m_noMeltPeaks = QStringLiteral("Melt peaks: the melt program cannot be read (%1)")
                            .arg(QString::fromStdString(morvane::describe(melt.error())));
    else if (!*melt)
        m_noMeltPeaks = QStringLiteral("Melt peaks: this export has no melt program");
    else {
        m_meltPeaks = morvane::analyseMeltCurves(**melt, std::size_t(channel));
        m_meltChannel = std::size_t(channel) < programs.columns.channels.size()
                            ? programs.columns.channels[std::size_t(channel)]
                            : std::string();
    }
}

int TForm1::selectedChannel() const
{
    return std::max(0, ChannelsListBox->currentRow());
}

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
    Open1->setEnabled(enabled);
}
