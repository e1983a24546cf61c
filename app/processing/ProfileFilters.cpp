#include "processing/ProfileFilters.h"

#include "processing/Cancellation.h"

#include <fftw3.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <memory>
#include <mutex>

namespace Algos {
namespace {

using TData = QVector<QVector<double>>;

bool isProfile(const TData &data)
{
    return data.size() == 2 && !data.at(0).isEmpty() && data.at(0).size() == data.at(1).size();
}

bool isPowerOfTwo(int n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

int nextPowerOfTwoAbove(int n)
{
    int m = 1;
    while (m <= n)
        m <<= 1;
    return m;
}

// Linear interpolation of the samples (xAt(i), yAt(i)), i < n, at the targets targetAt(j),
// j < m, visited in order with a cursor that only moves forward: the first index i ≥ cursor with
// X[i] ≥ target gives the segment (i − 1, i); a target beyond the last X takes the last Y.
template<class XAt, class YAt, class TargetAt, class Out>
void interpolateForward(int n, XAt xAt, YAt yAt, int m, TargetAt targetAt, Out out)
{
    int i = 1;
    for (int j = 0; j < m; ++j) {
        const double x = targetAt(j);
        while (i < n && xAt(i) < x)
            ++i;
        if (i >= n) {
            out(j, yAt(n - 1));
        } else {
            const double x0 = xAt(i - 1);
            const double y0 = yAt(i - 1);
            out(j, y0 + (x - x0) / (xAt(i) - x0) * (yAt(i) - y0));
        }
    }
}

// The FFTW planner is not reentrant; plans are made and destroyed under this lock, while
// executing a plan is safe from any thread.
std::mutex &plannerMutex()
{
    static std::mutex mutex;
    return mutex;
}

// The forward (real to half spectrum) and backward transforms of one length, in place on an
// FFTW-allocated buffer of 2·(N/2 + 1) doubles. Plans are executed on the caller's buffer.
class RealTransformPlans
{
public:
    explicit RealTransformPlans(int n)
        : size(n)
    {
        // Planning with FFTW_ESTIMATE does not touch the buffer; it only fixes its alignment
        // and in-place layout, which every buffer from fftw_alloc_real shares.
        double *scratch = fftw_alloc_real(2 * (static_cast<size_t>(n) / 2 + 1));
        {
            std::lock_guard<std::mutex> lock(plannerMutex());
            forward = fftw_plan_dft_r2c_1d(n, scratch, reinterpret_cast<fftw_complex *>(scratch),
                                           FFTW_ESTIMATE);
            backward = fftw_plan_dft_c2r_1d(n, reinterpret_cast<fftw_complex *>(scratch), scratch,
                                            FFTW_ESTIMATE);
        }
        fftw_free(scratch);
    }
    ~RealTransformPlans()
    {
        std::lock_guard<std::mutex> lock(plannerMutex());
        fftw_destroy_plan(forward);
        fftw_destroy_plan(backward);
    }
    RealTransformPlans(const RealTransformPlans &) = delete;
    RealTransformPlans &operator=(const RealTransformPlans &) = delete;

    const int size;
    fftw_plan forward;
    fftw_plan backward;
};

// Plans for a length. Re-processing and the parameter profiles filter traces of the same length
// again and again, and planning a long transform (its twiddle tables) costs as much as a fifth of
// the filter, so the plans of the last length are kept until another length is asked for. They
// hold about 12 bytes per bin, less than the trace they serve.
std::shared_ptr<const RealTransformPlans> realTransformPlans(int n)
{
    static std::mutex cacheMutex;
    static std::shared_ptr<const RealTransformPlans> cached;
    std::lock_guard<std::mutex> lock(cacheMutex);
    if (!cached || cached->size != n)
        cached = std::make_shared<const RealTransformPlans>(n);
    return cached;
}

// The transmission of the band at a spatial frequency (1/wavelength): the difference of the two
// Gaussian low-passes exp(−π·(0.4697·cut-off·frequency)²).
double bandTransmission(double frequency, double longCut, double shortCut)
{
    constexpr double kPi = 3.141592653589793;
    // exp(−x) is 0 in double precision for every x above this.
    constexpr double kExpUnderflow = 746.0;
    const auto lowPass = [frequency](double cutOff) {
        const double s = 0.4697 * cutOff * frequency;
        const double exponent = kPi * s * s;
        return exponent > kExpUnderflow ? 0.0 : std::exp(-exponent);
    };
    return std::fabs(lowPass(shortCut) - lowPass(longCut));
}

} // namespace

QVector<QVector<double>> resampleToPowerOfTwo(const QVector<QVector<double>> &profile)
{
    if (!isProfile(profile))
        return {};
    const int n = profile.at(0).size();
    if (isPowerOfTwo(n))
        return profile;
    const QVector<double> &x = profile.at(0);
    const QVector<double> &y = profile.at(1);
    const int m = nextPowerOfTwoAbove(n);
    const double x0 = x.first();
    const double step = (x.last() - x0) / (m - 1);
    QVector<double> gridX(m);
    QVector<double> gridY(m);
    for (int j = 0; j < m; ++j)
        gridX[j] = x0 + j * step;
    interpolateForward(
        n, [&x](int i) { return x.at(i); }, [&y](int i) { return y.at(i); }, m,
        [&gridX](int j) { return gridX.at(j); }, [&gridY](int j, double v) { gridY[j] = v; });
    return {gridX, gridY};
}

void fft(Spectrum &spectrum)
{
    const int n = spectrum.size();
    if (n < 2)
        return;
    fftw_complex *buffer = fftw_alloc_complex(static_cast<size_t>(n));
    fftw_plan plan;
    {
        std::lock_guard<std::mutex> lock(plannerMutex());
        plan = fftw_plan_dft_1d(n, buffer, buffer, FFTW_FORWARD, FFTW_ESTIMATE);
    }
    std::copy(spectrum.cbegin(), spectrum.cend(), reinterpret_cast<std::complex<double> *>(buffer));
    fftw_execute(plan);
    std::copy_n(reinterpret_cast<const std::complex<double> *>(buffer), n, spectrum.begin());
    {
        std::lock_guard<std::mutex> lock(plannerMutex());
        fftw_destroy_plan(plan);
    }
    fftw_free(buffer);
}

void inverseFft(Spectrum &spectrum)
{
    // The inverse transform is the forward one of the conjugate, conjugated and scaled.
    for (std::complex<double> &bin : spectrum)
        bin = std::conj(bin);
    fft(spectrum);
    const double n = spectrum.size();
    for (std::complex<double> &bin : spectrum)
        bin = std::conj(bin) / n;
}

double gaussianTransmission(double wavelength, double longCut, double shortCut)
{
    if (wavelength == 0.0 || wavelength > DBL_MAX)
        return 0.0;
    return bandTransmission(1.0 / wavelength, longCut, shortCut);
}

void applyGaussianTransmission(Spectrum &spectrum, const QVector<double> &wavelengths,
                               double longCut, double shortCut)
{
    const int n = std::min(spectrum.size(), wavelengths.size());
    for (int i = 0; i < n; ++i)
        spectrum[i] *= gaussianTransmission(wavelengths.at(i), longCut, shortCut);
}

QVector<QVector<double>> interpolateOnto(const QVector<QVector<double>> &profile,
                                         const QVector<double> &targetX)
{
    if (!isProfile(profile))
        return {};
    const QVector<double> &x = profile.at(0);
    const QVector<double> &y = profile.at(1);
    QVector<double> values(targetX.size());
    interpolateForward(
        x.size(), [&x](int i) { return x.at(i); }, [&y](int i) { return y.at(i); }, targetX.size(),
        [&targetX](int j) { return targetX.at(j); }, [&values](int j, double v) { values[j] = v; });
    return {targetX, values};
}

QVector<QVector<double>> trimRunInOut(QVector<QVector<double>> profile, double length)
{
    if (profile.isEmpty() || profile.at(0).isEmpty() || std::isnan(length))
        return profile;
    const QVector<double> &x = profile.at(0);
    const int n = x.size();
    for (const QVector<double> &channel : profile) {
        if (channel.size() != n)
            return profile;
    }
    const double span = x.last() - x.first();
    const double low = x.first() + length / 2;
    const double high = x.last() - length / 2;
    if (length > span || low >= high)
        return profile;
    QVector<int> kept;
    kept.reserve(n);
    for (int i = 0; i < n; ++i) {
        if (low <= x.at(i) && x.at(i) <= high)
            kept.append(i);
    }
    QVector<QVector<double>> result(profile.size());
    for (int c = 0; c < profile.size(); ++c) {
        const QVector<double> &channel = profile.at(c);
        QVector<double> &out = result[c];
        out.reserve(kept.size());
        for (int i : kept)
            out.append(channel.at(i));
    }
    return result;
}

QVector<QVector<double>> gaussianFilter(const QVector<QVector<double>> &profile, double longCut,
                                        double shortCut)
{
    if (!isProfile(profile) || std::isnan(longCut) || std::isnan(shortCut))
        return {};
    const QVector<double> &x = profile.at(0);
    const QVector<double> &y = profile.at(1);
    const int n = x.size();
    bool ascending = true;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(x.at(i)) || !std::isfinite(y.at(i)))
            return {};
        if (i > 0 && x.at(i) < x.at(i - 1))
            ascending = false;
    }

