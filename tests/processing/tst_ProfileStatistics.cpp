#include "processing/CutOffs.h"
#include "processing/MaterialRatio.h"
#include "processing/ProfileStatistics.h"
#include "support/TestSupport.h"

#include <QRandomGenerator>
#include <cmath>

using namespace ProfileStatistics;
using Profile = QVector<QVector<double>>;
using RaTable = QMap<int, double>;

Q_DECLARE_METATYPE(ProfileStatistics::ViewRect)

namespace {

const QVector<double> kCutOffs = {8000, 2500, 800, 250, 80};

// A triangle wave between -amplitude and +amplitude with `periods` whole periods over [0, 1000].
Profile triangleWave(int periods, double amplitude, int pointsPerPeriod)
{
    Profile p(2);
    const int n = periods * pointsPerPeriod;
    for (int i = 0; i <= n; ++i) {
        const double phase = double(i % pointsPerPeriod) / pointsPerPeriod;
        const double y = phase < 0.5 ? -amplitude + 4 * amplitude * phase
                                     : 3 * amplitude - 4 * amplitude * phase;
        p[0].append(1000.0 * i / n);
        p[1].append(y);
    }
    return p;
}

ViewRect rect(double xLow, double xHigh, double yLow, double yHigh)
{
    ViewRect r;
    r.xLow = xLow;
    r.xHigh = xHigh;
    r.yLow = yLow;
    r.yHigh = yHigh;
    return r;
}

} // namespace

class TestProfileStatistics : public QObject
{
    Q_OBJECT

private slots:
    void rmsLevelOfHeights()
    {
        COMPARE_REL(rmsLevel({3.0, -4.0}), std::sqrt(12.5), 1e-15);
        QVERIFY(std::isnan(rmsLevel({})));
    }

    // A parabola far from the origin in fine units (X up to 2·10^5) comes back exactly enough
    // to straighten it to a constant; the plain normal equations lose it there.
    void quadraticLineFollowsAParabola()
    {
        QVector<double> x;
        QVector<double> y;
        for (int i = 0; i < 20000; ++i) {
            const double xi = 1.0e5 + 5.0 * i;
            const double t = (xi - 1.5e5) / 1.0e3;
            x.append(xi);
            y.append(2.0 - 3.0 * t + 0.5 * t * t);
        }
        QVector<double> line;
        QVERIFY(quadraticLine(x, y, &line));
        QCOMPARE(line.size(), y.size());
        for (int i = 0; i < y.size(); i += 997)
            COMPARE_TOL(line.at(i), y.at(i), 1e-9, 1e-7);
        const QVector<double> flat = straighten(y, line, 7.0);
        for (int i = 0; i < flat.size(); i += 997)
            COMPARE_TOL(flat.at(i), 7.0, 0, 1e-7);
    }

    void quadraticLineRefusesDegeneratePoints_data()
    {
        QTest::addColumn<QVector<double>>("x");
        QTest::addColumn<QVector<double>>("y");
        QTest::newRow("no points") << QVector<double>() << QVector<double>();
        QTest::newRow("one X") << QVector<double> {1, 1, 1} << QVector<double> {1, 2, 3};
        QTest::newRow("two distinct X")
            << QVector<double> {1, 2, 2, 1} << QVector<double> {1, 2, 3, 4};
        QTest::newRow("unequal lengths") << QVector<double> {1, 2, 3} << QVector<double> {1, 2};
        QTest::newRow("infinite X") << QVector<double> {1, 2, qInf()} << QVector<double> {1, 2, 3};
        QTest::newRow("NaN height")
            << QVector<double> {1, 2, 3, 4} << QVector<double> {1, qQNaN(), 3, 4};
    }
    void quadraticLineRefusesDegeneratePoints()
    {
        QFETCH(QVector<double>, x);
        QFETCH(QVector<double>, y);
        QVector<double> line {42.0};
        QVERIFY(!quadraticLine(x, y, &line));
        QCOMPARE(line, QVector<double> {42.0});
    }

    void straightenKeepsHeightsForAMismatchedLine()
    {
        const QVector<double> y {1, 2, 3};
        QCOMPARE(straighten(y, {}, 5.0), y);
        QCOMPARE(straighten(y, {1, 1, 1}, 5.0), (QVector<double> {5, 6, 7}));
    }

    void visibleSpanKeepsOneNeighbourEachSide()
    {
        const QVector<double> x {0, 1, 2, 3, 4, 5, 6};
        QCOMPARE(visibleSpan(x, 2.5, 4.0, true), (std::pair<int, int>(2, 6)));
        QCOMPARE(visibleSpan(x, -10, 100, true), (std::pair<int, int>(0, 7)));
        QCOMPARE(visibleSpan(x, 10, 20, true), (std::pair<int, int>(6, 7)));
        QCOMPARE(visibleSpan(x, 2.5, 4.0, false), (std::pair<int, int>(0, 7)));
        QVERIFY(isAscending(x));
        QVERIFY(!isAscending({0, 2, 1}));
        QVERIFY(!isAscending({0, qQNaN(), 1}));
    }

