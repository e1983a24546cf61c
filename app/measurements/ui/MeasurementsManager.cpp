#include "measurements/ui/MeasurementsManager.h"

#include "core/DisplayUnits.h"
#include "core/Settings.h"
#include "measurements/ui/Measurement.h"
#include "measurements/ui/MeasurementIntersections.h"
#include "measurements/ui/PlotSegmentSelection.h"
#include "measurements/ui/ReperPoint.h"
#include "plot/Plot.h"

#include <QMouseEvent>
#include <QShortcut>

#include <algorithm>
#include <cmath>

MeasurementsManager::MeasurementsManager(Plot *plot, QWidget *parent)
    : plot(plot)
    , parentWidget(parent)
    , factory(&createMeasurementOfKind)
{
    reperPointController = new ReperPointController(plot);
    segmentSelection = new PlotSegmentSelection(plot);
    segmentSelection->setEnabled(false);
    // The segment selection connected itself first, so on every press and move it runs before
    // the manager, and the reper point controller before the measurements.
    connect(plot, &QCustomPlot::mouseMove, reperPointController, &ReperPointController::mouseMove);
    connect(plot, &QCustomPlot::mousePress, this,
            [this](QMouseEvent *event) { onPlotMousePress(event); });
    escapeShortcut = new QShortcut(QKeySequence(Qt::Key_Escape), parent ? parent : plot);
    connect(escapeShortcut, &QShortcut::activated, this, [this] { onEscape(); });
}

MeasurementsManager::~MeasurementsManager()
{
    const std::list<Measurement *> listedNow = measurements;
    measurements.clear();
    for (Measurement *m : listedNow) {
        if (m == current)
            current = nullptr;
        delete m;
    }
    delete current;
    current = nullptr;
    delete reperPointController;
    delete escapeShortcut;
}

void MeasurementsManager::setTraces(const QVector<AbstractTrace *> &traces)
{
    this->traces = traces;
    traceCount = traces.size();
    if (segmentSelection)
        segmentSelection->setTraceCount(traceCount);
}

void MeasurementsManager::setMeasurementType(E_MEASUREMENTS type, bool listed, bool showReperPoints,
                                             const QString &parameter)
{
    if (showReperPoints)
        reperPointController->showPoints();
    else
        reperPointController->hidePoints();
    this->parameter = parameter;

    if (current) {
        if (type != this->type && !current->isFinished())
            dropCurrent();
        else
            current->updateSelectionMarker();
    }
    this->listed = listed;
    this->type = type;

    if (plot) {
        if (type == AG_TEXT_PLACEMENT || type == NO_MEASUREMENT) {
            if (type == AG_TEXT_PLACEMENT)
                plot->setCursor(Qt::IBeamCursor);
            plot->setInteractions(plot->interactionFlags() | Plot::iRangeSelection);
            plot->setSelectionMarkerVisible(false);
        } else {
            plot->setInteractions(Plot::iRangeSelection);
            plot->setSelectionMarkerVisible(true);
        }
    }
    if (segmentSelection)
        segmentSelection->setEnabled(!isClickBased());
}

QString MeasurementsManager::toolPrompt(int type)
{
    switch (type) {
    case NO_MEASUREMENT:
        return QString();
    case COMPARE_PLANE_DXF:
        return QStringLiteral("Щёлкните по графику, чтобы выбрать файл чертежа");
    case AG_TEXT_PLACEMENT:
        return QStringLiteral("Текст: щёлкните там, где поставить текст");
    default:
        break;
    }
    // What the tool takes, as the kinds table says: a click that picks a whole trace, clicks on
    // trace points, or ranges dragged along a trace.
    QString action;
    if (measurementKindInfo(type).input == KindInput::TraceClick)
        action = QStringLiteral(": щёлкните по трассе");
    else if (takesClicks(type, Settings::instance()->preferences.alternative_measurement))
        action = QStringLiteral(": щёлкните по точке трассы");
    else
        action = QStringLiteral(": выделите участок трассы");
    return measurementKindName(type) + action;
}

PlotSegmentSelection *MeasurementsManager::plotSegmentSelection() const
{
    return segmentSelection;
}

bool MeasurementsManager::isClickBased() const
{
    return isClickKind(type, Settings::instance()->preferences.alternative_measurement);
}

