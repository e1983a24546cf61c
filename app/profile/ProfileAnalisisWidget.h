#pragma once

#include "profile/AnalisysWidget.h"
#include "profile/TraceGraphsHolder.h"

#include <QFuture>
#include <QPointer>

#include <QList>
#include <QMap>
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
class TraceGraphsHolder;
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

    void beginReportSnapshot() override;
    void endReportSnapshot() override;
    void saveReport(QWidget *parent) override;

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
    void applyCurrentConsoleToTraces();

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
    // every trace.
    void settingsChanged();

protected:
    void setupPlots();
    void setupAxisNumberFormat(Plot *plot);
    void setupSidePlotTicks();
    void setupFastSettingsToolBar();
    void connectSignals();
    // The compensation widgets for a contourograph, the profile-kind choice otherwise.
    void showFastSettingsFor(int deviceType);

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
};
