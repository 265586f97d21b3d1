// "Export to Excel" through the real window, read back by an independent reader (openpyxl).

#include "app/guitest.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QThread>

class ExportTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void realExportEndToEnd();
    void secondExportAddsANumberedSheetBeforeTheActiveOne();
    void tooLongNameIsRefusedBeforeTheWorkbookChanges();
    void cancellingTheWorkbookDialogEndsQuietly();
    void anotherWorkbookCanBeChosen();
    void workbookThatCannotBeWrittenLosesNothing_data();
    void workbookThatCannotBeWrittenLosesNothing();
    void repairedCommaReadingsArriveAsNumbers();
    void readingsLeftAsTextAreCountedAndTheUserMayGoBack();
    void anEmptyExportTableIsRefusedAndTheWorkbookUntouched();
};

namespace {

// Sheets, active sheet, and every cell of each sheet's used range with its type and format, as
// JSON on standard output or, given a second name, in that file.
const char* const kReadBackScript = R"(
import json, os, sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
out = {"sheets": wb.sheetnames, "active": wb.active.title, "cells": {}}
for ws in wb.worksheets:
    rows = []
    for row in ws.iter_rows(min_row=1, max_row=ws.max_row, max_col=ws.max_column):
        rows.append([[type(c.value).__name__, c.value, c.number_format] for c in row])
    out["cells"][ws.title] = rows
if len(sys.argv) > 2:
    with open(sys.argv[2] + ".part", "w") as f:
        json.dump(out, f)
    os.replace(sys.argv[2] + ".part", sys.argv[2])
else:
    print(json.dumps(out))
)";

#ifndef _WIN32
QJsonObject readBack(const QString& path)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QString::fromLatin1(kReadBackScript), path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        qWarning("openpyxl failed: %s", python.readAllStandardError().constData());
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}
#else
// Under Wine on Debian, which starts the host's /usr/bin/python3 without a handle to wait on: the
// script writes its answer beside the workbook, which is awaited. Wine's drive C: is the prefix's
// drive_c, Z: the host's root.
QString hostPath(const QString& path)
{
    const QString name = QDir::fromNativeSeparators(path);
    if (name.startsWith(QStringLiteral("Z:"), Qt::CaseInsensitive))
        return name.mid(2);
    const QString prefix = qEnvironmentVariable("WINEPREFIX", qEnvironmentVariable("HOME") + "/.wine");
    return prefix + "/drive_c" + name.mid(2);
}

QJsonObject readBack(const QString& path)
{
    const QString answer = path + ".json";
    QFile::remove(answer);
    if (!QProcess::startDetached(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QString::fromLatin1(kReadBackScript), hostPath(path), hostPath(answer)})) {
        qWarning("cannot start /usr/bin/python3: the read-back runs under Wine on Debian");
        return {};
    }
    for (QDeadlineTimer deadline(60000); !QFile::exists(answer) && !deadline.hasExpired();)
        QThread::msleep(50);
    QFile file(answer);
    if (!file.open(QIODevice::ReadOnly))
        qWarning("openpyxl gave no answer for %s", qPrintable(path));
    return QJsonDocument::fromJson(file.readAll()).object();
}
#endif

QByteArray digest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// Opens a real export, converts it, ticks every well, extracts and goes to page 3.
// Every well of `file` extracted; `repair` answers the separator question where there is one
// (unanswered: No).
void prepare(const FormUnderTest& t, const char* file, DialogService::Answer repair = DialogService::Answer::No)
{
    t.open(testData(file));
    t.click("ConvertButton");
    // What the checks find in the damaged export is said here once; these tests look at the export.
    t.dialogs->clearShown();
    t.click("NextButton1");
    t.click("SelectAllButton");
    if (repair == DialogService::Answer::Yes)
        t.dialogs->answerNext(repair);
    t.click("ExtractButton");
}

void exportTo(const FormUnderTest& t, const QString& workbook)
{
    t.dialogs->fileNext(workbook);
    t.click("ExportButton");
}

