#include "ContourWindowFixture.h"
#include "contour/CalibrationToolsWidget.h"
#include "core/Logger.h"
#include "measurements/Geometry.h"
#include "measurements/ui/DxfPlotItems.h"
#include "measurements/ui/PlotSegmentSelection.h"
#include "measurements/ui/ReperPoint.h"
#include "plot/SuffixTicker.h"
#include "support/LogReader.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ModalAnswerer.h"
#include "support/gui/PlotDriver.h"
#include "support/gui/RecordingDesktop.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"

#include <QContextMenuEvent>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QInputDialog>
#include <QStatusBar>
#include <QTreeWidget>

#include <cmath>

using namespace testsupport;

Q_DECLARE_METATYPE(QCPRange)

namespace {

const char *const kFrames[] = {"frameScale", "frameLayFlat",     "frameDistance",
                               "frameAngle", "frameRadius",      "frameErrors",
                               "frameR",     "frameAddGeomLine", "frameAddGeomCircumference",
                               "frameDXF"};

QVector<QPointF> curvePoints(const QCPCurve *curve)
{
    QVector<QPointF> points;
    for (const QCPCurveData &d : *curve->data())
        points.append(QPointF(d.key, d.value));
    return points;
}

QVector<QPointF> processedPoints(const AbstractTrace *trace, double factor)
{
    QVector<QPointF> points;
    for (int i = 0; i < trace->processedData->at(0).size(); ++i)
        points.append(QPointF(trace->processedData->at(0).at(i) * factor,
                              trace->processedData->at(1).at(i) * factor));
    return points;
}

bool samePoints(const QVector<QPointF> &a, const QVector<QPointF> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (std::abs(a[i].x() - b[i].x()) > 1e-6 * (1 + std::abs(b[i].x()))
            || std::abs(a[i].y() - b[i].y()) > 1e-6 * (1 + std::abs(b[i].y())))
            return false;
    }
    return true;
}

// Turns the curve on the plot as a levelling does, and announces the turn.
void level(ContourWindowFixture &f, double angle, const QPointF &centre)
{
    for (QCPCurve *curve : f.window->traceCurves()) {
        QVector<double> keys;
        QVector<double> values;
        for (const QPointF &p : curvePoints(curve)) {
            const QPointF q = rotatePoint(float(centre.x()), float(centre.y()), float(angle), p);
            keys.append(q.x());
            values.append(q.y());
        }
        curve->setData(keys, values);
    }
    emit f.window->manager()->setNewAngleAndCenterRot(angle, centre);
}

// Levels through the manager as the levelling tool does: a press builds the levelling, which
// reports its turn; the manager turns the plot and tells the window.
Measurement *levelThroughManager(ContourWindowFixture &f, double angle, const QPointF &centre)
{
    f.window->manager()->setMeasurementType(LAY_FLAT, false, false, QString());
    PlotDriver(f.window->plot()).click(50, 25);
    Measurement *levelling = f.window->manager()->currentMeasurement();
    if (levelling)
        emit levelling->setNewAngleAndCenterRot(angle, centre);
    return levelling;
}

QVector<QPointF> rotated(const QVector<QPointF> &points, double angle, const QPointF &centre)
{
    QVector<QPointF> out;
    for (const QPointF &p : points)
        out.append(rotatePoint(float(centre.x()), float(centre.y()), float(angle), p));
    return out;
}

bool sameIcon(const QIcon &a, const QString &resource)
{
    return a.pixmap(32, 32).toImage() == QIcon(resource).pixmap(32, 32).toImage();
}

// Answers the file dialog as the real one does: its own event loop runs before it returns, so
// whatever the press had queued (a replot) is done before the answer is used.
class EventLoopPrompts : public ScriptedPrompts
{
public:
    QString openFileName(QWidget *parent, const QString &caption, const QString &dir,
                         const QString &filter) override
    {
        QCoreApplication::processEvents();
        return ScriptedPrompts::openFileName(parent, caption, dir, filter);
    }
};

// The pixels of the picture within rect that have the colour (up to a small difference).
int pixelsOf(const QImage &image, const QRect &rect, const QColor &color, int tolerance = 40)
{
    int count = 0;
    const QRect inside = rect.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - color.red()) <= tolerance
                && std::abs(c.green() - color.green()) <= tolerance
                && std::abs(c.blue() - color.blue()) <= tolerance)
                ++count;
        }
    }
    return count;
}

// The rectangle of plot coordinates in pixels of the plot widget.
QRect pixelRect(const Plot *plot, const QRectF &coords)
{
    return QRect(QPoint(int(plot->xAxis->coordToPixel(coords.left())),
                        int(plot->yAxis->coordToPixel(coords.bottom()))),
                 QPoint(int(plot->xAxis->coordToPixel(coords.right())),
                        int(plot->yAxis->coordToPixel(coords.top()))))
        .normalized();
}

// A roof: flanks of slope ±0.75 from (0, 0) and (8, 0) mm to the apex (4, 3) mm, a point every
// 20 µm (the trace holds micrometres).
ContourTrace *makeRoof()
{
    QVector<QPointF> points;
    for (int i = 0; i <= 400; ++i) {
        const double x = i * 20.0;
        points.append(QPointF(x, 0.75 * std::min(x, 8000.0 - x)));
    }
    return makeTrace(points);
}

// Opens the tree's context menu on the row, as a right click does.
void openContextMenu(QTreeWidget *tree, QTreeWidgetItem *item)
{
    const QPoint pos = tree->visualItemRect(item).center();
    QTest::mouseClick(tree->viewport(), Qt::RightButton, Qt::NoModifier, pos);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, tree->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(tree->viewport(), &event);
}

// A drawing of a stepped part, in millimetres: 0 to 12 along x, 0 to 3 high.
const char kStepDrawing[] = "0\nSECTION\n2\nENTITIES\n"
                            "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n5\n21\n0\n"
                            "0\nLINE\n8\n0\n10\n5\n20\n0\n11\n5\n21\n3\n"
                            "0\nLINE\n8\n0\n10\n5\n20\n3\n11\n12\n21\n3\n"
                            "0\nENDSEC\n0\nEOF\n";

} // namespace

class tst_ContourAnalisisWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void freshWindow();
    void tracesAreTheWindowsOwnCopies();
    void framing_data();
    void framing();
    void units_data();
    void units();
    void framingPassesOverPointsWithNoPlace();
    void framingTakesInEveryItem();
    void framingKeepsTheWholeContour_data();
    void framingKeepsTheWholeContour();
    void calibrationModeShowsAnglesInDegrees();
    void levellingSurvivesRedraws();
    void levellingResetAlsoResetsTheManagersLevelling();
    void calibrationEditUpdatesTheCopiesInPlace();
    void wheelScaling_data();
    void wheelScaling();
    void scalingModesOfTwoWindowsAreApart();
    void panModeZoomsBothAxes();
    void middleButtonDragPans();
    void toolButtons_data();
    void toolButtons();
    void openingAFrameStopsTheActiveTool();
    void prompts_data();
    void prompts();
    void statusLineSaysHowTheToolIsUsed_data();
    void statusLineSaysHowTheToolIsUsed();
    void radiusPromptTakesCommaOrPoint_data();
    void radiusPromptTakesCommaOrPoint();
    void treeFollowsTheMeasurements();
    void deletedLineTakesWhatIsBuiltOnItAlong();
    void drawingButtonFollowsTheDrawing();
    void drawingImportLeavesNoSelectionBehind();
    void unmeasurableRoughnessIsUnknownEverywhere();
    void toolFramesShowTheirButtonsWhole_data();
    void toolFramesShowTheirButtonsWhole();
    void reportMap();
    void reportSnapshotRelabelsAndRestores();
    void saveReport_data();
    void saveReport();
    void saveReportRefusals();

private:
    std::unique_ptr<TempSettings> settings;
};

void tst_ContourAnalisisWidget::init()
{
    settings = std::make_unique<TempSettings>();
}

void tst_ContourAnalisisWidget::cleanup()
{
    settings.reset();
    QCOMPARE(Measurement::liveCount(), 0);
}

void tst_ContourAnalisisWidget::freshWindow()
{
    ContourWindowFixture f({});
    for (const char *frame : kFrames)
        QVERIFY2(!f.child<QFrame>(frame)->isVisible(), frame);
    QVERIFY(!f.window->calibrationTools()->isVisible());
    QVERIFY(f.child<QWidget>("detailNameEdit")->isVisible());
    QCOMPARE(f.child<QLineEdit>("detailNameEdit")->text(), QStringLiteral("Деталь"));
    QVERIFY(!f.child("pushButtonErrorPlane")->isEnabled());
    QCOMPARE(f.window->plot()->interactionFlags(), int(QCP::iRangeZoom));
    QCOMPARE(f.window->name(), QStringLiteral("КОНТУР"));
    QCOMPARE(f.window->plot()->curveCount(), 0);
    QVERIFY(f.window->traces().isEmpty());
    QVERIFY(sameIcon(f.child("pushButtonResetScale")->icon(), ":/icons/icons/1_1.png"));
    // The reset button does nothing but close the frame when there is no trace.
    f.child<QAction>("actionScale")->setChecked(true);
    f.child("pushButtonResetScale")->click();
    QVERIFY(!f.child<QAction>("actionScale")->isChecked());
}

