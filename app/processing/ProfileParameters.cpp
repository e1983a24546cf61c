#include "processing/ProfileParameters.h"

#include "processing/Fitting.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace Algos {

namespace {

constexpr double kRadToDeg = 180.0 / M_PI;

// Points of a profile: both channels must exist; unequal channels are read up to the shorter.
int pointCount(const Profile &profile)
{
    if (profile.size() < 2)
        return 0;
    return std::min(profile.at(0).size(), profile.at(1).size());
}

// Whole cut-offs in the span, at most 5; 0 when the span is shorter than c (or c is not a
// usable number).
int lengthCountForSpan(double span, double c)
{
    const double whole = span / c;
    if (!(whole >= 1.0))
        return 0;
    return whole >= 5.0 ? 5 : int(std::floor(whole));
}

double spanOf(const Profile &profile)
{
    const int n = pointCount(profile);
    return n > 0 ? profile.at(0).at(n - 1) - profile.at(0).at(0) : 0.0;
}

bool anyNaN(const std::vector<double> &values)
{
    return std::any_of(values.cbegin(), values.cend(), [](double v) { return std::isnan(v); });
}

// One sampling length with the deviations of its points from its own mean line.
struct Length
{
    Profile points;
    Algos::RMS line;
    std::vector<double> deviations;

