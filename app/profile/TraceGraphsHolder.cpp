#include "profile/TraceGraphsHolder.h"

#include "core/AbstractTrace.h"
#include "core/Constants.h"
#include "core/DisplayUnits.h"
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "core/SystemMemory.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "profile/XAxisMarker.h"

#include <QDebug>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent>
#include <cmath>
#include <memory>

namespace {

// Takes v into the extent [low, high]; an extent of NaN ends is empty, a NaN v is left out.
inline void widenExtent(double &low, double &high, double v)
{
    if (std::isnan(v))
        return;
    low = std::isnan(low) ? v : std::min(low, v);
    high = std::isnan(high) ? v : std::max(high, v);
}

// The RMS level lines.
const QPen kRedDotPen = QPen(QBrush(Qt::red), 1.0, Qt::DotLine);
// The level picked on the material-ratio plot.
const QPen kBlueDotPen = QPen(QBrush(Qt::blue), 1.0, Qt::DotLine);
const QColor kHistogramBrush(10, 140, 70, 160);

QCPItemStraightLine *makeLevelLine(Plot *plot, const QPen &pen)
{
    auto *line = new QCPItemStraightLine(plot);
    line->setPen(pen);
    line->setSelectable(false);
    line->setVisible(false);
    return line;
}

// A horizontal line at the height across the plot.
void placeLevelLine(QCPItemStraightLine *line, double height)
{
    line->point1->setCoords(0.0, height);
    line->point2->setCoords(0.01, height);
}

bool isProfileKind(const AbstractTrace *trace)
{
    return trace && ::isProfileKind(trace->type);
}

} // namespace

TraceGraphsHolder::TraceGraphsHolder(AbstractTrace *trace, Plot *plotMain, Plot *plotHist,
                                     Plot *plotRMR, bool shown)
    : QObject(nullptr)
    , trace(trace)
    , curve(nullptr)
    , histogramDensity(Settings::instance()->preferences.histogramm_density_value)
{
    m_plots = {plotMain, plotHist, plotRMR};
    if (shown)
        materialize();
}

void TraceGraphsHolder::materialize()
{
    if (materialized())
        return;
    Plot *plotMain = m_plots.value(0);
    Plot *plotHist = m_plots.value(1);
    Plot *plotRMR = m_plots.value(2);
    if (!plotMain || !plotHist || !plotRMR)
        return;

    m_histogramGraph = new QCPGraph(plotHist->yAxis, plotHist->xAxis);
    m_ratioGraph = new QCPGraph(plotRMR->yAxis, plotRMR->xAxis);
    curve = new AdaptiveCurve(plotMain->xAxis, plotMain->yAxis);
    // The points are written over in place (setCurveData); a container that gave back its room
    // whenever a redraw holds fewer points would copy them all into fresh memory.
    curve->data()->setAutoSqueeze(false);

    for (Plot *plot : {plotMain, plotHist, plotRMR}) {
        m_levelLines.append(makeLevelLine(plot, kRedDotPen));
        m_pickedLevelLines.append(makeLevelLine(plot, kBlueDotPen));
    }

    const QVariant self = QVariant::fromValue(this);
    m_ratioGraph->setProperty("gholder", self);
    m_histogramGraph->setProperty("gholder", self);
    curve->setProperty("gholder", self);

    m_leftMarker = new XAxisMarker(curve->keyAxis());
    m_rightMarker = new XAxisMarker(curve->keyAxis());
    m_leftMarker->label()->setPen(kReperPen);
    m_rightMarker->label()->setPen(kReperPen);

    connect(curve, SIGNAL(selectionChanged(const QCPDataSelection &)), this,
            SLOT(graphSelectionChanged(const QCPDataSelection &)));
    curve->setSelectable(QCP::stDataRange);

    // What the holder kept while it was not on the plots.
    applyPen();
    setPointsVisible(m_points);
    setCurveData(m_displayX, m_displayY);
    setLevelMode(m_levelMode);
    if (m_pickedLevelShown) {
        for (const auto &line : m_pickedLevelLines) {
            placeLevelLine(line, m_pickedLevel);
            line->setVisible(true);
        }
    }
}

