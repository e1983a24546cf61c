#pragma once

class AbstractTrace;
class Settings;

// The one builder of a trace's post-processing chain, used when the profile window creates a
// trace, when it reprocesses its traces after a change of the fast settings, and for the
// additional traces of a file. It replaces the trace's chain with, in this order:
//  - the probe non-linearity correction, when the setting is on, for CONTOUR traces only;
//  - the median filter, when enabled;
//  - the thread-angle compensation, when enabled, for the contour kinds only;
//  - for the profile kinds, the roughness or waviness filter by the profile filter mode with the
//    trace's own cut-off, then the Y zeroing.
void buildProcessingChain(AbstractTrace &trace, const Settings &settings);
