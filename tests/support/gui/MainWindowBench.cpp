#include "support/gui/MainWindowBench.h"

#include "MainWindow.h"
#include "device/Device.h"
#include "device/DevicePort.h"
#include "device/ui/DeviceControlWidget.h"
#include "profile/ProfileAnalisisWidget.h"
#include "profile/TraceList.h"
#include "traceprocessing/TraceRoad.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDirIterator>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

namespace testsupport {

bool openTraceWithTheMouse(MainWindow &window, int waitMs)
{
    QMenuBar *bar = window.menuBar();
    QAction *file = bar->actions().value(0);
    auto *open = window.findChild<QAction *>(QStringLiteral("actionOpenTrace"));
    if (!file || !file->menu() || !open)
        return false;
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(file).center());
    QMenu *menu = file->menu();
    if (!QTest::qWaitFor([menu] { return menu->isVisible(); }, waitMs))
        return false;
    QSignalSpy triggered(open, &QAction::triggered);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(open).center());
    return triggered.count() == 1 || triggered.wait(waitMs);
}

MainWindowBench::MainWindowBench(SimulatedInstrument::Kind kind, const QString &name,
                                 const std::function<void(Settings &)> &preset, Start start)
{
    static int benches = 0;
    traceName = QStringLiteral("%1_%2_%3_")
                    .arg(name)
                    .arg(QCoreApplication::applicationPid())
                    .arg(++benches);
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    sim = std::make_unique<SimulatedInstrument>(kind);
    qputenv(DevicePort::kPortsVariable, sim->linkPath().toLocal8Bit());
    settings = std::make_unique<TempSettings>([&](Settings &s) {
        s.device.device_type = kind == SimulatedInstrument::Profilometer ? PROFILE : CONTOUR;
        s.service.default_trace_file_name = traceName;
        if (preset)
            preset(s);
    });
    if (start == OpenNow)
        openWindow();
}

MainWindowBench::~MainWindowBench()
{
    window.reset();
    sim.reset();
    for (const QString &file : savedRecordings())
        QFile::remove(file);
    qputenv(DevicePort::kPortsVariable, QByteArray("/nonexistent/tty-of-the-test"));
}

void MainWindowBench::openWindow()
{
    window.reset();
    sim->received.clear();
    sim->commands.clear();
    window = std::make_unique<MainWindow>();
    window->resize(1920, 1000);
    window->show();
    window->activateWindow();
    panel = window->profileWindow()->deviceControlWidget();
}

bool MainWindowBench::closeWindow()
{
    if (!window->close())
        return false;
    panel = nullptr;
    window.reset();
    return true;
}

bool MainWindowBench::connected() const
{
    const bool profilometer = sim->kind == SimulatedInstrument::Profilometer;
    return QTest::qWaitFor(
        [&] {
            // The set-up's last command is the speed.
            const QByteArray speed = (profilometer ? "PS" : "SX")
                + QByteArray::number(Settings::instance()->movement.current_speed);
            return sim->received.contains("CM") && sim->received.endsWith(speed) && sim->idle()
                && (profilometer || panel->device.replyState == Device::CONTOUR_PACKET);
        },
        kWaitMs);
}

bool MainWindowBench::ready(bool connected)
{
    const bool started = QTest::qWaitFor(
        [&] {
            return button("startTraceButton")->isEnabled()
                && (!connected || sim->received.contains("CM")) && sim->idle();
        },
        kWaitMs);
    if (!started || (connected && !this->connected()))
        return false;
    sim->received.clear();
    sim->commands.clear();
    return QTest::qWaitForWindowActive(window.get());
}

QPushButton *MainWindowBench::button(const char *name) const
{
    return panel->findChild<QPushButton *>(QString::fromLatin1(name));
}

TraceList *MainWindowBench::list() const
{
    return window->profileWindow()->traceList();
}

QTreeWidget *MainWindowBench::tree(const char *name) const
{
    return window->findChild<QTreeWidget *>(QString::fromLatin1(name));
}

bool MainWindowBench::waitForCommand(const QByteArray &command) const
{
    return QTest::qWaitFor([&] { return sim->commands.contains(command); }, kWaitMs);
}

QList<QByteArray> MainWindowBench::motions() const
{
    QList<QByteArray> found;
    for (const QByteArray &command : qAsConst(sim->commands)) {
        if (command == "CS" || command == "Cs" || command == "CL" || command.startsWith('D'))
            found << command;
    }
    return found;
}

bool MainWindowBench::quiet() const
{
    QTest::qWait(150);
    return motions().isEmpty() && !panel->tracing;
}

bool MainWindowBench::readDone(int traces) const
{
    return list()->traces.size() == traces && !list()->readingTrace
        && window->menuBar()->isEnabled()
        && !window->profileWindow()->traceRoad()->evaluationPending(nullptr);
}

bool MainWindowBench::waitReadDone(int traces) const
{
    return QTest::qWaitFor([&] { return readDone(traces); }, kWaitMs);
}

bool MainWindowBench::record(const char *buttonName, int traces)
{
    QPushButton *start = button(buttonName);
    if (!QTest::qWaitFor([&] { return start->isEnabled() && !list()->readingTrace && sim->idle(); },
                         kWaitMs))
        return false;
    QTest::mouseClick(start, Qt::LeftButton);
    return waitReadDone(traces);
}

bool MainWindowBench::clickEntry(const AbstractTrace *trace) const
{
    QTreeWidget *traces = tree("tracesListTreeWidget");
    QTreeWidgetItem *item = list()->itemForTrace(trace->id);
    if (!item)
        return false;
    traces->scrollToItem(item);
    QTest::mouseClick(traces->viewport(), Qt::LeftButton, {},
                      traces->visualItemRect(item).center());
    return list()->selectedTrace == trace;
}

bool MainWindowBench::chooseFilter(const QString &text) const
{
    auto *box = list()->findChild<QComboBox *>(QStringLiteral("filterComboBox"));
    const int index = box->findText(text);
    if (index < 0)
        return false;
    QTest::mouseClick(box, Qt::LeftButton);
    QAbstractItemView *view = box->view();
    if (!QTest::qWaitFor([view] { return view->isVisible(); }, kWaitMs))
        return false;
    const QPoint at = view->visualRect(view->model()->index(index, 0)).center();
    // The list takes no click within a double-click interval of opening: click until it closes.
    const QDeadlineTimer deadline(kWaitMs);
    while (view->isVisible() && !deadline.hasExpired()) {
        QTest::mouseMove(view->viewport(), at);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        if (QTest::qWaitFor([view] { return !view->isVisible(); }, 100))
            break;
    }
    return !view->isVisible() && box->currentIndex() == index;
}

QMap<QString, QString> MainWindowBench::table() const
{
    QMap<QString, QString> rows;
    QTreeWidget *params = tree("paramsListTreeWidget");
    for (int i = 0; i < params->topLevelItemCount(); ++i)
        rows.insert(params->topLevelItem(i)->text(0), params->topLevelItem(i)->text(1));
    return rows;
}

QStringList MainWindowBench::savedRecordings() const
{
    QStringList files;
    for (const QString &root :
         {QCoreApplication::applicationDirPath() + QStringLiteral("/Профили"), data.path()}) {
        QDirIterator it(root, {traceName + QStringLiteral("*")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
    }
    return files;
}

} // namespace testsupport
