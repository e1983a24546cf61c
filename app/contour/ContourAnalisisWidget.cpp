#include "contour/ContourAnalisisWidget.h"

#include "contour/CalibrationToolsWidget.h"
#include "contour/MeasurementTreeWidget.h"
#include "core/ContourTrace.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "measurements/Geometry.h"
#include "measurements/KindGeometry.h"
#include "measurements/ui/DxfPlotItems.h"
#include "measurements/ui/Measurement.h"
#include "measurements/ui/MeasurementsManager.h"
#include "platform/Desktop.h"
#include "platform/Prompts.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "plot/SuffixTicker.h"
#include "reports/HtmlReport.h"

#include "ui_ContourAnalisisWidget.h"

#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QSet>
#include <QShortcut>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

const QString kContourWindowName = QStringLiteral("КОНТУР");

namespace {

void logInfo(const QString &text)
{
    logger.log(INFO, text.toStdString());
}

QPen tracePen(const QString &colorName)
{
    QColor color;
    color.setNamedColor(colorName);
    return QPen(color, 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

const char *const kReportDateFormat = "dd-MM-yyyy HH:mm:ss";

} // namespace

ContourAnalisisWidget::ContourAnalisisWidget(QWidget *, bool calibrationMode)
    : AnalisysWidget(kContourWindowName)
    , ui(new Ui::ContourAnalisisWidget)
    , calibrationMode(calibrationMode)
{
    ui->setupUi(this);
    ui->plot->installEventFilter(this);
    hideToolFrames();

    if (calibrationMode) {
        // Every angle shows in degrees while a calibration runs; the destructor gives the
        // setting its value back.
        savedAnglesInDeg = Settings::instance()->view.angles_in_deg;
        const auto locker = Settings::writeLocker();
        Settings::instance()->view.angles_in_deg = true;
    }

    createPlot();
    measurementsManager = new MeasurementsManager(ui->plot, this);

    connect(ui->calibrationTools, &CalibrationToolsWidget::closeDialogCalibration, this,
            [this] { emit closeDialogCalibration(); });
    connect(ui->calibrationTools, &CalibrationToolsWidget::setCurrentConsoleForAllTraces, this,
            [this] { emit setCurrentConsoleForAllTraces(); });
    connect(ui->calibrationTools, &CalibrationToolsWidget::calibrationDataChanged, this,
            &ContourAnalisisWidget::calibrationDataValueChangedManually);
    connect(measurementsManager, &MeasurementsManager::enableButton, this,
            [this](bool enable) { ui->pushButtonErrorPlane->setEnabled(enable); });
    connect(measurementsManager, &MeasurementsManager::measurementChanged, this,
            [this](Measurement *m) { updateMeasurementInTree(m); });
    connect(measurementsManager, &MeasurementsManager::deleteMeasurement, this,
            [this](Measurement *m) { deleteMeasurement(m->id()); });
    connect(ui->measurementTree, &QTreeWidget::itemSelectionChanged, this,
            [this] { delButtonPress(ui->measurementTree); });
    connect(measurementsManager, &MeasurementsManager::statusText, this,
            [this](const QString &text) { onStatusText(text); });
    connect(measurementsManager, &MeasurementsManager::setNewAngleAndCenterRot, this,
            [this](double angle, const QPointF &centre) {
                levellingAngle = angle;
                levellingCentre = centre;
                levellingTurns.append({angle, centre / unitFactor});
            });

    ui->pushButtonErrorPlane->setEnabled(false);
    ui->detailNameEdit->setText(Settings::instance()->service.default_trace_file_name);
    ui->toolBar->setContextMenuPolicy(Qt::PreventContextMenu);

    connect(ui->measurementTree, &MeasurementTreeWidget::deleteMeasurement, this,
            &ContourAnalisisWidget::deleteMeasurement);
    connect(ui->measurementTree, &MeasurementTreeWidget::equidistant, this,
            &ContourAnalisisWidget::addMeasurement);
    connect(ui->measurementTree, &QTreeWidget::itemSelectionChanged, this,
            &ContourAnalisisWidget::processMeasurementSelection);

    const QList<QPair<QAction *, QFrame *>> frames {
        {ui->actionScale, ui->frameScale},
        {ui->actionLayFlat, ui->frameLayFlat},
        {ui->actionDistance, ui->frameDistance},
        {ui->actionAngle, ui->frameAngle},
        {ui->actionRadius, ui->frameRadius},
        {ui->actionErrors, ui->frameErrors},
        {ui->actionR, ui->frameR},
        {ui->actionCircumferenceAdditionalGeometry, ui->frameAddGeomCircumference},
        {ui->actionLineAdditionalGeometry, ui->frameAddGeomLine},
        {ui->actionDXF, ui->frameDXF},
    };
    for (const auto &pair : frames) {
        QAction *action = pair.first;
        QFrame *frame = pair.second;
        connect(action, &QAction::toggled, this, [this, action, frame](bool checked) {
            onToolActionToggled(action, frame, checked);
        });
    }

    updateUnits();

    if (calibrationMode)
        setupCalibrationMode();
    else
        ui->calibrationTools->hide();
}

ContourAnalisisWidget::~ContourAnalisisWidget()
{
    logInfo(QStringLiteral("Delete measurment #"));
    delete ui;
    ui = nullptr;
    // The measurements go first: the roughness kinds keep pointers to the copies.
    delete measurementsManager;
    measurementsManager = nullptr;
    qDeleteAll(traceCopies);
    traceCopies.clear();
    if (calibrationMode) {
        {
            const auto locker = Settings::writeLocker();
            Settings::instance()->view.angles_in_deg = savedAnglesInDeg;
        }
        // The forced value reached settings.ini only if something saved the record meanwhile
        // (a calibration "Сохранить"): then the file gets the operator's value back. A
        // calibration that saved nothing leaves the file untouched.
        const QString file = QStringLiteral("settings.ini");
        if (QFileInfo::exists(file)
            && Settings::readFile(file).view.angles_in_deg != savedAnglesInDeg)
            Settings::instance()->save();
    }
}

Plot *ContourAnalisisWidget::plot() const
{
    return ui->plot;
}

MeasurementTreeWidget *ContourAnalisisWidget::measurementTree() const
{
    return ui->measurementTree;
}

CalibrationToolsWidget *ContourAnalisisWidget::calibrationTools() const
{
    return ui->calibrationTools;
}

namespace {

QString recordOf(const Measurement *m)
{
    return m->name() + QLatin1Char('\n') + m->valueText();
}

} // namespace

bool ContourAnalisisWidget::hasUnsavedMeasurements() const
{
    for (const Measurement *m : measurementsManager->measurementList()) {
        const auto it = protocolled.constFind(m->id());
        if (it == protocolled.cend() || it.value() != recordOf(m))
            return true;
    }
    return false;
}

void ContourAnalisisWidget::hideToolFrames()
{
    for (QFrame *frame : {ui->frameScale, ui->frameLayFlat, ui->frameDistance, ui->frameAngle,
                          ui->frameRadius, ui->frameErrors, ui->frameR, ui->frameAddGeomLine,
                          ui->frameAddGeomCircumference, ui->frameDXF})
        frame->hide();
}

void ContourAnalisisWidget::createPlot()
{
    ui->plot->setInteractions(QCP::iRangeZoom);

    connect(ui->pushButtonPAN, &QAbstractButton::clicked, this,
            [this](bool checked) { onPanClicked(checked); });
    connect(ui->pushButtonResetScale, &QAbstractButton::clicked, this,
            [this] { onResetScaleClicked(); });
    connect(ui->pushButtonScaleX, &QAbstractButton::clicked, this,
            [this](bool checked) { onScaleXClicked(checked); });
    connect(ui->pushButtonScaleY, &QAbstractButton::clicked, this,
            [this](bool checked) { onScaleYClicked(checked); });
    connect(ui->pushButtonRST, &QAbstractButton::clicked, this,
            [this] { onResetLayFlatClicked(); });

    connect(ui->actionAvgDiameter, &QAction::toggled, this,
            [this](bool checked) { onAvgDiameterToggled(checked); });

    const QList<std::tuple<QPushButton *, E_MEASUREMENTS, QAction *>> buttons {
        {ui->pushButtonlayFlat, LAY_FLAT, ui->actionLayFlat},
        {ui->pushButtonLayFlatByTwo, LAY_FLAT_BY_TWO, ui->actionLayFlat},
        {ui->pushButtonHorisontalDistance, HORISONTAL_DISTANCE, ui->actionDistance},
        {ui->pushButtonVerticalDistance, VERTICAL_DISTANCE, ui->actionDistance},
        {ui->pushButtonMinMaxDistance, MAX_MIN_DISTANCE, ui->actionDistance},
        {ui->pushButtonDirectDistance, DIRECT_DISTANCE, ui->actionDistance},
        {ui->pushButtonMeanHeight, MEAN_HEIGHT, ui->actionDistance},
        {ui->pushButtonDirectAngle, REGULAR_ANGLE, ui->actionAngle},
        {ui->pushButtonHHorizonAngle, HORIZONTAL_ANGLE, ui->actionAngle},
        {ui->pushButtonVHorizonAngle, VERTICAL_ANGLE, ui->actionAngle},
        {ui->pushButtonRadius, REGULAR_RADIUS, ui->actionRadius},
        {ui->pushButtonMultiRadius, ARCS_RADIUS, ui->actionRadius},
        {ui->pushButtonRMSE, RMSE, ui->actionErrors},
        {ui->pushButtonRadiusError, RDEM, ui->actionErrors},
        {ui->pushButtonRDESpecified, RDEM_SPECIFIED, ui->actionErrors},
        {ui->pushButtonRadiusErrorFilter, RDEM_FILTER, ui->actionErrors},
        {ui->pushButtonRadiusErrorByTwoSegment, RDEM_BY_TWO_SEGMENT, ui->actionErrors},
        {ui->pushButtonRadiusErrorFilterMultypleSegments, RDEM_FITER_BY_TWO_SEGMENT,
         ui->actionErrors},
        {ui->pushButtonRadiusErrorWithRadianGraph, RDEM_WITH_POLAR_GRAPH, ui->actionErrors},
        {ui->pushButtonCalculateRA, RA, ui->actionR},
        {ui->pushButtonCalculateRZ, RZ, ui->actionR},
        {ui->pushButtonCircumSelect, CIRCUMF_AG, ui->actionCircumferenceAdditionalGeometry},
        {ui->pushButtonAGCircumSpecified, CIRCUMF_AG_SPECIFIED,
         ui->actionCircumferenceAdditionalGeometry},
        {ui->pushButtonAddGeomHorizontalLine, CLICK_HORIZONTAL_LINE,
         ui->actionLineAdditionalGeometry},
        {ui->pushButtonAddGeomVerticlaLine, CLICK_VERTICAL_LINE, ui->actionLineAdditionalGeometry},
        {ui->pushButtonAddGeomDoubleClickLine, CLICK_DOUBLE_LINE, ui->actionLineAdditionalGeometry},
        {ui->pushButtonAddGeomPoint, CLICK_POINT, ui->actionLineAdditionalGeometry},
        {ui->pushButtonAddGoemMiddlePoint, MIDDLE_POINT, ui->actionLineAdditionalGeometry},
        {ui->pushButtonAddGeomThread, THREAD, ui->actionLineAdditionalGeometry},
        {ui->pushButtonFindMaxPoint, FIND_MAX_POINT, ui->actionLineAdditionalGeometry},
        {ui->pushButtonFindMinPoint, FIND_MIN_POINT, ui->actionLineAdditionalGeometry},
        {ui->pushButtonAddGeomText, AG_TEXT_PLACEMENT, ui->actionLineAdditionalGeometry},
        {ui->pushButtonDXFPlane, COMPARE_PLANE_DXF, ui->actionDXF},
        {ui->pushButtonErrorPlane, ERROR_PLANE, ui->actionDXF},
    };
    for (const auto &entry : buttons) {
        QPushButton *button = std::get<0>(entry);
        const E_MEASUREMENTS kind = std::get<1>(entry);
        QAction *action = std::get<2>(entry);
        connect(button, &QAbstractButton::clicked, this,
                [this, button, kind, action](bool checked) {
                    onMeasurementButtonClicked(button, kind, action, checked);
                });
        toolButtons.append(button);
    }
    toolButtons << ui->pushButtonPAN << ui->pushButtonScaleX << ui->pushButtonScaleY
                << ui->pushButtonRST;
    toolActions = {ui->actionScale,
                   ui->actionLayFlat,
                   ui->actionDistance,
                   ui->actionAngle,
                   ui->actionRadius,
                   ui->actionErrors,
                   ui->actionAvgDiameter,
                   ui->actionR,
                   ui->actionLineAdditionalGeometry,
                   ui->actionCircumferenceAdditionalGeometry,
                   ui->actionDXF};
}

void ContourAnalisisWidget::setupCalibrationMode()
{
    ui->detailNameEdit->hide();
    ui->detailNameLabel->hide();
    ui->CommentLabel->hide();
    ui->commentTextEdit->hide();
    ui->calibrationTools->initCalibration();
    ui->measurementTree->setCalibrationMode(true);
}

void ContourAnalisisWidget::setTraces(const QVector<AbstractTrace *> &traces)
{
    traceCopies.reserve(traces.size());
    for (AbstractTrace *trace : traces) {
        if (trace)
            traceCopies.append(trace->clone());
    }
    // The manager works on the window's copies, which live as long as the window.
    measurementsManager->setTraces(traceCopies);
    if (calibrationMode)
        ui->calibrationTools->setTraces(traceCopies);

    const Settings *settings = Settings::instance();
    for (int i = 0; i < traceCopies.size(); ++i) {
        auto *curve = new AdaptiveCurve(ui->plot->xAxis, ui->plot->yAxis);
        curve->setPen(tracePen(settings->preferences.graph_color));
        auto *decorator = new QCPSelectionDecorator;
        decorator->setPen(tracePen(settings->preferences.selected_graph_color));
        curve->setSelectionDecorator(decorator);
        curves.append(curve);
        fillCurve(i);
    }
    if (traceCopies.isEmpty())
        return;
    rescaleAxes();
    const int type = traceCopies.first()->type;
    if (type == PROFILE || type == ADDITIONAL_TRACE)
        ui->pushButtonResetScale->setIcon(QIcon(QStringLiteral(":/icons/icons/reset.png")));
}

void ContourAnalisisWidget::fillCurve(int index)
{
    if (index < 0 || index >= traceCopies.size() || index >= curves.size())
        return;
    const TData *data = traceCopies.at(index)->processedData;
    QVector<double> keys;
    QVector<double> values;
    if (data && data->size() >= 2) {
        const QVector<double> &xs = data->at(0);
        const QVector<double> &ys = data->at(1);
        const int n = qMin(xs.size(), ys.size());
        keys.resize(n);
        values.resize(n);
        for (int i = 0; i < n; ++i) {
            QPointF p(xs.at(i) * unitFactor, ys.at(i) * unitFactor);
            for (const Turn &turn : qAsConst(levellingTurns))
                p = rotatePoint(float(turn.centre.x() * unitFactor),
                                float(turn.centre.y() * unitFactor), float(turn.angle), p);
            keys[i] = p.x();
            values[i] = p.y();
        }
    }
    curves.at(index)->setData(keys, values);
}

RigidTransform ContourAnalisisWidget::levellingMotion() const
{
    RigidTransform motion;
    for (const Turn &turn : levellingTurns)
        motion = motion.thenRotated(float(turn.centre.x() * unitFactor),
                                    float(turn.centre.y() * unitFactor), float(turn.angle));
    return motion;
}

void ContourAnalisisWidget::updateUnits()
{
    // Any other unit leaves the text and the factor as they were.
    const int unit = Settings::instance()->view.axis_unit;
    const QString suffix = unitSuffixOf(unit);
    double scale = 1.0;
    if (!suffix.isEmpty()) {
        const double factor = unitsPerMicrometreOf(unit);
        scale = factor / unitFactor;
        unitText = QLatin1Char(' ') + suffix;
        unitFactor = factor;
    }
    setTickSuffix(ui->plot->xAxis, unitText);
    setTickSuffix(ui->plot->yAxis, unitText);
    redrawCurves(PlotTransform::scaling(scale));
}

void ContourAnalisisWidget::redrawCurves(const PlotTransform &moved)
{
    const QPen pen = tracePen(Settings::instance()->preferences.graph_color);
    for (int i = 0; i < traceCopies.size() && i < curves.size(); ++i) {
        fillCurve(i);
        curves.at(i)->setPen(pen);
    }
    // The traces are drawn anew from their copies; everything else on the plot goes the same
    // way through the manager, and what is built on the curves is calculated anew.
    measurementsManager->transformGeometry(moved, false);
    recalculateListed();
    if (!traceCopies.isEmpty())
        rescaleAxes();
}

void ContourAnalisisWidget::rescaleAxes()
{
    const int type = traceCopies.first()->type;
    if (type == PROFILE || type == ADDITIONAL_TRACE)
        rescaleProfile();
    else
        rescaleContour();
}

namespace {

struct Extent
{
    double minK = std::numeric_limits<double>::max();
    double maxK = -std::numeric_limits<double>::max();
    double minV = std::numeric_limits<double>::max();
    double maxV = -std::numeric_limits<double>::max();

    void add(const QPointF &p)
    {
        // A point with no place (a crossing that no longer exists) frames nothing.
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
            return;
        minK = qMin(minK, p.x());
        maxK = qMax(maxK, p.x());
        minV = qMin(minV, p.y());
        maxV = qMax(maxV, p.y());
    }
};

bool onPlotAxes(const Plot *plot, const QCPItemPosition *position)
{
    return position->typeX() == QCPItemPosition::ptPlotCoords
        && position->typeY() == QCPItemPosition::ptPlotCoords && !position->parentAnchorX()
        && !position->parentAnchorY() && position->keyAxis() == plot->xAxis
        && position->valueAxis() == plot->yAxis;
}

bool isShown(const QCPAbstractItem *item)
{
    return item->visible() && (!item->layer() || item->layer()->visible());
}

// What the tab shows: every point of every curve of the plot's registry, and of the items drawn
// in plot coordinates (lines and their ends, drawings), so that an item placed beside the traces
// (a dimension line above them, a drawing not yet placed) is framed too; labels follow. An infinite
// line reaches beyond any of its points, and the selection marker follows the pointer: they frame
// nothing.
Extent contentExtent(const Plot *plot)
{
    Extent e;
    for (int c = 0; c < plot->curveCount(); ++c) {
        const QCPCurve *curve = plot->curve(c);
        if (!curve)
            continue;
        for (const QCPCurveData &d : *curve->data())
            e.add(QPointF(d.key, d.value));
    }
    for (int i = 0; i < plot->itemCount(); ++i) {
        const QCPAbstractItem *item = plot->item(i);
        // A label counts by its box, which only a framing made can tell (withLabelBoxes): some
        // are placed a few pixels from what they label, in the pixels of the view before.
        if (!item || !isShown(item) || item == plot->selectionMarker()
            || qobject_cast<const QCPItemStraightLine *>(item)
            || qobject_cast<const QCPItemText *>(item))
            continue;
        if (const auto *drawing = qobject_cast<const DxfDrawingItem *>(item)) {
            if (!drawing->drawing().isEmpty()) {
                const QRectF r = drawing->bounds();
                e.add(r.topLeft());
                e.add(r.bottomRight());
            }
            continue;
        }
        for (const QCPItemPosition *position : item->positions()) {
            if (onPlotAxes(plot, position))
                e.add(position->coords());
        }
    }
    return e;
}

// The extent grown by the boxes of the labels as the plot lays them out now: a label is as
// large on the screen whatever the framing, so only a framing made can tell where it ends.
Extent withLabelBoxes(const Plot *plot, Extent e)
{
    for (int i = 0; i < plot->itemCount(); ++i) {
        const auto *text = qobject_cast<const QCPItemText *>(plot->item(i));
        if (!text || !isShown(text) || !onPlotAxes(plot, text->position))
            continue;
        for (const QCPItemAnchor *corner :
             {text->topLeft, text->topRight, text->bottomRight, text->bottomLeft}) {
            const QPointF pixel = corner->pixelPosition();
            e.add(QPointF(plot->xAxis->pixelToCoord(pixel.x()),
                          plot->yAxis->pixelToCoord(pixel.y())));
        }
    }
    return e;
}

// A contour framing gives up after this many passes (the tick labels never settle).
constexpr int kFramingPasses = 8;

// One unit takes as many pixels on the x axis as on the y axis, as the plot is laid out now.
bool isTrueToShape(const Plot *plot)
{
    const QCPRange x = plot->xAxis->range();
    const QCPRange y = plot->yAxis->range();
    const QRect rect = plot->axisRect()->rect();
    if (!(x.size() > 0.0) || !(y.size() > 0.0) || rect.width() <= 0 || rect.height() <= 0)
        return true;
    const double xScale = rect.width() / x.size();
    const double yScale = rect.height() / y.size();
    return std::abs(xScale - yScale) <= 1e-9 * xScale;
}

// Frames the extent with margins of 5 %, true to shape.
void frameContour(Plot *plot, const Extent &e)
{
    const double dk = 0.05 * (e.maxK - e.minK);
    plot->xAxis->setRange(e.minK - dk, e.maxK + dk);
    const double dv = 0.05 * (e.maxV - e.minV);
    plot->yAxis->setRange(e.minV - dv, e.maxV + dv);
    // One axis is re-ranged about its centre so that one unit takes as many pixels on it as on
    // the other: the contour keeps its true shape. It is the axis that shows more pixels per
    // unit, which the re-ranging widens: the other one's would shrink and cut the contour. (By
    // the spans alone, a contour a little wider than high on a plot wider than high would lose
    // its top and bottom.) The new range brings new tick labels, which can change the size of
    // the axis rectangle and so the pixels per unit of the other axis: the ratio is set again
    // until a replot leaves it true.
    const QRect rect = plot->axisRect()->rect();
    const double xSpan = plot->xAxis->range().size();
    const double ySpan = plot->yAxis->range().size();
    const bool xKept = rect.width() > 0 && rect.height() > 0 && xSpan > 0.0 && ySpan > 0.0
        ? rect.width() / xSpan < rect.height() / ySpan
        : xSpan > ySpan;
    for (int pass = 0; pass < kFramingPasses; ++pass) {
        if (xKept)
            plot->yAxis->setScaleRatio(plot->xAxis, 1.0);
        else
            plot->xAxis->setScaleRatio(plot->yAxis, 1.0);
        plot->replot(QCustomPlot::rpRefreshHint);
        if (isTrueToShape(plot))
            break;
    }
}

bool countEqual(double a, double b)
{
    return std::abs(b - a) * 1e12 <= qMin(std::abs(a), std::abs(b));
}

} // namespace

void ContourAnalisisWidget::rescaleContour()
{
    Plot *plot = ui->plot;
    const Extent content = contentExtent(plot);
    frameContour(plot, content);
    // The labels laid out in this framing: one that reaches out of the view widens the framing
    // once; one within the margins needs no second framing.
    const Extent labelled = withLabelBoxes(plot, content);
    const QCPRange x = plot->xAxis->range();
    const QCPRange y = plot->yAxis->range();
    if (labelled.minK < x.lower || labelled.maxK > x.upper || labelled.minV < y.lower
        || labelled.maxV > y.upper)
        frameContour(plot, labelled);
    framedX = plot->xAxis->range();
    framedY = plot->yAxis->range();
}

void ContourAnalisisWidget::rescaleProfile()
{
    Plot *plot = ui->plot;
    if (!plot || plot->curveCount() == 0)
        return;
    Extent e = contentExtent(plot);
    if (countEqual(e.minK, e.maxK))
        e.maxK += 1.0;
    if (countEqual(e.minV, e.maxV))
        e.maxV += 1.0;
    const double dk = 0.05 * (e.maxK - e.minK);
    plot->xAxis->setRange(e.minK - dk, e.maxK + dk);
    const double dv = 0.20 * (e.maxV - e.minV);
    plot->yAxis->setRange(e.minV - dv, e.maxV + dv);
    plot->replot(QCustomPlot::rpRefreshHint);
    framedX = plot->xAxis->range();
    framedY = plot->yAxis->range();
}

void ContourAnalisisWidget::updateMeasurementInTree(Measurement *m)
{
    if (!m)
        return;
    const int id = m->id();
    if (QTreeWidgetItem *item = itemsById.value(id))
        ui->measurementTree->updateMeasurementItem(item, m);
    else
        itemsById.insert(id, ui->measurementTree->addMeasurementItem(m));
    ui->measurementTree->updateGroups();
}

void ContourAnalisisWidget::saveData(DataSaveFormat) { }

void ContourAnalisisWidget::addMeasurement(int index, E_MEASUREMENTS type, double distance)
{
    measurementsManager->addEquidistant(index, type, distance);
}

void ContourAnalisisWidget::recalcAllMeasurements()
{
    updateUnits();
    ui->plot->replot(QCustomPlot::rpRefreshHint);
}

void ContourAnalisisWidget::recalculateListed()
{
    // A copy: a receiver of the tree update must not change the list under the walk.
    const std::list<Measurement *> listed = measurementsManager->measurementList();
    for (Measurement *m : listed)
        m->updateUnits();
    // Each after what it is built on; every one announced, so its row follows.
    measurementsManager->recalculate();
}

void ContourAnalisisWidget::calibrationDataValueChangedManually(QVector<AbstractTrace *> traces)
{
    // The copies take the new calibration values in place and are processed again; their
    // processors (the non-linearity table among them) are kept, not read again.
    for (int i = 0; i < traceCopies.size(); ++i) {
        AbstractTrace *copy = traceCopies.at(i);
        const AbstractTrace *source = i < traces.size() ? traces.at(i) : nullptr;
        auto *contourCopy = dynamic_cast<ContourTrace *>(copy);
        const auto *contourSource = dynamic_cast<const ContourTrace *>(source);
        if (contourCopy && contourSource)
            contourCopy->takeCalibration(*contourSource);
        copy->reprocess();
        fillCurve(i);
    }
    recalculateListed();
    ui->plot->replot(QCustomPlot::rpRefreshHint);
}

// Navigation --------------------------------------------------------------------------------

void ContourAnalisisWidget::startNavigation(QPushButton *button, int cursor,
                                            QMetaObject::Connection *wheel,
                                            void (ContourAnalisisWidget::*handler)(QWheelEvent *),
                                            int interactions, const char *logLine)
{
    logInfo(QString::fromUtf8(logLine));
    ui->plot->setInteractions(interactions);
    ui->plot->setCursor(Qt::CursorShape(cursor));
    QObject::disconnect(*wheel);
    *wheel = connect(ui->plot, &QCustomPlot::mouseWheel, this,
                     [this, handler](QWheelEvent *event) { (this->*handler)(event); });
    ui->actionScale->setIcon(button->icon());
    ui->actionScale->toggle();
    button->setCheckable(false);
}

void ContourAnalisisWidget::stopNavigation(QMetaObject::Connection *wheel)
{
    ui->plot->unsetCursor();
    QObject::disconnect(*wheel);
    *wheel = QMetaObject::Connection();
}

void ContourAnalisisWidget::onPanClicked(bool checked)
{
    if (!checked) {
        stopNavigation(&panWheel);
        return;
    }
    ui->plot->setSelectionRectMode(QCP::srmNone);
    startNavigation(ui->pushButtonPAN, Qt::OpenHandCursor, &panWheel,
                    &ContourAnalisisWidget::onPanWheel, QCP::iRangeDrag | QCP::iRangeZoom,
                    "PushButtonPAN was clicked");
}

void ContourAnalisisWidget::onScaleXClicked(bool checked)
{
    if (!checked) {
        stopNavigation(&scaleXWheel);
        return;
    }
    startNavigation(ui->pushButtonScaleX, Qt::SizeHorCursor, &scaleXWheel,
                    &ContourAnalisisWidget::onScaleXWheel, QCP::iRangeDrag,
                    "PushButtonScaleX was clicked");
}

void ContourAnalisisWidget::onScaleYClicked(bool checked)
{
    if (!checked) {
        stopNavigation(&scaleYWheel);
        return;
    }
    startNavigation(ui->pushButtonScaleY, Qt::SizeVerCursor, &scaleYWheel,
                    &ContourAnalisisWidget::onScaleYWheel, QCP::iRangeDrag,
                    "PushButtonScaleY was clicked");
}

void ContourAnalisisWidget::onPanWheel(QWheelEvent *event)
{
    logInfo(event->angleDelta().y() > 0 ? QStringLiteral("Zoom in scale")
                                        : QStringLiteral("Zoom out scale"));
}

void ContourAnalisisWidget::onScaleXWheel(QWheelEvent *event)
{
    scaleAxesOfCurves(event, true);
}

void ContourAnalisisWidget::onScaleYWheel(QWheelEvent *event)
{
    scaleAxesOfCurves(event, false);
}

void ContourAnalisisWidget::scaleAxesOfCurves(QWheelEvent *event, bool keyAxes)
{
    const int delta = event->angleDelta().y();
    if (delta == 0)
        return;
    const QString axisName = keyAxes ? QStringLiteral("x") : QStringLiteral("y");
    logInfo((delta > 0 ? QStringLiteral("Zoom in scale on %1-axis")
                       : QStringLiteral("Zoom out scale on %1-axis"))
                .arg(axisName));
    // Every trace curve may share its axes with the others: each distinct axis scales once.
    QSet<QCPAxis *> scaled;
    forEachCurve([&](QCPCurve *curve) {
        QCPAxis *axis = keyAxes ? curve->keyAxis() : curve->valueAxis();
        if (!axis || scaled.contains(axis))
            return;
        scaled.insert(axis);
        const double factor = axis->axisRect()->rangeZoomFactor(axis->orientation());
        axis->scaleRange(std::pow(factor, delta / 120.0));
    });
    ui->plot->replot(QCustomPlot::rpRefreshHint);
}

void ContourAnalisisWidget::forEachCurve(const std::function<void(QCPCurve *)> &function)
{
    for (QCPCurve *curve : qAsConst(curves))
        function(curve);
}

void ContourAnalisisWidget::onResetScaleClicked()
{
    logInfo(QStringLiteral("PushButtonResetScale was clicked"));
    if (!traceCopies.isEmpty())
        rescaleAxes();
    ui->actionScale->toggle();
}

void ContourAnalisisWidget::onResetLayFlatClicked()
{
    logInfo(QStringLiteral("PushButtonRST was clicked"));
    // The curves go back to the unlevelled copies, and everything else on the plot with them.
    const RigidTransform undo = levellingMotion().inverted();
    levellingAngle = 0.0;
    levellingCentre = QPointF();
    levellingTurns.clear();
    // The manager composes the same turns: it forgets them with the window's.
    measurementsManager->resetLevelling();
    redrawCurves(PlotTransform::moving(undo));
    ui->pushButtonlayFlat->setCheckable(true);
    ui->actionLayFlat->toggle();
}

bool ContourAnalisisWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (ui && watched == ui->plot) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::MiddleButton) {
                panning = true;
                panStart = mouse->localPos().toPoint();
                return true;
            }
            break;
        }
        case QEvent::MouseMove:
            if (panning) {
                panBy(static_cast<QMouseEvent *>(event)->localPos().toPoint());
                return true;
            }
            break;
        case QEvent::Resize:
            // Tick labels carry the unit: a narrow plot gets fewer of them, so that none overlap.
            ui->plot->xAxis->ticker()->setTickCount(
                qBound(2, static_cast<QResizeEvent *>(event)->size().width() / 130, 5));
            // The first framing is made before the window is shown, at the plot's size then; a
            // framing the operator has not changed since is made again at the new size, so a
            // contour keeps its true shape when the tab opens or the window is resized.
            if (!traceCopies.isEmpty() && ui->plot->xAxis->range() == framedX
                && ui->plot->yAxis->range() == framedY) {
                ui->plot->setViewport(
                    QRect(QPoint(0, 0), static_cast<QResizeEvent *>(event)->size()));
                rescaleAxes();
            }
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent *>(event)->button() == Qt::MiddleButton) {
                panning = false;
                return true;
            }
            break;
        default:
            break;
        }
    }
    return AnalisysWidget::eventFilter(watched, event);
}

