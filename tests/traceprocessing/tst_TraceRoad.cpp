// The road of the profile window's traces without any widget: a file read with its additional
// traces, a recording from a stand-in provider (saved once, then the cut-off proposal), a
// cut-off change that reaches the whole family, a change of the view, a refused read and a
// recording interrupted before its measurement, evaluations superseded by a later change, and
// the files the road writes or refuses to write.

#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "core/TraceFileReader.h"
#include "core/TraceFileWriter.h"
#include "dataproviders/FileDataProvider.h"
#include "processing/DataProcessors.h"
#include "support/LogReader.h"
#include "support/StandInRecording.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/TestTraces.h"
#include "traceprocessing/ParameterEvaluation.h"
#include "traceprocessing/TraceRoad.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

using namespace testsupport;

namespace {

constexpr int kWaitMs = 20000;

QStringList chainNames(const AbstractTrace *trace)
{
    QStringList names;
    for (const IDataPostProcessor *processor : trace->postProcessors)
        names << processor->name;
    return names;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The road with what it announces written down; the road follows each provider it reads from.
struct Rig
{
    Rig()
    {
        QObject::connect(&road, &TraceRoad::readBegan, &road, [this](AbstractTrace *t) {
            events << QStringLiteral("began %1").arg(t->id);
        });
        QObject::connect(&road, &TraceRoad::traceAdded, &road,
                         [this](AbstractTrace *t, int entry, const QString &name, bool shown) {
                             events
                                 << QStringLiteral("added %1 %2 %3 %4")
                                        .arg(t->id)
                                        .arg(entry == TraceRoad::MainEntry ? "main" : "additional")
                                        .arg(name)
                                        .arg(shown ? "shown" : "hidden");
                         });
        QObject::connect(&road, &TraceRoad::traceReprocessed, &road, [this](AbstractTrace *t) {
            events << QStringLiteral("reprocessed %1").arg(t->id);
        });
        QObject::connect(&road, &TraceRoad::traceRemoved, &road,
                         [this](int id) { events << QStringLiteral("removed %1").arg(id); });
        QObject::connect(&road, &TraceRoad::readEnded, &road, [this](AbstractTrace *t) {
            events << (t ? QStringLiteral("ended %1").arg(t->id) : QStringLiteral("ended none"));
            ended = true;
        });
        QObject::connect(&road, &TraceRoad::readRefused, &road,
                         [this](const QString &text) { refusals << text; });
        QObject::connect(&road, &TraceRoad::recordingInterrupted, &road,
                         [this] { events << QStringLiteral("interrupted"); });
    }

    // Makes the trace of the kind, starts the provider on it and waits for the read's end.
    AbstractTrace *start(DataProvider *p, int kind, const QString &recordingPath = QString())
    {
        provider.reset(p);
        ended = false;
        AbstractTrace *trace = road.createTrace(kind, p);
        lastId = trace->id;
        if (!recordingPath.isEmpty())
            trace->setFilePath(recordingPath);
        road.attach(p);
        p->start(trace);
        return trace;
    }
    bool read(DataProvider *p, int kind, const QString &recordingPath = QString())
    {
        start(p, kind, recordingPath);
        return QTest::qWaitFor([this] { return ended; }, kWaitMs) && settled();
    }
    bool settled()
    {
        return QTest::qWaitFor([this] { return !road.evaluationPending(nullptr); }, kWaitMs);
    }
    QStringList eventsLike(const QString &prefix) const
    {
        QStringList found;
        for (const QString &event : events) {
            if (event.startsWith(prefix))
                found << event;
        }
        return found;
    }

    TraceRoad road;
    std::unique_ptr<DataProvider> provider;
    QStringList events;
    QStringList refusals;
    bool ended = false;
    // The id of the trace read last (the trace itself may be gone).
    int lastId = -1;
};

// A file provider whose read succeeds and whose processing after it then fails, as a filter's
// allocation would. The failing step replaces the road's own on the worker, where the road runs
// it after the read.
class ProcessingFailsAfterTheRead : public FileDataProvider
{
public:
    using FileDataProvider::FileDataProvider;
    bool obtainData() override
    {
        const bool read = FileDataProvider::obtainData();
        setBeforePostProcessing([](AbstractTrace &) { throw std::bad_alloc(); });
        return read;
    }
};

// What an independent evaluation of the file's family gives.
QMap<QString, QString> familyValues(const QString &path)
{
    ReadBackTrace back(path);
    ExtraArgs args;
    evaluateEnabledParameters(args, &back.trace);
    return back.trace.parameterResults;
}

} // namespace

class TestTraceRoad : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        settings = std::make_unique<TempSettings>([](Settings &s) {
            s.device.device_type = PROFILE;
            s.device.spinbox_filter_length_index = 2;
            s.preferences.profile_filter_mode = ROUGHNESS_PROFILE_MODE;
            s.preferences.enabled_params = {{0, "Ra"}, {1, "Rz"}, {2, "Rmax"}};
            s.preferences.enabled_params_count = 3;
        });
    }
    void cleanup() { settings.reset(); }

    void fileReadWithItsAdditionalTraces();
    void roadFollowsTheAttachedProviderAlone();
    void recordingIsSavedOnceBeforeTheProposal();
    void recordedAdditionalTraceHangsOnTheLastMainTrace();
    void recordedAdditionalTraceTakesTheFamilyCutOff();
    void familyDatesSurviveEveryRewrite();
    void cutOffChangeReachesTheFamilyOnce();
    void viewChangeRenewsEveryValue();
    void medianChangeReevaluatesEveryTrace();
    void fullFamilyTakesNoMoreRecordings();
    void refusedReadLeavesNothing_data();
    void refusedReadLeavesNothing();
    void recordingInterruptedBeforeItsMeasurement();
    void processingThatFailsAfterTheReadLeavesNothing();
    void laterChangeSupersedesAnEvaluation();
    void heldHistogramHoldsBackDpAlone_data();
    void heldHistogramHoldsBackDpAlone();
    void detachedAdditionalTraceLeavesTheFamilyFile();
    void consolesInMemoryAndInFiles();
    void joinedTraceReadsBackAsShown();
    void traceStillBeingReadIsNeverWritten();

