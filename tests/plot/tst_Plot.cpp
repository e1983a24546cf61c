#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "plot/SuffixTicker.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>
#include <cmath>
#include <limits>

namespace {

// A plot with a laid-out axis rect of a known size, ranges 0..100 by 0..10.
struct Fixture
{
    Plot plot;
    Fixture()
    {
        plot.resize(600, 400);
        plot.xAxis->setRange(0, 100);
        plot.yAxis->setRange(0, 10);
        plot.show();
        plot.replot();
    }

    QPoint pixel(double key, double value) const
    {
        return QPointF(plot.xAxis->coordToPixel(key), plot.yAxis->coordToPixel(value)).toPoint();
    }

    // A selectable horizontal curve of 101 points at the given height, keys 0..100.
    QCPCurve *flatCurve(double value, bool adaptive = true)
    {
        QVector<double> keys, values;
        for (int i = 0; i <= 100; ++i) {
            keys << i;
            values << value;
        }
        QCPCurve *c = adaptive ? new AdaptiveCurve(plot.xAxis, plot.yAxis)
                               : new QCPCurve(plot.xAxis, plot.yAxis);
        c->setData(keys, values);
        c->setSelectable(QCP::stDataRange);
        return c;
    }

    void mouse(QEvent::Type type, const QPoint &pos, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(pos), plot.mapToGlobal(pos), button, buttons, modifiers);
        QApplication::sendEvent(&plot, &event);
    }
    void move(const QPoint &pos, Qt::MouseButtons buttons = Qt::NoButton,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        mouse(QEvent::MouseMove, pos, buttons, modifiers);
    }

    // Press at from, move through the given points and optionally release at the last one.
    void drag(const QPoint &from, const QVector<QPoint> &through, bool release = true,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, modifiers);
        for (const QPoint &p : through)
            move(p, Qt::LeftButton, modifiers);
        if (release)
            mouse(QEvent::MouseButtonRelease, through.last(), Qt::NoButton, modifiers);
    }

    void rangeMode(int extra = 0)
    {
        plot.setInteractions(QCP::iSelectPlottables | Plot::iRangeSelection | extra);
        plot.setSelectionRectMode(Plot::srmSelectRealtime);
    }
};

// The geometric distance from pos to the curve's points and straight segments, and the index of
// the nearest point (lowest on a tie), by walking every point.
CurveHitTester::Hit bruteForceHit(const QCPCurve *c, const QPointF &pos)
{
    CurveHitTester::Hit hit;
    double best = std::numeric_limits<double>::max();
    double line = best;
    QPointF previous;
    int i = 0;
    for (auto it = c->data()->constBegin(); it != c->data()->constEnd(); ++it, ++i) {
        const QPointF p = c->coordsToPixels(it->key, it->value);
        const double d = QCPVector2D(p - pos).lengthSquared();
        if (d < best) {
            best = d;
            hit.index = i;
        }
        if (i > 0 && c->lineStyle() != QCPCurve::lsNone)
            line = std::min(
                line,
                QCPVector2D(pos).distanceSquaredToLine(QCPVector2D(previous), QCPVector2D(p)));
        previous = p;
    }
    hit.distance = std::sqrt(std::min(best, line));
    return hit;
}

QCPDataRange selectedRange(const QCPCurve *c)
{
    const QCPDataSelection s = c->selection();
    return s.isEmpty() ? QCPDataRange(0, 0) : s.span();
}

} // namespace

class tst_Plot : public QObject
{
    Q_OBJECT

private slots:
    void registryKeepsCurvesInCreationOrder();
    void registryOutOfBounds();
    void registryFollowsPlottablesAfterAWalk();
    void registryWalkIsLinear();
    void projectFlagsStayOutOfTheLibrary();
    void markerExistsWhileRangeSelectionIsOn();
    void markerSnapsToNearestSelectableCurve();
    void markerTieKeepsFirstCurve();
    void markerLosesRemovedCurve();
    void markerShowsOnlyWhileOnAPoint();
    void fastHitTestMatchesLibrary_data();
    void fastHitTestMatchesLibrary();
    void realtimeRangeSelection_data();
    void realtimeRangeSelection();
    void rangeSelectionWithoutCurveChangesNothing();
    void plainSelectModeSelectsOnRelease();
    void keptSelections_data();
    void keptSelections();
    void additiveRangeDragAddsOnce();
    void suffixOnTickLabels_data();
    void suffixOnTickLabels();
    void tickLabelsShowTheStep_data();
    void tickLabelsShowTheStep();
};

