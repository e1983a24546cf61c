// The values, drawings and special cases of the distance, radius and circle, extreme point,
// text and angle kinds, computed on synthetic contours with known answers.
#include "KindFixture.h"
#include "core/Constants.h"
#include "measurements/KindGeometry.h"
#include "measurements/ui/AngleMeasurement.h"
#include "measurements/ui/CurvatureMeasurement.h"
#include "measurements/ui/DistanceMeasurement.h"
#include "measurements/ui/ExtremePointsAndText.h"
#include "plot/QCPItemArc.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ScriptedPrompts.h"

#include <QPainterPath>

#include <cmath>

using namespace kindcurves;
using testsupport::ScriptedPrompts;
using testsupport::TempSettings;

namespace {

// A kind with its picked points, ranges and cursor set directly.
template<class Kind>
struct Probe : Kind
{
    using Kind::Kind;
    // The cursor in plot coordinates of the display unit.
    void setCursor(const QPointF &p)
    {
        this->cursorPos = p / unitsPerMillimetreOf(Settings::instance()->view.axis_unit);
    }
    void setPoints(QCPCurve *curve, int first, int second)
    {
        this->firstPoint = CurvePointRef {first, curve};
        this->secondPoint = CurvePointRef {second, curve};
    }
    void select(QCPCurve *curve, int begin, int end)
    {
        if (this->selectionCount() > 0)
            this->nextSelection();
        this->addSelection(begin, end, curve);
    }
};

QPolygonF scaledPolygon(const QPolygonF &p, double factor)
{
    QPolygonF out;
    for (const QPointF &q : p)
        out.append(q * factor);
    return out;
}

// y = a + b·x for x = 0, 0.1, ... 10.
QPolygonF sloped(double a, double b)
{
    QPolygonF points;
    for (int i = 0; i <= 100; ++i)
        points.append(QPointF(i * 0.1, a + b * i * 0.1));
    return points;
}

double pixelDistanceToSegment(const QPointF &p, const QPointF &a, const QPointF &b)
{
    const QPointF ab = b - a;
    const double t
        = std::clamp(QPointF::dotProduct(p - a, ab) / QPointF::dotProduct(ab, ab), 0.0, 1.0);
    const QPointF d = a + ab * t - p;
    return std::hypot(d.x(), d.y());
}

} // namespace

class tst_MeasurementKindValues : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void pickedDistances_data();
    void pickedDistances();
    void rangeDistances_data();
    void rangeDistances();
    void radii_data();
    void radii();
    void circleOfGivenRadiusSettlesInAGroove();
    void circleOfGivenRadiusTakesOneSideInEveryUnit();
    void circleOfGivenRadiusFollowsTheUnit();
    void circleRadiusMustBePositive_data();
    void circleRadiusMustBePositive();
    void extremePoints_data();
    void extremePoints();
    void extremePointWaitsForARange();
    void textIsPlacedWhenTyped();
    void angleArcMeetsTheLines_data();
    void angleArcMeetsTheLines();
    void parallelLinesCannotBeFinished();
    void anglesWithoutSelectionAreUnknown_data();
    void anglesWithoutSelectionAreUnknown();
};

void tst_MeasurementKindValues::cleanup()
{
    QCOMPARE(Measurement::liveCount(), 0);
}