private:
    std::unique_ptr<TempSettings> settings;
};

void TestTraceRoad::fileReadWithItsAdditionalTraces()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Вал.txt"));
    // The file's own cut-off (250 µm) differs from the settings' (800 µm).
    QVERIFY(writeSineTraceFile(path, PROFILE, 2, 250));
    const QByteArray before = fileBytes(path);
    Rig rig;
    QVERIFY(rig.read(new FileDataProvider(path), PROFILE));

    const QList<AbstractTrace *> traces = rig.road.traces();
    QCOMPARE(traces.size(), 3);
    AbstractTrace *main = traces.at(0);
    QCOMPARE(rig.events.first(), QStringLiteral("began %1").arg(main->id));
    QCOMPARE(rig.eventsLike("added"),
             (QStringList {QStringLiteral("added %1 main Вал shown").arg(main->id),
                           QStringLiteral("added %1 additional  hidden").arg(traces.at(1)->id),
                           QStringLiteral("added %1 additional  hidden").arg(traces.at(2)->id)}));
    QCOMPARE(rig.events.last(), QStringLiteral("ended %1").arg(main->id));
    // Each trace is filtered once, on the worker, with the file's own cut-off.
    QCOMPARE(rig.eventsLike("reprocessed"),
             QStringList {QStringLiteral("reprocessed %1").arg(main->id)});
    for (AbstractTrace *trace : traces) {
        QVERIFY(rig.road.isWhole(trace));
        QCOMPARE(chainNames(trace), (QStringList {"Filter 250", "YZeronator"}));
    }
    // The family's values are the independent evaluation's; a read writes no file.
    QCOMPARE(static_cast<ProfileTrace *>(main)->parameterResults, familyValues(path));
    QVERIFY(static_cast<ProfileTrace *>(main)->parameterResults.value("Ra").contains("±"));
    QVERIFY(!static_cast<ProfileTrace *>(traces.at(1))->parameterResults.value("Ra").isEmpty());
    QCOMPARE(fileBytes(path), before);
}

// The road follows the provider attached last. The end of a read queued before its provider was
// replaced still ends that read; a provider let go reaches the road no more; the end of a read
// the road never began unlocks what waits for it (readEnded with no trace).
void TestTraceRoad::roadFollowsTheAttachedProviderAlone()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Вал.txt"));
    QVERIFY(writeSineTraceFile(path, PROFILE, 1));
    Rig rig;
    FileDataProvider first(path);
    FileDataProvider second(path);
    AbstractTrace *trace = rig.road.createTrace(PROFILE, &first);
    rig.road.attach(&first);
    QCOMPARE(rig.road.attachedProvider(), &first);
    first.start(trace);
    // Every notification of the read is queued before the road takes any of them.
    first.waitForFinished();
    rig.road.attach(&second);
    QCOMPARE(rig.road.attachedProvider(), &second);
    QVERIFY(QTest::qWaitFor([&rig] { return rig.ended; }, kWaitMs));
    QVERIFY(rig.settled());
    QCOMPARE(rig.events.first(), QStringLiteral("began %1").arg(trace->id));
    QCOMPARE(rig.events.last(), QStringLiteral("ended %1").arg(trace->id));
    QVERIFY(rig.road.isWhole(trace));
    QVERIFY(!static_cast<ProfileTrace *>(trace)->parameterResults.value("Ra").isEmpty());

    rig.events.clear();
    emit first.dataReadStarted();
    emit first.dataReadFinished();
    QVERIFY(rig.events.isEmpty());
    emit second.dataReadFinished();
    QCOMPARE(rig.events, QStringList {"ended none"});

    rig.events.clear();
    rig.road.attach(nullptr);
    QVERIFY(!rig.road.attachedProvider());
    emit second.dataReadFinished();
    QVERIFY(rig.events.isEmpty());
    {
        FileDataProvider gone(path);
        rig.road.attach(&gone);
    }
    QVERIFY(!rig.road.attachedProvider());
    QCOMPARE(rig.road.traces().first(), trace);
}

