// Roughness on a contour stretch: the correction of contours recorded with the roughness sensor
// and the choice of the cut-off by the table of a standard.
#include "measurements/ContourRoughness.h"
#include "processing/CutOffs.h"
#include "processing/ProfileFilters.h"
#include "support/TestSupport.h"

#include <cmath>

using Values = QMap<double, double>;

namespace {

// A straight profile of the given length (µm), one point per micrometre.
RoughnessProfile flatProfile(double length)
{
    QVector<double> xs;
    QVector<double> ys;
    for (int i = 0; i <= int(length); ++i) {
        xs.append(i);
        ys.append(0.01 * std::sin(i * 0.3));
    }
    return {xs, ys};
}

} // namespace

class tst_ContourRoughness : public QObject
{
    Q_OBJECT

private slots:
    void correction_data();
    void correction();
    void cutOffChoice_data();
    void cutOffChoice();
};

void tst_ContourRoughness::correction_data()
{
    QTest::addColumn<bool>("rz");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("factor");
    QTest::newRow("Ra at a table point") << false << 0.298 << 1.02;
    QTest::newRow("Ra between points") << false << 0.689 << 1.01;
    QTest::newRow("Ra beyond the table") << false << 12.0 << 0.921;
    QTest::newRow("Ra at 0") << false << 0.0 << 1.0;
    QTest::newRow("Ra below 0") << false << -1.0 << 1.0;
    QTest::newRow("Ra not a number") << false << std::nan("") << 1.0;
    QTest::newRow("Rz at a table point") << true << 5.04 << 1.094;
    QTest::newRow("Rz between points") << true << 11.225 << (1.038 + 0.917) / 2;
    QTest::newRow("Rz beyond the table") << true << 30.0 << 0.921;
}

void tst_ContourRoughness::correction()
{
    QFETCH(bool, rz);
    QFETCH(double, x);
    QFETCH(double, factor);
    COMPARE_TOL(roughnessCorrection(x, rz ? kRzCorrectionPoints : kRaCorrectionPoints), factor,
                1e-12, 0.0);
}

void tst_ContourRoughness::cutOffChoice_data()
{
    // The values a parameter gives at each cut-off, the length of the stretch (µm), and what
    // the choice ends with. The table maps a value v to the cut-off v·1000 (µm), so the values
    // name the cut-offs they ask for.
    QTest::addColumn<Values>("values");
    QTest::addColumn<double>("length");
    QTest::addColumn<QVector<double>>("passes");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("cutOff");
    QTest::addColumn<double>("missing");
    QTest::newRow("too short for 800: no pass")
        << Values {{800, 0.8}} << 1200.0 << QVector<double> {} << 0.0 << 800.0 << 400.0;
    QTest::newRow("settles at 800")
        << Values {{800, 0.8}} << 2000.0 << QVector<double> {800} << 0.8 << 800.0 << 0.0;
    QTest::newRow("800, 250, back to 800: the value at 250")
        << Values {{800, 0.25}, {250, 0.8}} << 2000.0 << QVector<double> {800, 250} << 0.8 << 250.0
        << 0.0;
    QTest::newRow("800 then 2500 on a stretch too short for it: the value at 800 and the rest")
        << Values {{800, 2.5}} << 3000.0 << QVector<double> {800} << 2.5 << 800.0 << 2000.0;
    QTest::newRow("800, 2500, 8000 on a long stretch")
        << Values {{800, 2.5}, {2500, 8.0}, {8000, 8.0}} << 20000.0
        << QVector<double> {800, 2500, 8000} << 8.0 << 8000.0 << 0.0;
    QTest::newRow("a value that reads 0 stops, with nothing missing")
        << Values {{800, 0.00004}} << 2000.0 << QVector<double> {800} << 0.00004 << 800.0 << 0.0;
    QTest::newRow("no cut-off prescribed")
        << Values {{800, -1}} << 2000.0 << QVector<double> {800} << -1.0 << 800.0 << 0.0;
}

void tst_ContourRoughness::cutOffChoice()
{
    QFETCH(Values, values);
    QFETCH(double, length);
    QFETCH(QVector<double>, passes);
    QFETCH(double, value);
    QFETCH(double, cutOff);
    QFETCH(double, missing);
    const RoughnessProfile profile = flatProfile(length);
    QVector<double> seen;
    const CutOffChoice choice = chooseCutOff(
        profile,
        [&](const RoughnessProfile &filtered, double c) {
            seen.append(c);
            // Every pass filters the selected stretch itself: trimmed by half a cut-off at
            // each end of it, not of the previous pass.
            const RoughnessProfile expected
                = Algos::gaussianFilter(profile, c, Algos::shortCutOff(c));
            if (filtered != expected)
                return std::nan("");
            return values.value(c);
        },
        [](double v) { return v > 0 ? int(std::round(v * 1000)) : 0; });
    QCOMPARE(seen, passes);
    QCOMPARE(choice.computed, !passes.isEmpty());
    QCOMPARE(choice.value, value);
    QCOMPARE(choice.cutOff, cutOff);
    QCOMPARE(choice.missing, missing);
}

QTEST_APPLESS_MAIN(tst_ContourRoughness)
#include "tst_ContourRoughness.moc"
