#pragma once

#include "ContourFixture.h"
#include "MeasurementDouble.h"
#include "measurements/ui/MeasurementsManager.h"
#include "measurements/ui/PlotSegmentSelection.h"
#include "measurements/ui/ReperPoint.h"

#include <memory>

// A contour plot with two trace curves and a measurements manager that builds measurement
// doubles instead of the real kinds.
struct ManagerFixture : ContourFixture
{
    std::unique_ptr<MeasurementsManager> manager;
    MeasurementDouble::Finish finishing = MeasurementDouble::Finish::OnDemand;
    MeasurementArgs lastArgs;
    int created = 0;

    ManagerFixture()
    {
        // Traces along y = 2 and y = 6 with a point every 0.1 from x = 0 to 10, several pixels
        // apart, so that a drag reaches exact indices.
        addLine(0, 2, 0.1, 0, 101);
        addLine(0, 6, 0.1, 0, 101);
        manager = std::make_unique<MeasurementsManager>(plot.get(), plot.get());
        manager->setTraces(QVector<AbstractTrace *>(2, nullptr));
        manager->setFactory([this](int kind, const MeasurementArgs &args) -> Measurement * {
            lastArgs = args;
            ++created;
            auto *m = new MeasurementDouble(kind, args.plot, finishing);
            if (!args.coefficients.isEmpty()) {
                // A parallel copy is finished at birth, before anything is connected to it.
                m->coefficients = args.coefficients;
                m->complete();
            }
            return m;
        });
    }

    ~ManagerFixture() { manager.reset(); }

    // Chooses the tool and builds a measurement of it as a press on the plot would.
    MeasurementDouble *start(E_MEASUREMENTS kind, bool listed = true, bool showReperPoints = false,
                             const QString &parameter = QString())
    {
        manager->setMeasurementType(kind, listed, showReperPoints, parameter);
        const int before = created;
        manager->createMeasurement(plot.get());
        manager->connectMeasurement();
        if (created == before)
            return nullptr;
        return static_cast<MeasurementDouble *>(manager->currentMeasurement());
    }

    QList<Measurement *> listed() const
    {
        const std::list<Measurement *> &l = manager->measurementList();
        return QList<Measurement *>(l.cbegin(), l.cend());
    }
};
