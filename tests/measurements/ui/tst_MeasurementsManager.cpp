#include "ManagerFixture.h"
#include "core/Settings.h"
#include "measurements/DxfDrawing.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"
#include "support/gui/PlotDriver.h"

#include <QSignalSpy>

#include <cmath>

Q_DECLARE_METATYPE(Measurement *)

using testsupport::PlotDriver;

namespace {

void setAlternativeMeasurement(bool on)
{
    const auto locker = Settings::writeLocker();
    Settings::instance()->preferences.alternative_measurement = on;
}

// The measurement a signal carried, without touching it (it may be deleted by now).
const void *pointerIn(const QVariant &v)
{
    return *static_cast<Measurement *const *>(v.constData());
}

} // namespace

class tst_MeasurementsManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void toolSetsUpThePlot_data();
    void toolSetsUpThePlot();
    void toolChangeWhileBuilding_data();
    void toolChangeWhileBuilding();
    void drawingMeasurementAndItsButton();
    void deviationsFollowThePlacedDrawings();
    void deviationIsBuiltOnTheDrawingItMeasuresAgainst();
    void typedParameters_data();
    void typedParameters();
    void intersectionPoints_data();
    void intersectionPoints();
    void equidistant_data();
    void equidistant();
    void equidistantDropsTheUnfinished();
    void graphDataChangedRecalculatesInListOrder();
    void changeIsReportedForTheMeasurementThatChanged();
    void removeAndFind();
    void connectingTwiceListsOnce();
    void destructionDeletesEverything();
    void announcedOnceConnected();
    void comparisonDrawingOfTheLatestImport();
    void levellingsCompose();
};

void tst_MeasurementsManager::initTestCase()
{
    qRegisterMetaType<Measurement *>();
}

void tst_MeasurementsManager::cleanup()
{
    setAlternativeMeasurement(false);
    QCOMPARE(Measurement::liveCount(), 0);
}

void tst_MeasurementsManager::toolSetsUpThePlot_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("alternative");
    QTest::addColumn<bool>("segmentSelection");
    QTest::addColumn<bool>("markerVisible");
    QTest::newRow("height, clicks") << 0 << false << false << true;
    QTest::newRow("height, ranges") << 0 << true << true << true;
    QTest::newRow("straight distance, ranges") << 3 << true << true << true;
    QTest::newRow("largest height") << 2 << false << true << true;
    QTest::newRow("horizontal line") << 24 << true << false << true;
    QTest::newRow("middle point") << 28 << false << true << true;
    QTest::newRow("text") << 32 << false << false << false;
    QTest::newRow("no tool") << 35 << false << false << false;
}

void tst_MeasurementsManager::toolSetsUpThePlot()
{
    QFETCH(int, kind);
    QFETCH(bool, alternative);
    QFETCH(bool, segmentSelection);
    QFETCH(bool, markerVisible);
    setAlternativeMeasurement(alternative);
    ManagerFixture f;
    f.plot->setInteractions(QCP::iRangeZoom);
    f.manager->setMeasurementType(E_MEASUREMENTS(kind), true, false, QString());
    QCOMPARE(f.manager->isClickBased(), !segmentSelection);
    QCOMPARE(f.manager->plotSegmentSelection()->isEnabled(), segmentSelection);
    QVERIFY(f.plot->testInteraction(Plot::iRangeSelection));
    QVERIFY(f.plot->selectionMarker());
    // Shown or hidden by the tool; drawn once the pointer has brought it onto a point.
    QCOMPARE(f.plot->selectionMarkerShown(), markerVisible);
    // Text and no tool keep the other interactions; every other tool has range selection alone.
    QCOMPARE(f.plot->testInteraction(QCP::iRangeZoom), kind == 32 || kind == 35);
    QCOMPARE(f.plot->cursor().shape(), kind == 32 ? Qt::IBeamCursor : Qt::ArrowCursor);
}

void tst_MeasurementsManager::toolChangeWhileBuilding_data()
{
    QTest::addColumn<bool>("listed");
    QTest::addColumn<bool>("finished");
    QTest::addColumn<bool>("sameTool");
    QTest::addColumn<bool>("windowRemoves"); // a window answers deleteMeasurement
    QTest::addColumn<bool>("dropped");
    QTest::newRow("same tool keeps it") << true << false << true << false << false;
    QTest::newRow("other tool drops it") << true << false << false << false << true;
    QTest::newRow("other tool, window removes it") << true << false << false << true << true;
    QTest::newRow("unlisted levelling dropped") << false << false << false << false << true;
    QTest::newRow("unlisted, window answers") << false << false << false << true << true;
    QTest::newRow("finished stays listed") << true << true << false << false << false;
}

