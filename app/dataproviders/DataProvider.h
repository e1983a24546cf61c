#pragma once

#include <QFuture>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>

class AbstractTrace;

// Fills one trace with samples from one source (a trace file, the instrument) on a thread of the
// global thread pool and reports its progress by signals.
//
// The worker road (`start` queues it; it runs on the pool thread):
//   prepare() -> dataReadStarted -> obtainData() -> the step set with setBeforePostProcessing ->
//   the trace's post-processors -> the trace's finalizeAfterRead() -> dataReadFinished.
// The post-processors and the finishing run whatever obtainData returned, so a failed read ends
// like a good one, with the samples read so far. A cancel stops them as well (each polls the
// stop flag as it goes): the step under way leaves the data as it found them and the later ones
// do not run, so a cancelled read ends promptly with its samples as far as they were processed.
// `dataReadFinished` is always the last signal of a road, also when a step threw: the exception is
// caught on the worker and reported as `dataReadError(message)` (and logged at ERROR) before
// `dataReadFinished`, so a window that locks itself on `dataReadStarted` is always unlocked again;
// `lastResult` is then false, whether the step that threw was the read or the processing after it.
//
// Batches and the GUI thread. The provider announces samples with dataBatchReady(from, count)
// only after all of them are in the trace; samples are only ever appended at the end. Receivers
// on the GUI thread get the signal queued, while the worker goes on appending (a growing
// container may move its storage) and, at the end, runs the post-processors (which may shorten
// or replace the processed data set). Therefore, until `dataReadFinished` has been received:
//  - read an announced batch only through AbstractTrace::batchSamples(from, count): it copies
//    the converted samples under the trace's data lock, which appendPoint and every other change
//    of the data sets take as well;
//  - never index rawData, convertedData or processedData directly;
//  - a batch signal that arrives late (after the post-processors ran) still gives exactly the
//    announced samples, because the converted data set is never changed by post-processing;
//    batchSamples clamps the range to the samples present, so it never reads past them.
// After `dataReadFinished` the worker no longer touches the trace and the GUI thread may use it
// freely.
//
// Lifetime. The provider keeps the future of its worker road. The provider and its trace must
// outlive the road: the destructor asks the road to stop (`cancel`) and waits for it, so
// deleting a provider never leaves a worker running on freed memory; delete the provider before
// the trace it fills. A subclass whose obtainData uses its own members must call
// `finishWorker()` first thing in its destructor (the base destructor runs too late for that),
// and an obtainData that waits for anything must poll `cancelRequested()` while it waits.
class DataProvider : public QObject
{
    Q_OBJECT

public:
    // A provider without parent that reads from source (a file path or a serial port name).
    explicit DataProvider(const QString &source);
    ~DataProvider() override;

    // Gets the trace ready for this source (name, point processors); runs on the worker.
    virtual void prepare() = 0;
    // Puts the samples into the trace; true when the read succeeded. The base version announces
    // an empty batch, dataBatchReady(0, 0), and returns true.
    virtual bool obtainData();

    QString source() const { return m_source; }
    // The result of the last obtainData (false before the first road has ended).
    bool lastResult() const { return m_lastResult.load(); }
    // The trace being filled; null before `start`. Not owned.
    AbstractTrace *trace() const { return m_trace; }
    // True for a recording from the instrument (a road that ends through events of the thread
    // the provider lives on), false for a file.
    bool isLive() const { return endsThroughOwnerThread(); }

    // A step the road runs on the worker once the samples are in, before the trace's
    // post-processors: the owner of the trace rebuilds its chain there (a file's header may have
    // given the trace another cut-off). Set it before `start`.
    void setBeforePostProcessing(std::function<void(AbstractTrace &)> step);

    // Stores the trace and queues the worker road on QThreadPool::globalInstance(); returns at
    // once, true when the road was queued. A null trace never reaches the worker: it is reported
    // (ERROR log line, dataReadError, dataReadFinished) on the calling thread. A start while a
    // road is still reading never waits for it (a live read ends only through the GUI thread's
    // events, so waiting there would never end): it is refused with an ERROR log line and no
    // signal, and the running road goes on. Once the road has emitted dataReadFinished, a new
    // start is accepted.
    bool start(AbstractTrace *trace);

    // Asks a running road to stop: the reading, the post-processors and the finishing end at
    // their next look at the flag, and the road emits dataReadFinished with lastResult false.
    // The samples read so far stay in the trace; the processed data are as far as the steps that
    // had ended made them (AbstractTrace::reprocess rebuilds them whole).
    void cancel();
    // Blocks until the road has ended (returns at once when none was started). A road that can
    // end only through events of the calling thread (a live read waited for on the GUI thread)
    // is cancelled first, so that the wait ends; the samples read so far stay in the trace.
    void waitForFinished();
    // True while the worker road exists, up to its very return.
    bool isRunning() const;
    // True from `start` until the road has emitted dataReadFinished: a road that has emitted it
    // may still be returning on its thread, but it no longer touches the trace, and a new start
    // is accepted.
    bool isReading() const;

signals:
    void dataReadStarted();
    void dataBatchReady(int from, int count);
    void dataReadFinished();
    void dataReadError(QString s);
    void dataReset();

protected:
    // True for a provider whose road ends only through events of the thread it lives on (the
    // live provider, whose points and end come from the instrument's replies on the GUI thread).
    virtual bool endsThroughOwnerThread() const { return false; }
    // True once `cancel` was called; readers check it between samples.
    bool cancelRequested() const { return m_cancelRequested.load(std::memory_order_relaxed); }
    // Cancels the road and waits for it; every subclass destructor calls it first.
    void finishWorker();

private:
    void run();
    void reportFailure(const QString &message);

    QString m_source;
    std::atomic<bool> m_lastResult {false};
    AbstractTrace *m_trace = nullptr;
    std::function<void(AbstractTrace &)> m_beforePostProcessing;
    QFuture<void> m_future;
    std::atomic<bool> m_cancelRequested {false};
    // The road has emitted dataReadFinished and only returns.
    std::atomic<bool> m_roadDone {true};
};
