#include "processing/ProfileStatistics.h"

#include "processing/Fitting.h"

#include <algorithm>
#include <cmath>

namespace ProfileStatistics {

namespace {

// floor(t) for an index guess, without a library call: kept inside [0, limit].
int floorIndex(double t, int limit)
{
    if (!(t > 0.0))
        return 0;
    return t >= double(limit) ? limit : int(t);
}

// ceil(t), likewise.
int ceilIndex(double t, int limit)
{
    if (!(t > 0.0))
        return 0;
    if (t >= double(limit))
        return limit;
    const int i = int(t);
    return double(i) < t ? i + 1 : i;
}

// The 100 material-ratio levels of a view and the counting of levels against a height. The
// guesses from the height are settled against the levels themselves, so rounding in the guess
// never changes a count.
class RatioLevels
{
public:
    RatioLevels(double bottom, double step)
        : m_bottom(bottom)
        , m_perStep(1.0 / step)
    {
        for (int i = 0; i < kRatioLevels; ++i)
            m_levels[i] = bottom + i * step;
    }

    double at(int i) const { return m_levels[i]; }

    // True when `a` levels lie at or below lo and none lies strictly between a and hi, that is
    // atOrBelow(lo) == a and below(hi) <= a: a short segment in the same gap between two levels
    // as the one before it needs neither search.
    bool inGap(int a, double lo, double hi) const
    {
        return (a == 0 || m_levels[a - 1] <= lo)
            && (a == kRatioLevels || (lo < m_levels[a] && hi <= m_levels[a]));
    }

