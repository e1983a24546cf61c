// Memory and speed of reading a contour trace file: the bytes the trace holds per sample after
// the read (once spare room is given back, as the provider does) and at the peak of the read,
// and the rows read per second on one core. Every allocation of this program is counted, so the
// peak includes the reader's own buffers.
//
// The nine data sets of a contour trace (3 channels, raw, converted and processed) are 72 bytes
// per sample; the targets are at most 80 after the read and 90 at its peak. The last benchmark
// goes on to the finishing, whose smoothing filters the whole contour: its peak is what a read
// must leave room for.

#include "core/CalibrationProcessors.h"
#include "core/ContourTrace.h"
#include "core/Settings.h"
#include "core/TraceFileReader.h"
#include "core/TraceFileWriter.h"
#include "processing/ProfileFilters.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtEndian>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <malloc.h>
#include <memory>
#include <thread>

// A sanitizer brings its own allocator; there the bytes are not counted, only the time.
#if defined(__SANITIZE_ADDRESS__)
#define COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef COUNT_ALLOCATIONS
#define COUNT_ALLOCATIONS 1
#endif

namespace {

std::atomic<long long> g_allocated {0};
std::atomic<long long> g_peak {0};

} // namespace

#if COUNT_ALLOCATIONS
// The C library's own allocator, under the names it also exports.
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *pointer);
}

namespace {

void counted(void *pointer)
{
    if (!pointer)
        return;
    const long long now = g_allocated += (long long)(malloc_usable_size(pointer));
    long long peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) { }
}

void uncounted(void *pointer)
{
    if (pointer)
        g_allocated -= (long long)(malloc_usable_size(pointer));
}

} // namespace

// Every allocation of the program passes here, Qt's containers and operator new included.
extern "C" {
void *malloc(size_t size) noexcept
{
    void *pointer = __libc_malloc(size);
    counted(pointer);
    return pointer;
}

void *calloc(size_t count, size_t size) noexcept
{
    void *pointer = __libc_calloc(count, size);
    counted(pointer);
    return pointer;
}

void *realloc(void *old, size_t size) noexcept
{
    const long long oldSize = old ? (long long)(malloc_usable_size(old)) : 0;
    void *pointer = __libc_realloc(old, size);
    if (!pointer)
        return pointer;
    // A block that moves exists twice while it is copied.
    counted(pointer);
    g_allocated -= oldSize;
    return pointer;
}

void free(void *pointer) noexcept
{
    uncounted(pointer);
    __libc_free(pointer);
}

void *memalign(size_t alignment, size_t size) noexcept
{
    void *pointer = __libc_memalign(alignment, size);
    counted(pointer);
    return pointer;
}

void *aligned_alloc(size_t alignment, size_t size) noexcept
{
    return memalign(alignment, size);
}

int posix_memalign(void **result, size_t alignment, size_t size) noexcept
{
    *result = memalign(alignment, size);
    return *result ? 0 : ENOMEM;
}
}
#endif

