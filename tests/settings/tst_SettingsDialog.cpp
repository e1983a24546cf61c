// The settings window: what opening, Cancel and OK store, the layouts of the two device kinds,
// the log lines of its handlers, the colours and the high-precision table, the developer code,
// the service-password gates of the editors and of the calibration, and the profilometer's
// reference-Ra entry talking to a simulated instrument.

#include "core/ContourTrace.h"
#include "core/Settings.h"
#include "device/Device.h"
#include "device/DevicePort.h"
#include "platform/DialogRunner.h"
#include "settings/ColorPickerWidget.h"
#include "settings/ConsoleControllerDialog.h"
#include "settings/DialogCalibration.h"
#include "settings/SettingsDialog.h"
#include "support/Fifo.h"
#include "support/LogReader.h"
#include "support/SimulatedInstrument.h"
#include "support/TempSettings.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSpinBox>
#include <QToolBox>

#include <memory>

using namespace testsupport;

namespace {

template<typename T = QWidget>
T *child(QWidget *window, const char *name)
{
    T *w = window->findChild<T *>(QLatin1String(name));
    if (!w)
        qFatal("no widget %s", name);
    return w;
}

void pressOk(QDialog *dialog)
{
    child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
}

void pressCancel(QDialog *dialog)
{
    child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Cancel)->click();
}

ContourTrace *contourTrace()
{
    auto *trace = new ContourTrace;
    trace->type = CONTOUR;
    return trace;
}

const QStringList kDeveloperWidgets {"scaleXResolutionSpinBox",
                                     "scaleZResolutionSpinBox",
                                     "scaleRResolutionSpinBox",
                                     "scaleXResolutionLabel",
                                     "scaleZResolutionLabel",
                                     "scaleRResolutionLabel",
                                     "demoCheckBox",
                                     "sensorTestCheckBox",
                                     "termitePushButton",
                                     "termteLabel"};

QStringList visibleOf(QWidget *window, const QStringList &names)
{
    QStringList shown;
    for (const QString &name : names) {
        // The tool box shows one page at a time: what counts is whether a widget is hidden.
        if (!child(window, name.toLatin1().constData())->isHidden())
            shown << name;
    }
    return shown;
}

} // namespace

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void opensOnTheDisplayPageAndCancelStoresNothing();
    void okStoresThePagesAndHandlersLog();
    void layoutFollowsTheDeviceKind_data();
    void layoutFollowsTheDeviceKind();
    void immediateChangesActAndCancelTakesThemBack();
    void nonLinearityTableIsBuiltFromTheChosenFile_data();
    void nonLinearityTableIsBuiltFromTheChosenFile();
    void nonLinearityChooserRefusesWhatIsNoFile_data();
    void nonLinearityChooserRefusesWhatIsNoFile();
    void developerCodeShowsTheServiceWidgets_data();
    void developerCodeShowsTheServiceWidgets();
    void editorGateOpensOnlyForTheExactPassword_data();
    void editorGateOpensOnlyForTheExactPassword();
    void calibrationGateAnswers_data();
    void calibrationGateAnswers();
    void referenceRaIsSavedBeforeTheInstrumentCalibrates();
    void windowLooksRight();
};

void TestSettingsDialog::opensOnTheDisplayPageAndCancelStoresNothing()
{
    TempSettings settings([](Settings &s) { s.device.device_type = CONTOUR; });
    settings.forgetFile();
    LogReader log;
    SettingsDialog dialog(nullptr, {});
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Параметры"));
    QCOMPARE(child<QToolBox>(&dialog, "toolBox")->currentIndex(), 1);
    dialog.show();
    pressCancel(&dialog);
    QVERIFY(!dialog.isVisible());
    QVERIFY(!settings.saved());
    QCOMPARE(log.messages(), QStringList());
}

