#include "processing/MaterialRatio.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

namespace Algos {

namespace {

int rowCount(const QVector<QVector<double>> &data)
{
    if (data.size() < 2)
        return 0;
    return std::min(data.at(0).size(), data.at(1).size());
}

// The Y values that are numbers, sorted ascending: counts of points at or above a level, or
// between two levels, by binary search. A NaN never compares true, so leaving it out gives the
// same counts as a scan.
std::vector<double> sortedHeights(const QVector<double> &ys, int count)
{
    std::vector<double> sorted;
    sorted.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        if (!std::isnan(ys.at(i)))
            sorted.push_back(ys.at(i));
    }
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

// Points with a <= Y <= b.
double countBetween(const std::vector<double> &sorted, double a, double b)
{
    if (std::isnan(a) || std::isnan(b) || a > b)
        return 0.0;
    const auto first = std::lower_bound(sorted.cbegin(), sorted.cend(), a);
    const auto last = std::upper_bound(sorted.cbegin(), sorted.cend(), b);
    return double(last - first);
}

// The curve with its core line, or nothing to read when it has fewer than two rows or no core
// line could be fitted.
struct CoreReading
{
    bool usable = false;
    int last = 0;
    double top = 0.0;
    double bottom = 0.0;
};

CoreReading readCore(const QVector<QVector<double>> &curve)
{
    CoreReading reading;
    const int rows = rowCount(curve);
    if (rows < 2)
        return reading;
    const Algos::RMS core = materialRatioCoreLine(curve);
    if (!core.isValid())
        return reading;
    reading.usable = true;
    reading.last = rows - 1;
    reading.top = core.value(curve.at(0).at(0));
    reading.bottom = core.value(curve.at(0).at(rows - 1));
    return reading;
}

// Ratio of the first row, from row 0, whose level is at or below the given level.
double ratioAtLevel(const QVector<QVector<double>> &curve, int rows, double level)
{
    for (int r = 0; r < rows; ++r) {
        if (curve.at(1).at(r) <= level)
            return curve.at(0).at(r);
    }
    return 0.0;
}

} // namespace

QVector<QVector<double>> materialRatioCurve(const QVector<QVector<double>> &profile)
{
    QVector<QVector<double>> curve(2);
    const int n = rowCount(profile);
    const double *ys = n > 0 ? profile.at(1).constData() : nullptr;
    // A NaN is never at or above a level, so it takes no part in the range or the counts.
    double low = 0.0;
    double high = 0.0;
    bool any = false;
    for (int i = 0; i < n; ++i) {
        if (std::isnan(ys[i]))
            continue;
        low = any ? std::min(low, ys[i]) : ys[i];
        high = any ? std::max(high, ys[i]) : ys[i];
        any = true;
    }
    if (!any || !(high - low > 0.0))
        return curve;

    const double step = (high - low) / 100.0;
    double levels[100];
    for (int i = 0; i < 100; ++i)
        levels[i] = low + i * step;
    // The levels never fall, so a point is at or above levels 0 .. b for one b: each point is
    // put in the bin of its highest level (guessed from its height, then settled by comparing
    // with the levels themselves), and the count at a level sums the bins from it upwards.
    double bins[100] = {};
    for (int i = 0; i < n; ++i) {
        const double y = ys[i];
        if (std::isnan(y))
            continue;
        const double guess = std::floor((y - low) / step);
        int b = guess >= 99.0 ? 99 : (guess >= 0.0 ? int(guess) : 0);
        while (b < 99 && y >= levels[b + 1])
            ++b;
        while (b > 0 && y < levels[b])
            --b;
        bins[b] += 1.0;
    }
    double counts[100];
    double above = 0.0;
    for (int i = 99; i >= 0; --i) {
        above += bins[i];
        counts[i] = above;
    }
    // The lowest level is the minimum, so its count is the largest.
    const double largest = counts[0];
    curve[0].resize(100);
    curve[1].resize(100);
    for (int r = 0; r < 100; ++r) {
        curve[0][r] = counts[99 - r] / largest * 100.0;
        curve[1][r] = levels[99 - r];
    }
    return curve;
}

Algos::RMS materialRatioCoreLine(const QVector<QVector<double>> &curve)
{
    Algos::RMS core;
    const int rows = rowCount(curve);
    const QVector<double> &ratios = rows > 0 ? curve.at(0) : QVector<double>();
    const QVector<double> &levels = rows > 0 ? curve.at(1) : QVector<double>();
    double best = DBL_MAX;
    int k = 0;
    for (int j = 0; j < rows; ++j) {
        while (k <= j && ratios.at(j) - ratios.at(k) >= 40.0) {
            const Algos::RMS fit(ratios.mid(k, j - k + 1), levels.mid(k, j - k + 1));
            if (std::fabs(fit.coefficient(1)) < best) {
                core = fit;
                best = std::fabs(fit.coefficient(1));
            }
            ++k;
        }
    }
    return core;
}

double calcRk(const QVector<QVector<double>> &curve)
{
    const CoreReading core = readCore(curve);
    return core.usable ? core.top - core.bottom : 0.0;
}

double calcRpk(const QVector<QVector<double>> &curve)
{
    const CoreReading core = readCore(curve);
    return core.usable ? curve.at(1).at(0) - core.top : 0.0;
}

double calcRvk(const QVector<QVector<double>> &curve)
{
    const CoreReading core = readCore(curve);
    return core.usable ? core.bottom - curve.at(1).at(core.last) : 0.0;
}

double calcMr1(const QVector<QVector<double>> &curve)
{
    const CoreReading core = readCore(curve);
    return core.usable ? ratioAtLevel(curve, core.last + 1, core.top) : 0.0;
}

double calcMr2(const QVector<QVector<double>> &curve)
{
    const CoreReading core = readCore(curve);
    return core.usable ? ratioAtLevel(curve, core.last + 1, core.bottom) : 0.0;
}

QVector<QVector<double>> amplitudeDensity(const QVector<QVector<double>> &profile, int density,
                                          double lower, double upper)
{
    if (profile.size() < 2 || profile.at(0).size() != profile.at(1).size()
        || profile.at(1).size() < 2)
        return {};
    const int n = profile.at(1).size();
    const std::vector<double> sorted = sortedHeights(profile.at(1), n);
    const double range = upper - lower;
    density = std::max(0, std::min(99, density));

    QVector<QVector<double>> result(2);
    result[0].reserve(100 + density);
    result[1].reserve(100 + density);
    int lo = 0;
    int hi = 1;
    for (;;) {
        const int nextLo = (hi - lo > density || hi == 100) ? lo + 1 : lo;
        const double a = lower + lo / 100.0 * range;
        const double b = lower + hi / 100.0 * range;
        result[0].append(a + (b - a) * 0.5);
        result[1].append(countBetween(sorted, a, b) / n * 100.0);
        if (hi < 100) {
            ++hi;
        } else if (nextLo >= 100) {
            break;
        }
        lo = nextLo;
    }
    return result;
}

QVector<QVector<double>> amplitudeDensityInRect(const QVector<QVector<double>> &profile,
                                                int density, double xLower, double xUpper,
                                                double yLower, double yUpper)
{
    if (profile.size() < 2 || profile.at(0).size() != profile.at(1).size()
        || profile.at(1).size() < 2)
        return {};
    const QVector<double> &xs = profile.at(0);
    const QVector<double> &ys = profile.at(1);
    double minY = ys.at(0);
    double maxY = ys.at(0);
    QVector<QVector<double>> selection(2);
    for (int i = 0; i < xs.size(); ++i) {
        const double y = ys.at(i);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
        if (xLower < xs.at(i) && xs.at(i) < xUpper && yLower < y && y < yUpper) {
            selection[0].append(xs.at(i));
            selection[1].append(y);
        }
    }
    if (selection.at(0).size() < 2)
        return {};
    return amplitudeDensity(selection, density, std::max(yLower, minY), std::min(yUpper, maxY));
}

double calcDp(const QVector<QVector<double>> &density, double sectionLevel)
{
    if (density.size() < 2 || density.at(0).size() != density.at(1).size()
        || density.at(0).size() < 2)
        return 0.0;
    for (int r = 0; r < density.at(0).size(); ++r) {
        if (density.at(0).at(r) > sectionLevel)
            return density.at(1).at(r);
    }
    return 0.0;
}

QVector<QVector<double>> movingAverageDetrend(const QVector<QVector<double>> &profile,
                                              double halfWidth)
{
    if (profile.size() < 2)
        return {};
    const int n = rowCount(profile);
    const QVector<double> &xs = profile.at(0);
    const QVector<double> &ys = profile.at(1);
    QVector<QVector<double>> result(2);
    result[0] = xs.mid(0, n);
    result[1].resize(n);
    // The window is the points [start, end).
    int start = 0;
    int end = 0;
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        while (start < i && start < end && xs.at(i) - xs.at(start) > halfWidth) {
            sum -= ys.at(start);
            ++start;
        }
        if (end < start)
            end = start;
        while (end < n && xs.at(end) - xs.at(i) < halfWidth) {
            sum += ys.at(end);
            ++end;
        }
        result[1][i] = ys.at(i) - sum / double(end - start);
    }
    return result;
}

} // namespace Algos
