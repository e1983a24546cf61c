// The program's window and the journeys a user takes through it, offscreen: open a trace file,
// read the parameters, change the filter, save the traces, write a report; record from the
// (simulated) instrument and find the recording saved by itself; the menus, shortcuts, tabs and
// the keyboard-jogging rule around the window's dialogs.

#include "InfoWindow.h"
#include "MainWindow.h"
#include "contour/ContourAnalisisWidget.h"
#include "contour/ContourWindowFixture.h"
#include "core/ProfileTrace.h"
#include "core/TraceAutoSave.h"
#include "core/TraceFileWriter.h"
#include "dataproviders/FileDataProvider.h"
#include "device/Device.h"
#include "device/DevicePort.h"
#include "device/ui/DeviceControlWidget.h"
#include "device/ui/KeyReceiver.h"
#include "platform/DialogRunner.h"
#include "profile/AnalisysWidget.h"
#include "profile/ProfileAnalisisWidget.h"
#include "profile/TraceGraphsHolder.h"
#include "profile/TraceList.h"
#include "support/Fifo.h"
#include "support/LogReader.h"
#include "support/SimulatedInstrument.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/TestTraces.h"
#include "support/gui/GuiTest.h"
#include "support/gui/MainWindowBench.h"
#include "support/gui/RecordingDesktop.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"
#include "traceprocessing/ParameterEvaluation.h"
#include "traceprocessing/TraceRoad.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cmath>
#include <memory>

using namespace testsupport;

namespace {

constexpr int kWaitMs = 15000;

// A measurement window as the measuring tab's code makes one; it records what it is asked.
class StubMeasurementWindow : public AnalisysWidget
{
public:
    StubMeasurementWindow()
        : AnalisysWidget(QStringLiteral("КОНТУР"))
    { }
    void beginReportSnapshot() override { }
    void endReportSnapshot() override { }
    void saveReport(QWidget *) override { ++reports; }
    void saveData(DataSaveFormat) override { ++saves; }
    int reports = 0;
    int saves = 0;
};

// Prompts that note whether keyboard jogging was blocked while each was up.
class JogWatchingPrompts : public ScriptedPrompts
{
public:
    explicit JogWatchingPrompts(KeyReceiver *receiver)
        : m_receiver(receiver)
    { }
    QString openFileName(QWidget *parent, const QString &caption, const QString &dir,
                         const QString &filter) override
    {
        blockedWhileAsked << m_receiver->signalsBlocked();
        return ScriptedPrompts::openFileName(parent, caption, dir, filter);
    }
    QString getItem(QWidget *parent, const QString &title, const QString &label,
                    const QStringList &items, int current, bool editable, bool *ok) override
    {
        blockedWhileAsked << m_receiver->signalsBlocked();
        return ScriptedPrompts::getItem(parent, title, label, items, current, editable, ok);
    }
    QList<bool> blockedWhileAsked;

private:
    KeyReceiver *m_receiver;
};

TraceList *traceListOf(MainWindow &window)
{
    return window.profileWindow()->traceList();
}

bool readDone(MainWindow &window, int traces)
{
    TraceList *list = traceListOf(window);
    // The parameters are evaluated on the thread pool after the read.
    return list->traces.size() == traces && !list->readingTrace && window.menuBar()->isEnabled()
        && !window.profileWindow()->traceRoad()->evaluationPending(nullptr);
}

QTreeWidget *tree(MainWindow &window, const char *name)
{
    return window.findChild<QTreeWidget *>(QString::fromLatin1(name));
}

// The rows of the parameter table as "name=value unit".
QStringList shownRows(MainWindow &window)
{
    QStringList rows;
    QTreeWidget *params = tree(window, "paramsListTreeWidget");
    for (int i = 0; i < params->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *row = params->topLevelItem(i);
        rows << row->text(0) + '=' + row->text(1) + ' ' + row->text(2);
    }
    return rows;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // No instrument: the device panel's port search finds nothing.
        qputenv(DevicePort::kPortsVariable, QByteArray("/nonexistent/tty-of-the-test"));
    }
    void cleanup() { MainWindow::setMeasurementWindowFactory(nullptr); }

    void startsWithMenusTabsAndTitle_data();
    void startsWithMenusTabsAndTitle();
    void jogRuleAroundDialogsAndTabs();
    void measurementTabsAreNumberedOnce();
    void reportCommand();
    void shortcutsFollowTheLock();
    void openedFileListsTraceAndParameters();
    void openRefusesWhatIsNoFile_data();
    void openRefusesWhatIsNoFile();
    void fileJourneyEndToEnd();
    void tableFollowsTheViewJourney();
    void recordingIsSavedByItself();
    void settingsRoadReachesTheInstrumentInOrder();
    void settingsWindowRunsWithJoggingOff();
    void handOverOpensAMeasuringTab();
    void newTabShowsTheContourTrueToShape_data();
    void newTabShowsTheContourTrueToShape();
    void closingAsksBeforeLosingMeasurements();
};

