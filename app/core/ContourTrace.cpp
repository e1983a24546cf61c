#include "core/ContourTrace.h"

#include "core/TraceFileKeys.h"
#include "processing/Cancellation.h"
#include "processing/ProfileFilters.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

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
    Algos::spreadEqualRunsInPlace(data[0]);
    if (service.is_disabled_gauss_filter && measurementMode == 0
        && !Algos::cancellationRequested()) {
        smooth();
        // A contour is smoothed once per processing: the filter's transform is given back before
        // the compensation takes its own memory.
        Algos::releaseFilterWorkspace();
    }
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
    // In place: the filter trims by X, and the other channels lose the same samples, so that
    // every channel keeps the same length and sample i stays one sample. X that falls back on
    // itself can leave the filter without a defined value: the unsmoothed contour is kept then
    // rather than garbage (only finite results are taken).
    Algos::gaussianFilterInPlace(data, DBL_MAX, shortCut, true);
}

namespace {

// The samples whose tip circles can reach sample k are those of the window [front, next) that
// the finishing keeps along the trace (front leaves once its X lies more than r below X[k], next
// joins while its X lies at most r above X[k]) and lie within r of X[k]. A small window is
// scanned as it is. A large one (X running back, or many samples at nearly one X) is searched
// in a tree over the samples in trace order: every node knows the X range of its samples and
// their lowest Y (needle down; the highest with the needle up), which bounds what any of its
// circles can give at X[k]. Nodes that cannot beat the value found so far are passed over, so
// the work follows the samples that come close to the result, not those within reach.
//
// The bound is computed with the same operations as a sample's own value, from the nearest X of
// the node and its extreme Y; rounding is monotonic, so no sample of a node can come out beyond
// its bound and the result is, bit for bit, that of trying every sample of the window.
class ReachWindow
{
public:
    ReachWindow(const QVector<double> &x, const QVector<double> &y, double r, bool down)
        : m_x(x)
        , m_y(y)
        , m_r(r)
        , m_rr(r * r)
        , m_down(down)
    { }

    // Samples and nodes looked at so far, a measure of the work done.
    long long work() const { return m_work; }

    // The compensated value of sample k, the window being [front, next).
    double valueAt(int k, int front, int next)
    {
        const double xk = m_x.at(k);
        const double own = m_down ? m_y.at(k) - m_r : m_y.at(k) + m_r;
        // A sample without a finite X lies within reach of no circle but its own: every
        // difference to it is infinite or not a number. Nothing replaces an own value that is
        // not a number.
        if (!std::isfinite(xk) || std::isnan(own))
            return own;
        m_best = own;
        m_bestIndex = -1;
        if (next - front <= kScanned) {
            for (int j = front; j < next; ++j)
                consider(xk, j);
            m_work += next - front + 1;
            return m_best;
        }
        if (m_nodes.empty())
            build();
        double bound;
        if (boundOf(m_nodes[1], xk, &bound) && beats(bound))
            search(1, 0, m_leaves * kBlock, xk, front, next);
        return m_best;
    }

private:
    struct Node
    {
        // The X range of the samples that can reach anything (finite X, Y a number); lo > hi
        // when there are none.
        double lo;
        double hi;
        // Their lowest Y (needle down) or highest (needle up).
        double y;
    };

    // The value of sample j at X[k], taken when it is beyond the best so far. Of equal values
    // (+0 and −0) the own circle's wins, then the one of the lowest index, as in an index-order
    // scan.
    void consider(double xk, int j)
    {
        const double d = xk - m_x.at(j);
        const double t = m_rr - d * d;
        if (t < 0)
            return;
        const double v = m_down ? m_y.at(j) - std::sqrt(t) : m_y.at(j) + std::sqrt(t);
        if ((m_down ? v < m_best : v > m_best)
            || (v == m_best && v == 0.0 && m_bestIndex >= 0 && j < m_bestIndex)) {
            m_best = v;
            m_bestIndex = j;
        }
    }

    // The best value any sample of the node may give at X[k], computed as a sample's value
    // from the node's nearest X and extreme Y: no sample's value lies beyond it. False when no
    // sample of the node reaches X[k].
    bool boundOf(const Node &node, double xk, double *bound) const
    {
        if (!(node.lo <= node.hi))
            return false;
        const double d = xk < node.lo ? node.lo - xk : xk > node.hi ? xk - node.hi : 0.0;
        const double t = m_rr - d * d;
        // Not a number only when both squares are infinite: then so is every sample's.
        if (!(t >= 0))
            return false;
        *bound = m_down ? node.y - std::sqrt(t) : node.y + std::sqrt(t);
        return true;
    }
    // Whether a value at the bound would be taken: beyond the best so far, or equal to a zero
    // found at a later sample, whose sign it may change.
    bool beats(double bound) const
    {
        if (m_down ? bound < m_best : bound > m_best)
            return true;
        return bound == m_best && m_best == 0.0 && m_bestIndex >= 0;
    }

