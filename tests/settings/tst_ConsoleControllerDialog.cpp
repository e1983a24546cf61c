// The consoles and controllers editor: rename, remove, add, OK and Cancel in both modes, and
// "Откалибровать", which makes a console current and runs a calibration whose saves are relayed
// and whose new console joins the list.

#include "contour/CalibrationToolsWidget.h"
#include "contour/ConsoleSelectDialog.h"
#include "core/ContourTrace.h"
#include "platform/DialogRunner.h"
#include "settings/ConsoleControllerDialog.h"
#include "settings/DialogCalibration.h"
#include "support/TempSettings.h"
#include "support/TestConsoles.h"
#include "support/gui/EditableListDriver.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSignalSpy>

#include <memory>

using namespace testsupport;

namespace {

EditableList *listOf(ConsoleControllerDialog &dialog)
{
    return dialog.findChild<EditableList *>(QStringLiteral("listWidget"));
}

void press(ConsoleControllerDialog &dialog, QDialogButtonBox::StandardButton which)
{
    dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(which)->click();
}

QStringList consoleNames(const Settings &s)
{
    QStringList names;
    for (const ConsoleParams &c : s.consoles)
        names << c.name;
    return names;
}

} // namespace

class TestConsoleControllerDialog : public QObject
{
    Q_OBJECT

private slots:
    void controllersOkStoresTheListAsShown_data();
    void controllersOkStoresTheListAsShown();
    void cancelStoresNothing();
    void consolesKeepTheirValuesThroughRenameAndRemove();
    void removingEveryConsoleLeavesNoConsoleCurrent();
    void calibrateMakesTheConsoleCurrentAndRelaysSaves();
    void calibrateWithoutTracesWarns();
    void editorLooksRight();
};

void TestConsoleControllerDialog::controllersOkStoresTheListAsShown_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QString>("current");

    QTest::newRow("rename current") << "rename 0 Z" << QStringList {"Z", "Y"} << "Z";
    QTest::newRow("remove current") << "delete 0" << QStringList {"Y"} << "Y";
    // The added item may take the removed one's place in memory; it is still a new name.
    QTest::newRow("remove current, then add")
        << "delete 0;add" << QStringList {"Y", "Новый контролёр"} << "Y";
    QTest::newRow("remove all") << "delete 0;delete 0" << QStringList {} << "No name";
    QTest::newRow("add twice") << "add;add"
                               << QStringList {"X", "Y", "Новый контролёр", "Новый контролёр1"}
                               << "X";
}

void TestConsoleControllerDialog::controllersOkStoresTheListAsShown()
{
    QFETCH(QString, edit);
    QFETCH(QStringList, stored);
    QFETCH(QString, current);
    TempSettings settings([](Settings &s) {
        s.controllers = QStringList {"X", "Y"};
        s.current_controller_name = "X";
    });
    ConsoleControllerDialog dialog(ConsoleControllerDialog::CONTROLLERS_MODE, {});
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Контроллеры"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    EditableList *list = listOf(dialog);
    for (const QString &step : edit.split(QLatin1Char(';'))) {
        const QStringList words = step.split(QLatin1Char(' '));
        if (words[0] == QLatin1String("rename")) {
            QVERIFY(renameRow(list, words[1].toInt(), words[2]));
        } else if (words[0] == QLatin1String("delete")) {
            list->setCurrentRow(words[1].toInt());
            QTest::keyClick(&dialog, Qt::Key_Delete);
        } else {
            QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("addPushButton")),
                              Qt::LeftButton);
            QVERIFY(typeIntoOpenEditor(list, QStringLiteral("Новый контролёр")));
        }
    }
    press(dialog, QDialogButtonBox::Ok);
    QCOMPARE(settings->controllers, stored);
    QCOMPARE(settings->current_controller_name, current);
    QCOMPARE(settings.stored("controllers/count").toInt(), stored.size());
    QCOMPARE(settings.stored("controllers/current_controller_name").toString(), current);
}

