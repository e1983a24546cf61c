#include "processing/ProfileFilters.h"
#include "support/TestSupport.h"

#include <QSet>
#include <QtConcurrent>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <new>
#include <random>

using TData = QVector<QVector<double>>;

namespace {

constexpr double kPi = 3.141592653589793;

// A sinusoid of the given wavelength and unit amplitude on n samples over [x0, x0 + span].
TData sinusoid(int n, double x0, double span, double wavelength)
{
    QVector<double> x(n);
    QVector<double> y(n);
    for (int i = 0; i < n; ++i) {
        x[i] = x0 + i * span / (n - 1);
        y[i] = std::sin(2 * kPi * x[i] / wavelength + 0.3);
    }
    return {x, y};
}

// The amplitude of the sinusoid of that wavelength that fits the profile best (least squares
// over sine and cosine).
double fittedAmplitude(const TData &profile, double wavelength)
{
    double ys = 0, yc = 0, ss = 0, cc = 0, sc = 0;
    for (int i = 0; i < profile.at(0).size(); ++i) {
        const double phase = 2 * kPi * profile.at(0).at(i) / wavelength;
        const double s = std::sin(phase);
        const double c = std::cos(phase);
        ys += profile.at(1).at(i) * s;
        yc += profile.at(1).at(i) * c;
        ss += s * s;
        cc += c * c;
        sc += s * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det;
    const double b = (yc * ss - ys * sc) / det;
    return std::hypot(a, b);
}

// The moving median as the filter is specified: the (w/2 + 1)-th smallest of each window of the
// mirror-padded sequence, found by a partial sort.
QVector<double> referenceMedian(const QVector<double> &y, int w)
{
    const int n = y.size();
    const int k = w / 2;
    QVector<double> padded;
    for (int i = k; i >= 1; --i)
        padded.append(y.at(i));
    padded += y;
    for (int i = n - 1; i >= n - k; --i)
        padded.append(y.at(i));
    QVector<double> out(n);
    std::vector<double> buffer(static_cast<size_t>(w / 2 + 1));
    for (int i = 0; i < n; ++i) {
        std::partial_sort_copy(padded.cbegin() + i, padded.cbegin() + i + w, buffer.begin(),
                               buffer.end());
        out[i] = buffer.back();
    }
    return out;
}

TData filter250(const TData &profile)
{
    return Algos::gaussianFilter(profile, 250, 2.5);
}

// The filter composed from its public steps, with the complex transform: bins i and N − i
// share the wavelength N·h/i, bin 0 stands for 1e9.
TData composedFilter(const TData &profile, double longCut, double shortCut)
{
    const TData grid = Algos::resampleToPowerOfTwo(profile);
    const int n = grid.at(0).size();
    Algos::Spectrum spectrum(n);
    for (int i = 0; i < n; ++i)
        spectrum[i] = grid.at(1).at(i);
    Algos::fft(spectrum);
    const double h = (profile.at(0).last() - profile.at(0).first()) / (n - 1);
    QVector<double> wavelengths(n, 0.0);
    for (int i = 0; i <= n / 2; ++i) {
        const double w = i == 0 ? 1 / 1e-9 : n * h / i;
        wavelengths[i] = w;
        if (i > 0)
            wavelengths[n - i] = w;
    }
    Algos::applyGaussianTransmission(spectrum, wavelengths, longCut, shortCut);
    Algos::inverseFft(spectrum);
    QVector<double> gx(n);
    QVector<double> gy(n);
    for (int i = 0; i < n; ++i) {
        gx[i] = profile.at(0).first() + i * h;
        gy[i] = spectrum.at(i).real();
    }
    return Algos::trimRunInOut(Algos::interpolateOnto({gx, gy}, profile.at(0)),
                               longCut == DBL_MAX ? shortCut : longCut);
}

} // namespace

class tst_ProfileFilters : public QObject
{
    Q_OBJECT

private slots:
    void resampleGridSizes_data();
    void resampleGridSizes();
    void fftMatchesExactDft_data();
    void fftMatchesExactDft();
    void transmission_data();
    void transmission();
    void transmissionWeights();
    void filterEqualsItsSteps_data();
    void filterEqualsItsSteps();
    void inPlaceFilterEqualsTheFilter_data();
    void inPlaceFilterEqualsTheFilter();
    void inPlaceFilterRefusesAndLeavesTheData();
    void filterWithoutMemoryThrows_data();
    void filterWithoutMemoryThrows();
    void concurrentFilters();
    void filterReusesTheRoomOfDroppedProfiles();
    void filterKeepsInputPositions_data();
    void filterKeepsInputPositions();
    void oneSampleProfile();
    void runInOutTrim();
    void lowPassOfShortProfileKeepsAll();
    void badInputGivesEmpty_data();
    void badInputGivesEmpty();
    void interpolateOnto();
    void medianExamples_data();
    void medianExamples();
    void medianMatchesPartialSort_data();
    void medianMatchesPartialSort();
    void medianEdgeCases();
    void spreadEqualRuns_data();
    void spreadEqualRuns();
    void addConstant();
};

// The room of a filtered profile given back is written by the next filter of that length (no
// fresh memory), with the same values; room that something else still holds is never taken.
void tst_ProfileFilters::filterReusesTheRoomOfDroppedProfiles()
{
    Algos::releaseFilterWorkspace();
    const TData profile = sinusoid(300000, 0.0, 30000.0, 80.0);
    TData first = Algos::gaussianFilter(profile, 800.0, 2.5);
    QCOMPARE(first.size(), 2);
    const TData expected {QVector<double>(first.at(0).cbegin(), first.at(0).cend()),
                          QVector<double>(first.at(1).cbegin(), first.at(1).cend())};
    const QSet<const double *> room {first.at(0).constData(), first.at(1).constData()};
    Algos::recycleFilterRoom(std::move(first[1]));
    Algos::recycleFilterRoom(std::move(first[0]));

    TData second = Algos::gaussianFilter(profile, 800.0, 2.5);
    QCOMPARE(second, expected);
    QCOMPARE((QSet<const double *> {second.at(0).constData(), second.at(1).constData()}), room);

    // Held by a copy: not free.
    const TData copy = second;
    Algos::recycleFilterRoom(std::move(second[1]));
    const TData third = Algos::gaussianFilter(profile, 800.0, 2.5);
    QVERIFY(third.at(1).constData() != copy.at(1).constData());
    QCOMPARE(copy, expected);
    QCOMPARE(third, expected);
    Algos::releaseFilterWorkspace();
}

void tst_ProfileFilters::resampleGridSizes_data()
{
    QTest::addColumn<int>("samples");
    QTest::addColumn<int>("gridSize");
    QTest::newRow("1000") << 1000 << 1024;
    QTest::newRow("1024") << 1024 << 1024;
    QTest::newRow("1025") << 1025 << 2048;
    QTest::newRow("3") << 3 << 4;
    QTest::newRow("1") << 1 << 1;
}

void tst_ProfileFilters::resampleGridSizes()
{
    QFETCH(int, samples);
    QFETCH(int, gridSize);
    // Uneven spacing, so that a copy and a re-sampled grid differ.
    QVector<double> x;
    QVector<double> y;
    for (int i = 0; i < samples; ++i) {
        x.append(i + 0.25 * (i % 3));
        y.append(2.0 * x.last() - 7);
    }
    const TData grid = Algos::resampleToPowerOfTwo({x, y});
    QCOMPARE(grid.size(), 2);
    QCOMPARE(grid.at(0).size(), gridSize);
    QCOMPARE(grid.at(1).size(), gridSize);
    if (gridSize == samples) {
        QCOMPARE(grid, (TData {x, y}));
        return;
    }
    QCOMPARE(grid.at(0).first(), x.first());
    COMPARE_REL(grid.at(0).last(), x.last(), 1e-15);
    const double step = (x.last() - x.first()) / (gridSize - 1);
    for (int j = 0; j < gridSize; ++j) {
        COMPARE_TOL(grid.at(0).at(j), x.first() + j * step, 1e-15, 0);
        // A straight line is re-sampled exactly.
        COMPARE_TOL(grid.at(1).at(j), 2.0 * grid.at(0).at(j) - 7, 1e-12, 1e-12);
    }
}

void tst_ProfileFilters::fftMatchesExactDft_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("1") << 1;
    QTest::newRow("2") << 2;
    QTest::newRow("8") << 8;
    QTest::newRow("1024") << 1024;
}

