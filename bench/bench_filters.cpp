#include "core/CalibrationProcessors.h"
#include "processing/ProfileFilters.h"

#include <benchmark/benchmark.h>

#include <cfloat>
#include <cmath>
#include <random>

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

void BM_GaussianBandPass(benchmark::State &state)
{
    const TData profile = makeProfile(int(state.range(0)));
    for (auto _ : state) {
        TData result = Algos::gaussianFilter(profile, 800, 2.6666666666666665);
        benchmark::DoNotOptimize(result.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_GaussianLowPass(benchmark::State &state)
{
    const TData profile = makeProfile(int(state.range(0)));
    for (auto _ : state) {
        TData result = Algos::gaussianFilter(profile, DBL_MAX, 20);
        benchmark::DoNotOptimize(result.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
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
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GaussianLowPass)
    ->Arg(1 << 16)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Median)->Arg(3)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContourConversion);

BENCHMARK_MAIN();