void MeasurementsManager::createMeasurement(QWidget *parent)
{
    if (type == NO_MEASUREMENT || !plot)
        return;
    MeasurementArgs args;
    args.plot = plot;
    args.parent = parent;
    args.traces = traces;
    args.levelAngle = &levelAngle;
    args.levelCentre = &levelCentre;
    args.drawing = [this] {
        return comparisonDrawing();
    };

    // A kind that needs a number starts only with a usable one (a cancelled prompt leaves the
    // parameter empty).
    bool ok = false;
    switch (measurementKindInfo(type).prompt) {
    case KindPrompt::Radius:
        args.radius = parameter.toDouble(&ok);
        if (!ok || !std::isfinite(args.radius) || !(args.radius > 0.0)) {
            emit statusText(type == CIRCUMF_AG_SPECIFIED
                                ? QStringLiteral("Радиус должен быть больше нуля")
                                : QStringLiteral("Укажите радиус > 0"));
            return;
        }
        break;
    case KindPrompt::Count:
        args.count = parameter.toInt(&ok, 10);
        if (!ok || args.count < 2) {
            emit statusText(QStringLiteral("Укажите число выделений ≥ 2"));
            return;
        }
        break;
    case KindPrompt::None:
        break;
    }

    Measurement *created = factory ? factory(type, args) : nullptr;
    if (!created)
        return;
    current = created;
    if (type == AG_TEXT_PLACEMENT) {
        plot->setSelectionMarkerVisible(false);
    } else if (type == COMPARE_PLANE_DXF) {
        emit enableButton(true);
        type = NO_MEASUREMENT;
    }
}

void MeasurementsManager::connectMeasurement()
{
    connectCurrent(listed);
}

void MeasurementsManager::connectCurrent(bool list)
{
    Measurement *m = current;
    // A measurement is wired once: when no new one was created, the current one is already
    // connected (and listed, when it was listed).
    if (m && m == lastConnected)
        return;
    if (segmentSelection)
        QObject::disconnect(segmentSelection, nullptr, nullptr, nullptr);
    if (!m)
        return;
    lastConnected = m;
    if (list) {
        measurements.push_back(m);
        connect(m, &Measurement::measumentChanged, this, [this, m] { emit measurementChanged(m); });
        emit measurementChanged(measurements.back());
    }
    connect(m, &Measurement::graphDataChanged, this, [this] { onGraphDataChanged(); });
    connect(m, &Measurement::setNewAngleAndCenterRot, this,
            [this](double angle, const QPointF &centre) {
                // Everything on the plot turns as rotatePoint turns it, in single precision,
                // about the centre; what is built on the curves follows at the recalculation
                // that the levelling asks for next.
                const float cx = float(centre.x());
                const float cy = float(centre.y());
                transformGeometry(PlotTransform::turn(cx, cy, float(angle)), true);
                levellingMotion = levellingMotion.thenRotated(cx, cy, float(angle));
                emit setNewAngleAndCenterRot(angle, centre);
            });
    connect(m, &Measurement::reperPointChanged, reperPointController,
            &ReperPointController::reperPointChanged);
    connect(m, &Measurement::reperPointRemoved, reperPointController,
            &ReperPointController::reperPointRemoved);
    connect(m, &Measurement::statusText, this, &MeasurementsManager::statusText);
    connect(m, &Measurement::measumentFinished, this, [this] { onMeasurementFinished(); });
    if (segmentSelection) {
        connect(segmentSelection, &PlotSegmentSelection::selectionFinished, m,
                &Measurement::onSegmentSelected);
        connect(segmentSelection, &PlotSegmentSelection::selectionChanged, m,
                &Measurement::onSegmentSelected);
    }
    connect(m, &Measurement::measumentFinished, this, [this] {
        if (segmentSelection)
            segmentSelection->setEnabled(!isClickBased());
    });
    connect(m, &Measurement::stopSelection, this, [this] {
        if (segmentSelection)
            segmentSelection->setEnabled(false);
    });
    m->announce();
}

Measurement *MeasurementsManager::findMeasurement(int id) const
{
    const auto it = std::find_if(measurements.cbegin(), measurements.cend(),
                                 [id](const Measurement *m) { return m->id() == id; });
    return it == measurements.cend() ? nullptr : *it;
}

