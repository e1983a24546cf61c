#include "profile/ProfileAnalisisWidget.h"

#include "core/Constants.h"
#include "core/DisplayUnits.h"
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "dataproviders/DataProvider.h"
#include "device/ui/DeviceControlWidget.h"
#include "device/ui/FastSettingsWidget.h"
#include "platform/Prompts.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "plot/SuffixTicker.h"
#include "profile/AutoUnfocusSpinBox.h"
#include "profile/TraceGraphsHolder.h"
#include "profile/TraceList.h"
#include "profile/XAxisMarker.h"
#include "traceprocessing/TraceRoad.h"
#include "ui_ProfileAnalisisWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QtConcurrent>
#include <cmath>

QString axisUnitName()
{
    return unitSuffixOf(Settings::instance()->view.axis_unit);
}

ProfileAnalisisWidget::ProfileAnalisisWidget(MainWindow *)
    : AnalisysWidget(QStringLiteral("ПРОФИЛЬ"))
    , ui(new Ui_ProfileAnalisisWidget)
{
    ui->setupUi(this);
    ui->actionReport->setVisible(false);
    qRegisterMetaType<QVector<AbstractTrace *>>("QVector<AbstractTrace*>");
    keyReceiver = ui->deviceControlWidget->updateKeyMap();
    m_road = new TraceRoad(this);
    setupPlots();
    setupFastSettingsToolBar();
    connectSignals();
    connectRoad();
    updateUnitLabels();
}

ProfileAnalisisWidget::~ProfileAnalisisWidget()
{
    m_statisticsRun.waitForFinished();
    // A read still running must end before its trace goes.
    if (DataProvider *provider = dataProvider()) {
        provider->cancel();
        provider->waitForFinished();
    }
    // The holders take their graphs off the plots, which must still be there.
    qDeleteAll(holders);
    holders.clear();
    ui->traceList->traces.clear();
    ui->traceList->readingTrace = nullptr;
    // The road frees the traces; the provider that filled one has stopped above.
    delete m_road;
    m_road = nullptr;
    delete ui;
}

void ProfileAnalisisWidget::setupAxisNumberFormat(Plot *plot)
{
    for (QCPAxis *axis : {plot->yAxis, plot->yAxis2}) {
        axis->setNumberFormat(QStringLiteral("f"));
        axis->setNumberPrecision(3);
    }
}

void ProfileAnalisisWidget::setupPlots()
{
    plotMain = ui->plotMain;
    plotHist = ui->plotHist;
    plotRMR = ui->plotRMR;
    for (Plot *plot : {plotMain, plotHist, plotRMR}) {
        plot->setFont(kMonospaceFont);
        // One axis rect with all four axes; the top and right axes follow the bottom and left
        // ones and carry no tick labels.
        plot->axisRect()->setupFullAxesBox(true);
        setupAxisNumberFormat(plot);
    }
    plotMain->yAxis2->setVisible(false);
    plotHist->yAxis->setVisible(false);
    plotRMR->yAxis->setVisible(false);
    plotMain->xAxis->setNumberFormat(QStringLiteral("f"));
    plotMain->xAxis->setNumberPrecision(3);
    plotRMR->setCursor(Qt::CrossCursor);
}

void ProfileAnalisisWidget::setupSidePlotTicks()
{
    // The side plots are narrow: fewer percentage labels keep them apart.
    for (Plot *plot : {plotHist, plotRMR})
        plot->xAxis->ticker()->setTickCount(3);
}