    // The histogram is the amplitude density of the points inside the view, exactly; only the
    // counting differs (bins instead of a sort).
    void histogramEqualsTheAmplitudeDensityInTheView_data()
    {
        QTest::addColumn<Profile>("profile");
        QTest::addColumn<int>("density");
        QTest::addColumn<ViewRect>("view");

        QRandomGenerator random(7);
        Profile noise(2);
        for (int i = 0; i < 5000; ++i) {
            noise[0].append(i * 0.2);
            noise[1].append(random.bounded(20.0) - 10.0);
        }
        Profile steps(2);
        for (int i = 0; i < 3000; ++i) {
            steps[0].append(i);
            steps[1].append(i % 101);
        }
        // Each height repeated, every one on a window bound: neighbours share their bin.
        Profile repeated(2);
        for (int i = 0; i < 3000; ++i) {
            repeated[0].append(i);
            repeated[1].append((i / 7) % 101);
        }
        Profile withNan = noise;
        withNan[1][17] = qQNaN();
        withNan[1][400] = qInf();
        Profile flat(2);
        for (int i = 0; i < 50; ++i) {
            flat[0].append(i);
            flat[1].append(3.0);
        }
        QTest::newRow("noise, whole view") << noise << 10 << rect(-1, 1001, -11, 11);
        QTest::newRow("noise, zoomed") << noise << 10 << rect(200, 300, -4, 6.5);
        QTest::newRow("noise, density 0") << noise << 0 << rect(-1, 1001, -11, 11);
        QTest::newRow("noise, density 99") << noise << 99 << rect(10, 900, -9, 9);
        QTest::newRow("noise, density beyond") << noise << 150 << rect(10, 900, -9, 9);
        QTest::newRow("heights on the window bounds") << steps << 10 << rect(-1, 3001, -1, 101);
        QTest::newRow("bounds inside the profile") << steps << 7 << rect(100, 2000, 20, 80);
        QTest::newRow("repeated heights on the bounds")
            << repeated << 10 << rect(-1, 3001, -1, 101);
        QTest::newRow("repeated heights, bounds inside") << repeated << 3 << rect(50, 2500, 20, 80);
        QTest::newRow("NaN and infinity") << withNan << 10 << rect(-1, 1001, -11, 11);
        QTest::newRow("flat") << flat << 10 << rect(-1, 51, 0, 6);
        QTest::newRow("one point inside") << steps << 10 << rect(4.5, 5.5, -1, 101);
        QTest::newRow("nothing inside") << steps << 10 << rect(5000, 6000, -1, 101);
    }
    void histogramEqualsTheAmplitudeDensityInTheView()
    {
        QFETCH(Profile, profile);
        QFETCH(int, density);
        QFETCH(ViewRect, view);
        const Profile expected = Algos::amplitudeDensityInRect(profile, density, view.xLow,
                                                               view.xHigh, view.yLow, view.yHigh);
        const auto extremes = heightExtremes(profile.at(1));
        const auto span = visibleSpan(profile.at(0), view.xLow, view.xHigh, true);
        const Profile actual = histogram(profile.at(0), profile.at(1), span, density, view,
                                         extremes.first, extremes.second);
        QCOMPARE(actual, expected);
    }

