#include "processing/ProfileFilters.h"

#include "processing/Cancellation.h"
#include "processing/LargePages.h"

#include <fftw3.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

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

// FFTW ends the program when one of its own allocations fails, so memory is looked for before
// FFTW is asked to plan or to run: a block of the size it will take is allocated and given back
// at once, untouched. Where memory is short, a transform that could not be made or run is a
// std::bad_alloc instead.
void requireMemory(size_t bytes)
{
    void *probe = std::malloc(bytes);
    if (!probe)
        throw std::bad_alloc();
    std::free(probe);
}

// The planner's peak for the forward and backward complex transforms of n points, with a margin:
// up to 10 bytes a point between 2^16 and 2^18 points, less than a megabyte below, and from 2^19
// points on about a seventh of a byte a point (9 MB for 2^26).
size_t planBytes(int n)
{
    const size_t points = static_cast<size_t>(n);
    return (points <= (1 << 18) ? 12 * points : points / 4) + (2 << 20);
}

// What a transform of n points allocates for itself as it runs, with a margin: about half a
// megabyte between 2^12 and 2^15 points, a sixty-fourth of a byte a point above (a megabyte for
// 2^26).
size_t executionBytes(int n)
{
    return static_cast<size_t>(n) / 16 + (1 << 20);
}

// The doubles of the in-place buffer of a real transform of n points: n real values in, n/2 + 1
// complex bins out.
size_t bufferDoubles(int n)
{
    return 2 * (static_cast<size_t>(n) / 2 + 1);
}

// A buffer of FFTW's alignment, offered large pages; std::bad_alloc when it cannot be had.
double *allocateBuffer(size_t doubles)
{
    double *buffer = fftw_alloc_real(doubles);
    if (!buffer)
        throw std::bad_alloc();
    adviseLargePages(buffer, qint64(doubles * sizeof(double)));
    return buffer;
}

// An empty vector with room for `count` values, the room offered large pages before it is
// first touched. Appending fills it in one pass (resizing would write zeros first).
// Room of filtered profiles that were dropped, for the next filtered profiles (see
// recycleFilterRoom).
struct RecycledRoom
{
    static RecycledRoom &instance()
    {
        static RecycledRoom room;
        return room;
    }
    // A vector of room for at least `count` values and not much more; empty when none is kept.
    QVector<double> take(int count)
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (int i = 0; i < vectors.size(); ++i) {
            const qint64 capacity = vectors.at(i).capacity();
            if (capacity >= count && capacity <= 2 * qint64(count) + kLeast) {
                QVector<double> vector = std::move(vectors[i]);
                vectors.removeAt(i);
                vector.resize(0);
                return vector;
            }
        }
        return {};
    }
    void keep(QVector<double> &&vector)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (vectors.size() == kMostKept)
            vectors.removeFirst();
        vectors.append(std::move(vector));
    }
    void release()
    {
        QVector<QVector<double>> dropped;
        std::lock_guard<std::mutex> lock(mutex);
        dropped.swap(vectors);
    }

    // Smaller room is not worth keeping: it is quickly had anew.
    static constexpr int kLeast = 1 << 16;
    // Two profiles (X, Y) of each of the two kinds of three traces and more.
    static constexpr int kMostKept = 16;
    std::mutex mutex;
    QVector<QVector<double>> vectors;
};

QVector<double> freshVector(int count)
{
    QVector<double> kept = RecycledRoom::instance().take(count);
    if (kept.capacity() >= count)
        return kept;
    QVector<double> values;
    values.reserve(count);
    adviseLargePages(values.data(), qint64(count) * qint64(sizeof(double)));
    return values;
}

using Complex = std::complex<double>;

