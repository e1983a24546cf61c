// The trace list: entries and their names, removal, what it asks of the trace road (cut-offs,
// consoles, an additional trace's file), the context menu's offers, joining and the parameter
// table.

#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "platform/DialogRunner.h"
#include "profile/TraceList.h"
#include "profile/UniteTraceDialog.h"
#include "support/LogReader.h"
#include "support/TempSettings.h"
#include "support/TestTraces.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"
#include "traceprocessing/ParameterEvaluation.h"
#include "traceprocessing/TraceJoining.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cmath>
#include <memory>

using namespace testsupport;

namespace {

// Owns the traces a test hands to the list (the list never deletes them).
struct Traces
{
    std::vector<std::unique_ptr<AbstractTrace>> owned;

    ProfileTrace *profile(const QString &path, int type = PROFILE, double amplitude = 1.0)
    {
        auto trace = std::make_unique<ProfileTrace>();
        trace->setType(type);
        trace->setFilePath(path);
        trace->filterLength = 800;
        trace->speed = 0.5;
        fillSineProfile(*trace, 4000, amplitude, 40.0);
        owned.push_back(std::move(trace));
        return static_cast<ProfileTrace *>(owned.back().get());
    }
    ContourTrace *contour(const QString &path, double offset = 0.0)
    {
        auto trace = std::make_unique<ContourTrace>();
        trace->setType(CONTOUR);
        trace->setFilePath(path);
        trace->setName(QFileInfo(path).fileName());
        for (int i = 0; i < 400; ++i) {
            QVector<double> sample {offset + i * 10.0, 100.0 * std::sin(i / 20.0), 0.0};
            trace->appendPoint(sample);
        }
        owned.push_back(std::move(trace));
        return static_cast<ContourTrace *>(owned.back().get());
    }
};

template<typename T>
T *part(TraceList *list, const char *name)
{
    T *widget = list->findChild<T *>(QString::fromLatin1(name));
    Q_ASSERT(widget);
    return widget;
}

QStringList entryNames(QTreeWidget *tree)
{
    QStringList names;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *top = tree->topLevelItem(i);
        names << top->text(0);
        for (int c = 0; c < top->childCount(); ++c)
            names << QStringLiteral("  ") + top->child(c)->text(0);
    }
    return names;
}

void openMenuOn(TraceList &list, QTreeWidgetItem *item)
{
    QTreeWidget *tree = part<QTreeWidget>(&list, "tracesListTreeWidget");
    const QPoint pos = item ? tree->visualItemRect(item).center() : QPoint(2, tree->height() - 2);
    QMetaObject::invokeMethod(tree, "customContextMenuRequested", Q_ARG(QPoint, pos));
}

} // namespace

class TestTraceList : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        settings = std::make_unique<TempSettings>([](Settings &s) {
            s.preferences.enabled_params = {{0, "Ra"}, {1, "Rz"}, {2, "NoSuchParameter"}};
            s.preferences.enabled_params_count = 3;
        });
    }
    void cleanup() { settings.reset(); }

    void entriesAreNamedAndNumbered();
    void removingAMainTraceReportsChildrenFirst();
    void removingAnAdditionalTraceAsksForItsFamilyFile();
    void cutOffChoiceIsAskedForProfileTracesOnly();
    void menuOffers_data();
    void menuOffers();
    void consolesAreAskedForCheckedContourTraces();
    void joiningCreatesTheNewTraceBeforeRemovingTheSources();
    void refusedJoinKeepsTheSourcesAndSaysWhy();
    void parameterTableShowsTheEvaluation();
    void readingTraceCanBeNeitherSelectedNorOfferedAMenu();

private:
    std::unique_ptr<TempSettings> settings;
};

