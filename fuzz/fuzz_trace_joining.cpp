// libFuzzer target: the joining of two traces, which must end on any points and any overlap.
//
// Input: byte 0 holds the number of left points (low 7 bits) and, in its high bit, the coding of
// the values: clear, little-endian 16-bit integers in quarters of a micrometre; set,
// little-endian doubles. Byte 1 is the overlap in hundredths of a millimetre, less one. The rest
// are the values x0, y0, x1, y1, ...: the left points first, the right points after them.
#include "core/ContourTrace.h"
#include "traceprocessing/TraceJoining.h"

#include <QtEndian>

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int leftCount = data[0] & 0x7f;
    const bool doubles = (data[0] & 0x80) != 0;
    const double overlap = (data[1] + 1) / 100.0;
    QVector<double> values;
    const size_t width = doubles ? 8 : 2;
    for (size_t at = 2; at + width <= size; at += width) {
        if (doubles) {
            double value = 0.0;
            std::memcpy(&value, data + at, sizeof value);
            values.append(qFromLittleEndian(value));
        } else {
            values.append(qFromLittleEndian<qint16>(data + at) * 0.25);
        }
    }
    ContourTrace left;
    ContourTrace right;
    for (int i = 0; i + 1 < values.size(); i += 2) {
        ContourTrace &trace = i / 2 < leftCount ? left : right;
        (*trace.processedData)[0].append(values[i]);
        (*trace.processedData)[1].append(values[i + 1]);
    }
    UniteRefusal refusal = UniteRefusal::None;
    const TData joined = uniteTraces(left, right, overlap, &refusal);
    // A join gives points, a refusal its reason: never both, never neither.
    if (joined.isEmpty() == (refusal == UniteRefusal::None))
        __builtin_trap();
    return 0;
}
