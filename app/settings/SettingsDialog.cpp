#include "settings/SettingsDialog.h"

#include "core/AbstractTrace.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "device/Device.h"
#include "device/ui/CalibRaDialog.h"
#include "device/ui/TermiteDialog.h"
#include "platform/ChosenFile.h"
#include "platform/DialogRunner.h"
#include "platform/Prompts.h"
#include "profile/ParamsDialog.h"
#include "settings/ConsoleControllerDialog.h"
#include "settings/DialogCalibration.h"
#include "traceprocessing/NonLinearityTable.h"
#include "ui_SettingsDialog.h"

#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QVector>

#include <memory>

const QString SettingsDialog::kServicePassword = QStringLiteral("8052");
const QString SettingsDialog::kDeveloperCode = QStringLiteral("647");

namespace {

void logInfo(const QString &text)
{
    logger.log(INFO, text.toStdString());
}

void change(const std::function<void(Settings &)> &apply)
{
    const auto locker = Settings::writeLocker();
    apply(*Settings::instance());
}

} // namespace

QString nonLinearityFileStatus()
{
    return QFileInfo::exists(NonLinearityTable::filePath()) ? QStringLiteral("Файл найден")
                                                            : QStringLiteral("Файл не найден");
}

SettingsDialog::SettingsDialog(QWidget *parent, const QList<AbstractTrace *> &traces)
    : QDialog(parent)
    , ui(new Ui_SettingsDialog)
    , mainWindow(parent)
{
    ui->setupUi(this);
    for (const AbstractTrace *trace : traces) {
        if (trace)
            traceClones.append(trace->clone());
    }
    const Settings *s = Settings::instance();
    m_openingGraphColor = s->preferences.graph_color;
    m_openingSelectedGraphColor = s->preferences.selected_graph_color;
    m_openingVisualObjectsColor = s->preferences.visual_objects_color;
    m_openingNonLinearity = s->preferences.non_linearity;
    m_openingFactoryName = s->service.factory_name;
    m_openingDeveloperMode = s->service.is_developer_mode;

    refreshFromSettings();
    setDeveloperWidgetsVisible(s->service.is_developer_mode);
    ui->graphColorWidget->color.setNamedColor(s->preferences.graph_color);
    ui->graphSelectionColorWidget->color.setNamedColor(s->preferences.selected_graph_color);
    ui->visualObjectColorWidget->color.setNamedColor(s->preferences.visual_objects_color);
    connectHandlers();
    showForDeviceKind();
}

SettingsDialog::~SettingsDialog()
{
    qDeleteAll(traceClones);
    traceClones.clear();
    delete ui;
}

void SettingsDialog::connectHandlers()
{
    connect(ui->alternativeControlCheckBox, &QCheckBox::stateChanged, this,
            &SettingsDialog::onAlternativeControlChanged);
    connect(ui->anglesInDoubleCB, &QCheckBox::stateChanged, this,
            &SettingsDialog::onAnglesInDoubleChanged);
    connect(ui->axisUnit, &QComboBox::currentTextChanged, this, &SettingsDialog::onAxisUnitChanged);
    connect(ui->pressingPowerComboBox, &QComboBox::currentTextChanged, this,
            &SettingsDialog::onPressingPowerChanged);
    connect(ui->nonLinearityCheckBox, &QCheckBox::stateChanged, this,
            &SettingsDialog::onNonLinearityToggled);
    connect(ui->graphColorWidget, &ColorPickerWidget::colorChanged, this, [](const QColor &c) {
        change([&c](Settings &s) { s.preferences.graph_color = c.name(); });
    });
    connect(ui->graphSelectionColorWidget, &ColorPickerWidget::colorChanged, this,
            [](const QColor &c) {
                change([&c](Settings &s) { s.preferences.selected_graph_color = c.name(); });
            });
    connect(ui->visualObjectColorWidget, &ColorPickerWidget::colorChanged, this,
            [](const QColor &c) {
                change([&c](Settings &s) { s.preferences.visual_objects_color = c.name(); });
            });
    connect(ui->facoryNameLineEdit, &QLineEdit::textChanged, this,
            &SettingsDialog::onFactoryNameChanged);
    connect(ui->chooseNonLinearityDataPushButton, &QPushButton::released, this,
            &SettingsDialog::onChooseNonLinearityData);
    connect(ui->paramsSettingsPushButton, &QPushButton::released, this,
            &SettingsDialog::onParamsSettingsButtonReleased);
    connect(ui->openControllerDialog, &QPushButton::clicked, this,
            &SettingsDialog::onControllersButtonClicked);
    connect(ui->consoleButton, &QPushButton::clicked, this,
            &SettingsDialog::onConsolesButtonClicked);
    connect(ui->consoleSettingsButton, &QPushButton::released, this,
            &SettingsDialog::onConsoleSettingsButtonReleased);
    connect(ui->termitePushButton, &QPushButton::released, this,
            &SettingsDialog::onTermiteButtonReleased);
    connect(this, &QDialog::accepted, this, &SettingsDialog::applySettings);
    connect(this, &QDialog::rejected, this, &SettingsDialog::restoreImmediateChanges);
}

