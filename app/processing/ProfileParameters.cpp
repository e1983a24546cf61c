#include "processing/ProfileParameters.h"

#include "processing/Fitting.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// Starts of the sampling-length intervals [s, s + c]: k = floor(span / c), at most 5; two or
// more are spread with equal gaps so that the last one ends at the last point, a single one
// starts at the first point.
QVector<double> samplingLengthStarts(const Profile &profile, double c)
{
    const double span = spanOf(profile);
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
    return starts;
}

// A run of consecutive points (one sampling length, or a whole profile) read in place, with
// the least-squares mean line of its points.
struct Run
{
    const double *xs = nullptr;
    const double *ys = nullptr;
    int n = 0;
    double c0 = std::numeric_limits<double>::quiet_NaN();
    double c1 = std::numeric_limits<double>::quiet_NaN();
    // Highest and lowest deviation and height, known once the mean line is fitted (the heights
    // of a sampling length only); 0 for no points.
    double highest = 0.0;
    double lowest = 0.0;
    double highestY = 0.0;
    double lowestY = 0.0;
    // Sums of |d|, d², d³ and d⁴, and of s² and |s| over the slopes s between consecutive
    // points, known once a sampling length's mean line is fitted.
    double powerSums[4] = {0.0, 0.0, 0.0, 0.0};
    double slopeSums[2] = {0.0, 0.0};
    // Worked out on first use and kept with the run, which a SamplingLengthReuse shares between
    // parameters: the developed length (L0, l0), the length above the last section level asked
    // for (ηp, tp) and the five lowest and five highest deviations (Rz10, R3z).
    mutable bool developedKnown = false;
    mutable double developed = 0.0;
    mutable bool materialKnown = false;
    mutable double materialLevel = 0.0;
    mutable double material = 0.0;
    mutable bool extremesKnown = false;
    mutable bool extremesNaN = false;
    mutable double fiveLowest[5] = {};
    mutable double fiveHighest[5] = {};

    double x(int i) const { return xs[i]; }
    double y(int i) const { return ys[i]; }
    double mean(int i) const { return c0 + c1 * xs[i]; }
    double deviation(int i) const { return ys[i] - (c0 + c1 * xs[i]); }
    double extent() const { return n > 0 ? xs[n - 1] - xs[0] : 0.0; }

    // The Algos::RMS line of the run's points (no line, NaN, where it fits none), then in one
    // more pass the extreme deviations and heights that Rz, Rp, Rv, Rt and Rmax read and, for a
    // sampling length, the sums that Ra, Rq, Rsk, Rku, RΔq and RΔa are built from.
    void fitMeanLine(bool withSums)
    {
        detail::LineSums sums;
        sums.addRange(xs, ys, n);
        fitMeanLine(sums, withSums);
    }

    // Two runs at once: their line sums are taken in one interleaved pass.
    static void fitMeanLines(Run &a, Run &b, bool withSums)
    {
        detail::LineSums sumsA;
        detail::LineSums sumsB;
        detail::LineSums::addRanges(sumsA, a.xs, a.ys, a.n, sumsB, b.xs, b.ys, b.n);
        a.fitMeanLine(sumsA, withSums);
        b.fitMeanLine(sumsB, withSums);
    }

    // The rest of fitMeanLine once the sums of the run's points are taken.
    void fitMeanLine(const detail::LineSums &sums, bool withSums)
    {
        setLine(sums);
        if (n == 0)
            return;
        if (!withSums) {
            // A whole profile: only Rt and RSm read it, and neither needs the heights.
            highest = lowest = deviation(0);
            extremesOver(0, n, highest, lowest);
            return;
        }
        double unusedHi = 0.0;
        double unusedLo = 0.0;
        sweep<false>(nullptr, unusedHi, unusedLo);
    }

    void setLine(const detail::LineSums &sums)
    {
        const Algos::RMS line(sums.line());
        c0 = line.coefficient(0);
        c1 = line.coefficient(1);
    }

    // Folds the deviations of the points [from, to) into hi and lo.
    void extremesOver(int from, int to, double &hi, double &lo) const
    {
        const double a = c0;
        const double b = c1;
        for (int i = from; i < to; ++i) {
            const double d = ys[i] - (a + b * xs[i]);
            hi = std::max(hi, d);
            lo = std::min(lo, d);
        }
    }

