// The device panel: what it builds from the settings, the speed and length coupling, the status
// line, warnings, the key map, calibration and locking, checked on the bytes that reach a
// simulated instrument and on the settings saved.

#include "device/ui/PanelRig.h"
#include "platform/DialogRunner.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ModalAnswerer.h"
#include "support/gui/WindowGrab.h"

#include <QDialog>
#include <QDoubleSpinBox>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QProgressBar>

using namespace testsupport;

class TestDeviceControlWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void builtFromSettings_data();
    void builtFromSettings();
    void speedAndLengthAreCoupled_data();
    void speedAndLengthAreCoupled();
    void statusLine_data();
    void statusLine();
    void warningFadesOut();
    void keyMap_data();
    void keyMap();
    void filterSetFromOutside();
    void profilometerCalibration_data();
    void profilometerCalibration();
    void calibrationRequestedByDevice();
    void busyDeviceLocksPanel();
    void cancelledProgressWindow();
    void levelBarFollowsDevice();
    void pictures_data();
    void pictures();

private:
    std::unique_ptr<PanelRig> rig;
};

void TestDeviceControlWidget::initTestCase()
{
    qRegisterMetaType<E_ANALISIS_TYPE>("E_ANALISIS_TYPE");
}

void TestDeviceControlWidget::cleanup()
{
    rig.reset();
}

void TestDeviceControlWidget::builtFromSettings_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("filter");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("shownLength");
    QTest::addColumn<bool>("contourCalibration");
    QTest::newRow("profilometer, stored length 1 shows 2") << 2 << 1 << 3 << 1 << 0 << 2 << true;
    QTest::newRow("profilometer, 25 mm") << 2 << 3 << 0 << 25 << 0 << 25 << true;
    QTest::newRow("contourograph, roughness sensor mode") << 0 << 2 << 1 << 12 << 2 << 12 << false;
    QTest::newRow("contourograph, additional axis") << 0 << 0 << 1 << 5 << 3 << 5 << false;
    QTest::newRow("contourograph, contour mode") << 0 << 1 << 1 << 5 << 0 << 5 << true;
}

void TestDeviceControlWidget::builtFromSettings()
{
    QFETCH(int, kind);
    QFETCH(int, speed);
    QFETCH(int, filter);
    QFETCH(int, length);
    QFETCH(int, mode);
    QFETCH(int, shownLength);
    QFETCH(bool, contourCalibration);
    rig = std::make_unique<PanelRig>();
    rig->build(
        [=](Settings &s) {
            s.device.device_type = kind;
            s.movement.current_speed = speed;
            s.device.spinbox_filter_length_index = filter;
            s.device.trace_length = length;
            s.device.measurement_mode = mode;
        },
        false);
    rig->settings->forgetFile();
    rig->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig->window.get()));
    QTest::qWait(20);
    QVERIFY2(!rig->settings->saved(), "building the panel must not save the settings");
    QCOMPARE(Settings::instance()->device.trace_length, length);

    auto *speedBox = rig->child<QComboBox>("speedComboBox");
    QCOMPARE(speedBox->count(), 4);
    QCOMPARE(speedBox->itemText(0), QStringLiteral("0.25 мм/c"));
    QCOMPARE(speedBox->itemData(3).toInt(), 3);
    QCOMPARE(speedBox->currentIndex(), speed);
    QCOMPARE(rig->panel->currentSpeed(), DeviceControlWidget::kSpeedValues.at(speed));
    QCOMPARE(rig->child<QComboBox>("filterComboBox")->currentIndex(), filter);
    QCOMPARE(rig->child<QSpinBox>("traceLengthSpinBox")->value(), shownLength);
    // Without an instrument the panel as a whole is disabled; its children keep their own state.
    QVERIFY(!rig->panel->isEnabled());
    QVERIFY(!rig->button("stopTraceButton")->isEnabledTo(rig->panel));
    QVERIFY(!rig->button("additionalTracePushButton")->isEnabledTo(rig->panel));
    QVERIFY(rig->button("startTraceButton")->isEnabledTo(rig->panel));
    QCOMPARE(rig->button("calibrationContourPushButton")->isEnabledTo(rig->panel),
             contourCalibration);
    QCOMPARE(rig->child<QLabel>("warningMessageLabel")->text(), QString());

    const bool profilometer = kind == PROFILE;
    for (const char *name :
         {"xplusButton", "xminusButton", "zplusButton", "zminusButton", "yplusButton",
          "yminusButton", "autoMinMaxCalibButton", "calibrationContourPushButton"})
        QVERIFY2(rig->child<QWidget>(name)->isVisible() != profilometer, name);
    for (const char *name :
         {"traceLengthSpinBox", "traceLengthLabel", "filterComboBox", "filterLabel",
          "additionalTracePushButton", "calibrationProfilePushButton"})
        QVERIFY2(rig->child<QWidget>(name)->isVisible() == profilometer, name);
    for (const char *name : {"speedComboBox", "startTraceButton", "stopTraceButton", "progressBar"})
        QVERIFY2(rig->child<QWidget>(name)->isVisible(), name);
}