void SettingsDialog::showForDeviceKind()
{
    if (Settings::instance()->device.device_type == PROFILE) {
        ui->consoleSettingsButton->setText(QStringLiteral("Калибровка"));
        for (QWidget *w : {static_cast<QWidget *>(ui->consoleButton),
                           static_cast<QWidget *>(ui->alternativeControlCheckBox),
                           static_cast<QWidget *>(ui->pressingPowerLabel),
                           static_cast<QWidget *>(ui->pressingPowerComboBox),
                           static_cast<QWidget *>(ui->nonLinearityCheckBox),
                           static_cast<QWidget *>(ui->nonLinearityDataStatusLable),
                           static_cast<QWidget *>(ui->chooseNonLinearityDataPushButton)})
            w->hide();
        return;
    }
    ui->askBeforeChangeFilterCheckBox->hide();
    ui->paramsSettingsPushButton->hide();
    const bool nonLinearity = Settings::instance()->preferences.non_linearity;
    ui->chooseNonLinearityDataPushButton->setVisible(nonLinearity);
    ui->nonLinearityDataStatusLable->setVisible(nonLinearity);
}

void SettingsDialog::refreshFromSettings()
{
    const Settings *s = Settings::instance();
    ui->anglesInDoubleCB->setChecked(s->view.angles_in_deg);
    ui->alternativeMeasurementCB->setChecked(s->preferences.alternative_measurement);
    ui->nonLinearityCheckBox->setChecked(s->preferences.non_linearity);
    ui->axisUnit->setCurrentIndex(qBound(0, s->view.axis_unit, ui->axisUnit->count() - 1));
    ui->alternativeControlCheckBox->setChecked(s->device.alternative_managment);
    ui->pressingPowerComboBox->setCurrentIndex(
        qBound(0, s->device.power_pressing - 1, ui->pressingPowerComboBox->count() - 1));
    ui->standartisationComboBox->setCurrentIndex(
        qBound(0, s->preferences.standartisation_value, ui->standartisationComboBox->count() - 1));
    ui->askBeforeChangeFilterCheckBox->setChecked(s->preferences.is_ask_before_change_filter);
    ui->facoryNameLineEdit->setText(s->service.factory_name);
    ui->scaleXResolutionSpinBox->setValue(s->service.scale_x_resolution);
    ui->scaleZResolutionSpinBox->setValue(s->service.scale_z_resolution);
    ui->scaleRResolutionSpinBox->setValue(s->service.scale_r_resolution);
    ui->demoCheckBox->setChecked(s->service.demo_regime);
    ui->sensorTestCheckBox->setChecked(s->service.test_sensor_mode);
    ui->nonLinearityDataStatusLable->setText(nonLinearityFileStatus());
}

