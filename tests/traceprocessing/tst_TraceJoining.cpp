#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "support/TestSupport.h"
#include "traceprocessing/TraceJoining.h"

#include <QRandomGenerator>

#include <cmath>
#include <cstring>
#include <limits>

#include <unistd.h>

namespace {

TData points(const QVector<double> &xs, const QVector<double> &ys)
{
    return TData {xs, ys};
}

void fillTrace(AbstractTrace &trace, const QVector<double> &xs, const QVector<double> &ys)
{
    (*trace.processedData)[0] = xs;
    (*trace.processedData)[1] = ys;
}

// A smooth profile without a short period, so that the overlap has one best fit.
double syntheticCurve(double x)
{
    return 3.0 * std::sin(2.0 * M_PI * x / 800.0) + 1.5 * std::sin(2.0 * M_PI * x / 2300.0 + 0.7)
        + 0.4 * std::sin(2.0 * M_PI * x / 137.0);
}

// The distance sum as a full scan over every reference point computes it.
double bruteForceDistance(const TData &reference, const TData &moving)
{
    double sum = 0.0;
    for (int i = 0; i < moving[0].size(); ++i) {
        double best = std::numeric_limits<double>::max();
        for (int j = 0; j < reference[0].size(); ++j) {
            const double dx = moving[0][i] - reference[0][j];
            const double dy = moving[1][i] - reference[1][j];
            const double distance = dx * dx + dy * dy;
            if (distance < best)
                best = distance;
        }
        sum += std::sqrt(best);
    }
    return sum;
}

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof(double)) == 0;
}

QVector<double> randomValues(QRandomGenerator &random, int count, double from, double to)
{
    QVector<double> values(count);
    for (double &value : values)
        value = from + (to - from) * random.generateDouble();
    return values;
}

// Collects the debug lines sent while it lives.
class DebugCollector
{
public:
    DebugCollector() { s_previous = qInstallMessageHandler(&DebugCollector::handler); }
    ~DebugCollector() { qInstallMessageHandler(s_previous); }
    static QStringList lines;

private:
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &text)
    {
        if (type == QtDebugMsg)
            lines.append(text);
    }
    static QtMessageHandler s_previous;
};
QStringList DebugCollector::lines;
QtMessageHandler DebugCollector::s_previous = nullptr;

} // namespace

class TestTraceJoining : public QObject
{
    Q_OBJECT

private slots:
    void rejoinsShiftedTrace_data();
    void rejoinsShiftedTrace();
    void refusesImpossibleJoin_data();
    void refusesImpossibleJoin();
    void refusesValuesThatAreNotFinite_data();
    void refusesValuesThatAreNotFinite();
    void endsOnAnyInput_data();
    void endsOnAnyInput();
    void prunedSearchEqualsBruteForce();
    void overlapParts();
    void thinning();
    void searchAlongOneCoordinate();
    void refinementPasses();
    void mergeDropsCoveredLeftPoints();
};

void TestTraceJoining::rejoinsShiftedTrace_data()
{
    QTest::addColumn<double>("overlapMm");
    QTest::addColumn<double>("firstSampleError");

    // The right trace starts where the left trace's overlap starts, so the coarse offset is
    // exact unless the right trace's first sample is disturbed: then the refinement has to find
    // the true offset from the whole overlap.
    QTest::newRow("10 mm, clean") << 10.0 << 0.0;
    QTest::newRow("10 mm, first sample +0.5") << 10.0 << 0.5;
    QTest::newRow("10 mm, first sample -0.8") << 10.0 << -0.8;
    QTest::newRow("10 mm, first sample +3") << 10.0 << 3.0;
    QTest::newRow("5 mm, first sample +0.5") << 5.0 << 0.5;
    QTest::newRow("1 mm, first sample -0.8") << 1.0 << -0.8;
}