TraceGraphsHolder::~TraceGraphsHolder()
{
    // What waited for the drawing need not wait any longer.
    if (m_pendingRebuild) {
        m_pendingRebuild.reset();
        emit rebuildSettled();
    }
    delete m_leftMarker;
    delete m_rightMarker;
    if (m_histogramGraph)
        m_histogramGraph->parentPlot()->removePlottable(m_histogramGraph);
    if (m_ratioGraph)
        m_ratioGraph->parentPlot()->removePlottable(m_ratioGraph);
    for (int i = 0; i < m_plots.size(); ++i) {
        for (QCPItemStraightLine *line :
             {m_pickedLevelLines.value(i).data(), m_levelLines.value(i).data()}) {
            if (line)
                line->parentPlot()->removeItem(line);
        }
    }
    if (QCustomPlot *plot = m_plots.value(0); plot && plot->hasPlottable(curve))
        plot->removePlottable(curve);
}

QVector<QCPItemStraightLine *> TraceGraphsHolder::levelLines() const
{
    QVector<QCPItemStraightLine *> lines;
    for (const auto &line : m_levelLines)
        lines.append(line);
    return lines;
}

QVector<QCPItemStraightLine *> TraceGraphsHolder::pickedLevelLines() const
{
    QVector<QCPItemStraightLine *> lines;
    for (const auto &line : m_pickedLevelLines)
        lines.append(line);
    return lines;
}

void TraceGraphsHolder::computeDrawing(Drawing &d, const TData &processed, double factor,
                                       bool showRLine, bool straighten, bool withPoints)
{
    const int n
        = processed.size() >= 2 ? std::min(processed.at(0).size(), processed.at(1).size()) : 0;
    // Fresh room of a long trace is offered large pages before it is first written.
    const auto makeRoom = [n](auto &vector) {
        if (vector.capacity() < n) {
            vector = std::remove_reference_t<decltype(vector)>();
            vector.reserve(n);
            adviseLargePages(vector.constData(), qint64(n) * qint64(sizeof(vector.at(0))));
        }
        vector.resize(n);
    };
    makeRoom(d.x);
    makeRoom(d.y);
    if (n > 0) {
        const double *px = processed.at(0).constData();
        const double *py = processed.at(1).constData();
        double *x = d.x.data();
        double *y = d.y.data();
        for (int i = 0; i < n; ++i) {
            x[i] = px[i] * factor;
            y[i] = py[i] * factor;
        }
    }
    d.rmsLevel = ProfileStatistics::rmsLevel(d.y);
    if (showRLine) {
        // Points that do not determine a parabola get no line and are not straightened.
        if (!ProfileStatistics::quadraticLine(d.x, d.y, &d.rLine))
            d.rLine.clear();
        else if (straighten)
            d.y = ProfileStatistics::straighten(d.y, d.rLine, d.rmsLevel);
    }
    d.ascending = ProfileStatistics::isAscending(d.x);
    d.heights = ProfileStatistics::heightExtremes(d.y);
    if (withPoints) {
        makeRoom(d.points);
        QCPCurveData *points = d.points.data();
        double kLow = qQNaN(), kHigh = qQNaN(), vLow = qQNaN(), vHigh = qQNaN();
        for (int i = 0; i < n; ++i) {
            const double kx = d.x.at(i);
            const double vy = d.y.at(i);
            points[i] = QCPCurveData(i, kx, vy);
            widenExtent(kLow, kHigh, kx);
            widenExtent(vLow, vHigh, vy);
        }
        d.keyExtent = QCPRange(kLow, kHigh);
        d.valueExtent = QCPRange(vLow, vHigh);
        // The curve strokes crowded columns from this summary (made here, not at the first
        // picture).
        d.summary = AdaptiveCurve::summarize(d.points);
    }
}

namespace {

// What a new drawing of a long trace replaces: its points on the curve and in the display unit.
struct Replaced
{
    QSharedPointer<QCPCurveDataContainer> points;
    QVector<double> x;
    QVector<double> y;
};

// Gives the replaced drawing's memory back beside the GUI thread: for 10^7 samples it is some
// 400 MB, whose unmapping alone would hold the thread for tens of milliseconds.
void releaseBeside(std::shared_ptr<Replaced> replaced)
{
    QtConcurrent::run(QThreadPool::globalInstance(), [replaced] {
        replaced->points.reset();
        replaced->x = QVector<double>();
        replaced->y = QVector<double>();
    });
}

} // namespace

