#pragma once

#include "core/AbstractTrace.h"

#include <QMainWindow>
#include <QVector>

#include <functional>

class AnalisysWidget;
class ProfileAnalisisWidget;
class QShortcut;
class Ui_MainWindow;

// The program's window: a tab widget whose first tab is the profile window, where every trace
// enters, and whose further tabs are measurement windows opened on copies of the traces the
// profile window hands on. Its menus and the shortcuts Ctrl+S and Ctrl+P route the user's
// commands to the current tab or to the profile window.
//
// Keyboard jogging (the device panel's key receiver, installed here application-wide) may act
// only while the profile tab is current and no command of this window runs; every dialog of the
// window runs with it blocked.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Builds the window of a measurement tab on the traces (the window works on copies); null
    // when none can be made.
    using MeasurementWindowFactory
        = std::function<AnalisysWidget *(MainWindow *parent, const QVector<AbstractTrace *> &)>;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Where the measuring windows come from: contour windows, unless a test gives its own (null
    // puts the contour windows back). A factory that makes no window gets a warning.
    static void setMeasurementWindowFactory(MeasurementWindowFactory factory);

    // The profilometer's title for the device kinds PROFILE and ADDITIONAL_TRACE, the
    // application's title for every other value.
    void updateWindowTitle(int deviceType);
    void saveToLocalFormat();
    void saveToPointFormat();
    // The open-file dialog; remembers the chosen file's folder. Empty when cancelled.
    QString chooseTraceFile(QWidget *parent);

    ProfileAnalisisWidget *profileWindow() const { return profileWidget; }
    Ui_MainWindow *form() const { return ui; }
    QShortcut *saveShortcut() const { return m_saveShortcut; }
    QShortcut *printShortcut() const { return m_printShortcut; }

signals:
    void settingsChanged();

public slots:
    void openNewTrace();
    void openInfoWindow();
    void createMeasurmentWidget(QVector<AbstractTrace *> t);
    void printReport();
    void openSettings();

protected:
    // Asks once before the program closes with measurement tabs whose measurements were made or
    // changed after their last protocol.
    void closeEvent(QCloseEvent *event) override;

private:
    // Blocks keyboard jogging while a command runs; the rule is applied again at its end.
    class CommandScope
    {
    public:
        explicit CommandScope(MainWindow *window);
        ~CommandScope();
        CommandScope(const CommandScope &) = delete;
        CommandScope &operator=(const CommandScope &) = delete;

    private:
        MainWindow *m_window;
    };

    void onCurrentTabChanged(int index);
    void onTabCloseRequested(int index);
    void onLockButtons();
    void onUnlockButtons();
    // Jogging unblocked exactly when the profile tab is current and no command runs.
    void applyJogRule();
    AnalisysWidget *currentAnalysisWindow() const;

    Ui_MainWindow *ui;
    ProfileAnalisisWidget *profileWidget;
    QShortcut *m_saveShortcut = nullptr;
    QShortcut *m_printShortcut = nullptr;
    int m_runningCommands = 0;
    // The number of the last measurement tab opened; tab numbers never repeat.
    int m_measurementTabCounter = 0;
};
