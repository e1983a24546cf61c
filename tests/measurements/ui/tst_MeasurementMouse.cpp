// The measurement framework driven by the mouse: the cursor position, reper point snapping,
// the segment selection and the manager's presses, Escape and construction journeys.
#include "ManagerFixture.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"
#include "support/gui/PlotDriver.h"
#include "support/gui/WindowGrab.h"

#include <QSignalSpy>

#include <cmath>

Q_DECLARE_METATYPE(Measurement *)
Q_DECLARE_METATYPE(QCPDataRange)

using testsupport::PlotDriver;
using testsupport::TempSettings;

namespace {

using Finish = MeasurementDouble::Finish;

// The manager's fixture with the plot driven by the mouse and the cursor moves recorded.
struct MouseFixture : ManagerFixture
{
    PlotDriver driver {plot.get()};
    QList<QPoint> cursorMoves;

    MouseFixture()
    {
        manager->reperPoints()->setCursorMover(
            [this](const QPoint &global) { cursorMoves.append(global); });
    }
};

} // namespace

class tst_MeasurementMouse : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cursorPosition_data();
    void cursorPosition();
    void finishedMeasurementIgnoresTheMouse();
    void oneReplotPerMove();
    void snapping_data();
    void snapping();
    void snappingToSeveralPoints();
    void selectionMarkerRestsOnSnapTargets();
    void segmentSelection_data();
    void segmentSelection();
    void segmentSelectionOffAndOn();
    void pressCreatesMeasurements();
    void escapeDropsTheMeasurementBeingBuilt();
    void constructionJourney();
};

void tst_MeasurementMouse::initTestCase()
{
    qRegisterMetaType<Measurement *>();
    qRegisterMetaType<QCPDataRange>();
}

void tst_MeasurementMouse::cleanup()
{
    QCOMPARE(Measurement::liveCount(), 0);
}

void tst_MeasurementMouse::cursorPosition_data()
{
    QTest::addColumn<int>("unit");
    QTest::addColumn<double>("scale"); // display units per millimetre
    QTest::addColumn<QPointF>("at"); // millimetres
    QTest::newRow("mm") << 0 << 1.0 << QPointF(0.7, 3.25);
    QTest::newRow("um") << 1 << 1e3 << QPointF(0.7, 3.25);
    QTest::newRow("nm") << 2 << 1e6 << QPointF(1.0, 2.0);
    QTest::newRow("nm, off the grid") << 2 << 1e6 << QPointF(7.123, 0.004);
}

void tst_MeasurementMouse::cursorPosition()
{
    QFETCH(int, unit);
    QFETCH(double, scale);
    QFETCH(QPointF, at);
    TempSettings settings([unit](Settings &s) { s.view.axis_unit = unit; });
    ContourFixture f(10 * scale, 10 * scale);
    PlotDriver driver(f.plot.get());
    MeasurementDouble m(RMSE, f.plot.get());
    QSignalSpy changed(&m, &Measurement::measumentChanged);

    driver.move(at.x() * scale, at.y() * scale);
    // The pointer sits on whole pixels: the plot point under it, in single precision.
    const QPointF under = driver.coords(driver.pixel(at.x() * scale, at.y() * scale));
    const QPointF single(double(float(under.x())), double(float(under.y())));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(m.calculations, 1);
    COMPARE_TOL(m.cursorMillimetres().x(), single.x() / scale, 1e-15, 0.0);
    COMPARE_TOL(m.cursorMillimetres().y(), single.y() / scale, 1e-15, 0.0);
    // Back in the display unit: the point under the pointer, within single precision.
    COMPARE_TOL(m.cursorPosition().x(), under.x(), 1e-7, 0.0);
    COMPARE_TOL(m.cursorPosition().y(), under.y(), 1e-7, 0.0);
    // And within a pixel of where the pointer was sent.
    const double pixelSize = 10 * scale / f.plot->axisRect()->width();
    COMPARE_TOL(m.cursorPosition().x(), at.x() * scale, 0.0, pixelSize);
}