// The real transform of n points (a power of two), in place on a buffer of 2·(n/2 + 1) doubles:
// forward, n real values to the n/2 + 1 bins of the half spectrum; backward, the half spectrum
// to n times the real values (unnormalised, as a complex transform is).
//
// Both run a complex transform of h = n/2 points over the buffer read as complex values (the
// even samples as real parts, the odd ones as imaginary parts) and one pass that splits its
// result into the spectrum or merges the spectrum into its input, with the factors
// W^k = exp(−2πik/n). The complex transforms keep almost no tables (FFTW's real transforms of
// 2^24 points keep 12 bytes per point), and from 2^22 points on they are faster. W^k is the
// product of two entries of tables of about √(n/4) entries each, exact to a few units in the
// last place.
class RealTransform
{
public:
    explicit RealTransform(int n)
        : size(n)
        , m_half(n / 2)
    {
        buffer = allocateBuffer(bufferDoubles(n));
        if (m_half < 1)
            return;
        try {
            int bits = 0;
            while ((qint64(1) << bits) <= m_half / 2)
                ++bits;
            m_fineBits = (bits + 1) / 2;
            m_fine.resize(size_t(1) << m_fineBits);
            m_coarse.resize(size_t(m_half / 2 >> m_fineBits) + 1);
            for (size_t j = 0; j < m_fine.size(); ++j)
                m_fine[j] = factor(double(j));
            for (size_t j = 0; j < m_coarse.size(); ++j)
                m_coarse[j] = factor(double(j << m_fineBits));

            auto *complex = reinterpret_cast<fftw_complex *>(buffer);
            std::lock_guard<std::mutex> lock(plannerMutex());
            requireMemory(planBytes(m_half));
            // Planning with FFTW_ESTIMATE does not touch the buffer.
            m_forward = fftw_plan_dft_1d(m_half, complex, complex, FFTW_FORWARD, FFTW_ESTIMATE);
            m_backward = fftw_plan_dft_1d(m_half, complex, complex, FFTW_BACKWARD, FFTW_ESTIMATE);
        } catch (...) {
            fftw_free(buffer);
            throw;
        }
    }
    ~RealTransform()
    {
        if (m_forward || m_backward) {
            std::lock_guard<std::mutex> lock(plannerMutex());
            fftw_destroy_plan(m_forward);
            fftw_destroy_plan(m_backward);
        }
        fftw_free(buffer);
    }
    RealTransform(const RealTransform &) = delete;
    RealTransform &operator=(const RealTransform &) = delete;

    void forward()
    {
        if (m_half < 1) {
            // One point: the spectrum is the point.
            buffer[1] = 0.0;
            return;
        }
        requireMemory(executionBytes(m_half));
        fftw_execute(m_forward);
        Complex *z = reinterpret_cast<Complex *>(buffer);
        const int h = m_half;
        const Complex z0 = z[0];
        z[0] = Complex(z0.real() + z0.imag(), 0.0);
        z[h] = Complex(z0.real() - z0.imag(), 0.0);
        // Bins k and h − k come from the same two values of the complex transform.
        for (int k = 1; 2 * k <= h; ++k) {
            const Complex a = z[k];
            const Complex b = z[h - k];
            const Complex w = twiddle(k);
            z[k] = split(a, b, w);
            if (h - k != k)
                z[h - k] = split(b, a, -std::conj(w));
        }
    }

    void backward()
    {
        if (m_half < 1)
            return;
        Complex *z = reinterpret_cast<Complex *>(buffer);
        const int h = m_half;
        // Bin 0 pairs with bin h; the input of the complex transform is twice its true value, so
        // that the result is n (not h) times the samples.
        z[0] = merge(z[0], z[h], Complex(1.0, 0.0));
        for (int k = 1; 2 * k <= h; ++k) {
            const Complex a = z[k];
            const Complex b = z[h - k];
            const Complex w = twiddle(k);
            z[k] = merge(a, b, w);
            if (h - k != k)
                z[h - k] = merge(b, a, -std::conj(w));
        }
        requireMemory(executionBytes(m_half));
        fftw_execute(m_backward);
    }

    const int size;
    double *buffer = nullptr;

private:
    Complex factor(double k) const
    {
        const double angle = -6.283185307179586 * k / size;
        return Complex(std::cos(angle), std::sin(angle));
    }
    Complex twiddle(int k) const
    {
        return m_coarse[size_t(k) >> m_fineBits] * m_fine[size_t(k) & (m_fine.size() - 1)];
    }
    // Bin k of the spectrum from values a = Z[k] and b = Z[h − k] of the complex transform of the
    // even (real parts) and odd (imaginary parts) samples, with w = W^k: the even samples' bin
    // (a + b̄)/2 plus w times the odd samples' bin (a − b̄)/2i.
    static Complex split(Complex a, Complex b, Complex w)
    {
        const Complex even = a + std::conj(b);
        const Complex odd = a - std::conj(b);
        return 0.5 * (even + w * Complex(odd.imag(), -odd.real()));
    }
    // Twice value k of the complex transform's input from bins a = X[k] and b = X[h − k]: twice
    // the even samples' bin (a + b̄) plus i times twice the odd samples' bin, (a − b̄) w̄.
    static Complex merge(Complex a, Complex b, Complex w)
    {
        const Complex even = a + std::conj(b);
        const Complex odd = (a - std::conj(b)) * std::conj(w);
        return even + Complex(-odd.imag(), odd.real());
    }

