#pragma once

#include <QVector>
#include <qcustomplot.h>

// The plot curve of every trace: a QCPCurve that, before stroking its line, drops the line
// points that stay within one pixel of the last point it kept, and strokes a pixel column that
// many points fall into as that column's first, lowest, highest and last point. A trace of a
// million samples is then stroked with a few points per pixel of its path, a smooth one and a
// rough one alike. Fill, scatter symbols, selection and the hit test still see every point.
//
// For the usual trace (keys never turning back, linear axes with the key axis horizontal, no fill
// and no scatter symbols) the curve also computes its line points itself: it finds the visible
// key range by binary search and thins while it converts, so neither the samples outside the
// view are walked nor a line vector of every sample is built. Any other curve is drawn by the
// library's code with the thinning applied to its line.
class AdaptiveCurve : public QCPCurve
{
    Q_OBJECT

public:
    AdaptiveCurve(QCPAxis *keyAxis, QCPAxis *valueAxis);
    ~AdaptiveCurve() override;

    bool thinning() const { return m_thinning; }
    void setThinning(bool enabled) { m_thinning = enabled; }

    // Off: the line points always come from the library's computation (for comparisons).
    bool fastDrawing() const { return m_fastDrawing; }
    void setFastDrawing(bool enabled) { m_fastDrawing = enabled; }

    // The line points (pixels) that are stroked for the given ones. A point is kept when it
    // leaves the 2 x 2 pixel square centred on the last kept point. A NaN point is a gap in the
    // line: it is kept (once per run) together with the last point before it, and the point after
    // it starts a new run, so a gap is never bridged and a leading NaN hides nothing.
    QVector<QPointF> thinLinePoints(const QVector<QPointF> &lines) const;

    // The line points that are stroked: a run of more than ten points in one pixel column becomes
    // the run's first, lowest, highest and last point, each with its neighbours in the run, which
    // a one-pixel pen strokes over the same pixels as the whole run; the other points are thinned
    // as above. Unchanged when thinning is off.
    QVector<QPointF> strokedLinePoints(const QVector<QPointF> &lines) const;

    // The owner of the curve's data tells the curve the revision of its points after every
    // change (any number that differs from the last one told). While the revision stays the
    // same the curve keeps a summary of its points (the lowest and highest value of every block
    // of kSummaryBlock points, whether the keys rise), and a pixel column crowded with points
    // is then stroked from the blocks' extremes instead of every point: a picture of millions of
    // points costs little more than one of thousands, with the same line points. Revision 0
    // (the default) means unknown: no summary is kept, and every draw looks at every point.
    void setDataRevision(quint64 revision) { m_dataRevision = revision; }
    static constexpr int kSummaryBlock = 256;

    // The summary of a set of points, made on any thread (for points about to become the
    // curve's), and handed to the curve with the revision its points will have.
    struct Summary
    {
        quint64 revision = 0;
        const QCPCurveData *data = nullptr;
        int size = 0;
        bool rising = false;
        QVector<double> low;
        QVector<double> high;
        // A block with a NaN value.
        QVector<bool> gap;
    };
    static Summary summarize(const QVector<QCPCurveData> &points);
    void adoptSummary(Summary summary, quint64 revision);

    // The library's hit test, answered by the plot's curve hit tester when the curve lies on a
    // project plot: the same distance and nearest point, found without walking every sample, so
    // a click on a long trace stays quick (the library tests every curve on every press).
    double selectTest(const QPointF &pos, bool onlySelectable,
                      QVariant *details = nullptr) const override;

protected:
    void draw(QCPPainter *painter) override;
    void drawCurveLine(QCPPainter *painter, const QVector<QPointF> &lines) const override;

private:
    bool strokedVisibleLine(const QCPDataRange &range, QVector<QPointF> *out) const;

    // The summary of the current points; null when the revision is unknown.
    const Summary *summary() const;
    mutable Summary m_summary;
    quint64 m_dataRevision = 0;

    bool m_thinning = true;
    bool m_fastDrawing = true;
};
