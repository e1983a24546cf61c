// The quick-settings panel: what it shows and saves, the signals it gives the device panel and
// the refill of the controller and console lists.

#include "core/AbstractTrace.h"
#include "device/ui/FastSettingsWidget.h"
#include "support/TempSettings.h"
#include "support/gui/GuiTest.h"
#include "support/gui/WindowGrab.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>

using namespace testsupport;

Q_DECLARE_METATYPE(MovementSettings::E_NEEDLE_PRESSING)
Q_DECLARE_METATYPE(ConsoleParams)

namespace {

ConsoleParams console(const QString &name, double down, double up = 20.0)
{
    ConsoleParams c;
    c.name = name;
    c.tool_head_radius_down = down;
    c.tool_head_radius_up = up;
    c.double_sided_probe_high = 22.5;
    c.needle_bias = 0.125;
    c.roughness_ratio = 7.0;
    return c;
}

template<typename T = QComboBox>
T *child(QWidget &w, const char *name)
{
    return w.findChild<T *>(QString::fromLatin1(name));
}

} // namespace

class TestFastSettingsWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void builtFromSettingsSavesNothing();
    void measurementMode_data();
    void measurementMode();
    void needlePressingAndFileName();
    void consoleChoiceTakesTheLastOfAName();
    void refillControllers_data();
    void refillControllers();
    void refillConsoles_data();
    void refillConsoles();
    void lockingAndLayout();
};

void TestFastSettingsWidget::initTestCase()
{
    qRegisterMetaType<MovementSettings::E_NEEDLE_PRESSING>("MovementSettings::E_NEEDLE_PRESSING");
}

void TestFastSettingsWidget::builtFromSettingsSavesNothing()
{
    TempSettings settings([](Settings &s) {
        s.device.device_type = CONTOUR;
        s.movement.needle_pressing = MovementSettings::E_PRESSING_UP;
        s.device.measurement_mode = 3;
        s.movement.mm_per_rotation = 2.5;
        s.service.default_trace_file_name = QStringLiteral("Вал");
        s.controllers = QStringList {"Иванов", "Петров"};
        s.current_controller_name = QStringLiteral("Петров");
        s.consoles = {console("К1", 10), console("К2", 12)};
        s.current_console = console("К2", 12);
    });
    settings.forgetFile();
    FastSettingsWidget panel;
    QTest::qWait(10);
    QVERIFY(!settings.saved());
    QCOMPARE(child(panel, "needlePressingComboBox")->currentIndex(), 0);
    QCOMPARE(child(panel, "measurementModeComboBox")->currentIndex(), 3);
    QCOMPARE(child<QDoubleSpinBox>(panel, "mmPerRotationSpinBox")->value(), 2.5);
    QCOMPARE(child<QLineEdit>(panel, "traceFileNameLineEdit")->text(), QStringLiteral("Вал"));
    QCOMPARE(child(panel, "controllersComboBox")->currentText(), QStringLiteral("Петров"));
    QCOMPARE(child(panel, "consoleComboBox")->currentText(), QStringLiteral("К2"));
    QVERIFY(child<QDoubleSpinBox>(panel, "mmPerRotationSpinBox")->isHidden());
    QVERIFY(child<QLabel>(panel, "mmPerRotationLabel")->isHidden());

    const GrabResult grab = grabWindow(&panel, QStringLiteral("fast_settings_contour"));
    VERIFY_GRAB(grab);
}

void TestFastSettingsWidget::measurementMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("deviceType");
    QTest::addColumn<bool>("calibration");
    QTest::newRow("contourograph") << 0 << 0 << true;
    QTest::newRow("roughness") << 1 << 0 << true;
    QTest::newRow("roughness sensor") << 2 << 1 << false;
    QTest::newRow("additional axis") << 3 << 0 << false;
}

