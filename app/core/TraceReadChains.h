#pragma once

class AbstractTrace;
class ProfileTrace;
class Settings;

// The processing chains of traces. Every trace of the program gets the same chain whether it is
// created, read from a file or reprocessed after a change of the fast settings, so a trace never
// changes shape because of the road it took.

// The cut-off of the setting "device/spinbox_filter_length_index" in kFilterLengths; an index
// outside the table is held to its nearest end.
double filterLengthSetting(const Settings &settings);

// The cut-off a profile trace is filtered with: its own when it has one, else the setting's.
double chainCutOff(const AbstractTrace &trace, const Settings &settings);

// Appends to the trace, by its kind (AbstractTrace::type), the steps that follow the probe's
// calibration: the median filter when enabled; the thread-angle compensation when enabled, for
// the contour kinds only (profile traces are never scaled in X); for the profile kinds the
// roughness or waviness filter by the profile filter mode, with the trace's own cut-off, then
// the Y zeroing.
void appendTraceChain(AbstractTrace &trace, const Settings &settings);

// The chain of an additional trace read from a profile file (appendTraceChain).
void addAdditionalTraceChain(ProfileTrace &trace, const Settings &settings);
