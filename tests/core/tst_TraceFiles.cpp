#include "core/ContourTrace.h"
#include "core/Logger.h"
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "core/TraceFileReader.h"
#include "core/TraceFileWriter.h"
#include "support/TestSupport.h"
#include "support/TestTraces.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>

namespace {

QByteArray writtenBlock(const AbstractTrace &trace)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writePointBlock(&buffer, &trace);
    return buffer.data();
}

void append(AbstractTrace &trace, QVector<double> sample)
{
    trace.appendPoint(sample);
}

TraceReadResult readNative(const QByteArray &content, AbstractTrace &trace)
{
    QBuffer buffer;
    buffer.setData(content);
    buffer.open(QIODevice::ReadOnly);
    return readNativeTrace(buffer, QStringLiteral("mem.txt"), trace, Settings::snapshot(), {});
}

TraceReadResult readColumns(const QByteArray &content, AbstractTrace &trace)
{
    QBuffer buffer;
    buffer.setData(content);
    buffer.open(QIODevice::ReadOnly);
    return readNumberColumns(buffer, trace, Settings::snapshot(), {});
}

// How QTextStream reads `count` doubles from a row, stopping at the first token that is not a
// number (it and everything after it read as 0).
QVector<double> textStreamRow(const QByteArray &row, int count)
{
    QVector<double> values(count, 0.0);
    QTextStream stream(row);
    for (int c = 0; c < count; ++c) {
        double value = 0.0;
        stream >> value;
        if (stream.status() != QTextStream::Ok)
            break;
        values[c] = value;
    }
    return values;
}

template<typename T>
QByteArray littleEndian(T value)
{
    const T stored = qToLittleEndian(value);
    return QByteArray(reinterpret_cast<const char *>(&stored), int(sizeof stored));
}

QVector<double> firstSample(const AbstractTrace &trace)
{
    QVector<double> sample;
    for (const QVector<double> &channel : *trace.rawData)
        sample << (channel.isEmpty() ? std::nan("") : channel.at(0));
    return sample;
}

} // namespace

