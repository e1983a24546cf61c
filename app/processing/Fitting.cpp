#include "processing/Fitting.h"

#include <algorithm>
#include <stdexcept>

namespace Algos {
namespace detail {

QVector<double> LineSums::line() const
{
    if (!m_distinct)
        return {};
    const double n = static_cast<double>(m_n);
    const double c1 = (n * m_sxy - m_sx * m_sy) / (n * m_sxx - m_sx * m_sx);
    // The intercept about the first x, moved back to x = 0.
    const double c0 = (m_sy - m_sx * c1) / n - c1 * m_x0;
    if (!std::isfinite(c0) || !std::isfinite(c1))
        return {};
    return {c0, c1};
}

} // namespace detail

RMS::RMS(const QVector<double> &x, const QVector<double> &y)
{
    if (y.size() < x.size())
        return;
    detail::LineSums sums;
    for (int i = 0; i < x.size(); ++i)
        sums.add(x.at(i), y.at(i));
    coefficients = sums.line();
}

RMS::RMS(const QVector<QVector<double>> &profile)
    : RMS(profile.size() >= 2 ? RMS(profile.at(0), profile.at(1)) : RMS())
{ }

double RMS::value(double x) const
{
    if (coefficients.size() < 2)
        return std::numeric_limits<double>::quiet_NaN();
    return coefficients.at(0) + coefficients.at(1) * x;
}

} // namespace Algos

bool PolynomialRegression::fit(const QVector<double> &x, const QVector<double> &y, int &order,
                               QVector<double> &coefficients)
{
    if (x.size() != y.size())
        throw std::runtime_error("The size of x & y arrays are different");
    return solve(x, y, order, coefficients);
}

bool PolynomialRegression::solve(const QVector<double> &x, const QVector<double> &y, int order,
                                 QVector<double> &coefficients)
{
    const int count = std::min(x.size(), y.size());
    if (count == 0 || order < 0)
        return false;
    // The system is singular unless the points hold at least order + 1 distinct x values.
    {
        QVector<double> distinct;
        for (int i = 0; i < count && distinct.size() <= order; ++i) {
            if (!distinct.contains(x.at(i)))
                distinct.append(x.at(i));
        }
        if (distinct.size() <= order)
            return false;
    }

    const int n = order;
    // Power sums S[j] = Σ x^j and the right-hand side Σ x^r·y.
    QVector<double> powerSums(2 * n + 1, 0.0);
    QVector<double> rhs(n + 1, 0.0);
    for (int i = 0; i < count; ++i) {
        double p = 1.0;
        for (int j = 0; j <= 2 * n; ++j) {
            powerSums[j] += p;
            if (j <= n)
                rhs[j] += p * y.at(i);
            p *= x.at(i);
        }
    }

    // Augmented matrix of the normal equations, n + 1 rows, n + 2 columns.
    const int cols = n + 2;
    QVector<double> b((n + 1) * cols);
    const auto at = [&b, cols](int r, int c) -> double & {
        return b[r * cols + c];
    };
    for (int r = 0; r <= n; ++r) {
        for (int c = 0; c <= n; ++c)
            at(r, c) = powerSums.at(r + c);
        at(r, n + 1) = rhs.at(r);
    }

    // Gaussian elimination with partial pivoting on magnitudes.
    for (int i = 0; i <= n; ++i) {
        int pivot = i;
        for (int k = i + 1; k <= n; ++k) {
            if (std::fabs(at(k, i)) > std::fabs(at(pivot, i)))
                pivot = k;
        }
        if (pivot != i) {
            for (int c = 0; c < cols; ++c)
                std::swap(at(i, c), at(pivot, c));
        }
        if (at(i, i) == 0.0)
            return false;
        for (int k = i + 1; k <= n; ++k) {
            const double t = at(k, i) / at(i, i);
            for (int c = i; c < cols; ++c)
                at(k, c) -= t * at(i, c);
        }
    }

    QVector<double> a(n + 1, 0.0);
    for (int r = n; r >= 0; --r) {
        double sum = at(r, n + 1);
        for (int c = r + 1; c <= n; ++c)
            sum -= at(r, c) * a.at(c);
        a[r] = sum / at(r, r);
        if (!std::isfinite(a.at(r)))
            return false;
    }
    coefficients = a;
    return true;
}
