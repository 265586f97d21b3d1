// The main window's start state, its guarded page changes, navigation, menu and error report.

#include "app/guitest.h"

#include "app/dialogservice.h"
#include "app/memoview.h"
#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void startState();
    void pagesKeepTheirLayout_data();
    void pagesKeepTheirLayout();
    void userPageChangesNeedAPlateSize_data();
    void userPageChangesNeedAPlateSize();
    void ctrlTabWrapsOnceAPlateSizeIsChosen();
    void nextButtonsShowTheirPageAndHideTheNextStep();
    void closingEndsTheProgramEveryWay_data();
    void closingEndsTheProgramEveryWay();
    void activationRunsFormActivateOnce();
    void tabKeyFollowsTheKeyboardOrder();
    void errorReportTitleAndPoint();
    void theFirstPlaceFitsTheScreen();
    void errorInAHandlerIsReportedAndTheWindowGoesOn();
    void answersNobodyAskedForFailTheTest();
    void enterTakesTheSafeAnswer();
};

namespace {

void pressOnTabBar(QTabBar* bar, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    bar->setFocus();
    QTest::keyClick(bar, static_cast<Qt::Key>(key), modifiers);
}

// Tries every way a user changes the page, towards `target`.
void askForPage(const FormUnderTest& t, const QString& way, int target)
{
    auto* tabs = t.get<QTabWidget>("PageControl1");
    QTabBar* bar = tabs->tabBar();
    if (way == "click") {
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(target).center());
    } else if (way == "arrow") {
        pressOnTabBar(bar, Qt::Key_Right);
    } else if (way == "ctrl+tab") {
        t.get<QPushButton>("OpenButton")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
    } else if (way == "ctrl+shift+tab") {
        t.get<QPushButton>("OpenButton")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    }
}

} // namespace

