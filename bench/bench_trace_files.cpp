#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "core/TraceFileWriter.h"
#include "dataproviders/FileDataProvider.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

constexpr int kPoints = 1000000;

// A profile as the instrument gives it: a fine X step and a wavy, noisy Y, so that most
// numbers need many digits.
ProfileTrace *makeProfile()
{
    auto *trace = new ProfileTrace;
    trace->setType(PROFILE);
    trace->speed = 0.5;
    trace->filterLength = 800;
    QVector<double> sample(2);
    for (int i = 0; i < kPoints; ++i) {
        sample[0] = i * 0.05;
        sample[1] = 3.0 * std::sin(i * 0.001) + 0.01 * std::sin(i * 1.7);
        trace->appendPoint(sample);
    }
    return trace;
}

struct Files
{
    Files()
    {
        ProfileTrace *trace = makeProfile();
        writeTraceFile(nativePath(), trace);
        writeColumnsExport(columnsPath(), trace);
        delete trace;
    }
    QString nativePath() const { return dir.filePath(QStringLiteral("profile.txt")); }
    QString columnsPath() const { return dir.filePath(QStringLiteral("columns.dat")); }
    QTemporaryDir dir;
};

Files &files()
{
    static Files instance;
    return instance;
}

template<typename Trace>
void readThroughProvider(benchmark::State &state, const QString &path)
{
    for (auto _ : state) {
        Trace trace;
        FileDataProvider provider(path);
        provider.start(&trace);
        provider.waitForFinished();
        if (!provider.lastResult() || trace.rawData->at(0).size() != kPoints)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(trace.rawData->at(0).data());
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_ReadNativeProfile(benchmark::State &state)
{
    readThroughProvider<ProfileTrace>(state, files().nativePath());
}

void BM_ReadColumns(benchmark::State &state)
{
    readThroughProvider<ContourTrace>(state, files().columnsPath());
}

void BM_WriteNativeProfile(benchmark::State &state)
{
    ProfileTrace *trace = makeProfile();
    const QString path = files().dir.filePath(QStringLiteral("written.txt"));
    for (auto _ : state)
        writeTraceFile(path, trace);
    state.SetItemsProcessed(state.iterations() * kPoints);
    delete trace;
}

} // namespace

BENCHMARK(BM_ReadNativeProfile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadColumns)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteNativeProfile)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
