// The measurement tab with long contours: opening a tab on two contours of 2·10^5 points (copies,
// curves, framing and the first paint), one wheel-scaling or middle-button pan step with 20
// measurements on the plot, replot included, and with them a change of the display unit there
// and back, and a levelling by the mouse and its reset.
#include "contour/ContourAnalisisWidget.h"
#include "core/ContourTrace.h"
#include "core/Settings.h"
#include "measurements/ui/MeasurementsManager.h"
#include "plot/Plot.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QWheelEvent>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>
#include <vector>

namespace {

// A contour in micrometres: a turned profile with a groove and fine roughness, a point every
// 0.5 µm, lifted by lift.
std::unique_ptr<ContourTrace> contour(int n, double lift)
{
    auto trace = std::make_unique<ContourTrace>();
    trace->setType(CONTOUR);
    QVector<double> &x = (*trace->processedData)[0];
    QVector<double> &y = (*trace->processedData)[1];
    x.resize(n);
    y.resize(n);
    for (int i = 0; i < n; ++i) {
        const double t = i * 0.5;
        x[i] = t;
        const double groove = std::abs(t - n / 4.0) < n / 16.0 ? -3000.0 : 0.0;
        y[i] = lift + groove + 400 * std::sin(t / 9000.0) + 2 * std::sin(t * 0.7);
    }
    return trace;
}

void mouse(QWidget *w, QEvent::Type type, const QPoint &pos, Qt::MouseButton button,
           Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, w->mapTo(w->window(), pos), w->mapToGlobal(pos), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

void click(Plot *plot, double x, double y)
{
    const QPoint pos(int(plot->xAxis->coordToPixel(x)), int(plot->yAxis->coordToPixel(y)));
    mouse(plot, QEvent::MouseMove, pos, Qt::NoButton, Qt::NoButton);
    mouse(plot, QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton);
    mouse(plot, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
}

struct Traces
{
    Traces()
    {
        Settings::instance()->view.axis_unit = 0;
        owned.push_back(contour(200000, 0));
        owned.push_back(contour(200000, 6000));
        for (const auto &t : owned)
            given.append(t.get());
    }
    std::vector<std::unique_ptr<ContourTrace>> owned;
    QVector<AbstractTrace *> given;
};

void BM_OpenTab(benchmark::State &state)
{
    Traces traces;
    for (auto _ : state) {
        auto window = std::make_unique<ContourAnalisisWidget>(nullptr, false);
        window->setTraces(traces.given);
        window->resize(1600, 900);
        window->show();
        QApplication::processEvents();
        state.PauseTiming();
        window.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenTab)->Unit(benchmark::kMillisecond)->UseRealTime();

// A tab with 20 lengths measured by the mouse along the lower contour.
struct Tab
{
    Tab()
    {
        window = std::make_unique<ContourAnalisisWidget>(nullptr, false);
        window->setTraces(traces.given);
        window->resize(1600, 900);
        window->show();
        QApplication::processEvents();
        window->findChild<QAction *>(QStringLiteral("actionDistance"))->setChecked(true);
        window->findChild<QPushButton *>(QStringLiteral("pushButtonHorisontalDistance"))->click();
        Plot *p = window->plot();
        for (int i = 0; i < 20; ++i) {
            const double x0 = 1.0 + i * 4.0;
            click(p, x0, 0.4 * std::sin(x0 * 1000 / 9000.0));
            click(p, x0 + 2.0, 0.4 * std::sin((x0 + 2.0) * 1000 / 9000.0));
            click(p, x0 + 1.0, 1.5 + i * 0.2);
        }
        window->manager()->setMeasurementType(NO_MEASUREMENT, true, false, QString());
        QApplication::processEvents();
    }
    Plot *plot() const { return window->plot(); }

    Traces traces;
    std::unique_ptr<ContourAnalisisWidget> window;
};

void BM_WheelScaleStep(benchmark::State &state)
{
    Tab tab;
    if (tab.window->manager()->measurementList().size() != 20)
        state.SkipWithError("the lengths were not measured");
    tab.window->findChild<QAction *>(QStringLiteral("actionScale"))->setChecked(true);
    tab.window->findChild<QPushButton *>(QStringLiteral("pushButtonScaleX"))->click();
    Plot *p = tab.plot();
    const QPointF pos(p->width() / 2.0, p->height() / 2.0);
    int step = 0;
    for (auto _ : state) {
        // Away and back, so the view stays where it is measured.
        const int delta = (step++ % 2 == 0) ? 120 : -120;
        QWheelEvent event(pos, p->mapToGlobal(pos.toPoint()), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(p, &event);
    }
}
BENCHMARK(BM_WheelScaleStep)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MiddleButtonPanStep(benchmark::State &state)
{
    Tab tab;
    if (tab.window->manager()->measurementList().size() != 20)
        state.SkipWithError("the lengths were not measured");
    Plot *p = tab.plot();
    const QPoint start(p->width() / 2, p->height() / 2);
    mouse(p, QEvent::MouseButtonPress, start, Qt::MiddleButton, Qt::MiddleButton);
    int step = 0;
    for (auto _ : state) {
        const QPoint pos = start + QPoint((step++ % 2 == 0) ? 15 : 0, 0);
        mouse(p, QEvent::MouseMove, pos, Qt::NoButton, Qt::MiddleButton);
    }
    mouse(p, QEvent::MouseButtonRelease, start, Qt::MiddleButton, Qt::NoButton);
}
BENCHMARK(BM_MiddleButtonPanStep)->Unit(benchmark::kMillisecond)->UseRealTime();

// Millimetres to micrometres and back, as the settings window's closing makes the tab redraw:
// the curves, every item and the 20 lengths in the other unit, twice.
void BM_UnitChangeThereAndBack(benchmark::State &state)
{
    Tab tab;
    if (tab.window->manager()->measurementList().size() != 20)
        state.SkipWithError("the lengths were not measured");
    for (auto _ : state) {
        Settings::instance()->view.axis_unit = 1;
        tab.window->recalcAllMeasurements();
        Settings::instance()->view.axis_unit = 0;
        tab.window->recalcAllMeasurements();
    }
}
BENCHMARK(BM_UnitChangeThereAndBack)->Unit(benchmark::kMillisecond)->UseRealTime();

// A levelling by a short stretch of the lower contour dragged with the mouse, then its reset:
// both contours, every item and the 20 lengths turn and turn back.
void BM_LevelAndReset(benchmark::State &state)
{
    Tab tab;
    if (tab.window->manager()->measurementList().size() != 20)
        state.SkipWithError("the lengths were not measured");
    Plot *p = tab.plot();
    QAction *frame = tab.window->findChild<QAction *>(QStringLiteral("actionLayFlat"));
    auto *level = tab.window->findChild<QPushButton *>(QStringLiteral("pushButtonlayFlat"));
    auto *reset = tab.window->findChild<QPushButton *>(QStringLiteral("pushButtonRST"));
    const auto at = [p](double x) {
        return QPoint(int(p->xAxis->coordToPixel(x)),
                      int(p->yAxis->coordToPixel(0.4 * std::sin(x * 1000 / 9000.0))));
    };
    for (auto _ : state) {
        frame->setChecked(true);
        level->click();
        mouse(p, QEvent::MouseMove, at(10.0), Qt::NoButton, Qt::NoButton);
        mouse(p, QEvent::MouseButtonPress, at(10.0), Qt::LeftButton, Qt::LeftButton);
        mouse(p, QEvent::MouseMove, at(15.0), Qt::NoButton, Qt::LeftButton);
        mouse(p, QEvent::MouseMove, at(20.0), Qt::NoButton, Qt::LeftButton);
        mouse(p, QEvent::MouseButtonRelease, at(20.0), Qt::LeftButton, Qt::NoButton);
        frame->setChecked(true);
        reset->click();
    }
}
BENCHMARK(BM_LevelAndReset)->Unit(benchmark::kMillisecond)->UseRealTime();

// A press and release of the left button on the plot with no tool chosen: the plot asks every
// curve whether the click hit it.
void BM_ClickOnPlot(benchmark::State &state)
{
    Traces traces;
    ContourAnalisisWidget window(nullptr, false);
    window.setTraces(traces.given);
    window.resize(1600, 900);
    window.show();
    QApplication::processEvents();
    Plot *p = window.plot();
    const QPoint pos(p->width() / 2, p->height() / 2);
    for (auto _ : state) {
        mouse(p, QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton);
        mouse(p, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
    }
}
BENCHMARK(BM_ClickOnPlot)->Unit(benchmark::kMillisecond)->UseRealTime();

// The replot alone, with (1) and without (0) the 20 lengths.
void BM_Replot(benchmark::State &state)
{
    std::unique_ptr<Tab> tab;
    std::unique_ptr<Traces> traces;
    std::unique_ptr<ContourAnalisisWidget> bare;
    Plot *p = nullptr;
    if (state.range(0) != 0) {
        tab = std::make_unique<Tab>();
        p = tab->plot();
    } else {
        traces = std::make_unique<Traces>();
        bare = std::make_unique<ContourAnalisisWidget>(nullptr, false);
        bare->setTraces(traces->given);
        bare->resize(1600, 900);
        bare->show();
        QApplication::processEvents();
        p = bare->plot();
    }
    for (auto _ : state)
        p->replot(QCustomPlot::rpRefreshHint);
}
BENCHMARK(BM_Replot)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

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
