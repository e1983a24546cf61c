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

int standardCutOff(double ra, int standard)
{
    // The upper bounds of 80, 250, 800 and 2500 µm; anything above gets 8000 µm.
    static const double kGost[4] = {0.025, 0.4, 3.2, 12.5};
    static const double kIso[4] = {0.02, 0.1, 2.0, 10.0};
    static const int kCutOffs[5] = {80, 250, 800, 2500, 8000};
    if (std::isnan(ra))
        return 0;
    const double *bounds = nullptr;
    if (standard == GOST_2789_73)
        bounds = kGost;
    else if (standard == ISO_4288)
        bounds = kIso;
    else
        return 0;
    for (int i = 0; i < 4; ++i) {
        if (ra < bounds[i])
            return kCutOffs[i];
    }
    return kCutOffs[4];
}

} // namespace Algos
