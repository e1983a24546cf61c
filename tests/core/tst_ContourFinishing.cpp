#include "core/ContourTrace.h"
#include "core/Settings.h"
#include "support/TestSupport.h"
#include "traceprocessing/CalibrationProcessors.h"

#include <cfloat>
#include <cmath>
#include <random>

namespace {

void setSteps(bool smoothing, bool radius)
{
    Settings::modify([=](Settings &s) {
        s.service.is_disabled_gauss_filter = smoothing;
        s.service.is_disabled_radius_elimination = radius;
    });
}

// A contour trace of the samples (x[i], y[i], i); the third channel numbers the samples so that
// its alignment with X and Y can be checked.
ContourTrace *makeTrace(const QVector<double> &x, const QVector<double> &y, double radius,
                        MovementSettings::E_NEEDLE_PRESSING pressing)
{
    QVector<double> index;
    for (int i = 0; i < x.size(); ++i)
        index.append(i);
    auto *trace = new ContourTrace(TData {x, y, index});
    trace->toolHeadRadiusDown = radius;
    trace->toolHeadRadiusUp = radius;
    trace->needlePressing = pressing;
    return trace;
}

QVector<double> ramp(int n, double step, double start = 0)
{
    QVector<double> v;
    for (int i = 0; i < n; ++i)
        v.append(start + i * step);
    return v;
}

} // namespace

class tst_ContourFinishing : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void spreadOnly();
    void needleUpOffsets();
    void flatProfileMovesByRadius_data();
    void flatProfileMovesByRadius();
    void zeroRadiusKeepsY_data();
    void zeroRadiusKeepsY();
    void spikeOracle();
    void outputBoundedByRadius_data();
    void outputBoundedByRadius();
    void smoothingCutOffAndAlignment_data();
    void smoothingCutOffAndAlignment();
    void noSmoothingOutsideModeZero();
    void xFallingBackStaysFinite();
    void equalXStaysFinite();
    void reprocessIsRepeatable();
    void emptyTraceUnchanged();
};

void tst_ContourFinishing::cleanup()
{
    setSteps(true, true);
}

void tst_ContourFinishing::spreadOnly()
{
    setSteps(false, false);
    QScopedPointer<ContourTrace> trace(
        makeTrace({0, 0, 0, 3}, {5, 6, 7, 8}, 20, MovementSettings::E_PRESSING_DOWN));
    trace->finalizeAfterRead();
    QCOMPARE(*trace->processedData, (TData {{0, 1, 2, 3}, {5, 6, 7, 8}, {0, 1, 2, 3}}));
    // Only the processed data change.
    QCOMPARE(trace->rawData->at(0), (QVector<double> {0, 0, 0, 3}));
}

void tst_ContourFinishing::needleUpOffsets()
{
    setSteps(false, false);
    QScopedPointer<ContourTrace> trace(
        makeTrace({0, 1, 2}, {5, 6, 7}, 20, MovementSettings::E_PRESSING_UP));
    trace->needleBias = 0.25;
    trace->doubleSidedProbeHigh = 18.5;
    trace->finalizeAfterRead();
    QCOMPARE(*trace->processedData, (TData {{250, 251, 252}, {18505, 18506, 18507}, {0, 1, 2}}));
}

void tst_ContourFinishing::flatProfileMovesByRadius_data()
{
    QTest::addColumn<int>("pressing");
    QTest::addColumn<double>("shift");
    QTest::newRow("needle down") << int(MovementSettings::E_PRESSING_DOWN) << -7.0;
    QTest::newRow("needle up") << int(MovementSettings::E_PRESSING_UP) << 7.0;
}

void tst_ContourFinishing::flatProfileMovesByRadius()
{
    QFETCH(int, pressing);
    QFETCH(double, shift);
    setSteps(false, true);
    QScopedPointer<ContourTrace> trace(makeTrace(ramp(50, 0.5), QVector<double>(50, 3.0), 7,
                                                 MovementSettings::E_NEEDLE_PRESSING(pressing)));
    trace->toolHeadRadiusDown = 7;
    trace->toolHeadRadiusUp = 7;
    trace->finalizeAfterRead();
    for (double y : trace->processedData->at(1))
        QCOMPARE(y, 3.0 + shift);
}

