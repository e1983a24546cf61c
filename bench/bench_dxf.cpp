#include "measurements/DrawingFit.h"
#include "measurements/DxfReader.h"
#include "measurements/ui/DxfPlotItems.h"
#include "plot/Plot.h"

#include <QApplication>
#include <QByteArray>
#include <QLoggingCategory>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>

namespace {

constexpr double kPi = 3.14159265358979323846;

void pair(QByteArray &out, int code, const QByteArray &value)
{
    out += QByteArray::number(code).rightJustified(3, ' ');
    out += "\r\n";
    out += value;
    out += "\r\n";
}

void pair(QByteArray &out, int code, double value)
{
    pair(out, code, QByteArray::number(value, 'f', 6));
}

// A drawing of about 10 MB as CAD programs write it: subclass markers, handles, layers, and a
// mix of lines, arcs, circles, lightweight polylines with bulges and a few ellipses.
QByteArray tenMegabyteDxf()
{
    QByteArray out;
    out.reserve(11 << 20);
    pair(out, 0, "SECTION");
    pair(out, 2, "ENTITIES");
    for (int i = 0; out.size() < (10 << 20); ++i) {
        const double x = (i % 1000) * 0.731;
        const double y = (i / 1000) * 0.587;
        const QByteArray handle = QByteArray::number(0x100 + i, 16).toUpper();
        switch (i % 10) {
        case 0:
        case 1:
        case 2:
        case 3:
            pair(out, 0, "LINE");
            pair(out, 5, handle);
            pair(out, 100, "AcDbEntity");
            pair(out, 8, "Contour");
            pair(out, 100, "AcDbLine");
            pair(out, 10, x);
            pair(out, 20, y);
            pair(out, 30, 0.0);
            pair(out, 11, x + 0.5);
            pair(out, 21, y + 0.25);
            pair(out, 31, 0.0);
            break;
        case 4:
        case 5:
            pair(out, 0, "ARC");
            pair(out, 5, handle);
            pair(out, 100, "AcDbEntity");
            pair(out, 8, "Contour");
            pair(out, 100, "AcDbCircle");
            pair(out, 10, x);
            pair(out, 20, y);
            pair(out, 30, 0.0);
            pair(out, 40, 0.3);
            pair(out, 100, "AcDbArc");
            pair(out, 50, 15.0 * (i % 24));
            pair(out, 51, 15.0 * (i % 24) + 100.0);
            break;
        case 6:
            pair(out, 0, "CIRCLE");
            pair(out, 5, handle);
            pair(out, 100, "AcDbEntity");
            pair(out, 8, "Holes");
            pair(out, 100, "AcDbCircle");
            pair(out, 10, x);
            pair(out, 20, y);
            pair(out, 30, 0.0);
            pair(out, 40, 0.2);
            break;
        case 7:
        case 8:
            pair(out, 0, "LWPOLYLINE");
            pair(out, 5, handle);
            pair(out, 100, "AcDbEntity");
            pair(out, 8, "Contour");
            pair(out, 100, "AcDbPolyline");
            pair(out, 90, "6");
            pair(out, 70, "1");
            for (int v = 0; v < 6; ++v) {
                pair(out, 10, x + 0.1 * v);
                pair(out, 20, y + 0.05 * (v % 2));
                if (v % 3 == 1)
                    pair(out, 42, 0.4);
            }
            break;
        default:
            if (i % 100 == 9) {
                pair(out, 0, "ELLIPSE");
                pair(out, 5, handle);
                pair(out, 100, "AcDbEntity");
                pair(out, 8, "Contour");
                pair(out, 100, "AcDbEllipse");
                pair(out, 10, x);
                pair(out, 20, y);
                pair(out, 30, 0.0);
                pair(out, 11, 0.6);
                pair(out, 21, 0.2);
                pair(out, 31, 0.0);
                pair(out, 40, 0.5);
                pair(out, 41, 0.0);
                pair(out, 42, 2 * kPi);
            } else {
                pair(out, 0, "TEXT");
                pair(out, 5, handle);
                pair(out, 8, "Notes");
                pair(out, 10, x);
                pair(out, 20, y);
                pair(out, 40, 0.25);
                pair(out, 1, "R0.3");
            }
            break;
        }
    }
    pair(out, 0, "ENDSEC");
    pair(out, 0, "EOF");
    return out;
}

// Reads the file once per iteration; the counters give its size and the entities it gave.
void readRepeatedly(benchmark::State &state, const QByteArray &bytes, double unitFactor,
                    const char *entitiesName)
{
    int entities = 0;
    for (auto _ : state) {
        const DxfReadResult result = readDxf(bytes, unitFactor);
        entities = result.drawing.size();
        benchmark::DoNotOptimize(result.drawing.size());
    }
    state.counters["MB"] = bytes.size() / double(1 << 20);
    state.counters[entitiesName] = entities;
}

void BM_ReadTenMegabyteDxf(benchmark::State &state)
{
    readRepeatedly(state, tenMegabyteDxf(), 1000.0, "entities");
}
BENCHMARK(BM_ReadTenMegabyteDxf)->Unit(benchmark::kMillisecond);

QPointF transformed(const QPointF &p, double degrees, const QPointF &pivot, const QPointF &shift)
{
    const double a = degrees * kPi / 180.0;
    const QPointF d = p - pivot;
    return pivot
        + QPointF(d.x() * std::cos(a) - d.y() * std::sin(a),
                  d.x() * std::sin(a) + d.y() * std::cos(a))
        + shift;
}

// The whole fit (rotation, translation, refinement) once per iteration; the trace was turned by
// 3° to make it.
void fitRepeatedly(benchmark::State &state, const DxfDrawing &drawing,
                   const QVector<QPointF> &trace, const QPointF &tracePoint)
{
    double angle = 0.0;
    for (auto _ : state) {
        DrawingFit fit(drawing, trace, tracePoint, 1.0);
        fit.fitRotation();
        fit.fitTranslation();
        fit.refine();
        angle = fit.angle();
        // The const form: the read-write form of this marker miscompiles a double under GCC.
        benchmark::DoNotOptimize(fit.angle());
    }
    if (std::abs(angle - 3.0) > 0.01)
        state.SkipWithError("the fit did not find the turn of 3 degrees");
}

// A profile of 50 entities, alternating straight stretches and fillet arcs, 50 mm long, and 10^4
// contour points on it turned by 3° and shifted by (0.2, 0.1) mm; the fit starts from the
// corner pick.
void BM_FitTenThousandPointsToFiftyEntities(benchmark::State &state)
{
    DxfDrawing drawing;
    QVector<QPointF> exact;
    QPointF at(0, 0);
    for (int i = 0; i < 25; ++i) {
        const QPointF next = at + QPointF(1.5, (i % 2 ? 0.4 : -0.3));
        drawing.append(DxfEntity::line(at, next));
        const QPointF centre = next + QPointF(0, i % 2 ? -0.25 : 0.25);
        drawing.append(DxfEntity::arc(centre, 0.25, i % 2 ? 0 : 270, i % 2 ? 90 : 360));
        at = centre + QPointF(0.25, 0);
    }
    for (int i = 0; i < drawing.size(); ++i) {
        const DxfEntity e = drawing.entity(i);
        for (int k = 0; k < 200; ++k) {
            exact << (e.kind == DxfEntity::Line
                          ? e.start + (e.end - e.start) * (k / 199.0)
                          : e.pointAtAngle(e.startAngle + e.spanAngle * k / 199.0));
        }
    }
    const QPointF pivot(10, 0);
    const QPointF shift(0.2, 0.1);
    QVector<QPointF> trace;
    for (const QPointF &p : exact)
        trace << transformed(p, 3.0, pivot, shift);
    const QPointF corner = drawing.entity(10).start;
    // The click takes a trace point 5 µm from the corner.
    const QPointF tracePoint = transformed(corner + QPointF(0.005, 0), 3.0, pivot, shift);
    drawing.translate(tracePoint.x() - corner.x(), tracePoint.y() - corner.y());

    fitRepeatedly(state, drawing, trace, tracePoint);
    state.counters["points"] = trace.size();
    state.counters["entities"] = drawing.size();
}
BENCHMARK(BM_FitTenThousandPointsToFiftyEntities)->Unit(benchmark::kMillisecond);

// Resident memory of the process, in bytes.
double residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    double pages = 0;
    double resident = 0;
    statm >> pages >> resident;
    return resident * 4096.0;
}