void tst_MeasurementMouse::finishedMeasurementIgnoresTheMouse()
{
    MouseFixture f;
    MeasurementDouble m(REGULAR_RADIUS, f.plot.get(), Finish::OnRelease);
    QSignalSpy changed(&m, &Measurement::measumentChanged);
    QSignalSpy finished(&m, &Measurement::measumentFinished);
    f.driver.move(1, 1);
    f.driver.click(2, 2);
    QCOMPARE(finished.count(), 1);
    QVERIFY(m.isFinished());
    QVERIFY(!m.selected);
    const int calculations = m.calculations;
    const int changes = changed.count();
    f.driver.move(3, 3);
    f.driver.click(4, 4);
    QCOMPARE(m.calculations, calculations);
    QCOMPARE(changed.count(), changes);
    QCOMPARE(finished.count(), 1);
}

void tst_MeasurementMouse::oneReplotPerMove()
{
    // A move that recalculates the measurement being built, snaps onto a reper point and moves
    // the selection marker is drawn by one replot, after the event.
    MouseFixture f;
    MeasurementDouble *point = f.start(CLICK_POINT);
    point->setReperPoint(0, QPointF(5, 4));
    point->complete();
    MeasurementDouble *building = f.start(RMSE);
    f.driver.refresh();
    QSignalSpy replots(f.plot.get(), &QCustomPlot::afterReplot);
    f.driver.movePixel(f.driver.pixel(5, 4) + QPoint(1, 1));
    QVERIFY(point->reperPointList().first()->isHighlighted());
    QCOMPARE(building->calculations, 1);
    QCOMPARE(replots.count(), 0);
    QTRY_COMPARE(replots.count(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(replots.count(), 1);
}

void tst_MeasurementMouse::snapping_data()
{
    QTest::addColumn<QPoint>("offset"); // pixels from the reper point
    QTest::addColumn<bool>("finishedOwner");
    QTest::addColumn<bool>("snapped");
    QTest::newRow("on it") << QPoint(0, 0) << true << true;
    QTest::newRow("4 right") << QPoint(4, 0) << true << true;
    QTest::newRow("4 up") << QPoint(0, -4) << true << true;
    QTest::newRow("(2, 2)") << QPoint(2, -2) << true << true;
    QTest::newRow("5 left") << QPoint(-5, 0) << true << false;
    QTest::newRow("(3, 2)") << QPoint(3, 2) << true << false;
    QTest::newRow("owner still built") << QPoint(1, 0) << false << false;
}

void tst_MeasurementMouse::snapping()
{
    QFETCH(QPoint, offset);
    QFETCH(bool, finishedOwner);
    QFETCH(bool, snapped);
    MouseFixture f;
    MeasurementDouble *point = f.start(CLICK_POINT);
    // A reper point in the middle of a pixel, so that the offsets are exact.
    const QPoint target(400, 300);
    point->setReperPoint(
        0, QPointF(f.plot->xAxis->pixelToCoord(400.5), f.plot->yAxis->pixelToCoord(300.5)));
    if (finishedOwner)
        point->complete();
    f.driver.refresh();
    ReperPoint *p = point->reperPointList().first();

    f.driver.movePixel(target + offset);
    QCOMPARE(p->isHighlighted(), snapped);
    QCOMPARE(p->marker()->style(), snapped ? QCPItemTracer::tsCircle : QCPItemTracer::tsPlus);
    QCOMPARE(f.cursorMoves,
             snapped ? QList<QPoint> {f.plot->mapToGlobal(target)} : QList<QPoint> {});
    if (!snapped)
        return;
    // Staying in reach moves the cursor no more (the move the warp itself causes included).
    f.driver.movePixel(target);
    f.driver.movePixel(target + QPoint(1, 1));
    QCOMPARE(f.cursorMoves.size(), 1);
    // Leaving restores the normal look; coming back snaps again.
    f.driver.movePixel(target + QPoint(10, 0));
    QVERIFY(!p->isHighlighted());
    QCOMPARE(p->marker()->style(), QCPItemTracer::tsPlus);
    f.driver.movePixel(target + QPoint(0, 3));
    QCOMPARE(f.cursorMoves.size(), 2);
}

void tst_MeasurementMouse::snappingToSeveralPoints()
{
    MouseFixture f;
    const QPoint first(400, 300);
    const QPoint second(403, 300);
    const auto centre = [&f](const QPoint &pixel) {
        return QPointF(f.plot->xAxis->pixelToCoord(pixel.x() + 0.5),
                       f.plot->yAxis->pixelToCoord(pixel.y() + 0.5));
    };
    MeasurementDouble *a = f.start(CLICK_POINT);
    a->setReperPoint(0, centre(second));
    a->complete();
    MeasurementDouble *b = f.start(CLICK_POINT);
    b->setReperPoint(0, centre(first));
    b->complete();
    f.driver.movePixel(QPoint(401, 300));
    QVERIFY(a->reperPointList().first()->isHighlighted());
    QVERIFY(b->reperPointList().first()->isHighlighted());
    // The points are visited in the order they were placed: the cursor ends on the later one.
    QCOMPARE(f.cursorMoves.size(), 2);
    QCOMPARE(f.cursorMoves.last(), f.plot->mapToGlobal(first));
}

void tst_MeasurementMouse::selectionMarkerRestsOnSnapTargets()
{
    MouseFixture f;
    MeasurementDouble *point = f.start(CLICK_POINT);
    point->setReperPoint(0, QPointF(5, 4));
    point->complete();
    ReperPoint *p = point->reperPointList().first();
    for (const bool show : {true, false}) {
        f.manager->setMeasurementType(CLICK_POINT, true, show, QString());
        f.driver.move(5.05, 4.05);
        QCOMPARE(f.plot->markerCurve() == p->snapCurve(), show);
    }
}

void tst_MeasurementMouse::segmentSelection_data()
{
    // Drags along trace 0 (y = 2): from x, through the given x, each point a data index / 10.
    QTest::addColumn<double>("from");
    QTest::addColumn<QVector<double>>("through");
    QTest::addColumn<int>("reports");
    QTest::addColumn<QPoint>("range"); // begin, end of the last report
    QTest::newRow("10 to 20") << 1.0 << QVector<double> {1.5, 2.0} << 3 << QPoint(10, 20);
    QTest::newRow("20 back to 10") << 2.0 << QVector<double> {1.5, 1.0} << 3 << QPoint(10, 20);
    QTest::newRow("to the last point") << 9.5 << QVector<double> {10.0} << 2 << QPoint(95, 100);
    QTest::newRow("back to the start") << 3.0 << QVector<double> {3.5, 3.0} << 3 << QPoint(30, 30);
    QTest::newRow("press and release") << 4.0 << QVector<double> {} << 0 << QPoint();
}

void tst_MeasurementMouse::segmentSelection()
{
    QFETCH(double, from);
    QFETCH(QVector<double>, through);
    QFETCH(int, reports);
    QFETCH(QPoint, range);
    TempSettings settings([](Settings &s) { s.preferences.selected_graph_color = "#00ff00"; });
    MouseFixture f;
    QCPCurve *trace = f.traces.at(0);
    f.manager->setMeasurementType(REGULAR_RADIUS, true, false, QString());
    PlotSegmentSelection *selection = f.manager->plotSegmentSelection();
    // The press creates the measurement, and wiring it cuts every earlier connection of the
    // segment selection's signals: the spy listens from then on.
    f.driver.press(from, 2.1);
    QSignalSpy changed(selection, &PlotSegmentSelection::selectionChanged);
    QCOMPARE(changed.count(), 0);
    for (double x : through)
        f.driver.move(x, 2.2, Qt::LeftButton);
    f.driver.release(through.isEmpty() ? from : through.last(), 2.2);

    QCOMPARE(changed.count(), reports);
    auto *m = static_cast<MeasurementDouble *>(f.manager->currentMeasurement());
    QVERIFY(m);
    if (reports == 0) {
        QCOMPARE(m->selectionCount(), 0);
        return;
    }
    const QCPDataRange last = changed.last().at(0).value<QCPDataRange>();
    QCOMPARE(QPoint(last.begin(), last.end()), range);
    QCOMPARE(changed.last().at(1).value<QCPCurve *>(), trace);
    // The measurement built by the press received the ranges of the drag.
    QCOMPARE(m->selectionCount(), 1);
    QCOMPARE(QPoint(int(m->selection(0)->begin), int(m->selection(0)->end)), range);
    QCOMPARE(m->selection(0)->curve, trace);
    // The drag's range is highlighted on the trace (an empty one is no highlight).
    if (last.isEmpty())
        QVERIFY(trace->selection().isEmpty());
    else
        QCOMPARE(trace->selection().span(), last);
    QCOMPARE(trace->selectionDecorator()->pen().color(), QColor("#00ff00"));
    QCOMPARE(trace->selectionDecorator()->pen().widthF(), 2.0);
}

void tst_MeasurementMouse::segmentSelectionOffAndOn()
{
    MouseFixture f;
    f.manager->setMeasurementType(REGULAR_RADIUS, true, false, QString());
    PlotSegmentSelection *selection = f.manager->plotSegmentSelection();
    // Exactly between the traces: the one registered first.
    f.driver.press(1.0, 4.0);
    QSignalSpy changed(selection, &PlotSegmentSelection::selectionChanged);
    f.driver.move(2.0, 4.0, Qt::LeftButton);
    f.driver.release(2.0, 4.0);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.last().at(1).value<QCPCurve *>(), f.traces.at(0));
    QVERIFY(!f.traces.at(0)->selection().isEmpty());
    // A right-button drag changes nothing.
    changed.clear();
    f.driver.press(3.0, 6.0, Qt::RightButton);
    f.driver.move(4.0, 6.0, Qt::RightButton);
    f.driver.release(4.0, 6.0, Qt::RightButton);
    QVERIFY(changed.isEmpty());
    // Off keeps the highlight, on again clears it.
    selection->setEnabled(false);
    QVERIFY(!f.traces.at(0)->selection().isEmpty());
    selection->setEnabled(true);
    QVERIFY(f.traces.at(0)->selection().isEmpty());
}

void tst_MeasurementMouse::pressCreatesMeasurements()
{
    MouseFixture f;
    QSignalSpy changed(f.manager.get(), &MeasurementsManager::measurementChanged);
    // No tool: a press creates nothing.
    f.driver.click(1, 2);
    QCOMPARE(f.created, 0);

    f.finishing = Finish::OnRelease;
    f.manager->setMeasurementType(CLICK_HORIZONTAL_LINE, true, true, QString());
    f.driver.click(1, 2);
    QCOMPARE(f.created, 1);
    Measurement *first = f.manager->currentMeasurement();
    QVERIFY(first->isFinished());
    QCOMPARE(f.listed(), QList<Measurement *> {first});
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<Measurement *>(), first);
    // A right press creates nothing; the next left press the next measurement.
    f.driver.click(2, 2, Qt::RightButton);
    QCOMPARE(f.created, 1);
    f.driver.click(2, 2);
    QCOMPARE(f.created, 2);
    QCOMPARE(f.listed().size(), 2);
    QCOMPARE(f.listed().last()->id(), first->id() + 1);

    // A measurement being built takes the presses: no new one until it finishes.
    f.finishing = Finish::OnSecondRelease;
    f.manager->setMeasurementType(MIDDLE_POINT, true, true, QString());
    f.driver.click(3, 2);
    f.driver.drag(QPointF(4, 2), {QPointF(5, 2)});
    QCOMPARE(f.created, 3);
    QVERIFY(f.manager->currentMeasurement()->isFinished());

    // A finished unlisted measurement goes with the next press.
    f.finishing = Finish::OnRelease;
    f.manager->setMeasurementType(LAY_FLAT, false, false, QString());
    f.driver.drag(QPointF(1, 2), {QPointF(2, 2)});
    QCOMPARE(Measurement::liveCount(), 4);
    f.driver.drag(QPointF(3, 2), {QPointF(4, 2)});
    QCOMPARE(Measurement::liveCount(), 4);
    QCOMPARE(f.listed().size(), 3);
}