void TestTraceJoining::rejoinsShiftedTrace()
{
    QFETCH(double, overlapMm);
    QFETCH(double, firstSampleError);

    // One curve sampled every 0.5 µm; the left trace covers [0, 30000] µm, the right one starts
    // at the first sample of the left overlap and is displaced by (+37.3, -2.1) µm.
    const double step = 0.5;
    const int leftCount = 60001;
    const int rightFirst = int(std::lround((30000.0 - overlapMm * 1000.0) / step)) + 1;
    const int rightLast = 100000;
    QVector<double> leftX, leftY, rightX, rightY;
    for (int i = 0; i < leftCount; ++i) {
        leftX.append(i * step);
        leftY.append(syntheticCurve(i * step));
    }
    for (int i = rightFirst; i <= rightLast; ++i) {
        rightX.append(i * step + 37.3);
        rightY.append(syntheticCurve(i * step) - 2.1);
    }
    rightY[0] += firstSampleError;
    ProfileTrace left;
    ContourTrace right;
    fillTrace(left, leftX, leftY);
    fillTrace(right, rightX, rightY);
    (*right.processedData)[2] = QVector<double>(rightX.size(), 123.0);

    const TData joined = uniteTraces(left, right, overlapMm);
    QCOMPARE(joined.size(), 2);
    // Every left point before the right trace's first point, then the whole right trace.
    const int rightCount = rightX.size();
    QCOMPARE(joined[0].size(), rightFirst + rightCount);
    QCOMPARE(joined[1].size(), joined[0].size());
    for (int i = 0; i < rightFirst; ++i) {
        QCOMPARE(joined[0][i], leftX[i]);
        QCOMPARE(joined[1][i], leftY[i]);
    }
    double worstX = 0.0;
    double worstY = 0.0;
    // The disturbed first sample is left out of the comparison with the curve.
    const int from = firstSampleError == 0.0 ? 0 : 1;
    for (int k = from; k < rightCount; ++k) {
        const double x = (rightFirst + k) * step;
        worstX = qMax(worstX, std::fabs(joined[0][rightFirst + k] - x));
        worstY = qMax(worstY, std::fabs(joined[1][rightFirst + k] - syntheticCurve(x)));
    }
    QVERIFY2(worstX <= 0.01, qPrintable(QString::number(worstX)));
    QVERIFY2(worstY <= 0.01, qPrintable(QString::number(worstY)));
    // The traces themselves are not changed.
    QCOMPARE((*right.processedData)[0], rightX);
    QCOMPARE((*left.processedData)[1], leftY);
}

void TestTraceJoining::refusesImpossibleJoin_data()
{
    QTest::addColumn<QVector<double>>("leftX");
    QTest::addColumn<QVector<double>>("rightX");
    QTest::addColumn<double>("overlap");
    QTest::addColumn<int>("refusal");

    const QVector<double> three {0.0, 500.0, 1000.0};
    const QVector<double> shifted {800.0, 1300.0, 1800.0};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const int notPositive = int(UniteRefusal::OverlapNotPositive);
    const int tooFew = int(UniteRefusal::TooFewPoints);
    const int noOverlap = int(UniteRefusal::NoOverlap);
    const int notFinite = int(UniteRefusal::ValueNotFinite);
    QTest::newRow("zero overlap") << three << shifted << 0.0 << notPositive;
    QTest::newRow("negative overlap") << three << shifted << -1.0 << notPositive;
    QTest::newRow("NaN overlap") << three << shifted << nan << notPositive;
    QTest::newRow("empty left") << QVector<double>() << shifted << 1.0 << tooFew;
    QTest::newRow("single left point") << QVector<double> {0.0} << shifted << 1.0 << tooFew;
    QTest::newRow("empty right") << three << QVector<double>() << 1.0 << noOverlap;
    QTest::newRow("NaN first right X")
        << three << QVector<double> {nan, 1.0, 2.0} << 1.0 << notFinite;
    QTest::newRow("NaN last left X")
        << QVector<double> {0.0, 1.0, nan} << shifted << 1.0 << notFinite;
}

void TestTraceJoining::refusesImpossibleJoin()
{
    QFETCH(QVector<double>, leftX);
    QFETCH(QVector<double>, rightX);
    QFETCH(double, overlap);
    QFETCH(int, refusal);

    ProfileTrace left;
    ProfileTrace right;
    fillTrace(left, leftX, QVector<double>(leftX.size(), 1.0));
    fillTrace(right, rightX, QVector<double>(rightX.size(), 2.0));
    UniteRefusal reason = UniteRefusal::None;
    QVERIFY(uniteTraces(left, right, overlap, &reason).isEmpty());
    QCOMPARE(int(reason), refusal);
    // Every refusal has its words for the user and for the log.
    QVERIFY(!uniteRefusalText(reason).isEmpty());
    QVERIFY(std::strlen(uniteRefusalLogText(reason)) > 0);

    // A Y channel shorter than X is cut to the common length instead of read past its end.
    ProfileTrace ragged;
    fillTrace(ragged, {0.0, 1.0, 2.0, 3.0}, {5.0, 5.0});
    const TData joined = uniteTraces(ragged, ragged, 1.0);
    QCOMPARE(joined.size(), 2);
    QCOMPARE(joined[0].size(), joined[1].size());
}