void tst_ProfileFilters::fftMatchesExactDft()
{
    QFETCH(int, size);
    std::mt19937 random(size);
    std::uniform_real_distribution<double> value(-1, 1);
    Algos::Spectrum signal(size);
    double norm = 0;
    for (auto &bin : signal) {
        bin = {value(random), value(random)};
        norm += std::norm(bin);
    }
    norm = std::sqrt(norm);
    Algos::Spectrum transformed = signal;
    Algos::fft(transformed);
    double worst = 0;
    for (int k = 0; k < size; ++k) {
        std::complex<double> exact = 0;
        for (int j = 0; j < size; ++j)
            exact += signal.at(j) * std::polar(1.0, -2 * kPi * double(j) * k / size);
        worst = std::max(worst, std::abs(exact - transformed.at(k)));
    }
    QVERIFY2(worst <= 1e-12 * norm, qPrintable(QString::number(worst)));
    Algos::inverseFft(transformed);
    for (int j = 0; j < size; ++j)
        QVERIFY(std::abs(transformed.at(j) - signal.at(j)) <= 1e-12 * norm);
}

void tst_ProfileFilters::transmission_data()
{
    QTest::addColumn<int>("samples");
    QTest::addColumn<double>("spanInCutOffs");
    QTest::addColumn<double>("longCut");
    QTest::addColumn<double>("shortCut");
    QTest::addColumn<double>("wavelength");
    QTest::addColumn<double>("expected");
    QTest::addColumn<double>("relativeTolerance");
    const double lc = 800;
    const double ls = 2.6666666666666665;
    // The Gaussian low-pass with cut-off c passes exp(−π(0.4697·c/λ)²) of wavelength λ; the band
    // passes the difference of its two low-passes.
    const auto lowPass = [](double cutOff, double wavelength) {
        return std::exp(-kPi * std::pow(0.4697 * cutOff / wavelength, 2));
    };
    // A span of whole cut-offs (the periods fit the grid) and one of a fraction (they do not);
    // a length that is re-sampled and one that is a power of two already.
    for (int samples : {9601, 16384, 12000}) {
        const double span = samples == 12000 ? 7.3 : 6.0;
        const QByteArray tag = QByteArray::number(samples) + " samples ";
        for (double wavelength : {lc, 3 * lc, lc / 3}) {
            const double tolerance = wavelength == lc ? 0.005 : 0.01;
            const QByteArray at = " at " + QByteArray::number(wavelength / lc, 'g', 3) + " lc";
            QTest::newRow(tag + "band" + at)
                << samples << span << lc << ls << wavelength
                << lowPass(ls, wavelength) - lowPass(lc, wavelength) << tolerance;
            QTest::newRow(tag + "low-pass" + at) << samples << span << DBL_MAX << lc << wavelength
                                                 << lowPass(lc, wavelength) << tolerance;
        }
    }
}

