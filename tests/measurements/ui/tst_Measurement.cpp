#include "ContourFixture.h"
#include "MeasurementDouble.h"
#include "core/Constants.h"
#include "measurements/Geometry.h"
#include "measurements/ui/CurveGeometry.h"
#include "measurements/ui/ReperPoint.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"

#include <QSignalSpy>

#include <cmath>
#include <type_traits>

Q_DECLARE_METATYPE(ReperPoint *)

namespace {

// The pointer a signal carried, without touching the object (it may be deleted by now).
const void *pointerIn(const QVariant &v)
{
    return *static_cast<ReperPoint *const *>(v.constData());
}

// A kind that answers everything but whether it has a value.
class SilentKind : public Measurement
{
public:
    using Measurement::Measurement;
    QString name() const override { return QString(); }
    QString valueText() const override { return QString(); }
    double value() const override { return 0.0; }
    void calculate() override { }
    QString groupName() const override { return QString(); }
    void setLargeLabel(bool) override { }
    void updateLabel() override { }
    void setSelected(bool) override { }
};

} // namespace

class tst_Measurement : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    // Must run first: the first measurement of the process.
    void idsStartAtOneAndAreShared();
    void aKindSaysWhetherItHasAValue();
    void selections_data();
    void selections();
    void reperPointLifecycle();
    void reperPointLooks();
    void reperPointFollowsItsCurve();
    void nonFinitePositionStaysHidden();
    void curvePointHelpers_data();
    void curvePointHelpers();
    void pointOfARemovedCurveIsNoNumber();
    void nearestDataIndex_data();
    void nearestDataIndex();
    void nearestPlottable_data();
    void nearestPlottable();
};

void tst_Measurement::initTestCase()
{
    qRegisterMetaType<ReperPoint *>();
}

void tst_Measurement::idsStartAtOneAndAreShared()
{
    ContourFixture first;
    ContourFixture second;
    MeasurementDouble a(CLICK_POINT, first.plot.get());
    MeasurementDouble b(REGULAR_RADIUS, first.plot.get());
    QCOMPARE(a.id(), 1);
    QCOMPARE(b.id(), 2);
    // A measurement on another window's plot continues the sequence; ids are never reused.
    {
        MeasurementDouble c(RMSE, second.plot.get());
        QCOMPARE(c.id(), 3);
    }
    MeasurementDouble d(RMSE, second.plot.get());
    QCOMPARE(d.id(), 4);
    QCOMPARE(Measurement::liveCount(), 3);
}

// Whether a value is measured is for every kind to say: one that does not cannot be built, so
// the tree, the group means and the protocol never take an unmeasured 0 for a value.
void tst_Measurement::aKindSaysWhetherItHasAValue()
{
    QVERIFY(std::is_abstract<SilentKind>::value);
}

void tst_Measurement::selections_data()
{
    // Each step: "r B E C" reports range [B, E) on curve C (0, 1, or - for none), "n" asks for
    // the next selection. The expected records: "B-E-C" each, curve index or - for none.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<bool>("allSelected");
    QTest::newRow("nothing") << QStringList {} << QStringList {} << false;
    QTest::newRow("one drag, three reports")
        << QStringList {"r 10 12 0", "r 10 15 0", "r 10 20 0"} << QStringList {"10-20-0"} << true;
    QTest::newRow("a range without a curve is ignored")
        << QStringList {"r 10 20 0", "r 1 2 -"} << QStringList {"10-20-0"} << true;
    QTest::newRow("next waits for the second range")
        << QStringList {"r 10 20 0", "n"} << QStringList {"10-20-0", "0-0--"} << false;
    QTest::newRow("two ranges") << QStringList {"r 10 20 0", "n", "r 5 8 1"}
                                << QStringList {"10-20-0", "5-8-1"} << true;
    // A click without a drag, or a second next, must not leave an empty record in front of the
    // ranges that follow.
    QTest::newRow("next before any range")
        << QStringList {"n", "r 3 9 1"} << QStringList {"3-9-1"} << true;
    QTest::newRow("next twice") << QStringList {"r 10 20 0", "n", "n", "r 5 8 1"}
                                << QStringList {"10-20-0", "5-8-1"} << true;
    QTest::newRow("next after an empty range")
        << QStringList {"r 7 7 0", "n", "r 5 8 1"} << QStringList {"5-8-1"} << true;
}

