#include "core/CalibrationProcessors.h"
#include "processing/ProfileFilters.h"

#include <benchmark/benchmark.h>

#include <cfloat>
#include <cmath>
#include <random>

#include <sys/resource.h>

namespace {

using TData = QVector<QVector<double>>;

// A rough profile: a 0.5 µm step, waviness, roughness and noise.
TData makeProfile(int n)
{
    std::mt19937 random(n);
    std::normal_distribution<double> noise(0, 0.05);
    QVector<double> x(n);
    QVector<double> y(n);
    for (int i = 0; i < n; ++i) {
        x[i] = i * 0.5;
        y[i] = 2 * std::sin(x[i] / 900) + 0.4 * std::sin(x[i] / 11) + noise(random);
    }
    return {x, y};
}

// The page faults of this process so far: a fresh buffer is faulted in page by page.
long pageFaults()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

// Filters the profile again and again, as re-processing and the evaluations do; the time per
// sample should not depend on the length beyond the transform's n log n.
void filterRepeatedly(benchmark::State &state, double longCut, double shortCut)
{
    const TData profile = makeProfile(int(state.range(0)));
    const long faultsBefore = pageFaults();
    for (auto _ : state) {
        TData result = Algos::gaussianFilter(profile, longCut, shortCut);
        benchmark::DoNotOptimize(result.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["page_faults_per_filter"]
        = double(pageFaults() - faultsBefore) / double(state.iterations());
}

void BM_GaussianBandPass(benchmark::State &state)
{
    filterRepeatedly(state, 800, 2.6666666666666665);
}

void BM_GaussianLowPass(benchmark::State &state)
{
    filterRepeatedly(state, DBL_MAX, 20);
}

void BM_Median(benchmark::State &state)
{
    const TData profile = makeProfile(1000000);
    const int window = int(state.range(0));
    for (auto _ : state) {
        TData data = profile;
        Algos::medianFilter(window, data);
        benchmark::DoNotOptimize(data.data());
    }
    state.SetItemsProcessed(state.iterations() * 1000000);
}

// The contour conversion reads the calibration settings for every appended sample.
void BM_ContourConversion(benchmark::State &state)
{
    ContourConversionPointProcessor processor;
    QVector<double> sample {10, 2, 500};
    for (auto _ : state) {
        sample[0] = 10;
        sample[1] = 2;
        processor.process(sample);
        benchmark::DoNotOptimize(sample.data());
    }
}

} // namespace

BENCHMARK(BM_GaussianBandPass)
    ->Arg(1 << 16)
    ->Arg(100000)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GaussianLowPass)
    ->Arg(1 << 16)
    ->Arg(100000)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Median)->Arg(3)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContourConversion);

BENCHMARK_MAIN();