void tst_MeasurementKindValues::pickedDistances_data()
{
    // Points of the step trace: index 20 is (2, 2), 70 is (7, 5), 25 is (2.5, 2).
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<QPointF>("cursor");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<QPointF>("labelAt");
    QTest::newRow("vertical, cursor right") << int(VERTICAL_DISTANCE) << 20 << 70 << QPointF(8, 3)
                                            << "3.0000мм" << 68 << QPointF(8, 3.5);
    QTest::newRow("vertical, cursor left") << int(VERTICAL_DISTANCE) << 70 << 20 << QPointF(1, 3)
                                           << "3.0000мм" << 36 << QPointF(1, 3.5);
    QTest::newRow("horizontal, cursor above")
        << int(HORISONTAL_DISTANCE) << 20 << 70 << QPointF(3, 7) << "5.0000мм" << 68
        << QPointF(4.5, 7);
    QTest::newRow("horizontal, cursor below")
        << int(HORISONTAL_DISTANCE) << 70 << 20 << QPointF(3, 1) << "5.0000мм" << 36
        << QPointF(4.5, 1);
    QTest::newRow("horizontal ignores y") << int(HORISONTAL_DISTANCE) << 20 << 25 << QPointF(3, 1)
                                          << "0.5000мм" << 36 << QPointF(2.25, 1);
    QTest::newRow("vertical ignores x")
        << int(VERTICAL_DISTANCE) << 20 << 25 << QPointF(3, 1) << "0.0000мм" << 68 << QPointF(3, 2);
    QTest::newRow("direct, cursor above")
        << int(DIRECT_DISTANCE) << 20 << 70 << QPointF(3, 6) << "5.8310мм" << 68 << QPointF();
    QTest::newRow("direct, cursor below")
        << int(DIRECT_DISTANCE) << 20 << 70 << QPointF(6, 1) << "5.8310мм" << 36 << QPointF();
    QTest::newRow("direct, cursor on the line")
        << int(DIRECT_DISTANCE) << 20 << 70 << QPointF(4.5, 3.5) << "5.8310мм" << 68
        << QPointF(4.5, 3.5);
    QTest::newRow("direct, one point twice")
        << int(DIRECT_DISTANCE) << 20 << 20 << QPointF(6, 1) << "0.0000мм" << 68 << QPointF(2, 2);
}

void tst_MeasurementKindValues::pickedDistances()
{
    QFETCH(int, kind);
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(QPointF, cursor);
    QFETCH(QString, value);
    QFETCH(int, alignment);
    QFETCH(QPointF, labelAt);
    KindFixture f({step()});
    QCPCurve *trace = f.traces.at(0);
    std::unique_ptr<DistanceMeasurement> m;
    if (kind == VERTICAL_DISTANCE) {
        auto *p = new Probe<VerticalDistanceMeasurment>(f.plot.get());
        p->setPoints(trace, first, second);
        p->setCursor(cursor);
        m.reset(p);
    } else if (kind == HORISONTAL_DISTANCE) {
        auto *p = new Probe<HorisontalDistanceMeasurment>(f.plot.get());
        p->setPoints(trace, first, second);
        p->setCursor(cursor);
        m.reset(p);
    } else {
        auto *p = new Probe<DirectDistanceMeasurement>(f.plot.get());
        p->setPoints(trace, first, second);
        p->setCursor(cursor);
        m.reset(p);
    }
    QSignalSpy status(m.get(), &Measurement::statusText);
    m->calculate();
    QCOMPARE(m->valueText(), value);
    QCOMPARE(m->labelAlignment(), alignment);
    QCOMPARE(m->valueLabel()->text(), value);
    QCOMPARE(status.last().at(0).toString(), m->name() + ": " + value);
    if (!labelAt.isNull()) {
        COMPARE_TOL(m->valueLabel()->position->coords().x(), labelAt.x(), 0.0, 1e-6);
        COMPARE_TOL(m->valueLabel()->position->coords().y(), labelAt.y(), 0.0, 1e-6);
    }
    // The reper points mark the picked points, the left one first.
    QCOMPARE(m->reperPointList().at(0)->position(), curvePointAt(m->leftPoint()));
    QCOMPARE(m->reperPointList().at(1)->position(), curvePointAt(m->rightPoint()));
    QVERIFY(m->dimensionLineItem()->visible());
    for (QCPItemLine *line :
         {m->firstExtensionLine(), m->secondExtensionLine(), m->dimensionLineItem()}) {
        QVERIFY(std::isfinite(line->start->coords().x()) && std::isfinite(line->end->coords().y()));
    }
}

