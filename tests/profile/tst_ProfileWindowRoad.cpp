// The profile window with traces read through its own data road: the tool bar's modes and
// options, the cut, the level pick, the hand-over to measurement, saving, the reports through
// the browser seam, the fast settings, the reaction to changed settings and the Dp a read shows.

#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "core/TraceFileWriter.h"
#include "dataproviders/FileDataProvider.h"
#include "device/DevicePort.h"
#include "device/ui/DeviceControlWidget.h"
#include "device/ui/KeyReceiver.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "processing/DataProcessors.h"
#include "processing/PostProcessors.h"
#include "profile/ProfileAnalisisWidget.h"
#include "profile/TraceGraphsHolder.h"
#include "profile/TraceList.h"
#include "support/LogReader.h"
#include "support/SimulatedInstrument.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/TestTraces.h"
#include "support/gui/GuiTest.h"
#include "support/gui/PlotDriver.h"
#include "support/gui/ProfileWindowReads.h"
#include "support/gui/RecordingDesktop.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"
#include "traceprocessing/ParameterEvaluation.h"
#include "traceprocessing/TraceRoad.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cmath>
#include <memory>

using namespace testsupport;

namespace {

constexpr int kWaitMs = 15000;

QString writeFile(QTemporaryDir &dir, const QString &name, int kind, int additional = 0,
                  double cutOff = 800)
{
    const QString path = dir.filePath(name);
    return writeSineTraceFile(path, kind, additional, cutOff) ? path : QString();
}

bool settled(ProfileAnalisisWidget &window)
{
    return parametersShown(window, kWaitMs);
}

// Reads the file into the window through its data road and waits for the read's end and its
// parameters.
bool read(ProfileAnalisisWidget &window, const QString &path, int kind)
{
    return readIntoWindow(window, path, kind, kWaitMs);
}

QAction *action(ProfileAnalisisWidget &window, const char *name)
{
    return window.findChild<QAction *>(QString::fromLatin1(name));
}

Plot *plot(ProfileAnalisisWidget &window, const char *name)
{
    return window.findChild<Plot *>(QString::fromLatin1(name));
}

QStringList chainNames(const AbstractTrace *trace)
{
    QStringList names;
    for (const IDataPostProcessor *processor : trace->postProcessors)
        names << processor->name;
    return names;
}

// What the window shows of a trace: its curve, the trace's processed data, the length label and
// the parameter table's rows.
struct ShownTrace
{
    QVector<double> curve;
    QVector<double> processed;
    QString length;
    QStringList parameters;
};

ShownTrace shownTrace(ProfileAnalisisWidget &window, const AbstractTrace *trace)
{
    ShownTrace shown;
    shown.curve = window.graphHolders().value(trace->id)->displayY();
    shown.processed = trace->processedData->at(1);
    shown.length = window.traceList()->findChild<QLabel *>("traceLengthValuLabel")->text();
    QTreeWidget *params = window.traceList()->findChild<QTreeWidget *>("paramsListTreeWidget");
    for (int i = 0; i < params->topLevelItemCount(); ++i)
        shown.parameters << params->topLevelItem(i)->text(0) + '='
                + params->topLevelItem(i)->text(1);
    return shown;
}

} // namespace

class TestProfileWindowRoad : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv(DevicePort::kPortsVariable, QByteArray("/nonexistent/tty-of-the-test"));
    }
    void init() { settings = std::make_unique<TempSettings>(); }
    void cleanup() { settings.reset(); }

    void viewModes_data();
    void viewModes();
    void readEndLeavesCutAndFitOff();
    void rLineAndStraightening();
    void cutKeepsTheSelectedPoints();
    void levelPick_data();
    void levelPick();
    void levelPickRenewsTheSectionParameters_data();
    void levelPickRenewsTheSectionParameters();
    void handOver_data();
    void handOver();
    void savingOffersEveryTraceAndAddsTxt();
    void reports_data();
    void reports();
    void sensorTestWritesOneReport();
    void sensorTestLayoutAndFamilyMean();
    void fastSettingsReprocessWithOwnCutOff();
    void fileCutOffFiltersTheShownProfile_data();
    void fileCutOffFiltersTheShownProfile();
    void readEndShowsTheDpOfItsSidePlots_data();
    void readEndShowsTheDpOfItsSidePlots();
    void recordingShowsTheDpOfItsSidePlots();
    void uploadFlagStaysUntilSent();
    void joinedColumnsOfUnequalLengthMakeNothing();
    void fileOfAnAdditionalTraceOpensOnItsOwn();
    void longFileIsHeldOnceAndDrawnWhole();

private:
    std::unique_ptr<TempSettings> settings;
};

