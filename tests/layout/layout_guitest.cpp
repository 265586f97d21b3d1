// The plate layout through the real window: read for the open file, shown on the map, set for
// the ticked wells, saved, written into RDML 1.4, and gone with the next file.

#include "app/findingmarks.h"
#include "app/guitest.h"
#include "app/stringgrid.h"
#include "app/wellchecklist.h"
#include "layout/platelayout.h"
#include "xlsx/ziparchive.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>

#include <optional>

class LayoutWindowTest : public QObject {
    Q_OBJECT
private slots:
    void theLayoutNamesTheWellsAndMarksTheControls();
    void tickedWellsAreSetSavedAndWrittenAsRdml14();
    void aBadLayoutChangesNothing();
    void saveLayoutReplacesOnlyALayoutTable();
    void anUntouchedUnitStaysAndAConflictNamesTheWell();
};

namespace {

const char* const kPlan = "layout/lc480_384_nrd1_calibration_layout.tsv";

void convertCalibration(const FormUnderTest& t)
{
    t.open(testData("lc480_384_nrd1_calibration.txt"));
    t.click("ConvertButton");
    t.click("NextButton1");
}

QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

void LayoutWindowTest::theLayoutNamesTheWellsAndMarksTheControls()
{
    auto t = makeForm();
    convertCalibration(t);
    QCOMPARE(t.grid("ResultSG").cell(1, 1), std::string(" Sample 1"));
    t.dialogs->fileNext(testData(kPlan));
    t.click("LayoutButton");
    QCOMPARE(t.dialogs->shownTexts(), QStringList());
    // The well table, and so the curves and the sheet, take the layout's names.
    QCOMPARE(t.grid("ResultSG").cell(1, 1), std::string(" A_1x"));
    QVERIFY2(t.get<QLabel>("LayoutLabel")->text().contains("384 entries; it changed 384 sample names"),
             qPrintable(t.get<QLabel>("LayoutLabel")->text()));
    auto* map = t.get<WellCheckList>("Wells384CB");
    QListWidgetItem* a6 = map->item(morvane::checkListIndex(morvane::PlateFormat::Wells384, 1, 6));
    QVERIFY2(a6->toolTip().contains("sample NT (ntc), a control"), qPrintable(a6->toolTip()));
    QVERIFY(a6->toolTip().contains("target ECM38_1 (toi)"));
    QVERIFY(a6->font().italic());
    QListWidgetItem* a2 = map->item(morvane::checkListIndex(morvane::PlateFormat::Wells384, 1, 2));
    QVERIFY(a2->toolTip().contains("quantity 5 dil"));
    QVERIFY(!a2->font().italic());
    // A no-template control with primer dimers gets the control-peak mark and says what it is; a
    // -RT well without a peak, and a sample, neither.
    const auto markColour = [&](QListWidgetItem* item) {
        return item->icon().pixmap(map->iconSize()).toImage().pixelColor(1, 1);
    };
    QListWidgetItem* a5 = map->item(morvane::checkListIndex(morvane::PlateFormat::Wells384, 1, 5));
    QVERIFY2(a6->toolTip().endsWith("\nTm 71.32 °C\nNTC: peak at 71.3 °C, likely primer dimers"),
             qPrintable(a6->toolTip()));
    QCOMPARE(markColour(a6), controlPeakColour());
    QVERIFY(a6->font().bold());
    QCOMPARE(a6->foreground().color(), controlPeakColour());
    for (QListWidgetItem* item : {a5, a2}) {
        QVERIFY2(!item->toolTip().contains("peak at"), qPrintable(item->toolTip()));
        QVERIFY(markColour(item) != controlPeakColour());
        QVERIFY(!item->font().bold());
    }
    QCOMPARE(a5->foreground().color(), controlColour());

    // Another file: nothing of the layout stays.
    t.open(testData("lc480_96_example_excel_damaged.txt"));
    QVERIFY(t.form->plateLayout() == nullptr);
    QVERIFY(t.get<QLabel>("LayoutLabel")->text().startsWith("no layout"));
    QVERIFY(!a6->font().italic());
    QVERIFY(!a6->toolTip().contains("ntc"));
    QVERIFY(!a6->toolTip().contains("NTC: peak"));
}

void LayoutWindowTest::tickedWellsAreSetSavedAndWrittenAsRdml14()
{
    QTemporaryDir dir;
    auto t = makeForm();
    convertCalibration(t);
    t.get<QLineEdit>("startrow")->setText("A");
    t.get<QLineEdit>("stoprow")->setText("A");
    t.get<QLineEdit>("startcol")->setText("1");
    t.get<QLineEdit>("stopcol")->setText("2");
    t.click("SelectRangeButton");
    t.get<QLineEdit>("LayoutSampleEdit")->setText("Calibrator");
    auto* sampleType = t.get<QComboBox>("LayoutSampleTypeCB");
    QCOMPARE(sampleType->itemText(sampleType->findData("pos")), QStringLiteral("pos - positive control"));
    sampleType->setCurrentIndex(sampleType->findData("pos"));
    t.get<QLineEdit>("LayoutTargetEdit")->setText("NRD1");
    t.get<QLineEdit>("LayoutQuantityEdit")->setText("2,5");
    t.click("ApplyLayoutButton");
    QCOMPARE(t.dialogs->shownTexts(), QStringList());
    QCOMPARE(t.grid("ResultSG").cell(2, 1), std::string(" Calibrator"));
    QCOMPARE(t.grid("ResultSG").cell(3, 1), std::string(" Sample 3")); // A3 was not ticked

    const QString layoutFile = dir.filePath("plan");
    t.dialogs->fileNext(layoutFile);
    t.click("SaveLayoutButton");
    const QStringList saved = readAll(layoutFile + ".tsv").split('\n');
    QCOMPARE(saved.value(0),
             QStringLiteral("Well\tSample\tSample Type\tTarget\tTarget Type\tDye\tQuantity\tQuantity Unit"));
    QCOMPARE(saved.value(1), QStringLiteral("A1\tCalibrator\tpos\tNRD1\t\t\t2.5\tcop"));
    QCOMPARE(saved.value(3), QStringLiteral("A3\tSample 3\t\t\t\t\t\t")); // the export's names go along

    t.click("ExtractButton");
    t.get<QComboBox>("RdmlVersionCB")->setCurrentIndex(1);
    t.dialogs->fileNext(dir.filePath("run.rdml"));
    t.click("SaveRdmlButton");
    QFile rdml(dir.filePath("run.rdml"));
    QVERIFY(rdml.open(QIODevice::ReadOnly));
    const std::string bytes = rdml.readAll().toStdString();
    auto archive = morvane::xlsx::ZipArchive::open(bytes, 4, 1u << 30);
    QVERIFY(archive.ok());
    const std::string xml = *archive->read(*archive->find("rdml_data.xml"), 1u << 30);
    QVERIFY(xml.find("version=\"1.4\"") != std::string::npos);
    QVERIFY(xml.find("<sample id=\"Calibrator\"><type>pos</type><quantity><value>2.5</value>") != std::string::npos);
    QVERIFY(xml.find("<target id=\"NRD1\">") != std::string::npos);
}

void LayoutWindowTest::aBadLayoutChangesNothing()
{
    QTemporaryDir dir;
    auto t = makeForm();
    convertCalibration(t);
    const QString bad = writeFile(dir, "bad.tsv", "Well\tSample\tSample Type\nA1\tS\tunkn\nA2\tS\tunkn\nA3\tT\tnone\n");
    t.dialogs->fileNext(bad);
    t.click("LayoutButton");
    QCOMPARE(t.dialogs->shown().size(), 1);
    QVERIFY2(t.dialogs->shownTexts().front().contains("bad.tsv, line 4: the sample type 'none'"),
             qPrintable(t.dialogs->shownTexts().front()));
    QVERIFY(t.form->plateLayout() == nullptr);
    QCOMPARE(t.grid("ResultSG").cell(1, 1), std::string(" Sample 1"));
    // Nothing ticked: nothing to set.
    t.get<QLineEdit>("LayoutSampleEdit")->setText("X");
    t.click("ApplyLayoutButton");
    QCOMPARE(t.dialogs->shownTexts().back(), QStringLiteral("No wells are ticked."));
}

void LayoutWindowTest::saveLayoutReplacesOnlyALayoutTable()
{
    QTemporaryDir dir;
    auto t = makeForm();
    convertCalibration(t);
    t.dialogs->fileNext(testData(kPlan));
    t.click("LayoutButton");
    QVERIFY(t.dialogs->lastFilter().startsWith("Layout tables (*.tsv *.csv *.txt *.xlsx);;"));
    QVERIFY(QFile::copy(testData("lc480_384_nrd1_calibration.txt"), dir.filePath("raw.txt")));
    writeFile(dir, "old.tsv", "Well;Sample\nA1;Old\n");
    const QString header =
        QStringLiteral("Well\tSample\tSample Type\tTarget\tTarget Type\tDye\tQuantity\tQuantity Unit");
    const struct {
        const char* typed;
        const char* filter; // chosen in the dialog; empty: the first
        std::optional<DialogService::Answer> answer;
        const char* written;
        const char* said; // the start of the one message shown
    } cases[] = {
        {"raw.txt", "", {}, "raw.txt", "'raw.txt' is a raw data export, not a layout table; it is left as it is"},
        {"old.tsv", "", DialogService::Answer::No, "old.tsv", "%1 already exists."},
        {"old.tsv", "", DialogService::Answer::Yes, "old.tsv", "%1 already exists."},
        {"new", "Text files (*.txt)", {}, "new.txt", ""},
    };
    for (const auto& c : cases) {
        const QString written = dir.filePath(c.written);
        const QString before = readAll(written);
        t.dialogs->clearShown();
        t.dialogs->fileNext(dir.filePath(c.typed), c.filter);
        if (c.answer)
            t.dialogs->answerNext(*c.answer);
        t.click("SaveLayoutButton");
        const QStringList said = t.dialogs->shownTexts();
        QCOMPARE(said.size(), *c.said ? 1 : 0);
        if (*c.said)
            QVERIFY2(said.front().startsWith(QString::fromLatin1(c.said).arg(QDir::toNativeSeparators(written))),
                     qPrintable(said.front()));
        const bool replaced = !c.answer ? !*c.said : *c.answer == DialogService::Answer::Yes;
        QCOMPARE(readAll(written).startsWith(header), replaced);
        if (!replaced)
            QCOMPARE(readAll(written), before);
    }
}

void LayoutWindowTest::anUntouchedUnitStaysAndAConflictNamesTheWell()
{
    auto t = makeForm();
    convertCalibration(t);
    t.dialogs->fileNext(testData(kPlan));
    t.click("LayoutButton");
    auto* map = t.get<WellCheckList>("Wells384CB");
    const auto well = [](int row, int col) {
        return morvane::checkListIndex(morvane::PlateFormat::Wells384, row, col);
    };
    // A1 and A7 hold the same sample and target: their quantity changes together.
    map->setTicked({well(1, 1), well(1, 7)}, true);
    t.get<QLineEdit>("LayoutQuantityEdit")->setText("2,5");
    t.click("ApplyLayoutButton");
    QCOMPARE(t.dialogs->shownTexts(), QStringList());
    for (const int index : {well(1, 1), well(1, 7)})
        QVERIFY2(map->item(index)->toolTip().contains("quantity 2.5 dil"), qPrintable(map->item(index)->toolTip()));
    t.click("SelectNoneButton");
    map->setTicked({well(2, 1)}, true);
    t.click("ApplyLayoutButton");
    QCOMPARE(
        t.dialogs->shownTexts(),
        QStringList{"The edit conflicts with the layout: well B7 (lc480_384_nrd1_calibration_layout.tsv, line 32): "
                    "the sample 'A_1x' is given two quantities for 'ECM38_2': 2.5 dil (well B1, as set now) and "
                    "1 dil."});
    QVERIFY(map->item(well(2, 1))->toolTip().contains("quantity 1 dil"));
}

QTEST_MAIN(LayoutWindowTest)
#include "layout_guitest.moc"
