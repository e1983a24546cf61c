// The profile window keeps what it shows true: after every change of the view, a fast setting,
// the cut-off or the level the table, the labels and the report rows are those of the traces as
// they are; a cut-off goes to the whole family; a joined trace reopens as shown; a removed trace
// leaves the plot. Bad files leave nothing behind, a recording interrupted before its
// measurement neither, and many additional traces cost no plot objects while hidden.

#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "core/TraceFileWriter.h"
#include "dataproviders/FileDataProvider.h"
#include "device/DevicePort.h"
#include "device/ui/DeviceControlWidget.h"
#include "platform/DialogRunner.h"
#include "plot/Plot.h"
#include "profile/ProfileAnalisisWidget.h"
#include "profile/TraceGraphsHolder.h"
#include "profile/TraceList.h"
#include "profile/UniteTraceDialog.h"
#include "support/LogReader.h"
#include "support/StandInRecording.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/TestTraces.h"
#include "support/gui/GuiTest.h"
#include "support/gui/PlotDriver.h"
#include "support/gui/ProfileWindowReads.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"
#include "traceprocessing/ParameterEvaluation.h"
#include "traceprocessing/TraceRoad.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cmath>
#include <memory>

using namespace testsupport;

namespace {

constexpr int kWaitMs = 20000;

bool settled(ProfileAnalisisWidget &window)
{
    return parametersShown(window, kWaitMs);
}

bool read(ProfileAnalisisWidget &window, const QString &path, int kind)
{
    return readIntoWindow(window, path, kind, kWaitMs);
}

// A profile trace of n samples 1 µm apart with the cut-off, written to path.
bool writeProfile(const QString &path, int n, double cutOff)
{
    ProfileTrace trace;
    trace.setType(PROFILE);
    trace.filterLength = cutOff;
    trace.speed = 0.5;
    for (int i = 0; i < n; ++i) {
        QVector<double> sample {double(i), std::sin(i / 20.0) + 0.3 * std::sin(i / 3.0 + 1.0)};
        trace.appendPoint(sample);
    }
    return writeTraceFile(path, &trace);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template<class W>
W *child(QWidget &window, const char *name)
{
    return window.findChild<W *>(QString::fromLatin1(name));
}

// The rows of the parameter table as "name=value unit".
QStringList shownRows(ProfileAnalisisWidget &window)
{
    QStringList rows;
    auto *params = child<QTreeWidget>(window, "paramsListTreeWidget");
    for (int i = 0; i < params->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *row = params->topLevelItem(i);
        rows << row->text(0) + '=' + row->text(1) + ' ' + row->text(2);
    }
    return rows;
}

// The rows an evaluation of the trace as it is now gives, independently of the window.
QStringList expectedRows(const ProfileTrace *trace)
{
    ProfileTrace copy(*trace);
    copy.clearProfileCaches();
    for (ProfileTrace *additional : qAsConst(copy.additionalTraces))
        additional->clearProfileCaches();
    ExtraArgs args;
    evaluateEnabledParameters(args, &copy);
    QStringList rows;
    const PreferencesSettings &p = Settings::instance()->preferences;
    for (int i = 0; i < p.enabled_params_count; ++i) {
        const QString name = p.enabled_params.value(i);
        const QString value = copy.parameterResults.value(name);
        rows << name + '=' + value + ' '
                + (value == kTooShortTraceText ? QString() : kParameterCatalogue.value(name).unit);
    }
    return rows;
}

// Dark pixels of the curve inside the plot's axis rectangle, as the screen shows it.
int curvePixels(Plot *plot)
{
    const QImage image = plot->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // Inside the tick marks, which point into the rectangle.
    const QRect inside = plot->axisRect()->rect().adjusted(10, 10, -10, -10);
    int dark = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (qGray(line[x]) < 100)
                ++dark;
        }
    }
    return dark;
}

} // namespace