void ContourAnalisisWidget::panBy(const QPoint &pos)
{
    Plot *plot = ui->plot;
    if (plot->width() > 0)
        plot->xAxis->moveRange((panStart.x() - pos.x()) * plot->xAxis->range().size()
                               / plot->width());
    if (plot->height() > 0)
        plot->yAxis->moveRange((pos.y() - panStart.y()) * plot->yAxis->range().size()
                               / plot->height());
    plot->replot(QCustomPlot::rpRefreshHint);
    panStart = pos;
}

// Tool panel --------------------------------------------------------------------------------

void ContourAnalisisWidget::onToolActionToggled(QAction *action, QFrame *frame, bool checked)
{
    hideToolFrames();
    if (checked) {
        resetTools(action);
        logInfo(action->objectName() + QStringLiteral(" open"));
        frame->show();
        frame->raise();
    } else {
        logInfo(action->objectName() + QStringLiteral(" close"));
    }
}

void ContourAnalisisWidget::resetTools(QAction *keep)
{
    for (QAbstractButton *button : qAsConst(toolButtons)) {
        if (!button->isCheckable()) {
            button->click();
            button->setCheckable(true);
        }
    }
    for (QAction *action : qAsConst(toolActions)) {
        if (action != keep)
            action->setChecked(false);
    }
}

