#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "processing/DataProcessors.h"
#include "support/TestSupport.h"

#include <QtConcurrent>

#include <memory>
#include <set>

namespace {

// Doubles Y of every sample.
class DoubleY : public IDataSinglePointProcessor
{
public:
    void process(QVector<double> &sample) override { sample[1] *= 2; }
    IDataSinglePointProcessor *clone() const override { return new DoubleY(*this); }
};

// Adds a constant to every Y and counts its runs and live instances.
class AddToY : public IDataPostProcessor
{
public:
    explicit AddToY(double amount)
        : IDataPostProcessor(QStringLiteral("Add %1").arg(amount))
        , m_amount(amount)
    {
        ++alive;
    }
    AddToY(const AddToY &other)
        : IDataPostProcessor(other)
        , m_amount(other.m_amount)
    {
        ++alive;
    }
    ~AddToY() override { --alive; }
    void process(QVector<QVector<double>> &data) override
    {
        ++runs;
        for (double &y : data[1])
            y += m_amount;
    }
    IDataPostProcessor *clone() const override { return new AddToY(*this); }
    double amount() const { return m_amount; }

    static int alive;
    static int runs;

private:
    double m_amount;
};
int AddToY::alive = 0;
int AddToY::runs = 0;

// Multiplies Y by a factor (order matters against AddToY).
class ScaleY : public IDataPostProcessor
{
public:
    explicit ScaleY(double factor)
        : IDataPostProcessor(QStringLiteral("Scale"))
        , m_factor(factor)
    { }
    void process(QVector<QVector<double>> &data) override
    {
        for (double &y : data[1])
            y *= m_factor;
    }
    IDataPostProcessor *clone() const override { return new ScaleY(*this); }

private:
    double m_factor;
};

void fill(AbstractTrace &trace, int count)
{
    for (int i = 0; i < count; ++i) {
        QVector<double> sample {double(i), double(10 * i), 0.5};
        sample.resize(trace.processedData->size());
        trace.appendPoint(sample);
    }
}

QVector<double> column(const TData *set, int channel)
{
    return set->at(channel);
}

} // namespace

class TestTraces : public QObject
{
    Q_OBJECT

private slots:
    void idsCountUpAndClonesKeepThem()
    {
        // The first traces of the process get 0 and 1.
        ProfileTrace first;
        ContourTrace second;
        QCOMPARE(first.id, 0);
        QCOMPARE(second.id, 1);
        std::unique_ptr<AbstractTrace> copy(first.clone());
        QCOMPARE(copy->id, first.id);
        ProfileTrace third;
        QCOMPARE(third.id, 2);
    }

    void idsAreUniqueAcrossThreads()
    {
        static constexpr int perThread = 2000;
        auto make = [] {
            QVector<int> ids;
            for (int i = 0; i < perThread; ++i)
                ids.append(ProfileTrace().id);
            return ids;
        };
        QFuture<QVector<int>> other = QtConcurrent::run(make);
        const QVector<int> mine = make();
        const QVector<int> theirs = other.result();
        std::set<int> all(mine.begin(), mine.end());
        all.insert(theirs.begin(), theirs.end());
        QCOMPARE(int(all.size()), 2 * perThread);
    }

    void appendPointWithoutAndWithProcessors()
    {
        ProfileTrace plain;
        QVector<double> sample {1.0, 3.0};
        plain.appendPoint(sample);
        QCOMPARE(column(plain.rawData, 1), QVector<double> {3.0});
        QCOMPARE(column(plain.convertedData, 1), QVector<double> {3.0});
        QCOMPARE(column(plain.processedData, 1), QVector<double> {3.0});

        ProfileTrace doubled;
        doubled.addPointProcessor(new DoubleY);
        QVector<double> s2 {1.0, 3.0};
        doubled.appendPoint(s2);
        QCOMPARE(column(doubled.rawData, 1), QVector<double> {3.0});
        QCOMPARE(column(doubled.convertedData, 1), QVector<double> {6.0});
        QCOMPARE(column(doubled.processedData, 1), QVector<double> {6.0});
        QCOMPARE(s2.at(1), 6.0);
    }