void TestTraceJoining::refusesValuesThatAreNotFinite_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<bool>("inLeft");
    QTest::addColumn<int>("index");
    QTest::addColumn<double>("value");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // Inside the overlap parts (the search reads them) and outside them (the joined trace would
    // carry the value).
    QTest::newRow("NaN Y in the left overlap") << 1 << true << 390 << nan;
    QTest::newRow("NaN X in the left overlap") << 0 << true << 395 << nan;
    QTest::newRow("NaN Y in the right overlap") << 1 << false << 7 << nan;
    QTest::newRow("NaN first right Y") << 1 << false << 0 << nan;
    QTest::newRow("NaN X in the right overlap") << 0 << false << 7 << nan;
    QTest::newRow("infinite Y in the right overlap") << 1 << false << 12 << inf;
    QTest::newRow("infinite X in the left overlap") << 0 << true << 396 << -inf;
    QTest::newRow("NaN Y before the left overlap") << 1 << true << 10 << nan;
    QTest::newRow("NaN Y after the right overlap") << 1 << false << 390 << nan;
}

void TestTraceJoining::refusesValuesThatAreNotFinite()
{
    QFETCH(int, channel);
    QFETCH(bool, inLeft);
    QFETCH(int, index);
    QFETCH(double, value);

    // Two traces of one curve, 400 points 5 µm apart, overlapping by 0.5 mm.
    QVector<double> leftX, leftY, rightX, rightY;
    for (int i = 0; i < 400; ++i) {
        leftX.append(i * 5.0);
        leftY.append(syntheticCurve(i * 5.0));
        rightX.append(1500.0 + i * 5.0);
        rightY.append(syntheticCurve(1500.0 + i * 5.0) + 0.3);
    }
    QVector<double> &changed
        = inLeft ? (channel == 0 ? leftX : leftY) : (channel == 0 ? rightX : rightY);
    changed[index] = value;
    ProfileTrace left;
    ProfileTrace right;
    fillTrace(left, leftX, leftY);
    fillTrace(right, rightX, rightY);
    QVERIFY(uniteTraces(left, right, 0.5).isEmpty());

    // The searches themselves take no such value: nothing moves.
    TData reference = points(leftX.mid(300), leftY.mid(300));
    TData moving = points(rightX.mid(0, 100), rightY.mid(0, 100));
    if (inLeft && index < 300)
        reference[channel][0] = value;
    if (!inLeft && index >= 100)
        moving[channel][5] = value;
    const TData before = moving;
    const std::pair<double, double> shift = refineUniteOffset(reference, moving);
    QCOMPARE(shift.first, 0.0);
    QCOMPARE(shift.second, 0.0);
    const std::pair<double, double> along = searchUniteOffset(moving, reference, 1);
    QCOMPARE(along.first, 0.0);
    QVERIFY(std::isnan(along.second));
    QVERIFY(sameBits(moving[0][5], before[0][5]) && sameBits(moving[1][5], before[1][5]));
    QCOMPARE(moving[0].mid(10), before[0].mid(10));
}

void TestTraceJoining::endsOnAnyInput_data()
{
    QTest::addColumn<QVector<double>>("left");
    QTest::addColumn<QVector<double>>("right");
    QTest::addColumn<double>("overlap");

    // Points as x0, y0, x1, y1, ...
    // Shifted back and forth by adding steps, the set crept by roundings and each creep lowered
    // the error by a rounding: the search never ended.
    QTest::newRow("creeping search")
        << QVector<double> {80, -14, -4.25, -12.5, 80, 80, 80, 4.75}
        << QVector<double> {-4.25, -12, -10.75, -1.25, 80, 1.25, 2.75, -14.5} << 0.5;
    QTest::newRow("huge coordinates")
        << QVector<double> {0, 0, 1e300, -1e300, 2e300, 1e300}
        << QVector<double> {1e300, 0, -1e300, 1e300, 3e300, -1e299} << 1e300;
    QTest::newRow("points far apart in Y") << QVector<double> {0, 0, 1, 1e12, 2, -1e12, 3, 1e12}
                                           << QVector<double> {1, -1e12, 2, 1e12, 3, -1e12} << 1.0;
    QTest::newRow("tiny coordinates")
        << QVector<double> {0, 0, 1e-310, 3e-310, 2e-310, -3e-310}
        << QVector<double> {1e-310, 2e-310, 2e-310, -1e-310} << 1e-300;
}

