#include "core/DisplayUnits.h"

namespace {

struct DisplayUnit
{
    const char *name;
    double perMillimetre;
};

// Indexed by view/axis_unit.
const DisplayUnit kUnits[] = {
    {"мм", 1.0},
    {"мкм", 1000.0},
    {"нм", 1000000.0},
};

constexpr int kUnitCount = int(sizeof(kUnits) / sizeof(kUnits[0]));

const DisplayUnit *unitAt(int unit)
{
    return unit >= 0 && unit < kUnitCount ? &kUnits[unit] : nullptr;
}

} // namespace

QString unitSuffixOf(int unit)
{
    const DisplayUnit *u = unitAt(unit);
    return u ? QString::fromUtf8(u->name) : QString();
}

int unitOfSuffix(const QString &suffix)
{
    for (int i = 0; i < kUnitCount; ++i) {
        if (suffix == QString::fromUtf8(kUnits[i].name))
            return i;
    }
    return -1;
}

double unitsPerMillimetreOf(int unit)
{
    const DisplayUnit *u = unitAt(unit);
    return u ? u->perMillimetre : 1.0;
}

double unitsPerMicrometreOf(int unit)
{
    // The factors are whole powers of a thousand, so the quotient is the nearest double to the
    // decimal factor (0.001 for millimetres).
    const DisplayUnit *u = unitAt(unit);
    return u ? u->perMillimetre / 1000.0 : 0.0;
}

double micrometresPerUnitOf(int unit)
{
    // As above: the quotient is the nearest double to the decimal factor (0.001 for nanometres).
    const DisplayUnit *u = unitAt(unit);
    return u ? 1000.0 / u->perMillimetre : 0.0;
}

double unitConversionFactor(const QString &fromSuffix, int toUnit)
{
    const DisplayUnit *from = unitAt(unitOfSuffix(fromSuffix));
    const DisplayUnit *to = unitAt(toUnit);
    if (!from || !to)
        return 0.0;
    return to->perMillimetre / from->perMillimetre;
}