void tst_MeasurementMouse::escapeDropsTheMeasurementBeingBuilt()
{
    MouseFixture f;
    f.plot->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.plot.get()));
    QSignalSpy deleted(f.manager.get(), &MeasurementsManager::deleteMeasurement);
    f.manager->setMeasurementType(RMSE, true, false, QString());
    f.driver.press(1, 2);
    f.driver.move(2, 2, Qt::LeftButton);
    Measurement *building = f.manager->currentMeasurement();
    QVERIFY(building && !building->isFinished());
    QVERIFY(!f.traces.at(0)->selection().isEmpty());

    QTest::keyClick(f.plot.get(), Qt::Key_Escape);
    QCOMPARE(deleted.count(), 1);
    QCOMPARE(Measurement::liveCount(), 0);
    QVERIFY(f.listed().isEmpty());
    // The range being dragged and the plot's selections are gone; the marker is back.
    QVERIFY(f.traces.at(0)->selection().isEmpty());
    QVERIFY(f.plot->testInteraction(Plot::iRangeSelection));
    QVERIFY(f.plot->selectionMarker());
    f.driver.release(2, 2);

    // Escape without a measurement being built does nothing.
    QTest::keyClick(f.plot.get(), Qt::Key_Escape);
    QCOMPARE(deleted.count(), 1);
}