bool ContourAnalisisWidget::askCount(QString *parameter)
{
    bool ok = false;
    const int count
        = Prompts::instance()->getInt(this, QStringLiteral("Введите число выделений"),
                                      QStringLiteral("Ввод значений"), 2, 2, 100, 1, &ok);
    if (ok)
        *parameter = QString::number(count);
    return ok;
}

bool ContourAnalisisWidget::askRadius(QString *parameter)
{
    bool ok = false;
    const double radius = Prompts::instance()->getDouble(
        this, QStringLiteral("Введите радиус вписанной окружности"),
        QStringLiteral("Радиус в") + unitText,
        Settings::instance()->preferences.inscribed_circle_radius_measurement, 0.001, 1e12, 3, &ok);
    if (!ok)
        return false;
    Settings::modify(
        [radius](Settings &s) { s.preferences.inscribed_circle_radius_measurement = radius; });
    *parameter = QString::number(radius, 'f', 3);
    return true;
}

void ContourAnalisisWidget::onMeasurementButtonClicked(QPushButton *button, E_MEASUREMENTS kind,
                                                       QAction *action, bool checked)
{
    if (!checked) {
        measurementsManager->setMeasurementType(NO_MEASUREMENT, true, false, QString());
        onStatusText(QString());
        return;
    }
    Plot *plot = ui->plot;
    for (int i = 0; i < plot->curveCount(); ++i) {
        if (QCPCurve *curve = plot->curve(i))
            curve->setSelection(QCPDataSelection());
    }
    plot->replot(QCustomPlot::rpRefreshHint);
    logInfo(button->objectName() + QStringLiteral("was clicked"));
    plot->setCursor(Qt::ArrowCursor);

    const MeasurementKindInfo &info = measurementKindInfo(kind);
    QString parameter;
    bool accepted = true;
    if (info.prompt == KindPrompt::Count)
        accepted = askCount(&parameter);
    else if (info.prompt == KindPrompt::Radius)
        accepted = askRadius(&parameter);
    if (!accepted) {
        // A cancelled prompt leaves the tool idle: the button is ready for another try.
        button->setChecked(false);
        return;
    }
    measurementsManager->setMeasurementType(kind, info.listed, info.showsReperPoints, parameter);
    // Until the first press the status line tells what the tool waits for.
    onStatusText(MeasurementsManager::toolPrompt(kind));
    action->setIcon(button->icon());
    action->toggle();
    button->setCheckable(false);
    plot->setInteractions(QCP::iRangeZoom | Plot::iRangeSelection);
}

