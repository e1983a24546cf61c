#pragma once

#include "core/AbstractTrace.h"
#include "core/Settings.h"
#include "device/ReplyParser.h"
#include "device/WaitableFlag.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVector>

#include <map>
#include <memory>
#include <string>

class DevicePort;
class QTimer;

// Speed index (what `Device::setSpeed` sends) -> its label.
extern const std::map<int, QString> kSpeedNames;

// The instrument as the rest of the program sees it: it sends the controller's ASCII commands,
// has the binary replies read by its `ReplyParser`, turns the status and alarm bytes of contour
// packets into signals and reports every measured point through `dataRecieved`.
//
// The parser reads the link's receive buffer; its state is reached under the names below
// (`replyState`, `progress`, `steps` and the rest), which refer to the parser's own members.
//
// Everything runs on the GUI thread. The live-trace provider's worker thread reads and waits on
// `traceStarted`, which is therefore a `WaitableFlag`.
class Device : public QObject
{
    Q_OBJECT

public:
    Device();
    ~Device() override;

    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    // The reply states of the parser.
    enum E_REPLY_STATE {
        IDENTIFICATION = ReplyParser::IDENTIFICATION,
        POSITION = ReplyParser::POSITION,
        PREVIEW = ReplyParser::PREVIEW,
        STEPS_HEADER = ReplyParser::STEPS_HEADER,
        BLOCK_LENGTH = ReplyParser::BLOCK_LENGTH,
        SAMPLE_SCALE = ReplyParser::SAMPLE_SCALE,
        BLOCK_HEADER = ReplyParser::BLOCK_HEADER,
        SAMPLE_BLOCK = ReplyParser::SAMPLE_BLOCK,
        CALIBRATION_REPLY = ReplyParser::CALIBRATION_REPLY,
        PARAMS_MARKER = ReplyParser::PARAMS_MARKER,
        DEVICE_PARAMS = ReplyParser::DEVICE_PARAMS,
        CONTOUR_PACKET = ReplyParser::CONTOUR_PACKET
    };

    // Text of the identification reply of the contourograph's controller.
    static constexpr const char *kContourographIdentification = "Vexa_526_R1";
    // An identification reply without a known text is answered with "CP" again this long after
    // it, once for all the replies of that time: a controller that streams contour packets fills
    // the replies with packets, and each answer brings another reply.
    static constexpr int kIdentificationRetryMs = 250;
    // Points per announcement: profilometer preview, profilometer block, contour.
    static constexpr int kPreviewBatch = 1;
    static constexpr int kBlockBatch = 100;
    static constexpr int kContourBatch = 8;
    // Limits of a contour point that is recorded.
    static constexpr int kMaxContourCoordinate = 2000000;
    static constexpr int kMinConsoleHeight = 10;
    // After a stop the profilometer ends its trace with the sample block. When its replies make
    // no progress for this long, the trace ends without the block, keeping the points recorded
    // so far, so that a stop pressed while the instrument sends nothing cannot hang the trace.
    static constexpr int kStopReplyTimeoutMs = 3000;

    // Fixed-point texts of the commands, rounded to the nearest unit.
    // "Ka": the reference Ra in nanometres, at least five digits.
    static QByteArray calibrationValueText(double raMicrometres);
    // "R": millimetres per rotation in hundredths, four digits (0.00 to 99.99).
    static QByteArray mmPerRotationText(double value);
    // A value scaled to a signed 32-bit integer, rounded and kept inside the range.
    static qint32 toFixedPoint(double value, double scale);

