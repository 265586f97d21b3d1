// "Determine Progs" and "Convert to Grid" through the real window.

#include "app/guitest.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "app/wellchecklist.h"
#include "conversion/programs.h"
#include "conversion/welltable.h"

class ConvertTest : public QObject {
    Q_OBJECT
private slots:
    void realExportsEndToEnd_data();
    void realExportsEndToEnd();
    void twoProgramsOfferAChoice();
    void noPlateSizeConvertsAndWarns();
    void sampleListIsRefusedClearly();
    void badLineIsReportedWithItsNumberAndTheWindowGoesOn();
    void commandsAreHeldOffWhileTheConversionPumpsMessages();
    void switchingPlateAfterAConversionOffersTheNextPage();
    void channelAndSegmentAreChosenInTheLists_data();
    void channelAndSegmentAreChosenInTheLists();
    void wellsThePlateCannotHoldAreNamed();
    void damagedReadingsAreSaidAndMarked();
    void aWellThatComesBackJoinsItsRowAndIsSaid();
    void tablesKeepTheModelContract();
};

namespace {

QByteArray twoProgramExport()
{
    QByteArray text = "Raw Data \t\tExperiment - Choice (Run on LCS480 1.5.0.39)\r\n"
                      "SamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp\t465-510\r\n";
    for (const QByteArray well : {"A1", "A2", "H12"})
        for (int program : {2, 4})
            for (int cycle = 1; cycle <= 40; ++cycle)
                text += well + "\tStd 1\t" + QByteArray::number(program) + "\t1\t" + QByteArray::number(cycle) +
                        "\t100\t60.0\t" + QByteArray::number(program) + "." + QByteArray::number(cycle) + "\r\n";
    return text;
}

} // namespace

void ConvertTest::realExportsEndToEnd_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cycles");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("firstReading");
    QTest::addColumn<int>("warnings"); // what the checks found, said in one warning
    QTest::newRow("384 wells") << "lc480_384_nrd1_calibration.txt" << 385 << 40
                               << "Edward qPCR Nrd1 calibration 2019-02-02"
                               << "0.59" << 0;
    QTest::newRow("96 wells") << "lc480_96_example_excel_damaged.txt" << 97 << 45
                              << "HL60 _U937_Kokultur Bine _1_IL10_090113"
                              << "15.58" << 1;
}

void ConvertTest::realExportsEndToEnd()
{
    QFETCH(QString, file);
    QFETCH(int, rows);
    QFETCH(int, cycles);
    QFETCH(QString, name);
    QFETCH(QString, firstReading);
    QFETCH(int, warnings);
    auto t = makeForm();
    t.open(testData(file.toLatin1().constData()));
    QVERIFY(t.get<QListWidget>("ProgsListBox")->isHidden());
    QVERIFY(t.get<QLabel>("MoreProgsLabel")->isHidden());
    QCOMPARE(t.get<QListWidget>("ProgsListBox")->count(), 1);
    QCOMPARE(t.form->SelectedProg, 2);

    t.click("ConvertButton");
    QCOMPARE(t.dialogs->shown().size(), warnings);
    const morvane::Grid& table = t.grid("ResultSG");
    QCOMPARE(table.rowCount(), rows);
    QCOMPARE(table.colCount(), cycles + 2);
    QCOMPARE(table.fixedCols(), 1);
    QCOMPARE(table.cell(0, 0), std::string("well"));
    QCOMPARE(table.cell(0, 1), std::string("sample"));
    QCOMPARE(table.cell(0, cycles + 1), std::to_string(cycles));
    QCOMPARE(table.cell(1, 0), std::string("A1"));
    QCOMPARE(QString::fromStdString(table.cell(1, 2)), firstReading);
    QCOMPARE(t.get<QLineEdit>("NoCyclesEdit")->text(), QString::number(cycles));
    // Proposed cut to what a sheet name may hold.
    const QString proposed = name.left(31);
    QCOMPARE(t.get<QLineEdit>("SheetNameEdit")->text(), proposed);
    QCOMPARE(t.get<QLineEdit>("sheetnameOutEdit")->text(), proposed);
    QCOMPARE(t.get<QLineEdit>("NumCharsEdit")->text(), QString::number(proposed.size()));
    QVERIFY(!t.get<QPushButton>("NextButton1")->isHidden());
    QVERIFY(t.get<QPushButton>("NextButton1")->hasFocus());
    QVERIFY(t.get<QProgressBar>("ProgressBar")->value() > 0);
    QVERIFY(t.get<QPushButton>("ConvertButton")->isEnabled());
    QVERIFY(t.get<QPushButton>("OpenButton")->isEnabled());
}

