// The editable name list and the console chooser: in-place renaming with the repair of empty and
// duplicate names, the context menu, and what "Выбрать", "Отмена" and Delete do to the settings.

#include "contour/ConsoleSelectDialog.h"
#include "contour/EditableList.h"
#include "support/TempSettings.h"
#include "support/TestConsoles.h"
#include "support/gui/EditableListDriver.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"

#include <QAction>
#include <QPushButton>

using namespace testsupport;

namespace {

EditableList *listOf(const QStringList &names, QWidget *parent)
{
    auto *list = new EditableList(parent);
    for (const QString &name : names) {
        auto *item = new QListWidgetItem(name, list);
        item->setFlags(item->flags() | Qt::ItemIsEditable);
    }
    return list;
}

} // namespace

class TestConsoleSelection : public QObject
{
    Q_OBJECT

private slots:
    void renameRepairsNames_data();
    void renameRepairsNames();
    void addedItemsGetDistinctNames();
    void contextMenuListsOwnerActionsFirstAndActs();
    void chooserStartsDisabledAndAcceptsAnAddedConsole();
    void chooserRebuildsTheListKeepingEachItemsValues();
    void cancelEscapeAndDeleteLeaveTheSettings();
};

void TestConsoleSelection::renameRepairsNames_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("fromMenu");

    const QStringList abc {"A", "B", "C"};
    QTest::newRow("plain rename") << abc << 0 << "Z"
                                  << "Z" << false;
    QTest::newRow("emptied name goes back") << abc << 1 << ""
                                            << "B" << false;
    QTest::newRow("duplicate gets 1") << abc << 0 << "B"
                                      << "B1" << false;
    QTest::newRow("next free number") << QStringList {"A", "B", "B1"} << 0 << "B"
                                      << "B2" << false;
    QTest::newRow("same name kept") << abc << 2 << "C"
                                    << "C" << false;
    QTest::newRow("from the menu") << abc << 0 << "C"
                                   << "C1" << true;
}

