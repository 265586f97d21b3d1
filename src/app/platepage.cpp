// Page 2: the plate map of the chosen size, and the commands that tick wells and extract them.

#include "app/controls.h"
#include "app/curveplot.h"
#include "app/tform1.h"
#include "app/wellchecklist.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <array>

using namespace controls;

namespace {

// The 384-well map spans the window; the 96-well one sits at the left below it.
constexpr int kWideMapStripHeight = 238; // with the line of column numbers
constexpr QMargins kWideMapStripMargins{0, 1, 0, 1};
constexpr QSize kWellMap384Size{1280, 223};
constexpr int kWellMap384ItemHeight = 13;
constexpr int kWellMap384FontPixels = 11;
constexpr int kNarrowMapBlockWidth = 889;
constexpr QMargins kNarrowMapBlockMargins{1, 0, 1, 0};
constexpr QSize kWellMap96Size{887, 144};
constexpr int kWellMap96ItemHeight = 16;

// The commands under the 96-well map.
constexpr Padding kCommandPadding{.margins = {8, 12, 12, 8}, .spacing = 7};
constexpr QSize kSelectButtonSize = buttonSize(161);
constexpr QSize kExtractButtonSize = buttonSize(229);
constexpr QSize kRangeButtonSize = buttonSize(169);
constexpr int kRangeEditWidth = 41;
constexpr int kRangeSpacing = 4;
constexpr int kRangeLineSpacing = 2;
constexpr int kGridSizeWarningPixels = 19;

// The curves take the room right of the commands; their own commands sit on two lines above.
constexpr Padding kPlotPadding{.margins = {4, 4, 4, 4}, .spacing = 7};
constexpr QSize kAutoscaleButtonSize = buttonSize(76);
constexpr QSize kSavePlotButtonSize = buttonSize(86);
// The sizes "Save plot..." offers, in pixels (PDF: points); the first is the default.
constexpr std::array<QSize, 4> kPlotSizes{QSize(1200, 800), QSize(800, 600), QSize(1600, 1200), QSize(2400, 1600)};

// Cells of the command grid.
enum CommandRow { kButtonRow, kNextRow, kRangeRow, kLayoutRow, kStretchRow };
enum CommandCol { kSelectAllCol, kSelectNoneCol, kStretchCol, kExtractCol };
// Cells of the range block: the captions, then the field for the row and for the column.
enum RangeRow { kHeadingRow, kFromRow, kThruRow, kSelectRangeRow, kRemoveRangeRow };
enum RangeCol { kCaptionCol, kRowLetterCol, kColNumberCol, kRangeCols };

} // namespace

// The 384-well map, on a strip of the window's width.
void TForm1::buildWideMapStrip()
{
    Panel9 = fixedHeightPanel("Panel9", kWideMapStripHeight);
    Wells384CB = named(new WellCheckList(morvane::PlateFormat::Wells384, kWellMap384ItemHeight), "Wells384CB");
    // At least as wide as the window opens, wider with a wider window: the wells' names need
    // the room.
    Wells384CB->setMinimumWidth(kWellMap384Size.width());
    Wells384CB->setFixedHeight(kWellMap384Size.height());
    Wells384CB->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    Wells384CB->setFont(pixelFont(kWellMap384FontPixels));
    Wells384CB->hide();
    Panel10 = panel("Panel10");
    auto* wideStrip =
        row(Panel9, column(nullptr, Wells384CB->columnNumbers(), Wells384CB), Panel10, kWideMapStripMargins);
    // The map takes the strip's width; the empty panel only what the map cannot use.
    wideStrip->setStretch(0, 1);
    wideStrip->setStretch(1, 0);
}