void TestDeviceControlWidget::speedAndLengthAreCoupled_data()
{
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expectedSpeed");
    QTest::addColumn<int>("expectedLength");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QList<QByteArray>>("commands");
    // "PL" is followed by the character 48 + length.
    QTest::newRow("slowest speed cuts 30 mm to 10")
        << 3 << 30 << "speed" << 0 << 0 << 10 << "Длина трассы была изменена"
        << QList<QByteArray> {"PL:", "PS0"};
    QTest::newRow("0.5 mm/s cuts 30 mm to 20")
        << 2 << 30 << "speed" << 1 << 1 << 20 << "Длина трассы была изменена"
        << QList<QByteArray> {"PLD", "PS1"};
    QTest::newRow("fast speed keeps the length")
        << 0 << 10 << "speed" << 3 << 3 << 10 << "" << QList<QByteArray> {"PS3"};
    QTest::newRow("15 mm at the slowest speed raises it to 0.5 mm/s")
        << 0 << 5 << "length" << 15 << 1 << 15 << "Скорость была изменена"
        << QList<QByteArray> {"PL?", "PS1"};
    QTest::newRow("25 mm at 0.5 mm/s raises it to 1 mm/s")
        << 1 << 15 << "length" << 25 << 2 << 25 << "Скорость была изменена"
        << QList<QByteArray> {"PLI", "PS2"};
    QTest::newRow("25 mm at the slowest speed raises it to 1 mm/s")
        << 0 << 5 << "length" << 25 << 2 << 25 << "Скорость была изменена"
        << QList<QByteArray> {"PLI", "PS2"};
    QTest::newRow("25 mm at 2 mm/s changes nothing")
        << 3 << 15 << "length" << 25 << 3 << 25 << "" << QList<QByteArray> {"PLI"};
}

void TestDeviceControlWidget::speedAndLengthAreCoupled()
{
    QFETCH(int, speed);
    QFETCH(int, length);
    QFETCH(QString, change);
    QFETCH(int, value);
    QFETCH(int, expectedSpeed);
    QFETCH(int, expectedLength);
    QFETCH(QString, warning);
    QFETCH(QList<QByteArray>, commands);
    rig = std::make_unique<PanelRig>();
    QVERIFY(rig->connect(SimulatedInstrument::Profilometer, [=](Settings &s) {
        s.movement.current_speed = speed;
        s.device.trace_length = length;
    }));
    rig->window->show();
    auto *speedBox = rig->child<QComboBox>("speedComboBox");
    auto *lengthBox = rig->child<QSpinBox>("traceLengthSpinBox");
    if (change == QLatin1String("speed"))
        speedBox->setCurrentIndex(value);
    else
        lengthBox->setValue(value);
    QCOMPARE(speedBox->currentIndex(), expectedSpeed);
    QCOMPARE(lengthBox->value(), expectedLength);
    QCOMPARE(rig->settings->stored("movement/current_speed").toInt(), expectedSpeed);
    QCOMPARE(rig->settings->stored("device/trace_length").toInt(), expectedLength);
    auto *label = rig->child<QLabel>("warningMessageLabel");
    if (warning.isEmpty()) {
        QCOMPARE(label->text(), QString());
    } else {
        QCOMPARE(label->text(), "<font color='red'>" + warning + "</font>");
        QVERIFY(label->isVisible());
    }
    QVERIFY(rig->waitForCommand(commands.last()));
    QTRY_VERIFY(rig->sim->idle());
    QCOMPARE(rig->sim->commands, commands);
}

