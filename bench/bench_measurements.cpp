// A mouse move over a contour plot while a measurement is being built: four 10^5-point traces,
// 200 reper points of finished measurements that the cursor snaps to, the plot's selection
// marker, one recalculation of the measurement and the replot that shows it all.
#include "measurements/Geometry.h"
#include "measurements/ui/Measurement.h"
#include "measurements/ui/MeasurementsManager.h"
#include "measurements/ui/ReperPoint.h"
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
constexpr int kTracePoints = 100000;
constexpr int kTraces = 4;
constexpr int kReperPoints = 200;

// A measurement whose recalculation fits a line to its selected range, as the angle kinds do.
class BenchMeasurement : public Measurement
{
public:
    BenchMeasurement(int kind, Plot *plot, int reperPoints)
        : Measurement(kind, plot, reperPoints)
    { }
    using Measurement::finish;
    void select(QCPCurve *curve, int begin, int end) { addSelection(begin, end, curve); }

    QString name() const override { return QStringLiteral("bench"); }
    QString valueText() const override { return QString::number(angle, 'f', 4); }
    double value() const override { return angle; }
    bool hasValue() const override { return true; }
    void calculate() override
    {
        const MeasurementSelection *s = selections.isEmpty() ? nullptr : &selections.first();
        if (!s || !s->curve)
            return;
        const auto begin = s->curve->data()->constBegin();
        const LineRecord line = fitLineThroughCentroids(begin + s->begin, begin + s->end);
        angle = std::atan2(double(line.dy), double(line.dx));
    }
    QString groupName() const override { return QString(); }
    void setLargeLabel(bool) override { }
    void updateLabel() override { }
    void setSelected(bool) override { }

    double angle = 0.0;
};

struct Scene
{
    std::unique_ptr<Plot> plot = std::make_unique<Plot>();
    std::unique_ptr<MeasurementsManager> manager;
    QVector<QCPCurve *> traces;
    BenchMeasurement *building = nullptr;

    explicit Scene(int reperPoints = kReperPoints)
    {
        plot->resize(kWidth, kHeight);
        plot->show();
        QApplication::processEvents();
        for (int t = 0; t < kTraces; ++t) {
            QVector<double> keys(kTracePoints);
            QVector<double> values(kTracePoints);
            for (int i = 0; i < kTracePoints; ++i) {
                keys[i] = i * 1e-4;
                values[i] = 2.0 * t + 0.5 * std::sin(i * 6.0 / kTracePoints)
                    + 0.02 * std::sin(2 * M_PI * i / 2000.0);
            }
            auto *curve = new AdaptiveCurve(plot->xAxis, plot->yAxis);
            curve->setData(keys, values);
            traces.append(curve);
        }
        plot->rescaleAxes();
        manager = std::make_unique<MeasurementsManager>(plot.get(), plot.get());
        manager->setTraces(QVector<AbstractTrace *>(kTraces, nullptr));
        manager->reperPoints()->setCursorMover([](const QPoint &) {});
        manager->setFactory([](int kind, const MeasurementArgs &args) -> Measurement * {
            return new BenchMeasurement(kind, args.plot, 2);
        });

        // 100 finished measurements with two reper points each, on the traces.
        manager->setMeasurementType(REGULAR_ANGLE, true, true, QString());
        for (int m = 0; m < reperPoints / 2; ++m) {
            // What a press does.
            manager->createMeasurement(plot.get());
            manager->connectMeasurement();
            auto *done = static_cast<BenchMeasurement *>(manager->currentMeasurement());
            for (int p = 0; p < 2; ++p) {
                QCPCurve *curve = traces[(m + p) % kTraces];
                const int index = (m * 997 + p * 50000) % kTracePoints;
                const QCPCurveData &d = *(curve->data()->constBegin() + index);
                done->setReperPoint(p, QPointF(d.key, d.value));
            }
            done->finish();
            emit done->measumentFinished();
        }
        // The measurement being built: a 10^4-point range of the first trace.
        manager->createMeasurement(plot.get());
        manager->connectMeasurement();
        building = static_cast<BenchMeasurement *>(manager->currentMeasurement());
        building->select(traces[0], 20000, 30000);
        manager->setMeasurementType(REGULAR_ANGLE, true, true, QString());
        plot->replot(QCustomPlot::rpImmediateRefresh);
        QApplication::processEvents();
    }

    // A pointer position near trace t at step s, now and then right on a reper point.
    QPoint position(int step) const
    {
        const QRect area = plot->axisRect()->rect();
        if (step % 10 == 0 && !manager->measurementList().empty()) {
            const QList<ReperPoint *> &points
                = manager->measurementList().front()->reperPointList();
            const QPointF at = points.at(step / 10 % 2)->position();
            return QPoint(int(plot->xAxis->coordToPixel(at.x())) + 2,
                          int(plot->yAxis->coordToPixel(at.y())) + 1);
        }
        const int x = area.left() + 1 + (step * 37) % (area.width() - 2);
        const QCPCurve *curve = traces[step % kTraces];
        const int index = std::clamp(int(plot->xAxis->pixelToCoord(x) / 1e-4), 0, kTracePoints - 1);
        const double value = (curve->data()->constBegin() + index)->value;
        return QPoint(x, int(plot->yAxis->coordToPixel(value)) - 3);
    }

    void move(const QPoint &pos)
    {
        QMouseEvent event(QEvent::MouseMove, QPointF(pos), plot->mapToGlobal(pos), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(plot.get(), &event);
    }
};

// Argument 0: the whole move, the queued replot and the paint included. Argument 1: the move's
// handlers alone (snapping, marker, recalculation), the replot left queued. Argument 2: the
// whole move with one more, immediate replot from the cursor tracking, as the measurement would
// redraw if it did not leave the replot to the event loop (the snapping of a reper point
// would add a third).
void BM_MeasurementMouseMove(benchmark::State &state)
{
    Scene scene;
    const int mode = int(state.range(0));
    if (mode == 2) {
        QObject::connect(scene.plot.get(), &QCustomPlot::mouseMove, scene.plot.get(),
                         [&scene] { scene.plot->replot(QCustomPlot::rpRefreshHint); });
    }
    int step = 0;
    for (auto _ : state) {
        scene.move(scene.position(step++));
        if (mode != 1)
            QApplication::processEvents();
        benchmark::DoNotOptimize(scene.building->angle);
    }
    QApplication::processEvents();
    state.SetLabel(mode == 0       ? "move, recalculation and replot"
                       : mode == 1 ? "move handlers only"
                                   : "with an immediate replot as well");
}
BENCHMARK(BM_MeasurementMouseMove)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One replot of the same scene, for comparison; the argument is the number of reper points.
void BM_MeasurementSceneReplot(benchmark::State &state)
{
    Scene scene(int(state.range(0)));
    for (auto _ : state)
        scene.plot->replot(QCustomPlot::rpImmediateRefresh);
}
BENCHMARK(BM_MeasurementSceneReplot)
    ->Arg(0)
    ->Arg(kReperPoints)
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
