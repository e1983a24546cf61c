#include "device/ui/DeviceControlWidget.h"

#include "core/Logger.h"
#include "dataproviders/DeviceDataProvider.h"
#include "device/DevicePort.h"
#include "device/ui/CalibRaDialog.h"
#include "device/ui/KeyReceiver.h"
#include "device/ui/Loader.h"
#include "platform/DialogRunner.h"
#include "ui_DeviceControlWidget.h"

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QThread>
#include <QTimer>

const QVector<double> DeviceControlWidget::kSpeedValues = {0.25, 0.5, 1.0, 2.0};

namespace {
// The spacing of the setting commands of a trace start.
constexpr int kCommandSpacingMs = 10;
constexpr int kStatusIntervalMs = 1000;
// How long a message of showStatus holds off the live status line.
constexpr int kStatusHoldMs = 10000;
constexpr int kWarningHoldMs = 2000;
constexpr int kWarningFadeMs = 1000;
// The longest trace each slow speed allows, in millimetres.
constexpr int kMaxLengthAtSpeed0 = 10;
constexpr int kMaxLengthAtSpeed1 = 20;

const QString kBlackIcon = QStringLiteral(":/icons/icons/%1_black.png");
const QString kRedIcon = QStringLiteral(":/icons/icons/%1_red.png");
} // namespace

DeviceControlWidget::DeviceControlWidget(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_DeviceControlWidget)
{
    qRegisterMetaType<DataProvider *>("DataProvider*");
    ui->setupUi(this);

    ui->progressBar->setRange(0, 1);
    ui->stopTraceButton->setEnabled(false);

    const Settings *settings = Settings::instance();
    ui->speedComboBox->clear();
    for (int i = 0; i < 4; ++i) {
        const auto name = kSpeedNames.find(i);
        ui->speedComboBox->addItem(name != kSpeedNames.end() ? name->second : QString(), i);
    }
    ui->speedComboBox->setCurrentIndex(settings->movement.current_speed);
    ui->filterComboBox->setCurrentIndex(settings->device.spinbox_filter_length_index);
    ui->traceLengthSpinBox->setValue(settings->device.trace_length);

    ui->additionalTracePushButton->setEnabled(false);
    ui->warningMessageLabel->clear();
    if (settings->device.measurement_mode == 2 || settings->device.measurement_mode == 3)
        ui->calibrationContourPushButton->setEnabled(false);

    keyReceiver = new KeyReceiver();
    registerJogReceiver(keyReceiver);

    updateLayoutForDeviceType();
    connectSignals();
}

DeviceControlWidget::~DeviceControlWidget()
{
    // A held key must not leave the probe moving. The receiver goes with the panel (which lives
    // as long as the program); the application drops a deleted event filter by itself.
    keyReceiver->releaseAll();
    unregisterJogReceiver(keyReceiver);
    delete keyReceiver;
    keyReceiver = nullptr;
    dropIntake();
    delete ui;
}

// ---------------------------------------------------------------------------------------------
// Layout and locking

void DeviceControlWidget::updateLayoutForDeviceType()
{
    const bool profilometer = device.type() == PROFILE;
    for (QWidget *w : std::initializer_list<QWidget *> {
             ui->xplusButton, ui->xminusButton, ui->zplusButton, ui->zminusButton, ui->yminusButton,
             ui->yplusButton, ui->autoMinMaxCalibButton, ui->calibrationContourPushButton})
        w->setVisible(!profilometer);
    for (QWidget *w : std::initializer_list<QWidget *> {
             ui->traceLengthSpinBox, ui->traceLengthLabel, ui->filterComboBox, ui->filterLabel,
             ui->additionalTracePushButton, ui->calibrationProfilePushButton})
        w->setVisible(profilometer);
}

