#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "processing/MaterialRatio.h"
#include "processing/ProfileFilters.h"
#include "processing/ProfileParameters.h"
#include "support/TestSupport.h"
#include "traceprocessing/ParameterEvaluation.h"

#include <algorithm>
#include <cmath>
#include <memory>

using Profile = QVector<QVector<double>>;

namespace {

Profile profile(const QVector<double> &xs, const QVector<double> &ys)
{
    return Profile {xs, ys};
}

QVector<double> steps(int count, double step)
{
    QVector<double> xs;
    for (int i = 0; i < count; ++i)
        xs.append(i * step);
    return xs;
}

QVector<double> scaled(const QVector<double> &ys, double factor)
{
    QVector<double> out;
    for (double y : ys)
        out.append(y * factor);
    return out;
}

std::unique_ptr<ProfileTrace> traceOf(const Profile &raw, double filterLength)
{
    std::unique_ptr<ProfileTrace> trace(new ProfileTrace);
    for (int i = 0; i < raw.at(0).size(); ++i) {
        QVector<double> sample {raw.at(0).at(i), raw.at(1).at(i)};
        trace->appendPoint(sample);
    }
    trace->filterLength = filterLength;
    return trace;
}

// The roughness fixture: 21 points 5 µm apart, symmetric about X = 50 with Y summing to 0, so
// the mean line of its one sampling length (c = 100) is Y = 0 and the deviations are the Y.
const QVector<double> kRoughnessY {-1, 2,  -1, -1, -2, 3,  -3, 2,  -2, 2, 2,
                                   2,  -2, 2,  -3, 3,  -2, -1, -1, 2,  -1};
// The waviness fixture: 11 points 10 µm apart, likewise level, ten times higher.
const QVector<double> kWavinessY {2, -1, -1, 0, 1, -2, 1, 0, -1, -1, 2};
// The raw samples: 21 points 10 µm apart (two sampling lengths of 100 µm), a hundred times
// higher; each length is level on its own.
const QVector<double> kRawY {-1, 2, -1, 1, -1, 0,  -1, 1,  -1, 2, -1,
                             -1, 2, -1, 1, -1, -1, 1,  -1, 2,  -1};

// A trace of 200 µm (exactly two cut-offs of 100 µm) whose roughness and waviness profiles at
// 100 µm are the fixtures above, put into its caches so that no filter stands between the
// fixtures and the values. Section level 0.5; the histogram's density curve reads 20 % there.
std::unique_ptr<ProfileTrace> fixtureTrace()
{
    std::unique_ptr<ProfileTrace> trace = traceOf(profile(steps(21, 10), scaled(kRawY, 100)), 100);
    trace->roughnessProfileCache.insert(100, profile(steps(21, 5), kRoughnessY));
    trace->wavinessProfileCache.insert(100, profile(steps(11, 10), scaled(kWavinessY, 10)));
    trace->sectionLevel = 0.5;
    trace->amplitudeDensity = Profile {{0, 1, 2}, {10, 20, 30}};
    return trace;
}

void showParameters(const QStringList &names, int count = -1)
{
    Settings::modify([&](Settings &s) {
        s.preferences.enabled_params.clear();
        for (int i = 0; i < names.size(); ++i) {
            if (!names.at(i).isNull())
                s.preferences.enabled_params.insert(i, names.at(i));
        }
        s.preferences.enabled_params_count = count < 0 ? names.size() : count;
    });
}

} // namespace