    // The pass over a fitted sampling length; with kAlsoWhole it folds the deviations of the
    // same points from the line of the whole profile (which holds them) into wholeHi and
    // wholeLo, so that the whole profile needs no pass of its own over them.
    template<bool kAlsoWhole>
    void sweep(const Run *whole, double &wholeHi, double &wholeLo)
    {
        // Accumulated in locals: the compiler cannot keep members in registers while it reads
        // the samples through pointers that might point at them.
        const double a = c0;
        const double b = c1;
        const double wa = kAlsoWhole ? whole->c0 : 0.0;
        const double wb = kAlsoWhole ? whole->c1 : 0.0;
        double wHi = wholeHi;
        double wLo = wholeLo;
        double hi = ys[0] - (a + b * xs[0]);
        double lo = hi;
        double hiY = ys[0];
        double loY = ys[0];
        double p1 = 0.0, p2 = 0.0, p3 = 0.0, p4 = 0.0, s2 = 0.0, s1 = 0.0;
        for (int i = 0; i < n; ++i) {
            const double d = ys[i] - (a + b * xs[i]);
            hi = std::max(hi, d);
            lo = std::min(lo, d);
            hiY = std::max(hiY, ys[i]);
            loY = std::min(loY, ys[i]);
            const double d2 = d * d;
            p1 += std::fabs(d);
            p2 += d2;
            p3 += d2 * d;
            p4 += d2 * d2;
            if (i > 0) {
                const double slope = (ys[i] - ys[i - 1]) / (xs[i] - xs[i - 1]);
                s2 += slope * slope;
                s1 += std::fabs(slope);
            }
            if (kAlsoWhole) {
                const double e = ys[i] - (wa + wb * xs[i]);
                wHi = std::max(wHi, e);
                wLo = std::min(wLo, e);
            }
        }
        powerSums[0] = p1;
        powerSums[1] = p2;
        powerSums[2] = p3;
        powerSums[3] = p4;
        slopeSums[0] = s2;
        slopeSums[1] = s1;
        highest = hi;
        lowest = lo;
        highestY = hiY;
        lowestY = loY;
        wholeHi = wHi;
        wholeLo = wLo;
    }
};

Run wholeRun(const Profile &profile)
{
    Run run;
    run.n = pointCount(profile);
    if (run.n > 0) {
        run.xs = profile.at(0).constData();
        run.ys = profile.at(1).constData();
    }
    return run;
}

// The sampling lengths of a profile as runs. When X never decreases every length is a
// contiguous stretch of the profile and is read in place; otherwise the points are copied out
// by splitSamplingLengths. Empty when the profile is shorter than one cut-off.
class LengthRuns
{
public:
    LengthRuns(const Profile &profile, double c, bool withMeanLines, bool whole)
    {
        if (whole) {
            m_runs.push_back(wholeRun(profile));
            m_runs.back().fitMeanLine(false);
            return;
        }
        if (samplingLengthCount(profile, c) < 1)
            return;
        if (isNonDecreasing(profile))
            viewInPlace(profile, c);
        else
            copyOut(profile, c);
        if (withMeanLines)
            fitLengths();
    }
    // No runs yet.
    LengthRuns() = default;
    LengthRuns(const LengthRuns &) = delete;
    LengthRuns &operator=(const LengthRuns &) = delete;

