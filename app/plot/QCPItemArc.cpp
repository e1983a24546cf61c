#include "plot/QCPItemArc.h"

#include <QDebug>
#include <QtMath>

QCPItemArc::QCPItemArc(QCustomPlot *parentPlot)
    : QCPAbstractItem(parentPlot)
    , topLeft(createPosition(QStringLiteral("topLeft")))
    , bottomRight(createPosition(QStringLiteral("bottomRight")))
    , m_pen(Qt::black)
    , m_selectedPen(QBrush(Qt::blue), 2.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin)
    , m_brush(Qt::NoBrush)
    , m_selectedBrush(Qt::NoBrush)
{
    topLeft->setCoords(0, 1);
    bottomRight->setCoords(1, 0);
}

QCPItemArc::~QCPItemArc() = default;

double QCPItemArc::selectTest(const QPointF &pos, bool onlySelectable, QVariant *details) const
{
    Q_UNUSED(details)
    if (onlySelectable && !mSelectable)
        return -1;

    const QPointF p1 = topLeft->pixelPosition();
    const QPointF p2 = bottomRight->pixelPosition();
    const QPointF center = (p1 + p2) / 2.0;
    const double a = qAbs(p1.x() - p2.x()) / 2.0;
    const double b = qAbs(p1.y() - p2.y()) / 2.0;
    const double x = pos.x() - center.x();
    const double y = pos.y() - center.y();

    double distance;
    double q;
    if (a <= 0.0 || b <= 0.0) {
        // A flat ellipse is the segment between the two positions; the ray formula below would
        // divide by zero.
        distance
            = std::sqrt(QCPVector2D(pos).distanceSquaredToLine(QCPVector2D(p1), QCPVector2D(p2)));
        q = distance == 0.0 ? 1.0 : 2.0;
    } else {
        q = x * x / (a * a) + y * y / (b * b);
        // Distance to the outline along the ray from the centre; from the centre itself the
        // outline is nearest along the shorter semi-axis.
        distance = q > 0.0 ? qAbs(1.0 / qSqrt(q) - 1.0) * qSqrt(x * x + y * y) : qMin(a, b);
    }

    const double tolerance = mParentPlot->selectionTolerance() * 0.99;
    if (distance > tolerance && m_brush.style() != Qt::NoBrush && m_brush.color().alpha() != 0
        && q <= 1.0)
        return tolerance;
    return distance;
}

void QCPItemArc::draw(QCPPainter *painter)
{
    const QPointF p1 = topLeft->pixelPosition();
    const QPointF p2 = bottomRight->pixelPosition();
    if (p1.toPoint() == p2.toPoint())
        return;
    const QRectF arcRect = QRectF(p1, p2).normalized();
    const int grow = int(mainPen().widthF());
    const QRect clip = clipRect().adjusted(-grow, -grow, grow, grow);
    if (!arcRect.intersects(QRectF(clip)))
        return;
    painter->setPen(mainPen());
    painter->setBrush(mainBrush());
    try {
        painter->drawArc(arcRect, startAngle, spanAngle);
    } catch (...) {
        qDebug() << Q_FUNC_INFO << "Item too large for memory, setting invisible";
        setVisible(false);
    }
}
