#pragma once

#include "core/Settings.h"

#include <QVector>
#include <QWidget>

class AbstractTrace;
class QDoubleSpinBox;
class QTimer;
class Ui_CalibrationToolsWidget;

// The panel through which the operator calibrates the contourograph's probe, inside a contour
// window in calibration mode. It edits the calibration group of the settings record in memory
// and its own clones of the window's traces, and announces the clones with
// calibrationDataChanged so that the window re-processes and redraws them. "Сохранить" and
// "Cохранить как" store the five probe values in a console and write settings.ini; "Отмена" puts
// the in-memory values back as they were when calibration began.
//
// Typing is coalesced: each edit reaches the settings and the clones at once, and the
// announcement follows once the operator pauses (kAnnounceDelayMs), so a number typed digit by
// digit costs one re-processing, not one per digit. A save or discard announces a pending edit
// first.
//
// Order of use: construction, initCalibration, setTraces, edits, then a save, save-as or discard.
class CalibrationToolsWidget : public QWidget
{
    Q_OBJECT

public:
    explicit CalibrationToolsWidget(QWidget *parent = nullptr);
    ~CalibrationToolsWidget() override;

    static constexpr int kAnnounceDelayMs = 250;

    // Fills the editors from the settings, takes the snapshot that "Отмена" restores and
    // connects the editors. With consoles defined the current console's probe values are first
    // copied into the calibration group, so that what the panel shows is what a save stores.
    void initCalibration();
    // Clones the traces and shows the probe rows they need. Every trace is cloned, so the clones
    // stand at the indices of the window's traces; only contour traces take calibration values.
    void setTraces(const QVector<AbstractTrace *> &traces);

    // Click the buttons as the operator would.
    void clickSave();
    void clickDiscard();

    // True while there is no unsaved manual change.
    bool isSaved = true;

    Ui_CalibrationToolsWidget *ui;
    QVector<AbstractTrace *> traceClones;
    Settings snapshot;

signals:
    void closeDialogCalibration();
    void setCurrentConsoleForAllTraces();
    void calibrationDataChanged(QVector<AbstractTrace *> traces);

private slots:
    void calibrationDataValueChangedManually(double val);

private:
    void fillFromSettings(const Settings &settings);
    void hideServiceFields();
    void discardChanges();
    void saveCalibration();
    void saveCalibrationAs();
    // The save steps; chooseConsole forces the console chooser.
    void save(bool chooseConsole);
    void onCheckBoxChanged();
    void announce();
    void announcePending();

    QTimer *m_announceTimer;
};
