// The deviation measurements: from a line, from a circle (six kinds) and from the imported
// drawing; their values, their label and band geometry, their refusals, and one mouse-driven
// journey per kind through the measurements manager.
#include "KindFixture.h"
#include "MeasurementDouble.h"
#include "measurements/DxfDrawing.h"
#include "measurements/ui/CircleDeviationMeasurements.h"
#include "measurements/ui/ErrorGraph.h"
#include "measurements/ui/ErrorMeasurement.h"
#include "plot/AdaptiveCurve.h"
#include "support/LogReader.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"
#include "support/gui/WindowGrab.h"

#include <QElapsedTimer>
#include <QSignalSpy>

#include <cmath>

using testsupport::LogReader;
using testsupport::TempSettings;

namespace {

QVector<QPointF> arcPoints(double cx, double cy, double r, double fromDeg, double toDeg, int n)
{
    QVector<QPointF> points;
    for (int i = 0; i < n; ++i) {
        const double a = (fromDeg + (toDeg - fromDeg) * i / (n - 1)) * M_PI / 180.0;
        points.append(QPointF(cx + r * std::cos(a), cy + r * std::sin(a)));
    }
    return points;
}

QVector<QPointF> turned(const QVector<QPointF> &points, double degrees, const QPointF &shift)
{
    const double a = degrees * M_PI / 180.0;
    QVector<QPointF> out;
    for (const QPointF &p : points)
        out.append(QPointF(p.x() * std::cos(a) - p.y() * std::sin(a),
                           p.x() * std::sin(a) + p.y() * std::cos(a))
                   + shift);
    return out;
}

QVector<QPointF> scaledPoints(const QVector<QPointF> &points, double factor)
{
    QVector<QPointF> out;
    for (const QPointF &p : points)
        out.append(p * factor);
    return out;
}

// Selects [begin, end) of the curve as the segment selection reports a drag.
void select(Measurement &m, QCPCurve *curve, int begin, int end)
{
    m.onSegmentSelected(QCPDataRange(begin, end), curve);
}

// The deviations the graph shows, read back from the band: their smallest at the baseline,
// their largest at the lowest point.
QVector<double> graphValues(ErrorMeasurement &m)
{
    QVector<double> values;
    for (auto it = m.deviationGraph()->curve()->data()->constBegin();
         it != m.deviationGraph()->curve()->data()->constEnd(); ++it)
        values.append(it->value);
    return values;
}

bool isShown(ErrorMeasurement &m)
{
    return m.valueLabel()->visible() && m.deviationGraph()->curve()->visible();
}

QString unitOf(int unit)
{
    return unit == 1 ? QStringLiteral("мкм") : unit == 2 ? QStringLiteral("нм") : "мм";
}

} // namespace

class tst_DeviationMeasurements : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void lineDeviation_data();
    void lineDeviation();
    void labelAndBand_data();
    void labelAndBand();
    void equalDeviationsFillTheMiddleOfTheBand();
    void deviationFromTheDrawing();
    void circleOnExactArcs_data();
    void circleOnExactArcs();
    void spanOfSeveralRanges();
    void filterRemovesASpike();
    void givenRadiusRestsOnTheArc_data();
    void givenRadiusRestsOnTheArc();
    void givenRadiusOnAMirrorSymmetricArcEnds();
    void givenRadiusFollowsTheUnit();
    void refusals_data();
    void refusals();
    void mouseProtocol();
    void journey_data();
    void journey();
    void scaleLabelsStayApartAndInside_data();
    void scaleLabelsStayApartAndInside();
};

void tst_DeviationMeasurements::cleanup()
{
    QCOMPARE(Measurement::liveCount(), 0);
}

void tst_DeviationMeasurements::lineDeviation_data()
{
    QTest::addColumn<double>("slope"); // degrees
    QTest::addColumn<int>("unit");
    QTest::addColumn<double>("step");
    // A straight stretch with a land raised in its middle by the step: its line runs parallel
    // to the stretch, so the peak-to-valley of the perpendicular deviations is the step at any
    // slope (vertical deviations would read it √2 times too large at 45°).
    for (const double slope : {0.0, 45.0, 90.0, -30.0}) {
        const QByteArray at = QByteArray::number(slope) + " deg";
        QTest::newRow("line, " + at) << slope << 0 << 0.0;
        QTest::newRow("line and step, " + at) << slope << 0 << 0.05;
    }
    QTest::newRow("line and step, 45 deg, um") << 45.0 << 1 << 50.0;
    QTest::newRow("line, 45 deg, nm") << 45.0 << 2 << 0.0;
}