class TestParameterEvaluation : public QObject
{
    Q_OBJECT

private:
    testsupport::ScratchDir m_scratch;

private slots:
    // Every catalogue row through the whole evaluation, on the fixture trace. The expected texts
    // were worked out from the definitions on the fixtures (the W and P rows on their own
    // profiles, so they differ from the R rows).
    void everyRowOfTheCatalogue_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::newRow("Ra") << QStringLiteral("Ra") << QStringLiteral("1.905");
        QTest::newRow("Rmax") << QStringLiteral("Rmax") << QStringLiteral("6.000");
        QTest::newRow("Rp") << QStringLiteral("Rp") << QStringLiteral("3.000");
        QTest::newRow("Rv") << QStringLiteral("Rv") << QStringLiteral("3.000");
        QTest::newRow("Rz") << QStringLiteral("Rz") << QStringLiteral("6.000");
        QTest::newRow("R3z") << QStringLiteral("R3z") << QStringLiteral("4.000");
        QTest::newRow("Rz10") << QStringLiteral("Rz10") << QStringLiteral("4.800");
        QTest::newRow("Rc") << QStringLiteral("Rc") << QStringLiteral("4.429");
        QTest::newRow("Rt") << QStringLiteral("Rt") << QStringLiteral("6.000");
        QTest::newRow("Rq") << QStringLiteral("Rq") << QStringLiteral("2.024");
        QTest::newRow("Rsk") << QStringLiteral("Rsk") << QStringLiteral("0.103");
        QTest::newRow("Rku") << QStringLiteral("Rku") << QStringLiteral("1.437");
        QTest::newRow("RSm") << QStringLiteral("RSm") << QStringLiteral("9.286");
        QTest::newRow("Rm") << QStringLiteral("Rm") << QStringLiteral("6.000");
        QTest::newRow("RΔq(Δq)") << QStringLiteral("RΔq(Δq)") << QStringLiteral("42.414");
        QTest::newRow("RΔa(Δa)") << QStringLiteral("RΔa(Δa)") << QStringLiteral("35.523");
        QTest::newRow("S") << QStringLiteral("S") << QStringLiteral("18.000");
        QTest::newRow("D") << QStringLiteral("D") << QStringLiteral("700.000");
        QTest::newRow("Dp") << QStringLiteral("Dp") << QStringLiteral("20.000");
        QTest::newRow("L0") << QStringLiteral("L0") << QStringLiteral("123.039");
        QTest::newRow("l0") << QStringLiteral("l0") << QStringLiteral("1.230");
        QTest::newRow("λq") << QStringLiteral("λq") << QStringLiteral("17.176");
        QTest::newRow("λa") << QStringLiteral("λa") << QStringLiteral("19.303");
        QTest::newRow("ηp") << QStringLiteral("ηp") << QStringLiteral("45.000");
        QTest::newRow("tp") << QStringLiteral("tp") << QStringLiteral("45.000");
        QTest::newRow("Rk") << QStringLiteral("Rk") << QStringLiteral("1.963");
        QTest::newRow("Rpk") << QStringLiteral("Rpk") << QStringLiteral("3.108");
        QTest::newRow("Rvk") << QStringLiteral("Rvk") << QStringLiteral("0.869");
        QTest::newRow("Mr1(tp1)") << QStringLiteral("Mr1(tp1)") << QStringLiteral("42.857");
        QTest::newRow("Mr2(tp2)") << QStringLiteral("Mr2(tp2)") << QStringLiteral("90.476");
        QTest::newRow("Wa") << QStringLiteral("Wa") << QStringLiteral("10.909");
        QTest::newRow("Wmax") << QStringLiteral("Wmax") << QStringLiteral("40.000");
        QTest::newRow("Wp") << QStringLiteral("Wp") << QStringLiteral("20.000");
        QTest::newRow("Wv") << QStringLiteral("Wv") << QStringLiteral("20.000");
        QTest::newRow("Wz") << QStringLiteral("Wz") << QStringLiteral("40.000");
        QTest::newRow("Wc") << QStringLiteral("Wc") << QStringLiteral("25.000");
        QTest::newRow("Wt") << QStringLiteral("Wt") << QStringLiteral("40.000");
        QTest::newRow("Wq") << QStringLiteral("Wq") << QStringLiteral("12.792");
        QTest::newRow("Wsk") << QStringLiteral("Wsk") << QStringLiteral("0.261");
        QTest::newRow("Wku") << QStringLiteral("Wku") << QStringLiteral("1.833");
        QTest::newRow("WSm") << QStringLiteral("WSm") << QStringLiteral("20.000");
        QTest::newRow("WΔq") << QStringLiteral("WΔq") << QStringLiteral("114.592");
        QTest::newRow("WΔa") << QStringLiteral("WΔa") << QStringLiteral("91.673");
        QTest::newRow("Pa") << QStringLiteral("Pa") << QStringLiteral("114.286");
        QTest::newRow("Pmax") << QStringLiteral("Pmax") << QStringLiteral("300.000");
        QTest::newRow("Pp") << QStringLiteral("Pp") << QStringLiteral("200.000");
        QTest::newRow("Pv") << QStringLiteral("Pv") << QStringLiteral("100.000");
        QTest::newRow("Pz") << QStringLiteral("Pz") << QStringLiteral("300.000");
        QTest::newRow("Pc") << QStringLiteral("Pc") << QStringLiteral("250.000");
        QTest::newRow("Pt") << QStringLiteral("Pt") << QStringLiteral("300.000");
        QTest::newRow("Pq") << QStringLiteral("Pq") << QStringLiteral("123.443");
        QTest::newRow("Psk") << QStringLiteral("Psk") << QStringLiteral("0.608");
        QTest::newRow("Pku") << QStringLiteral("Pku") << QStringLiteral("1.641");
        QTest::newRow("PSm") << QStringLiteral("PSm") << QStringLiteral("15.000");
        QTest::newRow("PΔq") << QStringLiteral("PΔq") << QStringLiteral("1354.326");
        QTest::newRow("PΔa") << QStringLiteral("PΔa") << QStringLiteral("1266.873");
    }
    void everyRowOfTheCatalogue()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        showParameters(kParameterIndexNames.toList());
        std::unique_ptr<ProfileTrace> trace = fixtureTrace();
        ExtraArgs args;
        evaluateEnabledParameters(args, trace.get());
        QCOMPARE(trace->parameterResults.size(), 56);
        QCOMPARE(trace->parameterResults.value(name), text);
    }

    void wavinessAndPrimaryRowsUseTheirProfiles()
    {
        std::unique_ptr<ProfileTrace> trace = fixtureTrace();
        ExtraArgs args;
        const QString ra = evaluateParameter(args, trace.get(), QStringLiteral("Ra"));
        const QString wa = evaluateParameter(args, trace.get(), QStringLiteral("Wa"));
        const QString pa = evaluateParameter(args, trace.get(), QStringLiteral("Pa"));
        QCOMPARE(
            ra,
            QString::number(Algos::calcRa(trace->roughnessProfileCache.value(100), 100), 'f', 3));
        QCOMPARE(
            wa,
            QString::number(Algos::calcRa(trace->wavinessProfileCache.value(100), 100), 'f', 3));
        QCOMPARE(pa, QString::number(Algos::calcRa(*trace->rawData, 100), 'f', 3));
        QVERIFY(ra != wa && wa != pa && ra != pa);
    }

    void lengthTestIsStrict_data()
    {
        QTest::addColumn<double>("extent");
        QTest::addColumn<bool>("tooShort");
        QTest::newRow("1599 µm") << 1599.0 << true;
        QTest::newRow("1600 µm") << 1600.0 << false;
    }
    void lengthTestIsStrict()
    {
        QFETCH(double, extent);
        QFETCH(bool, tooShort);
        QVector<double> xs = steps(1601, 1);
        xs.last() = extent;
        QVector<double> ys;
        for (double x : xs)
            ys.append(std::sin(x / 5.0));
        std::unique_ptr<ProfileTrace> trace = traceOf(profile(xs, ys), 800);
        showParameters({"Ra", "Wq", "Pt", "Rk", "Dp"});
        ExtraArgs args;
        evaluateEnabledParameters(args, trace.get());
        QCOMPARE(trace->parameterResults.size(), 5);
        for (const QString &text : trace->parameterResults) {
            QCOMPARE(text == QStringLiteral("Недостаточная длина измерения"), tooShort);
        }
        // Alone, the message is returned but not stored.
        trace->parameterResults.clear();
        const QString text = evaluateParameter(args, trace.get(), QStringLiteral("Ra"));
        QCOMPARE(text == kTooShortTraceText, tooShort);
        QCOMPARE(trace->parameterResults.contains(QStringLiteral("Ra")), !tooShort);
        // As a number: none for the message, the shown value otherwise.
        double value = -1.0;
        QString valueText;
        QCOMPARE(
            evaluateParameterValue(args, trace.get(), QStringLiteral("Ra"), &value, &valueText),
            !tooShort);
        QCOMPARE(valueText, text);
        QCOMPARE(value, tooShort ? -1.0 : text.toDouble());
    }

    // The value alone with three decimals, through Dp, which returns the density's share.
    void valueText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("0.0876") << 0.0876 << "0.088";
        QTest::newRow("2") << 2.0 << "2.000";
        QTest::newRow("-0.5") << -0.5 << "-0.500";
    }
    void valueText()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        std::unique_ptr<ProfileTrace> trace = fixtureTrace();
        trace->amplitudeDensity = Profile {{1, 2}, {value, 0}};
        ExtraArgs args;
        QCOMPARE(evaluateParameter(args, trace.get(), QStringLiteral("Dp")), text);
        QCOMPARE(trace->parameterResults.value(QStringLiteral("Dp")), text);
    }

    // Ra 1.2 and 1.1 on two additional traces and 1.0 on the trace itself.
    void meanAndDeviationOverAdditionalTraces()
    {
        std::unique_ptr<ProfileTrace> trace = fixtureTrace();
        std::unique_ptr<ProfileTrace> first = fixtureTrace();
        std::unique_ptr<ProfileTrace> second = fixtureTrace();
        const double ra = Algos::calcRa(profile(steps(21, 5), kRoughnessY), 100);
        trace->roughnessProfileCache[100] = profile(steps(21, 5), scaled(kRoughnessY, 1.0 / ra));
        first->roughnessProfileCache[100] = profile(steps(21, 5), scaled(kRoughnessY, 1.2 / ra));
        second->roughnessProfileCache[100] = profile(steps(21, 5), scaled(kRoughnessY, 1.1 / ra));
        // The additional traces' own cut-off does not matter: the main trace's is used.
        first->filterLength = 800;
        trace->addAdditionalTrace(first.get());
        trace->addAdditionalTrace(second.get());

        showParameters({"Ra", "Dp", "Rk", "Mr1(tp1)"});
        ExtraArgs args;
        evaluateEnabledParameters(args, trace.get());
        QCOMPARE(trace->parameterResults.value("Ra"), QStringLiteral("1.100±0.082(7.42%)"));
        // As a number the family's mean, as shown.
        double mean = 0.0;
        QString meanText;
        QVERIFY(evaluateParameterValue(args, trace.get(), QStringLiteral("Ra"), &mean, &meanText));
        QCOMPARE(mean, 1.1);
        QCOMPARE(meanText, QStringLiteral("1.100±0.082(7.42%)"));
        // The record-only rows give every trace the main trace's value.
        QCOMPARE(trace->parameterResults.value("Dp"), QStringLiteral("20.000±0.000(0.00%)"));
        QVERIFY(trace->parameterResults.value("Rk").contains(QStringLiteral("±0.000(0.00%)")));
        QVERIFY(
            trace->parameterResults.value("Mr1(tp1)").contains(QStringLiteral("±0.000(0.00%)")));
        QVERIFY(first->parameterResults.isEmpty());
        QVERIFY(!first->roughnessProfileCache.contains(800));
        trace->additionalTraces.clear();
    }

    void enabledListRebuildsTheResults()
    {
        std::unique_ptr<ProfileTrace> trace = fixtureTrace();
        trace->parameterResults.insert(QStringLiteral("Rz"), QStringLiteral("old"));
        trace->parameterResults.insert(QStringLiteral("Wa"), QStringLiteral("old"));
        ExtraArgs args;
        showParameters({"Ra"});
        evaluateEnabledParameters(args, trace.get());
        QCOMPARE(trace->parameterResults.keys(), QStringList {"Ra"});

        // A missing index counts as the empty name; a repeated name is kept once; an unknown
        // name gets the empty text.
        showParameters({"Ra", QString(), "Ra", "Rz1max"}, 5);
        evaluateEnabledParameters(args, trace.get());
        QCOMPARE(trace->parameterResults.keys(), (QStringList {"", "Ra", "Rz1max"}));
        QCOMPARE(trace->parameterResults.value(""), QString());
        QCOMPARE(trace->parameterResults.value("Rz1max"), QString());
        QCOMPARE(trace->parameterResults.value("Ra"), QStringLiteral("1.905"));
    }

    // The profiles of a long trace take memory that may not be there: the evaluation ends with
    // the values it reached, nothing made up, instead of ending the program.
    void evaluationWithoutMemoryEnds()
    {
        if (!testsupport::kAllocationFailuresReachTheCode)
            QSKIP("The sanitizer's allocator ends the process when memory runs out");
        const int n = (1 << 18) + 1;
        QVector<double> ys;
        for (int i = 0; i < n; ++i)
            ys.append(std::sin(i * 0.01));
        std::unique_ptr<ProfileTrace> trace = traceOf(profile(steps(n, 0.5), ys), 800);
        showParameters({"Ra", "Rz", "Wa"});
        testsupport::ChildLimits limits;
        limits.addressSpaceHeadroom = 16 << 20;
        limits.memoryLeft = 1 << 20;
        const testsupport::ChildResult result = testsupport::runInChild(limits, [&trace] {
            ExtraArgs args;
            evaluateEnabledParameters(args, trace.get());
            const bool noneMadeUp = trace->parameterResults.isEmpty();
            const QString ra = evaluateParameter(args, trace.get(), QStringLiteral("Ra"));
            return noneMadeUp && ra.isEmpty() && trace->parameterResults.isEmpty();
        });
        QCOMPARE(int(result), int(testsupport::ChildResult::True));

        // With the memory there, the same trace is evaluated.
        ExtraArgs args;
        evaluateEnabledParameters(args, trace.get());
        QCOMPARE(trace->parameterResults.size(), 3);
        QVERIFY(!trace->parameterResults.value(QStringLiteral("Wa")).isEmpty());
    }

    void unknownOrEmptyNameGivesEmptyText()
    {
        std::unique_ptr<ProfileTrace> trace = fixtureTrace();
        ExtraArgs args;
        args.filterLength = 7;
        args.sectionLevel = -3;
        QCOMPARE(evaluateParameter(args, nullptr, QStringLiteral("Ra")), QString());
        QCOMPARE(evaluateParameter(args, trace.get(), QString()), QString());
        // Nothing was read into the record.
        QCOMPARE(args.filterLength, 7.0);
        QCOMPARE(args.sectionLevel, -3.0);
        QCOMPARE(evaluateParameter(args, trace.get(), QStringLiteral("Rz1max")), QString());
        QVERIFY(trace->parameterResults.isEmpty());
        double value = -1.0;
        QVERIFY(!evaluateParameterValue(args, nullptr, QStringLiteral("Ra"), &value));
        QVERIFY(!evaluateParameterValue(args, trace.get(), QStringLiteral("Rz1max"), &value));
        QCOMPARE(value, -1.0);
        QCOMPARE(args.filterLength, 100.0);
    }

    void reevaluateDpRenewsOnlyDp()
    {
        std::unique_ptr<ProfileTrace> trace = fixtureTrace();
        ExtraArgs args;
        showParameters({"Ra", "Dp", "ηp"});
        evaluateEnabledParameters(args, trace.get());
        QCOMPARE(trace->parameterResults.value("Dp"), QStringLiteral("20.000"));
        const QString etaP = trace->parameterResults.value("ηp");

        trace->sectionLevel = 1.5;
        reevaluateDp(args, trace.get());
        QCOMPARE(trace->parameterResults.value("Dp"), QStringLiteral("30.000"));
        QCOMPARE(trace->parameterResults.value("ηp"), etaP);
        QCOMPARE(trace->parameterResults.size(), 3);

        trace->parameterResults.remove("Dp");
        const QMap<QString, QString> before = trace->parameterResults;
        reevaluateDp(args, trace.get());
        QCOMPARE(trace->parameterResults, before);
    }

    // One record serves several traces: the curve always comes from the evaluated trace.
    void materialRatioCurveFollowsTheEvaluatedTrace()
    {
        std::unique_ptr<ProfileTrace> a = fixtureTrace();
        std::unique_ptr<ProfileTrace> b = fixtureTrace();
        b->filterLength = 50;
        b->roughnessProfileCache.insert(50, profile(steps(21, 5), scaled(kRoughnessY, 3)));
        showParameters({"Rk"});
        ExtraArgs shared;
        evaluateEnabledParameters(shared, a.get());
        evaluateEnabledParameters(shared, b.get());
        ExtraArgs fresh;
        evaluateEnabledParameters(fresh, b.get());
        QCOMPARE(shared.materialRatioCurve, fresh.materialRatioCurve);
        QCOMPARE(shared.materialRatioCurve,
                 Algos::materialRatioCurve(profile(steps(21, 5), scaled(kRoughnessY, 3))));
    }

    // Odd traces give some text for every row, never a crash or a read out of bounds.
    void degenerateTracesGiveTexts_data()
    {
        QTest::addColumn<Profile>("raw");
        QTest::addColumn<double>("filterLength");
        QVector<double> wave;
        for (double x : steps(2001, 1))
            wave.append(std::sin(x / 7.0));
        QTest::newRow("no points, no cut-off") << Profile(2) << 0.0;
        QTest::newRow("no cut-off") << profile(steps(2001, 1), wave) << 0.0;
        QTest::newRow("cut-off not a number") << profile(steps(2001, 1), wave) << std::nan("");
        QTest::newRow("negative cut-off") << profile(steps(2001, 1), wave) << -80.0;
        QTest::newRow("one point") << profile({0}, {1}) << 0.0;
        QTest::newRow("flat") << profile(steps(2001, 1), QVector<double>(2001, 3.0)) << 80.0;
        QVector<double> repeated = steps(2001, 1);
        for (int i = 0; i < repeated.size(); ++i)
            repeated[i] = std::floor(repeated[i] / 10) * 10;
        QTest::newRow("repeated X") << profile(repeated, wave) << 80.0;
        QVector<double> backwards = steps(2001, 1);
        std::reverse(backwards.begin(), backwards.end());
        QTest::newRow("decreasing X") << profile(backwards, wave) << 80.0;
    }
    void degenerateTracesGiveTexts()
    {
        QFETCH(Profile, raw);
        QFETCH(double, filterLength);
        std::unique_ptr<ProfileTrace> trace = traceOf(raw, filterLength);
        showParameters(kParameterIndexNames.toList());
        ExtraArgs args;
        evaluateEnabledParameters(args, trace.get());
        QCOMPARE(trace->parameterResults.size(), 56);
        for (const QString &text : qAsConst(trace->parameterResults))
            QVERIFY(!text.isEmpty());
        // A cut-off that is not a number is never a cache key (it would break the map's order).
        if (std::isnan(filterLength)) {
            QVERIFY(trace->roughnessProfileCache.isEmpty());
            QVERIFY(trace->wavinessProfileCache.isEmpty());
        }
    }

    void profilesComeFromTheRawData()
    {
        QVector<double> ys;
        for (double x : steps(4001, 1))
            ys.append(std::sin(x / 9.0) + 0.5 * std::sin(x / 300.0) + (int(x) % 97 == 0 ? 5 : 0));
        std::unique_ptr<ProfileTrace> trace = traceOf(profile(steps(4001, 1), ys), 800);
        const Profile raw = *trace->rawData;
        // The processed data differ from the raw samples; the profiles do not see that.
        (*trace->processedData)[1].fill(0.0);
        trace->medianEnabled = true;
        trace->medianWindow = 5;

        Profile median = raw;
        Algos::medianFilter(5, median);
        const Profile roughness = trace->profileForParameters(800, ROUGHNESS_PROFILE);
        QCOMPARE(roughness, Algos::gaussianFilter(median, 800, 2.6666666666666665));
        const Profile waviness = trace->profileForParameters(800, WAVINESS_PROFILE);
        QCOMPARE(waviness, Algos::gaussianFilter(median, 800, 1600));
        QVERIFY(roughness != waviness);
        QCOMPARE(trace->roughnessProfileCache.keys(), QList<double> {800});
        QCOMPARE(trace->wavinessProfileCache.keys(), QList<double> {800});
        QCOMPARE(trace->profileForParameters(800, PRIMARY_PROFILE), raw);
        QCOMPARE(*trace->rawData, raw);
        QVERIFY(trace->profileForParameters(800, 7).isEmpty());
    }

    void cachedProfilesStayWhileTheTraceIsUnchanged()
    {
        QVector<double> ys;
        for (double x : steps(4001, 1))
            ys.append(std::sin(x / 9.0));
        std::unique_ptr<ProfileTrace> trace = traceOf(profile(steps(4001, 1), ys), 800);
        const Profile first = trace->profileForParameters(800, ROUGHNESS_PROFILE);
        // A marked cache entry shows that the second call reads the cache.
        trace->roughnessProfileCache[800][1][0] = 1234.5;
        QCOMPARE(trace->profileForParameters(800, ROUGHNESS_PROFILE).at(1).at(0), 1234.5);
        // A cut-off that differs in the last bit is another entry.
        const double nearly = std::nextafter(800.0, 1000.0);
        trace->profileForParameters(nearly, ROUGHNESS_PROFILE);
        QCOMPARE(trace->roughnessProfileCache.size(), 2);
        QVERIFY(trace->wavinessProfileCache.isEmpty());

        trace->clearProfileCaches();
        QCOMPARE(trace->profileForParameters(800, ROUGHNESS_PROFILE), first);
    }

    // A long trace keeps its roughness profile alone after an evaluation (the waviness one is
    // made and let go first); the values are those of each parameter evaluated on its own.
    void longTraceKeepsOneProfile()
    {
        const int n = 1 << 20;
        QVector<double> ys;
        ys.reserve(n);
        for (double x : steps(n, 0.5))
            ys.append(std::sin(x / 9.0) + 0.5 * std::sin(x / 3000.0) + 0.1 * std::sin(x / 1.3));
        std::unique_ptr<ProfileTrace> trace = traceOf(profile(steps(n, 0.5), ys), 800);
        const QStringList names {"Ra", "Wa", "Rz", "Wz", "Pa", "Rk", "Wq"};
        showParameters(names);
        ExtraArgs args;
        evaluateEnabledParameters(args, trace.get());
        QCOMPARE(trace->parameterResults.size(), names.size());
        QVERIFY(trace->wavinessProfileCache.isEmpty());
        QCOMPARE(trace->roughnessProfileCache.size(), 1);
        std::unique_ptr<ProfileTrace> plain = traceOf(profile(steps(n, 0.5), ys), 800);
        for (const QString &name : names) {
            // The material-ratio rows read the curve the evaluation makes first.
            ExtraArgs own;
            own.filterLength = plain->filterLength;
            fillMaterialRatioCurve(own, plain.get());
            const QString expected = evaluateParameter(own, plain.get(), name);
            QVERIFY(!expected.isEmpty());
            QCOMPARE(trace->parameterResults.value(name), expected);
        }
    }

    // Every change of what the profiles are made from (the samples, the median, the filter
    // length) gives fresh profiles at the next call, without the caller clearing the caches.
    void cachedProfilesFollowTheTrace_data()
    {
        QTest::addColumn<QString>("change");
        for (const char *change : {"crop", "append", "clear and refill", "reprocess after edit",
                                   "median on", "median window", "filter length"})
            QTest::newRow(change) << QString::fromLatin1(change);
    }

    void cachedProfilesFollowTheTrace()
    {
        QFETCH(QString, change);
        QVector<double> ys;
        for (double x : steps(4001, 1))
            ys.append(std::sin(x / 9.0) + 0.3 * std::sin(x / 170.0) + (int(x) % 53 == 0 ? 2 : 0));
        std::unique_ptr<ProfileTrace> trace = traceOf(profile(steps(4001, 1), ys), 800);
        trace->medianWindow = 5;
        const Profile roughness = trace->profileForParameters(800, ROUGHNESS_PROFILE);
        const Profile waviness = trace->profileForParameters(800, WAVINESS_PROFILE);

        if (change == QLatin1String("crop")) {
            trace->crop(200, 3800);
        } else if (change == QLatin1String("append")) {
            QVector<double> sample {4001, 50};
            trace->appendPoint(sample);
        } else if (change == QLatin1String("clear and refill")) {
            trace->clearData();
            for (int i = 0; i < 3001; ++i) {
                QVector<double> sample {double(i), std::cos(i / 7.0)};
                trace->appendPoint(sample);
            }
        } else if (change == QLatin1String("reprocess after edit")) {
            (*trace->rawData)[1][2000] += 40;
            trace->reprocess();
        } else if (change == QLatin1String("median on")) {
            trace->medianEnabled = true;
        } else if (change == QLatin1String("median window")) {
            trace->medianEnabled = true;
            trace->profileForParameters(800, ROUGHNESS_PROFILE);
            trace->medianWindow = 9;
        } else if (change == QLatin1String("filter length")) {
            trace->filterLength = 2500;
        }

        // What a trace in the new state computes afresh.
        std::unique_ptr<ProfileTrace> fresh = traceOf(*trace->rawData, trace->filterLength);
        fresh->medianEnabled = trace->medianEnabled;
        fresh->medianWindow = trace->medianWindow;
        const Profile expectedRoughness = fresh->profileForParameters(800, ROUGHNESS_PROFILE);
        const Profile expectedWaviness = fresh->profileForParameters(800, WAVINESS_PROFILE);
        QVERIFY(expectedRoughness != roughness);
        QCOMPARE(trace->profileForParameters(800, ROUGHNESS_PROFILE), expectedRoughness);
        QCOMPARE(trace->profileForParameters(800, WAVINESS_PROFILE), expectedWaviness);
        QVERIFY(expectedWaviness != waviness);
    }

    // An additional trace is band-limited at its own filter length but cached under the cut-off
    // it was asked for.
    void additionalTraceUsesItsOwnFilterLength()
    {
        QVector<double> ys;
        for (double x : steps(6001, 1))
            ys.append(std::sin(x / 9.0) + std::sin(x / 200.0));
        std::unique_ptr<ProfileTrace> child = traceOf(profile(steps(6001, 1), ys), 2500);
        const Profile p = child->profileForParameters(800, ROUGHNESS_PROFILE);
        QCOMPARE(p, Algos::gaussianFilter(*child->rawData, 2500, 2.6666666666666665));
        QCOMPARE(child->roughnessProfileCache.keys(), QList<double> {800});
    }

    // The proposal after a recording follows the standard chosen in the settings.
    void standardCutOffTables_data()
    {
        QTest::addColumn<int>("standard");
        QTest::addColumn<double>("ra");
        QTest::addColumn<int>("cutOff");
        QTest::newRow("GOST 0.0249") << 0 << 0.0249 << 80;
        QTest::newRow("GOST 0.025") << 0 << 0.025 << 250;
        QTest::newRow("GOST 0.4") << 0 << 0.4 << 800;
        QTest::newRow("GOST 2") << 0 << 2.0 << 800;
        QTest::newRow("GOST 3.2") << 0 << 3.2 << 2500;
        QTest::newRow("GOST 12.5") << 0 << 12.5 << 8000;
        QTest::newRow("ISO 0.019") << 1 << 0.019 << 80;
        QTest::newRow("ISO 0.02") << 1 << 0.02 << 250;
        QTest::newRow("ISO 0.1") << 1 << 0.1 << 800;
        QTest::newRow("ISO 0.4") << 1 << 0.4 << 800;
        QTest::newRow("ISO 2") << 1 << 2.0 << 2500;
        QTest::newRow("ISO 10") << 1 << 10.0 << 8000;
        QTest::newRow("unknown standard") << 2 << 0.4 << 0;
        QTest::newRow("Ra not a number") << 0 << std::nan("") << 0;
    }
    void standardCutOffTables()
    {
        QFETCH(int, standard);
        QFETCH(double, ra);
        QFETCH(int, cutOff);
        Settings::modify(
            [standard](Settings &s) { s.preferences.standartisation_value = standard; });
        QCOMPARE(Algos::standardCutOff(ra), cutOff);
        QCOMPARE(Algos::standardCutOff(ra, standard), cutOff);
    }
};

QTEST_GUILESS_MAIN(TestParameterEvaluation)
#include "tst_ParameterEvaluation.moc"
