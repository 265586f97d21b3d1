// Page 3: the extracted wells, and the commands that add them to a workbook as a sheet.

#include "app/controls.h"
#include "app/curveplot.h"
#include "app/elidedlabel.h"
#include "app/stringgrid.h"
#include "app/tform1.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

using namespace controls;

namespace {

constexpr int kCommandStripHeight = 105;
constexpr Padding kCommandStripPadding{.margins = {24, 8, 24, 8}, .spacing = 7};
// Cells of the command strip: the note over everything, the workbook line, the export line.
enum StripRow { kNoteRow, kWorkbookRow, kExportRow };
enum StripCol { kButtonCol, kCaptionCol, kSheetNameCol, kNowCol, kCharCountCol, kSheetListCol, kStretchCol, kCloseCol };
constexpr int kNotePixels = 24;
constexpr QSize kWorkbookButtonSize = buttonSize(97);
constexpr QSize kExportButtonSize = buttonSize(145);
constexpr int kSheetNameWidth = 257;
constexpr int kCharCountWidth = 97;
constexpr int kSheetListWidth = 233;
constexpr QSize kCloseButtonSize = buttonSize(131);
constexpr QSize kSaveRdmlButtonSize = buttonSize(145);
// Round the plot under the table and its switch.
constexpr QMargins kPlotMargins{0, 4, 0, 0};
// The channel's name stays whole up to this width beside the long name of the sheet written.
constexpr int kChannelWidthKept = 160;

// Until an extraction: an empty table with its heading row and column.
constexpr GridShape kEmptyTable{.rows = 2, .cols = 2, .fixedRows = 1, .fixedCols = 1};

// A splitter's own first sharing follows its parts' size hints, which give a table of many rows
// nearly all of it; this shares it half and half once the page is first shown at its size.
class HalvedAtFirstShow final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            auto* splitter = static_cast<QSplitter*>(watched);
            const int half = splitter->height() / 2;
            splitter->setSizes({half, half});
            watched->removeEventFilter(this);
        }
        return false;
    }
};

} // namespace