class TestTraceFiles : public QObject
{
    Q_OBJECT

private slots:
    void profileFileText()
    {
        ProfileTrace trace;
        trace.setType(PROFILE);
        trace.speed = 0.5;
        trace.filterLength = 800;
        // A line break in a free text would end the header early.
        trace.controllerName = QStringLiteral("Иванов\nИ.");
        trace.creationDate = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9));
        append(trace, {100000.5, 12.3456789});
        append(trace, {1e-5, -2.5e6});
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.txt"));
        QVERIFY(writeTraceFile(path, &trace));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()),
                 QStringLiteral("trace_type:PROFILE\nspeed:0.5\nfilter:800\n"
                                "controler_name:Иванов И.\ncreation_date:05-03-2024 14:07:09\n"
                                "addittional_trace_count:0\npoint_count:2\n"
                                "100000.5\t12.3456789\t\n1e-05\t-2500000\t\n"));
    }

    void contourHeaderText()
    {
        ContourTrace trace;
        trace.setType(CONTOURPROF);
        trace.needlePressing = MovementSettings::E_PRESSING_DOWN;
        trace.toolHeadRadiusDown = 20;
        trace.toolHeadRadiusUp = 1.0 / 3.0;
        trace.measurementMode = 3;
        trace.controllerName = QStringLiteral("no name");
        trace.creationDate = QDateTime();
        QCOMPARE(traceHeaderText(&trace),
                 QStringLiteral("trace_type:CONTOURPROF\nneedle_pressing:d\n"
                                "tool_head_radius_down:20\n"
                                "tool_head_radius_up:0.3333333333333333\n"
                                "double_sided_probe_high:0\nneedle_bias:0\n"
                                "rack_perpendicular:0\nx_axis_compression_ratio:1\n"
                                "y_axis_compression_ratio:1\ndisplacement_coefficient:0\n"
                                "roughness_ratio:0\nmeasurement_mode:3\n"
                                "controler_name:no name\ncreation_date:\n"));
        append(trace, {1, 2, 3});
        QCOMPARE(writtenBlock(trace), QByteArray("point_count:1\n1\t2\t3\t\n"));
    }

    // The export writes processed X and Y only, shortest exact text.
    void columnsExportText()
    {
        ContourTrace trace;
        append(trace, {0.1, 0.2, 500});
        append(trace, {100000.5, -1e-7, 400});
        append(trace, {3, 4, 300});
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        writeColumnsPoints(&buffer, &trace);
        QCOMPARE(buffer.data(), QByteArray("0.1\t0.2\t\n100000.5\t-1e-07\t\n3\t4\t\n"));
    }

    // The writers' number text is exactly traceNumberText over every kind of double.
    void fastNumberTextEqualsTraceNumberText()
    {
        std::mt19937_64 random(777);
        std::uniform_int_distribution<int> exponent(-330, 310);
        std::uniform_real_distribution<double> mantissa(1.0, 10.0);
        std::uniform_int_distribution<std::uint64_t> bits;
        QVector<double> values {0.0,
                                -0.0,
                                1.0,
                                -1.0,
                                100000.5,
                                1e-5,
                                1e-4,
                                0.0001234,
                                2.5e6,
                                3e5,
                                1e15,
                                1e16,
                                1e21,
                                1e100,
                                5e-324,
                                1.7976931348623157e308,
                                0.1 + 0.2,
                                1.0 / 3.0,
                                123456789012.0,
                                12345678901234567890.0,
                                std::nan(""),
                                HUGE_VAL,
                                -HUGE_VAL};
        for (int i = 0; i < 200000; ++i) {
            const double magnitude = mantissa(random) * std::pow(10.0, exponent(random));
            values << (i % 2 ? magnitude : -magnitude);
            values << std::round(magnitude) << std::round(mantissa(random) * 1e6) / 1e3;
            double raw;
            const std::uint64_t pattern = bits(random);
            std::memcpy(&raw, &pattern, sizeof raw);
            values << raw;
        }
        for (int e = -330; e <= 310; ++e) {
            values << std::pow(10.0, e) << 3 * std::pow(10.0, e) << 25 * std::pow(10.0, e)
                   << 123456 * std::pow(10.0, e);
        }
        for (double value : qAsConst(values)) {
            QByteArray fast;
            appendTraceNumber(fast, value);
            if (fast != traceNumberText(value).toLatin1()) {
                QFAIL(qPrintable(QStringLiteral("%1: %2 instead of %3")
                                     .arg(value, 0, 'g', 17)
                                     .arg(QString::fromLatin1(fast), traceNumberText(value))));
            }
        }
    }

    void failedWriteIsReported()
    {
        ProfileTrace trace;
        QVERIFY(!writeTraceFile(QStringLiteral("/nonexistent-dir/trace.txt"), &trace));
        QVERIFY(!writeColumnsExport(QStringLiteral("/nonexistent-dir/points.txt"), &trace));
    }

    // A failed save leaves the previous file as it was.
    void existingFileIsReplacedWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.txt"));
        ProfileTrace trace;
        trace.setType(PROFILE);
        append(trace, {1, 2});
        QVERIFY(writeTraceFile(path, &trace));
        append(trace, {3, 4});
        QVERIFY(writeTraceFile(path, &trace));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().endsWith("point_count:2\n1\t2\t\n3\t4\t\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList {"t.txt"});
    }

    // A save that cannot be written whole (here the file size limit of the process) reports the
    // failure, logs it and leaves the previous file as it was, without a temporary file. The
    // limit applies to the log as well, so it stays above the log's size.
    void failedSaveKeepsThePreviousFile_data()
    {
        QTest::addColumn<bool>("native");
        QTest::addColumn<int>("samples");
        QTest::addColumn<qint64>("limit");
        // A small file is written from the write buffer only when it is committed.
        QTest::newRow("native, buffered") << true << 300 << qint64(4096);
        QTest::newRow("native, first chunk") << true << 40000 << qint64(4096);
        QTest::newRow("native, later chunk") << true << 40000 << qint64(3 * 65536 + 1234);
        QTest::newRow("export, buffered") << false << 300 << qint64(4096);
        QTest::newRow("export, first chunk") << false << 40000 << qint64(4096);
        QTest::newRow("export, later chunk") << false << 40000 << qint64(3 * 65536 + 1234);
    }

    void failedSaveKeepsThePreviousFile()
    {
        QFETCH(bool, native);
        QFETCH(int, samples);
        QFETCH(qint64, limit);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.txt"));
        const auto save = [native, &path](const ProfileTrace &trace) {
            return native ? writeTraceFile(path, &trace) : writeColumnsExport(path, &trace);
        };
        ProfileTrace previous;
        previous.setType(PROFILE);
        append(previous, {1, 2});
        QVERIFY(save(previous));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        ProfileTrace large;
        large.setType(PROFILE);
        for (int i = 0; i < samples; ++i)
            append(large, {i + 1.0 / 3.0, std::sin(i) * 1000});
        const testsupport::ChildResult result
            = testsupport::runWithFileSizeLimit(limit, [&] { return save(large); });
        QCOMPARE(int(result), int(testsupport::ChildResult::False));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList {"t.txt"});
        QFile log(QString::fromStdString(logger.filePath()));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains(("ERROR: Can't write file " + path).toUtf8()));
        // Without the limit the same save goes through.
        QVERIFY(save(large));
    }

    // Rows of native files are read as QTextStream reads them (first failing token ends the
    // row), only faster.
    void rowNumbersAsTextStream_data()
    {
        QTest::addColumn<QByteArray>("row");
        for (const char *row : {"1 2",
                                "1.5e3\t-2.25E-2",
                                "  +3  .5",
                                "1,5 2",
                                "12abc 3",
                                "1-2",
                                "5. 6",
                                "1e 2",
                                "1e+ 2",
                                ".e1 2",
                                "0x10 1",
                                "-0 0",
                                "1e308 -1e-308",
                                "12345678901234567890123 1",
                                "0.1000000000000000055511151231257827 3",
                                "4.9406564584124654e-324 1",
                                "1 2 3 4",
                                "",
                                "\t ",
                                "7",
                                "+-1 2",
                                "--1",
                                "1.2.3 4",
                                "1e5.5 3",
                                "e5 1",
                                "2 x",
                                "3\v4",
                                "1E+05 -.25",
                                "00012 0.000",
                                "- 5"})
            QTest::newRow(row) << QByteArray(row);
    }
    void rowNumbersAsTextStream()
    {
        QFETCH(QByteArray, row);
        ProfileTrace trace;
        QVERIFY(readNative("trace_type:PROFILE\npoint_count:1\n" + row + "\n", trace).ok());
        QCOMPARE(firstSample(trace), textStreamRow(row, 2));
    }

    void randomNumbersAsTextStream()
    {
        std::mt19937_64 random(12345);
        std::uniform_int_distribution<int> exponent(-300, 300);
        std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
        QByteArray content = "trace_type:PROFILE\npoint_count:3000\n";
        QVector<QByteArray> rows;
        for (int i = 0; i < 3000; ++i) {
            const double a = mantissa(random) * std::pow(10.0, exponent(random) / 10);
            const double b = mantissa(random);
            const char format = "gef"[i % 3];
            const QByteArray row = QByteArray::number(a, 'g', 17) + "\t"
                + QByteArray::number(b, format, i % 20) + "\t";
            rows << row;
            content += row + "\n";
        }
        ProfileTrace trace;
        QVERIFY(readNative(content, trace).ok());
        QCOMPARE(trace.rawData->at(0).size(), 3000);
        for (int i = 0; i < 3000; ++i) {
            const QVector<double> expected = textStreamRow(rows.at(i), 2);
            QCOMPARE(trace.rawData->at(0).at(i), expected.at(0));
            QCOMPARE(trace.rawData->at(1).at(i), expected.at(1));
        }
    }

    // A number that is not finite is refused in every format, also where QTextStream would give
    // one (nan, inf) and where it would give 0 (out of range).
    void nonFiniteNumbersAreErrors_data()
    {
        QTest::addColumn<QByteArray>("row");
        for (const char *row : {"nan 1", "1 inf", "-inf 2", "NaN 3", "1e999 1", "1 -1e400",
                                "1e-400 2", "infinite 3", "nano 3"})
            QTest::newRow(row) << QByteArray(row);
    }
    void nonFiniteNumbersAreErrors()
    {
        QFETCH(QByteArray, row);
        ProfileTrace native;
        const TraceReadResult result
            = readNative("trace_type:PROFILE\npoint_count:2\n5 5\n" + row + "\n", native);
        QCOMPARE(result.status, TraceReadResult::BadNumber);
        QCOMPARE(native.rawData->at(0), QVector<double>({5.0}));
        ContourTrace columns;
        QCOMPARE(readColumns("5 5\n" + row + "\n", columns).status, TraceReadResult::BadNumber);
        QCOMPARE(columns.rawData->at(0), QVector<double>({5.0}));
    }

    // Column files refuse any token that is not a number; missing trailing numbers are 0.
    void columnRows_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("samples");
        QTest::newRow("decimal comma") << QByteArray("1,5 2\n") << false << 0;
        QTest::newRow("trailing word") << QByteArray("1 2 x\n") << false << 0;
        QTest::newRow("fourth token ignored") << QByteArray("1 2 3 x\n") << true << 1;
        QTest::newRow("one number") << QByteArray("1\n2\n") << true << 2;
        QTest::newRow("no final line feed") << QByteArray("1 2\n2 3") << true << 2;
        QTest::newRow("only blank lines") << QByteArray("\n \r\n\t\n") << false << 0;
        QTest::newRow("NUL bytes") << QByteArray("1 2\n\0\0\n", 7) << false << 1;
    }
    void columnRows()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, ok);
        QFETCH(int, samples);
        ContourTrace trace;
        QCOMPARE(readColumns(content, trace).ok(), ok);
        QCOMPARE(trace.rawData->at(0).size(), samples);
        QCOMPARE(trace.type, int(CONTOUR));
    }

    void firstLineKinds_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("type");
        QTest::newRow("profile") << QByteArray("trace_type:PROFILE\n") << int(PROFILE);
        QTest::newRow("end of file") << QByteArray("trace_type:PROFILE") << int(PROFILE);
        QTest::newRow("CRLF") << QByteArray("trace_type:CONTOUR\r\nx") << int(CONTOUR);
        QTest::newRow("BOM and blanks")
            << QByteArray("\xEF\xBB\xBF trace_type : CONTOURPROF \n") << int(CONTOURPROF);
        QTest::newRow("additional")
            << QByteArray("trace_type:ADDITIONAL_TRACE\n") << int(ADDITIONAL_TRACE);
        QTest::newRow("UTF-16") << QByteArray("\xFF\xFEt\0r\0a\0c\0e\0_\0t\0y\0p\0e\0:\0P\0R\0O\0F"
                                              "\0I\0L\0E\0\n\0",
                                              40)
                                << int(PROFILE);
        QTest::newRow("lower case") << QByteArray("trace_type:profile\n") << -1;
        QTest::newRow("word alone") << QByteArray("PROFILE\n") << -1;
        QTest::newRow("other key") << QByteArray("type:PROFILE\n") << -1;
        QTest::newRow("empty") << QByteArray() << -1;
        QTest::newRow("numbers") << QByteArray("1 2 3\n") << -1;
        QTest::newRow("no line feed in a long file")
            << QByteArray("trace_type:PROFILE") + QByteArray(1 << 20, ' ') << int(PROFILE);
    }
    void firstLineKinds()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, type);
        QBuffer buffer(&content);
        buffer.open(QIODevice::ReadOnly);
        QCOMPARE(traceTypeOfFirstLine(buffer), type);
    }

    // Lines longer than the reader's chunk and files of many chunks are read whole.
    // Lines that cross the reader's 1 MiB chunks: a long header value right across the first
    // boundary, then rows over several chunks.
    void longLinesAndChunks()
    {
        QByteArray content = "trace_type:PROFILE\n";
        for (int i = 0; i < 1030; ++i)
            content += "k" + QByteArray::number(i) + ":" + QByteArray(1000, 'v') + "\n";
        QVERIFY(content.size() < (1 << 20));
        content += "unknown:" + QByteArray(kMaxHeaderLineLength - 8, 'a') + "\n";
        QVERIFY(content.size() > (1 << 20));
        content += "point_count:200000\n";
        for (int i = 0; i < 200000; ++i)
            content += QByteArray::number(i) + "\t" + QByteArray::number(i % 7) + "\t\n";
        ProfileTrace trace;
        QVERIFY(readNative(content, trace).ok());
        QCOMPARE(trace.rawData->at(0).size(), 200000);
        QCOMPARE(trace.rawData->at(0).last(), 199999.0);
        QCOMPARE(trace.rawData->at(1).last(), double(199999 % 7));
    }

    // The rows of the main block: point_count rows, or without the key the lines up to the first
    // blank one. A count of 0 or below takes none, whatever follows, and a main trace without a
    // sample is no trace: the file is refused as empty.
    void mainBlockRowCount_data()
    {
        QTest::addColumn<QByteArray>("countLine");
        QTest::addColumn<int>("samples");
        QTest::newRow("count 2") << QByteArray("point_count:2\n") << 2;
        QTest::newRow("count 0") << QByteArray("point_count:0\n") << 0;
        QTest::newRow("negative count") << QByteArray("point_count:-3\n") << 0;
        QTest::newRow("count not a number") << QByteArray("point_count:many\n") << 0;
        QTest::newRow("no count") << QByteArray() << 3;
        QTest::newRow("no count, a blank line first") << QByteArray("\n") << 0;
    }
    void mainBlockRowCount()
    {
        QFETCH(QByteArray, countLine);
        QFETCH(int, samples);
        ProfileTrace trace;
        const TraceReadResult result
            = readNative("trace_type:PROFILE\n" + countLine + "1 1\n2 2\n3 3\n\n4 4\n", trace);
        QCOMPARE(result.status, samples > 0 ? TraceReadResult::Ok : TraceReadResult::Empty);
        QCOMPARE(trace.rawData->at(0).size(), samples);
    }

    // Every file of the shared table of refused files is refused by the reader the file provider
    // chooses for it (by its type line, else by its extension), with the status that gives its
    // reason, and the trace keeps no additional trace.
    void refusedFilesThroughTheirReader_data() { testsupport::addBadTraceFileRows(); }
    void refusedFilesThroughTheirReader()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, kind);
        QFETCH(int, status);
        QFETCH(QString, suffix);
        std::unique_ptr<AbstractTrace> trace;
        if (kind == PROFILE)
            trace = std::make_unique<ProfileTrace>();
        else
            trace = std::make_unique<ContourTrace>();
        QBuffer buffer(&content);
        buffer.open(QIODevice::ReadOnly);
        const int type = traceTypeOfFirstLine(buffer);
        buffer.seek(0);
        const Settings settings = Settings::snapshot();
        TraceReadResult result;
        if (type >= 0)
            result = readNativeTrace(buffer, QStringLiteral("bad") + suffix, *trace, settings, {});
        else if (suffix == QLatin1String(".T46"))
            result = readBinaryContour(buffer, *trace, settings, {});
        else
            result = readNumberColumns(buffer, *trace, settings, {});
        if (auto *profile = dynamic_cast<ProfileTrace *>(trace.get()))
            qDeleteAll(profile->additionalTraces);
        QVERIFY2(!result.ok(), "read as a trace");
        QCOMPARE(int(result.status), status);
    }

    // The main header and every additional trace's block header are read by one rule: a key is
    // the text before the first ':' (a creation date keeps its time), blanks around key and
    // value do not count, a later line of a key wins, unknown keys and lines of several colons
    // are no harm, and the header ends with its point_count line or before its first row.
    void oneRuleForEveryHeader_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QString>("controller");
        const QDateTime date(QDate(2024, 3, 5), QTime(14, 7, 9));
        QTest::newRow("as written")
            << QByteArray("controler_name:Иванов\ncreation_date:05-03-2024 14:07:09\n") << date
            << "Иванов";
        QTest::newRow("blanks around the colon")
            << QByteArray("  controler_name : Иванов \n creation_date :  05-03-2024 14:07:09\n")
            << date << "Иванов";
        QTest::newRow("a later line wins")
            << QByteArray("creation_date:01-01-2000 00:00:00\ncontroler_name:Петров\n"
                          "creation_date:05-03-2024 14:07:09\ncontroler_name:Иванов\n")
            << date << "Иванов";
        QTest::newRow("unknown keys and colons in a value")
            << QByteArray("note:a:b:c\ncontroler_name:Иванов: старший\n"
                          "creation_date:05-03-2024 14:07:09\n")
            << date << "Иванов: старший";
        QTest::newRow("no date, no controller")
            << QByteArray() << QDateTime(QDate(1970, 1, 1), QTime(0, 0, 0)) << "no name";
        QTest::newRow("a date that does not parse")
            << QByteArray("creation_date:5 марта\n") << QDateTime() << "no name";
    }
    void oneRuleForEveryHeader()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QDateTime, date);
        QFETCH(QString, controller);
        // The lines in the main header and in both additional traces' headers; the first block
        // ends with its point_count line, the second before its first row.
        const QByteArray content = "trace_type:PROFILE\n" + lines
            + "addittional_trace_count:2\npoint_count:1\n1\t2\t\n"
              "trace_type:ADDITIONAL_TRACE\n"
            + lines + "point_count:2\n3\t4\t\n5\t6\t\ntrace_type:ADDITIONAL_TRACE\n" + lines
            + "point_count:1\n7\t8\t\n";
        ProfileTrace trace;
        const TraceReadResult result = readNative(content, trace);
        const QVector<ProfileTrace *> children = trace.additionalTraces;
        const auto cleanup = qScopeGuard([&children] { qDeleteAll(children); });
        QVERIFY2(result.ok(), qPrintable(result.detail));
        QCOMPARE(trace.creationDate, date);
        QCOMPARE(trace.controllerName, controller);
        QCOMPARE(children.size(), 2);
        QCOMPARE(children.at(0)->rawData->at(0), QVector<double>({3.0, 5.0}));
        QCOMPARE(children.at(1)->rawData->at(1), QVector<double>({8.0}));
        for (const ProfileTrace *child : children)
            QCOMPARE(child->creationDate, date);
    }

    // Every trace of a family keeps its own creation date through a write and a read, while the
    // family's cut-off, speed and controller are the main trace's.
    void familyDatesReadBack()
    {
        ProfileTrace main;
        main.setType(PROFILE);
        main.filterLength = 2500;
        main.speed = 0.5;
        main.controllerName = QStringLiteral("Петров");
        main.creationDate = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9));
        append(main, {0, 1});
        std::vector<std::unique_ptr<ProfileTrace>> children;
        for (int k = 0; k < 2; ++k) {
            children.push_back(std::make_unique<ProfileTrace>());
            ProfileTrace &child = *children.back();
            child.setType(ADDITIONAL_TRACE);
            child.filterLength = 2500;
            child.speed = 0.5;
            child.controllerName = main.controllerName;
            child.creationDate = main.creationDate.addSecs(3600 * (k + 1) + 7);
            append(child, {0, double(k)});
            main.addAdditionalTrace(&child);
        }
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("family.txt"));
        QVERIFY(writeTraceFile(path, &main));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        ProfileTrace back;
        const TraceReadResult result = readNativeTrace(file, path, back, Settings::snapshot(), {});
        const QVector<ProfileTrace *> read = back.additionalTraces;
        const auto cleanup = qScopeGuard([&read] { qDeleteAll(read); });
        QVERIFY2(result.ok(), qPrintable(result.detail));
        QCOMPARE(back.creationDate, main.creationDate);
        QCOMPARE(read.size(), 2);
        for (int k = 0; k < 2; ++k) {
            QCOMPARE(read.at(k)->creationDate, children.at(k)->creationDate);
            QCOMPARE(read.at(k)->filterLength, 2500.0);
            QCOMPARE(read.at(k)->speed, 0.5);
            QCOMPARE(read.at(k)->controllerName, QStringLiteral("Петров"));
        }
    }

    // A save cut short (a full disk, a size limit) leaves fewer rows or blocks than the header
    // counts: the read of such a file fails, keeping what it read, instead of passing the rest
    // for the whole trace.
    void fileCutShortIsDamaged_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("at 4096 bytes") << "4096";
        QTest::newRow("at 32768 bytes") << "32768";
        QTest::newRow("after a whole row of the main trace") << "row";
        QTest::newRow("before the first additional trace") << "additional 1";
        QTest::newRow("before the second additional trace") << "additional 2";
        QTest::newRow("inside an additional trace's header") << "header 2";
        QTest::newRow("inside an additional trace's rows") << "rows 2";
        QTest::newRow("whole file") << "whole";
    }
    void fileCutShortIsDamaged()
    {
        QFETCH(QString, where);
        ProfileTrace trace;
        trace.setType(PROFILE);
        for (int i = 0; i < 5000; ++i)
            append(trace, {i * 0.25, std::sin(i) * 100});
        std::vector<std::unique_ptr<ProfileTrace>> children;
        for (int k = 0; k < 2; ++k) {
            children.push_back(std::make_unique<ProfileTrace>());
            children.back()->setType(ADDITIONAL_TRACE);
            for (int i = 0; i < 300; ++i)
                append(*children.back(), {i * 0.25, std::cos(i + k)});
            trace.addAdditionalTrace(children.back().get());
        }
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.txt"));
        QVERIFY(writeTraceFile(path, &trace));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray whole = file.readAll();
        const QByteArray block("trace_type:ADDITIONAL_TRACE");
        const int second = whole.lastIndexOf(block);
        const QMap<QString, int> cuts {
            {"4096", 4096},
            {"32768", 32768},
            {"row", whole.indexOf('\n', 40000) + 1},
            {"additional 1", whole.indexOf(block)},
            {"additional 2", second},
            {"header 2", whole.indexOf("filter:", second)},
            {"rows 2", second + 300},
            {"whole", whole.size()},
        };
        ProfileTrace read;
        const TraceReadResult result = readNative(whole.left(cuts.value(where)), read);
        qDeleteAll(read.additionalTraces);
        if (where == QLatin1String("whole")) {
            QVERIFY(result.ok());
            QCOMPARE(read.rawData->at(0).size(), 5000);
        } else {
            QCOMPARE(result.status, TraceReadResult::Damaged);
            QVERIFY2(result.detail.contains(QLatin1String("the file ends")),
                     qPrintable(result.detail));
        }
    }

    // Counts are whole numbers within the range of int; one beyond it is damage, not 0.
    void countsBeyondTheIntRange_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("ok");
        QTest::newRow("point_count")
            << QByteArray("trace_type:PROFILE\npoint_count:4294967297\n1 1\n") << false;
        QTest::newRow("negative point_count")
            << QByteArray("trace_type:PROFILE\npoint_count:-99999999999\n1 1\n") << false;
        QTest::newRow("additional count")
            << QByteArray("trace_type:PROFILE\naddittional_trace_count:99999999999999999999999\n"
                          "point_count:1\n1 1\n")
            << false;
        QTest::newRow("additional trace's point_count")
            << QByteArray("trace_type:PROFILE\naddittional_trace_count:1\npoint_count:1\n1 1\n"
                          "trace_type:ADDITIONAL_TRACE\npoint_count:2147483648\n2 2\n")
            << false;
        QTest::newRow("largest int, file too short for it")
            << QByteArray("trace_type:PROFILE\npoint_count:2147483647\n1 1\n") << false;
        QTest::newRow("not a number reads as 0")
            << QByteArray("trace_type:PROFILE\naddittional_trace_count:1\npoint_count:1\n1 1\n"
                          "trace_type:ADDITIONAL_TRACE\npoint_count:1e3\n")
            << true;
    }
    void countsBeyondTheIntRange()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, ok);
        ProfileTrace trace;
        const TraceReadResult result = readNative(content, trace);
        qDeleteAll(trace.additionalTraces);
        QCOMPARE(result.ok(), ok);
        if (!ok)
            QCOMPARE(result.status, TraceReadResult::Damaged);
    }

    // A file of more additional traces than a person records is refused before any is made,
    // whatever their number: 750 000 empty blocks take no more than one.
    void additionalTracesBeyondTheLimit_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("at the limit") << kMaxAdditionalTraces;
        QTest::newRow("one beyond") << kMaxAdditionalTraces + 1;
        QTest::newRow("750 000 empty blocks") << 750000;
    }
    void additionalTracesBeyondTheLimit()
    {
        QFETCH(int, count);
        QByteArray content = "trace_type:PROFILE\naddittional_trace_count:"
            + QByteArray::number(count) + "\npoint_count:1\n1\t2\t\n";
        content.reserve(content.size() + count * 14);
        for (int k = 0; k < count; ++k)
            content += "point_count:0\n";
        ProfileTrace trace;
        QElapsedTimer timer;
        timer.start();
        const TraceReadResult result = readNative(content, trace);
        const int made = trace.additionalTraces.size();
        qDeleteAll(trace.additionalTraces);
        if (count <= kMaxAdditionalTraces) {
            QVERIFY2(result.ok(), qPrintable(result.detail));
            QCOMPARE(made, count);
        } else {
            QCOMPARE(result.status, TraceReadResult::TooLarge);
            QCOMPARE(made, 0);
            QCOMPARE(trace.rawData->at(0).size(), 0);
            // Generous: the refusal comes from the header alone.
            QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        }
    }

    // Samples that the memory available cannot take are refused before any is read, in every
    // format; the count is the header's, or the lines of a file without one. A trace holds at
    // most kMaxTraceSamples samples, whatever the memory.
    void samplesBeyondTheMemoryAreRefused_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("native with point_count") << "native";
        QTest::newRow("native without point_count") << "native rows";
        QTest::newRow("columns") << "columns";
        QTest::newRow("T46") << "T46";
    }
    void samplesBeyondTheMemoryAreRefused()
    {
        QFETCH(QString, format);
        // 10^6 contour samples take 72 MB in the trace; the read is given 24 MB.
        const int samples = 1000000;
        QByteArray content;
        if (format == QLatin1String("T46")) {
            content = QByteArray(440, '\0') + littleEndian(qint32(samples)) + QByteArray(76, '\0')
                + littleEndian(0.5) + QByteArray(172, '\0') + QByteArray(2 * samples, '\1')
                + littleEndian(0.01) + QByteArray(72, '\0');
        } else {
            if (format != QLatin1String("columns")) {
                content = "trace_type:CONTOUR\n";
                if (format == QLatin1String("native"))
                    content += "point_count:" + QByteArray::number(samples) + "\n";
            }
            content.reserve(content.size() + samples * 8);
            for (int i = 0; i < samples; ++i)
                content += QByteArray::number(i) + " 1\n";
        }
        const auto read = [&format](QByteArray &bytes, ContourTrace &trace) {
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::ReadOnly);
            const Settings settings = Settings::snapshot();
            if (format == QLatin1String("T46"))
                return readBinaryContour(buffer, trace, settings, {});
            if (format == QLatin1String("columns"))
                return readNumberColumns(buffer, trace, settings, {});
            return readNativeTrace(buffer, QStringLiteral("mem"), trace, settings, {});
        };

        testsupport::ChildLimits limits;
        limits.addressSpaceHeadroom = 24 << 20;
        const testsupport::ChildResult refused = testsupport::runInChild(limits, [&] {
            ContourTrace trace;
            const TraceReadResult result = read(content, trace);
            return result.status == TraceReadResult::TooLarge
                && result.detail.contains(QLatin1String("MiB of memory available"))
                && trace.rawData->at(0).isEmpty();
        });
        QCOMPARE(int(refused), int(testsupport::ChildResult::True));

        // With the memory there, the same file is read whole.
        ContourTrace trace;
        const TraceReadResult result = read(content, trace);
        QVERIFY2(result.ok(), qPrintable(result.detail));
        QCOMPARE(trace.rawData->at(0).size(), samples);
    }

    void moreSamplesThanATraceHoldsAreRefused()
    {
        // A sparse file: the count of a ".T46" is vouched for by the file's size.
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("huge.T46")));
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint32 samples = kMaxTraceSamples + 1;
        file.write(QByteArray(440, '\0') + littleEndian(samples) + QByteArray(76, '\0')
                   + littleEndian(0.5));
        QVERIFY(file.resize(700 + 2 * qint64(samples) + 80));
        QVERIFY(file.seek(0));
        ContourTrace trace;
        const TraceReadResult result = readBinaryContour(file, trace, Settings::snapshot(), {});
        QCOMPARE(result.status, TraceReadResult::TooLarge);
        QVERIFY2(result.detail.contains(QLatin1String("a trace holds")), qPrintable(result.detail));
        QCOMPARE(trace.rawData->at(0).size(), 0);
    }

    void stopRequestEndsTheRead()
    {
        QByteArray content = "trace_type:PROFILE\npoint_count:2000\n";
        for (int i = 0; i < 2000; ++i)
            content += "1\t2\t\n";
        QBuffer buffer(&content);
        buffer.open(QIODevice::ReadOnly);
        ProfileTrace trace;
        int batches = 0;
        TraceReadProgress progress;
        progress.batchReady = [&batches](int, int) {
            ++batches;
        };
        progress.stopRequested = [&batches] {
            return batches == 2;
        };
        const TraceReadResult result
            = readNativeTrace(buffer, QStringLiteral("mem"), trace, Settings::snapshot(), progress);
        QCOMPARE(result.status, TraceReadResult::Cancelled);
        QCOMPARE(trace.rawData->at(0).size(), 1000);
    }
};

QTEST_GUILESS_MAIN(TestTraceFiles)
#include "tst_TraceFiles.moc"