void TestTraceRoad::recordingIsSavedOnceBeforeTheProposal()
{
    // Ra about 1 µm prescribes 0.8 mm; the instrument records with 2.5 mm. In the primary view
    // the trace keeps its whole length, long enough for the 2.5 mm cut-off.
    settings->change([](Settings &s) {
        s.preferences.profile_filter_mode = 0;
        s.device.spinbox_filter_length_index = 1;
        s.preferences.standartisation_value = 0;
        s.preferences.is_ask_before_change_filter = true;
    });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("запись.txt"));
    Rig rig;
    QStringList asked;
    QList<int> instrument;
    rig.road.recordingSpeed = [] {
        return 0.75;
    };
    rig.road.cutOffQuestion = [&](int cutOff, bool *remember) {
        // The recording is on disk, with the cut-off it was recorded with, before the
        // question.
        ReadBackTrace saved(path);
        asked << QStringLiteral("%1 saved with %2").arg(cutOff).arg(saved.trace.filterLength);
        *remember = false;
        return true;
    };
    rig.road.instrumentFilter = [&](int index) {
        instrument << index;
    };
    QVERIFY(rig.read(new StandInRecording(6000, true), PROFILE, path));

    QCOMPARE(asked, QStringList {"800 saved with 2500"});
    QCOMPARE(instrument, QList<int> {2});
    QCOMPARE(rig.road.traces().size(), 1);
    auto *trace = static_cast<ProfileTrace *>(rig.road.traces().first());
    QCOMPARE(trace->speed, 0.75);
    QCOMPARE(trace->filterLength, 800.0);
    QCOMPARE(chainNames(trace), QStringList {"YZeronator"});
    // The accepted cut-off is a change of the trace: its file follows, its values are those of
    // the new cut-off.
    QCOMPARE(ReadBackTrace(path).trace.filterLength, 800.0);
    QCOMPARE(trace->parameterResults, familyValues(path));
    // Not remembered: the next recording is asked again.
    QVERIFY(Settings::instance()->preferences.is_ask_before_change_filter);
}

void TestTraceRoad::recordedAdditionalTraceHangsOnTheLastMainTrace()
{
    settings->change([](Settings &s) { s.preferences.is_ask_before_change_filter = false; });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("main.txt"));
    Rig rig;
    QVERIFY(rig.read(new StandInRecording(3000, true), PROFILE, path));
    auto *main = static_cast<ProfileTrace *>(rig.road.traces().first());
    AbstractTrace *extra = rig.start(new StandInRecording(2000, true), ADDITIONAL_TRACE);
    QVERIFY(QTest::qWaitFor([&rig] { return rig.ended; }, kWaitMs) && rig.settled());
    QCOMPARE(rig.eventsLike("added").last(),
             QStringLiteral("added %1 additional  shown").arg(extra->id));
    QCOMPARE(main->additionalTraces, QVector<ProfileTrace *> {static_cast<ProfileTrace *>(extra)});
    QCOMPARE(static_cast<ProfileTrace *>(extra)->parentTrace, main);
    // The recording goes into the main trace's file.
    ReadBackTrace family(path);
    QCOMPARE(family.trace.additionalTraces.size(), 1);
    QCOMPARE(*family.trace.additionalTraces.at(0)->rawData, *extra->rawData);
    QVERIFY(main->parameterResults.value("Ra").contains("±"));
}

// A family has one cut-off. The instrument records with the settings' 0.8 mm while the family
// was set to 2.5 mm: the new member takes 2.5 mm, is filtered with it, is stored with it, and the
// values shown are what the saved file gives when it is opened again.
void TestTraceRoad::recordedAdditionalTraceTakesTheFamilyCutOff()
{
    settings->change([](Settings &s) { s.preferences.is_ask_before_change_filter = false; });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("main.txt"));
    Rig rig;
    QVERIFY(rig.read(new StandInRecording(15000, true), PROFILE, path));
    auto *main = static_cast<ProfileTrace *>(rig.road.traces().first());
    QCOMPARE(main->filterLength, 800.0);
    rig.road.setCutOff(main, 2500);
    QVERIFY(rig.settled());

    AbstractTrace *extra = rig.start(new StandInRecording(12000, true), ADDITIONAL_TRACE);
    QVERIFY(QTest::qWaitFor([&rig] { return rig.ended; }, kWaitMs) && rig.settled());
    auto *child = static_cast<ProfileTrace *>(extra);
    QCOMPARE(child->parentTrace, main);
    QCOMPARE(child->filterLength, 2500.0);
    QCOMPARE(chainNames(child), (QStringList {"Filter 2500", "YZeronator"}));
    // Every header of the family file states the family's cut-off.
    const QByteArray saved = fileBytes(path);
    QCOMPARE(saved.count("filter:2500\n"), 2);
    QCOMPARE(saved.count("filter:"), 2);
    QVERIFY(main->parameterResults.value("Ra").contains("±"));
    QCOMPARE(main->parameterResults, familyValues(path));
}

