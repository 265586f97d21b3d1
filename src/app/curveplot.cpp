#include "app/curveplot.h"

#include "app/samplecolours.h"
#include "plate/logticks.h"

#include <QBuffer>
#include <QImage>
#include <QPdfWriter>
#if MORVANE_HAVE_SVG
#include <QSvgGenerator>
#endif
#include <QToolTip>

#include <algorithm>
#include <map>

namespace {

constexpr double kCurveWidth = 1.0;
constexpr double kHighlightWidth = 3.0;
// Beyond this many curves, smooth lines cost more than they show: a full plate is drawn plain.
constexpr std::size_t kSmoothCurves = 48;
constexpr QSize kMinimumSize{200, 150};
// The view without curves.
const QCPRange kEmptyCycles{0, 40};
const QCPRange kEmptyTemperatures{60, 95}; // °C, where melt programs run
const QCPRange kEmptyLogReadings{0.1, 10};
const QCPRange kEmptyReadings{0, 10};
// How near (pixels) the pointer must be to a curve for it to count as on it.
constexpr double kHoverReach = 6.0;

// The log axis' labelled ticks as logAxisTicks places them, so a narrow range of readings still
// gets several labels.
class LogTicker final : public QCPAxisTicker {
protected:
    QVector<double> createTickVector(double, const QCPRange& range) override
    {
        const auto ticks = morvane::logAxisTicks(range.lower, range.upper);
        return {ticks.begin(), ticks.end()};
    }
    int getSubTickCount(double) override { return 0; }
};

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
    yAxis->setTicker(log ? QSharedPointer<QCPAxisTicker>(new LogTicker)
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
    if (!hasData()) {
        // Nothing to fit: the same empty view for every file, none left from the curves before.
        xAxis->setRange(m_kind == CurveKind::MeltPeaks ? kEmptyTemperatures : kEmptyCycles);
        yAxis->setRange(shownScale() == morvane::CurveScale::Log ? kEmptyLogReadings : kEmptyReadings);
    } else {
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

bool CurvePlot::hasData() const
{
    for (int i = 0; i < graphCount(); ++i)
        if (!graph(i)->data()->isEmpty())
            return true;
    return false;
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

namespace {

// What a saved plot carries beyond the screen's: a title over the axes and, for few samples, a
// legend of them. Added for the save and taken away after it.
class SavedExtras {
public:
    SavedExtras(QCustomPlot& plot, const std::vector<morvane::Curve>& curves, const QString& title) : m_plot(plot)
    {
        if (!title.isEmpty()) {
            m_plot.plotLayout()->insertRow(0);
            QFont font = m_plot.font();
            // A font may be sized in pixels (its point size is then -1).
            if (font.pointSizeF() > 0)
                font.setPointSizeF(font.pointSizeF() * kTitleGrowth);
            else
                font.setPixelSize(qRound(font.pixelSize() * kTitleGrowth));
            font.setBold(true);
            m_title = new QCPTextElement(&m_plot, title, font);
            m_plot.plotLayout()->addElement(0, 0, m_title);
        }
        std::map<int, QString> samples; // by colour: one entry per sample, in the order they appear
        for (const morvane::Curve& curve : curves)
            samples.try_emplace(curve.colour, QString::fromStdString(curve.sample));
        if (samples.empty() || samples.size() > kLegendSamples)
            return;
        for (const auto& [colour, sample] : samples) {
            // A graph without data stands for the sample in the legend and draws nothing.
            QCPGraph* key = m_plot.addGraph();
            key->setName(sample.isEmpty() ? QStringLiteral("(no sample name)") : sample);
            key->setPen(QPen(sampleColour(colour), kLegendLineWidth));
            key->addToLegend();
            m_keys.push_back(key);
        }
        m_plot.axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
        m_plot.legend->setVisible(true);
    }
    ~SavedExtras()
    {
        for (QCPGraph* key : m_keys)
            m_plot.removeGraph(key);
        m_plot.legend->setVisible(false);
        if (m_title) {
            m_plot.plotLayout()->remove(m_title);
            m_plot.plotLayout()->simplify();
        }
    }
    SavedExtras(const SavedExtras&) = delete;
    SavedExtras& operator=(const SavedExtras&) = delete;

private:
    static constexpr double kTitleGrowth = 1.3;
    // More samples than this make a legend taller than the plot: hovering names them on screen.
    static constexpr std::size_t kLegendSamples = 12;
    static constexpr double kLegendLineWidth = 2.0;

    QCustomPlot& m_plot;
    QCPTextElement* m_title = nullptr;
    std::vector<QCPGraph*> m_keys;
};

// A saved plot is drawn at a screen's size and scaled up to the size chosen, so that its text,
// lines and room grow with it: the text of a 2400 x 1600 picture is as readable as on screen.
constexpr double kDrawnHeight = 600;

} // namespace

QByteArray CurvePlot::imageFile(const QString& type, QSize size, const QString& title)
{
    const SavedExtras extras(*this, m_curves, title);
    const double scale = std::max(1.0, size.height() / kDrawnHeight);
    const QSize drawn(qRound(size.width() / scale), qRound(size.height() / scale));
    const QString documentTitle = !title.isEmpty()                 ? title
                                  : m_kind == CurveKind::MeltPeaks ? QStringLiteral("Melt peaks")
                                                                   : QStringLiteral("Amplification curves");
    auto draw = [&](QPaintDevice& device, QCPPainter::PainterMode mode) {
        QCPPainter painter;
        if (!painter.begin(&device))
            return false;
        painter.setMode(mode);
        painter.scale(scale, scale);
        toPainter(&painter, drawn.width(), drawn.height());
        return painter.end();
    };
    // Drawn into memory: the file is written whole, or not at all, by the caller.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    bool drawnWell = false;
    if (type == QStringLiteral("pdf")) {
        QPdfWriter pdf(&buffer);
        pdf.setTitle(documentTitle);
        // One point a pixel: the page is the size chosen, in points.
        pdf.setResolution(72);
        pdf.setPageSize(QPageSize(size, QPageSize::Point, QString(), QPageSize::ExactMatch));
        pdf.setPageMargins(QMarginsF());
        drawnWell = draw(pdf, QCPPainter::pmVectorized);
#if MORVANE_HAVE_SVG
    } else if (type == QStringLiteral("svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(documentTitle);
        drawnWell = draw(svg, QCPPainter::pmVectorized);
#endif
    } else {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(Qt::white);
        drawnWell = draw(image, QCPPainter::pmDefault) && image.save(&buffer, "PNG");
    }
    return drawnWell ? bytes : QByteArray();
}