void TraceGraphsHolder::applyDrawing(Drawing &drawing)
{
    const int n = std::min(drawing.x.size(), drawing.y.size());
    const bool made = drawing.points.size() == n && materialized();
    auto replaced = std::make_shared<Replaced>();
    if (made) {
        replaced->x = std::move(m_displayX);
        replaced->y = std::move(m_displayY);
    }
    m_displayX = std::move(drawing.x);
    m_displayY = std::move(drawing.y);
    m_rLine = std::move(drawing.rLine);
    m_rmsLevel = drawing.rmsLevel;
    setLevelMode(m_showRLine);
    m_displayAscending = drawing.ascending;
    m_displayHeights = drawing.heights;
    m_chunkX.clear();
    m_chunkY.clear();
    if (!made) {
        setCurveData(m_displayX, m_displayY);
        return;
    }
    // The points made beside the GUI thread become the curve's as they are.
    ++m_revision;
    auto points = QSharedPointer<QCPCurveDataContainer>::create();
    points->set(drawing.points, true);
    drawing.points = QVector<QCPCurveData>();
    replaced->points = curve->data();
    curve->setData(points);
    curve->adoptSummary(std::move(drawing.summary), m_revision);
    m_keyExtent = drawing.keyExtent;
    m_valueExtent = drawing.valueExtent;
    m_extentCount = n;
    releaseBeside(std::move(replaced));
}

struct TraceGraphsHolder::PendingRebuild
{
    QFuture<void> future;
    Drawing drawing;
    std::function<void()> done;
};

void TraceGraphsHolder::rebuild(bool showRLine, bool straighten)
{
    m_showRLine = showRLine;
    m_straighten = straighten;
    // A rebuild asked for later wins over one still being computed.
    const bool superseded = m_pendingRebuild != nullptr;
    m_pendingRebuild.reset();
    const TData *data = trace ? trace->processedData : nullptr;
    // The drawn points are written over the last ones where their room allows: a trace drawn
    // again then costs no fresh memory, whose first use is slow.
    Drawing drawing;
    drawing.x = std::move(m_displayX);
    drawing.y = std::move(m_displayY);
    computeDrawing(drawing, data ? *data : TData(), m_micrometreToDisplay, showRLine, straighten,
                   false);
    applyDrawing(drawing);
    if (superseded)
        emit rebuildSettled();
}

void TraceGraphsHolder::finishRebuild()
{
    const std::shared_ptr<PendingRebuild> pending = m_pendingRebuild;
    if (!pending)
        return;
    pending->future.waitForFinished();
    m_pendingRebuild.reset();
    applyDrawing(pending->drawing);
    emit rebuildSettled();
    if (pending->done)
        pending->done();
}

bool TraceGraphsHolder::rebuildsInBackground() const
{
    const TData *data = trace ? trace->processedData : nullptr;
    const int n = data && data->size() >= 2 ? std::min(data->at(0).size(), data->at(1).size()) : 0;
    return materialized() && n >= kBackgroundRebuildPoints;
}

void TraceGraphsHolder::rebuildInBackground(bool showRLine, bool straighten,
                                            const std::function<void()> &done)
{
    if (!rebuildsInBackground()) {
        rebuild(showRLine, straighten);
        if (done)
            done();
        return;
    }
    m_showRLine = showRLine;
    m_straighten = straighten;
    const TData data = *trace->processedData;
    auto pending = std::make_shared<PendingRebuild>();
    pending->done = done;
    m_pendingRebuild = pending;
    const double factor = m_micrometreToDisplay;
    pending->future = QtConcurrent::run([pending, data, factor, showRLine, straighten] {
        computeDrawing(pending->drawing, data, factor, showRLine, straighten, true);
    });
    auto *watcher = new QFutureWatcher<void>(this);
    connect(watcher, &QFutureWatcher<void>::finished, this, [this, watcher, pending] {
        watcher->deleteLater();
        // Superseded by a later rebuild, or already put on the curve.
        if (m_pendingRebuild != pending)
            return;
        m_pendingRebuild.reset();
        applyDrawing(pending->drawing);
        emit rebuildSettled();
        if (pending->done)
            pending->done();
    });
    watcher->setFuture(pending->future);
}

