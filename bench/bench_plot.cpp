// Replot time of long traces drawn as AdaptiveCurve against the library's QCPCurve, and the cost
// of the selection marker's snap per mouse move.
#include "plot/AdaptiveCurve.h"
#include "plot/CurveHitTest.h"
#include "plot/Plot.h"

#include <QApplication>
#include <QMouseEvent>
#include <benchmark/benchmark.h>
#include <cmath>
#include <map>
#include <memory>

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 900;

// A trace of n samples with keys rising by one step, shared by all benchmarks of the same length
// and shape. Shape 0, a profile: form, waviness and roughness whose shortest wavelength spans
// 2000 samples, as a stylus trace sampled finer than its tip. Shape 1, a rough profile: every
// sample jumps by tens of pixels at full view, the worst case for thinning.
QSharedPointer<QCPCurveDataContainer> traceData(int n, int shape = 0)
{
    static std::map<std::pair<int, int>, QSharedPointer<QCPCurveDataContainer>> cache;
    auto &data = cache[{n, shape}];
    if (!data) {
        QVector<QCPCurveData> points(n);
        const double twoPi = 2 * M_PI;
        for (int i = 0; i < n; ++i) {
            const double value = shape == 0
                ? 50 * std::sin(i * 6.0 / n) + 5 * std::sin(twoPi * i / 20000.0)
                    + 2 * std::sin(twoPi * i / 2000.0)
                : 50 * std::sin(i * 6.0 / n) + 3 * std::sin(i * 0.37) + std::sin(i * 2.9);
            points[i] = QCPCurveData(i, i, value);
        }
        data.reset(new QCPCurveDataContainer);
        data->set(points, true);
    }
    return data;
}

std::unique_ptr<Plot> makePlot()
{
    auto plot = std::make_unique<Plot>();
    plot->resize(kWidth, kHeight);
    plot->show();
    QApplication::processEvents();
    return plot;
}

// Arguments: point count, adaptive (1) or library curve (0), zoom factor (1 or 1000), shape.
void BM_Replot(benchmark::State &state)
{
    const int n = int(state.range(0));
    const bool adaptive = state.range(1) != 0;
    const double zoom = double(state.range(2));
    const int shape = int(state.range(3));
    auto plot = makePlot();
    QCPCurve *curve = adaptive ? new AdaptiveCurve(plot->xAxis, plot->yAxis)
                               : new QCPCurve(plot->xAxis, plot->yAxis);
    curve->setData(traceData(n, shape));
    plot->rescaleAxes();
    const QCPRange full = plot->xAxis->range();
    const double half = full.size() / zoom / 2;
    plot->xAxis->setRange(full.center() - half, full.center() + half);
    plot->replot(QCustomPlot::rpImmediateRefresh);
    for (auto _ : state)
        plot->replot(QCustomPlot::rpImmediateRefresh);
    state.SetLabel(std::string(adaptive ? "AdaptiveCurve" : "QCPCurve")
                   + (zoom > 1 ? " zoomed" : " full view") + (shape ? ", rough" : ", profile"));
}

void replotArgs(benchmark::internal::Benchmark *b)
{
    for (int shape : {0, 1})
        for (int n : {100000, 1000000, 10000000})
            for (int zoom : {1, 1000})
                for (int adaptive : {1, 0})
                    b->Args({n, adaptive, zoom, shape});
}
BENCHMARK(BM_Replot)->Apply(replotArgs)->Unit(benchmark::kMillisecond)->UseRealTime();

// One mouse move over a plot with the selection marker and a 10^6-point trace: the library's
// move handling, the snap and the repaint of the marker's layer. Argument: the pointer's
// distance from the trace in pixels.
void BM_MarkerSnapMove(benchmark::State &state)
{
    auto plot = makePlot();
    auto *curve = new AdaptiveCurve(plot->xAxis, plot->yAxis);
    curve->setData(traceData(1000000));
    curve->setSelectable(QCP::stDataRange);
    plot->setInteractions(QCP::iSelectPlottables | Plot::iKeepSelections | Plot::iRangeSelection);
    plot->rescaleAxes();
    plot->replot(QCustomPlot::rpImmediateRefresh);
    const QRect area = plot->axisRect()->rect();
    const int offset = int(state.range(0));
    int step = 0;
    for (auto _ : state) {
        const int x = area.left() + 1 + (step * 37) % (area.width() - 2);
        ++step;
        const auto &point = *std::lower_bound(
            curve->data()->constBegin(), curve->data()->constEnd(), plot->xAxis->pixelToCoord(x),
            [](const QCPCurveData &d, double key) { return d.key < key; });
        const int y = std::clamp(int(plot->yAxis->coordToPixel(point.value)) - offset, area.top(),
                                 area.bottom());
        QMouseEvent move(QEvent::MouseMove, QPointF(x, y), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(plot.get(), &move);
        benchmark::DoNotOptimize(plot->markerDataIndex());
    }
}
BENCHMARK(BM_MarkerSnapMove)->Arg(3)->Arg(300)->Unit(benchmark::kMicrosecond);

// The hit test alone on the same trace: the plot's (warm index), the plot's right after a replot
// (index rebuilt), and the library's linear one.
void BM_CurveHitTest(benchmark::State &state)
{
    const int mode = int(state.range(0));
    auto plot = makePlot();
    auto *curve = new AdaptiveCurve(plot->xAxis, plot->yAxis);
    curve->setData(traceData(1000000));
    plot->rescaleAxes();
    plot->replot(QCustomPlot::rpImmediateRefresh);
    const QPointF pos(plot->axisRect()->center());
    CurveHitTester warm;
    for (auto _ : state) {
        if (mode == 0) {
            benchmark::DoNotOptimize(warm.hitTest(curve, pos));
        } else if (mode == 1) {
            CurveHitTester cold;
            benchmark::DoNotOptimize(cold.hitTest(curve, pos));
        } else {
            QVariant details;
            benchmark::DoNotOptimize(curve->QCPCurve::selectTest(pos, false, &details));
        }
    }
    state.SetLabel(mode == 0 ? "plot, warm" : mode == 1 ? "plot, after replot" : "library");
}
BENCHMARK(BM_CurveHitTest)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// A walk over the curve registry as the windows do it: curveCount(), then curve(i) for each.
void BM_CurveRegistryWalk(benchmark::State &state)
{
    const int count = int(state.range(0));
    auto plot = makePlot();
    // The library's legend would cost more than the registry itself when the plot goes.
    plot->setAutoAddPlottableToLegend(false);
    for (int i = 0; i < count; ++i) {
        new QCPCurve(plot->xAxis, plot->yAxis);
        if (i % 4 == 0)
            plot->addGraph();
    }
    for (auto _ : state) {
        for (int i = 0; i < plot->curveCount(); ++i)
            benchmark::DoNotOptimize(plot->curve(i));
    }
}
BENCHMARK(BM_CurveRegistryWalk)->Arg(400)->Arg(4000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
