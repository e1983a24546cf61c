#pragma once

#include "measurements/Intersections.h"

class Measurement;

// The crossings of two construction measurements, in plot coordinates, from the geometry the
// measurements give (Measurement::constructionCircle, Measurement::lineCoefficients). Which
// argument is the circle or the vertical line is told by its kind; a measurement that gives no
// such geometry yields no point.

QList<QPointF> intersectCircles(Measurement *a, Measurement *b);
QList<QPointF> intersectVerticalAndLine(Measurement *a, Measurement *b);
QList<QPointF> intersectVerticalAndCircle(Measurement *a, Measurement *b);
QList<QPointF> intersectLineAndCircle(Measurement *a, Measurement *b);
QList<QPointF> intersectLineAndLine(Measurement *a, Measurement *b);

// The crossings of the pair by the routine that their kinds call for; none for any other pair.
QList<QPointF> intersectMeasurements(Measurement *a, Measurement *b);
