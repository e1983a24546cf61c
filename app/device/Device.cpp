#include "device/Device.h"

#include "core/Logger.h"
#include "device/DevicePort.h"
#include "device/ReplyParser.h"

#include <QDebug>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

const std::map<int, QString> kSpeedNames = {{0, QStringLiteral("0.25 мм/c")},
                                            {1, QStringLiteral("0.50 мм/c")},
                                            {2, QStringLiteral("1.00 мм/c")},
                                            {3, QStringLiteral("2.00 мм/c")}};

namespace {

// Initial value of the last alarm and status bytes: no byte has it, so the first contour packet
// after an identification always counts as a change.
constexpr int kNoByte = 1000000;

} // namespace

// What the replies mean for the instrument: the parser's handler.
class Device::Replies : public ReplyParser::Handler
{
public:
    explicit Replies(Device *device)
        : d(device)
    { }

    void identification(const QByteArray &text) override { d->onIdentification(text); }

    void position(int value) override
    {
        d->send("CT");
        emit d->setBarValue(65535 - value);
    }

    void previewSample(int value, double xpos) override
    {
        emit d->setBarValue(65535 - value);
        emit d->dataRecieved(value, 0, xpos, kPreviewBatch);
    }

    void previewEnded() override { emit d->dataReset(); }

    void blockSample(double probe, double xpos) override
    {
        emit d->dataRecieved(probe, 0, xpos, kBlockBatch);
    }

    void blockEnded() override
    {
        // The panel answers pushButtonStopTrace with stopTrace, which acts only while the trace
        // is still marked as running.
        emit d->pushButtonStopTrace();
        d->endTrace();
    }

    void calibrationText(const QByteArray &text) override { qDebug() << QString::fromUtf8(text); }

    void calibrationFinished() override
    {
        d->setTraceLength(Settings::instance()->device.trace_length);
    }

    void deviceParams(const qint32 (&params)[ReplyParser::kDeviceParamCount]) override
    {
        for (int i = 0; i < ReplyParser::kDeviceParamCount; ++i)
            qDebug() << "Param_" << i << ": " << params[i];
        const double x = params[0] / 1e6;
        const double y = params[1] / 1e6;
        qDebug() << "x_axis_compression_ratio: " << x;
        qDebug() << "y_axis_compression_ratio: " << y;
        // The set is taken whole or not at all.
        if (x < 0.95 || x > 1.05 || y < 0.95 || y > 1.05)
            return;
        const double displacement = params[2] / 1e6;
        const double rack = params[3] / 100.0;
        Settings::modify([=](Settings &settings) {
            settings.calibration.x_axis_compression_ratio = x;
            settings.calibration.y_axis_compression_ratio = y;
            settings.calibration.displacement_coefficient = displacement;
            settings.calibration.rack_prpendicular = rack;
        });
    }

    void contourPacket(int status, int alarm) override { d->onContourPacket(status, alarm); }

private:
    Device *d;
};

Device::Device()
    : port(new DevicePort())
    , m_replies(std::make_unique<Replies>(this))
    , m_parser(m_replies.get())
{
    const Settings *settings = Settings::instance();
    deviceKind = static_cast<E_ANALISIS_TYPE>(settings->device.device_type);
    powerPressing = settings->device.power_pressing;
    needlePressing = settings->movement.needle_pressing;
    traceStarted = false;
    markerMisses = 0;
    m_parser.expectIdentification();
    m_parser.setInput(&port->rxBuffer, &port->rxHead);
    port->setParser([this] { parseIncomingData(); });
    m_stopReplyTimer = new QTimer(this);
    m_stopReplyTimer->setInterval(kStopReplyTimeoutMs);
    connect(m_stopReplyTimer, &QTimer::timeout, this, &Device::checkStopReply);
    m_identificationRetry = new QTimer(this);
    m_identificationRetry->setSingleShot(true);
    m_identificationRetry->setInterval(kIdentificationRetryMs);
    connect(m_identificationRetry, &QTimer::timeout, this, [this] {
        if (replyState == IDENTIFICATION && port->isOpen())
            sendIdentification();
    });
    connect(port, &DevicePort::portLost, this, &Device::onPortLost);
    connect(port, &DevicePort::portOpened, this, &Device::openDevice);
}

