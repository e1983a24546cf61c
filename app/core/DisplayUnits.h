#pragma once

#include <QString>

// The display unit of lengths, the setting view/axis_unit: 0 millimetres, 1 micrometres,
// 2 nanometres. Trace data are in micrometres, the contour window draws and measures in the
// display unit, and a measurement keeps its cursor in millimetres. The names and factors of the
// units are written here and nowhere else.

// The settings' values of the three units.
enum DisplayUnitIndex : int { MillimetreUnit = 0, MicrometreUnit = 1, NanometreUnit = 2 };

// The name of a display unit: "мм", "мкм", "нм"; empty for any other setting.
QString unitSuffixOf(int unit);

// The display unit of a name; -1 for a name that is none of the three.
int unitOfSuffix(const QString &suffix);

// Display units per millimetre: 1, 1000, 1e6; 1 for any other setting (millimetres).
double unitsPerMillimetreOf(int unit);

// Display units per micrometre of trace data: 0.001, 1, 1000; 0 for any other setting.
double unitsPerMicrometreOf(int unit);

// Micrometres of trace data per display unit, the inverse: 1000, 1, 0.001; 0 for any other
// setting.
double micrometresPerUnitOf(int unit);

// The factor that turns a length written with the name fromSuffix into the display unit
// toUnit; 0 when either is not one of the three units.
double unitConversionFactor(const QString &fromSuffix, int toUnit);
