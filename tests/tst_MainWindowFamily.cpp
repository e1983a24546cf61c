// A family of traces recorded from the (simulated) profilometer through the main window, with the
// mouse and the keyboard: the family keeps one cut-off whatever the instrument's filter, the
// parameter table always shows what the family's file gives when it is opened again, and every
// trace keeps its own recording date through each rewrite of the file (a cut-off change, a
// removal, Ctrl+S) and through a reopening.

#include "MainWindow.h"
#include "core/ProfileTrace.h"
#include "device/DevicePort.h"
#include "device/ui/DeviceControlWidget.h"
#include "profile/ProfileAnalisisWidget.h"
#include "profile/TraceList.h"
#include "support/SimulatedInstrument.h"
#include "support/TempSettings.h"
#include "support/TestTraces.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"
#include "traceprocessing/ParameterEvaluation.h"
#include "traceprocessing/TraceRoad.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDirIterator>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <memory>

using namespace testsupport;

namespace {

constexpr int kWaitMs = 15000;

// The main window on a simulated profilometer with the 0.8 mm filter, the roughness view, Ra and
// Rz displayed and no cut-off proposal; its recordings are saved under a name of their own.
struct Bench
{
    QTemporaryDir data;
    std::unique_ptr<SimulatedInstrument> sim;
    std::unique_ptr<TempSettings> settings;
    std::unique_ptr<MainWindow> window;
    DeviceControlWidget *panel = nullptr;
    QString traceName;

    Bench()
    {
        traceName = QStringLiteral("Семейство_%1_").arg(QCoreApplication::applicationPid());
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
        sim = std::make_unique<SimulatedInstrument>(SimulatedInstrument::Profilometer);
        // 1000 samples 10 µm apart, long enough for the 2.5 mm cut-off, about 40 µm high.
        sim->profileSteps = 100;
        sim->sampleScale = 1000000;
        qputenv(DevicePort::kPortsVariable, sim->linkPath().toLocal8Bit());
        settings = std::make_unique<TempSettings>([this](Settings &s) {
            s.device.device_type = PROFILE;
            s.device.trace_length = 8;
            s.device.spinbox_filter_length_index = 2;
            s.preferences.profile_filter_mode = ROUGHNESS_PROFILE_MODE;
            s.preferences.enabled_params = {{0, "Ra"}, {1, "Rz"}};
            s.preferences.enabled_params_count = 2;
            s.preferences.is_ask_before_change_filter = false;
            s.preferences.is_accept_filter = false;
            s.service.default_trace_file_name = traceName;
        });
        window = std::make_unique<MainWindow>();
        window->resize(1920, 1000);
        window->show();
        window->activateWindow();
        panel = window->profileWindow()->deviceControlWidget();
    }
    ~Bench()
    {
        window.reset();
        sim.reset();
        for (const QString &file : savedRecordings())
            QFile::remove(file);
        qputenv(DevicePort::kPortsVariable, QByteArray("/nonexistent/tty-of-the-test"));
    }

    QStringList savedRecordings() const
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

    QPushButton *button(const char *name) const
    {
        return panel->findChild<QPushButton *>(QString::fromLatin1(name));
    }
    TraceList *list() const { return window->profileWindow()->traceList(); }
    QTreeWidget *tree(const char *name) const
    {
        return window->findChild<QTreeWidget *>(QString::fromLatin1(name));
    }

    // The instrument identified and set up (the set-up's last command is the speed).
    bool connected() const
    {
        return QTest::qWaitFor(
            [&] {
                return sim->received.contains("CM") && sim->received.endsWith("PS0") && sim->idle();
            },
            kWaitMs);
    }

    // The read has ended with that many traces listed, the window unlocked and the values in.
    bool readDone(int traces) const
    {
        return QTest::qWaitFor(
            [&] {
                return list()->traces.size() == traces && !list()->readingTrace
                    && window->menuBar()->isEnabled()
                    && !window->profileWindow()->traceRoad()->evaluationPending(nullptr);
            },
            kWaitMs);
    }

    // A recording started with a click on the panel's button.
    bool record(const char *buttonName, int traces)
    {
        QPushButton *start = button(buttonName);
        if (!QTest::qWaitFor(
                [&] { return start->isEnabled() && !list()->readingTrace && sim->idle(); },
                kWaitMs))
            return false;
        QTest::mouseClick(start, Qt::LeftButton);
        return readDone(traces);
    }

