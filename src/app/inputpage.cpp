// Page 1: the commands to open and convert a raw data file, the file itself, and the well table
// the conversion fills.

#include "app/controls.h"
#include "app/elidedlabel.h"
#include "app/memoview.h"
#include "app/stringgrid.h"
#include "app/tform1.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

using namespace controls;

namespace {

// The upper part: the command strip over the raw text.
constexpr int kUpperPartHeight = 337;
constexpr int kCommandStripHeight = 64;
constexpr Padding kCommandStripPadding{.margins = {16, 4, 16, 4}, .spacing = 8};
constexpr QSize kOpenButtonSize = buttonSize(121);
constexpr int kGapAfterOpenButton = 19;
constexpr QSize kPlateSizeBoxSize{161, 49};
constexpr QMargins kPlateSizeBoxMargins{8, 0, 8, 2};
// Wide enough for a program read in several segments ("2 / segment 1 (95 °C)").
constexpr QSize kProgramListSize{161, 49};
constexpr QSize kChannelListSize{97, 49};
constexpr int kMoreProgsLabelWidth = 175;
constexpr int kGapBeforeConvertButton = 8;
constexpr QSize kConvertButtonSize = buttonSize(161);
constexpr QSize kDetermineProgsButtonSize = buttonSize(113);

// The strip over the well table: the sheet name, the cycle count and the progress.
constexpr int kTableStripHeight = 41;
constexpr Padding kTableStripPadding{.margins = {16, 4, 16, 4}, .spacing = 7};
constexpr int kSheetNameWidth = 161;
constexpr int kGapAfterSheetName = 16;
constexpr int kCycleCountWidth = 97; // shows its start text "NoCyclesEdit" whole
constexpr QSize kProgressBarSize{865, 16};
constexpr int kProgressBarMinWidth = 200;
constexpr int kProgressBarStretch = 100;

// Until a conversion: a heading row, and the well and sample columns fixed.
constexpr GridShape kEmptyWellTable{.rows = 2, .cols = 47, .fixedRows = 1, .fixedCols = 2};

} // namespace

QWidget* TForm1::buildInputPage()
{
    Panel3 = fixedHeightPanel("Panel3", kCommandStripHeight);
    OpenButton = button("OpenButton", QStringLiteral("Open text File"), kOpenButtonSize);
    PlateSizeRG = named(new QGroupBox(QStringLiteral(" Plate Size")), "PlateSizeRG");
    PlateSizeRG->setFixedSize(kPlateSizeBoxSize);
    m_plateSizeButtons = new QButtonGroup(this);
    auto* plateSizes = new QHBoxLayout(PlateSizeRG);
    plateSizes->setContentsMargins(kPlateSizeBoxMargins);
    // The button ids are the plate size indexes.
    for (int i = 0; i < 2; ++i) {
        auto* radio = new QRadioButton(i == 0 ? QStringLiteral("96") : QStringLiteral("384"));
        radio->setObjectName(i == 0 ? QStringLiteral("PlateSize96") : QStringLiteral("PlateSize384"));
        m_plateSizeButtons->addButton(radio, i);
        plateSizes->addWidget(radio);
    }
    MoreProgsLabel = label("MoreProgsLabel", QStringLiteral("More  Prog#'s detected, please choose"));
    // On two lines, so that the channel list and its caption fit beside it.
    MoreProgsLabel->setWordWrap(true);
    MoreProgsLabel->setFixedWidth(kMoreProgsLabelWidth);
    MoreProgsLabel->setToolTip(QStringLiteral("The first well reads more than one program (or a program in several "
                                              "segments): choose the one to convert in the list beside"));
    MoreProgsLabel->hide();
    // "Next >" and the program list keep their room while hidden, so that showing them moves
    // nothing beside them.
    ProgsListBox = named(new QListWidget, "ProgsListBox");
    ProgsListBox->setFixedSize(kProgramListSize);
    ProgsListBox->setUniformItemSizes(true);
    ProgsListBox->setToolTip(QStringLiteral("Program to convert"));
    ProgsListBox->hide();
    // Shown only for an export of several channels, like the program list for several programs.
    ChannelsListBox = named(new QListWidget, "ChannelsListBox");
    ChannelsListBox->setFixedSize(kChannelListSize);
    ChannelsListBox->setUniformItemSizes(true);
    ChannelsListBox->setToolTip(QStringLiteral("Channel to convert"));
    ChannelsListBox->hide();
    ChannelsLabel = label("ChannelsLabel", QStringLiteral("Channel:"));
    ChannelsLabel->setBuddy(ChannelsListBox);
    ChannelsLabel->hide();
    ConvertButton = button("ConvertButton", QStringLiteral("Convert to Grid"), kConvertButtonSize);
    NextButton1 = nextButton("NextButton1");
    DetermineProgsButton = button("DetermineProgsButton", QStringLiteral("Determine Progs"), kDetermineProgsButtonSize);
    DetermineProgsButton->setToolTip(QStringLiteral("Find the programs of the file again: those of more than one "
                                                    "cycle, offered for the conversion"));

    auto* commands = lineLayout(Panel3, kCommandStripPadding);
    commands->addWidget(OpenButton);
    commands->addSpacing(kGapAfterOpenButton);
    commands->addWidget(PlateSizeRG);
    commands->addSpacing(kGapBeforeConvertButton);
    commands->addWidget(ConvertButton);
    commands->addWidget(NextButton1);
    // The lists that come and go stand right of the buttons, which so never move.
    commands->addWidget(MoreProgsLabel);
    commands->addWidget(ProgsListBox);
    commands->addWidget(ChannelsLabel);
    commands->addWidget(ChannelsListBox);
    for (QWidget* w : {static_cast<QWidget*>(NextButton1), static_cast<QWidget*>(MoreProgsLabel),
                       static_cast<QWidget*>(ProgsListBox)}) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }
    commands->addStretch(1);
    commands->addWidget(DetermineProgsButton);

    InputMemo = named(new MemoView, "InputMemo");
    Panel1 = fixedHeightPanel("Panel1", kUpperPartHeight);
    column(Panel1, Panel3, InputMemo);

    buildTableStrip();
    ResultSG = stringGrid("ResultSG", kEmptyWellTable);
    Panel2 = panel("Panel2");
    column(Panel2, Panel4, ResultSG);

    return page("TabSheetInput", Panel1, Panel2);
}

