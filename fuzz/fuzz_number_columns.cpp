// libFuzzer target: the headerless number-column reader, with the finishing that follows a read.
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
    readNumberColumns(in, trace, Settings::snapshot(), {});
    trace.applyPostProcessors();
    trace.finalizeAfterRead();

    in.seek(0);
    ProfileTrace profile;
    readNumberColumns(in, profile, Settings::snapshot(), {});
    return 0;
}