void tst_MeasurementsManager::toolChangeWhileBuilding()
{
    QFETCH(bool, listed);
    QFETCH(bool, finished);
    QFETCH(bool, sameTool);
    QFETCH(bool, windowRemoves);
    QFETCH(bool, dropped);
    ManagerFixture f;
    QSignalSpy deleted(f.manager.get(), &MeasurementsManager::deleteMeasurement);
    if (windowRemoves) {
        connect(f.manager.get(), &MeasurementsManager::deleteMeasurement, f.manager.get(),
                [&](Measurement *m) { f.manager->removeMeasurement(m->id()); });
    }
    const E_MEASUREMENTS kind = listed ? REGULAR_RADIUS : LAY_FLAT;
    MeasurementDouble *m = f.start(kind, listed);
    QVERIFY(m);
    if (finished)
        m->complete();
    QCOMPARE(f.listed().size(), listed ? 1 : 0);

    f.manager->setMeasurementType(sameTool ? kind : RMSE, true, false, QString());
    QCOMPARE(deleted.count(), dropped ? 1 : 0);
    if (dropped) {
        // Dropped means gone: nothing of it reacts to the plot any more.
        QCOMPARE(pointerIn(deleted.at(0).at(0)), static_cast<const void *>(m));
        QCOMPARE(Measurement::liveCount(), 0);
        QVERIFY(f.listed().isEmpty());
        QCOMPARE(f.manager->currentMeasurement(), nullptr);
    } else {
        QCOMPARE(Measurement::liveCount(), 1);
        QCOMPARE(m->selectionMarkerUpdates, 1);
        QCOMPARE(f.manager->currentMeasurement(), m);
        QCOMPARE(f.listed(), QList<Measurement *> {m});
    }
}

void tst_MeasurementsManager::drawingMeasurementAndItsButton()
{
    ManagerFixture f;
    QSignalSpy button(f.manager.get(), &MeasurementsManager::enableButton);
    Measurement *drawing = f.start(COMPARE_PLANE_DXF);
    QVERIFY(drawing);
    QCOMPARE(button.count(), 1);
    QCOMPARE(button.at(0).at(0).toBool(), true);
    // The tool is spent: another press creates nothing.
    QCOMPARE(f.manager->measurementType(), int(NO_MEASUREMENT));
    drawing->finish();
    f.manager->createMeasurement(f.plot.get());
    QCOMPARE(f.created, 1);

    int aliveAtSignal = -1;
    connect(f.manager.get(), &MeasurementsManager::enableButton, f.manager.get(),
            [&] { aliveAtSignal = Measurement::liveCount(); });
    f.manager->removeMeasurement(drawing->id());
    QCOMPARE(button.count(), 2);
    QCOMPARE(button.at(1).at(0).toBool(), false);
    QCOMPARE(aliveAtSignal, 1);
    QCOMPARE(Measurement::liveCount(), 0);
}

