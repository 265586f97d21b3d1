// "Open text File": loading, plate recognition from the last line, and every refusal.

#include "app/guitest.h"

#include "app/memoview.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>

class OpenFileTest : public QObject {
    Q_OBJECT
private slots:
    void realExportsSetThePlate_data();
    void realExportsSetThePlate();
    void unrecognisedLastWellWarnsAndKeepsTheRest_data();
    void unrecognisedLastWellWarnsAndKeepsTheRest();
    void trailingBlankLinesAreNotThere();
    void cancelBeforeAnyFileDoesNothing();
    void cancelAfterAFileChangesNothing();
    void refusedFilesKeepTheFormerState_data();
    void refusedFilesKeepTheFormerState();
    void sampleNamesReachTheScreenDecoded_data();
    void sampleNamesReachTheScreenDecoded();
    void memoSelectsAndCopiesWholeLines();
};

namespace {

QByteArray rawFile(const QByteArrayList& wells, const QByteArray& eol = "\r\n")
{
    QByteArray text = "Raw Data \t\tExperiment - Test plate 7 (Run on LCS480 1.5.0.39)" + eol +
                      "SamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp\t465-510" + eol;
    for (const QByteArray& well : wells)
        for (int cycle = 1; cycle <= 3; ++cycle)
            text += well + "\tSample 1\t2\t2\t" + QByteArray::number(cycle) + "\t1000\t60.0\t1." +
                    QByteArray::number(cycle) + eol;
    return text;
}

} // namespace

void OpenFileTest::realExportsSetThePlate_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("plate");
    QTest::addColumn<QString>("lastRow");
    QTest::addColumn<QString>("lastCol");
    QTest::addColumn<int>("lines");
    QTest::newRow("96 wells") << "lc480_96_example_excel_damaged.txt" << 0 << "H"
                              << "12" << 4322;
    QTest::newRow("384 wells") << "lc480_384_nrd1_calibration.txt" << 1 << "P"
                               << "24" << 82946;
}

void OpenFileTest::realExportsSetThePlate()
{
    QFETCH(QString, file);
    QFETCH(int, plate);
    QFETCH(QString, lastRow);
    QFETCH(QString, lastCol);
    QFETCH(int, lines);
    auto t = makeForm();
    t.get<QLineEdit>("stoprow")->setText("C");
    t.open(testData(file.toLatin1().constData()));
    QCOMPARE(t.form->plateSizeIndex(), plate);
    QCOMPARE(t.get<QLineEdit>("stoprow")->text(), lastRow);
    QCOMPARE(t.get<QLineEdit>("stopcol")->text(), lastCol);
    QCOMPARE(t.get<QProgressBar>("ProgressBar")->minimum(), 0);
    QCOMPARE(t.get<QProgressBar>("ProgressBar")->maximum(), lines);
    QCOMPARE(t.get<QProgressBar>("ProgressBar")->value(), 0);
    QCOMPARE(t.get<MemoView>("InputMemo")->lineCount(), lines);
    QCOMPARE(t.get<QWidget>("Wells96CB")->isHidden(), plate != 0);
    QCOMPARE(t.get<QWidget>("Wells384CB")->isHidden(), plate != 1);
}

void OpenFileTest::unrecognisedLastWellWarnsAndKeepsTheRest_data()
{
    QTest::addColumn<QByteArray>("lastWell");
    QTest::newRow("last well in lower case") << QByteArray("h12");
    QTest::newRow("partly filled plate") << QByteArray("D6");
}

void OpenFileTest::unrecognisedLastWellWarnsAndKeepsTheRest()
{
    QFETCH(QByteArray, lastWell);
    QTemporaryDir dir;
    auto t = makeForm();
    t.open(writeFile(dir, "full.txt", rawFile({"A1", "H12"})));
    QCOMPARE(t.form->plateSizeIndex(), 0);
    const int progressMax = t.get<QProgressBar>("ProgressBar")->maximum();
    t.get<QLineEdit>("stoprow")->setText("C");

    t.dialogs->answerNext(DialogService::Answer::Cancel);
    t.open(writeFile(dir, "partial.txt", rawFile({"A1", lastWell})));
    QCOMPARE(t.dialogs->shown().size(), 1);
    const auto& w = t.dialogs->shown().front();
    // The message, then what to do next.
    QVERIFY(w.text.startsWith(QStringLiteral("Plate format not recognised\n")));
    QVERIFY(w.text.endsWith(QStringLiteral("then press \"Determine Progs\".")));
    QCOMPARE(w.caption, QStringLiteral("Warning"));
    QCOMPARE(w.icon, DialogService::Icon::Warning);
    QCOMPARE(w.buttons, DialogService::Buttons::OkCancel);
    QCOMPARE(t.form->plateSizeIndex(), -1);
    QCOMPARE(t.get<QLineEdit>("stoprow")->text(), QStringLiteral("C"));
    QCOMPARE(t.get<QProgressBar>("ProgressBar")->maximum(), progressMax);
    QVERIFY(t.get<MemoView>("InputMemo")->toPlainText().contains(lastWell));
    // The tabs are locked again.
    auto* tabs = t.get<QTabWidget>("PageControl1");
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
    QCOMPARE(t.currentPage(), 0);
}

