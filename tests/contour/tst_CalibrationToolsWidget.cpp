// The calibration tools panel: which rows it shows, what an edit changes (settings in memory,
// contour clones, one announcement per pause), "Отмена", and the save paths with and without
// consoles, through the console chooser, and the upload flag of the instrument's axis values.

#include "contour/CalibrationToolsWidget.h"
#include "contour/ConsoleSelectDialog.h"
#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "platform/DialogRunner.h"
#include "support/TempSettings.h"
#include "support/TestConsoles.h"
#include "support/gui/EditableListDriver.h"
#include "support/gui/GuiTest.h"
#include "support/gui/WindowGrab.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSignalSpy>

#include <memory>

using namespace testsupport;

namespace {

ContourTrace *contourTrace(MovementSettings::E_NEEDLE_PRESSING pressing, int type = CONTOUR)
{
    auto *trace = new ContourTrace;
    trace->needlePressing = pressing;
    trace->type = type;
    trace->toolHeadRadiusDown = 11;
    trace->toolHeadRadiusUp = 12;
    return trace;
}

// A panel in calibration mode with the given traces, shown (offscreen) for real key input.
struct PanelRig
{
    std::unique_ptr<CalibrationToolsWidget> panel;
    QVector<AbstractTrace *> traces;
    QStringList signalOrder;

    explicit PanelRig(const QVector<AbstractTrace *> &given)
        : traces(given)
    {
        panel = std::make_unique<CalibrationToolsWidget>();
        panel->initCalibration();
        panel->setTraces(traces);
        QObject::connect(panel.get(), &CalibrationToolsWidget::setCurrentConsoleForAllTraces,
                         [this] { signalOrder << QStringLiteral("console"); });
        QObject::connect(panel.get(), &CalibrationToolsWidget::closeDialogCalibration,
                         [this] { signalOrder << QStringLiteral("close"); });
        panel->show();
    }
    ~PanelRig()
    {
        panel.reset();
        qDeleteAll(traces);
    }
    template<typename T = QWidget>
    T *w(const char *name) const
    {
        T *child = panel->findChild<T *>(QLatin1String(name));
        if (!child)
            qFatal("no widget %s", name);
        return child;
    }
    QDoubleSpinBox *box(const char *name) const { return w<QDoubleSpinBox>(name); }
    QCheckBox *check(const char *name) const { return w<QCheckBox>(name); }
    QPushButton *button(const char *name) const { return w<QPushButton>(name); }
    ContourTrace *clone(int i) const { return dynamic_cast<ContourTrace *>(panel->traceClones[i]); }
};

// Replaces the spin box's text by typing, as the operator does, and confirms with Return.
void typeValue(QDoubleSpinBox *box, const QString &text)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
    QTest::keyClick(box, Qt::Key_Return);
}

// Answers the console chooser: adds a console named name and picks it, or declines.
DialogInterceptor::Handler chooser(const QString &name)
{
    return [name](QDialog *dialog) {
        auto *select = qobject_cast<ConsoleSelectDialog *>(dialog);
        QVERIFY(select);
        if (name.isEmpty()) {
            select->cancelButton->click();
            return;
        }
        select->show();
        select->addButton->click();
        QVERIFY(typeIntoOpenEditor(select->consoleList, name));
        select->consoleList->setCurrentRow(select->consoleList->count() - 1);
        select->selectButton->click();
    };
}

} // namespace

class TestCalibrationToolsWidget : public QObject
{
    Q_OBJECT

private slots:
    void rowsShownForTracesAndMode_data();
    void rowsShownForTracesAndMode();
    void editChangesSettingsAndContourClonesOnly();
    void typingIsAnnouncedOncePerPause();
    void decimalPointOrCommaTypesTheSameValue_data();
    void decimalPointOrCommaTypesTheSameValue();
    void checkBoxesSetTheServiceFlags();
    void discardRestoresTheSnapshotInMemory();
    void saveWithConsolesWritesTheCurrentConsole();
    void saveStoresWhatThePanelShows();
    void uploadFlagFollowsTheAxisValues_data();
    void uploadFlagFollowsTheAxisValues();
    void saveWithoutMatchingConsoleRunsTheChooser_data();
    void saveWithoutMatchingConsoleRunsTheChooser();
    void saveAsAlwaysRunsTheChooser();
    void panelLooksRight();
};

