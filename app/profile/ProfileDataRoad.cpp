// The profile window's data road: the traces it creates with their processing chain, the reads
// it follows through its data provider, the automatic saving of recordings, the reprocessing on
// a change of the fast settings, joined traces, saving and the reports.

#include "core/Constants.h"
#include "core/ContourTrace.h"
#include "core/Logger.h"
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "core/TraceAutoSave.h"
#include "core/TraceFileWriter.h"
#include "core/TraceReadChains.h"
#include "dataproviders/DeviceDataProvider.h"
#include "device/ui/DeviceControlWidget.h"
#include "device/ui/KeyReceiver.h"
#include "platform/Desktop.h"
#include "platform/Prompts.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "profile/AutoUnfocusSpinBox.h"
#include "profile/ProfileAnalisisWidget.h"
#include "profile/ProfileReports.h"
#include "profile/TraceGraphsHolder.h"
#include "profile/TraceList.h"
#include "reports/HtmlReport.h"
#include "traceprocessing/ParameterEvaluation.h"
#include "traceprocessing/ProcessingChain.h"
#include "ui_ProfileAnalisisWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QTimer>
#include <QTreeWidgetItem>

namespace {

bool isProfileKind(int kind)
{
    return kind == PROFILE || kind == ADDITIONAL_TRACE;
}

QString dateSuffix()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("_yyyy_MM_dd_HH_mm_ss"));
}

} // namespace

bool ProfileAnalisisWidget::isLiveProvider(const DataProvider *provider)
{
    return qobject_cast<const DeviceDataProvider *>(provider) != nullptr;
}

DataProvider *ProfileAnalisisWidget::signallingProvider() const
{
    if (auto *provider = qobject_cast<DataProvider *>(sender()))
        return provider;
    return dataProvider();
}

AbstractTrace *ProfileAnalisisWidget::createTrace(int traceKind)
{
    const Settings &settings = *Settings::instance();
    AbstractTrace *trace = nullptr;
    if (traceKind == ADDITIONAL_TRACE
        && (!isLiveProvider(dataProvider()) || !ui->traceList->additionalTraceParent())) {
        // An additional trace needs a main profile trace to hang on: a file that names itself
        // so, or a recording with no profile trace listed last, is a main trace of its own.
        traceKind = PROFILE;
    }
    if (isProfileKind(traceKind)) {
        auto *profile = new ProfileTrace;
        profile->speed = ui->deviceControlWidget->currentSpeed();
        profile->filterLength = filterLengthSetting(settings);
        profile->medianWindow = medianSpinBox->value();
        profile->medianEnabled = medianCheckBox->isChecked();
        trace = profile;
    } else if (traceKind == CONTOUR || traceKind == CONTOURPROF) {
        auto *contour = new ContourTrace;
        const CalibrationSettings &c = settings.calibration;
        contour->toolHeadRadiusDown = c.tool_head_radius_down;
        contour->toolHeadRadiusUp = c.tool_head_radius_up;
        contour->doubleSidedProbeHigh = c.double_sided_probe_high;
        contour->needleBias = c.needle_bias;
        contour->rackPerpendicular = c.rack_prpendicular;
        contour->roughnessRatio = c.roughness_ratio;
        contour->xAxisCompressionRatio = c.x_axis_compression_ratio;
        contour->yAxisCompressionRatio = c.y_axis_compression_ratio;
        contour->displacementCoefficient = c.displacement_coefficient;
        contour->measurementMode = settings.device.measurement_mode;
        trace = contour;
    } else {
        return nullptr;
    }
    trace->setType(traceKind);
    trace->creationDate = QDateTime::currentDateTime();
    // A file being read replaces the path with its own; a recording keeps it.
    const QString folder = autoSaveFolder();
    trace->setFilePath(autoSavePath(folder.isEmpty() ? QStringLiteral(".") : folder,
                                    settings.service.default_trace_file_name, trace->creationDate));
    trace->controllerName = settings.current_controller_name;
    buildProcessingChain(*trace, settings);
    m_chainTrace = trace;
    m_chainCutOff = chainFilterCutOff(*trace, settings);
    m_startKind = traceKind;
    const DataProvider *provider = dataProvider();
    m_startName
        = QFileInfo(provider && !isLiveProvider(provider) ? provider->source() : trace->filePath())
              .completeBaseName();
    return trace;
}

