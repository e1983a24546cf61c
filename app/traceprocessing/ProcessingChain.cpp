#include "traceprocessing/ProcessingChain.h"

#include "core/AbstractTrace.h"
#include "core/CalibrationProcessors.h"
#include "core/Settings.h"
#include "core/TraceReadChains.h"

void buildProcessingChain(AbstractTrace &trace, const Settings &settings)
{
    trace.clearPostProcessors();
    if (settings.preferences.non_linearity && trace.type == CONTOUR)
        trace.addPostProcessor(new NonLinearityEliminationProcessor);
    appendTraceChain(trace, settings);
}

double chainFilterCutOff(const AbstractTrace &trace, const Settings &settings)
{
    if (trace.type == CONTOUR || trace.type == CONTOURPROF)
        return 0.0;
    const int mode = settings.preferences.profile_filter_mode;
    if (mode != ROUGHNESS_PROFILE_MODE && mode != WAVINESS_PROFILE_MODE)
        return 0.0;
    return chainCutOff(trace, settings);
}