class TestProfileWindowChanges : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv(DevicePort::kPortsVariable, QByteArray("/nonexistent/tty-of-the-test"));
    }
    void init()
    {
        settings = std::make_unique<TempSettings>([](Settings &s) {
            s.device.device_type = PROFILE;
            s.device.spinbox_filter_length_index = 2;
            s.view.axis_unit = 0;
            s.preferences.profile_filter_mode = ROUGHNESS_PROFILE_MODE;
            s.preferences.enabled_params = {{0, "Ra"}, {1, "Rz"}, {2, "Dp"}, {3, "tp"}};
            s.preferences.enabled_params_count = 4;
        });
    }
    void cleanup() { settings.reset(); }

    void everyRowFollowsTheChange_data();
    void everyRowFollowsTheChange();
    void lengthLabelFollowsTheCutOff();
    void cutOffGoesToTheWholeFamily();
    void joinedTraceReopensAsShown();
    void removedTraceLeavesThePlot();
    void refusedFileLeavesNothing_data();
    void refusedFileLeavesNothing();
    void consoleFromTheListStaysInMemory();
    void saveDialogListsTraceFiles();
    void recordingInterruptedBeforeItsMeasurement();
    void hiddenAdditionalTracesCostNoPlotObjects();

private:
    std::unique_ptr<TempSettings> settings;
};

void TestProfileWindowChanges::everyRowFollowsTheChange_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("change");
    // Exactly two cut-offs long: too short in the roughness view, which trims lc/2 per end.
    QTest::newRow("view") << 1601 << "view";
    QTest::newRow("median") << 4000 << "median";
    QTest::newRow("median window") << 4000 << "median window";
    QTest::newRow("cut-off") << 4000 << "cut-off";
    QTest::newRow("level") << 4000 << "level";
    QTest::newRow("histogram density") << 4000 << "density";
}

void TestProfileWindowChanges::everyRowFollowsTheChange()
{
    QFETCH(int, length);
    QFETCH(QString, change);
    if (change == QLatin1String("median window"))
        settings->change([](Settings &s) { s.preferences.meadian_filter = true; });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.txt"));
    QVERIFY(writeProfile(path, length, 800));
    ProfileAnalisisWidget window;
    window.resize(1200, 750);
    window.show();
    QVERIFY(read(window, path, PROFILE));
    auto *trace = static_cast<ProfileTrace *>(window.traceList()->traces.first());
    window.traceList()->selectTrace(trace->id);
    const QStringList before = shownRows(window);
    QCOMPARE(before, expectedRows(trace));
    if (change == QLatin1String("view")) {
        for (const QString &row : before)
            QVERIFY2(row.contains(kTooShortTraceText), qPrintable(row));
    }

    if (change == QLatin1String("view")) {
        child<QComboBox>(window, "profileKindComboBox")->setCurrentIndex(0);
    } else if (change == QLatin1String("median")) {
        child<QCheckBox>(window, "medianCheckBox")->setChecked(true);
    } else if (change == QLatin1String("median window")) {
        child<QSpinBox>(window, "medianSpinBox")->setValue(31);
    } else if (change == QLatin1String("cut-off")) {
        child<QComboBox>(*window.traceList(), "filterComboBox")->setCurrentIndex(3);
    } else if (change == QLatin1String("level")) {
        Plot *ratio = child<Plot>(window, "plotRMR");
        PlotDriver driver(ratio);
        ratio->xAxis->setRange(0, 100);
        ratio->yAxis->setRange(-0.001, 0.001);
        driver.refresh();
        driver.click(99, 0.0003);
    } else {
        child<QSpinBox>(window, "histogramSpinBox")->setValue(25);
    }
    QVERIFY(settled(window));

    // The table, the length label and the report rows are those of the trace as it is now.
    const QStringList after = shownRows(window);
    QCOMPARE(after, expectedRows(trace));
    QVERIFY2(after != before || change == QLatin1String("density"), qPrintable(after.join(", ")));
    for (const QString &row : after) {
        QVERIFY2(!row.contains(QStringLiteral("Dp=0.000")), qPrintable(row));
        QVERIFY2(!row.contains(kTooShortTraceText), qPrintable(row));
    }
    const QVector<double> &x = trace->processedData->at(0);
    QCOMPARE(child<QLabel>(*window.traceList(), "traceLengthValuLabel")->text(),
             QString::number((x.last() - x.first()) * 0.001, 'g', 6) + QStringLiteral(" мм"));
    const QMap<QString, QString> report = window.reportData(trace);
    for (int i = 0; i < after.size(); ++i) {
        const QString row = after.at(i);
        QCOMPARE(report.value(QStringLiteral("param[%1].name").arg(i)), row.section('=', 0, 0));
        QCOMPARE(report.value(QStringLiteral("param[%1].value").arg(i)), row.section('=', 1));
    }
}