void DeviceControlWidget::disableControls()
{
    // A focused control that is disabled hands the keyboard focus on along the tab chain, which
    // can end in an entry of the window with its text selected, where the next stray key would
    // replace a value. The panel keeps the focus instead; the key map works there.
    if (QWidget *focus = QApplication::focusWidget(); focus && isAncestorOf(focus))
        setFocus(Qt::OtherFocusReason);
    for (QWidget *w : std::initializer_list<QWidget *> {
             ui->startTraceButton, ui->additionalTracePushButton, ui->xminusButton, ui->xplusButton,
             ui->yplusButton, ui->yminusButton, ui->zminusButton, ui->zplusButton,
             ui->autoMinMaxCalibButton, ui->stopTraceButton, ui->traceLengthSpinBox,
             ui->traceLengthLabel, ui->filterComboBox, ui->filterLabel})
        w->setEnabled(false);
    if (device.type() == PROFILE) {
        ui->speedComboBox->setEnabled(false);
        ui->speedLabel->setEnabled(false);
    }
    ui->calibrationProfilePushButton->setEnabled(false);
    ui->calibrationContourPushButton->setEnabled(false);
}

void DeviceControlWidget::enableControls()
{
    for (QWidget *w : std::initializer_list<QWidget *> {
             ui->startTraceButton, ui->additionalTracePushButton, ui->xminusButton, ui->xplusButton,
             ui->yplusButton, ui->yminusButton, ui->zminusButton, ui->zplusButton,
             ui->autoMinMaxCalibButton, ui->stopTraceButton, ui->traceLengthSpinBox,
             ui->traceLengthLabel, ui->filterComboBox, ui->filterLabel, ui->speedComboBox,
             ui->speedLabel, ui->calibrationProfilePushButton})
        w->setEnabled(true);
    const int mode = Settings::instance()->device.measurement_mode;
    if (mode == 0 || mode == 1)
        ui->calibrationContourPushButton->setEnabled(true);
}

void DeviceControlWidget::endRecordingState()
{
    tracing = false;
    enableControls();
    emit unlockButtons();
    ui->stopTraceButton->setEnabled(false);
}

// ---------------------------------------------------------------------------------------------
// Connections

