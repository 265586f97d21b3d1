#include "app/tform1.h"

#include "app/memoview.h"
#include "app/pagecontrol.h"
#include "app/stringgrid.h"
#include "export/excelcom.h"
#include "dialogs/about.h"
#include "dialogs/version.h"
#include "plate/wellchecklist.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QFont pixelFont(int pixels, bool bold = false)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

template <typename W>
W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QFrame* panel(const char* name)
{
    auto* frame = named(new QFrame, name);
    frame->setFrameShape(QFrame::NoFrame);
    return frame;
}

QPushButton* button(const char* name, const QString& text, int width, int height)
{
    auto* b = named(new QPushButton(text), name);
    b->setFixedSize(width, height);
    b->setAutoDefault(false);
    return b;
}

QLineEdit* edit(const char* name, const QString& text, int width)
{
    auto* e = named(new QLineEdit(text), name);
    e->setFixedWidth(width);
    e->home(false);
    return e;
}

QLabel* label(const char* name, const QString& text)
{
    return named(new QLabel(text), name);
}

QLabel* warningLabel(const char* name, const QString& text, int pixels)
{
    auto* l = label(name, text);
    l->setFont(pixelFont(pixels, true));
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    l->setPalette(palette);
    return l;
}

} // namespace

TForm1::TForm1(Seams seams, QWidget* parent)
    : QMainWindow(parent), m_dialogs(seams.dialogs ? std::move(seams.dialogs) : std::make_unique<QtDialogService>()),
      m_settings(seams.settings ? std::move(seams.settings)
                                : std::make_unique<QSettings>(QStringLiteral("Fennwick"), QStringLiteral("Morvane"))),
      m_urlOpener(seams.urlOpener ? std::move(seams.urlOpener) : std::make_unique<DesktopUrlOpener>()),
      Excel1(std::make_unique<morvane::TExcelcom>())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Convert LightCycler 480 Raw Data Text File into Input Format for Quantivo"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(pixelFont(13));
    move(61, 158);
    resize(1292, 689);

    buildMenu();
    PageControl1 = named(new PageControl, "PageControl1");
    TabSheetInput = buildInputPage();
    TabSheetPlateDesign = buildPlatePage();
    TabSheetExport = buildExportPage();
    PageControl1->addTab(TabSheetInput, QStringLiteral("Input Text File and Conversion"));
    PageControl1->addTab(TabSheetPlateDesign, QStringLiteral("Plate Design / Select Wells"));
    PageControl1->addTab(TabSheetExport, QStringLiteral("Selected Wells / Export to Excel"));
    setCentralWidget(PageControl1);
    // The stored description names page 3; FormActivate moves to page 1.
    PageControl1->setPage(2);

    setTabOrders();
    connectHandlers();
}

TForm1::~TForm1() = default;

void TForm1::buildMenu()
{
    auto* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    eXit1 = file->addAction(QStringLiteral("e&Xit"));
    eXit1->setObjectName(QStringLiteral("eXit1"));
    auto* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    About1 = help->addAction(QStringLiteral("&About"));
    About1->setObjectName(QStringLiteral("About1"));
}