    // A long read holds its samples once: raw only while they come (the batches read them
    // there), then the three sets share the raw channels, and a processor that changes Y gets
    // a Y of its own without touching the raw samples.
    void rawOnlyAppendsShareTheSamples()
    {
        ProfileTrace trace;
        trace.beginRawOnlyAppends();
        fill(trace, 1000);
        QCOMPARE(trace.rawData->at(1).size(), 1000);
        QVERIFY(trace.convertedData->at(1).isEmpty());
        QCOMPARE(trace.batchSamples(10, 3).at(1), (QVector<double> {100.0, 110.0, 120.0}));

        trace.addPostProcessor(new AddToY(1.0));
        trace.releaseSpareCapacity();
        QCOMPARE(*trace.convertedData, *trace.rawData);
        QCOMPARE(*trace.processedData, *trace.rawData);
        QCOMPARE(trace.processedData->at(0).constData(), trace.rawData->at(0).constData());
        QCOMPARE(trace.convertedData->at(1).constData(), trace.rawData->at(1).constData());
        trace.applyPostProcessors();
        QCOMPARE(trace.processedData->at(1).at(10), 101.0);
        QCOMPARE(trace.rawData->at(1).at(10), 100.0);
        QCOMPARE(trace.convertedData->at(1).at(10), 100.0);
        QCOMPARE(trace.processedData->at(0).constData(), trace.rawData->at(0).constData());
        // Reprocessing and further appends keep the usual three sets.
        trace.reprocess();
        QCOMPARE(trace.processedData->at(1).at(10), 101.0);
        QVector<double> sample {1000.0, 5.0};
        trace.appendPoint(sample);
        QCOMPARE(trace.convertedData->at(1).size(), 1001);
        QCOMPARE(trace.rawData->at(1).at(10), 100.0);

        // A trace with point processors or samples appends to all three sets as always.
        ProfileTrace doubled;
        doubled.addPointProcessor(new DoubleY);
        doubled.beginRawOnlyAppends();
        fill(doubled, 3);
        QCOMPARE(column(doubled.convertedData, 1), (QVector<double> {0.0, 20.0, 40.0}));
        ProfileTrace filled;
        fill(filled, 2);
        filled.beginRawOnlyAppends();
        fill(filled, 1);
        QCOMPARE(filled.processedData->at(1).size(), 3);
    }

    void postProcessorsRunInListOrder()
    {
        ProfileTrace addThenScale;
        addThenScale.addPostProcessor(new AddToY(1));
        addThenScale.addPostProcessor(new ScaleY(10));
        fill(addThenScale, 3);
        addThenScale.applyPostProcessors();
        QCOMPARE(column(addThenScale.processedData, 1), (QVector<double> {10, 110, 210}));

        ProfileTrace scaleThenAdd;
        scaleThenAdd.addPostProcessor(new ScaleY(10));
        scaleThenAdd.addPostProcessor(new AddToY(1));
        fill(scaleThenAdd, 3);
        scaleThenAdd.applyPostProcessors();
        QCOMPARE(column(scaleThenAdd.processedData, 1), (QVector<double> {1, 101, 201}));
        // Post-processors never touch the raw or converted data.
        QCOMPARE(column(scaleThenAdd.rawData, 1), (QVector<double> {0, 10, 20}));
        QCOMPARE(column(scaleThenAdd.convertedData, 1), (QVector<double> {0, 10, 20}));
    }

    void reprocessStartsFromRawSamples()
    {
        ProfileTrace trace;
        trace.addPointProcessor(new DoubleY);
        trace.addPostProcessor(new AddToY(1));
        fill(trace, 4);
        trace.applyPostProcessors();
        const QVector<double> once = column(trace.processedData, 1);
        QCOMPARE(once, (QVector<double> {1, 21, 41, 61}));
        trace.reprocess();
        QCOMPARE(column(trace.processedData, 1), once);
        trace.reprocess();
        QCOMPARE(column(trace.processedData, 1), once);
        QCOMPARE(column(trace.convertedData, 1), (QVector<double> {0, 20, 40, 60}));
        QCOMPARE(column(trace.rawData, 1), (QVector<double> {0, 10, 20, 30}));
    }