// The peak of the resident memory since the last resetPeakResident(), in bytes.
double peakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        double kilobytes = 0;
        if (key == "VmHWM:" && status >> kilobytes)
            return kilobytes * 1024.0;
        status.ignore(1 << 10, '\n');
    }
    return 0;
}

void resetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The contour of the drawings below, in millimetres: 100 mm long, a wave of 2 mm.
QPointF contourPoint(double x)
{
    return QPointF(x, 2.0 * std::sin(x / 3.0) + 0.5 * std::sin(x * 1.7));
}

// One LWPOLYLINE of `vertices` vertices along the contour, the numbers as short as a CAD program
// writes them.
QByteArray polylineDxf(int vertices)
{
    QByteArray out;
    out.reserve(vertices * 24 + 200);
    pair(out, 0, "SECTION");
    pair(out, 2, "ENTITIES");
    pair(out, 0, "LWPOLYLINE");
    pair(out, 100, "AcDbPolyline");
    pair(out, 90, QByteArray::number(vertices));
    pair(out, 70, "0");
    for (int i = 0; i < vertices; ++i) {
        const QPointF p = contourPoint(100.0 * i / (vertices - 1));
        out += "10\n";
        out += QByteArray::number(p.x(), 'g', 8);
        out += "\n20\n";
        out += QByteArray::number(p.y(), 'g', 8);
        out += '\n';
    }
    pair(out, 0, "ENDSEC");
    pair(out, 0, "EOF");
    return out;
}

