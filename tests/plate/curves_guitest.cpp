// The amplification plot of page 2 through the real window: it follows the ticks, the ranges,
// "Select All/None" and each conversion; log and linear views; a click on a curve finds its well.

#include "app/curveplot.h"
#include "app/guitest.h"
#include "app/wellchecklist.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDomDocument>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QSet>

class CurvesTest : public QObject {
    Q_OBJECT
private slots:
    void graphsAreExactlyTheTickedWellsWithTheirReadings();
    void rangesAndSelectAllNoneAndNewConversions();
    void logViewLeavesOutNonPositiveReadings();
    void clickedCurveAndCurrentWellHighlightEachOther();
    void savePlotWritesPngAndSvgOfTheChosenSize();
    void exportPagePlotsTheRowsToBeWritten();
    void savedPlotCarriesTitleLegendAndTextOfItsSize();
    void logAxisLabelsEnoughTicksForNarrowReadings();
    void aSampleKeepsOneColourOnEveryPage();
};

namespace {

CurvePlot* plot(const FormUnderTest& t)
{
    return t.get<CurvePlot>("CurvePlot1");
}
WellCheckList* map96(const FormUnderTest& t)
{
    return t.get<WellCheckList>("Wells96CB");
}

int indexOf(WellCheckList* map, const QString& well)
{
    return map->row(map->findItems(well, Qt::MatchExactly).front());
}

QStringList graphWells(CurvePlot* p)
{
    QStringList wells;
    for (int i = 0; i < p->graphCount(); ++i)
        wells << p->graph(i)->name();
    return wells;
}

struct Points {
    QList<double> x;
    QList<double> y;
};

Points pointsOf(CurvePlot* p, const QString& well)
{
    Points points;
    for (int i = 0; i < p->graphCount(); ++i) {
        if (p->graph(i)->name() != well)
            continue;
        for (auto it = p->graph(i)->data()->constBegin(); it != p->graph(i)->data()->constEnd(); ++it) {
            points.x << it->key;
            points.y << it->value;
        }
    }
    return points;
}

// rawExport's well number n reads "n.c" at cycle c.
void compareWithTable(CurvePlot* p, const QString& well, int n, int cycles = 3)
{
    const Points points = pointsOf(p, well);
    QCOMPARE(points.x.size(), cycles);
    for (int c = 1; c <= cycles; ++c) {
        QCOMPARE(points.x[c - 1], double(c));
        QCOMPARE(points.y[c - 1], QString("%1.%2").arg(n).arg(c).toDouble());
    }
}

void convert(const FormUnderTest& t, const QTemporaryDir& dir, const QByteArray& contents)
{
    t.open(writeFile(dir, "run.txt", contents));
    t.click("ConvertButton");
}

// A part of a plate: its size is chosen by hand after the warning that it was not recognised.
void convertPartial(const FormUnderTest& t, const QTemporaryDir& dir, const QByteArray& contents)
{
    t.dialogs->answerNext(DialogService::Answer::Ok);
    t.open(writeFile(dir, "part.txt", contents));
    t.get<QRadioButton>("PlateSize96")->click();
    t.click("DetermineProgsButton");
    t.click("ConvertButton");
    t.click("NextButton1");
}

// The colour a well's curve is drawn in, by its well; invalid when the plot has no such curve.
QColor colourOf(CurvePlot* p, const QString& well)
{
    for (int i = 0; i < p->graphCount(); ++i)
        if (p->graph(i)->name() == well)
            return p->graph(i)->pen().color();
    return {};
}

} // namespace

void CurvesTest::graphsAreExactlyTheTickedWellsWithTheirReadings()
{
    QTemporaryDir dir;
    auto t = makeForm();
    QVERIFY(plot(t)->graphCount() == 0); // nothing converted yet
    convert(t, dir, rawExport(plateWells(96)));
    t.click("NextButton1");
    // None ticked: every well of the table.
    QCOMPARE(plot(t)->graphCount(), 96);
    compareWithTable(plot(t), "H12", 96);

    WellCheckList* map = map96(t);
    map->setTicked(indexOf(map, "B3"), true); // well 15
    QCOMPARE(graphWells(plot(t)), QStringList{"B3"});
    compareWithTable(plot(t), "B3", 15);

    // A click on a well's box adds it.
    const QRect rect = map->visualItemRect(map->item(indexOf(map, "A12")));
    QStyleOptionButton option;
    option.rect = rect;
    const int indicator = map->style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, map);
    QTest::mouseClick(map->viewport(), Qt::LeftButton, {}, QPoint(rect.left() + indicator / 2 + 3, rect.center().y()));
    QCOMPARE(graphWells(plot(t)), (QStringList{"A12", "B3"})); // table order
    compareWithTable(plot(t), "A12", 12);
    compareWithTable(plot(t), "B3", 15);

    map->setTicked(indexOf(map, "B3"), false);
    QCOMPARE(graphWells(plot(t)), QStringList{"A12"});
    // Replicates share a colour, other samples differ: here every well is a sample of its own.
    map->setTicked(indexOf(map, "A1"), true);
    QVERIFY(plot(t)->graph(0)->pen().color() != plot(t)->graph(1)->pen().color());
}

