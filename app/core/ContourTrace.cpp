#include "core/ContourTrace.h"

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
    // The contour finishing (smoothing, tip radius compensation) is added with the numeric
    // kernels; until then the processed data stay as the chains left them.
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
