#include "measurements/ui/ComparePlaneDXF.h"

#include "core/Logger.h"
#include "core/Settings.h"
#include "measurements/DrawingFit.h"
#include "measurements/DxfReader.h"
#include "measurements/ui/DxfImport.h"
#include "measurements/ui/MeasurementFactory.h"
#include "measurements/ui/ReperPoint.h"
#include "platform/ChosenFile.h"
#include "platform/Prompts.h"
#include "plot/Plot.h"

#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QtConcurrent>

#include <algorithm>
#include <cmath>

namespace {

// The live drawing measurements, for the distance queries of their plots.
QList<ComparePlaneDXF *> &liveDrawings()
{
    static QList<ComparePlaneDXF *> drawings;
    return drawings;
}

double currentUnitFactor()
{
    return dxfUnitFactor(Settings::instance()->view.axis_unit);
}

DrawingFitFunction &fitFunction()
{
    static DrawingFitFunction fit;
    return fit;
}

// The progress of a fit, in thousandths.
constexpr qint64 kFitProgressSteps = 1000;
// How long the window waits for a cancelled fit to stop.
constexpr int kStoppingFitMs = 100;

} // namespace

void setDrawingFitFunction(DrawingFitFunction fit)
{
    fitFunction() = std::move(fit);
}

DrawingPose fitDrawing(const DxfDrawing &drawing, const QVector<QPointF> &points,
                       const QPointF &pivot, double unitFactor,
                       const DrawingFit::Progress &progress)
{
    DrawingFit search(drawing, points, pivot, unitFactor);
    search.setProgress(progress);
    search.fitAll();
    return DrawingPose {search.angle(), search.shift(), search.stopped()};
}

QString DrawingFitProgress::title()
{
    return QStringLiteral("Совмещение чертежа");
}

DrawingFitProgress::DrawingFitProgress(QWidget *parent)
    : WorkProgressWindow(parent, title(), QStringLiteral("Совмещение чертежа с трассой"))
{ }

ComparePlaneMeasurement::ComparePlaneMeasurement(int type, Plot *plot, const QString &name)
    : Measurement(type, plot, 0)
    , displayName(name)
{
    plot->setSelectionMarkerVisible(true);
}

QString ComparePlaneMeasurement::groupName() const
{
    return QStringLiteral("Сравнение с чертежём");
}

void ComparePlaneMeasurement::updateSelectionMarker()
{
    if (plot())
        plot()->setSelectionMarkerVisible(true);
}

QString ComparePlaneDXF::fileFilter()
{
    return QStringLiteral("Чертёж (*.dxf *.DXF)");
}

QString ComparePlaneDXF::tracePointText()
{
    return QStringLiteral("Выберите первую точку на трассе");
}

QString ComparePlaneDXF::drawingPointText()
{
    return QStringLiteral("Выберите соответствующую ей точку на чертеже");
}

ComparePlaneDXF::ComparePlaneDXF(QWidget *parent, Plot *plot)
    : ComparePlaneMeasurement(COMPARE_PLANE_DXF, plot, QStringLiteral("Чертёж DXF"))
    , m_items(plot)
    , m_unitFactor(currentUnitFactor())
{
    liveDrawings().append(this);
    const QString fileName = Prompts::instance()->openFileName(
        parent, QStringLiteral("Импортировать чертёж"), QString(), fileFilter());
    if (fileName.isEmpty())
        return;
    QFile file(fileName);
    if (!openChosenFile(parent, file))
        return;
    const QString fileShown = QFileInfo(fileName).fileName();
    const std::string shownName = fileShown.toStdString();
    // Read on a worker: a large drawing must not stop the window.
    const DxfImportResult imported = importDxf(parent, &file, m_unitFactor, fileShown);
    file.close();
    if (imported.cancelled) {
        logger.log(INFO, "DXF import of " + shownName + " cancelled");
        return;
    }
    const DxfReadResult &result = imported.read;
    for (const QString &problem : result.problems)
        logger.log(WARNING, "DXF " + shownName + ": " + problem.toStdString());
    if (result.drawing.isEmpty()) {
        Prompts::instance()->warning(
            parent, QStringLiteral("Ошибка"),
            QStringLiteral("В чертеже нет отрезков, дуг, окружностей или эллипсов: ") + fileName);
        return;
    }
    logger.log(INFO,
               "DXF drawing " + shownName + " imported with "
                   + std::to_string(result.drawing.size()) + " entities");
    m_drawing = result.drawing;
    setUp();
}

