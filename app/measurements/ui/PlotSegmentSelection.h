#pragma once

#include <QObject>
#include <QPointer>
#include <qcustomplot.h>

class Plot;

// Selection of a range of a trace curve by dragging along it: a left press near a trace curve
// picks the curve and its nearest point, every move reports the range from there to the point
// nearest to the cursor and highlights it, the release reports it once more. The plot is the
// parent. Only the first traceCount curves of the plot's curve registry are trace curves.
class PlotSegmentSelection : public QObject
{
    Q_OBJECT

public:
    explicit PlotSegmentSelection(Plot *plot);

    void setEnabled(bool on);
    bool isEnabled() const { return enabled; }
    // Takes the highlighted range off the last curve.
    void clearSelection();

    void setTraceCount(int count) { traceCount = count; }
    int traceCountValue() const { return traceCount; }
    QCPCurve *currentCurve() const { return curve; }
    bool isSelecting() const { return selecting; }

signals:
    void selectionChanged(QCPDataRange range, QCPCurve *curve);
    // Declared for the measurements that listen to both; the release reports through
    // selectionChanged.
    void selectionFinished(QCPDataRange range, QCPCurve *curve);

private slots:
    void onMousePress(QMouseEvent *event);
    void onMouseMove(QMouseEvent *event);
    void onMouseRelease(QMouseEvent *event);

private:
    QCPDataRange currentRange() const;

    Plot *plot;
    QPointer<QCPCurve> curve;
    bool enabled = false;
    bool selecting = false;
    bool moved = false;
    int startIndex = -1;
    int currentIndex = -1;
    int traceCount = 0;
};
