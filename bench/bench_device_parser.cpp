// The reply parser fed long streams of contour packets and of profilometer sample blocks, in
// reads of various sizes. The line delivers at most 46 KB/s; the parser must stay far ahead of it
// whatever the read size.

#include "device/Device.h"
#include "device/DevicePort.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace {

QByteArray i32le(qint32 signedValue)
{
    const auto value = static_cast<quint32>(signedValue);
    QByteArray bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(static_cast<char>(value >> shift));
    return bytes;
}

// About 1 MB of contour packets with rising X.
QByteArray contourStream()
{
    QByteArray stream;
    for (int i = 0; i < 75000; ++i) {
        stream += 'B';
        stream += i32le(1000 + (i % 977));
        stream += i32le(500 + (i % 13));
        const quint32 x = 1000 + static_cast<quint32>(i) * 10;
        stream += static_cast<char>(x);
        stream += static_cast<char>(x >> 8);
        stream += static_cast<char>(x >> 16);
        stream += '\x01';
        stream += '\x02';
    }
    return stream;
}

// Block headers and one sample block of 1 MB (524,288 samples).
QByteArray blockStream()
{
    const quint32 blockLength = 4198408; // (1 MB + 1026) / 2 * 8
    QByteArray stream;
    stream += static_cast<char>(blockLength >> 16);
    stream += static_cast<char>(blockLength >> 8);
    stream += static_cast<char>(blockLength);
    stream += QByteArray(3, '\0') + QByteArray("\xe8\x03\x00", 3);
    stream += QByteArray("\x00\x08\x00\x00", 4);
    stream += QByteArray(2, '\0');
    for (int i = 0; i < 524288; ++i) {
        stream += static_cast<char>((i * 7) >> 8);
        stream += static_cast<char>(i * 7);
    }
    return stream;
}

void feedInChunks(Device &device, const QByteArray &stream, int chunk)
{
    for (int i = 0; i < stream.size(); i += chunk)
        device.port->receive(
            QByteArray::fromRawData(stream.constData() + i, qMin(chunk, stream.size() - i)));
}

void BM_ParseContourPackets(benchmark::State &state)
{
    const int chunk = static_cast<int>(state.range(0));
    const QByteArray stream = contourStream();
    Device device;
    long long points = 0;
    QObject::connect(&device, &Device::dataRecieved, [&points] { ++points; });
    for (auto _ : state) {
        device.replyState = Device::CONTOUR_PACKET;
        device.lastAlarm = 2;
        device.lastStatus = 1;
        device.measuring = true;
        device.progress = 0;
        feedInChunks(device, stream, chunk);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * stream.size());
    state.counters["points"] = static_cast<double>(points) / state.iterations();
}

void BM_ParseSampleBlock(benchmark::State &state)
{
    const int chunk = static_cast<int>(state.range(0));
    const QByteArray stream = blockStream();
    Device device;
    long long points = 0;
    QObject::connect(&device, &Device::dataRecieved, [&points] { ++points; });
    for (auto _ : state) {
        device.replyState = Device::BLOCK_LENGTH;
        feedInChunks(device, stream, chunk);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * stream.size());
    state.counters["points"] = static_cast<double>(points) / state.iterations();
}

} // namespace

BENCHMARK(BM_ParseContourPackets)->Arg(7)->Arg(512)->Arg(65536)->Arg(1 << 20);
BENCHMARK(BM_ParseSampleBlock)->Arg(7)->Arg(512)->Arg(65536)->Arg(1 << 20);

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