void TestProfileWindowRoad::viewModes_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<int>("interactions");
    QTest::addColumn<int>("rectMode");
    QTest::addColumn<bool>("cut");
    QTest::addColumn<int>("cursor");
    const int drag = QCP::iRangeDrag;
    const int zoom = QCP::iRangeZoom;
    const int markers = QCP::iSelectPlottables | Plot::iKeepSelections | Plot::iRangeSelection;
    QTest::newRow("pan") << QStringList {"actionPAN"} << QStringList {"actionPAN"} << (drag | zoom)
                         << int(QCP::srmNone) << false << int(Qt::OpenHandCursor);
    QTest::newRow("pan off keeps the wheel only")
        << QStringList {"actionPAN", "-actionPAN"} << QStringList {} << zoom << int(QCP::srmNone)
        << false << int(Qt::ArrowCursor);
    QTest::newRow("zoom to selection takes over from pan")
        << QStringList {"actionPAN", "actionSelectionZoom"} << QStringList {"actionSelectionZoom"}
        << zoom << int(QCP::srmZoom) << false << int(Qt::ArrowCursor);
    QTest::newRow("markers take over from zoom")
        << QStringList {"actionSelectionZoom", "actionMarkers"} << QStringList {"actionMarkers"}
        << markers << int(Plot::srmSelectRealtime) << true << int(Qt::ArrowCursor);
    QTest::newRow("pan takes over from markers")
        << QStringList {"actionMarkers", "actionPAN"} << QStringList {"actionPAN"} << (drag | zoom)
        << int(QCP::srmNone) << false << int(Qt::OpenHandCursor);
    QTest::newRow("markers off") << QStringList {"actionMarkers", "-actionMarkers"}
                                 << QStringList {} << int(QCP::iSelectPlottables)
                                 << int(QCP::srmNone) << false << int(Qt::ArrowCursor);
}

void TestProfileWindowRoad::viewModes()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, checked);
    QFETCH(int, interactions);
    QFETCH(int, rectMode);
    QFETCH(bool, cut);
    QFETCH(int, cursor);
    QTemporaryDir dir;
    ProfileAnalisisWidget window;
    QVERIFY(read(window, writeFile(dir, "p.txt", PROFILE), PROFILE));
    for (const QString &step : steps) {
        const bool off = step.startsWith(QLatin1Char('-'));
        action(window, qPrintable(off ? step.mid(1) : step))->setChecked(!off);
    }
    QStringList on;
    for (const char *name : {"actionPAN", "actionSelectionZoom", "actionMarkers"}) {
        if (action(window, name)->isChecked())
            on << QString::fromLatin1(name);
    }
    QCOMPARE(on, checked);
    Plot *main = plot(window, "plotMain");
    QCOMPARE(main->interactionFlags(), interactions);
    QCOMPARE(int(main->selectionRectMode()), rectMode);
    QCOMPARE(action(window, "actionCut")->isEnabled(), cut);
    QCOMPARE(int(main->cursor().shape()), cursor);
    if (cut) {
        for (TraceGraphsHolder *holder : window.graphHolders())
            QCOMPARE(holder->curve->selectable(), QCP::stDataRange);
    }
}

void TestProfileWindowRoad::readEndLeavesCutAndFitOff()
{
    QTemporaryDir dir;
    ProfileAnalisisWidget window;
    QSignalSpy locks(&window, &ProfileAnalisisWidget::lockButtons);
    QSignalSpy unlocks(&window, &ProfileAnalisisWidget::unlockButtons);
    action(window, "actionPAN")->setChecked(true);
    QVERIFY(read(window, writeFile(dir, "p.txt", PROFILE), PROFILE));
    QCOMPARE(locks.size(), 1);
    QCOMPARE(unlocks.size(), 1);
    for (QAction *tool : window.toolActions()) {
        QVERIFY2(!tool->isChecked(), qPrintable(tool->objectName()));
        // The thread report is hidden, and a hidden action is never enabled.
        const bool expected = tool->objectName() != QLatin1String("actionCut")
            && tool->objectName() != QLatin1String("actionRFit")
            && tool->objectName() != QLatin1String("actionReport");
        QVERIFY2(tool->isEnabled() == expected, qPrintable(tool->objectName()));
    }
}

void TestProfileWindowRoad::rLineAndStraightening()
{
    QTemporaryDir dir;
    ProfileAnalisisWidget window;
    QVERIFY(read(window, writeFile(dir, "p.txt", PROFILE), PROFILE));
    TraceGraphsHolder *holder = window.graphHolders().first();
    action(window, "actionRLine")->setChecked(true);
    QVERIFY(action(window, "actionRFit")->isEnabled());
    action(window, "actionRFit")->setChecked(true);
    QVERIFY(holder->showsRLine() && holder->straightens());
    action(window, "actionRLine")->setChecked(false);
    QVERIFY(!action(window, "actionRFit")->isChecked());
    QVERIFY(!action(window, "actionRFit")->isEnabled());
    QVERIFY(!holder->showsRLine());
    QVERIFY(!holder->straightens());
    QCOMPARE(holder->displayY().size(), holder->trace->processedData->at(1).size());
}

void TestProfileWindowRoad::cutKeepsTheSelectedPoints()
{
    QTemporaryDir dir;
    ProfileAnalisisWidget window;
    QVERIFY(read(window, writeFile(dir, "p.txt", PROFILE), PROFILE));
    action(window, "actionMarkers")->setChecked(true);
    TraceGraphsHolder *holder = window.graphHolders().first();
    const double firstX = holder->trace->processedData->at(0).at(100);
    holder->curve->setSelection(QCPDataSelection(QCPDataRange(100, 1900)));
    action(window, "actionCut")->trigger();
    QCOMPARE(holder->trace->rawData->at(0).size(), 1800);
    QCOMPARE(holder->trace->rawData->at(0).first(), firstX);
}

