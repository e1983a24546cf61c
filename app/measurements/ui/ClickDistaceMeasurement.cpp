#include "measurements/ui/ClickDistaceMeasurement.h"

#include "core/Constants.h"
#include "measurements/MeanDiameterFit.h"
#include "measurements/ui/MeasurementFactory.h"
#include "measurements/ui/ReperPoint.h"
#include "plot/Plot.h"
#include "processing/Fitting.h"

#include <QMouseEvent>

#include <cmath>

namespace {

const QString kGroupText = QStringLiteral("Доп геометрия Линии");

} // namespace

// ---------------------------------------------------------------------------------------------
// ClickDistaceMeasurement

ClickDistaceMeasurement::ClickDistaceMeasurement(int type, Plot *plot, const QString &name)
    : Measurement(type, plot, 0)
    , coefficients {0.0, 0.0}
    , displayName(name)
{
    line = new QCPItemStraightLine(plot);
    line->setPen(kItemPen);
    // Hidden until a kind places it: a line through two equal points has no direction.
    line->setVisible(false);
    primary = false;
}

ClickDistaceMeasurement::~ClickDistaceMeasurement()
{
    if (plot())
        plot()->removeItem(line);
}

QString ClickDistaceMeasurement::groupName() const
{
    return kGroupText;
}

void ClickDistaceMeasurement::updateSelectionMarker()
{
    if (plot())
        plot()->setSelectionMarkerVisible(true);
}

void ClickDistaceMeasurement::setSelected(bool selected)
{
    line->setPen(selected ? kSelectedItemPen : kItemPen);
}

void ClickDistaceMeasurement::setLinePoints(const QVector2D &first, const QVector2D &second)
{
    line->point1->setCoords(first.x(), first.y());
    line->point2->setCoords(second.x(), second.y());
    line->setVisible(true);
}

std::optional<CurvePointRef> ClickDistaceMeasurement::markerPoint() const
{
    Plot *p = plot();
    if (!p || !p->markerCurve() || p->markerDataIndex() < 0
        || p->markerDataIndex() >= p->markerCurve()->dataCount())
        return std::nullopt;
    CurvePointRef ref;
    ref.index = p->markerDataIndex();
    ref.curve = p->markerCurve();
    return ref;
}

bool ClickDistaceMeasurement::isLeftRelease(const QMouseEvent *event)
{
    return event && event->button() == Qt::LeftButton;
}

bool ClickDistaceMeasurement::takeClick(const QMouseEvent *event,
                                        std::optional<CurvePointRef> *point) const
{
    if (!isLeftRelease(event))
        return false;
    const std::optional<CurvePointRef> marker = markerPoint();
    if (!marker)
        return false;
    *point = marker;
    return true;
}

void ClickDistaceMeasurement::complete()
{
    calculate();
    finish();
    emit measumentFinished();
}

// ---------------------------------------------------------------------------------------------
// ClickHorizontalLine

ClickHorizontalLine::ClickHorizontalLine(Plot *plot)
    : ClickDistaceMeasurement(CLICK_HORIZONTAL_LINE, plot, QStringLiteral("Горизонтальная прямая"))
{
    addConnection(QObject::connect(plot, &QCustomPlot::mouseRelease, this,
                                   [this](QMouseEvent *e) { onPlotMouseRelease(e); }));
}

ClickHorizontalLine::ClickHorizontalLine(Plot *plot, const QVector<double> &coeffs)
    : ClickDistaceMeasurement(CLICK_HORIZONTAL_LINE, plot, QStringLiteral("Горизонтальная прямая"))
{
    moveLine(coeffs);
    complete();
}

bool ClickHorizontalLine::moveLine(const QVector<double> &coeffs)
{
    // A line through a clicked point follows its point.
    if (firstPoint)
        return false;
    coefficients = {0.0, coeffs.value(1)};
    setLinePoints(QVector2D(0, coefficients[1]), QVector2D(1, coefficients[1]));
    return true;
}