void tst_Plot::registryKeepsCurvesInCreationOrder()
{
    Fixture f;
    QCPCurve *c1 = f.flatCurve(1, false);
    QCPGraph *g1 = f.plot.addGraph();
    QCPCurve *c2 = f.flatCurve(2);
    QCPGraph *g2 = f.plot.addGraph();
    QCPCurve *c3 = f.flatCurve(3, false);
    QCOMPARE(f.plot.curveCount(), 3);
    QCOMPARE(f.plot.curve(0), c1);
    QCOMPARE(f.plot.curve(1), c2);
    QCOMPARE(f.plot.curve(2), c3);

    QVERIFY(f.plot.removeGraph(g1));
    QCOMPARE(f.plot.curves(), (QList<QCPCurve *> {c1, c2, c3}));

    QVERIFY(f.plot.removePlottable(c2));
    QCOMPARE(f.plot.curveCount(), 2);
    QCOMPARE(f.plot.curve(1), c3);

    // A plottable of another plot is not removed and leaves the registry alone.
    Plot other;
    QCPCurve *foreign = new QCPCurve(other.xAxis, other.yAxis);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("not in list"));
    QVERIFY(!f.plot.removePlottable(foreign));
    QCOMPARE(f.plot.curveCount(), 2);
    QCOMPARE(other.curve(0), foreign);

    QVERIFY(f.plot.removePlottable(g2));
    QCOMPARE(f.plot.curves(), (QList<QCPCurve *> {c1, c3}));
}

void tst_Plot::registryOutOfBounds()
{
    Fixture f;
    f.flatCurve(1);
    for (int index : {-1, 1}) {
        QTest::ignoreMessage(
            QtDebugMsg,
            qPrintable(
                QStringLiteral("QCPCurve* QCustomPlot::curve(int) const index out of bounds: %1")
                    .arg(index)));
        QCOMPARE(f.plot.curve(index), nullptr);
    }
}

// The registry read between changes always shows the plot's curves as they are.
void tst_Plot::registryFollowsPlottablesAfterAWalk()
{
    Fixture f;
    QCPCurve *c1 = f.flatCurve(1);
    QCOMPARE(f.plot.curves(), (QList<QCPCurve *> {c1}));
    QCPCurve *c2 = f.flatCurve(2, false);
    f.plot.addGraph();
    QCOMPARE(f.plot.curveCount(), 2);
    QCOMPARE(f.plot.curve(1), c2);
    QVERIFY(f.plot.removePlottable(0));
    QCOMPARE(f.plot.curves(), (QList<QCPCurve *> {c2}));
    QCPCurve *c3 = f.flatCurve(3);
    QCOMPARE(f.plot.curve(1), c3);
    f.plot.clearPlottables();
    QCOMPARE(f.plot.curveCount(), 0);
    QCPCurve *c4 = f.flatCurve(4);
    QCOMPARE(f.plot.curves(), (QList<QCPCurve *> {c4}));
    // A curve that a receiver of its own destruction asks about is already gone.
    int countSeenOnDestruction = -1;
    connect(c4, &QObject::destroyed, this,
            [&f, &countSeenOnDestruction] { countSeenOnDestruction = f.plot.curveCount(); });
    QVERIFY(f.plot.removePlottable(c4));
    QCOMPARE(countSeenOnDestruction, 0);
    QCOMPARE(f.plot.curveCount(), 0);
}