// The level picked at 2 µm, shown in each display unit, reaches the traces in micrometres.
void TestProfileWindowRoad::levelPick_data()
{
    QTest::addColumn<int>("axisUnit");
    QTest::addColumn<double>("perMicrometre");
    QTest::newRow("мм") << 0 << 0.001;
    QTest::newRow("мкм") << 1 << 1.0;
    QTest::newRow("нм") << 2 << 1000.0;
}

void TestProfileWindowRoad::levelPick()
{
    QFETCH(int, axisUnit);
    QFETCH(double, perMicrometre);
    settings->change([axisUnit](Settings &s) { s.view.axis_unit = axisUnit; });
    QTemporaryDir dir;
    ProfileAnalisisWidget window;
    window.resize(1200, 700);
    QVERIFY(read(window, writeFile(dir, "p.txt", PROFILE, 1), PROFILE));
    Plot *ratio = plot(window, "plotRMR");
    PlotDriver driver(ratio);
    ratio->xAxis->setRange(0, 100);
    ratio->yAxis->setRange(-1.0 * perMicrometre, 4.0 * perMicrometre);
    driver.refresh();
    // A right click does nothing.
    driver.click(99, 2.0 * perMicrometre, Qt::RightButton);
    for (AbstractTrace *trace : window.traceList()->traces)
        QCOMPARE(static_cast<ProfileTrace *>(trace)->sectionLevel, 0.0);
    driver.click(99, 2.0 * perMicrometre);
    QCOMPARE(window.traceList()->traces.size(), 2);
    for (AbstractTrace *trace : window.traceList()->traces)
        COMPARE_TOL(static_cast<ProfileTrace *>(trace)->sectionLevel, 2.0, 0.0, 0.05);
}

void TestProfileWindowRoad::levelPickRenewsTheSectionParameters_data()
{
    QTest::addColumn<int>("additional");
    QTest::newRow("one trace") << 0;
    QTest::newRow("with an additional trace") << 1;
}

void TestProfileWindowRoad::levelPickRenewsTheSectionParameters()
{
    // Every displayed parameter that reads the section level shows, after a pick, what a full
    // evaluation at the new level gives; the others keep their texts.
    QFETCH(int, additional);
    const QStringList names = {"Ra", "Dp", "ηp", "tp"};
    settings->change([&names](Settings &s) {
        s.view.axis_unit = 0;
        s.preferences.enabled_params.clear();
        for (int i = 0; i < names.size(); ++i)
            s.preferences.enabled_params.insert(i, names.at(i));
        s.preferences.enabled_params_count = names.size();
    });
    QTemporaryDir dir;
    ProfileAnalisisWidget window;
    window.resize(1200, 700);
    QVERIFY(read(window, writeFile(dir, "p.txt", PROFILE, additional), PROFILE));
    auto *trace = static_cast<ProfileTrace *>(window.traceList()->traces.first());
    window.traceList()->selectTrace(trace->id);
    const QStringList before = shownTrace(window, trace).parameters;
    QCOMPARE(before.size(), names.size());

    Plot *ratio = plot(window, "plotRMR");
    PlotDriver driver(ratio);
    ratio->xAxis->setRange(0, 100);
    ratio->yAxis->setRange(-0.001, 0.001);
    driver.refresh();
    driver.click(99, 0.0005);
    COMPARE_TOL(trace->sectionLevel, 0.5, 0.0, 0.05);
    QVERIFY(settled(window));

    const QStringList after = shownTrace(window, trace).parameters;
    QCOMPARE(after.size(), names.size());
    QCOMPARE(after.at(0), before.at(0));
    for (int i = 1; i < names.size(); ++i) {
        ExtraArgs args;
        QCOMPARE(after.at(i), names.at(i) + '=' + evaluateParameter(args, trace, names.at(i)));
    }
    // The pick moved the level far enough to change the section values.
    QVERIFY2(after.at(3) != before.at(3), qPrintable(after.at(3)));
    QVERIFY2(after.at(2) != before.at(2), qPrintable(after.at(2)));
}

void TestProfileWindowRoad::handOver_data()
{
    QTest::addColumn<QList<int>>("kinds");
    QTest::addColumn<bool>("hideAll");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("nothing") << QList<int> {} << false << "Нет трассы для измерения.";
    QTest::newRow("nothing visible")
        << QList<int> {CONTOUR} << true
        << "Нет видимых трасс, сделайте хотя бы одну трассу видимой для дальнейших измерений";
    QTest::newRow("profile and additional") << QList<int> {PROFILE, ADDITIONAL_TRACE} << false
                                            << "Нельзя проводить измерения разных типов трасс";
    QTest::newRow("two contours") << QList<int> {CONTOUR, CONTOUR} << false << QString();
}

