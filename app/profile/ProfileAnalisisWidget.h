#pragma once

#include "profile/AnalisysWidget.h"
#include "profile/TraceGraphsHolder.h"

#include <QFuture>
#include <QPointer>

#include <QList>
#include <QMap>
#include <QMetaType>
#include <QPixmap>
#include <QSet>
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
    // Saves a recording where it was meant to go (an additional trace into its main trace's
    // file); a failure is logged and told to the user, the trace stays in the window.
    bool saveRecordedTrace(AbstractTrace *trace);
    // True for the provider of a recording from the instrument.
    static bool isLiveProvider(const DataProvider *provider);

    // Scales the profile plot to its visible curves with a margin of 5 % of their span.
    void autoscale();
    // Tick-label suffixes of the display unit, and the unit of every trace's graphs.
    void updateUnitLabels();
    // Histogram and material-ratio curves of the visible traces for the current view.
    void updateParamPlots();

    // The tool bar's actions in the order the lock and unlock walk them.
    QList<QAction *> toolActions() const;
    // Every trace of the trace list, ascending id.
    QList<AbstractTrace *> allTraces() const;
    // The traces whose curve is shown, ascending id.
    QList<AbstractTrace *> visibleTraces() const;
    DeviceControlWidget *deviceControlWidget() const;
    TraceList *traceList() const;

    // The trace's graphs on the three plots, in the display unit of the settings; the window
    // owns the holder until the trace leaves it.
    TraceGraphsHolder *createHolder(AbstractTrace *trace);
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
    void dataBatchReady(int from, int count) override;
    void dataReadStarted() override;
    void dataReadFinished() override;
    void dataReadError(QString error) override;
    void dataReset() override;
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
    // The provider that sent the notification being handled (the current one when called
    // directly).
    DataProvider *signallingProvider() const;
    // At the end of a recording whose provider found no measured sample: takes the empty trace
    // out of the list and the plots, unlocks the window and says why; false for any other read.
    bool dropInterruptedRecording(DataProvider *provider, AbstractTrace *trace);
    // Parameters of a trace that has just been read, and of its additional traces.
    void evaluateNewTrace(AbstractTrace *trace);
    void reprocessTrace(AbstractTrace *trace);

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

    bool m_refreshingParamPlots = false;
    QVector<QPointer<TraceGraphsHolder>> m_statisticsHolders;
    QVector<TraceGraphsHolder::StatisticsJob> m_statisticsJobs;
    QFuture<void> m_statisticsRun;
    // The longest a read's newest points wait to be drawn.
    static constexpr int kBatchDrawIntervalMs = 30;

    // What createTrace decided for the read it prepares: the kind the trace is listed as and
    // the entry's name (the provider fills the trace's own header fields on its worker).
    int m_startKind = PROFILE;
    QString m_startName;
    QTimer *m_batchDrawTimer = nullptr;
    // A fast setting changed during a read, or a file gave the trace being read another
    // cut-off than its chain's: the trace is reprocessed at the read's end.
    bool m_reprocessAfterRead = false;
    // The trace createTrace made last and the cut-off its chain filters with (0: no filter). A
    // file's reader sets the trace's own cut-off from the file's header only after that, on its
    // worker. Compared, never dereferenced.
    const AbstractTrace *m_chainTrace = nullptr;
    double m_chainCutOff = 0.0;
    // Recordings already saved once (their file is theirs from then on).
    QSet<int> m_savedOnce;
    // The traces the window took over (read, recorded or joined), freed when they leave the
    // list or with the window.
    QSet<AbstractTrace *> m_ownedTraces;
    // Owned traces that left the list while a provider still pointed at them; freed with the
    // window.
    QList<AbstractTrace *> m_orphanTraces;
};

Q_DECLARE_METATYPE(QVector<AbstractTrace *>)
