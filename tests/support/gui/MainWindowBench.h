#pragma once

#include "support/SimulatedInstrument.h"
#include "support/TempSettings.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class AbstractTrace;
class DeviceControlWidget;
class MainWindow;
class QPushButton;
class QTreeWidget;
class TraceList;

namespace testsupport {

// "Файл" → "Открыть трассу" with the mouse: the menu bar's title clicked, then the menu's item.
// True when the action was triggered.
bool openTraceWithTheMouse(MainWindow &window, int waitMs = 15000);

// The main window on a simulated instrument (a pseudo-terminal named to the program through the
// environment, as a user names a port), with fresh settings and its automatic saves going to a
// name of their own in a data folder of their own where the application folder takes none.
// The files saved under that name are removed with the bench.
//
//     MainWindowBench bench(SimulatedInstrument::Profilometer, QStringLiteral("Запись"),
//                           [](Settings &s) { s.device.trace_length = 8; });
//     QVERIFY(bench.ready());
//     QVERIFY(bench.record("startTraceButton", 1));
//
// With `OpenLater` the window is made by `openWindow`, so that the instrument can be set going
// first; `closeWindow` ends the program while the instrument goes on, and `openWindow` starts
// it again.
class MainWindowBench
{
public:
    enum Start { OpenNow, OpenLater };

    static constexpr int kWaitMs = 15000;

    // The settings are the defaults of a first start with the device kind of the instrument
    // and the recordings' name, then what the preset changes.
    MainWindowBench(SimulatedInstrument::Kind kind, const QString &name,
                    const std::function<void(Settings &)> &preset = {}, Start start = OpenNow);
    ~MainWindowBench();
    MainWindowBench(const MainWindowBench &) = delete;
    MainWindowBench &operator=(const MainWindowBench &) = delete;

    QTemporaryDir data;
    std::unique_ptr<SimulatedInstrument> sim;
    std::unique_ptr<TempSettings> settings;
    std::unique_ptr<MainWindow> window;
    DeviceControlWidget *panel = nullptr;
    // The name the recordings are saved under.
    QString traceName;

    // The program started: a new main window, maximised on an operator's screen (the tool bar
    // shows all its fast settings), shown and active. What the instrument received before is
    // forgotten, so `sim` holds what this window sent.
    void openWindow();
    // The window closed as the user closes it, and the program ended; false when it refused.
    bool closeWindow();

    // The instrument identified and set up: the set-up's last command (the speed) has gone out
    // and, for a contourograph, its parameters were read; false when not within kWaitMs.
    bool connected() const;
    // The panel ready for a trace after the set-up (or without it, when the instrument did not
    // reconnect), and the window active; the commands received so far are forgotten.
    bool ready(bool connected = true);

    QPushButton *button(const char *name) const;
    TraceList *list() const;
    QTreeWidget *tree(const char *name) const;

    bool waitForCommand(const QByteArray &command) const;
    // The commands that start a trace or move the probe.
    QList<QByteArray> motions() const;
    // Nothing has started a trace or moved the probe, after the time a trace start's spaced
    // commands take.
    bool quiet() const;

    // The read has ended with that many traces listed, the window unlocked and the parameters
    // evaluated.
    bool readDone(int traces) const;
    // readDone, waited for.
    bool waitReadDone(int traces) const;
    // A recording started with a click on the panel's button, waited for until it is listed as
    // the traces-th trace.
    bool record(const char *buttonName, int traces);

    // A click on the trace's entry in the list: true when it became the selected trace.
    bool clickEntry(const AbstractTrace *trace) const;
    // The trace list's "Фильтр" box opened with the mouse and the item of that text clicked.
    bool chooseFilter(const QString &text) const;
    // The parameter table of the selected trace: name to value.
    QMap<QString, QString> table() const;

    // The files saved by themselves under this bench's name.
    QStringList savedRecordings() const;
};

} // namespace testsupport