void tst_ContourFinishing::zeroRadiusKeepsY_data()
{
    QTest::addColumn<double>("radius");
    QTest::addColumn<int>("pressing");
    QTest::newRow("zero, down") << 0.0 << int(MovementSettings::E_PRESSING_DOWN);
    QTest::newRow("zero, up") << 0.0 << int(MovementSettings::E_PRESSING_UP);
    // A damaged probe record: a negative radius counts as 0 instead of leaving every sample
    // without a circle (and at the infinite start value).
    QTest::newRow("negative, down") << -2.0 << int(MovementSettings::E_PRESSING_DOWN);
    QTest::newRow("negative, up") << -2.0 << int(MovementSettings::E_PRESSING_UP);
}

void tst_ContourFinishing::zeroRadiusKeepsY()
{
    QFETCH(double, radius);
    QFETCH(int, pressing);
    setSteps(false, true);
    const QVector<double> y {1, -4, 9, 2.5, 0};
    QScopedPointer<ContourTrace> trace(makeTrace({0, 0.1, 0.2, 0.3, 0.4}, y, radius,
                                                 MovementSettings::E_NEEDLE_PRESSING(pressing)));
    trace->finalizeAfterRead();
    QCOMPARE(trace->processedData->at(1), y);
}

void tst_ContourFinishing::spikeOracle()
{
    // A flat line with one spike of 5 at X = 10, tip radius 3, step 1: with the needle down each
    // output is the lowest point of the circles within reach; the flat points give −3, the
    // spike's own output comes from its neighbours at distance 1: −√8.
    setSteps(false, true);
    QVector<double> y(21, 0.0);
    y[10] = 5;
    QScopedPointer<ContourTrace> down(
        makeTrace(ramp(21, 1), y, 3, MovementSettings::E_PRESSING_DOWN));
    down->finalizeAfterRead();
    for (int k = 0; k < 21; ++k)
        COMPARE_TOL(down->processedData->at(1).at(k), k == 10 ? -std::sqrt(8.0) : -3.0, 1e-15, 0);
    // With the needle up the spike's circle reaches its neighbours: 5 + √(9 − d²).
    QScopedPointer<ContourTrace> up(makeTrace(ramp(21, 1), y, 3, MovementSettings::E_PRESSING_UP));
    up->finalizeAfterRead();
    for (int k = 0; k < 21; ++k) {
        const int d = std::abs(k - 10);
        const double expected = d <= 3 ? 5 + std::sqrt(9.0 - d * d) : 3.0;
        COMPARE_TOL(up->processedData->at(1).at(k), expected, 1e-15, 0);
    }
}

void tst_ContourFinishing::outputBoundedByRadius_data()
{
    QTest::addColumn<int>("pressing");
    QTest::newRow("needle down") << int(MovementSettings::E_PRESSING_DOWN);
    QTest::newRow("needle up") << int(MovementSettings::E_PRESSING_UP);
}

void tst_ContourFinishing::outputBoundedByRadius()
{
    QFETCH(int, pressing);
    setSteps(false, true);
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 2);
    QVector<double> y;
    for (int i = 0; i < 500; ++i)
        y.append(noise(random));
    const bool down = pressing == MovementSettings::E_PRESSING_DOWN;
    QScopedPointer<ContourTrace> trace(
        makeTrace(ramp(500, 0.4), y, 2.5, MovementSettings::E_NEEDLE_PRESSING(pressing)));
    trace->finalizeAfterRead();
    const QVector<double> &out = trace->processedData->at(1);
    QCOMPARE(out.size(), y.size());
    for (int k = 0; k < y.size(); ++k) {
        if (down)
            QVERIFY(out.at(k) <= y.at(k) - 2.5);
        else
            QVERIFY(out.at(k) >= y.at(k) + 2.5);
    }
}

void tst_ContourFinishing::smoothingCutOffAndAlignment_data()
{
    QTest::addColumn<double>("radius");
    QTest::addColumn<double>("trimmed");
    QTest::newRow("radius 30: cut-off 20") << 30.0 << 10.0;
    QTest::newRow("radius 15: cut-off 15") << 15.0 << 7.5;
}

