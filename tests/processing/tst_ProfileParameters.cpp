#include "processing/Fitting.h"
#include "processing/ProfileParameters.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

using Profile = QVector<QVector<double>>;

namespace {

Profile sampled(double from, double to, double step, const std::function<double(double)> &y)
{
    Profile p(2);
    const int n = int(std::llround((to - from) / step)) + 1;
    for (int i = 0; i < n; ++i) {
        const double x = from + i * step;
        p[0].append(x);
        p[1].append(y(x));
    }
    return p;
}

Profile points(const QVector<double> &xs, const QVector<double> &ys)
{
    return Profile {xs, ys};
}

QVector<double> firstAndLastX(const Profile &length)
{
    return {length.at(0).first(), length.at(0).last()};
}

} // namespace

class TestProfileParameters : public QObject
{
    Q_OBJECT

private slots:
    void splitSpreadsLengthsOverTheSpan_data()
    {
        QTest::addColumn<double>("span");
        QTest::addColumn<QVector<double>>("bounds");
        QTest::newRow("700 / 100: five with gaps of 50")
            << 700.0 << QVector<double> {0, 100, 150, 250, 300, 400, 450, 550, 600, 700};
        QTest::newRow("250 / 100: two") << 250.0 << QVector<double> {0, 100, 150, 250};
        QTest::newRow("150 / 100: one at the start") << 150.0 << QVector<double> {0, 100};
        QTest::newRow("exactly one cut-off") << 100.0 << QVector<double> {0, 100};
    }
    void splitSpreadsLengthsOverTheSpan()
    {
        QFETCH(double, span);
        QFETCH(QVector<double>, bounds);
        const Profile p = sampled(0, span, 1, [](double) { return 0.0; });
        const QVector<Profile> lengths = Algos::splitSamplingLengths(p, 100);
        QCOMPARE(lengths.size(), bounds.size() / 2);
        for (int k = 0; k < lengths.size(); ++k) {
            QCOMPARE(firstAndLastX(lengths.at(k)), bounds.mid(2 * k, 2));
            QCOMPARE(lengths.at(k).at(0).size(), 101);
            QCOMPARE(lengths.at(k).at(1).size(), 101);
        }
    }

    void splitGivesBoundaryPointToTheEarlierLength()
    {
        // Span 200, c = 100: two touching lengths [0, 100] and [100, 200].
        const Profile p = points({0, 50, 100, 150, 200}, {1, 2, 3, 4, 5});
        const QVector<Profile> lengths = Algos::splitSamplingLengths(p, 100);
        QCOMPARE(lengths.size(), 2);
        QCOMPARE(lengths.at(0), points({0, 50, 100}, {1, 2, 3}));
        QCOMPARE(lengths.at(1), points({150, 200}, {4, 5}));
        // The calculators split the same way: Rmax of [0 0 10] and [0 5].
        QCOMPARE(Algos::calcRmax(points({0, 50, 100, 150, 200}, {0, 0, 10, 0, 5}), 100), 7.5);
        QVERIFY(Algos::splitSamplingLengths(Profile(), 100).isEmpty());
        QVERIFY(Algos::splitSamplingLengths(Profile(2), 100).isEmpty());
    }

