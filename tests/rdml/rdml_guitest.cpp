// "Save as RDML..." through the real window: the ticked wells with every channel, the same
// document morvane-convert writes for those wells, or the RDES table for a .tsv name.

#include "app/guitest.h"
#include "app/wellchecklist.h"
#include "cli/convertcli.h"
#include "xlsx/ziparchive.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <sstream>

class RdmlWindowTest : public QObject {
    Q_OBJECT
private slots:
    void ticksWellsEveryChannelAndTheMeltCurve();
    void aTsvNameGivesTheRdesTable();
    void cancellingWritesNothing();
    void aFileOfAnotherKindIsNotReplaced();
    void writesTheWellsOfTheExportTable();
};

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::string xmlOf(const QString& rdml)
{
    const std::string bytes = readAll(rdml).toStdString();
    auto archive = morvane::xlsx::ZipArchive::open(bytes, 4, 1u << 30);
    if (!archive.ok())
        return "not a zip archive: " + archive.error().message;
    const auto index = archive->find("rdml_data.xml");
    if (!index)
        return "no rdml_data.xml";
    auto xml = archive->read(*index, 1u << 30);
    if (!xml.ok())
        return xml.error().message;
    // The time the file was made is the one thing two saves of the same wells differ in.
    std::string text = *xml;
    const std::size_t made = text.find("<dateMade>");
    if (made != std::string::npos)
        text.erase(made, text.find("</dateMade>") + 11 - made);
    return text;
}

// Converts the dual-colour export and ticks rows A to B, columns 1 to 2, then goes to page 3.
void prepareDualColour(const FormUnderTest& t)
{
    t.open(testData("channels/lc480_96_dual_colour.txt"));
    t.click("ConvertButton");
    t.click("NextButton1");
    t.get<QLineEdit>("startrow")->setText("A");
    t.get<QLineEdit>("stoprow")->setText("B");
    t.get<QLineEdit>("startcol")->setText("1");
    t.get<QLineEdit>("stopcol")->setText("2");
    t.click("SelectRangeButton");
    t.click("ExtractButton");
}

} // namespace

void RdmlWindowTest::ticksWellsEveryChannelAndTheMeltCurve()
{
    QTemporaryDir dir;
    auto t = makeForm();
    prepareDualColour(t);
    QCOMPARE(t.get<QPushButton>("SaveRdmlButton")->text(), QStringLiteral("Save as RDML..."));
    const QString file = dir.filePath("dual");
    t.dialogs->fileNext(file);
    t.click("SaveRdmlButton");
    const QString saved = file + ".rdml";
    QCOMPARE(t.dialogs->shownTexts(),
             QStringList{"4 wells with the channels 465-510, 533-580 and the melt curve saved as RDML in\n" +
                         QDir::toNativeSeparators(saved)});
    QCOMPARE(t.dialogs->shown().front().icon, DialogService::Icon::Information);
    QCOMPARE(t.dialogs->unused(), 0);

    // The tool, asked for the same wells, writes the very same document.
    const QString cliFile = dir.filePath("cli.rdml");
    std::ostringstream out;
    std::ostringstream err;
    const int status = morvane::runConvert(
        {"-o", cliFile.toStdString(), "--wells", "A1:B2", testData("channels/lc480_96_dual_colour.txt").toStdString()},
        out, err, false);
    QCOMPARE(status, 0);
    const std::string xml = xmlOf(saved);
    QCOMPARE(xml, xmlOf(cliFile));
    for (const char* react : {"<react id=\"1\">", "<react id=\"2\">", "<react id=\"13\">", "<react id=\"14\">"})
        QVERIFY(xml.find(react) != std::string::npos);
    QVERIFY(xml.find("<react id=\"3\">") == std::string::npos);
    QVERIFY(xml.find("<target id=\"533-580\">") != std::string::npos);
    QVERIFY(xml.find("<mdp>") != std::string::npos);

    // The same name again, now holding another RDML file, is asked about first: No keeps the
    // file and offers the dialog again, Yes replaces it.
    QVERIFY(QFile::remove(saved));
    QCOMPARE(morvane::runConvert({"-o", saved.toStdString(), "--wells", "A1",
                                  testData("channels/lc480_96_dual_colour.txt").toStdString()},
                                 out, err, false),
             0);
    const QByteArray kept = readAll(saved);
    t.dialogs->clearShown();
    const int dialogs = t.dialogs->fileDialogsShown();
    t.dialogs->fileNext(saved);
    t.click("SaveRdmlButton");
    QCOMPARE(t.dialogs->fileDialogsShown(), dialogs + 2);
    QCOMPARE(t.dialogs->shown().size(), 1);
    QCOMPARE(t.dialogs->shown().front().icon, DialogService::Icon::Question);
    QVERIFY(t.dialogs->shownTexts().front().startsWith(QDir::toNativeSeparators(saved) + " already exists."));
    QCOMPARE(readAll(saved), kept);
    t.dialogs->fileNext(saved);
    t.dialogs->answerNext(DialogService::Answer::Yes);
    t.click("SaveRdmlButton");
    QCOMPARE(xmlOf(saved), xml);
    QCOMPARE(t.dialogs->unused(), 0);
}