void tst_Measurement::selections()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, records);
    QFETCH(bool, allSelected);
    ContourFixture f;
    const QVector<QCPCurve *> curves {f.addLine(0, 1, 0.1, 0, 50), f.addLine(0, 2, 0.1, 0, 50)};
    MeasurementDouble m(RMSE, f.plot.get());
    for (const QString &step : qAsConst(steps)) {
        const QStringList parts = step.split(' ');
        if (parts[0] == "n") {
            m.nextSelection();
        } else {
            QCPCurve *curve = parts[3] == "-" ? nullptr : curves[parts[3].toInt()];
            m.onSegmentSelected(QCPDataRange(parts[1].toInt(), parts[2].toInt()), curve);
        }
    }
    QStringList actual;
    for (const MeasurementSelection &s : m.selectionList()) {
        actual << QStringLiteral("%1-%2-%3")
                      .arg(s.begin)
                      .arg(s.end)
                      .arg(s.curve ? QString::number(curves.indexOf(s.curve)) : "-");
    }
    QCOMPARE(actual, records);
    QCOMPARE(m.allSelected(), allSelected);
    QCOMPARE(m.selectionCount(), records.size());
    QVERIFY(m.selection(quint64(records.size())) == nullptr);
    if (!records.isEmpty())
        QCOMPARE(m.selection(0)->begin, m.selectionList().first().begin);
}