void ProfileAnalisisWidget::setupFastSettingsToolBar()
{
    const Settings &settings = *Settings::instance();
    const PreferencesSettings &p = settings.preferences;
    ui->toolBar->setContextMenuPolicy(Qt::PreventContextMenu);

    auto *histogramLabel = new QLabel(QStringLiteral("Плотность гистограммы:"));
    histogramSpinBox = new AutoUnfocusSpinBox;
    histogramSpinBox->setRange(1, 50);
    histogramSpinBox->setValue(p.histogramm_density_value);
    histogramSpinBox->setSuffix(QStringLiteral("%"));

    auto *spacer = new QWidget;
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

    medianCheckBox = new QCheckBox(QStringLiteral("Медианный фильтр"));
    medianSpinBox = new AutoUnfocusSpinBox;
    medianSpinBox->setRange(3, 50);
    medianSpinBox->setSuffix(QStringLiteral(" точек"));
    medianSpinBox->setValue(p.meadian_filter_value);
    medianCheckBox->setChecked(p.meadian_filter);
    medianSpinBox->setEnabled(p.meadian_filter);

    compensationCheckBox = new QCheckBox(QStringLiteral("Компенсация угла резьбы"));
    angleSpinBox = new QDoubleSpinBox;
    compensationCheckBox->setChecked(p.thread_angle_compensation);
    angleSpinBox->setEnabled(p.thread_angle_compensation);
    angleSpinBox->setRange(0.0, 70.0);
    angleSpinBox->setDecimals(2);
    angleSpinBox->setSingleStep(0.01);
    angleSpinBox->setSuffix(QStringLiteral(" °"));
    angleSpinBox->setValue(p.thread_angle_compensation_value);

    profileKindComboBox = new QComboBox;
    profileKindComboBox->addItems({QStringLiteral("Первичный профиль"),
                                   QStringLiteral("Профиль шероховатости"),
                                   QStringLiteral("Профиль волнистости")});
    profileKindComboBox->setCurrentIndex(p.profile_filter_mode);
    histogramSpinBox->setObjectName(QStringLiteral("histogramSpinBox"));
    medianCheckBox->setObjectName(QStringLiteral("medianCheckBox"));
    medianSpinBox->setObjectName(QStringLiteral("medianSpinBox"));
    compensationCheckBox->setObjectName(QStringLiteral("compensationCheckBox"));
    angleSpinBox->setObjectName(QStringLiteral("angleSpinBox"));
    profileKindComboBox->setObjectName(QStringLiteral("profileKindComboBox"));

    ui->toolBar->addWidget(spacer);
    auto *container = new QWidget;
    auto *layout = new QHBoxLayout(container);
    for (QWidget *widget : std::initializer_list<QWidget *> {
             profileKindComboBox, compensationCheckBox, angleSpinBox, medianCheckBox, medianSpinBox,
             histogramLabel, histogramSpinBox})
        layout->addWidget(widget);
    ui->toolBar->addWidget(container);

    showFastSettingsFor(settings.device.device_type);
}

void ProfileAnalisisWidget::showFastSettingsFor(int deviceType)
{
    const bool contourograph = deviceType == CONTOUR || deviceType == CONTOURPROF;
    compensationCheckBox->setVisible(contourograph);
    angleSpinBox->setVisible(contourograph);
    profileKindComboBox->setVisible(!contourograph);
}

void ProfileAnalisisWidget::connectSignals()
{
    // A newly identified instrument switches the fast settings to its kind.
    connect(ui->deviceControlWidget, &DeviceControlWidget::newDeviceType, ui->fastSettingsWidget,
            [this](int type) {
                ui->fastSettingsWidget->setInerface(type);
                showFastSettingsFor(type);
                emit newDeviceType(type);
            });
    // The side plots' height axes follow the profile's.
    connect(plotMain->yAxis, SIGNAL(rangeChanged(QCPRange)), plotHist->yAxis,
            SLOT(setRange(QCPRange)));
    connect(plotMain->yAxis, SIGNAL(rangeChanged(QCPRange)), plotRMR->yAxis,
            SLOT(setRange(QCPRange)));
    connect(plotMain, &QCustomPlot::beforeReplot, this, [this] {
        if (!reading)
            startStatistics();
    });
    connect(plotMain, &QCustomPlot::afterReplot, this, [this] {
        // The statistics of long traces in view are put on the side plots when they are ready.
        if (!statisticsReadyOrLater())
            return;
        finishStatistics();
        if (!reading)
            updateParamPlots();
    });
    connectToolSignals();
}

void ProfileAnalisisWidget::updateUnitLabels()
{
    const QString unit = axisUnitName();
    setTickSuffix(plotMain->xAxis, QStringLiteral(" ") + unit);
    setTickSuffix(plotMain->yAxis, QStringLiteral(" ") + unit);
    setTickSuffix(plotHist->xAxis, QStringLiteral("%"));
    setTickSuffix(plotRMR->xAxis, QStringLiteral("%"));
    setupSidePlotTicks();
    for (TraceGraphsHolder *holder : qAsConst(holders)) {
        if (!holder->rebuildsInBackground()) {
            holder->setUnit(unit, true);
            continue;
        }
        // A long trace's points in the new unit are made beside the GUI thread; the view
        // follows them once they are on the curve.
        holder->setUnit(unit, false);
        holder->rebuildInBackground(holder->showsRLine(), holder->straightens(), [this] {
            autoscale();
            plotMain->replot(QCustomPlot::rpQueuedReplot);
        });
    }
    autoscale();
}

