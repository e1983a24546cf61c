#pragma once

#include <QVector>

#include <complex>

// The profile filters. A profile is a data set of exactly two channels of equal, non-zero
// length: channel 0 X (strictly increasing), channel 1 Y. Lengths and cut-offs are in the unit of
// X (micrometres for profiles). The only state is the transform that the Gaussian filters keep
// for the next filter (releaseFilterWorkspace). A filter that cannot get its memory throws
// std::bad_alloc, also where the transform library itself would end the program.
namespace Algos {

// One complex bin per sample.
using Spectrum = QVector<std::complex<double>>;

// The Gaussian profile filter in the frequency domain: the band between the short cut-off and
// the long cut-off, or a Gaussian low-pass with the short cut-off when the long cut-off is
// DBL_MAX. The result holds the filtered Y at the X of the profile, trimmed by half the long
// cut-off at each end (half the short cut-off for a low-pass). A data set that is not a profile,
// or that holds a value that is not finite, gives an empty data set.
QVector<QVector<double>> gaussianFilter(const QVector<QVector<double>> &profile, double longCut,
                                        double shortCut);

// What gaussianFilterInPlace did with the data set.
enum class FilterInPlace {
    Filtered,
    // Channels 0 and 1 are no profile (or a channel is of another length), a value or a cut-off
    // is not a number, or, when only finite results are taken, a filtered value is not finite.
    Refused,
    // The cancellation scope was stopped.
    Stopped
};
// gaussianFilter on channels 0 (X) and 1 (Y) of a data set of any number of channels, in place:
// channel 1 becomes the filtered Y and every channel keeps exactly the samples that
// gaussianFilter keeps. Beyond the data set it needs only gaussianFilterWorkBytes. Refused and
// Stopped leave the data set as it was.
FilterInPlace gaussianFilterInPlace(QVector<QVector<double>> &data, double longCut, double shortCut,
                                    bool finiteOnly = false);

// The memory a Gaussian filter of a profile of `samples` samples takes beyond the profile and
// its result: the transform (its work buffer and plans).
qint64 gaussianFilterWorkBytes(qint64 samples);

// The filters keep the transform of the last length (work buffer and plans) for the next filter
// of that length: a trace is filtered again and again (re-processing, parameter profiles,
// evaluations), and a new transform costs its planning and the page faults of a fresh buffer.
// Giving it back frees that memory; the next filter makes a new one.
void releaseFilterWorkspace();

// Gives the room of a filtered profile that is no longer needed to the next filter: the profiles
// a trace keeps are dropped when it changes and made again at about the same length, and the
// filter then writes into memory that is already faulted in instead of fresh memory. Only room
// that nothing else holds, and not less than 2^16 values, is kept (a few vectors at most); the
// room kept is given back with releaseFilterWorkspace.
void recycleFilterRoom(QVector<double> &&vector);
// An empty vector with room for `count` values: room given back with recycleFilterRoom, or
// fresh room offered large pages before it is first written. Appending fills it in one pass.
QVector<double> filterRoom(int count);

// Replaces channel 1 of the data set by its moving median over `window` points (the upper of the
// two middle values for an even window; the ends are padded by mirroring). A window below 1 acts
// as 1; a data set shorter than the window, or without a channel 1, is left unchanged, and so is
// one whose filtering is stopped through its cancellation scope.
void medianFilter(int window, QVector<QVector<double>> &data);

// Each run of k equal consecutive values a followed by a different value c becomes
// a, a + (c−a)/k, ..., a + (k−1)(c−a)/k; the last run is kept as it is.
QVector<double> spreadEqualRuns(const QVector<double> &values);
// The same on the values themselves (no copy is made when they are not shared).
void spreadEqualRunsInPlace(QVector<double> &values);

// Adds c to every element.
void addConstant(QVector<double> &values, double c);

// The steps of gaussianFilter.

// The profile on a uniform grid with the same first and last X whose length is the next power
// of two above the profile's length (a profile whose length is a power of two is copied as it
// is). Not a profile: an empty data set.
QVector<QVector<double>> resampleToPowerOfTwo(const QVector<QVector<double>> &profile);
// Discrete Fourier transform in place (exponent −2πik/N); the length must be a power of two.
void fft(Spectrum &spectrum);
// Inverse transform in place, divided by the length.
void inverseFft(Spectrum &spectrum);
// The transmission of the band (long cut-off a, short cut-off b) at wavelength W:
// |exp(−π(0.4697·b/W)²) − exp(−π(0.4697·a/W)²)|; 0 for W = 0 and for an infinite W.
double gaussianTransmission(double wavelength, double longCut, double shortCut);
// Weights every bin by the transmission at its wavelength.
void applyGaussianTransmission(Spectrum &spectrum, const QVector<double> &wavelengths,
                               double longCut, double shortCut);
// The profile's Y linearly interpolated at the target X values (extrapolated along the first
// segment before the first X, the last Y beyond the last X). Not a profile: an empty data set.
QVector<QVector<double>> interpolateOnto(const QVector<QVector<double>> &profile,
                                         const QVector<double> &targetX);
// The samples with X[0] + L/2 ≤ X ≤ X[last] − L/2; the data set unchanged when it is not longer
// than L. Every channel is trimmed at the same samples.
QVector<QVector<double>> trimRunInOut(QVector<QVector<double>> profile, double length);

} // namespace Algos
