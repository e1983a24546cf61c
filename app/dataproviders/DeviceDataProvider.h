#pragma once

#include "dataproviders/DataProvider.h"

#include <QMetaObject>
#include <QMutex>
#include <QVector>
#include <QWaitCondition>

#include <atomic>

class Device;

// The data provider of a trace recorded from the instrument. It takes the road of a trace file:
// the profile window starts it on a worker thread like a file provider. It reads nothing itself:
// the points arrive on the GUI thread through `Device::dataRecieved`, are appended to the trace
// at once and announced in batches of the size the device gives with each point, while the worker
// only waits for the trace to end (`Device::traceStarted` clearing). The base class then
// post-processes and finishes the trace as after a file read.
//
// Order of the signals. Every batch is announced on the GUI thread, after dataReadStarted and in
// order: the worker emits dataReadStarted and then posts the opening of the point intake to the
// GUI thread, behind the queued dataReadStarted. Points that arrive before the intake opens are
// kept and appended, and announced, when it opens, so the first points of a trace are not lost.
//
// Threads. The point intake runs on the GUI thread and the worker's `prepare` sets the trace's
// point processors; both hold the intake lock, so the processors never change under an append.
// When the wait ends the intake is closed under the same lock: no point is appended while the
// worker post-processes.
//
// A profilometer trace is measured only from the end of its preview (the end marker, announced
// by Device::dataReset): the preview's samples are raw counts that only show the operator where
// the probe is. A profile trace (PROFILE, ADDITIONAL_TRACE) that ends before that marker (a lost
// link, a stop or an alarm during the preview) has no measured sample: obtainData drops the
// preview's samples from the trace and returns false, so the read's lastResult() tells the window
// that there is nothing to keep. A contour trace, whose points are measured from the first one,
// and a profile trace that ends inside its sample block keep their points and return true.
//
// Lifetime. The device must outlive the provider. The destructor ends the wait and waits for the
// worker, so the provider always outlives its worker. `waitForFinished` on the GUI thread ends
// the wait first (the trace's end could only come through that thread), keeping the points.
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
    // The measured samples of the trace have begun: always for a contour trace, after the
    // preview's end marker for a profile trace. Any thread.
    bool measurementBegan() const;

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

protected:
    bool endsThroughOwnerThread() const override { return true; }

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
    bool measurementBeganLocked() const;
    void announce(Batch batch);
    // GUI thread, posted by the worker: appends and announces the points kept so far and lets
    // later points through.
    void openIntake();
    // The worker waits for the intake to open; false when it stopped waiting first.
    bool waitForOpenIntake();

    mutable QMutex m_intake;
    QWaitCondition m_intakeOpened;
    bool m_open = false;
    bool m_closed = false;
    // The preview's end marker came (intake lock).
    bool m_previewEnded = false;
    QVector<PendingPoint> m_pending;
};