void DeviceControlWidget::connectSignals()
{
    connect(keyReceiver, &KeyReceiver::ctrlStateChanged, this, [this](bool pressed) {
        ui->calibrationProfilePushButton->setText(pressed ? QStringLiteral("Сброс доп. калибровки")
                                                          : QStringLiteral("Калибровка"));
    });
    connect(ui->speedComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &DeviceControlWidget::onSpeedChanged);
    connect(&device, &Device::deviceOpened, this, [this] {
        emit statusBarText(QStringLiteral("Устройство ")
                           + QString::fromStdString(device.port->portName)
                           + QStringLiteral(" соединено"));
        device.setSpeed(0);
        setEnabled(true);
        emit enableFastSettings(true);
    });
    connect(&device, &Device::deviceLost, this, [this] {
        emit statusBarText(QStringLiteral("Устройство не найдено"));
        // A trace cannot outlive the link: the panel leaves the recording state, so that a new
        // trace can start once the instrument is back.
        tracing = false;
        dropIntake();
        setEnabled(false);
        emit enableFastSettings(false);
    });
    connect(ui->speedComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) {
                device.setSpeed(index);
                ui->speedComboBox->clearFocus();
            });
    connect(&device, &Device::prepareTrace, this, [this] {
        if (!tracing) {
            disableControls();
            emit lockButtons();
        }
    });
    connect(&device, &Device::dataReset, this, &DeviceControlWidget::dataReset);
    connect(ui->additionalTracePushButton, &QPushButton::released, this,
            &DeviceControlWidget::onAdditionalTrace);
    connect(ui->startTraceButton, &QPushButton::released, this,
            &DeviceControlWidget::startTraceSequence);
    connect(&device, &Device::pushButtonStartTrace, this,
            &DeviceControlWidget::onDeviceStartedTrace);
    connect(ui->stopTraceButton, &QPushButton::released, this, &DeviceControlWidget::onStopTrace);
    connect(&device, &Device::pushButtonStopTrace, this, [this] {
        ui->stopTraceButton->click();
        enableControls();
        emit unlockButtons();
        ui->stopTraceButton->setEnabled(false);
    });
    connect(&device, &Device::crashDevice, this, &DeviceControlWidget::endRecordingState);
    connect(&device, &Device::normalStatus, this, &DeviceControlWidget::endRecordingState);
    connect(&device, &Device::needCalibration, this, [this] {
        endRecordingState();
        ui->startTraceButton->setText(QStringLiteral("Калибровка"));
        calibrationPending = true;
    });

    const auto jog = [this](QPushButton *button, const QString &icon, void (Device::*move)(int),
                            int direction) {
        connect(button, &QPushButton::pressed, this, [this, button, icon, move, direction] {
            button->setIcon(QIcon(kRedIcon.arg(icon)));
            (device.*move)(direction);
        });
        connect(button, &QPushButton::released, this, [this, button, icon, move] {
            button->setIcon(QIcon(kBlackIcon.arg(icon)));
            (device.*move)(0);
        });
    };
    jog(ui->xplusButton, QStringLiteral("Spine_right"), &Device::moveX, 1);
    jog(ui->xminusButton, QStringLiteral("Spine_left"), &Device::moveX, -1);
    jog(ui->yplusButton, QStringLiteral("table_fwd"), &Device::moveY, 1);
    jog(ui->yminusButton, QStringLiteral("table_back"), &Device::moveY, -1);
    jog(ui->zplusButton, QStringLiteral("kontur_up"), &Device::moveZ, 1);
    jog(ui->zminusButton, QStringLiteral("kontur_down"), &Device::moveZ, -1);

    connect(ui->autoMinMaxCalibButton, &QPushButton::pressed, &device, &Device::autoMinMaxCalib);
    connect(ui->filterComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &DeviceControlWidget::setFilterIndex);
    connect(ui->traceLengthSpinBox, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &DeviceControlWidget::onTraceLengthChanged);
    connect(ui->calibrationContourPushButton, &QPushButton::released, &device,
            &Device::calibration);
    connect(ui->calibrationProfilePushButton, &QPushButton::released, this,
            &DeviceControlWidget::onCalibPushButtonPressed);

    m_statusTimer = new QTimer(this);
    m_statusTimer->setInterval(kStatusIntervalMs);
    connect(m_statusTimer, &QTimer::timeout, this, &DeviceControlWidget::onStatusTimer);
    m_statusTimer->start();

    connect(&device, &Device::deleteAllTrace, this, &DeviceControlWidget::deleteAllTrace);
    connect(&device, &Device::setBarValue, this, [this](int value) {
        if (value > ui->progressBar->maximum())
            ui->progressBar->setMaximum(value);
        ui->progressBar->setValue(value);
    });
    connect(&device, &Device::newDeviceType, this, [this](int type) {
        updateLayoutForDeviceType();
        ui->progressBar->setMaximum(type == PROFILE || type == ADDITIONAL_TRACE ? 65535 : 1);
        emit newDeviceType(type);
    });
    connect(&device, &Device::openLoader, this, &DeviceControlWidget::onOpenLoader);
    connect(&device, &Device::setStatusProgressBar, this,
            [this](int status, const QString &statusName) {
                m_progressSeen = true;
                m_progressStatus = status;
                m_progressName = statusName;
                emit setStatusProgressBar(status, statusName);
            });
}

// ---------------------------------------------------------------------------------------------
// Slots for the quick-settings panel and the profile window

void DeviceControlWidget::setDeviceType(int type)
{
    device.setDeviceType(type);
    ui->progressBar->setMaximum(1);
}

void DeviceControlWidget::changePressingPower(MovementSettings::E_NEEDLE_PRESSING needlePressing,
                                              int pressingPorwer)
{
    device.changePresingPower(needlePressing, pressingPorwer);
}

void DeviceControlWidget::setMMPerRotation(double value)
{
    device.setMMPerRotation(value);
}

void DeviceControlWidget::setCalibrationEnable(bool enable)
{
    ui->calibrationContourPushButton->setEnabled(enable);
}

void DeviceControlWidget::setEnableAdditionalTraceButton(bool enabled)
{
    ui->additionalTracePushButton->setEnabled(enabled);
}