void tst_ContourAnalisisWidget::tracesAreTheWindowsOwnCopies()
{
    ContourTrace *trace = makeLine(0, 0, 10, 1, 50);
    ContourWindowFixture f({nullptr, trace, nullptr});
    QCOMPARE(f.window->traces().size(), 1);
    QVERIFY(f.window->traces().first() != trace);
    QCOMPARE(f.window->traceCurves().size(), 1);
    QCOMPARE(f.window->plot()->curve(0), f.window->traceCurves().first());
    // The manager works on the same copies, never on the opener's traces.
    QCOMPARE(f.window->manager()->traceList(), f.window->traces());

    // The opener deletes its trace: the window still draws and measures its copy.
    f.given.clear();
    delete trace;
    f.window->recalcAllMeasurements();
    QCOMPARE(f.window->traceCurves().first()->dataCount(), 50);
}

void tst_ContourAnalisisWidget::framing_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QVector<QPointF>>("points");
    QTest::addColumn<QCPRange>("x");
    QTest::addColumn<QCPRange>("y"); // before the scale lock of a contour
    QTest::addColumn<bool>("profileIcon");
    QTest::newRow("contour 100 by 10")
        << int(CONTOUR) << QVector<QPointF> {{0, 0}, {50, 10}, {100, 0}} << QCPRange(-5, 105)
        << QCPRange(-0.5, 10.5) << false;
    QTest::newRow("contour of the roughness sensor")
        << int(CONTOURPROF) << QVector<QPointF> {{0, 0}, {10, 40}} << QCPRange(-0.5, 10.5)
        << QCPRange(-2, 42) << false;
    QTest::newRow("profile") << int(PROFILE) << QVector<QPointF> {{0, 0}, {50, 10}, {100, 0}}
                             << QCPRange(-5, 105) << QCPRange(-2, 12) << true;
    QTest::newRow("additional trace")
        << int(ADDITIONAL_TRACE) << QVector<QPointF> {{0, -5}, {20, 5}} << QCPRange(-1, 21)
        << QCPRange(-7, 7) << true;
    QTest::newRow("profile of one point") << int(PROFILE) << QVector<QPointF> {{3, 2}}
                                          << QCPRange(2.95, 4.05) << QCPRange(1.8, 3.2) << true;
}

void tst_ContourAnalisisWidget::framing()
{
    QFETCH(int, type);
    QFETCH(QVector<QPointF>, points);
    QFETCH(QCPRange, x);
    QFETCH(QCPRange, y);
    QFETCH(bool, profileIcon);
    settings->change([](Settings &s) { s.view.axis_unit = 1; }); // drawn as given
    // A second trace of another kind does not change the choice the first one made.
    ContourWindowFixture f({makeTrace(points, type),
                            makeTrace({points.first()}, type == PROFILE ? CONTOUR : PROFILE)});
    Plot *plot = f.window->plot();
    f.child<QAction>("actionScale")->setChecked(true);
    f.child("pushButtonResetScale")->click();
    const QCPRange xr = plot->xAxis->range();
    const QCPRange yr = plot->yAxis->range();
    if (profileIcon) {
        QVERIFY(relativelyEqual(xr.lower, x.lower, 1e-9, 1e-12));
        QVERIFY(relativelyEqual(xr.upper, x.upper, 1e-9, 1e-12));
        QVERIFY(relativelyEqual(yr.lower, y.lower, 1e-9, 1e-12));
        QVERIFY(relativelyEqual(yr.upper, y.upper, 1e-9, 1e-12));
        QVERIFY(sameIcon(f.child("pushButtonResetScale")->icon(), ":/icons/icons/reset.png"));
    } else {
        // The longer span keeps its margins, the other axis is re-ranged about its centre to
        // the same scale: one unit takes as many pixels on both axes.
        const bool xLonger = x.size() > y.size();
        const QCPRange kept = xLonger ? xr : yr;
        const QCPRange expectedKept = xLonger ? x : y;
        QVERIFY(relativelyEqual(kept.lower, expectedKept.lower, 1e-9, 1e-12));
        QVERIFY(relativelyEqual(kept.upper, expectedKept.upper, 1e-9, 1e-12));
        const QCPRange other = xLonger ? yr : xr;
        const QCPRange expectedCentre = xLonger ? y : x;
        QVERIFY(relativelyEqual(other.center(), expectedCentre.center(), 1e-9, 1e-9));
        const double xPixels = plot->xAxis->coordToPixel(1) - plot->xAxis->coordToPixel(0);
        const double yPixels = plot->yAxis->coordToPixel(0) - plot->yAxis->coordToPixel(1);
        QVERIFY2(relativelyEqual(xPixels, yPixels, 1e-6),
                 qPrintable(QString("%1 %2").arg(xPixels).arg(yPixels)));
        QVERIFY(sameIcon(f.child("pushButtonResetScale")->icon(), ":/icons/icons/1_1.png"));
    }
}

void tst_ContourAnalisisWidget::units_data()
{
    QTest::addColumn<int>("unit");
    QTest::addColumn<double>("factor");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("millimetres") << 0 << 0.001 << " мм";
    QTest::newRow("micrometres") << 1 << 1.0 << " мкм";
    QTest::newRow("nanometres") << 2 << 1000.0 << " нм";
}

void tst_ContourAnalisisWidget::units()
{
    QFETCH(int, unit);
    QFETCH(double, factor);
    QFETCH(QString, suffix);
    settings->change([](Settings &s) { s.view.axis_unit = 1; });
    ContourWindowFixture f({makeLine(0, 0, 100, 20, 11)});
    Plot *plot = f.window->plot();
    QCOMPARE(f.window->displayFactor(), 1.0);
    QCOMPARE(tickLabelSuffix(plot->xAxis)->suffix(), QStringLiteral(" мкм"));
    QVERIFY(samePoints(curvePoints(f.window->traceCurves().first()),
                       processedPoints(f.window->traces().first(), 1.0)));
    f.values << 2.0;
    f.window->manager()->setMeasurementType(CLICK_POINT, true, false, QString());
    PlotDriver(plot).click(500, 100);
    const auto *m = static_cast<ValueMeasurement *>(f.listed().first());
    const int before = m->calculations;

    // The settings window closes with another unit: everything is drawn in it, re-framed, and
    // the measurements are recalculated.
    settings->change([unit](Settings &s) { s.view.axis_unit = unit; });
    f.window->recalcAllMeasurements();
    QCOMPARE(f.window->displayFactor(), factor);
    QCOMPARE(f.window->displayUnit(), suffix);
    QCOMPARE(tickLabelSuffix(plot->xAxis)->suffix(), suffix);
    QCOMPARE(tickLabelSuffix(plot->yAxis)->suffix(), suffix);
    QVERIFY(samePoints(curvePoints(f.window->traceCurves().first()),
                       processedPoints(f.window->traces().first(), factor)));
    QVERIFY(relativelyEqual(plot->xAxis->range().upper, 1050 * factor, 1e-9));
    QVERIFY(m->calculations > before);

    // A unit the program does not know changes nothing.
    settings->change([](Settings &s) { s.view.axis_unit = 7; });
    f.window->recalcAllMeasurements();
    QCOMPARE(f.window->displayFactor(), factor);
    QCOMPARE(tickLabelSuffix(plot->xAxis)->suffix(), suffix);
}

// A reper point with no place (a circle that could not be fitted, a crossing that no longer
// exists) is left out of the framing: a change of unit frames the contour in the new unit.
void tst_ContourAnalisisWidget::framingPassesOverPointsWithNoPlace()
{
    ContourWindowFixture f({makeLine(0, 0, 100, 20, 11)});
    f.window->manager()->setMeasurementType(CLICK_POINT, true, false, QString());
    PlotDriver(f.window->plot()).click(0.5, 0.1);
    QCOMPARE(f.listed().size(), 1);
    f.listed().first()->setReperPoint(0, QPointF(qQNaN(), qQNaN()));

    settings->change([](Settings &s) { s.view.axis_unit = 1; });
    f.window->recalcAllMeasurements();
    const QCPRange x = f.window->plot()->xAxis->range();
    const QCPRange y = f.window->plot()->yAxis->range();
    QVERIFY2(x.contains(0) && x.contains(1000) && x.size() < 1200,
             qPrintable(QStringLiteral("%1 %2").arg(x.lower).arg(x.upper)));
    QVERIFY2(y.contains(0) && y.contains(200),
             qPrintable(QStringLiteral("%1 %2").arg(y.lower).arg(y.upper)));
}

