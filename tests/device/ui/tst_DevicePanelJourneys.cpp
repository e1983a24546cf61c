// End to end over a pseudo-terminal: the device panel records profilometer and contour traces
// into real traces, stops, calibrates with the progress window, survives a lost port and stops a
// jog whose key is released inside a dialog. An event-loop heartbeat watches for GUI stalls.

#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "dataproviders/DeviceDataProvider.h"
#include "device/ui/PanelRig.h"
#include "platform/DialogRunner.h"
#include "support/Heartbeat.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ModalAnswerer.h"
#include "support/gui/WindowGrab.h"

#include <QDialog>
#include <QDoubleSpinBox>
#include <QTimer>

using namespace testsupport;

namespace {

// A freeze: the GUI thread held for a second (a blocking wait for the instrument, a worker waited
// for on the GUI thread). A loaded machine delays the event loop by a hundred milliseconds and
// more now and then, so finer figures are measured by bench_device_panel, not gated here.
// Sanitized code runs several times slower and says nothing about latency: there the figures are
// only reported.
constexpr qint64 kStallLimitMs = 1000;
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCheckStalls = false;
#else
constexpr bool kCheckStalls = true;
#endif

int rawCount(const AbstractTrace &trace)
{
    return trace.rawData->isEmpty() ? 0 : trace.rawData->first().size();
}

// Takes the panel's new traces as the profile window does: a trace of the kind, the provider
// started on it; keeps both and records the provider's signals.
struct TraceTaker
{
    std::vector<std::unique_ptr<AbstractTrace>> traces;
    std::vector<std::unique_ptr<DataProvider>> providers;
    QList<int> kinds;
    QStringList events;
    int finished = 0;

    explicit TraceTaker(DeviceControlWidget *panel)
    {
        QObject::connect(
            panel, &DeviceControlWidget::newTrace, panel,
            [this](DataProvider *provider, E_ANALISIS_TYPE type) { take(provider, type); });
    }
    ~TraceTaker()
    {
        providers.clear();
        traces.clear();
    }

    void take(DataProvider *provider, int type)
    {
        std::unique_ptr<AbstractTrace> trace;
        if (type == CONTOUR || type == CONTOURPROF)
            trace = std::make_unique<ContourTrace>();
        else
            trace = std::make_unique<ProfileTrace>();
        trace->setType(type);
        kinds << type;
        QObject::connect(provider, &DataProvider::dataReadStarted, [this] { events << "started"; });
        QObject::connect(provider, &DataProvider::dataReset, [this] { events << "reset"; });
        QObject::connect(provider, &DataProvider::dataReadFinished, [this] {
            events << "finished";
            ++finished;
        });
        provider->start(trace.get());
        traces.push_back(std::move(trace));
        providers.emplace_back(provider);
    }

    AbstractTrace &last() { return *traces.back(); }
};

void report(const char *scenario, const Heartbeat &heartbeat)
{
    qInfo("GUI stall, %s: longest %lld ms over %d ticks", scenario, heartbeat.longestStallMs(),
          heartbeat.ticks());
}

#define VERIFY_NO_STALL(heartbeat)                                                                 \
    QVERIFY2(!kCheckStalls || (heartbeat).longestStallMs() < kStallLimitMs,                        \
             qPrintable(QStringLiteral("GUI stall of %1 ms").arg((heartbeat).longestStallMs())))

} // namespace

class TestDevicePanelJourneys : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<E_ANALISIS_TYPE>("E_ANALISIS_TYPE"); }
    void cleanup() { rig.reset(); }

    void profilometerTrace();
    void contourTraceStoppedByOperator();
    void contourTraceStartedByInstrument();
    void normalStatusMidTraceThenNextTrace();
    void calibrationRunsProgressWindow();
    void profilometerCalibrationThroughRealDialog();
    void portLossThenNewTrace();
    void runawayJogIsStopped();

private:
    std::unique_ptr<PanelRig> rig;
};