void TestSettingsDialog::okStoresThePagesAndHandlersLog()
{
    TempSettings settings([](Settings &s) {
        s.device.device_type = CONTOUR;
        s.device.power_pressing = 1;
        s.view.axis_unit = 0;
    });
    LogReader log;
    SettingsDialog dialog(nullptr, {});
    dialog.show();
    auto *alternative = child<QCheckBox>(&dialog, "alternativeControlCheckBox");
    alternative->click();
    alternative->click();
    alternative->click();
    child<QComboBox>(&dialog, "axisUnit")->setCurrentIndex(1);
    child<QComboBox>(&dialog, "pressingPowerComboBox")->setCurrentIndex(2);
    child<QCheckBox>(&dialog, "anglesInDoubleCB")->click();
    QVERIFY(!settings.stored("device/alternative_managment").toBool());
    QCOMPARE(settings->view.axis_unit, 0);

    pressOk(&dialog);
    QCOMPARE(log.messages(),
             (QStringList {"alternativeManagementCheckBox turned on",
                           "alternativeManagementCheckBox turned off",
                           "alternativeManagementCheckBox turned on",
                           "axisUnit change value to микрометрах",
                           "needlePressingComboBox change value to 30 мН (3 грамм)",
                           "anglesInDoubleCB turned on", "Accept settings"}));
    QVERIFY(settings.stored("device/alternative_managment").toBool());
    QCOMPARE(settings.stored("view/axis_unit").toInt(), 1);
    QCOMPARE(settings.stored("device/power_pressing").toInt(), 3);
    QVERIFY(settings.stored("view/angles_in_deg").toBool());
    // Values the operator did not touch are stored as they were read.
    QCOMPARE(settings.stored("servise/factory_name").toString(), QStringLiteral("Завод"));
}

void TestSettingsDialog::layoutFollowsTheDeviceKind_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("nonLinearity");
    QTest::addColumn<QString>("firstButton");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("profilometer") << int(PROFILE) << true << "Калибровка"
                                  << QStringList {"askBeforeChangeFilterCheckBox",
                                                  "paramsSettingsPushButton"};
    QTest::newRow("contourograph, high precision off")
        << int(CONTOUR) << false << "Настройка консоли"
        << QStringList {"consoleButton", "alternativeControlCheckBox", "pressingPowerLabel",
                        "pressingPowerComboBox", "nonLinearityCheckBox"};
    QTest::newRow("contour with roughness, high precision on")
        << int(CONTOURPROF) << true << "Настройка консоли"
        << QStringList {"consoleButton",
                        "alternativeControlCheckBox",
                        "pressingPowerLabel",
                        "pressingPowerComboBox",
                        "nonLinearityCheckBox",
                        "nonLinearityDataStatusLable",
                        "chooseNonLinearityDataPushButton"};
}

void TestSettingsDialog::layoutFollowsTheDeviceKind()
{
    QFETCH(int, kind);
    QFETCH(bool, nonLinearity);
    QFETCH(QString, firstButton);
    QFETCH(QStringList, shown);
    TempSettings settings([=](Settings &s) {
        s.device.device_type = kind;
        s.preferences.non_linearity = nonLinearity;
    });
    SettingsDialog dialog(nullptr, {});
    const QStringList kindWidgets {"consoleButton",
                                   "alternativeControlCheckBox",
                                   "pressingPowerLabel",
                                   "pressingPowerComboBox",
                                   "nonLinearityCheckBox",
                                   "nonLinearityDataStatusLable",
                                   "chooseNonLinearityDataPushButton",
                                   "askBeforeChangeFilterCheckBox",
                                   "paramsSettingsPushButton"};
    QCOMPARE(visibleOf(&dialog, kindWidgets), shown);
    QCOMPARE(child<QPushButton>(&dialog, "consoleSettingsButton")->text(), firstButton);
    QVERIFY(!child(&dialog, "openControllerDialog")->isHidden());
    QCOMPARE(visibleOf(&dialog, kDeveloperWidgets), QStringList());
}

