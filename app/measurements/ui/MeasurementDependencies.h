#pragma once

#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QVector>

#include <functional>
#include <list>

class Measurement;
class QCPCurve;
class ReperPoint;

// What the measurements of one plot are built on, known in this one place:
//  - crossings: where two pieces of construction geometry cross, reper points of the one
//    finished later (the owner), placed by the crossing routine of the pair; they belong to both
//    lines and are placed anew whenever either moves;
//  - parallels: a construction line copied at a distance from another, which follows its source;
//  - picked points: a measurement whose point was picked on another measurement's reper point
//    (an end of a distance, a crossing, a middle point, a drawing's corner) is built on that
//    measurement, and on both lines of a crossing;
//  - the placed drawing: a measurement taken against the drawing (Measurement::
//    measuresAgainstDrawing) is built on the measurement that placed it (drawingHolder), but does
//    not go with it: without a placed drawing it has no value.
//
// The measurements manager asks it what goes with a deleted measurement and what is to be
// measured again when one comes or goes, and recalculates in the order it gives, so that
// everything is computed from what it is built on as it is now: after a change of the display
// unit, a levelling or its reset, a calibration edit, a drawing placed or deleted.
class MeasurementDependencies
{
public:
    // The crossing points of owner and partner (possibly none yet), reper points of owner.
    void addCrossing(Measurement *owner, Measurement *partner, const QList<ReperPoint *> &points);
    // copy is a parallel of source at distance millimetres, kept whatever the display unit.
    void addParallel(Measurement *copy, Measurement *source, double distanceMillimetres);

    // The coefficients {k, b} of the line parallel to source's line at distance (display unit):
    // a vertical copy moves along x, any other line y = k·x + b perpendicular to itself, by
    // distance·√(1 + k²) along y. Empty when the source gives no line.
    static QVector<double> parallelCoefficients(const Measurement *source, int copyKind,
                                                double distance);

    // The measurement of among that go with m when it is deleted: m first, then whatever is
    // built on it or on those, in the order found. What is only measured against a drawing
    // stays.
    QList<Measurement *> withDependents(Measurement *m,
                                        const std::list<Measurement *> &among) const;
    // The measurements of among built on any of changed, directly or through others, changed
    // excepted, in the order of among: what is to be measured again when they change, come or
    // go (asked while they are still among).
    QList<Measurement *> builtOn(const QList<Measurement *> &changed,
                                 const std::list<Measurement *> &among) const;
    // The measurement of among whose placed drawing the deviations from the drawing are measured
    // against: the last with a comparisonDrawing; null when none has one.
    static Measurement *drawingHolder(const std::list<Measurement *> &among);

    // Forgets the measurements about to be deleted: their records go, and the crossing points
    // that survivors own with one of them as partner are removed from their owners.
    void forget(const QList<Measurement *> &deleted);

    // Recalculates the measurements (only those of which, when given), each after everything it
    // is built on: a parallel first takes its line from its source, and the crossings of a pair
    // are placed anew as soon as both lines are calculated (at once when one of them is not
    // recalculated). done is called after every calculation.
    void recalculate(const std::list<Measurement *> &listed,
                     const std::function<void(Measurement *)> &done,
                     const QSet<Measurement *> *which = nullptr);

    // The measurements m is built on (its source, the owners of the points it picked and the
    // lines of the crossings among them, the measurement that placed the drawing it is measured
    // against).
    QSet<Measurement *> basesOf(const Measurement *m, const std::list<Measurement *> &among) const;

private:
    struct Crossing
    {
        QPointer<Measurement> owner;
        QPointer<Measurement> partner;
        QList<QPointer<ReperPoint>> points;
    };
    struct Parallel
    {
        QPointer<Measurement> copy;
        QPointer<Measurement> source;
        double distanceMillimetres = 0.0;
    };

    // basesOf with the reper points of among indexed by their curves and its drawing holder.
    QSet<Measurement *> basesOf(const Measurement *m,
                                const QHash<const QCPCurve *, ReperPoint *> &pointIndex,
                                Measurement *holder) const;
    // The crossing a reper point belongs to; null for any other point.
    const Crossing *crossingOf(const ReperPoint *point) const;
    const Parallel *parallelOf(const Measurement *copy) const;
    // The reper points that go when m is deleted: its own and those of crossings with m as
    // partner.
    QList<ReperPoint *> pointsGoingWith(const Measurement *m) const;
    // Places the crossing points of the pair where the lines cross now.
    void placeCrossing(Crossing &crossing);
    void dropGone();

    QList<Crossing> crossings;
    QList<Parallel> parallels;
};