void TestCalibrationToolsWidget::rowsShownForTracesAndMode_data()
{
    QTest::addColumn<bool>("developer");
    QTest::addColumn<QString>(
        "traces"); // d: down, u: up, p: contour-with-roughness down, r: profile
    QTest::addColumn<QStringList>("visible");

    const QStringList service {"rackPerpendicularSpinBox",     "xAxisCompressionRatioSpinBox",
                               "yAxisCompressionRatioSpinBox", "displacementCoefficientSpinBox",
                               "enableGaussFilterCheckBox",    "enableRadiusEliminationCheckBox"};
    QTest::newRow("down only") << false << "dd" << QStringList {"downHeadRadiusSpinBox"};
    QTest::newRow("both ways") << false << "du"
                               << QStringList {"downHeadRadiusSpinBox", "upperHeadRadiusSpinBox",
                                               "doubleSidedProbeHighSpinBox", "needleBiasSpinBox"};
    QTest::newRow("roughness contour")
        << false << "p" << QStringList {"downHeadRadiusSpinBox", "roughnessRatioSpinBox"};
    QTest::newRow("profile trace shows nothing") << false << "r" << QStringList {};
    QTest::newRow("developer, no trace") << true << "" << service;
    QTest::newRow("developer, up")
        << true << "u" << (QStringList {"upperHeadRadiusSpinBox"} + service);
}

void TestCalibrationToolsWidget::rowsShownForTracesAndMode()
{
    QFETCH(bool, developer);
    QFETCH(QString, traces);
    QFETCH(QStringList, visible);

    TempSettings settings([developer](Settings &s) { s.service.is_developer_mode = developer; });
    QVector<AbstractTrace *> given;
    for (const QChar c : traces) {
        if (c == QLatin1Char('d'))
            given << contourTrace(MovementSettings::E_PRESSING_DOWN);
        else if (c == QLatin1Char('u'))
            given << contourTrace(MovementSettings::E_PRESSING_UP);
        else if (c == QLatin1Char('p'))
            given << contourTrace(MovementSettings::E_PRESSING_DOWN, CONTOURPROF);
        else
            given << new ProfileTrace;
    }
    PanelRig rig(given);
    QCOMPARE(rig.panel->traceClones.size(), given.size());

    QStringList shown;
    for (QWidget *w : rig.panel->findChildren<QWidget *>()) {
        if ((qobject_cast<QDoubleSpinBox *>(w) || qobject_cast<QCheckBox *>(w))
            && w->isVisibleTo(rig.panel.get()))
            shown << w->objectName();
    }
    shown.sort();
    visible.sort();
    QCOMPARE(shown, visible);
    QVERIFY(rig.button("savePushButton")->isVisible());
    QVERIFY(rig.button("saveAsPushButton")->isVisible());
    QVERIFY(rig.button("discardChangesPushButton")->isVisible());
    QVERIFY(!rig.button("calibrationCirclePushButton")->isVisible());
    QVERIFY(!rig.box("referenceBallRadiusSpinBox")->isVisible());
    QVERIFY(rig.panel->isSaved);
}

void TestCalibrationToolsWidget::editChangesSettingsAndContourClonesOnly()
{
    TempSettings settings;
    settings.forgetFile();
    PanelRig rig({contourTrace(MovementSettings::E_PRESSING_DOWN), new ProfileTrace,
                  contourTrace(MovementSettings::E_PRESSING_UP)});
    QSignalSpy changed(rig.panel.get(), &CalibrationToolsWidget::calibrationDataChanged);
    QVector<AbstractTrace *> announced;
    QObject::connect(rig.panel.get(), &CalibrationToolsWidget::calibrationDataChanged,
                     [&announced](const QVector<AbstractTrace *> &traces) { announced = traces; });

    rig.box("downHeadRadiusSpinBox")->setValue(150);
    rig.box("referenceBallRadiusSpinBox")->setValue(20.5);
    QVERIFY(!rig.panel->isSaved);
    QCOMPARE(settings->calibration.tool_head_radius_down, 150.0);
    QCOMPARE(settings->calibration.reference_ball_radius, 20.5);
    QCOMPARE(rig.clone(0)->toolHeadRadiusDown, 150.0);
    QCOMPARE(rig.clone(2)->toolHeadRadiusDown, 150.0);
    QCOMPARE(rig.clone(0)->toolHeadRadiusUp, 12.0);
    // The profile trace is cloned for its place in the list and left as it was.
    QVERIFY(!rig.clone(1));
    QVERIFY(dynamic_cast<ProfileTrace *>(rig.panel->traceClones[1]));
    // The originals are the window's: untouched.
    QCOMPARE(static_cast<ContourTrace *>(rig.traces[0])->toolHeadRadiusDown, 11.0);

    QVERIFY(changed.wait(5000));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(announced, rig.panel->traceClones);
    // An edit lives in memory only.
    QVERIFY(!settings.saved());
}

