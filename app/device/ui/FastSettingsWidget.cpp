#include "device/ui/FastSettingsWidget.h"

#include "core/AbstractTrace.h"
#include "core/Consoles.h"
#include "ui_FastSettingsWidget.h"

FastSettingsWidget::FastSettingsWidget(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_FastSettingsWidget)
{
    init();
    connectSignals();
}

FastSettingsWidget::~FastSettingsWidget()
{
    delete ui;
}

void FastSettingsWidget::init()
{
    ui->setupUi(this);
    ui->mmPerRotationSpinBox->hide();
    ui->mmPerRotationLabel->hide();

    const Settings *s = Settings::instance();
    ui->needlePressingComboBox->setCurrentIndex(s->movement.needle_pressing);
    ui->mmPerRotationSpinBox->setValue(s->movement.mm_per_rotation);
    ui->measurementModeComboBox->setCurrentIndex(s->device.measurement_mode);
    ui->traceFileNameLineEdit->setText(s->service.default_trace_file_name);
    setInerface(s->device.device_type);

    for (const QString &name : s->controllers) {
        ui->controllersComboBox->addItem(name);
        if (name == s->current_controller_name)
            ui->controllersComboBox->setCurrentIndex(ui->controllersComboBox->count() - 1);
    }
    for (const ConsoleParams &console : s->consoles) {
        ui->consoleComboBox->addItem(console.name);
        if (sameConsole(console, s->current_console))
            ui->consoleComboBox->setCurrentIndex(ui->consoleComboBox->count() - 1);
    }
}

void FastSettingsWidget::connectSignals()
{
    connect(ui->controllersComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &FastSettingsWidget::onControllerChanged);
    connect(ui->consoleComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &FastSettingsWidget::onConsoleChanged);
    connect(ui->needlePressingComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &FastSettingsWidget::onNeedlePressingChanged);
    connect(ui->mmPerRotationSpinBox, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &FastSettingsWidget::onMMPerRotationChanged);
    connect(ui->measurementModeComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &FastSettingsWidget::onMeasurementModeChanged);
    connect(ui->traceFileNameLineEdit, &QLineEdit::textChanged, this, [](const QString &text) {
        Settings::modify([&text](Settings &s) { s.service.default_trace_file_name = text; });
    });
}

void FastSettingsWidget::onNeedlePressingChanged(int index)
{
    Settings::modify([index](Settings &s) {
        s.movement.needle_pressing = static_cast<MovementSettings::E_NEEDLE_PRESSING>(index);
    });
    emit changePressingPower(static_cast<MovementSettings::E_NEEDLE_PRESSING>(index),
                             Settings::instance()->device.power_pressing);
    ui->needlePressingComboBox->clearFocus();
}

void FastSettingsWidget::onMMPerRotationChanged(double value)
{
    Settings::modify([value](Settings &s) { s.movement.mm_per_rotation = value; });
    emit setMMPerRotation(ui->mmPerRotationSpinBox->value());
    ui->mmPerRotationSpinBox->clearFocus();
}

void FastSettingsWidget::onMeasurementModeChanged(int index)
{
    Settings::modify([index](Settings &s) { s.device.measurement_mode = index; });
    emit setDeviceType(index == 2 ? 1 : 0);
    emit setCalibrationEnable(index == 0 || index == 1);
    ui->measurementModeComboBox->clearFocus();
}

void FastSettingsWidget::onControllerChanged(int index)
{
    const QStringList &controllers = Settings::instance()->controllers;
    if (index >= 0 && index < controllers.size()) {
        const QString name = controllers.at(index);
        Settings::modify([&name](Settings &s) { s.current_controller_name = name; });
    }
    ui->controllersComboBox->clearFocus();
}

void FastSettingsWidget::onConsoleChanged(int index)
{
    const int shown = ui->consoleComboBox->currentIndex();
    const QList<ConsoleParams> &consoles = Settings::instance()->consoles;
    if (index >= 0 && shown >= 0 && shown < consoles.size()) {
        const QString name = consoles.at(shown).name;
        Settings::modify([&name](Settings &s) {
            selectConsoleByName(s, name);
            copyConsoleToCalibration(s);
        });
    }
    ui->consoleComboBox->clearFocus();
}

void FastSettingsWidget::fillCombos()
{
    const Settings *s = Settings::instance();
    QString controllerName = s->current_controller_name;
    QString consoleName = s->current_console.name;

    ui->controllersComboBox->clear();
    ui->consoleComboBox->clear();

    const QStringList controllers = s->controllers;
    for (int j = 0; j < controllers.size(); ++j) {
        ui->controllersComboBox->addItem(controllers.at(j));
        if (j == 0 && controllerName == QLatin1String("No name"))
            controllerName = controllers.at(j);
        if (controllers.at(j) == controllerName)
            ui->controllersComboBox->setCurrentIndex(j);
    }
    const QList<ConsoleParams> consoles = s->consoles;
    for (int j = 0; j < consoles.size(); ++j) {
        ui->consoleComboBox->addItem(consoles.at(j).name);
        if (j == 0 && consoleName == QLatin1String("No console"))
            consoleName = consoles.at(j).name;
        if (consoles.at(j).name == consoleName)
            ui->consoleComboBox->setCurrentIndex(j);
    }

    // The settings end up naming what the lists show: a remembered controller or console that
    // is no longer listed gives way to the entry shown, so the next trace is not recorded under
    // a name that the operator cannot see. Empty lists leave the settings as they were.
    const QString shownController = ui->controllersComboBox->currentText();
    const int shownConsole = ui->consoleComboBox->currentIndex();
    Settings::modify([&](Settings &settings) {
        if (!controllers.isEmpty())
            settings.current_controller_name = shownController;
        if (shownConsole >= 0 && shownConsole < consoles.size()) {
            selectConsoleByName(settings, consoles.at(shownConsole).name);
            copyConsoleToCalibration(settings);
        } else {
            settings.current_console.name = consoleName;
            if (consoleName != QLatin1String("No console"))
                copyConsoleToCalibration(settings);
        }
    });
}

void FastSettingsWidget::lockButtons()
{
    for (QWidget *w : std::initializer_list<QWidget *> {
             ui->needlePressingComboBox, ui->traceFileNameLineEdit, ui->controllersComboBox,
             ui->consoleComboBox, ui->measurementModeComboBox})
        w->setEnabled(false);
}

void FastSettingsWidget::unlockButtons()
{
    for (QWidget *w : std::initializer_list<QWidget *> {
             ui->needlePressingComboBox, ui->traceFileNameLineEdit, ui->controllersComboBox,
             ui->consoleComboBox, ui->measurementModeComboBox})
        w->setEnabled(true);
}

void FastSettingsWidget::enableFastSettings(bool enable)
{
    setEnabled(enable);
}

void FastSettingsWidget::setInerface(int type)
{
    const bool profilometer = type == PROFILE;
    for (QWidget *w : std::initializer_list<QWidget *> {
             ui->needlePressingLabel, ui->needlePressingComboBox, ui->measurementModeLabel,
             ui->measurementModeComboBox, ui->consoleComboBox, ui->consoleLabel})
        w->setVisible(!profilometer);
    ui->upperLabel->setVisible(profilometer);
}
