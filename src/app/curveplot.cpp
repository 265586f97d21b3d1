#include "app/curveplot.h"

#include "app/samplecolours.h"

#include <QFileInfo>
#include <QSvgGenerator>
#include <QToolTip>

namespace {

constexpr double kCurveWidth = 1.0;
constexpr double kHighlightWidth = 3.0;
// Beyond this many curves, smooth lines cost more than they show: a full plate is drawn plain.
constexpr std::size_t kSmoothCurves = 48;
constexpr QSize kMinimumSize{200, 150};
// How near (pixels) the pointer must be to a curve for it to count as on it.
constexpr double kHoverReach = 6.0;

QString number(double value)
{
    return QString::number(value, 'g', 8);
}

} // namespace

CurvePlot::CurvePlot(QWidget* parent) : QCustomPlot(parent)
{
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables);
    setSelectionTolerance(int(kHoverReach));
    // Hundreds of curves: antialiasing only when the view is still.
    setNoAntialiasingOnDrag(true);
    setMouseTracking(true);
    // Its layout's own minimum grows with the tick labels; the window must not grow with it.
    setMinimumSize(kMinimumSize);
    // No legend: hundreds of curves, each named on hover instead (and legend items cost).
    setAutoAddPlottableToLegend(false);
    connect(this, &QCustomPlot::mouseMove, this, &CurvePlot::showHover);
    connect(this, &QCustomPlot::mouseDoubleClick, this, [this] { resetView(); });
    connect(this, &QCustomPlot::selectionChangedByUser, this, &CurvePlot::pickByUser);
    applyAxes();
    rebuild();
}

void CurvePlot::setCurves(std::vector<morvane::Curve> curves)
{
    m_curves = std::move(curves);
    rebuild();
}

void CurvePlot::setScale(morvane::CurveScale scale)
{
    m_scale = scale;
    applyAxes();
    rebuild();
}

void CurvePlot::setKind(CurveKind kind)
{
    m_kind = kind;
    m_curves.clear();
    applyAxes();
    rebuild();
}

// -dF/dT falls below zero where the dye brightens: a log axis has no place for it.
morvane::CurveScale CurvePlot::shownScale() const
{
    return m_kind == CurveKind::MeltPeaks ? morvane::CurveScale::Linear : m_scale;
}

