#include "measurements/ui/Measurement.h"

#include "core/DisplayUnits.h"
#include "core/Settings.h"
#include "measurements/ui/ReperPoint.h"
#include "plot/Plot.h"

#include <QMouseEvent>

#include <algorithm>
#include <cmath>

int Measurement::idCounter = 0;
int Measurement::liveCounter = 0;

namespace {

double unitsPerMillimetre()
{
    return unitsPerMillimetreOf(Settings::instance()->view.axis_unit);
}

} // namespace

Measurement::Measurement(int type, Plot *plot, int reperPointCount)
    : m_plot(plot)
    , m_id(++idCounter)
    , m_type(type)
{
    ++liveCounter;
    if (plot)
        connections.append(connect(plot, &QCustomPlot::mouseMove, this,
                                   [this](QMouseEvent *event) { onPlotMouseMove(event); }));
    createReperPoints(reperPointCount);
}

Measurement::~Measurement()
{
    disconnectAll();
    --liveCounter;
    for (ReperPoint *point : qAsConst(reperPoints)) {
        emit reperPointRemoved(point);
        delete point;
    }
    reperPoints.clear();
}

QPointF Measurement::cursorPosition() const
{
    const double factor = unitsPerMillimetre();
    return QPointF(cursorPos.x() * factor, cursorPos.y() * factor);
}

MeasurementSelection *Measurement::selection(quint64 index)
{
    if (index >= quint64(selections.size()))
        return nullptr;
    return &selections[int(index)];
}

void Measurement::addSelection(int begin, int end, QCPCurve *curve)
{
    const MeasurementSelection record {quint64(std::max(begin, 0)), quint64(std::max(end, 0)),
                                       curve};
    if (currentSelection >= quint64(selections.size()))
        selections.append(record);
    else
        selections[int(currentSelection)] = record;
}

void Measurement::nextSelection()
{
    const MeasurementSelection *current = selection(currentSelection);
    if (!current || !current->curve || current->end <= current->begin)
        return;
    ++currentSelection;
    selections.append(MeasurementSelection());
}

bool Measurement::allSelected() const
{
    if (selections.isEmpty())
        return false;
    return std::all_of(selections.cbegin(), selections.cend(),
                       [](const MeasurementSelection &s) { return s.curve != nullptr; });
}

bool Measurement::selectionData(int index, QCPCurveDataContainer::const_iterator *begin,
                                QCPCurveDataContainer::const_iterator *end) const
{
    if (index < 0 || index >= selections.size())
        return false;
    const MeasurementSelection &s = selections.at(index);
    if (!s.curve)
        return false;
    const QSharedPointer<QCPCurveDataContainer> data = s.curve->data();
    const quint64 n = quint64(data->size());
    const quint64 first = std::min(s.begin, n);
    const quint64 last = std::min(s.end, n);
    if (last <= first)
        return false;
    *begin = data->constBegin() + int(first);
    *end = data->constBegin() + int(last);
    return true;
}

bool Measurement::selectionsUnchanged() const
{
    if (!cursorRecalculation || !remembered || rememberedSelections.size() != selections.size())
        return false;
    for (int i = 0; i < selections.size(); ++i) {
        const MeasurementSelection &a = selections.at(i);
        const MeasurementSelection &b = rememberedSelections.at(i);
        if (a.begin != b.begin || a.end != b.end || a.curve != b.curve)
            return false;
    }
    return true;
}

void Measurement::rememberSelections()
{
    rememberedSelections = selections;
    remembered = true;
}

void Measurement::addConnection(const QMetaObject::Connection &connection)
{
    connections.append(connection);
}

void Measurement::disconnectAll()
{
    for (const QMetaObject::Connection &c : qAsConst(connections))
        QObject::disconnect(c);
}

void Measurement::finish()
{
    finished = true;
    for (ReperPoint *point : qAsConst(reperPoints))
        point->setOwnerFinished(true);
    disconnectAll();
    setSelected(false);
    if (m_plot)
        m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void Measurement::createReperPoints(int count)
{
    for (int i = 0; i < count; ++i) {
        auto *point = new ReperPoint(m_plot, this);
        point->setOwnerFinished(finished);
        reperPoints.append(point);
    }
}

void Measurement::setReperPoint(int index, const QPointF &pos)
{
    ReperPoint *point = reperPoints.at(index);
    point->moveTo(pos);
    point->setMarkerVisible(std::isfinite(pos.x()) && std::isfinite(pos.y()));
    emit reperPointChanged(point);
}

void Measurement::removeLastReperPoint()
{
    ReperPoint *point = reperPoints.takeLast();
    point->setMarkerVisible(false);
    emit reperPointRemoved(point);
    delete point;
}

void Measurement::removeReperPoint(ReperPoint *point)
{
    if (!reperPoints.removeOne(point))
        return;
    point->setMarkerVisible(false);
    emit reperPointRemoved(point);
    delete point;
}

void Measurement::enableReperPointSnapping()
{
    for (ReperPoint *point : qAsConst(reperPoints))
        point->enableSnapping();
}

void Measurement::disableReperPointSnapping()
{
    for (ReperPoint *point : qAsConst(reperPoints))
        point->disableSnapping();
}

bool Measurement::constructionCircle(QPointF *, double *) const
{
    return false;
}

QVector<double> Measurement::lineCoefficients() const
{
    return {};
}

QString Measurement::displayUnitText()
{
    return unitSuffixOf(Settings::instance()->view.axis_unit);
}

QFont Measurement::valueLabelFont(bool large)
{
    return QFont(QStringLiteral("MS Shell Dlg 2"), large ? 20 : 8);
}

void Measurement::followTransform(const PlotTransform &transform)
{
    // The cursor is kept in millimetres; the transform works in the display unit, which is the
    // new one after a change of unit.
    if (!(transform.scale > 0.0))
        return;
    const double now = unitsPerMillimetre();
    const double before = now / transform.scale;
    const QPointF mapped = transform.map(cursorPos * before);
    cursorPos = mapped / now;
}

QVector<CurvePointRef> Measurement::pickedPoints() const
{
    return {};
}

bool Measurement::moveLine(const QVector<double> &)
{
    return false;
}

const DxfDrawing *Measurement::comparisonDrawing() const
{
    return nullptr;
}

bool Measurement::measuresAgainstDrawing() const
{
    return false;
}

void Measurement::announce() { }

void Measurement::updateSelectionMarker() { }

void Measurement::updateUnits() { }

double Measurement::nominalValue() const
{
    return 0.0;
}

double Measurement::tolerance() const
{
    return 1.0;
}

void Measurement::onSegmentSelected(QCPDataRange range, QCPCurve *curve)
{
    if (!curve)
        return;
    addSelection(range.begin(), range.end(), curve);
}

void Measurement::onPlotMouseMove(QMouseEvent *event)
{
    if (!m_plot)
        return;
    const QPoint pixel = event->pos();
    // Plot coordinates carry single precision.
    const double x = double(float(m_plot->xAxis->pixelToCoord(pixel.x())));
    const double y = double(float(m_plot->yAxis->pixelToCoord(pixel.y())));
    const double factor = unitsPerMillimetre();
    cursorPos = QPointF(x / factor, y / factor);
    cursorRecalculation = true;
    calculate();
    cursorRecalculation = false;
    // Queued: whatever else this mouse move changes is drawn by the same one replot.
    m_plot->replot(QCustomPlot::rpQueuedReplot);
    emit measumentChanged();
}