void OpenFileTest::trailingBlankLinesAreNotThere()
{
    QTemporaryDir dir;
    auto t = makeForm();
    t.open(writeFile(dir, "edited.txt", rawFile({"A1", "P24"}) + "\r\n\r\n \r\n"));
    QCOMPARE(t.dialogs->shown().size(), 0);
    QCOMPARE(t.form->plateSizeIndex(), 1);
    QCOMPARE(t.get<QProgressBar>("ProgressBar")->maximum(), 2 + 2 * 3);
}

void OpenFileTest::cancelBeforeAnyFileDoesNothing()
{
    auto t = makeForm();
    t.click("OpenButton"); // no file queued: the dialog is cancelled
    QCOMPARE(t.dialogs->fileDialogsShown(), 1);
    QCOMPARE(t.dialogs->shown().size(), 0);
    QCOMPARE(t.form->plateSizeIndex(), -1);
    QCOMPARE(t.get<MemoView>("InputMemo")->toPlainText(), QString());
}

void OpenFileTest::cancelAfterAFileChangesNothing()
{
    QTemporaryDir dir;
    auto t = makeForm();
    t.open(writeFile(dir, "plate.txt", rawFile({"A1", "H12"})));
    t.get<QRadioButton>("PlateSize384")->click();
    QCOMPARE(t.get<QLineEdit>("stoprow")->text(), QStringLiteral("P"));
    t.click("OpenButton"); // cancelled
    QCOMPARE(t.dialogs->fileDialogsShown(), 2);
    QCOMPARE(t.form->plateSizeIndex(), 1);
    QCOMPARE(t.get<QLineEdit>("stoprow")->text(), QStringLiteral("P"));
    QCOMPARE(t.get<QLineEdit>("stopcol")->text(), QStringLiteral("24"));
    QVERIFY(!t.get<QWidget>("Wells384CB")->isHidden());
}

void OpenFileTest::refusedFilesKeepTheFormerState_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("reason");
    QTest::newRow("not text") << "binary.txt" << QByteArray("Raw Data\r\nA1\0x", 13) << "NUL";
    QTest::newRow("empty") << "empty.txt" << QByteArray() << "empty";
    QTest::newRow("only line breaks") << "blank.txt" << QByteArray("\r\n\r\n") << "empty";
    QTest::newRow("cannot be opened") << "" << QByteArray() << "Cannot open";
}

void OpenFileTest::refusedFilesKeepTheFormerState()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    auto t = makeForm();
    t.open(writeFile(dir, "good.txt", rawFile({"A1", "H12"})));
    const QString memo = t.get<MemoView>("InputMemo")->toPlainText();
    t.get<QLineEdit>("stoprow")->setText("C");

    const QString path = name.isEmpty() ? dir.filePath("no such file.txt") : writeFile(dir, name, contents);
    t.open(path);
    QCOMPARE(t.dialogs->shown().size(), 1);
    const auto& report = t.dialogs->shown().front();
    QCOMPARE(report.icon, DialogService::Icon::Error);
    QVERIFY2(report.text.contains(path), qPrintable(report.text));
    QVERIFY2(report.text.contains(reason), qPrintable(report.text));
    QCOMPARE(t.get<MemoView>("InputMemo")->toPlainText(), memo);
    QCOMPARE(t.form->plateSizeIndex(), 0);
    QCOMPARE(t.get<QLineEdit>("stoprow")->text(), QStringLiteral("C"));
}

void OpenFileTest::sampleNamesReachTheScreenDecoded_data()
{
    QTest::addColumn<QByteArray>("sample");
    QTest::newRow("UTF-8") << QByteArray("M\xC3\xBCller \xC2\xB5g");
    QTest::newRow("Windows-1252") << QByteArray("M\xFCller \xB5g");
}

void OpenFileTest::sampleNamesReachTheScreenDecoded()
{
    QFETCH(QByteArray, sample);
    QTemporaryDir dir;
    auto t = makeForm();
    QByteArray text = rawFile({"A1"});
    text += "H12\t" + sample + "\t2\t2\t1\t1000\t60.0\t1.5\r\n";
    t.open(writeFile(dir, "names.txt", text));
    QVERIFY(t.get<MemoView>("InputMemo")->toPlainText().contains(QString::fromUtf8("M\xC3\xBCller \xC2\xB5g")));
}

void OpenFileTest::memoSelectsAndCopiesWholeLines()
{
    QTemporaryDir dir;
    auto t = makeForm();
    t.open(writeFile(dir, "plate.txt", rawFile({"A1", "H12"})));
    auto* memo = t.get<MemoView>("InputMemo");
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_Down);
    QTest::keyClick(memo, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(memo->selectedText(), QStringLiteral("Raw Data \t\tExperiment - Test plate 7 (Run on LCS480 1.5.0.39)\n"
                                                  "SamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp\t465-510\n"));
    QTest::keyClick(memo, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), memo->toPlainText());
    QCOMPARE(memo->toPlainText().count(u'\n'), 8);
}

QTEST_MAIN(OpenFileTest)
#include "openfile_guitest.moc"