void tst_DeviationMeasurements::lineDeviation()
{
    QFETCH(double, slope);
    QFETCH(int, unit);
    QFETCH(double, step);
    TempSettings settings([unit](Settings &s) { s.view.axis_unit = unit; });
    const double scale = unit == 1 ? 1e3 : unit == 2 ? 1e6 : 1.0;
    QVector<QPointF> profile;
    for (int i = 0; i <= 60; ++i)
        profile.append(QPointF(i * 0.1 * scale, i >= 20 && i <= 40 ? step : 0.0));
    ContourFixture f(10 * scale, 10 * scale);
    QCPCurve *curve = f.addTrace(turned(profile, slope, QPointF(2, 2) * scale));
    RMSEMeasurement m(f.plot.get());
    QCOMPARE(m.valueText(), QStringLiteral("неизвестно"));
    QCOMPARE(m.value(), 0.0);
    select(m, curve, 0, profile.size());
    m.calculate();
    COMPARE_TOL(m.value(), step, 1e-9, 1e-12 * scale);
    QCOMPARE(m.valueText(), QString::number(step, 'f', 6) + unitOf(unit));
    QCOMPARE(m.nominalValue(), 0.0);
    QCOMPARE(m.tolerance(), 5.0);
}

void tst_DeviationMeasurements::labelAndBand_data()
{
    QTest::addColumn<QVector<QPointF>>("points");
    QTest::addColumn<double>("cursorY");
    QTest::addColumn<double>("lowest");
    QTest::addColumn<double>("rotation");
    // A falling stretch whose last point is its lowest: the last point counts.
    QVector<QPointF> falling;
    for (int i = 0; i <= 20; ++i)
        falling.append(QPointF(1 + i * 0.2, 7 - i * 0.1 + (i % 2) * 0.02));
    QTest::newRow("cursor above the lowest point") << falling << 7.0 << 5.0 << 0.0;
    QTest::newRow("cursor below the lowest point") << falling << 1.5 << 5.0 << 0.0;
    // Traversed towards decreasing x: the label turns upside down along its baseline.
    QVector<QPointF> backwards;
    for (const QPointF &p : qAsConst(falling))
        backwards.append(QPointF(10 - p.x(), p.y()));
    QTest::newRow("towards decreasing x") << backwards << 7.0 << 5.0 << 180.0;
}

void tst_DeviationMeasurements::labelAndBand()
{
    QFETCH(QVector<QPointF>, points);
    QFETCH(double, cursorY);
    QFETCH(double, lowest);
    QFETCH(double, rotation);
    TempSettings settings;
    ContourFixture f;
    testsupport::PlotDriver driver(f.plot.get());
    QCPCurve *curve = f.addTrace(points);
    RMSEMeasurement m(f.plot.get());
    select(m, curve, 0, points.size());
    driver.move(5, cursorY);
    QVERIFY(m.hasValue());
    const double c = double(float(m.cursorPosition().y()));
    COMPARE_TOL(c, cursorY, 0.0, 0.05);
    COMPARE_TOL(m.lowestPoint(), lowest, 0.0, 1e-12);
    // The cursor's height above the lowest point is mirrored below it.
    const double baseline = c > lowest ? 2 * lowest - c : c;
    COMPARE_TOL(m.baselineY(), baseline, 0.0, 1e-9);
    QCOMPARE(m.labelBaselineStart(), QVector2D(float(points.first().x()), float(baseline)));
    QCOMPARE(m.labelBaselineEnd(), QVector2D(float(points.last().x()), float(baseline)));
    QCOMPARE(m.chordStart(), QVector2D(points.first()));
    QCOMPARE(m.chordEnd(), QVector2D(points.last()));
    QCOMPARE(m.valueLabel()->rotation(), rotation);
    COMPARE_TOL(m.valueLabel()->position->coords().x(),
                (points.first().x() + points.last().x()) / 2, 0.0, 1e-6);
    QCOMPARE(m.valueLabel()->positionAlignment(), Qt::AlignHCenter | Qt::AlignTop);
    // The band: the smallest deviation on the baseline, the largest at the lowest point, and
    // the scale's last mark no farther.
    const QVector<double> band = graphValues(m);
    QCOMPARE(band.size(), points.size());
    COMPARE_TOL(*std::min_element(band.cbegin(), band.cend()), baseline, 0.0, 1e-6);
    COMPARE_TOL(*std::max_element(band.cbegin(), band.cend()), lowest, 0.0, 1e-6);
    ErrorGraph *graph = m.deviationGraph();
    QCOMPARE(graph->tip0, m.labelBaselineStart());
    QCOMPARE(graph->base1, m.chordEnd());
    QVERIFY(!graph->ticks().isEmpty());
    for (const QCPItemLine *tick : graph->ticks())
        QVERIFY(tick->start->coords().y() <= lowest + 1e-6);
    // The label shows the designation of a report picture below an empty line.
    m.setLabelText(QStringLiteral("E_1"));
    driver.move(5, cursorY);
    QCOMPARE(m.valueLabel()->text(), QStringLiteral("\nE_1"));
    m.updateLabel();
    QCOMPARE(m.valueLabel()->text(), QStringLiteral("E_1"));
}