void ConvertTest::twoProgramsOfferAChoice()
{
    QTemporaryDir dir;
    auto t = makeForm();
    t.open(writeFile(dir, "choice.txt", twoProgramExport()));
    auto* list = t.get<QListWidget>("ProgsListBox");
    QVERIFY(!list->isHidden());
    QVERIFY(!t.get<QLabel>("MoreProgsLabel")->isHidden());
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), QStringLiteral("2"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("4"));
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(t.form->SelectedProg, 2);

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    QCOMPARE(t.form->SelectedProg, 4);
    t.click("ConvertButton");
    QCOMPARE(t.grid("ResultSG").cell(1, 2), std::string("4.1"));
    QCOMPARE(t.grid("ResultSG").cell(3, 41), std::string("4.40"));
    QCOMPARE(t.grid("ResultSG").cell(1, 1), std::string(" Std 1"));

    // Determining again rebuilds the list and preselects the first item.
    t.click("DetermineProgsButton");
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(t.form->SelectedProg, 2);
}

void ConvertTest::noPlateSizeConvertsAndWarns()
{
    QTemporaryDir dir;
    auto t = makeForm();
    t.open(writeFile(dir, "partial.txt", rawExport({"A1", "A2", "B1"})));
    QCOMPARE(t.dialogs->shown().size(), 1);
    QVERIFY(t.dialogs->shownTexts().front().startsWith("Plate format not recognised"));
    // Each step says what to choose next.
    t.click("ConvertButton");
    t.click("DetermineProgsButton");
    QCOMPARE(t.dialogs->shownTexts().mid(1),
             (QStringList{"Choose the plate size (96 or 384) under \"Plate Size\" first, then press \"Determine "
                          "Progs\"",
                          "1 program found. Choose the plate size (96 or 384) under \"Plate Size\" first, then press "
                          "\"Convert to Grid\"."}));
    t.click("ConvertButton");
    QCOMPARE(t.dialogs->shownTexts().size(), 4);
    const auto& w = t.dialogs->shown().back();
    QCOMPARE(w.text, QStringLiteral("Give plate format before proceeding"));
    QCOMPARE(w.caption, QStringLiteral("Warning"));
    QCOMPARE(w.buttons, DialogService::Buttons::OkCancel);
    QCOMPARE(t.grid("ResultSG").rowCount(), 4);
    QVERIFY(t.get<QPushButton>("NextButton1")->isHidden());
}

void ConvertTest::sampleListIsRefusedClearly()
{
    auto t = makeForm();
    t.open(testData("lc480_96_example_sample_info.txt"));
    QCOMPARE(t.dialogs->shown().size(), 1);
    const auto& report = t.dialogs->shown().front();
    QCOMPARE(report.icon, DialogService::Icon::Error);
    QVERIFY2(report.text.contains("not a LightCycler 480 raw data export"), qPrintable(report.text));
    QVERIFY2(report.text.contains("sample list"), qPrintable(report.text));
    QCOMPARE(t.get<QListWidget>("ProgsListBox")->count(), 0);

    // Refused when opened: nothing of it was loaded, so there is nothing to convert.
    t.dialogs->clearShown();
    t.click("ConvertButton");
    QCOMPARE(t.dialogs->shown().size(), 1);
    QVERIFY2(t.dialogs->shown().front().text.contains("No raw data file is loaded"),
             qPrintable(t.dialogs->shown().front().text));
}

void ConvertTest::badLineIsReportedWithItsNumberAndTheWindowGoesOn()
{
    QTemporaryDir dir;
    auto t = makeForm();
    QByteArray text = rawExport({"A1", "A2"});
    text.replace("A2\tSample 2\t2\t2\t2\t", "A2\tSample 2\t2\t2\tseven\t");
    text += "H12\tSample 3\t2\t2\t1\t1000\t60.0\t3.1\r\n";
    t.open(writeFile(dir, "bad.txt", text));
    t.dialogs->clearShown();
    t.click("ConvertButton");
    QCOMPARE(t.dialogs->shownTexts(), QStringList{"Line 9: 'seven' is not a valid integer value (cycle number)"});
    QVERIFY(t.get<QPushButton>("ConvertButton")->isEnabled());
    QVERIFY(t.get<QPushButton>("OpenButton")->isEnabled());
    QVERIFY(t.get<QPushButton>("NextButton1")->isHidden());

    t.open(testData("lc480_96_example_excel_damaged.txt"));
    t.click("ConvertButton");
    QCOMPARE(t.grid("ResultSG").rowCount(), 97);
}