void TestProfileWindowChanges::lengthLabelFollowsTheCutOff()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.txt"));
    QVERIFY(writeProfile(path, 6401, 800));
    ProfileAnalisisWidget window;
    QVERIFY(read(window, path, PROFILE));
    AbstractTrace *trace = window.traceList()->traces.first();
    window.traceList()->selectTrace(trace->id);
    auto *label = child<QLabel>(*window.traceList(), "traceLengthValuLabel");
    auto *cutOff = child<QComboBox>(*window.traceList(), "filterComboBox");
    TraceGraphsHolder *holder = window.graphHolders().value(trace->id);
    // The roughness view trims half a cut-off at each end of the 6.4 mm trace.
    const QStringList steps {"5.6 мм", "6.15 мм", "5.6 мм"};
    for (int i = 0; i < steps.size(); ++i) {
        if (i > 0)
            cutOff->setCurrentIndex(i == 1 ? 3 : 2);
        QCOMPARE(label->text(), steps.at(i));
        // The label and the curve tell the same length.
        const QVector<double> &x = holder->displayX();
        QCOMPARE(QString::number(x.last() - x.first(), 'g', 6) + QStringLiteral(" мм"),
                 steps.at(i));
    }
}

void TestProfileWindowChanges::cutOffGoesToTheWholeFamily()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("family.txt"));
    QVERIFY(writeSineTraceFile(path, PROFILE, 2, 250));
    const QString reference = dir.filePath(QStringLiteral("reference.txt"));
    QVERIFY(writeSineTraceFile(reference, PROFILE, 2, 800));
    QStringList referenceRows;
    {
        ProfileAnalisisWidget opened;
        QVERIFY(read(opened, reference, PROFILE));
        opened.traceList()->selectTrace(opened.traceList()->traces.firstKey());
        referenceRows = shownRows(opened);
    }
    ProfileAnalisisWidget window;
    QVERIFY(read(window, path, PROFILE));
    const QList<AbstractTrace *> traces = window.traceList()->traces.values();
    QCOMPARE(traces.size(), 3);
    window.traceList()->selectTrace(traces.first()->id);
    child<QComboBox>(*window.traceList(), "filterComboBox")->setCurrentIndex(2);
    QVERIFY(settled(window));

    // The family shows what the same file opened at 0.8 mm shows: mean, spread and its percent.
    QCOMPARE(shownRows(window), referenceRows);
    QVERIFY(shownRows(window).first().contains(QStringLiteral("±")));
    for (AbstractTrace *trace : traces)
        QCOMPARE(static_cast<ProfileTrace *>(trace)->filterLength, 800.0);
    // An additional trace's own table follows too, and the file keeps the family's cut-off.
    window.traceList()->selectTrace(traces.at(1)->id);
    QCOMPARE(shownRows(window), expectedRows(static_cast<ProfileTrace *>(traces.at(1))));
    ReadBackTrace back(path);
    QCOMPARE(back.trace.filterLength, 800.0);
    for (const ProfileTrace *additional : qAsConst(back.trace.additionalTraces))
        QCOMPARE(additional->filterLength, 800.0);
}

