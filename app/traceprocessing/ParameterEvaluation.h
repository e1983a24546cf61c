#pragma once

#include "processing/ParameterCatalogue.h"

#include <QString>

#include <functional>

class ProfileTrace;

// The text shown instead of a value for a trace shorter than two cut-off lengths.
extern const QString kTooShortTraceText;

// Value text of one parameter of a trace: the value with three decimals, or, for a trace with
// additional traces, mean "±" population deviation "(" percent "%)" over the trace and all its
// additional traces. Fills args from the trace first. Gives the empty text for a null trace, an
// empty or unknown name, and kTooShortTraceText when twice the cut-off exceeds the trace's
// length. A computed text is stored in the trace's parameterResults. Without the memory for the
// trace's profiles the text is empty and nothing is stored (logged at ERROR).
QString evaluateParameter(ExtraArgs &args, ProfileTrace *trace, const QString &name);

// The same evaluation as a number: the value, for a trace with additional traces the mean over
// the family, with the three decimals the text shows. *text gets the text evaluateParameter
// gives (stored as it stores it). False, and *value untouched, when the text stands for no
// finite value (too short, unknown name, out of memory, not a number).
bool evaluateParameterValue(ExtraArgs &args, ProfileTrace *trace, const QString &name,
                            double *value, QString *text = nullptr);

// Rebuilds the trace's parameterResults from the displayed parameters of the settings, the
// material-ratio curve computed once for all of them. Safe on any thread: the settings are read
// through a snapshot. When stop returns true between two parameters, or the memory for a profile
// runs out (logged at ERROR), the evaluation ends there, with the parameters evaluated so far.
// A displayed parameter for which later returns true gets an empty entry, to be renewed later
// (reevaluateHistogramParameters for those that read the histogram in view).
void evaluateEnabledParameters(ExtraArgs &args, ProfileTrace *trace,
                               const std::function<bool()> &stop = {},
                               const std::function<bool(const QString &)> &later = {});

// True for a parameter read off the amplitude density of the trace in view (Dp): its value
// follows the drawing, the others need only the trace.
bool readsViewHistogram(const QString &name);

// The unit shown beside a value text: the catalogue's unit of the parameter, none beside the
// message that stands in for a value (kTooShortTraceText).
QString parameterUnitText(const QString &name, const QString &valueText);

// Renews the "Dp" entry of the trace's results when it has one; nothing else changes.
void reevaluateDp(ExtraArgs &args, ProfileTrace *trace);

// Renews every entry of the trace's results that reads the histogram in view
// (readsViewHistogram); the other entries keep their texts.
void reevaluateHistogramParameters(ExtraArgs &args, ProfileTrace *trace);

// Renews every entry of the trace's results whose catalogue row uses the section level (Dp, ηp,
// tp); the other entries keep their texts.
void reevaluateSectionParameters(ExtraArgs &args, ProfileTrace *trace);

// args.materialRatioCurve = the material-ratio curve of the trace's roughness profile at
// args.filterLength.
void fillMaterialRatioCurve(ExtraArgs &args, ProfileTrace *trace);

namespace Algos {
// The cut-off in micrometres that the standard chosen in the settings
// (preferenses/standartisation_value) prescribes for a roughness Ra in micrometres; the tables
// are those of standardCutOff(ra, standard).
int standardCutOff(double ra);
} // namespace Algos
