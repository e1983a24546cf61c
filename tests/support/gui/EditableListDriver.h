#pragma once

#include "contour/EditableList.h"

#include <QLineEdit>
#include <QListWidget>
#include <QtTest>

namespace testsupport {

// Types a name into the open in-place editor of the list and closes it with Return, as the
// operator does; false when no editor is open.
inline bool typeIntoOpenEditor(EditableList *list, const QString &text)
{
    // Closed editors linger until deleted later: take the one open on a row.
    QLineEdit *editor = nullptr;
    for (int row = 0; row < list->count() && !editor; ++row)
        editor = qobject_cast<QLineEdit *>(list->indexWidget(list->model()->index(row, 0)));
    if (!editor)
        return false;
    // QTest types Latin-1 keys only: Cyrillic names go in as typed text.
    editor->selectAll();
    editor->del();
    editor->insert(text);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    return true;
}

// Opens the editor of the row as a double click does and types the name.
inline bool renameRow(EditableList *list, int row, const QString &text)
{
    QListWidgetItem *item = list->item(row);
    list->setCurrentItem(item);
    emit list->itemDoubleClicked(item);
    list->editItem(item);
    return typeIntoOpenEditor(list, text);
}

inline QStringList rowTexts(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

} // namespace testsupport