void TraceGraphsHolder::applyOptions(bool showRLine, bool straighten)
{
    if (showRLine != m_showRLine || straighten != m_straighten)
        rebuild(showRLine, straighten);
}

void TraceGraphsHolder::setLevelMode(bool on)
{
    m_levelMode = on;
    if (!materialized())
        return;
    for (const auto &line : m_levelLines) {
        if (!line)
            continue;
        if (on)
            placeLevelLine(line, m_rmsLevel);
        line->setPen(kRedDotPen);
        line->setSelectable(false);
        line->setVisible(on && curve->visible());
    }
}

void TraceGraphsHolder::setCurveData(const QVector<double> &x, const QVector<double> &y)
{
    ++m_revision;
    if (!materialized())
        return;
    // The curve's points (the point index as the curve parameter, already in order) are
    // written over those it holds, the rest removed or appended: the library's own setData
    // would make them twice in fresh memory and sort them.
    const int n = std::min(x.size(), y.size());
    QCPCurveDataContainer &points = *curve->data();
    const int present = points.size();
    auto it = points.begin();
    for (int i = 0; i < std::min(n, present); ++i, ++it)
        *it = QCPCurveData(i, x.at(i), y.at(i));
    if (present > n) {
        points.removeAfter(n - 0.5);
    } else if (n > present) {
        QVector<QCPCurveData> rest(n - present);
        for (int i = present; i < n; ++i)
            rest[i - present] = QCPCurveData(i, x.at(i), y.at(i));
        points.add(rest, true);
    }
    curve->setDataRevision(m_revision);
    updateExtent(x, y, true);
}

void TraceGraphsHolder::expectPoints(int points)
{
    m_previewStride
        = std::max(1, int((qint64(points) + kMostPreviewChunks - 1) / kMostPreviewChunks));
    m_expectedPoints
        = m_previewStride > 1 ? 4 * ((points + m_previewStride - 1) / m_previewStride) : points;
    m_chunkX.clear();
    m_chunkY.clear();
}

namespace {

// Appends the chunk's first, lowest, highest and last sample, in the order they came, each
// once.
void reduceChunk(const double *x, const double *y, int n, QVector<double> *keys,
                 QVector<double> *values)
{
    int low = 0;
    int high = 0;
    for (int i = 1; i < n; ++i) {
        if (y[i] < y[low])
            low = i;
        if (y[i] > y[high])
            high = i;
    }
    int kept[4] = {0, std::min(low, high), std::max(low, high), n - 1};
    int last = -1;
    for (int index : kept) {
        if (index == last)
            continue;
        keys->append(x[index]);
        values->append(y[index]);
        last = index;
    }
}

} // namespace

void TraceGraphsHolder::reserveCurve(int points)
{
    const int present = curve->data()->size();
    if (points <= present)
        return;
    // Room made at once spares the copies of a container that grows batch by batch; room not
    // written to costs no memory.
    QVector<QCPCurveData> room;
    try {
        room.reserve(points);
        m_displayX.reserve(points);
        m_displayY.reserve(points);
    } catch (const std::bad_alloc &) {
        return;
    }
    room.resize(present);
    std::copy(curve->data()->constBegin(), curve->data()->constEnd(), room.begin());
    curve->data()->set(room, true);
}

void TraceGraphsHolder::updateExtent(const QVector<double> &x, const QVector<double> &y, bool reset)
{
    if (reset) {
        m_extentCount = 0;
        m_keyExtent = QCPRange(qQNaN(), qQNaN());
        m_valueExtent = QCPRange(qQNaN(), qQNaN());
    }
    const int n = std::min(x.size(), y.size());
    double kLow = m_keyExtent.lower, kHigh = m_keyExtent.upper;
    double vLow = m_valueExtent.lower, vHigh = m_valueExtent.upper;
    for (int i = 0; i < n; ++i) {
        const double kx = x.at(i);
        const double vy = y.at(i);
        widenExtent(kLow, kHigh, kx);
        widenExtent(vLow, vHigh, vy);
    }
    m_keyExtent = QCPRange(kLow, kHigh);
    m_valueExtent = QCPRange(vLow, vHigh);
    m_extentCount += n;
}

