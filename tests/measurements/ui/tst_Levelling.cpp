// Levelling the contour by one or two selected ranges, driven by the mouse through the
// measurements manager: the rotation of every curve, the reported angle and centre, the
// composed motion the window keeps, reper points turning with the curves, and the refusals.
#include "KindFixture.h"
#include "MeasurementDouble.h"
#include "measurements/ui/ErrorMeasurement.h"
#include "measurements/ui/LevellingMeasurements.h"
#include "measurements/ui/PlotSegmentSelection.h"
#include "measurements/ui/ReperPoint.h"
#include "support/LogReader.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"

#include <QSignalSpy>

#include <cmath>

using testsupport::LogReader;
using testsupport::TempSettings;

namespace {

QVector<QPointF> pointsOf(const QCPCurve *curve)
{
    QVector<QPointF> points;
    for (auto it = curve->data()->constBegin(); it != curve->data()->constEnd(); ++it)
        points.append(QPointF(it->key, it->value));
    return points;
}

// A contour of straight traces and the real levelling kinds; a click-point tool builds a listed
// stand-in with one reper point where it is told.
struct LevelFixture : KindFixture
{
    QPointF nextReperPoint;

    LevelFixture()
        : KindFixture(10, 10)
    { }

    void manageWithPoints()
    {
        manage();
        manager->setFactory([this](int kind, const MeasurementArgs &args) -> Measurement * {
            if (kind != CLICK_POINT)
                return createMeasurementOfKind(kind, args);
            auto *point = new MeasurementDouble(kind, args.plot);
            point->setReperPoint(0, nextReperPoint);
            return point;
        });
    }

    // A finished, listed measurement with a reper point at p.
    MeasurementDouble *placePoint(const QPointF &p)
    {
        nextReperPoint = p;
        tool(CLICK_POINT);
        driver->click(9.5, 9.5);
        auto *point = static_cast<MeasurementDouble *>(current());
        point->complete();
        return point;
    }
};

} // namespace

class tst_Levelling : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void levelByOneRange_data();
    void levelByOneRange();
    void levelByTwoRanges();
    void refusedSelectionsKeepSelecting_data();
    void refusedSelectionsKeepSelecting();
    void otherButtonsNeverLevel();
    void successiveLevellingsCompose();
    void listedMeasurementsFollow();
};

void tst_Levelling::initTestCase()
{
    qRegisterMetaType<QPointF>();
}

void tst_Levelling::cleanup()
{
    QCOMPARE(Measurement::liveCount(), 0);
}

void tst_Levelling::levelByOneRange_data()
{
    QTest::addColumn<double>("intercept");
    QTest::addColumn<double>("slope");
    QTest::addColumn<QString>("status");
    QTest::newRow("y = 0.1x + 2") << 2.0 << 0.1 << "Укладка готова: [2, 0.1]";
    QTest::newRow("y = -0.1x + 8") << 8.0 << -0.1 << "Укладка готова: [8, -0.1]";
    QTest::newRow("y = 0") << 0.0 << 0.0 << "Укладка готова: [0, 0]";
}

void tst_Levelling::levelByOneRange()
{
    QFETCH(double, intercept);
    QFETCH(double, slope);
    QFETCH(QString, status);
    TempSettings settings;
    LogReader log;
    LevelFixture f;
    QCPCurve *line = f.addLine(0, intercept, 0.1, 0.1 * slope, 101);
    QCPCurve *other = f.addLine(0, 9, 0.1, -0.05, 101);
    f.manageWithPoints();
    const QVector<QPointF> before = pointsOf(line);
    const QVector<QPointF> otherBefore = pointsOf(other);
    QSignalSpy rotated(f.manager.get(), &MeasurementsManager::setNewAngleAndCenterRot);

    f.tool(LAY_FLAT);
    f.dragAlong(line, 20, 70);
    auto *m = qobject_cast<LayFlatMeasurement *>(f.current());
    QVERIFY(m);
    QVERIFY(m->isFinished());
    QVERIFY(f.manager->measurementList().empty());
    QCOMPARE(f.statuses.last(), status);
    QVERIFY(log.contains(QStringLiteral("INFO: LayFlat released ")));

    // The angle that lays the line flat, about the first point of the selected range.
    QCOMPARE(rotated.count(), 1);
    const double angle = rotated.at(0).at(0).toDouble();
    const QPointF centre = rotated.at(0).at(1).toPointF();
    COMPARE_TOL(angle, -std::atan(slope), 1e-12, 1e-15);
    QCOMPARE(centre, before.at(20));
    const QVector<QPointF> after = pointsOf(line);
    for (int i = 0; i < after.size(); ++i)
        COMPARE_TOL(after.at(i).y(), before.at(20).y(), 0.0, 1e-6);
    COMPARE_TOL(after.at(20).x(), before.at(20).x(), 0.0, 1e-6);
    // Every curve of the plot turned, in place; a zero angle leaves every number as it was.
    const QVector<QPointF> otherAfter = pointsOf(other);
    for (int i = 0; i < otherAfter.size(); ++i) {
        const QPointF expected
            = rotatePoint(float(centre.x()), float(centre.y()), float(angle), otherBefore.at(i));
        QCOMPARE(otherAfter.at(i), expected);
    }
    if (slope == 0.0)
        QCOMPARE(after, before);
    // The manager holds the same motion for the window.
    const QPointF mapped = f.manager->levelling().map(otherBefore.at(100));
    COMPARE_TOL(mapped.x(), otherAfter.at(100).x(), 0.0, 1e-12);
    COMPARE_TOL(mapped.y(), otherAfter.at(100).y(), 0.0, 1e-12);
}