    // A sine of amplitude A with 100 periods per sampling length: the mean line barely tilts, so
    // the results approach the continuous values. The phase keeps samples off the exact peaks,
    // where two neighbours could round to equal values and hide a peak from S.
    void sineMatchesClosedForms()
    {
        const double a = 1.5;
        const Profile p = sampled(0, 4000, 0.2,
                                  [a](double x) { return a * std::sin(2 * M_PI * x / 8.0 + 0.3); });
        COMPARE_REL(Algos::calcRa(p, 800), 2 * a / M_PI, 0.005);
        COMPARE_REL(Algos::calcRq(p, 800), a / std::sqrt(2.0), 0.005);
        COMPARE_REL(Algos::calcRku(p, 800), 1.5, 0.005);
        QVERIFY(std::fabs(Algos::calcRsk(p, 800)) < 0.01);
        // Peak-to-valley values feel the small tilt of the mean lines at the ends of a length.
        COMPARE_REL(Algos::calcRz(p, 800), 2 * a, 0.02);
        COMPARE_REL(Algos::calcRp(p, 800), a, 0.02);
        COMPARE_REL(Algos::calcRv(p, 800), a, 0.02);
        COMPARE_REL(Algos::calcRt(p), 2 * a, 0.02);
        COMPARE_REL(Algos::calcS(p), 8.0, 1e-9);
        // One peak per period: 100 per 800 µm, i.e. 1250 per 10 000 µm (the last crossing of
        // each length may fall outside it).
        COMPARE_REL(Algos::calcD(p, 800), 1250, 0.015);
        // RΔq of a sine is A·2π/λ·/√2 (no arctangent), in degrees by 180/π.
        COMPARE_REL(Algos::calcDeltaQ(p, 800), a * 2 * M_PI / 8.0 / std::sqrt(2.0) * 180 / M_PI,
                    0.005);
        COMPARE_REL(Algos::calcLambdaQ(p, 800), 8.0, 0.005);
        COMPARE_REL(Algos::calcLambdaA(p, 800), 8.0, 0.005);
        COMPARE_REL(Algos::calcRm(p, 800), Algos::calcRz(p, 800), 0.0);
    }

    void triangleMatchesClosedForms()
    {
        const double a = 2.0;
        const double period = 8.0;
        const Profile p = sampled(0, 4000, 0.2, [=](double x) {
            const double phase = std::fmod(x, period) / period;
            return a * (phase < 0.5 ? 4 * phase - 1 : 3 - 4 * phase);
        });
        COMPARE_REL(Algos::calcRa(p, 800), a / 2, 0.005);
        COMPARE_REL(Algos::calcRq(p, 800), a / std::sqrt(3.0), 0.005);
        COMPARE_REL(Algos::calcDeltaA(p, 800), 4 * a / period * 180 / M_PI, 1e-9);
    }

    // The line Y = 0.01·X sampled every 1 from 0 to 800 with c = 80: the mean lines take up the
    // tilt, the raw peak-to-valley does not, and the slope is 0.01 everywhere.
    void lineHasNoRoughness()
    {
        const Profile p = sampled(0, 800, 1, [](double x) { return 0.01 * x; });
        const QVector<Profile> lengths = Algos::splitSamplingLengths(p, 80);
        QCOMPARE(lengths.size(), 5);
        QCOMPARE(firstAndLastX(lengths.at(1)), QVector<double>({180, 260}));
        QCOMPARE(firstAndLastX(lengths.at(4)), QVector<double>({720, 800}));
        QVERIFY(std::fabs(Algos::calcRa(p, 80)) < 1e-12);
        QVERIFY(std::fabs(Algos::calcRq(p, 80)) < 1e-12);
        QVERIFY(std::fabs(Algos::calcRz(p, 80)) < 1e-12);
        COMPARE_REL(Algos::calcRmax(p, 80), 0.8, 1e-12);
        COMPARE_REL(Algos::calcDeltaQ(p, 80), 0.01 * 180 / M_PI, 1e-12);
        COMPARE_REL(Algos::calcDeltaA(p, 80), 0.01 * 180 / M_PI, 1e-12);
        COMPARE_REL(Algos::calcL0(p, 80), 80 * std::sqrt(1 + 1e-4), 1e-12);
        COMPARE_REL(Algos::calcRelativeLength(p, 80), std::sqrt(1 + 1e-4), 1e-12);
    }

