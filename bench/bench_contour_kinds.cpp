// Mouse moves while a deviation or roughness measurement is built on a long selection: the
// circle deviations recalculated on a 2·10^4-point arc while the range is dragged, and the label
// of a roughness measurement on a 10^5-point selection placed while the cut-off is cached.
#include "measurements/ui/CircleDeviationMeasurements.h"
#include "measurements/ui/MeasurementFactory.h"
#include "measurements/ui/RoughnessMeasurements.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"

#include <QApplication>
#include <QMouseEvent>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 900;

struct Scene
{
    std::unique_ptr<Plot> plot = std::make_unique<Plot>();
    QCPCurve *curve = nullptr;

    Scene(const QVector<double> &keys, const QVector<double> &values)
    {
        plot->resize(kWidth, kHeight);
        plot->show();
        QApplication::processEvents();
        curve = new AdaptiveCurve(plot->xAxis, plot->yAxis);
        curve->setData(keys, values);
        plot->rescaleAxes();
        plot->yAxis->setRange(plot->yAxis->range().lower - 2, plot->yAxis->range().upper + 1);
        plot->replot(QCustomPlot::rpImmediateRefresh);
        QApplication::processEvents();
    }

    void move(int step)
    {
        const QRect area = plot->axisRect()->rect();
        const QPoint pos(area.left() + 20 + (step * 37) % (area.width() - 40),
                         area.bottom() - 10 - (step * 13) % 60);
        QMouseEvent event(QEvent::MouseMove, QPointF(pos), plot->mapToGlobal(pos), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(plot.get(), &event);
    }
};

// An arc of radius 5 mm, one point per micrometre of its length, with a fine waviness.
Scene arcScene(int points)
{
    QVector<double> keys(points);
    QVector<double> values(points);
    for (int i = 0; i < points; ++i) {
        const double a = (200.0 + 140.0 * i / (points - 1)) * M_PI / 180.0;
        const double r = 5.0 + 0.002 * std::sin(i * 0.05);
        keys[i] = 5 + r * std::cos(a);
        values[i] = 8 + r * std::sin(a);
    }
    return Scene(keys, values);
}

// Argument 0: the circle kind. Every move reports a range one point longer or shorter, as a
// drag does, so every move fits and draws anew; the replot is included.
void BM_CircleDeviationDragMove(benchmark::State &state)
{
    constexpr int kPoints = 20000;
    Scene scene = arcScene(kPoints);
    MeasurementArgs args;
    args.plot = scene.plot.get();
    args.radius = 5.0;
    args.count = 2;
    std::unique_ptr<Measurement> m(createMeasurementOfKind(int(state.range(0)), args));
    int step = 0;
    for (auto _ : state) {
        m->onSegmentSelected(QCPDataRange(0, kPoints - (step % 2)), scene.curve);
        scene.move(step++);
        QApplication::processEvents();
    }
    state.SetLabel(measurementKindInfo(int(state.range(0))).className);
}
BENCHMARK(BM_CircleDeviationDragMove)
    ->Arg(RDEM)
    ->Arg(RDEM_SPECIFIED)
    ->Arg(RDEM_FILTER)
    ->Arg(RDEM_WITH_POLAR_GRAPH)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same measurement while its label is placed: the selection stays, the fit is reused and
// only the label, the band and the scale follow the cursor.
void BM_CircleDeviationLabelMove(benchmark::State &state)
{
    constexpr int kPoints = 20000;
    Scene scene = arcScene(kPoints);
    MeasurementArgs args;
    args.plot = scene.plot.get();
    args.radius = 5.0;
    std::unique_ptr<Measurement> m(createMeasurementOfKind(int(state.range(0)), args));
    m->onSegmentSelected(QCPDataRange(0, kPoints), scene.curve);
    int step = 0;
    for (auto _ : state) {
        scene.move(step++);
        QApplication::processEvents();
    }
    state.SetLabel(measurementKindInfo(int(state.range(0))).className);
}
BENCHMARK(BM_CircleDeviationLabelMove)
    ->Arg(RDEM)
    ->Arg(RDEM_SPECIFIED)
    ->Arg(RDEM_WITH_POLAR_GRAPH)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A roughness stretch of 10^5 points: 100 mm at one point per micrometre, a sine of 1.6 µm.
constexpr int kRoughPoints = 100000;

Scene roughScene()
{
    QVector<double> keys(kRoughPoints);
    QVector<double> values(kRoughPoints);
    for (int i = 0; i < kRoughPoints; ++i) {
        keys[i] = i * 0.001;
        values[i] = 2 + 0.0016 * std::sin(2 * M_PI * i / 60.0);
    }
    return Scene(keys, values);
}

// Argument 0: the whole move with its replot while the label is placed; 1: the recalculation
// alone.
void BM_RoughnessLabelMove(benchmark::State &state)
{
    Scene scene = roughScene();
    RAMeasurement m(scene.plot.get(), {});
    m.onSegmentSelected(QCPDataRange(0, kRoughPoints), scene.curve);
    m.calculate(); // chooses the cut-off once
    const bool withReplot = state.range(0) == 0;
    int step = 0;
    for (auto _ : state) {
        if (withReplot) {
            scene.move(step++);
            QApplication::processEvents();
        } else {
            m.calculate();
        }
    }
    state.SetLabel(withReplot ? "move and replot" : "recalculation");
    if (m.cutOffSearches() != 1)
        state.SkipWithError("the cut-off was chosen again");
}
BENCHMARK(BM_RoughnessLabelMove)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same recalculation without the cache: the cut-off chosen anew on every move.
void BM_RoughnessCutOffChoice(benchmark::State &state)
{
    Scene scene = roughScene();
    RAMeasurement m(scene.plot.get(), {});
    int step = 0;
    for (auto _ : state) {
        m.onSegmentSelected(QCPDataRange(0, kRoughPoints - (step++ % 2)), scene.curve);
        m.calculate();
    }
}
BENCHMARK(BM_RoughnessCutOffChoice)->Unit(benchmark::kMillisecond)->UseRealTime();

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
