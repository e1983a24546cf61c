// The profile window's tool bar (pan, zoom to a selection, range markers and cutting, points,
// R-line and straightening, reset, hand-over to measurement), the level pick on the
// material-ratio plot, the reaction to changed settings, and the connections between the
// window's panels, its trace list and its plots.

#include "core/DisplayUnits.h"
#include "core/Logger.h"
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "dataproviders/DataProvider.h"
#include "device/ui/DeviceControlWidget.h"
#include "device/ui/FastSettingsWidget.h"
#include "device/ui/KeyReceiver.h"
#include "platform/Prompts.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "profile/AutoUnfocusSpinBox.h"
#include "profile/ProfileAnalisisWidget.h"
#include "profile/TraceGraphsHolder.h"
#include "profile/TraceList.h"
#include "traceprocessing/TraceRoad.h"
#include "ui_ProfileAnalisisWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTimer>
#include <cmath>

void ProfileAnalisisWidget::connectToolSignals()
{
    DeviceControlWidget *panel = ui->deviceControlWidget;
    FastSettingsWidget *fast = ui->fastSettingsWidget;
    TraceList *list = ui->traceList;

    connect(ui->actionToMeasurement, &QAction::triggered, this,
            &ProfileAnalisisWidget::onToMeasurement);
    connect(panel, &DeviceControlWidget::newTrace, this,
            [this](DataProvider *provider, E_ANALISIS_TYPE type) {
                if (setDataProvider(provider))
                    startReading(type);
            });
    connect(panel, &DeviceControlWidget::lockButtons, this, [this] {
        lockToolBar();
        emit lockButtons();
    });
    connect(panel, &DeviceControlWidget::unlockButtons, this, [this] {
        unlockToolBar();
        emit unlockButtons();
    });
    connect(panel, &DeviceControlWidget::lockButtons, fast, [this] { lockFastSettings(true); });
    connect(panel, &DeviceControlWidget::unlockButtons, fast, [this] { lockFastSettings(false); });
    connect(panel, &DeviceControlWidget::enableFastSettings, fast,
            &FastSettingsWidget::enableFastSettings);
    connect(fast, &FastSettingsWidget::setDeviceType, panel, &DeviceControlWidget::setDeviceType);
    connect(fast, &FastSettingsWidget::changePressingPower, panel,
            &DeviceControlWidget::changePressingPower);
    connect(fast, &FastSettingsWidget::setMMPerRotation, panel,
            &DeviceControlWidget::setMMPerRotation);
    connect(fast, &FastSettingsWidget::setCalibrationEnable, panel,
            &DeviceControlWidget::setCalibrationEnable);

    connect(list, &TraceList::traceDeleted, this, &ProfileAnalisisWidget::onTraceDeleted);
    connect(list, &TraceList::setGraphSelected, this, [this](int id, bool selected) {
        if (TraceGraphsHolder *holder = holders.value(id)) {
            if (selected)
                holder->setSelectedPen();
            else
                holder->setNormalPen();
        }
        plotMain->replot(QCustomPlot::rpQueuedReplot);
    });
    connect(list, &TraceList::setGraphVisible, this, [this](int id, bool visible) {
        if (TraceGraphsHolder *holder = holders.value(id)) {
            holder->setVisible(visible);
            autoscale();
        }
    });
    connect(ui->actionPAN, &QAction::toggled, this, &ProfileAnalisisWidget::onActionPanToggled);
    connect(ui->actionReset, &QAction::triggered, this, [this] {
        logger.log(INFO, "Reset action in profileanaliswidget");
        autoscale();
    });
    connect(list, &TraceList::createTrace, this, &ProfileAnalisisWidget::addTraceFromData);
    connect(ui->actionPTS, &QAction::toggled, this, &ProfileAnalisisWidget::onActionPtsToggled);
    connect(ui->actionRLine, &QAction::toggled, this, &ProfileAnalisisWidget::onActionRLineToggled);
    connect(ui->actionRFit, &QAction::toggled, this, &ProfileAnalisisWidget::onActionRFitToggled);
    connect(ui->actionSelectionZoom, &QAction::toggled, this,
            &ProfileAnalisisWidget::onActionSelectionZoomToggled);
    connect(ui->actionMarkers, &QAction::toggled, this,
            &ProfileAnalisisWidget::onActionMarkersToggled);
    connect(ui->actionCut, &QAction::triggered, this, &ProfileAnalisisWidget::onActionCutTriggered);
    connect(plotRMR, &QCustomPlot::mousePress, this,
            &ProfileAnalisisWidget::onMaterialRatioPlotClicked);

    connect(compensationCheckBox, &QCheckBox::stateChanged, this,
            &ProfileAnalisisWidget::onThreadCompensationChanged);
    connect(angleSpinBox, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ProfileAnalisisWidget::onThreadAngleChanged);
    connect(medianSpinBox, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &ProfileAnalisisWidget::onMedianWindowChanged);
    connect(medianCheckBox, &QCheckBox::stateChanged, this,
            &ProfileAnalisisWidget::onMedianFilterChanged);
    connect(profileKindComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ProfileAnalisisWidget::onProfileFilterModeChanged);
    connect(histogramSpinBox, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &ProfileAnalisisWidget::onHistogramDensityChanged);
    connect(panel, &DeviceControlWidget::statusBarText, this,
            [this](const QString &text) { ui->statusBar->showMessage(text); });
}

