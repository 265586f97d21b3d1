// Page 2 through the real window: the plate maps, ticking, ranges, the range-edit filter,
// extraction into the export table and the separator question.

#include "app/guitest.h"
#include "app/wellchecklist.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>

class PlateTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void mapsLookLikeThePlate();
    void tickingByMouseAndKeyboard();
    void ticksSurvivePlateSwitches();
    void rangeTicksAndUnticksExactlyTheRectangle_data();
    void rangeTicksAndUnticksExactlyTheRectangle();
    void rangeOutsideThePlateIsRefusedAsAWhole_data();
    void rangeOutsideThePlateIsRefusedAsAWhole();
    void rangeEditsKeepToLettersAndDigits();
    void selectAllAndNoneTouchOnlyTheCurrentMap();
    void narrowWindowWarning();
    void extractionFollowsPlateRowOrder();
    void extractionOfAllWells_data();
    void extractionOfAllWells();
    void tickedWellsWithoutDataAreLeftOutWithOneWarning();
    void wellsWithoutDataCannotBeTickedByClickAllOrRange();
    void separatorQuestionAndBothAnswers_data();
    void separatorQuestionAndBothAnswers();
};

namespace {

WellCheckList* map96(const FormUnderTest& t)
{
    return t.get<WellCheckList>("Wells96CB");
}
WellCheckList* map384(const FormUnderTest& t)
{
    return t.get<WellCheckList>("Wells384CB");
}

QList<int> tickedIndices(WellCheckList* list)
{
    QList<int> result;
    const auto ticks = list->ticks();
    for (int i = 0; i < int(ticks.size()); ++i)
        if (ticks[std::size_t(i)])
            result << i;
    return result;
}

void setRange(const FormUnderTest& t, const QString& r1, const QString& r2, const QString& c1, const QString& c2)
{
    t.get<QLineEdit>("startrow")->setText(r1);
    t.get<QLineEdit>("stoprow")->setText(r2);
    t.get<QLineEdit>("startcol")->setText(c1);
    t.get<QLineEdit>("stopcol")->setText(c2);
}

// Opens and converts a small export whose readings are "<well number><separator><cycle>".
void convert(const FormUnderTest& t, const QTemporaryDir& dir, const QStringList& wells, char separator = '.')
{
    t.open(writeFile(dir, "run.txt", rawExport(wells, 3, separator)));
    t.click("ConvertButton");
}

} // namespace

void PlateTest::mapsLookLikeThePlate()
{
    auto t = makeForm();
    t.get<QRadioButton>("PlateSize96")->click();
    WellCheckList* w96 = map96(t);
    QCOMPARE(w96->count(), 96);
    QCOMPARE(w96->item(0)->text(), QStringLiteral("A1"));
    QCOMPARE(w96->item(8)->text(), QStringLiteral("A2"));
    QCOMPARE(w96->item(95)->text(), QStringLiteral("H12"));
    // First list column A1..H1 top to bottom, the twelfth A12..H12; each line one plate row.
    for (int row = 0; row < 8; ++row) {
        QCOMPARE(w96->visualItemRect(w96->item(row)).left(), w96->visualItemRect(w96->item(0)).left());
        QVERIFY(w96->visualItemRect(w96->item(row)).bottom() < w96->viewport()->height());
        QCOMPARE(w96->visualItemRect(w96->item(88 + row)).top(), w96->visualItemRect(w96->item(row)).top());
    }
    QVERIFY(w96->visualItemRect(w96->item(88)).right() <= w96->viewport()->width());
    QVERIFY(w96->visualItemRect(w96->item(8)).left() > w96->visualItemRect(w96->item(0)).left());

    t.get<QRadioButton>("PlateSize384")->click();
    WellCheckList* w384 = map384(t);
    QCOMPARE(w384->count(), 384);
    QCOMPARE(w384->width(), 1280);
    QCOMPARE(w384->item(8)->text(), QStringLiteral("I1"));
    QCOMPARE(w384->item(383)->text(), QStringLiteral("P24"));
    // The first line reads A1, A2, ... A24 from left to right; the sixteenth P1 .. P24.
    for (int col = 1; col < 24; ++col) {
        const QRect left = w384->visualItemRect(w384->item((col - 1) * 16));
        const QRect right = w384->visualItemRect(w384->item(col * 16));
        QCOMPARE(right.top(), left.top());
        QVERIFY(right.left() > left.left());
        QCOMPARE(w384->visualItemRect(w384->item(col * 16 + 15)).top(), w384->visualItemRect(w384->item(15)).top());
    }
    QVERIFY(w384->visualItemRect(w384->item(383)).bottom() < w384->viewport()->height());
    QVERIFY(w384->visualItemRect(w384->item(383)).right() <= w384->viewport()->width());
}