    void build()
    {
        const int n = std::min(m_x.size(), m_y.size());
        m_leaves = 1;
        while (m_leaves * kBlock < n)
            m_leaves *= 2;
        m_nodes.assign(size_t(2 * m_leaves), Node {1.0, 0.0, 0.0});
        for (int leaf = 0; leaf < m_leaves; ++leaf) {
            Node node {std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity(),
                       m_down ? std::numeric_limits<double>::infinity()
                              : -std::numeric_limits<double>::infinity()};
            const int end = std::min(n, (leaf + 1) * kBlock);
            for (int j = leaf * kBlock; j < end; ++j) {
                const double xj = m_x.at(j);
                const double yj = m_y.at(j);
                if (!std::isfinite(xj) || std::isnan(yj))
                    continue;
                node.lo = std::min(node.lo, xj);
                node.hi = std::max(node.hi, xj);
                node.y = m_down ? std::min(node.y, yj) : std::max(node.y, yj);
            }
            m_nodes[size_t(m_leaves + leaf)] = node;
        }
        for (int i = m_leaves - 1; i >= 1; --i) {
            const Node &a = m_nodes[size_t(2 * i)];
            const Node &b = m_nodes[size_t(2 * i + 1)];
            m_nodes[size_t(i)] = Node {std::min(a.lo, b.lo), std::max(a.hi, b.hi),
                                       m_down ? std::min(a.y, b.y) : std::max(a.y, b.y)};
        }
        m_work += n;
    }

    // Node i holds the samples [from, to); the window is [front, next). Its children are opened
    // best bound first: the values found there make the other's bound more likely to fail.
    void search(int i, int from, int to, double xk, int front, int next)
    {
        ++m_work;
        if (i >= m_leaves) {
            const int end = std::min(to, next);
            for (int j = std::max(from, front); j < end; ++j)
                consider(xk, j);
            m_work += end - std::max(from, front);
            return;
        }
        const int mid = from + (to - from) / 2;
        double bounds[2];
        const bool open[2]
            = {mid > front && from < next && boundOf(m_nodes[size_t(2 * i)], xk, &bounds[0]),
               to > front && mid < next && boundOf(m_nodes[size_t(2 * i + 1)], xk, &bounds[1])};
        const int first
            = open[1] && (!open[0] || (m_down ? bounds[1] < bounds[0] : bounds[1] > bounds[0]));
        for (int c : {first, 1 - first}) {
            if (!open[c] || !beats(bounds[c]))
                continue;
            if (c == 0)
                search(2 * i, from, mid, xk, front, next);
            else
                search(2 * i + 1, mid, to, xk, front, next);
        }
    }

    // A window of up to this many samples is scanned whole; a leaf of the tree holds kBlock.
    static constexpr int kScanned = 64;
    static constexpr int kBlock = 16;

    const QVector<double> &m_x;
    const QVector<double> &m_y;
    const double m_r;
    const double m_rr;
    const bool m_down;
    long long m_work = 0;
    double m_best = 0.0;
    int m_bestIndex = -1;
    // The tree, built at the first large window: node 1 is the root, the children of node i are
    // 2i and 2i + 1, and the m_leaves leaves follow from index m_leaves on.
    std::vector<Node> m_nodes;
    int m_leaves = 0;
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
    ReachWindow window(x, y, r, down);
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
    }
    data[1] = out;
}

qint64 ContourTrace::processingWorkBytes(qint64 samples) const
{
    const ServiceSettings service = Settings::groupSnapshot(&Settings::service);
    qint64 most = AbstractTrace::processingWorkBytes(samples);
    if (service.is_disabled_gauss_filter && measurementMode == 0)
        most = std::max(most, Algos::gaussianFilterWorkBytes(samples));
    // The compensation's output, and its search tree: three numbers per node, at most four
    // nodes per leaf of 16 samples.
    if (service.is_disabled_radius_elimination)
        most = std::max(most, samples * qint64(sizeof(double)) + (samples / 16 + 1) * 4 * 24);
    return most;
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