void tst_DeviationMeasurements::equalDeviationsFillTheMiddleOfTheBand()
{
    TempSettings settings;
    ContourFixture f;
    testsupport::PlotDriver driver(f.plot.get());
    QCPCurve *curve = f.addLine(1, 6, 0.5, 0, 11);
    RMSEMeasurement m(f.plot.get());
    select(m, curve, 0, 11);
    driver.move(5, 8);
    QVERIFY(m.hasValue());
    QCOMPARE(m.value(), 0.0);
    // The band runs from the baseline (about 4, the cursor mirrored below the stretch) to 6.
    COMPARE_TOL(m.baselineY(), 4.0, 0.0, 0.05);
    for (const double v : graphValues(m))
        COMPARE_TOL(v, (m.baselineY() + 6.0) / 2, 0.0, 1e-5);
}

void tst_DeviationMeasurements::deviationFromTheDrawing()
{
    TempSettings settings;
    ContourFixture f;
    QCPCurve *curve = f.addLine(1, 1.5, 0.5, 0, 11);
    DxfDrawing drawing;
    const DxfDrawing *current = nullptr;
    ErrorPlane m(f.plot.get(), [&current] { return current; });
    select(m, curve, 0, 11);
    // Without a drawing there is nothing to measure against.
    m.calculate();
    QCOMPARE(m.valueText(), QStringLiteral("неизвестно"));
    QVERIFY(!isShown(m));
    current = &drawing;
    m.calculate();
    QCOMPARE(m.valueText(), QStringLiteral("неизвестно"));
    // A line at y = 1 under points at y = 1.5 and a point of the drawing farther off.
    drawing.append(DxfEntity::line(QPointF(0, 1), QPointF(10, 1)));
    drawing.append(DxfEntity::circle(QPointF(5, 9), 0.5));
    m.calculate();
    QCOMPARE(m.valueText(), QStringLiteral("0.500000мм"));
    QVERIFY(isShown(m));
    // The drawing's measurement was removed: unknown again.
    current = nullptr;
    m.calculate();
    QCOMPARE(m.valueText(), QStringLiteral("неизвестно"));
    QVERIFY(!isShown(m));
}

void tst_DeviationMeasurements::circleOnExactArcs_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QVector<QPointF>>("arc");
    QTest::addColumn<int>("unit");
    const QVector<QPointF> hollow = arcPoints(5, 8, 5, 200, 340, 141);
    const QVector<QPointF> crest = arcPoints(5, 1, 5, 30, 150, 141);
    for (const int kind : {RDEM, RDEM_FILTER, RDEM_WITH_POLAR_GRAPH, RDEM_SPECIFIED}) {
        const QByteArray name = measurementKindInfo(kind).className;
        QTest::newRow(name + ", seen from above") << kind << hollow << 0;
        QTest::newRow(name + ", crest") << kind << crest << 0;
        QTest::newRow(name + ", um") << kind << scaledPoints(hollow, 1000) << 1;
    }
}

