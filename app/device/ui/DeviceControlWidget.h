#pragma once

#include "core/AbstractTrace.h"
#include "core/Settings.h"
#include "dataproviders/DataProvider.h"
#include "device/Device.h"

#include <QElapsedTimer>
#include <QMetaType>
#include <QPointer>
#include <QWidget>

class DeviceDataProvider;
class KeyReceiver;
class QGraphicsOpacityEffect;
class QPropertyAnimation;
class QTimer;
class Ui_DeviceControlWidget;

Q_DECLARE_METATYPE(DataProvider *)

// The instrument panel of the profile window, and the home of the program's one `Device`.
//
// The operator jogs the probe (buttons or keys, see KeyReceiver), chooses speed, filter and trace
// length, starts, stops and extends traces and starts the calibrations. The panel turns the
// device's signals into button states, locks the rest of the profile window while the instrument
// records or is busy (lockButtons / unlockButtons), creates the live data provider of every trace
// it starts and hands it over with newTrace, reports the connection and the live values once a
// second (statusBarText), shows short red warnings that fade out, shows the reported height on
// its level bar and opens the progress window of the calibration sequences.
//
// Everything runs on the GUI thread. The panel must be the parent of the dialogs it opens; they
// run through runDialog, with keyboard jogging blocked.
class DeviceControlWidget : public QWidget
{
    Q_OBJECT

public:
    explicit DeviceControlWidget(QWidget *parent = nullptr);
    ~DeviceControlWidget() override;

    // Stores the filter index, sends it to the instrument, saves the settings and shows it.
    void setFilterIndex(int index);
    // The chosen speed in mm/s (0.0 for an index outside the table).
    double currentSpeed();
    void applyPressing(MovementSettings::E_NEEDLE_PRESSING needlePressing, int power);
    // Rebuilds the key map (and the places of the Y and Z buttons) from the settings and returns
    // the key receiver, which the main window installs as the application's event filter.
    KeyReceiver *updateKeyMap();
    // Shows a red warning that fades out after two seconds.
    void showWarning(const QString &text);
    // Shows a message in the status line and keeps the live values off it for a while (until
    // the next recording at most), so that the operator can read it.
    void showStatus(const QString &text);

    // Speed in mm/s of each speed index.
    static const QVector<double> kSpeedValues;

private:
    Ui_DeviceControlWidget *ui;

public:
    Device device;
    bool tracing = false;
    bool calibrationPending = false;
    QGraphicsOpacityEffect *warningEffect = nullptr;
    QPropertyAnimation *warningAnimation = nullptr;
    KeyReceiver *keyReceiver = nullptr;

signals:
    void newTrace(DataProvider *p, E_ANALISIS_TYPE type);
    void lockButtons();
    void unlockButtons();
    void statusBarText(QString txt);
    void deleteAllTrace();
    void setStatusProgressBar(int status, QString statusName);
    void enableFastSettings(bool enable);
    void dataReset();
    void newDeviceType(int type);

public slots:
    void setDeviceType(int type);
    void changePressingPower(MovementSettings::E_NEEDLE_PRESSING needlePressing,
                             int pressingPorwer);
    void setMMPerRotation(double value);
    void setCalibrationEnable(bool enable);
    void setEnableAdditionalTraceButton(bool enabled);
    void onCalibPushButtonPressed();

private slots:
    void onOpenLoader(QString name);

private:
    void updateLayoutForDeviceType();
    void connectSignals();
    void disableControls();
    void enableControls();
    void endRecordingState();
    void onDeviceStartedTrace();
    void startTraceSequence();
    void onStartTrace(bool mayStart);
    void onAdditionalTrace();
    void startRecording(E_ANALISIS_TYPE type);
    void onStopTrace();
    void onSpeedChanged(int index);
    void onTraceLengthChanged(int length);
    void onStatusTimer();
    void askReferenceRa();
    void openLoader(const QString &name);
    void dropIntake();

    QTimer *m_statusTimer = nullptr;
    // Started by showStatus; invalid when no message holds the status line.
    QElapsedTimer m_statusHold;
    // The last progress report since the device asked for the progress window. The window opens
    // a moment after the request, and the stages may all have come in meanwhile.
    bool m_progressSeen = false;
    int m_progressStatus = 0;
    QString m_progressName;
    // The live provider made when the instrument starts a trace by itself, so that no point it
    // sends during the start sequence's spacing is lost; handed over by newTrace or deleted.
    DeviceDataProvider *m_intake = nullptr;
    // The intake set the device's trace-started flag (cleared again if no recording follows).
    bool m_intakeSetTraceStarted = false;
    // The provider of the recording the panel started last, until its read has ended.
    QPointer<DataProvider> m_recording;
};