// What the sheet must hold for a grid: texts that read as numbers arrive as numbers.
void compareSheet(const QJsonArray& rows, const morvane::Grid& grid)
{
    QCOMPARE(rows.size(), grid.rowCount() + 1);
    for (int r = 0; r < rows.size(); ++r) {
        const QJsonArray cells = rows[r].toArray();
        QCOMPARE(cells.size(), grid.colCount() + 1);
        for (int c = 0; c < cells.size(); ++c) {
            const QJsonArray cell = cells[c].toArray();
            QCOMPARE(cell[2].toString(), QStringLiteral("0.000"));
            if (r == grid.rowCount() || c == grid.colCount()) {
                QCOMPARE(cell[0].toString(), QStringLiteral("NoneType"));
                continue;
            }
            const QString text = QString::fromStdString(grid.cell(r, c));
            bool isInt = false;
            bool isNumber = false;
            const int whole = text.toInt(&isInt);
            const double number = text.toDouble(&isNumber);
            if (isInt) {
                QCOMPARE(cell[0].toString(), QStringLiteral("int"));
                QCOMPARE(cell[1].toInt(), whole);
            } else if (isNumber) {
                // A reading of 16.00 is the number 16, which a reader may well return as an int.
                QVERIFY(cell[0].toString() == "float" || cell[0].toString() == "int");
                QCOMPARE(cell[1].toDouble(), number);
            } else {
                QCOMPARE(cell[0].toString(), text.isEmpty() ? QStringLiteral("NoneType") : QStringLiteral("str"));
                if (!text.isEmpty())
                    QCOMPARE(cell[1].toString(), text);
            }
        }
    }
}

} // namespace

void ExportTest::realExportEndToEnd()
{
    QTemporaryDir dir;
    auto t = makeForm();
    prepare(t, "lc480_384_nrd1_calibration.txt");
    QCOMPARE(t.grid("ExportSelectSG").rowCount(), 385);
    const QString workbook = dir.filePath("run.xlsx");
    // The experiment name is 39 characters: the name proposed is its first 31, which the export
    // takes as it stands (a longer name typed is refused: tooLongNameIsRefusedBeforeTheWorkbookChanges).
    const QString name = QStringLiteral("Edward qPCR Nrd1 calibration 20");
    QCOMPARE(t.get<QLineEdit>("SheetNameEdit")->text(), name);
    QCOMPARE(t.get<QLineEdit>("sheetnameOutEdit")->text(), name);
    exportTo(t, workbook);
    QCOMPARE(t.dialogs->shownTexts(), QStringList());
    QCOMPARE(t.dialogs->unused(), 0);

    const QJsonObject book = readBack(workbook);
    QCOMPARE(book["sheets"].toArray(), QJsonArray{name});
    QCOMPARE(book["active"].toString(), name);
    compareSheet(book["cells"].toObject()[name].toArray(), t.grid("ExportSelectSG"));
    QCOMPARE(t.get<QLabel>("InfoLabel")->text(), QStringLiteral("Quantivo: import as LC480 converted raw data"));
    QVERIFY(!t.get<QPushButton>("CloseButton")->isHidden());
    QVERIFY(t.get<QPushButton>("CloseButton")->hasFocus());
    QVERIFY(t.get<QLabel>("WorkbookLabel")->text().contains("run.xlsx"));
}

void ExportTest::secondExportAddsANumberedSheetBeforeTheActiveOne()
{
    QTemporaryDir dir;
    auto t = makeForm();
    prepare(t, "lc480_96_example_excel_damaged.txt");
    t.get<QLineEdit>("sheetnameOutEdit")->setText("Run12");
    const QString workbook = dir.filePath("runs.xlsx");
    exportTo(t, workbook);
    t.get<QLineEdit>("sheetnameOutEdit")->setText("run12");
    t.click("ExportButton");
    QCOMPARE(t.get<QLineEdit>("sheetnameOutEdit")->text(), QStringLiteral("run12_1"));
    QCOMPARE(t.get<QLineEdit>("NumCharsEdit")->text(), QStringLiteral("7"));
    t.click("ExportButton");
    QCOMPARE(t.get<QLineEdit>("sheetnameOutEdit")->text(), QStringLiteral("run12_1_1"));
    auto* sheets = t.get<QComboBox>("sheetsCB");
    QCOMPARE(sheets->count(), 2);
    QCOMPARE(sheets->currentText(), QStringLiteral("run12_1"));
    QVERIFY(sheets->isHidden());

    const QJsonObject book = readBack(workbook);
    QCOMPARE(book["sheets"].toArray(), (QJsonArray{"run12_1_1", "run12_1", "Run12"}));
    QCOMPARE(book["active"].toString(), QStringLiteral("run12_1_1"));
    compareSheet(book["cells"].toObject()["run12_1"].toArray(), t.grid("ExportSelectSG"));
}