void ProfileAnalisisWidget::lockToolBar()
{
    for (QAction *action : toolActions()) {
        action->setChecked(false);
        action->setEnabled(false);
    }
}

void ProfileAnalisisWidget::unlockToolBar()
{
    for (QAction *action : toolActions()) {
        if (action != ui->actionCut && action != ui->actionRFit)
            action->setEnabled(true);
    }
}

void ProfileAnalisisWidget::dataReadStarted()
{
    // The side plots stand still from here to the end of the read.
    reading = true;
    DataProvider *provider = signallingProvider();
    AbstractTrace *trace = provider ? provider->trace() : nullptr;
    if (!trace)
        return;
    lockToolBar();
    TraceList *list = ui->traceList;
    list->readingTrace = trace;
    if (Settings::instance()->service.test_sensor_mode)
        list->removeAllButReadingTrace();
    else
        list->uncheckProfileTraces();
    emit lockButtons();
    m_ownedTraces.insert(trace);
    createHolder(trace);
    m_reprocessAfterRead = false;
    // The kind and name decided when the trace was made: the reader may be writing the
    // trace's header fields right now.
    if (m_startKind == ADDITIONAL_TRACE)
        list->addAdditionalTrace(trace, false);
    else
        list->addMainTrace(trace, m_startName);
}

void ProfileAnalisisWidget::dataBatchReady(int from, int count)
{
    DataProvider *provider = signallingProvider();
    AbstractTrace *trace = provider ? provider->trace() : nullptr;
    TraceGraphsHolder *holder = trace ? holders.value(trace->id) : nullptr;
    if (!holder || count <= 0)
        return;
    // The converted samples: a contour sample's height already carries its console height.
    const TData batch = trace->batchSamples(from, count);
    if (batch.size() < 2)
        return;
    holder->appendPoints(batch.at(0), batch.at(1));
    // The view follows the trace at most every kBatchDrawIntervalMs: batches that come faster
    // are drawn together, so a long recording never waits for one picture per batch.
    if (!m_batchDrawTimer) {
        m_batchDrawTimer = new QTimer(this);
        m_batchDrawTimer->setSingleShot(true);
        m_batchDrawTimer->setInterval(kBatchDrawIntervalMs);
        connect(m_batchDrawTimer, &QTimer::timeout, this, &ProfileAnalisisWidget::autoscale);
    }
    if (!m_batchDrawTimer->isActive())
        m_batchDrawTimer->start();
}

bool ProfileAnalisisWidget::saveRecordedTrace(AbstractTrace *trace)
{
    AbstractTrace *target = trace;
    auto *profile = dynamic_cast<ProfileTrace *>(trace);
    if (profile && profile->type == ADDITIONAL_TRACE && profile->parentTrace
        && ui->traceList->traces.value(profile->parentTrace->id) == profile->parentTrace)
        target = profile->parentTrace;
    if (target == trace && !m_savedOnce.contains(trace->id)) {
        // Two recordings within one second must not share a file.
        trace->setFilePath(freeFilePath(trace->filePath()));
    }
    if (writeTraceFile(target->filePath(), target)) {
        m_savedOnce.insert(trace->id);
        logger.log(INFO, "Trace saved to " + target->filePath().toStdString());
        return true;
    }
    logger.log(ERROR, "Recorded trace not saved to " + target->filePath().toStdString());
    Prompts::instance()->warning(
        this, QStringLiteral("Ошибка сохранения трассы"),
        QStringLiteral("Не удалось сохранить трассу в файл %1. Трасса остаётся в программе: "
                       "сохраните её командой «Сохранить трассы».")
            .arg(target->filePath()));
    return false;
}

