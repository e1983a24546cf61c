#include "device/ReplyParser.h"

QMap<int, int> kPacketLength = {{0, 20}, {1, 3}, {2, 4}, {3, 4},    {4, 3},  {5, 6},
                                {6, 4},  {8, 1}, {9, 3}, {10, 120}, {11, 14}};

namespace {

const QByteArray kCalibrationDoneText = QByteArrayLiteral("Stage 6");
const QByteArray kPreviewEndMarker = QByteArray("\x00\x00\x00\x01", 4);

// Consumed bytes kept at the front of the parser's own input before they are dropped.
constexpr int kCompactAfter = 32;

int packetLength(int state)
{
    return kPacketLength.value(state, 0);
}

} // namespace

ReplyParser::Handler::~Handler() = default;

ReplyParser::ReplyParser(Handler *handler)
    : m_handler(handler)
    , m_bytes(&m_ownBytes)
    , m_head(&m_ownHead)
{ }

void ReplyParser::setInput(QByteArray *bytes, int *head)
{
    m_bytes = bytes;
    m_head = head;
}

void ReplyParser::feed(const QByteArray &bytes)
{
    if (*m_head >= kCompactAfter && *m_head * 2 >= m_bytes->size()) {
        m_bytes->remove(0, *m_head);
        *m_head = 0;
    }
    m_bytes->append(bytes);
    parse();
}

void ReplyParser::feed(const char *data, int size)
{
    feed(QByteArray::fromRawData(data, size));
}

void ReplyParser::clearInput()
{
    *m_head = m_bytes->size();
}

void ReplyParser::expectCalibrationReply()
{
    replyState = CALIBRATION_REPLY;
    m_calibrationTail.clear();
}

void ReplyParser::expectIdentification()
{
    replyState = IDENTIFICATION;
    m_identificationTail.clear();
}

// ---------------------------------------------------------------------------------------------
// The input

quint8 ReplyParser::takeByte()
{
    return available() > 0 ? static_cast<quint8>(m_bytes->at((*m_head)++)) : 0;
}

quint8 ReplyParser::byteAt(int i) const
{
    return static_cast<quint8>(m_bytes->at(*m_head + i));
}

void ReplyParser::skip(int n)
{
    *m_head += qBound(0, n, available());
}

QByteArray ReplyParser::takeBytes(int n)
{
    const int count = qBound(0, n, available());
    QByteArray result = m_bytes->mid(*m_head, count);
    *m_head += count;
    return result;
}

quint32 ReplyParser::takeUInt(int byteCount, bool bigEndian)
{
    quint32 value = 0;
    for (int i = 0; i < byteCount; ++i) {
        const quint32 byte = takeByte();
        if (bigEndian)
            value = (value << 8) | byte;
        else
            value |= byte << (8 * i);
    }
    return value;
}

// ---------------------------------------------------------------------------------------------
// The parse loop

int ReplyParser::bytesNeeded() const
{
    // The sample block is the bulk of the traffic; its test stays clear of the table lookup.
    if (replyState == SAMPLE_BLOCK)
        return m_sampleBlockLength <= 0 ? 0 : 2;
    return packetLength(replyState);
}

void ReplyParser::parse()
{
    // Every pass either consumes bytes or changes the state; a reader that can do neither ends
    // the loop until more bytes arrive, so the parser never spins.
    for (;;) {
        const int before = available();
        if (before < bytesNeeded())
            return;
        const int state = replyState;
        handlePacket();
        if (available() == before && replyState == state)
            return;
    }
}