void TestFastSettingsWidget::measurementMode()
{
    QFETCH(int, mode);
    QFETCH(int, deviceType);
    QFETCH(bool, calibration);
    TempSettings settings([](Settings &s) {
        s.device.device_type = CONTOUR;
        // A mode other than every row's, so that each row is a change.
        s.device.measurement_mode = 0;
    });
    FastSettingsWidget panel;
    auto *combo = child(panel, "measurementModeComboBox");
    if (mode == 0)
        combo->setCurrentIndex(1);
    QSignalSpy type(&panel, &FastSettingsWidget::setDeviceType);
    QSignalSpy enable(&panel, &FastSettingsWidget::setCalibrationEnable);
    combo->setCurrentIndex(mode);
    QCOMPARE(type.count(), 1);
    QCOMPARE(type.at(0).at(0).toInt(), deviceType);
    QCOMPARE(enable.count(), 1);
    QCOMPARE(enable.at(0).at(0).toBool(), calibration);
    QCOMPARE(settings.stored("device/measurement_mode").toInt(), mode);
}

void TestFastSettingsWidget::needlePressingAndFileName()
{
    TempSettings settings([](Settings &s) {
        s.device.device_type = CONTOUR;
        s.movement.needle_pressing = MovementSettings::E_PRESSING_UP;
        s.device.power_pressing = 3;
    });
    FastSettingsWidget panel;
    QSignalSpy pressing(&panel, &FastSettingsWidget::changePressingPower);
    child(panel, "needlePressingComboBox")->setCurrentIndex(1);
    QCOMPARE(pressing.count(), 1);
    QCOMPARE(pressing.at(0).at(0).value<MovementSettings::E_NEEDLE_PRESSING>(),
             MovementSettings::E_PRESSING_DOWN);
    QCOMPARE(pressing.at(0).at(1).toInt(), 3);
    QCOMPARE(settings.stored("movement/needle_pressing").toInt(), 1);

    auto *name = child<QLineEdit>(panel, "traceFileNameLineEdit");
    name->clear();
    QTest::keyClicks(name, QStringLiteral("Shaft"));
    QCOMPARE(settings.stored("servise/default_trace_file_name").toString(),
             QStringLiteral("Shaft"));
    QCOMPARE(Settings::instance()->service.default_trace_file_name, QStringLiteral("Shaft"));
}

void TestFastSettingsWidget::consoleChoiceTakesTheLastOfAName()
{
    TempSettings settings([](Settings &s) {
        s.device.device_type = CONTOUR;
        s.consoles = {console("Прямая", 10), console("Другая", 11), console("Прямая", 14, 15)};
        s.current_console = console("Другая", 11);
    });
    FastSettingsWidget panel;
    auto *combo = child(panel, "consoleComboBox");
    QCOMPARE(combo->currentIndex(), 1);
    combo->setCurrentIndex(0);
    const Settings *s = Settings::instance();
    QCOMPARE(s->current_console.tool_head_radius_down, 14.0);
    QCOMPARE(s->current_console.tool_head_radius_up, 15.0);
    QCOMPARE(s->calibration.tool_head_radius_down, 14.0);
    QCOMPARE(s->calibration.tool_head_radius_up, 15.0);
    QCOMPARE(s->calibration.double_sided_probe_high, 22.5);
    QCOMPARE(s->calibration.needle_bias, 0.125);
    QCOMPARE(s->calibration.roughness_ratio, 7.0);
    QCOMPARE(settings.stored("calibration/tool_head_radius_down").toDouble(), 14.0);
}

void TestFastSettingsWidget::refillControllers_data()
{
    QTest::addColumn<QStringList>("controllers");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("stored");
    QTest::newRow("empty list keeps the placeholder") << QStringList() << "No name"
                                                      << ""
                                                      << "No name";
    QTest::newRow("placeholder becomes the first") << QStringList {"Иванов", "Петров"} << "No name"
                                                   << "Иванов"
                                                   << "Иванов";
    QTest::newRow("current kept") << QStringList {"Иванов", "Петров"} << "Петров"
                                  << "Петров"
                                  << "Петров";
    // A name no longer listed gives way to the entry shown (not kept behind the list's back).
    QTest::newRow("removed name gives way to the first")
        << QStringList {"Иванов", "Петров"} << "Сидоров"
        << "Иванов"
        << "Иванов";
}