void TestTraceList::entriesAreNamedAndNumbered()
{
    Traces t;
    TraceList list;
    QSignalSpy visible(&list, &TraceList::setGraphVisible);
    ProfileTrace *main = t.profile(QStringLiteral("/data/Деталь_1.trace.txt"));
    list.addMainTrace(main);
    ProfileTrace *a1 = t.profile(main->filePath(), ADDITIONAL_TRACE);
    ProfileTrace *a2 = t.profile(main->filePath(), ADDITIONAL_TRACE);
    list.addAdditionalTrace(a1, false);
    list.addAdditionalTrace(a2, true);
    QTreeWidget *tree = part<QTreeWidget>(&list, "tracesListTreeWidget");
    // The file name without its folder and last extension; children numbered from 1.
    QCOMPARE(entryNames(tree),
             (QStringList {"Деталь_1.trace", "  Доп. трасса 1", "  Доп. трасса 2"}));
    QCOMPARE(tree->topLevelItem(0)->checkState(0), Qt::Checked);
    QCOMPARE(tree->topLevelItem(0)->child(0)->checkState(0), Qt::Checked);
    QCOMPARE(tree->topLevelItem(0)->child(1)->checkState(0), Qt::Unchecked);

    // After the first of two is deleted the next one does not repeat the remaining number.
    list.removeTraceItem(tree->topLevelItem(0)->child(0), a1->id);
    list.addAdditionalTrace(t.profile(main->filePath(), ADDITIONAL_TRACE), false);
    QCOMPARE(entryNames(tree),
             (QStringList {"Деталь_1.trace", "  Доп. трасса 2", "  Доп. трасса 3"}));

    // Checking an entry shows the graphs of its trace.
    visible.clear();
    tree->topLevelItem(0)->child(0)->setCheckState(0, Qt::Checked);
    QCOMPARE(visible.size(), 1);
    QCOMPARE(visible.at(0).at(0).toInt(), a2->id);
    QCOMPARE(visible.at(0).at(1).toBool(), true);

    // Without a profile trace to hang on, an additional trace is listed on its own.
    TraceList other;
    other.addMainTrace(t.contour(QStringLiteral("/data/c.txt")));
    ProfileTrace *orphan = t.profile(QStringLiteral("/data/orphan.txt"), ADDITIONAL_TRACE);
    other.addAdditionalTrace(orphan, false);
    QCOMPARE(part<QTreeWidget>(&other, "tracesListTreeWidget")->topLevelItemCount(), 2);
    QVERIFY(!orphan->parentTrace);
}

void TestTraceList::removingAMainTraceReportsChildrenFirst()
{
    Traces t;
    TraceList list;
    ProfileTrace *main = t.profile(QStringLiteral("m.txt"));
    list.addMainTrace(main);
    ProfileTrace *a1 = t.profile(main->filePath(), ADDITIONAL_TRACE);
    ProfileTrace *a2 = t.profile(main->filePath(), ADDITIONAL_TRACE);
    list.addAdditionalTrace(a1, false);
    list.addAdditionalTrace(a2, false);
    QSignalSpy deleted(&list, &TraceList::traceDeleted);
    LogReader log;
    list.removeTrace(main);
    QCOMPARE(deleted.size(), 3);
    QCOMPARE(deleted.at(0).at(0).toInt(), a1->id);
    QCOMPARE(deleted.at(1).at(0).toInt(), a2->id);
    QCOMPARE(deleted.at(2).at(0).toInt(), main->id);
    QVERIFY(list.traces.isEmpty());
    QCOMPARE(part<QTreeWidget>(&list, "tracesListTreeWidget")->topLevelItemCount(), 0);
    QVERIFY(log.contains(QStringLiteral("INFO: Remove main trace with ID %1").arg(main->id + 1)));
}