// "Сбросить масштаб" shows all that the tab holds: a label placed above the traces whole, a
// drawing not yet placed beside them; a line through the whole plane and the selection marker
// at the pointer widen nothing.
void tst_ContourAnalisisWidget::framingTakesInEveryItem()
{
    settings->change([](Settings &s) { s.view.axis_unit = 1; }); // drawn as given
    ContourWindowFixture f({makeLine(0, 0, 100, 20, 11)});
    Plot *plot = f.window->plot();
    auto *label = new QCPItemText(plot);
    label->position->setCoords(500, 700);
    label->setText(QStringLiteral("Прямая: 1234.5678 мкм"));
    label->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
    auto *drawing = new DxfDrawingItem(plot);
    DxfDrawing lines;
    lines.append(DxfEntity::line(QPointF(-300, -100), QPointF(-200, -100)));
    drawing->setDrawing(lines);
    auto *everywhere = new QCPItemStraightLine(plot);
    everywhere->point1->setCoords(0, -1e6);
    everywhere->point2->setCoords(1, 1e6);
    plot->setInteractions(Plot::iRangeSelection);
    PlotDriver(plot).move(500, 100);
    QVERIFY(plot->selectionMarker()->visible());
    plot->selectionMarker()->start->setCoords(5000, 5000);

    f.child<QAction>("actionScale")->setChecked(true);
    f.child("pushButtonResetScale")->click();
    const QCPRange x = plot->xAxis->range();
    const QCPRange y = plot->yAxis->range();
    const QString ranges
        = QStringLiteral("x %1 %2, y %3 %4").arg(x.lower).arg(x.upper).arg(y.lower).arg(y.upper);
    // The drawing's left end and the label's right end, with room to spare.
    QVERIFY2(x.contains(-300) && x.contains(1000) && y.contains(-100) && y.contains(700),
             qPrintable(ranges));
    const QRectF area = plot->axisRect()->rect();
    for (const QCPItemAnchor *corner : {label->topLeft, label->bottomRight})
        QVERIFY2(area.contains(corner->pixelPosition()), qPrintable(ranges));
    QVERIFY2(x.size() < 3000 && y.size() < 3000, qPrintable(ranges));
}

void tst_ContourAnalisisWidget::framingKeepsTheWholeContour_data()
{
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QPointF>("corner"); // the contour runs from (0, 0) to here
    QTest::newRow("a little wider than high, on a wide plot")
        << QSize(1700, 700) << QPointF(10, 9.5);
    QTest::newRow("a little higher than wide, on a tall plot")
        << QSize(800, 1100) << QPointF(9.5, 10);
    QTest::newRow("wide on a wide plot") << QSize(1700, 700) << QPointF(10, 2);
    QTest::newRow("high on a tall plot") << QSize(800, 1100) << QPointF(2, 10);
}

// True to shape, and whole: whatever the shape of the plot, the axis that is re-ranged to the
// other's scale grows, and no part of the contour is left outside the view.
void tst_ContourAnalisisWidget::framingKeepsTheWholeContour()
{
    QFETCH(QSize, window);
    QFETCH(QPointF, corner);
    settings->change([](Settings &s) { s.view.axis_unit = 1; }); // drawn as given
    ContourWindowFixture f({makeTrace({{0, 0}, {corner.x(), 0}, corner, {0, corner.y()}})});
    f.window->resize(window);
    QApplication::processEvents();
    f.child<QAction>("actionScale")->setChecked(true);
    f.child("pushButtonResetScale")->click();
    Plot *plot = f.window->plot();
    const QCPRange x = plot->xAxis->range();
    const QCPRange y = plot->yAxis->range();
    QVERIFY2(x.lower < 0 && x.upper > corner.x() && y.lower < 0 && y.upper > corner.y(),
             qPrintable(QStringLiteral("x %1 %2, y %3 %4")
                            .arg(x.lower)
                            .arg(x.upper)
                            .arg(y.lower)
                            .arg(y.upper)));
    const double xPixels = plot->xAxis->coordToPixel(1) - plot->xAxis->coordToPixel(0);
    const double yPixels = plot->yAxis->coordToPixel(0) - plot->yAxis->coordToPixel(1);
    QVERIFY2(relativelyEqual(xPixels, yPixels, 1e-6),
             qPrintable(QString("%1 %2").arg(xPixels).arg(yPixels)));
}

void tst_ContourAnalisisWidget::calibrationModeShowsAnglesInDegrees()
{
    QVERIFY(!Settings::instance()->view.angles_in_deg);
    {
        ContourWindowFixture f({makeLine(0, 0, 1, 1, 10)}, true);
        QVERIFY(Settings::instance()->view.angles_in_deg);
        QVERIFY(f.window->isCalibrationMode());
        QVERIFY(!f.child<QWidget>("detailNameEdit")->isVisible());
        QVERIFY(!f.child<QWidget>("commentTextEdit")->isVisible());
        QVERIFY(f.window->measurementTree()->isCalibrationMode());
        QVERIFY(f.window->calibrationTools()->isVisible());
        settings->forgetFile();
    }
    // Nothing was saved meanwhile: the file is left alone.
    QVERIFY(!Settings::instance()->view.angles_in_deg);
    QVERIFY(!settings->saved());
    {
        ContourWindowFixture f({makeLine(0, 0, 1, 1, 10)}, true);
        // A calibration saved while the angles were forced into degrees.
        Settings::instance()->save();
        QCOMPARE(settings->stored("view/angles_in_deg").toBool(), true);
    }
    QVERIFY(!Settings::instance()->view.angles_in_deg);
    QCOMPARE(settings->stored("view/angles_in_deg").toBool(), false);
}

void tst_ContourAnalisisWidget::levellingSurvivesRedraws()
{
    settings->change([](Settings &s) { s.view.axis_unit = 1; });
    ContourWindowFixture f({makeLine(0, 0, 10, 5, 21)});
    const QPointF centre(100, 50);
    level(f, -0.4636, centre);
    level(f, 0.1, QPointF(20, 0));
    const QVector<QPointF> levelled = curvePoints(f.window->traceCurves().first());

    // A change of settings redraws the copies: still levelled, by both turns in their order.
    f.window->recalcAllMeasurements();
    QVERIFY(samePoints(curvePoints(f.window->traceCurves().first()), levelled));

    // In another unit the turns scale with the contour.
    settings->change([](Settings &s) { s.view.axis_unit = 0; });
    f.window->recalcAllMeasurements();
    QVector<QPointF> scaled;
    for (const QPointF &p : levelled)
        scaled.append(p * 0.001);
    QVERIFY(samePoints(curvePoints(f.window->traceCurves().first()), scaled));

    // The levelling reset draws the contour unlevelled and frees the levelling button.
    f.child("pushButtonlayFlat")->setCheckable(false);
    f.child<QAction>("actionLayFlat")->setChecked(true);
    LogReader log;
    f.child("pushButtonRST")->click();
    QVERIFY(log.contains("INFO: PushButtonRST was clicked"));
    QVERIFY(samePoints(curvePoints(f.window->traceCurves().first()),
                       processedPoints(f.window->traces().first(), 0.001)));
    QVERIFY(f.child("pushButtonlayFlat")->isCheckable());
    QVERIFY(!f.child<QAction>("actionLayFlat")->isChecked());
}

// The manager's composed levelling maps the unlevelled data onto the drawn curves. After a reset
// it starts afresh with the window: level, reset and level again leave the second turn alone.
void tst_ContourAnalisisWidget::levellingResetAlsoResetsTheManagersLevelling()
{
    settings->change([](Settings &s) { s.view.axis_unit = 1; });
    ContourWindowFixture f({makeLine(0, 0, 10, 5, 21)});
    MeasurementsManager *manager = f.window->manager();
    QVERIFY(levelThroughManager(f, -0.4636, QPointF(100, 50)));
    QVERIFY(!manager->levelling().isIdentity());

    f.child("pushButtonRST")->click();
    QVERIFY(manager->levelling().isIdentity());

    QVERIFY(levelThroughManager(f, 0.1, QPointF(20, 0)));
    // A redraw lays the curve out by the window's turns: the second one only.
    f.window->recalcAllMeasurements();
    const QVector<QPointF> unlevelled = processedPoints(f.window->traces().first(), 1.0);
    const QVector<QPointF> drawn = curvePoints(f.window->traceCurves().first());
    QVERIFY(samePoints(drawn, rotated(unlevelled, 0.1, QPointF(20, 0))));
    QVector<QPointF> mapped;
    for (const QPointF &p : unlevelled)
        mapped.append(manager->levelling().map(p));
    QVERIFY(samePoints(mapped, drawn));
}

void tst_ContourAnalisisWidget::calibrationEditUpdatesTheCopiesInPlace()
{
    settings->change([](Settings &s) { s.view.axis_unit = 1; });
    ContourWindowFixture f({makeLine(0, 0, 10, 5, 21), makeLine(0, 100, 10, 0, 21)}, true);
    const QVector<AbstractTrace *> copies = f.window->traces();
    level(f, 0.3, QPointF(50, 25));

    // The calibration tools hand over their traces with an edited value.
    QVector<AbstractTrace *> edited;
    for (AbstractTrace *t : f.given) {
        auto *clone = static_cast<ContourTrace *>(t->clone());
        clone->toolHeadRadiusDown = 7.5;
        clone->xAxisCompressionRatio = 1.25;
        edited.append(clone);
    }
    f.values << 3.0;
    f.window->manager()->setMeasurementType(CLICK_POINT, true, false, QString());
    PlotDriver(f.window->plot()).click(50, 25);
    auto *m = static_cast<ValueMeasurement *>(f.listed().first());
    const int before = m->calculations;
    const QCPRange xRange = f.window->plot()->xAxis->range();

    // The panel announces its edited traces.
    emit f.window->calibrationTools()->calibrationDataChanged(edited);
    QCOMPARE(f.window->traces(), copies); // the same copies, not new ones
    QCOMPARE(f.window->manager()->traceList(), copies);
    for (AbstractTrace *copy : copies) {
        QCOMPARE(static_cast<ContourTrace *>(copy)->toolHeadRadiusDown, 7.5);
        QCOMPARE(static_cast<ContourTrace *>(copy)->xAxisCompressionRatio, 1.25);
    }
    // Re-processed and drawn levelled; the axes keep their ranges; the measurements follow.
    for (int i = 0; i < copies.size(); ++i)
        QVERIFY(samePoints(curvePoints(f.window->traceCurves().at(i)),
                           rotated(processedPoints(copies.at(i), 1.0), 0.3, QPointF(50, 25))));
    QCOMPARE(f.window->plot()->xAxis->range(), xRange);
    QVERIFY(m->calculations > before);
    qDeleteAll(edited);
}