void CurvesTest::rangesAndSelectAllNoneAndNewConversions()
{
    QTemporaryDir dir;
    auto t = makeForm();
    convert(t, dir, rawExport(plateWells(96)));
    t.get<QLineEdit>("startrow")->setText("B");
    t.get<QLineEdit>("stoprow")->setText("C");
    t.get<QLineEdit>("startcol")->setText("2");
    t.get<QLineEdit>("stopcol")->setText("3");
    t.click("SelectRangeButton");
    QCOMPARE(graphWells(plot(t)), (QStringList{"B2", "B3", "C2", "C3"}));
    compareWithTable(plot(t), "C2", 26);
    t.get<QLineEdit>("stoprow")->setText("B");
    t.click("RemoveRangeButton");
    QCOMPARE(graphWells(plot(t)), (QStringList{"C2", "C3"}));
    t.click("SelectAllButton");
    QCOMPARE(plot(t)->graphCount(), 96);
    map96(t)->setTicked(0, false);
    QCOMPARE(plot(t)->graphCount(), 95);
    t.click("SelectNoneButton");
    QCOMPARE(plot(t)->graphCount(), 96);

    // A new file and its conversion: the plot holds the new wells only.
    map96(t)->setTicked(indexOf(map96(t), "A2"), true);
    t.dialogs->answerNext(DialogService::Answer::Ok); // the plate size is not recognised
    t.open(writeFile(dir, "part.txt", rawExport({"A1", "A2", "A3"}, 5)));
    QCOMPARE(plot(t)->graphCount(), 0); // the old table went with the old file
    t.get<QRadioButton>("PlateSize96")->click();
    t.click("DetermineProgsButton");
    t.click("ConvertButton");
    QCOMPARE(graphWells(plot(t)), (QStringList{"A1", "A2", "A3"}));
    compareWithTable(plot(t), "A3", 3, 5);
}

void CurvesTest::logViewLeavesOutNonPositiveReadings()
{
    QTemporaryDir dir;
    auto t = makeForm();
    QByteArray text = rawExport({"A1", "A2", "A3"}, 3);
    text.replace("\t1.2\r\n", "\t-1.2\r\n").replace("\t2.1\r\n", "\t0\r\n");
    convertPartial(t, dir, text);
    auto* log = t.get<QCheckBox>("LogScaleCB");
    QVERIFY(log->isChecked());
    QCOMPARE(plot(t)->yAxis->scaleType(), QCPAxis::stLogarithmic);
    QCOMPARE(pointsOf(plot(t), "A1").x, (QList<double>{1, 3}));
    QCOMPARE(pointsOf(plot(t), "A1").y, (QList<double>{1.1, 1.3}));
    QCOMPARE(pointsOf(plot(t), "A2").x, (QList<double>{2, 3}));
    QCOMPARE(pointsOf(plot(t), "A3").y, (QList<double>{3.1, 3.2, 3.3}));
    QVERIFY(plot(t)->yAxis->range().lower > 0);

    log->click();
    QCOMPARE(plot(t)->yAxis->scaleType(), QCPAxis::stLinear);
    QCOMPARE(pointsOf(plot(t), "A1").y, (QList<double>{1.1, -1.2, 1.3}));
    QCOMPARE(pointsOf(plot(t), "A2").y, (QList<double>{0, 2.2, 2.3}));
    QVERIFY(plot(t)->yAxis->range().lower < -1.2); // the whole data in view
    log->click();
    QCOMPARE(pointsOf(plot(t), "A1").x, (QList<double>{1, 3}));

    // Zoomed in, a double click or "Autoscale" shows every point again.
    const QCPRange whole = plot(t)->xAxis->range();
    QVERIFY(whole.contains(1) && whole.contains(3));
    plot(t)->xAxis->setRange(2.2, 2.4);
    plot(t)->replot();
    QTest::mouseDClick(plot(t), Qt::LeftButton, {}, plot(t)->axisRect()->rect().center());
    QCOMPARE(plot(t)->xAxis->range(), whole);
    plot(t)->xAxis->setRange(2.2, 2.4);
    t.click("AutoscaleButton");
    QCOMPARE(plot(t)->xAxis->range(), whole);
}