void CurvePlot::applyAxes()
{
    const bool melt = m_kind == CurveKind::MeltPeaks;
    xAxis->setLabel(melt ? QStringLiteral("°C") : QStringLiteral("cycle"));
    if (melt) {
        xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
    } else {
        // Cycles are whole numbers: no tick at 2.5.
        QSharedPointer<QCPAxisTickerFixed> cycles(new QCPAxisTickerFixed);
        cycles->setTickStep(1);
        cycles->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
        xAxis->setTicker(cycles);
    }
    yAxis->setLabel(melt ? QStringLiteral("-dF/dT") : QStringLiteral("reading"));
    const bool log = shownScale() == morvane::CurveScale::Log;
    yAxis->setScaleType(log ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    yAxis->setTicker(log ? QSharedPointer<QCPAxisTicker>(new QCPAxisTickerLog)
                         : QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
    yAxis->setNumberFormat(log ? QStringLiteral("gb") : QStringLiteral("g"));
}

void CurvePlot::rebuild()
{
    clearGraphs();
    const bool smooth = m_curves.size() <= kSmoothCurves;
    for (const morvane::Curve& curve : m_curves) {
        const auto points = morvane::visiblePoints(curve, shownScale());
        QCPGraph* graph = addGraph();
        graph->setName(QString::fromStdString(curve.well));
        graph->setPen(QPen(sampleColour(curve.colour), kCurveWidth));
        graph->setAntialiased(smooth);
        graph->setSelectable(QCP::stWhole);
        graph->selectionDecorator()->setPen(QPen(sampleColour(curve.colour).darker(140), kHighlightWidth));
        graph->setData(QVector<double>(points.x.begin(), points.x.end()),
                       QVector<double>(points.y.begin(), points.y.end()), true);
    }
    const QString keep = m_highlighted;
    m_highlighted.clear();
    highlightWell(keep);
    resetView();
}

void CurvePlot::resetView()
{
    if (graphCount() > 0) {
        rescaleAxes();
        // A little room round the curves, so the first and last readings are not on the frame.
        xAxis->scaleRange(1.04, xAxis->range().center());
        if (shownScale() == morvane::CurveScale::Log)
            yAxis->setRange(yAxis->range().lower / 1.2, yAxis->range().upper * 1.2);
        else
            yAxis->scaleRange(1.08, yAxis->range().center());
    }
    replot(QCustomPlot::rpQueuedReplot);
}

void CurvePlot::highlightWell(const QString& well)
{
    m_highlighted.clear();
    for (int i = 0; i < graphCount(); ++i) {
        QCPGraph* g = graph(i);
        const bool on = !well.isEmpty() && g->name().compare(well, Qt::CaseInsensitive) == 0;
        g->setSelection(on ? QCPDataSelection(g->data()->dataRange()) : QCPDataSelection());
        if (on) {
            m_highlighted = g->name();
            // Drawn last, so no other curve hides it.
            g->setLayer(QStringLiteral("overlay"));
        } else if (g->layer() != layer(QStringLiteral("main"))) {
            g->setLayer(QStringLiteral("main"));
        }
    }
    replot(QCustomPlot::rpQueuedReplot);
}

QString CurvePlot::describeAt(const QPoint& pos) const
{
    int index = -1;
    auto* graph = qobject_cast<QCPGraph*>(plottableAt(pos, false, &index));
    if (!graph || index < 0 || index >= graph->dataCount())
        return {};
    int i = 0;
    while (i < graphCount() && this->graph(i) != graph)
        ++i;
    if (i >= int(m_curves.size()))
        return {};
    const auto point = graph->data()->at(index);
    const morvane::Curve& curve = m_curves[std::size_t(i)];
    const QString sample = QString::fromStdString(curve.sample);
    if (m_kind == CurveKind::MeltPeaks) {
        QStringList tms;
        for (double tm : curve.peaks)
            tms << QStringLiteral("%1 °C").arg(tm, 0, 'f', 2);
        return QStringLiteral("%1  %2  %3  at %4 °C: %5")
            .arg(graph->name(), sample,
                 tms.isEmpty() ? QStringLiteral("no melt peak")
                               : QStringLiteral("Tm ") + tms.join(QStringLiteral(", ")),
                 QString::number(point->key, 'f', 2), QString::number(point->value, 'g', 4));
    }
    return QStringLiteral("%1  %2  cycle %3: %4").arg(graph->name(), sample, number(point->key), number(point->value));
}

void CurvePlot::showHover(QMouseEvent* event)
{
    const QString text = describeAt(event->pos());
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
}

void CurvePlot::pickByUser()
{
    const auto picked = selectedGraphs();
    if (picked.isEmpty()) {
        m_highlighted.clear();
        return;
    }
    highlightWell(picked.front()->name());
    emit wellClicked(m_highlighted);
}

bool CurvePlot::saveAs(const QString& path, QSize size)
{
    const QString type = QFileInfo(path).suffix().toLower();
    if (type == QStringLiteral("pdf"))
        return savePdf(path, size.width(), size.height());
    if (type == QStringLiteral("svg")) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(m_kind == CurveKind::MeltPeaks ? QStringLiteral("Melt peaks")
                                                    : QStringLiteral("Amplification curves"));
        QCPPainter painter;
        if (!painter.begin(&svg))
            return false;
        toPainter(&painter, size.width(), size.height());
        return painter.end();
    }
    return savePng(path, size.width(), size.height());
}