void tst_MeasurementKindValues::rangeDistances_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QPolygonF>("trace");
    QTest::addColumn<QPoint>("range0");
    QTest::addColumn<QPoint>("range1"); // (0, 0): none
    QTest::addColumn<double>("cursorX");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QPointF>("reper0");
    // The step: highest 5 first reached at index 50, lowest 2 at the range's start.
    QTest::newRow("largest height") << int(MAX_MIN_DISTANCE) << step() << QPoint(30, 80) << QPoint()
                                    << 9.0 << "3.0000мм" << QPointF(5, 5);
    QPolygonF twice = step();
    twice[60].setY(5.5);
    twice[75].setY(5.5);
    QTest::newRow("largest height, maximum twice")
        << int(MAX_MIN_DISTANCE) << twice << QPoint(30, 80) << QPoint() << 9.0 << "3.5000мм"
        << QPointF(6, 5.5);
    // The line y = 1 + 0.2x: read at the middle of each range, its first and last point; the
    // second range ends at the trace's last point.
    QTest::newRow("mean height on a slope")
        << int(MEAN_HEIGHT) << sloped(1, 0.2) << QPoint(0, 21) << QPoint(40, 101) << 9.0
        << "1.2000мм" << QPointF(1, 1.2);
    QTest::newRow("mean height, ranges in either order")
        << int(MEAN_HEIGHT) << sloped(1, 0.2) << QPoint(40, 101) << QPoint(0, 21) << 2.0
        << "1.2000мм" << QPointF(7, 2.4);
    // Read at the cursor: the lines y = 2 + 0.2x and (the second range of the same trace
    // bent up) differ by the cursor's x.
    QPolygonF bent = sloped(2, 0.2);
    for (int i = 50; i <= 100; ++i)
        bent[i].setY(1 + 0.4 * i * 0.1);
    QTest::newRow("mean diameter at x = 8")
        << int(AVG_DIAMETERT) << bent << QPoint(0, 40) << QPoint(60, 101) << 8.0 << "0.6000мм"
        << QPointF(0, 2);
    QTest::newRow("mean diameter at x = 3")
        << int(AVG_DIAMETERT) << bent << QPoint(0, 40) << QPoint(60, 101) << 3.0 << "0.4000мм"
        << QPointF(0, 2);
    QTest::newRow("mean height, one range") << int(MEAN_HEIGHT) << sloped(1, 0.2) << QPoint(0, 21)
                                            << QPoint() << 9.0 << "неизвестно" << QPointF(1, 1.2);
}

void tst_MeasurementKindValues::rangeDistances()
{
    QFETCH(int, kind);
    QFETCH(QPolygonF, trace);
    QFETCH(QPoint, range0);
    QFETCH(QPoint, range1);
    QFETCH(double, cursorX);
    QFETCH(QString, value);
    QFETCH(QPointF, reper0);
    KindFixture f({trace});
    QCPCurve *curve = f.traces.at(0);
    std::unique_ptr<DistanceMeasurement> m;
    const auto prepare = [&](auto *p) {
        p->select(curve, range0.x(), range0.y());
        if (!range1.isNull())
            p->select(curve, range1.x(), range1.y());
        p->setCursor(QPointF(cursorX, 4));
        m.reset(p);
    };
    if (kind == MAX_MIN_DISTANCE)
        prepare(new Probe<MaxMinDistanceMeasurement>(f.plot.get()));
    else if (kind == MEAN_HEIGHT)
        prepare(new Probe<MeanHeightMeasurement>(f.plot.get()));
    else
        prepare(new Probe<AvgDiametertMeasurement>(f.plot.get()));
    m->calculate();
    QCOMPARE(m->valueText(), value);
    const QPointF r = m->reperPointList().at(0)->position();
    COMPARE_TOL(r.x(), reper0.x(), 0.0, 1e-9);
    COMPARE_TOL(r.y(), reper0.y(), 0.0, 1e-9);
    // The region kinds keep the label's alignment for the report picture.
    if (m->hasValue()) {
        QCOMPARE(m->labelAlignment(), int(m->valueLabel()->positionAlignment()));
        m->setLabelText(QStringLiteral("H_1"));
        m->updateLabel();
        QCOMPARE(m->valueLabel()->text(), QStringLiteral("H_1"));
        QCOMPARE(int(m->valueLabel()->positionAlignment()), m->labelAlignment());
    }
}

void tst_MeasurementKindValues::radii_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QVector<QPoint>>("ranges");
    QTest::addColumn<QString>("value");
    QTest::newRow("radius") << int(REGULAR_RADIUS) << 0 << QVector<QPoint> {{20, 60}} << "3.0000мм";
    QTest::newRow("radius in micrometres")
        << int(REGULAR_RADIUS) << 1 << QVector<QPoint> {{20, 60}} << "3000.0000мкм";
    QTest::newRow("two arcs") << int(ARCS_RADIUS) << 0 << QVector<QPoint> {{0, 20}, {150, 181}}
                              << "3.0000мм";
    QTest::newRow("two arcs, one given")
        << int(ARCS_RADIUS) << 0 << QVector<QPoint> {{0, 20}} << "неизвестно";
    QTest::newRow("circle") << int(CIRCUMF_AG) << 0 << QVector<QPoint> {{100, 170}} << "3.0000мм";
    QTest::newRow("circle in nanometres")
        << int(CIRCUMF_AG) << 2 << QVector<QPoint> {{100, 170}} << "3000000.0000нм";
    QTest::newRow("radius, no range")
        << int(REGULAR_RADIUS) << 0 << QVector<QPoint> {} << "неизвестно";
}