// Reads a drawing of one long polyline and reports what it holds per vertex: after the read
// (the drawing alone) and at the peak of the read (file text, parsing and drawing).
void BM_PolylineBytesPerVertex(benchmark::State &state)
{
    const int vertices = int(state.range(0));
    const QByteArray bytes = polylineDxf(vertices);
    double held = 0;
    double peak = 0;
    for (auto _ : state) {
        const double before = residentBytes();
        resetPeakResident();
        DxfReadResult result = readDxf(bytes, 1.0);
        held = residentBytes() - before;
        peak = peakResidentBytes() - before;
        if (result.drawing.size() != vertices - 1)
            state.SkipWithError("the polyline did not load whole");
        benchmark::DoNotOptimize(result.drawing.size());
    }
    state.counters["file bytes/vertex"] = bytes.size() / double(vertices);
    state.counters["held bytes/vertex"] = held / vertices;
    state.counters["peak bytes/vertex"] = peak / vertices;
}
BENCHMARK(BM_PolylineBytesPerVertex)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The drawing of one polyline of `vertices` vertices, read once per size.
const DxfDrawing &polylineDrawing(int vertices)
{
    static std::map<int, DxfDrawing> cache;
    auto it = cache.find(vertices);
    if (it == cache.end())
        it = cache.emplace(vertices, readDxf(polylineDxf(vertices), 1.0).drawing).first;
    return it->second;
}

// Replot of an 800 x 600 plot that shows a polyline drawing: all of it (zoom 1) or a part
// (zoom 30, where blocks of segments no longer fall within a pixel; zoom 1000: a thousandth of
// its width). Arguments: vertices, zoom.
void BM_ReplotPolylineDrawing(benchmark::State &state)
{
    const int vertices = int(state.range(0));
    const double zoom = double(state.range(1));
    const DxfDrawing &drawing = polylineDrawing(vertices);
    Plot plot;
    plot.resize(800, 600);
    plot.show();
    QApplication::processEvents();
    DxfPlotItems items(&plot);
    items.show(drawing);
    const double mid = 50.0;
    const double half = 52.0 / zoom;
    plot.xAxis->setRange(mid - half, mid + half);
    plot.yAxis->setRange(-4.0, 4.0);
    plot.replot(QCustomPlot::rpImmediateRefresh);
    for (auto _ : state)
        plot.replot(QCustomPlot::rpImmediateRefresh);
    state.counters["plot items"] = plot.itemCount();
    state.SetLabel(zoom > 1 ? "zoomed" : "full view");
}
BENCHMARK(BM_ReplotPolylineDrawing)
    ->Args({100000, 1})
    ->Args({1000000, 1})
    ->Args({10000000, 1})
    ->Args({10000000, 30})
    ->Args({10000000, 1000})
    ->Unit(benchmark::kMillisecond);

