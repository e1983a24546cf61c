#pragma once

#include "measurements/DrawingFit.h"
#include "measurements/DxfDrawing.h"
#include "measurements/ui/DxfImport.h"
#include "measurements/ui/DxfPlotItems.h"
#include "measurements/ui/Measurement.h"

#include <QPointF>
#include <QPointer>

#include <functional>

class QCPCurve;
class QMouseEvent;
class QWidget;

// Base of the measurements that lay a drawing over the contour: a name and no value.
class ComparePlaneMeasurement : public Measurement
{
public:
    ComparePlaneMeasurement(int type, Plot *plot, const QString &name);

    QString name() const override { return displayName; }
    QString valueText() const override { return QString(); }
    double value() const override { return 0.0; }
    bool hasValue() const override { return false; }
    QString groupName() const override;
    void setLargeLabel(bool) override { }
    void updateLabel() override { }
    void updateSelectionMarker() override;
    void setSelected(bool) override { }
    void updateUnits() override { }

    QString displayName;
};

// An imported DXF drawing fitted to a measured contour. The user picks a point on the trace and
// the matching characteristic point of the drawing; the drawing is moved so that the two
// coincide, then turned about that point and shifted until the sum of the distances from the
// picked trace's points to the drawing is as small as the searches make it. The searches run on
// a worker, so that a large drawing does not stop the window; a fit that is not over at once
// shows its progress in a window whose "Отмена" leaves the drawing unplaced, where it was before
// the picks, and the measurement waiting for a trace point again.
//
// Each measurement owns its drawing; the deviation-from-drawing measurement of the same plot
// reads it through distanceToDrawing().
class ComparePlaneDXF : public ComparePlaneMeasurement
{
public:
    // Asks for a drawing file (through the prompts) and imports it on a worker, with a progress
    // window that can cancel the read (importDxf). When the user cancels the dialog or the read,
    // the file cannot be read or it holds nothing that can be drawn, the user is told why (not
    // on a cancel) and the measurement has no drawing: hasDrawing() is false and it takes no
    // clicks.
    ComparePlaneDXF(QWidget *parent, Plot *plot);
    // The set-up with a drawing already read, in millimetres scaled to the display unit.
    ComparePlaneDXF(Plot *plot, const DxfDrawing &drawing);
    ~ComparePlaneDXF() override;

    // The drawing keeps the place it was given or fitted to.
    void calculate() override;
    // The drawing scales with the traces at a change of the display unit, and a fitted drawing
    // turns and moves with the contour it was fitted to.
    void followTransform(const PlotTransform &transform) override;

    bool hasDrawing() const { return !m_drawing.isEmpty(); }
    // The drawing the deviation from the drawing is measured against: only once it is placed on
    // the contour; a drawing still waiting for its two points is no reference yet.
    const DxfDrawing *comparisonDrawing() const override
    {
        return hasDrawing() && m_stage == 2 ? &m_drawing : nullptr;
    }
    const DxfDrawing &drawing() const { return m_drawing; }
    int stage() const { return m_stage; }
    QPointF tracePoint() const { return m_tracePoint; }
    QPointF drawingPoint() const { return m_drawingPoint; }
    const DxfPlotItems &items() const { return m_items; }

    static QString fileFilter();
    static QString tracePointText();
    static QString drawingPointText();
    // At most this many characteristic points of a drawing become snap targets.
    static constexpr int kMaxReperPoints = 2000;

private:
    void setUp();
    void onPlotMousePress(QMouseEvent *event);
    // Fits the drawing on a worker behind a progress window; false when the operator cancelled
    // the fit (the drawing is then as it was).
    bool fit();
    void placeReperPoints();
    void removeDrawingReperPoints();

    DxfDrawing m_drawing;
    DxfPlotItems m_items;
    qint16 m_stage = 0;
    int m_tracePointIndex = 0;
    int m_reperPointCount = 0;
    QPointF m_tracePoint;
    QPointF m_drawingPoint;
    QPointer<QCPCurve> m_traceCurve;
    double m_unitFactor = 1.0;
};

// The pose a fit found for a drawing, and whether it was stopped (the pose is then of no use).
struct DrawingPose
{
    double angle = 0.0;
    QPointF shift;
    bool stopped = false;
};

// The fit a placed drawing gets (DrawingFit's three searches), run on a worker: the drawing,
// the trace's points, the pivot (the picked trace point), one millimetre in plot units and the
// progress, which stops the fit when it answers false. A test may put in one it can hold (null
// puts the real one back).
using DrawingFitFunction = std::function<DrawingPose(
    const DxfDrawing &drawing, const QVector<QPointF> &points, const QPointF &pivot,
    double unitFactor, const DrawingFit::Progress &progress)>;
void setDrawingFitFunction(DrawingFitFunction fit);
DrawingPose fitDrawing(const DxfDrawing &drawing, const QVector<QPointF> &points,
                       const QPointF &pivot, double unitFactor,
                       const DrawingFit::Progress &progress);

// The progress window of a fit.
class DrawingFitProgress : public WorkProgressWindow
{
    Q_OBJECT

public:
    explicit DrawingFitProgress(QWidget *parent);

    static QString title();
};

// Distance from a point to the nearest entity of the drawings laid over the plot;
// DxfDrawing::kNoDistance when the plot has none.
double distanceToDrawing(const QCustomPlot *plot, double x, double y);
