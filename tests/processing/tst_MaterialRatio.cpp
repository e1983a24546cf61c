#include "processing/MaterialRatio.h"
#include "support/TestSupport.h"

#include <cmath>

using Profile = QVector<QVector<double>>;

namespace {

Profile heights(const QVector<double> &ys)
{
    Profile p(2);
    for (int i = 0; i < ys.size(); ++i) {
        p[0].append(i);
        p[1].append(ys.at(i));
    }
    return p;
}

Profile ramp(int top)
{
    QVector<double> ys;
    for (int i = 0; i <= top; ++i)
        ys.append(i);
    return heights(ys);
}

bool rkFamilyIsZero(const Profile &curve)
{
    return Algos::calcRk(curve) == 0.0 && Algos::calcRpk(curve) == 0.0
        && Algos::calcRvk(curve) == 0.0 && Algos::calcMr1(curve) == 0.0
        && Algos::calcMr2(curve) == 0.0;
}

} // namespace

class TestMaterialRatio : public QObject
{
    Q_OBJECT

private slots:
    // Y = 0 .. 1000: a straight curve from level 990 (11 of 1001 points at or above it) down to
    // level 0 (all of them); its core line is the curve itself.
    void rampGivesStraightCurve()
    {
        const Profile curve = Algos::materialRatioCurve(ramp(1000));
        QCOMPARE(curve.size(), 2);
        QCOMPARE(curve.at(0).size(), 100);
        QCOMPARE(curve.at(1).size(), 100);
        COMPARE_REL(curve.at(1).at(0), 990.0, 1e-12);
        COMPARE_REL(curve.at(0).at(0), 100.0 * 11 / 1001, 1e-12);
        QCOMPARE(curve.at(1).at(99), 0.0);
        QCOMPARE(curve.at(0).at(99), 100.0);
        for (int r = 1; r < 100; ++r) {
            QVERIFY(curve.at(1).at(r) < curve.at(1).at(r - 1));
            QVERIFY(curve.at(0).at(r) >= curve.at(0).at(r - 1));
        }
        COMPARE_TOL(Algos::calcRk(curve), 990.0, 1e-6, 1e-6);
        COMPARE_TOL(Algos::calcRpk(curve), 0.0, 0, 1e-6);
        COMPARE_TOL(Algos::calcRvk(curve), 0.0, 0, 1e-6);
        // The core line meets the first and last rows within rounding, which decides whether
        // they or their neighbours are the first rows at or below it.
        const double mr1 = Algos::calcMr1(curve);
        QVERIFY2(mr1 == curve.at(0).at(0) || mr1 == curve.at(0).at(1),
                 qPrintable(QString::number(mr1)));
        const double mr2 = Algos::calcMr2(curve);
        QVERIFY2(mr2 == 100.0 || mr2 == 0.0, qPrintable(QString::number(mr2)));
    }

    void pointOnALevelCountsAsAbove()
    {
        // Levels 0, 0.04, ... 3.96: the points at 2 meet level i = 50 exactly.
        const Profile curve = Algos::materialRatioCurve(heights({0, 2, 2, 4}));
        // Row 49 is i = 50 (level 2): three of four points.
        QCOMPARE(curve.at(1).at(49), 2.0);
        QCOMPARE(curve.at(0).at(49), 75.0);
        QCOMPARE(curve.at(0).at(48), 25.0);
    }

    // The counts against a plain scan of every level, on heights that fall on the levels and
    // between them, with a NaN that counts nowhere.
    void countsMatchAScanOfEveryLevel()
    {
        QVector<double> ys;
        quint32 state = 12345;
        for (int i = 0; i < 5000; ++i) {
            state = state * 1664525u + 1013904223u;
            ys.append(-3.0 + 0.06 * double(state % 101) + (i % 7 == 0 ? 1e-9 : 0.0));
        }
        ys[17] = std::nan("");
        const Profile curve = Algos::materialRatioCurve(heights(ys));
        QCOMPARE(curve.at(0).size(), 100);
        int largest = 0;
        for (double y : ys)
            largest += std::isnan(y) ? 0 : 1;
        for (int r = 0; r < 100; ++r) {
            const double level = curve.at(1).at(r);
            int count = 0;
            for (double y : ys)
                count += y >= level ? 1 : 0;
            QCOMPARE(curve.at(0).at(r), double(count) / largest * 100.0);
        }
    }

