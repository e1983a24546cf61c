#pragma once

#include "ContourFixture.h"
#include "measurements/ui/Measurement.h"
#include "measurements/ui/MeasurementsManager.h"
#include "measurements/ui/PlotSegmentSelection.h"
#include "measurements/ui/ReperPoint.h"
#include "support/gui/PlotDriver.h"

#include <QPolygonF>
#include <QSignalSpy>
#include <QStringList>

#include <cmath>
#include <memory>

// A contour plot with the real measurements manager, driven by the mouse: the journeys of the
// measurement kinds. Statuses the manager passes on are recorded. Either give the trace curves
// to the constructor, or add them first and call manage().
struct KindFixture : ContourFixture
{
    std::unique_ptr<MeasurementsManager> manager;
    std::unique_ptr<testsupport::PlotDriver> driver;
    QStringList statuses;

    explicit KindFixture(double xMax = 10.0, double yMax = 10.0)
        : ContourFixture(xMax, yMax)
    { }

    explicit KindFixture(const QVector<QPolygonF> &curves, double xMax = 10.0, double yMax = 10.0)
        : ContourFixture(xMax, yMax)
    {
        for (const QPolygonF &curve : curves)
            addTrace(QVector<QPointF>(curve.cbegin(), curve.cend()));
        manage();
    }

    ~KindFixture() { manager.reset(); }

    // The manager, given the traces of the curves added so far (null traces by default).
    void manage(const QVector<AbstractTrace *> &traceList = {})
    {
        manager = std::make_unique<MeasurementsManager>(plot.get(), plot.get());
        manager->setTraces(traceList.isEmpty() ? QVector<AbstractTrace *>(traces.size(), nullptr)
                                               : traceList);
        manager->reperPoints()->setCursorMover([](const QPoint &) {});
        QObject::connect(manager.get(), &MeasurementsManager::statusText,
                         [this](const QString &text) { statuses.append(text); });
        driver = std::make_unique<testsupport::PlotDriver>(plot.get());
    }

    // Chooses the tool as the tool panel does.
    void tool(E_MEASUREMENTS kind, const QString &parameter = QString())
    {
        manager->setMeasurementType(kind, measurementKindInfo(kind).listed, false, parameter);
    }

    // Runs a script of mouse actions separated by ";": "m x y" moves there, "c x y" clicks
    // (left press and release), "d x0 y0 x1 y1 ..." drags from the first point through the
    // others, "p x y" presses and "r x y" releases the left button.
    void run(const QString &script)
    {
        for (const QString &step : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QStringList parts = step.simplified().split(QLatin1Char(' '));
            QVector<QPointF> points;
            for (int i = 1; i + 1 < parts.size(); i += 2)
                points.append(QPointF(parts.at(i).toDouble(), parts.at(i + 1).toDouble()));
            const QString op = parts.first();
            if (op == QLatin1String("m"))
                driver->move(points.at(0).x(), points.at(0).y());
            else if (op == QLatin1String("c"))
                driver->click(points.at(0).x(), points.at(0).y());
            else if (op == QLatin1String("p"))
                driver->press(points.at(0).x(), points.at(0).y());
            else if (op == QLatin1String("r"))
                driver->release(points.at(0).x(), points.at(0).y());
            else if (op == QLatin1String("d"))
                driver->drag(points.first(), points.mid(1));
        }
    }

    // Presses on the data point at index from of the curve, drags through the points between
    // and releases on the point at index to.
    void dragAlong(QCPCurve *curve, int from, int to, int steps = 6)
    {
        const auto at = [curve](int i) {
            const QCPCurveData &p = *(curve->data()->constBegin() + i);
            return QPointF(p.key, p.value);
        };
        QVector<QPointF> path;
        for (int s = 1; s <= steps; ++s)
            path.append(at(from + (to - from) * s / steps));
        driver->drag(at(from), path);
    }

    Measurement *current() const { return manager->currentMeasurement(); }
};

namespace kindcurves {

// n + 1 points from a to b.
inline QPolygonF segment(const QPointF &a, const QPointF &b, int n)
{
    QPolygonF points;
    for (int i = 0; i <= n; ++i)
        points.append(a + (b - a) * (double(i) / n));
    return points;
}

// A level at y = 2 up to x = 4.9 and at y = 5 from x = 5, a point every 0.1.
inline QPolygonF step()
{
    QPolygonF points;
    for (int i = 0; i <= 100; ++i)
        points.append(QPointF(i * 0.1, i < 50 ? 2.0 : 5.0));
    return points;
}

// An arc about (cx, cy) of radius r from a0 to a1 degrees, a point every degree.
inline QPolygonF arc(double cx, double cy, double r, int a0, int a1)
{
    QPolygonF points;
    for (int a = a0; a <= a1; ++a)
        points.append(
            QPointF(cx + r * std::cos(a * M_PI / 180.0), cy + r * std::sin(a * M_PI / 180.0)));
    return points;
}

// A point at distance r from origin in the direction of the given degrees.
inline QPointF polar(const QPointF &origin, double r, double degrees)
{
    return origin
        + QPointF(r * std::cos(degrees * M_PI / 180.0), r * std::sin(degrees * M_PI / 180.0));
}

} // namespace kindcurves