void TestSettingsDialog::immediateChangesActAndCancelTakesThemBack()
{
    TempSettings settings([](Settings &s) {
        s.device.device_type = CONTOUR;
        s.preferences.non_linearity = false;
        s.preferences.graph_color = QStringLiteral("#0048ba");
    });
    settings.forgetFile();
    SettingsDialog dialog(nullptr, {});
    dialog.show();
    auto *swatch = child<ColorPickerWidget>(&dialog, "graphColorWidget");
    QCOMPARE(swatch->color, QColor(QStringLiteral("#0048ba")));

    ScriptedPrompts prompts;
    prompts.answers << QColor(Qt::green);
    QTest::mouseClick(swatch, Qt::LeftButton);
    QCOMPARE(settings->preferences.graph_color, QStringLiteral("#00ff00"));
    auto *highPrecision = child<QCheckBox>(&dialog, "nonLinearityCheckBox");
    highPrecision->click();
    QVERIFY(settings->preferences.non_linearity);
    QVERIFY(!child(&dialog, "chooseNonLinearityDataPushButton")->isHidden());
    QVERIFY(!child(&dialog, "nonLinearityDataStatusLable")->isHidden());
    QVERIFY(!settings.saved());

    pressCancel(&dialog);
    QCOMPARE(settings->preferences.graph_color, QStringLiteral("#0048ba"));
    QVERIFY(!settings->preferences.non_linearity);
    QVERIFY(!settings.saved());

    // With OK the colour stays and is written.
    SettingsDialog again(nullptr, {});
    again.show();
    prompts.answers << QColor(Qt::green);
    QTest::mouseClick(child<ColorPickerWidget>(&again, "graphColorWidget"), Qt::LeftButton);
    pressOk(&again);
    QCOMPARE(settings.stored("preferenses/graph_color").toString(), QStringLiteral("#00ff00"));
}

void TestSettingsDialog::nonLinearityTableIsBuiltFromTheChosenFile_data()
{
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::newRow("LF") << QByteArray("\n");
    QTest::newRow("CRLF") << QByteArray("\r\n");
}

void TestSettingsDialog::nonLinearityTableIsBuiltFromTheChosenFile()
{
    QFETCH(QByteArray, lineEnd);
    TempSettings settings([](Settings &s) {
        s.device.device_type = CONTOUR;
        s.preferences.non_linearity = true;
    });
    QFile::remove(QStringLiteral("non_linearity/non_linearity.txt"));
    SettingsDialog dialog(nullptr, {});
    dialog.show();
    auto *status = child<QLabel>(&dialog, "nonLinearityDataStatusLable");
    QCOMPARE(status->text(), QStringLiteral("Файл не найден"));

    ScriptedPrompts prompts;
    // A cancelled chooser does nothing.
    child<QPushButton>(&dialog, "chooseNonLinearityDataPushButton")->click();
    QCOMPARE(status->text(), QStringLiteral("Файл не найден"));

    QFile input(QStringLiteral("measured.txt"));
    QVERIFY(input.open(QIODevice::WriteOnly));
    input.write("trace_type: CONTOUR" + lineEnd);
    for (int i = 0; i < 600; ++i)
        input.write(QByteArray::number(i * 10) + "\t5\t250\t" + lineEnd);
    input.close();
    prompts.answers << QStringLiteral("measured.txt");
    child<QPushButton>(&dialog, "chooseNonLinearityDataPushButton")->click();
    QCOMPARE(prompts.asked.last().title, QStringLiteral("Открыть трассу"));
    QCOMPARE(status->text(), QStringLiteral("Файл найден"));
    QFile table(QStringLiteral("non_linearity/non_linearity.txt"));
    QVERIFY(table.open(QIODevice::ReadOnly));
    QVERIFY(table.readLine().startsWith("1000\t5.25"));
    table.seek(0);
    const QByteArray built = table.readAll();
    table.close();

    // A file whose points all share one X makes no table: the operator is told why, and the
    // table built above stays.
    QFile oneX(QStringLiteral("one_x.txt"));
    QVERIFY(oneX.open(QIODevice::WriteOnly));
    for (int i = 0; i < 600; ++i)
        oneX.write("40\t" + QByteArray::number(i % 9) + "\t250\t" + lineEnd);
    oneX.close();
    prompts.answers << QStringLiteral("one_x.txt");
    child<QPushButton>(&dialog, "chooseNonLinearityDataPushButton")->click();
    QCOMPARE(prompts.kinds().last(), QStringLiteral("warning"));
    QCOMPARE(prompts.asked.last().text,
             QStringLiteral("Таблица нелинейности не записана: все точки файла имеют одну "
                            "координату X. Прежняя таблица сохранена."));
    QVERIFY(table.open(QIODevice::ReadOnly));
    QCOMPARE(table.readAll(), built);
    QCOMPARE(status->text(), QStringLiteral("Файл найден"));
}