void tst_MeasurementKindValues::radii()
{
    QFETCH(int, kind);
    QFETCH(int, unit);
    QFETCH(QVector<QPoint>, ranges);
    QFETCH(QString, value);
    TempSettings settings([unit](Settings &s) { s.view.axis_unit = unit; });
    const double scale = unitsPerMillimetreOf(unit);
    KindFixture f({scaledPolygon(arc(5, 2, 3, 0, 180), scale)}, 10 * scale, 10 * scale);
    QCPCurve *curve = f.traces.at(0);
    std::unique_ptr<CurvatureMeasurement> m;
    const auto prepare = [&](auto *p) {
        for (const QPoint &range : ranges)
            p->select(curve, range.x(), range.y());
        p->setCursor(QPointF(9, 9) * scale);
        m.reset(p);
    };
    if (kind == REGULAR_RADIUS)
        prepare(new Probe<RegularRadiusMeasurement>(f.plot.get()));
    else if (kind == ARCS_RADIUS)
        prepare(new Probe<ArcsRadiusMeasurement>(f.plot.get()));
    else
        prepare(new Probe<CircumfAGMeasurement>(f.plot.get()));
    m->calculate();
    QCOMPARE(m->valueText(), value);
    if (!m->hasValue()) {
        QVERIFY(!m->circleItem()->visible());
        QCOMPARE(m->value(), 0.0);
        return;
    }
    // The centre is the reper point; the radius kinds point their radius line at the cursor
    // and stand the label there, under the report designation's empty first line.
    const QPointF centre = m->reperPointList().at(0)->position() / scale;
    COMPARE_TOL(centre.x(), 5.0, 0.0, 1e-9);
    COMPARE_TOL(centre.y(), 2.0, 0.0, 1e-9);
    QVERIFY(m->circleItem()->visible());
    QCOMPARE(m->radiusLineItem()->visible(), m->isPrimary());
    QCOMPARE(m->valueLabel()->visible(), m->isPrimary());
    if (m->isPrimary()) {
        QCOMPARE(m->valueLabel()->text(), "\n" + value);
        const QPointF tip = m->radiusLineItem()->end->coords() / scale;
        COMPARE_TOL(tip.x(), 5 + 3 * std::cos(std::atan2(7.0, 4.0)), 0.0, 1e-6);
        COMPARE_TOL(tip.y(), 2 + 3 * std::sin(std::atan2(7.0, 4.0)), 0.0, 1e-6);
    } else {
        QPointF c;
        double radius = 0;
        QVERIFY(m->constructionCircle(&c, &radius));
        COMPARE_TOL(radius / scale, 3.0, 1e-9, 0.0);
    }
}

void tst_MeasurementKindValues::circleOfGivenRadiusSettlesInAGroove()
{
    // A 90° groove with its bottom at (5, 2): a circle of radius 1 laid into it touches both
    // flanks, centre √2 above the bottom.
    QPolygonF groove;
    for (int i = 0; i <= 100; ++i)
        groove.append(QPointF(i * 0.1, 2 + std::abs(i * 0.1 - 5)));
    KindFixture f({groove});
    Probe<CircumfAGSpecified> m(f.plot.get(), 1.0);
    m.select(f.traces.at(0), 30, 71);
    m.calculate();
    QCOMPARE(m.valueText(), QStringLiteral("1.0000мм"));
    QCOMPARE(m.value(), 1.0);
    const QPointF c = m.circleCentre();
    double nearest = 1e9;
    for (const QPointF &p : groove.mid(30, 41))
        nearest = std::min(nearest, std::hypot(p.x() - c.x(), p.y() - c.y()));
    // Clear of every point, and no more than the last step away from touching.
    QVERIFY2(nearest > 1.0 && nearest < 1.0 + 1e-4, qPrintable(QString::number(nearest, 'g', 12)));
    QCOMPARE(m.reperPointList().at(0)->position(), c);
}