void ProfileAnalisisWidget::lockFastSettings(bool locked)
{
    if (locked)
        ui->fastSettingsWidget->lockButtons();
    else
        ui->fastSettingsWidget->unlockButtons();
    for (QWidget *widget :
         std::initializer_list<QWidget *> {medianCheckBox, medianSpinBox, profileKindComboBox,
                                           compensationCheckBox, angleSpinBox})
        widget->setEnabled(!locked);
}

bool ProfileAnalisisWidget::deleteHolder(int id)
{
    TraceGraphsHolder *holder = holders.take(id);
    delete holder;
    return holder != nullptr;
}

void ProfileAnalisisWidget::onTraceDeleted(int id)
{
    deleteHolder(id);
    m_road->removeTrace(id);
    if (ui->traceList->traces.isEmpty())
        ui->deviceControlWidget->setEnableAdditionalTraceButton(false);
    // A whole family leaves one entry after another: the plots are brought up to date once,
    // when the removal is over. The profile plot is drawn again even when no curve is left to
    // scale to, so that a removed curve does not stay on the screen.
    if (m_refreshAfterRemoval)
        return;
    m_refreshAfterRemoval = true;
    QTimer::singleShot(0, this, [this] {
        m_refreshAfterRemoval = false;
        autoscale();
        plotMain->replot(QCustomPlot::rpQueuedReplot);
        if (!reading)
            updateParamPlots();
    });
}

void ProfileAnalisisWidget::onActionPanToggled(bool on)
{
    if (on) {
        logger.log(INFO, "actionPAN in profilewidget enabled");
        ui->actionMarkers->setChecked(false);
        ui->actionSelectionZoom->setChecked(false);
        plotMain->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
        plotMain->setSelectionRectMode(QCP::srmNone);
        plotMain->setCursor(Qt::OpenHandCursor);
    } else {
        logger.log(INFO, "actionPAN in profilewidget disabled");
        plotMain->unsetCursor();
        // Without pan the left button no longer drags the view; the wheel still zooms.
        plotMain->setInteraction(QCP::iRangeDrag, false);
    }
}

void ProfileAnalisisWidget::onActionSelectionZoomToggled(bool on)
{
    if (on) {
        logger.log(INFO, "actionSelectionZoom in profileAyaliswidget enabled");
        ui->actionPAN->setChecked(false);
        ui->actionMarkers->setChecked(false);
        plotMain->setSelectionRectMode(QCP::srmZoom);
    } else {
        logger.log(INFO, "actionSelectionZoom in profileAyaliswidget disabled");
        plotMain->setSelectionRectMode(QCP::srmNone);
    }
}

void ProfileAnalisisWidget::onActionMarkersToggled(bool on)
{
    if (on) {
        logger.log(INFO, "actionMarkers in profileAyaliswidget enabled");
        ui->actionCut->setEnabled(true);
        ui->actionPAN->setChecked(false);
        ui->actionSelectionZoom->setChecked(false);
        plotMain->setInteractions(QCP::iSelectPlottables | Plot::iKeepSelections
                                  | Plot::iRangeSelection);
        plotMain->setSelectionRectMode(Plot::srmSelectRealtime);
        for (TraceGraphsHolder *holder : qAsConst(holders)) {
            if (holder->curve)
                holder->curve->setSelectable(QCP::stDataRange);
        }
    } else {
        logger.log(INFO, "actionMarkers in profileAyaliswidget disabled");
        plotMain->setInteractions(QCP::iSelectPlottables);
        plotMain->setSelectionRectMode(QCP::srmNone);
        ui->actionCut->setEnabled(false);
    }
}

void ProfileAnalisisWidget::onActionCutTriggered()
{
    logger.log(INFO, "actionCut in profileAyaliswidget");
    const QList<TraceGraphsHolder *> all = holders.values();
    for (TraceGraphsHolder *holder : all) {
        const auto range = holder->selectedRawRange();
        if (range.first >= range.second)
            continue;
        holder->clearSelection();
        m_road->cropTrace(holder->trace, range.first, range.second);
    }
    plotMain->deselectAll();
    plotMain->rescaleAxes(true);
    plotMain->replot();
}

