#pragma once

#include "contour/ContourAnalisisWidget.h"
#include "contour/MeasurementTreeWidget.h"
#include "core/ContourTrace.h"
#include "measurements/ui/MeasurementDouble.h"
#include "measurements/ui/MeasurementsManager.h"
#include "plot/Plot.h"

#include <QApplication>
#include <QPushButton>
#include <QtTest>

#include <memory>

// A contour trace through the points (micrometres), of the given kind.
inline ContourTrace *makeTrace(const QVector<QPointF> &points, int type = CONTOUR, int id = 0)
{
    TData columns(3);
    for (const QPointF &p : points) {
        columns[0].append(p.x());
        columns[1].append(p.y());
        columns[2].append(0.0);
    }
    auto *trace = new ContourTrace(columns);
    trace->setType(type);
    trace->id = id;
    return trace;
}

// A straight trace of n points from (x0, y0) by (dx, dy) per point.
inline ContourTrace *makeLine(double x0, double y0, double dx, double dy, int n, int type = CONTOUR,
                              int id = 0)
{
    QVector<QPointF> points;
    for (int i = 0; i < n; ++i)
        points.append(QPointF(x0 + i * dx, y0 + i * dy));
    return makeTrace(points, type, id);
}

// A measurement double with a fixed value and unit, which shows what the report did to it.
class ValueMeasurement : public MeasurementDouble
{
public:
    ValueMeasurement(int kind, Plot *plot, double v, Finish finishing)
        : MeasurementDouble(kind, plot, finishing)
        , fixed(v)
    { }
    double value() const override { return fixed; }
    QString valueText() const override { return QString::number(fixed, 'f', 3) + " мм"; }
    void setLargeLabel(bool on) override { large = on; }
    void updateLabel() override { shownLabel = labelText; }
    void calculate() override
    {
        MeasurementDouble::calculate();
        shownLabel = labelText;
    }
    double fixed;
    bool large = false;
    QString shownLabel;
};

// A shown measurement window on traces, whose manager builds value measurements that finish on
// the first left release.
struct ContourWindowFixture
{
    std::unique_ptr<ContourAnalisisWidget> window;
    QVector<AbstractTrace *> given;
    QList<double> values; // the values of the measurements built next, in order
    MeasurementArgs lastArgs;
    int created = 0;

    explicit ContourWindowFixture(const QVector<AbstractTrace *> &traces, bool calibration = false)
        : window(std::make_unique<ContourAnalisisWidget>(nullptr, calibration))
        , given(traces)
    {
        window->resize(1200, 800);
        window->setTraces(traces);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("the window was not exposed");
        window->plot()->replot();
        window->manager()->setFactory([this](int kind, const MeasurementArgs &args) {
            lastArgs = args;
            ++created;
            const double v = values.isEmpty() ? 1.0 : values.takeFirst();
            return new ValueMeasurement(kind, args.plot, v, MeasurementDouble::Finish::OnRelease);
        });
    }
    ~ContourWindowFixture()
    {
        window.reset();
        qDeleteAll(given);
    }

    template<class T = QPushButton>
    T *child(const char *name) const
    {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qWarning("no child %s", name);
        return found;
    }

    // Opens the frame of the action and clicks the button, as the operator does.
    void chooseTool(const char *action, const char *button)
    {
        child<QAction>(action)->setChecked(true);
        child(button)->click();
    }

    QList<Measurement *> listed() const
    {
        const std::list<Measurement *> &l = window->manager()->measurementList();
        return QList<Measurement *>(l.cbegin(), l.cend());
    }
};
