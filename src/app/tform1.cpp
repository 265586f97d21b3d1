#include "app/tform1.h"

#include "app/controls.h"
#include "app/curveplot.h"
#include "app/filepath.h"
#include "app/memoview.h"
#include "app/pagecontrol.h"
#include "app/stringgrid.h"
#include "app/wellchecklist.h"
#include "export/excelcom.h"
#include "plate/curves.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>

#include <algorithm>

#include <utility>

namespace {

constexpr QPoint kWindowPosition{61, 158};
// Title bar and border included.
constexpr QSize kWindowOuterSize{1292, 689};
constexpr int kWindowFontPixels = 13;

QScrollArea* scrolling(QWidget* page)
{
    auto* area = new QScrollArea;
    area->setObjectName(page->objectName() + QStringLiteral("Scroll"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(page);
    return area;
}

} // namespace

QRect fittedPlace(const QRect& wanted, const QRect& available)
{
    const QSize size = wanted.size().boundedTo(available.size());
    const int left = std::clamp(wanted.left(), available.left(), available.left() + available.width() - size.width());
    const int top = std::clamp(wanted.top(), available.top(), available.top() + available.height() - size.height());
    return {QPoint(left, top), size};
}

TForm1::TForm1(Seams seams, QWidget* parent)
    : QMainWindow(parent), m_dialogs(seams.dialogs ? std::move(seams.dialogs) : std::make_unique<QtDialogService>()),
      m_settings(seams.settings ? std::move(seams.settings)
                                : std::make_unique<QSettings>(QStringLiteral("Fennwick"), QStringLiteral("Morvane"))),
      m_urlOpener(seams.urlOpener ? std::move(seams.urlOpener) : std::make_unique<DesktopUrlOpener>()),
      Excel1(std::make_unique<morvane::TExcelcom>())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(kWindowTitle));
    setAcceptDrops(true);
    // Ctrl+Tab and Ctrl+Shift+Tab change pages from anywhere in the window, also from controls
    // that would take the keys themselves (the tables, the plate maps, the memo).
    qApp->installEventFilter(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(controls::pixelFont(kWindowFontPixels));
    move(kWindowPosition);
    resize(kWindowOuterSize);

    buildMenu();
    PageControl1 = controls::named(new PageControl, "PageControl1");
    TabSheetInput = buildInputPage();
    TabSheetPlateDesign = buildPlatePage();
    TabSheetExport = buildExportPage();
    // Each page scrolls rather than holding the window at its own width: the window may be made
    // narrower than a page (then the 384-well map is cut and page 2 says so).
    PageControl1->addTab(scrolling(TabSheetInput), QStringLiteral("Input Text File and Conversion"));
    PageControl1->addTab(scrolling(TabSheetPlateDesign), QStringLiteral("Plate Design / Select Wells"));
    PageControl1->addTab(scrolling(TabSheetExport), QStringLiteral("Selected Wells / Export to Excel"));
    setCentralWidget(PageControl1);
    // Page 1 from the first frame, also behind the new-version notice that FormActivate may show.
    PageControl1->setPage(0);

    setTabOrders();
    connectHandlers();
}

TForm1::~TForm1() = default;

void TForm1::buildMenu()
{
    auto* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    Open1 = file->addAction(QStringLiteral("&Open..."));
    Open1->setObjectName(QStringLiteral("Open1"));
    Open1->setShortcut(QKeySequence::Open);
    eXit1 = file->addAction(QStringLiteral("e&Xit"));
    eXit1->setObjectName(QStringLiteral("eXit1"));
    auto* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    About1 = help->addAction(QStringLiteral("&About"));
    About1->setObjectName(QStringLiteral("About1"));
}

void TForm1::setTabOrders()
{
    auto chain = [](std::initializer_list<QWidget*> widgets) {
        QWidget* previous = nullptr;
        for (QWidget* w : widgets) {
            if (previous)
                QWidget::setTabOrder(previous, w);
            previous = w;
        }
    };
    // Pages 1 and 2 in the order they read, left to right and top to bottom.
    chain({OpenButton, m_plateSizeButtons->button(0), m_plateSizeButtons->button(1), ConvertButton, NextButton1,
           ProgsListBox, ChannelsListBox, DetermineProgsButton, InputMemo, SheetNameEdit, NoCyclesEdit, ResultSG});
    chain({Wells384CB,
           Wells96CB,
           SelectAllButton,
           SelectNoneButton,
           ExtractButton,
           NextButton2,
           startrow,
           startcol,
           stoprow,
           stopcol,
           SelectRangeButton,
           RemoveRangeButton,
           LayoutButton,
           SaveLayoutButton,
           LayoutSampleEdit,
           LayoutSampleTypeCB,
           LayoutTargetEdit,
           LayoutTargetTypeCB,
           LayoutQuantityEdit,
           LayoutUnitCB,
           ApplyLayoutButton,
           CurveKindCB,
           LogScaleCB,
           AutoscaleButton,
           SavePlotButton,
           PlotSizeCB});
    chain({ExportSelectSG, ExportButton, CloseButton, sheetnameOutEdit, sheetsCB, NumCharsEdit, WorkbookButton,
           SaveRdmlButton, RdmlVersionCB});
}

void TForm1::connectHandlers()
{
    auto onClick = [this](QPushButton* b, void (TForm1::*handler)(QObject*)) {
        connect(b, &QPushButton::clicked, this, [this, b, handler] { run([&] { (this->*handler)(b); }); });
    };
    // Page 1
    onClick(OpenButton, &TForm1::OpenButtonClick);
    onClick(ConvertButton, &TForm1::ConvertButtonClick);
    onClick(NextButton1, &TForm1::NextButton1Click);
    onClick(DetermineProgsButton, &TForm1::DetermineProgsButtonClick);
    connect(m_plateSizeButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            run([&] { PlateSizeRGClick(PlateSizeRG); });
    });
    // A click or a move with the arrow keys; the detection selects items with signals blocked.
    connect(ProgsListBox, &QListWidget::currentRowChanged, this,
            [this] { run([&] { ProgsListBoxClick(ProgsListBox); }); });
    connect(ChannelsListBox, &QListWidget::currentRowChanged, this,
            [this] { run([&] { ChannelsListBoxClick(ChannelsListBox); }); });

