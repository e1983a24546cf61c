#pragma once

#include "dataproviders/DataProvider.h"

#include <QMetaObject>
#include <QMutex>
#include <QVector>

#include <atomic>

class Device;

// The data provider of a trace recorded from the instrument. It takes the road of a trace file:
// the profile window starts it on a worker thread like a file provider. It reads nothing itself:
// the points arrive on the GUI thread through `Device::dataRecieved`, are appended to the trace
// at once and announced in batches of the size the device gives with each point, while the worker
// only waits for the trace to end (`Device::traceStarted` clearing). The base class then
// post-processes and finishes the trace as after a file read.
//
// Threads. The point intake runs on the GUI thread and the worker's `prepare` sets the trace's
// point processors; both hold the intake lock, so the processors never change under an append.
// Points that arrive before the worker has started are kept and appended when it starts, so the
// first points of a trace are not lost. When the wait ends the intake is closed under the same
// lock: no point is appended while the worker post-processes.
//
// Lifetime. The device must outlive the provider. The destructor ends the wait and waits for the
// worker, so the provider always outlives its worker.
class DeviceDataProvider : public DataProvider
{
    Q_OBJECT

public:
    explicit DeviceDataProvider(Device *device);
    ~DeviceDataProvider() override;

    void prepare() override;
    bool obtainData() override;

    // The point intake, connected directly to Device::dataRecieved (GUI thread).
    void onDataRecieved(double probeHight, double consoleHight, double xpos,
                        int kBatchNotificationSize);
    // The profilometer's preview ended: its points are dropped from the trace (GUI thread).
    void onDataReset();

    // Borrowed.
    Device *device;
    // Points appended since the start of the trace or the last reset (guarded by the intake
    // lock).
    int pointCount = 0;
    QMetaObject::Connection dataConnection;
    // The worker keeps waiting while it is set; cleared by the destructor.
    std::atomic<bool> waiting {false};

    // The longest the worker sleeps between two looks at the device.
    static constexpr int kWaitStepMs = 500;

private:
    struct Batch
    {
        int from;
        int count;
    };
    struct PendingPoint
    {
        QVector<double> sample;
        int batchSize;
    };

    // Appends one sample; returns the batch it completes (count 0 for none). Intake lock held.
    Batch appendLocked(QVector<double> sample, int batchSize);
    void announce(Batch batch);

    QMutex m_intake;
    bool m_open = false;
    bool m_closed = false;
    QVector<PendingPoint> m_pending;
};