    // Every calculator on sampling lengths gives 0 below one cut-off, as do all of them (but Rt
    // of a profile with points) without channels.
    void shortOrEmptyProfileGivesZero_data()
    {
        QTest::addColumn<Profile>("profile");
        QTest::newRow("span 99 of 100") << sampled(0, 99, 1, [](double x) { return std::sin(x); });
        QTest::newRow("no channels") << Profile();
    }
    void shortOrEmptyProfileGivesZero()
    {
        QFETCH(Profile, profile);
        using Calc = double (*)(const Profile &, double);
        const Calc calcs[]
            = {Algos::calcRa,      Algos::calcRmax,   Algos::calcRz,     Algos::calcRm,
               Algos::calcRc,      Algos::calcRq,     Algos::calcRsk,    Algos::calcRku,
               Algos::calcRSm,     Algos::calcDeltaQ, Algos::calcDeltaA, Algos::calcLambdaQ,
               Algos::calcLambdaA, Algos::calcD,      Algos::calcL0,     Algos::calcRelativeLength,
               Algos::calcRz10,    Algos::calcRp,     Algos::calcRv,     Algos::calcR3z};
        for (Calc calc : calcs)
            QCOMPARE(calc(profile, 100), 0.0);
        QCOMPARE(Algos::calcEtaP(profile, 100, 0), 0.0);
        QCOMPARE(Algos::calcTp(profile, 100, -10), 0.0);
        QCOMPARE(Algos::calcRt(Profile()), 0.0);
        QCOMPARE(Algos::calcS(Profile()), 0.0);
    }

    // Points out of X order still go to the first length that holds them; the pooled and
    // per-length values do not depend on the order inside a length.
    void unorderedPointsSplitTheSameWay()
    {
        const Profile ordered = sampled(0, 700, 1, [](double x) { return std::sin(x / 3.0); });
        Profile shuffled = ordered;
        std::swap(shuffled[0][10], shuffled[0][20]);
        std::swap(shuffled[1][10], shuffled[1][20]);
        std::swap(shuffled[0][120], shuffled[0][160]);
        std::swap(shuffled[1][120], shuffled[1][160]);
        COMPARE_REL(Algos::calcRa(shuffled, 100), Algos::calcRa(ordered, 100), 1e-12);
        COMPARE_REL(Algos::calcRz(shuffled, 100), Algos::calcRz(ordered, 100), 1e-12);
        COMPARE_REL(Algos::calcRmax(shuffled, 100), Algos::calcRmax(ordered, 100), 1e-12);
    }

    void spacingOfLocalPeaks()
    {
        QCOMPARE(
            Algos::calcS(points({0, 10, 15, 20, 25, 30, 35, 40, 45}, {0, 1, 0, 2, 0, 1, 0, 3, 0})),
            10.0);
        QCOMPARE(Algos::calcS(points({0, 1, 2, 3}, {0, 1, 0, 0})), 0.0);
        // A plateau is not a strict peak.
        QCOMPARE(Algos::calcS(points({0, 1, 2, 3, 4, 5}, {0, 1, 1, 0, 2, 0})), 0.0);
    }

    void rz10SkipsShortLengths()
    {
        // Span 200, c = 100: the first length holds 11 points, the second 9 points.
        Profile p(2);
        const double ys[] = {0, 5, -5, 4, -4, 3, -3, 2, -2, 1, 0};
        for (int i = 0; i <= 10; ++i) {
            p[0].append(10.0 * i);
            p[1].append(ys[i]);
        }
        for (int i = 0; i < 9; ++i) {
            p[0].append(120.0 + 10.0 * i);
            p[1].append(i % 2 ? 100.0 : -100.0);
        }
        p[0].last() = 200.0;
        QCOMPARE(Algos::splitSamplingLengths(p, 100).at(1).at(0).size(), 9);
        // Only the first length counts: the deviations from its (nearly flat) mean line.
        const Profile first = Algos::splitSamplingLengths(p, 100).at(0);
        COMPARE_REL(Algos::calcRz10(p, 100), 5.890909090909091, 1e-12);
        QCOMPARE(Algos::calcRz10(p, 100), Algos::calcRz10(first, 100));
        // With every length under 10 points there is nothing to use.
        QCOMPARE(Algos::calcRz10(points({0, 50, 100, 150, 200}, {0, 1, 0, 1, 0}), 100), 0.0);
    }