void TestMainWindow::startsWithMenusTabsAndTitle_data()
{
    QTest::addColumn<int>("deviceType");
    QTest::addColumn<QString>("title");
    QTest::newRow("profilometer") << int(PROFILE) << "Профилометр модели T46";
    QTest::newRow("additional") << int(ADDITIONAL_TRACE) << "Профилометр модели T46";
    QTest::newRow("contourograph") << int(CONTOUR) << "Корване";
    QTest::newRow("contour with roughness sensor") << int(CONTOURPROF) << "Корване";
}

void TestMainWindow::startsWithMenusTabsAndTitle()
{
    QFETCH(int, deviceType);
    QFETCH(QString, title);
    TempSettings settings([deviceType](Settings &s) { s.device.device_type = deviceType; });
    LogReader log;
    {
        MainWindow window;
        QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(window.windowTitle(), title);
        auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        QCOMPARE(tabs->count(), 1);
        QCOMPARE(tabs->tabText(0), QStringLiteral("ПРОФИЛЬ"));
        QCOMPARE(tabs->widget(0), static_cast<QWidget *>(window.profileWindow()));
        QVERIFY(tabs->tabsClosable());
        QVERIFY(!tabs->tabBar()->tabButton(0, QTabBar::RightSide));
        QStringList menus;
        for (QAction *action : window.menuBar()->actions()) {
            QStringList entries;
            for (QAction *entry : action->menu()->actions())
                entries << entry->text();
            menus << action->text() + ": " + entries.join(", ");
        }
        QCOMPARE(menus,
                 (QStringList {"Файл: Открыть трассу, Сохранить трассы", "Настройки: Параметры",
                               "Отчет: Сохранить", "Справка: О программе"}));
        QCOMPARE(window.saveShortcut()->key(), QKeySequence(QStringLiteral("Ctrl+S")));
        QCOMPARE(window.printShortcut()->key(), QKeySequence(QStringLiteral("Ctrl+P")));
        // A device identifying as another kind retitles the window.
        emit window.profileWindow()->newDeviceType(deviceType >= PROFILE ? CONTOUR : PROFILE);
        QVERIFY(window.windowTitle() != title);
        if (deviceType == PROFILE) {
            window.resize(1280, 800);
            const GrabResult grab = grabWindow(&window, QStringLiteral("main_window"));
            VERIFY_GRAB(grab);
        }
    }
    QVERIFY(log.contains(QStringLiteral("INFO: Start Programm")));
    QVERIFY(log.contains(QStringLiteral("INFO: End programm")));
}

void TestMainWindow::jogRuleAroundDialogsAndTabs()
{
    TempSettings settings;
    MainWindow window;
    KeyReceiver *receiver = window.profileWindow()->keyReceiver;
    QVERIFY(receiver);
    QVERIFY(!receiver->signalsBlocked());
    JogWatchingPrompts prompts(receiver);

    // The open-file dialog (cancelled): blocked while it is up, free again after.
    window.openNewTrace();
    QCOMPARE(prompts.blockedWhileAsked, QList<bool> {true});
    QVERIFY(!receiver->signalsBlocked());
    // Nothing was chosen: the start folder stays.
    QCOMPARE(settings->preferences.save_trace_folder, QString());

    // The About window.
    bool blockedInAbout = false;
    bool aboutSeen = false;
    {
        DialogInterceptor interceptor([&](QDialog *dialog) {
            aboutSeen = qobject_cast<InfoWindow *>(dialog) != nullptr;
            blockedInAbout = receiver->signalsBlocked();
            dialog->reject();
        });
        window.openInfoWindow();
    }
    QVERIFY(aboutSeen);
    QVERIFY(blockedInAbout);
    QVERIFY(!receiver->signalsBlocked());

    // A measurement tab keeps jogging off, also after a command run on it.
    MainWindow::setMeasurementWindowFactory(
        [](MainWindow *, const QVector<AbstractTrace *> &) { return new StubMeasurementWindow; });
    window.createMeasurmentWidget({});
    QVERIFY(receiver->signalsBlocked());
    window.saveToLocalFormat();
    QVERIFY(receiver->signalsBlocked());
    window.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentIndex(0);
    QVERIFY(!receiver->signalsBlocked());
}