    // A triangle wave spends equal lengths at every height, so its bearing curve is a straight
    // line from 100 % at the bottom to 0 % at the top, valleys below zero counting as void.
    void materialRatioOfATriangleWaveIsLinear_data()
    {
        QTest::addColumn<Profile>("profile");
        QTest::addColumn<ViewRect>("view");
        QTest::addColumn<double>("bottom");
        QTest::addColumn<double>("top");
        const Profile wave = triangleWave(10, 1.0, 40);
        QTest::newRow("view on the wave") << wave << rect(0, 1000, -1, 1) << -1.0 << 1.0;
        QTest::newRow("view wider than the wave") << wave << rect(0, 1000, -2, 3) << -1.0 << 1.0;
        QTest::newRow("two whole periods in view") << wave << rect(300, 500, -1, 1) << -1.0 << 1.0;
        // Many points between two levels, and points on the levels.
        QTest::newRow("finely sampled wave")
            << triangleWave(2, 1.0, 20000) << rect(0, 1000, -1, 1) << -1.0 << 1.0;
        Profile reversed(2);
        for (int i = wave.at(0).size() - 1; i >= 0; --i) {
            reversed[0].append(wave.at(0).at(i));
            reversed[1].append(wave.at(1).at(i));
        }
        QTest::newRow("X running backwards") << reversed << rect(0, 1000, -1, 1) << -1.0 << 1.0;
        Profile ramp {{0, 10}, {0, 10}};
        // The edges of the view cut the one segment to X 2.5 .. 7.5, heights 2.5 .. 7.5.
        QTest::newRow("segment cut by the view") << ramp << rect(2.5, 7.5, 0, 10) << 2.5 << 7.5;
    }
    void materialRatioOfATriangleWaveIsLinear()
    {
        QFETCH(Profile, profile);
        QFETCH(ViewRect, view);
        QFETCH(double, bottom);
        QFETCH(double, top);
        const bool ascending = isAscending(profile.at(0));
        const RatioCurve curve
            = materialRatio(profile.at(0), profile.at(1),
                            visibleSpan(profile.at(0), view.xLow, view.xHigh, ascending), view);
        QCOMPARE(curve.levels.size(), kRatioLevels);
        QCOMPARE(curve.ratios.size(), kRatioLevels);
        const double step = (view.yHigh - view.yLow) / kRatioLevels;
        for (int i = 0; i < kRatioLevels; ++i) {
            const double level = view.yLow + i * step;
            QCOMPARE(curve.levels.at(i), level);
            const double expected = std::clamp((top - level) / (top - bottom), 0.0, 1.0) * 100.0;
            COMPARE_TOL(curve.ratios.at(i), expected, 0, 1e-9);
        }
    }

    void materialRatioEdgeCases()
    {
        // A flat bottom at the lowest level is material; a gap (NaN) takes no length.
        const Profile flatAndGap {{0, 1, 2, 3, 4}, {0, 0, qQNaN(), 2, 2}};
        const RatioCurve flat
            = materialRatio(flatAndGap.at(0), flatAndGap.at(1), {0, 5}, rect(0, 4, 0, 4));
        QCOMPARE(flat.ratios.at(0), 100.0);
        // Levels above 0 and up to 2: only the segment X 3..4 at height 2 is left of 2 units.
        QCOMPARE(flat.ratios.at(1), 50.0);
        QCOMPARE(flat.ratios.at(50), 50.0);
        QCOMPARE(flat.ratios.at(51), 0.0);

        const Profile ramp {{0, 10}, {0, 10}};
        QVERIFY(materialRatio(ramp.at(0), ramp.at(1), {0, 2}, rect(0, 10, 5, 5)).levels.isEmpty());
        QVERIFY(
            materialRatio(ramp.at(0), ramp.at(1), {0, 2}, rect(20, 30, 0, 10)).levels.isEmpty());
        QVERIFY(materialRatio(ramp.at(0), ramp.at(1), {0, 1}, rect(0, 10, 0, 10)).levels.isEmpty());
        QVERIFY(materialRatio({}, {}, {0, 0}, rect(0, 10, 0, 10)).levels.isEmpty());
    }

    // Million-point rough profiles must not lose the ratio in the running sums: the curve of
    // noise agrees with a direct count of the length above each level.
    void materialRatioMatchesADirectSum()
    {
        QRandomGenerator random(11);
        Profile p(2);
        for (int i = 0; i < 2000; ++i) {
            p[0].append(i * 0.5);
            p[1].append(random.bounded(2.0) - 1.0 + (i % 97 == 0 ? 40.0 : 0.0));
        }
        const ViewRect view = rect(100.25, 800.75, -1.2, 1.3);
        const RatioCurve curve = materialRatio(p.at(0), p.at(1), {0, p.at(0).size()}, view);
        QCOMPARE(curve.ratios.size(), kRatioLevels);
        for (int i = 0; i < kRatioLevels; i += 7) {
            const double level = curve.levels.at(i);
            double above = 0.0;
            double total = 0.0;
            for (int k = 0; k + 1 < p.at(0).size(); ++k) {
                // Integrate the clipped segment numerically, finely enough for 1e-6.
                const int parts = 1000;
                for (int s = 0; s < parts; ++s) {
                    const double t = (s + 0.5) / parts;
                    const double xs = p.at(0).at(k) + t * 0.5;
                    if (xs < view.xLow || xs > view.xHigh)
                        continue;
                    const double ys = p.at(1).at(k) + t * (p.at(1).at(k + 1) - p.at(1).at(k));
                    total += 0.5 / parts;
                    if (ys >= level)
                        above += 0.5 / parts;
                }
            }
            COMPARE_TOL(curve.ratios.at(i), above / total * 100.0, 0, 0.1);
        }
    }