    void r3zNeedsThreePoints()
    {
        // Two lengths: the first, of two points, adds nothing; the mean is over both lengths.
        const Profile p
            = points({0, 100, 150, 160, 170, 180, 190, 200}, {0, 0, -2, 2, -1, 1, 1, -1});
        const QVector<Profile> lengths = Algos::splitSamplingLengths(p, 100);
        QCOMPARE(lengths.at(0).at(0).size(), 2);
        // Deviations of the second length, descending: 2.171, 0.943, 0.829, -0.943, -1.286,
        // -1.714; its R3z is 0.829 + 0.943 = 1.771, halved over the two lengths.
        COMPARE_REL(Algos::calcR3z(p, 100), 62.0 / 70.0, 1e-12);
    }

    // The third-highest and third-lowest deviations of a length of three or four points: each
    // fixture has the flat mean line Y = 0, so the deviations are the Y values.
    void r3zOfTheShortestLengths_data()
    {
        QTest::addColumn<Profile>("profile");
        QTest::addColumn<double>("r3z");
        // Descending 1, 1, -2: third-highest -2, third-lowest 1.
        QTest::newRow("three points") << points({0, 1, 2}, {1, -2, 1}) << -3.0;
        // Descending 3, 1, -1, -3: third-highest -1, third-lowest 1.
        QTest::newRow("four points") << points({0, 1, 2, 3}, {1, -3, 3, -1}) << -2.0;
        QTest::newRow("four points reordered") << points({0, 1, 2, 3}, {-1, 3, -3, 1}) << -2.0;
    }
    void r3zOfTheShortestLengths()
    {
        QFETCH(Profile, profile);
        QFETCH(double, r3z);
        // One sampling length over the whole span.
        const double c = profile.at(0).last();
        COMPARE_TOL(Algos::calcR3z(profile, c), r3z, 0, 1e-12);
    }

    void sectionParametersAboveAndBelowEverything()
    {
        const Profile p = sampled(0, 700, 1, [](double x) { return std::sin(x / 7.0); });
        // Five lengths of 100 µm each.
        COMPARE_REL(Algos::calcEtaP(p, 100, -5.0), 100.0, 1e-12);
        COMPARE_REL(Algos::calcTp(p, 100, -5.0), 100.0, 1e-12);
        QCOMPARE(Algos::calcEtaP(p, 100, 5.0), 0.0);
        QCOMPARE(Algos::calcTp(p, 100, 5.0), 0.0);
    }

    void materialLengthRuns()
    {
        // One upward crossing: material from the crossing to the last point.
        QCOMPARE(Algos::materialLengthAbove(points({0, 1, 2, 3, 4}, {0, 0, 2, 2, 2}), 1), 2.0);
        // A point on the level neither opens nor closes a run.
        QCOMPARE(Algos::materialLengthAbove(points({0, 1, 2, 3, 4}, {2, 1, 2, 0, 0}), 1), 3.0);
        QCOMPARE(Algos::materialLengthAbove(points({0}, {5}), 1), 0.0);
        // tp of one crossing in a single length: (100 - 40) / 100.
        const Profile step = sampled(0, 100, 1, [](double x) { return x >= 40 ? 1.0 : -1.0; });
        COMPARE_REL(Algos::calcTp(step, 100, 0.0), 60.0, 1e-12);
        COMPARE_REL(Algos::calcEtaP(step, 100, 0.0), 60.0, 1e-12);
    }