void TestSettingsDialog::nonLinearityChooserRefusesWhatIsNoFile_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("reason");
    QTest::newRow("fifo") << "fifo"
                          << ": not a regular file";
    QTest::newRow("folder") << "folder"
                            << ": not a regular file";
    QTest::newRow("missing file") << "missing"
                                  << "";
}

// A pipe, a folder or a file that is not there is refused at once with a warning; the table
// built before stays as it was.
void TestSettingsDialog::nonLinearityChooserRefusesWhatIsNoFile()
{
    QFETCH(QString, source);
    QFETCH(QString, reason);
    TempSettings settings([](Settings &s) {
        s.device.device_type = CONTOUR;
        s.preferences.non_linearity = true;
    });
    const QByteArray previous("0\t1\n10\t2\n");
    QVERIFY(QDir::current().mkpath(QStringLiteral("non_linearity")));
    QFile table(QStringLiteral("non_linearity/non_linearity.txt"));
    QVERIFY(table.open(QIODevice::WriteOnly | QIODevice::Truncate));
    table.write(previous);
    table.close();
    Fifo fifo;
    QVERIFY(fifo.isValid());
    const QString path = source == "fifo" ? fifo.path()
        : source == "folder" ? QDir::current().absoluteFilePath(QStringLiteral("non_linearity"))
                             : QDir::current().absoluteFilePath(QStringLiteral("нет.txt"));
    SettingsDialog dialog(nullptr, {});
    dialog.show();
    ScriptedPrompts prompts;
    prompts.answers << path;
    LogReader log;
    QVERIFY(fifo.returnsInTime(
        [&dialog] { child<QPushButton>(&dialog, "chooseNonLinearityDataPushButton")->click(); }));
    QCOMPARE(prompts.kinds(), (QStringList {"open", "warning"}));
    QCOMPARE(prompts.asked.at(1).title, QStringLiteral("Ошибка"));
    QCOMPARE(prompts.asked.at(1).text, QStringLiteral("Не удалось открыть файл ") + path);
    QVERIFY2(log.contains("ERROR: Can't open file " + path + reason),
             qPrintable(log.entries().join('\n')));
    QVERIFY(table.open(QIODevice::ReadOnly));
    QCOMPARE(table.readAll(), previous);
    QCOMPARE(child<QLabel>(&dialog, "nonLinearityDataStatusLable")->text(),
             QStringLiteral("Файл найден"));
}

void TestSettingsDialog::developerCodeShowsTheServiceWidgets_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("developer");
    QTest::newRow("the code") << "647" << true;
    QTest::newRow("one more character") << "6471" << false;
    QTest::newRow("leading blank") << " 647" << false;
    QTest::newRow("trailing blank") << "647 " << false;
}

void TestSettingsDialog::developerCodeShowsTheServiceWidgets()
{
    QFETCH(QString, typed);
    QFETCH(bool, developer);
    TempSettings settings([](Settings &s) { s.device.device_type = CONTOUR; });
    SettingsDialog dialog(nullptr, {});
    dialog.show();
    auto *name = child<QLineEdit>(&dialog, "facoryNameLineEdit");
    name->selectAll();
    QTest::keyClick(name, Qt::Key_Delete);
    QTest::keyClicks(name, typed);
    QCOMPARE(visibleOf(&dialog, kDeveloperWidgets), developer ? kDeveloperWidgets : QStringList());
    QCOMPARE(settings.stored("servise/is_developer_mode").toBool(), developer);
    QCOMPARE(settings.stored("servise/factory_name").toString(), typed);

    // Cancel puts the organisation name, and with it the developer flag, back.
    pressCancel(&dialog);
    QCOMPARE(settings.stored("servise/factory_name").toString(), QStringLiteral("Завод"));
    QVERIFY(!settings.stored("servise/is_developer_mode").toBool());
}