// A walk over curveCount() with curve(i) reads a kept list: with 8000 curves it is about a
// millisecond, where building the list on every call took half a second. The bound is generous
// for a shared machine and a sanitizer build.
void tst_Plot::registryWalkIsLinear()
{
    Plot plot;
    // The library's legend would cost far more than the registry itself when the plot goes.
    plot.setAutoAddPlottableToLegend(false);
    QList<QCPCurve *> created;
    for (int i = 0; i < 8000; ++i) {
        created << new QCPCurve(plot.xAxis, plot.yAxis);
        if (i % 4 == 0)
            plot.addGraph();
    }
    QElapsedTimer clock;
    clock.start();
    QList<QCPCurve *> walked;
    for (int i = 0; i < plot.curveCount(); ++i)
        walked << plot.curve(i);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(walked, created);
    QVERIFY2(elapsed < 100, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
}

void tst_Plot::projectFlagsStayOutOfTheLibrary()
{
    Fixture f;
    // The profile window's combination: 0x608.
    f.plot.setInteractions(QCP::iSelectPlottables | Plot::iKeepSelections | Plot::iRangeSelection);
    QCOMPARE(f.plot.interactionFlags(), 0x608);
    QCOMPARE(int(f.plot.interactions()), int(QCP::iSelectPlottables));
    QVERIFY(!f.plot.interactions().testFlag(QCP::iSelectPlottablesBeyondAxisRect));
    QVERIFY(f.plot.testInteraction(Plot::iKeepSelections));

    f.plot.setInteraction(Plot::iKeepSelections, false);
    QCOMPARE(f.plot.interactionFlags(), 0x208);
    f.plot.setInteraction(QCP::iRangeDrag);
    QCOMPARE(f.plot.interactionFlags(), 0x209);
    QCOMPARE(int(f.plot.interactions()), 0x9);
}

void tst_Plot::markerExistsWhileRangeSelectionIsOn()
{
    Fixture f;
    QCOMPARE(f.plot.selectionMarker(), nullptr);
    QVERIFY(f.plot.rangeSelectionRect()->rectVisible());

    QTest::ignoreMessage(QtDebugMsg, "created selection marker");
    f.plot.setInteractions(Plot::iRangeSelection);
    f.plot.setInteractions(Plot::iRangeSelection | QCP::iSelectPlottables);
    QCOMPARE(f.plot.itemCount(), 1);
    QCPItemLine *marker = f.plot.selectionMarker();
    QVERIFY(marker);
    QCOMPARE(marker->layer()->name(), QStringLiteral("overlay2"));
    QVERIFY(!marker->selectable());
    QCOMPARE(marker->pen().style(), Qt::DashDotLine);
    QCOMPARE(marker->head().style(), QCPLineEnding::esLineArrow);
    QVERIFY(!f.plot.rangeSelectionRect()->rectVisible());

    // Hidden markers stay; turning the flag off deletes the marker once.
    f.plot.setSelectionMarkerVisible(false);
    f.plot.setInteraction(Plot::iRangeSelection);
    QCOMPARE(f.plot.selectionMarker(), marker);
    QVERIFY(!marker->visible());

    QTest::ignoreMessage(QtDebugMsg, "deleted selection marker");
    f.plot.setInteraction(Plot::iRangeSelection, false);
    f.plot.setInteractions(QCP::iSelectPlottables);
    QCOMPARE(f.plot.selectionMarker(), nullptr);
    QCOMPARE(f.plot.itemCount(), 0);
    QVERIFY(f.plot.rangeSelectionRect()->rectVisible());
    f.plot.setSelectionMarkerVisible(true); // no marker: nothing happens

    // The layers: overlay2 directly above overlay, both buffered.
    QCPLayer *overlay2 = f.plot.layer(QStringLiteral("overlay2"));
    QVERIFY(overlay2);
    QCOMPARE(overlay2->index(), f.plot.layer(QStringLiteral("overlay"))->index() + 1);
    QCOMPARE(overlay2->mode(), QCPLayer::lmBuffered);
    QCOMPARE(f.plot.currentLayer()->name(), QStringLiteral("main"));
}

void tst_Plot::markerSnapsToNearestSelectableCurve()
{
    Fixture f;
    QCPCurve *low = f.flatCurve(2);
    QCPCurve *high = f.flatCurve(6, false);
    QCPCurve *locked = f.flatCurve(4);
    locked->setSelectable(QCP::stNone);
    f.plot.setInteractions(Plot::iRangeSelection);

    QCOMPARE(f.plot.markerDataIndex(), -1);
    QCOMPARE(f.plot.markerCurve(), nullptr);

    // Nearest to the unselectable curve, but it never attracts the marker.
    f.move(f.pixel(30.2, 4.4));
    QCOMPARE(f.plot.markerCurve(), high);
    QCOMPARE(f.plot.markerDataIndex(), 30);
    QCPItemLine *marker = f.plot.selectionMarker();
    QCOMPARE(marker->end->coords(), QPointF(30, 6));
    const QPoint p = f.pixel(30.2, 4.4);
    QCOMPARE(marker->start->coords(),
             QPointF(f.plot.xAxis->pixelToCoord(p.x()), f.plot.yAxis->pixelToCoord(p.y())));

    // The marker follows the pointer to the nearest point.
    f.move(f.pixel(71.8, 3.5));
    QCOMPARE(f.plot.markerCurve(), low);
    QCOMPARE(f.plot.markerDataIndex(), 72);
    QCOMPARE(marker->end->coords(), QPointF(72, 2));

    // Outside the axis rect nothing is hit and the marker stays.
    f.move(QPoint(2, 2));
    QCOMPARE(f.plot.markerCurve(), low);
    QCOMPARE(f.plot.markerDataIndex(), 72);
    QCOMPARE(marker->end->coords(), QPointF(72, 2));

    // Without the flag the marker is gone and the stored point no longer changes.
    f.plot.setInteractions(QCP::iSelectPlottables);
    f.move(f.pixel(10, 6));
    QCOMPARE(f.plot.markerDataIndex(), 72);
}

void tst_Plot::markerTieKeepsFirstCurve()
{
    Fixture f;
    QCPCurve *first = f.flatCurve(5);
    f.flatCurve(5);
    f.plot.setInteractions(Plot::iRangeSelection);
    f.move(f.pixel(40, 7));
    QCOMPARE(f.plot.markerCurve(), first);
}

void tst_Plot::markerLosesRemovedCurve()
{
    Fixture f;
    QCPCurve *c = f.flatCurve(5);
    f.plot.setInteractions(Plot::iRangeSelection);
    f.move(f.pixel(40, 6));
    QCOMPARE(f.plot.markerCurve(), c);
    f.plot.removePlottable(c);
    QCOMPARE(f.plot.markerCurve(), nullptr);
    QCOMPARE(f.plot.markerDataIndex(), -1);
    f.move(f.pixel(40, 6)); // no curve left: nothing to snap to, no crash
    QCOMPARE(f.plot.markerCurve(), nullptr);
}

// The marker is an arrow to a curve point: a new one, whose ends lie at the item's defaults (0, 0)
// and (1, 1), and one whose curve has gone point where no curve is, and are not drawn.
void tst_Plot::markerShowsOnlyWhileOnAPoint()
{
    Fixture f;
    QCPCurve *c = f.flatCurve(5);
    f.plot.setInteractions(Plot::iRangeSelection);
    QCPItemLine *marker = f.plot.selectionMarker();
    QVERIFY(!marker->visible());
    // Shown by a tool before the pointer came over the plot: still nothing to point at.
    f.plot.setSelectionMarkerVisible(true);
    QVERIFY(!marker->visible());
    f.move(f.pixel(40, 6));
    QVERIFY(marker->visible());
    QCOMPARE(marker->end->coords(), QPointF(40, 5));

    // Hidden by a tool, it stays hidden while it follows the pointer, and shows when asked.
    f.plot.setSelectionMarkerVisible(false);
    f.move(f.pixel(50, 6));
    QVERIFY(!marker->visible());
    QCOMPARE(marker->end->coords(), QPointF(50, 5));
    f.plot.setSelectionMarkerVisible(true);
    QVERIFY(marker->visible());

    // Its curve gone, it hides until it rests on a point again.
    QCPCurve *other = f.flatCurve(8);
    f.plot.removePlottable(c);
    QVERIFY(!marker->visible());
    f.plot.setSelectionMarkerVisible(true);
    QVERIFY(!marker->visible());
    f.move(f.pixel(30, 7));
    QVERIFY(marker->visible());
    QCOMPARE(f.plot.markerCurve(), other);

    // A marker made anew (a tool without range selection came between) waits for its snap.
    f.plot.setInteractions(QCP::iRangeZoom);
    f.plot.setInteractions(Plot::iRangeSelection);
    QVERIFY(!f.plot.selectionMarker()->visible());
    f.move(f.pixel(30, 7));
    QVERIFY(f.plot.selectionMarker()->visible());
}

void tst_Plot::fastHitTestMatchesLibrary_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<bool>("zoomed");
    QTest::addColumn<int>("lineStyle");
    QTest::newRow("ascending") << "ascending" << false << int(QCPCurve::lsLine);
    QTest::newRow("ascending zoomed") << "ascending" << true << int(QCPCurve::lsLine);
    QTest::newRow("descending") << "descending" << false << int(QCPCurve::lsLine);
    QTest::newRow("repeated keys") << "steps" << false << int(QCPCurve::lsLine);
    QTest::newRow("NaN values") << "nan" << false << int(QCPCurve::lsLine);
    QTest::newRow("scatter only") << "ascending" << false << int(QCPCurve::lsNone);
    QTest::newRow("not monotonic") << "loop" << false << int(QCPCurve::lsLine);
}

