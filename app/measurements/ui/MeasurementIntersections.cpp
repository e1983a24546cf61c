#include "measurements/ui/MeasurementIntersections.h"

#include "measurements/MeasurementKinds.h"
#include "measurements/ui/Measurement.h"

#include <optional>

namespace {

std::optional<CircleShape> circleOf(const Measurement *m)
{
    QPointF centre;
    double radius = 0.0;
    if (!m || !m->constructionCircle(&centre, &radius))
        return std::nullopt;
    return CircleShape {centre.x(), centre.y(), radius};
}

std::optional<LineShape> lineOf(const Measurement *m)
{
    const QVector<double> c = m ? m->lineCoefficients() : QVector<double>();
    if (c.size() < 2)
        return std::nullopt;
    return LineShape {c[0], c[1]};
}

bool isKind(const Measurement *m, ConstructionRole role)
{
    return m && measurementKindInfo(m->type()).role == role;
}

} // namespace

QList<QPointF> intersectCircles(Measurement *a, Measurement *b)
{
    const auto ca = circleOf(a);
    const auto cb = circleOf(b);
    return ca && cb ? intersectCircles(*ca, *cb) : QList<QPointF>();
}

QList<QPointF> intersectVerticalAndLine(Measurement *a, Measurement *b)
{
    if (!isKind(a, ConstructionRole::VerticalLine))
        std::swap(a, b);
    const auto vertical = lineOf(a);
    const auto line = lineOf(b);
    return vertical && line ? intersectVerticalAndLine(vertical->b, *line) : QList<QPointF>();
}

QList<QPointF> intersectVerticalAndCircle(Measurement *a, Measurement *b)
{
    if (!isKind(a, ConstructionRole::Circle))
        std::swap(a, b);
    const auto circle = circleOf(a);
    const auto vertical = lineOf(b);
    return circle && vertical ? intersectVerticalAndCircle(vertical->b, *circle) : QList<QPointF>();
}

QList<QPointF> intersectLineAndCircle(Measurement *a, Measurement *b)
{
    if (!isKind(a, ConstructionRole::Circle))
        std::swap(a, b);
    const auto circle = circleOf(a);
    const auto line = lineOf(b);
    return circle && line ? intersectLineAndCircle(*line, *circle) : QList<QPointF>();
}

QList<QPointF> intersectLineAndLine(Measurement *a, Measurement *b)
{
    const auto la = lineOf(a);
    const auto lb = lineOf(b);
    return la && lb ? intersectLineAndLine(*la, *lb) : QList<QPointF>();
}

QList<QPointF> intersectMeasurements(Measurement *a, Measurement *b)
{
    if (!a || !b)
        return {};
    switch (intersectionRoutine(a->type(), b->type())) {
    case IntersectionRoutine::Circles:
        return intersectCircles(a, b);
    case IntersectionRoutine::LineAndCircle:
        return intersectLineAndCircle(a, b);
    case IntersectionRoutine::VerticalAndCircle:
        return intersectVerticalAndCircle(a, b);
    case IntersectionRoutine::VerticalAndLine:
        return intersectVerticalAndLine(a, b);
    case IntersectionRoutine::LineAndLine:
        return intersectLineAndLine(a, b);
    case IntersectionRoutine::None:
        break;
    }
    return {};
}