// The strip over the well table: the sheet name, the cycle count and the progress.
void TForm1::buildTableStrip()
{
    Panel4 = fixedHeightPanel("Panel4", kTableStripHeight);
    SheetNameEdit = edit("SheetNameEdit", QStringLiteral("SheetNameEdit"), kSheetNameWidth);
    SheetNameEdit->setToolTip(QStringLiteral("The sheet name proposed for the export: the experiment name (with the "
                                             "channel), cut to 31 characters; page 3 takes it"));
    auto* sheetNameLabel = label("SheetNameLabel", QStringLiteral("sheet name:"));
    sheetNameLabel->setBuddy(SheetNameEdit);
    NoCyclesEdit = edit("NoCyclesEdit", QStringLiteral("NoCyclesEdit"), kCycleCountWidth);
    NoCyclesEdit->setToolTip(QStringLiteral("The number of cycles the converted program reads"));
    auto* cyclesLabel = label("NoCyclesLabel", QStringLiteral("cycles:"));
    cyclesLabel->setBuddy(NoCyclesEdit);
    ChannelLabel = named(new ElidedLabel, "ChannelLabel");
    ChannelLabel->hide();
    ProgressBar = named(new QProgressBar, "ProgressBar");
    // Gives way to the channel label rather than widening the window.
    ProgressBar->setMaximumWidth(kProgressBarSize.width());
    ProgressBar->setFixedHeight(kProgressBarSize.height());
    ProgressBar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    ProgressBar->setMinimumWidth(kProgressBarMinWidth);
    ProgressBar->setTextVisible(false);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    auto* tableStrip = lineLayout(Panel4, kTableStripPadding);
    tableStrip->addWidget(sheetNameLabel);
    tableStrip->addWidget(SheetNameEdit);
    tableStrip->addSpacing(kGapAfterSheetName);
    tableStrip->addWidget(cyclesLabel);
    tableStrip->addWidget(NoCyclesEdit);
    tableStrip->addWidget(ProgressBar, kProgressBarStretch); // up to its full width before the strip's end
    tableStrip->addWidget(ChannelLabel);
    tableStrip->addStretch(1);
}
