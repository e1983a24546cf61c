#pragma once

#include <QDialog>
#include <QList>
#include <QString>

class AbstractTrace;
class Device;
class SettingsDialog;
class Ui_SettingsDialog;

// "Параметры": the persistent options that no other window edits, on four pages (the instrument,
// the display, the standard of the cut-off choice, the service options). OK copies the pages into
// the settings and saves; Cancel leaves the settings as they were at opening, undoing what the
// window changed at once (the colours, the high-precision flag, the organisation name).
//
// The service functions sit behind passwords: the controller and console editors ("8052" in the
// service-password prompt), the contour calibration ("8052" in the security prompt) and, on the
// profilometer, the reference-Ra entry that starts the instrument's calibration. Typing the
// developer code as the organisation name shows the developer widgets.
//
// A calibration saved from this window, or from the consoles editor it opened, is relayed as
// setCurrentConsoleForAllTraces while the calibration is still open; the opener connects it to
// the profile window, which gives its checked traces the current console's values.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    // parent: the main window; traces: the visible traces of the profile window (cloned).
    SettingsDialog(QWidget *parent, const QList<AbstractTrace *> &traces);
    ~SettingsDialog() override;

    static const QString kServicePassword;
    static const QString kDeveloperCode;

    void refreshFromSettings();
    void applySettings();
    void setDeveloperWidgetsVisible(bool visible);
    void openCalibration();
    void relaySetCurrentConsole();

    Ui_SettingsDialog *ui;
    QList<AbstractTrace *> traceClones;
    QWidget *mainWindow;
    // The instrument of the profile window (not owned); the reference-Ra entry and the terminal
    // talk to it. Null: there is none.
    Device *device = nullptr;

signals:
    void setCurrentConsoleForAllTraces();

private:
    void connectHandlers();
    void showForDeviceKind();
    void onAlternativeControlChanged(int state);
    void onAnglesInDoubleChanged(int state);
    void onAxisUnitChanged(const QString &text);
    void onPressingPowerChanged(const QString &text);
    void onNonLinearityToggled(int state);
    void onFactoryNameChanged(const QString &text);
    void onChooseNonLinearityData();
    void onParamsSettingsButtonReleased();
    void onControllersButtonClicked();
    void onConsolesButtonClicked();
    void onConsoleSettingsButtonReleased();
    void onTermiteButtonReleased();
    // Cancel: what the window changed at once goes back.
    void restoreImmediateChanges();

    // What the immediate changes replaced, for Cancel.
    QString m_openingGraphColor;
    QString m_openingSelectedGraphColor;
    QString m_openingVisualObjectsColor;
    bool m_openingNonLinearity = false;
    QString m_openingFactoryName;
    bool m_openingDeveloperMode = false;
};

// "Файл найден" when the non-linearity table exists under the working directory, else
// "Файл не найден".
QString nonLinearityFileStatus();

// The service-password gate of the two editors: on the exact password the editor of the mode
// runs modally over parent on the traces, its saved calibrations relayed through relay.
void askServicePassword(SettingsDialog *relay, int mode, const QList<AbstractTrace *> &traces,
                        QWidget *parent);

// The profilometer's reference-Ra entry: on "Принять" the value is stored and saved, then the
// instrument (when there is one) is told to calibrate.
void execReferenceRaDialog(QWidget *parent, Device *device);