    int size() const { return int(deviations.size()); }
    double x(int i) const { return points.at(0).at(i); }
    double y(int i) const { return points.at(1).at(i); }
    double mean(int i) const { return line.value(x(i)); }
};

Length withMeanLine(const Profile &points)
{
    Length length;
    length.points = points;
    const int n = pointCount(points);
    if (n == 0)
        return length;
    length.line = Algos::RMS(points);
    const double c0 = length.line.coefficient(0);
    const double c1 = length.line.coefficient(1);
    const double *xs = points.at(0).constData();
    const double *ys = points.at(1).constData();
    length.deviations.resize(size_t(n));
    for (int i = 0; i < n; ++i)
        length.deviations[size_t(i)] = ys[i] - (c0 + c1 * xs[i]);
    return length;
}

// The sampling lengths of a profile with their mean lines; empty when the profile is shorter
// than one cut-off.
std::vector<Length> lengthsWithMeanLines(const Profile &profile, double c)
{
    std::vector<Length> lengths;
    if (samplingLengthCount(profile, c) < 1)
        return lengths;
    const QVector<Profile> split = splitSamplingLengths(profile, c);
    lengths.reserve(size_t(split.size()));
    for (const Profile &points : split)
        lengths.push_back(withMeanLine(points));
    return lengths;
}

// Mean over the sampling lengths of a per-length value.
double meanOverLengths(const Profile &profile, double c,
                       const std::function<double(const Length &)> &perLength)
{
    const std::vector<Length> lengths = lengthsWithMeanLines(profile, c);
    if (lengths.empty())
        return 0.0;
    double sum = 0.0;
    for (const Length &length : lengths)
        sum += perLength(length);
    return sum / double(lengths.size());
}

// Sum over all points of all sampling lengths of d^power, divided by their number.
double pooledMoment(const Profile &profile, double c, int power)
{
    const std::vector<Length> lengths = lengthsWithMeanLines(profile, c);
    if (lengths.empty())
        return 0.0;
    double sum = 0.0;
    double count = 0.0;
    for (const Length &length : lengths) {
        for (double d : length.deviations) {
            switch (power) {
            case 1:
                sum += std::fabs(d);
                break;
            case 2:
                sum += d * d;
                break;
            case 3:
                sum += d * d * d;
                break;
            default:
                sum += (d * d) * (d * d);
                break;
            }
        }
        count += double(length.size());
    }
    return sum / count;
}

double maxDeviation(const Length &length)
{
    if (length.deviations.empty())
        return 0.0;
    return *std::max_element(length.deviations.cbegin(), length.deviations.cend());
}

double minDeviation(const Length &length)
{
    if (length.deviations.empty())
        return 0.0;
    return *std::min_element(length.deviations.cbegin(), length.deviations.cend());
}

// Slopes between consecutive raw points of a sampling length, combined as sum(f(s)) / (N - 1).
double meanSlopeMeasure(const Profile &points, const std::function<double(double)> &f)
{
    const int n = pointCount(points);
    const double *xs = points.at(0).constData();
    const double *ys = points.at(1).constData();
    double sum = 0.0;
    for (int i = 1; i < n; ++i)
        sum += f((ys[i] - ys[i - 1]) / (xs[i] - xs[i - 1]));
    return sum / double(n - 1);
}

// Walks the profile elements of a run of points against its mean line and reports each element
// that is wider than 1 % of the cut-off and higher than 10 % of Rz, with its width and height.
// A narrower or lower element is not closed: it merges with the next one.
void forEachElement(const Length &run, double c, double rz,
                    const std::function<void(double width, double height)> &counted)
{
    const int n = run.size();
    int start = 0;
    while (start < n && !(run.y(start) < run.mean(start)))
        ++start;
    if (start >= n)
        return;
    double x0 = run.x(start);
    double hi = run.deviations[size_t(start)];
    double lo = hi;
    bool above = false;
    double prevX = x0;
    for (int i = start; i < n; ++i) {
        const double x = run.x(i);
        const double y = run.y(i);
        const double m = run.mean(i);
        const double d = run.deviations[size_t(i)];
        if (above && y <= m) {
            above = false;
            if (prevX - x0 > 0.01 * c && hi - lo > 0.1 * rz) {
                counted(prevX - x0, hi - lo);
                x0 = x;
                hi = lo = d;
            }
        } else if (!above) {
            above = y > m;
        }
        hi = std::max(hi, d);
        lo = std::min(lo, d);
        prevX = x;
    }
}

// Per-length value of ηp and tp: 0 for a length of fewer than three points.
double sectionMeasure(const Profile &profile, double c, double level, bool relative)
{
    const QVector<Profile> lengths = samplingLengthCount(profile, c) < 1
        ? QVector<Profile>()
        : splitSamplingLengths(profile, c);
    if (lengths.isEmpty())
        return 0.0;
    double sum = 0.0;
    for (const Profile &length : lengths) {
        const int n = pointCount(length);
        if (n < 3)
            continue;
        const double material = materialLengthAbove(length, level);
        sum += relative ? material / (length.at(0).at(n - 1) - length.at(0).at(0)) : material;
    }
    return sum / double(lengths.size());
}

// Developed length (absolute or relative to the X extent) averaged over the lengths of at least
// two points.
double developedMeasure(const Profile &profile, double c, bool relative)
{
    if (samplingLengthCount(profile, c) < 1)
        return 0.0;
    double sum = 0.0;
    int used = 0;
    for (const Profile &length : splitSamplingLengths(profile, c)) {
        const int n = pointCount(length);
        if (n < 2)
            continue;
        const double developed = developedLength(length);
        sum += relative ? developed / (length.at(0).at(n - 1) - length.at(0).at(0)) : developed;
        ++used;
    }
    return used > 0 ? sum / used : 0.0;
}

// Rq·2π / (slope·π/180), 0 when either input is 0.
double slopeWavelength(double amplitude, double slopeDegrees)
{
    if (amplitude == 0.0 || slopeDegrees == 0.0)
        return 0.0;
    return amplitude * 2.0 * M_PI / (slopeDegrees * M_PI / 180.0);
}

} // namespace

int samplingLengthCount(const Profile &profile, double c)
{
    if (pointCount(profile) == 0)
        return 0;
    return lengthCountForSpan(spanOf(profile), c);
}

QVector<Profile> splitSamplingLengths(const Profile &profile, double c)
{
    const int n = pointCount(profile);
    if (n == 0)
        return {};
    const double span = spanOf(profile);
    // k = floor(span / c), at most 5; two or more lengths are spread with equal gaps so that
    // the last one ends at the last point, a single one starts at the first point.
    int k = 1;
    double gap = 0.0;
    const double whole = span / c;
    if (whole >= 2.0) {
        k = whole >= 5.0 ? 5 : int(std::floor(whole));
        gap = (span - k * c) / (k - 1);
    }

    QVector<double> starts(k);
    double s = profile.at(0).at(0);
    for (int j = 0; j < k; ++j) {
        starts[j] = s;
        s = s + c + gap;
    }

    QVector<Profile> lengths(k, Profile(2));
    const double *xs = profile.at(0).constData();
    const double *ys = profile.at(1).constData();
    for (int i = 0; i < n; ++i) {
        const double x = xs[i];
        for (int j = 0; j < k; ++j) {
            if (starts[j] <= x && x <= starts[j] + c) {
                lengths[j][0].append(x);
                lengths[j][1].append(ys[i]);
                break;
            }
        }
    }
    return lengths;
}

