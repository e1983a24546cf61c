#pragma once

#include "core/AbstractTrace.h"

#include <QString>

#include <utility>

// Joining of two traces whose ends overlap: the start of the right trace is laid onto the end of
// the left trace and the points of both become one point set.
//
// The offset is found in two stages. A coarse offset puts the first point of the right overlap
// onto the first point of the left overlap; a refinement then minimises the summed distance of
// the (thinned) right overlap to the (full-density) left overlap by alternating pattern searches
// in X and in Y. Only channels 0 (X) and 1 (Y) of the processed data are read, in micrometres;
// neither trace is changed. Point sets here are TData of two channels, [0] X and [1] Y.

// Why a join was refused.
enum class UniteRefusal {
    None,
    // The overlap is not a positive length.
    OverlapNotPositive,
    // The left trace has fewer than two points.
    TooFewPoints,
    // An X or Y of either trace is not a finite number.
    ValueNotFinite,
    // An overlap part is empty (for example that of an empty right trace).
    NoOverlap,
    // The offset search did not settle within the work it may do.
    NoOffset
};

// Joins the traces with an overlap given in millimetres. The result is empty (no channels) when
// the join is refused; the reason is logged as a warning and given in *refusal (None for a
// join). The offset search ends on any input: it looks at a bounded number of reference points,
// and a search that has not settled by then refuses the join.
TData uniteTraces(const AbstractTrace &left, const AbstractTrace &right, double overlap,
                  UniteRefusal *refusal = nullptr);

// The reason of a refused join, in Russian for the user and in English for the log.
QString uniteRefusalText(UniteRefusal refusal);
const char *uniteRefusalLogText(UniteRefusal refusal);

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
// position found (its starting values plus the shift). Returns (shift, smallest summed distance
// reached); a set holding a value that is not finite is not searched: (0, NaN).
std::pair<double, double> searchUniteOffset(TData &moving, const TData &reference, int coordinate);

// Alternating X and Y searches until a pass leaves the error unchanged to three decimals.
// Moves `moving` and returns the total (X shift, Y shift); a set holding a value that is not
// finite is not searched: (0, 0), `moving` unchanged. *settled (when given) turns false when the
// searches ran out of work before they settled; the shifts are then those reached.
std::pair<double, double> refineUniteOffset(const TData &reference, TData &moving,
                                            bool *settled = nullptr);

// The left points that lie strictly before the first X of the shifted right set, in order,
// followed by every point of the right set. An empty right set keeps every left point.
TData mergeUnitedPoints(const TData &left, const TData &shiftedRight);
