// libFuzzer target: the reply parser of the instrument's controller. Input: the first byte picks
// the reply state to start in, the second the size of the reads (0: one read), the rest is what
// the line delivers. The stream is parsed once in one read and once in reads of the given size;
// apart from the calibration text, which is read whole with whatever arrived with it, the replies
// must come out the same however the line cuts the stream.
#include "device/ReplyParser.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// Keeps a digest of every reply and answers the identification as the device does.
class DigestHandler : public ReplyParser::Handler
{
public:
    ReplyParser *parser = nullptr;
    std::vector<double> digest;

    void identification(const QByteArray &text) override
    {
        digest.push_back(1);
        digest.push_back(qHash(text));
        if (text.contains("OK")) {
            parser->replyState = ReplyParser::POSITION;
        } else if (text.contains("Vexa_526_R1")) {
            parser->replyState = ReplyParser::PARAMS_MARKER;
            parser->markerMisses = 0;
        }
    }
    void position(int value) override { add(2, value); }
    void previewSample(int value, double xpos) override { add(3, value, xpos); }
    void previewEnded() override { add(4); }
    void blockSample(double probe, double xpos) override { add(5, probe, xpos); }
    void blockEnded() override { add(6); }
    void calibrationText(const QByteArray &) override { }
    void calibrationFinished() override { add(7); }
    void deviceParams(const qint32 (&params)[ReplyParser::kDeviceParamCount]) override
    {
        add(8);
        for (const qint32 param : params)
            digest.push_back(param);
    }
    void contourPacket(int status, int alarm) override
    {
        add(9, status, alarm);
        add(parser->probeHeight, parser->consoleHeight, parser->xPosition);
    }

private:
    void add(double a, double b = 0, double c = 0)
    {
        digest.push_back(a);
        digest.push_back(b);
        digest.push_back(c);
    }
};

struct Run
{
    std::vector<double> digest;
    int state;
    int available;
};

Run parse(int state, const uint8_t *data, int size, int chunk)
{
    DigestHandler handler;
    ReplyParser parser(&handler);
    handler.parser = &parser;
    parser.replyState = state;
    const int step = chunk > 0 ? chunk : (size > 0 ? size : 1);
    for (int i = 0; i < size; i += step)
        parser.feed(reinterpret_cast<const char *>(data) + i, std::min(step, size - i));
    return {handler.digest, parser.replyState, parser.available()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2 || size > 1 << 20)
        return 0;
    const int state = data[0] % 13; // 12: a state without a reader
    const int chunk = data[1] % 64;
    const int length = static_cast<int>(size) - 2;
    const Run whole = parse(state, data + 2, length, 0);
    const Run cut = parse(state, data + 2, length, chunk);
    if (state != ReplyParser::CALIBRATION_REPLY
        && (whole.digest != cut.digest || whole.state != cut.state
            || whole.available != cut.available))
        std::abort();
    return 0;
}