    const int m_half;
    int m_fineBits = 0;
    std::vector<Complex> m_fine;
    std::vector<Complex> m_coarse;
    fftw_plan m_forward = nullptr;
    fftw_plan m_backward = nullptr;
};

// The transform of the last length, kept between filters. Re-processing, the parameter profiles
// and the evaluations filter traces of the same length again and again: planning a long
// transform (its twiddle tables) costs as much as a fifth of the filter, and a fresh buffer is
// faulted in page by page, which costs a quarter of it. A filter takes the kept transform for
// its own while it runs (another one running at the same time makes its own) and gives it back.
class TransformCache
{
public:
    static TransformCache &instance()
    {
        static TransformCache cache;
        return cache;
    }

    std::unique_ptr<RealTransform> take(int n)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_kept && m_kept->size == n)
                return std::move(m_kept);
        }
        // A kept transform of another length goes before the new one is made, so that the two
        // never take memory at once.
        release();
        return std::make_unique<RealTransform>(n);
    }

    void giveBack(std::unique_ptr<RealTransform> transform)
    {
        std::unique_ptr<RealTransform> dropped;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_kept)
            dropped = std::move(transform);
        else
            m_kept = std::move(transform);
    }

    void release()
    {
        std::unique_ptr<RealTransform> dropped;
        std::lock_guard<std::mutex> lock(m_mutex);
        dropped = std::move(m_kept);
    }

    static qint64 transformBytes(int n)
    {
        return qint64(bufferDoubles(n) * sizeof(double) + planBytes(n / 2));
    }

private:
    std::mutex m_mutex;
    std::unique_ptr<RealTransform> m_kept;
};

// Takes the transform of a length for one filter and gives it back when the filter ends.
class TransformLease
{
public:
    explicit TransformLease(int n)
        : m_transform(TransformCache::instance().take(n))
    { }
    ~TransformLease() { TransformCache::instance().giveBack(std::move(m_transform)); }
    TransformLease(const TransformLease &) = delete;
    TransformLease &operator=(const TransformLease &) = delete;

    RealTransform &operator*() const { return *m_transform; }
    RealTransform *operator->() const { return m_transform.get(); }

private:
    std::unique_ptr<RealTransform> m_transform;
};

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

// One run of the Gaussian filter over a profile: the profile is re-sampled onto its uniform grid
// straight into a transform's buffer (the grid's X are never stored), transformed, weighted and
// transformed back there; the filtered values at any X are then interpolated from the buffer.
// The transform is leased for the life of the run.
class GridFilter
{
public:
    enum Status { Ready, Refused, Stopped };

    // x and y: two channels of equal, non-zero length.
    GridFilter(const QVector<double> &x, const QVector<double> &y, double longCut, double shortCut)
        : m_x(x)
        , m_n(x.size())
        , m_trim(longCut == DBL_MAX ? shortCut : longCut)
    {
        if (std::isnan(longCut) || std::isnan(shortCut))
            return;
        for (int i = 0; i < m_n; ++i) {
            if (!std::isfinite(x.at(i)) || !std::isfinite(y.at(i)))
                return;
            if (i > 0 && x.at(i) < x.at(i - 1))
                m_ascending = false;
        }
        m_bins = isPowerOfTwo(m_n) ? m_n : nextPowerOfTwoAbove(m_n);
        m_x0 = x.first();
        m_step = m_bins > 1 ? (x.last() - m_x0) / (m_bins - 1) : 0.0;

        // A stopped read does not wait for the transforms: the stop is looked at between the
        // steps (each transform is one library call).
        m_status = Stopped;
        if (cancellationRequested())
            return;
        m_lease = std::make_unique<TransformLease>(m_bins);
        RealTransform &transform = **m_lease;
        double *signal = transform.buffer;
        auto *spectrum = reinterpret_cast<Complex *>(signal);
        if (m_bins == m_n) {
            std::copy(y.cbegin(), y.cend(), signal);
        } else {
            const double x0 = m_x0;
            const double step = m_step;
            interpolateForward(
                m_n, [&x](int i) { return x.at(i); }, [&y](int i) { return y.at(i); }, m_bins,
                [x0, step](int j) { return x0 + j * step; },
                [signal](int j, double v) { signal[j] = v; });
        }
        if (cancellationRequested())
            return;
        transform.forward();
        // A real signal has a conjugate-symmetric spectrum, so bins i and N − i share one
        // wavelength, N·h/i, and one weight, and the half spectrum carries the whole transform.
        // Bin 0 stands for the frequency 1e−9; a single bin has no wavelength and passes nothing.
        const int half = m_bins / 2 + 1;
        const double scale = 1.0 / m_bins;
        const double binFrequency = 1.0 / (m_step * m_bins);
        for (int i = 0; i < half; ++i) {
            const double frequency = i == 0 ? 1e-9 : i * binFrequency;
            const double w
                = m_bins < 2 ? 0.0 : bandTransmission(frequency, longCut, shortCut) * scale;
            spectrum[i] *= w;
        }
        if (cancellationRequested())
            return;
        transform.backward();
        if (cancellationRequested())
            return;
        m_status = Ready;
    }