void TestConsoleControllerDialog::cancelStoresNothing()
{
    TempSettings settings([](Settings &s) {
        s.controllers = QStringList {"X", "Y"};
        s.current_controller_name = "X";
        s.consoles = {testConsole("A", 30)};
    });
    settings.forgetFile();
    for (int mode : {int(ConsoleControllerDialog::CONTROLLERS_MODE),
                     int(ConsoleControllerDialog::CONSOLES_MODE)}) {
        ConsoleControllerDialog dialog(mode, {});
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(renameRow(listOf(dialog), 0, QStringLiteral("Другое")));
        press(dialog, QDialogButtonBox::Cancel);
    }
    QVERIFY(!settings.saved());
    QCOMPARE(settings->controllers, (QStringList {"X", "Y"}));
    QCOMPARE(consoleNames(settings.record()), QStringList {"A"});
}

void TestConsoleControllerDialog::consolesKeepTheirValuesThroughRenameAndRemove()
{
    TempSettings settings([](Settings &s) {
        s.consoles = {testConsole("A", 30), testConsole("B", 40), testConsole("B", 45),
                      testConsole("C", 50)};
        s.current_console = testConsole("B", 40);
    });
    std::unique_ptr<ContourTrace> trace(new ContourTrace);
    ConsoleControllerDialog dialog(ConsoleControllerDialog::CONSOLES_MODE, {trace.get()});
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Консоли"));
    QCOMPARE(dialog.traceClones.size(), 1);
    QVERIFY(dialog.traceClones[0] != trace.get());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(!dialog.findChild<QPushButton *>(QStringLiteral("addPushButton"))->isVisible());
    EditableList *list = listOf(dialog);
    QVERIFY(renameRow(list, 1, QStringLiteral("B2")));
    list->setCurrentRow(0);
    QTest::keyClick(&dialog, Qt::Key_Delete);
    press(dialog, QDialogButtonBox::Ok);

    const QList<ConsoleParams> &stored = settings->consoles;
    QCOMPARE(consoleNames(settings.record()), (QStringList {"B2", "B", "C"}));
    // Each console keeps its own values, those sharing a name included.
    QCOMPARE(stored[0].tool_head_radius_down, 40.0);
    QCOMPARE(stored[1].tool_head_radius_down, 45.0);
    QCOMPARE(stored[2].tool_head_radius_down, 50.0);
    QCOMPARE(settings->current_console.name, QStringLiteral("B2"));
    QCOMPARE(settings.stored("consoles/p_0/tool_head_radius_down").toDouble(), 40.0);
    QCOMPARE(settings.stored("consoles/current_console").toString(), QStringLiteral("B2"));
}

void TestConsoleControllerDialog::removingEveryConsoleLeavesNoConsoleCurrent()
{
    TempSettings settings([](Settings &s) {
        s.consoles = {testConsole("A", 30)};
        s.current_console = testConsole("A", 30);
    });
    ConsoleControllerDialog dialog(ConsoleControllerDialog::CONSOLES_MODE, {});
    dialog.show();
    listOf(dialog)->setCurrentRow(0);
    QTest::keyClick(&dialog, Qt::Key_Delete);
    press(dialog, QDialogButtonBox::Ok);
    QVERIFY(settings->consoles.isEmpty());
    QCOMPARE(settings->current_console.name, QStringLiteral("No console"));
    QCOMPARE(settings->current_console.tool_head_radius_down, 30.0);
    QCOMPARE(settings.stored("consoles/count").toInt(), 0);
}

