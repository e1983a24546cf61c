#include "processing/CutOffs.h"

#include <cmath>

namespace Algos {

double shortCutOff(double cutOff)
{
    if (cutOff == 80.0)
        return 2.6666666666666665;
    if (cutOff == 250.0)
        return 2.5;
    return cutOff / 300;
}

CutOffBand roughnessFilterBand(double cutOff)
{
    return {cutOff, shortCutOff(cutOff)};
}

CutOffBand wavinessFilterBand(double cutOff)
{
    return {cutOff, cutOff + cutOff - shortCutOff(cutOff)};
}

CutOffBand roughnessParameterBand(double filterLength, double cutOff)
{
    return {filterLength, shortCutOff(cutOff)};
}

CutOffBand wavinessParameterBand(double filterLength, double cutOff)
{
    const double lambdaS = shortCutOff(cutOff);
    return {filterLength, (cutOff + cutOff - lambdaS) + lambdaS};
}

namespace {

// The cut-off of the first upper bound that value stays below; 8000 µm above the last.
int fromTable(double value, const double (&bounds)[4])
{
    static const int kCutOffs[5] = {80, 250, 800, 2500, 8000};
    for (int i = 0; i < 4; ++i) {
        if (value < bounds[i])
            return kCutOffs[i];
    }
    return kCutOffs[4];
}

// The cut-off a standard's table prescribes for a measured value; 0 for NaN or another standard.
int fromTables(double value, int standard, const double (&gost)[4], const double (&iso)[4])
{
    if (std::isnan(value))
        return 0;
    if (standard == GOST_2789_73)
        return fromTable(value, gost);
    if (standard == ISO_4288)
        return fromTable(value, iso);
    return 0;
}

} // namespace

int standardCutOff(double ra, int standard)
{
    // The upper bounds of 80, 250, 800 and 2500 µm; anything above gets 8000 µm.
    static const double kGost[4] = {0.025, 0.4, 3.2, 12.5};
    static const double kIso[4] = {0.02, 0.1, 2.0, 10.0};
    return fromTables(ra, standard, kGost, kIso);
}

int standardCutOffForRz(double rz, int standard)
{
    static const double kGost[4] = {0.1, 1.6, 12.5, 50.0};
    static const double kIso[4] = {0.1, 0.5, 10.0, 50.0};
    return fromTables(rz, standard, kGost, kIso);
}

} // namespace Algos