    Status status() const { return m_status; }
    bool ascending() const { return m_ascending; }
    // The length the result is trimmed by: the long cut-off, the short one for a low-pass.
    double trim() const { return m_trim; }

    // Along ascending X the samples the trimming keeps form one stretch [first, first + count);
    // otherwise (and when nothing is trimmed) every sample is kept here and the trimming is the
    // caller's.
    void keptStretch(int &first, int &count) const
    {
        first = 0;
        count = m_n;
        if (!m_ascending)
            return;
        const double low = m_x0 + m_trim / 2;
        const double high = m_x.last() - m_trim / 2;
        if (!(m_trim > m_x.last() - m_x0) && low < high) {
            first = int(std::lower_bound(m_x.cbegin(), m_x.cend(), low) - m_x.cbegin());
            count = int(std::upper_bound(m_x.cbegin(), m_x.cend(), high) - m_x.cbegin()) - first;
        }
    }

    // The filtered values at the targets targetAt(j), j < count, visited in order.
    template<class TargetAt, class Out>
    void valuesAt(int count, TargetAt targetAt, Out out) const
    {
        const double *signal = (**m_lease).buffer;
        const double x0 = m_x0;
        const double step = m_step;
        interpolateForward(
            m_bins, [x0, step](int i) { return x0 + i * step; },
            [signal](int i) { return signal[i]; }, count, targetAt, out);
    }

private:
    const QVector<double> &m_x;
    const int m_n;
    const double m_trim;
    Status m_status = Refused;
    bool m_ascending = true;
    int m_bins = 0;
    double m_x0 = 0.0;
    double m_step = 0.0;
    std::unique_ptr<TransformLease> m_lease;
};

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
    if (!buffer)
        throw std::bad_alloc();
    fftw_plan plan = nullptr;
    {
        std::lock_guard<std::mutex> lock(plannerMutex());
        try {
            requireMemory(planBytes(n));
        } catch (...) {
            fftw_free(buffer);
            throw;
        }
        plan = fftw_plan_dft_1d(n, buffer, buffer, FFTW_FORWARD, FFTW_ESTIMATE);
    }
    std::copy(spectrum.cbegin(), spectrum.cend(), reinterpret_cast<std::complex<double> *>(buffer));
    try {
        requireMemory(executionBytes(n));
    } catch (...) {
        {
            std::lock_guard<std::mutex> lock(plannerMutex());
            fftw_destroy_plan(plan);
        }
        fftw_free(buffer);
        throw;
    }
    fftw_execute(plan);
    {
        std::lock_guard<std::mutex> lock(plannerMutex());
        fftw_destroy_plan(plan);
    }
    try {
        std::copy_n(reinterpret_cast<const std::complex<double> *>(buffer), n, spectrum.begin());
    } catch (...) {
        // Writing may have to copy a shared spectrum first.
        fftw_free(buffer);
        throw;
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
    if (!isProfile(profile))
        return {};
    const QVector<double> &x = profile.at(0);
    const GridFilter run(x, profile.at(1), longCut, shortCut);
    if (run.status() != GridFilter::Ready)
        return {};
    const int n = x.size();
    int first = 0;
    int count = n;
    run.keptStretch(first, count);
    QVector<QVector<double>> filtered(2);
    if (count == n) {
        filtered[0] = x;
    } else {
        filtered[0] = freshVector(count);
        std::copy(x.cbegin() + first, x.cbegin() + first + count, std::back_inserter(filtered[0]));
    }
    QVector<double> &values = filtered[1];
    values = freshVector(count);
    // The values come in order.
    run.valuesAt(
        count, [&x, first](int j) { return x.at(first + j); },
        [&values](int, double v) { values.append(v); });
    if (run.ascending())
        return filtered;
    return trimRunInOut(std::move(filtered), run.trim());
}

