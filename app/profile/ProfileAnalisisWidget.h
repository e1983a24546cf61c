#pragma once

#include "profile/AnalisysWidget.h"
#include "profile/TraceGraphsHolder.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QPointer>

#include <QList>
#include <QMap>
#include <QMetaType>
#include <QPixmap>
#include <QVector>

class AutoUnfocusSpinBox;
class DeviceControlWidget;
class KeyReceiver;
class MainWindow;
class Plot;
class QAction;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class ProfileTrace;
class QMouseEvent;
class QTimer;
class TraceGraphsHolder;
class TraceList;
class TraceRoad;
class DataProvider;
class Ui_ProfileAnalisisWidget;

// The display unit's name by the settings (view/axis_unit): "мм", "мкм", "нм"; empty for any
// other value.
QString axisUnitName();

// The profile window, the first tab of the main window, where every trace enters: the profile
// plot with the amplitude histogram and the material-ratio plot beside it, the trace list, the
// quick settings, the device panel, and a tool bar with the view tools and, at its right end,
// the fast settings of the processing chain.
class ProfileAnalisisWidget : public AnalisysWidget
{
    Q_OBJECT

public:
    // The parent is not used: the main window puts the window into its tab widget.
    explicit ProfileAnalisisWidget(MainWindow *parent = nullptr);
    ~ProfileAnalisisWidget() override;

    // An empty trace of the kind with the one processing chain of the settings, named for the
    // automatic save of a recording; kinds 0 to 3 (an additional trace without a main profile
    // trace to hang on, or read from a file, is made a main trace).
    AbstractTrace *createTrace(int traceKind) override;
    void beginReportSnapshot() override;
    void endReportSnapshot() override;
    // One report per visible trace (one sensor-test report in sensor-test mode), each through a
    // file dialog, opened in the browser once written.
    void saveReport(QWidget *parent) override;
    // The report map of the trace (its main trace's while that is listed).
    QMap<QString, QString> reportData(ProfileTrace *trace);
    // The profile plot with only the trace (and the shown additional traces of a main trace).
    QVector<QPixmap> plotSnapshot(AbstractTrace *trace);

    // Rebuilds every trace's chain from the settings and reprocesses it.
    void reprocessAllTraces();
    // A contour trace of joined points (column 0 X, column 1 Y, micrometres).
    void addTraceFromData(TData data);
    // The road of the window's traces: it makes, reads, processes, saves and evaluates them;
    // the window draws what it announces.
    TraceRoad *traceRoad() const { return m_road; }

    // Scales the profile plot to its visible curves with a margin of 5 % of their span.
    void autoscale();
    // Tick-label suffixes of the display unit, and the unit of every trace's graphs.
    void updateUnitLabels();
    // Histogram and material-ratio curves of the visible traces for the current view. Long
    // statistics are computed beside the GUI thread and put on the side plots when they are in,
    // unless now is set (what is about to read them waits for them).
    void updateParamPlots(bool now = false);

    // The tool bar's actions in the order the lock and unlock walk them.
    QList<QAction *> toolActions() const;
    // Every trace of the trace list, ascending id.
    QList<AbstractTrace *> allTraces() const;
    // The traces whose curve is shown, ascending id.
    QList<AbstractTrace *> visibleTraces() const;
    DeviceControlWidget *deviceControlWidget() const;
    TraceList *traceList() const;

    // The trace's graphs on the three plots, in the display unit of the settings; the window
    // owns the holder until the trace leaves it. A hidden holder puts nothing on the plots
    // until it is shown.
    TraceGraphsHolder *createHolder(AbstractTrace *trace, bool shown = true);
    const QMap<int, TraceGraphsHolder *> &graphHolders() const { return holders; }

    Ui_ProfileAnalisisWidget *form() const { return ui; }