    // Narrow or low elements are not counted; they merge with the following one.
    void rsmIgnoresNarrowAndLowElements_data()
    {
        QTest::addColumn<Profile>("profile");
        QTest::addColumn<double>("rsm");
        // c = 1000: an element must be wider than 10 and higher than 10 % of Rz (about 0.2).
        // A square wave of period 100 with a spike 2 µm wide just after each falling edge: the
        // spike's element is 3 µm wide and runs on into the next, so every element is 99 wide.
        QTest::newRow("narrow") << sampled(0, 2000, 1, [](double x) {
            const double phase = std::fmod(x, 100.0);
            return (phase >= 50 || phase == 2 || phase == 3) ? 1.0 : -1.0;
        }) << 99.0;
        // Every second period has amplitude 0.05: its element (height 0.1) is too low and merges
        // with the next one. Elements: 0..99, then 100..299, 300..499, ... 1700..1899.
        QTest::newRow("low") << sampled(0, 2000, 1, [](double x) {
            const double amplitude = (int(x) / 100) % 2 == 0 ? 1.0 : 0.05;
            return std::fmod(x, 100.0) >= 50 ? amplitude : -amplitude;
        }) << (99.0 + 9 * 199.0) / 10;
    }
    void rsmIgnoresNarrowAndLowElements()
    {
        QFETCH(Profile, profile);
        QFETCH(double, rsm);
        COMPARE_REL(Algos::calcRSm(profile, 1000), rsm, 1e-12);
    }

    // Reusing the sampling lengths of a profile gives the values of a fresh computation, and a
    // profile changed meanwhile is not mistaken for the one it was copied from.
    void reuseGivesFreshValues()
    {
        Profile p = sampled(0, 700, 0.5, [](double x) { return std::sin(x / 3.0) + 0.001 * x; });
        const double ra = Algos::calcRa(p, 100);
        const double rz = Algos::calcRz(p, 100);
        const double rt = Algos::calcRt(p);
        const double rz50 = Algos::calcRz(p, 50);
        Profile changed = p;
        changed[1][300] += 50.0;
        const double changedRz = Algos::calcRz(changed, 100);
        {
            const Algos::SamplingLengthReuse reuse;
            QCOMPARE(Algos::calcRa(p, 100), ra);
            QCOMPARE(Algos::calcRz(p, 100), rz);
            QCOMPARE(Algos::calcRt(p), rt);
            QCOMPARE(Algos::calcRz(p, 100), rz);
            {
                const Algos::SamplingLengthReuse nested;
                QCOMPARE(Algos::calcRa(p, 100), ra);
            }
            // Another cut-off is another split.
            QCOMPARE(Algos::calcRz(p, 50), rz50);
            // The same samples written to in place detach from the stored copy.
            p[1][300] += 50.0;
            QCOMPARE(Algos::calcRz(p, 100), changedRz);
        }
        QCOMPARE(Algos::calcRz(p, 100), changedRz);
    }

