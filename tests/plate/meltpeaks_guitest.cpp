// The melt peaks in the real window: page 2's plot switch, the map's tooltips and marks, page 3's
// plot, and the switch turned off for an export without a melt program.

#include "app/curveplot.h"
#include "app/guitest.h"
#include "app/wellchecklist.h"

#include <QCheckBox>
#include <QComboBox>

class MeltPeaksTest : public QObject {
    Q_OBJECT
private slots:
    void withoutAMeltProgramTheSwitchIsOffAndSaysWhy();
    void theRealPlatesMeltPeaksOnBothPagesAndTheMap();
};

namespace {

QStringList graphWells(CurvePlot* p)
{
    QStringList wells;
    for (int i = 0; i < p->graphCount(); ++i)
        wells << p->graph(i)->name();
    return wells;
}

QListWidgetItem* well(WellCheckList* map, const QString& name)
{
    return map->findItems(name, Qt::MatchExactly).front();
}

} // namespace

void MeltPeaksTest::withoutAMeltProgramTheSwitchIsOffAndSaysWhy()
{
    QTemporaryDir dir;
    auto t = makeForm();
    auto* kind = t.get<QComboBox>("CurveKindCB");
    QVERIFY(!kind->isEnabled());
    t.open(writeFile(dir, "run.txt", rawExport(plateWells(96))));
    t.click("ConvertButton");
    for (const char* name : {"CurveKindCB", "ExportCurveKindCB"}) {
        QVERIFY(!t.get<QComboBox>(name)->isEnabled());
        QCOMPARE(t.get<QComboBox>(name)->toolTip(), QStringLiteral("Melt peaks: this export has no melt program"));
    }
    QVERIFY(!well(t.get<WellCheckList>("Wells96CB"), "A1")->toolTip().contains("Tm"));
}

void MeltPeaksTest::theRealPlatesMeltPeaksOnBothPagesAndTheMap()
{
    auto t = makeForm();
    t.open(testData("lc480_384_nrd1_calibration.txt"));
    t.click("ConvertButton");
    t.click("NextButton1");
    auto* plot = t.get<CurvePlot>("CurvePlot1");
    auto* kind = t.get<QComboBox>("CurveKindCB");
    QVERIFY(kind->isEnabled());
    kind->setCurrentIndex(1);
    QCOMPARE(plot->kind(), CurveKind::MeltPeaks);
    QCOMPARE(plot->graphCount(), 384);
    QVERIFY(!t.get<QCheckBox>("LogScaleCB")->isEnabled()); // -dF/dT goes below zero

    // The plot follows the ticks; hovering a curve names its well, sample and Tm.
    auto* map = t.get<WellCheckList>("Wells384CB");
    for (const char* name : {"A2", "A1"})
        map->setTicked(map->row(well(map, name)), true);
    QCOMPARE(graphWells(plot), (QStringList{"A1", "A2"}));
    plot->replot();
    const auto top = plot->graph(0)->data()->at(plot->graph(0)->dataCount() / 2);
    const QPoint at(int(plot->xAxis->coordToPixel(top->key)), int(plot->yAxis->coordToPixel(top->value)));
    QVERIFY2(plot->describeAt(at).startsWith("A1  Sample 1  Tm 78.63 °C  at "), qPrintable(plot->describeAt(at)));

    // The map says each well's Tm, and marks the wells of several peaks.
    QVERIFY(well(map, "A1")->toolTip().contains("\nTm 78.63 °C"));
    QVERIFY(well(map, "A5")->toolTip().contains("\nno melt peak"));
    int several = 0;
    for (int i = 0; i < map->count(); ++i)
        several += map->item(i)->toolTip().contains(" melt peaks: Tm ");
    QVERIFY(several > 0);

    kind->setCurrentIndex(0);
    QCOMPARE(plot->kind(), CurveKind::Amplification);
    QVERIFY(t.get<QCheckBox>("LogScaleCB")->isEnabled());
    QCOMPARE(graphWells(plot), (QStringList{"A1", "A2"}));

    // Page 3 switches the same way for the rows to be written.
    t.click("ExtractButton");
    auto* exportPlot = t.get<CurvePlot>("ExportPlot");
    auto* exportKind = t.get<QComboBox>("ExportCurveKindCB");
    QVERIFY(exportKind->isEnabled());
    QCOMPARE(exportPlot->kind(), CurveKind::Amplification);
    exportKind->setCurrentIndex(1);
    QCOMPARE(exportPlot->kind(), CurveKind::MeltPeaks);
    QCOMPARE(graphWells(exportPlot), (QStringList{"A1", "A2"}));
    QCOMPARE(exportPlot->curves().front().peaks.size(), std::size_t(1));
}

QTEST_MAIN(MeltPeaksTest)
#include "meltpeaks_guitest.moc"