void ContourAnalisisWidget::onAvgDiameterToggled(bool checked)
{
    if (checked) {
        resetTools(ui->actionAvgDiameter);
        measurementsManager->setMeasurementType(AVG_DIAMETERT, true, false, QString());
        onStatusText(MeasurementsManager::toolPrompt(AVG_DIAMETERT));
    } else {
        measurementsManager->setMeasurementType(NO_MEASUREMENT, true, false, QString());
        onStatusText(QString());
    }
}

void ContourAnalisisWidget::onStatusText(const QString &text)
{
    ui->statusbar->showMessage(text, 0);
}

void ContourAnalisisWidget::delButtonPress(MeasurementTreeWidget *tree)
{
    if (!deleteShortcuts.isEmpty()) {
        // Deleted later, as this may run while that very shortcut is being handled; disabled
        // now, so that it never competes with its successor for the key.
        QShortcut *old = deleteShortcuts.takeFirst();
        old->setEnabled(false);
        old->deleteLater();
    }
    for (QTreeWidgetItem *item : tree->selectedItems()) {
        selectOnlyItem(item);
        const int id = item->data(0, Qt::UserRole).toInt();
        auto *shortcut = new QShortcut(QKeySequence(Qt::Key_Delete), this);
        deleteShortcuts.append(shortcut);
        connect(shortcut, &QShortcut::activated, this, [this, id] { onDeleteShortcut(id); });
    }
}