void TestProfileWindowRoad::handOver()
{
    QFETCH(QList<int>, kinds);
    QFETCH(bool, hideAll);
    QFETCH(QString, refusal);
    QVERIFY(QMetaType::type("QVector<AbstractTrace*>") != QMetaType::UnknownType);
    QTemporaryDir dir;
    ProfileAnalisisWidget window;
    int n = 0;
    for (int kind : kinds) {
        if (kind == ADDITIONAL_TRACE) {
            // The file's additional trace, shown.
            ProfileTrace *main = static_cast<ProfileTrace *>(window.traceList()->traces.first());
            QVERIFY(!main->additionalTraces.isEmpty());
            QTreeWidgetItem *item = window.traceList()->itemForTrace(main->additionalTraces[0]->id);
            item->setCheckState(0, Qt::Checked);
            continue;
        }
        const QString name = QStringLiteral("t%1.txt").arg(n++);
        QVERIFY(read(window, writeFile(dir, name, kind, kind == PROFILE ? 1 : 0), kind));
        // A new read hides the profile traces before it: show them again.
        for (int i = 0; i < n; ++i)
            window.traceList()
                ->itemForTrace(window.traceList()->traces.keys().at(i))
                ->setCheckState(0, Qt::Checked);
    }
    if (hideAll) {
        for (int id : window.traceList()->traces.keys())
            window.traceList()->itemForTrace(id)->setCheckState(0, Qt::Unchecked);
    }
    ScriptedPrompts prompts;
    // Queued, as a receiver in another thread would get it: the meta-type carries the traces.
    QVector<AbstractTrace *> sent;
    bool received = false;
    QObject receiver;
    connect(
        &window, &ProfileAnalisisWidget::readyForMeasurment, &receiver,
        [&](QVector<AbstractTrace *> traces) {
            sent = traces;
            received = true;
        },
        Qt::QueuedConnection);
    action(window, "actionToMeasurement")->trigger();
    QVERIFY(!window.keyReceiver->signalsBlocked());
    if (refusal.isEmpty()) {
        QTRY_VERIFY(received);
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent.at(0)->type, int(CONTOUR));
    } else {
        QCOMPARE(prompts.asked.size(), 1);
        QCOMPARE(prompts.asked.at(0).text, refusal);
        QTest::qWait(20);
        QVERIFY(!received);
    }
}

void TestProfileWindowRoad::savingOffersEveryTraceAndAddsTxt()
{
    QTemporaryDir dir;
    ProfileAnalisisWidget window;
    ScriptedPrompts prompts;
    window.saveData(LOCAL_FORMAT);
    QCOMPARE(prompts.kinds(), QStringList {"warning"});
    QVERIFY(read(window, writeFile(dir, "a.txt", PROFILE, 2), PROFILE));
    QVERIFY(read(window, writeFile(dir, "b.txt", CONTOUR), CONTOUR));
    prompts.asked.clear();
    // The first dialog is cancelled: the second trace is still offered.
    prompts.answers << QVariant() << dir.filePath(QStringLiteral("b_saved"));
    window.saveData(LOCAL_FORMAT);
    QCOMPARE(prompts.kinds(), (QStringList {"save", "save"}));
    // Each dialog is titled with the trace's name in the list.
    QCOMPARE(prompts.asked.at(0).title, QStringLiteral("a"));
    QCOMPARE(prompts.asked.at(1).title, QStringLiteral("b"));
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("b_saved.txt"))));
    QCOMPARE(window.traceList()->traces.last()->filePath(), dir.filePath("b_saved.txt"));
    QCOMPARE(settings.get()->stored("preferenses/save_trace_folder").toString(),
             dir.path() + QLatin1Char('/'));

    // The export offers the additional traces too and leaves the file paths alone.
    prompts.asked.clear();
    prompts.answers << dir.filePath(QStringLiteral("x.TXT"));
    window.saveData(POINT_FORMAT);
    QCOMPARE(prompts.kinds(), (QStringList {"save", "save", "save", "save"}));
    QStringList titles;
    for (const ScriptedPrompts::Asked &asked : qAsConst(prompts.asked))
        titles << asked.title;
    QCOMPARE(titles, (QStringList {"a", "Доп. трасса 1", "Доп. трасса 2", "b"}));
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("x.TXT"))));
    QCOMPARE(window.traceList()->traces.first()->filePath(), dir.filePath("a.txt"));
}

void TestProfileWindowRoad::reports_data()
{
    QTest::addColumn<QVariantList>("answers");
    QTest::addColumn<QStringList>("opened");
    QTest::newRow("three reports") << QVariantList {"r1", "r2.html", "r3.HTML"}
                                   << QStringList {"r1.html", "r2.html", "r3.HTML"};
    QTest::newRow("the second cancelled")
        << QVariantList {"r1", QVariant()} << QStringList {"r1.html"};
}