// Each trace of a family keeps its own creation date whenever the road rewrites the family's
// file: after a cut-off change, a save under another name and the removal of a member.
void TestTraceRoad::familyDatesSurviveEveryRewrite()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("family.txt"));
    const QDateTime recorded(QDate(2024, 5, 6), QTime(7, 8, 9));
    QVector<QDateTime> dates;
    {
        ProfileTrace main;
        main.setType(PROFILE);
        main.filterLength = 800;
        main.creationDate = recorded;
        fillSineProfile(main, 4000, 1.0, 40.0);
        dates << recorded;
        std::vector<std::unique_ptr<ProfileTrace>> children;
        for (int k = 0; k < 2; ++k) {
            children.push_back(std::make_unique<ProfileTrace>());
            children.back()->setType(ADDITIONAL_TRACE);
            children.back()->creationDate = recorded.addSecs(600 * (k + 1) + 13);
            fillSineProfile(*children.back(), 4000, 1.5 + k, 30.0);
            main.addAdditionalTrace(children.back().get());
            dates << children.back()->creationDate;
        }
        QVERIFY(writeTraceFile(path, &main));
    }
    const auto datesIn = [](const QString &file) {
        ReadBackTrace back(file);
        QVector<QDateTime> read {back.trace.creationDate};
        for (const ProfileTrace *child : qAsConst(back.trace.additionalTraces))
            read << child->creationDate;
        return read;
    };
    QCOMPARE(datesIn(path), dates);

    Rig rig;
    QVERIFY(rig.read(new FileDataProvider(path), PROFILE));
    const QList<AbstractTrace *> traces = rig.road.traces();
    QCOMPARE(traces.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(traces.at(i)->creationDate, dates.at(i));

    rig.road.setCutOff(traces.at(0), 250);
    QCOMPARE(datesIn(path), dates);
    const QString copy = dir.filePath(QStringLiteral("copy.txt"));
    QVERIFY(rig.road.saveTrace(traces.at(0), copy, LOCAL_FORMAT));
    QCOMPARE(datesIn(copy), dates);
    rig.road.detachAdditionalTrace(traces.at(1)->id);
    rig.road.removeTrace(traces.at(1)->id);
    QCOMPARE(datesIn(copy), (QVector<QDateTime> {dates.at(0), dates.at(2)}));
    QVERIFY(rig.settled());
}

// A family file holds at most kMaxAdditionalTraces additional traces; one more recording would
// make it a file that no longer reads back, so it starts a family of its own.
void TestTraceRoad::fullFamilyTakesNoMoreRecordings()
{
    settings->change([](Settings &s) { s.preferences.is_ask_before_change_filter = false; });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("full.txt"));
    {
        ProfileTrace main;
        main.setType(PROFILE);
        fillSineProfile(main, 3000, 1.0, 40.0);
        std::vector<std::unique_ptr<ProfileTrace>> children;
        for (int i = 0; i < kMaxAdditionalTraces; ++i) {
            children.push_back(std::make_unique<ProfileTrace>());
            children.back()->setType(ADDITIONAL_TRACE);
            fillSineProfile(*children.back(), 8, 1.0, 40.0);
            main.addAdditionalTrace(children.back().get());
        }
        QVERIFY(writeTraceFile(path, &main));
    }
    Rig rig;
    QVERIFY(rig.read(new FileDataProvider(path), PROFILE));
    auto *main = static_cast<ProfileTrace *>(rig.road.traces().first());
    QCOMPARE(main->additionalTraces.size(), kMaxAdditionalTraces);

    AbstractTrace *extra = rig.start(new StandInRecording(2000, true), ADDITIONAL_TRACE,
                                     dir.filePath(QStringLiteral("own.txt")));
    QVERIFY(QTest::qWaitFor([&rig] { return rig.ended; }, kWaitMs) && rig.settled());
    QCOMPARE(extra->type, int(PROFILE));
    QCOMPARE(static_cast<ProfileTrace *>(extra)->parentTrace, nullptr);
    QCOMPARE(main->additionalTraces.size(), kMaxAdditionalTraces);
    ReadBackTrace family(path);
    QCOMPARE(family.trace.additionalTraces.size(), kMaxAdditionalTraces);
}

