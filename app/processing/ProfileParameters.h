#pragma once

#include <QVector>

// Amplitude, spacing, slope, length and section parameters of a profile.
//
// A profile is two channels of equal length, channel 0 X and channel 1 Y, both in micrometres,
// X increasing. The cut-off c is both the cut-off the profile was filtered at and the length of
// one sampling length. Most parameters are computed on up to five sampling lengths spread over
// the profile, each with its own least-squares mean line; a profile shorter than one cut-off
// gives 0 for all of them. None of the functions throws, logs or reads the settings; degenerate
// input gives 0 where a guard is defined and a non-finite number elsewhere.
namespace Algos {

using Profile = QVector<QVector<double>>;

// Number of sampling lengths of a profile: min(5, whole cut-offs in the span); 0 when the span
// is shorter than c or the profile has no points.
int samplingLengthCount(const Profile &profile, double c);

// The points of each sampling length, in profile order. With k lengths the first starts at the
// first point, each is c long, and the gaps between them are equal, so with two or more the last
// ends at the last point. A point belongs to the first length that holds it (both ends
// included); points between the lengths are left out.
QVector<Profile> splitSamplingLengths(const Profile &profile, double c);

// Sum of the straight segments between consecutive points; 0 below three points.
double developedLength(const Profile &profile);

// Total X extent of the runs of the profile above the level (compared with Y directly).
double materialLengthAbove(const Profile &profile, double level);

double calcRa(const Profile &profile, double c);
// Raw peak-to-valley per sampling length (no mean line).
double calcRmax(const Profile &profile, double c);
double calcRz(const Profile &profile, double c);
// The same as calcRz.
double calcRm(const Profile &profile, double c);
double calcRc(const Profile &profile, double c);
double calcRq(const Profile &profile, double c);
double calcRsk(const Profile &profile, double c);
double calcRku(const Profile &profile, double c);
double calcRSm(const Profile &profile, double c);
// Root-mean-square slope of consecutive raw points, in degrees by the factor 180/π.
double calcDeltaQ(const Profile &profile, double c);
// Mean absolute slope of consecutive raw points, in degrees by the factor 180/π.
double calcDeltaA(const Profile &profile, double c);
double calcLambdaQ(const Profile &profile, double c);
double calcLambdaA(const Profile &profile, double c);
// Peaks per 10 000 µm.
double calcD(const Profile &profile, double c);
double calcL0(const Profile &profile, double c);
double calcRelativeLength(const Profile &profile, double c);
double calcRz10(const Profile &profile, double c);
double calcRp(const Profile &profile, double c);
double calcRv(const Profile &profile, double c);
double calcR3z(const Profile &profile, double c);

// Whole-profile parameters.
double calcRt(const Profile &profile);
double calcS(const Profile &profile);

// While an object of this class lives, the calculators on its thread split and fit each profile
// they meet (recognised by the address of its samples) once and reuse the sampling lengths and
// mean lines for every further parameter of that profile; the profiles are kept alive until the
// object is destroyed. Objects may nest: the outermost one ends the reuse. Without one, every
// call splits and fits anew.
class SamplingLengthReuse
{
public:
    SamplingLengthReuse();
    ~SamplingLengthReuse();
    SamplingLengthReuse(const SamplingLengthReuse &) = delete;
    SamplingLengthReuse &operator=(const SamplingLengthReuse &) = delete;
};

// Section parameters at a level compared with the profile's Y directly.
double calcEtaP(const Profile &profile, double c, double sectionLevel);
double calcTp(const Profile &profile, double c, double sectionLevel);

} // namespace Algos
