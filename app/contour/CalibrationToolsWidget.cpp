#include "contour/CalibrationToolsWidget.h"

#include "contour/ConsoleSelectDialog.h"
#include "core/Consoles.h"
#include "core/ContourTrace.h"
#include "platform/DialogRunner.h"
#include "platform/DotToCommaFilter.h"
#include "ui_CalibrationToolsWidget.h"

#include <QMetaType>
#include <QTimer>

namespace {

// What an edit of a spin box changes: its settings value and, for a probe or axis value, the
// field of every contour clone.
struct Binding
{
    QDoubleSpinBox *editor;
    double CalibrationSettings::*setting;
    double ContourTrace::*traceField; // null: the row changes no clone
};

QVector<Binding> bindings(Ui_CalibrationToolsWidget *ui)
{
    using C = CalibrationSettings;
    using T = ContourTrace;
    return {
        {ui->downHeadRadiusSpinBox, &C::tool_head_radius_down, &T::toolHeadRadiusDown},
        {ui->upperHeadRadiusSpinBox, &C::tool_head_radius_up, &T::toolHeadRadiusUp},
        {ui->doubleSidedProbeHighSpinBox, &C::double_sided_probe_high, &T::doubleSidedProbeHigh},
        {ui->needleBiasSpinBox, &C::needle_bias, &T::needleBias},
        {ui->rackPerpendicularSpinBox, &C::rack_prpendicular, &T::rackPerpendicular},
        {ui->referenceBallRadiusSpinBox, &C::reference_ball_radius, nullptr},
        {ui->roughnessReferenceValueSpinBox, &C::roughness_reference_value, nullptr},
        {ui->roughnessRatioSpinBox, &C::roughness_ratio, &T::roughnessRatio},
        {ui->xAxisCompressionRatioSpinBox, &C::x_axis_compression_ratio, &T::xAxisCompressionRatio},
        {ui->yAxisCompressionRatioSpinBox, &C::y_axis_compression_ratio, &T::yAxisCompressionRatio},
        {ui->displacementCoefficientSpinBox, &C::displacement_coefficient,
         &T::displacementCoefficient},
    };
}

void setRowVisible(QWidget *label, QWidget *editor, bool visible)
{
    label->setVisible(visible);
    editor->setVisible(visible);
}

} // namespace

CalibrationToolsWidget::CalibrationToolsWidget(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_CalibrationToolsWidget)
    , snapshot(*Settings::instance())
    , m_announceTimer(new QTimer(this))
{
    qRegisterMetaType<QVector<AbstractTrace *>>("QVector<AbstractTrace*>");
    ui->setupUi(this);
    // "0.005" typed with a period must not become 5 under the Russian locale.
    installDotToCommaFilters(this);
    m_announceTimer->setSingleShot(true);
    m_announceTimer->setInterval(kAnnounceDelayMs);
    connect(m_announceTimer, &QTimer::timeout, this, &CalibrationToolsWidget::announce);
}

CalibrationToolsWidget::~CalibrationToolsWidget()
{
    qDeleteAll(traceClones);
    traceClones.clear();
    delete ui;
}

void CalibrationToolsWidget::initCalibration()
{
    setRowVisible(ui->downHeadRadiusLable, ui->downHeadRadiusSpinBox, false);
    setRowVisible(ui->upperHeadRadiusLable, ui->upperHeadRadiusSpinBox, false);
    setRowVisible(ui->doubleSidedProbeHighLabel, ui->doubleSidedProbeHighSpinBox, false);
    setRowVisible(ui->needleBiasLabel, ui->needleBiasSpinBox, false);
    setRowVisible(ui->referenceBallRadiusLabel, ui->referenceBallRadiusSpinBox, false);
    setRowVisible(ui->roughnessReferenceValueLabel, ui->roughnessReferenceValueSpinBox, false);
    setRowVisible(ui->roughnessRatioLabel, ui->roughnessRatioSpinBox, false);
    ui->calibrationCirclePushButton->hide();
    ui->calibrationRoughnessPushButton->hide();

    Settings *s = Settings::instance();
    if (!s->service.is_developer_mode)
        hideServiceFields();

    // With consoles defined the probe rows show the current console; the calibration group
    // takes the same values, so that a row left unedited saves what it shows.
    if (!s->consoles.isEmpty()) {
        const auto locker = Settings::writeLocker();
        copyConsoleToCalibration(*s);
    }
    fillFromSettings(*s);
    snapshot = *s;

    for (const Binding &binding : bindings(ui))
        connect(binding.editor, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                &CalibrationToolsWidget::calibrationDataValueChangedManually);
    connect(ui->enableGaussFilterCheckBox, &QCheckBox::stateChanged, this,
            &CalibrationToolsWidget::onCheckBoxChanged);
    connect(ui->enableRadiusEliminationCheckBox, &QCheckBox::stateChanged, this,
            &CalibrationToolsWidget::onCheckBoxChanged);
    connect(ui->discardChangesPushButton, &QPushButton::clicked, this,
            &CalibrationToolsWidget::discardChanges);
    connect(ui->savePushButton, &QPushButton::clicked, this,
            &CalibrationToolsWidget::saveCalibration);
    connect(ui->saveAsPushButton, &QPushButton::clicked, this,
            &CalibrationToolsWidget::saveCalibrationAs);
}

void CalibrationToolsWidget::hideServiceFields()
{
    setRowVisible(ui->rackPerpendicularLabel, ui->rackPerpendicularSpinBox, false);
    setRowVisible(ui->xAxisCompressionRatioLabel, ui->xAxisCompressionRatioSpinBox, false);
    setRowVisible(ui->yAxisCompressionRatioLabel, ui->yAxisCompressionRatioSpinBox, false);
    setRowVisible(ui->displacementCoefficientLabel, ui->displacementCoefficientSpinBox, false);
    ui->enableGaussFilterCheckBox->hide();
    ui->enableRadiusEliminationCheckBox->hide();
}