void tst_DeviationMeasurements::circleOnExactArcs()
{
    QFETCH(int, kind);
    QFETCH(QVector<QPointF>, arc);
    QFETCH(int, unit);
    TempSettings settings([unit](Settings &s) { s.view.axis_unit = unit; });
    const double scale = unit == 1 ? 1000.0 : 1.0;
    ContourFixture f(10 * scale, 10 * scale);
    QCPCurve *curve = f.addTrace(arc);
    MeasurementArgs args;
    args.plot = f.plot.get();
    args.radius = 5 * scale;
    std::unique_ptr<Measurement> made(createMeasurementOfKind(kind, args));
    auto *m = dynamic_cast<RadiusDisplacementErrorMeasurement *>(made.get());
    QVERIFY(m);
    QCOMPARE(m->type(), measurementKindInfo(kind).storedType);
    QCOMPARE(m->name(), QStringLiteral("Отклонение от окружности"));
    select(*m, curve, 0, arc.size());
    m->calculate();
    QVERIFY(m->hasValue());
    // A circle of given radius is laid in steps down to 10^-5 of the radius.
    COMPARE_TOL(m->value(), 0.0, 0.0, (kind == RDEM_SPECIFIED ? 1e-4 : 1e-9) * scale);
    COMPARE_TOL(m->circleRadius(), 5 * scale, 1e-9, 0.0);
    QVERIFY(m->referenceCircle()->visible());
    COMPARE_TOL(m->referenceCircle()->bottomRight->coords().x() - m->circleCentre().x(), 5 * scale,
                1e-9, 0.0);
}

void tst_DeviationMeasurements::spanOfSeveralRanges()
{
    // One circle through two ranges of an arc; the deviations run over the whole stretch, the
    // gap between the ranges included, in data order, each point once.
    TempSettings settings;
    ContourFixture f;
    QVector<QPointF> arc = arcPoints(5, 8, 5, 200, 340, 141);
    // The gap holds a bump that the fit does not see and the deviations do.
    arc[70] += QPointF(0, 0.01);
    QCPCurve *curve = f.addTrace(arc);
    for (const int kind : {RDEM_BY_TWO_SEGMENT, RDEM_FITER_BY_TWO_SEGMENT}) {
        MeasurementArgs args;
        args.plot = f.plot.get();
        args.count = 2;
        std::unique_ptr<Measurement> made(createMeasurementOfKind(kind, args));
        auto *m = static_cast<RadiusDisplacementErrorMeasurement *>(made.get());
        QSignalSpy status(m, &Measurement::statusText);
        select(*m, curve, 100, 141); // the later range first
        m->calculate();
        QCOMPARE(status.last().at(0).toString(), QStringLiteral("Продолжите выделения"));
        QVERIFY(!m->hasValue());
        m->nextSelection();
        select(*m, curve, 0, 50);
        m->calculate();
        QVERIFY(m->hasValue());
        COMPARE_TOL(m->circleRadius(), 5.0, 1e-9, 0.0);
        const QVector<double> band = graphValues(*m);
        QCOMPARE(band.size(), 141);
        auto keys = m->deviationGraph()->curve()->data();
        for (int i = 0; i < 141; ++i)
            QCOMPARE((keys->constBegin() + i)->key, arc.at(i).x());
        if (kind == RDEM_BY_TWO_SEGMENT)
            COMPARE_TOL(m->value(), 0.01, 1e-6, 0.0);
        else // the moving median over 0.25 mm hides a bump of one point
            COMPARE_TOL(m->value(), 0.0, 0.0, 1e-9);
        // The stretch runs from the first point of the earlier range to the last of the later.
        QCOMPARE(m->chordStart(), QVector2D(arc.first()));
        QCOMPARE(m->chordEnd(), QVector2D(arc.last()));
    }
}

void tst_DeviationMeasurements::filterRemovesASpike()
{
    TempSettings settings;
    ContourFixture f;
    QVector<QPointF> arc = arcPoints(5, 8, 5, 200, 340, 401);
    arc[200] += QPointF(0, -0.02); // 0.02 outward at the bottom of the arc
    QCPCurve *curve = f.addTrace(arc);
    RDEMeasurement plain(f.plot.get());
    RadiusDisplacementFilterErrorMeasurement filtered(f.plot.get());
    for (RadiusDisplacementErrorMeasurement *m :
         {static_cast<RadiusDisplacementErrorMeasurement *>(&plain),
          static_cast<RadiusDisplacementErrorMeasurement *>(&filtered)}) {
        select(*m, curve, 0, arc.size());
        m->calculate();
    }
    COMPARE_TOL(plain.value(), 0.02, 0.01, 0.0);
    COMPARE_TOL(filtered.value(), 0.0, 0.0, 2e-4);
}