// The selection commands below the 96-well map: select all or none, a range, extraction, and
// the plate layout.
void TForm1::buildPlateCommands()
{
    Panel8 = panel("Panel8");
    SelectAllButton = button("SelectAllButton", QStringLiteral("Select All"), kSelectButtonSize);
    SelectNoneButton = button("SelectNoneButton", QStringLiteral("Select None"), kSelectButtonSize);
    ExtractButton = button("ExtractButton", QStringLiteral("Extract Selected Wells"), kExtractButtonSize);
    NextButton2 = nextButton("NextButton2");
    // Its room is kept while hidden: showing it after an extraction must not move the range and
    // layout commands under the pointer.
    QSizePolicy keepRoom = NextButton2->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    NextButton2->setSizePolicy(keepRoom);
    NextButton2->hide();
    Label4 = label("Label4", QStringLiteral("A"));
    Label5 = label("Label5", QStringLiteral("1"));
    Label1 = label("Label1", QStringLiteral("from"));
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label3 = label("Label3", QStringLiteral("thru"));
    Label3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    startrow = edit("startrow", QString(), kRangeEditWidth);
    startcol = edit("startcol", QString(), kRangeEditWidth);
    stoprow = edit("stoprow", QStringLiteral("P"), kRangeEditWidth);
    stopcol = edit("stopcol", QStringLiteral("24"), kRangeEditWidth);
    // Tag 1 marks a row-letter field.
    startrow->setProperty("Tag", 1);
    stoprow->setProperty("Tag", 1);
    startcol->setProperty("Tag", 0);
    stopcol->setProperty("Tag", 0);
    SelectRangeButton = button("SelectRangeButton", QStringLiteral("Select Range"), kRangeButtonSize);
    RemoveRangeButton = button("RemoveRangeButton", QStringLiteral("Remove Range"), kRangeButtonSize);
    GridSizeWarninglabel =
        warningLabel("GridSizeWarninglabel", QStringLiteral("GridSizeWarninglabel"), kGridSizeWarningPixels);
    GridSizeWarninglabel->hide();

    auto* commands = gridLayout(Panel8, kCommandPadding);
    commands->addWidget(SelectAllButton, kButtonRow, kSelectAllCol);
    commands->addWidget(SelectNoneButton, kButtonRow, kSelectNoneCol);
    commands->addWidget(ExtractButton, kButtonRow, kExtractCol, Qt::AlignRight);
    commands->addWidget(NextButton2, kNextRow, kExtractCol, Qt::AlignRight);

    auto* range = new QGridLayout;
    range->setHorizontalSpacing(kRangeSpacing);
    range->setVerticalSpacing(kRangeLineSpacing);
    range->addWidget(Label4, kHeadingRow, kRowLetterCol, Qt::AlignHCenter);
    range->addWidget(Label5, kHeadingRow, kColNumberCol, Qt::AlignHCenter);
    range->addWidget(Label1, kFromRow, kCaptionCol);
    range->addWidget(startrow, kFromRow, kRowLetterCol);
    range->addWidget(startcol, kFromRow, kColNumberCol);
    range->addWidget(Label3, kThruRow, kCaptionCol);
    range->addWidget(stoprow, kThruRow, kRowLetterCol);
    range->addWidget(stopcol, kThruRow, kColNumberCol);
    range->addWidget(SelectRangeButton, kSelectRangeRow, kCaptionCol, 1, kRangeCols, Qt::AlignRight);
    range->addWidget(RemoveRangeButton, kRemoveRangeRow, kCaptionCol, 1, kRangeCols, Qt::AlignRight);
    commands->addLayout(range, kRangeRow, kSelectAllCol, 1, 1, Qt::AlignLeft | Qt::AlignTop);
    // The warning spans from the second column to the last.
    commands->addWidget(GridSizeWarninglabel, kRangeRow, kSelectNoneCol, 1, kExtractCol - kSelectNoneCol + 1,
                        Qt::AlignLeft | Qt::AlignVCenter);
    commands->addWidget(buildLayoutBox(), kLayoutRow, kSelectAllCol, 1, kExtractCol - kSelectAllCol + 1);
    commands->setColumnStretch(kStretchCol, 1);
    commands->setRowStretch(kStretchRow, 1);
    resetPlateFields();
}

void TForm1::resetPlateFields()
{
    // The range ends follow the plate size (PlateSizeRGClick).
    startrow->setText(QStringLiteral("A"));
    startcol->setText(QStringLiteral("1"));
    for (QLineEdit* field : {LayoutSampleEdit, LayoutTargetEdit, LayoutQuantityEdit})
        field->clear();
    for (QComboBox* list : {LayoutSampleTypeCB, LayoutTargetTypeCB, LayoutUnitCB})
        list->setCurrentIndex(0);
}

// The curves of the ticked wells and their commands.
void TForm1::buildPlotPanel()
{
    Panel5 = panel("Panel5");
    CurvePlot1 = named(new CurvePlot, "CurvePlot1");
    LogScaleCB = named(new QCheckBox(QStringLiteral("log scale")), "LogScaleCB");
    LogScaleCB->setChecked(true);
    AutoscaleButton = button("AutoscaleButton", QStringLiteral("Autoscale"), kAutoscaleButtonSize);
    AutoscaleButton->setToolTip(QStringLiteral("Show all the curves again (or double-click the plot)"));
    CurveKindCB = curveKindSwitch("CurveKindCB");
    auto* plotCommands = new QHBoxLayout;
    plotCommands->setSpacing(kPlotPadding.spacing);
    plotCommands->addWidget(CurveKindCB);
    plotCommands->addWidget(LogScaleCB);
    plotCommands->addWidget(AutoscaleButton);
    plotCommands->addStretch(1);
    SavePlotButton = button("SavePlotButton", QStringLiteral("Save plot..."), kSavePlotButtonSize);
    SavePlotButton->setToolTip(
        MORVANE_HAVE_SVG ? QStringLiteral("Save the curves shown as a PNG, PDF or SVG file of the size beside")
                         : QStringLiteral("Save the curves shown as a PNG or PDF file of the size beside"));
    PlotSizeCB = named(new QComboBox, "PlotSizeCB");
    PlotSizeCB->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    PlotSizeCB->setMinimumContentsLength(9);
    for (const QSize size : kPlotSizes)
        PlotSizeCB->addItem(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height()), size);
    // A line of their own, so the window can still be narrowed to the 384-well map.
    auto* saveCommands = new QHBoxLayout;
    saveCommands->setSpacing(kPlotPadding.spacing);
    saveCommands->addWidget(SavePlotButton);
    saveCommands->addWidget(PlotSizeCB);
    saveCommands->addStretch(1);
    auto* plotBox = new QVBoxLayout(Panel5);
    plotBox->setContentsMargins(kPlotPadding.margins);
    plotBox->addLayout(plotCommands);
    plotBox->addLayout(saveCommands);
    plotBox->addWidget(CurvePlot1, 1);
}

QWidget* TForm1::buildPlatePage()
{
    buildWideMapStrip();
    Panel6 = panel("Panel6");
    Panel6->setFixedWidth(kNarrowMapBlockWidth);
    Wells96CB = named(new WellCheckList(morvane::PlateFormat::Wells96, kWellMap96ItemHeight), "Wells96CB");
    Wells96CB->setFixedSize(kWellMap96Size);
    Wells96CB->hide();

    buildPlateCommands();
    column(Panel6, column(nullptr, Wells96CB->columnNumbers(), Wells96CB), Panel8, kNarrowMapBlockMargins);
    buildPlotPanel();
    return page("TabSheetPlateDesign", Panel9, row(nullptr, Panel6, Panel5));
}