void TestMainWindow::measurementTabsAreNumberedOnce()
{
    TempSettings settings;
    MainWindow window;
    QVector<AbstractTrace *> handed;
    MainWindow::setMeasurementWindowFactory(
        [&handed](MainWindow *, const QVector<AbstractTrace *> &traces) {
            handed = traces;
            return new StubMeasurementWindow;
        });
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    LogReader log;
    ProfileTrace trace;
    // The hand-over signal reaches the window through its string connection.
    emit window.profileWindow()->readyForMeasurment({&trace});
    QCOMPARE(handed, QVector<AbstractTrace *> {&trace});
    window.createMeasurmentWidget({});
    QCOMPARE(tabs->tabText(1), QStringLiteral("ИЗМЕРЕНИЯ #1"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("ИЗМЕРЕНИЯ #2"));
    QCOMPARE(tabs->currentIndex(), 2);
    emit tabs->tabCloseRequested(1);
    QCOMPARE(tabs->count(), 2);
    window.createMeasurmentWidget({});
    // A closed tab's number is not given again.
    QCOMPARE(tabs->tabText(2), QStringLiteral("ИЗМЕРЕНИЯ #3"));
    // Tab 0 cannot be closed.
    emit tabs->tabCloseRequested(0);
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(log.messages(),
             (QStringList {"Create measurment #1", "Create measurment #2",
                           "Delete tab measurmen #1", "Create measurment #3"}));
}

void TestMainWindow::reportCommand()
{
    TempSettings settings;
    MainWindow window;
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    JogWatchingPrompts prompts(window.profileWindow()->keyReceiver);

    // The profile tab without traces.
    window.printReport();
    QCOMPARE(prompts.kinds(), QStringList {"warning"});
    QCOMPARE(prompts.asked.at(0).text, QStringLiteral("Нет трасс для сохранения отчёта"));

    // A measurement tab reports on its own copies, whatever the profile tab holds; the
    // operator is asked once: an empty name is no answer.
    MainWindow::setMeasurementWindowFactory(
        [](MainWindow *, const QVector<AbstractTrace *> &) { return new StubMeasurementWindow; });
    window.createMeasurmentWidget({});
    auto *measuring = static_cast<StubMeasurementWindow *>(tabs->currentWidget());
    prompts.asked.clear();
    prompts.answers << QStringLiteral("  ");
    window.printReport();
    QCOMPARE(prompts.kinds(), QStringList {"item"});
    QCOMPARE(measuring->reports, 0);
    QVERIFY(settings->controllers.isEmpty());
    prompts.answers << QStringLiteral("Иванов");
    window.printReport();
    QCOMPARE(measuring->reports, 1);
    QCOMPARE(settings.stored("controllers/current_controller_name").toString(),
             QStringLiteral("Иванов"));
    QCOMPARE(settings->controllers, QStringList {"Иванов"});
    window.printReport();
    QCOMPARE(measuring->reports, 2);
    QCOMPARE(prompts.kinds(), (QStringList {"item", "item"}));
    QVERIFY(!prompts.blockedWhileAsked.contains(false));
}

void TestMainWindow::shortcutsFollowTheLock()
{
    TempSettings settings;
    MainWindow window;
    emit window.profileWindow()->lockButtons();
    QVERIFY(!window.menuBar()->isEnabled());
    QVERIFY(!window.saveShortcut()->isEnabled());
    QVERIFY(!window.printShortcut()->isEnabled());
    emit window.profileWindow()->unlockButtons();
    QVERIFY(window.menuBar()->isEnabled());
    QVERIFY(window.saveShortcut()->isEnabled());
    QVERIFY(window.printShortcut()->isEnabled());
}

void TestMainWindow::openedFileListsTraceAndParameters()
{
    TempSettings settings([](Settings &s) {
        s.preferences.enabled_params = {{0, "Ra"}, {1, "Rz"}, {2, "Rmax"}};
        s.preferences.enabled_params_count = 3;
        s.device.spinbox_filter_length_index = 2;
    });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Вал.txt"));
    QVERIFY(writeSineTraceFile(path, PROFILE, 2));
    MainWindow window;
    ScriptedPrompts prompts;
    prompts.answers << path;
    window.openNewTrace();
    QTRY_VERIFY_WITH_TIMEOUT(readDone(window, 3), kWaitMs);
    QCOMPARE(settings.stored("preferenses/save_trace_folder").toString(), dir.path() + "/");

    // Three entries and holders; the additional ones hidden and unchecked.
    QTreeWidget *traces = tree(window, "tracesListTreeWidget");
    QCOMPARE(traces->topLevelItemCount(), 1);
    QTreeWidgetItem *main = traces->topLevelItem(0);
    QCOMPARE(main->text(0), QStringLiteral("Вал"));
    QCOMPARE(main->childCount(), 2);
    const auto &holders = window.profileWindow()->graphHolders();
    QCOMPARE(holders.size(), 3);
    for (int c = 0; c < 2; ++c) {
        QCOMPARE(main->child(c)->checkState(0), Qt::Unchecked);
        QVERIFY(!holders.value(TraceList::traceItemId(main->child(c)))->isVisible());
    }
    QVERIFY(holders.value(TraceList::traceItemId(main))->isVisible());

    // The table holds what the evaluation gives for that file.
    ReadBackTrace back(path);
    ProfileTrace &reread = back.trace;
    QTreeWidget *params = tree(window, "paramsListTreeWidget");
    QCOMPARE(params->topLevelItemCount(), 3);
    for (int i = 0; i < 3; ++i) {
        ExtraArgs args;
        const QString name = params->topLevelItem(i)->text(0);
        const QString expected = evaluateParameter(args, &reread, name);
        QVERIFY2(expected.contains(QStringLiteral("±")), qPrintable(expected));
        QCOMPARE(params->topLevelItem(i)->text(1), expected);
    }
}

void TestMainWindow::openRefusesWhatIsNoFile_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("reason");
    QTest::newRow("fifo") << "fifo"
                          << ": not a regular file";
    QTest::newRow("folder") << "folder"
                            << ": not a regular file";
    QTest::newRow("missing file") << "missing"
                                  << "";
}

