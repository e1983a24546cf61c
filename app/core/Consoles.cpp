#include "core/Consoles.h"

#include <QHash>

#include <algorithm>

namespace {

// The five probe values a console and the calibration group share, under the same names.
template<class From, class To>
void assignProbeValues(const From &from, To &to)
{
    to.tool_head_radius_down = from.tool_head_radius_down;
    to.tool_head_radius_up = from.tool_head_radius_up;
    to.double_sided_probe_high = from.double_sided_probe_high;
    to.needle_bias = from.needle_bias;
    to.roughness_ratio = from.roughness_ratio;
}

} // namespace

void copyProbeValues(const ConsoleParams &from, ConsoleParams &to)
{
    assignProbeValues(from, to);
}

void copyConsoleToCalibration(Settings &s)
{
    assignProbeValues(s.current_console, s.calibration);
}

void copyCalibrationToConsole(Settings &s)
{
    assignProbeValues(s.calibration, s.current_console);
}

bool sameConsole(const ConsoleParams &a, const ConsoleParams &b)
{
    return a.name == b.name && a.tool_head_radius_down == b.tool_head_radius_down
        && a.tool_head_radius_up == b.tool_head_radius_up
        && a.double_sided_probe_high == b.double_sided_probe_high && a.needle_bias == b.needle_bias
        && a.roughness_ratio == b.roughness_ratio;
}

bool hasConsoleNamed(const Settings &s, const QString &name)
{
    return std::any_of(s.consoles.cbegin(), s.consoles.cend(),
                       [&name](const ConsoleParams &console) { return console.name == name; });
}

bool selectConsoleByName(Settings &s, const QString &name)
{
    bool found = false;
    for (const ConsoleParams &console : qAsConst(s.consoles)) {
        if (console.name == name) {
            s.current_console = console;
            found = true;
        }
    }
    return found;
}

QList<ConsoleParams> rebuildConsoles(const QList<ConsoleParams> &stored,
                                     const QList<ConsoleRow> &rows)
{
    QHash<QString, QList<ConsoleParams>> byName;
    for (const ConsoleParams &console : stored)
        byName[console.name].append(console);
    QHash<QString, int> taken;
    QList<ConsoleParams> result;
    for (const ConsoleRow &row : rows) {
        ConsoleParams console;
        if (row.known) {
            const QList<ConsoleParams> same = byName.value(row.nameAtOpening);
            if (!same.isEmpty()) {
                const int index = std::min(taken[row.nameAtOpening]++, int(same.size()) - 1);
                console = same.at(index);
            }
        }
        console.name = row.name;
        result.append(console);
    }
    return result;
}