void DeviceControlWidget::setFilterIndex(int index)
{
    Settings::modify([index](Settings &s) { s.device.spinbox_filter_length_index = index; });
    device.setFilter(index);
    ui->filterComboBox->setCurrentIndex(index);
}

double DeviceControlWidget::currentSpeed()
{
    const int index = ui->speedComboBox->currentIndex();
    return index >= 0 && index < kSpeedValues.size() ? kSpeedValues.at(index) : 0.0;
}

void DeviceControlWidget::applyPressing(MovementSettings::E_NEEDLE_PRESSING needlePressing,
                                        int power)
{
    device.changePresingPower(needlePressing, power);
}

// ---------------------------------------------------------------------------------------------
// Traces

void DeviceControlWidget::dropIntake()
{
    if (!m_intake)
        return;
    delete m_intake;
    m_intake = nullptr;
    // No recording followed the instrument's own start: the device is not left tracing for it.
    if (m_intakeSetTraceStarted)
        device.endTrace();
    m_intakeSetTraceStarted = false;
}

void DeviceControlWidget::onDeviceStartedTrace()
{
    // The instrument started a trace by itself: its points are coming in already, while the
    // start sequence below still spaces its setting commands. The trace's provider is made now
    // and the device counts as tracing, so every point from the first packet on is kept; the
    // provider is handed over when the sequence starts the recording.
    if (!tracing && !calibrationPending && device.port->isOpen() && !m_intake) {
        m_intake = new DeviceDataProvider(&device);
        m_intakeSetTraceStarted = device.beginTraceIntake();
    }
    emit ui->startTraceButton->released();
}

void DeviceControlWidget::startTraceSequence()
{
    // A sequence that begins during a recording only sends its setting commands: a stop that
    // comes before its end must not be followed by a new trace.
    const bool mayStart = !tracing;
    device.setSpeed(ui->speedComboBox->currentIndex());
    QTimer::singleShot(kCommandSpacingMs, this, [this, mayStart] {
        device.setFilter(ui->filterComboBox->currentIndex());
        QTimer::singleShot(kCommandSpacingMs, this, [this, mayStart] {
            device.setTraceLength(ui->traceLengthSpinBox->value());
            QTimer::singleShot(kCommandSpacingMs, this,
                               [this, mayStart] { onStartTrace(mayStart); });
        });
    });
}

void DeviceControlWidget::onStartTrace(bool mayStart)
{
    if (calibrationPending) {
        dropIntake();
        device.calibration();
        ui->startTraceButton->setText(QStringLiteral("Трасса"));
        calibrationPending = false;
        return;
    }
    if (mayStart && !tracing && device.port->isOpen()) {
        startRecording(device.type());
        return;
    }
    if (!tracing)
        dropIntake();
}

void DeviceControlWidget::onAdditionalTrace()
{
    device.setSpeed(ui->speedComboBox->currentIndex());
    device.setFilter(ui->filterComboBox->currentIndex());
    device.setTraceLength(ui->traceLengthSpinBox->value());
    if (!tracing && device.port->isOpen())
        startRecording(ADDITIONAL_TRACE);
}

void DeviceControlWidget::startRecording(E_ANALISIS_TYPE type)
{
    m_statusHold.invalidate();
    disableControls();
    emit lockButtons();
    tracing = true;
    DeviceDataProvider *provider = m_intake ? m_intake : new DeviceDataProvider(&device);
    m_intake = nullptr;
    m_intakeSetTraceStarted = false;
    device.startTrace(true);
    ui->stopTraceButton->setEnabled(true);
    m_recording = provider;
    connect(provider, &DataProvider::dataReadFinished, this, [this, provider] {
        if (provider != m_recording || device.traceStarted)
            return;
        m_recording = nullptr;
        // The trace ended without the end of a recording reaching the panel (the instrument fell
        // silent after a stop, an alarm ended it, the link was lost): the panel is ready for the
        // next one. A profilometer is never busy otherwise, so a panel still locked is the
        // recording's; a contourograph reports its own state after a trace.
        if (tracing || (device.type() == PROFILE && !ui->startTraceButton->isEnabled()))
            endRecordingState();
    });
    emit newTrace(provider, type);
}

