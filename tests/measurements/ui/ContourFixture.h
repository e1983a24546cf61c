#pragma once

#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"

#include <QApplication>
#include <QVector>

#include <memory>

// A contour plot of a known size, shown, with trace curves registered before anything else.
struct ContourFixture
{
    std::unique_ptr<Plot> plot = std::make_unique<Plot>();
    QVector<QCPCurve *> traces;

    ContourFixture(double xMax = 10.0, double yMax = 10.0)
    {
        plot->resize(800, 600);
        plot->xAxis->setRange(0, xMax);
        plot->yAxis->setRange(0, yMax);
        plot->show();
        plot->replot();
        QApplication::processEvents();
    }

    // A trace curve through the given points.
    QCPCurve *addTrace(const QVector<QPointF> &points)
    {
        auto *curve = new AdaptiveCurve(plot->xAxis, plot->yAxis);
        QVector<double> keys;
        QVector<double> values;
        for (const QPointF &p : points) {
            keys.append(p.x());
            values.append(p.y());
        }
        curve->setData(keys, values);
        traces.append(curve);
        plot->replot();
        return curve;
    }

    // A straight trace of n points from (x0, y0) by (dx, dy) per point.
    QCPCurve *addLine(double x0, double y0, double dx, double dy, int n)
    {
        QVector<QPointF> points;
        for (int i = 0; i < n; ++i)
            points.append(QPointF(x0 + i * dx, y0 + i * dy));
        return addTrace(points);
    }

    QPoint pixel(double x, double y) const
    {
        return QPointF(plot->xAxis->coordToPixel(x), plot->yAxis->coordToPixel(y)).toPoint();
    }
};
