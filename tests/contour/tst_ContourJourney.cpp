// The operator's road from a trace file to a printed measurement protocol: open the contour,
// choose a tool, measure with the mouse, see the results in the tree, write the protocol.
#include "MainWindow.h"
#include "contour/ContourAnalisisWidget.h"
#include "contour/MeasurementTreeWidget.h"
#include "core/ContourTrace.h"
#include "core/TraceFileWriter.h"
#include "dataproviders/FileDataProvider.h"
#include "measurements/ui/ClickDistaceMeasurement.h"
#include "measurements/ui/ComparePlaneDXF.h"
#include "measurements/ui/ErrorGraph.h"
#include "measurements/ui/ErrorMeasurement.h"
#include "measurements/ui/Measurement.h"
#include "measurements/ui/MeasurementsManager.h"
#include "measurements/ui/ReperPoint.h"
#include "platform/DialogRunner.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "profile/ProfileAnalisisWidget.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"
#include "support/gui/HeldFit.h"
#include "support/gui/ModalAnswerer.h"
#include "support/gui/PlotDriver.h"
#include "support/gui/RecordingDesktop.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QThread>
#include <QThreadPool>
#include <QToolBar>

#include <atomic>
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

// A native contour file (micrometres) of the points given in millimetres.
QString writeContourFile(const QString &path, const QVector<QPointF> &millimetres)
{
    TData columns(3);
    for (const QPointF &p : millimetres) {
        columns[0].append(p.x() * 1000.0);
        columns[1].append(p.y() * 1000.0);
        columns[2].append(0.0);
    }
    ContourTrace trace(columns);
    trace.setType(CONTOUR);
    trace.controllerName = QStringLiteral("Иванов");
    trace.creationDate = QDateTime(QDate(2025, 4, 3), QTime(8, 15, 0));
    if (!writeTraceFile(path, &trace))
        return QString();
    return path;
}

// A roof: flanks of slope ±0.75 from (0, 0) and (8, 0) to the apex (4, 3), a point every 20 µm.
QVector<QPointF> roofPoints()
{
    QVector<QPointF> points;
    for (int i = 0; i <= 400; ++i) {
        const double x = i * 0.02;
        points.append(QPointF(x, 0.75 * std::min(x, 8.0 - x)));
    }
    return points;
}

// Four turns of a thread beside the roof, from x = 9 to 13 mm, its axis rising by 0.3 per mm: a
// groove 0.4 mm wide, a flank 0.2, a ridge 0.2, a flank 0.2, 1 mm high; a point every 10 µm.
QVector<QPointF> threadPoints()
{
    QVector<QPointF> points;
    for (int i = 0; i <= 400; ++i) {
        const double x = 9.0 + i * 0.01;
        const double t = x - std::floor(x);
        double h = 0.0;
        if (t >= 0.8)
            h = 1.0 - (t - 0.8) / 0.2;
        else if (t >= 0.6)
            h = 1.0;
        else if (t >= 0.4)
            h = (t - 0.4) / 0.2;
        points.append(QPointF(x, 0.3 * (x - 9.0) + h));
    }
    return points;
}

