// The one processing chain of every trace: its steps by kind and settings, the trace's own
// cut-off, and a rebuilt chain that leaves a trace's shape as it was.

#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "processing/PostProcessors.h"
#include "support/TempSettings.h"
#include "traceprocessing/ProcessingChain.h"

#include <QtTest>

#include <cmath>

using namespace testsupport;

namespace {

QStringList chainNames(const AbstractTrace &trace)
{
    QStringList names;
    for (const IDataPostProcessor *processor : trace.postProcessors)
        names << processor->name;
    return names;
}

} // namespace

class TestProcessingChain : public QObject
{
    Q_OBJECT

private slots:
    void stepsByKindAndSettings_data();
    void stepsByKindAndSettings();
    void rebuildingKeepsTheShape();
};

void TestProcessingChain::stepsByKindAndSettings_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("nonLinearity");
    QTest::addColumn<bool>("median");
    QTest::addColumn<bool>("compensation");
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("ownCutOff");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<double>("filterCutOff");
    const QStringList all {"NonLinearityEliminationProcessor", "Median7", "Angle 30"};
    QTest::newRow("contour, everything on")
        << int(CONTOUR) << true << true << true << 1 << 0.0 << all << 0.0;
    QTest::newRow("contour with roughness sensor: no non-linearity step")
        << int(CONTOURPROF) << true << true << true << 1 << 0.0
        << QStringList {"Median7", "Angle 30"} << 0.0;
    QTest::newRow("contour, everything off")
        << int(CONTOUR) << false << false << false << 2 << 0.0 << QStringList {} << 0.0;
    QTest::newRow("profile, roughness with its own cut-off, never scaled in X")
        << int(PROFILE) << true << true << true << 1 << 250.0
        << QStringList {"Median7", "Filter 250", "YZeronator"} << 250.0;
    QTest::newRow("additional trace, waviness")
        << int(ADDITIONAL_TRACE) << false << false << true << 2 << 2500.0
        << QStringList {"Filter 2500", "YZeronator"} << 2500.0;
    QTest::newRow("profile, primary, no cut-off of its own")
        << int(PROFILE) << false << true << false << 0 << 0.0
        << QStringList {"Median7", "YZeronator"} << 0.0;
    QTest::newRow("profile without cut-off: the setting's")
        << int(PROFILE) << false << false << false << 1 << 0.0
        << QStringList {"Filter 800", "YZeronator"} << 800.0;
}

void TestProcessingChain::stepsByKindAndSettings()
{
    QFETCH(int, kind);
    QFETCH(bool, nonLinearity);
    QFETCH(bool, median);
    QFETCH(bool, compensation);
    QFETCH(int, mode);
    QFETCH(double, ownCutOff);
    QFETCH(QStringList, names);
    QFETCH(double, filterCutOff);
    TempSettings settings([&](Settings &s) {
        s.preferences.non_linearity = nonLinearity;
        s.preferences.meadian_filter = median;
        s.preferences.meadian_filter_value = 7;
        s.preferences.thread_angle_compensation = compensation;
        s.preferences.thread_angle_compensation_value = 30;
        s.preferences.profile_filter_mode = mode;
        s.device.spinbox_filter_length_index = 2;
    });
    std::unique_ptr<AbstractTrace> trace;
    if (kind == CONTOUR || kind == CONTOURPROF) {
        trace = std::make_unique<ContourTrace>();
    } else {
        auto profile = std::make_unique<ProfileTrace>();
        profile->filterLength = ownCutOff;
        trace = std::move(profile);
    }
    trace->setType(kind);
    // A chain already there is replaced, not extended.
    trace->addPostProcessor(new XZeronator);
    buildProcessingChain(*trace, settings.record());
    QCOMPARE(chainNames(*trace), names);
    buildProcessingChain(*trace, settings.record());
    QCOMPARE(chainNames(*trace), names);
    QCOMPARE(chainFilterCutOff(*trace, settings.record()), filterCutOff);
}

void TestProcessingChain::rebuildingKeepsTheShape()
{
    TempSettings settings([](Settings &s) {
        s.preferences.meadian_filter = true;
        s.preferences.meadian_filter_value = 5;
        s.preferences.profile_filter_mode = ROUGHNESS_PROFILE_MODE;
        s.device.spinbox_filter_length_index = 3;
    });
    ProfileTrace trace;
    trace.setType(PROFILE);
    trace.filterLength = 250;
    buildProcessingChain(trace, settings.record());
    for (int i = 0; i < 3000; ++i) {
        QVector<double> sample {double(i), std::sin(i / 30.0) + 0.002 * i};
        trace.appendPoint(sample);
    }
    trace.applyPostProcessors();
    const TData created = *trace.processedData;
    QVERIFY(!created.at(1).isEmpty());
    // A later change of the cut-off setting does not reach a trace with a cut-off of its own.
    settings.change([](Settings &s) { s.device.spinbox_filter_length_index = 0; });
    buildProcessingChain(trace, settings.record());
    trace.reprocess();
    QCOMPARE(*trace.processedData, created);
}

QTEST_GUILESS_MAIN(TestProcessingChain)
#include "tst_ProcessingChain.moc"
