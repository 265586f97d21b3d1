// The window's commands of the second page: plate format, range selection, extraction.

#include "app/curveplot.h"
#include "app/filepath.h"
#include "app/findingmarks.h"
#include "app/platesizeindex.h"
#include "app/stringgrid.h"
#include "app/tform1.h"
#include "app/wellchecklist.h"
#include "common/text.h"
#include "export/atomicsave.h"
#include "export/filekind.h"
#include "layout/controlmelt.h"
#include "plate/curves.h"
#include "plate/extraction.h"
#include "plate/plate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>
#include <map>

WellCheckList* TForm1::currentWellList() const
{
    return plateSizeIndex() == 0 ? Wells96CB : Wells384CB;
}

void TForm1::PlateSizeRGClick(QObject*)
{
    const auto change = morvane::plateChange(chosenPlate(plateSizeIndex()), ResultSG->grid().rowCount());
    Wells384CB->setVisible(change.show384);
    Wells96CB->setVisible(change.show96);
    // The 384-well strip stands empty over a 96-well plate: its room goes to the map and the curves.
    Panel9->setVisible(!change.show96);
    if (change.showNextButton) {
        NextButton1->show();
        NextButton1->setFocus();
    }
    stoprow->setText(QString::fromStdString(change.stopRow));
    stopcol->setText(QString::fromStdString(change.stopCol));
    updateCurves();
}

void TForm1::wellTableChanged()
{
    m_sampleColours.update(ResultSG->grid());
    const auto wells = morvane::curvesOf(ResultSG->grid(), {}, &m_sampleColours);
    // An empty table is one before any conversion (or of a new file): the maps stay as they are.
    if (wells.empty()) {
        m_meltPeaks.clear();
        m_noMeltPeaks = QStringLiteral("Melt peaks: convert a run first");
    }
    const auto melt = morvane::meltPeakCurves(ResultSG->grid(), m_meltPeaks, {}, &m_sampleColours);
    for (WellCheckList* map : {Wells96CB, Wells384CB}) {
        map->setWellData(wells.empty() ? nullptr : &wells);
        map->setMeltPeaks(m_meltPeaks.empty() ? nullptr : &melt);
    }
    showControlPeaks();
    updateMeltSwitches();
    updateCurves();
    updateExportCurves();
}

void TForm1::showControlPeaks()
{
    std::map<std::string, QString> notes;
    if (m_layout)
        for (const morvane::ControlMelt& control : morvane::controlMeltPeaks(*m_layout, m_meltChannel, m_meltPeaks))
            notes.emplace(morvane::foldAscii(control.well), QString::fromStdString(control.note));
    for (WellCheckList* map : {Wells96CB, Wells384CB})
        map->setControlPeaks(notes);
}

void TForm1::updateMeltSwitches()
{
    for (QComboBox* kind : {CurveKindCB, ExportCurveKindCB}) {
        const QSignalBlocker quiet(kind);
        const bool melt = !m_meltPeaks.empty();
        if (!melt)
            kind->setCurrentIndex(0);
        kind->setEnabled(melt);
        kind->setToolTip(melt ? QStringLiteral("Show the amplification curves or the melt peaks (-dF/dT against "
                                               "°C) of the wells")
                              : m_noMeltPeaks);
    }
    LogScaleCB->setEnabled(CurveKindCB->currentIndex() == 0);
}

void TForm1::CurveKindCBClick(QObject*)
{
    LogScaleCB->setEnabled(CurveKindCB->currentIndex() == 0);
    updateCurves();
}

void TForm1::updateExportCurves()
{
    const bool melt = ExportCurveKindCB->currentIndex() == 1 && !m_meltPeaks.empty();
    ExportPlot->setKind(melt ? CurveKind::MeltPeaks : CurveKind::Amplification);
    // Coloured as page 2 colours the samples, not by the order of this table.
    ExportPlot->setCurves(melt ? morvane::meltPeakCurves(ExportSelectSG->grid(), m_meltPeaks, {}, &m_sampleColours)
                               : morvane::curvesOf(ExportSelectSG->grid(), {}, &m_sampleColours));
}

void TForm1::updateCurves()
{
    // The ticked wells of the map in view; none ticked: every well of the table.
    std::vector<std::string> wells;
    if (plateSizeIndex() != -1) {
        const WellCheckList* map = currentWellList();
        for (int i = 0; i < map->count(); ++i)
            if (map->isTicked(i))
                wells.push_back(map->item(i)->text().toStdString());
    }
    // Ticked wells without a row give an empty plot, not every well: it shows what is ticked.
    const bool melt = CurveKindCB->currentIndex() == 1 && !m_meltPeaks.empty();
    if (CurvePlot1->kind() != (melt ? CurveKind::MeltPeaks : CurveKind::Amplification))
        CurvePlot1->setKind(melt ? CurveKind::MeltPeaks : CurveKind::Amplification);
    CurvePlot1->setCurves(melt ? morvane::meltPeakCurves(ResultSG->grid(), m_meltPeaks, wells, &m_sampleColours)
                               : morvane::curvesOf(ResultSG->grid(), wells, &m_sampleColours));
    if (QListWidgetItem* current = currentWellList()->currentItem())
        CurvePlot1->highlightWell(current->text());
}

void TForm1::LogScaleCBClick(QObject*)
{
    const auto scale = LogScaleCB->isChecked() ? morvane::CurveScale::Log : morvane::CurveScale::Linear;
    CurvePlot1->setScale(scale);
    ExportPlot->setScale(scale);
}