void TestDeviceControlWidget::statusLine_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("console");
    QTest::addColumn<int>("probe");
    QTest::addColumn<int>("x");
    QTest::addColumn<QString>("expected");
    QTest::newRow("profilometer") << 2 << 4321 << 7 << 9 << " с показателем z: 4321";
    QTest::newRow("contourograph, z2 at the threshold shows 0")
        << 0 << 1000 << 2500 << 12345 << " с показателями x: 12.345мм , z1: 2.5 мм, z2: 0 мм";
    QTest::newRow("contourograph, z2 above the threshold")
        << 0 << 1001 << -1500 << 0 << " с показателями x: 0мм , z1: -1.5 мм, z2: 0.001001 мм";
    QTest::newRow("contourograph, six significant digits")
        << 0 << 123456789 << 1 << 1234567
        << " с показателями x: 1234.57мм , z1: 0.001 мм, z2: 123.457 мм";
}

void TestDeviceControlWidget::statusLine()
{
    QFETCH(int, kind);
    QFETCH(int, console);
    QFETCH(int, probe);
    QFETCH(int, x);
    QFETCH(QString, expected);
    rig = std::make_unique<PanelRig>();
    QVERIFY(rig->connect(kind == PROFILE ? SimulatedInstrument::Profilometer
                                         : SimulatedInstrument::Contourograph));
    QSignalSpy status(rig->panel, &DeviceControlWidget::statusBarText);
    rig->panel->device.consoleHeight = console;
    rig->panel->device.probeHeight = probe;
    rig->panel->device.xPosition = x;
    QVERIFY(status.wait(3000));
    const QString port = rig->sim->linkPath();
    QCOMPARE(status.last().at(0).toString(), QStringLiteral("Устройство ") + port + expected);

    // A lost link stops the live values: the last text says so and no value line follows.
    rig->sim->dropLine();
    QTRY_COMPARE_WITH_TIMEOUT(status.last().at(0).toString(),
                              QStringLiteral("Устройство не найдено"), kWaitMs);
    status.clear();
    QTest::qWait(1300);
    for (const QList<QVariant> &line : qAsConst(status))
        QCOMPARE(line.at(0).toString(), QStringLiteral("Устройство не найдено"));
    QVERIFY(!rig->panel->isEnabled());
}

void TestDeviceControlWidget::warningFadesOut()
{
    rig = std::make_unique<PanelRig>();
    rig->build([](Settings &) {}, false);
    rig->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig->window.get()));
    auto *label = rig->child<QLabel>("warningMessageLabel");
    QElapsedTimer clock;
    clock.start();
    rig->panel->showWarning(QStringLiteral("Первое"));
    QTest::qWait(300);
    rig->panel->showWarning(QStringLiteral("Скорость была изменена"));
    QCOMPARE(label->text(), QStringLiteral("<font color='red'>Скорость была изменена</font>"));
    QVERIFY(label->isVisible());
    const GrabResult grab = grabWindow(rig->window.get(), QStringLiteral("panel_warning"));
    VERIFY_GRAB(grab);
    QTRY_VERIFY_WITH_TIMEOUT(!label->isVisible(), 8000);
    // Held for two seconds, faded over one.
    QVERIFY2(clock.elapsed() >= 2900, qPrintable(QString::number(clock.elapsed())));
    auto *effect = qobject_cast<QGraphicsOpacityEffect *>(label->graphicsEffect());
    QVERIFY(effect);
    QCOMPARE(effect->opacity(), 1.0);
    // The next warning shows again.
    rig->panel->showWarning(QStringLiteral("Длина трассы была изменена"));
    QVERIFY(label->isVisible());
}

