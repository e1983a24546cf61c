#include "support/TestTraces.h"

#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "core/TraceFileReader.h"
#include "core/TraceFileWriter.h"
#include "dataproviders/FileDataProvider.h"

#include <QFile>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <memory>
#include <vector>

namespace testsupport {

void fillSineProfile(AbstractTrace &trace, int n, double amplitude, double wavelength)
{
    const bool contour = trace.rawData->size() == 3;
    for (int i = 0; i < n; ++i) {
        QVector<double> sample {double(i), amplitude * std::sin(i / wavelength) + 0.001 * i};
        if (contour)
            sample.append(0.0);
        trace.appendPoint(sample);
    }
}

bool writeSineTraceFile(const QString &path, int kind, int additional, double cutOff)
{
    std::unique_ptr<AbstractTrace> trace;
    std::vector<std::unique_ptr<ProfileTrace>> children;
    if (kind == PROFILE) {
        auto profile = std::make_unique<ProfileTrace>();
        profile->filterLength = cutOff;
        profile->speed = 0.5;
        for (int i = 0; i < additional; ++i) {
            children.push_back(std::make_unique<ProfileTrace>());
            children.back()->setType(ADDITIONAL_TRACE);
            fillSineProfile(*children.back(), 4000, 1.5 + i, 30.0 + 7 * i);
            profile->addAdditionalTrace(children.back().get());
        }
        trace = std::move(profile);
    } else {
        trace = std::make_unique<ContourTrace>();
    }
    trace->setType(kind);
    trace->controllerName = QStringLiteral("Петров");
    trace->creationDate = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9));
    fillSineProfile(*trace, 4000, 1.0, 40.0);
    return writeTraceFile(path, trace.get());
}

QVector<BadTraceFile> badTraceFiles()
{
    QByteArray nan = "trace_type:PROFILE\nspeed:1\nfilter:800\npoint_count:12801\n";
    for (int i = 0; i < 12801; ++i)
        nan += QByteArray::number(i) + (i == 100 ? "\tnan\n" : "\t1\n");
    // A ".T46" of its full layout that counts no sample: N = 0 at byte 440, the X step at 520,
    // the Y scale right after the header.
    const auto littleEndian = [](auto value) {
        const auto stored = qToLittleEndian(value);
        return QByteArray(reinterpret_cast<const char *>(&stored), int(sizeof stored));
    };
    const QByteArray noSamples = QByteArray(440, '\0') + littleEndian(qint32(0))
        + QByteArray(76, '\0') + littleEndian(0.5) + QByteArray(172, '\0') + littleEndian(0.01)
        + QByteArray(72, '\0');
    const QString empty = QStringLiteral("файл пуст");
    const QString cutShort = QStringLiteral("файл обрывается раньше, чем указано в его заголовке");
    return {
        {QStringLiteral("nan at row 101"), nan, PROFILE,
         QStringLiteral("в строке 101 стоит nan или бесконечность"), TraceReadResult::BadNumber},
        {QStringLiteral("empty"), QByteArray(), CONTOUR, empty, TraceReadResult::Empty},
        {QStringLiteral("blanks alone"), QByteArray("\n  \n\t\n"), CONTOUR, empty,
         TraceReadResult::Empty},
        {QStringLiteral("native, no rows"),
         QByteArray("trace_type:PROFILE\nspeed:1\nfilter:800\npoint_count:0\n"), PROFILE, empty,
         TraceReadResult::Empty},
        {QStringLiteral("native, no rows but an additional trace"),
         QByteArray("trace_type:PROFILE\nspeed:1\nfilter:800\naddittional_trace_count:1\n"
                    "point_count:0\ntrace_type:ADDITIONAL_TRACE\npoint_count:1\n0\t1\n"),
         PROFILE, empty, TraceReadResult::Empty},
        {QStringLiteral("T46, no samples"), noSamples, CONTOUR, empty, TraceReadResult::Empty,
         QStringLiteral(".T46")},
        {QStringLiteral("not a trace"), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), CONTOUR,
         QStringLiteral("в строке 1 стоит не число"), TraceReadResult::BadNumber},
        {QStringLiteral("fewer rows than counted"),
         QByteArray("trace_type:PROFILE\nspeed:1\nfilter:800\npoint_count:5\n0\t1\n1\t1\n"),
         PROFILE, cutShort, TraceReadResult::Damaged},
        {QStringLiteral("fewer additional traces than counted"),
         QByteArray("trace_type:PROFILE\nspeed:1\nfilter:800\naddittional_trace_count:2\n"
                    "point_count:1\n0\t1\ntrace_type:ADDITIONAL_TRACE\npoint_count:1\n0\t2\n"),
         PROFILE, cutShort, TraceReadResult::Damaged},
        {QStringLiteral("count beyond int"),
         QByteArray("trace_type:PROFILE\nspeed:1\nfilter:800\npoint_count:99999999999\n0\t1\n"),
         PROFILE, QStringLiteral("число точек или трасс в заголовке вне допустимого диапазона"),
         TraceReadResult::Damaged},
        {QStringLiteral("too many additional traces"),
         QByteArray("trace_type:PROFILE\nspeed:1\nfilter:800\naddittional_trace_count:1001\n"
                    "point_count:2\n0\t1\n1\t1\n"),
         PROFILE, QStringLiteral("в файле больше 1000 дополнительных трасс"),
         TraceReadResult::TooLarge},
        {QStringLiteral("line over 1 MiB"), "1 2\n" + QByteArray(2 << 20, '7') + "\n", CONTOUR,
         QStringLiteral("строка 2 длиннее допустимого (1 МиБ)"), TraceReadResult::TooLong},
    };
}

void addBadTraceFileRows()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("suffix");
    for (const BadTraceFile &bad : badTraceFiles()) {
        QTest::newRow(qPrintable(bad.name))
            << bad.content << bad.kind << bad.reason << bad.status << bad.suffix;
    }
}

bool writeBytes(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

ReadBackTrace::ReadBackTrace(const QString &path)
{
    trace.setType(PROFILE);
    FileDataProvider provider(path);
    provider.start(&trace);
    provider.waitForFinished();
}

ReadBackTrace::~ReadBackTrace()
{
    qDeleteAll(trace.additionalTraces);
}

} // namespace testsupport
