// Measurements built on other measurements, on a roof-shaped contour: distances picked on the
// crossings of construction lines, crossings of lines that are deleted, parallels and crossings
// through a levelling. What is built on a deleted element goes with it, and what is built on a
// moved element moves with it.
#include "KindFixture.h"
#include "ManagerFixture.h"
#include "measurements/ui/ClickDistaceMeasurement.h"
#include "measurements/ui/DistanceMeasurement.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"

#include <cmath>

using testsupport::TempSettings;

namespace {

// Flanks of slope ±0.75 from (0, 0) and (8, 0) to the apex (4, 3), a point every 0.02 mm.
QPolygonF roof()
{
    QPolygonF points;
    for (int i = 0; i <= 400; ++i) {
        const double x = i * 0.02;
        points.append(QPointF(x, 0.75 * std::min(x, 8.0 - x)));
    }
    return points;
}

struct RoofFixture : KindFixture
{
    RoofFixture()
        : KindFixture({roof()}, 8.0, 6.0)
    { }

    // Chooses the tool as the tool panel does, reper points shown where the kind wants them.
    void choose(E_MEASUREMENTS kind)
    {
        const MeasurementKindInfo &info = measurementKindInfo(kind);
        manager->setMeasurementType(kind, info.listed, info.showsReperPoints, QString());
    }

    Measurement *horizontal(double x, double y)
    {
        choose(CLICK_HORIZONTAL_LINE);
        driver->click(x, y);
        return current();
    }
    Measurement *vertical(double x, double y)
    {
        choose(CLICK_VERTICAL_LINE);
        driver->click(x, y);
        return current();
    }
    Measurement *twoPointLine(const QPointF &a, const QPointF &b)
    {
        choose(CLICK_DOUBLE_LINE);
        driver->click(a.x(), a.y());
        driver->click(b.x(), b.y());
        return current();
    }
    // A distance of the kind from a to b, its label placed at label.
    Measurement *distance(E_MEASUREMENTS kind, const QPointF &a, const QPointF &b,
                          const QPointF &label)
    {
        choose(kind);
        driver->click(a.x(), a.y());
        driver->move(b.x(), b.y());
        driver->click(b.x(), b.y());
        driver->move(label.x(), label.y());
        driver->click(label.x(), label.y());
        return current();
    }
    // The levelling by the stretch of the left flank from x = 0.5 to 3.5 mm.
    void levelLeftFlank()
    {
        choose(LAY_FLAT);
        dragAlong(traces.first(), 25, 175);
    }

    QList<Measurement *> listed() const
    {
        const std::list<Measurement *> &l = manager->measurementList();
        return QList<Measurement *>(l.cbegin(), l.cend());
    }

    // Where the reper points of the plot are, in the order they were placed.
    QList<QPointF> reperPositions() const
    {
        QList<QPointF> positions;
        for (const ReperPoint *p : manager->reperPoints()->pointList())
            positions.append(p->position());
        return positions;
    }

    // Whether the selection marker may rest on a point at p that is not a trace point.
    bool snapTargetAt(const QPointF &p) const
    {
        for (int i = 0; i < plot->curveCount(); ++i) {
            QCPCurve *curve = plot->curve(i);
            if (curve->selectable() == QCP::stNone || traces.contains(curve))
                continue;
            for (const QCPCurveData &d : *curve->data()) {
                if (std::abs(d.key - p.x()) < 1e-9 && std::abs(d.value - p.y()) < 1e-9)
                    return true;
            }
        }
        return false;
    }
};

bool near(const QPointF &a, const QPointF &b, double tolerance = 1e-9)
{
    return std::abs(a.x() - b.x()) <= tolerance && std::abs(a.y() - b.y()) <= tolerance;
}

QString pointText(const QPointF &p)
{
    return QStringLiteral("(%1, %2)").arg(p.x(), 0, 'g', 12).arg(p.y(), 0, 'g', 12);
}

} // namespace

class tst_MeasurementDependencies : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void deletingALineTakesWhatIsBuiltOnItsCrossing();
    void crossingsGoWithEitherLine();
    void levellingMovesParallelsAndCrossings();
    void crossingThatNoLongerExistsIsHidden();
};

void tst_MeasurementDependencies::cleanup()
{
    QCOMPARE(Measurement::liveCount(), 0);
}