QWidget* TForm1::buildInputPage()
{
    auto* page = named(new QWidget, "TabSheetInput");

    Panel3 = panel("Panel3");
    Panel3->setFixedHeight(64);
    OpenButton = button("OpenButton", QStringLiteral("Open text File"), 121, 25);
    PlateSizeRG = named(new QGroupBox(QStringLiteral(" Plate Size")), "PlateSizeRG");
    PlateSizeRG->setFixedSize(161, 49);
    m_plateSizeButtons = new QButtonGroup(this);
    auto* rgLayout = new QHBoxLayout(PlateSizeRG);
    rgLayout->setContentsMargins(8, 0, 8, 2);
    for (int i = 0; i < 2; ++i) {
        auto* radio = new QRadioButton(i == 0 ? QStringLiteral("96") : QStringLiteral("384"));
        radio->setObjectName(i == 0 ? QStringLiteral("PlateSize96") : QStringLiteral("PlateSize384"));
        m_plateSizeButtons->addButton(radio, i);
        rgLayout->addWidget(radio);
    }
    MoreProgsLabel = label("MoreProgsLabel", QStringLiteral("More  Prog#'s detected, please choose"));
    MoreProgsLabel->hide();
    ProgsListBox = named(new QListWidget, "ProgsListBox");
    ProgsListBox->setFixedSize(65, 49);
    ProgsListBox->setUniformItemSizes(true);
    ProgsListBox->hide();
    ConvertButton = button("ConvertButton", QStringLiteral("Convert to Grid"), 161, 25);
    NextButton1 = button("NextButton1", QStringLiteral("Next >"), 75, 25);
    DetermineProgsButton = button("DetermineProgsButton", QStringLiteral("Determine Progs"), 113, 25);

    auto* row = new QHBoxLayout(Panel3);
    row->setContentsMargins(16, 4, 16, 4);
    row->setSpacing(8);
    row->addWidget(OpenButton);
    row->addSpacing(19);
    row->addWidget(PlateSizeRG);
    row->addWidget(MoreProgsLabel);
    row->addWidget(ProgsListBox);
    row->addSpacing(8);
    row->addWidget(ConvertButton);
    row->addWidget(NextButton1);
    row->addStretch(1);
    row->addWidget(DetermineProgsButton);

    InputMemo = named(new MemoView, "InputMemo");

    Panel1 = panel("Panel1");
    Panel1->setFixedHeight(337);
    auto* block = new QVBoxLayout(Panel1);
    block->setContentsMargins(0, 0, 0, 0);
    block->setSpacing(0);
    block->addWidget(Panel3);
    block->addWidget(InputMemo);

    Panel4 = panel("Panel4");
    Panel4->setFixedHeight(41);
    SheetNameEdit = edit("SheetNameEdit", QStringLiteral("SheetNameEdit"), 161);
    NoCyclesEdit = edit("NoCyclesEdit", QStringLiteral("NoCyclesEdit"), 57);
    ProgressBar = named(new QProgressBar, "ProgressBar");
    ProgressBar->setFixedSize(865, 16);
    ProgressBar->setTextVisible(false);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    auto* row4 = new QHBoxLayout(Panel4);
    row4->setContentsMargins(16, 4, 16, 4);
    row4->setSpacing(7);
    row4->addWidget(SheetNameEdit);
    row4->addSpacing(16);
    row4->addWidget(NoCyclesEdit);
    row4->addWidget(ProgressBar);
    row4->addStretch(1);

    ResultSG = named(new StringGrid(morvane::Grid(2, 47, 1, 2)), "ResultSG");

    Panel2 = panel("Panel2");
    auto* rest = new QVBoxLayout(Panel2);
    rest->setContentsMargins(0, 0, 0, 0);
    rest->setSpacing(0);
    rest->addWidget(Panel4);
    rest->addWidget(ResultSG, 1);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(Panel2, 1);
    return page;
}