// Memory the plot objects of a polyline drawing add to the drawing itself, per vertex, after
// they are made and the plot is drawn once; and the time to show the drawing.
void BM_PlotBytesPerVertex(benchmark::State &state)
{
    const int vertices = int(state.range(0));
    const DxfDrawing &drawing = polylineDrawing(vertices);
    Plot plot;
    plot.resize(800, 600);
    plot.show();
    QApplication::processEvents();
    plot.xAxis->setRange(-2.0, 102.0);
    plot.yAxis->setRange(-4.0, 4.0);
    double held = 0;
    double own = 0;
    for (auto _ : state) {
        const double before = residentBytes();
        DxfPlotItems items(&plot);
        items.show(drawing);
        plot.replot(QCustomPlot::rpImmediateRefresh);
        held = residentBytes() - before;
        own = items.item()->ownBytes();
    }
    state.counters["held bytes/vertex"] = held / vertices;
    // What the item keeps beside the drawing it shares.
    state.counters["item bytes/vertex"] = own / vertices;
}
BENCHMARK(BM_PlotBytesPerVertex)
    ->Arg(100000)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// 200 points near the contour, 0.5 mm apart, each a little off it.
QVector<QPointF> pointsNearContour(int count)
{
    QVector<QPointF> points;
    for (int i = 0; i < count; ++i)
        points << contourPoint(0.25 + 99.5 * i / count) + QPointF(0.003, -0.002 * (i % 5));
    return points;
}

// One sum of the distances of 200 points to a drawing of one long polyline, as the fit's first
// evaluation makes it (no hints yet); the first sum builds the drawing's distance grid.
void BM_DistanceSumOnPolylineDrawing(benchmark::State &state)
{
    const int vertices = int(state.range(0));
    const DxfReadResult result = readDxf(polylineDxf(vertices), 1.0);
    const QVector<QPointF> points = pointsNearContour(200);
    double first = 0;
    {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(result.drawing.distanceSum(points));
        first = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(result.drawing.distanceSum(points));
    state.counters["first sum ms"] = first;
    state.counters["entities"] = result.drawing.size();
}
BENCHMARK(BM_DistanceSumOnPolylineDrawing)
    ->Arg(100000)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond);

// Drawings whose segments lie across each other over the contour's area (x -2 to 102 mm, y -4
// to 4 mm), so that the bounds of almost every segment hold most of the drawing:
//   grid: whole-width rows and whole-height columns, a row and a column in turn;
//   zigzag: one polyline of long strokes from side to side, rising and falling in turn.
enum Overlap { Grid, Zigzag };

DxfDrawing overlappingDrawing(Overlap shape, int segments)
{
    DxfDrawing drawing;
    QPointF at(-2, -4);
    for (int i = 0; i < segments; ++i) {
        const double f = double(i / 2 * 2) / segments;
        if (shape == Grid) {
            drawing.append(
                i % 2 ? DxfEntity::line(QPointF(-2 + 104 * f, -4), QPointF(-2 + 104 * f, 4))
                      : DxfEntity::line(QPointF(-2, -4 + 8 * f), QPointF(102, -4 + 8 * f)));
        } else {
            const QPointF next(i % 2 ? -2 : 102, -4 + 4 * f + (i % 2 ? 0 : 4));
            drawing.append(DxfEntity::line(at, next));
            at = next;
        }
    }
    drawing.squeeze();
    return drawing;
}

const char *overlapName(Overlap shape)
{
    return shape == Grid ? "grid" : "zigzag";
}

