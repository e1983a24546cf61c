#include "contour/EditableList.h"

#include "platform/Prompts.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QMenu>

EditableList::EditableList(QWidget *parent)
    : QListWidget(parent)
{
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QListWidget::customContextMenuRequested, this, &EditableList::showContextMenu);
    connect(this, &QListWidget::itemDoubleClicked, this, &EditableList::onItemDoubleClicked);
    connect(itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
            &EditableList::onCloseEditor);
}

QListWidgetItem *EditableList::addEditableItem(const QString &text)
{
    auto *item = new QListWidgetItem(text, this);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    editedItem = item;
    textBeforeEditing = text;
    setCurrentItem(item);
    editItem(item);
    return item;
}

QString EditableList::repairedName(const QString &typed, const QString &before,
                                   const QStringList &others)
{
    // The numbers go after the name the item keeps: the typed one, or the earlier one when the
    // operator emptied the field.
    const QString base = typed.isEmpty() ? before : typed;
    QString candidate = base;
    for (int n = 1; others.contains(candidate); ++n)
        candidate = base + QString::number(n);
    return candidate;
}

void EditableList::onItemDoubleClicked(QListWidgetItem *item)
{
    editedItem = item;
    textBeforeEditing = item ? item->text() : QString();
}

void EditableList::onCloseEditor()
{
    QListWidgetItem *item = editedItem;
    editedItem = nullptr;
    const QString before = textBeforeEditing;
    textBeforeEditing.clear();
    if (!item)
        return;
    // The item may have been removed while its editor was open: look for it by address only.
    bool listed = false;
    QStringList others;
    for (int i = 0; i < count(); ++i) {
        if (this->item(i) == item)
            listed = true;
        else
            others << this->item(i)->text();
    }
    if (!listed)
        return;
    const QString name = repairedName(item->text(), before, others);
    if (name != item->text())
        item->setData(Qt::DisplayRole, name);
}

void EditableList::showContextMenu(const QPoint &pos)
{
    if (!itemAt(pos))
        return;
    QMenu menu;
    for (QAction *action : qAsConst(additionalActions))
        menu.addAction(action);
    QAction *rename = menu.addAction(QStringLiteral("Переименовать"));
    QAction *remove = menu.addAction(QStringLiteral("Удалить"));
    connect(rename, &QAction::triggered, this, &EditableList::renameSelectedItems);
    connect(remove, &QAction::triggered, this, &EditableList::takeCurrentItem);
    // Running the menu triggers the chosen action.
    Prompts::instance()->execMenu(&menu, viewport()->mapToGlobal(pos));
}

void EditableList::renameSelectedItems()
{
    const QList<QListWidgetItem *> items = selectedItems();
    for (QListWidgetItem *item : items) {
        onItemDoubleClicked(item);
        editItem(item);
    }
}

void EditableList::takeCurrentItem()
{
    const int current = currentRow();
    if (current < 0)
        return;
    if (editedItem == item(current)) {
        editedItem = nullptr;
        textBeforeEditing.clear();
    }
    delete takeItem(current);
}