FilterInPlace gaussianFilterInPlace(QVector<QVector<double>> &data, double longCut, double shortCut,
                                    bool finiteOnly)
{
    if (data.size() < 2 || data.at(0).isEmpty())
        return FilterInPlace::Refused;
    const int n = data.at(0).size();
    for (const QVector<double> &channel : qAsConst(data)) {
        if (channel.size() != n)
            return FilterInPlace::Refused;
    }
    // The channels are written below: the set of channels is made this data set's own first,
    // so that the references taken now stay valid.
    data.data();
    const QVector<double> &x = data.at(0);
    const GridFilter run(x, data.at(1), longCut, shortCut);
    if (run.status() == GridFilter::Stopped)
        return FilterInPlace::Stopped;
    if (run.status() != GridFilter::Ready)
        return FilterInPlace::Refused;
    int first = 0;
    int count = n;
    run.keptStretch(first, count);
    const auto target = [&x, first](int j) {
        return x.at(first + j);
    };
    if (finiteOnly) {
        bool finite = true;
        run.valuesAt(count, target,
                     [&finite](int, double v) { finite = finite && std::isfinite(v); });
        if (!finite)
            return FilterInPlace::Refused;
    }
    // Y is no longer read: the filtered values take its place, from its start.
    QVector<double> &y = data[1];
    run.valuesAt(count, target, [&y](int j, double v) { y[j] = v; });

    // Every other channel keeps the same samples.
    if (run.ascending()) {
        for (int c = 0; c < data.size(); ++c) {
            QVector<double> &channel = data[c];
            if (c != 1 && first > 0)
                std::copy(channel.cbegin() + first, channel.cbegin() + first + count,
                          channel.begin());
            channel.resize(count);
        }
    } else {
        const double trim = run.trim();
        const double low = x.first() + trim / 2;
        const double high = x.last() - trim / 2;
        if (!std::isnan(trim) && !(trim > x.last() - x.first()) && low < high) {
            int kept = 0;
            for (int i = 0; i < n; ++i) {
                const double xi = x.at(i);
                if (!(low <= xi && xi <= high))
                    continue;
                for (int c = 0; c < data.size(); ++c)
                    data[c][kept] = data.at(c).at(i);
                ++kept;
            }
            for (int c = 0; c < data.size(); ++c)
                data[c].resize(kept);
        }
    }
    // A trimmed channel keeps the room of its ends; much room is given back.
    for (int c = 0; c < data.size(); ++c) {
        QVector<double> &channel = data[c];
        if (channel.capacity() - channel.size() > channel.capacity() / 32)
            channel.squeeze();
    }
    return FilterInPlace::Filtered;
}

qint64 gaussianFilterWorkBytes(qint64 samples)
{
    if (samples <= 0)
        return 0;
    const int n = int(std::min<qint64>(samples, 1 << 29));
    // The transform, and a channel given back room (copied) once the ends are trimmed.
    return TransformCache::transformBytes(nextPowerOfTwoAbove(n - 1))
        + samples * qint64(sizeof(double));
}

QVector<double> filterRoom(int count)
{
    return freshVector(std::max(count, 0));
}

void recycleFilterRoom(QVector<double> &&vector)
{
    QVector<double> room = std::move(vector);
    // Room another holder still reads is not free.
    if (room.capacity() < RecycledRoom::kLeast || !room.isDetached())
        return;
    RecycledRoom::instance().keep(std::move(room));
}

void releaseFilterWorkspace()
{
    RecycledRoom::instance().release();
    TransformCache::instance().release();
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

void spreadEqualRunsInPlace(QVector<double> &values)
{
    const int n = values.size();
    int start = 0;
    while (start < n) {
        int end = start + 1;
        while (end < n && values.at(end) == values.at(start))
            ++end;
        if (end >= n)
            break;
        // Only the values inside the run change; its first value and the next run's stay.
        const double a = values.at(start);
        const double c = values.at(end);
        const int k = end - start;
        for (int j = 1; j < k; ++j)
            values[start + j] = a + j * (c - a) / k;
        start = end;
    }
}

QVector<double> spreadEqualRuns(const QVector<double> &values)
{
    QVector<double> result = values;
    spreadEqualRunsInPlace(result);
    return result;
}

void addConstant(QVector<double> &values, double c)
{
    for (double &v : values)
        v += c;
}

} // namespace Algos