void tst_ProfileFilters::transmission()
{
    QFETCH(int, samples);
    QFETCH(double, spanInCutOffs);
    QFETCH(double, longCut);
    QFETCH(double, shortCut);
    QFETCH(double, wavelength);
    QFETCH(double, expected);
    QFETCH(double, relativeTolerance);
    const double cutOff = longCut == DBL_MAX ? shortCut : longCut;
    const TData input = sinusoid(samples, 137.5, spanInCutOffs * cutOff, wavelength);
    const TData filtered = Algos::gaussianFilter(input, longCut, shortCut);
    QCOMPARE(filtered.size(), 2);
    QVERIFY(!filtered.at(0).isEmpty());
    if (wavelength == cutOff)
        COMPARE_TOL(expected, 0.5, 0, 1e-4);
    COMPARE_TOL(fittedAmplitude(filtered, wavelength), expected, relativeTolerance, 1e-4);
}

void tst_ProfileFilters::transmissionWeights()
{
    // 50 % at the cut-off to four digits; the order of the two cut-offs does not matter; a zero
    // or infinite wavelength passes nothing.
    COMPARE_TOL(Algos::gaussianTransmission(800, DBL_MAX, 800), 0.5, 0, 1e-4);
    QCOMPARE(Algos::gaussianTransmission(300, 800, 2.5),
             Algos::gaussianTransmission(300, 2.5, 800));
    QCOMPARE(Algos::gaussianTransmission(0, 800, 2.5), 0.0);
    QCOMPARE(Algos::gaussianTransmission(0, DBL_MAX, 2.5), 0.0);
    QCOMPARE(Algos::gaussianTransmission(0, DBL_MAX, 0), 0.0);
    QCOMPARE(Algos::gaussianTransmission(std::numeric_limits<double>::infinity(), 800, 2.5), 0.0);
    COMPARE_TOL(Algos::gaussianTransmission(1e9, DBL_MAX, 20), 1.0, 0, 1e-15);
    Algos::Spectrum spectrum {{2, 4}, {2, 4}, {2, 4}};
    Algos::applyGaussianTransmission(spectrum, {0, 800, 1e12}, DBL_MAX, 800);
    QCOMPARE(spectrum.at(0), std::complex<double>(0, 0));
    COMPARE_TOL(spectrum.at(1).real(), 1.0, 0, 1e-3);
    COMPARE_TOL(spectrum.at(1).imag(), 2.0, 0, 1e-3);
    COMPARE_TOL(spectrum.at(2).imag(), 4.0, 0, 1e-12);
}