void TestTraceRoad::cutOffChangeReachesTheFamilyOnce()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("family.txt"));
    QVERIFY(writeSineTraceFile(path, PROFILE, 2, 250));
    const QString reference = dir.filePath(QStringLiteral("reference.txt"));
    QVERIFY(writeSineTraceFile(reference, PROFILE, 2, 800));
    Rig rig;
    QVERIFY(rig.read(new FileDataProvider(path), PROFILE));
    const QList<AbstractTrace *> traces = rig.road.traces();
    rig.events.clear();

    // Asked of an additional trace: the main trace and both additional traces change.
    rig.road.setCutOff(traces.at(1), 800);
    QStringList reprocessed;
    for (AbstractTrace *trace : traces) {
        reprocessed << QStringLiteral("reprocessed %1").arg(trace->id);
        QCOMPARE(static_cast<ProfileTrace *>(trace)->filterLength, 800.0);
        QCOMPARE(chainNames(trace), (QStringList {"Filter 800", "YZeronator"}));
    }
    QCOMPARE(rig.eventsLike("reprocessed"), reprocessed);
    QVERIFY(rig.settled());
    // The values are those of the same family opened at 0.8 mm, and so is the file.
    QCOMPARE(static_cast<ProfileTrace *>(traces.at(0))->parameterResults, familyValues(reference));
    ReadBackTrace back(path);
    QCOMPARE(back.trace.filterLength, 800.0);
    QCOMPARE(back.trace.additionalTraces.size(), 2);
    for (const ProfileTrace *child : qAsConst(back.trace.additionalTraces))
        QCOMPARE(child->filterLength, 800.0);
}

void TestTraceRoad::viewChangeRenewsEveryValue()
{
    // A trace of exactly two cut-offs: the roughness view trims lc/2 at each end, which makes
    // it too short; the primary view shows all of it.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("short.txt"));
    {
        ProfileTrace trace;
        trace.setType(PROFILE);
        trace.filterLength = 800;
        for (int i = 0; i <= 1600; ++i) {
            QVector<double> sample {double(i), std::sin(i / 20.0) + 0.3 * std::sin(i / 3.0)};
            trace.appendPoint(sample);
        }
        QVERIFY(writeTraceFile(path, &trace));
    }
    Rig rig;
    QVERIFY(rig.read(new FileDataProvider(path), PROFILE));
    auto *trace = static_cast<ProfileTrace *>(rig.road.traces().first());
    for (const QString &value : trace->parameterResults)
        QCOMPARE(value, kTooShortTraceText);

    settings->change([](Settings &s) { s.preferences.profile_filter_mode = 0; });
    rig.road.reprocessAll();
    QCOMPARE(trace->length(), 1600.0);
    QVERIFY(rig.settled());
    QCOMPARE(trace->parameterResults, familyValues(path));
    QVERIFY(!trace->parameterResults.values().contains(kTooShortTraceText));

    // And back.
    settings->change(
        [](Settings &s) { s.preferences.profile_filter_mode = ROUGHNESS_PROFILE_MODE; });
    rig.road.reprocessAll();
    QVERIFY(rig.settled());
    for (const QString &value : trace->parameterResults)
        QCOMPARE(value, kTooShortTraceText);
}

void TestTraceRoad::medianChangeReevaluatesEveryTrace()
{
    QTemporaryDir dir;
    Rig rig;
    QVERIFY(writeSineTraceFile(dir.filePath("a.txt"), PROFILE));
    QVERIFY(writeSineTraceFile(dir.filePath("b.txt"), PROFILE, 1));
    QVERIFY(rig.read(new FileDataProvider(dir.filePath("a.txt")), PROFILE));
    QVERIFY(rig.read(new FileDataProvider(dir.filePath("b.txt")), PROFILE));
    const QList<AbstractTrace *> traces = rig.road.traces();
    QCOMPARE(traces.size(), 3);
    settings->change([](Settings &s) {
        s.preferences.meadian_filter = true;
        s.preferences.meadian_filter_value = 49;
    });
    rig.road.setMedianFilter(true, 49);
    rig.road.reprocessAll();
    QVERIFY(rig.settled());
    for (AbstractTrace *trace : traces) {
        auto *profile = static_cast<ProfileTrace *>(trace);
        QVERIFY(profile->medianEnabled);
        QCOMPARE(profile->medianWindow, 49);
        QCOMPARE(chainNames(trace).first(), QStringLiteral("Median49"));
        // Every trace, main and additional, shows what a fresh evaluation gives.
        ProfileTrace copy(*profile);
        copy.clearProfileCaches();
        ExtraArgs args;
        QCOMPARE(profile->parameterResults.value("Ra"), evaluateParameter(args, &copy, "Ra"));
    }
}

void TestTraceRoad::refusedReadLeavesNothing_data()
{
    addBadTraceFileRows();
}

void TestTraceRoad::refusedReadLeavesNothing()
{
    QFETCH(QByteArray, content);
    QFETCH(int, kind);
    QFETCH(QString, reason);
    QFETCH(QString, suffix);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("плохой") + suffix);
    QVERIFY(writeBytes(path, content));
    Rig rig;
    LogReader log;
    QVERIFY(rig.read(new FileDataProvider(path), kind));
    const int id = rig.lastId;
    QCOMPARE(rig.events,
             (QStringList {QStringLiteral("began %1").arg(id),
                           QStringLiteral("added %1 main плохой shown").arg(id),
                           QStringLiteral("removed %1").arg(id), "ended none"}));
    QCOMPARE(rig.refusals,
             QStringList {QStringLiteral("Не удалось прочитать трассу из файла «плохой%1»: %2. "
                                         "Трасса не открыта.")
                              .arg(suffix, reason)});
    QVERIFY(rig.road.traces().isEmpty());
    QVERIFY(!rig.road.trace(id));
    QCOMPARE(fileBytes(path), content);
    QVERIFY(log.contains(QStringLiteral("INFO: Trace not opened: ") + path));
}

