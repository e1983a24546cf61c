#include "device/ui/MarkedProgressBar.h"

#include <QPainter>
#include <QPen>

MarkedProgressBar::MarkedProgressBar(QWidget *parent)
    : QProgressBar(parent)
{ }

void MarkedProgressBar::paintEvent(QPaintEvent *event)
{
    QProgressBar::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(Qt::red, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    const int w = width();
    const int h = height();
    painter.drawLine(0, h / 2, w, h / 2);
}