void TestProfileWindowRoad::reports()
{
    QFETCH(QVariantList, answers);
    QFETCH(QStringList, opened);
    QTemporaryDir dir;
    ProfileAnalisisWidget window;
    QVERIFY(read(window, writeFile(dir, "a.txt", PROFILE, 1), PROFILE));
    QVERIFY(read(window, writeFile(dir, "b.txt", PROFILE), PROFILE));
    QVERIFY(read(window, writeFile(dir, "c.txt", CONTOUR), CONTOUR));
    // All three main traces shown; the additional trace of a shown main trace has no report of
    // its own.
    for (AbstractTrace *trace : window.traceList()->traces)
        window.traceList()->itemForTrace(trace->id)->setCheckState(0, Qt::Checked);
    ScriptedPrompts prompts;
    for (const QVariant &answer : answers)
        prompts.answers << (answer.isValid() ? QVariant(dir.filePath(answer.toString())) : answer);
    RecordingDesktop desktop;
    window.saveReport(&window);
    QStringList expected;
    for (const QString &name : opened)
        expected << dir.filePath(name);
    QCOMPARE(desktop.opened, expected);
    for (const QString &path : expected) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray page = file.readAll();
        QVERIFY(page.contains("data:image/png;base64,"));
    }
    if (opened.size() == 3) {
        // The profile report lists the main trace and its additional trace; the contour report
        // is the plot alone.
        QFile first(expected.at(0));
        first.open(QIODevice::ReadOnly);
        QVERIFY(first.readAll().contains("<table"));
        QFile third(expected.at(2));
        third.open(QIODevice::ReadOnly);
        QVERIFY(!third.readAll().contains("<table"));
    }
    QCOMPARE(settings.get()->stored("preferenses/save_report_folder").toString(),
             dir.path() + QLatin1Char('/'));

    // A report that cannot be written is told, no browser opens, and the next trace is offered.
    desktop.opened.clear();
    prompts.asked.clear();
    prompts.answers << dir.filePath(QStringLiteral("no/such/folder/r"));
    window.saveReport(&window);
    QVERIFY(desktop.opened.isEmpty());
    QCOMPARE(prompts.kinds(), (QStringList {"save", "warning", "save"}));
}

void TestProfileWindowRoad::sensorTestWritesOneReport()
{
    settings->change([](Settings &s) { s.service.test_sensor_mode = true; });
    QTemporaryDir dir;
    ProfileAnalisisWidget window;
    QVERIFY(read(window, writeFile(dir, "a.txt", PROFILE), PROFILE));
    // In sensor-test mode a new read removes every other trace first.
    QVERIFY(read(window, writeFile(dir, "b.txt", PROFILE), PROFILE));
    QCOMPARE(window.traceList()->traces.size(), 1);
    QCOMPARE(window.graphHolders().size(), 1);
    ScriptedPrompts prompts;
    prompts.answers << dir.filePath(QStringLiteral("sensor"));
    RecordingDesktop desktop;
    window.saveReport(&window);
    QCOMPARE(desktop.opened, QStringList {dir.filePath(QStringLiteral("sensor.html"))});
}

// In sensor-test mode the test panel stands where the trace tree and the parameter table were,
// whole in a 1280 px wide window, and a family is judged by its mean Ra.
void TestProfileWindowRoad::sensorTestLayoutAndFamilyMean()
{
    settings->change([](Settings &s) { s.service.test_sensor_mode = true; });
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    ProfileAnalisisWidget window;
    window.resize(1280, 800);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(read(window, writeFile(dir, "family.txt", PROFILE, 2), PROFILE));
    QCoreApplication::processEvents();

    TraceList *list = window.traceList();
    auto *test = list->findChild<QWidget *>(QStringLiteral("testSensorWidget"));
    auto *tree = list->findChild<QWidget *>(QStringLiteral("tracesListTreeWidget"));
    auto *params = list->findChild<QWidget *>(QStringLiteral("paramsListTreeWidget"));
    QVERIFY(test->isVisible());
    QVERIFY(!tree->isVisible());
    QVERIFY(!params->isVisible());
    // The read trace is selected; choosing it again (and the parameters recomputed) keeps the
    // table hidden.
    auto *main = static_cast<ProfileTrace *>(list->traces.first());
    QCOMPARE(main->additionalTraces.size(), 2);
    list->selectTrace(main->id);
    list->refresh();
    QVERIFY(settled(window));
    QVERIFY(!params->isVisible());

    // The family's mean Ra (the number before "±") is what the test judged, with no complaint.
    const QString raText = main->parameterResults.value(QStringLiteral("Ra"));
    QVERIFY2(raText.contains(QStringLiteral("±")), qPrintable(raText));
    const QString mean
        = QString::number(raText.section(QStringLiteral("±"), 0, 0).toDouble(), 'g', 6);
    QCOMPARE(prompts.kinds(), QStringList {});
    const QString values = list->sensorTestReportData().value(QStringLiteral("measured_values"));
    QVERIFY2(values.split(QLatin1Char(',')).contains(mean), qPrintable(values + " / " + mean));

    // Every column of the reference table, "Вход в допуск" last, lies within the table's view,
    // and the table within the 1280 px window; in a window as low as it goes too, where the
    // table scrolls.
    auto *table = test->findChild<QTreeWidget *>(QStringLiteral("raStandardTreeWidget"));
    QHeaderView *header = table->header();
    QCOMPARE(header->count(), 3);
    for (const int height : {800, window.minimumSizeHint().height()}) {
        window.resize(1280, height);
        QTRY_COMPARE(window.size(), QSize(1280, height));
        QCoreApplication::processEvents();
        const GrabResult picture
            = grabWindow(&window, QStringLiteral("sensor_test_1280x%1").arg(height));
        VERIFY_GRAB(picture);
        const int lastRight = header->sectionViewportPosition(2) + header->sectionSize(2);
        QVERIFY2(lastRight <= table->viewport()->width(),
                 qPrintable(QStringLiteral("%1 > %2 at height %3")
                                .arg(lastRight)
                                .arg(table->viewport()->width())
                                .arg(height)));
        QVERIFY(!table->horizontalScrollBar()->isVisible());
        const QRect inWindow(table->mapTo(&window, QPoint(0, 0)), table->size());
        QVERIFY2(window.rect().contains(inWindow),
                 qPrintable(QStringLiteral("%1,%2 %3x%4 at height %5")
                                .arg(inWindow.x())
                                .arg(inWindow.y())
                                .arg(inWindow.width())
                                .arg(inWindow.height())
                                .arg(height)));
    }

    // Out of the mode the tree and the selected trace's table come back.
    settings->change([](Settings &s) { s.service.test_sensor_mode = false; });
    list->refresh();
    QVERIFY(settled(window));
    QVERIFY(!test->isVisible());
    QVERIFY(tree->isVisible());
    QVERIFY(params->isVisible());
}