void TestTraceRoad::recordingInterruptedBeforeItsMeasurement()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("прерванная.txt"));
    Rig rig;
    bool asked = false;
    rig.road.cutOffQuestion = [&](int, bool *) {
        return asked = true;
    };
    LogReader log;
    QVERIFY(rig.read(new StandInRecording(6000, false), PROFILE, path));
    const int id = rig.lastId;
    QCOMPARE(rig.events.mid(2),
             (QStringList {QStringLiteral("removed %1").arg(id), "interrupted", "ended none"}));
    QVERIFY(rig.refusals.isEmpty());
    QVERIFY(rig.road.traces().isEmpty());
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(!asked);
    QVERIFY(log.contains(QStringLiteral("INFO: Trace interrupted before the measurement began")));

    // The next recording goes on as usual.
    settings->change([](Settings &s) { s.preferences.is_ask_before_change_filter = false; });
    QVERIFY(rig.read(new StandInRecording(3000, true), PROFILE, path));
    QCOMPARE(rig.road.traces().size(), 1);
    QVERIFY(QFileInfo::exists(path));
}

// The read succeeds but the processing after it fails (an allocation in a filter, say): the
// provider reports the error and ends with no result, as for a failed read. The road takes the
// error for the read's: nothing of the trace stays, nothing is evaluated, the user is told.
void TestTraceRoad::processingThatFailsAfterTheReadLeavesNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Вал.txt"));
    QVERIFY(writeSineTraceFile(path, PROFILE, 1));
    const QByteArray before = fileBytes(path);
    Rig rig;
    auto *provider = new ProcessingFailsAfterTheRead(path);
    QVERIFY(rig.read(provider, PROFILE));
    QVERIFY(!provider->lastResult());
    const int id = rig.lastId;
    QCOMPARE(rig.events.mid(2), (QStringList {QStringLiteral("removed %1").arg(id), "ended none"}));
    QCOMPARE(rig.refusals.size(), 1);
    QVERIFY2(rig.refusals.first().startsWith(
                 QStringLiteral("Не удалось прочитать трассу из файла «Вал.txt»: ")),
             qPrintable(rig.refusals.first()));
    QVERIFY(rig.road.traces().isEmpty());
    QVERIFY(!rig.road.trace(id));
    QCOMPARE(fileBytes(path), before);
}

void TestTraceRoad::laterChangeSupersedesAnEvaluation()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.txt"));
    QVERIFY(writeSineTraceFile(path, PROFILE, 0, 800));
    const QString reference = dir.filePath(QStringLiteral("reference.txt"));
    QVERIFY(writeSineTraceFile(reference, PROFILE, 0, 250));
    Rig rig;
    QVERIFY(rig.read(new FileDataProvider(path), PROFILE));
    auto *trace = static_cast<ProfileTrace *>(rig.road.traces().first());
    const QString ra800 = trace->parameterResults.value("Ra");
    QStringList shown;
    QObject::connect(&rig.road, &TraceRoad::parametersChanged, &rig.road,
                     [&](AbstractTrace *changed) {
                         if (changed == trace)
                             shown << trace->parameterResults.value("Ra");
                     });
    // An evaluation starts; before the event loop can apply it, the cut-off changes.
    rig.road.evaluate(trace);
    QCoreApplication::sendPostedEvents(&rig.road, QEvent::MetaCall);
    QVERIFY(rig.road.evaluationPending(trace));
    rig.road.setCutOff(trace, 250);
    QVERIFY(rig.settled());
    const QString ra250 = familyValues(reference).value("Ra");
    QVERIFY(ra250 != ra800);
    // Nothing shown in between was a value of the earlier state.
    QCOMPARE(shown, (QStringList {QString(), QString(), ra250}));
    QCOMPARE(trace->parameterResults.value("Ra"), ra250);
}

void TestTraceRoad::heldHistogramHoldsBackDpAlone_data()
{
    QTest::addColumn<bool>("waitForAll");
    QTest::newRow("released after the drawing") << false;
    QTest::newRow("waited for") << true;
}