void tst_DeviationMeasurements::givenRadiusRestsOnTheArc_data()
{
    QTest::addColumn<QVector<QPointF>>("arc");
    QTest::addColumn<double>("radius");
    QTest::addColumn<bool>("hollow");
    QTest::newRow("hollow, true radius") << arcPoints(5, 8, 3, 200, 340, 141) << 3.0 << true;
    QTest::newRow("hollow, larger radius") << arcPoints(5, 8, 3, 200, 340, 141) << 4.0 << true;
    QTest::newRow("crest, smaller radius") << arcPoints(5, 1, 3, 30, 150, 141) << 2.5 << false;
}

void tst_DeviationMeasurements::givenRadiusRestsOnTheArc()
{
    QFETCH(QVector<QPointF>, arc);
    QFETCH(double, radius);
    QFETCH(bool, hollow);
    TempSettings settings;
    ContourFixture f;
    QCPCurve *curve = f.addTrace(arc);
    RDEMSpecified m(f.plot.get(), radius);
    select(m, curve, 0, arc.size());
    m.calculate();
    QVERIFY(m.hasValue());
    QCOMPARE(m.circleRadius(), radius);
    // Resting against the arc from the centre's side: no point inside the circle, one touching.
    double nearest = 1e300;
    for (const QPointF &p : qAsConst(arc))
        nearest = std::min(nearest,
                           std::hypot(p.x() - m.circleCentre().x(), p.y() - m.circleCentre().y()));
    QVERIFY(nearest > radius);
    QVERIFY(nearest - radius < radius * 1e-4);
    QCOMPARE(m.circleCentre().y() > arc.at(70).y(), hollow);
    if (radius == 3.0)
        COMPARE_TOL(m.value(), 0.0, 0.0, 1e-3);
    else
        QVERIFY(m.value() > 0.01);
}

void tst_DeviationMeasurements::givenRadiusOnAMirrorSymmetricArcEnds()
{
    // A radius far larger than the arc's own gives two mirrored best centres. The search ends,
    // and on the same side whatever the unit.
    double values[2] = {0, 0};
    double centres[2] = {0, 0};
    for (const int unit : {0, 1}) {
        TempSettings settings([unit](Settings &s) { s.view.axis_unit = unit; });
        const double scale = unit == 1 ? 1000.0 : 1.0;
        ContourFixture f(10 * scale, 10 * scale);
        QCPCurve *curve = f.addTrace(scaledPoints(arcPoints(5, 6, 1, 200, 340, 201), scale));
        RDEMSpecified m(f.plot.get(), 50 * scale);
        select(m, curve, 0, 201);
        QElapsedTimer timer;
        timer.start();
        m.calculate();
        QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(m.hasValue());
        values[unit] = m.value() / scale;
        centres[unit] = m.circleCentre().x() / scale;
    }
    COMPARE_TOL(values[1], values[0], 1e-6, 1e-12);
    COMPARE_TOL(centres[1], centres[0], 1e-6, 0.0);
}

void tst_DeviationMeasurements::givenRadiusFollowsTheUnit()
{
    TempSettings settings;
    ContourFixture f(10, 10);
    const QVector<QPointF> arc = arcPoints(5, 8, 3, 200, 340, 141);
    QCPCurve *curve = f.addTrace(arc);
    RDEMSpecified m(f.plot.get(), 3.0);
    select(m, curve, 0, arc.size());
    m.calculate();
    const double inMm = m.value();
    // The window redraws its curves in micrometres; the radius follows at the next calculation.
    settings.change([](Settings &s) { s.view.axis_unit = 1; });
    const QVector<QPointF> um = scaledPoints(arc, 1000);
    QVector<double> keys;
    QVector<double> values;
    for (const QPointF &p : um) {
        keys.append(p.x());
        values.append(p.y());
    }
    curve->setData(keys, values);
    m.calculate();
    QCOMPARE(m.givenRadius(), 3000.0);
    COMPARE_TOL(m.value(), inMm * 1000, 1e-6, 1e-6);
    QVERIFY(m.valueText().endsWith(QStringLiteral("мкм")));
}