    // Re-sampling straight into the transform's buffer: the grid's X are never stored.
    const int bins = isPowerOfTwo(n) ? n : nextPowerOfTwoAbove(n);
    const double x0 = x.first();
    const double step = bins > 1 ? (x.last() - x0) / (bins - 1) : 0.0;
    const int half = bins / 2 + 1;
    double *signal = fftw_alloc_real(2 * static_cast<size_t>(half));
    auto *spectrum = reinterpret_cast<fftw_complex *>(signal);
    if (bins == n) {
        std::copy(y.cbegin(), y.cend(), signal);
    } else {
        interpolateForward(
            n, [&x](int i) { return x.at(i); }, [&y](int i) { return y.at(i); }, bins,
            [x0, step](int j) { return x0 + j * step; },
            [signal](int j, double v) { signal[j] = v; });
    }

    // A stopped read does not wait for the transforms: the stop is looked at between the steps
    // (each transform is one library call).
    if (cancellationRequested()) {
        fftw_free(signal);
        return {};
    }
    const std::shared_ptr<const RealTransformPlans> plans = realTransformPlans(bins);
    if (cancellationRequested()) {
        fftw_free(signal);
        return {};
    }
    fftw_execute_dft_r2c(plans->forward, signal, spectrum);
    // A real signal has a conjugate-symmetric spectrum, so bins i and N − i share one
    // wavelength, N·h/i, and one weight, and the half spectrum carries the whole transform.
    // Bin 0 stands for the frequency 1e−9; a single bin has no wavelength and passes nothing.
    const double scale = 1.0 / bins;
    const double binFrequency = 1.0 / (step * bins);
    for (int i = 0; i < half; ++i) {
        const double frequency = i == 0 ? 1e-9 : i * binFrequency;
        const double w = bins < 2 ? 0.0 : bandTransmission(frequency, longCut, shortCut) * scale;
        spectrum[i][0] *= w;
        spectrum[i][1] *= w;
    }
    if (cancellationRequested()) {
        fftw_free(signal);
        return {};
    }
    fftw_execute_dft_c2r(plans->backward, spectrum, signal);
    if (cancellationRequested()) {
        fftw_free(signal);
        return {};
    }