void PlateTest::tickingByMouseAndKeyboard()
{
    auto t = makeForm();
    t.get<QRadioButton>("PlateSize96")->click();
    WellCheckList* w96 = map96(t);

    // Keyboard: space ticks and unticks the current well.
    w96->setFocus();
    w96->setCurrentRow(17);
    QTest::keyClick(w96, Qt::Key_Space);
    QCOMPARE(tickedIndices(w96), QList<int>{17});

    // Mouse: a click on a well's box ticks it.
    const QRect rect = w96->visualItemRect(w96->item(26));
    QStyleOptionButton option;
    option.rect = rect;
    const int indicator = w96->style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, w96);
    const QPoint box(rect.left() + indicator / 2 + 3, rect.center().y());
    QTest::mouseClick(w96->viewport(), Qt::LeftButton, {}, box);
    QCOMPARE(tickedIndices(w96), (QList<int>{17, 26}));
    w96->setCurrentRow(26);
    QTest::keyClick(w96, Qt::Key_Space);
    QCOMPARE(tickedIndices(w96), QList<int>{17});
}

void PlateTest::ticksSurvivePlateSwitches()
{
    auto t = makeForm();
    t.get<QRadioButton>("PlateSize96")->click();
    map96(t)->setTicked(5, true);
    map96(t)->setTicked(90, true);
    t.get<QRadioButton>("PlateSize384")->click();
    QVERIFY(map96(t)->isHidden());
    QVERIFY(!map384(t)->isHidden());
    map384(t)->setTicked(200, true);
    t.get<QRadioButton>("PlateSize96")->click();
    QCOMPARE(tickedIndices(map96(t)), (QList<int>{5, 90}));
    t.get<QRadioButton>("PlateSize384")->click();
    QCOMPARE(tickedIndices(map384(t)), QList<int>{200});
    // Switching overwrites the end edits and keeps the start edits.
    t.get<QLineEdit>("startrow")->setText("C");
    t.get<QLineEdit>("stopcol")->setText("5");
    t.get<QRadioButton>("PlateSize96")->click();
    QCOMPARE(t.get<QLineEdit>("startrow")->text(), QStringLiteral("C"));
    QCOMPARE(t.get<QLineEdit>("stoprow")->text(), QStringLiteral("H"));
    QCOMPARE(t.get<QLineEdit>("stopcol")->text(), QStringLiteral("12"));
}

void PlateTest::rangeTicksAndUnticksExactlyTheRectangle_data()
{
    QTest::addColumn<QString>("plate");
    QTest::addColumn<QStringList>("range");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("96: B..C x 3..4") << "PlateSize96" << QStringList{"B", "C", "3", "4"} << QList<int>{17, 18, 25, 26};
    QTest::newRow("384: B..C x 3..4") << "PlateSize384" << QStringList{"B", "C", "3", "4"}
                                      << QList<int>{33, 34, 49, 50};
    QTest::newRow("single well D7") << "PlateSize96" << QStringList{"D", "D", "7", "7"} << QList<int>{51};
    QTest::newRow("reversed rows") << "PlateSize96" << QStringList{"C", "B", "3", "4"} << QList<int>{};
    QTest::newRow("reversed columns") << "PlateSize96" << QStringList{"B", "C", "5", "4"} << QList<int>{};
}