namespace {

// The axis shows [low, high] with a margin of 5 % of the span on each side. Without a span (a
// single point, a flat trace) the axis keeps its size, centred on the value, as the library's
// rescaling does.
void fitAxis(QCPAxis *axis, double low, double high)
{
    const double margin = 0.05 * (high - low);
    if (high > low && QCPRange::validRange(low - margin, high + margin)) {
        axis->setRange(low - margin, high + margin);
    } else if (std::isfinite(low)) {
        const double size = axis->range().size();
        axis->setRange(low - size / 2.0, low + size / 2.0);
    }
}

} // namespace

void ProfileAnalisisWidget::autoscale()
{
    bool anyVisible = false;
    bool anyPoint = false;
    double xMin = 0.0, xMax = 0.0, yMin = 0.0, yMax = 0.0;
    for (QCPCurve *curve : plotMain->curves()) {
        if (!curve->visible())
            continue;
        anyVisible = true;
        QCPRange keys;
        QCPRange values;
        bool found = false;
        auto *holder = curve->property("gholder").value<TraceGraphsHolder *>();
        if (holder && holder->curve == curve) {
            found = holder->curveExtent(&keys, &values);
        } else {
            bool foundKeys = false;
            bool foundValues = false;
            keys = curve->getKeyRange(foundKeys);
            values = curve->getValueRange(foundValues);
            found = foundKeys && foundValues;
        }
        if (!found)
            continue;
        if (!anyPoint) {
            xMin = keys.lower;
            xMax = keys.upper;
            yMin = values.lower;
            yMax = values.upper;
            anyPoint = true;
        } else {
            xMin = std::min(xMin, keys.lower);
            xMax = std::max(xMax, keys.upper);
            yMin = std::min(yMin, values.lower);
            yMax = std::max(yMax, values.upper);
        }
    }
    if (!anyVisible)
        return;
    if (anyPoint) {
        fitAxis(plotMain->xAxis, xMin, xMax);
        fitAxis(plotMain->yAxis, yMin, yMax);
    } else {
        plotMain->rescaleAxes(true);
    }
    // Queued: the batches of a read that arrive together are drawn in one picture.
    plotMain->replot(QCustomPlot::rpQueuedReplot);
}

bool ProfileAnalisisWidget::statisticsRunning() const
{
    return !m_statisticsJobs.isEmpty() && !m_statisticsRun.isFinished();
}

bool ProfileAnalisisWidget::statisticsComeLater() const
{
    return statisticsRunning() && m_statisticsWatcher && m_statisticsWatcher->isRunning();
}

bool ProfileAnalisisWidget::statisticsReadyOrLater()
{
    if (!statisticsRunning())
        return true;
    qint64 points = 0;
    for (const TraceGraphsHolder::StatisticsJob &job : qAsConst(m_statisticsJobs))
        points += job.x.size();
    if (points < kStatisticsLaterPoints)
        return true;
    if (!m_statisticsWatcher) {
        m_statisticsWatcher = new QFutureWatcher<void>(this);
        connect(m_statisticsWatcher, &QFutureWatcher<void>::finished, this, [this] {
            finishStatistics();
            if (!reading)
                updateParamPlots();
            // A view changed while they were computed: its statistics follow.
            if (m_statisticsAgain) {
                m_statisticsAgain = false;
                plotMain->replot(QCustomPlot::rpQueuedReplot);
            }
            // An evaluation waits for the histogram in view (Dp).
            m_road->releaseEvaluations();
        });
    }
    m_statisticsWatcher->setFuture(m_statisticsRun);
    return false;
}

void ProfileAnalisisWidget::startStatistics()
{
    if (statisticsComeLater()) {
        // Long statistics still being computed are not waited for: the view's follow once they
        // are in.
        m_statisticsAgain = true;
        return;
    }
    finishStatistics();
    for (TraceGraphsHolder *holder : qAsConst(holders)) {
        if (!holder->isVisible())
            continue;
        TraceGraphsHolder::StatisticsJob job = holder->statisticsJob();
        if (job.needed) {
            m_statisticsHolders.append(holder);
            m_statisticsJobs.append(job);
        }
    }
    if (!m_statisticsJobs.isEmpty()) {
        m_statisticsRun = QtConcurrent::map(
            m_statisticsJobs, [](TraceGraphsHolder::StatisticsJob &job) { job.run(); });
    }
}

