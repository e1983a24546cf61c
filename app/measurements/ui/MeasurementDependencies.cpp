#include "measurements/ui/MeasurementDependencies.h"

#include "core/DisplayUnits.h"
#include "core/Settings.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/ui/Measurement.h"
#include "measurements/ui/MeasurementIntersections.h"
#include "measurements/ui/ReperPoint.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The reper point whose curve each curve is, over the points of the given measurements.
QHash<const QCPCurve *, ReperPoint *> pointsByCurve(const std::list<Measurement *> &among)
{
    QHash<const QCPCurve *, ReperPoint *> index;
    for (const Measurement *m : among) {
        for (ReperPoint *p : m->reperPointList()) {
            if (p->snapCurve())
                index.insert(p->snapCurve(), p);
        }
    }
    return index;
}

bool isFinitePoint(const QPointF &p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

} // namespace

void MeasurementDependencies::addCrossing(Measurement *owner, Measurement *partner,
                                          const QList<ReperPoint *> &points)
{
    if (!owner || !partner)
        return;
    Crossing crossing;
    crossing.owner = owner;
    crossing.partner = partner;
    for (ReperPoint *p : points)
        crossing.points.append(p);
    crossings.append(crossing);
}

void MeasurementDependencies::addParallel(Measurement *copy, Measurement *source,
                                          double distanceMillimetres)
{
    if (!copy || !source)
        return;
    parallels.append({copy, source, distanceMillimetres});
}

QVector<double> MeasurementDependencies::parallelCoefficients(const Measurement *source,
                                                              int copyKind, double distance)
{
    const QVector<double> c = source ? source->lineCoefficients() : QVector<double>();
    if (c.size() < 2)
        return {};
    const double shift
        = copyKind == CLICK_VERTICAL_LINE ? distance : distance * std::sqrt(1.0 + c[0] * c[0]);
    return {c[0], c[1] + shift};
}

const MeasurementDependencies::Crossing *
MeasurementDependencies::crossingOf(const ReperPoint *point) const
{
    for (const Crossing &c : crossings) {
        for (const QPointer<ReperPoint> &p : c.points) {
            if (p == point)
                return &c;
        }
    }
    return nullptr;
}

const MeasurementDependencies::Parallel *
MeasurementDependencies::parallelOf(const Measurement *copy) const
{
    for (const Parallel &p : parallels) {
        if (p.copy == copy)
            return &p;
    }
    return nullptr;
}

QList<ReperPoint *> MeasurementDependencies::pointsGoingWith(const Measurement *m) const
{
    QList<ReperPoint *> points = m->reperPointList();
    for (const Crossing &c : crossings) {
        if (c.partner != m)
            continue;
        for (const QPointer<ReperPoint> &p : c.points) {
            if (p)
                points.append(p);
        }
    }
    return points;
}

QSet<Measurement *> MeasurementDependencies::basesOf(const Measurement *m,
                                                     const std::list<Measurement *> &among) const
{
    return basesOf(m, pointsByCurve(among), drawingHolder(among));
}

QSet<Measurement *>
MeasurementDependencies::basesOf(const Measurement *m,
                                 const QHash<const QCPCurve *, ReperPoint *> &pointIndex,
                                 Measurement *holder) const
{
    QSet<Measurement *> bases;
    if (const Parallel *p = parallelOf(m)) {
        if (p->source)
            bases.insert(p->source);
    }
    if (holder && holder != m && m->measuresAgainstDrawing())
        bases.insert(holder);
    const QVector<CurvePointRef> picked = m->pickedPoints();
    for (const CurvePointRef &ref : picked) {
        ReperPoint *point = pointIndex.value(ref.curve.get());
        if (!point || point->measurement() == m)
            continue;
        bases.insert(point->measurement());
        if (const Crossing *c = crossingOf(point)) {
            if (c->partner)
                bases.insert(c->partner);
        }
    }
    return bases;
}

Measurement *MeasurementDependencies::drawingHolder(const std::list<Measurement *> &among)
{
    for (auto it = among.crbegin(); it != among.crend(); ++it) {
        if ((*it)->comparisonDrawing())
            return *it;
    }
    return nullptr;
}

QList<Measurement *> MeasurementDependencies::builtOn(const QList<Measurement *> &changed,
                                                      const std::list<Measurement *> &among) const
{
    const QHash<const QCPCurve *, ReperPoint *> index = pointsByCurve(among);
    Measurement *const holder = drawingHolder(among);
    QHash<const Measurement *, QSet<Measurement *>> bases;
    for (const Measurement *m : among)
        bases.insert(m, basesOf(m, index, holder));
    QSet<Measurement *> reached(changed.cbegin(), changed.cend());
    QSet<const Measurement *> found;
    for (bool grown = true; grown;) {
        grown = false;
        for (Measurement *m : among) {
            if (reached.contains(m))
                continue;
            if (!bases.value(m).intersects(reached))
                continue;
            reached.insert(m);
            found.insert(m);
            grown = true;
        }
    }
    QList<Measurement *> result;
    for (Measurement *m : among) {
        if (found.contains(m))
            result.append(m);
    }
    return result;
}

