#pragma once

class ProfileTrace;
class Settings;

// The processing chains that the trace-file readers give the traces they fill.

// The cut-off of the setting "device/spinbox_filter_length_index" in kFilterLengths; an index
// outside the table is held to its nearest end.
double filterLengthSetting(const Settings &settings);

// Appends to an additional trace read from a profile file its post-processors from the
// settings: the median filter and the thread-angle compensation when enabled, the roughness or
// waviness filter by the profile filter mode with the cut-off of the filter setting, and the
// Y zeroing last.
void addAdditionalTraceChain(ProfileTrace &trace, const Settings &settings);