void TestDeviceControlWidget::keyMap_data()
{
    QTest::addColumn<bool>("alternative");
    QTest::addColumn<QStringList>("buttons"); // for Left Right Space Return Up Down PageUp PageDown
    QTest::addColumn<QStringList>("column1"); // the pair above and below the min-max button
    QTest::newRow("standard") << false
                              << QStringList {"xminusButton",     "xplusButton", "stopTraceButton",
                                              "startTraceButton", "zplusButton", "zminusButton",
                                              "yplusButton",      "yminusButton"}
                              << QStringList {"zplusButton", "zminusButton"};
    QTest::newRow("alternative") << true << QStringList {"xminusButton",    "xplusButton",
                                                         "stopTraceButton", "startTraceButton",
                                                         "yplusButton",     "yminusButton",
                                                         "zplusButton",     "zminusButton"}
                                 << QStringList {"yplusButton", "yminusButton"};
}

void TestDeviceControlWidget::keyMap()
{
    QFETCH(bool, alternative);
    QFETCH(QStringList, buttons);
    QFETCH(QStringList, column1);
    rig = std::make_unique<PanelRig>();
    rig->build([=](Settings &s) { s.device.alternative_managment = alternative; }, false);
    KeyReceiver *receiver = rig->panel->updateKeyMap();
    QCOMPARE(receiver, rig->panel->keyReceiver);
    const QList<int> keys {Qt::Key_Left, Qt::Key_Right, Qt::Key_Space,  Qt::Key_Return,
                           Qt::Key_Up,   Qt::Key_Down,  Qt::Key_PageUp, Qt::Key_PageDown};
    QCOMPARE(receiver->keyMap.size(), keys.size());
    for (int i = 0; i < keys.size(); ++i)
        QCOMPARE(receiver->keyMap.value(keys.at(i))->objectName(), buttons.at(i));
    auto *grid = rig->child<QGridLayout>("gridLayout");
    const auto place = [grid, this](const char *name) {
        int row = -1, column = -1, rs = 0, cs = 0;
        grid->getItemPosition(grid->indexOf(rig->child<QWidget>(name)), &row, &column, &rs, &cs);
        return QPoint(column, row);
    };
    QCOMPARE(place(column1.at(0).toLatin1()), QPoint(1, 1));
    QCOMPARE(place(column1.at(1).toLatin1()), QPoint(1, 3));
    QCOMPARE(place("xminusButton"), QPoint(0, 2));
    QCOMPARE(place("xplusButton"), QPoint(4, 2));
}

void TestDeviceControlWidget::filterSetFromOutside()
{
    rig = std::make_unique<PanelRig>();
    QVERIFY(rig->connect(SimulatedInstrument::Profilometer));
    rig->panel->setFilterIndex(3);
    QCOMPARE(rig->child<QComboBox>("filterComboBox")->currentIndex(), 3);
    QCOMPARE(rig->settings->stored("device/spinbox_filter_length_index").toInt(), 3);
    // The combo's own change runs the same step again: the command goes out twice.
    QVERIFY(rig->waitForCommand("PF4", 2));
    QTRY_VERIFY(rig->sim->idle());
    QCOMPARE(rig->sim->commands, (QList<QByteArray> {"PF4", "PF4"}));
}

void TestDeviceControlWidget::profilometerCalibration_data()
{
    QTest::addColumn<bool>("ctrl");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<double>("stored");
    QTest::newRow("Ctrl held resets the additional calibration")
        << true << QString() << false << QByteArray("Ke00000") << 1.0;
    QTest::newRow("reference Ra typed with a period, rounded exactly")
        << false << "0.29" << true << QByteArray("Ka00290") << 0.29;
    QTest::newRow("reference Ra with a comma")
        << false << "12,345" << true << QByteArray("Ka12345") << 12.345;
    QTest::newRow("cancel sends nothing") << false << "5" << false << QByteArray() << 1.0;
}