void tst_ContourAnalisisWidget::wheelScaling_data()
{
    QTest::addColumn<bool>("horizontal");
    QTest::addColumn<int>("traces");
    QTest::addColumn<int>("notches");
    QTest::addColumn<QString>("logLine");
    QTest::newRow("x, one trace, away") << true << 1 << 1 << "INFO: Zoom in scale on x-axis";
    QTest::newRow("x, two traces, away") << true << 2 << 1 << "INFO: Zoom in scale on x-axis";
    QTest::newRow("x, three traces, towards")
        << true << 3 << -1 << "INFO: Zoom out scale on x-axis";
    QTest::newRow("y, two traces, away") << false << 2 << 1 << "INFO: Zoom in scale on y-axis";
    QTest::newRow("y, one trace, two towards")
        << false << 1 << -2 << "INFO: Zoom out scale on y-axis";
    QTest::newRow("x, zero delta") << true << 2 << 0 << "";
}

void tst_ContourAnalisisWidget::wheelScaling()
{
    QFETCH(bool, horizontal);
    QFETCH(int, traces);
    QFETCH(int, notches);
    QFETCH(QString, logLine);
    QVector<AbstractTrace *> given;
    for (int i = 0; i < traces; ++i)
        given.append(makeLine(0, 100 * i, 10, 3, 101));
    ContourWindowFixture f(given);
    Plot *plot = f.window->plot();
    f.chooseTool("actionScale", horizontal ? "pushButtonScaleX" : "pushButtonScaleY");
    QCOMPARE(plot->interactionFlags(), int(QCP::iRangeDrag));
    QCOMPARE(plot->cursor().shape(), horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor);
    QVERIFY(!f.child<QFrame>("frameScale")->isVisible());

    QCPAxis *scaled = horizontal ? plot->xAxis : plot->yAxis;
    QCPAxis *other = horizontal ? plot->yAxis : plot->xAxis;
    const QCPRange before = scaled->range();
    const QCPRange otherBefore = other->range();
    LogReader log;
    PlotDriver driver(plot);
    driver.wheel(before.center(), other->range().center(), notches);
    // One notch scales each axis once, however many traces share it.
    const double expected = before.size() * std::pow(0.85, notches);
    QVERIFY2(relativelyEqual(scaled->range().size(), expected, 1e-9),
             qPrintable(QString("%1 %2").arg(scaled->range().size()).arg(expected)));
    QVERIFY(relativelyEqual(scaled->range().center(), before.center(), 1e-9, 1e-9));
    QCOMPARE(other->range(), otherBefore);
    if (logLine.isEmpty())
        QVERIFY(log.entries().isEmpty());
    else
        QCOMPARE(log.entries(), QStringList {logLine});

    // Opening any frame stops the mode: the wheel no longer scales and the cursor is default.
    f.child<QAction>("actionAngle")->setChecked(true);
    QVERIFY(!plot->testAttribute(Qt::WA_SetCursor));
    QVERIFY(f.child(horizontal ? "pushButtonScaleX" : "pushButtonScaleY")->isCheckable());
    const QCPRange stopped = scaled->range();
    driver.wheel(stopped.center(), other->range().center(), 1);
    QCOMPARE(scaled->range(), stopped);
}

void tst_ContourAnalisisWidget::scalingModesOfTwoWindowsAreApart()
{
    ContourWindowFixture first({makeLine(0, 0, 10, 3, 101)});
    ContourWindowFixture second({makeLine(0, 0, 10, 3, 101)});
    first.chooseTool("actionScale", "pushButtonScaleX");
    second.chooseTool("actionScale", "pushButtonScaleX");
    // The first window stops its mode; the second keeps scaling.
    first.child<QAction>("actionDistance")->setChecked(true);
    Plot *plot = second.window->plot();
    const QCPRange before = plot->xAxis->range();
    PlotDriver(plot).wheel(before.center(), plot->yAxis->range().center(), 1);
    QVERIFY(relativelyEqual(plot->xAxis->range().size(), before.size() * 0.85, 1e-9));
    Plot *stopped = first.window->plot();
    const QCPRange kept = stopped->xAxis->range();
    PlotDriver(stopped).wheel(kept.center(), stopped->yAxis->range().center(), 1);
    QCOMPARE(stopped->xAxis->range(), kept);
}

void tst_ContourAnalisisWidget::panModeZoomsBothAxes()
{
    ContourWindowFixture f({makeLine(0, 0, 10, 3, 101)});
    Plot *plot = f.window->plot();
    f.chooseTool("actionScale", "pushButtonPAN");
    QCOMPARE(plot->interactionFlags(), int(QCP::iRangeDrag | QCP::iRangeZoom));
    QCOMPARE(plot->cursor().shape(), Qt::OpenHandCursor);
    QVERIFY(!f.child("pushButtonPAN")->isCheckable());
    QVERIFY(sameIcon(f.child<QAction>("actionScale")->icon(), ":/icons/icons/pan.png"));
    const QCPRange x = plot->xAxis->range();
    const QCPRange y = plot->yAxis->range();
    LogReader log;
    PlotDriver driver(plot);
    driver.wheel(x.center(), y.center(), 1);
    driver.wheel(x.center(), y.center(), -1);
    QCOMPARE(log.entries(), QStringList({"INFO: Zoom in scale", "INFO: Zoom out scale"}));
    driver.wheel(x.center(), y.center(), 1);
    QVERIFY(plot->xAxis->range().size() < x.size());
    QVERIFY(plot->yAxis->range().size() < y.size());

    // Opening a frame stops the pan mode but leaves its interactions.
    f.child<QAction>("actionDistance")->setChecked(true);
    QVERIFY(f.child("pushButtonPAN")->isCheckable());
    QVERIFY(!plot->testAttribute(Qt::WA_SetCursor));
    QCOMPARE(plot->interactionFlags(), int(QCP::iRangeDrag | QCP::iRangeZoom));
    log.skip();
    driver.wheel(x.center(), y.center(), 1);
    QVERIFY(log.entries().isEmpty());
}

void tst_ContourAnalisisWidget::middleButtonDragPans()
{
    ContourWindowFixture f({makeLine(0, 0, 10, 3, 101)});
    Plot *plot = f.window->plot();
    // A measuring tool is active: the middle button still pans and builds nothing.
    f.chooseTool("actionDistance", "pushButtonHorisontalDistance");
    PlotDriver driver(plot);
    plot->xAxis->setRange(0, 50);
    plot->yAxis->setRange(0, 30);
    driver.refresh();
    const QPoint start(plot->width() / 2, plot->height() / 2);
    driver.pressPixel(start, Qt::MiddleButton);
    driver.movePixel(start + QPoint(60, 0), Qt::MiddleButton);
    driver.movePixel(start + QPoint(100, 40), Qt::MiddleButton);
    driver.releasePixel(start + QPoint(100, 40), Qt::MiddleButton);
    const double dx = -100.0 * 50 / plot->width();
    const double dy = 40.0 * 30 / plot->height();
    QVERIFY(relativelyEqual(plot->xAxis->range().lower, dx, 1e-9, 1e-9));
    QVERIFY(relativelyEqual(plot->xAxis->range().upper, 50 + dx, 1e-9, 1e-9));
    QVERIFY(relativelyEqual(plot->yAxis->range().lower, dy, 1e-9, 1e-9));
    QCOMPARE(f.created, 0);
    QCOMPARE(Measurement::liveCount(), 0);
    // Without the middle button held the moves pan no more.
    const QCPRange x = plot->xAxis->range();
    driver.movePixel(start);
    QCOMPARE(plot->xAxis->range(), x);
}