// The plot's hit test must pick the same data point as the library's curve hit test, and report
// the same distance, whatever the shape of the data.
void tst_Plot::fastHitTestMatchesLibrary()
{
    QFETCH(QString, shape);
    QFETCH(bool, zoomed);
    QFETCH(int, lineStyle);
    Fixture f;
    QRandomGenerator rng(1234);
    const int n = 5000;
    QVector<double> t(n), keys(n), values(n);
    for (int i = 0; i < n; ++i) {
        t[i] = i;
        const double k = 100.0 * i / (n - 1);
        keys[i] = shape == "descending" ? 100.0 - k : shape == "steps" ? std::floor(k / 2) * 2 : k;
        values[i] = 5 + 3 * std::sin(k / 7.0) + rng.generateDouble() * 0.5;
        if (shape == "loop")
            keys[i] = 50 + 40 * std::cos(k / 10.0);
        if (shape == "nan" && (i % 97 == 0 || (i > 1000 && i < 1200)))
            values[i] = std::nan("");
    }
    auto *c = new AdaptiveCurve(f.plot.xAxis, f.plot.yAxis);
    c->setData(t, keys, values, true);
    c->setLineStyle(QCPCurve::LineStyle(lineStyle));
    if (lineStyle == QCPCurve::lsNone)
        c->setScatterStyle(QCPScatterStyle::ssDisc);
    if (zoomed)
        f.plot.xAxis->setRange(40, 40.5);
    f.plot.replot();

    const QRect area = f.plot.axisRect()->rect();
    for (int trial = 0; trial < 300; ++trial) {
        const QPointF pos(area.left() + rng.bounded(area.width()),
                          area.top() + rng.bounded(area.height()));
        QVariant details;
        const double expected = c->QCPCurve::selectTest(pos, false, &details);
        const int expectedIndex = details.value<QCPDataSelection>().dataRange(0).begin();
        const CurveHitTester::Hit hit = f.plot.curveHitTest(c, pos);
        QCOMPARE(hit.index, expectedIndex);
        // The curve's own hit test, which the plot calls on every press, gives the same answer.
        QVariant own;
        QCOMPARE(c->selectTest(pos, false, &own), hit.distance);
        QCOMPARE(own.value<QCPDataSelection>().dataRange(0).begin(), hit.index);
        // The distance is the geometric one. The library measures against its line clipped to
        // the view, which outside the view runs along made-up border points, so it agrees only
        // while the whole curve is in view.
        COMPARE_TOL(hit.distance, bruteForceHit(c, pos).distance, 1e-9, 1e-9);
        if (!zoomed)
            COMPARE_TOL(hit.distance, expected, 1e-9, 1e-9);
    }
    QCOMPARE(f.plot.curveHitTest(c, QPointF(1, 1)).distance, -1.0);

    // Values edited in place are seen after the next replot.
    for (auto it = c->data()->begin(); it != c->data()->end(); ++it)
        it->value = 1.0;
    f.plot.replot();
    const QPointF pos(area.center().x(), area.top() + 5);
    const CurveHitTester::Hit edited = f.plot.curveHitTest(c, pos);
    QCOMPARE(edited.index, bruteForceHit(c, pos).index);
    COMPARE_TOL(edited.distance, bruteForceHit(c, pos).distance, 1e-9, 1e-9);
}