void tst_Levelling::levelByTwoRanges()
{
    // Two parallel stretches on two curves, and a third curve that is not selected.
    TempSettings settings;
    LevelFixture f;
    QCPCurve *lower = f.addLine(0, 2, 0.1, 0.01, 101);
    QCPCurve *upper = f.addLine(0, 4, 0.1, 0.01, 101);
    QCPCurve *flat = f.addLine(0, 7, 0.1, 0, 101);
    f.manageWithPoints();
    const QVector<QPointF> lowerBefore = pointsOf(lower);
    QSignalSpy rotated(f.manager.get(), &MeasurementsManager::setNewAngleAndCenterRot);

    f.tool(LAY_FLAT_BY_TWO);
    f.dragAlong(lower, 10, 60);
    auto *m = qobject_cast<LayFlatByTwoMeasurement *>(f.current());
    QVERIFY(m);
    QVERIFY(!m->isFinished());
    f.driver->move(5, 5);
    QCOMPARE(f.statuses.last(), QStringLiteral("Выделите две линии"));
    f.dragAlong(upper, 10, 60);
    QVERIFY(m->isFinished());
    // One line through both stretches: the slope of each, not the line between them.
    QCOMPARE(f.statuses.last(), QStringLiteral("Укладка готова: [3, 0.1]"));
    QCOMPARE(rotated.count(), 1);
    COMPARE_TOL(rotated.at(0).at(0).toDouble(), -std::atan(0.1), 1e-12, 0.0);
    QCOMPARE(rotated.at(0).at(1).toPointF(), lowerBefore.at(10));
    const QVector<QPointF> lowerAfter = pointsOf(lower);
    const QVector<QPointF> upperAfter = pointsOf(upper);
    for (int i = 0; i < lowerAfter.size(); ++i) {
        COMPARE_TOL(lowerAfter.at(i).y(), lowerBefore.at(10).y(), 0.0, 1e-6);
        COMPARE_TOL(upperAfter.at(i).y() - lowerAfter.at(i).y(), 2 * std::cos(std::atan(0.1)), 0.0,
                    1e-6);
    }
    // The curve that was not selected turned as well: it now falls.
    const QVector<QPointF> flatAfter = pointsOf(flat);
    QVERIFY(flatAfter.last().y() < flatAfter.first().y() - 0.5);
}

void tst_Levelling::refusedSelectionsKeepSelecting_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("refused"); // what the first attempt selects
    QTest::newRow("click without a drag") << int(LAY_FLAT) << "click";
    QTest::newRow("a single point") << int(LAY_FLAT) << "one point";
    QTest::newRow("points on one x") << int(LAY_FLAT) << "vertical";
    QTest::newRow("two ranges, click without a drag") << int(LAY_FLAT_BY_TWO) << "click";
    QTest::newRow("two ranges on one x") << int(LAY_FLAT_BY_TWO) << "vertical";
}

void tst_Levelling::refusedSelectionsKeepSelecting()
{
    QFETCH(int, kind);
    QFETCH(QString, refused);
    TempSettings settings;
    LevelFixture f;
    QCPCurve *line = f.addLine(0, 2, 0.25, 0.025, 41);
    QCPCurve *vertical = f.addLine(8, 4, 0, 0.25, 17);
    f.manageWithPoints();
    const QVector<QPointF> before = pointsOf(line);
    QSignalSpy rotated(f.manager.get(), &MeasurementsManager::setNewAngleAndCenterRot);
    f.tool(E_MEASUREMENTS(kind));
    const int attempts = kind == LAY_FLAT_BY_TWO && refused == "vertical" ? 2 : 1;
    for (int i = 0; i < attempts; ++i) {
        if (refused == "click")
            f.driver->click(before.at(10).x(), before.at(10).y());
        else if (refused == "one point")
            f.dragAlong(line, 10, 11, 1);
        else
            f.dragAlong(vertical, 2 + 6 * i, 6 + 6 * i);
    }
    Measurement *m = f.current();
    QVERIFY(m);
    QVERIFY(!m->isFinished());
    QCOMPARE(f.statuses.last(), QStringLiteral("Выделите участок для выравнивания"));
    QVERIFY(f.manager->plotSegmentSelection()->isEnabled());
    QCOMPARE(rotated.count(), 0);
    QCOMPARE(pointsOf(line), before);
    // Not stuck: proper ranges level.
    f.dragAlong(line, 5, 30);
    if (kind == LAY_FLAT_BY_TWO)
        f.dragAlong(line, 32, 40);
    QVERIFY(m->isFinished());
    QCOMPARE(rotated.count(), 1);
    COMPARE_TOL(rotated.at(0).at(0).toDouble(), -std::atan(0.1), 1e-9, 0.0);
}