void tst_ContourAnalisisWidget::toolButtons_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QVariant>("answer");
    auto row = [](const char *action, const char *button, int kind, const char *icon,
                  const QVariant &answer = QVariant()) {
        QTest::newRow(button) << QString(action) << QString(button) << kind
                              << QString(":/icons/icons/") + icon << answer;
    };
    row("actionLayFlat", "pushButtonlayFlat", 9, "flat.png");
    row("actionLayFlat", "pushButtonLayFlatByTwo", 10, "flatByTwoSelection.png");
    row("actionDistance", "pushButtonHorisontalDistance", 1, "hdist.png");
    row("actionDistance", "pushButtonVerticalDistance", 0, "vdist.png");
    row("actionDistance", "pushButtonMinMaxDistance", 2, "vdistmax1.png");
    row("actionDistance", "pushButtonDirectDistance", 3, "ddist.png");
    row("actionDistance", "pushButtonMeanHeight", 11, "mheight.png");
    row("actionAngle", "pushButtonDirectAngle", 6, "angle.png");
    row("actionAngle", "pushButtonHHorizonAngle", 5, "hangle.png");
    row("actionAngle", "pushButtonVHorizonAngle", 4, "vangle.png");
    row("actionRadius", "pushButtonRadius", 7, "rad.png");
    row("actionRadius", "pushButtonMultiRadius", 8, "radarc.png");
    row("actionErrors", "pushButtonRMSE", 12, "lineerr.png");
    row("actionErrors", "pushButtonRadiusError", 13, "raderr.png");
    row("actionErrors", "pushButtonRDESpecified", 14, "raderr_R.png", 2.5);
    row("actionErrors", "pushButtonRadiusErrorFilter", 15, "raderFilter1.png");
    row("actionErrors", "pushButtonRadiusErrorByTwoSegment", 16, "Rader_2zelect.png", 3);
    row("actionErrors", "pushButtonRadiusErrorFilterMultypleSegments", 17,
        "Rader_2zelect_filter.png", 4);
    row("actionErrors", "pushButtonRadiusErrorWithRadianGraph", 18, "raderr.png");
    row("actionR", "pushButtonCalculateRA", 20, "Ra.png");
    row("actionR", "pushButtonCalculateRZ", 21, "Rz.png");
    row("actionCircumferenceAdditionalGeometry", "pushButtonCircumSelect", 22, "Circle.png");
    row("actionCircumferenceAdditionalGeometry", "pushButtonAGCircumSpecified", 23,
        "Circle_input Radius.png", 1.5);
    row("actionLineAdditionalGeometry", "pushButtonAddGeomHorizontalLine", 24,
        "Horizontal_line.png");
    row("actionLineAdditionalGeometry", "pushButtonAddGeomVerticlaLine", 25, "Vertical_line.png");
    row("actionLineAdditionalGeometry", "pushButtonAddGeomDoubleClickLine", 26, "2dot_line.png");
    row("actionLineAdditionalGeometry", "pushButtonAddGeomPoint", 27, "Point.png");
    row("actionLineAdditionalGeometry", "pushButtonAddGoemMiddlePoint", 28, "mid_point.png");
    row("actionLineAdditionalGeometry", "pushButtonAddGeomThread", 29, "MidLine.png");
    row("actionLineAdditionalGeometry", "pushButtonFindMaxPoint", 30, "Max_point.png");
    row("actionLineAdditionalGeometry", "pushButtonFindMinPoint", 31, "Min_point.png");
    row("actionLineAdditionalGeometry", "pushButtonAddGeomText", 32, "text_placement.png");
    row("actionDXF", "pushButtonDXFPlane", 33, "open.png");
    row("actionDXF", "pushButtonErrorPlane", 34, "lineerr.png");
}

void tst_ContourAnalisisWidget::toolButtons()
{
    QFETCH(QString, action);
    QFETCH(QString, button);
    QFETCH(int, kind);
    QFETCH(QString, icon);
    QFETCH(QVariant, answer);
    ContourWindowFixture f({makeLine(0, 0, 10, 3, 101)});
    Plot *plot = f.window->plot();
    // A finished measurement with a placed reper point shows whether the tool makes the reper
    // points snap targets.
    f.window->manager()->setMeasurementType(CLICK_POINT, true, false, QString());
    f.window->manager()->createMeasurement(f.window.get());
    f.window->manager()->connectMeasurement();
    auto *point = static_cast<MeasurementDouble *>(f.window->manager()->currentMeasurement());
    point->setReperPoint(0, QPointF(0.1, 0.01));
    point->complete();
    ReperPointController *reper = f.window->manager()->reperPoints();
    QCOMPARE(reper->pointList().size(), 1);
    plot->curve(0)->setSelection(QCPDataSelection(QCPDataRange(0, 10)));

    auto *b = f.window->findChild<QPushButton *>(button);
    auto *a = f.window->findChild<QAction *>(action);
    QVERIFY(b && a);
    QVERIFY(b->isEnabled() || kind == ERROR_PLANE);
    b->setEnabled(true);
    QCOMPARE(b->toolTip().isEmpty(), kind == CIRCUMF_AG_SPECIFIED);
    QVERIFY(sameIcon(b->icon(), icon));

    ScriptedPrompts prompts;
    if (answer.isValid())
        prompts.answers << answer;
    LogReader log;
    a->setChecked(true);
    QVERIFY(b->isVisible());
    QVERIFY(b->isCheckable());
    b->click();
    QCOMPARE(log.entries(),
             QStringList({"INFO: " + action + " open", "INFO: " + button + "was clicked",
                          "INFO: " + action + " close"}));
    QCOMPARE(f.window->manager()->measurementType(), kind);
    QCOMPARE(f.window->manager()->isListing(), kind != LAY_FLAT && kind != LAY_FLAT_BY_TWO);
    const bool snaps = kind == 0 || kind == 1 || kind == 3 || kind == 24 || kind == 25 || kind == 26
        || kind == 28;
    QCOMPARE(reper->pointList().first()->isSnapTarget(), snaps);
    QCOMPARE(plot->interactionFlags(), int(QCP::iRangeZoom) | Plot::iRangeSelection);
    QVERIFY(plot->curve(0)->selection().isEmpty());
    // The text tool shows the text cursor.
    QCOMPARE(plot->cursor().shape(), kind == AG_TEXT_PLACEMENT ? Qt::IBeamCursor : Qt::ArrowCursor);
    QVERIFY(sameIcon(a->icon(), icon));
    QVERIFY(!a->isChecked());
    QVERIFY(!b->isCheckable());
    for (const char *frame : kFrames)
        QVERIFY(!f.child<QFrame>(frame)->isVisible());
    QCOMPARE(prompts.asked.size(), answer.isValid() ? 1 : 0);
}

void tst_ContourAnalisisWidget::openingAFrameStopsTheActiveTool()
{
    ContourWindowFixture f({makeLine(0, 0, 10, 3, 101)});
    f.chooseTool("actionDistance", "pushButtonMeanHeight");
    QCOMPARE(f.window->manager()->measurementType(), int(MEAN_HEIGHT));
    // Another frame: the tool stops once, its button can start it afresh.
    LogReader log;
    f.child<QAction>("actionAngle")->setChecked(true);
    QCOMPARE(f.window->manager()->measurementType(), int(NO_MEASUREMENT));
    QVERIFY(f.child("pushButtonMeanHeight")->isCheckable());
    QVERIFY(f.child<QFrame>("frameAngle")->isVisible());
    QCOMPARE(log.entries(), QStringList {"INFO: actionAngle open"});
    // One frame at a time.
    f.child<QAction>("actionRadius")->setChecked(true);
    QVERIFY(!f.child<QAction>("actionAngle")->isChecked());
    QVERIFY(!f.child<QFrame>("frameAngle")->isVisible());
    QVERIFY(f.child<QFrame>("frameRadius")->isVisible());
    QCOMPARE(log.entries().mid(1),
             QStringList({"INFO: actionAngle close", "INFO: actionRadius open"}));
    // The hidden mean-diameter action starts its kind directly.
    f.child<QAction>("actionAvgDiameter")->setChecked(true);
    QCOMPARE(f.window->manager()->measurementType(), int(AVG_DIAMETERT));
    QVERIFY(!f.child<QAction>("actionRadius")->isChecked());
    f.child<QAction>("actionAvgDiameter")->setChecked(false);
    QCOMPARE(f.window->manager()->measurementType(), int(NO_MEASUREMENT));
}

void tst_ContourAnalisisWidget::statusLineSaysHowTheToolIsUsed_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("alternative"); // preferenses/alternative_measurement
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<bool>("ranges"); // the segment selection is on
    const QString line = "actionLineAdditionalGeometry";
    // The thread's line is fitted to the whole trace that one click picks.
    QTest::newRow("thread") << line << "pushButtonAddGeomThread" << false
                            << "Средний диаметр: щёлкните по трассе" << true;
    QTest::newRow("middle point") << line << "pushButtonAddGoemMiddlePoint" << false
                                  << "Средняя точка: щёлкните по точке трассы" << true;
    QTest::newRow("length by clicks")
        << "actionDistance"
        << "pushButtonHorisontalDistance" << false << "Длина: щёлкните по точке трассы" << false;
    QTest::newRow("length by ranges")
        << "actionDistance"
        << "pushButtonHorisontalDistance" << true << "Длина: выделите участок трассы" << true;
    QTest::newRow("deviation from a line")
        << "actionErrors"
        << "pushButtonRMSE" << false << "Отклонение от прямой: выделите участок трассы" << true;
}

// Until the first press the status line tells what the chosen tool takes.
void tst_ContourAnalisisWidget::statusLineSaysHowTheToolIsUsed()
{
    QFETCH(QString, action);
    QFETCH(QString, button);
    QFETCH(bool, alternative);
    QFETCH(QString, prompt);
    QFETCH(bool, ranges);
    settings->change(
        [alternative](Settings &s) { s.preferences.alternative_measurement = alternative; });
    ContourWindowFixture f({makeLine(0, 0, 10, 3, 101)});
    f.chooseTool(qPrintable(action), qPrintable(button));
    QCOMPARE(f.child<QStatusBar>("statusbar")->currentMessage(), prompt);
    QCOMPARE(f.window->manager()->plotSegmentSelection()->isEnabled(), ranges);
}