namespace {

// A contour as the instrument gives it: X forward in fine steps, Y and the console height with
// many digits.
TData contourColumns(int count)
{
    TData columns(3);
    for (QVector<double> &channel : columns)
        channel.reserve(count);
    for (int i = 0; i < count; ++i) {
        columns[0].append(i * 0.5);
        columns[1].append(std::round((300.0 * std::sin(i * 0.0007) + std::sin(i * 1.3)) * 1e4)
                          / 1e4);
        columns[2].append(std::round(std::cos(i * 0.001) * 1e5) / 10.0);
    }
    return columns;
}

template<typename T>
QByteArray littleEndian(T value)
{
    const T stored = qToLittleEndian(value);
    return QByteArray(reinterpret_cast<const char *>(&stored), int(sizeof stored));
}

QByteArray binaryContour(int count)
{
    QByteArray data = QByteArray(440, '\0') + littleEndian(qint32(count)) + QByteArray(76, '\0')
        + littleEndian(0.5) + QByteArray(172, '\0');
    data.reserve(data.size() + 2 * count + 80);
    for (int i = 0; i < count; ++i)
        data += littleEndian(qint16(std::lround(30000.0 * std::sin(i * 0.0007))));
    return data + littleEndian(0.01) + QByteArray(72, '\0');
}

enum Format { Native, Binary, Columns };

struct Files
{
    explicit Files(int count)
    {
        ContourTrace trace(contourColumns(count));
        trace.setType(CONTOUR);
        // A tip of 20 µm: the finishing smooths with a 20 µm cut-off.
        trace.toolHeadRadiusDown = 20.0;
        trace.toolHeadRadiusUp = 20.0;
        writeTraceFile(path(Native), &trace);
        writeColumnsExport(path(Columns), &trace);
        QFile binary(path(Binary));
        if (binary.open(QIODevice::WriteOnly))
            binary.write(binaryContour(count));
    }
    QString path(Format format) const
    {
        static const char *const names[] = {"contour.txt", "contour.T46", "columns.txt"};
        return dir.filePath(QLatin1String(names[format]));
    }
    QTemporaryDir dir;
};

// The files of one sample count, made once; those of the last count are dropped first.
const Files &files(int count)
{
    static std::unique_ptr<Files> made;
    static int madeCount = -1;
    if (madeCount != count) {
        made.reset();
        made = std::make_unique<Files>(count);
        madeCount = count;
    }
    return *made;
}

TraceReadResult readFile(Format format, QFile &file, ContourTrace &trace)
{
    const Settings settings = Settings::snapshot();
    switch (format) {
    case Native:
        return readNativeTrace(file, file.fileName(), trace, settings, {});
    case Binary:
        return readBinaryContour(file, trace, settings, {});
    case Columns:
        return readNumberColumns(file, trace, settings, {});
    }
    return {};
}

// Reads the file as the file provider does (contour conversion on every sample, spare room given
// back after the read) and reports the bytes per sample after the read and at its peak. With
// `finish`, the road goes on as the provider's does: the post-processors and the finishing
// (equal runs spread, smoothing, tip-radius compensation) run on the trace read.
void readContour(benchmark::State &state, Format format, bool finish = false)
{
    const int count = int(state.range(0));
    const QString path = files(count).path(format);
    double after = 0.0;
    double peak = 0.0;
    for (auto _ : state) {
        const long long before = g_allocated.load();
        g_peak = before;
        {
            auto trace = std::make_unique<ContourTrace>();
            trace->addPointProcessor(new ContourConversionPointProcessor);
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                state.SkipWithError("cannot open the file");
                return;
            }
            const TraceReadResult result = readFile(format, file, *trace);
            file.close();
            trace->releaseSpareCapacity();
            if (finish) {
                trace->applyPostProcessors();
                trace->finalizeAfterRead();
                // As the provider's road ends: the filters' transform is given back.
                Algos::releaseFilterWorkspace();
            }
            if (!result.ok() || trace->rawData->at(0).size() < count / 2) {
                state.SkipWithError("read failed");
                return;
            }
            const int samples = trace->rawData->at(0).size();
            after = double(g_allocated.load() - before) / samples;
            peak = double(g_peak.load() - before) / samples;
            benchmark::DoNotOptimize(trace->processedData->at(0).data());
        }
    }
    if (COUNT_ALLOCATIONS) {
        state.counters["bytes_per_sample_after"] = after;
        state.counters["bytes_per_sample_peak"] = peak;
    }
    state.SetItemsProcessed(state.iterations() * count);
}

void BM_ReadNativeContour(benchmark::State &state)
{
    readContour(state, Native);
}

void BM_ReadBinaryContour(benchmark::State &state)
{
    readContour(state, Binary);
}

void BM_ReadContourColumns(benchmark::State &state)
{
    readContour(state, Columns);
}

void BM_ReadAndFinishNativeContour(benchmark::State &state)
{
    readContour(state, Native, true);
}

void BM_ReadAndFinishBinaryContour(benchmark::State &state)
{
    readContour(state, Binary, true);
}

// A native contour file of 10^7 rows saved as UTF-16 (about 200 MB): the reader decodes it
// before it reads a row. The read is cancelled 50 ms after it began; the time from the cancel to
// the reader's return is the latency the user waits for.
void BM_CancelUtf16Read(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("utf16.txt"));
    {
        QFile utf8(files(10000000).path(Native));
        QFile utf16(path);
        if (!utf8.open(QIODevice::ReadOnly) || !utf16.open(QIODevice::WriteOnly)) {
            state.SkipWithError("cannot write the file");
            return;
        }
        QTextCodec *codec = QTextCodec::codecForName("UTF-16LE");
        utf16.write("\xFF\xFE");
        while (!utf8.atEnd())
            utf16.write(codec->fromUnicode(QString::fromUtf8(utf8.read(1 << 20))));
    }
    double worst = 0.0;
    for (auto _ : state) {
        ContourTrace trace;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            state.SkipWithError("cannot open the file");
            return;
        }
        std::atomic<bool> stop {false};
        std::chrono::steady_clock::time_point cancelled;
        std::thread canceller([&stop, &cancelled] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            cancelled = std::chrono::steady_clock::now();
            stop = true;
        });
        TraceReadProgress progress;
        progress.stopRequested = [&stop] {
            return stop.load();
        };
        readNativeTrace(file, path, trace, Settings::snapshot(), progress);
        const auto returned = std::chrono::steady_clock::now();
        canceller.join();
        const double latency
            = std::chrono::duration<double, std::milli>(returned - cancelled).count();
        worst = std::max(worst, latency);
        state.SetIterationTime(std::max(latency, 0.0) / 1000.0);
    }
    state.counters["worst latency ms"] = worst;
}

} // namespace

BENCHMARK(BM_CancelUtf16Read)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
// 10^7 samples show the growth of the data sets at its worst: just past a power of two.
BENCHMARK(BM_ReadNativeContour)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBinaryContour)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadContourColumns)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndFinishNativeContour)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndFinishBinaryContour)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
