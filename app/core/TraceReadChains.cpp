#include "core/TraceReadChains.h"

#include "core/Constants.h"
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "processing/PostProcessors.h"

double filterLengthSetting(const Settings &settings)
{
    const int index = settings.device.spinbox_filter_length_index;
    return kFilterLengths.at(qBound(0, index, kFilterLengths.size() - 1));
}

double chainCutOff(const AbstractTrace &trace, const Settings &settings)
{
    const auto *profile = dynamic_cast<const ProfileTrace *>(&trace);
    if (profile && profile->filterLength > 0.0)
        return profile->filterLength;
    return filterLengthSetting(settings);
}

void appendTraceChain(AbstractTrace &trace, const Settings &settings)
{
    const PreferencesSettings &preferences = settings.preferences;
    const bool contour = trace.type == CONTOUR || trace.type == CONTOURPROF;
    if (preferences.meadian_filter)
        trace.addPostProcessor(new DataMedianFilterProcessor(preferences.meadian_filter_value));
    if (contour && preferences.thread_angle_compensation) {
        trace.addPostProcessor(
            new ThreadAngleCompensationProcessor(preferences.thread_angle_compensation_value));
    }
    if (contour)
        return;
    const double cutOff = chainCutOff(trace, settings);
    if (preferences.profile_filter_mode == ROUGHNESS_PROFILE_MODE)
        trace.addPostProcessor(new FilterRoughnessProfileProcessor(cutOff));
    else if (preferences.profile_filter_mode == WAVINESS_PROFILE_MODE)
        trace.addPostProcessor(new FilterWaveProfileProcessor(cutOff));
    trace.addPostProcessor(new YZeronator);
}

void addAdditionalTraceChain(ProfileTrace &trace, const Settings &settings)
{
    appendTraceChain(trace, settings);
}