// Opens the tree's context menu on the row, as a right click does.
void openContextMenu(QTreeWidget *tree, QTreeWidgetItem *item)
{
    const QPoint pos = tree->visualItemRect(item).center();
    QTest::mouseClick(tree->viewport(), Qt::RightButton, Qt::NoModifier, pos);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, tree->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(tree->viewport(), &event);
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

// What of the tab lies outside the view: curve points, the ends of lines and the boxes of
// labels; an infinite line and the selection marker at the pointer do not count.
QStringList outsideTheView(Plot *plot)
{
    QStringList outside;
    const QCPRange x = plot->xAxis->range();
    const QCPRange y = plot->yAxis->range();
    const QRectF area = plot->axisRect()->rect();
    auto inView = [&](const QPointF &p) {
        return !std::isfinite(p.x()) || !std::isfinite(p.y())
            || (x.contains(p.x()) && y.contains(p.y()));
    };
    for (int c = 0; c < plot->curveCount(); ++c) {
        const QCPCurve *curve = plot->curve(c);
        if (!curve || !curve->visible())
            continue;
        for (const QCPCurveData &d : *curve->data()) {
            if (!inView({d.key, d.value})) {
                outside << QStringLiteral("curve %1 at (%2, %3)").arg(c).arg(d.key).arg(d.value);
                break;
            }
        }
    }
    for (int i = 0; i < plot->itemCount(); ++i) {
        QCPAbstractItem *item = plot->item(i);
        if (!item->visible() || item == plot->selectionMarker()
            || qobject_cast<QCPItemStraightLine *>(item))
            continue;
        if (auto *text = qobject_cast<QCPItemText *>(item)) {
            for (const QCPItemAnchor *corner : {text->topLeft, text->bottomRight}) {
                if (!area.adjusted(-1, -1, 1, 1).contains(corner->pixelPosition()))
                    outside << QStringLiteral("label \"%1\"").arg(text->text());
            }
            continue;
        }
        for (const QCPItemPosition *position : item->positions()) {
            if (position->typeX() == QCPItemPosition::ptPlotCoords && !position->parentAnchor()
                && !inView(position->coords()))
                outside << QStringLiteral("%1 at (%2, %3)")
                               .arg(QString::fromLatin1(item->metaObject()->className()))
                               .arg(position->coords().x())
                               .arg(position->coords().y());
        }
    }
    return outside;
}

// The mean of the signed distances of the curve's points from the line through a and b: the
// line cuts ridges and grooves equally wide where it is 0, and a rigid motion keeps it.
double meanSignedDistance(const QCPCurve *curve, const QPointF &a, const QPointF &b)
{
    const QLineF line(a, b);
    const QPointF normal(-line.dy() / line.length(), line.dx() / line.length());
    double sum = 0.0;
    int n = 0;
    for (const QCPCurveData &d : *curve->data()) {
        sum += (d.key - a.x()) * normal.x() + (d.value - a.y()) * normal.y();
        ++n;
    }
    return n > 0 ? sum / n : 0.0;
}

// A contour window shown on the traces given (it measures its own copies; these are deleted),
// at an operator's size, its reper points leaving the cursor where it is, driven with the mouse.
class ShownContourWindow
{
public:
    explicit ShownContourWindow(const QVector<AbstractTrace *> &traces)
    {
        window.resize(1400, 900);
        window.setTraces(traces);
        qDeleteAll(traces);
        window.show();
        exposed = QTest::qWaitForWindowExposed(&window);
        window.manager()->reperPoints()->setCursorMover([](const QPoint &) {});
        driver = std::make_unique<PlotDriver>(window.plot());
    }

    // A tool chosen: its action checked, its button clicked.
    void choose(const char *action, const char *button)
    {
        window.findChild<QAction *>(action)->setChecked(true);
        window.findChild<QPushButton *>(button)->click();
    }

    ContourAnalisisWidget window {nullptr, false};
    std::unique_ptr<PlotDriver> driver;
    bool exposed = false;
};

// The step, smoothed and compensated for the tip, shown in a contour window, and the drawing of
// the raised step written beside it.
struct StepAndRaisedDrawing
{
    TempSettings settings {[](Settings &s) {
        s.service.is_disabled_gauss_filter = false;
        s.service.is_disabled_radius_elimination = false;
    }};
    QDir scratch = QDir::current();
    QString raised = writeDrawing(scratch, "raised.dxf", kRaisedStepDrawing);
    ShownContourWindow shown {
        {openTrace(writeStepFile(scratch.filePath("step.txt"), 0.0, QStringLiteral("Иванов")))}};
};

// The roof and the thread written to the scratch folder, opened in the main window through its
// open dialog and handed over to measurement: the contour tab that opens, or null.
ContourAnalisisWidget *roofAndThreadInMeasurement(MainWindow &window, ScriptedPrompts &prompts)
{
    const QDir scratch = QDir::current();
    const QString roof = writeContourFile(scratch.filePath("Крыша.txt"), roofPoints());
    const QString thread = writeContourFile(scratch.filePath("Резьба.txt"), threadPoints());
    if (roof.isEmpty() || thread.isEmpty())
        return nullptr;
    ProfileAnalisisWidget *profile = window.profileWindow();
    for (const QString &file : {roof, thread}) {
        const int before = profile->allTraces().size();
        prompts.answers << file;
        window.openNewTrace();
        if (!QTest::qWaitFor(
                [&] {
                    return profile->allTraces().size() == before + 1
                        && window.menuBar()->isEnabled();
                },
                15000))
            return nullptr;
    }
    profile->findChild<QAction *>("actionToMeasurement")->trigger();
    return qobject_cast<ContourAnalisisWidget *>(
        window.findChild<QTabWidget *>("tabWidget")->currentWidget());
}

// A tool chosen with the mouse: its action on the tab's tool bar, then its button.
void clickTool(ContourAnalisisWidget *tab, const char *action, const char *button)
{
    auto *toolBar = tab->findChild<QToolBar *>("toolBar");
    QTest::mouseClick(toolBar->widgetForAction(tab->findChild<QAction *>(action)), Qt::LeftButton);
    QTest::mouseClick(tab->findChild<QPushButton *>(button), Qt::LeftButton);
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
    void cancelledFitLeavesTheDrawingUnplaced();
    void constructionsThroughUnitsLevellingAndDelete();
    void threadLineThroughLevellingUnitsAndFraming();
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

    ShownContourWindow shown(opened);
    QVERIFY(shown.exposed);
    ContourAnalisisWidget &window = shown.window;
    PlotDriver &driver = *shown.driver;
    auto choose = [&shown](const char *action, const char *button) {
        shown.choose(action, button);
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

// The fit of a drawing runs on a worker behind its progress window; "Отмена" there leaves the
// drawing where it was imported, unplaced: no deviation can be measured against it, and the
// status line asks for the trace point again. The window answers on: the next two picks fit the
// drawing, and the deviation from it is measured.
void tst_ContourJourney::cancelledFitLeavesTheDrawingUnplaced()
{
    StepAndRaisedDrawing bench;
    QVERIFY(!bench.raised.isEmpty() && bench.shown.exposed);
    const QString &raised = bench.raised;
    ShownContourWindow &shown = bench.shown;
    ContourAnalisisWidget &window = shown.window;
    PlotDriver &driver = *shown.driver;
    auto choose = [&shown](const char *action, const char *button) {
        shown.choose(action, button);
    };
    QCPCurve *trace = window.traceCurves().at(0);
    auto *status = window.findChild<QStatusBar *>("statusbar");
    ScriptedPrompts prompts;
    HeldFit held;
    ModalAnswerer answerer([&held](QWidget *modal) {
        if (auto *progress = qobject_cast<DrawingFitProgress *>(modal))
            progress->cancelButton()->click();
        held.release();
    });

    prompts.answers << raised;
    choose("actionDXF", "pushButtonDXFPlane");
    driver.click(8, 1);
    auto *drawing = dynamic_cast<ComparePlaneDXF *>(window.manager()->currentMeasurement());
    QVERIFY(drawing);
    const QPointF imported = drawing->drawing().entity(1).start;
    QCOMPARE(imported, QPointF(4.9, 2.5));
    const QPointF corner = pointOf(trace, 49);
    driver.move(corner.x(), corner.y());
    driver.click(corner.x(), corner.y());
    driver.move(4.9, 2.5);
    driver.click(4.9, 2.5);
    QVERIFY(answerer.answered());
    QCOMPARE(answerer.answeredTitle(), DrawingFitProgress::title());
    QCOMPARE(drawing->stage(), 0);
    QVERIFY(!drawing->isFinished());
    QVERIFY(!drawing->comparisonDrawing());
    QVERIFY(QLineF(drawing->drawing().entity(1).start, imported).length() < 1e-12);
    QCOMPARE(status->currentMessage(), ComparePlaneDXF::tracePointText());
    QVERIFY(QThreadPool::globalInstance()->waitForDone(60000));
    QVERIFY(!held.onGuiThread);
    QVERIFY(held.waitedForTheGui);

    // Picked again, the drawing is fitted onto the step and the deviation from it is small.
    driver.move(corner.x(), corner.y());
    driver.click(corner.x(), corner.y());
    QCOMPARE(status->currentMessage(), ComparePlaneDXF::drawingPointText());
    driver.move(4.9, 2.5);
    driver.click(4.9, 2.5);
    QCOMPARE(held.runs.load(), 2);
    QTRY_VERIFY(drawing->isFinished());
    QCOMPARE(drawing->stage(), 2);
    QVERIFY(QLineF(drawing->drawing().entity(1).start, corner).length() < 0.01);
    choose("actionDXF", "pushButtonErrorPlane");
    QVector<QPointF> path;
    for (int s = 1; s <= 6; ++s)
        path << pointOf(trace, 20 + 60 * s / 6);
    driver.drag(pointOf(trace, 20), path);
    driver.move(5, 0.5);
    driver.click(5, 0.5);
    auto *deviation = qobject_cast<ErrorMeasurement *>(window.manager()->measurementList().back());
    QVERIFY(deviation);
    QVERIFY(deviation->isFinished() && deviation->hasValue());
    QVERIFY2(deviation->value() < 1e-3, qPrintable(QString::number(deviation->value())));
}

// A drawing fitted to the step and the deviation from it over x 2 to 8 mm; a second drawing
// imported and left unplaced, then dropped with Escape; then the fitted drawing deleted. After
// every step the tree, the status line, the deviation graph and a protocol written at once all
// show the one value of the deviation, and the deviation tool is offered while a drawing is
// listed.
void tst_ContourJourney::drawingDeviationIsTheOneShownEverywhere()
{
    StepAndRaisedDrawing bench;
    QVERIFY(!bench.raised.isEmpty() && bench.shown.exposed);
    const QDir &scratch = bench.scratch;
    const QString &raised = bench.raised;
    ShownContourWindow &shown = bench.shown;
    ContourAnalisisWidget &window = shown.window;
    PlotDriver &driver = *shown.driver;
    auto choose = [&shown](const char *action, const char *button) {
        shown.choose(action, button);
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

    // In micrometres and back, as a change of the settings does it: the drawing scales with the
    // contour, and the deviation is measured once per change, in the tree in the new unit.
    qRegisterMetaType<Measurement *>();
    QSignalSpy announced(window.manager(), &MeasurementsManager::measurementChanged);
    auto timesAnnounced = [&announced, deviation] {
        int times = 0;
        for (const QList<QVariant> &args : qAsConst(announced))
            times += args.at(0).value<Measurement *>() == deviation ? 1 : 0;
        announced.clear();
        return times;
    };
    const double millimetres = deviation->value();
    bench.settings.change([](Settings &s) { s.view.axis_unit = 1; });
    window.recalcAllMeasurements();
    QCOMPARE(timesAnnounced(), 1);
    QVERIFY(deviation->hasValue());
    COMPARE_TOL(deviation->value(), millimetres * 1000.0, 1e-3, 1e-6);
    QCOMPARE(deviations->child(0)->text(1), deviation->valueText());
    QVERIFY2(deviation->valueText().endsWith(QStringLiteral("мкм")),
             qPrintable(deviation->valueText()));
    bench.settings.change([](Settings &s) { s.view.axis_unit = 0; });
    window.recalcAllMeasurements();
    QCOMPARE(timesAnnounced(), 1);
    problem = shownEverywhere();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    // Framed anew in millimetres around the step and its graph, whose scale numbers stand by
    // their ticks: nothing of the tab far off widens the view.
    const QString outside = outsideTheView(window.plot()).join(QStringLiteral(", "));
    QVERIFY2(outside.isEmpty(), qPrintable(outside));
    QVERIFY2(window.plot()->xAxis->range().size() < 15.0,
             qPrintable(QString::number(window.plot()->xAxis->range().size())));

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

// Construction geometry on a roof and a thread, in a measuring tab of the main window: lines,
// a parallel, the thread's mean line and the distances built on their crossings, through two
// changes of unit, a levelling and its reset, three protocols and the deletion of the line they
// all cross.
void tst_ContourJourney::constructionsThroughUnitsLevellingAndDelete()
{
    TempSettings settings([](Settings &s) {
        s.service.is_disabled_gauss_filter = false;
        s.service.is_disabled_radius_elimination = false;
        s.view.axis_unit = 0;
        s.controllers = QStringList {QStringLiteral("Сидоров")};
        s.current_controller_name = QStringLiteral("Сидоров");
    });
    MainWindow window;
    window.resize(1400, 900);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ScriptedPrompts prompts;
    ContourAnalisisWidget *tab = roofAndThreadInMeasurement(window, prompts);
    QVERIFY(tab);
    QCOMPARE(tab->traces().size(), 2);
    MeasurementsManager *manager = tab->manager();
    manager->reperPoints()->setCursorMover([](const QPoint &) {});
    PlotDriver driver(tab->plot());
    auto choose = [tab](const char *action, const char *button) {
        clickTool(tab, action, button);
    };
    // A distance of the tool from a to b, its label placed at label.
    auto measure
        = [&](const char *button, const QPointF &a, const QPointF &b, const QPointF &label) {
              choose("actionDistance", button);
              driver.move(a.x(), a.y());
              driver.click(a.x(), a.y());
              driver.move(b.x(), b.y());
              driver.click(b.x(), b.y());
              driver.move(label.x(), label.y());
              driver.click(label.x(), label.y());
              return manager->currentMeasurement();
          };
    auto status = [tab] {
        return tab->findChild<QStatusBar *>("statusbar")->currentMessage();
    };
    MeasurementTreeWidget *tree = tab->measurementTree();
    QTreeWidgetItem *lengths = tree->topLevelItem(0);
    QTreeWidgetItem *geometry = tree->topLevelItem(5);
    auto values = [lengths] {
        QStringList texts;
        for (int i = 0; i < lengths->childCount(); ++i)
            texts << lengths->child(i)->text(1);
        return texts;
    };
    const QDir scratch = QDir::current();
    int protocols = 0;
    auto printProtocol = [&]() -> QString {
        const QString path = scratch.filePath(QStringLiteral("protocol%1").arg(++protocols));
        prompts.answers << path;
        RecordingDesktop desktop;
        windowKeyPress(&window, Qt::Key_P, Qt::ControlModifier);
        windowKeyRelease(&window, Qt::Key_P, Qt::ControlModifier);
        QFile file(path + ".html");
        if (desktop.opened != QStringList {path + ".html"} || !file.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(file.readAll());
    };
    auto changeUnit = [&window](int unit) {
        DialogInterceptor interceptor([unit](QDialog *dialog) {
            dialog->findChild<QComboBox *>("axisUnit")->setCurrentIndex(unit);
            dialog->accept();
        });
        window.findChild<QAction *>("actionSettings")->trigger();
    };

    // H through the trace point (1, 0.75), V through (2, 1.5), and the parallel of H at 0,5.
    choose("actionLineAdditionalGeometry", "pushButtonAddGeomHorizontalLine");
    driver.click(1, 0.75);
    choose("actionLineAdditionalGeometry", "pushButtonAddGeomVerticlaLine");
    driver.click(2, 1.5);
    QCOMPARE(geometry->childCount(), 2);
    prompts.answers << QStringLiteral("Эквидистанта") << 0.5;
    openContextMenu(tree, geometry->child(0));
    QCOMPARE(geometry->childCount(), 3);
    auto *parallel = static_cast<ClickDistaceMeasurement *>(manager->measurementList().back());
    QCOMPARE(parallel->lineCoefficients(), (QVector<double> {0.0, 1.25}));

    // The straight distance from H×V to the apex, the height from (parallel×V) to the apex.
    Measurement *direct = measure("pushButtonDirectDistance", {2, 0.75}, {4, 3}, {3.5, 1.5});
    QVERIFY(direct && direct->isFinished());
    QCOMPARE(status(), QStringLiteral("Прямая: 3.0104мм"));
    Measurement *height = measure("pushButtonVerticalDistance", {2, 1.25}, {4, 3}, {5, 2});
    QVERIFY(height && height->isFinished());
    QCOMPARE(status(), QStringLiteral("Высота: 1.7500мм"));

    // The thread's mean line, fitted with a click on the thread; V crosses it on the left.
    choose("actionLineAdditionalGeometry", "pushButtonAddGeomThread");
    driver.click(11.5, 1.25);
    auto *meanLine = static_cast<ClickDistaceMeasurement *>(manager->currentMeasurement());
    QVERIFY(meanLine && meanLine->isFinished());
    QCOMPARE(meanLine->name(), QStringLiteral("Средний диаметр"));
    const QVector<double> line = meanLine->lineCoefficients();
    QVERIFY2(std::abs(line.value(0) - 0.3) < 0.01, qPrintable(QString::number(line.value(0))));
    const QPointF threadCrossing(2, line.value(0) * 2 + line.value(1));
    Measurement *threadHeight
        = measure("pushButtonVerticalDistance", threadCrossing, {4, 3}, {6, 1});
    QVERIFY(threadHeight && threadHeight->isFinished());
    const double threadMm = 3.0 - threadCrossing.y();
    COMPARE_TOL(threadHeight->value(), threadMm, 0.0, 1e-9);
    const QString threadText = QString::number(threadMm, 'f', 4) + QStringLiteral("мм");
    const QStringList millimetres {"3.0104мм", "1.7500мм", threadText};
    QCOMPARE(values(), millimetres);

    QString html = printProtocol();
    for (const QString &text : millimetres + QStringList {"L_1", "L_2", "L_3"})
        QVERIFY2(html.contains(text), qPrintable(text));

    // In micrometres: every line, crossing and distance in the new unit.
    changeUnit(1);
    const QString threadMicrometres = QString::number(threadMm * 1000, 'f', 4) + "мкм";
    const QStringList micrometres {"3010.3986мкм", "1750.0000мкм", threadMicrometres};
    QCOMPARE(values(), micrometres);
    COMPARE_TOL(parallel->lineCoefficients().value(1), 1250.0, 0.0, 1e-9);
    COMPARE_TOL(parallel->line->point1->coords().y(), 1250.0, 0.0, 1e-3);
    COMPARE_TOL(meanLine->lineCoefficients().value(1), line.value(1) * 1000, 1e-9, 1e-9);
    bool found = false;
    for (const ReperPoint *p : meanLine->reperPointList())
        found = found || QLineF(p->position(), threadCrossing * 1000).length() < 1e-6;
    QVERIFY(found);
    // A distance made now reads what the one made before reads.
    Measurement *fresh
        = measure("pushButtonDirectDistance", {2000, 750}, {4000, 3000}, {3500, 1500});
    QVERIFY(fresh && fresh->isFinished());
    QCOMPARE(status(), QStringLiteral("Прямая: 3010.3986мкм"));
    QCOMPARE(values(), micrometres + QStringList {"3010.3986мкм"});
    VERIFY_GRAB(grabWindow(tab, "constructions_micrometres"));
    html = printProtocol();
    for (const QString &text : micrometres)
        QVERIFY2(html.contains(text), qPrintable(text));

    // And back.
    changeUnit(0);
    QCOMPARE(values(), millimetres + QStringList {"3.0104мм"});
    COMPARE_TOL(parallel->lineCoefficients().value(1), 1.25, 0.0, 1e-12);

    // Levelled by the right flank of the roof: H and its parallel stay horizontal through their
    // turned points, V vertical, the mean line turns; everything built on them follows, and a
    // distance made now reads what the one made before reads.
    choose("actionLayFlat", "pushButtonlayFlat");
    QCPCurve *roofCurve = tab->traceCurves().at(0);
    auto roofAt = [roofCurve](int i) {
        const QCPCurveData &d = *(roofCurve->data()->constBegin() + i);
        return QPointF(d.key, d.value);
    };
    {
        QVector<QPointF> path;
        for (int i = 1; i <= 6; ++i)
            path << roofAt(225 + 25 * i);
        driver.drag(roofAt(225), path);
    }
    COMPARE_TOL(roofAt(375).y(), roofAt(225).y(), 0.0, 1e-6);
    QVERIFY(status().startsWith(QStringLiteral("Укладка готова")));
    const QPointF apex = roofAt(200);
    const QVector<double> h = manager->measurementList().front()->lineCoefficients();
    COMPARE_TOL(parallel->lineCoefficients().value(1), h.value(1) + 0.5, 0.0, 1e-9);
    COMPARE_TOL(parallel->lineCoefficients().value(0), 0.0, 0.0, 1e-12);
    const double xV = roofAt(100).x();
    const QStringList levelled = values();
    QCOMPARE(levelled.at(1), QString::number(std::abs(apex.y() - h.value(1) - 0.5), 'f', 4) + "мм");
    const QVector<double> turned = meanLine->lineCoefficients();
    // The mean line turned with the thread it was fitted to.
    const QPointF first = manager->levelling().map({9.0, line[0] * 9.0 + line[1]});
    const QPointF last = manager->levelling().map({13.0, line[0] * 13.0 + line[1]});
    const double slope = (last.y() - first.y()) / (last.x() - first.x());
    COMPARE_TOL(turned.value(0), slope, 1e-6, 1e-9);
    COMPARE_TOL(turned.value(1), first.y() - slope * first.x(), 1e-6, 1e-9);
    COMPARE_TOL(threadHeight->value(), std::abs(apex.y() - (turned[0] * xV + turned[1])), 0.0,
                1e-9);
    Measurement *again
        = measure("pushButtonDirectDistance", {xV, h.value(1)}, apex, {apex.x(), -0.5});
    QVERIFY(again && again->isFinished());
    QCOMPARE(again->valueText(), direct->valueText());
    QCOMPARE(lengths->child(0)->text(1), lengths->child(4)->text(1));
    QCOMPARE(lengths->child(3)->text(1), lengths->child(4)->text(1));
    const GrabResult levelledGrab = grabWindow(tab, "constructions_levelled");
    VERIFY_GRAB(levelledGrab);

    // The levelling's reset: all as it was before.
    choose("actionLayFlat", "pushButtonRST");
    QCOMPARE(values(), (millimetres + QStringList {"3.0104мм", "3.0104мм"}));
    COMPARE_TOL(parallel->lineCoefficients().value(1), 1.25, 0.0, 1e-9);

    // V goes, and all that was built on its crossings goes with it; H, its parallel and the
    // mean line stay, and nothing is selected.
    prompts.answers << QStringLiteral("Удалить");
    openContextMenu(tree, geometry->child(1));
    QCOMPARE(geometry->child(1)->text(0), QStringLiteral("Горизонтальная прямая"));
    QCOMPARE(geometry->childCount(), 3);
    QCOMPARE(lengths->childCount(), 0);
    QCOMPARE(manager->measurementList().size(), size_t(3));
    QVERIFY2(status().contains(QStringLiteral("«Вертикальная прямая»"))
                 && status().contains(QStringLiteral("Прямая"))
                 && status().contains(QStringLiteral("Высота")),
             qPrintable(status()));
    QVERIFY(tree->selectedItems().isEmpty());
    for (const ReperPoint *p : manager->reperPoints()->pointList())
        QVERIFY2(std::abs(p->position().x() - 2.0) > 1e-6,
                 qPrintable(QString::number(p->position().x())));
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(tab, Qt::Key_Delete);
    QCOMPARE(geometry->childCount(), 3);

    // The protocol is written, and the unit still changes both ways.
    html = printProtocol();
    QVERIFY(!html.isEmpty());
    QVERIFY(!html.contains(QStringLiteral("L_1")));
    changeUnit(1);
    COMPARE_TOL(parallel->lineCoefficients().value(1), 1250.0, 0.0, 1e-9);
    changeUnit(0);
    COMPARE_TOL(parallel->lineCoefficients().value(1), 1.25, 0.0, 1e-12);
    QCOMPARE(prompts.kinds(),
             QStringList({"open", "open", "menu", "double", "save", "save", "menu", "save"}));
}

// The thread's mean line on a roof and a thread, with a distance whose label is placed above the
// roof: a levelling, "Сбросить масштаб", a change to micrometres and back and the levelling's
// reset. The line stays where the thread is (its ends turn and scale with it, it keeps cutting
// ridges and grooves equally), the distance keeps its value, and the view's reset frames all of
// it, the turned thread and the label included.
void tst_ContourJourney::threadLineThroughLevellingUnitsAndFraming()
{
    TempSettings settings([](Settings &s) {
        s.service.is_disabled_gauss_filter = false;
        s.service.is_disabled_radius_elimination = false;
        s.view.axis_unit = 0;
    });
    MainWindow window;
    window.resize(1400, 900);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ScriptedPrompts prompts;
    ContourAnalisisWidget *tab = roofAndThreadInMeasurement(window, prompts);
    QVERIFY(tab);
    MeasurementsManager *manager = tab->manager();
    manager->reperPoints()->setCursorMover([](const QPoint &) {});
    Plot *plot = tab->plot();
    PlotDriver driver(plot);
    auto choose = [tab](const char *action, const char *button) {
        clickTool(tab, action, button);
    };
    auto resetView = [&] {
        choose("actionScale", "pushButtonResetScale");
        return outsideTheView(plot).join(QStringLiteral(", "));
    };
    auto changeUnit = [&window](int unit) {
        DialogInterceptor interceptor([unit](QDialog *dialog) {
            dialog->findChild<QComboBox *>("axisUnit")->setCurrentIndex(unit);
            dialog->accept();
        });
        window.findChild<QAction *>("actionSettings")->trigger();
    };
    QTreeWidgetItem *lengths = tab->measurementTree()->topLevelItem(0);

    // The mean line, fitted with a click on the thread, drawn over the thread's extent.
    choose("actionLineAdditionalGeometry", "pushButtonAddGeomThread");
    driver.click(11.5, 1.25);
    auto *meanLine = dynamic_cast<Thread *>(manager->currentMeasurement());
    QVERIFY(meanLine && meanLine->isFinished());
    QCPCurve *threadCurve = tab->traceCurves().at(1);
    const QPointF start = meanLine->resultLine->start->coords();
    const QPointF end = meanLine->resultLine->end->coords();
    COMPARE_TOL(start.x(), 9.0, 0.0, 1e-9);
    COMPARE_TOL(end.x(), 13.0, 0.0, 1e-9);
    const QVector<double> line = meanLine->lineCoefficients();
    COMPARE_TOL(start.y(), line[0] * 9.0 + line[1], 0.0, 1e-9);
    COMPARE_TOL(end.y(), line[0] * 13.0 + line[1], 0.0, 1e-9);
    const double balance = meanSignedDistance(threadCurve, start, end);

    // The straight distance from the apex to a ridge of the thread, its label above the roof.
    choose("actionDistance", "pushButtonDirectDistance");
    const QPointF ridge = pointOf(threadCurve, 265); // (11.65, 1.795)
    for (const QPointF &p : {QPointF(4, 3), ridge, QPointF(7, 6.5)}) {
        driver.move(p.x(), p.y());
        driver.click(p.x(), p.y());
    }
    QVERIFY(manager->currentMeasurement()->isFinished());
    const QString distance = QString::number(QLineF(QPointF(4, 3), ridge).length(), 'f', 4);
    QCOMPARE(lengths->child(0)->text(1), distance + QStringLiteral("мм"));
    QString outside = resetView();
    QVERIFY2(outside.isEmpty(), qPrintable(outside));

    // Levelled by the right flank of the roof: the thread turns up, its line with it.
    choose("actionLayFlat", "pushButtonlayFlat");
    QCPCurve *roofCurve = tab->traceCurves().at(0);
    {
        QVector<QPointF> path;
        for (int i = 1; i <= 6; ++i)
            path << pointOf(roofCurve, 225 + 25 * i);
        driver.drag(pointOf(roofCurve, 225), path);
    }
    COMPARE_TOL(pointOf(roofCurve, 375).y(), pointOf(roofCurve, 225).y(), 0.0, 1e-6);
    const RigidTransform levelling = manager->levelling();
    const QPointF turnedStart = levelling.map(start);
    const QPointF turnedEnd = levelling.map(end);
    QVERIFY(QLineF(meanLine->resultLine->start->coords(), turnedStart).length() < 1e-6);
    QVERIFY(QLineF(meanLine->resultLine->end->coords(), turnedEnd).length() < 1e-6);
    const double slope = (turnedEnd.y() - turnedStart.y()) / (turnedEnd.x() - turnedStart.x());
    COMPARE_TOL(meanLine->lineCoefficients().value(0), slope, 1e-6, 1e-9);
    COMPARE_TOL(meanLine->lineCoefficients().value(1), turnedStart.y() - slope * turnedStart.x(),
                1e-6, 1e-9);
    COMPARE_TOL(meanSignedDistance(threadCurve, turnedStart, turnedEnd), balance, 0.0, 1e-6);
    QCOMPARE(lengths->child(0)->text(1), distance + QStringLiteral("мм"));
    outside = resetView();
    QVERIFY2(outside.isEmpty(), qPrintable(outside));
    VERIFY_GRAB(grabWindow(tab, "thread_levelled_framed"));

    // In micrometres: every point of it a thousand times further from the origin.
    changeUnit(1);
    QVERIFY(QLineF(meanLine->resultLine->start->coords(), turnedStart * 1000).length() < 1e-3);
    QVERIFY(QLineF(meanLine->resultLine->end->coords(), turnedEnd * 1000).length() < 1e-3);
    COMPARE_TOL(meanLine->lineCoefficients().value(0), slope, 1e-6, 1e-9);
    COMPARE_TOL(meanSignedDistance(threadCurve, turnedStart * 1000, turnedEnd * 1000),
                balance * 1000, 0.0, 1e-3);
    QCOMPARE(lengths->child(0)->text(1),
             QString::number(QLineF(QPointF(4, 3), ridge).length() * 1000, 'f', 4)
                 + QStringLiteral("мкм"));
    outside = outsideTheView(plot).join(QStringLiteral(", "));
    QVERIFY2(outside.isEmpty(), qPrintable(outside));
    VERIFY_GRAB(grabWindow(tab, "thread_levelled_micrometres"));

    // Back in millimetres, and the levelling reset: all where it was at first.
    changeUnit(0);
    choose("actionLayFlat", "pushButtonRST");
    QVERIFY(QLineF(meanLine->resultLine->start->coords(), start).length() < 1e-6);
    QVERIFY(QLineF(meanLine->resultLine->end->coords(), end).length() < 1e-6);
    COMPARE_TOL(meanLine->lineCoefficients().value(0), line[0], 1e-6, 1e-9);
    COMPARE_TOL(meanLine->lineCoefficients().value(1), line[1], 1e-6, 1e-9);
    COMPARE_TOL(meanSignedDistance(threadCurve, start, end), balance, 0.0, 1e-6);
    QCOMPARE(lengths->child(0)->text(1), distance + QStringLiteral("мм"));
    outside = outsideTheView(plot).join(QStringLiteral(", "));
    QVERIFY2(outside.isEmpty(), qPrintable(outside));
}

GUI_TEST_MAIN(tst_ContourJourney)
#include "tst_ContourJourney.moc"