void ProfileAnalisisWidget::finishStatistics()
{
    m_statisticsRun.waitForFinished();
    m_statisticsRun = QFuture<void>();
    for (int i = 0; i < m_statisticsJobs.size(); ++i) {
        if (TraceGraphsHolder *holder = m_statisticsHolders.at(i))
            holder->applyStatistics(m_statisticsJobs.at(i));
    }
    m_statisticsHolders.clear();
    m_statisticsJobs.clear();
}

void ProfileAnalisisWidget::updateParamPlots(bool now)
{
    if (m_refreshingParamPlots)
        return;
    // Long statistics being computed: the side plots follow when they are in.
    if (statisticsComeLater())
        return;
    m_refreshingParamPlots = true;
    finishStatistics();
    const bool rLine = ui->actionRLine->isChecked();
    const bool rFit = ui->actionRFit->isChecked();
    const bool points = ui->actionPTS->isChecked();
    // The traces' statistics are independent: computed side by side, applied in id order.
    QVector<TraceGraphsHolder *> visible;
    QVector<TraceGraphsHolder::StatisticsJob> jobs;
    qint64 statisticsPoints = 0;
    for (TraceGraphsHolder *holder : qAsConst(holders)) {
        if (holder->isVisible()) {
            visible.append(holder);
            jobs.append(holder->statisticsJob());
            if (jobs.last().needed)
                statisticsPoints += jobs.last().x.size();
        }
    }
    if (!now && statisticsPoints >= kStatisticsLaterPoints) {
        // Long statistics are computed beside the GUI thread, as those of a new view are: the
        // side plots (and an evaluation waiting for the histogram) follow when they are in.
        for (int i = 0; i < visible.size(); ++i) {
            if (jobs.at(i).needed) {
                m_statisticsHolders.append(visible.at(i));
                m_statisticsJobs.append(jobs.at(i));
            }
        }
        m_statisticsRun = QtConcurrent::map(
            m_statisticsJobs, [](TraceGraphsHolder::StatisticsJob &job) { job.run(); });
        statisticsReadyOrLater();
    } else {
        QtConcurrent::blockingMap(jobs, [](TraceGraphsHolder::StatisticsJob &job) { job.run(); });
        for (int i = 0; i < visible.size(); ++i)
            visible.at(i)->applyStatistics(jobs.at(i));
    }
    for (TraceGraphsHolder *holder : qAsConst(holders)) {
        holder->applyOptions(rLine, rFit);
        holder->setPointsVisible(points);
    }
    for (Plot *plot : {plotHist, plotRMR}) {
        plot->xAxis->rescale(true);
        plot->replot();
    }
    m_refreshingParamPlots = false;
}

void ProfileAnalisisWidget::recalcParamPlots()
{
    if (!reading)
        updateParamPlots();
}

QList<QAction *> ProfileAnalisisWidget::toolActions() const
{
    return {ui->actionReset,         ui->actionPAN,           ui->actionPTS,     ui->actionRLine,
            ui->actionRFit,          ui->actionSelectionZoom, ui->actionMarkers, ui->actionCut,
            ui->actionToMeasurement, ui->actionReport};
}

QList<AbstractTrace *> ProfileAnalisisWidget::allTraces() const
{
    return ui->traceList->traces.values();
}

QList<AbstractTrace *> ProfileAnalisisWidget::visibleTraces() const
{
    QList<AbstractTrace *> traces;
    for (TraceGraphsHolder *holder : holders) {
        if (holder->isVisible())
            traces.append(holder->trace);
    }
    return traces;
}

DeviceControlWidget *ProfileAnalisisWidget::deviceControlWidget() const
{
    return ui->deviceControlWidget;
}

void ProfileAnalisisWidget::applyCurrentConsoleToTraces()
{
    ui->traceList->applyCurrentConsoleToCheckedTraces();
}

TraceList *ProfileAnalisisWidget::traceList() const
{
    return ui->traceList;
}

TraceGraphsHolder *ProfileAnalisisWidget::createHolder(AbstractTrace *trace, bool shown)
{
    auto *holder = new TraceGraphsHolder(trace, plotMain, plotHist, plotRMR, shown);
    delete holders.value(trace->id);
    holders.insert(trace->id, holder);
    holder->setUnit(axisUnitName(), false);
    holder->cutOffProposal = [this](AbstractTrace *proposed) {
        return m_road->proposeCutOff(proposed);
    };
    // An evaluation held back for the drawing may start now.
    connect(holder, &TraceGraphsHolder::rebuildSettled, m_road, &TraceRoad::releaseEvaluations);
    return holder;
}