void tst_ProfileFilters::filterEqualsItsSteps_data()
{
    QTest::addColumn<TData>("profile");
    QTest::addColumn<double>("longCut");
    QTest::addColumn<double>("shortCut");
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0, 1);
    QVector<double> x;
    QVector<double> y;
    for (int i = 0; i < 3000; ++i) {
        x.append(i * 0.7 + 0.2 * (i % 5));
        y.append(std::sin(x.last() / 50) + 0.3 * noise(random));
    }
    QTest::newRow("band, re-sampled") << TData {x, y} << 800.0 << 2.6666666666666665;
    QTest::newRow("low-pass, re-sampled") << TData {x, y} << DBL_MAX << 20.0;
    QTest::newRow("band, power of two") << TData {x.mid(0, 2048), y.mid(0, 2048)} << 250.0 << 2.5;
    // X that falls back for a while, as a tilted contour can.
    QVector<double> back = x;
    for (int i = 1000; i < 1010; ++i)
        back[i] = back.at(999) - (i - 999) * 0.1;
    QTest::newRow("X falling back") << TData {back, y} << DBL_MAX << 20.0;
    // The real transform's smallest lengths: one bin pair, a bin paired with itself, and a few
    // pairs (2, 4 and 8 bins after re-sampling).
    for (int n : {2, 3, 5, 17}) {
        const QByteArray tag = QByteArray::number(n) + " samples";
        QTest::newRow(tag + ", low-pass") << TData {x.mid(0, n), y.mid(0, n)} << DBL_MAX << 1.5;
        QTest::newRow(tag + ", band") << TData {x.mid(0, n), y.mid(0, n)} << 40.0 << 0.8;
    }
}

void tst_ProfileFilters::filterEqualsItsSteps()
{
    QFETCH(TData, profile);
    QFETCH(double, longCut);
    QFETCH(double, shortCut);
    const TData filtered = Algos::gaussianFilter(profile, longCut, shortCut);
    const TData expected = composedFilter(profile, longCut, shortCut);
    QCOMPARE(filtered.at(0), expected.at(0));
    QCOMPARE(filtered.at(1).size(), expected.at(1).size());
    for (int i = 0; i < expected.at(1).size(); ++i)
        COMPARE_TOL(filtered.at(1).at(i), expected.at(1).at(i), 0, 1e-12);
}

void tst_ProfileFilters::inPlaceFilterEqualsTheFilter_data()
{
    QTest::addColumn<TData>("profile");
    QTest::addColumn<double>("longCut");
    QTest::addColumn<double>("shortCut");
    QVector<double> x;
    QVector<double> y;
    for (int i = 0; i < 5000; ++i) {
        x.append(i * 0.7 + 0.2 * (i % 5));
        y.append(std::sin(x.last() / 50) + 0.1 * std::sin(x.last() * 3));
    }
    QTest::newRow("band") << TData {x, y} << 800.0 << 2.6666666666666665;
    QTest::newRow("low-pass") << TData {x, y} << DBL_MAX << 20.0;
    QTest::newRow("power of two") << TData {x.mid(0, 4096), y.mid(0, 4096)} << 250.0 << 2.5;
    QTest::newRow("nothing trimmed") << TData {x.mid(0, 40), y.mid(0, 40)} << 800.0 << 2.5;
    // Where X runs back the kept samples are not one stretch.
    QVector<double> back = x;
    for (int i = 3000; i < 3400; ++i)
        back[i] = back.at(2999) - (i - 2999) * 0.5;
    QTest::newRow("X running back") << TData {back, y} << 250.0 << 2.5;
}