void ContourAnalisisWidget::selectOnlyItem(QTreeWidgetItem *item)
{
    for (QTreeWidgetItem *other : ui->measurementTree->selectedItems()) {
        if (other != item)
            other->setSelected(false);
    }
}

void ContourAnalisisWidget::onDeleteShortcut(int id)
{
    deleteMeasurement(id);
}

void ContourAnalisisWidget::processMeasurementSelection()
{
    const QList<QTreeWidgetItem *> selected = ui->measurementTree->selectedItems();
    if (selected.isEmpty()) {
        qDebug() << "Selection empty";
        for (Measurement *m : measurementsManager->measurementList())
            m->setSelected(false);
    } else {
        const int id = selected.first()->data(0, Qt::UserRole).toInt();
        for (Measurement *m : measurementsManager->measurementList())
            m->setSelected(m->id() == id);
    }
    ui->plot->replot(QCustomPlot::rpRefreshHint);
}

void ContourAnalisisWidget::deleteMeasurement(int index)
{
    // After a delete no row is selected: the tree would otherwise select the next row, and the
    // Delete key would take that one too, unasked.
    ui->measurementTree->selectionModel()->clear();
    // Whatever was built on the measurement goes with it.
    QList<int> gone = measurementsManager->removeMeasurement(index);
    if (gone.isEmpty())
        gone.append(index);
    for (int id : qAsConst(gone))
        delete itemsById.take(id);
    ui->plot->replot(QCustomPlot::rpRefreshHint);
    ui->measurementTree->updateGroups();
}

