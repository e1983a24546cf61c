// The processing steps that apply the instrument's calibration: the non-linearity table and the
// contour point conversion, which read the settings as they run.
#include "core/CalibrationProcessors.h"
#include "core/Settings.h"
#include "support/LogReader.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <memory>

using TData = QVector<QVector<double>>;

namespace {

void writeTable(const QByteArray &content)
{
    QDir().mkpath(QStringLiteral("non_linearity"));
    QFile file(QStringLiteral("non_linearity/non_linearity.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

void setNonLinearity(bool on)
{
    Settings::modify([on](Settings &s) { s.preferences.non_linearity = on; });
}

void setCalibration(double xRatio, double yRatio, double displacement, double rack)
{
    Settings::modify([=](Settings &s) {
        s.calibration.x_axis_compression_ratio = xRatio;
        s.calibration.y_axis_compression_ratio = yRatio;
        s.calibration.displacement_coefficient = displacement;
        s.calibration.rack_prpendicular = rack;
    });
}

// Samples at the given X with Y = 10.
TData samplesAt(const QVector<double> &x)
{
    return {x, QVector<double>(x.size(), 10.0)};
}

QVector<double> corrections(IDataPostProcessor &processor, const QVector<double> &x)
{
    TData data = samplesAt(x);
    processor.process(data);
    QVector<double> result;
    for (double y : data.at(1))
        result.append(10.0 - y);
    return result;
}

} // namespace

class tst_CalibrationProcessors : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void nonLinearityNameAndClone();
    void nonLinearityTable_data();
    void nonLinearityTable();
    void nonLinearityParsing();
    void nonLinearitySwitchedOff();
    void contourConversion_data();
    void contourConversion();
};

void tst_CalibrationProcessors::cleanup()
{
    setNonLinearity(false);
    setCalibration(1.0, 1.0, 0.0, 0.0);
}

void tst_CalibrationProcessors::nonLinearityNameAndClone()
{
    NonLinearityEliminationProcessor processor;
    QCOMPARE(processor.name, QStringLiteral("NonLinearityEliminationProcessor"));
    const std::unique_ptr<IDataPostProcessor> copy(processor.clone());
    QVERIFY(copy.get() != &processor);
    QVERIFY(dynamic_cast<NonLinearityEliminationProcessor *>(copy.get()));
    QCOMPARE(copy->name, processor.name);
}

void tst_CalibrationProcessors::nonLinearityTable_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QVector<double>>("x");
    QTest::addColumn<QVector<double>>("expected");
    QTest::newRow("two rows") << QByteArray("0\t1\n100\t3\n")
                              << QVector<double> {-5, 0, 50, 100, 150}
                              << QVector<double> {1, 1, 2, 3, 3};
    QTest::newRow("three rows") << QByteArray("0\t0\n10\t10\n20\t0\n")
                                << QVector<double> {5, 10, 15, 25} << QVector<double> {5, 10, 5, 0};
    // Rows out of order are sorted by X on loading, so the result is that of the sorted table.
    QTest::newRow("unsorted rows")
        << QByteArray("20\t0\n0\t0\n10\t10\n") << QVector<double> {5, 10, 15, 25}
        << QVector<double> {5, 10, 5, 0};
    // A sample on two rows of the same X takes the first of them.
    QTest::newRow("equal smallest X")
        << QByteArray("0\t1\n0\t2\n100\t3\n") << QVector<double> {-5, 0, 50, 100}
        << QVector<double> {1, 1, 2.5, 3};
    QTest::newRow("equal X inside") << QByteArray("0\t0\n10\t1\n10\t5\n20\t5\n")
                                    << QVector<double> {5, 10, 15} << QVector<double> {0.5, 1, 5};
    // Rows with a number that is not finite are left out.
    QTest::newRow("not finite rows")
        << QByteArray("0\tnan\ninf\t1\n0\t1\n100\t3\n-inf\t2\nnan\t0\n50\tinf\n")
        << QVector<double> {-5, 50, 150} << QVector<double> {1, 2, 3};
}

void tst_CalibrationProcessors::nonLinearityTable()
{
    QFETCH(QByteArray, file);
    QFETCH(QVector<double>, x);
    QFETCH(QVector<double>, expected);
    testsupport::ScratchDir scratch;
    writeTable(file);
    setNonLinearity(true);
    NonLinearityEliminationProcessor processor;
    QCOMPARE(corrections(processor, x), expected);
    // A clone reads the file again and corrects the same way.
    const std::unique_ptr<IDataPostProcessor> copy(processor.clone());
    QCOMPARE(corrections(*copy, x), expected);
}

void tst_CalibrationProcessors::nonLinearityParsing()
{
    testsupport::LogReader log;
    testsupport::ScratchDir scratch;
    writeTable("10\t0.5\n  20\t\t0.7  \n30\t0.9\t1\nx\t1\n\n");
    NonLinearityEliminationProcessor processor;
    QCOMPARE(*processor.table, (TData {{10, 20}, {0.5, 0.7}}));

    // Rows that are not finite are logged, one line each.
    writeTable("nan\t1\n10\t0.5\n20\tinf\n30\t0.9\n");
    log.skip();
    NonLinearityEliminationProcessor withNonFinite;
    QCOMPARE(*withNonFinite.table, (TData {{10, 30}, {0.5, 0.9}}));
    QCOMPARE(log.entries(),
             (QStringList {"ERROR: Non-linearity table non_linearity/non_linearity.txt: line 1 "
                           "skipped, number not finite",
                           "ERROR: Non-linearity table non_linearity/non_linearity.txt: line 3 "
                           "skipped, number not finite"}));

    // No directory or no file: an empty table.
    testsupport::ScratchDir bare;
    QCOMPARE(*NonLinearityEliminationProcessor().table, (TData {{}, {}}));
    QDir().mkpath(QStringLiteral("non_linearity"));
    QCOMPARE(*NonLinearityEliminationProcessor().table, (TData {{}, {}}));
}

void tst_CalibrationProcessors::nonLinearitySwitchedOff()
{
    testsupport::ScratchDir scratch;
    const QVector<double> x {-5, 50, 150};
    const QVector<double> none(3, 0.0);
    writeTable("0\t1\n100\t3\n");
    NonLinearityEliminationProcessor processor;
    // Setting off.
    setNonLinearity(false);
    QCOMPARE(corrections(processor, x), none);
    // Setting on, then the file deleted after loading.
    setNonLinearity(true);
    QCOMPARE(corrections(processor, x), (QVector<double> {1, 2, 3}));
    QVERIFY(QFile::remove(QStringLiteral("non_linearity/non_linearity.txt")));
    QCOMPARE(corrections(processor, x), none);
    // A one-row table.
    writeTable("0\t1\n");
    NonLinearityEliminationProcessor oneRow;
    QCOMPARE(corrections(oneRow, x), none);
    // A data set without a Y channel is left alone.
    writeTable("0\t1\n100\t3\n");
    NonLinearityEliminationProcessor full;
    TData onlyX {{1, 2}};
    full.process(onlyX);
    QCOMPARE(onlyX, (TData {{1, 2}}));
}

void tst_CalibrationProcessors::contourConversion_data()
{
    QTest::addColumn<double>("xRatio");
    QTest::addColumn<double>("yRatio");
    QTest::addColumn<double>("displacement");
    QTest::addColumn<double>("rack");
    QTest::addColumn<QVector<double>>("expected");
    QTest::newRow("defaults") << 1.0 << 1.0 << 0.0 << 0.0 << QVector<double> {10, 2.5, 500};
    QTest::newRow("rack 90") << 1.0 << 1.0 << 0.0 << 90.0 << QVector<double> {7.5, 0, 500};
    // y = 2·3 + 0.5 = 6.5; x = 10·2 − 500·0.01 = 15; rack 30°: x − 6.5/2, y·cos 30°.
    QTest::newRow("all values") << 2.0 << 3.0 << 0.01 << 30.0
                                << QVector<double> {15 - 3.25, 6.5 * std::sqrt(3.0) / 2, 500};
}

void tst_CalibrationProcessors::contourConversion()
{
    QFETCH(double, xRatio);
    QFETCH(double, yRatio);
    QFETCH(double, displacement);
    QFETCH(double, rack);
    QFETCH(QVector<double>, expected);
    setCalibration(xRatio, yRatio, displacement, rack);
    ContourConversionPointProcessor processor;
    QVector<double> sample {10, 2, 500};
    processor.process(sample);
    QCOMPARE(sample.size(), 3);
    for (int c = 0; c < 3; ++c)
        COMPARE_TOL(sample.at(c), expected.at(c), 1e-14, 1e-15);
    const std::unique_ptr<IDataSinglePointProcessor> copy(processor.clone());
    QVector<double> again {10, 2, 500};
    copy->process(again);
    QCOMPARE(again, sample);
    // A sample without the console height is left alone.
    QVector<double> shortSample {1, 2};
    processor.process(shortSample);
    QCOMPARE(shortSample, (QVector<double> {1, 2}));
}

QTEST_GUILESS_MAIN(tst_CalibrationProcessors)
#include "tst_CalibrationProcessors.moc"
