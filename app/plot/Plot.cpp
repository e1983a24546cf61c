#include "plot/Plot.h"

#include <QChildEvent>

#include "plot/SuffixTicker.h"

#include <QDebug>
#include <QMultiMap>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kProjectInteractions = Plot::iKeepSelections | Plot::iRangeSelection;

// The plot drives the selection of other layerables through their protected selection
// handlers, as the library's own plot does (it is their friend, this subclass is not).
struct LayerableAccess : QCPLayerable
{
    static auto category() { return &LayerableAccess::selectionCategory; }
    static auto select() { return &LayerableAccess::selectEvent; }
    static auto deselect() { return &LayerableAccess::deselectEvent; }
};

QPoint clampedInto(const QPoint &pos, const QRect &rect)
{
    return QPoint(std::clamp(pos.x(), rect.left(), rect.right()),
                  std::clamp(pos.y(), rect.top(), rect.bottom()));
}

} // namespace

SelectionRect::SelectionRect(QCustomPlot *parentPlot)
    : QCPSelectionRect(parentPlot)
{ }

void SelectionRect::setRangeCurve(QCPCurve *curve, const QPoint &anchor)
{
    m_rangeCurve = curve;
    m_rangeAnchor = anchor;
    m_rangeBase = curve ? curve->selection() : QCPDataSelection();
}

void SelectionRect::startSelection(QMouseEvent *event)
{
    QCPSelectionRect::startSelection(event);
    m_rangeCurve = nullptr;
}

void SelectionRect::draw(QCPPainter *painter)
{
    if (m_rectVisible)
        QCPSelectionRect::draw(painter);
}

Plot::Plot(QWidget *parent)
    : QCustomPlot(parent)
{
    addLayer(QStringLiteral("overlay2"), layer(QStringLiteral("overlay")), limAbove);
    layer(QStringLiteral("overlay2"))->setMode(QCPLayer::lmBuffered);
    setCurrentLayer(QStringLiteral("main"));
    // A curve's line is stroked as one polyline: segment by segment, the two-pixel trace pens
    // cost three times as much on every replot.
    setPlottingHint(QCP::phFastPolylines, true);

    auto *rect = new SelectionRect(this);
    rect->setLayer(QStringLiteral("overlay"));
    setSelectionRect(rect);

    for (QCPAxis *axis : {xAxis, yAxis, xAxis2, yAxis2})
        axis->setTicker(QSharedPointer<SuffixTicker>(new SuffixTicker));

    // Curve data may have been edited in place since the last picture; the hit-test index is
    // rebuilt from the data that the new picture shows.
    connect(this, &QCustomPlot::beforeReplot, this, [this] { m_hitTester.invalidate(); });
}

Plot::~Plot()
{
    // The curves leave before the plot's own members go, so nothing refers to a dead registry.
    clearPlottables();
}

int Plot::interactionFlags() const
{
    return int(QCustomPlot::interactions()) | m_projectInteractions;
}

bool Plot::testInteraction(int interaction) const
{
    return interaction != 0 && (interactionFlags() & interaction) == interaction;
}

void Plot::setInteractions(int interactions)
{
    applyInteractions(interactions);
}

void Plot::setInteraction(int interaction, bool enabled)
{
    applyInteractions(enabled ? interactionFlags() | interaction
                              : interactionFlags() & ~interaction);
}

void Plot::applyInteractions(int interactions)
{
    m_projectInteractions = interactions & kProjectInteractions;
    QCustomPlot::setInteractions(QCP::Interactions(QFlag(interactions & ~kProjectInteractions)));
    if (m_projectInteractions & iRangeSelection)
        createSelectionMarker();
    else
        deleteSelectionMarker();
}

void Plot::connectRealtime(bool on)
{
    QCPSelectionRect *rect = selectionRect();
    if (!rect)
        return;
    if (on) {
        connect(rect, &QCPSelectionRect::accepted, this, &Plot::processRectSelection,
                Qt::UniqueConnection);
        connect(rect, &QCPSelectionRect::changed, this, &Plot::processRectSelection,
                Qt::UniqueConnection);
    } else {
        disconnect(rect, &QCPSelectionRect::accepted, this, &Plot::processRectSelection);
        disconnect(rect, &QCPSelectionRect::changed, this, &Plot::processRectSelection);
    }
}

void Plot::setSelectionRectMode(QCP::SelectionRectMode mode)
{
    // The library connects and disconnects its own modes; the real-time mode is the library's
    // custom mode, for which it connects nothing, so its two connections are made here.
    if (selectionRectMode() == srmSelectRealtime)
        connectRealtime(false);
    QCustomPlot::setSelectionRectMode(mode);
    if (mode == srmSelectRealtime)
        connectRealtime(true);
}

