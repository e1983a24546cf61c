// A family of traces recorded from the (simulated) profilometer through the main window, with the
// mouse and the keyboard: the family keeps one cut-off whatever the instrument's filter, the
// parameter table always shows what the family's file gives when it is opened again, and every
// trace keeps its own recording date through each rewrite of the file (a cut-off change, a
// removal, Ctrl+S) and through a reopening.

#include "MainWindow.h"
#include "core/ProfileTrace.h"
#include "profile/ProfileAnalisisWidget.h"
#include "profile/TraceList.h"
#include "support/SimulatedInstrument.h"
#include "support/TestTraces.h"
#include "support/gui/GuiTest.h"
#include "support/gui/MainWindowBench.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"
#include "traceprocessing/ParameterEvaluation.h"

#include <QTemporaryDir>

using namespace testsupport;

namespace {

constexpr int kWaitMs = 15000;

// The settings of the family's bench: the 0.8 mm filter, the roughness view, Ra and Rz displayed
// and no cut-off proposal.
void familySettings(Settings &s)
{
    s.device.trace_length = 8;
    s.device.spinbox_filter_length_index = 2;
    s.preferences.profile_filter_mode = ROUGHNESS_PROFILE_MODE;
    s.preferences.enabled_params = {{0, "Ra"}, {1, "Rz"}};
    s.preferences.enabled_params_count = 2;
    s.preferences.is_ask_before_change_filter = false;
    s.preferences.is_accept_filter = false;
}

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
    MainWindowBench bench(SimulatedInstrument::Profilometer, QStringLiteral("Семейство"),
                          familySettings);
    QVERIFY(bench.sim->isValid());
    // 1000 samples 10 µm apart, long enough for the 2.5 mm cut-off, about 40 µm high.
    bench.sim->profileSteps = 100;
    bench.sim->sampleScale = 1000000;
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
    QVERIFY(bench.waitReadDone(2));
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
    QVERIFY(openTraceWithTheMouse(window));
    QVERIFY(bench.waitReadDone(4));
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
    QVERIFY(bench.waitReadDone(4));
    QCOMPARE(headerValues(saved, "filter"), (QStringList {"800", "800"}));
    QCOMPARE(headerValues(saved, "creation_date"), (QStringList {recorded.at(0), recorded.at(2)}));
    QCOMPARE(bench.table(), fileValues(saved));
    QVERIFY(bench.table() != two);

    const GrabResult grab = grabWindow(&window, QStringLiteral("family_after_reopen"));
    VERIFY_GRAB(grab);
}

GUI_TEST_MAIN(TestMainWindowFamily)
#include "tst_MainWindowFamily.moc"