void TestProfileWindowRoad::fastSettingsReprocessWithOwnCutOff()
{
    settings->change([](Settings &s) {
        s.device.device_type = PROFILE;
        s.device.spinbox_filter_length_index = 2;
    });
    QTemporaryDir dir;
    ProfileAnalisisWidget window;
    QVERIFY(read(window, writeFile(dir, "a.txt", PROFILE, 0, 250), PROFILE));
    QVERIFY(read(window, writeFile(dir, "b.txt", PROFILE, 0, 800), PROFILE));
    const QList<AbstractTrace *> traces = window.traceList()->traces.values();
    // Created with the settings' chain.
    QCOMPARE(chainNames(traces.at(0)), QStringList {"YZeronator"});
    LogReader log;
    window.findChild<QComboBox *>(QStringLiteral("profileKindComboBox"))->setCurrentIndex(1);
    QVERIFY(log.contains(QStringLiteral("INFO: Profile fiter mode change value")));
    QCOMPARE(settings->stored("preferenses/profile_filter_mode").toInt(), 1);
    QCOMPARE(chainNames(traces.at(0)), (QStringList {"Filter 250", "YZeronator"}));
    QCOMPARE(chainNames(traces.at(1)), (QStringList {"Filter 800", "YZeronator"}));
    // The trace's curve shows the processed data.
    TraceGraphsHolder *holder = window.graphHolders().value(traces.at(0)->id);
    QCOMPARE(holder->displayY().size(), traces.at(0)->processedData->at(1).size());
}

void TestProfileWindowRoad::fileCutOffFiltersTheShownProfile_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("otherMode");
    QTest::newRow("roughness") << int(ROUGHNESS_PROFILE_MODE) << 0;
    QTest::newRow("waviness") << int(WAVINESS_PROFILE_MODE) << int(ROUGHNESS_PROFILE_MODE);
}

void TestProfileWindowRoad::fileCutOffFiltersTheShownProfile()
{
    // The settings give a cut-off of 800 µm, the file 250 µm.
    QFETCH(int, mode);
    QFETCH(int, otherMode);
    settings->change([mode](Settings &s) {
        s.device.device_type = PROFILE;
        s.device.spinbox_filter_length_index = 2;
        s.preferences.profile_filter_mode = mode;
    });
    QTemporaryDir dir;
    ProfileAnalisisWidget window;
    QVERIFY(read(window, writeFile(dir, "a.txt", PROFILE, 0, 250), PROFILE));
    AbstractTrace *trace = window.traceList()->traces.first();
    QCOMPARE(static_cast<ProfileTrace *>(trace)->filterLength, 250.0);
    QCOMPARE(chainNames(trace), (QStringList {"Filter 250", "YZeronator"}));
    const ShownTrace afterRead = shownTrace(window, trace);
    QCOMPARE(afterRead.parameters.size(), 1);

    // Reprocessing builds the chain again with the trace's own cut-off: nothing shown changes.
    auto *kinds = window.findChild<QComboBox *>(QStringLiteral("profileKindComboBox"));
    kinds->setCurrentIndex(otherMode);
    kinds->setCurrentIndex(mode);
    QVERIFY(settled(window));
    const ShownTrace reprocessed = shownTrace(window, trace);
    QCOMPARE(afterRead.processed, reprocessed.processed);
    QCOMPARE(afterRead.curve, reprocessed.curve);
    QCOMPARE(afterRead.length, reprocessed.length);
    QCOMPARE(afterRead.parameters, reprocessed.parameters);
}

void TestProfileWindowRoad::readEndShowsTheDpOfItsSidePlots_data()
{
    // The re-evaluation the read's table is checked against: the filter mode or the histogram
    // density changed and set back.
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("roundTrip");
    QTest::newRow("roughness, filter mode") << int(ROUGHNESS_PROFILE_MODE) << "profileKindComboBox";
    QTest::newRow("roughness, density") << int(ROUGHNESS_PROFILE_MODE) << "histogramSpinBox";
    QTest::newRow("primary, density") << 0 << "histogramSpinBox";
}

