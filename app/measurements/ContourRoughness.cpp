#include "measurements/ContourRoughness.h"

#include "processing/CutOffs.h"
#include "processing/ProfileFilters.h"

#include <QtGlobal>

#include <cmath>

const CorrectionPoint kRaCorrectionPoints[7]
    = {{0.0, 1.0},    {0.298, 1.02}, {1.08, 1.0},   {2.636, 1.094},
       {4.19, 1.038}, {5.42, 0.917}, {10.12, 0.921}};
const CorrectionPoint kRzCorrectionPoints[7]
    = {{0.0, 1.0},   {0.62, 1.02},   {2.31, 1.0},   {5.04, 1.094},
       {9.7, 1.038}, {12.75, 0.917}, {24.09, 0.921}};

double roughnessCorrection(double x, const CorrectionPoint (&table)[7])
{
    if (x <= table[0].x)
        return table[0].factor;
    if (x >= table[6].x)
        return table[6].factor;
    for (int i = 0; i < 6; ++i) {
        const CorrectionPoint &a = table[i];
        const CorrectionPoint &b = table[i + 1];
        if (a.x <= x && x <= b.x) {
            if (qFuzzyCompare(a.x, b.x))
                return a.factor;
            return a.factor + (x - a.x) / (b.x - a.x) * (b.factor - a.factor);
        }
    }
    return 1.0; // not a number
}

bool roundsToZero(double value)
{
    return std::round(value * 10000.0) / 10000.0 == 0.0;
}

CutOffChoice chooseCutOff(const RoughnessProfile &profile,
                          const std::function<double(const RoughnessProfile &, double)> &parameter,
                          const std::function<int(double)> &prescribe)
{
    CutOffChoice choice;
    if (profile.size() < 2 || profile.at(0).isEmpty())
        return choice;
    const double length = profile.at(0).last() - profile.at(0).first();
    double cutOff = 800.0;
    QVector<double> tried {cutOff};
    for (;;) {
        if (2.0 * cutOff > length) {
            // Too short for the cut-off the value asks for.
            choice.missing = 2.0 * cutOff - length;
            if (!choice.computed)
                choice.cutOff = cutOff;
            break;
        }
        const RoughnessProfile filtered
            = Algos::gaussianFilter(profile, cutOff, Algos::shortCutOff(cutOff));
        choice.value = parameter(filtered, cutOff);
        choice.computed = true;
        choice.cutOff = cutOff;
        if (roundsToZero(choice.value))
            break;
        const double next = prescribe(choice.value);
        if (next == cutOff || !(next > 0.0) || tried.contains(next))
            break;
        cutOff = next;
        tried.append(cutOff);
    }
    return choice;
}