    // The serial link, created first: the parser reads its receive buffer.
    DevicePort *port = nullptr;

private:
    class Replies;
    std::unique_ptr<Replies> m_replies;
    ReplyParser m_parser;

public:
    int &consoleHeight = m_parser.consoleHeight;
    int &probeHeight = m_parser.probeHeight;
    int &xPosition = m_parser.xPosition;
    E_ANALISIS_TYPE deviceKind = PROFILE;
    int powerPressing = 0;
    MovementSettings::E_NEEDLE_PRESSING needlePressing = MovementSettings::E_PRESSING_DOWN;
    // A trace is running. Read by the live-trace provider's worker, which waits for it to clear.
    WaitableFlag traceStarted;
    int lastAlarm = 0;
    int lastStatus = 0;
    bool measuring = false;
    int &progress = m_parser.progress;
    int demoState = 0;
    int &steps = m_parser.steps;
    QList<QList<int>> demoExtremes;
    int &replyState = m_parser.replyState;
    int &blockLength = m_parser.blockLength;
    int &sampleScale = m_parser.sampleScale;
    int &blockBytesRead = m_parser.blockBytesRead;
    int &markerMisses = m_parser.markerMisses;

    void setFilter(int index);
    void setDeviceType(int type);
    void setTraceLength(int length);
    void cancelOperation();
    void resetAdditionalCalibration();
    void sendRawText(QString text);
    // Ends the running trace, if one runs: the live-trace provider takes no more points and
    // finishes the trace with those recorded so far. Every end of a trace comes through here,
    // whatever ends it (the end of the sample block, a stop, a status report after which the
    // panel no longer records, the loss of the link).
    void endTrace();
    // Counts a trace as running before its start command goes out: the instrument started it by
    // itself and its points come in already. False when a trace was running already.
    bool beginTraceIntake();
    // Sends the calibration values to the contourograph; false when no port is open to take
    // them.
    bool uploadDeviceParams();

    // Protocol handlers, public so that the reply table can be driven state by state.
    void handlePacket();
    bool handleAlarmByte(int alarm, int status);
    void reportCalibrationStage(int stage);
    void reportCentreSearchStage(int stage);
    void demoCycle(int alarm);
    void updateDemoExtremes();
    int demoTraceStep(QList<QList<int>> extremes);
    void handleDemoAlarm(int alarm);

signals:
    void dataRecieved(double probeHight, double consoleHight, double xpos,
                      int kBatchNotificationSize);
    void dataReset();
    void deviceLost();
    void deviceOpened();
    void pushButtonStartTrace();
    void needCalibration();
    void pushButtonStopTrace();
    void prepareTrace();
    void openLoader(QString name);
    void setStatusProgressBar(int status, QString statusName);
    void crashDevice();
    void normalStatus();
    void setBarValue(int cosoleHigh);
    void deleteAllTrace();
    void newDeviceType(int type);
    void rowDataFromDevice(QString data);

public slots:
    void openDevice();
    void moveX(int val);
    void moveY(int val);
    void moveZ(int val);
    void autoMinMaxCalib();
    void calibration();
    void startTrace(bool trace_started);
    void startTrace();
    void stopTrace();
    void setSpeed(int spd);
    void changePresingPower(MovementSettings::E_NEEDLE_PRESSING needle_pressing,
                            int power_pressing);
    void changeResolutionScaling();
    void setMMPerRotation(double value);
    E_ANALISIS_TYPE type();
    void parseIncomingData();

private:
    void send(const QByteArray &command);
    void sendIdentification();
    // Has "CP" sent again kIdentificationRetryMs from now, unless that is already arranged.
    void askIdentificationAgain();
    void onPortLost();
    void onDeviceIdentified();
    void initDevice();
    void sendReturnCommand();

    void onIdentification(const QByteArray &reply);
    void onContourPacket(int status, int alarm);
    bool isValidContourPoint() const;
    // Looks at the replies after a profilometer stop (see kStopReplyTimeoutMs).
    void checkStopReply();

    bool m_handlingPortLoss = false;
    // Runs from an unknown identification reply to the next "CP".
    QTimer *m_identificationRetry = nullptr;
    // Runs while a profilometer stop waits for the sample block; the parser's position when it
    // was last looked at (reply state, samples, block bytes).
    QTimer *m_stopReplyTimer = nullptr;
    QVector<int> m_stopReplyMark;
};