    // Page 2
    onClick(SelectAllButton, &TForm1::SelectAllButtonClick);
    onClick(SelectNoneButton, &TForm1::SelectNoneButtonClick);
    onClick(ExtractButton, &TForm1::ExtractButtonClick);
    onClick(NextButton2, &TForm1::NextButton2Click);
    onClick(SelectRangeButton, &TForm1::SelectRangeButtonClick);
    onClick(RemoveRangeButton, &TForm1::SelectRangeButtonClick);
    for (QLineEdit* e : {startrow, startcol, stoprow, stopcol})
        connect(e, &QLineEdit::textChanged, this, [this, e] { run([&] { col_rowinChange(e); }); });
    // The plot follows the ticks of the map in view and every new well table at once.
    for (WellCheckList* map : {Wells96CB, Wells384CB}) {
        connect(map, &WellCheckList::ticksChanged, this, [this, map] {
            if (map == currentWellList())
                run([&] { updateCurves(); });
        });
        connect(map, &QListWidget::currentItemChanged, this, [this, map](QListWidgetItem* current) {
            if (map == currentWellList())
                CurvePlot1->highlightWell(current ? current->text() : QString());
        });
    }
    connect(ResultSG->model(), &QAbstractItemModel::modelReset, this, [this] { run([&] { wellTableChanged(); }); });
    connect(CurvePlot1, &CurvePlot::wellClicked, this,
            [this](const QString& well) { run([&] { CurvePlot1WellClick(well); }); });
    connect(LogScaleCB, &QCheckBox::toggled, this, [this] { run([&] { LogScaleCBClick(LogScaleCB); }); });
    connect(CurveKindCB, &QComboBox::currentIndexChanged, this,
            [this] { run([&] { CurveKindCBClick(CurveKindCB); }); });
    connect(AutoscaleButton, &QPushButton::clicked, CurvePlot1, &CurvePlot::resetView);
    onClick(SavePlotButton, &TForm1::SavePlotButtonClick);
    onClick(LayoutButton, &TForm1::LayoutButtonClick);
    onClick(SaveLayoutButton, &TForm1::SaveLayoutButtonClick);
    onClick(ApplyLayoutButton, &TForm1::ApplyLayoutButtonClick);

    // Page 3
    onClick(ExportButton, &TForm1::ExportButtonClick);
    onClick(CloseButton, &TForm1::CloseButtonClick);
    onClick(WorkbookButton, &TForm1::WorkbookButtonClick);
    onClick(SaveRdmlButton, &TForm1::SaveRdmlButtonClick);
    connect(sheetnameOutEdit, &QLineEdit::textChanged, this,
            [this] { run([&] { sheetnameOutEditChange(sheetnameOutEdit); }); });

    // Page 3's plot shows the rows that will be written, as they stand after a separator repair.
    connect(ExportSelectSG->model(), &QAbstractItemModel::modelReset, this,
            [this] { run([&] { updateExportCurves(); }); });
    connect(ExportCurveKindCB, &QComboBox::currentIndexChanged, this, [this] { run([&] { updateExportCurves(); }); });

    connect(Open1, &QAction::triggered, this, [this] { run([&] { Open1Click(Open1); }); });
    connect(eXit1, &QAction::triggered, this, [this] { run([&] { eXit1Click(eXit1); }); });
    connect(About1, &QAction::triggered, this, [this] { run([&] { About1Click(About1); }); });
    PageControl1->setChangingGuard([this](bool& allow) {
        allow = false;
        run([&] { PageControl1Changing(PageControl1, allow); });
    });
}

