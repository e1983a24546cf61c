#pragma once

#include "core/AbstractTrace.h"
#include "core/Settings.h"
#include "processing/ParameterCatalogue.h"

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
// The list does not delete traces: it tells the profile window by traceDeleted, and the window
// releases the trace's graphs and the trace itself. Everything runs on the GUI thread.
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
    // file (the reader has linked them already), checked for a recorded one, which the entry's
    // profile trace takes as one of its additional traces. When the last entry is not a profile
    // trace (or there is none) the trace is listed as a main trace.
    void addAdditionalTrace(AbstractTrace *trace, bool fromFile);
    // The trace an additional trace added now would hang on: the trace of the last top-level
    // entry when it is a profile trace, else null.
    ProfileTrace *additionalTraceParent() const;
    // Unchecks every profile trace and every additional trace (their graphs are hidden).
    void uncheckProfileTraces();
    // Removes every trace but the one being read.
    void removeAllButReadingTrace();
    // Makes the entry of the trace the only selected and current one.
    void selectTrace(int id);
    void runSensorTest(AbstractTrace *trace);
    QMap<QString, QString> sensorTestReportData() const;

    // Parameter recalculation of the profile traces (PROFILE and ADDITIONAL_TRACE).
    void recalculateAllParameters();
    void recalculateIfAny();
    // Recalculates and follows the sensor-test mode of the settings.
    void refresh();
    // The parameters that use the section level (Dp, ηp, tp) for every profile trace, after a
    // level pick or a new histogram; the others keep their texts.
    void reevaluateParameters();
    // Dp alone for one trace, once the side plots have given it a new histogram.
    void reevaluateDpOf(AbstractTrace *trace);
    // Every profile trace takes the median settings and is evaluated again.
    void setMedianFilter(bool on, int window);
    // The current console of the settings to every checked contour trace, whose file is
    // rewritten.
    void applyCurrentConsoleToCheckedTraces();

    void removeTrace(AbstractTrace *trace);
    void removeTraceItem(QTreeWidgetItem *item, int id);
    // The contour trace takes the console's five probe values and its file is rewritten.
    void setTraceConsole(int id, const ConsoleParams &console);
    // Asks for the trace to attach on the right of trace id and the overlap, then hands the
    // joined points to the window (createTrace) before the two sources leave the list.
    void joinTraces(int id);
    void showTraceFileInExplorer(int id);
    void fillParameters(int id);
    void setTraceInfoVisible(bool visible);
    void updateSensorTestLayout();

    // The id stored in an entry; -1 for no entry or no id.
    static int traceItemId(const QTreeWidgetItem *item);
    QTreeWidgetItem *itemForTrace(int id) const;
    TestSensorWidget *testSensorWidget() const;
    Ui_traceList *form() const { return ui; }

    ExtraArgs parameterArgs;
    QMap<int, AbstractTrace *> traces;
    QList<QShortcut *> deleteShortcuts;
    AbstractTrace *selectedTrace = nullptr;
    // The trace the profile window is reading right now; null otherwise.
    AbstractTrace *readingTrace = nullptr;

signals:
    void traceDeleted(int trace_id);
    void setGraphSelected(int trace_id, bool is_selected);
    void setGraphVisible(int trace_id, bool is_selected);
    void recalculateTrace();
    void createTrace(TData data);

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
    // Writes the native file of the trace's family: the main trace with all its additional
    // traces, so that an additional trace never replaces its parent's file alone.
    void rewriteTraceFile(AbstractTrace *trace);
    // One above the largest number of the "Доп. трасса n" entries under parent.
    static int nextAdditionalNumber(const QTreeWidgetItem *parent);

    Ui_traceList *ui;
};
