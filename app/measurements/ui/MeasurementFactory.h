#pragma once

#include "measurements/MeasurementKinds.h"

#include <QPointF>
#include <QVector>

#include <functional>

class AbstractTrace;
class DxfDrawing;
class Measurement;
class Plot;
class QWidget;

// What a kind's constructor may need besides the plot.
struct MeasurementArgs
{
    Plot *plot = nullptr;
    // Parent of the dialogs a kind opens (text placement, drawing import).
    QWidget *parent = nullptr;
    // The radius typed for kinds 14 and 23 (display unit, above 0).
    double radius = 0.0;
    // The number of ranges typed for kinds 16 and 17 (at least 2).
    int count = 0;
    // The traces of the contour window, for the roughness kinds; owned by the window.
    QVector<AbstractTrace *> traces;
    // Where the two-range levelling stores its angle and centre (kind 10).
    double *levelAngle = nullptr;
    QPointF *levelCentre = nullptr;
    // The drawing the deviation from the drawing (kind 34) is measured against, asked at every
    // calculation: null while no drawing is imported.
    std::function<const DxfDrawing *()> drawing;
    // For kinds 24, 25 and 26: when not empty, the {k, b} of a finished parallel copy, built by
    // the kind's parallel-line constructor.
    QVector<double> coefficients;
};

using MeasurementCreator = Measurement *(*)(const MeasurementArgs &args);

// The creator of one kind. A kind defines its specialisation beside its class:
//
//     template<>
//     Measurement *createMeasurementKind<CLICK_POINT>(const MeasurementArgs &args)
//     {
//         return new ClickPoint(args.plot);
//     }
//
// and names it in its line of the creators table in MeasurementFactory.cpp.
template<int Kind>
Measurement *createMeasurementKind(const MeasurementArgs &args);

// The creator of a kind; null for NO_MEASUREMENT and for a kind that does not exist yet.
MeasurementCreator measurementCreator(int kind);

// A new measurement of the kind, owned by the caller; null when the kind has no creator.
Measurement *createMeasurementOfKind(int kind, const MeasurementArgs &args);