void tst_ProfileFilters::inPlaceFilterEqualsTheFilter()
{
    QFETCH(TData, profile);
    QFETCH(double, longCut);
    QFETCH(double, shortCut);
    const TData expected = Algos::gaussianFilter(profile, longCut, shortCut);

    // A third channel holds each sample's index: it must keep exactly the samples kept.
    TData data = profile;
    QVector<double> index;
    for (int i = 0; i < profile.at(0).size(); ++i)
        index.append(i);
    data.append(index);
    const TData shared = data;
    QCOMPARE(int(Algos::gaussianFilterInPlace(data, longCut, shortCut)),
             int(Algos::FilterInPlace::Filtered));
    QCOMPARE(data.size(), 3);
    QCOMPARE(data.at(0), expected.at(0));
    QCOMPARE(data.at(1), expected.at(1));
    QCOMPARE(data.at(2).size(), expected.at(0).size());
    for (int i = 0; i < data.at(2).size(); ++i)
        QCOMPARE(profile.at(0).at(int(data.at(2).at(i))), data.at(0).at(i));
    // A copy that shared the channels is not touched.
    QCOMPARE(shared.at(1), profile.at(1));
    QCOMPARE(shared.at(2), index);
}

void tst_ProfileFilters::inPlaceFilterRefusesAndLeavesTheData()
{
    // A value that is not finite, channels of unequal length, a cut-off that is not a number:
    // the data stay as they were.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const TData good = sinusoid(300, 0, 300, 40);
    TData withNan = good;
    withNan[1][7] = nan;
    TData ragged = good;
    ragged[0].removeLast();
    for (TData data : {withNan, ragged}) {
        const TData before = data;
        QCOMPARE(int(Algos::gaussianFilterInPlace(data, 80, 2.5)),
                 int(Algos::FilterInPlace::Refused));
        QCOMPARE(data.at(0), before.at(0));
        QCOMPARE(data.at(1).size(), before.at(1).size());
    }
    TData data = good;
    QCOMPARE(int(Algos::gaussianFilterInPlace(data, nan, 2.5)), int(Algos::FilterInPlace::Refused));
    QCOMPARE(data, good);

    // Values at the end of the range of doubles overflow in the re-sampling: taking only finite
    // results, the filter refuses; otherwise it gives what gaussianFilter gives.
    TData huge = good;
    for (int i = 0; i < huge.at(1).size(); ++i)
        huge[1][i] = i % 2 ? 1e308 : -1e308;
    data = huge;
    QCOMPARE(int(Algos::gaussianFilterInPlace(data, DBL_MAX, 2.5, true)),
             int(Algos::FilterInPlace::Refused));
    QCOMPARE(data, huge);
    QCOMPARE(int(Algos::gaussianFilterInPlace(data, DBL_MAX, 2.5)),
             int(Algos::FilterInPlace::Filtered));
    QCOMPARE(data.at(0), Algos::gaussianFilter(huge, DBL_MAX, 2.5).at(0));
}

void tst_ProfileFilters::filterWithoutMemoryThrows_data()
{
    QTest::addColumn<QString>("filter");
    QTest::newRow("gaussianFilter") << "copy";
    QTest::newRow("in place") << "in place";
    QTest::newRow("complex transform") << "fft";
}