// Report ------------------------------------------------------------------------------------

void ContourAnalisisWidget::saveReport(QWidget *parent)
{
    if (traceCopies.isEmpty()) {
        Prompts::instance()->warning(parent, QStringLiteral("Ошибка печати отчёта"),
                                     QStringLiteral("Нет трасс для сохранения отчёта"));
        return;
    }
    const Settings *settings = Settings::instance();
    const QString defaultName = settings->service.default_trace_file_name
        + QDateTime::currentDateTime().toString(QStringLiteral("_yyyy_MM_dd_HH_mm_ss"));
    QString path = Prompts::instance()->saveFileName(
        parent, QStringLiteral("Сохранить отчет"),
        settings->preferences.save_report_folder + defaultName, QString());
    if (path.isEmpty())
        return;
    if (!path.endsWith(QStringLiteral(".html"), Qt::CaseInsensitive))
        path += QStringLiteral(".html");
    const QString folder = path.section(QLatin1Char('/'), 0, -2) + QLatin1Char('/');
    Settings::modify([&folder](Settings &s) { s.preferences.save_report_folder = folder; });

    beginReportSnapshot();
    const QVector<QPixmap> pictures = plotImages();
    const QMap<QString, QString> data = reportData();
    std::unique_ptr<QFile> written(writeHtmlReport(data, pictures, path, MEASUREMENT_PROTOCOL));
    endReportSnapshot();

    if (!written) {
        logger.log(ERROR, "Cannot write the report file: " + path.toStdString());
        Prompts::instance()->warning(parent, QStringLiteral("Ошибка печати отчёта"),
                                     QStringLiteral("Не удалось записать файл отчёта"));
        return;
    }
    protocolled.clear();
    for (const Measurement *m : measurementsManager->measurementList())
        protocolled.insert(m->id(), recordOf(m));
    openInBrowser(parent, path);
}