double developedLength(const Profile &profile)
{
    const int n = pointCount(profile);
    if (n < 3)
        return 0.0;
    const double *xs = profile.at(0).constData();
    const double *ys = profile.at(1).constData();
    double sum = 0.0;
    for (int i = 1; i < n; ++i) {
        const double dx = xs[i] - xs[i - 1];
        const double dy = ys[i] - ys[i - 1];
        sum += std::sqrt(dx * dx + dy * dy);
    }
    return sum;
}

double materialLengthAbove(const Profile &profile, double level)
{
    const int n = pointCount(profile);
    if (n < 2)
        return 0.0;
    const double *xs = profile.at(0).constData();
    const double *ys = profile.at(1).constData();
    double total = 0.0;
    double start = 0.0;
    bool above = false;
    for (int i = 0; i < n; ++i) {
        if (!above && ys[i] > level) {
            start = xs[i];
            above = true;
        } else if (above && ys[i] < level) {
            total += xs[i] - start;
            above = false;
        }
    }
    if (above)
        total += xs[n - 1] - start;
    return total;
}

double calcRa(const Profile &profile, double c)
{
    return pooledMoment(profile, c, 1);
}

double calcRq(const Profile &profile, double c)
{
    if (samplingLengthCount(profile, c) < 1)
        return 0.0;
    return std::sqrt(pooledMoment(profile, c, 2));
}

double calcRsk(const Profile &profile, double c)
{
    if (samplingLengthCount(profile, c) < 1)
        return 0.0;
    const double rq = calcRq(profile, c);
    return pooledMoment(profile, c, 3) / (rq * rq * rq);
}

double calcRku(const Profile &profile, double c)
{
    if (samplingLengthCount(profile, c) < 1)
        return 0.0;
    const double rq = calcRq(profile, c);
    return pooledMoment(profile, c, 4) / ((rq * rq) * (rq * rq));
}

double calcRz(const Profile &profile, double c)
{
    return meanOverLengths(profile, c, [](const Length &length) {
        return maxDeviation(length) - minDeviation(length);
    });
}

double calcRm(const Profile &profile, double c)
{
    return calcRz(profile, c);
}

double calcRmax(const Profile &profile, double c)
{
    return meanOverLengths(profile, c, [](const Length &length) {
        const QVector<double> &ys = length.points.at(1);
        if (ys.isEmpty())
            return 0.0;
        const auto range = std::minmax_element(ys.cbegin(), ys.cend());
        return *range.second - *range.first;
    });
}

double calcRp(const Profile &profile, double c)
{
    return meanOverLengths(profile, c, [](const Length &length) { return maxDeviation(length); });
}

double calcRv(const Profile &profile, double c)
{
    return meanOverLengths(profile, c,
                           [](const Length &length) { return std::fabs(minDeviation(length)); });
}

double calcR3z(const Profile &profile, double c)
{
    return meanOverLengths(profile, c, [](const Length &length) {
        const int n = length.size();
        // A length of fewer than three points has no third-highest deviation.
        if (n < 3)
            return 0.0;
        std::vector<double> d = length.deviations;
        if (anyNaN(d))
            return std::nan("");
        // Ascending: the third-lowest is at 2, the third-highest at n - 3.
        std::nth_element(d.begin(), d.begin() + 2, d.end());
        const double thirdLowest = d[2];
        std::nth_element(d.begin() + 2, d.begin() + (n - 3), d.end());
        const double thirdHighest = d[size_t(n - 3)];
        return thirdHighest - thirdLowest;
    });
}