void tst_ProfileFilters::filterWithoutMemoryThrows()
{
    QFETCH(QString, filter);
    if (!testsupport::kAllocationFailuresReachTheCode)
        QSKIP("The sanitizer's allocator ends the process when memory runs out");
    // 2^18 + 1 samples are filtered on 2^19 points: a 4 MB buffer and the transform's tables, in
    // a process that has 2 MB left. The filter must say so, not crash or end the program.
    const TData profile = sinusoid((1 << 18) + 1, 0, 100000, 700);
    Algos::Spectrum spectrum(1 << 18);
    testsupport::ChildLimits limits;
    limits.addressSpaceHeadroom = 16 << 20;
    limits.memoryLeft = 2 << 20;
    const testsupport::ChildResult result = testsupport::runInChild(limits, [&] {
        try {
            if (filter == QLatin1String("fft")) {
                Algos::fft(spectrum);
            } else if (filter == QLatin1String("copy")) {
                Algos::gaussianFilter(profile, 800, 2.5);
            } else {
                TData data = profile;
                Algos::gaussianFilterInPlace(data, 800, 2.5);
            }
        } catch (const std::bad_alloc &) {
            return true;
        }
        return false;
    });
    QCOMPARE(int(result), int(testsupport::ChildResult::True));

    // With the memory there, the same filter runs.
    QCOMPARE(Algos::gaussianFilter(profile, 800, 2.5).size(), 2);
}

void tst_ProfileFilters::concurrentFilters()
{
    // Worker threads filter traces of different lengths at once: the transforms' plans are made,
    // shared and replaced under their locks, and every result equals the one computed alone.
    QVector<TData> profiles;
    for (int n : {1000, 3000, 5000, 1000, 3000, 5000, 7000, 9000})
        profiles.append(sinusoid(n, 0, n * 0.5, 97));
    QVector<TData> alone;
    for (const TData &profile : profiles)
        alone.append(filter250(profile));
    for (int round = 0; round < 5; ++round) {
        const QVector<TData> together = QtConcurrent::blockingMapped(profiles, filter250);
        QCOMPARE(together, alone);
    }
}

void tst_ProfileFilters::filterKeepsInputPositions_data()
{
    QTest::addColumn<int>("samples");
    QTest::newRow("1000 on 1024") << 1000;
    QTest::newRow("1024 on itself") << 1024;
    QTest::newRow("1025 on 2048") << 1025;
}

void tst_ProfileFilters::filterKeepsInputPositions()
{
    QFETCH(int, samples);
    // A constant profile: the band-pass removes it, the low-pass keeps it.
    QVector<double> x;
    for (int i = 0; i < samples; ++i)
        x.append(i * 0.5 + (i % 2) * 0.1);
    const QVector<double> y(samples, 3.0);
    const TData low = Algos::gaussianFilter({x, y}, DBL_MAX, 2.5);
    QCOMPARE(low.at(0), Algos::trimRunInOut({x, y}, 2.5).at(0));
    for (double v : low.at(1))
        COMPARE_TOL(v, 3.0, 1e-9, 0);
    const TData band = Algos::gaussianFilter({x, y}, 80, 2.6666666666666665);
    QCOMPARE(band.at(0), Algos::trimRunInOut({x, y}, 80).at(0));
    for (double v : band.at(1))
        COMPARE_TOL(v, 0.0, 0, 1e-9);
}

void tst_ProfileFilters::oneSampleProfile()
{
    const TData result = Algos::gaussianFilter({{42.0}, {5.0}}, 800, 2.6666666666666665);
    QCOMPARE(result, (TData {{42.0}, {0.0}}));
    QCOMPARE(Algos::gaussianFilter({{42.0}, {5.0}}, DBL_MAX, 20), (TData {{42.0}, {0.0}}));
    // A cut-off of 0 (a contour probe of radius 0) too.
    QCOMPARE(Algos::gaussianFilter({{42.0}, {5.0}}, DBL_MAX, 0), (TData {{42.0}, {0.0}}));
}

