#pragma once

#include <QByteArray>
#include <QMap>
#include <QtGlobal>

// Reply state -> length in bytes of the packet the controller sends next. Entry 7 (the sample
// block) is written when the block header has been read.
extern QMap<int, int> kPacketLength;

// The reader of the controller's binary replies. The replies carry no delimiter, length or
// checksum: `replyState` says what comes next, which fixes the length of the next packet
// (`kPacketLength`) and how it is read. A packet whose leading bytes do not match its signature
// loses only bytes that cannot begin the signature, so the parser slides forward until the
// signature lines up again.
//
// The parser cuts packets out of the unread bytes of its input and decodes them; what a reply
// means for the instrument (commands in answer, settings, the alarm and status reactions) is its
// handler's. It reads either a buffer of its own, filled by `feed`, or a buffer that someone else
// fills (the serial link's receive buffer, `setInput`). Nothing here blocks or spins: a pass of
// the parse loop that can neither consume a byte nor change the state ends the loop until more
// bytes arrive.
//
// A handler may start a nested parse of the same input (a receiver of a point that runs an event
// loop in which more bytes arrive): every packet is taken from the input before its handler is
// called, and the loop looks at the input and the state afresh after every call.
class ReplyParser
{
public:
    // The reply states.
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

    // Identification replies are this long.
    static constexpr int kIdentificationLength = 20;
    // Parameter markers tried before the contour state is entered without parameters.
    static constexpr int kMaxMarkerMisses = 200;
    static constexpr int kDeviceParamCount = 30;

    // What the decoded replies mean. The parser has already moved to the next state where the
    // packet alone decides it; a handler may set another.
    class Handler
    {
    public:
        virtual ~Handler();
        // Identification text: the latest 20 bytes received, after up to 19 bytes received
        // before them, so that a reply that the 20-byte windows cut apart is seen whole. The
        // state is left as it was.
        virtual void identification(const QByteArray &text) = 0;
        // A position packet; `consoleHeight` holds its value.
        virtual void position(int value) = 0;
        // A preview sample and its X; the preview's end marker.
        virtual void previewSample(int value, double xpos) = 0;
        virtual void previewEnded() = 0;
        // A sample of the profilometer's block (probe height scaled) and its X; the block's end.
        virtual void blockSample(double probe, double xpos) = 0;
        virtual void blockEnded() = 0;
        // Text received while the calibration runs; its "Stage 6", which ends it.
        virtual void calibrationText(const QByteArray &text) = 0;
        virtual void calibrationFinished() = 0;
        // The calibration values stored in the contourograph.
        virtual void deviceParams(const qint32 (&params)[kDeviceParamCount]) = 0;
        // A contour packet; `probeHeight`, `consoleHeight` and `xPosition` hold its values.
        virtual void contourPacket(int status, int alarm) = 0;
    };

    explicit ReplyParser(Handler *handler);

    ReplyParser(const ReplyParser &) = delete;
    ReplyParser &operator=(const ReplyParser &) = delete;

    // Reads from bytes[*head...] from now on; the parser advances *head past what it consumes.
    void setInput(QByteArray *bytes, int *head);
    // Appends to the input and parses.
    void feed(const QByteArray &bytes);
    void feed(const char *data, int size);
    // Parses what the input holds: whole packets, and the samples of a sample block as they
    // arrive.
    void parse();
    // One step of the current state's reader (packets of the state's length must be there).
    void handlePacket();
    // Drops every unread byte of the input.
    void clearInput();
    // The calibration runs: the replies are its text until "Stage 6" arrives.
    void expectCalibrationReply();
    // The identification starts over (the port was opened or lost): the replies are read as
    // identification text, and nothing received before counts.
    void expectIdentification();

    // Unread bytes of the input.
    int available() const { return m_bytes->size() - *m_head; }
    // The bytes the parse loop needs before the current state's reader can make progress.
    int bytesNeeded() const;

    int replyState = IDENTIFICATION;
    int blockLength = 0;
    int sampleScale = 0;
    int steps = 0;
    // The next profilometer sample index; the contour handler keeps the largest X seen in it.
    int progress = 0;
    int blockBytesRead = 0;
    int markerMisses = 0;
    int consoleHeight = 0;
    int probeHeight = 0;
    int xPosition = 0;

private:
    quint8 takeByte();
    quint8 byteAt(int i) const;
    void skip(int n);
    QByteArray takeBytes(int n);
    quint32 takeUInt(int byteCount, bool bigEndian);

    void readIdentification();
    void readPositionPacket();
    void readPreviewPacket();
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

    Handler *m_handler;
    QByteArray *m_bytes;
    int *m_head;
    // The input when no other was set.
    QByteArray m_ownBytes;
    int m_ownHead = 0;
    // Length of the current sample block's samples (kPacketLength[7], kept at hand).
    int m_sampleBlockLength = 0;
    // The 2-byte lead of the current sample block has been skipped.
    bool m_blockLeadSkipped = false;
    // The end of the calibration text received so far, so that "Stage 6" is found when it is
    // split across reads.
    QByteArray m_calibrationTail;
    // The end of the identification text examined so far. A controller that streams packets
    // places its reply anywhere in the stream, so a reply may straddle two 20-byte windows.
    QByteArray m_identificationTail;
};
