// A probe calibration from end to end, as an operator of a contourograph does it: the settings
// window, "Настройка консоли" behind the password, the tip radius typed in the calibration tools,
// "Сохранить", a first console added and chosen in the console chooser; then settings.ini holds
// the console with the new radius, the checked trace's file carries it and the calibration is
// closed. The profile window's part of the chain (giving its checked traces the current console
// and rewriting their files) is played by the test.

#include "contour/CalibrationToolsWidget.h"
#include "contour/ConsoleSelectDialog.h"
#include "contour/EditableList.h"
#include "core/ContourTrace.h"
#include "core/TraceFileWriter.h"
#include "platform/DialogRunner.h"
#include "settings/DialogCalibration.h"
#include "settings/SettingsDialog.h"
#include "support/TempSettings.h"
#include "support/gui/EditableListDriver.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>

#include <memory>

using namespace testsupport;

class TestCalibrationJourney : public QObject
{
    Q_OBJECT

private slots:
    void calibrateTheTipRadiusIntoANewConsole();
};

void TestCalibrationJourney::calibrateTheTipRadiusIntoANewConsole()
{
    TempSettings settings([](Settings &s) {
        s.device.device_type = CONTOUR;
        s.view.angles_in_deg = false;
    });

    // The profile window's checked trace, saved in its file.
    const QString tracePath = QDir::current().filePath(QStringLiteral("Деталь.txt"));
    auto checked = std::make_unique<ContourTrace>();
    checked->type = CONTOUR;
    checked->setFilePath(tracePath);
    checked->toolHeadRadiusDown = 20;
    for (int i = 0; i < 50; ++i) {
        QVector<double> sample {i * 10.0, 100.0 + (i % 5), 0.0};
        checked->appendPoint(sample);
    }
    QVERIFY(writeTraceFile(tracePath, checked.get()));

    QWidget mainWindow;
    mainWindow.resize(1000, 700);
    mainWindow.show();
    SettingsDialog settingsWindow(&mainWindow, {checked.get()});
    int applied = 0;
    QObject::connect(&settingsWindow, &SettingsDialog::setCurrentConsoleForAllTraces, [&] {
        const ConsoleParams &console = Settings::instance()->current_console;
        checked->toolHeadRadiusDown = console.tool_head_radius_down;
        checked->toolHeadRadiusUp = console.tool_head_radius_up;
        checked->doubleSidedProbeHigh = console.double_sided_probe_high;
        checked->needleBias = console.needle_bias;
        checked->roughnessRatio = console.roughness_ratio;
        QVERIFY(writeTraceFile(checked->filePath(), checked.get()));
        ++applied;
    });
    settingsWindow.show();

    ScriptedPrompts prompts;
    prompts.answers << QStringLiteral("8052");
    bool calibrationClosed = false;
    DialogInterceptor operatorHands([&](QDialog *d) {
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
        CalibrationToolsWidget *panel = calibration->tools();
        auto *radius = panel->findChild<QDoubleSpinBox *>(QStringLiteral("downHeadRadiusSpinBox"));
        QVERIFY(radius->isVisible());
        QCOMPARE(radius->value(), 20.0);
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
    QTest::mouseClick(
        settingsWindow.findChild<QPushButton *>(QStringLiteral("consoleSettingsButton")),
        Qt::LeftButton);

    QCOMPARE(prompts.kinds(), QStringList {"text"});
    QCOMPARE(operatorHands.seen, (QStringList {"Калибровка", "Выбор консоли"}));
    QVERIFY(calibrationClosed);
    QCOMPARE(applied, 1);
    QCOMPARE(settings.stored("consoles/count").toInt(), 1);
    QCOMPARE(settings.stored("consoles/p_0").toString(), QStringLiteral("Консоль 1"));
    QCOMPARE(settings.stored("consoles/p_0/tool_head_radius_down").toDouble(), 150.0);
    QCOMPARE(settings.stored("consoles/current_console").toString(), QStringLiteral("Консоль 1"));
    QCOMPARE(settings.stored("calibration/tool_head_radius_down").toDouble(), 150.0);
    QFile file(tracePath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("tool_head_radius_down:150\n"));

    // The settings window is back, its angle mode the operator's own; OK keeps it.
    QVERIFY(settingsWindow.isVisible());
    settingsWindow.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))
        ->button(QDialogButtonBox::Ok)
        ->click();
    QVERIFY(!settings.stored("view/angles_in_deg").toBool());
}

GUI_TEST_MAIN(TestCalibrationJourney)
#include "tst_CalibrationJourney.moc"