void tst_ContourAnalisisWidget::prompts_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QVariant>("answer");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("label");
    QTest::addColumn<double>("radius"); // the radius the measurement gets; 0 for a count
    QTest::addColumn<int>("count");
    QTest::newRow("count 5") << "pushButtonRadiusErrorByTwoSegment" << 0 << QVariant(5)
                             << "Введите число выделений"
                             << "Ввод значений" << 0.0 << 5;
    QTest::newRow("count cancelled") << "pushButtonRadiusErrorFilterMultypleSegments" << 0
                                     << QVariant() << "Введите число выделений"
                                     << "Ввод значений" << 0.0 << -1;
    QTest::newRow("radius in millimetres")
        << "pushButtonRDESpecified" << 0 << QVariant(2.5) << "Введите радиус вписанной окружности"
        << "Радиус в мм" << 2.5 << 0;
    QTest::newRow("radius in micrometres")
        << "pushButtonRDESpecified" << 1 << QVariant(0.125) << "Введите радиус вписанной окружности"
        << "Радиус в мкм" << 0.125 << 0;
    QTest::newRow("radius cancelled")
        << "pushButtonAGCircumSpecified" << 2 << QVariant() << "Введите радиус вписанной окружности"
        << "Радиус в нм" << -1.0 << 0;
}

void tst_ContourAnalisisWidget::prompts()
{
    QFETCH(QString, button);
    QFETCH(int, unit);
    QFETCH(QVariant, answer);
    QFETCH(QString, title);
    QFETCH(QString, label);
    QFETCH(double, radius);
    QFETCH(int, count);
    settings->change([unit](Settings &s) { s.view.axis_unit = unit; });
    ContourWindowFixture f({makeLine(0, 0, 10, 3, 101)});
    auto *b = f.window->findChild<QPushButton *>(button);
    const char *action = button == "pushButtonAGCircumSpecified"
        ? "actionCircumferenceAdditionalGeometry"
        : "actionErrors";
    ScriptedPrompts prompts;
    prompts.answers << answer;
    settings->forgetFile();
    f.chooseTool(action, qPrintable(button));
    QCOMPARE(prompts.asked.size(), 1);
    QCOMPARE(prompts.asked.at(0).title, title);
    QCOMPARE(prompts.asked.at(0).text, label);

    if (!answer.isValid()) {
        // Cancelled: the tool stays idle and the frame open for another choice.
        QCOMPARE(f.window->manager()->measurementType(), int(NO_MEASUREMENT));
        QVERIFY(b->isCheckable());
        QVERIFY(!b->isChecked());
        QVERIFY(f.child<QAction>(action)->isChecked());
        QVERIFY(!settings->saved());
        return;
    }
    // The number reaches the measurement the next press builds.
    PlotDriver(f.window->plot()).click(500 * f.window->displayFactor(), 0);
    QCOMPARE(f.created, 1);
    if (radius > 0) {
        QCOMPARE(f.lastArgs.radius, radius);
        QCOMPARE(settings->stored("preferenses/inscribed_circle_radius_measurement").toDouble(),
                 radius);
    } else {
        QCOMPARE(f.lastArgs.count, count);
    }
}

void tst_ContourAnalisisWidget::radiusPromptTakesCommaOrPoint_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("point") << "2.5";
    QTest::newRow("comma") << "2,5";
    QTest::newRow("slash, the period key's neighbour") << "2/5";
}

void tst_ContourAnalisisWidget::radiusPromptTakesCommaOrPoint()
{
    QFETCH(QString, typed);
    ContourWindowFixture f({makeLine(0, 0, 10, 3, 101)});
    // The real prompt: the operator selects the offered value and types a new one.
    ModalAnswerer answerer([&typed](QWidget *modal) {
        auto *spin = modal->findChild<QDoubleSpinBox *>();
        if (!spin)
            return;
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, typed);
        spin->interpretText();
        ModalAnswerer::accept(modal);
    });
    f.chooseTool("actionErrors", "pushButtonRDESpecified");
    QVERIFY(answerer.answered());
    QCOMPARE(Settings::instance()->preferences.inscribed_circle_radius_measurement, 2.5);
    QCOMPARE(f.window->manager()->measurementType(), int(RDEM_SPECIFIED));
    PlotDriver(f.window->plot()).click(0.5, 0);
    QCOMPARE(f.lastArgs.radius, 2.5);
}

void tst_ContourAnalisisWidget::treeFollowsTheMeasurements()
{
    ContourWindowFixture f({makeLine(0, 0, 10, 3, 101)});
    MeasurementTreeWidget *tree = f.window->measurementTree();
    f.values << 1.0 << 2.5;
    f.chooseTool("actionDistance", "pushButtonHorisontalDistance");
    PlotDriver driver(f.window->plot());
    driver.click(0.2, 0.06);
    driver.click(0.5, 0.15);
    const QList<Measurement *> listed = f.listed();
    QCOMPARE(listed.size(), 2);
    QTreeWidgetItem *lengths = tree->topLevelItem(0);
    QCOMPARE(lengths->childCount(), 2);
    QCOMPARE(lengths->text(1), QStringLiteral("1.7500"));
    QCOMPARE(f.window->treeItem(listed[0]->id()), lengths->child(0));

    // A second change of a measurement updates its row.
    static_cast<ValueMeasurement *>(listed[0])->fixed = 4.0;
    emit listed[0]->measumentChanged();
    QCOMPARE(lengths->childCount(), 2);
    QCOMPARE(lengths->child(0)->text(1), QStringLiteral("4.000 мм"));
    QCOMPARE(lengths->text(1), QStringLiteral("3.2500"));

    // Selecting a row highlights its measurement alone; a group row none.
    tree->setCurrentItem(lengths->child(1));
    QVERIFY(!static_cast<MeasurementDouble *>(listed[0])->selected);
    QVERIFY(static_cast<MeasurementDouble *>(listed[1])->selected);
    tree->setCurrentItem(lengths);
    QVERIFY(!static_cast<MeasurementDouble *>(listed[1])->selected);

    // The Delete key deletes the selected measurement with its row and its share of the mean.
    const int firstId = listed[0]->id();
    const int secondId = listed[1]->id();
    tree->setCurrentItem(lengths->child(0));
    f.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    QTest::keyClick(f.window.get(), Qt::Key_Delete);
    QCOMPARE(f.listed().size(), 1);
    QCOMPARE(lengths->childCount(), 1);
    QCOMPARE(lengths->text(1), QStringLiteral("2.5000"));
    QVERIFY(!f.window->treeItem(firstId));
    // Nothing is selected afterwards: the Delete key takes nothing more.
    QVERIFY(tree->selectedItems().isEmpty());
    QTest::keyClick(f.window.get(), Qt::Key_Delete);
    QCOMPARE(lengths->childCount(), 1);

    // The tree's own request deletes too; an unknown id changes nothing.
    emit tree->deleteMeasurement(12345);
    QCOMPARE(lengths->childCount(), 1);
    emit tree->deleteMeasurement(secondId);
    QCOMPARE(lengths->childCount(), 0);
    QVERIFY(f.listed().isEmpty());
    QCOMPARE(lengths->text(1), QString());

    // The manager's status texts go to the status bar.
    emit f.window->manager()->statusText(QStringLiteral("Выделите участок"));
    QCOMPARE(f.child<QStatusBar>("statusbar")->currentMessage(),
             QStringLiteral("Выделите участок"));
}

