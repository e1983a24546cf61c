#include "settings/ColorPickerWidget.h"

#include "platform/Prompts.h"

#include <QMouseEvent>
#include <QPainter>

ColorPickerWidget::ColorPickerWidget(QWidget *parent)
    : QWidget(parent)
{
    // A new child widget is 100 x 30; the swatch keeps that size.
    setFixedSize(size());
}

void ColorPickerWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QColor chosen = Prompts::instance()->getColor(color, this, QStringLiteral("Выбор цвета"));
    if (!chosen.isValid())
        return;
    color = chosen;
    update();
    emit colorChanged(chosen);
}

void ColorPickerWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.setBrush(QBrush(color, Qt::SolidPattern));
    // One pixel narrower and lower than the widget: the pen adds it back, so the whole outline
    // lies inside.
    painter.drawRect(0, 0, width() - 1, height() - 1);
}