// A pipe, a folder or a file that is not there is refused at once, with a warning: the window
// neither waits on the pipe nor starts a read.
void TestMainWindow::openRefusesWhatIsNoFile()
{
    QFETCH(QString, source);
    QFETCH(QString, reason);
    TempSettings settings;
    Fifo fifo;
    QVERIFY(fifo.isValid());
    QTemporaryDir dir;
    const QString path = source == "fifo" ? fifo.path()
        : source == "folder"              ? dir.path()
                                          : dir.filePath(QStringLiteral("нет.txt"));
    MainWindow window;
    DataProvider *provider = window.profileWindow()->dataProvider();
    QSignalSpy locks(window.profileWindow(), &ProfileAnalisisWidget::lockButtons);
    ScriptedPrompts prompts;
    prompts.answers << path;
    LogReader log;
    QVERIFY(fifo.returnsInTime(
        [&window] { window.findChild<QAction *>(QStringLiteral("actionOpenTrace"))->trigger(); }));
    QCOMPARE(prompts.kinds(), (QStringList {"open", "warning"}));
    QCOMPARE(prompts.asked.at(1).title, QStringLiteral("Ошибка"));
    QCOMPARE(prompts.asked.at(1).text, QStringLiteral("Не удалось открыть файл ") + path);
    QVERIFY2(log.contains("ERROR: Can't open file " + path + reason),
             qPrintable(log.entries().join('\n')));
    QCOMPARE(window.profileWindow()->dataProvider(), provider);
    QCOMPARE(locks.count(), 0);
    QVERIFY(traceListOf(window)->traces.isEmpty());
    QVERIFY(window.menuBar()->isEnabled());
}