QVector<CurvePointRef> ClickHorizontalLine::pickedPoints() const
{
    return firstPoint ? QVector<CurvePointRef> {*firstPoint} : QVector<CurvePointRef>();
}

void ClickHorizontalLine::onPlotMouseRelease(QMouseEvent *event)
{
    if (takeClick(event, &firstPoint))
        complete();
}

void ClickHorizontalLine::calculate()
{
    if (!firstPoint)
        return;
    const QPointF p = firstPoint->point();
    coefficients = {0.0, p.y()};
    setLinePoints(QVector2D(0, p.y()), QVector2D(1, p.y()));
}

// ---------------------------------------------------------------------------------------------
// ClickVerticalLine

ClickVerticalLine::ClickVerticalLine(Plot *plot)
    : ClickDistaceMeasurement(CLICK_VERTICAL_LINE, plot, QStringLiteral("Вертикальная прямая"))
{
    addConnection(QObject::connect(plot, &QCustomPlot::mouseRelease, this,
                                   [this](QMouseEvent *e) { onPlotMouseRelease(e); }));
}

ClickVerticalLine::ClickVerticalLine(Plot *plot, const QVector<double> &coeffs)
    : ClickDistaceMeasurement(CLICK_VERTICAL_LINE, plot, QStringLiteral("Вертикальная прямая"))
{
    moveLine(coeffs);
    complete();
}

bool ClickVerticalLine::moveLine(const QVector<double> &coeffs)
{
    if (firstPoint)
        return false;
    coefficients = {0.0, coeffs.value(1)};
    setLinePoints(QVector2D(coefficients[1], -1e6), QVector2D(coefficients[1], 1e6));
    return true;
}

QVector<CurvePointRef> ClickVerticalLine::pickedPoints() const
{
    return firstPoint ? QVector<CurvePointRef> {*firstPoint} : QVector<CurvePointRef>();
}

void ClickVerticalLine::onPlotMouseRelease(QMouseEvent *event)
{
    if (takeClick(event, &firstPoint))
        complete();
}

void ClickVerticalLine::calculate()
{
    if (!firstPoint)
        return;
    const QPointF p = firstPoint->point();
    coefficients = {0.0, p.x()};
    setLinePoints(QVector2D(p.x(), 0), QVector2D(p.x(), 1));
}

// ---------------------------------------------------------------------------------------------
// ClickDoubleLine

QString ClickDoubleLine::differentXText()
{
    return QStringLiteral("Точки должны различаться по X");
}

ClickDoubleLine::ClickDoubleLine(Plot *plot)
    : ClickDistaceMeasurement(CLICK_DOUBLE_LINE, plot, QStringLiteral("Прямая по двум точкам"))
{
    addConnection(QObject::connect(plot, &QCustomPlot::mouseMove, this,
                                   [this](QMouseEvent *) { followMarker(); }));
    addConnection(QObject::connect(plot, &QCustomPlot::mouseRelease, this,
                                   [this](QMouseEvent *e) { onPlotMouseRelease(e); }));
}

ClickDoubleLine::ClickDoubleLine(Plot *plot, const QVector<double> &coeffs)
    : ClickDistaceMeasurement(CLICK_DOUBLE_LINE, plot, QStringLiteral("Прямая по двум точкам"))
{
    moveLine(coeffs);
    complete();
}

bool ClickDoubleLine::moveLine(const QVector<double> &coeffs)
{
    if (firstPoint || secondPoint)
        return false;
    coefficients = {coeffs.value(0), coeffs.value(1)};
    // The line y = a·x + b through its points at x = 0 and x = 1: no curve is needed.
    setLinePoints(QVector2D(0, coefficients[1]), QVector2D(1, coefficients[0] + coefficients[1]));
    return true;
}

QVector<CurvePointRef> ClickDoubleLine::pickedPoints() const
{
    QVector<CurvePointRef> points;
    for (const std::optional<CurvePointRef> &p : {firstPoint, secondPoint}) {
        if (p)
            points.append(*p);
    }
    return points;
}

