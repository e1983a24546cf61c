#include "processing/CutOffs.h"

#include <QtTest>

#include <cmath>

class tst_CutOffs : public QObject
{
    Q_OBJECT

private slots:
    void bands_data();
    void bands();
    void standardCutOff_data();
    void standardCutOff();
    void standardCutOffForRz_data();
    void standardCutOffForRz();
};

void tst_CutOffs::bands_data()
{
    QTest::addColumn<double>("cutOff");
    QTest::addColumn<double>("shortCut");
    QTest::addColumn<double>("wavinessFilterEdge");
    QTest::addColumn<double>("wavinessParameterEdge");
    // 80 and 250 are exceptions to lc/300, compared exactly.
    QTest::newRow("8000") << 8000.0 << 26.666666666666668 << 15973.333333333334 << 16000.0;
    QTest::newRow("2500") << 2500.0 << 8.333333333333334 << 4991.666666666667 << 5000.0;
    QTest::newRow("800") << 800.0 << 2.6666666666666665 << 1597.3333333333333 << 1600.0;
    QTest::newRow("250") << 250.0 << 2.5 << 497.5 << 500.0;
    QTest::newRow("80") << 80.0 << 2.6666666666666665 << 157.33333333333334 << 160.0;
    QTest::newRow("1000") << 1000.0 << 1000.0 / 300 << 2000 - 1000.0 / 300 << 2000.0;
    QTest::newRow("80.5") << 80.5 << 80.5 / 300 << 161 - 80.5 / 300 << 161.0;
}

// The filters of a trace's chain and the profiles of the parameters take their bands from the
// same λs rule; the long edge of a parameter profile is the trace's filter length.
void tst_CutOffs::bands()
{
    QFETCH(double, cutOff);
    QFETCH(double, shortCut);
    QFETCH(double, wavinessFilterEdge);
    QFETCH(double, wavinessParameterEdge);
    QCOMPARE(Algos::shortCutOff(cutOff), shortCut);

    const Algos::CutOffBand roughness = Algos::roughnessFilterBand(cutOff);
    QCOMPARE(roughness.longCut, cutOff);
    QCOMPARE(roughness.shortCut, shortCut);
    const Algos::CutOffBand waviness = Algos::wavinessFilterBand(cutOff);
    QCOMPARE(waviness.longCut, cutOff);
    QCOMPARE(waviness.shortCut, wavinessFilterEdge);

    const double filterLength = 2500.0;
    const Algos::CutOffBand roughnessProfile = Algos::roughnessParameterBand(filterLength, cutOff);
    QCOMPARE(roughnessProfile.longCut, filterLength);
    QCOMPARE(roughnessProfile.shortCut, shortCut);
    const Algos::CutOffBand wavinessProfile = Algos::wavinessParameterBand(filterLength, cutOff);
    QCOMPARE(wavinessProfile.longCut, filterLength);
    QCOMPARE(wavinessProfile.shortCut, wavinessParameterEdge);
}

void tst_CutOffs::standardCutOff_data()
{
    QTest::addColumn<int>("standard");
    QTest::addColumn<double>("ra");
    QTest::addColumn<int>("cutOff");
    QTest::newRow("GOST 0.0249") << int(GOST_2789_73) << 0.0249 << 80;
    QTest::newRow("GOST 0.025") << int(GOST_2789_73) << 0.025 << 250;
    QTest::newRow("GOST 0.4") << int(GOST_2789_73) << 0.4 << 800;
    QTest::newRow("GOST 3.2") << int(GOST_2789_73) << 3.2 << 2500;
    QTest::newRow("GOST 12.5") << int(GOST_2789_73) << 12.5 << 8000;
    QTest::newRow("ISO 0.019") << int(ISO_4288) << 0.019 << 80;
    QTest::newRow("ISO 0.1") << int(ISO_4288) << 0.1 << 800;
    QTest::newRow("ISO 9.99") << int(ISO_4288) << 9.99 << 2500;
    QTest::newRow("ISO 10") << int(ISO_4288) << 10.0 << 8000;
    QTest::newRow("negative Ra") << int(ISO_4288) << -1.0 << 80;
    QTest::newRow("unknown standard") << 2 << 0.4 << 0;
    QTest::newRow("Ra not a number") << int(GOST_2789_73) << std::nan("") << 0;
}

void tst_CutOffs::standardCutOff()
{
    QFETCH(int, standard);
    QFETCH(double, ra);
    QFETCH(int, cutOff);
    QCOMPARE(Algos::standardCutOff(ra, standard), cutOff);
}

void tst_CutOffs::standardCutOffForRz_data()
{
    QTest::addColumn<int>("standard");
    QTest::addColumn<double>("rz");
    QTest::addColumn<int>("cutOff");
    QTest::newRow("GOST 0.099") << int(GOST_2789_73) << 0.099 << 80;
    QTest::newRow("GOST 0.1") << int(GOST_2789_73) << 0.1 << 250;
    QTest::newRow("GOST 1.6") << int(GOST_2789_73) << 1.6 << 800;
    QTest::newRow("GOST 12.49") << int(GOST_2789_73) << 12.49 << 800;
    QTest::newRow("GOST 12.5") << int(GOST_2789_73) << 12.5 << 2500;
    QTest::newRow("GOST 50") << int(GOST_2789_73) << 50.0 << 8000;
    QTest::newRow("ISO 0.5") << int(ISO_4288) << 0.5 << 800;
    // An Rz of 3 keeps 0.8 mm, where the Ra table would prescribe 2.5 mm.
    QTest::newRow("ISO 3") << int(ISO_4288) << 3.0 << 800;
    QTest::newRow("ISO 10") << int(ISO_4288) << 10.0 << 2500;
    QTest::newRow("ISO 49.9") << int(ISO_4288) << 49.9 << 2500;
    QTest::newRow("ISO 50") << int(ISO_4288) << 50.0 << 8000;
    QTest::newRow("unknown standard") << 2 << 3.0 << 0;
    QTest::newRow("Rz not a number") << int(ISO_4288) << std::nan("") << 0;
}

void tst_CutOffs::standardCutOffForRz()
{
    QFETCH(int, standard);
    QFETCH(double, rz);
    QFETCH(int, cutOff);
    QCOMPARE(Algos::standardCutOffForRz(rz, standard), cutOff);
}

QTEST_GUILESS_MAIN(tst_CutOffs)
#include "tst_CutOffs.moc"
