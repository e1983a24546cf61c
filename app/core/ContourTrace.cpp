#include "core/ContourTrace.h"

#include "core/TraceFileKeys.h"
#include "processing/Cancellation.h"
#include "processing/ProfileFilters.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <memory_resource>
#include <set>
#include <utility>

ContourTrace::ContourTrace()
    : AbstractTrace(3)
{ }

ContourTrace::ContourTrace(const TData &columns)
    : ContourTrace()
{
    if (columns.size() < 3)
        return;
    const int count = columns.at(0).size();
    QVector<double> sample(3);
    for (int i = 0; i < count && i < columns.at(1).size() && i < columns.at(2).size(); ++i) {
        sample[0] = columns.at(0).at(i);
        sample[1] = columns.at(1).at(i);
        sample[2] = columns.at(2).at(i);
        appendPoint(sample);
    }
}

void ContourTrace::finalizeAfterRead()
{
    TData &data = *processedData;
    if (data.size() < 3 || data.at(0).isEmpty() || data.at(1).isEmpty()
        || data.at(0).size() != data.at(1).size())
        return;
    // This runs on the data provider's worker thread as well: read a consistent copy.
    const ServiceSettings service = Settings::groupSnapshot(&Settings::service);

    // A read that is stopped ends the finishing after the step that sees it; that step leaves
    // the data as it found them.
    data[0] = Algos::spreadEqualRuns(data.at(0));
    if (service.is_disabled_gauss_filter && measurementMode == 0 && !Algos::cancellationRequested())
        smooth();
    if (service.is_disabled_radius_elimination && !Algos::cancellationRequested())
        compensateToolRadius();
    if (Algos::cancellationRequested())
        return;
    if (needlePressing == MovementSettings::E_PRESSING_UP) {
        const double dx = needleBias * 1000;
        const double dy = doubleSidedProbeHigh * 1000;
        QVector<double> &x = data[0];
        QVector<double> &y = data[1];
        for (int i = 0; i < y.size(); ++i) {
            x[i] += dx;
            y[i] += dy;
        }
    }
}

void ContourTrace::takeCalibration(const CalibrationSettings &calibration, int mode)
{
    toolHeadRadiusDown = calibration.tool_head_radius_down;
    toolHeadRadiusUp = calibration.tool_head_radius_up;
    doubleSidedProbeHigh = calibration.double_sided_probe_high;
    needleBias = calibration.needle_bias;
    rackPerpendicular = calibration.rack_prpendicular;
    roughnessRatio = calibration.roughness_ratio;
    xAxisCompressionRatio = calibration.x_axis_compression_ratio;
    yAxisCompressionRatio = calibration.y_axis_compression_ratio;
    displacementCoefficient = calibration.displacement_coefficient;
    measurementMode = mode;
}

void ContourTrace::takeProbeValues(const ConsoleParams &console)
{
    toolHeadRadiusDown = console.tool_head_radius_down;
    toolHeadRadiusUp = console.tool_head_radius_up;
    doubleSidedProbeHigh = console.double_sided_probe_high;
    needleBias = console.needle_bias;
    roughnessRatio = console.roughness_ratio;
}

void ContourTrace::takeCalibration(const ContourTrace &other)
{
    toolHeadRadiusDown = other.toolHeadRadiusDown;
    toolHeadRadiusUp = other.toolHeadRadiusUp;
    doubleSidedProbeHigh = other.doubleSidedProbeHigh;
    needleBias = other.needleBias;
    rackPerpendicular = other.rackPerpendicular;
    roughnessRatio = other.roughnessRatio;
    xAxisCompressionRatio = other.xAxisCompressionRatio;
    yAxisCompressionRatio = other.yAxisCompressionRatio;
    displacementCoefficient = other.displacementCoefficient;
}

double ContourTrace::contactRadius() const
{
    const double r = needlePressing == MovementSettings::E_PRESSING_DOWN ? toolHeadRadiusDown
                                                                         : toolHeadRadiusUp;
    return r > 0.0 && std::isfinite(r) ? r : 0.0;
}