Device::~Device()
{
    delete port;
}

// ---------------------------------------------------------------------------------------------
// Fixed-point values

qint32 Device::toFixedPoint(double value, double scale)
{
    const double scaled = std::round(value * scale);
    if (!(scaled == scaled))
        return 0;
    if (scaled >= static_cast<double>(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    if (scaled <= static_cast<double>(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    return static_cast<qint32>(scaled);
}

QByteArray Device::calibrationValueText(double raMicrometres)
{
    return QByteArray::number(toFixedPoint(raMicrometres, 1000.0)).rightJustified(5, '0');
}

QByteArray Device::mmPerRotationText(double value)
{
    const qint32 hundredths = std::clamp(toFixedPoint(value, 100.0), 0, 9999);
    return QByteArray::number(hundredths).rightJustified(4, '0');
}

// ---------------------------------------------------------------------------------------------
// Connection and identification

void Device::send(const QByteArray &command)
{
    port->write(command);
}

void Device::openDevice()
{
    m_identificationRetry->stop();
    m_parser.expectIdentification();
    sendIdentification();
    emit deviceOpened();
}

void Device::sendIdentification()
{
    if (port->isOpen())
        send("CP");
    else
        emit deviceLost();
}

void Device::askIdentificationAgain()
{
    if (!m_identificationRetry->isActive())
        m_identificationRetry->start();
}

void Device::onPortLost()
{
    // A receiver of pushButtonStopTrace stops the trace, which writes to the closed port and
    // reports the loss again; that report is part of this one.
    if (m_handlingPortLoss)
        return;
    m_handlingPortLoss = true;
    emit deviceLost();
    if (traceStarted) {
        emit pushButtonStopTrace();
        endTrace();
    }
    m_identificationRetry->stop();
    m_parser.expectIdentification();
    m_handlingPortLoss = false;
}

void Device::onDeviceIdentified()
{
    m_identificationRetry->stop();
    initDevice();
    emit newDeviceType(deviceKind);
    const int kind = deviceKind;
    Settings::modify([kind](Settings &settings) { settings.device.device_type = kind; });
}

void Device::initDevice()
{
    lastAlarm = kNoByte;
    lastStatus = kNoByte;
    progress = 0;
    demoState = -1;
    measuring = false;
    send("CM");
    const Settings *settings = Settings::instance();
    changePresingPower(settings->movement.needle_pressing, settings->device.power_pressing);
    demoExtremes = {{1000000000, 0, 0}, {0, 0, 0}, {-1000000000}, {1000000000}};
    steps = 1;
    if (deviceKind == PROFILE) {
        send("Cq");
        setFilter(settings->device.spinbox_filter_length_index);
        setTraceLength(settings->device.trace_length);
    }
    setSpeed(settings->movement.current_speed);
}

// ---------------------------------------------------------------------------------------------
// Commands

void Device::moveX(int val)
{
    send(val == 0 ? "DX0" : (val > 0 ? "DX-" : "DX+"));
}

void Device::moveY(int val)
{
    send(val == 0 ? "DY0" : (val > 0 ? "DY+" : "DY-"));
}

void Device::moveZ(int val)
{
    send(val == 0 ? "DZ0" : (val > 0 ? "DZ+" : "DZ-"));
}

void Device::autoMinMaxCalib()
{
    logger.log(INFO, "autoMaxCalib");
    send("CV");
}

void Device::calibration()
{
    logger.log(INFO, "Calibration");
    if (deviceKind == PROFILE) {
        m_parser.expectCalibrationReply();
        send("Ka" + calibrationValueText(Settings::instance()->calibration.calibration_Ra_value));
    } else {
        send("CK");
    }
}

void Device::startTrace(bool trace_started)
{
    qDebug() << "trace_started: " << trace_started;
    logger.log(INFO, "startTrace");
    m_stopReplyTimer->stop();
    progress = 0;
    const Settings *settings = Settings::instance();
    switch (settings->device.device_type) {
    case CONTOUR:
    case CONTOURPROF:
        switch (settings->device.measurement_mode) {
        case 0:
        case 2:
            send("CS");
            break;
        case 1:
            send("Cs");
            break;
        case 3:
            send("CL");
            break;
        default:
            break;
        }
        break;
    case PROFILE:
    case ADDITIONAL_TRACE:
        send("CS");
        if (trace_started)
            replyState = STEPS_HEADER;
        break;
    default:
        break;
    }
    traceStarted = trace_started;
}

void Device::startTrace()
{
    startTrace(true);
}

void Device::stopTrace()
{
    if (!traceStarted)
        return;
    logger.log(INFO, "stopTrace");
    send("CC");
    const int storedKind = Settings::instance()->device.device_type;
    if (storedKind == PROFILE || storedKind == ADDITIONAL_TRACE) {
        // The end of the data block ends the trace, or the instrument's silence.
        send("CV");
        m_stopReplyMark = {replyState, progress, blockBytesRead};
        m_stopReplyTimer->start();
    } else {
        send("CA");
        endTrace();
    }
}

void Device::endTrace()
{
    m_stopReplyTimer->stop();
    traceStarted = false;
}

bool Device::beginTraceIntake()
{
    if (traceStarted)
        return false;
    traceStarted = true;
    return true;
}

void Device::checkStopReply()
{
    if (!traceStarted) {
        m_stopReplyTimer->stop();
        return;
    }
    const QVector<int> mark {replyState, progress, blockBytesRead};
    if (mark != m_stopReplyMark) {
        m_stopReplyMark = mark;
        return;
    }
    m_stopReplyTimer->stop();
    logger.log(INFO, "stopTrace: no reply from the instrument, the trace ends without its block");
    replyState = POSITION;
    endTrace();
}

void Device::setSpeed(int spd)
{
    logger.log(INFO, "setspeed with value " + std::to_string(spd));
    send((deviceKind == PROFILE ? "PS" : "SX") + QByteArray::number(spd));
}

void Device::changePresingPower(MovementSettings::E_NEEDLE_PRESSING needle_pressing,
                                int power_pressing)
{
    if (needle_pressing == needlePressing && power_pressing == powerPressing)
        return;
    needlePressing = needle_pressing;
    powerPressing = power_pressing;
    const QByteArray command = QByteArray("P")
        + (needle_pressing == MovementSettings::E_PRESSING_DOWN ? "d" : "u")
        + QByteArray::number(power_pressing);
    logger.log(INFO, "changePresingPower to value: " + command.toStdString());
    send(command);
    Settings::modify([needle_pressing, power_pressing](Settings &settings) {
        settings.device.power_pressing = power_pressing;
        settings.movement.needle_pressing = needle_pressing;
    });
}

void Device::changeResolutionScaling() { }

void Device::setMMPerRotation(double value)
{
    send("R" + mmPerRotationText(value));
}

E_ANALISIS_TYPE Device::type()
{
    return deviceKind;
}

void Device::setFilter(int index)
{
    send("PF" + QByteArray::number(index + 1));
}

void Device::setDeviceType(int type)
{
    deviceKind = static_cast<E_ANALISIS_TYPE>(type);
    send(type == CONTOURPROF ? "PR1" : "PR0");
}

void Device::setTraceLength(int length)
{
    send(QByteArray("PL") + static_cast<char>((48 + length) & 0xFF));
}

void Device::cancelOperation()
{
    send("CC");
    send("CA");
}

void Device::resetAdditionalCalibration()
{
    send("Ke00000");
    QTimer::singleShot(200, this, &Device::sendReturnCommand);
}

void Device::sendReturnCommand()
{
    send("Cr");
}

void Device::sendRawText(QString text)
{
    text.remove(QLatin1Char('\n'));
    send(text.toUtf8());
}

bool Device::uploadDeviceParams()
{
    if (!port || !port->isOpen())
        return false;
    qDebug() << "UPLOAD DATA TO CONTOUROGRAPH";
    const CalibrationSettings &calibration = Settings::instance()->calibration;
    qint32 params[ReplyParser::kDeviceParamCount] = {};
    params[0] = toFixedPoint(calibration.x_axis_compression_ratio, 1e6);
    params[1] = toFixedPoint(calibration.y_axis_compression_ratio, 1e6);
    params[2] = toFixedPoint(calibration.displacement_coefficient, 1e6);
    params[3] = toFixedPoint(calibration.rack_prpendicular, 100.0);
    qDebug() << "Device params" << params[0] << params[1] << params[2] << params[3];
    QByteArray command("O");
    for (const qint32 param : params) {
        const auto value = static_cast<quint32>(param);
        for (int shift = 0; shift < 32; shift += 8)
            command.append(static_cast<char>((value >> shift) & 0xFF));
    }
    qDebug() << command.size();
    send(command);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Replies

void Device::parseIncomingData()
{
    m_parser.parse();
}

void Device::handlePacket()
{
    m_parser.handlePacket();
}

void Device::onIdentification(const QByteArray &reply)
{
    qDebug() << "Received:" << QString::fromUtf8(reply);
    // The known texts are ASCII: they are looked for in the bytes, which may hold packets that
    // are no valid UTF-8 around them.
    if (reply.contains("OK")) {
        deviceKind = PROFILE;
        replyState = POSITION;
        onDeviceIdentified();
    } else if (reply.contains(kContourographIdentification)) {
        setDeviceType(Settings::instance()->device.measurement_mode == 2 ? CONTOURPROF : CONTOUR);
        replyState = PARAMS_MARKER;
        markerMisses = 0;
        send("CO");
        onDeviceIdentified();
    } else {
        askIdentificationAgain();
    }
}

bool Device::isValidContourPoint() const
{
    return probeHeight <= kMaxContourCoordinate && consoleHeight >= kMinConsoleHeight
        && progress <= xPosition && xPosition <= kMaxContourCoordinate;
}

void Device::onContourPacket(int status, int alarm)
{
    // The reactions below may run a nested event loop that parses later packets, so the values
    // of this packet are kept here.
    const int probe = probeHeight;
    const int console = consoleHeight;
    const int x = xPosition;

    const bool wasMeasuring = measuring;

    if ((alarm == 10 || alarm == 110) && status == 109)
        send("CA");

    if (Settings::instance()->service.demo_regime) {
        demoCycle(alarm);
        if (alarm != lastAlarm) {
            lastAlarm = alarm;
            lastStatus = status;
            handleDemoAlarm(alarm);
        } else if (status != lastStatus) {
            lastStatus = status;
        }
    } else if (alarm != lastAlarm) {
        lastAlarm = alarm;
        lastStatus = status;
        measuring = handleAlarmByte(alarm, status);
    } else if (status != lastStatus) {
        lastStatus = status;
        measuring = handleAlarmByte(alarm, status);
    }

    probeHeight = probe;
    consoleHeight = console;
    xPosition = x;
    // A trace's X counts from its first measured packet. Between traces the controller reports
    // its carriage at rest, the X trembling about its place, and a trace the instrument starts by
    // itself may begin below where an earlier one ended: neither may cost the trace its points.
    if (measuring && !wasMeasuring)
        progress = 0;
    // Only a valid point moves the trace forward: one corrupt packet costs at most its own point.
    const bool valid = isValidContourPoint();
    if (valid)
        progress = std::max(progress, x);
    emit setBarValue(console);
    if (valid && measuring)
        emit dataRecieved(deviceKind == CONTOURPROF ? 0 : probe, console, x, kContourBatch);
}

// ---------------------------------------------------------------------------------------------
// Status and alarm bytes

bool Device::handleAlarmByte(int alarm, int status)
{
    qDebug() << "ALARM BYTE: " << alarm << " Status: " << status;
    switch (alarm) {
    case 0:
        // The controller is back in normal status: a trace that runs has ended there (the panel
        // leaves its recording), with the points recorded so far.
        endTrace();
        emit normalStatus();
        return false;
    case 1:
    case 101:
        send("CA");
        emit pushButtonStopTrace();
        return false;
    case 2:
    case 102:
        emit pushButtonStartTrace();
        return true;
    case 3:
    case 103:
        // The controller wants a calibration before it measures: a trace that runs ends here.
        endTrace();
        emit needCalibration();
        return false;
    case 4:
        send("CA");
        endTrace();
        emit crashDevice();
        return false;
    case 5:
    case 7:
    case 9:
    case 105:
    case 107:
    case 108:
    case 109:
        emit prepareTrace();
        return false;
    case 6:
    case 100:
    case 106:
        emit prepareTrace();
        return true;
    case 8:
        reportCentreSearchStage(status);
        emit prepareTrace();
        return false;
    case 10:
        reportCalibrationStage(status);
        emit prepareTrace();
        return false;
    case 110:
        emit prepareTrace();
        // The controller has stopped the carriage and goes back to normal status without
        // ending the trace: the trace ends here, with the points recorded so far.
        if (status == 109) {
            send("CA");
            endTrace();
        }
        return false;
    default:
        return false;
    }
}

void Device::reportCalibrationStage(int stage)
{
    QString text;
    switch (stage) {
    case 1:
        emit openLoader(QStringLiteral("Идёт калибровка"));
        text = QStringLiteral("Отвод контурографа от поверхности");
        break;
    case 2:
        text = QStringLiteral("Поиск максимума показания датчика");
        break;
    case 3:
        text = QStringLiteral("Поиск минимума показания датчика");
        break;
    case 4:
        text = QStringLiteral("Настройка силы прижима иглы");
        break;
    case 5:
        text = QStringLiteral("Подвод контурографа к поверхности до касания");
        break;
    case 107:
        text = QStringLiteral("Отвод контурографа от поверхности");
        break;
    case 108:
        text = QStringLiteral("Опускание контурографа до центра диапазона датчика");
        break;
    case 109:
        text = QStringLiteral("Калибровка завершена");
        break;
    default:
        text = QStringLiteral("Калибровка датчика");
        break;
    }
    emit setStatusProgressBar(stage * 100 / 109, text);
}

void Device::reportCentreSearchStage(int stage)
{
    QString text;
    if (stage > 94) {
        text = QStringLiteral("Перемещение на центр");
    } else {
        if (stage == 1)
            emit openLoader(QStringLiteral("Идёт поиск минимума"));
        text = QStringLiteral("Поиск центра окружности");
    }
    emit setStatusProgressBar(stage, text);
}

// ---------------------------------------------------------------------------------------------
// Demonstration cycle

void Device::handleDemoAlarm(int alarm)
{
    qDebug() << "ALARM BYTE: " << alarm;
    if (alarm == 1) {
        send("CA");
        emit pushButtonStopTrace();
        demoState = 1;
    } else if (alarm == 0) {
        endTrace();
        emit normalStatus();
    } else if (alarm >= 5 && alarm <= 9) {
        emit prepareTrace();
    }
}

void Device::demoCycle(int alarm)
{
    switch (demoState) {
    case -1:
        if (alarm == 2) {
            emit pushButtonStartTrace();
            measuring = true;
            demoState = 0;
        }
        break;
    case 0:
        updateDemoExtremes();
        break;
    case 1: {
        const qint64 highest = demoExtremes[2][0];
        const qint64 lowest = demoExtremes[3][0];
        const double range = static_cast<double>(std::llabs(highest - lowest));
        if (probeHeight < static_cast<double>(highest) + 0.1 * range) {
            moveZ(1);
        } else {
            moveZ(0);
            if (xPosition > demoExtremes[0][0]) {
                moveX(-1);
            } else {
                moveX(0);
                emit deleteAllTrace();
                demoState = 2;
            }
        }
        break;
    }
    case 2:
        emit pushButtonStartTrace();
        measuring = true;
        demoState = 3;
        break;
    case 3:
        demoState = demoTraceStep(demoExtremes);
        break;
    default:
        break;
    }
}

void Device::updateDemoExtremes()
{
    // Only points that would be recorded shape the cycle: a corrupt packet must not send the
    // probe to an unreachable height or position.
    if (!isValidContourPoint() || demoExtremes.size() < 4)
        return;
    if (xPosition < demoExtremes[0][0])
        demoExtremes[0] = {xPosition, consoleHeight, probeHeight};
    if (xPosition > demoExtremes[1][0])
        demoExtremes[1] = {xPosition, consoleHeight, probeHeight};
    if (probeHeight > demoExtremes[2][0])
        demoExtremes[2][0] = probeHeight;
    if (probeHeight < demoExtremes[3][0])
        demoExtremes[3][0] = probeHeight;
}

int Device::demoTraceStep(QList<QList<int>> extremes)
{
    if (xPosition < extremes[1][0])
        return 3;
    send("CA");
    emit pushButtonStopTrace();
    return 1;
}
