#pragma once

#include <QPoint>
#include <QPointF>
#include <QPointer>
#include <QVector>
#include <qcustomplot.h>

class Plot;

// Reading one data point of a plot curve, and finding the curve point nearest to a mouse
// position. The curve's data are read, never changed.

// Key (x) and value (y) of the data point at index; 0 for a null curve or an index outside the
// curve's data.
double curveKeyAt(QCPCurve *curve, int index);
double curveValueAt(QCPCurve *curve, int index);

// The curve a point reference names. It reads null once the curve has left the plot (a reper
// point's curve goes with its measurement), and then tells that it lost its curve, which a
// reference that never named one does not.
class CurveLink
{
public:
    CurveLink(QCPCurve *curve = nullptr)
        : m_curve(curve)
        , m_named(curve != nullptr)
    { }
    CurveLink &operator=(QCPCurve *curve)
    {
        m_curve = curve;
        m_named = curve != nullptr;
        return *this;
    }
    operator QCPCurve *() const { return m_curve.data(); }
    QCPCurve *operator->() const { return m_curve.data(); }
    QCPCurve *get() const { return m_curve.data(); }
    // The curve was named and is gone.
    bool isLost() const { return m_named && !m_curve; }

private:
    QPointer<QCPCurve> m_curve;
    bool m_named = false;
};

// One data point of a curve, named by its index.
struct CurvePointRef
{
    int index = 0;
    CurveLink curve;

    // (key, value) of the point; (0, 0) for a null curve or an index outside its data, and
    // (NaN, NaN) once the curve has left the plot: the point no longer exists.
    QPointF point() const;
    bool isLost() const { return curve.isLost(); }
};

inline QPointF curvePointAt(const CurvePointRef &ref)
{
    return ref.point();
}

// Data points [begin, end) of a curve, the indices clamped to its data: the points of a
// selected range.
struct CurveRange
{
    QCPCurve *curve = nullptr;
    int begin = 0;
    int end = 0;

    // No curve, or no point between the ends.
    bool isEmpty() const { return !curve || end <= begin; }
    int size() const { return isEmpty() ? 0 : end - begin; }
    // Iterators over the points, in container order; equal for an empty range.
    const QCPCurveData *first() const;
    const QCPCurveData *last() const; // one past the last point
};

// The key and value of the first, middle and last point of a non-empty range: they change
// whenever the curve's data change under an unchanged selection (a levelling, a calibration
// edit), so a result cached for the range is used only while they stay as they were.
QVector<double> rangeFingerprint(const CurveRange &range);

// The range of a selection: both indices clamped to 0 .. the number of points of the curve.
CurveRange curveRange(QCPCurve *curve, quint64 begin, quint64 end);

// The index of the data point of the curve nearest to a pixel position (squared pixel distance
// through the curve's own axes; the lowest index on a tie); -1 for a null or empty curve. There
// is no distance limit.
int nearestDataIndex(QCPCurve *curve, const QPoint &pixel);

// Of the first count curves of the plot's curve registry, the one whose nearest data point is
// nearest to the pixel position (the earlier curve on a tie); null when none has a point.
QCPCurve *nearestPlottable(Plot *plot, int count, const QPoint &pixel);
