#include "core/CalibrationProcessors.h"
#include "core/ContourTrace.h"
#include "core/Settings.h"
#include "support/TestSupport.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <deque>
#include <new>
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

// The radius compensation as a plain scan: the window of samples [front, next) is kept as the
// trace is walked (front leaves while its X lies more than r below X[k], next joins while its X
// lies at most r above it), and every sample of the window is tried. Each output starts from
// the sample's own circle.
QVector<double> windowScan(const QVector<double> &x, const QVector<double> &y, double r, bool down)
{
    const int n = x.size();
    QVector<double> out(n);
    std::deque<int> window;
    int next = 0;
    for (int k = 0; k < n; ++k) {
        while (!window.empty() && x[window.front()] < x[k] - r)
            window.pop_front();
        while (next < n && x[next] <= x[k] + r)
            window.push_back(next++);
        double h = down ? y[k] - r : y[k] + r;
        for (int j : window) {
            const double d = x[k] - x[j];
            const double t = r * r - d * d;
            if (t < 0)
                continue;
            h = down ? std::min(h, y[j] - std::sqrt(t)) : std::max(h, y[j] + std::sqrt(t));
        }
        out[k] = h;
    }
    return out;
}

bool sameBits(const QVector<double> &a, const QVector<double> &b)
{
    return a.size() == b.size()
        && std::memcmp(a.constData(), b.constData(), sizeof(double) * size_t(a.size())) == 0;
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
    void compensationMatchesWindowScan_data();
    void compensationMatchesWindowScan();
    void smoothingCutOffAndAlignment_data();
    void smoothingCutOffAndAlignment();
    void noSmoothingOutsideModeZero();
    void xFallingBackStaysFinite();
    void equalXStaysFinite();
    void reprocessIsRepeatable();
    void emptyTraceUnchanged();
    void smoothingWithoutMemoryThrows();
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

void tst_ContourFinishing::compensationMatchesWindowScan_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<double>("radius");
    QTest::addColumn<bool>("special");

    // Where X runs back or stands still the window grows long and the compensation searches it
    // in a tree; the result must be the scan's, bit for bit, whatever X does.
    for (const char *shape : {"forward with runs of equal X", "out and back", "sweeps",
                              "jitter back and forth", "falls back now and then", "random order",
                              "standing at one X", "out and back 1e-3 apart"}) {
        for (double radius : {0.0, 2.5, 40.0}) {
            QTest::addRow("%s, radius %g", shape, radius) << QString(shape) << radius << false;
        }
        QTest::addRow("%s, NaN, infinite and signed zero values", shape)
            << QString(shape) << 2.5 << true;
    }
    // Samples exactly one radius apart give circle tops of ±0, the lowest values there: the one
    // of the lower index wins, as in the scan, although the way back meets them in reverse.
    QTest::newRow("out and back, signed zeros one radius apart")
        << QStringLiteral("zeros at the reach") << 2.5 << false;
    QTest::newRow("out and back, radius whose square underflows")
        << QStringLiteral("out and back") << 1e-160 << true;
    QTest::newRow("out and back, radius whose square overflows")
        << QStringLiteral("out and back") << 1e300 << false;
}

