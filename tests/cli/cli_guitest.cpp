// morvane-convert --table against the window: for every real raw export, the same choices in
// both give the same export table.

#include "app/guitest.h"
#include "cli/convertcli.h"

#include <QLineEdit>
#include <QLocale>

#include <algorithm>
#include <sstream>

class CliWindowTest : public QObject {
    Q_OBJECT
private slots:
    void sameTableAsTheWindow_data();
    void sameTableAsTheWindow();
    void sameRefusalAsTheWindow();
};

void CliWindowTest::sameTableAsTheWindow_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("locale"); // the user's, which gives the decimal separator
    QTest::addColumn<bool>("repair");    // the answer to the separator question
    QTest::addColumn<QString>("range");  // "" for Select All, else "C1:D4"
    for (const char* file : {"lc480_384_nrd1_calibration.txt", "lc480_96_example_excel_damaged.txt"}) {
        const QString name = QString::fromLatin1(file);
        QTest::addRow("%s, point", file) << name << "en_US" << true << "";
        QTest::addRow("%s, comma, repaired", file) << name << "de_DE" << true << "";
        QTest::addRow("%s, comma, kept", file) << name << "de_DE" << false << "";
        QTest::addRow("%s, comma, range", file) << name << "de_DE" << true << "C1:H4";
    }
}

void CliWindowTest::sameTableAsTheWindow()
{
    QFETCH(QString, file);
    QFETCH(QString, locale);
    QFETCH(bool, repair);
    QFETCH(QString, range);
    const QLocale previous;
    QLocale::setDefault(QLocale(locale));
    const auto restore = qScopeGuard([&] { QLocale::setDefault(previous); });
    const char separator = QLocale().decimalPoint().front().toLatin1();

    auto t = makeForm();
    t.open(testData(file.toLatin1().constData()));
    t.click("ConvertButton");
    t.click("NextButton1");
    if (range.isEmpty()) {
        t.click("SelectAllButton");
    } else {
        const QStringList corners = range.split(u':');
        t.get<QLineEdit>("startrow")->setText(corners[0].left(1));
        t.get<QLineEdit>("startcol")->setText(corners[0].mid(1));
        t.get<QLineEdit>("stoprow")->setText(corners[1].left(1));
        t.get<QLineEdit>("stopcol")->setText(corners[1].mid(1));
        t.click("SelectRangeButton");
    }
    // With the comma the readings of both files get the question; with the point neither does.
    if (separator == ',')
        t.dialogs->answerNext(repair ? DialogService::Answer::Yes : DialogService::Answer::No);
    t.click("ExtractButton");
    const auto& shown = t.dialogs->shown();
    QCOMPARE(int(std::count_if(shown.begin(), shown.end(),
                               [](const auto& box) { return box.buttons == DialogService::Buttons::YesNo; })),
             separator == ',' ? 1 : 0);
    const std::string window = morvane::tableAsText(t.grid("ExportSelectSG"));

    std::vector<std::string> args = {"--table", "--decimal-separator", std::string(1, separator)};
    if (!repair)
        args.push_back("--keep-separator");
    if (!range.isEmpty())
        args.insert(args.end(), {"--wells", range.toStdString()});
    args.push_back(testData(file.toLatin1().constData()).toStdString());
    std::ostringstream out;
    std::ostringstream err;
    QCOMPARE(morvane::runConvert(args, out, err, false), 0);
    // The tool says what the window's warning said after the conversion, and nothing else.
    const QString findings = file.contains("damaged")
                                 ? "morvane-convert: " + testData(file.toLatin1().constData()) +
                                       ":77: warning: 1,002 readings look like spreadsheet dates (first: A2 cycle 30: "
                                       "41350)\n"
                                 : QString();
    QCOMPARE(QString::fromStdString(err.str()), findings);
    QVERIFY(window.size() > 1000);
    // Whole outputs; on a difference, the first differing line says where.
    if (out.str() != window) {
        std::istringstream a(out.str());
        std::istringstream b(window);
        std::string lineA;
        std::string lineB;
        for (int line = 1; std::getline(a, lineA) && std::getline(b, lineB); ++line)
            if (lineA != lineB)
                QFAIL(qPrintable(QStringLiteral("line %1: cli %2 / window %3")
                                     .arg(line)
                                     .arg(QString::fromStdString(lineA), QString::fromStdString(lineB))));
        QFAIL("the tables differ in length");
    }
}

void CliWindowTest::sameRefusalAsTheWindow()
{
    // The sample list export that ships beside a raw export: both refuse it with the same reason.
    auto t = makeForm();
    t.open(testData("lc480_96_example_sample_info.txt"));
    const QStringList shown = t.dialogs->shownTexts();
    std::ostringstream out;
    std::ostringstream err;
    const std::string path = testData("lc480_96_example_sample_info.txt").toStdString();
    QCOMPARE(morvane::runConvert({"--table", "--plate", "96", path}, out, err, false), 1);
    QCOMPARE(out.str(), std::string());
    QCOMPARE(shown.size(), 1);
    const QString reason = QString::fromStdString(err.str()).section(QStringLiteral(": "), 2).trimmed();
    QVERIFY2(shown.front().contains(reason), qPrintable(shown.front() + " / " + reason));
}

QTEST_MAIN(CliWindowTest)
#include "cli_guitest.moc"