void ContourTrace::smooth()
{
    TData &data = *processedData;
    if (data.size() < 2)
        return;
    const double shortCut = std::min(20.0, contactRadius());
    TData filtered = Algos::gaussianFilter({data.at(0), data.at(1)}, DBL_MAX, shortCut);
    if (filtered.size() != 2 || Algos::cancellationRequested())
        return;
    for (double v : filtered.at(1)) {
        // X that falls back on itself can leave the filter without a defined value: keep the
        // unsmoothed contour rather than garbage.
        if (!std::isfinite(v))
            return;
    }
    // The filter trims by X; the other channels lose the same samples so that every channel
    // keeps the same length and sample i stays one sample.
    TData rest;
    rest.append(data.at(0));
    for (int c = 2; c < data.size(); ++c)
        rest.append(data.at(c));
    rest = Algos::trimRunInOut(std::move(rest), shortCut);
    if (rest.at(0).size() != filtered.at(0).size())
        return;
    data[0] = filtered.at(0);
    data[1] = filtered.at(1);
    for (int c = 2; c < data.size(); ++c)
        data[c] = rest.at(c - 1);
}

namespace {

// The samples whose tip circles can reach sample k are those of the window [front, next) that
// the finishing keeps along the trace (front leaves once its X lies more than r below X[k], next
// joins while its X lies at most r above X[k]) and lie within r of X[k]. Where X runs forward the
// window holds little more than those samples and is scanned as it is. Where X runs back, the
// window keeps every sample of the way back and the one before (nothing ever lies more than r
// below a falling X), so it is kept ordered by X as well and only its samples near X[k] are
// visited: the work per sample follows the samples within reach, not the length of the trace.
class ReachWindow
{
public:
    ReachWindow(const QVector<double> &x, double r, bool down)
        : m_x(x)
        , m_y(nullptr)
        , m_r(r)
        , m_down(down)
        , m_byX(&m_pool)
    { }

    void setY(const QVector<double> &y) { m_y = &y; }
    // Samples looked at so far, a measure of the work done.
    long long work() const { return m_work; }
    // Whether the work was stopped through the cancellation scope (the values are then void).
    bool stopped() const { return m_stopped; }

    // The compensated value of sample k, the window being [front, next).
    double valueAt(int k, int front, int next)
    {
        const double xk = m_x.at(k);
        const double own = m_down ? m_y->at(k) - m_r : m_y->at(k) + m_r;
        // A sample without a finite X lies within reach of no circle but its own: every
        // difference to it is infinite or not a number.
        if (!std::isfinite(xk))
            return own;
        const int size = next - front;
        if (size <= kScanned || size <= 4 * m_inReach) {
            double h = own;
            int inReach = 0;
            for (int j = front; j < next; ++j) {
                const double t = reach(xk, j);
                if (t < 0)
                    continue;
                ++inReach;
                const double v = lift(j, t);
                h = m_down ? std::min(h, v) : std::max(h, v);
            }
            m_inReach = inReach;
            m_work += size + 1;
            return h;
        }
        m_work += follow(front, next) + 1;
        if (m_stopped)
            return own;
        // Every sample whose difference d to X[k] gives r² − d² ≥ 0 lies within r (1 + 1e-12)
        // of X[k], plus the rounding of X[k] itself and of a radius whose square underflows.
        const double band = m_r * (1.0 + 1e-12) + std::fabs(xk) * 1e-15 + 1e-150;
        double h = own;
        int hIndex = -1;
        int inReach = 0;
        for (auto it = m_byX.lower_bound({xk - band, std::numeric_limits<int>::min()});
             it != m_byX.end() && it->first <= xk + band; ++it) {
            ++inReach;
            const int j = it->second;
            const double t = reach(xk, j);
            if (t < 0)
                continue;
            const double v = lift(j, t);
            // The samples come in X order here, not in index order: of equal values (+0 and −0)
            // the one of the lowest index wins, the own circle first, as in an index-order scan.
            if ((m_down ? v < h : v > h) || (v == h && j < hIndex)) {
                h = v;
                hIndex = j;
            }
        }
        m_inReach = inReach;
        m_work += inReach;
        return h;
    }

private:
    // r² − d² for the distance d from X[k] to X[j]; negative (or not a number) out of reach.
    double reach(double xk, int j) const
    {
        const double d = xk - m_x.at(j);
        return m_r * m_r - d * d;
    }
    double lift(int j, double t) const
    {
        return m_down ? m_y->at(j) - std::sqrt(t) : m_y->at(j) + std::sqrt(t);
    }

    // Brings the ordered copy to the window [front, next); each sample enters and leaves once.
    // Returns the number of samples that entered or left.
    int follow(int front, int next)
    {
        const int moved = (front - m_from) + (next - m_to);
        if (m_to <= front) {
            m_byX.clear();
            m_from = m_to = front;
        }
        for (; m_from < front; ++m_from) {
            if (!std::isnan(m_x.at(m_from)))
                m_byX.erase({m_x.at(m_from), m_from});
        }
        for (; m_to < next; ++m_to) {
            // The window can take in most of the trace at once: a stopped read does not wait.
            if (Algos::cancellationDue(m_to)) {
                m_stopped = true;
                break;
            }
            // A sample whose X is not a number never joins the window and reaches nothing.
            if (!std::isnan(m_x.at(m_to)))
                m_byX.insert({m_x.at(m_to), m_to});
        }
        return moved;
    }

