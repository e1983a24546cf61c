#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "dataproviders/DataProvider.h"
#include "processing/DataProcessors.h"
#include "processing/PostProcessors.h"
#include "support/ProviderSignalLog.h"
#include "support/TestSupport.h"

#include <QSemaphore>

#include <atomic>
#include <cmath>
#include <new>
#include <stdexcept>

namespace {

// Counts its runs; the provider's road must run it once after the read.
class CountingPostProcessor : public IDataPostProcessor
{
public:
    explicit CountingPostProcessor(std::atomic<int> &runs)
        : m_runs(runs)
    { }
    void process(QVector<QVector<double>> &) override { ++m_runs; }
    IDataPostProcessor *clone() const override { return new CountingPostProcessor(m_runs); }

private:
    std::atomic<int> &m_runs;
};

class BaseProvider : public DataProvider
{
public:
    BaseProvider()
        : DataProvider(QStringLiteral("test source"))
    { }
    void prepare() override { trace()->setName(QStringLiteral("prepared")); }
};

class ThrowingProvider : public DataProvider
{
public:
    explicit ThrowingProvider(bool inPrepare)
        : DataProvider(QStringLiteral("thrower"))
        , m_inPrepare(inPrepare)
    { }
    void prepare() override
    {
        if (m_inPrepare)
            throw std::runtime_error("prepare failed");
    }
    bool obtainData() override
    {
        QVector<double> sample {1.0, 2.0};
        trace()->appendPoint(sample);
        throw std::runtime_error("device vanished");
    }

private:
    bool m_inPrepare;
};

// Runs out of memory, as a filter does under a memory limit.
class OutOfMemoryPostProcessor : public IDataPostProcessor
{
public:
    void process(QVector<QVector<double>> &) override { throw std::bad_alloc(); }
    IDataPostProcessor *clone() const override { return new OutOfMemoryPostProcessor; }
};

// Appends samples until it is cancelled; `started` is released after the first 1000.
class EndlessProvider : public DataProvider
{
public:
    EndlessProvider()
        : DataProvider(QStringLiteral("endless"))
    { }
    ~EndlessProvider() override { finishWorker(); }
    void prepare() override { }
    bool obtainData() override
    {
        QVector<double> sample(2);
        while (!cancelRequested()) {
            sample[0] = sample[1] = appended;
            trace()->appendPoint(sample);
            if (++appended == 1000)
                started.release();
        }
        return true;
    }
    QSemaphore started;
    std::atomic<int> appended {0};
};

// Gives the trace the samples of its columns at once, so that the road goes straight on to the
// post-processing and the finishing.
class FillingProvider : public DataProvider
{
public:
    explicit FillingProvider(const TData &columns)
        : DataProvider(QStringLiteral("filling"))
        , m_columns(columns)
    { }
    ~FillingProvider() override { finishWorker(); }
    void prepare() override { }
    bool obtainData() override
    {
        QVector<double> sample(m_columns.size());
        for (int i = 0; i < m_columns.at(0).size(); ++i) {
            for (int c = 0; c < m_columns.size(); ++c)
                sample[c] = m_columns.at(c).at(i);
            trace()->appendPoint(sample);
        }
        return true;
    }

private:
    const TData m_columns;
};

// Tells that the post-processing has begun.
class StartSignal : public IDataPostProcessor
{
public:
    explicit StartSignal(QSemaphore *started)
        : m_started(started)
    { }
    void process(QVector<QVector<double>> &) override { m_started->release(); }
    IDataPostProcessor *clone() const override { return new StartSignal(m_started); }

private:
    QSemaphore *m_started;
};

} // namespace

class TestDataProvider : public QObject
{
    Q_OBJECT

private slots:
    // The finishing steps as the settings have them by default.
    void cleanup()
    {
        Settings::modify([](Settings &s) {
            s.service.is_disabled_gauss_filter = true;
            s.service.is_disabled_radius_elimination = true;
        });
    }