void TestMainWindow::fileJourneyEndToEnd()
{
    TempSettings settings([](Settings &s) {
        s.preferences.enabled_params = {{0, "Ra"}, {1, "Rz"}};
        s.preferences.enabled_params_count = 2;
        s.service.factory_name = QStringLiteral("Завод №7");
    });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Деталь.txt"));
    QVERIFY(writeSineTraceFile(path, PROFILE));
    MainWindow window;
    window.resize(1280, 800);
    window.show();
    ScriptedPrompts prompts;
    RecordingDesktop desktop;

    // Open, from the menu.
    prompts.answers << path;
    window.findChild<QAction *>(QStringLiteral("actionOpenTrace"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(readDone(window, 1), kWaitMs);
    AbstractTrace *trace = traceListOf(window)->traces.first();
    QTreeWidget *params = tree(window, "paramsListTreeWidget");
    QCOMPARE(params->topLevelItemCount(), 2);
    const QString primaryRa = params->topLevelItem(0)->text(1);
    QVERIFY(!primaryRa.isEmpty());

    // Change the filter: the roughness profile is shown, the trace keeps its cut-off; then a
    // shorter cut-off for the trace, which its file keeps.
    const TData primary = *trace->processedData;
    window.findChild<QComboBox *>(QStringLiteral("profileKindComboBox"))->setCurrentIndex(1);
    QCOMPARE(trace->postProcessors.size(), 2);
    QVERIFY(*trace->processedData != primary);
    auto *filter = window.profileWindow()->traceList()->findChild<QComboBox *>(
        QStringLiteral("filterComboBox"));
    filter->setCurrentIndex(3);
    QCOMPARE(static_cast<ProfileTrace *>(trace)->filterLength, 250.0);
    QTRY_VERIFY_WITH_TIMEOUT(!params->topLevelItem(0)->text(1).isEmpty()
                                 && params->topLevelItem(0)->text(1) != primaryRa,
                             kWaitMs);
    QCOMPARE(ReadBackTrace(path).trace.filterLength, 250.0);

    // Save with Ctrl+S: the name typed without ".txt" gets it.
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    prompts.answers << dir.filePath(QStringLiteral("сохранено"));
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    const QString saved = dir.filePath(QStringLiteral("сохранено.txt"));
    QVERIFY(QFileInfo::exists(saved));
    QCOMPARE(*ReadBackTrace(saved).trace.rawData, *trace->rawData);
    QCOMPARE(trace->filePath(), saved);

    // Report with Ctrl+P: the operator's name first, then the file.
    prompts.answers << QStringLiteral("Иванов") << dir.filePath(QStringLiteral("отчёт"));
    QTest::keyClick(&window, Qt::Key_P, Qt::ControlModifier);
    const QString report = dir.filePath(QStringLiteral("отчёт.html"));
    QCOMPARE(desktop.opened, QStringList {report});
    QFile html(report);
    QVERIFY(html.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(html.readAll());
    QVERIFY(page.contains(QStringLiteral("Завод №7")));
    QVERIFY(page.contains(params->topLevelItem(0)->text(1)));
    QVERIFY(page.contains(QStringLiteral("data:image/png;base64,")));
    QCOMPARE(prompts.kinds(), (QStringList {"open", "save", "item", "save"}));

    const GrabResult grab = grabWindow(&window, QStringLiteral("main_window_with_trace"));
    VERIFY_GRAB(grab);
}

// A trace exactly two cut-offs long, opened from the menu with the mouse in the roughness view:
// every row says the trace is too short, with no unit, in the table and in the report. The view
// changed to the primary profile with the keyboard gives every row its value; a damaged file
// opened next is refused with its reason and leaves the first trace and its values as they were.
void TestMainWindow::tableFollowsTheViewJourney()
{
    TempSettings settings([](Settings &s) {
        s.device.spinbox_filter_length_index = 2;
        s.preferences.profile_filter_mode = ROUGHNESS_PROFILE_MODE;
        s.preferences.enabled_params = {{0, "Ra"}, {1, "Rz"}};
        s.preferences.enabled_params_count = 2;
    });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Деталь.txt"));
    {
        ProfileTrace written;
        written.setType(PROFILE);
        written.filterLength = 800;
        written.speed = 0.5;
        for (int i = 0; i <= 1600; ++i) {
            QVector<double> sample {double(i), std::sin(i / 20.0) + 0.3 * std::sin(i / 3.0 + 1.0)};
            written.appendPoint(sample);
        }
        QVERIFY(writeTraceFile(path, &written));
    }
    MainWindow window;
    window.resize(1280, 800);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ScriptedPrompts prompts;

    prompts.answers << path;
    QVERIFY(openTraceWithTheMouse(window));
    QTRY_VERIFY_WITH_TIMEOUT(readDone(window, 1), kWaitMs);
    auto *trace = static_cast<ProfileTrace *>(traceListOf(window)->traces.first());
    traceListOf(window)->selectTrace(trace->id);
    QCOMPARE(shownRows(window),
             (QStringList {"Ra=" + kTooShortTraceText + ' ', "Rz=" + kTooShortTraceText + ' '}));
    QMap<QString, QString> report = window.profileWindow()->reportData(trace);
    QCOMPARE(report.value(QStringLiteral("param[0].value")), kTooShortTraceText);

    // The view, changed with the keyboard on its box (Home: the first view; the arrows are the
    // instrument's jog keys there).
    auto *view = window.findChild<QComboBox *>(QStringLiteral("profileKindComboBox"));
    QCOMPARE(view->currentIndex(), 1);
    view->setFocus(Qt::TabFocusReason);
    QTest::keyClick(view, Qt::Key_Home);
    QCOMPARE(view->currentIndex(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(readDone(window, 1), kWaitMs);
    const QStringList values = shownRows(window);
    QCOMPARE(values.size(), 2);
    for (const QString &row : values) {
        QVERIFY2(!row.contains(kTooShortTraceText), qPrintable(row));
        QVERIFY2(row.endsWith(QStringLiteral(" мкм")), qPrintable(row));
        bool number = false;
        row.section('=', 1).section(' ', 0, 0).toDouble(&number);
        QVERIFY2(number, qPrintable(row));
    }
    report = window.profileWindow()->reportData(trace);
    QCOMPARE(report.value(QStringLiteral("param[0].value")), values.at(0).section('=', 1));
    QCOMPARE(
        traceListOf(window)->findChild<QLabel *>(QStringLiteral("traceLengthValuLabel"))->text(),
        QStringLiteral("1.6 мм"));

    // A damaged file next: refused whole, with the reason, and nothing of it stays.
    const BadTraceFile bad = badTraceFiles().first();
    const QString badPath = dir.filePath(QStringLiteral("Испорчен.txt"));
    QVERIFY(writeBytes(badPath, bad.content));
    prompts.asked.clear();
    prompts.answers << badPath;
    QVERIFY(openTraceWithTheMouse(window));
    QTRY_VERIFY_WITH_TIMEOUT(prompts.kinds() == (QStringList {"open", "warning"}), kWaitMs);
    QVERIFY2(prompts.asked.at(1).text.contains(QStringLiteral("«Испорчен.txt»: ") + bad.reason),
             qPrintable(prompts.asked.at(1).text));
    QTRY_VERIFY_WITH_TIMEOUT(readDone(window, 1), kWaitMs);
    QCOMPARE(traceListOf(window)->traces.first(), trace);
    traceListOf(window)->selectTrace(trace->id);
    QCOMPARE(shownRows(window), values);
    // The first trace, hidden while the damaged file was read, is in view again.
    QCOMPARE(traceListOf(window)->itemForTrace(trace->id)->checkState(0), Qt::Checked);
    QVERIFY(window.profileWindow()->graphHolders().value(trace->id)->isVisible());

    const GrabResult grab = grabWindow(&window, QStringLiteral("table_after_view_change"));
    VERIFY_GRAB(grab);
}

void TestMainWindow::recordingIsSavedByItself()
{
    // The per-user data folder of this run.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    const QString appFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/Профили");
    QDir(appFolder).removeRecursively();
    QFile::remove(appFolder);

    SimulatedInstrument sim(SimulatedInstrument::Profilometer);
    QVERIFY(sim.isValid());
    qputenv(DevicePort::kPortsVariable, sim.linkPath().toLocal8Bit());
    TempSettings settings([](Settings &s) {
        s.device.device_type = PROFILE;
        s.service.default_trace_file_name = QStringLiteral("Запись");
        s.preferences.is_ask_before_change_filter = false;
        s.preferences.is_accept_filter = false;
    });
    {
        MainWindow window;
        window.show();
        DeviceControlWidget *panel = window.profileWindow()->deviceControlWidget();
        auto *start = panel->findChild<QPushButton *>(QStringLiteral("startTraceButton"));
        QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled() && sim.received.contains("CM") && sim.idle(),
                                 kWaitMs);
        QTest::qWait(200);

        start->click();
        QTRY_VERIFY_WITH_TIMEOUT(readDone(window, 1), kWaitMs);
        AbstractTrace *first = traceListOf(window)->traces.first();
        QCOMPARE(QFileInfo(first->filePath()).absolutePath(),
                 QFileInfo(appFolder).absoluteFilePath());
        QVERIFY(QFileInfo(first->filePath()).fileName().startsWith(QStringLiteral("Запись_")));
        ReadBackTrace back(first->filePath());
        QCOMPARE(back.trace.rawData->at(0).size(), 1000);
        QCOMPARE(*back.trace.rawData, *first->rawData);

        // An additional trace hangs on the recording and is written into its file.
        auto *additional
            = panel->findChild<QPushButton *>(QStringLiteral("additionalTracePushButton"));
        QTRY_VERIFY_WITH_TIMEOUT(additional->isEnabled() && start->isEnabled(), kWaitMs);
        additional->click();
        QTRY_VERIFY_WITH_TIMEOUT(readDone(window, 2), kWaitMs);
        auto *main = static_cast<ProfileTrace *>(first);
        QCOMPARE(main->additionalTraces.size(), 1);
        QCOMPARE(main->additionalTraces.at(0)->filePath(), first->filePath());
        {
            ReadBackTrace family(first->filePath());
            QCOMPARE(family.trace.additionalTraces.size(), 1);
            QCOMPARE(*family.trace.additionalTraces.at(0)->rawData,
                     *main->additionalTraces.at(0)->rawData);
        }

        // The application folder cannot take files: the user's data folder does.
        QVERIFY(QDir(appFolder).removeRecursively());
        QFile standIn(appFolder);
        QVERIFY(standIn.open(QIODevice::WriteOnly));
        standIn.close();
        QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), kWaitMs);
        start->click();
        QTRY_VERIFY_WITH_TIMEOUT(readDone(window, 3), kWaitMs);
        AbstractTrace *second = traceListOf(window)->traces.last();
        QVERIFY(second->filePath().startsWith(data.path()));
        QVERIFY(second->filePath().contains(QStringLiteral("/Профили/")));
        QVERIFY(QFileInfo::exists(second->filePath()));
    }
    QFile::remove(appFolder);
    qputenv(DevicePort::kPortsVariable, QByteArray("/nonexistent/tty-of-the-test"));
}

void TestMainWindow::settingsRoadReachesTheInstrumentInOrder()
{
    SimulatedInstrument sim(SimulatedInstrument::Contourograph);
    QVERIFY(sim.isValid());
    qputenv(DevicePort::kPortsVariable, sim.linkPath().toLocal8Bit());
    TempSettings settings([](Settings &s) { s.device.device_type = CONTOUR; });
    {
        MainWindow window;
        DeviceControlWidget *panel = window.profileWindow()->deviceControlWidget();
        QTRY_VERIFY_WITH_TIMEOUT(panel->device.replyState == Device::CONTOUR_PACKET
                                     && sim.received.contains("CM") && sim.idle(),
                                 kWaitMs);
        QTest::qWait(200);
        sim.received.clear();
        // What the settings window leaves behind: another needle pressing, and the request to
        // send the calibration values.
        settings.change([](Settings &s) {
            s.movement.needle_pressing = MovementSettings::E_PRESSING_UP;
            s.calibration.upload_device_settings = true;
        });
        emit window.settingsChanged();
        QTRY_VERIFY_WITH_TIMEOUT(sim.received.size() >= 3 + 121, kWaitMs);
        const int pressing = sim.received.indexOf("Pu1");
        QVERIFY(pressing >= 0);
        QCOMPARE(sim.received.indexOf('O', pressing), pressing + 3);
        QCOMPARE(settings.stored("calibration/upload_device_settings").toBool(), false);
    }
    qputenv(DevicePort::kPortsVariable, QByteArray("/nonexistent/tty-of-the-test"));
}

void TestMainWindow::settingsWindowRunsWithJoggingOff()
{
    TempSettings settings([](Settings &s) { s.view.axis_unit = 0; });
    MainWindow window;
    KeyReceiver *receiver = window.profileWindow()->keyReceiver;
    QSignalSpy changed(&window, &MainWindow::settingsChanged);
    LogReader log;
    QString title;
    bool blocked = false;
    {
        DialogInterceptor interceptor([&](QDialog *dialog) {
            title = dialog->windowTitle();
            blocked = receiver->signalsBlocked();
            dialog->reject();
        });
        window.findChild<QAction *>(QStringLiteral("actionSettings"))->trigger();
    }
    QCOMPARE(title, QStringLiteral("Параметры"));
    QVERIFY(blocked);
    QVERIFY(!receiver->signalsBlocked());
    // Closed either way: the windows re-read the settings.
    QCOMPARE(changed.size(), 1);
    QVERIFY(log.messages().contains(QStringLiteral("Open SettingsDialog")));
    QVERIFY(log.messages().contains(QStringLiteral("Close SettingsDialog")));
}

void TestMainWindow::handOverOpensAMeasuringTab()
{
    TempSettings settings;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Контур.txt"));
    QVERIFY(writeSineTraceFile(path, CONTOUR));
    MainWindow window;
    ScriptedPrompts prompts;
    prompts.answers << path;
    window.openNewTrace();
    QTRY_VERIFY_WITH_TIMEOUT(readDone(window, 1), kWaitMs);
    window.profileWindow()->findChild<QAction *>(QStringLiteral("actionToMeasurement"))->trigger();
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(1), QStringLiteral("ИЗМЕРЕНИЯ #1"));
    auto *measuring = qobject_cast<ContourAnalisisWidget *>(tabs->currentWidget());
    QVERIFY(measuring);
    QVERIFY(window.profileWindow()->keyReceiver->signalsBlocked());
    // The tab works on copies: the profile window keeps its trace.
    QCOMPARE(traceListOf(window)->traces.size(), 1);
    QVERIFY(prompts.kinds() == QStringList {"open"});
}

void TestMainWindow::newTabShowsTheContourTrueToShape_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("the form's size") << QSize(1021, 678);
    QTest::newRow("wide") << QSize(1500, 850);
    QTest::newRow("tall") << QSize(1100, 1000);
}

