#include "profile/XAxisMarker.h"

#include "core/Constants.h"

#include <qcustomplot.h>

XAxisMarker::XAxisMarker(QCPAxis *axis)
    : QObject(axis)
    , m_axis(axis)
{
    QCustomPlot *plot = axis->parentPlot();
    QCPAxis *valueAxis = axis->orientation() == Qt::Horizontal
        ? axis->axisRect()->axis(QCPAxis::atLeft)
        : axis->axisRect()->axis(QCPAxis::atBottom);

    m_line = new QCPItemStraightLine(plot);
    m_line->setPen(kReperPen);
    m_line->setSelectable(false);
    m_line->point1->setAxes(axis, valueAxis);
    m_line->point2->setAxes(axis, valueAxis);
    m_line->setVisible(false);

    m_label = new QCPItemText(plot);
    m_label->setLayer(QStringLiteral("overlay"));
    m_label->setClipToAxisRect(false);
    m_label->setPadding(QMargins(3, -1, 3, -1));
    m_label->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    m_label->setFont(kMonospaceFont);
    m_label->setSelectable(false);
    m_label->position->setTypeX(QCPItemPosition::ptPlotCoords);
    m_label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    m_label->position->setAxes(axis, valueAxis);
    m_label->position->setAxisRect(axis->axisRect());
    m_label->setVisible(false);
}

XAxisMarker::~XAxisMarker()
{
    // When the plot goes first it has deleted the items already.
    for (QCPAbstractItem *item : {static_cast<QCPAbstractItem *>(m_line.data()),
                                  static_cast<QCPAbstractItem *>(m_label.data())}) {
        if (item)
            item->parentPlot()->removeItem(item);
    }
}

void XAxisMarker::setPosition(double x, double y)
{
    m_line->point1->setCoords(x, 0.0);
    m_line->point2->setCoords(x, 1.0);
    m_label->position->setCoords(x, 0.0);
    m_positionX = x;
    m_positionY = y;
}

void XAxisMarker::setVisible(bool visible)
{
    m_line->setVisible(visible);
    m_label->setVisible(visible);
}

bool XAxisMarker::isVisible() const
{
    return m_line && m_line->visible();
}
