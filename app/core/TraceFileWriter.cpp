#include "core/TraceFileWriter.h"

#include "core/AbstractTrace.h"
#include "core/Logger.h"
#include "core/ProfileTrace.h"
#include "core/TraceFileReader.h"

#include <QSaveFile>

#include <algorithm>
#include <functional>

namespace {

// Rows are gathered into chunks of about this size before they go to the device.
constexpr int kWriteChunk = 1 << 16;

void appendNumber(QByteArray &out, double value)
{
    out += traceNumberText(value).toLatin1();
}

// Writes `count` rows made by `row` in chunks.
void writeRows(QIODevice *device, int count, const std::function<void(QByteArray &, int)> &row)
{
    QByteArray chunk;
    chunk.reserve(kWriteChunk + 256);
    for (int i = 0; i < count; ++i) {
        row(chunk, i);
        if (chunk.size() >= kWriteChunk) {
            device->write(chunk);
            chunk.clear();
        }
    }
    if (!chunk.isEmpty())
        device->write(chunk);
}

// A header value on one line: line breaks in a free text would end the header early.
QString singleLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

bool saveFile(const QString &path, const std::function<void(QIODevice *)> &write)
{
    QSaveFile file(path);
    // Where no temporary file can be made beside the target, write the target directly.
    file.setDirectWriteFallback(true);
    if (file.open(QIODevice::WriteOnly)) {
        write(&file);
        if (file.commit())
            return true;
    }
    logger.log(ERROR,
               "Can't write file " + path.toStdString() + ": " + file.errorString().toStdString());
    return false;
}

} // namespace

QString traceHeaderText(const AbstractTrace *trace)
{
    return QStringLiteral("trace_type:") + traceTypeWord(trace->type) + QLatin1Char('\n')
        + trace->headerText() + QStringLiteral("controler_name:")
        + singleLine(trace->controllerName) + QLatin1Char('\n') + QStringLiteral("creation_date:")
        + trace->creationDateText() + QLatin1Char('\n');
}

void writePointBlock(QIODevice *device, const AbstractTrace *trace)
{
    const TData &raw = *trace->rawData;
    int count = raw.isEmpty() ? 0 : raw.at(0).size();
    for (const QVector<double> &channel : raw)
        count = std::min(count, int(channel.size()));
    device->write(QByteArrayLiteral("point_count:") + QByteArray::number(count) + '\n');
    writeRows(device, count, [&raw](QByteArray &out, int i) {
        for (const QVector<double> &channel : raw) {
            appendNumber(out, channel.at(i));
            out += '\t';
        }
        out += '\n';
    });
}

bool writeTraceFile(const QString &path, const AbstractTrace *trace)
{
    return saveFile(path, [trace](QIODevice *device) {
        device->write(traceHeaderText(trace).toUtf8());
        const auto *profile = dynamic_cast<const ProfileTrace *>(trace);
        if (trace->type != PROFILE) {
            writePointBlock(device, trace);
            return;
        }
        const int additional = profile ? profile->additionalTraces.size() : 0;
        device->write(QByteArrayLiteral("addittional_trace_count:") + QByteArray::number(additional)
                      + '\n');
        writePointBlock(device, trace);
        for (int i = 0; i < additional; ++i) {
            const ProfileTrace *child = profile->additionalTraces.at(i);
            device->write(traceHeaderText(child).toUtf8());
            writePointBlock(device, child);
        }
    });
}

void writeColumnsPoints(QIODevice *device, const AbstractTrace *trace)
{
    const TData &processed = *trace->processedData;
    if (processed.size() < 2)
        return;
    const QVector<double> &x = processed.at(0);
    const QVector<double> &y = processed.at(1);
    writeRows(device, std::min(x.size(), y.size()), [&x, &y](QByteArray &out, int i) {
        appendNumber(out, x.at(i));
        out += '\t';
        appendNumber(out, y.at(i));
        out += "\t\n";
    });
}

bool writeColumnsExport(const QString &path, const AbstractTrace *trace)
{
    return saveFile(path, [trace](QIODevice *device) { writeColumnsPoints(device, trace); });
}