void TForm1::run(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        reportError(QString::fromUtf8(e.what()));
    }
}

void TForm1::reportError(const QString& text)
{
    m_dialogs->message(this, DialogService::Icon::Error, programTitle(), errorReportText(text),
                       DialogService::Buttons::Ok);
}

void TForm1::warning(const QString& text, DialogService::Buttons buttons)
{
    m_dialogs->message(this, DialogService::Icon::Warning, QStringLiteral("Warning"), sentenceStart(text), buttons);
}

bool TForm1::confirm(const QString& text, DialogService::Buttons buttons)
{
    return m_dialogs->message(this, DialogService::Icon::Question, QStringLiteral("Confirm"), text, buttons) ==
           DialogService::Answer::Yes;
}

QString TForm1::askSavePath(const QString& caption, const QString& filters, bool askBeforeReplacing)
{
    for (;;) {
        QString chosen;
        QString path = withChosenExtension(m_dialogs->saveFileName(this, caption, filters, lastFolder(), &chosen),
                                           filters, chosen);
        if (path.isEmpty() || !askBeforeReplacing || !QFileInfo::exists(path))
            return path;
        if (replaceConfirmed(path))
            return path;
    }
}

bool TForm1::replaceConfirmed(const QString& path)
{
    return confirm(QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(QDir::toNativeSeparators(path)),
                   DialogService::Buttons::YesNoSafe);
}

char TForm1::decimalSeparator() const
{
    const QString point = QLocale().decimalPoint();
    if (point.size() == 1 && point.front().unicode() < 128)
        return static_cast<char>(point.front().unicode());
    return '.';
}

bool TForm1::event(QEvent* event)
{
    const bool result = QMainWindow::event(event);
    if (event->type() == QEvent::Show && !m_placed) {
        // The opening size is the outer size, title bar and border included; the frame is only
        // known once the window is on screen. Without a window manager to place it, it must
        // still fit the screen's free area.
        m_placed = true;
        const QRect place = fittedPlace(QRect(kWindowPosition, kWindowOuterSize), screen()->availableGeometry());
        resize(place.size() - (frameGeometry().size() - size()));
        move(place.topLeft());
    }
    if (event->type() == QEvent::WindowActivate && !m_activated) {
        // Once per run: coming back from a dialog or another program activates the window
        // again but must not repeat this.
        m_activated = true;
        run([&] { FormActivate(this); });
        if (!m_fileAtStart.isEmpty())
            openFile(std::exchange(m_fileAtStart, QString()));
    }
    return result;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        const bool pageKey = (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
                             key->modifiers().testFlag(Qt::ControlModifier);
        if (pageKey && widget && widget->window() == this) {
            const bool back = key->key() == Qt::Key_Backtab || key->modifiers().testFlag(Qt::ShiftModifier);
            const int pages = PageControl1->count();
            // A user's change: the page guard decides.
            PageControl1->setCurrentIndex((PageControl1->currentIndex() + (back ? pages - 1 : 1)) % pages);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    const auto urls = event->mimeData()->urls();
    if (!m_converting && urls.size() == 1 && urls.front().isLocalFile())
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event)
{
    if (FilesDropped(event->mimeData()->urls()))
        event->acceptProposedAction();
}

bool TForm1::FilesDropped(const QList<QUrl>& urls)
{
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return false;
    return openFile(urls.front().toLocalFile());
}

void TForm1::openAtStart(const QString& path)
{
    if (path.isEmpty())
        return;
    if (m_activated)
        openFile(path);
    else
        m_fileAtStart = path;
}

bool TForm1::openFile(const QString& path)
{
    if (m_converting)
        return false;
    run([&] {
        openRawFile(path);
        PageControl1->setPage(0);
    });
    return true;
}

QString TForm1::lastFolder() const
{
    return m_settings->value(QStringLiteral("lastFolder")).toString();
}

void TForm1::rememberFolder(const QString& file)
{
    m_settings->setValue(QStringLiteral("lastFolder"), QFileInfo(file).absolutePath());
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    run([&] { FormResize(this); });
}

int TForm1::plateSizeIndex() const
{
    return m_plateSizeButtons->checkedId();
}

void TForm1::setPlateSizeIndex(int index)
{
    if (index == plateSizeIndex())
        return;
    if (index == 0 || index == 1) {
        m_plateSizeButtons->button(index)->setChecked(true); // runs PlateSizeRGClick
        return;
    }
    // Clearing the choice does not run the handler.
    const QSignalBlocker blocker(m_plateSizeButtons);
    m_plateSizeButtons->setExclusive(false);
    for (auto* b : m_plateSizeButtons->buttons())
        b->setChecked(false);
    m_plateSizeButtons->setExclusive(true);
}