    // The sampling lengths with their mean lines (first) and the whole profile as one run with
    // its line (second). When the lengths are read in place, the whole profile's line sums are
    // taken in the same pass as each length's, which overlaps their chains of additions; the
    // sums come out as in separate passes.
    static std::pair<std::shared_ptr<const LengthRuns>, std::shared_ptr<const LengthRuns>>
    withWhole(const Profile &profile, double c)
    {
        auto lengths = std::make_shared<LengthRuns>(profile, c, false, false);
        auto whole = std::make_shared<LengthRuns>();
        whole->m_runs.push_back(wholeRun(profile));
        Run &all = whole->m_runs.back();
        if (!lengths->m_inPlace) {
            lengths->fitLengths();
            all.fitMeanLine(false);
            return {lengths, whole};
        }
        // First the line sums, then one more pass for the deviations from both lines.
        detail::LineSums allSums;
        std::vector<detail::LineSums> runSums(lengths->m_runs.size());
        int done = 0;
        for (size_t j = 0; j < runSums.size(); ++j) {
            const Run &run = lengths->m_runs[j];
            const int first = int(run.xs - all.xs);
            allSums.addRange(all.xs + done, all.ys + done, first - done);
            detail::LineSums::addRanges(allSums, run.xs, run.ys, run.n, runSums[j], run.xs, run.ys,
                                        run.n);
            done = first + run.n;
        }
        allSums.addRange(all.xs + done, all.ys + done, all.n - done);
        all.setLine(allSums);
        all.highest = all.lowest = all.deviation(0);
        done = 0;
        for (size_t j = 0; j < runSums.size(); ++j) {
            Run &run = lengths->m_runs[j];
            const int first = int(run.xs - all.xs);
            all.extremesOver(done, first, all.highest, all.lowest);
            run.setLine(runSums[j]);
            if (run.n > 0)
                run.sweep<true>(&all, all.highest, all.lowest);
            done = first + run.n;
        }
        all.extremesOver(done, all.n, all.highest, all.lowest);
        return {lengths, whole};
    }

    const std::vector<Run> &runs() const { return m_runs; }
    bool isEmpty() const { return m_runs.empty(); }
    double count() const { return double(m_runs.size()); }
    bool inPlace() const { return m_inPlace; }

    // The element widths of the whole profile (RSm) and heights of the sampling lengths (Rc),
    // kept with the lengths once walked: both depend only on the profile and the cut-off.
    mutable bool elementsKnown = false;
    mutable double elementWidths = 0.0;
    mutable int elementWidthCount = 0;
    mutable double elementHeights = 0.0;
    mutable int elementHeightCount = 0;
    // The peaks of each sampling length (D), from the same walk.
    mutable std::vector<int> elementPeaks;

private:
    void fitLengths()
    {
        size_t i = 0;
        for (; i + 1 < m_runs.size(); i += 2)
            Run::fitMeanLines(m_runs[i], m_runs[i + 1], true);
        if (i < m_runs.size())
            m_runs[i].fitMeanLine(true);
    }

    static bool isNonDecreasing(const Profile &profile)
    {
        const int n = pointCount(profile);
        const double *xs = profile.at(0).constData();
        int i = 1;
#ifdef __SSE2__
        // Two neighbours at a time: a lane is set where xs[i - 1] <= xs[i] fails (NaN too).
        for (; i + 1 < n; i += 2) {
            const __m128d before = _mm_loadu_pd(xs + i - 1);
            const __m128d after = _mm_loadu_pd(xs + i);
            if (_mm_movemask_pd(_mm_cmpnle_pd(before, after)) != 0)
                return false;
        }
#endif
        for (; i < n; ++i) {
            if (!(xs[i - 1] <= xs[i]))
                return false;
        }
        return true;
    }

    // The same intervals as splitSamplingLengths: a point belongs to the first interval that
    // holds it, so each length starts after the end of the one before.
    void viewInPlace(const Profile &profile, double c)
    {
        const int n = pointCount(profile);
        const double *xs = profile.at(0).constData();
        const double *ys = profile.at(1).constData();
        const QVector<double> starts = samplingLengthStarts(profile, c);
        int previousEnd = 0;
        for (double start : starts) {
            const double *first = std::lower_bound(xs + previousEnd, xs + n, start);
            const double *last = std::upper_bound(first, xs + n, start + c);
            Run run;
            run.xs = first;
            run.ys = ys + (first - xs);
            run.n = int(last - first);
            m_runs.push_back(run);
            previousEnd = int(last - xs);
        }
        m_inPlace = true;
    }

    void copyOut(const Profile &profile, double c)
    {
        m_storage = splitSamplingLengths(profile, c);
        for (const Profile &length : qAsConst(m_storage))
            m_runs.push_back(wholeRun(length));
    }

    QVector<Profile> m_storage;
    std::vector<Run> m_runs;
    // The runs point into the profile's own samples, in profile order.
    bool m_inPlace = false;
};

// The sampling lengths kept while a SamplingLengthReuse lives on this thread. An entry holds a
// copy of its profile: the copy shares the profile's samples, so they can neither be freed nor
// changed in place (a write to any sharing copy detaches it) while the entry lives, and the
// addresses of the samples identify the profile.
struct ReuseEntry
{
    Profile profile;
    double c;
    bool whole;
    std::shared_ptr<const LengthRuns> runs;
};