void TestSettingsDialog::editorGateOpensOnlyForTheExactPassword_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QVariant>("answer");
    QTest::addColumn<QString>("editorTitle");

    for (const QString &button :
         {QStringLiteral("openControllerDialog"), QStringLiteral("consoleButton")}) {
        const QString title = button == QLatin1String("consoleButton")
            ? QStringLiteral("Консоли")
            : QStringLiteral("Контроллеры");
        const QByteArray tag = button.toLatin1();
        QTest::newRow(tag + ", cancelled") << button << QVariant() << QString();
        QTest::newRow(tag + ", empty") << button << QVariant(QString()) << QString();
        QTest::newRow(tag + ", wrong") << button << QVariant(QStringLiteral("8053")) << QString();
        QTest::newRow(tag + ", extra blank")
            << button << QVariant(QStringLiteral("8052 ")) << QString();
        QTest::newRow(tag + ", right") << button << QVariant(QStringLiteral("8052")) << title;
    }
}

void TestSettingsDialog::editorGateOpensOnlyForTheExactPassword()
{
    QFETCH(QString, button);
    QFETCH(QVariant, answer);
    QFETCH(QString, editorTitle);
    TempSettings settings([](Settings &s) { s.device.device_type = CONTOUR; });
    SettingsDialog dialog(nullptr, {});
    ScriptedPrompts prompts;
    prompts.answers << answer;
    DialogInterceptor editors([](QDialog *editor) { editor->reject(); });
    child<QPushButton>(&dialog, button.toLatin1().constData())->click();
    QCOMPARE(prompts.kinds(), QStringList {"text"});
    QCOMPARE(prompts.asked.at(0).title, QStringLiteral("Сервис-пароль"));
    QCOMPARE(editors.seen, editorTitle.isEmpty() ? QStringList() : QStringList {editorTitle});
    // The editor was used once and is gone.
    QVERIFY(dialog.findChildren<ConsoleControllerDialog *>().isEmpty());
}

void TestSettingsDialog::calibrationGateAnswers_data()
{
    QTest::addColumn<bool>("withTrace");
    QTest::addColumn<QVariant>("answer");
    QTest::addColumn<QStringList>("prompts");
    QTest::addColumn<bool>("calibrationOpens");

    QTest::newRow("no trace") << false << QVariant() << QStringList {"warning"} << false;
    QTest::newRow("cancelled") << true << QVariant() << QStringList {"text"} << false;
    QTest::newRow("empty") << true << QVariant(QString()) << QStringList {"text"} << false;
    QTest::newRow("wrong") << true << QVariant(QStringLiteral("1234"))
                           << QStringList {"text", "critical"} << false;
    QTest::newRow("right") << true << QVariant(QStringLiteral("8052")) << QStringList {"text"}
                           << true;
}