    // Back onto the profile's X. Along ascending X the trimmed samples form one stretch, so
    // only that stretch is interpolated; otherwise every sample is, and then trimmed.
    const double trim = longCut == DBL_MAX ? shortCut : longCut;
    int first = 0;
    int count = n;
    if (ascending) {
        const double low = x0 + trim / 2;
        const double high = x.last() - trim / 2;
        if (!(trim > x.last() - x0) && low < high) {
            first = int(std::lower_bound(x.cbegin(), x.cend(), low) - x.cbegin());
            count = int(std::upper_bound(x.cbegin(), x.cend(), high) - x.cbegin()) - first;
        }
    }
    QVector<QVector<double>> filtered(2);
    filtered[0] = count == n ? x : x.mid(first, count);
    QVector<double> &values = filtered[1];
    values.resize(count);
    interpolateForward(
        bins, [x0, step](int i) { return x0 + i * step; }, [signal](int i) { return signal[i]; },
        count, [&x, first](int j) { return x.at(first + j); },
        [&values](int j, double v) { values[j] = v; });
    fftw_free(signal);

    if (ascending)
        return filtered;
    return trimRunInOut(std::move(filtered), trim);
}

void medianFilter(int window, QVector<QVector<double>> &data)
{
    const int w = std::max(window, 1);
    if (data.size() < 2 || w == 1)
        return;
    const QVector<double> y = data.at(1);
    const int n = y.size();
    if (n < w)
        return;
    const int k = w / 2;
    // Position p of the sequence padded by the mirror images of the k samples after the first
    // one (front) and of the last k samples (back).
    const auto padded = [&y, n, k](int p) {
        const int i = p - k;
        if (i < 0)
            return y.at(-i);
        if (i >= n)
            return y.at(2 * n - 1 - i);
        return y.at(i);
    };
    // A strict weak order that puts values that are not numbers last, so that they neither break
    // the sorted window nor get lost in it.
    const auto less = [](double a, double b) {
        return a < b || (!std::isnan(a) && std::isnan(b));
    };

    // The window is kept sorted: each step removes the value that leaves and inserts the one that
    // enters, and the (w/2 + 1)-th smallest is read at index w/2.
    std::vector<double> sorted(static_cast<size_t>(w));
    for (int p = 0; p < w; ++p)
        sorted[p] = padded(p);
    std::sort(sorted.begin(), sorted.end(), less);
    QVector<double> &out = data[1];
    // Each step moves up to a window of values: the stop flag is polled by that work.
    const int pollEvery = std::max(1, kCancellationPollInterval / w);
    for (int i = 0;; ++i) {
        if (i % pollEvery == 0 && cancellationRequested()) {
            // A stopped read leaves Y as it was.
            data[1] = y;
            return;
        }
        out[i] = sorted[static_cast<size_t>(w / 2)];
        if (i + 1 >= n)
            break;
        const double leaving = padded(i);
        const double entering = padded(i + w);
        auto pos = std::lower_bound(sorted.begin(), sorted.end(), leaving, less);
        sorted.erase(pos);
        sorted.insert(std::upper_bound(sorted.begin(), sorted.end(), entering, less), entering);
    }
}

QVector<double> spreadEqualRuns(const QVector<double> &values)
{
    QVector<double> result = values;
    const int n = values.size();
    int start = 0;
    while (start < n) {
        int end = start + 1;
        while (end < n && values.at(end) == values.at(start))
            ++end;
        if (end >= n)
            break;
        const double a = values.at(start);
        const double c = values.at(end);
        const int k = end - start;
        for (int j = 1; j < k; ++j)
            result[start + j] = a + j * (c - a) / k;
        start = end;
    }
    return result;
}

void addConstant(QVector<double> &values, double c)
{
    for (double &v : values)
        v += c;
}

} // namespace Algos
