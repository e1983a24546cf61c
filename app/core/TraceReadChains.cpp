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

void addAdditionalTraceChain(ProfileTrace &trace, const Settings &settings)
{
    const PreferencesSettings &preferences = settings.preferences;
    if (preferences.meadian_filter)
        trace.addPostProcessor(new DataMedianFilterProcessor(preferences.meadian_filter_value));
    if (preferences.thread_angle_compensation) {
        trace.addPostProcessor(
            new ThreadAngleCompensationProcessor(preferences.thread_angle_compensation_value));
    }
    const double cutOff = filterLengthSetting(settings);
    if (preferences.profile_filter_mode == ROUGHNESS_PROFILE_MODE)
        trace.addPostProcessor(new FilterRoughnessProfileProcessor(cutOff));
    else if (preferences.profile_filter_mode == WAVINESS_PROFILE_MODE)
        trace.addPostProcessor(new FilterWaveProfileProcessor(cutOff));
    trace.addPostProcessor(new YZeronator);
}