    // A click on the trace's entry in the list: it becomes the selected trace.
    bool clickEntry(const AbstractTrace *trace) const
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

    // The trace list's "Фильтр" box opened with the mouse and an item clicked in its list.
    bool chooseFilter(const QString &text) const
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
        // The list takes no click within a double-click interval of opening: click until it
        // closes.
        const QDeadlineTimer deadline(kWaitMs);
        while (view->isVisible() && !deadline.hasExpired()) {
            QTest::mouseMove(view->viewport(), at);
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
            if (QTest::qWaitFor([view] { return !view->isVisible(); }, 100))
                break;
        }
        return !view->isVisible() && box->currentIndex() == index;
    }

    // "Файл" → "Открыть трассу" with the mouse.
    bool openTrace() const
    {
        QMenuBar *bar = window->menuBar();
        QAction *file = bar->actions().value(0);
        auto *open = window->findChild<QAction *>(QStringLiteral("actionOpenTrace"));
        if (!file || !file->menu() || !open)
            return false;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(file).center());
        QMenu *menu = file->menu();
        if (!QTest::qWaitFor([menu] { return menu->isVisible(); }, kWaitMs))
            return false;
        QSignalSpy triggered(open, &QAction::triggered);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(open).center());
        return triggered.count() == 1 || triggered.wait(kWaitMs);
    }

    // The parameter table of the selected trace: name to value.
    QMap<QString, QString> table() const
    {
        QMap<QString, QString> rows;
        QTreeWidget *params = tree("paramsListTreeWidget");
        for (int i = 0; i < params->topLevelItemCount(); ++i)
            rows.insert(params->topLevelItem(i)->text(0), params->topLevelItem(i)->text(1));
        return rows;
    }
};

// What the family file gives when it is opened and evaluated on its own.
QMap<QString, QString> fileValues(const QString &path)
{
    ReadBackTrace back(path);
    ExtraArgs args;
    evaluateEnabledParameters(args, &back.trace);
    QMap<QString, QString> rows;
    for (const QString &name : {QStringLiteral("Ra"), QStringLiteral("Rz")})
        rows.insert(name, back.trace.parameterResults.value(name));
    return rows;
}

// The header lines of the file with that key, in file order.
QStringList headerValues(const QString &path, const QByteArray &key)
{
    QFile file(path);
    QStringList values;
    if (!file.open(QIODevice::ReadOnly))
        return values;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith(key + ':'))
            values << QString::fromUtf8(line.mid(key.size() + 1));
    }
    return values;
}

QStringList datesOf(const QList<const AbstractTrace *> &traces)
{
    QStringList dates;
    for (const AbstractTrace *trace : traces)
        dates << trace->creationDateText();
    return dates;
}

} // namespace

class TestMainWindowFamily : public QObject
{
    Q_OBJECT

private slots:
    void familyKeepsOneCutOffAndItsDates();
};

