#include "core/CalibrationProcessors.h"
#include "core/ContourTrace.h"
#include "core/Logger.h"
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "core/TraceFileReader.h"
#include "core/TraceFileWriter.h"
#include "dataproviders/FileDataProvider.h"
#include "processing/PostProcessors.h"
#include "support/ProviderSignalLog.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <atomic>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QString fixture(const QString &name)
{
    return QStringLiteral(TEST_FIXTURES_DIR "/tracefiles/") + name;
}

// The samples of a data set as "x y;x y", each number in its exact shortest form.
QString rowsText(const TData &data)
{
    QStringList rows;
    const int count = data.isEmpty() ? 0 : data.at(0).size();
    for (int i = 0; i < count; ++i) {
        QStringList values;
        for (const QVector<double> &channel : data)
            values << traceNumberText(channel.at(i));
        rows << values.join(QLatin1Char(' '));
    }
    return rows.join(QLatin1Char(';'));
}

std::unique_ptr<AbstractTrace> makeTrace(const QString &kind)
{
    if (kind == QLatin1String("profile"))
        return std::make_unique<ProfileTrace>();
    return std::make_unique<ContourTrace>();
}

// Runs the whole worker road of a file provider over path and returns the signals received.
QStringList readThroughProvider(const QString &path, AbstractTrace &trace, bool *result = nullptr)
{
    FileDataProvider provider(path);
    testsupport::ProviderSignalLog<DataProvider> log(provider);
    provider.start(&trace);
    if (!QTest::qWaitFor([&log] { return log.finished; }, 20000))
        return {QStringLiteral("timed out")};
    provider.waitForFinished();
    if (result)
        *result = provider.lastResult();
    return log.events;
}

// The additional traces read from a file belong to whoever keeps the traces; tests delete them.
struct AdditionalTraceCleanup
{
    explicit AdditionalTraceCleanup(AbstractTrace *trace)
        : profile(dynamic_cast<ProfileTrace *>(trace))
    { }
    ~AdditionalTraceCleanup()
    {
        if (profile)
            qDeleteAll(profile->additionalTraces);
    }
    ProfileTrace *profile;
};

// The lines the global log received since the object was made.
class LogWatch
{
public:
    LogWatch()
        : m_start(QFile(QString::fromStdString(logger.filePath())).size())
    { }
    QStringList lines() const
    {
        QFile file(QString::fromStdString(logger.filePath()));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        file.seek(m_start);
        QStringList result;
        for (const QByteArray &line : file.readAll().split('\n')) {
            // "[date time] LEVEL: text" -> "LEVEL: text"
            const int close = line.indexOf("] ");
            if (close >= 0)
                result << QString::fromUtf8(line.mid(close + 2));
        }
        return result;
    }

private:
    qint64 m_start;
};

template<typename T>
QByteArray littleEndian(T value)
{
    const T stored = qToLittleEndian(value);
    return QByteArray(reinterpret_cast<const char *>(&stored), int(sizeof stored));
}