void MainWindowTest::startState()
{
    auto t = makeForm();
    TForm1& f = *t.form;
    QCOMPARE(f.windowTitle(),
             QStringLiteral("Convert LightCycler 480 Raw Data Text File into Input Format for Quantivo"));
    QCOMPARE(f.frameGeometry().size(), QSize(1292, 689));

    auto* tabs = t.get<QTabWidget>("PageControl1");
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Input Text File and Conversion"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Plate Design / Select Wells"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("Selected Wells / Export to Excel"));
    QCOMPARE(tabs->tabBar()->tabRect(0).width(), 350);
    QCOMPARE(t.currentPage(), 0);

    QVERIFY(t.get<QPushButton>("NextButton1")->isHidden());
    QVERIFY(t.get<QPushButton>("NextButton2")->isHidden());
    QVERIFY(!t.get<QPushButton>("CloseButton")->isHidden());
    QVERIFY(t.get<QWidget>("Wells96CB")->isHidden());
    QVERIFY(t.get<QWidget>("Wells384CB")->isHidden());
    QVERIFY(t.get<QWidget>("ProgsListBox")->isHidden());
    QVERIFY(t.get<QWidget>("MoreProgsLabel")->isHidden());
    QVERIFY(t.get<QWidget>("NumCharLabel")->isHidden());
    QVERIFY(t.get<QWidget>("NowLabel")->isHidden());
    QVERIFY(t.get<QWidget>("NumCharsEdit")->isHidden());
    QVERIFY(t.get<QWidget>("sheetsCB")->isHidden());
    QCOMPARE(f.plateSizeIndex(), -1);
    QCOMPARE(t.get<QGroupBox>("PlateSizeRG")->title(), QStringLiteral(" Plate Size"));

    const QList<QPair<const char*, QString>> buttons = {{"OpenButton", "Open text File"},
                                                        {"ConvertButton", "Convert to Grid"},
                                                        {"NextButton1", "Next >"},
                                                        {"DetermineProgsButton", "Determine Progs"},
                                                        {"SelectAllButton", "Select All"},
                                                        {"SelectNoneButton", "Select None"},
                                                        {"ExtractButton", "Extract Selected Wells"},
                                                        {"NextButton2", "Next >"},
                                                        {"SelectRangeButton", "Select Range"},
                                                        {"RemoveRangeButton", "Remove Range"},
                                                        {"ExportButton", "Export to Excel"},
                                                        {"CloseButton", "Close"}};
    for (const auto& [name, text] : buttons)
        QCOMPARE(t.get<QPushButton>(name)->text(), text);

    const QList<QPair<const char*, QString>> edits = {{"SheetNameEdit", "SheetNameEdit"},
                                                      {"NoCyclesEdit", "NoCyclesEdit"},
                                                      {"startrow", "A"},
                                                      {"startcol", "1"},
                                                      {"stoprow", "P"},
                                                      {"stopcol", "24"},
                                                      {"sheetnameOutEdit", "sheetnameOutEdit"},
                                                      {"NumCharsEdit", "NumCharsEdit"}};
    for (const auto& [name, text] : edits)
        QCOMPARE(t.get<QLineEdit>(name)->text(), text);
    QCOMPARE(t.get<QComboBox>("sheetsCB")->currentText(), QStringLiteral("sheetsCB"));

    QCOMPARE(t.get<QLabel>("MoreProgsLabel")->text(), QStringLiteral("More  Prog#'s detected, please choose"));
    QCOMPARE(t.get<QLabel>("InfoLabel")->text(), QStringLiteral("NOTE: the sheet is added to the workbook you choose"));
    QCOMPARE(t.get<QLabel>("Label2")->text(), QStringLiteral("sheet name: "));
    QCOMPARE(t.get<QLabel>("Label1")->text(), QStringLiteral("from"));
    QCOMPARE(t.get<QLabel>("Label3")->text(), QStringLiteral("thru"));
    QCOMPARE(t.get<QLineEdit>("startrow")->property("Tag").toInt(), 1);
    QCOMPARE(t.get<QLineEdit>("startcol")->property("Tag").toInt(), 0);
    // Page 1's boxes are named by a label and explained, as are the program commands.
    QCOMPARE(t.get<QLabel>("SheetNameLabel")->buddy(), t.get<QLineEdit>("SheetNameEdit"));
    QCOMPARE(t.get<QLabel>("NoCyclesLabel")->buddy(), t.get<QLineEdit>("NoCyclesEdit"));
    for (const char* name : {"SheetNameEdit", "NoCyclesEdit", "DetermineProgsButton", "MoreProgsLabel"})
        QVERIFY2(!t.get<QWidget>(name)->toolTip().isEmpty(), name);

    const morvane::Grid& result = t.grid("ResultSG");
    QCOMPARE(result.rowCount(), 2);
    QCOMPARE(result.colCount(), 47);
    QCOMPARE(result.fixedRows(), 1);
    QCOMPARE(result.fixedCols(), 2);

    auto* menu = f.menuBar();
    const auto menus = menu->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus[0]->text(), QStringLiteral("&File"));
    QCOMPARE(menus[0]->menu()->actions().at(0)->text(), QStringLiteral("&Open..."));
    QCOMPARE(menus[0]->menu()->actions().at(0)->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    QCOMPARE(menus[0]->menu()->actions().at(1)->text(), QStringLiteral("e&Xit"));
    QCOMPARE(menus[1]->text(), QStringLiteral("&Help"));
    QCOMPARE(menus[1]->menu()->actions().at(0)->text(), QStringLiteral("&About"));
    QVERIFY(!(f.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(t.dialogs->shown().size(), 0);
}

void MainWindowTest::pagesKeepTheirLayout_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("plateSize");
    // The controls in reading order: each lies right of the one before on the same line, or below it.
    QTest::addColumn<QStringList>("controls");

    QTest::addRow("1") << 0 << "PlateSize96"
                       << QStringList{"OpenButton", "PlateSizeRG", "ConvertButton", "DetermineProgsButton",
                                      "InputMemo",  "ProgressBar", "ResultSG"};
    // The curves' panel stands right of the map and its buttons.
    QTest::addRow("2, 96 wells") << 1 << "PlateSize96"
                                 << QStringList{"Wells96CB", "SelectAllButton", "SelectNoneButton", "ExtractButton",
                                                "Panel5"};
    QTest::addRow("2, 384 wells") << 1 << "PlateSize384" << QStringList{"Wells384CB", "Panel6"};
    QTest::addRow("3") << 2 << "PlateSize96"
                       << QStringList{"WorkbookButton", "ExportButton", "CloseButton", "ExportSelectSG"};
}

// What matters of a page's layout, whatever the fonts: every control shown within the page, none
// over another, in the order a user reads them.
void MainWindowTest::pagesKeepTheirLayout()
{
    QFETCH(int, page);
    QFETCH(QString, plateSize);
    QFETCH(QStringList, controls);
    auto t = makeForm();
    t.get<QRadioButton>(qPrintable(plateSize))->click();
    auto* tabs = t.get<QTabWidget>("PageControl1");
    tabs->setCurrentIndex(page);
    QApplication::processEvents(); // the page lays itself out once shown

    QWidget* shown = tabs->currentWidget();
    QList<QRect> rects;
    for (const QString& control : controls) {
        auto* w = t.get<QWidget>(qPrintable(control));
        QVERIFY2(w->isVisible(), qPrintable(control));
        const QRect rect(w->mapTo(shown, QPoint(0, 0)), w->size());
        QVERIFY2(shown->rect().contains(rect), qPrintable(control + " lies outside the page"));
        for (qsizetype i = 0; i < rects.size(); ++i)
            QVERIFY2(!rects[i].intersects(rect), qPrintable(control + " overlaps " + controls[i]));
        if (!rects.isEmpty()) {
            const QRect& before = rects.last();
            const bool below = rect.top() > before.bottom();
            const bool rightOf = rect.left() > before.right() && rect.top() <= before.bottom();
            QVERIFY2(below || rightOf,
                     qPrintable(control + " is neither right of nor below " + controls[rects.size() - 1]));
        }
        rects.append(rect);
    }
}

void MainWindowTest::userPageChangesNeedAPlateSize_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("target");
    QTest::newRow("tab click") << "click" << 1;
    QTest::newRow("arrow key on the tab row") << "arrow" << 1;
    QTest::newRow("ctrl+tab") << "ctrl+tab" << 1;
    QTest::newRow("ctrl+shift+tab") << "ctrl+shift+tab" << 2;
}