void ProfileAnalisisWidget::evaluateNewTrace(AbstractTrace *trace)
{
    auto *profile = dynamic_cast<ProfileTrace *>(trace);
    if (!profile)
        return;
    TraceList *list = ui->traceList;
    for (ProfileTrace *child : qAsConst(profile->additionalTraces)) {
        evaluateEnabledParameters(list->parameterArgs, child);
    }
    evaluateEnabledParameters(list->parameterArgs, profile);
    if (profile->parentTrace
        && list->traces.value(profile->parentTrace->id) == profile->parentTrace) {
        // The main trace's results are a mean over its additional traces.
        evaluateEnabledParameters(list->parameterArgs, profile->parentTrace);
    }
}

void ProfileAnalisisWidget::reprocessTrace(AbstractTrace *trace)
{
    TraceGraphsHolder *holder = holders.value(trace->id);
    buildProcessingChain(*trace, *Settings::instance());
    trace->reprocess();
    if (holder)
        holder->rebuild(holder->showsRLine(), holder->straightens());
}

bool ProfileAnalisisWidget::dropInterruptedRecording(DataProvider *provider, AbstractTrace *trace)
{
    // The live provider reports a recording that ended before its measured samples began (the
    // link lost or the trace stopped during the profilometer's preview) as a failed read and has
    // dropped the preview from the trace: there is nothing to save, evaluate or filter.
    if (!isLiveProvider(provider) || provider->lastResult())
        return false;
    logger.log(INFO, "Trace interrupted before the measurement began");
    if (m_batchDrawTimer)
        m_batchDrawTimer->stop();
    reading = false;
    TraceList *list = ui->traceList;
    list->readingTrace = nullptr;
    if (QTreeWidgetItem *entry = list->itemForTrace(trace->id))
        list->removeTraceItem(entry, trace->id);
    autoscale();
    unlockToolBar();
    emit unlockButtons();
    recalcParamPlots();
    ui->deviceControlWidget->showStatus(QStringLiteral("Трасса прервана до начала измерения"));
    return true;
}

void ProfileAnalisisWidget::dataReadFinished()
{
    DataProvider *provider = signallingProvider();
    AbstractTrace *trace = provider ? provider->trace() : nullptr;
    TraceGraphsHolder *holder = trace ? holders.value(trace->id) : nullptr;
    if (holder && dropInterruptedRecording(provider, trace))
        return;
    if (!holder) {
        // A read that never started in this window: nothing to show, but nothing stays locked.
        reading = false;
        unlockToolBar();
        ui->traceList->readingTrace = nullptr;
        emit unlockButtons();
        recalcParamPlots();
        return;
    }
    if (m_batchDrawTimer)
        m_batchDrawTimer->stop();
    const bool live = isLiveProvider(provider);
    TraceList *list = ui->traceList;
    if (live)
        saveRecordedTrace(trace);

    const QTreeWidgetItem *entry = list->itemForTrace(trace->id);
    if (trace->type == ADDITIONAL_TRACE && entry && !entry->parent()) {
        // A file that names itself an additional trace is listed, saved and reported as a
        // main trace.
        trace->setType(PROFILE);
    }
    list->refreshTraceItem(trace);
    const bool rLine = ui->actionRLine->isChecked();
    const bool rFit = ui->actionRFit->isChecked();
    const bool points = ui->actionPTS->isChecked();
    if (trace->type == PROFILE) {
        auto *profile = static_cast<ProfileTrace *>(trace);
        for (ProfileTrace *child : qAsConst(profile->additionalTraces)) {
            if (holders.contains(child->id))
                continue;
            // The one chain of every trace, with the additional trace's own cut-off.
            buildProcessingChain(*child, *Settings::instance());
            child->applyPostProcessors();
            m_ownedTraces.insert(child);
            TraceGraphsHolder *childHolder = createHolder(child);
            childHolder->rebuild(rLine, rFit);
            childHolder->setPointsVisible(points);
            list->addAdditionalTrace(child, true);
            childHolder->setVisible(false);
        }
    }
    reading = false;
    if (!live
        && (trace != m_chainTrace
            || chainFilterCutOff(*trace, *Settings::instance()) != m_chainCutOff)) {
        // The file's header gave the trace its own cut-off after its chain was built with the
        // setting's; the worker has let go of the trace, so its chain can be built again.
        m_reprocessAfterRead = true;
    }
    if (m_reprocessAfterRead) {
        // A fast setting changed while the worker still owned the trace, or its cut-off did.
        m_reprocessAfterRead = false;
        buildProcessingChain(*trace, *Settings::instance());
        trace->reprocess();
    }
    holder->rebuild(rLine, rFit);
    holder->setPointsVisible(points);
    evaluateNewTrace(trace);

    if (live && holder->checkFilterMatch()) {
        // The trace takes the new cut-off: its file and its shape follow.
        saveRecordedTrace(trace);
        reprocessTrace(trace);
        evaluateNewTrace(trace);
    }
    autoscale();
    unlockToolBar();
    list->readingTrace = nullptr;
    emit unlockButtons();
    list->selectTrace(trace->id);
    if (Settings::instance()->service.test_sensor_mode && isProfileKind(trace->type))
        list->runSensorTest(trace);
    ui->deviceControlWidget->setEnableAdditionalTraceButton(true);
    recalcParamPlots();
    // Dp is read off the histogram, which the side plots have only now computed for the new
    // trace in its final view: the evaluation above saw the trace without one.
    list->reevaluateDpOf(trace);
}