void tst_Plot::realtimeRangeSelection_data()
{
    QTest::addColumn<double>("fromKey");
    QTest::addColumn<double>("toKey");
    QTest::addColumn<int>("begin");
    QTest::addColumn<int>("end");
    QTest::newRow("left to right") << 20.0 << 50.0 << 20 << 50;
    QTest::newRow("right to left") << 50.0 << 20.0 << 20 << 50;
    QTest::newRow("same point") << 30.0 << 30.2 << 0 << 0;
    // Leaving the axis rect on the right runs to the last visible point, not back to index 0.
    QTest::newRow("leaves right") << 80.0 << 130.0 << 80 << 100;
    QTest::newRow("leaves left") << 40.0 << -30.0 << 0 << 40;
}

void tst_Plot::realtimeRangeSelection()
{
    QFETCH(double, fromKey);
    QFETCH(double, toKey);
    QFETCH(int, begin);
    QFETCH(int, end);
    Fixture f;
    QCPCurve *c = f.flatCurve(5);
    f.rangeMode();
    QSignalSpy byUser(&f.plot, &QCustomPlot::selectionChangedByUser);

    // The press is slightly off the curve; the curve is met at the first movement.
    const QPoint from = f.pixel(fromKey, 5.3);
    const QPoint to = f.pixel(toKey, 5.6);
    const QPoint middle = (from + to) / 2;
    f.drag(from, {from + QPoint(1, 0), middle, to}, false);
    QCOMPARE(f.plot.rangeSelectionRect()->rangeCurve(), c);
    QCOMPARE(f.plot.rangeSelectionRect()->rangeAnchor(), from + QPoint(1, 0));
    // Applied while the button is still held.
    QCOMPARE(selectedRange(c), QCPDataRange(begin, end));
    if (begin != end)
        QVERIFY(byUser.count() >= 1);

    f.mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
    QCOMPARE(selectedRange(c), QCPDataRange(begin, end));
    QCOMPARE(c->selection().isEmpty(), begin == end);

    // A new drag chooses its curve afresh.
    f.mouse(QEvent::MouseButtonPress, f.pixel(10, 1), Qt::LeftButton);
    QCOMPARE(f.plot.rangeSelectionRect()->rangeCurve(), nullptr);
}