void TestCalibrationToolsWidget::typingIsAnnouncedOncePerPause()
{
    TempSettings settings;
    PanelRig rig({contourTrace(MovementSettings::E_PRESSING_DOWN)});
    QSignalSpy changed(rig.panel.get(), &CalibrationToolsWidget::calibrationDataChanged);
    QDoubleSpinBox *box = rig.box("downHeadRadiusSpinBox");
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("1234"));
    QCOMPARE(settings->calibration.tool_head_radius_down, 1234.0);
    QCOMPARE(changed.size(), 0);
    QVERIFY(changed.wait(5000));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(rig.clone(0)->toolHeadRadiusDown, 1234.0);
}

void TestCalibrationToolsWidget::decimalPointOrCommaTypesTheSameValue_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("point") << "0.005";
    QTest::newRow("comma") << "0,005";
}

void TestCalibrationToolsWidget::decimalPointOrCommaTypesTheSameValue()
{
    QFETCH(QString, typed);
    TempSettings settings([](Settings &s) { s.service.is_developer_mode = true; });
    PanelRig rig({contourTrace(MovementSettings::E_PRESSING_DOWN),
                  contourTrace(MovementSettings::E_PRESSING_UP)});
    typeValue(rig.box("needleBiasSpinBox"), typed);
    QCOMPARE(settings->calibration.needle_bias, 0.005);
    QCOMPARE(rig.clone(1)->needleBias, 0.005);
    typeValue(rig.box("displacementCoefficientSpinBox"), QStringLiteral("-") + typed);
    QCOMPARE(settings->calibration.displacement_coefficient, -0.005);
}

void TestCalibrationToolsWidget::checkBoxesSetTheServiceFlags()
{
    TempSettings settings([](Settings &s) {
        s.service.is_developer_mode = true;
        s.service.is_disabled_gauss_filter = false;
        s.service.is_disabled_radius_elimination = true;
    });
    PanelRig rig({contourTrace(MovementSettings::E_PRESSING_DOWN)});
    QSignalSpy changed(rig.panel.get(), &CalibrationToolsWidget::calibrationDataChanged);
    QVERIFY(!rig.check("enableGaussFilterCheckBox")->isChecked());
    QVERIFY(rig.check("enableRadiusEliminationCheckBox")->isChecked());
    rig.check("enableGaussFilterCheckBox")->click();
    rig.check("enableRadiusEliminationCheckBox")->click();
    QVERIFY(settings->service.is_disabled_gauss_filter);
    QVERIFY(!settings->service.is_disabled_radius_elimination);
    QVERIFY(!rig.panel->isSaved);
    QVERIFY(changed.wait(5000));
}

void TestCalibrationToolsWidget::discardRestoresTheSnapshotInMemory()
{
    TempSettings settings([](Settings &s) { s.service.is_developer_mode = true; });
    settings.forgetFile();
    const Settings before = settings.record();
    PanelRig rig({contourTrace(MovementSettings::E_PRESSING_DOWN)});
    QSignalSpy changed(rig.panel.get(), &CalibrationToolsWidget::calibrationDataChanged);
    rig.box("downHeadRadiusSpinBox")->setValue(300);
    rig.box("xAxisCompressionRatioSpinBox")->setValue(1.01);
    rig.check("enableGaussFilterCheckBox")->click();
    {
        const auto locker = Settings::writeLocker();
        settings->calibration.calibration_Ra_value = 3.5; // not a panel value: stays
    }

    rig.panel->clickDiscard();
    QCOMPARE(rig.signalOrder, QStringList {"close"});
    QVERIFY(rig.panel->isSaved);
    // The pending edit was announced before the values went back.
    QCOMPARE(changed.size(), 1);
    QCOMPARE(settings->calibration.tool_head_radius_down, before.calibration.tool_head_radius_down);
    QCOMPARE(settings->calibration.x_axis_compression_ratio, 1.0);
    QCOMPARE(settings->service.is_disabled_gauss_filter, before.service.is_disabled_gauss_filter);
    QCOMPARE(settings->calibration.calibration_Ra_value, 3.5);
    QVERIFY(!settings.saved());
}

