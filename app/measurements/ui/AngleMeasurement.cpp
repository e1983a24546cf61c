#include "measurements/ui/AngleMeasurement.h"

#include "core/Constants.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "measurements/KindGeometry.h"
#include "measurements/ui/MeasurementFactory.h"
#include "plot/Plot.h"
#include "plot/QCPItemArc.h"

#include <QMouseEvent>

#include <cmath>

namespace {

void logInfo(const QString &text)
{
    logger.log(INFO, text.toStdString());
}

QPointF unit(const QPointF &v)
{
    const double l = std::hypot(v.x(), v.y());
    return l > 0.0 ? v / l : v;
}

// Degrees in (-180, 180].
double normalisedTurn(double degrees)
{
    double d = std::fmod(degrees, 360.0);
    if (d > 180.0)
        d -= 360.0;
    else if (d <= -180.0)
        d += 360.0;
    return d;
}

} // namespace

AngleMeasurement::AngleMeasurement(int type, Plot *plot, const QString &name, int segments)
    : Measurement(type, plot, 1)
    , items(plot, KindItems::LabelLayout::DesignationFirst)
    , displayName(name)
{
    firstLine = items.addMark<QCPItemLine>();
    secondLine = items.addMark<QCPItemLine>();
    arc = items.addMark<QCPItemArc>();
    label = items.addLabel();
    setItemsVisible(false);
    setSelected(true);
    if (plot) {
        addConnection(
            connect(plot, &QCustomPlot::mouseRelease, this,
                    [this, segments](QMouseEvent *event) { onPlotMouseRelease(event, segments); }));
    }
    anglesInDegrees = Settings::instance()->view.angles_in_deg;
}

AngleMeasurement::~AngleMeasurement()
{
    logInfo(displayName + QStringLiteral(" delete with value: ") + valueText());
}

QString AngleMeasurement::name() const
{
    return displayName;
}

QString AngleMeasurement::valueText() const
{
    if (selectionCount() == 0 || !known)
        return kUnknownText;
    if (anglesInDegrees)
        return QString::number(angle, 'f', 4) + QStringLiteral("°");
    return degreesMinutesSeconds(angle);
}

double AngleMeasurement::value() const
{
    return selectionCount() > 0 && known ? angle : 0.0;
}

QString AngleMeasurement::groupName() const
{
    return QStringLiteral("Углы");
}

void AngleMeasurement::setLargeLabel(bool large)
{
    items.setLargeLabel(large);
}

void AngleMeasurement::updateLabel()
{
    items.showDesignation(labelText);
}

void AngleMeasurement::updateSelectionMarker()
{
    if (Plot *p = plot())
        p->setSelectionMarkerVisible(true);
}

void AngleMeasurement::setSelected(bool selected)
{
    items.setSelected(selected);
}

void AngleMeasurement::updateUnits()
{
    anglesInDegrees = Settings::instance()->view.angles_in_deg;
}

double AngleMeasurement::nominalValue() const
{
    return nearestValue(value(), {45.0, 90.0, 135.0, 180.0});
}

void AngleMeasurement::setItemsVisible(bool visible)
{
    items.setVisible(visible);
}

void AngleMeasurement::setLabel(const QString &text, const QPointF &position, double rotation,
                                int alignment)
{
    items.setLabel(text, labelText, position, rotation, alignment);
}

void AngleMeasurement::showUnknown()
{
    known = false;
    setItemsVisible(false);
}

bool AngleMeasurement::selectionLine(int index, LineRecord *line, QPointF *last) const
{
    QCPCurveDataContainer::const_iterator begin;
    QCPCurveDataContainer::const_iterator end;
    if (!selectionData(index, &begin, &end))
        return false;
    // A line needs two distinct points.
    bool distinct = false;
    for (auto it = begin + 1; it < end && !distinct; ++it)
        distinct = it->key != begin->key || it->value != begin->value;
    if (!distinct)
        return false;
    *line = fitLineThroughCentroids(begin, end);
    *last = QPointF((end - 1)->key, (end - 1)->value);
    return kind_detail::finitePoint(QPointF(line->x0, line->y0)) && kind_detail::finitePoint(*last);
}