void tst_ProfileFilters::runInOutTrim()
{
    // 4000 µm at an uneven step that puts no sample exactly on a bound.
    QVector<double> x;
    QVector<double> y;
    for (double v = 3.3; v <= 4003.3; v += 0.7) {
        x.append(v);
        y.append(std::sin(v / 50));
    }
    const TData result = Algos::gaussianFilter({x, y}, 800, 2.6666666666666665);
    const double low = x.first() + 400;
    const double high = x.last() - 400;
    const auto firstKept = std::find_if(x.cbegin(), x.cend(), [low](double v) { return v >= low; });
    const auto lastKept
        = std::find_if(x.crbegin(), x.crend(), [high](double v) { return v <= high; });
    QCOMPARE(result.at(0).first(), *firstKept);
    QCOMPARE(result.at(0).last(), *lastKept);
    QCOMPARE(result.at(0).size(), int(lastKept.base() - firstKept));
    QCOMPARE(result.at(1).size(), result.at(0).size());

    // Both bounds are inclusive; every channel loses the same samples.
    const TData trimmed
        = Algos::trimRunInOut({{0, 5, 10, 15, 20}, {1, 2, 3, 4, 5}, {6, 7, 8, 9, 0}}, 10);
    QCOMPARE(trimmed, (TData {{5, 10, 15}, {2, 3, 4}, {7, 8, 9}}));
    // Not longer than the trim length, or no room left between the bounds: unchanged.
    const TData shortProfile {{0, 5, 10}, {1, 2, 3}};
    QCOMPARE(Algos::trimRunInOut(shortProfile, 11), shortProfile);
    QCOMPARE(Algos::trimRunInOut(shortProfile, 10), shortProfile);
    QCOMPARE(Algos::trimRunInOut(TData {}, 10), TData {});
}

void tst_ProfileFilters::lowPassOfShortProfileKeepsAll()
{
    const TData shortProfile = sinusoid(41, 0, 20, 7);
    QCOMPARE(Algos::gaussianFilter(shortProfile, DBL_MAX, 20).at(0), shortProfile.at(0));
    const TData longer = sinusoid(401, 0, 200, 70);
    const TData smoothed = Algos::gaussianFilter(longer, DBL_MAX, 20);
    QCOMPARE(smoothed.at(0).first(), 10.0);
    QCOMPARE(smoothed.at(0).last(), 190.0);
}

void tst_ProfileFilters::badInputGivesEmpty_data()
{
    QTest::addColumn<TData>("data");
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("no channels") << TData {};
    QTest::newRow("empty channels") << TData {{}, {}};
    QTest::newRow("one channel") << TData {{1, 2, 3}};
    QTest::newRow("three channels") << TData {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}};
    QTest::newRow("unequal lengths") << TData {{1, 2, 3}, {1, 2}};
    QTest::newRow("NaN in Y") << TData {{1, 2, 3, 4, 5}, {1, nan, 3, 4, 5}};
    QTest::newRow("infinite X") << TData {{1, 2, 3, 4, inf}, {1, 2, 3, 4, 5}};
}

void tst_ProfileFilters::badInputGivesEmpty()
{
    QFETCH(TData, data);
    QVERIFY(Algos::gaussianFilter(data, 800, 2.5).isEmpty());
    QVERIFY(Algos::gaussianFilter(data, DBL_MAX, 20).isEmpty());
    if (data.size() != 2 || data.at(0).size() != data.at(1).size() || data.at(0).isEmpty()) {
        QVERIFY(Algos::resampleToPowerOfTwo(data).isEmpty());
        QVERIFY(Algos::interpolateOnto(data, {1.0}).isEmpty());
    }
}

void tst_ProfileFilters::interpolateOnto()
{
    const TData grid {{0, 2, 4}, {10, 20, 0}};
    // Below the first X: along the first segment; beyond the last X: the last Y.
    const TData result = Algos::interpolateOnto(grid, {-1, 0, 1, 3, 4, 9});
    QCOMPARE(result, (TData {{-1, 0, 1, 3, 4, 9}, {5, 10, 15, 10, 0, 0}}));
}

void tst_ProfileFilters::medianExamples_data()
{
    QTest::addColumn<int>("window");
    QTest::addColumn<QVector<double>>("input");
    QTest::addColumn<QVector<double>>("expected");
    QTest::newRow("window 5") << 5 << QVector<double> {1, 9, 2, 8, 3, 7}
                              << QVector<double> {2, 8, 3, 7, 7, 7};
    QTest::newRow("window 7, six samples")
        << 7 << QVector<double> {1, 9, 2, 8, 3, 7} << QVector<double> {1, 9, 2, 8, 3, 7};
    QTest::newRow("window 4") << 4 << QVector<double> {1, 2, 3, 4, 5}
                              << QVector<double> {2, 2, 3, 4, 5};
    QTest::newRow("window 3 spike")
        << 3 << QVector<double> {0, 0, 100, 0, 0} << QVector<double> {0, 0, 0, 0, 0};
    QTest::newRow("window 1") << 1 << QVector<double> {3, 1, 2} << QVector<double> {3, 1, 2};
    QTest::newRow("window 0 acts as 1")
        << 0 << QVector<double> {3, 1, 2} << QVector<double> {3, 1, 2};
    QTest::newRow("negative window")
        << -4 << QVector<double> {3, 1, 2} << QVector<double> {3, 1, 2};
    QTest::newRow("window equals length")
        << 3 << QVector<double> {5, 1, 3} << QVector<double> {1, 3, 3};
}

