// libFuzzer target: the binary ".T46" contour reader, with the finishing that follows a read.
#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "core/TraceFileReader.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    ContourTrace trace;
    readBinaryContour(in, trace, Settings::snapshot(), {});
    trace.applyPostProcessors();
    trace.finalizeAfterRead();

    // The same bytes into a profile trace (a misnamed additional-trace file).
    in.seek(0);
    ProfileTrace profile;
    readBinaryContour(in, profile, Settings::snapshot(), {});
    return 0;
}