    void crop_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<bool>("reprocessed");
        QTest::addColumn<QVector<double>>("expectedX");
        const QVector<double> all {0, 1, 2, 3, 4, 5, 6};
        QTest::newRow("reversed") << 5 << 3 << false << all;
        QTest::newRow("beyond end") << 0 << 8 << false << all;
        QTest::newRow("negative start") << -1 << 3 << false << all;
        QTest::newRow("whole") << 0 << 7 << true << all;
        QTest::newRow("middle") << 2 << 5 << true << QVector<double> {2, 3, 4};
        QTest::newRow("empty") << 3 << 3 << true << QVector<double> {};
    }

    void crop()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(bool, reprocessed);
        QFETCH(QVector<double>, expectedX);
        ProfileTrace trace;
        trace.addPostProcessor(new AddToY(1));
        fill(trace, 7);
        AddToY::runs = 0;
        trace.crop(from, to);
        QCOMPARE(AddToY::runs, reprocessed ? 1 : 0);
        QCOMPARE(column(trace.rawData, 0), expectedX);
        QCOMPARE(column(trace.processedData, 0), expectedX);
        QCOMPARE(trace.rawData->size(), 2);
        QCOMPARE(trace.rawData->at(1).size(), expectedX.size());
    }

    void lengthAndClearData()
    {
        ProfileTrace trace;
        QCOMPARE(trace.length(), 0.0);
        fill(trace, 1);
        QCOMPARE(trace.length(), 0.0);
        fill(trace, 5);
        QCOMPARE(trace.length(), 4.0);

        ContourTrace contour;
        fill(contour, 3);
        contour.clearData();
        for (const TData *set : {contour.rawData, contour.convertedData, contour.processedData}) {
            QCOMPARE(set->size(), 3);
            for (const QVector<double> &channel : *set)
                QVERIFY(channel.isEmpty());
        }
        fill(contour, 2);
        QCOMPARE(contour.processedData->at(2).size(), 2);
    }

    void contourFromColumns()
    {
        const TData columns {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
        ContourTrace trace(columns);
        QCOMPARE(*trace.rawData, columns);
        QCOMPARE(*trace.convertedData, columns);
        QCOMPARE(*trace.processedData, columns);
        QCOMPARE(trace.needlePressing, MovementSettings::E_PRESSING_DOWN);

        // Short or missing columns give no out-of-range read.
        ContourTrace ragged(TData {{1, 2, 3}, {4}, {7, 8}});
        QCOMPARE(ragged.rawData->at(0).size(), 1);
        ContourTrace missing(TData {{1, 2}});
        QCOMPARE(missing.rawData->at(0).size(), 0);
    }

    void copiesAreIndependentAndCloneTheirChains()
    {
        AddToY::alive = 0;
        auto source = std::make_unique<ProfileTrace>();
        source->addPointProcessor(new DoubleY);
        source->addPostProcessor(new AddToY(5));
        source->addPostProcessor(new ScaleY(2));
        source->setName("source");
        source->controllerName = "Иванов";
        source->filterLength = 800;
        source->medianWindow = 5;
        source->parameterResults.insert("Ra", "0.088");
        fill(*source, 3);
        QCOMPARE(AddToY::alive, 1);

        std::unique_ptr<AbstractTrace> base(source->clone());
        auto *copy = dynamic_cast<ProfileTrace *>(base.get());
        QVERIFY(copy);
        QCOMPARE(AddToY::alive, 2);
        QCOMPARE(copy->postProcessors.size(), 2);
        QVERIFY(copy->postProcessors.at(0) != source->postProcessors.at(0));
        QVERIFY(dynamic_cast<AddToY *>(copy->postProcessors.at(0)));
        QCOMPARE(dynamic_cast<AddToY *>(copy->postProcessors.at(0))->amount(), 5.0);
        QCOMPARE(copy->postProcessors.at(0)->name, QStringLiteral("Add 5"));
        QVERIFY(dynamic_cast<ScaleY *>(copy->postProcessors.at(1)));
        QCOMPARE(copy->pointProcessors.size(), 1);
        QCOMPARE(copy->name(), QStringLiteral("source"));
        QCOMPARE(copy->controllerName, QStringLiteral("Иванов"));
        QCOMPARE(copy->filterLength, 800.0);
        QCOMPARE(copy->medianWindow, 5);
        QCOMPARE(copy->parameterResults.value("Ra"), QStringLiteral("0.088"));
        QVERIFY(copy->rawData != source->rawData);

        // Writing into the copy leaves the source alone.
        (*copy->rawData)[1][0] = 99;
        QCOMPARE(source->rawData->at(1).at(0), 0.0);

        // Deleting the source leaves the copy's processors intact.
        source.reset();
        QCOMPARE(AddToY::alive, 1);
        copy->reprocess();
        QCOMPARE(copy->processedData->at(1), (QVector<double> {406, 50, 90}));
        base.reset();
        QCOMPARE(AddToY::alive, 0);
    }

    void contourCopyKeepsItsMembers()
    {
        ContourTrace source;
        source.toolHeadRadiusDown = 1.5;
        source.toolHeadRadiusUp = 2.5;
        source.doubleSidedProbeHigh = 22;
        source.rackPerpendicular = 0.1;
        source.roughnessRatio = 6.2;
        source.needleBias = 0.3;
        source.xAxisCompressionRatio = 1.01;
        source.yAxisCompressionRatio = 0.99;
        source.displacementCoefficient = 0.02;
        source.measurementMode = 3;
        source.needlePressing = MovementSettings::E_PRESSING_UP;
        std::unique_ptr<AbstractTrace> base(source.clone());
        auto *copy = dynamic_cast<ContourTrace *>(base.get());
        QVERIFY(copy);
        QCOMPARE(copy->headerText(), source.headerText());
        QCOMPARE(copy->needlePressing, MovementSettings::E_PRESSING_UP);
        QVERIFY(copy->headerText().startsWith("needle_pressing:u\ntool_head_radius_down:1.5\n"));
        QVERIFY(copy->headerText().endsWith("roughness_ratio:6.2\nmeasurement_mode:3\n"));
    }

    void copyOfProfileWithAdditionalTraces()
    {
        ProfileTrace main;
        main.setFilePath("/data/main.txt");
        ProfileTrace a;
        ProfileTrace b;
        main.addAdditionalTrace(&a);
        main.addAdditionalTrace(&b);
        QCOMPARE(a.parentTrace, &main);
        QCOMPARE(b.filePath(), QStringLiteral("/data/main.txt"));
        fill(a, 2);

        {
            ProfileTrace copy(main);
            QCOMPARE(copy.additionalTraces.size(), 2);
            QVERIFY(copy.additionalTraces.at(0) != &a);
            QVERIFY(copy.additionalTraces.at(1) != &b);
            QCOMPARE(copy.additionalTraces.at(0)->parentTrace, &copy);
            QCOMPARE(copy.additionalTraces.at(0)->id, a.id);
            QCOMPARE(copy.additionalTraces.at(0)->rawData->at(0).size(), 2);
            // The copy deletes its clones when it goes (checked by the leak sanitizer).
        }
        QCOMPARE(main.additionalTraces.size(), 2);
        QCOMPARE(a.parentTrace, &main);
        QCOMPARE(b.parentTrace, &main);
        QCOMPARE(a.rawData->at(0).size(), 2);
    }

    void removedCloneBelongsToTheCaller()
    {
        ProfileTrace main;
        ProfileTrace a;
        main.addAdditionalTrace(&a);
        ProfileTrace *taken = nullptr;
        {
            ProfileTrace copy(main);
            taken = copy.additionalTraces.at(0);
            copy.removeAdditionalTrace(taken->id);
            QVERIFY(copy.additionalTraces.isEmpty());
        }
        // Still a valid object after its former main trace is gone.
        QCOMPARE(taken->rawData->size(), 2);
        delete taken;
    }

    void removeAdditionalTrace()
    {
        ProfileTrace main;
        auto a = std::make_unique<ProfileTrace>();
        ProfileTrace b;
        main.addAdditionalTrace(a.get());
        main.addAdditionalTrace(&b);
        main.removeAdditionalTrace(-12345);
        QCOMPARE(main.additionalTraces.size(), 2);
        main.removeAdditionalTrace(a->id);
        QCOMPARE(main.additionalTraces.size(), 1);
        QCOMPARE(main.additionalTraces.at(0), &b);
        QCOMPARE(a->parentTrace, &main);

        // A deleted main trace leaves its additional traces alive and usable.
        auto owner = std::make_unique<ProfileTrace>();
        owner->addAdditionalTrace(a.get());
        owner.reset();
        fill(*a, 3);
        QCOMPARE(a->rawData->at(0).size(), 3);
    }

    void profileHeaderAndDate()
    {
        ProfileTrace trace;
        trace.speed = 0.5;
        trace.filterLength = 2500;
        QCOMPARE(trace.headerText(), QStringLiteral("speed:0.5\nfilter:2500\n"));
        trace.creationDate = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9));
        QCOMPARE(trace.creationDateText(), QStringLiteral("05-03-2024 14:07:09"));
    }
};

QTEST_GUILESS_MAIN(TestTraces)
#include "tst_Traces.moc"
