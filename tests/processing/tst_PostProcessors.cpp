#include "processing/PostProcessors.h"
#include "processing/ProfileFilters.h"
#include "support/TestSupport.h"

#include <cfloat>
#include <cmath>
#include <memory>
#include <typeinfo>

using TData = QVector<QVector<double>>;
using ProcessorPtr = std::shared_ptr<IDataPostProcessor>;
Q_DECLARE_METATYPE(ProcessorPtr)

class tst_PostProcessors : public QObject
{
    Q_OBJECT

private slots:
    void namesAndClones_data();
    void namesAndClones();
    void bandFilters();
    void threadAngle();
    void zeronators();
};

void tst_PostProcessors::namesAndClones_data()
{
    QTest::addColumn<ProcessorPtr>("processor");
    QTest::addColumn<QString>("name");
    using P = ProcessorPtr;
    QTest::newRow("median") << P(new DataMedianFilterProcessor(5)) << "Median5";
    QTest::newRow("angle") << P(new ThreadAngleCompensationProcessor(2.5)) << "Angle 2.5";
    QTest::newRow("angle precision")
        << P(new ThreadAngleCompensationProcessor(1.0 / 3)) << "Angle 0.333333";
    QTest::newRow("roughness") << P(new FilterRoughnessProfileProcessor(800)) << "Filter 800";
    QTest::newRow("waviness") << P(new FilterWaveProfileProcessor(2500)) << "Filter 2500";
    QTest::newRow("y zero") << P(new YZeronator) << "YZeronator";
    QTest::newRow("x zero") << P(new XZeronator) << "XZeronator";
}

void tst_PostProcessors::namesAndClones()
{
    QFETCH(ProcessorPtr, processor);
    QFETCH(QString, name);
    QCOMPARE(processor->name, name);
    const std::unique_ptr<IDataPostProcessor> copy(processor->clone());
    QVERIFY(copy.get() != processor.get());
    const IDataPostProcessor &original = *processor;
    const IDataPostProcessor &cloned = *copy;
    QCOMPARE(typeid(cloned), typeid(original));
    QCOMPARE(copy->name, name);
    // The clone does to a profile what the original does.
    TData a {{0, 1, 2, 3, 4, 5, 6, 7}, {5, 1, 7, 3, 9, 2, 8, 4}};
    TData b = a;
    processor->process(a);
    copy->process(b);
    QCOMPARE(b, a);
}

void tst_PostProcessors::bandFilters()
{
    QVector<double> x;
    QVector<double> y;
    for (int i = 0; i < 3000; ++i) {
        x.append(i * 0.5);
        y.append(std::sin(x.last() / 9) + 0.3 * std::sin(x.last() / 70) + 0.01 * x.last());
    }
    const TData profile {x, y};
    TData rough = profile;
    FilterRoughnessProfileProcessor(80).process(rough);
    QCOMPARE(rough, Algos::gaussianFilter(profile, 80, 2.6666666666666665));
    QCOMPARE(rough.at(0).first(), 40.0);
    TData wave = profile;
    FilterWaveProfileProcessor(250).process(wave);
    QCOMPARE(wave, Algos::gaussianFilter(profile, 250, 497.5));
    QCOMPARE(wave.at(0).first(), 125.0);

    // A data set that is not a profile becomes empty.
    TData three {x, y, y};
    FilterRoughnessProfileProcessor(80).process(three);
    QVERIFY(three.isEmpty());
    TData none;
    FilterWaveProfileProcessor(80).process(none);
    QVERIFY(none.isEmpty());
}

void tst_PostProcessors::threadAngle()
{
    TData data {{2, 4, -6}, {1, 2, 3}};
    ThreadAngleCompensationProcessor(60).process(data);
    COMPARE_REL(data.at(0).at(0), 1.0, 1e-15);
    COMPARE_REL(data.at(0).at(1), 2.0, 1e-15);
    COMPARE_REL(data.at(0).at(2), -3.0, 1e-15);
    QCOMPARE(data.at(1), (QVector<double> {1, 2, 3}));
    TData same {{2, 4, -6}, {1, 2, 3}};
    ThreadAngleCompensationProcessor(0).process(same);
    QCOMPARE(same, (TData {{2, 4, -6}, {1, 2, 3}}));
    TData empty;
    ThreadAngleCompensationProcessor(30).process(empty);
    QVERIFY(empty.isEmpty());
}

void tst_PostProcessors::zeronators()
{
    TData data {{7, 8, 9}, {5, 3, 4}};
    YZeronator().process(data);
    QCOMPARE(data, (TData {{7, 8, 9}, {2, 0, 1}}));
    XZeronator().process(data);
    QCOMPARE(data, (TData {{0, 1, 2}, {2, 0, 1}}));
    TData empty {{}, {}};
    YZeronator().process(empty);
    XZeronator().process(empty);
    QCOMPARE(empty, (TData {{}, {}}));
    TData noChannels;
    YZeronator().process(noChannels);
    XZeronator().process(noChannels);
    QVERIFY(noChannels.isEmpty());
}

QTEST_GUILESS_MAIN(tst_PostProcessors)
#include "tst_PostProcessors.moc"