void TestCalibrationToolsWidget::saveWithConsolesWritesTheCurrentConsole()
{
    TempSettings settings([](Settings &s) {
        s.consoles = {testConsole("A", 30), testConsole("B", 40), testConsole("A", 50)};
        s.current_console = testConsole("A", 30);
    });
    PanelRig rig({contourTrace(MovementSettings::E_PRESSING_DOWN)});
    DialogInterceptor noChooser([](QDialog *) { QFAIL("no chooser expected"); });
    rig.box("downHeadRadiusSpinBox")->setValue(77);
    rig.panel->clickSave();

    QCOMPARE(rig.signalOrder, (QStringList {"console", "close"}));
    QVERIFY(rig.panel->isSaved);
    QVERIFY(noChooser.seen.isEmpty());
    QCOMPARE(settings.stored("consoles/p_0/tool_head_radius_down").toDouble(), 77.0);
    QCOMPARE(settings.stored("consoles/p_1/tool_head_radius_down").toDouble(), 40.0);
    QCOMPARE(settings.stored("consoles/p_2/tool_head_radius_down").toDouble(), 77.0);
    QCOMPARE(settings.stored("consoles/current_console").toString(), QStringLiteral("A"));
    QCOMPARE(settings.stored("calibration/tool_head_radius_down").toDouble(), 77.0);
    QCOMPARE(settings->current_console.tool_head_radius_down, 77.0);
    QVERIFY(!settings->calibration.upload_device_settings);
}

void TestCalibrationToolsWidget::saveStoresWhatThePanelShows()
{
    // The calibration group disagrees with the current console: the rows show the console and
    // an unedited row saves what it shows.
    TempSettings settings([](Settings &s) {
        s.consoles = {testConsole("A", 30)};
        s.current_console = testConsole("A", 30);
        s.calibration.tool_head_radius_down = 999;
        s.calibration.roughness_ratio = 1.0;
    });
    PanelRig rig({contourTrace(MovementSettings::E_PRESSING_DOWN, CONTOURPROF)});
    QCOMPARE(rig.box("downHeadRadiusSpinBox")->value(), 30.0);
    QCOMPARE(rig.box("roughnessRatioSpinBox")->value(), 7.5);
    rig.box("needleBiasSpinBox")->setValue(1.0);
    rig.panel->clickSave();
    QCOMPARE(settings.stored("consoles/p_0/tool_head_radius_down").toDouble(), 30.0);
    QCOMPARE(settings.stored("consoles/p_0/roughness_ratio").toDouble(), 7.5);
    QCOMPARE(settings.stored("consoles/p_0/needle_bias").toDouble(), 1.0);
}

void TestCalibrationToolsWidget::uploadFlagFollowsTheAxisValues_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<bool>("upload");
    QTest::newRow("x ratio changed") << "x" << true;
    QTest::newRow("x ratio set back") << "x back" << false;
    QTest::newRow("rack changed") << "rack" << true;
    QTest::newRow("probe only") << "probe" << false;
}

void TestCalibrationToolsWidget::uploadFlagFollowsTheAxisValues()
{
    QFETCH(QString, edit);
    QFETCH(bool, upload);
    TempSettings settings([](Settings &s) {
        s.service.is_developer_mode = true;
        s.consoles = {testConsole("A", 30)};
        s.current_console = testConsole("A", 30);
    });
    PanelRig rig({contourTrace(MovementSettings::E_PRESSING_DOWN)});
    if (edit.startsWith(QLatin1String("x")))
        rig.box("xAxisCompressionRatioSpinBox")->setValue(1.02);
    if (edit == QLatin1String("x back"))
        rig.box("xAxisCompressionRatioSpinBox")->setValue(1.0);
    if (edit == QLatin1String("rack"))
        rig.box("rackPerpendicularSpinBox")->setValue(-0.5);
    if (edit == QLatin1String("probe"))
        rig.box("downHeadRadiusSpinBox")->setValue(60);
    rig.panel->clickSave();
    QCOMPARE(settings.stored("calibration/upload_device_settings").toBool(), upload);
}