void SettingsDialog::applySettings()
{
    logInfo(QStringLiteral("Accept settings"));
    Settings::modify([this](Settings &s) {
        s.device.alternative_managment = ui->alternativeControlCheckBox->isChecked();
        // An index of -1 (no item) or beyond the items is never stored.
        s.device.power_pressing = qBound(1, ui->pressingPowerComboBox->currentIndex() + 1,
                                         ui->pressingPowerComboBox->count());
        s.view.axis_unit = qBound(0, ui->axisUnit->currentIndex(), ui->axisUnit->count() - 1);
        s.service.demo_regime = ui->demoCheckBox->isChecked();
        s.service.test_sensor_mode = ui->sensorTestCheckBox->isChecked();
        s.view.angles_in_deg = ui->anglesInDoubleCB->isChecked();
        s.preferences.alternative_measurement = ui->alternativeMeasurementCB->isChecked();
        s.preferences.standartisation_value = qBound(0, ui->standartisationComboBox->currentIndex(),
                                                     ui->standartisationComboBox->count() - 1);
        s.preferences.non_linearity = ui->nonLinearityCheckBox->isChecked();
        s.preferences.is_ask_before_change_filter
            = ui->askBeforeChangeFilterCheckBox->checkState() == Qt::Checked;
        s.service.factory_name = ui->facoryNameLineEdit->text();
        s.service.scale_x_resolution = ui->scaleXResolutionSpinBox->value();
        s.service.scale_z_resolution = ui->scaleZResolutionSpinBox->value();
        s.service.scale_r_resolution = ui->scaleRResolutionSpinBox->value();
    });
}

void SettingsDialog::restoreImmediateChanges()
{
    bool saveNeeded = false;
    change([&](Settings &s) {
        s.preferences.graph_color = m_openingGraphColor;
        s.preferences.selected_graph_color = m_openingSelectedGraphColor;
        s.preferences.visual_objects_color = m_openingVisualObjectsColor;
        s.preferences.non_linearity = m_openingNonLinearity;
        // The organisation name and the developer flag were saved as they were typed.
        saveNeeded = s.service.factory_name != m_openingFactoryName
            || s.service.is_developer_mode != m_openingDeveloperMode;
        s.service.factory_name = m_openingFactoryName;
        s.service.is_developer_mode = m_openingDeveloperMode;
    });
    if (saveNeeded)
        Settings::instance()->save();
}

void SettingsDialog::setDeveloperWidgetsVisible(bool visible)
{
    for (QWidget *w :
         {static_cast<QWidget *>(ui->scaleXResolutionSpinBox),
          static_cast<QWidget *>(ui->scaleZResolutionSpinBox),
          static_cast<QWidget *>(ui->scaleRResolutionSpinBox),
          static_cast<QWidget *>(ui->scaleXResolutionLabel),
          static_cast<QWidget *>(ui->scaleZResolutionLabel),
          static_cast<QWidget *>(ui->scaleRResolutionLabel),
          static_cast<QWidget *>(ui->demoCheckBox), static_cast<QWidget *>(ui->sensorTestCheckBox),
          static_cast<QWidget *>(ui->termitePushButton), static_cast<QWidget *>(ui->termteLabel)})
        w->setVisible(visible);
}

void SettingsDialog::onAlternativeControlChanged(int state)
{
    logInfo(state == Qt::Checked ? QStringLiteral("alternativeManagementCheckBox turned on")
                                 : QStringLiteral("alternativeManagementCheckBox turned off"));
}

void SettingsDialog::onAnglesInDoubleChanged(int state)
{
    logInfo(state == Qt::Checked ? QStringLiteral("anglesInDoubleCB turned on")
                                 : QStringLiteral("anglesInDoubleCB turned off"));
}

void SettingsDialog::onAxisUnitChanged(const QString &text)
{
    logInfo(QStringLiteral("axisUnit change value to ") + text);
}

void SettingsDialog::onPressingPowerChanged(const QString &text)
{
    logInfo(QStringLiteral("needlePressingComboBox change value to ") + text);
}

void SettingsDialog::onNonLinearityToggled(int state)
{
    const bool on = state == Qt::Checked;
    change([on](Settings &s) { s.preferences.non_linearity = on; });
    ui->nonLinearityDataStatusLable->setVisible(on);
    ui->chooseNonLinearityDataPushButton->setVisible(on);
}

void SettingsDialog::onFactoryNameChanged(const QString &text)
{
    const bool developer = text == kDeveloperCode;
    Settings::modify([&](Settings &s) {
        s.service.is_developer_mode = developer;
        s.service.factory_name = text;
    });
    setDeveloperWidgetsVisible(developer);
}