void tst_Levelling::otherButtonsNeverLevel()
{
    TempSettings settings;
    LogReader log;
    LevelFixture f;
    QCPCurve *line = f.addLine(0, 2, 0.25, 0.025, 41);
    f.manageWithPoints();
    f.tool(LAY_FLAT);
    f.dragAlong(line, 5, 30, 6);
    auto *m = f.current();
    QVERIFY(m->isFinished());
    // Right and middle drags on a fresh levelling: released, never levelled.
    f.tool(LAY_FLAT_BY_TWO);
    QSignalSpy rotated(f.manager.get(), &MeasurementsManager::setNewAngleAndCenterRot);
    f.driver->drag(QPointF(1, 2.1), {QPointF(3, 2.3)}, Qt::RightButton);
    f.driver->drag(QPointF(1, 2.1), {QPointF(3, 2.3)}, Qt::MiddleButton);
    QCOMPARE(rotated.count(), 0);
    QCOMPARE(log.messages().count(QStringLiteral("LayFlatByTwo released ")), 0);
}

void tst_Levelling::successiveLevellingsCompose()
{
    // Two levellings about different centres: the manager's composed motion maps the traces as
    // drawn before both onto the traces as drawn after both, and reper points with their
    // markers went along.
    TempSettings settings;
    LevelFixture f;
    QCPCurve *a = f.addLine(0, 2, 0.1, 0.02, 101);
    QCPCurve *b = f.addTrace(
        {QPointF(1, 8), QPointF(3, 7.5), QPointF(5, 8.5), QPointF(7, 7), QPointF(9, 7.25)});
    f.manageWithPoints();
    MeasurementDouble *point = f.placePoint(QPointF(3, 7.5));
    const QVector<QPointF> aBefore = pointsOf(a);
    const QVector<QPointF> bBefore = pointsOf(b);

    f.tool(LAY_FLAT);
    f.dragAlong(a, 10, 60);
    QVERIFY(f.current()->isFinished());
    // The second levelling lays the second trace's middle stretch flat.
    f.tool(LAY_FLAT);
    f.dragAlong(b, 1, 3, 2);
    QVERIFY(f.current()->isFinished());
    const QVector<QPointF> bAfter = pointsOf(b);
    COMPARE_TOL(bAfter.at(2).y(), bAfter.at(1).y(), 0.0, 1e-6);

    const RigidTransform &motion = f.manager->levelling();
    QVERIFY(motion.angle != 0.0);
    const QVector<QPointF> aAfter = pointsOf(a);
    for (int i = 0; i < aBefore.size(); ++i) {
        const QPointF m = motion.map(aBefore.at(i));
        COMPARE_TOL(m.x(), aAfter.at(i).x(), 0.0, 1e-9);
        COMPARE_TOL(m.y(), aAfter.at(i).y(), 0.0, 1e-9);
    }
    for (int i = 0; i < bBefore.size(); ++i) {
        const QPointF m = motion.map(bBefore.at(i));
        COMPARE_TOL(m.x(), bAfter.at(i).x(), 0.0, 1e-9);
        COMPARE_TOL(m.y(), bAfter.at(i).y(), 0.0, 1e-9);
    }
    // The reper point lay on the second trace's point 1 and still does; its marker is drawn
    // there.
    ReperPoint *reper = point->reperPointList().first();
    COMPARE_TOL(reper->position().x(), bAfter.at(1).x(), 0.0, 1e-6);
    COMPARE_TOL(reper->position().y(), bAfter.at(1).y(), 0.0, 1e-6);
    f.plot->replot();
    QCOMPARE(reper->marker()->position->coords(), reper->position());
    // After the window draws its curves unlevelled again, the manager forgets the motion.
    f.manager->resetLevelling();
    QVERIFY(f.manager->levelling().isIdentity());
}

void tst_Levelling::listedMeasurementsFollow()
{
    // A deviation measured before a levelling is recalculated on the turned curve: same value,
    // its stretch where the points now are.
    TempSettings settings;
    LevelFixture f;
    QCPCurve *line = f.addLine(0, 2, 0.1, 0.03, 101);
    f.manageWithPoints();
    f.tool(RMSE);
    f.dragAlong(line, 20, 80);
    f.driver->click(5, 1);
    auto *deviation = qobject_cast<ErrorMeasurement *>(f.current());
    QVERIFY(deviation && deviation->isFinished());
    const double value = deviation->value();
    QSignalSpy changed(f.manager.get(), &MeasurementsManager::measurementChanged);
    f.tool(LAY_FLAT);
    f.dragAlong(line, 0, 100);
    QCOMPARE(changed.count(), 1);
    COMPARE_TOL(deviation->value(), value, 1e-6, 1e-12);
    const QVector<QPointF> after = pointsOf(line);
    QCOMPARE(deviation->chordStart(), QVector2D(after.at(20)));
    QCOMPARE(deviation->chordEnd(), QVector2D(after.at(79)));
}

GUI_TEST_MAIN(tst_Levelling)
#include "tst_Levelling.moc"