void TestProfileWindowChanges::joinedTraceReopensAsShown()
{
    // A calibration under which reading a contour changes its points, and a groove to join.
    settings->change([](Settings &s) {
        s.device.device_type = CONTOUR;
        s.calibration.x_axis_compression_ratio = 1.02;
        s.calibration.y_axis_compression_ratio = 0.97;
        s.calibration.rack_prpendicular = 0.5;
        s.calibration.tool_head_radius_down = 2.0;
        s.device.measurement_mode = 0;
        s.service.is_disabled_gauss_filter = true;
        s.service.is_disabled_radius_elimination = true;
    });
    QTemporaryDir dir;
    for (int part = 0; part < 2; ++part) {
        ContourTrace trace;
        trace.setType(CONTOUR);
        for (int i = 0; i < 600; ++i) {
            const double x = part * 2000.0 + i * 5.0;
            QVector<double> sample {x, std::fabs(x - 2500.0) < 300.0 ? -50.0 : 0.0, 0.0};
            trace.appendPoint(sample);
        }
        QVERIFY(writeTraceFile(dir.filePath(QStringLiteral("part%1.txt").arg(part)), &trace));
    }
    ProfileAnalisisWidget window;
    QVERIFY(read(window, dir.filePath("part0.txt"), CONTOUR));
    QVERIFY(read(window, dir.filePath("part1.txt"), CONTOUR));
    TraceList *list = window.traceList();
    const int left = list->traces.firstKey();
    {
        DialogInterceptor interceptor([&](QDialog *dialog) {
            if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
                input->setDoubleValue(1.0);
                input->accept();
            } else if (auto *unite = qobject_cast<UniteTraceDialog *>(dialog)) {
                unite->traceButtons()->buttons().first()->click();
                unite->uniteButton()->click();
            }
        });
        list->joinTraces(left);
    }
    QCOMPARE(list->traces.size(), 1);
    AbstractTrace *joined = list->traces.first();
    const TData shown = *joined->processedData;
    QVERIFY(shown.at(0).size() > 600);

    ScriptedPrompts prompts;
    prompts.answers << dir.filePath(QStringLiteral("joined"));
    window.saveData(LOCAL_FORMAT);
    QVERIFY(read(window, dir.filePath("joined.txt"), CONTOUR));
    AbstractTrace *reopened = list->traces.last();
    QVERIFY(reopened != joined);
    QCOMPARE(reopened->processedData->at(0).size(), shown.at(0).size());
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < shown.at(c).size(); ++i)
            COMPARE_TOL(reopened->processedData->at(c).at(i), shown.at(c).at(i), 1e-12, 1e-9);
    }
}

void TestProfileWindowChanges::removedTraceLeavesThePlot()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.txt"));
    QVERIFY(writeProfile(path, 4000, 800));
    ProfileAnalisisWidget window;
    window.resize(1200, 750);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(read(window, path, PROFILE));
    Plot *plot = child<Plot>(window, "plotMain");
    QTRY_VERIFY_WITH_TIMEOUT(curvePixels(plot) > 100, kWaitMs);
    // Removed through the entry's context menu, the entry not selected.
    TraceList *list = window.traceList();
    auto *tree = child<QTreeWidget>(*list, "tracesListTreeWidget");
    QSignalSpy replotted(plot, &QCustomPlot::afterReplot);
    tree->clearSelection();
    // The curve drawn with the normal pen, and the window laid out without the trace's
    // information.
    QVERIFY(replotted.wait(kWaitMs));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::processEvents();
    QVERIFY(curvePixels(plot) > 100);
    ScriptedPrompts prompts;
    prompts.answers << QStringLiteral("Удалить трассу");
    QMetaObject::invokeMethod(tree, "customContextMenuRequested",
                              Q_ARG(QPoint, tree->visualItemRect(tree->topLevelItem(0)).center()));
    QCOMPARE(prompts.kinds(), QStringList {"menu"});
    QVERIFY(list->traces.isEmpty());
    QVERIFY(window.graphHolders().isEmpty());
    QCOMPARE(plot->plottableCount(), 0);
    // The screen shows the plot without the curve.
    QTRY_COMPARE_WITH_TIMEOUT(curvePixels(plot), 0, kWaitMs);
    const GrabResult grab = grabWindow(&window, QStringLiteral("profile_window_after_removal"));
    VERIFY_GRAB(grab);
}

void TestProfileWindowChanges::refusedFileLeavesNothing_data()
{
    addBadTraceFileRows();
}