void ReplyParser::handlePacket()
{
    switch (replyState) {
    case IDENTIFICATION:
        readIdentification();
        break;
    case POSITION:
        readPositionPacket();
        break;
    case PREVIEW:
        readPreviewPacket();
        break;
    case STEPS_HEADER:
        readStepsHeader();
        break;
    case BLOCK_LENGTH:
        readBlockLength();
        break;
    case SAMPLE_SCALE:
        readSampleScale();
        break;
    case BLOCK_HEADER:
        readBlockHeader();
        break;
    case SAMPLE_BLOCK:
        readSampleBlock();
        break;
    case CALIBRATION_REPLY:
        readCalibrationReply();
        break;
    case PARAMS_MARKER:
        waitParamsMarker();
        break;
    case DEVICE_PARAMS:
        readDeviceParams();
        break;
    case CONTOUR_PACKET:
        readContourPacket();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// The readers of the states

void ReplyParser::readIdentification()
{
    // A reply is 20 bytes, so a text that fits in one and was not wholly in the bytes examined
    // before ends in this window and begins at most 19 bytes before it.
    const QByteArray text = m_identificationTail + takeBytes(kIdentificationLength);
    m_handler->identification(text);
    if (replyState == IDENTIFICATION)
        m_identificationTail = text.right(kIdentificationLength - 1);
    else
        m_identificationTail.clear();
}

void ReplyParser::readPositionPacket()
{
    if (takeByte() != 'Z')
        return;
    consoleHeight = static_cast<int>(takeUInt(2, true));
    m_handler->position(consoleHeight);
}

void ReplyParser::readPreviewPacket()
{
    if (byteAt(0) == 'B' && byteAt(3) == 'B') {
        // The fourth byte stays: it is the 'B' of the next sample.
        skip(1);
        const int value = static_cast<int>(takeUInt(2, true));
        const int stepCount = steps > 0 ? steps : 1;
        const double xpos = static_cast<double>(progress) * 500 / 12.5 / stepCount * 1000;
        ++progress;
        m_handler->previewSample(value, xpos);
        return;
    }
    // Not the end marker: only the first byte is dropped. A failed match may have run into the
    // marker itself (a last sample ending in zero bytes), so the marker is looked for again one
    // byte further on instead of behind every byte read.
    for (int i = 0; i < kPreviewEndMarker.size(); ++i) {
        if (byteAt(i) != static_cast<quint8>(kPreviewEndMarker.at(i))) {
            skip(1);
            return;
        }
    }
    skip(kPreviewEndMarker.size());
    replyState = BLOCK_LENGTH;
    m_handler->previewEnded();
}

void ReplyParser::readStepsHeader()
{
    // A mismatch drops one byte only: in "SST" the second 'S' begins the header.
    if (byteAt(0) != 'S' || byteAt(1) != 'T') {
        skip(1);
        return;
    }
    skip(2);
    progress = 0;
    steps = static_cast<int>(takeUInt(2, false));
    replyState = PREVIEW;
}

void ReplyParser::readBlockLength()
{
    blockLength = static_cast<int>(takeUInt(3, true));
    replyState = SAMPLE_SCALE;
}

void ReplyParser::readSampleScale()
{
    skip(3);
    sampleScale = static_cast<int>(takeUInt(3, false));
    replyState = BLOCK_HEADER;
}

void ReplyParser::readBlockHeader()
{
    steps = static_cast<int>(takeUInt(2, false));
    skip(2);
    m_sampleBlockLength = blockLength / 8 * 2 - 1026;
    kPacketLength[SAMPLE_BLOCK] = m_sampleBlockLength;
    blockBytesRead = 0;
    progress = 0;
    m_blockLeadSkipped = false;
    replyState = SAMPLE_BLOCK;
}

void ReplyParser::readSampleBlock()
{
    const int length = m_sampleBlockLength;
    // A block header that announces no samples ends the block at once.
    if (length <= 0) {
        finishSampleBlock();
        return;
    }
    // The samples are taken as they arrive; the 2-byte lead is skipped once per block, so a
    // block that arrives in several reads is read whole and in step.
    if (!m_blockLeadSkipped) {
        if (available() < 2)
            return;
        skip(2);
        m_blockLeadSkipped = true;
    }
    // Samples are decoded straight from the input. A handler may run a nested parse that moves
    // the input or ends the block, so the read position and the state are looked at afresh for
    // every sample.
    const int stepCount = steps > 0 ? steps : 1;
    while (replyState == SAMPLE_BLOCK && blockBytesRead < length) {
        const int head = *m_head;
        if (m_bytes->size() - head < 2)
            break;
        const auto *bytes = reinterpret_cast<const uchar *>(m_bytes->constData()) + head;
        const quint32 sample = (quint32(bytes[0]) << 8) | bytes[1];
        *m_head = head + 2;
        const double xpos = static_cast<double>(progress) / stepCount * 1000;
        ++progress;
        blockBytesRead += 2;
        m_handler->blockSample(sample * static_cast<double>(sampleScale) * 1e-8, xpos);
    }
    if (replyState == SAMPLE_BLOCK && blockBytesRead >= length)
        finishSampleBlock();
}

void ReplyParser::finishSampleBlock()
{
    replyState = POSITION;
    m_handler->blockEnded();
}

void ReplyParser::readCalibrationReply()
{
    const QByteArray bytes = takeBytes(available());
    m_handler->calibrationText(bytes);
    const QByteArray text = m_calibrationTail + bytes;
    if (text.contains(kCalibrationDoneText)) {
        m_calibrationTail.clear();
        replyState = POSITION;
        m_handler->calibrationFinished();
        return;
    }
    m_calibrationTail = text.right(kCalibrationDoneText.size() - 1);
}

void ReplyParser::waitParamsMarker()
{
    int matched = 0;
    while (matched < 3 && takeByte() == 'A')
        ++matched;
    if (matched == 3) {
        replyState = DEVICE_PARAMS;
        return;
    }
    ++markerMisses;
    if (markerMisses > kMaxMarkerMisses) {
        replyState = CONTOUR_PACKET;
        progress = 0;
    }
}

void ReplyParser::readDeviceParams()
{
    qint32 params[kDeviceParamCount];
    for (qint32 &param : params)
        param = static_cast<qint32>(takeUInt(4, false));
    replyState = CONTOUR_PACKET;
    m_handler->deviceParams(params);
}

void ReplyParser::readContourPacket()
{
    if (takeByte() != 'B')
        return;
    probeHeight = static_cast<qint32>(takeUInt(4, false));
    consoleHeight = static_cast<qint32>(takeUInt(4, false));
    xPosition = static_cast<int>(takeUInt(3, false));
    const int status = takeByte();
    const int alarm = takeByte();
    m_handler->contourPacket(status, alarm);
}
