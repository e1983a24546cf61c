#pragma once

#include "core/AbstractTrace.h"
#include "core/Settings.h"

#include <QMap>
#include <QPoint>
#include <QWidget>

class ProfileTrace;
class QShortcut;
class QTreeWidgetItem;
class TestSensorWidget;
class Ui_traceList;

// The registry of the profile window's traces and the panel that lists them: trace id to
// trace, main and additional traces alike, in ascending id. Main traces are the top-level
// entries of a tree, the additional traces of a profile trace its children; each entry's check
// box shows or hides the trace's graphs. For the selected profile trace the panel shows speed,
// length and cut-off and the table of the displayed parameters. Context menus delete a trace,
// show its file, join contour traces, give a contour trace another console and open the
// parameter chooser. In sensor-test mode the roughness-sensor test takes the tree's place.
//
// The list neither owns nor changes traces: what the user asks of a trace (another cut-off, a
// console, removing an additional trace from its main trace's file, a new choice of displayed
// parameters) goes out as a signal, and the profile window's trace road does it; traceDeleted
// tells the window that an entry left the list. Everything runs on the GUI thread.
class TraceList : public QWidget
{
    Q_OBJECT

public:
    explicit TraceList(QWidget *parent = nullptr);
    ~TraceList() override;

    // A new checked top-level entry named after the trace's file. While a provider still fills
    // the trace its header fields are the provider's: the window gives the name, the entry
    // shows no date, and refreshTraceItem completes it once the read has ended.
    void addMainTrace(AbstractTrace *trace, const QString &readingName = QString());
    // Name (of a main trace) and creation time of the trace's entry from the trace.
    void refreshTraceItem(AbstractTrace *trace);
    // A child entry under the last top-level entry: unchecked for the additional traces of a
    // file, checked for a recorded one (its main trace has taken it already). When the last
    // entry is not a profile trace (or there is none) the trace is listed as a main trace.
    void addAdditionalTrace(AbstractTrace *trace, bool fromFile);
    // Takes the entry of the trace out of the list without telling anyone (the trace left the
    // window by another road); its children go with a main entry.
    void forgetTrace(int id);
    // The trace an additional trace added now would hang on: the trace of the last top-level
    // entry when it is a profile trace, else null.
    ProfileTrace *additionalTraceParent() const;
    // Unchecks every profile trace and every additional trace (their graphs are hidden); returns
    // the ids of those that were checked.
    QVector<int> uncheckProfileTraces();
    // Checks the entries of the traces again (those still listed).
    void checkTraces(const QVector<int> &ids);
    // Removes every trace but the one being read.
    void removeAllButReadingTrace();
    // Makes the entry of the trace the only selected and current one.
    void selectTrace(int id);
    void runSensorTest(AbstractTrace *trace);
    QMap<QString, QString> sensorTestReportData() const;

    // Asks for the parameters of every profile trace to be evaluated again (recalculation),
    // lets the sensor test measure the selected trace in sensor-test mode, and follows the
    // sensor-test mode of the settings.
    void refresh();
    // Asks for the current console of the settings to go to every checked contour trace and
    // into its file (consoleChosen with toFile).
    void applyCurrentConsoleToCheckedTraces();

    void removeTrace(AbstractTrace *trace);
    void removeTraceItem(QTreeWidgetItem *item, int id);
    // Asks for the contour trace to take the console's five probe values, in memory.
    void setTraceConsole(int id, const ConsoleParams &console);
    // Asks for the trace to attach on the right of trace id and the overlap, then hands the
    // joined points to the window (createTrace) before the two sources leave the list.
    void joinTraces(int id);
    void showTraceFileInExplorer(int id);
    // The information and the parameter table of the trace; fillSelectedParameters refills them
    // when the trace is the selected one.
    void fillParameters(int id);
    void fillSelectedParameters(const AbstractTrace *trace);
    void setTraceInfoVisible(bool visible);
    void updateSensorTestLayout();

    // The id stored in an entry; -1 for no entry or no id.
    static int traceItemId(const QTreeWidgetItem *item);
    QTreeWidgetItem *itemForTrace(int id) const;
    // The name the trace's entry shows (the trace's own name when it has no entry).
    QString entryName(const AbstractTrace *trace) const;
    TestSensorWidget *testSensorWidget() const;
    Ui_traceList *form() const { return ui; }

    QMap<int, AbstractTrace *> traces;
    QList<QShortcut *> deleteShortcuts;
    AbstractTrace *selectedTrace = nullptr;
    // The trace the profile window is reading right now; null otherwise.
    AbstractTrace *readingTrace = nullptr;

signals:
    void traceDeleted(int trace_id);
    void setGraphSelected(int trace_id, bool is_selected);
    void setGraphVisible(int trace_id, bool is_selected);
    // The parameters of every profile trace are to be evaluated again.
    void recalculateTrace();
    void createTrace(TData data);
    // The user chose another cut-off (µm) for the trace.
    void cutOffChosen(int trace_id, double cutOff);
    // A console for the contour trace, in memory or (toFile) also into its file.
    void consoleChosen(int trace_id, const ConsoleParams &console, bool toFile);
    // The additional trace is removed from its main trace, whose file is to be rewritten
    // without it; traceDeleted follows.
    void additionalTraceRemoved(int trace_id);

private slots:
    void tracesListMenuRequested(QPoint pos);
    void tracesListItemSelectionChanged();
    void tracesListItemChanged(QTreeWidgetItem *item, int column);
    void paramsListMenuRequested(QPoint pos);

private:
    QTreeWidgetItem *createTraceItem(AbstractTrace *trace, const QString &name, bool checked,
                                     bool withDate = true);
    void removeMainTrace(QTreeWidgetItem *item, int id);
    void removeAdditionalTrace(QTreeWidgetItem *item, int id);
    void onFilterChanged(int index);
    void clearDeleteShortcuts();
    // One above the largest number given to a "Доп. трасса n" entry under parent, kept on the
    // parent entry so that numbering a new child does not walk its siblings.
    static int nextAdditionalNumber(QTreeWidgetItem *parent);

    Ui_traceList *ui;
};