void tst_MeasurementMouse::constructionJourney()
{
    // A horizontal line clicked on trace 0, then a circle dragged on trace 1 that crosses it:
    // the circle gets the two crossings as reper points, which later clicks snap to.
    MouseFixture f;
    f.finishing = Finish::OnRelease;
    f.manager->setMeasurementType(CLICK_HORIZONTAL_LINE, true, true, QString());
    f.driver.click(3, 2);
    auto *line = static_cast<MeasurementDouble *>(f.manager->currentMeasurement());
    line->coefficients = {0, 4};
    f.manager->setMeasurementType(CIRCUMF_AG, true, false, QString());
    f.driver.press(4, 6);
    auto *circle = static_cast<MeasurementDouble *>(f.manager->currentMeasurement());
    circle->setCircle(5, 4, 1);
    f.driver.move(5, 6, Qt::LeftButton);
    f.driver.release(5, 6);
    QVERIFY(circle->isFinished());
    QCOMPARE(circle->selectionCount(), 1);
    QCOMPARE(circle->reperPointCount(), 1 + 2);
    QCOMPARE(circle->reperPointList().at(1)->position(), QPointF(4, 4));
    QCOMPARE(circle->reperPointList().at(2)->position(), QPointF(6, 4));
    // The segment selection is back on for the range tool.
    QVERIFY(f.manager->plotSegmentSelection()->isEnabled());

    // Moving near a crossing snaps the cursor onto its pixel.
    const QPoint crossing(int(f.plot->xAxis->coordToPixel(6)), int(f.plot->yAxis->coordToPixel(4)));
    f.driver.movePixel(crossing + QPoint(2, 1));
    QVERIFY(circle->reperPointList().at(2)->isHighlighted());
    QCOMPARE(f.cursorMoves.last(), f.plot->mapToGlobal(crossing));

    // The picture: both traces, the dragged range highlighted on the upper one, the crossings
    // marked, the right one highlighted.
    const testsupport::GrabResult grab = testsupport::grabWindow(f.plot.get(), "construction");
    QVERIFY2(grab.ok(), qPrintable(grab.problem()));
}

GUI_TEST_MAIN(tst_MeasurementMouse)
#include "tst_MeasurementMouse.moc"