void tst_ProfileFilters::medianExamples()
{
    QFETCH(int, window);
    QFETCH(QVector<double>, input);
    QFETCH(QVector<double>, expected);
    QVector<double> x;
    for (int i = 0; i < input.size(); ++i)
        x.append(i * 1.5);
    const QVector<double> extra(input.size(), 8.0);
    TData data {x, input, extra};
    Algos::medianFilter(window, data);
    QCOMPARE(data, (TData {x, expected, extra}));
}

void tst_ProfileFilters::medianMatchesPartialSort_data()
{
    QTest::addColumn<int>("window");
    QTest::addColumn<int>("levels");
    for (int w : {2, 3, 4, 5, 8, 11, 50}) {
        // Few levels give many ties; many levels give distinct values.
        QTest::addRow("window %d, ties", w) << w << 4;
        QTest::addRow("window %d, distinct", w) << w << 1000000;
    }
}

void tst_ProfileFilters::medianMatchesPartialSort()
{
    QFETCH(int, window);
    QFETCH(int, levels);
    std::mt19937 random(window * 31 + levels);
    std::uniform_int_distribution<int> level(0, levels - 1);
    QVector<double> y;
    for (int i = 0; i < 2000; ++i)
        y.append(level(random) * 0.25 - 1);
    TData data {QVector<double>(y.size(), 0.0), y};
    Algos::medianFilter(window, data);
    QCOMPARE(data.at(1), referenceMedian(y, window));
}

void tst_ProfileFilters::medianEdgeCases()
{
    // No Y channel, or an empty one: nothing happens.
    TData onlyX {{1, 2, 3}};
    Algos::medianFilter(3, onlyX);
    QCOMPARE(onlyX, (TData {{1, 2, 3}}));
    TData empty {{}, {}};
    Algos::medianFilter(3, empty);
    QCOMPARE(empty, (TData {{}, {}}));
    // A value that is not a number stays in its window without upsetting the others.
    const double nan = std::nan("");
    TData withNan {{0, 1, 2, 3, 4, 5, 6}, {1, 2, nan, 4, 5, 6, 7}};
    Algos::medianFilter(3, withNan);
    const QVector<double> &y = withNan.at(1);
    QCOMPARE(y.at(0), 2.0);
    QCOMPARE(y.at(4), 5.0);
    QCOMPARE(y.at(6), 7.0);
}

void tst_ProfileFilters::spreadEqualRuns_data()
{
    QTest::addColumn<QVector<double>>("input");
    QTest::addColumn<QVector<double>>("expected");
    QTest::newRow("runs") << QVector<double> {0, 0, 0, 3, 3, 5}
                          << QVector<double> {0, 1, 2, 3, 4, 5};
    QTest::newRow("one run") << QVector<double> {1, 1, 1} << QVector<double> {1, 1, 1};
    QTest::newRow("last run kept") << QVector<double> {2, 4, 4, 4} << QVector<double> {2, 4, 4, 4};
    QTest::newRow("falling") << QVector<double> {6, 6, 0} << QVector<double> {6, 3, 0};
    QTest::newRow("empty") << QVector<double> {} << QVector<double> {};
    QTest::newRow("no runs") << QVector<double> {1, 2, 3} << QVector<double> {1, 2, 3};
}

void tst_ProfileFilters::spreadEqualRuns()
{
    QFETCH(QVector<double>, input);
    QFETCH(QVector<double>, expected);
    QCOMPARE(Algos::spreadEqualRuns(input), expected);
}

void tst_ProfileFilters::addConstant()
{
    QVector<double> v {1, -2, 0.5};
    Algos::addConstant(v, 1.5);
    QCOMPARE(v, (QVector<double> {2.5, -0.5, 2.0}));
}

QTEST_GUILESS_MAIN(tst_ProfileFilters)
#include "tst_ProfileFilters.moc"
