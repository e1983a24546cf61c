#include "traceprocessing/ProcessingChain.h"

#include "core/AbstractTrace.h"
#include "core/Settings.h"
#include "core/TraceReadChains.h"
#include "traceprocessing/CalibrationProcessors.h"

void buildProcessingChain(AbstractTrace &trace, const Settings &settings)
{
    trace.clearPostProcessors();
    if (settings.preferences.non_linearity && trace.type == CONTOUR)
        trace.addPostProcessor(new NonLinearityEliminationProcessor);
    appendTraceChain(trace, settings);
}
