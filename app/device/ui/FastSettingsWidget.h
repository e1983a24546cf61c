#pragma once

#include "core/Settings.h"

#include <QWidget>

class Ui_FastSettingsWidget;

// The quick-settings panel beside the device panel: the file name part of recorded traces, the
// needle pressing, the current console, the contourograph's measurement mode, the current
// controller and the millimetres per rotation. Every change is written into Settings and saved
// at once; three of them are also announced for the device panel (setDeviceType,
// changePressingPower, setMMPerRotation, and setCalibrationEnable with the mode).
//
// The panel keeps no state of its own: Settings is where its values live. fillCombos refills the
// controller and console lists after the settings may have changed; afterwards the current
// controller and console in the settings are the entries the lists show.
class FastSettingsWidget : public QWidget
{
    Q_OBJECT

public:
    explicit FastSettingsWidget(QWidget *parent = nullptr);
    ~FastSettingsWidget() override;

    void fillCombos();

signals:
    void setDeviceType(int type);
    void changePressingPower(MovementSettings::E_NEEDLE_PRESSING needlePressing,
                             int pressingPorwer);
    void setMMPerRotation(double value);
    void setCalibrationEnable(bool enable);

public slots:
    void lockButtons();
    void unlockButtons();
    void enableFastSettings(bool enable);
    void setInerface(int type);

private:
    void init();
    void connectSignals();
    void onControllerChanged(int index);
    void onConsoleChanged(int index);
    void onNeedlePressingChanged(int index);
    void onMMPerRotationChanged(double value);
    void onMeasurementModeChanged(int index);

    Ui_FastSettingsWidget *ui;
};