void TestTraceList::removingAnAdditionalTraceAsksForItsFamilyFile()
{
    Traces t;
    TraceList list;
    ProfileTrace *main = t.profile(QStringLiteral("family.txt"));
    list.addMainTrace(main);
    ProfileTrace *a1 = t.profile(main->filePath(), ADDITIONAL_TRACE, 2.0);
    ProfileTrace *a2 = t.profile(main->filePath(), ADDITIONAL_TRACE, 3.0);
    list.addAdditionalTrace(a1, false);
    list.addAdditionalTrace(a2, false);
    QStringList order;
    connect(&list, &TraceList::additionalTraceRemoved, this,
            [&](int id) { order << QStringLiteral("detach %1").arg(id); });
    connect(&list, &TraceList::traceDeleted, this,
            [&](int id) { order << QStringLiteral("delete %1").arg(id); });
    list.removeTraceItem(list.itemForTrace(a1->id), a1->id);
    // The main trace's file is rewritten without the trace before it leaves.
    QCOMPARE(order,
             (QStringList {QStringLiteral("detach %1").arg(a1->id),
                           QStringLiteral("delete %1").arg(a1->id)}));
    QCOMPARE(list.traces.keys(), (QList<int> {main->id, a2->id}));

    // Removing the main trace takes its family along without rewriting any file.
    order.clear();
    list.removeTrace(main);
    QCOMPARE(order,
             (QStringList {QStringLiteral("delete %1").arg(a2->id),
                           QStringLiteral("delete %1").arg(main->id)}));
}

void TestTraceList::cutOffChoiceIsAskedForProfileTracesOnly()
{
    Traces t;
    QTemporaryDir dir;
    TraceList list;
    list.show();
    ProfileTrace *main = t.profile(dir.filePath(QStringLiteral("family.txt")));
    list.addMainTrace(main);
    ProfileTrace *child = t.profile(main->filePath(), ADDITIONAL_TRACE, 2.0);
    list.addAdditionalTrace(child, false);
    ContourTrace *contour = t.contour(dir.filePath(QStringLiteral("c.txt")));
    list.addMainTrace(contour);

    QSignalSpy chosen(&list, &TraceList::cutOffChosen);
    list.selectTrace(child->id);
    part<QComboBox>(&list, "filterComboBox")->setCurrentIndex(3);
    QCOMPARE(chosen.size(), 1);
    QCOMPARE(chosen.at(0).at(0).toInt(), child->id);
    QCOMPARE(chosen.at(0).at(1).toDouble(), 250.0);
    // The list changes nothing itself: the trace road does, for the whole family.
    QCOMPARE(child->filterLength, 800.0);
    QVERIFY(!QFileInfo::exists(main->filePath()));

    // A contour trace has no cut-off.
    list.selectTrace(contour->id);
    part<QComboBox>(&list, "filterComboBox")->setCurrentIndex(0);
    QCOMPARE(chosen.size(), 1);
}

void TestTraceList::menuOffers_data()
{
    QTest::addColumn<QStringList>("kinds");
    QTest::addColumn<int>("consoles");
    QTest::addColumn<QString>("offered");
    QTest::newRow("one profile trace")
        << QStringList {"profile"} << 3 << "Удалить трассу|Перейти к файлу трассы";
    QTest::newRow("profile among contours")
        << QStringList {"contour", "profile"} << 3 << "Удалить трассу|Перейти к файлу трассы";
    QTest::newRow("two contours, two consoles")
        << QStringList {"contour", "contour"} << 2
        << "Удалить трассу|Перейти к файлу трассы|Изменить консоль для трассы|Соединить трассы";
    QTest::newRow("two contours, one console")
        << QStringList {"contour", "contour"} << 1
        << "Удалить трассу|Перейти к файлу трассы|Соединить трассы";
    QTest::newRow("one contour, two consoles")
        << QStringList {"contour"} << 2
        << "Удалить трассу|Перейти к файлу трассы|Изменить консоль для трассы";
}

void TestTraceList::menuOffers()
{
    QFETCH(QStringList, kinds);
    QFETCH(int, consoles);
    QFETCH(QString, offered);
    settings->change([consoles](Settings &s) {
        s.consoles.clear();
        for (int i = 0; i < consoles; ++i) {
            ConsoleParams console;
            console.name = QStringLiteral("К%1").arg(i);
            s.consoles.append(console);
        }
    });
    Traces t;
    TraceList list;
    list.resize(500, 300);
    list.show();
    for (const QString &kind : kinds) {
        if (kind == QLatin1String("profile"))
            list.addMainTrace(t.profile(QStringLiteral("p.txt")));
        else
            list.addMainTrace(t.contour(QStringLiteral("c.txt")));
    }
    ScriptedPrompts prompts;
    QTreeWidget *tree = part<QTreeWidget>(&list, "tracesListTreeWidget");
    openMenuOn(list, tree->topLevelItem(0));
    QCOMPARE(prompts.kinds(), QStringList {"menu"});
    QCOMPARE(prompts.asked.at(0).text, offered);
    // Empty space gets no menu.
    openMenuOn(list, nullptr);
    QCOMPARE(prompts.asked.size(), 1);
}

