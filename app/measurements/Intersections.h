#pragma once

#include <QList>
#include <QPointF>

// Where two pieces of construction geometry cross, in plot coordinates. Each routine returns
// no point, one point (the curves touch) or two points, in the order given with it. Any input
// that is not a finite number gives no point.

struct CircleShape
{
    double cx = 0.0;
    double cy = 0.0;
    double r = 0.0;
};

// The line y = k·x + b.
struct LineShape
{
    double k = 0.0;
    double b = 0.0;
};

// Two circles: none when they lie apart, one inside the other, or share their centre; one point
// when they touch; otherwise two, first the one to the right of the direction from a's centre
// to b's centre.
QList<QPointF> intersectCircles(const CircleShape &a, const CircleShape &b);

// The vertical line x = xv and a line: always one point, (xv, k·xv + b).
QList<QPointF> intersectVerticalAndLine(double xv, const LineShape &line);

// The vertical line x = xv and a circle: two points, the upper one first; one point (xv, cy)
// when the line touches the circle; none when it passes by.
QList<QPointF> intersectVerticalAndCircle(double xv, const CircleShape &circle);

// A line and a circle: two points, the one with the smaller x first; one point when the line
// touches the circle; none when it passes by.
QList<QPointF> intersectLineAndCircle(const LineShape &line, const CircleShape &circle);

// Two lines: one point; none when their slopes are equal (parallel or identical lines).
QList<QPointF> intersectLineAndLine(const LineShape &a, const LineShape &b);