void Plot::setSelectionRect(SelectionRect *rect)
{
    QCustomPlot::setSelectionRect(rect);
    if (selectionRectMode() == srmSelectRealtime)
        connectRealtime(true);
    if (rect)
        rect->setRectVisible(!m_marker);
}

SelectionRect *Plot::rangeSelectionRect() const
{
    return qobject_cast<SelectionRect *>(selectionRect());
}

void Plot::childEvent(QChildEvent *event)
{
    if (event->added() || event->removed())
        m_curvesValid = false;
    // The curve the marker rests on has gone: the marker would point at nothing.
    if (event->removed() && m_marker && m_markerPlaced && !m_markerCurve) {
        m_markerPlaced = false;
        m_marker->setVisible(false);
    }
    QCustomPlot::childEvent(event);
}

const QList<QCPCurve *> &Plot::curveList() const
{
    if (!m_curvesValid || m_curvesFromPlottables != mPlottables.size()) {
        m_curves.clear();
        for (QCPAbstractPlottable *plottable : mPlottables) {
            if (auto *c = qobject_cast<QCPCurve *>(plottable))
                m_curves.append(c);
        }
        m_curvesValid = true;
        m_curvesFromPlottables = mPlottables.size();
    }
    return m_curves;
}

QList<QCPCurve *> Plot::curves() const
{
    return curveList();
}

QCPCurve *Plot::curve(int index) const
{
    const QList<QCPCurve *> &all = curveList();
    if (index >= 0 && index < all.size())
        return all.at(index);
    qDebug() << "QCPCurve* QCustomPlot::curve(int) const"
             << "index out of bounds:" << index;
    return nullptr;
}

int Plot::curveCount() const
{
    return curveList().size();
}

void Plot::createSelectionMarker()
{
    if (m_marker)
        return;
    auto *marker = new QCPItemLine(this);
    marker->setLayer(QStringLiteral("overlay2"));
    marker->setSelectable(false);
    marker->setPen(QPen(QBrush(Qt::gray), 1.0, Qt::DashDotLine, Qt::SquareCap, Qt::BevelJoin));
    marker->setHead(QCPLineEnding(QCPLineEnding::esLineArrow, 8.0, 10.0, false));
    // Its ends lie nowhere yet: it shows at its first snap.
    marker->setVisible(false);
    m_markerPlaced = false;
    m_markerWanted = true;
    m_marker = marker;
    replot();
    qDebug() << "created selection marker";
    if (SelectionRect *rect = rangeSelectionRect())
        rect->setRectVisible(false);
}

void Plot::deleteSelectionMarker()
{
    if (!m_marker)
        return;
    removeItem(m_marker);
    m_marker = nullptr;
    replot();
    qDebug() << "deleted selection marker";
    if (SelectionRect *rect = rangeSelectionRect())
        rect->setRectVisible(true);
}

void Plot::setSelectionMarkerVisible(bool visible)
{
    m_markerWanted = visible;
    if (m_marker)
        m_marker->setVisible(visible && m_markerPlaced);
}

CurveHitTester::Hit Plot::curveHitTest(const QCPCurve *curve, const QPointF &pos)
{
    return m_hitTester.hitTest(curve, pos);
}

QCPCurve *Plot::nearestCurve(const QPointF &pos, int *dataIndex)
{
    // The best distance is kept as a whole number: a later curve wins only when it is nearer
    // than the truncated best, so on a tie the curve created first stays the target.
    QCPCurve *best = nullptr;
    double bestDistance = 0.0;
    for (QCPCurve *c : curves()) {
        if (c->selectable() == QCP::stNone)
            continue;
        const CurveHitTester::Hit hit = m_hitTester.hitTest(c, pos);
        if (!(hit.distance >= 0.0))
            continue;
        if (!best || hit.distance < bestDistance) {
            best = c;
            bestDistance = std::trunc(hit.distance);
            *dataIndex = hit.index;
        }
    }
    return best;
}

void Plot::snapMarker(const QPointF &pos)
{
    int index = -1;
    QCPCurve *target = nearestCurve(pos, &index);
    if (!target)
        return;
    m_marker->start->setCoords(xAxis->pixelToCoord(pos.x()), yAxis->pixelToCoord(pos.y()));
    const QCPCurveData &point = *(target->data()->constBegin() + index);
    m_marker->end->setCoords(point.key, point.value);
    m_markerDataIndex = index;
    m_markerCurve = target;
    m_markerPlaced = true;
    m_marker->setVisible(m_markerWanted);
}