void DeviceControlWidget::onStopTrace()
{
    if (!tracing || !device.port->isOpen())
        return;
    tracing = false;
    if (device.type() == CONTOUR || device.type() == CONTOURPROF) {
        enableControls();
        emit unlockButtons();
    }
    ui->stopTraceButton->setEnabled(false);
    device.stopTrace();
}

// ---------------------------------------------------------------------------------------------
// Speed and trace length

void DeviceControlWidget::onSpeedChanged(int index)
{
    Settings::modify([index](Settings &s) { s.movement.current_speed = index; });
    const int length = ui->traceLengthSpinBox->value();
    if (index == 0 && length > kMaxLengthAtSpeed0) {
        ui->traceLengthSpinBox->setValue(kMaxLengthAtSpeed0);
        showWarning(QStringLiteral("Длина трассы была изменена"));
    } else if (index == 1 && length > kMaxLengthAtSpeed1) {
        ui->traceLengthSpinBox->setValue(kMaxLengthAtSpeed1);
        showWarning(QStringLiteral("Длина трассы была изменена"));
    }
}

void DeviceControlWidget::onTraceLengthChanged(int length)
{
    Settings::modify([length](Settings &s) { s.device.trace_length = length; });
    device.setTraceLength(length);
    const int speed = ui->speedComboBox->currentIndex();
    if (length > kMaxLengthAtSpeed1 && (speed == 0 || speed == 1)) {
        ui->speedComboBox->setCurrentIndex(2);
        showWarning(QStringLiteral("Скорость была изменена"));
    } else if (length > kMaxLengthAtSpeed0 && speed == 0) {
        ui->speedComboBox->setCurrentIndex(1);
        showWarning(QStringLiteral("Скорость была изменена"));
    }
}

// ---------------------------------------------------------------------------------------------
// Status line and warnings

void DeviceControlWidget::showStatus(const QString &text)
{
    m_statusHold.start();
    emit statusBarText(text);
}

void DeviceControlWidget::onStatusTimer()
{
    // A message shown by showStatus stays up a while before the live values replace it.
    if (m_statusHold.isValid() && !m_statusHold.hasExpired(kStatusHoldMs))
        return;
    DevicePort *link = device.port;
    if (!link || !link->thread || !link->thread->isRunning() || !link->isOpen())
        return;
    const QString port = QString::fromStdString(link->portName);
    if (device.type() == PROFILE) {
        emit statusBarText(QStringLiteral("Устройство ") + port
                           + QStringLiteral(" с показателем z: ")
                           + QString::number(device.consoleHeight));
        return;
    }
    const double z2 = device.consoleHeight / 1000000.0;
    const QString x = QString::number(device.xPosition / 1000.0, 'g', 6);
    const QString z1 = QString::number(device.probeHeight / 1000.0, 'g', 6);
    const QString z2Text = z2 > 0.001 ? QString::number(z2, 'g', 6) : QStringLiteral("0");
    emit statusBarText(QStringLiteral("Устройство ") + port + QStringLiteral(" с показателями x: ")
                       + x + QStringLiteral("мм , z1: ") + z1 + QStringLiteral(" мм, z2: ") + z2Text
                       + QStringLiteral(" мм"));
}