void PlateTest::rangeTicksAndUnticksExactlyTheRectangle()
{
    QFETCH(QString, plate);
    QFETCH(QStringList, range);
    QFETCH(QList<int>, expected);
    auto t = makeForm();
    t.get<QRadioButton>(plate.toLatin1().constData())->click();
    WellCheckList* list = plate == "PlateSize96" ? map96(t) : map384(t);
    setRange(t, range[0], range[1], range[2], range[3]);
    t.click("SelectRangeButton");
    QCOMPARE(tickedIndices(list), expected);

    list->setAllTicked(true);
    t.click("RemoveRangeButton");
    QCOMPARE(tickedIndices(list).size(), list->count() - expected.size());
    for (int i : expected)
        QVERIFY(!list->isTicked(i));
    QCOMPARE(t.dialogs->shown().size(), 0);
}

void PlateTest::rangeOutsideThePlateIsRefusedAsAWhole_data()
{
    QTest::addColumn<QStringList>("range");
    QTest::newRow("row past H") << QStringList{"A", "J", "1", "1"};
    QTest::newRow("column 0") << QStringList{"A", "B", "0", "2"};
    QTest::newRow("column past 12") << QStringList{"A", "B", "11", "13"};
    QTest::newRow("empty edit") << QStringList{"A", "B", "", "2"};
}

void PlateTest::rangeOutsideThePlateIsRefusedAsAWhole()
{
    QFETCH(QStringList, range);
    auto t = makeForm();
    t.get<QRadioButton>("PlateSize96")->click();
    map96(t)->setTicked(3, true);
    setRange(t, range[0], range[1], range[2], range[3]);
    t.click("SelectRangeButton");
    QCOMPARE(tickedIndices(map96(t)), QList<int>{3});
    QCOMPARE(t.dialogs->shown().size(), 1);
    const auto& w = t.dialogs->shown().front();
    QCOMPARE(w.caption, QStringLiteral("Warning"));
    QCOMPARE(w.buttons, DialogService::Buttons::Ok);
    QVERIFY2(w.text.endsWith("Rows must lie within A to H and columns within 1 to 12."), qPrintable(w.text));
}

void PlateTest::rangeEditsKeepToLettersAndDigits()
{
    auto t = makeForm();
    auto* startrow = t.get<QLineEdit>("startrow");
    auto* stopcol = t.get<QLineEdit>("stopcol");
    auto* startcol = t.get<QLineEdit>("startcol");

    startrow->clear();
    QTest::keyClicks(startrow, "b");
    QCOMPARE(startrow->text(), QStringLiteral("B"));
    QTest::keyClicks(startrow, "x7");
    QCOMPARE(startrow->text(), QStringLiteral("B"));
    QCOMPARE(startrow->cursorPosition(), 1);

    stopcol->setText("12");
    stopcol->end(false);
    QTest::keyClicks(stopcol, "x");
    QCOMPARE(stopcol->text(), QStringLiteral("12"));

    startcol->clear();
    QGuiApplication::clipboard()->setText("3ab");
    startcol->paste();
    QCOMPARE(startcol->text(), QStringLiteral("3"));

    // Deleting the last character leaves the edit empty; nothing refills it.
    startcol->end(false);
    QTest::keyClick(startcol, Qt::Key_Backspace);
    QCOMPARE(startcol->text(), QString());
}

void PlateTest::selectAllAndNoneTouchOnlyTheCurrentMap()
{
    auto t = makeForm();
    t.get<QRadioButton>("PlateSize384")->click();
    map384(t)->setTicked(10, true);
    t.get<QRadioButton>("PlateSize96")->click();
    t.click("SelectAllButton");
    QCOMPARE(tickedIndices(map96(t)).size(), 96);
    QCOMPARE(tickedIndices(map384(t)), QList<int>{10});
    t.get<QRadioButton>("PlateSize384")->click();
    t.click("SelectNoneButton");
    QVERIFY(tickedIndices(map384(t)).isEmpty());
    QCOMPARE(tickedIndices(map96(t)).size(), 96);
}

