// `morvane FILE`: the arguments, and the file opened at start as "Open text File" opens it.

#include "app/guitest.h"
#include "app/startarguments.h"

#include <QDir>
#include <QListWidget>
#include <QRadioButton>

class StartFileTest : public QObject {
    Q_OBJECT
private slots:
    void arguments_data();
    void arguments();
    void aFileGivenAtStartOpensAsTheOpenCommandOpensIt();
    void aFileThatCannotBeReadIsRefusedAsTheOpenCommandRefusesIt_data();
    void aFileThatCannotBeReadIsRefusedAsTheOpenCommandRefusesIt();
    void theNewVersionNoticeComesBeforeTheFile();
};

void StartFileTest::arguments_data()
{
    QTest::addColumn<QStringList>("given");
    QTest::addColumn<QString>("file"); // relative to the current folder
    QTest::addColumn<bool>("help");
    QTest::addColumn<bool>("version");
    QTest::addColumn<QString>("error"); // a part of it

    QTest::newRow("nothing") << QStringList{} << "" << false << false << "";
    QTest::newRow("a relative file") << QStringList{"run 7.txt"} << "run 7.txt" << false << false << "";
    QTest::newRow("a name like an option") << QStringList{"--", "-v.txt"} << "-v.txt" << false << false << "";
    QTest::newRow("version") << QStringList{"--version"} << "" << false << true << "";
    QTest::newRow("short help") << QStringList{"-h"} << "" << true << false << "";
    QTest::newRow("two files") << QStringList{"a.txt", "b.txt"} << "" << false << false << "one FILE at most";
    QTest::newRow("an empty name") << QStringList{""} << "" << false << false << "empty name";
    QTest::newRow("an unknown option") << QStringList{"--table", "a.txt"} << "" << false << false << "table";
}

void StartFileTest::arguments()
{
    QFETCH(QStringList, given);
    QFETCH(QString, file);
    QFETCH(bool, help);
    QFETCH(bool, version);
    QFETCH(QString, error);
    const auto start = parseStartArguments(QStringList{"morvane"} + given);
    QCOMPARE(start.ok(), error.isEmpty());
    if (!start.ok()) {
        QVERIFY2(QString::fromStdString(start.error().message).contains(error), start.error().message.c_str());
        return;
    }
    QCOMPARE(start->file, file.isEmpty() ? QString() : QDir::current().absoluteFilePath(file));
    QCOMPARE(start->help, help);
    QCOMPARE(start->version, version);
}

void StartFileTest::aFileGivenAtStartOpensAsTheOpenCommandOpensIt()
{
    const QString path = testData("lc480_384_nrd1_calibration.txt");
    auto started = makeForm(false);
    started.form->openAtStart(path);
    QCOMPARE(started.form->windowTitle(), QString::fromLatin1(kWindowTitle)); // not before the window is up
    started.activate();

    auto opened = makeForm();
    opened.open(path);
    QVERIFY(started.form->windowTitle().startsWith("lc480_384_nrd1_calibration.txt - "));
    QCOMPARE(started.form->windowTitle(), opened.form->windowTitle());
    QVERIFY(started.get<QRadioButton>("PlateSize384")->isChecked());
    QCOMPARE(started.dialogs->shownTexts(), opened.dialogs->shownTexts());
    QCOMPARE(started.get<QListWidget>("ProgsListBox")->count(), opened.get<QListWidget>("ProgsListBox")->count());
    QCOMPARE(started.currentPage(), 0);
    QCOMPARE(started.dialogs->fileDialogsShown(), 0);
    for (const auto* t : {&started, &opened})
        t->click("ConvertButton");
    QVERIFY(started.grid("ResultSG").rowCount() > 2);
    QVERIFY(started.grid("ResultSG") == opened.grid("ResultSG"));
}

void StartFileTest::aFileThatCannotBeReadIsRefusedAsTheOpenCommandRefusesIt_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("missing") << QDir::temp().absoluteFilePath("no such morvane export.txt");
    QTest::newRow("a folder") << QDir::tempPath();
    QTest::newRow("a sample list") << testData("lc480_96_example_sample_info.txt");
}

void StartFileTest::aFileThatCannotBeReadIsRefusedAsTheOpenCommandRefusesIt()
{
    QFETCH(QString, path);
    auto started = makeForm(false);
    started.form->openAtStart(path);
    started.activate();
    auto opened = makeForm();
    opened.open(path);
    QCOMPARE(started.dialogs->shown().size(), 1);
    QCOMPARE(started.dialogs->shown().front().icon, DialogService::Icon::Error);
    QCOMPARE(started.dialogs->shownTexts(), opened.dialogs->shownTexts());
    QCOMPARE(started.form->windowTitle(), QString::fromLatin1(kWindowTitle));
    QCOMPARE(started.grid("ResultSG").rowCount(), 2);
}

void StartFileTest::theNewVersionNoticeComesBeforeTheFile()
{
    FormSetup setup;
    setup.activate = false;
    setup.settings = [](QSettings& store) { store.setValue(QStringLiteral("version"), QStringLiteral("2013.1")); };
    auto t = makeForm(std::move(setup));
    QString titleDuringNotice;
    t.dialogs->dialogNext([&](QDialog&) {
        titleDuringNotice = t.form->windowTitle();
        return 1;
    });
    t.form->openAtStart(testData("lc480_96_example_excel_damaged.txt"));
    t.activate();
    QCOMPARE(t.dialogs->dialogsShown(), 1);
    QCOMPARE(titleDuringNotice, QString::fromLatin1(kWindowTitle));
    QVERIFY(t.form->windowTitle().startsWith("lc480_96_example_excel_damaged.txt - "));
}

QTEST_MAIN(StartFileTest)
#include "startfile_guitest.moc"