void ContourAnalisisWidget::beginReportSnapshot()
{
    setReportLabels(ui->measurementTree, measurementsManager, true);
    ui->plot->setSelectionMarkerVisible(false);
    ui->plot->replot(QCustomPlot::rpRefreshHint);
}

void ContourAnalisisWidget::endReportSnapshot()
{
    setReportLabels(ui->measurementTree, measurementsManager, false);
    ui->plot->setSelectionMarkerVisible(true);
    ui->plot->replot(QCustomPlot::rpRefreshHint);
}

QVector<ContourAnalisisWidget::ProtocolRow> ContourAnalisisWidget::protocolRows() const
{
    // The tree gives the order only; group, designation and value come from the measurement.
    MeasurementTreeWidget *tree = ui->measurementTree;
    const QList<QTreeWidgetItem *> groups = tree->groupRows();
    int counters[kMeasurementGroupCount] = {};
    QVector<ProtocolRow> rows;
    for (const MeasurementTreeWidget::GroupRow &group : tree->reportRows()) {
        for (const MeasurementTreeWidget::ItemRow &item : group.items) {
            Measurement *m = measurementsManager->findMeasurement(item.id);
            if (!m)
                continue;
            ProtocolRow row;
            row.measurement = m;
            row.item = item.item;
            // The group the tree shows the measurement in.
            const int g = int(groups.indexOf(item.item->parent()));
            row.group = g >= 0 ? MeasurementGroup(g) : MeasurementGroup::None;
            const MeasurementGroupInfo &info = measurementGroupInfo(row.group);
            if (info.prefix) {
                row.number = ++counters[g];
                row.designation
                    = QString::fromUtf8(info.prefix) + QStringLiteral("_%1").arg(row.number);
            }
            row.name = m->name();
            row.value = m->valueText();
            rows.append(row);
        }
    }
    return rows;
}