void CurvesTest::clickedCurveAndCurrentWellHighlightEachOther()
{
    QTemporaryDir dir;
    auto t = makeForm();
    convertPartial(t, dir, rawExport({"A1", "A2", "A3"}, 3));
    CurvePlot* p = plot(t);
    p->replot();

    // The middle of A2's curve: at cycle 2, reading 2.2.
    const QPoint onA2(int(p->xAxis->coordToPixel(2)), int(p->yAxis->coordToPixel(2.2)));
    QCOMPARE(p->describeAt(onA2), QStringLiteral("A2  Sample 2  cycle 2: 2.2"));
    QCOMPARE(p->describeAt(QPoint(int(p->xAxis->coordToPixel(2)), int(p->yAxis->coordToPixel(1.6)))), QString());

    QTest::mouseClick(p, Qt::LeftButton, {}, onA2);
    QCOMPARE(p->highlightedWell(), QStringLiteral("A2"));
    QCOMPARE(map96(t)->currentItem()->text(), QStringLiteral("A2"));
    QVERIFY(map96(t)->currentItem()->isSelected());

    map96(t)->setCurrentRow(indexOf(map96(t), "A3"));
    QCOMPARE(p->highlightedWell(), QStringLiteral("A3"));
    QCOMPARE(p->selectedGraphs().size(), 1);
    QCOMPARE(p->selectedGraphs().front()->name(), QStringLiteral("A3"));
    // A well without a curve highlights none.
    map96(t)->setCurrentRow(indexOf(map96(t), "H12"));
    QCOMPARE(p->highlightedWell(), QString());
    QVERIFY(p->selectedGraphs().isEmpty());
}

