#pragma once

#include "core/AbstractTrace.h"

#include <utility>

// Joining of two traces whose ends overlap: the start of the right trace is laid onto the end of
// the left trace and the points of both become one point set.
//
// The offset is found in two stages. A coarse offset puts the first point of the right overlap
// onto the first point of the left overlap; a refinement then minimises the summed distance of
// the (thinned) right overlap to the (full-density) left overlap by alternating pattern searches
// in X and in Y. Only channels 0 (X) and 1 (Y) of the processed data are read, in micrometres;
// neither trace is changed. Point sets here are TData of two channels, [0] X and [1] Y.

// Joins the traces with an overlap given in millimetres. The result is empty (no channels) when
// the join is impossible: an overlap that is not positive, a left trace of fewer than two points,
// an empty overlap part on either side (for example an empty right trace), or an X or Y of either
// trace that is not a finite number (logged as a warning).
TData uniteTraces(const AbstractTrace &left, const AbstractTrace &right, double overlap);

// The overlap parts (P, Q) for an overlap length in micrometres: P holds every left point but
// the first that lies less than `length` before the left trace's last X, in trace order; Q every
// right point less than `length` beyond the right trace's first X.
std::pair<TData, TData> cutUniteOverlaps(const AbstractTrace &left, const AbstractTrace &right,
                                         double length);

// Thins a part to about one point per hundredth of `length`: the k-th point taken lies at least
// k * length / 100 beyond the first point in X. The first point is always taken.
TData prepareUniteOverlap(const TData &part, double length);

// Sum over the moving points of the Euclidean distance to the nearest reference point. Every
// moving point contributes sqrt(DBL_MAX) when the reference is empty; an empty moving set gives 0.
double summedCurveDistance(const TData &reference, const TData &moving);

// Pattern search along one coordinate (0 X, 1 Y) of the moving set, which is left at the
// position found. Returns (shift, smallest summed distance reached); a set holding a value that is
// not finite is not searched: (0, NaN).
std::pair<double, double> searchUniteOffset(TData &moving, const TData &reference, int coordinate);

// Alternating X and Y searches until a pass leaves the error unchanged to three decimals.
// Moves `moving` and returns the total (X shift, Y shift); a set holding a value that is not
// finite is not searched: (0, 0), `moving` unchanged.
std::pair<double, double> refineUniteOffset(const TData &reference, TData &moving);

// The left points that lie strictly before the first X of the shifted right set, in order,
// followed by every point of the right set. An empty right set keeps every left point.
TData mergeUnitedPoints(const TData &left, const TData &shiftedRight);