    // Values kept with a sampling length for later parameters (the length above a section
    // level, the extreme deviations) follow the level asked for and match a full sort.
    void reuseKeepsSectionLevelsAndExtremesApart()
    {
        const Profile p = sampled(0, 700, 0.5, [](double x) {
            return std::sin(x / 3.0) + 0.3 * std::sin(x / 17.0) + 0.001 * x;
        });
        const double levels[] = {0.2, -0.3, 0.2, 1.5};
        double etaP[4];
        double tp[4];
        for (int i = 0; i < 4; ++i) {
            etaP[i] = Algos::calcEtaP(p, 100, levels[i]);
            tp[i] = Algos::calcTp(p, 100, levels[i]);
        }
        QVERIFY(etaP[0] != etaP[1]);

        // R3z and Rz10 of each length from fully sorted deviations.
        double r3z = 0.0;
        double rz10 = 0.0;
        const QVector<Profile> lengths = Algos::splitSamplingLengths(p, 100);
        for (const Profile &length : lengths) {
            const Algos::RMS line(length);
            std::vector<double> d;
            for (int i = 0; i < length.at(0).size(); ++i)
                d.push_back(length[1][i]
                            - (line.coefficient(0) + line.coefficient(1) * length[0][i]));
            std::sort(d.begin(), d.end());
            const size_t n = d.size();
            r3z += d[n - 3] - d[2];
            rz10 += (d[n - 1] + d[n - 2] + d[n - 3] + d[n - 4] + d[n - 5]) / 5.0
                - (d[0] + d[1] + d[2] + d[3] + d[4]) / 5.0;
        }
        r3z /= lengths.size();
        rz10 /= lengths.size();

        const Algos::SamplingLengthReuse reuse;
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(Algos::calcEtaP(p, 100, levels[i]), etaP[i]);
            QCOMPARE(Algos::calcTp(p, 100, levels[i]), tp[i]);
        }
        QCOMPARE(Algos::calcR3z(p, 100), r3z);
        COMPARE_REL(Algos::calcRz10(p, 100), rz10, 1e-12);
        QCOMPARE(Algos::calcR3z(p, 100), r3z);
    }

    // The whole profile is fitted, and its elements walked (RSm, Rc and the peaks of D), in the
    // same pass as its sampling lengths when they are read in place, and apart from them
    // otherwise; both give the values of a fresh computation.
    void reuseFitsTheWholeProfileWithItsLengths_data()
    {
        QTest::addColumn<bool>("ordered");
        QTest::newRow("in place") << true;
        QTest::newRow("copied out") << false;
    }
    void reuseFitsTheWholeProfileWithItsLengths()
    {
        QFETCH(bool, ordered);
        Profile p = sampled(0, 700, 0.5, [](double x) {
            return std::sin(x / 3.0) + 0.5 * std::sin(x / 41.0) + 0.002 * x;
        });
        if (!ordered) {
            std::swap(p[0][10], p[0][20]);
            std::swap(p[1][10], p[1][20]);
        }
        const double rt = Algos::calcRt(p);
        const double rsm = Algos::calcRSm(p, 100);
        const double rz = Algos::calcRz(p, 100);
        const double rmax = Algos::calcRmax(p, 100);
        const double rc = Algos::calcRc(p, 100);
        const double rc50 = Algos::calcRc(p, 50);
        const double rsm50 = Algos::calcRSm(p, 50);
        const double d = Algos::calcD(p, 100);
        QVERIFY(d > 0.0);
        QVERIFY(rsm > 0.0);
        QVERIFY(rc > 0.0);

        {
            // D first: its peaks come from the walk that Rc then reads.
            const Algos::SamplingLengthReuse first;
            QCOMPARE(Algos::calcD(p, 100), d);
            QCOMPARE(Algos::calcRc(p, 100), rc);
        }
        const Algos::SamplingLengthReuse reuse;
        QCOMPARE(Algos::calcRz(p, 100), rz);
        QCOMPARE(Algos::calcRt(p), rt);
        QCOMPARE(Algos::calcRSm(p, 100), rsm);
        QCOMPARE(Algos::calcRmax(p, 100), rmax);
        QCOMPARE(Algos::calcRc(p, 100), rc);
        QCOMPARE(Algos::calcRSm(p, 100), rsm);
        QCOMPARE(Algos::calcD(p, 100), d);
        // Another cut-off walks its own elements.
        QCOMPARE(Algos::calcRc(p, 50), rc50);
        QCOMPARE(Algos::calcRSm(p, 50), rsm50);
    }

    void developedLengthNeedsThreePoints()
    {
        QCOMPARE(Algos::developedLength(points({0, 3}, {0, 4})), 0.0);
        QCOMPARE(Algos::developedLength(points({0, 3, 6}, {0, 4, 0})), 10.0);
    }
};

QTEST_GUILESS_MAIN(TestProfileParameters)
#include "tst_ProfileParameters.moc"