QList<Measurement *>
MeasurementDependencies::withDependents(Measurement *m, const std::list<Measurement *> &among) const
{
    QList<Measurement *> going {m};
    QSet<const Measurement *> gone {m};
    QSet<const QCPCurve *> goneCurves;
    const auto take = [&](const Measurement *x) {
        for (const ReperPoint *p : pointsGoingWith(x)) {
            if (p->snapCurve())
                goneCurves.insert(p->snapCurve());
        }
    };
    take(m);
    for (bool grown = true; grown;) {
        grown = false;
        for (Measurement *x : among) {
            if (gone.contains(x))
                continue;
            bool builtOnGone = false;
            if (const Parallel *p = parallelOf(x))
                builtOnGone = gone.contains(p->source.data());
            const QVector<CurvePointRef> picked = x->pickedPoints();
            for (const CurvePointRef &ref : picked) {
                if (ref.curve && goneCurves.contains(ref.curve.get()))
                    builtOnGone = true;
            }
            if (!builtOnGone)
                continue;
            going.append(x);
            gone.insert(x);
            take(x);
            grown = true;
        }
    }
    return going;
}

void MeasurementDependencies::forget(const QList<Measurement *> &deleted)
{
    const QSet<Measurement *> gone(deleted.cbegin(), deleted.cend());
    for (auto it = crossings.begin(); it != crossings.end();) {
        const bool ownerGoes = !it->owner || gone.contains(it->owner.data());
        const bool partnerGoes = !it->partner || gone.contains(it->partner.data());
        if (!ownerGoes && !partnerGoes) {
            ++it;
            continue;
        }
        // The owner stays, the other line goes: so do the points where they crossed.
        if (!ownerGoes) {
            for (const QPointer<ReperPoint> &p : qAsConst(it->points)) {
                if (p)
                    it->owner->removeReperPoint(p);
            }
        }
        it = crossings.erase(it);
    }
    parallels.erase(std::remove_if(parallels.begin(), parallels.end(),
                                   [&gone](const Parallel &p) {
                                       return !p.copy || !p.source || gone.contains(p.copy.data())
                                           || gone.contains(p.source.data());
                                   }),
                    parallels.end());
}

void MeasurementDependencies::dropGone()
{
    forget({});
}

void MeasurementDependencies::placeCrossing(Crossing &crossing)
{
    Measurement *owner = crossing.owner;
    Measurement *partner = crossing.partner;
    if (!owner || !partner)
        return;
    QList<QPointF> points = intersectMeasurements(partner, owner);
    points.erase(std::remove_if(points.begin(), points.end(),
                                [](const QPointF &p) { return !isFinitePoint(p); }),
                 points.end());
    crossing.points.erase(std::remove_if(crossing.points.begin(), crossing.points.end(),
                                         [](const QPointer<ReperPoint> &p) { return !p; }),
                          crossing.points.end());
    const int missing = points.size() - crossing.points.size();
    if (missing > 0) {
        owner->createReperPoints(missing);
        const QList<ReperPoint *> &all = owner->reperPointList();
        for (int i = all.size() - missing; i < all.size(); ++i)
            crossing.points.append(all.at(i));
    }
    // A crossing that no longer exists keeps its point, hidden and out of reach, so that what
    // was built on it shows no value until the lines cross again.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int i = 0; i < crossing.points.size(); ++i) {
        const int index = owner->reperPointList().indexOf(crossing.points.at(i));
        if (index >= 0)
            owner->setReperPoint(index, i < points.size() ? points.at(i) : QPointF(nan, nan));
    }
}

void MeasurementDependencies::recalculate(const std::list<Measurement *> &listed,
                                          const std::function<void(Measurement *)> &done,
                                          const QSet<Measurement *> *which)
{
    dropGone();
    // The order is settled before anything is calculated: a receiver of done may delete
    // measurements, which are then passed over.
    QList<QPointer<Measurement>> order;
    {
        QList<Measurement *> waiting(listed.cbegin(), listed.cend());
        QHash<const Measurement *, QSet<Measurement *>> bases;
        const QSet<Measurement *> all(waiting.cbegin(), waiting.cend());
        const QHash<const QCPCurve *, ReperPoint *> index = pointsByCurve(listed);
        Measurement *const holder = drawingHolder(listed);
        for (Measurement *m : waiting)
            bases.insert(m, basesOf(m, index, holder) & all);
        QSet<Measurement *> placed;
        while (!waiting.isEmpty()) {
            int next = 0;
            for (int i = 0; i < waiting.size(); ++i) {
                const QSet<Measurement *> &b = bases[waiting.at(i)];
                if (std::all_of(b.cbegin(), b.cend(),
                                [&placed](Measurement *x) { return placed.contains(x); })) {
                    next = i;
                    break;
                }
            }
            // With no measurement ready (which a loop of bases would mean) the first one goes.
            Measurement *m = waiting.takeAt(next);
            placed.insert(m);
            order.append(m);
        }
    }

    const double unitsPerMillimetre = unitsPerMillimetreOf(Settings::instance()->view.axis_unit);
    // What is not recalculated stands as it is: the crossings with it are placed at once.
    QSet<const Measurement *> due;
    for (Measurement *m : listed) {
        if (!which || which->contains(m))
            due.insert(m);
    }
    QSet<const Measurement *> calculated;
    for (const QPointer<Measurement> &m : qAsConst(order)) {
        if (!m || !due.contains(m))
            continue;
        if (const Parallel *p = parallelOf(m)) {
            const QVector<double> c = parallelCoefficients(
                p->source, m->type(), p->distanceMillimetres * unitsPerMillimetre);
            if (!c.isEmpty())
                m->moveLine(c);
        }
        m->calculate();
        calculated.insert(m);
        for (Crossing &c : crossings) {
            if (c.owner != m && c.partner != m)
                continue;
            const Measurement *other = c.owner == m ? c.partner.data() : c.owner.data();
            if (calculated.contains(other) || !due.contains(other))
                placeCrossing(c);
        }
        if (done && m)
            done(m);
    }
}
