#include "dataproviders/DataProvider.h"

#include "core/AbstractTrace.h"
#include "core/Logger.h"
#include "processing/Cancellation.h"
#include "processing/ProfileFilters.h"

#include <QThread>
#include <QThreadPool>
#include <QtConcurrent>

#include <exception>

DataProvider::DataProvider(const QString &source)
    : QObject(nullptr)
    , m_source(source)
{ }

DataProvider::~DataProvider()
{
    finishWorker();
}

bool DataProvider::obtainData()
{
    emit dataBatchReady(0, 0);
    return true;
}

bool DataProvider::start(AbstractTrace *trace)
{
    if (!trace) {
        logger.log(ERROR, "DataProvider started without a trace: " + m_source.toStdString());
        m_lastResult = false;
        emit dataReadError(QStringLiteral("No trace to fill"));
        emit dataReadFinished();
        return false;
    }
    if (isReading()) {
        logger.log(ERROR, "DataProvider started again while it reads: " + m_source.toStdString());
        return false;
    }
    // At most the return of a road that has already emitted dataReadFinished.
    m_future.waitForFinished();
    m_trace = trace;
    m_cancelRequested = false;
    m_roadDone = false;
    m_future = QtConcurrent::run(QThreadPool::globalInstance(), this, &DataProvider::run);
    return true;
}

void DataProvider::setBeforePostProcessing(std::function<void(AbstractTrace &)> step)
{
    m_beforePostProcessing = std::move(step);
}

void DataProvider::cancel()
{
    m_cancelRequested = true;
}

void DataProvider::waitForFinished()
{
    if (isRunning() && endsThroughOwnerThread() && QThread::currentThread() == thread())
        cancel();
    m_future.waitForFinished();
}

bool DataProvider::isRunning() const
{
    return m_future.isRunning();
}

bool DataProvider::isReading() const
{
    return isRunning() && !m_roadDone;
}

void DataProvider::finishWorker()
{
    cancel();
    waitForFinished();
}

void DataProvider::reportFailure(const QString &message)
{
    logger.log(ERROR, "Reading " + m_source.toStdString() + " failed: " + message.toStdString());
    emit dataReadError(message);
}

void DataProvider::run()
{
    // Every step is guarded: an exception must not escape into the thread pool, and the
    // receivers must always get dataReadFinished.
    bool result = false;
    try {
        prepare();
        emit dataReadStarted();
        result = !cancelRequested() && obtainData();
    } catch (const std::exception &e) {
        result = false;
        reportFailure(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        result = false;
        reportFailure(QStringLiteral("unknown error"));
    }
    if (cancelRequested())
        result = false;
    m_lastResult = result;

    bool processed = false;
    try {
        // The post-processors and the finishing look at the stop flag as they go, so a cancel
        // ends them too (the step that sees it leaves the data as it found them).
        const Algos::CancellationScope scope(&m_cancelRequested);
        // Samples were appended one by one; the sets keep what they hold, not what they grew to.
        m_trace->releaseSpareCapacity();
        if (m_beforePostProcessing)
            m_beforePostProcessing(*m_trace);
        m_trace->applyPostProcessors();
        if (!cancelRequested())
            m_trace->finalizeAfterRead();
        processed = true;
        // The filters' transform served this trace once; what it holds goes back now, so that a
        // trace read holds its samples and no more.
        Algos::releaseFilterWorkspace();
    } catch (const std::exception &e) {
        reportFailure(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        reportFailure(QStringLiteral("unknown error"));
    }
    // A trace whose processing was cut short (a cancel, or a step that failed, as an allocation
    // does under a memory limit) is no result either.
    if (cancelRequested() || !processed)
        m_lastResult = false;
    m_roadDone = true;
    emit dataReadFinished();
}