thread_local int t_reuseDepth = 0;
thread_local std::vector<ReuseEntry> t_reuseEntries;

bool sameSamples(const Profile &a, const Profile &b)
{
    return a.at(0).constData() == b.at(0).constData() && a.at(1).constData() == b.at(1).constData()
        && pointCount(a) == pointCount(b);
}

// The sampling lengths of a profile (with or without mean lines), or the whole profile as one
// run with its mean line; taken from the reuse store when one is open on this thread.
class Lengths
{
public:
    Lengths(const Profile &profile, double c, bool withMeanLines, bool whole = false)
    {
        if (t_reuseDepth == 0 || pointCount(profile) == 0) {
            m_runs = std::make_shared<const LengthRuns>(profile, c, withMeanLines, whole);
            return;
        }
        if (const ReuseEntry *entry = find(profile, c, whole)) {
            m_runs = entry->runs;
            return;
        }
        // Stored entries carry their mean lines, whoever asks next. The whole profile is fitted
        // along with its first split: Rt and RSm are shown with the others.
        if (!whole && !find(profile, c, true)) {
            const auto both = LengthRuns::withWhole(profile, c);
            m_runs = both.first;
            t_reuseEntries.push_back(ReuseEntry {profile, c, false, both.first});
            t_reuseEntries.push_back(ReuseEntry {profile, c, true, both.second});
            return;
        }
        m_runs = std::make_shared<const LengthRuns>(profile, c, true, whole);
        t_reuseEntries.push_back(ReuseEntry {profile, c, whole, m_runs});
    }

    const std::vector<Run> &runs() const { return m_runs->runs(); }
    bool isEmpty() const { return m_runs->isEmpty(); }
    double count() const { return m_runs->count(); }
    const LengthRuns &entry() const { return *m_runs; }

private:
    static const ReuseEntry *find(const Profile &profile, double c, bool whole)
    {
        for (const ReuseEntry &entry : t_reuseEntries) {
            if (entry.whole == whole && sameSamples(entry.profile, profile)
                && (whole || std::memcmp(&entry.c, &c, sizeof(double)) == 0))
                return &entry;
        }
        return nullptr;
    }

    std::shared_ptr<const LengthRuns> m_runs;
};

// Mean over the sampling lengths of a per-length value.
template<class PerLength>
double meanOverLengths(const Profile &profile, double c, PerLength perLength)
{
    const Lengths lengths(profile, c, true);
    if (lengths.isEmpty())
        return 0.0;
    double sum = 0.0;
    for (const Run &run : lengths.runs())
        sum += perLength(run);
    return sum / lengths.count();
}

// Sum over all points of all sampling lengths of |d| (power 1) or d^power, divided by their
// number.
double pooledMoment(const Profile &profile, double c, int power)
{
    const Lengths lengths(profile, c, true);
    if (lengths.isEmpty())
        return 0.0;
    double sum = 0.0;
    double count = 0.0;
    for (const Run &run : lengths.runs()) {
        sum += run.powerSums[power - 1];
        count += run.n;
    }
    return sum / count;
}

double maxDeviation(const Run &run)
{
    return run.highest;
}

double minDeviation(const Run &run)
{
    return run.lowest;
}

std::vector<double> deviations(const Run &run)
{
    std::vector<double> d(size_t(run.n));
    for (int i = 0; i < run.n; ++i)
        d[size_t(i)] = run.deviation(i);
    return d;
}

// Slopes between consecutive raw points of a sampling length: the sum of s² (0) or |s| (1)
// divided by N - 1.
double meanSlopeMeasure(const Run &run, int which)
{
    return run.slopeSums[which] / double(run.n - 1);
}

// Walks the profile elements of a run against its mean line, a point at a time, and reports
// each element that is wider than 1 % of the cut-off and higher than 10 % of Rz, with its width
// and height. The walk starts at the first point below the line. A narrower or lower element is
// not closed: it merges with the next one.
class ElementWalk
{
public:
    ElementWalk(const Run &run, double c, double rz)
        : m_c0(run.c0)
        , m_c1(run.c1)
        , m_c(c)
        , m_rz(rz)
    { }