void ConvertTest::commandsAreHeldOffWhileTheConversionPumpsMessages()
{
    auto t = makeForm();
    t.open(testData("lc480_384_nrd1_calibration.txt"));
    bool convertEnabled = true;
    bool openEnabled = true;
    bool determineEnabled = true;
    int fileDialogs = -1;
    QTimer::singleShot(0, t.form.get(), [&] {
        convertEnabled = t.get<QPushButton>("ConvertButton")->isEnabled();
        openEnabled = t.get<QPushButton>("OpenButton")->isEnabled();
        determineEnabled = t.get<QPushButton>("DetermineProgsButton")->isEnabled();
        QTest::mouseClick(t.get<QPushButton>("OpenButton"), Qt::LeftButton);
        fileDialogs = t.dialogs->fileDialogsShown();
    });
    t.click("ConvertButton");
    QVERIFY(!convertEnabled);
    QVERIFY(!openEnabled);
    QVERIFY(!determineEnabled);
    QCOMPARE(fileDialogs, 1); // only the dialog of the open before the conversion
    QCOMPARE(t.grid("ResultSG").rowCount(), 385);
    QVERIFY(t.get<QPushButton>("ConvertButton")->isEnabled());
}

void ConvertTest::switchingPlateAfterAConversionOffersTheNextPage()
{
    QTemporaryDir dir;
    auto t = makeForm();
    t.open(writeFile(dir, "single.txt", rawExport({"A1"})));
    t.get<QRadioButton>("PlateSize96")->click();
    t.click("DetermineProgsButton");
    t.click("ConvertButton");
    QCOMPARE(t.grid("ResultSG").rowCount(), 2);
    t.get<QPushButton>("NextButton1")->hide();
    t.get<QRadioButton>("PlateSize384")->click();
    QVERIFY(t.get<QPushButton>("NextButton1")->isHidden()); // a single-well table leaves it as it was

    t.open(writeFile(dir, "two.txt", rawExport({"A1", "A2"})));
    t.get<QRadioButton>("PlateSize96")->click();
    t.click("DetermineProgsButton");
    t.click("ConvertButton");
    t.get<QPushButton>("NextButton1")->hide();
    t.get<QRadioButton>("PlateSize384")->click();
    QVERIFY(!t.get<QPushButton>("NextButton1")->isHidden());
    QVERIFY(t.get<QPushButton>("NextButton1")->hasFocus());
}

void ConvertTest::channelAndSegmentAreChosenInTheLists_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("programItems");
    QTest::addColumn<QStringList>("channelItems");
    QTest::addColumn<int>("programRow");
    QTest::addColumn<int>("channelRow");
    QTest::addColumn<QString>("sheetName");
    QTest::newRow("second channel") << "channels/lc480_96_dual_colour.txt" << QStringList{"2"}
                                    << QStringList{"465-510", "533-580"} << 0 << 1 << "Dual colour test 533-580";
    QTest::newRow("second segment") << "channels/lc480_96_two_segments.txt"
                                    << QStringList{"2 / segment 2 (60 \u00b0C)", "2 / segment 1 (95 \u00b0C)"}
                                    << QStringList{"483-533"} << 1 << 0 << "Two segment run seg 1";
}

