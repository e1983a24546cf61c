#pragma once

class AbstractTrace;
class Settings;

// The one builder of a trace's post-processing chain, used when the profile window creates a
// trace, when it reprocesses its traces after a change of the fast settings, for the additional
// traces of a file, and at the end of a file's read when the file gave the trace another
// cut-off than the one its chain was made with. It replaces the trace's chain with, in this
// order:
//  - the probe non-linearity correction, when the setting is on, for CONTOUR traces only;
//  - the median filter, when enabled;
//  - the thread-angle compensation, when enabled, for the contour kinds only;
//  - for the profile kinds, the roughness or waviness filter by the profile filter mode with the
//    trace's own cut-off, then the Y zeroing.
void buildProcessingChain(AbstractTrace &trace, const Settings &settings);

// The cut-off of the roughness or waviness filter that buildProcessingChain gives the trace
// under the settings (the trace's own cut-off, else the setting's); 0 when it gives no filter
// (a contour kind, or the primary profile mode).
double chainFilterCutOff(const AbstractTrace &trace, const Settings &settings);