void TestFastSettingsWidget::refillControllers()
{
    QFETCH(QStringList, controllers);
    QFETCH(QString, current);
    QFETCH(QString, shown);
    QFETCH(QString, stored);
    TempSettings settings([](Settings &s) {
        s.controllers = QStringList {"Старый"};
        s.current_controller_name = QStringLiteral("Старый");
    });
    FastSettingsWidget panel;
    settings.change([&](Settings &s) {
        s.controllers = controllers;
        s.current_controller_name = current;
    });
    panel.fillCombos();
    auto *combo = child(panel, "controllersComboBox");
    QCOMPARE(combo->count(), controllers.size());
    QCOMPARE(combo->currentText(), shown);
    QCOMPARE(Settings::instance()->current_controller_name, stored);
    QCOMPARE(settings.stored("controllers/current_controller_name").toString(), stored);
}

void TestFastSettingsWidget::refillConsoles_data()
{
    QTest::addColumn<QList<ConsoleParams>>("consoles");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<double>("radius"); // calibration/tool_head_radius_down afterwards
    QTest::newRow("empty list leaves the calibration alone")
        << QList<ConsoleParams>() << "No console"
        << "" << 33.0;
    QTest::newRow("placeholder becomes the first; its last namesake's values")
        << QList<ConsoleParams> {console("К1", 10), console("К2", 12), console("К1", 16)}
        << "No console"
        << "К1" << 16.0;
    QTest::newRow("current by name")
        << QList<ConsoleParams> {console("К1", 10), console("К2", 12)} << "К2"
        << "К2" << 12.0;
    QTest::newRow("removed console gives way to the first")
        << QList<ConsoleParams> {console("К1", 10), console("К2", 12)} << "К9"
        << "К1" << 10.0;
}

void TestFastSettingsWidget::refillConsoles()
{
    QFETCH(QList<ConsoleParams>, consoles);
    QFETCH(QString, current);
    QFETCH(QString, shown);
    QFETCH(double, radius);
    TempSettings settings([](Settings &s) { s.device.device_type = CONTOUR; });
    FastSettingsWidget panel;
    settings.change([&](Settings &s) {
        s.consoles = consoles;
        s.current_console = console(current, 33.0);
        s.calibration.tool_head_radius_down = 33.0;
    });
    panel.fillCombos();
    auto *combo = child(panel, "consoleComboBox");
    QCOMPARE(combo->count(), consoles.size());
    QCOMPARE(combo->currentText(), shown);
    QCOMPARE(Settings::instance()->calibration.tool_head_radius_down, radius);
    if (!shown.isEmpty())
        QCOMPARE(Settings::instance()->current_console.name, shown);
    QCOMPARE(settings.stored("calibration/tool_head_radius_down").toDouble(), radius);
}

void TestFastSettingsWidget::lockingAndLayout()
{
    TempSettings settings([](Settings &s) { s.device.device_type = PROFILE; });
    FastSettingsWidget panel;
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    for (const char *name :
         {"needlePressingLabel", "needlePressingComboBox", "measurementModeLabel",
          "measurementModeComboBox", "consoleComboBox", "consoleLabel"})
        QVERIFY2(!child<QWidget>(panel, name)->isVisible(), name);
    QVERIFY(child<QLabel>(panel, "upperLabel")->isVisible());
    const GrabResult grab = grabWindow(&panel, QStringLiteral("fast_settings_profile"));
    VERIFY_GRAB(grab);

    panel.setInerface(CONTOURPROF);
    QVERIFY(child<QWidget>(panel, "consoleComboBox")->isVisible());
    QVERIFY(!child<QLabel>(panel, "upperLabel")->isVisible());

    panel.lockButtons();
    for (const char *name : {"needlePressingComboBox", "traceFileNameLineEdit",
                             "controllersComboBox", "consoleComboBox", "measurementModeComboBox"})
        QVERIFY2(!child<QWidget>(panel, name)->isEnabled(), name);
    QVERIFY(child<QWidget>(panel, "mmPerRotationSpinBox")->isEnabledTo(&panel));
    panel.unlockButtons();
    QVERIFY(child<QWidget>(panel, "consoleComboBox")->isEnabled());
    panel.enableFastSettings(false);
    QVERIFY(!panel.isEnabled());
}

GUI_TEST_MAIN(TestFastSettingsWidget)
#include "tst_FastSettingsWidget.moc"
