#include "measurements/DrawingFit.h"
#include "measurements/DxfReader.h"

#include <QByteArray>
#include <QLoggingCategory>

#include <benchmark/benchmark.h>

#include <cmath>

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

void BM_ReadTenMegabyteDxf(benchmark::State &state)
{
    const QByteArray bytes = tenMegabyteDxf();
    int entities = 0;
    for (auto _ : state) {
        const DxfReadResult result = readDxf(bytes, 1000.0);
        entities = result.drawing.size();
        benchmark::DoNotOptimize(result.drawing.size());
    }
    state.counters["MB"] = bytes.size() / double(1 << 20);
    state.counters["entities"] = entities;
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
    for (const DxfEntity &e : drawing.entities()) {
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
    state.counters["points"] = trace.size();
    state.counters["entities"] = drawing.size();
}
BENCHMARK(BM_FitTenThousandPointsToFiftyEntities)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    // The searches report their progress on the debug output.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