void ConvertTest::channelAndSegmentAreChosenInTheLists()
{
    QFETCH(QString, file);
    QFETCH(QStringList, programItems);
    QFETCH(QStringList, channelItems);
    QFETCH(int, programRow);
    QFETCH(int, channelRow);
    QFETCH(QString, sheetName);
    auto t = makeForm();
    t.open(testData(file.toLatin1().constData()));
    auto items = [](QListWidget* list) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts << list->item(i)->text();
        return texts;
    };
    auto* programs = t.get<QListWidget>("ProgsListBox");
    auto* channels = t.get<QListWidget>("ChannelsListBox");
    QCOMPARE(items(programs), programItems);
    QCOMPARE(items(channels), channelItems);
    QCOMPARE(programs->isHidden(), programItems.size() < 2);
    QCOMPARE(channels->isHidden(), channelItems.size() < 2);
    QCOMPARE(channels->currentRow(), 0);
    programs->setCurrentRow(programRow);
    channels->setCurrentRow(channelRow);
    t.click("ConvertButton");
    QCOMPARE(t.dialogs->shown().size(), 0);

    // Exactly the table the core gives for that run and channel.
    auto text = morvane::loadRawFile(testData(file.toLatin1().constData()).toStdString());
    QVERIFY(text.ok());
    auto detected = morvane::detectPrograms(*text);
    QVERIFY(detected.ok());
    const morvane::OfferedRun& run = detected->runs.at(std::size_t(programRow));
    auto expected =
        morvane::convertRun(*text, *detected, {run.program, run.segment, channelRow}, morvane::PlateFormat::Wells96);
    QVERIFY(expected.ok());
    QVERIFY(t.grid("ResultSG") == expected->grid);
    QCOMPARE(t.get<QLineEdit>("SheetNameEdit")->text(), sheetName);
    QCOMPARE(t.get<QLineEdit>("sheetnameOutEdit")->text(), sheetName);
    const QString channelText = QStringLiteral("channel: ") + channelItems.at(channelRow);
    QCOMPARE(t.get<QLabel>("ChannelLabel")->text(), channelText);
    QCOMPARE(t.get<QLabel>("ChannelOutLabel")->text(), channelText);
    QCOMPARE(t.get<QLabel>("ChannelLabel")->isHidden(), channelItems.size() < 2);
}

void ConvertTest::wellsThePlateCannotHoldAreNamed()
{
    // The 384-well export converted as a 96-well plate: its wells A13 to A24 are not on the
    // plate, and the wells after the 96th get no row. Both are said.
    auto t = makeForm();
    t.open(testData("lc480_384_nrd1_calibration.txt"));
    t.get<QRadioButton>("PlateSize96")->click();
    t.click("ConvertButton");
    const QStringList shown = t.dialogs->shownTexts();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.front().startsWith("48 wells of the file are not on the 96-well plate and cannot be exported: "
                                      "A13, A14, A15, A16, A17, ...") &&
                 shown.front().contains("288 wells of the file beyond the 96-well plate were not converted: E1, E2"),
             qPrintable(shown.front()));
}

void ConvertTest::damagedReadingsAreSaidAndMarked()
{
    auto t = makeForm();
    t.open(testData("lc480_96_example_excel_damaged.txt"));
    t.click("ConvertButton");
    QCOMPARE(t.dialogs->shown().size(), 1);
    const auto& said = t.dialogs->shown().front();
    QCOMPARE(said.buttons, DialogService::Buttons::Ok);
    QVERIFY2(said.text.startsWith("1,002 readings look like dates written by a spreadsheet (first: A2 cycle 30, line "
                                  "77: 41350; A2 cycle 31, line 78: 41595;") &&
                 said.text.endsWith("untick the wells you do not want to export."),
             qPrintable(said.text));

    // Every reading stays as it was; the flagged ones are coloured, with the finding as tooltip.
    auto* result = t.get<StringGrid>("ResultSG");
    QCOMPARE(result->grid().cell(2, 31), std::string("41350"));
    QCOMPARE(result->marks().size(), std::size_t(1002));
    const QAbstractItemModel* model = result->model();
    const QModelIndex flagged = model->index(2 - 1, 31 - 1); // the well column is the row header
    QCOMPARE(model->data(flagged).toString(), QStringLiteral("41350"));
    QCOMPARE(model->data(flagged, Qt::ToolTipRole).toString(),
             QStringLiteral("looks like a date written by a spreadsheet (line 77)"));
    QVERIFY(model->data(flagged, Qt::BackgroundRole).canConvert<QColor>());
    const QModelIndex clean = model->index(1 - 1, 2 - 1); // A1 cycle 1
    QVERIFY(model->data(clean, Qt::ToolTipRole).isNull());
    QVERIFY(!model->data(clean, Qt::BackgroundRole).canConvert<QColor>());

    // The plate map names what was found in each well.
    auto* plate = t.get<WellCheckList>("Wells96CB");
    auto wellItem = [plate](const char* well) { return plate->findItems(well, Qt::MatchExactly).front(); };
    QVERIFY2(wellItem("A2")->toolTip().contains("readings look like dates written by a spreadsheet"),
             qPrintable(wellItem("A2")->toolTip()));
    // A clean well's tooltip gives its sample and readings only.
    QCOMPARE(wellItem("A1")->toolTip(), QStringLiteral("A1: Sample_1\nreadings 15.58 (cycle 1) to 15.76 (cycle 45)"));

    // The export table carries the marks of the wells it holds.
    t.click("NextButton1");
    for (const char* well : {"A1", "A2"})
        plate->setTicked(plate->row(wellItem(well)), true);
    t.click("ExtractButton");
    auto* exported = t.get<StringGrid>("ExportSelectSG");
    QCOMPARE(exported->grid().cell(2, 0), std::string("A2"));
    CellMarks expected;
    for (const auto& [cell, note] : result->marks())
        if (cell.first <= 2)
            expected[cell] = note;
    QVERIFY(!expected.empty());
    QVERIFY(exported->marks() == expected);

    // A clean conversion leaves nothing marked.
    QTabBar* pages = t.get<QTabWidget>("PageControl1")->tabBar();
    QTest::mouseClick(pages, Qt::LeftButton, {}, pages->tabRect(0).center());
    QCOMPARE(t.currentPage(), 0);
    t.open(testData("lc480_384_nrd1_calibration.txt"));
    t.dialogs->clearShown();
    t.click("ConvertButton");
    QCOMPARE(t.dialogs->shown().size(), 0);
    QVERIFY(result->marks().empty());
    QVERIFY2(!wellItem("A2")->toolTip().contains("spreadsheet"), qPrintable(wellItem("A2")->toolTip()));
    QVERIFY(wellItem("A2")->background() == QBrush());
}