void tst_DeviationMeasurements::refusals_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("radius");
    QTest::addColumn<QString>("arc"); // which ranges are selected: "line", "two curves", ...
    QTest::addColumn<QString>("status");
    // Collinear points fit no circle: unknown, and nothing is drawn.
    QTest::newRow("circle on a straight stretch") << int(RDEM) << 1 << 0.0 << "line"
                                                  << "Отклонение от окружности: неизвестно";
    QTest::newRow("polar on a straight stretch") << int(RDEM_WITH_POLAR_GRAPH) << 1 << 0.0 << "line"
                                                 << "Отклонение от окружности: неизвестно";
    QTest::newRow("ranges on two curves") << int(RDEM_BY_TWO_SEGMENT) << 2 << 0.0 << "two curves"
                                          << "Выделите на той же трассе";
    QTest::newRow("two ranges of three")
        << int(RDEM_FITER_BY_TWO_SEGMENT) << 3 << 0.0 << "two ranges"
        << "Продолжите выделения";
    // A given radius far smaller than the gaps between the points slips between them: the
    // circle never rests on the stretch.
    QTest::newRow("given radius between the points")
        << int(RDEM_SPECIFIED) << 1 << 0.01 << "sparse"
        << "Окружность заданного радиуса не ложится на участок";
}

void tst_DeviationMeasurements::refusals()
{
    QFETCH(int, kind);
    QFETCH(int, count);
    QFETCH(double, radius);
    QFETCH(QString, arc);
    QFETCH(QString, status);
    TempSettings settings;
    ContourFixture f;
    QCPCurve *line = f.addLine(1, 2, 0.1, 0.05, 60);
    QCPCurve *hollow = f.addTrace(arcPoints(5, 8, 5, 200, 340, 141));
    const int sparseCount = 8;
    QCPCurve *sparse = f.addTrace(arcPoints(5, 8, 5, 200, 340, sparseCount));
    MeasurementArgs args;
    args.plot = f.plot.get();
    args.radius = radius;
    args.count = count;
    std::unique_ptr<Measurement> made(createMeasurementOfKind(kind, args));
    auto *m = static_cast<RadiusDisplacementErrorMeasurement *>(made.get());
    QSignalSpy statusSpy(m, &Measurement::statusText);
    if (arc == "line") {
        select(*m, line, 0, 60);
    } else if (arc == "sparse") {
        select(*m, sparse, 0, sparseCount);
    } else if (arc == "two curves") {
        select(*m, hollow, 0, 50);
        m->nextSelection();
        select(*m, line, 10, 40);
    } else {
        select(*m, hollow, 0, 50);
        m->nextSelection();
        select(*m, hollow, 60, 90);
    }
    m->calculate();
    QVERIFY(!statusSpy.isEmpty());
    QCOMPARE(statusSpy.last().at(0).toString(), status);
    QCOMPARE(m->valueText(), QStringLiteral("неизвестно"));
    QCOMPARE(m->value(), 0.0);
    QVERIFY(!isShown(*m));
    QVERIFY(!m->referenceCircle()->visible());
}

void tst_DeviationMeasurements::mouseProtocol()
{
    TempSettings settings;
    LogReader log;
    KindFixture f;
    QCPCurve *curve = f.addLine(1, 3, 0.25, 0.1, 33);
    f.manage();
    f.tool(RMSE);
    QSignalSpy finished(f.manager.get(), &MeasurementsManager::measurementChanged);
    // The press that creates the measurement greets with the prompt; a click selects nothing.
    f.driver->click(5, 9);
    auto *m = qobject_cast<RMSEMeasurement *>(f.current());
    QVERIFY(m);
    QCOMPARE(f.statuses.first(),
             QStringLiteral("Отклонение от прямой: выделите участок измерения"));
    QVERIFY(!m->isPlacingLabel());
    QVERIFY(f.manager->plotSegmentSelection()->isEnabled());
    // The release ending the drag starts the placing of the label.
    f.dragAlong(curve, 4, 28);
    QVERIFY(m->isPlacingLabel());
    QVERIFY(!f.manager->plotSegmentSelection()->isEnabled());
    QVERIFY(!f.plot->selectionMarker()->visible());
    QCOMPARE(m->selection(0)->begin, quint64(4));
    QCOMPARE(m->selection(0)->end, quint64(28));
    // Right and middle releases do nothing; the label follows the cursor.
    f.driver->click(6, 1, Qt::RightButton);
    f.driver->click(6, 1, Qt::MiddleButton);
    QVERIFY(!m->isFinished());
    f.driver->move(6, 1);
    COMPARE_TOL(m->baselineY(), 1.0, 0.0, 0.05);
    // The next left release finishes it.
    f.driver->click(6, 1);
    QVERIFY(m->isFinished());
    QVERIFY(f.plot->selectionMarker()->visible());
    QVERIFY(f.manager->plotSegmentSelection()->isEnabled());
    QCOMPARE(f.statuses.last(), QStringLiteral("Отклонение от прямой: 0.000000мм"));
    QCOMPARE(f.manager->measurementList().size(), std::size_t(1));
    QVERIFY(log.contains(QStringLiteral("INFO: RMSEMeasurement started")));
    f.manager->removeMeasurement(m->id());
    QVERIFY(
        log.contains(QStringLiteral("INFO: Отклонение от прямой delete with value: 0.000000мм")));
    QVERIFY(finished.count() > 0);
}