// A straight distance from the crossing of H and V to the apex; V is deleted from the tree. The
// protocol and the change of unit that follow read nothing of V: the distance went with it. No
// row is selected afterwards, so the Delete key takes nothing more.
void tst_ContourAnalisisWidget::deletedLineTakesWhatIsBuiltOnItAlong()
{
    ScratchDir scratch;
    ContourWindowFixture f({makeRoof()});
    MeasurementsManager *manager = f.window->manager();
    manager->setFactory(&createMeasurementOfKind);
    manager->reperPoints()->setCursorMover([](const QPoint &) {});
    PlotDriver driver(f.window->plot());
    f.chooseTool("actionLineAdditionalGeometry", "pushButtonAddGeomHorizontalLine");
    driver.click(1, 0.75);
    f.chooseTool("actionLineAdditionalGeometry", "pushButtonAddGeomVerticlaLine");
    driver.click(2, 1.5);
    f.chooseTool("actionDistance", "pushButtonDirectDistance");
    driver.click(2, 0.75);
    driver.move(4, 3);
    driver.click(4, 3);
    driver.move(3.5, 1.5);
    driver.click(3.5, 1.5);
    MeasurementTreeWidget *tree = f.window->measurementTree();
    QTreeWidgetItem *lengths = tree->topLevelItem(0);
    QTreeWidgetItem *geometry = tree->topLevelItem(5);
    QCOMPARE(lengths->childCount(), 1);
    QCOMPARE(lengths->child(0)->text(1), QStringLiteral("3.0104мм"));
    QCOMPARE(geometry->childCount(), 2);

    ScriptedPrompts prompts;
    prompts.answers << QStringLiteral("Удалить") << scratch.path() + "/protocol";
    openContextMenu(tree, geometry->child(1));
    const QString status = f.child<QStatusBar>("statusbar")->currentMessage();
    RecordingDesktop desktop;
    f.window->saveReport(f.window.get());
    settings->change([](Settings &s) { s.view.axis_unit = 1; });
    f.window->recalcAllMeasurements();

    QCOMPARE(prompts.kinds(), QStringList({"menu", "save"}));
    QCOMPARE(f.listed().size(), 1);
    QCOMPARE(geometry->childCount(), 1);
    QCOMPARE(geometry->child(0)->text(0), QStringLiteral("Горизонтальная прямая"));
    QCOMPARE(lengths->childCount(), 0);
    QVERIFY(manager->reperPoints()->pointList().isEmpty());
    QVERIFY2(status.contains(QStringLiteral("Вертикальная прямая"))
                 && status.contains(QStringLiteral("Прямая")),
             qPrintable(status));
    QFile file(scratch.path() + "/protocol.html");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    QVERIFY(!html.contains(QStringLiteral("L_1")));
    QVERIFY(!html.contains(QStringLiteral("3.0104")));

    QVERIFY(tree->selectedItems().isEmpty());
    f.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    QTest::keyClick(f.window.get(), Qt::Key_Delete);
    QCOMPARE(f.listed().size(), 1);
    QCOMPARE(geometry->childCount(), 1);

    // The next delete takes nothing along: the status line tells of it, not of the one before.
    prompts.answers << QStringLiteral("Удалить");
    openContextMenu(tree, geometry->child(0));
    QCOMPARE(f.listed().size(), 0);
    QCOMPARE(f.child<QStatusBar>("statusbar")->currentMessage(),
             QStringLiteral("Удалено: «Горизонтальная прямая»"));
}

void tst_ContourAnalisisWidget::drawingButtonFollowsTheDrawing()
{
    ContourWindowFixture f({makeLine(0, 0, 10, 3, 101)});
    QPushButton *errorPlane = f.child("pushButtonErrorPlane");
    emit f.window->manager()->enableButton(true);
    QVERIFY(errorPlane->isEnabled());
    emit f.window->manager()->enableButton(false);
    QVERIFY(!errorPlane->isEnabled());
}

// The press that opens the file dialog of the drawing import also starts a range; the dialog
// takes the release. Afterwards no range follows the pointer, the drawing is on the screen
// before the pointer moves, and the status line says what the tool waits for at every step.
void tst_ContourAnalisisWidget::drawingImportLeavesNoSelectionBehind()
{
    // A step along y = 6 mm, 12 mm long, a point every 0.05 mm (micrometres in the trace).
    QVector<QPointF> step;
    for (int i = 0; i <= 240; ++i)
        step << QPointF(i * 50.0, i < 100 ? 6000.0 : 8000.0);
    ContourWindowFixture f({makeTrace(step)});
    f.window->manager()->setFactory(&createMeasurementOfKind);
    f.window->manager()->reperPoints()->setCursorMover([](const QPoint &) {});
    auto *status = f.child<QStatusBar>("statusbar");
    Plot *plot = f.window->plot();
    QFile file(QStringLiteral("step.dxf"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(kStepDrawing);
    file.close();
    EventLoopPrompts prompts;
    prompts.answers << QFileInfo(file).absoluteFilePath();
    PlotDriver driver(plot);

    f.chooseTool("actionDXF", "pushButtonDXFPlane");
    QCOMPARE(status->currentMessage(), MeasurementsManager::toolPrompt(COMPARE_PLANE_DXF));
    // Where the drawing will lie, clear of the axes and the trace; its lines are dark grey.
    const QRect drawingArea = pixelRect(plot, QRectF(0.5, -0.3, 11, 3.6));
    const int darkBefore = pixelsOf(plot->toPixmap().toImage(), drawingArea, Qt::black, 150);

    // The press; the dialog took the release.
    driver.move(3, 6);
    driver.press(3, 6);
    QCOMPARE(prompts.kinds(), QStringList {"open"});
    QCOMPARE(f.listed().size(), 1);
    QTRY_COMPARE(status->currentMessage(), QStringLiteral("Выберите первую точку на трассе"));
    const GrabResult imported = grabWindow(plot, QStringLiteral("drawing_imported"));
    VERIFY_GRAB(imported);
    // A view the operator has not changed is framed again whenever the plot is resized (a
    // layout may still settle meanwhile): the area is taken in the view of the picture.
    const QRect drawingAreaNow = pixelRect(plot, QRectF(0.5, -0.3, 11, 3.6));
    QVERIFY2(pixelsOf(imported.image, drawingAreaNow, Qt::black, 150) > darkBefore + 200,
             "the drawing is not on the screen");

    // The button went up over the dialog; the pointer moves on over the plot with no button
    // held: nothing is selected on the trace.
    PlotDriver released(plot);
    released.move(9, 8);
    released.move(10, 8);
    QVERIFY(f.window->traceCurves().first()->selection().isEmpty());
    const GrabResult moved = grabWindow(plot, QStringLiteral("drawing_pointer_moved"));
    VERIFY_GRAB(moved);
    QCOMPARE(pixelsOf(moved.image, plot->rect(), QColor("#ff0000"), 60), 0);

    // Escape drops the drawing that was not placed: nothing is waited for any more.
    f.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    QTest::keyClick(f.window.get(), Qt::Key_Escape);
    QVERIFY(f.listed().isEmpty());
    QCOMPARE(status->currentMessage(), QString());
}

// Ra over a stretch shorter than two cut-offs could not be measured: the tree, the status line
// and the protocol say "неизвестно", never 0, and the group shows no mean.
void tst_ContourAnalisisWidget::unmeasurableRoughnessIsUnknownEverywhere()
{
    // A rough line 1.2 mm long, a point every micrometre.
    QVector<QPointF> rough;
    for (int i = 0; i <= 1200; ++i)
        rough << QPointF(i, 2000 + 1.5 * std::sin(i * 2 * M_PI / 60.0));
    ContourWindowFixture f({makeTrace(rough)});
    f.window->manager()->setFactory(&createMeasurementOfKind);
    PlotDriver driver(f.window->plot());
    f.chooseTool("actionR", "pushButtonCalculateRA");
    QVector<QPointF> path;
    for (int s = 1; s <= 8; ++s)
        path << QPointF(0.01 + 1.18 * s / 8.0, 2.0);
    driver.drag({0.01, 2.0}, path);
    driver.move(0.6, 1.99);
    driver.click(0.6, 1.99);
    QCOMPARE(f.listed().size(), 1);
    Measurement *ra = f.listed().first();
    QVERIFY(ra->isFinished());
    QVERIFY(!ra->hasValue());

    QTreeWidgetItem *group = f.window->measurementTree()->topLevelItem(4);
    QCOMPARE(group->child(0)->text(1), QStringLiteral("неизвестно"));
    QCOMPARE(group->text(1), QString());
    QCOMPARE(f.child<QStatusBar>("statusbar")->currentMessage(), QStringLiteral("Ra: неизвестно"));
    const QMap<QString, QString> data = f.window->reportData();
    QCOMPARE(data.value("roughness[0].name"), QStringLiteral("r_1"));
    QCOMPARE(data.value("roughness[0].value"), QStringLiteral("неизвестно"));
}

void tst_ContourAnalisisWidget::toolFramesShowTheirButtonsWhole_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("frame");
    const char *const actions[] = {"actionScale",
                                   "actionLayFlat",
                                   "actionDistance",
                                   "actionAngle",
                                   "actionRadius",
                                   "actionErrors",
                                   "actionR",
                                   "actionLineAdditionalGeometry",
                                   "actionCircumferenceAdditionalGeometry",
                                   "actionDXF"};
    const char *const frames[] = {"frameScale", "frameLayFlat",     "frameDistance",
                                  "frameAngle", "frameRadius",      "frameErrors",
                                  "frameR",     "frameAddGeomLine", "frameAddGeomCircumference",
                                  "frameDXF"};
    for (int i = 0; i < 10; ++i)
        QTest::newRow(frames[i]) << actions[i] << frames[i];
}

// At the window's default size every button of an open tool frame lies wholly inside the
// frame's border, so none is clipped.
void tst_ContourAnalisisWidget::toolFramesShowTheirButtonsWhole()
{
    QFETCH(QString, action);
    QFETCH(QString, frame);
    ContourAnalisisWidget window(nullptr, false);
    window.setTraces({});
    window.findChild<QAction *>(action)->setChecked(true);
    auto *panel = window.findChild<QFrame *>(frame);
    const GrabResult grab = grabWindow(&window, QStringLiteral("tool_") + frame);
    VERIFY_GRAB(grab);
    QVERIFY(panel->isVisible());
    const QRect inside = panel->contentsRect();
    const QList<QPushButton *> buttons = panel->findChildren<QPushButton *>();
    QVERIFY(!buttons.isEmpty());
    for (const QPushButton *button : buttons) {
        if (!button->isVisible())
            continue;
        QVERIFY2(inside.contains(button->geometry()),
                 qPrintable(button->objectName() + " is clipped"));
    }
}

namespace {

// Two lengths, an angle and a horizontal construction line, built by the mouse.
void buildReportScene(ContourWindowFixture &f)
{
    f.values << 1.25 << 2.5 << 30.0 << 0.0;
    PlotDriver driver(f.window->plot());
    f.chooseTool("actionDistance", "pushButtonHorisontalDistance");
    driver.click(0.2, 0.06);
    driver.click(0.4, 0.12);
    f.chooseTool("actionAngle", "pushButtonDirectAngle");
    driver.click(0.6, 0.18);
    f.chooseTool("actionLineAdditionalGeometry", "pushButtonAddGeomHorizontalLine");
    driver.click(0.8, 0.24);
}

QString mapText(const QMap<QString, QString> &data)
{
    QString text;
    for (auto it = data.cbegin(); it != data.cend(); ++it)
        text += it.key() + "=" + it.value() + "\n";
    return text;
}

} // namespace

void tst_ContourAnalisisWidget::reportMap()
{
    ContourTrace *first = makeLine(0, 0, 10, 3, 101, CONTOUR, 0);
    first->controllerName = QStringLiteral("Иванов <И.И.>");
    first->creationDate = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9));
    ContourTrace *second = makeLine(0, 50, 10, 0, 101, CONTOUR, 6);
    second->controllerName = QStringLiteral("Петров");
    second->creationDate = QDateTime(QDate(2024, 3, 6), QTime(8, 0, 0));
    settings->change([](Settings &s) {
        s.current_controller_name = QStringLiteral("Сидоров");
        s.service.factory_name = QStringLiteral("Завод & Ко");
    });
    ContourWindowFixture f({first, second});
    f.child<QLineEdit>("detailNameEdit")->setText(QStringLiteral("Вал 12"));
    f.child<QTextEdit>("commentTextEdit")->setPlainText(QStringLiteral("партия 7"));
    buildReportScene(f);

    QMap<QString, QString> data = f.window->reportData();
    QVERIFY(QDateTime::fromString(data.take("date"), "dd-MM-yyyy HH:mm:ss").isValid());
    if (qEnvironmentVariableIsSet("WRITE_GOLDEN")) {
        QFile out(QStringLiteral(TEST_FIXTURES_DIR "/contour/protocol_map.txt"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(mapText(data).toUtf8());
    }
    QFile golden(QStringLiteral(TEST_FIXTURES_DIR "/contour/protocol_map.txt"));
    QVERIFY(golden.open(QIODevice::ReadOnly));
    const QString expected = QString::fromUtf8(golden.readAll());
    QCOMPARE(mapText(data), expected);

    // The protocol comes from the measurements: what the tree shows does not change it.
    MeasurementTreeWidget *tree = f.window->measurementTree();
    tree->topLevelItem(0)->setText(0, QStringLiteral("Длины, мм"));
    tree->topLevelItem(2)->child(0)->setText(1, QStringLiteral("?"));
    tree->topLevelItem(0)->child(1)->setText(0, QStringLiteral("Длина 2"));
    data = f.window->reportData();
    data.remove("date");
    QCOMPARE(mapText(data), expected);
    tree->topLevelItem(0)->setText(0, QStringLiteral("ДЛИНЫ"));

    // Dragging the second length above the first swaps the numbering.
    QTreeWidgetItem *lengths = f.window->measurementTree()->topLevelItem(0);
    lengths->insertChild(0, lengths->takeChild(1));
    data = f.window->reportData();
    QCOMPARE(data.value("distance[0].name"), QStringLiteral("L_1"));
    QCOMPARE(data.value("distance[0].value"), QStringLiteral("2.500 мм"));
    QCOMPARE(data.value("distance[1].value"), QStringLiteral("1.250 мм"));
}

void tst_ContourAnalisisWidget::reportSnapshotRelabelsAndRestores()
{
    ContourWindowFixture f({makeLine(0, 0, 10, 3, 101)});
    buildReportScene(f);
    const QList<Measurement *> listed = f.listed();
    QCOMPARE(listed.size(), 4);
    auto value = [&](int i) {
        return static_cast<ValueMeasurement *>(listed[i]);
    };
    MeasurementTreeWidget *tree = f.window->measurementTree();
    // The second length goes first: the designations follow the tree's order.
    QTreeWidgetItem *lengths = tree->topLevelItem(0);
    lengths->insertChild(0, lengths->takeChild(1));

    f.window->beginReportSnapshot();
    QCOMPARE(value(1)->shownLabel, QStringLiteral("L_1"));
    QCOMPARE(value(0)->shownLabel, QStringLiteral("L_2"));
    QCOMPARE(value(2)->shownLabel, QStringLiteral("α_1"));
    QCOMPARE(value(3)->shownLabel, QString()); // construction line: no designation
    for (int i = 0; i < 4; ++i)
        QVERIFY(value(i)->large);
    QCOMPARE(lengths->child(0)->text(0), QStringLiteral("1 Длина"));
    QCOMPARE(lengths->child(1)->text(0), QStringLiteral("2 Длина"));
    QCOMPARE(tree->topLevelItem(5)->child(0)->text(0), QStringLiteral("Горизонтальная прямая"));
    QVERIFY(!f.window->plot()->selectionMarker()->visible());

    f.window->endReportSnapshot();
    for (int i = 0; i < 4; ++i) {
        QVERIFY(!value(i)->large);
        QCOMPARE(value(i)->shownLabel, QString());
    }
    QCOMPARE(lengths->child(0)->text(0), QStringLiteral("Длина"));
    QCOMPARE(tree->topLevelItem(2)->child(0)->text(0), QStringLiteral("Угол"));
    QVERIFY(f.window->plot()->selectionMarker()->visible());
}

void tst_ContourAnalisisWidget::saveReport_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("bare name") << "protocol"
                               << "protocol.html";
    QTest::newRow("with extension") << "protocol.html"
                                    << "protocol.html";
    QTest::newRow("upper-case extension") << "protocol.HTML"
                                          << "protocol.HTML";
    QTest::newRow("other extension") << "protocol.txt"
                                     << "protocol.txt.html";
}

