#include "core/TraceReadChains.h"

#include "core/ProfileTrace.h"
#include "core/Settings.h"

IDataSinglePointProcessor *newContourPointConversion()
{
    return nullptr;
}

void addAdditionalTraceChain(ProfileTrace &trace, const Settings &settings)
{
    Q_UNUSED(trace)
    Q_UNUSED(settings)
}
