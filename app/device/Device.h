#pragma once

#include "core/AbstractTrace.h"
#include "core/Settings.h"
#include "device/WaitableFlag.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <map>
#include <string>

class DevicePort;

// Reply state -> length in bytes of the packet the controller sends next. Entry 7 (the sample
// block) is written when the block header has been read.
extern QMap<int, int> kPacketLength;

// Speed index (what `Device::setSpeed` sends) -> its label.
extern const std::map<int, QString> kSpeedNames;

// The instrument as the rest of the program sees it: it sends the controller's ASCII commands,
// parses the binary replies, turns the status and alarm bytes of contour packets into signals and
// reports every measured point through `dataRecieved`.
//
// The replies carry no delimiter, length or checksum: `replyState` says what comes next, which
// fixes the length of the next packet (`kPacketLength`) and how it is read. A packet whose leading
// bytes do not match its signature loses only bytes that cannot begin the signature, so the
// parser slides forward until the signature lines up again.
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
        IDENTIFICATION = 0,
        POSITION = 1,
        PREVIEW = 2,
        STEPS_HEADER = 3,
        BLOCK_LENGTH = 4,
        SAMPLE_SCALE = 5,
        BLOCK_HEADER = 6,
        SAMPLE_BLOCK = 7,
        CALIBRATION_REPLY = 8,
        PARAMS_MARKER = 9,
        DEVICE_PARAMS = 10,
        CONTOUR_PACKET = 11
    };

    // Text of the identification reply of the contourograph's controller.
    static constexpr const char *kContourographIdentification = "Vexa_526_R1";
    // Identification replies are this long.
    static constexpr int kIdentificationLength = 20;
    // Parameter markers tried before the contour state is entered without parameters.
    static constexpr int kMaxMarkerMisses = 200;
    // Points per announcement: profilometer preview, profilometer block, contour.
    static constexpr int kPreviewBatch = 1;
    static constexpr int kBlockBatch = 100;
    static constexpr int kContourBatch = 8;
    // Limits of a contour point that is recorded.
    static constexpr int kMaxContourCoordinate = 2000000;
    static constexpr int kMinConsoleHeight = 10;
    static constexpr int kDeviceParamCount = 30;

    // Fixed-point texts of the commands, rounded to the nearest unit.
    // "Ka": the reference Ra in nanometres, at least five digits.
    static QByteArray calibrationValueText(double raMicrometres);
    // "R": millimetres per rotation in hundredths, four digits (0.00 to 99.99).
    static QByteArray mmPerRotationText(double value);
    // A value scaled to a signed 32-bit integer, rounded and kept inside the range.
    static qint32 toFixedPoint(double value, double scale);

    int consoleHeight = 0;
    int probeHeight = 0;
    int xPosition = 0;
    E_ANALISIS_TYPE deviceKind = PROFILE;
    int powerPressing = 0;
    MovementSettings::E_NEEDLE_PRESSING needlePressing = MovementSettings::E_PRESSING_DOWN;
    // A trace is running. Read by the live-trace provider's worker, which waits for it to clear.
    WaitableFlag traceStarted;
    int lastAlarm = 0;
    int lastStatus = 0;
    bool measuring = false;
    int progress = 0;
    int demoState = 0;
    int steps = 0;
    QList<QList<int>> demoExtremes;
    int replyState = IDENTIFICATION;
    int blockLength = 0;
    int sampleScale = 0;
    int blockBytesRead = 0;
    int markerMisses = 0;
    DevicePort *port = nullptr;

    void setFilter(int index);
    void setDeviceType(int type);
    void setTraceLength(int length);
    void cancelOperation();
    void resetAdditionalCalibration();
    void sendRawText(QString text);
    void uploadDeviceParams();

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
    void onPortLost();
    void onDeviceIdentified();
    void initDevice();
    void sendReturnCommand();

    // The bytes the parse loop needs before the current state's handler can make progress.
    int bytesNeeded() const;

    void readIdentification();
    void readPositionPacket();
    void readPreviewPacket();
    void readPreviewSample();
    void readStepsHeader();
    void readBlockLength();
    void readSampleScale();
    void readBlockHeader();
    void readSampleBlock();
    void finishSampleBlock();
    void readCalibrationReply();
    void waitParamsMarker();
    void readDeviceParams();
    void readContourPacket();
    void readContourValues();
    bool isValidContourPoint() const;

    quint32 takeUInt(int byteCount, bool bigEndian);

    // Length of the current sample block's samples (kPacketLength[7], kept at hand).
    int m_sampleBlockLength = 0;
    // The 2-byte lead of the current sample block has been skipped.
    bool m_blockLeadSkipped = false;
    // The end of the calibration text received so far, so that "Stage 6" is found when it is
    // split across reads.
    QByteArray m_calibrationTail;
    bool m_handlingPortLoss = false;
};
