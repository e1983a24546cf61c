#include "core/ProfileTrace.h"
#include "traceprocessing/TraceJoining.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <limits>

namespace {

constexpr int kPoints = 100000;
constexpr double kStep = 0.5; // µm between samples
constexpr double kOverlapMm = 10.0;

double profile(double x)
{
    return 3.0 * std::sin(2.0 * M_PI * x / 800.0) + 1.5 * std::sin(2.0 * M_PI * x / 2300.0 + 0.7)
        + 0.4 * std::sin(2.0 * M_PI * x / 137.0) + 0.05 * std::sin(x * 1.7);
}

// Two 10^5-point traces of one surface whose ends overlap by 10 mm; the right one is displaced
// and its first sample disturbed, so that the refinement has work to do.
void fillTraces(ProfileTrace &left, ProfileTrace &right)
{
    const int rightFirst = kPoints - int(kOverlapMm * 1000.0 / kStep) + 1;
    for (int i = 0; i < kPoints; ++i) {
        (*left.processedData)[0].append(i * kStep);
        (*left.processedData)[1].append(profile(i * kStep));
        const double x = (rightFirst + i) * kStep;
        (*right.processedData)[0].append(x + 37.3);
        (*right.processedData)[1].append(profile(x) - 2.1);
    }
    (*right.processedData)[1][0] += 0.5;
}

void BM_UniteTraces(benchmark::State &state)
{
    ProfileTrace left;
    ProfileTrace right;
    fillTraces(left, right);
    for (auto _ : state) {
        TData joined = uniteTraces(left, right, kOverlapMm);
        benchmark::DoNotOptimize(joined);
    }
}
BENCHMARK(BM_UniteTraces)->Unit(benchmark::kMillisecond);

// One distance evaluation of the refinement: ~100 thinned points against the 20000-point
// left overlap, pruned and by a full scan.
void distanceSets(TData &reference, TData &moving)
{
    ProfileTrace left;
    ProfileTrace right;
    fillTraces(left, right);
    const std::pair<TData, TData> parts = cutUniteOverlaps(left, right, kOverlapMm * 1000.0);
    reference = parts.first;
    moving = prepareUniteOverlap(parts.second, kOverlapMm * 1000.0);
    const double dx = reference[0][0] - moving[0][0];
    const double dy = reference[1][0] - moving[1][0];
    for (double &x : moving[0])
        x += dx;
    for (double &y : moving[1])
        y += dy;
}

void BM_SummedCurveDistancePruned(benchmark::State &state)
{
    TData reference, moving;
    distanceSets(reference, moving);
    for (auto _ : state)
        benchmark::DoNotOptimize(summedCurveDistance(reference, moving));
}
BENCHMARK(BM_SummedCurveDistancePruned)->Unit(benchmark::kMicrosecond);

void BM_SummedCurveDistanceFullScan(benchmark::State &state)
{
    TData reference, moving;
    distanceSets(reference, moving);
    for (auto _ : state) {
        double sum = 0.0;
        for (int i = 0; i < moving[0].size(); ++i) {
            double best = std::numeric_limits<double>::max();
            for (int j = 0; j < reference[0].size(); ++j) {
                const double dx = moving[0][i] - reference[0][j];
                const double dy = moving[1][i] - reference[1][j];
                best = std::min(best, dx * dx + dy * dy);
            }
            sum += std::sqrt(best);
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_SummedCurveDistanceFullScan)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