QWidget* TForm1::buildExportPage()
{
    Panel7 = fixedHeightPanel("Panel7", kCommandStripHeight);
    // The sheet goes into a workbook file the user chooses, not into a running Excel.
    InfoLabel = warningLabel("InfoLabel", QString::fromLatin1(kExportNoteText), kNotePixels);
    ExportButton = button("ExportButton", QStringLiteral("Export to Excel"), kExportButtonSize);
    Label2 = label("Label2", QStringLiteral("sheet name: "));
    sheetnameOutEdit = edit("sheetnameOutEdit", QStringLiteral("sheetnameOutEdit"), kSheetNameWidth);
    NumCharLabel = label("NumCharLabel", QStringLiteral("number of characters"));
    NumCharLabel->hide();
    NowLabel = label("NowLabel", QStringLiteral("now:"));
    NowLabel->hide();
    NumCharsEdit = edit("NumCharsEdit", QStringLiteral("NumCharsEdit"), kCharCountWidth);
    NumCharsEdit->hide();
    // The count shown after a name too long keeps its room while hidden, so nothing beside it moves.
    for (QWidget* count : {static_cast<QWidget*>(NowLabel), static_cast<QWidget*>(NumCharsEdit)}) {
        QSizePolicy keepRoom = count->sizePolicy();
        keepRoom.setRetainSizeWhenHidden(true);
        count->setSizePolicy(keepRoom);
    }
    sheetsCB = named(new QComboBox, "sheetsCB");
    sheetsCB->setEditable(true);
    sheetsCB->setEditText(QStringLiteral("sheetsCB"));
    sheetsCB->setFixedWidth(kSheetListWidth);
    sheetsCB->hide();
    CloseButton = button("CloseButton", QStringLiteral("Close"), kCloseButtonSize);
    WorkbookButton = button("WorkbookButton", QStringLiteral("Workbook..."), kWorkbookButtonSize);
    WorkbookButton->setToolTip(QStringLiteral("Choose the workbook that the next export adds its sheet to"));
    WorkbookLabel = named(new ElidedLabel, "WorkbookLabel");
    WorkbookLabel->setFullText(QString::fromLatin1(kNoWorkbookText));
    WorkbookLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ExportedLabel = named(new ElidedLabel, "ExportedLabel");
    ExportedLabel->hide();
    SaveRdmlButton = button("SaveRdmlButton", QStringLiteral("Save as RDML..."), kSaveRdmlButtonSize);
    SaveRdmlButton->setToolTip(QStringLiteral("Save the wells of this table with every channel as RDML (.rdml) or "
                                              "as an RDES table (.tsv)"));
    ChannelOutLabel = named(new ElidedLabel, "ChannelOutLabel");
    ChannelOutLabel->setWidthKept(kChannelWidthKept);
    ChannelOutLabel->hide();

    auto* strip = gridLayout(Panel7, kCommandStripPadding);
    // The note spans the strip: its texts differ in length, and a column sized by it would move
    // "Save as RDML..." under the pointer after an export.
    strip->addWidget(InfoLabel, kNoteRow, kButtonCol, 1, kCloseCol + 1, Qt::AlignLeft);
    strip->addWidget(NumCharLabel, kWorkbookRow, kNowCol, 1, 2, Qt::AlignLeft | Qt::AlignBottom);
    strip->addWidget(ExportButton, kExportRow, kButtonCol);
    strip->addWidget(Label2, kExportRow, kCaptionCol, Qt::AlignRight);
    strip->addWidget(sheetnameOutEdit, kExportRow, kSheetNameCol);
    strip->addWidget(NowLabel, kExportRow, kNowCol);
    strip->addWidget(NumCharsEdit, kExportRow, kCharCountCol);
    strip->addWidget(sheetsCB, kExportRow, kSheetListCol);
    RdmlVersionCB = named(new QComboBox, "RdmlVersionCB");
    RdmlVersionCB->addItems({QStringLiteral("RDML 1.3"), QStringLiteral("RDML 1.4")});
    RdmlVersionCB->setToolTip(QStringLiteral("1.3 is the released standard; 1.4 is what the RDML consortium's "
                                             "amplification analysis reads"));
    auto* rdml = new QHBoxLayout;
    rdml->addWidget(SaveRdmlButton);
    rdml->addWidget(RdmlVersionCB);
    strip->addLayout(rdml, kExportRow, kStretchCol, Qt::AlignLeft);
    strip->addWidget(CloseButton, kExportRow, kCloseCol);
    strip->addWidget(WorkbookButton, kWorkbookRow, kButtonCol, Qt::AlignLeft | Qt::AlignBottom);
    // The workbook's path takes the width of the sheet name's caption and box, whatever its length.
    WorkbookLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    strip->addWidget(WorkbookLabel, kWorkbookRow, kCaptionCol, 1, 2, Qt::AlignBottom);
    // The channel and the sheet just written share the room right of the character count; each
    // is cut when long, so neither widens the page.
    auto* done = new QHBoxLayout;
    done->setSpacing(kCommandStripPadding.spacing * 2);
    done->addWidget(ChannelOutLabel, 0, Qt::AlignBottom);
    done->addWidget(ExportedLabel, 0, Qt::AlignBottom);
    done->addStretch(1);
    strip->addLayout(done, kWorkbookRow, kSheetListCol, 1, kCloseCol - kSheetListCol + 1);
    strip->setColumnStretch(kStretchCol, 1);

    ExportSelectSG = stringGrid("ExportSelectSG", kEmptyTable);
    ExportSelectSG->setColumnSizing(true);

    // Under the table, the curves of its rows; the user looks, the plate map is on page 2.
    ExportPlot = named(new CurvePlot, "ExportPlot");
    ExportPlot->setInteraction(QCP::iSelectPlottables, false);
    ExportCurveKindCB = curveKindSwitch("ExportCurveKindCB");
    auto* curves = new QWidget;
    auto* curvesBox = new QVBoxLayout(curves);
    curvesBox->setContentsMargins(kPlotMargins);
    curvesBox->addWidget(ExportCurveKindCB, 0, Qt::AlignLeft);
    curvesBox->addWidget(ExportPlot, 1);
    auto* body = named(new QSplitter(Qt::Vertical), "ExportSplitter");
    body->addWidget(ExportSelectSG);
    body->addWidget(curves);
    body->setChildrenCollapsible(false);
    // Half and half, whatever the table's and the plot's own wishes; the user drags the line
    // between them.
    body->setStretchFactor(0, 1);
    body->setStretchFactor(1, 1);
    body->installEventFilter(new HalvedAtFirstShow(body));

    return page("TabSheetExport", Panel7, body);
}