void TestProfileWindowRoad::readEndShowsTheDpOfItsSidePlots()
{
    // Dp is read off the histogram of the side plots: the table shown at the end of a read holds
    // the value of the new trace's histogram, not that of the trace before it had one.
    QFETCH(int, mode);
    QFETCH(QString, roundTrip);
    settings->change([mode](Settings &s) {
        s.device.device_type = PROFILE;
        s.device.spinbox_filter_length_index = 2;
        s.preferences.profile_filter_mode = mode;
        s.preferences.histogramm_density_value = 10;
        s.preferences.enabled_params = {{0, "Ra"}, {1, "Dp"}};
        s.preferences.enabled_params_count = 2;
    });
    QTemporaryDir dir;
    ProfileAnalisisWidget window;
    QVERIFY(read(window, writeFile(dir, "a.txt", PROFILE, 0, 250), PROFILE));
    auto *trace = static_cast<ProfileTrace *>(window.traceList()->traces.first());
    const QStringList afterRead = shownTrace(window, trace).parameters;
    QCOMPARE(afterRead.size(), 2);
    QVERIFY2(afterRead.at(1).startsWith(QStringLiteral("Dp=")), qPrintable(afterRead.at(1)));
    QVERIFY2(afterRead.at(1) != QStringLiteral("Dp=0.000"), qPrintable(afterRead.at(1)));
    ExtraArgs args;
    QCOMPARE(afterRead.at(1), QStringLiteral("Dp=") + evaluateParameter(args, trace, "Dp"));

    if (auto *kinds = window.findChild<QComboBox *>(roundTrip)) {
        // The primary profile's view holds the whole roughness profile: back from it, the
        // histogram is that of the read's view.
        kinds->setCurrentIndex(0);
        kinds->setCurrentIndex(mode);
    } else {
        auto *density = window.findChild<QSpinBox *>(roundTrip);
        QVERIFY(density);
        density->setValue(20);
        density->setValue(10);
    }
    QVERIFY(settled(window));
    QCOMPARE(shownTrace(window, trace).parameters, afterRead);
}

void TestProfileWindowRoad::recordingShowsTheDpOfItsSidePlots()
{
    // A recording ends on the same road as a file.
    SimulatedInstrument sim(SimulatedInstrument::Profilometer);
    QVERIFY(sim.isValid());
    qputenv(DevicePort::kPortsVariable, sim.linkPath().toLocal8Bit());
    const auto noPort = qScopeGuard(
        [] { qputenv(DevicePort::kPortsVariable, QByteArray("/nonexistent/tty-of-the-test")); });
    settings->change([](Settings &s) {
        s.device.device_type = PROFILE;
        s.device.spinbox_filter_length_index = 4;
        s.preferences.profile_filter_mode = ROUGHNESS_PROFILE_MODE;
        s.preferences.enabled_params = {{0, "Ra"}, {1, "Dp"}};
        s.preferences.enabled_params_count = 2;
        s.preferences.is_ask_before_change_filter = false;
        s.preferences.is_accept_filter = false;
    });
    // Whatever the window might ask (a save that failed), no real dialog stops the test.
    ScriptedPrompts prompts;
    ProfileAnalisisWidget window;
    auto *start = window.deviceControlWidget()->findChild<QPushButton *>("startTraceButton");
    // The start-up ends with the speed.
    const QByteArray speed
        = "PS" + QByteArray::number(Settings::instance()->movement.current_speed);
    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled() && sim.idle() && sim.received.endsWith(speed),
                             kWaitMs);
    start->click();
    TraceList *list = window.traceList();
    QTRY_VERIFY_WITH_TIMEOUT(list->traces.size() == 1 && !list->readingTrace, kWaitMs);
    QVERIFY(settled(window));
    auto *trace = static_cast<ProfileTrace *>(list->traces.first());
    const QStringList shown = shownTrace(window, trace).parameters;
    QFile::remove(trace->filePath());
    QCOMPARE(shown.size(), 2);
    QVERIFY2(shown.at(1) != QStringLiteral("Dp=0.000"), qPrintable(shown.at(1)));
    ExtraArgs args;
    QCOMPARE(shown.at(1), QStringLiteral("Dp=") + evaluateParameter(args, trace, "Dp"));
}

void TestProfileWindowRoad::uploadFlagStaysUntilSent()
{
    settings->change([](Settings &s) { s.calibration.upload_device_settings = true; });
    ProfileAnalisisWidget window;
    // No instrument: nothing could be sent, so the request stays for the next time.
    window.settingsChanged();
    QVERIFY(settings->stored("calibration/upload_device_settings").toBool());
    QVERIFY(settings->record().calibration.upload_device_settings);
}

void TestProfileWindowRoad::joinedColumnsOfUnequalLengthMakeNothing()
{
    ProfileAnalisisWidget window;
    window.addTraceFromData({{1, 2, 3}, {1, 2}});
    QVERIFY(window.traceList()->traces.isEmpty());
    window.addTraceFromData({{1, 2, 3}, {4, 5, 6}});
    QCOMPARE(window.traceList()->traces.size(), 1);
    AbstractTrace *joined = window.traceList()->traces.first();
    QCOMPARE(joined->type, int(CONTOUR));
    QCOMPARE(joined->processedData->at(1), (QVector<double> {4, 5, 6}));
    QCOMPARE(joined->rawData->at(2), (QVector<double> {0, 0, 0}));
}

