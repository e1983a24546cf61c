#include "support/TestTraces.h"

#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "core/TraceFileWriter.h"
#include "dataproviders/FileDataProvider.h"

#include <QFile>
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
    return {
        {QStringLiteral("nan at row 101"), nan, PROFILE,
         QStringLiteral("в строке 101 стоит nan или бесконечность")},
        {QStringLiteral("empty"), QByteArray(), CONTOUR, QStringLiteral("файл пуст")},
        {QStringLiteral("blanks alone"), QByteArray("\n  \n\t\n"), CONTOUR,
         QStringLiteral("файл пуст")},
        {QStringLiteral("not a trace"), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), CONTOUR,
         QStringLiteral("в строке 1 стоит не число")},
        {QStringLiteral("fewer rows than counted"),
         QByteArray("trace_type:PROFILE\nspeed:1\nfilter:800\npoint_count:5\n0\t1\n1\t1\n"),
         PROFILE, QStringLiteral("файл обрывается раньше, чем указано в его заголовке")},
        {QStringLiteral("count beyond int"),
         QByteArray("trace_type:PROFILE\nspeed:1\nfilter:800\npoint_count:99999999999\n0\t1\n"),
         PROFILE, QStringLiteral("число точек или трасс в заголовке вне допустимого диапазона")},
        {QStringLiteral("too many additional traces"),
         QByteArray("trace_type:PROFILE\nspeed:1\nfilter:800\naddittional_trace_count:1001\n"
                    "point_count:2\n0\t1\n1\t1\n"),
         PROFILE, QStringLiteral("в файле больше 1000 дополнительных трасс")},
        {QStringLiteral("line over 1 MiB"), "1 2\n" + QByteArray(2 << 20, '7') + "\n", CONTOUR,
         QStringLiteral("строка 2 длиннее допустимого (1 МиБ)")},
    };
}

void addBadTraceFileRows()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("reason");
    for (const BadTraceFile &bad : badTraceFiles())
        QTest::newRow(qPrintable(bad.name)) << bad.content << bad.kind << bad.reason;
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