void CurvesTest::savePlotWritesPngAndSvgOfTheChosenSize()
{
    QTemporaryDir dir;
    auto t = makeForm();
    convertPartial(t, dir, rawExport({"A1", "A2", "A3"}, 3));
    auto* sizes = t.get<QComboBox>("PlotSizeCB");
    const int small = sizes->findText("800 x 600");
    QVERIFY(small >= 0);
    sizes->setCurrentIndex(small);

    // No extension: a PNG.
    t.dialogs->clearShown();
    t.dialogs->fileNext(dir.filePath("curves"));
    t.click("SavePlotButton");
    QCOMPARE(t.dialogs->shownTexts(), QStringList{"The plot is saved as a PNG image in\n" +
                                                  QDir::toNativeSeparators(dir.filePath("curves.png"))});
    QImage png(dir.filePath("curves.png"));
    QVERIFY(!png.isNull());
    QCOMPARE(png.size(), QSize(800, 600));
    QCOMPARE(QColor(png.pixel(2, 2)), QColor(Qt::white));
    // Each sample's colour is drawn (A1..A3 are three samples), the curves are not lost on the way.
    for (int i = 0; i < 3; ++i) {
        QCPGraph* g = plot(t)->graph(i);
        const QColor colour = g->selected() ? g->selectionDecorator()->pen().color() : g->pen().color();
        int found = 0;
        // Antialiased lines blend into the white: near the colour counts.
        auto near = [&colour](QColor c) {
            return std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                       std::abs(c.blue() - colour.blue()) <
                   40;
        };
        for (int y = 0; y < png.height(); ++y)
            for (int x = 0; x < png.width(); ++x)
                found += near(QColor(png.pixel(x, y)));
        QVERIFY2(found > 50, qPrintable(QString("%1 pixels of %2").arg(found).arg(colour.name())));
    }

#if MORVANE_HAVE_SVG // not on Windows, where Qt has no Svg module here
    t.dialogs->fileNext(dir.filePath("curves.svg"));
    t.click("SavePlotButton");
    QFile file(dir.filePath("curves.svg"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QDomDocument svg;
    QVERIFY(svg.setContent(&file));
    QCOMPARE(svg.documentElement().tagName(), QStringLiteral("svg"));
    QCOMPARE(svg.documentElement().attribute("viewBox"), QStringLiteral("0 0 800 600"));
    const QString text = svg.toString();
    for (int i = 0; i < 3; ++i) {
        QCPGraph* g = plot(t)->graph(i);
        const QColor colour = g->selected() ? g->selectionDecorator()->pen().color() : g->pen().color();
        QVERIFY2(text.contains(colour.name()), qPrintable(g->name()));
    }
    QVERIFY(svg.elementsByTagName("text").size() > 5); // tick labels and the axis names
#endif

    t.dialogs->fileNext(dir.filePath("curves.pdf"));
    t.click("SavePlotButton");
    QFile pdf(dir.filePath("curves.pdf"));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QCOMPARE(pdf.read(5), QByteArray("%PDF-"));

    // A name typed without an extension gets the chosen type's; an existing file is asked about
    // (No: the dialog comes again, here cancelled) and kept.
    t.dialogs->fileNext(dir.filePath("typed"), QStringLiteral("PDF document (*.pdf)"));
    t.click("SavePlotButton");
    QFile typed(dir.filePath("typed.pdf"));
    QVERIFY(typed.open(QIODevice::ReadOnly));
    QCOMPARE(typed.read(5), QByteArray("%PDF-"));
    QVERIFY(!QFile::exists(dir.filePath("typed.png")));
    const QImage before(dir.filePath("curves.png"));
    sizes->setCurrentIndex(sizes->findText("1200 x 800"));
    t.dialogs->clearShown();
    t.dialogs->fileNext(dir.filePath("curves.png"));
    t.click("SavePlotButton");
    QCOMPARE(t.dialogs->shown().size(), 1);
    QCOMPARE(t.dialogs->shown().front().icon, DialogService::Icon::Question);
    QCOMPARE(QImage(dir.filePath("curves.png")), before);

    // A name leading to a file of another kind is kept even when the user says to replace it.
    QFile notes(dir.filePath("notes.png"));
    QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("my notes\n") == 9);
    notes.close();
    t.dialogs->clearShown();
    t.dialogs->fileNext(notes.fileName());
    t.dialogs->answerNext(DialogService::Answer::Yes); // to "replace it?"
    t.click("SavePlotButton");
    QCOMPARE(t.dialogs->shown().size(), 2);
    QVERIFY2(t.dialogs->shown().back().text.contains("a text file"), qPrintable(t.dialogs->shownTexts().join("")));
    QVERIFY(notes.open(QIODevice::ReadOnly));
    QCOMPARE(notes.readAll(), QByteArray("my notes\n"));

    // A file that cannot be written is said, not passed over.
    t.dialogs->clearShown();
    t.dialogs->fileNext(dir.filePath("no such folder/curves.png"));
    t.click("SavePlotButton");
    QCOMPARE(t.dialogs->shown().size(), 1);
    QCOMPARE(t.dialogs->shown().front().icon, DialogService::Icon::Error);
    QVERIFY2(t.dialogs->shown().front().text.contains("could not be written"),
             qPrintable(t.dialogs->shownTexts().join("")));
    QCOMPARE(t.dialogs->unused(), 0);
}

void CurvesTest::exportPagePlotsTheRowsToBeWritten()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTemporaryDir dir;
    auto t = makeForm();
    convert(t, dir, rawExport(plateWells(96)));
    t.click("NextButton1");
    auto* exportPlot = t.get<CurvePlot>("ExportPlot");
    QCOMPARE(exportPlot->graphCount(), 0);
    for (const char* well : {"B3", "A12"})
        map96(t)->setTicked(indexOf(map96(t), well), true);
    t.dialogs->answerNext(DialogService::Answer::Yes); // repair the separator
    t.click("ExtractButton");
    QCOMPARE(t.grid("ExportSelectSG").cell(2, 2), std::string("15,1"));
    QCOMPARE(graphWells(exportPlot), (QStringList{"A12", "B3"}));
    compareWithTable(exportPlot, "A12", 12);
    compareWithTable(exportPlot, "B3", 15);
    QVERIFY(!exportPlot->interactions().testFlag(QCP::iSelectPlottables));
    QLocale::setDefault(QLocale::c());
}