void TestProfileWindowChanges::refusedFileLeavesNothing()
{
    QFETCH(QByteArray, content);
    QFETCH(int, kind);
    QFETCH(QString, reason);
    QFETCH(QString, suffix);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Деталь 7") + suffix);
    QVERIFY(writeBytes(path, content));
    ProfileAnalisisWidget window;
    ScriptedPrompts prompts;
    QVERIFY(read(window, path, kind));

    QCOMPARE(prompts.kinds(), QStringList {"warning"});
    QCOMPARE(prompts.asked.at(0).title, QStringLiteral("Ошибка чтения трассы"));
    QCOMPARE(prompts.asked.at(0).text,
             QStringLiteral("Не удалось прочитать трассу из файла «Деталь 7%1»: %2. Трасса не "
                            "открыта.")
                 .arg(suffix, reason));
    QVERIFY(window.traceList()->traces.isEmpty());
    QVERIFY(window.graphHolders().isEmpty());
    QVERIFY(window.traceRoad()->traces().isEmpty());
    QCOMPARE(child<Plot>(window, "plotMain")->plottableCount(), 0);
    QCOMPARE(child<QTreeWidget>(window, "tracesListTreeWidget")->topLevelItemCount(), 0);
    for (QAction *action : window.toolActions()) {
        if (action->objectName() != QLatin1String("actionCut")
            && action->objectName() != QLatin1String("actionRFit")
            && action->objectName() != QLatin1String("actionReport"))
            QVERIFY2(action->isEnabled(), qPrintable(action->objectName()));
    }
    // Nothing is offered for saving or reporting, and the file is as it was.
    prompts.asked.clear();
    window.saveData(LOCAL_FORMAT);
    window.saveReport(&window);
    QCOMPARE(prompts.kinds(), (QStringList {"warning", "warning"}));
    QCOMPARE(prompts.asked.at(0).title, QStringLiteral("Ошибка сохранения трассы"));
    QCOMPARE(prompts.asked.at(1).title, QStringLiteral("Ошибка печати отчёта"));
    QCOMPARE(fileBytes(path), content);
}

void TestProfileWindowChanges::consoleFromTheListStaysInMemory()
{
    settings->change([](Settings &s) {
        s.device.device_type = CONTOUR;
        s.service.is_disabled_radius_elimination = true;
    });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("c.txt"));
    QVERIFY(writeSineTraceFile(path, CONTOUR));
    const QByteArray before = fileBytes(path);
    ProfileAnalisisWidget window;
    QVERIFY(read(window, path, CONTOUR));
    auto *trace = static_cast<ContourTrace *>(window.traceList()->traces.first());
    TraceGraphsHolder *holder = window.graphHolders().value(trace->id);
    const QVector<double> drawn = holder->displayY();
    ConsoleParams console;
    console.name = QStringLiteral("Консоль 2");
    console.tool_head_radius_down = 40.0;
    console.roughness_ratio = 3.5;
    window.traceList()->setTraceConsole(trace->id, console);

    // The trace takes the console and is processed again; its measurement file stays as it
    // was recorded.
    QCOMPARE(trace->toolHeadRadiusDown, 40.0);
    QCOMPARE(trace->roughnessRatio, 3.5);
    QVERIFY(holder->displayY() != drawn);
    QCOMPARE(fileBytes(path), before);
}

void TestProfileWindowChanges::saveDialogListsTraceFiles()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.txt"));
    QVERIFY(writeSineTraceFile(path, PROFILE));
    {
        QFile other(dir.filePath(QStringLiteral("b.dat")));
        QVERIFY(other.open(QIODevice::WriteOnly));
    }
    ProfileAnalisisWidget window;
    QVERIFY(read(window, path, PROFILE));
    ScriptedPrompts prompts;
    window.saveData(LOCAL_FORMAT);
    QCOMPARE(prompts.kinds(), QStringList {"save"});
    const QString filter = prompts.asked.at(0).filter;

    // The dialog the filter is given to lists the trace files of the folder.
    QFileDialog dialog(nullptr, QString(), dir.path(), filter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.show();
    auto *view = dialog.findChild<QListView *>(QStringLiteral("listView"));
    QVERIFY(view);
    const auto listed = [view] {
        QStringList names;
        for (int i = 0; i < view->model()->rowCount(view->rootIndex()); ++i)
            names << view->model()->index(i, 0, view->rootIndex()).data().toString();
        return names;
    };
    QTRY_COMPARE_WITH_TIMEOUT(listed(), QStringList {"a.txt"}, kWaitMs);
}