bool TraceGraphsHolder::curveExtent(QCPRange *keys, QCPRange *values)
{
    if (!materialized())
        return false;
    // Data put on the curve by someone else is measured once.
    if (m_extentCount != curve->data()->size()) {
        QVector<double> x;
        QVector<double> y;
        x.reserve(curve->data()->size());
        y.reserve(curve->data()->size());
        for (const QCPCurveData &point : *curve->data()) {
            x.append(point.key);
            y.append(point.value);
        }
        updateExtent(x, y, true);
    }
    if (std::isnan(m_keyExtent.lower) || std::isnan(m_valueExtent.lower))
        return false;
    *keys = m_keyExtent;
    *values = m_valueExtent;
    return true;
}

void TraceGraphsHolder::appendPoints(const QVector<double> &x, const QVector<double> &y)
{
    appendPoints(x.constData(), y.constData(), std::min(x.size(), y.size()));
}

void TraceGraphsHolder::appendPoints(const double *x, const double *y, int n)
{
    if (n <= 0)
        return;
    if (m_previewStride <= 1) {
        appendCurvePoints(QVector<double>(x, x + n), QVector<double>(y, y + n));
        return;
    }
    // The preview of a long read: complete chunks are reduced, the rest waits for the next
    // samples.
    const int stride = m_previewStride;
    QVector<double> keys;
    QVector<double> values;
    keys.reserve(4 * (n / stride + 2));
    values.reserve(4 * (n / stride + 2));
    int i = 0;
    if (!m_chunkX.isEmpty()) {
        const int take = std::min(n, stride - m_chunkX.size());
        std::copy(x, x + take, std::back_inserter(m_chunkX));
        std::copy(y, y + take, std::back_inserter(m_chunkY));
        i = take;
        if (m_chunkX.size() == stride) {
            reduceChunk(m_chunkX.constData(), m_chunkY.constData(), stride, &keys, &values);
            m_chunkX.clear();
            m_chunkY.clear();
        }
    }
    for (; i + stride <= n; i += stride)
        reduceChunk(x + i, y + i, stride, &keys, &values);
    if (i < n) {
        std::copy(x + i, x + n, std::back_inserter(m_chunkX));
        std::copy(y + i, y + n, std::back_inserter(m_chunkY));
    }
    if (!keys.isEmpty())
        appendCurvePoints(keys, values);
}

void TraceGraphsHolder::appendCurvePoints(const QVector<double> &x, const QVector<double> &y)
{
    const int n = std::min(x.size(), y.size());
    // A read draws into a shown holder.
    materialize();
    if (!materialized())
        return;
    if (m_extentCount != curve->data()->size()) {
        QCPRange keys;
        QCPRange values;
        curveExtent(&keys, &values);
    }
    QVector<double> keys(n);
    QVector<double> values(n);
    for (int i = 0; i < n; ++i) {
        keys[i] = x.at(i) * m_micrometreToDisplay;
        values[i] = y.at(i) * m_micrometreToDisplay;
    }
    // The curve parameter goes on from the last point, so the new points are appended in order.
    const int first = curve->data()->size();
    QVector<QCPCurveData> points(n);
    for (int i = 0; i < n; ++i)
        points[i] = QCPCurveData(first + i, keys.at(i), values.at(i));
    curve->data()->add(points, true);
    // The drawn points grow with the curve: the redraw at the read's end writes over them.
    if (m_displayX.size() == first && m_displayY.size() == first) {
        m_displayX += keys;
        m_displayY += values;
    }
    // The library adopts the first batch as the container itself: the room for the whole read
    // is made once it holds points.
    if (m_expectedPoints > 0) {
        reserveCurve(m_expectedPoints);
        m_expectedPoints = 0;
    }
    ++m_revision;
    curve->setDataRevision(m_revision);
    updateExtent(keys, values, false);
}

void TraceGraphsHolder::clearCurve()
{
    m_chunkX.clear();
    m_chunkY.clear();
    m_displayX.resize(0);
    m_displayY.resize(0);
    setCurveData(m_displayX, m_displayY);
}