// A placed drawing that comes or goes changes what the deviation from the drawing measures: it is
// measured again at once and announced, while a drawing still being placed changes nothing. The
// deviation tool stays offered while any drawing is listed.
void tst_MeasurementsManager::deviationsFollowThePlacedDrawings()
{
    ManagerFixture f;
    MeasurementDouble *deviation = f.start(ERROR_PLANE);
    deviation->complete();
    MeasurementDouble *length = f.start(HORISONTAL_DISTANCE);
    length->complete();
    QSignalSpy button(f.manager.get(), &MeasurementsManager::enableButton);
    QSignalSpy changed(f.manager.get(), &MeasurementsManager::measurementChanged);
    auto changedOnes = [&changed] {
        QList<const void *> ones;
        for (const QList<QVariant> &args : qAsConst(changed))
            ones.append(pointerIn(args.at(0)));
        changed.clear();
        return ones;
    };
    const int calculated = deviation->calculations;

    // Placed: the deviation measures against it.
    DxfDrawing drawing;
    MeasurementDouble *placed = f.start(COMPARE_PLANE_DXF);
    changedOnes();
    placed->drawing = &drawing;
    placed->complete();
    QCOMPARE(deviation->calculations, calculated + 1);
    QVERIFY(changedOnes().contains(deviation));
    QCOMPARE(length->calculations, 0);

    // A second drawing, imported and dropped before it was placed: the deviation stays.
    MeasurementDouble *unplaced = f.start(COMPARE_PLANE_DXF);
    changedOnes();
    f.manager->removeMeasurement(unplaced->id());
    QCOMPARE(deviation->calculations, calculated + 1);
    QVERIFY(!changedOnes().contains(deviation));
    QCOMPARE(button.last().at(0).toBool(), true);

    // The placed drawing deleted: measured again, against nothing; the tool goes.
    f.manager->removeMeasurement(placed->id());
    QCOMPARE(deviation->calculations, calculated + 2);
    QVERIFY(changedOnes().contains(deviation));
    QCOMPARE(button.last().at(0).toBool(), false);
    QCOMPARE(length->calculations, 0);
}

// The deviation from the drawing is built on the drawing it is measured against, the one placed
// last: it is recalculated after it, and when that drawing goes it stays, measured again against
// the drawing placed before; an older drawing going changes nothing.
void tst_MeasurementsManager::deviationIsBuiltOnTheDrawingItMeasuresAgainst()
{
    ManagerFixture f;
    QList<int> log;
    MeasurementDouble *deviation = f.start(ERROR_PLANE);
    deviation->complete();
    DxfDrawing drawing;
    QList<MeasurementDouble *> drawings;
    for (int i = 0; i < 3; ++i) {
        drawings.append(f.start(COMPARE_PLANE_DXF));
        drawings.last()->drawing = &drawing;
        drawings.last()->complete();
        drawings.last()->calculationLog = &log;
    }
    deviation->calculationLog = &log;
    QCOMPARE(f.manager->dependencies().basesOf(deviation, f.manager->measurementList()),
             QSet<Measurement *>({drawings.last()}));

    // Listed before the drawings, recalculated after the one it measures against.
    f.manager->recalculate();
    QCOMPARE(log.indexOf(deviation->id()), log.size() - 1);
    QVERIFY(log.indexOf(drawings.last()->id()) >= 0);

    // A drawing it does not measure against goes: nothing is measured again.
    log.clear();
    const int firstId = drawings.first()->id();
    QCOMPARE(f.manager->removeMeasurement(firstId), QList<int>({firstId}));
    QCOMPARE(log, QList<int>());

    // The one it measures against goes alone; the deviation is measured again, against the
    // drawing placed before.
    const int lastId = drawings.last()->id();
    QCOMPARE(f.manager->removeMeasurement(lastId), QList<int>({lastId}));
    QCOMPARE(log, QList<int>({deviation->id()}));
    QCOMPARE(f.manager->dependencies().basesOf(deviation, f.manager->measurementList()),
             QSet<Measurement *>({drawings.at(1)}));
    QCOMPARE(f.listed(), (QList<Measurement *> {deviation, drawings.at(1)}));
}

void tst_MeasurementsManager::typedParameters_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<double>("radius");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("status");
    QTest::newRow("radius") << 14 << "2.500" << true << 2.5 << 0 << "";
    QTest::newRow("circle radius") << 23 << "0.125" << true << 0.125 << 0 << "";
    QTest::newRow("cancelled radius") << 14 << "" << false << 0.0 << 0 << "Укажите радиус > 0";
    QTest::newRow("zero radius") << 23 << "0" << false << 0.0 << 0
                                 << "Радиус должен быть больше нуля";
    QTest::newRow("radius not a number")
        << 23 << "abc" << false << 0.0 << 0 << "Радиус должен быть больше нуля";
    QTest::newRow("count") << 16 << "5" << true << 0.0 << 5 << "";
    QTest::newRow("count, filtered") << 17 << "2" << true << 0.0 << 2 << "";
    QTest::newRow("cancelled count")
        << 16 << "" << false << 0.0 << 0 << "Укажите число выделений ≥ 2";
    QTest::newRow("count of one") << 17 << "1" << false << 0.0 << 0
                                  << "Укажите число выделений ≥ 2";
    QTest::newRow("no number needed") << 13 << "" << true << 0.0 << 0 << "";
}

