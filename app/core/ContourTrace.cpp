#include "core/ContourTrace.h"

#include "processing/ProfileFilters.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <deque>

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

    data[0] = Algos::spreadEqualRuns(data.at(0));
    if (service.is_disabled_gauss_filter && measurementMode == 0)
        smooth();
    if (service.is_disabled_radius_elimination)
        compensateToolRadius();
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
    if (filtered.size() != 2)
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
    std::deque<int> window;
    int next = 0;
    for (int k = 0; k < n; ++k) {
        const double xk = x.at(k);
        while (!window.empty() && x.at(window.front()) < xk - r)
            window.pop_front();
        while (next < n && x.at(next) <= xk + r)
            window.push_back(next++);
        // The sample's own circle always counts, so no output keeps an infinite start value,
        // whatever order X comes in.
        double h = down ? y.at(k) - r : y.at(k) + r;
        for (int j : window) {
            const double d = xk - x.at(j);
            const double t = r * r - d * d;
            if (t < 0)
                continue;
            h = down ? std::min(h, y.at(j) - std::sqrt(t)) : std::max(h, y.at(j) + std::sqrt(t));
        }
        out[k] = h;
    }
    data[1] = out;
}

AbstractTrace *ContourTrace::clone() const
{
    return new ContourTrace(*this);
}

QString ContourTrace::headerText() const
{
    QString text;
    text += QStringLiteral("needle_pressing:")
        + (needlePressing == MovementSettings::E_PRESSING_UP ? QStringLiteral("u")
                                                             : QStringLiteral("d"))
        + QStringLiteral("\n");
    const auto line = [&text](const char *key, double value) {
        text += QLatin1String(key) + QLatin1Char(':') + traceNumberText(value) + QLatin1Char('\n');
    };
    line("tool_head_radius_down", toolHeadRadiusDown);
    line("tool_head_radius_up", toolHeadRadiusUp);
    line("double_sided_probe_high", doubleSidedProbeHigh);
    line("needle_bias", needleBias);
    line("rack_perpendicular", rackPerpendicular);
    line("x_axis_compression_ratio", xAxisCompressionRatio);
    line("y_axis_compression_ratio", yAxisCompressionRatio);
    line("displacement_coefficient", displacementCoefficient);
    line("roughness_ratio", roughnessRatio);
    text += QStringLiteral("measurement_mode:") + QString::number(measurementMode)
        + QStringLiteral("\n");
    return text;
}