void tst_Measurement::reperPointLifecycle()
{
    ContourFixture f;
    f.addLine(0, 1, 0.1, 0, 50);
    const int curvesBefore = f.plot->curveCount();
    const int itemsBefore = f.plot->itemCount();
    auto *m = new MeasurementDouble(REGULAR_ANGLE, f.plot.get()); // one reper point
    QSignalSpy changed(m, &Measurement::reperPointChanged);
    QSignalSpy removed(m, &Measurement::reperPointRemoved);

    m->createReperPoints(2);
    QCOMPARE(m->reperPointCount(), 3);
    QCOMPARE(f.plot->curveCount(), curvesBefore + 3);
    QCOMPARE(f.plot->itemCount(), itemsBefore + 3);
    for (ReperPoint *p : m->reperPointList()) {
        QVERIFY(!p->isMarkerVisible());
        QVERIFY(!p->isSnapTarget());
        QCOMPARE(p->measurement(), m);
    }

    m->setReperPoint(1, QPointF(2.5, 3.5));
    ReperPoint *placed = m->reperPointList().at(1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(pointerIn(changed.at(0).at(0)), static_cast<const void *>(placed));
    QCOMPARE(placed->position(), QPointF(2.5, 3.5));
    QVERIFY(placed->isMarkerVisible());

    m->enableReperPointSnapping();
    QVERIFY(placed->isSnapTarget());
    m->disableReperPointSnapping();
    QVERIFY(!placed->isSnapTarget());
    m->makeReperPointsSelectable();
    QVERIFY(placed->isSnapTarget());

    ReperPoint *last = m->reperPointList().last();
    m->removeLastReperPoint();
    QCOMPARE(removed.count(), 1);
    QCOMPARE(pointerIn(removed.at(0).at(0)), static_cast<const void *>(last));
    QCOMPARE(m->reperPointCount(), 2);
    QCOMPARE(f.plot->curveCount(), curvesBefore + 2);

    // The destructor announces every remaining point in order, and takes them off the plot.
    const QList<ReperPoint *> remaining = m->reperPointList();
    removed.clear();
    delete m;
    QCOMPARE(removed.count(), 2);
    QCOMPARE(pointerIn(removed.at(0).at(0)), static_cast<const void *>(remaining.at(0)));
    QCOMPARE(pointerIn(removed.at(1).at(0)), static_cast<const void *>(remaining.at(1)));
    QCOMPARE(f.plot->curveCount(), curvesBefore);
    QCOMPARE(f.plot->itemCount(), itemsBefore);
}

void tst_Measurement::reperPointLooks()
{
    ContourFixture f;
    MeasurementDouble m(CLICK_POINT, f.plot.get());
    ReperPoint *p = m.reperPointList().first();
    QCPItemTracer *tracer = p->marker();
    QCOMPARE(tracer->layer()->name(), QStringLiteral("overlay"));
    QCOMPARE(tracer->size(), 7.0);
    QCOMPARE(tracer->style(), QCPItemTracer::tsPlus);
    QCOMPARE(tracer->pen(), kReperPen);
    QCOMPARE(tracer->brush().color(), QColor(Qt::red));

    QCOMPARE(p->setHighlighted(true), false);
    QCOMPARE(tracer->style(), QCPItemTracer::tsCircle);
    QCOMPARE(tracer->pen(), kSelectedItemPen);
    QCOMPARE(tracer->brush().color(), QColor(Qt::green));
    QCOMPARE(tracer->size(), 7.0);
    QCOMPARE(p->setHighlighted(true), true);
    QCOMPARE(p->setHighlighted(false), true);
    QCOMPARE(tracer->style(), QCPItemTracer::tsPlus);
    QCOMPARE(tracer->pen(), kReperPen);
}

void tst_Measurement::reperPointFollowsItsCurve()
{
    // Levelling turns the data of every registered curve in place, the points' curves among
    // them; the markers must go with them.
    ContourFixture f;
    f.addLine(0, 1, 0.1, 0.1, 50);
    MeasurementDouble m(CLICK_POINT, f.plot.get());
    m.setReperPoint(0, QPointF(4, 2));
    const float angle = float(M_PI / 6);
    for (int i = 0; i < f.plot->curveCount(); ++i) {
        QCPCurve *curve = f.plot->curve(i);
        for (auto it = curve->data()->begin(); it != curve->data()->end(); ++it) {
            const QPointF r = rotatePoint(1.0f, 1.0f, angle, QPointF(it->key, it->value));
            it->key = r.x();
            it->value = r.y();
        }
    }
    f.plot->replot();
    const QPointF expected = rotatePoint(1.0f, 1.0f, angle, QPointF(4, 2));
    ReperPoint *p = m.reperPointList().first();
    QCOMPARE(p->position(), expected);
    QCOMPARE(p->marker()->position->coords(), expected);
}

void tst_Measurement::nonFinitePositionStaysHidden()
{
    ContourFixture f;
    MeasurementDouble m(CIRCUMF_AG, f.plot.get());
    m.setReperPoint(0, QPointF(std::nan(""), 1.0));
    QVERIFY(!m.reperPointList().first()->isMarkerVisible());
    m.setReperPoint(0, QPointF(1.0, 1.0));
    QVERIFY(m.reperPointList().first()->isMarkerVisible());
}

void tst_Measurement::curvePointHelpers_data()
{
    QTest::addColumn<bool>("nullCurve");
    QTest::addColumn<int>("index");
    QTest::addColumn<QPointF>("expected");
    QTest::newRow("first") << false << 0 << QPointF(0.5, 2.0);
    QTest::newRow("last") << false << 9 << QPointF(5.0, 11.0);
    QTest::newRow("one past the end") << false << 10 << QPointF(0, 0);
    QTest::newRow("negative") << false << -1 << QPointF(0, 0);
    QTest::newRow("no curve") << true << 0 << QPointF(0, 0);
}

void tst_Measurement::curvePointHelpers()
{
    QFETCH(bool, nullCurve);
    QFETCH(int, index);
    QFETCH(QPointF, expected);
    ContourFixture f;
    QCPCurve *curve = nullCurve ? nullptr : f.addLine(0.5, 2.0, 0.5, 1.0, 10);
    QCOMPARE(curveKeyAt(curve, index), expected.x());
    QCOMPARE(curveValueAt(curve, index), expected.y());
    QCOMPARE((CurvePointRef {index, curve}.point()), expected);
    QCOMPARE(curvePointAt(CurvePointRef {index, curve}), expected);
}

// A point whose curve left the plot (a reper point's curve goes with its measurement) no longer
// exists: it reads as no number, never from the freed curve.
void tst_Measurement::pointOfARemovedCurveIsNoNumber()
{
    ContourFixture f;
    QCPCurve *curve = f.addLine(0.5, 2.0, 0.5, 1.0, 10);
    const CurvePointRef ref {3, curve};
    QCOMPARE(ref.point(), QPointF(2.0, 5.0));
    f.plot->removePlottable(curve);
    QVERIFY(ref.isLost());
    QVERIFY(std::isnan(ref.point().x()) && std::isnan(ref.point().y()));
    QVERIFY(!CurvePointRef().isLost());
}

void tst_Measurement::nearestDataIndex_data()
{
    QTest::addColumn<QVector<QPointF>>("points");
    QTest::addColumn<QPointF>("at");
    QTest::addColumn<int>("expected");
    QVector<QPointF> line;
    for (int i = 0; i < 10; ++i)
        line.append(QPointF(i, 5));
    QTest::newRow("on a point") << line << QPointF(3, 5) << 3;
    QTest::newRow("near a point") << line << QPointF(6.2, 7) << 6;
    QTest::newRow("beyond the end") << line << QPointF(20, 5) << 9;
    QTest::newRow("far below") << line << QPointF(0.1, -100) << 0;
    // A contour that comes back over itself: the lower index wins the tie.
    QTest::newRow("tie") << QVector<QPointF> {{1, 1}, {4, 4}, {5, 5}, {4, 4}, {1, 1}}
                         << QPointF(1.2, 1.2) << 0;
    QTest::newRow("tie inside") << QVector<QPointF> {{1, 1}, {4, 4}, {5, 5}, {4, 4}, {1, 1}}
                                << QPointF(3.8, 4.1) << 1;
}

void tst_Measurement::nearestDataIndex()
{
    QFETCH(QVector<QPointF>, points);
    QFETCH(QPointF, at);
    QFETCH(int, expected);
    ContourFixture f;
    QCPCurve *curve = f.addTrace(points);
    QCOMPARE(::nearestDataIndex(curve, f.pixel(at.x(), at.y())), expected);
    QCOMPARE(::nearestDataIndex(nullptr, f.pixel(at.x(), at.y())), -1);
    auto *empty = new QCPCurve(f.plot->xAxis, f.plot->yAxis);
    QCOMPARE(::nearestDataIndex(empty, f.pixel(at.x(), at.y())), -1);
}

void tst_Measurement::nearestPlottable_data()
{
    QTest::addColumn<QPointF>("at");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("expected"); // index of the trace, -1 for none
    // Traces at y = 2 and y = 6; a reper point's curve at (5, 5.5) registered after them.
    QTest::newRow("near the lower") << QPointF(5, 2.5) << 2 << 0;
    QTest::newRow("near the upper") << QPointF(5, 5.4) << 2 << 1;
    QTest::newRow("exactly between") << QPointF(5, 4) << 2 << 0;
    QTest::newRow("only the first counts") << QPointF(5, 6) << 1 << 0;
    QTest::newRow("no trace") << QPointF(5, 6) << 0 << -1;
    // Curves after the traces are never considered, however near.
    QTest::newRow("reper curve ignored") << QPointF(5, 5.5) << 2 << 1;
}

void tst_Measurement::nearestPlottable()
{
    QFETCH(QPointF, at);
    QFETCH(int, count);
    QFETCH(int, expected);
    ContourFixture f;
    f.addLine(0, 2, 0.5, 0, 21);
    f.addLine(0, 6, 0.5, 0, 21);
    MeasurementDouble m(CLICK_POINT, f.plot.get());
    m.setReperPoint(0, QPointF(5, 5.5));
    const QPoint pixel = f.pixel(at.x(), at.y());
    QCPCurve *found = ::nearestPlottable(f.plot.get(), count, pixel);
    QCOMPARE(found, expected < 0 ? nullptr : f.traces.at(expected));
    QCOMPARE(::nearestPlottable(nullptr, 2, pixel), nullptr);
}

GUI_TEST_MAIN(tst_Measurement)
#include "tst_Measurement.moc"