void Plot::mouseMoveEvent(QMouseEvent *event)
{
    QCustomPlot::mouseMoveEvent(event);
    if (testInteraction(iRangeSelection) && m_marker) {
        snapMarker(QPointF(event->pos()));
        if (QCPLayer *markerLayer = m_marker->layer())
            markerLayer->replot();
    }
}

void Plot::processRectSelection(QRect rect, QMouseEvent *event)
{
    using Candidate = QPair<QCPAbstractPlottable *, QCPDataSelection>;
    QMultiMap<int, Candidate> candidates;
    const QCP::Interactions libraryFlags = QCustomPlot::interactions();
    bool selectionChanged = false;

    if (libraryFlags.testFlag(QCP::iSelectPlottables)) {
        bool haveAxisRect = false;
        bool additive = event->modifiers().testFlag(multiSelectModifier());
        if (testInteraction(iRangeSelection)) {
            SelectionRect *srect = rangeSelectionRect();
            if (!srect)
                return;
            if (!srect->rangeCurve()) {
                // The curve is looked for below the drag's start, at the pointer's height.
                int index = -1;
                if (QCPCurve *c = nearestCurve(QPointF(rect.left(), rect.bottom()), &index))
                    srect->setRangeCurve(c, event->pos());
            }
            QCPCurve *c = srect->rangeCurve();
            if (!c || !c->keyAxis())
                return;
            // Positions outside the curve's axis rect count at its edge, so a drag that leaves
            // the rect extends the range to the visible end instead of losing it.
            const QRect area = c->keyAxis()->axisRect()->rect();
            const int i1 = curveHitTest(c, clampedInto(srect->rangeAnchor(), area)).index;
            const int i2 = curveHitTest(c, clampedInto(event->pos(), area)).index;
            if (i1 < 0 || i2 < 0)
                return;
            QCPDataSelection range;
            if (i1 != i2)
                range.addDataRange(QCPDataRange(std::min(i1, i2), std::max(i1, i2)), false);
            candidates.insert(std::abs(i2 - i1), Candidate(c, range));
            haveAxisRect = true;
            // The range is applied again on every movement and on release. An additive select
            // would toggle it each time, so the drag's range is added once to the selection the
            // curve had when the drag met it, and that sum replaces the selection.
            if (additive) {
                candidates.begin().value().second = srect->rangeBase() + range;
                additive = false;
            }
        } else {
            const QRectF rectF(rect.normalized());
            if (QCPAxisRect *axisRect = axisRectAt(rectF.topLeft())) {
                haveAxisRect = true;
                for (QCPAbstractPlottable *plottable : axisRect->plottables()) {
                    if (QCPPlottableInterface1D *oneD = plottable->interface1D()) {
                        const QCPDataSelection found = oneD->selectTestRect(rectF, true);
                        if (!found.isEmpty())
                            candidates.insert(found.dataPointCount(), Candidate(plottable, found));
                    }
                }
            }
        }

        if (haveAxisRect) {
            if (!libraryFlags.testFlag(QCP::iMultiSelect) && candidates.size() > 1) {
                const auto last = std::prev(candidates.end());
                const Candidate keep = last.value();
                const int key = last.key();
                candidates.clear();
                candidates.insert(key, keep);
            }
            const auto category = LayerableAccess::category();
            if (!testInteraction(iKeepSelections)) {
                for (QCPLayer *l : qAsConst(mLayers)) {
                    for (QCPLayerable *layerable : l->children()) {
                        if ((candidates.isEmpty() || candidates.constBegin()->first != layerable)
                            && libraryFlags.testFlag((layerable->*category)())) {
                            bool changed = false;
                            (layerable->*LayerableAccess::deselect())(&changed);
                            selectionChanged |= changed;
                        }
                    }
                }
            }
            for (auto it = candidates.constEnd(); it != candidates.constBegin();) {
                --it;
                QCPLayerable *layerable = it.value().first;
                if (libraryFlags.testFlag((layerable->*category)())) {
                    bool changed = false;
                    (layerable->*LayerableAccess::select())(
                        event, additive, QVariant::fromValue(it.value().second), &changed);
                    selectionChanged |= changed;
                }
            }
        }
    }

    if (selectionChanged) {
        emit selectionChangedByUser();
        replot(rpQueuedReplot);
    } else if (selectionRect()) {
        selectionRect()->layer()->replot();
    }
}