    void baseRoadEmitsEmptyBatchAndRunsPostProcessors()
    {
        std::atomic<int> runs {0};
        ProfileTrace trace;
        trace.addPostProcessor(new CountingPostProcessor(runs));
        BaseProvider provider;
        testsupport::ProviderSignalLog<DataProvider> log(provider);
        QCOMPARE(provider.trace(), nullptr);
        QCOMPARE(provider.source(), QStringLiteral("test source"));
        provider.start(&trace);
        QTRY_VERIFY(log.finished);
        QCOMPARE(log.events, QStringList({"started", "batch 0 0", "finished"}));
        QVERIFY(provider.lastResult());
        QCOMPARE(provider.trace(), &trace);
        QCOMPARE(trace.name(), QStringLiteral("prepared"));
        QCOMPARE(runs.load(), 1);
    }

    void nullTraceNeverReachesTheWorker()
    {
        BaseProvider provider;
        testsupport::ProviderSignalLog<DataProvider> log(provider);
        provider.start(nullptr);
        QCOMPARE(log.events, QStringList({"error No trace to fill", "finished"}));
        QVERIFY(!provider.lastResult());
        QVERIFY(!provider.isRunning());
    }

    void exceptionsEndAsErrorThenFinished_data()
    {
        QTest::addColumn<bool>("inPrepare");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("obtainData throws")
            << false << QStringList({"started", "error device vanished", "finished"});
        QTest::newRow("prepare throws")
            << true << QStringList({"error prepare failed", "finished"});
    }
    void exceptionsEndAsErrorThenFinished()
    {
        QFETCH(bool, inPrepare);
        QFETCH(QStringList, expected);
        ProfileTrace trace;
        ThrowingProvider provider(inPrepare);
        testsupport::ProviderSignalLog<DataProvider> log(provider);
        provider.start(&trace);
        QTRY_VERIFY(log.finished);
        QCOMPARE(log.events, expected);
        QVERIFY(!provider.lastResult());
    }

    // A read whose processing fails after the samples are in (an allocation under a memory
    // limit) is no result: the error is reported and lastResult is false, and the steps after
    // the failed one do not run.
    void failedProcessingIsNoResult()
    {
        std::atomic<int> runs {0};
        ProfileTrace trace;
        trace.addPostProcessor(new OutOfMemoryPostProcessor);
        trace.addPostProcessor(new CountingPostProcessor(runs));
        BaseProvider provider;
        testsupport::ProviderSignalLog<DataProvider> log(provider);
        provider.start(&trace);
        QTRY_VERIFY(log.finished);
        QCOMPARE(log.events.size(), 4);
        QCOMPARE(log.events.mid(0, 2), QStringList({"started", "batch 0 0"}));
        QVERIFY2(log.events.at(2).startsWith(QStringLiteral("error ")),
                 qPrintable(log.events.at(2)));
        QCOMPARE(log.events.at(3), QStringLiteral("finished"));
        QVERIFY(!provider.lastResult());
        QCOMPARE(runs.load(), 0);
    }

    // Deleting a provider in the middle of a read stops and waits for its worker, so neither
    // the provider nor the trace is used after it is gone.
    void deletingARunningProviderStopsItsWorker()
    {
        ProfileTrace trace;
        auto *provider = new EndlessProvider;
        provider->start(&trace);
        QVERIFY(provider->started.tryAcquire(1, 10000));
        QVERIFY(provider->isRunning());
        delete provider;
        const int count = trace.rawData->at(0).size();
        QVERIFY(count > 0);
        QCOMPARE(trace.processedData->at(0).size(), count);
    }

    void cancelEndsTheRoadWithFalse()
    {
        ProfileTrace trace;
        EndlessProvider provider;
        testsupport::ProviderSignalLog<DataProvider> log(provider);
        provider.start(&trace);
        QVERIFY(provider.started.tryAcquire(1, 10000));
        provider.cancel();
        QTRY_VERIFY(log.finished);
        QCOMPARE(log.events, QStringList({"started", "finished"}));
        QVERIFY(!provider.lastResult());
    }

