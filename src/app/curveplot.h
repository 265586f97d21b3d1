#pragma once
// The amplification plot: one curve per well of a table, coloured by sample. The mouse drags and
// wheels the view, a double click returns to the whole data; hovering names the well, sample
// and reading; a click picks a well, which the window shows on the plate map. The same plot
// shows melt peaks (-dF/dT against °C, always on a linear scale), hover naming the wells' Tm.

#include "plate/curves.h"

#include <qcustomplot.h>

#include <QString>

#include <vector>

enum class CurveKind { Amplification, MeltPeaks };

class CurvePlot final : public QCustomPlot {
    Q_OBJECT
public:
    explicit CurvePlot(QWidget* parent = nullptr);

    // Draws these curves instead of the ones before, and fits the view to them.
    void setCurves(std::vector<morvane::Curve> curves);
    const std::vector<morvane::Curve>& curves() const { return m_curves; }

    // Log (the default) leaves out readings <= 0; the view is fitted again.
    void setScale(morvane::CurveScale scale);
    morvane::CurveScale scale() const { return m_scale; }

    // What the curves are (axes, hover text); the curves are set anew after a change.
    void setKind(CurveKind kind);
    CurveKind kind() const { return m_kind; }

    // The view over all the data, as at the start.
    void resetView();

    // The curve of `well` drawn over the others, thicker; an empty or unknown well highlights none.
    void highlightWell(const QString& well);
    QString highlightedWell() const { return m_highlighted; }

    // What hovering shows: "A1  Sample_1  cycle 30: 41594" ("A1  Sample_1  Tm 78.63 °C  at
    // 75.2 °C: 0.31" for melt peaks), or empty off the curves.
    QString describeAt(const QPoint& pos) const;

    // The plot as the bytes of an image file of `type` ("png", "pdf" or "svg"), `size` pixels
    // (PDF: points), with `title` over it and a legend of the samples when there are few; its
    // text and lines grow with the size. Empty when it cannot be drawn.
    QByteArray imageFile(const QString& type, QSize size, const QString& title = QString());

signals:
    // The user clicked a curve.
    void wellClicked(const QString& well);

private:
    void rebuild();
    // Whether any curve has a point to show.
    bool hasData() const;
    void applyAxes();
    morvane::CurveScale shownScale() const;
    void showHover(QMouseEvent* event);
    void pickByUser();

    std::vector<morvane::Curve> m_curves;
    morvane::CurveScale m_scale = morvane::CurveScale::Log;
    CurveKind m_kind = CurveKind::Amplification;
    QString m_highlighted;
};