void tst_MeasurementsManager::typedParameters()
{
    QFETCH(int, kind);
    QFETCH(QString, parameter);
    QFETCH(bool, starts);
    QFETCH(double, radius);
    QFETCH(int, count);
    QFETCH(QString, status);
    ManagerFixture f;
    QSignalSpy statusSpy(f.manager.get(), &MeasurementsManager::statusText);
    Measurement *m = f.start(E_MEASUREMENTS(kind), true, false, parameter);
    QCOMPARE(m != nullptr, starts);
    QCOMPARE(f.listed().size(), starts ? 1 : 0);
    if (starts) {
        QCOMPARE(f.lastArgs.radius, radius);
        QCOMPARE(f.lastArgs.count, count);
        QCOMPARE(f.lastArgs.plot, f.plot.get());
        QCOMPARE(f.lastArgs.traces.size(), 2);
        QVERIFY(statusSpy.isEmpty());
    } else {
        QCOMPARE(statusSpy.count(), 1);
        QCOMPARE(statusSpy.at(0).at(0).toString(), status);
    }
}

void tst_MeasurementsManager::intersectionPoints_data()
{
    // Each geometry: "c cx cy r" a circle, "l k b" a line's coefficients.
    QTest::addColumn<int>("partnerKind");
    QTest::addColumn<QString>("partner");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("geometry");
    QTest::addColumn<QVector<QPointF>>("points");
    QTest::addColumn<bool>("snapTargets");
    using Points = QVector<QPointF>;
    QTest::newRow("circle and circle")
        << 22 << "c 0 0 5" << 23 << "c 8 0 5" << Points {{4, -3}, {4, 3}} << false;
    QTest::newRow("circle crossing a horizontal line")
        << 24 << "l 0 2" << 22 << "c 1 2 3" << Points {{-2, 2}, {4, 2}} << false;
    QTest::newRow("line and circle") << 22 << "c 1 2 3" << 26 << "l 0 5" << Points {{1, 5}} << true;
    QTest::newRow("two-point line crossing a horizontal line")
        << 24 << "l 0 3" << 26 << "l 2 1" << Points {{1, 3}} << true;
    QTest::newRow("vertical line and line")
        << 26 << "l 2 1" << 25 << "l 0 1.5" << Points {{1.5, 4}} << true;
    QTest::newRow("vertical line and circle")
        << 25 << "l 0 1" << 23 << "c 1 2 3" << Points {{1, 5}, {1, -1}} << false;
    QTest::newRow("parallel lines") << 26 << "l 2 1" << 26 << "l 2 4" << Points {} << true;
    QTest::newRow("two horizontal lines") << 24 << "l 0 1" << 24 << "l 0 4" << Points {} << true;
    QTest::newRow("thread and horizontal")
        << 24 << "l 0 1" << 29 << "l 0.5 0" << Points {{2, 1}} << true;
    // A measured radius is no construction geometry, whatever it computed.
    QTest::newRow("radius is no partner")
        << 7 << "c 0 0 5" << 22 << "c 8 0 5" << Points {} << false;
    // A crossing beyond the range of doubles is no point.
    QTest::newRow("crossing at infinity")
        << 26 << "l 1e10 0" << 25 << "l 0 1e300" << Points {} << true;
}

