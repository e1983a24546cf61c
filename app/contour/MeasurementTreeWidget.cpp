#include "contour/MeasurementTreeWidget.h"

#include "core/Constants.h"
#include "measurements/ui/Measurement.h"
#include "platform/Prompts.h"

#include <QDebug>
#include <QDropEvent>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>

#include <algorithm>
#include <iterator>

QWidget *NoEditDelegate::createEditor(QWidget *, const QStyleOptionViewItem &,
                                      const QModelIndex &) const
{
    return nullptr;
}

MeasurementTreeWidget::MeasurementTreeWidget(QWidget *parent)
    : QTreeWidget(parent)
{
    // The construction lines a parallel copy can be made of, by their row names.
    const QMap<QString, E_MEASUREMENTS> lineKinds {
        {measurementKindName(CLICK_HORIZONTAL_LINE), CLICK_HORIZONTAL_LINE},
        {measurementKindName(CLICK_VERTICAL_LINE), CLICK_VERTICAL_LINE},
        {measurementKindName(CLICK_DOUBLE_LINE), CLICK_DOUBLE_LINE},
    };
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this, lineKinds](const QPoint &pos) { showContextMenu(pos, lineKinds); });

    setColumnCount(2);
    for (int g = 0; g < kMeasurementGroupCount; ++g) {
        const MeasurementGroupInfo &info = measurementGroupInfo(MeasurementGroup(g));
        groups[g] = makeGroup(QString::fromUtf8(info.rowText), QString::fromUtf8(info.icon));
    }

    header()->setStretchLastSection(true);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragDropMode(QAbstractItemView::InternalMove);
    setDefaultDropAction(Qt::MoveAction);
    setFont(kMonospaceFont);
    expandAll();
    invisibleRootItem()->setFlags(invisibleRootItem()->flags() | Qt::ItemIsDropEnabled);
}

QVariant MeasurementTreeWidget::valueData(const Measurement *m)
{
    return m->hasValue() ? QVariant(m->value()) : QVariant();
}

QTreeWidgetItem *MeasurementTreeWidget::makeGroup(const QString &text, const QString &icon)
{
    auto *item = new QTreeWidgetItem(this);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled
                   | Qt::ItemIsEnabled);
    item->setData(0, Qt::TextAlignmentRole, int(Qt::AlignLeft));
    item->setData(1, Qt::TextAlignmentRole, int(Qt::AlignRight));
    item->setText(0, text);
    item->setIcon(0, QIcon(icon));
    return item;
}

QList<QTreeWidgetItem *> MeasurementTreeWidget::groupRows() const
{
    return QList<QTreeWidgetItem *>(std::begin(groups), std::end(groups));
}

bool MeasurementTreeWidget::isGroupRow(const QTreeWidgetItem *item) const
{
    return item && std::find(std::begin(groups), std::end(groups), item) != std::end(groups);
}

QTreeWidgetItem *MeasurementTreeWidget::groupForType(int type) const
{
    const int g = int(measurementGroupOf(type));
    return g >= 0 && g < kMeasurementGroupCount ? groups[g] : nullptr;
}

QTreeWidgetItem *MeasurementTreeWidget::addMeasurementItem(Measurement *m)
{
    auto *item = new QTreeWidgetItem();
    item->setText(0, m->name());
    item->setText(1, m->valueText());
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsEnabled);
    item->setData(0, Qt::UserRole, m->id());
    item->setData(1, Qt::UserRole, valueData(m));
    item->setData(0, Qt::TextAlignmentRole, int(Qt::AlignLeft));
    item->setData(1, Qt::TextAlignmentRole, int(Qt::AlignRight));

    QTreeWidgetItem *group = groupForType(m->type());
    if (!group) {
        qDebug() << "error: do not know which measurement list to put item, use distances list";
        group = groups[int(MeasurementGroup::Lengths)];
    }
    group->addChild(item);
    scheduleFit();
    return item;
}

void MeasurementTreeWidget::updateMeasurementItem(QTreeWidgetItem *item, Measurement *m)
{
    if (!item || !m)
        return;
    item->setText(1, m->valueText());
    item->setData(1, Qt::UserRole, valueData(m));
    scheduleFit();
}

void MeasurementTreeWidget::scheduleFit()
{
    // Once for all the rows that a recalculation updates one after another.
    if (fitQueued)
        return;
    fitQueued = true;
    QMetaObject::invokeMethod(
        this, [this] { fitToContents(); }, Qt::QueuedConnection);
}

void MeasurementTreeWidget::fitToContents()
{
    fitQueued = false;
    if (givenMinimumWidth < 0)
        givenMinimumWidth = minimumWidth();
    int needed = 2 * frameWidth() + verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < columnCount(); ++c)
        needed += qMax(sizeHintForColumn(c), header()->sectionSizeHint(c));
    setMinimumWidth(qMax(givenMinimumWidth, needed));
}

void MeasurementTreeWidget::updateGroups()
{
    for (int i = 0; !calibrationMode && i < topLevelItemCount(); ++i) {
        QTreeWidgetItem *group = topLevelItem(i);
        if (group->childCount() == 0) {
            group->setText(1, QString());
            continue;
        }
        // Only measured values count: a measurement without one (being built, unmeasurable)
        // must not pull the mean towards 0.
        double sum = 0.0;
        int count = 0;
        for (int c = 0; c < group->childCount(); ++c) {
            const QVariant value = group->child(c)->data(1, Qt::UserRole);
            if (!value.isValid())
                continue;
            sum += value.toDouble();
            ++count;
        }
        group->setText(1, count > 0 ? QString::number(sum / count, 'f', 4) : QString());
    }
    // A group mean may need more room, and a removed row may give some back.
    scheduleFit();
}