    template<class Counted>
    void step(double x, double y, Counted counted)
    {
        const double m = m_c0 + m_c1 * x;
        const double d = y - m;
        if (!m_started) {
            if (!(y < m))
                return;
            m_started = true;
            m_x0 = m_prevX = x;
            m_hi = m_lo = d;
        }
        if (m_above && y <= m) {
            m_above = false;
            ++m_closings;
            if (m_prevX - m_x0 > 0.01 * m_c && m_hi - m_lo > 0.1 * m_rz) {
                counted(m_prevX - m_x0, m_hi - m_lo);
                m_x0 = x;
                m_hi = m_lo = d;
            }
        } else if (!m_above) {
            m_above = y > m;
        }
        m_hi = std::max(m_hi, d);
        m_lo = std::min(m_lo, d);
        m_prevX = x;
    }

    // Crossings down through the line after a rise above it, reported or not: the peaks D
    // counts.
    int closings() const { return m_closings; }

private:
    double m_c0, m_c1, m_c, m_rz;
    int m_closings = 0;
    bool m_started = false;
    bool m_above = false;
    double m_x0 = 0.0, m_prevX = 0.0, m_hi = 0.0, m_lo = 0.0;
};

template<class Counted>
void forEachElement(const Run &run, double c, double rz, Counted counted)
{
    ElementWalk walk(run, c, rz);
    for (int i = 0; i < run.n; ++i)
        walk.step(run.x(i), run.y(i), counted);
}

// RSm's element widths over the whole profile and Rc's element heights over the sampling
// lengths. With a reuse store open they are walked once for both and kept with the lengths;
// lengths read in place are walked in the same pass as the whole profile.
const LengthRuns &walkElements(const Lengths &lengths, const Run &whole, double c, double rz)
{
    const LengthRuns &entry = lengths.entry();
    if (entry.elementsKnown)
        return entry;
    entry.elementsKnown = true;
    const auto width = [&entry](double w, double) {
        entry.elementWidths += w;
        ++entry.elementWidthCount;
    };
    const auto height = [&entry](double, double h) {
        entry.elementHeights += h;
        ++entry.elementHeightCount;
    };
    if (!entry.inPlace()) {
        forEachElement(whole, c, rz, width);
        for (const Run &run : entry.runs()) {
            ElementWalk runWalk(run, c, rz);
            for (int i = 0; i < run.n; ++i)
                runWalk.step(run.x(i), run.y(i), height);
            entry.elementPeaks.push_back(runWalk.closings());
        }
        return entry;
    }
    ElementWalk wholeWalk(whole, c, rz);
    int done = 0;
    for (const Run &run : entry.runs()) {
        const int first = int(run.xs - whole.xs);
        for (int i = done; i < first; ++i)
            wholeWalk.step(whole.x(i), whole.y(i), width);
        ElementWalk runWalk(run, c, rz);
        for (int i = 0; i < run.n; ++i) {
            wholeWalk.step(run.x(i), run.y(i), width);
            runWalk.step(run.x(i), run.y(i), height);
        }
        entry.elementPeaks.push_back(runWalk.closings());
        done = first + run.n;
    }
    for (int i = done; i < whole.n; ++i)
        wholeWalk.step(whole.x(i), whole.y(i), width);
    return entry;
}

double materialLengthAbove(const Run &run, double level)
{
    if (run.n < 2)
        return 0.0;
    double total = 0.0;
    double start = 0.0;
    bool above = false;
    for (int i = 0; i < run.n; ++i) {
        if (!above && run.y(i) > level) {
            start = run.x(i);
            above = true;
        } else if (above && run.y(i) < level) {
            total += run.x(i) - start;
            above = false;
        }
    }
    if (above)
        total += run.x(run.n - 1) - start;
    return total;
}

double developedLength(const Run &run)
{
    if (run.n < 3)
        return 0.0;
    double sum = 0.0;
    for (int i = 1; i < run.n; ++i) {
        const double dx = run.x(i) - run.x(i - 1);
        const double dy = run.y(i) - run.y(i - 1);
        sum += std::sqrt(dx * dx + dy * dy);
    }
    return sum;
}

double cachedDevelopedLength(const Run &run)
{
    if (!run.developedKnown) {
        run.developed = developedLength(run);
        run.developedKnown = true;
    }
    return run.developed;
}