// While the histogram in view is not drawn, Dp (which reads it) waits for it; the other
// parameters of the family are evaluated at once, and Dp follows with the histogram drawn then.
void TestTraceRoad::heldHistogramHoldsBackDpAlone()
{
    QFETCH(bool, waitForAll);
    settings->change([](Settings &s) {
        s.preferences.enabled_params = {{0, "Ra"}, {1, "Dp"}, {2, "Rz"}};
        s.preferences.enabled_params_count = 3;
    });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("family.txt"));
    QVERIFY(writeSineTraceFile(path, PROFILE, 1));
    Rig rig;
    bool held = true;
    rig.road.evaluationHeld = [&held](const AbstractTrace *) {
        return held;
    };
    // The window draws the histogram of the family when the road asks for it.
    int histogramsAsked = 0;
    QObject::connect(&rig.road, &TraceRoad::aboutToEvaluate, &rig.road, [&](AbstractTrace *root) {
        ++histogramsAsked;
        auto *main = static_cast<ProfileTrace *>(root);
        main->amplitudeDensity = {{-1.0, 0.0, 1.0}, {10.0, 30.0, 60.0}};
        for (ProfileTrace *child : qAsConst(main->additionalTraces))
            child->amplitudeDensity = {{-1.0, 0.0, 1.0}, {20.0, 50.0, 30.0}};
    });
    rig.start(new FileDataProvider(path), PROFILE);
    QVERIFY(QTest::qWaitFor([&rig] { return rig.ended; }, kWaitMs));
    auto *main = static_cast<ProfileTrace *>(rig.road.traces().first());
    QCOMPARE(main->additionalTraces.size(), 1);
    ProfileTrace *child = main->additionalTraces.first();

    // The parameters that need only the trace do not wait for the drawing.
    QVERIFY(
        QTest::qWaitFor([main] { return !main->parameterResults.value("Rz").isEmpty(); }, kWaitMs));
    const QMap<QString, QString> independent = familyValues(path);
    QCOMPARE(main->parameterResults.value("Ra"), independent.value("Ra"));
    QCOMPARE(main->parameterResults.value("Rz"), independent.value("Rz"));
    QVERIFY(!child->parameterResults.value("Ra").isEmpty());
    // Dp is listed, empty, until the histogram is drawn.
    QVERIFY(main->parameterResults.contains("Dp"));
    QCOMPARE(main->parameterResults.value("Dp"), QString());
    QCOMPARE(child->parameterResults.value("Dp"), QString());
    QVERIFY(rig.road.evaluationPending(main));
    QCOMPARE(histogramsAsked, 0);

    if (waitForAll) {
        rig.road.waitForEvaluations();
    } else {
        held = false;
        rig.road.releaseEvaluations();
        QVERIFY(rig.settled());
    }
    QVERIFY(!rig.road.evaluationPending(nullptr));
    QCOMPARE(histogramsAsked, 1);
    // Dp of the histogram drawn, as a plain evaluation of the family gives it; the rest stays.
    ProfileTrace copy(*main);
    ExtraArgs args;
    const QString dp = evaluateParameter(args, &copy, "Dp");
    QVERIFY2(dp.contains("±"), qPrintable(dp));
    QCOMPARE(main->parameterResults.value("Dp"), dp);
    QCOMPARE(main->parameterResults.value("Ra"), independent.value("Ra"));
    QCOMPARE(main->parameterResults.value("Rz"), independent.value("Rz"));
    QVERIFY(!child->parameterResults.value("Dp").isEmpty());
}

void TestTraceRoad::detachedAdditionalTraceLeavesTheFamilyFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("family.txt"));
    QVERIFY(writeSineTraceFile(path, PROFILE, 2));
    Rig rig;
    QVERIFY(rig.read(new FileDataProvider(path), PROFILE));
    const QList<AbstractTrace *> traces = rig.road.traces();
    auto *main = static_cast<ProfileTrace *>(traces.at(0));
    auto *second = static_cast<ProfileTrace *>(traces.at(2));
    const TData kept = *second->rawData;
    rig.road.detachAdditionalTrace(traces.at(1)->id);
    rig.road.removeTrace(traces.at(1)->id);
    QCOMPARE(main->additionalTraces, QVector<ProfileTrace *> {second});
    ReadBackTrace back(path);
    QCOMPARE(back.trace.additionalTraces.size(), 1);
    QCOMPARE(*back.trace.rawData, *main->rawData);
    QCOMPARE(*back.trace.additionalTraces.at(0)->rawData, kept);
    // The main trace's values are now over the remaining family.
    QVERIFY(rig.settled());
    QCOMPARE(main->parameterResults, familyValues(path));
}

void TestTraceRoad::consolesInMemoryAndInFiles()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("c.txt"));
    QVERIFY(writeSineTraceFile(path, CONTOUR));
    const QByteArray before = fileBytes(path);
    Rig rig;
    QVERIFY(rig.read(new FileDataProvider(path), CONTOUR));
    auto *trace = static_cast<ContourTrace *>(rig.road.traces().first());
    ConsoleParams probe;
    probe.name = QStringLiteral("Консоль 2");
    probe.tool_head_radius_down = 5.5;
    probe.tool_head_radius_up = 6.5;
    probe.double_sided_probe_high = 30.25;
    probe.needle_bias = 0.125;
    probe.roughness_ratio = 7.75;
    rig.events.clear();

    // The trace list's console: the trace in memory, reprocessed; its file as it was.
    rig.road.setConsole(trace, probe, false);
    QCOMPARE(trace->toolHeadRadiusDown, 5.5);
    QCOMPARE(trace->toolHeadRadiusUp, 6.5);
    QCOMPARE(trace->doubleSidedProbeHigh, 30.25);
    QCOMPARE(trace->needleBias, 0.125);
    QCOMPARE(trace->roughnessRatio, 7.75);
    QCOMPARE(rig.events, QStringList {QStringLiteral("reprocessed %1").arg(trace->id)});
    QCOMPARE(fileBytes(path), before);

    // The settings window's console goes into the file as well.
    probe.tool_head_radius_down = 1.25;
    rig.road.setConsole(trace, probe, true);
    ContourTrace reread;
    FileDataProvider provider(path);
    provider.start(&reread);
    provider.waitForFinished();
    QCOMPARE(reread.toolHeadRadiusDown, 1.25);
    QCOMPARE(reread.roughnessRatio, 7.75);
}