    // The device panel's keyboard-jogging filter; the main window installs it application-wide.
    KeyReceiver *keyReceiver = nullptr;

signals:
    void readyForMeasurment(QVector<AbstractTrace *> traces);
    void lockButtons();
    void unlockButtons();
    void newDeviceType(int type);

public slots:
    void saveData(DataSaveFormat format) override;
    // The side plots for the current view, unless a read is in progress.
    void recalcParamPlots();
    // Re-reads what the window shows from the settings: the display unit of the axes and of
    // every trace, the device panel's pressing and key map, the quick-settings lists and the
    // trace list's parameters.
    void settingsChanged();

public:
    // The current console of the settings to every checked contour trace.
    void applyCurrentConsoleToTraces();
    // The hand-over to a measurement tab.
    void onToMeasurement();
    bool checkTracesForMeasurement();

protected:
    void setupPlots();
    void setupAxisNumberFormat(Plot *plot);
    void setupSidePlotTicks();
    void setupFastSettingsToolBar();
    void connectSignals();
    // The compensation widgets for a contourograph, the profile-kind choice otherwise.
    void showFastSettingsFor(int deviceType);
    void connectToolSignals();
    void lockToolBar();
    void unlockToolBar();
    void lockFastSettings(bool locked);
    void onTraceDeleted(int id);
    void onActionPanToggled(bool on);
    void onActionSelectionZoomToggled(bool on);
    void onActionMarkersToggled(bool on);
    void onActionCutTriggered();
    void onActionPtsToggled(bool on);
    void onActionRLineToggled(bool on);
    void onActionRFitToggled(bool on);
    void onMaterialRatioPlotClicked(QMouseEvent *event);
    void onThreadCompensationChanged(int state);
    void onMedianFilterChanged(int state);
    void onProfileFilterModeChanged(int index);
    void onThreadAngleChanged(double value);
    void onMedianWindowChanged(int value);
    void onHistogramDensityChanged(int value);
    // The road follows the window's provider; the window listens to the road.
    void followProvider(DataProvider *provider) override;
    // What the window does with the road's announcements.
    void connectRoad();
    void onTraceAdded(AbstractTrace *trace, int entry, const QString &name, bool shown);
    void onReadBegan(AbstractTrace *trace);
    void onSamplesArrived(AbstractTrace *trace, int from, int count);
    void onTraceReprocessed(AbstractTrace *trace);
    void onTraceRemoved(int id);
    void onReadEnded(AbstractTrace *trace);
    // The question of a proposed cut-off (µm), through the prompts.
    bool askToChangeCutOff(int cutOff, bool *remember);
    // Deletes the holder of the trace; true when there was one.
    bool deleteHolder(int id);

    Ui_ProfileAnalisisWidget *ui;
    Plot *plotMain;
    Plot *plotHist;
    Plot *plotRMR;
    QCheckBox *medianCheckBox;
    AutoUnfocusSpinBox *medianSpinBox;
    AutoUnfocusSpinBox *histogramSpinBox;
    QCheckBox *compensationCheckBox;
    QDoubleSpinBox *angleSpinBox;
    QComboBox *profileKindComboBox;
    QMap<int, TraceGraphsHolder *> holders;
    bool reading = false;

private:
    // The side plots' statistics of the visible traces start on the thread pool when a replot
    // of the profile plot begins, so they are computed while the plot is drawn; the end of the
    // replot waits for them and puts them on the side plots.
    void startStatistics();
    void finishStatistics();
    bool statisticsRunning() const;
    // Long statistics are being computed and go on the side plots when they are done.
    bool statisticsComeLater() const;
    // True when the statistics started for this picture are to be put on the side plots now
    // (they are done, or few enough to wait for); otherwise they are put there when they are
    // done, and false.
    bool statisticsReadyOrLater();
    QFutureWatcher<void> *m_statisticsWatcher = nullptr;
    bool m_statisticsAgain = false;
    static constexpr qint64 kStatisticsLaterPoints = 1 << 20;

    bool m_refreshingParamPlots = false;
    QVector<QPointer<TraceGraphsHolder>> m_statisticsHolders;
    QVector<TraceGraphsHolder::StatisticsJob> m_statisticsJobs;
    QFuture<void> m_statisticsRun;
    // The longest a read's newest points wait to be drawn.
    static constexpr int kBatchDrawIntervalMs = 30;

    TraceRoad *m_road = nullptr;
    QTimer *m_batchDrawTimer = nullptr;
    // Samples of the trace being read that were announced and not drawn yet: [from, to). An
    // announcement only widens the range; the samples are drawn together a moment later, so a
    // worker that announces faster than the window draws never keeps the event loop busy.
    // Puts the drawings still made beside the GUI thread on their curves now.
    void finishPendingDrawings();
    void schedulePendingSamples();
    void drawPendingSamples();
    void forgetPendingSamples();
    AbstractTrace *m_pendingTrace = nullptr;
    int m_pendingFrom = 0;
    int m_pendingTo = 0;
    QTimer *m_pendingDraw = nullptr;
    static constexpr int kPendingDrawMs = 10;
    // A removal's refresh of the plots is queued.
    bool m_refreshAfterRemoval = false;
    // The traces the read in progress hid: shown again when the read ends without a trace.
    QVector<int> m_hiddenByRead;
};

Q_DECLARE_METATYPE(QVector<AbstractTrace *>)