void tst_DeviationMeasurements::journey_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<int>("ranges");
    QTest::addColumn<QString>("started");
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("expected"); // negative: any finite value
    const QString circle = QStringLiteral("Отклонение от окружности");
    QTest::newRow("line") << int(RMSE) << "" << 1 << "RMSEMeasurement started"
                          << "Отклонение от прямой" << -1.0;
    QTest::newRow("circle") << int(RDEM) << "" << 1 << "RadiusDisplacementErrorMeasurement start"
                            << circle << 0.0;
    QTest::newRow("given radius") << int(RDEM_SPECIFIED) << "5" << 1 << "RDEMSpecified start"
                                  << circle << 0.0;
    QTest::newRow("filtered") << int(RDEM_FILTER) << "" << 1
                              << "RadiusDisplacementFilterErrorMeasurement start" << circle << 0.0;
    QTest::newRow("two ranges") << int(RDEM_BY_TWO_SEGMENT) << "2" << 2
                                << "RadiusDisplacementErrorMeasurementByTwoSegment start" << circle
                                << 0.0;
    QTest::newRow("three ranges, filtered")
        << int(RDEM_FITER_BY_TWO_SEGMENT) << "3" << 3
        << "RadiusDisplacementErrorMeasurementByTwoSegment start" << circle << 0.0;
    QTest::newRow("polar") << int(RDEM_WITH_POLAR_GRAPH) << "" << 1 << "RDEMWithRadianGraph start"
                           << circle << 0.0;
    QTest::newRow("drawing") << int(ERROR_PLANE) << "" << 1 << "ErrorPlane started"
                             << "Отклонение от прямой" << 0.0;
}

void tst_DeviationMeasurements::journey()
{
    QFETCH(int, kind);
    QFETCH(QString, parameter);
    QFETCH(int, ranges);
    QFETCH(QString, started);
    QFETCH(QString, name);
    QFETCH(double, expected);
    TempSettings settings;
    LogReader log;
    KindFixture f;
    QCPCurve *curve = f.addTrace(arcPoints(5, 8, 5, 200, 340, 141));
    f.manage();
    // The drawing a comparison has imported: the arc's own circle.
    DxfDrawing drawing;
    drawing.append(DxfEntity::circle(QPointF(5, 8), 5));
    f.manager->setFactory([&drawing](int k, const MeasurementArgs &args) -> Measurement * {
        if (k != COMPARE_PLANE_DXF)
            return createMeasurementOfKind(k, args);
        auto *comparison = new MeasurementDouble(k, args.plot);
        comparison->drawing = &drawing;
        return comparison;
    });
    if (kind == ERROR_PLANE) {
        f.tool(COMPARE_PLANE_DXF);
        f.driver->click(9, 9);
        static_cast<MeasurementDouble *>(f.current())->complete();
    }
    f.tool(E_MEASUREMENTS(kind), parameter);
    const int from[3] = {5, 60, 100};
    const int to[3] = {40, 85, 135};
    for (int i = 0; i < ranges; ++i)
        f.dragAlong(curve, from[i], to[i]);
    auto *m = qobject_cast<ErrorMeasurement *>(f.current());
    QVERIFY(m);
    QVERIFY(m->isPlacingLabel());
    f.driver->move(5, 1);
    f.driver->click(5, 1);
    QVERIFY(m->isFinished());
    QCOMPARE(m->name(), name);
    QVERIFY(f.manager->findMeasurement(m->id()) == m);
    QCOMPARE(f.statuses.at(kind == ERROR_PLANE ? 0 : 0).isEmpty(), false);
    QVERIFY(f.statuses.contains(name + QStringLiteral(": выделите участок измерения")));
    QCOMPARE(f.statuses.last(), name + QStringLiteral(": ") + m->valueText());
    QVERIFY(m->valueText().endsWith(QStringLiteral("мм")));
    if (expected >= 0.0)
        COMPARE_TOL(m->value(), expected, 0.0, 1e-6);
    else
        QVERIFY(m->value() > 0.0);
    QVERIFY(log.contains(QStringLiteral("INFO: ") + started));
    const testsupport::GrabResult grab
        = testsupport::grabWindow(f.plot.get(), QStringLiteral("deviation_%1").arg(kind));
    VERIFY_GRAB(grab);
    const QString text = m->valueText();
    f.manager.reset();
    QVERIFY(log.contains(QStringLiteral("INFO: ") + name + QStringLiteral(" delete with value: ")
                         + text));
}