void TestDevicePanelJourneys::profilometerTrace()
{
    rig = std::make_unique<PanelRig>();
    QVERIFY(rig->connect(SimulatedInstrument::Profilometer));
    rig->window->show();
    TraceTaker taker(rig->panel);
    Heartbeat heartbeat;
    rig->button("startTraceButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(taker.finished, 1, kWaitMs);
    report("profilometer trace", heartbeat);
    VERIFY_NO_STALL(heartbeat);
    QCOMPARE(taker.kinds, QList<int> {PROFILE});
    // The setting commands, spaced, then the start.
    QCOMPARE(rig->sim->commands.mid(0, 4), (QList<QByteArray> {"PS0", "PF2", "PL2", "CS"}));
    // The preview is dropped at its end (announced as a reset when the window had been shown
    // some of it); the block's samples make the trace.
    QCOMPARE(taker.events.first(), QStringLiteral("started"));
    QCOMPARE(taker.events.last(), QStringLiteral("finished"));
    QCOMPARE(rawCount(taker.last()), 1000);
    QCOMPARE(rig->panelSignals, (QStringList {"lock", "unlock"}));
    QVERIFY(!rig->panel->tracing);
    QVERIFY(!rig->button("stopTraceButton")->isEnabled());
    QVERIFY(rig->button("startTraceButton")->isEnabled());

    // An additional trace follows on the same instrument.
    rig->panel->setEnableAdditionalTraceButton(true);
    rig->button("additionalTracePushButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(taker.finished, 2, kWaitMs);
    QCOMPARE(taker.kinds, (QList<int> {PROFILE, ADDITIONAL_TRACE}));
    QCOMPARE(rawCount(taker.last()), 1000);
}

void TestDevicePanelJourneys::contourTraceStoppedByOperator()
{
    rig = std::make_unique<PanelRig>();
    QVERIFY(rig->connect(SimulatedInstrument::Contourograph));
    rig->window->show();
    rig->sim->stallAfterPackets = 16;
    TraceTaker taker(rig->panel);
    Heartbeat heartbeat;
    rig->button("startTraceButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!taker.traces.empty() && rawCount(taker.last()) == 16, kWaitMs);
    QVERIFY(rig->panel->tracing);
    QVERIFY(rig->button("stopTraceButton")->isEnabled());
    // A contourograph keeps its speed row while it records.
    QVERIFY(rig->child<QComboBox>("speedComboBox")->isEnabled());
    QVERIFY(!rig->button("xplusButton")->isEnabled());
    const GrabResult grab = grabWindow(rig->window.get(), QStringLiteral("panel_recording"));
    VERIFY_GRAB(grab);
    rig->clearCommands();
    rig->button("stopTraceButton")->click();
    QVERIFY(rig->waitForCommand("CA"));
    // The stop; the setting commands of the start sequence that the instrument's own start report
    // began may still come in between.
    const QList<QByteArray> &sent = rig->sim->commands;
    QVERIFY(sent.indexOf("CC") >= 0 && sent.indexOf("CC") < sent.indexOf("CA"));
    QTRY_COMPARE_WITH_TIMEOUT(taker.finished, 1, kWaitMs);
    report("contour trace with stop", heartbeat);
    VERIFY_NO_STALL(heartbeat);
    QCOMPARE(rawCount(taker.last()), 16);
    QCOMPARE(taker.last().rawData->at(0).first(), 1000.0);
    // The instrument's own start report came in answer to the operator's start; the stop before
    // the end of its setting commands does not begin a second trace.
    QTest::qWait(100);
    QCOMPARE(taker.traces.size(), size_t(1));
    QVERIFY(!rig->sim->commands.contains("CS"));
    QVERIFY(!rig->panel->device.traceStarted);
    QCOMPARE(rig->panelSignals, (QStringList {"lock", "unlock"}));
    QVERIFY(rig->button("startTraceButton")->isEnabled());
    QVERIFY(!rig->button("stopTraceButton")->isEnabled());
    rig->sim->resume();
}

void TestDevicePanelJourneys::contourTraceStartedByInstrument()
{
    // The operator starts the trace on the instrument: its packets arrive every 5 ms from the
    // first one on, while the panel still spaces its setting commands.
    rig = std::make_unique<PanelRig>();
    QVERIFY(rig->connect(SimulatedInstrument::Contourograph));
    rig->sim->answerTraceStart = false;
    TraceTaker taker(rig->panel);
    Heartbeat heartbeat;
    constexpr int kPoints = 60;
    int sent = 0;
    QTimer stream;
    stream.setTimerType(Qt::PreciseTimer);
    stream.setInterval(5);
    connect(&stream, &QTimer::timeout, this, [&] {
        if (sent < kPoints) {
            rig->sim->sendContourStatus(1, 2, 500 + sent, 1000 + sent,
                                        2000 + static_cast<quint32>(sent) * 10);
        } else {
            rig->sim->sendContourStatus(0, 1, 500, 1000, 2000 + kPoints * 10);
            stream.stop();
        }
        ++sent;
    });
    stream.start();
    QTRY_COMPARE_WITH_TIMEOUT(taker.finished, 1, kWaitMs);
    report("contour trace started by the instrument", heartbeat);
    VERIFY_NO_STALL(heartbeat);
    QCOMPARE(taker.kinds, QList<int> {CONTOUR});
    QCOMPARE(rawCount(taker.last()), kPoints);
    QCOMPARE(taker.last().rawData->at(0).first(), 2000.0);
    QCOMPARE(taker.last().rawData->at(0).last(), 2000.0 + (kPoints - 1) * 10);
    QVERIFY(rig->sim->commands.contains("CS"));
    QVERIFY(!rig->panel->tracing);
}

void TestDevicePanelJourneys::normalStatusMidTraceThenNextTrace()
{
    // The controller goes back to normal status in the middle of a trace, without its stop
    // alarm. The recording ends there with its points, in the panel and in the device alike, and
    // the next trace starts and is recorded whole into a trace of its own.
    rig = std::make_unique<PanelRig>();
    QVERIFY(rig->connect(SimulatedInstrument::Contourograph));
    rig->window->show();
    rig->sim->contourPoints = 12;
    rig->sim->contourTraceEnd = {{0, 0}};
    TraceTaker taker(rig->panel);
    Heartbeat heartbeat;
    rig->button("startTraceButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(taker.finished, 1, kWaitMs);
    QCOMPARE(rawCount(taker.last()), 12);
    QVERIFY(!rig->panel->tracing);
    QVERIFY(!rig->panel->device.traceStarted);
    QTRY_VERIFY_WITH_TIMEOUT(rig->button("startTraceButton")->isEnabled(), kWaitMs);
    QVERIFY(!rig->button("stopTraceButton")->isEnabled());

    rig->sim->contourPoints = 40;
    rig->sim->contourTraceEnd = {{0, 1}};
    rig->clearCommands();
    rig->button("startTraceButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(taker.finished, 2, kWaitMs);
    report("normal status in the middle of a trace", heartbeat);
    VERIFY_NO_STALL(heartbeat);
    QCOMPARE(rig->sim->count("CS"), 1);
    QCOMPARE(taker.traces.size(), size_t(2));
    QCOMPARE(rawCount(*taker.traces.front()), 12);
    QCOMPARE(rawCount(taker.last()), 40);
    QCOMPARE(taker.last().rawData->at(0).first(), 1000.0);
    QVERIFY(!rig->panel->tracing);
    QVERIFY(!rig->panel->device.traceStarted);
    // The first recording unlocked the window once; the stop alarm's end of the second unlocks
    // it through the stop and again through the end report.
    QCOMPARE(rig->panelSignals, (QStringList {"lock", "unlock", "lock", "unlock", "unlock"}));
}

void TestDevicePanelJourneys::calibrationRunsProgressWindow()
{
    rig = std::make_unique<PanelRig>();
    QVERIFY(rig->connect(SimulatedInstrument::Contourograph));
    rig->window->show();
    QString title;
    ModalAnswerer watcher(
        [&](QWidget *modal) { title = modal->findChildren<QLabel *>().value(1)->text(); });
    Heartbeat heartbeat;
    rig->button("calibrationContourPushButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(watcher.answered(), kWaitMs);
    QCOMPARE(title, QStringLiteral("Идёт калибровка"));
    // The window reaches 100 % and closes by itself.
    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), kWaitMs);
    report("contour calibration", heartbeat);
    VERIFY_NO_STALL(heartbeat);
    QCOMPARE(rig->sim->commands.value(0), QByteArray("CK"));
    // The instrument's return to normal status leaves the panel unlocked.
    QTRY_VERIFY_WITH_TIMEOUT(rig->button("startTraceButton")->isEnabled(), kWaitMs);
}

void TestDevicePanelJourneys::profilometerCalibrationThroughRealDialog()
{
    rig = std::make_unique<PanelRig>();
    QVERIFY(rig->connect(SimulatedInstrument::Profilometer));
    rig->window->show();
    ModalAnswerer answerer([](QWidget *modal) {
        auto *spin = modal->findChild<QDoubleSpinBox *>();
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, QStringLiteral("0.5"));
        const GrabResult grab = grabWindow(modal, QStringLiteral("calib_ra_dialog"));
        VERIFY_GRAB(grab);
        ModalAnswerer::clickButton(modal, QStringLiteral("Принять"));
    });
    rig->button("calibrationProfilePushButton")->click();
    QVERIFY(answerer.answered());
    QCOMPARE(answerer.answeredTitle(), QStringLiteral("Калибровка"));
    QVERIFY(rig->waitForCommand("Ka00500"));
    QCOMPARE(rig->settings->stored("calibration/calibration_Ra_value").toDouble(), 0.5);
    // The calibration text ends the calibration state.
    QTRY_COMPARE_WITH_TIMEOUT(rig->panel->device.replyState, int(Device::POSITION), kWaitMs);
}

void TestDevicePanelJourneys::portLossThenNewTrace()
{
    rig = std::make_unique<PanelRig>();
    QVERIFY(rig->connect(SimulatedInstrument::Contourograph));
    rig->window->show();
    rig->sim->stallAfterPackets = 10;
    TraceTaker taker(rig->panel);
    QSignalSpy opened(rig->panel, &DeviceControlWidget::enableFastSettings);
    Heartbeat heartbeat;
    rig->button("startTraceButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!taker.traces.empty() && rawCount(taker.last()) == 10, kWaitMs);
    rig->sim->dropLine();
    QTRY_COMPARE_WITH_TIMEOUT(taker.finished, 1, kWaitMs);
    QCOMPARE(rawCount(taker.last()), 10);
    QTRY_VERIFY_WITH_TIMEOUT(!rig->panel->isEnabled(), kWaitMs);
    QVERIFY(!rig->panel->tracing);
    QVERIFY(rig->panelSignals.endsWith(QStringLiteral("unlock")));

    // The instrument comes back: the link finds it again, the panel is enabled and records.
    rig->sim->stallAfterPackets = -1;
    QVERIFY(rig->sim->restoreLine());
    QTRY_VERIFY_WITH_TIMEOUT(rig->panel->isEnabled(), 3 * kWaitMs);
    QVERIFY(opened.count() >= 2);
    QCOMPARE(opened.last().at(0).toBool(), true);
    QTRY_COMPARE_WITH_TIMEOUT(rig->panel->device.replyState, int(Device::CONTOUR_PACKET), kWaitMs);
    rig->button("startTraceButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(taker.finished, 2, kWaitMs);
    report("port loss and reconnection", heartbeat);
    VERIFY_NO_STALL(heartbeat);
    QCOMPARE(taker.traces.size(), size_t(2));
    QCOMPARE(rawCount(taker.last()), rig->sim->contourPoints);
}

void TestDevicePanelJourneys::runawayJogIsStopped()
{
    rig = std::make_unique<PanelRig>();
    QVERIFY(rig->connect(SimulatedInstrument::Contourograph));
    rig->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig->window.get()));
    rig->window->activateWindow();
    qApp->installEventFilter(rig->panel->updateKeyMap());
    Heartbeat heartbeat;

    // Left starts the X motion; a dialog opens while the key is held, the key is released
    // inside it, and Right is pressed there too.
    windowKeyPress(rig->window.get(), Qt::Key_Left);
    QVERIFY(rig->waitForCommand("DX+"));
    QDialog dialog(rig->window.get());
    dialog.setWindowTitle(QStringLiteral("Открыть файл"));
    ModalAnswerer answerer([&](QWidget *modal) {
        windowKeyRelease(modal, Qt::Key_Left);
        windowKeyPress(modal, Qt::Key_Right);
        windowKeyRelease(modal, Qt::Key_Right);
        windowKeyPress(modal, Qt::Key_Return);
        windowKeyRelease(modal, Qt::Key_Return);
        ModalAnswerer::reject(modal);
    });
    runDialog(&dialog);
    QVERIFY(answerer.answered());
    QVERIFY(rig->waitForCommand("DX0"));
    QTest::qWait(60);
    QCOMPARE(rig->sim->commands, (QList<QByteArray> {"DX+", "DX0"}));

    // Leaving the program with a key held stops the motion too.
    windowKeyPress(rig->window.get(), Qt::Key_Up);
    QVERIFY(rig->waitForCommand("DZ+"));
    QEvent deactivate(QEvent::ApplicationDeactivate);
    QCoreApplication::sendEvent(qApp, &deactivate);
    QVERIFY(rig->waitForCommand("DZ0"));
    report("jogging", heartbeat);
    VERIFY_NO_STALL(heartbeat);
    qApp->removeEventFilter(rig->panel->keyReceiver);
}

GUI_TEST_MAIN(TestDevicePanelJourneys)
#include "tst_DevicePanelJourneys.moc"