void TestTraceList::consolesAreAskedForCheckedContourTraces()
{
    QTemporaryDir dir;
    ConsoleParams probe;
    probe.name = QStringLiteral("Консоль 2");
    probe.tool_head_radius_down = 5.5;
    settings->change([&](Settings &s) { s.current_console = probe; });
    Traces t;
    TraceList list;
    ContourTrace *checked = t.contour(dir.filePath(QStringLiteral("checked.txt")));
    ContourTrace *unchecked = t.contour(dir.filePath(QStringLiteral("unchecked.txt")));
    ProfileTrace *profile = t.profile(dir.filePath(QStringLiteral("p.txt")));
    for (AbstractTrace *trace :
         std::initializer_list<AbstractTrace *> {checked, unchecked, profile})
        list.addMainTrace(trace);
    part<QTreeWidget>(&list, "tracesListTreeWidget")
        ->topLevelItem(1)
        ->setCheckState(0, Qt::Unchecked);
    QStringList asked;
    connect(&list, &TraceList::consoleChosen, this,
            [&](int id, const ConsoleParams &console, bool toFile) {
                asked << QStringLiteral("%1 %2 %3 %4")
                             .arg(id)
                             .arg(console.name)
                             .arg(console.tool_head_radius_down)
                             .arg(toFile ? "file" : "memory");
            });

    // The settings window's console goes to the checked contour traces and their files.
    list.applyCurrentConsoleToCheckedTraces();
    QCOMPARE(asked, QStringList {QStringLiteral("%1 Консоль 2 5.5 file").arg(checked->id)});

    // A console chosen from the menu changes the trace in memory.
    asked.clear();
    probe.tool_head_radius_down = 1.25;
    list.setTraceConsole(unchecked->id, probe);
    list.setTraceConsole(profile->id, probe);
    QCOMPARE(asked, QStringList {QStringLiteral("%1 Консоль 2 1.25 memory").arg(unchecked->id)});
    // The list itself changes no trace and writes no file.
    QCOMPARE(checked->toolHeadRadiusDown, 0.0);
    QVERIFY(!QFileInfo::exists(checked->filePath()));
}

void TestTraceList::joiningCreatesTheNewTraceBeforeRemovingTheSources()
{
    Traces t;
    TraceList list;
    ContourTrace *left = t.contour(QStringLiteral("left.txt"));
    ContourTrace *right = t.contour(QStringLiteral("right.txt"), 3000.0);
    list.addMainTrace(left);
    list.addMainTrace(right);
    QStringList order;
    TData joined;
    connect(&list, &TraceList::createTrace, this, [&](const TData &data) {
        order << QStringLiteral("create");
        joined = data;
        // The sources are still there while the new trace is made.
        QCOMPARE(list.traces.size(), 2);
    });
    connect(&list, &TraceList::traceDeleted, this,
            [&](int id) { order << QStringLiteral("delete %1").arg(id); });
    DialogInterceptor interceptor([&](QDialog *dialog) {
        if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
            input->setDoubleValue(1.0);
            input->accept();
        } else if (auto *unite = qobject_cast<UniteTraceDialog *>(dialog)) {
            unite->traceButtons()->buttons().first()->click();
            unite->uniteButton()->click();
        }
    });
    list.joinTraces(left->id);
    QCOMPARE(order,
             (QStringList {"create", QStringLiteral("delete %1").arg(left->id),
                           QStringLiteral("delete %1").arg(right->id)}));
    QCOMPARE(joined, uniteTraces(*left, *right, 1.0));
    QVERIFY(list.traces.isEmpty());
}