void RdmlWindowTest::aTsvNameGivesTheRdesTable()
{
    QTemporaryDir dir;
    auto t = makeForm();
    prepareDualColour(t);
    const QString file = dir.filePath("dual.tsv");
    t.dialogs->fileNext(file);
    t.click("SaveRdmlButton");
    // The run has a melt program: its melting table goes beside the amplification table.
    const QString melting = dir.filePath("dual_melting.tsv");
    QCOMPARE(t.dialogs->shownTexts(), QStringList{"4 wells with the channels 465-510, 533-580 and the melt curve saved "
                                                  "as RDES in\n" +
                                                  QDir::toNativeSeparators(file) + "\nand the melting table in\n" +
                                                  QDir::toNativeSeparators(melting)});
    const QList<QByteArray> meltLines = readAll(melting).split('\n');
    QCOMPARE(meltLines.size(), 1 + 4 * 2 + 1);
    QVERIFY(meltLines[0].startsWith("Well\tSample\tSample Type\tTarget\tTarget Type\tDye\tTm\t"));
    QVERIFY(meltLines[4].startsWith("A2\tSample 2\tunkn\t533-580\ttoi\t533-580\t\t"));
    const QList<QByteArray> lines = readAll(file).split('\n');
    QCOMPARE(lines.size(), 1 + 4 * 2 + 1); // the last line break leaves an empty piece
    QVERIFY(lines[0].startsWith("Well\tSample\tSample Type\tTarget\tTarget Type\tDye\tCq\t1\t2\t"));
    QVERIFY(lines[4].startsWith("A2\tSample 2\tunkn\t533-580\ttoi\t533-580\t\t2.50011\t"));
    QVERIFY(lines[8].startsWith("B2\tSample 14\tunkn\t533-580\t"));

    // A name typed without an extension gets the chosen file type's.
    t.dialogs->fileNext(dir.filePath("typed"), QStringLiteral("RDES tables (*.tsv)"));
    t.click("SaveRdmlButton");
    QCOMPARE(readAll(dir.filePath("typed.tsv")), readAll(file));
    QVERIFY(!QFile::exists(dir.filePath("typed.rdml")));

    // A new table's name with another run's melting table beside it: that one is asked about,
    // and No writes neither.
    QVERIFY(QFile::copy(melting, dir.filePath("other_melting.tsv")));
    const QByteArray before = readAll(dir.filePath("other_melting.tsv"));
    t.dialogs->clearShown();
    t.dialogs->fileNext(dir.filePath("other.tsv"));
    t.dialogs->answerNext(DialogService::Answer::No);
    t.click("SaveRdmlButton");
    QCOMPARE(t.dialogs->shownTexts().size(), 1);
    QVERIFY(t.dialogs->shownTexts().front().startsWith(QDir::toNativeSeparators(dir.filePath("other_melting.tsv")) +
                                                       " already exists."));
    QVERIFY(!QFile::exists(dir.filePath("other.tsv")));
    QCOMPARE(readAll(dir.filePath("other_melting.tsv")), before);
}

void RdmlWindowTest::cancellingWritesNothing()
{
    QTemporaryDir dir;
    auto t = makeForm();
    prepareDualColour(t);
    t.dialogs->fileNext(QString());
    t.click("SaveRdmlButton");
    QCOMPARE(t.dialogs->shown().size(), 0);
    QVERIFY(QDir(dir.path()).isEmpty());
}

// The name chosen leads to a text file: even when the user says to replace it, it is kept, and
// the message says what it is.
void RdmlWindowTest::aFileOfAnotherKindIsNotReplaced()
{
    QTemporaryDir dir;
    auto t = makeForm();
    prepareDualColour(t);
    const QString notes = dir.filePath("notes.rdml");
    QFile file(notes);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("my notes\n");
    file.close();
    t.dialogs->fileNext(notes);
    t.dialogs->answerNext(DialogService::Answer::Yes); // to "replace it?"
    t.click("SaveRdmlButton");
    QCOMPARE(t.dialogs->shown().size(), 2);
    QVERIFY2(t.dialogs->shownTexts().back().contains(
                 QStringLiteral("'notes.rdml' is a text file, not an RDML file; it is left as it is")),
             qPrintable(t.dialogs->shownTexts().back()));
    QCOMPARE(readAll(notes), QByteArray("my notes\n"));
}

// Page 3 saves the rows it shows, not the ticks the map has since; with no row it refuses before
// asking for a file.
void RdmlWindowTest::writesTheWellsOfTheExportTable()
{
    QTemporaryDir dir;
    auto t = makeForm();
    t.open(testData("channels/lc480_96_dual_colour.txt"));
    t.click("ConvertButton");
    t.click("NextButton1");
    t.get<QTabWidget>("PageControl1")->setCurrentIndex(2);
    const int fileDialogs = t.dialogs->fileDialogsShown();
    t.click("SaveRdmlButton");
    QCOMPARE(t.dialogs->fileDialogsShown(), fileDialogs);
    QCOMPARE(t.dialogs->shownTexts(),
             QStringList{"The export table holds no wells: tick wells on the page \"Plate Design / Select Wells\" and "
                         "press \"Extract Selected Wells\" first."});

    prepareDualColour(t);
    auto* map = t.get<WellCheckList>("Wells96CB");
    map->setAllTicked(false);
    map->setTicked(morvane::checkListIndex(morvane::PlateFormat::Wells96, 3, 1), true);
    const QString file = dir.filePath("shown.rdml");
    t.dialogs->fileNext(file);
    t.click("SaveRdmlButton");
    const std::string xml = xmlOf(file);
    for (const char* react : {"<react id=\"1\">", "<react id=\"2\">", "<react id=\"13\">", "<react id=\"14\">"})
        QVERIFY(xml.find(react) != std::string::npos);
    QVERIFY(xml.find("<react id=\"25\">") == std::string::npos);
}

QTEST_MAIN(RdmlWindowTest)
#include "rdml_guitest.moc"
