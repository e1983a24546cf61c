#pragma once

#include <QHash>
#include <QPointF>
#include <QPointer>
#include <QVector>
#include <qcustomplot.h>

// Nearest data point of a curve to a pixel position, and the hit distance, with the answer of the
// library's QCPCurve::selectTest: the distance is the smaller of the distance to the nearest data
// point and to the curve's line, the index is that of the nearest data point (the lowest index on
// a tie), and positions outside the curve's axis rect give no hit.
//
// The library walks every data point on every call. For a curve whose keys are monotonic (every
// trace) this tester keeps a per-curve index of value bounds over blocks of points and visits
// only the blocks that can hold a nearer point, outward from a binary search on the key. Other
// curves go to the library. The index is rebuilt when the curve's data storage changes and
// whenever the owner invalidates it (the plot does so before every replot, so values edited in
// place are seen at the latest with the replot that shows them).
class CurveHitTester
{
public:
    struct Hit
    {
        double distance = -1.0; // pixels; negative: no hit
        int index = -1; // data index of the nearest point
    };

    Hit hitTest(const QCPCurve *curve, const QPointF &pos);

    void invalidate() { m_indices.clear(); }
    void forget(const QCPCurve *curve) { m_indices.remove(curve); }

private:
    struct Index
    {
        QPointer<QCPCurve> curve; // null once the curve is gone, whatever reuses its address
        const void *storage = nullptr;
        int size = -1;
        double firstKey = 0.0;
        double lastKey = 0.0;
        bool monotonic = false;
        bool ascending = true;
        QVector<double> low; // per block: smallest value, NaN for a block without values
        QVector<double> high; // per block: largest value
    };

    const Index &indexFor(const QCPCurve *curve);
    static Hit libraryHitTest(const QCPCurve *curve, const QPointF &pos);

    QHash<const QCPCurve *, Index> m_indices;
};