void SettingsDialog::onChooseNonLinearityData()
{
    const QString path = Prompts::instance()->openFileName(
        this, QStringLiteral("Открыть трассу"), Settings::instance()->preferences.save_trace_folder,
        QStringLiteral("Трасса нелинейности (*.txt)"));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!openChosenFile(this, file))
        return;
    // Text mode, so that CR LF line ends arrive as LF.
    file.setTextModeEnabled(true);
    NonLinearityTable table(&file);
    table.smooth();
    if (!table.save())
        Prompts::instance()->warning(
            this, QStringLiteral("Ошибка"),
            QStringLiteral("Таблица нелинейности не записана: %1. Прежняя таблица сохранена.")
                .arg(table.errorString));
    ui->nonLinearityDataStatusLable->setText(nonLinearityFileStatus());
}

void SettingsDialog::onParamsSettingsButtonReleased()
{
    ParamsDialog dialog(this);
    dialog.setWindowFlags(dialog.windowFlags() & ~Qt::WindowContextHelpButtonHint);
    runDialog(&dialog);
}

void SettingsDialog::onControllersButtonClicked()
{
    askServicePassword(this, ConsoleControllerDialog::CONTROLLERS_MODE, traceClones, this);
}

void SettingsDialog::onConsolesButtonClicked()
{
    askServicePassword(this, ConsoleControllerDialog::CONSOLES_MODE, traceClones, this);
}

void SettingsDialog::onConsoleSettingsButtonReleased()
{
    if (Settings::instance()->device.device_type == PROFILE)
        execReferenceRaDialog(this, device);
    else
        openCalibration();
}

void SettingsDialog::openCalibration()
{
    if (traceClones.isEmpty()) {
        Prompts::instance()->warning(
            this, QStringLiteral("Ошибка"),
            QStringLiteral("Нет трассы для калибровки. Откройте или запишите хотя бы одну трассу"));
        return;
    }
    bool ok = false;
    const QString password = Prompts::instance()->getText(
        this, QStringLiteral("Система безопасности"),
        QStringLiteral("Введите пароль из руководства по эксплуатации"), QLineEdit::Password,
        QString(), &ok);
    if (!ok || password.isEmpty())
        return;
    if (password != kServicePassword) {
        Prompts::instance()->critical(
            this, QStringLiteral("Неверный пароль"),
            QStringLiteral("Пароль указан в руководстве по эксплуатации"));
        return;
    }
    // The dialog, and with it the calibration window that forces the angle display while it
    // lives, is gone before the page is refilled, so OK stores the operator's own angle mode.
    runCalibrationDialog(this, traceClones.toVector(), [this] { relaySetCurrentConsole(); });
    refreshFromSettings();
}

void SettingsDialog::relaySetCurrentConsole()
{
    emit setCurrentConsoleForAllTraces();
}

void SettingsDialog::onTermiteButtonReleased()
{
    if (!device)
        return;
    TermiteDialog terminal(this, device);
    terminal.setWindowFlags(terminal.windowFlags() & ~Qt::WindowContextHelpButtonHint);
    runDialog(&terminal);
}

void askServicePassword(SettingsDialog *relay, int mode, const QList<AbstractTrace *> &traces,
                        QWidget *parent)
{
    bool ok = false;
    const QString password = Prompts::instance()->getText(parent, QStringLiteral("Сервис-пароль"),
                                                          QStringLiteral("Сервис-пароль:"),
                                                          QLineEdit::Password, QString(), &ok);
    if (!ok || password.isEmpty() || password != SettingsDialog::kServicePassword)
        return;
    ConsoleControllerDialog editor(mode, traces, parent);
    editor.setWindowFlags(editor.windowFlags() & ~Qt::WindowContextHelpButtonHint);
    QObject::connect(&editor, &ConsoleControllerDialog::setCurrentConsoleForAllTraces, relay,
                     &SettingsDialog::relaySetCurrentConsole);
    runDialog(&editor);
}

void execReferenceRaDialog(QWidget *parent, Device *device)
{
    CalibRaDialog dialog(parent);
    // "Принять" has stored and saved the value before the instrument hears of it.
    if (runDialog(&dialog) == QDialog::Accepted && device)
        device->calibration();
}
