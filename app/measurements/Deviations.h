#pragma once

#include <QPointF>
#include <QVector>

// The arithmetic of the deviation measurements: the band a deviation graph is drawn in, the
// moving median of the filtered circle deviations, the laying of a circle of given radius
// against a profile and the polar graph. Plain functions over copies of the selected points.

// The deviations mapped linearly into the band [base, base + height]: the smallest to base, the
// largest to base + height. When all are equal (or there is only one) they lie in the middle of
// the band. Values that are not finite stay not finite.
QVector<double> mapIntoBand(const QVector<double> &deviations, double base, double height);

// The smallest and the largest value; false (and both left alone) for no values or a value that
// is not finite.
bool valueRange(const QVector<double> &values, double *lowest, double *highest);

// A trailing moving median over x: out[i] is the element at position m / 2 (rounded down) of
// values[lo .. i] in ascending order, m being their number (the upper of the two middle values
// when m is even), where lo, which never moves back, is the first index whose x lies within width
// of xs[i], in either direction along x. A NaN value counts as infinity. Empty when either vector
// is empty or their sizes differ.
QVector<double> movingMedian(const QVector<double> &xs, const QVector<double> &values,
                             double width);

// The sum over the points of |radius − distance to centre|.
double radialMisfit(const QVector<QPointF> &points, const QPointF &centre, double radius);

// The centre near start that makes the circle of the given radius fit the points best (least
// radialMisfit), found by a compass search: from a step of radius / 10, the centre moves to the
// best of its four neighbours one step away along x and y whenever that lowers the misfit
// strictly, otherwise the step is halved, until it is radius · 1e-5 or less. At most
// kMaxCompassMoves moves are made. A radius that is not above 0, a start or a misfit that is not
// finite leave the centre at start.
QPointF refineCentre(const QVector<QPointF> &points, const QPointF &start, double radius);
constexpr int kMaxCompassMoves = 2000;

// Moves the centre along y until the circle of the given radius rests against the points from
// the centre's side: with the centre above most of the points (a hollow) to the lowest height at
// which every point still lies outside the circle, with the centre below most of them (a crest)
// to the highest. The steps start at radius / 10 and are halved down to radius · 1e-5. Returns
// false, with the centre back at its start, when the circle cannot rest on the points: it passes
// between them beyond every point, or kMaxSettleSteps steps did not settle it. A radius that is
// not above 0 changes nothing and counts as settled.
bool settleCentre(const QVector<QPointF> &points, QPointF &centre, double radius);
constexpr int kMaxSettleSteps = 2000;

// The polar deviation graph round a circle: the point of index i lies on the ray from the
// centre through points[i], at the distance radius + height · (1 − v), v being deviation i
// mapped from [lowest, highest] to [0, 1] (0 for all when they are equal). Point i pairs with
// deviation i as far as both reach.
QVector<QPointF> polarGraphPoints(const QVector<QPointF> &points, const QVector<double> &deviations,
                                  const QPointF &centre, double radius, double height);