double calcRz10(const Profile &profile, double c)
{
    const std::vector<Length> lengths = lengthsWithMeanLines(profile, c);
    double sum = 0.0;
    int used = 0;
    for (const Length &length : lengths) {
        const int n = length.size();
        if (n < 10)
            continue;
        std::vector<double> d = length.deviations;
        ++used;
        if (anyNaN(d)) {
            sum += std::nan("");
            continue;
        }
        std::nth_element(d.begin(), d.begin() + (n - 5), d.end());
        std::nth_element(d.begin(), d.begin() + 5, d.begin() + (n - 5));
        double highest = 0.0;
        double lowest = 0.0;
        for (int i = 0; i < 5; ++i) {
            lowest += d[size_t(i)];
            highest += d[size_t(n - 5 + i)];
        }
        sum += highest / 5.0 - lowest / 5.0;
    }
    return used > 0 ? sum / used : 0.0;
}

double calcDeltaQ(const Profile &profile, double c)
{
    return meanOverLengths(profile, c,
                           [](const Length &length) {
                               return std::sqrt(
                                   meanSlopeMeasure(length.points, [](double s) { return s * s; }));
                           })
        * kRadToDeg;
}

double calcDeltaA(const Profile &profile, double c)
{
    return meanOverLengths(profile, c,
                           [](const Length &length) {
                               return meanSlopeMeasure(length.points,
                                                       [](double s) { return std::fabs(s); });
                           })
        * kRadToDeg;
}

double calcLambdaQ(const Profile &profile, double c)
{
    if (profile.isEmpty())
        return 0.0;
    return slopeWavelength(calcRq(profile, c), calcDeltaQ(profile, c));
}

double calcLambdaA(const Profile &profile, double c)
{
    if (profile.isEmpty())
        return 0.0;
    return slopeWavelength(calcRa(profile, c), calcDeltaA(profile, c));
}

double calcRSm(const Profile &profile, double c)
{
    const double rz = calcRz(profile, c);
    if (!(rz > 0.0))
        return 0.0;
    const Length whole = withMeanLine(profile);
    double widths = 0.0;
    int count = 0;
    forEachElement(whole, c, rz, [&](double width, double) {
        widths += width;
        ++count;
    });
    return count > 0 ? widths / count : 0.0;
}

double calcRc(const Profile &profile, double c)
{
    const double rz = calcRz(profile, c);
    if (!(rz > 0.0))
        return 0.0;
    double heights = 0.0;
    int count = 0;
    for (const Length &length : lengthsWithMeanLines(profile, c)) {
        forEachElement(length, c, rz, [&](double, double height) {
            heights += height;
            ++count;
        });
    }
    return count > 0 ? heights / count : 0.0;
}

double calcD(const Profile &profile, double c)
{
    return meanOverLengths(profile, c, [](const Length &length) {
        const int n = length.size();
        int i = 0;
        while (i < n && !(length.y(i) < length.mean(i)))
            ++i;
        int peaks = 0;
        bool above = false;
        for (; i < n; ++i) {
            const double y = length.y(i);
            const double m = length.mean(i);
            if (above && y <= m) {
                above = false;
                ++peaks;
            } else if (!above) {
                above = y > m;
            }
        }
        const double extent = n > 0 ? length.x(n - 1) - length.x(0) : 0.0;
        return peaks / (extent / 10000.0);
    });
}

double calcL0(const Profile &profile, double c)
{
    return developedMeasure(profile, c, false);
}

double calcRelativeLength(const Profile &profile, double c)
{
    return developedMeasure(profile, c, true);
}

double calcEtaP(const Profile &profile, double c, double sectionLevel)
{
    return sectionMeasure(profile, c, sectionLevel, false);
}

double calcTp(const Profile &profile, double c, double sectionLevel)
{
    return 100.0 * sectionMeasure(profile, c, sectionLevel, true);
}

double calcRt(const Profile &profile)
{
    if (pointCount(profile) == 0)
        return 0.0;
    const Length whole = withMeanLine(profile);
    return maxDeviation(whole) - minDeviation(whole);
}

double calcS(const Profile &profile)
{
    const int n = pointCount(profile);
    if (n < 3)
        return 0.0;
    const double *xs = profile.at(0).constData();
    const double *ys = profile.at(1).constData();
    int peaks = 0;
    double first = 0.0;
    double last = 0.0;
    for (int i = 1; i + 1 < n; ++i) {
        if (ys[i] > ys[i - 1] && ys[i] > ys[i + 1]) {
            if (peaks == 0)
                first = xs[i];
            last = xs[i];
            ++peaks;
        }
    }
    return peaks < 2 ? 0.0 : (last - first) / (peaks - 1);
}

} // namespace Algos