void tst_MeasurementsManager::intersectionPoints()
{
    QFETCH(int, partnerKind);
    QFETCH(QString, partner);
    QFETCH(int, kind);
    QFETCH(QString, geometry);
    QFETCH(QVector<QPointF>, points);
    QFETCH(bool, snapTargets);
    ManagerFixture f;
    const auto give = [](MeasurementDouble *m, const QString &g) {
        const QStringList p = g.split(' ');
        if (p[0] == "c")
            m->setCircle(p[1].toDouble(), p[2].toDouble(), p[3].toDouble());
        else
            m->coefficients = {p[1].toDouble(), p[2].toDouble()};
    };
    // A finished point measurement whose reper point tells whether snapping was switched on.
    MeasurementDouble *marker = f.start(CLICK_POINT);
    marker->setReperPoint(0, QPointF(9, 9));
    marker->complete();
    // The circle of a given radius needs its radius typed.
    MeasurementDouble *first = f.start(E_MEASUREMENTS(partnerKind), true, false, "1");
    QVERIFY(first);
    give(first, partner);
    first->complete();
    f.manager->setMeasurementType(E_MEASUREMENTS(kind), true, false, QString());
    QVERIFY(!marker->reperPointList().first()->isSnapTarget());

    MeasurementDouble *second = f.start(E_MEASUREMENTS(kind), true, false, "1");
    QVERIFY(second);
    give(second, geometry);
    const int before = second->reperPointCount();
    second->complete();
    QCOMPARE(second->reperPointCount(), before + points.size());
    for (int i = 0; i < points.size(); ++i) {
        ReperPoint *p = second->reperPointList().at(before + i);
        COMPARE_TOL(p->position().x(), points[i].x(), 1e-12, 1e-12);
        COMPARE_TOL(p->position().y(), points[i].y(), 1e-12, 1e-12);
        QVERIFY(p->isMarkerVisible());
        QVERIFY(f.manager->reperPoints()->pointList().contains(p));
    }
    QCOMPARE(first->reperPointCount(), measurementKindInfo(partnerKind).reperPoints);
    QCOMPARE(marker->reperPointList().first()->isSnapTarget(), snapTargets);
}

void tst_MeasurementsManager::equidistant_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QVector<double>>("line");
    QTest::addColumn<double>("distance");
    QTest::addColumn<QVector<double>>("copy");
    QTest::newRow("horizontal") << 24 << QVector<double> {0, 1.5} << 0.5
                                << QVector<double> {0, 2.0};
    QTest::newRow("horizontal, below")
        << 24 << QVector<double> {0, 1.5} << -2.0 << QVector<double> {0, -0.5};
    QTest::newRow("vertical") << 25 << QVector<double> {0, 3.2} << 0.5 << QVector<double> {0, 3.7};
    // An oblique line's copy lies at the perpendicular distance, not the vertical one.
    QTest::newRow("oblique") << 26 << QVector<double> {2, 1} << 0.5
                             << QVector<double> {2, 1 + 0.5 * std::sqrt(5.0)};
}

void tst_MeasurementsManager::equidistant()
{
    QFETCH(int, kind);
    QFETCH(QVector<double>, line);
    QFETCH(double, distance);
    QFETCH(QVector<double>, copy);
    ManagerFixture f;
    MeasurementDouble *source = f.start(E_MEASUREMENTS(kind));
    source->coefficients = line;
    source->complete();
    // The last tool did not list its measurements; the copy is listed all the same.
    f.manager->setMeasurementType(LAY_FLAT, false, false, QString());
    QSignalSpy changed(f.manager.get(), &MeasurementsManager::measurementChanged);

    f.manager->addEquidistant(source->id(), E_MEASUREMENTS(kind), distance);
    QCOMPARE(f.listed().size(), 2);
    auto *made = static_cast<MeasurementDouble *>(f.listed().last());
    QCOMPARE(made->kind, kind);
    QVERIFY(made->isFinished());
    QCOMPARE(made->coefficients.size(), 2);
    COMPARE_TOL(made->coefficients[0], copy[0], 1e-15, 1e-15);
    COMPARE_TOL(made->coefficients[1], copy[1], 1e-15, 1e-15);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(pointerIn(changed.at(0).at(0)), static_cast<const void *>(made));
    QCOMPARE(pointerIn(changed.at(1).at(0)), static_cast<const void *>(made));

    // Unknown ids and kinds that are no line build nothing.
    f.manager->addEquidistant(made->id() + 100, E_MEASUREMENTS(kind), distance);
    f.manager->addEquidistant(source->id(), CIRCUMF_AG, distance);
    QCOMPARE(f.listed().size(), 2);
}