void PlateTest::narrowWindowWarning()
{
    auto t = makeForm();
    auto* label = t.get<QLabel>("GridSizeWarninglabel");
    const int frame = t.form->frameGeometry().width() - t.form->width();
    t.form->resize(1280 - frame, t.form->height());
    QTRY_COMPARE(t.form->frameGeometry().width(), 1280);
    QVERIFY(!label->isHidden());
    QCOMPARE(label->text(), QString());
    t.form->resize(1279 - frame, t.form->height());
    QTRY_COMPARE(label->text(), QStringLiteral("Window has been resized; some wells be not be shown in grid"));
}

void PlateTest::extractionFollowsPlateRowOrder()
{
    QTemporaryDir dir;
    auto t = makeForm();
    convert(t, dir, plateWells(96));
    for (const char* well : {"B3", "A12", "A1"})
        map96(t)->setTicked(map96(t)->row(map96(t)->findItems(well, Qt::MatchExactly).front()), true);
    t.click("NextButton1");
    t.click("ExtractButton");

    const morvane::Grid& table = t.grid("ExportSelectSG");
    const morvane::Grid& wells = t.grid("ResultSG");
    QCOMPARE(table.rowCount(), 4);
    QCOMPARE(table.colCount(), wells.colCount());
    QCOMPARE(table.cell(1, 0), std::string("A1"));
    QCOMPARE(table.cell(2, 0), std::string("A12"));
    QCOMPARE(table.cell(3, 0), std::string("B3"));
    for (int col = 0; col < table.colCount(); ++col) {
        QCOMPARE(table.cell(0, col), wells.cell(0, col));
        QCOMPARE(table.cell(2, col), wells.cell(12, col)); // A12 is the twelfth well of the file
    }
    QCOMPARE(t.currentPage(), 2);
    QVERIFY(!t.get<QPushButton>("NextButton2")->isHidden());
    QVERIFY(t.get<QPushButton>("CloseButton")->isHidden());
    QCOMPARE(t.dialogs->shown().size(), 0); // readings written with the user's separator: no question
}

void PlateTest::extractionOfAllWells_data()
{
    QTest::addColumn<int>("plate");
    QTest::newRow("96") << 96;
    QTest::newRow("384") << 384;
}

void PlateTest::extractionOfAllWells()
{
    QFETCH(int, plate);
    QTemporaryDir dir;
    auto t = makeForm();
    convert(t, dir, plateWells(plate));
    t.click("NextButton1");
    t.click("SelectAllButton");
    t.click("ExtractButton");
    const morvane::Grid& table = t.grid("ExportSelectSG");
    QCOMPARE(table.rowCount(), plate + 1);
    QCOMPARE(table.cell(1, 0), std::string("A1"));
    QCOMPARE(table.cell(2, 0), std::string("A2"));
    QCOMPARE(table.cell(plate, 0), std::string(plate == 96 ? "H12" : "P24"));
}

void PlateTest::tickedWellsWithoutDataAreLeftOutWithOneWarning()
{
    QTemporaryDir dir;
    auto t = makeForm();
    // A partial plate: three wells, the plate size chosen by hand.
    t.dialogs->answerNext(DialogService::Answer::Ok);
    t.open(writeFile(dir, "partial.txt", rawExport({"A1", "A2", "B1"}, 3, '.')));
    t.get<QRadioButton>("PlateSize96")->click();
    t.click("DetermineProgsButton");
    t.click("ConvertButton");
    t.dialogs->clearShown();
    for (int index : {0, 8, 9, 1, 2}) // A1, A2, B2, B1, C1
        map96(t)->setTicked(index, true);
    t.click("NextButton1");
    t.click("ExtractButton");
    const morvane::Grid& table = t.grid("ExportSelectSG");
    QCOMPARE(table.rowCount(), 4);
    QCOMPARE(table.cell(1, 0), std::string("A1"));
    QCOMPARE(table.cell(2, 0), std::string("A2"));
    QCOMPARE(table.cell(3, 0), std::string("B1"));
    QCOMPARE(t.dialogs->shownTexts(), QStringList{"2 ticked wells hold no data and were left out: B2, C1."});
    QCOMPARE(t.currentPage(), 2);
}

