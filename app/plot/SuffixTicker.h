#pragma once

#include <QSharedPointer>
#include <QString>
#include <qcustomplot.h>

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

// Any library ticker kind with a tick-label suffix. With an empty suffix the labels are exactly
// the library's.
template<class Ticker>
class SuffixTickerOf : public Ticker, public TickLabelSuffix
{
protected:
    QString getTickLabel(double tick, const QLocale &locale, QChar formatChar,
                         int precision) override
    {
        return Ticker::getTickLabel(tick, locale, formatChar, precision) + m_suffix;
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