void ExportTest::tooLongNameIsRefusedBeforeTheWorkbookChanges()
{
    QTemporaryDir dir;
    auto t = makeForm();
    prepare(t, "lc480_96_example_excel_damaged.txt");
    const QString workbook = dir.filePath("book.xlsx");
    t.get<QLineEdit>("sheetnameOutEdit")->setText("first");
    exportTo(t, workbook);
    const QByteArray before = digest(workbook);

    auto* name = t.get<QLineEdit>("sheetnameOutEdit");
    name->setText(QString(31, u'x'));
    t.click("ExportButton");
    QCOMPARE(t.dialogs->shown().size(), 0);
    QCOMPARE(readBack(workbook)["sheets"].toArray().size(), 2);

    name->setText(QString(32, u'y'));
    t.click("ExportButton");
    QCOMPARE(t.dialogs->shownTexts(),
             QStringList{"Sheet name should be max. 31 positions; You can edit the name on this page."});
    QCOMPARE(t.dialogs->shown().front().buttons, DialogService::Buttons::Ok);
    QVERIFY(!t.get<QLabel>("NumCharLabel")->isHidden());
    QVERIFY(!t.get<QLabel>("NowLabel")->isHidden());
    QVERIFY(!t.get<QLineEdit>("NumCharsEdit")->isHidden());
    QCOMPARE(t.get<QLineEdit>("NumCharsEdit")->text(), QStringLiteral("32"));
    QVERIFY(name->hasFocus());
    QCOMPARE(readBack(workbook)["sheets"].toArray().size(), 2);
    QVERIFY(before != digest(workbook)); // the 31-character export did change it
    // The count follows every edit from now on.
    QTest::keyClick(name, Qt::Key_Backspace);
    QCOMPARE(t.get<QLineEdit>("NumCharsEdit")->text(), QStringLiteral("31"));
}

void ExportTest::cancellingTheWorkbookDialogEndsQuietly()
{
    QTemporaryDir dir;
    auto t = makeForm();
    prepare(t, "lc480_96_example_excel_damaged.txt");
    const int fileDialogs = t.dialogs->fileDialogsShown();
    t.click("ExportButton"); // the dialog is cancelled
    QCOMPARE(t.dialogs->fileDialogsShown(), fileDialogs + 1);
    QCOMPARE(t.dialogs->shown().size(), 0);
    QVERIFY(QDir(dir.path()).isEmpty());
    QCOMPARE(t.get<QLabel>("InfoLabel")->text(), QStringLiteral("NOTE: the sheet is added to the workbook you choose"));
    QVERIFY(t.get<QPushButton>("CloseButton")->isHidden());
}

void ExportTest::anotherWorkbookCanBeChosen()
{
    QTemporaryDir dir;
    auto t = makeForm();
    prepare(t, "lc480_96_example_excel_damaged.txt");
    t.get<QLineEdit>("sheetnameOutEdit")->setText("first");
    const QString first = dir.filePath("first.xlsx");
    exportTo(t, first);
    const QByteArray firstBytes = digest(first);

    // The other workbook is named without extension: .xlsx is added.
    t.dialogs->fileNext(dir.filePath("second"));
    t.click("WorkbookButton");
    QVERIFY(t.get<QLabel>("WorkbookLabel")->text().endsWith("second.xlsx"));
    t.click("ExportButton");
    QCOMPARE(t.dialogs->shown().size(), 0);
    QCOMPARE(readBack(dir.filePath("second.xlsx"))["sheets"].toArray(), QJsonArray{"first"});
    QCOMPARE(digest(first), firstBytes);

    // Cancelling the choice keeps the workbook chosen before.
    t.click("WorkbookButton");
    t.click("ExportButton");
    QCOMPARE(readBack(dir.filePath("second.xlsx"))["sheets"].toArray(), (QJsonArray{"first_1", "first"}));
}

void ExportTest::workbookThatCannotBeWrittenLosesNothing_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("message");
    QTest::newRow("open in Excel") << "~$book.xlsx"
                                   << "is in use; close it in the other program and export again";
    QTest::newRow("not a workbook") << ""
                                    << "book.xlsx";
}