void TraceGraphsHolder::setUnit(const QString &name, bool rebuildNow)
{
    m_unitName = name;
    const int unit = unitOfSuffix(name);
    if (unit >= 0)
        m_micrometreToDisplay = unitsPerMicrometreOf(unit);
    if (rebuildNow)
        rebuild(m_showRLine, m_straighten);
}

void TraceGraphsHolder::StatisticsJob::run()
{
    if (!needed)
        return;
    const QVector<double> &keys = x;
    const QVector<double> &values = y;
    const auto span = ProfileStatistics::visibleSpan(keys, view.xLow, view.xHigh, ascending);
    histogram = ProfileStatistics::histogram(keys, values, span, density, view, heights.first,
                                             heights.second);
    ratio = ProfileStatistics::materialRatio(keys, values, span, view);
}

TraceGraphsHolder::StatisticsJob TraceGraphsHolder::statisticsJob()
{
    StatisticsJob job;
    Plot *plotMain = m_plots.value(0);
    if (!plotMain || !materialized())
        return job;
    m_histogramGraph->setPen(Qt::NoPen);
    m_histogramGraph->setBrush(QBrush(kHistogramBrush, Qt::SolidPattern));

    const QCPRange xRange = plotMain->xAxis->range();
    const QCPRange yRange = plotMain->yAxis->range();
    StatisticsKey key;
    key.xLow = xRange.lower;
    key.xHigh = xRange.upper;
    key.yLow = yRange.lower;
    key.yHigh = yRange.upper;
    key.density = histogramDensity;
    key.revision = m_revision;
    if (m_statisticsValid && key == m_statisticsKey)
        return job;
    m_statisticsKey = key;
    m_statisticsValid = true;

    job.needed = true;
    job.x = m_displayX;
    job.y = m_displayY;
    job.ascending = m_displayAscending;
    job.heights = m_displayHeights;
    job.density = histogramDensity;
    job.view.xLow = xRange.lower;
    job.view.xHigh = xRange.upper;
    job.view.yLow = yRange.lower;
    job.view.yHigh = yRange.upper;
    return job;
}

void TraceGraphsHolder::applyStatistics(const StatisticsJob &job)
{
    if (!job.needed || !materialized())
        return;
    if (job.histogram.size() == 2) {
        m_histogramGraph->setData(job.histogram.at(0), job.histogram.at(1), true);
        if (isProfileKind(trace)) {
            TData density = job.histogram;
            for (double &height : density[0])
                height /= m_micrometreToDisplay;
            static_cast<ProfileTrace *>(trace)->amplitudeDensity = density;
        }
    } else {
        // Nothing of the trace in view: no histogram rather than that of an earlier view. The
        // trace keeps the density of the last view that showed it.
        m_histogramGraph->data()->clear();
    }
    m_ratio = job.ratio;
    m_ratioGraph->setData(m_ratio.levels, m_ratio.ratios, true);
}

void TraceGraphsHolder::updateStatistics()
{
    StatisticsJob job = statisticsJob();
    job.run();
    applyStatistics(job);
}

void TraceGraphsHolder::setPointsVisible(bool points)
{
    m_points = points;
    if (!materialized())
        return;
    if (points) {
        curve->setLineStyle(QCPCurve::lsNone);
        curve->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, Qt::black, 1));
    } else {
        curve->setLineStyle(QCPCurve::lsLine);
        curve->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone, 6));
    }
}

void TraceGraphsHolder::setSelectedPen()
{
    m_selectedPen = true;
    applyPen();
}

void TraceGraphsHolder::setNormalPen()
{
    m_selectedPen = false;
    applyPen();
}

void TraceGraphsHolder::applyPen()
{
    if (!materialized())
        return;
    const QPen pen = m_selectedPen
        ? QPen(QBrush(QColor(Settings::instance()->preferences.selected_graph_color)), 1.0,
               Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin)
        : kItemPen;
    curve->setPen(pen);
    m_histogramGraph->setPen(pen);
    m_ratioGraph->setPen(pen);
}

void TraceGraphsHolder::setVisible(bool visible)
{
    if (visible)
        materialize();
    if (!materialized())
        return;
    curve->setVisible(visible);
    for (const auto &line : m_levelLines)
        line->setVisible(visible && m_levelMode);
    for (const auto &line : m_pickedLevelLines)
        line->setVisible(visible && m_pickedLevelShown);
    m_ratioGraph->setVisible(visible);
    m_histogramGraph->setVisible(visible);
    m_leftMarker->setVisible(visible && m_markersShown);
    m_rightMarker->setVisible(visible && m_markersShown);
}