double cachedMaterialLengthAbove(const Run &run, double level)
{
    if (!run.materialKnown || std::memcmp(&run.materialLevel, &level, sizeof(double)) != 0) {
        run.material = materialLengthAbove(run, level);
        run.materialLevel = level;
        run.materialKnown = true;
    }
    return run.material;
}

// The five lowest deviations of a run of at least ten points, and its five highest, each in
// the order the selection leaves them; extremesNaN when a deviation is not a number.
const Run &withExtremes(const Run &run)
{
    if (run.extremesKnown)
        return run;
    run.extremesKnown = true;
    const int n = run.n;
    std::vector<double> d = deviations(run);
    run.extremesNaN = anyNaN(d);
    if (run.extremesNaN)
        return run;
    // The five highest to the end, then the five lowest to the front.
    std::nth_element(d.begin(), d.begin() + (n - 5), d.end());
    std::nth_element(d.begin(), d.begin() + 5, d.begin() + (n - 5));
    for (int i = 0; i < 5; ++i) {
        run.fiveLowest[i] = d[size_t(i)];
        run.fiveHighest[i] = d[size_t(n - 5 + i)];
    }
    return run;
}

// Per-length value of ηp and tp: 0 for a length of fewer than three points; divided by the
// number of all lengths.
double sectionMeasure(const Profile &profile, double c, double level, bool relative)
{
    const Lengths lengths(profile, c, false);
    if (lengths.isEmpty())
        return 0.0;
    double sum = 0.0;
    for (const Run &run : lengths.runs()) {
        if (run.n < 3)
            continue;
        const double material = cachedMaterialLengthAbove(run, level);
        sum += relative ? material / run.extent() : material;
    }
    return sum / lengths.count();
}