void TestDeviceControlWidget::profilometerCalibration()
{
    QFETCH(bool, ctrl);
    QFETCH(QString, typed);
    QFETCH(bool, accept);
    QFETCH(QByteArray, command);
    QFETCH(double, stored);
    rig = std::make_unique<PanelRig>();
    QVERIFY(rig->connect(SimulatedInstrument::Profilometer));
    rig->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig->window.get()));
    qApp->installEventFilter(rig->panel->keyReceiver);
    auto *button = rig->button("calibrationProfilePushButton");
    if (ctrl) {
        windowKeyPress(rig->window.get(), Qt::Key_Control, Qt::NoModifier);
        QCOMPARE(button->text(), QStringLiteral("Сброс доп. калибровки"));
    }
    QString shownValue;
    DialogInterceptor interceptor([&](QDialog *dialog) {
        auto *spin = dialog->findChild<QDoubleSpinBox *>();
        QVERIFY(spin);
        shownValue = spin->text();
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, typed);
        const QString label = accept ? QStringLiteral("Принять") : QStringLiteral("Отмена");
        dialog->show();
        QVERIFY(ModalAnswerer::clickButton(dialog, label));
    });
    button->click();
    if (ctrl) {
        windowKeyRelease(rig->window.get(), Qt::Key_Control, Qt::ControlModifier);
        QCOMPARE(button->text(), QStringLiteral("Калибровка"));
        QVERIFY(interceptor.seen.isEmpty());
        QVERIFY(rig->waitForCommand("Cr"));
        QCOMPARE(rig->sim->commands, (QList<QByteArray> {"Ke00000", "Cr"}));
    } else {
        QCOMPARE(interceptor.seen, QStringList {QStringLiteral("Калибровка")});
        QVERIFY(interceptor.jogWasBlocked);
        QCOMPARE(shownValue, QStringLiteral("1,000 мкм"));
        if (accept) {
            QVERIFY(rig->waitForCommand(command));
            QCOMPARE(rig->sim->commands.value(0), command);
        } else {
            QTest::qWait(50);
            QVERIFY(rig->sim->commands.isEmpty());
        }
    }
    qApp->removeEventFilter(rig->panel->keyReceiver);
    QCOMPARE(Settings::instance()->calibration.calibration_Ra_value, stored);
    if (accept)
        QCOMPARE(rig->settings->stored("calibration/calibration_Ra_value").toDouble(), stored);
}

void TestDeviceControlWidget::calibrationRequestedByDevice()
{
    rig = std::make_unique<PanelRig>();
    QVERIFY(rig->connect(SimulatedInstrument::Contourograph));
    auto *start = rig->button("startTraceButton");
    rig->sim->sendContourStatus(0, 3);
    QTRY_COMPARE_WITH_TIMEOUT(start->text(), QStringLiteral("Калибровка"), kWaitMs);
    QVERIFY(rig->panel->calibrationPending);
    rig->clearCommands();
    QSignalSpy traces(rig->panel, &DeviceControlWidget::newTrace);
    // The simulator answers the calibration with its stages; the progress window runs them.
    start->click();
    QVERIFY(rig->waitForCommand("CK"));
    QCOMPARE(rig->sim->commands.mid(0, 4), (QList<QByteArray> {"SX0", "PF2", "PL2", "CK"}));
    QCOMPARE(start->text(), QStringLiteral("Трасса"));
    QVERIFY(!rig->panel->calibrationPending);
    QCOMPARE(traces.count(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), kWaitMs);
}