bool ClickDoubleLine::fitLine()
{
    if (clickCount != 1 || !firstPoint || !secondPoint)
        return false;
    const QPointF a = firstPoint->point();
    const QPointF b = secondPoint->point();
    const Algos::RMS fit(QVector<double> {a.x(), b.x()}, QVector<double> {a.y(), b.y()});
    if (!fit.isValid())
        return false;
    setLinePoints(QVector2D(0, fit.value(0)), QVector2D(1, fit.value(1)));
    return true;
}

void ClickDoubleLine::followMarker()
{
    const std::optional<CurvePointRef> point = markerPoint();
    if (!point)
        return;
    secondPoint = point;
    fitLine();
}

void ClickDoubleLine::onPlotMouseRelease(QMouseEvent *event)
{
    if (!isLeftRelease(event))
        return;
    const std::optional<CurvePointRef> point = markerPoint();
    if (!point)
        return;
    if (clickCount == 1) {
        // Two points above each other give no line of the form y = a·x + b.
        if (point->point().x() == firstPoint->point().x()) {
            emit statusText(differentXText());
            return;
        }
        secondPoint = point;
        calculate();
        finish();
        emit measumentFinished();
        return;
    }
    firstPoint = point;
    ++clickCount;
}

void ClickDoubleLine::calculate()
{
    if (!firstPoint || !secondPoint)
        return;
    const QPointF a = firstPoint->point();
    const QPointF b = secondPoint->point();
    const Algos::RMS fit(QVector<double> {a.x(), b.x()}, QVector<double> {a.y(), b.y()});
    if (!fit.isValid())
        return;
    coefficients = {fit.coefficient(1), fit.coefficient(0)};
    fitLine();
}

// ---------------------------------------------------------------------------------------------
// ClickPoint

ClickPoint::ClickPoint(Plot *plot)
    : ClickDistaceMeasurement(CLICK_POINT, plot, QStringLiteral("Точка на трассе"))
{
    createReperPoints(1);
    addConnection(QObject::connect(plot, &QCustomPlot::mouseMove, this,
                                   [this](QMouseEvent *) { followMarker(); }));
    addConnection(QObject::connect(plot, &QCustomPlot::mouseRelease, this,
                                   [this](QMouseEvent *e) { onPlotMouseRelease(e); }));
}

void ClickPoint::followMarker()
{
    const std::optional<CurvePointRef> point = markerPoint();
    if (!point)
        return;
    firstPoint = point;
    setReperPoint(0, firstPoint->point());
}

void ClickPoint::onPlotMouseRelease(QMouseEvent *event)
{
    if (takeClick(event, &firstPoint))
        complete();
}

QVector<CurvePointRef> ClickPoint::pickedPoints() const
{
    return firstPoint ? QVector<CurvePointRef> {*firstPoint} : QVector<CurvePointRef>();
}

void ClickPoint::calculate()
{
    if (firstPoint)
        setReperPoint(0, firstPoint->point());
}

// ---------------------------------------------------------------------------------------------
// MiddlePoint

MiddlePoint::MiddlePoint(Plot *plot)
    : ClickDistaceMeasurement(MIDDLE_POINT, plot, QStringLiteral("Средняя точка"))
{
    createReperPoints(1);
    addConnection(QObject::connect(plot, &QCustomPlot::mouseRelease, this,
                                   [this](QMouseEvent *e) { onPlotMouseRelease(e); }));
}

void MiddlePoint::onPlotMouseRelease(QMouseEvent *event)
{
    if (!isLeftRelease(event))
        return;
    const std::optional<CurvePointRef> point = markerPoint();
    if (!point)
        return;
    if (clickCount == 1) {
        secondPoint = point;
        calculate();
        finish();
        enableReperPointSnapping();
        emit measumentFinished();
        return;
    }
    ++clickCount;
    firstPoint = point;
    emit statusText(QStringLiteral("Укажите вторую точку"));
}

QVector<CurvePointRef> MiddlePoint::pickedPoints() const
{
    QVector<CurvePointRef> points;
    for (const std::optional<CurvePointRef> &p : {firstPoint, secondPoint}) {
        if (p)
            points.append(*p);
    }
    return points;
}