    // Heights exactly on every level of the curve, for ranges whose levels are computed a
    // rounding below a whole number of steps: each point counts at its own level and all below.
    void everyPointOnALevelCountsAtOrAbove_data()
    {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::newRow("0 to 1") << 0.0 << 1.0;
        QTest::newRow("0 to 3") << 0.0 << 3.0;
        QTest::newRow("0 to 0.3") << 0.0 << 0.3;
        QTest::newRow("0 to 7") << 0.0 << 7.0;
        QTest::newRow("-2 to 9") << -2.0 << 9.0;
    }
    void everyPointOnALevelCountsAtOrAbove()
    {
        QFETCH(double, low);
        QFETCH(double, high);
        const double step = (high - low) / 100.0;
        QVector<double> ys {low, high};
        for (int k = 1; k < 100; ++k)
            ys << low + k * step << low + k * step;
        const Profile curve = Algos::materialRatioCurve(heights(ys));
        QCOMPARE(curve.at(0).size(), 100);
        for (int r = 0; r < 100; ++r) {
            const double level = curve.at(1).at(r);
            QCOMPARE(level, low + (99 - r) * step);
            int count = 0;
            for (double y : qAsConst(ys))
                count += y >= level ? 1 : 0;
            QCOMPARE(curve.at(0).at(r), double(count) / ys.size() * 100.0);
        }
    }

    // Two windows of the curve are equally flat (both level): the earlier, higher one is the
    // core line. Its level is met exactly by the rows of the plateau, which are at or below it.
    void earliestOfEquallyFlatWindowsIsTheCore()
    {
        Profile curve(2);
        for (int r = 0; r < 100; ++r) {
            curve[0].append(r);
            curve[1].append(r <= 40 ? 5.0 : (r >= 59 ? 1.0 : 5.0 - (r - 40) * (4.0 / 19.0)));
        }
        const Algos::RMS core = Algos::materialRatioCoreLine(curve);
        QVERIFY(core.isValid());
        QCOMPARE(core.coefficient(0), 5.0);
        QCOMPARE(core.coefficient(1), 0.0);
        QCOMPARE(Algos::calcRk(curve), 0.0);
        QCOMPARE(Algos::calcRpk(curve), 0.0);
        QCOMPARE(Algos::calcRvk(curve), 4.0);
        QCOMPARE(Algos::calcMr1(curve), 0.0);
        QCOMPARE(Algos::calcMr2(curve), 0.0);
    }

    void flatOrEmptyProfileHasNoCurve_data()
    {
        QTest::addColumn<Profile>("profile");
        QTest::newRow("constant") << heights({3, 3, 3, 3});
        QTest::newRow("no channels") << Profile();
        QTest::newRow("no points") << Profile(2);
    }
    void flatOrEmptyProfileHasNoCurve()
    {
        QFETCH(Profile, profile);
        const Profile curve = Algos::materialRatioCurve(profile);
        QCOMPARE(curve.size(), 2);
        QVERIFY(curve.at(0).isEmpty() && curve.at(1).isEmpty());
        QVERIFY(rkFamilyIsZero(curve));
    }

    // More than 60 % of the points at the top: no window spans 40 percentage points, so there
    // is no core line and the Rk family reads nothing.
    void noCoreLineGivesZeros()
    {
        const Profile curve = Algos::materialRatioCurve(heights({0, 10, 10, 10, 10}));
        QCOMPARE(curve.at(0).at(0), 80.0);
        QVERIFY(!Algos::materialRatioCoreLine(curve).isValid());
        QVERIFY(rkFamilyIsZero(curve));
    }

    // A plateau with a few peaks and valleys: the core line follows the plateau's slope, the
    // peaks and valleys stick out above and below it.
    void coreLineSeparatesPeaksAndValleys()
    {
        QVector<double> ys;
        for (int i = 0; i < 100; ++i)
            ys.append(i / 100.0);
        ys << 5 << 6 << -5 << -6;
        const Profile curve = Algos::materialRatioCurve(heights(ys));
        const Algos::RMS core = Algos::materialRatioCoreLine(curve);
        QVERIFY(core.isValid());
        QVERIFY(Algos::calcRpk(curve) > 4.0);
        QVERIFY(Algos::calcRvk(curve) > 4.0);
        QVERIFY(Algos::calcRk(curve) > 0.5 && Algos::calcRk(curve) < 2.0);
        QVERIFY(Algos::calcMr1(curve) < 10.0);
        QVERIFY(Algos::calcMr2(curve) > 90.0);
    }

