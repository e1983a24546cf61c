#pragma once

// The cut-off rules of the profile filters, in micrometres: the short cut-off λs that goes with
// a cut-off lc, the Gaussian bands of the roughness and waviness filters that a trace's chain
// applies and of the profiles that the parameters are computed on, and the cut-off that a
// standard prescribes for a measured Ra or Rz.

// The cut-off tables of the standards (the setting preferenses/standartisation_value).
enum E_STANDARTISATION { GOST_2789_73 = 0, ISO_4288 = 1 };

namespace Algos {

// A Gaussian band: the long and the short cut-off given to gaussianFilter.
struct CutOffBand
{
    double longCut;
    double shortCut;
};

// λs(lc), compared with exact equality: 2.6666666666666665 for 80 (not 80/300), 2.5 for 250,
// lc/300 otherwise.
double shortCutOff(double cutOff);

// The band of a chain's roughness filter, (lc, λs(lc)), and of its waviness filter,
// (lc, 2·lc − λs(lc)).
CutOffBand roughnessFilterBand(double cutOff);
CutOffBand wavinessFilterBand(double cutOff);

// The band of the roughness profile and of the waviness profile that a parameter is computed on:
// the long edge is the trace's own filter length; the short edge comes from the cut-off
// argument, λs(lc) for roughness and 2·lc for waviness (written (lc + lc − λs) + λs, which is
// exactly 2·lc for every standard cut-off).
CutOffBand roughnessParameterBand(double filterLength, double cutOff);
CutOffBand wavinessParameterBand(double filterLength, double cutOff);

// The cut-off that a standard (an E_STANDARTISATION value) prescribes for a roughness Ra:
// GOST 2789-73: Ra < 0.025 → 80, < 0.4 → 250, < 3.2 → 800, < 12.5 → 2500, else 8000;
// ISO 4288: Ra < 0.02 → 80, < 0.1 → 250, < 2 → 800, < 10 → 2500, else 8000.
// 0 for another standard and for an Ra that is not a number.
int standardCutOff(double ra, int standard);

// The cut-off that a standard prescribes for a roughness Rz, by the same boundary rule:
// GOST 2789-73: Rz < 0.1 → 80, < 1.6 → 250, < 12.5 → 800, < 50 → 2500, else 8000;
// ISO 4288: Rz < 0.1 → 80, < 0.5 → 250, < 10 → 800, < 50 → 2500, else 8000.
// 0 for another standard and for an Rz that is not a number.
int standardCutOffForRz(double rz, int standard);

} // namespace Algos
