#include "core/ProfileTrace.h"
#include "dataproviders/DataProvider.h"
#include "profile/AnalisysWidget.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ScriptedPrompts.h"

#include <QPointer>
#include <QThread>
#include <atomic>
#include <memory>
#include <vector>

using namespace testsupport;

namespace {

// A provider whose read waits until the test lets it go, then announces one batch.
class HeldProvider : public DataProvider
{
public:
    HeldProvider()
        : DataProvider(QStringLiteral("held"))
    { }
    ~HeldProvider() override { finishWorker(); }

    void prepare() override { }
    bool obtainData() override
    {
        while (!released.load() && !cancelRequested())
            QThread::msleep(1);
        emit dataBatchReady(0, 500);
        return true;
    }

    std::atomic<bool> released {false};
};

// A window that records which of its slots ran, and on which thread.
class RecordingWindow : public AnalisysWidget
{
public:
    explicit RecordingWindow(std::vector<std::unique_ptr<AbstractTrace>> *traces)
        : AnalisysWidget(QStringLiteral("ПРОФИЛЬ"))
        , m_traces(traces)
    { }

    AbstractTrace *createTrace(int kind) override
    {
        if (kind != PROFILE)
            return nullptr;
        m_traces->emplace_back(new ProfileTrace);
        return m_traces->back().get();
    }
    void beginReportSnapshot() override { }
    void endReportSnapshot() override { }
    void saveReport(QWidget *) override { }
    void saveData(DataSaveFormat) override { }
    void dataReadStarted() override { record(QStringLiteral("started")); }
    void dataBatchReady(int from, int count) override
    {
        record(QStringLiteral("batch %1 %2").arg(from).arg(count));
    }
    void dataReadFinished() override { record(QStringLiteral("finished")); }
    void dataReadError(QString error) override { record(QStringLiteral("error ") + error); }
    void dataReset() override { record(QStringLiteral("reset")); }