QWidget* TForm1::buildPlatePage()
{
    auto* page = named(new QWidget, "TabSheetPlateDesign");

    Panel9 = panel("Panel9");
    Panel9->setFixedHeight(225);
    Wells384CB = named(new WellCheckList(morvane::PlateFormat::Wells384, 13), "Wells384CB");
    Wells384CB->setFixedSize(1280, 223);
    Wells384CB->setFont(pixelFont(11));
    Wells384CB->hide();
    Panel10 = panel("Panel10");
    auto* strip = new QHBoxLayout(Panel9);
    strip->setContentsMargins(0, 1, 0, 1);
    strip->setSpacing(0);
    strip->addWidget(Wells384CB);
    strip->addWidget(Panel10, 1);

    Panel6 = panel("Panel6");
    Panel6->setFixedWidth(889);
    Wells96CB = named(new WellCheckList(morvane::PlateFormat::Wells96, 16), "Wells96CB");
    Wells96CB->setFixedSize(887, 144);
    Wells96CB->hide();

    Panel8 = panel("Panel8");
    SelectAllButton = button("SelectAllButton", QStringLiteral("Select All"), 161, 25);
    SelectNoneButton = button("SelectNoneButton", QStringLiteral("Select None"), 161, 25);
    ExtractButton = button("ExtractButton", QStringLiteral("Extract Selected Wells"), 229, 25);
    NextButton2 = button("NextButton2", QStringLiteral("Next >"), 75, 25);
    NextButton2->hide();
    Label4 = label("Label4", QStringLiteral("A"));
    Label5 = label("Label5", QStringLiteral("1"));
    Label1 = label("Label1", QStringLiteral("from"));
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label3 = label("Label3", QStringLiteral("thru"));
    Label3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    startrow = edit("startrow", QStringLiteral("A"), 41);
    startcol = edit("startcol", QStringLiteral("1"), 41);
    stoprow = edit("stoprow", QStringLiteral("P"), 41);
    stopcol = edit("stopcol", QStringLiteral("24"), 41);
    // Tag 1 marks a row-letter field.
    startrow->setProperty("Tag", 1);
    stoprow->setProperty("Tag", 1);
    startcol->setProperty("Tag", 0);
    stopcol->setProperty("Tag", 0);
    SelectRangeButton = button("SelectRangeButton", QStringLiteral("Select Range"), 169, 25);
    RemoveRangeButton = button("RemoveRangeButton", QStringLiteral("Remove Range"), 169, 25);
    GridSizeWarninglabel = warningLabel("GridSizeWarninglabel", QStringLiteral("GridSizeWarninglabel"), 19);
    GridSizeWarninglabel->hide();

    auto* commands = new QGridLayout(Panel8);
    commands->setContentsMargins(8, 12, 12, 8);
    commands->setHorizontalSpacing(7);
    commands->addWidget(SelectAllButton, 0, 0);
    commands->addWidget(SelectNoneButton, 0, 1);
    commands->addWidget(ExtractButton, 0, 3, Qt::AlignRight);
    commands->addWidget(NextButton2, 1, 3, Qt::AlignRight);

    auto* range = new QGridLayout;
    range->setHorizontalSpacing(4);
    range->setVerticalSpacing(2);
    range->addWidget(Label4, 0, 1, Qt::AlignHCenter);
    range->addWidget(Label5, 0, 2, Qt::AlignHCenter);
    range->addWidget(Label1, 1, 0);
    range->addWidget(startrow, 1, 1);
    range->addWidget(startcol, 1, 2);
    range->addWidget(Label3, 2, 0);
    range->addWidget(stoprow, 2, 1);
    range->addWidget(stopcol, 2, 2);
    range->addWidget(SelectRangeButton, 3, 0, 1, 3, Qt::AlignRight);
    range->addWidget(RemoveRangeButton, 4, 0, 1, 3, Qt::AlignRight);
    commands->addLayout(range, 2, 0, 1, 1, Qt::AlignLeft | Qt::AlignTop);
    commands->addWidget(GridSizeWarninglabel, 2, 1, 1, 3, Qt::AlignLeft | Qt::AlignVCenter);
    commands->setColumnStretch(2, 1);
    commands->setRowStretch(3, 1);

    auto* block = new QVBoxLayout(Panel6);
    block->setContentsMargins(1, 0, 1, 0);
    block->setSpacing(0);
    block->addWidget(Wells96CB);
    block->addWidget(Panel8, 1);

    Panel5 = panel("Panel5");
    auto* lower = new QHBoxLayout;
    lower->setContentsMargins(0, 0, 0, 0);
    lower->setSpacing(0);
    lower->addWidget(Panel6);
    lower->addWidget(Panel5, 1);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel9);
    layout->addLayout(lower, 1);
    return page;
}

