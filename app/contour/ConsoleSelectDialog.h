#pragma once

#include "core/Settings.h"

#include <QDialog>
#include <QList>
#include <QString>

class EditableList;
class QListWidgetItem;
class QPushButton;

// "Выбор консоли": the chooser of the console that receives calibration values. The operator
// adds ("Добавить", "Новая консоль" with its editor open), renames, deletes (context menu or the
// Delete key) and picks consoles. "Выбрать" rebuilds the settings' console list from the items,
// makes the chosen one the current console by name and writes settings.ini; until then nothing
// of the settings changes. Each item created at opening keeps the values its console had then
// (its index in savedConsoles is kept on the item); an item added in the dialog gets the values of
// a new ConsoleParams.
class ConsoleSelectDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ConsoleSelectDialog(QWidget *parent = nullptr);

    EditableList *consoleList = nullptr;
    QString selectedConsoleName;
    QList<ConsoleParams> savedConsoles;

    QPushButton *addButton = nullptr;
    QPushButton *selectButton = nullptr;
    QPushButton *cancelButton = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void onSelectionChanged();
    void addConsole();
    void acceptSelection();
    void cancelSelection();
};