void ProfileAnalisisWidget::dataReset()
{
    DataProvider *provider = signallingProvider();
    AbstractTrace *trace = provider ? provider->trace() : nullptr;
    TraceGraphsHolder *holder = trace ? holders.value(trace->id) : nullptr;
    if (!holder)
        return;
    holder->clearCurve();
    trace->clearData();
}

void ProfileAnalisisWidget::dataReadError(QString error)
{
    reading = false;
    Prompts::instance()->warning(this, QStringLiteral("Error"), error);
}

void ProfileAnalisisWidget::reprocessAllTraces()
{
    AbstractTrace *readingTrace = ui->traceList->readingTrace;
    for (TraceGraphsHolder *holder : qAsConst(holders)) {
        if (holder->trace == readingTrace) {
            // The worker still runs the trace's chain: it is rebuilt when the read ends.
            m_reprocessAfterRead = true;
            continue;
        }
        reprocessTrace(holder->trace);
    }
    plotMain->replot();
    autoscale();
}

void ProfileAnalisisWidget::addTraceFromData(TData data)
{
    if (data.size() < 2 || data.at(0).size() != data.at(1).size() || data.at(0).isEmpty())
        return;
    AbstractTrace *trace = createTrace(CONTOUR);
    const int n = data.at(0).size();
    for (TData *set : {trace->rawData, trace->convertedData, trace->processedData}) {
        (*set)[0] = data.at(0);
        (*set)[1] = data.at(1);
    }
    (*trace->rawData)[2] = QVector<double>(n, 0.0);
    (*trace->convertedData)[2] = QVector<double>(n, 0.0);
    if (trace->processedData->size() > 2)
        (*trace->processedData)[2] = QVector<double>(n, 0.0);
    trace->setName(QFileInfo(trace->filePath()).fileName());
    m_ownedTraces.insert(trace);
    TraceGraphsHolder *holder = createHolder(trace);
    ui->traceList->addMainTrace(trace);
    holder->rebuild(ui->actionRLine->isChecked(), ui->actionRFit->isChecked());
    holder->setPointsVisible(ui->actionPTS->isChecked());
    autoscale();
}

