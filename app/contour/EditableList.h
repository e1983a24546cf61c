#pragma once

#include <QListWidget>
#include <QString>
#include <QVector>

class QAction;
class QPoint;

// A list of names that the operator renames in place. When an item's editor closes, the list
// keeps the name non-empty (an emptied name goes back to the name before editing) and distinct
// from the other items' names (a colliding name gets the first free number appended). Its
// context menu, opened over an item, holds the owner's additional actions followed by
// "Переименовать" and "Удалить".
//
// Whoever adds an item makes it editable (Qt::ItemIsEditable); addEditableItem does so.
class EditableList : public QListWidget
{
    Q_OBJECT

public:
    explicit EditableList(QWidget *parent = nullptr);

    // Appends an editable item with the text and opens its editor at once.
    QListWidgetItem *addEditableItem(const QString &text);

    // The role under which an owner marks an item that stood for a stored record when the list
    // was filled. The mark lives on the item, so an item added later never inherits it, even
    // when it takes the place (and the address) of a deleted one.
    static constexpr int kOriginRole = Qt::UserRole + 1;

    // Actions shown at the top of the context menu, in order; not owned by the list.
    QVector<QAction *> additionalActions;

    // The item whose editor is open (null otherwise) and its text when the editing began.
    QListWidgetItem *editedItem = nullptr;
    QString textBeforeEditing;

    // The name an item typed as `typed` (its text before editing `before`) gets among `others`.
    static QString repairedName(const QString &typed, const QString &before,
                                const QStringList &others);

    void renameSelectedItems();
    void takeCurrentItem();

private:
    void onItemDoubleClicked(QListWidgetItem *item);
    void onCloseEditor();
    void showContextMenu(const QPoint &pos);
};