void TestConsoleSelection::renameRepairsNames()
{
    QFETCH(QStringList, names);
    QFETCH(int, row);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    QFETCH(bool, fromMenu);

    QWidget window;
    EditableList *list = listOf(names, &window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    if (fromMenu) {
        ScriptedPrompts prompts;
        prompts.answers << QStringLiteral("Переименовать");
        list->setCurrentRow(row);
        const QPoint pos = list->visualItemRect(list->item(row)).center();
        emit list->customContextMenuRequested(pos);
        QVERIFY(typeIntoOpenEditor(list, typed));
    } else {
        QVERIFY(renameRow(list, row, typed));
    }
    QCOMPARE(list->item(row)->text(), expected);
    QVERIFY(!list->editedItem);
    QVERIFY(list->textBeforeEditing.isEmpty());
}

void TestConsoleSelection::addedItemsGetDistinctNames()
{
    QWidget window;
    EditableList *list = listOf({}, &window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    list->addEditableItem(QStringLiteral("Новая консоль"));
    QVERIFY(typeIntoOpenEditor(list, QStringLiteral("Новая консоль")));
    list->addEditableItem(QStringLiteral("Новая консоль"));
    QVERIFY(typeIntoOpenEditor(list, QStringLiteral("Новая консоль")));
    // An emptied new name collides with the other item: the number goes after the old name.
    list->addEditableItem(QStringLiteral("Новая консоль"));
    QVERIFY(typeIntoOpenEditor(list, QString()));
    QCOMPARE(rowTexts(list), (QStringList {"Новая консоль", "Новая консоль1", "Новая консоль2"}));
}

void TestConsoleSelection::contextMenuListsOwnerActionsFirstAndActs()
{
    QWidget window;
    EditableList *list = listOf({"A", "B"}, &window);
    QAction own(QStringLiteral("Откалибровать"));
    list->additionalActions.append(&own);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    ScriptedPrompts prompts;
    // Below the last item there is no menu.
    emit list->customContextMenuRequested(QPoint(5, list->viewport()->height() - 2));
    QVERIFY(prompts.asked.isEmpty());

    prompts.answers << QStringLiteral("Удалить");
    list->setCurrentRow(0);
    emit list->customContextMenuRequested(list->visualItemRect(list->item(0)).center());
    QCOMPARE(prompts.asked.size(), 1);
    QCOMPARE(prompts.asked.at(0).text, QStringLiteral("Откалибровать|Переименовать|Удалить"));
    QCOMPARE(rowTexts(list), QStringList {"B"});
    // The owner's action is not the list's: it survives the menu.
    QCOMPARE(list->additionalActions.size(), 1);

    list->setCurrentRow(-1);
    list->takeCurrentItem();
    QCOMPARE(list->count(), 1);
}

void TestConsoleSelection::chooserStartsDisabledAndAcceptsAnAddedConsole()
{
    TempSettings settings;
    settings.forgetFile();
    ConsoleSelectDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Выбор консоли"));
    QCOMPARE(dialog.consoleList->count(), 0);
    QVERIFY(!dialog.selectButton->isEnabled());

    dialog.addButton->click();
    QCOMPARE(dialog.consoleList->item(0)->text(), QStringLiteral("Новая консоль"));
    QVERIFY(typeIntoOpenEditor(dialog.consoleList, QStringLiteral("Консоль 1")));
    dialog.consoleList->item(0)->setSelected(true);
    QVERIFY(dialog.selectButton->isEnabled());
    const GrabResult grab = grabWindow(&dialog, QStringLiteral("console_chooser"));
    VERIFY_GRAB(grab);
    dialog.selectButton->click();

    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.selectedConsoleName, QStringLiteral("Консоль 1"));
    QCOMPARE(settings.stored("consoles/count").toInt(), 1);
    QCOMPARE(settings.stored("consoles/p_0").toString(), QStringLiteral("Консоль 1"));
    QCOMPARE(settings.stored("consoles/current_console").toString(), QStringLiteral("Консоль 1"));
    // A console added in the dialog gets the values of a new console.
    QCOMPARE(settings->consoles.at(0).tool_head_radius_down, 20.0);
    QCOMPARE(settings->consoles.at(0).roughness_ratio, 6.2);
}

void TestConsoleSelection::chooserRebuildsTheListKeepingEachItemsValues()
{
    // Two consoles share a name: each keeps its own values through the dialog.
    TempSettings settings([](Settings &s) {
        s.consoles = {testConsole("A", 30), testConsole("B", 40), testConsole("A", 50),
                      testConsole("C", 60)};
        s.current_console = testConsole("A", 30);
    });
    ConsoleSelectDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(renameRow(dialog.consoleList, 1, QStringLiteral("B2")));
    dialog.consoleList->setCurrentRow(3);
    QTest::keyClick(&dialog, Qt::Key_Delete); // removes "C"
    dialog.addButton->click();
    QVERIFY(typeIntoOpenEditor(dialog.consoleList, QStringLiteral("D")));
    dialog.consoleList->setCurrentRow(1);
    dialog.selectButton->click();

    const QList<ConsoleParams> &stored = settings->consoles;
    QCOMPARE(stored.size(), 4);
    const QStringList names {stored[0].name, stored[1].name, stored[2].name, stored[3].name};
    QCOMPARE(names, (QStringList {"A", "B2", "A", "D"}));
    QCOMPARE(stored[0].tool_head_radius_down, 30.0);
    QCOMPARE(stored[1].tool_head_radius_down, 40.0);
    QCOMPARE(stored[2].tool_head_radius_down, 50.0);
    QCOMPARE(stored[3].tool_head_radius_down, 20.0);
    // The current console takes the chosen name and keeps its values.
    QCOMPARE(settings->current_console.name, QStringLiteral("B2"));
    QCOMPARE(settings->current_console.tool_head_radius_down, 30.0);
    QCOMPARE(settings.stored("consoles/count").toInt(), 4);
    QCOMPARE(settings.stored("consoles/p_1/tool_head_radius_down").toDouble(), 40.0);
}

void TestConsoleSelection::cancelEscapeAndDeleteLeaveTheSettings()
{
    TempSettings settings([](Settings &s) {
        s.consoles = {testConsole("A", 30), testConsole("B", 40)};
    });
    settings.forgetFile();
    for (const QString &how : {QStringLiteral("cancel"), QStringLiteral("escape")}) {
        ConsoleSelectDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.consoleList->setCurrentRow(0);
        QTest::keyClick(&dialog, Qt::Key_Delete);
        QCOMPARE(dialog.consoleList->count(), 1);
        if (how == QLatin1String("cancel"))
            dialog.cancelButton->click();
        else
            QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(dialog.selectedConsoleName.isEmpty());
        QCOMPARE(settings->consoles.size(), 2);
    }
    QVERIFY(!settings.saved());
}

GUI_TEST_MAIN(TestConsoleSelection)
#include "tst_ConsoleSelection.moc"
