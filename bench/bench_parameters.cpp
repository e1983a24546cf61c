// Evaluation of all 56 parameters of a long profile trace with two additional traces, against
// one band-pass filter of the same trace.
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "processing/CutOffs.h"
#include "processing/ProfileFilters.h"
#include "traceprocessing/ParameterEvaluation.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

#include <sys/resource.h>

namespace {

constexpr int kPoints = 1000000;
constexpr double kStep = 0.05;
constexpr double kCutOff = 8000.0;

// A 50 mm trace: roughness, waviness and form with a little noise.
std::unique_ptr<ProfileTrace> makeTrace(unsigned seed)
{
    std::unique_ptr<ProfileTrace> trace(new ProfileTrace);
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 0.05);
    QVector<double> sample(2);
    for (int i = 0; i < kPoints; ++i) {
        const double x = i * kStep;
        sample[0] = x;
        sample[1] = std::sin(x / 13.0) + 0.4 * std::sin(x / 3.1) + 2.0 * std::sin(x / 900.0)
            + 1e-4 * x + noise(random);
        trace->appendPoint(sample);
    }
    trace->filterLength = kCutOff;
    trace->sectionLevel = 0.3;
    return trace;
}

struct Traces
{
    Traces()
        : main(makeTrace(1))
        , first(makeTrace(2))
        , second(makeTrace(3))
    {
        main->addAdditionalTrace(first.get());
        main->addAdditionalTrace(second.get());
    }
    ~Traces() { main->additionalTraces.clear(); }

    void clearCaches()
    {
        main->clearProfileCaches();
        first->clearProfileCaches();
        second->clearProfileCaches();
    }

    std::unique_ptr<ProfileTrace> main;
    std::unique_ptr<ProfileTrace> first;
    std::unique_ptr<ProfileTrace> second;
};

Traces &traces()
{
    static Traces shared;
    return shared;
}

void showAllParameters()
{
    const auto locker = Settings::writeLocker();
    Settings *s = Settings::instance();
    s->preferences.enabled_params.clear();
    for (int i = 0; i < kParameterIndexNames.size(); ++i)
        s->preferences.enabled_params.insert(i, kParameterIndexNames.at(i));
    s->preferences.enabled_params_count = kParameterIndexNames.size();
}

void BM_BandPassFilter(benchmark::State &state)
{
    const TData raw = *traces().main->rawData;
    const double shortCutOff = Algos::shortCutOff(kCutOff);
    for (auto _ : state)
        benchmark::DoNotOptimize(Algos::gaussianFilter(raw, kCutOff, shortCutOff));
}
BENCHMARK(BM_BandPassFilter)->Unit(benchmark::kMillisecond);

long pageFaults()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

// All 56 parameters from scratch: the roughness and waviness profiles of three traces are
// filtered first (six filters). Evaluations follow one another as the window asks for them; the
// page faults per evaluation show the memory each one takes afresh.
void BM_EvaluateAllParametersCold(benchmark::State &state)
{
    showAllParameters();
    Traces &t = traces();
    ExtraArgs args;
    const long faultsBefore = pageFaults();
    for (auto _ : state) {
        t.clearCaches();
        evaluateEnabledParameters(args, t.main.get());
    }
    state.counters["page_faults_per_evaluation"]
        = double(pageFaults() - faultsBefore) / double(state.iterations());
}
BENCHMARK(BM_EvaluateAllParametersCold)->Unit(benchmark::kMillisecond);

// All 56 parameters with the profiles already cached: the parameter algorithms alone.
void BM_EvaluateAllParametersCached(benchmark::State &state)
{
    showAllParameters();
    Traces &t = traces();
    ExtraArgs args;
    evaluateEnabledParameters(args, t.main.get());
    for (auto _ : state)
        evaluateEnabledParameters(args, t.main.get());
}
BENCHMARK(BM_EvaluateAllParametersCached)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