void AngleMeasurement::placeArc(const QPointF &p, double r, const QPointF &first,
                                const QPointF &second)
{
    Plot *plt = plot();
    if (!arc || !plt)
        return;
    arc->topLeft->setCoords(p.x() - r, p.y() - r);
    arc->bottomRight->setCoords(p.x() + r, p.y() + r);
    // The arc is drawn on the ellipse that the circle of radius r becomes on the screen, and
    // its angles are those of that ellipse's parametrisation. They are taken from the pixel
    // positions of the ends on the two lines, so that the ends meet the lines whatever the
    // scales and directions of the axes.
    QCPAxis *xa = plt->xAxis;
    QCPAxis *ya = plt->yAxis;
    const double cx = xa->coordToPixel(p.x());
    const double cy = ya->coordToPixel(p.y());
    const double a = std::abs(xa->coordToPixel(p.x() + r) - cx);
    const double b = std::abs(ya->coordToPixel(p.y() + r) - cy);
    if (!(a > 0.0) || !(b > 0.0) || !std::isfinite(a) || !std::isfinite(b)) {
        arc->startAngle = 0;
        arc->spanAngle = 0;
        return;
    }
    const auto parametricAngle = [&](const QPointF &direction) {
        const QPointF end = p + direction * r;
        const double px = xa->coordToPixel(end.x()) - cx;
        const double py = ya->coordToPixel(end.y()) - cy;
        return std::atan2(-py / b, px / a) * 180.0 / M_PI;
    };
    const double start = parametricAngle(first);
    const double span = normalisedTurn(parametricAngle(second) - start);
    arc->startAngle = int(std::lround(start * 16.0));
    arc->spanAngle = int(std::lround(span * 16.0));
}

void AngleMeasurement::drawAngle(const QPointF &p, const QPointF &first, const QPointF &second)
{
    if (!kind_detail::finitePoint(p)) {
        showUnknown();
        return;
    }
    const MeasurementSelection *s0 = selections.isEmpty() ? nullptr : &selections.first();
    const QPointF c = s0 && s0->curve ? cursorPosition() : QPointF(0.0, 0.0);
    const double r = std::hypot(c.x() - p.x(), c.y() - p.y());
    setReperPoint(0, p);
    const AngleSector sector = angleSector(unit(first), unit(second), c - p);
    angle = sector.angle;
    known = std::isfinite(angle);
    if (!known) {
        showUnknown();
        return;
    }
    placeArc(p, r, sector.first, sector.second);
    setLabel(valueText(), c, 0.0, Qt::AlignHCenter | Qt::AlignBottom);
    if (firstLine) {
        firstLine->start->setCoords(p - sector.first * (0.2 * r));
        firstLine->end->setCoords(p + sector.first * (1.1 * r));
    }
    if (secondLine) {
        secondLine->start->setCoords(p - sector.second * (0.2 * r));
        secondLine->end->setCoords(p + sector.second * (1.1 * r));
    }
    setItemsVisible(true);
    emit statusText(displayName + QStringLiteral(": ") + valueText());
}

void AngleMeasurement::calculateAgainst(const QPointF &axis)
{
    if (selectionCount() < 1 || !allSelected())
        return;
    if (!selectionsUnchanged()) {
        if (!selectionLine(0, &fitted[0], &lastPoint)) {
            forgetSelections();
            showUnknown();
            return;
        }
        rememberSelections();
    }
    const LineRecord &l = fitted[0];
    const QPointF o(l.x0, l.y0);
    const QPointF d(double(l.dx), double(l.dy));
    const QPointF q = lastPoint - o;
    const QPointF vertex = o + d * QPointF::dotProduct(q, d);
    drawAngle(vertex, d, axis);
}