void TestConsoleControllerDialog::calibrateMakesTheConsoleCurrentAndRelaysSaves()
{
    TempSettings settings([](Settings &s) {
        s.device.device_type = CONTOUR;
        s.consoles = {testConsole("A", 30), testConsole("B", 40)};
        s.current_console = testConsole("A", 30);
    });
    std::unique_ptr<ContourTrace> trace(new ContourTrace);
    ConsoleControllerDialog dialog(ConsoleControllerDialog::CONSOLES_MODE, {trace.get()});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy relayed(&dialog, &ConsoleControllerDialog::setCurrentConsoleForAllTraces);
    EditableList *list = listOf(dialog);
    list->setCurrentRow(1);

    Settings atOpening = settings.record();
    DialogInterceptor interceptor([&](QDialog *d) {
        if (auto *chooser = qobject_cast<ConsoleSelectDialog *>(d)) {
            chooser->addButton->click();
            QVERIFY(typeIntoOpenEditor(chooser->consoleList, QStringLiteral("Новая")));
            chooser->consoleList->setCurrentRow(2);
            chooser->selectButton->click();
            return;
        }
        auto *calibration = dynamic_cast<DialogCalibration *>(d);
        QVERIFY(calibration);
        QCOMPARE(calibration->parentWidget(), &dialog);
        // Before the dialog shows, B is current with its values, in the calibration group too.
        atOpening = settings.record();
        CalibrationToolsWidget *panel = calibration->tools();
        panel->findChild<QDoubleSpinBox *>(QStringLiteral("downHeadRadiusSpinBox"))->setValue(66);
        panel->findChild<QPushButton *>(QStringLiteral("saveAsPushButton"))->click();
    });
    ScriptedPrompts prompts;
    prompts.answers << QStringLiteral("Откалибровать");
    emit list->customContextMenuRequested(list->visualItemRect(list->item(1)).center());

    QCOMPARE(interceptor.seen, (QStringList {"Калибровка", "Выбор консоли"}));
    QCOMPARE(atOpening.current_console.name, QStringLiteral("B"));
    QCOMPARE(atOpening.current_console.tool_head_radius_down, 40.0);
    QCOMPARE(atOpening.calibration.tool_head_radius_down, 40.0);
    QCOMPARE(atOpening.calibration.tool_head_radius_up, 41.0);
    QCOMPARE(relayed.size(), 1);
    QCOMPARE(settings.stored("consoles/p_2").toString(), QStringLiteral("Новая"));
    QCOMPARE(settings.stored("consoles/p_2/tool_head_radius_down").toDouble(), 66.0);
    // The editor stays open and now lists the new console; OK keeps it with its values.
    QCOMPARE(rowTexts(list), (QStringList {"A", "B", "Новая"}));
    press(dialog, QDialogButtonBox::Ok);
    QCOMPARE(consoleNames(settings.record()), (QStringList {"A", "B", "Новая"}));
    QCOMPARE(settings->consoles[2].tool_head_radius_down, 66.0);
    QCOMPARE(settings->consoles[1].tool_head_radius_down, 40.0);
    QCOMPARE(settings->current_console.name, QStringLiteral("Новая"));
}

void TestConsoleControllerDialog::calibrateWithoutTracesWarns()
{
    TempSettings settings([](Settings &s) {
        s.consoles = {testConsole("A", 30), testConsole("B", 40)};
        s.current_console = testConsole("A", 30);
    });
    ConsoleControllerDialog dialog(ConsoleControllerDialog::CONSOLES_MODE, {});
    dialog.show();
    listOf(dialog)->setCurrentRow(1);
    DialogInterceptor noCalibration([](QDialog *) { QFAIL("no calibration expected"); });
    ScriptedPrompts prompts;
    dialog.calibrateAction->trigger();
    QCOMPARE(prompts.kinds(), QStringList {"warning"});
    QCOMPARE(prompts.asked.at(0).title, QStringLiteral("Ошибка"));
    QCOMPARE(
        prompts.asked.at(0).text,
        QStringLiteral("Нет трассы для калибровки. Откройте или запишите хотя бы одну трассу"));
    // Nothing changed: the current console is still A.
    QCOMPARE(settings->current_console.name, QStringLiteral("A"));
}

void TestConsoleControllerDialog::editorLooksRight()
{
    TempSettings settings([](Settings &s) { s.consoles = {testConsole("Консоль 1", 30)}; });
    ConsoleControllerDialog dialog(ConsoleControllerDialog::CONSOLES_MODE, {});
    const GrabResult grab = grabWindow(&dialog, QStringLiteral("consoles_editor"));
    VERIFY_GRAB(grab);
}

GUI_TEST_MAIN(TestConsoleControllerDialog)
#include "tst_ConsoleControllerDialog.moc"