ComparePlaneDXF::ComparePlaneDXF(Plot *plot, const DxfDrawing &drawing)
    : ComparePlaneMeasurement(COMPARE_PLANE_DXF, plot, QStringLiteral("Чертёж DXF"))
    , m_drawing(drawing)
    , m_items(plot)
    , m_unitFactor(currentUnitFactor())
{
    liveDrawings().append(this);
    if (hasDrawing())
        setUp();
}

ComparePlaneDXF::~ComparePlaneDXF()
{
    liveDrawings().removeAll(this);
    m_items.clear();
}

void ComparePlaneDXF::setUp()
{
    m_items.show(m_drawing);
    placeReperPoints();
    plot()->setSelectionMarkerVisible(true);
    // Shown at once, not with the next mouse move, and before the prompt that asks for a point
    // on it reaches the status line.
    plot()->replot();
    // The prompt goes out once the event loop runs again, when the manager has connected to the
    // new measurement: a signal sent from the constructor reaches nobody.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_stage == 0)
                emit statusText(tracePointText());
        },
        Qt::QueuedConnection);
    addConnection(QObject::connect(plot(), &QCustomPlot::mousePress, this,
                                   [this](QMouseEvent *e) { onPlotMousePress(e); }));
}

void ComparePlaneDXF::placeReperPoints()
{
    QVector<QPointF> points;
    for (int i = 0; i < m_drawing.size(); ++i) {
        points += m_drawing.entity(i).reperPoints();
        if (points.size() >= kMaxReperPoints) {
            points.resize(kMaxReperPoints);
            break;
        }
    }
    const int first = reperPoints.size();
    createReperPoints(points.size());
    for (int i = 0; i < points.size(); ++i)
        setReperPoint(first + i, points.at(i));
    m_reperPointCount = points.size();
}

void ComparePlaneDXF::removeDrawingReperPoints()
{
    while (m_reperPointCount > 0 && !reperPoints.isEmpty()) {
        removeLastReperPoint();
        --m_reperPointCount;
    }
    m_reperPointCount = 0;
}

void ComparePlaneDXF::onPlotMousePress(QMouseEvent *event)
{
    if (!event || event->button() != Qt::LeftButton)
        return;
    QCPCurve *curve = plot()->markerCurve();
    const int index = plot()->markerDataIndex();
    if (!curve || index < 0 || index >= curve->dataCount())
        return;
    const QPointF picked(curve->data()->at(index)->key, curve->data()->at(index)->value);

    if (m_stage == 0) {
        m_stage = 1;
        m_tracePointIndex = index;
        m_tracePoint = picked;
        m_traceCurve = curve;
        enableReperPointSnapping();
        emit statusText(drawingPointText());
        return;
    }
    if (m_stage != 1)
        return;
    // The second pick must be a characteristic point of the drawing, not a trace point.
    const bool onDrawing = std::any_of(reperPoints.cbegin(), reperPoints.cend(),
                                       [curve](ReperPoint *p) { return p->snapCurve() == curve; });
    if (!onDrawing) {
        emit statusText(drawingPointText());
        return;
    }
    plot()->setSelectionMarkerVisible(false);
    m_drawingPoint = picked;
    // The plot item shares the drawing's storage: it lets go first, so that moving the drawing
    // changes the storage in place rather than copying it.
    m_items.release();
    const QPointF onto = m_tracePoint - m_drawingPoint;
    m_drawing.translate(onto.x(), onto.y());
    removeDrawingReperPoints();
    disableReperPointSnapping();
    m_items.show(m_drawing);
    plot()->replot();
    const QPointer<QObject> alive(this);
    const bool fitted = fit();
    // The window ran on while the fit did: the measurement may be gone.
    if (!alive)
        return;
    if (!fitted) {
        // Back to where the drawing was before the picks, waiting for a trace point again.
        m_items.release();
        m_drawing.translate(-onto.x(), -onto.y());
        m_items.show(m_drawing);
        placeReperPoints();
        m_stage = 0;
        plot()->setSelectionMarkerVisible(true);
        plot()->replot();
        emit statusText(tracePointText());
        return;
    }
    m_stage = 2;
    m_items.show(m_drawing);
    emit statusText(QString());
    finish();
    emit measumentFinished();
}