void ProfileAnalisisWidget::saveData(DataSaveFormat format)
{
    if (holders.isEmpty()) {
        Prompts::instance()->warning(
            this, QStringLiteral("Ошибка сохранения трассы"),
            QStringLiteral("Нет трассы для сохранения, для начала откройте или измерьте трассу"));
        return;
    }
    TraceList *list = ui->traceList;
    const QList<AbstractTrace *> traces = list->traces.values();
    for (AbstractTrace *trace : traces) {
        // The trace being read is still growing on the worker.
        if (trace == list->readingTrace || !list->traces.contains(trace->id))
            continue;
        if (format == LOCAL_FORMAT && trace->type == ADDITIONAL_TRACE)
            continue;
        const Settings &settings = *Settings::instance();
        QString path = Prompts::instance()->saveFileName(
            this, trace->name(),
            settings.preferences.save_trace_folder + settings.service.default_trace_file_name
                + dateSuffix(),
            QStringLiteral("Text files (*.txt);"));
        if (path.isEmpty())
            continue;
        Settings::modify([&path](Settings &s) {
            s.preferences.save_trace_folder
                = path.section(QLatin1Char('/'), 0, -2) + QLatin1Char('/');
        });
        path = textFilePath(path);
        bool written = false;
        if (format == LOCAL_FORMAT) {
            written = writeTraceFile(path, trace);
            if (written) {
                trace->setFilePath(path);
                if (auto *profile = dynamic_cast<ProfileTrace *>(trace)) {
                    for (ProfileTrace *child : qAsConst(profile->additionalTraces))
                        child->setFilePath(path);
                }
            }
        } else {
            written = writeColumnsExport(path, trace);
        }
        logger.log(INFO,
                   (written ? "Trace saved to " : "Trace not saved to ") + path.toStdString());
        if (!written) {
            Prompts::instance()->warning(
                this, QStringLiteral("Ошибка сохранения трассы"),
                QStringLiteral("Не удалось сохранить трассу в файл %1").arg(path));
        }
    }
}

QMap<QString, QString> ProfileAnalisisWidget::reportData(ProfileTrace *trace)
{
    ProfileTrace *subject = reportSubject(trace, ui->traceList->traces);
    return profileReportData(subject, ui->traceList->parameterArgs, *Settings::instance());
}

QVector<QPixmap> ProfileAnalisisWidget::plotSnapshot(AbstractTrace *trace)
{
    QMap<AbstractTrace *, bool> shown;
    for (TraceGraphsHolder *holder : qAsConst(holders)) {
        shown.insert(holder->trace, holder->isVisible());
        holder->setVisible(false);
    }
    if (TraceGraphsHolder *own = holders.value(trace->id))
        own->setVisible(true);
    if (trace->type == PROFILE) {
        for (ProfileTrace *child : static_cast<ProfileTrace *>(trace)->additionalTraces) {
            if (TraceGraphsHolder *holder = holders.value(child->id))
                holder->setVisible(shown.value(child, true));
        }
    }
    const QPixmap picture = plotMain->toPixmap(0, 0, 1.0);
    for (TraceGraphsHolder *holder : qAsConst(holders))
        holder->setVisible(shown.value(holder->trace, true));
    return {picture};
}

