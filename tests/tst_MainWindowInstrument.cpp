// The main window with a (simulated) instrument on a pseudo-terminal, driven by key events along
// the window system's road: the keys that answer the window's dialogs or edit its entries never
// move the instrument, while the mapped keys still start, stop and jog from the main window; and
// a recording that ends before the profilometer's measured samples begin leaves nothing behind.
// A program started, closed and started again against a contourograph that never stops sending
// identifies it each time and records from it.

#include "MainWindow.h"
#include "core/Constants.h"
#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "dataproviders/FileDataProvider.h"
#include "device/Device.h"
#include "device/DevicePort.h"
#include "device/ui/DeviceControlWidget.h"
#include "device/ui/KeyReceiver.h"
#include "platform/DialogRunner.h"
#include "profile/ProfileAnalisisWidget.h"
#include "profile/TraceList.h"
#include "support/LogReader.h"
#include "support/SimulatedInstrument.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/TestTraces.h"
#include "support/gui/GuiTest.h"
#include "support/gui/MainWindowBench.h"
#include "support/gui/ModalAnswerer.h"
#include "support/gui/ProfileWindowReads.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <memory>

using namespace testsupport;

namespace {

constexpr int kWaitMs = 15000;

// The key journeys' bench: a simulated profilometer with 8 mm traces, and a question before the
// cut-off of a trace changes.
MainWindowBench keyBench(const std::function<void(Settings &)> &preset = {})
{
    return MainWindowBench(SimulatedInstrument::Profilometer, QStringLiteral("Запись_клавиш"),
                           [&preset](Settings &s) {
                               s.device.trace_length = 8;
                               s.preferences.is_ask_before_change_filter = true;
                               if (preset)
                                   preset(s);
                           });
}

// Answers a dialog by a Return pressed inside it; true when that closed it. A dialog that Return
// does not close is rejected, so the test goes on to fail instead of hanging.
bool closeWithReturn(QWidget *modal)
{
    systemKey(modal, QEvent::KeyPress, Qt::Key_Return);
    return ModalAnswerer::waitClosed(modal);
}

// The window system gives the main window the keyboard back once its dialog has closed.
bool reactivated(MainWindow &window)
{
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

QStatusBar *statusBarOf(MainWindow &window)
{
    return window.profileWindow()->findChild<QStatusBar *>(QStringLiteral("statusBar"));
}

int rawCount(const AbstractTrace *trace)
{
    return trace->rawData->isEmpty() ? 0 : trace->rawData->first().size();
}

// Chooses the item below the current one of a closed combo box as an operator does with the
// keyboard: a click opens the list, Down moves in it, Return chooses; the keys go to the window
// with the keyboard focus. False when the list did not open or did not close again (it is then
// closed, so the test goes on to fail).
bool chooseNextWithKeys(QWidget &window, QComboBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton);
    if (!QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 3000))
        return false;
    systemKeyClick(&window, Qt::Key_Down);
    systemKeyClick(&window, Qt::Key_Return);
    if (QTest::qWaitFor([] { return !QApplication::activePopupWidget(); }, 3000))
        return true;
    box->hidePopup();
    return false;
}

} // namespace

class TestMainWindowInstrument : public QObject
{
    Q_OBJECT

private slots:
    void keysOfDialogsAndEntriesMoveNothing();
    void choosingInABoxStartsNothing();
    void savingARecordingNamesItAsListed();
    void recordingEndedEarly_data();
    void recordingEndedEarly();
    void restartedProgramRecordsFromAStreamingContourograph();
    void normalStatusMidTraceKeepsBothTraces();
};

