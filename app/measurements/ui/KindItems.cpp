#include "measurements/ui/KindItems.h"

#include "core/Constants.h"
#include "measurements/ui/Measurement.h"

KindItems::KindItems(Plot *plot, LabelLayout layout)
    : m_plot(plot)
    , m_layout(layout)
    , m_pen(kItemPen)
{ }

KindItems::~KindItems()
{
    if (!m_plot)
        return;
    for (const Mark &mark : qAsConst(m_marks)) {
        if (mark.item)
            m_plot->removeItem(mark.item.data());
    }
    if (m_label)
        m_plot->removeItem(m_label.data());
}

QCPItemText *KindItems::addLabel(const QString &layer)
{
    if (!m_plot)
        return nullptr;
    if (m_label)
        m_plot->removeItem(m_label.data());
    m_label = new QCPItemText(m_plot);
    m_label->setLayer(layer);
    m_label->setFont(kMonospaceFont);
    return m_label;
}

void KindItems::setSelected(bool selected)
{
    m_pen = selected ? kSelectedItemPen : kItemPen;
    for (const Mark &mark : qAsConst(m_marks))
        mark.setPen(m_pen);
}

void KindItems::setVisible(bool visible)
{
    setMarksVisible(visible);
    setLabelVisible(visible);
}

void KindItems::setMarksVisible(bool visible)
{
    for (const Mark &mark : qAsConst(m_marks)) {
        if (mark.item)
            mark.item->setVisible(visible);
    }
}

void KindItems::setLabelVisible(bool visible)
{
    if (m_label)
        m_label->setVisible(visible);
}

void KindItems::setLargeLabel(bool large)
{
    if (m_label)
        m_label->setFont(Measurement::valueLabelFont(large));
}

void KindItems::showDesignation(const QString &designation)
{
    if (m_label)
        m_label->setText(designation);
}

void KindItems::setLabel(const QString &text, const QString &designation, const QPointF &position,
                         double rotation, int alignment)
{
    if (!m_label)
        return;
    switch (m_layout) {
    case LabelLayout::ValueOnly:
        m_label->setText(text);
        break;
    case LabelLayout::DesignationFirst:
        m_label->setText(designation + QLatin1Char('\n') + text);
        break;
    case LabelLayout::DesignationOutside:
        if (alignment & Qt::AlignBottom)
            m_label->setText(designation + QLatin1Char('\n') + text);
        else
            m_label->setText(text + QLatin1Char('\n') + designation);
        break;
    }
    m_label->position->setCoords(position);
    m_label->setRotation(rotation);
    m_label->setPositionAlignment(Qt::Alignment(alignment));
}