void TestTraceList::refusedJoinKeepsTheSourcesAndSaysWhy()
{
    Traces t;
    TraceList list;
    ContourTrace *left = t.contour(QStringLiteral("left.txt"));
    ContourTrace *right = t.contour(QStringLiteral("right.txt"), 3000.0);
    (*left->processedData)[1][390] = std::nan("");
    list.addMainTrace(left);
    list.addMainTrace(right);
    QSignalSpy created(&list, &TraceList::createTrace);
    DialogInterceptor interceptor([&](QDialog *dialog) {
        if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
            input->setDoubleValue(1.0);
            input->accept();
        } else if (auto *unite = qobject_cast<UniteTraceDialog *>(dialog)) {
            unite->traceButtons()->buttons().first()->click();
            unite->uniteButton()->click();
        }
    });
    ScriptedPrompts prompts;
    LogReader log;
    list.joinTraces(left->id);
    // The user reads why in Russian, the log in English; both traces stay.
    QCOMPARE(prompts.kinds(), QStringList {"warning"});
    QCOMPARE(prompts.asked.at(0).title, QStringLiteral("Ошибка"));
    QCOMPARE(prompts.asked.at(0).text,
             QStringLiteral("Трассы не удалось соединить: в трассе есть значение, не являющееся "
                            "конечным числом."));
    QVERIFY(log.contains(QStringLiteral(
        "WARNING: Traces not joined: a trace holds a value that is not a finite number")));
    QCOMPARE(created.size(), 0);
    QCOMPARE(list.traces.size(), 2);
}

void TestTraceList::parameterTableShowsTheEvaluation()
{
    Traces t;
    TraceList list;
    list.show();
    ProfileTrace *trace = t.profile(QStringLiteral("p.txt"));
    list.addMainTrace(trace);
    {
        ExtraArgs args;
        evaluateEnabledParameters(args, trace);
    }
    list.selectTrace(trace->id);
    QTreeWidget *params = part<QTreeWidget>(&list, "paramsListTreeWidget");
    QVERIFY(params->isVisible());
    QCOMPARE(params->topLevelItemCount(), 3);
    ExtraArgs args;
    ProfileTrace copy(*trace);
    const QString ra = evaluateParameter(args, &copy, QStringLiteral("Ra"));
    QVERIFY(!ra.isEmpty());
    QCOMPARE(params->topLevelItem(0)->text(0), QStringLiteral("Ra"));
    QCOMPARE(params->topLevelItem(0)->text(1), ra);
    QCOMPARE(params->topLevelItem(0)->text(2), QStringLiteral("мкм"));
    QCOMPARE(params->topLevelItem(1)->text(1), evaluateParameter(args, &copy, "Rz"));
    // An unknown name: no value, no unit.
    QCOMPARE(params->topLevelItem(2)->text(1), QString());
    QCOMPARE(params->topLevelItem(2)->text(2), QString());
    QCOMPARE(part<QLabel>(&list, "speedValueLable")->text(), QStringLiteral("0.5 мм/с"));
    QCOMPARE(part<QLabel>(&list, "traceLengthValuLabel")->text(), QStringLiteral("3.999 мм"));
    QCOMPARE(part<QComboBox>(&list, "filterComboBox")->currentIndex(), 2);
    const GrabResult grab = grabWindow(&list, QStringLiteral("trace_list"));
    VERIFY_GRAB(grab);
}

void TestTraceList::readingTraceCanBeNeitherSelectedNorOfferedAMenu()
{
    Traces t;
    TraceList list;
    list.resize(500, 300);
    list.show();
    ProfileTrace *trace = t.profile(QStringLiteral("p.txt"));
    list.addMainTrace(trace);
    list.readingTrace = trace;
    QSignalSpy selected(&list, &TraceList::setGraphSelected);
    list.selectTrace(trace->id);
    QVERIFY(part<QTreeWidget>(&list, "tracesListTreeWidget")->selectedItems().isEmpty());
    for (const QList<QVariant> &call : qAsConst(selected))
        QCOMPARE(call.at(1).toBool(), false);
    ScriptedPrompts prompts;
    openMenuOn(list, list.itemForTrace(trace->id));
    QVERIFY(prompts.asked.isEmpty());
}

GUI_TEST_MAIN(TestTraceList)
#include "tst_TraceList.moc"