bool ComparePlaneDXF::fit()
{
    if (!m_traceCurve)
        return true;
    QVector<QPointF> points;
    points.reserve(m_traceCurve->dataCount());
    for (auto it = m_traceCurve->data()->constBegin(); it != m_traceCurve->data()->constEnd(); ++it)
        points.append(QPointF(it->key, it->value));
    const DrawingFitFunction run = fitFunction() ? fitFunction() : DrawingFitFunction(fitDrawing);
    auto state = std::make_shared<WorkerProgress>();
    state->total = kFitProgressSteps;
    auto pose = std::make_shared<DrawingPose>();
    auto placed = std::make_shared<DxfDrawing>();
    // The worker fits a copy, which shares the drawing's storage: the window may draw and
    // measure the drawing meanwhile, and after a cancel the worker runs out on its own. A fit
    // that ends is put on the copy there too (which then takes storage of its own), and the
    // distance tree of the placed drawing is built, so that neither the move of a large drawing
    // nor its first measurement stops the window.
    const QFuture<void> future = QtConcurrent::run(
        [run, drawing = m_drawing, points = std::move(points), pivot = m_tracePoint,
         factor = m_unitFactor, state, pose, placed]() mutable {
            DxfDrawing own = std::move(drawing);
            *pose = run(own, points, pivot, factor, [state](double fraction) {
                state->done = qint64(fraction * kFitProgressSteps);
                return !state->cancel.load();
            });
            if (pose->stopped || state->cancel.load())
                return;
            DrawingFit::applyPose(&own, pose->angle, pivot, pose->shift);
            own.distanceTo(pivot);
            *placed = std::move(own);
        });
    DrawingFitProgress window(plot());
    // A cancelled fit stops within a fraction of a millisecond and lets go of the drawing's
    // storage, which the drawing then moves back in place; one that does not (while it builds
    // the distance tree of a huge drawing) runs out on its own, and the move copies the storage.
    if (waitBehindProgress(&window, state, future, kStoppingFitMs) || pose->stopped) {
        logger.log(INFO, "DXF drawing fit cancelled");
        return false;
    }
    m_items.release();
    m_drawing = std::move(*placed);
    return true;
}

void ComparePlaneDXF::calculate() { }

void ComparePlaneDXF::followTransform(const PlotTransform &transform)
{
    ComparePlaneMeasurement::followTransform(transform);
    if (!hasDrawing())
        return;
    // The reper points are curve points, moved with the curves already.
    m_items.release();
    if (transform.scale != 1.0) {
        // A change of the display unit scales the drawing with the traces, whatever its stage.
        m_unitFactor = currentUnitFactor();
        m_drawing.rescale(transform.scale);
    }
    // Only a fitted drawing belongs to the contour; a drawing still being placed is dropped
    // before any levelling can start.
    const bool fitted = m_stage == 2;
    if (fitted && !transform.motion.isIdentity()) {
        m_drawing.rotate(transform.motion.angle * 180.0 / M_PI, QPointF(0.0, 0.0));
        m_drawing.translate(transform.motion.shift.x(), transform.motion.shift.y());
    }
    m_drawingPoint = fitted ? transform.map(m_drawingPoint) : m_drawingPoint * transform.scale;
    if (m_traceCurve && m_tracePointIndex < m_traceCurve->dataCount()) {
        const auto point = m_traceCurve->data()->at(m_tracePointIndex);
        m_tracePoint = QPointF(point->key, point->value);
    } else {
        m_tracePoint = fitted ? transform.map(m_tracePoint) : m_tracePoint * transform.scale;
    }
    m_items.show(m_drawing);
}

double distanceToDrawing(const QCustomPlot *plot, double x, double y)
{
    double best = DxfDrawing::kNoDistance;
    for (const ComparePlaneDXF *m : qAsConst(liveDrawings())) {
        if (m->plot() == plot && m->hasDrawing())
            best = std::min(best, m->drawing().distanceTo(QPointF(x, y)));
    }
    return best;
}

// A drawing measurement exists only with a drawing: a cancelled or refused import leaves none
// behind.
template<>
Measurement *createMeasurementKind<COMPARE_PLANE_DXF>(const MeasurementArgs &args)
{
    auto *measurement = new ComparePlaneDXF(args.parent, args.plot);
    if (measurement->hasDrawing())
        return measurement;
    delete measurement;
    return nullptr;
}