void TestCalibrationToolsWidget::saveWithoutMatchingConsoleRunsTheChooser_data()
{
    QTest::addColumn<bool>("withConsoles");
    QTest::addColumn<bool>("accept");
    QTest::newRow("no console, accepted") << false << true;
    QTest::newRow("no console, declined") << false << false;
    QTest::newRow("current console gone, accepted") << true << true;
    QTest::newRow("current console gone, declined") << true << false;
}

void TestCalibrationToolsWidget::saveWithoutMatchingConsoleRunsTheChooser()
{
    QFETCH(bool, withConsoles);
    QFETCH(bool, accept);
    TempSettings settings([withConsoles](Settings &s) {
        if (withConsoles)
            s.consoles = {testConsole("A", 30)};
        s.current_console = testConsole("Старая", 30);
    });
    settings.forgetFile();
    PanelRig rig({contourTrace(MovementSettings::E_PRESSING_DOWN)});
    rig.box("downHeadRadiusSpinBox")->setValue(88);
    DialogInterceptor answer(chooser(accept ? QStringLiteral("Новая") : QString()));
    rig.panel->clickSave();

    QCOMPARE(answer.seen, QStringList {"Выбор консоли"});
    if (!accept) {
        QVERIFY(!rig.panel->isSaved);
        QVERIFY(rig.signalOrder.isEmpty());
        QVERIFY(!settings.saved());
        // The current console holds the edited values in memory.
        QCOMPARE(settings->current_console.tool_head_radius_down, 88.0);
        return;
    }
    QVERIFY(rig.panel->isSaved);
    QCOMPARE(rig.signalOrder, (QStringList {"console", "close"}));
    const int count = withConsoles ? 2 : 1;
    QCOMPARE(settings.stored("consoles/count").toInt(), count);
    const QString key = QStringLiteral("consoles/p_%1").arg(count - 1);
    QCOMPARE(settings.stored(key).toString(), QStringLiteral("Новая"));
    QCOMPARE(settings.stored(key + "/tool_head_radius_down").toDouble(), 88.0);
    QCOMPARE(settings.stored("consoles/current_console").toString(), QStringLiteral("Новая"));
    if (withConsoles)
        QCOMPARE(settings.stored("consoles/p_0/tool_head_radius_down").toDouble(), 30.0);
}

void TestCalibrationToolsWidget::saveAsAlwaysRunsTheChooser()
{
    TempSettings settings([](Settings &s) {
        s.consoles = {testConsole("A", 30), testConsole("B", 40)};
        s.current_console = testConsole("A", 30);
    });
    PanelRig rig({contourTrace(MovementSettings::E_PRESSING_DOWN)});
    rig.box("downHeadRadiusSpinBox")->setValue(55);
    DialogInterceptor answer([](QDialog *dialog) {
        auto *select = qobject_cast<ConsoleSelectDialog *>(dialog);
        select->consoleList->setCurrentRow(1);
        select->selectButton->click();
    });
    rig.button("saveAsPushButton")->click();
    QCOMPARE(answer.seen, QStringList {"Выбор консоли"});
    QCOMPARE(settings.stored("consoles/current_console").toString(), QStringLiteral("B"));
    QCOMPARE(settings.stored("consoles/p_1/tool_head_radius_down").toDouble(), 55.0);
    QCOMPARE(settings.stored("consoles/p_0/tool_head_radius_down").toDouble(), 30.0);
}

void TestCalibrationToolsWidget::panelLooksRight()
{
    TempSettings settings([](Settings &s) { s.service.is_developer_mode = true; });
    PanelRig rig({contourTrace(MovementSettings::E_PRESSING_DOWN, CONTOURPROF),
                  contourTrace(MovementSettings::E_PRESSING_UP)});
    const GrabResult grab = grabWindow(rig.panel.get(), QStringLiteral("calibration_tools"));
    VERIFY_GRAB(grab);
    QVERIFY(inkRatio(grab.image) > 0.02);
}

GUI_TEST_MAIN(TestCalibrationToolsWidget)
#include "tst_CalibrationToolsWidget.moc"