void MiddlePoint::calculate()
{
    if (!firstPoint || !secondPoint)
        return;
    setReperPoint(0, (firstPoint->point() + secondPoint->point()) / 2.0);
}

// ---------------------------------------------------------------------------------------------
// Thread

QString Thread::noProfileText()
{
    return QStringLiteral("Укажите профиль резьбы");
}

QString Thread::tooFewCrossingsText()
{
    return QStringLiteral("Средняя линия пересекает профиль меньше трёх раз");
}

Thread::Thread(Plot *plot)
    : ClickDistaceMeasurement(THREAD, plot, QStringLiteral("Средний диаметр"))
{
    resultLine = new QCPItemLine(plot);
    resultLine->setVisible(false);
    addConnection(QObject::connect(plot, &QCustomPlot::mouseRelease, this,
                                   [this](QMouseEvent *e) { fitMeanDiameter(e); }));
}

Thread::~Thread()
{
    if (plot())
        plot()->removeItem(resultLine);
}

void Thread::followTransform(const PlotTransform &transform)
{
    ClickDistaceMeasurement::followTransform(transform);
    if (!isFinished() || !resultLine->visible())
        return;
    const QPointF a = resultLine->start->coords();
    const QPointF b = resultLine->end->coords();
    if (!(b.x() != a.x()))
        return;
    const double slope = (b.y() - a.y()) / (b.x() - a.x());
    coefficients = {slope, a.y() - slope * a.x()};
}

void Thread::fitMeanDiameter(QMouseEvent *event)
{
    if (!isLeftRelease(event))
        return;
    QCPCurve *curve = plot() ? plot()->markerCurve() : nullptr;
    if (!curve) {
        emit statusText(noProfileText());
        return;
    }
    QVector<QPointF> points;
    points.reserve(curve->dataCount());
    for (auto it = curve->data()->constBegin(); it != curve->data()->constEnd(); ++it)
        points.append(QPointF(it->key, it->value));
    MeanDiameterFit fit(points);
    switch (fit.fit()) {
    case MeanDiameterFit::TooFewPoints:
        emit statusText(noProfileText());
        return;
    case MeanDiameterFit::TooFewCrossings:
        emit statusText(tooFewCrossingsText());
        return;
    case MeanDiameterFit::Fitted:
        break;
    }
    coefficients = {fit.slope(), fit.intercept()};
    resultLine->start->setCoords(fit.xMin(), fit.valueAt(fit.xMin()));
    resultLine->end->setCoords(fit.xMax(), fit.valueAt(fit.xMax()));
    resultLine->setVisible(true);
    finish();
    emit measumentFinished();
}

// ---------------------------------------------------------------------------------------------
// Creators

template<>
Measurement *createMeasurementKind<CLICK_HORIZONTAL_LINE>(const MeasurementArgs &args)
{
    if (!args.coefficients.isEmpty())
        return new ClickHorizontalLine(args.plot, args.coefficients);
    return new ClickHorizontalLine(args.plot);
}

template<>
Measurement *createMeasurementKind<CLICK_VERTICAL_LINE>(const MeasurementArgs &args)
{
    if (!args.coefficients.isEmpty())
        return new ClickVerticalLine(args.plot, args.coefficients);
    return new ClickVerticalLine(args.plot);
}

template<>
Measurement *createMeasurementKind<CLICK_DOUBLE_LINE>(const MeasurementArgs &args)
{
    if (!args.coefficients.isEmpty())
        return new ClickDoubleLine(args.plot, args.coefficients);
    return new ClickDoubleLine(args.plot);
}

template<>
Measurement *createMeasurementKind<CLICK_POINT>(const MeasurementArgs &args)
{
    return new ClickPoint(args.plot);
}

template<>
Measurement *createMeasurementKind<MIDDLE_POINT>(const MeasurementArgs &args)
{
    return new MiddlePoint(args.plot);
}

template<>
Measurement *createMeasurementKind<THREAD>(const MeasurementArgs &args)
{
    return new Thread(args.plot);
}
