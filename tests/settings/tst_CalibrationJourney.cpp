// A probe calibration from end to end, as an operator of a contourograph does it: a contour trace
// opened in the main window, the settings window, "Настройка консоли" behind the password, the
// tip radius typed in the calibration tools, "Сохранить", a first console added and chosen in the
// console chooser. Then settings.ini holds the console with the new radius, the profile window's
// checked trace carries it and its file has been rewritten, the calibration is closed, the angle
// mode it forced is restored and the settings window's OK keeps the operator's own.

#include "MainWindow.h"
#include "contour/CalibrationToolsWidget.h"
#include "contour/ConsoleSelectDialog.h"
#include "contour/EditableList.h"
#include "core/ContourTrace.h"
#include "device/DevicePort.h"
#include "platform/DialogRunner.h"
#include "profile/ProfileAnalisisWidget.h"
#include "profile/TraceList.h"
#include "settings/DialogCalibration.h"
#include "settings/SettingsDialog.h"
#include "support/TempSettings.h"
#include "support/TestTraces.h"
#include "support/gui/EditableListDriver.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>

using namespace testsupport;

namespace {

constexpr int kWaitMs = 15000;

} // namespace

class TestCalibrationJourney : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // No instrument: the device panel's port search finds nothing.
        qputenv(DevicePort::kPortsVariable, QByteArray("/nonexistent/tty-of-the-test"));
    }
    void calibrateTheTipRadiusIntoANewConsole();
};

void TestCalibrationJourney::calibrateTheTipRadiusIntoANewConsole()
{
    TempSettings settings([](Settings &s) {
        s.device.device_type = CONTOUR;
        s.view.angles_in_deg = false;
    });
    const QString tracePath = QDir::current().filePath(QStringLiteral("Деталь.txt"));
    QVERIFY(writeSineTraceFile(tracePath, CONTOUR));

    MainWindow window;
    window.resize(1280, 800);
    window.show();
    ScriptedPrompts prompts;
    prompts.answers << tracePath;
    window.findChild<QAction *>(QStringLiteral("actionOpenTrace"))->trigger();
    TraceList *list = window.profileWindow()->traceList();
    QTRY_VERIFY_WITH_TIMEOUT(
        list->traces.size() == 1 && !list->readingTrace && window.menuBar()->isEnabled(), kWaitMs);
    auto *trace = dynamic_cast<ContourTrace *>(list->traces.first());
    QVERIFY(trace);
    QVERIFY(trace->toolHeadRadiusDown != 150.0);

    prompts.answers << QStringLiteral("8052");
    bool calibrationClosed = false;
    bool settingsAccepted = false;
    DialogInterceptor operatorHands([&](QDialog *d) {
        if (auto *settingsWindow = qobject_cast<SettingsDialog *>(d)) {
            settingsWindow->show();
            QTest::mouseClick(
                settingsWindow->findChild<QPushButton *>(QStringLiteral("consoleSettingsButton")),
                Qt::LeftButton);
            settingsWindow->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))
                ->button(QDialogButtonBox::Ok)
                ->click();
            settingsAccepted = settingsWindow->result() == QDialog::Accepted;
            return;
        }
        if (auto *chooser = qobject_cast<ConsoleSelectDialog *>(d)) {
            chooser->show();
            QVERIFY(!chooser->selectButton->isEnabled());
            chooser->addButton->click();
            QVERIFY(typeIntoOpenEditor(chooser->consoleList, QStringLiteral("Консоль 1")));
            chooser->consoleList->setCurrentRow(0);
            chooser->selectButton->click();
            return;
        }
        auto *calibration = dynamic_cast<DialogCalibration *>(d);
        QVERIFY(calibration);
        QObject::connect(calibration, &QDialog::finished, [&] { calibrationClosed = true; });
        calibration->resize(900, 600);
        calibration->show();
        QVERIFY(QTest::qWaitForWindowExposed(calibration));
        // The contour window shows every angle in degrees while the calibration runs.
        QVERIFY(Settings::instance()->view.angles_in_deg);
        CalibrationToolsWidget *panel = calibration->tools();
        auto *radius = panel->findChild<QDoubleSpinBox *>(QStringLiteral("downHeadRadiusSpinBox"));
        QVERIFY(radius->isVisible());
        QSignalSpy redraw(panel, &CalibrationToolsWidget::calibrationDataChanged);
        radius->setFocus();
        radius->selectAll();
        QTest::keyClicks(radius, QStringLiteral("150"));
        QVERIFY(redraw.wait(5000));
        const GrabResult grab = grabWindow(calibration, QStringLiteral("journey_calibration"));
        VERIFY_GRAB(grab);
        QTest::mouseClick(panel->findChild<QPushButton *>(QStringLiteral("savePushButton")),
                          Qt::LeftButton);
    });
    window.findChild<QAction *>(QStringLiteral("actionSettings"))->trigger();

    QCOMPARE(prompts.kinds(), (QStringList {"open", "text"}));
    QCOMPARE(operatorHands.seen, (QStringList {"Параметры", "Калибровка", "Выбор консоли"}));
    QVERIFY(calibrationClosed);
    QVERIFY(settingsAccepted);
    QCOMPARE(settings.stored("consoles/count").toInt(), 1);
    QCOMPARE(settings.stored("consoles/p_0").toString(), QStringLiteral("Консоль 1"));
    QCOMPARE(settings.stored("consoles/p_0/tool_head_radius_down").toDouble(), 150.0);
    QCOMPARE(settings.stored("consoles/current_console").toString(), QStringLiteral("Консоль 1"));
    QCOMPARE(settings.stored("calibration/tool_head_radius_down").toDouble(), 150.0);
    // The profile window's checked trace took the console, and its file was written again.
    QCOMPARE(trace->toolHeadRadiusDown, 150.0);
    QFile file(tracePath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("tool_head_radius_down:150\n"));
    // The operator's own angle mode is what the settings window's OK stored.
    QVERIFY(!settings.stored("view/angles_in_deg").toBool());
}

GUI_TEST_MAIN(TestCalibrationJourney)
#include "tst_CalibrationJourney.moc"