void tst_ContourAnalisisWidget::saveReport()
{
    QFETCH(QString, typed);
    QFETCH(QString, written);
    ScratchDir scratch;
    const QString folder = scratch.path() + "/reports";
    QVERIFY(QDir().mkpath(folder));
    ContourWindowFixture f({makeLine(0, 0, 10, 3, 101)});
    buildReportScene(f);
    ScriptedPrompts prompts;
    prompts.answers << folder + "/" + typed;
    RecordingDesktop desktop;
    QWidget parent;
    f.window->saveReport(&parent);

    QCOMPARE(prompts.kinds(), QStringList {"save"});
    QCOMPARE(prompts.asked.at(0).title, QStringLiteral("Сохранить отчет"));
    const QString path = folder + "/" + written;
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    QVERIFY(html.contains("L_2"));
    QVERIFY(html.contains("2.500 мм"));
    QVERIFY(html.contains("data:image/png;base64,"));
    QCOMPARE(desktop.opened, QStringList {QFileInfo(path).absoluteFilePath()});
    QCOMPARE(settings->stored("preferenses/save_report_folder").toString(), folder + "/");
    // The next report starts in the same folder.
    prompts.answers << QVariant();
    f.window->saveReport(&parent);
    QVERIFY(prompts.asked.at(1).text.startsWith(folder + "/Деталь_"));
    // After the report the tree and the labels are as before.
    QCOMPARE(f.window->measurementTree()->topLevelItem(0)->child(0)->text(0),
             QStringLiteral("Длина"));
}

void tst_ContourAnalisisWidget::saveReportRefusals()
{
    ScratchDir scratch;
    RecordingDesktop desktop;
    QWidget parent;
    {
        // No trace: a warning, no dialog.
        ContourWindowFixture f({});
        ScriptedPrompts prompts;
        f.window->saveReport(&parent);
        QCOMPARE(prompts.kinds(), QStringList {"warning"});
        QCOMPARE(prompts.asked.at(0).title, QStringLiteral("Ошибка печати отчёта"));
        QCOMPARE(prompts.asked.at(0).text, QStringLiteral("Нет трасс для сохранения отчёта"));
    }
    ContourWindowFixture f({makeLine(0, 0, 10, 3, 101)});
    {
        // Cancelled: nothing written, no setting changed.
        ScriptedPrompts prompts;
        settings->forgetFile();
        f.window->saveReport(&parent);
        QCOMPARE(prompts.kinds(), QStringList {"save"});
        QVERIFY(!settings->saved());
        QVERIFY(settings->record().preferences.save_report_folder.isEmpty());
    }
    {
        // A file that cannot be written: said so, and no browser opens.
        ScriptedPrompts prompts;
        prompts.answers << scratch.path() + "/missing/folder/protocol";
        f.window->saveReport(&parent);
        QCOMPARE(prompts.kinds(), QStringList({"save", "warning"}));
        QCOMPARE(prompts.asked.at(1).text, QStringLiteral("Не удалось записать файл отчёта"));
        QVERIFY(desktop.opened.isEmpty());
    }
}

GUI_TEST_MAIN(tst_ContourAnalisisWidget)
#include "tst_ContourAnalisisWidget.moc"