void TestSettingsDialog::calibrationGateAnswers()
{
    QFETCH(bool, withTrace);
    QFETCH(QVariant, answer);
    QFETCH(QStringList, prompts);
    QFETCH(bool, calibrationOpens);
    TempSettings settings([](Settings &s) { s.device.device_type = CONTOUR; });
    std::unique_ptr<ContourTrace> trace(contourTrace());
    QList<AbstractTrace *> traces;
    if (withTrace)
        traces << trace.get();
    SettingsDialog dialog(nullptr, traces);
    dialog.show();
    ScriptedPrompts scripted;
    scripted.answers << answer;
    QSize calibrationSize;
    DialogInterceptor calibration([&](QDialog *d) {
        calibrationSize = d->size();
        d->reject();
    });
    child<QPushButton>(&dialog, "consoleSettingsButton")->click();
    QCOMPARE(scripted.kinds(), prompts);
    if (!withTrace) {
        QCOMPARE(scripted.asked.at(0).title, QStringLiteral("Ошибка"));
        QCOMPARE(
            scripted.asked.at(0).text,
            QStringLiteral("Нет трассы для калибровки. Откройте или запишите хотя бы одну трассу"));
    } else {
        QCOMPARE(scripted.asked.at(0).title, QStringLiteral("Система безопасности"));
        QCOMPARE(scripted.asked.at(0).text,
                 QStringLiteral("Введите пароль из руководства по эксплуатации"));
    }
    if (prompts.contains(QStringLiteral("critical"))) {
        QCOMPARE(scripted.asked.at(1).title, QStringLiteral("Неверный пароль"));
        QCOMPARE(scripted.asked.at(1).text,
                 QStringLiteral("Пароль указан в руководстве по эксплуатации"));
    }
    QCOMPARE(calibration.seen, calibrationOpens ? QStringList {"Калибровка"} : QStringList());
    if (calibrationOpens)
        QCOMPARE(calibrationSize, dialog.screen()->availableGeometry().size());
    QVERIFY(dialog.findChildren<DialogCalibration *>().isEmpty());
}

void TestSettingsDialog::referenceRaIsSavedBeforeTheInstrumentCalibrates()
{
    TempSettings settings([](Settings &s) {
        s.device.device_type = PROFILE;
        s.calibration.calibration_Ra_value = 1.0;
    });
    SimulatedInstrument sim(SimulatedInstrument::Profilometer);
    QVERIFY(sim.isValid());
    qputenv(DevicePort::kPortsVariable, sim.linkPath().toLocal8Bit());
    Device device;
    QTRY_VERIFY_WITH_TIMEOUT(sim.received.endsWith("PS0"), 8000);

    SettingsDialog dialog(nullptr, {});
    dialog.device = &device;
    ScriptedPrompts prompts;
    for (const bool accept : {false, true}) {
        DialogInterceptor entry([accept](QDialog *d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("Калибровка"));
            auto *value = d->findChild<QDoubleSpinBox *>();
            value->setFocus();
            value->selectAll();
            QTest::keyClicks(value, QStringLiteral("2.5"));
            for (QPushButton *b : d->findChildren<QPushButton *>()) {
                if (b->text() == (accept ? QStringLiteral("Принять") : QStringLiteral("Отмена")))
                    b->click();
            }
        });
        sim.received.clear();
        child<QPushButton>(&dialog, "consoleSettingsButton")->click();
        QCOMPARE(entry.seen.size(), 1);
        if (!accept) {
            QCOMPARE(settings.stored("calibration/calibration_Ra_value").toDouble(), 1.0);
            continue;
        }
        QCOMPARE(settings.stored("calibration/calibration_Ra_value").toDouble(), 2.5);
        // The instrument is sent the value just stored.
        QTRY_VERIFY_WITH_TIMEOUT(sim.received.contains("Ka02500"), 8000);
    }
    // No password was asked on the profilometer.
    QVERIFY(prompts.asked.isEmpty());
    qunsetenv(DevicePort::kPortsVariable);
}

void TestSettingsDialog::windowLooksRight()
{
    TempSettings settings([](Settings &s) {
        s.device.device_type = CONTOUR;
        s.preferences.non_linearity = true;
        s.service.is_developer_mode = true;
    });
    SettingsDialog dialog(nullptr, {});
    auto *pages = child<QToolBox>(&dialog, "toolBox");
    for (int page = 0; page < pages->count(); ++page) {
        pages->setCurrentIndex(page);
        const GrabResult grab = grabWindow(&dialog, QStringLiteral("settings_page_%1").arg(page));
        VERIFY_GRAB(grab);
    }
}

GUI_TEST_MAIN(TestSettingsDialog)
#include "tst_SettingsDialog.moc"