void tst_Plot::rangeSelectionWithoutCurveChangesNothing()
{
    Fixture f;
    // No selectable curve: the drag finds no curve and touches no other selection.
    QCPCurve *c = f.flatCurve(5);
    c->setSelectable(QCP::stNone);
    QCPGraph *g = f.plot.addGraph();
    g->setData({0, 50, 100}, {1, 1, 1});
    g->setSelectable(QCP::stDataRange);
    g->setSelection(QCPDataSelection(QCPDataRange(0, 2)));
    f.rangeMode();
    QSignalSpy byUser(&f.plot, &QCustomPlot::selectionChangedByUser);
    f.drag(f.pixel(20, 5), {f.pixel(20, 5) + QPoint(1, 0), f.pixel(60, 5)});
    QCOMPARE(f.plot.rangeSelectionRect()->rangeCurve(), nullptr);
    QCOMPARE(g->selection(), QCPDataSelection(QCPDataRange(0, 2)));
    QCOMPARE(byUser.count(), 0);
}

void tst_Plot::plainSelectModeSelectsOnRelease()
{
    Fixture f;
    QCPCurve *c = f.flatCurve(5);
    f.plot.setInteractions(QCP::iSelectPlottables);
    f.plot.setSelectionRectMode(Plot::srmSelectRealtime);
    // Back from the real-time mode to the library's select mode: moves no longer select.
    f.plot.setSelectionRectMode(QCP::srmSelect);
    const QPoint from = f.pixel(9.5, 6);
    const QPoint to = f.pixel(30.5, 4);
    f.drag(from, {from + QPoint(1, 0), to}, false);
    QVERIFY(c->selection().isEmpty());
    f.mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
    QCOMPARE(selectedRange(c), QCPDataRange(10, 31));

    // Real time again: the plain rectangle selection follows the pointer.
    c->setSelection(QCPDataSelection());
    f.plot.setSelectionRectMode(Plot::srmSelectRealtime);
    f.drag(from, {from + QPoint(1, 0), to}, false);
    QCOMPARE(selectedRange(c), QCPDataRange(10, 31));
    f.mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);

    // No mode: the drag selects nothing.
    f.plot.setSelectionRectMode(QCP::srmNone);
    c->setSelection(QCPDataSelection());
    f.drag(from, {from + QPoint(1, 0), to});
    QVERIFY(c->selection().isEmpty());
}

