// The operator's road from a trace file to a printed measurement protocol: open the contour,
// choose a tool, measure with the mouse, see the results in the tree, write the protocol.
#include "MainWindow.h"
#include "contour/ContourAnalisisWidget.h"
#include "contour/MeasurementTreeWidget.h"
#include "core/ContourTrace.h"
#include "core/TraceFileWriter.h"
#include "dataproviders/FileDataProvider.h"
#include "measurements/ui/ErrorGraph.h"
#include "measurements/ui/ErrorMeasurement.h"
#include "measurements/ui/Measurement.h"
#include "measurements/ui/MeasurementsManager.h"
#include "measurements/ui/ReperPoint.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "profile/ProfileAnalisisWidget.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"
#include "support/gui/PlotDriver.h"
#include "support/gui/RecordingDesktop.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>

#include <cmath>
#include <memory>

using namespace testsupport;

namespace {

// A native contour file of a step: 2 mm high up to x = 5 mm, 5 mm high after it, a point every
// 0.1 mm (the file holds micrometres), shifted up by lift millimetres.
QString writeStepFile(const QString &path, double lift, const QString &author)
{
    TData columns(3);
    for (int i = 0; i <= 100; ++i) {
        columns[0].append(i * 100.0);
        columns[1].append((i < 50 ? 2000.0 : 5000.0) + lift * 1000.0);
        columns[2].append(0.0);
    }
    ContourTrace trace(columns);
    trace.setType(CONTOUR);
    trace.controllerName = author;
    trace.creationDate = QDateTime(QDate(2025, 4, 1), QTime(10, 30, 0));
    if (!writeTraceFile(path, &trace))
        return QString();
    return path;
}

// The same step tilted by degrees about the origin (the part lay askew on the table).
QString writeTiltedStepFile(const QString &path, double lift, double degrees)
{
    const double a = degrees * M_PI / 180.0;
    TData columns(3);
    for (int i = 0; i <= 100; ++i) {
        const double x = i * 100.0;
        const double y = (i < 50 ? 2000.0 : 5000.0) + lift * 1000.0;
        columns[0].append(x * std::cos(a) - y * std::sin(a));
        columns[1].append(x * std::sin(a) + y * std::cos(a));
        columns[2].append(0.0);
    }
    ContourTrace trace(columns);
    trace.setType(CONTOUR);
    trace.controllerName = QStringLiteral("Иванов");
    trace.creationDate = QDateTime(QDate(2025, 4, 2), QTime(9, 0, 0));
    if (!writeTraceFile(path, &trace))
        return QString();
    return path;
}

// The drawing of the step as it was recorded (millimetres), untilted.
const char kStepDrawing[] = "0\nSECTION\n2\nENTITIES\n"
                            "0\nLINE\n8\n0\n10\n0\n20\n2\n11\n4.9\n21\n2\n"
                            "0\nLINE\n8\n0\n10\n4.9\n20\n2\n11\n5\n21\n5\n"
                            "0\nLINE\n8\n0\n10\n5\n20\n5\n11\n10\n21\n5\n"
                            "0\nENDSEC\n0\nEOF\n";

// The same drawing half a millimetre higher: it matches the contour only once it is placed.
const char kRaisedStepDrawing[] = "0\nSECTION\n2\nENTITIES\n"
                                  "0\nLINE\n8\n0\n10\n0\n20\n2.5\n11\n4.9\n21\n2.5\n"
                                  "0\nLINE\n8\n0\n10\n4.9\n20\n2.5\n11\n5\n21\n5.5\n"
                                  "0\nLINE\n8\n0\n10\n5\n20\n5.5\n11\n10\n21\n5.5\n"
                                  "0\nENDSEC\n0\nEOF\n";

QString writeDrawing(const QDir &folder, const QString &name, const char *text)
{
    QFile file(folder.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) < 0)
        return QString();
    return QFileInfo(file).absoluteFilePath();
}