void tst_MeasurementKindValues::circleOfGivenRadiusTakesOneSideInEveryUnit()
{
    // Two equal grooves side by side, mirror images about x = 5: the circle goes into the same
    // one whatever the display unit.
    QPolygonF w;
    for (int i = 0; i <= 100; ++i) {
        const double x = i * 0.1;
        w.append(QPointF(x, 2 + std::abs(std::abs(x - 5) - 2.5)));
    }
    QVector<QPointF> centres;
    for (int unit : {0, 1, 2}) {
        TempSettings settings([unit](Settings &s) { s.view.axis_unit = unit; });
        const double scale = unitsPerMillimetreOf(unit);
        KindFixture f({scaledPolygon(w, scale)}, 10 * scale, 10 * scale);
        Probe<CircumfAGSpecified> m(f.plot.get(), 0.8 * scale);
        m.select(f.traces.at(0), 0, 101);
        m.calculate();
        QVERIFY(m.hasValue());
        centres.append(m.circleCentre() / scale);
    }
    for (const QPointF &c : qAsConst(centres)) {
        COMPARE_TOL(c.x(), centres.first().x(), 0.0, 1e-6);
        COMPARE_TOL(c.y(), centres.first().y(), 0.0, 1e-6);
    }
}

void tst_MeasurementKindValues::circleOfGivenRadiusFollowsTheUnit()
{
    TempSettings settings;
    KindFixture f({arc(5, 2, 3, 0, 180)});
    Probe<CircumfAGSpecified> m(f.plot.get(), 2.5);
    QCOMPARE(m.unit(), QStringLiteral("мм"));
    settings.change([](Settings &s) { s.view.axis_unit = 1; });
    m.updateUnits();
    QCOMPARE(m.givenRadius(), 2500.0);
    QCOMPARE(m.unit(), QStringLiteral("мкм"));
    // Converted once: the next calculation keeps it.
    m.select(f.traces.at(0), 10, 100);
    m.calculate();
    QCOMPARE(m.givenRadius(), 2500.0);
    settings.change([](Settings &s) { s.view.axis_unit = 2; });
    m.calculate();
    QCOMPARE(m.givenRadius(), 2500000.0);
    QCOMPARE(m.unit(), QStringLiteral("нм"));
}

void tst_MeasurementKindValues::circleRadiusMustBePositive_data()
{
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<bool>("created");
    QTest::newRow("0") << "0" << false;
    QTest::newRow("negative") << "-2" << false;
    QTest::newRow("not a number") << "два" << false;
    QTest::newRow("1.5") << "1.5" << true;
}

void tst_MeasurementKindValues::circleRadiusMustBePositive()
{
    QFETCH(QString, parameter);
    QFETCH(bool, created);
    KindFixture f({arc(5, 2, 3, 0, 180)});
    f.manager->setMeasurementType(CIRCUMF_AG_SPECIFIED, true, false, parameter);
    f.run("m 2 2; c 2 2");
    QCOMPARE(f.current() != nullptr, created);
    if (created) {
        QCOMPARE(static_cast<CircumfAGSpecified *>(f.current())->givenRadius(), 1.5);
    } else {
        QCOMPARE(f.statuses, QStringList {"Радиус должен быть больше нуля"});
        QVERIFY(f.manager->measurementList().empty());
    }
}

void tst_MeasurementKindValues::extremePoints_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QPointF>("expected");
    QTest::newRow("highest, first of two")
        << int(FIND_MAX_POINT) << QVector<double> {1, 4, 2, 4} << QPointF(1, 4);
    QTest::newRow("lowest, first of two")
        << int(FIND_MIN_POINT) << QVector<double> {3, 0, 2, 0} << QPointF(1, 0);
    QTest::newRow("highest of one point")
        << int(FIND_MAX_POINT) << QVector<double> {2} << QPointF(0, 2);
    QTest::newRow("lowest of one point")
        << int(FIND_MIN_POINT) << QVector<double> {2} << QPointF(0, 2);
}

void tst_MeasurementKindValues::extremePoints()
{
    QFETCH(int, kind);
    QFETCH(QVector<double>, values);
    QFETCH(QPointF, expected);
    QPolygonF trace;
    for (int i = 0; i < values.size(); ++i)
        trace.append(QPointF(i, values.at(i)));
    KindFixture f({trace});
    std::unique_ptr<Measurement> m;
    if (kind == FIND_MAX_POINT) {
        auto *p = new Probe<FindMaxPoint>(f.plot.get());
        p->select(f.traces.at(0), 0, values.size());
        m.reset(p);
    } else {
        auto *p = new Probe<FindMinPoint>(f.plot.get());
        p->select(f.traces.at(0), 0, values.size());
        m.reset(p);
    }
    m->calculate();
    QCOMPARE(m->reperPointList().at(0)->position(), expected);
    QVERIFY(m->reperPointList().at(0)->isMarkerVisible());
    QCOMPARE(m->valueText(), QString());
    QCOMPARE(m->value(), 0.0);
}