void TestTraceJoining::endsOnAnyInput()
{
    QFETCH(QVector<double>, left);
    QFETCH(QVector<double>, right);
    QFETCH(double, overlap);

    const auto fill = [](AbstractTrace &trace, const QVector<double> &xy) {
        QVector<double> xs, ys;
        for (int i = 0; i + 1 < xy.size(); i += 2) {
            xs.append(xy[i]);
            ys.append(xy[i + 1]);
        }
        fillTrace(trace, xs, ys);
    };
    ContourTrace leftTrace;
    ContourTrace rightTrace;
    fill(leftTrace, left);
    fill(rightTrace, right);
    // In a child that an alarm ends, so that a search that does not end fails here within
    // seconds; it takes microseconds.
    const testsupport::ChildResult ended = testsupport::runInChild({}, [&] {
        ::alarm(20);
        UniteRefusal refusal = UniteRefusal::None;
        const TData joined = uniteTraces(leftTrace, rightTrace, overlap, &refusal);
        // Either joined, every point finite, or refused with its reason.
        if (joined.isEmpty())
            return refusal != UniteRefusal::None;
        bool finite = joined.size() == 2 && joined[0].size() == joined[1].size();
        for (const QVector<double> &channel : joined) {
            for (double v : channel)
                finite = finite && std::isfinite(v);
        }
        return finite && refusal == UniteRefusal::None;
    });
    QCOMPARE(int(ended), int(testsupport::ChildResult::True));
}

void TestTraceJoining::prunedSearchEqualsBruteForce()
{
    QRandomGenerator random(20261210);
    for (int round = 0; round < 60; ++round) {
        const int referenceCount = round < 3 ? round : int(random.bounded(1, 600));
        const int movingCount = int(random.bounded(0, 80));
        TData reference = points(randomValues(random, referenceCount, -50.0, 50.0),
                                 randomValues(random, referenceCount, -5.0, 5.0));
        // Some rounds use a sorted, trace-like reference; some repeat X values.
        if (round % 3 == 0)
            std::sort(reference[0].begin(), reference[0].end());
        if (round % 4 == 1) {
            for (double &x : reference[0])
                x = std::round(x);
        }
        const TData moving = points(randomValues(random, movingCount, -60.0, 60.0),
                                    randomValues(random, movingCount, -8.0, 8.0));
        const double pruned = summedCurveDistance(reference, moving);
        const double expected = bruteForceDistance(reference, moving);
        QVERIFY2(sameBits(pruned, expected),
                 qPrintable(QStringLiteral("round %1: %2 != %3")
                                .arg(round)
                                .arg(pruned, 0, 'g', 17)
                                .arg(expected, 0, 'g', 17)));
    }
    // Empty reference: every moving point contributes the square root of the largest double.
    const TData two = points({1.0, 2.0}, {3.0, 4.0});
    QCOMPARE(summedCurveDistance(TData(2), two), 2.0 * 1.3407807929942596e154);
    QCOMPARE(summedCurveDistance(two, TData(2)), 0.0);
}

void TestTraceJoining::overlapParts()
{
    // The left X order is not relied on: the visit tests every point, never the first.
    ProfileTrace left;
    fillTrace(left, {9.5, 5.0, 9.0, 3.0, 10.0}, {0.0, 1.0, 2.0, 3.0, 4.0});
    ProfileTrace right;
    fillTrace(right, {100.0, 104.0, 107.0, 101.0}, {5.0, 6.0, 7.0, 8.0});
    std::pair<TData, TData> parts = cutUniteOverlaps(left, right, 6.0);
    QCOMPARE(parts.first, points({5.0, 9.0, 10.0}, {1.0, 2.0, 4.0}));
    QCOMPARE(parts.second, points({100.0, 104.0, 101.0}, {5.0, 6.0, 8.0}));

    // A left trace shorter than the overlap gives every point but its first.
    parts = cutUniteOverlaps(left, right, 1000.0);
    QCOMPARE(parts.first[0], (QVector<double> {5.0, 9.0, 3.0, 10.0}));
}