QPointF pointOf(const QCPCurve *curve, int index)
{
    const QCPCurveData &d = *(curve->data()->constBegin() + index);
    return QPointF(d.key, d.value);
}

// Reads the file as the profile window does: a file provider fills a contour trace.
ContourTrace *openTrace(const QString &path)
{
    auto *trace = new ContourTrace;
    trace->setType(CONTOUR);
    FileDataProvider provider(path);
    QSignalSpy finished(&provider, &DataProvider::dataReadFinished);
    provider.start(trace);
    if (finished.isEmpty() && !finished.wait(10000))
        qWarning("the read did not finish");
    provider.waitForFinished();
    return trace;
}

} // namespace

class tst_ContourJourney : public QObject
{
    Q_OBJECT

private slots:
    void fromTraceFileToProtocol();
    void fromTheMainWindowToAPrintedProtocol();
    void drawingDeviationThroughLevellingToProtocol();
    void drawingDeviationIsTheOneShownEverywhere();
};

void tst_ContourJourney::fromTraceFileToProtocol()
{
    // The contour is drawn as recorded: no smoothing, no tip compensation.
    TempSettings settings([](Settings &s) {
        s.service.is_disabled_gauss_filter = false;
        s.service.is_disabled_radius_elimination = false;
        s.current_controller_name = QStringLiteral("Сидоров");
    });
    // CTest runs every test in a scratch folder of its own.
    const QDir scratch = QDir::current();
    QVector<AbstractTrace *> opened {
        openTrace(writeStepFile(scratch.filePath("step.txt"), 0.0, QStringLiteral("Иванов"))),
        openTrace(writeStepFile(scratch.filePath("step2.txt"), 6.0, QStringLiteral("Петров")))};
    QCOMPARE(opened[0]->processedData->at(0).size(), 101);

    ContourAnalisisWidget window(nullptr, false);
    window.resize(1400, 900);
    window.setTraces(opened);
    // The profile window may delete its traces meanwhile: the tab measures its own copies.
    qDeleteAll(opened);
    opened.clear();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.findChild<QLineEdit *>("detailNameEdit")->setText(QStringLiteral("Ступень 3"));
    // Framed on the screen in its true shape: one millimetre takes as many pixels either way.
    Plot *plot = window.plot();
    QVERIFY(relativelyEqual(plot->xAxis->coordToPixel(1) - plot->xAxis->coordToPixel(0),
                            plot->yAxis->coordToPixel(0) - plot->yAxis->coordToPixel(1), 1e-6));
    QVERIFY(plot->yAxis->range().contains(1.7) && plot->yAxis->range().contains(11.3));

    // The test does not move the pointer of the machine it runs on.
    window.manager()->reperPoints()->setCursorMover([](const QPoint &) {});
    PlotDriver driver(window.plot());
    auto choose = [&window](const char *action, const char *button) {
        window.findChild<QAction *>(action)->setChecked(true);
        window.findChild<QPushButton *>(button)->click();
    };
    // A length: the two corners, then the label.
    choose("actionDistance", "pushButtonHorisontalDistance");
    driver.move(2, 2);
    driver.click(2, 2);
    driver.move(7, 5);
    driver.click(7, 5);
    driver.move(4.5, 7);
    driver.click(4.5, 7);
    // A height on the same corners.
    choose("actionDistance", "pushButtonVerticalDistance");
    driver.move(2, 2);
    driver.click(2, 2);
    driver.move(7, 5);
    driver.click(7, 5);
    driver.move(8, 3.5);
    driver.click(8, 3.5);
    // The straight distance on the upper contour.
    choose("actionDistance", "pushButtonDirectDistance");
    driver.move(1, 8);
    driver.click(1, 8);
    driver.move(9, 11);
    driver.click(9, 11);
    driver.move(3, 12);
    driver.click(3, 12);

    MeasurementTreeWidget *tree = window.measurementTree();
    QTreeWidgetItem *lengths = tree->topLevelItem(0);
    QCOMPARE(lengths->childCount(), 3);
    QCOMPARE(lengths->child(0)->text(0), QStringLiteral("Длина"));
    QCOMPARE(lengths->child(0)->text(1), QStringLiteral("5.0000мм"));
    QCOMPARE(lengths->child(1)->text(0), QStringLiteral("Высота"));
    QCOMPARE(lengths->child(1)->text(1), QStringLiteral("3.0000мм"));
    QCOMPARE(lengths->child(2)->text(0), QStringLiteral("Прямая"));
    for (const Measurement *m : window.manager()->measurementList())
        QVERIFY(m->isFinished());

    const GrabResult grab = grabWindow(&window, "contour_window");
    VERIFY_GRAB(grab);
    QVERIFY(inkRatio(grab.image) > 0.02);

    // The protocol.
    ScriptedPrompts prompts;
    const QString path = scratch.filePath("protocol");
    prompts.answers << path;
    RecordingDesktop desktop;
    window.saveReport(&window);
    QCOMPARE(prompts.kinds(), QStringList {"save"});
    QCOMPARE(desktop.opened, QStringList {path + ".html"});
    QFile file(path + ".html");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    for (const char *text : {"Ступень 3", "Сидоров", "Иванов", "Петров", "L_1", "L_2", "L_3",
                             "5.0000мм", "3.0000мм", "ДЛИНЫ", "data:image/png;base64,"})
        QVERIFY2(html.contains(QString::fromUtf8(text)), text);
    // The tab is as it was.
    QCOMPARE(lengths->child(0)->text(0), QStringLiteral("Длина"));
}

