#include "contour/ConsoleSelectDialog.h"

#include "contour/EditableList.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

ConsoleSelectDialog::ConsoleSelectDialog(QWidget *parent)
    : QDialog(parent)
    , savedConsoles(Settings::instance()->consoles)
{
    setWindowTitle(QStringLiteral("Выбор консоли"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto *layout = new QVBoxLayout(this);
    consoleList = new EditableList(this);
    layout->addWidget(consoleList);

    for (int i = 0; i < savedConsoles.size(); ++i) {
        auto *item = new QListWidgetItem(savedConsoles.at(i).name, consoleList);
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        item->setData(EditableList::kOriginRole, i);
    }

    auto *buttons = new QHBoxLayout();
    addButton = new QPushButton(QStringLiteral("Добавить"), this);
    selectButton = new QPushButton(QStringLiteral("Выбрать"), this);
    cancelButton = new QPushButton(QStringLiteral("Отмена"), this);
    selectButton->setEnabled(false);
    // Return in the list must not pick a console behind the operator's back.
    addButton->setAutoDefault(false);
    selectButton->setAutoDefault(false);
    cancelButton->setAutoDefault(false);
    buttons->addWidget(addButton);
    buttons->addStretch();
    buttons->addWidget(selectButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);

    connect(consoleList, &QListWidget::itemSelectionChanged, this,
            &ConsoleSelectDialog::onSelectionChanged);
    connect(addButton, &QPushButton::clicked, this, &ConsoleSelectDialog::addConsole);
    connect(selectButton, &QPushButton::clicked, this, &ConsoleSelectDialog::acceptSelection);
    connect(cancelButton, &QPushButton::clicked, this, &ConsoleSelectDialog::cancelSelection);
}

void ConsoleSelectDialog::onSelectionChanged()
{
    selectButton->setEnabled(!consoleList->selectedItems().isEmpty());
}

void ConsoleSelectDialog::addConsole()
{
    consoleList->addEditableItem(QStringLiteral("Новая консоль"));
}

void ConsoleSelectDialog::acceptSelection()
{
    QListWidgetItem *current = consoleList->currentItem();
    if (!current)
        return;
    QList<ConsoleParams> consoles;
    for (int i = 0; i < consoleList->count(); ++i) {
        QListWidgetItem *item = consoleList->item(i);
        const QVariant origin = item->data(EditableList::kOriginRole);
        ConsoleParams console
            = origin.isValid() ? savedConsoles.value(origin.toInt()) : ConsoleParams();
        console.name = item->text();
        consoles.append(console);
    }
    selectedConsoleName = current->text();
    Settings::modify([&](Settings &s) {
        s.consoles = consoles;
        s.current_console.name = selectedConsoleName;
    });
    accept();
}

void ConsoleSelectDialog::cancelSelection()
{
    {
        const auto locker = Settings::writeLocker();
        Settings::instance()->consoles = savedConsoles;
    }
    reject();
}

void ConsoleSelectDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete) {
        consoleList->takeCurrentItem();
        return;
    }
    QDialog::keyPressEvent(event);
}
