#pragma once

#include <QSharedPointer>
#include <QString>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace TickLabels {

// The most digits a tick label is given.
inline constexpr int kMaxDigits = 15;

// The decimals that show the step between neighbouring ticks exactly (0.0025 needs 4, 0.5 one,
// 20 none); 0 for fewer than two ticks.
inline int stepDecimals(const QVector<double> &ticks)
{
    double step = 0.0;
    for (int i = 1; i < ticks.size(); ++i) {
        const double d = std::fabs(ticks.at(i) - ticks.at(i - 1));
        if (d > 0.0 && std::isfinite(d) && (step == 0.0 || d < step))
            step = d;
    }
    if (step == 0.0)
        return 0;
    for (int decimals = 0; decimals < kMaxDigits; ++decimals) {
        const double scaled = step * std::pow(10.0, decimals);
        if (std::fabs(scaled - std::round(scaled)) <= 1e-6 * scaled)
            return decimals;
    }
    return kMaxDigits;
}

// The precision of the number format formatChar that shows every tick to the step's decimals:
// the decimals themselves for 'f', the significant digits the largest tick needs for 'g'; the
// axis's own precision when that is more.
inline int precisionFor(const QVector<double> &ticks, QChar formatChar, int precision)
{
    const int decimals = stepDecimals(ticks);
    const char format = formatChar.toLatin1();
    if (format == 'f')
        return std::max(precision, decimals);
    if (format != 'g' && format != 'G')
        return precision;
    int significant = precision;
    for (double tick : ticks) {
        if (tick == 0.0 || !std::isfinite(tick))
            continue;
        const int integerDigits = int(std::floor(std::log10(std::fabs(tick)))) + 1;
        significant = std::max(significant, integerDigits + decimals);
    }
    return std::min(significant, kMaxDigits);
}

inline bool neighboursEqual(const QVector<QString> &labels)
{
    for (int i = 1; i < labels.size(); ++i) {
        if (labels.at(i) == labels.at(i - 1))
            return true;
    }
    return false;
}

} // namespace TickLabels

// A text appended to every tick label of an axis, e.g. " мкм" on length axes or "%" on
// percentage axes. Kept apart from the ticker template so that callers can reach the suffix of
// any ticker kind through one type.
class TickLabelSuffix
{
public:
    virtual ~TickLabelSuffix() = default;

    QString suffix() const { return m_suffix; }
    void setSuffix(const QString &suffix) { m_suffix = suffix; }

protected:
    QString m_suffix;
};

// Any library ticker kind with a tick-label suffix. The labels show as many digits as the step
// between the ticks needs, at least the axis's precision, so that two neighbouring ticks never
// read the same (ticks 0.0005 mm apart read 0,0005 мм and 0,0010 мм, not 0,001 мм twice).
// Where the axis's precision is enough, a label is the library's text followed by the suffix.
template<class Ticker>
class SuffixTickerOf : public Ticker, public TickLabelSuffix
{
protected:
    QString getTickLabel(double tick, const QLocale &locale, QChar formatChar,
                         int precision) override
    {
        return Ticker::getTickLabel(tick, locale, formatChar, precision) + m_suffix;
    }
    QVector<QString> createLabelVector(const QVector<double> &ticks, const QLocale &locale,
                                       QChar formatChar, int precision) override
    {
        int digits = TickLabels::precisionFor(ticks, formatChar, precision);
        QVector<QString> labels = Ticker::createLabelVector(ticks, locale, formatChar, digits);
        // A step the decimals cannot tell (rounding of the ticks themselves) gets more.
        while (TickLabels::neighboursEqual(labels) && digits < TickLabels::kMaxDigits) {
            ++digits;
            labels = Ticker::createLabelVector(ticks, locale, formatChar, digits);
        }
        return labels;
    }
};

// The plain numeric ticker with a suffix; every axis of the project's plot starts with one.
using SuffixTicker = SuffixTickerOf<QCPAxisTicker>;

// The suffix interface of the axis's ticker, or null when the ticker has none.
inline TickLabelSuffix *tickLabelSuffix(const QCPAxis *axis)
{
    return axis ? dynamic_cast<TickLabelSuffix *>(axis->ticker().data()) : nullptr;
}

// Sets the tick-label suffix of the axis. An axis whose ticker has no suffix gets a fresh
// SuffixTicker (with the library's default tick strategy) first.
inline void setTickSuffix(QCPAxis *axis, const QString &suffix)
{
    if (!axis)
        return;
    TickLabelSuffix *target = tickLabelSuffix(axis);
    if (!target) {
        QSharedPointer<SuffixTicker> ticker(new SuffixTicker);
        target = ticker.data();
        axis->setTicker(ticker);
    }
    target->setSuffix(suffix);
}
