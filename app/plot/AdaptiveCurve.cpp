#include "plot/AdaptiveCurve.h"

#include <cmath>

AdaptiveCurve::AdaptiveCurve(QCPAxis *keyAxis, QCPAxis *valueAxis)
    : QCPCurve(keyAxis, valueAxis)
{ }

AdaptiveCurve::~AdaptiveCurve() = default;

QVector<QPointF> AdaptiveCurve::thinLinePoints(const QVector<QPointF> &lines) const
{
    if (!m_thinning || lines.size() <= 2)
        return lines;

    QVector<QPointF> result;
    result.reserve(lines.size());
    const QPointF *p = lines.constData();
    const QPointF *const end = p + lines.size();

    bool haveAnchor = false; // false at the start and after a gap
    double kx = 0.0;
    double ky = 0.0;
    const QPointF *dropped = nullptr; // last input point dropped since the anchor
    for (; p != end; ++p) {
        const double x = p->x();
        const double y = p->y();
        if (std::isnan(x) || std::isnan(y)) {
            if (dropped)
                result.append(*dropped);
            if (!result.isEmpty() && !std::isnan(result.constLast().x())
                && !std::isnan(result.constLast().y()))
                result.append(*p);
            haveAnchor = false;
            dropped = nullptr;
            continue;
        }
        if (!haveAnchor || x > kx + 1 || x < kx - 1 || y > ky + 1 || y < ky - 1) {
            result.append(*p);
            kx = x;
            ky = y;
            haveAnchor = true;
            dropped = nullptr;
        } else {
            dropped = p;
        }
    }
    return result;
}

void AdaptiveCurve::drawCurveLine(QCPPainter *painter, const QVector<QPointF> &lines) const
{
    QCPCurve::drawCurveLine(painter, thinLinePoints(lines));
}
