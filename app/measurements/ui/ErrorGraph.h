#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector2D>
#include <QVector>
#include <qcustomplot.h>

class AdaptiveCurve;
class Plot;

// The graphic of a deviation measurement on the contour plot: a curve of the exaggerated
// deviations beside the trace, two reference lines (line 0 from base0 to tip0, line 1 from
// base1 to tip1) and a value scale with tick marks and numbers along line 1, from minValue at
// tip1 towards base1.
//
// The exaggeration is kept in screen pixels: with refreshOnWheel set, the graph rebuilds itself
// after every wheel zoom of its plot so that the curve, the lines and the scale keep their size
// on the screen.
class ErrorGraph : public QObject
{
    Q_OBJECT

public:
    explicit ErrorGraph(Plot *plot);
    ~ErrorGraph() override;

    void setLine(int index, const QVector2D &start, const QVector2D &end);
    void setHighlighted(bool on);
    // The curve's points; needs reference, the bases and the tips set first. Nothing happens
    // when keys is empty or values has another size.
    void setGraphData(const QVector<double> &keys, const QVector<double> &values);
    // The same two operations under the names the deviation measurements use.
    void setConnector(int index, const QVector2D &from, const QVector2D &to)
    {
        setLine(index, from, to);
    }
    void setData(const QVector<double> &xs, const QVector<double> &ys) { setGraphData(xs, ys); }
    // Redraws the scale: ticks at the multiples of the grid step within [minValue, maxValue],
    // the largest deviation `scale` plot units from tip1 along line 1 (where the deviation band
    // puts it). text, when not empty, is written under the last number. A number that would be
    // cut at the plot's edge or cover another is hidden (labels() keeps one per tick).
    void draw(double scale, const QString &text);
    void clearScale();
    // The wheel rebuild: tips, scale and curve keep their pixel distances to the bases and to
    // the reference points.
    void refresh();

    // The scale's grid step for a range: 0.2, 0.5 or 1 times the power of ten below it.
    static double gridStep(double range);
    // The values the scale marks for a range (either order): the multiples of the grid step
    // within it, at most kMaxTicks; none for an empty or non-finite range.
    static QVector<double> scaleValues(double minValue, double maxValue);
    static constexpr int kMaxTicks = 1000;
    // The deviations are shown with six decimals: the scale is not divided more finely, so
    // that differences the value cannot show (rounding noise on an exact shape) get no numbers.
    static constexpr double kResolution = 1e-6;
    // A scale number as it is written: in plain decimals, as many as the step needs and no
    // trailing zeros, never in exponent form.
    static QString scaleNumber(double value, double step);

    const QVector<QCPItemLine *> &ticks() const { return m_ticks; }
    const QVector<QCPItemText *> &labels() const { return m_labels; }
    AdaptiveCurve *curve() const { return m_curve; }
    QCPItemLine *line(int index) const { return m_lines[index]; }

    // Anchor points in plot coordinates; written by the measurement.
    QVector2D tip0;
    QVector2D tip1;
    QVector2D base0;
    QVector2D base1;
    // The smallest and largest deviation.
    double maxValue = 0.0;
    double minValue = 0.0;
    // The reference points the curve is drawn against, one per curve point (column 0 x,
    // column 1 y). The graph keeps its own copy.
    QVector<QVector<double>> reference;
    bool refreshOnWheel = false;

private:
    void onPlotWheel();
    void repositionLines();
    // Puts each number of the scale beside its tick, on the side of the scale where more of them
    // fit within the plot (outside the graph when both sides take as many), and shows only those
    // that are whole within it and clear of the ones before them.
    void layOutLabels(const QVector<QVector2D> &points, const QVector2D &n, double g);
    // The numbers laid out again along the ticks as they are now, before every replot: the view
    // may have changed since the last draw (a change of unit, a framing, a zoom), and a number
    // placed in the pixels of another view would stand far from its tick.
    void layOutAgain();
    void rebuildCurve();
    QPen curvePen() const;

    QPointer<Plot> m_plot;
    AdaptiveCurve *m_curve = nullptr;
    QCPItemLine *m_lines[2] = {nullptr, nullptr};
    QVector<QCPItemLine *> m_ticks;
    QVector<QCPItemText *> m_labels;
    QPointF m_tipOffset0;
    QPointF m_tipOffset1;
    QVector<double> m_pixelDx;
    QVector<double> m_pixelDy;
    QCPRange m_lastXRange {0, 0};
    QCPRange m_lastYRange {0, 0};
    // The scale of the last draw as a share of line 1's length, and its text: the wheel rebuild
    // draws the scale again at the same place along the line.
    double m_scaleShare = 0.0;
    double m_lastScale = 0.0;
    QString m_lastText;
    // The scale's normal and tick length of the last draw, for a scale of one tick.
    QVector2D m_normal;
    double m_tickLength = 0.0;
    bool m_refreshQueued = false;
};