void DeviceControlWidget::showWarning(const QString &text)
{
    ui->warningMessageLabel->setText(QStringLiteral("<font color='red'>") + text
                                     + QStringLiteral("</font>"));
    ui->warningMessageLabel->show();
    if (!warningEffect) {
        warningEffect = new QGraphicsOpacityEffect(ui->warningMessageLabel);
        ui->warningMessageLabel->setGraphicsEffect(warningEffect);
    }
    if (warningAnimation) {
        warningAnimation->stop();
        warningAnimation->deleteLater();
        warningAnimation = nullptr;
    }
    warningEffect->setOpacity(1.0);
    QTimer::singleShot(kWarningHoldMs, this, [this] {
        if (warningAnimation) {
            warningAnimation->stop();
            warningAnimation->deleteLater();
        }
        warningAnimation = new QPropertyAnimation(warningEffect, "opacity", this);
        warningAnimation->setDuration(kWarningFadeMs);
        warningAnimation->setStartValue(1.0);
        warningAnimation->setEndValue(0.0);
        warningAnimation->setEasingCurve(QEasingCurve::InOutQuad);
        QPropertyAnimation *animation = warningAnimation;
        connect(animation, &QPropertyAnimation::finished, this, [this, animation] {
            ui->warningMessageLabel->hide();
            warningEffect->setOpacity(1.0);
            animation->deleteLater();
            if (warningAnimation == animation)
                warningAnimation = nullptr;
        });
        animation->start();
    });
}

// ---------------------------------------------------------------------------------------------
// Calibration and the progress window

void DeviceControlWidget::onCalibPushButtonPressed()
{
    if (keyReceiver->ctrlPressed) {
        device.resetAdditionalCalibration();
        return;
    }
    askReferenceRa();
}

void DeviceControlWidget::askReferenceRa()
{
    CalibRaDialog dialog(this);
    if (runDialog(&dialog) == QDialog::Accepted)
        device.calibration();
}

void DeviceControlWidget::onOpenLoader(QString name)
{
    m_progressSeen = false;
    // The window opens after the current device reply has been handled.
    QMetaObject::invokeMethod(
        this, [this, name] { openLoader(name); }, Qt::QueuedConnection);
}

void DeviceControlWidget::openLoader(const QString &name)
{
    Loader loader(this, name);
    loader.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    connect(this, &DeviceControlWidget::setStatusProgressBar, &loader, &Loader::onStatusProgress);
    // Progress reported before the window existed is shown at once; a finished operation then
    // closes the window after its pause instead of leaving it open for good.
    if (m_progressSeen)
        loader.onStatusProgress(m_progressStatus, m_progressName);
    connect(&loader, &Loader::loaderCanceled, this, [this] {
        enableControls();
        emit unlockButtons();
        device.cancelOperation();
    });
    runDialog(&loader);
    loader.close();
}

// ---------------------------------------------------------------------------------------------
// Key map

KeyReceiver *DeviceControlWidget::updateKeyMap()
{
    const bool alternative = Settings::instance()->device.alternative_managment;
    QMap<int, QPushButton *> map;
    map.insert(Qt::Key_Left, ui->xminusButton);
    map.insert(Qt::Key_Right, ui->xplusButton);
    map.insert(Qt::Key_Space, ui->stopTraceButton);
    map.insert(Qt::Key_Return, ui->startTraceButton);
    map.insert(Qt::Key_Up, alternative ? ui->yplusButton : ui->zplusButton);
    map.insert(Qt::Key_Down, alternative ? ui->yminusButton : ui->zminusButton);
    map.insert(Qt::Key_PageUp, alternative ? ui->zplusButton : ui->yplusButton);
    map.insert(Qt::Key_PageDown, alternative ? ui->zminusButton : ui->yminusButton);
    // A key held while the map changes keeps its old button until it is released.
    keyReceiver->keyMap = map;

    QPushButton *arrowUp = alternative ? ui->yplusButton : ui->zplusButton;
    QPushButton *arrowDown = alternative ? ui->yminusButton : ui->zminusButton;
    QPushButton *pageUp = alternative ? ui->zplusButton : ui->yplusButton;
    QPushButton *pageDown = alternative ? ui->zminusButton : ui->yminusButton;
    for (QPushButton *b : {arrowUp, arrowDown, pageUp, pageDown})
        ui->gridLayout->removeWidget(b);
    ui->gridLayout->addWidget(arrowUp, 1, 1);
    ui->gridLayout->addWidget(arrowDown, 3, 1);
    ui->gridLayout->addWidget(pageUp, 1, 5);
    ui->gridLayout->addWidget(pageDown, 3, 5);
    return keyReceiver;
}
