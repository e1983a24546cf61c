#pragma once

#include "core/Settings.h"

namespace testsupport {

// A console record for tests: the lower tip radius given, the upper one 1 µm larger, and fixed
// other values that differ from a new console's.
inline ConsoleParams testConsole(const QString &name, double radiusDown)
{
    ConsoleParams console;
    console.name = name;
    console.tool_head_radius_down = radiusDown;
    console.tool_head_radius_up = radiusDown + 1;
    console.double_sided_probe_high = 25.0;
    console.needle_bias = 0.25;
    console.roughness_ratio = 7.5;
    return console;
}

} // namespace testsupport