void TestProfileWindowChanges::recordingInterruptedBeforeItsMeasurement()
{
    ProfileAnalisisWidget window;
    ScriptedPrompts prompts;
    LogReader log;
    QSignalSpy unlocked(&window, &ProfileAnalisisWidget::unlockButtons);
    // Every message the status line showed: the panel's search for an instrument, which finds
    // none here, may report so at any moment, also after the message looked for.
    QSignalSpy shown(window.statusBar(), &QStatusBar::messageChanged);
    QVERIFY(window.setDataProvider(new StandInRecording(6000, false)));
    QVERIFY(window.startReading(PROFILE));
    QVERIFY(unlocked.wait(kWaitMs));
    QStringList messages;
    for (const QList<QVariant> &message : qAsConst(shown))
        messages << message.at(0).toString();
    QVERIFY2(messages.contains(QStringLiteral("Трасса прервана до начала измерения")),
             qPrintable(messages.join(QStringLiteral(" | "))));
    QVERIFY(log.contains(QStringLiteral("INFO: Trace interrupted before the measurement began")));
    QVERIFY(prompts.asked.isEmpty());
    QVERIFY(window.traceList()->traces.isEmpty());
    QVERIFY(window.graphHolders().isEmpty());
    QVERIFY(!window.traceList()->readingTrace);
    QVERIFY(window.traceRoad()->traces().isEmpty());
}

void TestProfileWindowChanges::hiddenAdditionalTracesCostNoPlotObjects()
{
    settings->change([](Settings &s) { s.preferences.profile_filter_mode = 0; });
    QTemporaryDir dir;
    const auto family = [&dir](int additional) {
        const QString path = dir.filePath(QStringLiteral("f%1.txt").arg(additional));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        QByteArray text = "trace_type:PROFILE\nspeed:1\nfilter:800\naddittional_trace_count:"
            + QByteArray::number(additional) + "\npoint_count:3\n0\t1\n1\t2\n2\t1\n";
        for (int i = 0; i < additional; ++i)
            text += "trace_type:ADDITIONAL_TRACE\nspeed:1\nfilter:800\npoint_count:0\n";
        file.write(text);
        return path;
    };
    int items = 0;
    int plottables = 0;
    for (int additional : {1, 1000}) {
        ProfileAnalisisWidget window;
        QVERIFY(read(window, family(additional), PROFILE));
        TraceList *list = window.traceList();
        QCOMPARE(list->traces.size(), additional + 1);
        QTreeWidgetItem *main = list->itemForTrace(list->traces.firstKey());
        QCOMPARE(main->childCount(), additional);
        QCOMPARE(main->child(additional - 1)->text(0),
                 QStringLiteral("Доп. трасса %1").arg(additional));
        Plot *plot = child<Plot>(window, "plotMain");
        if (additional == 1) {
            items = plot->itemCount();
            plottables = plot->plottableCount();
            continue;
        }
        // The hidden traces put nothing on the plots.
        QCOMPARE(plot->itemCount(), items);
        QCOMPARE(plot->plottableCount(), plottables);
        QCOMPARE(window.graphHolders().size(), additional + 1);
        // Shown, an additional trace is drawn like any other.
        const int shownId = list->traceItemId(main->child(500));
        main->child(500)->setCheckState(0, Qt::Checked);
        QVERIFY(window.graphHolders().value(shownId)->isVisible());
        QCOMPARE(plot->plottableCount(), plottables + 1);
    }
}

GUI_TEST_MAIN(TestProfileWindowChanges)
#include "tst_ProfileWindowChanges.moc"
