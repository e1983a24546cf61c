#pragma once

#include <QVector>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <type_traits>
#include <utility>

namespace Algos {

// A fitted function held as its coefficients (c0 the intercept, c1 the slope, ...). An empty
// coefficient vector means that nothing was fitted, or that the points did not determine a fit.
// Fitted functions live by value; they are never deleted through a pointer to this base.
class CoeffFitter
{
public:
    // The fitted function at x; not a number when nothing is fitted.
    virtual double value(double x) const = 0;

    bool isValid() const { return !coefficients.isEmpty(); }
    // The i-th coefficient; not a number for an index that holds none.
    double coefficient(int i) const
    {
        return i >= 0 && i < coefficients.size() ? coefficients.at(i)
                                                 : std::numeric_limits<double>::quiet_NaN();
    }
    // Replaces the i-th coefficient; an index that holds none changes nothing.
    void setCoefficient(int i, double v)
    {
        if (i >= 0 && i < coefficients.size())
            coefficients[i] = v;
    }

    QVector<double> coefficients;

protected:
    CoeffFitter() = default;
    explicit CoeffFitter(const QVector<double> &coeffs)
        : coefficients(coeffs)
    { }
    CoeffFitter(const CoeffFitter &) = default;
    CoeffFitter &operator=(const CoeffFitter &) = default;
    ~CoeffFitter() = default;
};

namespace detail {

// True for iterators over plot points that carry `key` (x) and `value` (y), such as the data
// containers of graphs and curves.
template<class It, class = void>
struct IsPointIterator : std::false_type
{
};
template<class It>
struct IsPointIterator<It, decltype(void(std::declval<It>()->key), void(std::declval<It>()->value))>
    : std::true_type
{
};

// Running sums of a straight-line least-squares fit. The sums are taken about the first x so
// that long traces far from the origin keep their precision.
class LineSums
{
public:
    // Inline: the per-point fits of long profiles call it in their innermost loops.
    void add(double x, double y)
    {
        if (m_n == 0)
            m_x0 = x;
        else if (x != m_x0)
            m_distinct = true;
        const double u = x - m_x0;
        ++m_n;
        m_sx += u;
        m_sy += y;
        m_sxx += u * u;
        m_sxy += u * y;
    }
    // add() for each of count points in turn, with the running sums held in registers.
    void addRange(const double *xs, const double *ys, int count)
    {
        if (count <= 0)
            return;
        Running sums(*this, xs[0]);
        for (int i = 0; i < count; ++i)
            sums.add(xs[i], ys[i]);
        sums.storeTo(*this, count);
    }
    // a.addRange(xa, ya, na) and b.addRange(xb, yb, nb), the two stepped together so that the
    // processor overlaps their independent chains of additions; the sums come out the same.
    static void addRanges(LineSums &a, const double *xa, const double *ya, int na, LineSums &b,
                          const double *xb, const double *yb, int nb)
    {
        const int common = std::min(na, nb);
        if (common > 0) {
            Running sumsA(a, xa[0]);
            Running sumsB(b, xb[0]);
            for (int i = 0; i < common; ++i) {
                sumsA.add(xa[i], ya[i]);
                sumsB.add(xb[i], yb[i]);
            }
            sumsA.storeTo(a, common);
            sumsB.storeTo(b, common);
        }
        const int done = std::max(common, 0);
        a.addRange(xa + done, ya + done, na - done);
        b.addRange(xb + done, yb + done, nb - done);
    }
    // [c0, c1], or empty when fewer than two distinct x values were added or a sum is not finite.
    QVector<double> line() const;

private:
    // A copy of the sums in locals for a loop of add() calls; the first x of an empty set is
    // the x it starts with.
    struct Running
    {
        Running(const LineSums &sums, double firstX)
            : x0(sums.m_n == 0 ? firstX : sums.m_x0)
            , sx(sums.m_sx)
            , sy(sums.m_sy)
            , sxx(sums.m_sxx)
            , sxy(sums.m_sxy)
            , distinct(sums.m_distinct)
        { }
        void add(double x, double y)
        {
            distinct = distinct || x != x0;
            const double u = x - x0;
            sx += u;
            sy += y;
            sxx += u * u;
            sxy += u * y;
        }
        void storeTo(LineSums &sums, int count) const
        {
            sums.m_n += count;
            sums.m_x0 = x0;
            sums.m_sx = sx;
            sums.m_sy = sy;
            sums.m_sxx = sxx;
            sums.m_sxy = sxy;
            sums.m_distinct = distinct;
        }
        double x0, sx, sy, sxx, sxy;
        bool distinct;
    };

    long long m_n = 0;
    double m_x0 = 0.0;
    double m_sx = 0.0, m_sy = 0.0, m_sxx = 0.0, m_sxy = 0.0;
    bool m_distinct = false;
};

} // namespace detail

// The least-squares straight line y = c0 + c1·x, computed when constructed. No points, a single
// x value, or non-finite input leave it without coefficients (not valid; value() is not a number).
class RMS : public CoeffFitter
{
public:
    RMS() = default;
    explicit RMS(const QVector<double> &coeffs)
        : CoeffFitter(coeffs)
    { }
    // Points (x[i], y[i]); y must hold at least as many values as x, otherwise nothing is fitted.
    RMS(const QVector<double> &x, const QVector<double> &y);
    // Channel 0 as x, channel 1 as y.
    explicit RMS(const QVector<QVector<double>> &profile);
    // Every point of [first, last), plus every point of [first2, last2) when both of its ends are
    // given and differ; the two ranges are pooled into one fit.
    template<class It, std::enable_if_t<detail::IsPointIterator<It>::value, int> = 0>
    RMS(It first, It last, It first2 = It(), It last2 = It())
    {
        detail::LineSums sums;
        for (It it = first; it != last; ++it)
            sums.add(it->key, it->value);
        if (first2 != It() && last2 != It() && first2 != last2) {
            for (It it = first2; it != last2; ++it)
                sums.add(it->key, it->value);
        }
        coefficients = sums.line();
    }

    double value(double x) const override;
};

} // namespace Algos

// Least-squares polynomial y = Σ a_r·x^r by the normal equations. One object serves any number
// of fits.
class PolynomialRegression
{
public:
    PolynomialRegression() = default;
    virtual ~PolynomialRegression() = default;

    // On success `coefficients` holds order + 1 values, lowest power first, and the result is
    // true. Empty input, a negative order, fewer distinct x values than order + 1 or a result
    // that is not finite give false and leave `coefficients` untouched. x and y of different
    // lengths throw std::runtime_error.
    bool fit(const QVector<double> &x, const QVector<double> &y, int &order,
             QVector<double> &coefficients);
    // The points of [first, last) of a graph's or a curve's data (key as x, value as y).
    template<class It, std::enable_if_t<Algos::detail::IsPointIterator<It>::value, int> = 0>
    bool fit(It first, It last, int &order, QVector<double> &coefficients)
    {
        QVector<double> x;
        QVector<double> y;
        for (It it = first; it != last; ++it) {
            x.append(it->key);
            y.append(it->value);
        }
        return solve(x, y, order, coefficients);
    }

private:
    static bool solve(const QVector<double> &x, const QVector<double> &y, int order,
                      QVector<double> &coefficients);
};