void CurvesTest::savedPlotCarriesTitleLegendAndTextOfItsSize()
{
    if (!MORVANE_HAVE_SVG)
        QSKIP("reads the plot's texts back from SVG, which needs QtSvg (none in the Windows build)");
    QTemporaryDir dir;
    auto t = makeForm();
    convertPartial(t, dir, rawExport({"A1", "A2", "A3"}, 3));
    // The texts of an SVG file and the largest font size among them.
    auto saveSvg = [&](const char* size, const char* name) {
        auto* sizes = t.get<QComboBox>("PlotSizeCB");
        sizes->setCurrentIndex(sizes->findText(size));
        t.dialogs->fileNext(dir.filePath(name));
        t.click("SavePlotButton");
        QFile file(dir.filePath(name));
        QDomDocument svg;
        if (!file.open(QIODevice::ReadOnly) || !svg.setContent(&file))
            qWarning("%s was not written", name);
        QStringList texts;
        const QDomNodeList nodes = svg.elementsByTagName("text");
        for (int i = 0; i < nodes.size(); ++i)
            texts << nodes.at(i).toElement().text().trimmed();
        return std::pair{texts, svg.toString()};
    };
    const auto [small, smallSvg] = saveSvg("800 x 600", "small.svg");
    const auto [large, largeSvg] = saveSvg("2400 x 1600", "large.svg");
    for (const QStringList& texts : {small, large}) {
        QVERIFY2(texts.contains("Test plate 7, channel 465-510"), qPrintable(texts.join('|')));
        for (const char* text : {"Sample 1", "Sample 2", "Sample 3", "cycle", "reading"})
            QVERIFY2(texts.contains(text), text);
    }
    // The large picture is drawn scaled: its text grows with it rather than staying at screen size.
    QVERIFY(!smallSvg.contains("matrix(2.66667"));
    QVERIFY(largeSvg.contains("matrix(2.66667,0,0,2.66667"));
    // Nothing of the save stays on screen.
    QCOMPARE(plot(t)->graphCount(), 3);
    QVERIFY(!plot(t)->legend->visible());
    QCOMPARE(plot(t)->plotLayout()->rowCount(), 1);
}

void CurvesTest::logAxisLabelsEnoughTicksForNarrowReadings()
{
    // Readings between 0.15 and 4.7: powers of ten alone would label only "1"; one flat well
    // within a tenth of a decade got the single label "15".
    const std::vector<std::vector<const char*>> cases{{"0.15", "0.9", "4.7"}, {"15.58", "15.41", "15.76"}};
    for (const auto& readings : cases) {
        QByteArray text = "Raw Data \t\tExperiment - Narrow (Run on LCS480 1.5.0.39)\r\n"
                          "SamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp\t465-510\t\r\n";
        for (int cycle = 1; cycle <= 3; ++cycle)
            text += "A1\tS\t2\t2\t" + QByteArray::number(cycle) + "\t1000\t60.0\t" + readings[cycle - 1] + "\r\n";
        QTemporaryDir dir;
        auto t = makeForm();
        convertPartial(t, dir, text);
        QVERIFY(t.get<QCheckBox>("LogScaleCB")->isChecked());
        plot(t)->replot();
        const QCPRange view = plot(t)->yAxis->range();
        int inView = 0;
        for (double tick : plot(t)->yAxis->tickVector())
            inView += view.contains(tick);
        QVERIFY2(inView >= 3, qPrintable(QString::number(inView) + " labels for " + readings[0]));
    }
}

// B3's sample is drawn alike on pages 2 and 3; renaming other wells leaves it so; a plate's first
// twelve samples are twelve colours.
void CurvesTest::aSampleKeepsOneColourOnEveryPage()
{
    QTemporaryDir dir;
    auto t = makeForm();
    convert(t, dir, rawExport(plateWells(96)));
    t.click("NextButton1");
    QSet<QRgb> first12;
    for (int n = 1; n <= 12; ++n)
        first12.insert(colourOf(plot(t), QStringLiteral("A%1").arg(n)).rgb());
    QCOMPARE(first12.size(), 12);
    const QColor b3 = colourOf(plot(t), "B3");
    for (const char* well : {"B3", "A12"})
        map96(t)->setTicked(indexOf(map96(t), well), true);
    t.click("ExtractButton");
    auto* exportPlot = t.get<CurvePlot>("ExportPlot");
    QCOMPARE(colourOf(exportPlot, "B3"), b3);

    t.click("SelectNoneButton");
    for (const char* well : {"A1", "A2", "A3", "A4"})
        map96(t)->setTicked(indexOf(map96(t), well), true);
    t.get<QLineEdit>("LayoutSampleEdit")->setText("Renamed");
    t.click("ApplyLayoutButton");
    QCOMPARE(t.grid("ResultSG").cell(1, 1), std::string(" Renamed"));
    QCOMPARE(colourOf(plot(t), "A1"), colourOf(plot(t), "A4"));
    t.click("SelectNoneButton");
    QCOMPARE(colourOf(plot(t), "B3"), b3);
    QCOMPARE(colourOf(exportPlot, "B3"), b3);
}

QTEST_MAIN(CurvesTest)
#include "curves_guitest.moc"
