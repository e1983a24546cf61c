#pragma once

#include "measurements/ui/ComparePlaneDXF.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <atomic>

// The real fit of a drawing, its first run held at its start until the test lets it go: what the
// GUI thread does meanwhile it can only do while the fit runs on another thread. Installed for
// the object's life; on its end the held fit is let go and waited for.
class HeldFit
{
public:
    HeldFit()
    {
        setDrawingFitFunction([this](const DxfDrawing &drawing, const QVector<QPointF> &points,
                                     const QPointF &pivot, double factor,
                                     const DrawingFit::Progress &progress) {
            if (++runs == 1) {
                onGuiThread = QThread::currentThread() == qApp->thread();
                waitedForTheGui = !onGuiThread && m_gate.tryAcquire(1, 60000);
            }
            const DrawingPose pose = fitDrawing(drawing, points, pivot, factor, progress);
            stopped = pose.stopped;
            return pose;
        });
    }
    ~HeldFit()
    {
        release();
        // A cancelled fit runs out on its worker; it uses this object until then.
        QThreadPool::globalInstance()->waitForDone();
        setDrawingFitFunction(nullptr);
    }
    HeldFit(const HeldFit &) = delete;
    HeldFit &operator=(const HeldFit &) = delete;

    void release() { m_gate.release(); }

    std::atomic<int> runs {0};
    std::atomic<bool> onGuiThread {false};
    std::atomic<bool> waitedForTheGui {false};
    std::atomic<bool> stopped {false};

private:
    QSemaphore m_gate;
};