void tst_ContourFinishing::compensationMatchesWindowScan()
{
    QFETCH(QString, shape);
    QFETCH(double, radius);
    QFETCH(bool, special);
    setSteps(false, true);
    std::mt19937 random(uint(qHash(shape)) + uint(radius * 10) + special);
    std::uniform_int_distribution<int> pick(0, 999);
    const int n = 3000;
    QVector<double> x(n);
    QVector<double> y(n);
    double at = 0.0;
    for (int i = 0; i < n; ++i) {
        if (shape == QLatin1String("forward with runs of equal X"))
            at += (pick(random) % 4) * 0.25;
        else if (shape == QLatin1String("out and back"))
            at = (i < n / 2 ? i : n - i) * 0.5;
        else if (shape == QLatin1String("sweeps"))
            at = std::round(200 * std::sin(i * 0.01) * 4) / 4;
        else if (shape == QLatin1String("standing at one X"))
            at = 7.0 + (pick(random) % 3) * 1e-3;
        else if (shape == QLatin1String("out and back 1e-3 apart"))
            at = (i < n / 2 ? i : n - i) * 1e-3;
        else if (shape == QLatin1String("jitter back and forth"))
            at += (pick(random) % 100 - 40) / 50.0;
        else if (shape == QLatin1String("falls back now and then"))
            at += pick(random) < 30 ? -30.0 : 0.5;
        else
            at = pick(random) % 200;
        x[i] = at;
        // Few distinct heights, among them +0 and −0, so that ties are common.
        const int h = pick(random) % 10;
        y[i] = h < 3 ? 0.0 : h < 5 ? -0.0 : (h - 7) * 0.5;
        if (shape == QLatin1String("zeros at the reach")) {
            x[i] = (i < n / 2 ? i : n - i) * 0.5;
            y[i] = i % 10 != 5 ? 5.0 : (i / 10) % 2 ? -0.0 : 0.0;
        }
        if (special) {
            const int s = pick(random);
            if (s < 15)
                y[i] = std::nan("");
            else if (s < 30)
                x[i] = std::nan("");
            else if (s < 35)
                x[i] = s % 2 ? INFINITY : -INFINITY;
            else if (s < 40)
                y[i] = s % 2 ? INFINITY : -INFINITY;
        }
    }
    for (int pressing : {0, 1}) {
        const bool down = pressing == MovementSettings::E_PRESSING_DOWN;
        QVector<double> index(n);
        QScopedPointer<ContourTrace> trace(new ContourTrace(TData {x, y, index}));
        trace->toolHeadRadiusDown = radius;
        trace->toolHeadRadiusUp = radius;
        trace->needlePressing = MovementSettings::E_NEEDLE_PRESSING(pressing);
        trace->compensateToolRadius();
        const QVector<double> expected = windowScan(x, y, radius, down);
        const QVector<double> &out = trace->processedData->at(1);
        for (int k = 0; k < n && !sameBits(out, expected); ++k) {
            QVERIFY2(std::memcmp(&out[k], &expected[k], sizeof(double)) == 0,
                     qPrintable(QStringLiteral("pressing %1, sample %2: %3 instead of %4")
                                    .arg(pressing)
                                    .arg(k)
                                    .arg(out[k], 0, 'g', 17)
                                    .arg(expected[k], 0, 'g', 17)));
        }
        QCOMPARE(trace->processedData->at(0).size(), n);
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

// Smoothing filters the whole contour. Without the memory for it the finishing says so (the
// data provider reports the read as failed) instead of crashing, and leaves Y as it was.
void tst_ContourFinishing::smoothingWithoutMemoryThrows()
{
    if (!testsupport::kAllocationFailuresReachTheCode)
        QSKIP("The sanitizer's allocator ends the process when memory runs out");
    setSteps(true, true);
    const int n = (1 << 18) + 1;
    TData columns(3);
    for (int i = 0; i < n; ++i) {
        columns[0].append(i * 0.5);
        columns[1].append(10.0 * std::sin(i * 0.001));
        columns[2].append(0.0);
    }
    ContourTrace trace(columns);
    trace.toolHeadRadiusDown = 20.0;
    trace.measurementMode = 0;
    testsupport::ChildLimits limits;
    limits.addressSpaceHeadroom = 16 << 20;
    limits.memoryLeft = 1 << 20;
    const testsupport::ChildResult result = testsupport::runInChild(limits, [&trace, &columns] {
        try {
            trace.finalizeAfterRead();
        } catch (const std::bad_alloc &) {
            return trace.processedData->at(1) == columns.at(1);
        }
        return false;
    });
    QCOMPARE(int(result), int(testsupport::ChildResult::True));
}

QTEST_GUILESS_MAIN(tst_ContourFinishing)
#include "tst_ContourFinishing.moc"