void ConvertTest::aWellThatComesBackJoinsItsRowAndIsSaid()
{
    // A1's cycles 21 to 40 after every other well: they join A1's row, and the warning says so.
    QFile clean(testData("channels/lc480_96_dual_colour.txt"));
    QVERIFY(clean.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = clean.readAll().split('\n');
    lines.removeLast(); // after the last line break
    const QList<QByteArray> late = lines.mid(23, 20);
    lines.remove(23, 20);
    lines.append(late);
    QTemporaryDir dir;
    auto t = makeForm();
    t.open(writeFile(dir, "split.txt", lines.join('\n') + '\n'));
    t.get<QRadioButton>("PlateSize96")->click(); // the last line is A1's: not recognised
    t.click("DetermineProgsButton");
    t.dialogs->clearShown();
    t.click("ConvertButton");
    QCOMPARE(t.dialogs->shown().size(), 1);
    const QString said = t.dialogs->shownTexts().front();
    QVERIFY2(said.startsWith("1 run of a well comes back after other wells or programs (the readings joined their "
                             "well's row) (first: A1 cycle 21, line 4495: "),
             qPrintable(said));
    auto* result = t.get<StringGrid>("ResultSG");
    QCOMPARE(result->grid().colCount(), 42);
    QCOMPARE(result->grid().cell(1, 41), std::string("15.00040"));
    QCOMPARE(result->model()->data(result->model()->index(0, 21), Qt::ToolTipRole).toString(),
             QStringLiteral("the well's readings come back here after other wells or programs (line 4495)"));
}

void ConvertTest::tablesKeepTheModelContract()
{
    auto t = makeForm();
    // From here on every change of both tables is checked as it happens: counts, indexes,
    // headers, and the signals around a new grid or new marks.
    for (const char* name : {"ResultSG", "ExportSelectSG"}) {
        QAbstractItemModel* model = t.get<StringGrid>(name)->model();
        new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::QtTest, model);
    }
    t.open(testData("lc480_96_example_excel_damaged.txt"));
    t.click("ConvertButton"); // emptied, filled, then marked
    QCOMPARE(t.grid("ResultSG").rowCount(), 97);
    t.click("NextButton1");
    t.click("SelectAllButton");
    t.click("ExtractButton");
    QCOMPARE(t.grid("ExportSelectSG").rowCount(), 97);
    QVERIFY(!t.get<StringGrid>("ExportSelectSG")->marks().empty());
    // Another file clears both tables.
    QTabBar* pages = t.get<QTabWidget>("PageControl1")->tabBar();
    QTest::mouseClick(pages, Qt::LeftButton, {}, pages->tabRect(0).center());
    t.open(testData("lc480_384_nrd1_calibration.txt"));
    QCOMPARE(t.grid("ResultSG").rowCount(), 2);
    QCOMPARE(t.grid("ExportSelectSG").rowCount(), 2);
    t.click("ConvertButton");
    QCOMPARE(t.grid("ResultSG").rowCount(), 385);
}

QTEST_MAIN(ConvertTest)
#include "convert_guitest.moc"
