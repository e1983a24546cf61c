#pragma once

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
//    measurement, and on both lines of a crossing.
//
// The measurements manager asks it what goes with a deleted measurement, and recalculates in the
// order it gives, so that everything is computed from what it is built on as it is now: after a
// change of the display unit, a levelling or its reset, a calibration edit.
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
    // built on it or on those, in the order found.
    QList<Measurement *> withDependents(Measurement *m,
                                        const std::list<Measurement *> &among) const;

    // Forgets the measurements about to be deleted: their records go, and the crossing points
    // that survivors own with one of them as partner are removed from their owners.
    void forget(const QList<Measurement *> &deleted);

    // Recalculates the measurements, each after everything it is built on: a parallel first
    // takes its line from its source, and the crossings of a pair are placed anew as soon as
    // both lines are calculated. done is called after every calculation.
    void recalculate(const std::list<Measurement *> &listed,
                     const std::function<void(Measurement *)> &done);

    // The measurements m is built on (its source, the owners of the points it picked and the
    // lines of the crossings among them).
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
