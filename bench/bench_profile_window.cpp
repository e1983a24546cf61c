// The profile window with long traces: one pan or zoom step of the profile plot with three
// visible traces and their side plots (histogram and material ratio follow every view), the
// statistics of one trace against the straightforward way of computing them, the cost of
// one batch of a read as the trace grows, and the opening of a 10^6 and a 10^7 sample file
// against a bare read of the same file (time, the longest stall of the GUI thread, memory).
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "core/TraceFileReader.h"
#include "dataproviders/FileDataProvider.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "processing/MaterialRatio.h"
#include "processing/ParameterCatalogue.h"
#include "processing/ProfileStatistics.h"
#include "profile/ProfileAnalisisWidget.h"
#include "profile/TraceGraphsHolder.h"
#include "profile/TraceList.h"
#include "traceprocessing/TraceRoad.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <malloc.h>
#include <memory>
#include <vector>

namespace {

// A precise 1 ms timer ticking on the GUI thread from its construction: `stop` gives the longest
// time the event loop did not answer, in nanoseconds beyond the timer's interval.
class StallWatch
{
public:
    StallWatch()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_clock.start();
        m_timer.start();
    }

    qint64 stop()
    {
        m_timer.stop();
        tick();
        return m_gap - qint64(1000000);
    }

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_gap = std::max(m_gap, now - m_last);
        m_last = now;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_gap = 0;
};

constexpr int kMillion = 1000000;

// A stylus profile in micrometres sampled every 0.1 µm: form, waviness and a roughness whose
// shortest wavelength spans 2000 samples (shape 0), or the same with a sample-to-sample noise of
// a few pixels at full view (shape 1).
std::unique_ptr<ProfileTrace> profileTrace(int n, int seed, int shape)
{
    auto trace = std::make_unique<ProfileTrace>();
    trace->setType(PROFILE);
    QVector<double> &x = (*trace->processedData)[0];
    QVector<double> &y = (*trace->processedData)[1];
    x.resize(n);
    y.resize(n);
    const double twoPi = 2 * M_PI;
    for (int i = 0; i < n; ++i) {
        x[i] = i * 0.1;
        y[i] = 50 * std::sin(i * 6.0 / n + seed) + 5 * std::sin(twoPi * i / 20000.0 + seed)
            + 2 * std::sin(twoPi * i / 2000.0)
            + (shape == 1 ? 0.8 * std::sin(i * 0.37 + seed) + 0.3 * std::sin(i * 2.9) : 0.0);
    }
    return trace;
}

struct Window
{
    explicit Window(int shape)
    {
        Settings::instance()->view.axis_unit = 1;
        window = std::make_unique<ProfileAnalisisWidget>();
        for (int i = 0; i < 3; ++i) {
            traces.push_back(profileTrace(kMillion, i, shape));
            window->createHolder(traces.back().get())->rebuild(false, false);
        }
        window->resize(1600, 900);
        window->show();
        QApplication::processEvents();
        window->autoscale();
        plotMain()->replot();
    }
    Plot *plotMain() const { return window->findChild<Plot *>(QStringLiteral("plotMain")); }

    std::vector<std::unique_ptr<ProfileTrace>> traces;
    std::unique_ptr<ProfileAnalisisWidget> window;
};