void tst_Plot::keptSelections_data()
{
    QTest::addColumn<bool>("keep");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("keep") << true << int(Qt::NoModifier);
    QTest::newRow("clear") << false << int(Qt::NoModifier);
    QTest::newRow("clear with multi-select key") << false << int(Qt::ControlModifier);
}

void tst_Plot::keptSelections()
{
    QFETCH(bool, keep);
    QFETCH(int, modifiers);
    Fixture f;
    QCPCurve *low = f.flatCurve(2);
    QCPCurve *high = f.flatCurve(8);
    f.rangeMode(keep ? Plot::iKeepSelections : 0);

    f.drag(f.pixel(10, 2), {f.pixel(10, 2) + QPoint(1, 0), f.pixel(40, 2)});
    QCOMPARE(selectedRange(low), QCPDataRange(10, 40));

    const auto mods = Qt::KeyboardModifiers(modifiers);
    f.drag(f.pixel(50, 8), {f.pixel(50, 8) + QPoint(1, 0), f.pixel(70, 8)}, true, mods);
    QCOMPARE(selectedRange(high), QCPDataRange(50, 70));
    QCOMPARE(low->selection().isEmpty(), !keep);
    if (keep)
        QCOMPARE(selectedRange(low), QCPDataRange(10, 40));
}

// With the multi-select key the drag's range is added once to what the curve had, although it
// is applied on every movement and again on release.
void tst_Plot::additiveRangeDragAddsOnce()
{
    Fixture f;
    QCPCurve *c = f.flatCurve(5);
    c->setSelectable(QCP::stMultipleDataRanges);
    c->setSelection(QCPDataSelection(QCPDataRange(5, 15)));
    f.rangeMode(Plot::iKeepSelections);
    const QPoint from = f.pixel(50, 5);
    f.drag(from, {from + QPoint(1, 0), f.pixel(60, 5), f.pixel(55, 5), f.pixel(70, 5)}, true,
           Qt::ControlModifier);
    QCPDataSelection expected(QCPDataRange(5, 15));
    expected.addDataRange(QCPDataRange(50, 70));
    QCOMPARE(c->selection(), expected);
}

void tst_Plot::suffixOnTickLabels_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("none") << QString();
    QTest::newRow("percent") << QStringLiteral("%");
    QTest::newRow("unit") << QStringLiteral(" мкм");
}