    // Levels at or below v.
    int atOrBelow(double v) const
    {
        int g = floorIndex((v - m_bottom) * m_perStep + 1.0, kRatioLevels);
        while (g < kRatioLevels && m_levels[g] <= v)
            ++g;
        while (g > 0 && m_levels[g - 1] > v)
            --g;
        return g;
    }
    // Levels strictly below v.
    int below(double v) const
    {
        int g = ceilIndex((v - m_bottom) * m_perStep, kRatioLevels);
        while (g < kRatioLevels && m_levels[g] < v)
            ++g;
        while (g > 0 && m_levels[g - 1] >= v)
            --g;
        return g;
    }

private:
    double m_bottom;
    double m_perStep;
    double m_levels[kRatioLevels];
};

} // namespace

double rmsLevel(const QVector<double> &y)
{
    if (y.isEmpty())
        return std::nan("");
    double sum = 0.0;
    for (double v : y)
        sum += v * v;
    return std::sqrt(sum / y.size());
}

bool quadraticLine(const QVector<double> &x, const QVector<double> &y, QVector<double> *line)
{
    if (x.size() != y.size() || x.isEmpty() || !line)
        return false;
    double low = x.at(0);
    double high = x.at(0);
    for (double v : x) {
        low = std::min(low, v);
        high = std::max(high, v);
    }
    const double centre = (low + high) / 2.0;
    const double scale = (high - low) / 2.0;
    if (!std::isfinite(centre) || !(scale > 0.0) || !std::isfinite(scale))
        return false;
    QVector<double> u(x.size());
    for (int i = 0; i < x.size(); ++i)
        u[i] = (x.at(i) - centre) / scale;
    PolynomialRegression regression;
    int order = 2;
    QVector<double> c;
    if (!regression.fit(u, y, order, c) || c.size() != 3)
        return false;
    QVector<double> values(u.size());
    for (int i = 0; i < u.size(); ++i) {
        const double t = u.at(i);
        values[i] = c.at(0) + (c.at(1) + c.at(2) * t) * t;
    }
    *line = values;
    return true;
}

QVector<double> straighten(const QVector<double> &y, const QVector<double> &line, double level)
{
    if (line.size() != y.size())
        return y;
    QVector<double> result(y.size());
    for (int i = 0; i < y.size(); ++i)
        result[i] = y.at(i) - (line.at(i) - level);
    return result;
}

bool isAscending(const QVector<double> &x)
{
    for (int i = 1; i < x.size(); ++i) {
        if (!(x.at(i - 1) <= x.at(i)))
            return false;
    }
    return x.isEmpty() || !std::isnan(x.at(0));
}

std::pair<int, int> visibleSpan(const QVector<double> &x, double low, double high, bool ascending)
{
    if (!ascending)
        return {0, x.size()};
    const auto first = std::lower_bound(x.cbegin(), x.cend(), low);
    const auto last = std::upper_bound(first, x.cend(), high);
    const int begin = std::max(0, int(first - x.cbegin()) - 1);
    const int end = std::min(x.size(), int(last - x.cbegin()) + 1);
    return {begin, std::max(begin, end)};
}

std::pair<double, double> heightExtremes(const QVector<double> &y)
{
    if (y.isEmpty())
        return {std::nan(""), std::nan("")};
    double low = y.at(0);
    double high = y.at(0);
    for (double v : y) {
        low = std::min(low, v);
        high = std::max(high, v);
    }
    return {low, high};
}

QVector<QVector<double>> histogram(const QVector<double> &x, const QVector<double> &y,
                                   std::pair<int, int> span, int density, const ViewRect &view,
                                   double profileLow, double profileHigh)
{
    if (x.size() != y.size() || y.size() < 2)
        return {};
    const int first = std::clamp(span.first, 0, x.size());
    const int last = std::clamp(span.second, first, x.size());

    // The window bounds exactly as the density curve computes them, so that a height on a
    // bound is counted in the same windows.
    const double lower = std::max(view.yLow, profileLow);
    const double upper = std::min(view.yHigh, profileHigh);
    const double range = upper - lower;
    double bounds[101];
    for (int k = 0; k <= 100; ++k)
        bounds[k] = lower + k / 100.0 * range;

    // bins[k]: heights in [bounds[k], bounds[k + 1]) (bin 100: the top bound itself);
    // onBound[k]: heights equal to bounds[k]. A window [lo, hi] then holds
    // bins[lo] + ... + bins[hi - 1] + onBound[hi] heights.
    double bins[101] = {};
    double onBound[101] = {};
    int inside = 0;
    const bool counting = range >= 0.0;
    const double perRange = 100.0 / range;
    int k = 0; // the bin of the last height counted
    for (int i = first; i < last; ++i) {
        const double px = x.at(i);
        const double py = y.at(i);
        if (!(view.xLow < px && px < view.xHigh && view.yLow < py && py < view.yHigh))
            continue;
        ++inside;
        if (!counting || py < bounds[0] || py > bounds[100])
            continue;
        // Neighbouring heights mostly fall into the same bin as the one before.
        if (!(k < 100 && bounds[k] <= py && py < bounds[k + 1])) {
            k = range > 0.0 ? floorIndex((py - lower) * perRange, 100) : 100;
            while (k < 100 && py >= bounds[k + 1])
                ++k;
            while (k > 0 && py < bounds[k])
                --k;
        }
        bins[k] += 1.0;
        for (int j = k; j >= 0 && bounds[j] == py; --j)
            onBound[j] += 1.0;
    }
    if (inside < 2)
        return {};
    double below[102];
    below[0] = 0.0;
    for (int k = 0; k <= 100; ++k)
        below[k + 1] = below[k] + bins[k];

    density = std::max(0, std::min(99, density));
    QVector<QVector<double>> result(2);
    result[0].reserve(100 + density);
    result[1].reserve(100 + density);
    int lo = 0;
    int hi = 1;
    for (;;) {
        const int nextLo = (hi - lo > density || hi == 100) ? lo + 1 : lo;
        const double a = bounds[lo];
        const double b = bounds[hi];
        const double count = counting && a <= b ? below[hi] - below[lo] + onBound[hi] : 0.0;
        result[0].append(a + (b - a) * 0.5);
        result[1].append(count / inside * 100.0);
        if (hi < 100) {
            ++hi;
        } else if (nextLo >= 100) {
            break;
        }
        lo = nextLo;
    }
    return result;
}

RatioCurve materialRatio(const QVector<double> &x, const QVector<double> &y,
                         std::pair<int, int> span, const ViewRect &view)
{
    const int n = std::min(x.size(), y.size());
    const int begin = std::clamp(span.first, 0, n);
    const int last = std::clamp(span.second, begin, n);
    const double height = view.yHigh - view.yLow;
    const double step = height / kRatioLevels;
    if (!(step > 0.0) || !std::isfinite(step) || !(view.xLow <= view.xHigh))
        return {};
    const RatioLevels levels(view.yLow, step);

    // Length at or above level i, as running sums: first[] holds the steps of the value and
    // second[] the steps of its slope. A segment contributes its whole length to the levels at
    // or below its low end and, to the levels inside its height span, a share falling
    // linearly with the level; every term stays within the segment's length, so the sums keep
    // their precision however flat a segment is, and a segment costs the same whatever levels
    // it crosses.
    double first[kRatioLevels + 1] = {};
    double second[kRatioLevels + 2] = {};
    double total = 0.0;
    int gap = 0; // the levels at or below the last segment's low end
    for (int k = begin; k + 1 < last; ++k) {
        double x0 = x.at(k);
        double x1 = x.at(k + 1);
        double y0 = y.at(k);
        double y1 = y.at(k + 1);
        if (std::isnan(x0) || std::isnan(x1) || std::isnan(y0) || std::isnan(y1))
            continue;
        if (x1 < x0) {
            std::swap(x0, x1);
            std::swap(y0, y1);
        }
        if (!(x0 < x1) || x1 < view.xLow || x0 > view.xHigh)
            continue;
        if (x0 < view.xLow) {
            y0 += (view.xLow - x0) / (x1 - x0) * (y1 - y0);
            x0 = view.xLow;
        }
        if (x1 > view.xHigh) {
            y1 = y0 + (view.xHigh - x0) / (x1 - x0) * (y1 - y0);
            x1 = view.xHigh;
        }
        const double d = x1 - x0;
        if (!(d > 0.0))
            continue;
        total += d;
        const double lo = std::min(y0, y1);
        const double hi = std::max(y0, y1);
        first[0] += d;
        if (levels.inGap(gap, lo, hi)) {
            first[gap] -= d;
            continue;
        }
        const int a = levels.atOrBelow(lo);
        gap = a;
        first[a] -= d;
        // Levels a .. b - 1 lie strictly inside (lo, hi); none for a flat segment.
        const int b = std::max(a, levels.below(hi));
        if (b > a) {
            const double perHeight = d / (hi - lo);
            const double top = perHeight * (hi - levels.at(a));
            // Two levels inside mean a span of more than one step: the slope is below d.
            const double slope = b - a >= 2 ? perHeight * step : 0.0;
            first[a] += top;
            first[b] -= top - slope * (b - 1 - a);
            second[a + 1] -= slope;
            second[b] += slope;
        }
    }
    if (!(total > 0.0))
        return {};

    RatioCurve curve;
    curve.levels.resize(kRatioLevels);
    curve.ratios.resize(kRatioLevels);
    double value = 0.0;
    double slope = 0.0;
    double ramp = 0.0;
    for (int i = 0; i < kRatioLevels; ++i) {
        value += first[i];
        slope += second[i];
        ramp += slope;
        const double above = value + ramp;
        curve.levels[i] = levels.at(i);
        curve.ratios[i] = std::clamp(above / total * 100.0, 0.0, 100.0);
    }
    return curve;
}

double pickedLevel(const RatioCurve &curve, double ratio, double height)
{
    const int n = std::min(curve.levels.size(), curve.ratios.size());
    if (n == 0)
        return 0.0;
    int kept = 0;
    for (int i = 1; i < n; ++i) {
        const bool nearerInHeight
            = std::fabs(height - curve.levels.at(i)) < std::fabs(height - curve.levels.at(kept));
        const bool nearerInRatio
            = std::fabs(ratio - curve.ratios.at(i)) < std::fabs(ratio - curve.ratios.at(kept));
        if (nearerInHeight && nearerInRatio)
            kept = i;
    }
    return curve.levels.at(kept);
}

int recommendedCutOff(int prescribed, double length, const QVector<double> &cutOffs, int current)
{
    QVector<int> allowed;
    for (double v : cutOffs) {
        if (length >= 2.0 * v)
            allowed.append(int(v));
    }
    if (allowed.contains(prescribed))
        return prescribed;
    if (allowed.isEmpty())
        return current;
    int best = allowed.at(0);
    for (int v : allowed) {
        if (std::abs(v - prescribed) < std::abs(best - prescribed))
            best = v;
    }
    return best;
}

int proposeCutOff(const QVector<double> &cutOffs, double length, int current,
                  const CutOffProposal &steps)
{
    QVector<int> tried;
    for (;;) {
        tried.append(current);
        const double ra = steps.measureRa();
        if (ra == 0.0 || !std::isfinite(ra))
            break;
        // No standard chosen: nothing is prescribed, so nothing is proposed.
        const int prescribed = steps.prescribe(ra);
        if (prescribed <= 0)
            break;
        const int proposal = recommendedCutOff(prescribed, length, cutOffs, current);
        if (proposal == current || tried.contains(proposal))
            break;
        const int index = cutOffs.indexOf(double(proposal));
        if (index < 0 || !steps.accept(proposal))
            break;
        steps.apply(index);
        current = proposal;
    }
    return current;
}

} // namespace ProfileStatistics