void ExportTest::workbookThatCannotBeWrittenLosesNothing()
{
    QFETCH(QString, obstacle);
    QFETCH(QString, message);
    QTemporaryDir dir;
    auto t = makeForm();
    prepare(t, "lc480_96_example_excel_damaged.txt");
    const QString workbook = dir.filePath("book.xlsx");
    if (obstacle.isEmpty()) {
        writeFile(dir, "book.xlsx", "these are my notes, not a workbook");
    } else {
        t.get<QLineEdit>("sheetnameOutEdit")->setText("first");
        exportTo(t, workbook);
        writeFile(dir, obstacle, "lock");
    }
    const QByteArray before = digest(workbook);
    const QStringList filesBefore = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);

    t.get<QLineEdit>("sheetnameOutEdit")->setText("second");
    if (obstacle.isEmpty())
        exportTo(t, workbook);
    else
        t.click("ExportButton");
    QCOMPARE(t.dialogs->shown().size(), 1);
    const auto& report = t.dialogs->shown().front();
    QCOMPARE(report.icon, DialogService::Icon::Error);
    QVERIFY2(report.text.contains(message), qPrintable(report.text));
    QCOMPARE(digest(workbook), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), filesBefore);
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void ExportTest::repairedCommaReadingsArriveAsNumbers()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTemporaryDir dir;
    auto t = makeForm();
    prepare(t, "lc480_96_example_excel_damaged.txt", DialogService::Answer::Yes);
    QCOMPARE(t.grid("ExportSelectSG").cell(1, 2), std::string("15,58"));
    t.get<QLineEdit>("sheetnameOutEdit")->setText("Komma");
    exportTo(t, dir.filePath("komma.xlsx"));
    const QJsonArray rows = readBack(dir.filePath("komma.xlsx"))["cells"].toObject()["Komma"].toArray();
    const QJsonArray a1 = rows[1].toArray();
    QCOMPARE(a1[2].toArray()[0].toString(), QStringLiteral("float"));
    QCOMPARE(a1[2].toArray()[1].toDouble(), 15.58);
    QCOMPARE(a1[2].toArray()[2].toString(), QStringLiteral("0.000"));
}

void ExportTest::readingsLeftAsTextAreCountedAndTheUserMayGoBack()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTemporaryDir dir;
    auto t = makeForm();
    prepare(t, "lc480_96_example_excel_damaged.txt"); // No to the repair: the readings keep their points
    const morvane::Grid& table = t.grid("ExportSelectSG");
    QCOMPARE(table.cell(1, 2), std::string("15.58"));
    int asText = 0; // with a comma as separator, only the whole numbers (the dates) read as numbers
    for (int r = 1; r < table.rowCount(); ++r)
        for (int c = 2; c < table.colCount(); ++c)
            asText += !QString::fromStdString(table.cell(r, c)).toInt() && !table.cell(r, c).empty();
    QVERIFY(asText > 3000);
    t.dialogs->clearShown();
    const int fileDialogs = t.dialogs->fileDialogsShown();
    t.click("ExportButton"); // No: back to the table, nothing written
    QCOMPARE(t.dialogs->shown().size(), 1);
    QCOMPARE(t.dialogs->shown().front().icon, DialogService::Icon::Question);
    QVERIFY2(t.dialogs->shownTexts().front().startsWith(
                 QLocale().toString(asText) +
                 " readings are not numbers with your decimal separator \",\" (first: A1 cycle 1: 15.58)"),
             qPrintable(t.dialogs->shownTexts().front()));
    QCOMPARE(t.dialogs->fileDialogsShown(), fileDialogs);

    t.get<QLineEdit>("sheetnameOutEdit")->setText("Punkt");
    t.dialogs->answerNext(DialogService::Answer::Yes);
    exportTo(t, dir.filePath("punkt.xlsx"));
    const QJsonArray rows = readBack(dir.filePath("punkt.xlsx"))["cells"].toObject()["Punkt"].toArray();
    QCOMPARE(rows[1].toArray()[2].toArray()[0].toString(), QStringLiteral("str"));
    QCOMPARE(t.dialogs->unused(), 0);
}

void ExportTest::anEmptyExportTableIsRefusedAndTheWorkbookUntouched()
{
    QTemporaryDir dir;
    auto t = makeForm();
    prepare(t, "lc480_96_example_excel_damaged.txt");
    t.get<QLineEdit>("sheetnameOutEdit")->setText("first");
    const QString workbook = dir.filePath("book.xlsx");
    exportTo(t, workbook);
    const QByteArray before = digest(workbook);

    // Another file, not converted: its export table has no wells.
    t.open(testData("channels/lc480_96_dual_colour.txt"));
    t.get<QTabWidget>("PageControl1")->setCurrentIndex(2);
    t.dialogs->clearShown();
    t.click("ExportButton");
    QCOMPARE(t.dialogs->shown().size(), 1);
    QCOMPARE(t.dialogs->shown().front().icon, DialogService::Icon::Warning);
    QVERIFY(t.dialogs->shownTexts().front().contains("\"Extract Selected Wells\""));
    QCOMPARE(digest(workbook), before);
    QVERIFY(t.get<QLabel>("ExportedLabel")->isHidden());

    // With no workbook chosen yet, the refusal comes before the workbook dialog.
    auto fresh = makeForm();
    fresh.get<QRadioButton>("PlateSize96")->click();
    fresh.get<QTabWidget>("PageControl1")->setCurrentIndex(2);
    fresh.click("ExportButton");
    QCOMPARE(fresh.dialogs->fileDialogsShown(), 0);
    QCOMPARE(fresh.dialogs->shown().size(), 1);
}

QTEST_MAIN(ExportTest)
#include "export_guitest.moc"
