#include "core/AbstractTrace.h"

#include "core/TraceFileKeys.h"
#include "processing/Cancellation.h"
#include "processing/DataProcessors.h"

#include <QLocale>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

std::atomic<int> AbstractTrace::traceCounter {0};

namespace {

// Room for millions of samples is touched page by page as samples arrive; on large pages that
// takes a few hundred page faults instead of hundreds of thousands.
void adviseLargePages(QVector<double> &channel)
{
#ifdef MADV_HUGEPAGE
    constexpr quintptr kLargePage = 2 << 20;
    const quintptr begin = quintptr(channel.data() + channel.size());
    const quintptr end = quintptr(channel.data() + channel.capacity());
    const quintptr first = (begin + kLargePage - 1) & ~(kLargePage - 1);
    const quintptr last = end & ~(kLargePage - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
#else
    Q_UNUSED(channel);
#endif
}

} // namespace

AbstractTrace::AbstractTrace(int channelCount)
    : creationDate(QDateTime::currentDateTime())
{
    auto raw = std::make_unique<TData>(channelCount);
    auto converted = std::make_unique<TData>(channelCount);
    auto processed = std::make_unique<TData>(channelCount);
    rawData = raw.release();
    convertedData = converted.release();
    processedData = processed.release();
    // The counter advances only once construction can no longer fail.
    id = traceCounter.fetch_add(1);
}

AbstractTrace::AbstractTrace(const AbstractTrace &other)
    : controllerName(other.controllerName)
    , id(other.id)
    , creationDate(other.creationDate)
    , type(other.type)
    , m_name(other.m_name)
    , m_filePath(other.m_filePath)
{
    QMutexLocker otherData(&other.m_dataMutex);
    m_dataRevision = other.m_dataRevision;
    m_rawOnly = other.m_rawOnly;
    auto raw = std::make_unique<TData>(*other.rawData);
    auto converted = std::make_unique<TData>(*other.convertedData);
    auto processed = std::make_unique<TData>(*other.processedData);
    std::vector<std::unique_ptr<IDataSinglePointProcessor>> pointClones;
    std::vector<std::unique_ptr<IDataPostProcessor>> postClones;
    for (const IDataSinglePointProcessor *processor : other.pointProcessors)
        pointClones.emplace_back(processor->clone());
    for (const IDataPostProcessor *processor : other.postProcessors)
        postClones.emplace_back(processor->clone());
    pointProcessors.reserve(int(pointClones.size()));
    postProcessors.reserve(int(postClones.size()));

    // Nothing below can throw: take ownership of everything built above.
    rawData = raw.release();
    convertedData = converted.release();
    processedData = processed.release();
    for (auto &processor : pointClones)
        pointProcessors.append(processor.release());
    for (auto &processor : postClones)
        postProcessors.append(processor.release());
}

AbstractTrace::~AbstractTrace()
{
    clearPointProcessors();
    clearPostProcessors();
    delete rawData;
    delete convertedData;
    delete processedData;
}

void AbstractTrace::addPointProcessor(IDataSinglePointProcessor *processor)
{
    // The samples appended so far were not converted: they are taken as they are.
    completeAppends();
    pointProcessors.append(processor);
}

void AbstractTrace::addPostProcessor(IDataPostProcessor *processor)
{
    postProcessors.append(processor);
}

void AbstractTrace::clearPointProcessors()
{
    qDeleteAll(pointProcessors);
    pointProcessors.clear();
}

void AbstractTrace::clearPostProcessors()
{
    qDeleteAll(postProcessors);
    postProcessors.clear();
}

void AbstractTrace::appendPoint(QVector<double> &sample)
{
    QMutexLocker data(&m_dataMutex);
    ++m_dataRevision;
    const int channels = processedData->size();
    for (int c = 0; c < channels; ++c)
        (*rawData)[c].append(sample.at(c));
    if (m_rawOnly)
        return;
    applyPointProcessors(sample);
    for (int c = 0; c < channels; ++c) {
        (*convertedData)[c].append(sample.at(c));
        (*processedData)[c].append(sample.at(c));
    }
}

void AbstractTrace::applyPointProcessors(QVector<double> &sample)
{
    for (IDataSinglePointProcessor *processor : qAsConst(pointProcessors))
        processor->process(sample);
}

qint64 AbstractTrace::processingWorkBytes(qint64 samples) const
{
    qint64 most = 0;
    for (const IDataPostProcessor *processor : postProcessors)
        most = std::max(most, processor->workBytes(samples));
    return most;
}

void AbstractTrace::applyPostProcessors()
{
    for (IDataPostProcessor *processor : qAsConst(postProcessors)) {
        if (Algos::cancellationRequested())
            return;
        processor->process(*processedData);
    }
}

void AbstractTrace::reprocess()
{
    const int channels = processedData->size();
    const int count = rawData->isEmpty() ? 0 : rawData->at(0).size();
    TData converted(channels);
    TData processed(channels);
    for (int c = 0; c < channels; ++c) {
        converted[c].reserve(count);
        processed[c].reserve(count);
    }
    QVector<double> sample(channels);
    for (int j = 0; j < count; ++j) {
        for (int c = 0; c < channels; ++c)
            sample[c] = rawData->at(c).at(j);
        applyPointProcessors(sample);
        for (int c = 0; c < channels; ++c) {
            converted[c].append(sample.at(c));
            processed[c].append(sample.at(c));
        }
    }
    {
        QMutexLocker data(&m_dataMutex);
        ++m_dataRevision;
        m_rawOnly = false;
        *convertedData = std::move(converted);
        *processedData = std::move(processed);
    }
    applyPostProcessors();
    finalizeAfterRead();
}

void AbstractTrace::crop(int from, int to)
{
    const int count = rawData->isEmpty() ? 0 : rawData->at(0).size();
    if (to < from || to > count || from < 0)
        return;
    {
        QMutexLocker data(&m_dataMutex);
        ++m_dataRevision;
        for (QVector<double> &channel : *rawData)
            channel = channel.mid(from, to - from);
    }
    reprocess();
}

void AbstractTrace::clearData()
{
    QMutexLocker data(&m_dataMutex);
    ++m_dataRevision;
    for (TData *set : {rawData, convertedData, processedData}) {
        for (QVector<double> &channel : *set)
            channel.clear();
    }
}

void AbstractTrace::beginRawOnlyAppends()
{
    QMutexLocker data(&m_dataMutex);
    const auto empty = [](const TData *set) {
        for (const QVector<double> &channel : *set) {
            if (!channel.isEmpty())
                return false;
        }
        return true;
    };
    m_rawOnly = pointProcessors.isEmpty() && empty(rawData) && empty(convertedData)
        && empty(processedData);
}

void AbstractTrace::completeAppends()
{
    QMutexLocker data(&m_dataMutex);
    completeAppendsLocked();
}

void AbstractTrace::completeAppendsLocked()
{
    if (!m_rawOnly)
        return;
    m_rawOnly = false;
    // The samples are taken as they are: the three sets share the raw channels until a
    // processor writes to one of them, which then gets its own copy of that channel.
    *convertedData = *rawData;
    *processedData = *rawData;
}

void AbstractTrace::reserveSamples(int count)
{
    QMutexLocker data(&m_dataMutex);
    const QVector<TData *> sets = m_rawOnly
        ? QVector<TData *> {rawData}
        : QVector<TData *> {rawData, convertedData, processedData};
    for (TData *set : sets) {
        for (QVector<double> &channel : *set) {
            channel.reserve(count);
            adviseLargePages(channel);
        }
    }
}

void AbstractTrace::releaseSpareCapacity()
{
    QMutexLocker data(&m_dataMutex);
    completeAppendsLocked();
    for (TData *set : {rawData, convertedData, processedData}) {
        for (QVector<double> &channel : *set) {
            // Giving back room copies the channel: a few percent are not worth it.
            if (channel.capacity() - channel.size() > channel.capacity() / 32)
                channel.squeeze();
        }
    }
}

TData AbstractTrace::batchSamples(int from, int count) const
{
    QMutexLocker data(&m_dataMutex);
    return copyBatchLocked(from, count);
}

bool AbstractTrace::tryBatchSamples(int from, int count, TData *batch) const
{
    if (!m_dataMutex.tryLock())
        return false;
    *batch = copyBatchLocked(from, count);
    m_dataMutex.unlock();
    return true;
}

bool AbstractTrace::tryReadSamples(
    int from, int count,
    const std::function<void(const TData &set, int begin, int end)> &read) const
{
    if (!m_dataMutex.tryLock())
        return false;
    const TData &source = m_rawOnly ? *rawData : *convertedData;
    const int present = source.isEmpty() ? 0 : source.at(0).size();
    const int begin = qBound(0, from, present);
    const int end = count > 0 ? int(qBound<qint64>(begin, qint64(from) + count, present)) : begin;
    read(source, begin, end);
    m_dataMutex.unlock();
    return true;
}

TData AbstractTrace::copyBatchLocked(int from, int count) const
{
    // Appending raw samples only, the raw samples are the converted ones.
    const TData &source = m_rawOnly ? *rawData : *convertedData;
    TData batch(source.size());
    const int present = source.isEmpty() ? 0 : source.at(0).size();
    const int begin = qBound(0, from, present);
    const int end = count > 0 ? int(qBound<qint64>(begin, qint64(from) + count, present)) : begin;
    for (int c = 0; c < source.size(); ++c)
        batch[c] = source.at(c).mid(begin, end - begin);
    return batch;
}

quint64 AbstractTrace::dataRevision() const
{
    QMutexLocker data(&m_dataMutex);
    return m_dataRevision;
}

double AbstractTrace::length() const
{
    if (!processedData || processedData->isEmpty() || processedData->at(0).isEmpty())
        return 0.0;
    return processedData->at(0).last() - processedData->at(0).first();
}

QString AbstractTrace::creationDateText() const
{
    return creationDate.toLocalTime().toString(TraceFileKeys::kCreationDateFormat);
}

QString traceNumberText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}