    // A window of up to this many samples is scanned whole.
    static constexpr int kScanned = 256;

    const QVector<double> &m_x;
    const QVector<double> *m_y;
    const double m_r;
    const bool m_down;
    // Samples found within reach last time; a window not much larger than that is scanned whole,
    // where scanning costs less than the ordered look-up.
    int m_inReach = 0;
    long long m_work = 0;
    bool m_stopped = false;
    std::pmr::unsynchronized_pool_resource m_pool;
    std::pmr::set<std::pair<double, int>> m_byX;
    // The ordered copy holds the samples [m_from, m_to) (NaN X left out).
    int m_from = 0;
    int m_to = 0;
};

} // namespace

void ContourTrace::compensateToolRadius()
{
    TData &data = *processedData;
    if (data.size() < 2)
        return;
    const QVector<double> &x = data.at(0);
    const QVector<double> &y = data.at(1);
    const int n = std::min(x.size(), y.size());
    const double r = contactRadius();
    const bool down = needlePressing == MovementSettings::E_PRESSING_DOWN;
    QVector<double> out(n);
    ReachWindow window(x, r, down);
    window.setY(y);
    int front = 0;
    int next = 0;
    long long nextPoll = 0;
    for (int k = 0; k < n; ++k) {
        // The samples in reach can be many: the stop flag is polled by the work done, not by
        // the samples. A stopped read leaves Y as it was.
        if (window.work() >= nextPoll) {
            if (Algos::cancellationRequested())
                return;
            nextPoll = window.work() + Algos::kCancellationPollInterval;
        }
        const double xk = x.at(k);
        while (front < next && x.at(front) < xk - r)
            ++front;
        while (next < n && x.at(next) <= xk + r)
            ++next;
        // The sample's own circle always counts, so no output keeps an infinite start value,
        // whatever order X comes in.
        out[k] = window.valueAt(k, front, next);
        if (window.stopped())
            return;
    }
    data[1] = out;
}

AbstractTrace *ContourTrace::clone() const
{
    return new ContourTrace(*this);
}

const std::array<ContourTrace::HeaderValue, ContourTrace::kHeaderValueCount> &
ContourTrace::headerValues()
{
    using C = CalibrationSettings;
    static const std::array<HeaderValue, kHeaderValueCount> values {{
        {QStringLiteral("tool_head_radius_down"), &ContourTrace::toolHeadRadiusDown,
         &C::tool_head_radius_down},
        {QStringLiteral("tool_head_radius_up"), &ContourTrace::toolHeadRadiusUp,
         &C::tool_head_radius_up},
        {QStringLiteral("double_sided_probe_high"), &ContourTrace::doubleSidedProbeHigh,
         &C::double_sided_probe_high},
        {QStringLiteral("needle_bias"), &ContourTrace::needleBias, &C::needle_bias},
        {QStringLiteral("rack_perpendicular"), &ContourTrace::rackPerpendicular,
         &C::rack_prpendicular},
        {QStringLiteral("x_axis_compression_ratio"), &ContourTrace::xAxisCompressionRatio,
         &C::x_axis_compression_ratio},
        {QStringLiteral("y_axis_compression_ratio"), &ContourTrace::yAxisCompressionRatio,
         &C::y_axis_compression_ratio},
        {QStringLiteral("displacement_coefficient"), &ContourTrace::displacementCoefficient,
         &C::displacement_coefficient},
        {QStringLiteral("roughness_ratio"), &ContourTrace::roughnessRatio, &C::roughness_ratio},
    }};
    return values;
}

QString ContourTrace::headerText() const
{
    QString text = TraceFileKeys::kNeedlePressing + QLatin1Char(':')
        + (needlePressing == MovementSettings::E_PRESSING_UP ? QLatin1Char('u') : QLatin1Char('d'))
        + QLatin1Char('\n');
    for (const HeaderValue &value : headerValues())
        text += value.key + QLatin1Char(':') + traceNumberText(this->*value.member)
            + QLatin1Char('\n');
    text += TraceFileKeys::kMeasurementMode + QLatin1Char(':') + QString::number(measurementMode)
        + QLatin1Char('\n');
    return text;
}