// The first picture of a new measurement tab shows a contour in its true shape: one millimetre
// of a 20 x 7 mm rectangle takes as many pixels across as up, measured on the grab.
void TestMainWindow::newTabShowsTheContourTrueToShape()
{
    QFETCH(QSize, size);
    TempSettings settings;
    MainWindow window;
    window.resize(size);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVector<QPointF> rectangle;
    for (int i = 0; i < 200; ++i)
        rectangle << QPointF(i * 100.0, 0);
    for (int i = 0; i < 70; ++i)
        rectangle << QPointF(20000, i * 100.0);
    for (int i = 0; i < 200; ++i)
        rectangle << QPointF(20000 - i * 100.0, 7000);
    for (int i = 0; i <= 70; ++i)
        rectangle << QPointF(0, 7000 - i * 100.0);
    std::unique_ptr<ContourTrace> trace(makeTrace(rectangle));
    window.createMeasurmentWidget({trace.get()});
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    auto *tab = qobject_cast<ContourAnalisisWidget *>(tabs->currentWidget());
    QVERIFY(tab);

    const GrabResult grab = grabWindow(&window, QStringLiteral("first_frame"));
    VERIFY_GRAB(grab);
    // The rectangle's extent in the picture: the pixels of the trace's colour over the plot.
    const QRect plotArea(tab->plot()->mapTo(&window, QPoint(0, 0)), tab->plot()->size());
    const QColor traceColor(settings.record().preferences.graph_color);
    QRect extent;
    for (int y = plotArea.top(); y <= plotArea.bottom(); ++y) {
        for (int x = plotArea.left(); x <= plotArea.right(); ++x) {
            const QColor c = grab.image.pixelColor(x, y);
            if (std::abs(c.red() - traceColor.red()) < 40
                && std::abs(c.green() - traceColor.green()) < 40
                && std::abs(c.blue() - traceColor.blue()) < 40)
                extent |= QRect(x, y, 1, 1);
        }
    }
    QVERIFY(extent.width() > 100 && extent.height() > 100);
    // The lines are two pixels wide: their middles lie a pixel inside the extent.
    const double perMmX = (extent.width() - 2) / 20.0;
    const double perMmY = (extent.height() - 2) / 7.0;
    QVERIFY2(std::abs(perMmX / perMmY - 1.0) <= 0.005,
             qPrintable(QStringLiteral("%1 x %2 pixels").arg(extent.width()).arg(extent.height())));
}