void tst_DeviationMeasurements::scaleLabelsStayApartAndInside_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("view"); // the plot shows 0 to view on both axes
    QTest::addColumn<QVector<QPointF>>("arc");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QPointF>("label"); // where the click places the value label
    QTest::addColumn<int>("numbers"); // at least this many numbers shown
    // A rippled arc in the middle of the view: deviations of a tenth of a millimetre, several
    // scale values.
    QVector<QPointF> rippled = arcPoints(10, 14, 5, 200, 340, 141);
    for (int i = 0; i < rippled.size(); ++i) {
        const QPointF radial = (rippled[i] - QPointF(10, 14)) / 5.0;
        rippled[i] += radial * 0.05 * std::sin(i * 0.7);
    }
    QTest::newRow("polar, arc at the left edge")
        << int(RDEM_WITH_POLAR_GRAPH) << 10.0 << arcPoints(5, 8, 5, 200, 340, 141) << 5 << 40
        << QPointF(5, 1) << 1;
    // A short scale has room for one number.
    QTest::newRow("polar, rippled, label near the arc")
        << int(RDEM_WITH_POLAR_GRAPH) << 20.0 << rippled << 20 << 120 << QPointF(10, 8.2) << 1;
    QTest::newRow("polar, rippled, label far below")
        << int(RDEM_WITH_POLAR_GRAPH) << 20.0 << rippled << 20 << 120 << QPointF(10, 5) << 2;
    QTest::newRow("band, rippled, label near the arc")
        << int(RDEM) << 20.0 << rippled << 20 << 120 << QPointF(10, 8.7) << 1;
    QTest::newRow("band, rippled, label far below")
        << int(RDEM) << 20.0 << rippled << 20 << 120 << QPointF(10, 5) << 2;
}

// Whatever the arc and wherever the value label goes, the numbers of the graph's scale neither
// cover one another nor reach past the plot's edge, where they would be cut.
void tst_DeviationMeasurements::scaleLabelsStayApartAndInside()
{
    QFETCH(int, kind);
    QFETCH(double, view);
    QFETCH(QVector<QPointF>, arc);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QPointF, label);
    QFETCH(int, numbers);
    TempSettings settings;
    KindFixture f(view, view);
    QCPCurve *curve = f.addTrace(arc);
    f.manage();
    f.tool(E_MEASUREMENTS(kind));
    f.dragAlong(curve, from, to);
    f.driver->move(label.x(), label.y());
    f.driver->click(label.x(), label.y());
    auto *m = qobject_cast<ErrorMeasurement *>(f.current());
    QVERIFY(m && m->isFinished() && m->hasValue());
    f.plot->replot();
    const testsupport::GrabResult grab = testsupport::grabWindow(
        f.plot.get(), QStringLiteral("scale_") + QString::fromLatin1(QTest::currentDataTag()));
    VERIFY_GRAB(grab);

    // Every shown number whole within the plot and clear of the others; a number that cannot be
    // shown so is left out, but not all of them.
    const QRectF inside = f.plot->axisRect()->rect();
    QVector<QRectF> shown;
    for (QCPItemText *text : m->deviationGraph()->labels()) {
        if (!text->visible())
            continue;
        const QRectF rect
            = QRectF(text->topLeft->pixelPosition(), text->bottomRight->pixelPosition())
                  .normalized();
        QVERIFY2(inside.contains(rect), qPrintable(text->text() + " is cut at the plot's edge"));
        for (const QRectF &other : qAsConst(shown))
            QVERIFY2(!other.intersects(rect), qPrintable(text->text() + " covers another number"));
        shown.append(rect);
    }
    QVERIFY2(shown.size() >= numbers, qPrintable(QString::number(shown.size())));
}

GUI_TEST_MAIN(tst_DeviationMeasurements)
#include "tst_DeviationMeasurements.moc"