QByteArray binaryContour(qint32 count, double step, const QVector<qint16> &samples, double scale)
{
    QByteArray data = QByteArray(440, '\0') + littleEndian(count) + QByteArray(76, '\0')
        + littleEndian(step) + QByteArray(172, '\0');
    for (qint16 s : samples)
        data += littleEndian(s);
    return data + littleEndian(scale) + QByteArray(72, '\0');
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestFileDataProvider : public QObject
{
    Q_OBJECT

private slots:
    // Each file of the corpus gives an exact signal sequence, result and set of raw samples.
    void corpus_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<bool>("result");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("rows");

        const QStringList good {"started", "finished"};
        const QStringList bad {"started", "error Error in %1", "finished"};
        const QString profileRows = QStringLiteral("0 1.5;0.25 -2;0.5 100000.5");
        for (const char *name :
             {"profile.txt", "profile_crlf.txt", "profile_bom.txt", "profile_bom_crlf.txt"})
            QTest::newRow(name) << name << "profile" << good << true << 2 << profileRows;
        QTest::newRow("missing keys") << "profile_missing_keys.txt"
                                      << "profile" << good << true << 2 << "1 2;3 4";
        QTest::newRow("point_count below rows") << "profile_more_rows_than_count.txt"
                                                << "profile" << good << true << 2 << "1 1;2 2;3 3";
        // A file cut short: the rows present stay, but the read fails.
        QTest::newRow("point_count above rows") << "profile_fewer_rows_than_count.txt"
                                                << "profile" << bad << false << 2 << "1 1;2 2;3 3";
        QTest::newRow("point_count beyond the int range") << "profile_point_count_beyond_int.txt"
                                                          << "profile" << bad << false << 2 << "";
        QTest::newRow("no point_count: rows up to a blank line")
            << "profile_no_point_count.txt"
            << "profile" << good << true << 2 << "1 1;2 2";
        QTest::newRow("decimal comma ends the row")
            << "profile_decimal_comma.txt"
            << "profile" << good << true << 2 << "1 2;3.5 0";
        QTest::newRow("blanks and unknown keys") << "profile_unknown_keys.txt"
                                                 << "profile" << good << true << 2 << "7 8";
        QTest::newRow("nan in a row") << "profile_nan.txt"
                                      << "profile" << bad << false << 2 << "1 1";
        QTest::newRow("inf in the header") << "profile_inf_header.txt"
                                           << "profile" << bad << false << 2 << "";
        QTest::newRow("header names the other class")
            << "profile_wrong_class.txt"
            << "profile" << QStringList {"started", "error Wrong trace type in %1", "finished"}
            << false << 2 << "";
        QTest::newRow("additional-trace file read as a profile")
            << "additional_trace.txt"
            << "profile" << good << true << 3 << "1 2;3 4";
        QTest::newRow("contour") << "contour.txt"
                                 << "contour" << good << true << 0 << "10 2 500;11 -3 400";
        QTest::newRow("contourprof, blanks around key and word")
            << "contourprof_blanks.txt"
            << "contour" << good << true << 1 << "1 2 3";
        QTest::newRow("type word without key goes to the column reader")
            << "type_word_only.txt"
            << "contour" << bad << false << 0 << "";
        QTest::newRow("columns: consecutive repeats skipped")
            << "columns_duplicates.txt"
            << "contour" << good << true << 0 << "1 2 3;2 7 8;1 7 8";
        QTest::newRow("columns into a profile trace")
            << "columns_duplicates.txt"
            << "profile" << good << true << 2 << "1 2;2 7;1 7";
        QTest::newRow("columns: blank lines skipped")
            << "columns_blank_lines.txt"
            << "contour" << good << true << 0 << "0 1 0;1 2 0;2 3 0";
        QTest::newRow("columns: header words") << "columns_words.txt"
                                               << "contour" << bad << false << 0 << "";
        QTest::newRow("columns: word in a later line")
            << "columns_word_later.txt"
            << "contour" << bad << false << 0 << "1 2 0;2 3 0";
        QTest::newRow("columns: nan") << "columns_nan.txt"
                                      << "contour" << bad << false << 0 << "1 2 0";
        // A file without a single sample is no trace.
        QTest::newRow("empty file") << "empty.txt"
                                    << "contour" << bad << false << 0 << "";
        QTest::newRow("blank lines alone") << "blank_lines_only.txt"
                                           << "contour" << bad << false << 0 << "";
        QTest::newRow("columns: two and four numbers, BOM, CRLF")
            << "columns_two_and_four.txt"
            << "contour" << good << true << 0 << "1 2 0;2 3 4";
        const QString t46Rows = QStringLiteral("0 1 0;0.5 -1 0;1 0 0");
        QTest::newRow("T46") << "contour_n3.T46"
                             << "contour" << good << true << 0 << t46Rows;
        QTest::newRow("T46 N = 0") << "contour_n0.T46"
                                   << "contour" << bad << false << 0 << "";
        QTest::newRow("T46 with bytes after its layout")
            << "contour_overlong.T46"
            << "contour" << good << true << 0 << t46Rows;
        QTest::newRow("T46 truncated") << "contour_truncated.T46"
                                       << "contour" << bad << false << 0 << "";
        QTest::newRow("T46 count beyond the file") << "contour_count_beyond_file.T46"
                                                   << "contour" << bad << false << 0 << "";
        QTest::newRow("T46 negative count") << "contour_negative_count.T46"
                                            << "contour" << bad << false << 0 << "";
        QTest::newRow("T46 nan step") << "contour_nan_step.T46"
                                      << "contour" << bad << false << 0 << "";
        QTest::newRow("T46 profile trace gets X and Y")
            << "contour_n3.T46"
            << "profile" << good << true << 2 << "0 1;0.5 -1;1 0";
        QTest::newRow("lower-case .t46 goes to the column reader")
            << "contour_n3_lower_case.t46"
            << "contour" << bad << false << 0 << "";
        QTest::newRow("missing file")
            << "no_such_file.txt"
            << "profile" << QStringList {"started", "error Can't open file ", "finished"} << false
            << 2 << "";
    }
    void corpus()
    {
        QFETCH(QString, file);
        QFETCH(QString, kind);
        QFETCH(QStringList, events);
        QFETCH(bool, result);
        QFETCH(int, type);
        QFETCH(QString, rows);

        const QString path = fixture(file);
        std::unique_ptr<AbstractTrace> trace = makeTrace(kind);
        AdditionalTraceCleanup cleanup(trace.get());
        bool lastResult = !result;
        const QStringList received = readThroughProvider(path, *trace, &lastResult);
        for (QString &event : events)
            event = event.arg(path);
        QCOMPARE(received, events);
        QCOMPARE(lastResult, result);
        QCOMPARE(trace->type, type);
        QCOMPARE(rowsText(*trace->rawData), rows);
        QCOMPARE(trace->name(), QFileInfo(path).fileName());
    }

    void nativeHeaderValues()
    {
        ProfileTrace profile;
        QCOMPARE(readThroughProvider(fixture("profile_bom_crlf.txt"), profile),
                 QStringList({"started", "finished"}));
        QCOMPARE(profile.speed, 0.5);
        QCOMPARE(profile.filterLength, 800.0);
        QCOMPARE(profile.controllerName, QStringLiteral("Иванов"));
        QCOMPARE(profile.creationDate, QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
        QCOMPARE(profile.filePath(), fixture("profile_bom_crlf.txt"));

        ContourTrace contour;
        readThroughProvider(fixture("contour.txt"), contour);
        QCOMPARE(contour.needlePressing, MovementSettings::E_PRESSING_UP);
        QCOMPARE(contour.toolHeadRadiusDown, 25.5);
        QCOMPARE(contour.toolHeadRadiusUp, 19.0);
        QCOMPARE(contour.doubleSidedProbeHigh, 22.125);
        QCOMPARE(contour.needleBias, 0.01);
        QCOMPARE(contour.rackPerpendicular, 0.5);
        QCOMPARE(contour.xAxisCompressionRatio, 1.001);
        QCOMPARE(contour.yAxisCompressionRatio, 0.999);
        QCOMPARE(contour.displacementCoefficient, 0.0002);
        QCOMPARE(contour.roughnessRatio, 6.2);
        QCOMPARE(contour.measurementMode, 2);
        QCOMPARE(contour.controllerName, QStringLiteral("no name"));
        QCOMPARE(contour.creationDate, QDateTime(QDate(2025, 12, 31), QTime(23, 59, 59)));

        ContourTrace pressedDown;
        readThroughProvider(fixture("contourprof_blanks.txt"), pressedDown);
        QCOMPARE(pressedDown.needlePressing, MovementSettings::E_PRESSING_DOWN);
    }

    // Missing header keys take the settings of the moment of reading.
    void nativeDefaultsFromSettings()
    {
        testsupport::ScratchDir scratch;
        Settings::modify([](Settings &s) {
            s.movement.current_speed = 3;
            s.device.spinbox_filter_length_index = 2;
            s.movement.needle_pressing = MovementSettings::E_PRESSING_UP;
            s.calibration.tool_head_radius_down = 12.345678901;
            s.device.measurement_mode = 3;
        });
        ProfileTrace profile;
        readThroughProvider(fixture("profile_missing_keys.txt"), profile);
        QCOMPARE(profile.speed, 1.0);
        QCOMPARE(profile.filterLength, 800.0);
        QCOMPARE(profile.controllerName, QStringLiteral("no name"));
        QCOMPARE(profile.creationDate, QDateTime(QDate(1970, 1, 1), QTime(0, 0, 0)));

        ContourTrace contour;
        readThroughProvider(fixture("contourprof_blanks.txt"), contour);
        QCOMPARE(contour.toolHeadRadiusDown, 12.345678901);
        QCOMPARE(contour.measurementMode, 3);

        // A filter index that went out of range is held to the table.
        Settings::modify([](Settings &s) { s.device.spinbox_filter_length_index = 7; });
        ProfileTrace clamped;
        readThroughProvider(fixture("profile_missing_keys.txt"), clamped);
        QCOMPARE(clamped.filterLength, 80.0);
        testsupport::resetSettings();
    }

    void additionalTraces()
    {
        ProfileTrace main;
        AdditionalTraceCleanup cleanup(&main);
        const QString path = fixture("profile_two_additional.txt");
        QCOMPARE(readThroughProvider(path, main), QStringList({"started", "finished"}));
        QCOMPARE(rowsText(*main.rawData), QStringLiteral("0 10;1 11"));
        QCOMPARE(main.additionalTraces.size(), 2);
        const QStringList expected {"0 20;1 21;2 22", "0 30;1 31;2 32;3 33"};
        const QVector<QDateTime> dates {QDateTime(QDate(2023, 2, 1), QTime(10, 20, 30)),
                                        QDateTime(QDate(2023, 2, 1), QTime(10, 40, 50))};
        for (int i = 0; i < 2; ++i) {
            const ProfileTrace *child = main.additionalTraces.at(i);
            QCOMPARE(rowsText(*child->rawData), expected.at(i));
            QCOMPARE(child->type, int(ADDITIONAL_TRACE));
            // Each trace was recorded at its own time.
            QCOMPARE(child->creationDate, dates.at(i));
            // The family's speed, cut-off and controller: the main header's, not the block's.
            QCOMPARE(child->speed, 0.75);
            QCOMPARE(child->filterLength, 2500.0);
            QCOMPARE(child->controllerName, QStringLiteral("Петров"));
            QCOMPARE(child->name(), path);
            QCOMPARE(child->filePath(), path);
            QCOMPARE(child->parentTrace, &main);
        }
    }

    // A block with point_count 0 ends at that line. A file that ends before the blocks its count
    // promises was cut short: the read fails with the blocks present. A count beyond what a file
    // may hold is refused before any trace is made; so is a block whose rows are cut short.
    void additionalTraceBlockBoundaries_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("good");
        QTest::addColumn<QStringList>("children");
        QTest::newRow("empty block")
            << "profile_empty_additional.txt" << true << QStringList {"", "5 6;7 8"};
        QTest::newRow("count beyond the blocks")
            << "profile_missing_additional.txt" << false << QStringList {"", "5 6;7 8"};
        QTest::newRow("damaged count")
            << "profile_huge_additional_count.txt" << false << QStringList {};
        QTest::newRow("block cut short")
            << "profile_additional_cut_short.txt" << false << QStringList {"5 6", "1 2"};
    }
    void additionalTraceBlockBoundaries()
    {
        QFETCH(QString, file);
        QFETCH(bool, good);
        QFETCH(QStringList, children);
        ProfileTrace main;
        AdditionalTraceCleanup cleanup(&main);
        bool result = !good;
        const QStringList events = readThroughProvider(fixture(file), main, &result);
        QCOMPARE(events,
                 good ? QStringList({"started", "finished"})
                      : QStringList({"started", "error Error in " + fixture(file), "finished"}));
        QCOMPARE(result, good);
        QStringList got;
        for (const ProfileTrace *child : qAsConst(main.additionalTraces))
            got << rowsText(*child->rawData);
        QCOMPARE(got, children);
    }

    // Each additional trace gets the post-processors the settings name, in chain order, with the
    // cut-off of its file (not the setting's); a band filter's class decides between roughness
    // and waviness. The thread-angle compensation never scales a profile trace.
    void additionalTraceChains_data()
    {
        QTest::addColumn<bool>("median");
        QTest::addColumn<bool>("angle");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("waviness");
        QTest::newRow("defaults") << false << false << 0 << QStringList {"YZeronator"} << false;
        QTest::newRow("all, roughness")
            << true << true << 1 << QStringList {"Median5", "Filter 2500", "YZeronator"} << false;
        QTest::newRow("waviness") << false << false << 2
                                  << QStringList {"Filter 2500", "YZeronator"} << true;
    }
    void additionalTraceChains()
    {
        QFETCH(bool, median);
        QFETCH(bool, angle);
        QFETCH(int, mode);
        QFETCH(QStringList, names);
        QFETCH(bool, waviness);
        testsupport::ScratchDir scratch;
        Settings::modify([&](Settings &s) {
            s.preferences.meadian_filter = median;
            s.preferences.meadian_filter_value = 5;
            s.preferences.thread_angle_compensation = angle;
            s.preferences.thread_angle_compensation_value = 60;
            s.preferences.profile_filter_mode = mode;
            s.device.spinbox_filter_length_index = 2;
        });
        ProfileTrace main;
        AdditionalTraceCleanup cleanup(&main);
        readThroughProvider(fixture("profile_two_additional.txt"), main);
        // The main trace keeps the chain its creator gave it.
        QVERIFY(main.postProcessors.isEmpty());
        QCOMPARE(main.additionalTraces.size(), 2);
        for (const ProfileTrace *child : qAsConst(main.additionalTraces)) {
            QStringList got;
            for (const IDataPostProcessor *processor : child->postProcessors)
                got << processor->name;
            QCOMPARE(got, names);
            QCOMPARE(child->medianEnabled, median);
            QCOMPARE(child->medianWindow, 5);
            if (mode != 0) {
                const IDataPostProcessor *filter = child->postProcessors.at(names.size() - 2);
                QCOMPARE(dynamic_cast<const FilterWaveProfileProcessor *>(filter) != nullptr,
                         waviness);
            }
        }
        testsupport::resetSettings();
    }

    // Samples of every contour format pass through the contour point conversion; with the
    // default calibration it adds the console height / 1000 to Y.
    void contourReadersConvertSamples_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("converted");
        QTest::newRow("native") << "contour.txt"
                                << "10 2.5 500;11 -2.6 400";
        QTest::newRow("columns") << "columns_duplicates.txt"
                                 << "1 2.003 3;2 7.008 8;1 7.008 8";
        QTest::newRow("T46") << "contour_n3.T46"
                             << "0 1 0;0.5 -1 0;1 0 0";
    }
    void contourReadersConvertSamples()
    {
        QFETCH(QString, file);
        QFETCH(QString, converted);
        ContourTrace trace;
        // A point processor the trace brought with it is dropped by the provider.
        trace.addPointProcessor(new ContourConversionPointProcessor);
        readThroughProvider(fixture(file), trace);
        QCOMPARE(trace.pointProcessors.size(), 1);
        QCOMPARE(rowsText(*trace.convertedData), converted);
    }

    // Batches are announced for every full 500 samples of the main trace, never for the rest.
    void batchesOfFiveHundred_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("samples");

        QByteArray native = "trace_type:PROFILE\naddittional_trace_count:1\npoint_count:1210\n";
        QByteArray columns;
        QVector<qint16> binary;
        for (int i = 0; i < 1210; ++i) {
            native += QByteArray::number(i) + "\t" + QByteArray::number(i * 0.5) + "\t\n";
            columns += QByteArray::number(i) + " " + QByteArray::number(-i) + "\n";
            binary << qint16(i);
        }
        native += "trace_type:ADDITIONAL_TRACE\npoint_count:600\n";
        for (int i = 0; i < 600; ++i)
            native += "1\t2\t\n";
        QTest::newRow("native") << "big.txt" << native << 1210;
        QTest::newRow("columns") << "big.dat" << columns << 1210;
        QTest::newRow("T46") << "big.T46" << binaryContour(1210, 1.0, binary, 1.0) << 1210;
        QTest::newRow("exactly 1000")
            << "thousand.T46" << binaryContour(1000, 1.0, binary.mid(0, 1000), 1.0) << 1000;
    }
    void batchesOfFiveHundred()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(int, samples);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        writeBytes(path, content);
        std::unique_ptr<AbstractTrace> trace = makeTrace(name == "big.txt" ? "profile" : "contour");
        AdditionalTraceCleanup cleanup(trace.get());
        QCOMPARE(readThroughProvider(path, *trace),
                 QStringList({"started", "batch 0 500", "batch 500 500", "finished"}));
        QCOMPARE(trace->rawData->at(0).size(), samples);
    }

    void logLines_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("lines");
        const QString missing = fixture("no_such_file.txt");
        QTest::newRow("missing file")
            << missing
            << QStringList {"INFO: FileDataProvider obtain data from " + missing,
                            "ERROR: Can't open file " + missing};
        const QString empty = fixture("contour_n0.T46");
        QTest::newRow("T46 without samples")
            << empty
            << QStringList {"INFO: FileDataProvider obtain data from " + empty,
                            "INFO: Open file " + empty,
                            "ERROR: Error in " + empty + ": no samples"};
        const QString words = fixture("columns_words.txt");
        QTest::newRow("column file with words")
            << words
            << QStringList {"INFO: FileDataProvider obtain data from " + words,
                            "INFO: Open file " + words, "ERROR: Error in " + words};
        const QString truncated = fixture("contour_truncated.T46");
        QTest::newRow("truncated T46")
            << truncated
            << QStringList {"INFO: FileDataProvider obtain data from " + truncated,
                            "INFO: Open file " + truncated,
                            "ERROR: Error in " + truncated + ": 785 bytes, 3 samples need 786"};
    }
    void logLines()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, lines);
        LogWatch watch;
        ContourTrace trace;
        readThroughProvider(file, trace);
        QCOMPARE(watch.lines(), lines);
    }

    // Native files of all four kinds and the export read back exactly what was written.
    void writeReadRoundTrip_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("PROFILE") << int(PROFILE);
        QTest::newRow("ADDITIONAL_TRACE") << int(ADDITIONAL_TRACE);
        QTest::newRow("CONTOUR") << int(CONTOUR);
        QTest::newRow("CONTOURPROF") << int(CONTOURPROF);
    }
    void writeReadRoundTrip()
    {
        QFETCH(int, type);
        const bool isProfile = type == PROFILE || type == ADDITIONAL_TRACE;
        std::unique_ptr<AbstractTrace> source = makeTrace(isProfile ? "profile" : "contour");
        source->setType(type);
        source->controllerName = QStringLiteral("Сидоров А.");
        source->creationDate = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5));
        const double awkward[]
            = {100000.5, 0.1, 1e-5, 12.3456789, -2.5e6, 1.0 / 3.0, 123456789.123456789, 5e-324};
        QVector<double> sample(source->rawData->size());
        for (int i = 0; i < 8; ++i) {
            for (int c = 0; c < sample.size(); ++c)
                sample[c] = awkward[(i + c) % 8] * (c + 1);
            source->appendPoint(sample);
        }
        ProfileTrace child;
        child.setType(ADDITIONAL_TRACE);
        QVector<double> childSample {1.0 / 7.0, 2.0 / 3.0};
        child.appendPoint(childSample);
        if (type == PROFILE) {
            auto *profile = static_cast<ProfileTrace *>(source.get());
            profile->speed = 0.1 + 0.2;
            profile->filterLength = 2500;
            profile->addAdditionalTrace(&child);
        } else if (!isProfile) {
            auto *contour = static_cast<ContourTrace *>(source.get());
            contour->needlePressing = MovementSettings::E_PRESSING_UP;
            contour->toolHeadRadiusDown = 1.0 / 3.0;
            contour->xAxisCompressionRatio = 1.0000123456789;
            contour->measurementMode = 2;
        }

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("trace.txt"));
        QVERIFY(writeTraceFile(path, source.get()));
        std::unique_ptr<AbstractTrace> back = makeTrace(isProfile ? "profile" : "contour");
        AdditionalTraceCleanup cleanup(back.get());
        bool result = false;
        QCOMPARE(readThroughProvider(path, *back, &result), QStringList({"started", "finished"}));
        QVERIFY(result);
        QCOMPARE(back->type, type);
        QCOMPARE(*back->rawData, *source->rawData);
        QCOMPARE(back->controllerName, source->controllerName);
        QCOMPARE(back->creationDate, source->creationDate);
        if (type == PROFILE) {
            auto *profile = static_cast<ProfileTrace *>(back.get());
            QCOMPARE(profile->speed, 0.1 + 0.2);
            QCOMPARE(profile->additionalTraces.size(), 1);
            QCOMPARE(*profile->additionalTraces.at(0)->rawData, *child.rawData);
        } else if (!isProfile) {
            auto *contour = static_cast<ContourTrace *>(back.get());
            QCOMPARE(contour->needlePressing, MovementSettings::E_PRESSING_UP);
            QCOMPARE(contour->toolHeadRadiusDown, 1.0 / 3.0);
            QCOMPARE(contour->xAxisCompressionRatio, 1.0000123456789);
            QCOMPARE(contour->measurementMode, 2);
        }

        // The export of the processed X and Y reads back as columns with a third channel of 0.
        const QString exported = dir.filePath(QStringLiteral("points.dat"));
        QVERIFY(writeColumnsExport(exported, source.get()));
        ContourTrace columns;
        QCOMPARE(readThroughProvider(exported, columns), QStringList({"started", "finished"}));
        QCOMPARE(columns.rawData->at(0), source->processedData->at(0));
        QCOMPARE(columns.rawData->at(1), source->processedData->at(1));
        QCOMPARE(columns.rawData->at(2), QVector<double>(8, 0.0));
    }

    // Hostile and damaged files: each is refused with a clear error in bounded time and memory,
    // and the program goes on. The long ones are sparse files, so they cost no disk.
    void hostileFilesAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("logTail");

        const qint64 huge = (qint64(5) << 30) / 2;
        // The column reader's error line names the file only.
        QTest::newRow("columns, 2.5 GiB line")
            << "zeros.txt" << QByteArray("1 2 ") << huge << QString();
        QTest::newRow("native, 2.5 GiB header value")
            << "value.txt" << QByteArray("trace_type:PROFILE\ncontroler_name:") << huge
            << "line 2 longer than 1048576 bytes";
        QTest::newRow("native, header line one byte over")
            << "header.txt"
            << "trace_type:PROFILE\nk:" + QByteArray(kMaxHeaderLineLength - 1, 'v') + "\n"
            << qint64(0) << "header line 2 longer than 65536 bytes";
        QByteArray longRow = "trace_type:CONTOUR\npoint_count:3\n1 2 3\n";
        for (int i = 0; longRow.size() < (3 << 20); ++i)
            longRow += "4 ";
        QTest::newRow("native, 3 MiB row")
            << "row.txt" << longRow << qint64(0) << "line 4 longer than 1048576 bytes";
    }

    void hostileFilesAreRefused()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, head);
        QFETCH(qint64, size);
        QFETCH(QString, logTail);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(head), qint64(head.size()));
            if (size > 0)
                QVERIFY(file.resize(size));
        }
        LogWatch watch;
        QElapsedTimer timer;
        timer.start();
        std::unique_ptr<AbstractTrace> trace
            = makeTrace(head.contains("PROFILE") ? "profile" : "contour");
        AdditionalTraceCleanup cleanup(trace.get());
        bool result = true;
        const QStringList events = readThroughProvider(path, *trace, &result);
        QVERIFY(!result);
        QCOMPARE(events, (QStringList {"started", "error Error in " + path, "finished"}));
        const QString logLine = "ERROR: Error in " + path;
        QVERIFY2(watch.lines().contains(logTail.isEmpty() ? logLine : logLine + ": " + logTail),
                 qPrintable(watch.lines().join('\n')));
        // Generous: the refusal comes after at most a few megabytes.
        QVERIFY2(timer.elapsed() < 15000, qPrintable(QString::number(timer.elapsed())));
    }

    // What is not a regular file is never read: a FIFO would block the read for good, beyond
    // the reach of cancel, and a device may never end.
    void onlyRegularFilesAreRead_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("FIFO") << true;
        QTest::newRow("character device") << false;
    }

    void onlyRegularFilesAreRead()
    {
        QFETCH(bool, fifo);
        QTemporaryDir dir;
        const QString path
            = fifo ? dir.filePath(QStringLiteral("pipe.txt")) : QStringLiteral("/dev/zero");
        if (fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        LogWatch watch;
        ContourTrace trace;
        auto provider = std::make_unique<FileDataProvider>(path);
        testsupport::ProviderSignalLog<DataProvider> log(*provider);
        provider->start(&trace);
        const bool finished = QTest::qWaitFor([&log] { return log.finished; }, 10000);
        // A reader stuck in the FIFO is let go by writers that come and leave, until the
        // provider is gone.
        std::atomic<bool> done {false};
        std::thread releaser;
        if (!finished && fifo) {
            releaser = std::thread([&done, &path] {
                while (!done) {
                    const int writer
                        = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
                    if (writer >= 0)
                        ::close(writer);
                    QThread::msleep(20);
                }
            });
        }
        provider.reset();
        done = true;
        if (releaser.joinable())
            releaser.join();
        QVERIFY(finished);
        QCOMPARE(log.events, (QStringList {"started", "error Can't open file ", "finished"}));
        QVERIFY(watch.lines().contains("ERROR: Can't open file " + path + ": not a regular file"));
    }

    // A trace read sample by sample holds about the size of its samples, not the room its data
    // sets grew into.
    void memoryPerSampleIsTheSamplesOwn_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("head");
        QTest::newRow("number columns") << "contour" << QByteArray();
        QTest::newRow("native without point_count")
            << "profile" << QByteArray("trace_type:PROFILE\nspeed:1\nfilter:80\n");
    }

    void memoryPerSampleIsTheSamplesOwn()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, head);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("samples.txt"));
        const int count = 300001;
        QByteArray content = head;
        for (int i = 0; i < count; ++i)
            content += QByteArray::number(i) + "\t" + QByteArray::number(i % 89) + "\t\n";
        writeBytes(path, content);
        std::unique_ptr<AbstractTrace> trace = makeTrace(kind);
        AdditionalTraceCleanup cleanup(trace.get());
        bool result = false;
        readThroughProvider(path, *trace, &result);
        QVERIFY(result);
        QCOMPARE(trace->rawData->at(0).size(), count);
        qint64 held = 0;
        qint64 own = 0;
        for (const TData *set : {trace->rawData, trace->convertedData, trace->processedData}) {
            for (const QVector<double> &channel : *set) {
                held += qint64(channel.capacity()) * qint64(sizeof(double));
                own += qint64(channel.size()) * qint64(sizeof(double));
            }
        }
        QVERIFY2(
            held <= own + own / 10,
            qPrintable(QStringLiteral("%1 bytes held for %2 bytes of samples").arg(held).arg(own)));
    }
};

QTEST_GUILESS_MAIN(TestFileDataProvider)
#include "tst_FileDataProvider.moc"
