#include "dataproviders/DeviceDataProvider.h"

#include "core/AbstractTrace.h"
#include "core/CalibrationProcessors.h"
#include "core/ContourTrace.h"
#include "core/Settings.h"
#include "device/Device.h"
#include "device/DevicePort.h"

#include <QMutexLocker>

#include <chrono>

DeviceDataProvider::DeviceDataProvider(Device *dev)
    : DataProvider(QString::fromStdString(dev->port->portName))
    , device(dev)
{
    dataConnection = connect(device, &Device::dataRecieved, this,
                             &DeviceDataProvider::onDataRecieved, Qt::DirectConnection);
    connect(device, &Device::dataReset, this, &DeviceDataProvider::onDataReset);
}

DeviceDataProvider::~DeviceDataProvider()
{
    waiting = false;
    device->traceStarted.wakeAll();
    {
        const QMutexLocker locker(&m_intake);
        m_intakeOpened.wakeAll();
    }
    finishWorker();
    disconnect(dataConnection);
}

void DeviceDataProvider::prepare()
{
    AbstractTrace *target = trace();
    const Settings settings = Settings::snapshot();
    const QMutexLocker locker(&m_intake);
    target->setName(source());
    target->clearPointProcessors();
    if (target->type == CONTOUR || target->type == CONTOURPROF) {
        if (auto *contour = dynamic_cast<ContourTrace *>(target))
            contour->needlePressing = settings.movement.needle_pressing;
        target->addPointProcessor(new ContourConversionPointProcessor());
    }
}

bool DeviceDataProvider::obtainData()
{
    waiting = true;
    // The intake opens on the GUI thread, behind the dataReadStarted just emitted, so that a
    // receiver there sees no batch before it.
    QMetaObject::invokeMethod(
        this, [this] { openIntake(); }, Qt::QueuedConnection);

    const auto stop = [this] {
        return !waiting || cancelRequested();
    };
    if (waitForOpenIntake()) {
        while (device->traceStarted && !stop())
            device->traceStarted.waitWhileSet(std::chrono::milliseconds(kWaitStepMs), stop);
    }

    bool measured = true;
    {
        const QMutexLocker locker(&m_intake);
        m_closed = true;
        if (!measurementBeganLocked()) {
            // Only the preview came: raw counts, not a measurement.
            measured = false;
            pointCount = 0;
            trace()->clearData();
        }
    }
    disconnect(dataConnection);
    return measured;
}

bool DeviceDataProvider::measurementBegan() const
{
    const QMutexLocker locker(&m_intake);
    return measurementBeganLocked();
}

bool DeviceDataProvider::measurementBeganLocked() const
{
    const AbstractTrace *target = trace();
    if (!target || (target->type != PROFILE && target->type != ADDITIONAL_TRACE))
        return true;
    return m_previewEnded;
}

bool DeviceDataProvider::waitForOpenIntake()
{
    const QMutexLocker locker(&m_intake);
    while (!m_open) {
        if (!waiting || cancelRequested())
            return false;
        // A cancel does not wake this wait; it is seen within one step.
        m_intakeOpened.wait(&m_intake, 20);
    }
    return true;
}

void DeviceDataProvider::openIntake()
{
    QVector<Batch> batches;
    {
        const QMutexLocker locker(&m_intake);
        if (m_open || m_closed)
            return;
        m_open = true;
        for (const PendingPoint &point : qAsConst(m_pending))
            batches.append(appendLocked(point.sample, point.batchSize));
        m_pending.clear();
        m_intakeOpened.wakeAll();
    }
    for (const Batch &batch : qAsConst(batches))
        announce(batch);
}

DeviceDataProvider::Batch DeviceDataProvider::appendLocked(QVector<double> sample, int batchSize)
{
    trace()->appendPoint(sample);
    ++pointCount;
    if (batchSize > 0 && pointCount % batchSize == 0)
        return {pointCount - batchSize, batchSize};
    return {0, 0};
}

void DeviceDataProvider::announce(Batch batch)
{
    if (batch.count > 0)
        emit dataBatchReady(batch.from, batch.count);
}

void DeviceDataProvider::onDataRecieved(double probeHight, double consoleHight, double xpos,
                                        int kBatchNotificationSize)
{
    if (!device->traceStarted)
        return;
    Batch batch {0, 0};
    {
        const QMutexLocker locker(&m_intake);
        if (m_closed)
            return;
        QVector<double> sample {xpos, probeHight, consoleHight};
        if (!m_open) {
            m_pending.append({sample, kBatchNotificationSize});
            return;
        }
        batch = appendLocked(sample, kBatchNotificationSize);
    }
    announce(batch);
}

void DeviceDataProvider::onDataReset()
{
    if (!device->traceStarted)
        return;
    {
        const QMutexLocker locker(&m_intake);
        if (m_closed)
            return;
        m_previewEnded = true;
        pointCount = 0;
        m_pending.clear();
        if (!m_open || !trace())
            return; // nothing was announced yet
        trace()->clearData();
    }
    emit dataReset();
}