QList<int> MeasurementsManager::removeMeasurement(int id)
{
    Measurement *m = findMeasurement(id);
    if (!m)
        return {};
    const QList<Measurement *> going = m_dependencies.withDependents(m, measurements);
    // What is measured against one of them without being built of it (the deviations from a
    // placed drawing) stays, and is measured again once they have gone.
    const QList<Measurement *> affected = m_dependencies.builtOn(going, measurements);
    const QString name = m->name();
    QList<int> ids;
    QStringList along;
    bool drawingGoes = false;
    for (Measurement *x : going) {
        ids.append(x->id());
        if (x != m)
            along.append(x->name());
        measurements.remove(x);
        if (current == x)
            current = nullptr;
        drawingGoes = drawingGoes || x->type() == COMPARE_PLANE_DXF;
    }
    m_dependencies.forget(going);
    // The deviation-from-drawing tool stays enabled while any drawing is left.
    if (drawingGoes)
        emit enableButton(holdsDrawing());
    // What is built on another goes first.
    for (auto it = going.crbegin(); it != going.crend(); ++it)
        delete *it;
    // The status line names what went: a message of an earlier delete must not stay behind as
    // if it told about this one.
    if (!along.isEmpty())
        emit statusText(QStringLiteral("Вместе с элементом «%1» удалено построенное на нём: %2")
                            .arg(name, along.join(QStringLiteral(", "))));
    else
        emit statusText(QStringLiteral("Удалено: «%1»").arg(name));
    if (!affected.isEmpty())
        recalculateOnly(QSet<Measurement *>(affected.cbegin(), affected.cend()));
    return ids;
}

bool MeasurementsManager::holdsDrawing() const
{
    return std::any_of(measurements.cbegin(), measurements.cend(),
                       [](const Measurement *m) { return m->type() == COMPARE_PLANE_DXF; });
}

void MeasurementsManager::addEquidistant(int id, E_MEASUREMENTS type, double distance)
{
    if (type != CLICK_HORIZONTAL_LINE && type != CLICK_VERTICAL_LINE && type != CLICK_DOUBLE_LINE)
        return;
    Measurement *source = findMeasurement(id);
    // The copy lies at the given distance from the line: a vertical line moves along x, any
    // other line y = k·x + b perpendicular to itself.
    const QVector<double> coefficients
        = MeasurementDependencies::parallelCoefficients(source, type, distance);
    if (coefficients.isEmpty())
        return;
    MeasurementArgs args;
    args.plot = plot;
    args.parent = parentWidget;
    args.coefficients = coefficients;

    if (current && !current->isFinished())
        dropCurrent();
    else
        releaseCurrent();
    Measurement *copy = factory ? factory(type, args) : nullptr;
    if (!copy)
        return;
    current = copy;
    // The copy follows its source: the distance is kept in millimetres, whatever the unit.
    m_dependencies.addParallel(
        copy, source, distance / unitsPerMillimetreOf(Settings::instance()->view.axis_unit));
    connectCurrent(true);
    onMeasurementFinished();
    emit measurementChanged(measurements.back());
    replot();
}

const DxfDrawing *MeasurementsManager::comparisonDrawing() const
{
    const Measurement *holder = MeasurementDependencies::drawingHolder(measurements);
    return holder ? holder->comparisonDrawing() : nullptr;
}

void MeasurementsManager::onMeasurementFinished()
{
    Measurement *finishedOne = current;
    if (!finishedOne)
        return;
    QList<Measurement *> partners;
    for (Measurement *m : measurements) {
        if (!m->isPrimary() && m != finishedOne)
            partners.append(m);
    }
    for (Measurement *partner : qAsConst(partners))
        addIntersectionPoints(partner, finishedOne);
    // What is measured against it from now on (the deviations from a drawing just placed) is
    // measured again.
    if (!isListed(finishedOne))
        return;
    const QList<Measurement *> affected = m_dependencies.builtOn({finishedOne}, measurements);
    if (!affected.isEmpty())
        recalculateOnly(QSet<Measurement *>(affected.cbegin(), affected.cend()));
}

void MeasurementsManager::addIntersectionPoints(Measurement *other, Measurement *current)
{
    if (!other || !current)
        return;
    QList<QPointF> points = intersectMeasurements(other, current);
    points.erase(std::remove_if(points.begin(), points.end(),
                                [](const QPointF &p) {
                                    return !std::isfinite(p.x()) || !std::isfinite(p.y());
                                }),
                 points.end());
    const int n = points.size();
    current->createReperPoints(n);
    for (int i = 0; i < n; ++i)
        current->setReperPoint(current->reperPointCount() - n + i, points.at(i));
    // The points belong to both lines: they move when either moves and go when either goes.
    if (intersectionRoutine(other->type(), current->type()) != IntersectionRoutine::None)
        m_dependencies.addCrossing(
            current, other, current->reperPointList().mid(current->reperPointCount() - n, n));
    if (measurementKindInfo(current->type()).role != ConstructionRole::Circle)
        reperPointController->showPoints();
    replot();
}