void ProfileAnalisisWidget::saveReport(QWidget *parent)
{
    TraceList *list = ui->traceList;
    if (list->traces.isEmpty()) {
        Prompts::instance()->warning(parent, QStringLiteral("Ошибка печати отчёта"),
                                     QStringLiteral("Нет трасс для сохранения отчёта"));
        return;
    }
    const bool sensorTest = Settings::instance()->service.test_sensor_mode;
    const QList<AbstractTrace *> traces = list->traces.values();
    for (AbstractTrace *trace : traces) {
        TraceGraphsHolder *holder = holders.value(trace->id);
        if (trace == list->readingTrace || !holder || !holder->isVisible())
            continue;
        if (trace->type == ADDITIONAL_TRACE) {
            auto *parent = static_cast<ProfileTrace *>(trace)->parentTrace;
            TraceGraphsHolder *parentHolder = parent ? holders.value(parent->id) : nullptr;
            if (parentHolder && parentHolder->trace == parent && parentHolder->isVisible())
                continue;
        }
        const Settings &settings = *Settings::instance();
        QString path = Prompts::instance()->saveFileName(
            parent, QStringLiteral("Сохранить отчет"),
            settings.preferences.save_report_folder + settings.service.default_trace_file_name
                + dateSuffix(),
            QString());
        if (path.isEmpty())
            return;
        Settings::modify([&path](Settings &s) {
            s.preferences.save_report_folder
                = path.section(QLatin1Char('/'), 0, -2) + QLatin1Char('/');
        });
        path = htmlReportPath(path);
        QFile *file = nullptr;
        if (sensorTest) {
            file = writeHtmlReport(list->sensorTestReportData(), {}, path, SENSOR_TEST_REPORT);
        } else if (isProfileKind(trace->type)) {
            file = writeHtmlReport(reportData(static_cast<ProfileTrace *>(trace)),
                                   plotSnapshot(trace), path, MEASUREMENT_REPORT);
        } else {
            file = writeHtmlReport({}, plotSnapshot(trace), path, PLOT_REPORT);
        }
        if (file) {
            delete file;
            logger.log(INFO, "Report written to " + path.toStdString());
            openInBrowser(parent, path);
        } else {
            logger.log(ERROR, "Report not written to " + path.toStdString());
            Prompts::instance()->warning(
                parent, QStringLiteral("Ошибка печати отчёта"),
                QStringLiteral("Не удалось записать отчёт в файл %1").arg(path));
        }
        // The sensor test is one report, whatever the number of traces shown.
        if (sensorTest)
            return;
    }
}

void ProfileAnalisisWidget::beginReportSnapshot() { }

void ProfileAnalisisWidget::endReportSnapshot() { }

// Fast settings: each change is saved at once, then the traces follow.

void ProfileAnalisisWidget::onThreadCompensationChanged(int state)
{
    const bool on = state == Qt::Checked;
    logger.log(INFO, on ? "Thread compensation turn on" : "Thread compensation turn off");
    {
        const auto locker = Settings::writeLocker();
        Settings::instance()->preferences.thread_angle_compensation = on;
    }
    angleSpinBox->setEnabled(on);
    reprocessAllTraces();
    Settings::instance()->save();
}

void ProfileAnalisisWidget::onMedianFilterChanged(int state)
{
    const bool on = state == Qt::Checked;
    logger.log(INFO, on ? "Median filter turn on" : "Median filter turn off");
    {
        const auto locker = Settings::writeLocker();
        Settings::instance()->preferences.meadian_filter = on;
    }
    medianSpinBox->setEnabled(on);
    ui->traceList->setMedianFilter(on, medianSpinBox->value());
    Settings::instance()->save();
    reprocessAllTraces();
}

void ProfileAnalisisWidget::onProfileFilterModeChanged(int index)
{
    logger.log(INFO, "Profile fiter mode change value");
    Settings::modify([index](Settings &s) { s.preferences.profile_filter_mode = index; });
    reprocessAllTraces();
    ui->traceList->reevaluateParameters();
}

void ProfileAnalisisWidget::onThreadAngleChanged(double value)
{
    logger.log(INFO,
               "Thread compensation change value to "
                   + QString::asprintf("%f", value).toStdString());
    Settings::modify(
        [value](Settings &s) { s.preferences.thread_angle_compensation_value = value; });
    reprocessAllTraces();
}

void ProfileAnalisisWidget::onMedianWindowChanged(int value)
{
    logger.log(INFO, "Median filter change value to " + std::to_string(value));
    Settings::modify([value](Settings &s) { s.preferences.meadian_filter_value = value; });
    ui->traceList->setMedianFilter(medianCheckBox->isChecked(), medianSpinBox->value());
    reprocessAllTraces();
}

void ProfileAnalisisWidget::onHistogramDensityChanged(int value)
{
    logger.log(INFO, "Histogram densyty spinner change value to " + std::to_string(value));
    Settings::modify([value](Settings &s) { s.preferences.histogramm_density_value = value; });
    for (TraceGraphsHolder *holder : qAsConst(holders))
        holder->histogramDensity = value;
    plotMain->replot();
    ui->traceList->reevaluateParameters();
}