void tst_ContourFinishing::smoothingCutOffAndAlignment()
{
    QFETCH(double, radius);
    QFETCH(double, trimmed);
    setSteps(true, false);
    QVector<double> y;
    const QVector<double> x = ramp(801, 0.25, 100);
    for (double v : x)
        y.append(std::sin(v / 40) + 0.2 * std::sin(v / 0.3));
    QScopedPointer<ContourTrace> trace(makeTrace(x, y, radius, MovementSettings::E_PRESSING_DOWN));
    trace->finalizeAfterRead();
    const TData &data = *trace->processedData;
    QCOMPARE(data.at(0).first(), 100.0 + trimmed);
    QCOMPARE(data.at(0).last(), 300.0 - trimmed);
    // Every channel keeps the same samples: channel 2 still numbers the sample of its X.
    QCOMPARE(data.at(1).size(), data.at(0).size());
    QCOMPARE(data.at(2).size(), data.at(0).size());
    for (int i = 0; i < data.at(0).size(); ++i)
        QCOMPARE(data.at(0).at(i), x.at(int(data.at(2).at(i))));
    // The short wave (period 2 µm) is gone, the long one stays.
    for (int i = 0; i < data.at(0).size(); ++i)
        COMPARE_TOL(data.at(1).at(i), std::sin(data.at(0).at(i) / 40), 0, 0.01);
}

void tst_ContourFinishing::noSmoothingOutsideModeZero()
{
    setSteps(true, false);
    const QVector<double> y {1, 5, 2, 8, 3, 9, 4};
    QScopedPointer<ContourTrace> trace(
        makeTrace(ramp(7, 10), y, 30, MovementSettings::E_PRESSING_DOWN));
    trace->measurementMode = 1;
    trace->finalizeAfterRead();
    QCOMPARE(*trace->processedData, (TData {ramp(7, 10), y, ramp(7, 1)}));
}

void tst_ContourFinishing::xFallingBackStaysFinite()
{
    // The contour conversion can tilt X so that it falls back for a few samples; no sample may
    // be left without a compensation (the infinite start values must never reach the data).
    setSteps(true, true);
    QVector<double> x {0, 1, 2, 3, 2.5, 2.0, 1.5, 4, 5, 6, 7, 8};
    for (int i = 0; i < 40; ++i)
        x.append(9 + i);
    QVector<double> y;
    for (int i = 0; i < x.size(); ++i)
        y.append(std::cos(i * 0.3));
    for (int pressing : {0, 1}) {
        QScopedPointer<ContourTrace> trace(
            makeTrace(x, y, 0.2, MovementSettings::E_NEEDLE_PRESSING(pressing)));
        trace->finalizeAfterRead();
        const TData &data = *trace->processedData;
        QCOMPARE(data.at(1).size(), data.at(0).size());
        QCOMPARE(data.at(2).size(), data.at(0).size());
        for (double v : data.at(1)) {
            QVERIFY(std::isfinite(v));
            QVERIFY(std::fabs(v) < 100);
        }
    }
}

void tst_ContourFinishing::equalXStaysFinite()
{
    // A trace whose X never moves cannot be re-sampled: the smoothing leaves it as it is.
    setSteps(true, true);
    QScopedPointer<ContourTrace> trace(
        makeTrace({5, 5, 5, 5}, {1, 2, 3, 4}, 10, MovementSettings::E_PRESSING_DOWN));
    trace->finalizeAfterRead();
    for (const QVector<double> &channel : *trace->processedData) {
        QCOMPARE(channel.size(), 4);
        for (double v : channel)
            QVERIFY(std::isfinite(v));
    }
}

void tst_ContourFinishing::reprocessIsRepeatable()
{
    setSteps(true, true);
    QVector<double> y;
    const QVector<double> x = ramp(400, 0.5);
    for (double v : x)
        y.append(std::sin(v / 25));
    QScopedPointer<ContourTrace> trace(makeTrace(x, y, 5, MovementSettings::E_PRESSING_UP));
    trace->needleBias = 0.25;
    trace->doubleSidedProbeHigh = 18.5;
    trace->addPointProcessor(new ContourConversionPointProcessor);
    trace->reprocess();
    const TData once = *trace->processedData;
    trace->reprocess();
    QCOMPARE(*trace->processedData, once);
    QVERIFY(once.at(1).first() > 18000);
}

void tst_ContourFinishing::emptyTraceUnchanged()
{
    ContourTrace trace;
    trace.finalizeAfterRead();
    QCOMPARE(*trace.processedData, (TData {{}, {}, {}}));
    // X and Y of different lengths are not touched.
    ContourTrace uneven;
    (*uneven.processedData)[0] = {1, 1, 2};
    (*uneven.processedData)[1] = {1};
    uneven.finalizeAfterRead();
    QCOMPARE(*uneven.processedData, (TData {{1, 1, 2}, {1}, {}}));
}

QTEST_GUILESS_MAIN(tst_ContourFinishing)
#include "tst_ContourFinishing.moc"