void tst_MeasurementKindValues::extremePointWaitsForARange()
{
    KindFixture f({step()});
    f.manager->setMeasurementType(FIND_MAX_POINT, true, false, QString());
    f.run("m 3 2; c 3 2");
    Measurement *m = f.current();
    QVERIFY(m && !m->isFinished());
    QCOMPARE(f.statuses.last(), QStringLiteral("Выделите участок"));
    QVERIFY(!m->reperPointList().at(0)->isMarkerVisible());
    // The next drag gives the range; its release finishes.
    f.run("d 3 2 5.5 5 8 5");
    QCOMPARE(f.current(), m);
    QVERIFY(m->isFinished());
    QCOMPARE(m->reperPointList().at(0)->position(), QPointF(5, 5));
}

void tst_MeasurementKindValues::textIsPlacedWhenTyped()
{
    TempSettings settings;
    ScriptedPrompts prompts;
    prompts.answers << QVariant() << QString() << QVariant() << QStringLiteral("Базовая плоскость");
    KindFixture f({step()});
    f.manager->setMeasurementType(AG_TEXT_PLACEMENT, true, false, QString());
    QCOMPARE(f.plot->cursor().shape(), Qt::IBeamCursor);
    f.run("c 1 1");
    auto *m = static_cast<AgTextPlacement *>(f.current());
    QVERIFY(m);
    QCPItemText *text = m->textItem();
    // Cancelled, empty, cancelled: still waiting, the text not shown.
    f.run("c 2 2; c 3 3");
    QVERIFY(!m->isFinished());
    QVERIFY(!text->visible());
    f.run("c 4 6");
    QVERIFY(m->isFinished());
    QCOMPARE(prompts.asked.size(), 4);
    QCOMPARE(prompts.asked.last().title, QStringLiteral("Введите текст"));
    QCOMPARE(prompts.asked.last().text, QStringLiteral("Текст:"));
    QVERIFY(text->visible());
    QCOMPARE(text->text(), QStringLiteral("Базовая плоскость"));
    QCOMPARE(text->color(), QColor(Qt::black));
    const QPointF at = text->position->coords();
    const double pixel = 10.0 / f.plot->axisRect()->height();
    COMPARE_TOL(at.x(), 4.0, 0.0, pixel);
    COMPARE_TOL(at.y(), 6.0, 0.0, pixel);
    QCOMPARE(f.plot->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(f.manager->measurementList().size(), size_t(1));
    // The position follows a change of the display unit; the large label is the report's.
    settings.change([](Settings &s) { s.view.axis_unit = 1; });
    f.manager->transformGeometry(PlotTransform::scaling(1000), false);
    COMPARE_TOL(text->position->coords().x(), at.x() * 1000, 1e-12, 0.0);
    COMPARE_TOL(text->position->coords().y(), at.y() * 1000, 1e-12, 0.0);
    m->setLargeLabel(true);
    QCOMPARE(text->font().pointSize(), 20);
    m->setLargeLabel(false);
    QCOMPARE(text->font(), QFont(QStringLiteral("MS Shell Dlg 2"), 8));
}

void tst_MeasurementKindValues::angleArcMeetsTheLines_data()
{
    QTest::addColumn<QSizeF>("ranges"); // x and y axis ranges from 0
    QTest::addColumn<bool>("reversedX");
    QTest::newRow("equal scales") << QSizeF(10, 7.5) << false;
    QTest::newRow("y stretched") << QSizeF(10, 2) << false;
    QTest::newRow("x stretched") << QSizeF(30, 10) << false;
    QTest::newRow("x reversed") << QSizeF(10, 4) << true;
}

void tst_MeasurementKindValues::angleArcMeetsTheLines()
{
    QFETCH(QSizeF, ranges);
    QFETCH(bool, reversedX);
    // Lines at 0° and 60° in plot coordinates meeting at (5, 1).
    const QPointF v(5, 1);
    QPolygonF corner = segment(QPointF(1, 1), v, 40);
    corner += segment(v, polar(v, 2, 60), 40).mid(1);
    KindFixture f({corner}, ranges.width(), ranges.height());
    f.plot->xAxis->setRangeReversed(reversedX);
    f.plot->replot();
    Probe<RegularAngleMeasurement> m(f.plot.get());
    m.select(f.traces.at(0), 0, 30);
    m.select(f.traces.at(0), 45, 80);
    m.setCursor(polar(v, 1.5, 20));
    m.calculate();
    QVERIFY(m.hasValue());
    QCOMPARE(m.valueText(), QStringLiteral("60° 0' 0''"));
    f.plot->replot();

    // Where the painter puts the arc's ends, against the two lines on the screen.
    QCPItemArc *arc = m.arcItem();
    const QRectF rect
        = QRectF(arc->topLeft->pixelPosition(), arc->bottomRight->pixelPosition()).normalized();
    const auto pixelEnd = [&](double angle16) {
        QPainterPath path;
        path.arcMoveTo(rect, angle16 / 16.0);
        return path.currentPosition();
    };
    const QPointF start = pixelEnd(arc->startAngle);
    const QPointF end = pixelEnd(arc->startAngle + arc->spanAngle);
    const double toFirst = pixelDistanceToSegment(start, m.firstLineItem()->start->pixelPosition(),
                                                  m.firstLineItem()->end->pixelPosition());
    const double toSecond = pixelDistanceToSegment(end, m.secondLineItem()->start->pixelPosition(),
                                                   m.secondLineItem()->end->pixelPosition());
    QVERIFY2(toFirst < 1.0, qPrintable(QString::number(toFirst)));
    QVERIFY2(toSecond < 1.0, qPrintable(QString::number(toSecond)));
    // It runs the short way through the cursor's side.
    QVERIFY(std::abs(arc->spanAngle) <= 180 * 16);
}

void tst_MeasurementKindValues::parallelLinesCannotBeFinished()
{
    // Two stretches of the step's levels: parallel.
    KindFixture f({step()});
    f.manager->setMeasurementType(REGULAR_ANGLE, true, false, QString());
    f.run("d 1 2 2.5 2 4 2; d 6 5 7.5 5 9 5");
    Measurement *m = f.current();
    QVERIFY(m);
    QCOMPARE(f.statuses.last(), QStringLiteral("Прямые параллельны"));
    QCOMPARE(m->valueText(), kUnknownText);
    f.run("m 8 8; c 8 8; m 9 9; c 9 9");
    QVERIFY(!m->isFinished());
    QCOMPARE(f.statuses.last(), QStringLiteral("Прямые параллельны"));
    // The second range dragged again, now across the step's riser: the value is placed and
    // the measurement finishes.
    f.run("d 4.7 2 4.8 2 4.9 2 5 5 5.1 5");
    QVERIFY(!m->isFinished());
    QCOMPARE(f.statuses.last(), QStringLiteral("Расположите значение"));
    f.run("m 6 8; c 6 8");
    QVERIFY(m->isFinished());
    QVERIFY(m->valueText() != kUnknownText);
}

void tst_MeasurementKindValues::anglesWithoutSelectionAreUnknown_data()
{
    QTest::addColumn<bool>("degrees");
    QTest::newRow("degrees, minutes, seconds") << false;
    QTest::newRow("decimal degrees") << true;
}

void tst_MeasurementKindValues::anglesWithoutSelectionAreUnknown()
{
    QFETCH(bool, degrees);
    TempSettings settings([degrees](Settings &s) { s.view.angles_in_deg = degrees; });
    KindFixture f({step()});
    RegularAngleMeasurement regular(f.plot.get());
    HorizontalAngleMeasurement horizontal(f.plot.get());
    VerticalAngleMeasurement vertical(f.plot.get());
    for (AngleMeasurement *m :
         {static_cast<AngleMeasurement *>(&regular), static_cast<AngleMeasurement *>(&horizontal),
          static_cast<AngleMeasurement *>(&vertical)}) {
        m->calculate();
        QCOMPARE(m->valueText(), kUnknownText);
        QCOMPARE(m->value(), 0.0);
        QCOMPARE(m->nominalValue(), 0.0);
        QVERIFY(!m->arcItem()->visible());
    }
}

GUI_TEST_MAIN(tst_MeasurementKindValues)
#include "tst_MeasurementKindValues.moc"