void MeasurementsManager::onPlotMousePress(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (current && !current->isFinished())
        return;
    releaseCurrent();
    createMeasurement(parentWidget);
    connectMeasurement();
}

void MeasurementsManager::onEscape()
{
    if (!current || current->isFinished())
        return;
    dropCurrent();
    // What the dropped measurement asked for is no longer wanted.
    emit statusText(toolPrompt(type));
    if (!plot)
        return;
    // Cancels a rectangle or a range being dragged and clears the plot's selections.
    const QCP::SelectionRectMode mode = plot->selectionRectMode();
    const int interactions = plot->interactionFlags();
    plot->setSelectionRectMode(QCP::srmNone);
    plot->setInteractions(interactions & ~(int(QCP::iSelectPlottables) | Plot::iRangeSelection));
    plot->deselectAll();
    plot->setSelectionRectMode(mode);
    plot->setInteractions(interactions);
}

void MeasurementsManager::onGraphDataChanged()
{
    recalculate();
}

void MeasurementsManager::recalculate()
{
    // A copy of the list: a receiver of measurementChanged may remove measurements, which the
    // walk then passes over.
    const std::list<Measurement *> listedNow = measurements;
    m_dependencies.recalculate(listedNow, [this](Measurement *m) {
        if (isListed(m))
            emit measurementChanged(m);
    });
    replot();
}

void MeasurementsManager::recalculateOnly(const QSet<Measurement *> &which)
{
    const std::list<Measurement *> listedNow = measurements;
    m_dependencies.recalculate(
        listedNow,
        [this](Measurement *m) {
            if (isListed(m))
                emit measurementChanged(m);
        },
        &which);
    replot();
}

void MeasurementsManager::transformGeometry(const PlotTransform &transform, bool traceCurvesToo)
{
    if (!plot || transform.isIdentity())
        return;
    const auto onPlotAxes = [this](const QCPAxis *key, const QCPAxis *value) {
        return key == plot->xAxis && value == plot->yAxis;
    };
    const QList<QCPCurve *> curves = plot->curves();
    for (int i = traceCurvesToo ? 0 : traceCount; i < curves.size(); ++i) {
        QCPCurve *curve = curves.at(i);
        if (!curve || !onPlotAxes(curve->keyAxis(), curve->valueAxis()))
            continue;
        // In place: the points keep their order and parameter.
        for (auto it = curve->data()->begin(); it != curve->data()->end(); ++it) {
            const QPointF q = transform.map(QPointF(it->key, it->value));
            it->key = q.x();
            it->value = q.y();
        }
    }
    for (int i = 0; i < plot->itemCount(); ++i) {
        const QList<QCPItemPosition *> positions = plot->item(i)->positions();
        for (QCPItemPosition *position : positions) {
            if (position->typeX() != QCPItemPosition::ptPlotCoords
                || position->typeY() != QCPItemPosition::ptPlotCoords || position->parentAnchorX()
                || position->parentAnchorY()
                || !onPlotAxes(position->keyAxis(), position->valueAxis()))
                continue;
            position->setCoords(transform.map(position->coords()));
        }
    }
    std::list<Measurement *> moving = measurements;
    if (current && !isListed(current))
        moving.push_back(current);
    for (Measurement *m : moving)
        m->followTransform(transform);
}

bool MeasurementsManager::isListed(const Measurement *m) const
{
    return std::find(measurements.cbegin(), measurements.cend(), m) != measurements.cend();
}

void MeasurementsManager::dropCurrent()
{
    Measurement *m = current;
    current = nullptr;
    if (!m)
        return;
    const bool wasListed = isListed(m);
    emit deleteMeasurement(m);
    // The window answers by removing a listed measurement; whatever is left is not to react to
    // the plot any more.
    if (!wasListed)
        destroy(m);
    else if (isListed(m))
        removeMeasurement(m->id());
}

void MeasurementsManager::releaseCurrent()
{
    if (current && !isListed(current))
        destroy(current);
    current = nullptr;
}

void MeasurementsManager::destroy(Measurement *m)
{
    m_dependencies.forget({m});
    delete m;
}

void MeasurementsManager::replot()
{
    if (plot)
        plot->replot(QCustomPlot::rpQueuedReplot);
}
