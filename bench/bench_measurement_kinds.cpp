// Placing the value label of a measurement: every mouse move recalculates the measurement with
// the new cursor and replots. The trace is an arc of 2·10^5 points; the kinds measure over
// ranges of 10^5 points each. Argument 0: the kind; argument 1: 1 keeps what the ranges alone
// give between moves (as the kinds do), 0 recomputes everything on every move.
#include "measurements/ui/AngleMeasurement.h"
#include "measurements/ui/CurvatureMeasurement.h"
#include "measurements/ui/DistanceMeasurement.h"
#include "measurements/ui/Measurement.h"
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
constexpr int kTracePoints = 200000;
constexpr int kRange = 100000;

// The kind with every calculation starting afresh.
template<class Kind>
class Uncached : public Kind
{
public:
    using Kind::Kind;
    void calculate() override
    {
        this->forgetSelections();
        Kind::calculate();
    }
};

template<class Kind>
Measurement *make(Plot *plot, bool cached)
{
    return cached ? static_cast<Measurement *>(new Kind(plot))
                  : static_cast<Measurement *>(new Uncached<Kind>(plot));
}

Measurement *create(int kind, Plot *plot, bool cached)
{
    switch (kind) {
    case MAX_MIN_DISTANCE:
        return make<MaxMinDistanceMeasurement>(plot, cached);
    case MEAN_HEIGHT:
        return make<MeanHeightMeasurement>(plot, cached);
    case AVG_DIAMETERT:
        return make<AvgDiametertMeasurement>(plot, cached);
    case REGULAR_RADIUS:
        return make<RegularRadiusMeasurement>(plot, cached);
    case ARCS_RADIUS:
        return make<ArcsRadiusMeasurement>(plot, cached);
    case VERTICAL_ANGLE:
        return make<VerticalAngleMeasurement>(plot, cached);
    case HORIZONTAL_ANGLE:
        return make<HorizontalAngleMeasurement>(plot, cached);
    default:
        return make<RegularAngleMeasurement>(plot, cached);
    }
}

int rangesOf(int kind)
{
    switch (kind) {
    case MEAN_HEIGHT:
    case AVG_DIAMETERT:
    case ARCS_RADIUS:
    case REGULAR_ANGLE:
        return 2;
    default:
        return 1;
    }
}

struct Scene
{
    std::unique_ptr<Plot> plot = std::make_unique<Plot>();
    std::unique_ptr<Measurement> measurement;
    QCPCurve *trace = nullptr;

    Scene(int kind, bool cached)
    {
        plot->resize(kWidth, kHeight);
        plot->show();
        QApplication::processEvents();
        QVector<double> keys(kTracePoints);
        QVector<double> values(kTracePoints);
        for (int i = 0; i < kTracePoints; ++i) {
            const double a = M_PI * (0.1 + 0.8 * i / kTracePoints);
            keys[i] = 50.0 * std::cos(a);
            values[i] = 50.0 * std::sin(a) + 0.01 * std::sin(i * 0.37);
        }
        trace = new AdaptiveCurve(plot->xAxis, plot->yAxis);
        trace->setData(keys, values);
        plot->rescaleAxes();
        plot->setInteractions(Plot::iRangeSelection);

        measurement.reset(create(kind, plot.get(), cached));
        // The ranges, each closed by a release; the last release starts the value placement.
        const int ranges = rangesOf(kind);
        for (int r = 0; r < ranges; ++r) {
            measurement->addSelection(r * kRange, (r + 1) * kRange, trace);
            release();
        }
        plot->replot(QCustomPlot::rpImmediateRefresh);
        QApplication::processEvents();
    }

    QPoint position(int step) const
    {
        const QRect area = plot->axisRect()->rect();
        return QPoint(area.left() + 10 + (step * 37) % (area.width() - 20),
                      area.top() + 10 + (step * 23) % (area.height() - 20));
    }

    void send(QEvent::Type type, const QPoint &pos, Qt::MouseButton button)
    {
        QMouseEvent event(type, QPointF(pos), plot->mapToGlobal(pos), button,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton
                                                             : Qt::MouseButtons(button),
                          Qt::NoModifier);
        QApplication::sendEvent(plot.get(), &event);
    }

    void release()
    {
        const QPoint p = position(0);
        send(QEvent::MouseButtonPress, p, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, p, Qt::LeftButton);
    }
};

void BM_LabelPlacement(benchmark::State &state)
{
    const int kind = int(state.range(0));
    Scene scene(kind, state.range(1) != 0);
    int step = 1;
    for (auto _ : state) {
        scene.send(QEvent::MouseMove, scene.position(step++), Qt::NoButton);
        // The queued replot that draws the move.
        QApplication::processEvents();
    }
    if (scene.measurement->isFinished())
        state.SkipWithError("the measurement finished during the benchmark");
    state.SetLabel(scene.measurement->name().toStdString() + ": "
                   + scene.measurement->valueText().toStdString());
}
BENCHMARK(BM_LabelPlacement)
    ->ArgsProduct({{MAX_MIN_DISTANCE, MEAN_HEIGHT, AVG_DIAMETERT, REGULAR_RADIUS, ARCS_RADIUS,
                    VERTICAL_ANGLE, HORIZONTAL_ANGLE, REGULAR_ANGLE},
                   {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

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