void tst_MeasurementsManager::equidistantDropsTheUnfinished()
{
    ManagerFixture f;
    QSignalSpy deleted(f.manager.get(), &MeasurementsManager::deleteMeasurement);
    MeasurementDouble *line = f.start(CLICK_HORIZONTAL_LINE);
    line->coefficients = {0, 1};
    line->complete();
    MeasurementDouble *building = f.start(REGULAR_RADIUS);
    QVERIFY(!building->isFinished());
    f.manager->addEquidistant(line->id(), CLICK_HORIZONTAL_LINE, 1.0);
    QCOMPARE(deleted.count(), 1);
    QCOMPARE(pointerIn(deleted.at(0).at(0)), static_cast<const void *>(building));
    QCOMPARE(Measurement::liveCount(), 2);
    QCOMPARE(f.listed().size(), 2);
    QCOMPARE(f.listed().first(), line);

    // A finished levelling that no list holds is not forgotten alive either.
    MeasurementDouble *levelling = f.start(LAY_FLAT, false);
    levelling->complete();
    f.manager->addEquidistant(line->id(), CLICK_HORIZONTAL_LINE, 2.0);
    QCOMPARE(Measurement::liveCount(), 3);
    QCOMPARE(f.listed().size(), 3);
}

void tst_MeasurementsManager::graphDataChangedRecalculatesInListOrder()
{
    ManagerFixture f;
    QList<int> log;
    QList<MeasurementDouble *> made;
    for (E_MEASUREMENTS kind : {RMSE, CLICK_VERTICAL_LINE, REGULAR_RADIUS}) {
        MeasurementDouble *m = f.start(kind);
        m->calculationLog = &log;
        m->complete();
        made.append(m);
    }
    // A levelling is never listed; its signal makes every listed measurement recalculate.
    MeasurementDouble *levelling = f.start(LAY_FLAT, false);
    levelling->calculationLog = &log;
    QSignalSpy changed(f.manager.get(), &MeasurementsManager::measurementChanged);
    emit levelling->graphDataChanged();
    QCOMPARE(log, (QList<int> {made[0]->id(), made[1]->id(), made[2]->id()}));
    QCOMPARE(changed.count(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(pointerIn(changed.at(i).at(0)), static_cast<const void *>(made[i]));

    // A window that deletes a measurement while the list is walked does not upset the walk.
    log.clear();
    connect(f.manager.get(), &MeasurementsManager::measurementChanged, f.manager.get(),
            [&](Measurement *m) {
                if (m == made[0])
                    f.manager->removeMeasurement(made[2]->id());
            });
    emit levelling->graphDataChanged();
    QCOMPARE(log, (QList<int> {made[0]->id(), made[1]->id()}));
}

void tst_MeasurementsManager::changeIsReportedForTheMeasurementThatChanged()
{
    ManagerFixture f;
    MeasurementDouble *first = f.start(REGULAR_RADIUS);
    first->complete();
    MeasurementDouble *second = f.start(RMSE);
    QCOMPARE(f.manager->currentMeasurement(), second);
    QSignalSpy changed(f.manager.get(), &MeasurementsManager::measurementChanged);
    emit first->measumentChanged();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(pointerIn(changed.at(0).at(0)), static_cast<const void *>(first));
}

void tst_MeasurementsManager::removeAndFind()
{
    ManagerFixture f;
    MeasurementDouble *a = f.start(REGULAR_RADIUS);
    a->complete();
    MeasurementDouble *b = f.start(RMSE);
    QCOMPARE(f.manager->findMeasurement(a->id()), a);
    QCOMPARE(f.manager->findMeasurement(b->id()), b);
    QCOMPARE(f.manager->findMeasurement(b->id() + 1), nullptr);
    f.manager->removeMeasurement(b->id() + 1);
    QCOMPARE(Measurement::liveCount(), 2);
    f.manager->removeMeasurement(b->id());
    QCOMPARE(f.manager->currentMeasurement(), nullptr);
    QCOMPARE(f.listed(), QList<Measurement *> {a});
    QCOMPARE(Measurement::liveCount(), 1);
}

void tst_MeasurementsManager::connectingTwiceListsOnce()
{
    // When a press creates nothing (a refused radius), the finished measurement stays current;
    // wiring it again must not list it a second time (the list would delete it twice).
    ManagerFixture f;
    MeasurementDouble *m = f.start(REGULAR_RADIUS);
    m->complete();
    QSignalSpy changed(f.manager.get(), &MeasurementsManager::measurementChanged);
    f.manager->setMeasurementType(RDEM_SPECIFIED, true, false, QString());
    f.manager->createMeasurement(f.plot.get());
    f.manager->connectMeasurement();
    QCOMPARE(f.manager->currentMeasurement(), m);
    QCOMPARE(f.listed(), QList<Measurement *> {m});
    QVERIFY(changed.isEmpty());
    emit m->measumentChanged();
    QCOMPARE(changed.count(), 1);
}

void tst_MeasurementsManager::destructionDeletesEverything()
{
    {
        ManagerFixture f;
        f.start(REGULAR_RADIUS)->complete();
        MeasurementDouble *point = f.start(CLICK_POINT);
        point->setReperPoint(0, QPointF(1, 1));
        point->complete();
        f.start(LAY_FLAT, false)->complete();
        QCOMPARE(Measurement::liveCount(), 3);
        const int curves = f.plot->curveCount();
        f.manager.reset();
        QCOMPARE(Measurement::liveCount(), 0);
        // The reper points' curves (one per point of the radius and the point) are gone.
        QCOMPARE(f.plot->curveCount(), curves - 2);
    }
    QCOMPARE(Measurement::liveCount(), 0);
}

void tst_MeasurementsManager::announcedOnceConnected()
{
    // A kind's first prompt is sent when the manager has wired it, so it reaches the status line.
    ManagerFixture f;
    MeasurementDouble *m = f.start(RMSE);
    QCOMPARE(m->connectedWhenAnnounced, QList<bool> {true});
    // A parallel copy is wired the same way.
    MeasurementDouble *line = f.start(CLICK_HORIZONTAL_LINE);
    line->coefficients = {0.0, 1.0};
    line->complete();
    f.manager->addEquidistant(line->id(), CLICK_HORIZONTAL_LINE, 0.5);
    auto *copy = static_cast<MeasurementDouble *>(f.manager->currentMeasurement());
    QCOMPARE(copy->connectedWhenAnnounced, QList<bool> {true});
}

void tst_MeasurementsManager::comparisonDrawingOfTheLatestImport()
{
    ManagerFixture f;
    QCOMPARE(f.manager->comparisonDrawing(), nullptr);
    DxfDrawing first;
    DxfDrawing second;
    MeasurementDouble *a = f.start(RMSE);
    a->drawing = &first;
    a->complete();
    MeasurementDouble *b = f.start(RMSE);
    b->complete();
    MeasurementDouble *c = f.start(RMSE);
    c->drawing = &second;
    c->complete();
    // What a created kind is handed asks the manager at the time of asking.
    QVERIFY(f.lastArgs.drawing);
    QCOMPARE(f.lastArgs.drawing(), &second);
    f.manager->removeMeasurement(c->id());
    QCOMPARE(f.lastArgs.drawing(), &first);
    f.manager->removeMeasurement(a->id());
    QCOMPARE(f.lastArgs.drawing(), nullptr);
    Q_UNUSED(b);
}

void tst_MeasurementsManager::levellingsCompose()
{
    // The manager keeps the motion of all levellings so far, so that the window can lay freshly
    // processed trace data where the levelled curves are.
    ManagerFixture f;
    QSignalSpy forwarded(f.manager.get(), &MeasurementsManager::setNewAngleAndCenterRot);
    QVERIFY(f.manager->levelling().isIdentity());
    const QList<QPair<double, QPointF>> turns {{-0.0996687, QPointF(2, 1)},
                                               {0.3, QPointF(-3.5, 0.25)}};
    QPointF p(7.25, -1.5);
    f.manager->setMeasurementType(LAY_FLAT, false, false, QString());
    PlotDriver driver(f.plot.get());
    for (const auto &turn : turns) {
        // A press releases the finished levelling and builds the next.
        driver.press(5, 9, Qt::LeftButton);
        auto *levelling = static_cast<MeasurementDouble *>(f.manager->currentMeasurement());
        emit levelling->setNewAngleAndCenterRot(turn.first, turn.second);
        levelling->complete();
        p = rotatePoint(float(turn.second.x()), float(turn.second.y()), float(turn.first), p);
    }
    QCOMPARE(forwarded.count(), 2);
    QCOMPARE(forwarded.at(1).at(0).toDouble(), 0.3);
    const QPointF mapped = f.manager->levelling().map(QPointF(7.25, -1.5));
    QVERIFY(std::abs(mapped.x() - p.x()) < 1e-12 && std::abs(mapped.y() - p.y()) < 1e-12);
    f.manager->resetLevelling();
    QVERIFY(f.manager->levelling().isIdentity());
}

GUI_TEST_MAIN(tst_MeasurementsManager)
#include "tst_MeasurementsManager.moc"
