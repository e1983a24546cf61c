#pragma once

#include <QPointF>
#include <QVector>

// The mean-diameter line of a thread profile: the straight line that cuts the profile so that
// the stretches between successive crossings are as equal as possible, as they are on the pitch
// line of a thread whose ridges and grooves are equally wide there.
//
// The line starts as the least-squares line of the points and is improved by a pattern search
// over a turn about the middle of the drawn segment and a vertical shift, each with a step that
// shrinks by 0.7 after every failed trial.
//
// The result must not depend on the unit the points are given in (millimetres, micrometres,
// nanometres). The same trace shown in two units differs by more than a factor: the factors
// are not powers of two, so every coordinate is rounded differently. The crossing error only
// changes where the line passes a sample, and a symmetric profile gives many trials whose
// errors are equal but for that rounding; a search that compares them exactly goes its own way
// in each unit. So the fit works on the points moved to the profile's lowest left corner and
// divided by its height, counts a residual within kOnLine of 0 as on the line, and takes a
// trial as better only when its error is lower by more than kTie: rounding noise never decides,
// and the same line comes out in every unit.
class MeanDiameterFit
{
public:
    enum Outcome {
        Fitted,
        // Fewer than two points with different X: there is no line.
        TooFewPoints,
        // The least-squares line crosses the profile fewer than three times: a single ridge or
        // groove has no pitch line.
        TooFewCrossings,
    };

    // The profile's points in their order along the trace.
    explicit MeanDiameterFit(const QVector<QPointF> &points);

    Outcome fit();

    // The line y = intercept + slope·x (valid after a fit that gave Fitted).
    double slope() const { return m_c1; }
    double intercept() const { return m_c0; }
    double valueAt(double x) const { return m_c0 + m_c1 * x; }
    // The X extent of the profile, over which the line is drawn.
    double xMin() const { return m_xMin; }
    double xMax() const { return m_xMax; }

    // The spread of the crossing distances of the line y = c0 + c1·x: the sum of their
    // deviations from their mean. kRejected when the line does not cross the profile at least
    // three times, or when its number of crossing distances differs by more than two from the
    // number the first crossing line of this fit had.
    double crossingError(double c0, double c1);
    // Number of times the line crosses the profile.
    int crossings(double c0, double c1) const;

    static constexpr double kRejected = 1e100;
    static constexpr double kInitialTurnDeg = 10.0;
    // The first shift step as a share of the profile's height.
    static constexpr double kInitialShiftShare = 1.0;
    static constexpr double kStepFactor = 0.7;
    // A search ends when its step falls to this share of its first step.
    static constexpr double kEndShare = 1e-6;
    // In heights of the profile: a residual this small counts as on the line, and errors this
    // close count as equal.
    static constexpr double kOnLine = 1e-12;
    static constexpr double kTie = 1e-9;

private:
    Outcome fitInFrame();
    void turned(double degrees, double *c0, double *c1) const;
    double search(bool turn, double v, double step, double endStep);
    // The residual of a point against the line, 0 within the on-line margin.
    double residual(const QPointF &p, double c0, double c1) const;

    QVector<QPointF> m_points;
    double m_onLine = 0.0;
    double m_c0 = 0.0;
    double m_c1 = 0.0;
    double m_xMin = 0.0;
    double m_xMax = 0.0;
    int m_referenceCount = -1;
};