void MainWindowTest::userPageChangesNeedAPlateSize()
{
    QFETCH(QString, way);
    QFETCH(int, target);
    auto t = makeForm();
    askForPage(t, way, target);
    QCOMPARE(t.currentPage(), 0);

    // A plate size chosen by hand, with no file loaded, unlocks the tabs.
    t.get<QRadioButton>("PlateSize384")->click();
    QCOMPARE(t.form->plateSizeIndex(), 1);
    askForPage(t, way, target);
    QCOMPARE(t.currentPage(), target);
    QCOMPARE(t.dialogs->shown().size(), 0);
}

void MainWindowTest::ctrlTabWrapsOnceAPlateSizeIsChosen()
{
    auto t = makeForm();
    t.get<QRadioButton>("PlateSize96")->click();
    auto* tabs = t.get<QTabWidget>("PageControl1");
    tabs->setFocus();
    for (int expected : {1, 2, 0}) {
        QTest::keyClick(tabs, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(t.currentPage(), expected);
    }
    QTest::keyClick(tabs, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(t.currentPage(), 2);
}

void MainWindowTest::nextButtonsShowTheirPageAndHideTheNextStep()
{
    auto t = makeForm();
    auto* next1 = t.get<QPushButton>("NextButton1");
    auto* next2 = t.get<QPushButton>("NextButton2");
    auto* close = t.get<QPushButton>("CloseButton");

    // The Next buttons work even while the tabs are locked.
    next1->show();
    next1->click();
    QCOMPARE(t.currentPage(), 1);
    QVERIFY(next2->isHidden());

    next2->show();
    next2->click();
    QCOMPARE(t.currentPage(), 2);
    QVERIFY(close->isHidden());

    next2->show();
    next1->click();
    QVERIFY(next2->isHidden()); // NextButton1 hides NextButton2 even after it was shown

    // Reaching page 3 by its tab leaves CloseButton as it was.
    close->show();
    t.get<QRadioButton>("PlateSize96")->click();
    auto* bar = t.get<QTabWidget>("PageControl1")->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
    QCOMPARE(t.currentPage(), 2);
    QVERIFY(!close->isHidden());
}

void MainWindowTest::closingEndsTheProgramEveryWay_data()
{
    QTest::addColumn<int>("way");
    QTest::addColumn<int>("page");
    QTest::newRow("Close button") << 0 << 2;
    QTest::newRow("File > eXit on page 1") << 1 << 0;
    QTest::newRow("File > eXit on page 3") << 1 << 2;
    QTest::newRow("close box") << 2 << 1;
}

void MainWindowTest::closingEndsTheProgramEveryWay()
{
    QFETCH(int, way);
    QFETCH(int, page);
    auto t = makeForm();
    t.get<QRadioButton>("PlateSize96")->click();
    t.get<QTabWidget>("PageControl1")->setCurrentIndex(page);
    if (way == 0)
        t.click("CloseButton");
    else if (way == 1)
        t.form->findChild<QAction*>("eXit1")->trigger();
    else
        t.form->close();
    QVERIFY(!t.form->isVisible());
    QCOMPARE(t.dialogs->shown().size(), 0); // nothing asks for confirmation
}

void MainWindowTest::activationRunsFormActivateOnce()
{
    auto t = makeForm();
    t.get<QRadioButton>("PlateSize96")->click();
    t.get<QTabWidget>("PageControl1")->setCurrentIndex(2);
    t.get<QPushButton>("NextButton1")->show();

    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    t.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(t.form.get()));

    QCOMPARE(t.currentPage(), 2);
    QVERIFY(!t.get<QPushButton>("NextButton1")->isHidden());
}

void MainWindowTest::tabKeyFollowsTheKeyboardOrder()
{
    auto t = makeForm();
    t.get<QRadioButton>("PlateSize96")->click();
    auto walk = [&](const char* first, int steps) {
        t.get<QWidget>(first)->setFocus();
        QStringList names{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < steps; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            names << QApplication::focusWidget()->objectName();
        }
        return names;
    };
    // Pages 1 and 2 in the order they read; hidden and disabled controls (the curve switch
    // without a melt program) are passed over.
    QCOMPARE(walk("OpenButton", 6), (QStringList{"OpenButton", "PlateSize96", "ConvertButton", "DetermineProgsButton",
                                                 "InputMemo", "SheetNameEdit", "NoCyclesEdit"}));
    t.get<QTabWidget>("PageControl1")->setCurrentIndex(1);
    QCOMPARE(walk("SelectAllButton", 9),
             (QStringList{"SelectAllButton", "SelectNoneButton", "ExtractButton", "startrow", "startcol", "stoprow",
                          "stopcol", "SelectRangeButton", "RemoveRangeButton", "LayoutButton"}));
    t.get<QTabWidget>("PageControl1")->setCurrentIndex(2);
    QCOMPARE(walk("ExportButton", 2), (QStringList{"ExportButton", "CloseButton", "sheetnameOutEdit"}));
}

void MainWindowTest::theFirstPlaceFitsTheScreen()
{
    const QRect wanted(61, 158, 1292, 689);
    const struct {
        QRect available;
        QRect place;
    } cases[] = {
        {{0, 0, 1920, 1080}, wanted},
        {{0, 0, 1366, 768}, {61, 79, 1292, 689}},      // moved up, not cut
        {{0, 0, 1024, 600}, {0, 0, 1024, 600}},        // cut to the screen
        {{1920, 0, 1366, 768}, {1920, 79, 1292, 689}}, // a second screen on the right
    };
    for (const auto& c : cases)
        QCOMPARE(fittedPlace(wanted, c.available), c.place);
}

void MainWindowTest::errorReportTitleAndPoint()
{
    QCOMPARE(programTitleFrom(QStringLiteral("/opt/x/morvane")), QStringLiteral("Morvane"));
    QCOMPARE(programTitleFrom(QStringLiteral("C:/Tools/MORVANE.EXE")), QStringLiteral("Morvane"));
    QCOMPARE(programTitleFrom(QStringLiteral("/opt/x/morvane.v2.bin")), QStringLiteral("Morvane"));

    QCOMPARE(errorReportText(QStringLiteral("first start Excel")), QStringLiteral("First start Excel."));
    QCOMPARE(errorReportText(QStringLiteral("done.")), QStringLiteral("Done."));
    QCOMPARE(errorReportText(QStringLiteral("plan.tsv, line 4: bad")), QStringLiteral("plan.tsv, line 4: bad."));
    QCOMPARE(errorReportText(QStringLiteral("List index out of bounds (5)")),
             QStringLiteral("List index out of bounds (5)")); // ')' sorts before '.'
    QCOMPARE(errorReportText(QStringLiteral("value 7")), QStringLiteral("Value 7."));
    QCOMPARE(errorReportText(QStringLiteral("what?")), QStringLiteral("What?."));
    QCOMPARE(errorReportText(QStringLiteral("wow!")), QStringLiteral("Wow!"));
    QCOMPARE(errorReportText(QString()), QString());
}

void MainWindowTest::errorInAHandlerIsReportedAndTheWindowGoesOn()
{
    auto t = makeForm();
    QTemporaryDir dir;
    t.open(dir.filePath("missing.txt"));
    QCOMPARE(t.dialogs->shown().size(), 1);
    const auto& report = t.dialogs->shown().front();
    QCOMPARE(report.icon, DialogService::Icon::Error);
    QCOMPARE(report.buttons, DialogService::Buttons::Ok);
    QCOMPARE(report.caption, programTitle());
    QVERIFY2(report.text.contains("missing.txt"), qPrintable(report.text));
    QVERIFY(report.text.endsWith('.') || report.text.back() < u'.');

    // The window goes on: the next command works.
    t.get<QRadioButton>("PlateSize96")->click();
    QCOMPARE(t.get<QLineEdit>("stoprow")->text(), QStringLiteral("H"));
}

void MainWindowTest::answersNobodyAskedForFailTheTest()
{
    auto t = makeForm();
    t.dialogs->answerNext(DialogService::Answer::Yes);
    t.dialogs->fileNext(QStringLiteral("used.txt"));
    t.dialogs->fileNext(QStringLiteral("left.txt"));
    t.dialogs->dialogNext([](QDialog&) { return 0; });
    QCOMPARE(t.dialogs->saveFileName(nullptr, {}, {}, {}, nullptr), QStringLiteral("used.txt"));
    QCOMPARE(t.dialogs->unusedAnswers(), QStringList({"the answer Yes", "the file 'left.txt'", "1 dialog action(s)"}));
    // The window goes, and its queue with it, when this function ends.
    QEXPECT_FAIL("", "the test left queued answers", Continue);
}

// The real message box: Enter takes Yes in a plain question, and No where Yes would replace or
// lose something.
void MainWindowTest::enterTakesTheSafeAnswer()
{
    QtDialogService dialogs;
    for (const auto& [buttons, expected] : {std::pair{DialogService::Buttons::YesNo, DialogService::Answer::Yes},
                                            std::pair{DialogService::Buttons::YesNoSafe, DialogService::Answer::No}}) {
        QTimer::singleShot(0, [] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(qobject_cast<QMessageBox*>(box));
            QTest::keyClick(box, Qt::Key_Return);
        });
        QCOMPARE(dialogs.message(nullptr, DialogService::Icon::Question, "Confirm", "Replace it?", buttons), expected);
    }
}

QTEST_MAIN(MainWindowTest)
#include "mainwindow_guitest.moc"
