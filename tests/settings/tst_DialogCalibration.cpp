// The calibration dialog: every way of closing it with and without unsaved edits, the question it
// asks (answered inside the nested modal loops), and what reaches settings.ini.

#include "contour/CalibrationToolsWidget.h"
#include "contour/ConsoleSelectDialog.h"
#include "contour/EditableList.h"
#include "core/ContourTrace.h"
#include "platform/DialogRunner.h"
#include "settings/DialogCalibration.h"
#include "support/TempSettings.h"
#include "support/TestConsoles.h"
#include "support/gui/GuiTest.h"
#include "support/gui/WindowGrab.h"

#include <QAbstractButton>
#include <QDoubleSpinBox>
#include <QMessageBox>
#include <QPushButton>

#include <memory>

using namespace testsupport;

class TestDialogCalibration : public QObject
{
    Q_OBJECT

private slots:
    void closingAsksOnlyWithUnsavedEdits_data();
    void closingAsksOnlyWithUnsavedEdits();
    void dialogLooksRight();
};

void TestDialogCalibration::closingAsksOnlyWithUnsavedEdits_data()
{
    // edit: change the radius first; close: how the operator closes ("panel save", "panel
    // discard", "escape", "close button"); answers: the answers to the question, one per close
    // attempt ("save", "dont", "escape"); chooser: the console chooser accepts or declines.
    QTest::addColumn<bool>("consoles");
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QString>("close");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<bool>("chooserAccepts");
    QTest::addColumn<int>("questions");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<double>("storedRadius"); // in settings.ini; 0: nothing written

    QTest::newRow("panel save") << true << true << "panel save" << QStringList() << true << 0
                                << true << 99.0;
    QTest::newRow("panel discard")
        << true << true << "panel discard" << QStringList() << true << 0 << true << 0.0;
    QTest::newRow("escape, nothing edited")
        << true << false << "escape" << QStringList() << true << 0 << true << 0.0;
    QTest::newRow("close button, save")
        << true << true << "close button" << QStringList {"save"} << true << 1 << true << 99.0;
    QTest::newRow("escape, don't save")
        << true << true << "escape" << QStringList {"dont"} << true << 1 << true << 0.0;
    QTest::newRow("escape, escape in the question")
        << true << true << "escape" << QStringList {"escape"} << true << 1 << true << 0.0;
    QTest::newRow("no console, chooser declined, asks again")
        << false << true << "escape" << QStringList {"save", "dont"} << false << 2 << true << 0.0;
    QTest::newRow("no console, chooser accepted")
        << false << true << "escape" << QStringList {"save"} << true << 1 << true << 99.0;
}

void TestDialogCalibration::closingAsksOnlyWithUnsavedEdits()
{
    QFETCH(bool, consoles);
    QFETCH(bool, edit);
    QFETCH(QString, close);
    QFETCH(QStringList, answers);
    QFETCH(bool, chooserAccepts);
    QFETCH(int, questions);
    QFETCH(bool, closed);
    QFETCH(double, storedRadius);

    TempSettings settings([consoles](Settings &s) {
        s.device.device_type = CONTOUR;
        if (consoles) {
            s.consoles = {testConsole("A", 30)};
            s.current_console = testConsole("A", 30);
        }
    });
    settings.forgetFile();
    std::unique_ptr<ContourTrace> trace(new ContourTrace);
    QWidget launcher;
    launcher.show();

    int asked = 0;
    int finished = 0;
    int saves = 0;
    QStringList pending = answers;
    DialogInterceptor interceptor([&](QDialog *d) {
        if (auto *question = qobject_cast<QMessageBox *>(d)) {
            ++asked;
            QCOMPARE(question->windowTitle(), QStringLiteral("Несохранённые изменения"));
            QCOMPARE(question->text(), QStringLiteral("Данные калибровки не сохранены"));
            QCOMPARE(question->informativeText(),
                     QStringLiteral("Вы хотите сохранить изменённые калибровочные данные?"));
            QVERIFY(dynamic_cast<DialogCalibration *>(question->parentWidget()));
            QCOMPARE(question->button(QMessageBox::Save)->text(), QStringLiteral("Сохранить"));
            QCOMPARE(question->button(QMessageBox::Cancel)->text(), QStringLiteral("Не сохранять"));
            const QString answer
                = pending.isEmpty() ? QStringLiteral("escape") : pending.takeFirst();
            if (answer == QLatin1String("save"))
                question->button(QMessageBox::Save)->click();
            else if (answer == QLatin1String("dont"))
                question->button(QMessageBox::Cancel)->click();
            else
                QTest::keyClick(question, Qt::Key_Escape);
            return;
        }
        if (auto *chooser = qobject_cast<ConsoleSelectDialog *>(d)) {
            if (!chooserAccepts) {
                chooser->reject();
                return;
            }
            chooser->addButton->click();
            chooser->consoleList->setCurrentRow(0);
            chooser->selectButton->click();
            return;
        }
        auto *calibration = dynamic_cast<DialogCalibration *>(d);
        QVERIFY(calibration);
        QCOMPARE(calibration->windowTitle(), QStringLiteral("Калибровка"));
        QObject::connect(calibration, &QDialog::finished, [&finished] { ++finished; });
        calibration->show();
        CalibrationToolsWidget *panel = calibration->tools();
        QVERIFY(panel);
        if (edit)
            panel->findChild<QDoubleSpinBox *>(QStringLiteral("downHeadRadiusSpinBox"))
                ->setValue(99);
        for (int attempt = 0; attempt < 3 && finished == 0; ++attempt) {
            if (close == QLatin1String("panel save"))
                panel->clickSave();
            else if (close == QLatin1String("panel discard"))
                panel->clickDiscard();
            else if (close == QLatin1String("escape"))
                QTest::keyClick(calibration, Qt::Key_Escape);
            else
                calibration->close();
        }
    });
    runCalibrationDialog(&launcher, {trace.get()}, [&saves] { ++saves; });

    QCOMPARE(asked, questions);
    QCOMPARE(finished > 0, closed);
    QCOMPARE(finished, closed ? 1 : 0);
    if (storedRadius > 0) {
        QCOMPARE(saves, 1);
        QCOMPARE(settings.stored("calibration/tool_head_radius_down").toDouble(), storedRadius);
        QCOMPARE(settings.stored("consoles/p_0/tool_head_radius_down").toDouble(), storedRadius);
    } else {
        QCOMPARE(saves, 0);
        QVERIFY(!settings.saved());
        QCOMPARE(settings->calibration.tool_head_radius_down, consoles ? 30.0 : 20.0);
    }
}

void TestDialogCalibration::dialogLooksRight()
{
    TempSettings settings([](Settings &s) { s.device.device_type = CONTOUR; });
    std::unique_ptr<ContourTrace> trace(new ContourTrace);
    QWidget launcher;
    launcher.resize(800, 600);
    launcher.show();
    DialogInterceptor interceptor([](QDialog *d) {
        d->resize(700, 500);
        const GrabResult grab = grabWindow(d, QStringLiteral("calibration_dialog"));
        VERIFY_GRAB(grab);
        d->reject();
    });
    runCalibrationDialog(&launcher, {trace.get()}, {});
    QCOMPARE(interceptor.seen, QStringList {"Калибровка"});
}

GUI_TEST_MAIN(TestDialogCalibration)
#include "tst_DialogCalibration.moc"