// Arguments: view (0 full, 1 a tenth of the trace), step (0 pan, 1 zoom), shape.
void BM_PanZoomStep(benchmark::State &state)
{
    const bool zoomed = state.range(0) != 0;
    const bool zoom = state.range(1) != 0;
    Window w(int(state.range(2)));
    QCPAxis *x = w.plotMain()->xAxis;
    if (zoomed)
        x->setRange(x->range().center() - x->range().size() / 20,
                    x->range().center() + x->range().size() / 20);
    w.plotMain()->replot();
    int step = 0;
    for (auto _ : state) {
        // Back and forth, so the view stays where it is measured.
        const double sign = (step++ % 2 == 0) ? 1.0 : -1.0;
        if (zoom)
            x->scaleRange(sign > 0 ? 0.85 : 1.0 / 0.85, x->range().center());
        else
            x->moveRange(sign * x->range().size() * 0.02);
        // The replot runs the side plots' refresh through afterReplot.
        w.plotMain()->replot(QCustomPlot::rpImmediateRefresh);
    }
    state.SetLabel(std::string(zoom ? "zoom" : "pan")
                   + (zoomed ? ", a tenth in view" : ", full view")
                   + (state.range(2) ? ", rough" : ", profile"));
}
BENCHMARK(BM_PanZoomStep)
    ->Args({0, 0, 0})
    ->Args({0, 1, 0})
    ->Args({1, 0, 0})
    ->Args({1, 1, 0})
    ->Args({0, 0, 1})
    ->Args({1, 0, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A replot that changes no view: the side plots' statistics are not computed again.
void BM_PlainReplot(benchmark::State &state)
{
    Window w(0);
    for (auto _ : state)
        w.plotMain()->replot(QCustomPlot::rpImmediateRefresh);
}
BENCHMARK(BM_PlainReplot)->Unit(benchmark::kMillisecond)->UseRealTime();

// The side-plot statistics of one 10^6-point trace in full view (histogram and material-ratio
// curve), computed as the window does and, for comparison, the straightforward way: the
// histogram by a sort (Algos::amplitudeDensityInRect) and the material ratio as 100 passes over
// the curve summing segment areas.
void BM_Statistics(benchmark::State &state)
{
    const bool straightforward = state.range(0) != 0;
    auto trace = profileTrace(kMillion, 0, 1);
    const QVector<double> &x = trace->processedData->at(0);
    const QVector<double> &y = trace->processedData->at(1);
    const auto extremes = ProfileStatistics::heightExtremes(y);
    ProfileStatistics::ViewRect view;
    view.xLow = -1;
    view.xHigh = x.last() + 1;
    view.yLow = extremes.first - 1;
    view.yHigh = extremes.second + 1;
    for (auto _ : state) {
        if (straightforward) {
            benchmark::DoNotOptimize(Algos::amplitudeDensityInRect(
                *trace->processedData, 10, view.xLow, view.xHigh, view.yLow, view.yHigh));
            const double step = (view.yHigh - view.yLow) / 100;
            QVector<double> areas(100);
            for (int i = 0; i < 100; ++i) {
                const double level = view.yLow + i * step;
                double area = 0.0;
                for (int k = 0; k + 1 < x.size(); ++k) {
                    if (y[k] > level)
                        area += std::fabs((y[k] + y[k + 1]) / 2 * (x[k + 1] - x[k]));
                }
                areas[i] = area;
            }
            benchmark::DoNotOptimize(areas);
        } else {
            const auto span = ProfileStatistics::visibleSpan(x, view.xLow, view.xHigh, true);
            benchmark::DoNotOptimize(ProfileStatistics::histogram(x, y, span, 10, view,
                                                                  extremes.first, extremes.second));
            benchmark::DoNotOptimize(ProfileStatistics::materialRatio(x, y, span, view));
        }
    }
    state.SetLabel(straightforward ? "straightforward" : "one pass");
}
BENCHMARK(BM_Statistics)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One batch of 500 samples of a read: the points appended to the trace's curve and the view
// scaled to the curves (the picture itself is queued and drawn once for the batches that
// arrive together). Argument: the points already drawn. The time per batch must not grow with
// it; the "rescan" variant scales the view by walking every point, as a plain
// implementation would.
void BM_AppendBatch(benchmark::State &state)
{
    const int drawn = int(state.range(0));
    const bool rescan = state.range(1) != 0;
    Settings::instance()->view.axis_unit = 1;
    ProfileAnalisisWidget window;
    ProfileTrace trace;
    trace.setType(PROFILE);
    TraceGraphsHolder *holder = window.createHolder(&trace);
    Plot *plotMain = window.findChild<Plot *>(QStringLiteral("plotMain"));
    QVector<double> x(500);
    QVector<double> y(500);
    int next = 0;
    const auto fill = [&] {
        for (int i = 0; i < 500; ++i, ++next) {
            x[i] = next * 0.1;
            y[i] = std::sin(next * 0.001) + 0.1 * std::sin(next * 0.37);
        }
    };
    while (next < drawn) {
        fill();
        holder->appendPoints(x, y);
    }
    for (auto _ : state) {
        state.PauseTiming();
        // Keep the curve at the measured length.
        if (holder->curve->data()->size() > drawn + 50000) {
            holder->curve->data()->removeAfter(drawn - 0.5);
            QCPRange keys, values;
            holder->curveExtent(&keys, &values);
            next = drawn;
        }
        fill();
        state.ResumeTiming();
        holder->appendPoints(x, y);
        if (rescan) {
            bool found = false;
            plotMain->xAxis->setRange(holder->curve->getKeyRange(found));
            plotMain->yAxis->setRange(holder->curve->getValueRange(found));
        } else {
            window.autoscale();
        }
    }
    state.SetLabel(rescan ? "rescan" : "running extremes");
}
BENCHMARK(BM_AppendBatch)
    ->Args({10000, 0})
    ->Args({100000, 0})
    ->Args({1000000, 0})
    ->Args({10000, 1})
    ->Args({100000, 1})
    ->Args({1000000, 1})
    ->Unit(benchmark::kMicrosecond);

// Opening a big trace file -------------------------------------------------------------------

// A native profile file of n samples, 0.01 µm apart: a form, a waviness and a roughness of a few
// micrometres with a little noise, written as the program writes its rows.
QString bigProfileFile(int n)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("profile_%1.txt").arg(n));
    if (QFileInfo::exists(path))
        return path;
    std::FILE *out = std::fopen(QFile::encodeName(path).constData(), "w");
    if (!out)
        return QString();
    std::fprintf(out,
                 "trace_type:PROFILE\nspeed:0.5\nfilter:800\ncontroler_name:\n"
                 "creation_date:01-02-2023 10:11:12\naddittional_trace_count:0\n"
                 "point_count:%d\n",
                 n);
    const double twoPi = 2 * M_PI;
    for (int i = 0; i < n; ++i) {
        const double x = i * 0.01;
        const double y = 20 * std::sin(i * 3.0 / n) + 3 * std::sin(twoPi * x / 2500.0)
            + 1.5 * std::sin(twoPi * x / 90.0) + 0.6 * std::sin(twoPi * x / 17.0)
            + 0.05 * std::sin(i * 2.9);
        std::fprintf(out, "%.2f\t%.5f\t\n", x, y);
    }
    std::fclose(out);
    return path;
}