void tst_ContourJourney::fromTheMainWindowToAPrintedProtocol()
{
    TempSettings settings([](Settings &s) {
        s.service.is_disabled_gauss_filter = false;
        s.service.is_disabled_radius_elimination = false;
    });
    // A contour along y = 2 mm from x = 0 to 10 mm, a point every 0.1 mm, with a land raised by
    // 0.5 mm from x = 4 to 6 mm, recorded by Иванов; opened under a Cyrillic name.
    const QDir scratch = QDir::current();
    const QString file = scratch.filePath("Выступ.txt");
    QVERIFY(QFile::copy(QStringLiteral(TEST_FIXTURES_DIR "/contour/raised_land.txt"), file));

    MainWindow window;
    window.resize(1400, 900);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ScriptedPrompts prompts;
    prompts.answers << file;
    window.openNewTrace();
    ProfileAnalisisWidget *profile = window.profileWindow();
    QTRY_VERIFY_WITH_TIMEOUT(profile->allTraces().size() == 1 && window.menuBar()->isEnabled(),
                             15000);

    // "В ИЗМЕРЕНИЯ" opens the first measurement tab on the visible trace.
    profile->findChild<QAction *>("actionToMeasurement")->trigger();
    auto *tabs = window.findChild<QTabWidget *>("tabWidget");
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(1), QStringLiteral("ИЗМЕРЕНИЯ #1"));
    auto *tab = qobject_cast<ContourAnalisisWidget *>(tabs->currentWidget());
    QVERIFY(tab);
    QCOMPARE(tab->traces().size(), 1);
    QVERIFY(tab->traces().first() != profile->allTraces().first());

    tab->manager()->reperPoints()->setCursorMover([](const QPoint &) {});
    PlotDriver driver(tab->plot());
    auto choose = [tab](const char *action, const char *button) {
        tab->findChild<QAction *>(action)->setChecked(true);
        tab->findChild<QPushButton *>(button)->click();
    };
    // A length by clicks: two points of the base line, then the label.
    choose("actionDistance", "pushButtonHorisontalDistance");
    driver.move(2, 2);
    driver.click(2, 2);
    driver.move(7, 2);
    driver.click(7, 2);
    driver.move(4.5, 3.5);
    driver.click(4.5, 3.5);

    // The deviation from a line: press on the point at x = 1, drag along the contour over the
    // land to the point at x = 9.1 and release, which selects the points 1 .. 9 mm; move the
    // label below the contour and click. The stretch is symmetric about the land, so its line
    // runs along the base and the peak-to-valley deviation is the land's height.
    choose("actionErrors", "pushButtonRMSE");
    driver.drag({1.0, 2.0}, {{2.5, 2.0}, {4.5, 2.5}, {5.5, 2.5}, {7.5, 2.0}, {9.1, 2.0}});
    auto *deviation = qobject_cast<ErrorMeasurement *>(tab->manager()->currentMeasurement());
    QVERIFY(deviation);
    QCOMPARE(deviation->selection(0)->begin, quint64(10));
    QCOMPARE(deviation->selection(0)->end, quint64(91));
    QVERIFY(deviation->isPlacingLabel());
    driver.move(5, 1);
    driver.click(5, 1);
    QVERIFY(deviation->isFinished());
    COMPARE_TOL(deviation->value(), 0.5, 0.0, 1e-9);

    MeasurementTreeWidget *tree = tab->measurementTree();
    QTreeWidgetItem *lengths = tree->topLevelItem(0);
    QCOMPARE(lengths->childCount(), 1);
    QCOMPARE(lengths->child(0)->text(1), QStringLiteral("5.0000мм"));
    QTreeWidgetItem *deviations = tree->topLevelItem(1);
    QCOMPARE(deviations->text(0), QStringLiteral("ОТКЛОНЕНИЯ"));
    QCOMPARE(deviations->childCount(), 1);
    QCOMPARE(deviations->child(0)->text(0), QStringLiteral("Отклонение от прямой"));
    QCOMPARE(deviations->child(0)->text(1), QStringLiteral("0.500000мм"));

    // Ctrl+P in the tab: the operator's name, then the file.
    const QString path = scratch.filePath("protocol_tab");
    prompts.answers << QStringLiteral("Сидоров") << path;
    RecordingDesktop desktop;
    windowKeyPress(&window, Qt::Key_P, Qt::ControlModifier);
    windowKeyRelease(&window, Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(prompts.kinds(), QStringList({"open", "item", "save"}));
    QCOMPARE(desktop.opened, QStringList {path + ".html"});
    QFile protocol(path + ".html");
    QVERIFY(protocol.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(protocol.readAll());
    // The controller, the trace (its author and date), both measurements and the picture.
    for (const char *text :
         {"Сидоров", "Иванов", "01-04-2025 10:30:00", "Деталь", "ДЛИНЫ", "L_1", "5.0000мм",
          "ОТКЛОНЕНИЯ", "E_1", "0.500000мм", "data:image/png;base64,"})
        QVERIFY2(html.contains(QString::fromUtf8(text)), text);
    // The tab is as it was.
    QCOMPARE(deviations->child(0)->text(0), QStringLiteral("Отклонение от прямой"));
    COMPARE_TOL(deviation->value(), 0.5, 0.0, 1e-9);
}

// Two tilted traces, a drawing fitted to the first, the deviation from it; then the contour is
// levelled: the drawing turns with it, the deviation stays, the protocol records it; the
// levelling's reset brings everything back.
void tst_ContourJourney::drawingDeviationThroughLevellingToProtocol()
{
    TempSettings settings([](Settings &s) {
        s.service.is_disabled_gauss_filter = false;
        s.service.is_disabled_radius_elimination = false;
    });
    const QDir scratch = QDir::current();
    QVector<AbstractTrace *> opened {
        openTrace(writeTiltedStepFile(scratch.filePath("step.txt"), 0.0, 2.0)),
        openTrace(writeTiltedStepFile(scratch.filePath("step2.txt"), 6.0, 2.0))};
    QFile drawingFile(scratch.filePath("step.dxf"));
    QVERIFY(drawingFile.open(QIODevice::WriteOnly));
    drawingFile.write(kStepDrawing);
    drawingFile.close();

    ContourAnalisisWidget window(nullptr, false);
    window.resize(1400, 900);
    window.setTraces(opened);
    qDeleteAll(opened);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.manager()->reperPoints()->setCursorMover([](const QPoint &) {});
    PlotDriver driver(window.plot());
    auto choose = [&window](const char *action, const char *button) {
        window.findChild<QAction *>(action)->setChecked(true);
        window.findChild<QPushButton *>(button)->click();
    };
    QCPCurve *first = window.traceCurves().at(0);
    auto dragAlong = [&](int from, int to) {
        QVector<QPointF> path;
        for (int s = 1; s <= 6; ++s)
            path << pointOf(first, from + (to - from) * s / 6);
        driver.drag(pointOf(first, from), path);
    };

    // The drawing: the file, the trace's corner, the drawing's corner.
    ScriptedPrompts prompts;
    prompts.answers << QFileInfo(drawingFile).absoluteFilePath();
    choose("actionDXF", "pushButtonDXFPlane");
    driver.click(8, 1);
    const QPointF corner = pointOf(first, 49);
    driver.move(corner.x(), corner.y());
    driver.click(corner.x(), corner.y());
    driver.move(4.9, 2);
    driver.click(4.9, 2);
    QCOMPARE(window.manager()->measurementList().size(), size_t(1));
    QVERIFY(window.manager()->measurementList().front()->isFinished());
    QVERIFY(window.findChild<QPushButton *>("pushButtonErrorPlane")->isEnabled());

    // The deviation of the upper level from the drawing.
    choose("actionDXF", "pushButtonErrorPlane");
    dragAlong(55, 95);
    driver.move(7, 3);
    driver.click(7, 3);
    Measurement *deviation = window.manager()->measurementList().back();
    QCOMPARE(deviation->type(), int(ERROR_PLANE));
    QVERIFY(deviation->isFinished() && deviation->hasValue());
    const double fitted = deviation->value();
    QVERIFY2(fitted < 1e-3, qPrintable(QString::number(fitted)));
    QTreeWidgetItem *deviations = window.measurementTree()->topLevelItem(1);
    QCOMPARE(deviations->childCount(), 1);
    const QString fittedText = deviation->valueText();
    QCOMPARE(deviations->child(0)->text(1), fittedText);

    // Levelled by the lower level: the contour turns by −2°, the drawing with it.
    choose("actionLayFlat", "pushButtonlayFlat");
    dragAlong(5, 45);
    QVERIFY(std::abs(pointOf(first, 45).y() - pointOf(first, 5).y()) < 1e-6);
    auto near = [fitted](double value) {
        return std::abs(value - fitted) <= 1e-9 + 1e-6 * fitted;
    };
    QVERIFY2(near(deviation->value()), qPrintable(QString::number(deviation->value(), 'g', 12)));
    QCOMPARE(deviations->child(0)->text(1), fittedText);
    const GrabResult levelled = grabWindow(&window, "drawing_levelled");
    VERIFY_GRAB(levelled);

    // The protocol records the deviation as measured.
    const QString path = scratch.filePath("protocol");
    prompts.answers << path;
    RecordingDesktop desktop;
    window.saveReport(&window);
    QFile file(path + ".html");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    for (const QString &text : {QStringLiteral("ОТКЛОНЕНИЯ"), QStringLiteral("E_1"), fittedText})
        QVERIFY2(html.contains(text), qPrintable(text));

    // The levelling's reset: the contour and the drawing back as they were fitted.
    window.findChild<QAction *>("actionLayFlat")->setChecked(true);
    window.findChild<QPushButton *>("pushButtonRST")->click();
    QVERIFY(std::abs(pointOf(first, 45).y() - pointOf(first, 5).y()) > 0.1);
    QVERIFY2(near(deviation->value()), qPrintable(QString::number(deviation->value(), 'g', 12)));
    QCOMPARE(deviations->child(0)->text(1), fittedText);
}

// A drawing fitted to the step and the deviation from it over x 2 to 8 mm; a second drawing
// imported and left unplaced, then dropped with Escape; then the fitted drawing deleted. After
// every step the tree, the status line, the deviation graph and a protocol written at once all
// show the one value of the deviation, and the deviation tool is offered while a drawing is
// listed.
void tst_ContourJourney::drawingDeviationIsTheOneShownEverywhere()
{
    TempSettings settings([](Settings &s) {
        s.service.is_disabled_gauss_filter = false;
        s.service.is_disabled_radius_elimination = false;
    });
    const QDir scratch = QDir::current();
    QVector<AbstractTrace *> opened {
        openTrace(writeStepFile(scratch.filePath("step.txt"), 0.0, QStringLiteral("Иванов")))};
    const QString raised = writeDrawing(scratch, "raised.dxf", kRaisedStepDrawing);
    QVERIFY(!raised.isEmpty());

    ContourAnalisisWidget window(nullptr, false);
    window.resize(1400, 900);
    window.setTraces(opened);
    qDeleteAll(opened);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.manager()->reperPoints()->setCursorMover([](const QPoint &) {});
    PlotDriver driver(window.plot());
    auto choose = [&window](const char *action, const char *button) {
        window.findChild<QAction *>(action)->setChecked(true);
        window.findChild<QPushButton *>(button)->click();
    };
    QCPCurve *trace = window.traceCurves().at(0);
    auto *status = window.findChild<QStatusBar *>("statusbar");
    auto *errorPlaneButton = window.findChild<QPushButton *>("pushButtonErrorPlane");
    MeasurementTreeWidget *tree = window.measurementTree();
    QTreeWidgetItem *deviations = tree->topLevelItem(1);
    QTreeWidgetItem *construction = tree->topLevelItem(5);
    ScriptedPrompts prompts;
    RecordingDesktop desktop;
    int written = 0;
    // A protocol written now, through the save dialog, as its page reads.
    auto protocol = [&]() -> QString {
        const QString path = scratch.filePath(QStringLiteral("protocol_%1").arg(++written));
        prompts.answers << path;
        window.saveReport(&window);
        if (desktop.opened.value(written - 1) != path + ".html")
            return QString();
        QFile file(path + ".html");
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(file.readAll());
    };

    // The drawing: the file, the trace's corner, the drawing's corner.
    prompts.answers << raised;
    choose("actionDXF", "pushButtonDXFPlane");
    driver.click(8, 1);
    const QPointF corner = pointOf(trace, 49);
    driver.move(corner.x(), corner.y());
    driver.click(corner.x(), corner.y());
    driver.move(4.9, 2.5);
    driver.click(4.9, 2.5);
    QTRY_VERIFY(window.manager()->measurementList().front()->isFinished());
    Measurement *drawing = window.manager()->measurementList().front();
    QCOMPARE(drawing->type(), int(COMPARE_PLANE_DXF));
    QVERIFY(errorPlaneButton->isEnabled());

    // The deviation from it over x 2 to 8 mm, its label placed below the contour.
    choose("actionDXF", "pushButtonErrorPlane");
    QVector<QPointF> path;
    for (int s = 1; s <= 6; ++s)
        path << pointOf(trace, 20 + 60 * s / 6);
    driver.drag(pointOf(trace, 20), path);
    driver.move(5, 0.5);
    driver.click(5, 0.5);
    auto *deviation = qobject_cast<ErrorMeasurement *>(window.manager()->measurementList().back());
    QVERIFY(deviation);
    QCOMPARE(deviation->type(), int(ERROR_PLANE));
    QVERIFY(deviation->isFinished() && deviation->hasValue());
    QVERIFY2(deviation->value() < 1e-3, qPrintable(QString::number(deviation->value())));
    const QString measured = deviation->valueText();
    ErrorGraph *graph = deviation->deviationGraph();

    // The one value everywhere: the tree, the status line, the graph and a protocol written now.
    // What differs, or nothing.
    auto shownEverywhere = [&]() -> QString {
        if (deviation->valueText() != measured)
            return "the measurement: " + deviation->valueText();
        if (deviations->child(0)->text(1) != measured)
            return "the tree: " + deviations->child(0)->text(1);
        if (deviations->text(1).isEmpty())
            return QStringLiteral("no group mean");
        // The graph draws the deviations of that calculation: their mean is the value, and they
        // are all as small as a fitted drawing leaves them.
        if (!graph->curve()->visible())
            return QStringLiteral("no graph");
        if (!(graph->minValue <= deviation->value() && deviation->value() <= graph->maxValue
              && graph->maxValue < 1e-3))
            return "the graph up to " + QString::number(graph->maxValue);
        const QString html = protocol();
        if (!html.contains(QStringLiteral("E_1")) || !html.contains(measured)
            || html.contains(QStringLiteral("неизвестно")))
            return QStringLiteral("the protocol");
        // What the status line says of the deviation is that value too.
        if (status->currentMessage() != deviation->name() + ": " + measured)
            return "the status line: " + status->currentMessage();
        return QString();
    };
    QString problem = shownEverywhere();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    // The drawing imported again and left where the file puts it, half a millimetre off the
    // contour: it is no reference until it is placed.
    prompts.answers << raised;
    choose("actionDXF", "pushButtonDXFPlane");
    driver.click(8, 1);
    QCOMPARE(construction->childCount(), 2);
    auto *unplaced = window.manager()->measurementList().back();
    QCOMPARE(unplaced->type(), int(COMPARE_PLANE_DXF));
    QVERIFY(!unplaced->isFinished());
    QVERIFY(errorPlaneButton->isEnabled());
    problem = shownEverywhere();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    // Escape drops it; the fitted drawing is still listed, and the deviation tool with it.
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Escape);
    QCOMPARE(construction->childCount(), 1);
    QVERIFY(errorPlaneButton->isEnabled());
    problem = shownEverywhere();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    // The fitted drawing deleted from the tree with the Delete key: nothing to measure against.
    const QRect row = tree->visualItemRect(construction->child(0));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    QCOMPARE(tree->currentItem(), construction->child(0));
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Delete);
    QCOMPARE(construction->childCount(), 0);
    QCOMPARE(window.manager()->measurementList().size(), size_t(1));
    QVERIFY(!errorPlaneButton->isEnabled());
    QVERIFY(!deviation->hasValue());
    QCOMPARE(deviations->child(0)->text(1), QStringLiteral("неизвестно"));
    QCOMPARE(deviations->text(1), QString());
    QVERIFY2(status->currentMessage().startsWith(deviation->name() + ": неизвестно"),
             qPrintable(status->currentMessage()));
    QVERIFY(!graph->curve()->visible());
    // The first protocol after the delete says so.
    const QString html = protocol();
    QVERIFY(html.contains(QStringLiteral("E_1")));
    QVERIFY(html.contains(QStringLiteral("неизвестно")));
    QVERIFY(!html.contains(measured));
    QCOMPARE(deviations->child(0)->text(1), QStringLiteral("неизвестно"));
    QVERIFY2(status->currentMessage().startsWith(deviation->name() + ": неизвестно"),
             qPrintable(status->currentMessage()));
    const GrabResult grab = grabWindow(&window, "drawing_deleted");
    VERIFY_GRAB(grab);
}

GUI_TEST_MAIN(tst_ContourJourney)
#include "tst_ContourJourney.moc"