void TestTraceRoad::joinedTraceReadsBackAsShown()
{
    // A calibration under which reading a trace changes its points: the conversion scales and
    // turns them, the finishing smooths and compensates the tip radius.
    settings->change([](Settings &s) {
        s.calibration.x_axis_compression_ratio = 1.02;
        s.calibration.y_axis_compression_ratio = 0.97;
        s.calibration.rack_prpendicular = 0.5;
        s.calibration.tool_head_radius_down = 2.0;
        s.device.measurement_mode = 0;
        s.service.is_disabled_gauss_filter = true;
        s.service.is_disabled_radius_elimination = true;
    });
    TData points(2);
    for (int i = 0; i < 800; ++i) {
        points[0].append(i * 5.0);
        points[1].append(100.0 * std::sin(i / 30.0) + (i > 400 ? 20.0 : 0.0));
    }
    Rig rig;
    AbstractTrace *joined = rig.road.addJoinedTrace(points);
    QVERIFY(joined);
    QCOMPARE(joined->type, int(CONTOUR));
    QCOMPARE(joined->processedData->at(0), points.at(0));
    QCOMPARE(joined->processedData->at(1), points.at(1));
    QVERIFY(rig.road.isWhole(joined));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("joined.txt"));
    QVERIFY(rig.road.saveTrace(joined, path, LOCAL_FORMAT));
    QCOMPARE(joined->filePath(), path);
    ContourTrace reread;
    FileDataProvider provider(path);
    provider.start(&reread);
    provider.waitForFinished();
    QVERIFY(provider.lastResult());
    QCOMPARE(reread.processedData->at(0).size(), points.at(0).size());
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < points.at(c).size(); ++i)
            COMPARE_TOL(reread.processedData->at(c).at(i), points.at(c).at(i), 1e-12, 1e-9);
    }
    // Processing it again in the window leaves it as it is, too.
    rig.road.reprocessAll();
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < points.at(c).size(); ++i)
            COMPARE_TOL(joined->processedData->at(c).at(i), points.at(c).at(i), 1e-12, 1e-9);
    }
}

void TestTraceRoad::traceStillBeingReadIsNeverWritten()
{
    settings->change([](Settings &s) { s.preferences.is_ask_before_change_filter = false; });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("main.txt"));
    Rig rig;
    QVERIFY(rig.read(new StandInRecording(3000, true), PROFILE, path));
    AbstractTrace *main = rig.road.traces().first();
    const QByteArray before = fileBytes(path);
    QVERIFY(!before.isEmpty());

    // An additional trace is being recorded into the main trace's file.
    auto *recording = new StandInRecording(2000, true, true);
    AbstractTrace *extra = rig.start(recording, ADDITIONAL_TRACE);
    QVERIFY(QTest::qWaitFor([&rig] { return rig.road.readingTrace(); }, kWaitMs));
    QVERIFY(!rig.road.isWhole(extra));
    QVERIFY(!rig.road.saveTrace(extra, dir.filePath("extra.txt"), LOCAL_FORMAT));
    QVERIFY(!rig.road.saveTrace(main, dir.filePath("main_copy.txt"), LOCAL_FORMAT));
    QVERIFY(!QFileInfo::exists(dir.filePath("extra.txt")));
    QVERIFY(!QFileInfo::exists(dir.filePath("main_copy.txt")));
    // A cut-off change of the family rewrites no file while a trace of it is incomplete.
    rig.road.setCutOff(main, 250);
    QCOMPARE(fileBytes(path), before);

    // At the end of the recording the family is saved whole, with the family's cut-off.
    recording->release = true;
    QVERIFY(QTest::qWaitFor([&rig] { return rig.ended; }, kWaitMs) && rig.settled());
    QCOMPARE(static_cast<ProfileTrace *>(extra)->filterLength, 250.0);
    ReadBackTrace family(path);
    QCOMPARE(family.trace.filterLength, 250.0);
    QCOMPARE(family.trace.additionalTraces.size(), 1);
    QCOMPARE(*family.trace.additionalTraces.at(0)->rawData, *extra->rawData);
}

QTEST_GUILESS_MAIN(TestTraceRoad)
#include "tst_TraceRoad.moc"