void TestMainWindowInstrument::keysOfDialogsAndEntriesMoveNothing()
{
    MainWindowBench bench = keyBench();
    QVERIFY(bench.ready());
    MainWindow &window = *bench.window;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Деталь.txt"));
    QVERIFY(writeSineTraceFile(path, PROFILE));

    // Open a trace file: the path typed into the file dialog and Return pressed there, released
    // over the main window once the dialog has closed.
    bool closed = false;
    {
        ModalAnswerer answerer([&](QWidget *modal) {
            auto *name = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (!name) {
                // Closed unanswered: the test fails on `closed` instead of waiting in the dialog.
                ModalAnswerer::reject(modal);
                return;
            }
            name->setFocus();
            name->setText(path);
            closed = closeWithReturn(modal);
        });
        window.findChild<QAction *>(QStringLiteral("actionOpenTrace"))->trigger();
        QVERIFY(answerer.answered());
        QCOMPARE(answerer.answeredTitle(), QStringLiteral("Открыть трассу"));
    }
    QVERIFY(closed);
    QVERIFY(reactivated(window));
    systemKey(&window, QEvent::KeyRelease, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(bench.readDone(1), kWaitMs);
    QCOMPARE(bench.list()->traces.first()->filePath(), path);
    QVERIFY(bench.quiet());

    // Close the settings window with Return.
    LogReader log;
    {
        ModalAnswerer answerer([&](QWidget *modal) { closed = closeWithReturn(modal); });
        window.findChild<QAction *>(QStringLiteral("actionSettings"))->trigger();
        QVERIFY(answerer.answered());
        QCOMPARE(answerer.answeredTitle(), QStringLiteral("Параметры"));
    }
    QVERIFY(closed);
    QVERIFY(reactivated(window));
    systemKey(&window, QEvent::KeyRelease, Qt::Key_Return);
    QVERIFY(log.messages().contains(QStringLiteral("Close SettingsDialog")));
    QVERIFY(bench.quiet());

    // Type a trace length into the panel and confirm it with Return: the length goes to the
    // instrument, no trace starts.
    auto *length = bench.panel->findChild<QSpinBox *>(QStringLiteral("traceLengthSpinBox"));
    length->setFocus(Qt::MouseFocusReason);
    QCOMPARE(window.focusWidget(), length);
    length->selectAll();
    systemKeyClick(&window, Qt::Key_1);
    systemKeyClick(&window, Qt::Key_2);
    systemKeyClick(&window, Qt::Key_Return);
    QVERIFY(bench.waitForCommand(QByteArray("PL") + char('0' + 12)));
    QCOMPARE(length->value(), 12);
    QCOMPARE(bench.settings->stored("device/trace_length").toInt(), 12);
    QVERIFY(bench.quiet());
    // The arrows step the length, they move no probe.
    systemKeyClick(&window, Qt::Key_Down);
    QCOMPARE(length->value(), 11);
    QVERIFY(bench.quiet());

    // Ctrl+S: Ctrl and S are let go inside the save dialog, which Return answers; the Return is
    // released over the main window.
    auto *calibration = bench.button("calibrationProfilePushButton");
    const QString saved = dir.filePath(QStringLiteral("сохранено.txt"));
    closed = false;
    {
        ModalAnswerer answerer([&](QWidget *modal) {
            systemKey(modal, QEvent::KeyRelease, Qt::Key_S, Qt::ControlModifier);
            systemKey(modal, QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier);
            auto *name = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (!name) {
                // Closed unanswered: the test fails on `closed` instead of waiting in the dialog.
                ModalAnswerer::reject(modal);
                return;
            }
            name->setFocus();
            name->setText(saved);
            closed = closeWithReturn(modal);
        });
        systemKey(&window, QEvent::KeyPress, Qt::Key_Control);
        QCOMPARE(calibration->text(), QStringLiteral("Сброс доп. калибровки"));
        systemKey(&window, QEvent::KeyPress, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(answerer.answered());
    }
    QVERIFY(closed);
    QVERIFY(reactivated(window));
    systemKey(&window, QEvent::KeyRelease, Qt::Key_Return);
    QVERIFY(QFileInfo::exists(saved));
    QTRY_COMPARE(calibration->text(), QStringLiteral("Калибровка"));
    QVERIFY(!bench.panel->keyReceiver->ctrlPressed);

    QVERIFY(bench.quiet());

    // With the focus off the entries the mapped keys work from the main window: the arrows jog
    // while held, Return starts a trace.
    bench.panel->setFocus();
    systemKey(&window, QEvent::KeyPress, Qt::Key_Left);
    QVERIFY(bench.waitForCommand("DX+"));
    systemKey(&window, QEvent::KeyRelease, Qt::Key_Left);
    QVERIFY(bench.waitForCommand("DX0"));
    systemKey(&window, QEvent::KeyPress, Qt::Key_Up);
    QVERIFY(bench.waitForCommand("DZ+"));
    systemKey(&window, QEvent::KeyRelease, Qt::Key_Up);
    QVERIFY(bench.waitForCommand("DZ0"));
    systemKeyClick(&window, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(bench.readDone(2), kWaitMs);
    QCOMPARE(bench.motions(), (QList<QByteArray> {"DX+", "DX0", "DZ+", "DZ0", "CS"}));
    QCOMPARE(rawCount(bench.list()->traces.last()), 1000);
    QCOMPARE(bench.savedRecordings().size(), 1);

    const GrabResult grab = grabWindow(&window, QStringLiteral("main_window_after_keys"));
    VERIFY_GRAB(grab);
}

void TestMainWindowInstrument::choosingInABoxStartsNothing()
{
    MainWindowBench bench = keyBench([](Settings &s) { s.preferences.profile_filter_mode = 1; });
    QVERIFY(bench.ready());
    MainWindow &window = *bench.window;
    ScriptedPrompts prompts;

    // The panel's speed: the next speed goes to the instrument, nothing starts.
    auto *speed = bench.panel->findChild<QComboBox *>(QStringLiteral("speedComboBox"));
    QCOMPARE(speed->currentIndex(), 0);
    QVERIFY(chooseNextWithKeys(window, speed));
    QCOMPARE(speed->currentIndex(), 1);
    QVERIFY(bench.waitForCommand("PS1"));
    QVERIFY2(bench.quiet(), qPrintable(QString::fromLatin1(bench.sim->received)));
    QCOMPARE(bench.settings->stored("movement/current_speed").toInt(), 1);

    // The view box: the waviness profile is shown from now on, nothing starts.
    auto *view = window.findChild<QComboBox *>(QStringLiteral("profileKindComboBox"));
    QCOMPARE(view->currentText(), QStringLiteral("Профиль шероховатости"));
    QVERIFY(chooseNextWithKeys(window, view));
    QCOMPARE(view->currentText(), QStringLiteral("Профиль волнистости"));
    QVERIFY2(bench.quiet(), qPrintable(QString::fromLatin1(bench.sim->received)));
    QCOMPARE(bench.settings->stored("preferenses/profile_filter_mode").toInt(), 2);
    QCOMPARE(bench.savedRecordings(), QStringList());

    // Return with the focus in the trace list starts a trace, at the speed chosen.
    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("tracesListTreeWidget"));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton);
    QCOMPARE(window.focusWidget(), tree);
    systemKeyClick(&window, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(bench.readDone(1), kWaitMs);
    QCOMPARE(bench.motions(), QList<QByteArray> {"CS"});
    auto *trace = dynamic_cast<ProfileTrace *>(bench.list()->traces.first());
    QVERIFY(trace);
    QCOMPARE(rawCount(trace), 1000);
    QCOMPARE(trace->speed, 0.5);
    QCOMPARE(bench.savedRecordings().size(), 1);

    // The trace list's cut-off box of that trace: the next cut-off is the trace's, nothing
    // starts and nothing more is saved by itself.
    bench.sim->commands.clear();
    QTRY_VERIFY_WITH_TIMEOUT(bench.list()->selectedTrace == trace, kWaitMs);
    auto *filter = bench.list()->findChild<QComboBox *>(QStringLiteral("filterComboBox"));
    QVERIFY(filter->isVisible());
    const int cutOff = filter->currentIndex();
    QVERIFY(cutOff + 1 < kFilterLengths.size());
    QVERIFY(chooseNextWithKeys(window, filter));
    QCOMPARE(filter->currentIndex(), cutOff + 1);
    QTRY_COMPARE_WITH_TIMEOUT(trace->filterLength, kFilterLengths.at(cutOff + 1), kWaitMs);
    QVERIFY2(bench.quiet(), qPrintable(QString::fromLatin1(bench.sim->received)));
    QCOMPARE(bench.list()->traces.size(), 1);
    QCOMPARE(bench.savedRecordings().size(), 1);

    const GrabResult grab = grabWindow(&window, QStringLiteral("main_window_after_boxes"));
    VERIFY_GRAB(grab);
}

// Ctrl+S after a recording: the save dialog is titled with the recording's name in the list,
// not with the port it came from; the file saved opens again under the name chosen.
void TestMainWindowInstrument::savingARecordingNamesItAsListed()
{
    MainWindowBench bench = keyBench();
    QVERIFY(bench.ready());
    MainWindow &window = *bench.window;
    bench.panel->setFocus();
    systemKeyClick(&window, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(bench.readDone(1), kWaitMs);
    AbstractTrace *recording = bench.list()->traces.first();
    const QString listed = bench.list()->itemForTrace(recording->id)->text(0);
    QVERIFY2(listed.startsWith(bench.traceName), qPrintable(listed));

    bench.sim->commands.clear();
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    prompts.answers << dir.filePath(QStringLiteral("Запись"));
    systemKeyClick(&window, Qt::Key_S, Qt::ControlModifier);
    QTRY_COMPARE_WITH_TIMEOUT(prompts.kinds(), QStringList {"save"}, kWaitMs);
    QCOMPARE(prompts.asked.at(0).title, listed);
    QVERIFY(!prompts.asked.at(0).title.contains(bench.sim->linkPath()));
    const QString saved = dir.filePath(QStringLiteral("Запись.txt"));
    QVERIFY(QFileInfo::exists(saved));

    // Opened again, it is listed and offered under the name chosen.
    QVERIFY(readIntoWindow(*window.profileWindow(), saved, PROFILE, kWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(bench.readDone(2), kWaitMs);
    prompts.asked.clear();
    prompts.answers << QVariant() << QVariant();
    systemKeyClick(&window, Qt::Key_S, Qt::ControlModifier);
    QTRY_COMPARE_WITH_TIMEOUT(prompts.kinds(), (QStringList {"save", "save"}), kWaitMs);
    QCOMPARE(prompts.asked.at(0).title, listed);
    QCOMPARE(prompts.asked.at(1).title, QStringLiteral("Запись"));
    QVERIFY(bench.quiet());
}

void TestMainWindowInstrument::recordingEndedEarly_data()
{
    QTest::addColumn<QString>("end");
    QTest::addColumn<bool>("inBlock");
    QTest::newRow("link lost in the preview") << "link" << false;
    QTest::newRow("alarm 110 in the preview") << "alarm" << false;
    QTest::newRow("stop key in the preview, the instrument silent") << "stop" << false;
    QTest::newRow("link lost in the sample block") << "link" << true;
}

void TestMainWindowInstrument::recordingEndedEarly()
{
    QFETCH(QString, end);
    QFETCH(bool, inBlock);
    MainWindowBench bench = keyBench();
    QVERIFY(bench.ready());
    MainWindow &window = *bench.window;
    Device &device = bench.panel->device;
    // Every dialog of the window is answered in place and noted (the cut-off proposal among
    // them), and so is every prompt.
    DialogInterceptor dialogs([](QDialog *dialog) { dialog->reject(); });
    ScriptedPrompts prompts;
    LogReader log;

    // The instrument stops sending in the preview (after the steps header and ten samples), or
    // in the sample block (after its headers and half the block).
    bench.sim->stallAfterPackets = inBlock ? 1 + bench.sim->previewSamples + 1 + 3 : 1 + 10;
    QTest::mouseClick(bench.button("startTraceButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(bench.list()->readingTrace, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(
        inBlock ? device.replyState == Device::SAMPLE_BLOCK && device.progress >= 100
                : device.replyState == Device::PREVIEW && device.progress >= 10,
        kWaitMs);
    if (end == QLatin1String("link")) {
        bench.sim->dropLine();
    } else if (end == QLatin1String("alarm")) {
        // The controller's carriage stop: what the device does on alarm 110 with status 109.
        device.handleAlarmByte(110, 109);
    } else {
        systemKeyClick(&window, Qt::Key_Space);
        QVERIFY(bench.waitForCommand("CV"));
    }
    QTRY_VERIFY_WITH_TIMEOUT(bench.readDone(inBlock ? 1 : 0), kWaitMs);
    QVERIFY(!bench.panel->tracing);

    if (inBlock) {
        // The samples measured so far are the trace, saved by itself.
        AbstractTrace *trace = bench.list()->traces.first();
        QVERIFY(rawCount(trace) >= 100);
        QVERIFY(rawCount(trace) < 1000);
        QCOMPARE(bench.savedRecordings(), QStringList {trace->filePath()});
        ReadBackTrace back(trace->filePath());
        QCOMPARE(*back.trace.rawData, *trace->rawData);
    } else {
        // Nothing measured: no trace, no file, no evaluation, no cut-off proposal; the status
        // line and the log say why.
        QVERIFY(bench.list()->traces.isEmpty());
        QVERIFY(window.profileWindow()->graphHolders().isEmpty());
        QCOMPARE(window.findChild<QTreeWidget *>(QStringLiteral("paramsListTreeWidget"))
                     ->topLevelItemCount(),
                 0);
        QCOMPARE(bench.savedRecordings(), QStringList());
        QCOMPARE(dialogs.seen, QStringList());
        QCOMPARE(prompts.kinds(), QStringList());
        QCOMPARE(statusBarOf(window)->currentMessage(),
                 QStringLiteral("Трасса прервана до начала измерения"));
        QVERIFY(log.entries().contains(
            QStringLiteral("INFO: Trace interrupted before the measurement began")));
        const GrabResult grab = grabWindow(&window, QStringLiteral("interrupted_") + end);
        VERIFY_GRAB(grab);
    }
    // The keyboard focus was not handed on to an entry of the window, where a stray key would
    // replace a value.
    QWidget *focus = window.focusWidget();
    QVERIFY2(!qobject_cast<QAbstractSpinBox *>(focus),
             qPrintable(focus ? focus->objectName() : QString()));

    // The next trace records normally.
    const int before = bench.list()->traces.size();
    bench.sim->stallAfterPackets = -1;
    const bool reconnect = end == QLatin1String("link");
    if (reconnect) {
        bench.sim->received.clear();
        QVERIFY(bench.sim->restoreLine());
    }
    QVERIFY(bench.ready(reconnect));
    bench.button("startTraceButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(bench.readDone(before + 1), kWaitMs);
    AbstractTrace *next = bench.list()->traces.last();
    QCOMPARE(rawCount(next), 1000);
    QVERIFY(bench.savedRecordings().contains(next->filePath()));
    QCOMPARE(bench.savedRecordings().size(), before + 1);
}

void TestMainWindowInstrument::restartedProgramRecordsFromAStreamingContourograph()
{
    // A contourograph sends its status packets all the time, also while no program listens:
    // the line is full of them, the last one cut anywhere, whenever the program starts. The first
    // start has a new user's settings (a profilometer's); the next has the kind the first stored.
    MainWindowBench bench(
        SimulatedInstrument::Contourograph, QStringLiteral("Контур"),
        [](Settings &s) {
            s.device.spinbox_filter_length_index = 2;
            s.device.trace_length = 8;
            s.device.device_type = PROFILE;
        },
        MainWindowBench::OpenLater);
    QVERIFY(bench.sim->isValid());
    // The carriage rests about X 1 mm, its X trembling there, and the trace starts from there.
    QCOMPARE(bench.sim->contourStartX, 1000u);
    bench.sim->deviceParams = {1010000, 990000, 5, 7};
    bench.sim->startStreaming();

    // Started, closed and started again against the same instrument: each start identifies it
    // with a handful of "CP" (the first, and at most one more for every retry interval the start
    // took), not one for every 20 bytes of packets.
    for (int start = 1; start <= 2; ++start) {
        const int streamed = bench.sim->streamedPackets();
        QTRY_VERIFY_WITH_TIMEOUT(bench.sim->streamedPackets() >= streamed + 50, kWaitMs);
        QElapsedTimer clock;
        clock.start();
        bench.openWindow();
        QVERIFY2(bench.connected(),
                 qPrintable(QStringLiteral("start %1: state %2, %3 x CP")
                                .arg(start)
                                .arg(bench.panel->device.replyState)
                                .arg(bench.sim->count("CP"))));
        const qint64 elapsed = clock.elapsed();
        const int requests = bench.sim->count("CP");
        QVERIFY2(requests >= 1 && requests <= 2 + int(elapsed / Device::kIdentificationRetryMs),
                 qPrintable(QStringLiteral("start %1: %2 x CP in %3 ms")
                                .arg(start)
                                .arg(requests)
                                .arg(elapsed)));
        QCOMPARE(bench.sim->count("CO"), 1);
        QCOMPARE(bench.panel->device.deviceKind, CONTOUR);
        QCOMPARE(bench.settings->stored("device/device_type").toInt(), int(CONTOUR));
        QCOMPARE(bench.window->windowTitle(), windowTitleForDeviceType(CONTOUR));
        QVERIFY(bench.button("xplusButton")->isVisible());
        QVERIFY(!bench.button("additionalTracePushButton")->isVisible());
        COMPARE_REL(bench.settings->stored("calibration/x_axis_compression_ratio").toDouble(), 1.01,
                    1e-12);
        // The packets that follow are read as the carriage's place: the status line shows it.
        QTRY_VERIFY_WITH_TIMEOUT(statusBarOf(*bench.window)
                                     ->currentMessage()
                                     .startsWith(QStringLiteral("Устройство ")
                                                 + bench.sim->linkPath()
                                                 + QStringLiteral(" с показателями x: 1")),
                                 kWaitMs);
        QVERIFY(bench.ready());
        if (start == 1) {
            QVERIFY(bench.closeWindow());
            // Nothing the closed program left running writes to the line.
            bench.sim->commands.clear();
            QTest::qWait(300);
            QCOMPARE(bench.sim->commands, QList<QByteArray>());
        }
    }

    // Second step, with the keyboard and the mouse: the next speed chosen in the panel goes to
    // the instrument, then a click on "ТРАССА" records a trace at that speed.
    MainWindow &window = *bench.window;
    ScriptedPrompts prompts;
    auto *speed = bench.panel->findChild<QComboBox *>(QStringLiteral("speedComboBox"));
    QCOMPARE(speed->currentIndex(), 0);
    QVERIFY(chooseNextWithKeys(window, speed));
    QVERIFY(bench.waitForCommand("SX1"));
    QVERIFY(bench.quiet());
    QCOMPARE(bench.sim->commands, QList<QByteArray> {"SX1"});
    QCOMPARE(bench.settings->stored("movement/current_speed").toInt(), 1);

    bench.sim->commands.clear();
    QTest::mouseClick(bench.button("startTraceButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(bench.readDone(1), kWaitMs);
    // The wire: the start sequence at the chosen speed, the trace start, and the controller's end
    // of the trace answered ("CA") and stopped ("CC", "CA"). The controller's own report of the
    // start sends the settings again, and starts nothing more.
    const QList<QByteArray> &sent = bench.sim->commands;
    QVERIFY2(sent.size() >= 4, qPrintable(QString::fromLatin1(bench.sim->received)));
    QCOMPARE(sent.mid(0, 4), (QList<QByteArray> {"SX1", "PF3", "PL8", "CS"}));
    QCOMPARE(bench.motions(), QList<QByteArray> {"CS"});
    QTRY_VERIFY2_WITH_TIMEOUT(sent.count("CC") == 1 && sent.count("CA") == 2,
                              qPrintable(QString::fromLatin1(bench.sim->received)), kWaitMs);
    QVERIFY(!sent.contains("CP"));
    QTRY_VERIFY_WITH_TIMEOUT(bench.button("startTraceButton")->isEnabled(), kWaitMs);
    QVERIFY(!bench.panel->tracing);

    // The trace is every point of the controller's trace, from the first on (the packets at rest
    // read after the start command stand beyond its first points), none of the packets around
    // it, and it was saved by itself as it is shown.
    AbstractTrace *trace = bench.list()->traces.first();
    QCOMPARE(trace->type, CONTOUR);
    const QVector<QVector<double>> raw = *trace->rawData;
    QCOMPARE(raw.size(), 3);
    QCOMPARE(raw.at(0).size(), bench.sim->contourPoints);
    for (int i = 0; i < bench.sim->contourPoints; ++i) {
        QCOMPARE(raw.at(0).at(i), 1000.0 + 10.0 * i);
        QCOMPARE(raw.at(1).at(i), 500.0 + 10.0 * (i % 50));
        QCOMPARE(raw.at(2).at(i), 1000.0 + i);
    }
    QCOMPARE(bench.savedRecordings(), QStringList {trace->filePath()});
    ContourTrace back;
    back.setType(CONTOUR);
    FileDataProvider reader(trace->filePath());
    reader.start(&back);
    reader.waitForFinished();
    QCOMPARE(*back.rawData, raw);
    QCOMPARE(prompts.kinds(), QStringList());

    const GrabResult grab = grabWindow(&window, QStringLiteral("contour_recorded_after_restart"));
    VERIFY_GRAB(grab);
}

// A contourograph that streams its status packets goes back to normal status in the middle of a
// trace, without its stop alarm. The points so far are a trace, listed and saved by itself; the
// next trace starts, is recorded whole and saved beside it, with no warning and no trace lost.
void TestMainWindowInstrument::normalStatusMidTraceKeepsBothTraces()
{
    MainWindowBench bench(SimulatedInstrument::Contourograph, QStringLiteral("Контур_норма"),
                          [](Settings &s) { s.device.trace_length = 8; });
    QVERIFY(bench.ready());
    DialogInterceptor dialogs([](QDialog *dialog) { dialog->reject(); });
    ScriptedPrompts prompts;
    bench.sim->startStreaming();
    bench.sim->contourPoints = 24;
    bench.sim->contourTraceEnd = {{0, 0}};
    QTest::mouseClick(bench.button("startTraceButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(bench.readDone(1), kWaitMs);
    AbstractTrace *first = bench.list()->traces.first();
    QCOMPARE(rawCount(first), 24);
    QCOMPARE(bench.savedRecordings(), QStringList {first->filePath()});
    QVERIFY(!bench.panel->tracing);
    QVERIFY(!bench.panel->device.traceStarted);

    bench.sim->contourPoints = 40;
    bench.sim->contourTraceEnd = {{0, 1}, {0, 0}};
    QVERIFY(bench.ready(false));
    QTest::mouseClick(bench.button("startTraceButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(bench.readDone(2), kWaitMs);
    AbstractTrace *next = bench.list()->traces.last();
    QVERIFY(next != first);
    QCOMPARE(rawCount(next), 40);
    QCOMPARE(next->rawData->at(0).first(), 1000.0);
    QCOMPARE(rawCount(first), 24);
    QCOMPARE(bench.savedRecordings().size(), 2);
    QVERIFY(bench.savedRecordings().contains(next->filePath()));
    QCOMPARE(prompts.kinds(), QStringList());
    QCOMPARE(dialogs.seen, QStringList());
    QVERIFY(!bench.panel->tracing);
    QVERIFY(!bench.panel->device.traceStarted);
}

GUI_TEST_MAIN(TestMainWindowInstrument)
#include "tst_MainWindowInstrument.moc"