// One sum of the distances of 200 points near the contour to an overlapping drawing, as the
// fit's first evaluation makes it; the first sum builds the drawing's tree. Arguments: shape,
// segments.
void BM_DistanceSumOnOverlappingDrawing(benchmark::State &state)
{
    const Overlap shape = Overlap(state.range(0));
    const DxfDrawing drawing = overlappingDrawing(shape, int(state.range(1)));
    const QVector<QPointF> points = pointsNearContour(200);
    double first = 0;
    {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(drawing.distanceSum(points));
        first = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(drawing.distanceSum(points));
    state.counters["first sum ms"] = first;
    state.counters["entities"] = drawing.size();
    state.SetLabel(overlapName(shape));
}
BENCHMARK(BM_DistanceSumOnOverlappingDrawing)
    ->ArgNames({"shape", "segments"})
    ->Args({Grid, 100000})
    ->Args({Grid, 1000000})
    ->Args({Zigzag, 100000})
    ->Args({Zigzag, 1000000})
    ->Unit(benchmark::kMillisecond);
// 10^7 segments: a single run (the drawing alone takes 320 MB).
BENCHMARK(BM_DistanceSumOnOverlappingDrawing)
    ->ArgNames({"shape", "segments"})
    ->Args({Grid, 10000000})
    ->Args({Zigzag, 10000000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The whole fit (rotation, translation, refinement) of 2000 contour points to an overlapping
// drawing, from a pick at the middle of the contour. Arguments: shape, segments.
void BM_FitToOverlappingDrawing(benchmark::State &state)
{
    const Overlap shape = Overlap(state.range(0));
    const DxfDrawing drawing = overlappingDrawing(shape, int(state.range(1)));
    QVector<QPointF> trace;
    for (int i = 0; i < 2000; ++i)
        trace << contourPoint(5.0 + 90.0 * i / 1999.0);
    const QPointF pivot = contourPoint(50);
    for (auto _ : state) {
        DrawingFit fit(drawing, trace, pivot, 1.0);
        fit.fitRotation();
        fit.fitTranslation();
        fit.refine();
        benchmark::DoNotOptimize(fit.angle());
    }
    state.counters["entities"] = drawing.size();
    state.SetLabel(overlapName(shape));
}
BENCHMARK(BM_FitToOverlappingDrawing)
    ->ArgNames({"shape", "segments"})
    ->Args({Grid, 100000})
    ->Args({Zigzag, 100000})
    ->Args({Grid, 1000000})
    ->Args({Zigzag, 1000000})
    ->Args({Grid, 10000000})
    ->Args({Zigzag, 10000000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The whole fit (rotation, translation, refinement) of 10^4 contour points, turned by 3° and
// shifted by (0.2, 0.1) mm, to a drawing of one long polyline.
void BM_FitTenThousandPointsToPolylineDrawing(benchmark::State &state)
{
    const int vertices = int(state.range(0));
    DxfDrawing drawing = readDxf(polylineDxf(vertices), 1.0).drawing;
    const QPointF pivot(50, contourPoint(50).y());
    const QPointF shift(0.2, 0.1);
    QVector<QPointF> trace;
    for (int i = 0; i < 10000; ++i)
        trace << transformed(contourPoint(5.0 + 90.0 * i / 9999.0), 3.0, pivot, shift);
    const QPointF tracePoint = transformed(pivot, 3.0, pivot, shift);
    drawing.translate(tracePoint.x() - pivot.x(), tracePoint.y() - pivot.y());
    fitRepeatedly(state, drawing, trace, tracePoint);
    state.counters["entities"] = drawing.size();
}
BENCHMARK(BM_FitTenThousandPointsToPolylineDrawing)
    ->Arg(100000)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// A change of unit and back with a placed drawing of one long polyline: the drawing is scaled
// to micrometres and a deviation's first sum over 200 points is taken, then back to millimetres
// and another sum, once per iteration.
void BM_UnitChangeOnPolylineDrawing(benchmark::State &state)
{
    DxfDrawing drawing = polylineDrawing(int(state.range(0)));
    QVector<QPointF> points = pointsNearContour(200);
    benchmark::DoNotOptimize(drawing.distanceSum(points));
    for (auto _ : state) {
        for (double k : {1000.0, 1e-3}) {
            drawing.rescale(k);
            for (QPointF &p : points)
                p *= k;
            benchmark::DoNotOptimize(drawing.distanceSum(points));
        }
    }
    state.counters["entities"] = drawing.size();
}
BENCHMARK(BM_UnitChangeOnPolylineDrawing)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// A levelling and its reset with a placed drawing: the drawing turns by 0.3° about a point of
// the contour and shifts with the traces, a deviation's first sum over 200 points is taken, then
// the reset moves it back and another sum is taken, once per iteration (its time is that of
// both). Arguments: shape (0 a smooth polyline, 1 a grid), segments.
// Levelling and first sum, 6 free cores: polyline 10^6 33 -> 4.2 ms, 10^7 646 -> 26 ms; grid
// 10^6 136 -> 4.8 ms, 10^7 3400 -> 28 ms (the tree built anew, then kept with the motion).
void BM_LevellingOnDrawing(benchmark::State &state)
{
    const bool grid = state.range(0) == 1;
    const int segments = int(state.range(1));
    DxfDrawing drawing = grid ? overlappingDrawing(Grid, segments) : polylineDrawing(segments);
    QVector<QPointF> points = pointsNearContour(200);
    // Storage of its own (a copy shares the cached drawing's), and the tree of the placed drawing.
    drawing.translate(0.0, 0.0);
    benchmark::DoNotOptimize(drawing.distanceSum(points));
    const QPointF pivot(50.0, 0.0);
    const double degrees = 0.3;
    const double c = std::cos(degrees * M_PI / 180.0);
    const double s = std::sin(degrees * M_PI / 180.0);
    const auto turn = [&pivot](const QPointF &p, double c, double s, const QPointF &shift) {
        const QPointF d = p - pivot;
        return pivot + QPointF(d.x() * c - d.y() * s, d.x() * s + d.y() * c) + shift;
    };
    const QPointF shift(0.01, -0.02);
    double first = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        drawing.rotate(degrees, pivot);
        drawing.translate(shift.x(), shift.y());
        for (QPointF &p : points)
            p = turn(p, c, s, shift);
        benchmark::DoNotOptimize(drawing.distanceSum(points));
        if (first == 0)
            first = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now()
                                                              - start)
                        .count();
        drawing.translate(-shift.x(), -shift.y());
        drawing.rotate(-degrees, pivot);
        for (QPointF &p : points)
            p = turn(p - shift, c, -s, QPointF());
        benchmark::DoNotOptimize(drawing.distanceSum(points));
    }
    state.counters["levelling and first sum ms"] = first;
    state.counters["entities"] = drawing.size();
    state.SetLabel(grid ? "grid" : "polyline");
}
BENCHMARK(BM_LevellingOnDrawing)
    ->ArgNames({"shape", "segments"})
    ->Args({0, 1000000})
    ->Args({0, 10000000})
    ->Args({1, 1000000})
    ->Args({1, 10000000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// How soon a fit stops after its progress says so: the fit of 10^4 contour points to a polyline
// of 5·10^6 vertices (its tree built before) is stopped 200 ms in, from another thread, and the
// time until the fit returns is the latency.
void BM_StopFitToPolylineDrawing(benchmark::State &state)
{
    const DxfDrawing &drawing = polylineDrawing(5000000);
    const QPointF pivot(50, contourPoint(50).y());
    QVector<QPointF> trace;
    for (int i = 0; i < 10000; ++i)
        trace << transformed(contourPoint(5.0 + 90.0 * i / 9999.0), 3.0, pivot, QPointF(0.2, 0.1));
    benchmark::DoNotOptimize(drawing.distanceTo(pivot));
    double worst = 0.0;
    for (auto _ : state) {
        std::atomic<bool> stop {false};
        std::atomic<qint64> stoppedAt {0};
        DrawingFit fit(drawing, trace, pivot, 1.0);
        fit.setProgress([&stop](double) { return !stop.load(); });
        std::thread stopper([&stop, &stoppedAt] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            stoppedAt = std::chrono::steady_clock::now().time_since_epoch().count();
            stop = true;
        });
        fit.fitAll();
        const auto ended = std::chrono::steady_clock::now().time_since_epoch().count();
        stopper.join();
        const double latency = (ended - stoppedAt.load()) / 1e6;
        worst = std::max(worst, latency);
        state.SetIterationTime(std::max(latency, 0.0) / 1000.0);
        if (!fit.stopped())
            state.SkipWithError("the fit ended before it was stopped");
    }
    state.counters["worst latency ms"] = worst;
}
BENCHMARK(BM_StopFitToPolylineDrawing)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// 10^5 ellipses of a 1 m major axis in about 4.5 MB: each would be measured as some 10^4
// points, so only the first couple of hundred fit within the limit on ellipse points.
QByteArray ellipseFile()
{
    QByteArray out;
    pair(out, 0, "SECTION");
    pair(out, 2, "ENTITIES");
    for (int i = 0; i < 100000; ++i) {
        out += "0\nELLIPSE\n100\nAcDbEllipse\n10\n";
        out += QByteArray::number(i % 1000);
        out += "\n20\n0\n11\n1000\n21\n0\n40\n0.5\n";
    }
    pair(out, 0, "ENDSEC");
    pair(out, 0, "EOF");
    return out;
}

void BM_ReadEllipseFile(benchmark::State &state)
{
    readRepeatedly(state, ellipseFile(), 1.0, "kept");
}
BENCHMARK(BM_ReadEllipseFile)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    // The searches report their progress on the debug output.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    // The plot benchmarks draw on an offscreen window.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
