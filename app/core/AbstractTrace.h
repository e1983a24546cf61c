#pragma once

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>

class IDataPostProcessor;
class IDataSinglePointProcessor;

// The kind of a trace; also the device kind stored in the settings. Its underlying type is fixed
// so that a kind read from a hand-edited settings.ini that names none of the four is still a
// value of the type (and is treated as an unknown kind), not undefined behaviour.
enum E_ANALISIS_TYPE : int { CONTOUR = 0, CONTOURPROF = 1, PROFILE = 2, ADDITIONAL_TRACE = 3 };

// Whether a trace of the kind is a profilometer trace (a main or an additional one).
inline bool isProfileKind(int kind)
{
    return kind == PROFILE || kind == ADDITIONAL_TRACE;
}

// How traces are saved: the native trace file or the two-column export.
enum DataSaveFormat { LOCAL_FORMAT = 0, POINT_FORMAT = 1 };

using TData = QVector<QVector<double>>;

// One pass of the stylus: the samples as they arrived (raw), after the per-sample processors
// (converted) and after the whole-set processors (processed), with the two processor chains
// that turn one into the other. The raw samples never change, so the other two can be rebuilt
// at any time with `reprocess`.
//
// While a data provider fills a trace, its worker thread is the only writer and the GUI thread
// reads announced samples through `batchSamples`. The data sets are guarded by one data lock:
// `appendPoint`, `reprocess`, `crop`, `clearData`, the copy constructor and `batchSamples` take
// it, so a growing data set never moves under a reader; so do `reserveSamples` and
// `releaseSpareCapacity`. Everything else runs on the GUI thread once the provider has finished
// (see DataProvider).
class AbstractTrace
{
public:
    explicit AbstractTrace(int channelCount);
    AbstractTrace(const AbstractTrace &other);
    AbstractTrace &operator=(const AbstractTrace &) = delete;
    virtual ~AbstractTrace();

    // Last step after a read and after `reprocess`.
    virtual void finalizeAfterRead() = 0;
    // A new trace of the same class made by copy construction; the caller owns it.
    virtual AbstractTrace *clone() const = 0;
    // The kind-specific lines of the native trace-file header.
    virtual QString headerText() const = 0;
    // The most memory that processing `samples` samples takes beyond the data sets: the largest
    // need of one post-processor (they run one after the other) or, in a subclass, of a step of
    // its finishing. A read admits only samples whose processing fits as well.
    virtual qint64 processingWorkBytes(qint64 samples) const;

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    QString filePath() const { return m_filePath; }
    void setFilePath(const QString &path) { m_filePath = path; }
    void setType(int traceType) { type = traceType; }

    // The trace takes ownership of the processor.
    void addPointProcessor(IDataSinglePointProcessor *processor);
    void addPostProcessor(IDataPostProcessor *processor);
    void clearPointProcessors();
    void clearPostProcessors();

    // Appends one sample to all three data sets; the sample is changed in place by the point
    // processors on its way to the converted and processed sets.
    void appendPoint(QVector<double> &sample);
    void applyPointProcessors(QVector<double> &sample);
    // Runs the post-processors in list order. Under a stopped cancellation scope (a data
    // provider's read that is cancelled) it stops: the processor that sees the stop leaves the
    // data as it found them and the ones after it do not run.
    void applyPostProcessors();
    // Rebuilds the converted and processed data from the raw samples, runs the post-processors
    // and the finishing of the concrete class.
    void reprocess();
    // Keeps the raw samples [from, to) and reprocesses; a reversed range or one that ends beyond
    // the samples leaves the trace untouched.
    void crop(int from, int to);
    void clearData();
    // Makes room for `count` samples in every channel of the three data sets, so that appending
    // up to that many moves nothing and takes no more memory than the samples need.
    void reserveSamples(int count);
    // Gives back the room the data sets grew into while samples were appended one by one, so
    // that a trace holds about the size of its samples. Completes raw-only appends first.
    void releaseSpareCapacity();
    // For a read of many samples into an empty trace without point processors: the samples
    // appended from now on go to the raw data alone (the converted ones are the same numbers),
    // and `completeAppends` (or `releaseSpareCapacity`) then gives the converted and processed
    // sets the raw channels, shared until a processor changes one. The samples are written and
    // held once instead of three times. Until then the converted and processed sets stay
    // empty; `batchSamples` reads the raw ones. No effect on a trace with point processors or
    // samples.
    void beginRawOnlyAppends();
    void completeAppends();
    // A copy of the converted samples [from, from + count), one vector per channel, taken under
    // the data lock; the range is clamped to the samples present. Safe while a provider appends.
    TData batchSamples(int from, int count) const;
    // The same without waiting: false, and *batch untouched, while a writer holds the data lock
    // (a growing data set may be moving its storage on the provider's worker).
    bool tryBatchSamples(int from, int count, TData *batch) const;
    // The same without a copy: `read` gets the converted samples [begin, end) of every channel
    // while the data lock is held (so it must be quick and must not touch the trace). False,
    // and nothing read, while a writer holds the lock.
    bool
    tryReadSamples(int from, int count,
                   const std::function<void(const TData &set, int begin, int end)> &read) const;
    // Counts the changes of the data: every append, crop, clear and reprocessing moves it on.
    // What is derived from the data and kept (the parameter profiles of a ProfileTrace) is
    // stale once it has moved.
    quint64 dataRevision() const;
    // Extent of the processed X channel (last X minus first X).
    double length() const;
    QString creationDateText() const;

    // The next trace id; starts at 0 and is shared by all traces of all threads.
    static std::atomic<int> traceCounter;

    QString controllerName;
    // The three data sets, owned by the trace.
    TData *rawData = nullptr;
    TData *convertedData = nullptr;
    TData *processedData = nullptr;
    int id = -1;
    QDateTime creationDate;
    // An E_ANALISIS_TYPE value, set by the creator.
    int type = PROFILE;
    // Owned by the trace, applied in list order.
    QList<IDataSinglePointProcessor *> pointProcessors;
    QList<IDataPostProcessor *> postProcessors;

private:
    TData copyBatchLocked(int from, int count) const;
    void completeAppendsLocked();

    mutable QMutex m_dataMutex;
    quint64 m_dataRevision = 0;
    bool m_rawOnly = false;
    QString m_name;
    QString m_filePath;
};

// The text of a number in the system's trace files: the shortest form that reads back to the
// same double, with '.' as decimal point.
QString traceNumberText(double value);