void PlateTest::wellsWithoutDataCannotBeTickedByClickAllOrRange()
{
    QTemporaryDir dir;
    auto t = makeForm();
    t.dialogs->answerNext(DialogService::Answer::Ok);
    t.open(writeFile(dir, "partial.txt", rawExport({"A1", "A2", "B1"}, 3, '.')));
    t.get<QRadioButton>("PlateSize96")->click();
    WellCheckList* map = map96(t);
    // Before the conversion every well is as it always was.
    for (int i = 0; i < map->count(); ++i)
        QVERIFY(map->hasData(i));
    QCOMPARE(map->item(0)->toolTip(), QString());
    t.click("DetermineProgsButton");
    t.click("ConvertButton");

    const QList<int> withData{0, 1, 8}; // A1, B1, A2
    for (int i = 0; i < map->count(); ++i) {
        QCOMPARE(map->hasData(i), withData.contains(i));
        QCOMPARE(map->item(i)->flags().testFlag(Qt::ItemIsEnabled), withData.contains(i));
        QCOMPARE(map->item(i)->icon().isNull(), !withData.contains(i)); // the sample's colour mark
    }
    QCOMPARE(map->item(8)->toolTip(), QStringLiteral("A2: Sample 2\nreadings 2.1 (cycle 1) to 2.3 (cycle 3)"));
    QCOMPARE(map->item(9)->toolTip(), QStringLiteral("B2: no data"));

    auto clickBox = [map](int index) {
        const QRect rect = map->visualItemRect(map->item(index));
        QStyleOptionButton option;
        option.rect = rect;
        const int indicator = map->style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, map);
        QTest::mouseClick(map->viewport(), Qt::LeftButton, {},
                          QPoint(rect.left() + indicator / 2 + 3, rect.center().y()));
    };
    clickBox(9); // B2
    QVERIFY(tickedIndices(map).isEmpty());
    clickBox(1); // B1
    QCOMPARE(tickedIndices(map), QList<int>{1});

    t.click("SelectAllButton");
    QCOMPARE(tickedIndices(map), withData);
    t.click("SelectNoneButton");
    setRange(t, "A", "H", "1", "12");
    t.click("SelectRangeButton");
    QCOMPARE(tickedIndices(map), withData);

    // A new file: no table yet, every well as before.
    t.open(writeFile(dir, "full.txt", rawExport(plateWells(96), 3, '.')));
    for (int i = 0; i < map->count(); ++i)
        QVERIFY(map->hasData(i));
    QCOMPARE(map->item(9)->toolTip(), QString());
}

void PlateTest::separatorQuestionAndBothAnswers_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes repairs") << true;
    QTest::newRow("No keeps") << false;
}

void PlateTest::separatorQuestionAndBothAnswers()
{
    QFETCH(bool, yes);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTemporaryDir dir;
    auto t = makeForm();
    convert(t, dir, plateWells(96), '.');
    t.click("NextButton1");
    map96(t)->setTicked(0, true);
    t.dialogs->answerNext(yes ? DialogService::Answer::Yes : DialogService::Answer::No);
    t.click("ExtractButton");
    QCOMPARE(t.dialogs->shown().size(), 1);
    const auto& q = t.dialogs->shown().front();
    QCOMPARE(q.caption, QStringLiteral("Confirm"));
    QCOMPARE(q.icon, DialogService::Icon::Question);
    QCOMPARE(q.buttons, DialogService::Buttons::YesNo);
    QCOMPARE(q.text, QStringLiteral("Do you want to REPLACE the wrong decimal separator (\".\") with the one (\",\") "
                                    "used by your system?"));
    const morvane::Grid& table = t.grid("ExportSelectSG");
    QCOMPARE(table.cell(1, 2), std::string(yes ? "1,1" : "1.1"));
    QCOMPARE(table.cell(1, 4), std::string(yes ? "1,3" : "1.3"));
    QCOMPARE(table.cell(0, 2), std::string("1"));
    QCOMPARE(t.grid("ResultSG").cell(1, 2), std::string("1.1")); // the well table keeps the file's text
}

QTEST_MAIN(PlateTest)
#include "plate_guitest.moc"
