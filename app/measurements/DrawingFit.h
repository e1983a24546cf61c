#pragma once

#include "measurements/DxfDrawing.h"

#include <QPointF>
#include <QVector>

#include <functional>
#include <limits>

// Fits a drawing to contour points by turning it about a pivot and then shifting it, with
// pattern searches whose steps shrink after every failed trial, so that the sum of the
// distances from the points to the drawing becomes as small as the searches make it.
//
// The searches never move the drawing: they move the points the other way (the distances of a
// rigidly moved drawing are those of the points moved back), so the per-point nearest-entity
// hints stay valid from one trial to the next. apply() puts the found pose on the drawing.
class DrawingFit
{
public:
    // unitFactor: one millimetre in the plot's unit (1, 1000 or 1e6).
    DrawingFit(const DxfDrawing &drawing, const QVector<QPointF> &points, const QPointF &pivot,
               double unitFactor);

    // The sum of distances with the drawing in the current pose.
    double error();

    // Turns: a half turn or none, whichever fits better (on equal errors the half turn), then
    // steps of 90° halved after each failed trial down to 0.001°. Returns the error reached.
    double fitRotation();
    // Shifts: vertical, then horizontal, from 1 mm down to 1 µm. Returns the error reached.
    double fitTranslation();

    // Turns and shifts together: from every pose the best of a turn and a shift in each
    // direction is taken while it lowers the error, and all steps are halved when none does, down
    // to the resolutions. It finishes what the two searches above leave when the picked trace
    // point is not exactly the picked drawing point: then the best turn about it is not the best
    // turn after the shift. Returns the error reached.
    double refine();

    // The pose found: the drawing turned about the pivot by angle() degrees, then shifted.
    double angle() const { return m_angle; }
    QPointF shift() const { return m_shift; }
    // Puts the pose on a drawing (the one given to the constructor, as the caller keeps it).
    void apply(DxfDrawing *drawing) const;
    // Puts a pose on a drawing: turned about the pivot by angle degrees, then shifted.
    static void applyPose(DxfDrawing *drawing, double angle, const QPointF &pivot,
                          const QPointF &shift);

    // Told how far the fit has come (0 to 1, over rotation, translation and refinement, never
    // running back) before every trial and every few hundred points of a trial; answering
    // false stops the fit: the searches end at once and stopped() turns true. The pose is then
    // of no use. Called on the thread the fit runs on.
    using Progress = std::function<bool(double fraction)>;
    void setProgress(Progress progress) { m_progress = std::move(progress); }
    bool stopped() const { return m_stopped; }
    // The three searches one after the other, as a placed drawing is fitted; the later ones do
    // not start once the fit is stopped.
    void fitAll();

    // The smallest translation step, in millimetres.
    static constexpr double kTranslationResolutionMm = 1e-3;
    static constexpr double kRotationResolutionDeg = 1e-3;

private:
    // The error with the drawing turned by angle and shifted; the sum stops once it exceeds
    // `above` (then the result exceeds `above` too, see DxfDrawing::distanceSum). A pose met
    // before is not measured again.
    double errorAt(double angle, const QPointF &shift,
                   double above = std::numeric_limits<double>::infinity());

    // The last poses measured in full, with their errors: a search step that goes back to where
    // it came from finds its error here.
    struct Measured
    {
        double angle;
        QPointF shift;
        double error;
    };
    static constexpr int kMeasured = 8;
    Measured m_measured[kMeasured];
    int m_measuredCount = 0;
    int m_measuredNext = 0;

    // Where the search in progress stands: its share of the whole fit runs from m_phaseFrom to
    // m_phaseTo, and it is m_phaseDone through it.
    void setPhase(double from, double to);
    void setPhaseDone(double done);
    bool keepGoing();

    Progress m_progress;
    bool m_stopped = false;
    double m_phaseFrom = 0.0;
    double m_phaseTo = 1.0;
    double m_phaseDone = 0.0;
    double m_reported = 0.0;

    const DxfDrawing &m_drawing;
    QVector<QPointF> m_points;
    QVector<QPointF> m_moved;
    QVector<int> m_hints;
    QPointF m_pivot;
    double m_unitFactor;
    double m_angle = 0.0;
    QPointF m_shift;
};
