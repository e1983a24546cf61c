#include "core/Settings.h"
#include "processing/MaterialRatio.h"
#include "processing/ParameterCatalogue.h"
#include "processing/ProfileParameters.h"
#include "support/TestSupport.h"

#include <cmath>

using Profile = QVector<QVector<double>>;

namespace {

// Two sampling lengths of 100 µm with a ripple, so that every row has something to compute.
Profile rippled(double amplitude)
{
    Profile p(2);
    for (int i = 0; i <= 400; ++i) {
        const double x = i * 0.5;
        p[0].append(x);
        p[1].append(amplitude * (std::sin(x / 3.0) + 0.3 * std::sin(x / 0.7)) + 0.002 * x);
    }
    return p;
}

ExtraArgs record(double filterLength)
{
    ExtraArgs args;
    args.filterLength = filterLength;
    args.sectionLevel = 0.2;
    args.amplitudeDensity = Profile {{-1, 0, 1}, {5, 50, 45}};
    args.materialRatioCurve = Algos::materialRatioCurve(rippled(1.0));
    return args;
}

} // namespace

class TestParameterCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void namesAgreeWithTheSettingsIndex()
    {
        QCOMPARE(kParameterCatalogue.size(), 56);
        QCOMPARE(parameterCatalogueOrder(), kParameterIndexNames);
        for (const QString &name : kParameterIndexNames)
            QVERIFY2(kParameterCatalogue.contains(name), qPrintable(name));
    }

    void namesAreExactCodePoints()
    {
        QVERIFY(kParameterCatalogue.contains(QString::fromUtf8("R\u0394q(\u0394q)")));
        QVERIFY(kParameterCatalogue.contains(QString::fromUtf8("\u03bbq")));
        QVERIFY(kParameterCatalogue.contains(QString::fromUtf8("\u03b7p")));
        QVERIFY(kParameterCatalogue.contains(QStringLiteral("l0")));
        QVERIFY(kParameterCatalogue.contains(QStringLiteral("L0")));
        // Look-alikes: the increment sign U+2206, Latin capital L, no brackets.
        QVERIFY(!kParameterCatalogue.contains(QString::fromUtf8("R\u2206q(\u2206q)")));
        QVERIFY(!kParameterCatalogue.contains(QStringLiteral("Mr1")));
        QVERIFY(!kParameterCatalogue.contains(QStringLiteral("ra")));
        QCOMPARE(kParameterCatalogue.value(QStringLiteral("RΔq(Δq)")).unit,
                 QString::fromUtf8("\u00b0"));
    }

    void unknownNameGivesDefaultRow()
    {
        const ParamDef def = kParameterCatalogue.value(QStringLiteral("Rz1max"));
        QVERIFY(!def.calculator);
        QCOMPARE(def.profileKind, int(ROUGHNESS_PROFILE));
        QVERIFY(def.unit.isEmpty());
    }

    void rowsHaveTheirKindAndUnit_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("unit");
        QTest::newRow("Ra") << "Ra" << int(ROUGHNESS_PROFILE) << "мкм";
        QTest::newRow("Rsk") << "Rsk" << int(ROUGHNESS_PROFILE) << "";
        QTest::newRow("D") << "D" << int(ROUGHNESS_PROFILE) << "1/мкм";
        QTest::newRow("Dp") << "Dp" << int(ROUGHNESS_PROFILE) << "%";
        QTest::newRow("l0") << "l0" << int(ROUGHNESS_PROFILE) << "";
        QTest::newRow("tp") << "tp" << int(ROUGHNESS_PROFILE) << "%";
        QTest::newRow("Mr2(tp2)") << "Mr2(tp2)" << int(ROUGHNESS_PROFILE) << "%";
        QTest::newRow("RΔa(Δa)") << "RΔa(Δa)" << int(ROUGHNESS_PROFILE) << "°";
        QTest::newRow("Wa") << "Wa" << int(WAVINESS_PROFILE) << "мкм";
        QTest::newRow("Wku") << "Wku" << int(WAVINESS_PROFILE) << "";
        QTest::newRow("WΔq") << "WΔq" << int(WAVINESS_PROFILE) << "°";
        QTest::newRow("Pmax") << "Pmax" << int(PRIMARY_PROFILE) << "мкм";
        QTest::newRow("PΔa") << "PΔa" << int(PRIMARY_PROFILE) << "°";
    }
    void rowsHaveTheirKindAndUnit()
    {
        QFETCH(QString, name);
        QFETCH(int, kind);
        QFETCH(QString, unit);
        const ParamDef def = kParameterCatalogue.value(name);
        QVERIFY(def.calculator);
        QCOMPARE(def.profileKind, kind);
        QCOMPARE(def.unit, unit);
    }

    // Every row against the algorithm and argument pattern it names, on one profile and record.
    void rowsCallTheirAlgorithm()
    {
        const Profile p = rippled(1.0);
        const ExtraArgs args = record(100.0);
        const double c = args.filterLength;
        const double level = args.sectionLevel;
        const QMap<QString, double> expected {
            {"Ra", Algos::calcRa(p, c)},
            {"Rmax", Algos::calcRmax(p, c)},
            {"Rp", Algos::calcRp(p, c)},
            {"Rv", Algos::calcRv(p, c)},
            {"Rz", Algos::calcRz(p, c)},
            {"R3z", Algos::calcR3z(p, c)},
            {"Rz10", Algos::calcRz10(p, c)},
            {"Rc", Algos::calcRc(p, c)},
            {"Rt", Algos::calcRt(p)},
            {"Rq", Algos::calcRq(p, c)},
            {"Rsk", Algos::calcRsk(p, c)},
            {"Rku", Algos::calcRku(p, c)},
            {"RSm", Algos::calcRSm(p, c)},
            {"Rm", Algos::calcRz(p, c)},
            {"RΔq(Δq)", Algos::calcDeltaQ(p, c)},
            {"RΔa(Δa)", Algos::calcDeltaA(p, c)},
            {"S", Algos::calcS(p)},
            {"D", Algos::calcD(p, c)},
            {"Dp", 45.0},
            {"L0", Algos::calcL0(p, c)},
            {"l0", Algos::calcRelativeLength(p, c)},
            {"λq", Algos::calcLambdaQ(p, c)},
            {"λa", Algos::calcLambdaA(p, c)},
            {"ηp", Algos::calcEtaP(p, c, level)},
            {"tp", Algos::calcTp(p, c, level)},
            {"Rk", Algos::calcRk(args.materialRatioCurve)},
            {"Rpk", Algos::calcRpk(args.materialRatioCurve)},
            {"Rvk", Algos::calcRvk(args.materialRatioCurve)},
            {"Mr1(tp1)", Algos::calcMr1(args.materialRatioCurve)},
            {"Mr2(tp2)", Algos::calcMr2(args.materialRatioCurve)},
        };
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            const double value = kParameterCatalogue.value(it.key()).calculator(p, args);
            QVERIFY2(value == it.value() && std::isfinite(value), qPrintable(it.key()));
        }
        // The W and P rows run the calculator of the R row with the same ending.
        const QStringList endings {"a", "max", "p", "v", "z", "c", "t", "q", "sk", "ku", "Sm"};
        for (const QString &ending : endings) {
            const double r = kParameterCatalogue.value("R" + ending).calculator(p, args);
            QCOMPARE(kParameterCatalogue.value("W" + ending).calculator(p, args), r);
            QCOMPARE(kParameterCatalogue.value("P" + ending).calculator(p, args), r);
        }
        for (const QString &ending : {QStringLiteral("Δq"), QStringLiteral("Δa")}) {
            const double r
                = kParameterCatalogue.value("R" + ending + "(" + ending + ")").calculator(p, args);
            QCOMPARE(kParameterCatalogue.value("W" + ending).calculator(p, args), r);
            QCOMPARE(kParameterCatalogue.value("P" + ending).calculator(p, args), r);
        }
    }

    void recordOnlyRowsIgnoreTheProfile()
    {
        const ExtraArgs args = record(100.0);
        for (const char *name : {"Dp", "Rk", "Rpk", "Rvk", "Mr1(tp1)", "Mr2(tp2)"}) {
            const ParamCalculator calc
                = kParameterCatalogue.value(QString::fromUtf8(name)).calculator;
            QCOMPARE(calc(rippled(1.0), args), calc(rippled(7.0), args));
            QCOMPARE(calc(Profile(), args), calc(rippled(7.0), args));
        }
    }

    void wholeProfileRowsIgnoreTheCutOff()
    {
        const Profile p = rippled(1.0);
        for (const char *name : {"Rt", "S", "Wt", "Pt"}) {
            const ParamCalculator calc
                = kParameterCatalogue.value(QString::fromUtf8(name)).calculator;
            QCOMPARE(calc(p, record(100.0)), calc(p, record(3.0)));
            QCOMPARE(calc(p, record(100.0)), calc(p, record(1e9)));
        }
    }
};

QTEST_GUILESS_MAIN(TestParameterCatalogue)
#include "tst_ParameterCatalogue.moc"