QWidget* TForm1::buildExportPage()
{
    auto* page = named(new QWidget, "TabSheetExport");

    Panel7 = panel("Panel7");
    Panel7->setFixedHeight(105);
    // The sheet goes into a workbook file the user chooses, not into a running Excel.
    InfoLabel = warningLabel("InfoLabel", QStringLiteral("NOTE: the sheet is added to the workbook you choose"), 24);
    ExportButton = button("ExportButton", QStringLiteral("Export to Excel"), 145, 25);
    Label2 = label("Label2", QStringLiteral("sheet name: "));
    sheetnameOutEdit = edit("sheetnameOutEdit", QStringLiteral("sheetnameOutEdit"), 257);
    NumCharLabel = label("NumCharLabel", QStringLiteral("number of characters"));
    NumCharLabel->hide();
    NowLabel = label("NowLabel", QStringLiteral("now:"));
    NowLabel->hide();
    NumCharsEdit = edit("NumCharsEdit", QStringLiteral("NumCharsEdit"), 97);
    NumCharsEdit->hide();
    sheetsCB = named(new QComboBox, "sheetsCB");
    sheetsCB->setEditable(true);
    sheetsCB->setEditText(QStringLiteral("sheetsCB"));
    sheetsCB->setFixedWidth(233);
    sheetsCB->hide();
    CloseButton = button("CloseButton", QStringLiteral("Close"), 131, 25);
    WorkbookButton = button("WorkbookButton", QStringLiteral("Workbook..."), 97, 25);
    WorkbookButton->setToolTip(QStringLiteral("Choose the workbook that the next export adds its sheet to"));
    WorkbookLabel = label("WorkbookLabel", QStringLiteral("workbook: chosen at the first export"));
    WorkbookLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* strip = new QGridLayout(Panel7);
    strip->setContentsMargins(24, 8, 24, 8);
    strip->setHorizontalSpacing(7);
    strip->addWidget(InfoLabel, 0, 0, 1, 6, Qt::AlignLeft);
    strip->addWidget(NumCharLabel, 1, 3, 1, 2, Qt::AlignLeft | Qt::AlignBottom);
    strip->addWidget(ExportButton, 2, 0);
    strip->addWidget(Label2, 2, 1, Qt::AlignRight);
    strip->addWidget(sheetnameOutEdit, 2, 2);
    strip->addWidget(NowLabel, 2, 3);
    strip->addWidget(NumCharsEdit, 2, 4);
    strip->addWidget(sheetsCB, 2, 5);
    strip->addWidget(CloseButton, 2, 7);
    strip->addWidget(WorkbookButton, 1, 0, Qt::AlignLeft | Qt::AlignBottom);
    strip->addWidget(WorkbookLabel, 1, 1, 1, 2, Qt::AlignLeft | Qt::AlignBottom);
    strip->setColumnStretch(6, 1);

    ExportSelectSG = named(new StringGrid(morvane::Grid(2, 2, 1, 1)), "ExportSelectSG");
    ExportSelectSG->setColumnSizing(true);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel7);
    layout->addWidget(ExportSelectSG, 1);
    return page;
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
    chain({InputMemo, OpenButton, ConvertButton, m_plateSizeButtons->button(0), m_plateSizeButtons->button(1),
           NextButton1, DetermineProgsButton, ProgsListBox, NoCyclesEdit, SheetNameEdit, ResultSG});
    chain({Wells96CB, ExtractButton, SelectAllButton, SelectNoneButton, NextButton2, startrow, stoprow, stopcol,
           startcol, SelectRangeButton, RemoveRangeButton, Wells384CB});
    chain({ExportSelectSG, ExportButton, CloseButton, sheetnameOutEdit, sheetsCB, NumCharsEdit, WorkbookButton});
}