void MeasurementTreeWidget::setCalibrationMode(bool on)
{
    calibrationMode = on;
    setColumnCount(2);
    if (!on)
        return;
    setHeader(new QHeaderView(Qt::Horizontal, this));
    setColumnCount(2);
    // The new header sizes its sections as the normal one does, so no group name is clipped.
    header()->setStretchLastSection(true);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    setHeaderLabels({QStringLiteral("ИЗМЕРЕНИЕ"), QStringLiteral("ЗНАЧЕНИЕ")});
    setItemDelegateForColumn(0, new NoEditDelegate(this));
    setItemDelegateForColumn(1, new NoEditDelegate(this));
}

std::vector<MeasurementTreeWidget::GroupRow> MeasurementTreeWidget::reportRows() const
{
    std::vector<GroupRow> rows;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const QTreeWidgetItem *group = topLevelItem(i);
        if (group->childCount() == 0)
            continue;
        GroupRow row;
        row.name = group->text(0).toStdString();
        row.value = group->text(1).toStdString();
        for (int c = 0; c < group->childCount(); ++c) {
            QTreeWidgetItem *child = group->child(c);
            row.items.push_back({child->text(0).toStdString(), child->text(1).toStdString(), child,
                                 child->data(0, Qt::UserRole).toInt()});
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void MeasurementTreeWidget::showContextMenu(const QPoint &pos,
                                            const QMap<QString, E_MEASUREMENTS> &lineKinds)
{
    QTreeWidgetItem *item = itemAt(pos);
    if (!item)
        return;
    const QPoint globalPos = viewport()->mapToGlobal(pos);

    if (!isGroupRow(item)) {
        const int id = item->data(0, Qt::UserRole).toInt();
        const QString name = item->text(0);
        QMenu menu(this);
        QAction *remove = new QAction(QStringLiteral("Удалить"), this);
        menu.addAction(remove);
        QAction *parallel = nullptr;
        if (lineKinds.contains(name)) {
            parallel = new QAction(QStringLiteral("Эквидистанта"), this);
            menu.addAction(parallel);
        }
        QAction *chosen = Prompts::instance()->execMenu(&menu, globalPos);
        if (chosen == remove) {
            emit deleteMeasurement(id);
        } else if (chosen && chosen == parallel) {
            bool ok = false;
            const double distance = Prompts::instance()->getDouble(
                this, QStringLiteral("Эквидистанта"), QStringLiteral("Длина эквидистанты:"), 0,
                -10000, 10000, 2, &ok);
            if (ok)
                emit equidistant(id, lineKinds.value(name), distance);
        }
        delete remove;
        delete parallel;
        return;
    }

    if (item->childCount() == 0)
        return;
    QMenu menu(this);
    QAction *clear = new QAction(QStringLiteral("Очистить"), this);
    menu.addAction(clear);
    QAction *chosen = Prompts::instance()->execMenu(&menu, globalPos);
    delete clear;
    if (!chosen)
        return;
    // Every deletion takes a row out of the group, so the ids are collected first.
    QList<int> ids;
    for (int c = 0; c < item->childCount(); ++c)
        ids.append(item->child(c)->data(0, Qt::UserRole).toInt());
    for (int id : ids)
        emit deleteMeasurement(id);
}

QAbstractItemView::DropIndicatorPosition
MeasurementTreeWidget::dropPosition(const QPoint &pos, QTreeWidgetItem *target) const
{
    // The rule of the view's drop indicator: a band at the upper and the lower edge of a row
    // means above and below it, the rest of the row means onto it.
    const QRect rect = visualItemRect(target);
    const int margin = qBound(2, qRound(rect.height() / 5.5), 12);
    if (pos.y() - rect.top() < margin)
        return AboveItem;
    if (rect.bottom() - pos.y() < margin)
        return BelowItem;
    return OnItem;
}

void MeasurementTreeWidget::dropEvent(QDropEvent *event)
{
    QTreeWidgetItem *target = itemFromIndex(indexAt(event->pos()));
    QTreeWidgetItem *dragged = currentItem();
    const DropIndicatorPosition where = target ? dropPosition(event->pos(), target) : OnViewport;
    QTreeWidgetItem *parent = nullptr; // null: the top level
    bool accepted = false;
    if (target && dragged && target != dragged) {
        if (target->parent() && dragged->parent())
            accepted = target->parent() == dragged->parent();
        else if (!target->parent() && !dragged->parent())
            accepted = where != QAbstractItemView::OnItem;
        parent = target->parent();
    }
    if (!accepted) {
        event->ignore();
        return;
    }
    // The row is moved here rather than by the view, which moves rows only for drags it started
    // itself and would drop a row onto a row; the drop then reports a copy so that the dragging
    // view removes nothing afterwards.
    QTreeWidgetItem *root = parent ? parent : invisibleRootItem();
    const bool wasExpanded = dragged->isExpanded();
    root->takeChild(root->indexOfChild(dragged));
    int index = root->indexOfChild(target);
    if (where == QAbstractItemView::BelowItem)
        ++index;
    root->insertChild(index, dragged);
    dragged->setExpanded(wasExpanded);
    setCurrentItem(dragged);
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (parent)
        updateGroups();
}