void ProfileAnalisisWidget::onActionPtsToggled(bool on)
{
    logger.log(INFO,
               on ? "actionPTS in profileAyaliswidget enabled"
                  : "actionPTS in profileAyaliswidget disabled");
    for (TraceGraphsHolder *holder : qAsConst(holders))
        holder->setPointsVisible(on);
    plotMain->replot();
}

void ProfileAnalisisWidget::onActionRLineToggled(bool on)
{
    logger.log(INFO,
               on ? "actionRLine in profileAyaliswidget enabled"
                  : "actionRLine in profileAyaliswidget disabled");
    if (!on)
        ui->actionRFit->setChecked(false);
    for (TraceGraphsHolder *holder : qAsConst(holders)) {
        if (!holder->isVisible())
            continue;
        // A long trace is drawn again beside the GUI thread and shown when it is ready.
        if (holder->rebuildsInBackground())
            holder->rebuildInBackground(on, false, [this] { plotMain->replot(); });
        else
            holder->rebuild(on, false);
        ui->actionRFit->setEnabled(on);
    }
    plotMain->replot();
}

void ProfileAnalisisWidget::onActionRFitToggled(bool on)
{
    logger.log(INFO,
               on ? "actionRFit in profileAyaliswidget enabled"
                  : "actionRFit in profileAyaliswidget disabled");
    for (TraceGraphsHolder *holder : qAsConst(holders)) {
        if (!holder->isVisible())
            continue;
        if (holder->rebuildsInBackground()) {
            holder->rebuildInBackground(true, on, [this] {
                plotMain->rescaleAxes(true);
                plotMain->replot();
            });
        } else {
            holder->rebuild(true, on);
        }
    }
    plotMain->rescaleAxes(true);
    plotMain->replot();
}

void ProfileAnalisisWidget::onMaterialRatioPlotClicked(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int x = qRound(event->localPos().x());
    const int y = qRound(event->localPos().y());
    const double level = plotRMR->yAxis->pixelToCoord(y);
    const double ratio = plotRMR->xAxis->pixelToCoord(x);
    if (QCPAbstractPlottable *plottable = plotRMR->plottableAt(QPointF(x, y), true)) {
        if (auto *holder = plottable->property("gholder").value<TraceGraphsHolder *>()) {
            holder->setLevel(ratio, level);
            plotMain->replot();
        }
    }
    // The level is in the display unit; the traces keep theirs in micrometres (another setting
    // takes the level as it is).
    const double micrometresPerUnit = micrometresPerUnitOf(Settings::instance()->view.axis_unit);
    m_road->setSectionLevel(micrometresPerUnit > 0.0 ? level * micrometresPerUnit : level);
}

void ProfileAnalisisWidget::settingsChanged()
{
    DeviceControlWidget *panel = ui->deviceControlWidget;
    const Settings &settings = *Settings::instance();
    panel->applyPressing(settings.movement.needle_pressing, settings.device.power_pressing);
    ui->fastSettingsWidget->fillCombos();
    ui->traceList->refresh();
    updateUnitLabels();
    keyReceiver = panel->updateKeyMap();
    if (settings.calibration.upload_device_settings) {
        // The flag goes only once the instrument has the values.
        if (panel->device.uploadDeviceParams()) {
            Settings::modify([](Settings &s) { s.calibration.upload_device_settings = false; });
        }
    }
}

bool ProfileAnalisisWidget::checkTracesForMeasurement()
{
    if (holders.isEmpty()) {
        Prompts::instance()->warning(this, QStringLiteral("Ошибка"),
                                     QStringLiteral("Нет трассы для измерения."));
        return false;
    }
    if (visibleTraces().isEmpty()) {
        Prompts::instance()->warning(this, QStringLiteral("Ошибка"),
                                     QStringLiteral("Нет видимых трасс, сделайте хотя бы одну "
                                                    "трассу видимой для дальнейших измерений"));
        return false;
    }
    return true;
}

void ProfileAnalisisWidget::onToMeasurement()
{
    logger.log(INFO, "actionToMeasurement was pressed");
    QVector<AbstractTrace *> traces;
    {
        const QSignalBlocker blocker(keyReceiver);
        if (!checkTracesForMeasurement())
            return;
        traces = visibleTraces().toVector();
        for (const AbstractTrace *trace : qAsConst(traces)) {
            if (trace->type != traces.first()->type) {
                Prompts::instance()->critical(
                    this, QStringLiteral("Ошибка"),
                    QStringLiteral("Нельзя проводить измерения разных типов трасс"));
                return;
            }
        }
    }
    emit readyForMeasurment(traces);
}