void TestTraceJoining::thinning()
{
    // The threshold grows by a hundredth of the overlap (100 µm here) per point taken, so after
    // a gap the points that follow closely are taken too, until the threshold catches up.
    const TData part
        = points({0.0, 50.0, 100.0, 150.0, 260.0, 270.0, 500.0, 501.0, 502.0, 560.0, 650.0},
                 {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0, 10.0, 11.0});
    QCOMPARE(prepareUniteOverlap(part, 10000.0),
             points({0.0, 100.0, 260.0, 500.0, 501.0, 502.0, 650.0},
                    {1.0, 3.0, 5.0, 7.0, 8.0, 9.0, 11.0}));

    // A dense 10 mm part keeps about 100 points, the k-th at least k * 100 µm from the first.
    QVector<double> xs;
    for (int i = 0; i < 20000; ++i)
        xs.append(1234.0 + i * 0.5);
    const TData thinned = prepareUniteOverlap(points(xs, xs), 10000.0);
    QCOMPARE(thinned[0].size(), 100);
    for (int k = 0; k < thinned[0].size(); ++k)
        QVERIFY(thinned[0][k] - thinned[0][0] >= k * 100.0);
}

void TestTraceJoining::searchAlongOneCoordinate()
{
    // Reference: the line y = x, densely sampled; the moving points lie 3 µm above it.
    QVector<double> lineX;
    for (int i = 0; i <= 10000; ++i)
        lineX.append(i * 0.01);
    const TData line = points(lineX, lineX);
    TData moving = points({0.0, 50.0, 100.0}, {3.0, 53.0, 103.0});
    std::pair<double, double> result = searchUniteOffset(moving, line, 1);
    QVERIFY2(std::fabs(result.first + 3.0) < 0.01, qPrintable(QString::number(result.first)));
    QVERIFY(result.second < 0.03);
    QCOMPARE(moving[1][0], 3.0 + result.first);

    // Equal errors on both sides halve the step instead of moving, even below the current error.
    const TData symmetric = points({-3.0, 3.0, 7.0, 13.0}, {0.0, 0.0, 0.0, 0.0});
    TData pair = points({0.0, 10.0}, {0.0, 0.0});
    result = searchUniteOffset(pair, symmetric, 0);
    QCOMPARE(result.first, 0.0);
    QCOMPARE(result.second, 6.0);
    QVERIFY(std::fabs(pair[0][0]) < 1e-12);

    // Zero range along the coordinate: no step, no shift.
    TData flat = points({0.0, 50.0, 100.0}, {3.0, 3.0, 3.0});
    result = searchUniteOffset(flat, line, 1);
    QCOMPARE(result.first, 0.0);
    QCOMPARE(result.second, summedCurveDistance(line, flat));
    QCOMPARE(flat[1], (QVector<double> {3.0, 3.0, 3.0}));
}

void TestTraceJoining::refinementPasses()
{
    QVector<double> xs;
    QVector<double> ys;
    for (int i = 0; i <= 4000; ++i) {
        xs.append(i * 0.5);
        ys.append(syntheticCurve(i * 0.5));
    }
    const TData reference = points(xs, ys);

    // Already in place: the first pass changes nothing and writes no diagnostic line.
    TData placed = prepareUniteOverlap(reference, 2000.0);
    {
        DebugCollector debug;
        DebugCollector::lines.clear();
        const std::pair<double, double> shift = refineUniteOffset(reference, placed);
        QCOMPARE(shift.first, 0.0);
        QCOMPARE(shift.second, 0.0);
        QVERIFY(DebugCollector::lines.isEmpty());
    }

    // Displaced in Y: the shift is found and each further pass writes its diagnostic line.
    TData displaced = prepareUniteOverlap(reference, 2000.0);
    for (double &y : displaced[1])
        y += 0.7;
    {
        DebugCollector debug;
        DebugCollector::lines.clear();
        const std::pair<double, double> shift = refineUniteOffset(reference, displaced);
        QVERIFY2(std::fabs(shift.second + 0.7) < 0.01, qPrintable(QString::number(shift.second)));
        QVERIFY(!DebugCollector::lines.isEmpty());
        QVERIFY(DebugCollector::lines.first().startsWith(QStringLiteral("beforeError = ")));
    }
}

void TestTraceJoining::mergeDropsCoveredLeftPoints()
{
    // The whole left set is scanned; points at or beyond the right set's first X are dropped.
    const TData left = points({0.0, 1.0, 3.0, 2.0, 2.5}, {10.0, 11.0, 13.0, 12.0, 12.5});
    const TData right = points({2.5, 2.0, 4.0}, {20.0, 21.0, 22.0});
    QCOMPARE(mergeUnitedPoints(left, right),
             points({0.0, 1.0, 2.0, 2.5, 2.0, 4.0}, {10.0, 11.0, 12.0, 20.0, 21.0, 22.0}));
    QCOMPARE(mergeUnitedPoints(left, TData(2)), left);
}

QTEST_GUILESS_MAIN(TestTraceJoining)
#include "tst_TraceJoining.moc"
