#include "processing/ParameterCatalogue.h"

#include "processing/MaterialRatio.h"
#include "processing/ProfileParameters.h"

namespace {

using Profile = QVector<QVector<double>>;

const QString kMicrometres = QStringLiteral("мкм");
const QString kPerMicrometre = QStringLiteral("1/мкм");
const QString kPercent = QStringLiteral("%");
const QString kDegrees = QStringLiteral("°");

// The five ways a row calls its algorithm.
ParamCalculator withCutOff(double (*algorithm)(const Profile &, double))
{
    return [algorithm](Profile profile, ExtraArgs args) {
        return algorithm(profile, args.filterLength);
    };
}

ParamCalculator wholeProfile(double (*algorithm)(const Profile &))
{
    return [algorithm](Profile profile, ExtraArgs) {
        return algorithm(profile);
    };
}

ParamCalculator fromDensity(double (*algorithm)(const Profile &, double))
{
    return [algorithm](Profile, ExtraArgs args) {
        return algorithm(args.amplitudeDensity, args.sectionLevel);
    };
}

ParamCalculator atSection(double (*algorithm)(const Profile &, double, double))
{
    return [algorithm](Profile profile, ExtraArgs args) {
        return algorithm(profile, args.filterLength, args.sectionLevel);
    };
}

ParamCalculator fromMaterialRatio(double (*algorithm)(const Profile &))
{
    return [algorithm](Profile, ExtraArgs args) {
        return algorithm(args.materialRatioCurve);
    };
}

struct Row
{
    QString name;
    ParamDef def;
};

Row row(const QString &name, const QString &unit, int kind, ParamCalculator calculator,
        bool usesSectionLevel = false)
{
    Row r;
    r.name = name;
    r.def.calculator = std::move(calculator);
    r.def.profileKind = kind;
    r.def.unit = unit;
    r.def.usesSectionLevel = usesSectionLevel;
    return r;
}

// A row whose calculator reads the section level (fromDensity or atSection).
Row sectionRow(const QString &name, const QString &unit, ParamCalculator calculator)
{
    return row(name, unit, ROUGHNESS_PROFILE, std::move(calculator), true);
}

// The R rows that have W and P counterparts, with the name endings those use.
struct SharedRow
{
    const char *ending;
    QString unit;
    ParamCalculator calculator;
};

QVector<Row> declaredRows()
{
    const QString none;
    QVector<Row> rows = {
        row(QStringLiteral("Ra"), kMicrometres, ROUGHNESS_PROFILE, withCutOff(Algos::calcRa)),
        row(QStringLiteral("Rmax"), kMicrometres, ROUGHNESS_PROFILE, withCutOff(Algos::calcRmax)),
        row(QStringLiteral("Rp"), kMicrometres, ROUGHNESS_PROFILE, withCutOff(Algos::calcRp)),
        row(QStringLiteral("Rv"), kMicrometres, ROUGHNESS_PROFILE, withCutOff(Algos::calcRv)),
        row(QStringLiteral("Rz"), kMicrometres, ROUGHNESS_PROFILE, withCutOff(Algos::calcRz)),
        row(QStringLiteral("R3z"), kMicrometres, ROUGHNESS_PROFILE, withCutOff(Algos::calcR3z)),
        row(QStringLiteral("Rz10"), kMicrometres, ROUGHNESS_PROFILE, withCutOff(Algos::calcRz10)),
        row(QStringLiteral("Rc"), kMicrometres, ROUGHNESS_PROFILE, withCutOff(Algos::calcRc)),
        row(QStringLiteral("Rt"), kMicrometres, ROUGHNESS_PROFILE, wholeProfile(Algos::calcRt)),
        row(QStringLiteral("Rq"), kMicrometres, ROUGHNESS_PROFILE, withCutOff(Algos::calcRq)),
        row(QStringLiteral("Rsk"), none, ROUGHNESS_PROFILE, withCutOff(Algos::calcRsk)),
        row(QStringLiteral("Rku"), none, ROUGHNESS_PROFILE, withCutOff(Algos::calcRku)),
        row(QStringLiteral("RSm"), kMicrometres, ROUGHNESS_PROFILE, withCutOff(Algos::calcRSm)),
        row(QStringLiteral("Rm"), kMicrometres, ROUGHNESS_PROFILE, withCutOff(Algos::calcRm)),
        row(QStringLiteral("RΔq(Δq)"), kDegrees, ROUGHNESS_PROFILE, withCutOff(Algos::calcDeltaQ)),
        row(QStringLiteral("RΔa(Δa)"), kDegrees, ROUGHNESS_PROFILE, withCutOff(Algos::calcDeltaA)),
        row(QStringLiteral("S"), kMicrometres, ROUGHNESS_PROFILE, wholeProfile(Algos::calcS)),
        row(QStringLiteral("D"), kPerMicrometre, ROUGHNESS_PROFILE, withCutOff(Algos::calcD)),
        sectionRow(QStringLiteral("Dp"), kPercent, fromDensity(Algos::calcDp)),
        row(QStringLiteral("L0"), kMicrometres, ROUGHNESS_PROFILE, withCutOff(Algos::calcL0)),
        row(QStringLiteral("l0"), none, ROUGHNESS_PROFILE, withCutOff(Algos::calcRelativeLength)),
        row(QStringLiteral("λq"), kMicrometres, ROUGHNESS_PROFILE, withCutOff(Algos::calcLambdaQ)),
        row(QStringLiteral("λa"), kMicrometres, ROUGHNESS_PROFILE, withCutOff(Algos::calcLambdaA)),
        sectionRow(QStringLiteral("ηp"), kMicrometres, atSection(Algos::calcEtaP)),
        sectionRow(QStringLiteral("tp"), kPercent, atSection(Algos::calcTp)),
        row(QStringLiteral("Rk"), kMicrometres, ROUGHNESS_PROFILE,
            fromMaterialRatio(Algos::calcRk)),
        row(QStringLiteral("Rpk"), kMicrometres, ROUGHNESS_PROFILE,
            fromMaterialRatio(Algos::calcRpk)),
        row(QStringLiteral("Rvk"), kMicrometres, ROUGHNESS_PROFILE,
            fromMaterialRatio(Algos::calcRvk)),
        row(QStringLiteral("Mr1(tp1)"), kPercent, ROUGHNESS_PROFILE,
            fromMaterialRatio(Algos::calcMr1)),
        row(QStringLiteral("Mr2(tp2)"), kPercent, ROUGHNESS_PROFILE,
            fromMaterialRatio(Algos::calcMr2)),
    };

    // The W and P families repeat 13 R rows on the waviness and primary profiles.
    const SharedRow shared[] = {
        {"a", kMicrometres, withCutOff(Algos::calcRa)},
        {"max", kMicrometres, withCutOff(Algos::calcRmax)},
        {"p", kMicrometres, withCutOff(Algos::calcRp)},
        {"v", kMicrometres, withCutOff(Algos::calcRv)},
        {"z", kMicrometres, withCutOff(Algos::calcRz)},
        {"c", kMicrometres, withCutOff(Algos::calcRc)},
        {"t", kMicrometres, wholeProfile(Algos::calcRt)},
        {"q", kMicrometres, withCutOff(Algos::calcRq)},
        {"sk", none, withCutOff(Algos::calcRsk)},
        {"ku", none, withCutOff(Algos::calcRku)},
        {"Sm", kMicrometres, withCutOff(Algos::calcRSm)},
        {"Δq", kDegrees, withCutOff(Algos::calcDeltaQ)},
        {"Δa", kDegrees, withCutOff(Algos::calcDeltaA)},
    };
    for (const auto &family : {qMakePair(QStringLiteral("W"), int(WAVINESS_PROFILE)),
                               qMakePair(QStringLiteral("P"), int(PRIMARY_PROFILE))}) {
        for (const SharedRow &s : shared) {
            rows.append(row(family.first + QString::fromUtf8(s.ending), s.unit, family.second,
                            s.calculator));
        }
    }
    return rows;
}

const QVector<Row> &rows()
{
    static const QVector<Row> declared = declaredRows();
    return declared;
}

QMap<QString, ParamDef> buildCatalogue()
{
    QMap<QString, ParamDef> catalogue;
    for (const Row &r : rows())
        catalogue.insert(r.name, r.def);
    return catalogue;
}

} // namespace

const QMap<QString, ParamDef> kParameterCatalogue = buildCatalogue();

const QVector<QString> &parameterCatalogueOrder()
{
    static const QVector<QString> order = [] {
        QVector<QString> names;
        for (const Row &r : rows())
            names.append(r.name);
        return names;
    }();
    return order;
}
