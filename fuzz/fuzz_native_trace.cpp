// libFuzzer target: the native trace-file reader, with the processing that follows a read.
#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "core/TraceFileReader.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QBuffer first(&bytes);
    first.open(QIODevice::ReadOnly);
    const int type = traceTypeOfFirstLine(first);

    // The trace class the window would create for the first line, and, for a file that names
    // none, each class in turn.
    const bool profileKind = type == PROFILE || type == ADDITIONAL_TRACE;
    std::unique_ptr<AbstractTrace> trace;
    if (profileKind || (type < 0 && size % 2 == 0))
        trace = std::make_unique<ProfileTrace>();
    else
        trace = std::make_unique<ContourTrace>();

    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    int batches = 0;
    TraceReadProgress progress;
    progress.batchReady = [&batches](int, int) {
        ++batches;
    };
    readNativeTrace(in, QStringLiteral("fuzz.txt"), *trace, Settings::snapshot(), progress);
    trace->applyPostProcessors();
    trace->finalizeAfterRead();
    if (auto *profile = dynamic_cast<ProfileTrace *>(trace.get())) {
        for (ProfileTrace *child : qAsConst(profile->additionalTraces)) {
            child->applyPostProcessors();
            delete child;
        }
    }
    return 0;
}