    void densityRowsFollowTheSlidingWindow()
    {
        QVector<double> ys;
        for (int i = 0; i <= 1000; ++i)
            ys.append(i / 10.0);
        const Profile density = Algos::amplitudeDensity(heights(ys), 10, 0.0, 100.0);
        QCOMPARE(density.size(), 2);
        QCOMPARE(density.at(0).size(), 110);
        QCOMPARE(density.at(1).size(), 110);
        // [0, 1], [0, 11], [1, 12], [89, 100], [99, 100].
        QCOMPARE(density.at(0).at(0), 0.5);
        QCOMPARE(density.at(0).at(10), 5.5);
        QCOMPARE(density.at(0).at(11), 6.5);
        QCOMPARE(density.at(0).at(99), 94.5);
        QCOMPARE(density.at(0).at(109), 99.5);
        // [0, 1] holds the 11 points 0.0 .. 1.0 of 1001; [0, 11] holds 111.
        COMPARE_REL(density.at(1).at(0), 1100.0 / 1001, 1e-12);
        COMPARE_REL(density.at(1).at(10), 11100.0 / 1001, 1e-12);

        QCOMPARE(Algos::amplitudeDensity(heights(ys), 0, 0, 100).at(0).size(), 100);
        QCOMPARE(Algos::amplitudeDensity(heights(ys), -5, 0, 100).at(0).size(), 100);
        QCOMPARE(Algos::amplitudeDensity(heights(ys), 99, 0, 100).at(0).size(), 199);
        QCOMPARE(Algos::amplitudeDensity(heights(ys), 500, 0, 100).at(0).size(), 199);
    }

    void densityRejectsMalformedProfiles_data()
    {
        QTest::addColumn<Profile>("profile");
        QTest::newRow("one point") << heights({1});
        QTest::newRow("one channel") << Profile {{1, 2, 3}};
        QTest::newRow("unequal channels") << Profile {{1, 2, 3}, {1, 2}};
    }
    void densityRejectsMalformedProfiles()
    {
        QFETCH(Profile, profile);
        QVERIFY(Algos::amplitudeDensity(profile, 10, 0, 10).isEmpty());
        QVERIFY(Algos::amplitudeDensityInRect(profile, 10, -100, 100, -100, 100).isEmpty());
    }

    void densityInRectLeavesOutTheBorder()
    {
        // Points at X 0..10; the rectangle's X edges 2 and 8 and its Y edge 7 are exclusive.
        const Profile p = heights({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
        const Profile inside = Algos::amplitudeDensityInRect(p, 10, 2, 8, -100, 7);
        // Selected: X 3..6 (Y 3..6); levels from max(-100, 0) = 0 to min(7, 10) = 7.
        QCOMPARE(inside, Algos::amplitudeDensity(heights({3, 4, 5, 6}), 10, 0, 7));
        QVERIFY(Algos::amplitudeDensityInRect(p, 10, 2, 4, -100, 100).isEmpty());
    }

    void dpReadsTheFirstWindowAboveTheLevel()
    {
        const Profile density {{1, 2, 3}, {10, 20, 30}};
        QCOMPARE(Algos::calcDp(density, 0.0), 10.0);
        QCOMPARE(Algos::calcDp(density, 1.0), 20.0);
        QCOMPARE(Algos::calcDp(density, 2.5), 30.0);
        QCOMPARE(Algos::calcDp(density, 3.0), 0.0);
        QCOMPARE(Algos::calcDp(Profile {{1}, {10}}, 0.0), 0.0);
        QCOMPARE(Algos::calcDp(Profile(), 0.0), 0.0);
    }

    void detrendSubtractsTheMovingMean()
    {
        Profile p(2);
        for (int i = 0; i < 10; ++i) {
            p[0].append(i);
            p[1].append(i);
        }
        const Profile detrended = Algos::movingAverageDetrend(p, 2.5);
        QCOMPARE(detrended.at(0), p.at(0));
        const QVector<double> expected {-1, -0.5, 0, 0, 0, 0, 0, 0, 0.5, 1};
        for (int i = 0; i < 10; ++i)
            COMPARE_TOL(detrended.at(1).at(i), expected.at(i), 0, 1e-12);
    }
};

QTEST_GUILESS_MAIN(TestMaterialRatio)
#include "tst_MaterialRatio.moc"
