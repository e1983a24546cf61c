#pragma once

#include "core/Settings.h"

#include <QList>
#include <QString>

// Operations on the console records of a settings record. They change the record only; the
// caller holds the write lock (Settings::writeLocker) and saves.

// The current console's five probe values go into the calibration group.
void copyConsoleToCalibration(Settings &s);
// The calibration group's five probe values go into the current console.
void copyCalibrationToConsole(Settings &s);
// Copies the five probe values of from into to; the name stays.
void copyProbeValues(const ConsoleParams &from, ConsoleParams &to);
bool sameConsole(const ConsoleParams &a, const ConsoleParams &b);
// True when a console of the list bears the name.
bool hasConsoleNamed(const Settings &s, const QString &name);
// Makes the last console named name the current one (with equal names the last one wins);
// false, with the record unchanged, when no console bears the name.
bool selectConsoleByName(Settings &s, const QString &name);

// One row of a console list being edited: its name now and, for a row that stood for a stored
// console when the editing began, the name that console had then.
struct ConsoleRow
{
    QString name;
    bool known = false;
    QString nameAtOpening;
};

// The console list the rows describe, in row order. A known row takes the probe values of the
// stored console it stood for: the k-th row opened as N takes those of the k-th console named N
// in `stored` (the last one when fewer remain), so consoles that share a name keep their own
// values. A new row, or one whose name no stored console bears any more, gets the values of a
// new ConsoleParams.
QList<ConsoleParams> rebuildConsoles(const QList<ConsoleParams> &stored,
                                     const QList<ConsoleRow> &rows);