void TForm1::SavePlotButtonClick(QObject*)
{
    const QString path = askSavePath(QStringLiteral("Save plot"),
                                     // No SVG where Qt lacks its Svg module (the Windows build).
                                     QStringLiteral("PNG image (*.png);;PDF document (*.pdf)") +
                                         (MORVANE_HAVE_SVG ? QStringLiteral(";;SVG drawing (*.svg)") : QString()),
                                     true);
    if (path.isEmpty())
        return;
    rememberFolder(path);
    const QString type = QFileInfo(path).suffix().toLower();
    const auto kind = type == QLatin1String("pdf")   ? morvane::WrittenKind::PdfDocument
                      : type == QLatin1String("svg") ? morvane::WrittenKind::SvgDrawing
                                                     : morvane::WrittenKind::PngImage;
    // askSavePath has asked before an existing file is replaced; what is replaced must be an
    // image of the kind written, not a table or a workbook that happens to bear the name.
    unwrap(morvane::checkReplaceable(fileSystemPath(path), kind));
    const QByteArray bytes = CurvePlot1->imageFile(type, PlotSizeCB->currentData().toSize(), m_plotTitle);
    const QString failed = QStringLiteral("The plot could not be written to '%1'").arg(QDir::toNativeSeparators(path));
    if (bytes.isEmpty())
        throw HandlerError(failed);
    if (const morvane::Status saved =
            morvane::saveNewFile(fileSystemPath(path), std::string_view(bytes.constData(), std::size_t(bytes.size())),
                                 morvane::ExistingFile::Replace);
        !saved)
        throw HandlerError(failed + QStringLiteral(": ") + QString::fromStdString(morvane::describe(saved.error())));
    m_dialogs->message(this, DialogService::Icon::Information, QStringLiteral("Saved"),
                       QStringLiteral("The plot is saved as %1 in\n%2")
                           .arg(QString::fromStdString(morvane::kindText(kind)), QDir::toNativeSeparators(path)),
                       DialogService::Buttons::Ok);
}

void TForm1::CurvePlot1WellClick(const QString& well)
{
    WellCheckList* map = currentWellList();
    const auto found = map->findItems(well, Qt::MatchFixedString);
    if (!found.isEmpty())
        map->setCurrentItem(found.front());
}

void TForm1::col_rowinChange(QObject* Sender)
{
    auto* edit = qobject_cast<QLineEdit*>(Sender);
    if (!edit || edit->text().isEmpty())
        return;
    // The range edits: the one with Tag 1 holds row letters, the others column numbers.
    const bool letters = edit->property("Tag").toInt() == 1;
    const QString filtered = QString::fromStdString(morvane::filterRangeEdit(edit->text().toStdString(), letters));
    if (filtered != edit->text())
        edit->setText(filtered); // a change of its own: runs this handler again, which finds nothing to do
    edit->setCursorPosition(int(edit->text().size()));
}

void TForm1::SelectRangeButtonClick(QObject* Sender)
{
    const auto format = plateMapFor(plateSizeIndex());
    const auto range = morvane::readRange(format, startrow->text().toStdString(), stoprow->text().toStdString(),
                                          startcol->text().toStdString(), stopcol->text().toStdString());
    if (!range.ok()) {
        warning(QString::fromStdString(range.error().message), DialogService::Buttons::Ok);
        return;
    }
    // The two range buttons share this handler: only "SelectRangeButton" ticks.
    const auto command = Sender && Sender->objectName() == QLatin1String("SelectRangeButton")
                             ? morvane::RangeCommand::Select
                             : morvane::RangeCommand::Remove;
    currentWellList()->setTicked(morvane::rangeIndices(format, *range), morvane::ticks(command));
}

void TForm1::SelectAllButtonClick(QObject*)
{
    currentWellList()->setAllTicked(true);
}

void TForm1::SelectNoneButtonClick(QObject*)
{
    currentWellList()->setAllTicked(false);
}

void TForm1::ExtractButtonClick(QObject*)
{
    const auto ticks = currentWellList()->ticks();
    if (std::none_of(ticks.begin(), ticks.end(), [](bool ticked) { return ticked; })) {
        // Nothing to extract: say so rather than ask about the separator of an empty table.
        warning(QStringLiteral("No wells are ticked."), DialogService::Buttons::Ok);
        return;
    }
    const auto format = plateMapFor(plateSizeIndex());
    const char system = decimalSeparator();
    auto extraction = morvane::extractSelectedWells(ResultSG->grid(), format, ticks, system);
    ExportSelectSG->setGrid(std::move(extraction.table));
    markExportFindings();

    NextButton2->show();
    NextButton2->setFocus();
    NextButton2Click(ExtractButton);

    if (!extraction.missingWells.empty())
        warning(QString::fromStdString(morvane::missingWellsWarning(extraction.missingWells)),
                DialogService::Buttons::Ok);

    const auto wrong = extraction.wrongSeparator;
    if (wrong && confirm(QString::fromStdString(morvane::separatorQuestion(*wrong, system)))) {
        morvane::Grid repaired = ExportSelectSG->grid();
        morvane::repairSeparators(repaired, *wrong, system);
        ExportSelectSG->setGrid(std::move(repaired));
        markExportFindings();
    }
}

void TForm1::markExportFindings()
{
    ExportSelectSG->setMarks(
        findingMarks(morvane::findingsOnTable(m_findings, ResultSG->grid(), ExportSelectSG->grid())));
}

void TForm1::FormResize(QObject*)
{
    GridSizeWarninglabel->setText(QString::fromStdString(gridSizeWarning(frameGeometry().width())));
    GridSizeWarninglabel->show();
}