void ContourAnalisisWidget::setReportLabels(QTreeWidget *tree, MeasurementsManager *manager,
                                            bool on)
{
    if (tree != ui->measurementTree || manager != measurementsManager)
        return;
    for (const ProtocolRow &row : protocolRows()) {
        Measurement *m = row.measurement;
        if (!row.designation.isEmpty()) {
            if (on) {
                m->setLabelText(row.designation);
                m->updateLabel();
                row.item->setText(0, QString::number(row.number) + QLatin1Char(' ') + row.name);
            } else {
                m->clearLabelText();
                row.item->setText(0, m->name());
            }
        }
        m->setLargeLabel(on);
    }
    // The labels are laid out again without their designations, each measurement after what it
    // is built on, and the rows show what the measurements show.
    if (!on)
        measurementsManager->recalculate();
}

QVector<QPixmap> ContourAnalisisWidget::plotImages()
{
    return {ui->plot->toPixmap(0, 0, 1.0)};
}

QMap<QString, QString> ContourAnalisisWidget::reportData() const
{
    const Settings *settings = Settings::instance();
    QMap<QString, QString> data;
    data.insert(QStringLiteral("date"),
                QDateTime::currentDateTime().toString(QString::fromLatin1(kReportDateFormat)));
    data.insert(QStringLiteral("part_name"), ui->detailNameEdit->text());
    data.insert(QStringLiteral("controller_name"), settings->current_controller_name);
    data.insert(QStringLiteral("factory_name"), settings->service.factory_name);
    data.insert(QStringLiteral("comment"), ui->commentTextEdit->toPlainText());
    for (int i = 0; i < traceCopies.size(); ++i) {
        const AbstractTrace *trace = traceCopies.at(i);
        const QString prefix = QStringLiteral("traces[%1].").arg(i);
        data.insert(prefix + QStringLiteral("id"), QString::number(trace->id + 1));
        data.insert(prefix + QStringLiteral("trace_author"), trace->controllerName);
        data.insert(
            prefix + QStringLiteral("creation_date"),
            trace->creationDate.toLocalTime().toString(QString::fromLatin1(kReportDateFormat)));
    }
    data.insert(QStringLiteral("traces_count"), QString::number(traceCopies.size()));

    // The rows come numbered in order within each group: a group's count is its last number.
    int counters[kMeasurementGroupCount] = {};
    for (const ProtocolRow &row : protocolRows()) {
        if (row.designation.isEmpty())
            continue;
        const MeasurementGroupInfo &info = measurementGroupInfo(row.group);
        const QString entry = QString::fromLatin1(info.entryKey).arg(row.number - 1);
        counters[int(row.group)] = row.number;
        data.insert(entry + QStringLiteral("name"), row.designation);
        data.insert(entry + QStringLiteral("value"), row.value);
    }
    for (int g = 0; g < kMeasurementGroupCount; ++g) {
        const MeasurementGroupInfo &info = measurementGroupInfo(MeasurementGroup(g));
        if (!info.prefix)
            continue;
        data.insert(QString::fromLatin1(info.countKey), QString::number(counters[g]));
        if (counters[g] != 0)
            data.insert(QString::fromLatin1(info.nameKey), QString::fromUtf8(info.rowText));
    }
    return data;
}