    QStringList calls;
    bool offGuiThread = false;

private:
    void record(const QString &call)
    {
        calls << call;
        offGuiThread = offGuiThread || QThread::currentThread() != qApp->thread();
    }
    std::vector<std::unique_ptr<AbstractTrace>> *m_traces;
};

void deliverDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestAnalisysWidget : public QObject
{
    Q_OBJECT

private slots:
    void slotsInTheirOrder()
    {
        const QMetaObject &meta = AnalisysWidget::staticMetaObject;
        QStringList own;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
            own << QString::fromLatin1(meta.method(i).methodSignature());
        QCOMPARE(own,
                 (QStringList {"saveData(DataSaveFormat)", "dataReadStarted()",
                               "dataBatchReady(int,int)", "dataReadFinished()",
                               "dataReadError(QString)", "dataReset()"}));
    }

    void providerSignalsReachTheWindow()
    {
        std::vector<std::unique_ptr<AbstractTrace>> traces;
        RecordingWindow window(&traces);
        QCOMPARE(window.name(), QStringLiteral("ПРОФИЛЬ"));
        QVERIFY(!window.dataProvider());
        auto *provider = new HeldProvider;
        QVERIFY(window.setDataProvider(provider));
        QCOMPARE(window.dataProvider(), provider);
        emit provider->dataReadStarted();
        emit provider->dataBatchReady(3, 4);
        emit provider->dataReset();
        emit provider->dataReadError(QStringLiteral("Can't open file x"));
        emit provider->dataReadFinished();
        QCOMPARE(
            window.calls,
            (QStringList {"started", "batch 3 4", "reset", "error Can't open file x", "finished"}));
        // Through the meta-object the window's own slot runs.
        QVERIFY(QMetaObject::invokeMethod(&window, "dataBatchReady", Q_ARG(int, 1), Q_ARG(int, 2)));
        QCOMPARE(window.calls.last(), QStringLiteral("batch 1 2"));
    }

    void aNewProviderReplacesTheOld()
    {
        std::vector<std::unique_ptr<AbstractTrace>> traces;
        RecordingWindow window(&traces);
        QPointer<HeldProvider> first = new HeldProvider;
        auto *second = new HeldProvider;
        QVERIFY(window.setDataProvider(first));
        QVERIFY(window.setDataProvider(second));
        QCOMPARE(window.dataProvider(), second);
        if (first)
            emit first->dataReadStarted();
        emit second->dataReset();
        QCOMPARE(window.calls, QStringList {"reset"});
        deliverDeferredDeletes();
        QVERIFY(first.isNull());
    }

    void destroyingTheWindowDeletesItsProvider()
    {
        std::vector<std::unique_ptr<AbstractTrace>> traces;
        QPointer<HeldProvider> provider = new HeldProvider;
        {
            RecordingWindow window(&traces);
            window.setDataProvider(provider);
            QVERIFY(window.startReading(PROFILE));
        }
        QVERIFY(provider.isNull());
    }

    // A read runs on the worker; its notifications arrive queued on the GUI thread, in order.
    void aReadReportsOnTheGuiThread()
    {
        std::vector<std::unique_ptr<AbstractTrace>> traces;
        RecordingWindow window(&traces);
        auto *provider = new HeldProvider;
        window.setDataProvider(provider);
        provider->released = true;
        QVERIFY(window.startReading(PROFILE));
        QCOMPARE(traces.size(), size_t(1));
        QCOMPARE(provider->trace(), traces.front().get());
        QTRY_COMPARE(window.calls, (QStringList {"started", "batch 0 500", "finished"}));
        QVERIFY(!window.offGuiThread);
    }

    // While a read runs, neither a new provider nor a new read is taken; the running provider
    // is not deleted under its worker. Once it has finished, the next provider is taken.
    void aRunningReadIsNeverInterrupted()
    {
        std::vector<std::unique_ptr<AbstractTrace>> traces;
        ScriptedPrompts prompts;
        RecordingWindow window(&traces);
        QPointer<HeldProvider> running = new HeldProvider;
        window.setDataProvider(running);
        QVERIFY(window.startReading(PROFILE));
        QTRY_COMPARE(window.calls, QStringList {"started"});

        QPointer<HeldProvider> refused = new HeldProvider;
        QVERIFY(!window.setDataProvider(refused));
        QVERIFY(refused.isNull());
        QVERIFY(!window.startReading(PROFILE));
        QCOMPARE(prompts.kinds(), QStringList {"warning"});
        QCOMPARE(prompts.asked.at(0).title, QStringLiteral("Ошибка"));
        QCOMPARE(window.dataProvider(), running.data());
        QCOMPARE(traces.size(), size_t(1));

        QVERIFY(!window.startReading(PROFILE));
        QCOMPARE(prompts.kinds(), (QStringList {"warning", "warning"}));
        QCOMPARE(traces.size(), size_t(1));

        running->released = true;
        QTRY_VERIFY(!running->isRunning());
        QTRY_COMPARE(window.calls.last(), QStringLiteral("finished"));
        auto *next = new HeldProvider;
        next->released = true;
        QVERIFY(window.setDataProvider(next));
        QVERIFY(window.startReading(PROFILE));
        QCOMPARE(traces.size(), size_t(2));
        deliverDeferredDeletes();
        QVERIFY(running.isNull());
        QTRY_COMPARE(window.calls.count(QStringLiteral("finished")), 2);
    }

    void nothingToStart()
    {
        std::vector<std::unique_ptr<AbstractTrace>> traces;
        ScriptedPrompts prompts;
        RecordingWindow window(&traces);
        QVERIFY(!window.startReading(PROFILE));
        auto *provider = new HeldProvider;
        window.setDataProvider(provider);
        QVERIFY(!window.startReading(CONTOUR));
        QVERIFY(!provider->isRunning());
        QVERIFY(!provider->trace());
        QVERIFY(prompts.asked.isEmpty());
    }
};

GUI_TEST_MAIN(TestAnalisysWidget)
#include "tst_AnalisysWidget.moc"