void TestMainWindowFamily::familyKeepsOneCutOffAndItsDates()
{
    Bench bench;
    QVERIFY(bench.sim->isValid());
    MainWindow &window = *bench.window;
    ScriptedPrompts prompts;

    // A trace recorded with the instrument's 0.8 mm, then given 2.5 mm in the trace list.
    QVERIFY(bench.connected());
    QVERIFY(bench.record("startTraceButton", 1));
    auto *main = static_cast<ProfileTrace *>(bench.list()->traces.first());
    const QString path = main->filePath();
    QCOMPARE(main->filterLength, 800.0);
    QVERIFY(bench.clickEntry(main));
    QVERIFY(bench.chooseFilter(QStringLiteral("2.5 мм")));
    QCOMPARE(main->filterLength, 2500.0);
    QCOMPARE(headerValues(path, "filter"), QStringList {"2500"});

    // Two additional traces of other amplitudes, recorded while the instrument keeps 0.8 mm.
    bench.sim->sampleScale = 1400000;
    QVERIFY(bench.record("additionalTracePushButton", 2));
    bench.sim->sampleScale = 700000;
    QVERIFY(bench.record("additionalTracePushButton", 3));
    QCOMPARE(Settings::instance()->device.spinbox_filter_length_index, 2);
    QCOMPARE(main->additionalTraces.size(), 2);
    for (const ProfileTrace *child : qAsConst(main->additionalTraces))
        QCOMPARE(child->filterLength, 2500.0);
    QCOMPARE(headerValues(path, "filter"), (QStringList {"2500", "2500", "2500"}));
    const QList<const AbstractTrace *> family {main, main->additionalTraces.at(0),
                                               main->additionalTraces.at(1)};
    const QStringList recorded = datesOf(family);
    QCOMPARE(headerValues(path, "creation_date"), recorded);

    // The family's table is what its file gives.
    QVERIFY(bench.clickEntry(main));
    const QMap<QString, QString> three = bench.table();
    QVERIFY2(three.value("Ra").contains(QStringLiteral("±")), qPrintable(three.value("Ra")));
    QCOMPARE(three, fileValues(path));

    // Second step: the first additional trace removed with the Delete key. The file loses it,
    // the others keep their dates, and the table is again what the file gives.
    const AbstractTrace *removed = main->additionalTraces.at(0);
    QVERIFY(bench.clickEntry(removed));
    systemKeyClick(&window, Qt::Key_Delete);
    QVERIFY(bench.readDone(2));
    QCOMPARE(main->additionalTraces.size(), 1);
    QCOMPARE(headerValues(path, "creation_date"), (QStringList {recorded.at(0), recorded.at(2)}));
    QVERIFY(bench.clickEntry(main));
    const QMap<QString, QString> two = bench.table();
    QVERIFY(two != three);
    QCOMPARE(two, fileValues(path));

    // Reopened from the menu a second or more after the recording: the same table, and each
    // trace with the date it was recorded at, not the moment it was opened.
    const QDateTime lastRecorded
        = QDateTime::fromString(recorded.at(2), QStringLiteral("dd-MM-yyyy HH:mm:ss"));
    QVERIFY(QTest::qWaitFor(
        [&lastRecorded] { return QDateTime::currentDateTime() >= lastRecorded.addSecs(1); }, 3000));
    prompts.answers << path;
    QVERIFY(bench.openTrace());
    QVERIFY(bench.readDone(4));
    ProfileTrace *reopened = nullptr;
    for (AbstractTrace *trace : qAsConst(bench.list()->traces)) {
        if (trace->type == PROFILE && trace != main)
            reopened = static_cast<ProfileTrace *>(trace);
    }
    QVERIFY(reopened);
    QCOMPARE(reopened->filePath(), path);
    QCOMPARE(reopened->additionalTraces.size(), 1);
    QCOMPARE(datesOf({reopened, reopened->additionalTraces.at(0)}),
             (QStringList {recorded.at(0), recorded.at(2)}));
    QVERIFY(bench.clickEntry(reopened));
    QCOMPARE(bench.table(), two);
    // The report's rows ("Дата измерения") say the same.
    const QMap<QString, QString> report = window.profileWindow()->reportData(reopened);
    QCOMPARE(report.value(QStringLiteral("trace[0].creation_date")), recorded.at(0));
    QCOMPARE(report.value(QStringLiteral("trace[1].creation_date")), recorded.at(2));

    // Ctrl+S saves the reopened family under a new name (the recorded one is not saved again),
    // then its cut-off changes in the list: both rewrites keep every date.
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("Семейство.txt"));
    prompts.asked.clear();
    prompts.answers << QString() << saved;
    // The keyboard is the main window's again once the window system has taken it from the
    // closed menu.
    window.activateWindow();
    QVERIFY(
        QTest::qWaitFor([&window] { return QApplication::activeWindow() == &window; }, kWaitMs));
    systemKey(&window, QEvent::KeyPress, Qt::Key_Control);
    systemKeyClick(&window, Qt::Key_S, Qt::ControlModifier);
    systemKey(&window, QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier);
    QCOMPARE(prompts.kinds(), (QStringList {"save", "save"}));
    QCOMPARE(headerValues(saved, "creation_date"), (QStringList {recorded.at(0), recorded.at(2)}));
    QVERIFY(bench.clickEntry(reopened));
    QVERIFY(bench.chooseFilter(QStringLiteral("0.8 мм")));
    QVERIFY(bench.readDone(4));
    QCOMPARE(headerValues(saved, "filter"), (QStringList {"800", "800"}));
    QCOMPARE(headerValues(saved, "creation_date"), (QStringList {recorded.at(0), recorded.at(2)}));
    QCOMPARE(bench.table(), fileValues(saved));
    QVERIFY(bench.table() != two);

    const GrabResult grab = grabWindow(&window, QStringLiteral("family_after_reopen"));
    VERIFY_GRAB(grab);
}

GUI_TEST_MAIN(TestMainWindowFamily)
#include "tst_MainWindowFamily.moc"