    // Once the road has announced its end, a window may hand the next source to the provider's
    // owner at once, although the worker thread is still returning: the road is no longer
    // reading.
    void roadThatAnnouncedItsEndIsNoLongerReading()
    {
        ProfileTrace trace;
        BaseProvider provider;
        QSemaphore announced;
        QSemaphore mayReturn;
        QObject::connect(
            &provider, &DataProvider::dataReadFinished, &provider,
            [&] {
                announced.release();
                mayReturn.acquire();
            },
            Qt::DirectConnection);
        QVERIFY(!provider.isReading());
        provider.start(&trace);
        QVERIFY(announced.tryAcquire(1, 10000));
        QVERIFY(provider.isRunning());
        QVERIFY(!provider.isReading());
        mayReturn.release();
        provider.waitForFinished();
        QVERIFY(!provider.isRunning());
    }

    void cancelStopsTheFinishing_data()
    {
        QTest::addColumn<bool>("contour");
        // Steps that would run for minutes: a median over a window of 2·10^5 samples, and a tip
        // radius that reaches every sample from every other.
        QTest::newRow("median over a wide window") << false;
        QTest::newRow("tip radius reaching the whole trace") << true;
    }
    // A cancel ends the post-processing and the finishing of a read, not only the reading: the
    // road ends at once, and the step it stopped leaves the data as they were.
    void cancelStopsTheFinishing()
    {
        QFETCH(bool, contour);
        Settings::modify([](Settings &s) {
            s.service.is_disabled_gauss_filter = false;
            s.service.is_disabled_radius_elimination = true;
        });
        const int n = contour ? 200000 : 1000000;
        TData columns(contour ? 3 : 2);
        for (int i = 0; i < n; ++i) {
            columns[0].append(i * 0.5);
            columns[1].append(std::sin(i * 0.001) + 0.01 * (i % 7));
            if (contour)
                columns[2].append(0.0);
        }
        QScopedPointer<AbstractTrace> trace;
        if (contour) {
            auto *contourTrace = new ContourTrace;
            contourTrace->toolHeadRadiusDown = 1e9;
            trace.reset(contourTrace);
        } else {
            trace.reset(new ProfileTrace);
        }
        QSemaphore started;
        trace->addPostProcessor(new StartSignal(&started));
        if (!contour)
            trace->addPostProcessor(new DataMedianFilterProcessor(200001));
        {
            FillingProvider provider(columns);
            testsupport::ProviderSignalLog<DataProvider> log(provider);
            provider.start(trace.data());
            QVERIFY(started.tryAcquire(1, 60000));
            provider.cancel();
            QTRY_VERIFY_WITH_TIMEOUT(log.finished, 30000);
            QVERIFY(!provider.lastResult());
        }
        QCOMPARE(trace->processedData->at(0), columns.at(0));
        QCOMPARE(trace->processedData->at(1), columns.at(1));
    }

    // The GUI thread copies announced samples while the worker keeps appending; the copies
    // never see a moved or partly written data set (ASan and the sanitiser build catch it).
    void batchSamplesAreSafeWhileTheWorkerAppends()
    {
        ProfileTrace trace;
        EndlessProvider provider;
        provider.start(&trace);
        QVERIFY(provider.started.tryAcquire(1, 10000));
        for (int round = 0; round < 2000; ++round) {
            const int present = provider.appended.load();
            const int from = present / 2;
            const TData batch = trace.batchSamples(from, 100);
            QCOMPARE(batch.size(), 2);
            QVERIFY(batch.at(0).size() <= 100);
            for (int i = 0; i < batch.at(0).size(); ++i) {
                QCOMPARE(batch.at(0).at(i), double(from + i));
                QCOMPARE(batch.at(1).at(i), double(from + i));
            }
        }
        provider.cancel();
        provider.waitForFinished();
        const int count = trace.rawData->at(0).size();
        QCOMPARE(trace.batchSamples(count - 10, 500).at(0).size(), 10);
        QCOMPARE(trace.batchSamples(count + 10, 500).at(0).size(), 0);
        QCOMPARE(trace.batchSamples(-5, 10).at(0).size(), 5);
    }
};

QTEST_GUILESS_MAIN(TestDataProvider)
#include "tst_DataProvider.moc"