void tst_Plot::suffixOnTickLabels()
{
    QFETCH(QString, suffix);
    Fixture f;
    // The opposite axes keep the library's plain ticker on the same ranges for reference.
    f.plot.xAxis2->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
    f.plot.yAxis2->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
    f.plot.xAxis2->setVisible(true);
    f.plot.yAxis2->setVisible(true);
    f.plot.xAxis2->setRange(f.plot.xAxis->range());
    f.plot.yAxis2->setRange(f.plot.yAxis->range());
    QVERIFY(tickLabelSuffix(f.plot.xAxis));
    QVERIFY(!tickLabelSuffix(f.plot.xAxis2));
    setTickSuffix(f.plot.xAxis, suffix);
    setTickSuffix(f.plot.yAxis, suffix);
    f.plot.replot();

    for (auto [axis, reference] :
         {std::pair {f.plot.xAxis, f.plot.xAxis2}, std::pair {f.plot.yAxis, f.plot.yAxis2}}) {
        const QVector<QString> labels = axis->tickVectorLabels();
        const QVector<QString> plain = reference->tickVectorLabels();
        QVERIFY(!labels.isEmpty());
        QCOMPARE(labels.size(), plain.size());
        for (int i = 0; i < labels.size(); ++i)
            QCOMPARE(labels.at(i), plain.at(i) + suffix);
    }

    // Another ticker kind gets a suffix too; an axis without one is given a suffix ticker.
    auto fixed = QSharedPointer<SuffixTickerOf<QCPAxisTickerFixed>>::create();
    fixed->setTickStep(25);
    fixed->setSuffix(suffix);
    f.plot.xAxis->setTicker(fixed);
    setTickSuffix(f.plot.xAxis2, QStringLiteral("!"));
    f.plot.replot();
    QCOMPARE(f.plot.xAxis->tickVectorLabels().first(), QStringLiteral("0") + suffix);
    QCOMPARE(f.plot.xAxis->tickVector().size(), 5);
    QVERIFY(f.plot.xAxis2->tickVectorLabels().first().endsWith(QLatin1Char('!')));
}

void tst_Plot::tickLabelsShowTheStep_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("precision");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    // A roughness profile of a few micrometres in millimetres, as the profile plot shows it.
    QTest::newRow("micrometres in mm") << "f" << 3 << -0.0002 << 0.0024;
    QTest::newRow("zoomed") << "f" << 3 << 0.00101 << 0.00118;
    // Where three decimals are enough the labels stay as they were.
    QTest::newRow("millimetres") << "f" << 3 << 0.0 << 6.4;
    // The contour plot's default format: six significant digits cannot tell ticks 0.0002 apart
    // at a thousand.
    QTest::newRow("significant digits at an offset") << "gbd" << 6 << 1000.0 << 1000.001;
    QTest::newRow("percent") << "gbd" << 6 << 0.0 << 100.0;
}

void tst_Plot::tickLabelsShowTheStep()
{
    QFETCH(QString, format);
    QFETCH(int, precision);
    QFETCH(double, lower);
    QFETCH(double, upper);
    Fixture f;
    QLocale russian(QLocale::Russian, QLocale::Russia);
    russian.setNumberOptions(QLocale::OmitGroupSeparator);
    f.plot.setLocale(russian);
    f.plot.yAxis->setNumberFormat(format);
    f.plot.yAxis->setNumberPrecision(precision);
    setTickSuffix(f.plot.yAxis, QStringLiteral(" мм"));
    f.plot.yAxis->setRange(lower, upper);
    f.plot.replot();
    const QVector<double> ticks = f.plot.yAxis->tickVector();
    const QVector<QString> labels = f.plot.yAxis->tickVectorLabels();
    QVERIFY(ticks.size() >= 3);
    QCOMPARE(labels.size(), ticks.size());
    const double step = ticks.at(1) - ticks.at(0);
    // The decimals of the step written out in full: 0.0005 has four.
    const QString stepText = QString::number(step, 'f', 12).remove(QRegularExpression("0+$"));
    const int stepDecimals = int(stepText.size()) - int(stepText.indexOf(QLatin1Char('.'))) - 1;
    for (int i = 0; i < labels.size(); ++i) {
        const QString label = labels.at(i);
        QVERIFY2(label.endsWith(QStringLiteral(" мм")), qPrintable(label));
        const QString number = label.chopped(3);
        if (format == QLatin1String("f")) {
            // The decimal comma, and as many decimals as the step needs, at least the axis's.
            const int comma = number.indexOf(QLatin1Char(','));
            QCOMPARE(comma < 0 ? 0 : int(number.size()) - comma - 1,
                     std::max(precision, stepDecimals));
        }
        bool ok = false;
        const double value = russian.toDouble(number, &ok);
        QVERIFY2(ok, qPrintable(label));
        // The label is the tick's value, and two neighbours never read the same.
        COMPARE_TOL(value, ticks.at(i), 0, step * 1e-6);
        if (i > 0)
            QVERIFY2(label != labels.at(i - 1), qPrintable(label));
    }
}

GUI_TEST_MAIN(tst_Plot)
#include "tst_Plot.moc"
