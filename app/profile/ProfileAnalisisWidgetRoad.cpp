// The profile window's side of the data road: it attaches its provider to the trace road and
// draws what the road announces (traces entering and leaving, batches of a read, new
// processed data, new parameter values), asks the operator what the road asks, and runs saving,
// the reports and the fast settings.

#include "core/Constants.h"
#include "core/ContourTrace.h"
#include "core/DisplayUnits.h"
#include "core/Logger.h"
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "dataproviders/DataProvider.h"
#include "device/ui/DeviceControlWidget.h"
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
#include "traceprocessing/TraceRoad.h"
#include "ui_ProfileAnalisisWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>

namespace {

QString dateSuffix()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("_yyyy_MM_dd_HH_mm_ss"));
}

} // namespace

void ProfileAnalisisWidget::followProvider(DataProvider *provider)
{
    m_road->attach(provider);
}

AbstractTrace *ProfileAnalisisWidget::createTrace(int traceKind)
{
    return m_road->createTrace(traceKind, dataProvider());
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

void ProfileAnalisisWidget::connectRoad()
{
    m_road->recordingSpeed = [this] {
        return ui->deviceControlWidget->currentSpeed();
    };
    m_road->cutOffQuestion = [this](int cutOff, bool *remember) {
        return askToChangeCutOff(cutOff, remember);
    };
    m_road->instrumentFilter = [this](int index) {
        ui->deviceControlWidget->setFilterIndex(index);
    };
    // Dp is read off the histogram of the trace in view: while it is shown, it is evaluated once
    // the family's processed points are drawn and the statistics of the view are in. The other
    // parameters run beside the drawing.
    m_road->evaluationHeld = [this](const AbstractTrace *root) {
        const PreferencesSettings &shown = Settings::instance()->preferences;
        bool histogramShown = false;
        for (int i = 0; i < shown.enabled_params_count; ++i)
            histogramShown |= readsViewHistogram(shown.enabled_params.value(i));
        if (!histogramShown)
            return false;
        if (statisticsComeLater())
            return true;
        QList<const AbstractTrace *> members {root};
        if (isProfileKind(root->type)) {
            for (const ProfileTrace *child :
                 static_cast<const ProfileTrace *>(root)->additionalTraces)
                members.append(child);
        }
        for (const AbstractTrace *member : qAsConst(members)) {
            const TraceGraphsHolder *holder = holders.value(member->id);
            if (holder && holder->rebuildPending())
                return true;
        }
        // The drawing is in: long statistics of the view not made yet start beside the GUI
        // thread, and the evaluation waits for them rather than making them on it.
        if (!reading)
            updateParamPlots();
        return statisticsComeLater();
    };
    connect(m_road, &TraceRoad::readBegan, this, &ProfileAnalisisWidget::onReadBegan);
    connect(m_road, &TraceRoad::traceAdded, this, &ProfileAnalisisWidget::onTraceAdded);
    connect(m_road, &TraceRoad::samplesArrived, this, &ProfileAnalisisWidget::onSamplesArrived);
    connect(m_road, &TraceRoad::samplesDiscarded, this, [this](AbstractTrace *trace) {
        forgetPendingSamples();
        if (TraceGraphsHolder *holder = holders.value(trace->id))
            holder->clearCurve();
    });
    connect(m_road, &TraceRoad::traceReprocessed, this, &ProfileAnalisisWidget::onTraceReprocessed);
    connect(m_road, &TraceRoad::aboutToEvaluate, this, [this] {
        // Dp is read off the histogram of the trace in view: it is made before the evaluation.
        updateParamPlots(true);
    });
    connect(m_road, &TraceRoad::parametersChanged, ui->traceList,
            &TraceList::fillSelectedParameters);
    connect(m_road, &TraceRoad::traceRemoved, this, &ProfileAnalisisWidget::onTraceRemoved);
    connect(m_road, &TraceRoad::readEnded, this, &ProfileAnalisisWidget::onReadEnded);
    connect(m_road, &TraceRoad::readRefused, this, [this](const QString &text) {
        Prompts::instance()->warning(this, QStringLiteral("Ошибка чтения трассы"), text);
    });
    connect(m_road, &TraceRoad::recordingInterrupted, this, [this] {
        // Held for a while against the panel's live status line.
        ui->deviceControlWidget->showStatus(QStringLiteral("Трасса прервана до начала измерения"));
    });
    connect(m_road, &TraceRoad::recordingNotSaved, this, [this](const QString &path) {
        Prompts::instance()->warning(
            this, QStringLiteral("Ошибка сохранения трассы"),
            QStringLiteral("Не удалось сохранить трассу в файл %1. Трасса остаётся в программе: "
                           "сохраните её командой «Сохранить трассы».")
                .arg(path));
    });

    TraceList *list = ui->traceList;
    connect(list, &TraceList::cutOffChosen, this,
            [this](int id, double cutOff) { m_road->setCutOff(m_road->trace(id), cutOff); });
    connect(list, &TraceList::consoleChosen, this,
            [this](int id, const ConsoleParams &console, bool toFile) {
                m_road->setConsole(m_road->trace(id), console, toFile);
            });
    connect(list, &TraceList::additionalTraceRemoved, m_road, &TraceRoad::detachAdditionalTrace);
    connect(list, &TraceList::recalculateTrace, m_road, &TraceRoad::evaluateAll);
}

bool ProfileAnalisisWidget::askToChangeCutOff(int cutOff, bool *remember)
{
    return Prompts::instance()->questionWithCheckBox(
               this, QStringLiteral("Изменение фильтра"),
               QStringLiteral("Согласно текущему стандарту выбранный фильтр не соответствует "
                              "измерению. Сменить фильтр на %1 мм?")
                   .arg(cutOff * unitsPerMicrometreOf(MillimetreUnit), 0, 'f', 3),
               QStringLiteral("Запомнить выбор"), remember)
        == QMessageBox::Yes;
}

void ProfileAnalisisWidget::onReadBegan(AbstractTrace *trace)
{
    // The side plots stand still from here to the end of the read.
    reading = true;
    lockToolBar();
    TraceList *list = ui->traceList;
    list->readingTrace = trace;
    if (Settings::instance()->service.test_sensor_mode)
        list->removeAllButReadingTrace();
    else
        m_hiddenByRead = list->uncheckProfileTraces();
    emit lockButtons();
}

void ProfileAnalisisWidget::onTraceAdded(AbstractTrace *trace, int entry, const QString &name,
                                         bool shown)
{
    TraceGraphsHolder *holder = createHolder(trace, shown);
    // The trace being read is drawn batch by batch; any other shows its processed data.
    if (trace != m_road->readingTrace()) {
        holder->rebuild(ui->actionRLine->isChecked(), ui->actionRFit->isChecked());
        holder->setPointsVisible(ui->actionPTS->isChecked());
    } else if (const DataProvider *provider = dataProvider(); provider && !provider->isLive()) {
        // A row of a trace file takes some 8 bytes at the least: the curve makes room for the
        // rows the file can hold (a recording grows slowly and needs none).
        constexpr qint64 kLeastRowBytes = 8;
        constexpr qint64 kMostRoom = 1 << 24;
        holder->expectPoints(
            int(std::min(QFileInfo(provider->source()).size() / kLeastRowBytes, kMostRoom)));
    }
    TraceList *list = ui->traceList;
    if (entry == TraceRoad::AdditionalEntry)
        list->addAdditionalTrace(trace, !shown);
    else
        list->addMainTrace(trace, name);
    if (trace != m_road->readingTrace())
        autoscale();
}

void ProfileAnalisisWidget::onSamplesArrived(AbstractTrace *trace, int from, int count)
{
    if (m_pendingTrace != trace) {
        m_pendingTrace = trace;
        m_pendingFrom = from;
        m_pendingTo = from;
    }
    m_pendingTo = std::max(m_pendingTo, from + count);
    m_pendingFrom = std::min(m_pendingFrom, from);
    schedulePendingSamples();
}

void ProfileAnalisisWidget::schedulePendingSamples()
{
    if (!m_pendingDraw) {
        m_pendingDraw = new QTimer(this);
        m_pendingDraw->setSingleShot(true);
        m_pendingDraw->setInterval(kPendingDrawMs);
        connect(m_pendingDraw, &QTimer::timeout, this, &ProfileAnalisisWidget::drawPendingSamples);
    }
    if (!m_pendingDraw->isActive())
        m_pendingDraw->start();
}

void ProfileAnalisisWidget::drawPendingSamples()
{
    AbstractTrace *trace = m_pendingTrace;
    TraceGraphsHolder *holder = trace ? holders.value(trace->id) : nullptr;
    if (!holder || trace != m_road->readingTrace() || m_pendingTo <= m_pendingFrom)
        return;
    // The converted samples: a contour sample's height already carries its console height. The
    // window never waits for the data lock: while the provider's worker holds it (moving a
    // growing data set) the samples are drawn a moment later, together with the next ones.
    // The samples are drawn where they lie, without a copy (a preview reduces them as it goes).
    const auto draw = [holder](const TData &set, int begin, int end) {
        if (set.size() >= 2)
            holder->appendPoints(set.at(0).constData() + begin, set.at(1).constData() + begin,
                                 end - begin);
    };
    if (!trace->tryReadSamples(m_pendingFrom, m_pendingTo - m_pendingFrom, draw)) {
        schedulePendingSamples();
        return;
    }
    m_pendingFrom = m_pendingTo;
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

void ProfileAnalisisWidget::onTraceReprocessed(AbstractTrace *trace)
{
    // Whatever of a read was not drawn yet is in the processed data now.
    if (trace == m_pendingTrace)
        forgetPendingSamples();
    // The length label follows the processed data.
    ui->traceList->fillSelectedParameters(trace);
    TraceGraphsHolder *holder = holders.value(trace->id);
    if (!holder) {
        autoscale();
        return;
    }
    // A long trace's points are made beside the GUI thread; the view follows once they are on
    // the curve.
    const QPointer<TraceGraphsHolder> drawn(holder);
    holder->rebuildInBackground(holder->showsRLine(), holder->straightens(), [this, drawn] {
        autoscale();
        // A long trace is drawn now rather than at the queued picture: the statistics of the
        // new view start with it, and an evaluation waiting for the drawing (Dp reads their
        // histogram) waits for them too instead of computing them on the GUI thread.
        if (drawn && drawn->curve
            && drawn->curve->data()->size() >= TraceGraphsHolder::kBackgroundRebuildPoints)
            plotMain->replot();
    });
}

void ProfileAnalisisWidget::forgetPendingSamples()
{
    m_pendingTrace = nullptr;
    m_pendingFrom = 0;
    m_pendingTo = 0;
    if (m_pendingDraw)
        m_pendingDraw->stop();
}

void ProfileAnalisisWidget::onReadEnded(AbstractTrace *trace)
{
    forgetPendingSamples();
    if (m_batchDrawTimer)
        m_batchDrawTimer->stop();
    reading = false;
    TraceList *list = ui->traceList;
    if (trace) {
        list->refreshTraceItem(trace);
        autoscale();
    } else {
        // A read that brought no trace (refused, interrupted before its measurement, removed
        // while read) leaves the traces in view as they were before it.
        list->checkTraces(m_hiddenByRead);
    }
    m_hiddenByRead.clear();
    unlockToolBar();
    list->readingTrace = nullptr;
    emit unlockButtons();
    if (trace) {
        list->selectTrace(trace->id);
        if (Settings::instance()->service.test_sensor_mode && isProfileKind(trace->type))
            list->runSensorTest(trace);
    }
    // An additional trace needs a main trace to hang on.
    ui->deviceControlWidget->setEnableAdditionalTraceButton(!list->traces.isEmpty());
    // The side plots follow the view: with a trace, at the replot its scaling has queued (their
    // statistics are computed while the profile is drawn); without one, now.
    if (!trace)
        recalcParamPlots();
}

void ProfileAnalisisWidget::onTraceRemoved(int id)
{
    // The road let the trace go (a refused read): its entry and its graphs go too.
    ui->traceList->forgetTrace(id);
    onTraceDeleted(id);
}

void ProfileAnalisisWidget::reprocessAllTraces()
{
    m_road->reprocessAll();
    plotMain->replot();
    autoscale();
}

void ProfileAnalisisWidget::addTraceFromData(TData data)
{
    m_road->addJoinedTrace(data);
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
        // The dialog names the trace as the list does (a recording's own name is its port's).
        QString path = Prompts::instance()->saveFileName(
            this, list->entryName(trace),
            settings.preferences.save_trace_folder + settings.service.default_trace_file_name
                + dateSuffix(),
            QStringLiteral("Text files (*.txt)"));
        if (path.isEmpty())
            continue;
        Settings::modify([&path](Settings &s) {
            s.preferences.save_trace_folder
                = path.section(QLatin1Char('/'), 0, -2) + QLatin1Char('/');
        });
        path = textFilePath(path);
        const bool written = m_road->saveTrace(trace, path, format);
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
    // The report shows the values of the trace as it is now.
    finishPendingDrawings();
    m_road->waitForEvaluations();
    ExtraArgs args;
    return profileReportData(subject, args, *Settings::instance());
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
    // Every report row is that of the traces as they are now.
    finishPendingDrawings();
    m_road->waitForEvaluations();
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

void ProfileAnalisisWidget::finishPendingDrawings()
{
    for (TraceGraphsHolder *holder : qAsConst(holders))
        holder->finishRebuild();
}

void ProfileAnalisisWidget::beginReportSnapshot() { }

void ProfileAnalisisWidget::endReportSnapshot() { }

// Fast settings: each change is saved at once, then the traces follow.

void ProfileAnalisisWidget::onThreadCompensationChanged(int state)
{
    const bool on = state == Qt::Checked;
    logger.log(INFO, on ? "Thread compensation turn on" : "Thread compensation turn off");
    Settings::modify([on](Settings &s) { s.preferences.thread_angle_compensation = on; });
    angleSpinBox->setEnabled(on);
    reprocessAllTraces();
}

void ProfileAnalisisWidget::onMedianFilterChanged(int state)
{
    const bool on = state == Qt::Checked;
    logger.log(INFO, on ? "Median filter turn on" : "Median filter turn off");
    Settings::modify([on](Settings &s) { s.preferences.meadian_filter = on; });
    medianSpinBox->setEnabled(on);
    m_road->setMedianFilter(on, medianSpinBox->value());
    reprocessAllTraces();
}

void ProfileAnalisisWidget::onProfileFilterModeChanged(int index)
{
    logger.log(INFO, "Profile fiter mode change value");
    Settings::modify([index](Settings &s) { s.preferences.profile_filter_mode = index; });
    // The view changes the processed length, which the too-short rule reads: every parameter
    // is evaluated again with the reprocessing.
    reprocessAllTraces();
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
    m_road->setMedianFilter(medianCheckBox->isChecked(), medianSpinBox->value());
    reprocessAllTraces();
}

void ProfileAnalisisWidget::onHistogramDensityChanged(int value)
{
    logger.log(INFO, "Histogram densyty spinner change value to " + std::to_string(value));
    Settings::modify([value](Settings &s) { s.preferences.histogramm_density_value = value; });
    for (TraceGraphsHolder *holder : qAsConst(holders))
        holder->histogramDensity = value;
    plotMain->replot();
    m_road->renewSectionParameters();
}