void TestDeviceControlWidget::busyDeviceLocksPanel()
{
    rig = std::make_unique<PanelRig>();
    QVERIFY(rig->connect(SimulatedInstrument::Contourograph));
    auto *start = rig->button("startTraceButton");
    auto *speed = rig->child<QComboBox>("speedComboBox");
    rig->sim->sendContourStatus(0, 5);
    QTRY_VERIFY_WITH_TIMEOUT(!start->isEnabled(), kWaitMs);
    QCOMPARE(rig->panelSignals, QStringList {"lock"});
    QVERIFY(speed->isEnabled());
    QVERIFY(!rig->button("xplusButton")->isEnabled());
    rig->sim->sendContourStatus(0, 0);
    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), kWaitMs);
    QCOMPARE(rig->panelSignals, (QStringList {"lock", "unlock"}));
    QVERIFY(!rig->button("stopTraceButton")->isEnabled());
}

void TestDeviceControlWidget::cancelledProgressWindow()
{
    rig = std::make_unique<PanelRig>();
    QVERIFY(rig->connect(SimulatedInstrument::Contourograph));
    rig->window->show();
    rig->sim->stallAfterPackets = 2;
    QString title;
    bool blocked = false;
    ModalAnswerer answerer([&](QWidget *modal) {
        title = modal->findChildren<QLabel *>().value(1)->text();
        blocked = rig->panel->keyReceiver->signalsBlocked();
        const GrabResult grab = grabWindow(modal, QStringLiteral("loader"));
        VERIFY_GRAB(grab);
        QVERIFY(ModalAnswerer::clickButton(modal, QStringLiteral("Отмена")));
    });
    rig->button("calibrationContourPushButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(answerer.answered(), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), kWaitMs);
    QCOMPARE(title, QStringLiteral("Идёт калибровка"));
    QVERIFY(blocked);
    QVERIFY(rig->waitForCommand("CA"));
    QCOMPARE(rig->sim->commands, (QList<QByteArray> {"CK", "CC", "CA"}));
    QVERIFY(rig->panelSignals.contains(QStringLiteral("unlock")));
    // Cancelling leaves the stop button enabled; it does nothing, since nothing records.
    QVERIFY(rig->button("stopTraceButton")->isEnabled());
    rig->button("stopTraceButton")->click();
    QTest::qWait(50);
    QCOMPARE(rig->sim->commands.size(), 3);
    rig->sim->resume();
}

void TestDeviceControlWidget::levelBarFollowsDevice()
{
    rig = std::make_unique<PanelRig>();
    QVERIFY(rig->connect(SimulatedInstrument::Contourograph));
    auto *bar = rig->child<QProgressBar>("progressBar");
    QCOMPARE(bar->maximum(), 1);
    rig->sim->sendContourStatus(0, 0, 100, 700);
    QTRY_COMPARE_WITH_TIMEOUT(bar->value(), 700, kWaitMs);
    QCOMPARE(bar->maximum(), 700);
    rig->sim->sendContourStatus(0, 0, 100, 300);
    QTRY_COMPARE_WITH_TIMEOUT(bar->value(), 300, kWaitMs);
    QCOMPARE(bar->maximum(), 700);
    rig->panel->setDeviceType(CONTOURPROF);
    QCOMPARE(bar->maximum(), 1);
    QVERIFY(rig->waitForCommand("PR1"));
}

void TestDeviceControlWidget::pictures_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("profilometer") << 2;
    QTest::newRow("contourograph") << 0;
}

void TestDeviceControlWidget::pictures()
{
    QFETCH(int, kind);
    rig = std::make_unique<PanelRig>();
    rig->build([=](Settings &s) { s.device.device_type = kind; }, false);
    rig->panel->updateKeyMap();
    rig->panel->showWarning(QStringLiteral("Длина трассы была изменена"));
    const GrabResult grab
        = grabWindow(rig->window.get(), QStringLiteral("device_panel_%1").arg(kind));
    VERIFY_GRAB(grab);
    QVERIFY(inkRatio(grab.image) > 0.05);
    // Texts fit their widgets (no clipped Cyrillic).
    for (QAbstractButton *b : rig->panel->findChildren<QAbstractButton *>()) {
        if (b->isVisible() && !b->text().isEmpty())
            QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) <= b->width(),
                     qPrintable(b->objectName()));
    }
}

GUI_TEST_MAIN(TestDeviceControlWidget)
#include "tst_DeviceControlWidget.moc"