void TForm1::connectHandlers()
{
    auto onClick = [this](QPushButton* b, void (TForm1::*handler)(QObject*)) {
        connect(b, &QPushButton::clicked, this, [this, b, handler] { run([&] { (this->*handler)(b); }); });
    };
    onClick(OpenButton, &TForm1::OpenButtonClick);
    onClick(ConvertButton, &TForm1::ConvertButtonClick);
    onClick(NextButton1, &TForm1::NextButton1Click);
    onClick(DetermineProgsButton, &TForm1::DetermineProgsButtonClick);
    onClick(SelectAllButton, &TForm1::SelectAllButtonClick);
    onClick(SelectNoneButton, &TForm1::SelectNoneButtonClick);
    onClick(ExtractButton, &TForm1::ExtractButtonClick);
    onClick(NextButton2, &TForm1::NextButton2Click);
    onClick(SelectRangeButton, &TForm1::SelectRangeButtonClick);
    onClick(RemoveRangeButton, &TForm1::SelectRangeButtonClick);
    onClick(ExportButton, &TForm1::ExportButtonClick);
    onClick(CloseButton, &TForm1::CloseButtonClick);
    onClick(WorkbookButton, &TForm1::WorkbookButtonClick);

    connect(m_plateSizeButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            run([&] { PlateSizeRGClick(PlateSizeRG); });
    });
    // A click or a move with the arrow keys; the detection selects items with signals blocked.
    connect(ProgsListBox, &QListWidget::currentRowChanged, this, [this] { run([&] { ProgsListBoxClick(ProgsListBox); }); });
    for (QLineEdit* e : {startrow, startcol, stoprow, stopcol})
        connect(e, &QLineEdit::textChanged, this, [this, e] { run([&] { col_rowinChange(e); }); });
    connect(sheetnameOutEdit, &QLineEdit::textChanged, this,
            [this] { run([&] { sheetnameOutEditChange(sheetnameOutEdit); }); });
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
    m_dialogs->message(this, DialogService::Icon::Warning, QStringLiteral("Warning"), text, buttons);
}

bool TForm1::confirm(const QString& text)
{
    return m_dialogs->message(this, DialogService::Icon::Question, QStringLiteral("Confirm"), text,
                              DialogService::Buttons::YesNo) == DialogService::Answer::Yes;
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
        // known once the window is on screen.
        m_placed = true;
        const QSize frame = frameGeometry().size() - size();
        resize(1292 - frame.width(), 689 - frame.height());
    }
    if (event->type() == QEvent::WindowActivate && !m_activated) {
        // Once per run: coming back from a dialog or another program activates the window
        // again but must not repeat this.
        m_activated = true;
        run([&] { FormActivate(this); });
    }
    return result;
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

void TForm1::FormActivate(QObject* Sender)
{
    // An error here ends the activation: page 3 stays and NextButton1 stays shown.
    CheckVersion(Sender);
    PageControl1->setPage(0);
    NextButton1->hide();
}

void TForm1::NextButton1Click(QObject*)
{
    PageControl1->setPage(1);
    NextButton2->hide();
}

void TForm1::NextButton2Click(QObject*)
{
    PageControl1->setPage(2);
    CloseButton->hide();
}

void TForm1::CloseButtonClick(QObject*)
{
    close();
}

void TForm1::eXit1Click(QObject*)
{
    close();
}

void TForm1::About1Click(QObject*)
{
    // A new dialog each time, released when it has closed.
    TAboutBox AboutBox(*m_urlOpener, [this](const std::function<void()>& handler) { run(handler); }, this);
    AboutBox.Versionlab->setText(morvane::VersionString);
    AboutBox.datelab->setText(morvane::ReleaseDateText);
    AboutBox.AddressToVisit = morvane::DownloadPageAddress;
    m_dialogs->exec(AboutBox);
}

void TForm1::PageControl1Changing(QObject*, bool& AllowChange)
{
    AllowChange = plateSizeIndex() != -1;
}