void TestProfileWindowRoad::fileOfAnAdditionalTraceOpensOnItsOwn()
{
    QTemporaryDir dir;
    ProfileAnalisisWidget window;
    const QString mainPath = writeFile(dir, "main.txt", PROFILE);
    QVERIFY(read(window, mainPath, PROFILE));
    QFile file(writeFile(dir, "extra.txt", PROFILE));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray text = file.readAll();
    text.replace("trace_type:PROFILE", "trace_type:ADDITIONAL_TRACE");
    file.resize(0);
    file.write(text);
    file.close();
    QFile mainFile(mainPath);
    QVERIFY(mainFile.open(QIODevice::ReadOnly));
    const QByteArray mainBefore = mainFile.readAll();
    mainFile.close();

    QVERIFY(read(window, file.fileName(), ADDITIONAL_TRACE));
    // Listed as a main trace of its own, never written into another trace's file.
    QTreeWidget *tree = window.traceList()->findChild<QTreeWidget *>("tracesListTreeWidget");
    QCOMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(tree->topLevelItem(1)->text(0), QStringLiteral("extra"));
    AbstractTrace *extra = window.traceList()->traces.last();
    QCOMPARE(extra->type, int(PROFILE));
    auto *main = static_cast<ProfileTrace *>(window.traceList()->traces.first());
    QVERIFY(main->additionalTraces.isEmpty());
    QVERIFY(mainFile.open(QIODevice::ReadOnly));
    QCOMPARE(mainFile.readAll(), mainBefore);
}

// A long file: its samples are held once (the processed X is the raw X), its processed points
// are drawn whole once the drawing made beside the GUI thread is in, and its parameters are those
// of the same samples processed and evaluated the plain way.
void TestProfileWindowRoad::longFileIsHeldOnceAndDrawnWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.txt"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray text = "trace_type:PROFILE\nspeed:0.5\nfilter:800\naddittional_trace_count:0\n"
                          "point_count:300000\n";
        for (int i = 0; i < 300000; ++i) {
            const double x = i * 0.05;
            text += QByteArray::number(x, 'f', 2) + '\t'
                + QByteArray::number(3 * std::sin(x / 40.0) + 0.5 * std::sin(x / 3.0)
                                         + 0.01 * i / 300000.0,
                                     'f', 5)
                + "\t\n";
        }
        file.write(text);
    }
    settings->change([](Settings &s) {
        s.preferences.enabled_params = {{0, "Ra"}, {1, "Dp"}};
        s.preferences.enabled_params_count = 2;
    });
    ProfileAnalisisWidget window;
    window.resize(1000, 700);
    window.show();
    QVERIFY(read(window, path, PROFILE));
    auto *trace = static_cast<ProfileTrace *>(window.traceList()->traces.first());
    TraceGraphsHolder *holder = window.graphHolders().value(trace->id);
    QVERIFY(holder);
    QTRY_VERIFY_WITH_TIMEOUT(!holder->rebuildPending(), kWaitMs);

    QCOMPARE(trace->rawData->at(0).size(), 300000);
    QCOMPARE(trace->processedData->at(0).constData(), trace->rawData->at(0).constData());
    QCOMPARE(holder->curve->data()->size(), 300000);
    QVector<double> expectedY = trace->processedData->at(1);
    for (double &y : expectedY)
        y *= holder->micrometreToDisplayFactor();
    QCOMPARE(holder->displayY(), expectedY);
    QCOMPARE(holder->curve->data()->at(299999)->value, expectedY.last());

    ProfileTrace plain;
    plain.setType(PROFILE);
    plain.filterLength = trace->filterLength;
    for (int i = 0; i < 300000; ++i) {
        QVector<double> sample {trace->rawData->at(0).at(i), trace->rawData->at(1).at(i)};
        plain.appendPoint(sample);
    }
    plain.addPostProcessor(new YZeronator);
    plain.applyPostProcessors();
    QCOMPARE(*plain.processedData, *trace->processedData);
    ExtraArgs args;
    const QString ra = evaluateParameter(args, &plain, QStringLiteral("Ra"));
    QVERIFY(!ra.isEmpty());
    QCOMPARE(trace->parameterResults.value(QStringLiteral("Ra")), ra);
    // Dp was evaluated from the histogram of the processed points in view, not of the points
    // drawn while the file was read.
    plot(window, "plotMain")->replot();
    QCOMPARE(shownTrace(window, trace).parameters.value(1),
             QStringLiteral("Dp=") + evaluateParameter(args, trace, "Dp"));

    // The form line of the long trace is drawn beside the GUI thread as well.
    action(window, "actionRLine")->setChecked(true);
    QVERIFY(holder->rebuildPending());
    QTRY_VERIFY_WITH_TIMEOUT(!holder->rebuildPending(), kWaitMs);
    QCOMPARE(holder->rLine().size(), 300000);
    QVERIFY(holder->showsRLine());
}

GUI_TEST_MAIN(TestProfileWindowRoad)
#include "tst_ProfileWindowRoad.moc"