// The resident memory of the program and its peak since the last reset (kB), from /proc.
qint64 statusKb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray name = QByteArray(key) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

void resetPeakResident()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// The settings of a new user, optionally with all 56 parameters shown.
void newUserSettings(bool allParameters)
{
    Settings::modify([allParameters](Settings &s) {
        s = Settings::readFile(QStringLiteral("no-settings.ini"));
        if (allParameters) {
            s.preferences.enabled_params.clear();
            const QVector<QString> &order = parameterCatalogueOrder();
            for (int i = 0; i < order.size(); ++i)
                s.preferences.enabled_params.insert(i, order.at(i));
            s.preferences.enabled_params_count = order.size();
        }
    });
}

// The reader alone: the file's rows into a profile trace, nothing drawn, processed or evaluated.
bool bareRead(const QString &path)
{
    const Settings settings = Settings::snapshot();
    ProfileTrace trace;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !readNativeTrace(file, path, trace, settings, {}).ok())
        return false;
    benchmark::DoNotOptimize(trace.rawData->at(1).data());
    return true;
}

void BM_BareRead(benchmark::State &state)
{
    const int n = int(state.range(0));
    const QString path = bigProfileFile(n);
    newUserSettings(false);
    for (auto _ : state) {
        if (!bareRead(path)) {
            state.SkipWithError("read failed");
            return;
        }
    }
    state.SetLabel(n >= 10000000 ? "10^7 samples" : "10^6 samples");
}
BENCHMARK(BM_BareRead)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// From the file handed to the window (as "Открыть трассу" does) to the parameter table filled and
// the last picture drawn, with a new user's settings (arguments: samples, all 56 parameters).
// A precise 1 ms timer ticks on the GUI thread throughout: longest_stall_ms is its longest gap
// less the interval. bytes_per_sample_peak and _held are the resident memory above the idle
// program with its window shown, at the peak of the opening and after it. times_bare_read is the
// opening's time over that of a bare read of the file made just before each opening.
void BM_OpenBigTrace(benchmark::State &state)
{
    const int n = int(state.range(0));
    const bool all = state.range(1) != 0;
    const QString path = bigProfileFile(n);
    newUserSettings(all);
    qint64 longest = 0;
    double peak = 0.0;
    double held = 0.0;
    // The machine's load changes from one run to the next: each opening is set against a bare
    // read of the same file made just before it.
    double openNs = 0.0;
    double bareNs = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        QElapsedTimer bare;
        bare.start();
        bareRead(path);
        bareNs += double(bare.nsecsElapsed());
        malloc_trim(0);
        auto window = std::make_unique<ProfileAnalisisWidget>();
        window->resize(1600, 900);
        window->show();
        QApplication::processEvents();
        malloc_trim(0);
        const qint64 idleKb = statusKb("VmRSS");
        resetPeakResident();
        StallWatch heartbeat;
        state.ResumeTiming();
        QElapsedTimer open;
        open.start();

        window->setDataProvider(new FileDataProvider(path));
        window->startReading(PROFILE);
        TraceList *list = window->traceList();
        const int shown = Settings::instance()->preferences.enabled_params_count;
        const ProfileAnalisisWidget *shownWindow = window.get();
        const auto tableFilled = [list, shown, shownWindow] {
            if (list->traces.isEmpty() || list->readingTrace)
                return false;
            const auto *trace = static_cast<ProfileTrace *>(list->traces.first());
            const TraceGraphsHolder *holder = shownWindow->graphHolders().value(trace->id);
            // The processed data on the curve and every parameter's value in the table.
            if (trace->parameterResults.size() < shown)
                return false;
            for (const QString &text : qAsConst(trace->parameterResults)) {
                if (text.isEmpty())
                    return false;
            }
            return holder && !holder->rebuildPending()
                && holder->curve->data()->size() == trace->processedData->at(0).size();
        };
        while (!tableFilled())
            QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        // The picture that the end of the read queued.
        QApplication::processEvents();

        openNs += double(open.nsecsElapsed());
        state.PauseTiming();
        longest = std::max(longest, heartbeat.stop());
        const double peakKb = double(statusKb("VmHWM") - idleKb);
        const double heldKb = double(statusKb("VmRSS") - idleKb);
        peak = std::max(peak, peakKb * 1024.0 / n);
        held = std::max(held, heldKb * 1024.0 / n);
        window.reset();
        malloc_trim(0);
        state.ResumeTiming();
    }
    state.counters["longest_stall_ms"] = double(longest) / 1e6;
    state.counters["bytes_per_sample_peak"] = peak;
    state.counters["bytes_per_sample_held"] = held;
    state.counters["times_bare_read"] = bareNs > 0 ? openNs / bareNs : 0.0;
    state.SetLabel(std::string(n >= 10000000 ? "10^7 samples" : "10^6 samples")
                   + (all ? ", 56 parameters" : ", new user's settings"));
}
BENCHMARK(BM_OpenBigTrace)
    ->Args({1000000, 0})
    ->Args({10000000, 0})
    ->Args({10000000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

// A change of the display unit (argument 0) or of the histogram density (1) with a 10^7 sample
// trace open and all 56 parameters shown: from the change to the picture, the side plots and the
// parameters renewed. longest_stall_ms is the longest gap of a 1 ms timer on the GUI thread less
// the interval, over both directions of the change.
void BM_ChangeViewOfBigTrace(benchmark::State &state)
{
    const bool unit = state.range(0) == 0;
    const int n = 10000000;
    const QString path = bigProfileFile(n);
    newUserSettings(true);
    auto window = std::make_unique<ProfileAnalisisWidget>();
    window->resize(1600, 900);
    window->show();
    QApplication::processEvents();
    window->setDataProvider(new FileDataProvider(path));
    window->startReading(PROFILE);
    TraceList *list = window->traceList();
    const ProfileAnalisisWidget *shownWindow = window.get();
    const auto settled = [list, shownWindow] {
        if (list->traces.isEmpty() || list->readingTrace)
            return false;
        const AbstractTrace *trace = list->traces.first();
        const TraceGraphsHolder *holder = shownWindow->graphHolders().value(trace->id);
        return holder && !holder->rebuildPending()
            && !shownWindow->traceRoad()->evaluationPending(nullptr);
    };
    while (!settled())
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    QApplication::processEvents();
    auto *density = window->findChild<QSpinBox *>(QStringLiteral("histogramSpinBox"));
    qint64 longest = 0;
    int step = 0;
    for (auto _ : state) {
        StallWatch heartbeat;
        ++step;
        if (unit) {
            Settings::modify([step](Settings &s) { s.view.axis_unit = step % 2 ? 0 : 1; });
            window->settingsChanged();
        } else if (density) {
            density->setValue(step % 2 ? 20 : 10);
        }
        QApplication::processEvents();
        while (!settled())
            QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        QApplication::processEvents();
        longest = std::max(longest, heartbeat.stop());
    }
    state.counters["longest_stall_ms"] = double(longest) / 1e6;
    state.SetLabel(unit ? "display unit, 10^7 samples" : "histogram density, 10^7 samples");
}
BENCHMARK(BM_ChangeViewOfBigTrace)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(4);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A scratch working directory: no settings.ini, as on a new user's first start.
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