// A straight distance from the crossing of H and V to the apex. Deleting V takes the crossing,
// and so the distance, along; H stays. The levelling that follows recalculates what is left:
// nothing reads the deleted line's points any more.
void tst_MeasurementDependencies::deletingALineTakesWhatIsBuiltOnItsCrossing()
{
    TempSettings settings;
    RoofFixture f;
    Measurement *h = f.horizontal(1, 0.75);
    Measurement *v = f.vertical(2, 1.5);
    QCOMPARE(f.reperPositions(), QList<QPointF> {QPointF(2, 0.75)});
    Measurement *d = f.distance(DIRECT_DISTANCE, {2, 0.75}, {4, 3}, {3.5, 1.5});
    QVERIFY(d && d->isFinished());
    QCOMPARE(d->valueText(), QStringLiteral("3.0104мм"));
    const int hId = h->id();
    const int dId = d->id();
    const int vId = v->id();

    f.statuses.clear();
    f.manager->removeMeasurement(vId);
    QCOMPARE(f.listed(), QList<Measurement *> {h});
    QVERIFY(!f.manager->findMeasurement(dId));
    QVERIFY2(f.statuses.join('\n').contains(QStringLiteral("Прямая")),
             qPrintable(f.statuses.join('\n')));
    // Only the trace is left on the plot: no marker, no snap target.
    QCOMPARE(f.plot->curveCount(), 1);
    QVERIFY(f.reperPositions().isEmpty());

    f.levelLeftFlank();
    QVERIFY(f.current()->isFinished());
    QCOMPARE(f.listed().size(), 1);
    QCOMPARE(f.listed().first()->id(), hId);
    // H went through the levelled trace point.
    const QCPCurveData &p = *(f.traces.first()->data()->constBegin() + 50);
    COMPARE_TOL(f.listed().first()->lineCoefficients().value(1), p.value, 0.0, 1e-12);
}

// Lines A and B on the flanks, then H and V. Each crossing belongs to both its lines: deleting B,
// then H, leaves only the crossing of A and V, and no marker or snap target of the others.
void tst_MeasurementDependencies::crossingsGoWithEitherLine()
{
    TempSettings settings;
    RoofFixture f;
    Measurement *a = f.twoPointLine({1, 0.75}, {3, 2.25});
    Measurement *b = f.twoPointLine({5, 2.25}, {7, 0.75});
    Measurement *h = f.horizontal(1, 0.75);
    f.vertical(2, 1.5);
    const QList<QPointF> all {{4, 3}, {1, 0.75}, {7, 0.75}, {2, 1.5}, {2, 4.5}, {2, 0.75}};
    const QList<QPointF> placed = f.reperPositions();
    QCOMPARE(placed.size(), all.size());
    for (int i = 0; i < all.size(); ++i)
        QVERIFY2(near(placed.at(i), all.at(i), 1e-9), qPrintable(pointText(placed.at(i))));

    f.manager->removeMeasurement(b->id());
    f.manager->removeMeasurement(h->id());
    QCOMPARE(f.listed().size(), 2);
    QVERIFY(f.listed().contains(a));
    const QList<QPointF> left = f.reperPositions();
    QCOMPARE(left.size(), 1);
    QVERIFY2(near(left.first(), {2, 1.5}), qPrintable(pointText(left.first())));
    for (const QPointF &ghost :
         {QPointF(2, 4.5), QPointF(2, 0.75), QPointF(4, 3), QPointF(7, 0.75)})
        QVERIFY2(!f.snapTargetAt(ghost), qPrintable(pointText(ghost)));
    QVERIFY(f.snapTargetAt({2, 1.5}));
    // The trace, and the one point.
    QCOMPARE(f.plot->curveCount(), 2);
}

