#pragma once

#include "plot/Plot.h"

#include <QPen>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QVector>
#include <qcustomplot.h>

#include <functional>

// The graphic items of a measurement on its plot: the marks (lines, arcs, circles) that take the
// selected or the normal item pen as the measurement is selected in the tree or not, and the
// value label, which carries the report designation and has a large form for the report picture.
// Every item leaves the plot with this object. Without a plot nothing is made and every call does
// nothing.
class KindItems
{
public:
    // How the label's text joins the value and the report designation.
    enum class LabelLayout {
        ValueOnly, // the value alone; the report picture shows the designation in its place
        DesignationFirst, // the designation, a line break, the value
        // The designation on the far side from the anchor: first when the label sits above its
        // position (Qt::AlignBottom), last otherwise.
        DesignationOutside,
    };

    KindItems(Plot *plot, LabelLayout layout);
    ~KindItems();
    KindItems(const KindItems &) = delete;
    KindItems &operator=(const KindItems &) = delete;

    // A new mark of the item type on the layer, drawn with the normal item pen; null without a
    // plot.
    template<class Item>
    Item *addMark(const QString &layer = QStringLiteral("overlay"))
    {
        if (!m_plot)
            return nullptr;
        auto *item = new Item(m_plot);
        item->setLayer(layer);
        QPointer<Item> guarded(item);
        Mark mark;
        mark.item = item;
        mark.setPen = [guarded](const QPen &pen) {
            if (guarded)
                guarded->setPen(pen);
        };
        m_marks.append(mark);
        item->setPen(m_pen);
        return item;
    }
    // The value label on the layer, in the monospace font; null without a plot.
    QCPItemText *addLabel(const QString &layer = QStringLiteral("overlay"));
    QCPItemText *label() const { return m_label; }

    // The selected or the normal item pen on every mark.
    void setSelected(bool selected);
    void setVisible(bool visible);
    void setMarksVisible(bool visible);
    void setLabelVisible(bool visible);
    // The large font of the report picture, or the normal one.
    void setLargeLabel(bool large);
    // The designation alone (the report picture of a value-only label).
    void showDesignation(const QString &designation);
    // The label's text, its position, rotation and alignment; the designation joins the text as
    // the layout says.
    void setLabel(const QString &text, const QString &designation, const QPointF &position,
                  double rotation, int alignment);

private:
    struct Mark
    {
        QPointer<QCPAbstractItem> item;
        std::function<void(const QPen &)> setPen;
    };

    QPointer<Plot> m_plot;
    LabelLayout m_layout;
    QPen m_pen;
    QVector<Mark> m_marks;
    QPointer<QCPItemText> m_label;
};