namespace {

// Adds a finished length of the value to the measurement tab, as a click with the length tool
// would.
Measurement *measureIn(ContourAnalisisWidget *tab, double value)
{
    MeasurementsManager *manager = tab->manager();
    manager->setFactory([value](int kind, const MeasurementArgs &args) {
        auto *m = new ValueMeasurement(kind, args.plot, value, MeasurementDouble::Finish::OnDemand);
        return m;
    });
    manager->setMeasurementType(HORISONTAL_DISTANCE, true, false, QString());
    manager->createMeasurement(tab);
    manager->connectMeasurement();
    auto *m = static_cast<ValueMeasurement *>(manager->currentMeasurement());
    m->complete();
    return m;
}

} // namespace

// Closing a tab, or the program, whose measurements are not in a protocol yet asks first; a
// tab with nothing new closes without a word.
void TestMainWindow::closingAsksBeforeLosingMeasurements()
{
    TempSettings settings;
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    std::unique_ptr<ContourTrace> trace(makeLine(0, 0, 100, 30, 101));
    ScriptedPrompts prompts;
    RecordingDesktop desktop;
    auto openTab = [&] {
        window.createMeasurmentWidget({trace.get()});
        return qobject_cast<ContourAnalisisWidget *>(tabs->currentWidget());
    };
    // The close button on the tab, clicked with the mouse.
    const auto clickClose = [tabs](int index) {
        QWidget *button = tabs->tabBar()->tabButton(index, QTabBar::RightSide);
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
    };
    const QString tabQuestion
        = QStringLiteral("Закрыть вкладку? Измерения не сохранены в протокол.");

    // A tab without measurements: closed at once.
    openTab();
    clickClose(1);
    QCOMPARE(tabs->count(), 1);
    QVERIFY(prompts.asked.isEmpty());

    // A measurement made: the operator is asked, and "No" keeps the tab.
    ContourAnalisisWidget *first = openTab();
    Measurement *length = measureIn(first, 1.5);
    prompts.answers << int(QMessageBox::No);
    clickClose(1);
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(prompts.kinds(), QStringList {"question"});
    QCOMPARE(prompts.asked.at(0).text, tabQuestion);

    // Written to a protocol: nothing to lose. Changed afterwards: asked again.
    prompts.answers << QDir::current().filePath(QStringLiteral("protocol"));
    first->saveReport(&window);
    QVERIFY(!first->hasUnsavedMeasurements());
    static_cast<ValueMeasurement *>(length)->fixed = 2.5;
    QVERIFY(first->hasUnsavedMeasurements());
    static_cast<ValueMeasurement *>(length)->fixed = 1.5;
    QVERIFY(!first->hasUnsavedMeasurements());
    ContourAnalisisWidget *second = openTab();
    measureIn(second, 3.0);
    QCOMPARE(tabs->count(), 3);

    // The program asks once for all such tabs; "No" keeps it open.
    static_cast<ValueMeasurement *>(length)->fixed = 2.5;
    prompts.asked.clear();
    prompts.answers << int(QMessageBox::No);
    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    QCOMPARE(prompts.kinds(), QStringList {"question"});
    QVERIFY(prompts.asked.at(0).text.contains(tabs->tabText(1)));
    QVERIFY(prompts.asked.at(0).text.contains(tabs->tabText(2)));
    // "Yes" closes the tab, and the program.
    prompts.answers << int(QMessageBox::Yes);
    clickClose(2);
    QCOMPARE(tabs->count(), 2);
    prompts.answers << int(QMessageBox::Yes);
    QVERIFY(window.close());
    QCOMPARE(prompts.kinds(), (QStringList {"question", "question", "question"}));
}

GUI_TEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