bool TraceGraphsHolder::isVisible() const
{
    return curve && curve->visible();
}

void TraceGraphsHolder::setLevel(double ratioPercent, double height)
{
    if (!materialized())
        return;
    ProfileStatistics::RatioCurve points;
    for (const QCPGraphData &point : *m_ratioGraph->data()) {
        points.levels.append(point.key);
        points.ratios.append(point.value);
    }
    const double level = ProfileStatistics::pickedLevel(points, ratioPercent, height);
    m_pickedLevel = level;
    for (const auto &line : m_pickedLevelLines) {
        placeLevelLine(line, level);
        line->setPen(kBlueDotPen);
        line->setSelectable(false);
        line->setVisible(curve->visible());
    }
    m_pickedLevelShown = true;
}

void TraceGraphsHolder::graphSelectionChanged(const QCPDataSelection &selection)
{
    if (selection.dataRangeCount() == 0) {
        m_leftMarker->setVisible(false);
        m_rightMarker->setVisible(false);
        m_markersShown = false;
        return;
    }
    const QCPDataRange range = selection.dataRange(0);
    const int size = curve->data()->size();
    if (range.begin() < range.end() && range.begin() >= 0 && range.end() <= size) {
        const QCPCurveData first = *curve->data()->at(range.begin());
        const QCPCurveData last = *curve->data()->at(range.end() - 1);
        m_leftMarker->setPosition(first.key, first.value);
        m_rightMarker->setPosition(last.key, last.value);
        m_leftMarker->label()->setText(QString::number(first.key, 'g', 6));
        m_rightMarker->label()->setText(QString::number(last.key, 'g', 6));
        m_markersShown = true;
        m_leftMarker->setVisible(curve->visible());
        m_rightMarker->setVisible(curve->visible());
    }
    qDebug() << "selection change ended";
}

std::pair<int, int> TraceGraphsHolder::rawRange(int begin, int end) const
{
    const TData *raw = trace->rawData;
    const TData *converted = trace->convertedData;
    const TData *processed = trace->processedData;
    const int rawCount = raw->isEmpty() ? 0 : raw->at(0).size();
    const int drawnCount = processed->isEmpty() ? 0 : processed->at(0).size();
    if (rawCount == drawnCount || drawnCount == 0)
        return {begin, end};
    // A filter trimmed the run-in and run-out. Where it kept X as it was, the first drawn X is
    // found among the converted samples; otherwise the trimming is taken as even at both ends.
    int offset = (rawCount - drawnCount) / 2;
    if (!converted->isEmpty()) {
        const QVector<double> &cx = converted->at(0);
        const int found = cx.indexOf(processed->at(0).at(0));
        if (found >= 0 && found + drawnCount <= cx.size()
            && cx.at(found + drawnCount - 1) == processed->at(0).at(drawnCount - 1))
            offset = found;
    }
    return {begin + offset, end + offset};
}

std::pair<int, int> TraceGraphsHolder::selectedRawRange() const
{
    if (!materialized())
        return {0, 0};
    const QCPDataSelection selection = curve->selection();
    if (selection.dataRangeCount() == 0)
        return {0, 0};
    const QCPDataRange range = selection.dataRange(0);
    if (range.begin() >= range.end() || range.begin() < 0)
        return {0, 0};
    return rawRange(range.begin(), range.end());
}

void TraceGraphsHolder::clearSelection()
{
    m_markersShown = false;
    if (!materialized())
        return;
    m_leftMarker->setVisible(false);
    m_rightMarker->setVisible(false);
    curve->setSelection(QCPDataSelection());
}

void TraceGraphsHolder::cutSelection()
{
    const auto raw = selectedRawRange();
    if (raw.first >= raw.second)
        return;
    trace->crop(raw.first, raw.second);
    clearSelection();
    rebuild(m_showRLine, m_straighten);
}

bool TraceGraphsHolder::checkFilterMatch()
{
    return cutOffProposal && cutOffProposal(trace);
}