// Developed length (absolute or relative to the X extent) averaged over the lengths of at least
// two points.
double developedMeasure(const Profile &profile, double c, bool relative)
{
    const Lengths lengths(profile, c, false);
    double sum = 0.0;
    int used = 0;
    for (const Run &run : lengths.runs()) {
        if (run.n < 2)
            continue;
        const double developed = cachedDevelopedLength(run);
        sum += relative ? developed / run.extent() : developed;
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
    const QVector<double> starts = samplingLengthStarts(profile, c);
    const int k = starts.size();
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
    return developedLength(wholeRun(profile));
}

double materialLengthAbove(const Profile &profile, double level)
{
    return materialLengthAbove(wholeRun(profile), level);
}

double calcRa(const Profile &profile, double c)
{
    return pooledMoment(profile, c, 1);
}

double calcRq(const Profile &profile, double c)
{
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
    return meanOverLengths(profile, c,
                           [](const Run &run) { return maxDeviation(run) - minDeviation(run); });
}

double calcRm(const Profile &profile, double c)
{
    return calcRz(profile, c);
}

double calcRmax(const Profile &profile, double c)
{
    return meanOverLengths(profile, c, [](const Run &run) { return run.highestY - run.lowestY; });
}

double calcRp(const Profile &profile, double c)
{
    return meanOverLengths(profile, c, [](const Run &run) { return maxDeviation(run); });
}

double calcRv(const Profile &profile, double c)
{
    return meanOverLengths(profile, c, [](const Run &run) { return std::fabs(minDeviation(run)); });
}

double calcR3z(const Profile &profile, double c)
{
    return meanOverLengths(profile, c, [](const Run &run) {
        const int n = run.n;
        // A length of fewer than three points has no third-highest deviation: no contribution.
        if (n < 3)
            return 0.0;
        if (n >= 10) {
            // The third-lowest and third-highest are among the five lowest and highest.
            const Run &known = withExtremes(run);
            if (known.extremesNaN)
                return std::numeric_limits<double>::quiet_NaN();
            double lows[5];
            double highs[5];
            std::copy(known.fiveLowest, known.fiveLowest + 5, lows);
            std::copy(known.fiveHighest, known.fiveHighest + 5, highs);
            std::sort(lows, lows + 5);
            std::sort(highs, highs + 5);
            return highs[2] - lows[2];
        }
        std::vector<double> d = deviations(run);
        if (anyNaN(d))
            return std::numeric_limits<double>::quiet_NaN();
        // Ascending: the third-lowest is at 2, the third-highest at n - 3.
        std::nth_element(d.begin(), d.begin() + 2, d.end());
        const double thirdLowest = d[2];
        // From five points on the third-highest lies above the third-lowest; with three or four
        // it is one of the two lowest, which the first selection left unordered.
        if (n >= 5)
            std::nth_element(d.begin() + 2, d.begin() + (n - 3), d.end());
        else
            std::sort(d.begin(), d.begin() + 2);
        const double thirdHighest = d[size_t(n - 3)];
        return thirdHighest - thirdLowest;
    });
}

double calcRz10(const Profile &profile, double c)
{
    const Lengths lengths(profile, c, true);
    double sum = 0.0;
    int used = 0;
    for (const Run &run : lengths.runs()) {
        const int n = run.n;
        if (n < 10)
            continue;
        ++used;
        const Run &known = withExtremes(run);
        if (known.extremesNaN) {
            sum += std::numeric_limits<double>::quiet_NaN();
            continue;
        }
        double highest = 0.0;
        double lowest = 0.0;
        for (int i = 0; i < 5; ++i) {
            lowest += known.fiveLowest[i];
            highest += known.fiveHighest[i];
        }
        sum += highest / 5.0 - lowest / 5.0;
    }
    return used > 0 ? sum / used : 0.0;
}

double calcDeltaQ(const Profile &profile, double c)
{
    return meanOverLengths(profile, c,
                           [](const Run &run) { return std::sqrt(meanSlopeMeasure(run, 0)); })
        * kRadToDeg;
}

double calcDeltaA(const Profile &profile, double c)
{
    return meanOverLengths(profile, c, [](const Run &run) { return meanSlopeMeasure(run, 1); })
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
    const Lengths whole(profile, 0.0, true, true);
    double widths = 0.0;
    int count = 0;
    if (t_reuseDepth > 0) {
        const LengthRuns &walked
            = walkElements(Lengths(profile, c, true), whole.runs().front(), c, rz);
        widths = walked.elementWidths;
        count = walked.elementWidthCount;
    } else {
        forEachElement(whole.runs().front(), c, rz, [&](double width, double) {
            widths += width;
            ++count;
        });
    }
    return count > 0 ? widths / count : 0.0;
}

double calcRc(const Profile &profile, double c)
{
    const double rz = calcRz(profile, c);
    if (!(rz > 0.0))
        return 0.0;
    double heights = 0.0;
    int count = 0;
    const Lengths lengths(profile, c, true);
    if (t_reuseDepth > 0) {
        const LengthRuns &walked
            = walkElements(lengths, Lengths(profile, 0.0, true, true).runs().front(), c, rz);
        heights = walked.elementHeights;
        count = walked.elementHeightCount;
    } else {
        for (const Run &run : lengths.runs()) {
            forEachElement(run, c, rz, [&](double, double height) {
                heights += height;
                ++count;
            });
        }
    }
    return count > 0 ? heights / count : 0.0;
}

double calcD(const Profile &profile, double c)
{
    if (t_reuseDepth > 0) {
        // The peaks were counted with the Rc elements when those were walked.
        const double rz = calcRz(profile, c);
        const Lengths lengths(profile, c, true);
        if (rz > 0.0 && !lengths.isEmpty()) {
            const LengthRuns &walked
                = walkElements(lengths, Lengths(profile, 0.0, true, true).runs().front(), c, rz);
            double sum = 0.0;
            for (size_t j = 0; j < lengths.runs().size(); ++j)
                sum += walked.elementPeaks[j] / (lengths.runs()[j].extent() / 10000.0);
            return sum / lengths.count();
        }
    }
    return meanOverLengths(profile, c, [](const Run &run) {
        int i = 0;
        while (i < run.n && !(run.y(i) < run.mean(i)))
            ++i;
        int peaks = 0;
        bool above = false;
        for (; i < run.n; ++i) {
            const double y = run.y(i);
            const double m = run.mean(i);
            if (above && y <= m) {
                above = false;
                ++peaks;
            } else if (!above) {
                above = y > m;
            }
        }
        return peaks / (run.extent() / 10000.0);
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
    const Lengths whole(profile, 0.0, true, true);
    return maxDeviation(whole.runs().front()) - minDeviation(whole.runs().front());
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

SamplingLengthReuse::SamplingLengthReuse()
{
    ++t_reuseDepth;
}

SamplingLengthReuse::~SamplingLengthReuse()
{
    if (--t_reuseDepth == 0)
        t_reuseEntries.clear();
}

} // namespace Algos