void CalibrationToolsWidget::fillFromSettings(const Settings &settings)
{
    // With consoles defined the calibration group already holds the current console's values.
    const CalibrationSettings &values = settings.calibration;
    for (const Binding &binding : bindings(ui))
        binding.editor->setValue(values.*binding.setting);
    ui->enableGaussFilterCheckBox->setChecked(settings.service.is_disabled_gauss_filter);
    ui->enableRadiusEliminationCheckBox->setChecked(
        settings.service.is_disabled_radius_elimination);
}

void CalibrationToolsWidget::setTraces(const QVector<AbstractTrace *> &traces)
{
    bool down = false;
    bool up = false;
    for (const AbstractTrace *trace : traces) {
        if (!trace)
            continue;
        AbstractTrace *copy = trace->clone();
        traceClones.append(copy);
        const auto *contour = dynamic_cast<const ContourTrace *>(copy);
        if (!contour)
            continue;
        if (contour->needlePressing == MovementSettings::E_PRESSING_DOWN) {
            setRowVisible(ui->downHeadRadiusLable, ui->downHeadRadiusSpinBox, true);
            down = true;
        } else {
            setRowVisible(ui->upperHeadRadiusLable, ui->upperHeadRadiusSpinBox, true);
            up = true;
        }
        if (contour->type == CONTOURPROF)
            setRowVisible(ui->roughnessRatioLabel, ui->roughnessRatioSpinBox, true);
    }
    if (down && up) {
        setRowVisible(ui->doubleSidedProbeHighLabel, ui->doubleSidedProbeHighSpinBox, true);
        setRowVisible(ui->needleBiasLabel, ui->needleBiasSpinBox, true);
    }
}

void CalibrationToolsWidget::calibrationDataValueChangedManually(double val)
{
    isSaved = false;
    QObject *source = sender();
    for (const Binding &binding : bindings(ui)) {
        if (binding.editor != source)
            continue;
        {
            const auto locker = Settings::writeLocker();
            Settings::instance()->calibration.*binding.setting = val;
        }
        if (binding.traceField) {
            for (AbstractTrace *clone : qAsConst(traceClones)) {
                if (auto *contour = dynamic_cast<ContourTrace *>(clone))
                    contour->*binding.traceField = val;
            }
        }
    }
    m_announceTimer->start();
}

void CalibrationToolsWidget::onCheckBoxChanged()
{
    isSaved = false;
    {
        const auto locker = Settings::writeLocker();
        ServiceSettings &service = Settings::instance()->service;
        service.is_disabled_gauss_filter = ui->enableGaussFilterCheckBox->isChecked();
        service.is_disabled_radius_elimination = ui->enableRadiusEliminationCheckBox->isChecked();
    }
    m_announceTimer->start();
}

void CalibrationToolsWidget::announce()
{
    m_announceTimer->stop();
    emit calibrationDataChanged(traceClones);
}

void CalibrationToolsWidget::announcePending()
{
    if (m_announceTimer->isActive())
        announce();
}

void CalibrationToolsWidget::clickSave()
{
    ui->savePushButton->click();
}

void CalibrationToolsWidget::clickDiscard()
{
    ui->discardChangesPushButton->click();
}

void CalibrationToolsWidget::discardChanges()
{
    announcePending();
    {
        const auto locker = Settings::writeLocker();
        Settings *s = Settings::instance();
        const CalibrationSettings &old = snapshot.calibration;
        CalibrationSettings &c = s->calibration;
        for (const Binding &binding : bindings(ui))
            c.*binding.setting = old.*binding.setting;
        s->service.is_disabled_gauss_filter = snapshot.service.is_disabled_gauss_filter;
        s->service.is_disabled_radius_elimination = snapshot.service.is_disabled_radius_elimination;
    }
    isSaved = true;
    emit closeDialogCalibration();
}

void CalibrationToolsWidget::saveCalibration()
{
    save(false);
}

void CalibrationToolsWidget::saveCalibrationAs()
{
    save(true);
}

void CalibrationToolsWidget::save(bool chooseConsole)
{
    announcePending();
    Settings *s = Settings::instance();
    {
        const auto locker = Settings::writeLocker();
        copyCalibrationToConsole(*s);
    }
    // The chooser runs for "Cохранить как", without consoles, and when the current console's
    // name no longer names a console: the values must land in a console the operator can see.
    if (chooseConsole || s->consoles.isEmpty() || !hasConsoleNamed(*s, s->current_console.name)) {
        ConsoleSelectDialog dialog(this);
        if (runDialog(&dialog) != QDialog::Accepted)
            return;
        const auto locker = Settings::writeLocker();
        s->current_console.name = dialog.selectedConsoleName;
    }
    {
        const auto locker = Settings::writeLocker();
        for (ConsoleParams &console : s->consoles) {
            if (console.name == s->current_console.name)
                console = s->current_console;
        }
    }
    emit setCurrentConsoleForAllTraces();
    isSaved = true;
    {
        const auto locker = Settings::writeLocker();
        const CalibrationSettings &now = s->calibration;
        const CalibrationSettings &then = snapshot.calibration;
        if (now.x_axis_compression_ratio != then.x_axis_compression_ratio
            || now.y_axis_compression_ratio != then.y_axis_compression_ratio
            || now.rack_prpendicular != then.rack_prpendicular
            || now.displacement_coefficient != then.displacement_coefficient)
            s->calibration.upload_device_settings = true;
    }
    s->save();
    emit closeDialogCalibration();
}
