#pragma once

#include <QVector>

#include <functional>
#include <utility>

// Statistics of a profile as the profile window draws it: the RMS level and the quadratic form
// line used for straightening, the amplitude histogram and the material-ratio (bearing) curve of
// the part in view, the level picked on the material-ratio curve, and the cut-off proposal after
// a recording. Plain data in, plain data out; heights and lengths in whatever unit the caller
// draws in (the cut-off rules in micrometres).
namespace ProfileStatistics {

// Root mean square of the heights: sqrt(sum of y² / n); not a number without heights.
double rmsLevel(const QVector<double> &y);

// The least-squares parabola through (x, y) evaluated at every x. False, and `line` untouched,
// when the points do not determine one (fewer than three distinct X, unequal lengths, a result
// that is not finite). X is centred and scaled before the fit so that long traces in fine units
// keep their precision.
bool quadraticLine(const QVector<double> &x, const QVector<double> &y, QVector<double> *line);

// y[i] - (line[i] - level): the form removed, the profile kept around `level`. A line of another
// length than y leaves y as it is.
QVector<double> straighten(const QVector<double> &y, const QVector<double> &line, double level);

// The ranges of a plot's view.
struct ViewRect
{
    double xLow = 0.0;
    double xHigh = 0.0;
    double yLow = 0.0;
    double yHigh = 0.0;
};

// True when x never falls (NaN-free and ascending or equal).
bool isAscending(const QVector<double> &x);

// The points [first, last) that can matter for the view's X range [low, high]: for ascending x
// the points inside plus one neighbour on each side (so a segment crossing an edge is kept),
// otherwise every point.
std::pair<int, int> visibleSpan(const QVector<double> &x, double low, double high, bool ascending);

// Lowest and highest height, folded from the first point with std::min and std::max the way the
// amplitude density does it (a leading NaN stays).
std::pair<double, double> heightExtremes(const QVector<double> &y);

// The amplitude histogram of the points strictly inside the view: the curve of
// Algos::amplitudeDensityInRect for a profile whose heights span [profileLow, profileHigh], in
// one pass over the points [first, last) instead of a sort. Points outside that index range must
// not lie inside the view (see visibleSpan). Column 0 the window middles, column 1 the share of
// the points in percent; empty (no columns) for fewer than two points inside.
QVector<QVector<double>> histogram(const QVector<double> &x, const QVector<double> &y,
                                   std::pair<int, int> span, int density, const ViewRect &view,
                                   double profileLow, double profileHigh);

constexpr int kRatioLevels = 100;

// The material-ratio curve of the view: 100 levels from the view's bottom upwards in steps of a
// hundredth of its height (the top itself is not a level), and at each the share in percent of
// the profile's length along X, inside the view's X range, where the profile (joined linearly
// between its points) lies at or above the level. Heights above or below the view still count
// as material or void. Segments with a NaN end take no part. Empty when the profile has no
// length inside the view or the view has no height.
struct RatioCurve
{
    QVector<double> levels;
    QVector<double> ratios;
};
RatioCurve materialRatio(const QVector<double> &x, const QVector<double> &y,
                         std::pair<int, int> span, const ViewRect &view);

// The level of the curve point picked by a click at (ratio, height): walking the points in order,
// a later point replaces the kept one only when it is strictly nearer in height and strictly
// nearer in ratio. 0 for an empty curve.
double pickedLevel(const RatioCurve &curve, double ratio, double height);

// The cut-off to propose for a trace of `length` whose Ra prescribes `prescribed` (µm): the
// prescribed one when the trace is at least twice as long, otherwise the nearest cut-off the
// trace is long enough for (the longer on ties), and `current` when it is long enough for none.
// `cutOffs` lists the cut-offs longest first.
int recommendedCutOff(int prescribed, double length, const QVector<double> &cutOffs, int current);

// The steps of the cut-off proposal loop after a recording.
struct CutOffProposal
{
    // Ra of the trace with the cut-off applied last; 0 stops the proposal.
    std::function<double()> measureRa;
    // The cut-off the chosen standard prescribes for an Ra (0 for none).
    std::function<int(double ra)> prescribe;
    // Whether to switch to the proposed cut-off (the question, or the remembered answer).
    std::function<bool(int cutOff)> accept;
    // Switches to the cut-off at this index of the cut-off list.
    std::function<void(int index)> apply;
};

// Proposes cut-offs until Ra prescribes the current one or one already tried, or a proposal is
// refused. Returns the cut-off in force at the end.
int proposeCutOff(const QVector<double> &cutOffs, double length, int current,
                  const CutOffProposal &steps);

} // namespace ProfileStatistics