    void pickedLevelNeedsBothCoordinatesNearer_data()
    {
        QTest::addColumn<double>("ratio");
        QTest::addColumn<double>("height");
        QTest::addColumn<double>("level");
        // Curve points (level, ratio): (0, 100), (1, 50), (2, 0).
        QTest::newRow("on the middle point") << 50.0 << 1.0 << 1.0;
        QTest::newRow("near the top point") << 1.0 << 1.9 << 2.0;
        // Nearest in plain distance is (2, 0)... but the ratio of (1, 50) and (2, 0) is farther
        // than that of the first point, so the first point stays.
        QTest::newRow("height near, ratio far") << 90.0 << 1.9 << 0.0;
    }
    void pickedLevelNeedsBothCoordinatesNearer()
    {
        QFETCH(double, ratio);
        QFETCH(double, height);
        QFETCH(double, level);
        RatioCurve curve;
        curve.levels = {0, 1, 2};
        curve.ratios = {100, 50, 0};
        QCOMPARE(pickedLevel(curve, ratio, height), level);
        QCOMPARE(pickedLevel(RatioCurve(), ratio, height), 0.0);
    }

    void recommendedCutOffFitsTheTrace_data()
    {
        QTest::addColumn<int>("prescribed");
        QTest::addColumn<double>("length");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("expected");
        QTest::newRow("long enough") << 800 << 1600.0 << 250 << 800;
        QTest::newRow("too short, nearest allowed") << 2500 << 4000.0 << 80 << 800;
        QTest::newRow("too short for any") << 800 << 100.0 << 250 << 250;
        QTest::newRow("tie goes to the longer") << 165 << 500.0 << 80 << 250;
    }
    void recommendedCutOffFitsTheTrace()
    {
        QFETCH(int, prescribed);
        QFETCH(double, length);
        QFETCH(int, current);
        QFETCH(int, expected);
        QCOMPARE(recommendedCutOff(prescribed, length, kCutOffs, current), expected);
    }

    // The proposal loop against a scripted trace: Ra per cut-off, prescription per Ra and the
    // operator's answers; what was asked and switched is recorded.
    void proposalLoop_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<RaTable>("raByCutOff");
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<QList<int>>("asked");
        QTest::addColumn<int>("final");
        // Ra 1.0 prescribes 800 (GOST); Ra 0.3 prescribes 250; Ra 0.01 prescribes 80.
        QTest::newRow("current already prescribed")
            << 800 << RaTable {{800, 1.0}} << QList<bool>() << QList<int>() << 800;
        QTest::newRow("accepted, then settled") << 2500 << RaTable {{2500, 1.0}, {800, 1.0}}
                                                << QList<bool> {true} << QList<int> {800} << 800;
        QTest::newRow("refused") << 2500 << RaTable {{2500, 1.0}} << QList<bool> {false}
                                 << QList<int> {800} << 2500;
        QTest::newRow("two switches") << 2500 << RaTable {{2500, 1.0}, {800, 0.3}, {250, 0.3}}
                                      << QList<bool> {true, true} << QList<int> {800, 250} << 250;
        QTest::newRow("oscillation stops at a tried cut-off")
            << 800 << RaTable {{800, 0.3}, {250, 1.0}} << QList<bool> {true} << QList<int> {250}
            << 250;
        QTest::newRow("Ra zero") << 800 << RaTable {{800, 0.0}} << QList<bool>() << QList<int>()
                                 << 800;
        QTest::newRow("no standard")
            << 800 << RaTable {{800, -1.0}} << QList<bool>() << QList<int>() << 800;
    }
    void proposalLoop()
    {
        QFETCH(int, start);
        QFETCH(RaTable, raByCutOff);
        QFETCH(QList<bool>, answers);
        QFETCH(QList<int>, asked);
        QFETCH(int, final);
        int current = start;
        QList<int> questions;
        QList<int> switched;
        CutOffProposal steps;
        steps.measureRa = [&] {
            return raByCutOff.value(current, 0.0);
        };
        // A negative Ra stands for "no standard chosen".
        steps.prescribe = [](double ra) {
            return ra < 0 ? 0 : Algos::standardCutOff(ra, 0);
        };
        steps.accept = [&](int cutOff) {
            questions.append(cutOff);
            return answers.isEmpty() ? false : answers.takeFirst();
        };
        steps.apply = [&](int index) {
            switched.append(index);
            current = int(kCutOffs.at(index));
        };
        QCOMPARE(proposeCutOff(kCutOffs, 100000.0, start, steps), final);
        QCOMPARE(questions, asked);
        QCOMPARE(current, final);
    }
};

QTEST_APPLESS_MAIN(TestProfileStatistics)
#include "tst_ProfileStatistics.moc"