void AngleMeasurement::onPlotMouseRelease(QMouseEvent *event, int segments)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (!placingValue) {
        if (selectionCount() < segments) {
            nextSelection();
            return;
        }
        // A release without a drag leaves the last range empty: wait for it.
        if (!allSelected())
            return;
        calculate();
        // Parallel lines have no vertex: the second range must be dragged again.
        if (parallelLines) {
            emit statusText(QStringLiteral("Прямые параллельны"));
            return;
        }
        emit stopSelection();
        emit statusText(QStringLiteral("Расположите значение"));
        placingValue = true;
        if (Plot *p = plot()) {
            p->setSelectionMarkerVisible(false);
            p->replot(QCustomPlot::rpQueuedReplot);
        }
        return;
    }
    if (parallelLines) {
        emit statusText(QStringLiteral("Прямые параллельны"));
        return;
    }
    finish();
    emit statusText(displayName + QStringLiteral(": ") + valueText());
    emit measumentFinished();
    if (Plot *p = plot())
        p->setSelectionMarkerVisible(true);
    logInfo(QStringLiteral("Finish"));
    logInfo(QStringLiteral("Result - ") + displayName + QStringLiteral(": ") + valueText());
}

// ---- Kinds -----------------------------------------------------------------------------------

VerticalAngleMeasurement::VerticalAngleMeasurement(Plot *plot)
    : AngleMeasurement(VERTICAL_ANGLE, plot, QStringLiteral("Угол (В)"), 1)
{
    logInfo(QStringLiteral("VerticalAngleMeasurement started"));
}

void VerticalAngleMeasurement::calculate()
{
    calculateAgainst(QPointF(0.0, 1.0));
}

HorizontalAngleMeasurement::HorizontalAngleMeasurement(Plot *plot)
    : AngleMeasurement(HORIZONTAL_ANGLE, plot, QStringLiteral("Угол (Г)"), 1)
{
    logInfo(QStringLiteral("HorizontalAngleMeasurement started"));
}

void HorizontalAngleMeasurement::calculate()
{
    calculateAgainst(QPointF(1.0, 0.0));
}

RegularAngleMeasurement::RegularAngleMeasurement(Plot *plot)
    : AngleMeasurement(REGULAR_ANGLE, plot, QStringLiteral("Угол"), 2)
{
    logInfo(QStringLiteral("RegularAngleMeasurement started"));
}

void RegularAngleMeasurement::calculate()
{
    if (selectionCount() < 2 || !allSelected()) {
        emit statusText(QStringLiteral("Выделите два отрезка данных"));
        return;
    }
    if (!selectionsUnchanged()) {
        QPointF last;
        if (!selectionLine(0, &fitted[0], &last) || !selectionLine(1, &fitted[1], &last)) {
            parallelLines = false;
            forgetSelections();
            showUnknown();
            return;
        }
        rememberSelections();
    }
    const QPointF vertex = intersectLines(fitted[0], fitted[1]);
    parallelLines = !kind_detail::finitePoint(vertex);
    if (parallelLines) {
        showUnknown();
        emit statusText(QStringLiteral("Прямые параллельны"));
        return;
    }
    drawAngle(vertex, QPointF(double(fitted[0].dx), double(fitted[0].dy)),
              QPointF(double(fitted[1].dx), double(fitted[1].dy)));
}

// ---- Creators --------------------------------------------------------------------------------

template<>
Measurement *createMeasurementKind<VERTICAL_ANGLE>(const MeasurementArgs &args)
{
    return new VerticalAngleMeasurement(args.plot);
}

template<>
Measurement *createMeasurementKind<HORIZONTAL_ANGLE>(const MeasurementArgs &args)
{
    return new HorizontalAngleMeasurement(args.plot);
}

template<>
Measurement *createMeasurementKind<REGULAR_ANGLE>(const MeasurementArgs &args)
{
    return new RegularAngleMeasurement(args.plot);
}