// A line on the left flank, its parallel at 0.5 and V; a height from the crossing of the
// parallel and V to the apex. The levelling by the left flank lays the line and its parallel
// horizontal, V stays vertical through its turned point, their crossing moves to where both
// are, and the height made before the levelling reads what a height made after it reads.
void tst_MeasurementDependencies::levellingMovesParallelsAndCrossings()
{
    TempSettings settings;
    RoofFixture f;
    Measurement *a = f.twoPointLine({1, 0.75}, {3, 2.25});
    f.manager->addEquidistant(a->id(), CLICK_DOUBLE_LINE, 0.5);
    Measurement *parallel = f.listed().last();
    QCOMPARE(parallel->lineCoefficients(), (QVector<double> {0.75, 0.625}));
    Measurement *v = f.vertical(2, 1.5);
    Measurement *before = f.distance(VERTICAL_DISTANCE, {2, 2.125}, {4, 3}, {3, 4});
    QVERIFY(before && before->isFinished());
    QCOMPARE(before->valueText(), QStringLiteral("0.8750мм"));

    f.levelLeftFlank();
    QVERIFY(f.current()->isFinished());
    // The turn about (0.5, 0.375) lays the flank along y = 0.375: the trace point (2, 1.5) goes
    // to (2.375, 0.375), the apex to (4.875, 0.375).
    const QVector<double> line = a->lineCoefficients();
    const QVector<double> copy = parallel->lineCoefficients();
    COMPARE_TOL(line.value(0), 0.0, 0.0, 1e-6);
    COMPARE_TOL(line.value(1), 0.375, 0.0, 1e-6);
    COMPARE_TOL(copy.value(0), 0.0, 0.0, 1e-6);
    COMPARE_TOL(copy.value(1), 0.875, 0.0, 1e-6);
    COMPARE_TOL(v->lineCoefficients().value(1), 2.375, 0.0, 1e-6);
    auto *drawn = static_cast<ClickDistaceMeasurement *>(parallel)->line;
    COMPARE_TOL(drawn->point1->coords().y(), 0.875, 0.0, 1e-6);
    COMPARE_TOL(drawn->point2->coords().y(), 0.875, 0.0, 1e-6);
    // The crossings of V: with the line and with its parallel, where both are.
    QList<QPointF> crossings;
    for (const ReperPoint *p : v->reperPointList())
        crossings.append(p->position());
    QCOMPARE(crossings.size(), 2);
    QVERIFY2(near(crossings.at(0), {2.375, 0.375}, 1e-6), qPrintable(pointText(crossings.at(0))));
    QVERIFY2(near(crossings.at(1), {2.375, 0.875}, 1e-6), qPrintable(pointText(crossings.at(1))));
    f.plot->replot();
    QCOMPARE(v->reperPointList().at(1)->marker()->position->coords(), crossings.at(1));

    COMPARE_TOL(before->value(), 0.5, 0.0, 1e-6);
    Measurement *after = f.distance(VERTICAL_DISTANCE, crossings.at(1), {4.875, 0.375}, {3, 2});
    QVERIFY(after && after->isFinished());
    QCOMPARE(after->valueText(), before->valueText());
}

// A horizontal line across a circle has two crossings. When the circle moves off the line, the
// points stay (what is built on them has nothing to read) but have no place, no marker and no
// reach; when it moves back, they are where the two cross again.
void tst_MeasurementDependencies::crossingThatNoLongerExistsIsHidden()
{
    ManagerFixture f;
    MeasurementDouble *circle = f.start(CIRCUMF_AG);
    circle->setCircle(5, 4, 1);
    circle->complete();
    MeasurementDouble *line = f.start(CLICK_HORIZONTAL_LINE);
    line->coefficients = {0.0, 4.0};
    line->complete();
    const QList<ReperPoint *> points = line->reperPointList();
    QCOMPARE(points.size(), 2);
    QCOMPARE(points.at(0)->position(), QPointF(4, 4));

    circle->setCircle(5, 7, 1);
    f.manager->recalculate();
    QCOMPARE(line->reperPointList(), points);
    for (const ReperPoint *p : points) {
        QVERIFY(std::isnan(p->position().x()) && std::isnan(p->position().y()));
        QVERIFY(!p->isMarkerVisible());
    }

    circle->setCircle(5, 4.5, 1);
    f.manager->recalculate();
    QCOMPARE(line->reperPointList(), points);
    const double h = std::sqrt(0.75);
    QVERIFY(near(points.at(0)->position(), {5 - h, 4}, 1e-12));
    QVERIFY(near(points.at(1)->position(), {5 + h, 4}, 1e-12));
    QVERIFY(points.at(0)->isMarkerVisible() && points.at(1)->isMarkerVisible());
}

GUI_TEST_MAIN(tst_MeasurementDependencies)
#include "tst_MeasurementDependencies.moc"
